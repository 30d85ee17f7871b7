// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>

// The flight recorder: every byte on the line in both directions, with its time, and each
// change of the line's settings and each break, as they happen. The serial port hands each
// event to the recorder (from whichever thread does the I/O); the recorder's owner drains
// what has gathered to the file from its own thread, so that a slow disk never holds up
// the receive worker: when the buffer is full, events are dropped and counted.
//
// The file format is in docs/recording-format.md: a header line, then records of one kind
// byte, a time in microseconds and a length, each whole record written in order.

constexpr char kRecordingHeader[] = "TARNEX-RECORDING 1\n";
constexpr int kRecordingHeaderSize = sizeof kRecordingHeader - 1;
constexpr int kRecordHeadSize = 1 + 8 + 2;
constexpr int kMaxRecordPayload = 65535;
constexpr int kRecorderBufferSize = 1 << 20;  // about 90 s of a full 115200-baud line

enum RecordKind : uint8_t {
  kRecordReceived = 'R',  // bytes read from the line
  kRecordSent = 'S',      // bytes written to the line
  kRecordLine = 'L',      // line settings: baud (u32) and parity (u8: 0 none, 1 odd, 2 even)
  kRecordBreak = 'B',     // a break: its length in ms (u16)
  kRecordNote = 'N',      // a text: the device opened, events dropped
};

// The note that names the receiver already identified when a recording begins on a
// connected line: this text, then the identification.
inline constexpr char kReceiverNote[] = "receiver ";

struct Recorder {
  std::mutex lock;  // held only to append or to swap the two buffers
  uint8_t first[kRecorderBufferSize];
  uint8_t second[kRecorderBufferSize];
  uint8_t* filling = first;  // events go here; the owner writes out the other one
  uint8_t* writing = second;
  int used = 0;
  unsigned long droppedEvents = 0;  // since the last drain
  unsigned long droppedTotal = 0;
  std::chrono::steady_clock::time_point start;
  FILE* file = nullptr;  // the owner's alone
  char path[512] = {};
  uint64_t wholeSize = 0;  // the file's length up to the end of its last whole record
  bool failed = false;     // writing failed (shown once); events are still dropped
  bool dropping = false;   // the last drain found events dropped (shown once a spell)
};

// Starts recording into `path` (replaced: the callers keep an earlier one first). false
// when it cannot be written (shown).
bool StartRecording(Recorder& recorder, const char* path);
// Writes what has gathered; the file is then whole up to its last record. false once
// writing has failed (shown once).
bool DrainRecording(Recorder& recorder);
// Drains and closes the file.
void StopRecording(Recorder& recorder);

// An event, from any thread. Payloads longer than the format's limit are cut into parts.
void RecordBytes(Recorder& recorder, RecordKind kind, const uint8_t* bytes, int count);
void RecordLineSettings(Recorder& recorder, uint32_t baud, int parity);
void RecordBreak(Recorder& recorder, int ms);
void RecordNote(Recorder& recorder, const char* text);

// Reading a recording: one record at a time, in order. A record cut short by the end of
// the file (a recorder killed while writing) ends the reading, like the end itself.
struct RecordingReader {
  FILE* file = nullptr;
  bool valid = false;  // the header was right
};

struct Record {
  RecordKind kind = kRecordNote;
  uint64_t microseconds = 0;
  int length = 0;
  uint8_t payload[kMaxRecordPayload];
};

bool OpenRecording(RecordingReader& reader, const char* path);
bool ReadRecord(RecordingReader& reader, Record& record);
void CloseRecording(RecordingReader& reader);
