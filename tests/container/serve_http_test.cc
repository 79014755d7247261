// `tabulo serve`'s display over real HTTP: a display on a sample database behind the HTTP
// server on a free loopback port, asked by a real HTTP client and by raw sockets. Pages with
// their own sessions (each its editor and questions, bounded in number, ended when idle),
// signing in, and a page that names another's session. What a page
// of another site may not do (through a name rebound to this machine, or posting from its
// own origin), the framing headers on every reply, and the display answering its page while
// hundreds of connections trickle their requests.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "container/property_setting.h"
#include "container/raw_client.h"
#include "container/sample_db.h"
#include "container/serve_display.h"
#include "host/audit/audit_log.h"
#include "host/test_folder.h"
#include "platform/runtime/clock.h"
#include "web/http_server.h"
#include "web/metrics.h"

namespace tabulo::container {
namespace {

constexpr char kToken[] = "00112233445566778899aabbccddeeff";
constexpr char kSave[] = R"({"widget":"design","control":0,"action":"save"})";
constexpr char kDown[] = R"({"widget":"keyboard","control":0,"key":"Down"})";

using raw::Connect;
using raw::ReadToEnd;
using raw::SendAll;

// The base64 SHA-256 of `text`, as a content security policy names a script by it.
std::string Sha256Base64(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE], encoded[2 * EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr);
  const int length = EVP_EncodeBlock(encoded, digest, static_cast<int>(size));
  return std::string(reinterpret_cast<char*>(encoded), static_cast<size_t>(length));
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

  // Starts the display, its thread moving the clock, and opens a page's session (`page_`).
  void Start(web::ServerOptions options = {}) {
    if (!display_) display_ = std::make_unique<ServeDisplay>(request_, clock_);
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
    if (request_.sign_in) return;
    httplib::Headers headers = {{"Origin", "http://" + Here()}};
    if (!options.token.empty()) headers.emplace("Cookie", "tabulo_token=" + options.token);
    page_ = OpenPage(headers);
    ASSERT_FALSE(page_.session.empty());
  }

  std::string Here() const { return "127.0.0.1:" + std::to_string(port_); }

  // A page of its own browser: its session and its browser cookie.
  struct Page {
    std::string session, cookie;
    int status = 0;
    std::string body;
  };
  Page OpenPage(httplib::Headers headers, const std::string& body = "{}") {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(30, 0);
    Page page;
    auto res = client.Post("/session", headers, body, "application/json");
    if (!res) return page;
    page.status = res->status;
    page.body = res->body;
    const nlohmann::json reply = nlohmann::json::parse(res->body, nullptr, false);
    if (res->status == 200) page.session = reply["session"];
    const std::string set = res->get_header_value("Set-Cookie");
    page.cookie = set.substr(0, set.find(';'));
    return page;
  }

