// ConnectionString get and set: the order of the setter calls, the key table, round trips.
#include "sql/connection_string.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/values/com_error.h"

namespace tabulo::sql {
namespace {

using ::testing::ElementsAre;

// Records every setter call as "Name=value" and keeps the resulting values.
struct Recorder {
  ConnectionValues values;
  std::vector<std::string> calls;
  ConnectionSetters setters{
      [this](const std::string& v) { Set("DSNname", values.DSNname, v); },
      [this](const std::string& v) { Set("User", values.User, v); },
      [this](const std::string& v) { Set("Password", values.Password, v); },
      [this](const std::string& v) { Set("Database", values.Database, v); },
  };

  void Set(const char* name, std::string& field, const std::string& v) {
    calls.push_back(std::string(name) + "=" + v);
    field = v;
  }
  void Apply(std::string_view text) {
    calls.clear();
    ApplyConnectionString(text, setters);
  }
};

TEST(ComposeConnectionString, BothStylesWithValuesAsTheyAre) {
  const ConnectionValues v{"Orders", "Sales", "ann", "p=w"};
  EXPECT_EQ(ComposeConnectionString(v, 0), "DSN=Orders;UID=ann;PWD=p=w;");
  EXPECT_EQ(ComposeConnectionString(v, 2), "DSN=Orders;UID=ann;PWD=p=w;");
  EXPECT_EQ(ComposeConnectionString(v, 1), "DataSource=Orders;DATABASE=Sales;UID=ann;PWD=p=w;");
  EXPECT_EQ(ComposeConnectionString({}, 0), "DSN=;UID=;PWD=;");
  EXPECT_EQ(ComposeConnectionString({}, 1), "DataSource=;DATABASE=;UID=;PWD=;");
}

TEST(ApplyConnectionString, ClearsFirstThenSetsInMatchOrder) {
  Recorder r;
  r.values = {"old", "old", "old", "old"};
  r.Apply("PWD=secret;DSN=Orders;UID=ann;Database=Sales");
  EXPECT_THAT(r.calls, ElementsAre("DSNname=", "User=", "Password=", "Database=", "Password=secret",
                                   "DSNname=Orders", "User=ann", "Database=Sales"));
}

TEST(ApplyConnectionString, EmptyTextOnlyClears) {
  Recorder r;
  r.values = {"a", "b", "c", "d"};
  r.Apply("");
  EXPECT_THAT(r.calls, ElementsAre("DSNname=", "User=", "Password=", "Database="));
  EXPECT_EQ(r.values.DSNname + r.values.Database + r.values.User + r.values.Password, "");
}

TEST(ApplyConnectionString, OleDbStyleInMixedCase) {
  Recorder r;
  r.Apply("Data Source=srv01;Initial Catalog=Sales;User ID=ann;Password=pw");
  EXPECT_EQ(r.values.DSNname, "srv01");
  EXPECT_EQ(r.values.Database, "Sales");
  EXPECT_EQ(r.values.User, "ann");
  EXPECT_EQ(r.values.Password, "pw");
  r.Apply("DATA SOURCE=x;user name=u;PASSWORD=p;dAtAbAsE=d;");
  EXPECT_EQ(r.values.DSNname, "x");
  EXPECT_EQ(r.values.User, "u");
  EXPECT_EQ(r.values.Password, "p");
  EXPECT_EQ(r.values.Database, "d");
}

TEST(ApplyConnectionString, ValuesKeepFurtherEqualsSignsAndMayBeEmpty) {
  Recorder r;
  r.Apply("DSN=Orders;PWD=a=b==c;UID=;");
  EXPECT_EQ(r.values.Password, "a=b==c");
  EXPECT_EQ(r.values.User, "");
  EXPECT_EQ(r.calls.back(), "User=");
}

TEST(ApplyConnectionString, LaterPairWins) {
  Recorder r;
  r.Apply("UID=first;User Id=second;DSN=x;dsn=y");
  EXPECT_EQ(r.values.User, "second");
  EXPECT_EQ(r.values.DSNname, "y");
}

TEST(ApplyConnectionString, SpacesAroundKeysAreSignificant) {
  Recorder r;
  r.Apply("DSN=Orders; UID=ann;PWD =pw;Database=Sales; ");
  EXPECT_EQ(r.values.DSNname, "Orders");
  EXPECT_EQ(r.values.User, "");      // " uid" is no key
  EXPECT_EQ(r.values.Password, "");  // "pwd " neither
  EXPECT_EQ(r.values.Database, "Sales");
  // Values are not trimmed either.
  r.Apply("DSN= Orders ;");
  EXPECT_EQ(r.values.DSNname, " Orders ");
}

TEST(ApplyConnectionString, UnknownKeysAndJunkAreSkipped) {
  Recorder r;
  r.Apply("Provider=SQLOLEDB;Trusted_Connection=yes;DSN=Orders;=x;;;garbage;UID=ann");
  EXPECT_THAT(r.calls, ElementsAre("DSNname=", "User=", "Password=", "Database=", "DSNname=Orders",
                                   "User=ann"));
  // A key is the run of word characters and spaces just before "=": "x-dsn" reads as "dsn",
  // "x.uid" as "uid", but "xdsn" is a key of its own.
  r.Apply("x-dsn=Orders;x.uid=ann;xpwd=pw");
  EXPECT_EQ(r.values.DSNname, "Orders");
  EXPECT_EQ(r.values.User, "ann");
  EXPECT_EQ(r.values.Password, "");
  r.Apply("Zoë=1;DSN=Ünïcode✓;");
  EXPECT_EQ(r.values.DSNname, "Ünïcode✓");
}

TEST(ApplyConnectionString, RoundTripsBothStyles) {
  const ConnectionValues v{"Orders", "Sales", "ann", "pw"};
  Recorder r;
  r.Apply(ComposeConnectionString(v, 0));
  EXPECT_EQ(r.values.DSNname, "Orders");
  EXPECT_EQ(r.values.User, "ann");
  EXPECT_EQ(r.values.Password, "pw");
  EXPECT_EQ(r.values.Database, "");  // the ODBC style has no database pair
  // "DataSource" (no blank) is accepted, so the ServerType 1 text survives a round trip.
  r.Apply(ComposeConnectionString(v, 1));
  EXPECT_EQ(r.values.DSNname, "Orders");
  EXPECT_EQ(r.values.Database, "Sales");
  EXPECT_EQ(r.values.User, "ann");
  EXPECT_EQ(r.values.Password, "pw");
  EXPECT_EQ(ComposeConnectionString(r.values, 1), ComposeConnectionString(v, 1));
}

TEST(ApplyConnectionString, AFailingSetterEndsSilentlyKeepingWhatWasSet) {
  Recorder r;
  r.setters.Password = [&](const std::string& v) {
    if (!v.empty()) throw platform::ComError(380, "Invalid property value");
    r.Set("Password", r.values.Password, v);
  };
  EXPECT_NO_THROW(r.Apply("DSN=Orders;PWD=pw;UID=ann"));
  EXPECT_THAT(r.calls,
              ElementsAre("DSNname=", "User=", "Password=", "Database=", "DSNname=Orders"));
  EXPECT_EQ(r.values.User, "");
}

TEST(ApplyConnectionString, MissingSettersAreSkipped) {
  ConnectionSetters none;
  EXPECT_NO_THROW(ApplyConnectionString("DSN=x;UID=y", none));
}

TEST(ApplyConnectionString, BadInputNeverEscapes) {
  Recorder r;
  r.Apply("DSN=Orders;\xff\xfe;UID=ann");  // not UTF-8: the expression refuses the text
  EXPECT_THAT(r.calls, ElementsAre("DSNname=", "User=", "Password=", "Database="));

  r.Apply("DSN=a\r\nb;UID=\tann;\nPWD=p");
  EXPECT_EQ(r.values.DSNname, "a\r\nb");
  EXPECT_EQ(r.values.User, "\tann");
  EXPECT_EQ(r.values.Password, "");  // "\npwd" is no key

  std::string big = "DSN=" + std::string(1 << 20, 'x') + ";UID=ann";
  r.Apply(big);
  EXPECT_EQ(r.values.DSNname.size(), size_t{1} << 20);
  EXPECT_EQ(r.values.User, "ann");

  // A megabyte of key characters without "=": either no pair or a limit; never a crash.
  r.Apply(std::string(1 << 20, 'a'));
  EXPECT_EQ(r.values.DSNname, "");
}

}  // namespace
}  // namespace tabulo::sql
