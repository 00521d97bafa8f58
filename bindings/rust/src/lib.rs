//! Ravelin from Rust: open the game client's archives, fetch and show records,
//! and bake landblock event manifests, through `libravelin.so`.
//!
//! ```no_run
//! let session = ravelin::BakeSession::open("/path/to/dats", &ravelin::BakeOptions::default())?;
//! for landblock in session.landblocks()? {
//!     let jsonl = session.bake(landblock)?; // the bytes of `ravelin-bake bake`
//!     println!("0x{:04X}: {} bytes", landblock >> 16, jsonl.len());
//! }
//! # Ok::<(), ravelin::Error>(())
//! ```

pub mod ffi;
mod editor;

pub use editor::{extract, pack, CommitStats, Editor, Entry, ExtractOptions, PutOptions};

use std::ffi::{c_char, c_void, CStr, CString};
use std::fmt;
use std::os::unix::ffi::OsStrExt;
use std::path::{Path, PathBuf};
use std::ptr;

/// The kind of failure, as the C interface's status codes.
#[derive(Clone, Copy, Debug, PartialEq, Eq, Hash)]
pub enum Status {
    /// A path that is not UTF-8 or holds a NUL, a landblock that is neither a number nor a whole id,
    /// an unknown record type, only one of `spawns_dir` and `setup_table`.
    Argument,
    /// A closed handle.
    Handle,
    /// The archive: opening it, fetching or decoding a file.
    Dat,
    /// The bake: an archive, the region, the landblock or the setup table.
    Bake,
    Memory,
    Internal,
    /// Another editor has the archive open.
    Busy,
    /// The archive cannot be edited as it is; `ravelin-bake dat compact` rewrites it.
    Refused,
    /// An id the archive (or the editor's pending state) lacks.
    NotFound,
    /// The edit would take the archive past 4 GiB; nothing changed.
    TooLarge,
    /// A file operation failed: read-only, disk full, ...
    Io,
}

impl Status {
    fn from_raw(status: ffi::ravelin_status) -> Status {
        match status {
            ffi::RAVELIN_ERROR_ARGUMENT => Status::Argument,
            ffi::RAVELIN_ERROR_HANDLE => Status::Handle,
            ffi::RAVELIN_ERROR_DAT => Status::Dat,
            ffi::RAVELIN_ERROR_BAKE => Status::Bake,
            ffi::RAVELIN_ERROR_MEMORY => Status::Memory,
            ffi::RAVELIN_ERROR_BUSY => Status::Busy,
            ffi::RAVELIN_ERROR_REFUSED => Status::Refused,
            ffi::RAVELIN_ERROR_NOT_FOUND => Status::NotFound,
            ffi::RAVELIN_ERROR_TOO_LARGE => Status::TooLarge,
            ffi::RAVELIN_ERROR_IO => Status::Io,
            _ => Status::Internal,
        }
    }
}

/// Why a call failed: its status and the display text (for a bake, what
/// `ravelin-bake bake` prints after "error: ").
#[derive(Clone, Debug, PartialEq, Eq)]
pub struct Error {
    status: Status,
    message: String,
}

impl Error {
    pub fn status(&self) -> Status {
        self.status
    }
    pub fn message(&self) -> &str {
        &self.message
    }
    fn argument(message: String) -> Error {
        Error { status: Status::Argument, message }
    }
}

impl fmt::Display for Error {
    fn fmt(&self, f: &mut fmt::Formatter<'_>) -> fmt::Result {
        f.write_str(&self.message)
    }
}

impl std::error::Error for Error {}

pub type Result<T> = std::result::Result<T, Error>;

/// Turns a call's status and error object into a Result, freeing the object.
fn check(status: ffi::ravelin_status, error: *mut ffi::ravelin_error) -> Result<()> {
    if status == ffi::RAVELIN_OK {
        return Ok(());
    }
    let message = if error.is_null() {
        unsafe { CStr::from_ptr(ffi::ravelin_status_name(status)) }.to_string_lossy().into_owned()
    } else {
        let text = unsafe { CStr::from_ptr(ffi::ravelin_error_message(error)) }.to_string_lossy().into_owned();
        unsafe { ffi::ravelin_error_free(error) };
        text
    };
    Err(Error { status: Status::from_raw(status), message })
}

