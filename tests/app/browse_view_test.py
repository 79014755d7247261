#!/usr/bin/env python3
"""`tabulo browse` in a pseudo-terminal read back through pyte, on the 1000-row sample: go to
(`:`), find (`/`, `n`, `N`) beyond the rows in view, sort (`s`, a header click), reset (`R`)
and export what is shown (`e`). Waits are bounded."""
import fcntl
import glob
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

TABULO = sys.argv[1]
COLS, LINES = 100, 30
WAIT = 10.0
FOOTER = LINES - 1


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


class Browse:
    def __init__(self, *args):
        self.master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", LINES, COLS, 0, 0))
        env = dict(os.environ, TERM="xterm", LC_ALL="C.UTF-8")
        self.proc = subprocess.Popen([TABULO, "browse", "--locale", "en-US", "--ui-lang", "1033", *args],
                                     stdin=slave, stdout=slave, stderr=slave, env=env,
                                     start_new_session=True)
        os.close(slave)
        self.screen = pyte.Screen(COLS, LINES)
        self.stream = pyte.ByteStream(self.screen)

    def pump(self, timeout):
        if select.select([self.master], [], [], timeout)[0]:
            try:
                self.stream.feed(os.read(self.master, 65536))
            except OSError:
                pass

    def wait_for(self, pattern, line=None):
        deadline = time.monotonic() + WAIT
        shown = lambda: "\n".join(self.screen.display) if line is None else self.screen.display[line]
        while not re.search(pattern, shown()):
            if time.monotonic() > deadline:
                fail(f"never showed {pattern!r}:\n" + "\n".join(self.screen.display))
            self.pump(0.05)

    def send(self, text):
        os.write(self.master, text.encode())


work = tempfile.mkdtemp()
b = None
try:
    os.chdir(work)
    os.environ["XDG_STATE_HOME"] = os.path.join(work, "state")
    subprocess.run([TABULO, "sample-db", "sample.db", "--rows", "1000"], check=True, stdout=subprocess.DEVNULL)
    with sqlite3.connect("sample.db") as db:
        db.execute("UPDATE Orders SET Customer = 'Needle Corp' WHERE Id = 654")
    b = Browse("--db", "sample.db", "--sql", "SELECT Id, Customer, Qty FROM Orders")
    b.wait_for(r"Row 1 of 1,000 $", FOOTER)

    b.send(":777\r")
    b.wait_for(r" Row 777 of 1,000 $", FOOTER)
    b.send(":12x\r")
    b.wait_for(r'"12x" is no record number', FOOTER)

    b.send("\x1bOH/needle\r")  # Home, then find
    b.wait_for(r'Found "needle" in record 654\. +Row 654 of 1,000 $', FOOTER)
    y = next(i for i, l in enumerate(b.screen.display) if "Needle Corp" in l)
    x = b.screen.display[y].index("Needle Corp")
    if not (b.screen.buffer[y][x].underscore and b.screen.buffer[y][x].reverse):
        fail("the found cell is not marked:\n" + "\n".join(b.screen.display))
    b.send("n")
    b.wait_for(r"record 654 \(from the top again\)", FOOTER)
    b.send("N")
    b.wait_for(r"record 654 \(from the end again\)", FOOTER)
    b.send("/no such text\r")
    b.wait_for(r'No cell holds "no such text"\.', FOOTER)

    # Sorting: `s` on the cursor's column (Qty, two to the right), then a header click.
    b.send("\x1bOH\x1bOC\x1bOCs")
    b.wait_for(r"^ \[sorted by Qty, ascending\]", FOOTER)
    b.wait_for(r"^ +1\| +\d+\|[^|]*\| +0\|", 2)
    header = b.screen.display[0]
    qty_x = header.index("Qty")
    b.send(f"\x1b[<0;{qty_x + 1};1M\x1b[<0;{qty_x + 1};1m")
    b.wait_for(r"^ \[sorted by Qty, descending\]", FOOTER)
    b.wait_for(r"^ +1\| +\d+\|[^|]*\| +499\|", 2)

    # `e`: what is shown, to a file named in the status line, with the exact count.
    b.send("e")
    b.wait_for(r"Exported 1,000 records to tabulo-view-\d{8}-\d{4}", FOOTER)  # cut at 100 columns
    files = glob.glob("tabulo-view-*.csv")
    with open(files[0], newline="") as f:
        lines = f.read().split("\r\n")
    if len(files) != 1 or lines[0] != "Id,Customer,Qty" or len(lines) != 1002 or not lines[1].endswith(",499"):
        fail(f"the export holds {lines[:3]} ... ({len(lines)} lines)")

    b.send("fCustomer contains zz-nowhere\r")
    b.wait_for(r'^ \[sorted by Qty, descending; filtered: Customer contains "zz-nowhere"\]', FOOTER)
    b.send("fQty < ten\r")  # not a number: refused with the reason
    b.wait_for(r"the filter on Qty needs a value of its type")
    b.send("\r")
    b.send("R")
    b.wait_for(r"^ +1\| +1\|", 2)
    # The footer names no view once the reset's window is drawn (bounded wait: the machine may
    # be slow to draw the line after the grid).
    b.wait_for(r"^(?!.*sorted)(?!.*filtered)", FOOTER)
    b.send("q")
    b.proc.wait(timeout=WAIT)
    # A wider terminal has room for the reading keys on the help line.
    COLS = 160
    b = Browse("--db", "sample.db", "--sql", "SELECT Id FROM Orders")
    b.wait_for(r"m menu  / find  : go to  s sort  f filter  e export  q quit  \(read-only\) +Row 1 of 1,000 $", FOOTER)
    b.send("q")
    b.proc.wait(timeout=WAIT)
finally:
    if b and b.proc.poll() is None:
        os.killpg(b.proc.pid, signal.SIGKILL)
    os.chdir("/")
    shutil.rmtree(work, ignore_errors=True)
print("ok")
