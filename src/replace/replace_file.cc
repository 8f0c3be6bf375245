#include "replace/replace_file.h"

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>
#include <utility>

#include "replace/file_system.h"
#include "replace/interruptions.h"
#include "replace/temp_file.h"

namespace fs = std::filesystem;

namespace {

// The system's own limit on links in a row.
constexpr int kMaxLinks = 40;

constexpr fs::perms kWriteBits =
    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;

// The file to replace, as it was when looked at.
struct OldFile {
  fs::path path;  // the file itself: the name with links followed
  bool exists = false;
  bool keep = false;    // a copy goes to its backup
  std::string content;  // what it held
  FileInfo info;        // its permission bits, owner and group
};

// What a replace makes; removed by their owners unless put in place.
struct NewFiles {
  TempFile file;  // the new content
  TempFile copy;  // the old content, where it is kept
};

fs::path BackupOf(const fs::path& file) {
  fs::path backup = file;
  return backup += ".bak";
}

fs::path FolderOf(const fs::path& file) {
  return file.has_parent_path() ? file.parent_path() : ".";
}

// The errno value of an error from std::filesystem, which on Windows may
// hold the system's own number.
int ErrnoOf(const std::error_code& ec) {
  return ec.default_error_condition().value();
}

// Follows links from `name` to the file in *path, so that a link stays a
// link and its target receives the new content, as when a file is written
// in place.
std::optional<Failure> FollowLinks(const fs::path& name, fs::path* path) {
  *path = name;
  for (int links = 0;; ++links) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(*path, ec);
    // Only "not there" means no link; any other error is the run's failure.
    if (ec && status.type() != fs::file_type::not_found) {
      return Failure{Step::kLook, *path, ErrnoOf(ec)};
    }
    if (!fs::is_symlink(status)) return std::nullopt;
    if (links == kMaxLinks) return Failure{Step::kLook, name, ELOOP};
    if (const int error = CheckLinkOwner(*path)) {
      return Failure{Step::kLook, *path, error};
    }
    const fs::path to = fs::read_symlink(*path, ec);
    if (ec) return Failure{Step::kLook, *path, ErrnoOf(ec)};
    *path = path->parent_path() / to;  // an absolute target replaces the whole
  }
}

// Tells a read-only file, the user's choice, from one refused otherwise.
int WhyNotReplaceable(const fs::path& path, int error) {
  std::error_code ec;
  const bool read_only =
      (error == EACCES || error == EPERM) &&
      (fs::status(path, ec).permissions() & kWriteBits) == fs::perms::none;
  return read_only ? kReadOnly : error;
}

// Reads the whole of `file` into *content, which holds nothing else
// meanwhile, to its end: a file that grows meanwhile is read whole too.
int ReadAll(const File& file, std::string* content) {
  content->clear();
  char chunk[65536];
  for (size_t got = 0;; content->append(chunk, got)) {
    if (const int error = ReadSome(file, chunk, sizeof chunk, &got)) {
      return error;
    }
    if (got == 0) return 0;
  }
}

// Finds the file and reads it. A file that is there must be one that can be
// replaced: a regular file that can be written and that no other program
// holds. A read-only file is the user's choice, and a folder or a device is
// not ours to swap for a file. One that must be kept needs a place for its
// copy too.
std::optional<Failure> LookAtOld(const fs::path& name,
                                 MayReplaceWithoutCopy without_copy,
                                 OldFile* old) {
  if (std::optional<Failure> failure = FollowLinks(name, &old->path)) {
    return failure;
  }
  File file;
  int error = OpenExisting(old->path, Access::kReplace, &file, &old->info);
  if (error == ENOENT) return std::nullopt;
  if (error != 0) {
    return Failure{Step::kLook, old->path, WhyNotReplaceable(old->path, error)};
  }
  old->exists = true;
  if ((error = ReadAll(file, &old->content)) != 0) {
    return Failure{Step::kRead, old->path, error};
  }
  old->keep = !without_copy(old->content);
  // The copy takes the place of any older one, which must be replaceable.
  const fs::path backup = BackupOf(old->path);
  File older;
  FileInfo older_info;
  error = old->keep
              ? OpenExisting(backup, Access::kReplace, &older, &older_info)
              : 0;
  if (error != 0 && error != ENOENT) {
    return Failure{Step::kLookAtBackup, backup,
                   WhyNotReplaceable(backup, error)};
  }
  return std::nullopt;
}

// Makes a file of the program's own beside `target` holding `content`, with
// the old file's owner and mode, and syncs it; returns the step that failed
// and its error, 0 if none did.
Failure WriteBeside(TempFile* file, const fs::path& target,
                    std::string_view content, const OldFile& old) {
  int error = file->Create(target);
  if (error != 0) return {Step::kMakeFile, target, error};
  if (old.exists) error = SetOwnerAndMode(file->file(), old.info);
  if (error == 0) error = WriteAll(file->file(), content);
  if (error != 0) return {Step::kWrite, target, error};
  return {Step::kSync, target, file->SyncAndClose()};
}

