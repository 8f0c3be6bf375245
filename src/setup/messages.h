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

inline constexpr char kTryHelp[] =  // after a usage error
    "Try 'velmoria-setup --help' for more information.";
inline constexpr char kOutOfMemoryLine[] = "velmoria-setup: out of memory\n";
// By --status: {0} the folder; and when it does not know the file.
inline constexpr char kNoEventsFile[] = "there is no events.txt in {0}";
inline constexpr char kNotOurs[] =
    "events.txt was not written by this version of velmoria-setup; it was "
    "edited by hand, or written by another version";
inline constexpr char kKeptAs[] = "kept the previous events.txt as {0}";
inline constexpr char kCannotReadAnswers[] =  // {0} the reason
    "cannot read the answers from standard input: {0}";
inline constexpr char kCannotChangeFolder[] =  // {0} the folder, {1} why
    "cannot change to folder '{0}': {1}";
inline constexpr char kWriteError[] = "write error: {0}";
inline constexpr char kUnexpected[] = "unexpected error: {0}";  // exception

// What only Windows says: in a window of the program's own, and of places
// only Windows has. The package test leaves these out on Linux.
inline constexpr char kDroppedFiles[] =
    "files cannot be dropped on this program; double-click it in the "
    "scenario's folder instead";
inline constexpr char kWrittenIn[] = "events.txt is written in {0}.";
// The closing lines of a window of the program's own, where the folder may
// not be the scenario's: {0} the program, but where said.
inline constexpr char kNoEventsFileBefore[] =  // there was none, in its folder
    "There was no events.txt here before. If this is not the scenario's "
    "folder, move {0} into the folder that holds the scenario and run it "
    "there.";
inline constexpr char kProgramIsIn[] =  // {0} the program's own folder
    "The program itself is in {0}.";
inline constexpr char kNoEventsFileThere[] =  // none, in another folder
    "There was no events.txt there before. If the program's folder is the "
    "scenario's, clear the \"Start in\" box in its shortcut's Properties "
    "and run it again.";
inline constexpr char kDownloadFolder[] =  // holding nothing but the download
    "This folder holds nothing but the program: it looks like the folder the "
    "download was unpacked into, not the scenario's. Move {0} into the "
    "folder that holds the scenario and run it there.";
inline constexpr char kStartedInZip[] =  // in the temporary folder: refused
    "This is a temporary folder: the program was started from inside the "
    "zip, and the game will not look here, so nothing was written. Take {0} "
    "out of the zip into the scenario's folder and run it there.";
inline constexpr char kInWindowsFolder[] =  // {0} the folder; refused
    "it was started in {0}, outside the scenario's folder; double-click "
    "velmoria-setup.exe in the scenario's folder, or set its shortcut's "
    "\"Start in\" to that folder";
inline constexpr char kVirtualStore[] =  // {0} the copy older games read
    "{0} hides this events.txt from older games, which read that copy "
    "instead; move it away or delete it";

#endif  // SETUP_MESSAGES_H_
