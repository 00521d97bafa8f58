#include "dat_writer/sample_world.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "dat_writer/animation_encoder.h"
#include "dat_writer/archive_writer.h"
#include "dat_writer/landblock_encoder.h"
#include "dat_writer/motion_table_encoder.h"
#include "dat_writer/region_encoder.h"
#include "dat_writer/sample_terrain.h"
#include "dat_writer/setup_model_encoder.h"
#include "ravelin/common/output_file.h"

namespace ravelin::dat_writer {
namespace {

// File ids. Pools are numbered from a base; the "absent" ids are referred to
// but never stored, and the out-of-range ids sit outside the id range their
// reader accepts.
constexpr std::uint32_t kRegionId = 0x13000000;
constexpr std::uint32_t kSetupBase = 0x02000100;
constexpr std::uint32_t kSkySetupBase = 0x02000700;
constexpr std::uint32_t kAbsentSetup = 0x02000FFF;
constexpr std::uint32_t kMotionTableBase = 0x09000010;
constexpr std::uint32_t kAnimationBase = 0x03000200;
constexpr std::uint32_t kAbsentAnimation = 0x0300FFFF;
constexpr std::uint32_t kScriptBase = 0x33000300;
constexpr std::uint32_t kAbsentScript = 0x3300FFFF;
constexpr std::uint32_t kOutOfRangeScript = 0x34000001;  // top byte not 0x33
constexpr std::uint32_t kNonSetupObject = 0x01000123;    // a placed mesh, not a setup
constexpr std::uint32_t kDefaultStance = 0x3D;
constexpr std::uint32_t kNaNBits = 0x7FC00000;

// Scene types 0 to 7 play sound tables 0 to 7 (one per terrain type); 8 is
// silent, 9 names a table that does not exist, 10 draws one.
constexpr std::uint32_t kSoundTableCount = kSampleTerrainCount;
constexpr std::uint32_t kSilentScene = kSoundTableCount;
constexpr std::uint32_t kSceneTypeCount = kSoundTableCount + 3;
constexpr std::uint32_t kSkySetupCount = 4;

// splitmix64: tiny, fast and fully specified, so every platform draws the same
// sequence for a seed.
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform enough in [0, n) for n > 0; the modulo bias does not matter here.
  std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
  std::uint32_t between(std::uint32_t lo, std::uint32_t hi) { return lo + below(hi - lo + 1); }
  bool chance(std::uint32_t in_n) { return below(in_n) == 0; }
  // Multiples of 1/8 keep the manifest's six-decimal floats exact and readable.
  float eighths(std::uint32_t max_eighths) { return static_cast<float>(below(max_eighths + 1)) / 8.0f; }

