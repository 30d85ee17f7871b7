// SPDX-License-Identifier: BSD-2-Clause
// TCP connections on Windows: a non-blocking socket whose network events set an event
// object (WSAEventSelect), waited on beside the port's stop signal.

#include <winsock2.h>
// winsock2.h before the others: they build on it.
#include <windows.h>
#include <ws2tcpip.h>
// mstcpip.h after winsock2.h: the keep-alive settings
#include <mstcpip.h>

#include <cstdio>
#include <mutex>

#include "base/windows_error_text.h"
#include "base/tick.h"
#include "base/trace.h"
#include "port/socket.h"

namespace {

SOCKET Handle(const TcpSocket& socket) {
  return static_cast<SOCKET>(socket.handle);
}

HANDLE SocketEvent(const TcpSocket& socket) {
  return reinterpret_cast<HANDLE>(socket.event);
}

bool StartWinsock() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data;
    started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return started;
}

// Waits for the socket's event, the stop signal or the time: WAIT_OBJECT_0, WAIT_OBJECT_0
// + 1 when stopped, WAIT_TIMEOUT or WAIT_FAILED.
DWORD WaitForEvent(const TcpSocket& socket, const StopSignal* stop, int timeoutMs) {
  HANDLE events[2] = {SocketEvent(socket),
                      stop != nullptr ? reinterpret_cast<HANDLE>(stop->wake.handle) : nullptr};
  DWORD count = events[1] != nullptr ? 2 : 1;
  return WaitForMultipleObjects(count, events, FALSE,
                                timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
}

// One address, connected within the time left; 0, or the error.
int TryAddress(TcpSocket& tcp, const StopSignal* stop, const ADDRINFOA* address,
               const Deadline& deadline) {
  SOCKET s = socket(address->ai_family, address->ai_socktype, address->ai_protocol);
  if (s == INVALID_SOCKET) return WSAGetLastError();
  tcp.handle = static_cast<std::intptr_t>(s);
  WSAEventSelect(s, SocketEvent(tcp), FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE);
  int error = 0;
  if (connect(s, address->ai_addr, static_cast<int>(address->ai_addrlen)) != 0) {
    error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
      DWORD waited = WaitForEvent(tcp, stop, DeadlineRemainingMs(deadline));
      WSANETWORKEVENTS events = {};
      if (waited == WAIT_OBJECT_0 && WSAEnumNetworkEvents(s, SocketEvent(tcp), &events) == 0 &&
          (events.lNetworkEvents & FD_CONNECT)) {
        error = events.iErrorCode[FD_CONNECT_BIT];
      } else {
        error = waited == WAIT_OBJECT_0 + 1 ? WSAEINTR : WSAETIMEDOUT;
      }
    }
  }
  if (error != 0) {
    closesocket(s);
    tcp.handle = -1;
  }
  return error;
}

}  // namespace

namespace {

// A device server that lost its power behind a router leaves the connection open and
// silent: probes after 10 s of quiet, 5 s apart, find it gone within about 30 s.
void KeepAlive(SOCKET s) {
  tcp_keepalive settings = {1, 10000, 5000};
  DWORD returned = 0;
  if (WSAIoctl(s, SIO_KEEPALIVE_VALS, &settings, sizeof settings, nullptr, 0, &returned, nullptr,
               nullptr) != 0) {
    Trace("SIO_KEEPALIVE_VALS failed: %d", WSAGetLastError());
  }
}

}  // namespace

int ConnectSocket(TcpSocket& socket, const StopSignal* stop, const char* host, const char* service,
                  int timeoutMs, char* failure, int failureSize) {
  if (!StartWinsock()) {
    WindowsErrorText(WSAGetLastError(), failure, failureSize);
    return -1;
  }
  ADDRINFOA hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  ADDRINFOA* addresses = nullptr;
  int looked = getaddrinfo(host, service, &hints, &addresses);
  if (looked != 0) {
    char reason[128];
    WindowsErrorText(looked, reason, sizeof reason);
    std::snprintf(failure, static_cast<size_t>(failureSize), "Host not found (%s)", reason);
    return -1;
  }
  HANDLE event = WSACreateEvent();
  if (event == WSA_INVALID_EVENT) {
    freeaddrinfo(addresses);
    WindowsErrorText(WSAGetLastError(), failure, failureSize);
    return -1;
  }
  socket.event = reinterpret_cast<std::intptr_t>(event);
  Deadline deadline;
  SetDeadline(deadline, timeoutMs / 1000.0);
  int error = WSAEHOSTUNREACH;
  for (const ADDRINFOA* a = addresses; a != nullptr; a = a->ai_next) {
    error = TryAddress(socket, stop, a, deadline);
    if (error == 0 || error == WSAEINTR || DeadlinePassed(deadline)) break;
  }
  freeaddrinfo(addresses);
  if (error != 0) {
    WindowsErrorText(error, failure, failureSize);
    CloseSocket(socket);
    return -1;
  }
  BOOL on = TRUE;  // keys and polls are small: no waiting to fill a segment
  setsockopt(Handle(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
             sizeof on);
  KeepAlive(Handle(socket));
  return 0;
}

int SendSocket(TcpSocket& socket, const StopSignal* stop, const uint8_t* bytes, int n,
               int stallMs) {
  int sent = 0;
  while (socket.handle >= 0 && sent < n) {
    int count = send(Handle(socket), reinterpret_cast<const char*>(bytes + sent), n - sent, 0);
    if (count > 0) {
      sent += count;
      continue;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) {
      Trace("send failed: %d", WSAGetLastError());
      break;
    }
    // FD_WRITE is signalled when there is room again.
    if (WaitForEvent(socket, stop, stallMs) != WAIT_OBJECT_0) break;
  }
  return sent;
}

int ReceiveSocket(TcpSocket& socket, uint8_t* buffer, int n) {
  if (socket.handle < 0) return -1;
  int count = recv(Handle(socket), reinterpret_cast<char*>(buffer), n, 0);
  if (count > 0) return count;
  if (count < 0 && WSAGetLastError() == WSAEWOULDBLOCK) return 0;
  if (count < 0) Trace("recv failed: %d", WSAGetLastError());
  return -1;  // 0 bytes: the peer has closed the connection
}

int WaitForSocket(TcpSocket& socket, const StopSignal* stop, int timeoutMs) {
  if (socket.handle < 0) return -1;
  u_long waiting = 0;
  if (ioctlsocket(Handle(socket), FIONREAD, &waiting) == 0 && waiting > 0) return 1;
  DWORD waited = WaitForEvent(socket, stop, timeoutMs);
  if (waited == WAIT_OBJECT_0 + 1) return -2;
  if (waited == WAIT_TIMEOUT) return 0;
  if (waited != WAIT_OBJECT_0) return -1;
  WSANETWORKEVENTS events = {};
  WSAEnumNetworkEvents(Handle(socket), SocketEvent(socket), &events);  // resets the event
  // Data, or the end of the connection, which the receive then finds.
  return (events.lNetworkEvents & (FD_READ | FD_CLOSE)) != 0 ? 1 : 0;
}

void CloseSocket(TcpSocket& socket) {
  if (socket.handle >= 0 && closesocket(Handle(socket)) != 0) {
    Trace("closesocket failed: %d", WSAGetLastError());
  }
  socket.handle = -1;
  if (socket.event != -1) WSACloseEvent(SocketEvent(socket));
  socket.event = -1;
}
