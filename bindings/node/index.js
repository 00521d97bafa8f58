// Ravelin from Node.js: archives, records as JSON and landblock bakes through
// libravelin.so, called with koffi. The *Async calls run on koffi's worker
// threads and leave the event loop free.
'use strict';

const path = require('node:path');
const koffi = require('koffi');

// RAVELIN_LIBRARY names the library file; RAVELIN_BUILD_DIR a CMake build tree;
// otherwise the dynamic loader finds an installed libravelin.so.0.
function libraryPath() {
  if (process.env.RAVELIN_LIBRARY) return process.env.RAVELIN_LIBRARY;
  if (process.env.RAVELIN_BUILD_DIR) return path.join(process.env.RAVELIN_BUILD_DIR, 'capi', 'libravelin.so.0');
  return 'libravelin.so.0';
}

function loadLibrary() {
  const file = libraryPath();
  try {
    return koffi.load(file);
  } catch (e) {
    throw new Error(`cannot load ${file} (${e.message}): build or install Ravelin's C interface, ` +
      'or name it with RAVELIN_LIBRARY (the file) or RAVELIN_BUILD_DIR (a CMake build tree)');
  }
}

const lib = loadLibrary();
koffi.opaque('ravelin_error');
koffi.opaque('ravelin_archive');
koffi.opaque('ravelin_session');
koffi.struct('ravelin_bake_options', {
  region: 'uint32_t',
  spawns_dir: 'const char*',
  setup_table: 'const char*',
  no_sky: 'int',
});

koffi.struct('ravelin_bake_inputs', {
  portal: 'uint32_t*',
  portal_count: 'size_t',
  cell: 'uint32_t*',
  cell_count: 'size_t',
});

const c = {
  version: lib.func('const char* ravelin_version(void)'),
  statusName: lib.func('const char* ravelin_status_name(int status)'),
  errorMessage: lib.func('const char* ravelin_error_message(const ravelin_error* error)'),
  errorFree: lib.func('void ravelin_error_free(ravelin_error* error)'),
  free: lib.func('void ravelin_free(void* buffer)'),
  archiveOpen: lib.func('int ravelin_archive_open(const char* path, _Out_ ravelin_archive** archive, _Out_ ravelin_error** error)'),
  archiveClose: lib.func('int ravelin_archive_close(ravelin_archive* archive, _Out_ ravelin_error** error)'),
  entryCount: lib.func('int ravelin_archive_entry_count(ravelin_archive* archive, _Out_ size_t* count, _Out_ ravelin_error** error)'),
  getFile: lib.func('int ravelin_archive_get_file(ravelin_archive* archive, uint32_t id, _Out_ void** data, _Out_ size_t* size, _Out_ ravelin_error** error)'),
  show: lib.func('int ravelin_archive_show(ravelin_archive* archive, uint32_t id, const char* type, int compact, _Out_ void** json, _Out_ size_t* size, _Out_ ravelin_error** error)'),
  bake: lib.func('int ravelin_bake(const char* dat_dir, uint32_t landblock, const ravelin_bake_options* options, _Out_ void** jsonl, _Out_ size_t* size, _Out_ ravelin_error** error)'),
  bakeWithInputs: lib.func('int ravelin_bake_with_inputs(const char* dat_dir, uint32_t landblock, const ravelin_bake_options* options, _Out_ void** jsonl, _Out_ size_t* size, _Inout_ ravelin_bake_inputs* inputs, _Out_ ravelin_error** error)'),
  inputsFree: lib.func('void ravelin_bake_inputs_free(_Inout_ ravelin_bake_inputs* inputs)'),
  sessionBakeWithInputs: lib.func('int ravelin_session_bake_with_inputs(ravelin_session* session, uint32_t landblock, _Out_ void** jsonl, _Out_ size_t* size, _Inout_ ravelin_bake_inputs* inputs, _Out_ ravelin_error** error)'),
  sessionBakeInto: lib.func('int ravelin_session_bake_into(ravelin_session* session, uint32_t landblock, uint8_t* buffer, size_t capacity, _Out_ size_t* size, _Out_ void** overflow, _Out_ ravelin_error** error)'),
  sessionOpen: lib.func('int ravelin_session_open(const char* dat_dir, const ravelin_bake_options* options, _Out_ ravelin_session** session, _Out_ ravelin_error** error)'),
  sessionClose: lib.func('int ravelin_session_close(ravelin_session* session, _Out_ ravelin_error** error)'),
  landblocks: lib.func('int ravelin_session_landblocks(ravelin_session* session, _Out_ void** ids, _Out_ size_t* count, _Out_ ravelin_error** error)'),
  sessionBake: lib.func('int ravelin_session_bake(ravelin_session* session, uint32_t landblock, _Out_ void** jsonl, _Out_ size_t* size, _Out_ ravelin_error** error)'),
};

