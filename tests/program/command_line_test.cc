// The real program started with arguments, as scripts and shortcuts start it.

#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "gtest/gtest.h"
#include "setup/command_line.h"
#include "support/expected_events.h"
#include "support/program.h"
#include "support/scratch_dir.h"

namespace fs = std::filesystem;

namespace {

using Args = std::vector<std::string>;
using CommandLineTest = ScenarioFolderTest;

constexpr char kTryHelp[] =
    "\nTry 'velmoria-setup --help' for more information.\n";

// ANSWERS asks nothing, prints nothing and writes what the dialogue writes;
// --status then names the setup and changes nothing.
TEST_F(CommandLineTest, AnswersWriteTheFileAndStatusNamesIt) {
  for (const char* answers : kAnswerSets) {
    ProgramResult result = RunWith({answers}, "y\ny\ny\n");
    EXPECT_EQ(result.exit_code, 0) << answers;
    EXPECT_EQ(result.out + result.err, "") << answers;
    EXPECT_EQ(Events(), ExpectedEvents(answers)) << answers;

    result = RunWith({"--status"});
    EXPECT_EQ(result.exit_code, 0) << answers;
    EXPECT_EQ(result.out, ExpectedStatus(answers));
    EXPECT_EQ(Events(), ExpectedEvents(answers)) << answers;
    EXPECT_EQ(Files(), Names{"events.txt"}) << answers;
  }
}

TEST_F(CommandLineTest, StatusOfAFileItDidNotWrite) {
  // The folder named in full, though its name is not ASCII.
  const fs::path folder = scratch_.root() / fs::u8path("Сценарий-Ä");
  fs::create_directory(folder);
  ProgramResult result = RunWith({"-C", folder.u8string(), "--status"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "velmoria-setup: there is no events.txt in " +
                            folder.u8string() + "\n");
  EXPECT_TRUE(fs::is_empty(folder));

  const std::string edited = ExpectedEvents("nyn") + "@DEBUG\r\n";
  WriteFile(scratch_.events_file(), edited);
  result = RunWith({"--status"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "velmoria-setup: events.txt was not written by this version of "
            "velmoria-setup; it was edited by hand, or written by another "
            "version\n");
  EXPECT_EQ(Events(), edited);

#ifndef _WIN32
  // A FIFO named like the file must not hang it; a file that cannot be
  // opened is there all the same.
  fs::remove(scratch_.events_file());
  ASSERT_EQ(mkfifo(scratch_.events_file().c_str(), 0644), 0);
  result = RunWith({"--status"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err,
            "velmoria-setup: cannot read events.txt: it is not a regular "
            "file\n");
  fs::remove(scratch_.events_file());
  fs::create_symlink("events.txt", scratch_.events_file());
  result = RunWith({"--status"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err,
            "velmoria-setup: cannot read events.txt: Too many levels of "
            "symbolic links\n");
#endif
}

// Each is refused before anything is written, with a hint to --help.
TEST_F(CommandLineTest, UsageErrors) {
  const std::string answers =
      "ANSWERS must be three letters, each y or n, such as ynn; not ";
  const struct {
    Args args;
    std::string error;
  } cases[] = {
      {{"yn"}, answers + "'yn'"},
      {{"Ynn"}, answers + "'Ynn'"},
      {{"yxn"}, answers + "'yxn'"},
      {{"y", "n", "n"}, "unexpected argument 'n'"},
      {{"--status", "ynn"}, "--status takes no ANSWERS"},
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"-x", "ynn"}, "unknown option '-x'"},
      {{"--status=all"}, "unknown option '--status=all'"},
      {{"ynn", "-C"}, "option '-C' needs a folder"},
  };
  for (const auto& c : cases) {
    const ProgramResult result = RunWith(c.args, "n\nn\nn\n");
    EXPECT_EQ(result.exit_code, 2) << c.error;
    EXPECT_EQ(result.out, "") << c.error;
    EXPECT_EQ(result.err, "velmoria-setup: " + c.error + kTryHelp);
    EXPECT_EQ(Files(), Names{}) << c.error;
  }
}

// Each on standard output, where a failure to write is the run's own.
TEST_F(CommandLineTest, HelpAndVersion) {
  ProgramResult result = RunWith({"--help"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out, kHelpText);
  EXPECT_EQ(result.err, "");

  result = RunWith({"--version", "ynn"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out, "velmoria-setup " VELMORIA_VERSION "\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(Files(), Names{});

  ProgramOptions options;
  options.args = {"--help"};
  options.unwritable_output = true;
  result = Run("", options);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err.rfind("velmoria-setup: write error: ", 0), 0u)
      << result.err;
}

// -C works for the dialogue and for ANSWERS, from another folder; folders
// given one after another are each taken from the one before.
TEST_F(CommandLineTest, FolderOption) {
  const fs::path other = scratch_.root() / "other";
  fs::create_directories(other / "inner");
  ProgramResult result = RunWith({"-C", "../other"}, "n\ny\nn\n");
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out, ExpectedConsole());
  EXPECT_EQ(ReadFile(other / "events.txt"), ExpectedEvents("nyn"));

  result = RunWith({"ynn", "--directory=../other", "-C", "inner"});
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(ReadFile(other / "inner" / "events.txt"), ExpectedEvents("ynn"));
  EXPECT_EQ(Files(), Names{});

  result = RunWith({"-C", "missing", "ynn"});
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err,
            "velmoria-setup: cannot change to folder 'missing': No such file "
            "or directory\n");
  EXPECT_EQ(Files(), Names{});
}

}  // namespace
