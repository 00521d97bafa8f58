// "Bake the world": every landblock baked by a pool of workers, each with its
// own instance of the module, into the lines bake-all's index holds, which the
// map's heat layer and circles then draw.
import {hex4} from "../../tools/draw/atlas/format.js";
import {WORKER_LOST} from "./pool.js";
import {hex8} from "./util.js";

// Landblocks a request bakes: small enough for a steady progress bar, large
// enough that messages cost little beside the bakes.
const BATCH = 128;

// The index line of one landblock's outcome, as bake-all writes it.
export function indexLine(outcome, families) {
  const line = {landblock_id: hex8(outcome.id)};
  if (outcome.error !== undefined) {
    line.error = outcome.error;
    return line;
  }
  line.file = `0x${hex4(outcome.id >>> 16)}.events.jsonl`;
  families.forEach((f, k) => { line[f.source] = outcome.counts[k]; });
  line.bytes = outcome.bytes;
  return line;
}

// Bakes `landblocks` (whole ids) on `hosts` (WorkerHosts, opened on the
// world); calls onProgress(done, total, failed). A batch whose worker was lost
// is baked again once, on its replacement; lost twice, its landblocks are
// counted failed with the reason. Resolves with a BakedWorld: the outcomes in
// the order of `landblocks` (ascending, as the module gives them).
export async function bakeWorld(landblocks, families, hosts, onProgress = () => {}, stopped = () => false) {
  // Batches are runs of `landblocks`, so each outcome has its place from the
  // start; the counts are kept in one array while the workers run, and lines
  // are made once they are gone.
  const batches = [];
  for (let at = 0; at < landblocks.length; at += BATCH) batches.push(at);
  const baked = new BakedWorld(landblocks, families);
  const run = async (host) => {
    while (batches.length > 0 && !stopped()) {
      const at = batches.shift();
      const batch = [...landblocks.slice(at, at + BATCH)];
      let results = null;
      for (let attempt = 0; results === null; attempt++) {
        try {
          results = await host.request("bakeCounts", batch);
        } catch (error) {
          if (stopped()) return;
          if (error.status !== WORKER_LOST || attempt > 0) results = batch.map((id) => ({id, error: error.message}));
        }
      }
      results.forEach((outcome, k) => baked.record(at + k, outcome));
      onProgress(baked.done, landblocks.length, baked.failed);
    }
  };
  await Promise.all(hosts.map(run));
  return baked;
}

// The outcomes of a world's bake: every landblock's counts and manifest
// length in typed arrays (a few megabytes for a large world, where an object
// a landblock takes tens), its error, and whether it was baked at all.
export class BakedWorld {
  constructor(landblocks, families) {
    this.landblocks = landblocks;
    this.families = families;
    this.counts = new Uint32Array(landblocks.length * families.length);
    this.bytes = new Uint32Array(landblocks.length);
    this.baked = new Uint8Array(landblocks.length);
    this.errors = new Map();  // index -> error text
    this.done = 0;
    this.failed = 0;
  }

  record(index, outcome) {
    this.baked[index] = 1;
    this.done++;
    if (outcome.error !== undefined) {
      this.errors.set(index, outcome.error);
      this.failed++;
    } else {
      this.counts.set(outcome.counts, index * this.families.length);
      this.bytes[index] = outcome.bytes;
    }
  }

  // bake-all's index lines of the landblocks baked (all of them unless the
  // bake was stopped), in landblock order.
  lines() {
    const width = this.families.length, out = [];
    for (let i = 0; i < this.landblocks.length; i++) {
      if (!this.baked[i]) continue;
      const id = this.landblocks[i];
      out.push(indexLine(this.errors.has(i) ? {id, error: this.errors.get(i)}
        : {id, counts: this.counts.subarray(i * width, (i + 1) * width), bytes: this.bytes[i]}, this.families));
    }
    return out;
  }
}
