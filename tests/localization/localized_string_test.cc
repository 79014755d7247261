// Localized texts: the built-in string table, the formatting of markers and escapes, the
// lookup (resource store first, then the table; failures never escape) and the data source
// page's apply click when it is left.
#include "localization/localized_string.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "common/error_of.h"
#include "localization/case_fold.h"
#include "localization/format.h"
#include "localization/page_switch.h"
#include "localization/string_table.h"
#include "platform/automation/class_registry.h"
#include "platform/runtime/clock.h"
#include "platform/runtime/event_loop.h"
#include "platform/text/locale.h"
#include "platform/text/ui_language.h"
#include "platform/values/com_error.h"

namespace tabulo::localization {
using test_support::ErrorOf;
namespace {

using platform::Locale;
using platform::Variant;

TEST(StringTable, HoldsTheSixtyIdsInThreeLanguages) {
  const std::set<int32_t> expected = {
      1004, 1005, 1009, 1013, 1019, 1030, 1034, 1036, 1048, 1059, 1060, 1072, 1076, 1079, 1080,
      1081, 1082, 1085, 1088, 1092, 1093, 1094, 1096, 1100, 1101, 1102, 1103, 1104, 1128, 1135,
      1136, 1137, 1142, 1143, 1144, 1150, 1151, 1152, 1153, 1154, 1155, 1156, 1157, 1158, 1163,
      1164, 1165, 1166, 1167, 1168, 1169, 1170, 1171, 1172,
      // Refusals of values that are not of the column's type.
      1300, 1301, 1302, 1303, 1304, 1305};
  std::set<int32_t> ids;
  int32_t previous = 0;
  for (const StringTableEntry& e : BuiltInStrings()) {
    EXPECT_GT(e.id, previous) << "table must be sorted for the binary search";
    previous = e.id;
    ids.insert(e.id);
    EXPECT_FALSE(e.german.empty()) << e.id;
    EXPECT_FALSE(e.english.empty()) << e.id;
    EXPECT_FALSE(e.french.empty()) << e.id;
  }
  EXPECT_EQ(ids, expected);
}

// German texts are read exactly by the listing's test and the languages acceptance script.
TEST(StringTable, ReadsEachLanguageExactlyAndEnglishForOthers) {
  const struct {
    int32_t id, language;
    const char* text;
  } rows[] = {// clang-format off
      {1004, 1031, "Abbrechen"}, {1004, 1033, "Cancel"}, {1004, 1036, "Annuler"},
      {1004, 1040, "Cancel"},  // Italian is not carried
      {1004, 0, "Cancel"}, {1172, 1033, "Display Status Bar"},  // the last entry
      {1048, 1036, "Etes-vous s\xC3\xBBr de vouloir mettre \xC3\xA0 jour vos enregistrements de "
                   "base de donn\xC3\xA9" "es ?"},
      {1142, 1036, "\xC3\x89num\xC3\xA9rez les Tableaux"}};
  // clang-format on
  for (const auto& r : rows) EXPECT_EQ(BuiltInString(r.id, r.language), r.text) << r.id;
  for (int32_t id : {0, -1, 1003, 1006, 1173, 1175, 1201, 1210, 1221}) {
    EXPECT_TRUE(BuiltInString(id, 1033).empty()) << id;
  }
  EXPECT_EQ(TableLanguage(2055), 1033);  // Swiss German is another language
}

TEST(StringTable, QueryBuilderHelpKeepsItsWording) {
  const std::string fr(BuiltInString(1166, 1036));
  EXPECT_NE(fr.find("Vous pouvez utiliser  les boutons 'haut/bas'"), std::string::npos);
  EXPECT_EQ(fr.find("   "), std::string::npos);
  const std::string de(BuiltInString(1166, 1031));
  EXPECT_NE(de.find("Sie k\xC3\xB6nnen die 'Auf' und 'Ab' - Tasten verwenden"), std::string::npos);
  const std::string en(BuiltInString(1166, 1033));
  EXPECT_EQ(en.find("  "), std::string::npos);
}

TEST(StringTable, ListsEveryIdOnePerLine) {
  const std::string listing = ListStringTable();
  EXPECT_TRUE(listing.starts_with("Id\t1031\t1033\t1036\n"));
  EXPECT_NE(listing.find("\n1102\tPa\xC3\x9Fwort:\tPassword:\tMot de passe:\n"), std::string::npos);
  EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 61);
  EXPECT_EQ(listing.back(), '\n');
}

using Texts = std::vector<std::string>;

TEST(FormatLocalizedText, MarkersEscapesAndValues) {
  Texts twelve(12);
  for (int i = 0; i < 12; ++i) twelve[i] = std::string("v").append(std::to_string(i + 1));
  const struct {
    const char* text;
    Texts values;
    const char* want;
  } rows[] = {
      // clang-format off
      // Numbered markers take their value wherever they stand; "%S" is a marker too.
      {"b=%s2 a=%s1", {"x", "y"}, "b=y a=x"}, {"%S1 and %s2", {"x", "y"}, "x and y"},
      {"[%S][%s]", {"a", "b"}, "[a][b]"},
      // Missing values remove their markers.
      {"DSN Property could not be set. %s %s", {"boom"}, "DSN Property could not be set. boom "},
      {"a%sb%sc", {}, "abc"},
      // Step 1 fills the first "%s1"; the second "%s" is the first sequential marker, so it
      // gets value 1 again and the digit stays behind it.
      {"%s1-%s1", {"v"}, "v-v1"},
      // The first occurrence of "%s1" is the front of "%s12": it takes value 1 and leaves "2".
      {"%s12|%s1", twelve, "v12|v11"},
      // Escapes become control characters.
      {"a\\nb\\Nc\\td\\Te", {}, "a\r\nb\r\nc\td\te"}, {"back\\\\nslash", {}, "back\\\r\nslash"},
      // Values of numbered markers are formatted further; sequential values are not unescaped
      // but their markers are filled.
      {"%s1", {"l1\\nl2\\t%s"}, "l1\r\nl2\tl1\\nl2\\t"}, {"<%s>", {"a\\n%s", "b"}, "<a\\nb>"},
      {"<%s>", {"%s%s"}, "<>"},
      {"M\xC3\xB6" "chten %s?", {"\xC3\xA9t\xC3\xA9"}, "M\xC3\xB6" "chten \xC3\xA9t\xC3\xA9?"}};
  // clang-format on
  for (const auto& r : rows) EXPECT_EQ(FormatLocalizedText(r.text, r.values), r.want) << r.text;
  EXPECT_EQ(FillNumberedMarkers("%s12|%s1", twelve), "v12|%s1");
  EXPECT_EQ(FillNumberedMarkers("%s12|%s1", {"a"}), "a2|%s1");
  // A "%" ahead of a marker pairs with an "s" behind it once the marker is gone.
  EXPECT_EQ(FillSequentialMarkers("%%ss", {}), "");
  EXPECT_EQ(FillSequentialMarkers("%%ss", {"x"}), "%xs");
}

TEST(ReplaceAllText, SearchesFromTheStartAgainIgnoringCaseAndRefusesEndlessGrowth) {
  // A single left-to-right pass would leave "aab"; matches across the edge count.
  EXPECT_EQ(ReplaceAllText("aabb", "ab", "a"), "aa");
  EXPECT_EQ(ReplaceAllText("xxABxab", "ab", "-"), "xx-x-");
  EXPECT_EQ(ReplaceAllText("\xC3\xA9t\xC3\xA9", "\xC3\x89", "e"), "ete");
  EXPECT_EQ(ReplaceAllText("abc", "", "x"), "abc");
  // A replacement holding the searched text never ends.
  EXPECT_EQ(ErrorOf([] { ReplaceAllText("a", "a", "bA"); }), platform::kErrInvalidProcedureCall);
  // Each "a" moves right past every "b", multiplying them: finite, but exponential.
  const std::string with = std::string(64 * 1024, 'b') + "a";
  EXPECT_EQ(ErrorOf([&] { ReplaceAllText("aaaab", "ab", with); }), platform::kErrOutOfMemory);
}

TEST(FoldCase, KeepsLengthAndFoldsLatinLetters) {
  EXPECT_EQ(FoldCase("abz\xC3\xA4\xC3\xBE\xC3\xB7\xC3\x9F"), "ABZ\xC3\x84\xC3\x9E\xC3\xB7\xC3\x9F");
  EXPECT_EQ(FoldCase("a\xC3"), "A\xC3");  // a lead byte at the very end
}

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
    return GetLocalizedString(state_, "Tabulo", id, state_.language, values, locale);
  }

  LocalizationState state_;
  std::shared_ptr<FakeStore> store_ = std::make_shared<FakeStore>();
  int creations_ = 0;
};

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
  EXPECT_TRUE(state_.resource_store_tried);
  InstallStore();
  store_->answers[1093] = Variant("late");
  EXPECT_EQ(Lookup(1093), "Error");
  EXPECT_EQ(creations_, 0);
}

