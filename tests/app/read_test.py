#!/usr/bin/env python3
"""Reading a result in `tabulo browse` (a pseudo-terminal read back through pyte): NULL shown
as a dim "∅" apart from an empty text, the viewer of a cut value (v, and Enter where nothing is
edited), y copying the cell or a Shift-marked block through OSC 52 or into the file the help
line names, and Ctrl+End showing the last full window. Waits are bounded."""
import base64
import fcntl
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time

import pyte

TABULO, HOST_JSON = sys.argv[1], sys.argv[2]
COLS, LINES, WAIT = 100, 30, 10.0
KEYS = {"up": "\x1bOA", "down": "\x1bOB", "right": "\x1bOC", "left": "\x1bOD", "end": "\x1bOF",
        "home": "\x1bOH", "enter": "\r", "esc": "\x1b", "shift-down": "\x1b[1;2B",
        "shift-right": "\x1b[1;2C", "ctrl-end": "\x1b[1;5F", "ctrl-home": "\x1b[1;5H"}
LONG = "The whole text of note 3 runs on well past the edge of its column, and on and on"
STARTED = []


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


class Browse:
    def __init__(self, *args, **env):
        self.master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", LINES, COLS, 0, 0))
        self.proc = subprocess.Popen(
            [TABULO, "browse", "--host", "host.json", "--locale", "en-US", "--ui-lang", "1033", *args],
            stdin=slave, stdout=slave, stderr=slave, start_new_session=True,
            env=dict(os.environ, TERM="xterm", LC_ALL="C.UTF-8", **env))
        STARTED.append(self.proc)
        os.close(slave)
        self.screen = pyte.Screen(COLS, LINES)
        self.stream = pyte.ByteStream(self.screen)
        self.raw = b""

    def until(self, what, predicate):
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline:
            if predicate():
                return
            if select.select([self.master], [], [], 0.05)[0]:
                try:
                    data = os.read(self.master, 65536)
                except OSError:  # the program has gone and closed its end
                    data = b""
                self.raw += data
                self.stream.feed(data)
        if not predicate():
            fail("never: " + what + "\n" + "\n".join(self.screen.display))

    def shows(self, text):
        self.until(repr(text), lambda: text in "\n".join(self.screen.display))

    def gone(self, text):
        self.until(repr(text) + " gone", lambda: text not in "\n".join(self.screen.display))

    def send(self, *keys):
        for k in keys:
            os.write(self.master, KEYS.get(k, k).encode())

    def line(self, record):
        """The screen line that shows `record` in its record-number cell."""
        for y, line in enumerate(self.screen.display[:-1]):
            if re.match(rf"^ *{record}\|", line):
                return line
        return None

    def records(self):
        return [int(m.group(1)) for line in self.screen.display[2:-1]
                if (m := re.match(r"^ *(\d+)\|", line))]

    def copied(self, count):
        """The texts copied through OSC 52 so far, once there are `count` of them."""
        found = lambda: re.findall(rb"\x1b\]52;c;([A-Za-z0-9+/=]*)\x07", self.raw)
        self.until(f"{count} OSC 52 copies", lambda: len(found()) >= count)
        return [base64.b64decode(t).decode() for t in found()]

    def quit(self):
        self.send("q")
        self.until("the exit", lambda: self.proc.poll() is not None)
        os.close(self.master)


work = tempfile.mkdtemp()
try:
    os.chdir(work)
    shutil.copy(HOST_JSON, "host.json")
    os.environ["XDG_STATE_HOME"] = os.path.join(work, "state")
    subprocess.run(["sqlite3", "notes.db",
                    "CREATE TABLE Notes(Id INTEGER PRIMARY KEY, Note TEXT, Stamp TEXT);"
                    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                    "INSERT INTO Notes SELECT i, CASE i % 3 WHEN 1 THEN NULL WHEN 2 THEN '' "
                    f"ELSE '{LONG}' END, '2020-01-01 10:11:12' FROM n;"], check=True)
    script = ('let DSNname "notes.db"\nlet RecordSource "SELECT Id, Note, Stamp FROM Notes"\n'
              'let DataTable "Notes"\nsave "notes.ctl"\n')
    subprocess.run([TABULO, "script", "-"], input=script.encode(), check=True)

    b = Browse("--load", "notes.ctl")
    b.shows("Row 1 of 300")
    # NULL (record 1) is a "∅", the empty text (record 2) stays blank; Note is the 3rd cell.
    note = lambda record: b.line(record).split("|")[2]
    if note(1).strip() != "\u2205" or note(2).strip() != "" or "\u2205" in b.line(3):
        fail("NULL and the empty text:\n" + "\n".join(b.screen.display[:6]))
    if "v view  y copy" not in b.screen.display[-1]:
        fail("the help line does not offer v and y: " + b.screen.display[-1])

    # The viewer: the whole value of record 3's cut note, by v and by Enter (read-only).
    b.send("right", "down", "down")
    b.shows("Row 3 of 300")
    if LONG in "\n".join(b.screen.display):
        fail("the note is not cut: the viewer shows nothing new")
    for key in ["v", "enter"]:
        b.send(key)
        b.shows(LONG)
        b.shows("Note - Row 3 of 300")
        b.send("esc")
        b.gone(LONG)

    # y: the cell through OSC 52; Shift+Up twice and Shift+Right: a block with its header.
    b.send("y")
    b.shows("copied the cell to the clipboard")
    if b.copied(1)[-1] != LONG:
        fail("the cell copied: " + repr(b.copied(1)[-1]))
    b.send("\x1b[1;2A", "\x1b[1;2A", "shift-right", "y")
    b.shows("copied 3 record(s) with the header")
    expected = f"Note\tStamp\n\t2020-01-01 10:11:12\n\t2020-01-01 10:11:12\n{LONG}\t2020-01-01 10:11:12\n"
    if b.copied(2)[-1] != expected:
        fail("the block copied: " + repr(b.copied(2)[-1]))
    # A plain key ends the block: y copies the cursor's cell alone again (record 1's NULL: "").
    b.send("left", "y")
    if b.copied(3)[-1] != "":
        fail("after the block: " + repr(b.copied(3)[-1]))

    # Ctrl+End: the last full window (300 on the last line); End: 300 alone; Ctrl+Home: 1 first.
    full = len(b.records())
    b.send("ctrl-end")
    b.until("the last full window", lambda: b.records()[-1:] == [300] and len(b.records()) == full)
    b.send("ctrl-home")
    b.until("the first window", lambda: b.records()[:1] == [1])
    b.send("end")
    b.until("300 alone", lambda: b.records() == [300])
    b.quit()

    # A terminal that takes no OSC 52: the copy goes into the file the help line names.
    b = Browse("--load", "notes.ctl", TABULO_CLIPBOARD="file")
    b.shows("Row 1 of 300")
    b.send("down", "down", "right", "y")
    b.shows("copied the cell into ")
    path = re.search(r"into (\S+\.tsv)", b.screen.display[-1]).group(1)
    with open(path, encoding="utf-8") as f:
        if f.read() != LONG:
            fail("the file holds something else")
    os.remove(path)
    if b"\x1b]52" in b.raw:
        fail("OSC 52 sent where the terminal takes none")
    b.quit()
finally:
    for proc in STARTED:
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
    os.chdir("/")
    shutil.rmtree(work, ignore_errors=True)
print("ok")
