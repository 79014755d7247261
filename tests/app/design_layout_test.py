#!/usr/bin/env python3
"""`tabulo design --layout` on a pseudo-terminal, read back through a VT100 emulator: the
General page drawn as laid out, its access keys underlined (and nothing else), no "&" shown.
Waits are bounded."""
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

import pyte

TABULO = sys.argv[1]
COLS, LINES = 100, 30

work = tempfile.mkdtemp()
subprocess.run([TABULO, "sample-db", "d.db", "--rows", "20"], cwd=work, check=True,
               stdout=subprocess.DEVNULL)
master, slave = os.openpty()
env = dict(os.environ, TERM="xterm", LC_ALL="C.UTF-8", XDG_STATE_HOME=os.path.join(work, "st"))
proc = subprocess.Popen([TABULO, "design", "--db", "d.db", "--layout", "--save", "t.ctl"],
                        cwd=work, stdin=subprocess.PIPE, stdout=slave, stderr=slave, env=env)
os.close(slave)
proc.stdin.write(b"page UsrControlProperties\n")
proc.stdin.close()
screen = pyte.Screen(COLS, LINES)
stream = pyte.ByteStream(screen)
deadline = time.time() + 20
while time.time() < deadline:
    ready, _, _ = select.select([master], [], [], 0.5)
    if ready:
        try:
            data = os.read(master, 65536)
        except OSError:
            break
        if not data:
            break
        stream.feed(data.replace(b"\n", b"\r\n"))
    elif proc.poll() is not None:
        break
proc.wait(timeout=10)
shutil.rmtree(work, ignore_errors=True)


def fail(message):
    print("FAIL: " + message + "\n" + "\n".join(screen.display))
    sys.exit(1)


if proc.returncode != 0:
    fail(f"design exited {proc.returncode}")
underlined = []
for y in range(LINES):
    for x in range(COLS):
        if screen.buffer[y][x].underscore:
            underlined.append((screen.display[y].rstrip(), x))

# "Allow database &updates" and "Font C&olor": the two access keys of the page.
if [line[x] for line, x in underlined] != ["u", "o"]:
    fail("underlined: " + repr([(line, x) for line, x in underlined]))
if not any("[ ] Allow database updates" in line for line in screen.display):
    fail("the page is not drawn")
if any("&" in line for line in screen.display):
    fail("an ampersand is shown")
print("ok")
