//! Changing archives: the editor (a batch of puts and removes published by one commit that no crash
//! can tear), files copied between archives as they are stored, and whole archives as folders.

use std::ffi::c_int;
use std::path::Path;
use std::ptr;

use crate::{c_path, check, ffi, Archive, Result};

/// How [`Editor::put`] stores a file. Fields left `None` come from the entry replaced, else 0.
#[derive(Clone, Copy, Debug, Default, PartialEq, Eq, Hash)]
pub struct PutOptions {
    /// Store the body compressed (the reader's decompression gives the bytes back).
    pub compressed: bool,
    /// bit_flags but bit 0, which `compressed` sets.
    pub flags: Option<u32>,
    pub timestamp: Option<u32>,
    pub version: Option<u32>,
}

/// An entry of the editor's pending state.
#[derive(Clone, Copy, Debug, PartialEq, Eq, Hash)]
pub struct Entry {
    pub id: u32,
    /// Bit 0: the body is stored compressed.
    pub bit_flags: u32,
    /// The stored length.
    pub size: u32,
    pub timestamp: u32,
    pub version: u32,
}

/// What a commit did, in blocks.
#[derive(Clone, Copy, Debug, Default, PartialEq, Eq, Hash)]
pub struct CommitStats {
    pub blocks_written: u64,
    pub blocks_reused: u64,
    pub blocks_appended: u64,
    pub blocks_freed: u64,
    pub blocks_reclaimed: u64,
    pub blocks_left_leaked: u64,
    /// No reader had the archive open, so blocks could be reused.
    pub reuse: bool,
}

/// One archive open for changing. No other editor, in this process or another, opens the archive
/// while this one lives ([`crate::Status::Busy`]). Dropping it drops an uncommitted batch.
///
/// `Send` but not `Sync`: an editor may move to another thread, but serves one call at a time.
#[derive(Debug)]
pub struct Editor {
    handle: *mut ffi::ravelin_editor,
}

// The C interface serves an editor from any thread, one call at a time; `&mut self` on every call
// that changes it, and no `Sync`, keep calls from overlapping.
unsafe impl Send for Editor {}

impl Editor {
    /// Opens an archive for changing; [`crate::Status::Refused`] for an archive the editor cannot
    /// change as it is (`ravelin-bake dat compact` rewrites it).
    pub fn open(path: impl AsRef<Path>) -> Result<Editor> {
        let path = c_path("path", path.as_ref())?;
        let mut handle = ptr::null_mut();
        let mut error = ptr::null_mut();
        check(unsafe { ffi::ravelin_editor_open(path.as_ptr(), &mut handle, &mut error) }, error)?;
        Ok(Editor { handle })
    }

    /// Writes a new empty archive at `path` (replacing any file there) and opens it. The header
    /// fields other than the layout's come from `like`, else zeros; `block_size` 0 takes like's.
    pub fn create(path: impl AsRef<Path>, block_size: u32, like: Option<&Path>) -> Result<Editor> {
        let path = c_path("path", path.as_ref())?;
        let like = like.map(|p| c_path("like", p)).transpose()?;
        let mut handle = ptr::null_mut();
        let mut error = ptr::null_mut();
        let like_ptr = like.as_ref().map_or(ptr::null(), |l| l.as_ptr());
        check(unsafe { ffi::ravelin_editor_create(path.as_ptr(), block_size, like_ptr, &mut handle, &mut error) }, error)?;
        Ok(Editor { handle })
    }

    /// Adds or replaces file `id` with `data`.
    pub fn put(&mut self, id: u32, data: &[u8], options: &PutOptions) -> Result<()> {
        let raw = ffi::ravelin_put_options {
            compressed: options.compressed as c_int,
            has_flags: options.flags.is_some() as c_int,
            flags: options.flags.unwrap_or(0),
            has_timestamp: options.timestamp.is_some() as c_int,
            timestamp: options.timestamp.unwrap_or(0),
            has_version: options.version.is_some() as c_int,
            version: options.version.unwrap_or(0),
        };
        let mut error = ptr::null_mut();
        check(unsafe { ffi::ravelin_editor_put(self.handle, id, data.as_ptr(), data.len(), &raw, &mut error) }, error)
    }

    /// Adds or replaces file `id` with a body stored as it is (compressed or not, as bit 0 of
    /// `bit_flags` says) and these fields.
    pub fn put_stored(&mut self, id: u32, stored: &[u8], bit_flags: u32, timestamp: u32, version: u32) -> Result<()> {
        let mut error = ptr::null_mut();
        let status = unsafe {
            ffi::ravelin_editor_put_stored(self.handle, id, stored.as_ptr(), stored.len(), bit_flags, timestamp, version, &mut error)
        };
        check(status, error)
    }

