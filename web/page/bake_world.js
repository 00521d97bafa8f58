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
// counted failed with the reason. Resolves with the index lines in the order
// of `landblocks` (ascending, as the module gives them).
export async function bakeWorld(landblocks, families, hosts, onProgress = () => {}, stopped = () => false) {
  // Batches are runs of `landblocks`, so each outcome's line has its place
  // from the start: no list of outcomes beside the lines, and no sort.
  const batches = [];
  for (let at = 0; at < landblocks.length; at += BATCH) batches.push(at);
  const lines = new Array(landblocks.length);
  let done = 0, failed = 0;
  const record = (at, results) => {
    results.forEach((r, k) => {
      lines[at + k] = indexLine(r, families);
      if (r.error !== undefined) failed++;
    });
    done += results.length;
    onProgress(done, landblocks.length, failed);
  };
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
      record(at, results);
    }
  };
  await Promise.all(hosts.map(run));
  // Stopped part way: the lines of the batches baked.
  return lines.filter((line) => line !== undefined);
}
