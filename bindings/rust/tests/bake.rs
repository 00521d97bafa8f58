// The crate against `ravelin-bake` over a sample world: every landblock's bake,
// one-off and through a session on two threads, the records it shows, and the
// errors it gives. ravelin-bake is RAVELIN_BAKE, else RAVELIN_BUILD_DIR/tools/ravelin-bake.
use std::ffi::OsStr;
use std::os::unix::ffi::OsStrExt;
use std::path::{Path, PathBuf};
use std::process::Command;
use std::sync::OnceLock;

use ravelin::{Archive, BakeOptions, BakeSession, Status};

fn ravelin_bake() -> PathBuf {
    if let Some(path) = std::env::var_os("RAVELIN_BAKE") {
        return PathBuf::from(path);
    }
    let build = std::env::var_os("RAVELIN_BUILD_DIR").expect("set RAVELIN_BAKE or RAVELIN_BUILD_DIR");
    PathBuf::from(build).join("tools/ravelin-bake")
}

/// The command's standard output; its stderr less "error: " when it fails.
fn run(args: &[&OsStr]) -> Result<Vec<u8>, String> {
    let output = Command::new(ravelin_bake()).args(args).output().expect("ravelin-bake runs");
    if output.status.success() {
        Ok(output.stdout)
    } else {
        let text = String::from_utf8_lossy(&output.stderr).into_owned();
        Err(text.trim_end().trim_start_matches("error: ").to_string())
    }
}

fn world() -> &'static Path {
    static WORLD: OnceLock<PathBuf> = OnceLock::new();
    WORLD.get_or_init(|| {
        let dir = PathBuf::from(env!("CARGO_TARGET_TMPDIR")).join("sample-world");
        let _ = std::fs::remove_dir_all(&dir);
        run(&["sample-world".as_ref(), dir.as_os_str()]).expect("sample-world");
        dir
    })
}

fn command_bake(landblock: u32, extra: &[&str]) -> Result<Vec<u8>, String> {
    let landblock = format!("0x{:04X}", landblock >> 16);
    let mut args: Vec<&OsStr> = vec!["bake".as_ref(), "--dat-dir".as_ref(), world().as_os_str()];
    args.extend(["--landblock", &landblock].iter().map(|s| OsStr::new(*s)));
    args.extend(extra.iter().map(|s| OsStr::new(*s)));
    run(&args)
}

#[test]
fn every_landblock_bakes_as_the_command_does() {
    let session = BakeSession::open(world(), &BakeOptions::default()).unwrap();
    let landblocks = session.landblocks().unwrap();
    assert_eq!(landblocks.len(), 9);
    for &landblock in &landblocks {
        let expected = command_bake(landblock, &[]).unwrap();
        assert_eq!(session.bake(landblock).unwrap(), expected, "session, 0x{landblock:08X}");
        assert_eq!(ravelin::bake(world(), landblock, &BakeOptions::default()).unwrap(), expected);
    }
    let no_sky = BakeOptions { sky: false, ..BakeOptions::default() };
    assert_eq!(ravelin::bake(world(), 0xA9B4, &no_sky).unwrap(), command_bake(0xA9B4_0000, &["--no-sky"]).unwrap());
}

#[test]
fn bakes_with_inputs_give_the_same_bytes_and_lists() {
    let session = BakeSession::open(world(), &BakeOptions::default()).unwrap();
    for landblock in session.landblocks().unwrap() {
        let one_off = ravelin::bake_with_inputs(world(), landblock, &BakeOptions::default()).unwrap();
        let shared = session.bake_with_inputs(landblock).unwrap();
        assert_eq!(one_off, shared);
        assert_eq!(one_off.result.unwrap(), session.bake(landblock).unwrap());
        assert_eq!(one_off.inputs.cell, [landblock | 0xFFFE, landblock | 0xFFFF]);
        assert!(one_off.inputs.portal.contains(&0x1300_0000));
    }
    let failed = session.bake_with_inputs(0x0101).unwrap();
    assert_eq!(failed.result.unwrap_err().to_string(), "CellLandblock 0x0101FFFF missing from DAT");
    assert_eq!(failed.inputs.cell, [0x0101_FFFF]);
    assert_eq!(session.bake_with_inputs(0x1FFFF).unwrap_err().status(), Status::Argument);
}

