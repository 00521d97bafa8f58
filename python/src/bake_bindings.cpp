// ravelin._ravelin.bake, ravelin._ravelin.BakeSession and
// ravelin._ravelin.event_families. A bake runs and serialises its manifest with
// the GIL released and hands back the manifest bytes with the length of each
// event list, from which the Python layer builds the per-family lists.
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "arguments.h"
#include "bindings.h"
#include "ravelin/event_bake/event_family.h"
#include "ravelin/event_bake/landblock.h"
#include "ravelin/event_bake/session.h"

namespace py = pybind11;

namespace ravelin::python {
namespace {

struct BakeOutput {
  std::uint32_t landblock_id = 0;
  std::uint32_t region_did = 0;
  std::string jsonl;
  event_bake::EventCounts counts{};
  event_bake::InputRecords inputs;
};

BakeOutput summarise(const event_bake::LandblockEventBake& bake, event_bake::InputRecords inputs) {
  return {bake.landblock_id, bake.region_did, bake.to_jsonl_bytes(), bake.counts(), std::move(inputs)};
}

// (landblock_id, region_did, jsonl bytes, the count of each family in
// event_families order, (portal input ids, cell input ids)); needs the GIL.
py::tuple to_python(const BakeOutput& out) {
  py::tuple counts(out.counts.size());
  for (std::size_t i = 0; i < out.counts.size(); ++i) counts[i] = out.counts[i];
  return py::make_tuple(out.landblock_id, out.region_did, py::bytes(out.jsonl), std::move(counts),
                        py::make_tuple(out.inputs.portal, out.inputs.cell));
}

// ((source, trigger, table, python, display), ...) in manifest order.
py::tuple event_families() {
  py::tuple families(event_bake::kEventFamilies.size());
  for (std::size_t i = 0; i < event_bake::kEventFamilies.size(); ++i) {
    const event_bake::EventFamilyInfo& f = event_bake::kEventFamilies[i];
    families[i] = py::make_tuple(f.source, f.trigger, f.table, f.python, f.display);
  }
  return families;
}

event_bake::EntitySource entity_source(const std::optional<std::filesystem::path>& spawns_dir,
                                       const std::optional<std::filesystem::path>& setup_table) {
  if (spawns_dir.has_value() != setup_table.has_value())
    throw py::value_error("spawns_dir and setup_table go together: give both or neither");
  if (!spawns_dir) return event_bake::EntitySource::landblock_info();
  return event_bake::EntitySource::from_spawns_manifest(*spawns_dir, *setup_table);
}

py::tuple bake(const std::filesystem::path& dat_dir, py::handle landblock, py::handle region,
               const std::optional<std::filesystem::path>& spawns_dir,
               const std::optional<std::filesystem::path>& setup_table, bool sky) {
  event_bake::BakeInputs inputs;
  inputs.dat_dir = dat_dir;
  inputs.landblock_id = landblock_argument(landblock);
  inputs.region_did = u32_argument(region, "region id");
  inputs.entity_source = entity_source(spawns_dir, setup_table);
  inputs.bake_sky = sky;
  std::optional<BakeOutput> out;
  std::optional<event_bake::BakeError> error;
  {
    py::gil_scoped_release unlocked;
    auto recorded = event_bake::bake_landblock_events_with_inputs(inputs);
    if (recorded.result) out = summarise(*recorded.result, std::move(recorded.inputs));
    else error = std::move(recorded.result.error());
  }
  if (error) throw BakeErrorException(error->to_string());
  return to_python(*out);
}

// Each bake holds its own reference to the C++ session, so closing the Python
// object while other threads bake only drops the session's last owner once
// those bakes are done.
class PyBakeSession {
 public:
  PyBakeSession(const std::filesystem::path& dat_dir, py::handle region,
                const std::optional<std::filesystem::path>& spawns_dir,
                const std::optional<std::filesystem::path>& setup_table, bool sky) {
    event_bake::BakeSession::Options options;
    options.dat_dir = dat_dir;
    options.region_did = u32_argument(region, "region id");
    options.entity_source = entity_source(spawns_dir, setup_table);
    options.bake_sky = sky;
    std::optional<event_bake::BakeError> error;
    {
      py::gil_scoped_release unlocked;
      auto session = event_bake::BakeSession::open(std::move(options));
      if (session) session_ = std::move(*session);
      else error = std::move(session.error());
    }
    if (error) throw BakeErrorException(error->to_string());
  }

  py::tuple bake(py::handle landblock) const {
    const std::uint32_t landblock_id = landblock_argument(landblock);
    std::shared_ptr<const event_bake::BakeSession> session = open_session();
    std::optional<BakeOutput> out;
    std::optional<event_bake::BakeError> error;
    {
      py::gil_scoped_release unlocked;
      auto recorded = session->bake_with_inputs(landblock_id);
      if (recorded.result) out = summarise(*recorded.result, std::move(recorded.inputs));
      else error = std::move(recorded.result.error());
      session.reset();  // may be the last owner: free the archives without the GIL
    }
    if (error) throw BakeErrorException(error->to_string());
    return to_python(*out);
  }

  std::vector<std::uint32_t> landblocks() const {
    std::shared_ptr<const event_bake::BakeSession> session = open_session();
    py::gil_scoped_release unlocked;
    auto ids = session->cell_landblock_ids();
    session.reset();
    return ids;
  }

  void close() {
    std::shared_ptr<const event_bake::BakeSession> last = std::move(session_);
    py::gil_scoped_release unlocked;
    last.reset();
  }

  bool closed() const { return session_ == nullptr; }

 private:
  std::shared_ptr<const event_bake::BakeSession> open_session() const {
    if (!session_) throw py::value_error("BakeSession is closed");
    return session_;
  }

  std::shared_ptr<const event_bake::BakeSession> session_;
};

}  // namespace

void bind_bake(py::module_& m) {
  m.attr("event_families") = event_families();
  m.def("bake", &bake, py::arg("dat_dir"), py::arg("landblock"), py::arg("region"), py::arg("spawns_dir"),
        py::arg("setup_table"), py::arg("sky"));
  py::class_<PyBakeSession>(m, "BakeSession")
      .def(py::init<const std::filesystem::path&, py::handle, const std::optional<std::filesystem::path>&,
                    const std::optional<std::filesystem::path>&, bool>(),
           py::arg("dat_dir"), py::arg("region"), py::arg("spawns_dir"), py::arg("setup_table"), py::arg("sky"))
      .def("bake", &PyBakeSession::bake, py::arg("landblock"))
      .def("landblocks", &PyBakeSession::landblocks)
      .def("close", &PyBakeSession::close)
      .def_property_readonly("closed", &PyBakeSession::closed);
}

}  // namespace ravelin::python
