// Test helpers for saving and loading a control: every persisted property set off its default,
// a comparison of everything saved, and the column list as one line of text.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "control/tabulo_ctl.h"
#include "platform/values/variant.h"

namespace tabulo::control::testing {

// The column list as "name/caption/width" entries, "-" before a hidden one and "*" after a
// unique one; the spare entry at the end is left out.
inline std::string ColumnList(const TabuloCtl& ctl) {
  std::string out;
  for (size_t i = 0; i + 1 < ctl.Columns().size(); ++i) {
    const GridColumn& c = ctl.Columns()[i];
    if (!out.empty()) out += ' ';
    if (!c.Visible) out += '-';
    out += c.Name + "/" + c.Caption + "/" + std::to_string(c.Width);
    if (c.Unique) out += '*';
  }
  return out;
}

inline void SetEveryPersistedProperty(TabuloCtl& ctl) {
  using platform::Variant;
  auto font = platform::StdFont::Create();
  font->SetName("Courier New");
  font->SetSize(11.25);
  font->SetWeight(650);
  font->SetItalic(true);
  font->SetUnderline(true);
  font->SetStrikethrough(true);
  font->SetCharset(161);
  ctl.PutRef("Font", Variant(std::static_pointer_cast<platform::Dispatch>(font)));
  platform::SafeArray cols = platform::SafeArray::Matrix(4, 6);
  const Variant kColumns[3][5] = {{"OrderNo", true, "Order", int16_t{7}, true},
                                  {"Customer", false, "Hidden customer", int16_t{33}, false},
                                  {"Qty", true, "Quantity \xE2\x82\xAC", int16_t{12}, false}};
  for (int32_t i = 0; i < 3; ++i)
    for (int32_t f = 0; f < 5; ++f) cols.At(i, f) = kColumns[i][f];
  ctl.Put("RecordSource", "SELECT OrderNo, Customer, Qty FROM Orders WHERE Note = 'a\"b'");
  // In this order: the small scroll step goes first, below the large one.
  // clang-format off
  const std::pair<const char*, Variant> kValues[] = {
      {"Enabled", false}, {"AllowUpdates", true}, {"DSNname", "/data/orders \xC3\xA9.db"},
      {"Database", "main"}, {"User", "op\\1"}, {"Password", "p\"w\nx\t\x01"},
      {"Mode", int32_t{-7}}, {"ConfirmUpdates", false}, {"RefreshInterval", 0.1},
      {"AutoRefresh", true}, {"BackColor", int32_t{0x00FF00}}, {"ForeColor", int32_t{0x123456}},
      {"BackStyle", int16_t{1}}, {"SmallChange", int32_t{4}}, {"LargeChange", int32_t{45}},
      {"ShowStatusBar", false}, {"DBDateFormatString", "yyyy-mm-dd hh:nn:ss"},
      {"AllowAccessToHiddenColumnsInScript", true}, {"ClusterName", "Plant 7"},
      {"LogEvent", true}, {"LoggingClusterName", "Audit"}, {"LogEventType", "dbAll"},
      {"ESignatureRequired", true}, {"ESignaturePrompt", "Sign the change"},
      {"ESignatureReasonCodeRequired", true}, {"ESignatureAllowUserEnteredReasonCode", true},
      {"ESignatureReasonCategory", "Batch"}, {"ESignatureDualSignatureRequired", true},
      {"ESignature1CommandLevel", int32_t{3}}, {"ESignature2CommandLevel", int32_t{1000}},
      {"GridArray", Variant(std::move(cols))}, {"ServerType", int16_t{1}},
      {"DataTable", "  Orders"}};
  // clang-format on
  ctl.SetGridOrdinalColWidth(6);  // before the column list sets the grid up
  for (const auto& [name, value] : kValues) ctl.Put(name, value);
}

// Every persisted value of `b` equals that of `a`: each property the interface reads and
// writes, the column list, and the width of the row-number column.
inline void ExpectSamePersistedProperties(TabuloCtl& a, TabuloCtl& b) {
  std::set<std::string> readable, writable;
  for (const platform::MemberInfo& m : a.Members()) {
    if (m.kind == platform::MemberKind::PropertyGet && m.params.empty()) readable.insert(m.name);
    if (m.kind == platform::MemberKind::PropertyLet ||
        m.kind == platform::MemberKind::PropertySetRef)
      writable.insert(m.name);
  }
  ASSERT_GT(writable.size(), 30u);
  writable.insert("GridColumns");
  for (const std::string& name : writable) {
    if (!readable.count(name)) continue;
    platform::Variant va = a.Get(name), vb = b.Get(name);
    auto fa = va.IsObject() ? std::dynamic_pointer_cast<platform::StdFont>(va.AsObject()) : nullptr;
    auto fb = vb.IsObject() ? std::dynamic_pointer_cast<platform::StdFont>(vb.AsObject()) : nullptr;
    if (fa && fb)
      EXPECT_TRUE(fb->SameAs(*fa)) << name;
    else
      EXPECT_EQ(vb, va) << name;
  }
  EXPECT_EQ(b.GridOrdinalColWidth(), a.GridOrdinalColWidth());
}

}  // namespace tabulo::control::testing
