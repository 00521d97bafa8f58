// The page's speed and memory on a world, in headless Chromium: how soon the
// map is first drawn after the files are given, how soon a landblock's panel
// shows after a jump, the files view of both archives, "bake the world" with two workers against the native
// `bake-all --jobs 2` into a tmpfs directory, and the page's memory, the
// renderer process (where its workers run too) at its peak, as the kernel
// counts it (Pss: its share of memory shared with other processes).
// The memory's steps are printed too, with every renderer's.
//   node page_bench.mjs PAGE_HTML RAVELIN_BAKE DAT_DIR [NATIVE_RUNS]
// Run from a directory with puppeteer-core installed (page_bench.sh).
import {spawnSync} from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import {pathToFileURL} from "node:url";
import puppeteer from "puppeteer-core";

const [pageHtml, bakeProgram, datDir, runsText = "3"] = process.argv.slice(2);
const BOUNDS = {mapMs: 3000, panelMs: 100, bakeRatio: 4, memoryMb: 256};
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

// Pss of a process and its threads, in MB (a renderer's workers are its threads).
function pssMb(pid) {
  try {
    const line = fs.readFileSync(`/proc/${pid}/smaps_rollup`, "utf8").split("\n").find((l) => l.startsWith("Pss:"));
    return Number(line.split(/\s+/)[1]) / 1024;
  } catch {
    return 0;
  }
}
// The browser's renderer processes.
function renderers(browserPid) {
  const out = [];
  for (const pid of fs.readdirSync("/proc").filter((p) => /^\d+$/.test(p))) {
    try {
      const status = fs.readFileSync(`/proc/${pid}/status`, "utf8");
      const parent = Number(/PPid:\s+(\d+)/.exec(status)[1]);
      const cmdline = fs.readFileSync(`/proc/${pid}/cmdline`, "utf8");
      if (cmdline.includes("--type=renderer") && cmdline.includes("chrom") && isDescendant(parent, browserPid)) out.push(Number(pid));
    } catch { /* gone meanwhile */ }
  }
  return out;
}
function isDescendant(pid, ancestor) {
  for (let at = pid, hops = 0; at > 1 && hops < 10; hops++) {
    if (at === ancestor) return true;
    try { at = Number(/PPid:\s+(\d+)/.exec(fs.readFileSync(`/proc/${at}/status`, "utf8"))[1]); } catch { return false; }
  }
  return false;
}

