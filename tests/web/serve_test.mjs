// `tabulo serve` in Debian's Chromium (playwright-core) on the 1000-row sample: what only a
// real browser shows (painting, thumb drag, wheel, keys, resizing, dialogs clicked, the design
// sheet and query builder in the page, HTTP limits, the off-loopback token, a session per page
// and signing in). Every wait is
// bounded; nothing sleeps to synchronise. The display's event handling is in tests/container.
// usage: node serve_test.mjs TABULO HOST_JSON    (exit 77: Chromium cannot start)
import { execFileSync } from "node:child_process";
import { get } from "node:http";
import { copyFileSync, existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

import { WAIT, chromiumOrExit, fail, startServe, until } from "./harness.mjs";

const [TABULO, HOST_JSON] = process.argv.slice(2);
const work = mkdtempSync(join(tmpdir(), "tabulo-serve-"));
const env = { ...process.env, HOME: work, XDG_STATE_HOME: join(work, "state"), LC_ALL: "C.UTF-8" };
const servers = [];  // every display started, killed at the end whatever happened
const serve = (...args) => startServe(TABULO, { cwd: work, env, servers }, ...args);
const pageErrors = [];
let browser = null;

const chromium = await chromiumOrExit();


// The status of GET / sent under the Host header `host` (fetch always names the address).
function statusUnder(port, host) {
  return new Promise((resolve, reject) => {
    get({ host: "127.0.0.1", port, path: "/", headers: { Host: host } }, res => {
      res.resume();
      resolve(res.statusCode);
    }).on("error", reject);
  });
}


function tabulo(args, input) {
  return execFileSync(TABULO, args, { cwd: work, env, input, encoding: "utf8" });
}

function sql(query) {
  return execFileSync("sqlite3", [join(work, "sample.db"), query], { encoding: "utf8" }).trim();
}

async function open(server, size = { width: 900, height: 520 }, settle = true) {
  const page = await browser.newPage({ viewport: size });
  page.on("pageerror", e => pageErrors.push(e.message));
  await page.goto(`http://127.0.0.1:${server.port}/${server.query}`);
  if (settle) await settled(page);
  return page;
}

// The controls have the window's size, no dialog is open and every row shows a record: a
// control that grew fills its new rows on its timer's next tick.
async function settled(page) {
  await until("the display settled", () => page.evaluate(() =>
    document.body.dataset.fitted === "true" &&
    [...document.querySelectorAll(".control")].every(c => {
      const rows = [...c.querySelectorAll('.cell[data-col="0"]')].filter(e => +e.dataset.row >= 1);
      return rows.length > 0 && rows.every(e => e.textContent);
    })));
}

// The record numbers in view (the first column of the data rows), as painted.
function records(page, control = 0) {
  return page.$$eval(`.control[data-index="${control}"] .cell[data-col="0"]`,
                     cells => cells.filter(c => +c.dataset.row >= 1).map(c => c.textContent).filter(t => t));
}

async function showsFirst(page, first) {
  await until(`record ${first} first in view`, async () => (await records(page))[0] === String(first));
}

async function cell(page, record, column) {
  const row = await page.$$eval('.control[data-index="0"] .cell[data-col="0"]', (cells, record) =>
    cells.find(c => +c.dataset.row >= 1 && c.textContent === record)?.dataset.row, String(record));
  if (!row) fail(`record ${record} is not in view`);
  return page.locator(`.control[data-index="0"] .cell[data-row="${row}"][data-col="${column}"]`);
}

async function dialog(page, text) {
  const shown = page.locator("#dialog");
  await shown.filter({ hasText: text }).waitFor({ timeout: WAIT }).catch(async () => {
    fail(`no dialog "${text}"; shown: ` + ((await shown.isVisible()) ? await shown.textContent() : "none"));
  });
  return shown;
}

// The popup menu opens where it was asked for, is driven by its keys and closes on a click beside it.
async function popupMenu(page) {
  const menu = page.locator('#dialog[role="menu"]');
  const closed = () => until("the menu closed", async () => !(await menu.isVisible()));
  const grid = page.locator('.control[data-index="0"]');
  const target = await cell(page, 5, 2);
  const c = await target.boundingBox();
  const at = { x: c.x + c.width - 5, y: c.y + 3 };
  await target.click({ button: "right", position: { x: c.width - 5, y: 3 } });
  await menu.waitFor({ timeout: WAIT });
  const box = await menu.boundingBox();
  const view = page.viewportSize();
  if (Math.abs(box.x - at.x) > 2 || Math.abs(box.y - at.y) > 2)
    fail(`the menu at ${box.x},${box.y}, not at the pointer ${at.x},${at.y}`);
  if (Math.abs(box.x + box.width / 2 - view.width / 2) < 40) fail("the menu is centred");
  if (await menu.locator("button").count()) fail("the menu has buttons");
  const item = menu.locator('[role="menuitem"]');
  if ((await item.count()) !== 1 || (await item.textContent()) !== "Refresh" ||
      !(await item.evaluate(e => e === document.activeElement)))
    fail("the menu's item does not have the focus");
  // Escape chooses nothing: the value changed behind the grid is not shown.
  await page.keyboard.press("Escape");
  await closed();
  if (!(await grid.evaluate(e => e === document.activeElement))) fail("the grid lost the focus");
  if ((await target.textContent()) === "ZedPopup") fail("Escape refreshed");
  // A click beside it (either button) closes it.
  await target.click({ button: "right" });
  await menu.waitFor({ timeout: WAIT });
  await page.mouse.click(view.width - 3, view.height - 3, { button: "right" });
  await closed();
  // Opened near the window's right edge it is moved back inside the window.
  const small = { width: 300, height: 200 };
  await page.setViewportSize(small);
  await until("the small window fitted", () => page.evaluate(() => document.body.dataset.fitted === "true"));
  // A cell wholly inside the small grid, once the grid has been drawn at its new size.
  const inside = await until("a whole cell in the small window", () =>
    page.$$eval('.control[data-index="0"] .cell[data-col="2"]', cells => {
      if (!cells.length) return null;
      const grid = cells[0].closest(".grid").getBoundingClientRect();
      return cells.map(e => e.getBoundingClientRect())
                  .filter(r => r.bottom <= grid.bottom && r.right <= grid.right && r.top > grid.top + 20)
                  .map(r => ({ x: r.right - 2, y: r.top + 3 }))[0] ?? null;
    }));
  await page.mouse.click(inside.x, inside.y, { button: "right" });
  await menu.waitFor({ timeout: WAIT });
  const edge = await menu.boundingBox();
  if (inside.x + edge.width <= small.width) fail("the pointer leaves room for the menu: nothing probed");
  if (edge.x + edge.width > small.width || edge.x < 0 || Math.abs(edge.y - inside.y) > 2)
    fail(`the menu at the edge: ${JSON.stringify(edge)}, the pointer at ${JSON.stringify(inside)}`);
  await page.mouse.click(5, small.height - 5);
  await closed();
  await page.setViewportSize(view);
  await until("the window fitted again", () => page.evaluate(() => document.body.dataset.fitted === "true"));
  if ((await target.textContent()) === "ZedPopup") fail("a click beside the menu refreshed");
  // Shift+F10 opens it below the cursor's cell; Down (round to the one item) and Enter choose.
  await page.keyboard.press("ArrowLeft");
  await until("record 5's first cell under the cursor", () =>
    page.locator('.control[data-index="0"] .cell.cursor[data-col="1"]').count());
  await page.keyboard.press("Shift+F10");
  await menu.waitFor({ timeout: WAIT });
  const under = await menu.boundingBox();
  const current = await page.locator('.control[data-index="0"] .cell.cursor').boundingBox();
  if (Math.abs(under.y - (current.y + current.height)) > 2 || under.x < current.x ||
      under.x > current.x + current.width)
    fail(`Shift+F10: the menu at ${under.x},${under.y}, the cell at ${JSON.stringify(current)}`);
  // TABULO_MENU_SHOT=FILE keeps a picture of the open menu to look at.
  if (process.env.TABULO_MENU_SHOT) await page.screenshot({ path: process.env.TABULO_MENU_SHOT });
  await page.keyboard.press("ArrowDown");
  await page.keyboard.press("Enter");
  await until("the refreshed record", async () => (await (await cell(page, 5, 2)).textContent()) === "ZedPopup");
  await closed();
  if (!(await grid.evaluate(e => e === document.activeElement))) fail("the grid lost the focus");
}

async function edit(page, record, text) {
  await (await cell(page, record, 2)).click();
  await page.locator(".editor").waitFor({ timeout: WAIT });
  await page.keyboard.press("End");
  for (let i = 0; i < 30; ++i) await page.keyboard.press("Backspace");
  await until(`record ${record}'s editor emptied`, async () => (await page.locator(".editor").textContent()) === "");
  await page.keyboard.type(text);
  await until("the editor shows " + text, async () => (await page.locator(".editor").textContent()) === text);
  await page.keyboard.press("Enter");
}

async function main() {
  copyFileSync(HOST_JSON, join(work, "host.json"));
  tabulo(["sample-db", "sample.db", "--rows", "1000"]);
  const base = 'let DSNname "sample.db"\nlet RecordSource "SELECT Id, Customer, Qty FROM Orders"\n' +
               'let DataTable "Orders"\nlet AllowUpdates true\nlet ConfirmUpdates true\n';
  tabulo(["script", "-"], base + 'save "orders.ctl"\n');
  tabulo(["script", "-"], base +
         'let LogEvent true\nlet ESignatureRequired true\nlet ESignaturePrompt "Sign to change the order"\nsave "signed.ctl"\n');
  try {
    browser = await chromium.launch({
      executablePath: "/usr/bin/chromium",
      args: ["--no-sandbox", "--headless", "--disable-gpu", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--no-first-run"] });
  } catch (e) {
    console.log("SKIP: Chromium cannot start: " + e.message.split("\n")[0]);
    process.exit(77);
  }

  // One control: the first window, scrolling, resizing, editing.
  let server = await serve("--host", "host.json", "--load", "orders.ctl");
  let page = await open(server);
  await showsFirst(page, 1);
  const shown = (await records(page)).length;
  if (shown < 10) fail(`only ${shown} records in view`);
  // The status line ends with the current record and the exact count, counted from 1.
  const position = () => page.locator(".status .position").textContent();
  await until("the position of the first record", async () => (await position()) === "Row 1 of 1,000");
  // The thumb dragged to the bottom of its track: the last record alone.
  const thumb = await page.locator(".thumb").boundingBox();
  const track = await page.locator(".scroll").boundingBox();
  await page.mouse.move(thumb.x + thumb.width / 2, thumb.y + 2);
  await page.mouse.down();
  await page.mouse.move(thumb.x + thumb.width / 2, track.y + track.height / 2, { steps: 5 });
  await page.mouse.move(thumb.x + thumb.width / 2, track.y + track.height + 40, { steps: 5 });
  await page.mouse.up();
  await until("the last record alone", async () => (await records(page)).join() === "1000");
  await until("the position of the last record", async () => (await position()) === "Row 1,000 of 1,000");
  // Home, then the wheel (three records a notch) and the arrow keys step rows.
  await page.keyboard.press("Home");
  await showsFirst(page, 1);
  await page.mouse.move(200, 200);
  await page.mouse.wheel(0, 100);
  await showsFirst(page, 4);
  await until("the position after the wheel", async () => (await position()) === "Row 4 of 1,000");
  await page.mouse.wheel(0, -100);
  await showsFirst(page, 1);
  for (let i = 0; i < shown; ++i) await page.keyboard.press("ArrowDown");
  await showsFirst(page, 2);
  await page.keyboard.press("ArrowUp");
  await page.keyboard.press("PageUp");
  await showsFirst(page, 1);
  // A smaller window shows fewer rows, a larger one more.
  await page.setViewportSize({ width: 900, height: 300 });
  await until("fewer rows", async () => (await records(page)).length < shown);
  await page.setViewportSize({ width: 900, height: 700 });
  await until("more rows", async () => (await records(page)).length > shown);
  // A new tab after one that closed has its own session, from the first record.
  await page.close();
  page = await open(server, { width: 900, height: 700 });
  await showsFirst(page, 1);
  // Click, type, Enter, Yes: the row is written.
  await edit(page, 2, "Nobody");
  await (await dialog(page, "Are you sure")).getByText("Yes").click();
  await until("record 2 written", () => sql("SELECT Customer FROM Orders WHERE Id = 2") === "Nobody");
  await until("record 2 shown", async () => (await (await cell(page, 2, 2)).textContent()) === "Nobody");
  // No: the grid shows the stored value again and nothing is written.
  const old = sql("SELECT Customer FROM Orders WHERE Id = 3");
  await edit(page, 3, "Ignored");
  await (await dialog(page, "Are you sure")).getByText("No").click();
  await until("record 3 restored", async () => (await (await cell(page, 3, 2)).textContent()) === old);
  if (sql("SELECT Customer FROM Orders WHERE Id = 3") !== old) fail("a refused edit was written");
  // Changed behind the display: the popup menu's Refresh shows it.
  sql("UPDATE Orders SET Customer = 'ZedPopup' WHERE Id = 5");
  await popupMenu(page);
  // A database error while writing: the control's critical message.
  sql("CREATE TRIGGER frozen BEFORE UPDATE ON Orders WHEN NEW.Customer = 'Forbidden' " +
      "BEGIN SELECT RAISE(ABORT, 'orders are frozen'); END");
  await edit(page, 4, "Forbidden");
  await (await dialog(page, "Are you sure")).getByText("Yes").click();
  const error = await dialog(page, "orders are frozen");
  if (!(await error.locator(".body.critical").count())) fail("the database error is not critical");
  await error.getByText("OK").click();
  await editorKeys(page);
  // A body too large is refused with the reason, never read whole.
  const site = `http://127.0.0.1:${server.port}`;
  const res = await fetch(`${site}/event`, {
    method: "POST", headers: { "Content-Type": "application/json", Origin: site }, body: "x".repeat(70000) });
  const reply = await res.json();
  if (res.status !== 400 || !reply.error.includes("request too large")) fail(`${res.status} ${reply.error}`);
  // Another site's page may not post, nor a client that names no page.
  const down = JSON.stringify({ widget: "keyboard", control: 0, key: "Down" });
  for (const origin of ["http://attacker.example:" + server.port, null]) {
    const headers = { "Content-Type": "application/json", ...(origin ? { Origin: origin } : {}) };
    const refused = await fetch(`${site}/event`, { method: "POST", headers, body: down });
    if (refused.status !== 403) fail(`an event from ${origin}: ${refused.status}`);
  }
  // Every reply forbids framing; the page runs under its policy (no page errors above).
  const served = await fetch(site + "/");
  if (served.headers.get("x-frame-options") !== "DENY" ||
      !/frame-ancestors 'none'/.test(served.headers.get("content-security-policy")) ||
      /unsafe-inline/.test(served.headers.get("content-security-policy")))
    fail("the page's headers: " + [...served.headers].join("; "));
  await page.close();
  server.proc.kill("SIGTERM");

  // Two controls side by side, on a further name. The page answers to that name; under a
  // name rebound to this machine it is refused before anything runs.
  server = await serve("--load", "signed.ctl", "--load", "orders.ctl", "--public-name", "tabulo.test");
  for (const [host, status] of [[`tabulo.test:${server.port}`, 200], [`TABULO.test:${server.port}`, 200],
                                [`attacker.test:${server.port}`, 421], [`tabulo.test:${+server.port + 1}`, 421]]) {
    const got = await statusUnder(server.port, host);
    if (got !== status) fail(`Host ${host}: ${got}`);
  }
  page = await open(server, { width: 1200, height: 520 });
  if ((await records(page, 1))[0] !== "1") fail("the second control shows no records");
  // The demo user signs on loopback; the signature leaves an audit record.
  await edit(page, 1, "Signed Co");
  const sign = await dialog(page, "Sign to change the order");
  await sign.locator("input[name=user]").fill("demo");
  await sign.locator("input[name=password]").fill("demo");
  await sign.locator("select[name=reason]").selectOption("Correction");
  await sign.getByText("OK").click();
  await until("the signed edit written", () => sql("SELECT Customer FROM Orders WHERE Id = 1") === "Signed Co");
  const audit = () => { try { return tabulo(["audit", "--user", "demo", "--format", "csv"]); } catch { return ""; } };
  await until("the audit record", () => /demo.*Correction|Correction.*demo/.test(audit()));
  server.proc.kill("SIGTERM");
  await design();
  await sessions();

  // Off loopback: the token, then its cookie; nothing without it. The demo user alone
  // does not do there.
  try {
    execFileSync(TABULO, ["serve", "--bind", "0.0.0.0", "--port", "0", "--load", "orders.ctl"],
                 { cwd: work, env, encoding: "utf8", stdio: "pipe", timeout: WAIT });
    fail("served off loopback with the demo user");
  } catch (e) {
    if (e.status !== 1 || !e.stderr.includes("naming its users")) fail("off loopback: " + e.message);
  }
  // Token files: readable by others, too short, or with a character a cookie cannot carry.
  const token = join(work, "token");
  for (const [text, mode, says] of [["0123456789abcdef0123456789abcdef\n", 0o644, "chmod 600"],
                                    ["0123456789abcdef0123456789abcde\n", 0o600, "at least 32 are needed"],
                                    ["0123456789abcdef0123456789abcdef;x\n", 0o600, "cannot carry unchanged"]]) {
    rmSync(token, { force: true });
    writeFileSync(token, text, { mode });
    try {
      execFileSync(TABULO, ["serve", "--port", "0", "--token-file", token, "--load", "orders.ctl"],
                   { cwd: work, env, encoding: "utf8", stdio: "pipe", timeout: WAIT });
      fail("served with the token file " + text.trim());
    } catch (e) {
      if (e.status !== 1 || !e.stderr.includes(says)) fail("token file: " + e.message);
    }
  }
  server = await serve("--bind", "0.0.0.0", "--host", "host.json", "--load", "orders.ctl");
  const at = `http://127.0.0.1:${server.port}`;
  for (const path of ["/", "/events"]) {
    const res = await fetch(at + path, { redirect: "manual" });
    if (res.status !== 401) fail(`${path} without the token: ${res.status}`);
  }
  const first = await fetch(`${at}/${server.query}`, { redirect: "manual" });
  const cookie = (first.headers.get("set-cookie") || "").split(";")[0];
  if (first.status !== 303 || !cookie.startsWith("tabulo_token=")) fail("the token did not set the cookie");
  if ((await fetch(at + "/", { headers: { Cookie: cookie } })).status !== 200) fail("the cookie is refused");
  // Through the cookie the token set: off loopback the page signs in first.
  page = await open(server, undefined, false);
  await signIn(page, "ben", "secret");
  await settled(page);
  if (pageErrors.length) fail("the page raised: " + pageErrors.join("; "));
}

// Fills the sign-in form and sends it.
async function signIn(page, user, password) {
  const form = page.locator("#signin form");
  await form.waitFor({ timeout: WAIT });
  await form.locator("input[name=user]").fill(user);
  await form.locator("input[name=password]").fill(password);
  await form.getByRole("button", { name: "Sign in" }).click();
}

// Two pages at once are two sessions: A's editor and A's confirmation are A's alone, and B
// goes on meanwhile. Another browser naming A's session, or a made-up one, is refused. With
// --sign-in the page signs in (a wrong password is refused), the audit names the signed-in
// operator, and Sign out ends the session.
async function sessions() {
  let server = await serve("--host", "host.json", "--load", "orders.ctl");
  const [a, b] = await Promise.all([open(server), open(server)]);
  const session = p => p.evaluate(() => JSON.parse(sessionStorage.getItem("tabulo-session")).id);
  if ((await session(a)) === (await session(b))) fail("two pages share a session");
  await (await cell(a, 6, 2)).click();
  await a.locator(".editor").waitFor({ timeout: WAIT });
  await b.keyboard.press("ArrowDown");
  await until("B's cursor moved", () => b.locator('.cell.cursor[data-row="2"]').count());
  if (await b.locator(".editor").count()) fail("B shows A's editor");
  await a.keyboard.type("FromA");
  await a.keyboard.press("Enter");
  const asked = await dialog(a, "Are you sure");
  await b.keyboard.press("ArrowDown");
  await until("B's cursor moved again", () => b.locator('.cell.cursor[data-row="3"]').count());
  if (await b.locator("#dialog").isVisible()) fail("A's confirmation shows in B");
  await asked.getByText("Yes").click();
  await until("A's edit written", () => sql("SELECT Customer FROM Orders WHERE Id = 6") === "FromA");
  // Reloaded, A finds its own session again.
  const before = await session(a);
  await a.reload();
  await settled(a);
  if ((await session(a)) !== before) fail("a reload opened another session");
  // Another browser with A's session, or a page with a made-up one.
  const other = await browser.newContext();
  const stranger = await other.newPage();
  await stranger.goto(`http://127.0.0.1:${server.port}/`);
  const down = JSON.stringify({ widget: "keyboard", control: 0, key: "Down" });
  for (const id of [before, "0".repeat(32)]) {
    const status = await stranger.evaluate(async ([id, body]) => (await fetch("/event", {
      method: "POST", body, headers: { "Content-Type": "application/json", "X-Tabulo-Session": id } })).status,
      [id, down]);
    if (status !== 403) fail(`an event naming session ${id} from another browser: ${status}`);
  }
  await other.close();
  await Promise.all([a.close(), b.close()]);
  server.proc.kill("SIGTERM");

  server = await serve("--sign-in", "--host", "host.json", "--load", "signed.ctl");
  const page = await open(server, undefined, false);
  await signIn(page, "ann", "wrong");
  await until("the refusal", async () => (await page.locator("#signin .problem").textContent()).includes("not correct"));
  await signIn(page, "ann", "secret");
  await settled(page);
  if ((await page.locator("#operator").textContent()) !== "Operator: ann") fail("the bar does not name ann");
  // The signature still asks for its signer, who may be another person.
  await edit(page, 7, "ByAnn");
  const sign = await dialog(page, "Sign to change the order");
  await sign.locator("input[name=user]").fill("ben");
  await sign.locator("input[name=password]").fill("secret");
  await sign.locator("select[name=reason]").selectOption({ index: 1 });
  await sign.getByText("OK").click();
  await until("ann's edit written", () => sql("SELECT Customer FROM Orders WHERE Id = 7") === "ByAnn");
  const record = () => { try { return tabulo(["audit", "--host", "host.json", "--format", "json"]); } catch { return ""; } };
  const ours = await until("the audit record of ann's edit", () =>
    record().split("\n").filter(l => l.trim()).map(l => JSON.parse(l)).find(r => r.new_value === "ByAnn"));
  if (ours.operator !== "ann" || ours.signed_by1 !== "ben")
    fail("the audit record does not name operator ann and signer ben: " + JSON.stringify(ours));
  await page.locator("#signout").click();
  await until("the signed-out page", async () =>
    (await page.locator("#ended").isVisible()) && (await page.locator("#ended p").textContent()).includes("You signed out"));
  await page.close();
  server.proc.kill("SIGTERM");
}

// The editor opens with its text selected: typing replaces it. A refused value, then Escape:
// the old text is back and nothing is written. A write refused because someone else changed
// the row shows the row as it now is, under a plain critical mark.
async function editorKeys(page) {
  const editor = page.locator(".control .editor");
  // Read in one step: the editor may close between a visibility check and a read.
  const editorText = () => editor.evaluateAll(es => es.length && es[0].getClientRects().length ? es[0].textContent : null);
  const qty = id => sql(`SELECT Qty FROM Orders WHERE Id = ${id}`);
  // The editor's text with "|" for the caret and the selection in brackets.
  const caretAt = () => editor.evaluateAll(es => es.length ? [...es[0].childNodes].map(
    n => n.nodeType === 1 ? (n.className === "caret" ? "|" : "[" + n.textContent + "]") : n.textContent).join("") : null);
  const before = qty(6);
  await (await cell(page, 6, 3)).click();
  await until("the whole value selected", async () => (await caretAt()) === "[" + before + "]");
  await page.screenshot({ path: process.env.TABULO_SCREENSHOT || join(work, "editor.png") });
  await page.keyboard.type("9");
  // Typing replaced the value; the caret after the 9, then Home puts it before it.
  await until("the caret after the 9", async () => (await caretAt()) === "9|");
  await page.keyboard.press("Home");
  await until("the caret before the 9", async () => (await caretAt()) === "|9");
  await page.keyboard.press("Enter");
  await (await dialog(page, "Are you sure")).getByText("Yes").click();
  await until("9 written over " + before, () => qty(6) === "9");

  // A refused value; the keys after its box reach the editor; Escape puts the value back.
  const seven = qty(7);
  await (await cell(page, 7, 3)).click();
  await editor.waitFor({ timeout: WAIT });
  await page.keyboard.type("x");
  await page.keyboard.press("Enter");
  await (await dialog(page, "not a valid number")).getByText("OK").click();
  await until("the box closed", async () => !(await page.locator("#shade").isVisible()));
  await page.keyboard.type("5");
  await until("typing reaches the editor", async () => (await editorText()) === "x5");
  await page.keyboard.press("Escape");
  await until("the editor closed", async () => (await editorText()) === null);
  await until("the old value shown", async () => (await (await cell(page, 7, 3)).textContent()) === seven);
  if (qty(7) !== seven || await page.locator("#shade").isVisible()) fail("Escape wrote or asked");

  // Someone else changes the row while it is edited.
  await (await cell(page, 8, 3)).click();
  await editor.waitFor({ timeout: WAIT });
  sql("UPDATE Orders SET Qty = 77 WHERE Id = 8");
  await page.keyboard.type("55");
  await page.keyboard.press("Enter");
  await (await dialog(page, "Are you sure")).getByText("Yes").click();
  const lost = await dialog(page, "changed or deleted by someone else");
  if ((await lost.locator(".title").textContent()) !== "DataServer") fail("the title is not the error's source");
  const mark = await lost.locator(".body").evaluate(e => getComputedStyle(e, "::before").content);
  if (!/^"[\x20-\x7e]+"$/.test(mark)) fail("the critical mark is not plain text: " + mark);
  await until("77 shown under the box", async () => (await (await cell(page, 8, 3)).textContent()) === "77");
  await lost.getByText("OK").click();
  await until("77 shown after OK", async () => !(await page.locator("#shade").isVisible()) &&
                                               (await (await cell(page, 8, 3)).textContent()) === "77");
  if (qty(8) !== "77") fail("the refused write changed the row: " + qty(8));
}

// The grid's header texts, as painted.
async function headerIs(page, texts) {
  const header = () => page.$$eval('.control .cell[data-row="0"]', cells => cells.map(c => c.textContent).filter(t => t));
  await until("the header " + texts, async () => (await header()).join() === texts.join());
}

// The design sheet: Customer's caption renamed on ColumnProperties and applied (the grid's
// header follows); on DSNSelection the query builder, Qty alone to display, OK, Apply (the
// control queries again); Save writes the control file with the statement applied.
async function design() {
  const server = await serve("--design", "--load", "orders.ctl", "--save", "saved.ctl");
  const page = await open(server, { width: 1300, height: 700 }, false);
  await headerIs(page, ["Id", "Customer", "Qty"]);
  const sheet = page.locator(".design");
  const apply = () => sheet.locator(".buttons").getByRole("button", { name: "Apply", exact: true }).click();
  await sheet.locator('[data-page="ColumnProperties"]').click();
  const caption = sheet.locator('td[data-row="2"][data-col="2"]');
  await until("Customer's caption on the page", async () => (await caption.textContent()) === "Customer");
  await caption.click();
  const editor = sheet.locator('input[data-name="txtEdit"]');
  await editor.waitFor({ timeout: WAIT });
  await editor.fill("Client");
  await editor.press("Enter");
  await until("the page's grid renamed", async () => (await caption.textContent()) === "Client");
  await apply();
  await headerIs(page, ["Id", "Client", "Qty"]);
  await sheet.locator('[data-page="DSNSelection"]').click();
  await sheet.locator('[data-name="cmdBuildQuery"]').click();
  const dialog = page.locator("#ddialog");
  const shown = async text => (await dialog.locator("select[name=lstSelect] option").allTextContents()).join() === text;
  await dialog.locator("select[name=lstTableColumns] option", { hasText: "Qty" }).waitFor({ timeout: WAIT });
  await dialog.locator('[data-name="cmdSelectButtons(1)"]').click();  // "<<": only *
  await until("* alone to display", () => shown("*"));
  await dialog.locator("select[name=lstTableColumns]").selectOption({ label: "Qty" });
  await dialog.locator('[data-name="cmdSelectButtons(0)"]').click();  // "<": Qty replaces *
  await until("Qty to display", () => shown("Qty"));
  await dialog.locator('[data-name="cmdOk"]').click();
  await until("the dialog closed", async () => !(await page.locator("#dshade").isVisible()));
  const sql = sheet.locator('[data-name="txtSQL"]');
  await until("the statement back on the page", async () => (await sql.inputValue()).trim() === "SELECT Qty FROM Orders");
  await apply();
  await headerIs(page, ["Qty"]);
  await sheet.locator(".buttons").getByRole("button", { name: "Save", exact: true }).click();
  await until("the control file", () => existsSync(join(work, "saved.ctl")) &&
                                         readFileSync(join(work, "saved.ctl"), "utf8").includes("SELECT Qty FROM Orders"));
  await page.close();
  server.proc.kill("SIGTERM");
}

try {
  await main();
  console.log("ok");
} catch (e) {
  console.error("FAIL: " + e.message);
  process.exitCode = 1;
} finally {
  if (browser) await browser.close();
  for (const p of servers) if (p.exitCode === null) p.kill("SIGKILL");
  rmSync(work, { recursive: true, force: true });
}
