// The terminal of `tabulo design` on ncursesw (design_terminal.h).
#include "design_terminal.h"

#include <curses.h>
#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <clocale>
#include <csignal>
#include <functional>
#include <iostream>
#include <vector>

#include "container/design_keys.h"
#include "container/session_script_host.h"
#include "curses_keys.h"
#include "platform/text/utf8_cursor.h"

namespace tabulo::app {
namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
  g_stop = 1;
}

// Thrown out of a dialog's loop when the session ends there (an interrupt or Ctrl+C).
struct Interrupted {};

constexpr int kPollMillis = 50;

// The terminal went away (its other end closed): ends the session as a hang-up does.
bool TerminalGone() {
  pollfd fd{STDIN_FILENO, POLLIN, 0};
  return ::poll(&fd, 1, 0) >= 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// Draws one line of the rendering from column 0: UTF-8 with the SGR marks it carries
// (0 plain, 4 underlined, 7 reversed), cut at the screen's width.
void PutMarked(int y, const std::string& line, attr_t base = A_NORMAL) {
  attr_t attr = base;
  int x = 0;
  for (size_t i = 0; i < line.size() && x < COLS;) {
    if (line[i] == '\x1b' && i + 1 < line.size() && line[i + 1] == '[') {
      const size_t end = line.find('m', i);
      if (end == std::string::npos) break;
      attr = base;
      for (size_t p = i + 2; p < end; ++p) {
        if (line[p] == '4') attr |= A_UNDERLINE;
        if (line[p] == '7') attr |= A_REVERSE;
      }
      i = end + 1;
      continue;
    }
    size_t length = 1;
    const uint32_t cp = platform::DecodeCodePoint(line, i, &length);
    i += length;
    const wchar_t w[2] = {length == 1 && cp >= 0x80 ? L'?' : static_cast<wchar_t>(cp), 0};
    cchar_t cell;
    setcchar(&cell, w, attr, 0, nullptr);
    mvadd_wch(y, x++, &cell);
  }
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

class Screen {
 public:
  Screen(container::SessionScriptHost& host, container::DesignKeys& keys)
      : host_(host), keys_(keys) {
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
    std::setlocale(LC_CTYPE, "");  // curses draws the terminal's characters
    initscr();
    raw();  // Ctrl+S, Ctrl+Q and Ctrl+C are the designer's keys, not flow control
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
    timeout(kPollMillis);
    next_page_ = ExtendedKey("kNXT5");
    previous_page_ = ExtendedKey("kPRV5");
  }
  ~Screen() { endwin(); }
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  // Reads and acts on keys until `closed` says so (a dialog's loop) or the designer quits.
  void Loop(const std::function<bool()>& closed) {
    while (!closed() && !keys_.done()) {
      Draw();
      int kind;
      wint_t ch;
      while ((kind = get_wch(&ch)) == ERR)
        if (g_stop || TerminalGone()) throw Interrupted{};
      if (kind == KEY_CODE_YES) {
        CursesKey(static_cast<int>(ch));
      } else if (ch == 27) {
        // Alt+letter arrives as Escape and the letter together.
        nodelay(stdscr, TRUE);
        wint_t next;
        const int more = get_wch(&next);
        if (more == OK && next < 127 && std::isalnum(static_cast<int>(next))) {
          keys_.Key(std::string("Alt+") + static_cast<char>(std::toupper(static_cast<int>(next))));
        } else if (more == OK && (next == '[' || next == 'O')) {
          // A key the terminal's description does not name: its sequence is dropped.
          while (get_wch(&next) == OK && !(next >= '@' && next <= '~')) {
          }
        } else {
          if (more != ERR) unget_wch(next);
          keys_.Key("Escape");
        }
        timeout(kPollMillis);
      } else {
        Character(ch);
      }
    }
  }

 private:
  void CursesKey(int code) {
    static const std::pair<int, const char*> kNames[] = {{KEY_BTAB, "Shift+Tab"},
                                                         {KEY_UP, "Up"},
                                                         {KEY_DOWN, "Down"},
                                                         {KEY_LEFT, "Left"},
                                                         {KEY_RIGHT, "Right"},
                                                         {KEY_HOME, "Home"},
                                                         {KEY_END, "End"},
                                                         {KEY_NPAGE, "PageDown"},
                                                         {KEY_PPAGE, "PageUp"},
                                                         {KEY_DC, "Delete"},
                                                         {KEY_BACKSPACE, "Backspace"},
                                                         {KEY_ENTER, "Enter"},
                                                         {KEY_F(7), "F7"},
                                                         {KEY_F(8), "F8"}};
    if (code == next_page_) return keys_.Key("Ctrl+PgDn");
    if (code == previous_page_) return keys_.Key("Ctrl+PgUp");
    for (const auto& [key, name] : kNames)
      if (key == code) return keys_.Key(name);
  }

  void Character(wint_t ch) {
    switch (ch) {
      case 3:
        throw Interrupted{};
      case 1:
        return keys_.Key("Ctrl+A");
      case 17:
        return keys_.Key("Ctrl+Q");
      case 19:
        return keys_.Key("Ctrl+S");
      case '\t':
        return keys_.Key("Tab");
      case '\r':
      case '\n':
        return keys_.Key("Enter");
      case 8:
      case 127:
        return keys_.Key("Backspace");
      case ' ':
        return keys_.Key("Space");
      default:
        if (ch > 32) keys_.Type(platform::EncodeCodePoint(static_cast<uint32_t>(ch)));
    }
  }

  void Draw() {
    erase();
    const bool dialog = host_.desk().form() != host_.desk().sheet()->current();
    int y = 0;
    // A dialog stands alone; behind it the sheet is not in reach.
    if (!dialog) PutMarked(y++, keys_.Tabs(true));
    for (const std::string& line : Lines(host_.Render())) {
      if (y >= LINES - 1) break;
      PutMarked(y++, line);
    }
    const std::string foot = keys_.note().empty() ? keys_.Help() : keys_.note();
    PutMarked(LINES - 1, foot, A_BOLD);
    refresh();
  }

  container::SessionScriptHost& host_;
  container::DesignKeys& keys_;
  int next_page_ = -1, previous_page_ = -1;
};

}  // namespace

int RunDesignTerminal(container::Session& session, const std::string& save_path) {
  container::SessionScriptHost host(session);
  host.DrawFormsLaidOut(true);
  container::DesignKeys keys(session, host, save_path);
  bool saved = false;
  int status = 0;
  {
    Screen screen(host, keys);
    // A dialog a key opens runs its own loop of keys until it closes.
    host.desk().WatchModal([&screen](const std::function<bool()>& closed) { screen.Loop(closed); });
    try {
      screen.Loop([] { return false; });
    } catch (const Interrupted&) {
      status = 130;
    }
    saved = keys.saved();
  }
  if (saved) {
    std::cerr << "tabulo design: saved the control to " << save_path << "\n";
  } else {
    std::cerr << "tabulo design: quit without saving " << save_path << "\n";
  }
  return status;
}

}  // namespace tabulo::app
