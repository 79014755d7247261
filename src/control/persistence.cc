// The control's save and load handlers: the container hands them a property bag when it
// saves the form that holds the control and when it opens that form again.
#include <algorithm>
#include <charconv>
#include <functional>

#include "control/tabulo_ctl.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::control {

using platform::ComError;
using platform::PropertyBag;
using platform::Variant;

namespace {

constexpr char kVersion[] = "7.6.1.0";
// The load default of "AllowAccessToHiddenColumnsInScript": tells a missing key from a stored one.
constexpr int32_t kKeyMissing = -12345;
constexpr int16_t kNoGridColCount = -1;
constexpr const char* kColumnFields[] = {"Name", "Visible", "Caption", "Width", "Unique"};

std::string ColumnKey(int32_t i, std::string_view field) {
  return "Column" + std::to_string(i) + std::string(field);
}

// 1 + the highest column index with any of its keys stored (0 when none is).
int64_t StoredColumnCount(const PropertyBag& bag) {
  int64_t count = 0;
  for (const PropertyBag::Entry& e : bag.entries()) {
    std::string_view key = e.name;
    if (key.substr(0, 6) != "Column") continue;
    key.remove_prefix(6);
    int32_t i = 0;
    auto [ptr, ec] = std::from_chars(key.data(), key.data() + key.size(), i);
    if (ec != std::errc() || i < 0) continue;
    std::string_view digits(key.data(), static_cast<size_t>(ptr - key.data()));
    if (digits != std::to_string(i)) continue;  // leading zeros or a sign: not a column key
    std::string_view field(ptr, static_cast<size_t>(key.data() + key.size() - ptr));
    for (const char* f : kColumnFields)
      if (field == f) count = std::max(count, int64_t{i} + 1);
  }
  return count;
}

// Reads values with the classic conversions. A value that cannot be converted is reported
// with the bag's origin and key, and the default is taken in its place.
class BagReader {
 public:
  using Report = std::function<void(const ComError&)>;

  BagReader(const PropertyBag& bag, const platform::Locale& loc, Report report)
      : bag_(bag), loc_(loc), report_(std::move(report)) {}

  std::string String(std::string_view key, const std::string& def) {
    return Read<std::string>(key, Variant(def), [&](const Variant& v) { return CStr(v, loc_); });
  }
  bool Bool(std::string_view key, bool def) {
    return Read<bool>(key, Variant(def), [&](const Variant& v) { return CBool(v, loc_); });
  }
  int16_t Integer(std::string_view key, int16_t def) {
    return Read<int16_t>(key, Variant(def), [&](const Variant& v) { return CInt(v, loc_); });
  }
  int32_t Long(std::string_view key, int32_t def) {
    return Read<int32_t>(key, Variant(def), [&](const Variant& v) { return CLng(v, loc_); });
  }
  double Double(std::string_view key, double def) {
    return Read<double>(key, Variant(def), [&](const Variant& v) { return CDbl(v, loc_); });
  }

  // The error `e` met at `key`, its description naming the bag's file and the key.
  ComError AtKey(const ComError& e, std::string_view key) const {
    std::string where = bag_.origin().empty() ? "" : bag_.origin() + ", ";
    return ComError(e.number(),
                    e.description() + " (" + where + "key \"" + std::string(key) + "\")",
                    e.source());
  }
  // Errors about the Unique flags (older layouts have none) are passed over; the file's
  // name does not count, the key does.
  void Fail(const ComError& e, std::string_view key) {
    if (platform::InStr(1, e.description() + " " + std::string(key), "Unique", true) > 0) return;
    report_(AtKey(e, key));
  }

  const PropertyBag& bag() const { return bag_; }

 private:
  template <typename T, typename Convert>
  T Read(std::string_view key, const Variant& def, Convert convert) {
    try {
      return convert(bag_.ReadProperty(key, def));
    } catch (const ComError& e) {
      Fail(e, key);
      return convert(def);
    }
  }

