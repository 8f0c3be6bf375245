// The real program, run in a scratch folder as a player runs it.

#include "support/program.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "support/expected_events.h"
#include "support/scratch_dir.h"

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

class ProgramTest : public ::testing::Test {
 protected:
  ProgramResult RunWith(std::string_view input) {
    return RunProgram(scratch_.scenario(), input);
  }
  std::string Events() const { return ReadFile(scratch_.events_file()); }
  Names Files() const { return ListDir(scratch_.scenario()); }

  ScratchDir scratch_;
};

// Byte for byte, on every system the program is built for.
TEST_F(ProgramTest, AllEightAnswerSets) {
  for (const char* answers :
       {"nnn", "nny", "nyn", "nyy", "ynn", "yny", "yyn", "yyy"}) {
    const ProgramResult result = RunWith(
        std::string{answers[0], '\n', answers[1], '\n', answers[2], '\n'});
    EXPECT_EQ(result.exit_code, 0) << answers;
    EXPECT_EQ(result.out, kExpectedConsole) << answers;
    EXPECT_EQ(result.err, "") << answers;
    EXPECT_EQ(Events(), ExpectedEvents(answers)) << answers;
    EXPECT_EQ(Files(), Names{"events.txt"}) << answers;
  }
}

TEST_F(ProgramTest, EveryLineEndsWithCrLfAndNothingFollowsTheEnd) {
  RunWith("n\nn\nn\n");
  const std::string events = Events();
  for (size_t i = 0; i < events.size(); ++i) {
    if (events[i] == '\n') {
      ASSERT_TRUE(i > 0 && events[i - 1] == '\r') << "bare LF at " << i;
    }
    if (events[i] == '\r') {
      ASSERT_EQ(events[i + 1], '\n') << "bare CR at " << i;
    }
  }
  const std::string tail = "\r\n@ENDEVENTS\r\n";
  ASSERT_GT(events.size(), tail.size());
  EXPECT_EQ(events.substr(events.size() - tail.size()), tail);
}

TEST_F(ProgramTest, SecondRunReplacesTheFirst) {
  ASSERT_EQ(RunWith("n\nn\nn\n").exit_code, 0);
  ASSERT_EQ(RunWith("y\ny\ny\n").exit_code, 0);
  EXPECT_EQ(Events(), ExpectedEvents("yyy"));
  EXPECT_EQ(Files(), Names{"events.txt"});
}

// A file the program did not write is kept; one it wrote is not, so that
// running it again and again leaves nothing behind.
TEST_F(ProgramTest, HandEditedFileIsKeptAsBak) {
  const fs::path backup = scratch_.scenario() / "events.txt.bak";
  const std::string edited = ExpectedEvents("nyn") + "@DEBUG\r\n";
  WriteFile(scratch_.events_file(), edited);
  ProgramResult result = RunWith("y\ny\ny\n");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err,
            "velmoria-setup: kept the previous events.txt as "
            "events.txt.bak\n");
  EXPECT_EQ(ReadFile(backup), edited);
  EXPECT_EQ(Events(), ExpectedEvents("yyy"));

  result = RunWith("n\ny\nn\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(ReadFile(backup), edited);

  WriteFile(scratch_.events_file(), "mine\r\n");
  result = RunWith("n\nn\nn\n");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(ReadFile(backup), "mine\r\n");
  EXPECT_EQ(Files(), (Names{"events.txt", "events.txt.bak"}));

  // A copy that a run killed between its two renames left is named.
  WriteFile(scratch_.scenario() / "events.txt.bak.Ab12Cd", "older\r\n");
  result = RunWith("n\nn\nn\n");
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err,
            "velmoria-setup: events.txt.bak.Ab12Cd holds an earlier events.txt "
            "that a stopped run left; rename it to keep it, or delete it\n");
}

// Works as root too: no permission bit lets a file replace a folder, for the
// new file or for the copy of a hand-edited one.
TEST_F(ProgramTest, FolderWhereAFileShouldBeFailsBeforeAsking) {
  fs::create_directory(scratch_.events_file());
  ProgramResult result = RunWith("n\nn\nn\n");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "velmoria-setup: cannot write events.txt: it is a folder, not a "
            "file\n");
  EXPECT_EQ(Files(), Names{"events.txt"});
  EXPECT_TRUE(fs::is_empty(scratch_.events_file()));

  fs::remove(scratch_.events_file());
  WriteFile(scratch_.events_file(), "mine\r\n");
  fs::create_directory(scratch_.scenario() / "events.txt.bak");
  result = RunWith("n\nn\nn\n");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "velmoria-setup: cannot keep the previous events.txt as "
            "events.txt.bak: it is a folder, not a file\n");
  EXPECT_EQ(Events(), "mine\r\n");
  EXPECT_EQ(Files(), (Names{"events.txt", "events.txt.bak"}));
}

// A Ctrl-Z byte ends piped input on Windows, as the C runtime's text mode
// does; elsewhere it is a character like any other but "n".
TEST_F(ProgramTest, CtrlZInPipedInput) {
  ASSERT_EQ(RunWith("y\n\x1an\nn\n").exit_code, 0);
#ifdef _WIN32
  EXPECT_EQ(Events(), ExpectedEvents("yyy"));
#else
  EXPECT_EQ(Events(), ExpectedEvents("yyn"));
#endif
}

#ifndef _WIN32
// What the old file holds is judged again after the answers: one the
// program wrote, edited while a question waits, is kept.
TEST_F(ProgramTest, FileEditedWhileAQuestionWaitsIsKept) {
  ASSERT_EQ(RunWith("y\ny\ny\n").exit_code, 0);
  Child child = StartProgram(scratch_.scenario());
  ASSERT_TRUE(WaitForOutput(child, "(y or n)"));
  WriteFile(scratch_.events_file(), "mine\r\n");
  SendInput(&child, "n\nn\nn\n");
  const ProgramResult result = WaitProgram(&child);
  EXPECT_EQ(result.err,
            "velmoria-setup: kept the previous events.txt as "
            "events.txt.bak\n");
  EXPECT_EQ(ReadFile(scratch_.scenario() / "events.txt.bak"), "mine\r\n");
  EXPECT_EQ(Events(), ExpectedEvents("nnn"));
}

// Each prompt must be on the screen before the program waits for its answer.
TEST_F(ProgramTest, EachPromptIsShownBeforeItsAnswerIsAwaited) {
  Child child = StartProgram(scratch_.scenario());
  const std::string prompts[] = {
      "\nAre Venetians being played by a human? (y or n)",
      "\nAre Hafsids being played by a human? (y or n)",
      "\nAre Teutonics being played by a human? (y or n)",
  };
  for (const std::string& prompt : prompts) {
    ASSERT_TRUE(WaitForOutput(child, prompt)) << prompt;
    SendInput(&child, "\n\nn\n", /*close=*/false);
  }
  const ProgramResult result = WaitProgram(&child);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.out, kExpectedConsole);
  EXPECT_EQ(Events(), ExpectedEvents("nnn"));
}

#endif

}  // namespace
