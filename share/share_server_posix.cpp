// SPDX-License-Identifier: BSD-2-Clause
// The share server on Linux: non-blocking sockets, one poll(2) over the ports, the clients
// and a wake signal that the receive worker raises when items wait.

#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "base/tick.h"
#include "base/trace.h"
#include "base/wake_signal.h"
#include "share/share_server.h"

namespace {

constexpr int kListenBacklog = 16;
constexpr int kReadSize = 1024;
constexpr int kWriteSize = 16 * 1024;
// The kernel's own buffer for a client is kept small, so that one that stops reading is
// found out by its queue here, not hidden behind megabytes the kernel would take.
constexpr int kSendBufferBytes = 32 * 1024;
// A refusal is said again for the same address only after this long: a port scanner is
// not to fill the journal.
constexpr Tick kRefusalRepeatMs = 60 * 1000;

struct ClientSocket {
  int fd = -1;
  char name[kClientAddressSize + 8] = {};  // "192.168.1.7:50312", "[::1]:50312"
};

}  // namespace

struct ShareServer {
  ShareHub* hub = nullptr;
  ShareServerSettings settings;
  int shareFd = -1;
  int nmeaFd = -1;
  WakeSignal wake;
  std::atomic<bool> stopping{false};
  std::thread thread;
  ClientSocket clients[kMaxShareClients];
  char lastRefused[kClientAddressSize] = {};
  Tick lastRefusedAt = 0;
  uint8_t buffer[kWriteSize];
};

namespace {

void Say(ShareServer& server, bool failure, const char* format, const char* name,
         const char* detail = "") {
  char text[300];
  std::snprintf(text, sizeof text, format, name, detail);
  if (server.settings.say != nullptr) server.settings.say(server.settings.context, text, failure);
}

void WakeServer(void* context) {
  RaiseWakeSignal(static_cast<ShareServer*>(context)->wake);
}

// The place's socket, bound and listening, or -1 with the reason in `error`.
int Listen(ListenPlace& place, const char* option, char* error, int errorSize) {
  struct addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  char service[16];
  std::snprintf(service, sizeof service, "%d", place.port);
  struct addrinfo* found = nullptr;
  int looked = getaddrinfo(place.host, service, &hints, &found);
  if (looked != 0) {
    std::snprintf(error, static_cast<size_t>(errorSize), "%s %s:%d: no such address (%s)", option,
                  place.host, place.port, gai_strerror(looked));
    return -1;
  }
  int fd = socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  int on = 1;
  bool bound = fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
               bind(fd, found->ai_addr, found->ai_addrlen) == 0 && listen(fd, kListenBacklog) == 0;
  int reason = errno;
  freeaddrinfo(found);
  if (!bound) {
    std::snprintf(error, static_cast<size_t>(errorSize), "%s %s:%d: %s", option, place.host,
                  place.port, std::strerror(reason));
    if (fd >= 0) close(fd);
    return -1;
  }
  struct sockaddr_storage address = {};
  socklen_t size = sizeof address;
  if (getsockname(fd, reinterpret_cast<struct sockaddr*>(&address), &size) == 0) {
    place.port = ntohs(address.ss_family == AF_INET6
                           ? reinterpret_cast<struct sockaddr_in6*>(&address)->sin6_port
                           : reinterpret_cast<struct sockaddr_in*>(&address)->sin_port);
  }
  return fd;
}

// A client's address, as the ranges see it, and its name for the journal.
NetAddress PeerAddress(const struct sockaddr_storage& peer, char* name, int size) {
  NetAddress address;
  int port = 0;
  if (peer.ss_family == AF_INET6) {
    const auto& six = reinterpret_cast<const struct sockaddr_in6&>(peer);
    address.v4 = false;
    std::memcpy(address.bytes, &six.sin6_addr, 16);
    port = ntohs(six.sin6_port);
    static const uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(address.bytes, kMapped, sizeof kMapped) == 0) {
      address.v4 = true;
      std::memmove(address.bytes, address.bytes + 12, 4);
      std::memset(address.bytes + 4, 0, 12);
    }
  } else {
    const auto& four = reinterpret_cast<const struct sockaddr_in&>(peer);
    std::memcpy(address.bytes, &four.sin_addr, 4);
    port = ntohs(four.sin_port);
  }
  char text[kClientAddressSize];
  NetAddressText(address, text, sizeof text);
  std::snprintf(name, static_cast<size_t>(size), address.v4 ? "%s:%d" : "[%s]:%d", text, port);
  return address;
}

