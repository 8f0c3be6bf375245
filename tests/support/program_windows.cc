#include "support/program.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "support/scratch_dir.h"

namespace fs = std::filesystem;

namespace {

HANDLE OpenInheritable(const fs::path& path, DWORD access, DWORD creation) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inherit, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The console ends lines with CR LF on Windows; the tests compare the text.
std::string WithoutCarriageReturns(std::string text) {
  for (size_t at; (at = text.find("\r\n")) != std::string::npos;) {
    text.erase(at, 1);
  }
  return text;
}

}  // namespace

// Only the plain run is needed here: the tests that signal the program or
// limit its file size are POSIX ones.
ProgramResult RunProgram(const fs::path& dir, std::string_view input,
                         const ProgramOptions& options) {
  static std::atomic<int> count{0};
  const std::string tag =
      std::to_string(GetCurrentProcessId()) + "-" + std::to_string(count++);
  const fs::path in_path = dir.parent_path() / ("stdin-" + tag);
  const fs::path out_path = dir.parent_path() / ("stdout-" + tag);
  const fs::path err_path = dir.parent_path() / ("stderr-" + tag);
  WriteFile(in_path, input);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = OpenInheritable(in_path, GENERIC_READ, OPEN_EXISTING);
  startup.hStdOutput = OpenInheritable(
      out_path, options.unwritable_output ? GENERIC_READ : GENERIC_WRITE,
      CREATE_ALWAYS);
  startup.hStdError = OpenInheritable(err_path, GENERIC_WRITE, CREATE_ALWAYS);

  const fs::path program = fs::absolute(VELMORIA_SETUP_PROGRAM);
  // None of the tests' arguments holds a quote or ends in a backslash.
  std::wstring command_line = L"\"" + program.wstring() + L"\"";
  for (const std::string& arg : options.args) {
    command_line += L" \"" + std::filesystem::u8path(arg).wstring() + L"\"";
  }
  PROCESS_INFORMATION process = {};
  ProgramResult result;
  if (CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr,
                     TRUE, 0, nullptr, dir.c_str(), &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exit_code = 0;
    GetExitCodeProcess(process.hProcess, &exit_code);
    result.exit_code = static_cast<int>(exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(startup.hStdInput);
  CloseHandle(startup.hStdOutput);
  CloseHandle(startup.hStdError);

  result.out = WithoutCarriageReturns(ReadFile(out_path));
  result.err = WithoutCarriageReturns(ReadFile(err_path));
  fs::remove(in_path);
  fs::remove(out_path);
  fs::remove(err_path);
  return result;
}
