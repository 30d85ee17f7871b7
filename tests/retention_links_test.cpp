// SPDX-License-Identifier: BSD-2-Clause
// --keep against a log folder that someone else may write into: links out of it, loops,
// folders it may not read, a working directory that went, deletions that keep failing.
// Nothing outside the folder is touched, nothing ends the logger, and each failure is
// said once while it lasts.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "capture/dump_file.h"
#include "tests/retention_fixture.h"

namespace {

namespace fs = std::filesystem;

TEST(RetentionLinks, NoLinkIsFollowedAndALoopEndsNothing) {
  Pruning pruning(kSplitDay, 10 * kDay);
  ScratchDir archive;  // another disk's archive, linked into the folder
  std::string archived =
      MakeFileAt(archive / "2026/060/posn-20260301.dmp", kTenOClock - 300 * kDay);
  pruning.Make("2026/341/posn-20261207.dmp", kTenOClock - 60);
  pruning.Make("2026/300/posn-20261027.dmp", kTenOClock - 41 * kDay);
  fs::create_symlink(archive / "2026", pruning.scratch / "2027");                // a year folder
  fs::create_symlink(archive / "2026/060", pruning.scratch / "2026/060");        // a day folder
  fs::create_symlink(archived, pruning.scratch / "2026/300/obsd-20261027.dmp");  // a file
  fs::create_symlink("2031", pruning.scratch / "2031");                          // a loop
  EXPECT_EQ(pruning.Look(), 1) << "the one real old file";
  EXPECT_FALSE(pruning.Exists("2026/300/posn-20261027.dmp"));
  EXPECT_TRUE(fs::exists(archived)) << "nothing through a linked folder";
  EXPECT_TRUE(pruning.Exists("2026/300/obsd-20261027.dmp")) << "a link is not ours to delete";
  EXPECT_TRUE(pruning.Exists("2026/300")) << "a folder that holds anything stays";
  EXPECT_TRUE(pruning.failures.empty()) << pruning.failures.front();
}

// A folder that cannot be read, or a deletion that fails, is said once a spell; the rest
// of the folder is still looked after, and the end of the spell is said.
TEST(RetentionLinks, FailuresAreSaidOnceWhileTheyLast) {
  if (geteuid() == 0)
    GTEST_SKIP() << "root reads and deletes whatever the modes say; this "
                    "runs in the pass as nobody";
  Pruning pruning(kSplitDay, 10 * kDay);
  pruning.Make("2026/300/posn-20261027.dmp", kTenOClock - 41 * kDay);
  pruning.Make("2026/301/posn-20261028.dmp", kTenOClock - 40 * kDay);
  pruning.Make("2026/341/posn-20261207.dmp", kTenOClock - 60);
  chmod((pruning.scratch / "2026/300").c_str(), 0555);  // its file cannot be deleted
  fs::create_directories(pruning.scratch / "2026/200");
  chmod((pruning.scratch / "2026/200").c_str(), 0);  // cannot be read
  EXPECT_EQ(pruning.Look(60), 1) << "the other old file";
  EXPECT_EQ(pruning.Look(60), 0);
  ASSERT_EQ(pruning.failures.size(), 2u) << "each said once, not at every look";
  EXPECT_EQ(pruning.failures[0].rfind("Could not read " + pruning.directory + "/2026/200: ", 0), 0u)
      << pruning.failures[0];
  EXPECT_EQ(pruning.failures[1].rfind("Could not delete " + pruning.directory +
                                          "/2026/300/posn-20261027.dmp: Permission denied",
                                      0),
            0u)
      << pruning.failures[1];
  chmod((pruning.scratch / "2026/300").c_str(), 0755);
  chmod((pruning.scratch / "2026/200").c_str(), 0755);
  EXPECT_EQ(pruning.Look(), 1);
  EXPECT_EQ(pruning.said.back(), "--keep works again: nothing failed at its last look.");
}

// Logging into the current directory, which someone removed.
TEST(RetentionLinks, AWorkingDirectoryThatWentEndsNothing) {
  ScratchDir scratch;
  std::string gone = scratch / "gone";
  fs::create_directories(gone);
  std::error_code error;
  fs::path before = fs::current_path(error);
  ASSERT_EQ(chdir(gone.c_str()), 0);
  fs::remove(gone);
  Pruning pruning(kSplitDay, 10 * kDay);
  pruning.directory = "";
  pruning.retention.directory = pruning.directory.c_str();
  EXPECT_EQ(pruning.Look(60), 0);
  EXPECT_EQ(pruning.Look(60), 0);
  EXPECT_LE(pruning.failures.size(), 1u);
  EXPECT_EQ(chdir(before.c_str()), 0);
}

}  // namespace
