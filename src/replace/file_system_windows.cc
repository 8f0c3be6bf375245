#include "replace/file_system.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

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
// the errno values whose messages the program shows.
bool Failed(DWORD error = GetLastError()) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      errno = ENOENT;
      break;
    case ERROR_ACCESS_DENIED:
      errno = EACCES;
      break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      errno = EBUSY;
      break;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      errno = EEXIST;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      errno = ENOSPC;
      break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      errno = ENOMEM;
      break;
    default:
      errno = EIO;
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
  if (SetFilePointer(handle, 0, nullptr, FILE_BEGIN) ==
      INVALID_SET_FILE_POINTER) {
    return Failed();
  }
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

bool ReadWholeFile(const std::filesystem::path& path, std::string* content) {
  content->clear();
  content->shrink_to_fit();
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    errno = EISDIR;
    return false;
  }
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Failed();
  bool read_all = GetFileType(file) == FILE_TYPE_DISK;
  if (!read_all) errno = ENODEV;
  LARGE_INTEGER size = {};
  if (read_all && !GetFileSizeEx(file, &size)) read_all = Failed();
  if (read_all) {
    content->resize(static_cast<size_t>(size.QuadPart) + 1);
    for (size_t have = 0;;) {
      DWORD got = 0;
      const DWORD chunk = static_cast<DWORD>(
          std::min<size_t>(content->size() - have, 1u << 30));
      if (!ReadFile(file, &(*content)[have], chunk, &got, nullptr)) {
        read_all = Failed();
      }
      if (!read_all || got == 0) {
        content->resize(have);
        break;
      }
      have += got;
      if (have == content->size()) content->resize(have * 2);
    }
  }
  CloseHandle(file);  // read only: its failure loses nothing
  return read_all;
}

// The program follows no links on Windows: the C runtime never did.
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
