// SPDX-License-Identifier: BSD-2-Clause
#include "log/log_options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const char* const kLogUsage =
    "usage: tarnex-log -D DEVICE [-o DIR] [--for DURATION] [--quiet] [--wait]\n"
    "                  [--silence DURATION] [--record FILE] [--split hour|day]\n"
    "                  [--keep DURATION] [--min-free SIZE] [--metrics [ADDR:]PORT]\n"
    "                  [--share [ADDR:]PORT] [--nmea-out [ADDR:]PORT]\n"
    "                  [--share-allow CIDR,...] [--share-control CIDR,...]\n"
    "                  [--web [ADDR:]PORT [--web-users FILE] [--tls-cert FILE --tls-key FILE]]\n"
    "       tarnex-log --check DEVICE\n"
    "       tarnex-log --hash-password < PASSWORD\n"
    "Logs a GPS receiver of the Morwick family without a window: identifies it as the\n"
    "panel does, switches the line to its settings, and writes posn.dmp, obsd.dmp,\n"
    "corr.dmp and nmea.dmp until stopped (SIGINT, SIGTERM) or for the time given. It sends\n"
    "the receiver nothing beyond the identification (with --share, what its clients send),\n"
    "and reconnects by itself when the receiver is lost. An earlier file that holds data is kept "
    "under its dated name; one\n"
    "logger at a time writes into a folder.\n"
    "  -D DEVICE        /dev/ttyUSB0, com1..com20, rfc2217://HOST:PORT, tcp://HOST:PORT\n"
    "  -o DIR           where the dump files go (default: the current directory)\n"
    "  --for DURATION   stop after 90s, 15m, 2h, 1d, 2w or 1y (365 days); a bare number\n"
    "                   is seconds\n"
    "  --quiet          show failures only\n"
    "  --wait           when the receiver cannot be reached at start, keep trying\n"
    "  --silence DURATION  no byte at all for this long (default 60s) on a line that\n"
    "                   was sending: the receiver is taken as lost and reconnected; 0: never\n"
    "  --split hour|day  a new set of files at each UTC hour or day, named by it:\n"
    "                   DIR/YYYY/DDD/posn-YYYYMMDD-HH.dmp or DIR/YYYY/DDD/posn-YYYYMMDD.dmp;\n"
    "                   a restart within the hour or day writes on at their end\n"
    "  --keep DURATION  with --split: delete its own files older than this (30d, 400d,\n"
    "                   2y...), once the clock can be trusted\n"
    "  --min-free SIZE  warn when the folder's disk has less free than this (500M, 2G);\n"
    "                   nothing is deleted for it\n"
    "  --metrics [ADDR:]PORT  serve Prometheus metrics at http://ADDR:PORT/metrics\n"
    "                   (ADDR 127.0.0.1 unless given; PORT 0: any free port, said at start)\n"
    "  --share [ADDR:]PORT  share the receiver while logging: each client on the port\n"
    "                   finds the receiver's line (tarnex -D tcp://HOST:PORT); screen\n"
    "                   requests are shared, so many panels ask no more than one\n"
    "  --nmea-out [ADDR:]PORT  the receiver's NMEA sentences to any number of clients\n"
    "                   (gpsd -N tcp://HOST:PORT)\n"
    "                   (ADDR 127.0.0.1 unless given; PORT 0: any free port, said at start)\n"
    "  --share-allow CIDR,...  who may attach (default: anyone who reaches the port)\n"
    "  --share-control CIDR,...  who may press keys (default: 127.0.0.0/8,::1); the\n"
    "                   others only watch\n"
    "  --web [ADDR:]PORT  the receiver's panel in a browser at http://ADDR:PORT/ (the\n"
    "                   display, its keys, the logging and the fix); on loopback only,\n"
    "                   unless --web-users names who may log in\n"
    "  --web-users FILE  one user a line: NAME view|control HASH (from --hash-password)\n"
    "  --tls-cert FILE, --tls-key FILE  serve the panel over HTTPS with this certificate\n"
    "                   and key (PEM)\n"
    "  --hash-password  print the hash of the password read from standard input\n"
    "  --record FILE    also record every byte on the line both ways, with its time\n"
    "                   (docs/recording-format.md)\n"
    "  --check DEVICE   look for the common reasons a port does not work; changes\n"
    "                   nothing on the receiver\n"
    "  --help, --version\n"
    "A write that fails (a full disk, a folder that went) is said, the items are counted\n"
    "as lost until writing works again, and the end says what was lost. SIGHUP is\n"
    "ignored: logging goes on after the terminal closes; a closed output ends only the\n"
    "output.\n"
    "Exit status: 0 after a clean stop with every item on disk, 1 when the device cannot\n"
    "be opened or the receiver not identified at start (without --wait) or the folder is\n"
    "being logged into already, 2 for a wrong command line, 3 when items were lost.\n";

