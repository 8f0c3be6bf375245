#ifndef REPLACE_REPLACE_FILE_H_
#define REPLACE_REPLACE_FILE_H_

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "replace/file_system.h"

// A file being replaced as a whole: the new content goes to a temporary file
// beside it, which is synced and renamed over the old one only once complete.
// Readers, and a run that is interrupted or fails, find either the old file
// or the new one, never a part of either. The temporary file goes with the
// object, whatever way the run leaves.
struct FileReplacement {
  std::string name;            // as the user knows it, for messages
  std::filesystem::path path;  // the file replaced: name with links followed
  TempFile temp;
  std::string kept_as;  // where the old content was kept, if it was
};

// Checks that the file `name` may be replaced and creates its temporary file.
// On failure returns false with the message in *err and leaves nothing
// behind.
bool BeginReplaceFile(const std::string& name, FileReplacement* replacement,
                      std::string* err);

// Returns true if the old content must be kept before it is replaced; false
// for content that the caller can write again at will.
using NeedsBackup = std::function<bool(std::string_view old_content)>;

// Writes `content`, syncs it and puts it in place of the old file. An old file
// whose content `needs_backup` is kept under its name with ".bak" added, put
// there in the same step, and kept_as says so. On failure returns false with
// the message in *err, removes what it made and leaves the old file, and any
// older backup, as they were.
bool FinishReplaceFile(FileReplacement* replacement, std::string_view content,
                       const NeedsBackup& needs_backup, std::string* err);

// Says why a file could not be used, in the user's terms where the system's
// words would mislead.
std::string FileErrorReason(int error);

#endif  // REPLACE_REPLACE_FILE_H_
