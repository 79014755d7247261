// `tabulo serve`'s display over real HTTP: a display on a sample database behind the HTTP
// server on a free loopback port, asked by a real HTTP client and by raw sockets. What a page
// of another site may not do (through a name rebound to this machine, or posting from its
// own origin), the framing headers on every reply, and the display answering its page while
// hundreds of connections trickle their requests.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "container/sample_db.h"
#include "container/serve_display.h"
#include "host/test_folder.h"
#include "platform/runtime/clock.h"
#include "web/http_server.h"

namespace tabulo::container {
namespace {

constexpr char kToken[] = "00112233445566778899aabbccddeeff";
constexpr char kSave[] = R"({"widget":"design","control":0,"action":"save"})";
constexpr char kDown[] = R"({"widget":"keyboard","control":0,"key":"Down"})";

int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const std::string& text) {
  return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// What the server sends on `fd` until it closes it (at most 20 s of silence).
std::string ReadToEnd(int fd) {
  std::string out;
  char buffer[4096];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20000) <= 0) break;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  return out;
}

class ServeHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteSampleDatabase(folder_ / "sample.db", 30);
    BrowseRequest control;
    control.db = (folder_ / "sample.db").string();
    control.sql = "SELECT Id, Customer FROM Orders";
    request_.controls.push_back(control);
    request_.design = true;
    request_.save_path = save_.string();
  }
  void TearDown() override {
    if (server_) server_->Stop();
    if (http_.joinable()) http_.join();
    stop_ = true;
    if (ui_.joinable()) ui_.join();
  }

  void Start(web::ServerOptions options = {}) {
    display_ = std::make_unique<ServeDisplay>(request_, clock_);
    ui_ = std::thread([this] {
      display_->Run([this] {
        clock_.Advance(50);
        return stop_.load();
      });
    });
    options.port = 0;
    server_ = std::make_unique<web::HttpServer>(*display_, options);
    port_ = server_->Bind();
    http_ = std::thread([this] { server_->Run(); });
  }

  std::string Here() const { return "127.0.0.1:" + std::to_string(port_); }

  struct Answer {
    int status = 0;  // 0: no reply
    httplib::Headers headers;
    std::string body;  // of an update stream, its first update
  };
  Answer Send(const std::string& method, const std::string& path, const httplib::Headers& headers,
              const std::string& body = "") {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(30, 0);
    Answer a;
    auto keep = [&](const httplib::Result& res) {
      if (res) a = {res->status, res->headers, res->body};
    };
    if (method == "POST") {
      keep(client.Post(path, headers, body, "application/json"));
    } else if (path == "/events") {
      client.Get(
          path, headers,
          [&](const httplib::Response& res) {
            a.status = res.status;
            a.headers = res.headers;
            return true;
          },
          [&](const char* data, size_t size) {
            a.body.append(data, size);
            return a.status != 200 || a.body.find("\n\n") == std::string::npos;
          });
    } else {
      keep(client.Get(path, headers));
    }
    return a;
  }

  host::testing::TestFolder folder_;
  const std::filesystem::path save_ = folder_ / "saved.ctl";
  ServeRequest request_;
  platform::VirtualClock clock_;
  std::unique_ptr<ServeDisplay> display_;
  std::unique_ptr<web::HttpServer> server_;
  std::atomic<bool> stop_{false};
  std::thread ui_, http_;
  int port_ = 0;
};

void ExpectNoFraming(const httplib::Headers& headers) {
  auto value = [&](const char* name) {
    auto it = headers.find(name);
    return it == headers.end() ? std::string() : it->second;
  };
  EXPECT_EQ(value("X-Frame-Options"), "DENY");
  EXPECT_NE(value("Content-Security-Policy").find("frame-ancestors 'none'"), std::string::npos);
}

