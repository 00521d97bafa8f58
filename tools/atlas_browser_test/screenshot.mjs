// A picture of an atlas page as a user first sees it, optionally with one
// landblock's panel open (and its hover tip), another events overlay picked
// and the view zoomed to SCALE pixels a landblock around the landblock; and the
// page's own first-draw time.
//   node screenshot.mjs ATLAS_HTML OUT_PNG [LANDBLOCK] [WIDTHxHEIGHT] [OVERLAY] [SCALE]
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import {pathToFileURL} from "node:url";
import puppeteer from "puppeteer-core";

const [atlas, png, landblock = "", size = "1400x860", overlay = "", scale = ""] = process.argv.slice(2);
const [width, height] = size.split("x").map(Number);
const profile = fs.mkdtempSync(path.join(os.tmpdir(), "atlas-chromium-"));
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  headless: true,
  userDataDir: profile,
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});
try {
  const page = await browser.newPage();
  const errors = [];
  page.on("pageerror", (error) => errors.push(error.message));
  page.on("console", (msg) => { if (msg.type() === "error") errors.push(msg.text()); });
  await page.setViewport({width, height});
  await page.goto(pathToFileURL(path.resolve(atlas)).href, {waitUntil: "load", timeout: 120000});
  await page.waitForFunction(() => window.atlas && window.atlas.firstDrawMs !== null, {timeout: 120000});
  const ms = await page.evaluate(() => window.atlas.firstDrawMs);
  if (overlay !== "") await page.select("#overlay", overlay);
  if (scale !== "" && landblock !== "")
    await page.evaluate((s, n) => window.atlas.zoomTo(s, n), Number(scale), parseInt(landblock.replace(/^0x/i, ""), 16));
  if (landblock !== "") {
    // Clicked in the whole-world view, as a user picks a landblock off the map.
    const c = await page.evaluate((n) => window.atlas.cellCentre(n), parseInt(landblock.replace(/^0x/i, ""), 16));
    await page.mouse.click(c.x, c.y);
    // The view keeps its middle while the panel takes room: hover where the cell is now.
    const moved = await page.evaluate((n) => window.atlas.cellCentre(n), parseInt(landblock.replace(/^0x/i, ""), 16));
    await page.mouse.move(moved.x, moved.y);
  }
  await new Promise((resolve) => setTimeout(resolve, 300));  // let the panel's picture settle
  await page.screenshot({path: png});
  console.log(`first draw ${ms.toFixed(0)} ms after navigation start; ${png} written`);
  if (errors.length > 0) {
    console.error(`page errors: ${errors.join("; ")}`);
    process.exitCode = 1;
  }
} finally {
  await browser.close();
  fs.rmSync(profile, {recursive: true, force: true});
}
