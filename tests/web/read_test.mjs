// Reading a result in `tabulo serve` (Debian's Chromium through playwright-core): a column
// border dragged and double-clicked (the width reaches the control: a saved control file has
// it), the tooltip of a cut cell, the cell viewer, NULL told from an empty text, Ctrl+C and a
// Shift-marked block on the clipboard, Ctrl+End, and axe-core's WCAG 2.2 AA checks of the
// display, a dialog and the popup menu, light and dark, and at 400 % zoom.
// usage: node read_test.mjs TABULO HOST_JSON    (exit 77: Chromium cannot start)
// TABULO_READ_SHOTS=DIR keeps the screenshots taken on the way (docs/serve-viewer.png is one).
import { execFileSync } from "node:child_process";
import { copyFileSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

import { WAIT, axeSourceOrExit, chromiumOrExit, fail, startServe, until } from "./harness.mjs";

const [TABULO, HOST_JSON] = process.argv.slice(2);
const work = mkdtempSync(join(tmpdir(), "tabulo-read-"));
const env = { ...process.env, HOME: work, XDG_STATE_HOME: join(work, "state"), LC_ALL: "C.UTF-8" };
const shots = process.env.TABULO_READ_SHOTS;
const servers = [];
const serve = (...args) => startServe(TABULO, { cwd: work, env, servers }, ...args);
const pageErrors = [];
let browser = null;

const chromium = await chromiumOrExit();
const axeSource = axeSourceOrExit();

async function open(server, size = { width: 1000, height: 520 }, scheme = "light") {
  const context = await browser.newContext({ viewport: size, bypassCSP: true, colorScheme: scheme });
  await context.grantPermissions(["clipboard-read", "clipboard-write"]);
  const page = await context.newPage();
  page.on("pageerror", e => pageErrors.push(e.message));
  await page.goto(`http://127.0.0.1:${server.port}/${server.query}`);
  await until("the first records", () => page.evaluate(() =>
    document.body.dataset.fitted === "true" &&
    document.querySelector('.cell[data-row="1"][data-col="0"]')?.textContent === "1"));
  return page;
}

const cellAt = (page, row, col) => page.locator(`.control[data-index="0"] .cell[data-row="${row}"][data-col="${col}"]`);
const colWidth = (page, col) => cellAt(page, 0, col).evaluate(e => e.getBoundingClientRect().width);
const clipboard = page => page.evaluate(() => navigator.clipboard.readText());
async function shot(page, name) { if (shots) await page.screenshot({ path: join(shots, name) }); }

// Puts something else on the clipboard, so that a copy that did nothing is seen.
async function clearClipboard(page) {
  await page.evaluate(() => navigator.clipboard.writeText("(nothing copied)"));
}

async function axe(page, what) {
  await page.evaluate(axeSource);
  const result = await page.evaluate(() => window.axe.run(document, {
    runOnly: { type: "tag", values: ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa", "wcag22aa"] } }));
  if (result.violations.length)
    fail(`axe, ${what}: ` + result.violations.map(v => `${v.id} (${v.nodes.length}: ${v.nodes[0].target})`).join("; "));
  if (result.passes.length < 5) fail(`axe, ${what}: hardly anything was checked`);
}

// Widths, the tooltip, NULL, the viewer, copying and the paging keys on a read-only display;
// then the saved width through the design sheet's Save.
async function reading() {
  const server = await serve("--host", "host.json", "--load", "notes.ctl");
  const page = await open(server);
  const grid = page.locator('.control[data-index="0"] [role="grid"]');

  // NULL (record 1) and an empty text (record 2) are told apart; record 3's note is cut.
  const nul = cellAt(page, 1, 2), empty = cellAt(page, 2, 2), long = cellAt(page, 3, 2);
  await until("record 1's NULL shown as a dim NULL", () => nul.evaluate(e =>
    e.textContent === "NULL" && e.classList.contains("null") && getComputedStyle(e).fontStyle === "italic"));
  if ((await empty.textContent()) !== "" || (await empty.evaluate(e => e.classList.contains("null"))))
    fail("record 2's empty text is shown as NULL");
  const whole = "The whole text of note 3 runs on well past the edge of its column";
  if ((await long.getAttribute("title")) !== whole) fail("the cut cell's tooltip: " + await long.getAttribute("title"));
  if ((await cellAt(page, 1, 0).getAttribute("title")) !== null) fail("a whole cell has a tooltip");

  // Roles: a grid of the exact count, rows by record, the cursor's cell the active descendant.
  if ((await grid.getAttribute("aria-rowcount")) !== "300") fail("aria-rowcount " + await grid.getAttribute("aria-rowcount"));
  if ((await cellAt(page, 3, 2).evaluate(e => e.parentElement.getAttribute("aria-rowindex"))) !== "3")
    fail("record 3's row has not aria-rowindex 3");
  await cellAt(page, 3, 2).click();
  const box = page.locator('.control[data-index="0"]');
  await until("the clicked cell as the active descendant", async () =>
    (await box.getAttribute("aria-activedescendant")) === (await cellAt(page, 3, 2).getAttribute("id")));
  if (!(await box.evaluate(e => e === document.activeElement))) fail("the control has not the keyboard focus");

  // The viewer (Enter on a read-only cell) shows the whole value; Escape closes it.
  await page.keyboard.press("Enter");
  const viewer = page.locator("#viewer");
  await viewer.waitFor({ timeout: WAIT });
  if ((await viewer.locator(".value").textContent()) !== whole) fail("the viewer's value");
  if (!(await viewer.locator("h2").textContent()).startsWith("Note \u2014 Row 3 of 300"))
    fail("the viewer's title: " + await viewer.locator("h2").textContent());
  await shot(page, "serve-viewer.png");
  await axe(page, "the cell viewer");
  await page.keyboard.press("Escape");
  await viewer.waitFor({ state: "hidden", timeout: WAIT });

  // Ctrl+C: the cursor's cell; on the NULL, nothing (as scripts read it).
  await clearClipboard(page);
  await page.keyboard.press("Control+c");
  await until("the cell copied", async () => (await clipboard(page)) === whole);
  await page.keyboard.press("ArrowUp");
  await page.keyboard.press("ArrowUp");
  await until("record 1's note under the cursor", () => page.locator(".cell.cursor.null").count());
  await clearClipboard(page);
  await page.keyboard.press("Control+c");
  await until("the NULL copied as nothing", async () => (await clipboard(page)) === "");
  // v opens the viewer too; a NULL shows as NULL there.
  await page.keyboard.press("v");
  await viewer.waitFor({ timeout: WAIT });
  if ((await viewer.locator(".value.null").textContent()) !== "NULL") fail("the viewer's NULL");
  await page.locator("#vclose").click();
  await viewer.waitFor({ state: "hidden", timeout: WAIT });

  // A block: Shift+Down twice and Shift+Right from record 1's note, then Shift+click widens
  // it to the Id column; copied with its header line.
  await page.keyboard.press("Shift+ArrowDown");
  await page.keyboard.press("Shift+ArrowDown");
  await page.keyboard.press("Shift+ArrowRight");
  if ((await page.locator(".cell.block").count()) !== 6) fail("Shift+arrows: 3 x 2 cells marked");
  await shot(page, "block.png");
  await clearClipboard(page);
  await page.keyboard.press("Control+c");
  await until("the block copied", async () => (await clipboard(page)) ===
    "Note\tStamp\n\t2020-01-01 10:11:12\n\t2020-01-01 10:11:12\n" + whole + "\t2020-01-01 10:11:12\n");
  await cellAt(page, 2, 1).click({ modifiers: ["Shift"] });
  if ((await page.locator(".cell.block").count()) !== 4) fail("Shift+click: 2 x 2 cells marked");
  if ((await page.locator(".editor").count()) !== 0) fail("Shift+click opened an editor");
  await clearClipboard(page);
  await page.keyboard.press("Control+c");
  await until("the clicked block copied", async () => (await clipboard(page)) === "Id\tNote\n1\t\n2\t\n");
  await page.keyboard.press("ArrowDown");
  if ((await page.locator(".cell.block").count()) !== 0) fail("a plain key leaves the block marked");
  await axe(page, "the display");

  // A border dragged: the control's column takes the width; double-clicked, the control fits it.
  const before = await colWidth(page, 2);
  const sizer = page.locator('.control[data-index="0"] .sizer[data-col="2"]');
  const s = await sizer.boundingBox();
  await page.mouse.move(s.x + s.width / 2, s.y + s.height / 2);
  await page.mouse.down();
  await page.mouse.move(s.x + s.width / 2 + 400, s.y + s.height / 2, { steps: 4 });
  await page.mouse.up();
  await until("the column 400 px wider", async () => Math.abs((await colWidth(page, 2)) - (before + 400)) <= 1);
  await until("the widened cell whole", async () => (await long.getAttribute("title")) === null);
  const widened = await colWidth(page, 2);
  await sizer.dblclick();
  await until("the column fitted", async () => Math.abs((await colWidth(page, 2)) - widened) > 10);
  const fitted = await colWidth(page, 2);
  if (fitted >= widened || fitted <= before) fail(`the fit: ${before} -> ${widened} -> ${fitted}`);
  // The keys: + widens the cursor's column by 16 px, = fits it again.
  await page.keyboard.press("+");
  await until("+ widened the column", async () => Math.abs((await colWidth(page, 2)) - (fitted + 16)) <= 1);
  await page.keyboard.press("=");
  await until("= fitted the column", async () => Math.abs((await colWidth(page, 2)) - fitted) <= 1);
  await shot(page, "read.png");

  // Ctrl+End: the last full window, record 300 at the bottom; End: record 300 alone at the top.
  const dataRows = async () => (await page.$$eval('.control[data-index="0"] .cell[data-col="0"]',
    cells => cells.filter(c => +c.dataset.row >= 1 && c.textContent).map(c => +c.textContent)));
  const full = (await dataRows()).length;
  await page.keyboard.press("Control+End");
  await until("the last full window", async () => {
    const shown = await dataRows();
    return shown.length === full && shown[shown.length - 1] === 300;
  });
  await page.keyboard.press("Control+Home");
  await until("the first window again", async () => (await dataRows())[0] === 1);
  await page.keyboard.press("End");
  await until("record 300 alone at the top", async () => (await dataRows()).join() === "300");
  await page.context().close();
  server.proc.kill("SIGTERM");
}

// The width dragged reaches the control's columns: the design sheet's Save writes it.
async function savedWidth() {
  const server = await serve("--host", "host.json", "--design", "--load", "notes.ctl", "--save", "saved.ctl");
  const page = await open(server, { width: 1400, height: 600 });
  const widthLine = () => readFileSync(join(work, "saved.ctl"), "utf8").split("\n")
                          .filter(l => /Width/.test(l)).join("|");
  const save = () => page.locator(".design .buttons").getByRole("button", { name: "Save", exact: true }).click();
  await save();
  await until("the first save", () => { try { return widthLine(); } catch { return ""; } });
  const first = widthLine();
  rmSync(join(work, "saved.ctl"));
  const before = await colWidth(page, 2);
  const s = await page.locator('.control[data-index="0"] .sizer[data-col="2"]').boundingBox();
  await page.mouse.move(s.x + 3, s.y + 3);
  await page.mouse.down();
  await page.mouse.move(s.x + 123, s.y + 3, { steps: 3 });
  await page.mouse.up();
  await until("the column widened", async () => (await colWidth(page, 2)) > before + 100);
  await save();
  await until("the second save", () => { try { return widthLine(); } catch { return ""; } });
  if (widthLine() === first) fail("the saved widths did not change: " + first);
  await page.context().close();
  server.proc.kill("SIGTERM");
}

// axe on an editable display's dialog (the confirmation) and popup menu, in the dark scheme,
// and the display at 400 % zoom (1280 x 720 at 400 %: 320 x 180 CSS pixels).
async function accessible() {
  const server = await serve("--host", "host.json", "--load", "edit.ctl");
  const page = await open(server, { width: 1000, height: 520 }, "dark");
  // Tab brings the keyboard to the control (past the reading bar's fields), and a ring shows
  // where it is.
  for (let i = 0; i < 20; ++i) {
    await page.keyboard.press("Tab");
    if (await page.evaluate(() => document.activeElement.classList.contains("control"))) break;
  }
  const ring = await page.evaluate(() => document.activeElement.classList.contains("control") &&
                                         getComputedStyle(document.activeElement).outlineStyle);
  if (ring !== "solid") fail("Tab: no focus ring on the control (" + ring + ", " + await page.evaluate(() => document.activeElement.outerHTML.slice(0, 80)) + ")");
  await axe(page, "the display, dark");
  if (await page.evaluate(() => getComputedStyle(document.querySelector(".grid")).backgroundColor) === "rgb(255, 255, 255)")
    fail("the dark scheme leaves the grid white");
  await shot(page, "dark.png");
  await cellAt(page, 4, 2).click({ button: "right" });
  await page.locator('#dialog[role="menu"]').waitFor({ timeout: WAIT });
  await axe(page, "the popup menu");
  await page.keyboard.press("Escape");
  await page.locator("#shade").waitFor({ state: "hidden", timeout: WAIT });
  // An edit asks for confirmation: a message box.
  await cellAt(page, 4, 2).click();
  await page.locator(".editor").waitFor({ timeout: WAIT });
  await page.keyboard.type("x");
  await page.keyboard.press("Enter");
  await page.locator('#dialog .buttons button').first().waitFor({ timeout: WAIT });
  await axe(page, "a dialog");
  await shot(page, "dialog.png");
  await page.keyboard.press("Escape");
  await page.locator("#shade").waitFor({ state: "hidden", timeout: WAIT });
  // 400 %: the control fits the narrow window; its status line's position is still shown.
  await page.setViewportSize({ width: 320, height: 180 });
  // The flag still says "true" for the wide window until the page has seen the resize.
  await until("the narrow window fitted", () => page.evaluate(() =>
    document.body.dataset.fitted === "true" && document.querySelector(".control").offsetWidth <= 320));
  await shot(page, "zoom400.png");
  const overflow = await page.evaluate(() => document.documentElement.scrollWidth - window.innerWidth);
  if (overflow > 0) fail(`at 400 % the page is ${overflow} px wider than the window`);
  // The status line is drawn again with each scene: its position panel is looked for until
  // a drawing of it is in place.
  await until("at 400 % the position shown within the window", async () => {
    const box = await page.locator(".status .position").boundingBox().catch(() => null);
    return box && box.x + box.width <= 320;
  });
  await axe(page, "the display at 400 %");
  await page.context().close();
  server.proc.kill("SIGTERM");
}

async function main() {
  copyFileSync(HOST_JSON, join(work, "host.json"));
  execFileSync("sqlite3", [join(work, "notes.db"),
    "CREATE TABLE Notes(Id INTEGER PRIMARY KEY, Note TEXT, Stamp TEXT);" +
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) " +
    "INSERT INTO Notes SELECT i, CASE i % 3 WHEN 1 THEN NULL WHEN 2 THEN '' ELSE " +
    "'The whole text of note ' || i || ' runs on well past the edge of its column' END, " +
    "'2020-01-01 10:11:12' FROM n;"]);
  const base = 'let DSNname "notes.db"\nlet RecordSource "SELECT Id, Note, Stamp FROM Notes"\nlet DataTable "Notes"\n';
  execFileSync(TABULO, ["script", "-"], { cwd: work, env, input: base + 'save "notes.ctl"\n' });
  execFileSync(TABULO, ["script", "-"], { cwd: work, env,
    input: base + 'let AllowUpdates true\nlet ConfirmUpdates true\nsave "edit.ctl"\n' });
  try {
    browser = await chromium.launch({
      executablePath: "/usr/bin/chromium",
      args: ["--no-sandbox", "--headless", "--disable-gpu", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--no-first-run"] });
  } catch (e) {
    console.log("SKIP: Chromium cannot start: " + e.message.split("\n")[0]);
    process.exit(77);
  }
  await reading();
  await savedWidth();
  await accessible();
  if (pageErrors.length) fail("errors in the page: " + pageErrors.join("; "));
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
