// The operator display's HTTP side (http_server.h): our own front reads the requests, the
// library's router (cpp-httplib) answers them on our worker threads.
#include "web/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <httplib.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <thread>

#include "web/access.h"
#include "web/metrics.h"
#include "web/page.h"

namespace tabulo::web {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kUpdateWait = std::chrono::milliseconds(250);
constexpr int kKeepAliveRounds = 8;  // waits without news before a comment line probes the tab
// Each open page holds one worker for its updates; the rest serve events. The last kReserve
// workers take only requests that carry the token (or name the host, without a token).
constexpr size_t kSpareThreads = 8;  // beyond one a stream
constexpr size_t kReserve = 4;
constexpr size_t kMaxHead = 16384;     // bytes of a request line and its headers
constexpr size_t kMaxReading = 512;    // connections being read, in all
constexpr size_t kMaxLingering = 256;  // answered connections drained before closing
constexpr auto kLinger = std::chrono::seconds(2);
constexpr int kWriteTimeoutMs = 5000;

// The routes requests are counted by; anything else is "other".
std::string RouteOf(const std::string& path) {
  for (const char* route :
       {"/", "/session", "/session/end", "/event", "/events", "/export", "/healthz", "/metrics"})
    if (path == route) return route;
  return "other";
}

void DeclareMetrics() {
  Metrics& m = Metrics::Process();
  m.Declare("tabulo_http_requests_total", Metrics::Type::kCounter,
            "HTTP requests answered, by route and status (an update stream when it closes).");
  m.Declare("tabulo_event_streams_open", Metrics::Type::kGauge,
            "Update streams (text/event-stream) open now, one a page.");
}

void CountRequest(const std::string& route, int status) {
  Metrics::Process().Add("tabulo_http_requests_total",
                         {{"route", route}, {"status", std::to_string(status)}});
}

std::string ErrorBody(const std::string& message) {
  return nlohmann::json{{"error", message}}.dump();
}

void SetError(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_content(ErrorBody(message), "application/json");
}

// Sent with every reply: no framing, no sniffing, no caching.
const httplib::Headers& SecurityHeaders() {
  static const httplib::Headers headers = {
      {"X-Frame-Options", "DENY"},           {"Content-Security-Policy", "frame-ancestors 'none'"},
      {"X-Content-Type-Options", "nosniff"}, {"Cache-Control", "no-store"},
      {"Referrer-Policy", "no-referrer"},
  };
  return headers;
}

std::string Sha256Base64(std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr);
  unsigned char encoded[2 * EVP_MAX_MD_SIZE];
  const int length = EVP_EncodeBlock(encoded, digest, static_cast<int>(size));
  return std::string(reinterpret_cast<char*>(encoded), static_cast<size_t>(length));
}

// The text between the page's `open` tag and its closing tag.
std::string_view Between(std::string_view page, std::string_view open, std::string_view close) {
  const size_t begin = page.find(open);
  if (begin == std::string_view::npos) return {};
  const size_t from = begin + open.size();
  return page.substr(from, page.find(close, from) - from);
}

// The page's policy: its one script and its one style sheet by their hashes, nothing else.
const std::string& PagePolicy() {
  static const std::string policy =
      "default-src 'none'; script-src 'sha256-" +
      Sha256Base64(Between(Page(), "<script>", "</script>")) + "'; style-src 'sha256-" +
      Sha256Base64(Between(Page(), "<style>", "</style>")) +
      "'; connect-src 'self'; img-src data:; base-uri 'none'; form-action 'none'; "
      "frame-ancestors 'none'";
  return policy;
}

