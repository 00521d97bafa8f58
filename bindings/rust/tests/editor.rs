// The editor, copy_from, extract and pack against `ravelin-bake dat cp|extract|pack|ls` over
// copies of a sample world: the same archive bytes and the same folders.
use std::collections::BTreeMap;
use std::path::{Path, PathBuf};
use std::process::Command;

use ravelin::{Archive, Editor, ExtractOptions, PutOptions, Status};

fn ravelin_bake() -> PathBuf {
    if let Some(path) = std::env::var_os("RAVELIN_BAKE") {
        return PathBuf::from(path);
    }
    let build = std::env::var_os("RAVELIN_BUILD_DIR").expect("set RAVELIN_BAKE or RAVELIN_BUILD_DIR");
    PathBuf::from(build).join("tools/ravelin-bake")
}

/// The command's standard output; its stderr less "error: " when it fails.
fn run(args: &[&str]) -> Result<Vec<u8>, String> {
    let output = Command::new(ravelin_bake()).args(args).output().expect("ravelin-bake runs");
    if output.status.success() {
        Ok(output.stdout)
    } else {
        Err(String::from_utf8_lossy(&output.stderr).trim_end().trim_start_matches("error: ").to_string())
    }
}

/// A fresh directory with a sample world in `world/`.
fn scratch(name: &str) -> PathBuf {
    let dir = PathBuf::from(env!("CARGO_TARGET_TMPDIR")).join(name);
    let _ = std::fs::remove_dir_all(&dir);
    std::fs::create_dir_all(&dir).unwrap();
    run(&["sample-world", dir.join("world").to_str().unwrap()]).expect("sample-world");
    dir
}

fn s(path: &Path) -> &str {
    path.to_str().unwrap()
}

fn folder(dir: &Path) -> BTreeMap<PathBuf, Vec<u8>> {
    let mut out = BTreeMap::new();
    let mut pending = vec![dir.to_path_buf()];
    while let Some(at) = pending.pop() {
        for entry in std::fs::read_dir(&at).unwrap() {
            let path = entry.unwrap().path();
            if path.is_dir() {
                pending.push(path);
            } else {
                out.insert(path.strip_prefix(dir).unwrap().to_path_buf(), std::fs::read(&path).unwrap());
            }
        }
    }
    out
}

#[test]
fn copy_from_gives_the_archive_dat_cp_gives() {
    let dir = scratch("editor-copy");
    let portal = dir.join("world/client_portal.dat");
    // Targets of another block size: the cell archive packed again.
    run(&["dat", "extract", "--stored", s(&dir.join("world/client_cell_1.dat")), s(&dir.join("cell"))]).unwrap();
    run(&["dat", "pack", s(&dir.join("cell")), "-o", s(&dir.join("a.dat")), "--block-size", "128"]).unwrap();
    std::fs::copy(dir.join("a.dat"), dir.join("b.dat")).unwrap();

    let source = Archive::open(&portal).unwrap();
    let ids = [0x0200_0101u32, 0x0300_0200, 0x1300_0000];
    let texts: Vec<String> = ids.iter().map(|id| format!("0x{id:08X}")).collect();
    let target = dir.join("a.dat");
    let mut args = vec!["dat", "cp", s(&portal), s(&target)];
    args.extend(texts.iter().map(String::as_str));
    run(&args).unwrap();

    let mut editor = Editor::open(dir.join("b.dat")).unwrap();
    let before = editor.entry_count().unwrap();
    editor.copy_from(&source, &ids).unwrap();
    assert_eq!(editor.entry_count().unwrap(), before + ids.len());
    assert!(editor.find(0x0300_0200).unwrap().is_some());
    editor.commit().unwrap();
    drop(editor);
    assert_eq!(std::fs::read(dir.join("b.dat")).unwrap(), std::fs::read(dir.join("a.dat")).unwrap());
    assert_eq!(run(&["dat", "ls", s(&dir.join("b.dat"))]), run(&["dat", "ls", s(&dir.join("a.dat"))]));
    let copied = Archive::open(dir.join("b.dat")).unwrap();
    for id in ids {
        assert_eq!(copied.get_file(id).unwrap(), source.get_file(id).unwrap());
    }

    // An id the source lacks: the CLI's error, nothing put.
    let mut editor = Editor::open(dir.join("b.dat")).unwrap();
    let missing = editor.copy_from(&source, &[0x0300_0200, 0x0BAD_BEEF]).unwrap_err();
    assert_eq!(missing.status(), Status::NotFound);
    let cli = run(&["dat", "cp", s(&portal), s(&dir.join("a.dat")), "0x03000200", "0x0BADBEEF"]).unwrap_err();
    assert_eq!(missing.message(), cli);
    editor.abandon().unwrap();
    // A second editor of the same archive: Busy.
    assert_eq!(Editor::open(dir.join("b.dat")).unwrap_err().status(), Status::Busy);
}