TEST_F(LocalizedStringTest, LanguageIsPassedByReference) {
  store_->write_language = 1036;
  store_->answers[1093] = Variant("Erreur");
  InstallStore();
  state_.language = 1031;
  EXPECT_EQ(Lookup(1093), "Erreur");
  EXPECT_EQ(state_.language, 1036);
  // Dialogs pass a language of their own (0), so nothing reaches the controls' language.
  state_.language = 1031;
  EXPECT_EQ(GetDialogString(state_, "Tabulo", 1093, Locale::EnUS()), "Erreur");
  EXPECT_EQ(store_->last_args[2], Variant(int32_t{0}));
  EXPECT_EQ(state_.language, 1031);
}

TEST_F(LocalizedStringTest, StoreTextsAreKeptAndTakeValuesInTheGivenLocale) {
  store_->answers[1004] = Variant(" Cancel ");
  store_->answers[1005] = Variant("\t");
  store_->answers[1300] = Variant("a\\nb");
  store_->answers[1301] = Variant("Wert %s1, Summe %s");
  store_->answers[1302] = Variant("%s2 / %s1");
  store_->answers[1303] = Variant("Tables in %s:\\t%s1");
  store_->answers[1304] = Variant(1.5);  // not a text: converted
  InstallStore();
  EXPECT_EQ(Lookup(1004), " Cancel ");  // blanks around a text stay
  EXPECT_EQ(Lookup(1005), "\t");        // only blanks count as empty, not tabs
  // Escapes are converted only when formatting; dialog strings lose their markers.
  EXPECT_EQ(Lookup(1300), "a\\nb");
  EXPECT_EQ(Lookup(1300, {Variant("unused")}), "a\r\nb");
  EXPECT_EQ(GetDialogString(state_, "Tabulo", 1303, Locale::EnUS()), "Tables in :\t1");
  EXPECT_EQ(Lookup(1301, {Variant(2.5), Variant(int32_t{1234})}, Locale::DeDE()),
            "Wert 2,5, Summe 2,5");
  EXPECT_EQ(Lookup(1302, {Variant("x"), Variant("y")}), "y / x");
  EXPECT_EQ(GetLocalizedString(state_, "Tabulo", 1304, state_.language, {}, Locale::FrFR()), "1,5");
}

