// Control properties given on the command line: which names are accepted, how values are
// read, and what the control refuses when they are let.
#include "container/property_setting.h"

#include <gtest/gtest.h>

#include "container/session.h"

namespace tabulo::container {
namespace {

using platform::Variant;

// The message a setting raises, or "" when it raises none.
std::string Refusal(const std::function<void()>& call) {
  try {
    call();
  } catch (const SettingError& e) {
    return e.what();
  }
  return "";
}

TEST(PropertySetting, NamesAnyCaseAndValuesInScriptFormOrAsText) {
  const struct {
    const char* text;
    const char* name;
    Variant value;
  } cases[] = {
      {"AllowUpdates=true", "AllowUpdates", Variant(true)},
      {"allowupdates=-1", "AllowUpdates", Variant(int32_t{-1})},
      {"RefreshInterval=1.5", "RefreshInterval", Variant(1.5)},
      // Split at the first '=': the rest is the value, '=' and blanks included.
      {"RecordSource=SELECT a FROM t WHERE b=1", "RecordSource",
       Variant(std::string("SELECT a FROM t WHERE b=1"))},
      {"DataTable=\"Or\"\"ders\"", "DataTable", Variant(std::string("Or\"ders"))},
      {"DataTable=", "DataTable", Variant(std::string())},
      // Write-only, and let by reference: still one plain value.
      {"Password=x", "Password", Variant(std::string("x"))},
      {"LargeChange=7", "LargeChange", Variant(int32_t{7})},
  };
  for (const auto& c : cases) {
    const PropertySetting s = ParsePropertySetting(c.text);
    EXPECT_EQ(s.name, c.name) << c.text;
    EXPECT_EQ(s.value, c.value) << c.text;
    EXPECT_EQ(s.given, c.text);
  }
}

TEST(PropertySetting, RefusesWhatIsNoPlainPropertyNamingIt) {
  const struct {
    const char* text;
    const char* says;
  } cases[] = {
      {"AllowUpdates", "--set takes NAME=VALUE"},
      {"=true", "--set takes NAME=VALUE"},
      {"AllowUpdate=true", "unknown member 'AllowUpdate' of TabuloCtl"},
      {"Refresh=1", "unknown member 'Refresh'"},        // a method
      {"DataServer=1", "unknown member 'DataServer'"},  // saved only
      {"NumberRows=5", "NumberRows cannot be set"},     // read-only
      {"Font=1", "Font cannot be set"},                 // an object
      {"GridArray=1", "GridArray cannot be set"},       // an array
      {"ColWidth=100", "ColWidth cannot be set"},       // indexed by column
  };
  for (const auto& c : cases) {
    const std::string message = Refusal([&] { ParsePropertySetting(c.text); });
    EXPECT_NE(message.find(c.says), std::string::npos) << c.text << ": " << message;
  }
}

TEST(PropertySetting, LetsConvertedValuesInOrderAndNamesARefusedOne) {
  Session session(SessionOptions{});
  control::TabuloCtl& ctl = session.NewControl();
  ASSERT_FALSE(ctl.AllowUpdates());
  ApplyPropertySettings(
      ctl, {ParsePropertySetting("AllowUpdates=true"), ParsePropertySetting("ServerType=\"1\""),
            ParsePropertySetting("LargeChange=7"), ParsePropertySetting("DataTable=Orders"),
            ParsePropertySetting("DataTable=Lines")});
  EXPECT_TRUE(ctl.AllowUpdates());
  EXPECT_EQ(ctl.ServerType(), 1);
  EXPECT_EQ(ctl.LargeChange(), 7);
  EXPECT_EQ(ctl.DataTable(), "Lines");  // the last one given wins

  EXPECT_EQ(
      Refusal([&] { ApplyPropertySettings(ctl, {ParsePropertySetting("AllowUpdates=maybe")}); }),
      "--set AllowUpdates=maybe: Type mismatch (error 13)");
  EXPECT_TRUE(ctl.AllowUpdates());
  // An Integer property: 32767 fits, one more does not.
  EXPECT_EQ(
      Refusal([&] { ApplyPropertySettings(ctl, {ParsePropertySetting("ServerType=32767")}); }), "");
  EXPECT_NE(Refusal([&] {
              ApplyPropertySettings(ctl, {ParsePropertySetting("ServerType=32768")});
            }).find("--set ServerType=32768: Overflow"),
            std::string::npos);
}

}  // namespace
}  // namespace tabulo::container