/** A failed call: `status` is the C status name ("RAVELIN_ERROR_BAKE", ...),
 * `message` the display text (for a bake what `ravelin-bake bake` prints after "error: "). */
class RavelinError extends Error {
  constructor(status, message) {
    super(message);
    this.name = 'RavelinError';
    this.status = status;
  }
}

// The error of a failed call (freeing the C error object), or null on success.
function failure(status, errorOut) {
  if (status === 0) return null;
  const error = errorOut[0];
  const message = error ? c.errorMessage(error) : c.statusName(status);
  if (error) c.errorFree(error);
  return new RavelinError(c.statusName(status), message);
}

function check(status, errorOut) {
  const error = failure(status, errorOut);
  if (error) throw error;
}

// A copy of a library buffer of `size` bytes, which is freed.
function takeBytes(pointer, size) {
  const bytes = Buffer.allocUnsafe(size);
  bytes.set(new Uint8Array(koffi.view(pointer, size)));
  c.free(pointer);
  return bytes;
}

function u32(value, what) {
  if (!Number.isInteger(value)) throw new TypeError(`${what} must be an integer, not ${typeof value}`);
  if (value < 0 || value > 0xffffffff) throw new RangeError(`not a 32-bit ${what}: ${value}`);
  return value;
}

function text(value, what) {
  if (typeof value !== 'string') throw new TypeError(`${what} must be a string`);
  return value;
}

function bakeOptions(options = {}) {
  const { region = 0x13000000, spawnsDir = null, setupTable = null, sky = true } = options;
  if ((spawnsDir === null) !== (setupTable === null))
    throw new TypeError('spawnsDir and setupTable go together: give both or neither');
  return {
    region: u32(region, 'region id'),
    spawns_dir: spawnsDir === null ? null : text(spawnsDir, 'spawnsDir'),
    setup_table: setupTable === null ? null : text(setupTable, 'setupTable'),
    no_sky: sky ? 0 : 1,
  };
}

// Runs a C call on a worker thread; resolves with `done(outputs)`.
function callAsync(fn, args, done) {
  return new Promise((resolve, reject) => {
    fn.async(...args, (err, status) => {
      if (err) return reject(err);
      const error = failure(status, args[args.length - 1]);
      if (error) return reject(error);
      try {
        resolve(done());
      } catch (e) {
        reject(e);
      }
    });
  });
}

const RAVELIN_ERROR_BAKE = 4;
const noInputs = () => ({ portal: null, portal_count: 0, cell: null, cell_count: 0 });

// The lists of a C inputs struct, which is freed.
function takeInputs(raw) {
  const list = (pointer, count) => (count ? Array.from(koffi.decode(pointer, 'uint32_t', count)) : []);
  const inputs = { portal: list(raw.portal, raw.portal_count), cell: list(raw.cell, raw.cell_count) };
  c.inputsFree(raw);
  return inputs;
}

// { jsonl, inputs } of a bake that ran; a failed bake throws its RavelinError
// with `inputs` set, an argument the library refuses one without.
function recorded(status, data, size, raw, error) {
  const failed = failure(status, error);
  if (failed && status !== RAVELIN_ERROR_BAKE) throw failed;
  const inputs = takeInputs(raw);
  if (failed) {
    failed.inputs = inputs;
    throw failed;
  }
  return { jsonl: takeBytes(data[0], size[0]), inputs };
}

/** "0.2.0": the library's version, as `ravelin-bake --version`. */
const version = c.version();

/** One landblock baked from the DAT directory holding both archives: the manifest's
 * JSON Lines, exactly the bytes `ravelin-bake bake` writes. */
function bake(datDir, landblock, options) {
  const data = [null], size = [0], error = [null];
  check(c.bake(text(datDir, 'datDir'), u32(landblock, 'landblock'), bakeOptions(options), data, size, error), error);
  return takeBytes(data[0], size[0]);
}

/** bake() on a worker thread. */
function bakeAsync(datDir, landblock, options) {
  const data = [null], size = [0], error = [null];
  const args = [text(datDir, 'datDir'), u32(landblock, 'landblock'), bakeOptions(options), data, size, error];
  return callAsync(c.bake, args, () => takeBytes(data[0], size[0]));
}

/** bake(), and the records it fetched or tried to fetch: { jsonl, inputs: { portal, cell } },
 * file ids ascending. A failed bake's RavelinError carries the inputs up to its failure. */
function bakeWithInputs(datDir, landblock, options) {
  const data = [null], size = [0], raw = noInputs(), error = [null];
  const status = c.bakeWithInputs(text(datDir, 'datDir'), u32(landblock, 'landblock'), bakeOptions(options), data, size, raw, error);
  return recorded(status, data, size, raw, error);
}

