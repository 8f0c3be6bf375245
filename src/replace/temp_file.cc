#include "replace/temp_file.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>

namespace fs = std::filesystem;

namespace {

// A handler may only read plain memory, so the names of the files to remove
// are kept here as well: at most the new file and the copy of the old one.
// 32768 characters is the longest path Windows knows.
constexpr int kSlots = 2;
constexpr size_t kMaxName = 32768;
fs::path::value_type g_names[kSlots][kMaxName];
volatile std::sig_atomic_t g_armed[kSlots];

// Six letters or digits. The name only has to be new: the file is created
// exclusively, so a guessed name costs another try, never a planted file.
// No system call, so none can fail here.
std::string NewSuffix() {
  static constexpr char kChars[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  static unsigned long long state =
      static_cast<unsigned long long>(
          std::chrono::steady_clock::now().time_since_epoch().count()) ^
      reinterpret_cast<std::uintptr_t>(&state);
  std::string suffix(6, ' ');
  for (char& c : suffix) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    c = kChars[(state >> 33) % (sizeof kChars - 1)];
  }
  return suffix;
}

}  // namespace

void RemoveTempFiles() {
  for (int i = 0; i < kSlots; ++i) {
    if (g_armed[i]) RemoveFile(g_names[i]);
  }
}

bool TempFile::Create(const fs::path& target) {
  Remove();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path path = target;
    path += "." + NewSuffix();
    const fs::path::string_type& name = path.native();
    int slot = 0;
    while (slot < kSlots && g_armed[slot]) ++slot;
    if (name.size() >= kMaxName || slot == kSlots) {
      errno = ENAMETOOLONG;
      return false;
    }
    HoldInterruptions();
    file_ = CreateNewFile(path);
    if (file_ != kNoFile) {
      std::memcpy(g_names[slot], name.c_str(),
                  (name.size() + 1) * sizeof name[0]);
      g_armed[slot] = 1;
      slot_ = slot;
      path_ = std::move(path);
    }
    ReleaseInterruptions();
    if (file_ != kNoFile) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

bool TempFile::SyncAndClose() {
  const bool synced = SyncFile(file_);
  const int saved_errno = errno;
  CloseFile(file_);
  file_ = kNoFile;
  errno = saved_errno;
  return synced;
}

bool TempFile::RenameOver(const fs::path& target) {
  if (!RenameFile(path_, target)) return false;
  Release();
  return true;
}

bool TempFile::Remove() {
  const int saved_errno = errno;
  // Windows lets an open file of ours be removed: it goes as it is closed.
  const bool removed =
      path_.empty() || RemoveFile(path_.c_str()) || errno == ENOENT;
  const int remove_errno = errno;
  Release();
  errno = removed ? saved_errno : remove_errno;
  return removed;
}

void TempFile::Release() {
  if (file_ != kNoFile) CloseFile(file_);
  file_ = kNoFile;
  if (slot_ >= 0) g_armed[slot_] = 0;
  slot_ = -1;
  path_.clear();
}
