// Measures the operator display of `tabulo serve` in Chromium (not run by CI; no limits
// asserted): the time from dropping the scroll bar's thumb at the far end of the whole range
// to the painted window that shows the record there (median and 99th percentile over the
// drags), and the server's resident memory with 1 and with 4 controls on the database.
// usage: node bench/serve_drag.mjs TABULO DATABASE [DRAGS]   (tools/install-web-tests first)
import { execFileSync, spawn } from "node:child_process";
import { readFileSync } from "node:fs";

const { chromium } = await import("../tests/web/node_modules/playwright-core/index.mjs");
const [TABULO, DB, DRAGS = "40"] = process.argv.slice(2);
const SQL = "SELECT Id, Customer, Qty, Price, Placed FROM Orders";
const count = execFileSync("sqlite3", [DB, "SELECT COUNT(*) FROM Orders"], { encoding: "utf8" }).trim();

function serve(controls) {
  const args = ["serve", "--port", "0"];
  for (let i = 0; i < controls; ++i) args.push("--db", DB, "--sql", SQL);
  const proc = spawn(TABULO, args, { stdio: ["ignore", "pipe", "inherit"] });
  return new Promise(resolve => {
    let out = "";
    proc.stdout.on("data", d => {
      out += d;
      const m = out.match(/http:\/\/\S+\//);
      if (m) resolve({ proc, url: m[0] });
    });
  });
}

function rssMiB(pid) {
  const kb = +readFileSync(`/proc/${pid}/status`, "utf8").match(/VmRSS:\s+(\d+)/)[1];
  return (kb / 1024).toFixed(1);
}

const firstRecord = control => document.querySelector(
  `.control[data-index="${control}"] .cell[data-row="1"][data-col="0"]`)?.textContent;

async function open(browser, server) {
  const page = await browser.newPage({ viewport: { width: 1400, height: 700 } });
  const started = Date.now();
  await page.goto(server.url);
  await page.waitForFunction(firstRecord, 0, { timeout: 600000, polling: 100 });
  await page.waitForFunction(() => document.body.dataset.fitted === "true", null, { timeout: 60000 });
  return { page, firstWindowMs: Date.now() - started };
}

function percentile(sorted, p) {
  return sorted[Math.min(sorted.length - 1, Math.ceil(p * sorted.length) - 1)];
}

const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--headless", "--disable-gpu", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--no-first-run"] });
try {
  const one = await serve(1);
  const { page, firstWindowMs } = await open(browser, one);
  console.log(`first window after ${firstWindowMs} ms`);
  const times = [];
  for (let i = 0; i < +DRAGS; ++i) {
    const toEnd = i % 2 === 0;
    const thumb = await page.locator(".thumb").boundingBox();
    const bar = await page.locator(".scroll").boundingBox();
    const x = thumb.x + thumb.width / 2;
    await page.mouse.move(x, thumb.y + 2);
    await page.mouse.down();
    await page.mouse.move(x, toEnd ? bar.y + bar.height + 20 : bar.y - 20, { steps: 10 });
    const dropped = Date.now();
    await page.mouse.up();
    // The window is painted when the frame after it shows the record at the thumb's end.
    await page.waitForFunction(expected => document.querySelector(
      '.control[data-index="0"] .cell[data-row="1"][data-col="0"]')?.textContent === expected,
      toEnd ? count : "1", { timeout: 60000, polling: "raf" });
    times.push(Date.now() - dropped);
  }
  console.log(`first drag to the end (nothing of the range read yet): ${times[0]} ms`);
  times.sort((a, b) => a - b);
  console.log(`drag across the whole range, drop to painted window over ${times.length} drags: ` +
              `median ${percentile(times, 0.5)} ms, p99 ${percentile(times, 0.99)} ms`);
  console.log(`server memory with 1 control: ${rssMiB(one.proc.pid)} MiB`);
  one.proc.kill("SIGTERM");
  const four = await serve(4);
  const opened = await open(browser, four);
  for (let c = 1; c < 4; ++c)
    await opened.page.waitForFunction(firstRecord, c, { timeout: 600000, polling: 100 });
  console.log(`server memory with 4 controls: ${rssMiB(four.proc.pid)} MiB ` +
              `(first windows after ${opened.firstWindowMs} ms)`);
  four.proc.kill("SIGTERM");
} finally {
  await browser.close();
}
