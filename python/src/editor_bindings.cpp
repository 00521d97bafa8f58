// ravelin._ravelin.ArchiveEditor and check_archive: the archive editor and the
// structural check. Failures raise DatError with the text `ravelin-bake dat
// put` / `dat rm` print after "error: ", and a `kind` attribute naming the
// editor's error kind. Commits and compressed puts release the GIL; an editor
// is used from one thread at a time, so a call made while another thread is
// inside one raises RuntimeError instead of racing it.
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "arguments.h"
#include "bindings.h"
#include "ravelin/dat/archive_check.h"
#include "ravelin/dat/archive_editor.h"
#include "ravelin/dat/archive_folder.h"
#include "ravelin/dat/lib.h"
#include "ravelin/dat/record_put.h"

namespace py = pybind11;

namespace ravelin::python {
namespace {

const char* kind_name(dat::EditError::Kind kind) {
  using Kind = dat::EditError::Kind;
  switch (kind) {
    case Kind::Busy: return "busy";
    case Kind::Refused: return "refused";
    case Kind::NotFound: return "not_found";
    case Kind::TooLarge: return "too_large";
    case Kind::Io: return "io";
    case Kind::Archive: return "archive";
  }
  return "unknown";
}

// The module's DatError, set by bind_editor (the module keeps it alive).
py::handle dat_error_type;

// DatError(text) with `kind` set. Needs the GIL.
[[noreturn]] void raise_edit_error(const dat::EditError& error) {
  py::object instance = dat_error_type(error.to_string());
  instance.attr("kind") = kind_name(error.kind());
  PyErr_SetObject(dat_error_type.ptr(), instance.ptr());
  throw py::error_already_set();
}

struct PyArchiveEditor {
  std::filesystem::path path;
  // Null once closed; a call holds its own reference, so close() while a
  // commit runs on another thread releases the editor after it.
  std::shared_ptr<dat::ArchiveEditor> open;
  bool in_call = false;  // a call has released the GIL and not yet returned
};

// The editor for one call, marked in use until the call returns. Needs the GIL.
class EditorCall {
 public:
  explicit EditorCall(PyArchiveEditor& self) : self_(self) {
    if (!self.open) throw py::value_error("ArchiveEditor is closed");
    if (self.in_call) throw std::runtime_error("ArchiveEditor is in use by another thread");
    editor_ = self.open;
    self.in_call = true;
  }
  EditorCall(const EditorCall&) = delete;
  EditorCall& operator=(const EditorCall&) = delete;
  ~EditorCall() { self_.in_call = false; }
  dat::ArchiveEditor& operator*() const { return *editor_; }
  dat::ArchiveEditor* operator->() const { return editor_.get(); }

 private:
  PyArchiveEditor& self_;
  std::shared_ptr<dat::ArchiveEditor> editor_;
};

std::unique_ptr<PyArchiveEditor> adopt(const std::filesystem::path& path, dat::EditResult<dat::ArchiveEditor> opened) {
  if (!opened) raise_edit_error(opened.error());
  return std::make_unique<PyArchiveEditor>(
      PyArchiveEditor{path, std::make_shared<dat::ArchiveEditor>(std::move(*opened)), false});
}

std::unique_ptr<PyArchiveEditor> open_editor(const std::filesystem::path& path) {
  auto opened = [&] {
    py::gil_scoped_release unlocked;
    return dat::ArchiveEditor::open(path);
  }();
  return adopt(path, std::move(opened));
}

// block_size 0 takes like's; the package checks that `like` is given then.
std::unique_ptr<PyArchiveEditor> create_editor(const std::filesystem::path& path, std::uint32_t block_size,
                                               const std::optional<std::filesystem::path>& like) {
  dat::DatHeader kept;
  if (like) {
    auto db = dat::DatDatabase::open(*like);
    if (!db) throw DatErrorException(db.error().to_string());
    kept = db->header();
    if (block_size == 0) block_size = kept.block_size;
  }
  auto created = [&] {
    py::gil_scoped_release unlocked;
    return dat::ArchiveEditor::create(path, block_size, kept);
  }();
  return adopt(path, std::move(created));
}

// The bytes of a bytes-like object: contiguous, as PyBUF_SIMPLE asks (a
// strided memoryview is a BufferError, text a TypeError). Needs the GIL to
// make and to release; the bytes may be read without it.
class ByteView {
 public:
  explicit ByteView(py::handle object) {
    if (PyObject_GetBuffer(object.ptr(), &view_, PyBUF_SIMPLE) != 0) throw py::error_already_set();
  }
  ByteView(const ByteView&) = delete;
  ByteView& operator=(const ByteView&) = delete;
  ~ByteView() { PyBuffer_Release(&view_); }
  std::span<const std::uint8_t> bytes() const {
    return {static_cast<const std::uint8_t*>(view_.buf), static_cast<std::size_t>(view_.len)};
  }

