#ifndef REPLACE_TEMP_FILE_H_
#define REPLACE_TEMP_FILE_H_

#include <filesystem>
#include <string_view>

#include "replace/file_system.h"

// A file of the program's own under a unique name beside the file it is
// meant to replace. It is removed when the object goes, and when the process
// is interrupted, unless it was renamed into place first. Each call that can
// fail returns false with the reason in errno.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile() { Remove(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates a new, empty file open for writing, named after `target` with a
  // unique suffix, and exclusively, so that it can be neither shared with
  // another run nor planted beforehand.
  bool Create(const std::filesystem::path& target);

  // Writes `data` as the whole file.
  bool Write(std::string_view data) { return WriteWhole(file_, data); }

  // Flushes the file to the disk and closes it. Once it is synced, a failed
  // close loses nothing.
  bool SyncAndClose();

  // Renames the closed file over `target`; from then on it is no longer ours
  // to remove.
  bool RenameOver(const std::filesystem::path& target);

  // Closes and removes the file if it is still ours. Returns false, with the
  // reason in errno, if its name is left behind.
  bool Remove();

  // Gives the file up without removing it.
  void Release();

  OsFile file() const { return file_; }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  OsFile file_ = kNoFile;
  int slot_ = -1;  // where the interruption handler finds the name
};

// Removes every temporary file still ours; called by the interruption
// handler, and safe there.
void RemoveTempFiles();

#endif  // REPLACE_TEMP_FILE_H_
