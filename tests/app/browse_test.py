#!/usr/bin/env python3
"""`tabulo browse` in a pseudo-terminal read back through a VT100 emulator, on the 1000-row
sample: scrolling, edits confirmed and refused, the popup menu and F5, a signed edit whose
password never shows, an error box, and the exits that restore the terminal. Waits are bounded."""
import fcntl
import os
import re
import select
import shutil
import signal
import sqlite3
import struct
import subprocess
import sys
import tempfile
import termios
import time

import pyte

TABULO, HOST_JSON = sys.argv[1], sys.argv[2]
COLS, LINES = 100, 30
WAIT = 10.0  # seconds for any expected text
# What an xterm sends in keypad mode (the program turns it on).
KEYS = {"up": "\x1bOA", "down": "\x1bOB", "right": "\x1bOC", "left": "\x1bOD",
        "pgdn": "\x1b[6~", "pgup": "\x1b[5~", "home": "\x1bOH", "end": "\x1bOF",
        "f5": "\x1b[15~", "enter": "\r", "delete": "\x1b[3~"}


class Screen(pyte.Screen):
    """The emulator with the scroll-up and scroll-down controls (CSI S, CSI T) that curses
    uses to scroll a region and this emulator lacks."""

    def scroll_up(self, count=1, *_):
        self._scroll(count, self.index, 1)

    def scroll_down(self, count=1, *_):
        self._scroll(count, self.reverse_index, 0)

    def _scroll(self, count, step, at_bottom):
        saved = self.cursor.y
        self.cursor.y = (self.margins or pyte.screens.Margins(0, self.lines - 1))[at_bottom]
        for _ in range(count or 1):
            step()
        self.cursor.y = saved


pyte.Stream.csi = dict(pyte.Stream.csi, S="scroll_up", T="scroll_down")


class Browse:
    def __init__(self, *args, cols=COLS):
        self.master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", LINES, cols, 0, 0))
        env = dict(os.environ, TERM="xterm", LC_ALL="C.UTF-8")
        self.proc = subprocess.Popen([TABULO, "browse", "--host", "host.json", "--locale",
                                      "en-US", "--ui-lang", "1033", *args],
                                     stdin=slave, stdout=slave, stderr=slave, env=env,
                                     start_new_session=True)
        STARTED.append(self.proc)
        os.close(slave)
        self.screen = Screen(cols, LINES)
        self.stream = pyte.ByteStream(self.screen)
        self.raw = b""

    def pump(self, timeout):
        ready, _, _ = select.select([self.master], [], [], timeout)
        if ready:
            try:
                data = os.read(self.master, 65536)
            except OSError:
                data = b""
            self.raw += data
            self.stream.feed(data)
            return bool(data)
        return True

    def text(self):
        return "\n".join(self.screen.display)

    def wait_for(self, expected, gone=False, line=None):
        def found():
            shown = self.text() if line is None else self.screen.display[line]
            return (expected.search(shown) if isinstance(expected, re.Pattern) else expected in shown) != gone
        if not settled(self, found):
            what = expected.pattern if isinstance(expected, re.Pattern) else expected
            fail(("still shows " if gone else "never showed ") + repr(what) + ":\n" + self.text())

    def send(self, *keys):
        for k in keys:
            os.write(self.master, KEYS.get(k, k).encode())

    def click(self, x, y, button=0):  # 0-based screen cell; the xterm SGR mouse report
        os.write(self.master, f"\x1b[<{button};{x + 1};{y + 1}M\x1b[<{button};{x + 1};{y + 1}m".encode())

    def highlighted(self):
        """The text the cursor's reverse video marks in the grid (the help line left out)."""
        return "".join(self.screen.buffer[y][x].data for y in range(LINES - 1)
                       for x in range(self.screen.columns) if self.screen.buffer[y][x].reverse)

    def line_of(self, text):
        for y, line in enumerate(self.screen.display):
            if text in line:
                return y, line.index(text)
        fail(f"no line shows {text!r}:\n" + self.text())

    def finish(self, expected_status):
        if not settled(self, lambda: self.proc.poll() is not None):
            self.proc.kill()
            fail("did not exit")
        while self.pump(0.01) and select.select([self.master], [], [], 0)[0]:
            pass
        if self.proc.returncode != expected_status:
            fail(f"exit {self.proc.returncode}, expected {expected_status}:\n" + self.text())
        # The terminal is given back: the alternate screen left, the cursor shown again.
        if b"\x1b[?1049l" not in self.raw[-200:]:
            fail("the terminal was not restored: " + repr(self.raw[-200:]))
        os.close(self.master)


