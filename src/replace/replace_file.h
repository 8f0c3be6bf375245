#ifndef REPLACE_REPLACE_FILE_H_
#define REPLACE_REPLACE_FILE_H_

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A file replaced as a whole: the new content goes to a temporary file
// beside it, which is synced and renamed over the old one only once
// complete. Readers, and a run that is interrupted or fails, find either the
// old file or the new one, never a part of either.

// Returns true for content the caller can write again at will, which is
// therefore replaced without keeping a copy.
using IsRewritable = bool (*)(std::string_view content);

// The steps of a replace, as a failure names them.
enum class Step {
  kLook,          // finding the file, links followed, and opening it
  kRead,          // reading what it holds
  kLookAtBackup,  // the place of the copy of an old file that is kept
  kMakeFile,      // making a file in the folder
  kMakeCopy,      // the same, where only the copy needs a new file
  kWrite,         // writing the new file, its owner and mode included
  kSync,          // syncing it to the disk
  kPutInPlace,    // renaming it over the old one
  kKeepOld,       // writing the copy of the old file and renaming it
  kRestore,       // the old content renamed back after that failed
  kWriteBack,     // the old content written back after writing in place
  kSyncFolder,    // syncing the folder, once the file is in place
  kRemove,        // removing a file of the program's own
};

// Errors of the replace's own; the system's, errno values, are positive.
enum : int {
  kInUse = -1,        // held by a program that shares it with nobody else
  kReadOnly = -2,     // its write permission is off: the user's choice
  kNotRegular = -3,   // a device, a FIFO, a socket or a link: not a file
  kLinkOfOther = -4,  // a link in a shared folder, owned by another user
};

// On Windows, an error the program has no errno value for: the system's
// number added to this, worded by the system.
constexpr int kWindowsError = 1 << 16;

// What failed: the step, the file it was about, and the error; then what
// undoing it found. A kRestore with error 0 means the old content is back.
struct Failure {
  Step step;
  std::filesystem::path file;
  int error = 0;  // an errno value, or one of the replace's own
  std::vector<Failure> then = {};
};

// What a replace did, or, from CheckReplace, what it would meet.
struct Replaced {
  std::optional<Failure> failure = {};  // why the file was not replaced
  std::optional<Failure> warning = {};  // what failed once it was in place
  bool existed = false;                 // there was an old file
  std::filesystem::path kept_as = {};   // where the old content went, if kept
  // What runs stopped before they could name or remove them left beside the
  // file: copies of an old file, and new files of content that is rewritable.
  std::vector<std::filesystem::path> stray_copies = {};
  std::vector<std::filesystem::path> stray_new_files = {};
};

// Checks that the file `name` can be replaced, links followed, leaving
// nothing behind, so that a run which cannot write it says so before it
// asks anything; and finds what stopped runs left.
Replaced CheckReplace(const std::filesystem::path& name,
                      IsRewritable is_rewritable);

// Puts `content` in place of the file `name`, links followed. An old file
// that is not rewritable is kept under its name with ".bak" added, put there
// in the same step. Where the folder takes no new file, a rewritable old file
// is written in place. On failure it removes what it made and leaves the old
// file, and any older backup, as they were. It finds what stopped runs left
// too.
Replaced ReplaceWholeFile(const std::filesystem::path& name,
                          std::string_view content, IsRewritable is_rewritable);

// Reads the whole of the file at `path` into *content, which holds nothing
// else meanwhile; returns the error. A folder is EISDIR, any other file that
// is not a regular one kNotRegular.
int ReadWholeFile(const std::filesystem::path& path, std::string* content);

#endif  // REPLACE_REPLACE_FILE_H_
