// The control's save and load handlers: the container hands them a property bag when it
// saves the form that holds the control and when it opens that form again.
#include <algorithm>
#include <charconv>
#include <functional>
#include <optional>

#include "control/tabulo_ctl.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::control {

using platform::ComError;
using platform::PropertyBag;
using platform::Variant;

namespace {

// The load default of the layout marker: tells a missing key from a stored one.
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
// with the bag's origin and key and nothing is returned: loading goes on with the next step,
// so what the value was meant for keeps the value it had.
class BagReader {
 public:
  using Report = std::function<void(const ComError&)>;

  BagReader(const PropertyBag& bag, const platform::Locale& loc, Report report)
      : bag_(bag), loc_(loc), report_(std::move(report)) {}

  std::optional<std::string> String(std::string_view key, const std::string& def) {
    return Read<std::string>(key, Variant(def), [&](const Variant& v) { return CStr(v, loc_); });
  }
  std::optional<bool> Bool(std::string_view key, bool def) {
    return Read<bool>(key, Variant(def), [&](const Variant& v) { return CBool(v, loc_); });
  }
  std::optional<int16_t> Integer(std::string_view key, int16_t def) {
    return Read<int16_t>(key, Variant(def), [&](const Variant& v) { return CInt(v, loc_); });
  }
  std::optional<int32_t> Long(std::string_view key, int32_t def) {
    return Read<int32_t>(key, Variant(def), [&](const Variant& v) { return CLng(v, loc_); });
  }
  std::optional<double> Double(std::string_view key, double def) {
    return Read<double>(key, Variant(def), [&](const Variant& v) { return CDbl(v, loc_); });
  }

