// Opens bake-all's atlas pages in the system's Chromium and checks what a user
// sees and does: the land drawn from the terrain layer, the event overlays over
// it, hover, click, jump, measures, and a patch page's marks.
//   node atlas_test.mjs OUT_DIR FAILED_OUT_DIR PATCH_OUT_DIR USER_OUT_DIR
// OUT_DIR holds a whole sample world's bake (with --svg --atlas) and dat show's
// JSON of its region and two CellLandblocks; FAILED_OUT_DIR one with a
// landblock that failed; PATCH_OUT_DIR a patch page and its landblocks.jsonl.
// These pages are the test build's, which hands the map to window.atlas;
// USER_OUT_DIR holds the page users get, which must draw without it.
// Prints "N passed, N failed"; exit 1 on a failure.
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import {pathToFileURL} from "node:url";
import puppeteer from "puppeteer-core";

const [outDir, failedOutDir, patchOutDir, userOutDir] = process.argv.slice(2);
const CHROMIUM = process.env.CHROMIUM || "/usr/bin/chromium";
const A9B4 = 0xa9b4, AAB4 = 0xaab4, FAILED_LB = 0x0102;

let passed = 0, failed = 0;
function check(name, ok, detail = "") {
  if (ok) { passed++; return; }
  failed++;
  console.error(`FAIL: ${name}${detail ? `: ${detail}` : ""}`);
}

const readLines = (file) =>
  fs.readFileSync(file, "utf8").split("\n").filter((l) => l !== "").map((l) => JSON.parse(l));
const readIndex = (dir) => readLines(path.join(dir, "index.jsonl"));
const readJson = (file) => JSON.parse(fs.readFileSync(file, "utf8"));

// Opens a page, collecting console errors and page errors from the page's own events;
// waits for the first draw (the test build's window.atlas, or the page's own mark).
async function open(browser, dir, hooked = true) {
  const page = await browser.newPage();
  const errors = [];
  page.on("console", (msg) => { if (msg.type() === "error") errors.push(`console: ${msg.text()}`); });
  page.on("pageerror", (error) => errors.push(`page: ${error.message}`));
  page.on("requestfailed", (request) => errors.push(`request: ${request.url()} ${request.failure()?.errorText}`));
  // Nothing but the page itself and the files beside it: no network.
  page.on("request", (request) => {
    const url = request.url();
    if (!url.startsWith("file:") && !url.startsWith("data:")) errors.push(`network: ${url}`);
  });
  await page.setViewport({width: 1280, height: 800});
  await page.goto(pathToFileURL(path.join(dir, "atlas.html")).href, {waitUntil: "load"});
  if (hooked) await page.waitForFunction(() => window.atlas && window.atlas.firstDrawMs !== null, {timeout: 10000});
  else await page.waitForFunction(() => performance.getEntriesByName("atlas-first-draw").length > 0, {timeout: 10000});
  return {page, errors};
}

// The canvas pixel under a landblock's centre as "rgb(r,g,b)", and the colour the page says it drew there.
const pixelAndColour = (page, n) => page.evaluate((n) => {
  const canvas = document.getElementById("map");
  const r = canvas.getBoundingClientRect(), c = window.atlas.cellCentre(n), dpr = window.devicePixelRatio || 1;
  const d = canvas.getContext("2d").getImageData(Math.floor((c.x - r.left) * dpr), Math.floor((c.y - r.top) * dpr), 1, 1).data;
  return {pixel: `rgb(${d[0]},${d[1]},${d[2]})`, colour: window.atlas.colourOf(n)};
}, n);

// The canvas pixel at a page point as [r, g, b].
const pixelAt = (page, point) => page.evaluate((p) => {
  const canvas = document.getElementById("map");
  const r = canvas.getBoundingClientRect(), dpr = window.devicePixelRatio || 1;
  const d = canvas.getContext("2d").getImageData(Math.floor((p.x - r.left) * dpr), Math.floor((p.y - r.top) * dpr), 1, 1).data;
  return [d[0], d[1], d[2]];
}, point);

// The palette entry a shaded pixel comes from: the one it is the closest
// multiple of (hillshading scales a colour by 0.6 to 1.4, clipped at 255).
function paletteFamily(palette, pixel) {
  let best = -1, bestError = Infinity;
  palette.forEach((hex, t) => {
    const c = [1, 3, 5].map((k) => parseInt(hex.slice(k, k + 2), 16));
    const dot = c.reduce((a, v, j) => a + v * pixel[j], 0), norm = c.reduce((a, v) => a + v * v, 0);
    const k = Math.min(1.4, Math.max(0.55, dot / norm));
    const error = c.reduce((a, v, j) => a + (Math.min(255, v * k) - pixel[j]) ** 2, 0);
    if (error < bestError) { bestError = error; best = t; }
  });
  return best;
}

