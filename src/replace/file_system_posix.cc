#include "replace/file_system.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

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

template <typename Function>
void ForEachFatalSignal(Function function) {
  for (int signal_number : kFatalSignals) function(signal_number);
#ifdef SIGRTMIN
  // The real-time signals end the process too.
  for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX;
       ++signal_number) {
    function(signal_number);
  }
#endif
}

sigset_t FatalSignals() {
  sigset_t set;
  sigemptyset(&set);
  ForEachFatalSignal(
      [&](int signal_number) { sigaddset(&set, signal_number); });
  return set;
}

// A signal handler may only read plain memory, so the names of the files to
// remove are kept here as well: the new file and a second name of the old.
constexpr int kSlots = 2;
char g_cleanup_paths[kSlots][PATH_MAX];
volatile sig_atomic_t g_cleanup_armed[kSlots];

extern "C" void RemoveTempFilesAndDie(int signal_number) {
  for (int i = 0; i < kSlots; ++i) {
    if (g_cleanup_armed[i]) unlink(g_cleanup_paths[i]);
  }
  // The handler was reset on entry and the signal is held until it returns;
  // then it ends the process with the status a shell expects of it.
  raise(signal_number);
}

void InstallCleanupHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action = {};
  action.sa_handler = RemoveTempFilesAndDie;
  action.sa_flags = SA_RESETHAND;
  action.sa_mask = FatalSignals();
  ForEachFatalSignal([&](int signal_number) {
    // A signal ignored when we started (nohup, a background job) stays so,
    // and one that someone else handles (a sanitizer's crash report) too.
    // The signals are held meanwhile, so trying costs one call, not two.
    struct sigaction previous = {};
    sigaction(signal_number, &action, &previous);
    if ((previous.sa_flags & SA_SIGINFO) || previous.sa_handler != SIG_DFL) {
      sigaction(signal_number, &previous, nullptr);
    }
  });
  signal(SIGXFSZ, SIG_IGN);
}