  const PropertyBag& bag_;
  const platform::Locale& loc_;
  Report report_;
};

ComError BadColumnCount(const std::string& what) {
  return ComError(platform::kErrInvalidPropertyValue, "Invalid property value: " + what);
}

// The column list in one of its three layouts: the current one ("GridColCount"), an older
// one ("m_nColCount") and the oldest ("ColCount", widths stored in hundredths).
struct ColumnList {
  std::vector<GridColumn> columns;  // count + 1 entries, the last the spare one
  int16_t count = 0;
  bool oldest = false;
};

int16_t ReadColumnCount(BagReader& in, const platform::Locale& loc, ColumnList& list,
                        int32_t& divisor) {
  int64_t stored = StoredColumnCount(in.bag());
  // A count that cannot be read or fits no layout: the columns that are stored are kept.
  auto fallback = [&](const std::string& key, const ComError& e) {
    in.Fail(e, key);
    return static_cast<int16_t>(std::min<int64_t>(stored, INT16_MAX));
  };
  int16_t count;
  if (in.bag().Contains("GridColCount")) {
    Variant v = in.bag().ReadProperty("GridColCount");
    try {
      count = platform::CInt(v, loc);
    } catch (const ComError& e) {
      return fallback("GridColCount", e);
    }
    if (count != kNoGridColCount) {
      if (count < 0)
        return fallback("GridColCount", BadColumnCount(std::to_string(count) + " columns"));
      if (count > stored)
        return fallback("GridColCount", BadColumnCount(std::to_string(count) + " columns where " +
                                                       std::to_string(stored) + " are stored"));
      return count;
    }
  }
  count = in.Integer("m_nColCount", 0);
  if (count == 0) {
    count = in.Integer("ColCount", 0);
    divisor = 100;
    list.oldest = true;
  }
  if (count < 0) {
    std::string key = list.oldest ? "ColCount" : "m_nColCount";
    return fallback(key, BadColumnCount(std::to_string(count) + " columns"));
  }
  return count;
}

ColumnList ReadColumns(BagReader& in, const platform::Locale& loc) {
  ColumnList list;
  int32_t divisor = 1;
  list.count = ReadColumnCount(in, loc, list, divisor);
  list.columns.assign(static_cast<size_t>(list.count) + 1, GridColumn{});
  for (int32_t i = 0; i < list.count; ++i) {
    GridColumn& c = list.columns[static_cast<size_t>(i)];
    std::string width_key = ColumnKey(i, "Width");
    double width = in.Double(width_key, 10);
    // Widths below 100 were never hundredths: from the first such column on, none is.
    if (divisor > 1 && width > 0 && width < 100) divisor = 1;
    std::string name = "Column" + std::to_string(i);
    c.Name = in.String(ColumnKey(i, "Name"), name);
    c.Visible = in.Bool(ColumnKey(i, "Visible"), true);
    c.Caption = in.String(ColumnKey(i, "Caption"), name);
    try {
      c.Width = platform::CInt(Variant(width / divisor), loc);
    } catch (const ComError& e) {
      in.Fail(e, width_key);
      c.Width = 10;
    }
    c.Unique = in.Bool(ColumnKey(i, "Unique"), false);
  }
  return list;
}

}  // namespace

