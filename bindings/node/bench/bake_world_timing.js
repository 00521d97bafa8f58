// Per-bake time of BakeSession.bake and .bakeAsync (one at a time, awaited)
// over a whole world on one thread: one warm-up pass, then RUNS timed passes
// (default 5), the medians of their wall and CPU time (the process's, worker
// threads included) as microseconds per bake. The figures to set beside
// bench/bindings_bench's BM_CppBakeJsonl (Time and CPU).
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
  const timings = { bake: { wall: [], cpu: [] }, bakeAsync: { wall: [], cpu: [] } };
  const time = async (name, pass) => {
    const start = process.hrtime.bigint();
    const startCpu = process.cpuUsage();
    await pass();
    const cpu = process.cpuUsage(startCpu);
    timings[name].wall.push(Number(process.hrtime.bigint() - start) / 1e3 / landblocks.length);
    timings[name].cpu.push((cpu.user + cpu.system) / landblocks.length);
  };
  // All sync passes first: async ones between them would leave the thread pool's work in the caches.
  for (let r = 0; r < runs; r++) await time('bake', () => { for (const lb of landblocks) bytes += session.bake(lb).length; });
  for (let r = 0; r < runs; r++)
    await time('bakeAsync', async () => { for (const lb of landblocks) bytes += (await session.bakeAsync(lb)).length; });
  const fmt = (list) => list.map((x) => x.toFixed(2)).join(', ');
  for (const [name, { wall, cpu }] of Object.entries(timings))
    console.log(`node ${name}: ${median([...wall]).toFixed(2)} us wall, ${median([...cpu]).toFixed(2)} us CPU per bake (CPU ${fmt(cpu)})`);
  console.log(`median of ${runs} passes over ${landblocks.length} landblocks; ${bytes} bytes`);
  session.close();
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
