// The bake driver: a one-off bake opens its own archives, keeps its records in
// one cache for the call alone and releases everything when it returns. It
// takes no locks and starts no threads.
#include "ravelin/event_bake/landblock.h"

#include "event_bake/bake_core.h"
#include "event_bake/sky_arm.h"

namespace ravelin::event_bake {
namespace {

class CallResources final : public BakeResources {
 public:
  CallResources(const dat::DatDatabase& portal, const dat::file_type::Region& region)
      : portal_(portal), region_(region), cache_(portal) {}

  // The placed ids come without repeats, so each is asked once; the bytes of
  // a setup found present are its decode's input, so no setup is fetched twice.
  bool portal_has_file(std::uint32_t id) override {
    auto bytes = portal_.get_file(id);
    if (!bytes) return false;
    fetched_.insert_or_assign(id, std::move(*bytes));
    return true;
  }
  void append_setup_events(std::uint32_t setup_id, SetupEvents& out, InputRecorder recorder) override {
    auto* bytes = fetched_.find(setup_id);
    if (bytes == nullptr) return event_bake::append_setup_events(cache_, setup_id, out, recorder);
    const auto setup = decode_setup_model(*bytes);
    *bytes = {};
    if (setup) event_bake::append_setup_events(cache_, setup_id, *setup, out, recorder);
  }
  std::vector<SkyParticleTrigger> sky_events(InputRecorder recorder) override {
    return bake_sky_arm(region_, cache_, recorder);
  }

 private:
  const dat::DatDatabase& portal_;
  const dat::file_type::Region& region_;
  RecordCache cache_;
  common::IdMap<std::uint32_t, std::vector<std::uint8_t>> fetched_;
};

// The whole bake, its inputs noted in `recorder`.
BakeResult<LandblockEventBake> bake_recording(const BakeInputs& inputs, InputRecorder recorder) {
  auto archives = open_bake_archives(inputs.dat_dir);
  if (!archives) return std::unexpected(std::move(archives.error()));
  auto region = load_region(archives->portal, inputs.region_did, recorder);
  if (!region) return std::unexpected(std::move(region.error()));
  const PlacedSetups placed = PlacedSetups::choose(inputs.entity_source);
  CallResources resources(archives->portal, *region);
  return bake_open_landblock({archives->cell, *region, inputs.region_did, placed, inputs.bake_sky},
                             inputs.landblock_id, resources, recorder);
}

}  // namespace

BakeResult<LandblockEventBake> bake_landblock_events(const BakeInputs& inputs) {
  return bake_recording(inputs, InputRecorder{});
}

RecordedBake bake_landblock_events_with_inputs(const BakeInputs& inputs) {
  InputRecords recorded;
  auto result = bake_recording(inputs, InputRecorder(recorded));
  recorded.finish();
  return {std::move(result), std::move(recorded)};
}

BakeResult<LandblockEventBake> bake_landblock_events_simple(std::uint32_t landblock_id,
                                                            const std::filesystem::path& dat_dir) {
  BakeInputs inputs;
  inputs.dat_dir = dat_dir;
  inputs.entity_source = EntitySource::landblock_info();
  inputs.landblock_id = landblock_id;
  inputs.region_did = kDefaultRegionDid;
  inputs.bake_sky = true;
  return bake_landblock_events(inputs);
}

}  // namespace ravelin::event_bake
