#include "replace/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace fs = std::filesystem;

namespace {

int Fd(const File& file) { return static_cast<int>(file.handle()); }

// The error of a call that reported it in errno.
int ErrorOf(bool succeeded) { return succeeded ? 0 : errno; }

}  // namespace

int File::Close() {
  if (!is_open()) return 0;
  return ErrorOf(close(static_cast<int>(std::exchange(handle_, kNone))) == 0);
}

int CreateNewFile(const fs::path& path, File* file) {
  const int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  file->Reset(fd);
  return 0;
}

int OpenExisting(const fs::path& path, Access access, File* file,
                 FileInfo* info) {
  // Not blocking: a FIFO named like the file must not hang the run. For a
  // replace, not through a link: the file opened is the one looked at.
  const int flags = access == Access::kRead ? O_RDONLY : O_RDWR | O_NOFOLLOW;
  const int fd = open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return errno == ELOOP && access == Access::kReplace ? kNotRegular : errno;
  }
  file->Reset(fd);
  struct stat st;
  const int error = fstat(fd, &st) != 0    ? errno
                    : S_ISDIR(st.st_mode)  ? EISDIR
                    : !S_ISREG(st.st_mode) ? kNotRegular
                                           : 0;
  if (error != 0) {
    file->Reset();
    return error;
  }
  *info = {st.st_mode & 07777u, st.st_uid, st.st_gid};
  return 0;
}

int ReadSome(const File& file, char* data, std::size_t size, std::size_t* got) {
  for (;;) {
    const ssize_t read_now = read(Fd(file), data, size);
    if (read_now >= 0) {
      *got = static_cast<std::size_t>(read_now);
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

int WriteAll(const File& file, std::string_view data) {
  for (off_t at = 0; at < static_cast<off_t>(data.size());) {
    const ssize_t written =
        pwrite(Fd(file), data.data() + at, data.size() - at, at);
    if (written < 0 && errno != EINTR) return errno;
    if (written > 0) at += written;
  }
  return 0;
}

int SyncFile(const File& file) { return ErrorOf(fsync(Fd(file)) == 0); }

int SetOwnerAndMode(const File& file, const FileInfo& like) {
  // Keeping the owner needs privileges we may lack; keeping the group only
  // that we belong to it, as in a folder shared by a group. Without either
  // the file is the user's own, as any new file; any other error is one.
  if ((like.uid != geteuid() || like.gid != getegid()) &&
      fchown(Fd(file), like.uid, like.gid) != 0) {
    if (errno != EPERM) return errno;
    if (fchown(Fd(file), static_cast<uid_t>(-1), like.gid) != 0 &&
        errno != EPERM) {
      return errno;
    }
  }
  return ErrorOf(fchmod(Fd(file), like.mode) == 0);
}

int RenameOver(const fs::path& from, const fs::path& to) {
  return ErrorOf(rename(from.c_str(), to.c_str()) == 0);
}

int RemoveFile(const char* name) { return ErrorOf(unlink(name) == 0); }

// The rule of the kernel's fs.protected_symlinks, applied here because the
// program follows links itself and renames onto what they point to.
int CheckLinkOwner(const fs::path& link) {
  struct stat link_st;
  struct stat folder_st;
  if (lstat(link.c_str(), &link_st) != 0) return errno;
  const fs::path folder = link.has_parent_path() ? link.parent_path() : ".";
  if (stat(folder.c_str(), &folder_st) != 0) return errno;
  const bool shared =
      (folder_st.st_mode & S_ISVTX) != 0 && (folder_st.st_mode & S_IWOTH) != 0;
  const bool trusted =
      link_st.st_uid == geteuid() || link_st.st_uid == folder_st.st_uid;
  return shared && !trusted ? kLinkOfOther : 0;
}

int SyncFolder(const fs::path& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  File opened;
  opened.Reset(fd);
  return SyncFile(opened);
}
