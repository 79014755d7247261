// An operator's interactive session on one control, as `tabulo browse` runs it at a
// terminal: the control hosted in run mode on an operator's display (operator_container.h),
// sized to the terminal, and the operator's keys, clicks and wheel turned into the actions
// of the control's own widgets. The terminal's drawing and reading stay outside; this is
// what the keys mean.
//
// The operator's cursor is one data cell of the window. Up and Down move it, scrolling
// through the control's scroll bar at the window's edges; PageUp/PageDown are clicks in
// the scroll bar's trough; Home and End set the bar to its top and bottom; Left and Right
// move it between columns. Enter (or a click) on a cell is a click of the grid there, which
// opens the control's editor when updates are allowed; while the editor is open keys and
// typing go to it. Refresh is the control's Refresh, Menu a right click on the cursor cell.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "container/export.h"
#include "container/operator_container.h"
#include "container/property_setting.h"
#include "container/result_find.h"
#include "container/result_view.h"
#include "container/session.h"
#include "control/tabulo_ctl.h"
#include "platform/widgets/flex_grid.h"

namespace tabulo::container {

struct BrowseRequest {
  SessionOptions session;
  std::string db, sql;  // set on the control when not empty
  std::string load;     // a control file, placed instead of a new control when not empty
  std::vector<PropertySetting> settings = {};  // let on the control after db and sql, in order
};

enum class BrowseKey {
  Up,
  Down,
  Left,
  Right,
  PageUp,
  PageDown,
  Home,
  End,
  Enter,
  Tab,
  Escape,
  Backspace,
  Delete,
  Refresh,
  Menu,
  // The last full window: the last record at the bottom (End shows it alone at the top).
  LastWindow,
};

// The parts of the scroll bar a mouse clicks.
enum class ScrollPart { UpArrow, DownArrow, TroughAbove, TroughBelow };

// Where the text rendering shows the grid: line i of the text shows grid row lines[i] (-1
// for the rule under the fixed rows), and the k-th cell of a line ("|"-closed) grid column
// slots[k].
struct GridOnScreen {
  std::vector<int32_t> lines, slots;
};

// A cell of the control's grid, by grid row and column.
struct GridCell {
  int32_t row = -1, col = -1;
};

// Where the open editor's caret and selection are on the rendering: its line and slot (as
// GridOnScreen counts), and, in display cells from the first cell of its text (after the
// "["), the caret and the selected cells [sel_from, sel_to); line -1 when no editor shows.
struct EditorOnScreen {
  int32_t line = -1, slot = -1;
  int64_t caret = 0, sel_from = 0, sel_to = 0;
};
GridOnScreen LayoutOf(const platform::FlexGrid& grid);

// A count for the status line's notes: 1234567 as "1,234,567".
std::string GroupedCount(int64_t n);

class BrowseSession {
 public:
  // Places the control (new, or loaded from request.load) on a display whose questions go
  // to `person` and whose timers run on `clock`; neither is owned. Raises
  // platform::ComError for a bad host configuration or locale or an unreadable file.
  BrowseSession(const BrowseRequest& request, Operator& person, platform::Clock& clock);
  // Places one more control (request.session is not read) on a display that shows several
  // side by side; `display` is not owned, and its Start runs them all.
  BrowseSession(const BrowseRequest& request, Session& display);

  // The terminal's size in character cells; `lines` counts the rendering's lines (the grid's
  // and the status bar's). The control's extent follows it.
  void Resize(int32_t cols, int32_t lines);
  // The same in twips, for a display that measures the control itself.
  void ResizeTo(double width, double height);
  // The host's switch to run mode (for every control of the display): the control starts
  // loading on its timer.
  void Start();
  // Lets the display run what is due: posted work and the timers due on the clock. Returns
  // how many ran (0: nothing on the display can have changed).
  int Pump();

  // Input. Errors the control raises are shown as a message box, never passed on.
  void Press(BrowseKey key);
  void Type(const std::string& text);  // UTF-8 characters typed: for the open editor only
  // A click on the rendering's line `line`, in its `slot`-th cell (as GridOnScreen counts).
  void Click(int32_t line, int32_t slot, bool right_button = false);
  // The same on the grid's cell (`row`, `col`), for a display that names the grid's cells;
  // false, clicking nothing, when that cell is not in view.
  bool ClickGridCell(int32_t row, int32_t col, bool right_button = false);
  void Wheel(int32_t notches);  // negative: toward the top
  void ClickScrollBar(ScrollPart part);
  // The thumb dragged through `positions` of the 16-bit bar, dropped at the last.
  void DragThumb(const std::vector<int16_t>& positions);

  // The rendering; without caret_mark the editor's caret is left for the display to show.
  std::string Render(bool caret_mark = true) const;
  EditorOnScreen EditorPlace() const;
  // Shows a long load's rows so far in the control's first status bar panel (the load's end
  // sets the panel again).
  void ShowLoadProgress(int64_t rows);
  bool Editing() const;
  // The keys that work now, for the display's help line: Enter only where it opens the
  // editor (updates allowed), and a read-only display says so.
  std::string KeyHelp() const;
  // The cursor's record and the record count (view::PositionText); empty with no record.
  std::string Position() const;
  // The cursor cell on the rendering (line and slot as in Click); -1 when not on screen.
  int32_t CursorLine() const;
  int32_t CursorSlot() const;
  // The cursor's grid cell while the window shows it (its row a record); nothing otherwise.
  std::optional<GridCell> CursorCell() const;