std::string HttpReply(int status, const char* reason, const std::string& message) {
  const std::string body = ErrorBody(message);
  std::string text = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
  for (const auto& [name, value] : SecurityHeaders()) text += name + ": " + value + "\r\n";
  return text + "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

// Waits up to `ms` for `events` on `fd`: the events that came, or 0.
short PollOne(int fd, short events, int ms) {
  pollfd p{fd, events, 0};
  return ::poll(&p, 1, ms) > 0 ? p.revents : 0;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// What the front reads of a request head: enough to know its body and who sends it.
struct Head {
  bool chunked = false;
  bool bad_length = false;
  bool has_length = false;
  uint64_t length = 0;
  std::string host, cookie, target;
};

Head ReadHead(std::string_view head) {
  Head h;
  size_t end = head.find('\n');
  const std::string_view line = head.substr(0, end);
  const size_t sp = line.find(' ');
  if (sp != std::string_view::npos) h.target = line.substr(sp + 1, line.find(' ', sp + 1) - sp - 1);
  while (end != std::string_view::npos) {
    head.remove_prefix(end + 1);
    end = head.find('\n');
    std::string_view field = head.substr(0, end);
    if (!field.empty() && field.back() == '\r') field.remove_suffix(1);
    if (field.empty()) break;  // the body follows
    const size_t colon = field.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string name = Lower(field.substr(0, colon));
    std::string_view value = field.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
      value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (name == "host") h.host = value;
    if (name == "cookie") h.cookie = value;
    if (name == "transfer-encoding") h.chunked = true;
    if (name == "content-length") {
      if (value.empty() || value.size() > 18 ||
          value.find_first_not_of("0123456789") != std::string_view::npos) {
        h.bad_length = true;
      } else {
        // Two lengths that differ leave it open where the request ends: refused.
        const uint64_t length = std::stoull(std::string(value));
        if (h.has_length && length != h.length) h.bad_length = true;
        h.length = length;
        h.has_length = true;
      }
    }
  }
  return h;
}

// The token in a request target's query, "?token=..." (undecoded: tokens need no escapes).
std::string QueryToken(std::string_view target) {
  const size_t q = target.find('?');
  if (q == std::string_view::npos) return {};
  std::string_view query = target.substr(q + 1);
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    if (pair.substr(0, 6) == "token=") return std::string(pair.substr(6));
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return {};
}

// A connection as the front reads it, then as a worker answers it.
struct Connection {
  int fd = -1;
  std::string peer;
  int peer_port = 0;
  uint64_t serial = 0;  // order of arrival
  std::string data;     // the request as read so far
  size_t needed = 0;    // bytes of head and body once the head is read; 0 before
  Clock::time_point deadline;
};

// A connection's bytes for the router: what the front read, then the socket itself.
class ConnectionStream : public httplib::Stream {
 public:
  explicit ConnectionStream(Connection& c) : c_(c) {}

  bool is_readable() const override {
    return at_ < c_.data.size() || PollOne(c_.fd, POLLIN, 0) != 0;
  }
  bool is_writable() const override {
    const short ready = PollOne(c_.fd, POLLOUT, kWriteTimeoutMs);
    if (!(ready & POLLOUT) || (ready & (POLLERR | POLLHUP))) return false;
    char byte;
    return ::recv(c_.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) != 0;  // 0: the client left
  }
  ssize_t read(char* ptr, size_t size) override {
    if (at_ < c_.data.size()) {
      const size_t n = std::min(size, c_.data.size() - at_);
      std::copy_n(c_.data.data() + at_, n, ptr);
      at_ += n;
      return static_cast<ssize_t>(n);
    }
    // The whole request was read before it came here: its end is the end of its bytes (a
    // request without a length has no body).
    return 0;
  }
  ssize_t write(const char* ptr, size_t size) override {
    for (;;) {
      if (!(PollOne(c_.fd, POLLOUT, kWriteTimeoutMs) & POLLOUT)) return -1;
      const ssize_t n = ::send(c_.fd, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n >= 0 || (errno != EAGAIN && errno != EINTR)) return n;
    }
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = c_.peer;
    port = c_.peer_port;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    ip.clear();
    port = 0;
    if (getsockname(c_.fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return;
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
      const auto* a = reinterpret_cast<sockaddr_in*>(&address);
      inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
      port = ntohs(a->sin_port);
    } else if (address.ss_family == AF_INET6) {
      const auto* a = reinterpret_cast<sockaddr_in6*>(&address);
      inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
      port = ntohs(a->sin6_port);
    }
    ip = text;
  }
  socket_t socket() const override { return c_.fd; }

 private:
  Connection& c_;
  size_t at_ = 0;
};

// The library's router, handed requests our front has read.
class Router : public httplib::Server {
 public:
  ~Router() override { Close(); }
  // The library streams a reply while it holds a listening socket: ours, while it is open.
  void Open(int listener) { svr_sock_ = listener; }
  void Close() { svr_sock_ = INVALID_SOCKET; }
  void Serve(httplib::Stream& stream) {
    bool closed = true;
    process_request(stream, true, closed, nullptr);
  }
};

void Send(int fd, const std::string& text) {
  (void)::send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

}  // namespace

struct HttpServer::Impl {
  Endpoint& endpoint;
  ServerOptions options;
  HostRules rules;
  Router router;
  std::atomic<bool> stopping{false};
  std::atomic<size_t> pages{0};  // update streams open
  const size_t threads;
  int listener = -1;
  int wake[2] = {-1, -1};

  // Requests read whole, for the workers: those with the token first.
  std::mutex mu;
  std::condition_variable ready;
  std::deque<std::unique_ptr<Connection>> trusted, others;
  size_t others_running = 0;
  // Answered connections for the front to drain and close.
  std::vector<int> answered;

  Impl(Endpoint& e, ServerOptions o)
      : endpoint(e), options(std::move(o)), threads(options.max_streams + kSpareThreads) {
    rules.bind = options.bind;
    rules.names = options.public_names;
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
      throw std::runtime_error(std::string("cannot make the server's wake-up pipe: ") +
                               std::strerror(errno));
    DeclareMetrics();
  }
  ~Impl() {
    if (listener >= 0) ::close(listener);
    ::close(wake[0]);
    ::close(wake[1]);
  }

  void Wake() { (void)!::write(wake[1], "x", 1); }

  httplib::Server::HandlerResponse Admit(const httplib::Request& req, httplib::Response& res) {
    // Health is asked by supervisors and proxies under any name, without the token: it
    // tells nothing they could use.
    if (req.path == "/healthz" && req.method == "GET")
      return httplib::Server::HandlerResponse::Unhandled;
    const std::string host = req.get_header_value("Host");
    if (!AcceptedHost(host, rules)) {
      SetError(res, 421,
               "this display answers only to its own address (such as http://127.0.0.1:" +
                   std::to_string(rules.port) + "/), not to \"" + host +
                   "\": open the address it printed at start");
      return httplib::Server::HandlerResponse::Handled;
    }
    const Access access =
        CheckAccess(options.token, req.get_header_value("Cookie"), req.get_param_value("token"));
    if (access == Access::kRefused) {
      SetError(res, 401, "this display needs its token: open the address it printed at start");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (access == Access::kAllowedSetCookie) {
      res.set_header("Set-Cookie", std::string(kTokenCookie) + "=" + options.token +
                                       "; Path=/; HttpOnly; SameSite=Strict");
      if (req.method == "GET" && req.path == "/") {
        res.set_redirect("/", 303);
        return httplib::Server::HandlerResponse::Handled;
      }
    }
    if (req.path == "/event" || req.path == "/events" || req.path == "/export") {
      // The page's own requests come from its origin; a browser names it on every POST.
      const bool has_origin = req.has_header("Origin");
      const std::string site = req.get_header_value("Sec-Fetch-Site");
      if ((has_origin && !AcceptedOrigin(req.get_header_value("Origin"), rules)) ||
          (!site.empty() && site != "same-origin" && site != "none")) {
        SetError(res, 403, "requests from another site's page are refused");
        return httplib::Server::HandlerResponse::Handled;
      }
      if (!has_origin && req.method == "POST" && options.token.empty()) {
        SetError(res, 403,
                 "an event without an Origin header is refused: post it from the display's "
                 "page, or serve with --token-file and send the token");
        return httplib::Server::HandlerResponse::Handled;
      }
    }
    const uint64_t length = req.get_header_value<uint64_t>("Content-Length");
    if (length > options.max_request) {
      SetError(res, 400,
               "request too large: " + std::to_string(length) + " bytes, at most " +
                   std::to_string(options.max_request));
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  }

  static Caller CallerOf(const httplib::Request& req) {
    Caller caller;
    caller.session = req.has_param("session") ? req.get_param_value("session")
                                              : req.get_header_value(kSessionHeader);
    caller.browser = CookieValue(req.get_header_value("Cookie"), kBrowserCookie);
    caller.peer = req.remote_addr;
    return caller;
  }

  void Routes() {
    router.set_default_headers(SecurityHeaders());
    router.set_payload_max_length(options.max_request);
    router.set_pre_routing_handler(
        [this](const httplib::Request& req, httplib::Response& res) { return Admit(req, res); });
    router.set_error_handler([this](const httplib::Request&, httplib::Response& res) {
      if (res.status == 413)
        SetError(res, 400,
                 "request too large: at most " + std::to_string(options.max_request) + " bytes");
      else if (res.body.empty())
        SetError(res, res.status, res.status == 404 ? "no such page" : "request refused");
    });
    router.set_logger([](const httplib::Request& req, const httplib::Response& res) {
      CountRequest(RouteOf(req.path), res.status);
    });
    router.Get("/healthz", [this](const httplib::Request&, httplib::Response& res) {
      const Reply health = endpoint.Health();
      res.status = health.status;
      res.set_content(health.body, "application/json");
    });
    router.Get("/metrics", [this](const httplib::Request&, httplib::Response& res) {
      Metrics::Process().Set("tabulo_event_streams_open", {}, static_cast<double>(pages.load()));
      res.set_content(Metrics::Process().Text(), "text/plain; version=0.0.4; charset=utf-8");
    });
    router.Get("/", [](const httplib::Request&, httplib::Response& res) {
      res.headers.erase("Content-Security-Policy");
      res.set_header("Content-Security-Policy", PagePolicy());
      res.set_content(std::string(Page()), "text/html; charset=utf-8");
    });
    auto send = [](httplib::Response& res, const Reply& reply) {
      res.status = reply.status;
      res.set_content(reply.body, "application/json");
    };
    router.Post("/session", [this, send](const httplib::Request& req, httplib::Response& res) {
      Caller caller = CallerOf(req);
      if (caller.browser.empty()) {
        caller.browser = NewToken();
        res.set_header("Set-Cookie", std::string(kBrowserCookie) + "=" + caller.browser +
                                         "; Path=/; HttpOnly; SameSite=Strict");
      }
      send(res, endpoint.Open(caller, req.body));
    });
    router.Get("/export", [this](const httplib::Request& req, httplib::Response& res) {
      Download download = endpoint.Export(CallerOf(req), req.get_param_value("control"),
                                          req.get_param_value("format"));
      if (download.status != 200 || !download.body)
        return SetError(res, download.status == 200 ? 500 : download.status, download.error);
      res.set_header("Content-Disposition", "attachment; filename=\"" + download.filename + "\"");
      auto body = std::make_shared<decltype(download.body)>(std::move(download.body));
      res.set_chunked_content_provider(
          download.content_type, [body](size_t, httplib::DataSink& sink) {
            (*body)([&](std::string_view piece) { return sink.write(piece.data(), piece.size()); });
            sink.done();
            return true;
          });
    });
    router.Post("/session/end", [this, send](const httplib::Request& req, httplib::Response& res) {
      send(res, endpoint.End(CallerOf(req)));
    });
    router.Post("/event", [this, send](const httplib::Request& req, httplib::Response& res) {
      if (req.get_header_value("Content-Type").rfind("application/json", 0) != 0)
        return SetError(res, 400, "an event is JSON, sent as application/json");
      send(res, endpoint.Post(CallerOf(req), req.body));
    });
    router.Get("/events", [this, send](const httplib::Request& req, httplib::Response& res) {
      const Caller caller = CallerOf(req);
      const Reply admitted = endpoint.Watch(caller);
      if (admitted.status != 200) return send(res, admitted);
      if (++pages > options.max_streams) {
        --pages;
        return SetError(res, 503, "too many pages are open on this display");
      }
      auto seen = std::make_shared<UpdateCursor>();
      auto idle = std::make_shared<int>(0);
      auto over = std::make_shared<bool>(false);
      res.set_chunked_content_provider(
          "text/event-stream",
          [this, seen, idle, over, caller](size_t, httplib::DataSink& sink) {
            // A closed tab gives its place up at once.
            if (stopping || *over || !sink.is_writable()) return false;
            std::optional<Update> update = endpoint.NextUpdate(caller, *seen, kUpdateWait);
            std::string chunk;
            if (update) {
              *idle = 0;
              *over = update->event == "ended";
              chunk = "event: " + update->event + "\ndata: " + update->data + "\n\n";
            } else if (++*idle >= kKeepAliveRounds) {
              // A closed tab is found when writing to it fails.
              *idle = 0;
              chunk = ":\n\n";
            }
            return chunk.empty() || sink.write(chunk.data(), chunk.size());
          },
          [this](bool) { --pages; });
    });
  }

  // Whether a request read whole may use the reserved workers.
  bool Trusted(const Connection& c) const {
    const Head head = ReadHead(std::string_view(c.data).substr(0, c.needed));
    return AcceptedHost(head.host, rules) &&
           CheckAccess(options.token, head.cookie, QueryToken(head.target)) != Access::kRefused;
  }

  void Dispatch(std::unique_ptr<Connection> c) {
    const bool trusted_request = Trusted(*c);
    {
      std::lock_guard lock(mu);
      (trusted_request ? trusted : others).push_back(std::move(c));
    }
    ready.notify_one();
  }

  void Work() {
    for (;;) {
      std::unique_ptr<Connection> c;
      bool other = false;
      {
        std::unique_lock lock(mu);
        ready.wait(lock, [&] {
          return stopping || !trusted.empty() ||
                 (!others.empty() && others_running < threads - kReserve);
        });
        if (!trusted.empty()) {
          c = std::move(trusted.front());
          trusted.pop_front();
        } else if (!others.empty() && others_running < threads - kReserve) {
          c = std::move(others.front());
          others.pop_front();
          other = true;
          ++others_running;
        } else {
          return;  // stopping with nothing left
        }
      }
      if (!stopping) {
        ConnectionStream stream(*c);
        router.Serve(stream);
      }
      {
        std::lock_guard lock(mu);
        if (other) --others_running;
        answered.push_back(c->fd);
      }
      ready.notify_all();
      Wake();
    }
  }

  // The front: accepts, reads every request whole within its deadlines, hands it on.
  void Front() {
    std::map<uint64_t, std::unique_ptr<Connection>> reading;  // by arrival
    std::map<std::string, size_t> per_address;
    std::deque<std::pair<int, Clock::time_point>> lingering;
    uint64_t serial = 0;
    Clock::time_point accept_again;
    auto drop = [&](std::map<uint64_t, std::unique_ptr<Connection>>::iterator it,
                    const std::string& reply) {
      if (!reply.empty()) {
        Send(it->second->fd, reply);
        CountRequest("unread", std::atoi(reply.c_str() + 9));  // "HTTP/1.1 408 ..."
      }
      ::close(it->second->fd);
      if (--per_address[it->second->peer] == 0) per_address.erase(it->second->peer);
      return reading.erase(it);
    };
    auto oldest_of = [&](const std::string& peer) {
      return std::find_if(reading.begin(), reading.end(),
                          [&](const auto& e) { return e.second->peer == peer; });
    };
    const std::string timeout =
        HttpReply(408, "Request Timeout", "the request did not arrive in time: send it again");
    std::vector<pollfd> polled;
    while (!stopping) {
      // Answered connections: no more to send; what the client still sends is read and
      // dropped (so that it reads the reply, not a reset) until it closes or time is up.
      {
        std::lock_guard lock(mu);
        for (int fd : answered) {
          ::shutdown(fd, SHUT_WR);
          lingering.emplace_back(fd, Clock::now() + kLinger);
        }
        answered.clear();
      }
      while (lingering.size() > kMaxLingering) {
        ::close(lingering.front().first);
        lingering.pop_front();
      }
      // Out of descriptors with none to free, new connections wait a moment in the backlog.
      const bool accepting = Clock::now() >= accept_again;
      polled.assign(
          {{listener, static_cast<short>(accepting ? POLLIN : 0), 0}, {wake[0], POLLIN, 0}});
      Clock::time_point next = Clock::now() + std::chrono::seconds(1);
      if (!accepting) next = std::min(next, accept_again);
      for (const auto& [id, c] : reading) {
        polled.push_back({c->fd, POLLIN, 0});
        next = std::min(next, c->deadline);
      }
      for (const auto& [fd, until] : lingering) {
        polled.push_back({fd, POLLIN, 0});
        next = std::min(next, until);
      }
      const auto wait =
          std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
      ::poll(polled.data(), polled.size(), static_cast<int>(std::clamp<int64_t>(wait, 0, 1000)));
      if (stopping) break;
      const Clock::time_point now = Clock::now();
      char buffer[16384];
      if (polled[1].revents) {
        while (::read(wake[0], buffer, sizeof buffer) > 0) {
        }
      }
      // Reading: by the same order as polled (the map is not changed before this loop).
      size_t at = 2;
      for (auto it = reading.begin(); it != reading.end(); ++at) {
        Connection& c = *it->second;
        if (!polled[at].revents) {
          ++it;
          continue;
        }
        const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) {
          it = n < 0 && (errno == EAGAIN || errno == EINTR) ? std::next(it) : drop(it, "");
          continue;
        }
        c.data.append(buffer, static_cast<size_t>(n));
        if (c.needed == 0) {
          size_t end = c.data.find("\r\n\r\n");
          end = end == std::string::npos ? end : end + 4;
          if (end == std::string::npos || end > kMaxHead) {
            if (c.data.size() > kMaxHead)
              it = drop(it, HttpReply(431, "Request Header Fields Too Large",
                                      "the request's headers are longer than " +
                                          std::to_string(kMaxHead) + " bytes"));
            else
              ++it;
            continue;
          }
          const Head head = ReadHead(std::string_view(c.data).substr(0, end));
          if (head.chunked || head.bad_length) {
            it = drop(it, HttpReply(400, "Bad Request",
                                    head.chunked ? "send the request's body with a "
                                                   "Content-Length, not in chunks"
                                                 : "the request's Content-Length must be one "
                                                   "decimal number of at most 18 digits"));
            continue;
          }
          // A body over the limit is not read: the router refuses it from its length.
          c.needed = end + (head.length <= options.max_request ? head.length : 0);
          c.deadline = now + options.request_deadline;
        }
        if (c.data.size() < c.needed) {
          ++it;
          continue;
        }
        std::unique_ptr<Connection> whole = std::move(it->second);
        if (--per_address[whole->peer] == 0) per_address.erase(whole->peer);
        it = reading.erase(it);
        Dispatch(std::move(whole));
      }
      for (auto it = lingering.begin(); it != lingering.end(); ++at) {
        bool done = now >= it->second;
        if (polled[at].revents) {
          const ssize_t n = ::recv(it->first, buffer, sizeof buffer, MSG_DONTWAIT);
          done = done || n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
        }
        if (done) ::close(it->first);
        it = done ? lingering.erase(it) : std::next(it);
      }
      for (auto it = reading.begin(); it != reading.end();)
        it = now >= it->second->deadline ? drop(it, timeout) : std::next(it);
      if (polled[0].revents && !Accept(reading, per_address, serial, drop, oldest_of))
        accept_again = now + std::chrono::milliseconds(100);
    }
    for (auto& [id, c] : reading) ::close(c->fd);
    for (auto& [fd, until] : lingering) ::close(fd);
  }

  // Accepts what waits; false when out of descriptors with no connection to close.
  template <typename Drop, typename OldestOf>
  bool Accept(std::map<uint64_t, std::unique_ptr<Connection>>& reading,
              std::map<std::string, size_t>& per_address, uint64_t& serial, Drop& drop,
              OldestOf& oldest_of) {
    bool made_room = false;
    for (;;) {
      sockaddr_storage address{};
      socklen_t size = sizeof address;
      const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&address), &size,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        // Out of descriptors: the oldest connection still being read makes room, for one new
        // connection a round (the system refuses an accept a descriptor before it looks for a
        // waiting connection, so a second room could be made for none; the next round takes
        // the next connection).
        if ((errno == EMFILE || errno == ENFILE) && !reading.empty() && !made_room) {
          drop(reading.begin(), "");
          made_room = true;
          continue;
        }
        return errno != EMFILE && errno != ENFILE;
      }
      auto c = std::make_unique<Connection>();
      c->fd = fd;
      c->serial = ++serial;
      c->deadline = Clock::now() + options.request_deadline;
      char text[INET6_ADDRSTRLEN] = "";
      if (address.ss_family == AF_INET) {
        const auto* a = reinterpret_cast<sockaddr_in*>(&address);
        inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
        c->peer_port = ntohs(a->sin_port);
      } else if (address.ss_family == AF_INET6) {
        const auto* a = reinterpret_cast<sockaddr_in6*>(&address);
        inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
        c->peer_port = ntohs(a->sin6_port);
      }
      c->peer = text;
      // A client at its limit loses its oldest unfinished request to the new one; so does
      // everyone, oldest first, when the front is full.
      if (per_address[c->peer] >= options.per_address)
        drop(oldest_of(c->peer), "");
      else if (reading.size() >= kMaxReading)
        drop(reading.begin(), "");
      ++per_address[c->peer];
      reading.emplace(c->serial, std::move(c));
    }
  }
};

HttpServer::HttpServer(Endpoint& endpoint, ServerOptions options)
    : impl_(std::make_unique<Impl>(endpoint, std::move(options))) {
  impl_->Routes();
}

HttpServer::~HttpServer() {
  Stop();
}

int HttpServer::Bind() {
  const std::string& host = impl_->options.bind;
  const std::string where =
      impl_->options.port == 0 ? host : host + ":" + std::to_string(impl_->options.port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(impl_->options.port).c_str(), &hints, &found) != 0)
    throw std::runtime_error("cannot listen on " + where + ": no such address");
  int fd = -1;
  for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
    fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0) {
      ::close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  if (fd < 0) throw std::runtime_error("cannot listen on " + where);
  sockaddr_storage bound{};
  socklen_t size = sizeof bound;
  getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size);
  impl_->listener = fd;
  impl_->router.Open(fd);
  impl_->rules.port =
      ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                        : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  return impl_->rules.port;
}

void HttpServer::Run() {
  if (impl_->listener < 0) return;
  std::vector<std::thread> workers;
  for (size_t i = 0; i < impl_->threads; ++i) workers.emplace_back([this] { impl_->Work(); });
  impl_->Front();
  impl_->ready.notify_all();
  for (std::thread& t : workers) t.join();
  // Requests never answered, and answers the front has not taken.
  for (auto* queue : {&impl_->trusted, &impl_->others})
    for (auto& c : *queue) ::close(c->fd);
  impl_->trusted.clear();
  impl_->others.clear();
  for (int fd : impl_->answered) ::close(fd);
  impl_->answered.clear();
}

void HttpServer::Stop() {
  impl_->stopping = true;
  impl_->router.Close();
  impl_->ready.notify_all();
  impl_->Wake();
}

}  // namespace tabulo::web
