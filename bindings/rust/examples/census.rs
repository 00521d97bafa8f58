// The worked example of docs/rust.md: every landblock baked on all cores through one session.
//   cargo run --example census -- DAT_DIR
use std::sync::atomic::{AtomicUsize, Ordering};

fn main() -> Result<(), ravelin::Error> {
    let dat_dir = std::env::args().nth(1).expect("usage: census DAT_DIR");
    let session = ravelin::BakeSession::open(&dat_dir, &ravelin::BakeOptions::default())?;
    let landblocks = session.landblocks()?;
    let next = AtomicUsize::new(0);
    let bytes = AtomicUsize::new(0);
    std::thread::scope(|scope| {
        for _ in 0..std::thread::available_parallelism().map_or(1, |n| n.get()) {
            scope.spawn(|| {
                while let Some(&landblock) = landblocks.get(next.fetch_add(1, Ordering::Relaxed)) {
                    match session.bake(landblock) {
                        Ok(jsonl) => { bytes.fetch_add(jsonl.len(), Ordering::Relaxed); }
                        Err(e) => eprintln!("0x{:04X}: {e}", landblock >> 16),
                    }
                }
            });
        }
    });
    println!("{} landblocks, {} manifest bytes", landblocks.len(), bytes.into_inner());
    Ok(())
}
