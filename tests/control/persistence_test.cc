// The control's save and load handlers: keys, order, defaults, the three layouts of the
// column list, and what loading does with values it cannot take.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <sstream>

#include "control/hosted_control.h"
#include "control/persisted_properties.h"
#include "platform/storage/property_bag.h"
#include "platform/storage/property_bag_format.h"

namespace tabulo::control {
namespace {

using platform::PropertyBag;
using platform::Variant;

class PersistenceTest : public testing::HostedControlTest {
 protected:
  // A bare control loaded from `bag`; in run mode inside the host after it declared run mode,
  // so that the load queries.
  // `before` sets values ahead of the load, to see which ones the load leaves alone.
  TabuloCtl& LoadedControl(const PropertyBag& bag, bool run_mode = false,
                           const std::function<void(TabuloCtl&)>& before = nullptr) {
    container_.SetAmbientUserMode(run_mode);
    TabuloCtl& ctl = BareControl();
    if (before) before(ctl);
    if (run_mode) {
      ctl.SetControlSite(1, std::make_shared<testing::TestSite>(), 1033, 1033, 0, "");
      ctl.UserModeSet();
    }
    ctl.ReadProperties(bag);
    return ctl;
  }

  // A bag from hand-written text in the container's format (version 2 ends with "End").
  static PropertyBag HandWritten(const std::string& entries) {
    return platform::ParsePropertyBag("TabuloPropertyBag 2\n" + entries + "End\n", "form.tab",
                                      nullptr);
  }
};

// The keys of a bag, from words.
std::vector<std::string> Keys(const std::string& words) {
  std::istringstream in(words);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// The saving defaults are the loading defaults (below), so a new control holds those values.
TEST_F(PersistenceTest, NewControlStoresOnlyWhatDiffersFromTheSavingDefaults) {
  TabuloCtl& ctl = NewControl();
  PropertyBag bag;
  ctl.WriteProperties(bag);
  // The font is a copy of the ambient one, never the same object, so it is always stored.
  EXPECT_EQ(bag.Keys(),
            Keys("Version RecordSource ConfirmUpdates Font GridColCount GridOrdinalColWidth"));
  EXPECT_EQ(bag.ReadProperty("Version"), Variant("7.6.1.0"));
  EXPECT_EQ(bag.ReadProperty("RecordSource"), Variant(""));
  EXPECT_EQ(bag.ReadProperty("ConfirmUpdates"), Variant(false));
  EXPECT_EQ(bag.ReadProperty("GridColCount"), Variant(int16_t{0}));
  EXPECT_EQ(bag.ReadProperty("GridOrdinalColWidth").type(), platform::VarType::Integer);
}

TEST_F(PersistenceTest, SavesEveryKeyInTableOrderWithItsType) {
  TabuloCtl& ctl = NewControl();
  testing::SetEveryPersistedProperty(ctl);
  PropertyBag bag;
  ctl.WriteProperties(bag);
  std::vector<std::string> expected = Keys(
      "Version Enabled RecordSource AllowUpdates DSNname Database User Password Mode "
      "ConfirmUpdates RefreshInterval AutoRefresh BackColor ForeColor Font BackStyle LargeChange "
      "SmallChange ShowStatusBar DBDateFormatString AllowAccessToHiddenColumnsInScript "
      "ClusterName LogEvent LoggingClusterName LogEventType ESignatureRequired ESignaturePrompt "
      "ESignatureReasonCodeRequired ESignatureAllowUserEnteredReasonCode "
      "ESignatureReasonCategory ESignatureDualSignatureRequired ESignature1CommandLevel "
      "ESignature2CommandLevel GridColCount");
  for (int i = 0; i < 3; ++i)
    for (const char* field : {"Name", "Visible", "Caption", "Width", "Unique"})
      expected.push_back("Column" + std::to_string(i) + field);
  for (const char* key : {"GridOrdinalColWidth", "ServerType", "DataTable"})
    expected.push_back(key);
  EXPECT_EQ(bag.Keys(), expected);

  // clang-format off
  const std::pair<const char*, Variant> kValues[] = {
      {"Enabled", false}, {"Mode", int32_t{-7}}, {"RefreshInterval", 0.1},
      {"BackColor", int32_t{0x00FF00}}, {"BackStyle", int16_t{1}}, {"LargeChange", int32_t{45}},
      {"SmallChange", int32_t{4}}, {"GridColCount", int16_t{3}}, {"Column1Name", "Customer"},
      {"Column1Visible", false}, {"Column2Width", int16_t{12}}, {"Column0Unique", true},
      {"GridOrdinalColWidth", int16_t{6}}, {"ServerType", int16_t{1}}, {"DataTable", "  Orders"}};
  // clang-format on
  for (const auto& [key, value] : kValues) {
    EXPECT_EQ(bag.ReadProperty(key), value) << key;
    EXPECT_EQ(bag.ReadProperty(key).type(), value.type()) << key;
  }
  auto font = std::dynamic_pointer_cast<platform::StdFont>(bag.ReadProperty("Font").AsObject());
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->name(), "Courier New");

  // Every value coming back through the file is the control file tests'; here the loaded
  // control starts its timer through the AutoRefresh setter and shows its column list: Order
  // and Quantity, the customer hidden.
  TabuloCtl& loaded = LoadedControl(bag);
  EXPECT_TRUE(loaded.Timer1.enabled());
  EXPECT_EQ(RowText(loaded, 0), (std::vector<std::string>{"", "Order", "Quantity \xE2\x82\xAC"}));

  // Saving takes the widths the grid shows now: grid column 2 shows data column 2 (column 1 is
  // hidden), widened by the operator.
  ctl.Grid.SetColWidth(2, 20 * 120);
  ctl.Grid.SetColWidth(0, 3 * 120);
  bag = PropertyBag();
  ctl.WriteProperties(bag);
  EXPECT_EQ(bag.ReadProperty("Column2Width"), Variant(int16_t{20}));
  EXPECT_EQ(bag.ReadProperty("Column1Width"), Variant(int16_t{33}));  // hidden: kept
  EXPECT_EQ(bag.ReadProperty("GridOrdinalColWidth"), Variant(int16_t{3}));
}

TEST_F(PersistenceTest, AnEmptyBagGivesTheLoadingDefaults) {
  TabuloCtl& ctl = LoadedControl(PropertyBag());
  // No key of any layout: the oldest layout, whose hidden columns are accessible. The
  // confirmation default differs from the saving default of a new control's member.
  // clang-format off
  const std::pair<const char*, Variant> kDefaults[] = {
      {"Enabled", true}, {"RecordSource", ""}, {"ConfirmUpdates", true}, {"BackColor", kWhite},
      {"LargeChange", int32_t{20}}, {"SmallChange", int32_t{1}},
      {"LoggingClusterName", "From Same Coordinator"}, {"LogEventType", "dbUpdate"},
      {"ESignature1CommandLevel", int32_t{-1}}, {"ESignature2CommandLevel", int32_t{-1}},
      {"AllowAccessToHiddenColumnsInScript", true}};
  // clang-format on
  for (const auto& [name, value] : kDefaults) EXPECT_EQ(ctl.Get(name), value) << name;
  EXPECT_EQ(ctl.Font(), container_.AmbientFont());  // the ambient font itself
  EXPECT_EQ(ctl.Columns(), std::vector<GridColumn>(1));
  EXPECT_EQ(MessageCount(), 0u);
}

// The column list as stored: the current layout ("GridColCount") or one of two older ones, the
// widths as stored ("m_nColCount") or hundredths of them ("ColCount") up to the first width
// below one hundred (a width of 0 or below does not stop the division). Only the oldest
// layout lets scripts reach hidden columns, unless the stored marker says otherwise. Missing
// keys take the column defaults, stray and zero-padded keys are ignored, a count that fits no
// layout keeps the stored columns, and errors about unique flags are not shown.
TEST_F(PersistenceTest, ColumnListOfEachLayout) {
  struct Case {
    std::string entries;
    std::string columns;
    bool hidden_access;
    std::string messages = "";
  };
  const std::string two =
      "Column0Name = String \"A\"\nColumn0Width = Integer 5\n"
      "Column1Name = String \"B\"\nColumn1Width = Integer 6\n"
      "Column007Name = String \"zeros\"\n";
  const std::string mismatch = "Tabulo|Tabulo: 13\r\nType mismatch (form.tab, key ";
  const std::string overflow = "Tabulo|Tabulo: 6\r\nOverflow (form.tab, key ";
  // clang-format off
  const Case kCases[] = {
      {"m_nColCount = Integer 3\nColumn0Name = String \"A\"\nColumn0Width = Integer 1500\n"
       "Column1Name = String \"B\"\nColumn1Width = Integer 9\nColumn1Visible = Boolean False\n"
       "Column2Name = String \"C\"\nColumn2Width = Integer 250\n",
       "A/Column0/1500 -B/Column1/9 C/Column2/250", false},
      {"ColCount = Integer 4\nColumn0Width = Integer 1500\nColumn1Width = Integer 900\n"
       "Column2Width = Integer 1250\nColumn3Width = Long 1350\n",  // 12.5 and 13.5: halves to even
       "Column0/Column0/15 Column1/Column1/9 Column2/Column2/12 Column3/Column3/14", true},
      {"ColCount = Integer 3\nColumn0Width = Integer 1500\nColumn1Width = Integer 50\n"
       "Column2Width = Integer 900\n", "Column0/Column0/15 Column1/Column1/50 Column2/Column2/900",
       true},
      {"ColCount = Integer 2\nColumn0Width = Integer 0\nColumn1Width = Integer 800\n",
       "Column0/Column0/0 Column1/Column1/8", true},
      {"GridColCount = Integer 3\nColumn0Name = String \"A\"\nColumn0Visible = Boolean False\n"
       "Column0Caption = String \"Alpha\"\nColumn0Width = Integer 4\nColumn0Unique = Boolean True\n"
       "Column2Name = String \"C\"\n", "-A/Alpha/4* Column1/Column1/10 C/Column2/10", false},
      {"GridColCount = Integer 4\nColumn2147483647Name = String \"far\"\n"
       "Column007Name = String \"zeros\"\nColumn1Name = String \"B\"\n",
       "Column0/Column0/10 B/Column1/10 Column2/Column2/10 Column3/Column3/10", false},
      {"GridColCount = Integer -5\n" + two, "A/Column0/5 B/Column1/6", false,
       "Tabulo|Tabulo: 380\r\nInvalid property value: -5 columns (form.tab, key \"GridColCount\")"},
      {"GridColCount = String \"many\"\n" + two, "A/Column0/5 B/Column1/6", false,
       mismatch + "\"GridColCount\")"},
      {"m_nColCount = String \"x\"\nColCount = Integer 1\n" + two, "A/Column0/5 B/Column1/6", false,
       mismatch + "\"m_nColCount\")"},
      {"m_nColCount = Integer -2\n" + two, "A/Column0/5 B/Column1/6", false,
       "Tabulo|Tabulo: 380\r\nInvalid property value: -2 columns (form.tab, key \"m_nColCount\")"},
      // A field that cannot be converted stays as the emptied entry has it: no name, hidden,
      // width 0, not unique; 16-bit widths end at 32767 and -32768.
      {"GridColCount = Integer 2\nColumn0Name = String \"A\"\nColumn0Unique = String \"perhaps\"\n"
       "Column1Name = String \"B\"\nColumn1Width = String \"wide\"\n",
       "A/Column0/10 B/Column1/0", false, mismatch + "\"Column1Width\")"},
      {"GridColCount = Integer 4\nColumn0Width = Long 32767\nColumn1Width = Long 32768\n"
       "Column2Width = Long -32768\nColumn3Width = Long -32769\n",
       "Column0/Column0/32767 Column1/Column1/0 Column2/Column2/-32768 Column3/Column3/0", false,
       overflow + "\"Column1Width\")" + overflow + "\"Column3Width\")"},
      {"GridColCount = Integer 2\nColumn0Name = Null\nColumn0Visible = String \"maybe\"\n"
       "Column0Caption = String \"C\"\nColumn1Caption = Null\nColumn1Unique = Boolean True\n",
       "-/C/10 Column1//10*", false,
       "Tabulo|Tabulo: 94\r\nInvalid use of Null (form.tab, key \"Column0Name\")" + mismatch +
           "\"Column0Visible\")Tabulo|Tabulo: 94\r\nInvalid use of Null (form.tab, key "
           "\"Column1Caption\")"},
      // Hundredths: 3276700 is 32767, 3276800 overflows (and width 0 is no reason to stop).
      {"ColCount = Integer 3\nColumn0Width = Long 3276800\nColumn1Width = Long 3276700\n"
       "Column2Width = Long 900\n", "Column0/Column0/0 Column1/Column1/32767 Column2/Column2/9",
       true, overflow + "\"Column0Width\")"},
      // The stored marker wins over the layout; a marker that cannot be read counts as missing.
      {"AllowAccessToHiddenColumnsInScript = Boolean True\nGridColCount = Integer 0\n", "", true},
      {"AllowAccessToHiddenColumnsInScript = Boolean False\nColCount = Integer 1\n",
       "Column0/Column0/10", false},
      {"AllowAccessToHiddenColumnsInScript = Double -12345\nGridColCount = Integer 0\n", "",
       false}};
  // clang-format on
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.entries);
    const size_t before = MessageCount();
    TabuloCtl& ctl = LoadedControl(HandWritten(c.entries));
    EXPECT_EQ(testing::ColumnList(ctl), c.columns);
    EXPECT_EQ(ctl.Columns().size(), static_cast<size_t>(ctl.ColumnCount()) + 1);
    EXPECT_EQ(ctl.Columns().back(), GridColumn{});
    EXPECT_EQ(ctl.AllowAccessToHiddenColumnsInScript, c.hidden_access);
    std::string messages;
    for (const std::string& text : MessagesSince(before)) messages += text;
    EXPECT_EQ(messages, c.messages);
  }
}

