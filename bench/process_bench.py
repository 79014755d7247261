#!/usr/bin/env python3
"""Whole-process figures beside a reference run in the same loop: `tabulo export --format csv`
against `sqlite3 -csv -header` on the same statement, `tabulo --version` against
`sqlite3 --version` (program start), the peak RSS of `tabulo show` on the 1,000-row sample, and
`tabulo show --at 5000000` on the 10,000,000-row sample against `sqlite3 FILE "SELECT count(*)
FROM (S)"` for each shape of statement S (the first window in the middle of the result against
the count pass, both journal modes).
Runs are interleaved (tabulo, reference, tabulo, ...) and the medians kept, wall time and CPU
time (user + system) apart. Writes BUILD_DIR/process.json for results.py.
usage: process_bench.py BUILD_DIR TABULO [SQLITE3]
Environment: TABULO_BENCH_RUNS (default 5) runs of each export; TABULO_BENCH_EXPORT_10M=1 adds
the 10,000,000-row sample's export (slow)."""
import json
import os
import statistics
import subprocess
import sys
import time

build, tabulo = sys.argv[1], sys.argv[2]
sqlite3 = sys.argv[3] if len(sys.argv) > 3 else "sqlite3"
runs = int(os.environ.get("TABULO_BENCH_RUNS", "5"))
QUERY = "SELECT * FROM Orders"
SHOWN = "SELECT * FROM Orders WHERE Qty < 400"


def timed(cmd):
    """Wall and CPU seconds of one run, its output thrown away."""
    start = time.perf_counter()
    with open(os.devnull, "wb") as null:
        child = subprocess.Popen(cmd, stdout=null, stderr=null)
        _, status, usage = os.wait4(child.pid, 0)
    wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        raise SystemExit(f"failed ({child.returncode}): {' '.join(cmd)}")
    return wall, usage.ru_utime + usage.ru_stime


def peak_rss_mib(cmd):
    """The peak RSS of `cmd`, started by /usr/bin/time: a small launcher, since a child's peak
    counts the memory of the process it was forked from."""
    out = os.path.join(build, "peak-rss.txt")
    with open(os.devnull, "wb") as null:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", out] + cmd, stdout=null, stderr=null,
                       check=True)
    with open(out) as f:
        return int(f.read().split()[-1]) / 1024.0


def compare(name, ours, reference, n):
    """Medians of n interleaved runs of each."""
    samples = {"ours": [], "reference": []}
    for _ in range(n):
        samples["ours"].append(timed(ours))
        samples["reference"].append(timed(reference))
    result = {}
    for who, values in samples.items():
        result[f"{who}_wall_ms"] = statistics.median(v[0] for v in values) * 1000
        result[f"{who}_cpu_ms"] = statistics.median(v[1] for v in values) * 1000
    result["runs"] = n
    print(f"{name}: {result}", file=sys.stderr)
    return result


figures = {"load_avg": os.getloadavg(), "date": time.strftime("%Y-%m-%dT%H:%M:%S%z"),
           "runs": runs}
sizes = ["1m"] + (["10m"] if os.environ.get("TABULO_BENCH_EXPORT_10M") == "1" else [])
for size in sizes:
    db = os.path.join(build, f"orders-{size}.db")
    if os.path.exists(db):
        figures[f"export_csv_{size}"] = compare(
            f"export {size}", [tabulo, "export", "--db", db, "--sql", QUERY],
            [sqlite3, "-csv", "-header", db, QUERY], runs)
figures["start"] = compare("start", [tabulo, "--version"], [sqlite3, "--version"], 31)
# Statement shapes: the window in the middle of the result, whole processes, against the count.
SHAPES = (
    ("plain", SHOWN, ("10m-wal", "10m")),
    ("expressions", "SELECT Id, Qty * 2 AS q2, upper(Customer) AS c FROM Orders WHERE Qty < 400",
     ("10m-wal", "10m")),
    ("ORDER BY", SHOWN + " ORDER BY Qty DESC", ("10m-wal",)),
    ("GROUP BY", "SELECT Customer, count(*) AS n, sum(Qty) AS q FROM Orders GROUP BY Customer",
     ("10m-wal",)),
)
figures["shapes"] = []
for shape, sql, samples in SHAPES:
    for sample in samples:
        db = os.path.join(build, f"orders-{sample}.db")
        if not os.path.exists(db):
            continue
        result = compare(f"shape {shape} {sample}",
                         [tabulo, "show", "--db", db, "--sql", sql, "--at", "5000000"],
                         [sqlite3, db, f"SELECT count(*) FROM ({sql})"], runs)
        result.update({"shape": shape, "sql": sql, "sample": sample})
        figures["shapes"].append(result)
small = os.path.join(build, "orders-1k.db")
if os.path.exists(small):
    shown = [tabulo, "show", "--db", small, "--sql", SHOWN]
    figures["peak_rss_1k_mib"] = statistics.median(peak_rss_mib(shown) for _ in range(5))
    figures["peak_rss_version_mib"] = peak_rss_mib([tabulo, "--version"])
    figures["peak_rss_sqlite3_1k_mib"] = peak_rss_mib([sqlite3, small, SHOWN])
with open(os.path.join(build, "process.json"), "w") as f:
    json.dump(figures, f, indent=1)
