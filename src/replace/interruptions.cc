#include "replace/interruptions.h"

#include <csignal>
#include <cstring>

#include "replace/file_system.h"

namespace fs = std::filesystem;

namespace {

// A handler may only read plain memory, so the names of the files to remove
// are kept here as well: at most the new file and the copy of the old one.
// 32768 characters is the longest path Windows knows.
constexpr int kSlots = 2;
constexpr size_t kMaxName = 32768;
fs::path::value_type g_names[kSlots][kMaxName];
volatile std::sig_atomic_t g_registered[kSlots];

}  // namespace

int RegisterForRemoval(const fs::path& name) {
  const fs::path::string_type& native = name.native();
  for (int slot = 0; slot < kSlots; ++slot) {
    if (g_registered[slot] || native.size() >= kMaxName) continue;
    std::memcpy(g_names[slot], native.c_str(),
                (native.size() + 1) * sizeof native[0]);
    g_registered[slot] = 1;
    return slot;
  }
  return -1;
}

void Unregister(int slot) {
  if (slot >= 0) g_registered[slot] = 0;
}

void RemoveRegisteredFiles() {
  for (int slot = 0; slot < kSlots; ++slot) {
    if (g_registered[slot]) RemoveFile(g_names[slot]);
  }
}