void SayRefused(ShareServer& server, const char* name, const char* why) {
  Tick now = TickCount();
  const char* colon = std::strrchr(name, ':');
  char host[kClientAddressSize];
  std::snprintf(host, sizeof host, "%.*s", static_cast<int>(colon - name), name);
  if (std::strcmp(host, server.lastRefused) == 0 && now - server.lastRefusedAt < kRefusalRepeatMs)
    return;
  std::snprintf(server.lastRefused, sizeof server.lastRefused, "%s", host);
  server.lastRefusedAt = now;
  Say(server, true, "share: refused %s: %s", name, why);
}

void SetUpClientSocket(int fd) {
  int on = 1;  // screens and keys are small: no waiting to fill a segment
  if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0)
    Trace("TCP_NODELAY failed: %s", std::strerror(errno));
  int size = kSendBufferBytes;
  if (setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size) != 0)
    Trace("SO_SNDBUF failed: %s", std::strerror(errno));
}

void Accept(ShareServer& server, int listenFd, bool nmea) {
  struct sockaddr_storage peer = {};
  socklen_t size = sizeof peer;
  int fd = accept4(listenFd, reinterpret_cast<struct sockaddr*>(&peer), &size,
                   SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
      Trace("accept failed: %s", std::strerror(errno));
    return;
  }
  char name[kClientAddressSize + 8];
  NetAddress address = PeerAddress(peer, name, sizeof name);
  if (!InRanges(server.settings.allow, address)) {
    SayRefused(server, name, "not in --share-allow");
    close(fd);
    return;
  }
  ClientRole role = nmea                                         ? ClientRole::kNmea
                    : InRanges(server.settings.control, address) ? ClientRole::kControl
                                                                 : ClientRole::kWatch;
  int index = AttachClient(*server.hub, role, name);
  if (index < 0) {
    SayRefused(server, name, "every place for a client is taken");
    close(fd);
    return;
  }
  SetUpClientSocket(fd);
  server.clients[index].fd = fd;
  std::snprintf(server.clients[index].name, sizeof server.clients[index].name, "%s", name);
  const char* what = role == ClientRole::kNmea      ? "nmea-out: %s attached%s"
                     : role == ClientRole::kControl ? "share: %s attached%s; it may press keys"
                                                    : "share: %s attached%s; it may only watch";
  Say(server, false, what, name);
}

void Close(ShareServer& server, int index, const char* format, const char* detail = "") {
  ClientSocket& client = server.clients[index];
  bool failure = std::strstr(format, "dropped") != nullptr;
  Say(server, failure, format, client.name, detail);
  close(client.fd);
  client.fd = -1;
  DetachClient(*server.hub, index);
}

const char* Kind(const ShareServer& server, int index) {
  return server.hub->clients[index].role == ClientRole::kNmea ? "nmea-out" : "share";
}

void Read(ShareServer& server, int index) {
  uint8_t bytes[kReadSize];
  ssize_t count = recv(server.clients[index].fd, bytes, sizeof bytes, 0);
  if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
  if (count <= 0) {
    char format[64];
    std::snprintf(format, sizeof format, "%s: %%s left", Kind(server, index));
    Close(server, index, format);
    return;
  }
  if (TakeClientBytes(*server.hub, index, bytes, static_cast<int>(count), TickCount())) {
    Say(server, true,
        "share: keys from %s are not sent to the receiver: it may only watch (--share-control "
        "says who may press keys)",
        server.clients[index].name);
  }
}

// What waits for the client, as much as its socket takes now. false when it is gone.
bool Write(ShareServer& server, int index, bool& more) {
  int waiting = PeekForClient(*server.hub, index, server.buffer, sizeof server.buffer);
  more = false;
  if (waiting == 0) return true;
  ssize_t sent = send(server.clients[index].fd, server.buffer, static_cast<size_t>(waiting),
                      MSG_NOSIGNAL | MSG_DONTWAIT);
  if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) sent = 0;
  if (sent < 0) return false;
  SentToClient(*server.hub, index, static_cast<int>(sent));
  more = sent < waiting || waiting == static_cast<int>(sizeof server.buffer);
  return true;
}

