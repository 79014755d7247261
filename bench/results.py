#!/usr/bin/env python3
"""The results table of a bench run: reads record_set.json and control.json (Google Benchmark
output) and the samples' generation times from BUILD_DIR, and prints markdown with each figure
beside its reference from the same run, the ratio and the target."""
import json
import os
import platform
import sys

build = sys.argv[1] if len(sys.argv) > 1 else "build/bench"


def load(name):
    path = os.path.join(build, name)
    if not os.path.exists(path):
        return {}, {}
    with open(path) as f:
        data = json.load(f)
    runs = {}
    for b in data.get("benchmarks", []):
        # "Jump/10m/iterations:1" -> "Jump/10m"
        key = "/".join(p for p in b["name"].split("/") if not p.startswith("iterations:"))
        runs[key] = b
    return runs, data.get("context", {})


cursor, cursor_ctx = load("record_set.json")
control, control_ctx = load("control.json")

UNIT = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


def ms(runs, key):
    b = runs.get(key)
    if not b or b.get("error_occurred"):
        return None
    return b["real_time"] * UNIT[b["time_unit"]]


def counter(runs, key, name):
    b = runs.get(key)
    if not b or b.get("error_occurred") or name not in b:
        return None
    return float(b[name])


def fmt(v, unit):
    if v is None:
        return "n/a"
    if unit == "ms":
        return f"{v:,.1f} ms" if v >= 10 else f"{v:.2f} ms"
    if unit == "us":
        return f"{v:,.0f} µs" if v >= 100 else f"{v:.1f} µs"
    if unit == "MB":
        return f"{v:.1f} MB"
    if unit == "MiB":
        return f"{v:.1f} MiB"
    if unit == "x":
        return f"{v:,.0f} ×" if v >= 100 else f"{v:.2f} ×"
    return str(v)


def ratio(a, b):
    return None if a is None or b is None or b == 0 else a / b


rows = []


def row(figure, value, unit, reference, ref_unit, r, target, met):
    verdict = "n/a" if met is None else ("yes" if met else "**no**")
    rows.append(f"| {figure} | {fmt(value, unit)} | {reference} | {fmt(r, 'x') if r is not None else '—'} | {target} | {verdict} |")


def check(v, pred):
    return None if v is None else pred(v)


# First window against the count pass on the same file.
for label, rs_arg, ctl_key, mode in (("rollback journal", "0", "10m", "rollback"),
                                     ("WAL", "1", "10m-wal", "WAL")):
    c = counter(cursor, f"BM_FirstWindow/{rs_arg}", "count_median_ms")
    f = counter(cursor, f"BM_FirstWindow/{rs_arg}", "first_window_median_ms")
    n = counter(cursor, f"BM_FirstWindow/{rs_arg}", "runs")
    r = ratio(f, c)
    row(f"first window, record set, {label} (median of {n or 0:.0f}, interleaved)", f, "ms",
        f"count pass {fmt(c, 'ms')}", "ms", r, "≤ 1.5 ×", check(r, lambda x: x <= 1.5))
    c = counter(control, f"FirstWindow/{ctl_key}", "count_median_ms")
    f = counter(control, f"FirstWindow/{ctl_key}", "first_window_median_ms")
    n = counter(control, f"FirstWindow/{ctl_key}", "runs")
    r = ratio(f, c)
    row(f"first window, control (Refresh → grid filled), {label} (median of {n or 0:.0f}, "
        "interleaved)", f, "ms", f"count pass {fmt(c, 'ms')}", "ms", r, "≤ 1.5 ×",
        check(r, lambda x: x <= 1.5))

# The self-join (general path, 2M rows): its first window at the middle against its count(*).
for what, suffix in (("wall", ""), ("CPU", "_cpu")):
    c = counter(cursor, "BM_SelfJoinMiddle", f"count{suffix}_ms")
    f = counter(cursor, "BM_SelfJoinMiddle", f"middle_window{suffix}_ms")
    r = ratio(f, c)
    row(f"self-join of 2M rows, first window at the middle, {what} (median of 5, interleaved)", f,
        "ms", f"count(*) {fmt(c, 'ms')}", "ms", r, "≤ 2 ×", check(r, lambda x: x <= 2))

# Jumps against LIMIT 30 OFFSET n.
offset_rs = ms(cursor, "BM_OffsetPage/0")
for name, runs, key in (("record set, rollback", cursor, "BM_Jump/0"),
                        ("record set, WAL", cursor, "BM_Jump/1")):
    med = counter(runs, key, "median_us")
    p99 = counter(runs, key, "p99_us")
    r = ratio(offset_rs, med / 1000 if med else None)
    row(f"jump median, {name}", med, "us", f"OFFSET page {fmt(offset_rs, 'ms')} (mean of 5)", "",
        r, "≥ 1,000 ×; ≤ 200 µs", check(med, lambda x: x <= 200 and (r or 0) >= 1000))
    row(f"jump p99, {name}", p99, "us", "", "", None, "≤ 1,000 µs", check(p99, lambda x: x <= 1000))
