// The real program under faults: signals, calls that fail, a full disk,
// runs at once in one folder, and odd console input.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <set>
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

// Every signal that ends a process by default, sent while the new file is
// written, and others at a prompt, removes what the run made and ends it as
// the signal would: the old file, and a backup of an earlier run, stay as
// they were. SIGKILL, which cannot be caught, finds nothing of the
// program's on disk at a prompt; while the files are written or renamed it
// leaves them under their temporary names, the old text in
// events.txt.bak.XXXXXX.
TEST_F(FaultTest, EverySignalLeavesTheFolderAsItWas) {
  const std::string backup = scratch_.events_file().string() + ".bak";
  struct Row {
    int signal_number;
    std::string at;    // "a prompt", or the call strace signals it at
    const char* left;  // a file left beside events.txt and its backup
  };
  // Between the renames the new file is in place, the old text in the copy.
  const char* const kCopy = "events.txt.bak.XXXXXX";
  std::vector<Row> rows = {
      {SIGINT, "a prompt", nullptr},
      {SIGKILL, "a prompt", nullptr},
      {SIGKILL, "pwrite64:when=1", "events.txt.XXXXXX"},
      {SIGKILL, "rename:when=2", kCopy},
  };
  // Not sent: those that do not end a process by default, those the C
  // library or a sanitizer keeps, and SIGXFSZ, which the program ignores so
  // that a file size limit fails a write it reports.
  std::set<int> spared = {SIGKILL, SIGSTOP, SIGTSTP, SIGTTIN,  SIGTTOU,
                          SIGCHLD, SIGCONT, SIGURG,  SIGWINCH, SIGXFSZ};
#ifdef __SANITIZE_ADDRESS__
  spared.insert({SIGSEGV, SIGBUS, SIGFPE});  // AddressSanitizer's own
#endif
  for (int signal_number = 1; signal_number <= SIGRTMAX; ++signal_number) {
    if (!spared.count(signal_number) &&
        (signal_number < 32 || signal_number >= SIGRTMIN)) {
      rows.push_back({signal_number, "pwrite64:when=1", nullptr});
    }
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(strsignal(row.signal_number)) + " at " + row.at);
    WriteFile(scratch_.events_file(), kOldEvents);
    WriteFile(backup, "older");
    ProgramResult result;
    if (row.at == "a prompt") {
      Child child = StartProgram(scratch_.scenario());
      EXPECT_TRUE(WaitForOutput(child, "(y or n)"));
      kill(child.pid, row.signal_number);
      result = WaitProgram(&child);
    } else if (CanTrace()) {
      ProgramOptions options;
      options.args = {"nyn"};
      const std::string call = row.at.substr(0, row.at.find(':'));
      options.run_under = Traced(
          "inject=" + call + ":signal=" + std::to_string(row.signal_number) +
          row.at.substr(call.size()));
      result = Run("", options);
    } else {
      continue;
    }
    EXPECT_EQ(result.signal, row.signal_number);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(Events() ==
                (row.left == kCopy ? ExpectedEvents("nyn") : kOldEvents));
    EXPECT_EQ(ReadFile(backup), "older");
    // What is left beside them, by the shape of its name.
    Names left;
    for (const std::string& name : Files()) {
      if (name == "events.txt" || name == "events.txt.bak") continue;
      left.push_back(name.substr(0, name.size() - 6) + "XXXXXX");
      if (name.rfind("events.txt.bak.", 0) == 0) {
        EXPECT_EQ(ReadFile(scratch_.scenario() / name), kOldEvents);
      }
      std::filesystem::remove(scratch_.scenario() / name);
    }
    EXPECT_EQ(left, row.left ? Names{row.left} : Names{});
  }
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
    EXPECT_TRUE(RecognizeEventsFile(Events()));
  }
}

