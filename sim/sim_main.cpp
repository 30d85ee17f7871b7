// tarnex-sim: a simulated receiver of the Morwick family on a pseudo-terminal.

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/fake_receiver.h"

namespace {

volatile sig_atomic_t stopSignal = 0;

void OnSignal(int) {
  stopSignal = 1;
}

struct SimOptions {
  std::string product = "MORWICK";
  unsigned port = 0;
  unsigned baud = 38400;
  char parity = 'N';
  std::string version = "2.10";
  bool ack = true;
  std::string link;
};

void Usage(FILE* out) {
  std::fprintf(out,
               "usage: tarnex-sim [options]\n"
               "Plays a GPS receiver on a pseudo-terminal and prints the device path.\n"
               "  --link PATH        also make a symbolic link to the device at PATH\n"
               "  --product NAME     MORWICK (default), VELTARIS (two-line) or QZ77\n"
               "  --port N           the receiver port the cable is on (default 0)\n"
               "  --baud N           its baud rate (default 38400)\n"
               "  --parity N|E|O     its parity (default N)\n"
               "  --version V        firmware version (default 2.10)\n"
               "  --no-ack           do not answer ENQ; send the identification unasked\n"
               "  --help             this text\n");
}

bool ParseOptions(int argc, char** argv, SimOptions& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 < argc) return argv[++i];
      std::fprintf(stderr, "tarnex-sim: %s needs a value\n", name);
      return nullptr;
    };
    const char* v = nullptr;
    if (arg == "--help") {
      Usage(stdout);
      std::exit(0);
    } else if (arg == "--no-ack") {
      options.ack = false;
    } else if (arg == "--link" && (v = value("--link"))) {
      options.link = v;
    } else if (arg == "--product" && (v = value("--product"))) {
      options.product = v;
    } else if (arg == "--port" && (v = value("--port"))) {
      options.port = static_cast<unsigned>(std::strtoul(v, nullptr, 10));
    } else if (arg == "--baud" && (v = value("--baud"))) {
      options.baud = static_cast<unsigned>(std::strtoul(v, nullptr, 10));
    } else if (arg == "--parity" && (v = value("--parity"))) {
      options.parity = v[0];
    } else if (arg == "--version" && (v = value("--version"))) {
      options.version = v;
    } else {
      if (v == nullptr && arg.rfind("--", 0) == 0 && arg != "--link" && arg != "--product" &&
          arg != "--port" && arg != "--baud" && arg != "--parity" && arg != "--version") {
        std::fprintf(stderr, "tarnex-sim: unknown option %s\n", arg.c_str());
      }
      Usage(stderr);
      return false;
    }
  }
  return true;
}

std::string IdentificationText(const SimOptions& options) {
  char text[256];
  std::snprintf(text, sizeof text, "PRODUCT,%s;PORT,%u,0,%u,8,1,%c,X;VERSION,%s",
                options.product.c_str(), options.port, options.baud, options.parity,
                options.version.c_str());
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions options;
  if (!ParseOptions(argc, argv, options)) return 2;
  ReceiverScript script;
  script.identification = IdentificationText(options);
  script.enqReply = options.ack ? EnqReply::kAck : EnqReply::kSilent;
  script.unaskedReplyMs = options.ack ? -1 : 500;
  FakeReceiver receiver;
  receiver.model.twoLine = options.product.rfind("VELTARIS", 0) == 0;
  if (!StartFakeReceiver(receiver, script)) return 1;
  const char* path = FakeReceiverPath(receiver);
  if (!options.link.empty()) {
    unlink(options.link.c_str());
    if (symlink(path, options.link.c_str()) != 0) {
      std::fprintf(stderr, "tarnex-sim: cannot link %s: %s\n", options.link.c_str(),
                   std::strerror(errno));
      return 1;
    }
  }
  std::printf("%s\n", path);
  std::fflush(stdout);
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  while (!stopSignal) pause();
  StopFakeReceiver(receiver);
  if (!options.link.empty()) unlink(options.link.c_str());
  return 0;
}
