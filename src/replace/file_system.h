#ifndef REPLACE_FILE_SYSTEM_H_
#define REPLACE_FILE_SYSTEM_H_

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "replace/errors.h"

// The file calls whose spelling differs between POSIX and Windows. Nothing
// here decides anything: each call that can fail returns its error, an errno
// value or one of errors.h, and 0 when it is done.

// An open file, closed when the object goes: a descriptor on POSIX, a
// HANDLE on Windows.
class File {
 public:
  File() = default;
  ~File() { Close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool is_open() const { return handle_ != kNone; }
  std::intptr_t handle() const { return handle_; }
  // Takes `handle`, closing what the object held before.
  void Reset(std::intptr_t handle = kNone) {
    Close();
    handle_ = handle;
  }
  // Closes it now; returns the error. Once a file is synced, or if it was
  // only read, a failed close loses nothing.
  int Close();

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
};

// What the replace keeps of an existing file: on POSIX its permission bits,
// owner and group.
struct FileInfo {
  unsigned mode = 0;
  unsigned uid = 0;
  unsigned gid = 0;
};

// Creates the file `path`, which must not exist yet, empty and open for
// writing, with what any new file gets.
int CreateNewFile(const std::filesystem::path& path, File* file);

enum class Access {
  kRead,
  // Reading and writing, as OpenExisting says.
  kReplace,
};

// Opens the existing regular file `path` with `access`, without changing
// it, sharing it with everyone. For kReplace it is not a link: a link there
// is kNotRegular. On Windows kReplace also asks for what a rename over it
// needs, so that kInUse means another program holds it. A folder is EISDIR,
// any other file that is not a regular one kNotRegular.
int OpenExisting(const std::filesystem::path& path, Access access, File* file,
                 FileInfo* info);

// Reads at most `size` bytes into `data` and sets *got to how many; 0 at the
// end.
int ReadSome(const File& file, char* data, std::size_t size, std::size_t* got);

// Writes all of `data` to `file`, which was made empty.
int WriteAll(const File& file, std::string_view data);

// Flushes the file to the disk.
int SyncFile(const File& file);

// Gives `file` the permission bits of `like` and, where the system allows,
// its owner, or else its group.
int SetOwnerAndMode(const File& file, const FileInfo& like);

// Renames `from` over `to`, replacing it in one step; kInUse or EBUSY means
// that another program holds `to`.
int RenameOver(const std::filesystem::path& from,
               const std::filesystem::path& to);

// Removes the name; safe in a signal handler.
int RemoveFile(const std::filesystem::path::value_type* name);

// Returns kLinkOfOther for a link that the system's own guard would not
// follow: one in a sticky folder that others may write, owned by neither the
// user nor the folder's owner, and so possibly planted by another user.
int CheckLinkOwner(const std::filesystem::path& link);

// Makes the renames done in `folder` last through a power cut.
int SyncFolder(const std::filesystem::path& folder);

#endif  // REPLACE_FILE_SYSTEM_H_
