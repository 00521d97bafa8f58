// The files ravelin.wasm reads, served to the five functions it imports as
// "ravelin_files" (common/browser_file_system.cpp is the other side). The
// module asks by name ("world/client_cell_1.dat") and reads by positioned
// slices; it never asks for an archive whole. In a browser worker the files
// are the File objects the user picked (PickedFiles); under Node.js the test
// serves real files the same way (web/test/node_files.js).
//
// A set of files is any object with
//   kind(name)  -> "missing" | "file" | "directory" | "other"
//   open(name)  -> a source {size, readInto(offset, target) -> the count of
//                  bytes copied into the Uint8Array `target` (fewer only at
//                  the end), close()?}
// whose methods may throw; the host turns what they throw into the failures
// below.

// Failures as the module reads them (negative results of the imports).
export const NOT_FOUND = -1;
export const NOT_REGULAR = -2;
export const UNREADABLE = -3;
export const NOT_PERMITTED = -4;
export const BAD_HANDLE = -5;

const KINDS = {missing: 0, file: 1, directory: 2, other: 3};

// "./world//a.dat" -> "world/a.dat": the form the module asks in (its paths
// are normalised the same way), so that names the page was given match.
export function normaliseName(name) {
  const absolute = name.startsWith("/");
  const parts = [];
  for (const part of name.split("/")) {
    if (part === "" || part === ".") continue;
    if (part === ".." && parts.length > 0 && parts[parts.length - 1] !== "..") parts.pop();
    else if (part !== ".." || !absolute) parts.push(part);
  }
  const joined = parts.join("/");
  return absolute ? "/" + joined : joined || ".";
}

// What a thrown error means to the module: a browser's DOMException names, or
// Node.js's error codes.
export function failureOf(error) {
  const name = error && (error.code || error.name);
  if (name === "ENOENT" || name === "NotFoundError") return NOT_FOUND;
  if (name === "EISDIR") return NOT_REGULAR;
  if (name === "EACCES" || name === "EPERM" || name === "SecurityError" || name === "NotAllowedError")
    return NOT_PERMITTED;
  return UNREADABLE;
}

const decoder = new TextDecoder();

// The import object's "ravelin_files" for a set of files. `memory()` gives the
// module's memory: its buffer changes when the memory grows, so every call
// takes a fresh view.
export class FileHost {
  constructor(files) {
    this.files = files;
    this.open = new Map();  // handle -> source
    this.next = 1;
  }

  imports(memory) {
    const name = (at, length) => normaliseName(decoder.decode(new Uint8Array(memory().buffer, at, length)));
    return {
      open: (at, length) => {
        const file = name(at, length);
        try {
          const kind = this.files.kind(file);
          if (kind === "missing") return NOT_FOUND;
          if (kind !== "file") return NOT_REGULAR;
          const handle = this.next++;
          this.open.set(handle, this.files.open(file));
          return handle;
        } catch (error) {
          return failureOf(error);
        }
      },
      size: (handle) => {
        const source = this.open.get(handle);
        return source ? source.size : BAD_HANDLE;
      },
      read: (handle, offset, at, length) => {
        const source = this.open.get(handle);
        if (!source) return BAD_HANDLE;
        try {
          return source.readInto(offset, new Uint8Array(memory().buffer, at, length));
        } catch (error) {
          return failureOf(error);
        }
      },
      close: (handle) => {
        const source = this.open.get(handle);
        this.open.delete(handle);
        if (source && source.close) source.close();
      },
      kind: (at, length) => {
        try {
          return KINDS[this.files.kind(name(at, length))];
        } catch (error) {
          return failureOf(error);
        }
      },
    };
  }
}

// A Blob (a File) read by slices of `sliceSize` bytes, keeping the
// `maxSlices` used last: a bake's reads come in clusters (a directory node, a
// record's chain of blocks), so most of them fall into a slice read already,
// and a read is never larger than a slice or the bytes asked for. `readSlice`
// reads one range; in a worker it is FileReaderSync over Blob.slice.
// (Detaching a slice let go, to free it before the collector does, was
// measured to keep the memory instead: Chromium then collected far later.)
export class BlobSource {
  constructor(blob, {sliceSize = 1 << 20, maxSlices = 16, readSlice = readBlobSlice} = {}) {
    this.blob = blob;
    this.size = blob.size;
    this.sliceSize = sliceSize;
    this.maxSlices = maxSlices;
    this.readSlice = readSlice;
    this.slices = new Map();  // slice index -> bytes, least recently used first
  }

  slice(index) {
    let bytes = this.slices.get(index);
    if (bytes) {
      this.slices.delete(index);
    } else {
      const start = index * this.sliceSize;
      bytes = this.readSlice(this.blob, start, Math.min(this.size, start + this.sliceSize));
      if (this.slices.size >= this.maxSlices) this.slices.delete(this.slices.keys().next().value);
    }
    this.slices.set(index, bytes);
    return bytes;
  }

  // Copies the bytes at `offset` into `target`, as many as there are before
  // the end of the file; gives their count.
  readInto(offset, target) {
    const end = Math.min(this.size, offset + target.length);
    if (end <= offset) return 0;
    // Larger than a slice (a whole spawns file, a setup table): read as asked, not kept.
    if (end - offset > this.sliceSize) {
      const bytes = this.readSlice(this.blob, offset, end);
      target.set(bytes);
      return bytes.length;
    }
    for (let at = offset; at < end;) {
      const index = Math.floor(at / this.sliceSize), base = index * this.sliceSize;
      const part = this.slice(index).subarray(at - base, Math.min(end, base + this.sliceSize) - base);
      target.set(part, at - offset);
      at += part.length;
      if (part.length === 0 || at < Math.min(end, base + this.sliceSize)) return at - offset;  // the file ended early
    }
    return end - offset;
  }

  // The bytes at `offset`, `length` of them or fewer at the end: a copy.
  read(offset, length) {
    const out = new Uint8Array(Math.max(0, Math.min(this.size, offset + length) - offset));
    return out.subarray(0, this.readInto(offset, out));
  }
}

function readBlobSlice(blob, start, end) {
  // eslint-disable-next-line no-undef -- a worker's global
  return new Uint8Array(new FileReaderSync().readAsArrayBuffer(blob.slice(start, end)));
}

// The files the user picked or dropped, by the names the page gives them: the
// file's name alone, or its folder's path and its name for a picked folder
// (File.webkitRelativePath). A folder is any prefix of a name.
export class PickedFiles {
  constructor(options = {}) {
    this.options = options;  // for BlobSource
    this.blobs = new Map();    // name -> File
    this.sources = new Map();  // name -> BlobSource, made on first open and kept
  }

  add(name, blob) {
    const key = normaliseName(name);
    this.blobs.set(key, blob);
    this.sources.delete(key);
  }

  names() {
    return [...this.blobs.keys()];
  }

  kind(name) {
    if (this.blobs.has(name)) return "file";
    if (name === "." || name === "/") return "directory";
    const prefix = name + "/";
    for (const key of this.blobs.keys()) if (key.startsWith(prefix)) return "directory";
    return "missing";
  }

  open(name) {
    let source = this.sources.get(name);
    if (!source) {
      source = new BlobSource(this.blobs.get(name), this.options);
      this.sources.set(name, source);
    }
    return source;
  }
}
