// Same bytes from ravelin.wasm under Node.js's WASI as from the native
// ravelin-bake: every landblock of the worlds in WORK baked (the manifest or
// the error text), the records each bake reads (`bake --inputs`) and each of
// them shown (`dat show`), each landblock's picture (`render`), the land raster
// against bake-all's terrain.png pixel for pixel, and every bake case of the
// damaged inputs. Error texts must be equal but for the operating system's own
// message inside an I/O error, which the WASI C library may word differently.
//
//   node --experimental-wasi-unstable-preview1 same_bytes.mjs MODULE RAVELIN_BAKE WORK
//
// WORK holds sample/ (a sample world with its spawns/), random/ (a random
// world) and damaged/ (the damaged-input cases with cases.tsv); file names are
// relative to WORK, for the native program (run in WORK) and the module alike.
import {execFileSync, spawnSync} from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import {WASI} from "node:wasi";

import {CELL, PORTAL, Ravelin, RavelinError} from "../ravelin.js";
import {RealFiles} from "./node_files.js";
import {decodeRgbaPng} from "./png.js";

const [modulePath, nativeBake, work] = process.argv.slice(2);
if (!work) {
  console.error("usage: same_bytes.mjs MODULE RAVELIN_BAKE WORK");
  process.exit(2);
}
const bakeProgram = path.resolve(nativeBake);
const moduleBytes = fs.readFileSync(modulePath);
process.chdir(work);

const module = new WebAssembly.Module(moduleBytes);
const files = new RealFiles(".", {sliceSize: 64 * 1024, maxSlices: 8});
const ravelin = Ravelin.create(module, files, {wasi: new WASI({version: "preview1"})});
// The page's own WASI layer (wasi.js) for the same module: checked on the sample world.
const ownWasi = Ravelin.create(module, files);

let compared = 0;
const differing = [], osMessages = [];

// The native program's outcome: {status, stdout, stderr}.
function native(...args) {
  const run = spawnSync(bakeProgram, args, {encoding: "utf8", maxBuffer: 1 << 30});
  if (run.error) throw run.error;
  return {status: run.status, stdout: run.stdout, stderr: run.stderr};
}

// The module's outcome of `call`, in the native program's terms.
function wasm(call) {
  try {
    return {status: 0, stdout: call(), stderr: ""};
  } catch (error) {
    if (!(error instanceof RavelinError)) throw error;
    return {status: 1, stdout: "", stderr: `error: ${error.message}\n`};
  }
}

// Equal but for the text after the last ": " of an I/O error: the system's
// message. Ravelin's own messages there must be equal.
const OWN_MESSAGES = ["not a regular file", "failed to fill whole buffer"];
function sameButOsMessage(a, b) {
  const io = /IO error|Failed to open file at/;
  if (!io.test(a) || !io.test(b)) return false;
  const at = (text) => text.trimEnd().lastIndexOf(": ");
  const message = (text) => text.trimEnd().slice(at(text) + 2);
  if (OWN_MESSAGES.includes(message(a)) || OWN_MESSAGES.includes(message(b))) return false;
  return a.slice(0, at(a)) === b.slice(0, at(b));
}

function compare(label, expected, actual) {
  ++compared;
  const problems = [];
  if (expected.status !== actual.status) problems.push(`exit status ${expected.status} (native) vs ${actual.status}`);
  if (expected.stdout !== actual.stdout) problems.push("output differs");
  if (expected.stderr !== actual.stderr) {
    if (sameButOsMessage(expected.stderr, actual.stderr)) osMessages.push(`${label}: ${actual.stderr.trim()}`);
    else problems.push(`error text differs:\n    native: ${expected.stderr.trim()}\n    wasm:   ${actual.stderr.trim()}`);
  }
  if (problems.length) differing.push(`${label}: ${problems.join("; ")}`);
}

const hex4 = (id) => "0x" + (id >>> 16).toString(16).toUpperCase().padStart(4, "0");
const hex8 = (id) => "0x" + id.toString(16).toUpperCase().padStart(8, "0");

