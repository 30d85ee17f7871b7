#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

// The dump files: posn.dmp, obsd.dmp, corr.dmp (whole frames as received) and nmea.dmp
// (accepted sentences), written while logging is on and flushed after every item.

enum DumpStreamId { kPosnStream, kObsdStream, kCorrStream, kNmeaStream, kDumpStreamCount };

struct DumpStream {
  const char* baseName;
  bool binary;
};

extern const DumpStream kDumpStreams[kDumpStreamCount];

// The stream a packet type is logged to, or -1 for types that are not logged.
int DumpStreamForPacketType(uint8_t type);

// Whether logging is on, and which logging period it is in, read together once per item.
// Bit 0: on; the bits above count the periods, so that each period starts its files afresh.
struct LoggingSwitch {
  std::atomic<unsigned> state{0};
};

void SetLogging(LoggingSwitch& logging, int on);
int LoggingOn(const LoggingSwitch& logging);

// One stream's open file, if any.
struct DumpSlot {
  FILE* file = nullptr;
  unsigned period = 0;          // the logging period the file was opened in
  unsigned reportedPeriod = 0;  // 1 + the period whose open or write failure was shown
};

// Writes one item of a stream, or closes the stream's file when logging is off.
// `directory` is where the files lie ("" for the current directory).
void WriteDump(const LoggingSwitch& logging, const char* directory, DumpStreamId stream,
               const uint8_t* bytes, int count, DumpSlot& slot);

void CloseDump(DumpSlot& slot);
