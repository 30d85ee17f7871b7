// SPDX-License-Identifier: BSD-2-Clause
#include "log/metrics_server.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <cstdio>
#include <exception>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "web/http_listener.h"

// One thread runs an event loop (Boost.Asio) that serves every client side by side, so
// that none can hold the port for the others. Everything a client can make grow is
// bounded: the request line and headers together (kHeaderLimit, however many headers),
// the time from the first byte of a request to the end of its answer (kRequestTime, not
// per read: a byte a second does not stretch it), and the clients held at once
// (kMaxClients: one more drops the longest waiting of those that have not asked yet).
// Stopping closes every connection and ends the loop at once, whatever the clients do.

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr size_t kHeaderLimit = 8192;
constexpr auto kRequestTime = std::chrono::seconds(3);
constexpr size_t kMaxClients = 16;

struct Client;

}  // namespace

struct MetricsServer {
  asio::io_context loop{1};
  tcp::acceptor acceptor{loop};
  asio::steady_timer acceptPause{loop};
  std::list<std::shared_ptr<Client>> clients;  // the loop's alone
  std::thread thread;
  std::mutex lock;
  std::string text;  // what a scrape gets; its capacity is kept between publications
};

namespace {

struct Client : std::enable_shared_from_this<Client> {
  Client(MetricsServer& owner, tcp::socket socket) : server(owner), stream(std::move(socket)) {}

  MetricsServer& server;
  beast::tcp_stream stream;
  beast::flat_buffer buffer{kHeaderLimit};
  std::unique_ptr<http::request_parser<http::empty_body>> parser;
  http::response<http::string_body> response;
  bool answering = false;  // a whole request came: it is not dropped for a newcomer
  bool closed = false;

  void Close() {
    if (closed) return;
    closed = true;
    beast::error_code ignored;
    stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
    stream.close();
    server.clients.remove(shared_from_this());
  }

  void ReadRequest() {
    answering = false;
    parser = std::make_unique<http::request_parser<http::empty_body>>();
    parser->header_limit(kHeaderLimit);
    parser->body_limit(0);
    stream.expires_after(kRequestTime);  // the whole request and its answer
    http::async_read(stream, buffer, *parser,
                     [self = shared_from_this()](beast::error_code error, size_t) {
                       if (error) return self->Close();
                       self->Answer();
                     });
  }

  void Answer() {
    answering = true;
    const auto& request = parser->get();
    response = {};
    response.version(request.version());
    response.keep_alive(request.keep_alive());
    if (request.method() != http::verb::get) {
      response.result(http::status::method_not_allowed);
      response.set(http::field::allow, "GET");
    } else if (request.target() != "/metrics") {
      response.result(http::status::not_found);
    } else {
      response.result(http::status::ok);
      response.set(http::field::content_type, "text/plain; version=0.0.4; charset=utf-8");
      std::lock_guard<std::mutex> hold(server.lock);
      response.body() = server.text;
    }
    response.prepare_payload();
    http::async_write(stream, response,
                      [self = shared_from_this()](beast::error_code error, size_t) {
                        if (error || !self->response.keep_alive()) return self->Close();
                        self->ReadRequest();
                      });
  }
};

// Room for one more: the client that has waited longest without a whole request goes.
void MakeRoom(MetricsServer& server) {
  if (server.clients.size() < kMaxClients) return;
  for (const std::shared_ptr<Client>& client : server.clients) {
    if (!client->answering) return client->Close();
  }
  server.clients.front()->Close();
}

void Fail(char* error, int errorSize, const char* host, int port, const std::string& why) {
  std::snprintf(error, static_cast<size_t>(errorSize), "cannot serve metrics on %s:%d: %s", host,
                port, why.c_str());
}

MetricsServer* Start(const char* host, int port, int* boundPort, char* error, int errorSize) {
  auto server = std::make_unique<MetricsServer>();
  std::string why;
  if (!http_listener::Listen(server->loop, server->acceptor, host, port, *boundPort, why)) {
    Fail(error, errorSize, host, port, why);
    return nullptr;
  }
  MetricsServer* accepting = server.get();
  http_listener::AcceptEach(server->acceptor, server->acceptPause, [accepting](tcp::socket socket) {
    MakeRoom(*accepting);
    auto client = std::make_shared<Client>(*accepting, std::move(socket));
    accepting->clients.push_back(client);
    client->ReadRequest();
  });
  MetricsServer* running = accepting;
  running->thread = std::thread([running] { http_listener::RunLoop(running->loop); });
  return server.release();
}

// Nothing thrown crosses the module's C interface: a failure is said in `error`.
MetricsServer* StartServer(const char* host, int port, int* boundPort, char* error, int errorSize) {
  try {
    return Start(host, port, boundPort, error, errorSize);
  } catch (const std::exception& failure) {
    Fail(error, errorSize, host, port, failure.what());
    return nullptr;
  }
}

void Publish(MetricsServer* server, const char* text, int length) {
  std::lock_guard<std::mutex> hold(server->lock);
  server->text.assign(text, static_cast<size_t>(length));
}

// Every connection is closed by the loop's own thread, which then ends: no client is
// waited for.
void StopServer(MetricsServer* server) {
  asio::post(server->loop, [server] {
    beast::error_code ignored;
    server->acceptor.close(ignored);
    server->acceptPause.cancel();
    while (!server->clients.empty()) server->clients.front()->Close();
    server->loop.stop();
  });
  server->thread.join();
  delete server;
}

const MetricsServerApi kApi = {StartServer, Publish, StopServer};

}  // namespace

extern "C" const MetricsServerApi* TarnexMetricsServerApi() {
  return &kApi;
}
