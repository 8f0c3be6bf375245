// The real program under faults: signals at a prompt, a full disk, runs at
// once in one folder, and odd console input.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "support/expected_events.h"
#include "support/program.h"
#include "support/scratch_dir.h"

namespace {

constexpr char kOldEvents[] = "@BEGINEVENTS\r\nold\r\n@ENDEVENTS\r\n";

class FaultTest : public ScenarioFolderTest {
 protected:
  void SetUp() override { WriteFile(scratch_.events_file(), kOldEvents); }
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
// and SIGKILL, which cannot be caught, finds nothing of the program's on disk
// while it asks: the old file, and a backup of an earlier run, stay as they
// were.
TEST_F(FaultTest, SignalAtAPromptLeavesTheFolderAsItWas) {
  const std::string backup = scratch_.events_file().string() + ".bak";
  WriteFile(backup, "older");
  const int kSignals[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGPIPE,  SIGTERM,
                          SIGALRM, SIGUSR1,   SIGUSR2, SIGXCPU,  SIGPROF,
                          SIGIO,   SIGVTALRM, SIGPWR,  SIGRTMIN, SIGRTMAX,
                          SIGKILL, SIGKILL,   SIGKILL};
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

// Runs at once in one folder, 16 at a time, say nothing of each other's
// files and leave one complete file, whichever went into place last.
TEST_F(FaultTest, RunsAtOnceLeaveOneCompleteFile) {
  std::filesystem::remove(scratch_.events_file());
  for (int wave = 0; wave < 3; ++wave) {
    std::vector<Child> children;
    children.reserve(16);
    for (int i = 0; i < 16; ++i) {
      children.push_back(StartProgram(scratch_.scenario()));
    }
    for (int i = 0; i < 16; ++i) {
      const char* answers = kAnswerSets[(i + wave) % 8];
      SendInput(&children[i], std::string{answers[0], '\n', answers[1], '\n',
                                          answers[2], '\n'});
    }
    for (Child& child : children) {
      const ProgramResult result = WaitProgram(&child);
      EXPECT_EQ(result.exit_code, 0);
      EXPECT_EQ(result.err, "");
    }
    EXPECT_EQ(Files(), Names{"events.txt"});
    EXPECT_TRUE(IsWrittenByThisVersion(Events()));
  }
}

// A file that appears after the run looked for one, and before its new file
// goes into place, is judged as any old file: a hand-edited one is kept. A
// link that appears between the look and the opening is not followed, nor
// replaced by a file.
TEST_F(FaultTest, WhatAppearsAfterTheLookIsNotReplacedUnseen) {
  if (!CanTrace()) GTEST_SKIP() << "the program cannot run under strace here";
  const std::filesystem::path target = scratch_.root() / "target";
  WriteFile(target, "the target's\n");
  for (const bool link : {false, true}) {
    std::filesystem::remove(scratch_.events_file());
    ProgramOptions options;
    options.args = {"nyn"};
    // The new file's rename, or the opening of events.txt, waits a second.
    options.run_under =
        link ? Traced("inject=openat:delay_enter=1000000:when=1", "/dev/null",
                      "events.txt")
             : Traced("inject=renameat2:delay_enter=1000000:when=1");
    Child child = StartProgram(scratch_.scenario(), options);
    if (link) {
      usleep(300000);
      std::filesystem::create_symlink(target, scratch_.events_file());
    } else {
      // The new file is made once the run has looked.
      for (int i = 0; i < 5000 && Files().empty(); ++i) usleep(1000);
      WriteFile(scratch_.events_file(), "mine\r\n");
    }
    const ProgramResult result = WaitProgram(&child);
    if (link) {
      EXPECT_EQ(result.err,
                "velmoria-setup: cannot write events.txt: it is not a regular "
                "file\n");
      EXPECT_TRUE(std::filesystem::is_symlink(scratch_.events_file()));
      EXPECT_EQ(ReadFile(target), "the target's\n");
    } else {
      EXPECT_EQ(result.err,
                "velmoria-setup: kept the previous events.txt as "
                "events.txt.bak\n");
      EXPECT_EQ(Events(), ExpectedEvents("nyn"));
      EXPECT_EQ(ReadFile(scratch_.events_file().string() + ".bak"), "mine\r\n");
    }
  }
}

// A fault of the program's own, made real by sending it to address 0 at a
// call, ends the run at once by its signal: before the new file goes into
// place, with what the run made removed; at the rename, where interruptions
// from outside are let go, with nothing removed, as the copy of a
// hand-edited file may then be the only one.
TEST_F(FaultTest, FaultOfItsOwnEndsTheRunBySignal) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer handles the program's faults itself";
#endif
  if (system("gdb --version >/dev/null 2>&1") != 0 || !CanTrace()) {
    GTEST_SKIP() << "gdb cannot run the program here";
  }
  for (const auto& [call, files] : {std::pair{"fsync", 1u}, {"rename", 3u}}) {
    ProgramOptions options;
    options.args = {"nyn"};
    // gdb sends the program to address 0 at the first call of `call`.
    options.run_under = {"timeout", "-s", "KILL", "10", "gdb", "-q", "-batch"};
    for (const std::string& command :
         {std::string("handle SIGSEGV nostop noprint pass"),
          std::string("break ") + call, std::string("run"),
          std::string("set $pc = 0"), std::string("continue")}) {
      options.run_under.insert(options.run_under.end(), {"-ex", command});
    }
    options.run_under.emplace_back("--args");
    const auto start = std::chrono::steady_clock::now();
    const ProgramResult result = Run("", options);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5))
        << call;
    EXPECT_NE(result.out.find("Program terminated with signal SIGSEGV"),
              std::string::npos)
        << call << ": " << result.out << result.err;
    EXPECT_EQ(Events(), kOldEvents) << call;
    EXPECT_EQ(Files().size(), files) << call;
  }
}

