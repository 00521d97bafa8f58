// Conversions of Python arguments to the library's id and path types, with the
// command line's rules for landblocks and region ids.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "ravelin/common/id_text.h"
#include "ravelin/dat/file_ids.h"

namespace ravelin::python {

using common::parse_u32;

// A 32-bit value given as an int or as the text ravelin-bake accepts. ValueError
// "not a 32-bit {what}: {value}" when out of range or malformed; TypeError for
// other types (bool included).
std::uint32_t u32_argument(pybind11::handle value, std::string_view what);

// A landblock: an int or a text, a number up to 0xFFFF or a whole landblock id
// (0xA9B40000), as ravelin-bake's --landblock takes it; ValueError with its
// message otherwise, TypeError for other types.
std::uint32_t landblock_argument(pybind11::handle value);

// A file id: an int from 0 to 0xFFFFFFFF (ValueError outside, TypeError for
// other types).
std::uint32_t file_id_argument(pybind11::handle value);

}  // namespace ravelin::python
