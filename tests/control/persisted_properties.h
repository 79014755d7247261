// Test helpers for saving and loading a control: every persisted property set to a value
// other than its default, and a comparison of everything the control saves.
#pragma once

#include <gtest/gtest.h>

#include "control/tabulo_ctl.h"
#include "platform/values/com_error.h"
#include "platform/values/variant.h"

namespace tabulo::control::testing {

inline void SetEveryPersistedProperty(TabuloCtl& ctl) {
  ctl.SetEnabled(false);
  ctl.SetRecordSource("SELECT OrderNo, Customer, Qty FROM Orders WHERE Note = 'a\"b'");
  ctl.SetAllowUpdates(true);
  ctl.SetDSNname("/data/orders \xC3\xA9.db");
  ctl.SetDatabase("main");
  ctl.SetUser("op\\1");
  ctl.SetPassword("p\"w\nx\t\x01");
  ctl.SetMode(-7);
  ctl.SetConfirmUpdates(false);
  ctl.SetRefreshInterval(0.1);
  ctl.SetAutoRefresh(true);
  ctl.SetBackColor(0x00FF00);
  ctl.SetForeColor(0x123456);
  auto font = platform::StdFont::Create();
  font->SetName("Courier New");
  font->SetSize(11.25);
  font->SetWeight(650);
  font->SetItalic(true);
  font->SetUnderline(true);
  font->SetStrikethrough(true);
  font->SetCharset(161);
  ctl.SetFont(font);
  ctl.SetBackStyle(1);
  ctl.SetSmallChange(4);
  ctl.SetLargeChange(45);
  ctl.SetShowStatusBar(false);
  ctl.SetDBDateFormatString("yyyy-mm-dd hh:nn:ss");
  ctl.AllowAccessToHiddenColumnsInScript = true;
  ctl.SetClusterName("Plant 7");
  ctl.LogEvent = true;
  ctl.LoggingClusterName = "Audit";
  ctl.LogEventType = "dbAll";
  ctl.ESignatureRequired = true;
  ctl.ESignaturePrompt = "Sign the change";
  ctl.ESignatureReasonCodeRequired = true;
  ctl.ESignatureAllowUserEnteredReasonCode = true;
  ctl.ESignatureReasonCategory = "Batch";
  ctl.ESignatureDualSignatureRequired = true;
  ctl.ESignature1CommandLevel = 3;
  ctl.ESignature2CommandLevel = 1000;
  ctl.SetGridOrdinalColWidth(6);
  platform::SafeArray cols = platform::SafeArray::Matrix(4, 6);
  auto column = [&](int32_t i, const char* name, bool visible, const char* caption, int16_t width,
                    bool unique) {
    cols.At(i, 0) = platform::Variant(name);
    cols.At(i, 1) = platform::Variant(visible);
    cols.At(i, 2) = platform::Variant(caption);
    cols.At(i, 3) = platform::Variant(width);
    cols.At(i, 4) = platform::Variant(unique);
  };
  column(0, "OrderNo", true, "Order", 7, true);
  column(1, "Customer", false, "Hidden customer", 33, false);
  column(2, "Qty", true, "Quantity \xE2\x82\xAC", 12, false);
  ctl.SetGridArray(platform::Variant(std::move(cols)));
  ctl.SetServerType(1);
  ctl.SetDataTable("  Orders");
}

// Every persisted value of `b` equals that of `a`.
inline void ExpectSamePersistedProperties(TabuloCtl& a, TabuloCtl& b) {
  EXPECT_EQ(b.Enabled(), a.Enabled());
  EXPECT_EQ(b.RecordSource(), a.RecordSource());
  EXPECT_EQ(b.AllowUpdates(), a.AllowUpdates());
  EXPECT_EQ(b.DSNname(), a.DSNname());
  EXPECT_EQ(b.Database(), a.Database());
  EXPECT_EQ(b.User(), a.User());
  EXPECT_EQ(b.Password(), a.Password());
  EXPECT_EQ(b.Mode(), a.Mode());
  EXPECT_EQ(b.ConfirmUpdates(), a.ConfirmUpdates());
  EXPECT_EQ(b.RefreshInterval(), a.RefreshInterval());
  EXPECT_EQ(b.AutoRefresh(), a.AutoRefresh());
  EXPECT_EQ(b.BackColor(), a.BackColor());
  EXPECT_EQ(b.ForeColor(), a.ForeColor());
  ASSERT_NE(b.Font(), nullptr);
  EXPECT_TRUE(b.Font()->SameAs(*a.Font()));
  EXPECT_EQ(b.BackStyle(), a.BackStyle());
  EXPECT_EQ(b.LargeChange(), a.LargeChange());
  EXPECT_EQ(b.SmallChange(), a.SmallChange());
  EXPECT_EQ(b.ShowStatusBar(), a.ShowStatusBar());
  EXPECT_EQ(b.DBDateFormatString(), a.DBDateFormatString());
  EXPECT_EQ(b.AllowAccessToHiddenColumnsInScript, a.AllowAccessToHiddenColumnsInScript);
  EXPECT_EQ(b.ClusterName(), a.ClusterName());
  EXPECT_EQ(b.LogEvent, a.LogEvent);
  EXPECT_EQ(b.LoggingClusterName, a.LoggingClusterName);
  EXPECT_EQ(b.LogEventType, a.LogEventType);
  EXPECT_EQ(b.ESignatureRequired, a.ESignatureRequired);
  EXPECT_EQ(b.ESignaturePrompt, a.ESignaturePrompt);
  EXPECT_EQ(b.ESignatureReasonCodeRequired, a.ESignatureReasonCodeRequired);
  EXPECT_EQ(b.ESignatureAllowUserEnteredReasonCode, a.ESignatureAllowUserEnteredReasonCode);
  EXPECT_EQ(b.ESignatureReasonCategory, a.ESignatureReasonCategory);
  EXPECT_EQ(b.ESignatureDualSignatureRequired, a.ESignatureDualSignatureRequired);
  EXPECT_EQ(b.ESignature1CommandLevel, a.ESignature1CommandLevel);
  EXPECT_EQ(b.ESignature2CommandLevel, a.ESignature2CommandLevel);
  EXPECT_EQ(b.ColumnCount(), a.ColumnCount());
  EXPECT_EQ(b.Columns(), a.Columns());
  EXPECT_EQ(b.GridOrdinalColWidth(), a.GridOrdinalColWidth());
  EXPECT_EQ(b.ServerType(), a.ServerType());
  EXPECT_EQ(b.DataTable(), a.DataTable());
}

}  // namespace tabulo::control::testing