// Synchronous session bakes are written straight into slices of a shared
// chunk, as Node.js pools small Buffers: one allocation serves many bakes, and
// no copy is made on this side. A manifest larger than the chunk's rest comes
// in a library buffer and starts a new chunk.
const kChunkSize = 256 * 1024;
let chunk = Buffer.allocUnsafe(kChunkSize);
let chunkUsed = 0;

function bakeIntoChunk(handle, landblock) {
  const size = [0], overflow = [null], error = [null];
  const start = chunkUsed;
  check(c.sessionBakeInto(handle, landblock, chunk.subarray(start), chunk.length - start, size, overflow, error), error);
  if (overflow[0] === null) {
    chunkUsed = start + size[0];
    return chunk.subarray(start, chunkUsed);
  }
  chunk = Buffer.allocUnsafe(kChunkSize);
  chunkUsed = 0;
  return takeBytes(overflow[0], size[0]);
}

// Handles left open are closed when their object is collected.
const closeArchive = new FinalizationRegistry((handle) => c.archiveClose(handle, [null]));
const closeSession = new FinalizationRegistry((handle) => c.sessionClose(handle, [null]));

class Archive {
  #handle;

  /** Opens an archive file read-only with its whole directory. */
  constructor(archivePath) {
    const handle = [null], error = [null];
    check(c.archiveOpen(text(archivePath, 'path'), handle, error), error);
    this.#handle = handle[0];
    closeArchive.register(this, this.#handle, this);
  }

  get entryCount() {
    const count = [0], error = [null];
    check(c.entryCount(this.#handle, count, error), error);
    return count[0];
  }

  /** The file's bytes, decompressed (`ravelin-bake dat get`). */
  getFile(fileId) {
    const data = [null], size = [0], error = [null];
    check(c.getFile(this.#handle, u32(fileId, 'file id'), data, size, error), error);
    return takeBytes(data[0], size[0]);
  }

  /** The document `ravelin-bake dat show` prints, parsed; `type` a --type name. */
  show(fileId, { type = null } = {}) {
    return JSON.parse(this.showText(fileId, { type, compact: true }));
  }

  /** The document `ravelin-bake dat show` prints, as text without its newline. */
  showText(fileId, { type = null, compact = false } = {}) {
    const json = [null], size = [0], error = [null];
    const typeName = type === null ? null : text(type, 'type');
    check(c.show(this.#handle, u32(fileId, 'file id'), typeName, compact ? 1 : 0, json, size, error), error);
    return takeBytes(json[0], size[0]).toString('utf8');
  }

  /** Releases the archive; later calls throw a RavelinError (RAVELIN_ERROR_HANDLE). */
  close() {
    const error = [null];
    closeArchive.unregister(this);
    check(c.archiveClose(this.#handle, error), error);
  }
}

class BakeSession {
  #handle;

  /** Opens both archives and decodes the region once; options as bake(). */
  constructor(datDir, options) {
    const handle = [null], error = [null];
    check(c.sessionOpen(text(datDir, 'datDir'), bakeOptions(options), handle, error), error);
    this.#handle = handle[0];
    closeSession.register(this, this.#handle, this);
  }

  /** Every landblock with a CellLandblock, ascending, as whole ids (0xA9B40000). */
  landblocks() {
    const ids = [null], count = [0], error = [null];
    check(c.landblocks(this.#handle, ids, count, error), error);
    const list = Array.from(koffi.decode(ids[0], 'uint32_t', count[0]));
    c.free(ids[0]);
    return list;
  }

  /** The bytes bake() gives with the session's directory and options (a slice of a shared chunk, as small
   * Buffers are in Node.js). */
  bake(landblock) {
    return bakeIntoChunk(this.#handle, u32(landblock, 'landblock'));
  }

  /** bake() with its inputs, as the module's bakeWithInputs(). */
  bakeWithInputs(landblock) {
    const data = [null], size = [0], raw = noInputs(), error = [null];
    const status = c.sessionBakeWithInputs(this.#handle, u32(landblock, 'landblock'), data, size, raw, error);
    return recorded(status, data, size, raw, error);
  }

  /** bake() on a worker thread; several may run at once. */
  bakeAsync(landblock) {
    const data = [null], size = [0], error = [null];
    const args = [this.#handle, u32(landblock, 'landblock'), data, size, error];
    return callAsync(c.sessionBake, args, () => takeBytes(data[0], size[0]));
  }

  /** Releases the session after any bakes still running on it. */
  close() {
    const error = [null];
    closeSession.unregister(this);
    check(c.sessionClose(this.#handle, error), error);
  }
}

module.exports = { version, bake, bakeAsync, bakeWithInputs, Archive, BakeSession, RavelinError };
