// `tabulo serve --design` in a real browser (Debian's Chromium, driven by playwright-core):
// the sheet beside the control, a column renamed on ColumnProperties and applied (the grid's
// header follows), the query builder opened from DSNSelection as a modal dialog in the page,
// a column picked and OK, the statement applied (the control queries again), and the Save
// button writing the control file. Every wait is bounded; nothing sleeps to synchronise.
// usage: node design_test.mjs TABULO    (exit 77: Chromium cannot start)
import { execFileSync } from "node:child_process";
import { existsSync, readFileSync } from "node:fs";
import { join } from "node:path";

import { Harness, WAIT, until } from "./harness.mjs";

const [TABULO] = process.argv.slice(2);
const h = new Harness(TABULO, "tabulo-design-");
const { work, env } = h;

// The grid's header texts, as painted.
function header(page) {
  return page.$$eval('.control .cell[data-row="0"]', cells => cells.map(c => c.textContent).filter(t => t));
}

async function headerIs(page, texts) {
  await until("the header " + texts, async () => (await header(page)).join() === texts.join());
}

async function main() {
  execFileSync(TABULO, ["sample-db", "sample.db", "--rows", "100"], { cwd: work, env });
  execFileSync(TABULO, ["script", "-"], { cwd: work, env, input:
    'let DSNname "sample.db"\nlet RecordSource "SELECT Id, Customer, Qty FROM Orders"\nsave "orders.ctl"\n' });
  await h.launch();
  const { port } = await h.serve("--design", "--load", "orders.ctl", "--save", "saved.ctl");
  const page = await h.newPage({ width: 1300, height: 700 });
  await page.goto(`http://127.0.0.1:${port}/`);
  await headerIs(page, ["Id", "Customer", "Qty"]);
  const sheet = page.locator(".design");

  // ColumnProperties: Customer's caption renamed in the page's grid, applied.
  await sheet.getByRole("button", { name: "ColumnProperties" }).click();
  const caption = sheet.locator('td[data-row="2"][data-col="2"]');
  await until("Customer's caption on the page", async () => (await caption.textContent()) === "Customer");
  await caption.click();
  const editor = sheet.locator('input[data-name="txtEdit"]');
  await editor.waitFor({ timeout: WAIT });
  await editor.fill("Client");
  await editor.press("Enter");
  await until("the page's grid renamed", async () => (await caption.textContent()) === "Client");
  await sheet.locator(".buttons").getByRole("button", { name: "Apply", exact: true }).click();
  await headerIs(page, ["Id", "Client", "Qty"]);

  // DSNSelection: the query builder, Qty alone to display, OK, Apply: the control queries again.
  await sheet.getByRole("button", { name: "DSNSelection" }).click();
  await sheet.locator('[data-name="cmdBuildQuery"]').click();
  const dialog = page.locator("#ddialog");
  await dialog.locator("select[name=lstTableColumns] option", { hasText: "Qty" }).waitFor({ timeout: WAIT });
  await dialog.locator('[data-name="cmdSelectButtons(1)"]').click();  // "<<": only *
  await until("* alone to display", async () =>
    (await dialog.locator("select[name=lstSelect] option").allTextContents()).join() === "*");
  await dialog.locator("select[name=lstTableColumns]").selectOption({ label: "Qty" });
  await dialog.locator('[data-name="cmdSelectButtons(0)"]').click();  // "<": Qty replaces *
  await until("Qty to display", async () =>
    (await dialog.locator("select[name=lstSelect] option").allTextContents()).join() === "Qty");
  await dialog.locator('[data-name="cmdOk"]').click();
  await until("the dialog closed", async () => !(await page.locator("#dshade").isVisible()));
  const sql = sheet.locator('input[data-name="txtSQL"]');
  await until("the statement back on the page", async () => (await sql.inputValue()).trim() === "SELECT Qty FROM Orders");
  await sheet.locator(".buttons").getByRole("button", { name: "Apply", exact: true }).click();
  await headerIs(page, ["Qty"]);

  // Save writes the control file, its statement the one applied.
  await sheet.locator(".buttons").getByRole("button", { name: "Save", exact: true }).click();
  await until("the control file", () => existsSync(join(work, "saved.ctl")) &&
                                         readFileSync(join(work, "saved.ctl"), "utf8").includes("SELECT Qty FROM Orders"));
  h.checkPageErrors();
}

await h.run(main);
