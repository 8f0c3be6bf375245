#ifndef REPLACE_FILE_SYSTEM_H_
#define REPLACE_FILE_SYSTEM_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// The file calls whose spelling differs between POSIX and Windows, and what
// keeps an interruption (a signal; on Windows Ctrl-C, Ctrl-Break or a closed
// console window) from leaving the program's files behind. Nothing here
// decides anything: each call that can fail returns false, or kNoFile, with
// the reason in errno.

// An open file: a descriptor on POSIX, a HANDLE on Windows.
using OsFile = std::intptr_t;
constexpr OsFile kNoFile = -1;

// Creates the file `path`, which must not exist yet, empty and open for
// writing, with what any new file gets.
OsFile CreateNewFile(const std::filesystem::path& path);

// Opens the existing file `path` for writing without changing it, sharing it
// with everyone; on Windows also with the access a rename over it needs.
// EBUSY means that another program holds it.
OsFile OpenForWriting(const std::filesystem::path& path);

// Writes all of `data` from the start of the file and cuts it there.
bool WriteWhole(OsFile file, std::string_view data);

// Flushes the file to the disk.
bool SyncFile(OsFile file);

bool CloseFile(OsFile file);

// Gives `file` the permission bits, and where allowed the owner and group,
// of the existing file `like`.
bool CopyOwnerAndMode(OsFile file, const std::filesystem::path& like);

// Renames `from` over `to`, replacing it in one step. EBUSY means that `to`
// is held by another program.
bool RenameFile(const std::filesystem::path& from,
                const std::filesystem::path& to);

// Removes the name; safe in a signal handler.
bool RemoveFile(const std::filesystem::path::value_type* name);

// Opens the existing file `path` for reading and puts its size in *size. A
// folder fails with EISDIR, any other file that is not a regular one with
// ENODEV.
OsFile OpenForReading(const std::filesystem::path& path, std::uint64_t* size);

// Reads at most `size` bytes; returns how many, 0 at the end, -1 on failure.
long long ReadSome(OsFile file, char* data, size_t size);

// Sets *may to false for a link that the system's own guard would not
// follow: one in a sticky folder that others may write, owned by neither the
// user nor the folder's owner, and so possibly planted by another user.
bool MayFollowLink(const std::filesystem::path& link, bool* may);

// Makes the renames done in the folder holding `file` last through a power
// cut. A folder that cannot be synced at all (one the user may not read, a
// file system without the call) is no failure.
bool SyncFolderOf(const std::filesystem::path& file);

// Arms the handlers that remove the program's files when it is interrupted,
// and then end it as the interruption would. Called once, at the start,
// before any of the calls below.
void HandleInterruptions();

// Hold interruptions off, so that the handler never sees a file half made
// or half registered; and let them come again.
void HoldInterruptions();
void ReleaseInterruptions();

// Marks the start of the step that puts a new file in place. From here to
// the end of the process interruptions wait, so that a run whose file is in
// place finishes as a success.
void BeginCommit();

#endif  // REPLACE_FILE_SYSTEM_H_
