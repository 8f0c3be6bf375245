#include "support/scratch_dir.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#endif

namespace fs = std::filesystem;

namespace {

// Every scratch folder of this process is named by this prefix, with a
// number after it.
fs::path Prefix() {
#ifdef _WIN32
  const auto pid = GetCurrentProcessId();
#else
  const auto pid = getpid();
#endif
  return fs::temp_directory_path() /
         ("velmoria-test-" + std::to_string(pid) + "-");
}

#ifndef _WIN32
char g_prefix[4096];

// Removes the scratch folders with the calls a handler may make, fork and
// exec, and ends the process as the signal would have.
extern "C" void RemoveScratchAndDie(int signal_number) {
  char sh[] = "/bin/sh";
  char c[] = "-c";
  char script[] = R"(chmod -R u+rwx "$0"*; rm -rf "$0"*)";
  char* const argv[] = {sh, c, script, g_prefix, nullptr};
  const pid_t pid = fork();
  if (pid == 0) {
    execv(sh, argv);
    _exit(127);
  }
  if (pid > 0) waitpid(pid, nullptr, 0);
  raise(signal_number);  // the handler was reset on entry
}

// So that an interrupted test run leaves no scratch folder behind.
void RemoveWhenInterrupted() {
  if (g_prefix[0] != '\0') return;
  std::strncpy(g_prefix, Prefix().c_str(), sizeof g_prefix - 1);
  struct sigaction action = {};
  action.sa_handler = RemoveScratchAndDie;
  action.sa_flags = SA_RESETHAND;
  for (int signal_number : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) {
    sigaction(signal_number, &action, nullptr);
  }
}
#else
void RemoveWhenInterrupted() {}
#endif

}  // namespace

ScratchDir::ScratchDir() {
  RemoveWhenInterrupted();
  static std::atomic<unsigned> count{0};
  do {
    root_ = Prefix();
    root_ += std::to_string(count++);
  } while (!fs::create_directory(root_));
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
