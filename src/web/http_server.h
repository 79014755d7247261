// The operator display's HTTP side: the page, the events the page posts and the updates it
// is pushed (server-sent events), behind the access rules of access.h. It knows nothing of
// controls: an Endpoint answers the events and hands out the updates.
//
// Connections are read by one front thread that polls them all: a request reaches a worker
// thread (and the library's router, and the Endpoint) only once its head and body are read
// whole, each within its deadline; a client that sends slowly is cut off at the deadline,
// whatever it trickles. Each client address may hold a bounded number of connections still
// being read; past it, its oldest one is closed. A few workers are kept for requests that
// carry the token (or, without one, for every request that names the display's host). One
// request a connection: every reply closes it.
//
//   GET  /         the page (with ?token=... on another address: sets the cookie, then
//                  sends the browser to / without it)
//   POST /session      opens the page's session (JSON: {} or {"user", "password"} to sign
//                      in); the Endpoint's reply names it. A browser without the browser
//                      cookie (kBrowserCookie) is given one here: a session answers only
//                      to the browser it was opened in.
//   POST /session/end  ends the page's session (signing out)
//   GET  /events?session=ID  text/event-stream: "scene", "busy" and "ended" events, as the
//                      Endpoint gives them; the stream closes after "ended"
//   POST /event        one event as JSON (Content-Type application/json), its session in
//                      the header kSessionHeader; the Endpoint's reply
//   GET  /export?control=N&format=csv|json&session=ID   a download of what a control of
//                      the session shows, streamed
//   GET  /healthz      for a load balancer or supervisor, without the token and whatever
//                      the Host: {"status":"ok"|"degraded","database":"ok"|"down"}, 200 or
//                      (the data server does not answer) 503, as the Endpoint's Health says
//   GET  /metrics      the process's figures (metrics.h) in the Prometheus text format,
//                      behind the token as the page is; requests are counted by route and
//                      status, and the update streams open are a gauge
//
// A page's session travels in its requests (a header, and the update stream's address), not
// in a cookie: every page of a browser shares its cookies, and each page is its own
// operator's session. The page keeps it across a reload of the same tab.
//
// Refused: 421 for a Host that is not the display's (access.h, AcceptedHost), 401 without
// the token, 400 for a body over the limit, not JSON-typed or sent in chunks, 403 for a page
// of another origin (an Origin header that is not the display's, or a POST without one
// unless it carries the token: browsers always send it), 408 for a request not read within
// its deadline, 404 for anything else. Error bodies are {"error": "..."}. Every reply forbids
// framing; the page's script and style run under a content security policy naming their
// hashes.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tabulo::web {

struct Reply {
  int status = 200;
  std::string body;  // JSON
};

// One pushed update: an event name and its JSON text.
struct Update {
  std::string event;
  std::string data;
};

inline constexpr char kSessionHeader[] = "X-Tabulo-Session";
inline constexpr char kBrowserCookie[] = "tabulo_browser";

// Who sends a request: the session it names and the browser it comes from.
struct Caller {
  std::string session;  // "" when the request names none
  std::string browser;  // the browser cookie's value
  std::string peer;     // the client's address
};

// What one page has been sent so far.
struct UpdateCursor {
  uint64_t seen = 0;       // the last scene's version
  bool told_busy = false;  // a "busy" went out after it
};

// A file the page downloads: its body written in pieces as it is made.
struct Download {
  int status = 200;
  std::string error;  // the reason, when status is not 200
  std::string filename, content_type;
  // Writes the whole body through `write`, which returns false once the page has gone away.
  std::function<void(const std::function<bool(std::string_view)>& write)> body;
};

class Endpoint {
 public:
  virtual ~Endpoint() = default;
  // Opens a session for a new page (POST /session, its body as it came).
  virtual Reply Open(const Caller& caller, const std::string& body) = 0;
  // Ends the caller's session (POST /session/end).
  virtual Reply End(const Caller& caller) = 0;
  // One posted event, its body as it came.
  virtual Reply Post(const Caller& caller, const std::string& body) = 0;
  // Whether the caller may watch its session's updates: 200, or the refusal to send.
  virtual Reply Watch(const Caller& caller) = 0;
  // The next update for a page that has been sent `cursor` (moved on past what is
  // returned), waiting at most `wait`; nothing when there is none yet. An "ended" update
  // is the last.
  virtual std::optional<Update> NextUpdate(const Caller& caller, UpdateCursor& cursor,
                                           std::chrono::milliseconds wait) = 0;
  // GET /export for the caller's session: `control` and `format` as the query gives them.
  virtual Download Export(const Caller& caller, const std::string& control,
                          const std::string& format) {
    (void)caller;
    (void)control;
    (void)format;
    return {404, "this display offers no downloads", {}, {}, nullptr};
  }
  // GET /healthz: 200 when all is well, 503 when the data server does not answer; the body
  // says no more than that (no names, addresses or messages). Called by anyone: it must be
  // cheap and must not reach the data server more than now and then.
  virtual Reply Health() { return {200, R"({"status":"ok","database":"ok"})"}; }
};

struct ServerOptions {
  std::string bind = "127.0.0.1";
  int port = 8080;                        // 0: any free port
  std::string token;                      // empty: no token asked (loopback)
  size_t max_request = 65536;             // bytes of a posted body
  std::vector<std::string> public_names;  // further names the display answers to
  // Time to read a request's head, and again its body.
  std::chrono::milliseconds request_deadline{10000};
  // Connections one client address may have still being read; a further one closes its
  // oldest.
  size_t per_address = 64;
  // Update streams open at once (a page each; a reloaded page's old one may linger).
  size_t max_streams = 16;
};

class HttpServer {
 public:
  HttpServer(Endpoint& endpoint, ServerOptions options);
  ~HttpServer();

  // Binds the address; returns the port. Raises std::runtime_error when it cannot.
  int Bind();
  // Serves until Stop (from any thread).
  void Run();
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tabulo::web
