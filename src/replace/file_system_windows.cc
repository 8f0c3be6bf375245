#include "replace/file_system.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <utility>

#include "replace/temp_file.h"

namespace {

// Ctrl-C, Ctrl-Break and a closed console window reach the process on a
// thread of its own. The main thread holds this lock while it makes and
// names a temporary file, and the handler while it removes them.
std::mutex g_lock;
bool g_committing = false;

BOOL WINAPI RemoveTempFilesOnConsoleEvent(DWORD event) {
  std::lock_guard<std::mutex> hold(g_lock);
  if (g_committing) {
    // Too late to stop: the new file is going into place and the run ends
    // as a success. Ctrl-C and Ctrl-Break are let go; a closing window ends
    // the process in any case.
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
  }
  // The files are open with delete sharing: their names go now, the files
  // themselves as the process ends.
  RemoveTempFiles();
  // Ended here, as Windows' own handler would end it but with the same
  // status everywhere (wine's gives 0), and without running exit code that
  // the main thread, stopped anywhere, may be in the middle of.
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

// Windows reports its own error codes; the few a file replace meets become
// the errno values whose messages the program shows, any other EIO.
constexpr std::pair<DWORD, int> kErrors[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},   {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_ACCESS_DENIED, EACCES},    {ERROR_SHARING_VIOLATION, EBUSY},
    {ERROR_LOCK_VIOLATION, EBUSY},    {ERROR_ALREADY_EXISTS, EEXIST},
    {ERROR_FILE_EXISTS, EEXIST},      {ERROR_DISK_FULL, ENOSPC},
    {ERROR_HANDLE_DISK_FULL, ENOSPC}, {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_OUTOFMEMORY, ENOMEM},
};

// Sets errno for the error and returns false.
bool Failed(DWORD error = GetLastError()) {
  errno = EIO;
  for (const auto& [windows_error, errno_value] : kErrors) {
    if (windows_error == error) errno = errno_value;
  }
  return false;
}

HANDLE AsHandle(OsFile file) { return reinterpret_cast<HANDLE>(file); }

OsFile Opened(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) {
    Failed();
    return kNoFile;
  }
  return reinterpret_cast<OsFile>(handle);
}

constexpr DWORD kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

OsFile CreateNewFile(const std::filesystem::path& path) {
  // Delete sharing lets the interruption handler remove the name while the
  // file is open.
  return Opened(CreateFileW(path.c_str(), GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}

OsFile OpenForWriting(const std::filesystem::path& path) {
  // Sharing everything, so that only another program's refusal to share
  // makes it fail. A program that opens the file as the C runtime does
  // shares reading and writing, not deleting: DELETE asks for that too.
  return Opened(CreateFileW(path.c_str(), GENERIC_WRITE | DELETE, kShareAll,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
}

bool WriteWhole(OsFile file, std::string_view data) {
  const HANDLE handle = AsHandle(file);
  if (!SetFilePointerEx(handle, {}, nullptr, FILE_BEGIN)) return Failed();
  while (!data.empty()) {
    DWORD written = 0;
    const DWORD chunk =
        static_cast<DWORD>(std::min<size_t>(data.size(), 1u << 30));
    if (!WriteFile(handle, data.data(), chunk, &written, nullptr)) {
      return Failed();
    }
    data.remove_prefix(written);
  }
  return SetEndOfFile(handle) || Failed();
}

bool SyncFile(OsFile file) {
  return FlushFileBuffers(AsHandle(file)) || Failed();
}

bool CloseFile(OsFile file) { return CloseHandle(AsHandle(file)) || Failed(); }

// Windows keeps no permission bits beyond read-only, and neither the file
// replaced (checked writable) nor the new one is read-only.
bool CopyOwnerAndMode(OsFile /*file*/, const std::filesystem::path& /*like*/) {
  return true;
}

bool RenameFile(const std::filesystem::path& from,
                const std::filesystem::path& to) {
  // Unlike std::rename, this replaces an existing file, in one step; write
  // through, it is on the disk when the call returns.
  if (MoveFileExW(from.c_str(), to.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  // A file open in another program refuses to be replaced with "access
  // denied", as a read-only one does; one that is not read-only is held.
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesW(to.c_str());
  if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
    return Failed(ERROR_SHARING_VIOLATION);
  }
  return Failed(error);
}

bool RemoveFile(const wchar_t* name) { return DeleteFileW(name) || Failed(); }

OsFile OpenForReading(const std::filesystem::path& path, std::uint64_t* size) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    errno = EISDIR;
    return kNoFile;
  }
  const OsFile file =
      Opened(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size_now = {};
  if (file == kNoFile) return kNoFile;
  if (GetFileType(AsHandle(file)) == FILE_TYPE_DISK &&
      GetFileSizeEx(AsHandle(file), &size_now)) {
    *size = static_cast<std::uint64_t>(size_now.QuadPart);
    return file;
  }
  CloseHandle(AsHandle(file));
  errno = ENODEV;
  return kNoFile;
}

long long ReadSome(OsFile file, char* data, size_t size) {
  DWORD got = 0;
  const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
  if (ReadFile(AsHandle(file), data, chunk, &got, nullptr)) return got;
  Failed();
  return -1;
}

// Links are not followed on Windows, as the program never did there.
bool MayFollowLink(const std::filesystem::path& /*link*/, bool* may) {
  *may = true;
  return true;
}

// MOVEFILE_WRITE_THROUGH has done this already.
bool SyncFolderOf(const std::filesystem::path& /*file*/) { return true; }

void HandleInterruptions() {
  static bool handled = false;
  if (handled) return;
  handled = true;
  SetConsoleCtrlHandler(RemoveTempFilesOnConsoleEvent, TRUE);
}

void HoldInterruptions() { g_lock.lock(); }

void ReleaseInterruptions() { g_lock.unlock(); }

void BeginCommit() {
  std::lock_guard<std::mutex> hold(g_lock);
  g_committing = true;
}
