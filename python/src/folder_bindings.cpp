// ravelin._ravelin.extract and pack: whole archives as folders and back.
// Failures raise DatError with the text `ravelin-bake dat extract` / `dat
// pack` print after "error: " and a `kind` attribute; both run without the GIL.
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "arguments.h"
#include "bindings.h"
#include "ravelin/dat/archive_folder.h"

namespace py = pybind11;

namespace ravelin::python {
namespace {

const char* kind_name(dat::FolderError::Kind kind) {
  using Kind = dat::FolderError::Kind;
  switch (kind) {
    case Kind::Io: return "io";
    case Kind::Archive: return "archive";
    case Kind::BadInput: return "bad_input";
    case Kind::NotEmpty: return "not_empty";
    case Kind::NotFound: return "not_found";
    case Kind::Busy: return "busy";
    case Kind::TooLarge: return "too_large";
  }
  return "unknown";
}

[[noreturn]] void raise_folder_error(const py::module_& m, const dat::FolderError& error) {
  py::object type = m.attr("DatError");
  py::object instance = type(error.to_string());
  instance.attr("kind") = kind_name(error.kind());
  PyErr_SetObject(type.ptr(), instance.ptr());
  throw py::error_already_set();
}

}  // namespace

void bind_folder(py::module_& m) {
  py::options options;
  options.disable_function_signatures();
  m.def(
      "extract",
      [m](const std::filesystem::path& archive, const std::filesystem::path& dir, const py::iterable& ids, bool stored,
          bool force) {
        dat::ExtractOptions chosen{.stored = stored, .force = force};
        for (const py::handle id : ids) chosen.ids.push_back(file_id_argument(id));
        auto done = [&] {
          py::gil_scoped_release unlocked;
          return dat::extract_archive(archive, dir, chosen);
        }();
        if (!done) raise_folder_error(m, done.error());
        return py::make_tuple(done->files, done->bytes);
      },
      py::arg("archive"), py::arg("dir"), py::arg("ids"), py::arg("stored"), py::arg("force"),
      "extract(archive, dir, ids: Iterable[int], stored: bool, force: bool) -> tuple[int, int]\n\n"
      "As `ravelin-bake dat extract`: (files, bytes) written.");
  m.def(
      "pack",
      [m](const std::filesystem::path& dir, const std::filesystem::path& archive, py::handle block_size) {
        dat::PackOptions chosen;
        if (!block_size.is_none()) chosen.block_size = u32_argument(block_size, "block size");
        auto done = [&] {
          py::gil_scoped_release unlocked;
          return dat::pack_folder(dir, archive, chosen);
        }();
        if (!done) raise_folder_error(m, done.error());
        return py::make_tuple(done->entries, done->nodes, done->depth, done->length);
      },
      py::arg("dir"), py::arg("archive"), py::arg("block_size"),
      "pack(dir, archive, block_size: int | None) -> tuple[int, int, int, int]\n\n"
      "As `ravelin-bake dat pack`: (entries, nodes, depth, length) written.");
}

}  // namespace ravelin::python
