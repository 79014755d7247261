// Load on the operator display tier (not run by CI; no limits asserted): N simulated operators,
// each a page of its own (its session and its event stream), go to random records and edit
// random ones at a steady rate for a bounded time, through the proxy or one `tabulo serve`.
// Per N: scroll -> window pushed latency (the "goto" posted until the scene showing that
// record arrives on the stream), edit -> commit acknowledged latency (the click on the cell
// until the Enter's reply), errors, memory and CPU of each serve process, PostgreSQL
// connections; then every acknowledged edit is checked against the database (each operator's
// rows hold its last acknowledged value) and the audit trail (each acknowledged value exactly
// once): lost and duplicated edits.
//
// usage: node bench/cluster_load.mjs --url URL [--token T] [--operators 10,50,200]
//          [--seconds 30] [--interval-ms 1000] [--edit-every 3] [--pids "PID ..."]
//          [--pg-port P [--pg-host H]] [--sqlite DB] [--audit-db AUDIT.db]
//        node bench/cluster_load.mjs --env DIR/cluster.env ...   (the cluster's settings)
//        node bench/cluster_load.mjs --serve TABULO [--pg] ...   (one serve of its own on a
//                                 SQLite sample, or with --pg on a throw-away PostgreSQL
//                                 server (tests/common/pg_server.sh); its edits audited)
// The edited column is Customer of table Orders (Id, Customer, ... ORDER BY Id); operator k
// edits only records with Id % N == k, writing "<run>n<N>o<k>-<n>" (n counting its edits),
// so every row's last value is known. Plain node: http, child_process, fs.
import { execFileSync, spawn } from "node:child_process";
import { chmodSync, existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";

const args = process.argv.slice(2);
const opt = (name, fallback) => {
  const i = args.indexOf(`--${name}`);
  return i >= 0 && i + 1 < args.length ? args[i + 1] : fallback;
};
const env = {};
if (opt("env")) {
  for (const line of readFileSync(opt("env"), "utf8").split("\n")) {
    const m = line.match(/^([A-Z_]+)=(.*)$/);
    if (m) env[m[1]] = m[2].replace(/^"(.*)"$/, "$1");
  }
}
const SECONDS = +opt("seconds", process.env.BENCH_SECONDS || "30");
const INTERVAL = +opt("interval-ms", "1000");
const EDIT_EVERY = +opt("edit-every", "3");
const COUNTS = opt("operators", "10,50,200").split(",").map(Number);
let URL_TEXT = opt("url", env.URL);
let TOKEN = opt("token", env.TOKEN || "");
let PIDS = (opt("pids", env.SERVE_PIDS || "")).split(/\s+/).filter(Boolean).map(Number);
let PG_PORT = opt("pg-port", env.PRIMARY_PORT);
const PG_HOST = opt("pg-host", "127.0.0.1");
let SQLITE = opt("sqlite");
let AUDIT = opt("audit-db", env.AUDIT_DB);
let own = null;

if (opt("serve")) own = await ServeOwn(opt("serve"), Math.max(...COUNTS), args.includes("--pg"));
if (!URL_TEXT) {
  console.error("cluster_load: give --url URL (with --token), --env DIR/cluster.env or --serve TABULO");
  process.exit(2);
}
const base = new URL(URL_TEXT);
if (!TOKEN) TOKEN = base.searchParams.get("token") || "";
const ORIGIN = `http://${base.host}`;
const agent = new http.Agent({ keepAlive: false, maxSockets: Infinity });

// One serve process of our own on a fresh sample with audited edits: a SQLite file, or a
// PostgreSQL server of its own (stopped and removed when this program ends).
async function ServeOwn(tabulo, operators, pg) {
  const dir = mkdtempSync(path.join(os.tmpdir(), "tabulo-load-"));
  const db = path.join(dir, "s.db");
  const rows = 5000;
  const server = { name: "PLANT-01" };
  let control = ["--db", db];
  if (pg) {
    const script = new URL("../tests/common/pg_server.sh", import.meta.url).pathname;
    chmodSync(dir, 0o755);  // the server runs as the user postgres
    PG_PORT = execFileSync("bash", [script, "start", path.join(dir, "pg"), String(process.pid)],
                           { encoding: "utf8" }).trim().split("\n").pop();
    sql(`CREATE TABLE Orders(Id integer PRIMARY KEY, Customer varchar(40), Qty integer,
         Price numeric(10,2)); INSERT INTO Orders SELECT i, 'Customer ' || i, i % 500,
         (i % 97) * 1.25 FROM generate_series(1, ${rows}) i`);
    server.postgresql = { "plant-db": { host: "127.0.0.1", port: +PG_PORT, database: "postgres",
                                        user: "postgres", password: "secret" } };
    control = ["--db", "plant-db", "--set", "ServerType=1"];
  } else {
    execFileSync(tabulo, ["sample-db", db, "--rows", String(rows)]);
    SQLITE = db;
  }
  writeFileSync(path.join(dir, "host.json"), JSON.stringify({
    format: 1,
    clusters: [{ name: "Local", type: "DizuvAdar", coordinator: "Local", servers: [server] },
               { name: "Local Logging", type: "Logging", coordinator: "Local" }],
    security: { audit_database: "audit.db" },
  }));
  const token = execFileSync("openssl", ["rand", "-hex", "16"], { encoding: "utf8" }).trim();
  writeFileSync(path.join(dir, "token"), token, { mode: 0o600 });
  const proc = spawn(tabulo, ["serve", "--port", "0", "--host", path.join(dir, "host.json"),
    "--token-file", path.join(dir, "token"), "--max-sessions", String(operators + 4),
    ...control, "--sql", "SELECT Id, Customer, Qty, Price FROM Orders ORDER BY Id",
    "--set", "DataTable=Orders", "--set", "AllowUpdates=true", "--set", "LogEvent=true",
    "--set", 'LoggingClusterName="Local Logging"', "--locale", "en-US", "--ui-lang", "1033"],
    { stdio: ["ignore", "pipe", "ignore"] });
  const url = await new Promise((resolve, reject) => {
    let out = "";
    proc.stdout.on("data", d => {
      out += d;
      const m = out.match(/http:\/\/\S+\//);
      if (m) resolve(m[0]);
    });
    proc.on("exit", code => reject(new Error(`serve ended (${code}) before printing its address`)));
  });
  URL_TEXT = url;
  TOKEN = token;
  PIDS = [proc.pid];
  AUDIT = path.join(dir, "audit.db");
  return { proc, dir, script: pg ? new URL("../tests/common/pg_server.sh", import.meta.url).pathname : null };
}

function request(method, target, headers, body) {
  return new Promise(resolve => {
    const h = { ...headers, Origin: ORIGIN };
    if (body !== undefined) {
      h["Content-Type"] = "application/json";
      h["Content-Length"] = Buffer.byteLength(body);
    }
    const req = http.request({ host: base.hostname, port: base.port, method, path: target,
                               headers: h, agent }, res => {
      let data = "";
      res.on("data", c => (data += c));
      res.on("end", () => resolve({ status: res.statusCode, headers: res.headers, body: data }));
    });
    req.setTimeout(60000, () => req.destroy(new Error("timeout")));
    req.on("error", e => resolve({ status: 0, body: String(e.message) }));
    if (body !== undefined) req.write(body);
    req.end();
  });
}

const percentile = (values, p) => {
  if (!values.length) return NaN;
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.min(sorted.length - 1, Math.floor((p / 100) * sorted.length))];
};
// Tags this invocation's values, so that runs never meet each other's.
const RUN = "t" + Date.now().toString(36).slice(-5);
const sleep = ms => new Promise(r => setTimeout(r, ms));

class Operator {
  constructor(index, count, totalRows, stats) {
    Object.assign(this, { index, count, totalRows, stats });
    this.edits = 0;
    this.acked = new Map();  // Id -> last acknowledged value
    this.ackedValues = [];
    this.waiters = [];  // scene predicates waiting
    this.scene = null;
  }
  cookies() {
    return `${this.cookie}; tabulo_token=${TOKEN}`;
  }
  async open() {
    const res = await request("POST", "/session", { Cookie: `tabulo_token=${TOKEN}` }, "{}");
    if (res.status !== 200) throw new Error(`session refused: ${res.status} ${res.body}`);
    this.cookie = (res.headers["set-cookie"] || [""])[0].split(";")[0];
    // A cluster keeps a page on its process by a cookie of the proxy's: sent back too.
    for (const c of (res.headers["set-cookie"] || []).slice(1)) this.cookie += "; " + c.split(";")[0];
    this.session = JSON.parse(res.body).session;
    this.listen();
    // Loaded, or a message instead (the data server refused the session's connection).
    const at = await this.waitScene(s => s.controls?.[0]?.count > 0 || (s.dialog && s.dialog.text), 120000);
    if (at === null || this.scene.dialog) {
      await this.end();
      throw new Error(`no window: ${this.scene?.dialog?.text?.slice(0, 100) ?? "none in 120 s"}`);
    }
  }
  listen() {
    const req = http.get({ host: base.hostname, port: base.port, agent,
                           path: `/events?session=${this.session}`,
                           headers: { Cookie: this.cookies(), Origin: ORIGIN } }, res => {
      let buffer = "";
      res.setEncoding("utf8");
      res.on("data", chunk => {
        buffer += chunk;
        let at;
        while ((at = buffer.indexOf("\n\n")) >= 0) {
          const block = buffer.slice(0, at);
          buffer = buffer.slice(at + 2);
          const event = block.match(/^event: (.*)$/m)?.[1];
          const data = block.match(/^data: (.*)$/m)?.[1];
          if (event === "scene" && data) this.onScene(JSON.parse(data));
          if (event === "ended") this.ended = true;
        }
      });
    });
    req.on("error", () => (this.ended = true));
    this.stream = req;
  }
  onScene(scene) {
    this.scene = scene;
    const now = performance.now();
    this.waiters = this.waiters.filter(w => {
      if (!w.test(scene)) return true;
      w.resolve(now);
      return false;
    });
  }
  waitScene(test, ms = 30000) {
    if (this.scene && test(this.scene)) return Promise.resolve(performance.now());
    return new Promise(resolve => {
      const waiter = { test, resolve };
      this.waiters.push(waiter);
      setTimeout(() => {
        this.waiters = this.waiters.filter(w => w !== waiter);
        resolve(null);
      }, ms);
    });
  }
  post(event) {
    return request("POST", "/event", { Cookie: this.cookies(), "X-Tabulo-Session": this.session },
                   JSON.stringify(event));
  }
  // Ids this operator edits: Id % count == index.
  randomRecord() {
    const id = this.index + this.count * Math.floor(Math.random() * (Math.floor((this.totalRows - this.index) / this.count) + 1));
    return id === 0 ? this.count : id;
  }
  rowShowing(scene, id) {
    const rows = scene.controls[0].grid.rows;
    for (let r = 1; r < rows.length; ++r) if (rows[r].cells[1]?.t === String(id)) return r;
    return -1;
  }
  async scroll(id) {
    const start = performance.now();
    const reply = this.post({ widget: "view", control: 0, action: "goto", record: id });
    const shown = this.waitScene(s => this.rowShowing(s, id) > 0 &&
                                      s.controls[0].status?.position?.startsWith(`Row ${id.toLocaleString("en-US")} `));
    const [res, at] = await Promise.all([reply, shown]);
    if (res.status !== 200 || at === null) {
      this.stats.errors.push(`scroll ${res.status} ${at === null ? "no window" : res.body}`);
      return false;
    }
    this.stats.scroll.push(at - start);
    return true;
  }
  async edit(id) {
    const row = this.rowShowing(this.scene, id);
    if (row < 0) return;
    const value = `${RUN}n${this.count}o${this.index}-${++this.edits}`;
    const start = performance.now();
    const steps = [{ widget: "grid", control: 0, action: "click", row, col: 2, button: 1 },
                   { widget: "keyboard", control: 0, text: value },
                   { widget: "keyboard", control: 0, key: "Enter" }];
    for (const step of steps) {
      const res = await this.post(step);
      if (res.status !== 200 || res.body.includes('"dialog"')) {
        this.stats.errors.push(`edit ${res.status} ${res.body.slice(0, 120)}`);
        await this.closeDialog();
        return;
      }
    }
    this.stats.edit.push(performance.now() - start);
    this.acked.set(id, value);
    this.ackedValues.push(value);
  }
  async closeDialog() {
    const dialog = (await this.waitScene(() => true, 1000)) && this.scene?.dialog;
    if (dialog && dialog.id !== undefined)
      await this.post({ widget: "dialog", id: dialog.id, button: 1, choice: -1, cancel: true });
    await this.post({ widget: "keyboard", control: 0, key: "Escape" });
  }
  async run(until) {
    await sleep(Math.random() * INTERVAL);
    let tick = 0;
    while (performance.now() < until && !this.ended) {
      const next = performance.now() + INTERVAL;
      const id = this.randomRecord();
      if (await this.scroll(id) && ++tick % EDIT_EVERY === 0) await this.edit(id);
      await sleep(Math.max(0, next - performance.now()));
    }
  }
  async end() {
    await request("POST", "/session/end", { Cookie: this.cookies(), "X-Tabulo-Session": this.session }, "");
    this.stream?.destroy();
  }
}

function processFigures(pid) {
  try {
    const rss = +readFileSync(`/proc/${pid}/status`, "utf8").match(/VmRSS:\s+(\d+)/)[1] * 1024;
    const stat = readFileSync(`/proc/${pid}/stat`, "utf8");
    const fields = stat.slice(stat.lastIndexOf(")") + 2).split(" ");
    const ticks = +fields[11] + +fields[12];  // utime + stime
    return { rss, cpu: ticks / 100 };
  } catch {
    return null;
  }
}

function sql(statement) {
  if (PG_PORT)
    return execFileSync("psql", ["-X", "-q", "-t", "-A", "-h", PG_HOST, "-p", PG_PORT, "-U",
                                 "postgres", "-d", "postgres", "-c", statement],
                        { encoding: "utf8", env: { ...process.env, PGPASSWORD: "secret" } });
  return execFileSync("sqlite3", [SQLITE, statement], { encoding: "utf8" });
}
function connections() {
  if (!PG_PORT) return null;
  try {
    return +sql("SELECT count(*) FROM pg_stat_activity WHERE application_name LIKE 'tabulo%'").trim();
  } catch {
    return null;
  }
}

async function runOnce(count) {
  const stats = { scroll: [], edit: [], errors: [] };
  const totalRows = +sql("SELECT count(*) FROM Orders").trim();
  const before = PIDS.map(processFigures);
  const operators = Array.from({ length: count }, (_, i) => new Operator(i, count, totalRows, stats));
  const opened = [];
  for (let i = 0; i < operators.length; i += 10)
    opened.push(...(await Promise.allSettled(operators.slice(i, i + 10).map(o => o.open()))));
  const working = operators.filter((o, i) => opened[i].status === "fulfilled");
  for (const o of opened) if (o.status === "rejected") stats.errors.push(String(o.reason.message));
  const loaded = PIDS.map(processFigures);
  let peakConnections = connections();
  const sampler = setInterval(() => {
    const c = connections();
    if (c !== null) peakConnections = Math.max(peakConnections ?? 0, c);
  }, 1000);
  const started = performance.now();
  await Promise.all(working.map(o => o.run(started + SECONDS * 1000)));
  const elapsed = (performance.now() - started) / 1000;
  clearInterval(sampler);
  const after = PIDS.map(processFigures);
  await Promise.all(working.map(o => o.end()));

  // Every acknowledged edit: the row's last value in the database, each value once in the audit.
  let lost = 0, duplicated = 0, auditNote = "";
  const finals = new Map();
  for (const line of sql(`SELECT Id || '|' || Customer FROM Orders WHERE Customer LIKE '${RUN}n${count}o%'`).split("\n")) {
    const bar = line.indexOf("|");
    if (bar > 0) finals.set(+line.slice(0, bar), line.slice(bar + 1));
  }
  for (const o of working)
    for (const [id, value] of o.acked) if (finals.get(id) !== value) ++lost;
  if (AUDIT && existsSync(AUDIT)) {
    const seen = new Map();
    const out = execFileSync("sqlite3", [AUDIT, `SELECT new_value FROM operator_events WHERE new_value LIKE '${RUN}n${count}o%'`],
                             { encoding: "utf8" });
    for (const v of out.split("\n").filter(Boolean)) seen.set(v, (seen.get(v) || 0) + 1);
    let missing = 0;
    for (const o of working)
      for (const v of o.ackedValues) {
        const n = seen.get(v) || 0;
        if (n === 0) ++missing;
        if (n > 1) ++duplicated;
      }
    if (seen.size === 0 && working.some(o => o.ackedValues.length)) auditNote = "audit: no records (events not logged)";
    else lost += missing;
  } else {
    auditNote = "audit: not checked";
  }
  const mib = b => (b / 1048576).toFixed(1);
  return {
    N: count,
    sessions: working.length,
    scrolls: stats.scroll.length,
    "scroll p50 ms": percentile(stats.scroll, 50).toFixed(1),
    "scroll p99 ms": percentile(stats.scroll, 99).toFixed(1),
    edits: working.reduce((n, o) => n + o.ackedValues.length, 0),
    "edit p50 ms": percentile(stats.edit, 50).toFixed(1),
    "edit p99 ms": percentile(stats.edit, 99).toFixed(1),
    errors: stats.errors.length,
    "RSS MiB/process": after.map(f => (f ? mib(f.rss) : "?")).join(" "),
    "KiB/session": before.every(Boolean) && working.length
      ? ((loaded.reduce((n, f) => n + f.rss, 0) - before.reduce((n, f) => n + f.rss, 0)) / 1024 / working.length).toFixed(0)
      : "?",
    "CPU %/process": after.map((f, i) => (f && before[i] ? ((100 * (f.cpu - before[i].cpu)) / elapsed).toFixed(0) : "?")).join(" "),
    "PG conns peak": peakConnections ?? "-",
    lost,
    duplicated,
    note: [auditNote, ...new Set(stats.errors.slice(0, 3))].filter(Boolean).join("; "),
  };
}

const load = os.loadavg().map(l => l.toFixed(2)).join(" ");
console.log(`cluster_load: ${URL_TEXT.replace(/token=[^&]+/, "token=...")}, ${SECONDS} s a run, ` +
            `an action every ${INTERVAL} ms an operator (an edit every ${EDIT_EVERY}), load ${load}`);
const rows = [];
for (const count of COUNTS) {
  const row = await runOnce(count);
  rows.push(row);
  console.log(JSON.stringify(row));
}
const keys = Object.keys(rows[0]).filter(k => k !== "note");
console.log("\n| " + keys.join(" | ") + " |\n|" + keys.map(() => "---").join("|") + "|");
for (const row of rows) console.log("| " + keys.map(k => row[k]).join(" | ") + " |");
for (const row of rows) if (row.note) console.log(`N=${row.N}: ${row.note}`);
if (own) {
  await new Promise(resolve => {
    own.proc.on("exit", resolve);
    own.proc.kill("SIGTERM");
  });
  if (PG_PORT && own.script) execFileSync("bash", [own.script, "stop", path.join(own.dir, "pg")]);
  rmSync(own.dir, { recursive: true, force: true });
}
process.exit(rows.some(r => r.lost || r.duplicated) ? 1 : 0);
