#include "gtest/gtest.h"
#include "replace/file_system.h"
#include "support/scratch_dir.h"

namespace {

// What the replace relies on of Windows' calls, where a whole run cannot
// show it: a sync that reaches the disk, which Windows refuses for a file
// open to read; and Windows' own errors, which have no errno value and stay
// the system's, for it to word.
TEST(FileSystemTest, WindowsCalls) {
  ScratchDir scratch;
  WriteFile(scratch.events_file(), "old");
  File file;
  FileInfo info;
  ASSERT_EQ(OpenExisting(scratch.events_file(), Access::kRead, &file, &info),
            0);
  EXPECT_NE(SyncFile(file), 0);
  EXPECT_EQ(
      OpenExisting(scratch.scenario() / "a<b", Access::kRead, &file, &info),
      kWindowsError + 123);  // ERROR_INVALID_NAME
}

}  // namespace