  struct Answer {
    int status = 0;  // 0: no reply
    httplib::Headers headers;
    std::string body;  // of an update stream, its first update
  };
  // As `page` sends it (the display's page, by default): its session and browser cookie.
  Answer Send(const std::string& method, const std::string& target, const httplib::Headers& given,
              const std::string& body = "", const Page* page = nullptr) {
    if (!page) page = &page_;
    httplib::Headers headers = given;
    std::string path = target;
    if (target == "/event" || target == "/events" || target == "/session/end" ||
        target.rfind("/export", 0) == 0) {
      if (target == "/events")
        path += "?session=" + page->session;
      else
        headers.emplace(web::kSessionHeader, page->session);
      auto it = headers.find("Cookie");
      if (it == headers.end())
        headers.emplace("Cookie", page->cookie);
      else
        it->second += "; " + page->cookie;
    }
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(30, 0);
    Answer a;
    auto keep = [&](const httplib::Result& res) {
      if (res) a = {res->status, res->headers, res->body};
    };
    if (method == "POST") {
      keep(client.Post(path, headers, body, "application/json"));
    } else if (target == "/events") {
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
  Page page_;
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
      {"GET", "/export?control=0", here, "", "same-origin", "", 200, "\n1,"},
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
  // The page's one script and one style sheet, named by their hashes.
  for (const char* name : {"script", "style"}) {
    const std::string tag = name;
    const size_t from = page.body.find("<" + tag + ">") + tag.size() + 2;
    const std::string named =
        tag + "-src 'sha256-" +
        Sha256Base64(page.body.substr(from, page.body.find("</" + tag, from) - from)) + "'";
    EXPECT_NE(policy.find(named), std::string::npos) << named << "\n" << policy;
  }
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

// What the front reads: a head up to 16384 bytes, a Content-Length of up to 18 digits (blanks
// around it and the name in any case), a body up to the limit even when it comes later; a
// body over the limit is refused from its length, unread.
TEST_F(ServeHttpTest, TheFrontReadsHeadsToTheirLimitAndBodiesByTheirLength) {
  Start();
  const std::string here = Here();
  // A GET / whose head is `size` bytes, padded with lines the library reads.
  auto get_of = [&](size_t size) {
    std::string head = "GET / HTTP/1.1\r\nHost: " + here + "\r\n";
    while (size - head.size() > 4011) head += "X-Pad: " + std::string(3991, 'a') + "\r\n";
    return head + "X-Pad: " + std::string(size - head.size() - 11, 'a') + "\r\n\r\n";
  };
  const std::string post = "POST /session HTTP/1.1\r\nHost: " + here + "\r\n";
  const std::string largest = "{}" + std::string(65534, ' ');
  struct Row {
    std::vector<std::string> pieces;  // sent apart, the front reading each on its own
    const char* status;
    const char* text;
  } rows[] = {
      {{get_of(16384)}, "HTTP/1.1 200 ", "<script>"},
      {{get_of(16385)}, "HTTP/1.1 431 ", "longer than 16384 bytes"},
      // A target longer than the router takes, within a head the front reads.
      {{"GET /" + std::string(9000, 'a') + " HTTP/1.1\r\nHost: " + here + "\r\n\r\n"},
       "HTTP/1.1 414 ",
       "request refused"},
      // A first read of one byte is the start of a request, not its end.
      {{"G", "ET / HTTP/1.1\r\nHost: " + here + "\r\n\r\n"}, "HTTP/1.1 200 ", "<script>"},
      {{post + "Content-Length: 000000000000000002\r\n\r\n{}"}, "HTTP/1.1 200 ", "\"session\""},
      {{post + "Content-Length: 0000000000000000002\r\n\r\n{}"}, "HTTP/1.1 400 ", "Content-Length"},
      {{post + "Content-Length: \r\n\r\n{}"}, "HTTP/1.1 400 ", "Content-Length"},
      {{post + "content-LENGTH:\t 2\t\r\n\r\n{}"}, "HTTP/1.1 200 ", "\"session\""},
      {{post + "Content-Length:2\r\n\r\n{}"}, "HTTP/1.1 200 ", "\"session\""},
      {{post + "Content-Length: 2\r\nContent-Length: 3\r\n\r\n{} "},
       "HTTP/1.1 400 ",
       "Content-Length must be one decimal number"},
      {{post + "Content-Length: 2\r\nContent-Length: 2\r\n\r\n{}"}, "HTTP/1.1 200 ", "\"session\""},
      // No length: no body; answered while the client waits.
      {{post + "\r\n"}, "HTTP/1.1 200 ", "\"session\""},
      {{post + "Content-Length: 65537\r\n\r\n"}, "HTTP/1.1 400 ", "65537 bytes, at most 65536"},
      {{"POST /event HTTP/1.1\r\nHost: " + here + "\r\nOrigin: http://" + here +
        "\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\n{}"},
       "HTTP/1.1 400 ",
       "an event is JSON, sent as application/json"},
      {{post + "Content-Length: 65536\r\n\r\n", largest}, "HTTP/1.1 200 ", "\"session\""},
  };
  web::Metrics& m = web::Metrics::Process();
  auto unread = [&](const char* status) {
    return m.Value("tabulo_http_requests_total", {{"route", "unread"}, {"status", status}});
  };
  const double too_long = unread("431"), bad = unread("400");
  for (const Row& r : rows) {
    SCOPED_TRACE(r.pieces[0].substr(0, 80));
    const int fd = Connect(port_);
    ASSERT_GE(fd, 0);
    for (size_t i = 0; i < r.pieces.size(); ++i) {
      if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(300));
      SendAll(fd, r.pieces[i]);
    }
    const std::string reply = ReadToEnd(fd);
    ::close(fd);
    EXPECT_EQ(reply.rfind(r.status, 0), 0u) << reply.substr(0, 300);
    EXPECT_NE(reply.find(r.text), std::string::npos) << reply.substr(0, 300);
  }
  // Refused before a worker saw them: counted by their status.
  EXPECT_EQ(unread("431") - too_long, 1);
  EXPECT_EQ(unread("400") - bad, 3);
}

// Answered connections are closed once their clients have gone: none is left open.
TEST_F(ServeHttpTest, AnsweredConnectionsAreClosedOnceTheirClientsHaveGone) {
  Start();
  auto open_files = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator());
  };
  const auto before = open_files();
  for (int i = 0; i < 50; ++i) ASSERT_EQ(Send("GET", "/nothing", {{"Host", Here()}}).status, 404);
  auto now = open_files();
  for (int round = 0; round < 400 && now > before; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    now = open_files();
  }
  EXPECT_LT(now, before + 25);  // the display's other threads may hold a few files meanwhile
  // With nothing to do, the server waits: a second of it takes next to no processor time.
  stop_ = true;
  ui_.join();
  auto used = [] {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return std::chrono::seconds(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           std::chrono::microseconds(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
  };
  const auto start = used();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_LT(used() - start, std::chrono::milliseconds(100));
}

// Where the display cannot listen, it says where: an address taken, or one that is none.
TEST_F(ServeHttpTest, TheDisplaySaysWhereItCannotListen) {
  Start();
  const struct {
    std::string bind;
    int port;
    std::string message;
  } rows[] = {
      {"127.0.0.1", port_, "cannot listen on 127.0.0.1:" + std::to_string(port_)},
      {"", 0, "cannot listen on : no such address"},
  };
  for (const auto& r : rows) {
    web::ServerOptions options;
    options.bind = r.bind;
    options.port = r.port;
    web::HttpServer other(*display_, options);
    try {
      other.Bind();
      ADD_FAILURE() << r.message;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), r.message);
    }
  }
}

// The front holds at most 512 requests being read, whoever sends them: the 513th connection
// closes the oldest, and only it.
TEST_F(ServeHttpTest, TheFiveHundredThirteenthUnfinishedRequestClosesTheOldest) {
  web::ServerOptions options;
  options.per_address = 1000;
  options.request_deadline = std::chrono::minutes(5);
  Start(options);
  std::vector<int> idle;
  for (int i = 0; i < 512; ++i) {
    idle.push_back(Connect(port_));
    ASSERT_GE(idle.back(), 0);
    SendAll(idle.back(), "GET / HTTP/1.1\r\n");
  }
  EXPECT_EQ(Send("GET", "/", {{"Host", Here()}}).status, 200);
  pollfd first{idle[0], POLLIN, 0};
  char byte;
  EXPECT_TRUE(::poll(&first, 1, 20000) == 1 && ::recv(idle[0], &byte, 1, 0) <= 0);
  for (int i = 1; i < 512; ++i) {
    pollfd p{idle[i], POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 0), 0) << i;
  }
  for (int fd : idle) ::close(fd);
}

