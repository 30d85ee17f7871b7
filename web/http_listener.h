// SPDX-License-Identifier: BSD-2-Clause
#pragma once

// What the HTTP module's servers (the metrics and the browser panel) do alike: listen on
// an address, accept each connection on the event loop, and run the loop.

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/error.hpp>
#include <chrono>
#include <exception>
#include <string>
#include <utility>

namespace http_listener {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

// Binds host:port (0: any free port; `boundPort` tells which) and listens. false with
// `why` (in use, no such address). The host is a number, or a name the system resolves.
inline bool Listen(asio::io_context& loop, tcp::acceptor& acceptor, const char* host, int port,
                   int& boundPort, std::string& why) {
  boost::beast::error_code failure;
  tcp::endpoint endpoint;
  asio::ip::address address = asio::ip::make_address(host, failure);
  if (!failure) {
    endpoint = tcp::endpoint(address, static_cast<unsigned short>(port));
  } else {
    tcp::resolver resolver(loop);
    auto found = resolver.resolve(host, std::to_string(port), failure);
    if (failure || found.empty()) {
      why = failure ? failure.message() : "no such address";
      return false;
    }
    endpoint = found.begin()->endpoint();
  }
  acceptor.open(endpoint.protocol(), failure);
  if (!failure) acceptor.set_option(asio::socket_base::reuse_address(true), failure);
  if (!failure) acceptor.bind(endpoint, failure);
  if (!failure) acceptor.listen(asio::socket_base::max_listen_connections, failure);
  if (!failure) boundPort = acceptor.local_endpoint(failure).port();
  if (failure) why = failure.message();
  return !failure;
}

// Hands each connection to `serve` until the acceptor is closed. A failed accept (out of
// descriptors, say) waits a moment on `pause`, so as not to spin.
template <class Serve>
void AcceptEach(tcp::acceptor& acceptor, asio::steady_timer& pause, Serve serve) {
  acceptor.async_accept(
      [&acceptor, &pause, serve](boost::beast::error_code error, tcp::socket socket) {
        if (error == asio::error::operation_aborted || !acceptor.is_open()) return;
        if (error) {
          pause.expires_after(std::chrono::milliseconds(100));
          pause.async_wait([&acceptor, &pause, serve](boost::beast::error_code) {
            AcceptEach(acceptor, pause, serve);
          });
          return;
        }
        serve(std::move(socket));
        AcceptEach(acceptor, pause, serve);
      });
}

// The loop, until stopped. A client whose answer could not be made (memory ran out) is
// dropped, and the others are served on.
inline void RunLoop(asio::io_context& loop) {
  for (;;) {
    try {
      loop.run();
      return;
    } catch (const std::exception&) {
    }
  }
}

}  // namespace http_listener