#[test]
fn editor_calls_and_a_commit_on_another_thread() {
    let dir = scratch("editor-calls");
    let portal = dir.join("world/client_portal.dat");
    let mut editor = Editor::create(dir.join("new.dat"), 64, Some(&portal)).unwrap();
    editor.put(0x0A00_0001, b"sound bytes sound bytes sound bytes", &PutOptions { compressed: true, timestamp: Some(9), ..Default::default() }).unwrap();
    editor.put_stored(0x0A00_0002, b"stored", 0x10, 7, 8).unwrap();
    editor.put(0x0A00_0003, b"gone", &PutOptions::default()).unwrap();
    editor.remove(0x0A00_0003).unwrap();
    assert_eq!(editor.remove(0x0A00_0003).unwrap_err().status(), Status::NotFound);
    let stored = editor.find(0x0A00_0002).unwrap().unwrap();
    assert_eq!((stored.bit_flags, stored.size, stored.timestamp, stored.version), (0x10, 6, 7, 8));
    // Send: the commit runs on another thread.
    let (editor, stats) = std::thread::spawn(move || {
        let stats = editor.commit().unwrap();
        (editor, stats)
    })
    .join()
    .unwrap();
    assert!(stats.blocks_written > 0);
    assert_eq!(editor.entry_count().unwrap(), 2);
    drop(editor);
    let archive = Archive::open(dir.join("new.dat")).unwrap();
    assert_eq!(archive.get_file(0x0A00_0001).unwrap(), b"sound bytes sound bytes sound bytes");
    assert_eq!(archive.get_file(0x0A00_0002).unwrap(), b"stored");
    run(&["dat", "check", s(&dir.join("new.dat"))]).unwrap();
}

#[test]
fn extract_and_pack_as_the_cli() {
    let dir = scratch("editor-folders");
    let portal = dir.join("world/client_portal.dat");
    for stored in [false, true] {
        let (cli, lib) = (dir.join(format!("cli-{stored}")), dir.join(format!("lib-{stored}")));
        let mut args = vec!["dat", "extract", s(&portal), s(&cli)];
        if stored {
            args.push("--stored");
        }
        run(&args).unwrap();
        ravelin::extract(&portal, &lib, &ExtractOptions { stored, ..Default::default() }).unwrap();
        assert_eq!(folder(&lib), folder(&cli));
        run(&["dat", "pack", s(&cli), "-o", s(&dir.join("cli.dat"))]).unwrap();
        ravelin::pack(&lib, dir.join("lib.dat"), None).unwrap();
        assert_eq!(std::fs::read(dir.join("lib.dat")).unwrap(), std::fs::read(dir.join("cli.dat")).unwrap());
        let again = ravelin::extract(&portal, &lib, &ExtractOptions { stored, ..Default::default() }).unwrap_err();
        assert_eq!(again.status(), Status::Argument);
        assert!(again.message().ends_with("is not empty (--force writes into it)"), "{}", again.message());
    }
    let bad = ravelin::pack(dir.join("cli-true"), dir.join("bad.dat"), Some(10)).unwrap_err();
    assert_eq!(bad.status(), Status::Argument);
    assert_eq!(bad.message(), "block size 10: must be more than 8 and a multiple of 4");
    assert!(!dir.join("bad.dat").exists());
}
