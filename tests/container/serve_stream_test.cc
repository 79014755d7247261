// The HTTP server's connection layer over raw sockets, behind a small Endpoint of the test's
// own whose update streams follow a script: a stream's keep-alive comments, a stream that ends
// once its page has gone (closed or reset) and goes on while the page sends more, a download
// whose reader resets, all workers busy at once with a half-closed POST waiting, and the
// server's descriptors over its life and when there are none left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "container/raw_client.h"
#include "web/http_server.h"

namespace tabulo::container {
namespace {

using namespace std::chrono_literals;

// An Endpoint whose update streams follow a script a session: each step an update (its event
// name), "." a round without news, or "|" a round held until the next Release; past its
// script, rounds without news. Downloads are endless, written in pieces until the reader has
// gone; health probes may be held until the next Release too.
class ScriptedEndpoint : public web::Endpoint {
 public:
  void Script(const std::string& session, std::vector<std::string> steps) {
    std::lock_guard lock(mu_);
    scripts_[session] = std::move(steps);
  }
  web::Reply Open(const web::Caller&, const std::string&) override { return {200, "{}"}; }
  web::Reply End(const web::Caller&) override { return {200, "{}"}; }
  web::Reply Post(const web::Caller&, const std::string&) override { return {200, "{}"}; }
  web::Reply Watch(const web::Caller&) override { return {200, "{}"}; }
  std::optional<web::Update> NextUpdate(const web::Caller& caller, web::UpdateCursor&,
                                        std::chrono::milliseconds) override {
    std::unique_lock lock(mu_);
    const size_t at = calls_[caller.session]++;
    changed_.notify_all();
    const std::vector<std::string>& steps = scripts_[caller.session];
    const std::string step = at < steps.size() ? steps[at] : ".";
    const int releases = releases_;
    if (step == "|") changed_.wait(lock, [&] { return releases_ > releases; });
    if (step == "." || step == "|") return std::nullopt;
    return web::Update{step, "{}"};
  }
  web::Reply Health() override {
    std::unique_lock lock(mu_);
    ++probes_;
    changed_.notify_all();
    const int releases = releases_;
    if (hold_health_) changed_.wait(lock, [&] { return releases_ > releases; });
    return {200, R"({"status":"ok"})"};
  }
  web::Download Export(const web::Caller&, const std::string&, const std::string&) override {
    return {200, "", "rows.csv", "text/csv", [this](const auto& write) {
              const std::string piece(65536, 'x');
              size_t pieces = 0;
              while (pieces < kPieces && write(piece)) ++pieces;
              std::lock_guard lock(mu_);
              written_ = pieces;
              changed_.notify_all();
            }};
  }

  static constexpr size_t kPieces = 4096;  // 256 MB: far more than any socket holds
  size_t Calls(const std::string& session) {
    std::lock_guard lock(mu_);
    return calls_[session];
  }
  bool WaitForCalls(const std::string& session, size_t calls) {
    std::unique_lock lock(mu_);
    return changed_.wait_for(lock, 20s, [&] { return calls_[session] >= calls; });
  }
  void HoldHealth() { hold_health_ = true; }
  bool WaitForProbes(int probes) {
    std::unique_lock lock(mu_);
    return changed_.wait_for(lock, 20s, [&] { return probes_ >= probes; });
  }
  // The pieces a download wrote before it ended, or nothing while it goes on.
  std::optional<size_t> Written() {
    std::unique_lock lock(mu_);
    changed_.wait_for(lock, 20s, [&] { return written_.has_value(); });
    return written_;
  }
  void Release() {
    std::lock_guard lock(mu_);
    ++releases_;
    changed_.notify_all();
  }