STARTED = []  # every browser started, killed at the end whatever happened


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def settled(b, predicate):
    """Whether predicate() holds within WAIT seconds while the display keeps being read."""
    deadline = time.monotonic() + WAIT
    while not predicate() and time.monotonic() < deadline:
        b.pump(0.05)
    return predicate()


def customer(order_id):
    with sqlite3.connect("sample.db") as db:
        return db.execute("SELECT Customer FROM Orders WHERE Id = ?", (order_id,)).fetchone()[0]


def set_customer(order_id, name):
    with sqlite3.connect("sample.db") as db:
        db.execute("UPDATE Orders SET Customer = ? WHERE Id = ?", (name, order_id))


def qty(order_id):
    with sqlite3.connect("sample.db") as db:
        return db.execute("SELECT Qty FROM Orders WHERE Id = ?", (order_id,)).fetchone()[0]


def set_qty(order_id, value):
    with sqlite3.connect("sample.db") as db:
        db.execute("UPDATE Orders SET Qty = ? WHERE Id = ?", (value, order_id))


def editor_state(b, y, x):
    """The editor's text cells on line y from column x on that show in reverse, the cursor's
    column when it is on line y (else None), and whether the cursor is hidden."""
    row = b.screen.buffer[y]
    selected = ""
    while x < b.screen.columns and row[x].reverse:
        selected += row[x].data
        x += 1
    return selected, b.screen.cursor.x if b.screen.cursor.y == y else None, b.screen.cursor.hidden


def cursor_cell(b):
    """The screen line and first column of the cell the cursor marks in reverse."""
    return min((y, x) for y in range(LINES - 1) for x in range(b.screen.columns)
               if b.screen.buffer[y][x].reverse)


def menu_at(b, line, column):
    """Waits for the popup menu and checks that its item "Refresh" starts at line, column."""
    b.wait_for("Refresh")
    if b.screen.display[line][column:column + 7] != "Refresh":
        fail(f"Refresh is not at line {line}, column {column}:\n" + b.text())


def save_control(path, *lets):
    script = "".join(f"let {p} {v}\n" for p, v in lets) + f'save "{path}"\n'
    subprocess.run([TABULO, "script", "-"], input=script.encode(), check=True)


