// The display tier behind nginx over a PostgreSQL primary and its standby (deploy/cluster.sh),
// in Chromium: 2 display processes, 5 operators each on their own route, a failover while
// they edit (bench/cluster_failover.mjs does the run). Asserts what operators rely on: no
// acknowledged edit lost, every edit entered after the primary's stop refused with a message
// and not written, every page showing the standby's data, and the proxy keeping the display's
// token and host checks.
// usage: node cluster_test.mjs TABULO    (exit 77: PostgreSQL, nginx or Chromium missing)
import { spawnSync } from "node:child_process";
import { existsSync, mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { fileURLToPath } from "node:url";

import { failoverRun } from "../../bench/cluster_failover.mjs";
import { fail } from "./harness.mjs";

const [TABULO] = process.argv.slice(2);
const OPERATORS = 5, EDITS = 2;

// Through the proxy: the token is still needed, and only the proxy's own name is answered.
async function throughTheProxy(env) {
  const site = new URL(env.URL).origin;
  const bare = await fetch(site + "/", { redirect: "manual" });
  if (bare.status !== 401) fail(`a visit without the token through the proxy: ${bare.status}`);
  const signed = await fetch(env.URL, { redirect: "manual" });
  if (signed.status !== 303 || !signed.headers.getSetCookie().some(c => c.startsWith("tabulo_route=")))
    fail(`the token's visit: ${signed.status} ${signed.headers.getSetCookie()}`);
  const { get } = await import("node:http");
  const status = await new Promise((resolve, reject) =>
    get({ host: "127.0.0.1", port: new URL(site).port, path: "/?token=" + env.TOKEN,
          headers: { Host: "attacker.example:" + new URL(site).port } },
        res => { res.resume(); resolve(res.statusCode); }).on("error", reject));
  if (status !== 421) fail(`another host name through the proxy: ${status}`);
}

// The site for Debian's own nginx (deploy/nginx-site.conf) is one nginx takes.
function siteAccepted() {
  const dir = mkdtempSync(join(tmpdir(), "tabulo-site-"));
  const site = fileURLToPath(new URL("../../deploy/nginx-site.conf", import.meta.url));
  const temp = ["client_body", "proxy", "fastcgi", "uwsgi", "scgi"].map(t => `${t}_temp_path ${dir}/${t};`).join(" ");
  writeFileSync(join(dir, "nginx.conf"),
                `pid ${dir}/pid; error_log ${dir}/error.log;\nevents {}\n` +
                `http { access_log off; ${temp}\ninclude ${site}; }\n`);
  const nginx = existsSync("/usr/sbin/nginx") ? "/usr/sbin/nginx" : "nginx";  // sbin: often off PATH
  const run = spawnSync(nginx, ["-t", "-q", "-p", dir, "-e", join(dir, "error.log"), "-c", join(dir, "nginx.conf")],
                        { encoding: "utf8" });
  rmSync(dir, { recursive: true, force: true });
  if (run.error) return;  // no nginx: the run below skips
  if (run.status !== 0) fail("nginx refuses deploy/nginx-site.conf: " + run.stderr);
}

siteAccepted();
const r = await failoverRun({ tabulo: TABULO, processes: 2, operators: OPERATORS, edits: EDITS,
                              log: console.log, probe: throughTheProxy });
if (r.skip) {
  console.log("SKIP: " + r.skip);
  process.exit(77);
}
console.log(`primary stopped -> each page painted from the standby: ${r.paintMs.join(", ")} ms`);
if (Object.keys(r.spread).length !== 2) fail("the operators are not on both processes: " + JSON.stringify(r.spread));
if (r.acked !== OPERATORS * EDITS) fail(`${r.acked} edits acknowledged before the stop, not ${OPERATORS * EDITS}`);
if (r.lost.length) fail("acknowledged edits lost: records " + r.lost.join(", "));
if (r.unaudited.length) fail("acknowledged edits without an audit record: records " + r.unaudited.join(", "));
if (r.inFlight !== OPERATORS || r.refusedWithMessage !== OPERATORS)
  fail(`${r.refusedWithMessage} of ${r.inFlight} edits entered after the stop refused with a message`);
if (r.refusedButWritten.length) fail("refused edits written: records " + r.refusedButWritten.join(", "));
// Refused by the server's connection, or (the display's check already found it gone) by the
// control having none: either way the message says so.
if (!r.messages.every(m => /plant-db cannot be used|No data server is connected/.test(m)))
  fail("a refusal does not say what failed: " + r.messages.join(" / "));
if (!r.statuses.every(s => s.includes("Connected@db2"))) fail("pages not on the standby: " + r.statuses.join(" / "));
if (!r.afterFailoverWritten) fail("an edit on the promoted standby was not written");
console.log("PASS");
