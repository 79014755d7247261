// Layout: grid at the top left, the long scroll bar to its right, the status bar along the
// bottom; the number of grid rows follows the grid's height.
#include "control/tabulo_ctl.h"
#include "platform/values/com_error.h"
#include "platform/values/conversions.h"

namespace tabulo::control {

using platform::ComError;

void TabuloCtl::Layout() {
  // Every step is tried on its own: a failing one does not stop the next.
  const double w = m_dScaleWidth;
  const double h = m_dScaleHeight;
  int32_t old_rows = Grid.Rows();
  auto step = [](auto&& fn) {
    try {
      fn();
    } catch (const ComError&) {
    }
  };
  step([&] {
    int32_t half = static_cast<int32_t>(platform::RoundHalfEven(w / 2));
    sBar.Panels(1).set_width(half);
    sBar.Panels(2).set_width(half);
  });
  step([&] {
    sBar.set_visible(m_bShowStatusBar);
    sBar.Move(0, std::max(0.0, h - sBar.height()), w, sBar.height());
  });
  double grid_height = platform::RoundHalfEven(m_bShowStatusBar ? h - sBar.height() : h);
  step([&] { Grid.Move(0, 0, w - ScrollBar.width(), grid_height); });
  step([&] { ScrollBar.Move(Grid.left() + Grid.width(), 0, ScrollBar.width(), Grid.height()); });
  step([&] {
    Grid.ZOrder();
    ScrollBar.ZOrder();
  });
  int32_t row_height = 0;
  step([&] {
    row_height = Grid.RowHeight(0);
    double rows = row_height > 0 ? platform::RoundHalfEven(Grid.height() / row_height - 1) : 1;
    m_nVisibleRows = static_cast<int16_t>(std::clamp(rows, 1.0, 32767.0));
  });
  step([&] {
    if (row_height > 0) Grid.SetRowHeightMin(row_height);
    Grid.SetRows(m_nVisibleRows);
    // Rows cut off take their marks with them.
    std::erase_if(m_ChangedCells, [&](const auto& cell) { return cell.first >= Grid.Rows(); });
    Grid.SetFixedRows(1);
  });
  step([&] {
    // Rows added by growing stay empty until the next tick re-queries and fills them.
    if (m_nVisibleRows > old_rows && site_.AmbientUserMode() && !Timer1.running()) {
      m_dtNextRefresh = Now();
      Timer1.set_interval(250);
      Timer1.set_enabled(true);
    }
  });
}

}  // namespace tabulo::control
