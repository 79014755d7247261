// Tests of the lookup: resource store first, built-in table in the user-interface language,
// the "Not Found" placeholder, formatting with values, and failures that never escape.
#include "localization/localized_string.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "localization/state.h"
#include "platform/automation/class_registry.h"
#include "platform/text/locale.h"
#include "platform/text/ui_language.h"
#include "platform/values/com_error.h"

namespace tabulo::localization {
namespace {

using platform::Locale;
using platform::Variant;

// A resource store that answers from a map, or raises while told to.
class FakeStore : public platform::Dispatch {
 public:
  std::string ClassName() const override { return "FakeStore"; }
  platform::DispId GetIdOfName(std::string_view name) const override {
    if (name == "GetModuleString") return 7;
    throw platform::ComError::NotSupported();
  }
  Variant Invoke(platform::DispId id, platform::InvokeKind, std::vector<Variant>& args) override {
    ++calls;
    last_args = args;
    if (id != 7 || args.size() != 4) throw platform::ComError::WrongArguments();
    if (raise) throw platform::ComError(0x80004005, "store broken");
    if (write_language != 0) args[2] = Variant(write_language);
    auto it = answers.find(args[1].AsLong());
    args[3] = it == answers.end() ? Variant("") : it->second;
    return {};
  }

  std::map<int32_t, Variant> answers;
  bool raise = false;
  int32_t write_language = 0;
  int calls = 0;
  std::vector<Variant> last_args;
};

class LocalizedStringTest : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    ResetLocalizationState();
    platform::UnregisterClass(kResourceStoreProgId);
    platform::SetUserInterfaceLanguage(1033);
  }
  // Registers `store_` as the resource store; counts creations.
  void InstallStore() {
    platform::RegisterClass(std::string(kResourceStoreProgId), [this] {
      ++creations_;
      return std::static_pointer_cast<platform::Dispatch>(store_);
    });
  }
  std::string Lookup(int32_t id, std::vector<Variant> values = {},
                     const Locale& locale = Locale::EnUS()) {
    return GetLocalizedString("Tabulo", id, g_Language, values, locale);
  }

  std::shared_ptr<FakeStore> store_ = std::make_shared<FakeStore>();
  int creations_ = 0;
};

// German and French texts over another control language are in the languages acceptance
// script; a language the table does not carry reads English, whatever the control's.
TEST_F(LocalizedStringTest, TableFollowsTheUserInterfaceLanguageNotTheControls) {
  g_Language = 1036;
  platform::SetUserInterfaceLanguage(1043);
  EXPECT_EQ(Lookup(1093), "Error");
  EXPECT_EQ(g_Language, 1036);
}

TEST_F(LocalizedStringTest, UnknownIdsReadNotFound) {
  EXPECT_EQ(Lookup(1210), "1210 Not Found");
  EXPECT_EQ(GetDialogString("Tabulo", 1201, Locale::EnUS()), "1201 Not Found");
}

TEST_F(LocalizedStringTest, BlankOrEmptyStoreAnswersDoNotFallBackToTheTable) {
  store_->answers[1004] = Variant(" Cancel ");
  store_->answers[1005] = Variant("\t");
  InstallStore();
  EXPECT_EQ(Lookup(1004), " Cancel ");  // blanks around a text stay
  EXPECT_EQ(Lookup(1005), "\t");        // only blanks count as empty, not tabs
}

TEST_F(LocalizedStringTest, StoreErrorsFallBackAndTheStoreIsAskedAgain) {
  store_->answers[1093] = Variant("Store error text");
  store_->raise = true;
  InstallStore();
  EXPECT_EQ(Lookup(1093), "Error");
  store_->raise = false;
  EXPECT_EQ(Lookup(1093), "Store error text");
  EXPECT_EQ(store_->calls, 2);
  EXPECT_EQ(creations_, 1);
}

TEST_F(LocalizedStringTest, FailedCreationIsNeverRetried) {
  EXPECT_EQ(Lookup(1093), "Error");  // nobody registered the store: 429, swallowed
  EXPECT_TRUE(g_ResourceStoreTried);
  InstallStore();
  store_->answers[1093] = Variant("late");
  EXPECT_EQ(Lookup(1093), "Error");
  EXPECT_EQ(creations_, 0);
}

TEST_F(LocalizedStringTest, LanguageIsPassedByReference) {
  store_->write_language = 1036;
  store_->answers[1093] = Variant("Erreur");
  InstallStore();
  g_Language = 1031;
  EXPECT_EQ(Lookup(1093), "Erreur");
  EXPECT_EQ(g_Language, 1036);
  // Dialogs pass a language of their own (0), so nothing reaches g_Language.
  g_Language = 1031;
  EXPECT_EQ(GetDialogString("Tabulo", 1093, Locale::EnUS()), "Erreur");
  EXPECT_EQ(store_->last_args[2], Variant(int32_t{0}));
  EXPECT_EQ(g_Language, 1031);
}

TEST_F(LocalizedStringTest, ValuesAreInsertedAsTextInTheGivenLocaleAndEscapesConverted) {
  store_->answers[1300] = Variant("a\\nb");
  store_->answers[1301] = Variant("Wert %s1, Summe %s");
  store_->answers[1302] = Variant("%s2 / %s1");
  store_->answers[1303] = Variant("Tables in %s:\\t%s1");
  store_->answers[1304] = Variant(1.5);  // not a text: converted
  InstallStore();
  // Escapes are converted only when formatting; dialog strings lose their markers.
  EXPECT_EQ(Lookup(1300), "a\\nb");
  EXPECT_EQ(Lookup(1300, {Variant("unused")}), "a\r\nb");
  EXPECT_EQ(GetDialogString("Tabulo", 1303, Locale::EnUS()), "Tables in :\t1");
  EXPECT_EQ(Lookup(1301, {Variant(2.5), Variant(int32_t{1234})}, Locale::DeDE()),
            "Wert 2,5, Summe 2,5");
  EXPECT_EQ(Lookup(1302, {Variant("x"), Variant("y")}), "y / x");
  EXPECT_EQ(GetLocalizedString("Tabulo", 1304, g_Language, {}, Locale::FrFR()), "1,5");
}

TEST_F(LocalizedStringTest, TableTextsTakeValuesAndAnUnconvertibleValueEmptiesTheResult) {
  EXPECT_EQ(Lookup(1128, {Variant("Login failed.")}),
            "DSN Property could not be set. Login failed. ");
  EXPECT_EQ(Lookup(1128, {Variant("ok"), Variant::Null()}), "");
  EXPECT_EQ(Lookup(1128, {Variant::Null()}), "");
}

}  // namespace
}  // namespace tabulo::localization
