// The page's file host without a browser: names as the module asks for them,
// the slice cache (what is read, what is kept), picked folders, and the
// failures the module receives.
import assert from "node:assert/strict";
import {test} from "node:test";

import {BAD_HANDLE, BlobSource, FileHost, NOT_FOUND, NOT_PERMITTED, NOT_REGULAR, PickedFiles, UNREADABLE,
  failureOf, normaliseName} from "../ravelin_files.js";
import {wasiImports} from "../wasi.js";

// A blob of `size` bytes (byte i is i mod 251) whose slices are counted.
function countedBlob(size) {
  const bytes = Uint8Array.from({length: size}, (_, i) => i % 251);
  const reads = [];
  return {
    blob: {size, bytes},
    reads,
    readSlice: (blob, start, end) => {
      reads.push([start, end]);
      return blob.bytes.slice(start, end);
    },
  };
}

test("names are normalised as the module normalises its paths", () => {
  const cases = [
    ["client_portal.dat", "client_portal.dat"], ["./world//client_cell_1.dat", "world/client_cell_1.dat"],
    ["world/spawns/../client_cell_1.dat", "world/client_cell_1.dat"], ["/a/../b.dat", "/b.dat"],
    ["../up.dat", "../up.dat"], ["", "."], ["world/", "world"],
  ];
  for (const [given, expected] of cases) assert.equal(normaliseName(given), expected, given);
});

test("a read comes from slices, each read once while kept, and never from the whole file", () => {
  const size = 10 * 1024 + 17;
  const {blob, reads, readSlice} = countedBlob(size);
  const source = new BlobSource(blob, {sliceSize: 1024, maxSlices: 3, readSlice});
  const expect = (offset, length) => Array.from({length: Math.max(0, Math.min(size, offset + length) - offset)},
    (_, i) => (offset + i) % 251);
  const cases = [
    // offset, length, slices read by this call
    [0, 16, [[0, 1024]]],
    [100, 900, []],                          // inside slice 0
    [1000, 100, [[1024, 2048]]],             // across slices 0 and 1
    [10 * 1024, 100, [[10240, size]]],       // the short last slice, cut at the end of the file
    [2048, 1, [[2048, 3072]]],               // a fourth slice: slice 0, used least lately, goes
    [5, 5, [[0, 1024]]],                     // so slice 0 is read again
    [3000, 4096, [[3000, 7096]]],            // larger than a slice: read as asked, not kept
    [size, 10, []],                          // at the end: nothing
    [10 * 1024 + 10, 100, []],               // past the end: what there is
  ];
  for (const [offset, length, read] of cases) {
    const before = reads.length;
    assert.deepEqual(Array.from(source.read(offset, length)), expect(offset, length), `${offset}+${length}`);
    assert.deepEqual(reads.slice(before), read, `slices read for ${offset}+${length}`);
  }
  assert.ok(reads.every(([start, end]) => end - start < size));
});

test("a read into a target stops where the file does, also when a slice comes back short", () => {
  const {blob, readSlice} = countedBlob(3000);
  // A file that shrank after it was picked: its slices end at 2500.
  const shrunk = (b, start, end) => readSlice(b, start, Math.min(end, 2500));
  const source = new BlobSource(blob, {sliceSize: 1024, maxSlices: 2, readSlice: shrunk});
  const cases = [[0, 3000, 2500], [2000, 400, 400], [2000, 1000, 500], [2600, 100, 0], [3000, 5, 0]];
  for (const [offset, length, count] of cases) {
    const target = new Uint8Array(length);
    assert.equal(source.readInto(offset, target), count, `${offset}+${length}`);
    assert.deepEqual(Array.from(target.subarray(0, count)), Array.from({length: count}, (_, i) => (offset + i) % 251));
  }
});

