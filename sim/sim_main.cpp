// SPDX-License-Identifier: BSD-2-Clause
// tarnex-sim: a simulated receiver of the Morwick family on a pseudo-terminal.

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/fake_receiver.h"

namespace {

volatile sig_atomic_t stopSignal = 0;

void OnSignal(int) {
  stopSignal = 1;
}

volatile sig_atomic_t dataStopSignal = 0;  // SIGUSR1: no more data, and say what went

void OnDataStopSignal(int) {
  dataStopSignal = 1;
}

struct SimOptions {
  std::string product = "MORWICK";
  std::string port = "0";
  std::string baud = "38400";
  std::string parity = "N";
  std::string version = "2.10";
  std::string link;
  std::string traffic;
  std::string replay;
  std::string nmea;  // a plain NMEA capture to play as the data
  bool loop = false;
  double speed = 1;
  double rate = -1;  // -1: not given (1 data burst a second; a capture at the line's speed)
  double garbage = 0.0;
  double tcpPort = 0;
  double unplugAfter = 0;  // seconds; 0: never
  double keyDelay = 0;     // milliseconds
  bool ack = true;
  bool lineTime = false;
  bool cookedLine = false;
};

const char* const kUsage =
    "usage: tarnex-sim [options]\n"
    "Plays a GPS receiver of the Morwick family on a pseudo-terminal and prints the path\n"
    "of the device to open: tarnex -D PATH. Ends on SIGINT or SIGTERM, or when the panel\n"
    "has closed the device for good. SIGUSR1 stops the data bursts and prints how many\n"
    "were sent.\n"
    "  --link PATH       also make a symbolic link to the device at PATH\n"
    "  --tcp PORT        serve the receiver on 127.0.0.1:PORT instead of a pty\n"
    "  --product NAME    MORWICK (default), VELTARIS (two-line capable) or QZ77 (polled\n"
    "                    every 400 ms); any other name is an ordinary receiver\n"
    "  --port N          the receiver port the cable is on, 0 to 3 (default 0)\n"
    "  --baud N          the baud rate that port reports (default 38400)\n"
    "  --parity N|E|O    the parity it reports (default N)\n"
    "  --firmware V      firmware version (default 2.10; VELTARIS needs 1.4 for two lines)\n"
    "  --no-ack          do not answer ENQ; send the identification unasked, as a\n"
    "                    receiver that needs a break does\n"
    "  --rate R          data bursts a second: NMEA and data packets (default 1, 0: none);\n"
    "                    with --nmea, the capture's lines a second\n"
    "  --nmea FILE       play a plain NMEA capture (a receiver's log; '#' lines are left\n"
    "                    out) as the receiver's data, line by line as it stands, at the\n"
    "                    line's speed unless --rate is given; the data bursts are off\n"
    "  --loop            play the capture again and again (default: once)\n"
    "  --garbage P       fraction P (0 to 1) of data items corrupted, with line noise\n"
    "  --unplug-after S  S seconds after the panel first speaks, the device vanishes (as a\n"
    "                    pulled USB adapter does) and comes back 2 s later as a new\n"
    "                    pseudo-terminal behind the same --link\n"
    "  --key-delay MS    a key changes the screen MS milliseconds after it arrives\n"
    "                    (default 0), as a receiver that takes its time over a key\n"
    "  --cooked-line     the device starts with XON/XOFF flow control and CR-to-NL on, as\n"
    "                    another program may leave a port, and the identification holds\n"
    "                    CR LF, XON and XOFF: a program that does not set the line raw\n"
    "                    loses them\n"
    "  --line-time       what the receiver sends takes its time on the line at the\n"
    "                    speed the panel set, 10 bits a byte, as on a real cable\n"
    "  --replay FILE     play the receiver's side of a recording (tarnex-log --record,\n"
    "                    File > Record session...): its identification, its screens\n"
    "                    in answer to requests, its data with the original timing\n"
    "  --speed N         the recording's timing N times faster (default 1)\n"
    "  --log FILE        a line for each packet the panel sends: type, length and the\n"
    "                    line speed in force, in hex and decimal (\"82 5 38400\")\n"
    "  --help            this text\n"
    "  --version         the program's version\n";

bool ReadNumber(const char* text, double low, double high, double& out) {
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(value >= low && value <= high)) return false;
  out = value;
  return true;
}

