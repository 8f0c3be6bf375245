#include "eventfile/temp_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

// Signals that end a process which does not handle them. Each removes the
// temporary file first, so that an interrupted run leaves nothing behind.
constexpr int kCleanupSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM};

// A signal handler may only read plain memory, so the name of the file to
// remove is kept here as well. A process has at most one temporary file.
char g_cleanup_path[4096];
volatile sig_atomic_t g_cleanup_armed = 0;

extern "C" void RemoveTempFileAndDie(int signal_number) {
  if (g_cleanup_armed) unlink(g_cleanup_path);
  // The handler was reset on entry; raising the signal again ends the
  // process with the status a shell expects of it.
  raise(signal_number);
}

// Holds off the cleanup signals while the temporary file is created or
// renamed, so that a signal never sees it half registered.
class SignalBlock {
 public:
  SignalBlock() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal_number : kCleanupSignals) sigaddset(&set, signal_number);
    sigprocmask(SIG_BLOCK, &set, &saved_);
  }
  ~SignalBlock() {
    const int saved_errno = errno;
    sigprocmask(SIG_SETMASK, &saved_, nullptr);
    errno = saved_errno;
  }
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t saved_;
};

void InstallCleanupHandlers() {
  struct sigaction action = {};
  action.sa_handler = RemoveTempFileAndDie;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (int signal_number : kCleanupSignals) {
    struct sigaction previous;
    sigaction(signal_number, nullptr, &previous);
    // A signal ignored when we started (nohup, a background job) stays so.
    if (previous.sa_handler != SIG_IGN) {
      sigaction(signal_number, &action, nullptr);
    }
  }
}

// Started with a standard stream closed, the process gets its lowest free
// descriptor for the new file; console text written there would land in the
// file, so the file moves to a descriptor of its own.
int MoveAboveStandardStreams(int fd) {
  if (fd < 0 || fd > STDERR_FILENO) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int saved_errno = errno;
  close(fd);
  errno = saved_errno;
  return moved;
}

// Gives the new file the permission bits, and where allowed the owner, of the
// file it replaces; with none to replace, what any new file would get.
bool CopyPermissions(int fd, const std::filesystem::path& target) {
  struct stat st;
  if (stat(target.c_str(), &st) == 0) {
    // Keeping the owner needs privileges we may lack; the bits still apply.
    if (st.st_uid != geteuid() || st.st_gid != getegid()) {
      (void)!fchown(fd, st.st_uid, st.st_gid);
    }
    return fchmod(fd, st.st_mode & 07777) == 0;
  }
  const mode_t mask = umask(0);
  umask(mask);
  return fchmod(fd, 0666 & ~mask) == 0;
}

}  // namespace

bool CanWriteFile(const std::filesystem::path& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool CreateTempFile(const std::filesystem::path& target, TempFile* file) {
  std::string name = target.native() + ".XXXXXX";
  if (name.size() >= sizeof g_cleanup_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  {
    SignalBlock block;
    file->fd = mkstemp(name.data());
    if (file->fd < 0) return false;
    file->path = name;
    std::memcpy(g_cleanup_path, name.c_str(), name.size() + 1);
    g_cleanup_armed = 1;
    InstallCleanupHandlers();
  }
  file->fd = MoveAboveStandardStreams(file->fd);
  if (file->fd < 0) {
    RemoveTempFile(file);
    return false;
  }
  // Past a file size limit a write should fail and be reported, not end the
  // process with the temporary file still there.
  signal(SIGXFSZ, SIG_IGN);
  if (!CopyPermissions(file->fd, target)) {
    RemoveTempFile(file);
    return false;
  }
  return true;
}

bool WriteTempFile(const TempFile& file, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = write(file.fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

bool SyncAndCloseTempFile(TempFile* file) {
  const bool synced = fsync(file->fd) == 0;
  const int sync_errno = errno;
  const bool closed = close(file->fd) == 0;
  file->fd = -1;
  if (!synced) errno = sync_errno;
  return synced && closed;
}

bool RenameTempFile(TempFile* file, const std::filesystem::path& target) {
  SignalBlock block;
  if (rename(file->path.c_str(), target.c_str()) != 0) return false;
  g_cleanup_armed = 0;
  file->path.clear();
  return true;
}

void RemoveTempFile(TempFile* file) {
  const int saved_errno = errno;
  if (file->fd >= 0) close(file->fd);
  file->fd = -1;
  if (!file->path.empty()) unlink(file->path.c_str());
  g_cleanup_armed = 0;
  file->path.clear();
  errno = saved_errno;
}
