// Reading a result in the browser (`tabulo serve` in Debian's Chromium, playwright-core) on the
// 1000-row sample: a header clicked three times, a filter, the status line, Reset, go to
// (Ctrl+G), find (Ctrl+F) beyond the rows in view, and the downloads of the current view with
// their content and exact count, the cell viewer over the view. Every wait is bounded.
// TABULO_VIEW_SHOT names a screenshot of the sorted, filtered view with the viewer open (docs/).
// usage: node view_test.mjs TABULO    (exit 77: Chromium cannot start)
import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

import { WAIT, chromiumOrExit, fail, startServe, until } from "./harness.mjs";

const [TABULO] = process.argv.slice(2);
const work = mkdtempSync(join(tmpdir(), "tabulo-view-"));
const env = { ...process.env, HOME: work, XDG_STATE_HOME: join(work, "state"), LC_ALL: "C.UTF-8" };
const serve = (...args) => startServe(TABULO, { cwd: work, env }, ...args);
let server = null, browser = null;
const pageErrors = [];

const chromium = await chromiumOrExit();

function sql(query) {
  return execFileSync("sqlite3", [join(work, "sample.db"), query], { encoding: "utf8" }).trim();
}

// A column's texts in view, by grid column (1: Id), from the first data row down.
const column = (page, col) => page.$$eval(`.control .cell[data-col="${col}"]`,
  cells => cells.filter(c => +c.dataset.row >= 1 && c.textContent).map(c => c.textContent));
const status = page => page.locator(".control .status").textContent();
const message = page => page.locator("#view-message").textContent();

