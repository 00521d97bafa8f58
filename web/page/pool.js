// The page's side of its workers (worker.js): each worker holds an instance
// of ravelin.wasm over the user's files and answers requests in turn. A worker
// that dies (an error it did not catch, or no answer in time) is reported
// through `onLost`, replaced by a new one opened on the same world, and every
// request it held fails with a WorkerLost, so no caller waits forever.

export class PageError extends Error {
  constructor(status, message) {
    super(message);
    this.name = "PageError";
    this.status = status;  // "RAVELIN_ERROR_BAKE" and so on, or "WORKER_LOST"
  }
}

export const WORKER_LOST = "WORKER_LOST";

// How long a request may take before its worker counts as lost: a whole
// batch of bakes or a retail world's land takes a few seconds at most.
const DEFAULT_PATIENCE_MS = 120000;

export class WorkerHost {
  // scriptUrl: the workers' script; setup: the init message's setup (module,
  // files, world, slices); onLost(reason): told when a worker is replaced;
  // onNote(text): what the module writes to its standard error.
  constructor(scriptUrl, setup, {onLost = () => {}, onNote = () => {}, patienceMs = DEFAULT_PATIENCE_MS} = {}) {
    Object.assign(this, {scriptUrl, setup, onLost, onNote, patienceMs});
    this.pending = new Map();  // request id -> {resolve, reject, timer}
    this.next = 1;
    this.replaced = 0;
    this.ready = this.start();
  }

  // A new worker opening the world; resolves when it has, rejects with the open's error.
  start() {
    this.worker = new Worker(this.scriptUrl, {name: "ravelin"});
    const worker = this.worker;
    worker.onmessage = (event) => {
      if (event.data.note !== undefined) return this.onNote(event.data.note);
      const waiting = this.pending.get(event.data.id);
      if (!waiting) return;
      this.pending.delete(event.data.id);
      clearTimeout(waiting.timer);
      const {ok, value, status, message, restarted} = event.data;
      if (restarted) this.onLost(`the module stopped and was started again: ${message}`);
      if (ok) waiting.resolve(value);
      else waiting.reject(new PageError(status, message));
    };
    worker.onerror = (event) => {
      event.preventDefault();
      if (worker === this.worker) this.lose(`the worker stopped: ${event.message || "an error it did not catch"}`);
    };
    worker.onmessageerror = () => { if (worker === this.worker) this.lose("the worker could not read a message"); };
    return this.send("init", [], {setup: this.setup});
  }

  send(op, args, extra = {}) {
    const id = this.next++;
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => this.lose(`the worker did not answer "${op}" within ${this.patienceMs / 1000} s`), this.patienceMs);
      this.pending.set(id, {resolve, reject, timer});
      this.worker.postMessage({id, op, args, ...extra});
    });
  }

  // Asks the worker for `op(...args)`, once it has opened the world.
  async request(op, ...args) {
    await this.ready;
    if (this.closed) throw new PageError(WORKER_LOST, "the worker was closed");
    return this.send(op, args);
  }

  // Ends the worker, fails what it held and starts another in its place.
  lose(reason) {
    if (this.closed) return;
    this.worker.terminate();
    const held = [...this.pending.values()];
    this.pending.clear();
    for (const {reject, timer} of held) {
      clearTimeout(timer);
      reject(new PageError(WORKER_LOST, reason));
    }
    this.replaced++;
    this.onLost(`${reason}; a new worker took its place`);
    this.ready = this.start();
    this.ready.catch(() => {});
  }

  terminate() {
    this.closed = true;
    this.worker.terminate();
    this.ready.catch(() => {});
    for (const {reject, timer} of this.pending.values()) {
      clearTimeout(timer);
      reject(new PageError(WORKER_LOST, "the worker was closed"));
    }
    this.pending.clear();
  }
}
