// SPDX-License-Identifier: BSD-2-Clause
#include "sim/replay.h"

#include <memory>

#include "link/identification.h"
#include "link/packet.h"
#include "link/packet_type.h"
#include "recorder/recording.h"

namespace {

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
  std::vector<uint64_t> enqTimes;      // when each probe was sent
  std::vector<uint64_t> breakTimes;    // each break
  std::vector<uint64_t> requestTimes;  // each identification request
  std::string noted;                   // the receiver named by a note, if any
  uint64_t notedTime = 0;
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
    int size = FrameAt(joined, at, TypeByte(PacketType::kScreen));
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

namespace {

// Everything the receiver sent, with what the recording says besides: the probes sent
// and the receiver a recording begun on a connected line names.
bool ReadReceived(const char* path, Received& received, std::string& error) {
  RecordingReader reader;
  if (!OpenRecording(reader, path)) {
    error = reader.file == nullptr ? "cannot open it" : "not a Tarnex recording";
    CloseRecording(reader);
    return false;
  }
  auto record = std::make_unique<Record>();
  const size_t prefix = sizeof kReceiverNote - 1;
  while (ReadRecord(reader, *record)) {
    const uint8_t* payload = record->payload;
    const char* text = reinterpret_cast<const char*>(payload);
    if (record->kind == kRecordNote && static_cast<size_t>(record->length) > prefix &&
        std::string(text, prefix) == kReceiverNote) {
      received.noted.assign(text + prefix, static_cast<size_t>(record->length) - prefix);
      received.notedTime = record->microseconds;
    }
    if (record->kind == kRecordSent && record->length == 1 && payload[0] == kEnq) {
      received.enqTimes.push_back(record->microseconds);
    }
    if (record->kind == kRecordSent && record->length >= 3 && payload[0] == kStx &&
        payload[2] == kIdentificationRequest) {
      received.requestTimes.push_back(record->microseconds);
    }
    if (record->kind == kRecordBreak) received.breakTimes.push_back(record->microseconds);
    if (record->kind != kRecordReceived) continue;
    received.starts.push_back(received.bytes.size());
    received.times.push_back(record->microseconds);
    received.bytes.insert(received.bytes.end(), record->payload, record->payload + record->length);
  }
  CloseRecording(reader);
  return true;
}

// The reply to the last probe: the first identification reply received after the last
// ENQ went out (a frame of the same type later in the stream is data, not a reply). Gives
// its text, its time, and where what follows it starts (0 without one).
size_t FindLastReply(const Received& received, Replay& replay, uint64_t& replyTime) {
  if (received.enqTimes.empty()) return 0;  // begun on a connected line
  uint64_t lastProbe = received.enqTimes.back();
  for (size_t c = 0; c < received.starts.size(); ++c) {
    if (received.times[c] < lastProbe) continue;
    for (size_t at = received.starts[c]; at < received.bytes.size(); ++at) {
      int size = FrameAt(received.bytes, at, kIdentificationReply);
      if (size == 0) continue;
      const uint8_t* text = received.bytes.data() + at + 4;
      replay.identification.assign(reinterpret_cast<const char*>(text), received.bytes[at + 3]);
      for (size_t d = c; d < received.starts.size() && received.starts[d] <= at; ++d) {
        replyTime = received.times[d];
      }
      return at + static_cast<size_t>(size);
    }
    break;
  }
  return 0;
}

bool AnyBetween(const std::vector<uint64_t>& times, uint64_t from, uint64_t to) {
  for (uint64_t time : times) {
    if (time >= from && time <= to) return true;
  }
  return false;
}

// How the receiver met the last probe before its reply, as the program saw it: a probe
// followed by a break went unanswered. Such a receiver then answered the identification
// request, or, when none was sent, sent its identification by itself.
void ReadProbeAnswer(const Received& received, uint64_t replyTime, Replay& replay) {
  uint64_t enqTime = 0;
  bool probed = false;
  for (uint64_t time : received.enqTimes) {
    if (time > replyTime) break;
    enqTime = time;
    probed = true;
  }
  if (!probed || !AnyBetween(received.breakTimes, enqTime, replyTime)) return;
  replay.answersProbe = false;
  if (!AnyBetween(received.requestTimes, enqTime, replyTime)) {
    replay.unaskedReplyMs = static_cast<int>((replyTime - enqTime) / 1000);
  }
}

// What the receiver sent from `after` on, in its chunks, timed from the reply.
void CutStream(const Received& received, size_t after, uint64_t replyTime, Replay& replay) {
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
}

}  // namespace

bool LoadReplay(const char* path, Replay& replay, std::string& error) {
  Received received;
  if (!ReadReceived(path, received, error)) return false;
  // What follows the last identification reply is the connection's stream. A recording
  // begun on a connected line may have none; then its note names the receiver.
  uint64_t replyTime = 0;
  size_t after = FindLastReply(received, replay, replyTime);
  if (after > 0) {
    ReadProbeAnswer(received, replyTime, replay);
  } else {
    replay.identification = received.noted;
    replyTime = received.notedTime;
  }
  if (replay.identification.empty()) {
    error = "no identification of a receiver in it";
    return false;
  }
  CutStream(received, after, replyTime, replay);
  SplitScreens(replay.stream, replay.screens, &replay.screenOffsets);
  MarkCleanEnds(replay.stream);
  return true;
}
