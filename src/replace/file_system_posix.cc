#include "replace/file_system.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "replace/temp_file.h"

namespace {

// Signals whose default action ends the process; each removes the temporary
// files first. SIGKILL and SIGSTOP cannot be caught. SIGXFSZ is ignored
// instead, so that a file size limit fails a write that is then reported.
constexpr int kFatalSignals[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT,
    SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE,
    SIGALRM,   SIGTERM, SIGXCPU, SIGSYS,  SIGPROF, SIGVTALRM,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
};

sigset_t g_fatal_signals;
sigset_t g_mask_at_start;
bool g_committing = false;

extern "C" void RemoveTempFilesAndDie(int signal_number) {
  RemoveTempFiles();
  // The handler was reset on entry and the signal is held until it returns;
  // then it ends the process with the status a shell expects of it.
  raise(signal_number);
}

std::filesystem::path ParentFolder(const std::filesystem::path& file) {
  return file.has_parent_path() ? file.parent_path() : ".";
}

}  // namespace

OsFile CreateNewFile(const std::filesystem::path& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  // Started with a standard stream closed, the process gets its lowest free
  // descriptor for the new file; console text written there would land in
  // the file, so the file moves to a descriptor of its own.
  if (fd >= 0 && fd <= STDERR_FILENO) {
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    const int saved_errno = errno;
    close(fd);
    if (moved < 0) unlink(path.c_str());
    errno = saved_errno;
    fd = moved;
  }
  return fd;
}

OsFile OpenForWriting(const std::filesystem::path& path) {
  // Not blocking: a FIFO named like the file must not hang the run.
  return open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
}

bool WriteWhole(OsFile file, std::string_view data) {
  const int fd = static_cast<int>(file);
  for (off_t at = 0; at < static_cast<off_t>(data.size());) {
    const ssize_t written = pwrite(fd, data.data() + at, data.size() - at, at);
    if (written < 0 && errno != EINTR) return false;
    if (written > 0) at += written;
  }
  return ftruncate(fd, static_cast<off_t>(data.size())) == 0;
}

bool SyncFile(OsFile file) { return fsync(static_cast<int>(file)) == 0; }

bool CloseFile(OsFile file) { return close(static_cast<int>(file)) == 0; }

bool CopyOwnerAndMode(OsFile file, const std::filesystem::path& like) {
  const int fd = static_cast<int>(file);
  struct stat st;
  if (stat(like.c_str(), &st) != 0) return false;
  // Keeping the owner needs privileges we may lack; keeping the group only
  // that we belong to it, as in a folder shared by a group. Neither failure
  // stops the run: the file is then the user's own, as any new file.
  if ((st.st_uid != geteuid() || st.st_gid != getegid()) &&
      fchown(fd, st.st_uid, st.st_gid) != 0) {
    (void)!fchown(fd, static_cast<uid_t>(-1), st.st_gid);
  }
  return fchmod(fd, st.st_mode & 07777) == 0;
}

bool RenameFile(const std::filesystem::path& from,
                const std::filesystem::path& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveFile(const char* name) { return unlink(name) == 0; }

OsFile OpenForReading(const std::filesystem::path& path, std::uint64_t* size) {
  // Not blocking: a FIFO named like the file must not hang the run.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kNoFile;
  struct stat st;
  const int error = fstat(fd, &st) != 0   ? errno
                    : S_ISREG(st.st_mode) ? 0
                    : S_ISDIR(st.st_mode) ? EISDIR
                                          : ENODEV;
  if (error == 0) {
    *size = static_cast<std::uint64_t>(st.st_size);
    return fd;
  }
  close(fd);
  errno = error;
  return kNoFile;
}

long long ReadSome(OsFile file, char* data, size_t size) {
  for (;;) {
    const ssize_t got = read(static_cast<int>(file), data, size);
    if (got >= 0 || errno != EINTR) return got;
  }
}

// The rule of the kernel's fs.protected_symlinks, applied here because the
// program follows links itself and renames onto what they point to.
bool MayFollowLink(const std::filesystem::path& link, bool* may) {
  struct stat link_st;
  struct stat folder_st;
  if (lstat(link.c_str(), &link_st) != 0 ||
      stat(ParentFolder(link).c_str(), &folder_st) != 0) {
    return false;
  }
  const bool shared =
      (folder_st.st_mode & S_ISVTX) != 0 && (folder_st.st_mode & S_IWOTH) != 0;
  *may = !shared || link_st.st_uid == geteuid() ||
         link_st.st_uid == folder_st.st_uid;
  return true;
}

bool SyncFolderOf(const std::filesystem::path& file) {
  // A folder the user may not read cannot be opened to be synced.
  const int fd =
      open(ParentFolder(file).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;
  const bool synced = fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP ||
                      errno == EROFS;  // the file system cannot sync folders
  const int saved_errno = errno;
  close(fd);
  errno = saved_errno;
  return synced;
}

void HandleInterruptions() {
  static bool handled = false;
  if (handled) return;
  handled = true;
  sigemptyset(&g_fatal_signals);
  for (int signal_number : kFatalSignals) {
    sigaddset(&g_fatal_signals, signal_number);
  }
#ifdef SIGRTMIN
  // The real-time signals end the process too.
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX;
       ++signal_number) {
    sigaddset(&g_fatal_signals, signal_number);
  }
#endif
  sigprocmask(SIG_BLOCK, &g_fatal_signals, &g_mask_at_start);
  struct sigaction action = {};
  action.sa_handler = RemoveTempFilesAndDie;
  action.sa_flags = SA_RESETHAND;
  action.sa_mask = g_fatal_signals;
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    if (sigismember(&g_fatal_signals, signal_number) != 1) continue;
    // A signal ignored when we started (nohup, a background job) stays so,
    // and one that someone else handles (a sanitizer's crash report) too.
    // The signals are held meanwhile, so trying costs one call, not two.
    struct sigaction previous = {};
    sigaction(signal_number, &action, &previous);
    if ((previous.sa_flags & SA_SIGINFO) || previous.sa_handler != SIG_DFL) {
      sigaction(signal_number, &previous, nullptr);
    }
  }
  signal(SIGXFSZ, SIG_IGN);
  sigprocmask(SIG_SETMASK, &g_mask_at_start, nullptr);
}

void HoldInterruptions() { sigprocmask(SIG_BLOCK, &g_fatal_signals, nullptr); }

void ReleaseInterruptions() {
  if (!g_committing) sigprocmask(SIG_SETMASK, &g_mask_at_start, nullptr);
}

void BeginCommit() {
  g_committing = true;
  sigprocmask(SIG_BLOCK, &g_fatal_signals, nullptr);
}
