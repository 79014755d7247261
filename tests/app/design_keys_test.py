#!/usr/bin/env python3
"""`tabulo design` at a pseudo-terminal, worked by keys and read back through a VT100
emulator: page tabs, the table chosen, the query builder's Tab order (never into the page
behind), Escape cancels it, Enter is its OK outside the multi-line box, a caption edited in the
column grid by arrows and typing, Alt+U ticks "Allow database updates", Alt+O's colour asked
at the foot line, quitting asks to save, Ctrl+S saves and says where; the saved control file
is checked. Waits are bounded; dumps of the screen go with every failure."""
import fcntl
import os
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import termios
import time

import pyte

TABULO = sys.argv[1]
COLS, LINES = 100, 32
WAIT = 10.0
KEYS = {"tab": "\t", "btab": "\x1b[Z", "enter": "\r", "esc": "\x1b", "down": "\x1bOB",
        "up": "\x1bOA", "right": "\x1bOC",
        "bs": "\x7f", "space": " ", "nextpage": "\x1b[6;5~", "prevpage": "\x1b[5;5~",
        "ctrl-s": "\x13", "ctrl-q": "\x11", "alt-u": "\x1bu", "alt-o": "\x1bo"}


class Screen(pyte.Screen):
    """The emulator with the repeat control (CSI b) that curses uses for runs of a character."""
    last = " "

    def draw(self, data):
        self.last = data[-1:] or self.last
        super().draw(data)

    def repeat_last(self, count=1, *_, **__):
        super().draw(self.last * (count or 1))


pyte.Stream.csi = dict(pyte.Stream.csi, b="repeat_last")

work = tempfile.mkdtemp()
subprocess.run([TABULO, "sample-db", "d.db", "--rows", "20"], cwd=work, check=True,
               stdout=subprocess.DEVNULL)
master, slave = os.openpty()
fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", LINES, COLS, 0, 0))
proc = subprocess.Popen([TABULO, "design", "--db", "d.db", "--sql", "SELECT Id FROM Orders",
                         "--save", "t.ctl"], cwd=work, stdin=slave, stdout=slave, stderr=slave,
                        env=dict(os.environ, TERM="xterm", LC_ALL="C.UTF-8"),
                        start_new_session=True)
os.close(slave)
screen = Screen(COLS, LINES)
stream = pyte.ByteStream(screen)
raw = b""


def text():
    return "\n".join(screen.display)


def fail(message):
    print("FAIL: " + message + "\n" + text())
    proc.kill()
    sys.exit(1)


def pump(timeout):
    """Reads what the program drew within `timeout`; False once the terminal is closed."""
    global raw
    if not select.select([master], [], [], timeout)[0]:
        return True
    try:
        data = os.read(master, 65536)
    except OSError:
        data = b""
    raw += data
    stream.feed(data)
    return bool(data)


def focus():
    """The text the focus (reverse video) marks below the tab line, above the foot line."""
    return "".join(screen.buffer[y][x].data for y in range(1, LINES - 1)
                   for x in range(COLS) if screen.buffer[y][x].reverse).strip()


def wait(predicate, what):
    deadline = time.monotonic() + WAIT
    while not predicate() and time.monotonic() < deadline:
        pump(0.05)
    if not predicate():
        fail("never showed " + what)


def shows(expected, gone=False):
    wait(lambda: (expected in text()) != gone, ("no " if gone else "") + repr(expected))


def marks():
    return [(y, x) for y in range(LINES) for x in range(COLS) if screen.buffer[y][x].reverse]


def send(*keys):
    for k in keys:
        os.write(master, KEYS.get(k, k).encode())


def press(*keys, then=None):
    """Sends keys one at a time, each once the screen has shown the one before (every key
    here changes the screen: the text, or where the focus stands)."""
    for k in keys:
        before = text(), marks()
        os.write(master, KEYS.get(k, k).encode())
        deadline = time.monotonic() + WAIT / 2
        while (text(), marks()) == before and time.monotonic() < deadline:
            pump(0.02)
        while select.select([master], [], [], 0.1)[0] and pump(0):  # the rest of the update
            pass
    if then:
        shows(then)


