// The list and combo box models.
#include "platform/widgets/list_box.h"

#include <utility>

#include "platform/widgets/widget_errors.h"

namespace tabulo::platform {

ListBox::ListBox(std::string name) : Widget(std::move(name)) {}

void ListBox::CheckIndex(int32_t index) const {
  if (index < 0 || index >= list_count()) throw InvalidPropertyArrayIndex(name());
}

void ListBox::AddItem(const std::string& text, int32_t index) {
  if (index == -1) index = list_count();
  if (index < 0 || index > list_count()) throw ComError::InvalidProcedureCall(name());
  items_.insert(items_.begin() + index, Item{text, 0});
  if (list_index_ >= index) ++list_index_;
}

void ListBox::RemoveItem(int32_t index) {
  if (index < 0 || index >= list_count()) throw ComError::InvalidProcedureCall(name());
  items_.erase(items_.begin() + index);
  if (list_index_ == index) {
    list_index_ = -1;
  } else if (list_index_ > index) {
    --list_index_;
  }
}

void ListBox::Clear() {
  items_.clear();
  list_index_ = -1;
}

const std::string& ListBox::list(int32_t index) const {
  CheckIndex(index);
  return items_[index].text;
}

void ListBox::set_list(int32_t index, const std::string& text) {
  CheckIndex(index);
  items_[index].text = text;
}

int32_t ListBox::item_data(int32_t index) const {
  CheckIndex(index);
  return items_[index].data;
}

void ListBox::set_item_data(int32_t index, int32_t data) {
  CheckIndex(index);
  items_[index].data = data;
}

void ListBox::set_list_index(int32_t index) {
  if (index < -1 || index >= list_count()) throw ComError::InvalidPropertyValue(name());
  Select(index);
}

void ListBox::Select(int32_t index) {
  if (index == list_index_) return;
  list_index_ = index;
  if (on_click) on_click();
}

std::string ListBox::text() const {
  return list_index_ >= 0 ? items_[list_index_].text : std::string();
}

int32_t ListBox::Find(const std::string& text) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].text == text) return static_cast<int32_t>(i);
  }
  return -1;
}

void ListBox::set_text(const std::string& text) {
  const int32_t i = Find(text);
  if (i < 0) throw PropertyReadOnly("Text", name());
  Select(i);
}

void ListBox::SelectItem(int32_t index) {
  if (!enabled()) return;
  set_list_index(index);
}

ComboBox::ComboBox(std::string name, int16_t style) : ListBox(std::move(name)), style_(0) {
  set_style(style);
}

void ComboBox::set_style(int16_t style) {
  if (style != kComboDropDown && style != kComboDropDownList)
    throw ComError::InvalidPropertyValue(name());
  style_ = style;
}

std::string ComboBox::text() const {
  return style_ == kComboDropDown ? edit_text_ : ListBox::text();
}

void ComboBox::SetEditText(const std::string& text) {
  if (text == edit_text_) return;
  edit_text_ = text;
  if (on_change) on_change();
}

void ComboBox::set_text(const std::string& text) {
  if (style_ == kComboDropDownList) {
    ListBox::set_text(text);
    return;
  }
  SetEditText(text);
  ListBox::Select(Find(text));
}

void ComboBox::EditText(const std::string& text) {
  if (style_ != kComboDropDown || !enabled()) return;
  set_text(text);
}

void ListBox::DoubleClickItem(int32_t index) {
  if (!enabled()) return;
  SelectItem(index);
  if (on_dbl_click) on_dbl_click();
}

void ComboBox::Select(int32_t index) {
  // Picking an item shows its text in the edit part first, so Click sees the new Text.
  if (style_ == kComboDropDown && index >= 0) SetEditText(list(index));
  ListBox::Select(index);
}

}  // namespace tabulo::platform
