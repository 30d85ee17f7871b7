// SPDX-License-Identifier: BSD-2-Clause
// Dump files when the disk, the folder or the process fails under them, where Linux lets a
// test make it so without root: the file size limit (RLIMIT_FSIZE, SIGXFSZ ignored) cuts a
// write short as a full disk does, an open file can be removed or moved away (Windows
// refuses both while the file is open), and the process is killed.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "capture/receive_worker.h"
#include "sim/data_stream.h"
#include "sim/pty_pair.h"
#include "tests/dump_bench.h"
#include "tests/file_size_limit.h"
#include "tests/whole_items.h"

namespace {

// Items that do not fit are lost whole, never in part; once there is room again the
// stream writes on behind the last whole item (frames go through the same writing, below).
TEST(DumpFailure, AnItemCutShortIsTakenBackAndTheFileStaysWhole) {
  const Bytes item = Text(Sentence("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,,M,,"));
  DumpBench bench;
  const int fitting = 20;
  {
    FileSizeLimit limit(item.size() * fitting + item.size() / 2);
    for (int i = 0; i < fitting; ++i) ASSERT_EQ(bench.Write(kNmeaStream, item), 1) << i;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(bench.Write(kNmeaStream, item), -1) << "no room";
  }
  EXPECT_EQ(bench.Write(kNmeaStream, item), 1) << "room again";
  CloseDump(bench.slot);
  std::string file = FileText(bench.scratch / "nmea.dmp");
  EXPECT_EQ(WholeItemsProblem(file, true), "");
  EXPECT_EQ(file.size(), item.size() * (fitting + 1));
  EXPECT_EQ(bench.slot.count.items, static_cast<unsigned long>(fitting + 1));
  EXPECT_EQ(bench.slot.count.lostItems, 5u);
  std::vector<std::string> failures = bench.status.Failures();
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_NE(failures[0].find(": File too large. Its items are counted as lost"), std::string::npos)
      << failures[0];
  EXPECT_NE(failures[1].find(" again; 5 items ("), std::string::npos) << failures[1];
}

// Items written together (what one read brought) that do not all fit: each that still
// fits is kept whole, the rest are counted as lost, and the file stays a run of whole items.
TEST(DumpFailure, ItemsWrittenTogetherThatDoNotAllFitAreKeptOneByOne) {
  DumpBench bench;
  const Bytes item = Frame(0x40, Bytes(41, 0x5A));
  auto writeTogether = [&](int items) {
    Bytes joined;
    std::vector<uint16_t> lengths;
    for (int i = 0; i < items; ++i) {
      joined.insert(joined.end(), item.begin(), item.end());
      lengths.push_back(static_cast<uint16_t>(item.size()));
    }
    return WriteDumpItems(bench.logging, bench.folder.c_str(), kPosnStream, joined.data(),
                          lengths.data(), items, bench.slot, bench.now);
  };
  {
    FileSizeLimit limit(item.size() * 5 + item.size() / 2);
    EXPECT_EQ(writeTogether(4), 4);
    EXPECT_EQ(writeTogether(3), 1) << "room for one more whole item";
  }
  EXPECT_EQ(writeTogether(2), 2);
  CloseDump(bench.slot);
  std::string file = FileText(bench.scratch / "posn.dmp");
  EXPECT_EQ(WholeItemsProblem(file, false), "");
  EXPECT_EQ(file.size(), item.size() * 7);
  EXPECT_EQ(bench.slot.count.items, 7u);
  EXPECT_EQ(bench.slot.count.lostItems, 2u);
  std::vector<std::string> failures = bench.status.Failures();
  ASSERT_EQ(failures.size(), 2u) << "the spell's start and its end, once each";
  EXPECT_NE(failures[1].find(" again; 2 items ("), std::string::npos) << failures[1];
}

// A file removed while logging is noticed within a second, said with the items that went
// with it (counted as lost), and made anew at its place; one moved away keeps its items.
TEST(DumpFailure, AVanishedFileIsMadeAnew) {
  Bytes item = Frame(0x40, {1});
  for (bool removed : {true, false}) {
    SCOPED_TRACE(removed);
    DumpBench bench;
    ASSERT_EQ(bench.Write(kPosnStream, item), 1);
    ASSERT_EQ(bench.Write(kPosnStream, item), 1);
    std::string path = bench.scratch / "posn.dmp";
    if (removed) {
      std::remove(path.c_str());
    } else {
      std::rename(path.c_str(), (bench.scratch / "elsewhere.dmp").c_str());
    }
    ASSERT_EQ(bench.Write(kPosnStream, item), 1) << "within the second: not looked at yet";
    bench.now.tick += 1000;
    ASSERT_EQ(bench.Write(kPosnStream, item), 1);
    CloseDump(bench.slot);
    EXPECT_EQ(FileBytes(path), item);
    const DumpCount& count = bench.slot.count;
    EXPECT_EQ(count.items, 4u) << "a count of what was written never goes down";
    EXPECT_EQ(count.items - count.removedItems, removed ? 1u : 4u) << "in the file";
    EXPECT_EQ(count.lostItems, removed ? 3u : 0u);
    std::string shown = (std::filesystem::absolute(bench.scratch.path) / "posn.dmp").string();
    ASSERT_EQ(bench.status.Failures().size(), 1u);
    EXPECT_EQ(bench.status.Failures()[0],
              removed ? shown +
                            " was removed while logging; 3 items (21 B) written into it since "
                            "10:00:00 went with it. Writing it anew."
                      : shown +
                            " was moved away while logging, with what was written into it. "
                            "Writing it anew.");
  }
}

// The process killed while logging at a high data rate: every dump file is a byte-exact
// prefix of what was sent, and whole items: each is written at once.
// The logging side, in a child process that the test kills.
[[noreturn]] void RunLoggingChild(const char* device, const std::string& directory, int ready) {
  auto link = std::make_unique<Link>();
  auto capture = std::make_unique<Capture>();
  SetDumpDirectory(*capture, directory);
  SetLogging(capture->logging, 1);
  if (OpenPort(link->port, device) != 0) _exit(3);
  ReceiveWorker worker;
  if (!StartReceiveWorker(worker, *link, *capture, WorkerHooks{})) _exit(4);
  if (write(ready, "r", 1) != 1) _exit(5);
  for (;;) pause();
}

// The items of one stream, in order, as the sender produced them, file by file.
std::map<std::string, Bytes> Split(const Bytes& stream) {
  std::map<std::string, Bytes> files;
  ForEachItem(stream, [&](const uint8_t* item, size_t size, bool frame) {
    if (!frame && item[0] != '$') return;
    const char* name = !frame            ? "nmea.dmp"
                       : item[2] == 0x40 ? "posn.dmp"
                       : item[2] == 0x57 ? "obsd.dmp"
                                         : "corr.dmp";
    files[name].insert(files[name].end(), item, item + size);
  });
  return files;
}

TEST(KilledWhileLogging, EachDumpIsAPrefixOfWhatWasSent) {
  ScratchDir scratch;
  std::string directory = scratch.Str();
  PtyPair pty;
  ASSERT_TRUE(OpenPtyPair(pty));
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();  // before any thread exists in this process
  ASSERT_GE(child, 0);
  if (child == 0) RunLoggingChild(pty.slavePath, directory, ready[1]);
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1) << "the child logs";
  close(ready[0]);
  close(ready[1]);
  ReceiverModel model;
  std::mt19937 random(9);
  Bytes stream;
  for (uint32_t second = 0; second < 3000; ++second)
    AppendDataBurst(model, second, 0, random, stream);
  size_t sent = 0;
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(700);
  while (sent < stream.size() && std::chrono::steady_clock::now() < until) {
    ssize_t n =
        write(pty.master, stream.data() + sent, std::min<size_t>(512, stream.size() - sent));
    if (n > 0) sent += static_cast<size_t>(n);
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  ClosePtyPair(pty);

  for (const auto& [name, items] : Split(stream)) {
    Bytes written = FileBytes(directory + "/" + name);
    EXPECT_GT(written.size(), 0u) << name;
    ASSERT_LE(written.size(), items.size()) << name;
    EXPECT_TRUE(std::equal(written.begin(), written.end(), items.begin())) << name;
    EXPECT_EQ(WholeItemsProblem(std::string(written.begin(), written.end()), name[0] == 'n'), "")
        << name;
  }
}

}  // namespace