shows("[General]")
press("nextpage", then="== Data Source Properties ==")
# The DSN box has the focus; five Tabs on, List all Tables; Enter lists them.
press(*["tab"] * 5)
if "List all Tables" not in focus():
    fail("Tab order on the data source page, focus at " + repr(focus()))
press("enter", then="| Orders")
press("btab", "down", then="|>Orders")
press("enter", then="[SELECT * FROM Orders")  # choosing the table writes its statement
press("tab", "tab", "tab")  # List all Tables, the statement, Query Builder
if "Query Builder" not in focus():
    fail("the Query Builder button is not next: " + repr(focus()))
press("enter", then="== Query Builder ==")
if "[General]" in text() or "Data Source Properties" in text():
    fail("the sheet shows behind the modal dialog")
if "within a given" not in text() or "list." not in text():
    fail("the help text is cut")
# Tab goes round the dialog's widgets and nothing else.
stops = []
for _ in range(40):
    press("tab")
    stops.append(focus())
    if len(stops) > 1 and stops[-1] == stops[0]:
        break
ok, cancel = stops.index("[   OK    ]"), stops.index("[ Cancel  ]")
if stops[-1] != stops[0] or cancel != ok + 1 or len(stops) < 18:
    fail("Tab order in the dialog: " + repr(stops))
if any("List all Tables" in s or "Query Builder" in s for s in stops):
    fail("Tab left the dialog: " + repr(stops))


def to_filter_box():
    while not focus().startswith("[ "):
        press("tab")
        if focus().startswith("[=") or "OK" in focus():
            fail("no filter box before the operators: " + repr(focus()))


to_filter_box()
send(*"Id>1")
press("esc", then="[Data Source Properties]")  # Escape is Cancel: the filter is not taken
if "WHERE" in text():
    fail("Escape took the filter")
press("enter", then="== Query Builder ==")  # the focus stayed on its button
to_filter_box()
# Keys that leave the screen as it was (a blank typed, a new line) go without waiting.
send(*"Qty < 50", "enter", "bs")  # in the multi-line box Enter is a new line, not OK
press("tab", then="[Qty < 50")
if "== Query Builder ==" not in text() or not focus().startswith("[="):
    fail("Enter in the filter box closed the dialog")
press("enter", then="[Data Source Properties]")
shows("WHERE Qty < 50")
# The column grid has the focus: an arrow moves and opens the cell's editor, typing replaces
# its text, Enter keeps it.
press("nextpage", then="[Column Properties]")
press("right", "up", "up", "up", "up", then="[Customer")
send(*"Client")
press("enter", then="|Client ")
press("prevpage", "prevpage", then="[General]")
press("alt-u", then="[x] Allow database updates")
press("alt-o", then="Colour (#RRGGBB")  # the picker asked at the foot line
send(*"#ff8000")
press("enter", then="Font Color: #ff8000")
press("ctrl-q", then="Save the changes to t.ctl?")
press("esc")
shows("Save the changes", gone=True)
press("ctrl-s", then="Saved to t.ctl")
saved = open(os.path.join(work, "t.ctl")).read()
for expected in ('AllowUpdates = Boolean True', 'WHERE Qty < 50', 'FROM Orders',
                 'Column1Caption = String "Client"', 'ForeColor = Long 33023'):  # 0x0080ff
    if expected not in saved:
        fail(f"{expected!r} not saved:\n{saved}")
press("esc")  # on the sheet, with nothing left unsaved, Escape quits at once
deadline = time.monotonic() + WAIT
while proc.poll() is None and time.monotonic() < deadline:
    pump(0.05)
pump(0.1)
if proc.poll() != 0:
    fail(f"exit {proc.poll()}")
if b"\x1b[?1049l" not in raw[-300:] or b"saved the control to t.ctl" not in raw[-300:]:
    fail("the terminal was not given back, or no word of the save: " + repr(raw[-300:]))
shutil.rmtree(work, ignore_errors=True)
print("ok")
