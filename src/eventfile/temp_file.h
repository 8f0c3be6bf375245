#ifndef EVENTFILE_TEMP_FILE_H_
#define EVENTFILE_TEMP_FILE_H_

#include <filesystem>
#include <string_view>

// The file calls whose spelling differs between POSIX and Windows, kept here
// so the rest of the program reads the same on both. Each call that can fail
// returns false and leaves the reason in errno.

// A new file open for writing, removed again if the process is interrupted
// (Ctrl-C, a closed terminal, a kill) before it is renamed into place.
struct TempFile {
  std::filesystem::path path;
  int fd = -1;
};

// Returns true if the existing file `path` could be opened for writing; does
// not change it.
bool CanWriteFile(const std::filesystem::path& path);

// Creates a file beside `target`, named after it with a unique suffix, and
// exclusively, so that it can be neither shared with another run nor planted
// beforehand. It gets the permission bits of `target` if that exists, else
// those of any new file.
bool CreateTempFile(const std::filesystem::path& target, TempFile* file);

// Writes all of `data` to the end of the file.
bool WriteTempFile(const TempFile& file, std::string_view data);

// Flushes the file to the disk and closes it.
bool SyncAndCloseTempFile(TempFile* file);

// Renames the closed file over `target`, replacing it in one step; from then
// on an interrupt leaves it alone.
bool RenameTempFile(TempFile* file, const std::filesystem::path& target);

// Closes and removes the file, keeping errno as it was.
void RemoveTempFile(TempFile* file);

#endif  // EVENTFILE_TEMP_FILE_H_