// A link that appears between the look for one and the opening of the
// file is not followed, nor replaced by a file.
TEST_F(FaultTest, LinkThatAppearsAfterTheLookIsNotFollowed) {
  if (!CanTrace()) GTEST_SKIP() << "the program cannot run under strace here";
  const std::filesystem::path target = scratch_.root() / "target";
  const std::filesystem::path trace = scratch_.root() / "trace";
  WriteFile(target, "the target's\n");
  std::filesystem::remove(scratch_.events_file());
  ProgramOptions options;
  options.args = {"nyn"};
  // The opening of events.txt waits a second once begun.
  options.run_under = Traced("inject=openat:delay_enter=1000000:when=1",
                             trace.string(), "events.txt");
  Child child = StartProgram(scratch_.scenario(), options);
  for (int i = 0;
       i < 10000 && ReadFile(trace).find("openat(") == std::string::npos; ++i) {
    usleep(1000);
  }
  std::filesystem::create_symlink(target, scratch_.events_file());
  const ProgramResult result = WaitProgram(&child);
  EXPECT_EQ(result.err,
            "velmoria-setup: cannot write events.txt: it is not a regular "
            "file\n");
  EXPECT_TRUE(std::filesystem::is_symlink(scratch_.events_file()));
  EXPECT_EQ(ReadFile(target), "the target's\n");
}

