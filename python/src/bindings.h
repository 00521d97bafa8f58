// The parts of the _ravelin extension module, each registered by its own
// function, and the C++ exceptions that surface as ravelin.DatError and
// ravelin.BakeError (their message is the library's display text).
#pragma once

#include <pybind11/pybind11.h>

#include <stdexcept>

namespace ravelin::python {

struct DatErrorException : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct BakeErrorException : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A record document that is not a record of its type (ravelin.RecordError, a
// ValueError): "/frames/0/hooks/0/hook_type: expected ...".
struct RecordErrorException : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// DatDatabase: header, directory, get_file, show.
void bind_dat_database(pybind11::module_& m);
// bake(), BakeSession and event_families.
void bind_bake(pybind11::module_& m);
// diff().
void bind_diff(pybind11::module_& m);
// _decode_record(), _encode_record().
void bind_records(pybind11::module_& m);
// ArchiveEditor and check_archive(); after DatError is registered.
void bind_editor(pybind11::module_& m);
// patch().
void bind_patch(pybind11::module_& m);
// ravelin._ravelin.extract and pack (folder_bindings.cpp).
void bind_folder(pybind11::module_& m);

}  // namespace ravelin::python