// An answered connection is kept a while for what its client still sends, which is read and
// dropped: a client that sent more than the front read (and reads slowly) gets its whole
// reply, not a reset; one that goes on sending is cut off.
TEST_F(ServeHttpTest, AnsweredConnectionsDrainWhatTheirClientsStillSend) {
  Start();
  const std::string here = Here();
  const int slow = Connect(port_, 4096);
  ASSERT_GE(slow, 0);
  SendAll(slow, "GET / HTTP/1.1\r\nHost: " + here + "\r\n\r\n" + std::string(60000, 'x'));
  const std::string page = ReadToEnd(slow);
  ::close(slow);
  EXPECT_EQ(page.rfind("HTTP/1.1 200 ", 0), 0u) << page.substr(0, 200);
  EXPECT_NE(page.find("</html>"), std::string::npos) << page.size() << " bytes";
  const int chatty = Connect(port_);
  ASSERT_GE(chatty, 0);
  SendAll(chatty, "GET /nothing HTTP/1.1\r\nHost: " + here + "\r\n\r\n");
  EXPECT_EQ(ReadToEnd(chatty, 12).substr(0, 12), "HTTP/1.1 404");
  bool cut = false;
  for (int round = 0; round < 100 && !cut; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    cut = !SendAll(chatty, "more\r\n");
  }
  ::close(chatty);
  EXPECT_TRUE(cut);
}

// Out of descriptors, the front closes its oldest unfinished request to take a new one.
TEST_F(ServeHttpTest, OutOfDescriptorsTheOldestUnfinishedRequestMakesRoom) {
  web::ServerOptions options;
  options.request_deadline = std::chrono::minutes(5);
  Start(options);
  std::vector<int> idle;
  for (int i = 0; i < 3; ++i) {
    idle.push_back(Connect(port_));
    SendAll(idle.back(), "GET / HTTP/1.1\r\n");
  }
  ASSERT_EQ(Send("GET", "/", {{"Host", Here()}}).status, 200);  // all taken by now
  stop_ = true;  // the display's own thread opens no file meanwhile
  ui_.join();
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  int highest = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    highest = std::max(highest, std::stoi(entry.path().filename().string()));
  rlimit low = saved;
  low.rlim_cur = std::min<rlim_t>(saved.rlim_cur, highest + 64);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
  // Every descriptor taken, also one that a connection just answered gives up meanwhile.
  std::vector<int> filler;
  for (int pass = 0; pass < 2; ++pass) {
    for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) filler.push_back(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  if (!filler.empty()) {  // the client's own socket
    ::close(filler.back());
    filler.pop_back();
  }
  const int fd = Connect(port_);
  std::string reply;
  if (fd >= 0) {
    SendAll(fd, "GET / HTTP/1.1\r\nHost: " + Here() + "\r\n\r\n");
    reply = ReadToEnd(fd, 12).substr(0, 12);
    ::close(fd);
  }
  for (int f : filler) ::close(f);
  ::setrlimit(RLIMIT_NOFILE, &saved);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(reply, "HTTP/1.1 200");
  // One room for one connection: the others stay (still at the limit, a further accept is
  // refused a descriptor before the system tells there is no connection waiting).
  pollfd oldest{idle[0], POLLIN, 0}, others[] = {{idle[1], POLLIN, 0}, {idle[2], POLLIN, 0}};
  char byte;
  EXPECT_TRUE(::poll(&oldest, 1, 20000) == 1 && ::recv(idle[0], &byte, 1, 0) <= 0);
  EXPECT_EQ(::poll(others, 2, 0), 0);
  for (int f : idle) ::close(f);
}

// A display started without its standard input is handed descriptor 0 for a connection: it
// serves it as any other.
TEST_F(ServeHttpTest, AConnectionOnDescriptorZeroIsServed) {
  Start();
  stop_ = true;  // the display's own thread opens no file meanwhile
  ui_.join();
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port_));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int input = ::dup(0);
  ::close(0);  // the lowest free descriptor, for the front's next connection
  const bool connected =
      ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      SendAll(fd, "GET / HTTP/1.1\r\nHost: " + Here() + "\r\n\r\n");
  const std::string reply = connected ? ReadToEnd(fd, 12).substr(0, 12) : "";
  ::close(fd);
  for (int round = 0; round < 400 && ::fcntl(0, F_GETFD) != -1; ++round)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const bool closed = ::fcntl(0, F_GETFD) == -1;
  ::dup2(input, 0);
  ::close(input);
  EXPECT_EQ(reply, "HTTP/1.1 200");
  EXPECT_TRUE(closed);  // and closed when its client has gone
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

