#include "host/cluster/host_config.h"

#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "host/audit/password_hash.h"
#include "platform/storage/whole_file.h"
#include "platform/values/com_error.h"

namespace tabulo::host {
namespace {

using Json = nlohmann::ordered_json;

// Configuration errors carry this number: the data source (the host configuration) is not
// usable.
constexpr int64_t kErrConfig = 0x80004005;

int LineAt(const std::string& text, size_t offset) {
  if (offset > text.size()) offset = text.size();
  int line = 1;
  for (size_t i = 0; i < offset; ++i)
    if (text[i] == '\n') ++line;
  return line;
}

// Walks the document in order, so that the line of each key is found by searching forward
// from the previous key's position (JSON texts repeat key names, e.g. "name").
class Walker {
 public:
  Walker(const std::string& text, const std::string& file) : text_(text), file_(file) {}

  [[noreturn]] void Fail(const std::string& key, const std::string& message) const {
    std::ostringstream out;
    out << file_ << ", line " << LineAt(text_, cursor_) << ", key \"" << key << "\": " << message;
    throw platform::ComError(kErrConfig, out.str(), "ClusterManager");
  }

  // Moves the cursor to the next occurrence of "key" followed by a colon.
  void Seek(const std::string& key) {
    std::string quoted = "\"" + key + "\"";
    size_t pos = cursor_;
    while ((pos = text_.find(quoted, pos)) != std::string::npos) {
      size_t after = pos + quoted.size();
      while (after < text_.size() && std::isspace(static_cast<unsigned char>(text_[after])))
        ++after;
      if (after < text_.size() && text_[after] == ':') {
        cursor_ = pos;
        return;
      }
      pos += quoted.size();
    }
  }

  // Back to the start, for a section that may stand before those already read.
  void Rewind() { cursor_ = 0; }

  void CheckKeys(const Json& object, const std::set<std::string>& allowed) {
    for (auto it = object.begin(); it != object.end(); ++it) {
      Seek(it.key());
      if (!allowed.count(it.key())) Fail(it.key(), "unknown key");
    }
  }

  std::string String(const Json& object, const std::string& key, bool required) {
    auto it = object.find(key);
    if (it == object.end()) {
      if (required) Fail(key, "missing");
      return {};
    }
    Seek(key);
    if (!it->is_string()) Fail(key, "expected a text");
    return it->get<std::string>();
  }

  bool Bool(const Json& object, const std::string& key, bool fallback) {
    auto it = object.find(key);
    if (it == object.end()) return fallback;
    Seek(key);
    if (!it->is_boolean()) Fail(key, "expected true or false");
    return it->get<bool>();
  }

  std::map<std::string, std::string> NameMap(const Json& object, const std::string& key) {
    std::map<std::string, std::string> out;
    auto it = object.find(key);
    if (it == object.end()) return out;
    Seek(key);
    if (!it->is_object()) Fail(key, "expected an object of names and paths");
    for (auto e = it->begin(); e != it->end(); ++e) {
      Seek(e.key());
      if (!e->is_string()) Fail(e.key(), "expected a path");
      if (e->get<std::string>().empty()) Fail(e.key(), "empty path");
      out[e.key()] = e->get<std::string>();
    }
    return out;
  }

  PgConnectionMap PgConnections(const Json& object) {
    PgConnectionMap out;
    auto it = object.find("postgresql");
    if (it == object.end()) return out;
    Seek("postgresql");
    if (!it->is_object()) Fail("postgresql", "expected an object of connection names");
    for (auto e = it->begin(); e != it->end(); ++e) {
      Seek(e.key());
      if (!e->is_object()) Fail(e.key(), "expected a connection object");
      CheckKeys(*e, {"host", "port", "database", "user", "password"});
      PgConnectionConfig c;
      c.host = String(*e, "host", true);
      if (c.host.empty()) Fail("host", "empty host");
      if (auto port = e->find("port"); port != e->end()) {
        Seek("port");
        if (!port->is_number_integer() || port->get<int64_t>() < 1 || port->get<int64_t>() > 65535)
          Fail("port", "expected a port number (1 to 65535)");
        c.port = static_cast<int>(port->get<int64_t>());
      }
      c.database = String(*e, "database", false);
      c.user = String(*e, "user", false);
      c.password = String(*e, "password", false);
      out[e.key()] = c;
    }
    return out;
  }

