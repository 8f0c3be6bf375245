#ifndef SUPPORT_SCRATCH_DIR_H_
#define SUPPORT_SCRATCH_DIR_H_

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// A new folder under the system's temporary folder, removed with all it holds
// when the test ends, or when the tests are interrupted by a signal. It holds
// `scenario/`, an empty folder to run the program in, and leaves room beside it
// for the test's own files.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path scenario() const { return root_ / "scenario"; }
  std::filesystem::path events_file() const {
    return scenario() / "events.txt";
  }

 private:
  std::filesystem::path root_;
};

// Returns the whole content of a file, byte for byte; empty if it is missing.
std::string ReadFile(const std::filesystem::path& path);

// Replaces the content of a file with `content`, byte for byte.
void WriteFile(const std::filesystem::path& path, std::string_view content);

// Returns the names of the entries of a folder, sorted.
std::vector<std::string> ListDir(const std::filesystem::path& dir);

#endif  // SUPPORT_SCRATCH_DIR_H_