// Loading puts these straight into the control: the scroll steps without the check of one
// against the other, the table's name without a notification; the date format goes through
// its setter, which trims.
TEST_F(PersistenceTest, SomeValuesGoStraightIntoTheControl) {
  for (const auto& [large, small] : {std::pair{3, 9}, std::pair{0, 0}}) {
    TabuloCtl& ctl =
        LoadedControl(HandWritten("LargeChange = Long " + std::to_string(large) +
                                  "\nSmallChange = Long " + std::to_string(small) + "\n"));
    EXPECT_EQ(std::pair(ctl.LargeChange(), ctl.SmallChange()), std::pair(large, small));
  }
  EXPECT_EQ(MessageCount(), 0u);
  TabuloCtl& ctl =
      LoadedControl(HandWritten("DataTable = String \"  Orders \"\nServerType = Integer 1\n"
                                "DBDateFormatString = String \"  yyyy \"\n"));
  EXPECT_EQ(std::tuple(ctl.DataTable(), ctl.ServerType(), ctl.DBDateFormatString()),
            std::tuple("  Orders ", 1, "yyyy"));
  EXPECT_EQ(std::pair(NotesOf("DataTable"), NotesOf("RecordSource")), std::pair(0ul, 3ul));
}

// A stored value that cannot be converted is shown and its step of loading is left: the
// property keeps the value it had before the load (never the loading default); a value that
// converts is taken, up to the limits of its type.
TEST_F(PersistenceTest, ValueThatCannotBeConvertedLeavesThePropertyAsItWas) {
  struct Case {
    const char* key;
    Variant before;
    std::string stored;
    Variant after;
    std::string message;  // "number description", or empty
  };
  // clang-format off
  const Case kCases[] = {
      {"ConfirmUpdates", false, "String \"maybe\"", false, "13 Type mismatch"},
      {"ConfirmUpdates", false, "String \"True\"", true, ""},
      {"Enabled", false, "Double 1.5", true, ""},
      {"Mode", int32_t{3}, "String \"three\"", int32_t{3}, "13 Type mismatch"},
      {"Mode", int32_t{3}, "Double 2147483647", int32_t{2147483647}, ""},
      {"Mode", int32_t{3}, "Double 2147483648", int32_t{3}, "6 Overflow"},
      {"Mode", int32_t{3}, "Double -2147483648", int32_t{-2147483647 - 1}, ""},
      {"Mode", int32_t{3}, "Double -2147483649", int32_t{3}, "6 Overflow"},
      {"ESignature1CommandLevel", int32_t{5}, "String \"2\"", int32_t{2}, ""},
      {"RefreshInterval", 2.5, "String \"soon\"", 2.5, "13 Type mismatch"},
      {"BackColor", int32_t{255}, "String \"red\"", int32_t{255}, "13 Type mismatch"},
      {"User", "op", "Null", "op", "94 Invalid use of Null"},
      {"BackStyle", int16_t{1}, "Long 70000", int16_t{1}, "6 Overflow"},
      {"ServerType", int16_t{1}, "Long 32767", int16_t{32767}, ""},
      {"ServerType", int16_t{1}, "Long 32768", int16_t{1}, "6 Overflow"},
      {"ServerType", int16_t{1}, "Long -32768", int16_t{-32768}, ""},
      {"ServerType", int16_t{1}, "Long -32769", int16_t{1}, "6 Overflow"},
      {"DataTable", "Orders", "Null", "Orders", "94 Invalid use of Null"}};
  // clang-format on
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.key) + " = " + c.stored);
    const size_t before = MessageCount();
    TabuloCtl& ctl = LoadedControl(HandWritten(std::string(c.key) + " = " + c.stored + "\n"), false,
                                   [&](TabuloCtl& fresh) { fresh.Put(c.key, c.before); });
    EXPECT_EQ(ctl.Get(c.key), c.after);
    std::vector<std::string> expected;
    if (!c.message.empty()) {
      const size_t blank = c.message.find(' ');
      expected.push_back("Tabulo|Tabulo: " + c.message.substr(0, blank) + "\r\n" +
                         c.message.substr(blank + 1) + " (form.tab, key \"" + c.key + "\")");
    }
    EXPECT_EQ(MessagesSince(before), expected);
  }
  // A font that is no font object: the font set before stays, as do the keys after it.
  auto courier = platform::StdFont::Create();
  courier->SetName("Courier New");
  const size_t before = MessageCount();
  TabuloCtl& ctl = LoadedControl(
      HandWritten("Font = String \"Arial\"\nConfirmUpdates = Boolean False\n"), false,
      [&](TabuloCtl& fresh) {
        fresh.PutRef("Font", Variant(std::static_pointer_cast<platform::Dispatch>(courier)));
      });
  EXPECT_EQ(
      MessagesSince(before),
      std::vector<std::string>{"Tabulo|Tabulo: 13\r\nType mismatch (form.tab, key \"Font\")"});
  EXPECT_EQ(ctl.Font()->name(), "Courier New");
  EXPECT_FALSE(ctl.ConfirmUpdates());
  // A control just created has none to keep: it takes the container's.
  EXPECT_EQ(LoadedControl(HandWritten("Font = String \"Arial\"\n")).Font(),
            container_.AmbientFont());
  EXPECT_EQ(LastBox(), "Tabulo|" + std::to_string(platform::kMbInformation) +
                           "|Tabulo: 13\r\nType mismatch (form.tab, key \"Font\")");
}