// A file that passed the checks but refuses to be replaced is held for a
// moment by another program, such as a virus scanner or a search indexer:
// it is waited for, about two seconds, as Windows programs do.
int RenameWhenFree(const fs::path& from, const fs::path& to) {
  for (int pause_ms = 15;; pause_ms *= 2) {
    const int error = RenameOver(from, to);
    if ((error != EBUSY && error != kInUse) || pause_ms > 1000) return error;
    std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
  }
}

// Makes the renames in the folder of `file` last. A folder that cannot be
// synced at all (one the user may not read, a file system without the call)
// is no failure.
std::optional<Failure> SyncFolderOf(const fs::path& file) {
  const int error = SyncFolder(FolderOf(file));
  if (error == 0 || error == EACCES || error == EPERM || error == EINVAL ||
      error == ENOTSUP || error == EROFS) {
    return std::nullopt;
  }
  return Failure{Step::kSyncFolder, FolderOf(file), error};
}

// Renames the copy of the old content to the backup. Should that fail, the
// old content goes back in place of the new file rather than be lost.
std::optional<Failure> KeepOld(TempFile* copy, const OldFile& old) {
  const fs::path backup = BackupOf(old.path);
  const int error = RenameOver(copy->path(), backup);
  if (error == 0) {
    copy->Release();
    return std::nullopt;
  }
  Failure failure{Step::kKeepOld, backup, error};
  const int restored = RenameOver(copy->path(), old.path);
  failure.then.push_back({Step::kRestore, copy->path(), restored});
  copy->Release();  // renamed back, or the only place of the old content
  // The old content went back, or the new file stays: either way a rename
  // is to last.
  if (std::optional<Failure> unsynced = SyncFolderOf(old.path)) {
    failure.then.push_back(std::move(*unsynced));
  }
  return failure;
}

// Puts the new file in place and then the copy of the old one, if kept.
std::optional<Failure> PutInPlace(NewFiles* made, const OldFile& old) {
  const int error = RenameWhenFree(made->file.path(), old.path);
  if (error != 0) return Failure{Step::kPutInPlace, old.path, error};
  made->file.Release();
  if (old.keep) return KeepOld(&made->copy, old);
  return std::nullopt;
}

// Puts `content` in place of `old`: a new file and, where the old content is
// kept, its copy, renamed into place while interruptions are let go, and the
// folder synced. What it made is removed if it fails.
void Replace(const OldFile& old, std::string_view content, Replaced* replaced) {
  replaced->existed = old.exists;
  std::optional<Failure>& failure = replaced->failure;
  NewFiles made;
  if (Failure made_new = WriteBeside(&made.file, old.path, content, old);
      made_new.error != 0) {
    failure = std::move(made_new);
  } else if (old.keep) {
    const fs::path backup = BackupOf(old.path);
    const int error = WriteBeside(&made.copy, backup, old.content, old).error;
    if (error != 0) failure = Failure{Step::kKeepOld, backup, error};
  }
  if (!failure) {
    const IgnoredInterruptions ignored;
    failure = PutInPlace(&made, old);
    if (!failure) replaced->warning = SyncFolderOf(old.path);
  }
  if (!failure) {
    if (old.keep) replaced->kept_as = BackupOf(old.path);
    return;
  }
  for (TempFile* temp : {&made.file, &made.copy}) {
    const fs::path path = temp->path();
    if (const int error = temp->Remove()) {
      failure->then.push_back({Step::kRemove, path, error});
    }
  }
}

}  // namespace

int ReadWholeFile(const fs::path& path, std::string* content) {
  File file;
  FileInfo info;
  const int error = OpenExisting(path, Access::kRead, &file, &info);
  return error != 0 ? error : ReadAll(file, content);
}

Replaced CheckReplace(const fs::path& name,
                      MayReplaceWithoutCopy without_copy) {
  OldFile old;
  Replaced checked;
  checked.failure = LookAtOld(name, without_copy, &old);
  if (checked.failure) return checked;
  // The folder must take a new file: one is made and removed at once.
  TempFile probe;
  int error = probe.Create(old.path);
  const fs::path made = probe.path();
  if (error != 0) {
    checked.failure = Failure{Step::kMakeFile, old.path, error};
  } else if ((error = probe.Remove()) != 0) {
    checked.failure = Failure{Step::kRemove, made, error};
  }
  return checked;
}

Replaced ReplaceWholeFile(const fs::path& name, std::string_view content,
                          MayReplaceWithoutCopy without_copy) {
  // Looked at again: it may have been edited while the questions were asked.
  OldFile old;
  Replaced replaced;
  replaced.failure = LookAtOld(name, without_copy, &old);
  if (!replaced.failure) Replace(old, content, &replaced);
  return replaced;
}