namespace {

bool CopyValue(const char* value, char* out, const char* what, char* error, int errorSize) {
  if (std::strlen(value) >= kLogPathSize) {
    std::snprintf(error, static_cast<size_t>(errorSize), "%s is too long", what);
    return false;
  }
  std::snprintf(out, kLogPathSize, "%s", value);
  return true;
}

}  // namespace

int64_t ParseDuration(const char* text) {
  static const struct {
    char unit;
    int64_t seconds;
  } kUnits[] = {{'s', 1},     {'m', 60},        {'h', 3600},
                {'d', 86400}, {'w', 7 * 86400}, {'y', 365 * 86400}};
  const char* end = text;
  int64_t value = 0;
  for (; *end >= '0' && *end <= '9'; ++end) {
    if (value > kMaxDurationSeconds) return -1;  // and no overflow, however many digits
    value = value * 10 + (*end - '0');
  }
  if (end == text || value == 0) return -1;
  int64_t scale = *end == '\0' ? 1 : 0;
  for (const auto& unit : kUnits) {
    if (*end == unit.unit && end[1] == '\0') scale = unit.seconds;
  }
  if (scale == 0 || value > kMaxDurationSeconds / scale) return -1;
  return value * scale;
}

unsigned long long ParseSize(const char* text) {
  char* end = nullptr;
  unsigned long long value = std::strtoull(text, &end, 10);
  if (end == text || text[0] == '-' || value == 0) return 0;
  const char* const units = "KMGT";
  const char* unit = *end != '\0' ? std::strchr(units, *end) : nullptr;
  if (*end != '\0' && (unit == nullptr || end[1] != '\0')) return 0;
  for (const char* step = units; unit != nullptr && step <= unit; ++step) {
    if (value > ~0ULL / 1000) return 0;
    value *= 1000;
  }
  return value;
}