 private:
  std::mutex mu_;
  std::condition_variable changed_;
  std::map<std::string, std::vector<std::string>> scripts_;
  std::map<std::string, size_t> calls_;
  int releases_ = 0;
  bool hold_health_ = false;
  int probes_ = 0;
  std::optional<size_t> written_;
};

using raw::Connect;
using raw::ReadUntil;
using raw::SendAll;

// A chunked reply's body, its chunks joined as far as they came.
std::string Dechunked(const std::string& reply) {
  std::string body;
  size_t at = reply.find("\r\n\r\n");
  if (at == std::string::npos) return body;
  for (at += 4;;) {
    const size_t line = reply.find("\r\n", at);
    if (line == std::string::npos) break;
    const size_t size = std::stoul(reply.substr(at, line - at), nullptr, 16);
    if (size == 0 || line + 2 + size > reply.size()) break;
    body += reply.substr(line + 2, size);
    at = line + 2 + size + 2;
  }
  return body;
}

std::string Event(const std::string& name) {
  return "event: " + name + "\ndata: {}\n\n";
}

// The server's end of the test's connection `fd` (both live in this process), found by the
// client's port once the server has accepted it.
int ServerEndOf(int fd) {
  sockaddr_in mine{};
  socklen_t size = sizeof mine;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&mine), &size);
  for (int attempt = 0; attempt < 2000; ++attempt) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      const int other = std::stoi(entry.path().filename().string());
      sockaddr_in peer{};
      size = sizeof peer;
      if (other != fd && ::getpeername(other, reinterpret_cast<sockaddr*>(&peer), &size) == 0 &&
          peer.sin_family == AF_INET && peer.sin_port == mine.sin_port)
        return other;
    }
    std::this_thread::sleep_for(10ms);
  }
  return -1;
}

// Waits until `events` (or an error) reached the descriptor.
bool Arrived(int fd, short events) {
  pollfd p{fd, events, 0};
  return ::poll(&p, 1, 20000) == 1;
}