const rgbOf = (css) => css.match(/\d+/g).slice(0, 3).map(Number);
const farthest = (a, b) => Math.max(...a.map((v, j) => Math.abs(v - b[j])));

// The page box (CSS pixels) of the landblocks that have land, from the page's terrain summary.
const landBox = (page) => page.evaluate(() => {
  const blocks = JSON.parse(document.getElementById("atlas-terrain").textContent).blocks;
  let x0 = 255, x1 = 0, y0 = 255, y1 = 0;
  for (let k = 0; k < blocks.length; k += 4) {
    const x = blocks[k] >> 8, y = blocks[k] & 0xff;
    x0 = Math.min(x0, x); x1 = Math.max(x1, x); y0 = Math.min(y0, y); y1 = Math.max(y1, y);
  }
  const s = window.atlas.scale, sw = window.atlas.cellCentre((x0 << 8) | y0), ne = window.atlas.cellCentre((x1 << 8) | y1);
  return {left: sw.x - s / 2, right: ne.x + s / 2, top: ne.y - s / 2, bottom: sw.y + s / 2};
});

// At the first view, the legend's box and the land's box do not meet.
async function checkLegendHidesNoLand(page, what) {
  const land = await landBox(page);
  const legend = await page.evaluate(() => {
    const r = document.getElementById("legend").getBoundingClientRect();
    return {left: r.left, right: r.right, top: r.top, bottom: r.bottom};
  });
  const overlap = legend.left < land.right && land.left < legend.right && legend.top < land.bottom && land.top < legend.bottom;
  check(`${what}: the legend hides no land at the first view`, !overlap,
        `legend ${JSON.stringify(legend)}, land ${JSON.stringify(land)}`);
}

// Zoomed in on corners of landblocks (a landblock, its corner vertex, the
// direction from it into the landblock): the pixel just inside is land, of
// `type` when given, and of the other three quarters around the corner
// (across the grid lines) those in `empty` are the page's white and the rest
// land. A land image drawn past the grid lines shows in the empty ones.
async function checkLandEndsOnGridLines(page, corners, what) {
  await page.select("#overlay", "none");
  await setTerrain(page, true);
  const palette = await page.evaluate(() => window.atlas.terrainPalette);
  const white = "255,255,255", outer = [[-1, 1], [1, -1], [-1, -1]];
  for (const {n, v, dx, dy, type, empty = outer} of corners) {
    await page.evaluate((n) => window.atlas.zoomTo(240, n), n);
    const p = await page.evaluate((n, v) => window.atlas.vertexPoint(n, v), n, v);
    const at = (sx, sy) => pixelAt(page, {x: p.x + sx * dx * 4, y: p.y + sy * dy * 4});
    const inside = await at(1, 1);
    const name = `${what}: 0x${n.toString(16)} vertex ${v}`;
    check(`${name}: land just inside the corner`, String(inside) !== white &&
          (type === undefined || paletteFamily(palette, inside) === type), `rgb(${inside}), type ${type}`);
    for (const [sx, sy] of outer) {
      const pixel = await at(sx, sy), land = !empty.some(([ex, ey]) => ex === sx && ey === sy);
      check(`${name}: ${land ? "land" : "no land"} across the grid lines at (${sx * dx}, ${sy * dy})`,
            (String(pixel) !== white) === land, `rgb(${pixel})`);
    }
  }
  await page.evaluate(() => document.getElementById("zoom-fit").click());
}

