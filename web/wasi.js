// The part of WASI (preview 1) ravelin.wasm needs in a browser, where there is
// no WASI: the C library writes to standard error only when something goes
// badly wrong (an abort's message), and reads no clock, environment or
// arguments. Under Node.js, node:wasi serves the same imports.

const ERRNO_SUCCESS = 0, ERRNO_BADF = 8, ERRNO_NOSYS = 52, ERRNO_SPIPE = 70;

// The wasi_snapshot_preview1 import object. `memory()` gives the module's
// memory; `write(fd, text)` receives what the module writes to standard output
// (1) and error (2), by default the console.
export function wasiImports(memory, write = (fd, text) => (fd === 2 ? console.error : console.log)(text)) {
  const decoder = new TextDecoder();
  const view = () => new DataView(memory().buffer);
  return {
    fd_write(fd, iovs, count, written) {
      if (fd !== 1 && fd !== 2) return ERRNO_BADF;
      const v = view();
      let text = "", total = 0;
      for (let i = 0; i < count; ++i) {
        const at = v.getUint32(iovs + i * 8, true), length = v.getUint32(iovs + i * 8 + 4, true);
        text += decoder.decode(new Uint8Array(memory().buffer, at, length));
        total += length;
      }
      if (text) write(fd, text);
      v.setUint32(written, total, true);
      return ERRNO_SUCCESS;
    },
    fd_close: (fd) => (fd <= 2 ? ERRNO_SUCCESS : ERRNO_BADF),
    fd_seek: (fd) => (fd <= 2 ? ERRNO_SPIPE : ERRNO_BADF),
    fd_fdstat_get: () => ERRNO_NOSYS,
    environ_sizes_get(count, size) {
      view().setUint32(count, 0, true);
      view().setUint32(size, 0, true);
      return ERRNO_SUCCESS;
    },
    environ_get: () => ERRNO_SUCCESS,
    proc_exit(code) {
      throw new Error(`ravelin.wasm exited with status ${code}`);
    },
  };
}
