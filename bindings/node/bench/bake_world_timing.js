// Per-bake time of BakeSession.bake and .bakeAsync (one at a time, awaited)
// over a whole world on one thread: one warm-up pass, then RUNS timed passes
// (default 5), their median as microseconds per bake. The figures to set beside
// bench/bindings_bench's BM_CppBakeJsonl.
//   node bench/bake_world_timing.js DAT_DIR [RUNS]
'use strict';

const { BakeSession } = require('..');

async function main() {
  const [datDir, runsText = '5'] = process.argv.slice(2);
  if (!datDir) throw new Error('usage: bake_world_timing.js DAT_DIR [RUNS]');
  const runs = Number(runsText);
  const session = new BakeSession(datDir);
  const landblocks = session.landblocks();
  let bytes = 0;
  for (const lb of landblocks) bytes += session.bake(lb).length;
  const median = (list) => list.sort((a, b) => a - b)[Math.floor(list.length / 2)];
  const sync = [], async = [];
  for (let r = 0; r < runs; r++) {
    let start = process.hrtime.bigint();
    for (const lb of landblocks) bytes += session.bake(lb).length;
    sync.push(Number(process.hrtime.bigint() - start) / 1e3 / landblocks.length);
    start = process.hrtime.bigint();
    for (const lb of landblocks) bytes += (await session.bakeAsync(lb)).length;
    async.push(Number(process.hrtime.bigint() - start) / 1e3 / landblocks.length);
  }
  const fmt = (list) => list.map((x) => x.toFixed(2)).join(', ');
  console.log(`node bake: ${median([...sync]).toFixed(2)} us per bake (runs ${fmt(sync)})`);
  console.log(`node bakeAsync: ${median([...async]).toFixed(2)} us per bake (runs ${fmt(async)})`);
  console.log(`median of ${runs} passes over ${landblocks.length} landblocks; ${bytes} bytes`);
  session.close();
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
