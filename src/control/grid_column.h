// GridColumn: the descriptor of one result column, in field order. The control keeps one per
// field of the current result, plus a spare empty entry at the end.
#pragma once

#include <cstdint>
#include <string>

namespace tabulo::control {

struct GridColumn {
  std::string Name;      // the field's name in the record set
  bool Visible = false;  // shown in the grid
  std::string Caption;   // header text
  int16_t Width = 0;     // character units of 120 twips
  bool Unique = false;   // carried, exchanged and saved; a new column gets false

  bool operator==(const GridColumn&) const = default;
};

}  // namespace tabulo::control
