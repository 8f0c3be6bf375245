#ifndef SETUP_COMMAND_LINE_H_
#define SETUP_COMMAND_LINE_H_

#include <string>
#include <vector>

#include "scenario/plan.h"

// What a run is asked to do.
enum class Command {
  kDialogue,    // no arguments: ask the three questions
  kAnswers,     // ANSWERS given: write the file without asking
  kStatus,      // --status: say which setup events.txt holds
  kHelp,        // --help
  kVersion,     // --version
  kUsageError,  // anything else
};

struct CommandLine {
  Command command = Command::kDialogue;
  std::vector<std::string> directories;  // -C DIR, each taken from the last
  ComputerPlayed computer_played{};      // with kAnswers
  std::string error;                     // with kUsageError: what is wrong
};

// Reads the arguments the program was started with (args[0] is its name),
// on Windows in UTF-8. Looks at nothing else, and prints nothing.
CommandLine ParseCommandLine(std::vector<std::string> args);

// What --help prints.
extern const char kHelpText[];

#endif  // SETUP_COMMAND_LINE_H_
