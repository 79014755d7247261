// The display's operations side over real HTTP: GET /healthz (no token, nothing revealed, 503
// once the data server stops answering), GET /metrics in the Prometheus text format read
// back by a small parser (behind the token; counters moving as pages open, load and commit),
// the JSON log lines (one object each, never a cell's value or the token), and PostgreSQL
// connections shared by the sessions of a process and given back when they end, counted in
// pg_stat_activity of a throw-away server.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "common/pg_fixture.h"
#include "container/property_setting.h"
#include "container/sample_db.h"
#include "container/serve_display.h"
#include "container/serve_health.h"
#include "container/write_tally.h"
#include "control/fake_data_server.h"
#include "host/servers/pg/pg_data_server.h"
#include "host/test_folder.h"
#include "platform/runtime/clock.h"
#include "web/http_server.h"
#include "web/log.h"
#include "web/metrics.h"

namespace tabulo::container {
namespace {

using nlohmann::json;
using test_support::PgFixture;

constexpr char kToken[] = "00112233445566778899aabbccddeeff";

// The exposition text as samples ("name{labels}" -> value), checking its form on the way:
// every sample's family has HELP and TYPE lines before it, a histogram's buckets never fall
// and end with +Inf equal to its _count.
std::map<std::string, double> ParseMetrics(const std::string& text) {
  std::map<std::string, double> samples;
  std::map<std::string, std::string> types;
  std::set<std::string> helped;
  std::istringstream in(text);
  std::string line;
  const std::regex sample(R"(([a-z_]+)(\{[^}]*\})? (\S+))");
  while (std::getline(in, line)) {
    std::smatch m;
    if (line.rfind("# HELP ", 0) == 0) {
      helped.insert(line.substr(7, line.find(' ', 7) - 7));
    } else if (line.rfind("# TYPE ", 0) == 0) {
      const size_t space = line.find(' ', 7);
      types[line.substr(7, space - 7)] = line.substr(space + 1);
    } else if (std::regex_match(line, m, sample)) {
      std::string family = m[1];
      for (const char* suffix : {"_bucket", "_sum", "_count"})
        if (!types.count(family) && family.size() > std::strlen(suffix) &&
            family.compare(family.size() - std::strlen(suffix), std::string::npos, suffix) == 0)
          family.resize(family.size() - std::strlen(suffix));
      EXPECT_TRUE(types.count(family) && helped.count(family)) << "no HELP/TYPE for " << line;
      const bool total = family.size() > 6 && family.compare(family.size() - 6, 6, "_total") == 0;
      EXPECT_TRUE(types[family] != "counter" || total) << family;
      samples[std::string(m[1]) + std::string(m[2])] = std::stod(m[3]);
    } else {
      ADD_FAILURE() << "not a sample: " << line;
    }
  }
  for (const auto& [name, type] : types) {
    if (type != "histogram") continue;
    double last = 0;
    for (const auto& [key, value] : samples) {
      if (key.rfind(name + "_bucket{", 0) != 0) continue;
      EXPECT_GE(value, last) << key;  // the map orders le="..." as text: +Inf first is skipped
      if (key.find("le=\"+Inf\"") == std::string::npos) last = value;
    }
    EXPECT_EQ(samples[name + "_bucket{le=\"+Inf\"}"], samples[name + "_count"]) << name;
  }
  return samples;
}

TEST(MetricsTextTest, CountersGaugesAndHistogramsReadBack) {
  web::Metrics m;
  m.Declare("t_total", web::Metrics::Type::kCounter, "Things.");
  m.Declare("t_open", web::Metrics::Type::kGauge, "Open.");
  m.Declare("t_seconds", web::Metrics::Type::kHistogram, "Time.", {0.005, 0.01});
  EXPECT_EQ(m.Text(), "");  // no series yet: nothing written
  m.Add("t_total", {{"route", "/a\"b\\c\nd"}}, 2);
  m.Add("t_total", {{"route", "/a\"b\\c\nd"}});
  m.Add("undeclared");  // ignored
  m.Add("t_open", {}, 5);
  m.Add("t_open", {}, -2);
  // 0.005 is in the first bucket (at its bound), 0.0050001 and 0.01 in the second.
  for (double v : {0.001, 0.005, 0.0050001, 0.01, 7.0}) m.Observe("t_seconds", {}, v);
  int calls = 0;
  const int id = m.AddCollector([&](web::Metrics& self) { self.Set("t_open", {}, ++calls); });
  const std::string text = m.Text();
  const auto s = ParseMetrics(text);
  EXPECT_EQ(s.at(R"(t_total{route="/a\"b\\c\nd"})"), 3);
  EXPECT_EQ(s.at("t_open"), 1);  // set by the collector
  EXPECT_EQ(s.at(R"(t_seconds_bucket{le="0.005"})"), 2);
  EXPECT_EQ(s.at(R"(t_seconds_bucket{le="0.01"})"), 4);
  EXPECT_EQ(s.at(R"(t_seconds_bucket{le="+Inf"})"), 5);
  EXPECT_DOUBLE_EQ(s.at("t_seconds_sum"), 7.0210001);
  EXPECT_EQ(m.Value("t_seconds"), 5);
  EXPECT_EQ(s.count("undeclared"), 0u);
  EXPECT_LT(text.find("# HELP t_open Open.\n# TYPE t_open gauge\nt_open 1\n"), text.size());
  m.RemoveCollector(id);
  m.Text();
  EXPECT_EQ(calls, 1);
}

// The probe's answer kept for its time on the display's clock; a change of the primary
// followed and counted; the active server unreachable: down.
TEST(ServeHealthTest, CachedProbeFollowsThePrimary) {
  host::HostConfig config;
  config.clusters.push_back({"Plant", host::kClusterTypeDizuvAdar, "", "", {}});
  config.clusters[0].servers.resize(2);
  config.clusters[0].servers[0].name = "A";
  config.clusters[0].servers[1].name = "B";
  std::map<std::string, host::ServerRole> roles = {{"A", host::ServerRole::kPrimary},
                                                   {"B", host::ServerRole::kStandby}};
  int probes = 0;
  platform::VirtualClock clock;
  ServeHealth health(config, clock, [&](const host::HostConfig&, const host::ServerConfig& s) {
    ++probes;
    return roles[s.name];
  });
  HealthState h = health.Check();
  EXPECT_TRUE(h.database_ok);
  EXPECT_EQ(h.active, "A");
  EXPECT_EQ(probes, 2);
  roles["A"] = host::ServerRole::kUnreachable;
  clock.Advance(1999);
  EXPECT_TRUE(health.Check().database_ok);  // still the kept answer
  EXPECT_EQ(probes, 2);
  clock.Advance(1);
  h = health.Check();
  EXPECT_FALSE(h.database_ok);
  EXPECT_EQ(h.active, "A");  // no primary to follow yet
  EXPECT_EQ(h.failovers, 0u);
  roles["B"] = host::ServerRole::kPrimary;
  clock.Advance(2000);
  h = health.Check();
  EXPECT_TRUE(h.database_ok);
  EXPECT_EQ(h.active, "B");
  EXPECT_EQ(h.failovers, 1u);
}

class ServeOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    web::SetLogSink([this](const std::string& line) {
      std::lock_guard lock(log_mu_);
      log_.push_back(line);
    });
  }
  void TearDown() override {
    if (server_) server_->Stop();
    if (http_.joinable()) http_.join();
    stop_ = true;
    if (ui_.joinable()) ui_.join();
    display_.reset();
    web::SetLogSink(nullptr);
  }