// Update streams are bounded (max_streams): one more is refused until a page closes its own;
// a stream sends "ended" once when its session ends, then closes.
TEST_F(ServeHttpTest, UpdateStreamsAreBoundedAndCloseAfterEnded) {
  web::ServerOptions options;
  options.max_streams = 1;
  Start(options);
  const std::string here = Here();
  const std::string stream = "GET /events?session=" + page_.session + " HTTP/1.1\r\nHost: " + here +
                             "\r\nCookie: " + page_.cookie + "\r\n\r\n";
  // A stream held open: read up to its first update.
  auto open = [&] {
    const int fd = Connect(port_);
    SendAll(fd, stream);
    std::string got;
    char buffer[4096];
    while (got.find("\n\n") == std::string::npos) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 20000) <= 0) break;
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got.append(buffer, static_cast<size_t>(n));
    }
    return std::make_pair(fd, got);
  };
  auto [held, first] = open();
  EXPECT_EQ(first.rfind("HTTP/1.1 200 ", 0), 0u) << first;
  const Answer refused = Send("GET", "/events", {{"Host", here}});
  EXPECT_EQ(refused.status, 503);
  EXPECT_NE(refused.body.find("too many pages are open"), std::string::npos) << refused.body;
  ::close(held);
  // The closed page's place is given up once writing to it fails.
  auto [watching, scene] = open();
  for (int round = 0; round < 200 && scene.rfind("HTTP/1.1 200 ", 0) != 0; ++round) {
    ::close(watching);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::tie(watching, scene) = open();
  }
  ASSERT_EQ(scene.rfind("HTTP/1.1 200 ", 0), 0u) << scene;
  EXPECT_NE(scene.find("event: scene\n"), std::string::npos) << scene;
  // A page with no news is sent a comment line now and then, which it ignores.
  std::string quiet;
  for (int read = 0; read < 100 && quiet.find("\n:\n\n") == std::string::npos; ++read) {
    const std::string more = ReadToEnd(watching, 1);
    if (more.empty()) break;
    quiet += more;
  }
  EXPECT_NE(quiet.find("\n:\n\n"), std::string::npos) << quiet.substr(0, 300);
  EXPECT_EQ(Send("POST", "/session/end", {{"Host", here}, {"Origin", "http://" + here}}).status,
            200);
  const std::string rest = ReadToEnd(watching, 100000);
  ::close(watching);
  const size_t ended = rest.find("event: ended\n");
  ASSERT_NE(ended, std::string::npos) << rest;
  EXPECT_EQ(rest.find("event: ", ended + 1), std::string::npos) << rest;
}

// The token in the address sets the cookie, and the page's address sends the browser on to
// itself without the token; a request with the cookie is not sent a new one.
TEST_F(ServeHttpTest, ATokenInTheAddressSetsTheCookieOnce) {
  web::ServerOptions options;
  options.token = kToken;
  Start(options);
  const std::string token = std::string("?token=") + kToken;
  const std::string cookie = std::string("tabulo_token=") + kToken;
  const std::string set = cookie + "; Path=/; HttpOnly; SameSite=Strict";
  struct Row {
    std::string target;
    httplib::Headers headers;
    int status;
    std::string set_cookie, location;
  } rows[] = {
      {"/" + token, {}, 303, set, "/"},
      {"/", {{"Cookie", cookie}}, 200, "", ""},
      {"/metrics" + token, {}, 200, set, ""},
      {"/metrics", {{"Cookie", cookie}}, 200, "", ""},
      {"/?token=" + std::string(32, '0'), {}, 401, "", ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.target);
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(30, 0);
    auto res = client.Get(r.target, r.headers);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, r.status) << res->body.substr(0, 200);
    EXPECT_EQ(res->get_header_value("Set-Cookie"), r.set_cookie);
    EXPECT_EQ(res->get_header_value("Location"), r.location);
    if (r.status == 303) {
      EXPECT_EQ(res->body.find("<script>"), std::string::npos);  // no page
    }
  }
}

