#include "ravelin/event_bake/session.h"

#include <unordered_map>
#include <utility>

#include "ravelin/common/concurrency.h"
#include "ravelin/dat/file_ids.h"
#include "event_bake/bake_core.h"
#include "event_bake/sky_arm.h"

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
      const common::LockGuard lock(mutex_);
      if (auto it = map_.find(key); it != map_.end()) return it->second;
    }
    auto value = std::make_shared<const Value>(compute());
    const common::LockGuard lock(mutex_);
    return map_.try_emplace(key, std::move(value)).first->second;
  }

 private:
  common::Mutex mutex_;
  std::unordered_map<std::uint32_t, std::shared_ptr<const Value>> map_;
};

// Record caches handed to one thread at a time, kept between bakes so that
// motion tables, animations and scripts shared by several setups are decoded
// once per cache.
class RecordCachePool {
 public:
  explicit RecordCachePool(const dat::DatDatabase& portal) : portal_(portal) {}

  std::unique_ptr<RecordCache> acquire() {
    const common::LockGuard lock(mutex_);
    if (free_.empty()) return std::make_unique<RecordCache>(portal_);
    auto cache = std::move(free_.back());
    free_.pop_back();
    return cache;
  }
  void release(std::unique_ptr<RecordCache> cache) {
    const common::LockGuard lock(mutex_);
    free_.push_back(std::move(cache));
  }

 private:
  const dat::DatDatabase& portal_;
  common::Mutex mutex_;
  std::vector<std::unique_ptr<RecordCache>> free_;
};


}  // namespace

struct BakeSession::State {
  State(Options o, BakeArchives a, dat::file_type::Region r, InputRecords ri)
      : options(std::move(o)),
        archives(std::move(a)),
        region(std::move(r)),
        region_inputs(std::move(ri)),
        placed(PlacedSetups::choose(options.entity_source)),
        record_caches(archives.portal) {}

  OpenBake open_bake() const { return {archives.cell, region, options.region_did, placed, options.bake_sky}; }

  Options options;
  BakeArchives archives;
  dat::file_type::Region region;
  InputRecords region_inputs;  // what decoding the region read: replayed into every recorded bake
  PlacedSetups placed;
  std::vector<SkyParticleTrigger> sky_events;  // the same for every landblock

  // What the sky chain loaded at open, finished: replayed into every recorded
  // bake that reaches the sky family.
  InputRecords sky_inputs;

  // One setup's events, unordered, and the records baking them asked for.
  struct RecordedSetupEvents {
    SetupEvents events;
    InputRecords inputs;
  };
  mutable SharedMemo<bool> portal_presence;  // get_file(id) succeeds
  mutable SharedMemo<RecordedSetupEvents> setup_events;
  mutable RecordCachePool record_caches;

  class Resources;
};

// One bake's view of the session: answers come from the shared memos; a record
// cache is borrowed from the pool only when a setup is baked for the first time.
class BakeSession::State::Resources final : public BakeResources {
 public:
  explicit Resources(const State& state) : state_(state) {}
  ~Resources() override {
    if (cache_) state_.record_caches.release(std::move(cache_));
  }

  bool portal_has_file(std::uint32_t id) override {
    return *state_.portal_presence.get(id, [&] { return state_.archives.portal.get_file(id).has_value(); });
  }
  void append_setup_events(std::uint32_t setup_id, SetupEvents& out, InputRecorder recorder) override {
    // A setup is baked once per session, so its inputs are always kept: a
    // recorded bake needs them whether or not it was the first to ask.
    const auto recorded = state_.setup_events.get(setup_id, [&] {
      if (!cache_) cache_ = state_.record_caches.acquire();
      State::RecordedSetupEvents one;
      event_bake::append_setup_events(*cache_, setup_id, one.events, InputRecorder(one.inputs));
      return one;
    });
    recorder.replay(recorded->inputs);
    const SetupEvents* events = &recorded->events;
    out.anim_hook_events.insert(out.anim_hook_events.end(), events->anim_hook_events.begin(),
                                events->anim_hook_events.end());
    out.physics_particle_events.insert(out.physics_particle_events.end(), events->physics_particle_events.begin(),
                                       events->physics_particle_events.end());
  }
  std::vector<SkyParticleTrigger> sky_events(InputRecorder recorder) override {
    recorder.replay(state_.sky_inputs);
    return state_.sky_events;
  }

