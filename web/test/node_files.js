// Real files for ravelin.wasm under Node.js: names are paths below `root`,
// read with fs.readSync at their offsets through the same slice cache
// (BlobSource) the page reads File objects through.
import fs from "node:fs";
import path from "node:path";

import {BlobSource} from "../ravelin_files.js";

export class RealFiles {
  constructor(root, sliceOptions = {}) {
    this.root = root;
    this.sliceOptions = sliceOptions;
  }

  kind(name) {
    try {
      const stat = fs.statSync(path.resolve(this.root, name));
      return stat.isFile() ? "file" : stat.isDirectory() ? "directory" : "other";
    } catch (error) {
      if (error.code === "ENOENT" || error.code === "ENOTDIR") return "missing";
      throw error;
    }
  }

  open(name) {
    const fd = fs.openSync(path.resolve(this.root, name), "r");
    const readSlice = (_, start, end) => {
      const bytes = new Uint8Array(end - start);
      let done = 0;
      while (done < bytes.length) {
        const n = fs.readSync(fd, bytes, done, bytes.length - done, start + done);
        if (n === 0) break;
        done += n;
      }
      return bytes.subarray(0, done);
    };
    const source = new BlobSource({size: fs.fstatSync(fd).size}, {...this.sliceOptions, readSlice});
    source.close = () => fs.closeSync(fd);
    return source;
  }
}
