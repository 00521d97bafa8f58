// The map of a world's landblocks on one canvas, with its legend, hover tip,
// panel and controls. The land is one image with a pixel per vertex (decoded
// once from the terrain PNG), the heat overlay a 256 x 256 image with a pixel
// per landblock, both scaled by drawImage, so drawing costs about the same for
// 9 or 65,025 landblocks; circles are drawn for the landblocks in view only.
import {CHANGES, EMPTY, FAILED, FAILED_PIXEL, HEAT_ALPHA, OUTSIDE, STOPS, ZERO, ZERO_PIXEL, colourScale} from "./colours.js";
import {grouped, hex4, parseLandblock} from "./format.js";

const SIDE = 256;

function element(tag, text, className) {
  const el = document.createElement(tag);
  if (text !== undefined) el.textContent = text;
  if (className) el.className = className;
  return el;
}

// Draws `world` into the page's `elements` and answers questions about what it drew.
//   world: {entries: the index lines, families: [{source, display}] in manifest
//           order (source is an entry's count key), terrain: the land's summary
//           or null, patch: a patch's landblocks or null, withPictures: whether
//           0xXXXX.svg lies beside the manifests}
//   elements: {view, canvas, legend, tip, panel, status, terrainImage (null
//           without terrain), zoomIn, zoomOut, zoomFit, measure, overlay,
//           showTerrain, jump, jumpBox, jumpMessage}
export function startAtlas(world, elements) {
  const {entries, families, terrain, patch, withPictures} = world;
  const {canvas, tip, terrainImage} = elements;
  // [value, label] of the measures; a family's legend label adds " events".
  const measures = [["total", "total events"], ...families.map((f) => [f.source, f.display]), ["bytes", "manifest bytes"]];
  const measureLabels = Object.fromEntries(measures.map(([key, label]) =>
    [key, families.some((f) => f.source === key) ? `${label} events` : label]));

  // Landblock number -> index into entries, -1 when the index has no line for it;
  // and back, entry index -> landblock number.
  const slot = new Int32Array(SIDE * SIDE).fill(-1);
  const numbers = new Int32Array(entries.length);
  // Every family's events of an entry, summed once.
  const totals = new Float64Array(entries.length);
  let failedCount = 0;
  const bounds = {x0: SIDE, x1: -1, y0: SIDE, y1: -1};
  const extend = (n) => {
    const x = n >> 8, y = n & 0xff;
    bounds.x0 = Math.min(bounds.x0, x); bounds.x1 = Math.max(bounds.x1, x);
    bounds.y0 = Math.min(bounds.y0, y); bounds.y1 = Math.max(bounds.y1, y);
  };
  entries.forEach((e, i) => {
    const n = parseInt(e.landblock_id, 16) >>> 16;
    slot[n] = i;
    numbers[i] = n;
    if (e.error !== undefined) failedCount++;
    else for (const f of families) totals[i] += e[f.source];
    extend(n);
  });
  // Landblock number -> offset of its terrain summary (number, type mask, lowest, highest) or -1.
  const summaryAt = new Int32Array(SIDE * SIDE).fill(-1);
  let presentTypes = 0;
  if (terrain) {
    const b = terrain.blocks;
    for (let k = 0; k < b.length; k += 4) { summaryAt[b[k]] = k; presentTypes |= b[k + 1]; }
    if (entries.length === 0) {
      extend((terrain.x0 << 8) | terrain.y0);
      extend(((terrain.x0 + terrain.columns - 1) << 8) | (terrain.y0 + terrain.rows - 1));
    }
  }
  // The cells that have land, as rectangles (rows with the same runs of cells
  // merged): the land image has a pixel per vertex centred on it, so its edge
  // pixels reach half a vertex past their landblocks; clipped to these cells,
  // the land ends on the grid lines.
  const landCells = new Path2D();
  if (terrain) {
    let runs = [], key = "", top = 0;
    for (let r = 0; r <= SIDE; r++) {
      const row = [];
      for (let c = 0; r < SIDE && c < SIDE; c++) {
        if (summaryAt[(c << 8) | (SIDE - 1 - r)] < 0) continue;
        const c0 = c;
        while (c + 1 < SIDE && summaryAt[((c + 1) << 8) | (SIDE - 1 - r)] >= 0) c++;
        row.push(c0, c + 1);
      }
      const rowKey = row.join(",");
      if (rowKey === key) continue;
      for (let k = 0; k < runs.length; k += 2) landCells.rect(runs[k], top, runs[k + 1] - runs[k], r - top);
      runs = row; key = rowKey; top = r;
    }
  }
  const patchAt = new Map();
  if (patch) for (const p of patch) { const n = parseInt(p.landblock_id, 16) >>> 16; patchAt.set(n, p); extend(n); }

  const terrainName = (t) => (terrain && terrain.names[t]) || `terrain type ${t}`;
  const typesOf = (mask) => { const out = []; for (let t = 0; t < 32; t++) if (mask & (1 << t)) out.push(t); return out; };
  const heatColours = colourScale();
  const valueOf = (i, measure) => measure === "total" ? totals[i] : entries[i][measure];

  const ctx = canvas.getContext("2d");
  const newImage = () => {
    const c = document.createElement("canvas");
    c.width = c.height = SIDE;
    const g = c.getContext("2d");
    const data = g.createImageData(SIDE, SIDE);
    return {canvas: c, ctx: g, data, packed: new Uint32Array(data.data.buffer)};
  };
  // Measure colours, opaque and (over the land) translucent; failed landblocks.
  const heat = newImage(), heatOverLand = newImage(), marks = newImage();
  // Colour table index per landblock of the current measure, -1 where it is 0.
  const shade = new Int16Array(SIDE * SIDE);

  // min and max: the lowest non-zero and the highest value of the measure (0 and 0 without one);
  // zeros: how many landblocks it is 0 for.
  const state = {measure: "total", overlay: patch ? "none" : "heat", terrainShown: terrain !== null, min: 0, max: 0, zeros: 0,
                 scale: 1, ox: 0, oy: 0, fitted: true, width: 0, height: 0, selected: -1, draws: 0, firstDrawMs: null,
                 ready: terrainImage === null};

  // One pixel per landblock: column x, row 255 - y so that north is up. The
  // scale runs from the lowest non-zero value (the first colour) to the
  // highest (the last); 0 is grey without the land and leaves the land untinted.
  function paintImage() {
    heat.packed.fill(0);
    heatOverLand.packed.fill(0);
    marks.packed.fill(0);
    let min = Infinity, max = -Infinity, zeros = 0;
    for (let i = 0; i < entries.length; i++) {
      if (entries[i].error !== undefined) continue;
      const v = valueOf(i, state.measure);
      if (v <= 0) { zeros++; continue; }
      if (v < min) min = v;
      if (v > max) max = v;
    }
    if (min > max) min = max = 0;
    state.min = min; state.max = max; state.zeros = zeros;
    const span = max - min, alpha = Math.round(HEAT_ALPHA * 255) << 24;
    entries.forEach((e, i) => {
      const n = numbers[i];
      const at = (SIDE - 1 - (n & 0xff)) * SIDE + (n >> 8);
      if (e.error !== undefined) { marks.packed[at] = FAILED_PIXEL; return; }
      const v = valueOf(i, state.measure);
      if (v <= 0) { shade[n] = -1; heat.packed[at] = ZERO_PIXEL; return; }
      const k = span > 0 ? Math.round(((v - min) / span) * 255) : 128;
      shade[n] = k;
      heat.packed[at] = heatColours.pixels[k];
      heatOverLand.packed[at] = ((heatColours.pixels[k] & 0xffffff) | alpha) >>> 0;
    });
    heat.ctx.putImageData(heat.data, 0, 0);
    heatOverLand.ctx.putImageData(heatOverLand.data, 0, 0);
    marks.ctx.putImageData(marks.data, 0, 0);
  }

  function legendKey(swatchColour, text, className = "swatch") {
    const k = element("span", undefined, "key");
    const swatch = element("span", undefined, className);
    if (swatchColour) swatch.style.background = swatchColour;
    k.append(swatch, text);
    return k;
  }

  function drawLegend() {
    const legend = elements.legend;
    legend.replaceChildren();
    if (patch) {
      legend.append(element("div", `Patch: ${grouped(patch.length)} landblocks`, "title"));
      const keys = element("div");
      for (const [kind, [colour, label]] of Object.entries(CHANGES))
        keys.append(legendKey(colour, `${label} (${grouped(patch.filter((p) => p.change === kind).length)})`));
      legend.append(keys);
    } else if (state.overlay === "heat") {
      legend.append(element("div", `Colour: ${measureLabels[state.measure]}`, "title"));
      if (state.max > 0) {
        // The bar as drawn: from the lowest non-zero value to the highest, or the one colour of a single value.
        const mid = state.min + (state.max - state.min) / 2;
        const fmt = (v) => Number.isInteger(v) ? grouped(v) : v.toFixed(1);
        const bar = element("div", undefined, "bar");
        bar.id = "heat-bar";
        bar.style.background = state.min === state.max ? heatColours.css[128] : `linear-gradient(to right, ${STOPS.join(", ")})`;
        const ticks = element("div", undefined, "ticks");
        ticks.id = "heat-ticks";
        for (const v of state.min === state.max ? [state.min] : [state.min, mid, state.max]) ticks.append(element("span", fmt(v)));
        legend.append(bar, ticks);
      }
    } else if (state.overlay === "circles") {
      legend.append(element("div", `Circles: ${measureLabels[state.measure]}, area by count (largest ${grouped(state.max)})`, "title"));
    }
    const keys = element("div");
    if (!patch && state.overlay === "heat" && state.zeros > 0) {
      const overLand = terrain && state.terrainShown;
      const zero = legendKey(overLand ? null : ZERO, `0, ${overLand ? "untinted" : "grey"} (${grouped(state.zeros)})`,
                             overLand ? "swatch clear" : "swatch");
      zero.id = "heat-zero";
      keys.append(zero);
    }
    if (!patch) keys.append(legendKey(FAILED, `failed (${grouped(failedCount)})`));
    keys.append(legendKey(EMPTY, terrain ? "no terrain" : "not in the index"));
    legend.append(keys);
    if (terrain && state.terrainShown) {
      const land = element("div", undefined, "terrain");
      land.id = "terrain-legend";
      land.append(element("div", "Terrain", "title"));
      for (const t of typesOf(presentTypes)) {
        const k = legendKey(terrain.palette[t], terrainName(t));
        k.dataset.terrainType = t;
        land.append(k);
      }
      legend.append(land);
    }
  }

  function draw() {
    if (!state.ready) return;
    const dpr = window.devicePixelRatio || 1;
    ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
    ctx.fillStyle = OUTSIDE;
    ctx.fillRect(0, 0, state.width, state.height);
    const s = state.scale;
    ctx.save();
    ctx.translate(state.ox, state.oy);
    ctx.scale(s, s);
    ctx.fillStyle = EMPTY;
    ctx.fillRect(0, 0, SIDE, SIDE);
    if (terrain && state.terrainShown) {
      // A pixel per vertex, centred on it: vertex 0 of a landblock sits on its south-west corner.
      ctx.save();
      ctx.clip(landCells);
      ctx.imageSmoothingEnabled = s < 8;
      ctx.drawImage(terrainImage, terrain.x0 - 1 / 16, SIDE - terrain.y0 - terrain.rows - 1 / 16,
                    terrain.width / 8, terrain.height / 8);
      ctx.restore();
    }
    ctx.imageSmoothingEnabled = false;
    if (state.overlay === "heat") ctx.drawImage((terrain && state.terrainShown ? heatOverLand : heat).canvas, 0, 0);
    ctx.drawImage(marks.canvas, 0, 0);
    ctx.restore();
    if (state.overlay === "circles") drawCircles();
    if (s >= 8) drawGridLines();
    if (patch) drawPatch();
    ctx.strokeStyle = "#555";
    ctx.lineWidth = 1;
    ctx.strokeRect(state.ox - 0.5, state.oy - 0.5, SIDE * s + 1, SIDE * s + 1);
    if (state.selected >= 0) {
      const x = state.ox + (state.selected >> 8) * s, y = state.oy + (SIDE - 1 - (state.selected & 0xff)) * s;
      const pad = Math.max(0, (10 - s) / 2);
      ctx.lineWidth = 2;
      ctx.strokeStyle = "#000";
      ctx.strokeRect(x - pad - 1, y - pad - 1, s + 2 * pad + 2, s + 2 * pad + 2);
      ctx.strokeStyle = "#fff";
      ctx.strokeRect(x - pad - 3, y - pad - 3, s + 2 * pad + 6, s + 2 * pad + 6);
    }
    state.draws++;
    if (state.firstDrawMs === null) {
      state.firstDrawMs = performance.now();
      performance.mark("atlas-first-draw");
      updateStatus();
    }
  }

  // The cells in view: columns c0 to c1 and rows r0 to r1, half-open.
  function visibleCells() {
    const s = state.scale;
    return {c0: Math.max(0, Math.floor(-state.ox / s)), c1: Math.min(SIDE, Math.ceil((state.width - state.ox) / s)),
            r0: Math.max(0, Math.floor(-state.oy / s)), r1: Math.min(SIDE, Math.ceil((state.height - state.oy) / s))};
  }

  // A circle per landblock in view, its area in proportion to the count; one
  // path, so the fill is one call however many there are.
  function drawCircles() {
    if (state.max <= 0) return;
    const s = state.scale, {c0, c1, r0, r1} = visibleCells(), full = 0.48 * s;
    ctx.beginPath();
    for (let c = c0; c < c1; c++) {
      for (let r = r0; r < r1; r++) {
        const i = slot[(c << 8) | (SIDE - 1 - r)];
        if (i < 0 || entries[i].error !== undefined) continue;
        const v = valueOf(i, state.measure);
        if (v <= 0) continue;
        const radius = Math.max(0.6, full * Math.sqrt(v / state.max));
        const x = state.ox + (c + 0.5) * s, y = state.oy + (r + 0.5) * s;
        ctx.moveTo(x + radius, y);
        ctx.arc(x, y, radius, 0, 2 * Math.PI);
      }
    }
    ctx.fillStyle = "rgba(214,40,40,0.6)";
    ctx.fill();
    if (s >= 6) { ctx.strokeStyle = "rgba(112,0,0,0.9)"; ctx.lineWidth = 1; ctx.stroke(); }
  }

  // The patch's landblocks: a frame in the colour of their change, at least
  // ten pixels across so that a single landblock shows on the whole map.
  function drawPatch() {
    const s = state.scale;
    for (const [n, p] of patchAt) {
      const size = Math.max(s, 10), x = state.ox + ((n >> 8) + 0.5) * s - size / 2;
      const y = state.oy + (SIDE - 1 - (n & 0xff) + 0.5) * s - size / 2;
      ctx.fillStyle = CHANGES[p.change][0] + "55";
      ctx.fillRect(x, y, size, size);
      ctx.lineWidth = 3;
      ctx.strokeStyle = "#000";
      ctx.strokeRect(x, y, size, size);
      ctx.lineWidth = 2;
      ctx.strokeStyle = CHANGES[p.change][0];
      ctx.strokeRect(x, y, size, size);
    }
  }

  function drawGridLines() {
    const s = state.scale, {c0, c1, r0, r1} = visibleCells();
    ctx.beginPath();
    for (let c = c0; c <= c1; c++) { ctx.moveTo(state.ox + c * s, state.oy + r0 * s); ctx.lineTo(state.ox + c * s, state.oy + r1 * s); }
    for (let r = r0; r <= r1; r++) { ctx.moveTo(state.ox + c0 * s, state.oy + r * s); ctx.lineTo(state.ox + c1 * s, state.oy + r * s); }
    ctx.strokeStyle = "rgba(0,0,0,0.18)";
    ctx.lineWidth = 1;
    ctx.stroke();
    if (s < 40) return;
    // Close enough to read: each landblock's number at the top of its cell (the
    // middle stays the plain colour); over the land white with a dark rim.
    ctx.font = `${Math.min(14, Math.floor(s / 4))}px system-ui, sans-serif`;
    ctx.textAlign = "center";
    ctx.textBaseline = "top";
    ctx.lineWidth = 3;
    ctx.strokeStyle = "rgba(0,0,0,0.6)";
    const overLand = terrain && state.terrainShown;
    for (let c = c0; c < c1; c++) {
      for (let r = r0; r < r1; r++) {
        const n = (c << 8) | (SIDE - 1 - r), i = slot[n];
        const x = state.ox + (c + 0.5) * s, y = state.oy + r * s + 4;
        if (overLand && summaryAt[n] >= 0) { ctx.fillStyle = "#fff"; ctx.strokeText(hex4(n), x, y); ctx.fillText(hex4(n), x, y); continue; }
        const heated = state.overlay === "heat" && i >= 0 && entries[i].error === undefined;
        ctx.fillStyle = heated ? (shade[n] < 0 || shade[n] > 150 ? "#222" : "#fff") : i >= 0 && entries[i].error !== undefined ? "#fff" : "#999";
        ctx.fillText(hex4(n), x, y);
      }
    }
  }

  function updateStatus() {
    const ms = state.firstDrawMs === null ? "" : ` \u00b7 first drawn ${Math.round(state.firstDrawMs)} ms after navigation`;
    const what = patch ? `${grouped(patch.length)} landblocks in the patch`
                       : `${grouped(entries.length)} landblocks \u00b7 ${grouped(failedCount)} failed`;
    elements.status.textContent = what + ms;
  }

  function resize() {
    const rect = canvas.getBoundingClientRect();
    const dpr = window.devicePixelRatio || 1;
    const first = state.width === 0;
    // The panel opening or closing, a window resize: a view not moved since it
    // was fitted is fitted again (so the legend still hides no land), any
    // other keeps the point at its middle there.
    if (!first && !state.fitted) { state.ox += (rect.width - state.width) / 2; state.oy += (rect.height - state.height) / 2; }
    if (!first) tip.style.display = "none";  // it described what was under the pointer before the shift
    state.width = rect.width; state.height = rect.height;
    canvas.width = Math.max(1, Math.round(rect.width * dpr));
    canvas.height = Math.max(1, Math.round(rect.height * dpr));
    if (first || state.fitted) fit();
    draw();
  }

  // Every landblock of the index in view, with half a cell to spare around
  // it, and none under the legend in the bottom-left corner: the landblocks
  // go above the legend or right of it, whichever lets them be drawn larger.
  function fit() {
    const x0 = bounds.x1 < 0 ? 0 : bounds.x0, x1 = bounds.x1 < 0 ? SIDE - 1 : bounds.x1;
    const y0 = bounds.y1 < 0 ? 0 : bounds.y0, y1 = bounds.y1 < 0 ? SIDE - 1 : bounds.y1;
    const cols = x1 - x0 + 2, rows = y1 - y0 + 2;
    const view = canvas.getBoundingClientRect(), legend = elements.legend.getBoundingClientRect();
    const gap = 8, shown = legend.width > 0 && legend.height > 0;
    const areas = [{x: 0, y: 0, w: state.width, h: state.height - (shown ? view.bottom - legend.top + gap : 0)},
                   {x: shown ? legend.right - view.left + gap : 0, y: 0, w: 0, h: state.height}];
    areas[1].w = state.width - areas[1].x;
    const scaleIn = (a) => Math.min(a.w / cols, a.h / rows);
    let area = scaleIn(areas[1]) > scaleIn(areas[0]) ? areas[1] : areas[0];
    if (area.w <= 0 || area.h <= 0) area = {x: 0, y: 0, w: state.width, h: state.height};  // too small a view for both
    state.scale = Math.max(0.25, scaleIn(area));
    const cx = (x0 + x1 + 1) / 2, cy = SIDE - (y0 + y1 + 1) / 2;
    state.ox = area.x + area.w / 2 - cx * state.scale;
    state.oy = area.y + area.h / 2 - cy * state.scale;
    state.fitted = true;
  }

  function zoomAt(factor, px, py) {
    const s = Math.min(400, Math.max(0.25, state.scale * factor));
    state.ox = px - ((px - state.ox) * s) / state.scale;
    state.oy = py - ((py - state.oy) * s) / state.scale;
    state.scale = s;
    state.fitted = false;
    draw();
  }

  function centreOn(n) {
    if (state.scale < 24) state.scale = 24;
    state.fitted = false;
    state.ox = state.width / 2 - ((n >> 8) + 0.5) * state.scale;
    state.oy = state.height / 2 - (SIDE - 1 - (n & 0xff) + 0.5) * state.scale;
  }

  // The landblock under a point of the canvas (CSS pixels), or -1.
  function landblockAt(px, py) {
    const col = Math.floor((px - state.ox) / state.scale), row = Math.floor((py - state.oy) / state.scale);
    if (col < 0 || col >= SIDE || row < 0 || row >= SIDE) return -1;
    return (col << 8) | (SIDE - 1 - row);
  }

  function describe(n) {
    const p = patchAt.get(n);
    if (p) return `0x${hex4(n)}: ${p.change}, ${grouped(p.removed)} lines removed, ${grouped(p.added)} added`;
    const i = slot[n];
    const land = summaryAt[n] >= 0 ? typesOf(terrain.blocks[summaryAt[n] + 1]).map(terrainName).join(", ") : "";
    if (i < 0) return `0x${hex4(n)}: ` + (patch ? (land || "no terrain") : "not in the index");
    const e = entries[i];
    if (e.error !== undefined) return `0x${hex4(n)}: failed: ${e.error}`;
    return `0x${hex4(n)}: ` + families.map((f) => `${f.display} ${e[f.source]}`).join(", ") +
        `, ${grouped(e.bytes)} bytes` + (land ? ` \u00b7 ${land}` : "");
  }

  // Terrain types and height range of a landblock, from its CellLandblock.
  function terrainSection(n) {
    const at = summaryAt[n];
    const section = element("div");
    section.id = "panel-terrain";
    if (at < 0) { section.append(element("p", terrain ? "No terrain: the cell archive has no CellLandblock for it." : "")); return section; }
    const b = terrain.blocks, types = typesOf(b[at + 1]);
    section.dataset.types = types.join(",");
    section.dataset.minHeight = b[at + 2];
    section.dataset.maxHeight = b[at + 3];
    section.append(element("p", `Terrain: ${types.map(terrainName).join(", ")}`));
    section.append(element("p", `Height: ${b[at + 2]} to ${b[at + 3]}`));
    return section;
  }

  function patchSection(p) {
    const section = element("div");
    section.id = "panel-patch";
    section.dataset.change = p.change;
    section.append(element("p", `${CHANGES[p.change][1]} by the patch`));
    const table = element("table");
    for (const [k, label] of [["removed", "lines removed"], ["added", "lines added"]]) {
      const tr = element("tr");
      const value = element("td", grouped(p[k]), "count");
      value.dataset.count = k;
      tr.append(element("td", label), value);
      table.append(tr);
    }
    section.append(table, element("p", "Caused by:"));
    const list = element("ul");
    for (const cause of p.caused_by) list.append(element("li", cause));
    if (p.caused_by.length === 0) list.append(element("li", "nothing named"));
    section.append(list);
    return section;
  }

  function openPanel(n) {
    state.selected = n;
    const panel = elements.panel;
    panel.replaceChildren();
    const heading = element("h2", `Landblock 0x${hex4(n)}`);
    const close = element("button", "\u00d7");
    close.type = "button";
    close.title = "Close";
    close.id = "panel-close";
    close.addEventListener("click", () => { state.selected = -1; panel.hidden = true; resize(); });
    heading.append(close);
    panel.append(heading);
    panel.dataset.landblock = `0x${hex4(n)}`;
    const i = slot[n];
    if (patch) {
      const p = patchAt.get(n);
      panel.append(p ? patchSection(p) : element("p", "Not changed by the patch."));
    } else if (i < 0) {
      panel.append(element("p", "Not in the index: this run did not bake it."));
    } else if (entries[i].error !== undefined) {
      panel.append(element("p", `id ${entries[i].landblock_id}, failed:`));
      panel.append(element("p", entries[i].error, "error"));
    } else {
      const e = entries[i];
      panel.append(element("p", `id ${e.landblock_id}`));
      const table = element("table");
      const rows = [...families.map((f) => [f.source, f.display]), ["total", "total events"], ["bytes", "manifest bytes"]];
      for (const [key, label] of rows) {
        const tr = element("tr");
        const value = element("td", grouped(valueOf(i, key)), "count");
        value.dataset.count = key;
        tr.append(element("td", label), value);
        table.append(tr);
      }
      panel.append(table);
    }
    if (terrain) panel.append(terrainSection(n));
    if (i >= 0 && entries[i].error === undefined) {
      const e = entries[i];
      const link = element("a", `Manifest ${e.file}`);
      link.href = encodeURIComponent(e.file);
      link.id = "manifest-link";
      const linkLine = element("p");
      linkLine.append(link);
      panel.append(linkLine);
      if (withPictures) {
        const file = `0x${hex4(n)}.svg`;
        const picture = element("a");
        picture.href = file;
        const img = element("img");
        img.src = file;
        img.alt = `Picture of landblock 0x${hex4(n)}`;
        picture.append(img);
        panel.append(picture);
      }
    }
    panel.hidden = false;
    resize();
  }

  const drag = {active: false, moved: false, x: 0, y: 0};
  const local = (event) => { const r = canvas.getBoundingClientRect(); return [event.clientX - r.left, event.clientY - r.top]; };
  canvas.addEventListener("pointerdown", (event) => {
    drag.active = true; drag.moved = false; [drag.x, drag.y] = [event.clientX, event.clientY];
    canvas.setPointerCapture(event.pointerId);
  });
  canvas.addEventListener("pointermove", (event) => {
    const [px, py] = local(event);
    if (drag.active) {
      const dx = event.clientX - drag.x, dy = event.clientY - drag.y;
      if (drag.moved || Math.abs(dx) + Math.abs(dy) > 3) {
        drag.moved = true;
        canvas.classList.add("dragging");
        state.ox += dx; state.oy += dy;
        state.fitted = false;
        [drag.x, drag.y] = [event.clientX, event.clientY];
        tip.style.display = "none";
        draw();
        return;
      }
    }
    const n = landblockAt(px, py);
    if (n < 0) { tip.style.display = "none"; return; }
    tip.textContent = describe(n);
    tip.style.display = "block";
    tip.style.left = `${Math.min(px + 14, Math.max(0, state.width - tip.offsetWidth - 4))}px`;
    tip.style.top = `${py + 16 + tip.offsetHeight > state.height ? py - tip.offsetHeight - 8 : py + 16}px`;
  });
  canvas.addEventListener("pointerup", (event) => {
    canvas.classList.remove("dragging");
    const wasClick = drag.active && !drag.moved;
    drag.active = false;
    if (!wasClick) return;
    const n = landblockAt(...local(event));
    if (n >= 0) openPanel(n);
  });
  canvas.addEventListener("pointerleave", () => { tip.style.display = "none"; });
  canvas.addEventListener("wheel", (event) => {
    event.preventDefault();
    zoomAt(Math.exp(-event.deltaY * 0.0015), ...local(event));
  }, {passive: false});
  elements.zoomIn.addEventListener("click", () => zoomAt(2, state.width / 2, state.height / 2));
  elements.zoomOut.addEventListener("click", () => zoomAt(0.5, state.width / 2, state.height / 2));
  elements.zoomFit.addEventListener("click", () => { fit(); draw(); });
  elements.measure.replaceChildren(...measures.map(([value, label]) => {
    const option = element("option", label);
    option.value = value;
    return option;
  }));
  elements.measure.addEventListener("change", (event) => {
    state.measure = event.target.value;
    paintImage();
    drawLegend();
    draw();
  });
  elements.overlay.addEventListener("change", (event) => {
    state.overlay = event.target.value;
    drawLegend();
    draw();
  });
  const terrainBox = elements.showTerrain;
  terrainBox.disabled = terrain === null;
  terrainBox.checked = state.terrainShown;
  terrainBox.addEventListener("change", () => {
    state.terrainShown = terrainBox.checked;
    drawLegend();
    draw();
  });
  elements.jump.addEventListener("submit", (event) => {
    event.preventDefault();
    const text = elements.jumpBox.value;
    const message = elements.jumpMessage;
    const n = parseLandblock(text);
    if (n < 0) { message.textContent = `Not a landblock number: ${text.trim()} (write A9B4 or 0xA9B4)`; return; }
    message.textContent = slot[n] < 0 && !patchAt.has(n) && summaryAt[n] < 0 ? `0x${hex4(n)} is not in the index` : "";
    centreOn(n);
    openPanel(n);
  });

  document.title = patch ? `Patch of ${grouped(patch.length)} landblocks` : `Atlas of ${grouped(entries.length)} landblocks`;
  elements.measure.value = state.measure;
  elements.overlay.value = state.overlay;
  updateStatus();
  paintImage();
  drawLegend();
  new ResizeObserver(() => resize()).observe(elements.view);
  // The first draw waits for the land: a map without it would flash.
  if (terrainImage) {
    terrainImage.decode().catch(() => {}).then(() => { state.ready = true; draw(); });
  }

  // What scripts that drive the page ask of the map.
  return {
    get firstDrawMs() { return state.firstDrawMs; },
    get draws() { return state.draws; },
    get measure() { return state.measure; },
    get overlay() { return state.overlay; },
    get terrainShown() { return state.terrainShown; },
    get scale() { return state.scale; },
    // Centre of a landblock's cell in page coordinates.
    cellCentre(n) {
      const r = canvas.getBoundingClientRect();
      return {x: r.left + state.ox + ((n >> 8) + 0.5) * state.scale,
              y: r.top + state.oy + (SIDE - 1 - (n & 0xff) + 0.5) * state.scale};
    },
    // Vertex v (column v / 9, row v % 9) of a landblock in page coordinates.
    vertexPoint(n, v) {
      const r = canvas.getBoundingClientRect();
      return {x: r.left + state.ox + ((n >> 8) + Math.floor(v / 9) / 8) * state.scale,
              y: r.top + state.oy + (SIDE - (n & 0xff) - (v % 9) / 8) * state.scale};
    },
    // Centres a landblock at `scale` CSS pixels a landblock.
    zoomTo(scale, n) {
      state.scale = scale;
      state.fitted = false;
      state.ox = state.width / 2 - ((n >> 8) + 0.5) * scale;
      state.oy = state.height / 2 - (SIDE - 1 - (n & 0xff) + 0.5) * scale;
      draw();
    },
    // The colour a landblock is drawn in by the heat layer without the land:
    // "failed", "empty" or "rgb(r,g,b)" (grey for 0).
    colourOf(n) {
      const i = slot[n];
      if (i < 0) return "empty";
      if (entries[i].error !== undefined) return "failed";
      return shade[n] < 0 ? heatColours.zero : heatColours.css[shade[n]];
    },
    // The heat layer's opacity over the land at a landblock: 0 where the measure is 0.
    heatOpacity(n) {
      const i = slot[n];
      return i < 0 || entries[i].error !== undefined || shade[n] < 0 ? 0 : HEAT_ALPHA;
    },
    // The first colour of the scale, that of its lowest non-zero value.
    get lowColour() { return heatColours.css[0]; },
    terrainPalette: terrain ? terrain.palette : [],
    // The change a patch page marks a landblock with, or null.
    markOf(n) { const p = patchAt.get(n); return p ? p.change : null; },
    markColour(change) { return CHANGES[change][0]; },
  };
}
