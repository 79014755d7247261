// The browser's scene of a hosted control: the widget models the text renderer draws (grid,
// long scroll bar, status bar, open editor), as a JSON object the operator display's page
// draws. Positions and sizes are CSS pixels (15 twips each) in the control's coordinates;
// colours are "#rrggbb". Only the rows and columns in view are sent, so the scene stays
// small whatever the record count.
//
//   { "w", "h",
//     "grid":   { "x","y","w","h", "font": {"name","size","bold"}, "back","fore",
//                 "fixedRows","fixedCols","row","col",
//                 "cols": [{"c","x","w"}...], "rows": [{"r","y","h","cells": [cell...]}...] },
//               cell: { "t": text, "al": "l"|"c"|"r", "b": bold, "bg": colour or absent,
//                       "changed": the red mark of a changed cell }
//     "scroll": { "x","y","w","h","visible","enabled","min","max","value","small","large",
//                 "long": {"min","max","value"} },      the 16-bit bar and its 32-bit range
//     "status": { "x","y","w","h","visible","panels": [{"text","w"}...],
//                 "position": the current record's PositionText },
//     "editor": null or { "x","y","w","h","text","sel","selLength" } }  the selection in
//               code points: from "sel", "selLength" long; the caret at "sel" when 0
#pragma once

#include <nlohmann/json.hpp>

#include "control/tabulo_ctl.h"

namespace tabulo::view {

inline constexpr double kTwipsPerPixel = 15;

nlohmann::json BrowserSceneOf(const control::TabuloCtl& ctl);

// The position of the record grid row `grid_row` shows and the exact record count, for a
// display's status line, from 1, in the user-interface language with the count grouped as
// its locale groups numbers: "Row 501 of 1,000" (German "Zeile 501 von 1.000", French
// "Ligne 501 sur 1 000"). Empty when the row shows no record.
std::string PositionText(const control::TabuloCtl& ctl, int32_t grid_row);

// A colour of the widget models (0x00BBGGRR) as CSS "#rrggbb".
std::string CssColor(int32_t color);

}  // namespace tabulo::view