// false with a message on standard error when the options are not understood.
bool ParseOptions(int argc, char** argv, SimOptions& options) {
  struct Text {
    const char* name;
    std::string* value;
  } texts[] = {{"--link", &options.link},     {"--log", &options.traffic},
               {"--replay", &options.replay}, {"--product", &options.product},
               {"--port", &options.port},     {"--baud", &options.baud},
               {"--parity", &options.parity}, {"--firmware", &options.version},
               {"--nmea", &options.nmea}};
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    }
    if (arg == "--version") {
      std::puts("tarnex-sim " TARNEX_VERSION);
      std::exit(0);
    }
    if (arg == "--no-ack") {
      options.ack = false;
      continue;
    }
    if (arg == "--cooked-line") {
      options.cookedLine = true;
      continue;
    }
    if (arg == "--line-time") {
      options.lineTime = true;
      continue;
    }
    if (arg == "--loop") {
      options.loop = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::fprintf(stderr, "tarnex-sim: %s: unknown option, or its value is missing\n",
                   arg.c_str());
      return false;
    }
    const char* value = argv[++i];
    bool known = false;
    for (const Text& text : texts) {
      if (arg == text.name) {
        *text.value = value;
        known = true;
      }
    }
    struct Number {
      const char* name;
      double* value;
      double low, high;
    } numbers[] = {{"--rate", &options.rate, 0.0, 10000.0},
                   {"--garbage", &options.garbage, 0.0, 1.0},
                   {"--tcp", &options.tcpPort, 1.0, 65535.0},
                   {"--unplug-after", &options.unplugAfter, 0.0, 86400.0},
                   {"--key-delay", &options.keyDelay, 0.0, 10000.0},
                   {"--speed", &options.speed, 0.01, 1000.0}};
    for (const Number& number : numbers) {
      if (arg != number.name) continue;
      if (!ReadNumber(value, number.low, number.high, *number.value)) {
        std::fprintf(stderr, "tarnex-sim: %s %s: not a number in range\n", arg.c_str(), value);
        return false;
      }
      known = true;
    }
    if (!known) {
      std::fprintf(stderr, "tarnex-sim: %s: unknown option (see --help)\n", arg.c_str());
      return false;
    }
  }
  return true;
}

// The capture's lines as they stand, each with its own line end; a '#' line is a note.
bool ReadCapture(const std::string& path, std::vector<std::string>& lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "tarnex-sim: cannot read %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  for (std::string line; std::getline(in, line);) {
    if (line.rfind('#', 0) != 0) lines.push_back(line + "\n");
  }
  if (lines.empty()) std::fprintf(stderr, "tarnex-sim: %s holds no lines to play\n", path.c_str());
  return !lines.empty();
}

std::string IdentificationText(const SimOptions& options) {
  return "PRODUCT," + options.product + ";PORT," + options.port + ",0," + options.baud + ",8,1," +
         options.parity + ",X;VERSION," + options.version;
}

