#ifndef SETUP_PLACES_H_
#define SETUP_PLACES_H_

#include <filesystem>

// The places a run is judged by: where it works, and on Windows where the
// program itself is, the user's temporary folder, the Windows folder and the
// copies Windows keeps for older programs. Elsewhere those are nothing, or
// false.

// Returns the folder the program works in, in full, however long; if it has
// no name, words that say why.
std::filesystem::path CurrentFolder();

// Returns the program's own file on Windows; elsewhere, where nothing asks
// for it, an empty path.
std::filesystem::path ProgramFile();

// Returns true if `folder` is the one that holds the program itself.
bool IsProgramsFolder(const std::filesystem::path& folder);

// Returns true if `folder` is in the user's temporary folder, where Windows
// runs a program started from inside a zip.
bool IsInTemporaryFolder(const std::filesystem::path& folder);

// Returns true if `folder` is the Windows folder or in it, where some
// elevated starts put a program.
bool IsInWindowsFolder(const std::filesystem::path& folder);

// Returns true if `folder` is under Program Files, where only an
// administrator may write.
bool IsInProgramFiles(const std::filesystem::path& folder);

// Returns the copy of `file` that Windows keeps in the user's VirtualStore
// for older programs, which read it instead of the file; nothing if there is
// none.
std::filesystem::path VirtualStoreCopy(const std::filesystem::path& file);

#endif  // SETUP_PLACES_H_
