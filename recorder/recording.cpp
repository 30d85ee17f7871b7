// SPDX-License-Identifier: BSD-2-Clause
#include "recorder/recording.h"

#include <errno.h>

#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "base/regular_file.h"
#include "base/status_message.h"

namespace {

void PutLittleEndian(uint8_t* out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t GetLittleEndian(const uint8_t* in, int bytes) {
  uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | in[i];
  return value;
}

void Append(Recorder& recorder, RecordKind kind, const uint8_t* payload, int length) {
  std::lock_guard<std::mutex> hold(recorder.lock);
  auto now = std::chrono::steady_clock::now();  // under the lock: times in file order
  if (recorder.used + kRecordHeadSize + length > kRecorderBufferSize) {
    ++recorder.droppedEvents;
    ++recorder.droppedTotal;
    return;
  }
  uint8_t* at = recorder.filling + recorder.used;
  auto since = std::chrono::duration_cast<std::chrono::microseconds>(now - recorder.start);
  at[0] = kind;
  PutLittleEndian(at + 1, static_cast<uint64_t>(since.count()), 8);
  PutLittleEndian(at + 9, static_cast<uint64_t>(length), 2);
  std::memcpy(at + kRecordHeadSize, payload, static_cast<size_t>(length));
  recorder.used += kRecordHeadSize + length;
}

// Recording stops at its first failure, and what part of the last write got in is taken
// back: the file ends on a whole record.
void ShowWriteFailure(Recorder& recorder, int error) {
  if (recorder.failed) return;
  recorder.failed = true;
  std::error_code ignored;  // the reader stops at a cut record all the same
  std::filesystem::resize_file(recorder.path, recorder.wholeSize, ignored);
  char text[700];
  std::snprintf(text, sizeof text, "Could not write the recording %s: %s; recording stops",
                recorder.path, std::strerror(error));
  ShowStatusFailure(text);
}

// Writes a whole part of the recording, or takes it back.
void WriteOut(Recorder& recorder, const uint8_t* bytes, int count) {
  if (std::fwrite(bytes, 1, static_cast<size_t>(count), recorder.file) !=
          static_cast<size_t>(count) ||
      std::fflush(recorder.file) != 0) {
    ShowWriteFailure(recorder, errno);
    return;
  }
  recorder.wholeSize += static_cast<uint64_t>(count);
}

}  // namespace

bool StartRecording(Recorder& recorder, const char* path) {
  StopRecording(recorder);
  intptr_t handle = -1;
  int error = OpenRegularFile(kCurrentFolder, path, kReplaceFile, handle);
  if (error == 0) {
    recorder.file = OpenStream(handle);
    if (recorder.file == nullptr) error = errno;
  }
  std::snprintf(recorder.path, sizeof recorder.path, "%s", path);
  recorder.wholeSize = 0;
  if (recorder.file == nullptr) {
    char text[400];
    std::snprintf(text, sizeof text, "Could not record to %s: %s", path, FileErrorText(error));
    ShowStatusFailure(text);
    return false;
  }
  {
    std::lock_guard<std::mutex> hold(recorder.lock);
    recorder.used = 0;
    recorder.droppedEvents = recorder.droppedTotal = 0;
    recorder.start = std::chrono::steady_clock::now();
    recorder.failed = false;
    recorder.dropping = false;
  }
  WriteOut(recorder, reinterpret_cast<const uint8_t*>(kRecordingHeader), kRecordingHeaderSize);
  return true;
}

bool DrainRecording(Recorder& recorder) {
  if (recorder.file == nullptr) return false;
  int count;
  unsigned long dropped;
  {
    std::lock_guard<std::mutex> hold(recorder.lock);
    count = recorder.used;
    std::swap(recorder.filling, recorder.writing);
    recorder.used = 0;
    dropped = recorder.droppedEvents;
    recorder.droppedEvents = 0;
  }
  if (dropped > 0) {
    char note[80];
    std::snprintf(note, sizeof note, "%lu events dropped: the disk did not keep up", dropped);
    RecordNote(recorder, note);
  }
  if (dropped > 0 && !recorder.dropping) {  // once for each spell of losses, not each drain
    ShowStatusFailure(
        "The recording is losing events: the disk does not keep up with the line (the "
        "recording notes where)");
  }
  recorder.dropping = dropped > 0;
  if (count == 0 || recorder.failed) return !recorder.failed;
  WriteOut(recorder, recorder.writing, count);
  return !recorder.failed;
}

void StopRecording(Recorder& recorder) {
  if (recorder.file == nullptr) return;
  DrainRecording(recorder);
  DrainRecording(recorder);  // the note of what the first drain found dropped
  if (std::fclose(recorder.file) != 0) ShowWriteFailure(recorder, errno);
  recorder.file = nullptr;
}

void RecordBytes(Recorder& recorder, RecordKind kind, const uint8_t* bytes, int count) {
  for (int at = 0; at < count; at += kMaxRecordPayload) {
    int part = count - at < kMaxRecordPayload ? count - at : kMaxRecordPayload;
    Append(recorder, kind, bytes + at, part);
  }
}

void RecordLineSettings(Recorder& recorder, uint32_t baud, int parity) {
  uint8_t payload[5];
  PutLittleEndian(payload, baud, 4);
  payload[4] = static_cast<uint8_t>(parity);
  Append(recorder, kRecordLine, payload, 5);
}

void RecordBreak(Recorder& recorder, int ms) {
  uint8_t payload[2];
  PutLittleEndian(payload, static_cast<uint64_t>(ms), 2);
  Append(recorder, kRecordBreak, payload, 2);
}

void RecordNote(Recorder& recorder, const char* text) {
  size_t length = std::strlen(text);
  if (length > 1000) length = 1000;
  Append(recorder, kRecordNote, reinterpret_cast<const uint8_t*>(text), static_cast<int>(length));
}

bool OpenRecording(RecordingReader& reader, const char* path) {
  reader.file = std::fopen(path, "rb");
  if (reader.file == nullptr) return false;
  char header[kRecordingHeaderSize];
  reader.valid = std::fread(header, 1, sizeof header, reader.file) == sizeof header &&
                 std::memcmp(header, kRecordingHeader, sizeof header) == 0;
  return reader.valid;
}

bool ReadRecord(RecordingReader& reader, Record& record) {
  if (reader.file == nullptr || !reader.valid) return false;
  uint8_t head[kRecordHeadSize];
  if (std::fread(head, 1, sizeof head, reader.file) != sizeof head) return false;
  record.kind = static_cast<RecordKind>(head[0]);
  record.microseconds = GetLittleEndian(head + 1, 8);
  record.length = static_cast<int>(GetLittleEndian(head + 9, 2));
  return std::fread(record.payload, 1, static_cast<size_t>(record.length), reader.file) ==
         static_cast<size_t>(record.length);
}

void CloseRecording(RecordingReader& reader) {
  if (reader.file != nullptr) std::fclose(reader.file);
  reader.file = nullptr;
  reader.valid = false;
}