  void Start(const std::string& token = kToken) {
    display_ = std::make_unique<ServeDisplay>(request_, clock_);
    ui_ = std::thread([this] {
      display_->Run([this] {
        clock_.Advance(50);
        return stop_.load();
      });
    });
    web::ServerOptions options;
    options.port = 0;
    options.token = token;
    server_ = std::make_unique<web::HttpServer>(*display_, options);
    port_ = server_->Bind();
    http_ = std::thread([this] { server_->Run(); });
  }

  httplib::Result Get(const std::string& path, httplib::Headers headers = {}) {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(30, 0);
    return client.Get(path, headers);
  }
  std::map<std::string, double> Scrape() {
    auto res = Get("/metrics", {{"Cookie", std::string("tabulo_token=") + kToken}});
    EXPECT_TRUE(res && res->status == 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    return res ? ParseMetrics(res->body) : std::map<std::string, double>{};
  }
  // Scrapes until `sample` reaches `at_least` (the sessions work on their own threads).
  std::map<std::string, double> ScrapeUntil(const std::string& sample, double at_least) {
    std::map<std::string, double> s;
    for (int round = 0; round < 400; ++round) {
      s = Scrape();
      if (s[sample] >= at_least) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    EXPECT_GE(s[sample], at_least) << sample;
    return s;
  }

  struct Page {
    std::string session, cookie;
  };
  Page Open() {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(30, 0);
    auto res = client.Post("/session", {{"Cookie", std::string("tabulo_token=") + kToken}}, "{}",
                           "application/json");
    EXPECT_TRUE(res && res->status == 200);
    if (!res || res->status != 200) return {};
    const std::string set = res->get_header_value("Set-Cookie");
    return {json::parse(res->body)["session"], set.substr(0, set.find(';'))};
  }
  int Post(const Page& page, const std::string& event) {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(30, 0);
    auto res = client.Post(
        "/event",
        {{"Cookie", page.cookie + "; tabulo_token=" + kToken}, {web::kSessionHeader, page.session}},
        event, "application/json");
    return res ? res->status : 0;
  }
  // Clicks record `row`'s second cell, types `text` and commits it with Enter.
  void Edit(const Page& page, int row, const std::string& text) {
    EXPECT_EQ(Post(page, R"({"widget":"grid","control":0,"action":"click","row":)" +
                             std::to_string(row) + R"(,"col":2,"button":1})"),
              200);
    EXPECT_EQ(Post(page, R"({"widget":"keyboard","control":0,"text":")" + text + R"("})"), 200);
    EXPECT_EQ(Post(page, R"({"widget":"keyboard","control":0,"key":"Enter"})"), 200);
  }
  void End(const Page& page) {
    httplib::Client client("127.0.0.1", port_);
    auto res = client.Post(
        "/session/end",
        {{"Cookie", page.cookie + "; tabulo_token=" + kToken}, {web::kSessionHeader, page.session}},
        "", "application/json");
    EXPECT_TRUE(res && res->status == 200);
  }
  std::vector<std::string> Log() {
    std::lock_guard lock(log_mu_);
    return log_;
  }

  host::testing::TestFolder folder_;
  ServeRequest request_;
  platform::VirtualClock clock_;
  std::atomic<bool> stop_{false};
  std::unique_ptr<ServeDisplay> display_;
  std::unique_ptr<web::HttpServer> server_;
  std::thread ui_, http_;
  int port_ = 0;
  std::mutex log_mu_;
  std::vector<std::string> log_;
};

TEST_F(ServeOpsTest, HealthMetricsAndLogOnTheSample) {
  WriteSampleDatabase(folder_ / "s.db", 30);
  BrowseRequest control{{}, (folder_ / "s.db").string(), "SELECT Id, Customer FROM Orders", ""};
  for (const char* setting : {"DataTable=Orders", "AllowUpdates=true"})
    control.settings.push_back(ParsePropertySetting(setting));
  request_.controls.push_back(control);
  Start();
  const auto before = Scrape();
  auto delta = [&](const std::map<std::string, double>& now, const std::string& sample) {
    const auto was = before.find(sample);
    return now.at(sample) - (was == before.end() ? 0 : was->second);
  };
  // Health: no token, any Host, nothing but the two facts.
  auto health = Get("/healthz", {{"Host", "rebound.example"}});
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200);
  EXPECT_EQ(health->body, R"({"database":"ok","status":"ok"})");
  // The figures need the token, as the page does.
  auto refused = Get("/metrics");
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 401);
  EXPECT_EQ(refused->body.find("tabulo_"), std::string::npos);

