#include "setup/messages.h"

#include <cerrno>
#include <string>

#include "gtest/gtest.h"
#include "replace/file_system.h"
#include "setup/console.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

// What a step of the replace says when it fails, and what undoing a
// failure found, where no whole run shows it: failures one after another,
// and words of Windows' own.
TEST(MessagesTest, EachStepSaysWhatFailed) {
  const fs::path folder = fs::path("games") / "Velmoria";
  const fs::path copy = "events.txt.bak.Ab12Cd";
  const struct {
    Failure failure;
    std::string said;
  } cases[] = {
      {{Step::kWrite, "events.txt", ENOSPC, {{Step::kRemove, copy, ENOSPC}}},
       "cannot write events.txt: No space left on device; "
       "events.txt.bak.Ab12Cd is left: No space left on device"},
      {{Step::kKeepOld, "events.txt.bak", EIO, {{Step::kRestore, copy, 0}}},
       "cannot keep the previous events.txt as events.txt.bak: Input/output "
       "error; events.txt is as it was"},
      {{Step::kKeepOld,
        "events.txt.bak",
        EIO,
        {{Step::kRestore, copy, EIO}, {Step::kSyncFolder, ".", EIO}}},
       "cannot keep the previous events.txt as events.txt.bak: Input/output "
       "error; it is in events.txt.bak.Ab12Cd; the disk reported an error: "
       "Input/output error"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DescribeFailure(c.failure, "events.txt", folder), c.said);
  }
#ifdef _WIN32
  // One the program has no words for, in the system's own.
  const std::string words = ErrorWords(kWindowsError + 21);  // not ready
  EXPECT_FALSE(words.empty());
  EXPECT_EQ(words.find("21"), std::string::npos) << words;

  // In either Program Files folder, however it is spelt, only an
  // administrator may write, and the refusal says what to do.
  wchar_t x86[MAX_PATH] = L"";
  GetShortPathNameW(L"C:\\Program Files (x86)\\Common Files", x86, MAX_PATH);
  EXPECT_EQ(std::wstring(x86).find(L' '), std::wstring::npos);
  const struct {
    fs::path folder;
    bool advised;
  } folders[] = {
      {L"C:\\Program Files\\Velmoria", true},
      {L"c:\\program files (x86)\\velmoria", true},
      {x86, true},
      {L"C:\\Program Files Extra\\Velmoria", false},
      {L"C:\\Games\\Velmoria", false},
  };
  for (const auto& [where, advised] : folders) {
    const std::string said = DescribeFailure(
        {Step::kMakeFile, "events.txt", EACCES}, "events.txt", where);
    EXPECT_EQ(said.find("\"Run as administrator\"") != std::string::npos,
              advised)
        << said;
  }
#endif
}

}  // namespace