const browser = await puppeteer.launch({executablePath: process.env.CHROMIUM || "/usr/bin/chromium", headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-extensions"]});
const browserPid = browser.process().pid;
let peakMb = 0;
// The page's renderer: the largest (the browser keeps a spare one and one of its own).
const nowMb = () => Math.max(0, ...renderers(browserPid).map(pssMb));
const sampler = setInterval(() => { peakMb = Math.max(peakMb, nowMb()); }, 100);
// Memory at the steps, and the peak in between.
const steps = [];
const step = (what) => {
  const each = renderers(browserPid).map((pid) => `${pid}: ${Math.round(pssMb(pid))}`).join(", ");
  steps.push(`${what} ${Math.round(nowMb())} MB (peak so far ${Math.round(peakMb)} MB; renderers ${each})`);
};

// The tab the browser opened: a second one would add a renderer of its own.
const page = (await browser.pages())[0] ?? await browser.newPage();
page.on("pageerror", (error) => console.error(`page error: ${error.message}`));
await page.setViewport({width: 1280, height: 800});
await page.goto(pathToFileURL(path.resolve(pageHtml)).href, {waitUntil: "load"});
await new Promise((resolve) => setTimeout(resolve, 500));
step("page loaded");
const input = await page.$("#pick-files");
await input.uploadFile(...["client_portal.dat", "client_cell_1.dat"].map((name) => path.resolve(datDir, name)));
await page.waitForFunction(() => performance.getEntriesByName("atlas-first-draw").length > 0 || document.body.dataset.state === "failed",
  {timeout: 60000});
step("map drawn");
const mapMs = await page.evaluate(() => {
  const given = performance.getEntriesByName("page-files-given")[0].startTime;
  return performance.getEntriesByName("atlas-first-draw")[0].startTime - given;
});

// Jumps to landblocks spread over the world, once the page's worker has
// opened the world (a few hundred ms after the map): from the jump to the panel drawn.
const settled = Date.now();
await page.waitForFunction(() => document.body.dataset.worker === "ready", {timeout: 60000});
const workerReadyMs = mapMs + (Date.now() - settled);
const landblocks = await page.evaluate(() => {
  const out = [];
  for (const [x, y] of [[0xa9, 0xb4], [0x10, 0x10], [0x80, 0x80], [0xf0, 0x20], [0x44, 0xc8], [0xc0, 0xf0], [0x20, 0x60]]) out.push((x << 8) | y);
  return out;
});
const panelMs = [];
for (const n of landblocks) {
  const name = "0x" + n.toString(16).toUpperCase().padStart(4, "0");
  const asked = await page.evaluate((text) => {
    document.getElementById("jump-box").value = text;
    const at = performance.now();
    document.getElementById("jump").requestSubmit();
    return at;
  }, name);
  await page.waitForFunction((want) => {
    const panel = document.getElementById("landblock");
    return panel.dataset.landblock === want && panel.dataset.ready === "1";
  }, {timeout: 30000}, name);
  const shown = await page.evaluate(() => performance.getEntriesByName("page-landblock-shown").at(-1).startTime);
  panelMs.push(shown - asked);
}

step("panels shown");
// The files view of both archives (the cell archive's million ids held by the
// page and once passed through its worker), as a user looks before a bake.
await page.click('#tabs button[data-tab="files"]');
for (const archive of ["0", "1"]) {
  await page.select("#files-archive", archive);
  await page.waitForFunction((want) => document.getElementById("files-count").textContent.includes(want),
    {timeout: 60000}, archive === "1" ? "1,0" : " ids");
}
const listed = await page.evaluate(() => document.getElementById("files-count").textContent);
await page.click('#tabs button[data-tab="map"]');
step(`files listed (${listed})`);
await page.evaluate(() => { document.getElementById("bake-workers").value = "2"; document.getElementById("bake-world").click(); });
await page.waitForFunction(() => document.getElementById("bake-status").dataset.done === "1", {timeout: 1800000, polling: 500});
const bakeMs = await page.evaluate(() => performance.getEntriesByName("page-bake-done").at(-1).startTime -
  performance.getEntriesByName("page-bake-started").at(-1).startTime);
const bakeStatus = await page.evaluate(() => document.getElementById("bake-status").textContent);
step("world baked");
clearInterval(sampler);
await browser.close();

// The native bake-all, into tmpfs, median of NATIVE_RUNS.
const nativeMs = [];
for (let run = 0; run < Number(runsText); run++) {
  const out = fs.mkdtempSync(path.join(fs.existsSync("/dev/shm") ? "/dev/shm" : os.tmpdir(), "page-bench-"));
  const started = process.hrtime.bigint();
  spawnSync(bakeProgram, ["bake-all", "--dat-dir", datDir, "--out-dir", out, "--jobs", "2"], {stdio: "ignore"});
  nativeMs.push(Number(process.hrtime.bigint() - started) / 1e6);
  fs.rmSync(out, {recursive: true, force: true});
}
const ratio = nativeMs.length ? bakeMs / median(nativeMs) : NaN;

const row = (what, value, bound, ok) => console.log(`${what.padEnd(44)} ${value.padStart(12)}   bound ${bound}   ${ok ? "ok" : "OVER"}`);
console.log(`world ${datDir}; ${bakeStatus}`);
row("map first drawn after the files are given", `${Math.round(mapMs)} ms`, `${BOUNDS.mapMs} ms`, mapMs <= BOUNDS.mapMs);
row(`landblock panel after a jump (median of ${panelMs.length})`, `${Math.round(median(panelMs))} ms`, `${BOUNDS.panelMs} ms`,
    median(panelMs) <= BOUNDS.panelMs);
row("landblock panel after a jump (slowest)", `${Math.round(Math.max(...panelMs))} ms`, `${BOUNDS.panelMs} ms`, Math.max(...panelMs) <= BOUNDS.panelMs);
row("the page's worker ready after the files (about)", `${Math.round(workerReadyMs)} ms`, "", true);
row("bake the world, two workers", `${(bakeMs / 1000).toFixed(1)} s`, "", true);
if (nativeMs.length) row(`native bake-all --jobs 2 (median of ${nativeMs.length})`, `${(median(nativeMs) / 1000).toFixed(1)} s`, "", true);
if (nativeMs.length) row("page / native", `${ratio.toFixed(2)}x`, `${BOUNDS.bakeRatio}x`, ratio <= BOUNDS.bakeRatio);
row("page memory, renderer and workers (peak Pss)", `${Math.round(peakMb)} MB`, `${BOUNDS.memoryMb} MB`, peakMb <= BOUNDS.memoryMb);
for (const line of steps) console.log(`memory: ${line}`);