  const Page page = Open();
  const std::string loads = R"(tabulo_loads_total{outcome="ok"})";
  auto s = ScrapeUntil(loads, (before.count(loads) ? before.at(loads) : 0) + 1);
  EXPECT_EQ(s["tabulo_sessions_open"], 1);
  EXPECT_EQ(delta(s, "tabulo_sessions_opened_total"), 1);
  EXPECT_EQ(delta(s, R"(tabulo_http_requests_total{route="/metrics",status="401"})"), 1);
  EXPECT_EQ(delta(s, R"(tabulo_http_requests_total{route="/healthz",status="200"})"), 1);
  EXPECT_EQ(delta(s, R"(tabulo_http_requests_total{route="/session",status="200"})"), 1);
  EXPECT_GT(s["tabulo_process_resident_bytes"], 1e6);
  EXPECT_EQ(
      s[R"(tabulo_active_server{cluster="Local",server=")" + host::LocalMachineName() + "\"}"], 1);
  EXPECT_EQ(s["tabulo_database_up"], 1);
  // A load's time falls into buckets from a millisecond to a minute.
  for (const char* le : {"0.001", "0.0025", "0.005", "0.01", "0.025", "0.05", "0.1", "0.25", "0.5",
                         "1", "2.5", "5", "10", "30", "60"})
    EXPECT_EQ(s.count(std::string("tabulo_load_seconds_bucket{le=\"") + le + "\"}"), 1u) << le;

  const double written = s["tabulo_commits_written_total"];
  Edit(page, 3, "Zq-9417-secret");
  // A request is counted once its answer has gone out, so the client may ask before the count.
  const std::string event_requests = R"(tabulo_http_requests_total{route="/event",status="200"})";
  s = ScrapeUntil(event_requests,
                  (before.count(event_requests) ? before.at(event_requests) : 0) + 3);
  EXPECT_EQ(s["tabulo_commits_written_total"] - written, 1);
  EXPECT_EQ(delta(s, "tabulo_commit_seconds_count"), 1);
  EXPECT_EQ(delta(s, event_requests), 3);
  // A record deleted under the page: its edit changes no row and is refused as a conflict.
  host::testing::TestDb(folder_ / "s.db").Exec("DELETE FROM Orders WHERE Id = 4");
  Edit(page, 4, "Zq-9417-gone");
  s = Scrape();
  EXPECT_EQ(delta(s, R"(tabulo_commits_refused_total{kind="conflict"})"), 1);
  EXPECT_EQ(delta(s, "tabulo_commits_written_total"), 1);
  End(page);
  const std::string closed = R"(tabulo_sessions_ended_total{reason="closed"})";
  s = ScrapeUntil(closed, (before.count(closed) ? before.at(closed) : 0) + 1);
  EXPECT_EQ(s["tabulo_sessions_open"], 0);

  // One JSON object a line: the session's opening, its commit and its end name it by its
  // serial number; no line holds the value written, the session's id or the token.
  std::map<std::string, int> events;
  for (const std::string& line : Log()) {
    const json entry = json::parse(line, nullptr, false);
    ASSERT_TRUE(entry.is_object()) << line;
    EXPECT_TRUE(std::regex_match(entry.value("time", ""),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")))
        << line;
    EXPECT_TRUE(entry.contains("level") && entry.contains("event")) << line;
    for (const std::string& secret : {std::string("Zq-9417"), page.session, std::string(kToken)})
      EXPECT_EQ(line.find(secret), std::string::npos) << line;
    ++events[entry["event"].get<std::string>() + "@" + entry.value("session", "")];
    if (entry["event"] == "session_opened") {
      EXPECT_EQ(entry.value("peer", ""), "127.0.0.1");
    }
  }
  EXPECT_EQ(events["session_opened@s1"], 1);
  EXPECT_EQ(events["commit@s1"], 1);
  EXPECT_EQ(events["commit_refused@s1"], 1);
  EXPECT_EQ(events["session_ended@s1"], 1);
}

// What the sessions' data servers refuse, counted and logged with its error number: a write
// by the kind its number names, a query for rows as a failed load.
TEST_F(ServeOpsTest, RefusedWritesByKindAndFailedLoads) {
  WriteSampleDatabase(folder_ / "s.db", 3);
  request_.controls.push_back({{}, (folder_ / "s.db").string(), "SELECT Id FROM Orders", ""});
  display_ = std::make_unique<ServeDisplay>(request_, clock_);
  auto fake = std::make_shared<control::testing::FakeDataServer>();
  const auto server = TallyWrites(fake, std::make_shared<WriteTally>());
  struct Row {
    const char* statement;
    int64_t error;
    web::Labels counted;  // tabulo_commits_refused_total, or a failed load
    const char* logged;
  } rows[] = {
      {"UPDATE t SET v = 1", 0x80040E38, {{"kind", "conflict"}}, "0x80040E38"},
      {"UPDATE t SET v = 1", 0x80004005, {{"kind", "unavailable"}}, "0x80004005"},
      {"UPDATE t SET v = 1", 0x80040E4D, {{"kind", "login"}}, "0x80040E4D"},
      {"UPDATE t SET v = 1", 0x80040E14, {{"kind", "statement"}}, "0x80040E14"},
      {"DELETE FROM t", 0x80040E37, {{"kind", "other"}}, "0x80040E37"},
      {"SELECT v FROM t", 0x80040E14, {{"outcome", "failed"}}, "0x80040E14"},
  };
  web::Metrics& m = web::Metrics::Process();
  for (const Row& r : rows) {
    SCOPED_TRACE(r.logged);
    const bool load = r.counted.begin()->first == "outcome";
    const char* series = load ? "tabulo_loads_total" : "tabulo_commits_refused_total";
    const double count = m.Value(series, r.counted), loads = m.Value("tabulo_load_seconds"),
                 writes = m.Value("tabulo_commit_seconds");
    fake->query_error = platform::ComError(r.error, "refused");
    EXPECT_THROW(server->Query("s", "", r.statement, "", ""), platform::ComError);
    EXPECT_EQ(m.Value(series, r.counted) - count, 1);
    EXPECT_EQ(m.Value("tabulo_load_seconds") - loads, load ? 1 : 0);
    EXPECT_EQ(m.Value("tabulo_commit_seconds") - writes, load ? 0 : 1);
    const json line = json::parse(Log().back());
    EXPECT_EQ(line["event"], load ? "load_failed" : "commit_refused");
    EXPECT_EQ(line["error"], r.logged);
  }
}

// A session that cannot be built (its host configuration gone since the start) is refused
// with the reason, counted and logged; sessions open again once the file is back.
TEST_F(ServeOpsTest, ASessionThatCannotBeBuiltIsRefusedWithTheReason) {
  WriteSampleDatabase(folder_ / "s.db", 3);
  request_.controls.push_back({{}, (folder_ / "s.db").string(), "SELECT Id FROM Orders", ""});
  const std::string config = R"({"format": 1,
    "clusters": [{"name": "Local", "type": "DizuvAdar", "coordinator": "Local",
                  "servers": [{"name": "PLANT-01"}]}]})";
  request_.session.host_config = folder_.Write("host.json", config);
  display_ = std::make_unique<ServeDisplay>(request_, clock_);
  std::filesystem::remove(request_.session.host_config);
  web::Metrics& m = web::Metrics::Process();
  const double failed = m.Value("tabulo_sessions_refused_total", {{"reason", "failed"}});
  const web::Reply refused = display_->Open({}, "{}");
  EXPECT_EQ(refused.status, 503);
  const std::string error = json::parse(refused.body)["error"];
  EXPECT_EQ(error.rfind("The session could not be opened: ", 0), 0u) << error;
  EXPECT_NE(error.find("cannot read the host configuration"), std::string::npos) << error;
  EXPECT_EQ(m.Value("tabulo_sessions_refused_total", {{"reason", "failed"}}) - failed, 1);
  ASSERT_FALSE(Log().empty());
  const json line = json::parse(Log().back());
  EXPECT_EQ(line["event"], "session_refused");
  EXPECT_EQ(line["reason"], "failed");
  EXPECT_EQ(display_->session_count(), 0u);
  folder_.Write("host.json", config);
  EXPECT_EQ(display_->Open({}, "{}").status, 200);
}

