// SPDX-License-Identifier: BSD-2-Clause
#pragma once
// The dump files written without a worker: one stream's slot with logging on, a clock
// that the test moves, a folder of the test's own, and every status text said meanwhile.

#include <string>

#include "capture/dump_file.h"
#include "capture/dump_write.h"
#include "tests/local_time_at.h"
#include "tests/scratch_dir.h"
#include "tests/status_capture.h"
#include "tests/test_bytes.h"

struct DumpBench {
  StatusCapture status;
  ScratchDir scratch;
  std::string folder = scratch.Str();  // where the files go
  LoggingSwitch logging;
  DumpSlot slot;
  DumpClock now{1000, LocalTimeAt(2026, 12, 7, 10, 0, 0)};
  int split = kNoSplit;

  DumpBench() { SetLogging(logging, 1); }
  ~DumpBench() { CloseDump(slot); }
  DumpBench(const DumpBench&) = delete;
  DumpBench& operator=(const DumpBench&) = delete;

  // WriteDump's answer: 1 written, 0 logging off, -1 lost.
  int Write(DumpStreamId stream, const Bytes& item) {
    return WriteDump(logging, folder.c_str(), stream, item.data(), static_cast<int>(item.size()),
                     slot, now, split);
  }
  void Later(int seconds) {
    now.tick += static_cast<Tick>(seconds) * 1000;
    now.wall += seconds;
  }
  Bytes Read(const std::string& name) { return FileBytes(scratch / name); }
};
