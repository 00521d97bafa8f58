// The _ravelin extension module: the archive reader and the landblock bake.
// The public API is the ravelin package, which wraps this module.
#include <pybind11/pybind11.h>

#include "bindings.h"
#include "ravelin/version.h"

namespace py = pybind11;

PYBIND11_MODULE(_ravelin, m) {
  m.doc() = "Archive reader and landblock event bake (use the ravelin package).";
  m.attr("__version__") = ravelin::kVersion;
  py::register_exception<ravelin::python::DatErrorException>(m, "DatError").doc() =
      "An archive could not be opened or a file could not be fetched; str() is the library's message.";
  py::register_exception<ravelin::python::BakeErrorException>(m, "BakeError").doc() =
      "A landblock bake failed; str() is the text ravelin-bake prints after \"error: \".";
  ravelin::python::bind_dat_database(m);
  ravelin::python::bind_bake(m);
  ravelin::python::bind_diff(m);
  ravelin::python::bind_editor(m);

  // Records as JSON documents, both ways.
  py::register_exception<ravelin::python::RecordErrorException>(m, "RecordError", PyExc_ValueError).doc() =
      "A record document that is not a record of its type; str() names the value's JSON Pointer and what was "
      "expected there.";
  ravelin::python::bind_records(m);
  ravelin::python::bind_patch(m);
  ravelin::python::bind_folder(m);
}