// The display tells the 1024 sessions that ended last from sessions it never had: their
// pages are told why they ended (410), where a made-up one is refused (403); the one ended
// before them is forgotten.
TEST_F(ServeOpsTest, TheLast1024EndedSessionsAreToldApartFromUnknownOnes) {
  WriteSampleDatabase(folder_ / "s.db", 3);
  request_.controls.push_back({{}, (folder_ / "s.db").string(), "SELECT Id FROM Orders", ""});
  display_ = std::make_unique<ServeDisplay>(request_, clock_);
  auto reap = [&] {  // one round of minding the sessions
    int rounds = 0;
    display_->Run([&] { return rounds++ > 0; });
  };
  std::vector<web::Caller> pages;
  for (int n = 0; n < 1025; ++n) {
    web::Caller caller{"", "b", "127.0.0.1"};
    const web::Reply opened = display_->Open(caller, "{}");
    ASSERT_EQ(opened.status, 200) << n << opened.body;
    caller.session = json::parse(opened.body)["session"];
    pages.push_back(caller);
    ASSERT_EQ(display_->End(caller).status, 200);
    if (n < 2 || n % 128 == 0) reap();  // the first two are the first ended
  }
  reap();
  const std::string unknown =
      "This page's session is not known to the display (it has ended, or belongs to another "
      "page): reload the page.";
  const std::string closed = "This session has ended. Reload the page to start a new one.";
  struct Row {
    web::Caller caller;
    int status;
    std::string why;
  } rows[] = {
      {pages[0], 403, unknown},
      {pages[1], 410, closed},
      {pages[1024], 410, closed},
      {{std::string(32, 'a'), "b", ""}, 403, unknown},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.caller.session);
    for (const web::Reply& reply : {display_->Post(r.caller, "{}"), display_->End(r.caller)}) {
      EXPECT_EQ(reply.status, r.status);
      EXPECT_NE(json::parse(reply.body)["error"].get<std::string>().find(r.why), std::string::npos)
          << reply.body;
    }
    const web::Download download = display_->Export(r.caller, "0", "csv");
    EXPECT_EQ(download.status, r.status);
    EXPECT_NE(download.error.find(r.why), std::string::npos) << download.error;
    EXPECT_EQ(download.error.find('{'), std::string::npos) << download.error;
  }
}

