// SPDX-License-Identifier: BSD-2-Clause
#include "sim/replay.h"

#include <memory>

#include "link/identification.h"
#include "link/packet.h"
#include "link/recording.h"

namespace {

constexpr uint8_t kScreenType = 0x82;

// A whole, valid frame of `type` starting at `at`; its length, or 0.
int FrameAt(const std::vector<uint8_t>& bytes, size_t at, uint8_t type) {
  if (bytes[at] != kStx || at + 4 > bytes.size() || bytes[at + 2] != type) return 0;
  size_t size = static_cast<size_t>(bytes[at + 3]) + kFrameOverhead;
  if (at + size > bytes.size() || CheckFrame(bytes.data() + at) != kFrameValid) return 0;
  return static_cast<int>(size);
}

// Everything received, joined, with where each chunk began and its time.
struct Received {
  std::vector<uint8_t> bytes;
  std::vector<size_t> starts;
  std::vector<uint64_t> times;
};

}  // namespace

void SplitScreens(std::vector<ReplayChunk>& stream, std::vector<std::vector<uint8_t>>& screens) {
  // Frames may lie across chunks: join, cut the screens out, and give each remaining byte
  // back to the chunk it came in.
  std::vector<uint8_t> joined;
  std::vector<size_t> owner;
  for (size_t c = 0; c < stream.size(); ++c) {
    joined.insert(joined.end(), stream[c].bytes.begin(), stream[c].bytes.end());
    owner.insert(owner.end(), stream[c].bytes.size(), c);
    stream[c].bytes.clear();
  }
  for (size_t at = 0; at < joined.size();) {
    int size = FrameAt(joined, at, kScreenType);
    if (size > 0) {
      screens.emplace_back(joined.begin() + static_cast<long>(at),
                           joined.begin() + static_cast<long>(at) + size);
      at += static_cast<size_t>(size);
      continue;
    }
    stream[owner[at]].bytes.push_back(joined[at]);
    ++at;
  }
  std::vector<ReplayChunk> kept;
  for (ReplayChunk& chunk : stream) {
    if (!chunk.bytes.empty()) kept.push_back(std::move(chunk));
  }
  stream.swap(kept);
}

bool LoadReplay(const char* path, Replay& replay, std::string& error) {
  RecordingReader reader;
  if (!OpenRecording(reader, path)) {
    error = reader.file == nullptr ? "cannot open it" : "not a Tarnex recording";
    CloseRecording(reader);
    return false;
  }
  Received received;
  auto record = std::make_unique<Record>();
  while (ReadRecord(reader, *record)) {
    if (record->kind != kRecordReceived) continue;
    received.starts.push_back(received.bytes.size());
    received.times.push_back(record->microseconds);
    received.bytes.insert(received.bytes.end(), record->payload, record->payload + record->length);
  }
  CloseRecording(reader);
  // The last identification reply: what follows it is the connection's stream.
  size_t after = 0;
  uint64_t replyTime = 0;
  for (size_t at = 0; at < received.bytes.size(); ++at) {
    int size = FrameAt(received.bytes, at, kIdentificationReply);
    if (size == 0) continue;
    const uint8_t* text = received.bytes.data() + at + 4;
    replay.identification.assign(reinterpret_cast<const char*>(text), received.bytes[at + 3]);
    after = at + static_cast<size_t>(size);
    for (size_t c = 0; c < received.starts.size() && received.starts[c] <= at; ++c) {
      replyTime = received.times[c];
    }
  }
  if (replay.identification.empty()) {
    error = "no identification of a receiver in it";
    return false;
  }
  for (size_t c = 0; c < received.starts.size(); ++c) {
    size_t begin = received.starts[c];
    size_t end = c + 1 < received.starts.size() ? received.starts[c + 1] : received.bytes.size();
    if (end <= after) continue;
    if (begin < after) begin = after;
    uint64_t time = received.times[c] > replyTime ? received.times[c] - replyTime : 0;
    replay.stream.push_back(
        {time, std::vector<uint8_t>(received.bytes.begin() + static_cast<long>(begin),
                                    received.bytes.begin() + static_cast<long>(end))});
  }
  SplitScreens(replay.stream, replay.screens);
  return true;
}
