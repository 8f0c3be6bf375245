#ifndef SUPPORT_PROGRAM_H_
#define SUPPORT_PROGRAM_H_

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "gtest/gtest.h"
#include "support/scratch_dir.h"

// Runs the real velmoria-setup program, built beside the tests, as a player
// would: in a folder of its own, with its console on files and pipes.

struct ProgramResult {
  int exit_code = -1;  // the exit status, or -1 when a signal ended it
  int signal = 0;      // the signal that ended it, or 0
  std::string out;     // standard output
  std::string err;     // standard error
};

// A user to run the program as, by numeric ids; see UnprivilegedUser().
struct User {
  unsigned uid = 0;
  unsigned gid = 0;
  std::vector<unsigned> groups;  // supplementary groups
};

struct ProgramOptions {
  std::vector<std::string> args;   // the arguments after the program's name
  const User* user = nullptr;      // run as this user (needs root)
  bool unwritable_output = false;  // standard output open only for reading
  // A program, with its arguments, that starts this one (such as strace).
  std::vector<std::string> run_under;
};

// Runs the program in `dir` with `input` on standard input and waits for it.
// Its console output goes through files kept beside `dir`.
ProgramResult RunProgram(const std::filesystem::path& dir,
                         std::string_view input,
                         const ProgramOptions& options = {});

using Names = std::vector<std::string>;

// The fixture of the tests that run the real program: a scenario folder of
// their own, and what is in it after a run.
class ScenarioFolderTest : public ::testing::Test {
 protected:
  ProgramResult Run(std::string_view input,
                    const ProgramOptions& options = {}) {
    return RunProgram(scratch_.scenario(), input, options);
  }
  ProgramResult RunWith(std::vector<std::string> args,
                        std::string_view input = "") {
    ProgramOptions options;
    options.args = std::move(args);
    return Run(input, options);
  }
  std::string Events() const { return ReadFile(scratch_.events_file()); }
  Names Files() const { return ListDir(scratch_.scenario()); }

  ScratchDir scratch_;
};

#ifndef _WIN32
#include <sys/types.h>

// Returns true if the tests may run the program as other users.
bool CanSwitchUsers();

// A user whom permission bits stop, as they stop players: nobody when the
// tests run as root, else null, for the tests' own user.
const User* UnprivilegedUser();

// Returns true if the program can run under strace here, as it cannot
// where ptrace is refused.
bool CanTrace();

// What ProgramOptions::run_under starts the program with to run it under
// strace with `expression` ("trace=...", "inject=..."), its trace written to
// `output`; with `path`, only the calls on that path. LeakSanitizer, which
// does not run under ptrace, is off.
std::vector<std::string> Traced(const std::string& expression,
                                const std::string& output = "/dev/null",
                                const std::string& path = "");

// A program started and not yet waited for; its standard input is a pipe.
struct Child {
  pid_t pid = -1;
  int stdin_fd = -1;
  std::filesystem::path out_path;
  std::filesystem::path err_path;
};

// Starts the program in `dir`.
Child StartProgram(const std::filesystem::path& dir,
                   const ProgramOptions& options = {});

// Writes `input` to the program's standard input, then closes it.
void SendInput(Child* child, std::string_view input);

// Waits until the program's standard output ends with `ending`; returns
// false if it has not after ten seconds or the program has ended.
bool WaitForOutput(const Child& child, std::string_view ending);

// Waits for the program to end and collects its output.
ProgramResult WaitProgram(Child* child);
#endif

#endif  // SUPPORT_PROGRAM_H_
