// Ravelin from Node.js: archives, records as JSON and landblock bakes through
// libravelin.so, called by the package's Node-API module (src/ravelin_node.cpp,
// built at install by node-gyp). The *Async calls run on libuv's thread pool
// and leave the event loop free.
'use strict';

const path = require('node:path');

// RAVELIN_NODE_ADDON names the module file; otherwise the one `npm install`
// built beside this file.
function loadNative() {
  const file = process.env.RAVELIN_NODE_ADDON || path.join(__dirname, 'build', 'Release', 'ravelin.node');
  try {
    return require(file);
  } catch (e) {
    throw new Error(`cannot load ${file} (${e.message}): build it with \`npm install\` in ${__dirname}, ` +
      'against a Ravelin build tree (RAVELIN_BUILD_DIR) or an installed Ravelin (pkg-config ravelin-c)');
  }
}

const native = loadNative();

/** A failed call: `status` is the C status name ("RAVELIN_ERROR_BAKE", ...),
 * `message` the display text (for a bake what `ravelin-bake bake` prints after "error: "). */
class RavelinError extends Error {
  constructor(status, message) {
    super(message);
    this.name = 'RavelinError';
    this.status = status;
  }
}

native.init(RavelinError);

function u32(value, what) {
  if (!Number.isInteger(value)) throw new TypeError(`${what} must be an integer, not ${typeof value}`);
  if (value < 0 || value > 0xffffffff) throw new RangeError(`not a 32-bit ${what}: ${value}`);
  return value;
}

function text(value, what) {
  if (typeof value !== 'string') throw new TypeError(`${what} must be a string`);
  return value;
}

// The options as the native calls take them: region, spawnsDir, setupTable, noSky.
function optionArgs(options = {}) {
  const { region = 0x13000000, spawnsDir = null, setupTable = null, sky = true } = options;
  if ((spawnsDir === null) !== (setupTable === null))
    throw new TypeError('spawnsDir and setupTable go together: give both or neither');
  return [
    u32(region, 'region id'),
    spawnsDir === null ? null : text(spawnsDir, 'spawnsDir'),
    setupTable === null ? null : text(setupTable, 'setupTable'),
    !sky,
  ];
}

/** "0.2.0": the library's version, as `ravelin-bake --version`. */
const version = native.version();

/** The four event families in manifest order (ambient, animation sound, physics particle, sky), frozen:
 * { source, trigger } of their manifest lines, the `bake-all --db` table of their rows, their list in the
 * Python package's Bake, and a name for people. */
const eventFamilies = Object.freeze(native.eventFamilies().map((family) => Object.freeze(family)));

// Every manifest line opens with this. A line may hold a raw newline inside a
// sky line's day group name, but never this text after it: quotes inside a
// string are escaped.
const kLineStart = Buffer.from('{"source":"');
const kNextLine = Buffer.from('\n{"source":"');

/** A manifest's lines (without their newlines) by family: an object whose keys are the families' `source`
 * texts in manifest order, each holding that family's lines in manifest order. Buffer (or Uint8Array) in,
 * Buffers out (views of the input, not copies); a string in, strings out. A line of no family is a
 * RangeError. */
function splitFamilies(jsonl) {
  const isText = typeof jsonl === 'string';
  if (!isText && !(jsonl instanceof Uint8Array)) throw new TypeError('jsonl must be a Buffer, a Uint8Array or a string');
  const bytes = isText ? Buffer.from(jsonl, 'utf8') : Buffer.from(jsonl.buffer, jsonl.byteOffset, jsonl.byteLength);
  const families = {};
  for (const family of eventFamilies) families[family.source] = [];
  const end = bytes.length > 0 && bytes[bytes.length - 1] === 0x0a ? bytes.length - 1 : bytes.length;
  for (let start = 0; start < end; ) {
    const next = bytes.indexOf(kNextLine, start);
    const stop = next === -1 || next >= end ? end : next;
    const line = bytes.subarray(start, stop);
    const sourceEnd = line.indexOf(0x22, kLineStart.length);
    const source = line.subarray(0, kLineStart.length).equals(kLineStart) && sourceEnd !== -1
      ? line.toString('utf8', kLineStart.length, sourceEnd)
      : null;
    if (source === null || !Object.hasOwn(families, source))
      throw new RangeError(`not a manifest line of any event family: ${line.toString('utf8', 0, 60)}`);
    families[source].push(isText ? line.toString('utf8') : line);
    start = stop + 1;
  }
  return families;
}