class ServeStreamTest : public ::testing::Test {
 protected:
  void Start(web::ServerOptions options = {}) {
    options.port = 0;
    server_ = std::make_unique<web::HttpServer>(endpoint_, options);
    port_ = server_->Bind();
    run_ = std::thread([this] { server_->Run(); });
  }
  void TearDown() override {
    endpoint_.Release();
    if (server_) server_->Stop();
    if (run_.joinable()) run_.join();
  }
  std::string Get(const std::string& target) const {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\n\r\n";
  }
  // A connection whose update stream was admitted (the previous one may still be closing),
  // and what came of it so far.
  int OpenStream(const std::string& session, std::string& head) {
    for (int attempt = 0; attempt < 2000; ++attempt) {
      const int fd = Connect(port_);
      SendAll(fd, Get("/events?session=" + session));
      head = ReadUntil(fd, "\r\n\r\n");
      if (head.rfind("HTTP/1.1 200 ", 0) == 0) return fd;
      ::close(fd);
      if (head.rfind("HTTP/1.1 503 ", 0) != 0) break;
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }

  ScriptedEndpoint endpoint_;
  std::unique_ptr<web::HttpServer> server_;
  std::thread run_;
  int port_ = 0;
};

// A page's stream carries a comment line after each eight rounds without news, counted from
// its last update: not after seven, twice after sixteen.
TEST_F(ServeStreamTest, AKeepAliveCommentFollowsEachEightRoundsWithoutNews) {
  std::vector<std::string> steps;
  for (const auto& [quiet, update] :
       std::vector<std::pair<int, std::string>>{{7, "a"}, {8, "b"}, {15, "c"}, {16, "ended"}}) {
    steps.insert(steps.end(), static_cast<size_t>(quiet), ".");
    steps.push_back(update);
  }
  endpoint_.Script("quiet", steps);
  Start();
  const int fd = Connect(port_);
  SendAll(fd, Get("/events?session=quiet"));
  const std::string reply = ReadUntil(fd);
  ::close(fd);
  EXPECT_EQ(Dechunked(reply), Event("a") + ":\n\n" + Event("b") + ":\n\n" + Event("c") +
                                  ":\n\n:\n\n" + Event("ended"))
      << reply;
}

// A stream ends once its page has gone, closed or reset, without asking for another update
// (one stream at a time: the next is admitted only once the last has ended); a page that
// sends more on the connection keeps its stream, and what it sent is never answered: one
// request a connection.
TEST_F(ServeStreamTest, AStreamEndsOnceItsPageHasGoneAndNotWhileItSendsMore) {
  web::ServerOptions options;
  options.max_streams = 1;
  Start(options);
  const struct {
    const char* session;
    const char* leaves;  // "closed", "reset", or what the page sends on
    size_t calls;        // updates asked for in all
    std::string body;
  } rows[] = {
      {"closed", "closed", 2, Event("scene")},
      {"reset", "reset", 2, Event("scene")},
      {"piped", "GET /healthz HTTP/1.1\r\n\r\n", 4, Event("scene") + Event("b") + Event("ended")},
  };
  std::string previous;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.session);
    endpoint_.Script(r.session, {"scene", "|", "b", "ended"});
    std::string reply;
    const int fd = OpenStream(r.session, reply);
    ASSERT_GE(fd, 0);
    if (!previous.empty()) {
      EXPECT_EQ(endpoint_.Calls(previous), 2u);  // it had ended
    }
    reply = ReadUntil(fd, Event("scene"), reply);
    ASSERT_TRUE(endpoint_.WaitForCalls(r.session, 2));  // held in its second round
    const int server_end = ServerEndOf(fd);
    ASSERT_GE(server_end, 0);
    const std::string leaves = r.leaves;
    if (leaves == "closed" || leaves == "reset") {
      if (leaves == "reset") {
        const linger now{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
      }
      ::close(fd);
      ASSERT_TRUE(Arrived(server_end, POLLRDHUP));
      endpoint_.Release();
      previous = r.session;
      continue;
    }
    SendAll(fd, leaves);
    ASSERT_TRUE(Arrived(server_end, POLLIN));
    endpoint_.Release();
    reply = ReadUntil(fd, {}, reply);
    ::close(fd);
    EXPECT_EQ(Dechunked(reply), r.body) << reply;
    EXPECT_EQ(reply.find("HTTP/1.1", 1), std::string::npos) << reply;
    EXPECT_EQ(endpoint_.Calls(r.session), r.calls);
    previous.clear();
  }
}

