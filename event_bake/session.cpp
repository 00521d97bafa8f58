#include "ravelin/event_bake/session.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "ravelin/event_bake/event_order.h"
#include "ravelin/event_bake/sky_arm.h"

namespace ravelin::event_bake {
namespace {

// A map shared between threads. Values are computed outside the lock, so two
// threads may compute the same entry; the first one stored wins, and since the
// computation is a pure function of the archives both are equal anyway.
template <class Value>
class SharedMemo {
 public:
  template <class Compute>
  std::shared_ptr<const Value> get(std::uint32_t key, Compute compute) {
    {
      std::lock_guard lock(mutex_);
      if (auto it = map_.find(key); it != map_.end()) return it->second;
    }
    auto value = std::make_shared<const Value>(compute());
    std::lock_guard lock(mutex_);
    return map_.try_emplace(key, std::move(value)).first->second;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::uint32_t, std::shared_ptr<const Value>> map_;
};

// Record caches handed to one thread at a time, kept between bakes so that
// motion tables and animations shared by several setups are decoded once per
// cache.
class RecordCachePool {
 public:
  std::unique_ptr<SetupRecordCache> acquire() {
    std::lock_guard lock(mutex_);
    if (free_.empty()) return std::make_unique<SetupRecordCache>();
    auto cache = std::move(free_.back());
    free_.pop_back();
    return cache;
  }
  void release(std::unique_ptr<SetupRecordCache> cache) {
    std::lock_guard lock(mutex_);
    free_.push_back(std::move(cache));
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<SetupRecordCache>> free_;
};

constexpr bool is_cell_landblock_file(std::uint32_t id) { return (id & 0x0000FFFFu) == 0x0000FFFFu; }

}  // namespace

struct BakeSession::State {
  State(Options o, BakeArchives a, dat::file_type::Region r)
      : options(std::move(o)), archives(std::move(a)), region(std::move(r)) {}

  Options options;
  BakeArchives archives;
  dat::file_type::Region region;
  std::vector<SkyParticleTrigger> sky_events;  // the same for every landblock
  // Set for a spawns manifest: the table, or why it could not be read.
  std::optional<BakeResult<SetupTable>> setup_table;

  mutable SharedMemo<bool> portal_presence;       // get_file(id) succeeds
  mutable SharedMemo<SetupEvents> setup_events;   // one setup's events, unordered
  mutable RecordCachePool record_caches;

  BakeResult<std::vector<std::uint32_t>> setup_ids(std::uint32_t landblock_id) const {
    if (!setup_table) {
      return landblock_info_setup_ids(archives.cell, landblock_id, [this](std::uint32_t id) {
        return *portal_presence.get(id, [&] { return archives.portal.get_file(id).has_value(); });
      });
    }
    if (!*setup_table) return std::unexpected(setup_table->error());
    return spawns_setup_ids(**setup_table, options.entity_source.spawns_manifest->spawns_dir, landblock_id);
  }

  SetupEvents events_of(const std::vector<std::uint32_t>& setups) const {
    SetupEvents out;
    std::unique_ptr<SetupRecordCache> cache;
    for (const std::uint32_t setup_id : setups) {
      const auto events = setup_events.get(setup_id, [&] {
        if (!cache) cache = record_caches.acquire();
        SetupEvents one;
        append_setup_events(archives.portal, setup_id, *cache, one);
        return one;
      });
      out.anim_hook_events.insert(out.anim_hook_events.end(), events->anim_hook_events.begin(),
                                  events->anim_hook_events.end());
      out.physics_particle_events.insert(out.physics_particle_events.end(),
                                         events->physics_particle_events.begin(),
                                         events->physics_particle_events.end());
    }
    if (cache) record_caches.release(std::move(cache));
    order_anim_sound_events(out.anim_hook_events);
    order_particle_events(out.physics_particle_events);
    return out;
  }
};

BakeSession::BakeSession(std::unique_ptr<State> state) : state_(std::move(state)) {}
BakeSession::~BakeSession() = default;

BakeResult<std::unique_ptr<BakeSession>> BakeSession::open(Options options) {
  auto archives = open_bake_archives(options.dat_dir);
  if (!archives) return std::unexpected(std::move(archives.error()));
  auto region = load_region(archives->portal, options.region_did);
  if (!region) return std::unexpected(std::move(region.error()));

  auto state = std::unique_ptr<State>(new State(std::move(options), std::move(*archives), std::move(*region)));
  if (state->options.bake_sky) state->sky_events = bake_sky_arm(state->archives.portal, state->region);
  if (const auto& manifest = state->options.entity_source.spawns_manifest)
    state->setup_table = load_setup_table(manifest->setup_table);
  return std::unique_ptr<BakeSession>(new BakeSession(std::move(state)));
}

BakeResult<LandblockEventBake> BakeSession::bake(std::uint32_t landblock_id) const {
  const State& s = *state_;
  auto terrain = load_cell_landblock(s.archives.cell, landblock_id);
  if (!terrain) return std::unexpected(std::move(terrain.error()));
  auto setups = placed_setup_ids(landblock_id);
  if (!setups) return std::unexpected(std::move(setups.error()));
  return assemble_landblock_bake(landblock_id, s.options.region_did, s.region, *terrain, s.events_of(*setups),
                                 s.sky_events);
}

BakeResult<std::vector<std::uint32_t>> BakeSession::placed_setup_ids(std::uint32_t landblock_id) const {
  auto ids = state_->setup_ids(landblock_id);
  if (!ids) return std::unexpected(std::move(ids.error()));
  return sorted_unique_setup_ids(std::move(*ids));
}

std::vector<std::uint32_t> BakeSession::cell_landblock_ids() const {
  std::vector<std::uint32_t> ids;
  for (const dat::DatFileEntry& entry : state_->archives.cell.entries())
    if (is_cell_landblock_file(entry.id)) ids.push_back(entry.id & 0xFFFF0000u);
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

const BakeSession::Options& BakeSession::options() const { return state_->options; }
const dat::DatDatabase& BakeSession::portal() const { return state_->archives.portal; }

}  // namespace ravelin::event_bake