// The heat layer over the land, for a measure every landblock has and one
// most lack: each landblock with a value is the land under its scale colour
// at the layer's opacity, the lowest as plainly tinted as any (the scale's
// first colour, the legend's first tick), and a 0 leaves the land as it is.
async function checkHeatScale(page, index) {
  await page.evaluate(() => document.getElementById("zoom-fit").click());
  await setTerrain(page, true);
  for (const measure of ["total", "physics_script_particle"]) {
    await page.select("#measure", measure);
    const values = index.filter((e) => e.error === undefined).map((e) => [parseInt(e.landblock_id, 16) >>> 16,
        measure === "total" ? e.ambient + e.animation_sound + e.physics_script_particle + e.sky_chain : e[measure]]);
    const nonZero = values.filter(([, v]) => v > 0).map(([, v]) => v);
    const lowest = Math.min(...nonZero), highest = Math.max(...nonZero), zeros = values.length - nonZero.length;
    await page.select("#overlay", "none");
    const land = new Map();
    for (const [n] of values) land.set(n, await pixelAt(page, await page.evaluate((n) => window.atlas.cellCentre(n), n)));
    await page.select("#overlay", "heat");
    const low = rgbOf(await page.evaluate(() => window.atlas.lowColour));
    for (const [n, v] of values) {
      const pixel = await pixelAt(page, await page.evaluate((n) => window.atlas.cellCentre(n), n));
      const [colour, opacity] = await page.evaluate((n) => [window.atlas.colourOf(n), window.atlas.heatOpacity(n)], n);
      const under = land.get(n), name = `${measure} ${v} at 0x${n.toString(16)}`;
      if (v === 0) {
        check(`${name}: the land untinted`, String(pixel) === String(under) && opacity === 0, `rgb(${pixel}) over rgb(${under})`);
        continue;
      }
      const expected = rgbOf(colour).map((c, j) => c * opacity + under[j] * (1 - opacity));
      check(`${name}: its colour over the land`, opacity > 0.5 && farthest(pixel, expected) <= 4,
            `rgb(${pixel}), expected rgb(${expected.map(Math.round)}) (${colour} at ${opacity} over rgb(${under}))`);
      if (v === lowest) {
        check(`${name}: the lowest value takes the scale's first colour`, String(rgbOf(colour)) === String(low), colour);
        check(`${name}: the lowest value tints the land plainly`, farthest(pixel, under) >= 40, `rgb(${pixel}) over rgb(${under})`);
      }
    }
    const legend = await page.evaluate(() => ({
      ticks: [...document.querySelectorAll("#heat-ticks span")].map((t) => t.textContent),
      bar: getComputedStyle(document.getElementById("heat-bar")).backgroundImage,
      zero: document.getElementById("heat-zero")?.textContent ?? null,
    }));
    check(`${measure}: the legend's scale runs from the lowest non-zero value to the highest`,
          legend.ticks[0] === String(lowest) && legend.ticks.at(-1) === String(highest), JSON.stringify(legend.ticks));
    const barStart = legend.bar.match(/rgb\(\d+, \d+, \d+\)/);
    check(`${measure}: the legend's bar starts at the scale's first colour`,
          barStart !== null && String(rgbOf(barStart[0])) === String(low), legend.bar);
    check(`${measure}: the legend counts the zeros`, zeros === 0 ? legend.zero === null : legend.zero === `0, untinted (${zeros})`,
          String(legend.zero));
  }
  await page.select("#measure", "total");
}

async function setTerrain(page, on) {
  if ((await page.evaluate(() => window.atlas.terrainShown)) !== on) await page.click("#show-terrain");
}

