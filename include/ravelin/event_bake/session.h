// BakeSession: both archives of a DAT directory opened once, the region decoded
// once, and any number of landblock bakes from any number of threads, sharing
// the decoded per-object records between them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "ravelin/dat/landblock.h"
#include "ravelin/dat/lib.h"
#include "ravelin/event_bake/bake_error.h"
#include "ravelin/event_bake/bake_inputs.h"
#include "ravelin/event_bake/input_records.h"
#include "ravelin/event_bake/landblock.h"

namespace ravelin::event_bake {

class BakeSession {
 public:
  struct Options {
    std::filesystem::path dat_dir;  // holds "client_portal.dat" and "client_cell_1.dat"
    EntitySource entity_source;
    std::uint32_t region_did = kDefaultRegionDid;
    bool bake_sky = true;
    // The cell archive's directory without the cells: only the landblocks'
    // own records (dat::is_landblock_record_id), all a bake reads there, in
    // an eighth of the memory for a world of many cells. Bakes are the same;
    // cell() and cell_landblock_ids() see those entries alone.
    bool landblock_records_only = false;
  };

  // Opens both archives and decodes the region, failing as bake_landblock_events
  // does for those steps (DatOpen portal, DatOpen cell, Region). A spawns
  // manifest's setup table is read here once; if it cannot be read, every bake
  // that gets past its CellLandblock fails with that SetupTable error, as a
  // one-off bake of the same inputs would.
  static BakeResult<std::unique_ptr<BakeSession>> open(Options options);

  ~BakeSession();
  BakeSession(const BakeSession&) = delete;
  BakeSession& operator=(const BakeSession&) = delete;

  // The bake of one landblock: equal, and equal in its JSONL bytes, to
  // bake_landblock_events with the session's inputs and this landblock id.
  // Safe to call from several threads at once.
  BakeResult<LandblockEventBake> bake(std::uint32_t landblock_id) const;
  // bake(), and the inputs a one-off bake of the same landblock would record
  // (bake_landblock_events_with_inputs): records the session decoded once and
  // serves from its caches count for every bake that uses them. Thread-safe.
  RecordedBake bake_with_inputs(std::uint32_t landblock_id) const;

  // Every landblock id (landblock number in the high 16 bits) whose CellLandblock
  // the cell archive's directory lists, ascending.
  std::vector<std::uint32_t> cell_landblock_ids() const;

  // The placed setup ids the bake of `landblock_id` runs its per-object
  // families over (ascending, without repeats), with the errors of the entity
  // source; the CellLandblock is not consulted.
  BakeResult<std::vector<std::uint32_t>> placed_setup_ids(std::uint32_t landblock_id) const;

  // One object of the landblock's LandblockInfo, and whether the LandblockInfo
  // source takes it into the bake (a setup model id the portal archive holds).
  struct PlacedObject {
    dat::Stab stab;
    bool is_setup = false;
  };
  // Every Stab of the landblock's LandblockInfo in list order, whatever the
  // entity source: none when the record is missing, Parse "LandblockInfo" when
  // it does not decode.
  BakeResult<std::vector<PlacedObject>> placed_objects(std::uint32_t landblock_id) const;

  // A line of the landblock's spawns file whose wcid the setup table maps.
  struct SpawnedSetup {
    std::uint32_t wcid = 0;
    std::uint32_t setup_id = 0;
  };
  // With the spawns-manifest source, the lines the bake takes its setups from,
  // in line order (before sorting and dropping repeats), or the SetupTable
  // error; with the LandblockInfo source, none.
  BakeResult<std::vector<SpawnedSetup>> spawned_setups(std::uint32_t landblock_id) const;

  // The region's sky chain that every bake carries (empty without the sky family).
  const std::vector<SkyParticleTrigger>& sky_events() const;

  const Options& options() const;
  const dat::DatDatabase& portal() const;
  const dat::DatDatabase& cell() const;

 private:
  struct State;
  explicit BakeSession(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace ravelin::event_bake