// A fault of the program's own, made real by sending it to address 0 at a
// call, ends the run at once by its signal in every scope: as a file is
// made and registered, written and synced (what the run made removed), or
// renamed (nothing removed: a copy of the old text may be the only one).
TEST_F(FaultTest, FaultOfItsOwnEndsTheRunBySignal) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer handles the program's faults itself";
#endif
  if (system("gdb --version >/dev/null 2>&1") != 0 || !CanTrace()) {
    GTEST_SKIP() << "gdb cannot run the program here";
  }
  for (const auto& [call, files] :
       {std::pair{"CreateNewFile", 1u}, {"fsync", 1u}, {"rename", 3u}}) {
    ProgramOptions options;
    options.args = {"nyn"};
    // gdb sends the program to address 0 at the first call of `call`.
    options.run_under = {
        "sh", "-c",
        "exec timeout -s KILL 10 gdb -q -batch -ex 'handle SIGSEGV nostop "
        "noprint pass' -ex 'break " +
            std::string(call) +
            R"(' -ex run -ex 'set $pc = 0' -ex continue --args "$0" "$@")"};
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

// Started from a shell, as users start it: with a signal ignored, as nohup
// and background jobs leave it, which stays so; with standard input closed,
// which is no input, or one that cannot be read, which is no answer either;
// with too little memory for a large hand-edited file, which is held once;
// with a file size limit, which stops a write as a full disk would, root's
// too; with --status on a full disk; and in a folder deleted under it.
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
  const Case cases[] = {
      {R"(trap '' HUP; export ASAN_OPTIONS=detect_leaks=0; exec strace -o /dev/null -e inject=pwrite64:signal=SIGHUP:when=1 "$0" "$@" nyn)",
       old, kKept, "nyn"},
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
      {R"(mkdir gone; cd gone; rmdir ../gone; exec "$0" "$@" nyn)", old,
       "velmoria-setup: cannot write in the folder (deleted): No such file or "
       "directory\n",
       nullptr},
      {R"(mkdir gone; cd gone; rmdir ../gone; exec "$0" "$@" --status)", old,
       "velmoria-setup: there is no events.txt in (deleted)\n", nullptr},
  };
  for (const Case& c : cases) {
#ifdef __SANITIZE_ADDRESS__
    // AddressSanitizer reserves terabytes of address space for itself.
    if (std::string(c.shell).find("ulimit") != std::string::npos) continue;
#endif
    if (std::string(c.shell).find("strace") != std::string::npos &&
        !CanTrace()) {
      continue;
    }
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

// Reads the trace (strace -y) of a run in `cwd` for what a power cut could
// cost: a file renamed unsynced since its last write, or a folder unsynced
// after a rename. Returns those.
std::string UnsyncedIn(const std::string& trace,
                       const std::filesystem::path& cwd) {
  std::set<std::string> synced;  // files synced since they were last written
  std::string unsynced;
  std::string folder;  // where a rename was made, unsynced since
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    const std::string call = line.substr(0, line.find('('));
    const size_t open = line.find('<');
    const std::string file =  // the descriptor's path, which -y shows
        line.substr(open + 1, line.find('>', open) - open - 1);
    const bool done = line.size() > 4 && line.substr(line.size() - 4) == " = 0";
    if (call == "fsync") {
      if (done) synced.insert(file);
      if (file == folder) folder.clear();
    } else if (call == "pwrite64" || call == "fchmod" || call == "fchown") {
      synced.erase(file);
    } else if (call == "rename" && done) {
      const size_t from = line.find('"') + 1;
      const size_t to = line.find('"', line.find('"', from) + 1) + 1;
      const auto path = [&](size_t at) {
        return cwd / line.substr(at, line.find('"', at) - at);
      };
      if (!synced.count(path(from))) unsynced += path(from).string() + "; ";
      folder = path(to).parent_path();
    }
  }
  return unsynced + folder;
}

// Each file-system call a run makes, from its first look at events.txt on,
// is made to fail in turn with strace's fault injection, and in another run
// met by SIGTERM. Whatever fails, events.txt is the old file or the complete
// new one, and a link stays a link; a hand-edited file's text is in
// events.txt, events.txt.bak or a file the error names; nothing else is
// left but what the error names; whatever took a name was synced, and so
// was its folder after. The run ends 0 only with the new file in place,
// with the old one's mode and owner, else 1 with one line that names the
// step that failed and why, or, for a signal before the new file goes into
// place, by the signal with the folder as it was. Only a rename refused as
// busy is tried again, for about two seconds; once the file is in place, a
// folder the disk cannot sync is said in a line, and one that cannot be
// synced at all is not.
TEST(FailingCallTest, EveryCallOfARunFailedInTurn) {
  if (!CanTrace()) GTEST_SKIP() << "the program cannot run under strace here";
  static constexpr char kCalls[] =
      "openat,read,pwrite64,fsync,close,rename,unlink,newfstatat,"
      "fchmod,fchown,readlink";
  // The words a failing call's line starts with: the step it failed in.
  const std::string write = "cannot write events.txt";
  const std::string keep = "cannot keep the previous";
  const std::map<std::string, std::vector<std::string>> kSteps = {
      {"openat", {write, keep, "cannot write in the folder"}},
      {"read", {"cannot read"}},
      {"fsync", {"cannot save events.txt to the disk", keep}},
      {"rename", {"cannot put the new events.txt in place", keep}},
      {"unlink", {"cannot remove"}},
  };  // any other call: in writing the new file or the copy
  const std::string edited = "mine\r\n";
  const std::string wanted = ExpectedEvents("nyn");
  const std::string ours = ExpectedEvents("yyy");
  const std::string kept = "velmoria-setup: kept the previous events.txt as ";
  const std::string unsynced =
      "velmoria-setup: events.txt is in place, but the disk reported an "
      "error: ";
  constexpr unsigned kOther = 61001;  // another user, as root makes them
  const mode_t mask = umask(0);
  umask(mask);
  const auto mode_of = [](const std::filesystem::path& path) {
    struct stat st = {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  };
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
      {"a link to no file yet", nullptr, true, false},
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
    const bool others = scenario.old == &edited && !scenario.linked &&
                        geteuid() == 0;  // the file is another user's
    Names before;
    // Runs the program under strace in a scenario folder made anew.
    auto run = [&](const std::string& strace_expression) {
      std::filesystem::remove_all(scratch.scenario());
      std::filesystem::create_directories(folder);
      if (scenario.linked) {
        std::filesystem::create_symlink("real/target.txt",
                                        scratch.events_file());
      }
      if (scenario.old != nullptr) {
        WriteFile(file, old);
        EXPECT_EQ(chmod(file.c_str(), 0640), 0);
      }
      EXPECT_TRUE(!others || chown(file.c_str(), kOther, kOther) == 0);
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
    // A first run without faults lists the calls, each failed and signalled
    // in turn; it tells which come before the first rename. A folder's sync
    // that cannot be made at all is no failure.
    ASSERT_EQ(run(std::string("trace=") + kCalls).exit_code, 0);
    std::vector<std::pair<std::string, bool>> faults;
    std::map<std::string, int> seen;
    std::istringstream trace(ReadFile(trace_file));
    for (std::string line; std::getline(trace, line);) {
      const std::string name = line.substr(0, line.find('('));
      const std::string when = ":when=" + std::to_string(++seen[name]);
      if (faults.empty() && line.find("\"events.txt") == std::string::npos) {
        continue;  // the loader's and the C library's, before the run's own
      }
      for (const std::string_view kind :
           {":error=EIO", ":signal=SIGTERM", ":error=EINVAL"}) {
        if (kind != ":error=EINVAL" || name == "fsync") {
          faults.emplace_back(std::string(name).append(kind).append(when),
                              !seen["rename"]);
        }
      }
    }
    // The old file busy once, busy for good, and failing for good; a
    // hand-edited file's copy that can neither take its name nor go back.
    for (const char* error : {"EBUSY:when=1", "EBUSY:when=1+", "EIO:when=1+"}) {
      if (!scenario.old) break;
      faults.emplace_back(std::string("rename:error=") + error, false);
    }
    if (scenario.old == &edited) {
      faults.emplace_back("rename:error=EIO:when=2+", false);
    }
    const auto canonical = std::filesystem::canonical(scratch.root());
    for (const auto& [fault, before_rename] : faults) {
      SCOPED_TRACE(fault);
      const auto start = std::chrono::steady_clock::now();
      const ProgramResult result = run("inject=" + fault);
      const auto took = std::chrono::steady_clock::now() - start;
      ++runs;
      const std::string call = fault.substr(0, fault.find(':'));
      const std::string kind = fault.substr(call.size() + 1, 6);
      const std::string events = ReadFile(file);
      EXPECT_TRUE(events == old || events == wanted);
      EXPECT_TRUE(!scenario.linked ||
                  std::filesystem::is_symlink(scratch.events_file()));
      if (kind == "signal") {
        if (before_rename) {
          EXPECT_EQ(result.signal, SIGTERM) << result.err;
          EXPECT_TRUE(events == old);
          EXPECT_EQ(ListDir(folder), before);
        } else {
          // Let go as the new file goes into place, or met as the run exits.
          EXPECT_TRUE(events == wanted);
        }
      } else if (result.exit_code == 0) {
        EXPECT_TRUE(events == wanted);
        std::string err = result.err;
        if (err.rfind(kept, 0) == 0) err.erase(0, err.find('\n') + 1);
        warned += err.rfind(unsynced, 0) == 0;
        silent += err.empty() && fault.find("fsync:error=EINVAL") == 0;
        EXPECT_TRUE(err.empty() || err.rfind(unsynced, 0) == 0) << result.err;
        // The old file's mode, for the new file and a kept copy, and its
        // owner; or what any new file gets.
        EXPECT_EQ(mode_of(file), scenario.old ? 0640u : 0666u & ~mask);
        EXPECT_EQ(mode_of(file.string() + ".bak"),
                  scenario.old == &edited ? 0640u : 0u);
        struct stat st = {};
        EXPECT_TRUE(!others || (stat(file.c_str(), &st) == 0 &&
                                st.st_uid == kOther && st.st_gid == kOther));
      } else {
        EXPECT_EQ(result.exit_code, 1);
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1)
            << result.err;
        const auto step = kSteps.find(call);
        bool named = false;
        for (const std::string& words :
             step != kSteps.end() ? step->second : std::vector{write, keep}) {
          named = named || result.err.rfind("velmoria-setup: " + words, 0) == 0;
        }
        const int error = fault.find("EIO") != std::string::npos     ? EIO
                          : fault.find("EBUSY") != std::string::npos ? EBUSY
                                                                     : EINVAL;
        EXPECT_TRUE(named) << result.err;
        EXPECT_NE(result.err.find(std::strerror(error)), std::string::npos)
            << result.err;
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
      if (result.err.find("the disk reported") == std::string::npos) {
        EXPECT_EQ(UnsyncedIn(ReadFile(trace_file), canonical / "scenario"), "");
      }
      // Only a busy file is waited for.
      if (fault.find("EBUSY:when=1+") != std::string::npos) {
        EXPECT_EQ(result.err,
                  "velmoria-setup: cannot put the new events.txt in place: "
                  "Device or resource busy\n");
        EXPECT_TRUE(took > std::chrono::seconds(1) &&
                    took < std::chrono::seconds(6))
            << std::chrono::duration<double>(took).count() << " s";
      } else if (fault.find("EBUSY") != std::string::npos) {
        EXPECT_EQ(result.exit_code, 0) << result.err;
      } else if (call == "rename") {
        EXPECT_LT(took, std::chrono::milliseconds(1500));
      }
    }
  }
  EXPECT_GT(runs, 200);
  EXPECT_GT(warned, 0);
  EXPECT_GT(silent, 0);
}

}  // namespace
