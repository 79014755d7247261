// The properties of TabuloCtl, each described once: its automation name and dispatch id, the
// type of its value, how the automation interface declares it, how the control's save and load
// handlers store it, and its accessors. The automation declaration, the writer and reader of
// the property bag and the change notifications are all driven from this table.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/automation/dispatch.h"
#include "platform/values/variant.h"

namespace tabulo::control {

class TabuloCtl;

// One per row of the table, in the table's order: the interface's member order, then the
// values that are only saved.
enum class Prop : uint8_t {
  SecMgr,
  AllowUpdates,
  ConnectionString,
  DSNname,
  Mode,
  Enabled,
  RecordSource,
  GridColumns,
  ConfirmUpdates,
  RefreshInterval,
  Visible,
  AutoRefresh,
  NumberRows,
  NumberColumns,
  Database,
  ShowStatusBar,
  User,
  ServerType,
  Password,
  DataTable,
  ActiveColumn,
  ActiveRow,
  BackColor,
  ForeColor,
  Font,
  BackStyle,
  ColIsVisibile,
  ColHeader,
  ColWidth,
  LargeChange,
  SmallChange,
  GridArray,
  DBDateFormatString,
  AllowAccessToHiddenColumnsInScript,
  ClusterName,
  LogEvent,
  LoggingClusterName,
  LogEventType,
  ESignatureRequired,
  ESignaturePrompt,
  ESignatureReasonCodeRequired,
  ESignatureAllowUserEnteredReasonCode,
  ESignatureReasonCategory,
  ESignatureDualSignatureRequired,
  ESignature1CommandLevel,
  ESignature2CommandLevel,
  // Saved only, never members of the interface.
  Version,
  GridOrdinalColWidth,
  DataServer,
  kCount
};

// The type a value has when it reaches a setter (and when a getter returns it): automation
// arguments and stored values are converted to it. AsIs values (objects, arrays) are passed
// as they come.
enum class ValueKind : uint8_t { Boolean, Integer, Long, Double, String, AsIs };

// How the automation interface lists the property.
enum class Declared : uint8_t {
  None,          // not a member
  GetLet,        // get, then let with one value
  LetThenGet,    // the let listed before the get
  GetLetByRef,   // get, then a let taking "New_<name>" by reference
  GetOnly,       // read-only
  LetOnlyByRef,  // write-only, "value" by reference
  ItemGet,       // read-only with the grid column "nCol" by reference
  GetSetRef,     // get, and assignment by reference (objects)
};

// How the load handler takes the stored value.
enum class Loaded : uint8_t {
  BySetter,      // converted, then given to `load` (or `set`)
  Ignored,       // converted (a bad value is reported) and dropped
  OlderOnly,     // as Ignored, and never written: only older files have it
  Font,          // an object of the font class, the ambient font when missing
  ColumnList,    // the column count under `key` or an older key, then Column<i><field>
  LayoutMarker,  // a stored value wins over what the column list's layout implies
};

// A default value, written without a type: a row's ValueKind gives it one.
struct DefaultValue {
  enum class Type : uint8_t { None, Number, Text, AmbientFont };
  Type type = Type::None;  // None: no default, the value is always stored
  double number = 0;
  const char* text = nullptr;

  constexpr DefaultValue() = default;
  constexpr DefaultValue(bool b) : type(Type::Number), number(b ? -1 : 0) {}
  constexpr DefaultValue(int n) : type(Type::Number), number(n) {}
  constexpr DefaultValue(double d) : type(Type::Number), number(d) {}
  constexpr DefaultValue(const char* t) : type(Type::Text), text(t) {}
  static constexpr DefaultValue AmbientFont() {
    DefaultValue d;
    d.type = Type::AmbientFont;
    return d;
  }
};

// Where and how a property is saved. `order` is the position of its key in a saved bag
// (1 first); 0 means the property is not saved.
struct Saved {
  int order = 0;
  DefaultValue save_default;  // elided when the value equals it
  DefaultValue load_default;  // taken when the key is missing
  Loaded loaded = Loaded::BySetter;
  const char* key = nullptr;  // the property's name when null
  const char* older_keys[2] = {nullptr, nullptr};

  constexpr Saved() = default;
  constexpr Saved(int order_, DefaultValue both, Loaded loaded_ = Loaded::BySetter)
      : order(order_), save_default(both), load_default(both), loaded(loaded_) {}
  constexpr Saved(int order_, DefaultValue save, DefaultValue load,
                  Loaded loaded_ = Loaded::BySetter)
      : order(order_), save_default(save), load_default(load), loaded(loaded_) {}
  // Under a key of its own, with the keys older layouts used for it.
  constexpr Saved(int order_, Loaded loaded_, const char* key_, const char* older0,
                  const char* older1)
      : order(order_), loaded(loaded_), key(key_), older_keys{older0, older1} {}
};

using Getter = platform::Variant (*)(TabuloCtl&);
using Setter = void (*)(TabuloCtl&, const platform::Variant&);
using ItemGetter = platform::Variant (*)(TabuloCtl&, int32_t);

struct PropertyRow {
  Prop prop;
  const char* name;
  platform::DispId id;  // kDispIdUnknown for values that are only saved
  ValueKind kind;
  Declared declared;
  Getter get;  // null for write-only and indexed properties
  Setter set;  // the automation let or set; null for read-only ones
  Saved saved = {};
  Setter load = nullptr;  // what loading calls when it is not `set`
  ItemGetter item = nullptr;
};

class PropertyTable {
 public:
  // Every row, in the order of Prop.
  static std::span<const PropertyRow> Rows();
  static const PropertyRow& Row(Prop p) { return Rows()[static_cast<size_t>(p)]; }
  // The saved rows in the order their keys are written and read.
  static std::span<const PropertyRow* const> SavedRows();
  // The key a row is saved under; the change notification names it too.
  static std::string_view Key(const PropertyRow& row) {
    return row.saved.key ? row.saved.key : row.name;
  }
  // A default with the type of the row's value. The ambient font is the caller's to supply.
  static platform::Variant Value(ValueKind kind, const DefaultValue& d);
};

}  // namespace tabulo::control
