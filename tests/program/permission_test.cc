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

// As permission bits stop players: a read-only file, the user's choice, and
// a folder that takes no new file, even where the user may write events.txt
// itself, are refused before the first question, as the file is replaced
// whole or not at all. A folder that may be written but not read takes it,
// and that the folder cannot then be synced is no error.
TEST_F(PermissionTest, WhatPermissionBitsAllow) {
  const User* user = UnprivilegedUser();
  using fs::perms;
  const perms read_only =
      perms::owner_read | perms::group_read | perms::others_read;
  const perms no_new_file = read_only | perms::owner_exec | perms::others_exec;
  const perms unread = perms::owner_write | perms::owner_exec |
                       perms::others_write | perms::others_exec;
  const std::string refused = "velmoria-setup: cannot write in the folder " +
                              scratch_.scenario().string() +
                              ": Permission denied\n";
  const struct {
    perms folder;
    perms file;
    std::string old;  // events.txt before the run, if any
    std::string err;  // nothing if it is written
  } cases[] = {
      {perms::all, read_only, "old",
       "velmoria-setup: cannot write events.txt: it is read-only; make it "
       "writable and run the setup again\n"},
      {no_new_file, perms::all, "", refused},
      {no_new_file, perms::all, ExpectedEvents("yyy"), refused},
      {no_new_file, perms::all, "mine\r\n", refused},
      {unread, perms::all, "", ""},
  };
  for (const auto& c : cases) {
    fs::permissions(scratch_.scenario(), perms::all);
    fs::remove(scratch_.events_file());
    if (!c.old.empty()) {
      WriteFile(scratch_.events_file(), c.old);
      fs::permissions(scratch_.events_file(), c.file);
    }
    fs::permissions(scratch_.scenario(), c.folder);
    const ProgramResult result = RunAs(user);
    EXPECT_EQ(result.exit_code, c.err.empty() ? 0 : 1) << c.err;
    EXPECT_EQ(result.err, c.err);
    if (c.err.empty()) {
      EXPECT_EQ(Events(), ExpectedEvents("yyy"));
    } else {
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(Events(), c.old);
      EXPECT_EQ(Files(), c.old.empty() ? Names{} : Names{"events.txt"});
    }
  }
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