for key in ("10m", "10m-wal"):
    med = counter(control, f"Jump/{key}", "median_us")
    p99 = counter(control, f"Jump/{key}", "p99_us")
    off = counter(control, f"OffsetPage/{key}", "median_us")
    r = ratio(off, med)
    row(f"jump median, control (SetValue → window), {key}", med, "us",
        f"OFFSET page {fmt(off / 1000 if off else None, 'ms')} (median of 20)", "", r,
        "≥ 1,000 ×; ≤ 200 µs", check(med, lambda x: x <= 200 and (r or 0) >= 1000))
    wr = counter(control, f"WindowRead/{key}", "median_us")
    row(f"jump median, the control's record set read as a fill reads it, {key}", wr, "us",
        f"control's jump {fmt(med, 'us')}: grid and formatting {fmt(med - wr if med and wr else None, 'us')}",
        "", None, "≤ 200 µs", check(wr, lambda x: x <= 200))
    row(f"jump p99, control, {key}", p99, "us", "", "", None, "≤ 1,000 µs",
        check(p99, lambda x: x <= 1000))
    cpu = counter(control, f"Jump/{key}", "cpu_p99_us")
    row(f"jump p99, control, {key}, thread CPU time (no preemption)", cpu, "us", "", "", None,
        "≤ 1,000 µs", check(cpu, lambda x: x <= 1000))

# Steps.
step_rs = ms(cursor, "BM_Step/1")
row("step, record set (one MoveNext + row read), WAL", step_rs * 1000 if step_rs else None, "us",
    "", "", None, "≤ 100 µs", check(step_rs, lambda x: x * 1000 <= 100))
for key in ("10m", "10m-wal"):
    med = counter(control, f"Step/{key}", "median_us")
    row(f"step median, control (SetValue(v+1) → window), {key}", med, "us", "", "", None,
        "≤ 100 µs", check(med, lambda x: x <= 100))

# An operator's edit written and the window filled again, against the bare UPDATE.
for key in ("10m", "10m-wal"):
    med = counter(control, f"EditWrite/{key}", "median_us")
    cpu = counter(control, f"EditWrite/{key}", "cpu_median_us")
    ref = counter(control, f"EditReference/{key}", "median_us")
    r = ratio(med, ref)
    row(f"edit median, control (click, type, Enter → UPDATE committed → window filled), {key}",
        med / 1000 if med else None, "ms", f"the UPDATE alone {fmt(ref / 1000 if ref else None, 'ms')}",
        "", r, "≤ 5 ms", check(med, lambda x: x <= 5000))
    row(f"edit median, control, {key}, thread CPU time", cpu / 1000 if cpu else None, "ms", "", "",
        None, "≤ 5 ms", check(cpu, lambda x: x <= 5000))

# Peak RSS of `tabulo show --at 5000000`.
small = counter(control, "PeakRss/1k", "peak_rss_mb")
for key in ("10m", "10m-wal"):
    big = counter(control, f"PeakRss/{key}", "peak_rss_mb")
    above = None if big is None or small is None else big - small
    row(f"peak RSS, tabulo show --at 5000000, {key}", big, "MB",
        f"1,000-row sample {fmt(small, 'MB')}; {fmt(above, 'MB')} above", "", None, "≤ 32 MB above",
        check(above, lambda x: x <= 32))

# Whole processes (process_bench.py): export and program start against sqlite3, peak memory.
process = {}
if os.path.exists(os.path.join(build, "process.json")):
    with open(os.path.join(build, "process.json")) as f:
        process = json.load(f)
for size, label in (("1m", "1,000,000"), ("10m", "10,000,000")):
    e = process.get(f"export_csv_{size}")
    if not e:
        continue
    r = ratio(e["ours_wall_ms"], e["reference_wall_ms"])
    row(f"`tabulo export --format csv`, {label} rows, wall (median of {e['runs']})", e["ours_wall_ms"],
        "ms", f"`sqlite3 -csv -header` {fmt(e['reference_wall_ms'], 'ms')}", "", r, "≤ 1.2 ×",
        check(r, lambda x: x <= 1.2))
    r = ratio(e["ours_cpu_ms"], e["reference_cpu_ms"])
    row(f"the same, CPU time", e["ours_cpu_ms"], "ms", f"`sqlite3` {fmt(e['reference_cpu_ms'], 'ms')}",
        "", r, "≤ 1.2 ×", check(r, lambda x: x <= 1.2))
