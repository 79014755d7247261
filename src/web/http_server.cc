// The operator display's HTTP side (http_server.h), on cpp-httplib.
#include "web/http_server.h"

#include <httplib.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "web/access.h"
#include "web/page.h"

namespace tabulo::web {
namespace {

constexpr auto kUpdateWait = std::chrono::milliseconds(250);
constexpr int kKeepAliveRounds = 8;  // waits without news before a comment line probes the tab
// Each open page holds one of the server's threads for its updates; the rest serve events.
constexpr size_t kThreads = 24;
constexpr int kMaxPages = 16;

void SetError(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_content(nlohmann::json{{"error", message}}.dump(), "application/json");
}

// "http://host:port" of the Origin header against the Host header the page was served as.
bool SameOrigin(const httplib::Request& req) {
  if (!req.has_header("Origin")) return true;
  const std::string origin = req.get_header_value("Origin");
  const size_t scheme = origin.find("://");
  return scheme != std::string::npos && origin.substr(scheme + 3) == req.get_header_value("Host");
}

}  // namespace

struct HttpServer::Impl {
  Endpoint& endpoint;
  ServerOptions options;
  httplib::Server server;
  std::atomic<bool> stopping{false};
  std::atomic<int> pages{0};  // update streams open

  Impl(Endpoint& e, ServerOptions o) : endpoint(e), options(std::move(o)) {}

  httplib::Server::HandlerResponse Admit(const httplib::Request& req, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
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
    if (!SameOrigin(req)) {
      SetError(res, 403, "requests from another site's page are refused");
      return httplib::Server::HandlerResponse::Handled;
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

  void Routes() {
    server.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    server.set_payload_max_length(options.max_request);
    server.set_pre_routing_handler(
        [this](const httplib::Request& req, httplib::Response& res) { return Admit(req, res); });
    server.set_error_handler([this](const httplib::Request&, httplib::Response& res) {
      if (res.status == 413)
        SetError(res, 400,
                 "request too large: at most " + std::to_string(options.max_request) + " bytes");
      else if (res.body.empty())
        SetError(res, res.status, res.status == 404 ? "no such page" : "request refused");
    });
    server.Get("/", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Content-Security-Policy",
                     "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                     "connect-src 'self'; img-src data:");
      res.set_content(std::string(Page()), "text/html; charset=utf-8");
    });
    server.Post("/event", [this](const httplib::Request& req, httplib::Response& res) {
      if (req.get_header_value("Content-Type").rfind("application/json", 0) != 0)
        return SetError(res, 400, "an event is JSON, sent as application/json");
      const Reply reply = endpoint.Post(req.body);
      res.status = reply.status;
      res.set_content(reply.body, "application/json");
    });
    server.Get("/events", [this](const httplib::Request&, httplib::Response& res) {
      if (++pages > kMaxPages) {
        --pages;
        return SetError(res, 503, "too many pages are open on this display");
      }
      auto seen = std::make_shared<UpdateCursor>();
      auto idle = std::make_shared<int>(0);
      res.set_chunked_content_provider(
          "text/event-stream",
          [this, seen, idle](size_t, httplib::DataSink& sink) {
            if (stopping) return false;
            std::optional<Update> update = endpoint.NextUpdate(*seen, kUpdateWait);
            std::string chunk;
            if (update) {
              *idle = 0;
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
  if (impl_->options.port == 0) {
    const int port = impl_->server.bind_to_any_port(host);
    if (port < 0) throw std::runtime_error("cannot listen on " + host);
    return port;
  }
  if (!impl_->server.bind_to_port(host, impl_->options.port))
    throw std::runtime_error("cannot listen on " + host + ":" +
                             std::to_string(impl_->options.port));
  return impl_->options.port;
}

void HttpServer::Run() {
  impl_->server.listen_after_bind();
}

void HttpServer::Stop() {
  impl_->stopping = true;
  impl_->server.stop();
}

}  // namespace tabulo::web
