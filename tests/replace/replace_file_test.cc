#include "replace/replace_file.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "replace/file_system.h"
#include "support/scratch_dir.h"

#ifdef _WIN32
#include <windows.h>

#include <thread>
#else
#include <signal.h>
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

// Every old file here can be written again: none is kept.
bool Rewritable(std::string_view) { return true; }

class ReplaceFileTest : public ::testing::Test {
 protected:
  void SetUp() override { HandleInterruptions(); }
  // Starts the replacement of `name` and checks it, as before a dialogue.
  bool Check(const std::string& name, FileReplacement* replacement) {
    *replacement = FileReplacement(name, Rewritable);
    return CheckReplace(replacement, &err_);
  }
  std::string Name() const { return scratch_.events_file().string(); }
  fs::path Dir() const { return scratch_.scenario(); }

  ScratchDir scratch_;
  FileReplacement replacement_{"", Rewritable};
  std::string err_;
};

TEST_F(ReplaceFileTest, OldFileStaysUntilTheNewOneIsComplete) {
  WriteFile(Name(), "old\r\n");
  // Nothing of ours is on disk while the questions are asked.
  ASSERT_TRUE(Check(Name(), &replacement_)) << err_;
  EXPECT_EQ(ReadFile(Name()), "old\r\n");
  EXPECT_EQ(ListDir(Dir()), Names{"events.txt"});

  ASSERT_TRUE(FinishReplace(&replacement_, "new\r\n", &err_)) << err_;
  EXPECT_EQ(ReadFile(Name()), "new\r\n");
  EXPECT_EQ(ListDir(Dir()), Names{"events.txt"});
#ifndef _WIN32
  // Once the file is in place, a signal can no longer end the run.
  sigset_t held;
  sigprocmask(SIG_BLOCK, nullptr, &held);
  EXPECT_TRUE(sigismember(&held, SIGTERM) && sigismember(&held, SIGINT));
#endif
}

TEST_F(ReplaceFileTest, MissingFolderIsReported) {
  const std::string name = (Dir() / "missing" / "events.txt").string();
  EXPECT_FALSE(Check(name, &replacement_));
  EXPECT_EQ(err_, "cannot write in the folder " + (Dir() / "missing").string() +
                      ": No such file or directory");
}

// A failure at the last step must still clean up and leave the old state.
TEST_F(ReplaceFileTest, FailedRenameRemovesTheTemporaryFile) {
  ASSERT_TRUE(Check(Name(), &replacement_)) << err_;
  fs::create_directory(Name());
  WriteFile(fs::path(Name()) / "keep", "kept");
  EXPECT_FALSE(FinishReplace(&replacement_, "new", &err_));
  EXPECT_EQ(err_.rfind("cannot write " + Name() + ": ", 0), 0u) << err_;
  EXPECT_EQ(ListDir(Dir()), Names{"events.txt"});
  EXPECT_EQ(ReadFile(fs::path(Name()) / "keep"), "kept");
}

#ifdef _WIN32
// Held open by another program: as the C runtime opens a file (reading and
// writing shared, not deleting), by the game say, before the questions or
// while they are asked; or for a moment with everything shared, as a virus
// scanner holds it, which is waited for.
TEST_F(ReplaceFileTest, FileHeldByAnotherProgram) {
  const DWORD kRuntimeSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const struct {
    const char* name;
    DWORD sharing;
    bool before_check;
    int held_ms;  // how long it is held; -1 until the end
  } cases[] = {
      {"held from the start", kRuntimeSharing, true, -1},
      {"taken while asking", kRuntimeSharing, false, -1},
      {"held for a second", kRuntimeSharing | FILE_SHARE_DELETE, false, 1000},
  };
  for (const auto& c : cases) {
    WriteFile(Name(), "old");
    const auto hold = [&] {
      return CreateFileW(fs::path(Name()).c_str(), GENERIC_READ, c.sharing,
                         nullptr, OPEN_EXISTING, 0, nullptr);
    };
    HANDLE other = c.before_check ? hold() : INVALID_HANDLE_VALUE;
    const bool checked = Check(Name(), &replacement_);
    if (!c.before_check) other = hold();
    std::thread release([&] {
      if (c.held_ms >= 0) Sleep(static_cast<DWORD>(c.held_ms));
      if (c.held_ms >= 0) CloseHandle(other);
    });
    const bool replaced = checked && FinishReplace(&replacement_, "new", &err_);
    release.join();
    if (c.held_ms < 0) CloseHandle(other);
    EXPECT_EQ(replaced, c.held_ms >= 0) << c.name;
    if (!replaced) {
      EXPECT_EQ(err_, "cannot write " + Name() +
                          ": it is in use by another program; close it (the "
                          "game?) and run the setup again")
          << c.name;
    }
    EXPECT_EQ(ReadFile(Name()), replaced ? "new" : "old") << c.name;
    EXPECT_EQ(ListDir(Dir()), Names{"events.txt"}) << c.name;
  }
}
#else
TEST_F(ReplaceFileTest, LinkStaysAndItsTargetGetsTheContent) {
  fs::create_directory(Dir() / "real");
  WriteFile(Dir() / "real" / "target.txt", "old");
  fs::create_symlink("real/target.txt", Name());
  ASSERT_TRUE(Check(Name(), &replacement_)) << err_;
  ASSERT_TRUE(FinishReplace(&replacement_, "new", &err_)) << err_;
  EXPECT_TRUE(fs::is_symlink(Name()));
  EXPECT_EQ(ReadFile(Dir() / "real" / "target.txt"), "new");
  EXPECT_EQ(ListDir(Dir() / "real"), Names{"target.txt"});

  // A link to a file not yet there creates it, as writing through it would.
  fs::remove(Dir() / "real" / "target.txt");
  ASSERT_TRUE(Check(Name(), &replacement_)) << err_;
  ASSERT_TRUE(FinishReplace(&replacement_, "again", &err_)) << err_;
  EXPECT_TRUE(fs::is_symlink(Name()));
  EXPECT_EQ(ReadFile(Dir() / "real" / "target.txt"), "again");

  // Past the system's limit of links in a row, nothing is replaced.
  fs::remove(Name());
  fs::create_symlink("real/target.txt", Dir() / "link0");
  for (int i = 1; i <= 40; ++i) {
    fs::create_symlink("link" + std::to_string(i - 1),
                       Dir() / ("link" + std::to_string(i)));
  }
  fs::create_symlink("link40", Name());  // 41 links to the file
  EXPECT_FALSE(Check(Name(), &replacement_));
  EXPECT_EQ(err_,
            "cannot write " + Name() + ": Too many levels of symbolic links");
  EXPECT_TRUE(fs::is_symlink(Dir() / "link0"));
  EXPECT_EQ(ReadFile(Dir() / "real" / "target.txt"), "again");
}

TEST_F(ReplaceFileTest, PermissionBitsAreKeptOrOrdinary) {
  WriteFile(Name(), "old");
  chmod(Name().c_str(), 0604);
  ASSERT_TRUE(Check(Name(), &replacement_)) << err_;
  ASSERT_TRUE(FinishReplace(&replacement_, "new", &err_)) << err_;
  struct stat st;
  ASSERT_EQ(stat(Name().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);

  fs::remove(Name());
  const mode_t old_mask = umask(027);
  FileReplacement fresh("", Rewritable);
  const bool replaced =
      Check(Name(), &fresh) && FinishReplace(&fresh, "new", &err_);
  umask(old_mask);
  ASSERT_TRUE(replaced) << err_;
  ASSERT_EQ(stat(Name().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

#endif

}  // namespace
