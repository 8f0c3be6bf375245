#include "support/program.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "support/scratch_dir.h"

namespace fs = std::filesystem;

bool CanSwitchUsers() { return geteuid() == 0; }

const User* UnprivilegedUser() {
  static const User nobody = {65534, 65534, {}};
  return CanSwitchUsers() ? &nobody : nullptr;
}

namespace {

// Another user may not reach the build folder (a clone under /root, say),
// so the program is copied beside the scratch folder for them.
std::string ProgramFor(const fs::path& dir, const ProgramOptions& options) {
  if (options.user == nullptr) return VELMORIA_SETUP_PROGRAM;
  const fs::path copy = dir.parent_path() / "velmoria-setup";
  fs::copy_file(VELMORIA_SETUP_PROGRAM, copy, fs::copy_options::skip_existing);
  return copy.string();
}

}  // namespace

Child StartProgram(const fs::path& dir, const ProgramOptions& options) {
  // A program that stops reading early must not end the test with SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  static std::atomic<int> count{0};
  const std::string tag =
      std::to_string(getpid()) + "-" + std::to_string(count++);
  Child child;
  child.out_path = dir.parent_path() / ("stdout-" + tag);
  child.err_path = dir.parent_path() / ("stderr-" + tag);

  // Built before the fork: the child may not allocate.
  const std::string program = ProgramFor(dir, options);
  std::vector<gid_t> groups;
  if (options.user != nullptr) {
    groups.assign(options.user->groups.begin(), options.user->groups.end());
  }
  std::vector<char*> argv;
  for (const std::string& arg : options.run_under) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(const_cast<char*>(
      options.run_under.empty() ? "velmoria-setup" : program.c_str()));
  for (const std::string& arg : options.args) {
    argv.push_back(const_cast<char*>(arg.c_str()));
  }
  argv.push_back(nullptr);

  // Close-on-exec, so that a second child does not hold the first one's
  // input open, which would then never end.
  int input[2];
  const int out =
      open(child.out_path.c_str(),
           (options.unwritable_output ? O_RDONLY : O_WRONLY | O_TRUNC) |
               O_CREAT | O_CLOEXEC,
           0644);
  const int err = open(child.err_path.c_str(),
                       O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0 || err < 0 || pipe2(input, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "cannot start the program: " << std::strerror(errno);
    for (int fd : {out, err}) {
      if (fd >= 0) close(fd);
    }
    return child;
  }
  child.pid = fork();
  if (child.pid == 0) {
    // Only async-signal-safe calls from here to exec.
    dup2(input[0], 0);
    dup2(out, 1);
    dup2(err, 2);
    close(input[0]);
    close(input[1]);
    // As a player's shell starts it: every signal at its default and none
    // held, whatever the test process did before.
    signal(SIGPIPE, SIG_DFL);
    signal(SIGXFSZ, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const rlimit no_core = {0, 0};  // signals that dump core leave none
    setrlimit(RLIMIT_CORE, &no_core);
    if (options.user != nullptr &&
        (setgroups(groups.size(), groups.data()) != 0 ||
         setgid(options.user->gid) != 0 || setuid(options.user->uid) != 0)) {
      _exit(126);
    }
    if (chdir(dir.c_str()) == 0) {
      execvp(options.run_under.empty() ? program.c_str() : argv[0],
             argv.data());
    }
    _exit(127);
  }
  if (child.pid < 0) ADD_FAILURE() << "fork: " << std::strerror(errno);
  close(input[0]);
  close(out);
  close(err);
  child.stdin_fd = input[1];
  return child;
}

void SendInput(Child* child, std::string_view input) {
  while (child->stdin_fd >= 0 && !input.empty()) {
    const ssize_t written = write(child->stdin_fd, input.data(), input.size());
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) break;  // the program has stopped reading
    input.remove_prefix(static_cast<size_t>(written));
  }
  if (child->stdin_fd >= 0) close(child->stdin_fd);
  child->stdin_fd = -1;
}

bool WaitForOutput(const Child& child, std::string_view ending) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string out = ReadFile(child.out_path);
    if (out.size() >= ending.size() &&
        out.compare(out.size() - ending.size(), ending.size(), ending) == 0) {
      return true;
    }
    siginfo_t info = {};
    waitid(P_PID, static_cast<id_t>(child.pid), &info,
           WEXITED | WNOHANG | WNOWAIT);
    if (info.si_pid != 0) return false;  // it has ended

    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

ProgramResult WaitProgram(Child* child) {
  if (child->stdin_fd >= 0) close(child->stdin_fd);
  child->stdin_fd = -1;
  ProgramResult result;
  int status = 0;
  pid_t waited = -1;
  while (child->pid > 0 && (waited = waitpid(child->pid, &status, 0)) < 0 &&
         errno == EINTR) {
  }
  if (waited < 0) {
    ADD_FAILURE() << "the program was not started, or cannot be waited for";
  } else if (WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  result.out = ReadFile(child->out_path);
  result.err = ReadFile(child->err_path);
  fs::remove(child->out_path);
  fs::remove(child->err_path);
  return result;
}

ProgramResult RunProgram(const fs::path& dir, std::string_view input,
                         const ProgramOptions& options) {
  Child child = StartProgram(dir, options);
  SendInput(&child, input);
  return WaitProgram(&child);
}

std::vector<std::string> Traced(const std::string& expression,
                                const std::string& output,
                                const std::string& path) {
  std::vector<std::string> run_under = {"env",    "ASAN_OPTIONS=detect_leaks=0",
                                        "strace", "-qqy",
                                        "-o",     output,
                                        "-e",     expression};
  if (!path.empty()) run_under.insert(run_under.end(), {"-P", path});
  return run_under;
}

bool CanTrace() {
  static const bool can = [] {
    ScratchDir scratch;
    ProgramOptions options;
    options.args = {"--version"};
    options.run_under = Traced("trace=none");
    return RunProgram(scratch.scenario(), "", options).exit_code == 0;
  }();
  return can;
}