work = tempfile.mkdtemp()
try:
    os.chdir(work)
    shutil.copy(HOST_JSON, "host.json")
    os.environ["XDG_STATE_HOME"] = os.path.join(work, "state")
    subprocess.run([TABULO, "sample-db", "sample.db", "--rows", "1000"], check=True,
                   stdout=subprocess.DEVNULL)
    base = [("DSNname", '"sample.db"'), ("RecordSource", '"SELECT Id, Customer, Qty FROM Orders"'),
            ("DataTable", '"Orders"'), ("AllowUpdates", "true"), ("ConfirmUpdates", "true")]
    save_control("orders.ctl", *base)
    save_control("signed.ctl", *base, ("ESignatureRequired", "true"),
                 ("ESignaturePrompt", '"Sign to change the order"'))

    b = Browse("--load", "orders.ctl")
    b.wait_for("Acme Corp")
    # Scrolling: the first data line (line 2) shows the record at the scroll bar's top. The
    # window shows 26 records; End puts the last one at the top; Down moves the cursor to its last line, then scrolls.
    # The help line ends in the cursor's record and the exact count, from 1.
    footer = LINES - 1
    b.wait_for(re.compile(r"Enter edit .*q quit +Row 1 of 1,000 $"), line=footer)
    # The columns keep their widths while other records scroll into view.
    rule = b.screen.display[1]
    for keys, first, at in [(["pgdn"], 21, "21"), (["end"], 1000, "1,000"), (["home"], 1, "1"),
                            (["down"] * 40, 16, "41"), (["up"] * 40, 1, "1")]:
        b.send(*keys)
        b.wait_for(re.compile(rf"^ *{first}\| *{first}\|"), line=2)
        b.wait_for(re.compile(rf" Row {at} of 1,000 $"), line=footer)
        if b.screen.display[1] != rule:
            fail(f"the columns changed width after {keys[0]}:\n{rule}\n{b.screen.display[1]}")
    if "read-only" in b.screen.display[footer]:
        fail("an editable display calls itself read-only: " + b.screen.display[footer])
    # Edit record 2's Customer: confirmed with Yes it is written.
    b.send("down", "right", "enter")
    b.wait_for("[")
    b.send(*["delete"] * 20, "Nobody", "enter")
    b.wait_for("Are you sure you want to Update database records?")
    b.send("y")
    b.wait_for("Are you sure", gone=True)
    b.wait_for(re.compile(r"\|Nobody *\|"))
    if not settled(b, lambda: customer(2) == "Nobody"):
        fail(f"record 2 holds {customer(2)!r}")
    # Record 3 answered No: the database keeps its value, the grid shows it again.
    old = customer(3)
    b.send("down", "enter", *["delete"] * 20, "Ignored", "enter")
    b.wait_for("Are you sure")
    b.send("n")
    b.wait_for("Are you sure", gone=True)
    b.wait_for(old[:6])
    if customer(3) != old or "Ignored" in b.text():
        fail("a refused edit was written or still shows")
    # Changed behind the display: the popup menu's Refresh, then F5, show the database.
    set_customer(1, "ZedPopup")
    # m and Shift+F10 open it just below the cursor's cell; Escape closes it choosing nothing.
    cy, cx = cursor_cell(b)
    for key in ["m", "\x1b[21;2~"]:
        b.send(key)
        menu_at(b, cy + 2, cx + 2)
        b.send("\x1b")
        b.wait_for("Refresh", gone=True)
    if "ZedPopup" in b.text():
        fail("closing the menu refreshed:\n" + b.text())
    # On the last record line it is moved up to stay inside the screen; a click beside it closes it.
    y = max(n for n, line in enumerate(b.screen.display[:-1]) if re.match(r" *\d+\|", line))
    if y + 4 <= LINES:
        fail(f"the last record line {y} leaves room for the menu below it")
    b.click(b.screen.display[y].index("|") + 3, y, button=2)
    menu_at(b, LINES - 2, b.screen.display[y].index("|") + 5)
    b.click(COLS - 2, 1)
    b.wait_for("Refresh", gone=True)
    # A right click opens it just below the pointer; Down (round) and Enter choose Refresh.
    y, x = b.line_of("Acme Corp")
    b.click(x + 3, y, button=2)
    menu_at(b, y + 2, x + 5)
    b.send("down", "enter")
    b.wait_for("ZedPopup")
    set_customer(1, "ZedF5")
    b.send("f5")
    b.wait_for("ZedF5")
    # The mouse wheel scrolls three records a notch.
    b.click(10, 10, button=65)
    b.wait_for(re.compile(r"^ *4\| *4\|"), line=2)
    b.send("q")
    b.finish(0)

    # A signed edit: the dialog shows the prompt, the password never shows.
    b = Browse("--load", "signed.ctl")
    b.wait_for("ZedF5")
    y, x = b.line_of("ZedF5")
    b.click(x + 1, y)
    b.wait_for("[")
    b.send(*["delete"] * 20, "Signed Co", "enter")
    b.wait_for("Sign to change the order")
    b.send("ann", "enter", "secret", "enter", "Correction", "enter")
    b.wait_for("Signed Co")
    b.wait_for("Sign to change the order", gone=True)
    if "secret" in b.raw.decode("utf-8", "replace") or not settled(b, lambda: customer(1) == "Signed Co"):
        fail(f"the password was echoed or the signed edit not written ({customer(1)!r})")
    b.send("q")
    b.finish(0)

    # The editor: its whole text selected (in reverse) with the cursor after it, so that
    # typing replaces the value; the cursor is the caret; Escape after a refused value.
    b = Browse("--load", "orders.ctl")
    b.wait_for("Acme Corp")
    b.send(*["down"] * 5, "right", "right", "enter")
    y = 7  # record 6
    b.wait_for("[", line=y)
    x = b.screen.display[y].index("[") + 1
    six = str(qty(6))
    if not settled(b, lambda: editor_state(b, y, x) == (six, x + len(six), False)):
        fail(f"editor on {six!r}: {editor_state(b, y, x)}\n" + b.text())
    b.send("9")
    if not settled(b, lambda: b.screen.display[y][x:x + 2] == "9 " and editor_state(b, y, x) == ("", x + 1, False)):
        fail(f"typing 9: {editor_state(b, y, x)}\n" + b.text())
    b.send("home")
    if not settled(b, lambda: editor_state(b, y, x) == ("", x, False)):
        fail(f"Home: {editor_state(b, y, x)}")
    b.send("enter")
    b.wait_for("Are you sure")
    b.send("y")
    if not settled(b, lambda: qty(6) == 9):
        fail(f"record 6 holds {qty(6)!r}, not 9")
    if not settled(b, lambda: b.screen.cursor.hidden):
        fail("the cursor still shows with the editor closed")
    # Record 7: a refused value, the box closed, typing goes on in the editor, Escape.
    seven = qty(7)
    b.send("down", "enter")
    b.wait_for("[", line=y + 1)
    b.send("x", "enter")
    b.wait_for("not a valid number")
    b.send("enter")
    b.wait_for("not a valid number", gone=True)
    b.send("5")
    b.wait_for("[x5", line=y + 1)
    b.send("\x1b")
    b.wait_for("[", line=y + 1, gone=True)
    b.wait_for(re.compile(rf"^ *7\| *7\|[^|]*\| *{seven}\|"), line=y + 1)
    if qty(7) != seven:
        fail(f"Escape wrote {qty(7)!r}")
    # Record 8 changed by someone else while it is edited: the box tells, the grid shows 77.
    b.send("down", "enter")
    b.wait_for("[", line=y + 2)
    set_qty(8, 77)
    b.send("55", "enter")
    b.wait_for("Are you sure")
    b.send("y")
    b.wait_for("changed or deleted by someone else")
    b.wait_for(re.compile(r"^ *8\| *8\|[^|]*\| *77\|"), line=y + 2)
    b.send("enter")
    b.wait_for("changed or deleted", gone=True)
    b.wait_for(re.compile(r"^ *8\| *8\|[^|]*\| *77\|"), line=y + 2)
    if qty(8) != 77:
        fail(f"record 8 holds {qty(8)!r}")
    b.send("q")
    b.finish(0)

    # A statement alone is read-only: the help line says so and offers no Enter, which opens
    # nothing; --set AllowUpdates makes the same display editable without a control file.
    plain = ["--db", "sample.db", "--sql", "SELECT Id, Customer FROM Orders"]
    b = Browse(*plain)
    b.wait_for("Acme Corp")
    b.wait_for(re.compile(r"q quit  \(read-only\) +Row 1 of 1,000 $"), line=footer)
    if "Enter" in b.screen.display[footer]:
        fail("a read-only display offers Enter: " + b.screen.display[footer])
    # Enter there opens the viewer of the cell's whole value, not an editor.
    b.send("right", "enter")
    b.wait_for("Customer - Row 1 of 1,000")
    if settled(b, lambda: "Esc cancel" in b.screen.display[footer]):
        fail("Enter opened an editor on a read-only display")
    b.send("\x1b")
    b.wait_for("Customer - Row", gone=True)
    b.send("q")
    b.finish(0)
    b = Browse(*plain, "--set", "AllowUpdates=true", "--set", "DataTable=Orders")
    b.wait_for("Acme Corp")
    b.wait_for(re.compile(r"Enter edit .*q quit +Row 1 of 1,000 $"), line=footer)
    b.send("right", "enter")
    b.wait_for("Esc cancel", line=footer)
    os.killpg(b.proc.pid, signal.SIGINT)
    b.finish(130)

    # A narrow terminal: Right onto a column beyond the right edge scrolls the columns until
    # the cursor's cell is drawn whole; Left scrolls back to the first column.
    notes = ["--db", "sample.db", "--sql", "SELECT Id, Customer, Qty, Price, Note FROM Orders"]
    b = Browse(*notes, cols=40)
    b.wait_for("Acme Corp")
    with sqlite3.connect("sample.db") as db:
        first = [str(v) for v in db.execute(
            "SELECT Id, Customer, Qty, Price, Note FROM Orders WHERE Id = 1").fetchone()]
    for keys, col in [("right", 1), ("right", 2), ("right", 3), ("right", 4), ("left", 3),
                      ("left", 2), ("left", 1), ("left", 0)]:
        b.send(keys)
        want = first[col][:6]  # a long text shows cut
        if not settled(b, lambda: b.highlighted().strip().startswith(want)):
            fail(f"the cursor's cell {want!r} is not in view:\n{b.text()}\n"
                 f"highlighted: {b.highlighted()!r}")
    b.send("q")
    b.finish(0)

    # A database error is a box the operator closes; Ctrl-C ends the session cleanly.
    b = Browse("--db", "sample.db", "--sql", "SELECT Id FROM NoSuchTable")
    b.wait_for("no such table: NoSuchTable")
    b.send("enter")
    b.wait_for("no such table", gone=True)
    os.killpg(b.proc.pid, signal.SIGINT)
    b.finish(130)

    # The terminal goes away (its window closed): the browser ends instead of spinning.
    b = Browse("--load", "orders.ctl")
    b.wait_for("Acme Corp")
    os.close(b.master)
    try:
        b.proc.wait(timeout=WAIT)
    except subprocess.TimeoutExpired:
        fail("still running after its terminal closed")
finally:
    for proc in STARTED:
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
    os.chdir("/")
    shutil.rmtree(work, ignore_errors=True)
print("ok")
