// The query builder dialog: the form that shows a frmQueryBuilder's parts. It owns the
// captions, the two button arrays that edit the column and sort lists, the filter helpers
// (the column and operator insertion) and OK / Cancel; the lists and the filter box are the
// builder's own widgets, which hold the statement's parts.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "platform/runtime/container.h"
#include "platform/widgets/command_button.h"
#include "platform/widgets/form.h"
#include "platform/widgets/label.h"
#include "platform/widgets/list_box.h"
#include "querybuilder/query_builder.h"

namespace tabulo::querybuilder {

// The operators cboOperators offers, in order.
inline constexpr std::array<const char*, 23> kOperators = {
    "=", "'", "<",  "<=", ">",   ">=", "+",  "-",    "*",      "/",       "%",          "_",
    "(", ")", "<>", "!=", "AND", "OR", "IN", "LIKE", "EXISTS", "IS NULL", "IS NOT NULL"};

class QueryBuilderDialog : public platform::Form {
 public:
  // Captions are fetched in `site`'s locale as the dialog loads.
  QueryBuilderDialog(frmQueryBuilder& builder, platform::Container& site);
  // The builder's widgets outlive the dialog: they leave its focus scope.
  ~QueryBuilderDialog() override;

  platform::Label lblHelp{"lblHelp"}, lblSelect{"lblSelect"}, lblTableColumns{"lblTableColumns"},
      lblOrderBy{"lblOrderBy"}, lblWhere{"lblWhere"};
  std::array<std::unique_ptr<platform::CommandButton>, 6> cmdSelectButtons, cmdOrderByButtons;
  std::unique_ptr<platform::CommandButton> cmdWhereButtons, cmdInsert, cmdOk, cmdCancel;
  platform::ComboBox cboOperators{"cboOperators", platform::kComboDropDownList};

 private:
  // Places the widgets as the form lays them out.
  void Arrange();
  // The six buttons beside the select and order-by lists: 0 adds the chosen column and steps
  // to the next one, 1 adds every column, 2 removes the chosen entry, 3 clears the list, 4 and
  // 5 move the chosen entry up and down. Only "every column" differs between the two lists.
  void SelectButton(int index);
  void OrderByButton(int index);
  void EditList(platform::ListBox& target, int index);
  void InsertIntoFilter(const std::string& text);
  void Close(int32_t result);

  frmQueryBuilder& builder_;
};

}  // namespace tabulo::querybuilder
