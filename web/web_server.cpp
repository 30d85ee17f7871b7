// SPDX-License-Identifier: BSD-2-Clause
#include "web/web_server.h"

#include <sodium.h>

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "share/share_hub.h"
#include "web/http_listener.h"
#include "web/login_limit.h"
#include "web/web_form.h"
#include "web/web_page.h"
#include "web/web_panel.h"
#include "web/web_sessions.h"
#include "web/web_users.h"

// One thread runs an event loop (Boost.Asio, Boost.Beast) for every browser: the page's
// requests, the login, and each browser's WebSocket. Everything a browser can make grow
// is bounded: a request's headers (kHeaderLimit) and form (kFormLimit), the time for a
// request (kRequestTime), the connections held (kMaxRequests, kMaxViewers), what a
// browser may send at once (kMessageLimit), and what waits for one (kViewerQueue: a
// browser that falls further behind is dropped and said).

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using Message = std::shared_ptr<const std::string>;

namespace {

constexpr size_t kHeaderLimit = 8192;
constexpr size_t kFormLimit = 1024;
constexpr auto kRequestTime = std::chrono::seconds(5);
constexpr size_t kMaxRequests = 32;
constexpr size_t kMaxViewers = 128;
constexpr size_t kViewerQueue = 64;
constexpr size_t kMessageLimit = 256;
// How often the sessions of the browsers watching are looked at: watching keeps a session
// alive, and a session that ended (logged out, or past its life) ends its WebSocket.
constexpr auto kSessionCheck = std::chrono::seconds(60);
constexpr const char kCookieName[] = "tarnex";
constexpr const char kSecurityPolicy[] =
    "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'; form-action 'self'";

Tick Now() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct Connection {
  virtual ~Connection() = default;
  virtual void Close() = 0;
};

struct Viewer : Connection {
  virtual void Send(const Message& message) = 0;
  std::string sessionId;  // "" without a login
};

}  // namespace

struct WebServer {
  asio::io_context loop{1};
  tcp::acceptor acceptor{loop};
  asio::steady_timer acceptPause{loop};
  asio::steady_timer roundTimer{loop};
  asio::steady_timer sessionTimer{loop};
  std::unique_ptr<ssl::context> tls;
  std::thread thread;

  ShareHub* hub = nullptr;
  bool loginNeeded = false;
  WebUsers users;
  char openToken[kSessionKeyText] = "";  // without a login: the one token of every page
  void* sayContext = nullptr;
  void (*say)(void* context, const char* text, bool failure) = nullptr;

  // The loop's alone.
  WebSessions sessions;
  LoginLimit limit;
  std::list<std::shared_ptr<Connection>> requests;
  std::list<std::shared_ptr<Viewer>> viewers;
  int hubClient = -1;  // attached while a browser watches
  WebPanelFeed feed;
  Message screen;
  Message status;
  std::string keysJson;
  uint8_t drained[kClientQueueBytes];

  std::mutex publishLock;
  std::string published;  // the last state from the main thread
  std::atomic<bool> publishPosted{false};
  std::atomic<bool> stopping{false};
};