  // ---- Reading the result: column widths, whole values, copying ----
  // Grid column `col` (a data column or the record-number column) set to `twips` wide, as
  // the operator drags its border; the control's columns keep the width, so a saved control
  // file has it. Returns false for a column not in the grid.
  bool SetColumnWidth(int32_t col, double twips);
  // The control's own fit of grid column `col`, as a double click on its header border.
  bool FitColumn(int32_t col);
  // The whole text of the cursor's cell, and whether that is a database NULL; nothing
  // without a record under the cursor.
  std::optional<std::string> CursorText() const;
  bool CursorIsNull() const;
  // Whether the cell at line `line`, slot `slot` of the rendering shows a NULL.
  bool IsNullAt(int32_t line, int32_t slot) const;
  // Without an anchor the text of the cursor's cell. With one, the block between the anchor
  // and the cursor as tab-separated lines, the column headers first; tabs and line breaks
  // inside a value become blanks so that every record stays one line. A NULL is "".
  std::string CopyText() const;
  // The anchor of a block: set to the cursor's cell, or cleared; a scroll clears it.
  void SetAnchor(bool on);
  bool HasAnchor() const { return anchor_row_ >= 0; }
  // The block's corners in grid rows and columns; false (the cursor's cell alone) without
  // an anchor in this window.
  bool Block(int32_t* top, int32_t* left, int32_t* bottom, int32_t* right) const;
  // ---- Reading a result: go to, find, sort and filter, export (browse_view.cc) ----
  // Moves the window to record `record` (from 1) and the cursor onto it: the window stays
  // full where it can (the last record shows at its bottom). Beyond the result only the note
  // says so; false then.
  bool GoToRecord(int64_t record);
  // Looks for `text` (letters without regard to case, as the cells show them) in every record
  // of the result from the cursor's cell on (backwards: before it), around the end once; an
  // empty text looks for the last one again. The search runs a slice of records per Pump
  // (Finding() meanwhile; Note() tells how far), then moves the window to the match and puts
  // the cursor on its cell, which the scene marks (FoundLine/FoundSlot).
  void Find(const std::string& text, bool forward = true);
  void CancelFind();
  bool Finding() const { return finder_ != nullptr; }
  // A header's click: sorted by the grid column `col` ascending, then descending, then as the
  // statement has it.
  void SortByColumn(int32_t col);
  // Adds a condition on the field named `column`; raises nothing (a refused value is shown
  // as a message).
  void AddFilter(const std::string& column, FilterOp op, const std::string& value);
  // The same for a condition typed as "COLUMN OPERATOR VALUE" (ParseFilterText); one not of
  // that form is only named in the note, with an example.
  void AddFilterText(const std::string& text);
  // Back to the control's own statement, neither sorted nor filtered.
  void ResetView();
  const ResultView& View() const { return view_; }
  // The statement shown now; the control's own statement (what its saved properties hold).
  std::string ShownStatement() const { return ctl_.RecordSource(); }
  std::string OwnStatement() const;
  // Runs `save` with the control's own statement set, so that a view shown at run time never
  // reaches the saved properties.
  void WithOwnStatement(const std::function<void()>& save);
  // The view's state for the status line ("sorted by Qty, descending; filtered: ..."), then
  // what the last find, go-to or export said (or how far a running find is).
  std::string ViewNote() const { return container::ViewNote(view_); }
  std::string Note() const;
  void SetNote(std::string note) { note_ = std::move(note); }
  // The found cell on the rendering (line and slot as in Click); -1 when none is in view.
  int32_t FoundLine() const;
  int32_t FoundSlot() const;
  // The found cell's grid cell while the window shows it; nothing otherwise.
  std::optional<GridCell> FoundCell() const;
  // The export of what is shown now (statement, sort and filter) from the control's source,
  // through the host configuration `host_config` (empty: the embedded default).
  ExportRequest ViewExport(RowFormat format, const std::string& host_config) const;

  Session& session() { return session_; }
  const control::TabuloCtl& control() const { return ctl_; }
  control::TabuloCtl& control() { return ctl_; }

 private:
  template <typename Action>
  void Guarded(Action action);
  void Guard(const std::function<void()>& action);  // Guarded, for the other source files
  void PressOnGrid(BrowseKey key);
  void PressInEditor(BrowseKey key);
  void MoveCursorRow(int32_t step);
  void MoveCursorCol(int32_t step);
  // A click on the grid's cell (`row`, `col`) in view, a data cell's moving the cursor.
  void ClickInView(int32_t row, int32_t col, bool right_button);
  // A left click on a data cell: the grid's click there, entering it again when it is
  // already the current cell so that the control opens its editor.
  void ClickDataCell(int32_t row, int32_t col);
  // Keeps the cursor on a data cell of the window that shows a record.
  void ClampCursor();
  bool ShowsRecord(int32_t row) const;
  void ShowLastWindow();
  // The record number of the window's first row; -1 when it shows none.
  int64_t FirstRecordShown() const;

  BrowseSession(const BrowseRequest& request, std::unique_ptr<Session> own);

  // browse_view.cc
  int StepFind();
  void ApplyView(ResultView next);
  // Takes the control's statement as its own when something else than a view set it.
  void AdoptOwnStatement();
  std::vector<int32_t> ShownFields() const;
  int32_t GridRowOfRecord(int64_t record) const;
  GridCell FoundGridCell() const;

  std::unique_ptr<Session> own_;  // null when the display is shared
  Session& session_;
  control::TabuloCtl& ctl_;
  int32_t cursor_row_ = 1, cursor_col_ = 1;
  int32_t anchor_row_ = -1, anchor_col_ = -1;
  int32_t anchor_first_ = -1;  // the window's first record when the anchor was set

  // browse_view.cc
  std::string own_sql_, shown_sql_;
  ResultView view_;
  std::unique_ptr<ResultFinder> finder_;
  std::string last_find_;
  bool last_forward_ = true;
  std::optional<ResultCell> found_;
  std::string note_;
};

}  // namespace tabulo::container
