// ConnectionString get and set: the order of the setter calls and the key table (the
// control's property tests make the round trips of server types 0 and 1).
#include "sql/connection_string.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/values/com_error.h"

namespace tabulo::sql {
namespace {

constexpr const char* kClears = "DSNname=,User=,Password=,Database=";

// Records every setter call as "Name=value" and keeps the resulting values.
struct Recorder {
  ConnectionValues values{"old", "old", "old", "old"};
  std::string calls;
  ConnectionSetters setters{[this](const std::string& v) { Set("DSNname", values.DSNname, v); },
                            [this](const std::string& v) { Set("User", values.User, v); },
                            [this](const std::string& v) { Set("Password", values.Password, v); },
                            [this](const std::string& v) { Set("Database", values.Database, v); }};

  void Set(const char* name, std::string& field, const std::string& v) {
    if (!calls.empty()) calls += ',';
    calls.append(name).append("=").append(v);
    field = v;
  }
  // The calls after the four that clear every value, which always come first.
  std::string Apply(std::string_view text) {
    calls.clear();
    ApplyConnectionString(text, setters);
    EXPECT_EQ(calls.substr(0, 34), kClears) << text;
    return calls.size() > 35 ? calls.substr(35) : "";
  }
};

TEST(ComposeConnectionString, AServerTypeBeyondOneTakesTheDsnStyle) {
  EXPECT_EQ(ComposeConnectionString({"Orders", "Sales", "ann", "p=w"}, 2),
            "DSN=Orders;UID=ann;PWD=p=w;");
}

TEST(ApplyConnectionString, ClearsFirstThenSetsInMatchOrder) {
  struct Case {
    std::string text, calls;
  };
  const Case cases[] = {
      {"PWD=secret;DSN=Orders;UID=ann;Database=Sales",
       "Password=secret,DSNname=Orders,User=ann,Database=Sales"},
      {"", ""},
      {"DATA SOURCE=x;user name=u;PASSWORD=p;dAtAbAsE=d;",
       "DSNname=x,User=u,Password=p,Database=d"},
      // Values keep further equals signs and may be empty; a later pair wins.
      {"DSN=Orders;PWD=a=b==c;UID=;", "DSNname=Orders,Password=a=b==c,User="},
      {"UID=first;User Id=second;DSN=x;dsn=y", "User=first,User=second,DSNname=x,DSNname=y"},
      // Blanks around keys are significant (" uid", "pwd " are no keys); values stay untrimmed.
      {"DSN=Orders; UID=ann;PWD =pw;Database=Sales; ", "DSNname=Orders,Database=Sales"},
      {"DSN= Orders ;", "DSNname= Orders "},
      // Unknown keys and junk are skipped.
      {"Provider=SQLOLEDB;Trusted_Connection=yes;DSN=Orders;=x;;;garbage;UID=ann",
       "DSNname=Orders,User=ann"},
      // A key is the run of word characters and blanks just before "=": "x-dsn" reads as
      // "dsn", "x.uid" as "uid", but "xpwd" is a key of its own.
      {"x-dsn=Orders;x.uid=ann;xpwd=pw", "DSNname=Orders,User=ann"},
      {"Zoë=1;DSN=Ünïcode✓;", "DSNname=Ünïcode✓"},
      // Not UTF-8: the expression refuses the text. Line breaks are no blanks.
      {"DSN=Orders;\xff\xfe;UID=ann", ""},
      {"DSN=a\r\nb;UID=\tann;\nPWD=p", "DSNname=a\r\nb,User=\tann"},
      // A megabyte of key characters without "=": no pair, never a crash.
      {std::string(1 << 20, 'a'), ""}};
  Recorder r;
  for (const Case& c : cases) EXPECT_EQ(r.Apply(c.text), c.calls) << c.text.substr(0, 80);
  r.Apply("DSN=" + std::string(1 << 20, 'x') + ";UID=ann");
  EXPECT_EQ(r.values.DSNname.size(), size_t{1} << 20);
  EXPECT_EQ(r.values.User, "ann");
}

TEST(ApplyConnectionString, AFailingOrMissingSetterEndsSilently) {
  Recorder r;
  r.setters.Password = [&](const std::string& v) {
    if (!v.empty()) throw platform::ComError(380, "Invalid property value");
    r.Set("Password", r.values.Password, v);
  };
  EXPECT_EQ(r.Apply("DSN=Orders;PWD=pw;UID=ann"), "DSNname=Orders");  // what was set stays
  EXPECT_EQ(r.values.User, "");
  ConnectionSetters none;
  EXPECT_NO_THROW(ApplyConnectionString("DSN=x;UID=y", none));
}

}  // namespace
}  // namespace tabulo::sql
