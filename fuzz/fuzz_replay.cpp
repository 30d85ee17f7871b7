// SPDX-License-Identifier: BSD-2-Clause
// A recording as a user might send one in, damaged in any way, loaded for replay: the
// loader never reads out of bounds, and what it gives is consistent: whole screens, each
// with its place in the stream, and the stream no longer than what was received.
#include <unistd.h>

#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/packet.h"
#include "sim/replay.h"

namespace {

const std::string& InputPath() {
  const char* tmp = std::getenv("TMPDIR");
  static const std::string path = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                                  "/fuzz-replay-" + std::to_string(getpid()) + ".rec";
  static const int removed = std::atexit([] { std::remove(InputPath().c_str()); });
  (void)removed;
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(InputPath().c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  Replay replay;
  std::string error;
  if (!LoadReplay(InputPath().c_str(), replay, error)) {
    assert(!error.empty());
    return 0;
  }
  assert(!replay.identification.empty());
  assert(replay.screenOffsets.size() == replay.screens.size());
  size_t streamBytes = 0;
  for (const ReplayChunk& chunk : replay.stream) streamBytes += chunk.bytes.size();
  assert(streamBytes + replay.screens.size() * kFrameOverhead <= size);
  size_t previous = 0;
  for (size_t i = 0; i < replay.screens.size(); ++i) {
    assert(CheckFrame(replay.screens[i].data()) == kFrameValid);
    assert(replay.screenOffsets[i] >= previous && replay.screenOffsets[i] <= streamBytes);
    previous = replay.screenOffsets[i];
  }
  return 0;
}
