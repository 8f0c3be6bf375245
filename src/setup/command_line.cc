#include "setup/command_line.h"

#include <getopt.h>

#include <filesystem>
#include <string_view>
#include <system_error>

const char kHelpText[] =
    "Usage: velmoria-setup [-C DIR] [ANSWERS]\n"
    "  or:  velmoria-setup [-C DIR] --status\n"
    "  or:  velmoria-setup --help | --version\n"
    "Write events.txt, the Velmoria scenario's events file. With no ANSWERS,\n"
    "ask for each faction whether a human plays it; ANSWERS gives the three\n"
    "answers at once, Venetians, Hafsids, Teutonics: y for a human, n for the\n"
    "computer (ynn). An events.txt this version did not write is kept as\n"
    "events.txt.bak.\n"
    "\n"
    "  -C, --directory=DIR  work in the folder DIR\n"
    "      --status         say which factions events.txt gives to whom\n"
    "      --help           show this help and exit\n"
    "      --version        show the version and exit\n"
    "\n"
    "Exit status: 0 if all went well, 1 if events.txt could not be written or\n"
    "--status did not recognise it, 2 if the command line is wrong.\n";

namespace {

// Options that have no short form take values no character has.
enum : int { kStatusOption = 256, kHelpOption, kVersionOption };

constexpr option kLongOptions[] = {
    {"directory", required_argument, nullptr, 'C'},
    {"status", no_argument, nullptr, kStatusOption},
    {"help", no_argument, nullptr, kHelpOption},
    {"version", no_argument, nullptr, kVersionOption},
    {nullptr, 0, nullptr, 0},
};

// A leading colon: report a missing argument apart from an unknown option,
// and print nothing.
constexpr char kShortOptions[] = ":C:";

CommandLine Invalid(std::string error) {
  CommandLine usage_error;
  usage_error.command = Command::kUsageError;
  usage_error.error = std::move(error);
  return usage_error;
}

// Only lower case: in the dialogue a capital N means a human, so an upper-case
// letter here is refused rather than guessed at.
bool ParseAnswers(std::string_view letters, ComputerPlayed* computer_played) {
  if (letters.size() != computer_played->size()) return false;
  for (size_t i = 0; i < letters.size(); ++i) {
    if (letters[i] != 'y' && letters[i] != 'n') return false;
    (*computer_played)[i] = letters[i] == 'n';
  }
  return true;
}

// Reads the arguments; getopt_long may reorder them.
CommandLine Parse(int argc, char** argv) {
  CommandLine command_line;
  bool status = false;
  bool help = false;
  bool version = false;
  opterr = 0;
  optind = 0;  // start afresh, as both glibc and mingw-w64 understand it
  for (int c; (c = getopt_long(argc, argv, kShortOptions, kLongOptions,
                               nullptr)) != -1;) {
    switch (c) {
      case 'C':
        command_line.directories.emplace_back(optarg);
        break;
      case kStatusOption:
        status = true;
        break;
      case kHelpOption:
        help = true;
        break;
      case kVersionOption:
        version = true;
        break;
      default:
        // glibc reports a value given to an option that takes none as an
        // unknown option, mingw-w64 as a missing value: both name the option
        // in optopt.
        if (optopt >= kStatusOption) {
          const std::string typed = argv[optind - 1];
          return Invalid("option '" + typed.substr(0, typed.find('=')) +
                         "' takes no value");
        }
        if (c == ':') {  // the option is the last argument, as typed
          return Invalid("option '" + std::string(argv[optind - 1]) +
                         "' needs a folder");
        }
        // As the user typed it: a short one is only a letter among others.
        return Invalid("unknown option '" +
                       (optopt > 0 ? std::string{'-', static_cast<char>(optopt)}
                                   : std::string(argv[optind - 1])) +
                       "'");
    }
  }
  if (help || version) {
    command_line.command = help ? Command::kHelp : Command::kVersion;
    return command_line;
  }
  const int operands = argc - optind;
  if (operands > 1) {
    return Invalid("unexpected argument '" + std::string(argv[optind + 1]) +
                   "'");
  }
  if (status) {
    if (operands > 0) return Invalid("--status takes no ANSWERS");
    command_line.command = Command::kStatus;
  } else if (operands > 0) {
    if (!ParseAnswers(argv[optind], &command_line.computer_played)) {
      return Invalid(
          "ANSWERS must be three letters, each y or n, such as ynn; not '" +
          std::string(argv[optind]) + "'");
    }
    command_line.command = Command::kAnswers;
  }
  return command_line;
}

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
  CommandLine command_line = Parse(argc, argv);
  // Explorer starts the program with the paths of the files dropped on it.
  // getopt_long has only reordered them.
  command_line.names_files = command_line.command == Command::kUsageError;
  for (int i = 1; command_line.names_files && i < argc; ++i) {
    std::error_code ec;
    command_line.names_files =
        std::filesystem::exists(std::filesystem::u8path(argv[i]), ec);
  }
  return command_line;
}