const panelState = (page) => page.evaluate(() => {
  const panel = document.getElementById("panel");
  const counts = {};
  for (const td of panel.querySelectorAll("td[data-count]")) counts[td.dataset.count] = Number(td.textContent.replace(/,/g, ""));
  const img = panel.querySelector("img");
  const land = panel.querySelector("#panel-terrain"), patch = panel.querySelector("#panel-patch");
  return {hidden: panel.hidden, landblock: panel.dataset.landblock, counts,
          terrain: land && land.dataset.types !== undefined
              ? {types: land.dataset.types, min: Number(land.dataset.minHeight), max: Number(land.dataset.maxHeight),
                 text: land.textContent} : null,
          patch: patch ? {change: patch.dataset.change, causes: [...patch.querySelectorAll("li")].map((li) => li.textContent)} : null,
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
  await checkLegendHidesNoLand(page, "whole world");
  const embedded = await page.evaluate(() => JSON.parse(document.getElementById("atlas-data").textContent));
  check("embedded data equals index.jsonl", JSON.stringify(embedded) === JSON.stringify(index));

  // The measures: the total, every family in the order of the index's count keys, the bytes.
  const measures = await page.evaluate(() => [...document.querySelectorAll("#measure option")].map((o) => [o.value, o.text]));
  const countKeys = Object.keys(index[0]).filter((k) => !["landblock_id", "file", "bytes"].includes(k));
  check("measure menu: total, each family of the index, bytes",
        JSON.stringify(measures.map(([value]) => value)) === JSON.stringify(["total", ...countKeys, "bytes"]) &&
        JSON.stringify(measures.map(([, text]) => text)) ===
        JSON.stringify(["total events", "ambient", "animation sound", "physics particle", "sky chain", "manifest bytes"]),
        JSON.stringify(measures));

  check("terrain and the heat layer are on at first",
        await page.evaluate(() => window.atlas.terrainShown && window.atlas.overlay === "heat"));
  // With the terrain off the heat layer is opaque: the cells of two landblocks
  // with different totals drawn in their own colours.
  await setTerrain(page, false);
  const a = await pixelAndColour(page, A9B4), b = await pixelAndColour(page, AAB4);
  check("0xA9B4 drawn in its colour", a.pixel === a.colour, JSON.stringify(a));
  check("0xAAB4 drawn in its colour", b.pixel === b.colour, JSON.stringify(b));
  check("different totals, different colours", a.pixel !== b.pixel);

  const centre = await page.evaluate((n) => window.atlas.cellCentre(n), A9B4);
  await page.mouse.move(centre.x, centre.y);
  const tip = await page.evaluate(() => document.getElementById("tip").textContent);
  const line = index.find((e) => e.landblock_id === "0xA9B40000");
  check("hover names the landblock and its counts", tip.startsWith(`0xA9B4: ambient ${line.ambient}, animation sound ${line.animation_sound},`), tip);

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
  check("legend names the measure", legend.includes("sky chain events") && legend.includes(String(line.sky_chain)), legend);

  check("jump box rejects junk", (await jump(page, "A9B4Z")).startsWith("Not a landblock number"));
  check("jump box names a landblock not in the index", (await jump(page, "0x0001")) === "0x0001 is not in the index");

  await checkTerrain(page, index);
  await checkHeatScale(page, index);
  // The world's four corners, and a corner of 0xAAB4 on the world's east edge (0xAAB3 south of it).
  const aab4 = readJson(path.join(outDir, "AAB4.cell.json"));
  await checkLandEndsOnGridLines(page, [
    {n: 0xa8b3, v: 0, dx: 1, dy: -1}, {n: 0xa8b5, v: 8, dx: 1, dy: 1},
    {n: 0xaab3, v: 72, dx: -1, dy: -1}, {n: 0xaab5, v: 80, dx: -1, dy: 1},
    {n: AAB4, v: 72, dx: -1, dy: -1, type: (aab4.terrain[72] >> 2) & 0x1f, empty: [[-1, 1], [-1, -1]]},
  ], "whole world");
  check("no console or page errors", errors.length === 0, errors.join("; "));
  const ms = await page.evaluate(() => window.atlas.firstDrawMs);
  console.log(`sample world: first draw ${ms.toFixed(0)} ms after navigation start`);
  await page.close();
}

// The land under the overlays: vertex colours, legend names, the panel's
// terrain summary, and the overlays switching.
async function checkTerrain(page, index) {
  const region = readJson(path.join(outDir, "region.json"));
  const names = region.terrain.terrain_types.map((t) => t.name);
  const cells = {[A9B4]: readJson(path.join(outDir, "A9B4.cell.json")), [AAB4]: readJson(path.join(outDir, "AAB4.cell.json"))};
  const typeOf = (word) => (word >> 2) & 0x1f;

  await page.select("#overlay", "none");
  await setTerrain(page, true);
  const palette = await page.evaluate(() => window.atlas.terrainPalette);
  check("the page carries the 32-colour palette", palette.length === 32);
  // Zoomed in far enough for a vertex to be many pixels; inner vertices only,
  // as a neighbour drawn later owns the shared edge.
  for (const n of [A9B4, AAB4]) {
    await page.evaluate((n) => window.atlas.zoomTo(240, n), n);
    for (const v of [10, 20, 30, 40, 50, 60, 70, 13, 67]) {
      const pixel = await pixelAt(page, await page.evaluate((n, v) => window.atlas.vertexPoint(n, v), n, v));
      const type = typeOf(cells[n].terrain[v]);
      check(`0x${n.toString(16)} vertex ${v} drawn in its terrain type's colour`, paletteFamily(palette, pixel) === type,
            `type ${type} (${palette[type]}), pixel rgb(${pixel})`);
    }
  }

  const present = new Set();
  for (const n of [A9B4, AAB4]) for (const w of cells[n].terrain) present.add(typeOf(w));
  const legendKeys = await page.evaluate(() => [...document.querySelectorAll("#terrain-legend .key")].map((k) =>
    ({type: Number(k.dataset.terrainType), text: k.textContent})));
  check("legend names every terrain type with the region's name",
        legendKeys.length > 0 && legendKeys.every((k) => k.text === (names[k.type] ?? `terrain type ${k.type}`)),
        JSON.stringify(legendKeys));
  check("legend lists the types of both landblocks", [...present].every((t) => legendKeys.some((k) => k.type === t)),
        `${[...present]} vs ${JSON.stringify(legendKeys)}`);

  if (!(await panelState(page)).hidden) await page.click("#panel-close");
  await page.evaluate(() => document.getElementById("zoom-fit").click());
  await clickLandblock(page, A9B4);
  // The fitted view, narrowed by the panel, is fitted again: fitting it once more moves nothing.
  await checkLegendHidesNoLand(page, "fitted view with the panel open");
  const view = () => page.evaluate((n) => JSON.stringify([window.atlas.scale, window.atlas.cellCentre(n)]), A9B4);
  const opened = await view();
  await page.evaluate(() => document.getElementById("zoom-fit").click());
  check("the panel opening refits a fitted view", (await view()) === opened, `${opened} vs ${await view()}`);
  const panel = await panelState(page);
  const heights = cells[A9B4].height;
  const types = [...new Set(cells[A9B4].terrain.map(typeOf))].sort((x, y) => x - y);
  check("panel shows the terrain types and height range",
        panel.terrain !== null && panel.terrain.types === types.join(",") && panel.terrain.min === Math.min(...heights) &&
        panel.terrain.max === Math.max(...heights) && panel.terrain.text.includes(names[types[0]]),
        `${JSON.stringify(panel.terrain)} vs ${types} ${Math.min(...heights)}-${Math.max(...heights)}`);

  // The overlays switch: the busiest landblock's cell centre looks different under each.
  await page.click("#panel-close");
  const busiest = index.filter((e) => e.error === undefined).reduce((m, e) =>
    e.ambient + e.animation_sound + e.physics_script_particle + e.sky_chain >
    m.ambient + m.animation_sound + m.physics_script_particle + m.sky_chain ? e : m);
  const bn = parseInt(busiest.landblock_id, 16) >>> 16;
  await page.select("#measure", "total");
  const centre = await page.evaluate((n) => window.atlas.cellCentre(n), bn);
  const seen = {};
  for (const overlay of ["none", "heat", "circles"]) {
    const draws = await page.evaluate(() => window.atlas.draws);
    await page.select("#overlay", overlay);
    check(`overlay ${overlay} redraws`, (await page.evaluate(() => window.atlas.draws)) > draws);
    seen[overlay] = await pixelAt(page, centre);
  }
  check("heat and circles each change the map", String(seen.none) !== String(seen.heat) && String(seen.none) !== String(seen.circles)
        && String(seen.heat) !== String(seen.circles), JSON.stringify(seen));
  check("a circle is drawn in the circle colour", seen.circles[0] > seen.circles[1] + 40 && seen.circles[0] > seen.circles[2] + 40,
        JSON.stringify(seen.circles));
  const legend = await page.evaluate(() => document.getElementById("legend").textContent);
  check("legend says what the circles measure", legend.includes("Circles: total events"), legend);
  await page.select("#overlay", "none");
  await setTerrain(page, false);
  const bare = await pixelAt(page, await page.evaluate((n) => window.atlas.vertexPoint(n, 40), AAB4));
  check("terrain switches off", String(bare) === "255,255,255", String(bare));
  check("terrain legend goes with it", (await page.evaluate(() => document.getElementById("terrain-legend"))) === null);
}

// The patch page: exactly the landblocks of landblocks.jsonl are marked, each
// in its change's colour, and the panel lists its counts and causes.
async function checkPatch(browser) {
  const marks = readLines(path.join(patchOutDir, "landblocks.jsonl"));
  const {page, errors} = await open(browser, patchOutDir);
  await checkLegendHidesNoLand(page, "patch page");
  const embedded = await page.evaluate(() => JSON.parse(document.getElementById("atlas-patch").textContent));
  check("patch data equals landblocks.jsonl", JSON.stringify(embedded) === JSON.stringify(marks));
  const expected = new Map(marks.map((m) => [parseInt(m.landblock_id, 16) >>> 16, m]));
  for (let x = 0xa8; x <= 0xaa; x++) {
    for (let y = 0xb3; y <= 0xb5; y++) {
      const n = (x << 8) | y, mark = expected.get(n);
      const drawn = await page.evaluate((n) => window.atlas.markOf(n), n);
      check(`0x${n.toString(16)} marked ${mark ? mark.change : "not at all"}`, drawn === (mark ? mark.change : null), String(drawn));
      // The middle of the frame's left edge is in the change's colour.
      const c = await page.evaluate((n) => window.atlas.cellCentre(n), n);
      const s = await page.evaluate(() => window.atlas.scale);
      const edge = await pixelAt(page, {x: c.x - Math.max(s, 10) / 2 + 0.2, y: c.y});
      const colour = mark ? await page.evaluate((k) => window.atlas.markColour(k), mark.change) : null;
      const hex = `#${edge.map((v) => v.toString(16).padStart(2, "0")).join("")}`;
      if (mark) check(`0x${n.toString(16)} framed in its change's colour`, hex === colour, `${hex} vs ${colour}`);
    }
  }
  for (const [n, mark] of expected) {
    await clickLandblock(page, n);
    const panel = await panelState(page);
    check(`panel of 0x${n.toString(16)} lists its change`,
          panel.patch !== null && panel.patch.change === mark.change && panel.counts.removed === mark.removed &&
          panel.counts.added === mark.added && JSON.stringify(panel.patch.causes) === JSON.stringify(mark.caused_by),
          JSON.stringify(panel));
    check(`panel of 0x${n.toString(16)} shows its terrain`, panel.terrain !== null);
    await page.click("#panel-close");
  }
  const legend = await page.evaluate(() => document.getElementById("legend").textContent);
  check("patch legend counts the changes", legend.includes("changed (1)") && legend.includes("added (1)") && legend.includes("removed (1)"), legend);
  check("no console or page errors (patch)", errors.length === 0, errors.join("; "));
  await page.close();
}

async function checkFailedLandblock(browser) {
  const index = readIndex(failedOutDir);
  const {page, errors} = await open(browser, failedOutDir);
  await checkLegendHidesNoLand(page, "failed run");
  const drawn = await pixelAndColour(page, FAILED_LB);
  check("failed landblock marked", drawn.colour === "failed" && drawn.pixel === "rgb(232,25,44)", JSON.stringify(drawn));
  await clickLandblock(page, FAILED_LB);
  const panel = await panelState(page);
  const line = index.find((e) => e.landblock_id === "0x01020000");
  check("panel shows the error text", panel.landblock === "0x0102" && panel.error === line.error,
        JSON.stringify(panel));
  check("no counts for a failure", Object.keys(panel.counts).length === 0 && panel.picture === null);
  // The only land is 0xA9B4's, with none around it: it ends on its own grid lines.
  await checkLandEndsOnGridLines(page, [
    {n: A9B4, v: 0, dx: 1, dy: -1}, {n: A9B4, v: 8, dx: 1, dy: 1}, {n: A9B4, v: 72, dx: -1, dy: -1},
    {n: A9B4, v: 80, dx: -1, dy: 1},
  ], "failed run");
  check("no console or page errors (failure)", errors.length === 0, errors.join("; "));
  await page.close();
}

// The page users get: no test hook, and the same map as the test page.
async function checkUserPage(browser) {
  const {page, errors} = await open(browser, userOutDir, false);
  check("the user page has no window.atlas", await page.evaluate(() => window.atlas === undefined));
  const drawn = await page.evaluate(() => ({
    status: document.getElementById("status").textContent,
    legend: document.getElementById("legend").textContent,
    measures: document.querySelectorAll("#measure option").length,
  }));
  check("the user page draws its landblocks", drawn.status.startsWith("9 landblocks \u00b7 0 failed") &&
        drawn.legend.includes("Colour: total events") && drawn.measures === 6, JSON.stringify(drawn));
  const hooked = await open(browser, outDir);
  const canvasOf = (p) => p.evaluate(() => document.getElementById("map").toDataURL());
  check("the user page draws the test page's map", (await canvasOf(page)) === (await canvasOf(hooked.page)));
  check("no console or page errors (user page)", errors.length === 0 && hooked.errors.length === 0,
        [...errors, ...hooked.errors].join("; "));
  await hooked.page.close();
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
  await checkPatch(browser);
  await checkUserPage(browser);
} catch (error) {
  check("the checks ran to the end", false, error.stack);
} finally {
  await browser.close();
  fs.rmSync(profile, {recursive: true, force: true});
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
