// Opens bake-all's atlas pages in the system's Chromium and checks what a user
// sees and does: the map drawn from the index, hover, click, jump, measures.
//   node atlas_test.mjs OUT_DIR FAILED_OUT_DIR
// OUT_DIR holds a whole sample world's bake (with --svg --atlas); FAILED_OUT_DIR
// one with a landblock that failed. Prints "N passed, N failed"; exit 1 on a failure.
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import {pathToFileURL} from "node:url";
import puppeteer from "puppeteer-core";

const [outDir, failedOutDir] = process.argv.slice(2);
const CHROMIUM = process.env.CHROMIUM || "/usr/bin/chromium";
const A9B4 = 0xa9b4, AAB4 = 0xaab4, FAILED_LB = 0x0102;

let passed = 0, failed = 0;
function check(name, ok, detail = "") {
  if (ok) { passed++; return; }
  failed++;
  console.error(`FAIL: ${name}${detail ? `: ${detail}` : ""}`);
}

const readIndex = (dir) =>
  fs.readFileSync(path.join(dir, "index.jsonl"), "utf8").split("\n").filter((l) => l !== "").map((l) => JSON.parse(l));

// Opens a page, collecting console errors and page errors from the page's own events.
async function open(browser, dir) {
  const page = await browser.newPage();
  const errors = [];
  page.on("console", (msg) => { if (msg.type() === "error") errors.push(`console: ${msg.text()}`); });
  page.on("pageerror", (error) => errors.push(`page: ${error.message}`));
  page.on("requestfailed", (request) => errors.push(`request: ${request.url()} ${request.failure()?.errorText}`));
  await page.setViewport({width: 1280, height: 800});
  await page.goto(pathToFileURL(path.join(dir, "atlas.html")).href, {waitUntil: "load"});
  await page.waitForFunction(() => window.atlas && window.atlas.firstDrawMs !== null, {timeout: 10000});
  return {page, errors};
}

// The canvas pixel under a landblock's centre as "rgb(r,g,b)", and the colour the page says it drew there.
const pixelAndColour = (page, n) => page.evaluate((n) => {
  const canvas = document.getElementById("map");
  const r = canvas.getBoundingClientRect(), c = window.atlas.cellCentre(n), dpr = window.devicePixelRatio || 1;
  const d = canvas.getContext("2d").getImageData(Math.floor((c.x - r.left) * dpr), Math.floor((c.y - r.top) * dpr), 1, 1).data;
  return {pixel: `rgb(${d[0]},${d[1]},${d[2]})`, colour: window.atlas.colourOf(n)};
}, n);

const panelState = (page) => page.evaluate(() => {
  const panel = document.getElementById("panel");
  const counts = {};
  for (const td of panel.querySelectorAll("td[data-count]")) counts[td.dataset.count] = Number(td.textContent.replace(/,/g, ""));
  const img = panel.querySelector("img");
  return {hidden: panel.hidden, landblock: panel.dataset.landblock, counts,
          error: panel.querySelector(".error")?.textContent ?? null,
          manifest: panel.querySelector("#manifest-link")?.href ?? null,
          picture: img ? {src: img.src, loaded: img.complete && img.naturalWidth > 0} : null};
});

async function clickLandblock(page, n) {
  const c = await page.evaluate((n) => window.atlas.cellCentre(n), n);
  await page.mouse.click(c.x, c.y);
}

async function jump(page, text) {
  await page.evaluate(() => { document.getElementById("jump-box").value = ""; });
  await page.type("#jump-box", text);
  await page.keyboard.press("Enter");
  return page.evaluate(() => document.getElementById("jump-message").textContent);
}

