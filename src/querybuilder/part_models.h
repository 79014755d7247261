// Where the query builder keeps its SELECT and ORDER BY lists, its filter text and the table's
// column list. The dialog keeps them in its widgets (lstSelect, lstOrderBy, txtWhere,
// lstTableColumns); these interfaces are the few operations the splitting and assembly use,
// so the dialog can hand in its widgets and everyone else uses the plain models below.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tabulo::querybuilder {

class ListModel {
 public:
  virtual ~ListModel() = default;
  virtual void Clear() = 0;
  virtual void AddItem(const std::string& item) = 0;
  virtual int32_t ListCount() const = 0;
  // REQUIRES: 0 <= index < ListCount().
  virtual std::string List(int32_t index) const = 0;
  // -1 when nothing is selected.
  virtual int32_t ListIndex() const = 0;
  virtual void SetListIndex(int32_t index) = 0;
};

class TextModel {
 public:
  virtual ~TextModel() = default;
  virtual std::string Text() const = 0;
  virtual void SetText(const std::string& text) = 0;
};

class PlainList final : public ListModel {
 public:
  void Clear() override;
  void AddItem(const std::string& item) override;
  int32_t ListCount() const override { return static_cast<int32_t>(items_.size()); }
  // Raises 381 "Invalid property array index" outside 0..ListCount()-1.
  std::string List(int32_t index) const override;
  int32_t ListIndex() const override { return list_index_; }
  // Raises 380 "Invalid property value" outside -1..ListCount()-1.
  void SetListIndex(int32_t index) override;

 private:
  std::vector<std::string> items_;
  int32_t list_index_ = -1;
};

class PlainText final : public TextModel {
 public:
  std::string Text() const override { return text_; }
  void SetText(const std::string& text) override { text_ = text; }

 private:
  std::string text_;
};

}  // namespace tabulo::querybuilder