// A reader that resets a download in the middle frees its worker: the download learns that
// its page has gone and stops writing.
TEST_F(ServeStreamTest, ADownloadStopsWhenItsReaderResets) {
  Start();
  const int fd = Connect(port_);
  SendAll(fd, Get("/export?control=0&format=csv"));
  const std::string head = ReadUntil(fd, "\r\n\r\n");
  ASSERT_EQ(head.rfind("HTTP/1.1 200 ", 0), 0u) << head;
  const linger now{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
  ::close(fd);
  const std::optional<size_t> written = endpoint_.Written();
  ASSERT_TRUE(written.has_value());
  EXPECT_LT(*written, ScriptedEndpoint::kPieces);
}

// With no update streams allowed the server keeps eight workers, all of which may be busy at
// once: eight probes held together, each answered once let go. A further request waits for
// one: a POST without a Content-Length from a client that has half-closed, whose body ends
// where its bytes end.
TEST_F(ServeStreamTest, EightWorkersServeEightRequestsAtOnce) {
  endpoint_.HoldHealth();
  web::ServerOptions options;
  options.max_streams = 0;
  Start(options);
  std::vector<int> held;
  for (int i = 0; i < 8; ++i) {
    held.push_back(Connect(port_));
    SendAll(held.back(), Get("/healthz"));
  }
  EXPECT_TRUE(endpoint_.WaitForProbes(8));
  const int post = Connect(port_);
  SendAll(post, "POST /session HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) + "\r\n\r\n");
  ::shutdown(post, SHUT_WR);
  EXPECT_TRUE(Arrived(ServerEndOf(post), POLLRDHUP));
  held.push_back(post);
  endpoint_.Release();
  for (int fd : held) {
    EXPECT_EQ(ReadUntil(fd).rfind("HTTP/1.1 200 ", 0), 0u);
    ::close(fd);
  }
}

// The descriptors open now: number and what each is.
std::map<int, std::string> OpenDescriptors() {
  std::map<int, std::string> open;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    open[std::stoi(entry.path().filename().string())] =
        std::filesystem::read_symlink(entry.path(), ec).string();
  }
  return open;
}

// Whether Run ends by itself (else it is stopped, so that the test goes on).
bool RunsToItsEnd(web::HttpServer& server) {
  auto run = std::async(std::launch::async, [&] { server.Run(); });
  if (run.wait_for(20s) == std::future_status::ready) return true;
  server.Stop();
  return false;
}

// Over a server's life it closes what it opened and nothing else: never bound (Run returns,
// having nothing to serve), stopped before it runs (Run returns at once), serving and stopped
// twice with its listener on descriptor 0 (started with the standard input closed), and
// restarted at once on its port (its answered connection waiting out its close there),
// where a second server cannot listen.
TEST(ServeServerLifeTest, AServerClosesWhatItOpenedAndNothingElse) {
  if (::fcntl(0, F_GETFD) == -1) {
    ASSERT_EQ(::open("/dev/null", O_RDONLY), 0);
  }
  ScriptedEndpoint endpoint;
  web::ServerOptions options;
  options.port = 0;
  const auto before = OpenDescriptors();
  {
    web::HttpServer unbound(endpoint, options);
    EXPECT_TRUE(RunsToItsEnd(unbound));
  }
  {
    web::HttpServer stopped(endpoint, options);
    stopped.Bind();
    stopped.Stop();
    EXPECT_TRUE(RunsToItsEnd(stopped));
  }
  EXPECT_EQ(OpenDescriptors(), before);
  const int input = ::dup(0);
  int port = 0;
  {
    web::HttpServer server(endpoint, options);
    ::close(0);
    port = server.Bind();
    struct stat listener {};
    EXPECT_TRUE(::fstat(0, &listener) == 0 && S_ISSOCK(listener.st_mode));
    std::thread run([&] { server.Run(); });
    const int fd = Connect(port);
    SendAll(fd, "GET /healthz HTTP/1.1\r\n\r\n");
    EXPECT_EQ(ReadUntil(fd).rfind("HTTP/1.1 200 ", 0), 0u);
    ::close(fd);
    server.Stop();
    server.Stop();
    run.join();
  }
  const bool listener_closed = ::fcntl(0, F_GETFD) == -1;
  ::dup2(input, 0);
  ::close(input);
  EXPECT_TRUE(listener_closed);
  options.port = port;
  {
    web::HttpServer restarted(endpoint, options);
    int again = 0;
    EXPECT_NO_THROW(again = restarted.Bind());
    EXPECT_EQ(again, port);
    web::HttpServer second(endpoint, options);
    EXPECT_THROW(second.Bind(), std::runtime_error);
  }
  EXPECT_EQ(OpenDescriptors(), before);
}

// Out of descriptors, no server is made: it says so rather than running without its pipe.
TEST(ServeServerLifeTest, OutOfDescriptorsNoServerIsMade) {
#ifdef TABULO_SANITIZED
  // The sanitizers test memory through a pipe of their own: without descriptors they report
  // the unwinding constructor's members as objects of no type.
  GTEST_SKIP() << "needs descriptors the sanitizers use themselves";
#endif
  ScriptedEndpoint endpoint;
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 64);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> filler;
  for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) filler.push_back(fd);
  std::string error;
  try {
    web::HttpServer server(endpoint, web::ServerOptions{});
  } catch (const std::runtime_error& e) {
    error = e.what();
  }
  for (int fd : filler) ::close(fd);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_EQ(error, "cannot make the server's wake-up pipe: Too many open files");
}

}  // namespace
}  // namespace tabulo::container
