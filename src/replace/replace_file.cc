#include "replace/replace_file.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The system's own limit on links in a row.
constexpr int kMaxLinks = 40;

constexpr fs::perms kWriteBits =
    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;

bool Fail(const std::string& message, std::string* err) {
  *err = message;
  return false;
}

bool CannotWrite(const std::string& name, const std::string& reason,
                 std::string* err) {
  return Fail("cannot write " + name + ": " + reason, err);
}

// The folder a file is in, in full, as the user would look for it.
std::string FolderOf(const fs::path& file) {
  std::error_code ec;
  const fs::path full = fs::absolute(file, ec).lexically_normal();
  return (ec ? file : full).parent_path().u8string();
}

// Follows links so that a link stays a link and its target receives the new
// content, as when a file is written in place.
bool FollowLinks(const std::string& name, fs::path* path, std::string* err) {
  *path = fs::u8path(name);
  for (int links = 0;; ++links) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(*path, ec))) return true;
    if (links == kMaxLinks) return CannotWrite(name, std::strerror(ELOOP), err);
    if (!MayFollowLink(*path)) {
      return Fail(path->u8string() +
                      " is a link owned by another user; not following it",
                  err);
    }
    const fs::path to = fs::read_symlink(*path, ec);
    if (ec) return CannotWrite(name, ec.message(), err);
    *path = path->parent_path() / to;  // an absolute target replaces the whole
  }
}

// An existing file that could not be written in place is not replaced either:
// a read-only file is the user's choice, and a folder or a device is not ours
// to swap for a file.
bool CheckReplaceable(const std::string& name, const fs::path& path,
                      std::string* err) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) return true;
  if (ec) return CannotWrite(name, ec.message(), err);
  if (fs::is_directory(status)) {
    return CannotWrite(name, FileErrorReason(EISDIR), err);
  }
  if (!fs::is_regular_file(status)) {
    return CannotWrite(name, FileErrorReason(ENODEV), err);
  }
  if (CanWriteFile(path)) return true;
  if ((errno == EACCES || errno == EPERM) &&
      (status.permissions() & kWriteBits) == fs::perms::none) {
    return CannotWrite(
        name, "it is read-only; make it writable and run the setup again", err);
  }
  return CannotWrite(name, FileErrorReason(errno), err);
}

// Gives the old file a second name of ours if its content must be kept: a
// hard link where the file system has them, else a synced copy.
bool KeepOldFile(const FileReplacement& replacement,
                 const fs::path& backup_path, const NeedsBackup& needs_backup,
                 TempFile* backup, std::string* err) {
  // Another run may put its file in place between the reading and the
  // linking, so the link is read back: it must hold what was judged.
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::string old;
    if (!ReadWholeFile(replacement.path, &old)) {
      // With no file to keep, or a folder that the rename then refuses.
      if (errno == ENOENT || errno == EISDIR) return true;
      return CannotWrite(replacement.name, FileErrorReason(errno), err);
    }
    if (!needs_backup(old)) return true;
    if (!backup->CreateLink(replacement.path, backup_path)) {
      if (backup->Create(backup_path, replacement.path) && backup->Write(old) &&
          backup->SyncAndClose()) {
        return true;
      }
      break;
    }
    std::string linked;
    if (ReadWholeFile(backup->path(), &linked) && linked == old) return true;
    backup->Remove();
    errno = EAGAIN;
  }
  return Fail("cannot keep the previous " + replacement.name + " as " +
                  backup_path.u8string() + ": " + FileErrorReason(errno),
              err);
}

// Writes the new file and puts it in place, with the old one kept if need be.
bool CommitReplacement(FileReplacement* replacement, std::string_view content,
                       const NeedsBackup& needs_backup, std::string* err) {
  const std::string& name = replacement->name;
  TempFile& temp = replacement->temp;
  if (!temp.Write(content) || !temp.SyncAndClose()) {
    return CannotWrite(name, FileErrorReason(errno), err);
  }
  fs::path backup_path = replacement->path;
  backup_path += ".bak";
  TempFile backup;
  if (!KeepOldFile(*replacement, backup_path, needs_backup, &backup, err)) {
    return false;
  }
  if (!BeginCommit()) return Fail("interrupted", err);
  if (!temp.RenameOver(replacement->path)) {
    return CannotWrite(name, FileErrorReason(errno), err);
  }
  // The new file is in place; the old one is kept, at worst under the
  // temporary name if the backup's own name cannot be taken.
  if (!backup.path().empty()) {
    if (backup.RenameOver(backup_path)) {
      replacement->kept_as = backup_path.u8string();
    } else {
      replacement->kept_as = backup.path().u8string();
      backup.Release();
    }
  }
  SyncFolderOf(replacement->path);
  return true;
}

}  // namespace

std::string FileErrorReason(int error) {
  switch (error) {
    case EBUSY:
    case ETXTBSY:
      return "it is in use by another program; close it (the game?) and run "
             "the setup again";
    case EISDIR:
      return "it is a folder, not a file";
    case ENODEV:
      return "it is not a regular file";
    default:
      return std::strerror(error);
  }
}

bool BeginReplaceFile(const std::string& name, FileReplacement* replacement,
                      std::string* err) {
  replacement->name = name;
  replacement->kept_as.clear();
  if (!FollowLinks(name, &replacement->path, err) ||
      !CheckReplaceable(name, replacement->path, err)) {
    return false;
  }
  if (!replacement->temp.Create(replacement->path, replacement->path)) {
    return Fail("cannot write in the folder " + FolderOf(replacement->path) +
                    ": " + std::strerror(errno),
                err);
  }
  return true;
}

bool FinishReplaceFile(FileReplacement* replacement, std::string_view content,
                       const NeedsBackup& needs_backup, std::string* err) {
  if (CommitReplacement(replacement, content, needs_backup, err)) return true;
  replacement->temp.Remove();
  return false;
}
