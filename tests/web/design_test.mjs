// The design pane of `tabulo serve --design` in Debian's Chromium, as a designer meets it: every
// page and the query builder with their captions (no "Not Found", no code names), laid out from
// their widgets' places, the keyboard path (Tab order, Escape, Enter, Alt+key), the font and
// colour previews, Save saying where, a refused Apply saying why, and axe-core's checks with no
// violation. The embedded default host serves the texts installed with the program.
// usage: node design_test.mjs TABULO [SHOTS_FOLDER]    (exit 77: Chromium cannot start)
import { execFileSync } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

import { WAIT, axeSourceOrExit, chromiumOrExit, fail, startServe, until } from "./harness.mjs";

const [TABULO, SHOTS] = process.argv.slice(2);
const work = mkdtempSync(join(tmpdir(), "tabulo-design-"));
const shots = SHOTS || work;
const env = { ...process.env, HOME: work, XDG_STATE_HOME: join(work, "state"), LC_ALL: "C.UTF-8" };
const servers = [];
const serve = (...args) => startServe(TABULO, { cwd: work, env, servers }, ...args);
const pageErrors = [];
let browser = null;
let page = null;  // shot into the folder when the test fails

const chromium = await chromiumOrExit();
const axeSource = axeSourceOrExit();

// Code names: a prefix of the widgets' names followed by a capital, or a page's class name.
const CODE_NAME = /\b(cbo|cmb|lst|txt|chk|cmd|lbl|fra|frm|btn|updn)[A-Z]|UsrControlProperties|DSNSelection|ColumnProperties|\(\d\)/;

// What the pane shows and says: its visible text, every accessible name (aria-label, labels).
function wording(page, selector) {
  return page.$eval(selector, box => [box.innerText,
    ...[...box.querySelectorAll("[aria-label]")].map(e => e.getAttribute("aria-label")),
    ...[...box.querySelectorAll("label")].map(e => e.textContent)].join("\n"));
}

async function checkWording(page, selector, where) {
  const text = await wording(page, selector);
  if (/Not Found/.test(text)) fail(`${where} shows a missing text: ${text}`);
  const code = CODE_NAME.exec(text);
  if (code) fail(`${where} shows the code name "${code[0]}": ${text}`);
}

async function axe(page, selector, where) {
  // Evaluated by the test driver: the page's own policy admits no other script.
  if (!(await page.evaluate(() => !!window.axe))) await page.evaluate(axeSource);
  const result = await page.evaluate(sel => window.axe.run({ include: [sel] }), selector);
  if (result.violations.length) {
    fail(`${where}: axe-core finds ` + result.violations.map(v =>
      `${v.id} (${v.nodes.map(n => n.target.join(" ")).join(", ")})`).join("; "));
  }
}

const box = (page, selector) => page.locator(selector).boundingBox();