 private:
  std::uint64_t state_;
};

struct Counts {
  std::uint32_t setups, motion_tables, animations, scripts, day_groups;
};

Counts effective_counts(const SampleWorldParams& p) {
  return {std::max(p.setup_count, 4u), std::max(p.motion_table_count, 2u),
          std::max(p.animation_count, 2u), std::max(p.script_count, 2u),
          std::max(p.day_group_count, 3u)};
}

std::uint32_t setup_id(std::uint32_t i) { return kSetupBase + i; }
std::uint32_t motion_table_id(std::uint32_t i) { return kMotionTableBase + i; }
std::uint32_t animation_id(std::uint32_t i) { return kAnimationBase + i; }
std::uint32_t script_id(std::uint32_t i) { return kScriptBase + i; }

// Setup i by i % 4: 0 motion table and default script, 1 motion table only,
// 2 default script only, 3 neither. Setup 0 uses motion table 0 and script 0.
std::uint32_t setup_motion_table(const Counts& c, std::uint32_t i) {
  return i % 4 <= 1 ? motion_table_id(i % c.motion_tables) : 0;
}
std::uint32_t setup_script(const Counts& c, std::uint32_t i) {
  return i % 4 == 0 || i % 4 == 2 ? script_id(i % c.scripts) : 0;
}

HookDef random_animation_hook(SplitMix64& rng) {
  switch (rng.below(5)) {
    case 0: return sound_hook(0x0A000000 + rng.below(0x100));
    case 1:
      return sound_table_hook(0x0A000100 + rng.below(0x100), rng.eighths(8), rng.eighths(8), rng.eighths(8));
    case 2: return particle_hook(0x32000000 + rng.below(0x40), rng.below(3));
    case 3: return hook_of_type(2, rng.below(3));
    default: return hook_of_type(14);
  }
}

HookDef random_script_hook(SplitMix64& rng) {
  switch (rng.below(5)) {
    case 0: return particle_hook(0x32000100 + rng.below(0x40), rng.below(4), false);
    case 1: return particle_hook(0x32000100 + rng.below(0x40), rng.below(4), true);
    case 2: return sound_hook(0x0A000200 + rng.below(0x40));
    case 3: return hook_of_type(19);
    default: return hook_of_type(12);
  }
}

// Animation 0 opens with one sound hook of each kind, so the focus landblock's
// first setup always plays sounds.
AnimationDef make_animation(SplitMix64& rng, std::uint32_t index, bool nan_volume) {
  const std::uint32_t parts = rng.between(1, 2);
  std::vector<std::vector<HookDef>> frames(rng.between(2, 4));
  for (auto& hooks : frames) {
    for (std::uint32_t n = rng.below(3); n > 0; --n) hooks.push_back(random_animation_hook(rng));
  }
  if (index == 0) {
    const F32 volume = nan_volume ? F32::from_bits(kNaNBits) : F32(0.75f);
    frames[0].insert(frames[0].begin(), {sound_hook(0x0A000001), sound_table_hook(0x0A000002, 0.5f, 1.0f, volume)});
  }
  return animation_with_hooks(animation_id(index), parts, std::move(frames));
}

// Script 0 holds a non-blocking and a blocking particle hook and a repeat of
// the first entry (which the bake's deduplication removes).
PhysicsScriptDef make_script(SplitMix64& rng, std::uint32_t index) {
  std::vector<ScriptEntryDef> entries;
  for (std::uint32_t n = rng.between(2, 5); n > 0; --n) {
    entries.push_back({static_cast<double>(rng.below(40)) / 8.0, random_script_hook(rng)});
  }
  if (index == 0) {
    const ScriptEntryDef first{0.0, particle_hook(0x32000001, 0, false)};
    entries.insert(entries.begin(), {first, {1.5, particle_hook(0x32000002, 1, true)}, first});
  }
  return physics_script_of(script_id(index), std::move(entries));
}

MotionDataDef random_motion_data(SplitMix64& rng, const Counts& c) {
  MotionDataDef data;
  for (std::uint32_t n = rng.between(1, 2); n > 0; --n) {
    AnimRefDef ref;
    ref.anim_id = animation_id(rng.below(c.animations));
    ref.start_frame = static_cast<std::int32_t>(rng.below(3)) - 1;
    constexpr std::array<std::int32_t, 3> ends = {-1, 1, 100};
    ref.end_frame = ends[rng.below(3)];
    data.anims.push_back(ref);
  }
  return data;
}

// Keys carry a stance in their upper half: kDefaultStance for some, so both
// values of is_default_stance occur. Table 0 plays animation 0 whole in its
// first entry; table 1 also names an animation that is not stored.
MotionTableDef make_motion_table(SplitMix64& rng, const Counts& c, std::uint32_t index) {
  MotionTableDef t;
  t.id = motion_table_id(index);
  t.default_stance = kDefaultStance;
  t.key_pairs = {{kDefaultStance << 16, 0x41000003}};
  auto key = [&](std::uint32_t n) { return ((rng.chance(2) ? kDefaultStance : 0x3E) << 16) | n; };
  for (std::uint32_t n = rng.between(1, 3); n > 0; --n) t.motion_data_0.push_back({key(n), random_motion_data(rng, c)});
  for (std::uint32_t n = rng.below(3); n > 0; --n) t.motion_data_1.push_back({key(0x10 + n), random_motion_data(rng, c)});
  for (std::uint32_t o = rng.between(1, 2); o > 0; --o) {
    LinkDef link{(kDefaultStance << 16) | o, {}};
    for (std::uint32_t n = rng.between(1, 2); n > 0; --n) link.entries.push_back({key(0x20 + n), random_motion_data(rng, c)});
    t.links.push_back(std::move(link));
  }
  if (index == 0) t.motion_data_0.insert(t.motion_data_0.begin(), {kDefaultStance << 16, motion_data_playing({animation_id(0)})});
  if (index == 1) t.motion_data_1.push_back({0x3E0000FF, motion_data_playing({kAbsentAnimation, animation_id(1)})});
  return t;
}

// Sky setups: 0 and 1 carry scripts 1 and 0, 2 has no default script, 3 one
// outside the script range.
SetupDef make_sky_setup(const Counts& c, std::uint32_t j) {
  const std::uint32_t script = j == 0 ? script_id(1 % c.scripts) : j == 1 ? script_id(0) : j == 3 ? kOutOfRangeScript : 0;
  return setup_with_parts(kSkySetupBase + j, 1, script);
}

SkyObjectDef sky_object(SplitMix64& rng, std::uint32_t object_id, std::uint32_t script) {
  SkyObjectDef o;
  o.active_start = rng.eighths(4);
  o.active_end = 0.5f + rng.eighths(4);
  o.words_2_to_5 = {rng.below(360), rng.below(90), 0x04000000 + rng.below(0x100), rng.below(2)};
  o.object_id = object_id;
  o.script_id = script;
  o.word_8 = rng.below(4);
  return o;
}

// Day groups 0 to 2 cover every way a sky object reaches (or misses) a
// script; later groups draw from the same kinds.
SkyDescDef make_sky(SplitMix64& rng, const Counts& c) {
  constexpr std::array<std::string_view, 6> names = {"Clear", "Storm", "Overcast", "Aurora", "Rain", "Mist"};
  SkyDescDef sky;
  sky.value_1 = static_cast<double>(rng.below(8)) / 8.0;
  sky.value_2 = 0.5 + static_cast<double>(rng.below(4)) / 8.0;
  for (std::uint32_t g = 0; g < c.day_groups; ++g) {
    DayGroupDef group;
    group.chance = static_cast<float>(rng.between(1, 10)) / 10.0f;
    group.name = std::string(names[g % names.size()]) + (g >= names.size() ? std::to_string(g) : "");
    auto& objs = group.sky_objects;
    switch (g) {
      case 0:
        objs = {sky_object(rng, 0, script_id(0)), sky_object(rng, kSkySetupBase + 0, 0),
                sky_object(rng, 0x01000A00, 0), sky_object(rng, kSkySetupBase + 1, 0)};
        break;
      case 1:
        objs = {sky_object(rng, kSkySetupBase + 0, 0x32000001), sky_object(rng, kSkySetupBase + 2, 0),
                sky_object(rng, kAbsentSetup, 0), sky_object(rng, 0, kAbsentScript)};
        break;
      case 2:
        objs = {sky_object(rng, kSkySetupBase + 3, 0), sky_object(rng, 0x01000A01, script_id(0))};
        break;
      default:
        for (std::uint32_t n = rng.between(1, 3); n > 0; --n) {
          objs.push_back(rng.chance(2) ? sky_object(rng, 0, script_id(rng.below(c.scripts)))
                                       : sky_object(rng, kSkySetupBase + rng.below(kSkySetupCount), 0));
        }
    }
    SkyTimeOfDayDef time;
    for (auto& w : time.words) w = rng.below(256);
    for (std::uint32_t n = rng.below(3); n > 0; --n) {
      time.entries.push_back({rng.below(8), rng.below(8), 0x05000000 + rng.below(16), 0, rng.below(100), 1});
    }
    group.sky_times.push_back(std::move(time));
    sky.day_groups.push_back(std::move(group));
  }
  return sky;
}

// Terrain type t resolves scene types 0 and 1 to its own sound table (t) and
// 2 to its neighbour's, so every named land and sea vertex of the generated
// terrain sounds like its kind. Entry 3 of some types carries the misses a
// bake must pass over: (2, 3) reaches a scene without sound (-1), (3, 3) one
// whose table index is out of range, (4, 4) a scene index past the scene
// table; terrain types from kSampleTerrainCount on are not in the table.
void fill_region_tables(SplitMix64& rng, RegionDef& r) {
  r.terrain.terrain_types.clear();
  for (std::uint32_t t = 0; t < kSampleTerrainCount; ++t) {
    TerrainTypeDef type{kSampleTerrainNames[t], 0x10 * (t + 1), {t, t, (t + 1) % kSampleTerrainCount}};
    type.scene_info_indices.push_back(rng.below(kSoundTableCount));
    r.terrain.terrain_types.push_back(std::move(type));
  }
  auto& tt = r.terrain.terrain_types;
  tt[2].scene_info_indices[3] = kSilentScene;
  tt[3].scene_info_indices[3] = kSilentScene + 1;
  tt[4].scene_info_indices.push_back(kSceneTypeCount + 3);

  SceneDescDef scene;
  for (std::uint32_t j = 0; j < kSceneTypeCount; ++j) {
    const std::int32_t stb = j < kSoundTableCount ? static_cast<std::int32_t>(j)
                             : j == kSilentScene  ? -1
                             : j == kSilentScene + 1 ? 99
                                                  : static_cast<std::int32_t>(rng.below(kSoundTableCount + 1)) - 1;
    SceneTypeDef type{stb, {}};
    for (std::uint32_t n = rng.below(3); n > 0; --n) type.scenes.push_back(0x12000000 + rng.below(0x1000));
    scene.scene_types.push_back(std::move(type));
  }
  r.scene = scene;

  SoundDescDef sound;
  for (std::uint32_t k = 0; k < kSoundTableCount; ++k) {
    AmbientTableDef table{0x20000001 + k, {}, std::nullopt};
    for (std::uint32_t n = rng.below(4); n > 0; --n) {
      table.sounds.push_back({rng.below(16), 0.125f + rng.eighths(7), rng.eighths(4), 0.5f + rng.eighths(16),
                              2.5f + rng.eighths(16)});
    }
    if (k == 0) table.sounds.insert(table.sounds.begin(), {1, 0.5f, 0.0f, 1.0f, 2.0f});  // continuous
    sound.tables.push_back(std::move(table));
  }
  r.sound = sound;
}

RegionDef make_region(SplitMix64& rng, const Counts& c) {
  RegionDef r = sample_region_def();  // calendar, header words and terrain surfaces
  r.id = kRegionId;
  r.name = "Sample Isle " + std::to_string(rng.below(1000));
  for (auto& w : r.region_words) w = rng.below(0x10000);
  fill_region_tables(rng, r);
  r.sky = make_sky(rng, c);
  r.misc = RegionMiscDef{{rng.below(16), rng.below(16), rng.below(16), rng.below(16), rng.below(16), rng.below(16)}};
  return r;
}

// The land under one landblock, vertex n in column n / 9 and row n % 9.
using LandblockLand = std::array<SampleVertex, kLandblockVertices>;

LandblockLand landblock_land(const SampleLand& land, std::uint32_t landblock) {
  LandblockLand out;
  for (std::uint32_t n = 0; n < kLandblockVertices; ++n)
    out[n] = land.at(std::int64_t{landblock >> 8} * 8 + n / 9, std::int64_t{landblock & 0xFF} * 8 + n % 9);
  return out;
}

// Words from the land, with the bits the bake ignores (0-1, 7-10) noisy. The
// focus landblock's first vertices hold one word per interesting (terrain,
// scene) pair of the region's tables instead.
CellLandblockDef make_cell_landblock(SplitMix64& rng, const LandblockLand& land, std::uint32_t landblock) {
  CellLandblockDef def;
  def.id = cell_landblock_file_id(landblock << 16);
  def.has_objects = 1;
  constexpr std::array<std::pair<std::uint32_t, std::uint32_t>, 7> fixed = {
      {{0, 0}, {1, 1}, {2, 3}, {3, 3}, {kSampleTerrainCount + 4, 0}, {0, 4}, {4, 4}}};
  const bool focus = landblock == kSampleFocusLandblock;
  for (std::size_t v = 0; v < kLandblockVertices; ++v) {
    const auto [t, s] = focus && v < fixed.size() ? fixed[v]
                                                  : std::pair{static_cast<std::uint32_t>(land[v].terrain), land[v].scene};
    const auto noise = static_cast<std::uint16_t>(rng.below(4) | (rng.below(16) << 7));
    def.terrain[v] = static_cast<std::uint16_t>(terrain_word(t, s) | noise);
    def.height[v] = land[v].height;
  }
  return def;
}

// What stands on the land: setups by kind (setup i is a tree, a rock or a
// house by i % 3), placed on vertices of their terrain.
enum class Placed : std::uint32_t { Tree, Rock, House };

std::uint32_t setup_of_kind(SplitMix64& rng, const Counts& c, Placed kind) {
  const auto k = static_cast<std::uint32_t>(kind);
  return setup_id(3 * rng.below((c.setups - k + 2) / 3) + k);
}

// On vertex n, a little off it; whole units keep the manifest's floats exact.
FrameDef frame_at(SplitMix64& rng, const LandblockLand& land, std::uint32_t n) {
  FrameDef f;
  f.origin = {static_cast<float>(n / 9 * 24 + rng.below(9)), static_cast<float>(n % 9 * 24 + rng.below(9)),
              static_cast<float>(land[n].height)};
  return f;
}

// Vertices of the landblock whose terrain is one of `kinds`.
std::vector<std::uint32_t> vertices_of(const LandblockLand& land, std::initializer_list<SampleTerrain> kinds) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t n = 0; n < kLandblockVertices; ++n)
    if (std::find(kinds.begin(), kinds.end(), land[n].terrain) != kinds.end()) out.push_back(n);
  return out;
}

