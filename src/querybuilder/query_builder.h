// frmQueryBuilder: a simple SELECT statement held as four parts (the column list, the FROM
// text, the WHERE text and the sort list), split from a statement text with four regular
// expressions tried in a fixed order and joined back into a statement. The control creates
// one without showing it only to learn the table of a statement (FromPart); the dialog
// (a later addition) shows the same object. The SELECT and ORDER BY lists and the WHERE text
// live in the dialog's widget models, which are the storage of the parts either way.
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

#include "platform/runtime/container.h"
#include "platform/text/locale.h"
#include "platform/values/variant.h"
#include "platform/widgets/list_box.h"
#include "platform/widgets/text_box.h"

namespace tabulo::querybuilder {

class frmQueryBuilder {
 public:
  using Collection = std::shared_ptr<const std::vector<platform::Variant>>;

  // `loc` converts TableColumns elements to text.
  explicit frmQueryBuilder(const platform::Locale& loc = platform::Locale::EnUS());
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
  // Shows the dialog (query_builder_dialog.h) modally in `site` and keeps its result:
  // 1 after OK, 2 after Cancel, 0 when it closed otherwise.
  void Show(platform::Container& site);

  // The part storage: the dialog shows these widgets and the operator edits them.
  platform::ListBox lstSelect{"lstSelect"};
  platform::ListBox lstOrderBy{"lstOrderBy"};
  platform::TextBox txtWhere{"txtWhere"};
  platform::ListBox lstTableColumns{"lstTableColumns"};

 private:
  friend class QueryBuilderDialog;
  void ParseSql();
  void BuildSql();

  const platform::Locale* locale_;
  std::string m_sSql;
  std::string m_sFromPart;
  Collection m_colTableColumns;
  int32_t m_nDialogResult = 0;  // 1 after OK, 2 after Cancel (set by the dialog)
};

}  // namespace tabulo::querybuilder