// A display whose health probe hangs until released, as when its data server stops
// answering; it counts the probes waiting.
class StuckHealthDisplay : public ServeDisplay {
 public:
  using ServeDisplay::ServeDisplay;
  ~StuckHealthDisplay() override { Release(); }
  web::Reply Health() override {
    std::unique_lock lock(mu_);
    ++waiting_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return released_; });
    return ServeDisplay::Health();
  }
  bool WaitFor(int waiting) {
    std::unique_lock lock(mu_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return waiting_ == waiting; });
  }
  void Release() {
    std::lock_guard lock(mu_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mu_;
  std::condition_variable changed_;
  int waiting_ = 0;
  bool released_ = false;
};

// Requests without the token take at most all workers but four: with four of them held (by
// health probes that hang), a further one waits while requests that carry the token, in
// the cookie or the address, are answered.
TEST_F(ServeHttpTest, RequestsWithoutTheTokenLeaveFourWorkersToThoseWithIt) {
  auto* display = new StuckHealthDisplay(request_, clock_);
  display_.reset(display);
  web::ServerOptions options;
  options.token = kToken;
  options.max_streams = 0;  // eight workers
  Start(options);
  const std::string here = Here();
  std::vector<std::thread> probes;
  std::atomic<int> healthy{0};
  struct Released {  // also when a check gives up early
    StuckHealthDisplay* display;
    std::vector<std::thread>& probes;
    ~Released() {
      display->Release();
      for (std::thread& t : probes) t.join();
    }
  } released{display, probes};
  for (int i = 0; i < 4; ++i)
    probes.emplace_back([&] {
      if (Send("GET", "/healthz", {{"Host", here}}).status == 200) ++healthy;
    });
  ASSERT_TRUE(display->WaitFor(4));
  const int waiting = Connect(port_);
  ASSERT_GE(waiting, 0);
  SendAll(waiting, "GET / HTTP/1.1\r\nHost: " + here + "\r\n\r\n");
  const std::string cookie = std::string("tabulo_token=") + kToken;
  ASSERT_EQ(Send("GET", "/", {{"Host", here}, {"Cookie", cookie}}).status, 200);
  for (const char* query : {"?token=", "?a=1&token="}) {
    SCOPED_TRACE(query);
    ASSERT_EQ(Send("GET", std::string("/metrics") + query + kToken, {{"Host", here}}).status, 200);
  }
  // What follows the head, or a line without a colon, does not hide the token or the host.
  ASSERT_EQ(
      Send("POST", "/session", {{"Host", here}, {"Cookie", cookie}}, "{}\nhost: elsewhere.example")
          .status,
      200);
  const int odd = Connect(port_);
  SendAll(odd, "GET / HTTP/1.1\r\nHost: " + here + "\r\nCookie: " + cookie + "\r\ncookie\r\n\r\n");
  const std::string answer = ReadToEnd(odd);
  ::close(odd);
  ASSERT_FALSE(answer.empty());
  pollfd p{waiting, POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 1000), 0);  // no worker may take it yet
  display->Release();
  for (std::thread& t : probes) t.join();
  probes.clear();
  EXPECT_EQ(healthy, 4);
  EXPECT_EQ(ReadToEnd(waiting).rfind("HTTP/1.1 401 ", 0), 0u);
  ::close(waiting);
}

// A request that trickles its head is cut off at the deadline, however often it sends a
// line: the deadline is for the whole head, not for each read.
TEST_F(ServeHttpTest, ARequestTricklingItsHeadIsCutOffAtTheDeadline) {
  web::ServerOptions options;
  options.request_deadline = std::chrono::milliseconds(500);
  Start(options);
  auto timed_out = [] {
    return web::Metrics::Process().Value("tabulo_http_requests_total",
                                         {{"route", "unread"}, {"status", "408"}});
  };
  const double before = timed_out();
  // A client that leaves with its head unfinished is let go at once, not answered later.
  const int gone = Connect(port_);
  SendAll(gone, "GET / HTTP/1.1\r\n");
  ::close(gone);
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
  // A head that stops at exactly its limit, its end not come, waits for its deadline too.
  const int full = Connect(port_);
  SendAll(full, "GET / HTTP/1.1\r\nX-Pad: " + std::string(16384 - 23, 'a'));
  EXPECT_EQ(ReadToEnd(full).rfind("HTTP/1.1 408 ", 0), 0u);
  ::close(full);
  EXPECT_EQ(timed_out() - before, 2);
}