// Trees in forests, rocks on hills and mountains, houses and a building where
// land meets the sea. The focus landblock first places setups 0 (twice), 1
// and 2, a mesh outside the setup range, a setup that is not stored and one
// building; others sometimes place the two misses on their land.
LandblockInfoDef make_landblock_info(SplitMix64& rng, const Counts& c, const LandblockLand& land,
                                     std::uint32_t landblock) {
  using T = SampleTerrain;
  LandblockInfoDef info;
  info.id = landblock_info_file_id(landblock << 16);
  const bool focus = landblock == kSampleFocusLandblock;
  const auto forest = vertices_of(land, {T::Forest});
  const auto stone = vertices_of(land, {T::Hills, T::Rock});
  const auto shore = vertices_of(land, {T::Shore});
  const auto ground = vertices_of(land, {T::Shore, T::Grassland, T::Forest, T::Marsh, T::Hills, T::Rock, T::Snow});
  auto place_on = [&](std::uint32_t id, const std::vector<std::uint32_t>& where) {
    const std::uint32_t n = where.empty() ? 40 : where[rng.below(static_cast<std::uint32_t>(where.size()))];
    info.objects.push_back({id, frame_at(rng, land, n)});
  };
  if (focus) {
    for (const std::uint32_t id : {setup_id(0), kNonSetupObject, setup_id(1), setup_id(0), kAbsentSetup, setup_id(2)})
      place_on(id, ground);
    info.buildings.push_back({0x01000456, frame_at(rng, land, 40), 1, {}});
  }
  for (auto n = forest.size() / 12; n > 0; --n) place_on(setup_of_kind(rng, c, Placed::Tree), forest);
  for (auto n = stone.size() / 16; n > 0; --n) place_on(setup_of_kind(rng, c, Placed::Rock), stone);
  if (!shore.empty() && ground.size() > shore.size()) {
    for (auto n = rng.between(1, 3); n > 0; --n) place_on(setup_of_kind(rng, c, Placed::House), shore);
    if (!focus) info.buildings.push_back({0x01000456, frame_at(rng, land, shore[shore.size() / 2]), 1, {}});
  }
  if (!focus && !ground.empty() && rng.chance(4)) place_on(kNonSetupObject, ground);
  if (!focus && !ground.empty() && rng.chance(6)) place_on(kAbsentSetup, ground);
  return info;
}

