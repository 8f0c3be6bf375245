#include "replace/replace_file.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

#include "replace/file_system.h"
#include "replace/temp_file.h"

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

std::string Reason() { return FileErrorReason(errno); }

// The folder a file is in, in full, as the user would look for it.
std::string FolderOf(const fs::path& file) {
  std::error_code ec;
  const fs::path full = fs::absolute(file, ec).lexically_normal();
  return (ec ? file : full).parent_path().u8string();
}

fs::path BackupOf(const fs::path& file) {
  fs::path backup = file;
  return backup += ".bak";
}

bool CannotKeep(const FileReplacement& replacement, const std::string& reason,
                std::string* err) {
  return Fail("cannot keep the previous " + replacement.name + " as " +
                  BackupOf(replacement.path).u8string() + ": " + reason,
              err);
}

// Follows links so that a link stays a link and its target receives the new
// content, as when a file is written in place.
bool FollowLinks(FileReplacement* replacement, std::string* err) {
  const std::string& name = replacement->name;
  fs::path* path = &replacement->path;
  *path = fs::u8path(name);
  for (int links = 0;; ++links) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(*path, ec);
    // Only "not there" means no link; any other error is the run's failure.
    if (ec && status.type() != fs::file_type::not_found) {
      return CannotWrite(name, ec.message(), err);
    }
    if (!fs::is_symlink(status)) return true;
    if (links == kMaxLinks) return CannotWrite(name, std::strerror(ELOOP), err);
    bool may = true;
    if (!MayFollowLink(*path, &may)) return CannotWrite(name, Reason(), err);
    if (!may) {
      return Fail(path->u8string() +
                      " is a link owned by another user; not following it",
                  err);
    }
    const fs::path to = fs::read_symlink(*path, ec);
    if (ec) return CannotWrite(name, ec.message(), err);
    *path = path->parent_path() / to;  // an absolute target replaces the whole
  }
}

// Returns why the file at `path` may not be replaced, or "" if it may: it is
// missing, or a regular file that can be written and that no other program
// holds. A read-only file is the user's choice, and a folder or a device is
// not ours to swap for a file.
std::string WhyNotReplaceable(const fs::path& path, bool* exists) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  *exists = status.type() != fs::file_type::not_found;
  if (!*exists) return "";
  if (ec) return ec.message();
  if (fs::is_directory(status)) return FileErrorReason(EISDIR);
  if (!fs::is_regular_file(status)) return FileErrorReason(ENODEV);
  const OsFile file = OpenForWriting(path);
  if (file != kNoFile) {
    CloseFile(file);  // nothing was written: its close loses nothing
    return "";
  }
  if ((errno == EACCES || errno == EPERM) &&
      (status.permissions() & kWriteBits) == fs::perms::none) {
    return "it is read-only; make it writable and run the setup again";
  }
  return Reason();
}

// Finds the file and, once it is known that it may be replaced, reads it
// into *old. *exists is false if there is none; *keep_old is true if it must
// be kept, and then the place of its copy is checked too.
bool LookAtOld(FileReplacement* replacement, std::string* old, bool* exists,
               bool* keep_old, std::string* err) {
  if (!FollowLinks(replacement, err)) return false;
  const std::string why = WhyNotReplaceable(replacement->path, exists);
  if (!why.empty()) return CannotWrite(replacement->name, why, err);
  if (*exists && !ReadWholeFile(replacement->path, old)) {
    if (errno != ENOENT) {
      return Fail("cannot read " + replacement->name + ": " + Reason(), err);
    }
    *exists = false;  // removed meanwhile
  }
  *keep_old = *exists && !replacement->is_rewritable(*old);
  if (!*keep_old) return true;
  // Its copy takes the place of any older copy, which must be a file that
  // can be replaced.
  bool backup_exists = false;
  const std::string backup_why =
      WhyNotReplaceable(BackupOf(replacement->path), &backup_exists);
  return backup_why.empty() || CannotKeep(*replacement, backup_why, err);
}

// Returns true if the file can be written in place where the folder refused
// a new file with `error`: a program that opens it for writing can still do
// that, but no copy of an old file that must be kept can be made there.
bool MayWriteInPlace(const FileReplacement& replacement, bool exists,
                     bool keep_old, int error, std::string* err) {
  const std::string folder = FolderOf(replacement.path);
  if (!exists || (error != EACCES && error != EPERM)) {
    return Fail(
        "cannot write in the folder " + folder + ": " + std::strerror(error),
        err);
  }
  if (!keep_old) return true;
  return Fail("cannot keep a copy of the previous " + replacement.name +
                  " in the folder " + folder + ": " + std::strerror(error) +
                  "; it is left as it was",
              err);
}

// A file that passed the checks but refuses to be replaced is held for a
// moment by another program, such as a virus scanner or a search indexer:
// it is waited for, about two seconds, as Windows programs do.
bool RenameWhenFree(TempFile* temp, const fs::path& target) {
  for (int pause_ms = 15;; pause_ms *= 2) {
    if (temp->RenameOver(target)) return true;
    if (errno != EBUSY || pause_ms > 1000) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
  }
}

