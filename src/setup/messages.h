#ifndef SETUP_MESSAGES_H_
#define SETUP_MESSAGES_H_

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

#include "replace/replace_file.h"
#include "scenario/plan.h"

// The program's messages: what it says of a run's outcome, on standard error
// or in the lines a window of its own ends with. Its other words stand where
// they are used: the dialogue's own in dialogue.cc, --help and the usage
// errors in command_line.cc, the window's last line in console_windows.cc.
// The package test checks that the guide for Windows players explains the
// messages a player meets. A message on standard error starts lower case,
// and main puts "velmoria-setup: " before it; the closing lines are
// sentences. {0}, {1}... stand for what Format puts in.

// Returns `words` with args[0] in place of {0}, args[1] of {1}, and so on.
std::string Format(std::string_view words,
                   std::initializer_list<std::string_view> args);

// Says what failed: `name` is the file as the user knows it, `folder` the
// one the run works in.
std::string DescribeFailure(const Failure& failure, std::string_view name,
                            const std::filesystem::path& folder);

// The setup, one line a faction: "Venetians: computer".
std::string SetupLines(const ComputerPlayed& computer_played);

extern const char kTryHelp[];       // after a usage error
extern const char kDroppedFiles[];  // files dropped on the program
extern const char kOutOfMemoryLine[];
extern const char kNoEventsFile[];        // by --status; {0} the folder
extern const char kNotOurs[];             // by --status
extern const char kKeptAs[];              // {0} the backup
extern const char kCannotReadAnswers[];   // {0} the reason
extern const char kCannotChangeFolder[];  // {0} the folder, {1} the reason
extern const char kWriteError[];          // {0} the reason
extern const char kUnexpected[];          // {0} what the exception said
extern const char kWrittenIn[];           // {0} the folder
// The closing lines of a window of the program's own, where the folder may
// not be the scenario's: {0} the program, but where said.
extern const char kNoEventsFileBefore[];  // there was none, in its folder
extern const char kProgramIsIn[];         // {0} the program's own folder
extern const char kNoEventsFileThere[];   // none, in another folder
extern const char kDownloadFolder[];      // holding nothing but the download
extern const char kStartedInZip[];        // in the temporary folder: refused
extern const char kInWindowsFolder[];     // {0} the folder; refused
extern const char kVirtualStore[];        // {0} the copy older games read

#endif  // SETUP_MESSAGES_H_
