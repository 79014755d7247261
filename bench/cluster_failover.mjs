// Failover end to end, as operators see it: deploy/cluster.sh brings up nginx in front of
// several `tabulo serve` processes over a PostgreSQL primary and its synchronous standby;
// operators' pages (Chromium, one browser context each, so each has its own route through
// the proxy) scroll and edit; then the primary stops, the edits typed at that moment are
// entered, and the standby is promoted. Measured: the time from the primary's stop to the
// first window each page paints from the standby (its status naming the standby and its
// grid showing the standby's values), taken in the page at the frame it painted. Checked:
// every edit a page showed as written is on the standby, every edit entered after the stop
// was refused with a message and is not there.
//
// usage: node bench/cluster_failover.mjs TABULO [--processes N] [--operators N] [--edits N]
// Exit 77: PostgreSQL, nginx or Chromium is missing. `failoverRun` is the same for tests.
import { spawnSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { fileURLToPath } from "node:url";

import { chromiumOrExit, fail, until } from "../tests/web/harness.mjs";

const CLUSTER = fileURLToPath(new URL("../deploy/cluster.sh", import.meta.url));
const SERVER = "db2";  // the standby's name in the cluster's host configuration

function cluster(args, env = {}) {
  const run = spawnSync("bash", [CLUSTER, ...args], { env: { ...process.env, ...env }, encoding: "utf8" });
  if (run.status !== 0 && run.status !== 77)
    fail(`cluster.sh ${args[0]} exit ${run.status}: ${run.stderr}`);
  return run;
}

function readEnv(dir) {
  const env = {};
  for (const line of readFileSync(join(dir, "cluster.env"), "utf8").split("\n")) {
    const m = line.match(/^(\w+)="?(.*?)"?$/);
    if (m) env[m[1]] = m[2];
  }
  return env;
}

// Customer by Id on the server at `port` (psql as the test login).
function customers(port) {
  const run = spawnSync("psql", ["-X", "-A", "-t", "-F", "\t", "-h", "127.0.0.1", "-p", port, "-U", "postgres",
                                 "-d", "postgres", "-c", "SELECT Id, Customer FROM Orders"],
                        { env: { ...process.env, PGPASSWORD: "secret" }, encoding: "utf8" });
  if (run.status !== 0) fail("psql: " + run.stderr);
  return Object.fromEntries(run.stdout.trim().split("\n").map(l => l.split("\t")));
}

// The process that answers each route, from the proxy's access log.
function upstreams(dir) {
  const of = {};
  for (const m of readFileSync(join(dir, "nginx", "access.log"), "utf8").matchAll(/ (\S+) route=(\w+) /g))
    of[m[2]] = m[1];
  return of;
}

// The data rows in view: [row, Id] pairs as painted.
const inView = page => page.$$eval('.control .cell[data-col="1"]', cs =>
  cs.filter(c => +c.dataset.row >= 1 && c.textContent).map(c => [c.dataset.row, c.textContent]));
const status = page => page.evaluate(() => document.querySelector(".status")?.textContent || "");

// A window of at least `rows` rows (about 20 pixels a row).
async function openOperator(browser, url, rows) {
  const context = await browser.newContext({ viewport: { width: 900, height: Math.max(520, 120 + 20 * rows) } });
  const page = await context.newPage();
  await page.goto(url);
  await until("the first window through the proxy", async () => (await inView(page)).length > 10);
  const route = (await context.cookies()).find(c => c.name === "tabulo_route")?.value;
  if (!route) fail("the proxy set no routing cookie");
  return { context, page, route, acked: {}, refused: {} };
}

// Opens the editor on the Customer of the record at view row `row`, types `text`.
async function type(op, row, text) {
  const { page } = op;
  await page.locator(`.control .cell[data-row="${row}"][data-col="2"]`).click();
  await page.locator(".editor").waitFor();
  await page.keyboard.press("End");
  for (let i = 0; i < 20; ++i) await page.keyboard.press("Backspace");
  await page.keyboard.type(text);
  await until("the editor shows " + text, async () => (await page.locator(".editor").textContent()) === text);
}

const cellText = (op, row) => op.page.locator(`.control .cell[data-row="${row}"][data-col="2"]`).textContent();

// The edit entered: written (the cell shows it, unmarked) or refused (a message box).
async function enter(op, id, row, text) {
  await op.page.keyboard.press("Enter");
  const outcome = await until(`record ${id}'s edit answered`, async () => {
    const box = op.page.locator("#dialog");
    if (await box.isVisible()) return { message: (await box.locator(".body").textContent()).trim() };
    const cell = op.page.locator(`.control .cell[data-row="${row}"][data-col="2"]`);
    if ((await op.page.locator(".editor").count()) === 0 && (await cell.textContent()) === text &&
        !(await cell.evaluate(e => e.classList.contains("changed"))))
      return { written: true };
    return null;
  });
  if (outcome.written) op.acked[id] = text;
  else {
    op.refused[id] = { text, message: outcome.message };
    await op.page.locator("#dialog button").first().click();
  }
  return outcome;
}

// Resolves with the page's own clock at the first frame whose status names the standby and
// whose rows in view show the standby's values.
function paintedFromStandby(page, expected) {
  return page.evaluate(([server, expected]) => new Promise(resolve => {
    const check = () => {
      const bar = document.querySelector(".status")?.textContent || "";
      const ids = [...document.querySelectorAll('.control .cell[data-col="1"]')].filter(c => +c.dataset.row >= 1 && c.textContent);
      const ok = bar.includes("Connected@" + server) && ids.length > 10 && ids.every(c => {
        const name = document.querySelector(`.control .cell[data-row="${c.dataset.row}"][data-col="2"]`);
        return name && name.textContent === expected[c.textContent];
      });
      if (ok) resolve(performance.timeOrigin + performance.now());
      else requestAnimationFrame(check);
    };
    check();
  }), [SERVER, expected]);
}

// `probe(env)`, when given, runs once the cluster is up (env: the values of cluster.env).
export async function failoverRun({ tabulo, processes = 2, operators = 5, edits = 2, log = () => {}, probe }) {
  const dir = mkdtempSync(join(tmpdir(), "tabulo-cluster-"));
  let browser = null;
  try {
    const up = cluster(["up", dir, "--processes", String(processes)], { TABULO: tabulo });
    if (up.status === 77) return { skip: up.stderr.trim() };
    const env = readEnv(dir);
    const started = Date.now();
    const phase = what => log(`${((Date.now() - started) / 1000).toFixed(1)} s: ${what}`);
    phase("cluster up");
    if (probe) await probe(env);
    const chromium = await chromiumOrExit();
    try {
      browser = await chromium.launch({ executablePath: "/usr/bin/chromium",
        args: ["--no-sandbox", "--headless", "--disable-gpu", "--disable-background-networking", "--no-first-run"] });
    } catch (e) {
      return { skip: "Chromium cannot start: " + e.message.split("\n")[0] };
    }
    const ops = [];
    for (let i = 0; i < operators; ++i) ops.push(await openOperator(browser, env.URL, 2 * operators + 1));
    // The operators spread over the processes: a browser on a process that has more than
    // its share is replaced by a new one (a new route) until every process has one.
    const want = Math.min(processes, operators);
    for (let tries = 0; new Set(ops.map(o => upstreams(dir)[o.route])).size < want; ++tries) {
      if (tries > 40) fail("the proxy never spread the browsers over the processes");
      const of = upstreams(dir), count = {};
      for (const o of ops) count[of[o.route]] = (count[of[o.route]] || 0) + 1;
      const i = ops.findIndex(o => count[of[o.route]] > 1);
      await ops[i].context.close();
      ops[i] = await openOperator(browser, env.URL, 2 * operators + 1);
    }
    const spread = {};
    for (const o of ops) spread[upstreams(dir)[o.route]] = (spread[upstreams(dir)[o.route]] || 0) + 1;
    phase(`operators per process: ${JSON.stringify(spread)}`);

    // Scroll and edit: operator i edits the record on view row i+1 after k pages down, so no
    // two operators touch one record.
    await Promise.all(ops.map(async (op, i) => {
      for (let k = 0; k < edits; ++k) {
        const before = (await inView(op.page))[0][1];
        await op.page.locator(".control").first().focus();
        await op.page.keyboard.press("PageDown");
        await until("the page scrolled", async () => (await inView(op.page))[0][1] !== before);
        const [row, id] = (await inView(op.page))[i];
        await type(op, row, `Op${i}-${k}`);
        const answer = await enter(op, id, row, `Op${i}-${k}`);
        if (!answer.written) fail(`an edit before the stop was refused: ${answer.message}`);
      }
    }));
    phase("edits written");
    // Every operator has one more edit typed when the primary stops, entered after it: on
    // view row operators+i+1, below the rows just edited.
    const typed = await Promise.all(ops.map(async (op, i) => {
      const rows = await inView(op.page);
      if (rows.length <= operators + i) fail(`${operators * 2} operators need a window of more rows`);
      const [row, id] = rows[operators + i];
      await type(op, row, `Lost${i}`);
      return [row, id];
    }));
    const stopped = +cluster(["stop-primary", dir]).stdout.match(/STOPPED_MS=(\d+)/)[1];
    await Promise.all(ops.map((op, i) => enter(op, typed[i][1], typed[i][0], `Lost${i}`)));
    const promoted = +cluster(["promote", dir]).stdout.match(/PROMOTED_MS=(\d+)/)[1];
    phase("primary stopped, edits entered, standby promoted");
    const onStandby = customers(env.STANDBY_PORT);
    const painted = await Promise.all(ops.map(op => Promise.race([
      paintedFromStandby(op.page, onStandby),
      new Promise((_, reject) => setTimeout(() => reject(new Error("a page never showed the standby's data")), 60000).unref())])));

    phase("every page painted from the standby");
    const acked = ops.flatMap(op => Object.entries(op.acked));
    // After: one more edit on the promoted standby is written, on the first record (which no
    // operator edited: they all paged down first).
    await ops[0].page.locator(".control").first().focus();
    await ops[0].page.keyboard.press("Home");
    await until("the first record in view", async () => (await inView(ops[0].page))[0][1] === "1");
    const [row, id] = (await inView(ops[0].page))[0];
    await type(ops[0], row, "AfterFailover");
    const after = await enter(ops[0], id, row, "AfterFailover");
    const final = customers(env.STANDBY_PORT);
    const audit = spawnSync(tabulo, ["audit", "--host", join(dir, "host.json"), "--format", "json"],
                            { encoding: "utf8" });
    if (audit.status !== 0) fail("tabulo audit: " + audit.stderr);
    const refused = ops.flatMap(op => Object.entries(op.refused));
    return {
      processes, operators, spread,
      acked: acked.length,
      lost: acked.filter(([id, text]) => final[id] !== text).map(([id]) => id),
      unaudited: acked.filter(([, text]) => !audit.stdout.includes(`"${text}"`)).map(([id]) => id),
      inFlight: typed.length,
      refusedWithMessage: refused.filter(([, r]) => r.message.length > 0).length,
      refusedButWritten: refused.filter(([id, r]) => final[id] === r.text).map(([id]) => id),
      messages: [...new Set(refused.map(([, r]) => r.message))],
      promoteMs: promoted - stopped,
      paintMs: painted.map(t => Math.round(t - stopped)),
      afterFailoverWritten: !!after.written && final[id] === "AfterFailover",
      statuses: await Promise.all(ops.map(op => status(op.page))),
    };
  } finally {
    if (browser) await browser.close();
    cluster(["down", dir]);
    rmSync(dir, { recursive: true, force: true });
  }
}

function median(values) {
  const s = [...values].sort((a, b) => a - b);
  return s[Math.floor(s.length / 2)];
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const [tabulo, ...rest] = process.argv.slice(2);
  const opt = name => { const i = rest.indexOf("--" + name); return i < 0 ? undefined : +rest[i + 1]; };
  if (!tabulo) fail("usage: node bench/cluster_failover.mjs TABULO [--processes N] [--operators N] [--edits N]");
  const r = await failoverRun({ tabulo, processes: opt("processes") ?? 3, operators: opt("operators") ?? 10,
                                edits: opt("edits") ?? 3, log: console.log });
  if (r.skip) { console.log("SKIP: " + r.skip); process.exit(77); }
  console.log(`failover, ${r.processes} display processes, ${r.operators} operators (Chromium pages):`);
  console.log(`  primary stopped -> standby promoted: ${r.promoteMs} ms`);
  console.log(`  primary stopped -> first window painted from the standby: median ${median(r.paintMs)} ms, ` +
              `max ${Math.max(...r.paintMs)} ms (each page: ${r.paintMs.join(", ")})`);
  console.log(`  edits acknowledged before the stop: ${r.acked}, lost: ${r.lost.length}, ` +
              `without their audit record: ${r.unaudited.length}`);
  console.log(`  edits entered after the stop: ${r.inFlight}, refused with a message: ${r.refusedWithMessage}, ` +
              `written anyway: ${r.refusedButWritten.length}`);
  console.log(`  the message: ${r.messages.join(" / ")}`);
  if (r.lost.length || r.unaudited.length || r.refusedButWritten.length || r.refusedWithMessage !== r.inFlight || !r.afterFailoverWritten)
    fail("acknowledged edits lost or refused edits written: " + JSON.stringify(r));
}
