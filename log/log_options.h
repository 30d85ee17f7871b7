// SPDX-License-Identifier: BSD-2-Clause
#pragma once

#include <cstdint>

#include "share/address_range.h"

// tarnex-log's command line.

constexpr int kLogPathSize = 256;

struct LogOptions {
  char device[kLogPathSize] = {};
  char directory[kLogPathSize] = {};  // where the dump files go; "" for the current one
  char record[kLogPathSize] = {};     // --record: the flight recorder's file; "" for none
  int64_t forSeconds = 0;             // 0: until stopped
  int64_t silenceSeconds = 60;        // no byte for this long: the receiver is lost; 0: never
  int split = 0;                      // --split: seconds a file holds (3600, 86400); 0: one set
  int64_t keepSeconds = 0;         // --keep: split files older than this are deleted; 0: all kept
  unsigned long long minFree = 0;  // --min-free: warn below this many free bytes; 0: never
  char metricsHost[64] = {};       // --metrics: the address served on ("127.0.0.1" if none)
  int metricsPort = -1;            // -1: no metrics; 0: any free port (said at start)
  char shareHost[64] = {};         // --share: the receiver's line for panels and tools
  int sharePort = -1;              // -1: not shared
  char nmeaHost[64] = {};          // --nmea-out: the sentences for gpsd and the like
  int nmeaPort = -1;
  AddressRanges shareAllow;    // who may attach; all when a port is served beyond loopback
  AddressRanges shareControl;  // who may press keys; loopback unless --share-control
  bool shareAllowGiven = false;
  char webHost[64] = {};                   // --web: the receiver's panel for browsers
  int webPort = -1;                        // -1: not served
  char webUsers[kLogPathSize] = {};        // --web-users: who may log in; "": nobody needs to
  char tlsCertificate[kLogPathSize] = {};  // --tls-cert, --tls-key: HTTPS instead of HTTP
  char tlsKey[kLogPathSize] = {};
  bool hashPassword = false;  // --hash-password: a hash for --web-users, and no logging
  bool quiet = false;
  bool wait = false;   // keep trying when the receiver cannot be reached at start
  bool check = false;  // --check: look at the device instead of logging
  bool help = false;
  bool version = false;
};

// Reads the arguments (argv[1] on). false with `error` holding what is wrong.
bool ParseLogOptions(int argc, const char* const* argv, LogOptions& options, char* error,
                     int errorSize);

// "90", "90s", "15m", "2h", "1d", "2w", "1y" (365 days) in seconds; -1 when it is none of
// these, or longer than kMaxDurationSeconds.
int64_t ParseDuration(const char* text);
constexpr int64_t kMaxDurationSeconds = 100LL * 365 * 86400;

// "500M", "2G", "1T", "4096" in bytes; 0 when it is none. K, M, G and T are powers of 1000,
// as the sizes this program shows (kB, MB, GB) are.
unsigned long long ParseSize(const char* text);

extern const char* const kLogUsage;
