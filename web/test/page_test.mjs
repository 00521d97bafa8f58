// Opens the built ravelin.html from disk in the system's Chromium, gives it
// the sample world's archives through its file input and checks what it
// shows against the native ravelin-bake: the land's pixels against
// bake-all's terrain.png, every landblock's manifest against `bake` (reached
// through the page's address, back and forward included), the `dat show`
// JSON of every record the bakes read, "bake the world" against bake-all's
// index, a worker that dies reported and replaced, and each damaged input's
// error in the CLI's words; no request leaves the page, no console error.
//   node page_test.mjs PAGE_HTML RAVELIN_BAKE WORK [SCREENSHOT_DIR]
// WORK holds sample/ (a sample world) and damaged/ (ravelin_damaged_inputs'
// cases with cases.tsv). Run from a directory with puppeteer-core installed
// (page_test.sh). Prints "N passed, N failed"; exit 1 on a failure.
import {spawnSync} from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import {pathToFileURL} from "node:url";
import puppeteer from "puppeteer-core";

const [pageHtml, bakeProgram, work, screenshots] = process.argv.slice(2).map((arg) => arg && path.resolve(arg));
const {decodeRgbaPng} = await import(pathToFileURL(path.join(path.dirname(process.env.PAGE_TEST_SOURCE || ""), "png.js")).href);
const CHROMIUM = process.env.CHROMIUM || "/usr/bin/chromium";

let passed = 0, failed = 0;
const started = Date.now();
const lap = (what) => { if (process.env.PAGE_TEST_LAPS) console.error(`${((Date.now() - started) / 1000).toFixed(1)} s: ${what}`); };
function check(name, ok, detail = "") {
  if (ok) { passed++; return; }
  failed++;
  console.error(`FAIL: ${name}${detail ? `: ${detail}` : ""}`);
}

// The native program's outcome, run in WORK.
function native(...args) {
  const run = spawnSync(bakeProgram, args, {cwd: work, encoding: "utf8", maxBuffer: 1 << 30});
  if (run.error) throw run.error;
  return {status: run.status, stdout: run.stdout, stderr: run.stderr};
}
// What the page shows of a native error: its "error: " line, the folder of
// the files given left out (the page names the files as they were picked).
const errorLine = (stderr, datDir) => stderr.trim().split("\n").find((l) => l.startsWith("error: "))?.replaceAll(`${datDir}/`, "") ?? "";

// Equal, or equal but for the system's own message at the end of an I/O
// error, which the WASI C library words differently (as in same_bytes.mjs).
function sameError(expected, actual) {
  if (expected === actual) return true;
  const io = /IO error|Failed to open file at/;
  if (!io.test(expected) || !io.test(actual)) return false;
  const cut = (text) => text.slice(0, text.lastIndexOf(": "));
  return cut(expected) === cut(actual) && !/not a regular file|failed to fill whole buffer/.test(expected + actual);
}

const hex4 = (n) => "0x" + n.toString(16).toUpperCase().padStart(4, "0");
const hex8 = (id) => "0x" + (id >>> 0).toString(16).toUpperCase().padStart(8, "0");
const sample = path.join(work, "sample");
const archives = (dir) => ["client_portal.dat", "client_cell_1.dat"].map((name) => path.join(dir, name));