async function main() {
  execFileSync(TABULO, ["sample-db", "sample.db", "--rows", "50"], { cwd: work, env });
  execFileSync(TABULO, ["script", "-"], { cwd: work, env, input:
    'let DSNname "sample.db"\nlet RecordSource "SELECT Id, Customer, Qty FROM Orders"\n' +
    'let DataTable "Orders"\nsave "orders.ctl"\n' });
  try {
    browser = await chromium.launch({
      executablePath: "/usr/bin/chromium",
      args: ["--no-sandbox", "--headless", "--disable-gpu", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--no-first-run"] });
  } catch (e) {
    console.log("SKIP: Chromium cannot start: " + e.message.split("\n")[0]);
    process.exit(77);
  }
  const server = await serve("--design", "--load", "orders.ctl", "--save", "saved.ctl");
  page = await browser.newPage({ viewport: { width: 1100, height: 640 } });
  page.on("pageerror", e => pageErrors.push(e.message));
  await page.goto(`http://127.0.0.1:${server.port}/${server.query}`);
  const sheet = page.locator(".design");
  const tab = name => sheet.locator(`.tabs [data-page="${name}"]`);
  const open = async (name, caption) => {
    await tab(name).click();
    await until(`the page ${caption}`, async () =>
      (await sheet.locator("[role=tabpanel]").getAttribute("aria-label").catch(() => "")) === caption);
  };

  // The tabs read the pages' captions; each page its own texts, laid out, clean for axe.
  await until("the tabs", async () => (await sheet.locator("[role=tab]").allTextContents()).join("|") ===
                                      "General|Data Source Properties|Column Properties|eSignature");
  const pages = [["UsrControlProperties", "General", "general"],
                 ["DSNSelection", "Data Source Properties", "source"],
                 ["ColumnProperties", "Column Properties", "columns"],
                 ["eSignature", "eSignature", "esignature"]];
  for (const [name, caption, file] of pages) {
    await open(name, caption);
    await checkWording(page, ".design", caption);
    await axe(page, ".design", caption);
    await sheet.screenshot({ path: join(shots, `design-${file}.png`) });
  }
  // The eSignature page's texts come from the installed store, with their frames' blanks.
  await open("eSignature", "eSignature");
  const legends = await sheet.locator(".w-frame").evaluateAll(fs => fs.map(f => f.getAttribute("aria-label")));
  if (legends.join("|") !== "eSignature Confirmation|Operator Selected Reason Code|Required Command Levels")
    fail("eSignature frames: " + legends.join("|"));
  const required = sheet.getByLabel("eSignature Confirmation Required");
  if (await required.isChecked()) fail("the signature is required from the start");

  // General: access keys underlined; Alt+U ticks "Allow database updates", Alt+O opens the
  // font colour's picker; the font and colours shown beside their buttons.
  await open("UsrControlProperties", "General");
  const underlined = await sheet.locator("u").allTextContents();
  if (!underlined.includes("u") || !underlined.includes("o")) fail("access keys not underlined: " + underlined);
  if (await sheet.locator("text=&").count()) fail("an ampersand is shown");
  const allow = sheet.getByLabel("Allow database updates");
  if (await allow.isChecked()) fail("updates allowed from the start");
  await page.keyboard.press("Alt+U");
  await until("Alt+U ticked the box", () => allow.isChecked());
  await until("its dependent box enabled", async () => !(await sheet.getByLabel("Confirm database updates").isDisabled()));
  await page.keyboard.press("Alt+O");
  await page.locator('#dialog[data-kind="color"]').waitFor({ timeout: WAIT });
  await page.locator("#dialog").getByRole("button", { name: "Cancel" }).click();
  await until("the picker closed", async () => !(await page.locator("#shade").isVisible()));
  const font = await sheet.locator('[data-preview="font"]').textContent();
  if (!/^\S.* \d+(\.\d+)? pt/.test(font)) fail("the font preview: " + font);
  for (const which of ["back", "fore"]) {
    const text = await sheet.locator(`[data-preview="${which}"]`).textContent();
    if (!/#[0-9a-f]{6}$/.test(text.trim())) fail(`the ${which} colour preview: ${text}`);
  }
  // Laid out: the font button stands right of its label, on its line.
  const fontLabel = await box(page, '.design label[for$="btnFont"]');
  const fontButton = await box(page, '.design [data-name="btnFont"]');
  if (!(fontButton.x >= fontLabel.x + fontLabel.width && Math.abs(fontButton.y - fontLabel.y) < 8))
    fail(`the font button is not beside its label: ${JSON.stringify([fontLabel, fontButton])}`);

  // Data source: "Tables:" above its list, the statement box beside it.
  await open("DSNSelection", "Data Source Properties");
  const tables = await box(page, '.design label[for$="lstTable"]');
  const list = await box(page, '.design [data-name="lstTable"]');
  const statement = await box(page, '.design [data-name="txtSQL"]');
  if (!(list.y >= tables.y + tables.height - 2 && Math.abs(list.x - tables.x) < 4 && statement.x > list.x + list.width))
    fail(`the tables list is out of place: ${JSON.stringify([tables, list, statement])}`);

  // Column Properties: the grid is a Tab stop (role grid); the arrows move its current cell, Enter
  // edits it.
  await open("ColumnProperties", "Column Properties");
  const grid = sheet.locator("[role=grid]");
  const at = async () => (await grid.getAttribute("aria-activedescendant") || "").split("-").slice(-2).map(Number);
  const onGrid = () => page.evaluate(() => document.activeElement.getAttribute("role") === "grid");
  await tab("ColumnProperties").focus();
  for (let i = 0; i < 12 && !(await onGrid()); ++i) await page.keyboard.press("Tab");
  if (!(await onGrid())) fail("Tab does not reach the column grid");
  const [last, col0] = await at();  // the page leaves the last row current
  await page.keyboard.press("ArrowDown");  // nothing below
  await page.keyboard.press("ArrowUp");
  await until("ArrowUp moved a row up", async () => (await at()).join() === [last - 1, col0].join());
  const row0 = last - 2;
  for (let i = 0; i < 4 && (await at())[1] !== 2; ++i) {
    const from = (await at())[1];
    await page.keyboard.press(from < 2 ? "ArrowRight" : "ArrowLeft");
    await until("an arrow moved across", async () => (await at()).join() === [row0 + 1, from + (from < 2 ? 1 : -1)].join());
  }
  if (!(await onGrid()) || (await at())[1] !== 2) fail("the arrows did not reach the caption column");
  await page.keyboard.press("Enter");
  await until("Enter edits the cell", () => page.evaluate(() => document.activeElement.dataset.name === "txtEdit"));
  await page.keyboard.press("Control+A");
  await page.keyboard.type("Client");
  await page.keyboard.press("Enter");
  await until("the caption edited", async () => (await grid.locator(`td[data-row="${row0 + 1}"][data-col="2"]`).textContent()) === "Client");
  await axe(page, ".design", "the column page's grid");
  await open("DSNSelection", "Data Source Properties");

  // The query builder: a dialog whose Tab order runs through its widgets in their order and
  // comes round without reaching the grid behind; Escape cancels.
  const dialog = page.locator("#ddialog");
  const openBuilder = async () => {
    await sheet.getByRole("button", { name: "Query Builder" }).click();
    await dialog.locator("select[name=lstTableColumns] option", { hasText: "Qty" }).waitFor({ timeout: WAIT });
    await until("the focus in the dialog", () => page.evaluate(() => document.getElementById("ddialog").contains(document.activeElement)));
  };
  await openBuilder();
  await checkWording(page, "#ddialog", "the query builder");
  await axe(page, "#ddialog", "the query builder");
  await dialog.screenshot({ path: join(shots, "design-query-builder.png") });
  if ((await dialog.getAttribute("role")) !== "dialog") fail("the query builder is no dialog");
  const columns = await Promise.all(["lstSelect", "lstTableColumns", "lstOrderBy"].map(n => box(page, `#ddialog [data-name="${n}"]`)));
  if (!(columns[0].y === columns[1].y && columns[1].y === columns[2].y && columns[0].x < columns[1].x && columns[1].x < columns[2].x))
    fail("the three lists are not side by side: " + JSON.stringify(columns));
  const want = await dialog.evaluate(d => [...d.querySelectorAll("input, textarea, select:not(.opener), button")]
    .filter(e => !e.disabled).map(e => e.dataset.name));
  await dialog.locator(`[data-name="${want[0]}"]`).focus();
  const seen = [];
  for (let i = 0; i < want.length + 1; ++i) {
    seen.push(await page.evaluate(() => document.getElementById("ddialog").contains(document.activeElement)
                                        ? document.activeElement.dataset.name : "outside"));
    await page.keyboard.press("Tab");
  }
  if (seen.join() !== [...want, want[0]].join()) fail(`Tab order ${seen.join()}, expected ${want.join()},${want[0]}`);
  await page.keyboard.press("Shift+Tab");
  await page.keyboard.press("Shift+Tab");
  const back = await page.evaluate(() => document.activeElement.dataset.name);
  if (back !== want[want.length - 1]) fail(`Shift+Tab from the first widget reached ${back}`);
  const before = await sheet.locator('[data-name="txtSQL"]').inputValue();
  await page.keyboard.press("Escape");
  await until("Escape closed the dialog", async () => !(await page.locator("#dshade").isVisible()));
  if ((await sheet.locator('[data-name="txtSQL"]').inputValue()) !== before) fail("Escape changed the statement");

  // Enter is OK where no multi-line box has the focus: in the filter box it is a new line.
  await openBuilder();
  await dialog.locator("select[name=lstTableColumns]").selectOption({ label: "Qty" });
  await dialog.locator('[data-name="cmdSelectButtons(1)"]').click();
  await dialog.locator('[data-name="cmdSelectButtons(0)"]').click();
  await until("Qty to display", async () => (await dialog.locator("select[name=lstSelect] option").allTextContents()).join() === "Qty");
  const where = dialog.locator('[data-name="txtWhere"]');
  await where.focus();
  await page.keyboard.type("Qty > 1");
  await page.keyboard.press("Enter");
  if (!(await page.locator("#dshade").isVisible())) fail("Enter in the filter box closed the dialog");
  await page.keyboard.press("Backspace");
  await dialog.locator("select[name=lstSelect]").focus();
  await page.keyboard.press("Enter");
  await until("Enter closed the dialog with OK", async () => !(await page.locator("#dshade").isVisible()));
  await until("the statement built", async () =>
    /^SELECT Qty FROM Orders WHERE Qty > 1\s*$/.test(await sheet.locator('[data-name="txtSQL"]').inputValue()));

  // A refused Apply says why and leaves the page as it was changed.
  const dsn = sheet.locator('input[data-name="cboDSNList"]');
  await dsn.fill("(None)");
  await dsn.press("Tab");
  await sheet.getByRole("button", { name: "Apply", exact: true }).click();
  const message = page.locator('#dialog[data-kind="message"]');
  await message.waitFor({ timeout: WAIT });
  if (!/data source name must be entered/.test(await message.textContent())) fail("the refusal: " + await message.textContent());
  await message.getByRole("button", { name: "OK" }).click();
  await until("the message closed", async () => !(await page.locator("#shade").isVisible()));
  if ((await dsn.inputValue()) !== "(None)") fail("the refused value was dropped: " + await dsn.inputValue());
  if (!/WHERE Qty > 1/.test(await sheet.locator('[data-name="txtSQL"]').inputValue())) fail("the statement was dropped");
  await dsn.fill("sample.db");
  await dsn.press("Tab");
  await sheet.getByRole("button", { name: "Apply", exact: true }).click();

  // Save says where it wrote the file.
  await sheet.getByRole("button", { name: "Save", exact: true }).click();
  const note = page.locator("#note");
  await until("Save said where", async () => (await note.textContent()) === "Saved to saved.ctl" ||
                                              (await note.textContent()) === "Saved to " + join(work, "saved.ctl"));
  if (!readFileSync(join(work, "saved.ctl"), "utf8").includes("WHERE Qty > 1")) fail("the saved control lacks the filter");
  if (pageErrors.length) fail("page errors: " + pageErrors.join("; "));
  await page.close();
  server.proc.kill("SIGTERM");
}

try {
  await main();
  console.log("ok");
} catch (e) {
  console.error("FAIL: " + e.message);
  process.exitCode = 1;
  if (page && !page.isClosed()) await page.screenshot({ path: join(shots, "design-failure.png") }).catch(() => {});
} finally {
  if (browser) await browser.close();
  for (const p of servers) if (p.exitCode === null) p.kill("SIGKILL");
  if (existsSync(work)) rmSync(work, { recursive: true, force: true });
}
