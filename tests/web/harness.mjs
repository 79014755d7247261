// What the browser tests share: bounded waits, a `tabulo serve` on a free port, and the npm
// packages they run on (tests/web/node_modules, installed by tools/install-web-tests).
import { spawn } from "node:child_process";
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";

export const WAIT = 10000;  // ms for anything expected

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

// Starts `tabulo serve` on a free port (English texts, US formats) in `cwd` with `env`;
// resolves with the process, its port and the query of the address it printed. `servers`,
// when given, collects the processes for the test's clean-up.
export function startServe(tabulo, { cwd, env, servers }, ...args) {
  const proc = spawn(tabulo, ["serve", "--port", "0", "--locale", "en-US", "--ui-lang", "1033", ...args],
                     { cwd, env });
  if (servers) servers.push(proc);
  let out = "", err = "";
  proc.stderr.on("data", d => { err += d; });
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error("no address printed: " + err)), WAIT);
    proc.on("exit", code => { clearTimeout(timer); reject(new Error(`serve exited ${code}: ${err}`)); });
    proc.stdout.on("data", d => {
      out += d;
      const m = out.match(/http:\/\/(\S+?):(\d+)\/(\S*)/);
      if (m) { clearTimeout(timer); resolve({ proc, port: m[2], query: m[3] }); }
    });
  });
}

// playwright-core's chromium; the process ends with a clear message when it is not installed.
export async function chromiumOrExit() {
  const { chromium } = await import("playwright-core").catch(() => {
    console.error("FAIL: playwright-core is not installed: run tools/install-web-tests");
    process.exit(1);
  });
  return chromium;
}

// axe-core's script, evaluated in a page by the test driver.
export function axeSourceOrExit() {
  try {
    return readFileSync(createRequire(import.meta.url).resolve("axe-core/axe.min.js"), "utf8");
  } catch {
    console.error("FAIL: axe-core is not installed: run tools/install-web-tests");
    process.exit(1);
  }
}
