// Per-bake time of BakeSession::bake over a whole world on one thread: one warm-up pass, then
// RUNS timed passes (default 5), their median as microseconds per bake. The figure to set beside
// bench/bindings_bench's BM_CppBakeJsonl.
//   cargo run --release --example bake_world_timing -- DAT_DIR [RUNS]
use std::time::Instant;

fn main() -> Result<(), ravelin::Error> {
    let mut args = std::env::args().skip(1);
    let dat_dir = args.next().expect("usage: bake_world_timing DAT_DIR [RUNS]");
    let runs: usize = args.next().map_or(5, |r| r.parse().expect("RUNS is a number"));
    let session = ravelin::BakeSession::open(&dat_dir, &ravelin::BakeOptions::default())?;
    let landblocks = session.landblocks()?;
    let mut bytes = 0usize;
    for &landblock in &landblocks {
        bytes += session.bake(landblock).map_or(0, |b| b.len());
    }
    let mut per_bake: Vec<f64> = (0..runs)
        .map(|_| {
            let start = Instant::now();
            for &landblock in &landblocks {
                bytes += session.bake(landblock).map_or(0, |b| b.len());
            }
            start.elapsed().as_secs_f64() * 1e6 / landblocks.len() as f64
        })
        .collect();
    per_bake.sort_by(|a, b| a.partial_cmp(b).unwrap());
    println!(
        "rust BakeSession::bake: {:.2} us per bake (median of {runs} passes over {} landblocks; runs {:.2?}; {bytes} bytes)",
        per_bake[runs / 2], landblocks.len(), per_bake
    );
    Ok(())
}
