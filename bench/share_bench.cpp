// SPDX-License-Identifier: BSD-2-Clause
// One receiver shared by tarnex-log --share with N clients that poll as panels do (a long
// and a short screen request every 900 ms, each from its own moment): the requests that
// reach the receiver a second, the logger's CPU a client, and key press to changed screen
// through the logger against a client on the receiver's line directly. The receiver is
// the simulator on a loopback TCP port, sending 10 data bursts a second; at the end every
// item must be in the logger's files, and no client may have been dropped.
//   share_bench TARNEX_LOG [N...]   (N: 1 10 100 unless given)

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "link/packet.h"
#include "link/packet_type.h"
#include "sim/fake_receiver.h"
#include "tests/loopback_socket.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
const Bytes kLong = {0x00, 0x00, 0x78, 0x30, 0x38};
const Bytes kShort = {0x01};
constexpr int kPollMs = 900;

Bytes FrameOf(PacketType type, const Bytes& data) {
  uint8_t out[kMaxFrameLength];
  int size = BuildFrame(TypeByte(type), data.data(), static_cast<int>(data.size()), out);
  return Bytes(out, out + size);
}

void SendAll(int fd, const Bytes& bytes) {
  if (send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) < 0) std::perror("send");
}

// A client's receive side: frames cut out of what came, for the screens among them.
struct Client {
  int fd = -1;
  Clock::time_point nextPoll;
  RxRing rx;
  int linkState = kNothingReceived;
  int screens = 0;
  Bytes lastScreen;
};

// Reads what waits; false when the connection ended.
bool Drain(Client& client) {
  uint8_t bytes[16384];
  for (;;) {
    ssize_t count = recv(client.fd, bytes, sizeof bytes, MSG_DONTWAIT);
    if (count == 0) return false;
    if (count < 0) return true;
    for (ssize_t at = 0; at < count;) {
      int pushed = PushReceived(client.rx, bytes + at, static_cast<int>(count - at));
      at += pushed;
      Packet packet;
      int pulled;
      while ((pulled = PullPacket(client.rx, client.linkState, packet)) != -1) {
        if (pulled == 0 && packet.type == TypeByte(PacketType::kScreen)) {
          ++client.screens;
          client.lastScreen.assign(packet.data, packet.data + packet.length);
        }
      }
      if (pushed == 0) break;
    }
  }
}

// Asks for the screen until one whose first line starts with `start` comes; false after 3 s.
bool AwaitPage(Client& client, const char* start) {
  auto since = Clock::now();
  size_t length = std::strlen(start);
  while (Clock::now() - since < std::chrono::seconds(3)) {
    int screens = client.screens;
    SendAll(client.fd, FrameOf(PacketType::kScreen, kLong));
    auto asked = Clock::now();
    while (client.screens == screens && Clock::now() - asked < std::chrono::milliseconds(500)) {
      pollfd ready = {client.fd, POLLIN, 0};
      poll(&ready, 1, 5);
      if (!Drain(client)) return false;
    }
    if (client.lastScreen.size() >= length &&
        std::equal(start, start + length, client.lastScreen.begin()))
      return true;
  }
  return false;
}

// Key press to changed screen as a panel has it: the key, then a request, and again while
// the screen is the one from before the key. Two pages with no clock on them, in turn (a
// page with a clock changes by itself). The median of `keys`, or -1.
double KeyLatency(int port, int keys) {
  Client client;
  client.fd = ConnectLoopback(port);
  if (client.fd < 0) return -1;
  std::vector<double> times;
  for (int i = 0; i < keys; ++i) {
    bool toSatellites = i % 2 == 0;
    auto since = Clock::now();
    SendAll(client.fd, FrameOf(PacketType::kKey, {static_cast<uint8_t>(toSatellites ? 'K' : 'J')}));
    if (!AwaitPage(client, toSatellites ? "SV" : "APPLICATION")) return -1;
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - since).count());
  }
  close(client.fd);
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

long long CpuNs(pid_t pid) {
  long long total = 0;
  std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::unique_ptr<FILE, int (*)(FILE*)> list(
      popen(("cat " + tasks + "/*/schedstat 2>/dev/null").c_str(), "r"), pclose);
  long long ns = 0, wait = 0, slices = 0;
  while (list && std::fscanf(list.get(), "%lld %lld %lld", &ns, &wait, &slices) == 3) total += ns;
  return total;
}

struct Logger {
  pid_t pid = -1;
  std::string dir;
  int sharePort = 0;
};