// One client address with more unfinished requests than it may have (two): each new
// connection closes its oldest unfinished one, and a request read whole no longer counts.
TEST_F(ServeHttpTest, AClientsOldestUnfinishedRequestMakesRoomForItsNewOne) {
  web::ServerOptions options;
  options.per_address = 2;
  options.request_deadline = std::chrono::minutes(5);
  Start(options);
  std::vector<int> idle;
  auto unfinished = [&] {
    idle.push_back(Connect(port_));
    SendAll(idle.back(), "GET / HTTP/1.1\r\n");
  };
  unfinished();
  unfinished();
  EXPECT_EQ(Send("GET", "/", {{"Host", Here()}}).status, 200);  // closes the first
  unfinished();
  EXPECT_EQ(Send("GET", "/", {{"Host", Here()}}).status, 200);  // closes the second
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    pollfd p{idle[i], POLLIN, 0};
    char byte;
    if (i < 2) {
      EXPECT_TRUE(::poll(&p, 1, 20000) == 1 && ::recv(idle[i], &byte, 1, 0) <= 0);  // closed
    } else {
      EXPECT_EQ(::poll(&p, 1, 0), 0);  // waits
    }
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

// The signer ann (password "secret"); operator events in audit.db beside the file.
constexpr char kHost[] = R"({"format": 1,
  "clusters": [{"name": "Local", "type": "DizuvAdar", "coordinator": "Local",
                "servers": [{"name": "PLANT-01"}]}],
  "security": {"users": [{"name": "ann", "level": 10, "password_hash":
    "pbkdf2-sha256$1000$xTAcI2VuOglwAGZkm9YOFg==$4Wx9Tm+nhRfDdK0H5Wz+FX+WV4fYQMJtX9iUpr7zx74="}],
    "audit_database": "audit.db"}})";
constexpr char kClickCustomer3[] =
    R"({"widget":"grid","control":0,"action":"click","row":3,"col":2,"button":1})";
constexpr char kEnter[] = R"({"widget":"keyboard","control":0,"key":"Enter"})";

std::string Typed(const std::string& text) {
  return R"({"widget":"keyboard","control":0,"text":")" + text + R"("})";
}

// One control that edits Orders, each change confirmed and logged.
class ServeSessionsTest : public ServeHttpTest {
 protected:
  void SetUp() override {
    ServeHttpTest::SetUp();
    request_.design = false;
    request_.save_path.clear();
    request_.session.host_config = folder_.Write("host.json", kHost);
    for (const char* setting : {"DataTable=Orders", "AllowUpdates=true", "ConfirmUpdates=true",
                                "LogEvent=true", "LoggingClusterName=\"Local\""})
      request_.controls[0].settings.push_back(ParsePropertySetting(setting));
  }

  std::string Customer3() {
    return host::testing::TestDb(folder_ / "sample.db")
        .Text("SELECT Customer FROM Orders WHERE Id = 3");
  }
  // The page's scene once it `holds` (null when it does not come): its update stream read
  // until then, a bounded wait.
  nlohmann::json SceneOf(const Page& page,
                         const std::function<bool(const nlohmann::json&)>& holds) {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(30, 0);
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::string buffer, last;
    nlohmann::json found;
    client.Get(
        "/events?session=" + page.session, {{"Host", Here()}, {"Cookie", page.cookie}},
        [&](const httplib::Response& res) { return res.status == 200; },
        [&](const char* data, size_t size) {
          buffer.append(data, size);
          for (size_t end; (end = buffer.find("\n\n")) != std::string::npos;) {
            const std::string event = buffer.substr(0, end);
            buffer.erase(0, end + 2);
            if (event.rfind("event: scene\ndata: ", 0) != 0) continue;
            last = event;
            nlohmann::json scene = nlohmann::json::parse(event.substr(19), nullptr, false);
            if (holds(scene)) {
              found = std::move(scene);
              return false;
            }
          }
          return std::chrono::steady_clock::now() < give_up;
        });
    if (found.is_null()) ADD_FAILURE() << "no such scene; the last: " << last.substr(0, 1500);
    return found;
  }
  // No question open and the third record's customer no longer marked changed: written.
  static bool Settled(const nlohmann::json& s) {
    return s["dialog"].is_null() &&
           !s["controls"][0]["grid"]["rows"][3]["cells"][2].contains("changed");
  }
  static bool Loaded(const nlohmann::json& s) {
    return s["controls"][0]["grid"]["rows"][3]["cells"][0]["t"] == "3";
  }
  int Post(const Page& page, const std::string& body, std::string* reply = nullptr) {
    const Answer a =
        Send("POST", "/event", {{"Host", Here()}, {"Origin", "http://" + Here()}}, body, &page);
    if (reply) *reply = a.body;
    return a.status;
  }
};

