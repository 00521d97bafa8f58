// ravelin._ravelin.patch: the changes between two client versions carried onto
// a third, run with the GIL released, handed back as the report's JSON lines.
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bindings.h"
#include "ravelin/event_bake/world_patch.h"

namespace py = pybind11;

namespace ravelin::python {
namespace {

// (change lines, conflict lines, totals line).
py::tuple patch(const std::filesystem::path& target, const std::filesystem::path& old_dir,
                const std::filesystem::path& new_dir, bool dry_run, bool keep_going) {
  std::vector<std::string> changes, conflicts;
  std::string totals;
  std::optional<std::string> error;
  {
    py::gil_scoped_release unlocked;
    const auto result = event_bake::patch_world({target, old_dir, new_dir, dry_run, keep_going});
    if (result) {
      for (const auto& change : result->changes) changes.push_back(change.to_json_line());
      for (const auto& conflict : result->conflicts) conflicts.push_back(conflict.to_json_line());
      totals = result->totals_json_line();
    } else {
      error = result.error();
    }
  }
  if (error) throw BakeErrorException(*error);
  return py::make_tuple(changes, conflicts, totals);
}

}  // namespace

void bind_patch(py::module_& m) {
  m.def("patch", &patch, py::arg("target"), py::arg("old_dir"), py::arg("new_dir"), py::arg("dry_run"),
        py::arg("keep_going"));
}

}  // namespace ravelin::python