void TabuloCtl::WriteProperties(PropertyBag& PropBag) {
  CaptureColumnWidths();
  // A value that cannot be had or written is skipped; the rest is still saved.
  auto write = [&](std::string_view key, const std::function<Variant()>& value,
                   const Variant& def) {
    try {
      PropBag.WriteProperty(key, value(), def);
    } catch (const ComError&) {
    }
  };
  auto font = [](const std::shared_ptr<platform::StdFont>& f) {
    return Variant(std::static_pointer_cast<platform::Dispatch>(f));
  };
  Variant ambient_font;
  try {
    ambient_font = font(site_.AmbientFont());
  } catch (const ComError&) {
  }
  write(
      "Version", [] { return Variant(kVersion); }, Variant(""));
  write(
      "Enabled", [&] { return Variant(Enabled()); }, Variant(true));
  write(
      "RecordSource", [&] { return Variant(RecordSource()); }, Variant(" "));
  write(
      "AllowUpdates", [&] { return Variant(AllowUpdates()); }, Variant(false));
  write(
      "DSNname", [&] { return Variant(DSNname()); }, Variant(""));
  write(
      "Database", [&] { return Variant(Database()); }, Variant(""));
  write(
      "User", [&] { return Variant(User()); }, Variant(""));
  write(
      "Password", [&] { return Variant(Password()); }, Variant(""));
  write(
      "Mode", [&] { return Variant(Mode()); }, Variant(int32_t{0}));
  write(
      "ConfirmUpdates", [&] { return Variant(ConfirmUpdates()); }, Variant(true));
  write(
      "RefreshInterval", [&] { return Variant(RefreshInterval()); }, Variant(0.0));
  write(
      "AutoRefresh", [&] { return Variant(AutoRefresh()); }, Variant(false));
  write(
      "BackColor", [&] { return Variant(BackColor()); }, Variant(kWhite));
  write(
      "ForeColor", [&] { return Variant(ForeColor()); }, Variant(int32_t{0}));
  write(
      "Font", [&] { return font(Font()); }, ambient_font);
  write(
      "BackStyle", [&] { return Variant(BackStyle()); }, Variant(int16_t{0}));
  write(
      "LargeChange", [&] { return Variant(ScrollBar.LargeChange()); }, Variant(int32_t{20}));
  write(
      "SmallChange", [&] { return Variant(ScrollBar.SmallChange()); }, Variant(int32_t{1}));
  write(
      "ShowStatusBar", [&] { return Variant(ShowStatusBar()); }, Variant(true));
  write(
      "DBDateFormatString", [&] { return Variant(DBDateFormatString()); }, Variant(""));
  write(
      "AllowAccessToHiddenColumnsInScript",
      [&] { return Variant(AllowAccessToHiddenColumnsInScript); }, Variant(false));
  write(
      "ClusterName", [&] { return Variant(ClusterName()); }, Variant(""));
  write(
      "LogEvent", [&] { return Variant(LogEvent); }, Variant(false));
  write(
      "LoggingClusterName", [&] { return Variant(LoggingClusterName); },
      Variant(kDefaultLoggingCluster));
  write(
      "LogEventType", [&] { return Variant(LogEventType); }, Variant("dbUpdate"));
  write(
      "ESignatureRequired", [&] { return Variant(ESignatureRequired); }, Variant(false));
  write(
      "ESignaturePrompt", [&] { return Variant(ESignaturePrompt); }, Variant(""));
  write(
      "ESignatureReasonCodeRequired", [&] { return Variant(ESignatureReasonCodeRequired); },
      Variant(false));
  write(
      "ESignatureAllowUserEnteredReasonCode",
      [&] { return Variant(ESignatureAllowUserEnteredReasonCode); }, Variant(false));
  write(
      "ESignatureReasonCategory", [&] { return Variant(ESignatureReasonCategory); }, Variant(""));
  write(
      "ESignatureDualSignatureRequired", [&] { return Variant(ESignatureDualSignatureRequired); },
      Variant(false));
  write(
      "ESignature1CommandLevel", [&] { return Variant(ESignature1CommandLevel); },
      Variant(int32_t{-1}));
  write(
      "ESignature2CommandLevel", [&] { return Variant(ESignature2CommandLevel); },
      Variant(int32_t{-1}));
  // The column list and what follows have no default: they are always stored.
  write(
      "GridColCount", [&] { return Variant(m_nColCount); }, Variant());
  for (int32_t i = 0; i < m_nColCount; ++i) {
    auto column = [this, i]() -> const GridColumn& {
      return m_GridColumns.at(static_cast<size_t>(i));
    };
    try {
      write(
          ColumnKey(i, "Name"), [&] { return Variant(column().Name); }, Variant());
      write(
          ColumnKey(i, "Visible"), [&] { return Variant(column().Visible); }, Variant());
      write(
          ColumnKey(i, "Caption"), [&] { return Variant(column().Caption); }, Variant());
      write(
          ColumnKey(i, "Width"), [&] { return Variant(column().Width); }, Variant());
      write(
          ColumnKey(i, "Unique"), [&] { return Variant(column().Unique); }, Variant());
    } catch (const std::out_of_range&) {
    }
  }
  write(
      "GridOrdinalColWidth", [&] { return Variant(m_nGridOrdinalColWidth); }, Variant());
  write(
      "ServerType", [&] { return Variant(m_nServerType); }, Variant(int16_t{0}));
  write(
      "DataTable", [&] { return Variant(m_DataTable); }, Variant(""));
}

