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
#include "setup/events_file.h"
#include "setup/run.h"

namespace {

// Written into the folder the program runs in: the scenario's folder.
constexpr char kEventsFileName[] = "events.txt";

// Writes one line on standard error in one piece, so that lines from runs at
// once in one console never interleave.
void Say(const std::string& line) {
  PrintLine(std::cerr, "velmoria-setup: " + line);
}

int Fail(const std::string& err) {
  Say(err);
  return 1;
}

int UsageError(const std::string& err) {
  Say(err + "\nTry 'velmoria-setup --help' for more information.");
  return 2;
}

// Returns the folder the program works in, in full, to show to the user.
std::string CurrentFolder() {
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::current_path(ec);
  return ec ? std::string(".") : folder.u8string();
}

// Moves into each folder in turn, the next taken from the one before, as
// make, git and tar do with -C.
bool EnterFolders(const std::vector<std::string>& folders, std::string* err) {
  for (const std::string& folder : folders) {
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::u8path(folder), ec);
    if (ec) {
      *err = "cannot change to folder '" + folder + "': " + ec.message();
      return false;
    }
  }
  return true;
}

// Prints who plays each faction, one line each.
void PrintSetup(const Players& players) {
  for (size_t i = 0; i < players.size(); ++i) {
    std::cout << FactionName(kFactions[i])
              << (players[i] ? ": computer\n" : ": human\n");
  }
  std::cout << std::flush;
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
  Players players{};
  if (!RecognizeEventsFile(content, &players)) {
    return Fail(
        "events.txt was not written by this version of velmoria-setup; it was "
        "edited by hand, or written by another version");
  }
  PrintSetup(players);
  return 0;
}

// Only a file this version could write again is replaced without a copy.
bool IsRewritable(std::string_view content) {
  return RecognizeEventsFile(content, nullptr);
}

int WriteEvents(const CommandLine& command_line) {
  // Checked before the first question, so that a run which cannot write the
  // file says so before asking anything; nothing is made until the answers
  // are in, and then everything is checked again.
  FileReplacement events_file(kEventsFileName, IsRewritable);
  std::string err;
  Players players = command_line.players;
  if (command_line.command == Command::kDialogue) {
    if (!CheckReplace(&events_file, &err)) return Fail(err);
    players = AskPlayers(std::cin, std::cout);
    if (ConsoleReadInterrupted()) return kInterruptedExitStatus;
    if (ConsoleReadError() != 0) {
      return Fail("cannot read the answers from standard input: " +
                  std::string(std::strerror(ConsoleReadError())));
    }
    // The last answer's Enter ended its line; a blank one sets off the end.
    if (OwnsConsoleWindow()) PrintLine(std::cout, "");
  }
  if (!FinishReplace(&events_file, EventsFileFor(players), &err)) {
    return Fail(err);
  }
  if (!events_file.kept_as.empty()) {
    Say("kept the previous events.txt as " + events_file.kept_as);
  }
  if (!events_file.warning.empty()) Say(events_file.warning);
  // A window that closes when the run ends shows what was written, as the
  // program took the answers, and where.
  if (OwnsConsoleWindow()) {
    PrintSetup(players);
    PrintLine(std::cout, "events.txt is written in " + CurrentFolder() + ".");
  }
  return 0;
}

int Run(const CommandLine& command_line) {
  switch (command_line.command) {
    case Command::kUsageError:
      // Explorer starts the program with the path of a file dropped on it.
      if (command_line.names_a_file && OwnsConsoleWindow()) {
        Say("files cannot be dropped on this program; double-click it in the "
            "scenario's folder instead");
        return 2;
      }
      return UsageError(command_line.error);
    case Command::kHelp:
      std::cout << kHelpText << std::flush;
      return 0;
    case Command::kVersion:
      std::cout << "velmoria-setup " VELMORIA_VERSION "\n" << std::flush;
      return 0;
    default:
      break;
  }
  std::string err;
  if (!EnterFolders(command_line.directories, &err)) return Fail(err);
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
    // Thrown on the way out of the run, which removed what it made.
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