std::string spawn_line(SplitMix64& rng, std::uint32_t wcid) {
  return "{\"wcid\": " + std::to_string(wcid) + ", \"pos\": [" + std::to_string(rng.below(192)) + ", " +
         std::to_string(rng.below(192)) + ", " + std::to_string(rng.below(100)) + "]}";
}

// Wcids 1001 to 1004 map setups 0, 2, 1 and the unstored setup; 1003 through a
// "+" key. The lines include every kind a reader must pass over.
void make_spawns(SplitMix64& rng, const Counts& c, SampleWorld& world) {
  std::string table = "{\n";
  auto entry = [&](std::string_view key, std::string_view value) {
    table += "  \"" + std::string(key) + "\": " + std::string(value) + ",\n";
  };
  entry("1001", std::to_string(setup_id(0)));
  entry("1002", std::to_string(setup_id(2)));
  entry("+1003", std::to_string(setup_id(1)));
  entry("1004", std::to_string(kAbsentSetup));
  entry("1005", "-1");
  entry("1006", "1.5");
  entry("-7", std::to_string(setup_id(0)));
  entry("nine", std::to_string(setup_id(0)));
  std::vector<std::uint32_t> extra;
  for (std::uint32_t i = 0; i < 4; ++i) {
    extra.push_back(2000 + i);
    entry(std::to_string(2000 + i), std::to_string(setup_id(rng.below(c.setups))));
  }
  entry("2000", std::to_string(setup_id(3)));  // replaces the first 2000
  table += "  \"comment\": {\"nested\": [1, 2, 3]}\n}\n";
  world.setup_table_json = std::move(table);

  std::string lines;
  for (const std::uint32_t wcid : {1001u, 1002u, 1003u}) lines += spawn_line(rng, wcid) + "\n";
  lines += "\n   \n";
  lines += spawn_line(rng, 9999) + "\r\n";
  lines += "not json at all\n";
  lines += "{\"wcid\": 7.0}\n";
  lines += "[1001]\n";
  lines += spawn_line(rng, 1004) + "\n";
  for (std::uint32_t n = rng.between(2, 5); n > 0; --n) lines += spawn_line(rng, extra[rng.below(extra.size())]) + "\n";
  lines += spawn_line(rng, 1001);  // last line without terminator
  world.spawns_jsonl = std::move(lines);
}