st = process.get("start")
if st:
    r = ratio(st["ours_wall_ms"], st["reference_wall_ms"])
    row(f"`tabulo --version`, wall (median of {st['runs']})", st["ours_wall_ms"], "ms",
        f"`sqlite3 --version` {fmt(st['reference_wall_ms'], 'ms')}", "", r, "≤ 2 ×",
        check(r, lambda x: x <= 2))
    r = ratio(st["ours_cpu_ms"], st["reference_cpu_ms"])
    row("the same, CPU time", st["ours_cpu_ms"], "ms", f"`sqlite3` {fmt(st['reference_cpu_ms'], 'ms')}",
        "", r, "≤ 2 ×", check(r, lambda x: x <= 2))
rss = process.get("peak_rss_1k_mib")
if rss is not None:
    row("peak RSS, `tabulo show` on the 1,000-row sample (median of 5)", rss, "MiB",
        f"`tabulo --version` {fmt(process.get('peak_rss_version_mib'), 'MiB')}; `sqlite3` on the "
        f"same statement {fmt(process.get('peak_rss_sqlite3_1k_mib'), 'MiB')}", "", None, "≤ 12 MiB",
        check(rss, lambda x: x <= 12))

shape_rows = []
for sh in process.get("shapes", []):
    mode = "WAL" if sh["sample"].endswith("-wal") else "rollback journal"
    r_wall = ratio(sh["ours_wall_ms"], sh["reference_wall_ms"])
    r_cpu = ratio(sh["ours_cpu_ms"], sh["reference_cpu_ms"])
    shape_rows.append(f"| {sh['shape']}: `{sh['sql']}` | {mode} | {fmt(sh['ours_wall_ms'], 'ms')} | "
                      f"{fmt(sh['reference_wall_ms'], 'ms')} | {fmt(r_wall, 'x')} | "
                      f"{fmt(sh['ours_cpu_ms'], 'ms')} | {fmt(sh['reference_cpu_ms'], 'ms')} | "
                      f"{fmt(r_cpu, 'x')} |")

ctx = control_ctx or cursor_ctx
cpu = "?"
try:
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
except OSError:
    pass

print("# Benchmark results")
print()
print(f"Machine: {os.cpu_count()} CPUs ({ctx.get('num_cpus', '?')} seen by the benchmark), {cpu}, "
      f"{ctx.get('mhz_per_cpu', '?')} MHz; SQLite {ctx.get('sqlite_version', '?')}; "
      f"{platform.system()} {platform.release()}; run {ctx.get('date', '?')}, "
      f"load average {', '.join(f'{x:.2f}' for x in ctx.get('load_avg', [])) or '?'}"
      + (f"; whole-process figures {process.get('date', '?')}, load average "
         f"{', '.join(f'{x:.2f}' for x in process.get('load_avg', []))}" if process else "") + ".")
print()
print("Query `SELECT * FROM Orders WHERE Qty < 400` on the 10,000,000-row sample "
      "(8,000,000 rows); windows of 30 rows; references measured on the same file in the same run.")
print()
print("| figure | measured | reference | ratio | target | met |")
print("|---|---|---|---|---|---|")
for r in rows:
    print(r)

print()
print("Wall-clock p99s of a few ms are the thread being preempted on a shared machine: the "
      "thread CPU time per fill is given beside them.")

if shape_rows:
    print()
    print(f"## Statement shapes (whole processes, medians of {process.get('runs', '?')} interleaved runs)")
    print()
    print("`tabulo show --at 5000000` on the 10,000,000-row sample against C = "
          "`sqlite3 FILE \"SELECT count(*) FROM (S)\"`.")
    print()
    print("| statement S | journal | show, wall | C, wall | ratio | show, CPU | C, CPU | ratio |")
    print("|---|---|---|---|---|---|---|---|")
    for r in shape_rows:
        print(r)
print()
print("## Growth (control; first window and count pass linear in rows, jump and step flat)")
print()
print("| journal | sample rows | result rows | count pass | first window | ratio | jump median | jump p99 | jump p99 CPU | record set window read (median) | step median | OFFSET page (median) | peak RSS |")
print("|---|---|---|---|---|---|---|---|---|---|---|---|---|")
SIZES = (("1k", 1e3), ("100k", 1e5), ("1m", 1e6), ("10m", 1e7))
MODES = (("rollback", ""), ("WAL", "-wal"))
for mode, suffix in MODES:
    for size, n in SIZES:
        key = size + suffix
        c = counter(control, f"FirstWindow/{key}", "count_median_ms")
        f = counter(control, f"FirstWindow/{key}", "first_window_median_ms")
        res = counter(control, f"FirstWindow/{key}", "rows")
        off = counter(control, f"OffsetPage/{key}", "median_us")
        print(f"| {mode} | {n:,.0f} | {f'{res:,.0f}' if res is not None else 'n/a'} | {fmt(c, 'ms')} | {fmt(f, 'ms')} | "
              f"{fmt(ratio(f, c), 'x')} | {fmt(counter(control, f'Jump/{key}', 'median_us'), 'us')} | "
              f"{fmt(counter(control, f'Jump/{key}', 'p99_us'), 'us')} | "
              f"{fmt(counter(control, f'Jump/{key}', 'cpu_p99_us'), 'us')} | "
              f"{fmt(counter(control, f'WindowRead/{key}', 'median_us'), 'us')} | "
              f"{fmt(counter(control, f'Step/{key}', 'median_us'), 'us')} | "
              f"{fmt(off / 1000 if off else None, 'ms')} | "
              f"{fmt(counter(control, f'PeakRss/{key}', 'peak_rss_mb'), 'MB')} |")