namespace {

// "9100", "0.0.0.0:9100", "[::1]:9100"; false when the port is not 0..65535.
bool ParseListenAddress(const char* value, char (&host)[64], int& port) {
  const char* colon = std::strrchr(value, ':');
  const char* digits = colon != nullptr ? colon + 1 : value;
  char* end = nullptr;
  long number = std::strtol(digits, &end, 10);
  if (end == digits || *end != '\0' || number < 0 || number > 65535) return false;
  size_t hostLength = colon != nullptr ? static_cast<size_t>(colon - value) : 0;
  if (hostLength >= 2 && value[0] == '[' && value[hostLength - 1] == ']') {
    ++value;
    hostLength -= 2;
  }
  if (colon != nullptr && hostLength == 0) return false;
  if (hostLength >= sizeof host) return false;
  if (hostLength == 0) {
    std::snprintf(host, sizeof host, "127.0.0.1");
  } else {
    std::snprintf(host, sizeof host, "%.*s", static_cast<int>(hostLength), value);
  }
  port = static_cast<int>(number);
  return true;
}

// The listening places and who may use them. false with `error` set.
bool ParseShareOption(const char* arg, const char* value, LogOptions& options, char* error,
                      int errorSize) {
  bool place = std::strcmp(arg, "--share") == 0 || std::strcmp(arg, "--nmea-out") == 0;
  bool parsed = false;
  if (std::strcmp(arg, "--share") == 0) {
    parsed = ParseListenAddress(value, options.shareHost, options.sharePort);
  } else if (std::strcmp(arg, "--nmea-out") == 0) {
    parsed = ParseListenAddress(value, options.nmeaHost, options.nmeaPort);
  }
  if (place) {
    if (!parsed) {
      std::snprintf(error, static_cast<size_t>(errorSize), "%s %.40s: not a port, nor ADDRESS:PORT",
                    arg, value);
    }
    return parsed;
  }
  bool allow = std::strcmp(arg, "--share-allow") == 0;
  AddressRanges& ranges = allow ? options.shareAllow : options.shareControl;
  char why[120];
  if (!ParseAddressRanges(value, ranges, why, sizeof why)) {
    std::snprintf(error, static_cast<size_t>(errorSize), "%s: %s", arg, why);
    return false;
  }
  if (allow) options.shareAllowGiven = true;
  return true;
}

bool IsWebOption(const char* arg) {
  return std::strcmp(arg, "--web") == 0 || std::strcmp(arg, "--web-users") == 0 ||
         std::strcmp(arg, "--tls-cert") == 0 || std::strcmp(arg, "--tls-key") == 0;
}

bool ParseWebOption(const char* arg, const char* value, LogOptions& options, char* error,
                    int errorSize) {
  if (std::strcmp(arg, "--web") == 0) {
    if (ParseListenAddress(value, options.webHost, options.webPort)) return true;
    std::snprintf(error, static_cast<size_t>(errorSize),
                  "--web %.40s: not a port, nor ADDRESS:PORT", value);
    return false;
  }
  if (std::strcmp(arg, "--web-users") == 0) {
    return CopyValue(value, options.webUsers, "the users file's name", error, errorSize);
  }
  if (std::strcmp(arg, "--tls-cert") == 0) {
    return CopyValue(value, options.tlsCertificate, "the certificate's name", error, errorSize);
  }
  return CopyValue(value, options.tlsKey, "the key's name", error, errorSize);
}

bool IsLoopback(const char* host) {
  if (std::strcmp(host, "localhost") == 0) return true;
  NetAddress address;
  AddressRanges loopback;
  LoopbackRanges(loopback);
  return ParseNetAddress(host, address) && InRanges(loopback, address);
}

// The web panel's options together. false with `error` set.
bool CheckWebOptions(const LogOptions& options, char* error, int errorSize) {
  bool web = options.webPort >= 0;
  bool tls = options.tlsCertificate[0] != '\0' || options.tlsKey[0] != '\0';
  if (!web && (options.webUsers[0] != '\0' || tls)) {
    std::snprintf(error, static_cast<size_t>(errorSize),
                  "--web-users, --tls-cert and --tls-key go with --web [ADDR:]PORT");
    return false;
  }
  if (tls && (options.tlsCertificate[0] == '\0' || options.tlsKey[0] == '\0')) {
    std::snprintf(error, static_cast<size_t>(errorSize), "give both --tls-cert and --tls-key");
    return false;
  }
  if (web && options.webUsers[0] == '\0' && !IsLoopback(options.webHost)) {
    std::snprintf(error, static_cast<size_t>(errorSize),
                  "--web %s:%d: without --web-users the panel is served on loopback only, as "
                  "whoever reaches it may press the receiver's keys; give --web-users FILE, or "
                  "serve on 127.0.0.1 and reach it through SSH or a reverse proxy",
                  options.webHost, options.webPort);
    return false;
  }
  return true;
}

bool IsShareOption(const char* arg) {
  return std::strcmp(arg, "--share") == 0 || std::strcmp(arg, "--nmea-out") == 0 ||
         std::strcmp(arg, "--share-allow") == 0 || std::strcmp(arg, "--share-control") == 0;
}

}  // namespace

