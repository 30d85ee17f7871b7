// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

// The dump files: posn.dmp, obsd.dmp, corr.dmp (whole frames as received) and nmea.dmp
// (accepted sentences), written while logging is on and flushed after every item.
//
// A logging period is what the user switches on and off. Within a period every
// connection writes on at the end of the same files; the first item of a new period
// starts its file afresh, and a file that already holds data is first kept under a name
// that says when it was last written (posn-20261207-101530.dmp). No log is ever emptied.

enum DumpStreamId { kPosnStream, kObsdStream, kCorrStream, kNmeaStream, kDumpStreamCount };

// Every stream is written exactly as received, NMEA's CR LF included: in binary mode,
// so that no platform turns a line end into another.
struct DumpStream {
  const char* baseName;
};

extern const DumpStream kDumpStreams[kDumpStreamCount];

// The stream a packet type is logged to, or -1 for types that are not logged.
int DumpStreamForPacketType(uint8_t type);

// Whether logging is on, and which logging period it is in, read together once per item.
// Bit 0: on; the bits above count the periods (the first is 1).
struct LoggingSwitch {
  std::atomic<unsigned> state{0};
};

void SetLogging(LoggingSwitch& logging, int on);
int LoggingOn(const LoggingSwitch& logging);

// One stream's file. It outlives the worker that writes it, so that the next connection
// knows which period the file on disk belongs to; only one worker uses it at a time.
struct DumpSlot {
  FILE* file = nullptr;
  unsigned period = 0;          // the period the file on disk was started in; 0: none
  unsigned reportedPeriod = 0;  // 1 + the period whose open or write failure was shown
};

// Writes one item of a stream, or closes the stream's file when logging is off.
// `directory` is where the files lie ("" for the current directory).
void WriteDump(const LoggingSwitch& logging, const char* directory, DumpStreamId stream,
               const uint8_t* bytes, int count, DumpSlot& slot);

void CloseDump(DumpSlot& slot);

// The name an earlier dump file is kept under: "<base>-YYYYMMDD-HHMMSS.dmp" from the
// local time it was last written, and "-2", "-3"... behind it when `attempt` is above 1.
void KeptDumpName(const char* baseName, std::time_t written, int attempt, char* out, size_t size);

// The directory the dump files go to, as a full path, for telling the user.
void DumpDirectoryText(const char* directory, char* out, size_t size);
