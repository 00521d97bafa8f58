// The diff of two small constructed versions, one change at a time: what
// files, records and landblocks report, that every patch turns the old
// document into the new one, and that skipping the new bake of landblocks
// whose inputs did not change gives the same answer as baking them all.
#include "ravelin/event_bake/world_diff.h"

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <vector>

#include "ravelin/dat/lib.h"
#include "ravelin/dat/record_json.h"
#include "ravelin/event_bake/diff_summary.h"
#include "test_support/test_world.h"

namespace ravelin::event_bake {
namespace {

using test_support::BakeWorld;
using dat_writer::particle_hook;
using dat_writer::physics_script_of;

constexpr std::uint32_t kSecondLandblock = 0xA9B50000;

// One yielding day group (its object runs script 0x33000100).
dat_writer::RegionDef region(float chance = 1.0f) {
  dat_writer::RegionDef r;
  r.terrain.terrain_types = {{"Grass", 0, {0}}};
  r.scene = dat_writer::SceneDescDef{{{0, {}}}};
  r.sound = dat_writer::SoundDescDef{{{0x20000001, {{1, 1.0f, 0.5f, 1.0f, 2.0f}}, {}}}};
  dat_writer::DayGroupDef day{chance, "Day", {}, {}};
  day.sky_objects = {{0.0f, 1.0f, {}, 0, 0x33000100, 0}};
  r.sky = dat_writer::SkyDescDef{0.0, 0.0, {day}};
  return r;
}

// Two landblocks; 0xA9B4 places setup 0x02000001 (script 0x33000001) and the
// absent 0x02000050, 0xA9B5 places nothing.
void base_world(BakeWorld& w) {
  w.add_region(region());
  w.add_script(physics_script_of(0x33000100, {{0.5, particle_hook(0x32000100, 0)}}));
  w.add_uniform_terrain(dat_writer::terrain_word(0, 0));
  w.add_uniform_terrain(dat_writer::terrain_word(0, 0), kSecondLandblock);
  w.add_setup(0x02000001, 0x33000001);
  w.add_script(physics_script_of(0x33000001, {{0.0, particle_hook(0x32000001, 0)}}));
  w.add_placements({0x02000001, 0x02000050});
  w.add_placements({}, kSecondLandblock);
}

struct Collected {
  WorldDiffResult result;
  std::vector<std::string> files, records, landblocks;
};

Collected run_diff(const BakeWorld& old_world, const BakeWorld& new_world, bool bake_every = false) {
  WorldDiffOptions options;
  options.old_dir = old_world.dir();
  options.new_dir = new_world.dir();
  options.jobs = 2;
  options.bake_every_landblock = bake_every;
  Collected out;
  WorldDiffLines lines;
  auto result = diff_worlds(options, lines.sinks());
  EXPECT_TRUE(result.has_value()) << result.error();
  if (result) out.result = std::move(*result);
  out.files = std::move(lines.files);
  out.records = std::move(lines.records);
  out.landblocks = std::move(lines.landblocks);
  return out;
}

nlohmann::json parse(const std::string& line) { return nlohmann::json::parse(line); }

// The dat show document of `id` in the archive of `dir`.
nlohmann::json document(const std::filesystem::path& dir, const std::string& archive, std::uint32_t id) {
  const auto path = dir / (archive == "portal" ? "client_portal.dat" : "client_cell_1.dat");
  auto db = dat::DatDatabase::open(path);
  EXPECT_TRUE(db.has_value());
  auto text = dat::show_record(*db, path, id, std::nullopt, true);
  EXPECT_TRUE(text.has_value());
  return nlohmann::json::parse(text.value_or("null"));
}

TEST(WorldDiff, ConstructedPairs) {
  struct Case {
    const char* name;
    std::function<void(BakeWorld&)> change_old;
    std::function<void(BakeWorld&)> change_new;
    std::vector<std::string> files;       // files.jsonl lines
    std::vector<std::string> patches;     // the "patch" member of each records.jsonl line
    std::vector<std::string> landblocks;  // "0x...:change:caused_by,..." per landblocks.jsonl line
  };
  const Case cases[] = {
      {"identical", {}, {}, {}, {}, {}},
      {"entry added, read by nothing",
       {},
       [](BakeWorld& w) { w.add_portal(0x06000001, {1, 2, 3}); },
       {R"({"archive":"portal","id":"0x06000001","change":"added","type":null,"old_size":null,"new_size":3})"},
       {},
       {}},
      {"entry removed",
       [](BakeWorld& w) { w.add_cell(0xA9B40100, {1, 2}); },
       {},
       {R"({"archive":"cell","id":"0xA9B40100","change":"removed","type":null,"old_size":2,"new_size":null})"},
       {},
       {}},
      {"script field changed",
       {},
       [](BakeWorld& w) { w.add_script(physics_script_of(0x33000001, {{0.0, particle_hook(0x32000009, 0)}})); },
       {R"({"archive":"portal","id":"0x33000001","change":"changed","type":"physics-script","old_size":64,"new_size":64})"},
       {R"([{"op":"replace","path":"/script_data/0/hook/emitter_id","value":"0x32000009"},)"
        R"({"op":"replace","path":"/script_data/0/hook/payload","value":"09000032000000000000000000000000000000000000000000000000000000000000000000000000"}])"},
       {"0xA9B40000:changed:portal:0x33000001"}},
      {"array grown at the end",
       {},
       [](BakeWorld& w) {
         w.add_script(physics_script_of(0x33000001, {{0.0, particle_hook(0x32000001, 0)}, {1.0, particle_hook(0x32000002, 1)}}));
       },
       {R"({"archive":"portal","id":"0x33000001","change":"changed","type":"physics-script","old_size":64,"new_size":120})"},
       {R"([{"op":"add","path":"/script_data/-","value":{"hook":{"emitter_id":"0x32000002","hook_type":13,"hook_word":0,)"
        R"("part_index":1,"payload":"02000032010000000000000000000000000000000000000000000000000000000000000000000000"},"start_time":1.0}}])"},
       {"0xA9B40000:changed:portal:0x33000001"}},
      {"array shrunk at the end",
       [](BakeWorld& w) {
         w.add_script(physics_script_of(0x33000001, {{0.0, particle_hook(0x32000001, 0)},
                                                     {1.0, particle_hook(0x32000002, 1)},
                                                     {2.0, particle_hook(0x32000003, 2)}}));
       },
       {},
       {R"({"archive":"portal","id":"0x33000001","change":"changed","type":"physics-script","old_size":176,"new_size":64})"},
       {R"([{"op":"remove","path":"/script_data/2"},{"op":"remove","path":"/script_data/1"}])"},
       {"0xA9B40000:changed:portal:0x33000001"}},
      {"a placed setup becoming present",
       {},
       [](BakeWorld& w) {
         w.add_setup(0x02000050, 0x33000050);
         w.add_script(physics_script_of(0x33000050, {{0.0, particle_hook(0x32000050, 0)}}));
       },
       {R"({"archive":"portal","id":"0x02000050","change":"added","type":"setup","old_size":null,"new_size":144})",
        R"({"archive":"portal","id":"0x33000050","change":"added","type":"physics-script","old_size":null,"new_size":64})"},
       {},
       {"0xA9B40000:changed:portal:0x02000050,portal:0x33000050"}},
      {"region change reaching every landblock",
       {},
       [](BakeWorld& w) { w.add_region(region(0.5f)); },
       {R"({"archive":"portal","id":"0x13000000","change":"changed","type":"region","old_size":0,"new_size":0})"},
       {R"([{"op":"replace","path":"/sky/day_groups/0/chance","value":0.5}])"},
       {"0xA9B40000:changed:portal:0x13000000", "0xA9B50000:changed:portal:0x13000000"}},
      {"region removed: every new bake fails at it",
       {},
       [](BakeWorld& w) { w.portal.remove_file(0x13000000); },
       {R"({"archive":"portal","id":"0x13000000","change":"removed","type":"region","old_size":0,"new_size":null})"},
       {},
       {"0xA9B40000:changed:portal:0x13000000", "0xA9B50000:changed:portal:0x13000000"}},
      {"unreadable entry",
       {},
       [](BakeWorld& w) { // Its entry claims more bytes than the archive holds.
         w.portal.add_file(0x33000001, std::vector<std::uint8_t>{1, 2, 3}, {.size_override = 1u << 20}); },
       {R"({"archive":"portal","id":"0x33000001","change":"unreadable","type":"physics-script","old_size":64,"new_size":null,"old_error":null,"new_error":"?"})"},
       {},
       {"0xA9B40000:changed:portal:0x33000001"}},
      {"landblock added, and one whose bake fails",
       {},
       [](BakeWorld& w) {
         w.add_uniform_terrain(dat_writer::terrain_word(0, 0), 0xA9B60000);
         w.add_cell(0xA9B5FFFE, {1, 2});
       },
       {R"({"archive":"cell","id":"0xA9B5FFFE","change":"changed","type":"landblock-info","old_size":16,"new_size":2})",
        R"({"archive":"cell","id":"0xA9B6FFFF","change":"added","type":"cell-landblock","old_size":null,"new_size":0})"},
       {"old_error null, new_error \"Binary read error: failed to fill whole buffer (context: While parsing field 'id' "
        "in LandblockInfo at dat/landblock:128)\""},
       {"0xA9B50000:changed:cell:0xA9B5FFFE", "0xA9B60000:added:cell:0xA9B6FFFF"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BakeWorld old_world, new_world;
    base_world(old_world);
    base_world(new_world);
    if (c.change_old) c.change_old(old_world);
    if (c.change_new) c.change_new(new_world);
    old_world.write();
    new_world.write();
    const Collected got = run_diff(old_world, new_world);

    ASSERT_EQ(got.files.size(), c.files.size());
    for (std::size_t i = 0; i < c.files.size(); ++i) {
      // Sizes of region and terrain records and error texts are not worked
      // out by hand: a 0 size or a "?" error only asks for a value there.
      auto expected = parse(c.files[i]);
      auto line = parse(got.files[i]);
      for (const char* key : {"old_size", "new_size", "old_error", "new_error"}) {
        if (!expected.contains(key)) continue;
        if (expected[key] == 0 || expected[key] == "?") {
          EXPECT_FALSE(line[key].is_null()) << key;
          expected[key] = line[key];
        }
      }
      EXPECT_EQ(line, expected) << got.files[i];
    }

    std::vector<std::string> patches;
    for (const auto& record : got.records) {
      const auto line = parse(record);
      if (!line.contains("patch")) {
        // A side that does not decode: its decoder's text, no patch.
        patches.push_back("old_error " + line["old_error"].dump() + ", new_error " + line["new_error"].dump());
        continue;
      }
      patches.push_back(line["patch"].dump());
      // The patch applied to the old document gives the new one.
      const auto id = static_cast<std::uint32_t>(std::stoul(line["id"].get<std::string>(), nullptr, 16));
      const auto before = document(old_world.dir(), line["archive"], id);
      const auto after = document(new_world.dir(), line["archive"], id);
      EXPECT_EQ(before.patch(line["patch"]), after) << record;
    }
    std::vector<std::string> expected_patches;
    for (const auto& p : c.patches) expected_patches.push_back(p.starts_with("old_error") ? p : parse(p).dump());
    EXPECT_EQ(patches, expected_patches);

    std::vector<std::string> landblocks;
    for (const auto& text : got.landblocks) {
      const auto line = parse(text);
      std::string causes;
      for (const auto& cause : line["caused_by"]) causes += (causes.empty() ? "" : ",") + cause.get<std::string>();
      landblocks.push_back(line["landblock_id"].get<std::string>() + ":" + line["change"].get<std::string>() + ":" + causes);
    }
    EXPECT_EQ(landblocks, c.landblocks);

    // Baking every landblock of the new version finds nothing more.
    const Collected every = run_diff(old_world, new_world, true);
    EXPECT_EQ(every.files, got.files);
    EXPECT_EQ(every.records, got.records);
    EXPECT_EQ(every.landblocks, got.landblocks);
  }
}

TEST(WorldDiff, LandblockLinesAreAMultisetDifference) {
  // The region change swaps the sky line; an added landblock has every line
  // added and a failing bake carries its error.
  BakeWorld old_world, new_world;
  base_world(old_world);
  base_world(new_world);
  new_world.add_script(physics_script_of(0x33000100, {{0.5, particle_hook(0x32000100, 0)}, {0.75, particle_hook(0x32000101, 0)}}));
  new_world.add_uniform_terrain(dat_writer::terrain_word(0, 0), 0xA9B60000);
  new_world.add_cell(0xA9B5FFFE, {1, 2});
  old_world.write();
  new_world.write();
  const Collected got = run_diff(old_world, new_world);
  ASSERT_EQ(got.landblocks.size(), 3u);
  const auto a9b4 = parse(got.landblocks[0]);
  EXPECT_EQ(a9b4["removed"].size(), 0u);
  ASSERT_EQ(a9b4["added"].size(), 1u);
  EXPECT_NE(a9b4["added"][0].get<std::string>().find("\"emitter_id\":\"0x32000101\""), std::string::npos);
  const auto a9b5 = parse(got.landblocks[1]);
  EXPECT_EQ(a9b5["change"], "changed");
  EXPECT_EQ(a9b5["added"].size(), 0u);
  EXPECT_EQ(a9b5["removed"].size(), 2u);  // its ambient and sky lines
  EXPECT_EQ(a9b5["new_error"].get<std::string>().rfind("parse LandblockInfo 0xA9B5FFFE: ", 0), 0u);
  EXPECT_FALSE(a9b5.contains("old_error"));
  const auto a9b6 = parse(got.landblocks[2]);
  EXPECT_EQ(a9b6["change"], "added");
  EXPECT_EQ(a9b6["removed"].size(), 0u);
  EXPECT_EQ(a9b6["added"].size(), 3u);  // ambient, two sky lines
  // Each line counts for the family whose list it came from.
  const std::vector<std::tuple<EventFamily, std::size_t, std::size_t>> counts = {
      {EventFamily::Ambient, 1, 1},  // 0xA9B6's added, 0xA9B5's removed
      {EventFamily::AnimationSound, 0, 0},
      {EventFamily::PhysicsParticle, 0, 0},
      {EventFamily::Sky, 3, 1},  // 0xA9B4 gains the new sky emitter, 0xA9B6 two lines
  };
  ASSERT_EQ(got.result.events.size(), counts.size());
  for (std::size_t i = 0; i < counts.size(); ++i) {
    EXPECT_EQ(got.result.events[i].family, std::get<0>(counts[i])) << i;
    EXPECT_EQ(got.result.events[i].added, std::get<1>(counts[i])) << i;
    EXPECT_EQ(got.result.events[i].removed, std::get<2>(counts[i])) << i;
  }
}

TEST(WorldDiff, VersionWithoutItsRegionFailsEveryBake) {
  BakeWorld old_world, new_world;
  base_world(old_world);
  base_world(new_world);
  new_world.portal.remove_file(0x13000000);
  old_world.write();
  new_world.write();
  const Collected got = run_diff(old_world, new_world);
  ASSERT_EQ(got.landblocks.size(), 2u);
  for (const auto& text : got.landblocks) {
    const auto line = parse(text);
    EXPECT_EQ(line["new_error"], "Region 0x13000000 missing from DAT");
    EXPECT_FALSE(line.contains("old_error"));
    EXPECT_TRUE(line["added"].empty());
    EXPECT_FALSE(line["removed"].empty());
  }
}

TEST(WorldDiff, UnopenableArchiveNamesTheSide) {
  BakeWorld good, broken;
  base_world(good);
  base_world(broken);
  good.write();
  broken.write_cell = false;
  broken.write();
  for (const bool broken_is_old : {true, false}) {
    WorldDiffOptions options;
    options.old_dir = broken_is_old ? broken.dir() : good.dir();
    options.new_dir = broken_is_old ? good.dir() : broken.dir();
    const auto result = diff_worlds(options, {});
    ASSERT_FALSE(result.has_value());
    const std::string side = broken_is_old ? "old: " : "new: ";
    EXPECT_EQ(result.error().rfind(side + "open client_cell_1.dat at ", 0), 0u) << result.error();
  }
}

// Records what the diff did with it; fails its open or its n-th add when told.
template <class Item>
struct ScriptedSink final : common::Sink<Item> {
  std::string name;
  std::vector<std::string>& calls;
  bool fail_open = false;
  std::size_t fail_add = 0;  // 1-based; 0 never
  std::size_t added = 0;

  ScriptedSink(std::string n, std::vector<std::string>& c) : name(std::move(n)), calls(c) {}
  common::SinkResult open() override {
    calls.push_back(name + " open");
    if (fail_open) return std::unexpected(name + " cannot open");
    return {};
  }
  common::SinkResult add(const Item&) override {
    if (++added == fail_add) return std::unexpected(name + " full");
    return {};
  }
  common::SinkResult finish(const common::JobEnd&) override {
    calls.push_back(name + " finish");
    return {};
  }
  void abandon() override { calls.push_back(name + " abandon"); }
};

TEST(WorldDiff, SinksAreFinishedLastFirstOrAllAbandoned) {
  BakeWorld old_world, new_world;
  base_world(old_world);
  base_world(new_world);
  new_world.add_script(physics_script_of(0x33000100, {{0.5, particle_hook(0x32000100, 0)}, {0.75, particle_hook(0x32000101, 0)}}));
  old_world.write();
  new_world.write();
  WorldDiffOptions options;
  options.old_dir = old_world.dir();
  options.new_dir = new_world.dir();
  options.jobs = 2;
  struct Case {
    const char* name;
    bool fail_records_open;
    std::size_t fail_landblock_add;
    std::size_t fail_file_add;
    std::vector<std::string> calls;
    const char* error;  // null: the diff succeeds
  };
  const std::vector<Case> cases = {
      {"complete", false, 0, 0,
       {"files open", "records open", "landblocks open", "landblocks finish", "records finish", "files finish"},
       nullptr},
      {"a sink that cannot open", true, 0, 0, {"files open", "records open", "records abandon", "files abandon"},
       "records cannot open"},
      {"a landblock sink that fails to add", false, 1, 0,
       {"files open", "records open", "landblocks open", "landblocks abandon", "records abandon", "files abandon"},
       "landblocks full"},
      {"a file sink that fails to add", false, 0, 1,
       {"files open", "records open", "landblocks open", "landblocks abandon", "records abandon", "files abandon"},
       "files full"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> calls;
    ScriptedSink<FileDiff> files("files", calls);
    ScriptedSink<RecordDiff> records("records", calls);
    ScriptedSink<LandblockDiff> landblocks("landblocks", calls);
    records.fail_open = c.fail_records_open;
    landblocks.fail_add = c.fail_landblock_add;
    files.fail_add = c.fail_file_add;
    const auto result = diff_worlds(options, {&files, &records, &landblocks});
    EXPECT_EQ(calls, c.calls) << c.name;
    if (c.error == nullptr) {
      EXPECT_TRUE(result.has_value()) << c.name;
      EXPECT_GT(files.added, 0u) << c.name;
      EXPECT_GT(landblocks.added, 0u) << c.name;
    } else {
      ASSERT_FALSE(result.has_value()) << c.name;
      EXPECT_EQ(result.error(), c.error) << c.name;
    }
  }
}

// The summary from a result put together by hand: what the table counts, the
// lists of landblock numbers and their cut, and the region's note.
TEST(WorldDiff, SummaryNamesLandblocksAndWhatTheyRead) {
  WorldDiffResult result;
  result.landblocks_compared = 40;
  FileDiff region;
  region.id = 0x13000000;
  region.type = dat::RecordType::Region;
  FileDiff gone;
  gone.id = 0x03000209;
  gone.change = EntryChange::Removed;
  gone.type = dat::RecordType::Animation;
  result.files = {region, gone};
  for (std::uint32_t i = 0; i < 25; ++i) {
    LandblockDiffEntry lb;
    lb.landblock_id = (0xA900u + i) << 16;
    lb.caused_by = {region.input_name()};
    if (i < 2) lb.changed_lines[index_of(EventFamily::Sky)] = 3;        // fed by the region
    if (i == 2) lb.changed_lines[index_of(EventFamily::PhysicsParticle)] = 1;  // not fed by it
    result.landblocks.push_back(lb);
  }
  LandblockDiffEntry added;
  added.landblock_id = 0xAB000000;
  added.change = LandblockChange::Added;
  added.caused_by = {region.input_name()};
  result.landblocks.push_back(added);
  const std::string md = diff_summary_markdown(result);
  for (const char* expected : {
           "Of 40 landblocks, 25 changed, 1 added and 0 removed.",
           "Changed: 0xA900, 0xA901, ",
           ", 0xA913 and 5 more.\n",
           "Added: 0xAB00.\n",
           "| portal:0x13000000 | region | changed | 26 |",
           "| portal:0x03000209 | animation | removed | 0 |",
           "portal:0x13000000 (region) is read by every changed landblock; 2 of the 26 changed landblocks changed in "
           "its ambient or sky chain lines.",
       })
    EXPECT_NE(md.find(expected), std::string::npos) << expected << "\n" << md;
  EXPECT_EQ(md.find("0xA914"), std::string::npos) << "the 21st landblock is counted, not named";
}

TEST(WorldDiff, SummaryOfIdenticalVersionsSaysSo) {
  BakeWorld a, b;
  base_world(a);
  base_world(b);
  a.write();
  b.write();
  const Collected got = run_diff(a, b);
  EXPECT_EQ(diff_summary_markdown(got.result),
            "# Patch notes\n\nThe two versions are the same: no archive entry differs and each of the 2 landblocks "
            "bakes the same.\n");
}

}  // namespace
}  // namespace ravelin::event_bake