std::vector<std::uint32_t> landblock_numbers(const SampleWorldParams& p) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t x = p.first_x; x < p.first_x + p.grid_width && x < 0x100; ++x) {
    for (std::uint32_t y = p.first_y; y < p.first_y + p.grid_height && y < 0x100; ++y) out.push_back(x << 8 | y);
  }
  if (std::find(out.begin(), out.end(), kSampleFocusLandblock) == out.end()) out.push_back(kSampleFocusLandblock);
  return out;
}

// Random bytes of a length in [lo, hi], eight at a time.
void random_body(SplitMix64& rng, std::uint32_t lo, std::uint32_t hi, std::vector<std::uint8_t>& out) {
  out.resize(rng.between(lo, hi));
  for (std::size_t i = 0; i < out.size(); i += 8) {
    const std::uint64_t v = rng.next();
    for (std::size_t k = 0; k < 8 && i + k < out.size(); ++k) out[i + k] = static_cast<std::uint8_t>(v >> (k * 8));
  }
}

// A 1 MiB body of short runs with random gaps: compressible, but not trivially.
std::vector<std::uint8_t> large_body(SplitMix64& rng) {
  std::vector<std::uint8_t> out(1u << 20);
  for (std::size_t i = 0; i < out.size(); i += 64) {
    const std::uint64_t v = rng.next();
    for (std::size_t k = 0; k < 64 && i + k < out.size(); ++k)
      out[i + k] = k < 8 ? static_cast<std::uint8_t>(v >> (k * 8)) : static_cast<std::uint8_t>(k * 3);
  }
  return out;
}