bool MakeLink(const std::string& link, const char* path) {
  if (link.empty()) return true;
  if (unlink(link.c_str()) != 0 && errno != ENOENT) {
    std::fprintf(stderr, "tarnex-sim: cannot replace %s: %s\n", link.c_str(), std::strerror(errno));
    return false;
  }
  if (symlink(path, link.c_str()) == 0) return true;
  std::fprintf(stderr, "tarnex-sim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
  return false;
}

// Starts the receiver on a new line and tells where it is.
bool StartReceiver(FakeReceiver& receiver, const ReceiverScript& script,
                   const SimOptions& options) {
  receiver.model.twoLine = options.product.rfind("VELTARIS", 0) == 0;
  if (!StartFakeReceiver(receiver, script)) return false;
  if (script.tcpPort > 0) {
    std::printf("127.0.0.1:%d\n", script.tcpPort);
  } else {
    const char* path = FakeReceiverPath(receiver);
    if (!MakeLink(options.link, path)) return false;
    std::printf("%s\n", path);
  }
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions options;
  if (!ParseOptions(argc, argv, options)) return 2;
  ReceiverScript script;
  script.identification = IdentificationText(options);
  script.enqReply = options.ack ? EnqReply::kAck : EnqReply::kSilent;
  script.unaskedReplyMs = options.ack ? -1 : 500;
  script.dataRate = options.rate < 0 ? 1 : options.rate;
  std::vector<std::string> capture;
  if (!options.nmea.empty()) {
    if (!ReadCapture(options.nmea, capture)) return 1;
    script.nmea = &capture;
    script.nmeaRate = options.rate < 0 ? 0 : options.rate;
    script.nmeaLoop = options.loop;
    script.dataRate = 0;
  }
  script.garbage = options.garbage;
  script.releaseSlaveOnContact = true;
  script.tcpPort = static_cast<int>(options.tcpPort);
  script.keyDelayMs = static_cast<int>(options.keyDelay);
  script.lineTime = options.lineTime;
  script.cookedLine = options.cookedLine;
  if (options.cookedLine) script.identification += "\r\n\x11\x13";
  if (!options.traffic.empty()) {
    script.traffic = std::fopen(options.traffic.c_str(), "w");
    if (script.traffic == nullptr) {
      std::fprintf(stderr, "tarnex-sim: cannot write %s: %s\n", options.traffic.c_str(),
                   std::strerror(errno));
      return 1;
    }
  }
  Replay replay;
  if (!options.replay.empty()) {
    std::string error;
    if (!LoadReplay(options.replay.c_str(), replay, error)) {
      std::fprintf(stderr, "tarnex-sim: %s: %s\n", options.replay.c_str(), error.c_str());
      return 1;
    }
    ScriptReplay(script, replay, options.speed);
    options.product = replay.identification.rfind("PRODUCT,VELTARIS", 0) == 0 ? "VELTARIS" : "";
  }
  auto receiver = std::make_unique<FakeReceiver>();
  if (!StartReceiver(*receiver, script, options)) return 1;
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  struct sigaction dataStop = {};
  dataStop.sa_handler = OnDataStopSignal;
  sigaction(SIGUSR1, &dataStop, nullptr);
  auto unplugAt = std::chrono::steady_clock::time_point::max();
  while (!stopSignal && !receiver->peerGone) {
    poll(nullptr, 0, 200);
    if (dataStopSignal) {
      dataStopSignal = 0;
      std::printf("sent %lu data bursts\n", StopSendingData(*receiver));
      std::fflush(stdout);
    }
    if (options.unplugAfter <= 0) continue;
    if (unplugAt == std::chrono::steady_clock::time_point::max() && HadContact(*receiver)) {
      unplugAt = std::chrono::steady_clock::now() +
                 std::chrono::milliseconds(static_cast<long>(options.unplugAfter * 1000));
    }
    if (std::chrono::steady_clock::now() < unplugAt) continue;
    options.unplugAfter = 0;
    HangUpFakeReceiver(*receiver);
    if (!options.link.empty()) unlink(options.link.c_str());
    std::this_thread::sleep_for(std::chrono::seconds(2));
    StopFakeReceiver(*receiver);
    auto back = std::make_unique<FakeReceiver>();
    if (!StartReceiver(*back, script, options)) return 1;
    receiver = std::move(back);
  }
  StopFakeReceiver(*receiver);
  if (!options.link.empty()) unlink(options.link.c_str());
  return 0;
}