    /// Removes file `id`; [`crate::Status::NotFound`] when the pending state lacks it.
    pub fn remove(&mut self, id: u32) -> Result<()> {
        let mut error = ptr::null_mut();
        check(unsafe { ffi::ravelin_editor_remove(self.handle, id, &mut error) }, error)
    }

    /// Puts the entries `ids` names in `from` into the batch, each with its stored bytes and fields
    /// (never decompressed or compressed again), replacing ids the archive holds.
    /// [`crate::Status::NotFound`], naming `from`, when it lacks an id; then nothing is put.
    pub fn copy_from(&mut self, from: &Archive, ids: &[u32]) -> Result<()> {
        let mut error = ptr::null_mut();
        check(unsafe { ffi::ravelin_editor_copy_from(self.handle, from.handle, ids.as_ptr(), ids.len(), &mut error) }, error)
    }

    /// Publishes the batch. On failure the batch is dropped and the archive holds what it held
    /// before; the editor stays open either way.
    pub fn commit(&mut self) -> Result<CommitStats> {
        let mut raw = ffi::ravelin_commit_stats {
            blocks_written: 0,
            blocks_reused: 0,
            blocks_appended: 0,
            blocks_freed: 0,
            blocks_reclaimed: 0,
            blocks_left_leaked: 0,
            reuse: 0,
        };
        let mut error = ptr::null_mut();
        check(unsafe { ffi::ravelin_editor_commit(self.handle, &mut raw, &mut error) }, error)?;
        Ok(CommitStats {
            blocks_written: raw.blocks_written,
            blocks_reused: raw.blocks_reused,
            blocks_appended: raw.blocks_appended,
            blocks_freed: raw.blocks_freed,
            blocks_reclaimed: raw.blocks_reclaimed,
            blocks_left_leaked: raw.blocks_left_leaked,
            reuse: raw.reuse != 0,
        })
    }

    /// Drops the batch; nothing is written.
    pub fn abandon(&mut self) -> Result<()> {
        let mut error = ptr::null_mut();
        check(unsafe { ffi::ravelin_editor_abandon(self.handle, &mut error) }, error)
    }

    /// The pending state's entry for `id`.
    pub fn find(&self, id: u32) -> Result<Option<Entry>> {
        let mut found: c_int = 0;
        let mut raw = ffi::ravelin_entry { id: 0, bit_flags: 0, size: 0, timestamp: 0, version: 0 };
        let mut error = ptr::null_mut();
        check(unsafe { ffi::ravelin_editor_find(self.handle, id, &mut found, &mut raw, &mut error) }, error)?;
        Ok((found != 0).then_some(Entry {
            id: raw.id,
            bit_flags: raw.bit_flags,
            size: raw.size,
            timestamp: raw.timestamp,
            version: raw.version,
        }))
    }

    /// The number of entries of the pending state (the last commit's and the batch's).
    pub fn entry_count(&self) -> Result<usize> {
        let mut count = 0usize;
        let mut error = ptr::null_mut();
        check(unsafe { ffi::ravelin_editor_entry_count(self.handle, &mut count, &mut error) }, error)?;
        Ok(count)
    }
}

impl Drop for Editor {
    fn drop(&mut self) {
        unsafe { ffi::ravelin_editor_close(self.handle, ptr::null_mut()) };
    }
}

/// What [`extract`] writes.
#[derive(Clone, Debug, Default, PartialEq, Eq)]
pub struct ExtractOptions {
    /// Only these ids; empty: every file.
    pub ids: Vec<u32>,
    /// The stored bytes, compressed bodies as they are (`--stored`).
    pub stored: bool,
    /// Write into a folder that holds something (`--force`).
    pub force: bool,
}

/// As `ravelin-bake dat extract`: `dir/files/0xXXXXXXXX`, `dir/index.jsonl` and `dir/header.json`.
pub fn extract(archive: impl AsRef<Path>, dir: impl AsRef<Path>, options: &ExtractOptions) -> Result<()> {
    let archive = c_path("archive", archive.as_ref())?;
    let dir = c_path("dir", dir.as_ref())?;
    let mut error = ptr::null_mut();
    let status = unsafe {
        ffi::ravelin_extract(archive.as_ptr(), dir.as_ptr(), options.ids.as_ptr(), options.ids.len(),
                             options.stored as c_int, options.force as c_int, &mut error)
    };
    check(status, error)
}

/// As `ravelin-bake dat pack DIR -o ARCHIVE [--block-size N]`: `None` takes header.json's block size.
pub fn pack(dir: impl AsRef<Path>, archive: impl AsRef<Path>, block_size: Option<u32>) -> Result<()> {
    let dir = c_path("dir", dir.as_ref())?;
    let archive = c_path("archive", archive.as_ref())?;
    let mut error = ptr::null_mut();
    check(unsafe { ffi::ravelin_pack(dir.as_ptr(), archive.as_ptr(), block_size.unwrap_or(0), &mut error) }, error)
}
