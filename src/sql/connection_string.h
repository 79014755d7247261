// The ConnectionString property: the four connection values as one ODBC-style text of
// key=value pairs, and the reverse. Neither connects nor touches ServerType.
//
// Recognised keys (compared in lower case, never trimmed, so " uid" is not "uid"):
//   "dsn", "data source", "datasource" -> DSNname     "uid", "user name", "user id" -> User
//   "pwd", "password" -> Password                    "initial catalog", "database" -> Database
// "datasource" is accepted because the text composed for ServerType 1 writes "DataSource=";
// without it that text would not survive a round trip.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace tabulo::sql {

struct ConnectionValues {
  std::string DSNname;
  std::string Database;
  std::string User;
  std::string Password;
};

// The control's property setters, so the container sees each change.
struct ConnectionSetters {
  std::function<void(const std::string&)> DSNname;
  std::function<void(const std::string&)> User;
  std::function<void(const std::string&)> Password;
  std::function<void(const std::string&)> Database;
};

// ServerType 1: "DataSource=...;DATABASE=...;UID=...;PWD=...;", otherwise
// "DSN=...;UID=...;PWD=...;". Values are inserted as they are, without quoting.
std::string ComposeConnectionString(const ConnectionValues& values, int16_t server_type);

// Clears the four values (DSNname, User, Password, Database, in that order), then sets one
// value per recognised pair of "([\w\s]+)=([^;]*)(;|$)", left to right, so a later pair
// wins. Any failure (a regular-expression limit, a setter that raises) ends it silently;
// values already set stay set. A missing setter is skipped. Never raises.
void ApplyConnectionString(std::string_view text, ConnectionSetters& setters);

}  // namespace tabulo::sql