// Page A's editor and its confirmation are A's alone: B sees neither, cannot answer A's
// question, and goes on while it waits; A's Yes writes A's value.
TEST_F(ServeSessionsTest, TwoPagesSeeOnlyTheirOwnEditorAndQuestion) {
  Start();
  const Page b = OpenPage({{"Origin", "http://" + Here()}});
  ASSERT_EQ(b.status, 200) << b.body;
  SceneOf(page_, Loaded);
  SceneOf(b, Loaded);
  ASSERT_EQ(Post(page_, kClickCustomer3), 200);
  ASSERT_EQ(Post(page_, Typed("Alpha")), 200);
  EXPECT_FALSE(SceneOf(page_, [](const auto& s) {
                 return !s["controls"][0]["editor"].is_null();
               }).is_null());
  EXPECT_TRUE(SceneOf(b, Loaded)["controls"][0]["editor"].is_null());
  std::string reply;
  ASSERT_EQ(Post(page_, kEnter, &reply), 200);
  const auto question = nlohmann::json::parse(reply)["dialog"];
  ASSERT_TRUE(question.is_number()) << reply;
  const auto asked = SceneOf(page_, [](const auto& s) { return !s["dialog"].is_null(); });
  EXPECT_EQ(asked["dialog"]["kind"], "message") << asked["dialog"];
  EXPECT_EQ(asked["dialog"]["buttons"][0]["caption"], "Yes") << asked["dialog"];
  EXPECT_TRUE(SceneOf(b, Loaded)["dialog"].is_null());
  const std::string yes = R"({"widget":"dialog","id":)" + question.dump() + R"(,"button":6})";
  EXPECT_EQ(Post(b, yes, &reply), 409);
  EXPECT_NE(reply.find("no dialog is open"), std::string::npos) << reply;
  EXPECT_EQ(Post(b, kDown), 200);  // B is not held by A's question
  EXPECT_NE(Customer3(), "Alpha");
  EXPECT_EQ(Post(page_, yes), 200);
  SceneOf(page_, Settled);
  EXPECT_EQ(Customer3(), "Alpha");
}

// With room for 16 sessions the 15th and 16th pages are let in and the 17th is refused with
// a page saying the display is full; a page that signs out makes room again.
TEST_F(ServeSessionsTest, TheSeventeenthPageFindsTheDisplayFull) {
  request_.max_sessions = 16;
  Start();
  std::vector<Page> pages = {page_};
  const std::map<size_t, int> expected = {{15, 200}, {16, 200}, {17, 503}};
  for (size_t n = 2; n <= 17; ++n) {
    pages.push_back(OpenPage({{"Origin", "http://" + Here()}}));
    const int want = expected.count(n) ? expected.at(n) : 200;
    ASSERT_EQ(pages.back().status, want) << n << ": " << pages.back().body;
  }
  EXPECT_NE(pages.back().body.find("This display is full: 16 pages"), std::string::npos)
      << pages.back().body;
  EXPECT_EQ(Send("POST", "/session/end", {{"Host", Here()}, {"Origin", "http://" + Here()}}, "",
                 &pages[3])
                .status,
            200);
  EXPECT_EQ(OpenPage({{"Origin", "http://" + Here()}}).status, 200);
}

// Sessions idle for 30 minutes stay; a millisecond more ends them: the edit left in A's
// editor and the change B was asked to confirm are abandoned, nothing written, and both
// pages are told to reload.
TEST_F(ServeSessionsTest, ASessionIdleLongerThanThirtyMinutesEndsWritingNothing) {
  Start();
  const Page b = OpenPage({{"Origin", "http://" + Here()}});
  SceneOf(page_, Loaded);
  SceneOf(b, Loaded);
  // From here the test moves the clock and ends the idle sessions.
  stop_ = true;
  ui_.join();
  const std::string stored = Customer3();
  for (const Page* page : {static_cast<const Page*>(&page_), &b}) {
    ASSERT_EQ(Post(*page, kClickCustomer3), 200);
    ASSERT_EQ(Post(*page, Typed("Idle")), 200);
  }
  std::string reply;
  ASSERT_EQ(Post(b, kEnter, &reply), 200);
  ASSERT_NE(reply.find("\"dialog\""), std::string::npos) << reply;
  clock_.Advance(30 * 60 * 1000);
  EXPECT_EQ(display_->EndIdle(), 0u);
  EXPECT_EQ(display_->session_count(), 2u);
  clock_.Advance(1);
  EXPECT_EQ(display_->EndIdle(), 2u);
  EXPECT_EQ(display_->session_count(), 0u);
  EXPECT_EQ(Post(page_, kEnter, &reply), 410);
  EXPECT_NE(reply.find("no input for more than 30 minutes"), std::string::npos) << reply;
  const Answer stream = Send("GET", "/events", {{"Host", Here()}}, "", &b);
  EXPECT_EQ(stream.body.rfind("event: ended", 0), 0u) << stream.body;
  server_->Stop();
  http_.join();
  display_.reset();  // the sessions' controls end too
  EXPECT_EQ(Customer3(), stored);
}