/// Copies a library buffer into a Vec and frees it.
unsafe fn take_buffer<T: Copy>(data: *mut T, count: usize) -> Vec<T> {
    let copy = if count == 0 { Vec::new() } else { std::slice::from_raw_parts(data, count).to_vec() };
    ffi::ravelin_free(data as *mut c_void);
    copy
}

fn c_path(name: &str, path: &Path) -> Result<CString> {
    CString::new(path.as_os_str().as_bytes())
        .map_err(|_| Error::argument(format!("{name} holds a NUL byte: {}", path.display())))
}

/// "0.2.0": the library's version, as `ravelin-bake --version`.
pub fn version() -> String {
    unsafe { CStr::from_ptr(ffi::ravelin_version()) }.to_string_lossy().into_owned()
}

/// One event family of the manifest and every name it goes by.
#[derive(Clone, Copy, Debug, PartialEq, Eq, Hash)]
pub struct EventFamily {
    /// The "source" of its manifest lines: "ambient".
    pub source: &'static str,
    /// The "trigger" of its manifest lines: "terrain".
    pub trigger: &'static str,
    /// The table of its rows in `ravelin-bake bake-all --db`: "ambient".
    pub table: &'static str,
    /// Its list in the Python package's Bake: "ambient".
    pub python: &'static str,
    /// Its name for people: "ambient".
    pub display: &'static str,
}

/// The four event families in manifest order: ambient, animation sound, physics particle, sky.
pub fn event_families() -> Vec<EventFamily> {
    let mut table = ptr::null();
    let count = unsafe { ffi::ravelin_event_families(&mut table) };
    // The texts are the library's static ASCII.
    let text = |p: *const c_char| -> &'static str { unsafe { CStr::from_ptr(p) }.to_str().unwrap_or_default() };
    (0..count)
        .map(|i| {
            let f = unsafe { &*table.add(i) };
            EventFamily {
                source: text(f.source),
                trigger: text(f.trigger),
                table: text(f.table),
                python: text(f.python),
                display: text(f.display),
            }
        })
        .collect()
}

/// The options of `ravelin-bake bake`.
#[derive(Clone, Debug, PartialEq, Eq)]
pub struct BakeOptions {
    /// The region file id (`--region`), 0x13000000 by default.
    pub region: u32,
    /// The placed objects from a spawns manifest (`--spawns-dir`, `--setup-table`) instead of the
    /// LandblockInfo.
    pub spawns: Option<Spawns>,
    /// Whether to bake the sky particle chain (off: `--no-sky`).
    pub sky: bool,
}

#[derive(Clone, Debug, PartialEq, Eq)]
pub struct Spawns {
    pub spawns_dir: PathBuf,
    pub setup_table: PathBuf,
}

impl Default for BakeOptions {
    fn default() -> Self {
        BakeOptions { region: 0x1300_0000, spawns: None, sky: true }
    }
}

/// The C options and the strings they point into.
struct COptions {
    raw: ffi::ravelin_bake_options,
    _strings: Option<(CString, CString)>,
}

impl BakeOptions {
    fn to_c(&self) -> Result<COptions> {
        let strings = match &self.spawns {
            None => None,
            Some(s) => Some((c_path("spawns_dir", &s.spawns_dir)?, c_path("setup_table", &s.setup_table)?)),
        };
        let mut raw = ffi::ravelin_bake_options {
            region: 0,
            spawns_dir: ptr::null(),
            setup_table: ptr::null(),
            no_sky: 0,
        };
        unsafe { ffi::ravelin_bake_options_init(&mut raw) };
        raw.region = self.region;
        raw.no_sky = (!self.sky) as i32;
        if let Some((dir, table)) = &strings {
            raw.spawns_dir = dir.as_ptr();
            raw.setup_table = table.as_ptr();
        }
        Ok(COptions { raw, _strings: strings })
    }
}

