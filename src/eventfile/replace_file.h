#ifndef EVENTFILE_REPLACE_FILE_H_
#define EVENTFILE_REPLACE_FILE_H_

#include <filesystem>
#include <string>
#include <string_view>

#include "eventfile/temp_file.h"

// A file being replaced as a whole: the new content goes to a temporary file
// beside it, which is synced and renamed over the old one only once complete.
// Readers, and a run that is interrupted or fails, find either the old file
// or the new one, never a part of either.
struct FileReplacement {
  std::string name;            // as the user knows it, for messages
  std::filesystem::path path;  // the file replaced: name with links followed
  TempFile temp;
};

// Checks that the file `name` may be replaced and creates its temporary file.
// On failure returns false with the reason in *err and leaves nothing behind.
bool BeginReplaceFile(const std::string& name, FileReplacement* replacement,
                      std::string* err);

// Writes `content`, syncs it and puts it in place of the old file. On failure
// returns false with the reason in *err, removes the temporary file and
// leaves the old file as it was.
bool FinishReplaceFile(FileReplacement* replacement, std::string_view content,
                       std::string* err);

// Reads the whole of the file at `path` into *content. On failure returns
// false with the reason in errno.
bool ReadWholeFile(const std::filesystem::path& path, std::string* content);

#endif  // EVENTFILE_REPLACE_FILE_H_