  // A value converted to the type of a table row's value (AsIs values are taken as stored).
  std::optional<Variant> Value(ValueKind kind, std::string_view key, const Variant& def) {
    auto wrap = [](const auto& v) {
      return v ? std::optional<Variant>(Variant(*v)) : std::nullopt;
    };
    switch (kind) {
      case ValueKind::Boolean:
        return wrap(Bool(key, def.AsBoolean()));
      case ValueKind::Integer:
        return wrap(Integer(key, def.AsInteger()));
      case ValueKind::Long:
        return wrap(Long(key, def.AsLong()));
      case ValueKind::Double:
        return wrap(Double(key, def.AsDouble()));
      case ValueKind::String:
        return wrap(String(key, def.AsString()));
      default:
        return bag_.ReadProperty(key, def);
    }
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
  std::optional<T> Read(std::string_view key, const Variant& def, Convert convert) {
    try {
      return convert(bag_.ReadProperty(key, def));
    } catch (const ComError& e) {
      Fail(e, key);
      return std::nullopt;
    }
  }

  const PropertyBag& bag_;
  const platform::Locale& loc_;
  Report report_;
};

ComError BadColumnCount(const std::string& what) {
  return ComError(platform::kErrInvalidPropertyValue, "Invalid property value: " + what);
}

// The column list in one of its three layouts: the current one, an older one and the oldest
// (widths stored in hundredths), each with its own count key.
struct ColumnList {
  std::vector<GridColumn> columns;  // count + 1 entries, the last the spare one
  int16_t count = 0;
  bool oldest = false;
};

int16_t ReadColumnCount(BagReader& in, const platform::Locale& loc, ColumnList& list,
                        int32_t& divisor) {
  const Saved& saved = PropertyTable::Row(Prop::GridColumns).saved;
  const std::string current = saved.key, older = saved.older_keys[0], oldest = saved.older_keys[1];
  int64_t stored = StoredColumnCount(in.bag());
  // A count that cannot be read or fits no layout: the columns that are stored are kept.
  auto fallback = [&](const std::string& key, const ComError& e) {
    in.Fail(e, key);
    return static_cast<int16_t>(std::min<int64_t>(stored, INT16_MAX));
  };
  int16_t count;
  if (in.bag().Contains(current)) {
    Variant v = in.bag().ReadProperty(current);
    try {
      count = platform::CInt(v, loc);
    } catch (const ComError& e) {
      return fallback(current, e);
    }
    // A count beyond the stored columns is kept: those columns take the defaults.
    if (count != kNoGridColCount) {
      if (count < 0) return fallback(current, BadColumnCount(std::to_string(count) + " columns"));
      return count;
    }
  }
  // A count that cannot be converted has been reported: the stored columns are kept.
  const int16_t kept = static_cast<int16_t>(std::min<int64_t>(stored, INT16_MAX));
  std::optional<int16_t> older_count = in.Integer(older, 0);
  if (!older_count) return kept;
  count = *older_count;
  if (count == 0) {
    std::optional<int16_t> oldest_count = in.Integer(oldest, 0);
    if (!oldest_count) return kept;
    count = *oldest_count;
    divisor = 100;
    list.oldest = true;
  }
  if (count < 0)
    return fallback(list.oldest ? oldest : older,
                    BadColumnCount(std::to_string(count) + " columns"));
  return count;
}

ColumnList ReadColumns(BagReader& in, const platform::Locale& loc) {
  ColumnList list;
  int32_t divisor = 1;
  list.count = ReadColumnCount(in, loc, list, divisor);
  list.columns.assign(static_cast<size_t>(list.count) + 1, GridColumn{});
  // Each field is one step of loading: the entries were made empty, and a field whose value
  // cannot be converted stays empty (no name, hidden, width 0) after its message.
  for (int32_t i = 0; i < list.count; ++i) {
    GridColumn& c = list.columns[static_cast<size_t>(i)];
    std::string width_key = ColumnKey(i, "Width");
    std::optional<double> width = in.Double(width_key, 10);
    // Widths below 100 were never hundredths: from the first such column on, none is.
    if (width && divisor > 1 && *width > 0 && *width < 100) divisor = 1;
    std::string name = "Column" + std::to_string(i);
    if (auto v = in.String(ColumnKey(i, "Name"), name)) c.Name = *v;
    if (auto v = in.Bool(ColumnKey(i, "Visible"), true)) c.Visible = *v;
    if (auto v = in.String(ColumnKey(i, "Caption"), name)) c.Caption = *v;
    if (width) {
      try {
        c.Width = platform::CInt(Variant(*width / divisor), loc);
      } catch (const ComError& e) {
        in.Fail(e, width_key);
      }
    }
    if (auto v = in.Bool(ColumnKey(i, "Unique"), false)) c.Unique = *v;
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
  Variant ambient_font;
  try {
    ambient_font = Variant(std::static_pointer_cast<platform::Dispatch>(site_.AmbientFont()));
  } catch (const ComError&) {
  }
  for (const PropertyRow* row : PropertyTable::SavedRows()) {
    const std::string_view key = PropertyTable::Key(*row);
    switch (row->saved.loaded) {
      case Loaded::OlderOnly:
        break;
      case Loaded::ColumnList:
        // The column list has no default: it is always stored.
        write(
            key, [&] { return Variant(m_nColCount); }, Variant());
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
        break;
      default: {
        const DefaultValue& d = row->saved.save_default;
        write(
            key, [&] { return row->get(*this); },
            d.type == DefaultValue::Type::AmbientFont ? ambient_font
                                                      : PropertyTable::Value(row->kind, d));
      }
    }
  }
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

  bool hidden_access_stored = false;
  for (const PropertyRow* row : PropertyTable::SavedRows()) {
    const std::string key(PropertyTable::Key(*row));
    const Variant def = PropertyTable::Value(row->kind, row->saved.load_default);
    switch (row->saved.loaded) {
      case Loaded::BySetter:
        step(key, [&] {
          if (std::optional<Variant> v = in.Value(row->kind, key, def))
            (row->load ? row->load : row->set)(*this, *v);
        });
        break;
      case Loaded::Ignored:
      case Loaded::OlderOnly:
        in.Value(row->kind, key, def);
        break;
      case Loaded::Font:
        step(key, [&] {
          std::shared_ptr<platform::StdFont> ambient = site_.AmbientFont();
          Variant v = PropBag.ReadProperty(
              key, Variant(std::static_pointer_cast<platform::Dispatch>(ambient)));
          auto font =
              v.IsObject() ? std::dynamic_pointer_cast<platform::StdFont>(v.AsObject()) : nullptr;
          if (!font) {
            // A control just created has no font to keep: it takes the container's.
            if (!m_Font) SetFont(ambient);
            throw ComError::TypeMismatch();
          }
          SetFont(font);
        });
        break;
      case Loaded::LayoutMarker: {
        // Stored in no layout but the current one; when missing, the layout decides.
        row->set(*this, Variant(false));
        Variant v = PropBag.ReadProperty(key, Variant(kKeyMissing));
        if (!platform::PropertyValuesEqual(v, Variant(kKeyMissing))) {
          hidden_access_stored = true;
          if (std::optional<Variant> stored = in.Value(row->kind, key, def))
            row->set(*this, *stored);
        }
        break;
      }
      case Loaded::ColumnList: {
        ColumnList list = ReadColumns(in, loc);
        m_nColCount = list.count;
        m_GridColumns = std::move(list.columns);
        if (!hidden_access_stored) AllowAccessToHiddenColumnsInScript = list.oldest;
        break;
      }
    }
  }

  step("RunQuery", [&] {
    if (RunQuery() == 0)
      BuildColumns(false);
    else
      SetupGrid(false);
  });
  m_bEditing = false;
}

}  // namespace tabulo::control