/// One landblock baked from the DAT directory holding both archives: the manifest's JSON Lines,
/// exactly the bytes `ravelin-bake bake` writes. `landblock` is a number up to 0xFFFF (0xA9B4) or a
/// whole id (0xA9B40000).
pub fn bake(dat_dir: impl AsRef<Path>, landblock: u32, options: &BakeOptions) -> Result<Vec<u8>> {
    let dir = c_path("dat_dir", dat_dir.as_ref())?;
    let options = options.to_c()?;
    let mut jsonl: *mut u8 = ptr::null_mut();
    let mut size = 0usize;
    let mut error = ptr::null_mut();
    let status = unsafe { ffi::ravelin_bake(dir.as_ptr(), landblock, &options.raw, &mut jsonl, &mut size, &mut error) };
    check(status, error)?;
    Ok(unsafe { take_buffer(jsonl, size) })
}

/// The archive records a bake read or looked for, each list ascending.
#[derive(Clone, Debug, Default, PartialEq, Eq, Hash)]
pub struct Inputs {
    /// File ids of client_portal.dat.
    pub portal: Vec<u32>,
    /// File ids of client_cell_1.dat.
    pub cell: Vec<u32>,
}

/// A bake that ran, with its inputs: those are there also when the bake failed, up to the record it
/// failed on (none when an archive would not open).
#[derive(Clone, Debug, PartialEq, Eq)]
pub struct RecordedBake {
    pub result: Result<Vec<u8>>,
    pub inputs: Inputs,
}

/// Runs a C call that bakes with inputs; Err when the bake did not run at all.
fn recorded(
    call: impl FnOnce(*mut *mut u8, *mut usize, *mut ffi::ravelin_bake_inputs, *mut *mut ffi::ravelin_error) -> ffi::ravelin_status,
) -> Result<RecordedBake> {
    let mut jsonl: *mut u8 = ptr::null_mut();
    let mut size = 0usize;
    let mut raw = ffi::ravelin_bake_inputs { portal: ptr::null_mut(), portal_count: 0, cell: ptr::null_mut(), cell_count: 0 };
    let mut error = ptr::null_mut();
    let status = call(&mut jsonl, &mut size, &mut raw, &mut error);
    if status != ffi::RAVELIN_OK && status != ffi::RAVELIN_ERROR_BAKE {
        check(status, error)?;
    }
    let copy = |ids: *mut u32, count: usize| if count == 0 { Vec::new() } else { unsafe { std::slice::from_raw_parts(ids, count) }.to_vec() };
    let inputs = Inputs { portal: copy(raw.portal, raw.portal_count), cell: copy(raw.cell, raw.cell_count) };
    unsafe { ffi::ravelin_bake_inputs_free(&mut raw) };
    let result = check(status, error).map(|()| unsafe { take_buffer(jsonl, size) });
    Ok(RecordedBake { result, inputs })
}

/// [`bake`] and the records it fetched or tried to fetch. Err when the bake did not run (an argument
/// the library refuses); a failed bake is `result`'s Err, beside its inputs.
pub fn bake_with_inputs(dat_dir: impl AsRef<Path>, landblock: u32, options: &BakeOptions) -> Result<RecordedBake> {
    let dir = c_path("dat_dir", dat_dir.as_ref())?;
    let options = options.to_c()?;
    recorded(|jsonl, size, inputs, error| unsafe {
        ffi::ravelin_bake_with_inputs(dir.as_ptr(), landblock, &options.raw, jsonl, size, inputs, error)
    })
}

/// One archive, opened read-only with its whole directory. Any number of threads may fetch from it
/// at once.
#[derive(Debug)]
pub struct Archive {
    handle: *mut ffi::ravelin_archive,
}

// The C interface looks handles up under its own lock and serves an archive from any thread.
unsafe impl Send for Archive {}
unsafe impl Sync for Archive {}

impl Archive {
    pub fn open(path: impl AsRef<Path>) -> Result<Archive> {
        let path = c_path("path", path.as_ref())?;
        let mut handle = ptr::null_mut();
        let mut error = ptr::null_mut();
        check(unsafe { ffi::ravelin_archive_open(path.as_ptr(), &mut handle, &mut error) }, error)?;
        Ok(Archive { handle })
    }

    /// The number of directory entries.
    pub fn entry_count(&self) -> Result<usize> {
        let mut count = 0usize;
        let mut error = ptr::null_mut();
        check(unsafe { ffi::ravelin_archive_entry_count(self.handle, &mut count, &mut error) }, error)?;
        Ok(count)
    }