// A page under a rebound name (Host: attacker.example) or posting from another origin is
// refused before the display sees its event: nothing saved; the display's own page saves.
TEST_F(ServeHttpTest, RefusesOtherNamesAndOriginsBeforeAnythingRuns) {
  Start();
  const std::string here = Here(), port = std::to_string(port_);
  const std::string foreign = "attacker.example:" + port;
  struct Row {
    const char* method;
    const char* path;
    std::string host, origin, site, body;
    int status;
    const char* error;
  } rows[] = {
      {"GET", "/", foreign, "", "", "", 421, "answers only to its own address"},
      {"GET", "/events", foreign, "", "", "", 421, "not to \\\"attacker.example:"},
      {"POST", "/event", foreign, "http://" + foreign, "", kSave, 421, "its own address"},
      {"GET", "/", "127.0.0.1:1", "", "", "", 421, "its own address"},
      {"POST", "/event", here, "http://" + foreign, "", kSave, 403, "another site"},
      {"POST", "/event", here, "null", "", kSave, 403, "another site"},
      {"POST", "/event", here, "https://" + here, "", kSave, 403, "another site"},
      {"POST", "/event", here, "", "", kSave, 403, "without an Origin header"},
      {"POST", "/event", here, "http://" + here, "cross-site", kSave, 403, "another site"},
      {"GET", "/events", here, "http://" + foreign, "", "", 403, "another site"},
      {"GET", "/events", here, "", "cross-site", "", 403, "another site"},
      // A download of what a control shows, for the display's own page only.
      {"GET", "/export?control=0", foreign, "", "", "", 421, "its own address"},
      {"GET", "/export?control=0", here, "http://" + foreign, "", "", 403, "another site"},
      {"GET", "/export?control=0", here, "", "cross-site", "", 403, "another site"},
      {"GET", "/export?control=9", here, "", "same-origin", "", 400, "no control 9"},
      {"GET", "/export?format=xml", here, "", "same-origin", "", 400, "csv or json"},
      {"GET", "/nothing", here, "", "", "", 404, "no such page"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.method) + " " + r.path + " Host " + r.host + " Origin " + r.origin);
    httplib::Headers headers = {{"Host", r.host}};
    if (!r.origin.empty()) headers.emplace("Origin", r.origin);
    if (!r.site.empty()) headers.emplace("Sec-Fetch-Site", r.site);
    const Answer res = Send(r.method, r.path, headers, r.body);
    EXPECT_EQ(res.status, r.status);
    EXPECT_NE(res.body.find(r.error), std::string::npos) << res.body;
    ExpectNoFraming(res.headers);
  }
  EXPECT_FALSE(std::filesystem::exists(save_));
  // The display's own page, as localhost, [::1] or 127.0.0.1.
  for (const std::string& name : {"localhost:" + port, "[::1]:" + port, here}) {
    const Answer saved = Send(
        "POST", "/event",
        {{"Host", name}, {"Origin", "http://" + name}, {"Sec-Fetch-Site", "same-origin"}}, kSave);
    EXPECT_EQ(saved.status, 200) << saved.body;
    ExpectNoFraming(saved.headers);
  }
  EXPECT_TRUE(std::filesystem::exists(save_));
  const Answer page = Send("GET", "/", {{"Host", here}});
  EXPECT_EQ(page.status, 200);
  const std::string policy = page.headers.find("Content-Security-Policy")->second;
  EXPECT_NE(policy.find("script-src 'sha256-"), std::string::npos) << policy;
  EXPECT_NE(policy.find("frame-ancestors 'none'"), std::string::npos) << policy;
  EXPECT_EQ(policy.find("unsafe"), std::string::npos) << policy;
  ExpectNoFraming(page.headers);
  const Answer events = Send("GET", "/events", {{"Host", here}});
  EXPECT_EQ(events.status, 200);
  EXPECT_EQ(events.body.rfind("event: scene\ndata: {", 0), 0u) << events.body.substr(0, 100);
  ExpectNoFraming(events.headers);
}

// Replies the front writes itself, for requests it will not hand on, forbid framing too.
TEST_F(ServeHttpTest, RequestsRefusedWhileReadCarryTheHeadersToo) {
  Start();
  const std::string here = Here();
  const std::pair<std::string, const char*> rows[] = {
      {"POST /event HTTP/1.1\r\nHost: " + here +
           "\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
       "HTTP/1.1 400 "},
      {"POST /event HTTP/1.1\r\nHost: " + here + "\r\nContent-Length: 1x\r\n\r\n", "HTTP/1.1 400 "},
      {"GET / HTTP/1.1\r\nHost: " + here + "\r\nX-Long: " + std::string(17000, 'a') + "\r\n\r\n",
       "HTTP/1.1 431 "},
      {"NONSENSE\r\n\r\n", "HTTP/1.1 400 "},
  };
  for (const auto& [request, status] : rows) {
    SCOPED_TRACE(request.substr(0, 60));
    const int fd = Connect(port_);
    ASSERT_GE(fd, 0);
    SendAll(fd, request);
    const std::string reply = ReadToEnd(fd);
    ::close(fd);
    EXPECT_EQ(reply.rfind(status, 0), 0u) << reply.substr(0, 200);
    EXPECT_NE(reply.find("X-Frame-Options: DENY"), std::string::npos) << reply.substr(0, 400);
    EXPECT_NE(reply.find("frame-ancestors 'none'"), std::string::npos);
  }
}