namespace {

void Say(WebServer& server, bool failure, const char* format, const char* a, const char* b = "") {
  if (server.say == nullptr) return;
  char text[300];
  std::snprintf(text, sizeof text, format, a, b);
  server.say(server.sayContext, text, failure);
}

Message MakeMessage(const std::string& text) {
  return std::make_shared<const std::string>(text);
}

void Broadcast(WebServer& server, const Message& message) {
  // A copy: a browser that is dropped leaves the list.
  auto viewers = server.viewers;
  for (const std::shared_ptr<Viewer>& viewer : viewers) viewer->Send(message);
}

// --- the hub: screens asked for while a browser watches, keys sent on ---

void ScheduleRounds(WebServer& server) {
  int ms = ShareTick(*server.hub, Now());
  if (ms < 0) return;
  server.roundTimer.expires_after(std::chrono::milliseconds(ms));
  server.roundTimer.async_wait([&server](beast::error_code error) {
    if (!error && server.hubClient >= 0) ScheduleRounds(server);
  });
}

void AskForScreen(WebServer& server) {
  if (server.hubClient < 0) return;
  uint8_t frames[2 * kMaxFrameLength];
  int size = ScreenRequestFrames(frames);
  TakeClientBytes(*server.hub, server.hubClient, frames, size, Now());
  ScheduleRounds(server);
}

void AttachToHub(WebServer& server) {
  if (server.hubClient >= 0) return;
  server.hubClient = AttachClient(*server.hub, ClientRole::kPanel, "browser panel", kWebSide);
  if (server.hubClient < 0) {
    Say(server, true, "web: the share hub is full; the browsers get no screens%s", "");
    return;
  }
  server.feed = WebPanelFeed{};
  AskForScreen(server);
}

void LeaveHub(WebServer& server) {
  if (server.hubClient < 0) return;
  DetachClient(*server.hub, server.hubClient);
  server.hubClient = -1;
  server.roundTimer.cancel();
}

// What the hub queued for the browsers: each new screen goes to every browser.
void Drain(WebServer& server) {
  ClientSideAwake(*server.hub, kWebSide);
  if (server.hubClient < 0) return;
  bool screenCame = false;
  int count;
  while ((count = PeekForClient(*server.hub, server.hubClient, server.drained,
                                sizeof server.drained)) > 0) {
    int used = 0;
    char json[kScreenJsonSize];
    while (NextScreen(server.feed, server.drained, count, used, json)) {
      screenCame = true;
      if (server.screen && *server.screen == json) continue;
      server.screen = MakeMessage(json);
      Broadcast(server, server.screen);
    }
    if (server.hubClient < 0) return;  // the last browser was dropped on the way
    SentToClient(*server.hub, server.hubClient, count);
  }
  int waiting = 0;
  if (ClientOverflowed(*server.hub, server.hubClient, waiting)) {
    // Only screens matter here, and the next one replaces what was lost.
    LeaveHub(server);
    AttachToHub(server);
    return;
  }
  if (screenCame) AskForScreen(server);
  // A screen that went to others ended a round too: the next may be due sooner.
  ScheduleRounds(server);
}

void WakeFromHub(void* context) {
  auto& server = *static_cast<WebServer*>(context);
  asio::post(server.loop, [&server] { Drain(server); });
}

void PressKey(WebServer& server, int commandId) {
  uint8_t frame[kMaxFrameLength];
  int size = KeyFrame(commandId, frame);
  if (size == 0 || server.hubClient < 0) return;
  TakeClientBytes(*server.hub, server.hubClient, frame, size, Now());
  AskForScreen(server);  // the hub opens the rounds for its effect
}

// The browsers whose sessions ended are closed; those that watch keep theirs alive.
void EndedSessionsLeave(WebServer& server) {
  Tick now = Now();
  auto viewers = server.viewers;
  for (const std::shared_ptr<Viewer>& viewer : viewers) {
    if (FindSession(server.sessions, viewer->sessionId.c_str(), now) == nullptr) viewer->Close();
  }
}

void CheckSessions(WebServer& server) {
  server.sessionTimer.expires_after(kSessionCheck);
  server.sessionTimer.async_wait([&server](beast::error_code error) {
    if (error) return;
    EndedSessionsLeave(server);
    CheckSessions(server);
  });
}

// --- a browser's WebSocket ---

template <class Stream>
struct Live : Viewer, std::enable_shared_from_this<Live<Stream>> {
  Live(WebServer& owner, Stream&& stream, WebRole role, const std::string& user,
       const std::string& address)
      : server(owner), socket(std::move(stream)), role(role), user(user), address(address) {}

  WebServer& server;
  websocket::stream<Stream> socket;
  WebRole role;
  std::string user;
  std::string address;
  beast::flat_buffer input;
  std::deque<Message> queue;
  bool writing = false;
  bool closed = false;
  bool refusalSaid = false;

