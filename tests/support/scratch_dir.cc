#include "support/scratch_dir.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  static std::atomic<unsigned> count{0};
  std::random_device random;
  for (;;) {
    root_ = fs::temp_directory_path() /
            ("velmoria-test-" + std::to_string(random()) + "-" +
             std::to_string(count++));
    if (fs::create_directory(root_)) break;
  }
  fs::create_directory(scenario());
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // A test may have left a folder without write permission behind.
  fs::permissions(scenario(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(root_, ec);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::vector<std::string> ListDir(const fs::path& dir) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}
