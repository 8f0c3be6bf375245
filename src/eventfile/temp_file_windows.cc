#include "eventfile/temp_file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <random>
#include <string>

namespace {

// Ctrl-C, Ctrl-Break and a closed console window reach the process on a
// thread of its own. The handler removes the temporary file there; the lock
// keeps it from doing so while the file is being renamed into place.
std::mutex g_cleanup_lock;
TempFile* g_cleanup_file = nullptr;

// Called with g_cleanup_lock held.
void RemoveTempFileLocked(TempFile* file) {
  const int saved_errno = errno;
  if (file->fd >= 0) _close(file->fd);
  file->fd = -1;
  if (!file->path.empty()) _wunlink(file->path.c_str());
  file->path.clear();
  if (g_cleanup_file == file) g_cleanup_file = nullptr;
  errno = saved_errno;
}

BOOL WINAPI RemoveTempFileOnConsoleEvent(DWORD /*event*/) {
  std::lock_guard<std::mutex> hold(g_cleanup_lock);
  if (g_cleanup_file != nullptr) RemoveTempFileLocked(g_cleanup_file);
  return FALSE;  // the default handler then ends the process as usual
}

// Windows reports its own error codes; the few a file replace meets become
// the errno values whose messages the program prints.
int ErrnoFromWindowsError(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

}  // namespace

bool CanWriteFile(const std::filesystem::path& path) {
  const int fd = _wopen(path.c_str(), _O_WRONLY | _O_BINARY);
  if (fd < 0) return false;
  _close(fd);
  return true;
}

// Windows keeps no permission bits beyond read-only, and neither the file
// replaced (checked writable) nor the new one is read-only.
bool CreateTempFile(const std::filesystem::path& target, TempFile* file) {
  static constexpr char kNameChars[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::uniform_int_distribution<int> pick(0, sizeof kNameChars - 2);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string suffix = ".";
    for (int i = 0; i < 6; ++i) suffix += kNameChars[pick(random)];
    std::filesystem::path path = target;
    path += suffix;
    std::lock_guard<std::mutex> hold(g_cleanup_lock);
    // Binary, so that no line end is translated on the way to the disk.
    file->fd = _wopen(path.c_str(),
                      _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                      _S_IREAD | _S_IWRITE);
    if (file->fd >= 0) {
      file->path = path;
      g_cleanup_file = file;
      SetConsoleCtrlHandler(RemoveTempFileOnConsoleEvent, TRUE);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool WriteTempFile(const TempFile& file, std::string_view data) {
  while (!data.empty()) {
    const unsigned chunk =
        static_cast<unsigned>(std::min<size_t>(data.size(), 1u << 30));
    const int written = _write(file.fd, data.data(), chunk);
    if (written < 0) return false;
    data.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

bool SyncAndCloseTempFile(TempFile* file) {
  const bool synced = _commit(file->fd) == 0;
  const int sync_errno = errno;
  const bool closed = _close(file->fd) == 0;
  file->fd = -1;
  if (!synced) errno = sync_errno;
  return synced && closed;
}

bool RenameTempFile(TempFile* file, const std::filesystem::path& target) {
  std::lock_guard<std::mutex> hold(g_cleanup_lock);
  // Unlike std::rename, this replaces an existing file, in one step.
  if (!MoveFileExW(file->path.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    errno = ErrnoFromWindowsError(GetLastError());
    return false;
  }
  g_cleanup_file = nullptr;
  file->path.clear();
  return true;
}

void RemoveTempFile(TempFile* file) {
  std::lock_guard<std::mutex> hold(g_cleanup_lock);
  RemoveTempFileLocked(file);
}
