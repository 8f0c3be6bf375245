#include "setup/places.h"

namespace fs = std::filesystem;

fs::path CurrentFolder() {
  std::error_code ec;
  fs::path folder = fs::current_path(ec);
  if (!ec) return folder;
  // A folder deleted while the program was started in it has no name left,
  // but Linux keeps the one it had, with " (deleted)" after it.
  folder = fs::read_symlink("/proc/self/cwd", ec);
  return ec ? "the current folder (deleted)" : folder;
}

// What only Windows has.
fs::path ProgramFile() { return {}; }
bool IsProgramsFolder(const fs::path& /*folder*/) { return false; }
bool IsInTemporaryFolder(const fs::path& /*folder*/) { return false; }
bool IsInWindowsFolder(const fs::path& /*folder*/) { return false; }
bool IsInProgramFiles(const fs::path& /*folder*/) { return false; }
fs::path VirtualStoreCopy(const fs::path& /*file*/) { return {}; }
