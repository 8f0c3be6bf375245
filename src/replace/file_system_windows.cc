#include "replace/file_system.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <string>

namespace {

// Ctrl-C, Ctrl-Break and a closed console window reach the process on a
// thread of its own. All that thread may touch is here, under the lock, and
// the main thread uses a temporary file only while it holds the lock: the
// handler never closes a descriptor in use, and once it has run, nothing is
// written, synced or renamed.
std::mutex g_lock;
struct Slot {
  std::filesystem::path path;
  int fd = -1;
  bool used = false;
};
constexpr int kSlots = 2;  // the new file, and a second name of the old
Slot g_slots[kSlots];
bool g_interrupted = false;
bool g_committing = false;

// Called with g_lock held.
void RemoveSlot(Slot* slot) {
  const int saved_errno = errno;
  if (slot->fd >= 0) _close(slot->fd);
  if (!slot->path.empty()) _wunlink(slot->path.c_str());
  *slot = Slot();
  errno = saved_errno;
}

BOOL WINAPI RemoveTempFilesOnConsoleEvent(DWORD event) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_committing) {
    // Too late to stop: the new file is going into place and the run ends
    // as a success. Ctrl-C and Ctrl-Break are let go; a closing window ends
    // the process in any case.
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  }
  g_interrupted = true;
  for (Slot& slot : g_slots) RemoveSlot(&slot);
  // Ended here, as Windows' own handler would end it but with the same
  // status everywhere (wine's gives 0), and without running exit code that
  // the main thread, stopped anywhere, may be in the middle of.
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

// Called with g_lock held. Returns the slot now holding the file, or -1.
int Register(const std::filesystem::path& path, int fd) {
  static bool installed = false;
  if (!installed) {
    SetConsoleCtrlHandler(RemoveTempFilesOnConsoleEvent, TRUE);
    installed = true;
  }
  for (int i = 0; i < kSlots; ++i) {
    if (!g_slots[i].used) {
      g_slots[i] = {path, fd, true};
      return i;
    }
  }
  return -1;
}

// Windows reports its own error codes; the few a file replace meets become
// the errno values whose messages the program shows.
int ErrnoFromWindowsError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EBUSY;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

// Opens an existing file sharing everything, so that only another program's
// refusal to share makes it fail (ERROR_SHARING_VIOLATION).
HANDLE OpenExisting(const std::filesystem::path& path, DWORD access) {
  return CreateFileW(path.c_str(), access,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Replacing a file that another program holds open fails with "access
// denied", as a protected file does; asking for the file's own access tells
// the two apart.
int ErrnoAfterFailedReplace(const std::filesystem::path& target) {
  const DWORD error = GetLastError();
  if (error == ERROR_ACCESS_DENIED) {
    const HANDLE file = OpenExisting(target, DELETE);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
    } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
      return EBUSY;
    }
  }
  return ErrnoFromWindowsError(error);
}

}  // namespace