// With a token, the token is what admits a request: a POST that carries it needs no Origin
// (a script's client), one without it is refused whatever its Origin.
TEST_F(ServeHttpTest, WithATokenAnEventWithoutOriginNeedsTheToken) {
  web::ServerOptions options;
  options.token = kToken;
  Start(options);
  const std::string here = Here();
  const std::string cookie = std::string("tabulo_token=") + kToken;
  struct Row {
    httplib::Headers headers;
    int status;
  } rows[] = {
      {{{"Host", here}, {"Cookie", cookie}}, 200},
      {{{"Host", here}}, 401},
      {{{"Host", here}, {"Origin", "http://" + here}}, 401},
      {{{"Host", here}, {"Cookie", cookie}, {"Origin", "http://evil.example"}}, 403},
      {{{"Host", "evil.example:" + std::to_string(port_)}, {"Cookie", cookie}}, 421},
  };
  for (const Row& r : rows) {
    const Answer res = Send("POST", "/event", r.headers, kDown);
    EXPECT_EQ(res.status, r.status) << res.body;
  }
}

// A request that trickles its head is cut off at the deadline, however often it sends a
// line: the deadline is for the whole head, not for each read.
TEST_F(ServeHttpTest, ARequestTricklingItsHeadIsCutOffAtTheDeadline) {
  web::ServerOptions options;
  options.request_deadline = std::chrono::milliseconds(500);
  Start(options);
  const int fd = Connect(port_);
  ASSERT_GE(fd, 0);
  SendAll(fd, "GET / HTTP/1.1\r\n");
  std::string reply;
  char buffer[4096];
  for (int line = 0; line < 100 && reply.empty(); ++line) {
    if (!SendAll(fd, "X-Slow: " + std::to_string(line) + "\r\n")) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) > 0) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      reply.assign(buffer, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  EXPECT_EQ(reply.rfind("HTTP/1.1 408 ", 0), 0u) << reply;
}

// One client address with more unfinished requests than it may have: each new connection
// closes its oldest unfinished one, and a request sent whole is answered.
TEST_F(ServeHttpTest, AClientsOldestUnfinishedRequestMakesRoomForItsNewOne) {
  web::ServerOptions options;
  options.per_address = 3;
  options.request_deadline = std::chrono::minutes(5);
  Start(options);
  std::vector<int> idle;
  for (int i = 0; i < 5; ++i) {
    idle.push_back(Connect(port_));
    ASSERT_GE(idle.back(), 0);
    SendAll(idle.back(), "GET / HTTP/1.1\r\n");
  }
  const Answer page = Send("GET", "/", {{"Host", Here()}});
  EXPECT_EQ(page.status, 200);
  // The sixth connection (the page's) closed the third; the fourth and fifth wait.
  for (int i = 0; i < 3; ++i) {
    pollfd p{idle[i], POLLIN, 0};
    char byte;
    EXPECT_TRUE(::poll(&p, 1, 20000) == 1 && ::recv(idle[i], &byte, 1, 0) <= 0)
        << i;  // end or reset
  }
  for (int i = 3; i < 5; ++i) {
    pollfd p{idle[i], POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0) << i;
  }
  for (int fd : idle) ::close(fd);
}

// 200 connections that send their head a line at a time (and come back when cut off) while
// the signed-in page loads, posts events and follows its updates: every request of the page
// is answered.
TEST_F(ServeHttpTest, ThePageIsAnsweredWhileHundredsOfConnectionsTrickle) {
  web::ServerOptions options;
  options.token = kToken;
  Start(options);
  std::atomic<bool> done{false};
  std::atomic<int> rounds{0};
  std::thread slow([&] {
    std::vector<int> idle(200, -1);
    while (!done) {
      for (int& fd : idle) {
        if (fd >= 0 && SendAll(fd, "X-Idle: 1\r\n")) continue;
        if (fd >= 0) ::close(fd);
        fd = Connect(port_);
        if (fd >= 0) SendAll(fd, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n");
      }
      ++rounds;
      for (int i = 0; i < 10 && !done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (int fd : idle)
      if (fd >= 0) ::close(fd);
  });
  while (rounds < 2) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const std::string here = Here();
  const httplib::Headers page = {{"Host", here},
                                 {"Cookie", std::string("tabulo_token=") + kToken},
                                 {"Origin", "http://" + here}};
  for (int i = 0; i < 10; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Send("GET", "/", page).status, 200);
    const Answer posted = Send("POST", "/event", page, kDown);
    EXPECT_EQ(posted.status, 200) << posted.body;
    const Answer update = Send("GET", "/events", page);
    EXPECT_EQ(update.body.rfind("event: scene\ndata: {", 0), 0u) << update.body.substr(0, 100);
  }
  const int trickled = rounds;
  done = true;
  slow.join();
  EXPECT_GE(trickled, 2);
}

}  // namespace
}  // namespace tabulo::container