void add_portal_fillers(SplitMix64& rng, const SampleWorldParams& p, ArchiveWriter& w) {
  std::vector<std::uint8_t> body;
  for (std::uint32_t i = 0; i < p.portal_filler_files; ++i) {
    random_body(rng, 32, 1500, body);
    w.add_file(kSampleFillerFileBase + i, body);
  }
  for (std::uint32_t i = 0; i < p.portal_large_files; ++i)
    w.add_file(kSampleLargeFileBase + i, large_body(rng), {.compressed = i % 2 == 1});
}

std::vector<std::uint8_t> build_portal(SplitMix64& rng, const SampleWorldParams& p, const Counts& c) {
  ArchiveWriter w({.block_size = p.portal_block_size, .entries_per_node = p.entries_per_node});
  w.header().engine_version = 22;
  w.header().game_version = 1;
  w.add_file(kRegionId, encode_region(make_region(rng, c)), {.compressed = true});
  for (std::uint32_t i = 0; i < c.setups; ++i) {
    SetupDef s = setup_with_parts(setup_id(i), rng.between(1, 3), setup_script(c, i), setup_motion_table(c, i));
    w.add_file(s.id, encode_setup_model(s), {.compressed = i % 3 == 1});
  }
  for (std::uint32_t j = 0; j < kSkySetupCount; ++j) w.add_file(kSkySetupBase + j, encode_setup_model(make_sky_setup(c, j)));
  for (std::uint32_t i = 0; i < c.motion_tables; ++i) {
    w.add_file(motion_table_id(i), encode_motion_table(make_motion_table(rng, c, i)), {.compressed = i % 2 == 1});
  }
  for (std::uint32_t i = 0; i < c.animations; ++i) {
    w.add_file(animation_id(i), encode_animation(make_animation(rng, i, p.nan_sound_hook)),
               {.compressed = i % 2 == 1});
  }
  for (std::uint32_t i = 0; i < c.scripts; ++i) {
    w.add_file(script_id(i), encode_physics_script(make_script(rng, i)),
               {.compressed = rng.chance(2), .layout = rng.chance(3) ? ChainLayout::Scattered : ChainLayout::Contiguous});
  }
  SplitMix64 filler_rng(p.seed ^ 0x706F7274616C0000ull);
  add_portal_fillers(filler_rng, p, w);
  return w.build().bytes;
}

