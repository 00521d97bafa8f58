// A worker of the page: one instance of ravelin.wasm over the files the user
// gave, answering the page's requests (pool.js is the other side). A fault of
// the module (a trap) ends that instance; the worker makes a new one, opens
// the world again and says so in its answer, so no request goes unanswered.
import {PickedFiles} from "../ravelin_files.js";
import {Ravelin, RavelinError, STOPPED} from "../ravelin.js";

let setup = null;    // the "init" message: the module, the files and the world's options
let ravelin = null;  // the instance, its world open

function start() {
  const files = new PickedFiles(setup.slices);
  for (const [name, file] of setup.files) files.add(name, file);
  const instance = Ravelin.create(setup.module, files, {write: (fd, text) => postMessage({note: text})});
  instance.open(setup.world.datDir, setup.world);
  ravelin = instance;
}

// The land and what the map needs beside it. The page asks a worker of its
// own for them and ends it after: a module's memory never shrinks, and the
// raster of a large world takes tens of megabytes.
function landAndSummary() {
  return {land: ravelin.land(), summary: ravelin.landSummary()};
}

// One landblock's bake as the page's panel shows it: the manifest's bytes and
// picture, or the bake's error.
function landblock(id) {
  try {
    const manifest = ravelin.call("ravelin_web_bake", id >>> 0);
    return {manifest, svg: ravelin.render(id)};
  } catch (error) {
    if (!(error instanceof RavelinError) || error.status === STOPPED) throw error;
    return {error: error.message};
  }
}

// What bake-all's index says of each landblock: its counts, or its error.
function bakeCounts(ids) {
  return ids.map((id) => {
    try {
      return {id, ...ravelin.bakeCounts(id)};
    } catch (error) {
      if (!(error instanceof RavelinError) || error.status === STOPPED) throw error;
      return {id, error: error.message};
    }
  });
}

const operations = {
  landblocks: () => ravelin.landblocks(),
  landAndSummary,
  families: () => ravelin.families(),
  landblock,
  bakeCounts,
  bakeInputs: (id) => ravelin.bakeInputs(id),
  entries: (archive) => ravelin.entries(archive),
  list: (archive, query, limit) => ravelin.list(archive, query, limit),
  recordTypes: () => ravelin.recordTypes(),
  show: (archive, id) => ravelin.show(archive, id),
  get: (archive, id) => ravelin.get(archive, id),
};

// The ArrayBuffers of an answer, moved rather than copied.
function buffersOf(value, out = []) {
  if (ArrayBuffer.isView(value)) out.push(value.buffer);
  else if (value && typeof value === "object") for (const v of Object.values(value)) buffersOf(v, out);
  return out;
}

onmessage = (event) => {
  const {id, op, args = []} = event.data;
  const reply = (message) => postMessage({id, ...message}, message.value ? [...new Set(buffersOf(message.value))] : []);
  try {
    if (op === "init") {
      setup = event.data.setup;
      start();
      return reply({ok: true, value: null});
    }
    if (!ravelin) throw new RavelinError("RAVELIN_ERROR_HANDLE", "no world is open");
    return reply({ok: true, value: operations[op](...args)});
  } catch (error) {
    const stopped = error instanceof RavelinError && error.status === STOPPED;
    if (stopped) {
      // A new instance for the next request; the world opened as before.
      ravelin = null;
      try { start(); } catch (again) { return reply({ok: false, status: STOPPED, message: `${error.message}; starting it again failed: ${again.message}`}); }
    }
    return reply({ok: false, status: error.status || "RAVELIN_PAGE_ERROR", message: error.message, restarted: stopped});
  }
};