 private:
  Py_buffer view_{};
};

std::optional<std::uint32_t> optional_u32(const py::handle& value, std::string_view what) {
  if (value.is_none()) return std::nullopt;
  return u32_argument(value, what);
}

void put(PyArchiveEditor& self, py::handle id_arg, py::handle data, bool compressed, py::handle flags,
         py::handle timestamp, py::handle version) {
  const std::uint32_t id = file_id_argument(id_arg);
  dat::PutOptions options;
  options.compress = compressed;
  options.flags = optional_u32(flags, "flags value");
  options.timestamp = optional_u32(timestamp, "timestamp");
  options.version = optional_u32(version, "version");
  const ByteView bytes(data);
  EditorCall editor(self);
  auto done = [&] {
    // Compressing a large body takes a while: let other threads run.
    std::optional<py::gil_scoped_release> unlocked;
    if (compressed) unlocked.emplace();
    return editor->put(id, bytes.bytes(), options);
  }();
  if (!done) raise_edit_error(done.error());
}

void put_stored(PyArchiveEditor& self, py::handle id_arg, py::handle stored, py::handle bit_flags,
                py::handle timestamp, py::handle version) {
  const std::uint32_t id = file_id_argument(id_arg);
  const std::uint32_t flags = u32_argument(bit_flags, "flags value");
  const std::uint32_t time = u32_argument(timestamp, "timestamp");
  const std::uint32_t file_version = u32_argument(version, "version");
  const ByteView bytes(stored);
  EditorCall editor(self);
  if (auto done = editor->put_stored(id, bytes.bytes(), flags, time, file_version); !done)
    raise_edit_error(done.error());
}

// The record's document as JSON text (the package writes it from a dict).
// A document that is not a record of its type raises RecordError, an id that is
// no record ValueError, the editor's failures DatError with their kind.
void put_record(PyArchiveEditor& self, py::handle id_arg, const std::string& json) {
  const std::uint32_t id = file_id_argument(id_arg);
  EditorCall editor(self);
  auto done = [&] {
    py::gil_scoped_release unlocked;
    return dat::put_record_json(*editor, id, json);
  }();
  if (done) return;
  if (const dat::EditError* edit = done.error().edit_error()) raise_edit_error(*edit);
  if (done.error().document_error() != nullptr) throw RecordErrorException(done.error().to_string());
  throw py::value_error(done.error().to_string());
}

void remove(PyArchiveEditor& self, py::handle id_arg) {
  const std::uint32_t id = file_id_argument(id_arg);
  EditorCall editor(self);
  if (auto done = editor->remove(id); !done) raise_edit_error(done.error());
}

// (blocks_written, blocks_reused, blocks_appended, blocks_freed,
// blocks_reclaimed, blocks_left_leaked, reuse); the package names them.
py::tuple commit(PyArchiveEditor& self) {
  EditorCall editor(self);
  auto done = [&] {
    py::gil_scoped_release unlocked;
    return editor->commit();
  }();
  if (!done) raise_edit_error(done.error());
  const dat::CommitStats& s = *done;
  return py::make_tuple(s.blocks_written, s.blocks_reused, s.blocks_appended, s.blocks_freed, s.blocks_reclaimed,
                        s.blocks_left_leaked, s.reuse);
}

// (id, bit_flags, size, timestamp, version) of the pending state's entry, or None.
py::object entry(PyArchiveEditor& self, py::handle id_arg) {
  const std::uint32_t id = file_id_argument(id_arg);
  EditorCall editor(self);
  const std::optional<dat::DatFileEntry> found = editor->find(id);
  if (!found) return py::none();
  return py::make_tuple(found->id, found->bit_flags, found->size, found->timestamp, found->version);
}

// As DatDatabase's `in`: an int or command-line text; anything else is not in it.
bool contains(PyArchiveEditor& self, py::handle id_arg) {
  std::optional<std::uint32_t> id;
  if (py::isinstance<py::str>(id_arg)) {
    id = parse_u32(id_arg.cast<std::string>());
  } else if (py::isinstance<py::int_>(id_arg) && !py::isinstance<py::bool_>(id_arg)) {
    const py::int_ number = py::reinterpret_borrow<py::int_>(id_arg);
    if (number >= py::int_(0) && number <= py::int_(0xFFFFFFFFu)) id = number.cast<std::uint32_t>();
  }
  EditorCall editor(self);
  return id && editor->find(*id).has_value();
}

// (JSON Lines, text): what `ravelin-bake dat check --json` and `dat check` print.
py::tuple check(const std::filesystem::path& path) {
  auto report = [&] {
    py::gil_scoped_release unlocked;
    return dat::check_archive(path);
  }();
  if (!report) throw DatErrorException(report.error().to_string());
  return py::make_tuple(dat::check_report_json_lines(*report), dat::check_report_text(*report));
}

// Puts entries of the archive at `from_path` into the batch with their stored
// bytes and fields: (added, replaced).
py::tuple copy_from(PyArchiveEditor& self, const std::filesystem::path& from_path, const py::iterable& ids) {
  std::vector<std::uint32_t> chosen;
  for (const py::handle id : ids) chosen.push_back(file_id_argument(id));
  EditorCall editor(self);
  auto done = [&]() -> dat::EditResult<dat::CopyStats> {
    py::gil_scoped_release unlocked;
    auto from = dat::DatDatabase::open(from_path);
    if (!from) return std::unexpected(dat::EditError::archive(from_path, from.error()));
    return dat::copy_entries(*from, from_path, *editor, chosen);
  }();
  if (!done) raise_edit_error(done.error());
  return py::make_tuple(done->added, done->replaced);
}

}  // namespace

void bind_editor(py::module_& m) {
  dat_error_type = m.attr("DatError");
  py::options options;
  options.disable_function_signatures();
  py::class_<PyArchiveEditor>(m, "ArchiveEditor")
      .def(py::init(&open_editor), py::arg("path"),
           "__init__(self, path: str | os.PathLike[str]) -> None\n\n"
           "Opens the archive for changing; DatError (kind \"busy\", \"refused\", ...) on failure.")
      .def_static("_create", &create_editor, py::arg("path"), py::arg("block_size"), py::arg("like"),
                  "_create(path, block_size: int, like: path | None) -> ArchiveEditor\n\n"
                  "Writes a new empty archive and opens it; block_size 0 takes like's.")
      .def_property_readonly(
          "path", [](const PyArchiveEditor& self) { return self.path; }, "The path the archive was opened from.")
      .def("put", &put, py::arg("file_id"), py::arg("data"), py::arg("compressed"), py::arg("flags"),
           py::arg("timestamp"), py::arg("version"),
           "put(self, file_id: int, data: bytes, compressed: bool, flags: int | None, timestamp: int | None, "
           "version: int | None) -> None")
      .def("put_stored", &put_stored, py::arg("file_id"), py::arg("stored"), py::arg("bit_flags"),
           py::arg("timestamp"), py::arg("version"),
           "put_stored(self, file_id: int, stored: bytes, bit_flags: int, timestamp: int, version: int) -> None")
      .def("put_record", &put_record, py::arg("file_id"), py::arg("json"),
           "put_record(self, file_id: int, json: str) -> None")
      .def("remove", &remove, py::arg("file_id"), "remove(self, file_id: int) -> None")
      .def("commit", &commit, "commit(self) -> tuple[int, int, int, int, int, int, bool]")
      .def(
          "abandon", [](PyArchiveEditor& self) { EditorCall(self)->abandon(); }, "abandon(self) -> None")
      .def(
          "close",
          [](PyArchiveEditor& self) {
            // Outside the GIL: dropping the editor releases its file lock.
            std::shared_ptr<dat::ArchiveEditor> dropped = std::move(self.open);
            py::gil_scoped_release unlocked;
            dropped.reset();
          },
          "close(self) -> None")
      .def_property_readonly(
          "closed", [](const PyArchiveEditor& self) { return self.open == nullptr; }, "Whether close() was called.")
      .def(
          "__len__", [](PyArchiveEditor& self) { return EditorCall(self)->entry_count(); }, "__len__(self) -> int")
      .def("__contains__", &contains, py::arg("file_id"), "__contains__(self, file_id: object) -> bool")
      .def("entry", &entry, py::arg("file_id"),
           "entry(self, file_id: int) -> tuple[int, int, int, int, int] | None");
  m.def("check_archive", &check, py::arg("path"),
        "check_archive(path: str | os.PathLike[str]) -> tuple[str, str]\n\n"
        "The JSON Lines and the text of `ravelin-bake dat check`; DatError when the file cannot be read.");
  py::object editor_class = m.attr("ArchiveEditor");
  editor_class.attr("copy_from") =
      py::cpp_function(&copy_from, py::name("copy_from"), py::is_method(editor_class),
                       py::sibling(py::getattr(editor_class, "copy_from", py::none())), py::arg("from_path"),
                       py::arg("ids"), "copy_from(self, from_path, ids: Iterable[int]) -> tuple[int, int]");
}

}  // namespace ravelin::python