// The C interface's one-off bake (ravelin_bake), through the module's exports.
function cInterfaceBake(instance, datDir, landblock, entities) {
  const x = instance.exports;
  const held = [];
  const str = (text) => {
    const at = instance.cString(text);
    held.push(at);
    return at;
  };
  const slots = x.malloc(12);  // jsonl, size, error
  const options = x.malloc(16);  // region, spawns_dir, setup_table, no_sky
  try {
    x.ravelin_bake_options_init(options);
    const v = () => new DataView(x.memory.buffer);
    if (entities) {
      v().setUint32(options + 4, str(entities.spawnsDir), true);
      v().setUint32(options + 8, str(entities.setupTable), true);
    }
    v().setUint32(slots + 8, 0, true);
    const status = x.ravelin_bake(str(datDir), landblock >>> 0, options, slots, slots + 4, slots + 8);
    if (status !== 0) {
      const error = v().getUint32(slots + 8, true);
      const message = instance.readCString(x.ravelin_error_message(error));
      x.ravelin_error_free(error);
      throw new RavelinError(instance.statusName(status), message);
    }
    const at = v().getUint32(slots, true), size = v().getUint32(slots + 4, true);
    const text = new TextDecoder().decode(new Uint8Array(x.memory.buffer, at, size));
    x.ravelin_free(at);
    return text;
  } finally {
    for (const at of held) x.free(at);
    x.free(slots);
    x.free(options);
  }
}

function checkWorld(dir, {entities = null, pictures = true, raster = true} = {}) {
  const label = entities ? `${dir} (spawns)` : dir;
  const extra = entities ? ["--spawns-dir", entities.spawnsDir, "--setup-table", entities.setupTable] : [];
  ravelin.open(dir, entities ? {spawnsDir: entities.spawnsDir, setupTable: entities.setupTable} : {});
  const landblocks = [...ravelin.landblocks()];
  const listed = native("dat", "ls", `${dir}/client_cell_1.dat`).stdout.split("\n")
    .filter((line) => /^0x[0-9A-F]{4}FFFF /.test(line)).map((line) => parseInt(line.slice(2, 6), 16) << 16 >>> 0);
  compare(`${label} landblocks`, {status: 0, stdout: listed.join(","), stderr: ""},
    {status: 0, stdout: landblocks.join(","), stderr: ""});
  const records = new Map();  // "portal:0x..." -> {archive, id}
  // A landblock without a CellLandblock fails the same way.
  for (const id of [...landblocks, 0x00010000]) {
    const lb = hex4(id);
    const args = ["--dat-dir", dir, "--landblock", lb, ...extra];
    const expected = native("bake", ...args);
    compare(`${label} bake ${lb}`, expected, wasm(() => ravelin.bake(id)));
    compare(`${label} bake ${lb} (C interface)`, expected, wasm(() => cInterfaceBake(ravelin, dir, id, entities)));
    const inputs = ravelin.bakeInputs(id);
    compare(`${label} bake --inputs ${lb}`, {status: 0, stdout: native("bake", ...args, "--inputs").stdout, stderr: ""},
      {status: 0, stdout: inputs.map((r) => r.name + "\n").join(""), stderr: ""});
    for (const record of inputs) records.set(record.name, record);
    if (pictures) {
      const svg = path.join(dir, `.same-bytes-${lb}.svg`);
      const drawn = native("render", ...args, "-o", svg);
      if (drawn.status === 0) drawn.stdout = fs.readFileSync(svg, "utf8");
      fs.rmSync(svg, {force: true});
      compare(`${label} render ${lb}`, drawn, wasm(() => ravelin.render(id)));
    }
  }
  for (const {archive, id, name} of records.values()) {
    const file = `${dir}/${archive === CELL ? "client_cell_1.dat" : "client_portal.dat"}`;
    const shown = wasm(() => ravelin.show(archive, id) + "\n");
    compare(`${label} dat show ${name}`, native("dat", "show", file, hex8(id)), shown);
  }
  if (raster) {
    const out = path.join(dir, ".same-bytes-atlas");
    execFileSync(bakeProgram, ["bake-all", "--dat-dir", dir, "--out", out, "--atlas", "--jobs", "1", ...extra],
      {stdio: "ignore"});
    const png = decodeRgbaPng(fs.readFileSync(path.join(out, "terrain.png")));
    const page = fs.readFileSync(path.join(out, "atlas.html"), "utf8");
    const index = fs.readFileSync(path.join(out, "index.jsonl"), "utf8");
    fs.rmSync(out, {recursive: true, force: true});
    // What the page's map draws with, against what the atlas page embeds.
    const embedded = (id) => JSON.parse(new RegExp(`<script type="application/json" id="${id}">([^<]*)</script>`).exec(page)[1]);
    const terrain = embedded("atlas-terrain"), summary = ravelin.landSummary();
    const quads = (blocks) => Array.from({length: blocks.length / 4}, (_, k) => blocks.slice(4 * k, 4 * k + 4).join(" ")).sort().join(",");
    compare(`${label} land summary`, {status: 0, stdout: JSON.stringify([terrain.names, terrain.palette, quads(terrain.blocks)]), stderr: ""},
      {status: 0, stdout: JSON.stringify([summary.names, summary.palette, quads(summary.blocks)]), stderr: ""});
    compare(`${label} families`, {status: 0, stdout: JSON.stringify(embedded("atlas-families")), stderr: ""},
      {status: 0, stdout: JSON.stringify(ravelin.families()), stderr: ""});
    // Each landblock's index line, from its counts as the page makes it.
    const families = ravelin.families();
    const lines = index.split("\n").filter(Boolean).map((line) => {
      const id = parseInt(JSON.parse(line).landblock_id, 16) >>> 0;
      const entry = {landblock_id: hex8(id)};
      try {
        const {counts, bytes} = ravelin.bakeCounts(id);
        entry.file = `${hex4(id)}.events.jsonl`;
        families.forEach((f, k) => { entry[f.source] = counts[k]; });
        entry.bytes = bytes;
      } catch (error) {
        entry.error = error.message;
      }
      return JSON.stringify(entry) + "\n";
    });
    compare(`${label} index counts`, {status: 0, stdout: index, stderr: ""}, {status: 0, stdout: lines.join(""), stderr: ""});
    const land = ravelin.land();
    const same = png.width === land.width && png.height === land.height &&
      Buffer.compare(Buffer.from(png.rgba), Buffer.from(land.rgba)) === 0;
    compare(`${label} land raster`, {status: 0, stdout: `${png.width}x${png.height}`, stderr: ""},
      {status: 0, stdout: same ? `${png.width}x${png.height}` : `${land.width}x${land.height} (pixels differ)`,
        stderr: ""});
  }
  ravelin.close();
  return {landblocks: landblocks.length, records: records.size};
}