/** One landblock baked from the DAT directory holding both archives: the manifest's
 * JSON Lines, exactly the bytes `ravelin-bake bake` writes. */
function bake(datDir, landblock, options) {
  return native.bake(text(datDir, 'datDir'), u32(landblock, 'landblock'), ...optionArgs(options));
}

// A promise of an async native call; a refused argument rejects it too.
function promised(call) {
  try {
    return call();
  } catch (e) {
    return Promise.reject(e);
  }
}

/** bake() on a worker thread. */
function bakeAsync(datDir, landblock, options) {
  return promised(() => native.bakeAsync(text(datDir, 'datDir'), u32(landblock, 'landblock'), ...optionArgs(options)));
}

/** bake(), and the records it fetched or tried to fetch: { jsonl, inputs: { portal, cell } },
 * file ids ascending. A failed bake's RavelinError carries the inputs up to its failure. */
function bakeWithInputs(datDir, landblock, options) {
  return native.bakeWithInputs(text(datDir, 'datDir'), u32(landblock, 'landblock'), ...optionArgs(options));
}

// Synchronous session bakes are written straight into slices of a shared
// chunk, as Node.js pools small Buffers: one allocation serves many bakes and
// no copy is made on this side. A fresh Buffer per bake would cost more than
// the call itself (allocation, and first writes to memory not in the cache).
// A new chunk starts when less than a quarter is left; a manifest larger than
// the rest comes back as a Buffer of its own. A slice kept alive keeps its
// whole chunk alive: RAVELIN_NODE_CHUNK_BYTES sets a smaller size.
function chunkSize() {
  const text = process.env.RAVELIN_NODE_CHUNK_BYTES;
  if (text === undefined || text === '') return 256 * 1024;
  const size = Number(text);
  if (!Number.isInteger(size) || size < 4096 || size > 0xffffffff)
    throw new RangeError(`RAVELIN_NODE_CHUNK_BYTES must be a whole number of bytes from 4096, not ${text}`);
  return size;
}
const kChunkSize = chunkSize();
const kChunkMinRest = kChunkSize / 4;
let chunk = Buffer.allocUnsafeSlow(kChunkSize);
let chunkUsed = 0;

function bakeIntoChunk(handle, landblock) {
  if (chunk.length - chunkUsed < kChunkMinRest) {
    chunk = Buffer.allocUnsafeSlow(kChunkSize);
    chunkUsed = 0;
  }
  const start = chunkUsed;
  const result = native.sessionBakeInto(handle, landblock, chunk.buffer, chunk.byteOffset + start);
  if (typeof result !== 'number') return result;
  chunkUsed = start + result;
  return chunk.subarray(start, chunkUsed);
}

// Handles left open are closed when their object is collected.
const quietly = (close) => (handle) => {
  try {
    close(handle);
  } catch {
    // closed already
  }
};
const closeArchive = new FinalizationRegistry(quietly(native.archiveClose));
const closeSession = new FinalizationRegistry(quietly(native.sessionClose));
const closeEditor = new FinalizationRegistry(quietly(native.editorClose));
// Each Archive's handle, for ArchiveEditor.copyFrom.
const archiveHandles = new WeakMap();

class Archive {
  #handle;