// Windows keeps no permission bits beyond read-only, and neither the file
// replaced (checked writable) nor the new one is read-only.
bool TempFile::Create(const std::filesystem::path& target,
                      const std::filesystem::path& /*like*/) {
  Remove();
  std::lock_guard<std::mutex> hold(g_lock);
  for (int attempt = 0; attempt < 100 && !g_interrupted; ++attempt) {
    std::filesystem::path path = target;
    path += "." + RandomSuffix();
    // Binary, so that no line end is translated on the way to the disk.
    const int fd = _wopen(
        path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
        _S_IREAD | _S_IWRITE);
    if (fd >= 0) {
      path_ = path;
      fd_ = fd;
      slot_ = Register(path, fd);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  errno = g_interrupted ? EINTR : EEXIST;
  return false;
}

bool TempFile::CreateLink(const std::filesystem::path& existing,
                          const std::filesystem::path& target) {
  Remove();
  std::lock_guard<std::mutex> hold(g_lock);
  for (int attempt = 0; attempt < 100 && !g_interrupted; ++attempt) {
    std::filesystem::path path = target;
    path += "." + RandomSuffix();
    if (CreateHardLinkW(path.c_str(), existing.c_str(), nullptr)) {
      path_ = path;
      slot_ = Register(path, -1);
      return true;
    }
    errno = ErrnoFromWindowsError(GetLastError());
    if (errno != EEXIST) return false;
  }
  errno = g_interrupted ? EINTR : EEXIST;
  return false;
}

bool TempFile::Write(std::string_view data) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_interrupted) {
    errno = EINTR;
    return false;
  }
  while (!data.empty()) {
    const unsigned chunk =
        static_cast<unsigned>(std::min<size_t>(data.size(), 1u << 30));
    const int written = _write(fd_, data.data(), chunk);
    if (written < 0) return false;
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

bool TempFile::SyncAndClose() {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_interrupted) {
    errno = EINTR;
    return false;
  }
  const bool synced = _commit(fd_) == 0;
  const int sync_errno = errno;
  const bool closed = _close(fd_) == 0;
  fd_ = -1;
  if (slot_ >= 0) g_slots[slot_].fd = -1;
  if (!synced) errno = sync_errno;
  return synced && closed;
}

bool TempFile::RenameOver(const std::filesystem::path& target) {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    // Unlike std::rename, this replaces an existing file, in one step; write
    // through, it is on the disk when the call returns.
    if (!MoveFileExW(path_.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      errno = ErrnoAfterFailedReplace(target);
      return false;
    }
  }
  Release();
  return true;
}

void TempFile::Remove() {
  std::lock_guard<std::mutex> hold(g_lock);
  // The handler may have removed it already, and its descriptor number may
  // be another file's by now.
  if (slot_ >= 0 && g_slots[slot_].used) RemoveSlot(&g_slots[slot_]);
  fd_ = -1;
  slot_ = -1;
  path_.clear();
}

void TempFile::Release() {
  std::lock_guard<std::mutex> hold(g_lock);
  if (slot_ >= 0) {
    if (g_slots[slot_].fd >= 0) _close(g_slots[slot_].fd);
    g_slots[slot_] = Slot();
  }
  fd_ = -1;
  slot_ = -1;
  path_.clear();
}

bool BeginCommit() {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_interrupted) return false;
  g_committing = true;
  return true;
}

bool ReplaceInterrupted() {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_interrupted;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string* content) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (std::filesystem::is_directory(status)) {
    errno = EISDIR;
    return false;
  }
  if (!ec && !std::filesystem::is_regular_file(status)) {
    errno = ENODEV;
    return false;
  }
  // Asked directly, so that a file another program holds says so.
  const HANDLE file = OpenExisting(path, GENERIC_READ);
  if (file == INVALID_HANDLE_VALUE) {
    errno = ErrnoFromWindowsError(GetLastError());
    return false;
  }
  content->clear();
  char buffer[16384];
  DWORD got = 0;
  BOOL read_ok;
  while ((read_ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) &&
         got > 0) {
    content->append(buffer, got);
  }
  if (!read_ok) errno = ErrnoFromWindowsError(GetLastError());
  CloseHandle(file);
  return read_ok;
}

bool CanWriteFile(const std::filesystem::path& path) {
  // The read-only attribute is the user's word, even to an administrator.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    errno = EACCES;
    return false;
  }
  // The sharing a program that writes the file in place would ask for.
  const HANDLE file = OpenExisting(path, GENERIC_WRITE);
  if (file == INVALID_HANDLE_VALUE) {
    errno = ErrnoFromWindowsError(GetLastError());
    return false;
  }
  CloseHandle(file);
  return true;
}

// The C runtime follows no links, so the program never meets one here.
bool MayFollowLink(const std::filesystem::path& /*link*/) { return true; }

// MOVEFILE_WRITE_THROUGH has done this already.
void SyncFolderOf(const std::filesystem::path& /*file*/) {}
