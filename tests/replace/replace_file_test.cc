#include "replace/replace_file.h"

#include <cerrno>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "replace/file_system.h"
#include "replace/interruptions.h"
#include "setup/messages.h"
#include "support/scratch_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

bool NoCopy(std::string_view) { return true; }

class ReplaceFileTest : public ::testing::Test {
 protected:
  void SetUp() override { HandleInterruptions(); }
  // Checks, as before a dialogue, then replaces; returns what failed, in
  // the user's words, or nothing.
  std::string Replace(const fs::path& name, std::string_view content,
                      MayReplaceWithoutCopy without_copy = NoCopy) {
    std::optional<Failure> failure = CheckReplace(name, without_copy).failure;
    if (!failure)
      failure = ReplaceWholeFile(name, content, without_copy).failure;
    return failure ? DescribeFailure(*failure, "events.txt", Dir()) : "";
  }
  fs::path Name() const { return scratch_.events_file(); }
  fs::path Dir() const { return scratch_.scenario(); }

  ScratchDir scratch_;
};

#ifdef _WIN32
// What the replace relies on of Windows' calls, where a whole run cannot
// show it: a sync that reaches the disk, which Windows refuses for a file
// open to read; and Windows' own errors, which have no errno value.
TEST_F(ReplaceFileTest, SystemCalls) {
  WriteFile(Name(), "old");
  File file;
  FileInfo info;
  ASSERT_EQ(OpenExisting(Name(), Access::kRead, &file, &info), 0);
  EXPECT_NE(SyncFile(file), 0);
  // An error with no errno value stays the system's, for it to word.
  EXPECT_EQ(OpenExisting(Dir() / "a<b", Access::kRead, &file, &info),
            kWindowsError + 123);  // ERROR_INVALID_NAME
}
#else
TEST_F(ReplaceFileTest, LinkStaysAndItsTargetGetsTheContent) {
  fs::create_directory(Dir() / "real");
  WriteFile(Dir() / "real" / "target.txt", "old");
  fs::create_symlink("real/target.txt", Name());
  ASSERT_EQ(Replace(Name(), "new"), "");
  EXPECT_TRUE(fs::is_symlink(Name()));
  EXPECT_EQ(ReadFile(Dir() / "real" / "target.txt"), "new");
  EXPECT_EQ(ListDir(Dir() / "real"), Names{"target.txt"});

  // A link to a file not yet there creates it, as writing through it would.
  fs::remove(Dir() / "real" / "target.txt");
  ASSERT_EQ(Replace(Name(), "again"), "");
  EXPECT_TRUE(fs::is_symlink(Name()));
  EXPECT_EQ(ReadFile(Dir() / "real" / "target.txt"), "again");

  // Up to the system's limit of 40 links in a row; past it nothing is
  // replaced.
  fs::remove(Name());
  fs::create_symlink("real/target.txt", Dir() / "link1");
  for (int i = 2; i <= 41; ++i) {
    fs::create_symlink("link" + std::to_string(i - 1),
                       Dir() / ("link" + std::to_string(i)));
  }
  ASSERT_EQ(Replace(Dir() / "link40", "forty"), "");
  EXPECT_EQ(ReadFile(Dir() / "real" / "target.txt"), "forty");
  EXPECT_EQ(Replace(Dir() / "link41", "past"),
            "cannot write events.txt: Too many levels of symbolic links");
  EXPECT_TRUE(fs::is_symlink(Dir() / "link1"));
  EXPECT_EQ(ReadFile(Dir() / "real" / "target.txt"), "forty");
}

bool ToKeep(std::string_view) { return false; }

// The new file and a kept copy get the old file's permission bits; a file
// where there was none gets what any new file gets.
TEST_F(ReplaceFileTest, PermissionBitsAreKeptOrOrdinary) {
  const auto mode_of = [](const fs::path& path) {
    struct stat st = {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
  };
  WriteFile(Name(), "old");
  chmod(Name().c_str(), 0604);
  ASSERT_EQ(Replace(Name(), "new"), "");
  EXPECT_EQ(mode_of(Name()), 0604u);
  chmod(Name().c_str(), 0640);
  ASSERT_EQ(Replace(Name(), "newer", ToKeep), "");
  EXPECT_EQ(mode_of(Name()), 0640u);
  EXPECT_EQ(ReadFile(Dir() / "events.txt.bak"), "new");
  EXPECT_EQ(mode_of(Dir() / "events.txt.bak"), 0640u);

  fs::remove(Name());
  const mode_t old_mask = umask(027);
  const std::string failure = Replace(Name(), "new");
  umask(old_mask);
  ASSERT_EQ(failure, "");
  EXPECT_EQ(mode_of(Name()), 0640u);
}

#endif

}  // namespace