TEST_F(LocalizedStringTest, AValueThatIsNoTextEmptiesATableText) {
  EXPECT_EQ(Lookup(1128, {Variant("ok"), Variant::Null()}), "");
}

class PageSwitchTest : public ::testing::Test {
 protected:
  platform::WindowHandle MakeButton(std::vector<uint32_t>& received) {
    return loop_.CreateWindowHandle(
        [&received](uint32_t msg, int64_t, int64_t) { received.push_back(msg); });
  }

  platform::VirtualClock clock_;
  platform::EventLoop loop_{clock_};
  LocalizationState state_;
};

using Messages = std::vector<uint32_t>;

TEST_F(PageSwitchTest, LeavingADataSourcePageClicksItsApplyButtonOnceBeforeTheCallReturns) {
  Messages first_clicks, second_clicks;
  const platform::WindowHandle first = MakeButton(first_clicks);
  const platform::WindowHandle second = MakeButton(second_clicks);
  int pending_ran = 0;
  loop_.Post([&] { ++pending_ran; });
  ApplyOnPageSwitch(state_, loop_, 0);  // nothing remembered and 0 given: equal
  EXPECT_EQ(pending_ran, 0);
  ApplyOnPageSwitch(state_, loop_, first);  // different: pending messages run, nothing is clicked
  EXPECT_EQ(pending_ran, 1);
  ApplyOnPageSwitch(state_, loop_, first);
  EXPECT_TRUE(first_clicks.empty());
  ApplyOnPageSwitch(state_, loop_,
                    second);  // another data source page: the previous one is applied
  EXPECT_EQ(first_clicks, (Messages{platform::kWmLButtonDown, platform::kWmLButtonUp}));
  EXPECT_TRUE(second_clicks.empty());
  EXPECT_EQ(state_.apply_button, second);
  ApplyOnPageSwitch(state_, loop_,
                    0);  // another page is painted: clicked by the time the call returns
  EXPECT_EQ(second_clicks, (Messages{platform::kWmLButtonDown, platform::kWmLButtonUp}));
  ApplyOnPageSwitch(state_, loop_, 0);  // and painted again: not twice
  EXPECT_EQ(second_clicks.size(), 2u);
  EXPECT_EQ(state_.apply_button, 0);
}

}  // namespace
}  // namespace tabulo::localization