async function main() {
  execFileSync(TABULO, ["sample-db", "sample.db", "--rows", "1000"], { cwd: work, env });
  sql("UPDATE Orders SET Customer = 'Needle Corp' WHERE Id = 654");
  try {
    browser = await chromium.launch({ executablePath: "/usr/bin/chromium",
      args: ["--no-sandbox", "--headless", "--disable-gpu", "--no-first-run"] });
  } catch (e) {
    console.log("SKIP: Chromium cannot start: " + e.message.split("\n")[0]);
    process.exit(77);
  }
  server = await serve("--db", "sample.db", "--sql", "SELECT Id, Customer, Qty FROM Orders WHERE Id <= 900");
  const page = await browser.newPage({ viewport: { width: 1280, height: 600 }, acceptDownloads: true });
  page.on("pageerror", e => pageErrors.push(e.message));
  await page.goto(`http://127.0.0.1:${server.port}/${server.query}`);
  await until("the first window", async () => (await column(page, 1))[0] === "1");

  // A header clicked thrice: ascending, descending, as the statement has it.
  const header = () => page.locator('.control .cell[data-row="0"][data-col="3"]');
  const sorted = [
    ["0", "Sorted by Qty, ascending", "sorted-asc"],
    ["499", "Sorted by Qty, descending", "sorted-desc"],
    ["0", null, null],
  ];
  for (const [first, note, mark] of sorted) {
    await header().click({ position: { x: 10, y: 5 } });
    await until(`Qty ${first} first, "${note}"`, async () => {
      const s = await status(page);
      return (await column(page, 3))[0] === first && (note ? s.includes(note) : !s.includes("Sorted")) &&
             (mark ? await header().evaluate((e, m) => e.classList.contains(m), mark)
                   : !(await header().getAttribute("class")).includes("sorted"));
    });
  }
  if ((await column(page, 1))[0] !== "1") fail("the third click did not return to the statement's order");

  // Sorted descending and filtered: the status line says both; only matching rows are shown.
  await header().click({ position: { x: 10, y: 5 } });
  await header().click({ position: { x: 10, y: 5 } });
  await page.selectOption("#filter-column", "Customer");
  await page.selectOption("#filter-op", "contains");
  await page.fill("#filter-value", "o'brien");
  await page.press("#filter-value", "Enter");
  const count = sql("SELECT count(*) FROM Orders WHERE Id <= 900 AND Customer = 'O''Brien & Sons'");
  await until("the filtered view", async () => {
    const customers = await column(page, 2);
    return (await status(page)).includes("Sorted by Qty, descending; filtered: Customer contains \"o'brien\"") &&
           customers.length > 0 && customers.every(c => c === "O'Brien & Sons") &&
           (await page.locator(".status .position").textContent()).endsWith(` of ${count}`);
  });
  const qty = (await column(page, 3)).map(Number);
  if (qty.some((q, i) => i > 0 && q > qty[i - 1])) fail("the filtered view is not sorted descending: " + qty);
  // The cell viewer over the sorted, filtered view shows the cursor cell's record of the view.
  await page.locator(".control").first().focus();
  await page.keyboard.press("v");
  await page.locator("#vshade").waitFor({ state: "visible", timeout: WAIT });
  const title = await page.locator("#vtitle").textContent();
  if (!title.endsWith(` of ${count}`)) fail("the viewer over the view names no record of it: " + title);
  if (process.env.TABULO_VIEW_SHOT) await page.screenshot({ path: process.env.TABULO_VIEW_SHOT });
  await page.keyboard.press("Escape");
  await page.locator("#vshade").waitFor({ state: "hidden", timeout: WAIT });

  // The download of what is shown: the header line and every record of the view, in its order.
  for (const [format, lines] of [["csv", +count + 1], ["json", +count]]) {
    const [download] = await Promise.all([page.waitForEvent("download"), page.click(`#export-${format}`)]);
    const text = readFileSync(await download.path(), "utf8");
    const rows = text.split(format === "csv" ? "\r\n" : "\n").filter(l => l);
    if (rows.length !== lines) fail(`${format}: ${rows.length} lines, not ${lines}`);
    if (format === "csv" && !rows[1].endsWith(`,O'Brien & Sons,${qty[0]}`)) fail("csv starts with " + rows[1]);
    if (format === "json" && JSON.parse(rows[0]).Qty !== qty[0]) fail("json starts with " + rows[0]);
    await until(`the ${format} count in the bar`, async () =>
      (await message(page)) === `Exported ${count} records (${format.toUpperCase()}) to the download tabulo-view.${format}.`);
  }

  // Reset: the control's own statement again.
  await page.click("#view-reset");
  await until("the own statement", async () =>
    !(await status(page)).includes("Sorted") &&
    (await page.locator(".status .position").textContent()).endsWith(" of 900"));

  // Ctrl+G: record 777 in view, the cursor on it.
  await page.locator(".control").first().click({ position: { x: 200, y: 60 } });
  await page.keyboard.press("Control+g");
  await page.keyboard.type("777");
  await page.keyboard.press("Enter");
  await until("record 777", async () =>
    (await page.locator(".status .position").textContent()) === "Row 777 of 900");

  // Ctrl+F: a text far beyond the rows in view; the cell is marked and the cursor on it.
  await page.keyboard.press("Home");
  await until("record 1", async () => (await page.locator(".status .position").textContent()) === "Row 1 of 900");
  await page.keyboard.press("Control+f");
  await page.keyboard.type("NEEDLE");
  await page.keyboard.press("Enter");
  await until("the match", async () =>
    (await page.locator(".status .position").textContent()) === "Row 654 of 900" &&
    (await page.locator(".cell.found").textContent()) === "Needle Corp" &&
    (await message(page)) === 'Found "NEEDLE" in record 654.');
  await page.keyboard.press("Enter");  // again: the one match, round the end
  await until("found again", async () => (await message(page)).includes("(from the top again)"));
  await page.fill("#find-text", "no such customer");
  await page.keyboard.press("Enter");
  await until("no match", async () => (await message(page)) === 'No cell holds "no such customer".');
  if (pageErrors.length) fail("page errors: " + pageErrors.join("; "));
}

try {
  await main();
  console.log("ok");
} catch (e) {
  console.error("FAIL: " + e.message);
  process.exitCode = 1;
} finally {
  if (browser) await browser.close();
  if (server && server.proc.exitCode === null) server.proc.kill("SIGKILL");
  rmSync(work, { recursive: true, force: true });
}
