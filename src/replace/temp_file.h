#ifndef REPLACE_TEMP_FILE_H_
#define REPLACE_TEMP_FILE_H_

#include <filesystem>

#include "replace/file_system.h"

// A file of the program's own under a unique name beside the file it is
// meant to replace. Its owner removes it, and so does an interruption, until
// it is renamed into place and released.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile() { Remove(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates a new, empty file open for writing, named after `target` with a
  // random suffix of six letters or digits, and exclusively, so that it can
  // be neither shared with another run nor planted beforehand. Returns the
  // error.
  int Create(const std::filesystem::path& target);

  const File& file() const { return file_; }
  const std::filesystem::path& path() const { return path_; }

  // Flushes the file to the disk and closes it; returns the error.
  int SyncAndClose();

  // Closes and removes the file if it is still ours; returns the error if
  // its name is left behind.
  int Remove();

  // Gives the name up without removing it: it has been renamed into place.
  void Release();

 private:
  std::filesystem::path path_;
  File file_;
  int slot_ = -1;  // where the interruption handler finds the name
};

#endif  // REPLACE_TEMP_FILE_H_