 private:
  const State& state_;
  std::unique_ptr<RecordCache> cache_;
};

BakeSession::BakeSession(std::unique_ptr<State> state) : state_(std::move(state)) {}
BakeSession::~BakeSession() = default;

BakeResult<std::unique_ptr<BakeSession>> BakeSession::open(Options options) {
  auto archives = open_bake_archives(options.dat_dir,
                                     options.landblock_records_only ? dat::is_landblock_record_id : nullptr);
  if (!archives) return std::unexpected(std::move(archives.error()));
  InputRecords region_inputs;
  auto region = load_region(archives->portal, options.region_did, InputRecorder(region_inputs));
  if (!region) return std::unexpected(std::move(region.error()));

  auto state = std::make_unique<State>(std::move(options), std::move(*archives), std::move(*region),
                                       std::move(region_inputs));
  if (state->options.bake_sky) {
    RecordCache cache(state->archives.portal);
    state->sky_events = bake_sky_arm(state->region, cache, InputRecorder(state->sky_inputs));
    state->sky_inputs.finish();
  }
  return std::unique_ptr<BakeSession>(new BakeSession(std::move(state)));
}

BakeResult<LandblockEventBake> BakeSession::bake(std::uint32_t landblock_id) const {
  State::Resources resources(*state_);
  return bake_open_landblock(state_->open_bake(), landblock_id, resources, InputRecorder{});
}

RecordedBake BakeSession::bake_with_inputs(std::uint32_t landblock_id) const {
  InputRecords recorded;
  const InputRecorder recorder(recorded);
  recorder.replay(state_->region_inputs);
  State::Resources resources(*state_);
  auto result = bake_open_landblock(state_->open_bake(), landblock_id, resources, recorder);
  recorded.finish();
  return {std::move(result), std::move(recorded)};
}

BakeResult<std::vector<std::uint32_t>> BakeSession::placed_setup_ids(std::uint32_t landblock_id) const {
  State::Resources resources(*state_);
  return state_->placed.setup_ids(
      state_->archives.cell, landblock_id, [&resources](std::uint32_t id) { return resources.portal_has_file(id); },
      InputRecorder{});
}

BakeResult<std::vector<BakeSession::PlacedObject>> BakeSession::placed_objects(std::uint32_t landblock_id) const {
  auto info = load_landblock_info(state_->archives.cell, landblock_id, InputRecorder{});
  if (!info) return std::unexpected(std::move(info.error()));
  std::vector<PlacedObject> objects;
  if (!*info) return objects;
  State::Resources resources(*state_);
  objects.reserve((*info)->objects.size());
  for (const dat::Stab& stab : (*info)->objects)
    objects.push_back({stab, dat::is_setup_model_id(stab.id) && resources.portal_has_file(stab.id)});
  return objects;
}

BakeResult<std::vector<BakeSession::SpawnedSetup>> BakeSession::spawned_setups(std::uint32_t landblock_id) const {
  auto lines = state_->placed.spawn_lines(landblock_id);
  if (!lines) return std::unexpected(std::move(lines.error()));
  std::vector<SpawnedSetup> spawned;
  spawned.reserve(lines->size());
  for (const auto& [wcid, setup_id] : *lines) spawned.push_back({wcid, setup_id});
  return spawned;
}

const std::vector<SkyParticleTrigger>& BakeSession::sky_events() const { return state_->sky_events; }

std::vector<std::uint32_t> BakeSession::cell_landblock_ids() const {
  return dat::cell_landblock_ids(state_->archives.cell);
}

const BakeSession::Options& BakeSession::options() const { return state_->options; }
const dat::DatDatabase& BakeSession::portal() const { return state_->archives.portal; }
const dat::DatDatabase& BakeSession::cell() const { return state_->archives.cell; }

}  // namespace ravelin::event_bake