// Holds off the fatal signals while a temporary file is created and named
// for the handler, so that a signal never sees it half registered.
class SignalBlock {
 public:
  SignalBlock() {
    const sigset_t set = FatalSignals();
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

// Called with the signals blocked. Returns the slot, or -1 if the name does
// not fit.
int ArmCleanup(const std::string& path) {
  if (path.size() >= sizeof g_cleanup_paths[0]) return -1;
  for (int i = 0; i < kSlots; ++i) {
    if (!g_cleanup_armed[i]) {
      std::memcpy(g_cleanup_paths[i], path.c_str(), path.size() + 1);
      g_cleanup_armed[i] = 1;
      return i;
    }
  }
  return -1;
}

// Started with a standard stream closed, the process gets its lowest free
// descriptor for the new file; console text written there would land in the
// file, so the file moves to a descriptor of its own.
int MoveAboveStandardStreams(int fd) {
  if (fd > STDERR_FILENO) return fd;
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
  const int saved_errno = errno;
  close(fd);
  errno = saved_errno;
  return moved;
}

// Gives the new file the permission bits, and where allowed the owner and
// group, of `like`; with no such file, what any new file would get.
bool CopyOwnerAndMode(int fd, const std::filesystem::path& like) {
  struct stat st;
  if (stat(like.c_str(), &st) == 0) {
    // Keeping the owner needs privileges we may lack; keeping the group only
    // that we belong to it, as in a folder shared by a group.
    if ((st.st_uid != geteuid() || st.st_gid != getegid()) &&
        fchown(fd, st.st_uid, st.st_gid) != 0) {
      (void)!fchown(fd, static_cast<uid_t>(-1), st.st_gid);
    }
    return fchmod(fd, st.st_mode & 07777) == 0;
  }
  const mode_t mask = umask(0);
  umask(mask);
  return fchmod(fd, 0666 & ~mask) == 0;
}

}  // namespace

bool TempFile::Create(const std::filesystem::path& target,
                      const std::filesystem::path& like) {
  Remove();
  std::string name = target.native() + ".XXXXXX";
  {
    SignalBlock block;
    InstallCleanupHandlers();
    const int fd = mkstemp(name.data());
    if (fd < 0) return false;
    path_ = name;
    fd_ = fd;
    slot_ = ArmCleanup(name);
    if (slot_ < 0) {
      Remove();
      errno = ENAMETOOLONG;
      return false;
    }
  }
  fd_ = MoveAboveStandardStreams(fd_);
  if (fd_ < 0 || !CopyOwnerAndMode(fd_, like)) {
    Remove();
    return false;
  }
  return true;
}

bool TempFile::CreateLink(const std::filesystem::path& existing,
                          const std::filesystem::path& target) {
  Remove();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = target.native() + "." + RandomSuffix();
    SignalBlock block;
    InstallCleanupHandlers();
    if (link(existing.c_str(), name.c_str()) == 0) {
      path_ = name;
      is_link_ = true;
      slot_ = ArmCleanup(name);
      if (slot_ >= 0) return true;
      Remove();
      errno = ENAMETOOLONG;
      return false;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool TempFile::Write(std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = write(fd_, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

bool TempFile::SyncAndClose() {
  const bool synced = fsync(fd_) == 0;
  const int sync_errno = errno;
  const bool closed = close(fd_) == 0;
  fd_ = -1;
  if (!synced) errno = sync_errno;
  return synced && closed;
}

bool TempFile::RenameOver(const std::filesystem::path& target) {
  if (rename(path_.c_str(), target.c_str()) != 0) return false;
  // Renaming a name of a file over another name of the same file does
  // nothing: so it is when another run has just kept the same old file.
  if (is_link_) unlink(path_.c_str());
  Release();
  return true;
}

void TempFile::Remove() {
  const int saved_errno = errno;
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!path_.empty()) unlink(path_.c_str());
  Release();
  errno = saved_errno;
}

void TempFile::Release() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (slot_ >= 0) g_cleanup_armed[slot_] = 0;
  slot_ = -1;
  path_.clear();
  is_link_ = false;
}

bool BeginCommit() {
  const sigset_t set = FatalSignals();
  sigprocmask(SIG_BLOCK, &set, nullptr);
  return true;
}

// A signal ends the process at once, so no run sees an interruption.
bool ReplaceInterrupted() { return false; }

bool ReadWholeFile(const std::filesystem::path& path, std::string* content) {
  // Not blocking: a FIFO named like the file must not hang the run.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool read_all = fstat(fd, &st) == 0;
  if (read_all && !S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : ENODEV;
    read_all = false;
  }
  content->clear();
  char buffer[16384];
  while (read_all) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      read_all = got == 0;
      break;
    }
    content->append(buffer, static_cast<size_t>(got));
  }
  const int saved_errno = errno;
  close(fd);
  errno = saved_errno;
  return read_all;
}

bool CanWriteFile(const std::filesystem::path& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// The rule of the kernel's fs.protected_symlinks, applied here because the
// program follows links itself and renames onto what they point to.
bool MayFollowLink(const std::filesystem::path& link) {
  std::filesystem::path folder = link.parent_path();
  if (folder.empty()) folder = ".";
  struct stat link_st;
  struct stat folder_st;
  if (lstat(link.c_str(), &link_st) != 0 ||
      stat(folder.c_str(), &folder_st) != 0) {
    return true;  // following it then fails, and says why
  }
  const bool shared =
      (folder_st.st_mode & S_ISVTX) != 0 && (folder_st.st_mode & S_IWOTH) != 0;
  return !shared || link_st.st_uid == geteuid() ||
         link_st.st_uid == folder_st.st_uid;
}

void SyncFolderOf(const std::filesystem::path& file) {
  std::filesystem::path folder = file.parent_path();
  if (folder.empty()) folder = ".";
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)fsync(fd);
  close(fd);
}
