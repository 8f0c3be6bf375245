#include "replace/temp_file.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>

#include "replace/interruptions.h"

namespace fs = std::filesystem;

namespace {

constexpr char kChars[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// A random suffix of six letters or digits. The name only has to be new:
// the file is created exclusively, so a guessed name costs another try,
// never a planted file. No system call, so none can fail here.
std::string NewSuffix() {
  static std::uint64_t state =
      static_cast<std::uint64_t>(
          std::chrono::steady_clock::now().time_since_epoch().count()) ^
      reinterpret_cast<std::uintptr_t>(&state);
  state = state * 6364136223846793005ULL + 1442695040888963407ULL;
  std::string suffix(6, ' ');
  std::uint64_t number = state >> 16;
  for (char& c : suffix) {
    c = kChars[number % (sizeof kChars - 1)];
    number /= sizeof kChars - 1;
  }
  return suffix;
}

}  // namespace

int TempFile::Create(const fs::path& target) {
  Remove();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path path = target;
    path += "." + NewSuffix();
    // Made and registered in one step, as the handler sees them.
    const DeferredInterruptions deferred;
    const int error = CreateNewFile(path, &file_);
    if (error == EEXIST) continue;
    if (error != 0) return error;
    slot_ = RegisterForRemoval(path);
    path_ = std::move(path);
    return 0;
  }
  return EEXIST;
}

int TempFile::SyncAndClose() {
  const int error = SyncFile(file_);
  file_.Close();  // synced, or failed already: its close changes nothing
  return error;
}

int TempFile::Remove() {
  file_.Close();
  int error = path_.empty() ? 0 : RemoveFile(path_.c_str());
  if (error == ENOENT) error = 0;
  Release();
  return error;
}

void TempFile::Release() {
  file_.Close();
  Unregister(slot_);
  slot_ = -1;
  path_.clear();
}
