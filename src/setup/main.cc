#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "replace/interruptions.h"
#include "replace/replace_file.h"
#include "scenario/plan.h"
#include "setup/command_line.h"
#include "setup/console.h"
#include "setup/dialogue.h"
#include "setup/messages.h"
#include "setup/places.h"

namespace fs = std::filesystem;

namespace {

// Written into the folder the program runs in: the scenario's folder.
constexpr char kEventsFileName[] = "events.txt";
// The players' guide, which the packages hold beside the program.
constexpr char kGuideFileName[] = "velmoria-setup.txt";

// An events file this version wrote, one of the eight, holds nothing a
// user made: it is replaced without a copy.
constexpr MayReplaceWithoutCopy kOneOfOurs = [](std::string_view content) {
  return RecognizeEventsFile(content).has_value();
};

// The program's file name as the player sees it.
std::string ProgramName() { return TextOf(ProgramFile().filename()); }

// Writes one line on standard error; returns `status`.
int Say(const std::string& line, int status = 0) {
  Print(Stream::kError, "velmoria-setup: " + line + "\n");
  return status;
}

int Fail(const std::string& line) { return Say(line, 1); }

// Says what failed; returns the run's status.
int FailedAt(const Failure& failure, const fs::path& folder) {
  return Fail(DescribeFailure(failure, kEventsFileName, folder));
}

// Writes what the run was asked for on standard output: there, a failure to
// write is the run's own.
int PrintResult(std::string_view text) {
  const int error = Print(Stream::kOutput, text);
  return error == 0 ? 0 : Fail(Format(kWriteError, {ErrorWords(error)}));
}

// Says so where Windows keeps a copy of the events file that older games
// read instead of it.
void SayIfHidden(const fs::path& folder) {
  const fs::path copy = VirtualStoreCopy(folder / kEventsFileName);
  if (!copy.empty()) Say(Format(kVirtualStore, {TextOf(copy)}));
}

// Returns true if `folder` holds nothing but what the download did: the
// program, its guide and an events.txt this version wrote, if any. The
// program was then most likely unpacked into a folder of its own.
bool HoldsOnlyTheDownload(const fs::path& folder) {
  if (!IsProgramsFolder(folder)) return false;
  const fs::path program = ProgramFile().filename();
  std::error_code ec;
  for (fs::directory_iterator entry(folder, ec), end; !ec && entry != end;
       entry.increment(ec)) {
    const fs::path file = entry->path().filename();
    std::string content;
    const bool ours = file == kEventsFileName &&
                      ReadWholeFile(kEventsFileName, &content) == 0 &&
                      RecognizeEventsFile(content);
    if (file != program && file != kGuideFileName && !ours) return false;
  }
  return !ec;
}

// What a window of the program's own ends with: the setup as the program
// took the answers, where it was written, and, where the folder seems not
// to be the scenario's, why: `download` if it holds only the download.
std::string ClosingLines(const ComputerPlayed& computer_played,
                         const fs::path& folder, const std::string& download,
                         bool existed) {
  std::string lines = SetupLines(computer_played) +
                      Format(kWrittenIn, {TextOf(folder)}) + "\n" + download;
  if (!download.empty()) return lines;
  if (IsProgramsFolder(folder)) {
    return existed
               ? lines
               : lines + Format(kNoEventsFileBefore, {ProgramName()}) + "\n";
  }
  // Started by a shortcut whose "Start in" is another folder: the program
  // may well be in the scenario's folder already.
  lines += Format(kProgramIsIn, {TextOf(ProgramFile().parent_path())}) + "\n";
  return existed ? lines : lines + kNoEventsFileThere + "\n";
}

// Says which setup the events file holds, if this version wrote it.
int ShowStatus(const fs::path& folder) {
  SayIfHidden(folder);
  std::string content;
  if (const int error = ReadWholeFile(kEventsFileName, &content)) {
    if (error == ENOENT) return Fail(Format(kNoEventsFile, {TextOf(folder)}));
    return FailedAt({Step::kRead, kEventsFileName, error}, folder);
  }
  if (const std::optional<ComputerPlayed> computer_played =
          RecognizeEventsFile(content)) {
    return PrintResult(SetupLines(*computer_played));
  }
  return Fail(kNotOurs);
}

int WriteEvents(const CommandLine& command_line, const fs::path& folder) {
  // Some elevated starts put a program there, which is no scenario's.
  if (IsInWindowsFolder(folder)) {
    return Fail(Format(kInWindowsFolder, {TextOf(folder)}));
  }
  // A window of the program's own says before anything else where it seems
  // not to run in the scenario's folder: inside the zip it writes nothing.
  const bool own_window = OwnsConsoleWindow();
  if (own_window && IsInTemporaryFolder(folder)) {
    Print(Stream::kOutput, Format(kStartedInZip, {ProgramName()}) + "\n");
    return 1;
  }
  const std::string download =
      own_window && HoldsOnlyTheDownload(folder)
          ? Format(kDownloadFolder, {ProgramName()}) + "\n"
          : "";
  ComputerPlayed computer_played = command_line.computer_played;
  if (command_line.command == Command::kDialogue) {
    // Checked before the first question, so that a run which cannot write
    // the file says so before asking anything; nothing is made until the
    // answers are in, and then everything is checked again.
    const Replaced checked = CheckReplace(kEventsFileName, kOneOfOurs);
    if (checked.failure) return FailedAt(*checked.failure, folder);
    if (!download.empty()) Print(Stream::kOutput, download + "\n");
    computer_played = AskWhoPlays(ConsoleInput(), ConsoleOutput());
    if (const int error = ConsoleReadError()) {
      if (error == EINTR) return kInterruptedExitStatus;
      return Fail(Format(kCannotReadAnswers, {ErrorWords(error)}));
    }
    // The last answer's Enter ended its line; a blank one sets off the end.
    if (own_window) Print(Stream::kOutput, "\n");
  }
  const Replaced replaced = ReplaceWholeFile(
      kEventsFileName, EventsFileFor(computer_played), kOneOfOurs);
  if (replaced.failure) return FailedAt(*replaced.failure, folder);
  if (!replaced.kept_as.empty()) {
    Say(Format(kKeptAs, {TextOf(replaced.kept_as)}));
  }
  if (replaced.warning) {
    Say(DescribeFailure(*replaced.warning, kEventsFileName, folder));
  }
  SayIfHidden(folder);
  if (own_window) {
    Print(Stream::kOutput,
          ClosingLines(computer_played, folder, download, replaced.existed));
  }
  return 0;
}

// Returns true if each argument after the program's name is the path of a
// file or folder, as when files are dropped on the program.
bool NamesFiles(const std::vector<std::string>& args) {
  std::error_code ec;
  return std::all_of(args.begin() + 1, args.end(), [&](const std::string& arg) {
    return fs::exists(fs::u8path(arg), ec);
  });
}

int Run(const std::vector<std::string>& args) {
  const CommandLine command_line = ParseCommandLine(args);
  switch (command_line.command) {
    case Command::kUsageError:
      // Explorer starts the program with the paths of files dropped on it.
      if (OwnsConsoleWindow() && NamesFiles(args)) {
        return Say(kDroppedFiles, 2);
      }
      return Say(command_line.error + "\n" + kTryHelp, 2);
    case Command::kHelp:
      return PrintResult(kHelpText);
    case Command::kVersion:
      return PrintResult("velmoria-setup " VELMORIA_VERSION "\n");
    default:
      break;
  }
  // Each -C folder is taken from the one before, as make, git and tar do.
  for (const std::string& folder : command_line.directories) {
    std::error_code ec;
    fs::current_path(fs::u8path(folder), ec);
    if (ec) {
      return Fail(Format(kCannotChangeFolder,
                         {folder, ec.default_error_condition().message()}));
    }
  }
  const fs::path folder = CurrentFolder();
  if (command_line.command == Command::kStatus) return ShowStatus(folder);
  return WriteEvents(command_line, folder);
}

template <typename Char>
int Main(int argc, Char** argv) {
  // A window of the program's own would close at once, and take the outcome
  // with it, success or failure. Asked before anyone else may attach to it.
  const bool own_window = OwnsConsoleWindow();
  if (own_window) NameConsoleWindow();
  int status = 1;
  try {
    HandleInterruptions();
    // Windows passes them in UTF-16, and a folder's name may hold any
    // character: they are handled in UTF-8.
    std::vector<std::string> args(static_cast<size_t>(argc));
    for (int i = 0; i < argc; ++i) args[i] = TextOf(argv[i]);
    status = Run(args);
  } catch (const std::bad_alloc&) {
    // What the run made was removed on the way out; saying so allocates
    // nothing.
    status = 1;
    Print(Stream::kError, kOutOfMemoryLine);
  } catch (const std::exception& e) {
    status = Fail(Format(kUnexpected, {e.what()}));
  }
  if (own_window && status != kInterruptedExitStatus) WaitForEnter(status);
  return status;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return Main(argc, argv); }
#else
int main(int argc, char** argv) { return Main(argc, argv); }
#endif
