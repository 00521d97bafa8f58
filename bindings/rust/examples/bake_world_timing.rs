// Per-bake time of BakeSession::bake over a whole world on one thread: one warm-up pass, then
// RUNS timed passes (default 5), the medians of their wall and CPU time as microseconds per bake.
// The figures to set beside bench/bindings_bench's BM_CppBakeJsonl (Time and CPU).
//   cargo run --release --example bake_world_timing -- DAT_DIR [RUNS]
use std::time::Instant;

#[repr(C)]
struct Timespec {
    sec: i64,
    nsec: i64,
}
extern "C" {
    fn clock_gettime(clock: i32, time: *mut Timespec) -> i32;
}
const CLOCK_THREAD_CPUTIME_ID: i32 = 3;

/// This thread's CPU time in seconds: on a shared machine the wall clock also counts other work.
fn thread_cpu_seconds() -> f64 {
    let mut t = Timespec { sec: 0, nsec: 0 };
    unsafe { clock_gettime(CLOCK_THREAD_CPUTIME_ID, &mut t) };
    t.sec as f64 + t.nsec as f64 * 1e-9
}

fn median(mut list: Vec<f64>) -> f64 {
    list.sort_by(|a, b| a.partial_cmp(b).unwrap());
    list[list.len() / 2]
}

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
    let (mut wall, mut cpu) = (Vec::new(), Vec::new());
    for _ in 0..runs {
        let (start, start_cpu) = (Instant::now(), thread_cpu_seconds());
        for &landblock in &landblocks {
            bytes += session.bake(landblock).map_or(0, |b| b.len());
        }
        wall.push(start.elapsed().as_secs_f64() * 1e6 / landblocks.len() as f64);
        cpu.push((thread_cpu_seconds() - start_cpu) * 1e6 / landblocks.len() as f64);
    }
    println!(
        "rust BakeSession::bake: {:.2} us wall, {:.2} us CPU per bake (medians of {runs} passes over {} landblocks; CPU {:.2?}; {bytes} bytes)",
        median(wall), median(cpu.clone()), landblocks.len(), cpu
    );
    Ok(())
}
