// ravelin._ravelin._decode_record and _encode_record: a record's bytes to its
// `dat show` document and back, as compact JSON text (the package parses and
// writes it). Both release the GIL.
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <string_view>

#include "bindings.h"
#include "ravelin/dat/record_json.h"

namespace py = pybind11;

namespace ravelin::python {
namespace {

dat::RecordType record_type_argument(const std::string& name) {
  const auto type = dat::parse_record_type(name);
  if (!type) throw py::value_error("unknown record type '" + name + "': one of " + dat::record_type_names());
  return *type;
}

std::string decode_record(const std::string& type_name, const py::bytes& data) {
  const dat::RecordType type = record_type_argument(type_name);
  const std::string_view bytes = data;
  auto json = [&] {
    py::gil_scoped_release unlocked;
    return dat::record_json(type, {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, true);
  }();
  if (!json) throw DatErrorException(json.error().to_string());
  return std::move(*json);
}

py::bytes encode_record(const std::optional<std::string>& type_name, const std::string& json) {
  std::optional<dat::RecordType> type;
  if (type_name) type = record_type_argument(*type_name);
  auto bytes = [&] {
    py::gil_scoped_release unlocked;
    return dat::encode_record_json(type, json);
  }();
  if (!bytes) throw RecordErrorException(bytes.error().to_string());
  return py::bytes(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

}  // namespace

void bind_records(py::module_& m) {
  py::options options;
  options.disable_function_signatures();
  m.def("_decode_record", &decode_record, py::arg("type"), py::arg("data"),
        "_decode_record(type: str, data: bytes) -> str\n\nThe compact `dat show` document of `data` as `type`.");
  m.def("_encode_record", &encode_record, py::arg("type"), py::arg("json"),
        "_encode_record(type: str | None, json: str) -> bytes\n\nThe record's bytes from its document.");
}

}  // namespace ravelin::python
