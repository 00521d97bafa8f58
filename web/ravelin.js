// ravelin.wasm for JavaScript: one instance of the module over a set of files
// (ravelin_files.js), with the page's calls (web/ravelin_web.h) as methods.
// Made for a worker: the calls are synchronous and an instance holds one world
// at a time; parallel work is several workers, each with its own instance.
//
//   const module = await WebAssembly.compile(bytes);
//   const files = new PickedFiles();
//   for (const file of picked) files.add(file.webkitRelativePath || file.name, file);
//   const ravelin = Ravelin.create(module, files);
//   ravelin.open("world");               // the folder the archives are in, "" for loose files
//   const manifest = ravelin.bake(0xA9B4);  // the bytes of `ravelin-bake bake`, as text
//
// A call that fails throws a RavelinError whose message is the text
// `ravelin-bake` prints after "error: ", naming files by the names given. A
// fault of the module itself (a trap: memory it could not get, a bug) leaves
// the instance unusable: that call and every later one throw a RavelinError of
// status "RAVELIN_MODULE_STOPPED", and the worker makes a new instance.

import {FileHost} from "./ravelin_files.js";
import {wasiImports} from "./wasi.js";

export class RavelinError extends Error {
  constructor(status, message) {
    super(message);
    this.name = "RavelinError";
    this.status = status;  // "RAVELIN_ERROR_BAKE" and so on (ravelin.h)
  }
}

export const PORTAL = 0, CELL = 1;
export const STOPPED = "RAVELIN_MODULE_STOPPED";
export const DEFAULT_REGION = 0x13000000;

const encoder = new TextEncoder();
const decoder = new TextDecoder();

export class Ravelin {
  // `wasi`: an object with `wasiImport` and `initialize(instance)` (node:wasi's
  // WASI); without one, the module gets wasi.js's and is initialised here.
  static create(module, files, {wasi = null, write} = {}) {
    let memory = null;
    const host = new FileHost(files);
    const instance = new WebAssembly.Instance(module, {
      ravelin_files: host.imports(() => memory),
      wasi_snapshot_preview1: wasi ? wasi.wasiImport : wasiImports(() => memory, write),
    });
    memory = instance.exports.memory;
    if (wasi) wasi.initialize(instance);
    else instance.exports._initialize();
    return new Ravelin(instance, host);
  }

  constructor(instance, host) {
    this.exports = instance.exports;  // the page's calls and the C interface (ravelin.h)
    this.host = host;
    this.stopped = null;  // the trap that ended the instance
  }

  // A copy of the last call's result.
  result() {
    const {ravelin_web_result, ravelin_web_result_size, memory} = this.exports;
    return new Uint8Array(memory.buffer, ravelin_web_result(), ravelin_web_result_size()).slice();
  }

  // Calls `name` with `args` (strings passed as NUL-terminated UTF-8, null as
  // NULL) and gives its result bytes, or throws its error.
  call(name, ...args) {
    if (this.stopped) throw new RavelinError(STOPPED, `the module stopped earlier: ${this.stopped}`);
    try {
      return this.callModule(name, args);
    } catch (error) {
      if (!(error instanceof WebAssembly.RuntimeError)) throw error;
      this.stopped = error.message;
      throw new RavelinError(STOPPED, `the module stopped: ${error.message}`);
    }
  }

  callModule(name, args) {
    const held = [];
    try {
      const values = args.map((arg) => {
        if (typeof arg !== "string") return arg === null ? 0 : arg;
        const at = this.cString(arg);
        held.push(at);
        return at;
      });
      const status = this.exports[name](...values);
      const bytes = this.result();
      if (status !== 0) throw new RavelinError(this.statusName(status), decoder.decode(bytes));
      return bytes;
    } finally {
      for (const at of held) this.exports.free(at);
    }
  }

  cString(text) {
    const bytes = encoder.encode(text);
    const at = this.exports.malloc(bytes.length + 1);
    const view = new Uint8Array(this.exports.memory.buffer, at, bytes.length + 1);
    view.set(bytes);
    view[bytes.length] = 0;
    return at;
  }

  readCString(at) {
    const memory = new Uint8Array(this.exports.memory.buffer);
    let end = at;
    while (memory[end] !== 0) ++end;
    return decoder.decode(memory.subarray(at, end));
  }

  statusName(status) {
    return this.readCString(this.exports.ravelin_status_name(status));
  }

  version() {
    return this.readCString(this.exports.ravelin_version());
  }

