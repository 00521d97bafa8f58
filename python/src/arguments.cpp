#include "arguments.h"

#include <string>

namespace py = pybind11;

namespace ravelin::python {
namespace {

[[noreturn]] void throw_not_u32(std::string_view what, const std::string& shown) {
  throw py::value_error("not a 32-bit " + std::string(what) + ": " + shown);
}

bool is_plain_int(py::handle value) { return py::isinstance<py::int_>(value) && !py::isinstance<py::bool_>(value); }

std::uint32_t int_to_u32(py::handle value, std::string_view what) {
  // Compare as Python ints first: the value may be far beyond 64 bits.
  const py::int_ number = py::reinterpret_borrow<py::int_>(value);
  if (number < py::int_(0) || number > py::int_(0xFFFFFFFFu)) throw_not_u32(what, py::str(value).cast<std::string>());
  return number.cast<std::uint32_t>();
}

}  // namespace

std::uint32_t u32_argument(py::handle value, std::string_view what) {
  if (is_plain_int(value)) return int_to_u32(value, what);
  if (py::isinstance<py::str>(value)) {
    const auto text = value.cast<std::string>();
    if (const auto parsed = parse_u32(text)) return *parsed;
    throw_not_u32(what, text);
  }
  throw py::type_error(std::string(what) + " must be an int or a str, not " +
                       py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>());
}

std::uint32_t landblock_argument(py::handle value) {
  if (py::isinstance<py::str>(value)) {
    auto id = dat::parse_landblock(value.cast<std::string>());
    if (!id) throw py::value_error(id.error());
    return *id;
  }
  const std::uint32_t number = u32_argument(value, "landblock");
  if (const auto id = dat::landblock_id_from(number)) return *id;
  throw py::value_error(dat::parse_landblock(py::str(value).cast<std::string>()).error());
}

std::uint32_t file_id_argument(py::handle value) {
  if (is_plain_int(value)) return int_to_u32(value, "file id");
  throw py::type_error("file id must be an int, not " +
                       py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>());
}

}  // namespace ravelin::python
