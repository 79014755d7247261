// frmQueryBuilder: a simple SELECT statement held as four parts (the column list, the FROM
// text, the WHERE text and the sort list), split from a statement text with four regular
// expressions tried in a fixed order and joined back into a statement. The control creates
// one without showing it only to learn the table of a statement (FromPart); the dialog
// (a later addition) shows the same object with its widgets as the part storage.
//
// Splitting never raises: a statement that no pattern matches (or a regular-expression
// limit on a huge text) ends the split silently, leaving the lists and the filter empty and
// FromPart as the last successful split left it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/locale.h"
#include "platform/variant.h"
#include "querybuilder/part_models.h"

namespace tabulo::querybuilder {

class frmQueryBuilder {
 public:
  using Collection = std::shared_ptr<const std::vector<platform::Variant>>;

  // With plain part models of its own; `loc` converts TableColumns elements to text.
  explicit frmQueryBuilder(const platform::Locale& loc = platform::Locale::EnUS());
  // With the dialog's widgets as the part storage; they must outlive the builder.
  frmQueryBuilder(ListModel& lst_select, ListModel& lst_order_by, TextModel& txt_where,
                  ListModel& lst_table_columns, const platform::Locale& loc);
  frmQueryBuilder(const frmQueryBuilder&) = delete;
  frmQueryBuilder& operator=(const frmQueryBuilder&) = delete;

  // get: the statement assembled from the current parts (BuildSql), not the text last set.
  std::string sql();
  // set: every CR LF pair becomes one blank, then the text is split (ParseSql).
  void SetSql(std::string_view text);

  std::string SelectPart() const;
  const std::string& FromPart() const { return m_sFromPart; }
  std::string WherePart() const;
  std::string OrderByPart() const;

  // set: keeps the collection, refills lstTableColumns with each element as text (in the
  // builder's locale) and selects the first. An element that has no text (Null, an object)
  // raises the conversion's error; the entries before it stay listed.
  const Collection& TableColumns() const { return m_colTableColumns; }
  void SetTableColumns(Collection columns);

  int32_t DialogResult() const { return m_nDialogResult; }

  const ListModel& SelectList() const { return *lstSelect; }
  const ListModel& OrderByList() const { return *lstOrderBy; }
  const ListModel& TableColumnList() const { return *lstTableColumns; }

 private:
  void ParseSql();
  void BuildSql();

  // Plain models, when the builder was not given widgets.
  std::unique_ptr<PlainList> own_select_, own_order_by_, own_table_columns_;
  std::unique_ptr<PlainText> own_where_;

  ListModel* lstSelect;
  ListModel* lstOrderBy;
  TextModel* txtWhere;
  ListModel* lstTableColumns;
  const platform::Locale* locale_;

  std::string m_sSql;
  std::string m_sFromPart;
  Collection m_colTableColumns;
  int32_t m_nDialogResult = 0;  // 1 after OK, 2 after Cancel (set by the dialog)
};

}  // namespace tabulo::querybuilder
