// ListBox and ComboBox: a list of texts with an optional 32-bit ItemData each and one
// selected item (ListIndex, -1 = none). Click follows every change of ListIndex, by the
// program or the user. The list is never sorted (Sorted is off).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/widgets/widget.h"

namespace tabulo::platform {

class ListBox : public Widget {
 public:
  explicit ListBox(std::string name);

  // Inserts at `index` (0..ListCount; -1 = at the end); another index raises 5. The
  // selection stays on the same item.
  void AddItem(const std::string& text, int32_t index = -1);
  // Out of range raises 5. Removing the selected item leaves nothing selected, without Click
  // (as the list does not notify its own deletions).
  void RemoveItem(int32_t index);
  // Empties the list; nothing is selected afterwards, without Click.
  void Clear();

  int32_t list_count() const { return static_cast<int32_t>(items_.size()); }
  // List(i) and ItemData(i); an index outside 0..ListCount-1 raises 381.
  const std::string& list(int32_t index) const;
  void set_list(int32_t index, const std::string& text);
  int32_t item_data(int32_t index) const;
  void set_item_data(int32_t index, int32_t data);

  int32_t list_index() const { return list_index_; }
  // -1..ListCount-1; another value raises 380.
  void set_list_index(int32_t index);

  // The selected item's text ("" when none).
  virtual std::string text() const;
  // Selects the first item with exactly this text; no such item raises 383
  // "'Text' property is read-only" (a list cannot show a text it does not hold).
  virtual void set_text(const std::string& text);

  bool sorted() const { return false; }

  // The user picks item `index` (as set_list_index); a disabled list ignores it.
  void SelectItem(int32_t index);

  // The user double-clicks item `index`: it is selected (Click), then DblClick; a disabled
  // list ignores it.
  void DoubleClickItem(int32_t index);

  std::function<void()> on_click;
  std::function<void()> on_dbl_click;

 protected:
  // Index of the first item with exactly `text`, or -1.
  int32_t Find(const std::string& text) const;
  // Changes ListIndex and raises Click when it moved.
  virtual void Select(int32_t index);

 private:
  struct Item {
    std::string text;
    int32_t data = 0;
  };
  void CheckIndex(int32_t index) const;
  std::vector<Item> items_;
  int32_t list_index_ = -1;
};

// Combo box styles.
inline constexpr int16_t kComboDropDown = 0;      // an edit text and a list
inline constexpr int16_t kComboDropDownList = 2;  // a list only, not editable

class ComboBox : public ListBox {
 public:
  explicit ComboBox(std::string name, int16_t style = kComboDropDown);

  // 0 or 2; anything else raises 380.
  int16_t style() const { return style_; }
  void set_style(int16_t style);

  // Drop-down combo: the edit text. Drop-down list: the selected item's text.
  std::string text() const override;
  // Drop-down combo: sets the edit text (Change), and ListIndex follows to the item with
  // exactly that text or -1 (Click when it moves). Drop-down list: selects the item with
  // that text; another text raises 383 "'Text' property is read-only".
  void set_text(const std::string& text) override;
  // The user types into the edit part of a drop-down combo (as set_text); ignored by a
  // drop-down list or a disabled combo.
  void EditText(const std::string& text);

  // The edit text changed (drop-down combo only).
  std::function<void()> on_change;

 protected:
  void Select(int32_t index) override;

 private:
  void SetEditText(const std::string& text);
  int16_t style_;
  std::string edit_text_;
};

}  // namespace tabulo::platform
