// patch_world over small constructed versions: each rule for whole files and
// records (what is changed, where it conflicts and why, what TARGET holds
// afterwards), and what must hold of any patch: OLD patched with OLD → NEW
// holds NEW's files, a patch with OLD = NEW changes no byte, a clean patch bakes
// like the same change made by hand, and bad input writes nothing.
#include "ravelin/event_bake/world_patch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "dat_writer/sample_world.h"
#include "dat_writer/sample_world_revision.h"
#include "event_bake/document_merge.h"
#include "ravelin/common/file.h"
#include "ravelin/common/id_text.h"
#include "ravelin/dat/file_ids.h"
#include "ravelin/dat/lib.h"
#include "ravelin/dat/record_json.h"
#include "test_support/test_world.h"

namespace ravelin::event_bake {
namespace {

using test_support::BakeWorld;
using test_support::ScratchDir;
using dat_writer::animation_with_hooks;
using dat_writer::particle_hook;
using dat_writer::physics_script_of;

constexpr std::uint32_t kScript = 0x33000001;
constexpr std::uint32_t kAnimation = 0x03000001;
constexpr std::uint32_t kBlob = 0x06000001;     // no decoder reads it
constexpr std::uint32_t kDropped = 0x06000002;  // removed by some NEWs
constexpr std::uint32_t kAdded = 0x06000003;    // added by some NEWs
constexpr std::uint32_t kCellBlob = 0xA9B40100;

// One file as a reader sees it.
struct FileState {
  std::uint32_t bit_flags = 0, timestamp = 0, version = 0;
  std::vector<std::uint8_t> bytes;  // stored (or decompressed, when asked)
  bool operator==(const FileState&) const = default;
};
void PrintTo(const FileState& f, std::ostream* out) {
  *out << "{flags " << f.bit_flags << ", timestamp " << f.timestamp << ", version " << f.version << ", " << f.bytes.size()
       << " bytes}";
}
using ArchiveState = std::map<std::uint32_t, FileState>;

ArchiveState archive_state(const std::filesystem::path& path, bool stored) {
  ArchiveState state;
  auto db = dat::DatDatabase::open(path);
  EXPECT_TRUE(db.has_value()) << path;
  if (!db) return state;
  for (const auto& e : db->entries()) {
    auto bytes = stored ? db->read_file_data(e.offset, e.size) : db->get_file(e.id);
    EXPECT_TRUE(bytes.has_value()) << std::hex << e.id;
    state[e.id] = {e.bit_flags, e.timestamp, e.version, bytes.value_or(std::vector<std::uint8_t>{})};
  }
  return state;
}

std::pair<ArchiveState, ArchiveState> world_state(const std::filesystem::path& dir, bool stored = true) {
  return {archive_state(dir / dat::kPortalArchiveName, stored), archive_state(dir / dat::kCellArchiveName, stored)};
}

std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> world_bytes(const std::filesystem::path& dir) {
  auto read = [&](std::string_view name) { return common::read_whole_file(dir / name).value_or(std::vector<std::uint8_t>{}); };
  return {read(dat::kPortalArchiveName), read(dat::kCellArchiveName)};
}

std::expected<WorldPatchResult, std::string> patch(const std::filesystem::path& target, const std::filesystem::path& old_dir,
                                                   const std::filesystem::path& new_dir, bool dry_run = false,
                                                   bool keep_going = false) {
  return patch_world({target, old_dir, new_dir, dry_run, keep_going});
}

void base_world(BakeWorld& w) {
  w.add_script(physics_script_of(kScript, {{0.0, particle_hook(0x32000001, 0)}}));
  w.add_animation(animation_with_hooks(kAnimation, 1, {{}}));
  w.add_portal(kBlob, {1, 2, 3});
  w.add_portal(kDropped, {4, 5});
  w.add_cell(kCellBlob, {6, 7});
}

using Change = std::function<void(BakeWorld&)>;

Change script(std::vector<dat_writer::ScriptEntryDef> entries) {
  return [entries](BakeWorld& w) { w.add_script(physics_script_of(kScript, entries)); };
}
Change portal_file(std::uint32_t id, std::vector<std::uint8_t> bytes, dat_writer::FileOptions options = {}) {
  return [=](BakeWorld& w) { w.portal.add_file(id, bytes, options); };
}
Change drop(std::uint32_t id) {
  return [id](BakeWorld& w) { w.portal.remove_file(id); };
}
TEST(WorldPatch, Rules) {
  struct Case {
    const char* name;
    Change change_new, change_target;
    std::vector<std::string> changes;    // to_text() of each change
    std::vector<std::string> conflicts;  // "ID PATH: WHY", a read error's text cut after the side's name
    std::size_t unchanged = 0;
    Change expected = nullptr;  // TARGET afterwards is the base with change_target and this (clean cases)
    Change change_old = nullptr;
  };
  const auto hook = [](std::uint32_t emitter, std::uint32_t part, double start = 0.0) {
    return dat_writer::ScriptEntryDef{start, particle_hook(emitter, part)};
  };
  const Case cases[] = {
      {"nothing changed", nullptr, nullptr, {}, {}, 0, [](BakeWorld&) {}},
      {"new adds a file", portal_file(kAdded, {9}), nullptr, {"add portal 0x06000003"}, {}, 0, portal_file(kAdded, {9})},
      {"new adds a file target already has", portal_file(kAdded, {9}), portal_file(kAdded, {9}), {}, {}, 1,
       [](BakeWorld&) {}},
      {"new adds a file target has with other bytes", portal_file(kAdded, {9}), portal_file(kAdded, {8}), {},
       {"0x06000003 : target already has the added file with other bytes"}},
      {"new removes a file", drop(kDropped), nullptr, {"remove portal 0x06000002"}, {}, 0, drop(kDropped)},
      {"new removes a file target changed", drop(kDropped), portal_file(kDropped, {4, 6}), {},
       {"0x06000002 : target changed the removed file"}},
      {"new removes a file target removed", drop(kDropped), drop(kDropped), {}, {}, 1, [](BakeWorld&) {}},
      {"new changes an undecoded file", portal_file(kBlob, {1, 2, 4}), nullptr, {"replace portal 0x06000001"}, {}, 0,
       portal_file(kBlob, {1, 2, 4})},
      {"new changes a file's fields alone", portal_file(kBlob, {1, 2, 3}, {.timestamp = 7, .version = 2}), nullptr,
       {"replace portal 0x06000001"}, {}, 0, portal_file(kBlob, {1, 2, 3}, {.timestamp = 7, .version = 2})},
      {"new compresses a file", portal_file(kBlob, {1, 2, 3}, {.compressed = true}), nullptr,
       {"replace portal 0x06000001"}, {}, 0, portal_file(kBlob, {1, 2, 3}, {.compressed = true})},
      {"both change an undecoded file", portal_file(kBlob, {1, 2, 4}), portal_file(kBlob, {1, 2, 5}), {},
       {"0x06000001 : both changed a file no decoder reads"}},
      {"both change an undecoded file the same way", portal_file(kBlob, {1, 2, 4}), portal_file(kBlob, {1, 2, 4}), {},
       {}, 1, [](BakeWorld&) {}},
      {"new changes a file target removed", portal_file(kBlob, {1, 2, 4}), drop(kBlob), {},
       {"0x06000001 : target removed the changed file"}},
      {"new changes a record target did not", script({hook(0x32000009, 0)}), nullptr,
       {"replace portal 0x33000001 physics-script"}, {}, 0, script({hook(0x32000009, 0)})},
      {"record: new changes the emitter, target the part", script({hook(0x32000009, 0)}), script({hook(0x32000001, 3)}),
       {"merge portal 0x33000001 physics-script"}, {}, 0, script({hook(0x32000009, 3)})},
      {"record: new appends an entry, target changes the first", script({hook(0x32000001, 0), hook(0x32000002, 1, 1.0)}),
       script({hook(0x32000001, 0, 0.5)}), {"merge portal 0x33000001 physics-script"}, {}, 0,
       script({hook(0x32000001, 0, 0.5), hook(0x32000002, 1, 1.0)})},
      {"record: merged, keeping target's own fields", script({hook(0x32000009, 0)}),
       [](BakeWorld& w) {
         w.portal.add_file(kScript, dat_writer::encode_physics_script(physics_script_of(kScript, {{0.0, particle_hook(0x32000001, 3)}})),
                           {.extra_flags = 0x10, .timestamp = 5});
       },
       {"merge portal 0x33000001 physics-script"}, {}, 0,
       [](BakeWorld& w) {
         w.portal.add_file(kScript, dat_writer::encode_physics_script(physics_script_of(kScript, {{0.0, particle_hook(0x32000009, 3)}})),
                           {.extra_flags = 0x10, .timestamp = 5});
       }},
      {"record: both change the emitter differently", script({hook(0x32000009, 0)}), script({hook(0x32000008, 0)}),
       {}, {"0x33000001 /script_data/0/hook/emitter_id: both changed"}},
      {"record: both append an entry", script({hook(0x32000001, 0), hook(0x32000002, 0)}),
       script({hook(0x32000001, 0), hook(0x32000003, 0)}), {}, {"0x33000001 /script_data: array lengths changed on both sides"}},
      {"record: target's change already holds new's", script({hook(0x32000009, 0)}),
       script({hook(0x32000009, 0, 0.5)}), {}, {}, 1, [](BakeWorld&) {}},
      {"record target does not decode", script({hook(0x32000009, 0)}), portal_file(kScript, {1, 2, 3}), {},
       {"0x33000001 : target: "}},
      {"record unreadable in target", script({hook(0x32000009, 0)}),
       portal_file(kScript, {1, 2, 3}, {.size_override = 1u << 20}), {}, {"0x33000001 : target: "}},
      {"record unreadable in new", portal_file(kScript, {1, 2, 3}, {.size_override = 1u << 20}),
       script({hook(0x32000001, 5)}), {}, {"0x33000001 : new: "}},
      {"new removes a file OLD cannot read, target removed it too", drop(kBlob), drop(kBlob), {}, {}, 1,
       [](BakeWorld&) {}, portal_file(kBlob, {1, 2, 3}, {.size_override = 1u << 20})},
      {"new changes a file OLD cannot read", portal_file(kBlob, {1, 2, 4}), nullptr, {}, {"0x06000001 : old: "}, 0,
       nullptr, portal_file(kBlob, {1, 2, 3}, {.size_override = 1u << 20})},
      // Each side holds one part per frame as its part count says; merged, the
      // frame new added has one part and target's count says two.
      {"record merged into one the encoder refuses",
       [](BakeWorld& w) { w.add_animation(animation_with_hooks(kAnimation, 1, {{}, {}})); },
       [](BakeWorld& w) { w.add_animation(animation_with_hooks(kAnimation, 2, {{}})); }, {},
       {"0x03000001 /frames/1/part_frames: encoder: "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BakeWorld old_world, new_world, target_world;
    for (BakeWorld* w : {&old_world, &new_world, &target_world}) base_world(*w);
    if (c.change_old) c.change_old(old_world);
    if (c.change_new) c.change_new(new_world);
    if (c.change_target) c.change_target(target_world);
    old_world.write();
    new_world.write();
    target_world.write();
    const auto before = world_bytes(target_world.dir());

    const auto result = patch(target_world.dir(), old_world.dir(), new_world.dir());
    if (!result) {
      ADD_FAILURE() << result.error();
      continue;
    }
    std::vector<std::string> changes;
    for (const auto& change : result->changes) changes.push_back(change.to_text());
    EXPECT_EQ(changes, c.changes);
    EXPECT_EQ(result->conflicts.size(), c.conflicts.size());
    for (std::size_t i = 0; i < std::min(c.conflicts.size(), result->conflicts.size()); ++i) {
      const auto& got = result->conflicts[i];
      const std::string text = common::hex_id(got.id) + " " + got.path + ": " + got.why;
      EXPECT_TRUE(text.starts_with(c.conflicts[i])) << text;
    }
    EXPECT_EQ(result->unchanged, c.unchanged);
    EXPECT_EQ(result->written, c.conflicts.empty() && !c.changes.empty());
    if (!c.conflicts.empty()) {
      EXPECT_EQ(world_bytes(target_world.dir()), before) << "a conflict writes nothing";
      continue;
    }
    BakeWorld expected;
    base_world(expected);
    if (c.change_target) c.change_target(expected);
    c.expected(expected);
    expected.write();
    EXPECT_EQ(world_state(target_world.dir(), false), world_state(expected.dir(), false));
  }
}

// Conflicts carry each side's value: the documents' at the path, a whole
// file's entry, and JSON lines a reader parses back.
TEST(WorldPatch, ConflictValuesAndLines) {
  BakeWorld old_world, new_world, target_world;
  for (BakeWorld* w : {&old_world, &new_world, &target_world}) base_world(*w);
  new_world.add_script(physics_script_of(kScript, {{0.0, particle_hook(0x32000009, 0)}}));
  target_world.add_script(physics_script_of(kScript, {{0.0, particle_hook(0x32000008, 0)}}));
  new_world.portal.remove_file(kDropped);
  target_world.portal.add_file(kDropped, std::vector<std::uint8_t>{4, 6}, {.timestamp = 3});
  for (BakeWorld* w : {&old_world, &new_world, &target_world}) w->write();

  const auto result = patch(target_world.dir(), old_world.dir(), new_world.dir(), true);
  ASSERT_TRUE(result.has_value()) << result.error();
  ASSERT_EQ(result->conflicts.size(), 2u);
  EXPECT_EQ(result->conflicts[0].to_json_line(),
            R"({"kind":"conflict","archive":"portal","id":"0x06000002","path":"","old":{"size":2,"bit_flags":"0x00000000",)"
            R"("timestamp":0,"version":0},"new":null,"target":{"size":2,"bit_flags":"0x00000000","timestamp":3,"version":0},)"
            R"("why":"target changed the removed file"})");
  EXPECT_EQ(result->conflicts[1].to_json_line(),
            R"({"kind":"conflict","archive":"portal","id":"0x33000001","path":"/script_data/0/hook/emitter_id",)"
            R"("old":"0x32000001","new":"0x32000009","target":"0x32000008","why":"both changed"})");
  EXPECT_EQ(result->conflicts[1].to_text(),
            "conflict portal 0x33000001 /script_data/0/hook/emitter_id: both changed "
            "(old \"0x32000001\", new \"0x32000009\", target \"0x32000008\")");
  EXPECT_EQ(result->totals_text(), "patch: 0 added, 0 removed, 0 replaced, 0 merged, 0 unchanged, 2 conflicts; nothing written");
}

// Dry runs and conflicts write nothing; keep-going commits what merges.
TEST(WorldPatch, DryRunAndKeepGoing) {
  BakeWorld old_world, new_world, target_world;
  for (BakeWorld* w : {&old_world, &new_world, &target_world}) base_world(*w);
  new_world.add_portal(kAdded, {9});
  new_world.add_cell(kCellBlob, {6, 8});
  new_world.add_portal(kBlob, {1, 2, 4});
  target_world.add_portal(kBlob, {1, 2, 5});
  for (BakeWorld* w : {&old_world, &new_world, &target_world}) w->write();
  const auto before = world_bytes(target_world.dir());

  for (const bool keep_going : {false, true}) {
    const auto dry = patch(target_world.dir(), old_world.dir(), new_world.dir(), true, keep_going);
    ASSERT_TRUE(dry.has_value()) << dry.error();
    EXPECT_EQ(dry->changes.size(), 2u);
    EXPECT_EQ(dry->conflicts.size(), 1u);
    EXPECT_FALSE(dry->written);
    EXPECT_EQ(world_bytes(target_world.dir()), before);
  }
  const auto stopped = patch(target_world.dir(), old_world.dir(), new_world.dir());
  ASSERT_TRUE(stopped.has_value());
  EXPECT_FALSE(stopped->written);
  EXPECT_EQ(world_bytes(target_world.dir()), before);

  const auto kept = patch(target_world.dir(), old_world.dir(), new_world.dir(), false, true);
  ASSERT_TRUE(kept.has_value());
  EXPECT_TRUE(kept->written);
  EXPECT_EQ(kept->conflicts.size(), 1u);
  const auto [portal, cell] = world_state(target_world.dir());
  EXPECT_EQ(portal.at(kAdded).bytes, std::vector<std::uint8_t>{9});
  EXPECT_EQ(portal.at(kBlob).bytes, (std::vector<std::uint8_t>{1, 2, 5})) << "the conflicting file is left alone";
  EXPECT_EQ(cell.at(kCellBlob).bytes, (std::vector<std::uint8_t>{6, 8}));
}

// A directory without both archives: the error names it and nothing is
// written, whichever side it is.
TEST(WorldPatch, MissingArchive) {
  BakeWorld old_world, new_world, target_world;
  for (BakeWorld* w : {&old_world, &new_world, &target_world}) base_world(*w);
  new_world.add_portal(kAdded, {9});
  old_world.write();
  new_world.write();
  target_world.write_cell = false;
  target_world.write();
  const auto before = common::read_whole_file(target_world.dir() / dat::kPortalArchiveName);
  ASSERT_TRUE(before.has_value());

  const auto result = patch(target_world.dir(), old_world.dir(), new_world.dir());
  ASSERT_FALSE(result.has_value());
  EXPECT_TRUE(result.error().starts_with("target: open client_cell_1.dat at ")) << result.error();
  EXPECT_NE(result.error().find(target_world.dir().string()), std::string::npos) << result.error();
  EXPECT_EQ(common::read_whole_file(target_world.dir() / dat::kPortalArchiveName), before);
  EXPECT_FALSE(std::filesystem::exists(target_world.dir() / dat::kCellArchiveName));

  const ScratchDir empty;
  const auto no_old = patch(target_world.dir(), empty.path(), new_world.dir());
  ASSERT_FALSE(no_old.has_value());
  EXPECT_TRUE(no_old.error().starts_with("old: open client_portal.dat at ")) << no_old.error();
}

void copy_world(const std::filesystem::path& from, const std::filesystem::path& to) {
  for (const std::string_view name : {dat::kPortalArchiveName, dat::kCellArchiveName})
    std::filesystem::copy_file(from / name, to / name, std::filesystem::copy_options::overwrite_existing);
}

// OLD patched with OLD → NEW holds NEW's files, stored bytes and fields, and
// a patch whose OLD and NEW are one version changes no byte of TARGET.
void check_carries_exactly(const std::filesystem::path& old_dir, const std::filesystem::path& new_dir,
                           const std::filesystem::path& target_dir) {
  copy_world(old_dir, target_dir);
  const auto result = patch(target_dir, old_dir, new_dir);
  ASSERT_TRUE(result.has_value()) << result.error();
  EXPECT_TRUE(result->conflicts.empty());
  EXPECT_EQ(world_state(target_dir), world_state(new_dir));

  const auto before = world_bytes(target_dir);
  for (const auto* same : {&old_dir, &new_dir, &target_dir}) {
    const auto nothing = patch(target_dir, *same, *same);
    ASSERT_TRUE(nothing.has_value()) << nothing.error();
    EXPECT_TRUE(nothing->changes.empty() && nothing->conflicts.empty());
    EXPECT_EQ(world_bytes(target_dir), before);
  }
}

TEST(WorldPatch, SampleWorldRevisionCarriesExactly) {
  const ScratchDir old_dir, new_dir, target_dir;
  const dat_writer::SampleWorldParams params;
  const auto world = dat_writer::build_sample_world(params);
  ASSERT_TRUE(dat_writer::write_sample_world(old_dir.path(), world).has_value());
  ASSERT_TRUE(dat_writer::write_sample_world(new_dir.path(), world).has_value());
  const auto revised = dat_writer::revise_sample_world(new_dir.path(), params.entries_per_node);
  ASSERT_TRUE(revised.has_value()) << revised.error();
  check_carries_exactly(old_dir.path(), new_dir.path(), target_dir.path());
}

// Random versions: files added, removed, changed in bytes, fields or
// compression, NEW written with another block size.
TEST(WorldPatch, RandomPairsCarryExactly) {
  for (const unsigned seed : {1u, 2u, 3u, 4u}) {
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    auto below = [&](std::uint32_t n) { return static_cast<std::uint32_t>(random() % n); };
    auto random_file = [&](dat_writer::ArchiveWriter& writer, std::uint32_t id) {
      std::vector<std::uint8_t> bytes(below(600));
      for (auto& b : bytes) b = static_cast<std::uint8_t>(below(4));  // compressible
      writer.add_file(id, bytes, {.compressed = below(3) == 0, .timestamp = below(3), .version = below(2)});
    };
    BakeWorld old_world, new_world, target_world;
    new_world.portal = dat_writer::ArchiveWriter({.block_size = 512});
    for (dat_writer::ArchiveWriter* writer : {&old_world.portal, &old_world.cell}) {
      for (std::uint32_t i = 0; i < 150; ++i) random_file(*writer, 0x06000000 + below(400));
    }
    old_world.write();
    for (const auto& [name, to] : {std::pair{dat::kPortalArchiveName, &new_world.portal},
                                  std::pair{dat::kCellArchiveName, &new_world.cell}}) {
      auto db = dat::DatDatabase::open(old_world.dir() / name);
      ASSERT_TRUE(db.has_value());
      for (const auto& e : db->entries()) {
        const std::uint32_t roll = below(10);
        if (roll == 0) continue;  // removed
        if (roll == 1) {
          random_file(*to, e.id);  // changed
          continue;
        }
        auto bytes = db->get_file(e.id);
        ASSERT_TRUE(bytes.has_value());
        // Kept, or changed in compression (2) or timestamp (3) alone.
        to->add_file(e.id, *bytes,
                     {.compressed = e.is_compressed() != (roll == 2), .timestamp = e.timestamp + (roll == 3 ? 1 : 0),
                      .version = e.version});
      }
      for (std::uint32_t i = 0; i < 30; ++i) random_file(*to, 0x06000000 + below(600));  // added (or changed)
    }
    new_world.write();
    check_carries_exactly(old_world.dir(), new_world.dir(), target_world.dir());
  }
}

// A clean patch merging into TARGET's own changes bakes as the same change
// made by hand.
TEST(WorldPatch, CleanPatchBakesLikeTheHandEdit) {
  auto bakeable = [](BakeWorld& w) {
    dat_writer::RegionDef r;
    r.terrain.terrain_types = {{"Grass", 0, {0}}};
    r.scene = dat_writer::SceneDescDef{{{0, {}}}};
    w.add_region(r);
    w.add_uniform_terrain(dat_writer::terrain_word(0, 0));
    w.add_setup(0x02000001, kScript);
    w.add_setup(0x02000002, 0x33000002);
    w.add_script(physics_script_of(0x33000002, {{0.0, particle_hook(0x32000020, 0)}}));
  };
  const auto script_of = [](std::uint32_t emitter, double start) {
    return physics_script_of(kScript, {{start, particle_hook(emitter, 0)}, {1.0, particle_hook(0x32000030, 1)}});
  };
  BakeWorld old_world, new_world, target_world, by_hand;
  for (BakeWorld* w : {&old_world, &new_world, &target_world, &by_hand}) bakeable(*w);
  old_world.add_script(script_of(0x32000001, 0.0));
  old_world.add_placements({0x02000001});
  // NEW: another emitter, and the second setup placed too.
  new_world.add_script(script_of(0x32000009, 0.0));
  new_world.add_placements({0x02000001, 0x02000002});
  // TARGET: the first hook later.
  target_world.add_script(script_of(0x32000001, 0.25));
  target_world.add_placements({0x02000001});
  by_hand.add_script(script_of(0x32000009, 0.25));
  by_hand.add_placements({0x02000001, 0x02000002});
  for (BakeWorld* w : {&old_world, &new_world, &target_world, &by_hand}) w->write();

  const auto result = patch(target_world.dir(), old_world.dir(), new_world.dir());
  ASSERT_TRUE(result.has_value()) << result.error();
  EXPECT_TRUE(result->conflicts.empty());
  ASSERT_EQ(result->changes.size(), 2u);
  EXPECT_EQ(result->changes[0].action, PatchAction::Merge);
  EXPECT_EQ(result->changes[1].action, PatchAction::Replace);
  auto patched = bake_landblock_events(target_world.inputs());
  auto expected = bake_landblock_events(by_hand.inputs());
  ASSERT_TRUE(patched.has_value()) << patched.error().to_string();
  ASSERT_TRUE(expected.has_value()) << expected.error().to_string();
  EXPECT_EQ(patched->to_jsonl_bytes(), expected->to_jsonl_bytes());
  EXPECT_NE(patched->to_jsonl_bytes().find("0x32000009"), std::string::npos);
}

}  // namespace
}  // namespace ravelin::event_bake