bool ParseLogOptions(int argc, const char* const* argv, LogOptions& options, char* error,
                     int errorSize) {
  LoopbackRanges(options.shareControl);
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      options.help = true;
      continue;
    }
    if (std::strcmp(arg, "--version") == 0) {
      options.version = true;
      continue;
    }
    if (std::strcmp(arg, "--quiet") == 0 || std::strcmp(arg, "-q") == 0) {
      options.quiet = true;
      continue;
    }
    if (std::strcmp(arg, "--wait") == 0) {
      options.wait = true;
      continue;
    }
    if (std::strcmp(arg, "--hash-password") == 0) {
      options.hashPassword = true;
      continue;
    }
    bool takesValue = std::strcmp(arg, "-D") == 0 || std::strcmp(arg, "-o") == 0 ||
                      std::strcmp(arg, "--for") == 0 || std::strcmp(arg, "--check") == 0 ||
                      std::strcmp(arg, "--record") == 0 || std::strcmp(arg, "--silence") == 0 ||
                      std::strcmp(arg, "--split") == 0 || std::strcmp(arg, "--keep") == 0 ||
                      std::strcmp(arg, "--min-free") == 0 || std::strcmp(arg, "--metrics") == 0 ||
                      IsShareOption(arg) || IsWebOption(arg);
    if (!takesValue) {
      std::snprintf(error, static_cast<size_t>(errorSize), "unknown option: %s", arg);
      return false;
    }
    if (i + 1 >= argc) {
      std::snprintf(error, static_cast<size_t>(errorSize), "%s needs a value", arg);
      return false;
    }
    const char* value = argv[++i];
    if (std::strcmp(arg, "--for") == 0) {
      options.forSeconds = ParseDuration(value);
      if (options.forSeconds < 0) {
        std::snprintf(error, static_cast<size_t>(errorSize),
                      "--for %.40s: not a duration such as 90s, 15m, 2h, 1d or 2y (at most 100y)",
                      value);
        return false;
      }
    } else if (std::strcmp(arg, "--silence") == 0) {
      options.silenceSeconds = std::strcmp(value, "0") == 0 ? 0 : ParseDuration(value);
      if (options.silenceSeconds < 0) {
        std::snprintf(error, static_cast<size_t>(errorSize),
                      "--silence %.40s: not a duration such as 60s or 5m (at most 100y), nor 0",
                      value);
        return false;
      }
    } else if (std::strcmp(arg, "--keep") == 0) {
      options.keepSeconds = ParseDuration(value);
      if (options.keepSeconds < 0) {
        std::snprintf(error, static_cast<size_t>(errorSize),
                      "--keep %.40s: not a duration such as 30d, 400d or 2y (at most 100y)", value);
        return false;
      }
    } else if (std::strcmp(arg, "--min-free") == 0) {
      options.minFree = ParseSize(value);
      if (options.minFree == 0) {
        std::snprintf(error, static_cast<size_t>(errorSize),
                      "--min-free %.40s: not a size such as 500M or 2G", value);
        return false;
      }
    } else if (std::strcmp(arg, "--metrics") == 0) {
      if (!ParseListenAddress(value, options.metricsHost, options.metricsPort)) {
        std::snprintf(error, static_cast<size_t>(errorSize),
                      "--metrics %.40s: not a port, nor ADDRESS:PORT", value);
        return false;
      }
    } else if (IsShareOption(arg)) {
      if (!ParseShareOption(arg, value, options, error, errorSize)) return false;
    } else if (IsWebOption(arg)) {
      if (!ParseWebOption(arg, value, options, error, errorSize)) return false;
    } else if (std::strcmp(arg, "--split") == 0) {
      options.split = std::strcmp(value, "hour") == 0  ? 3600
                      : std::strcmp(value, "day") == 0 ? 86400
                                                       : -1;
      if (options.split < 0) {
        std::snprintf(error, static_cast<size_t>(errorSize), "--split %.40s: hour or day", value);
        return false;
      }
    } else if (std::strcmp(arg, "-o") == 0) {
      if (!CopyValue(value, options.directory, "the directory", error, errorSize)) return false;
    } else if (std::strcmp(arg, "--record") == 0) {
      if (!CopyValue(value, options.record, "the recording's name", error, errorSize)) return false;
    } else {
      options.check = options.check || std::strcmp(arg, "--check") == 0;
      if (!CopyValue(value, options.device, "the device name", error, errorSize)) return false;
    }
  }
  if (options.keepSeconds > 0 && options.split == 0) {
    std::snprintf(error, static_cast<size_t>(errorSize),
                  "--keep deletes split files only: give --split hour or day");
    return false;
  }
  if (!CheckWebOptions(options, error, errorSize)) return false;
  if (!options.help && !options.version && !options.hashPassword && options.device[0] == '\0') {
    std::snprintf(error, static_cast<size_t>(errorSize), "no device: give -D DEVICE");
    return false;
  }
  return true;
}
