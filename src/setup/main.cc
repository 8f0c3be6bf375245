#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "replace/file_system.h"
#include "replace/replace_file.h"
#include "setup/command_line.h"
#include "setup/console.h"
#include "setup/dialogue.h"
#include "scenario/events_file.h"

namespace {

// Written into the folder the program runs in: the scenario's folder.
constexpr char kEventsFileName[] = "events.txt";

// Writes one line on standard error in one piece, so that lines from runs at
// once in one console never interleave; returns `status`.
int Say(const std::string& line, int status = 0) {
  PrintLine(std::cerr, "velmoria-setup: " + line);
  return status;
}

int Fail(const std::string& err) { return Say(err, 1); }

// Returns the folder the program works in, in full, to show to the user.
std::string CurrentFolder() {
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::current_path(ec);
  return ec ? std::string(".") : folder.u8string();
}

// Prints who plays each faction, one line each; what is printed next, or
// the end of the program, flushes it.
void PrintSetup(const ComputerPlayed& computer_played) {
  for (size_t i = 0; i < computer_played.size(); ++i) {
    std::cout << FactionName(kFactions[i])
              << (computer_played[i] ? ": computer\n" : ": human\n");
  }
}

// Says which setup the events file holds, if this version wrote it.
int ShowStatus() {
  std::string content;
  if (!ReadWholeFile(kEventsFileName, &content)) {
    if (errno == ENOENT) {
      return Fail("there is no events.txt in " + CurrentFolder());
    }
    return Fail("cannot read events.txt: " + FileErrorReason(errno));
  }
  const std::optional<ComputerPlayed> computer_played =
      RecognizeEventsFile(content);
  if (!computer_played) {
    return Fail(
        "events.txt was not written by this version of velmoria-setup; it was "
        "edited by hand, or written by another version");
  }
  PrintSetup(*computer_played);
  return 0;
}

int WriteEvents(const CommandLine& command_line) {
  // Only a file this version could write again is replaced without a copy.
  FileReplacement events_file(kEventsFileName, [](std::string_view content) {
    return RecognizeEventsFile(content).has_value();
  });
  std::string err;
  ComputerPlayed computer_played = command_line.computer_played;
  if (command_line.command == Command::kDialogue) {
    // Checked before the first question, so that a run which cannot write
    // the file says so before asking anything; nothing is made until the
    // answers are in, and then everything is checked again.
    if (!CheckReplace(&events_file, &err)) return Fail(err);
    computer_played = AskWhoPlays(std::cin, std::cout);
    if (const int error = ConsoleReadError()) {
      if (error == EINTR) return kInterruptedExitStatus;
      return Fail("cannot read the answers from standard input: " +
                  std::string(std::strerror(error)));
    }
    // The last answer's Enter ended its line; a blank one sets off the end.
    if (OwnsConsoleWindow()) PrintLine(std::cout, "");
  }
  if (!FinishReplace(&events_file, EventsFileFor(computer_played), &err)) {
    return Fail(err);
  }
  if (!events_file.kept_as.empty()) {
    Say("kept the previous events.txt as " + events_file.kept_as);
  }
  if (!events_file.warning.empty()) Say(events_file.warning);
  // A window that closes when the run ends shows what was written, as the
  // program took the answers, and where.
  if (OwnsConsoleWindow()) {
    PrintSetup(computer_played);
    PrintLine(std::cout, "events.txt is written in " + CurrentFolder() + ".");
  }
  return 0;
}

int Run(const CommandLine& command_line) {
  switch (command_line.command) {
    case Command::kUsageError:
      // Explorer starts the program with the path of a file dropped on it.
      if (command_line.names_a_file && OwnsConsoleWindow()) {
        return Say(
            "files cannot be dropped on this program; double-click it in the "
            "scenario's folder instead",
            2);
      }
      return Say(command_line.error +
                     "\nTry 'velmoria-setup --help' for more information.",
                 2);
    case Command::kHelp:
      std::cout << kHelpText << std::flush;
      return 0;
    case Command::kVersion:
      std::cout << "velmoria-setup " VELMORIA_VERSION "\n" << std::flush;
      return 0;
    default:
      break;
  }
  // Each -C folder is taken from the one before, as make, git and tar do.
  for (const std::string& folder : command_line.directories) {
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::u8path(folder), ec);
    if (ec) {
      return Fail("cannot change to folder '" + folder + "': " + ec.message());
    }
  }
  if (command_line.command == Command::kStatus) return ShowStatus();
  return WriteEvents(command_line);
}

int Main(int argc, char** argv) {
  // Only this program reads the console; C stdio need not see the same
  // buffers, and unsynchronised streams read long input much faster.
  std::ios::sync_with_stdio(false);
  OpenConsoleInput();
  // A window of the program's own would close at once, and take the outcome
  // with it, success or failure. Asked before anyone else may attach to it.
  const bool own_window = OwnsConsoleWindow();
  HandleInterruptions();

  int status = 1;
  try {
    status = Run(ParseCommandLine(argc, argv));
  } catch (const std::bad_alloc&) {
    // What the run made was removed on the way out.
    status = Fail("out of memory");
  }
  if (own_window && status != kInterruptedExitStatus) WaitForEnter(status);
  return status;
}

}  // namespace

#ifdef _WIN32
// Windows passes the arguments in UTF-16; a folder name may hold any
// character, so they are taken from there and handled in UTF-8.
int wmain(int argc, wchar_t** wide_argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    args.push_back(std::filesystem::path(wide_argv[i]).u8string());
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return Main(argc, argv.data());
}
#else
int main(int argc, char** argv) { return Main(argc, argv); }
#endif