std::vector<std::uint8_t> build_cell(SplitMix64& rng, const SampleWorldParams& p, const Counts& c) {
  ArchiveWriter w({.block_size = p.cell_block_size, .entries_per_node = p.entries_per_node});
  w.header().engine_version = 22;
  w.header().game_version = 1;
  const std::vector<std::uint32_t> landblocks = landblock_numbers(p);
  // One landblock other than the focus has no LandblockInfo.
  std::vector<std::size_t> others;
  for (std::size_t i = 0; i < landblocks.size(); ++i) {
    if (landblocks[i] != kSampleFocusLandblock) others.push_back(i);
  }
  const std::size_t bare = p.info_absent_one_in != 0 || others.empty()
                               ? landblocks.size()
                               : others[rng.below(static_cast<std::uint32_t>(others.size()))];
  const SampleLand land(p.seed, p.first_x, p.first_y, p.grid_width, p.grid_height);
  SplitMix64 filler_rng(p.seed ^ 0x63656C6C00000000ull);
  std::vector<std::uint8_t> filler;
  for (std::size_t i = 0; i < landblocks.size(); ++i) {
    const std::uint32_t lb = landblocks[i];
    const LandblockLand under = landblock_land(land, lb);
    const CellLandblockDef cell = make_cell_landblock(rng, under, lb);
    w.add_file(cell.id, encode_cell_landblock(cell), {.compressed = i % 2 == 1});
    for (std::uint32_t n = 0; n < p.cell_fillers_per_landblock; ++n) {
      random_body(filler_rng, 16, 120, filler);
      w.add_file(lb << 16 | (0x0100 + n), filler);
    }
    if (i == bare) continue;
    if (p.info_absent_one_in != 0 && lb != kSampleFocusLandblock && rng.chance(p.info_absent_one_in)) continue;
    const LandblockInfoDef info = make_landblock_info(rng, c, under, lb);
    w.add_file(info.id, encode_landblock_info(info));
  }
  return w.build().bytes;
}

}  // namespace

