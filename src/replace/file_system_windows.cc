#include "replace/file_system.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace fs = std::filesystem;

namespace {

// Windows reports its own error numbers; the few the replace decides by
// become errno values, or its own; any other stays the system's.
constexpr std::pair<DWORD, int> kErrors[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},   {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_ACCESS_DENIED, EACCES},    {ERROR_SHARING_VIOLATION, kInUse},
    {ERROR_LOCK_VIOLATION, kInUse},   {ERROR_ALREADY_EXISTS, EEXIST},
    {ERROR_FILE_EXISTS, EEXIST},      {ERROR_DISK_FULL, ENOSPC},
    {ERROR_HANDLE_DISK_FULL, ENOSPC}, {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_OUTOFMEMORY, ENOMEM},
};

int ErrorOf(DWORD error) {
  for (const auto& [windows_error, errno_value] : kErrors) {
    if (windows_error == error) return errno_value;
  }
  return kWindowsError + static_cast<int>(error);
}

// The error of a call that reported it in GetLastError.
int ErrorOf(BOOL succeeded) { return succeeded ? 0 : ErrorOf(GetLastError()); }

HANDLE AsHandle(const File& file) {
  return reinterpret_cast<HANDLE>(file.handle());
}

constexpr DWORD kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int Open(const fs::path& path, DWORD access, DWORD sharing, DWORD creation,
         File* file) {
  const HANDLE handle = CreateFileW(path.c_str(), access, sharing, nullptr,
                                    creation, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return ErrorOf(GetLastError());
  file->Reset(reinterpret_cast<std::intptr_t>(handle));
  return 0;
}

}  // namespace

int OpenExisting(const fs::path& path, Access access, File* file,
                 FileInfo* /*info*/) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return EISDIR;
  }
  // Sharing everything, so that only another program's refusal to share
  // makes it fail. A program that opens the file as the C runtime does
  // shares reading and writing, not deleting: DELETE asks for that too.
  const DWORD wanted = access == Access::kRead
                           ? GENERIC_READ
                           : GENERIC_READ | GENERIC_WRITE | DELETE;
  if (const int error = Open(path, wanted, kShareAll, OPEN_EXISTING, file)) {
    return error;
  }
  if (GetFileType(AsHandle(*file)) != FILE_TYPE_DISK) {
    file->Reset();
    return kNotRegular;
  }
  return 0;
}

int File::Close() {
  if (!is_open()) return 0;
  return ErrorOf(
      CloseHandle(reinterpret_cast<HANDLE>(std::exchange(handle_, kNone))));
}

int CreateNewFile(const fs::path& path, File* file) {
  // Delete sharing lets the interruption handler remove the name while the
  // file is open.
  return Open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
              CREATE_NEW, file);
}

int ReadSome(const File& file, char* data, std::size_t size, std::size_t* got) {
  DWORD read_now = 0;
  const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
  const int error =
      ErrorOf(ReadFile(AsHandle(file), data, chunk, &read_now, nullptr));
  *got = read_now;
  return error;
}

int WriteAll(const File& file, std::string_view data) {
  const HANDLE handle = AsHandle(file);
  while (!data.empty()) {
    DWORD written = 0;
    const DWORD chunk =
        static_cast<DWORD>(std::min<size_t>(data.size(), 1u << 30));
    if (!WriteFile(handle, data.data(), chunk, &written, nullptr)) {
      return ErrorOf(GetLastError());
    }
    data.remove_prefix(written);
  }
  return 0;
}

int SyncFile(const File& file) {
  return ErrorOf(FlushFileBuffers(AsHandle(file)));
}

// Windows keeps no permission bits beyond read-only, and neither the file
// replaced (checked writable) nor the new one is read-only.
int SetOwnerAndMode(const File& /*file*/, const FileInfo& /*like*/) {
  return 0;
}

int RenameOver(const fs::path& from, const fs::path& to) {
  // Unlike std::rename, this replaces an existing file, in one step; write
  // through, it is on the disk when the call returns.
  if (MoveFileExW(from.c_str(), to.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return 0;
  }
  // A file open in another program refuses to be replaced with "access
  // denied", as a read-only one does; one that is not read-only is held.
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesW(to.c_str());
  if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_READONLY) == 0) {
    return kInUse;
  }
  return ErrorOf(error);
}

int RemoveFile(const wchar_t* name) { return ErrorOf(DeleteFileW(name)); }

// Links are not followed on Windows, as the program never did there.
int CheckLinkOwner(const fs::path& /*link*/) { return 0; }

// MOVEFILE_WRITE_THROUGH has done this already.
int SyncFolder(const fs::path& /*folder*/) { return 0; }
