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

// Each file-system call a run makes is made to fail in turn with strace's
// fault injection, and in another run met by SIGTERM. Whatever fails,
// events.txt is the old file or the complete new one, a hand-edited file is
// in events.txt or events.txt.bak, and nothing else is left in the folder.
// An error is the run's failure, said in one line, but where it is meant to
// pass: closing a file synced or only read, looking for copies a stopped run
// left, the C library's look at standard output; once the file is in place, a
// folder that cannot be synced is said in a line and the run ends 0, unless the
// folder cannot be synced at all. A signal ends the run and leaves the folder
// as it was, until the new file goes into place; from then on the run ends as a
// success. A rename refused as busy is tried again; any other error is not.
TEST(FailingCallTest, EveryCallOfARunFailedInTurn) {
  static constexpr char kCalls[] =
      "openat,read,pwrite64,ftruncate,fsync,close,rename,renameat2,unlink,"
      "newfstatat,fchmod,fchown,readlink";
  const std::string edited = "mine\r\n";
  struct Scenario {
    const char* name;
    const std::string* old;  // the old events.txt; null for none
    bool linked;             // events.txt links to real/target.txt
    bool dialogue;           // asked, else given as ANSWERS
    int fsyncs;              // the syncs a run makes: the files', the folder's
  };
  const std::string written = ExpectedEvents("yyy");
  const Scenario scenarios[] = {
      {"no old file", nullptr, false, false, 2},
      {"a file the program wrote", &written, false, true, 2},
      {"another user's hand-edited file", &edited, false, false, 3},
      {"a link to a hand-edited file", &edited, true, true, 3},
  };
  const std::string wanted = ExpectedEvents("nyn");
  struct Call {
    std::string name;
    std::string line;  // as strace shows it
  };
  const auto count = [](const std::vector<Call>& calls,
                        const std::string& name) {
    return std::count_if(calls.begin(), calls.end(),
                         [&](const Call& call) { return call.name == name; });
  };
  int runs = 0;
  for (const Scenario& scenario : scenarios) {
    SCOPED_TRACE(scenario.name);
    const bool keep = scenario.old == &edited;
    ScratchDir scratch;
    const std::filesystem::path folder =
        scenario.linked ? scratch.scenario() / "real" : scratch.scenario();
    const std::filesystem::path file =
        scenario.linked ? folder / "target.txt" : scratch.events_file();
    const std::filesystem::path trace_file = scratch.root() / "trace";
    Names before;
    // Runs the program under strace in the scenario; returns the calls
    // traced.
    auto run = [&](const std::string& strace_expression,
                   ProgramResult* result) {
      std::filesystem::remove_all(scratch.scenario());
      std::filesystem::create_directories(folder);
      if (scenario.linked) {
        std::filesystem::create_symlink("real/target.txt",
                                        scratch.events_file());
      }
      if (scenario.old != nullptr) WriteFile(file, *scenario.old);
      // Owned by someone else, so that the new file's owner is set.
      if (keep && !scenario.linked && geteuid() == 0) {
        EXPECT_EQ(chown(file.c_str(), 61001, 61001), 0);
      }
      before = ListDir(folder);
      ProgramOptions options;
      // A run that never ends, such as one retrying for ever, fails.
      options.run_under = Traced(strace_expression, trace_file.string());
      options.run_under.insert(options.run_under.begin(),
                               {"timeout", "-s", "KILL", "10"});
      if (!scenario.dialogue) options.args = {"nyn"};
      *result = RunProgram(scratch.scenario(),
                           scenario.dialogue ? "n\ny\nn\n" : "", options);
      std::vector<Call> calls;
      std::istringstream trace(ReadFile(trace_file));
      for (std::string line; std::getline(trace, line);) {
        const size_t open = line.find('(');
        if (open != std::string::npos)
          calls.push_back({line.substr(0, open), line});
      }
      return calls;
    };
    if (!CanTrace()) GTEST_SKIP() << "the program cannot run under strace here";
    // A first run without faults lists the calls.
    ProgramResult clean;
    const std::vector<Call> calls = run(std::string("trace=") + kCalls, &clean);
    ASSERT_EQ(clean.exit_code, 0) << clean.err;
    EXPECT_EQ(count(calls, "fsync"), scenario.fsyncs);
    const auto first = [&](const auto& is) {
      return static_cast<size_t>(std::find_if(calls.begin(), calls.end(), is) -
                                 calls.begin());
    };
    const size_t first_rename =
        first([](const Call& c) { return c.name.rfind("rename", 0) == 0; });
    const std::string rename_call = calls[first_rename].name;
    const std::string kept =
        keep ? "velmoria-setup: kept the previous events.txt as " +
                   (scenario.linked ? "real/target.txt.bak\n"
                                    : std::string("events.txt.bak\n"))
             : "";
    // The program's own calls start with its first look at events.txt;
    // those before are the loader's and the C library's. They end with the
    // close of the folder synced last; what follows is the exit.
    const size_t first_own = first([](const Call& c) {
      return c.line.find("\"events.txt") != std::string::npos;
    });
    size_t last_own = calls.size();
    while (last_own > 0 && calls[last_own - 1].name != "fsync") --last_own;
    std::map<std::string, int> seen;
    bool scanning = false;  // the folder is read for copies left behind
    for (size_t i = 0; i < calls.size(); ++i) {
      const std::string& call = calls[i].name;
      const int n = ++seen[call];
      if (i < first_own || i > last_own) continue;
      const bool in_place = i >= first_rename;
      scanning =
          !in_place &&
          (scanning || (call == "openat" && calls[i].line.find("O_DIRECTORY") !=
                                                std::string::npos));
      // The C library looks at standard output before it first writes.
      const bool library = calls[i].line.rfind(call + "(1, \"\"", 0) == 0;
      const bool passes = in_place ? call.rfind("rename", 0) != 0
                                   : scanning || call == "close" || library;
      if (call == "close") scanning = false;
      // A "+" makes every such call from this one on fail.
      std::vector<std::string> faults = {"error=EIO", "signal=SIGTERM"};
      // Where the folder cannot be synced at all.
      if (in_place && call == "openat") faults.emplace_back("error=EACCES");
      if (in_place && call == "fsync") faults.emplace_back("error=EINVAL");
      // Busy once, and busy for good, which is given up after two seconds.
      if (i == first_rename && scenario.old) {
        faults.insert(faults.end(), {"error=EBUSY", "error=EBUSY+"});
      }
      // The copy of the old file cannot take its name, nor go back.
      if (keep && call == rename_call && n == 2)
        faults.emplace_back("error=EIO+");
      for (std::string fault : faults) {
        const bool onwards = fault.back() == '+';
        if (onwards) fault.pop_back();
        std::string at = call;
        at.append(":").append(fault).append(":when=").append(std::to_string(n));
        if (onwards) at += "+";
        ProgramResult result;
        const auto start = std::chrono::steady_clock::now();
        const std::vector<Call> made = run("inject=" + at, &result);
        const auto took = std::chrono::steady_clock::now() - start;
        ++runs;
        const std::string events = ReadFile(file);
        if (fault == "signal=SIGTERM") {
          if (in_place) {
            EXPECT_EQ(result.exit_code, 0) << at;
            EXPECT_EQ(events, wanted) << at;
          } else {
            EXPECT_EQ(result.signal, SIGTERM) << at;
            EXPECT_EQ(events, scenario.old ? *scenario.old : "") << at;
            EXPECT_EQ(ListDir(folder), before) << at;
          }
          continue;
        }
        const bool fails = onwards || (fault == "error=EIO" && !passes);
        EXPECT_EQ(result.exit_code, fails ? 1 : 0) << at << ": " << result.err;
        // With no way back, the new file stays in place.
        const bool restore_fails = onwards && fault == "error=EIO";
        if (result.exit_code == 0) {
          EXPECT_EQ(events, wanted) << at;
          const bool warned = in_place && fault == "error=EIO" &&
                              (call == "openat" || call == "fsync");
          EXPECT_EQ(result.err,
                    kept + (warned ? "velmoria-setup: events.txt is in place, "
                                     "but the disk reported an error: "
                                     "Input/output error\n"
                                   : ""))
              << at;
        } else {
          const std::string old = scenario.old ? *scenario.old : "";
          EXPECT_EQ(events, restore_fails ? wanted : old) << at;
          EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1)
              << at << ": " << result.err;
          EXPECT_EQ(result.err.rfind("velmoria-setup: ", 0), 0u) << at;
          EXPECT_EQ(result.err.find("folder :"), std::string::npos) << at;
        }
        if (fault == "error=EBUSY" && onwards) {
          EXPECT_EQ(result.err,
                    "velmoria-setup: cannot put the new events.txt in place: "
                    "Device or resource busy\n");
          EXPECT_TRUE(took > std::chrono::seconds(1) &&
                      took < std::chrono::seconds(6))
              << at << " took " << std::chrono::duration<double>(took).count()
              << " s";
        }
        // A hand-edited file is never lost: it is somewhere in the folder.
        if (keep) {
          const Names names = ListDir(folder);
          EXPECT_TRUE(std::any_of(names.begin(), names.end(),
                                  [&](const std::string& name) {
                                    return ReadFile(folder / name) == edited;
                                  }))
              << at;
        }
        // Whatever went into place, the folder is synced after it.
        const bool nothing_in_place =
            i == first_rename && (fault == "error=EIO" || onwards);
        if (in_place && call != "openat" && !nothing_in_place) {
          EXPECT_EQ(count(made, "fsync"), count(calls, "fsync")) << at;
        }
        if (i == first_rename && !onwards) {
          EXPECT_EQ(count(made, rename_call),
                    fault == "error=EBUSY" ? count(calls, rename_call) + 1 : n)
              << at;
        }
        // What the run could not remove, it names.
        for (const std::string& name : ListDir(folder)) {
          EXPECT_TRUE(name == file.filename().string() ||
                      name == file.filename().string() + ".bak" ||
                      result.err.find(name) != std::string::npos)
              << at << " left " << name;
        }
      }
    }
  }
  EXPECT_GT(runs, 250);
  std::printf("%d runs, each with one failing call\n", runs);
}

}  // namespace
