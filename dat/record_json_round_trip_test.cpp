// Records through their JSON documents and back: every record of generated
// worlds gives back its stored bytes, and each member that carries what the
// bake's decoders skip is needed (dropping it changes the bytes).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "dat_writer/sample_world.h"
#include "ravelin/common/file.h"
#include "ravelin/dat/record_json.h"
#include "test_support/test_world.h"

namespace ravelin::dat {
namespace {

namespace t = ravelin::dat_writer;
using Bytes = std::vector<std::uint8_t>;
using nlohmann::json;

// decode → JSON → encode gives `bytes`; JSON → encode → decode → JSON gives the
// same JSON. Records the decoder rejects have nothing to give back.
::testing::AssertionResult round_trips(RecordType type, const Bytes& bytes) {
  const auto document = record_json(type, bytes, true);
  if (!document) return ::testing::AssertionSuccess();
  const auto encoded = encode_record_json(type, *document);
  if (!encoded) return ::testing::AssertionFailure() << "encoding its document fails: " << encoded.error().to_string();
  if (*encoded != bytes)
    return ::testing::AssertionFailure() << "encoding its document gives " << encoded->size() << " other bytes (of "
                                         << bytes.size() << ")";
  const auto again = record_json(type, *encoded, true);
  if (!again || *again != *document) return ::testing::AssertionFailure() << "the encoded bytes decode to another document";
  // The indented document reads back the same.
  const auto indented = record_json(type, bytes, false);
  const auto from_indented = encode_record_json(type, *indented);
  if (!from_indented || *from_indented != bytes) return ::testing::AssertionFailure() << "the indented document differs";
  return ::testing::AssertionSuccess();
}

// Every typed record of one archive image; how many of each type round-tripped.
std::map<RecordType, std::size_t> check_archive(const Bytes& image, bool cell) {
  const test_support::ScratchDir dir;
  const auto path = dir.path() / (cell ? "client_cell_1.dat" : "client_portal.dat");
  EXPECT_TRUE(common::write_whole_file(path, image));
  auto db = DatDatabase::open(path);
  EXPECT_TRUE(db) << db.error().to_string();
  std::map<RecordType, std::size_t> counts;
  if (!db) return counts;
  for (const DatFileEntry& entry : db->entries()) {
    const auto type = record_type_for_id(entry.id, cell);
    if (!type) continue;
    const auto bytes = db->get_file(entry.id);
    EXPECT_TRUE(bytes) << bytes.error().to_string();
    if (!bytes) continue;
    // Every record of a generated world decodes.
    EXPECT_TRUE(decode_stored_record(*type, *bytes)) << std::hex << entry.id;
    EXPECT_TRUE(round_trips(*type, *bytes)) << record_type_name(*type) << " " << std::hex << entry.id;
    ++counts[*type];
  }
  return counts;
}

void check_world(const t::SampleWorldParams& params) {
  const t::SampleWorld world = t::build_sample_world(params);
  auto counts = check_archive(world.portal, false);
  for (const auto& [type, n] : check_archive(world.cell, true)) counts[type] += n;
  for (std::uint8_t i = 0; i <= static_cast<std::uint8_t>(RecordType::LandblockInfo); ++i)
    EXPECT_GT(counts[static_cast<RecordType>(i)], 0u) << record_type_name(static_cast<RecordType>(i));
}

TEST(RecordRoundTrip, EveryRecordOfTheSampleWorld) { check_world(t::SampleWorldParams{}); }

TEST(RecordRoundTrip, EveryRecordOfRandomWorlds) {
  for (const std::uint64_t seed : {2u, 3u, 4u}) {
    SCOPED_TRACE(seed);
    t::SampleWorldParams params;
    params.seed = seed;
    params.first_x = 0x10;
    params.first_y = 0x20;
    params.grid_width = 3;
    params.grid_height = 3;
    params.setup_count = 14;
    params.motion_table_count = 5;
    params.animation_count = 16;
    params.script_count = 9;
    params.day_group_count = 5;
    params.nan_sound_hook = true;
    params.info_absent_one_in = 4;
    check_world(params);
  }
}

// --- members that only some records need -----------------------------------------

Bytes with_trailing(Bytes bytes) {
  bytes.insert(bytes.end(), {0x01, 0x00, 0xFE});
  return bytes;
}

std::uint32_t key_value(const json& key) {
  if (key.is_string()) return static_cast<std::uint32_t>(std::stoul(key.get<std::string>(), nullptr, 16));
  return key.is_number_unsigned() ? key.get<std::uint32_t>() : static_cast<std::uint32_t>(key.get<std::int32_t>());
}

// The map as the bake's decoder holds it: ascending keys, the last value of each.
void to_common_form(json& entries) {
  std::map<std::uint32_t, json> last;
  for (const json& entry : entries) last[key_value(entry["key"])] = entry;
  entries = json::array();
  for (auto& [key, entry] : last) entries.push_back(entry);
}

struct NeededMember {
  const char* name;
  RecordType type;
  Bytes bytes;
  const char* pointer;  // the member that carries what the common form lacks
  bool map_order = false;  // the member is a map: put it in the common form instead of dropping it
};

t::RegionDef region_def() {
  t::RegionDef r;
  r.name = "Isle";  // 2 bytes of padding after it
  r.terrain.terrain_types = {{"Sand", 1, {0}}};
  return r;
}

Bytes region_with(const std::function<void(t::RegionDef&)>& change) {
  t::RegionDef r = region_def();
  change(r);
  return t::encode_region(r);
}

Bytes setup_with(const std::function<void(t::SetupDef&)>& change) {
  t::SetupDef s = t::setup_with_parts(0x02000001, 1);
  change(s);
  return t::encode_setup_model(s);
}

Bytes setup_with_hook(const t::HookDef& hook) {
  return setup_with([&](t::SetupDef& s) { s.placements[0].second.hooks = {hook}; });
}

Bytes motion_table_with(const std::function<void(t::MotionTableDef&)>& change) {
  t::MotionTableDef m;
  m.motion_data_0 = {{0x003D0001, t::motion_data_playing({0x03000001})}};
  change(m);
  return t::encode_motion_table(m);
}

Bytes animation_with(const std::function<void(t::AnimationDef&)>& change) {
  t::AnimationDef a = t::animation_with_hooks(0x03000001, 1, {{t::sound_hook(0x0A000001)}});
  change(a);
  return t::encode_animation(a);
}

Bytes cell_landblock_with(const std::function<void(Bytes&)>& change) {
  t::CellLandblockDef c;
  c.id = 0xA9B4FFFF;
  Bytes bytes = t::encode_cell_landblock(c);
  change(bytes);
  return bytes;
}

// One building with one portal of one stab: its 2 padding bytes at 66.
t::LandblockInfoDef landblock_info_def() {
  t::LandblockInfoDef info;
  info.id = 0xA9B4FFFE;
  info.buildings = {{0x01000200, {}, 1, {{0, 0, 0, {7}}}}};
  return info;
}

std::vector<NeededMember> needed_members() {
  using R = RecordType;
  std::vector<NeededMember> cases = {
      {"text padding", R::Region, region_with([](auto&) {}), "/name_padding"},
      {"padding of a text list", R::Region, region_with([](auto& r) { r.game_time.names = {"Moon", "M"}; }),
       "/game_time/names_padding"},
      {"flag word other than 1", R::Region,
       region_with([](auto& r) { r.game_time.times_of_day = {{0, 7, "Dawn"}}; }),
       "/game_time/times_of_day/0/flag_word"},
      {"text bytes the text does not give back", R::Region,
       region_with([](auto& r) { r.name = "\xEF\xBB\xBF\xFF"; }), "/name_bytes"},
      {"bytes of a text list", R::Region,
       region_with([](auto& r) { r.game_time.names = {"ok", std::string("\xFF\xFE\x00\xD8", 4)}; }), "/game_time/names_bytes"},
      {"NaN bits of a float", R::Region, region_with([](auto& r) {
         r.sound = t::SoundDescDef{{{0x20000001, {{1, t::F32Bits::raw(0x7FC00001)}}, {}}}};
       }),
       "/sound/stb_descs/0/ambient_sounds/0/volume_bits"},
      {"NaN bits of a double", R::Region,
       region_with([](auto& r) { r.game_time.time_value = t::F64Bits::raw(0xFFF8000000000001); }),
       "/game_time/time_value_bits"},
      {"region trailing bytes", R::Region, with_trailing(region_with([](auto&) {})), "/trailing_bytes"},

      {"repeated location keys", R::Setup,
       setup_with([](auto& s) { s.locations_1 = {{9, {}}, {1, {.part_id = 5, .frame = {}}}, {1, {.part_id = 6, .frame = {}}}}; }),
       "/locations_1", true},
      {"placements out of order", R::Setup,
       setup_with([](auto& s) { s.placements = {{-1, t::anim_frame_with(1)}, {7, t::anim_frame_with(1)}}; }),
       "/placements", true},
      {"repeated light keys", R::Setup, setup_with([](auto& s) { s.lights = {{4, {}}, {4, {.viewer_space_location = {}, .color = 1, .intensity = {}, .falloff = {}, .cone_angle = {}}}}; }),
       "/lights", true},
      {"NaN bits in a vector", R::Setup, setup_with([](auto& s) {
         s.flags = 0x2;
         s.part_vectors = {{t::F32::from_bits(0xFFC00000), 0.0f, 0.0f}};
       }),
       "/part_vectors/0/x_bits"},
      {"uncovered bytes of a particle hook", R::Setup, setup_with_hook([] {
         t::HookDef h = t::particle_hook(0x32000001, 0);
         h.payload[20] = 0x40;
         return h;
       }()),
       "/placements/0/value/anim_frame/hooks/0/payload_rest"},
      {"hook padding", R::Setup, setup_with_hook({.type = 5, .word = 0, .payload = {1, 2, 0, 0xAB}, .pad = false}),
       "/placements/0/value/anim_frame/hooks/0/payload_padding"},
      {"bytes of a hook without fields", R::Setup, setup_with_hook([] {
         t::HookDef h = t::hook_of_type(3);
         h.payload[27] = 1;
         return h;
       }()),
       "/placements/0/value/anim_frame/hooks/0/payload_rest"},
      {"NaN bits in a sound hook", R::Setup,
       setup_with_hook(t::sound_table_hook(0x0A000001, t::F32::from_bits(0x7F800001))),
       "/placements/0/value/anim_frame/hooks/0/priority_bits"},
      {"setup trailing bytes", R::Setup, with_trailing(setup_with([](auto&) {})), "/trailing_bytes"},

      {"pairs out of order", R::MotionTable, motion_table_with([](auto& m) { m.key_pairs = {{5, 6}, {1, 2}}; }),
       "/key_pairs", true},
      {"repeated motion keys", R::MotionTable, motion_table_with([](auto& m) {
         m.motion_data_0.push_back({0x003D0001, t::motion_data_playing({0x03000002})});
       }),
       "/motion_data_0", true},
      {"repeated outer link keys", R::MotionTable, motion_table_with([](auto& m) {
         m.links = {{7, {{1, {}}}}, {7, {{2, {}}}}};
       }),
       "/links", true},
      {"motion data flag bits the bake drops", R::MotionTable,
       motion_table_with([](auto& m) { m.motion_data_0[0].data.extra_flags = 0x84; }),
       "/motion_data_0/0/value/other_flags"},
      {"motion data alignment byte", R::MotionTable,
       motion_table_with([](auto& m) { m.motion_data_0[0].data.alignment_fill = 0x11; }),
       "/motion_data_0/0/value/padding"},
      {"motion table trailing bytes", R::MotionTable, with_trailing(motion_table_with([](auto&) {})),
       "/trailing_bytes"},

      {"animation flag bits the bake drops", R::Animation, animation_with([](auto& a) { a.flags = 0x10; }),
       "/other_flags"},
      {"animation trailing bytes", R::Animation, with_trailing(animation_with([](auto&) {})), "/trailing_bytes"},

      {"NaN bits of a start time", R::PhysicsScript,
       t::encode_physics_script(t::physics_script_of(
           0x33000001, {{t::F64::from_bits(0x7FF0000000000001), t::particle_hook(0x32000001, 0)}})),
       "/script_data/0/start_time_bits"},
      {"script trailing bytes", R::PhysicsScript,
       with_trailing(t::encode_physics_script(t::physics_script_of(0x33000001, {}))), "/trailing_bytes"},

      {"cell landblock without its last byte", R::CellLandblock, cell_landblock_with([](Bytes& b) { b.pop_back(); }),
       "/padding"},
      {"cell landblock last byte", R::CellLandblock, cell_landblock_with([](Bytes& b) { b.back() = 0x5A; }),
       "/padding"},
      {"cell landblock trailing bytes", R::CellLandblock,
       cell_landblock_with([](Bytes& b) { b.insert(b.end(), {1, 2}); }), "/trailing_bytes"},
  };
  {
    t::LandblockInfoDef info = landblock_info_def();
    info.restriction_table = t::RestrictionTableDef{8, {{3, 4}}};
    cases.push_back({"restriction table bucket size", R::LandblockInfo, t::encode_landblock_info(info),
                     "/restriction_tables/bucket_size"});
    info.restriction_table = t::RestrictionTableDef{0, {{0xFFFFFFFF, 1}, {3, 4}, {3, 5}}};
    cases.push_back({"restriction pairs out of order and repeated", R::LandblockInfo, t::encode_landblock_info(info),
                     "/restriction_tables/tables", true});
  }
  {
    Bytes bytes = t::encode_landblock_info(landblock_info_def());
    bytes[66] = 0x77;
    cases.push_back({"portal padding", R::LandblockInfo, bytes, "/buildings/0/portals/0/padding"});
    cases.push_back({"landblock info trailing bytes", R::LandblockInfo,
                     with_trailing(t::encode_landblock_info(landblock_info_def())), "/trailing_bytes"});
  }
  return cases;
}

TEST(RecordRoundTrip, EachMemberBeyondTheCommonFormIsNeeded) {
  for (const NeededMember& c : needed_members()) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(round_trips(c.type, c.bytes));
    const auto document = record_json(c.type, c.bytes, true);
    ASSERT_TRUE(document) << document.error().to_string();
    json doc = json::parse(*document);
    const json::json_pointer pointer(c.pointer);
    ASSERT_TRUE(doc.contains(pointer)) << *document;
    if (c.map_order) {
      to_common_form(doc[pointer]);
    } else {
      doc[pointer.parent_pointer()].erase(pointer.back());
    }
    const auto encoded = encode_record_json(c.type, doc.dump());
    EXPECT_TRUE(!encoded || *encoded != c.bytes) << "the bytes come back without " << c.pointer;
  }
}

// A record in the common form needs none of those members: the document is
// the one the bake's fields alone give.
TEST(RecordRoundTrip, CommonFormRecordsNeedNoExtraMembers) {
  t::LandblockInfoDef info = landblock_info_def();
  info.restriction_table = t::RestrictionTableDef{0, {{3, 4}, {0xFFFFFFFF, 1}}};
  t::SetupDef setup = t::setup_with_parts(0x02000001, 1);
  setup.placements = {{7, t::anim_frame_with(1, {t::particle_hook(0x32000001, 0), t::sound_hook(0x0A000001)})},
                      {-1, t::anim_frame_with(1)}};
  const struct {
    RecordType type;
    Bytes bytes;
  } cases[] = {
      {RecordType::LandblockInfo, t::encode_landblock_info(info)},
      {RecordType::Setup, t::encode_setup_model(setup)},
      {RecordType::MotionTable, motion_table_with([](auto& m) { m.key_pairs = {{1, 2}, {5, 6}}; })},
      {RecordType::Animation, animation_with([](auto& a) {
         a.flags = 1;
         a.object_frames = {{}};
       })},
      // Texts of 2 bytes end on a multiple of 4: no padding.
      {RecordType::Region, region_with([](auto& r) {
         r.name = "Is";
         r.game_time.name = "Ca";
         r.terrain.terrain_types[0].name = "Sa";
       })},
      {RecordType::CellLandblock, cell_landblock_with([](Bytes&) {})},
  };
  for (const std::string_view member :
       {"_padding", "_bytes", "_bits", "\"padding\"", "trailing_bytes", "other_flags", "flag_word", "bucket_size",
        "payload_rest", "payload_padding"}) {
    for (const auto& c : cases) {
      const auto document = record_json(c.type, c.bytes, true);
      ASSERT_TRUE(document);
      EXPECT_EQ(document->find(member), std::string::npos) << member << " in " << *document;
      EXPECT_TRUE(round_trips(c.type, c.bytes));
    }
  }
}

}  // namespace
}  // namespace ravelin::dat