void TabuloCtl::ReadProperties(const PropertyBag& PropBag) {
  const platform::Locale& loc = site_.UserLocale();
  BagReader in(PropBag, loc, [this](const ComError& e) {
    MsgBox("Tabulo: " + std::to_string(e.number()) + "\r\n" + e.description(),
           platform::kMbInformation, "");
  });
  // One step of loading: an error is reported and loading goes on with the next step.
  auto step = [&](std::string_view key, const std::function<void()>& body) {
    try {
      body();
    } catch (const ComError& e) {
      in.Fail(e, key);
    }
  };

  in.String("Version", "Unknown");
  step("Enabled", [&] { SetEnabled(in.Bool("Enabled", true)); });
  step("RecordSource", [&] { SetRecordSource(in.String("RecordSource", "")); });
  step("AllowUpdates", [&] { SetAllowUpdates(in.Bool("AllowUpdates", false)); });
  step("DSNname", [&] { SetDSNname(in.String("DSNname", "")); });
  step("Database", [&] { SetDatabase(in.String("Database", "")); });
  step("User", [&] { SetUser(in.String("User", "")); });
  step("Password", [&] { SetPassword(in.String("Password", "")); });
  step("Mode", [&] { SetMode(in.Long("Mode", 0)); });
  step("ConfirmUpdates", [&] { SetConfirmUpdates(in.Bool("ConfirmUpdates", true)); });
  step("RefreshInterval", [&] { SetRefreshInterval(in.Double("RefreshInterval", 0)); });
  step("AutoRefresh", [&] { SetAutoRefresh(in.Bool("AutoRefresh", false)); });
  step("BackColor", [&] { SetBackColor(in.Long("BackColor", kWhite)); });
  step("ForeColor", [&] { SetForeColor(in.Long("ForeColor", 0)); });
  step("Font", [&] {
    std::shared_ptr<platform::StdFont> ambient = site_.AmbientFont();
    Variant v = PropBag.ReadProperty(
        "Font", Variant(std::static_pointer_cast<platform::Dispatch>(ambient)));
    auto font = v.IsObject() ? std::dynamic_pointer_cast<platform::StdFont>(v.AsObject()) : nullptr;
    if (!font) {
      in.Fail(ComError::TypeMismatch(), "Font");
      font = ambient;
    }
    SetFont(font);
  });
  step("BackStyle", [&] { SetBackStyle(in.Integer("BackStyle", 0)); });
  // Straight into the scroll bar: the control's check of one against the other would refuse
  // a pair whose first half arrives before the second.
  step("LargeChange", [&] { ScrollBar.SetLargeChange(in.Long("LargeChange", 20)); });
  step("SmallChange", [&] { ScrollBar.SetSmallChange(in.Long("SmallChange", 1)); });
  step("ShowStatusBar", [&] { SetShowStatusBar(in.Bool("ShowStatusBar", true)); });
  step("DBDateFormatString", [&] { SetDBDateFormatString(in.String("DBDateFormatString", "")); });

  AllowAccessToHiddenColumnsInScript = false;
  bool hidden_access_stored = false;
  {
    const char* key = "AllowAccessToHiddenColumnsInScript";
    Variant v = PropBag.ReadProperty(key, Variant(kKeyMissing));
    if (!platform::PropertyValuesEqual(v, Variant(kKeyMissing))) {
      hidden_access_stored = true;
      AllowAccessToHiddenColumnsInScript = in.Bool(key, false);
    }
  }

  step("ClusterName", [&] { SetClusterName(in.String("ClusterName", "")); });
  LogEvent = in.Bool("LogEvent", false);
  LoggingClusterName = in.String("LoggingClusterName", kDefaultLoggingCluster);
  LogEventType = in.String("LogEventType", "dbUpdate");
  ESignatureRequired = in.Bool("ESignatureRequired", false);
  ESignaturePrompt = in.String("ESignaturePrompt", "");
  ESignatureReasonCodeRequired = in.Bool("ESignatureReasonCodeRequired", false);
  ESignatureAllowUserEnteredReasonCode = in.Bool("ESignatureAllowUserEnteredReasonCode", false);
  ESignatureReasonCategory = in.String("ESignatureReasonCategory", "");
  ESignatureDualSignatureRequired = in.Bool("ESignatureDualSignatureRequired", false);
  ESignature1CommandLevel = in.Long("ESignature1CommandLevel", -1);
  ESignature2CommandLevel = in.Long("ESignature2CommandLevel", -1);

  ColumnList list = ReadColumns(in, loc);
  m_nColCount = list.count;
  m_GridColumns = std::move(list.columns);
  if (!hidden_access_stored) AllowAccessToHiddenColumnsInScript = list.oldest;

  m_nGridOrdinalColWidth = in.Integer("GridOrdinalColWidth", 0);
  m_nServerType = in.Integer("ServerType", 0);
  m_DataTable = in.String("DataTable", "");
  in.String("DataServer", "");

  step("RunQuery", [&] {
    if (RunQuery() == 0)
      BuildColumns(false);
    else
      SetupGrid(false);
  });
  m_bEditing = false;
}

}  // namespace tabulo::control