#[test]
fn event_families_open_the_manifest_lines_in_order() {
    let families = ravelin::event_families();
    let python: Vec<&str> = families.iter().map(|f| f.python).collect();
    assert_eq!(python, ["ambient", "animation_sound", "physics_particle", "sky"]);
    assert_eq!((families[0].source, families[0].trigger), ("ambient", "terrain"));
    // Each line opens with its family's source and trigger, the families in table order, each present.
    let jsonl = String::from_utf8(command_bake(0xA9B4_0000, &[]).unwrap()).unwrap();
    let mut lines = vec![0usize; families.len()];
    let mut family = 0;
    for line in jsonl.lines() {
        while family < families.len()
            && !line.starts_with(&format!(r#"{{"source":"{}","trigger":"{}","#, families[family].source, families[family].trigger))
        {
            family += 1;
        }
        assert!(family < families.len(), "{line}");
        lines[family] += 1;
    }
    assert!(lines.iter().all(|&n| n > 0), "{lines:?}");
}

fn assert_send_sync<T: Send + Sync>() {}

#[test]
fn a_session_bakes_on_two_threads() {
    assert_send_sync::<BakeSession>();
    assert_send_sync::<Archive>();
    let session = BakeSession::open(world(), &BakeOptions::default()).unwrap();
    let landblocks = session.landblocks().unwrap();
    let one_off: Vec<Vec<u8>> =
        landblocks.iter().map(|&lb| ravelin::bake(world(), lb, &BakeOptions::default()).unwrap()).collect();
    std::thread::scope(|scope| {
        for _ in 0..2 {
            scope.spawn(|| {
                for (landblock, expected) in landblocks.iter().zip(&one_off) {
                    assert_eq!(&session.bake(*landblock).unwrap(), expected);
                }
            });
        }
    });
}

#[test]
fn archives_give_the_bytes_and_documents_of_dat_get_and_show() {
    let path = world().join("client_portal.dat");
    let archive = Archive::open(&path).unwrap();
    assert!(archive.entry_count().unwrap() > 0);
    let region = run(&["dat".as_ref(), "get".as_ref(), path.as_os_str(), "0x13000000".as_ref()]).unwrap();
    assert_eq!(archive.get_file(0x1300_0000).unwrap(), region);
    let mut shown = run(&["dat".as_ref(), "show".as_ref(), "--compact".as_ref(), path.as_os_str(), "0x13000000".as_ref()]).unwrap();
    assert_eq!(shown.pop(), Some(b'\n'));
    assert_eq!(archive.show(0x1300_0000, None, true).unwrap().as_bytes(), shown);
    assert_eq!(archive.show(0x1300_0000, Some("region"), true).unwrap().as_bytes(), shown);
}

#[test]
fn errors_carry_the_status_and_the_text() {
    let missing = world().join("missing");
    let error = ravelin::bake(&missing, 0xA9B4, &BakeOptions::default()).unwrap_err();
    let expected = run(&["bake".as_ref(), "--dat-dir".as_ref(), missing.as_os_str(), "--landblock".as_ref(), "0xA9B4".as_ref()])
        .unwrap_err();
    assert_eq!((error.status(), error.to_string()), (Status::Bake, expected.clone()));
    let error = BakeSession::open(&missing, &BakeOptions::default()).unwrap_err();
    assert_eq!((error.status(), error.to_string()), (Status::Bake, expected));

    let archive = Archive::open(world().join("client_portal.dat")).unwrap();
    let cases: Vec<(ravelin::Error, Status, &str)> = vec![
        (archive.get_file(0x13FF_FFFF).unwrap_err(), Status::Dat, "File ID 13FFFFFF not found in provider"),
        (archive.show(0x1300_0000, Some("regoin"), true).unwrap_err(), Status::Argument, "unknown record type 'regoin'"),
        (ravelin::bake(world(), 0x1FFFF, &BakeOptions::default()).unwrap_err(), Status::Argument,
         "not a landblock: 0x0001FFFF (a number up to 0xFFFF or a whole id 0xLLLL0000)"),
        (ravelin::bake(Path::new(OsStr::from_bytes(b"/tmp/\xC3\x28")), 0xA9B4, &BakeOptions::default()).unwrap_err(),
         Status::Argument, "ravelin_bake: dat_dir is not UTF-8"),
        (ravelin::bake(Path::new(OsStr::from_bytes(b"/tmp/a\0b")), 0xA9B4, &BakeOptions::default()).unwrap_err(),
         Status::Argument, "dat_dir holds a NUL byte"),
        (Archive::open(world().join("missing.dat")).unwrap_err(), Status::Dat, "missing.dat"),
    ];
    for (error, status, text) in cases {
        assert_eq!(error.status(), status, "{error}");
        assert!(error.to_string().contains(text), "{error:?} lacks {text:?}");
    }
}
