#include "setup/places.h"

#include <windows.h>

#include <string>

namespace fs = std::filesystem;

namespace {

// The value of an environment variable that names a folder; empty if none.
std::wstring Variable(const wchar_t* name) {
  wchar_t value[MAX_PATH + 1];
  const DWORD got = GetEnvironmentVariableW(name, value, MAX_PATH + 1);
  return got > 0 && got <= MAX_PATH ? std::wstring(value, got) : L"";
}

// A folder as the user sees it, with long names for 8.3 ones, ended by a
// backslash.
std::wstring Seen(std::wstring name) {
  std::wstring long_name(32768, L'\0');
  const DWORD got = GetLongPathNameW(name.c_str(), long_name.data(),
                                     static_cast<DWORD>(long_name.size()));
  if (got > 0 && got < long_name.size()) name = long_name.substr(0, got);
  if (name.empty() || name.back() != L'\\') name += L'\\';
  return name;
}

// Returns true if `folder` is `root` or in it, whatever the case of the
// letters; a folder that only begins like it (Temp2 beside Temp) is not.
bool IsAtOrBelow(const fs::path& folder, const std::wstring& root) {
  const std::wstring inside = Seen(folder.native());
  const std::wstring top = Seen(root);
  const int size = static_cast<int>(top.size());
  return !root.empty() && inside.size() >= top.size() &&
         CompareStringOrdinal(inside.data(), size, top.data(), size, TRUE) ==
             CSTR_EQUAL;
}

}  // namespace

fs::path CurrentFolder() {
  // However long: a folder deeper than 260 characters is no exception.
  std::wstring folder(GetCurrentDirectoryW(0, nullptr), L'\0');
  folder.resize(
      GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
  return folder.empty() ? L"the current folder" : folder;
}

fs::path ProgramFile() {
  std::wstring file(32768, L'\0');  // the longest path Windows knows
  file.resize(GetModuleFileNameW(nullptr, file.data(),
                                 static_cast<DWORD>(file.size())));
  return file;
}

bool IsProgramsFolder(const fs::path& folder) {
  const fs::path programs = ProgramFile().parent_path();
  return IsAtOrBelow(folder, programs.native()) &&
         IsAtOrBelow(programs, folder.native());
}

bool IsInTemporaryFolder(const fs::path& folder) {
  wchar_t temp[MAX_PATH + 1];
  const DWORD got = GetTempPathW(MAX_PATH + 1, temp);
  return IsAtOrBelow(folder, std::wstring(temp, got <= MAX_PATH ? got : 0));
}

bool IsInWindowsFolder(const fs::path& folder) {
  wchar_t windows[MAX_PATH + 1];
  const UINT got = GetWindowsDirectoryW(windows, MAX_PATH + 1);
  return IsAtOrBelow(folder, std::wstring(windows, got <= MAX_PATH ? got : 0));
}

bool IsInProgramFiles(const fs::path& folder) {
  for (const wchar_t* name :
       {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"}) {
    if (IsAtOrBelow(folder, Variable(name))) return true;
  }
  return false;
}

fs::path VirtualStoreCopy(const fs::path& file) {
  // Windows gives older programs that write under Program Files without
  // being an administrator a copy of their files of each user's own, and
  // such a program reads that copy from then on.
  const std::wstring local = Variable(L"LOCALAPPDATA");
  if (local.empty() || !file.has_root_name()) return {};
  const fs::path copy =
      fs::path(local) / L"VirtualStore" / file.relative_path();
  std::error_code ec;
  return fs::exists(copy, ec) ? copy : fs::path();
}
