// The query builder dialog's widgets and the list operations of its buttons.
#include "querybuilder/query_builder_dialog.h"

#include <algorithm>
#include <initializer_list>

#include "localization/localized_string.h"

namespace tabulo::querybuilder {
namespace {

using platform::ListBox;

constexpr const char* kSelectCaptions[] = {"<", "<<", ">", ">>", "↑", "↓"};
constexpr const char* kOrderByCaptions[] = {">", ">>", "<", "<<", "↑", "↓"};

// The name of element `index` of a widget array: "NAME(INDEX)".
std::string Indexed(std::string name, int index) {
  name.append(1, '(').append(std::to_string(index)).append(1, ')');
  return name;
}

bool Holds(const ListBox& list, const std::string& text) {
  for (int32_t i = 0; i < list.list_count(); ++i)
    if (list.list(i) == text) return true;
  return false;
}

// Appends the selected source entry unless the target holds it; a "*" entry then goes.
void AddSelected(const ListBox& source, ListBox& target) {
  const std::string text = source.list(source.list_index());
  if (Holds(target, text)) return;
  target.AddItem(text);
  for (int32_t i = 0; i < target.list_count(); ++i) {
    if (target.list(i) != "*") continue;
    target.RemoveItem(i);
    break;
  }
  target.SetFocus();
}

void RemoveSelected(ListBox& list) {
  const int32_t i = list.list_index();
  if (i < 0) return;
  list.RemoveItem(i);
  if (list.list_count() > 0) list.set_list_index(std::min(i, list.list_count() - 1));
}

// Moves the selected entry by `step` (-1 up, +1 down), staying within the list.
void Move(ListBox& list, int32_t step) {
  const int32_t i = list.list_index();
  if (i < 0) return;
  const std::string text = list.list(i);
  list.RemoveItem(i);
  const int32_t to = std::clamp(i + step, 0, list.list_count());
  list.AddItem(text, to);
  list.set_list_index(to);
}

void Clear(ListBox& list) {
  list.Clear();
  list.SetFocus();
}

}  // namespace

QueryBuilderDialog::QueryBuilderDialog(frmQueryBuilder& builder, platform::Container& site)
    : builder_(builder) {
  platform::EventLoop& loop = site.event_loop();
  const platform::Locale& loc = site.UserLocale();
  localization::LocalizationState& shared = localization::SharedLocalization(site);
  auto text = [&](int32_t id) { return localization::GetDialogString(shared, "Tabulo", id, loc); };
  set_caption("Query Builder");
  auto button = [&](std::string name, std::string caption) {
    auto b = std::make_unique<platform::CommandButton>(std::move(name), loop);
    b->set_caption(std::move(caption));
    return b;
  };
  lblHelp.set_caption(text(1166));
  lblSelect.set_caption(text(1167));
  lblTableColumns.set_caption(text(1168));
  lblOrderBy.set_caption(text(1169));
  lblWhere.set_caption(text(1170));
  for (int i = 0; i < 6; ++i) {
    cmdSelectButtons[i] = button(Indexed("cmdSelectButtons", i), kSelectCaptions[i]);
    cmdSelectButtons[i]->on_click = [this, i] { SelectButton(i); };
    cmdOrderByButtons[i] = button(Indexed("cmdOrderByButtons", i), kOrderByCaptions[i]);
    cmdOrderByButtons[i]->on_click = [this, i] { OrderByButton(i); };
  }
  cmdWhereButtons = button("cmdWhereButtons(0)", "⌄");
  cmdWhereButtons->on_click = [this] {
    const ListBox& columns = builder_.lstTableColumns;
    if (columns.list_index() >= 0) InsertIntoFilter(columns.list(columns.list_index()) + " ");
  };
  cmdInsert = button("cmdInsert", text(1171));
  cmdInsert->on_click = [this] {
    if (!cboOperators.text().empty()) InsertIntoFilter(cboOperators.text());
  };
  cmdOk = button("cmdOk", text(1005));
  cmdOk->on_click = [this] { Close(1); };
  cmdCancel = button("cmdCancel", text(1004));
  cmdCancel->on_click = [this] { Close(2); };
  // The filter box is several lines high: Enter there starts a new line.
  builder_.txtWhere.set_multi_line(true);
  for (const char* op : kOperators) cboOperators.AddItem(op);
  cboOperators.set_list_index(0);

  for (platform::Widget* w : std::initializer_list<platform::Widget*>{
           (&lblHelp), &lblSelect, &lblTableColumns, &lblOrderBy})
    AddWidget(*w);
  AddWidget(builder_.lstSelect);
  for (auto& b : cmdSelectButtons) AddWidget(*b);
  AddWidget(builder_.lstTableColumns);
  for (auto& b : cmdOrderByButtons) AddWidget(*b);
  AddWidget(builder_.lstOrderBy);
  AddWidget(*cmdWhereButtons);
  AddWidget(lblWhere);
  AddWidget(builder_.txtWhere);
  AddWidget(cboOperators);
  AddWidget(*cmdInsert);
  AddWidget(*cmdOk);
  AddWidget(*cmdCancel);
  Arrange();
}

void QueryBuilderDialog::Arrange() {
  // Twips on a client area 7575 wide and 6270 high.
  lblHelp.Move(120, 120, 7335, 825);
  lblSelect.Move(120, 1080, 2055, 240);
  lblTableColumns.Move(2760, 1080, 2055, 240);
  lblOrderBy.Move(5400, 1080, 2055, 240);
  builder_.lstSelect.Move(120, 1320, 2055, 2790);
  builder_.lstTableColumns.Move(2760, 1320, 2055, 2790);
  builder_.lstOrderBy.Move(5400, 1320, 2055, 2790);
  for (int i = 0; i < 6; ++i) {
    cmdSelectButtons[i]->Move(2280, 1320 + 480 * i, 375, 375);
    cmdOrderByButtons[i]->Move(4920, 1320 + 480 * i, 375, 375);
  }
  cmdWhereButtons->Move(3600, 4200, 375, 375);
  lblWhere.Move(120, 4440, 2055, 240);
  builder_.txtWhere.Move(120, 4680, 7335, 975);
  cboOperators.Move(120, 5760, 1335, 315);
  cmdInsert->Move(1560, 5760, 615, 375);
  cmdOk->Move(5160, 5760, 1095, 375);
  cmdCancel->Move(6360, 5760, 1095, 375);
}

QueryBuilderDialog::~QueryBuilderDialog() {
  for (platform::Widget* w :
       std::initializer_list<platform::Widget*>{(&builder_.lstSelect), &builder_.lstTableColumns,
                                                &builder_.lstOrderBy, &builder_.txtWhere})
    w->set_focus_scope(nullptr);
}

void QueryBuilderDialog::SelectButton(int index) {
  ListBox& target = builder_.lstSelect;
  if (index != 1) return EditList(target, index);
  target.Clear();
  target.AddItem("*");
}

void QueryBuilderDialog::OrderByButton(int index) {
  ListBox& target = builder_.lstOrderBy;
  ListBox& columns = builder_.lstTableColumns;
  if (index != 1) return EditList(target, index);
  if (columns.list_index() < 0) return;
  for (int32_t i = 0; i < columns.list_count(); ++i)
    if (!Holds(target, columns.list(i))) target.AddItem(columns.list(i));
  target.SetFocus();
}

void QueryBuilderDialog::EditList(ListBox& target, int index) {
  ListBox& columns = builder_.lstTableColumns;
  switch (index) {
    case 0:
      if (columns.list_index() < 0) return;
      AddSelected(columns, target);
      if (columns.list_index() < columns.list_count() - 1)
        columns.set_list_index(columns.list_index() + 1);
      return;
    case 2:
      return RemoveSelected(target);
    case 3:
      return Clear(target);
    default:
      return Move(target, index == 4 ? -1 : 1);
  }
}

void QueryBuilderDialog::InsertIntoFilter(const std::string& text) {
  builder_.txtWhere.SetFocus();
  builder_.txtWhere.set_sel_text(text);
}

void QueryBuilderDialog::Close(int32_t result) {
  builder_.m_nDialogResult = result;
  set_shown(false);
}

void frmQueryBuilder::Show(platform::Container& site) {
  m_nDialogResult = 0;
  QueryBuilderDialog dialog(*this, site);
  site.ShowModal(dialog);
}

}  // namespace tabulo::querybuilder