// Sessions on PostgreSQL: each holds its record set's connection; their commands share the
// process's idle connections (three sessions' edits, one login); ended sessions give theirs
// back, kept idle. /healthz answers 503 once the server stops.
TEST_F(ServeOpsTest, PostgreSqlConnectionsSharedAndGivenBack) {
  PgFixture::Instance pg = PgFixture::Start();
  TABULO_REQUIRE_PG(pg);
  PgFixture::Psql(pg,
                  "CREATE TABLE t(id int PRIMARY KEY, v varchar(20));"
                  "INSERT INTO t SELECT i, 'v' || i FROM generate_series(1, 40) i;");
  const std::string login =
      R"({"host": "127.0.0.1", "port": )" + std::to_string(pg.port) +
      R"(, "database": "postgres", "user": "postgres", "password": "secret"})";
  const std::string host = R"({"format": 1, "clusters": [{"name": "Plant", "type": "DizuvAdar",
    "coordinator": "Plant", "servers": [{"name": "A", "postgresql": {"plant": )" +
                           login + "}}]}]}";
  const std::filesystem::path host_file = folder_ / "host.json";
  std::ofstream(host_file) << host;
  request_.session.host_config = host_file.string();
  BrowseRequest control{{}, "plant", "SELECT id, v FROM t ORDER BY id", ""};
  for (const char* setting : {"ServerType=1", "DataTable=t", "AllowUpdates=true"})
    control.settings.push_back(ParsePropertySetting(setting));
  request_.controls.push_back(control);
  auto in_use = [&] {
    return PgFixture::Query(
        pg, "SELECT count(*) FROM pg_stat_activity WHERE application_name LIKE 'tabulo%';");
  };
  // Connections at work (open, not idle) once the key passes have ended (they run beside the
  // loads, and their connections are kept idle after).
  auto settled = [](int64_t working) {
    host::pg::ConnectionCounts c = host::pg::CountConnections();
    for (int round = 0; round < 400 && c.open - c.idle != working; ++round) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
      c = host::pg::CountConnections();
    }
    return c;
  };
  Start();
  EXPECT_EQ(Get("/healthz")->status, 200);
  const host::pg::ConnectionCounts start = settled(0);
  EXPECT_EQ(start.open, start.idle);
  const std::string loads = R"(tabulo_loads_total{outcome="ok"})";
  const double loaded_before = Scrape()[loads];
  std::vector<Page> pages;
  for (int i = 0; i < 3; ++i) pages.push_back(Open());
  ScrapeUntil(loads, loaded_before + 3);
  // Each session browses on its own connection; the server lists all the process holds.
  host::pg::ConnectionCounts c = settled(3);
  EXPECT_EQ(c.open - c.idle, 3);
  EXPECT_EQ(in_use(), std::to_string(c.open - start.open));
  const host::pg::ConnectionCounts loaded = c;
  const double written = Scrape()["tabulo_commits_written_total"];
  for (size_t i = 0; i < pages.size(); ++i)
    Edit(pages[i], static_cast<int>(i) + 1, "w" + std::to_string(i));
  // The three sessions' writes took one login between them, kept idle for the next.
  c = host::pg::CountConnections();
  EXPECT_EQ(c.opened - loaded.opened, 1);
  EXPECT_EQ(c.idle - loaded.idle, 1);
  EXPECT_EQ(c.open - c.idle, 3);
  auto s = Scrape();
  EXPECT_EQ(s["tabulo_commits_written_total"] - written, 3);
  EXPECT_EQ(s[R"(tabulo_pg_connections{use="idle"})"], c.idle);
  EXPECT_EQ(s[R"(tabulo_pg_connections{use="all"})"], c.open);
  EXPECT_EQ(PgFixture::Query(pg, "SELECT string_agg(v, ',' ORDER BY id) FROM t WHERE id <= 3;"),
            "w0,w1,w2");
  // Ended sessions give their connections back, kept idle with the command's (four a login).
  for (const Page& page : pages) End(page);
  c = settled(0);
  EXPECT_EQ(c.idle - loaded.idle, 4);
  EXPECT_EQ(in_use(), std::to_string(c.open - start.open));

  PgFixture::Stop(pg);
  int status = 0;
  std::string body;
  // The answer is kept 2 s on the display's clock, which its own rounds advance: ask until
  // the probe has run again (bounded by wall time, not by a count of asks).
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (status != 503 && std::chrono::steady_clock::now() < give_up) {
    if (status != 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto res = Get("/healthz");
    status = res ? res->status : 0;
    body = res ? res->body : "";
  }
  EXPECT_EQ(status, 503);
  EXPECT_EQ(body, R"({"database":"down","status":"degraded"})");
  EXPECT_EQ(Scrape()["tabulo_database_up"], 0);
}

}  // namespace
}  // namespace tabulo::container