const browser = await puppeteer.launch({executablePath: CHROMIUM, headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-extensions"]});
const page = await browser.newPage();
const problems = [];
let expectedWorkerError = null;
page.on("console", (msg) => {
  if (msg.type() !== "error") return;
  if (expectedWorkerError && msg.text().includes(expectedWorkerError)) return;
  problems.push(`console: ${msg.text()}`);
});
page.on("pageerror", (error) => problems.push(`page: ${error.message}`));
page.on("request", (request) => {
  const url = request.url();
  if (!/^(file|data|blob):/.test(url)) problems.push(`network: ${url}`);
});
await page.setViewport({width: 1280, height: 800});
await page.goto(pathToFileURL(pageHtml).href, {waitUntil: "load"});

// Gives the page files through its file input; resolves with its state
// ("ready" or "failed") once it has opened them or said why not.
// A folder goes through the folder input, its files named from the folder's name on.
async function give(files, {folder = null} = {}) {
  const before = await page.evaluate(() => performance.getEntriesByName("page-files-given").length);
  const input = await page.$(folder ? "#pick-folder" : "#pick-files");
  await input.uploadFile(...(folder ? [folder] : files));
  await page.waitForFunction((n) => performance.getEntriesByName("page-files-given").length > n &&
    ["ready", "failed"].includes(document.body.dataset.state), {timeout: 30000}, before);
  return page.evaluate(() => document.body.dataset.state);
}

// The panel of landblock n once shown: {manifest, error, download}.
async function panelOf(n) {
  await page.waitForFunction((name) => {
    const panel = document.getElementById("landblock");
    return !panel.hidden && panel.dataset.landblock === name && panel.dataset.ready === "1";
  }, {timeout: 20000}, hex4(n));
  return page.evaluate(async () => {
    const text = (id) => document.getElementById(id)?.textContent ?? null;
    const link = document.getElementById("landblock-download");
    const download = link ? await (await fetch(link.href)).text() : null;
    return {manifest: text("landblock-manifest"), error: text("landblock-error"), download,
      picture: document.getElementById("landblock-picture")?.naturalWidth ?? 0};
  });
}

async function viaAddress(n) {
  await page.evaluate((name) => { location.hash = name; }, hex4(n));
  return panelOf(n);
}

// --- the sample world -------------------------------------------------------
check("the sample world opens", await give(archives(sample)) === "ready",
      await page.evaluate(() => document.getElementById("pick-error").textContent));
await page.waitForFunction(() => performance.getEntriesByName("atlas-first-draw").length > 0, {timeout: 10000});

const allDir = path.join(work, "page-all");
fs.rmSync(allDir, {recursive: true, force: true});
native("bake-all", "--dat-dir", "sample", "--out-dir", "page-all", "--atlas", "--jobs", "2");
const png = decodeRgbaPng(fs.readFileSync(path.join(allDir, "terrain.png")));
const land = await page.evaluate(() => {
  const canvas = document.getElementById("land-image");
  const data = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
  let binary = "";
  for (let k = 0; k < data.length; k += 8192) binary += String.fromCharCode(...data.subarray(k, k + 8192));
  return {width: canvas.width, height: canvas.height, rgba: btoa(binary)};
});
const landPixels = Buffer.from(land.rgba, "base64");
check("the map's land has terrain.png's size", land.width === png.width && land.height === png.height,
      `${land.width}x${land.height} vs ${png.width}x${png.height}`);
check("the map's land has terrain.png's pixels", Buffer.compare(landPixels, Buffer.from(png.rgba)) === 0);

const index = fs.readFileSync(path.join(allDir, "index.jsonl"), "utf8").split("\n").filter(Boolean).map((l) => JSON.parse(l));
const landblocks = index.map((e) => parseInt(e.landblock_id, 16) >>> 16);
check("bake-all baked the sample world", landblocks.length >= 4, `${landblocks.length} landblocks`);
const records = new Map();
const panelTimes = [];
// Every landblock, and one without a CellLandblock, which fails as the CLI does.
for (const n of [...landblocks, 0x0001]) {
  const started = Date.now();
  const shown = await viaAddress(n);
  panelTimes.push(Date.now() - started);
  const expected = native("bake", "--dat-dir", "sample", "--landblock", hex4(n));
  if (expected.status === 0) {
    check(`${hex4(n)}: the manifest equals ravelin-bake bake`, shown.manifest === expected.stdout,
          `${shown.manifest?.length} vs ${expected.stdout.length} bytes; error ${shown.error}`);
    check(`${hex4(n)}: the download is the manifest`, shown.download === expected.stdout);
    check(`${hex4(n)}: the picture is drawn`, shown.picture > 0);
  } else {
    check(`${hex4(n)}: the error is the CLI's`, shown.error === errorLine(expected.stderr, "sample"),
          `${shown.error} vs ${errorLine(expected.stderr, "sample")}`);
  }
  for (const line of native("bake", "--dat-dir", "sample", "--landblock", hex4(n), "--inputs").stdout.split("\n")) {
    if (line) records.set(line, {archive: line.startsWith("cell") ? 1 : 0, id: parseInt(line.split(":")[1], 16) >>> 0});
  }
}
// Back and forward through the address.
await page.goBack();
check("back shows the landblock before", (await panelOf(landblocks[landblocks.length - 1])).manifest !== null);
await page.goForward();
check("forward shows the landblock after", (await panelOf(0x0001)).error !== null);
// The jump box takes a whole id.
await page.evaluate((id) => { document.getElementById("jump-box").value = id; document.getElementById("jump").requestSubmit(); }, hex8(landblocks[0] << 16));
await panelOf(landblocks[0]);
check("a whole id in the jump box puts the landblock in the address", await page.evaluate(() => location.hash) === `#${hex4(landblocks[0])}`);
if (screenshots) await page.screenshot({path: path.join(screenshots, "web-landblock.png")});

lap("the files");
// The ids `dat ls` lists of each archive.
const listedIds = ["client_portal.dat", "client_cell_1.dat"].map((name) =>
  new Set(native("dat", "ls", `sample/${name}`).stdout.split("\n").filter(Boolean).map((l) => l.split(" ")[0])));
// --- the files --------------------------------------------------------------
await page.click('#tabs button[data-tab="files"]');
await page.waitForFunction(() => document.querySelectorAll("#files-list tbody tr").length > 0, {timeout: 10000});
// Shows the list of `archive` for the search `text` and waits for the worker's answer.
const searchFiles = async (archive, text) => {
  await page.select("#files-archive", String(archive));
  await page.evaluate((value) => {
    const box = document.getElementById("files-search");
    box.value = value;
    box.dispatchEvent(new Event("input"));
  }, text);
  await page.waitForFunction((want) => document.querySelector("#files-list tbody").dataset.shown === want,
    {timeout: 10000}, `${archive}:${text.replace(/^0x/i, "").toUpperCase()}`);
};
for (const archive of [0, 1]) {
  await searchFiles(archive, "");
  const ids = await page.evaluate(() => [...document.querySelectorAll("#files-list tbody tr")].map((tr) => tr.dataset.id));
  const count = await page.evaluate(() => document.getElementById("files-count").textContent);
  const all = [...listedIds[archive]];
  check(`archive ${archive}: the files view lists dat ls's ids in its order`, JSON.stringify(ids) === JSON.stringify(all.slice(0, 200)),
        `${ids.slice(0, 3)} vs ${all.slice(0, 3)}`);
  check(`archive ${archive}: the files view counts dat ls's ids`, count.includes(` ${all.length.toLocaleString("en")} ids`) ||
        count.startsWith(`${all.length.toLocaleString("en")} ids`), count);
}
// A search matches its digits anywhere in the id, as `dat ls`'s ids read.
const digits = "00";
await searchFiles(1, digits);
const found = await page.evaluate(() => [...document.querySelectorAll("#files-list tbody tr")].map((tr) => tr.dataset.id));
const want = [...listedIds[1]].filter((id) => id.slice(2).includes(digits)).slice(0, 200);
check("a search lists the ids holding its digits", JSON.stringify(found) === JSON.stringify(want), `${found.length} vs ${want.length}`);
for (const [name, {archive, id}] of records) {
  await searchFiles(archive, hex8(id));
  const file = `sample/${archive ? "client_cell_1.dat" : "client_portal.dat"}`;
  const expected = native("dat", "show", file, hex8(id));
  // The bake also looks for records an archive lacks: those are not listed.
  const listed = await page.evaluate((want) => {
    const rows = [...document.querySelectorAll("#files-list tbody tr")];
    return rows.length === 1 && rows[0].dataset.id === want;
  }, hex8(id));
  const inArchive = listedIds[archive].has(hex8(id));
  check(`${name}: listed when the archive has it`, listed === inArchive, `listed ${listed}, dat ls ${inArchive}`);
  if (!listed) continue;
  await page.click(`#files-list tr[data-id="${hex8(id)}"]`);
  await page.waitForFunction((want) => {
    const view = document.getElementById("file-view");
    return view.dataset.id === want && view.dataset.ready === "1";
  }, {timeout: 10000}, hex8(id));
  const shown = await page.evaluate(() => document.getElementById("file-json")?.textContent ?? document.getElementById("file-error")?.textContent ?? null);
  if (expected.status === 0) check(`${name}: dat show JSON`, shown !== null && shown + "\n" === expected.stdout);
  else check(`${name}: dat show error`, shown === errorLine(expected.stderr, "sample"), `${shown} vs ${expected.stderr}`);
}
check("the bakes read records", records.size > 10, `${records.size}`);
if (screenshots) {
  // The whole list of the portal archive and its region shown.
  await searchFiles(0, "");
  await page.click('#files-list tr[data-id="0x13000000"]');
  await page.waitForFunction(() => document.getElementById("file-view").dataset.id === "0x13000000" &&
    document.getElementById("file-view").dataset.ready === "1");
  await page.screenshot({path: path.join(screenshots, "web-files.png")});
}
await page.click('#tabs button[data-tab="map"]');

lap("bake the world");
// --- bake the world ---------------------------------------------------------
await page.evaluate(() => { document.getElementById("bake-workers").value = "2"; document.getElementById("bake-world").click(); });
await page.waitForFunction(() => document.getElementById("bake-status").dataset.done === "1", {timeout: 60000});
// The index is made when its link is first clicked (the download itself held back here).
const baked = await page.evaluate(async () => {
  const link = document.getElementById("bake-index");
  link.addEventListener("click", (event) => event.preventDefault(), {once: true});
  link.click();
  return (await fetch(link.href)).text();
});
const bakedLines = baked.split("\n").filter(Boolean).map((l) => JSON.parse(l));
const byId = new Map(bakedLines.map((e) => [e.landblock_id, e]));
check("bake the world gives a line per landblock", bakedLines.length === index.length, `${bakedLines.length} vs ${index.length}`);
for (const e of index) {
  check(`${e.landblock_id}: the heat layer's values equal bake-all's index`, JSON.stringify(byId.get(e.landblock_id)) === JSON.stringify(e),
        `${JSON.stringify(byId.get(e.landblock_id))} vs ${JSON.stringify(e)}`);
}
check("the map draws the baked index", (await page.evaluate(() => document.getElementById("status").textContent))
  .startsWith(`${index.length} landblocks`));
if (screenshots) {
  await page.evaluate(() => { location.hash = ""; document.getElementById("landblock-close")?.click(); });
  await page.screenshot({path: path.join(screenshots, "web-map.png")});
}

lap("a worker that dies");
// --- a worker that dies -----------------------------------------------------
expectedWorkerError = "a test ends this worker";
const worker = page.workers()[0];
await worker.evaluate(() => { setTimeout(() => { throw new Error("a test ends this worker"); }); }).catch(() => {});
await page.waitForFunction(() => /the worker stopped/.test(document.getElementById("notice").textContent), {timeout: 10000})
  .then(() => check("a worker that dies is reported", true), () => check("a worker that dies is reported", false));
await page.evaluate(() => { location.hash = ""; });
check("its replacement bakes", (await viaAddress(landblocks[1])).manifest !== null);

lap("bad input");
// The sample world's folder: its spawns/ folder is used, as --spawns-dir and --setup-table.
check("the sample folder opens", await give([], {folder: sample}) === "ready");
check("… with its spawns", /with spawns/.test(await page.evaluate(() => document.getElementById("world-name").textContent)));
await page.evaluate(() => { location.hash = ""; });
const withSpawns = native("bake", "--dat-dir", "sample", "--landblock", "0xA9B4", "--spawns-dir", "sample/spawns",
  "--setup-table", "sample/spawns/wcid_to_setup.json");
check("0xA9B4 with spawns: the manifest equals ravelin-bake bake --spawns-dir", (await viaAddress(0xa9b4)).manifest === withSpawns.stdout);

// --- bad input --------------------------------------------------------------
const pickError = () => page.evaluate(() => document.getElementById("pick-error").textContent);
const notArchive = path.join(work, "page-notes.txt");
fs.writeFileSync(notArchive, "not an archive\n");
check("a file that is not an archive fails", await give([notArchive]) === "failed");
check("… saying which archive is missing", /client_portal\.dat/.test(await pickError()), await pickError());
const onlyPortal = path.join(work, "page-only-portal");
fs.mkdirSync(onlyPortal, {recursive: true});
fs.copyFileSync(path.join(sample, "client_portal.dat"), path.join(onlyPortal, "client_portal.dat"));
const one = native("bake", "--dat-dir", "page-only-portal", "--landblock", "0xA9B4");
check("one archive of the two fails", await give([path.join(onlyPortal, "client_portal.dat")]) === "failed");
check("… in the CLI's words", sameError(errorLine(one.stderr, "page-only-portal"), (await pickError()).split("\n")[0]),
      `${await pickError()} vs ${one.stderr}`);
if (screenshots) await page.screenshot({path: path.join(screenshots, "web-error.png")});
const noArchives = path.join(work, "page-no-archives");
fs.mkdirSync(noArchives, {recursive: true});
fs.writeFileSync(path.join(noArchives, "notes.txt"), "no archives here\n");
const none = native("bake", "--dat-dir", "page-no-archives", "--landblock", "0xA9B4");
check("a folder without the archives fails", await give([], {folder: noArchives}) === "failed");
check("… in the CLI's words", sameError(errorLine(none.stderr, "."), (await pickError()).split("\n")[0]),
      `${await pickError()} vs ${none.stderr}`);

lap("The damaged inputs");
// The damaged inputs: each bake case's outcome where the page shows it, its
// folder given through the folder input (a spawns/ folder in it is used).
let cases = 0, failuresListed = false;
for (const line of fs.readFileSync(path.join(work, "damaged/cases.tsv"), "utf8").split("\n").filter(Boolean)) {
  const [name, , , command, ...args] = line.split("\t");
  if (command !== "bake" || args.includes("--no-sky")) continue;
  const option = (flag) => args.includes(flag) ? args[args.indexOf(flag) + 1] : null;
  const datDir = option("--dat-dir"), landblock = parseInt(option("--landblock"), 16);
  if (!fs.existsSync(path.join(work, datDir))) continue;  // no folder to give: the folder without archives below
  // A folder is given whole when the case uses its spawns/ (the page uses it when it is there), else its archives.
  const folder = option("--spawns-dir") === `${datDir}/spawns`;
  const files = archives(path.join(work, datDir));
  // An archive that is an empty folder: no input gives the page an empty folder.
  if (files.some((f) => fs.existsSync(f) && fs.statSync(f).isDirectory() && fs.readdirSync(f).length === 0)) continue;
  const outcome = native(command, ...args), expected = errorLine(outcome.stderr, folder ? path.dirname(datDir) : datDir);
  lap(`damaged ${name}`);
  const state = await give(files.filter((f) => fs.existsSync(f)), {folder: folder ? path.join(work, datDir) : null});
  if (outcome.status === 0) {
    // Damage the bake passes over: the same manifest.
    const shown = state === "ready" ? await viaAddress(landblock & 0xffff) : {manifest: await pickError()};
    check(`damaged ${name}: the CLI's manifest`, shown.manifest === outcome.stdout, `${shown.error ?? shown.manifest?.slice(0, 200)}`);
  } else {
    const shown = state === "failed" ? (await pickError()).split("\n")[0] : (await viaAddress(landblock & 0xffff)).error;
    check(`damaged ${name}: the CLI's error`, expected !== "" && sameError(expected, shown ?? ""), `${shown} vs ${expected}`);
    if (state === "ready" && !failuresListed) {
      // A world that opens but whose bakes fail: the failures after "bake the world".
      failuresListed = true;
      await page.evaluate(() => { document.getElementById("bake-workers").value = "1"; document.getElementById("bake-world").click(); });
      await page.waitForFunction(() => document.getElementById("bake-status").dataset.done === "1", {timeout: 60000});
      const listed = await page.evaluate(() => [...document.querySelectorAll("#failures li")].map((li) => li.textContent));
      const cellLandblocks = native("dat", "ls", `${datDir}/client_cell_1.dat`).stdout.split("\n").filter((l) => /^0x[0-9A-F]{4}FFFF /.test(l));
      check(`damaged ${name}: bake the world lists every landblock failed with the error`,
            listed.length === cellLandblocks.length && listed.length > 0 && listed.every((text) => sameError(expected, `error: ${text.slice(text.indexOf(": ") + 2)}`)),
            `${listed.length} listed: ${listed[0]}`);
    }
  }
  cases++;
}
check("the damaged cases ran", cases >= 35, `${cases}`);
check("a damaged world's bake listed its failures", failuresListed);
lap("After all that");
// After all that the page still opens a world.
check("the page stays usable", await give(archives(sample)) === "ready");
await page.evaluate(() => { location.hash = ""; });
check("… and bakes", (await viaAddress(landblocks[0])).manifest !== null);

check("no request leaves the page and nothing is logged as an error", problems.length === 0, problems.join("\n  "));
await browser.close();
console.log(`page panel: ${Math.max(...panelTimes)} ms at most over ${panelTimes.length} landblocks`);
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