const sampleSpawns = {spawnsDir: "sample/spawns", setupTable: "sample/spawns/wcid_to_setup.json"};
const sample = checkWorld("sample");
checkWorld("sample", {entities: sampleSpawns, pictures: false, raster: false});
const random = checkWorld("random");
console.error(`worlds: sample ${sample.landblocks} landblocks, ${sample.records} records; ` +
  `random ${random.landblocks} landblocks, ${random.records} records`);

// Opened for bakes alone (the cell archive's directory without its cells),
// the module bakes the same bytes.
for (const dir of ["sample", "random"]) {
  ravelin.open(dir);
  const landblocks = [...ravelin.landblocks()];
  ravelin.open(dir, {bakesOnly: true});
  for (const id of [...landblocks, 0x00010000]) {
    compare(`${dir} bake ${hex4(id)} (bakes only)`, native("bake", "--dat-dir", dir, "--landblock", hex4(id)),
      wasm(() => ravelin.bake(id)));
  }
  ravelin.close();
}

// The page's WASI layer runs the module the same.
ownWasi.open("sample");
ravelin.open("sample");
for (const id of ravelin.landblocks()) {
  compare(`sample bake ${hex4(id)} (wasi.js)`, wasm(() => ravelin.bake(id)), wasm(() => ownWasi.bake(id)));
}
ownWasi.close();
ravelin.close();

// The damaged inputs: each bake case as `ravelin-bake bake` runs it.
let damaged = 0;
for (const line of fs.readFileSync("damaged/cases.tsv", "utf8").split("\n").filter(Boolean)) {
  const [name, , , command, ...args] = line.split("\t");
  if (command !== "bake") continue;
  const option = (flag) => {
    const at = args.indexOf(flag);
    return at < 0 ? null : args[at + 1];
  };
  const datDir = option("--dat-dir"), landblock = parseInt(option("--landblock"), 16);
  const entities = option("--spawns-dir") ? {spawnsDir: option("--spawns-dir"), setupTable: option("--setup-table")}
    : null;
  const noSky = args.includes("--no-sky");
  const expected = native(command, ...args);
  compare(`damaged ${name}`, expected, wasm(() => {
    ravelin.open(datDir, {...(entities || {}), noSky});
    try {
      return ravelin.bake(landblock);
    } finally {
      ravelin.close();
    }
  }));
  compare(`damaged ${name} (bakes only)`, expected, wasm(() => {
    ravelin.open(datDir, {...(entities || {}), noSky, bakesOnly: true});
    try {
      return ravelin.bake(landblock);
    } finally {
      ravelin.close();
    }
  }));
  if (!noSky) compare(`damaged ${name} (C interface)`, expected,
    wasm(() => cInterfaceBake(ravelin, datDir, landblock, entities)));
  ++damaged;
}
console.error(`damaged inputs: ${damaged} cases`);

for (const line of osMessages) console.error(`same but the system's message: ${line}`);
for (const line of differing) console.error(`DIFF ${line}`);
console.error(`${compared} outcomes compared, ${differing.length} differ, ${osMessages.length} differ only in the system's message`);
process.exit(differing.length === 0 ? 0 : 1);