  void Start(http::request<http::string_body> request) {
    socket.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    socket.read_message_max(kMessageLimit);
    socket.async_accept(request, [self = this->shared_from_this()](beast::error_code error) {
      if (error) return self->Close();
      self->Joined();
    });
  }

  void Joined() {
    if (server.viewers.size() >= kMaxViewers) {
      Say(server, true, "web: %s turned away: %s", address.c_str(), "too many browsers watch");
      return Close();
    }
    server.viewers.push_back(this->shared_from_this());
    AttachToHub(server);
    if (server.screen) Send(server.screen);
    if (server.status) Send(server.status);
    Read();
  }

  void Read() {
    socket.async_read(input, [self = this->shared_from_this()](beast::error_code error, size_t) {
      if (error) return self->Close();
      self->Heard();
      self->Read();
    });
  }

  void Heard() {
    std::string text = beast::buffers_to_string(input.data());
    input.consume(input.size());
    int id = KeyInMessage(text.data(), static_cast<int>(text.size()));
    if (id == 0) return;
    if (role == WebRole::kControl) return PressKey(server, id);
    ++server.hub->keysRefused;
    Send(MakeMessage("{\"refused\":\"You may watch this receiver, not press its keys.\"}"));
    if (refusalSaid) return;
    refusalSaid = true;
    Say(server, false, "web: a key from %s refused: %s may only watch", address.c_str(),
        user.c_str());
  }

  void Send(const Message& message) override {
    if (closed) return;
    if (queue.size() >= kViewerQueue) {
      Say(server, false, "web: dropped %s: it did not keep up%s", address.c_str(),
          "; logging goes on");
      return Close();
    }
    queue.push_back(message);
    if (!writing) WriteNext();
  }

  void WriteNext() {
    if (queue.empty() || closed) {
      writing = false;
      return;
    }
    writing = true;
    socket.text(true);
    socket.async_write(asio::buffer(*queue.front()),
                       [self = this->shared_from_this()](beast::error_code error, size_t) {
                         if (error) return self->Close();
                         self->queue.pop_front();
                         self->WriteNext();
                       });
  }

  void Close() override {
    if (closed) return;
    closed = true;
    beast::error_code ignored;
    beast::get_lowest_layer(socket).socket().shutdown(tcp::socket::shutdown_both, ignored);
    beast::get_lowest_layer(socket).close();
    auto self = this->shared_from_this();
    server.viewers.remove(self);
    if (server.viewers.empty()) LeaveHub(server);
  }
};

// --- a browser's requests ---

// Who a request comes from, once it may see the panel.
struct Admission {
  WebRole role = WebRole::kView;
  std::string token;
  std::string user;
  std::string sessionId;  // "" without a login
};

template <class Stream>
struct Requests : Connection, std::enable_shared_from_this<Requests<Stream>> {
  Requests(WebServer& owner, Stream&& connection, bool secure, const std::string& from)
      : server(owner), stream(std::move(connection)), secure(secure), address(from) {}

  WebServer& server;
  Stream stream;
  bool secure;
  std::string address;
  beast::flat_buffer buffer{kHeaderLimit};
  std::unique_ptr<http::request_parser<http::string_body>> parser;
  http::response<http::string_body> response;
  bool closed = false;

  void ReadRequest() {
    parser = std::make_unique<http::request_parser<http::string_body>>();
    parser->header_limit(kHeaderLimit);
    parser->body_limit(kFormLimit);
    beast::get_lowest_layer(stream).expires_after(kRequestTime);
    http::async_read(stream, buffer, *parser,
                     [self = this->shared_from_this()](beast::error_code error, size_t) {
                       if (error) return self->Close();
                       self->Route();
                     });
  }

  void Close() override {
    if (closed) return;
    closed = true;
    beast::error_code ignored;
    beast::get_lowest_layer(stream).socket().shutdown(tcp::socket::shutdown_both, ignored);
    beast::get_lowest_layer(stream).close();
    server.requests.remove(this->shared_from_this());
  }

  std::string Field(http::field name) {
    auto found = parser->get().find(name);
    return found == parser->get().end() ? std::string() : std::string(found->value());
  }