SampleWorldParams retail_sample_world_params(std::uint64_t seed) {
  SampleWorldParams p;
  p.seed = seed;
  p.first_x = 0;
  p.first_y = 0;
  p.grid_width = 255;
  p.grid_height = 255;
  p.setup_count = 400;
  p.motion_table_count = 60;
  p.animation_count = 600;
  p.script_count = 120;
  p.day_group_count = 8;
  p.portal_block_size = 1024;
  p.cell_block_size = 256;
  p.entries_per_node = 61;
  p.info_absent_one_in = 8;
  p.portal_filler_files = 78'800;
  p.portal_large_files = 8;
  p.cell_fillers_per_landblock = 14;
  return p;
}

SampleWorld build_sample_world(const SampleWorldParams& params) {
  const Counts counts = effective_counts(params);
  // Separate streams keep the archives independent: a change in the cell
  // archive's drawing does not reshuffle the portal archive.
  SplitMix64 seeds(params.seed);
  SplitMix64 portal_rng(seeds.next());
  SplitMix64 cell_rng(seeds.next());
  SplitMix64 spawns_rng(seeds.next());
  SampleWorld world;
  world.portal = build_portal(portal_rng, params, counts);
  world.cell = build_cell(cell_rng, params, counts);
  make_spawns(spawns_rng, counts, world);
  return world;
}

common::IoResult<void> write_sample_world(const std::filesystem::path& dir, const SampleWorld& world,
                                          common::FileSystem& fs) {
  if (auto r = common::create_directories_synced(dir / "spawns", fs); !r) return r;
  auto bytes = [](std::string_view s) {
    return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
  };
  const std::pair<std::filesystem::path, std::span<const std::uint8_t>> files[] = {
      {dir / "client_portal.dat", world.portal},
      {dir / "client_cell_1.dat", world.cell},
      {dir / "spawns" / "0xA9B4.spawns.jsonl", bytes(world.spawns_jsonl)},
      {dir / "spawns" / "wcid_to_setup.json", bytes(world.setup_table_json)},
  };
  // The caller names the directory; the error is the system's alone.
  for (const auto& [path, content] : files)
    if (auto r = common::write_output_file(path, content, common::Durability::Synced, fs); !r)
      return std::unexpected(std::move(r.error().error));
  return {};
}

}  // namespace ravelin::dat_writer
