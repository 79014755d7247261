// Reading a result in an operator's session: go to a record, find a text, sort and filter,
// export what is shown (browse_session.h).
#include "container/browse_session.h"

#include <algorithm>

#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

// Records looked at per Pump while a find runs: a tenth of a second or less at the finder's
// pace, so that keys and the display's other work wait no longer than that.
constexpr int64_t kFindSlice = 50000;

std::string Grouped(int64_t n) {
  return GroupedCount(n);
}

}  // namespace

std::string GroupedCount(int64_t n) {
  std::string digits = std::to_string(n), out;
  const size_t sign = n < 0 ? 1 : 0;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > sign && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::vector<int32_t> BrowseSession::ShownFields() const {
  std::vector<int32_t> fields;
  const host::RecordSet* rs = ctl_.CurrentRecordSet();
  if (!rs || rs->State() != 1) return fields;
  const auto& columns = ctl_.Columns();
  for (int32_t i = 0; i < ctl_.ColumnCount() && static_cast<size_t>(i) < columns.size(); ++i)
    if (columns[static_cast<size_t>(i)].Visible) fields.push_back(i);
  return fields;
}

int32_t BrowseSession::GridRowOfRecord(int64_t record) const {
  const platform::FlexGrid& grid = ctl_.Grid;
  const std::string number = std::to_string(record);
  for (int32_t r = grid.FixedRows(); r < grid.Rows(); ++r)
    if (ShowsRecord(r) && grid.TextMatrix(r, 0) == number) return r;
  return -1;
}

bool BrowseSession::GoToRecord(int64_t record) {
  host::RecordSet* rs = ctl_.CurrentRecordSet();
  const int64_t count = rs && rs->State() == 1 ? rs->RecordCount() : 0;
  if (record < 1 || record > count) {
    note_ = count == 0 ? "There is no record to go to."
                       : "Record " + Grouped(record) + " is not in the result: give 1 to " +
                             Grouped(count) + ".";
    return false;
  }
  Guard([&] {
    longscroll::LongScroll& bar = ctl_.ScrollBar;
    // The window stays full: near the end it shows the last records, the record among them.
    int64_t in_view = 0;
    for (int32_t r : LayoutOf(ctl_.Grid).lines) in_view += r >= ctl_.Grid.FixedRows() ? 1 : 0;
    const int64_t full = std::max<int64_t>(0, count - std::max<int64_t>(in_view, 1));
    const int64_t first = std::min<int64_t>(record - 1, full);
    const int32_t value = static_cast<int32_t>(std::clamp<int64_t>(first, bar.Min(), bar.Max()));
    // A window that reached the last record does not move forward (the control's rule for
    // its scroll bar): it is moved back to the top first, from where any move fills.
    host::RecordSet* now = ctl_.CurrentRecordSet();
    if (value > bar.Value() && now && now->Eof()) {
      bar.SetValue(bar.Min());
      Pump();
    }
    bar.SetValue(value);
    Pump();
    int32_t row = GridRowOfRecord(record);
    if (row < 0) {  // a window that shows fewer rows than it holds: the record at its top
      bar.SetValue(static_cast<int32_t>(std::clamp<int64_t>(record - 1, bar.Min(), bar.Max())));
      Pump();
      row = GridRowOfRecord(record);
    }
    if (row >= 0) cursor_row_ = row;
  });
  note_.clear();
  return GridRowOfRecord(record) == cursor_row_;
}

void BrowseSession::Find(const std::string& text, bool forward) {
  const std::string needle = text.empty() ? last_find_ : text;
  CancelFind();
  found_.reset();
  if (needle.empty()) {
    note_ = "Nothing to find: type a text after / (Ctrl+F in the browser).";
    return;
  }
  last_find_ = needle;
  last_forward_ = forward;
  host::RecordSet* rs = ctl_.CurrentRecordSet();
  const std::vector<int32_t> fields = ShownFields();
  if (!rs || fields.empty() || rs->RecordCount() == 0) {
    note_ = "There is no record to search.";
    return;
  }
  // From the cursor's cell; with no cursor in the window, from the window's first record.
  const platform::FlexGrid& grid = ctl_.Grid;
  ResultCell from{ctl_.FirstRow(), fields.front()};
  if (ShowsRecord(cursor_row_)) {
    from.record = std::stoll(grid.TextMatrix(cursor_row_, 0)) - 1;
    const size_t slot = static_cast<size_t>(std::max(cursor_col_ - grid.FixedCols(), 0));
    from.field = fields[std::min(slot, fields.size() - 1)];
  }
  finder_ = std::make_unique<ResultFinder>(*rs, needle, fields, from, forward,
                                           session_.container().UserLocale());
  note_.clear();
}

void BrowseSession::CancelFind() {
  if (!finder_) return;
  note_ = "Find cancelled after " + Grouped(finder_->examined()) + " of " +
          Grouped(finder_->total() - 1) + " records.";
  finder_.reset();
}

int BrowseSession::StepFind() {
  if (!finder_) return 0;
  // A refresh (or a new view) replaced the record set: the search would read a closed one.
  if (finder_->record_set() != ctl_.CurrentRecordSet()) {
    finder_.reset();
    note_ = "Find stopped: the result was loaded again. Search again.";
    return 1;
  }
  try {
    if (!finder_->Step(kFindSlice)) return 1;
  } catch (const platform::ComError& e) {
    finder_.reset();
    note_ = "Find stopped: " + e.description();
    return 1;
  }
  const std::unique_ptr<ResultFinder> done = std::move(finder_);
  const std::string quoted = "\"" + done->needle() + "\"";
  if (!done->found()) {
    note_ = "No cell holds " + quoted + ".";
    return 1;
  }
  const ResultCell at = *done->found();
  GoToRecord(at.record + 1);
  const std::vector<int32_t> fields = ShownFields();
  const auto slot = std::find(fields.begin(), fields.end(), at.field) - fields.begin();
  cursor_col_ = ctl_.Grid.FixedCols() + static_cast<int32_t>(slot);
  MoveCursorCol(0);
  found_ = at;
  note_ = "Found " + quoted + " in record " + Grouped(at.record + 1) +
          (done->wrapped() ? (done->forward() ? " (from the top again)" : " (from the end again)")
                           : "") +
          ".";
  return 1;
}

std::string BrowseSession::Note() const {
  if (!finder_) return note_;
  return "Finding \"" + finder_->needle() + "\": " + Grouped(finder_->examined()) + " of " +
         Grouped(finder_->total() - 1) + " records (Esc cancels)";
}

// The found cell's grid row and column, -1 each when the window holds no such row or the
// field has no grid column.
GridCell BrowseSession::FoundGridCell() const {
  if (!found_) return {};
  GridCell cell;
  cell.row = GridRowOfRecord(found_->record + 1);
  const std::vector<int32_t> fields = ShownFields();
  const auto field = std::find(fields.begin(), fields.end(), found_->field);
  if (field != fields.end())
    cell.col = ctl_.Grid.FixedCols() + static_cast<int32_t>(field - fields.begin());
  return cell;
}

int32_t BrowseSession::FoundLine() const {
  const int32_t row = FoundGridCell().row;
  if (row < 0) return -1;
  const GridOnScreen on = LayoutOf(ctl_.Grid);
  const auto at = std::find(on.lines.begin(), on.lines.end(), row);
  return at == on.lines.end() ? -1 : static_cast<int32_t>(at - on.lines.begin());
}

int32_t BrowseSession::FoundSlot() const {
  if (FoundLine() < 0) return -1;
  const int32_t col = FoundGridCell().col;
  if (col < 0) return -1;
  const GridOnScreen on = LayoutOf(ctl_.Grid);
  const auto at = std::find(on.slots.begin(), on.slots.end(), col);
  return at == on.slots.end() ? -1 : static_cast<int32_t>(at - on.slots.begin());
}

std::optional<GridCell> BrowseSession::FoundCell() const {
  if (FoundLine() < 0 || FoundSlot() < 0) return std::nullopt;
  return FoundGridCell();
}

void BrowseSession::AdoptOwnStatement() {
  if (!shown_sql_.empty() && ctl_.RecordSource() == shown_sql_) return;
  own_sql_ = ctl_.RecordSource();
  shown_sql_ = own_sql_;
  view_ = ResultView{};
}

std::string BrowseSession::OwnStatement() const {
  return !shown_sql_.empty() && ctl_.RecordSource() == shown_sql_ ? own_sql_ : ctl_.RecordSource();
}

void BrowseSession::WithOwnStatement(const std::function<void()>& save) {
  const std::string shown = ctl_.RecordSource(), own = OwnStatement();
  if (shown == own) return save();
  ctl_.SetRecordSource(own);
  struct Restore {
    control::TabuloCtl& ctl;
    const std::string& shown;
    ~Restore() { ctl.SetRecordSource(shown); }
  } restore{ctl_, shown};
  save();
}

void BrowseSession::ApplyView(ResultView next) {
  Guard([&] {
    AdoptOwnStatement();
    const std::string sql =
        ViewStatement(own_sql_, next, session_.container().UserLocale());  // raises when refused
    finder_.reset();
    found_.reset();
    note_.clear();
    view_ = std::move(next);
    shown_sql_ = sql;
    ctl_.SetRecordSource(sql);
    ctl_.Refresh(true);
    cursor_row_ = ctl_.Grid.FixedRows();
  });
}

void BrowseSession::SortByColumn(int32_t col) {
  const std::vector<int32_t> fields = ShownFields();
  const int32_t slot = col - ctl_.Grid.FixedCols();
  if (slot < 0 || slot >= static_cast<int32_t>(fields.size())) return;
  AdoptOwnStatement();
  const std::string name =
      ctl_.Columns()[static_cast<size_t>(fields[static_cast<size_t>(slot)])].Name;
  ResultView next = view_;
  next.order = next.sort_column == name ? NextSortOrder(next.order) : SortOrder::kAscending;
  next.sort_column = next.order == SortOrder::kAsStated ? std::string() : name;
  ApplyView(std::move(next));
}

void BrowseSession::AddFilter(const std::string& column, FilterOp op, const std::string& value) {
  host::RecordSet* rs = ctl_.CurrentRecordSet();
  const auto& columns = ctl_.Columns();
  int32_t type = -1;
  for (int32_t i = 0; rs && rs->State() == 1 && i < rs->FieldCount(); ++i)
    if (static_cast<size_t>(i) < columns.size() && columns[static_cast<size_t>(i)].Name == column)
      type = rs->Item(i).Type();
  if (type < 0) {
    note_ = "No column is named \"" + column + "\".";
    return;
  }
  AdoptOwnStatement();
  ResultView next = view_;
  next.filters.push_back(FilterCondition{column, type, op, value});
  ApplyView(std::move(next));
}

void BrowseSession::AddFilterText(const std::string& text) {
  std::vector<std::string> names;
  for (const control::GridColumn& c : ctl_.Columns())
    if (c.Visible && !c.Name.empty()) names.push_back(c.Name);
  const std::optional<FilterCondition> condition = ParseFilterText(text, names);
  if (!condition) {
    note_ = "\"" + text + "\" is no filter: type a column, an operator and a value, as in \"" +
            (names.empty() ? std::string("Qty") : names.back()) +
            " >= 10\" (contains, =, <>, <, <=, >, >=, is null, is not null).";
    return;
  }
  AddFilter(condition->column, condition->op, condition->value);
}

void BrowseSession::ResetView() {
  AdoptOwnStatement();
  if (view_.Plain()) return;
  ApplyView(ResultView{});
}

ExportRequest BrowseSession::ViewExport(RowFormat format, const std::string& host_config) const {
  ExportRequest request;
  request.host_config = host_config;
  request.db = ctl_.DSNname();
  request.sql = ctl_.RecordSource();
  request.server_type = ctl_.ServerType();
  request.database = ctl_.Database();
  request.format = format;
  return request;
}

}  // namespace tabulo::container