  WebSession* CurrentSession() {
    char id[kSessionKeyText];
    std::string cookies = Field(http::field::cookie);
    if (!CookieValue(cookies.c_str(), kCookieName, id, sizeof id)) return nullptr;
    return FindSession(server.sessions, id, Now());
  }

  // Whether the request may see the panel; `admission` then says as whom and how.
  bool Admitted(Admission& admission) {
    if (!server.loginNeeded) {
      admission.role = WebRole::kControl;
      admission.token = server.openToken;
      return true;
    }
    WebSession* session = CurrentSession();
    if (session == nullptr) return false;
    admission = {session->role, session->token, session->user, session->id};
    return true;
  }

  // A browser's page from another site may open a WebSocket here with the user's cookie;
  // its Origin says so.
  bool SameOrigin() {
    std::string origin = Field(http::field::origin);
    if (origin.empty()) return true;  // not a browser
    std::string host = Field(http::field::host);
    return origin == (secure ? "https://" : "http://") + host;
  }

  void Route() {
    auto& request = parser->get();
    std::string target(request.target());
    std::string path = target.substr(0, target.find('?'));
    bool get = request.method() == http::verb::get;
    bool post = request.method() == http::verb::post;
    if (!server.loginNeeded && !HostIsLoopback(Field(http::field::host).c_str())) {
      return Answer(http::status::misdirected_request, "text/plain; charset=utf-8",
                    "Served to this machine only: open http://127.0.0.1:PORT/.\n");
    }
    if (get && path == "/live" && websocket::is_upgrade(request)) return Upgrade(target);
    if (post && path == "/login") return LogIn();
    if (post && path == "/logout") return LogOut();
    if (!get) return Answer(http::status::method_not_allowed, "", "");
    Admission admission;
    bool admitted = Admitted(admission);
    if (path == "/session") {
      if (!admitted) return Answer(http::status::unauthorized, "", "");
      return Answer(http::status::ok, "application/json", SessionJson(admission));
    }
    if (path == "/" && !admitted) return Redirect("/login", "");
    if (path == "/login" && !server.loginNeeded) return Redirect("/", "");
    const PageFile* file = FindPageFile(path.c_str());
    if (file == nullptr) return Answer(http::status::not_found, "", "");
    Answer(http::status::ok, file->type, file->text);
  }

  std::string SessionJson(const Admission& admission) {
    return "{\"user\":\"" + admission.user + "\",\"role\":\"" +
           (admission.role == WebRole::kControl ? "control" : "view") + "\",\"token\":\"" +
           admission.token + "\"," + server.keysJson.substr(1);
  }

  void Upgrade(const std::string& target) {
    Admission admission;
    char given[kSessionKeyText + 1] = "";
    size_t query = target.find('?');
    if (query != std::string::npos) {
      FormValue(target.c_str() + query + 1, "token", given, sizeof given);
    }
    bool tokenGood = Admitted(admission) && SameKey(admission.token.c_str(), given);
    if (!tokenGood || !SameOrigin()) return Answer(http::status::forbidden, "", "");
    beast::get_lowest_layer(stream).expires_never();
    auto live = std::make_shared<Live<Stream>>(server, std::move(stream), admission.role,
                                               admission.user, address);
    live->sessionId = admission.sessionId;
    closed = true;
    server.requests.remove(this->shared_from_this());
    live->Start(parser->release());
  }

