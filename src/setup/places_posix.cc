#include "setup/places.h"

namespace fs = std::filesystem;

fs::path CurrentFolder() {
  // The only folder without a name is one deleted while the program was
  // started in it.
  std::error_code ec;
  const fs::path folder = fs::current_path(ec);
  return ec ? "(deleted)" : folder;
}

// What only Windows has.
fs::path ProgramFile() { return {}; }
bool IsProgramsFolder(const fs::path& /*folder*/) { return false; }
bool IsInTemporaryFolder(const fs::path& /*folder*/) { return false; }
bool IsInWindowsFolder(const fs::path& /*folder*/) { return false; }
bool IsInProgramFiles(const fs::path& /*folder*/) { return false; }
fs::path VirtualStoreCopy(const fs::path& /*file*/) { return {}; }
