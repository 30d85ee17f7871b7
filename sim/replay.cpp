// SPDX-License-Identifier: BSD-2-Clause
#include "sim/replay.h"

#include <memory>

#include "link/identification.h"
#include "link/packet.h"
#include "link/recording.h"

namespace {

constexpr uint8_t kScreenType = 0x82;

constexpr int kAnyType = -1;

// A whole, valid frame of `type` (or of any type) starting at `at`; its length, or 0.
int FrameAt(const std::vector<uint8_t>& bytes, size_t at, int type) {
  if (bytes[at] != kStx || at + 4 > bytes.size()) return 0;
  if (type != kAnyType && bytes[at + 2] != type) return 0;
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

void SplitScreens(std::vector<ReplayChunk>& stream, std::vector<std::vector<uint8_t>>& screens,
                  std::vector<size_t>* offsets) {
  // Frames may lie across chunks: join, cut the screens out, and give each remaining byte
  // back to the chunk it came in.
  std::vector<uint8_t> joined;
  std::vector<size_t> owner;
  for (size_t c = 0; c < stream.size(); ++c) {
    joined.insert(joined.end(), stream[c].bytes.begin(), stream[c].bytes.end());
    owner.insert(owner.end(), stream[c].bytes.size(), c);
    stream[c].bytes.clear();
  }
  size_t streamBytes = 0;
  for (size_t at = 0; at < joined.size();) {
    int size = FrameAt(joined, at, kScreenType);
    if (size > 0) {
      if (offsets != nullptr) offsets->push_back(streamBytes);
      screens.emplace_back(joined.begin() + static_cast<long>(at),
                           joined.begin() + static_cast<long>(at) + size);
      at += static_cast<size_t>(size);
      continue;
    }
    stream[owner[at]].bytes.push_back(joined[at]);
    ++at;
    ++streamBytes;
  }
  std::vector<ReplayChunk> kept;
  for (ReplayChunk& chunk : stream) {
    if (!chunk.bytes.empty()) kept.push_back(std::move(chunk));
  }
  stream.swap(kept);
}

std::vector<bool> ItemBoundaries(const std::vector<uint8_t>& bytes) {
  std::vector<bool> between(bytes.size() + 1, false);
  between[0] = true;
  for (size_t at = 0; at < bytes.size();) {
    int size = FrameAt(bytes, at, kAnyType);
    at += size > 0 ? static_cast<size_t>(size) : 1;
    if (size > 0 || bytes[at - 1] == '\n') between[at] = true;
  }
  return between;
}

void MarkCleanEnds(std::vector<ReplayChunk>& stream) {
  std::vector<uint8_t> joined;
  for (const ReplayChunk& chunk : stream) {
    joined.insert(joined.end(), chunk.bytes.begin(), chunk.bytes.end());
  }
  std::vector<bool> between = ItemBoundaries(joined);
  size_t end = 0;
  for (ReplayChunk& chunk : stream) {
    end += chunk.bytes.size();
    chunk.cleanEnd = between[end];
  }
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
  std::string noted;  // the receiver a recording begun on a connected line names
  uint64_t notedTime = 0;
  const size_t prefix = sizeof kReceiverNote - 1;
  while (ReadRecord(reader, *record)) {
    const char* text = reinterpret_cast<const char*>(record->payload);
    if (record->kind == kRecordNote && static_cast<size_t>(record->length) > prefix &&
        std::string(text, prefix) == kReceiverNote) {
      noted.assign(text + prefix, static_cast<size_t>(record->length) - prefix);
      notedTime = record->microseconds;
    }
    if (record->kind != kRecordReceived) continue;
    received.starts.push_back(received.bytes.size());
    received.times.push_back(record->microseconds);
    received.bytes.insert(received.bytes.end(), record->payload, record->payload + record->length);
  }
  CloseRecording(reader);
  // The last identification reply: what follows it is the connection's stream. A recording
  // begun on a connected line may have none; then its note names the receiver.
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
    replay.identification = noted;
    replyTime = notedTime;
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
  SplitScreens(replay.stream, replay.screens, &replay.screenOffsets);
  MarkCleanEnds(replay.stream);
  return true;
}