def growth_svg(path):
    """A log-log chart of time against sample rows: count pass, first window, jump and step
    medians, for both journal modes. Plain SVG, no plotting library."""
    import math
    series = []
    colours = {"count pass": "#888888", "first window": "#1f77b4", "jump median": "#2ca02c",
               "step median": "#d62728"}
    for mode, suffix in MODES:
        dash = "" if suffix == "" else ' stroke-dasharray="6 4"'
        for name, get in (("count pass", lambda k: counter(control, f"FirstWindow/{k}", "count_median_ms")),
                          ("first window", lambda k: counter(control, f"FirstWindow/{k}", "first_window_median_ms")),
                          ("jump median", lambda k: (counter(control, f"Jump/{k}", "median_us") or 0) / 1000 or None),
                          ("step median", lambda k: (counter(control, f"Step/{k}", "median_us") or 0) / 1000 or None)):
            pts = [(n, get(size + suffix)) for size, n in SIZES]
            pts = [(x, y) for x, y in pts if y]
            if pts:
                series.append((f"{name}, {mode}", colours[name], dash, pts))
    if not series:
        return
    W, H, L, R, T, B = 760, 460, 70, 230, 20, 50
    ys = [y for *_, pts in series for _, y in pts]
    y0 = math.floor(math.log10(min(ys)))
    y1 = math.ceil(math.log10(max(ys)))
    x0, x1 = 3, 7

    def px(x):
        return L + (math.log10(x) - x0) / (x1 - x0) * (W - L - R)

    def py(y):
        return H - B - (math.log10(y) - y0) / max(y1 - y0, 1) * (H - T - B)

    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{W}" height="{H}" font-family="sans-serif" font-size="12">',
           f'<rect width="{W}" height="{H}" fill="white"/>']
    for e in range(x0, x1 + 1):
        x = px(10 ** e)
        out.append(f'<line x1="{x:.1f}" y1="{T}" x2="{x:.1f}" y2="{H - B}" stroke="#ddd"/>')
        out.append(f'<text x="{x:.1f}" y="{H - B + 16}" text-anchor="middle">1e{e}</text>')
    for e in range(y0, y1 + 1):
        y = py(10 ** e)
        out.append(f'<line x1="{L}" y1="{y:.1f}" x2="{W - R}" y2="{y:.1f}" stroke="#ddd"/>')
        out.append(f'<text x="{L - 6}" y="{y + 4:.1f}" text-anchor="end">{10 ** e:g} ms</text>')
    out.append(f'<text x="{(L + W - R) / 2}" y="{H - 12}" text-anchor="middle">sample rows (log)</text>')
    for i, (label, colour, dash, pts) in enumerate(series):
        d = " ".join(f"{px(x):.1f},{py(y):.1f}" for x, y in pts)
        out.append(f'<polyline points="{d}" fill="none" stroke="{colour}" stroke-width="2"{dash}/>')
        for x, y in pts:
            out.append(f'<circle cx="{px(x):.1f}" cy="{py(y):.1f}" r="3" fill="{colour}"/>')
        ly = T + 14 + i * 18
        out.append(f'<line x1="{W - R + 12}" y1="{ly - 4}" x2="{W - R + 40}" y2="{ly - 4}" stroke="{colour}" stroke-width="2"{dash}/>')
        out.append(f'<text x="{W - R + 46}" y="{ly}">{label}</text>')
    out.append("</svg>")
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w") as f:
        f.write("\n".join(out) + "\n")


if len(sys.argv) > 2:
    growth_svg(sys.argv[2])
    print()
    print(f"Chart: {os.path.relpath(sys.argv[2])} (log-log, time against sample rows).")

print()
print("## Sample generation (`tabulo sample-db`, wall time)")
print()
print("| sample | seconds |")
print("|---|---|")
for name in ("orders-1k.db", "orders-100k.db", "orders-1m.db", "orders-10m.db"):
    path = os.path.join(build, name + ".gen-seconds")
    if os.path.exists(path):
        with open(path) as f:
            print(f"| {name} | {float(f.read().strip()):.2f} |")
    else:
        print(f"| {name} | not generated in this build folder |")
