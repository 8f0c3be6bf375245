#include "setup/places.h"

#include <windows.h>

#include <string>

std::filesystem::path CurrentFolder() {
  // However long: a folder deeper than 260 characters is no exception.
  std::wstring folder(GetCurrentDirectoryW(0, nullptr), L'\0');
  folder.resize(
      GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
  return folder.empty() ? L"the current folder" : folder;
}

std::filesystem::path ProgramFile() {
  std::wstring file(MAX_PATH, L'\0');
  for (DWORD got; (got = GetModuleFileNameW(nullptr, file.data(),
                                            static_cast<DWORD>(file.size()))) ==
                  file.size();) {
    file.resize(file.size() * 2);
  }
  return file.c_str();
}

bool IsInTemporaryFolder(const std::filesystem::path& folder) {
  // As the user sees them: the temporary folder may come in 8.3 names.
  const auto long_name = [](const std::wstring& name) {
    std::wstring long_one(32768, L'\0');
    long_one.resize(GetLongPathNameW(name.c_str(), long_one.data(),
                                     static_cast<DWORD>(long_one.size())));
    while (!long_one.empty() && long_one.back() == L'\\') long_one.pop_back();
    return long_one;
  };
  wchar_t temp[MAX_PATH + 1];
  const DWORD got = GetTempPathW(MAX_PATH + 1, temp);
  const std::wstring temporary = long_name(std::wstring(temp, got));
  const std::wstring inside = long_name(folder.native()) + L'\\';
  return !temporary.empty() && inside.size() > temporary.size() &&
         inside[temporary.size()] == L'\\' &&
         CompareStringOrdinal(inside.data(), static_cast<int>(temporary.size()),
                              temporary.data(),
                              static_cast<int>(temporary.size()),
                              TRUE) == CSTR_EQUAL;
}

std::filesystem::path VirtualStoreCopy(const std::filesystem::path& file) {
  // Windows gives older programs that write under Program Files without
  // being an administrator a copy of their files of each user's own, and
  // such a program reads that copy from then on.
  wchar_t local[MAX_PATH + 1];
  const DWORD got = GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
  if (got == 0 || got > MAX_PATH || !file.has_root_name()) return {};
  const std::filesystem::path copy =
      std::filesystem::path(local) / L"VirtualStore" / file.relative_path();
  std::error_code ec;
  return std::filesystem::exists(copy, ec) ? copy : std::filesystem::path();
}