// Writes the file itself, as a program that opens it for writing does, where
// the folder takes no new file. Signals wait meanwhile, and should the
// write fail, the old content goes back; only a power cut or SIGKILL in
// these microseconds can leave a mix of both.
bool WriteInPlace(const FileReplacement& replacement, std::string_view content,
                  const std::string& old, std::string* err) {
  const OsFile file = OpenForWriting(replacement.path);
  if (file == kNoFile) return CannotWrite(replacement.name, Reason(), err);
  BeginCommit();
  const bool written = WriteWhole(file, content) && SyncFile(file);
  const std::string why = Reason();
  const bool restored = written || (WriteWhole(file, old) && SyncFile(file));
  CloseFile(file);  // synced, or failed already: its close changes nothing
  if (written) return true;
  if (restored) return CannotWrite(replacement.name, why, err);
  return CannotWrite(replacement.name,
                     why + "; it may be incomplete: run the setup again", err);
}

// Writes the new file and puts it in place; if `keep_old`, a synced copy of
// `old` goes in place as the backup right after.
bool Commit(FileReplacement* replacement, std::string_view content,
            const std::string& old, bool exists, bool keep_old, TempFile* temp,
            TempFile* copy, std::string* err) {
  const std::string& name = replacement->name;
  const fs::path& path = replacement->path;
  if (!temp->Create(path)) {
    return MayWriteInPlace(*replacement, exists, keep_old, errno, err) &&
           WriteInPlace(*replacement, content, old, err);
  }
  // An old file that has gone meanwhile leaves a new file as any other.
  if (exists && !CopyOwnerAndMode(temp->file(), path) && errno != ENOENT) {
    return CannotWrite(name, Reason(), err);
  }
  if (!temp->Write(content)) return CannotWrite(name, Reason(), err);
  if (!temp->SyncAndClose()) {
    return Fail("cannot save " + name + " to the disk: " + Reason(), err);
  }
  const fs::path backup = BackupOf(path);
  if (keep_old && (!copy->Create(backup) ||
                   (!CopyOwnerAndMode(copy->file(), path) && errno != ENOENT) ||
                   !copy->Write(old) || !copy->SyncAndClose())) {
    return CannotKeep(*replacement, Reason(), err);
  }
  BeginCommit();
  if (!RenameWhenFree(temp, path)) {
    if (errno == EBUSY) return CannotWrite(name, Reason(), err);
    return Fail("cannot put the new " + name + " in place: " + Reason(), err);
  }
  if (keep_old) {
    if (!copy->RenameOver(backup)) {
      const std::string why = Reason();
      // The old content goes back where it was rather than be lost.
      const std::string copy_name = copy->path().u8string();
      if (copy->RenameOver(path)) {
        return CannotKeep(*replacement, why + "; " + name + " is as it was",
                          err);
      }
      copy->Release();
      return CannotKeep(*replacement, why + "; it is in " + copy_name, err);
    }
    replacement->kept_as = backup.u8string();
  }
  // The file is in place whatever the folder's sync says.
  if (!SyncFolderOf(path)) {
    replacement->warning =
        name + " is in place, but the disk reported an error: " + Reason();
  }
  return true;
}

}  // namespace

std::string FileErrorReason(int error) {
  if (error == EBUSY || error == ETXTBSY) {
    return "it is in use by another program; close it (the game?) and run "
           "the setup again";
  }
  if (error == EISDIR) return "it is a folder, not a file";
  if (error == ENODEV) return "it is not a regular file";
  return std::strerror(error);
}

bool ReadWholeFile(const fs::path& path, std::string* content) {
  content->clear();
  content->shrink_to_fit();
  std::uint64_t size = 0;
  const OsFile file = OpenForReading(path, &size);
  if (file == kNoFile) return false;
  // One allocation for the file as it is, and one read; a file that grows
  // meanwhile is read to its end all the same.
  content->resize(size + 1);
  long long got = 0;
  for (size_t have = 0;; have += static_cast<size_t>(got)) {
    if (have == content->size()) content->resize(have * 2);
    got = ReadSome(file, &(*content)[have], content->size() - have);
    if (got <= 0) {
      content->resize(have);
      break;
    }
  }
  const int saved_errno = errno;
  CloseFile(file);  // read only: its failure loses nothing
  errno = saved_errno;
  return got == 0;
}

bool CheckReplace(FileReplacement* replacement, std::string* err) {
  std::string old;
  bool exists = false;
  bool keep_old = false;
  if (!LookAtOld(replacement, &old, &exists, &keep_old, err)) return false;
  // The folder must take a new file: one is made and removed at once.
  TempFile probe;
  if (!probe.Create(replacement->path)) {
    return MayWriteInPlace(*replacement, exists, keep_old, errno, err);
  }
  const std::string probe_name = probe.path().u8string();
  return probe.Remove() ||
         Fail("cannot remove " + probe_name + ": " + Reason(), err);
}

bool FinishReplace(FileReplacement* replacement, std::string_view content,
                   std::string* err) {
  // Judged again on what the file holds now: it may have been edited while
  // the questions were asked.
  std::string old;
  bool exists = false;
  bool keep_old = false;
  if (!LookAtOld(replacement, &old, &exists, &keep_old, err)) return false;
  TempFile temp;
  TempFile copy;
  if (Commit(replacement, content, old, exists, keep_old, &temp, &copy, err)) {
    return true;
  }
  for (TempFile* made : {&temp, &copy}) {
    const std::string made_name = made->path().u8string();
    if (!made->Remove()) *err += "; " + made_name + " is left: " + Reason();
  }
  return false;
}
