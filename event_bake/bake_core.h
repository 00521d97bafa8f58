// The steps of a landblock bake after the archives are open and the region is
// decoded, shared by the one-off bake (bake_landblock_events) and BakeSession:
// one place chooses the entity source, one gathers a setup's events, one
// orders them. What differs between the two callers (whether answers are kept
// for later bakes, and between threads) is behind BakeResources. Each step that
// reads an archive record takes the bake's InputRecorder and notes there what it
// asks for.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#include "ravelin/dat/file_type/region.h"
#include "ravelin/dat/landblock.h"
#include "ravelin/dat/lib.h"
#include "ravelin/event_bake/bake_error.h"
#include "ravelin/event_bake/bake_inputs.h"
#include "ravelin/event_bake/manifest.h"
#include "ravelin/event_bake/record_cache.h"
#include "ravelin/event_bake/spawns.h"

namespace ravelin::event_bake {

struct BakeArchives {
  dat::DatDatabase portal;
  dat::DatDatabase cell;
};

// Opens "client_portal.dat" and then "client_cell_1.dat" in `dat_dir`; the first
// failure is DatOpen naming that archive and its full path. `keep_cell`: the
// entries of the cell archive's directory to keep (all when null).
BakeResult<BakeArchives> open_bake_archives(const std::filesystem::path& dat_dir,
                                            dat::DatDatabase::EntryFilter keep_cell = nullptr);

// Fetches and decodes the region: FileMissing "Region" when the fetch fails for
// any reason, Parse "Region" with the decoder's display text.
BakeResult<dat::file_type::Region> load_region(const dat::DatDatabase& portal, std::uint32_t region_did,
                                               InputRecorder recorder);

// Fetches and decodes the CellLandblock (landblock id OR 0xFFFF): FileMissing or
// Parse "CellLandblock" with that id.
BakeResult<dat::CellLandblock> load_cell_landblock(const dat::DatDatabase& cell, std::uint32_t landblock_id,
                                                   InputRecorder recorder);

// The animation sound and physics particle events of a run of setups.
struct SetupEvents {
  std::vector<AnimSoundTrigger> anim_hook_events;
  std::vector<PhysicsScriptParticleTrigger> physics_particle_events;
};

// Appends the events of the one setup `setup_id`, unordered: its animation
// sounds through its motion table, its default script's particles. A setup, or
// one of its files, that cannot be fetched or decoded adds nothing.
void append_setup_events(RecordCache& cache, std::uint32_t setup_id, SetupEvents& out, InputRecorder recorder);
// The same for a setup already decoded (and recorded when it was fetched).
void append_setup_events(RecordCache& cache, std::uint32_t setup_id, const dat::file_type::SetupModel& setup,
                         SetupEvents& out, InputRecorder recorder);

// Puts both lists in their fixed order and drops repeated records.
void order_setup_events(SetupEvents& events);

// The landblock's LandblockInfo (LandblockInfo id of `landblock_id`): nothing
// when the cell archive lacks it, Parse "LandblockInfo" when it does not decode.
BakeResult<std::optional<dat::LandblockInfo>> load_landblock_info(const dat::DatDatabase& cell,
                                                                  std::uint32_t landblock_id,
                                                                  InputRecorder recorder);

// Where the placed setups come from, chosen once from the entity source. For a
// spawns manifest the setup table is read when this is made; an error reading
// it is kept and returned by setup_ids, so that it comes after the errors of
// the steps before it.
class PlacedSetups {
 public:
  static PlacedSetups choose(const EntitySource& source);

  // The placed setup ids of `landblock_id`, ascending and without repeats.
  // LandblockInfo source: the ids of its objects in the setup model range for
  // which `portal_has_file(id)` holds (asked once per distinct id); a missing
  // record gives none, one that does not decode is Parse "LandblockInfo". The
  // LandblockInfo and each id asked about are recorded.
  // Spawns manifest: the SetupTable error, or the mapped ids of the landblock's
  // spawns file (none when it cannot be read); no archive record is read.
  template <class PortalHasFile>
  BakeResult<std::vector<std::uint32_t>> setup_ids(const dat::DatDatabase& cell, std::uint32_t landblock_id,
                                                   PortalHasFile&& portal_has_file, InputRecorder recorder) const {
    if (!manifest_) {
      std::vector<std::uint32_t> ids;
      auto placed = landblock_info_object_ids(cell, landblock_id, ids, recorder);
      if (!placed) return std::unexpected(std::move(placed).error());
      std::erase_if(ids, [&](std::uint32_t id) {
        recorder.portal(id);
        return !portal_has_file(id);
      });
      return ids;
    }
    return spawns_setup_ids(landblock_id);
  }

  // Spawns manifest: the (wcid, setup id) of each line of the landblock's
  // spawns file whose wcid the table maps, in line order, or the SetupTable
  // error. LandblockInfo source: none.
  BakeResult<std::vector<std::pair<std::uint32_t, std::uint32_t>>> spawn_lines(std::uint32_t landblock_id) const;

 private:
  struct Manifest {
    std::filesystem::path spawns_dir;
    BakeResult<SetupTable> table;
  };
  explicit PlacedSetups(std::optional<Manifest> manifest) : manifest_(std::move(manifest)) {}

  // The distinct setup-range object ids of the LandblockInfo, ascending.
  static BakeResult<void> landblock_info_object_ids(const dat::DatDatabase& cell, std::uint32_t landblock_id,
                                                    std::vector<std::uint32_t>& ids, InputRecorder recorder);
  BakeResult<std::vector<std::uint32_t>> spawns_setup_ids(std::uint32_t landblock_id) const;

  std::optional<Manifest> manifest_;
};

// What a bake needs beyond the open archives and the region: a one-off bake
// works these out itself, a session shares them between its bakes. An answer
// kept from before is recorded as if it were worked out now, so a bake's
// inputs do not depend on what other bakes did first.
class BakeResources {
 public:
  virtual ~BakeResources() = default;
  // Whether the portal archive's get_file(id) succeeds; the bytes fetched to
  // find out may be kept for the setup's decode. The caller records `id`.
  virtual bool portal_has_file(std::uint32_t id) = 0;
  // append_setup_events for `setup_id`, or its result kept from before.
  virtual void append_setup_events(std::uint32_t setup_id, SetupEvents& out, InputRecorder recorder) = 0;
  // The region's sky particle chain.
  virtual std::vector<SkyParticleTrigger> sky_events(InputRecorder recorder) = 0;
};

// What stays the same for every landblock of a bake or session.
struct OpenBake {
  const dat::DatDatabase& cell;
  const dat::file_type::Region& region;
  std::uint32_t region_did;
  const PlacedSetups& placed;
  bool bake_sky;
};

// The bake of one landblock from the CellLandblock on: its terrain record,
// its placed setups, their events in order, the ambient and sky families.
// Errors, in this order: FileMissing/Parse "CellLandblock", then SetupTable or
// Parse "LandblockInfo". The region was recorded by the load_region that
// fetched it, or is replayed by the session that did.
BakeResult<LandblockEventBake> bake_open_landblock(const OpenBake& open, std::uint32_t landblock_id,
                                                   BakeResources& resources, InputRecorder recorder);

}  // namespace ravelin::event_bake