  void LogIn() {
    char name[kWebUserNameSize] = "";
    char password[kMaxPasswordLength + 1] = "";
    const std::string& form = parser->get().body();
    bool given = FormValue(form.c_str(), "user", name, sizeof name) &&
                 FormValue(form.c_str(), "password", password, sizeof password);
    if (!server.loginNeeded) return Redirect("/", "");
    Tick wait;
    Tick now = Now();
    if (!MayTryLogin(server.limit, address.c_str(), now, wait)) {
      return Redirect("/login?wait=" + std::to_string((wait + 999) / 1000), "");
    }
    const WebUser* user = given ? CheckPassword(server.users, name, password) : nullptr;
    sodium_memzero(password, sizeof password);
    if (user == nullptr) {
      if (NoteLoginFailure(server.limit, address.c_str(), Now())) {
        Say(server, true, "web: logins from %s refused for 15 minutes: %s", address.c_str(),
            "too many wrong passwords");
      }
      return Redirect("/login?failed", "");
    }
    NoteLoginSuccess(server.limit, address.c_str());
    WebSession& session = OpenSession(server.sessions, user->name, user->role, Now());
    Say(server, false, "web: %s logged in from %s", user->name, address.c_str());
    std::string cookie = std::string(kCookieName) + "=" + session.id +
                         "; Path=/; HttpOnly; SameSite=Strict" + (secure ? "; Secure" : "");
    Redirect("/", cookie);
  }

  void LogOut() {
    char token[kSessionKeyText + 1] = "";
    FormValue(parser->get().body().c_str(), "token", token, sizeof token);
    WebSession* session = CurrentSession();
    if (session == nullptr || !TokenMatches(*session, token) || !SameOrigin()) {
      return Answer(http::status::forbidden, "", "");
    }
    Say(server, false, "web: %s logged out%s", session->user, "");
    CloseSession(*session);
    EndedSessionsLeave(server);
    Redirect("/login", std::string(kCookieName) + "=; Path=/; Max-Age=0");
  }

  void Redirect(const std::string& where, const std::string& cookie) {
    PrepareAnswer(http::status::see_other);
    response.set(http::field::location, where);
    if (!cookie.empty()) response.set(http::field::set_cookie, cookie);
    Write();
  }

  void Answer(http::status status, const char* type, const std::string& body) {
    PrepareAnswer(status);
    if (*type != '\0') response.set(http::field::content_type, type);
    response.body() = body;
    Write();
  }

  void PrepareAnswer(http::status status) {
    response = {};
    response.version(parser->get().version());
    response.keep_alive(parser->get().keep_alive());
    response.result(status);
    response.set("Content-Security-Policy", kSecurityPolicy);
    response.set("X-Content-Type-Options", "nosniff");
    response.set("X-Frame-Options", "DENY");
    // Not no-referrer: a browser then sends "Origin: null" with the page's own forms.
    response.set("Referrer-Policy", "same-origin");
    response.set(http::field::cache_control, "no-store");
  }

  void Write() {
    response.prepare_payload();
    http::async_write(stream, response,
                      [self = this->shared_from_this()](beast::error_code error, size_t) {
                        if (error || !self->response.keep_alive()) return self->Close();
                        self->ReadRequest();
                      });
  }
};

std::string PeerAddress(const tcp::socket& socket) {
  beast::error_code failure;
  auto peer = socket.remote_endpoint(failure);
  return failure ? std::string("?") : peer.address().to_string();
}

void MakeRoom(WebServer& server) {
  if (server.requests.size() >= kMaxRequests) server.requests.front()->Close();
}

void Serve(WebServer& server, tcp::socket socket) {
  std::string address = PeerAddress(socket);
  MakeRoom(server);
  if (!server.tls) {
    auto requests = std::make_shared<Requests<beast::tcp_stream>>(
        server, beast::tcp_stream(std::move(socket)), false, address);
    server.requests.push_back(requests);
    return requests->ReadRequest();
  }
  using Secure = beast::ssl_stream<beast::tcp_stream>;
  auto requests = std::make_shared<Requests<Secure>>(
      server, Secure(beast::tcp_stream(std::move(socket)), *server.tls), true, address);
  server.requests.push_back(requests);
  beast::get_lowest_layer(requests->stream).expires_after(kRequestTime);
  requests->stream.async_handshake(ssl::stream_base::server, [requests](beast::error_code error) {
    if (error) return requests->Close();
    requests->ReadRequest();
  });
}

void Fail(char* error, int errorSize, const WebServerSettings& settings, const std::string& why) {
  std::snprintf(error, static_cast<size_t>(errorSize), "cannot serve the web panel on %s:%d: %s",
                settings.host, settings.port, why.c_str());
}

bool LoadTls(WebServer& server, const WebServerSettings& settings, std::string& why) {
  if (settings.tlsCertificate == nullptr) return true;
  server.tls = std::make_unique<ssl::context>(ssl::context::tls_server);
  server.tls->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                          ssl::context::no_sslv3 | ssl::context::no_tlsv1 |
                          ssl::context::no_tlsv1_1);
  beast::error_code failure;
  server.tls->use_certificate_chain_file(settings.tlsCertificate, failure);
  if (failure) {
    why = std::string(settings.tlsCertificate) + ": " + failure.message();
    return false;
  }
  server.tls->use_private_key_file(settings.tlsKey, ssl::context::pem, failure);
  if (failure) why = std::string(settings.tlsKey) + ": " + failure.message();
  return !failure;
}

