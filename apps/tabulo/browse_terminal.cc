// The terminal of `tabulo browse` on ncursesw (browse_terminal.h).
#include "browse_terminal.h"

#include <curses.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "container/load_progress.h"
#include "curses_keys.h"
#include "platform/runtime/container.h"
#include "platform/text/utf8_cursor.h"
#include "platform/values/com_error.h"

namespace tabulo::app {
namespace {

using container::BrowseKey;

volatile std::sig_atomic_t g_interrupted = 0;

// Whether the terminal went away (its other end closed): curses then reports "no key" at
// once instead of after the poll interval, and the loop would spin. Ends the session as a
// hang-up does.
bool TerminalGone() {
  pollfd fd{STDIN_FILENO, POLLIN, 0};
  if (::poll(&fd, 1, 0) < 0 || (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) return false;
  g_interrupted = 1;
  return true;
}

void OnSignal(int) {
  g_interrupted = 1;
}

constexpr int kPollMillis = 50;  // how often timers get their turn while no key comes

// UTF-8 to the wide characters curses draws; a malformed byte shows as '?'.
std::wstring Wide(const std::string& s) {
  std::wstring out;
  for (size_t i = 0, length = 0; i < s.size(); i += length) {
    const uint32_t cp = platform::DecodeCodePoint(s, i, &length);
    const bool malformed = length == 1 && cp >= 0x80;
    out.push_back(malformed ? L'?' : static_cast<wchar_t>(cp));
  }
  return out;
}

std::string Utf8(wint_t c) {
  return platform::EncodeCodePoint(static_cast<uint32_t>(c));
}

void PutText(WINDOW* win, int y, int x, const std::string& text, int width) {
  if (width <= 0) return;
  const std::wstring w = Wide(text);
  mvwaddnwstr(win, y, x, w.c_str(), width);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// Lines of at most `width` characters, broken at blanks where possible.
std::vector<std::string> Wrap(const std::string& text, size_t width) {
  std::vector<std::string> out;
  for (const std::string& line : SplitLines(text)) {
    std::wstring rest = Wide(line);
    do {
      size_t cut = rest.size() <= width ? rest.size() : rest.rfind(L' ', width);
      if (cut == std::wstring::npos || cut == 0) cut = std::min(width, rest.size());
      std::string piece;
      for (wchar_t c : rest.substr(0, cut)) piece += Utf8(static_cast<wint_t>(c));
      out.push_back(piece);
      rest.erase(0, cut);
      if (!rest.empty() && rest.front() == L' ') rest.erase(0, 1);
    } while (!rest.empty());
  }
  return out;
}

// The columns of the '|' that close the cells of screen line y.
std::vector<int> CellEnds(int y) {
  std::vector<int> ends;
  for (int x = 0; x < COLS; ++x)
    if ((mvinch(y, x) & A_CHARTEXT) == '|') ends.push_back(x);
  return ends;
}

// The first column of the cell that closes at ends[slot] on a screen line.
int CellStart(const std::vector<int>& ends, size_t slot) {
  return slot == 0 ? 0 : ends[slot - 1] + 1;
}

// A framed window with its title on the frame: its top left corner at (top, left), moved
// back inside the screen where it would cross an edge, or in the middle when top < 0.
WINDOW* OpenBox(int height, int width, const std::string& title, int top = -1, int left = -1) {
  height = std::min(height, LINES);
  width = std::min(width, COLS);
  if (top < 0 || left < 0) {
    top = (LINES - height) / 2;
    left = (COLS - width) / 2;
  }
  WINDOW* win = newwin(height, width, std::min(top, LINES - height), std::min(left, COLS - width));
  keypad(win, TRUE);
  wtimeout(win, kPollMillis);
  box(win, 0, 0);
  if (!title.empty()) PutText(win, 0, 2, " " + title + " ", width - 4);
  return win;
}

void CloseBox(WINDOW* win) {
  delwin(win);
  touchwin(stdscr);
  refresh();
}

// A key from a box; ERR while none comes, also after an interrupt (the caller checks).
int ReadKey(WINDOW* win, wint_t& ch) {
  int kind;
  while ((kind = wget_wch(win, &ch)) == ERR)
    if (g_interrupted || TerminalGone()) return ERR;
  return kind;
}

bool IsEnter(int kind, wint_t ch) {
  return (kind == KEY_CODE_YES && ch == KEY_ENTER) || (kind == OK && (ch == L'\n' || ch == L'\r'));
}

bool IsBackspace(int kind, wint_t ch) {
  return (kind == KEY_CODE_YES && ch == KEY_BACKSPACE) || (kind == OK && (ch == 127 || ch == 8));
}

// The keys that press one of the grid's keys, as curses reads them: its function keys
// (`function`) and the control characters typed.
struct GridKey {
  bool function;
  wint_t code;
  BrowseKey key;
};
constexpr GridKey kGridKeys[] = {
    {true, KEY_UP, BrowseKey::Up},           {true, KEY_DOWN, BrowseKey::Down},
    {true, KEY_LEFT, BrowseKey::Left},       {true, KEY_RIGHT, BrowseKey::Right},
    {true, KEY_PPAGE, BrowseKey::PageUp},    {true, KEY_NPAGE, BrowseKey::PageDown},
    {true, KEY_HOME, BrowseKey::Home},       {true, KEY_END, BrowseKey::End},
    {true, KEY_SEND, BrowseKey::LastWindow},  // Shift+End, as Ctrl+End: the last full window
    {true, KEY_ENTER, BrowseKey::Enter},     {true, KEY_BACKSPACE, BrowseKey::Backspace},
    {true, KEY_DC, BrowseKey::Delete},       {true, KEY_F(5), BrowseKey::Refresh},
    {false, L'\n', BrowseKey::Enter},        {false, L'\r', BrowseKey::Enter},
    {false, L'\t', BrowseKey::Tab},          {false, 127, BrowseKey::Backspace},
    {false, 8, BrowseKey::Backspace},
};

// The grid's key that the key read (curses' kind and character) presses, if any.
std::optional<BrowseKey> GridKeyOf(int kind, wint_t ch) {
  const bool function = kind == KEY_CODE_YES;
  for (const GridKey& k : kGridKeys)
    if (k.function == function && k.code == ch) return k.key;
  // Ctrl+End and Ctrl+Home, as the terminal's description names them.
  if (function && static_cast<int>(ch) == ExtendedKey("kEND5")) return BrowseKey::LastWindow;
  if (function && static_cast<int>(ch) == ExtendedKey("kHOM5")) return BrowseKey::Home;
  return std::nullopt;
}

std::string Base64(const std::string& bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t n = static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << 16;
    if (i + 1 < bytes.size()) n |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) n |= static_cast<uint8_t>(bytes[i + 2]);
    out += kDigits[(n >> 18) & 63];
    out += kDigits[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(n >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[n & 63] : '=';
  }
  return out;
}

// Whether the terminal takes a copy into the clipboard through OSC 52. TABULO_CLIPBOARD
// says so ("osc52") or not ("file"); otherwise the terminals known to take it do, and a
// terminal multiplexer passes it on.
bool TakesOsc52() {
  const char* setting = std::getenv("TABULO_CLIPBOARD");
  if (setting != nullptr && *setting != '\0') return std::string(setting) == "osc52";
  const char* term = std::getenv("TERM");
  const std::string t = term ? term : "";
  for (const char* known : {"xterm", "tmux", "screen", "alacritty", "foot", "kitty", "wezterm"})
    if (t.rfind(known, 0) == 0) return true;
  return false;
}

constexpr size_t kMaxOsc52Bytes = 74994;  // 100,000 base64 characters: what terminals take

}  // namespace

Terminal::Terminal() {
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
  initscr();
  cbreak();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  set_escdelay(25);
  curs_set(0);
  timeout(kPollMillis);
  mouseinterval(0);
  mousemask(BUTTON1_PRESSED | BUTTON3_PRESSED | BUTTON4_PRESSED | BUTTON5_PRESSED, nullptr);
}

Terminal::~Terminal() {
  endwin();
}

int Terminal::cols() const {
  return COLS;
}

int Terminal::lines() const {
  return LINES - 1;
}

void Terminal::Draw(container::BrowseSession& browse) {
  erase();
  // The editor's caret is the terminal's own cursor, not a mark in the text.
  const std::vector<std::string> text = SplitLines(browse.Render(false));
  const int shown = std::min(static_cast<int>(text.size()), lines());
  for (int y = 0; y < shown; ++y) PutText(stdscr, y, 0, text[static_cast<size_t>(y)], COLS);
  MarkCells(browse, shown);
  const int line = browse.CursorLine(), slot = browse.CursorSlot();
  if (!browse.Editing() && line >= 0 && line < shown && slot >= 0) {
    const std::vector<int> ends = CellEnds(line);
    if (static_cast<size_t>(slot) < ends.size()) {
      const int from = CellStart(ends, static_cast<size_t>(slot));
      mvchgat(line, from, ends[static_cast<size_t>(slot)] - from, A_REVERSE, 0, nullptr);
    }
  }
  // The cell a find stopped at, underlined as well while it is in view.
  const int found_line = browse.FoundLine(), found_slot = browse.FoundSlot();
  if (found_line >= 0 && found_line < shown && found_slot >= 0) {
    const std::vector<int> ends = CellEnds(found_line);
    if (static_cast<size_t>(found_slot) < ends.size()) {
      const int from = CellStart(ends, static_cast<size_t>(found_slot));
      const attr_t reverse = found_line == line && found_slot == slot ? A_REVERSE : A_NORMAL;
      mvchgat(found_line, from, ends[static_cast<size_t>(found_slot)] - from,
              A_UNDERLINE | A_BOLD | reverse, 0, nullptr);
    }
  }
  // The last line: the keys that work now, and the cursor's record at its right end.
  attron(A_REVERSE);
  const std::string position = browse.Position();
  const int position_width = position.empty() ? 0 : static_cast<int>(Wide(position).size()) + 1;
  // What a copy, find, go-to or export said (or how far a find is) stands in for the key
  // help; a sorted or filtered view says so first.
  const std::string note = note_.empty() ? browse.Note() : note_, view = browse.ViewNote();
  std::string keys = browse.KeyHelp();
  // The reading keys, where the line has room for them.
  const std::string reading = "  / find  : go to  s sort  f filter  e export";
  const size_t quit = keys.find("  q quit");
  if (quit != std::string::npos &&
      static_cast<int>(Wide(keys).size() + reading.size()) + position_width < COLS)
    keys.insert(quit, reading);
  const std::string help =
      (view.empty() ? "" : " [" + view + "]") + (note.empty() ? keys : " " + note);
  PutText(stdscr, LINES - 1, 0, help, COLS - 1 - position_width);
  if (position_width > 0 && position_width < COLS)
    PutText(stdscr, LINES - 1, COLS - position_width, position, position_width - 1);
  attroff(A_REVERSE);
  // The open editor: its selection in reverse, the cursor shown where the caret is.
  const container::EditorOnScreen editor = browse.EditorPlace();
  bool caret_shown = false;
  if (editor.line >= 0 && editor.line < shown) {
    const std::vector<int> ends = CellEnds(editor.line);
    const size_t slot = static_cast<size_t>(editor.slot);
    if (slot < ends.size()) {
      // The slot is "[text]": the text runs from after the "[" up to the "]".
      const int first = (slot == 0 ? 0 : ends[slot - 1] + 1) + 1;
      const int close = ends[slot] - 1;
      const auto at = [&](int64_t cells) {
        return static_cast<int>(std::min<int64_t>(first + cells, close));
      };
      if (close >= first) {
        if (at(editor.sel_to) > at(editor.sel_from))
          mvchgat(editor.line, at(editor.sel_from), at(editor.sel_to) - at(editor.sel_from),
                  A_REVERSE, 0, nullptr);
        move(editor.line, at(editor.caret));
        caret_shown = true;
      }
    }
  }
  curs_set(caret_shown ? 1 : 0);
  refresh();
}

int Terminal::Run(container::BrowseSession& browse) {
  // A long load shows its progress in the status bar while it lasts.
  platform::ProcessState& state = browse.session().process_state();
  container::SetLoadProgressSink(state, [this, &browse](int64_t rows) {
    browse.ShowLoadProgress(rows);
    Draw(browse);
  });
  struct Unset {
    platform::ProcessState& state;
    ~Unset() { container::SetLoadProgressSink(state, nullptr); }
  } unset{state};
  browse.Resize(cols(), lines());
  browse.Start();
  for (;;) {
    Draw(browse);
    wint_t ch = 0;
    // A running find takes its next slice at once when no key waits.
    timeout(browse.Finding() ? 0 : kPollMillis);
    const int kind = get_wch(&ch);
    if (g_interrupted || (kind == ERR && TerminalGone())) return 130;
    if (kind == ERR) {
      browse.Pump();
      continue;
    }
    note_.clear();
    if (!browse.Finding()) browse.SetNote("");  // a key ends the last note
    if (ReadingKey(browse, kind, ch)) continue;
    if (const std::optional<BrowseKey> key = GridKeyOf(kind, ch)) {
      browse.Press(*key);
    } else if (kind == KEY_CODE_YES) {
      if (ch == KEY_F(22) && !browse.Editing()) {  // Shift+F10
        AnchorMenuAtCursor(browse);
        browse.Press(BrowseKey::Menu);
      }
      if (ch == KEY_RESIZE) browse.Resize(cols(), lines());
      if (ch == KEY_MOUSE) Mouse(browse);
    } else if (ch == 27 && browse.Finding()) {
      browse.CancelFind();
    } else if (ch == 27) {
      browse.Press(BrowseKey::Escape);
    } else if (browse.Editing()) {
      if (ch >= 32) browse.Type(Utf8(ch));
    } else if (ViewKey(browse, ch)) {
      continue;
    } else if (ch == L'q' || ch == L'Q') {
      return 0;
    } else if (ch == L'm' || ch == L'M') {
      AnchorMenuAtCursor(browse);
      browse.Press(BrowseKey::Menu);
    }
  }
}

// The wheel scrolls; a left or right click goes to the cell (a right one opens the menu just
// below the pointer), and a left click on a data column's header sorts by it.
void Terminal::Mouse(container::BrowseSession& browse) {
  MEVENT event;
  if (getmouse(&event) != OK) return;
  if (event.bstate & BUTTON4_PRESSED) return browse.Wheel(-1);
  if (event.bstate & BUTTON5_PRESSED) return browse.Wheel(1);
  if (!(event.bstate & (BUTTON1_PRESSED | BUTTON3_PRESSED))) return;
  const std::vector<int> ends = CellEnds(event.y);
  const auto slot = std::lower_bound(ends.begin(), ends.end(), event.x) - ends.begin();
  const container::GridOnScreen on = container::LayoutOf(browse.control().Grid);
  if ((event.bstate & BUTTON1_PRESSED) && event.y == 0 && !browse.Editing() &&
      static_cast<size_t>(slot) < on.slots.size() &&
      on.slots[static_cast<size_t>(slot)] >= browse.control().Grid.FixedCols())
    return browse.SortByColumn(on.slots[static_cast<size_t>(slot)]);
  if (event.bstate & BUTTON3_PRESSED) AnchorMenu(event.y + 1, event.x);
  browse.Click(event.y, static_cast<int32_t>(slot), event.bstate & BUTTON3_PRESSED);
}

int Terminal::AnswerMessageBox(const std::string& text, int32_t style, const std::string& title) {
  const std::vector<int> buttons = platform::MsgBoxButtons(style);
  const auto offered = [&](int id) {
    return std::find(buttons.begin(), buttons.end(), id) != buttons.end();
  };
  const int fallback = offered(platform::kIdCancel) ? platform::kIdCancel
                       : offered(platform::kIdNo)   ? platform::kIdNo
                                                    : platform::MsgBoxDefaultAnswer(style);
  const int width = std::clamp(COLS - 8, 20, 70);
  const std::vector<std::string> body = Wrap(text, static_cast<size_t>(width - 4));
  WINDOW* win = OpenBox(static_cast<int>(body.size()) + 4, width, title);
  for (size_t i = 0; i < body.size(); ++i)
    PutText(win, static_cast<int>(i) + 1, 2, body[i], width - 4);
  size_t selected = static_cast<size_t>(
      std::find(buttons.begin(), buttons.end(), platform::MsgBoxDefaultAnswer(style)) -
      buttons.begin());
  const int row = static_cast<int>(body.size()) + 2;
  for (;;) {
    int x = 2;
    for (size_t i = 0; i < buttons.size(); ++i) {
      const std::string caption = std::string("[ ") + platform::ButtonCaption(buttons[i]) + " ]";
      if (i == selected) wattron(win, A_REVERSE);
      PutText(win, row, x, caption, width - x - 1);
      wattroff(win, A_REVERSE);
      x += static_cast<int>(caption.size()) + 2;
    }
    wrefresh(win);
    wint_t ch = 0;
    const int kind = ReadKey(win, ch);
    int answer = 0;
    if (kind == ERR || (kind == OK && ch == 27)) {
      answer = fallback;
    } else if (IsEnter(kind, ch)) {
      answer = buttons[selected];
    } else if (kind == KEY_CODE_YES && (ch == KEY_LEFT || ch == KEY_BTAB)) {
      selected = (selected + buttons.size() - 1) % buttons.size();
    } else if ((kind == KEY_CODE_YES && ch == KEY_RIGHT) || (kind == OK && ch == L'\t')) {
      selected = (selected + 1) % buttons.size();
    } else if (kind == OK) {
      for (int id : buttons)
        if (std::towupper(ch) == static_cast<wint_t>(platform::ButtonCaption(id)[0])) answer = id;
    }
    if (answer != 0) {
      CloseBox(win);
      return answer;
    }
  }
}

std::optional<container::Signature> Terminal::Sign(const container::SignatureRequest& request) {
  const int width = std::clamp(COLS - 8, 30, 70);
  const std::vector<std::string> prompt =
      request.prompt.empty() ? std::vector<std::string>{}
                             : Wrap(request.prompt, static_cast<size_t>(width - 4));
  const int top = static_cast<int>(prompt.size()) + 1;
  WINDOW* win = OpenBox(
      top + 5, width,
      request.signer == 2 ? "Electronic signature (second signer)" : "Electronic signature");
  for (size_t i = 0; i < prompt.size(); ++i)
    PutText(win, static_cast<int>(i) + 1, 2, prompt[i], width - 4);
  std::string fields[3];
  const char* labels[3] = {"User:     ", "Password: ", "Reason:   "};
  int field = 0;
  for (;;) {
    for (int i = 0; i < 3; ++i) {
      wmove(win, top + i, 2);
      wclrtoeol(win);
      // The password is never echoed; the focus mark shows where typing goes.
      const std::string shown = i == 1 ? std::string() : fields[i];
      PutText(win, top + i, 2, labels[i] + shown + (i == field ? "_" : ""), width - 4);
    }
    PutText(win, top + 3, 2, "Enter: next/sign  Esc: cancel", width - 4);
    box(win, 0, 0);
    wrefresh(win);
    wint_t ch = 0;
    const int kind = ReadKey(win, ch);
    if (kind == ERR || (kind == OK && ch == 27)) {
      CloseBox(win);
      return std::nullopt;
    }
    if (IsEnter(kind, ch)) {
      if (field == 2) {
        CloseBox(win);
        return container::Signature{fields[0], fields[1], fields[2]};
      }
      ++field;
    } else if ((kind == OK && ch == L'\t') || (kind == KEY_CODE_YES && ch == KEY_DOWN)) {
      field = (field + 1) % 3;
    } else if (kind == KEY_CODE_YES && (ch == KEY_UP || ch == KEY_BTAB)) {
      field = (field + 2) % 3;
    } else if (IsBackspace(kind, ch)) {
      std::wstring w = Wide(fields[field]);
      if (!w.empty()) w.pop_back();
      fields[field].clear();
      for (wchar_t c : w) fields[field] += Utf8(static_cast<wint_t>(c));
    } else if (kind == OK && ch >= 32) {
      fields[field] += Utf8(ch);
    }
  }
}

// ---- Reading: NULLs, the block, the viewer, copying -----------------------------------------

void Terminal::MarkCells(container::BrowseSession& browse, int shown) {
  int32_t top = 0, left = 0, bottom = 0, right = 0;
  const bool block = browse.Block(&top, &left, &bottom, &right);
  const container::GridOnScreen on = container::LayoutOf(browse.control().Grid);
  for (int y = 0; y < shown && static_cast<size_t>(y) < on.lines.size(); ++y) {
    const std::vector<int> ends = CellEnds(y);
    for (size_t slot = 0; slot < ends.size() && slot < on.slots.size(); ++slot) {
      const int from = CellStart(ends, slot), width = ends[slot] - from;
      if (width <= 0) continue;
      if (browse.IsNullAt(y, static_cast<int32_t>(slot))) {
        mvhline(y, from, ' ', width);
        attron(A_DIM);
        PutText(stdscr, y, from + (width > 1 ? 1 : 0), "\u2205", 1);
        attroff(A_DIM);
      }
      const int32_t r = on.lines[static_cast<size_t>(y)], c = on.slots[slot];
      if (block && r >= top && r <= bottom && c >= left && c <= right)
        mvchgat(y, from, width, A_UNDERLINE, 0, nullptr);
    }
  }
}

// The cursor's whole value in a box, wrapped; Up/Down/PgUp/PgDn scroll a long one, any other
// key closes it.
void Terminal::ShowValue(container::BrowseSession& browse) {
  const std::optional<std::string> value = browse.CursorText();
  const int32_t slot = browse.CursorSlot();
  const container::GridOnScreen on = container::LayoutOf(browse.control().Grid);
  if (!value || slot < 0 || static_cast<size_t>(slot) >= on.slots.size()) return;
  const platform::FlexGrid& grid = browse.control().Grid;
  const int32_t col = on.slots[static_cast<size_t>(slot)];
  const std::string title =
      (grid.FixedRows() > 0 ? grid.TextMatrix(0, col) : std::string("Value")) + " - " +
      browse.Position();
  const bool null = browse.CursorIsNull();
  const int width = std::clamp(COLS - 4, 20, 100);
  const std::vector<std::string> body = null ? std::vector<std::string>{"\u2205 (NULL)"}
                                             : Wrap(*value, static_cast<size_t>(width - 4));
  const int height = std::min(static_cast<int>(body.size()) + 3, std::max(LINES - 2, 4));
  WINDOW* win = OpenBox(height, width, title);
  const int rows = getmaxy(win) - 3;
  size_t first = 0;
  for (;;) {
    for (int i = 0; i < rows; ++i) {
      wmove(win, i + 1, 2);
      for (int x = 2; x < getmaxx(win) - 1; ++x) waddch(win, ' ');
      if (first + static_cast<size_t>(i) < body.size()) {
        if (null) wattron(win, A_DIM);
        PutText(win, i + 1, 2, body[first + static_cast<size_t>(i)], getmaxx(win) - 4);
        wattroff(win, A_DIM);
      }
    }
    const bool more = first + static_cast<size_t>(rows) < body.size();
    PutText(win, getmaxy(win) - 2, 2,
            more ? "Down/PgDn: more  any other key: close" : "any key: close", getmaxx(win) - 4);
    wrefresh(win);
    wint_t ch = 0;
    const int kind = ReadKey(win, ch);
    const size_t page = static_cast<size_t>(rows);
    const size_t last = body.size() > page ? body.size() - page : 0;
    if (kind == KEY_CODE_YES && ch == KEY_DOWN) {
      first = std::min(first + 1, last);
    } else if (kind == KEY_CODE_YES && ch == KEY_NPAGE) {
      first = std::min(first + page, last);
    } else if (kind == KEY_CODE_YES && ch == KEY_UP) {
      first = first > 0 ? first - 1 : 0;
    } else if (kind == KEY_CODE_YES && ch == KEY_PPAGE) {
      first = first > page ? first - page : 0;
    } else {
      return CloseBox(win);
    }
  }
}

void Terminal::Copy(container::BrowseSession& browse) {
  if (!browse.CursorText()) return;
  const std::string text = browse.CopyText();
  int32_t top = 0, left = 0, bottom = 0, right = 0;
  const bool block = browse.Block(&top, &left, &bottom, &right);
  const std::string what = block ? std::to_string(bottom - top + 1) + " record(s) with the header"
                                 : std::string("the cell");
  if (TakesOsc52() && text.size() <= kMaxOsc52Bytes) {
    const std::string sequence = "\033]52;c;" + Base64(text) + "\a";
    std::fwrite(sequence.data(), 1, sequence.size(), stdout);
    std::fflush(stdout);
    note_ = "copied " + what + " to the clipboard";
    return;
  }
  std::error_code error;
  const std::filesystem::path path = std::filesystem::temp_directory_path(error) /
                                     ("tabulo-copy-" + std::to_string(::getpid()) + ".tsv");
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  note_ = out ? "copied " + what + " into " + path.string()
              : "cannot write " + path.string() + ": nothing copied";
}

bool Terminal::ReadingKey(container::BrowseSession& browse, int kind, wint_t ch) {
  if (browse.Editing()) return false;
  if (kind == KEY_CODE_YES) {
    const std::pair<wint_t, BrowseKey> shifted[] = {{KEY_SR, BrowseKey::Up},
                                                    {KEY_SF, BrowseKey::Down},
                                                    {KEY_SLEFT, BrowseKey::Left},
                                                    {KEY_SRIGHT, BrowseKey::Right}};
    for (const auto& [code, key] : shifted) {
      if (ch != code) continue;
      // The block grows from where the cursor stood when the first Shift+arrow came.
      int32_t top = 0, left = 0, bottom = 0, right = 0;
      if (!browse.Block(&top, &left, &bottom, &right)) browse.SetAnchor(true);
      browse.Press(key);
      return true;
    }
    if (ch != KEY_MOUSE && ch != KEY_RESIZE) browse.SetAnchor(false);
    return false;
  }
  if (ch == L'y' || ch == L'Y') {
    Copy(browse);
    return true;
  }
  if (ch == L'v' || ch == L'V' ||
      ((ch == L'\n' || ch == L'\r') && !browse.control().AllowUpdates())) {
    ShowValue(browse);
    return true;
  }
  browse.SetAnchor(false);
  return false;
}

void Terminal::AnchorMenu(int line, int column) {
  menu_line_ = line;
  menu_column_ = column;
}

// Below the cell under the cursor (as drawn last), at its first column.
void Terminal::AnchorMenuAtCursor(container::BrowseSession& browse) {
  const int line = browse.CursorLine(), slot = browse.CursorSlot();
  if (line < 0 || line >= lines() || slot < 0) return AnchorMenu(-1, -1);
  const std::vector<int> ends = CellEnds(line);
  if (static_cast<size_t>(slot) >= ends.size()) return AnchorMenu(-1, -1);
  AnchorMenu(line + 1, CellStart(ends, static_cast<size_t>(slot)));
}

// A small framed list: Up/Down move (round), an item's first letter goes to the next item it
// begins, Enter or a click on an item chooses it, Escape or a click beside the list closes it
// choosing nothing.
int Terminal::ChooseFromMenu(const std::vector<std::string>& captions) {
  const int top = menu_line_, left = menu_column_;
  AnchorMenu(-1, -1);
  if (captions.empty()) return -1;
  int width = 12;
  for (const std::string& c : captions)
    width = std::max(width, static_cast<int>(Wide(c).size()) + 6);
  WINDOW* win = OpenBox(static_cast<int>(captions.size()) + 2, width, "", top, left);
  width = getmaxx(win);
  const auto close = [win](int choice) {
    CloseBox(win);
    return choice;
  };
  size_t selected = 0;
  for (;;) {
    for (size_t i = 0; i < captions.size(); ++i) {
      if (i == selected) wattron(win, A_REVERSE);
      PutText(win, static_cast<int>(i) + 1, 1, " " + captions[i] + std::string(width, ' '),
              width - 2);
      wattroff(win, A_REVERSE);
    }
    wrefresh(win);
    wint_t ch = 0;
    const int kind = ReadKey(win, ch);
    if (kind == ERR || (kind == OK && ch == 27)) return close(-1);
    if (IsEnter(kind, ch)) return close(static_cast<int>(selected));
    if (kind == KEY_CODE_YES && ch == KEY_UP)
      selected = (selected + captions.size() - 1) % captions.size();
    if (kind == KEY_CODE_YES && ch == KEY_DOWN) selected = (selected + 1) % captions.size();
    if (kind == KEY_CODE_YES && ch == KEY_MOUSE) {
      MEVENT event;
      if (getmouse(&event) != OK || !(event.bstate & (BUTTON1_PRESSED | BUTTON3_PRESSED))) continue;
      int y = event.y, x = event.x;
      if (!wmouse_trafo(win, &y, &x, false)) return close(-1);
      if (y >= 1 && y <= static_cast<int>(captions.size())) return close(y - 1);
    }
    if (kind == OK && ch > 32) {
      for (size_t k = 1; k <= captions.size(); ++k) {
        const size_t i = (selected + k) % captions.size();
        const std::wstring caption = Wide(captions[i]);
        if (!caption.empty() && std::towlower(caption[0]) == std::towlower(ch)) {
          selected = i;
          break;
        }
      }
    }
  }
}

bool Terminal::ViewKey(container::BrowseSession& browse, wint_t ch) {
  switch (ch) {
    case L':': {
      const std::optional<std::string> record = Prompt("Go to record: ");
      if (!record) return true;
      try {
        size_t used = 0;
        const long long n = std::stoll(*record, &used);
        if (used != record->size()) throw std::invalid_argument("not a number");
        browse.GoToRecord(n);
      } catch (const std::exception&) {
        browse.SetNote("\"" + *record + "\" is no record number: type one from 1, then Enter.");
      }
      return true;
    }
    case L'/': {
      const std::optional<std::string> text = Prompt("Find: ");
      if (text) browse.Find(*text, true);
      return true;
    }
    case L'n':
      browse.Find("", true);
      return true;
    case L'N':
      browse.Find("", false);
      return true;
    case L's': {
      const std::vector<int32_t> slots = container::LayoutOf(browse.control().Grid).slots;
      const int32_t slot = browse.CursorSlot();
      if (slot >= 0 && static_cast<size_t>(slot) < slots.size())
        browse.SortByColumn(slots[static_cast<size_t>(slot)]);
      return true;
    }
    case L'f': {
      const std::optional<std::string> text = Prompt("Filter (column operator value): ");
      if (text) browse.AddFilterText(*text);
      return true;
    }
    case L'R':
      browse.ResetView();
      return true;
    case L'e':
      ExportView(browse);
      return true;
    default:
      return false;
  }
}

std::optional<std::string> Terminal::Prompt(const std::string& label) {
  std::wstring typed;
  curs_set(1);
  for (;;) {
    move(LINES - 1, 0);
    clrtoeol();
    PutText(stdscr, LINES - 1, 0, label, COLS - 1);
    const std::wstring shown = typed.size() + label.size() + 2 > static_cast<size_t>(COLS)
                                   ? typed.substr(typed.size() + label.size() + 2 - COLS)
                                   : typed;
    mvaddnwstr(LINES - 1, static_cast<int>(label.size()), shown.c_str(),
               COLS - 1 - static_cast<int>(label.size()));
    refresh();
    wint_t ch = 0;
    const int kind = ReadKey(stdscr, ch);
    if (kind == ERR || (kind == OK && ch == 27)) {
      curs_set(0);
      return std::nullopt;
    }
    if (IsEnter(kind, ch)) break;
    if (IsBackspace(kind, ch)) {
      if (!typed.empty()) typed.pop_back();
    } else if (kind == OK && ch >= 32) {
      typed.push_back(static_cast<wchar_t>(ch));
    }
  }
  curs_set(0);
  std::string text;
  for (wchar_t c : typed) text += Utf8(static_cast<wint_t>(c));
  return text;
}

// CSV of what is shown (statement, sort and filter) to a new file in the working folder,
// named by the time; the status line names it and the exact count.
void Terminal::ExportView(container::BrowseSession& browse) {
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
  container::ExportRequest request = browse.ViewExport(container::RowFormat::Csv, host_config_);
  request.out = std::string("tabulo-view-") + stamp + ".csv";
  browse.SetNote("Exporting to " + request.out + " ...");
  Draw(browse);
  try {
    std::ostringstream unused;
    const int64_t records = container::Export(request, unused);
    browse.SetNote("Exported " + container::GroupedCount(records) +
                   (records == 1 ? " record to " : " records to ") + request.out);
  } catch (const platform::ComError& e) {
    browse.SetNote("The export failed: " + e.description());
  }
}

}  // namespace tabulo::app