async function checkWholeWorld(browser) {
  const index = readIndex(outDir);
  const {page, errors} = await open(browser, outDir);
  const embedded = await page.evaluate(() => JSON.parse(document.getElementById("atlas-data").textContent));
  check("embedded data equals index.jsonl", JSON.stringify(embedded) === JSON.stringify(index));

  // The map: the cells of two landblocks with different totals drawn in their own colours.
  const a = await pixelAndColour(page, A9B4), b = await pixelAndColour(page, AAB4);
  check("0xA9B4 drawn in its colour", a.pixel === a.colour, JSON.stringify(a));
  check("0xAAB4 drawn in its colour", b.pixel === b.colour, JSON.stringify(b));
  check("different totals, different colours", a.pixel !== b.pixel);

  const centre = await page.evaluate((n) => window.atlas.cellCentre(n), A9B4);
  await page.mouse.move(centre.x, centre.y);
  const tip = await page.evaluate(() => document.getElementById("tip").textContent);
  check("hover names the landblock and its counts", tip.startsWith("0xA9B4: ambient 8,"), tip);

  const line = index.find((e) => e.landblock_id === "0xA9B40000");
  const expected = {ambient: line.ambient, animation_sound: line.animation_sound,
                    physics_script_particle: line.physics_script_particle, sky_chain: line.sky_chain,
                    total: line.ambient + line.animation_sound + line.physics_script_particle + line.sky_chain,
                    bytes: line.bytes};
  await clickLandblock(page, A9B4);
  let panel = await panelState(page);
  check("click opens the panel of 0xA9B4", !panel.hidden && panel.landblock === "0xA9B4", JSON.stringify(panel));
  check("panel counts equal index.jsonl", JSON.stringify(panel.counts) === JSON.stringify(expected),
        `${JSON.stringify(panel.counts)} vs ${JSON.stringify(expected)}`);
  check("panel links the manifest", panel.manifest === pathToFileURL(path.join(outDir, line.file)).href, panel.manifest);
  await page.waitForFunction(() => { const i = document.querySelector("#panel img"); return i && i.complete; });
  panel = await panelState(page);
  check("panel shows the picture", panel.picture !== null && panel.picture.loaded, JSON.stringify(panel.picture));

  await page.click("#panel-close");
  check("close hides the panel", (await panelState(page)).hidden);
  for (const text of ["0xA9B4", "a9b4", "A9B4"]) {
    const message = await jump(page, text);
    panel = await panelState(page);
    check(`jump box finds ${text}`, message === "" && !panel.hidden && panel.landblock === "0xA9B4", message);
  }
  const centred = await page.evaluate((n) => {
    const r = document.getElementById("map").getBoundingClientRect(), c = window.atlas.cellCentre(n);
    return Math.abs(c.x - (r.left + r.width / 2)) < 1 && Math.abs(c.y - (r.top + r.height / 2)) < 1;
  }, A9B4);
  check("jump centres the landblock", centred);

  // Switching the measure repaints: sky counts are equal everywhere, totals are not.
  const before = await pixelAndColour(page, A9B4);
  const draws = await page.evaluate(() => window.atlas.draws);
  await page.select("#measure", "sky_chain");
  const after = await pixelAndColour(page, A9B4);
  const legend = await page.evaluate(() => document.getElementById("legend").textContent);
  check("measure change redraws", (await page.evaluate(() => window.atlas.draws)) > draws);
  check("measure change recolours", after.pixel === after.colour && after.pixel !== before.pixel,
        `${JSON.stringify(before)} -> ${JSON.stringify(after)}`);
  check("legend names the measure", legend.includes("sky chain events") && legend.includes("24"), legend);

  check("jump box rejects junk", (await jump(page, "A9B4Z")).startsWith("Not a landblock number"));
  check("jump box names a landblock not in the index", (await jump(page, "0x0001")) === "0x0001 is not in the index");

  check("no console or page errors", errors.length === 0, errors.join("; "));
  const ms = await page.evaluate(() => window.atlas.firstDrawMs);
  console.log(`sample world: first draw ${ms.toFixed(0)} ms after navigation start`);
  await page.close();
}

async function checkFailedLandblock(browser) {
  const index = readIndex(failedOutDir);
  const {page, errors} = await open(browser, failedOutDir);
  const drawn = await pixelAndColour(page, FAILED_LB);
  check("failed landblock marked", drawn.colour === "failed" && drawn.pixel === "rgb(232,25,44)", JSON.stringify(drawn));
  await clickLandblock(page, FAILED_LB);
  const panel = await panelState(page);
  const line = index.find((e) => e.landblock_id === "0x01020000");
  check("panel shows the error text", panel.landblock === "0x0102" && panel.error === line.error,
        JSON.stringify(panel));
  check("no counts for a failure", Object.keys(panel.counts).length === 0 && panel.picture === null);
  check("no console or page errors (failure)", errors.length === 0, errors.join("; "));
  await page.close();
}

const profile = fs.mkdtempSync(path.join(os.tmpdir(), "atlas-chromium-"));
const browser = await puppeteer.launch({
  executablePath: CHROMIUM,
  headless: true,
  userDataDir: profile,
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});
try {
  await checkWholeWorld(browser);
  await checkFailedLandblock(browser);
} catch (error) {
  check("the checks ran to the end", false, error.stack);
} finally {
  await browser.close();
  fs.rmSync(profile, {recursive: true, force: true});
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