  // The world in `datDir` with the options of `ravelin-bake bake`. Throws when
  // an archive does not open; a region that does not decode opens, and every
  // bake then throws its error. `bakesOnly`: opened for bakes alone, in far
  // less memory on a world of many cells (the cell archive's directory keeps
  // the landblocks' own records only; landblocks(), land() and the files'
  // calls see those alone).
  open(datDir, {spawnsDir = null, setupTable = null, region = DEFAULT_REGION, noSky = false, bakesOnly = false} = {}) {
    this.call("ravelin_web_open", datDir, spawnsDir, setupTable, region >>> 0, noSky ? 1 : 0, bakesOnly ? 1 : 0);
  }

  close() {
    this.exports.ravelin_web_close();
  }

  // Landblock ids with a CellLandblock, ascending (0xA9B40000 form).
  landblocks() {
    return words(this.call("ravelin_web_landblocks"));
  }

  // The manifest (JSON Lines) of a landblock, 0xA9B4 or 0xA9B40000.
  bake(landblock) {
    return decoder.decode(this.call("ravelin_web_bake", landblock >>> 0));
  }

  // The records the bake reads or looks for: [{archive: PORTAL | CELL, id}] in
  // the order of `ravelin-bake bake --inputs`, also for a bake that fails.
  bakeInputs(landblock) {
    const text = decoder.decode(this.call("ravelin_web_bake_inputs", landblock >>> 0));
    return text.split("\n").filter(Boolean).map((line) => {
      const [archive, id] = line.split(":");
      return {archive: archive === "cell" ? CELL : PORTAL, id: parseInt(id, 16) >>> 0, name: line};
    });
  }

  // The landblock's picture: the SVG of `ravelin-bake render`.
  render(landblock) {
    return decoder.decode(this.call("ravelin_web_render", landblock >>> 0));
  }

  // The land of every landblock, as the atlas draws it: the landblock bounds
  // and an RGBA image (north up, one pixel a vertex) for an ImageData.
  land() {
    const bytes = this.call("ravelin_web_land");
    const head = words(bytes.subarray(0, 24));
    const [x0, y0, columns, rows, width, height] = head;
    return {x0, y0, columns, rows, width, height, rgba: new Uint8ClampedArray(bytes.buffer, 24)};
  }

  // What the atlas's map needs beside the land: {names, palette, blocks}.
  landSummary() {
    return JSON.parse(decoder.decode(this.call("ravelin_web_land_summary")));
  }

  // The manifests' families in manifest order: [{source, display}].
  families() {
    return decoder.decode(this.call("ravelin_web_families")).split("\n").filter(Boolean).map((line) => {
      const [source, display] = line.split("\t");
      return {source, display};
    });
  }

  // What bake-all's index says of a baked landblock: the event count of each
  // family (families()' order) and the manifest's length in bytes.
  bakeCounts(landblock) {
    const all = words(this.call("ravelin_web_bake_counts", landblock >>> 0));
    return {counts: [...all.subarray(0, all.length - 1)], bytes: all[all.length - 1]};
  }

  // Every entry of an archive, ascending: {ids, sizes, flags, types} as
  // Uint32Arrays, types indexing recordTypes() (0xFFFFFFFF: none).
  entries(archive) {
    return entryColumns(words(this.call("ravelin_web_entries", archive)));
  }

  // The entries whose id (8 upper-case hexadecimal digits) holds `query`, in
  // id order: {matches, total, ids, sizes, flags, types} with the first
  // `limit` of the `matches` in the arrays, as entries() gives them.
  list(archive, query = "", limit = 500) {
    const all = words(this.call("ravelin_web_list", archive, query, limit >>> 0));
    return {matches: all[0], total: all[1], ...entryColumns(all.subarray(2))};
  }

  // "region", "setup", ...: the record types of `dat show`.
  recordTypes() {
    return decoder.decode(this.call("ravelin_web_record_types")).split("\n").filter(Boolean);
  }

  // The JSON document of `ravelin-bake dat show`, without its newline.
  show(archive, id, {compact = false} = {}) {
    return decoder.decode(this.call("ravelin_web_show", archive, id >>> 0, compact ? 1 : 0));
  }

  // The file's bytes, decompressed: `ravelin-bake dat get`.
  get(archive, id) {
    return this.call("ravelin_web_get", archive, id >>> 0);
  }
}

// Entries given as four u32s each (id, size, flags, type) as four columns.
function entryColumns(all) {
  const count = all.length / 4;
  const out = {ids: new Uint32Array(count), sizes: new Uint32Array(count), flags: new Uint32Array(count),
    types: new Uint32Array(count)};
  for (let i = 0; i < count; ++i) {
    out.ids[i] = all[4 * i];
    out.sizes[i] = all[4 * i + 1];
    out.flags[i] = all[4 * i + 2];
    out.types[i] = all[4 * i + 3];
  }
  return out;
}

// Little-endian u32s (wasm is little-endian, and so is every machine a browser runs on).
function words(bytes) {
  return new Uint32Array(bytes.buffer, bytes.byteOffset, bytes.byteLength / 4);
}