    /// The file's bytes, decompressed (`ravelin-bake dat get`).
    pub fn get_file(&self, file_id: u32) -> Result<Vec<u8>> {
        let mut data: *mut u8 = ptr::null_mut();
        let mut size = 0usize;
        let mut error = ptr::null_mut();
        check(unsafe { ffi::ravelin_archive_get_file(self.handle, file_id, &mut data, &mut size, &mut error) }, error)?;
        Ok(unsafe { take_buffer(data, size) })
    }

    /// The JSON document `ravelin-bake dat show` prints, without its newline. `record_type` is a
    /// `--type` name ("region", "setup", ...) or None to pick it from the id.
    pub fn show(&self, file_id: u32, record_type: Option<&str>, compact: bool) -> Result<String> {
        let type_name = match record_type {
            None => None,
            Some(t) => Some(CString::new(t).map_err(|_| Error::argument(format!("record type holds a NUL byte: {t:?}")))?),
        };
        let type_ptr = type_name.as_ref().map_or(ptr::null(), |t| t.as_ptr());
        let mut json: *mut c_char = ptr::null_mut();
        let mut size = 0usize;
        let mut error = ptr::null_mut();
        let status = unsafe {
            ffi::ravelin_archive_show(self.handle, file_id, type_ptr, compact as i32, &mut json, &mut size, &mut error)
        };
        check(status, error)?;
        let bytes = unsafe { take_buffer(json as *mut u8, size) };
        // The library writes its documents as UTF-8.
        String::from_utf8(bytes).map_err(|e| Error { status: Status::Internal, message: e.to_string() })
    }
}

impl Drop for Archive {
    fn drop(&mut self) {
        unsafe { ffi::ravelin_archive_close(self.handle, ptr::null_mut()) };
    }
}

/// Both archives of a DAT directory opened and the region decoded once, for any number of bakes
/// from any number of threads; decoded records are shared between the bakes.
#[derive(Debug)]
pub struct BakeSession {
    handle: *mut ffi::ravelin_session,
}

// The C interface's sessions bake from several threads at once.
unsafe impl Send for BakeSession {}
unsafe impl Sync for BakeSession {}

impl BakeSession {
    /// Fails as a bake with the same inputs would at opening the archives or decoding the region.
    pub fn open(dat_dir: impl AsRef<Path>, options: &BakeOptions) -> Result<BakeSession> {
        let dir = c_path("dat_dir", dat_dir.as_ref())?;
        let options = options.to_c()?;
        let mut handle = ptr::null_mut();
        let mut error = ptr::null_mut();
        check(unsafe { ffi::ravelin_session_open(dir.as_ptr(), &options.raw, &mut handle, &mut error) }, error)?;
        Ok(BakeSession { handle })
    }

    /// Every landblock with a CellLandblock in the cell archive, ascending, as whole ids (0xA9B40000).
    pub fn landblocks(&self) -> Result<Vec<u32>> {
        let mut ids: *mut u32 = ptr::null_mut();
        let mut count = 0usize;
        let mut error = ptr::null_mut();
        check(unsafe { ffi::ravelin_session_landblocks(self.handle, &mut ids, &mut count, &mut error) }, error)?;
        Ok(unsafe { take_buffer(ids, count) })
    }

    /// The same bytes as [`bake`] with the session's directory and options.
    pub fn bake(&self, landblock: u32) -> Result<Vec<u8>> {
        let mut jsonl: *mut u8 = ptr::null_mut();
        let mut size = 0usize;
        let mut error = ptr::null_mut();
        check(unsafe { ffi::ravelin_session_bake(self.handle, landblock, &mut jsonl, &mut size, &mut error) }, error)?;
        Ok(unsafe { take_buffer(jsonl, size) })
    }
}

impl BakeSession {
    /// [`BakeSession::bake`] with its inputs, as [`bake_with_inputs`] records them: records the
    /// session serves from its caches count for every bake that uses them.
    pub fn bake_with_inputs(&self, landblock: u32) -> Result<RecordedBake> {
        recorded(|jsonl, size, inputs, error| unsafe {
            ffi::ravelin_session_bake_with_inputs(self.handle, landblock, jsonl, size, inputs, error)
        })
    }
}

impl Drop for BakeSession {
    fn drop(&mut self) {
        unsafe { ffi::ravelin_session_close(self.handle, ptr::null_mut()) };
    }
}