TEST_F(PersistenceTest, FailingSettersAreShownAndLoadingGoesOn) {
  container_.FailPropertyChanged(platform::ComError(70, "Permission denied"));
  TabuloCtl& ctl = LoadedControl(
      HandWritten("Mode = Long 4\nUser = String \"op\"\nClusterName = String \"North\"\n"));
  std::vector<std::string> texts = MessagesSince(0);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts[0], "Tabulo|Tabulo: 70\r\nPermission denied (form.tab, key \"Enabled\")");
  EXPECT_NE(std::find(texts.begin(), texts.end(),
                      "Tabulo|Tabulo: 70\r\nPermission denied (form.tab, key \"Mode\")"),
            texts.end());
  // Each setter stored its value before the notification failed; later keys still load.
  EXPECT_EQ(std::tuple(ctl.Mode(), ctl.User(), ctl.ClusterName()), std::tuple(4, "op", "North"));
}

TEST_F(PersistenceTest, LoadingInRunModeBuildsTheColumnsFromTheResult) {
  InstallDefaultHost();
  std::filesystem::path db = OrdersDb(30);
  PropertyBag bag = HandWritten(
      "RecordSource = String \"SELECT Id, Customer FROM Orders\"\nGridColCount = Integer 2\n"
      "Column0Name = String \"Customer\"\nColumn0Caption = String \"Client\"\n"
      "Column0Width = Integer 21\nColumn1Name = String \"Gone\"\n");
  bag.Store("DSNname", Variant(db.string()));
  TabuloCtl& ctl = LoadedControl(bag, /*run_mode=*/true);
  EXPECT_EQ(MessageCount(), 0u);
  ASSERT_NE(ctl.CurrentRecordSet(), nullptr);
  // The fields decide the list; a stored descriptor of the same name is kept.
  EXPECT_EQ(testing::ColumnList(ctl), "Id/Id/8 Customer/Client/21");
  EXPECT_EQ(ctl.Grid.TextMatrix(0, 2), "Client");
}

}  // namespace
}  // namespace tabulo::control
