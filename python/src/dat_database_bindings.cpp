// ravelin._ravelin.DatDatabase: one archive opened read-only. Fetches release
// the GIL; the database is immutable after opening, so any number of threads
// may fetch from it at once. Each call holds its own reference to the open
// archive, so close() while other threads fetch releases it after them.
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "arguments.h"
#include "bindings.h"
#include "ravelin/dat/lib.h"
#include "ravelin/dat/record_json.h"

namespace py = pybind11;

namespace ravelin::python {
namespace {

struct PyDatDatabase {
  std::filesystem::path path;
  std::shared_ptr<const dat::DatDatabase> open;  // null once closed

  // The open archive; ValueError after close(). Needs the GIL.
  std::shared_ptr<const dat::DatDatabase> db() const {
    if (!open) throw py::value_error("DatDatabase is closed");
    return open;
  }
};

std::unique_ptr<PyDatDatabase> open_database(const std::filesystem::path& path) {
  auto db = [&] {
    py::gil_scoped_release unlocked;
    return dat::DatDatabase::open(path);
  }();
  if (!db) throw DatErrorException(db.error().to_string());
  return std::make_unique<PyDatDatabase>(
      PyDatDatabase{path, std::make_shared<const dat::DatDatabase>(std::move(*db))});
}

// The header's fields in stored order: each word as an int, whatever form
// `dat info` shows it in, and the version bytes as bytes.
py::dict header_dict(const dat::DatHeader& h) {
  py::dict d;
  for (const dat::DatHeaderField& field : dat::kDatHeaderFields) {
    const py::str name(field.name.data(), field.name.size());
    if (field.word != nullptr) {
      d[name] = h.*field.word;
    } else {
      d[name] = py::bytes(reinterpret_cast<const char*>(h.version_string.data()), h.version_string.size());
    }
  }
  return d;
}

py::bytes get_file(const PyDatDatabase& self, py::handle id_arg) {
  const std::uint32_t id = file_id_argument(id_arg);
  const auto db = self.db();
  auto bytes = [&] {
    py::gil_scoped_release unlocked;
    return db->get_file(id);
  }();
  if (!bytes) throw DatErrorException(bytes.error().to_string());
  return py::bytes(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

// An int, or text as on the command line ("0x13000000"); anything else, or a
// value that is no 32-bit id, is not listed.
bool contains(const PyDatDatabase& self, py::handle id_arg) {
  const auto db = self.db();
  std::optional<std::uint32_t> id;
  if (py::isinstance<py::str>(id_arg)) {
    id = parse_u32(id_arg.cast<std::string>());
  } else if (py::isinstance<py::int_>(id_arg) && !py::isinstance<py::bool_>(id_arg)) {
    const py::int_ number = py::reinterpret_borrow<py::int_>(id_arg);
    if (number >= py::int_(0) && number <= py::int_(0xFFFFFFFFu)) id = number.cast<std::uint32_t>();
  }
  return id && db->find_entry(*id) != nullptr;
}

py::list file_ids(const PyDatDatabase& self) {
  const std::vector<dat::DatFileEntry> sorted = self.db()->sorted_entries();
  py::list ids(sorted.size());
  for (std::size_t i = 0; i < sorted.size(); ++i) ids[i] = py::int_(sorted[i].id);
  return ids;
}

// The compact JSON document of `dat show`; the package parses it.
std::string show(const PyDatDatabase& self, py::handle id_arg, const std::optional<std::string>& type_name) {
  const std::uint32_t id = file_id_argument(id_arg);
  std::optional<dat::RecordType> type;
  if (type_name) {
    type = dat::parse_record_type(*type_name);
    if (!type)
      throw py::value_error("unknown record type '" + *type_name + "': one of " + dat::record_type_names());
  }
  const auto db = self.db();
  auto json = [&] {
    py::gil_scoped_release unlocked;
    return dat::show_record(*db, self.path, id, type, true);
  }();
  if (!json) throw DatErrorException(json.error().to_string());
  return std::move(*json);
}

}  // namespace

void bind_dat_database(py::module_& m) {
  // Signatures are written into the docstrings: the C++ ones would name
  // pybind11 handle types.
  py::options options;
  options.disable_function_signatures();
  py::class_<PyDatDatabase>(m, "DatDatabase")
      .def(py::init(&open_database), py::arg("path"),
           "__init__(self, path: str | os.PathLike[str]) -> None\n\n"
           "Opens the archive read-only with its header and whole directory; DatError on failure.")
      .def_property_readonly(
          "path", [](const PyDatDatabase& self) { return self.path; }, "The path the archive was opened from.")
      .def_property_readonly(
          "header", [](const PyDatDatabase& self) { return header_dict(self.db()->header()); },
          "The header's seventeen fields by name: ints, version_string as 16 bytes.")
      .def(
          "__len__", [](const PyDatDatabase& self) { return self.db()->entry_count(); },
          "__len__(self) -> int\n\nNumber of directory entries.")
      .def("__contains__", &contains, py::arg("file_id"),
           "__contains__(self, file_id: object) -> bool\n\n"
           "Whether the directory lists `file_id` (an int, or text such as \"0x13000000\").")
      .def(
          "close", [](PyDatDatabase& self) { self.open.reset(); },
          "close(self) -> None\n\nReleases the archive once fetches still running have finished; later calls "
          "raise ValueError.")
      .def_property_readonly(
          "closed", [](const PyDatDatabase& self) { return self.open == nullptr; }, "Whether close() was called.")
      .def("file_ids", &file_ids, "file_ids(self) -> list[int]\n\nEvery file id of the directory, ascending.")
      .def("get_file", &get_file, py::arg("file_id"),
           "get_file(self, file_id: int) -> bytes\n\n"
           "The file's bytes, decompressed when stored compressed (as `ravelin-bake dat get`).\n"
           "DatError when the id is not listed or its blocks cannot be read; releases the GIL.")
      .def("_show", &show, py::arg("file_id"), py::arg("type"),
           "_show(self, file_id: int, type: str | None) -> str\n\nThe compact `dat show` document.");
}

}  // namespace ravelin::python
