// The column page (column_properties.h).
#include "pages/column_properties.h"

#include <cmath>
#include <cstdlib>

#include "localization/page_switch.h"
#include "pages/page_support.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"
#include "platform/widgets/key_codes.h"

namespace tabulo::pages {
namespace {

using platform::ComError;
using platform::Variant;

constexpr int32_t kHeaderTexts[] = {1150, 1151, 1152, 1153};
constexpr int32_t kHeaderWidths[] = {1800, 1200, 1800, 1200};

// The number a text starts with (blanks skipped, "." as the decimal point), 0 when none.
double LeadingNumber(const std::string& text) {
  size_t i = text.find_first_not_of(" \t");
  if (i == std::string::npos) return 0;
  size_t end = i;
  if (end < text.size() && (text[end] == '-' || text[end] == '+')) ++end;
  while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
  if (end < text.size() && text[end] == '.') {
    ++end;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
  }
  return std::strtod(text.substr(i, end - i).c_str(), nullptr);
}

void MarkVisibleCell(platform::FlexGrid& grid, const std::string& text) {
  grid.SetCellBackColor(text == "True" ? kVisibleColor : kHiddenColor);
}

}  // namespace

ColumnProperties::ColumnProperties(platform::Container& site)
    : PropertyPage("ColumnProperties", site) {
  AddWidget(Grid);
  AddWidget(txtEdit);
  AddWidget(cmbBool);
  Grid.Move(120, 120, 6300, 3600);
  cmbBool.Move(0, 0, 1200, 315);
  cmbBool.AddItem("True");
  cmbBool.AddItem("False");
  Grid.on_enter_cell = [this] { OpenEditor(); };
  Grid.on_leave_cell = [this] { Commit(); };
  cmbBool.on_click = [this] { Commit(); };
  txtEdit.on_key_down = [this](int16_t& key, int16_t) {
    if (key == platform::kKeyTab || key == platform::kKeyReturn) Commit();
  };
}

void ColumnProperties::Initialize() {
  set_caption(PageText(*this, 1137));
  cmbBool.set_visible(false);
  txtEdit.set_visible(false);
  remembered_source_.clear();
  reload_ = true;
  busy_ = editing_ = false;
}

void ColumnProperties::Paint() {
  localization::ApplyOnPageSwitch(localization::SharedLocalization(site()), site().event_loop(), 0);
  ctl_ = EditedControl(*this);
  if (!ctl_) return;
  if (platform::Trim(ctl_->RecordSource()) != remembered_source_) reload_ = true;
  if (!reload_) return;
  reload_ = false;
  busy_ = true;
  LoadColumns();
  busy_ = false;
  ApplyChanges();
}

void ColumnProperties::RebuildGrid() {
  Grid.Clear();
  Grid.SetFixedRows(0);
  Grid.SetFixedCols(0);
  Grid.SetRows(1);
  Grid.SetCols(0);
  Grid.SetRowHeight(0, static_cast<int32_t>(cmbBool.height()));
  for (int32_t c = 0; c < 4; ++c) {
    Grid.SetCols(c + 1);
    Grid.SetCol(c);
    Grid.SetRow(0);
    Grid.SetText(PageText(*this, kHeaderTexts[c]));
    Grid.SetColWidth(c, kHeaderWidths[c]);
  }
}

void ColumnProperties::LoadColumns() {
  try {
    RebuildGrid();
    if (ctl_->RecordSource().empty()) return;
    Variant columns;
    try {
      columns = ctl_->GridColumns();
      if (columns.AsArray().UBound(1) == 0) {
        ctl_->Refresh(false);
        columns = ctl_->GridColumns();
      }
    } catch (const ComError&) {
    }
    const platform::SafeArray& a = columns.AsArray();
    const int32_t upper = a.UBound(1);
    const platform::Locale& loc = site().UserLocale();
    Grid.SetRows(upper + 1);
    for (int32_t i = 0; i < upper; ++i) {
      const int32_t r = i + 1;
      Grid.SetTextMatrix(r, 0, platform::CStr(a.At(i, 0), loc));
      const std::string visible = platform::CBool(a.At(i, 1), loc) ? "True" : "False";
      Grid.SetTextMatrix(r, 1, visible);
      Grid.SetRow(r);
      Grid.SetCol(1);
      MarkVisibleCell(Grid, visible);
      Grid.SetTextMatrix(r, 2, platform::CStr(a.At(i, 2), loc));
      Grid.SetTextMatrix(r, 3, std::to_string(platform::CLng(a.At(i, 3), loc)));
    }
    if (Grid.Rows() >= 2) Grid.SetFixedRows(1);
    remembered_source_ = platform::Trim(ctl_->RecordSource());
  } catch (const ComError& e) {
    site().MsgBox(e.description(), platform::kMbCritical, "Error...");
    remembered_source_.clear();
  }
}

void ColumnProperties::OpenEditor() {
  if (busy_) return;
  const int32_t col = Grid.Col();
  const double left = Grid.left() + Grid.CellLeft();
  const double top = Grid.top() + Grid.CellTop();
  if (col == 2 || col == 3) {
    txtEdit.Move(left, top, Grid.CellWidth(), Grid.CellHeight());
    txtEdit.ZOrder();
    txtEdit.set_text(Grid.Text());
    txtEdit.set_sel_start(0);
    txtEdit.set_sel_length(static_cast<int32_t>(platform::Utf8Length(txtEdit.text())));
    txtEdit.set_visible(true);
    txtEdit.SetFocus();
  } else if (col == 1) {
    cmbBool.Move(left, top, Grid.CellWidth(), cmbBool.height());
    cmbBool.ZOrder();
    cmbBool.set_list_index(Grid.Text() == "True" ? 0 : 1);
    cmbBool.set_visible(true);
    cmbBool.SetFocus();
  } else {
    return;
  }
  editing_ = true;
}

void ColumnProperties::Commit() {
  if (busy_) return;
  if (editing_) {
    const int32_t col = Grid.Col();
    if (txtEdit.visible()) {
      if (col == 2) {
        Grid.SetText(txtEdit.text());
      } else if (col == 3) {
        const double width = platform::RoundHalfEven(LeadingNumber(txtEdit.text()));
        if (width < INT16_MIN || width > INT16_MAX) {
          // The stored width is 16-bit: the cell keeps its last good value.
          site().MsgBox("The width must be a whole number from -32768 to 32767.",
                        platform::kMbExclamation, "");
        } else {
          Grid.SetText(std::to_string(static_cast<int32_t>(width)));
        }
      }
    } else if (cmbBool.visible() && col == 1) {
      Grid.SetText(cmbBool.text());
      MarkVisibleCell(Grid, cmbBool.text());
    }
    SetChanged(true);
  }
  cmbBool.set_visible(false);
  txtEdit.set_visible(false);
  editing_ = false;
}

void ColumnProperties::ApplyChanges() {
  if (!ctl_) ctl_ = EditedControl(*this);
  if (!ctl_) return;
  ctl_->OutputDebug("ColumnProperties.ApplyChanges()");
  if (Grid.Rows() < 2) return;
  if (editing_) Commit();
  Grid.SetRedraw(false);
  busy_ = true;
  try {
    // Starting from the control's own list keeps what the page does not show (Unique).
    Variant columns = ctl_->GridColumns();
    platform::SafeArray& a = columns.AsArray();
    for (int32_t r = 1; r < Grid.Rows(); ++r) {
      if (r - 1 > a.UBound(1)) break;
      if (Grid.TextMatrix(r, 0) != a.At(r - 1, 0).AsString()) continue;
      a.At(r - 1, 1) = Variant(Grid.TextMatrix(r, 1) == "True");
      a.At(r - 1, 2) = Variant(Grid.TextMatrix(r, 2));
      a.At(r - 1, 3) = Variant(Grid.TextMatrix(r, 3));
    }
    SetChanged(false);
    ctl_->SetGridArray(columns);
    ctl_->Refresh(false);
  } catch (const ComError& e) {
    site().MsgBox(e.description() + " ColumnProperty ", platform::kMbOkOnly, "");
  }
  busy_ = false;
  Grid.SetRedraw(true);
}

}  // namespace tabulo::pages
