// The real program under faults: signals at a prompt, a full disk, runs at
// once in one folder, and odd console input.

#ifndef _WIN32

#include <signal.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "support/expected_events.h"
#include "support/program.h"
#include "support/scratch_dir.h"

namespace {

using Names = std::vector<std::string>;

constexpr char kOldEvents[] = "@BEGINEVENTS\r\nold\r\n@ENDEVENTS\r\n";

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteFile(scratch_.events_file(), kOldEvents); }
  std::string Events() const { return ReadFile(scratch_.events_file()); }
  Names Files() const { return ListDir(scratch_.scenario()); }

  ScratchDir scratch_;
};

// Starts a run, answers `answered` questions with "n", and signals it while
// it waits at the next prompt.
ProgramResult SignalAtPrompt(const ScratchDir& scratch, int answered,
                             int signal_number,
                             const ProgramOptions& options = {}) {
  static const char* const kPrompts[] = {
      "Venetians being played by a human? (y or n)",
      "Hafsids being played by a human? (y or n)",
      "Teutonics being played by a human? (y or n)",
  };
  Child child = StartProgram(scratch.scenario(), options);
  for (int i = 0; i < answered; ++i) {
    EXPECT_TRUE(WaitForOutput(child, kPrompts[i]));
    SendInput(&child, "n\n", /*close=*/false);
  }
  EXPECT_TRUE(WaitForOutput(child, kPrompts[answered]));
  kill(child.pid, signal_number);
  return WaitProgram(&child);
}

// Every signal that would end the process removes the temporary file first,
// and a backup made by an earlier run is left alone as well.
TEST_F(FaultTest, SignalAtAPromptLeavesTheOldFilesAndNoTemporaryFile) {
  const std::string backup = scratch_.events_file().string() + ".bak";
  WriteFile(backup, "older");
  const int kSignals[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGPIPE,  SIGTERM,
                          SIGALRM, SIGUSR1,   SIGUSR2, SIGXCPU,  SIGPROF,
                          SIGIO,   SIGVTALRM, SIGPWR,  SIGRTMIN, SIGRTMAX};
  int answered = 0;
  for (int signal_number : kSignals) {
    answered = (answered + 1) % 3;
    const ProgramResult result =
        SignalAtPrompt(scratch_, answered, signal_number);
    SCOPED_TRACE(std::to_string(signal_number) + " " +
                 strsignal(signal_number) + " at prompt " +
                 std::to_string(answered + 1));
    EXPECT_EQ(result.signal, signal_number);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(Events(), kOldEvents);
    EXPECT_EQ(ReadFile(backup), "older");
    EXPECT_EQ(Files(), (Names{"events.txt", "events.txt.bak"}));
  }
}

// nohup and background jobs start a program with signals ignored.
TEST_F(FaultTest, SignalIgnoredAtStartStaysIgnored) {
  ProgramOptions options;
  options.ignored_signal = SIGHUP;
  Child child = StartProgram(scratch_.scenario(), options);
  ASSERT_TRUE(WaitForOutput(child, "(y or n)"));
  kill(child.pid, SIGHUP);
  SendInput(&child, "y\ny\ny\n");
  const ProgramResult result = WaitProgram(&child);
  EXPECT_EQ(result.exit_code, 0) << result.signal;
  EXPECT_EQ(Events(), ExpectedEvents("yyy"));
}

// SIGKILL cannot be caught, but nothing of the program's is on disk while
// it asks: the folder stays exactly as it was.
TEST_F(FaultTest, KillAtEachPromptLeavesTheFolderAsItWas) {
  for (int answered = 0; answered < 3; ++answered) {
    const ProgramResult result = SignalAtPrompt(scratch_, answered, SIGKILL);
    EXPECT_EQ(result.signal, SIGKILL);
    EXPECT_EQ(Events(), kOldEvents) << "at prompt " << answered + 1;
    EXPECT_EQ(Files(), Names{"events.txt"}) << "at prompt " << answered + 1;
  }
}

// A file size limit stops the write as a full disk would, and stops root too.
TEST_F(FaultTest, FullDiskFailsAndKeepsTheOldFile) {
  ProgramOptions options;
  options.file_size_limit = 4096;
  const ProgramResult result =
      RunProgram(scratch_.scenario(), "n\nn\nn\n", options);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, kExpectedConsole);
  EXPECT_EQ(result.err,
            "velmoria-setup: cannot write events.txt: File too large\n");
  EXPECT_EQ(Events(), kOldEvents);
  EXPECT_EQ(Files(), Names{"events.txt"});
}

TEST_F(FaultTest, SixteenRunsAtOnceLeaveOneCompleteFile) {
  const char* const kAnswers[] = {"nnn", "nny", "nyn", "nyy",
                                  "ynn", "yny", "yyn", "yyy"};
  std::vector<Child> children;
  children.reserve(16);
  for (int i = 0; i < 16; ++i) {
    children.push_back(StartProgram(scratch_.scenario()));
  }
  for (int i = 0; i < 16; ++i) {
    const char* answers = kAnswers[i % 8];
    SendInput(&children[i], std::string{answers[0], '\n', answers[1], '\n',
                                        answers[2], '\n'});
  }
  for (Child& child : children) {
    const ProgramResult result = WaitProgram(&child);
    EXPECT_EQ(result.exit_code, 0) << result.err;
  }
  const std::string events = Events();
  int matches = 0;
  for (const char* answers : kAnswers) {
    matches += events == ExpectedEvents(answers);
  }
  EXPECT_EQ(matches, 1) << events;
  EXPECT_EQ(Files(), (Names{"events.txt", "events.txt.bak"}));
  EXPECT_EQ(ReadFile(scratch_.events_file().string() + ".bak"), kOldEvents);
}

TEST_F(FaultTest, ConsoleInputEdges) {
  struct Case {
    const char* name;
    std::string input;
    const char* answers;
  };
  const Case cases[] = {
      {"empty input", "", "yyy"},
      {"megabytes of white space", std::string(6 << 20, ' ') + "\n\t\r\nn",
       "nnn"},
      {"odd bytes", std::string("\0\n\xff\n\x1a\n", 6), "yyy"},
      {"odd bytes then n", std::string("\x1a\0n", 3), "yyn"},
  };
  for (const Case& c : cases) {
    const ProgramResult result = RunProgram(scratch_.scenario(), c.input);
    EXPECT_EQ(result.exit_code, 0) << c.name;
    EXPECT_EQ(result.out, kExpectedConsole) << c.name;
    EXPECT_EQ(Events(), ExpectedEvents(c.answers)) << c.name;
  }
}

// A closed standard stream must not become the events file's descriptor,
// or console text would end up in the file.
TEST_F(FaultTest, ClosedStandardStreams) {
  ProgramOptions no_input;
  no_input.close_stdin = true;
  ProgramResult result = RunProgram(scratch_.scenario(), "", no_input);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(Events(), ExpectedEvents("yyy"));

  ProgramOptions no_output;
  no_output.close_stdout = true;
  result = RunProgram(scratch_.scenario(), "n\ny\nn\n", no_output);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(Events(), ExpectedEvents("nyn"));
  EXPECT_EQ(Files(), (Names{"events.txt", "events.txt.bak"}));
}

}  // namespace

#endif  // _WIN32
