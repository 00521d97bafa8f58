//! The declarations of `ravelin/ravelin.h`, by hand; `tests/header.rs` checks
//! them against the header.
#![allow(non_camel_case_types)]

use std::ffi::{c_char, c_int, c_void};

pub type ravelin_status = c_int;
pub const RAVELIN_OK: ravelin_status = 0;
pub const RAVELIN_ERROR_ARGUMENT: ravelin_status = 1;
pub const RAVELIN_ERROR_HANDLE: ravelin_status = 2;
pub const RAVELIN_ERROR_DAT: ravelin_status = 3;
pub const RAVELIN_ERROR_BAKE: ravelin_status = 4;
pub const RAVELIN_ERROR_MEMORY: ravelin_status = 5;
pub const RAVELIN_ERROR_INTERNAL: ravelin_status = 6;
pub const RAVELIN_ERROR_BUSY: ravelin_status = 7;
pub const RAVELIN_ERROR_REFUSED: ravelin_status = 8;
pub const RAVELIN_ERROR_NOT_FOUND: ravelin_status = 9;
pub const RAVELIN_ERROR_TOO_LARGE: ravelin_status = 10;
pub const RAVELIN_ERROR_IO: ravelin_status = 11;

#[repr(C)]
pub struct ravelin_error {
    _opaque: [u8; 0],
}
#[repr(C)]
pub struct ravelin_archive {
    _opaque: [u8; 0],
}
#[repr(C)]
pub struct ravelin_session {
    _opaque: [u8; 0],
}

#[repr(C)]
pub struct ravelin_editor {
    _opaque: [u8; 0],
}

#[repr(C)]
pub struct ravelin_put_options {
    pub compressed: c_int,
    pub has_flags: c_int,
    pub flags: u32,
    pub has_timestamp: c_int,
    pub timestamp: u32,
    pub has_version: c_int,
    pub version: u32,
}

#[repr(C)]
pub struct ravelin_entry {
    pub id: u32,
    pub bit_flags: u32,
    pub size: u32,
    pub timestamp: u32,
    pub version: u32,
}

#[repr(C)]
pub struct ravelin_commit_stats {
    pub blocks_written: u64,
    pub blocks_reused: u64,
    pub blocks_appended: u64,
    pub blocks_freed: u64,
    pub blocks_reclaimed: u64,
    pub blocks_left_leaked: u64,
    pub reuse: c_int,
}

#[repr(C)]
pub struct ravelin_bake_options {
    pub region: u32,
    pub spawns_dir: *const c_char,
    pub setup_table: *const c_char,
    pub no_sky: c_int,
}

#[repr(C)]
pub struct ravelin_bake_inputs {
    pub portal: *mut u32,
    pub portal_count: usize,
    pub cell: *mut u32,
    pub cell_count: usize,
}

#[repr(C)]
pub struct ravelin_event_family {
    pub source: *const c_char,
    pub trigger: *const c_char,
    pub table: *const c_char,
    pub python: *const c_char,
    pub display: *const c_char,
}

extern "C" {
    pub fn ravelin_version() -> *const c_char;
    pub fn ravelin_status_name(status: ravelin_status) -> *const c_char;
    pub fn ravelin_error_message(error: *const ravelin_error) -> *const c_char;
    pub fn ravelin_error_status(error: *const ravelin_error) -> ravelin_status;
    pub fn ravelin_error_free(error: *mut ravelin_error);
    pub fn ravelin_free(buffer: *mut c_void);
    pub fn ravelin_bake_inputs_free(inputs: *mut ravelin_bake_inputs);
    pub fn ravelin_bake_options_init(options: *mut ravelin_bake_options);
    pub fn ravelin_event_families(table: *mut *const ravelin_event_family) -> usize;
    pub fn ravelin_archive_open(path: *const c_char, archive: *mut *mut ravelin_archive, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_archive_close(archive: *mut ravelin_archive, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_archive_entry_count(archive: *mut ravelin_archive, count: *mut usize, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_archive_get_file(archive: *mut ravelin_archive, file_id: u32, data: *mut *mut u8, size: *mut usize, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_archive_show(archive: *mut ravelin_archive, file_id: u32, type_: *const c_char, compact: c_int, json: *mut *mut c_char, size: *mut usize, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_bake(dat_dir: *const c_char, landblock: u32, options: *const ravelin_bake_options, jsonl: *mut *mut u8, size: *mut usize, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_bake_with_inputs(dat_dir: *const c_char, landblock: u32, options: *const ravelin_bake_options, jsonl: *mut *mut u8, size: *mut usize, inputs: *mut ravelin_bake_inputs, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_session_open(dat_dir: *const c_char, options: *const ravelin_bake_options, session: *mut *mut ravelin_session, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_session_close(session: *mut ravelin_session, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_session_landblocks(session: *mut ravelin_session, ids: *mut *mut u32, count: *mut usize, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_session_bake(session: *mut ravelin_session, landblock: u32, jsonl: *mut *mut u8, size: *mut usize, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_session_bake_with_inputs(session: *mut ravelin_session, landblock: u32, jsonl: *mut *mut u8, size: *mut usize, inputs: *mut ravelin_bake_inputs, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_session_bake_into(session: *mut ravelin_session, landblock: u32, buffer: *mut u8, capacity: usize, size: *mut usize, overflow: *mut *mut u8, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_record_decode(type_: *const c_char, data: *const u8, size: usize, compact: c_int, json: *mut *mut c_char, json_size: *mut usize, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_record_encode(type_: *const c_char, json: *const c_char, data: *mut *mut u8, size: *mut usize, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_put_options_init(options: *mut ravelin_put_options);
    pub fn ravelin_editor_open(path: *const c_char, editor: *mut *mut ravelin_editor, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_editor_create(path: *const c_char, block_size: u32, like: *const c_char, editor: *mut *mut ravelin_editor, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_editor_put(editor: *mut ravelin_editor, id: u32, data: *const u8, size: usize, options: *const ravelin_put_options, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_editor_put_stored(editor: *mut ravelin_editor, id: u32, stored: *const u8, size: usize, bit_flags: u32, timestamp: u32, version: u32, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_editor_remove(editor: *mut ravelin_editor, id: u32, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_editor_commit(editor: *mut ravelin_editor, stats: *mut ravelin_commit_stats, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_editor_abandon(editor: *mut ravelin_editor, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_editor_close(editor: *mut ravelin_editor, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_editor_entry_count(editor: *mut ravelin_editor, count: *mut usize, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_editor_find(editor: *mut ravelin_editor, id: u32, found: *mut c_int, entry: *mut ravelin_entry, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_editor_put_record(editor: *mut ravelin_editor, id: u32, json: *const c_char, size: usize, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_archive_check(path: *const c_char, jsonl: *mut *mut c_char, size: *mut usize, faults: *mut usize, notes: *mut usize, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_editor_copy_from(editor: *mut ravelin_editor, from: *mut ravelin_archive, ids: *const u32, count: usize, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_extract(archive: *const c_char, dir: *const c_char, ids: *const u32, count: usize, stored: c_int, force: c_int, error: *mut *mut ravelin_error) -> ravelin_status;
    pub fn ravelin_pack(dir: *const c_char, archive: *const c_char, block_size: u32, error: *mut *mut ravelin_error) -> ravelin_status;
}