  /** Opens an archive file read-only with its whole directory. */
  constructor(archivePath) {
    this.#handle = native.archiveOpen(text(archivePath, 'path'));
    closeArchive.register(this, this.#handle, this);
    archiveHandles.set(this, this.#handle);
  }

  get entryCount() {
    return native.entryCount(this.#handle);
  }

  /** The file's bytes, decompressed (`ravelin-bake dat get`). */
  getFile(fileId) {
    return native.getFile(this.#handle, u32(fileId, 'file id'));
  }

  /** The document `ravelin-bake dat show` prints, parsed; `type` a --type name. */
  show(fileId, { type = null } = {}) {
    return JSON.parse(this.showText(fileId, { type, compact: true }));
  }

  /** The document `ravelin-bake dat show` prints, as text without its newline. */
  showText(fileId, { type = null, compact = false } = {}) {
    const typeName = type === null ? null : text(type, 'type');
    return native.showText(this.#handle, u32(fileId, 'file id'), typeName, Boolean(compact));
  }

  /** Releases the archive; later calls throw a RavelinError (RAVELIN_ERROR_HANDLE). */
  close() {
    closeArchive.unregister(this);
    native.archiveClose(this.#handle);
  }
}

class BakeSession {
  #handle;

  /** Opens both archives and decodes the region once; options as bake(). */
  constructor(datDir, options) {
    this.#handle = native.sessionOpen(text(datDir, 'datDir'), ...optionArgs(options));
    closeSession.register(this, this.#handle, this);
  }

  /** Every landblock with a CellLandblock, ascending, as whole ids (0xA9B40000). */
  landblocks() {
    return native.landblocks(this.#handle);
  }

  /** The bytes bake() gives with the session's directory and options (a slice of a shared chunk, as small
   * Buffers are in Node.js). */
  bake(landblock) {
    return bakeIntoChunk(this.#handle, u32(landblock, 'landblock'));
  }

  /** bake() with its inputs, as the module's bakeWithInputs(). */
  bakeWithInputs(landblock) {
    return native.sessionBakeWithInputs(this.#handle, u32(landblock, 'landblock'));
  }

  /** bake() on a worker thread; several may run at once. */
  bakeAsync(landblock) {
    // The session is held until the bake ends: were it collected meanwhile,
    // its finalizer would close the handle before the worker looks it up.
    const session = this;
    return promised(() => native.sessionBakeAsync(this.#handle, u32(landblock, 'landblock'))).finally(() => session);
  }

  /** Releases the session after any bakes still running on it. */
  close() {
    closeSession.unregister(this);
    native.sessionClose(this.#handle);
  }
}

function bytesArgument(value, what) {
  if (!(value instanceof Uint8Array)) throw new TypeError(`${what} must be a Buffer or a Uint8Array`);
  return value;
}

function idList(ids) {
  if (!Array.isArray(ids)) throw new TypeError('ids must be an array of file ids');
  return ids.map((id) => u32(id, 'file id'));
}

/** One archive open for changing: puts and removes, a batch at a time, each batch published by one commit
 * that no crash can tear. No other editor, in this process or another, opens the archive meanwhile
 * (RAVELIN_ERROR_BUSY). One call at a time: a call made while commitAsync() runs fails with
 * RAVELIN_ERROR_HANDLE. */
// Marks the handle create() made, for the constructor.
const kCreated = Symbol('created');

class ArchiveEditor {
  #handle;

  /** Opens an archive for changing. */
  constructor(archivePath, created = undefined) {
    this.#handle = created !== undefined && created.token === kCreated
      ? created.handle
      : native.editorOpen(text(archivePath, 'path'));
    closeEditor.register(this, this.#handle, this);
  }

  /** Writes a new empty archive (replacing any file at `archivePath`) and opens it; the header fields other
   * than the layout's come from the archive `like`; blockSize 0 takes like's. */
  static create(archivePath, { blockSize = 0, like = null } = {}) {
    const handle = native.editorCreate(text(archivePath, 'path'), u32(blockSize, 'block size'),
      like === null ? null : text(like, 'like'));
    return new ArchiveEditor(archivePath, { token: kCreated, handle });
  }

  /** Adds or replaces file `fileId` with `data`; flags (bit_flags but bit 0), timestamp and version default
   * to the replaced entry's, else 0. */
  put(fileId, data, { compressed = false, flags = null, timestamp = null, version = null } = {}) {
    const optional = (value, what) => (value === null ? null : u32(value, what));
    native.editorPut(this.#handle, u32(fileId, 'file id'), bytesArgument(data, 'data'), Boolean(compressed),
      optional(flags, 'flags value'), optional(timestamp, 'timestamp'), optional(version, 'version'));
  }

  /** Adds or replaces file `fileId` with a body stored as it is (compressed or not, as bit 0 of bitFlags
   * says) and these fields. */
  putStored(fileId, stored, { bitFlags = 0, timestamp = 0, version = 0 } = {}) {
    native.editorPutStored(this.#handle, u32(fileId, 'file id'), bytesArgument(stored, 'stored'),
      u32(bitFlags, 'flags value'), u32(timestamp, 'timestamp'), u32(version, 'version'));
  }

  /** Removes file `fileId`; RAVELIN_ERROR_NOT_FOUND when the pending state lacks it. */
  remove(fileId) {
    native.editorRemove(this.#handle, u32(fileId, 'file id'));
  }

  /** Puts the entries `ids` names in the Archive `from` into the batch with their stored bytes and fields,
   * replacing ids the archive holds; RAVELIN_ERROR_NOT_FOUND (nothing put) when `from` lacks one. */
  copyFrom(from, ids) {
    if (!archiveHandles.has(from)) throw new TypeError('from must be an Archive');
    native.editorCopyFrom(this.#handle, archiveHandles.get(from), idList(ids));
  }

  /** Publishes the batch: { blocksWritten, blocksReused, blocksAppended, blocksFreed, blocksReclaimed,
   * blocksLeftLeaked, reuse }. On failure the batch is dropped and the archive is as it was. */
  commit() {
    return native.editorCommit(this.#handle);
  }

  /** commit() on a worker thread. */
  commitAsync() {
    const editor = this;  // held until the commit ends, as BakeSession.bakeAsync holds its session
    return promised(() => native.editorCommitAsync(this.#handle)).finally(() => editor);
  }

  /** Drops the batch; nothing is written. */
  abandon() {
    native.editorAbandon(this.#handle);
  }

  /** The pending state's entry: { id, bitFlags, size, timestamp, version }, or null. */
  find(fileId) {
    return native.editorFind(this.#handle, u32(fileId, 'file id'));
  }

  get entryCount() {
    return native.editorEntryCount(this.#handle);
  }

  /** Drops the batch and lets the next editor in. */
  close() {
    closeEditor.unregister(this);
    native.editorClose(this.#handle);
  }
}

/** As `ravelin-bake dat extract`: dir/files/0xXXXXXXXX, dir/index.jsonl, dir/header.json; `ids` empty for
 * every file, `stored` for the stored bytes, `force` to write into a folder that holds something. */
function extract(archivePath, dir, { ids = [], stored = false, force = false } = {}) {
  native.extract(text(archivePath, 'archive'), text(dir, 'dir'), idList(ids), Boolean(stored), Boolean(force));
}

/** As `ravelin-bake dat pack DIR -o ARCHIVE`: blockSize null takes header.json's. */
function pack(dir, archivePath, { blockSize = null } = {}) {
  native.pack(text(dir, 'dir'), text(archivePath, 'archive'), blockSize === null ? 0 : u32(blockSize, 'block size'));
}

module.exports = {
  version,
  eventFamilies,
  splitFamilies,
  bake,
  bakeAsync,
  bakeWithInputs,
  Archive,
  BakeSession,
  RavelinError,
  ArchiveEditor,
  extract,
  pack,
};
