#include "setup/command_line.h"

#include <getopt.h>

#include <string_view>

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

constexpr char kShortOptions[] = "C:";

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

}  // namespace

CommandLine ParseCommandLine(std::vector<std::string> args) {
  std::vector<char*> pointers(args.size() + 1);  // ended by a null, as main's
  for (size_t i = 0; i < args.size(); ++i) pointers[i] = args[i].data();
  char** argv = pointers.data();
  const int argc = static_cast<int>(args.size());
  CommandLine command_line;
  bool status = false;
  bool help = false;
  bool version = false;
  opterr = 0;  // the run words each usage error itself, in one way
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
        // The option as typed, or the letter of a short one among others.
        const std::string typed =
            optopt > 0 && optopt < kStatusOption
                ? std::string{'-', static_cast<char>(optopt)}
                : std::string(argv[optind - 1]);
        return Invalid(optopt == 'C' ? "option '" + typed + "' needs a folder"
                                     : "unknown option '" + typed + "'");
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
