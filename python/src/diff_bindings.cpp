// ravelin._ravelin.diff: the diff of two client versions, run with the GIL
// released, handed back as the lines of its four files.
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "arguments.h"
#include "bindings.h"
#include "ravelin/event_bake/diff_summary.h"
#include "ravelin/event_bake/world_diff.h"

namespace py = pybind11;

namespace ravelin::python {
namespace {

// (files lines, records lines, landblocks lines, summary.md text).
py::tuple diff(const std::filesystem::path& old_dir, const std::filesystem::path& new_dir, py::handle region, bool sky,
               std::optional<unsigned> jobs) {
  event_bake::WorldDiffOptions options;
  options.old_dir = old_dir;
  options.new_dir = new_dir;
  options.region_did = u32_argument(region, "region id");
  options.bake_sky = sky;
  options.jobs = jobs.value_or(0);
  event_bake::WorldDiffLines lines;
  std::optional<std::string> error;
  std::string summary;
  {
    py::gil_scoped_release unlocked;
    const auto result = event_bake::diff_worlds(options, lines.sinks());
    if (result) summary = event_bake::diff_summary_markdown(*result);
    else error = result.error();
  }
  if (error) throw BakeErrorException(*error);
  return py::make_tuple(lines.files, lines.records, lines.landblocks, summary);
}

}  // namespace

void bind_diff(py::module_& m) {
  m.def("diff", &diff, py::arg("old_dir"), py::arg("new_dir"), py::arg("region"), py::arg("sky"), py::arg("jobs"));
}

}  // namespace ravelin::python
