// The row window: the grid holds a header row and as many data rows as fit, and shows the
// records of the record set from position m_lFirstRow on. The result is never copied: a
// fill positions the record set with one MoveFirst and one Move and reads only the rows shown.
#include <stdexcept>

#include "control/tabulo_ctl.h"
#include "platform/text/text.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::control {

using platform::ComError;
using platform::Variant;

namespace {

constexpr int16_t kAlignLeftCenter = 1;
constexpr int16_t kAlignCenterCenter = 4;
constexpr int16_t kAlignRightCenter = 7;

// The text of a value that is neither null nor a string. A binary value (an array of bytes)
// shows its size; a value with no text form shows as such instead of failing the window.
std::string CellText(const Variant& v, const platform::Locale& loc) {
  if (v.IsArray()) {
    const int64_t bytes = v.AsArray().size();
    return "(binary, " + std::to_string(bytes) + (bytes == 1 ? " byte)" : " bytes)");
  }
  try {
    return platform::CStr(v, loc);
  } catch (const ComError&) {
    return "(no text form)";
  }
}

}  // namespace

double TabuloCtl::CharsToTwips(double chars) const {
  return site_.ScaleX(chars, platform::kScaleCharacters, platform::kScaleTwips);
}

double TabuloCtl::TwipsToChars(double twips) const {
  return site_.ScaleX(twips, platform::kScaleTwips, platform::kScaleCharacters);
}

void TabuloCtl::SetupGrid(bool KeepWidths) {
  try {
    // Widths are kept by grid column position, not by column name.
    std::vector<int32_t> old_width(static_cast<size_t>(Grid.Cols()) + 1, 0);
    for (int32_t c = 0; c < Grid.Cols(); ++c)
      old_width[static_cast<size_t>(c) + 1] = Grid.ColWidth(c);

    Grid.SetRedraw(false);
    Grid.Clear();
    m_ChangedCells.clear();
    Grid.SetCols(1);
    Grid.SetRows(m_nVisibleRows);
    Grid.SetFixedRows(1);
    Grid.SetCol(0);
    Grid.SetRow(0);
    const ColumnMap map = GridColumnMap();
    for (int32_t c = 1; c <= map.GridColumns(); ++c) {
      const GridColumn& d = m_GridColumns[static_cast<size_t>(map.FieldOfGridColumn(c))];
      Grid.SetCols(c + 1);
      Grid.SetRow(0);
      Grid.SetCol(c);
      Grid.SetText(d.Caption);
      Grid.SetCellAlignment(kAlignCenterCenter);
      Grid.SetCellFontBold(true);
      int32_t width;
      size_t slot = static_cast<size_t>(c) + 1;
      if (!KeepWidths || slot >= old_width.size() || old_width[slot] < 1) {
        width = static_cast<int32_t>(platform::RoundHalfEven(CharsToTwips(d.Width)));
      } else {
        width = old_width[slot];
      }
      Grid.SetColWidth(c, width);
    }
    // More fields than descriptors: the columns described are set up, the rest is not.
    if (m_nColCount > static_cast<int32_t>(m_GridColumns.size()))
      throw std::out_of_range("grid column descriptors");
    if (m_nGridOrdinalColWidth != 0)
      Grid.SetColWidth(
          0, static_cast<int32_t>(platform::RoundHalfEven(CharsToTwips(m_nGridOrdinalColWidth))));
    Grid.SetFixedCols(1);
    Grid.SetRedraw(true);
    sBar.Panels(1).set_text(BrowsingPanelText());
  } catch (const ComError&) {
    // The grid keeps what was done so far; the next setup or fill repairs it.
  } catch (const std::out_of_range&) {
  }
}