// Writes to every client, and drops those that fell behind. Whether some still wait for
// room in their socket.
void ServeClients(ShareServer& server, bool* wantsWrite) {
  for (int i = 0; i < kMaxShareClients; ++i) {
    wantsWrite[i] = false;
    if (server.clients[i].fd < 0) continue;
    int waiting = 0;
    if (ClientOverflowed(*server.hub, i, waiting)) {
      ++server.hub->clientsDropped;
      char detail[64];
      std::snprintf(detail, sizeof detail, "%d kB", (waiting + 1023) / 1024);
      Close(server, i, "share: dropped %s: it did not keep up (%s waiting); logging goes on",
            detail);
      continue;
    }
    bool more = false;
    if (!Write(server, i, more)) {
      char format[64];
      std::snprintf(format, sizeof format, "%s: %%s left", Kind(server, i));
      Close(server, i, format);
      continue;
    }
    wantsWrite[i] = more;
  }
}

void Serve(ShareServer& server) {
  struct pollfd fds[3 + kMaxShareClients];
  int clientAt[3 + kMaxShareClients];
  bool wantsWrite[kMaxShareClients] = {};
  while (!server.stopping) {
    int timeout = ShareTick(*server.hub, TickCount());
    int n = 0;
    fds[n++] = {static_cast<int>(server.wake.handle), POLLIN, 0};
    if (server.shareFd >= 0) fds[n++] = {server.shareFd, POLLIN, 0};
    if (server.nmeaFd >= 0) fds[n++] = {server.nmeaFd, POLLIN, 0};
    int listeners = n;
    for (int i = 0; i < kMaxShareClients; ++i) {
      if (server.clients[i].fd < 0) continue;
      clientAt[n] = i;
      fds[n++] = {server.clients[i].fd, static_cast<short>(POLLIN | (wantsWrite[i] ? POLLOUT : 0)),
                  0};
    }
    int ready = poll(fds, static_cast<nfds_t>(n), timeout);
    if (ready < 0 && errno != EINTR) {
      Trace("share poll failed: %s", std::strerror(errno));
      PauseUnlessStopped(nullptr, 100);
      continue;
    }
    if (server.stopping) break;
    // The signal first, then the flag: an item queued after the flag is cleared raises the
    // signal again, and one queued before it is seen by the writes below.
    ClearWakeSignal(server.wake);
    ClientSideAwake(*server.hub);
    for (int k = 1; k < listeners; ++k) {
      if ((fds[k].revents & POLLIN) != 0) Accept(server, fds[k].fd, fds[k].fd == server.nmeaFd);
    }
    for (int k = listeners; k < n; ++k) {
      int i = clientAt[k];
      if ((fds[k].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && server.clients[i].fd >= 0)
        Read(server, i);
    }
    ServeClients(server, wantsWrite);
  }
}

void CloseAll(ShareServer& server) {
  for (int i = 0; i < kMaxShareClients; ++i) {
    if (server.clients[i].fd < 0) continue;
    close(server.clients[i].fd);
    server.clients[i].fd = -1;
    DetachClient(*server.hub, i);
  }
  if (server.shareFd >= 0) close(server.shareFd);
  if (server.nmeaFd >= 0) close(server.nmeaFd);
  CloseWakeSignal(server.wake);
}

}  // namespace

ShareServer* StartShareServer(ShareHub& hub, ShareServerSettings& settings, char* error,
                              int errorSize) {
  auto* server = new ShareServer;
  server->hub = &hub;
  if (!OpenWakeSignal(server->wake)) {
    std::snprintf(error, static_cast<size_t>(errorSize),
                  "cannot make the share server's wake signal: %s", std::strerror(errno));
    delete server;
    return nullptr;
  }
  if (settings.share.port >= 0) {
    server->shareFd = Listen(settings.share, "--share", error, errorSize);
  }
  if (server->shareFd >= 0 || settings.share.port < 0) {
    if (settings.nmea.port >= 0)
      server->nmeaFd = Listen(settings.nmea, "--nmea-out", error, errorSize);
  }
  bool failed = (settings.share.port >= 0 && server->shareFd < 0) ||
                (settings.nmea.port >= 0 && server->nmeaFd < 0);
  if (failed) {
    CloseAll(*server);
    delete server;
    return nullptr;
  }
  server->settings = settings;
  hub.clientSides[kShareSide].context = server;
  hub.clientSides[kShareSide].wake = WakeServer;
  server->thread = std::thread(Serve, std::ref(*server));
  return server;
}

void StopShareServer(ShareServer* server) {
  if (server == nullptr) return;
  server->stopping = true;
  RaiseWakeSignal(server->wake);
  server->thread.join();
  server->hub->clientSides[kShareSide].wake = nullptr;
  CloseAll(*server);
  delete server;
}
