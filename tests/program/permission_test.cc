// The real program run as users whom permission bits stop, as they stop
// players: when the tests run as root, as nobody and as made-up users.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "support/expected_events.h"
#include "support/program.h"
#include "support/scratch_dir.h"

namespace fs = std::filesystem;

namespace {

// Users and a group of their own, known to no password file.
constexpr unsigned kAlice = 61001;
constexpr unsigned kBob = 61002;
constexpr unsigned kGames = 61010;

class PermissionTest : public ScenarioFolderTest {
 protected:
  ProgramResult RunAs(const User* user, std::string_view input = "y\ny\ny\n") {
    ProgramOptions options;
    options.user = user;
    return Run(input, options);
  }
  void Own(const fs::path& path, unsigned uid, unsigned gid, mode_t mode) {
    ASSERT_EQ(lchown(path.c_str(), uid, gid), 0) << path;
    if (!fs::is_symlink(path)) {
      ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
    }
  }
};

TEST_F(PermissionTest, ReadOnlyFileIsLeftAlone) {
  const User* user = UnprivilegedUser();
  fs::permissions(scratch_.scenario(), fs::perms::all);
  WriteFile(scratch_.events_file(), "old");
  fs::permissions(scratch_.events_file(), fs::perms::owner_read |
                                              fs::perms::group_read |
                                              fs::perms::others_read);
  const ProgramResult result = RunAs(user);
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "velmoria-setup: cannot write events.txt: it is read-only; make "
            "it writable and run the setup again\n");
  EXPECT_EQ(Events(), "old");
  EXPECT_EQ(Files(), Names{"events.txt"});
}

// A folder that takes no new file is refused before the first question,
// even where the user may write events.txt itself: the file is replaced
// whole or not at all. One that may be written but not read takes it, and
// that the folder cannot then be synced is no error.
TEST_F(PermissionTest, UnwritableFolderIsRefusedBeforeAsking) {
  const User* user = UnprivilegedUser();
  for (const std::string& old :
       {std::string(), ExpectedEvents("yyy"), std::string("mine\r\n")}) {
    fs::permissions(scratch_.scenario(), fs::perms::all);
    fs::remove(scratch_.events_file());
    if (!old.empty()) {
      WriteFile(scratch_.events_file(), old);
      fs::permissions(scratch_.events_file(), fs::perms::all);
    }
    fs::permissions(scratch_.scenario(),
                    fs::perms::owner_read | fs::perms::owner_exec |
                        fs::perms::others_read | fs::perms::others_exec);
    const ProgramResult result = RunAs(user);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "velmoria-setup: cannot write in the folder " +
                              scratch_.scenario().string() +
                              ": Permission denied\n");
    EXPECT_EQ(Events(), old);
    EXPECT_EQ(Files(), old.empty() ? Names{} : Names{"events.txt"});
  }
  fs::permissions(scratch_.scenario(), fs::perms::all);
  fs::remove(scratch_.events_file());
  fs::permissions(scratch_.scenario(),
                  fs::perms::owner_write | fs::perms::owner_exec |
                      fs::perms::others_write | fs::perms::others_exec);
  const ProgramResult result = RunAs(user);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(Events(), ExpectedEvents("yyy"));
}

// In a folder a group shares, the owner of the file cannot be kept, but its
// group can: else the next member to run the setup is locked out. The
// owner's own file keeps its group as well.
TEST_F(PermissionTest, SharedFolderKeepsTheGroup) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "making other users needs root";
  const User alice = {kAlice, kAlice, {kGames}};
  const User bob = {kBob, kBob, {kGames}};
  Own(scratch_.scenario(), kAlice, kGames, 0775);
  for (const User* user : {&bob, &alice}) {
    WriteFile(scratch_.events_file(), ExpectedEvents("nnn"));
    Own(scratch_.events_file(), kAlice, kGames, 0664);
    const ProgramResult result = RunAs(user);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    struct stat st;
    ASSERT_EQ(stat(scratch_.events_file().c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, user->uid);
    EXPECT_EQ(st.st_gid, kGames) << user->uid;
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_EQ(Events(), ExpectedEvents("yyy"));
  }
}

// In a sticky folder that anyone may write, such as /tmp, a link that one
// user plants is not followed for another, as the kernel's own guard would
// refuse; the user's own link is, and so is one of the folder's owner.
TEST_F(PermissionTest, LinkPlantedByAnotherUserIsNotFollowed) {
  if (!CanSwitchUsers()) GTEST_SKIP() << "making other users needs root";
  const User bob = {kBob, kBob, {}};
  const fs::path home = scratch_.root() / "bob";
  fs::create_directory(home);
  WriteFile(home / "profile", "bob's\n");
  Own(home, kBob, kBob, 0755);
  Own(home / "profile", kBob, kBob, 0644);
  Own(scratch_.scenario(), 0, 0, 01777);
  fs::create_symlink(home / "profile", scratch_.events_file());
  const struct {
    unsigned owner;
    bool followed;
  } cases[] = {{kAlice, false}, {0, true}, {kBob, true}};
  for (const auto& c : cases) {
    Own(scratch_.events_file(), c.owner, c.owner, 0);
    const ProgramResult result = RunAs(&bob, "n\nn\nn\n");
    EXPECT_EQ(result.exit_code, c.followed ? 0 : 1) << c.owner;
    if (c.followed) {
      EXPECT_EQ(ReadFile(home / "profile"), ExpectedEvents("nnn")) << c.owner;
    } else {
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(result.err,
                "velmoria-setup: events.txt is a link owned by another user; "
                "not following it\n");
      EXPECT_EQ(ReadFile(home / "profile"), "bob's\n");
    }
    EXPECT_TRUE(fs::is_symlink(scratch_.events_file()));
    EXPECT_EQ(Files(), Names{"events.txt"});
  }
}

}  // namespace
