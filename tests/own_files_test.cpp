// SPDX-License-Identifier: BSD-2-Clause
// The files the program writes are its own regular files: whoever may write into a log
// folder cannot, with a symbolic link, a pipe or a folder put in place of a dump file, the
// folder's lock or a split folder, have the logger write into another file, empty it,
// or hang on a pipe.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/regular_file.h"
#include "capture/earlier_file.h"
#include "capture/folder_lock.h"
#include "tests/dump_bench.h"

namespace {

namespace fs = std::filesystem;

const char* const kPrecious = "a file of someone else's\n";

// What can stand where the program wants a file of its own.
enum Impostor { kSymlinkToFile, kFifo, kFolder };

void MakeImpostor(Impostor kind, const std::string& path, const std::string& target) {
  std::ofstream(target) << kPrecious;
  if (kind == kSymlinkToFile) fs::create_symlink(target, path);
  if (kind == kFifo) {
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
  }
  if (kind == kFolder) fs::create_directory(path);
}

TEST(OwnFiles, OnlyARegularFileIsOpenedAndNothingElseIsTouched) {
  const struct {
    Impostor kind;
    int error;
  } cases[] = {{kSymlinkToFile, ELOOP}, {kFifo, kNotRegularFile}, {kFolder, kNotRegularFile}};
  for (RegularFileUse use : {kAppendToFile, kReadAndWriteFile, kReplaceFile}) {
    for (const auto& c : cases) {
      ScratchDir scratch;
      std::string path = scratch / "own", target = scratch / "precious";
      MakeImpostor(c.kind, path, target);
      intptr_t handle = -1;
      EXPECT_EQ(OpenRegularFile(kCurrentFolder, path.c_str(), use, handle), c.error)
          << c.kind << " " << use;  // and a pipe without a reader returned at once
      EXPECT_EQ(handle, -1);
      EXPECT_EQ(FileText(target), kPrecious) << "neither emptied nor written";
      char kept[200];  // an earlier file kept by a new period or recording: never one of these
      EXPECT_EQ(KeepEarlierFile(path.c_str(), kept, sizeof kept), c.error) << c.kind;
      EXPECT_EQ(RegularFileAt(path.c_str()), c.error) << "left where it was";
    }
    ScratchDir scratch;
    intptr_t handle = -1;
    ASSERT_EQ(OpenRegularFile(kCurrentFolder, (scratch / "new").c_str(), use, handle), 0);
    EXPECT_EQ(write(static_cast<int>(handle), "x", 1), 1) << "and it writes";
    close(static_cast<int>(handle));
  }
  EXPECT_NE(std::string(FileErrorText(ELOOP)).find("symbolic link"), std::string::npos);
}

const Bytes kZda = Text(Sentence("GPZDA,101530.00,07,12,2026,00,00"));

// A dump file, or a split folder on its way, that is not what it seems: the item is lost
// and said (the log has a gap, not someone else's file), and nothing outside is written.
TEST(OwnFiles, ADumpFileOrSplitFolderThatIsALinkIsNotWrittenThrough) {
  for (Impostor kind : {kSymlinkToFile, kFifo, kFolder}) {
    DumpBench log;
    MakeImpostor(kind, log.scratch / "nmea.dmp", log.scratch / "precious");
    EXPECT_EQ(log.Write(kNmeaStream, kZda), -1) << kind;
    EXPECT_EQ(log.slot.count.lostItems, 1u);
    EXPECT_EQ(FileText(log.scratch / "precious"), kPrecious);
    ASSERT_FALSE(log.status.Failures().empty());
    EXPECT_NE(log.status.Failures()[0].find("remove it or log elsewhere"), std::string::npos)
        << log.status.Failures()[0];
  }
  DumpBench log;
  log.split = kSplitDay;
  ScratchDir elsewhere;
  fs::create_symlink(elsewhere.path, log.scratch / "2026");  // a split folder led elsewhere
  EXPECT_EQ(log.Write(kNmeaStream, kZda), -1);
  EXPECT_TRUE(fs::is_empty(elsewhere.path)) << "nothing made or written through the link";
  EXPECT_NE(log.status.Failures()[0].find("symbolic link"), std::string::npos);
  fs::remove(log.scratch / "2026");
  EXPECT_EQ(log.Write(kNmeaStream, kZda), 1) << "a real folder again: logged";
  EXPECT_TRUE(fs::is_regular_file(log.scratch / "2026/341/nmea-20261207.dmp"));
}

// The folder's lock through a link would empty and overwrite the link's target.
TEST(OwnFiles, ALockThatIsALinkIsRefused) {
  ScratchDir scratch;
  MakeImpostor(kSymlinkToFile, scratch / ".tarnex.lock", scratch / "precious");
  FolderLock lock;
  char holder[100];
  EXPECT_EQ(LockFolder(lock, scratch.Str().c_str(), "/dev/ttyUSB0", holder, sizeof holder), ELOOP);
  EXPECT_EQ(FileText(scratch / "precious"), kPrecious);
  char text[600];
  FolderLockText(ELOOP, scratch.Str().c_str(), holder, text, sizeof text);
  EXPECT_NE(std::string(text).find(".tarnex.lock: it is a symbolic link"), std::string::npos)
      << text;
}

}  // namespace
