#ifndef REPLACE_REPLACE_FILE_H_
#define REPLACE_REPLACE_FILE_H_

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "replace/errors.h"

// A file replaced as a whole: the new content goes to a temporary file
// beside it, which is synced and renamed over the old one only once
// complete. A folder that takes no new file is refused, so readers, and a
// run that fails or is interrupted, find the old file or the new one. Only
// what ends a process at once (SIGKILL, a crash of its own, a power cut)
// leaves more: the temporary files, FILE.XXXXXX and, where the old file is
// kept, its copy FILE.bak.XXXXXX, the copy even once the new file is in
// place.

// Returns true for content that may be replaced without keeping a copy.
using MayReplaceWithoutCopy = bool (*)(std::string_view content);

// The steps of a replace, as a failure names them.
enum class Step {
  kLook,          // finding the file, links followed, and opening it
  kRead,          // reading what it holds
  kLookAtBackup,  // the place of the copy of an old file that is kept
  kMakeFile,      // making a file in the folder
  kWrite,         // writing the new file, its owner and mode included
  kSync,          // syncing it to the disk
  kPutInPlace,    // renaming it over the old one
  kKeepOld,       // writing the copy of the old file and renaming it
  kRestore,       // the old content renamed back after that failed
  kSyncFolder,    // syncing the folder, once the file is in place
  kRemove,        // removing a file of the program's own
};

// What failed: the step, the file it was about, and the error; then what
// undoing it found. A kRestore with error 0 means the old content is back.
struct Failure {
  Step step;
  std::filesystem::path file;
  int error = 0;  // an errno value, or one of errors.h
  std::vector<Failure> then = {};
};

// What a replace did, or, from CheckReplace, what it would meet.
struct Replaced {
  std::optional<Failure> failure = {};  // why the file was not replaced
  std::optional<Failure> warning = {};  // what failed once it was in place
  bool existed = false;                 // there was an old file
  std::filesystem::path kept_as = {};   // where the old content went, if kept
};

// Checks that the file `name` can be replaced, links followed, leaving
// nothing behind, so that a run which cannot write it says so before it
// asks anything.
Replaced CheckReplace(const std::filesystem::path& name,
                      MayReplaceWithoutCopy without_copy);

// Puts `content` in place of the file `name`, links followed. An old file
// whose content `without_copy` does not allow is kept under its name with
// ".bak" added, put there in the same step. On failure it removes what it made
// and leaves the old file, and any older backup, as they were. A file made by
// someone else in the moment between the look and the rename is replaced
// unseen.
Replaced ReplaceWholeFile(const std::filesystem::path& name,
                          std::string_view content,
                          MayReplaceWithoutCopy without_copy);

// Reads the whole of the file at `path` into *content, which holds nothing
// else meanwhile; returns the error. A folder is EISDIR, any other file that
// is not a regular one kNotRegular.
int ReadWholeFile(const std::filesystem::path& path, std::string* content);

#endif  // REPLACE_REPLACE_FILE_H_
