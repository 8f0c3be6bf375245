// The real program under faults: signals at a prompt, a full disk, runs at
// once in one folder, and odd console input.

#include <signal.h>

#include <map>
#include <sstream>
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

// Started from a shell, as users start it: with standard input that cannot
// be read, which is no answer, and with too little memory for a large
// hand-edited file, which is held once.
TEST_F(FaultTest, UnreadableInputAndLittleMemory) {
  const std::string big(20 << 20, 'x');
  struct Case {
    const char* shell;  // runs the program as "$0" "$@"
    bool big;           // a 20 MB hand-edited events.txt, else kOldEvents
    int exit_code;
    const char* err;
  };
  const Case cases[] = {
      {R"(exec "$0" "$@" < /)", false, 1,
       "velmoria-setup: cannot read the answers from standard input: Is a "
       "directory\n"},
      {R"(exec "$0" "$@" 0>/dev/null)", false, 1,  // as nohup leaves it
       "velmoria-setup: cannot read the answers from standard input: Bad file "
       "descriptor\n"},
      {R"(ulimit -v 65536; exec "$0" "$@" nyn)", true, 0,
       "velmoria-setup: kept the previous events.txt as events.txt.bak\n"},
      {R"(ulimit -v 16384; exec "$0" "$@" nyn)", true, 1,
       "velmoria-setup: out of memory\n"},
  };
  for (const Case& c : cases) {
#ifdef __SANITIZE_ADDRESS__
    // AddressSanitizer reserves terabytes of address space for itself.
    if (c.big) continue;
#endif
    const std::string old = c.big ? big : kOldEvents;
    WriteFile(scratch_.events_file(), old);
    std::filesystem::remove(scratch_.events_file().string() + ".bak");
    ProgramOptions options;
    options.run_under = {"sh", "-c", c.shell};
    const ProgramResult result = RunProgram(scratch_.scenario(), "", options);
    EXPECT_EQ(result.exit_code, c.exit_code) << c.shell;
    EXPECT_EQ(result.err, c.err) << c.shell;
    if (c.exit_code == 0) {
      EXPECT_EQ(Events(), ExpectedEvents("nyn")) << c.shell;
      EXPECT_TRUE(ReadFile(scratch_.events_file().string() + ".bak") == old);
    } else {
      EXPECT_TRUE(Events() == old) << c.shell;
      EXPECT_EQ(Files(), Names{"events.txt"}) << c.shell;
    }
  }
}

// Each file-system call a run makes is made to fail in turn, with strace's
// fault injection. Whatever fails, events.txt is the old file or the
// complete new one, a hand-edited file is in events.txt or events.txt.bak,
// the run ends 0 only with the new file in place and otherwise says why in
// one line, and nothing else is left in the folder.
TEST(FailingCallTest, EveryCallOfARunFailedInTurn) {
  static constexpr char kCalls[] =
      "openat,read,pwrite64,ftruncate,fsync,close,rename,unlink,newfstatat,"
      "fchmod,fchown,readlink";
  const std::string edited = "mine\r\n";
  struct Scenario {
    const char* name;
    const std::string* old;  // the old events.txt; null for none
    bool linked;             // events.txt links to real/target.txt
    bool dialogue;           // asked, else given as ANSWERS
    const char* fsyncs;      // the syncs a run makes: the files', the folder's
  };
  const std::string written = ExpectedEvents("yyy");
  const Scenario scenarios[] = {
      {"no old file", nullptr, false, false, "2"},
      {"a file the program wrote", &written, false, true, "2"},
      {"a hand-edited file", &edited, false, false, "3"},
      {"a link to a hand-edited file", &edited, true, true, "3"},
  };
  const std::string wanted = ExpectedEvents("nyn");
  int runs = 0;
  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.name);
    const bool keep = scenario.old == &edited;
    ScratchDir scratch;
    const std::filesystem::path folder =
        scenario.linked ? scratch.scenario() / "real" : scratch.scenario();
    const std::filesystem::path file =
        scenario.linked ? folder / "target.txt" : scratch.events_file();
    auto run = [&](const std::string& inject) {
      std::filesystem::remove_all(scratch.scenario());
      std::filesystem::create_directories(folder);
      if (scenario.linked) {
        std::filesystem::create_symlink("real/target.txt",
                                        scratch.events_file());
      }
      if (scenario.old != nullptr) WriteFile(file, *scenario.old);
      ProgramOptions options;
      options.run_under = {"strace", "-qq",
                           "-e",     inject,
                           "-o",     (scratch.root() / "trace").string()};
      if (!scenario.dialogue) options.args = {"nyn"};
      return RunProgram(scratch.scenario(),
                        scenario.dialogue ? "n\ny\nn\n" : "", options);
    };
    // A first run without faults counts the calls.
    const ProgramResult clean = run(std::string("trace=") + kCalls);
    if (clean.exit_code == 127) GTEST_SKIP() << "no strace here";
    std::map<std::string, int> counts;
    std::istringstream trace(ReadFile(scratch.root() / "trace"));
    for (std::string line; std::getline(trace, line);) {
      ++counts[line.substr(0, line.find('('))];
    }
    if (clean.exit_code != 0 || counts.empty()) {
      // As where ptrace is refused, or LeakSanitizer refuses to run under it.
      GTEST_SKIP() << "the program cannot run under strace here: " << clean.err;
    }
    EXPECT_EQ(std::to_string(counts["fsync"]), scenario.fsyncs);
    for (const auto& [call, count] : counts) {
      for (int n = 1; n <= count; ++n, ++runs) {
        const std::string at = call + " " + std::to_string(n);
        const ProgramResult result =
            run("inject=" + call + ":error=EIO:when=" + std::to_string(n));
        const std::string events = ReadFile(file);
        const std::string backup = ReadFile(file.string() + ".bak");
        if (result.exit_code == 0) {
          EXPECT_EQ(events, wanted) << at;
        } else {
          EXPECT_EQ(result.exit_code, 1) << at;
          EXPECT_EQ(events, scenario.old == nullptr ? "" : *scenario.old) << at;
          EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1)
              << at << ": " << result.err;
        }
        EXPECT_EQ(result.err.rfind("velmoria-setup: ", 0),
                  result.err.empty() ? std::string::npos : 0u)
            << at;
        if (keep) {
          EXPECT_TRUE(events == edited || backup == edited) << at;
        }
        // What the run could not remove, it names.
        for (const std::string& name : ListDir(folder)) {
          EXPECT_TRUE(name == file.filename().string() ||
                      name == file.filename().string() + ".bak" ||
                      name == "real" ||
                      result.err.find(name) != std::string::npos)
              << at << " left " << name;
        }
      }
    }
  }
  EXPECT_GT(runs, 100);
  std::printf("%d runs, each with one failing call\n", runs);
}

}  // namespace
