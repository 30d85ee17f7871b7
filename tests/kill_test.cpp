// SPDX-License-Identifier: BSD-2-Clause
// The process killed while logging at a high data rate: every dump file is a byte-exact
// prefix of what was sent, and whole items: each is written at once.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "capture/receive_worker.h"
#include "sim/data_stream.h"
#include "sim/pty_pair.h"
#include "tests/scratch_dir.h"
#include "tests/test_bytes.h"
#include "tests/whole_items.h"

namespace {

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

// The items of one stream, in order, as the sender produced them.
struct Expected {
  Bytes posn, obsd, corr, nmea;
};

Expected Split(const Bytes& stream) {
  Expected out;
  size_t at = 0;
  while (at < stream.size()) {
    if (stream[at] == '$') {
      size_t end = at;
      while (stream[end] != '\n') ++end;
      out.nmea.insert(out.nmea.end(), stream.begin() + at, stream.begin() + end + 1);
      at = end + 1;
      continue;
    }
    size_t size = stream[at + 3] + kFrameOverhead;
    Bytes& file = stream[at + 2] == 0x40 ? out.posn : stream[at + 2] == 0x57 ? out.obsd : out.corr;
    file.insert(file.end(), stream.begin() + at, stream.begin() + at + size);
    at += size;
  }
  return out;
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

  Expected expected = Split(stream);
  struct File {
    const char* name;
    const Bytes& items;
  } files[] = {{"posn.dmp", expected.posn},
               {"obsd.dmp", expected.obsd},
               {"corr.dmp", expected.corr},
               {"nmea.dmp", expected.nmea}};
  for (const File& file : files) {
    Bytes written = FileBytes(directory + "/" + file.name);
    EXPECT_GT(written.size(), 0u) << file.name;
    ASSERT_LE(written.size(), file.items.size()) << file.name;
    EXPECT_TRUE(std::equal(written.begin(), written.end(), file.items.begin())) << file.name;
    EXPECT_EQ(WholeItemsProblem(std::string(written.begin(), written.end()), file.name[0] == 'n'),
              "")
        << file.name;
  }
}

}  // namespace
