#ifndef REPLACE_REPLACE_FILE_H_
#define REPLACE_REPLACE_FILE_H_

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

// A file replaced as a whole: the new content goes to a temporary file
// beside it, which is synced and renamed over the old one only once
// complete. Readers, and a run that is interrupted or fails, find either the
// old file or the new one, never a part of either.

// Returns true for content the caller can write again at will, which is
// therefore replaced without keeping a copy.
using IsRewritable = bool (*)(std::string_view content);

// The file to replace, as the caller names it, and what its replacement
// found and did. Links are followed anew by each call below.
struct FileReplacement {
  FileReplacement(std::string name_in, IsRewritable is_rewritable_in)
      : name(std::move(name_in)), is_rewritable(is_rewritable_in) {}

  std::string name;  // as the user knows it, for messages
  IsRewritable is_rewritable;
  std::filesystem::path path;  // the file replaced: name with links followed
  std::string kept_as;         // where the old content was kept, if it was
  std::string warning;         // a failure that did not stop the run
};

// Checks that the file can be replaced, leaving nothing behind, so that a
// run which cannot write it says so before it asks anything. On failure
// returns false with the message in *err.
bool CheckReplace(FileReplacement* replacement, std::string* err);

// Puts `content` in place of the file. An old file that is not rewritable is
// kept under its name with ".bak" added, put there in the same step, and
// kept_as says so. Where the folder takes no new file, a rewritable old file
// is written in place. On failure returns false with the message in *err,
// removes what it made and leaves the old file, and any older backup, as
// they were.
bool FinishReplace(FileReplacement* replacement, std::string_view content,
                   std::string* err);

// Reads the whole of the file at `path` into *content, which holds nothing
// else meanwhile. Returns false with the reason in errno; a folder fails with
// EISDIR, any other file that is not a regular one with ENODEV.
bool ReadWholeFile(const std::filesystem::path& path, std::string* content);

// Says why a file could not be used, in the user's terms where the system's
// words would mislead.
std::string FileErrorReason(int error);

#endif  // REPLACE_REPLACE_FILE_H_
