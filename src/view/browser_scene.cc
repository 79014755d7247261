// The browser's scene of a hosted control (browser_scene.h).
#include "view/browser_scene.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "localization/string_table.h"
#include "platform/text/locale.h"
#include "platform/text/ui_language.h"
#include "view/text_cells.h"
#include "view/text_renderer.h"

namespace tabulo::view {
namespace {

using nlohmann::json;

double Px(double twips) {
  return std::round(twips / kTwipsPerPixel * 100) / 100;
}

const char* AlignOf(int16_t alignment, std::string_view text) {
  if (alignment >= platform::kAlignLeftTop && alignment <= platform::kAlignLeftBottom) return "l";
  if (alignment >= platform::kAlignCenterTop && alignment <= platform::kAlignCenterBottom)
    return "c";
  if (alignment >= platform::kAlignRightTop && alignment <= platform::kAlignRightBottom) return "r";
  return LooksNumeric(text) ? "r" : "l";
}

json Box(const platform::Widget& w) {
  return {{"x", Px(w.left())},
          {"y", Px(w.top())},
          {"w", Px(w.width())},
          {"h", Px(w.height())},
          {"visible", w.visible()}};
}

json GridOf(const control::TabuloCtl& ctl) {
  const platform::FlexGrid& grid = ctl.Grid;
  json out = Box(grid);
  const platform::TextFont& font = grid.Font();
  out["font"] = {{"name", font.name}, {"size", font.size}, {"bold", font.bold}};
  out["back"] = CssColor(grid.BackColor());
  out["fore"] = CssColor(grid.ForeColor());
  out["fixedRows"] = grid.FixedRows();
  out["fixedCols"] = grid.FixedCols();
  out["row"] = grid.Row();
  out["col"] = grid.Col();
  // The rows and columns in view, as the text renderer picks them.
  std::vector<int32_t> cols;
  json col_list = json::array();
  for (int32_t c = 0; c < grid.Cols(); ++c) {
    if (c >= grid.FixedCols() && c < grid.LeftCol()) continue;
    if (grid.ColWidth(c) <= 0 || !grid.ColIsVisible(c)) continue;
    cols.push_back(c);
    col_list.push_back({{"c", c}, {"x", Px(grid.ColLeftOf(c))}, {"w", Px(grid.ColWidth(c))}});
  }
  json rows = json::array();
  for (int32_t r = 0; r < grid.Rows(); ++r) {
    if (r >= grid.FixedRows() && r < grid.TopRow()) continue;
    if (grid.RowHeight(r) <= 0) continue;
    if (!grid.RowIsVisible(r)) {
      if (r >= grid.FixedRows()) break;
      continue;
    }
    json cells = json::array();
    for (int32_t c : cols) {
      const std::string& text = grid.TextMatrix(r, c);
      json cell = {{"t", text},
                   {"al", AlignOf(grid.CellAlignmentAt(r, c), text)},
                   {"b", grid.CellFontBoldAt(r, c)}};
      const int32_t back = grid.CellBackColorAt(r, c);
      if (back != 0) cell["bg"] = CssColor(back);
      if (ctl.CellChanged(r, c)) cell["changed"] = true;
      cells.push_back(std::move(cell));
    }
    rows.push_back(
        {{"r", r}, {"y", Px(grid.RowTopOf(r))}, {"h", Px(grid.RowHeight(r))}, {"cells", cells}});
  }
  out["cols"] = std::move(col_list);
  out["rows"] = std::move(rows);
  return out;
}

}  // namespace

std::string CssColor(int32_t color) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", color & 0xFF, (color >> 8) & 0xFF,
                (color >> 16) & 0xFF);
  return text;
}

std::string PositionText(const control::TabuloCtl& ctl, int32_t grid_row) {
  const platform::FlexGrid& grid = ctl.Grid;
  if (grid_row < grid.FixedRows() || grid_row >= grid.Rows() || grid.Cols() == 0) return {};
  // The record-number column shows each row's record, counted from 1.
  const std::string number = grid.TextMatrix(grid_row, 0);
  int64_t record = 0;
  auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), record);
  if (ec != std::errc() || end != number.data() + number.size() || record < 1) return {};
  const int32_t language = localization::TableLanguage(platform::UserInterfaceLanguage());
  const char* locale = language == localization::kLanguageGerman   ? "de-DE"
                       : language == localization::kLanguageFrench ? "fr-FR"
                                                                   : "en-US";
  const std::string_view group = platform::Locale::Find(locale)->group_separator();
  auto grouped = [&](int64_t n) {
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
      if (i > 0 && (digits.size() - i) % 3 == 0) out += group;
      out += digits[i];
    }
    return out;
  };
  const std::string row = grouped(record), count = grouped(ctl.NumberRows());
  if (language == localization::kLanguageGerman) return "Zeile " + row + " von " + count;
  if (language == localization::kLanguageFrench) return "Ligne " + row + " sur " + count;
  return "Row " + row + " of " + count;
}

json BrowserSceneOf(const control::TabuloCtl& ctl) {
  json scene = {{"w", Px(ctl.ScaleWidth())}, {"h", Px(ctl.ScaleHeight())}};
  scene["grid"] = GridOf(ctl);
  const platform::VScrollBar& bar = ctl.ScrollBar.InnerBar();
  json scroll = Box(ctl.ScrollBar);
  scroll.update({{"enabled", bar.enabled()},
                 {"min", bar.min()},
                 {"max", bar.max()},
                 {"value", bar.value()},
                 {"small", bar.small_change()},
                 {"large", bar.large_change()},
                 {"long",
                  {{"min", ctl.ScrollBar.Min()},
                   {"max", ctl.ScrollBar.Max()},
                   {"value", ctl.ScrollBar.Value()}}}});
  scene["scroll"] = std::move(scroll);
  json status = Box(ctl.sBar);
  status["panels"] = json::array();
  for (int32_t i = 1; i <= ctl.sBar.PanelCount(); ++i) {
    const platform::Panel& p = ctl.sBar.Panels(i);
    status["panels"].push_back({{"text", p.text()}, {"w", Px(p.width())}});
  }
  status["position"] = PositionText(ctl, ctl.Grid.Row());
  scene["status"] = std::move(status);
  scene["editor"] = nullptr;
  if (ctl.txtEdit.visible()) {
    json editor = Box(ctl.txtEdit);
    editor["text"] = ctl.txtEdit.text();
    editor["sel"] = ctl.txtEdit.sel_start();
    editor["selLength"] = ctl.txtEdit.sel_length();
    scene["editor"] = std::move(editor);
  }
  return scene;
}

}  // namespace tabulo::view