// Signing in: ann with her password is let in and named as the operator of her changes'
// records; a wrong password or an unknown user is refused and recorded as a refused
// signature is; an empty form is only asked for again.
TEST_F(ServeSessionsTest, APageSignsInAndTheAuditNamesItsOperator) {
  request_.sign_in = true;
  Start();
  const httplib::Headers origin = {{"Origin", "http://" + Here()}};
  struct Row {
    const char *user, *password;
    int status;
    const char* text;
  } rows[] = {
      {"", "", 401, "Sign in with your user name and password"},
      {"ann", "wrong", 401, "The user name or password is not correct"},
      {"bob", "secret", 401, "The user name or password is not correct"},
      {"ann", "secret", 200, "\"operator\":\"ann\""},
  };
  Page ann;
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.user) + "/" + r.password);
    const Page page =
        OpenPage(origin, nlohmann::json{{"user", r.user}, {"password", r.password}}.dump());
    EXPECT_EQ(page.status, r.status);
    EXPECT_NE(page.body.find(r.text), std::string::npos) << page.body;
    if (page.status == 200) ann = page;
  }
  const std::string audit = (folder_ / "audit.db").string();
  std::vector<host::AuditRecord> records = host::ReadAuditRecords(audit);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].event.event_type, "SignInRefused");
  EXPECT_EQ(records[0].event.signature1, "ann");
  EXPECT_EQ(records[1].event.signature1, "bob");
  EXPECT_EQ(records[1].event.signature3, "The user name or password is not correct.");
  EXPECT_EQ(records[1].operator_name, "sign-in from 127.0.0.1");
  // Without signing in no session is opened: an event names none.
  EXPECT_EQ(Post(page_, kDown), 403);
  SceneOf(ann, Loaded);
  ASSERT_EQ(Post(ann, kClickCustomer3), 200);
  ASSERT_EQ(Post(ann, Typed("Signed")), 200);
  std::string reply;
  ASSERT_EQ(Post(ann, kEnter, &reply), 200);
  const auto question = nlohmann::json::parse(reply)["dialog"];
  ASSERT_EQ(Post(ann, R"({"widget":"dialog","id":)" + question.dump() + R"(,"button":6})"), 200);
  SceneOf(ann, Settled);
  EXPECT_EQ(Customer3(), "Signed");
  records = host::ReadAuditRecords(audit);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[2].event.new_value, "Signed");
  EXPECT_EQ(records[2].operator_name, "ann");
  // Signing out ends the session: its events are refused and its page told to reload.
  EXPECT_EQ(
      Send("POST", "/session/end", {{"Host", Here()}, {"Origin", "http://" + Here()}}, "", &ann)
          .status,
      200);
  EXPECT_EQ(Post(ann, kDown, &reply), 410);
  EXPECT_NE(reply.find("You signed out"), std::string::npos) << reply;
  // A refusal over IPv6 names that address.
  web::ServerOptions options;
  options.bind = "::1";
  options.port = 0;
  web::HttpServer six(*display_, options);
  const std::string here = "[::1]:" + std::to_string(six.Bind());
  std::thread serving([&] { six.Run(); });
  const int fd = Connect(std::stoi(here.substr(6)), 0, AF_INET6);
  const std::string form = R"({"user":"ann","password":"wrong"})";
  SendAll(fd, "POST /session HTTP/1.1\r\nHost: " + here + "\r\nOrigin: http://" + here +
                  "\r\nContent-Type: application/json\r\nContent-Length: " +
                  std::to_string(form.size()) + "\r\n\r\n" + form);
  EXPECT_EQ(ReadToEnd(fd).rfind("HTTP/1.1 401 ", 0), 0u);
  ::close(fd);
  six.Stop();
  serving.join();
  EXPECT_EQ(host::ReadAuditRecords(audit).back().operator_name, "sign-in from ::1");
}

// Another browser naming page A's session, or a session made up, is refused: it can
// neither act in A's session nor watch it.
TEST_F(ServeSessionsTest, ASessionOfAnotherBrowserOrMadeUpIsRefused) {
  Start();
  const Page other = OpenPage({{"Origin", "http://" + Here()}});
  ASSERT_EQ(other.status, 200);
  const Page forged[] = {{page_.session, other.cookie, 0, ""},
                         {std::string(32, 'a'), page_.cookie, 0, ""},
                         {"", page_.cookie, 0, ""}};
  for (const Page& f : forged) {
    SCOPED_TRACE(f.session + " " + f.cookie);
    std::string reply;
    EXPECT_EQ(Post(f, kDown, &reply), 403);
    EXPECT_NE(reply.find("reload the page"), std::string::npos) << reply;
    if (f.session.empty()) {  // the whole reply: one line of JSON
      EXPECT_EQ(reply,
                R"({"ended":true,"error":"This request names no session: reload the page."})");
    }
    EXPECT_EQ(Send("GET", "/events", {{"Host", Here()}}, "", &f).status, 403);
  }
  EXPECT_EQ(Post(page_, kDown), 200);
}

}  // namespace
}  // namespace tabulo::container