void TabuloCtl::FillWindow(int32_t Delta) {
  SetupGrid(true);
  try {
    Grid.SetRedraw(false);
    // The rows under an open editor are replaced: the edit ends here, so that no stale text
    // is ever applied to whatever cell is current later.
    AbandonEdit();
    m_bCellEventsOff = true;
    if (!m_rs) throw ComError::ObjectNotSet("TabuloCtl");
    if (m_rs->Eof() && m_rs->Bof()) {
      m_bCellEventsOff = false;
      Grid.SetRedraw(true);
      return;
    }
    m_lEditRow = 1;
    // The first row is set before the record set moves: a fill that fails part way still
    // leaves the window where the bar says, and the next move counts from there.
    int64_t new_first = static_cast<int64_t>(m_lFirstRow) + Delta;
    if (new_first > 0) {
      m_lFirstRow = static_cast<int32_t>(new_first);
    } else {
      m_lFirstRow = 0;
    }
    m_rs->MoveFirst();
    if (m_lFirstRow > 0) m_rs->Move(m_lFirstRow);
    if (m_rs->Eof()) {
      m_lFirstRow -= 1;
      m_rs->MovePrevious();
    }
    const platform::Locale& loc = site_.UserLocale();
    const int32_t field_count = m_rs->FieldCount();
    const ColumnMap map(m_GridColumns, field_count);
    for (int32_t r = 1; r < Grid.Rows() && !m_rs->Eof(); ++r) {
      Grid.SetTextMatrix(r, 0, std::to_string(static_cast<int64_t>(m_lFirstRow) + r));
      for (int32_t k = 1; k <= map.GridColumns(); ++k) {
        Variant v = m_rs->Item(map.FieldOfGridColumn(k)).Value();
        int16_t alignment = kAlignRightCenter;
        std::string text;
        if (v.IsNull()) {
          text.clear();
        } else if (v.IsString()) {
          text = platform::Trim(v.AsString());
          alignment = kAlignLeftCenter;
        } else {
          text = CellText(v, loc);
        }
        Grid.SetCol(k);
        Grid.SetRow(r);
        Grid.SetCellAlignment(alignment);
        Grid.SetTextMatrix(r, k, text);
        // The text of a null is "" as an empty text's; the mark lets a display tell them apart.
        if (v.IsNull()) Grid.SetCellNullAt(r, k, true);
      }
      // A record of more fields than the control describes is refused once its described
      // cells are shown.
      if (field_count > static_cast<int32_t>(m_GridColumns.size()))
        throw ComError::SubscriptOutOfRange("TabuloCtl");
      m_rs->MoveNext();
    }
    Grid.SetFixedCols(1);
    m_bCellEventsOff = false;
    Grid.SetRedraw(true);
    Grid.SetCol(0);
    Grid.SetRow(0);
  } catch (const ComError&) {
    // The rows filled so far stay; the guard stays set until a later fill completes.
    Grid.SetRedraw(true);
    throw;
  }
}

void TabuloCtl::ScrollBar_Change() {
  if (!site_.AmbientUserMode()) return;
  try {
    txtEdit.set_visible(false);
    int32_t value = ScrollBar.Value();
    bool forward = m_lLastScrollValue < value;
    if (!m_rs) throw ComError::ObjectNotSet("TabuloCtl");
    // The EOF test looks at the record set where the last fill left it: a forward move that
    // starts with the last record shown does not move the window.
    if (forward) {
      if (!m_rs->Eof()) FillWindow(value - m_lLastScrollValue);
    } else {
      if (!m_rs->Bof()) FillWindow(value - m_lLastScrollValue);
    }
    m_lLastScrollValue = value;
  } catch (const ComError&) {
    // A fill that failed part way has moved the window all the same.
    if (m_rs) m_lLastScrollValue = ScrollBar.Value();
  }
}

void TabuloCtl::CaptureColumnWidths() {
  try {
    const ColumnMap map = GridColumnMap();
    const platform::Locale& loc = site_.UserLocale();
    for (int32_t col = 1; col <= map.GridColumns(); ++col) {
      GridColumn& d = m_GridColumns.at(static_cast<size_t>(map.FieldOfGridColumn(col)));
      d.Width = platform::CInt(Variant(TwipsToChars(Grid.ColWidth(col))), loc);
    }
    m_nGridOrdinalColWidth = platform::CInt(Variant(TwipsToChars(Grid.ColWidth(0))), loc);
  } catch (const ComError&) {
  } catch (const std::out_of_range&) {
  }
}

}  // namespace tabulo::control