  const Json& Array(const Json& object, const std::string& key) {
    static const Json kEmpty = Json::array();
    auto it = object.find(key);
    if (it == object.end()) return kEmpty;
    Seek(key);
    if (!it->is_array()) Fail(key, "expected a list");
    return *it;
  }

 private:
  const std::string& text_;
  const std::string& file_;
  size_t cursor_ = 0;
};

ServerConfig ParseServer(Walker& w, const Json& j) {
  if (!j.is_object()) w.Fail("servers", "expected an object for each server");
  w.CheckKeys(j, {"name", "reachable", "data_sources", "postgresql"});
  ServerConfig s;
  s.name = w.String(j, "name", true);
  if (s.name.empty()) w.Fail("name", "a server needs a name");
  s.reachable = w.Bool(j, "reachable", true);
  s.data_sources = w.NameMap(j, "data_sources");
  s.postgresql = w.PgConnections(j);
  return s;
}

ClusterConfig ParseCluster(Walker& w, const Json& j) {
  if (!j.is_object()) w.Fail("clusters", "expected an object for each cluster");
  w.CheckKeys(j, {"name", "type", "coordinator", "active_server", "servers"});
  ClusterConfig c;
  c.name = w.String(j, "name", true);
  if (c.name.empty()) w.Fail("name", "a cluster needs a name");
  std::string type = w.String(j, "type", false);
  if (type.empty() || type == "DizuvAdar") {
    c.type = kClusterTypeDizuvAdar;
  } else if (type == "Logging") {
    c.type = kClusterTypeLogging;
  } else {
    w.Fail("type", "expected \"DizuvAdar\" or \"Logging\", not \"" + type + "\"");
  }
  c.coordinator = w.String(j, "coordinator", false);
  c.active_server = w.String(j, "active_server", false);
  std::set<std::string> names;
  for (const Json& s : w.Array(j, "servers")) {
    c.servers.push_back(ParseServer(w, s));
    if (!names.insert(c.servers.back().name).second)
      w.Fail("name", "server \"" + c.servers.back().name + "\" is listed twice");
  }
  if (!c.active_server.empty() && !names.count(c.active_server))
    w.Fail("active_server", "no server named \"" + c.active_server + "\" in the cluster");
  return c;
}

SecurityUser ParseUser(Walker& w, const Json& j) {
  if (!j.is_object()) w.Fail("users", "expected an object for each user");
  w.CheckKeys(j, {"name", "level", "password_hash"});
  SecurityUser u;
  u.name = w.String(j, "name", true);
  if (u.name.empty()) w.Fail("name", "a user needs a name");
  auto level = j.find("level");
  if (level == j.end()) w.Fail("level", "missing");
  w.Seek("level");
  if (!level->is_number_integer() || level->get<int64_t>() < 0 || level->get<int64_t>() > INT32_MAX)
    w.Fail("level", "expected a command level (a whole number, 0 or more)");
  u.level = static_cast<int32_t>(level->get<int64_t>());
  u.password_hash = w.String(j, "password_hash", true);
  try {
    ParsePasswordHash(u.password_hash);
  } catch (const platform::ComError& e) {
    w.Fail("password_hash", e.description());
  }
  return u;
}

// A PostgreSQL name as written unquoted: a letter or "_", then letters, digits and "_".
bool IsPlainName(const std::string& name) {
  if (name.empty() || name.size() > 48 || std::isdigit(static_cast<unsigned char>(name[0])))
    return false;
  for (char c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

PgAuditConfig ParsePgAudit(Walker& w, const Json& j, const PgConnectionMap& connections) {
  if (!j.is_object()) w.Fail("audit", "expected an object naming a \"postgresql\" connection");
  w.CheckKeys(j, {"postgresql", "database", "table"});
  PgAuditConfig a;
  a.connection = w.String(j, "postgresql", true);
  if (!connections.count(a.connection))
    w.Fail("postgresql", "no PostgreSQL connection named \"" + a.connection +
                             "\" in the configuration's \"postgresql\"");
  a.database = w.String(j, "database", false);
  if (j.contains("table")) {
    const std::string table = w.String(j, "table", false);
    const size_t dot = table.find('.');
    a.schema = dot == std::string::npos ? "" : table.substr(0, dot);
    a.table = dot == std::string::npos ? table : table.substr(dot + 1);
    if ((dot != std::string::npos && !IsPlainName(a.schema)) || !IsPlainName(a.table))
      w.Fail("table", "expected a table name, optionally schema.table (letters, digits and _)");
  }
  return a;
}

SecurityConfig ParseSecurity(Walker& w, const Json& root, const PgConnectionMap& connections) {
  SecurityConfig s;
  auto it = root.find("security");
  if (it == root.end()) return s;
  w.Rewind();
  w.Seek("security");
  if (!it->is_object()) w.Fail("security", "expected an object");
  const Json& j = *it;
  w.CheckKeys(j, {"users", "reason_categories", "audit_database", "audit", "audit_key_file"});
  // Each part is sought from the section's start, so that lines are right in any key order.
  auto to_section = [&w] {
    w.Rewind();
    w.Seek("security");
  };
  to_section();
  std::set<std::string> names;
  for (const Json& u : w.Array(j, "users")) {
    s.users.push_back(ParseUser(w, u));
    if (!names.insert(s.users.back().name).second)
      w.Fail("name", "user \"" + s.users.back().name + "\" is listed twice");
  }
  to_section();
  for (const Json& c : w.Array(j, "reason_categories")) {
    if (!c.is_string() || c.get<std::string>().empty())
      w.Fail("reason_categories", "expected a list of non-empty texts");
    s.reason_categories.push_back(c.get<std::string>());
  }
  if (j.contains("audit_database")) {
    to_section();
    s.audit_database = w.String(j, "audit_database", false);
    if (s.audit_database.empty()) w.Fail("audit_database", "empty path");
  }
  if (auto audit = j.find("audit"); audit != j.end()) {
    to_section();
    w.Seek("audit");
    if (j.contains("audit_database"))
      w.Fail("audit", "give either \"audit\" or \"audit_database\", not both");
    s.audit_pg = ParsePgAudit(w, *audit, connections);
  }
  if (j.contains("audit_key_file")) {
    to_section();
    s.audit_key_file = w.String(j, "audit_key_file", false);
    if (s.audit_key_file.empty()) w.Fail("audit_key_file", "empty path");
  }
  return s;
}

// The demo user's password "demo", hashed with the full default cost.
constexpr const char* kDemoPasswordHash =
    "pbkdf2-sha256$600000$62th9mEdOfgCPuTYN8csJw==$OzexE+UY32U8eUAToltV/qXu2V07yYkrZgpqoj223Yg=";

}  // namespace

HostConfig DefaultHostConfig(const std::string& machine_name) {
  HostConfig config;
  ClusterConfig local;
  local.name = "Local";
  local.type = kClusterTypeDizuvAdar;
  local.coordinator = "Local";
  local.servers.push_back(ServerConfig{machine_name, true, {}});
  ClusterConfig logging;
  logging.name = "Local Logging";
  logging.type = kClusterTypeLogging;
  logging.coordinator = "Local";
  config.clusters.push_back(std::move(local));
  config.clusters.push_back(std::move(logging));
  config.security.users.push_back(SecurityUser{"demo", 10, kDemoPasswordHash});
  config.security.reason_categories = {"Correction", "Maintenance"};
  return config;
}

HostConfig ParseHostConfig(const std::string& text, const std::string& file_name) {
  Json root;
  try {
    root = Json::parse(text);
  } catch (const Json::parse_error& e) {
    std::ostringstream out;
    out << file_name << ", line " << LineAt(text, e.byte > 0 ? e.byte - 1 : 0)
        << ": not valid JSON (" << e.what() << ")";
    throw platform::ComError(kErrConfig, out.str(), "ClusterManager");
  } catch (const Json::exception& e) {
    // A number beyond a double's range ("2E501") and the like: refused as the file's fault.
    throw platform::ComError(kErrConfig, file_name + ": not valid JSON (" + e.what() + ")",
                             "ClusterManager");
  }
  Walker w(text, file_name);
  if (!root.is_object()) w.Fail("", "the configuration must be a JSON object");
  w.CheckKeys(root, {"format", "data_sources", "postgresql", "clusters", "security", "resources"});
  auto format = root.find("format");
  if (format == root.end()) w.Fail("format", "missing (write \"format\": 1)");
  w.Seek("format");
  if (!format->is_number_integer() || format->get<int64_t>() != 1)
    w.Fail("format", "unsupported version (this program reads format 1)");

  HostConfig config;
  config.data_sources = w.NameMap(root, "data_sources");
  config.postgresql = w.PgConnections(root);
  std::set<std::string> names;
  for (const Json& c : w.Array(root, "clusters")) {
    config.clusters.push_back(ParseCluster(w, c));
    if (!names.insert(config.clusters.back().name).second)
      w.Fail("name", "cluster \"" + config.clusters.back().name + "\" is listed twice");
  }
  config.security = ParseSecurity(w, root, config.postgresql);
  w.Rewind();
  config.resources = w.String(root, "resources", false);
  return config;
}

HostConfig LoadHostConfig(const std::string& path) {
  const platform::WholeFile file = platform::ReadWholeFile(path);
  if (!file.fault.empty()) {
    throw platform::ComError(kErrConfig,
                             path + ": cannot read the host configuration" +
                                 (file.opened ? " (" + file.fault + ")" : ""),
                             "ClusterManager");
  }
  HostConfig config = ParseHostConfig(file.bytes, path);
  config.base_dir = std::filesystem::absolute(path).parent_path().string();
  return config;
}

AuditDatabaseLocation ResolveAuditDatabase(const HostConfig& config) {
  const std::string& configured = config.security.audit_database;
  if (configured.empty())
    return {DefaultAuditDatabasePath(std::getenv("XDG_STATE_HOME"), std::getenv("HOME")), true};
  std::filesystem::path p(configured);
  if (p.is_relative() && !config.base_dir.empty()) p = std::filesystem::path(config.base_dir) / p;
  return {p.string(), false};
}

std::string ResolveResourceFile(const HostConfig& config) {
  std::filesystem::path p(config.resources);
  if (p.empty()) return {};
  if (p.is_relative() && !config.base_dir.empty()) p = std::filesystem::path(config.base_dir) / p;
  return p.string();
}

std::string ResolveAuditKeyFile(const HostConfig& config) {
  std::filesystem::path p(config.security.audit_key_file);
  if (p.empty()) return {};
  if (p.is_relative() && !config.base_dir.empty()) p = std::filesystem::path(config.base_dir) / p;
  return p.string();
}

std::string DefaultAuditDatabasePath(const char* xdg_state_home, const char* home) {
  // The XDG rules ignore a relative value.
  if (xdg_state_home && *xdg_state_home && std::filesystem::path(xdg_state_home).is_absolute())
    return (std::filesystem::path(xdg_state_home) / "tabulo" / "audit.db").string();
  if (home && *home && std::filesystem::path(home).is_absolute())
    return (std::filesystem::path(home) / ".local" / "state" / "tabulo" / "audit.db").string();
  return {};
}

std::string LocalMachineName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

std::string ResolveDataSource(const HostConfig& config, const ServerConfig& server,
                              const std::string& dsn) {
  std::string path = dsn;
  if (auto it = server.data_sources.find(dsn); it != server.data_sources.end()) {
    path = it->second;
  } else if (auto g = config.data_sources.find(dsn); g != config.data_sources.end()) {
    path = g->second;
  } else {
    return dsn;  // a plain path is taken as the caller wrote it
  }
  std::filesystem::path p(path);
  if (p.is_relative() && !config.base_dir.empty()) p = std::filesystem::path(config.base_dir) / p;
  return p.string();
}

PgConnectionMap PgConnectionsOf(const HostConfig& config, const ServerConfig& server) {
  PgConnectionMap out = server.postgresql;
  out.insert(config.postgresql.begin(), config.postgresql.end());
  return out;
}

}  // namespace tabulo::host
