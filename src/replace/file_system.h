#ifndef REPLACE_FILE_SYSTEM_H_
#define REPLACE_FILE_SYSTEM_H_

#include <filesystem>
#include <string>
#include <string_view>

// The file calls whose spelling differs between POSIX and Windows, kept here
// so the rest of the program reads the same on both: the files a replacement
// makes beside the one it replaces, what keeps an interruption (a signal; on
// Windows Ctrl-C, Ctrl-Break or a closed console window) from leaving them
// behind, and the checks made before. Each call that can fail returns false
// with the reason in errno.

// A file of the program's own under a unique name beside the file it is meant
// to replace. It is removed when the object goes, and when the process is
// interrupted, unless it was renamed into place first.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile() { Remove(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates a new, empty file open for writing, named after `target` with a
  // unique suffix, and exclusively, so that it can be neither shared with
  // another run nor planted beforehand. It gets the permission bits of
  // `like`, and where allowed its owner and group, if `like` exists; else
  // those of any new file.
  bool Create(const std::filesystem::path& target,
              const std::filesystem::path& like);

  // Gives the existing file `existing` a second name, named after `target`
  // with a unique suffix (a hard link): the same file, under a name of ours.
  bool CreateLink(const std::filesystem::path& existing,
                  const std::filesystem::path& target);

  // Writes all of `data` to the end of the file.
  bool Write(std::string_view data);

  // Flushes the file to the disk and closes it.
  bool SyncAndClose();

  // Renames the closed file over `target`, replacing it in one step; from
  // then on the file is no longer ours to remove. Called after BeginCommit.
  bool RenameOver(const std::filesystem::path& target);

  // Closes and removes the file if it is still ours, keeping errno.
  void Remove();

  // Gives the file up without removing it.
  void Release();

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  int slot_ = -1;         // where the interruption handler finds it
  bool is_link_ = false;  // a second name of an existing file
};

// Marks the start of the renames that end a replacement. From here to the
// end of the process interruptions wait, so that a run whose file is in
// place finishes as a success. Returns false if the run was interrupted
// already (on Windows, where that news comes on a thread of its own).
bool BeginCommit();

// Returns true once an interruption has removed the temporary files and
// stopped the replacement; the run then ends as interrupted.
bool ReplaceInterrupted();

// Returns a short random text for names that must not clash.
std::string RandomSuffix();

// Reads the whole of the file at `path` into *content. A folder fails with
// EISDIR, any other file that is not a regular one with ENODEV.
bool ReadWholeFile(const std::filesystem::path& path, std::string* content);

// Returns true if the existing file `path` could be opened for writing; does
// not change it. EBUSY means that another program holds it open.
bool CanWriteFile(const std::filesystem::path& path);

// Returns false for a link that the system's own guard would not follow: one
// in a sticky folder that others may write, owned by neither the user nor the
// folder's owner, and so possibly planted by another user.
bool MayFollowLink(const std::filesystem::path& link);

// Makes the renames done in the folder holding `file` last through a power
// cut. A file system that cannot do that is not an error.
void SyncFolderOf(const std::filesystem::path& file);

#endif  // REPLACE_FILE_SYSTEM_H_