// Started from a shell, as users start it: with standard input closed,
// which is no input, or one that cannot be read, which is no answer either;
// with too little memory for a large hand-edited file, which is held once;
// with a file size limit, which stops a write as a full disk would, root's
// too; with --status or --help on a full disk; and in a folder deleted under
// it, which is named as it was.
TEST_F(FaultTest, OddStartsFromAShell) {
  const std::string big(20 << 20, 'x');
  const std::string old = kOldEvents;
  const std::string written = ExpectedEvents("nyn");
  const char* const kKept =
      "velmoria-setup: kept the previous events.txt as events.txt.bak\n";
  struct Case {
    const char* shell;       // runs the program as "$0" "$@"
    const std::string& old;  // events.txt before the run
    std::string err;
    const char* answers;  // of the file written; null if it must fail
  };
  const std::string gone = (scratch_.scenario() / "gone").string();
  const Case cases[] = {
      {R"(exec "$0" "$@" <&-)", old, kKept, "yyy"},
      {R"(exec "$0" "$@" < /)", old,
       "velmoria-setup: cannot read the answers from standard input: Is a "
       "directory\n",
       nullptr},
      {R"(exec "$0" "$@" 0>/dev/null)", old,  // as nohup leaves it
       "velmoria-setup: cannot read the answers from standard input: Bad file "
       "descriptor\n",
       nullptr},
      {R"(ulimit -v 65536; exec "$0" "$@" nyn)", big, kKept, "nyn"},
      {R"(ulimit -v 16384; exec "$0" "$@" nyn)", big,
       "velmoria-setup: out of memory\n", nullptr},
      {R"(ulimit -f 4; exec "$0" "$@" nyn)", old,
       "velmoria-setup: cannot write events.txt: File too large\n", nullptr},
      {R"(exec "$0" "$@" --status >/dev/full)", written,
       "velmoria-setup: write error: No space left on device\n", nullptr},
      {R"(exec "$0" "$@" --help >/dev/full)", written,
       "velmoria-setup: write error: No space left on device\n", nullptr},
      {R"(mkdir gone; cd gone; rmdir ../gone; exec "$0" "$@" nyn)", old,
       "velmoria-setup: cannot write in the folder " + gone +
           " (deleted): No such file or directory\n",
       nullptr},
      {R"(mkdir gone; cd gone; rmdir ../gone; exec "$0" "$@" --status)", old,
       "velmoria-setup: there is no events.txt in " + gone + " (deleted)\n",
       nullptr},
  };
  for (const Case& c : cases) {
#ifdef __SANITIZE_ADDRESS__
    // AddressSanitizer reserves terabytes of address space for itself.
    if (std::string(c.shell).find("ulimit") != std::string::npos) continue;
#endif
    WriteFile(scratch_.events_file(), c.old);
    std::filesystem::remove(scratch_.events_file().string() + ".bak");
    ProgramOptions options;
    options.run_under = {"sh", "-c", c.shell};
    const ProgramResult result = Run("", options);
    EXPECT_EQ(result.exit_code, c.answers ? 0 : 1) << c.shell;
    EXPECT_EQ(result.err, c.err) << c.shell;
    if (c.answers) {
      EXPECT_EQ(Events(), ExpectedEvents(c.answers)) << c.shell;
      EXPECT_TRUE(ReadFile(scratch_.events_file().string() + ".bak") == c.old);
    } else {
      EXPECT_TRUE(Events() == c.old) << c.shell;
      EXPECT_EQ(Files(), Names{"events.txt"}) << c.shell;
    }
  }
}