WebServer* Start(const WebServerSettings* settings, int* boundPort, char* error, int errorSize) {
  if (!StartPasswordLibrary()) {
    Fail(error, errorSize, *settings, "libsodium could not start");
    return nullptr;
  }
  auto server = std::make_unique<WebServer>();
  server->hub = settings->hub;
  server->loginNeeded = settings->users != nullptr;
  if (settings->users != nullptr) server->users = *settings->users;
  server->say = settings->say;
  server->sayContext = settings->context;
  RandomKey(server->openToken);
  char keys[4096];
  server->keysJson = KeysJson(keys, sizeof keys) > 0 ? keys : "{}";
  std::string why;
  if (!LoadTls(*server, *settings, why)) {
    Fail(error, errorSize, *settings, why);
    return nullptr;
  }
  if (!http_listener::Listen(server->loop, server->acceptor, settings->host, settings->port,
                             *boundPort, why)) {
    Fail(error, errorSize, *settings, why);
    return nullptr;
  }
  ClientSide& side = server->hub->clientSides[kWebSide];
  side.context = server.get();
  side.wake = WakeFromHub;
  WebServer* running = server.get();
  http_listener::AcceptEach(running->acceptor, running->acceptPause,
                            [running](tcp::socket socket) { Serve(*running, std::move(socket)); });
  if (running->loginNeeded) CheckSessions(*running);  // without a login there are none
  running->thread = std::thread([running] { http_listener::RunLoop(running->loop); });
  return server.release();
}

WebServer* StartServer(const WebServerSettings* settings, int* boundPort, char* error,
                       int errorSize) {
  try {
    return Start(settings, boundPort, error, errorSize);
  } catch (const std::exception& failure) {
    Fail(error, errorSize, *settings, failure.what());
    return nullptr;
  }
}

void Publish(WebServer* server, const char* json, int length) {
  {
    std::lock_guard<std::mutex> hold(server->publishLock);
    if (server->published.compare(0, std::string::npos, json, static_cast<size_t>(length)) == 0)
      return;
    server->published.assign(json, static_cast<size_t>(length));
  }
  if (server->publishPosted.exchange(true)) return;
  asio::post(server->loop, [server] {
    server->publishPosted = false;
    std::string text;
    {
      std::lock_guard<std::mutex> hold(server->publishLock);
      text = server->published;
    }
    server->status = MakeMessage(text);
    Broadcast(*server, server->status);
  });
}

void StopServer(WebServer* server) {
  asio::post(server->loop, [server] {
    beast::error_code ignored;
    server->acceptor.close(ignored);
    server->acceptPause.cancel();
    server->sessionTimer.cancel();
    while (!server->requests.empty()) server->requests.front()->Close();
    while (!server->viewers.empty()) server->viewers.front()->Close();
    LeaveHub(*server);
    server->loop.stop();
  });
  server->thread.join();
  server->hub->clientSides[kWebSide].wake = nullptr;
  delete server;
}

const WebServerApi kApi = {StartServer, Publish, StopServer};

}  // namespace

extern "C" const WebServerApi* TarnexWebServerApi() {
  return &kApi;
}
