// What the browser tests of `tabulo serve` share: a work folder with its own state, bounded
// waits, the display started on a free port, Debian's Chromium launched headless (exit 77 when
// it cannot start), and the run wrapped so that browser, servers and folder always go.
import { spawn } from "node:child_process";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

export const WAIT = 10000;  // ms for anything expected

const { chromium } = await import("playwright-core").catch(() => {
  console.error("FAIL: playwright-core is not installed: run tools/install-web-tests");
  process.exit(1);
});

export class Harness {
  constructor(tabulo, prefix) {
    this.tabulo = tabulo;
    this.work = mkdtempSync(join(tmpdir(), prefix));
    this.env = { ...process.env, HOME: this.work, XDG_STATE_HOME: join(this.work, "state"),
                 LC_ALL: "C.UTF-8" };
    this.servers = [];
    this.browser = null;
    this.pageErrors = [];
  }

  // Starts `tabulo serve` and resolves to { proc, port, query, err() } once it prints its
  // address (query: the part after the port's slash, e.g. the token).
  serve(...args) {
    const proc = spawn(this.tabulo,
                       ["serve", "--port", "0", "--locale", "en-US", "--ui-lang", "1033", ...args],
                       { cwd: this.work, env: this.env });
    this.servers.push(proc);
    let out = "", err = "";
    proc.stderr.on("data", d => { err += d; });
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => reject(new Error("no address printed: " + err)), WAIT);
      proc.on("exit", code => { clearTimeout(timer); reject(new Error(`serve exited ${code}: ${err}`)); });
      proc.stdout.on("data", d => {
        out += d;
        const m = out.match(/http:\/\/(\S+?):(\d+)\/(\S*)/);
        if (m) { clearTimeout(timer); resolve({ proc, port: m[2], query: m[3], err: () => err }); }
      });
    });
  }

  async launch() {
    try {
      this.browser = await chromium.launch({
        executablePath: "/usr/bin/chromium",
        args: ["--no-sandbox", "--headless", "--disable-gpu", "--disable-background-networking",
               "--disable-component-update", "--disable-sync", "--no-first-run"] });
    } catch (e) {
      console.log("SKIP: Chromium cannot start: " + e.message.split("\n")[0]);
      process.exit(77);
    }
    return this.browser;
  }

  async newPage(viewport) {
    const page = await this.browser.newPage({ viewport });
    page.on("pageerror", e => this.pageErrors.push(e.message));
    return page;
  }

  checkPageErrors() {
    if (this.pageErrors.length) fail("the page raised: " + this.pageErrors.join("; "));
  }

  // Runs `main`, prints ok or FAIL, and always closes the browser, kills the servers and
  // removes the work folder.
  async run(main) {
    try {
      await main();
      console.log("ok");
    } catch (e) {
      console.error("FAIL: " + e.message);
      process.exitCode = 1;
    } finally {
      if (this.browser) await this.browser.close();
      for (const p of this.servers) if (p.exitCode === null) p.kill("SIGKILL");
      rmSync(this.work, { recursive: true, force: true });
    }
  }
}

export function fail(message) {
  throw new Error(message);
}

// Polls `predicate` until it gives a true value (returned) or WAIT has passed.
export async function until(what, predicate) {
  const deadline = Date.now() + WAIT;
  for (;;) {
    const value = await predicate();
    if (value) return value;
    if (Date.now() > deadline) fail("never: " + what);
    await new Promise(r => setTimeout(r, 50));
  }
}