bool StartLogger(Logger& logger, const char* program, int simPort) {
  char folder[] = "/tmp/tarnex-share-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) return false;
  logger.dir = folder;
  std::string device = "tcp://127.0.0.1:" + std::to_string(simPort);
  logger.pid = fork();
  if (logger.pid == 0) {
    int out = open((logger.dir + "/output.txt").c_str(), O_WRONLY | O_CREAT, 0644);
    dup2(out, 1);
    dup2(out, 2);
    execl(program, "tarnex-log", "-D", device.c_str(), "-o", logger.dir.c_str(), "--share", "0",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 500 && logger.sharePort == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(logger.dir + "/output.txt");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = text.find("sharing the receiver at tcp://127.0.0.1:");
    if (at != std::string::npos && text.find("connected to") != std::string::npos)
      logger.sharePort = std::atoi(text.c_str() + at + 40);
  }
  return logger.sharePort > 0;
}

std::string StopLogger(Logger& logger, int& status) {
  kill(logger.pid, SIGTERM);
  waitpid(logger.pid, &status, 0);
  std::ifstream in(logger.dir + "/output.txt");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string command = "rm -rf " + logger.dir;
  if (std::system(command.c_str()) != 0)
    std::fprintf(stderr, "could not remove %s\n", logger.dir.c_str());
  return text;
}

int LongRequestsAtReceiver(FakeReceiver& receiver) {
  int count = 0;
  for (const SeenPacket& packet : ReceivedPackets(receiver))
    count += packet.type == TypeByte(PacketType::kScreen) && packet.data == kLong;
  return count;
}

// N panels for `seconds`: requests at the receiver a second, screens each client got a
// second, the logger's CPU.
bool RunClients(const char* program, int n, double directKeyMs) {
  FakeReceiver receiver;
  ReceiverScript script;
  script.identification = "PRODUCT,MORWICK;PORT,1,0,115200,8,1,N,X;VERSION,2.10";
  script.dataRate = 10;
  script.tcpPort = 30000 + static_cast<int>(getpid() % 20000);
  if (!StartFakeReceiver(receiver, script)) return false;
  Logger logger;
  if (!StartLogger(logger, program, script.tcpPort)) {
    std::fprintf(stderr, "the logger did not start\n");
    return false;
  }
  std::vector<Client> clients(static_cast<size_t>(n));
  std::mt19937 random(n);
  std::uniform_int_distribution<int> phase(0, kPollMs);
  auto start = Clock::now();
  for (Client& client : clients) {
    client.fd = ConnectLoopback(logger.sharePort);
    client.nextPoll = start + std::chrono::milliseconds(phase(random));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  int requestsBefore = LongRequestsAtReceiver(receiver);
  long long cpuBefore = CpuNs(logger.pid);
  auto measureFrom = Clock::now();
  const int seconds = 10;
  while (Clock::now() - measureFrom < std::chrono::seconds(seconds)) {
    auto now = Clock::now();
    for (Client& client : clients) {
      if (now >= client.nextPoll) {
        SendAll(client.fd, Bytes(FrameOf(PacketType::kScreen, kLong)));
        SendAll(client.fd, Bytes(FrameOf(PacketType::kScreen, kShort)));
        client.nextPoll += std::chrono::milliseconds(kPollMs);
      }
      Drain(client);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  double cpuMs = static_cast<double>(CpuNs(logger.pid) - cpuBefore) / 1e6;
  int requests = LongRequestsAtReceiver(receiver) - requestsBefore;
  double keyMs = KeyLatency(logger.sharePort, 20);
  int screensLeast = 1 << 30;
  for (Client& client : clients) {
    Drain(client);
    screensLeast = std::min(screensLeast, client.screens);
    close(client.fd);
  }
  unsigned long bursts = StopSendingData(receiver);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  int status = 0;
  std::string said = StopLogger(logger, status);
  bool whole = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
               said.find("every item is on disk") != std::string::npos &&
               said.find("dropped") == std::string::npos;
  std::printf(
      "%3d clients: %d long requests in %d s at the receiver (one panel alone: %d or %d); "
      "each client got >= %d screens; logger CPU %.1f ms/s (%.2f ms/s a client); key to "
      "changed screen median %.2f ms (on the line directly: %.2f ms); %lu bursts, %s\n",
      n, requests, seconds, seconds * 1000 / kPollMs, seconds * 1000 / kPollMs + 1, screensLeast,
      cpuMs / seconds, cpuMs / seconds / n, keyMs, directKeyMs, bursts,
      whole ? "every item logged, no client dropped" : "ITEMS LOST OR A CLIENT DROPPED");
  std::fflush(stdout);
  return whole;
}

// The same key measure with the client on the simulator's port itself.
double DirectKeyLatency() {
  FakeReceiver receiver;
  ReceiverScript script;
  script.identification = "PRODUCT,MORWICK;PORT,1,0,115200,8,1,N,X;VERSION,2.10";
  script.dataRate = 10;
  script.tcpPort = 30000 + static_cast<int>((getpid() + 7) % 20000);
  if (!StartFakeReceiver(receiver, script)) return -1;
  return KeyLatency(script.tcpPort, 20);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: share_bench TARNEX_LOG [N...]\n");
    return 2;
  }
  std::vector<int> counts;
  for (int i = 2; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
  if (counts.empty()) counts = {1, 10, 100};
  double direct = DirectKeyLatency();
  bool all = true;
  for (int n : counts) all = RunClients(argv[1], n, direct) && all;
  return all ? 0 : 1;
}