test("picked files: names, folders and one source per file", () => {
  const files = new PickedFiles({readSlice: countedBlob(0).readSlice});
  const portal = countedBlob(10).blob, cell = countedBlob(20).blob;
  files.add("world/client_portal.dat", portal);
  files.add("./world/client_cell_1.dat", cell);
  assert.equal(files.kind("world/client_cell_1.dat"), "file");
  assert.equal(files.kind("world"), "directory");
  assert.equal(files.kind("."), "directory");
  assert.equal(files.kind("wor"), "missing");
  assert.equal(files.kind("world/spawns"), "missing");
  assert.equal(files.open("world/client_cell_1.dat").size, 20);
  assert.equal(files.open("world/client_cell_1.dat"), files.open("world/client_cell_1.dat"));
});

// The imports over a module memory of our own.
function hostOver(files) {
  const memory = {buffer: new ArrayBuffer(4096)};
  const imports = new FileHost(files).imports(() => memory);
  const put = (text) => {
    const bytes = new TextEncoder().encode(text);
    new Uint8Array(memory.buffer, 100, bytes.length).set(bytes);
    return [100, bytes.length];
  };
  return {memory, imports, put};
}

test("the imports open, size, read into the module's memory and close", () => {
  const files = new PickedFiles({readSlice: countedBlob(0).readSlice});
  files.add("w/a.dat", countedBlob(300).blob);
  const {memory, imports, put} = hostOver(files);
  const handle = imports.open(...put("w/./a.dat"));
  assert.ok(handle > 0);
  assert.equal(imports.size(handle), 300);
  assert.equal(imports.read(handle, 290, 1000, 64), 10);
  assert.deepEqual(Array.from(new Uint8Array(memory.buffer, 1000, 10)), [39, 40, 41, 42, 43, 44, 45, 46, 47, 48]);
  assert.equal(imports.kind(...put("w")), 2);
  assert.equal(imports.kind(...put("w/a.dat")), 1);
  assert.equal(imports.kind(...put("none")), 0);
  imports.close(handle);
  assert.equal(imports.size(handle), BAD_HANDLE);
  assert.equal(imports.read(handle, 0, 1000, 1), BAD_HANDLE);
});

test("failures reach the module as its codes", () => {
  const thrown = (name) => Object.assign(new Error(name), name.startsWith("E") ? {code: name} : {name});
  const failing = (error) => ({
    kind: () => "file",
    open: () => ({size: 1, readInto: () => { throw thrown(error); }}),
  });
  const cases = [["NotFoundError", NOT_FOUND], ["NotReadableError", UNREADABLE], ["SecurityError", NOT_PERMITTED],
    ["ENOENT", NOT_FOUND], ["EACCES", NOT_PERMITTED], ["EIO", UNREADABLE], ["EISDIR", NOT_REGULAR]];
  for (const [error, code] of cases) {
    assert.equal(failureOf(thrown(error)), code, error);
    const {imports, put} = hostOver(failing(error));
    const handle = imports.open(...put("a.dat"));
    assert.equal(imports.read(handle, 0, 1000, 1), code, error);
  }
  const {imports, put} = hostOver({kind: (name) => (name === "d" ? "directory" : name === "p" ? "other" : "missing")});
  assert.equal(imports.open(...put("d")), NOT_REGULAR);
  assert.equal(imports.open(...put("p")), NOT_REGULAR);
  assert.equal(imports.open(...put("x")), NOT_FOUND);
});

test("the page's WASI writes standard error and refuses other files", () => {
  const memory = {buffer: new ArrayBuffer(256)};
  const written = [];
  const wasi = wasiImports(() => memory, (fd, text) => written.push([fd, text]));
  const view = new DataView(memory.buffer);
  new Uint8Array(memory.buffer, 64, 5).set(new TextEncoder().encode("abort"));
  view.setUint32(16, 64, true);
  view.setUint32(20, 5, true);
  assert.equal(wasi.fd_write(2, 16, 1, 32), 0);
  assert.equal(view.getUint32(32, true), 5);
  assert.deepEqual(written, [[2, "abort"]]);
  assert.equal(wasi.fd_write(5, 16, 1, 32), 8);
  assert.throws(() => wasi.proc_exit(3), /status 3/);
});