// Each file-system call a run makes, from its first look at events.txt on,
// is made to fail in turn with strace's fault injection, and in another run
// met by SIGTERM. Whatever fails, events.txt is the old file or the complete
// new one; a hand-edited file's text is in events.txt, events.txt.bak or a
// file the error names; nothing else is left but what the error names; the
// run ends 0 only with the new file in place, else 1 with one line, or by
// the signal, with the folder as it was if the old file is still there. A
// rename refused as busy is tried again for about two seconds; once the file is
// in place, a folder the disk cannot sync is said in a line, and one that
// cannot be synced at all is not.
TEST(FailingCallTest, EveryCallOfARunFailedInTurn) {
  if (!CanTrace()) GTEST_SKIP() << "the program cannot run under strace here";
  static constexpr char kCalls[] =
      "openat,read,pwrite64,ftruncate,fsync,close,rename,renameat2,unlink,"
      "newfstatat,fchmod,fchown,readlink";
  const std::string edited = "mine\r\n";
  const std::string wanted = ExpectedEvents("nyn");
  const std::string ours = ExpectedEvents("yyy");
  const std::string kept = "velmoria-setup: kept the previous events.txt as ";
  const std::string unsynced =
      "velmoria-setup: events.txt is in place, but the disk reported an "
      "error: ";
  struct Scenario {
    const char* name;
    const std::string* old;  // the old events.txt; null for none
    bool linked;             // events.txt links to real/target.txt
    bool dialogue;           // asked, else given as ANSWERS
  };
  const Scenario scenarios[] = {
      {"no old file", nullptr, false, false},
      {"a file the program wrote", &ours, false, true},
      {"another user's hand-edited file", &edited, false, false},
      {"a link to a hand-edited file", &edited, true, true},
  };
  int runs = 0;
  int warned = 0;  // runs that said the folder could not be synced
  int silent = 0;  // runs whose folder could not be synced at all
  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.name);
    ScratchDir scratch;
    const std::filesystem::path folder =
        scenario.linked ? scratch.scenario() / "real" : scratch.scenario();
    const std::filesystem::path file =
        scenario.linked ? folder / "target.txt" : scratch.events_file();
    const std::filesystem::path trace_file = scratch.root() / "trace";
    const std::string old = scenario.old ? *scenario.old : "";
    Names before;
    // Runs the program under strace in a scenario folder made anew.
    auto run = [&](const std::string& strace_expression) {
      std::filesystem::remove_all(scratch.scenario());
      std::filesystem::create_directories(folder);
      if (scenario.linked) {
        std::filesystem::create_symlink("real/target.txt",
                                        scratch.events_file());
      }
      if (scenario.old != nullptr) WriteFile(file, old);
      // Owned by someone else, so that the new file's owner is set.
      if (scenario.old == &edited && !scenario.linked && geteuid() == 0) {
        EXPECT_EQ(chown(file.c_str(), 61001, 61001), 0);
      }
      before = ListDir(folder);
      ProgramOptions options;
      // A run that never ends, such as one retrying for ever, fails.
      options.run_under = Traced(strace_expression, trace_file.string());
      options.run_under.insert(options.run_under.begin(),
                               {"timeout", "-s", "KILL", "10"});
      if (!scenario.dialogue) options.args = {"nyn"};
      return RunProgram(scratch.scenario(),
                        scenario.dialogue ? "n\ny\nn\n" : "", options);
    };
    // A first run without faults lists the calls; each is failed, and
    // signalled, at its turn. A sync that cannot be made at all is no
    // failure where it is the folder's.
    ASSERT_EQ(run(std::string("trace=") + kCalls).exit_code, 0);
    std::vector<std::string> faults;
    std::map<std::string, int> seen;
    std::istringstream trace(ReadFile(trace_file));
    for (std::string line; std::getline(trace, line);) {
      const std::string name = line.substr(0, line.find('('));
      const std::string when = ":when=" + std::to_string(++seen[name]);
      if (faults.empty() && line.find("\"events.txt") == std::string::npos) {
        continue;  // the loader's and the C library's, before the run's own
      }
      for (const std::string_view kind :
           {"error=EIO", "signal=SIGTERM", "error=EINVAL"}) {
        if (kind != "error=EINVAL" || name == "fsync") {
          std::string fault = name;
          faults.push_back(fault.append(":").append(kind).append(when));
        }
      }
    }
    // The old file busy once, and busy for good; a hand-edited file's copy
    // that can neither take its name nor go back.
    if (scenario.old) {
      faults.insert(faults.end(), {"rename:error=EBUSY:when=1",
                                   "rename:error=EBUSY:when=1+"});
    }
    if (scenario.old == &edited)
      faults.emplace_back("rename:error=EIO:when=2+");
    for (const std::string& fault : faults) {
      SCOPED_TRACE(fault);
      const auto start = std::chrono::steady_clock::now();
      const ProgramResult result = run("inject=" + fault);
      const auto took = std::chrono::steady_clock::now() - start;
      ++runs;
      const std::string events = ReadFile(file);
      EXPECT_TRUE(events == old || events == wanted);
      if (result.signal != 0) {
        // Before the new file goes into place, or as the run exits after.
        EXPECT_EQ(result.signal, SIGTERM);
        if (events == old) {
          EXPECT_EQ(ListDir(folder), before);
        }
      } else if (result.exit_code == 0) {
        EXPECT_TRUE(events == wanted);
        std::string err = result.err;
        if (err.rfind(kept, 0) == 0) err.erase(0, err.find('\n') + 1);
        warned += err.rfind(unsynced, 0) == 0;
        silent += err.empty() && fault.find("fsync:error=EINVAL") == 0;
        EXPECT_TRUE(err.empty() || err.rfind(unsynced, 0) == 0) << result.err;
      } else {
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1)
            << result.err;
        EXPECT_EQ(result.err.rfind("velmoria-setup: ", 0), 0u) << result.err;
      }
      // What the run leaves, it names, and a hand-edited file is never lost.
      bool edited_kept = scenario.old != &edited;
      for (const std::string& name : ListDir(folder)) {
        const bool named = result.err.find(name) != std::string::npos;
        EXPECT_TRUE(name == file.filename().string() ||
                    name == file.filename().string() + ".bak" || named)
            << "left " << name << "; " << result.err;
        edited_kept = edited_kept || ReadFile(folder / name) == edited;
      }
      EXPECT_TRUE(edited_kept) << result.err;
      if (fault.find("EBUSY") != std::string::npos) {
        const bool for_good = fault.back() == '+';
        EXPECT_EQ(result.exit_code, for_good ? 1 : 0) << result.err;
        if (for_good) {
          EXPECT_EQ(result.err,
                    "velmoria-setup: cannot put the new events.txt in place: "
                    "Device or resource busy\n");
          EXPECT_TRUE(took > std::chrono::seconds(1) &&
                      took < std::chrono::seconds(6))
              << std::chrono::duration<double>(took).count() << " s";
        }
      }
    }
  }
  EXPECT_GT(runs, 200);
  EXPECT_GT(warned, 0);
  EXPECT_GT(silent, 0);
  std::printf("%d runs, each with one failing call\n", runs);
}

}  // namespace
