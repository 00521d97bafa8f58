#include "ravelin/dat/record_json.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "test_support/test_world.h"

namespace ravelin::dat {
namespace {

namespace t = ravelin::dat_writer;

// `count` copies of `element` joined by ",", for the fixed-size lists.
std::string repeated(const std::string& element, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += (i == 0 ? "" : ",") + element;
  return out;
}

const std::string kZeroFrame =
    R"({"origin":{"x":0.0,"y":0.0,"z":0.0},"orientation":{"w":1.0,"x":0.0,"y":0.0,"z":0.0}})";

std::vector<std::uint8_t> golden_region() {
  t::RegionDef r;
  r.header_word_1 = 7;
  r.name = "Isle \"\\\x01\x7F\x81\xE9";  // quote, backslash, C0, DEL, C1 (0x81 in Windows-1252), é
  r.region_words = {1, 2, 0x3F800000, 4, 5, 6, 7, 0xFFFFFFFF};
  r.game_time.time_value = 0.1;
  r.game_time.words = {1, 2, 3};
  r.game_time.name = "Cal";
  r.game_time.times_of_day = {{0x3E000000, 2, "Dawn"}};
  r.game_time.names = {"M"};
  r.game_time.seasons = {{90, "Summer"}};
  t::SkyDescDef sky;
  sky.value_1 = 0.25;
  sky.value_2 = -0.0;
  t::DayGroupDef group{0.7f, "Clear", {}, {}};
  group.sky_objects = {{0.125f, 0.625f, {1, 2, 3, 4}, 0x02000714, 0x330007A1, 8}};
  group.sky_times = {{{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {{1, 2, 3, 4, 5, 6}}}};
  sky.day_groups = {group};
  r.sky = sky;
  t::SoundDescDef sound;
  sound.tables = {{0x20000001, {{1, t::F32Bits::raw(0x7FC00000), 0.0f, 1e-7f, 3.4028235e38f}}, {}}};
  r.sound = sound;
  t::SceneDescDef scene;
  scene.scene_types = {{-1, {0x120000A1, 5}}};
  r.scene = scene;
  r.terrain.terrain_types = {{"Grass", 0x11, {0, 1}}};
  r.terrain.surface_word_1 = 9;
  r.terrain.pair_list_2 = {{1, 2}};
  r.terrain.surface_entries = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0xABCDEF01}};
  // No misc part: "misc" is null.
  return t::encode_region(r);
}

const std::string kRegionJson =
    R"({"id":"0x13000000","header_word_1":"0x00000007","header_word_2":"0x00000000","name":"Isle \"\\\u0001\u007f\u0081é","name_padding":"eeeeee",)"
    R"("region_words":["0x00000001","0x00000002","0x3F800000","0x00000004","0x00000005","0x00000006","0x00000007","0xFFFFFFFF"],)"
    R"("region_table":[)" + repeated(R"("0x00000000")", 256) + "]," +
    R"("game_time":{"time_value":0.1,"time_word_1":"0x00000001","time_word_2":"0x00000002","time_word_3":"0x00000003",)"
    R"("name":"Cal","name_padding":"eeeeee","times_of_day":[{"value":"0x3E000000","flag":true,"flag_word":2,"name":"Dawn",)"
    R"("name_padding":"eeee"}],"names":["M"],"names_padding":["ee"],)"
    R"("seasons":[{"value":"0x0000005A","name":"Summer"}]},"section_mask":19,)"
    R"("sky":{"sky_value_1":0.25,"sky_value_2":-0.0,"day_groups":[{"chance":0.7,"name":"Clear","name_padding":"ee","sky_objects":[)"
    R"({"active_start":0.125,"active_end":0.625,"word_2":"0x00000001","word_3":"0x00000002","word_4":"0x00000003",)"
    R"("word_5":"0x00000004","object_id":"0x02000714","script_id":"0x330007A1","word_8":"0x00000008"}],)"
    R"("sky_times":[{"word_0":"0x00000000","word_1":"0x00000001","word_2":"0x00000002","word_3":"0x00000003",)"
    R"("word_4":"0x00000004","word_5":"0x00000005","word_6":"0x00000006","word_7":"0x00000007","word_8":"0x00000008",)"
    R"("word_9":"0x00000009","word_10":"0x0000000A","time_entries":[{"word_0":"0x00000001","word_1":"0x00000002",)"
    R"("word_2":"0x00000003","word_3":"0x00000004","word_4":"0x00000005","word_5":"0x00000006"}]}]}]},)"
    R"("sound":{"stb_descs":[{"stb_id":"0x20000001","ambient_sounds":[{"s_type":1,"volume":"NaN","base_chance":0.0,)"
    R"("min_rate":1e-7,"max_rate":3.4028235e38}]}]},)"
    R"("scene":{"scene_types":[{"stb_index":-1,"scenes":[301990049,5]}]},)"
    R"("terrain":{"terrain_types":[{"name":"Grass","name_padding":"ee","tag":"0x00000011","scene_info_indices":[0,1]}],"surface_word_1":"0x00000009",)"
    R"("surface_word_2":"0x00000000","pair_list_1":[],"pair_list_2":[["0x00000001","0x00000002"]],"pair_list_3":[],)"
    R"("surface_entries":[["0x00000001","0x00000002","0x00000003","0x00000004","0x00000005","0x00000006",)"
    R"("0x00000007","0x00000008","0x00000009","0x0000000A","0xABCDEF01"]]},"misc":null})";

// Map entries come out in file order with their repeated keys (placement -1
// before 7, location 9 before both entries of key 1); the type-5 hook's payload
// bytes, which no field names, in payload_rest.
std::vector<std::uint8_t> golden_setup() {
  t::SetupDef s;
  s.id = 0x02000ABC;
  s.flags = 0x3 | 0x100;
  s.parts = {0x01000010};
  s.part_refs = {7};
  s.part_vectors = {{1.5f, -2.0f, 0.1f}};
  s.locations_1 = {{9, {.part_id = 0, .frame = {}}}, {1, {.part_id = 5, .frame = {}}}, {1, {.part_id = 6, .frame = {}}}};
  t::AnimFrameDef hooks = t::anim_frame_with(1);
  hooks.hooks = {t::particle_hook(0x32000005, 2, true), t::sound_hook(0x0A000001),
                 t::sound_table_hook(0x0A000002, 0.5f, 0.25f, 0.75f), t::replace_object_hook(1, 0x8001, 2)};
  s.placements = {{-1, t::anim_frame_with(1)}, {7, hooks}};
  s.cyl_spheres = {{.origin = {1, 2, 3}, .radius = 0.5f, .height = t::F32::from_bits(0x7FC00001)}};
  s.spheres = {{.center = {0, 1, 0}, .radius = 3.0f}};
  s.scalars = {0x3F800000, 0x80000000, 0xFFFFFFFF, 1};
  s.sphere_2 = {.center = {6, 6, 6}, .radius = -0.0f};
  s.lights = {{4, {.viewer_space_location = {}, .color = 0xFF00FF00, .intensity = 2.0f, .falloff = {}, .cone_angle = {}}}};
  s.default_script_id = 0x33000042;
  s.default_id_4 = 0x0D000001;
  return t::encode_setup_model(s);
}

const std::string kSetupJson =
    R"({"id":"0x02000ABC","flags":259,"parts":["0x01000010"],"part_refs":[7],"part_vectors":[{"x":1.5,"y":-2.0,"z":0.1}],)"
    R"("locations_1":[{"key":9,"value":{"part_id":"0x00000000","frame":)" + kZeroFrame + R"(}},)"
    R"({"key":1,"value":{"part_id":"0x00000005","frame":)" + kZeroFrame + R"(}},)"
    R"({"key":1,"value":{"part_id":"0x00000006","frame":)" + kZeroFrame + R"(}}],"locations_2":[],)"
    R"("placements":[{"key":-1,"value":{"anim_frame":{"part_frames":[)" + kZeroFrame + R"(],"hooks":[]}}},{"key":7,"value":{"anim_frame":{"part_frames":[)" + kZeroFrame + R"(],"hooks":[)"
    R"({"hook_type":26,"hook_word":0,"payload":"0500003202000000)" + std::string(64, '0') +
    R"(","emitter_id":"0x32000005","part_index":2},)"
    R"({"hook_type":1,"hook_word":0,"payload":"0100000a","sound_id":"0x0A000001","priority":0.0,"probability":1.0,"volume":1.0},)"
    R"({"hook_type":21,"hook_word":0,"payload":"0200000a0000003f0000803e0000403f","sound_id":"0x0A000002",)"
    R"("priority":0.5,"probability":0.25,"volume":0.75},)"
    R"({"hook_type":5,"hook_word":0,"payload":"0101800200000000","payload_rest":"0101800200"}]}}}],)"
    R"("cyl_spheres":[{"origin":{"x":1.0,"y":2.0,"z":3.0},"radius":"0x3F000000","height":"0x7FC00001"}],)"
    R"("spheres":[{"center":{"x":0.0,"y":1.0,"z":0.0},"radius":3.0}],)"
    R"("scalars":["0x3F800000","0x80000000","0xFFFFFFFF","0x00000001"],)"
    R"("sphere_1":{"center":{"x":0.0,"y":0.0,"z":0.0},"radius":0.0},"sphere_2":{"center":{"x":6.0,"y":6.0,"z":6.0},"radius":-0.0},)"
    R"("lights":[{"key":4,"value":{"viewer_space_location":)" + kZeroFrame +
    R"(,"color":"0xFF00FF00","intensity":"0x40000000","falloff":"0x00000000","cone_angle":"0x00000000"}}],)"
    R"("default_id_1":null,"default_script_id":"0x33000042","motion_table_id":null,"default_id_4":"0x0D000001","default_id_5":null})";

std::vector<std::uint8_t> golden_motion_table() {
  t::MotionTableDef m;
  m.id = 0x09000010;
  m.default_stance = 0x3D;
  m.key_pairs = {{5, 6}, {1, 2}};
  t::MotionDataDef walk;
  walk.anims = {{0x03000200, -3, 100, 0xDEADBEEF}};
  walk.aux_byte = 9;
  walk.extra_flags = 0x04;  // the bake keeps bits 0 and 1 only: other_flags
  walk.vector_1 = t::Vec3Def{1.0f, 0.5f, 0.25f};
  m.motion_data_0 = {{0x003D0003, walk}, {0x003D0001, t::motion_data_playing({0x03000201})}};
  m.links = {{0x80000000, {{0x00000002, {}}}}, {7, {{0x003D0001, t::motion_data_playing({})}}}};
  return t::encode_motion_table(m);
}

const std::string kMotionTableJson =
    R"({"id":"0x09000010","default_stance":61,"key_pairs":[{"key":5,"value":6},{"key":1,"value":2}],)"
    R"("motion_data_0":[{"key":"0x003D0003","value":{"anims":[{"anim_id":"0x03000200","start_frame":-3,"end_frame":100,)"
    R"("word_4":"0xDEADBEEF"}],"aux_byte":9,"flags":1,"other_flags":4,"vector_1":{"x":1.0,"y":0.5,"z":0.25},)"
    R"("vector_2":null}},)"
    R"({"key":"0x003D0001","value":{"anims":[{"anim_id":"0x03000201","start_frame":0,"end_frame":-1,)"
    R"("word_4":"0x00000000"}],"aux_byte":0,"flags":0,"vector_1":null,"vector_2":null}}],)"
    R"("motion_data_1":[],)"
    R"("links":[{"key":2147483648,"value":[{"key":"0x00000002","value":{"anims":[],"aux_byte":0,"flags":0,"vector_1":null,"vector_2":null}}]},)"
    R"({"key":7,"value":[{"key":"0x003D0001","value":{"anims":[],"aux_byte":0,"flags":0,"vector_1":null,"vector_2":null}}]}]})";

std::vector<std::uint8_t> golden_animation() {
  t::AnimationDef a;
  a.id = 0x03000200;
  a.flags = 0xFFFFFFFF;  // the bake keeps bit 0 only: other_flags
  a.part_count = 0;
  a.object_frames = {t::FrameDef{.origin = {0.0f, 0.0f, 1e20f}, .orientation = {}}};
  a.frames = {t::AnimFrameDef{{}, {t::sound_hook(0x0A000003), t::hook_of_type(0)}}};
  return t::encode_animation(a);
}

const std::string kAnimationJson =
    R"({"id":"0x03000200","has_object_frames":true,"other_flags":4294967294,"part_count":0,"frame_count":1,)"
    R"("object_frames":[{"origin":{"x":0.0,"y":0.0,"z":1e20},"orientation":{"w":1.0,"x":0.0,"y":0.0,"z":0.0}}],)"
    R"("frames":[{"part_frames":[],"hooks":[{"hook_type":1,"hook_word":0,"payload":"0300000a","sound_id":"0x0A000003",)"
    R"("priority":0.0,"probability":1.0,"volume":1.0},{"hook_type":0,"hook_word":0,"payload":""}]}]})";

std::vector<std::uint8_t> golden_physics_script() {
  return t::encode_physics_script(t::physics_script_of(
      0x33000300, {{0.5, t::particle_hook(0x32000001, 0)},
                   {t::F64::from_bits(0xFFF0000000000000), t::hook_of_type(2, 0xFFFFFFFF)},
                   {t::F64::from_bits(0x7FF8000000000000), t::particle_hook(0x32000002, 1, true)},
                   {0.1f, t::sound_table_hook(0x0A000004)}}));
}

const std::string kPhysicsScriptJson =
    R"({"id":"0x33000300","script_data":[)"
    R"({"start_time":0.5,"hook":{"hook_type":13,"hook_word":0,"payload":"0100003200000000)" + std::string(64, '0') +
    R"(","emitter_id":"0x32000001","part_index":0}},)"
    R"({"start_time":"-inf","hook":{"hook_type":2,"hook_word":4294967295,"payload":"00000000"}},)"
    R"({"start_time":"NaN","hook":{"hook_type":26,"hook_word":0,"payload":"0200003201000000)" + std::string(64, '0') +
    R"(","emitter_id":"0x32000002","part_index":1}},)"
    R"({"start_time":0.10000000149011612,"hook":{"hook_type":21,"hook_word":0,"payload":"0400000a000000000000803f0000803f",)"
    R"("sound_id":"0x0A000004","priority":0.0,"probability":1.0,"volume":1.0}}]})";

std::vector<std::uint8_t> golden_cell_landblock() {
  t::CellLandblockDef c;
  c.id = 0xA9B4FFFF;
  c.has_objects = 1;
  c.terrain[0] = 0x0804;
  c.height[80] = 200;
  return t::encode_cell_landblock(c);
}

const std::string kCellLandblockJson = R"({"id":"0xA9B4FFFF","has_objects":1,"terrain":[2052,)" + repeated("0", 80) +
                                       R"(],"height":[)" + repeated("0", 80) + R"(,200]})";

std::vector<std::uint8_t> golden_landblock_info() {
  t::LandblockInfoDef info;
  info.id = 0xA9B4FFFE;
  info.num_cells = 3;
  info.objects = {{0x02000100, {.origin = {12.5f, 24.0f, 0.0f}, .orientation = {}}}};
  info.buildings = {{0x01000200, {}, 4, {{1, 0x0100, 2, {1, 2, 3}}}}};
  info.restriction_table = t::RestrictionTableDef{8, {{0xFFFFFFFF, 1}, {3, 4}, {3, 5}}};
  return t::encode_landblock_info(info);
}

const std::string kLandblockInfoJson =
    R"({"id":"0xA9B4FFFE","num_cells":3,"objects":[{"id":"0x02000100","frame":{"origin":{"x":12.5,"y":24.0,"z":0.0},)"
    R"("orientation":{"w":1.0,"x":0.0,"y":0.0,"z":0.0}}}],"pack_mask":1,)"
    R"("buildings":[{"model_id":"0x01000200","frame":)" + kZeroFrame +
    R"(,"num_leaves":4,"portals":[{"flags":1,"other_cell_id":256,"other_portal_id":2,"stab_list":[1,2,3]}]}],)"
    R"("restriction_tables":{"bucket_size":8,"tables":[{"key":4294967295,"value":1},{"key":3,"value":4},{"key":3,"value":5}]}})";

struct GoldenCase {
  RecordType type;
  std::vector<std::uint8_t> bytes;
  std::string expected;
};

TEST(RecordJson, EveryTypeMatchesItsGoldenDocument) {
  const GoldenCase cases[] = {
      {RecordType::Region, golden_region(), kRegionJson},
      {RecordType::Setup, golden_setup(), kSetupJson},
      {RecordType::MotionTable, golden_motion_table(), kMotionTableJson},
      {RecordType::Animation, golden_animation(), kAnimationJson},
      {RecordType::PhysicsScript, golden_physics_script(), kPhysicsScriptJson},
      {RecordType::CellLandblock, golden_cell_landblock(), kCellLandblockJson},
      {RecordType::LandblockInfo, golden_landblock_info(), kLandblockInfoJson},
  };
  for (const GoldenCase& c : cases) {
    const auto json = record_json(c.type, c.bytes, true);
    ASSERT_TRUE(json) << record_type_name(c.type) << ": " << json.error().to_string();
    EXPECT_EQ(*json, c.expected) << record_type_name(c.type);
  }
}

TEST(RecordJson, IndentedDocumentHasTwoSpaceLevelsAndInlineNumberLists) {
  t::LandblockInfoDef info;
  info.id = 0x0102FFFE;
  info.buildings = {{0x01000200, {}, 0, {{0, 0, 0, {4, 5}}}}};
  const auto json = record_json(RecordType::LandblockInfo, t::encode_landblock_info(info), false);
  ASSERT_TRUE(json) << json.error().to_string();
  const std::string frame =
      "{\n"
      "        \"origin\": {\n"
      "          \"x\": 0.0,\n"
      "          \"y\": 0.0,\n"
      "          \"z\": 0.0\n"
      "        },\n"
      "        \"orientation\": {\n"
      "          \"w\": 1.0,\n"
      "          \"x\": 0.0,\n"
      "          \"y\": 0.0,\n"
      "          \"z\": 0.0\n"
      "        }\n"
      "      }";
  EXPECT_EQ(*json,
            "{\n"
            "  \"id\": \"0x0102FFFE\",\n"
            "  \"num_cells\": 0,\n"
            "  \"objects\": [],\n"
            "  \"pack_mask\": 0,\n"
            "  \"buildings\": [\n"
            "    {\n"
            "      \"model_id\": \"0x01000200\",\n"
            "      \"frame\": " + frame + ",\n"
            "      \"num_leaves\": 0,\n"
            "      \"portals\": [\n"
            "        {\n"
            "          \"flags\": 0,\n"
            "          \"other_cell_id\": 0,\n"
            "          \"other_portal_id\": 0,\n"
            "          \"stab_list\": [4, 5]\n"
            "        }\n"
            "      ]\n"
            "    }\n"
            "  ],\n"
            "  \"restriction_tables\": null\n"
            "}");
}

TEST(RecordJson, DecoderFailuresGiveTheDecodersText) {
  auto setup = golden_setup();
  setup.resize(setup.size() - 2);  // ends inside the default ids
  auto cell = golden_cell_landblock();
  cell.resize(250);  // one height byte short
  std::vector<std::uint8_t> hook_script = {0x00, 0x03, 0x00, 0x33, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 27, 0, 0, 0, 0, 0, 0, 0};
  const struct {
    RecordType type;
    std::vector<std::uint8_t> bytes;
    std::string error;
  } cases[] = {
      {RecordType::Setup, setup, "Binary read error: failed to fill whole buffer"},
      {RecordType::PhysicsScript, hook_script, "Binary read error: Unsupported AnimationHook type: 0x0000001B at 0x18"},
      {RecordType::Region, {}, "Binary read error: failed to fill whole buffer"},
      {RecordType::CellLandblock, cell, ""},  // the frames' text, checked below
  };
  for (const auto& c : cases) {
    const auto json = record_json(c.type, c.bytes, false);
    ASSERT_FALSE(json) << record_type_name(c.type);
    if (!c.error.empty()) {
      EXPECT_EQ(json.error().to_string(), c.error) << record_type_name(c.type);
    }
  }
  const auto cell_error = record_json(RecordType::CellLandblock, cell, false);
  EXPECT_EQ(cell_error.error(), dat::CellLandblock::unpack(cell).error());
  EXPECT_NE(cell_error.error().to_string().find("While parsing field 'height' in CellLandblock"), std::string::npos);
}

TEST(RecordJson, TypeNamesRoundTrip) {
  for (std::uint8_t i = 0; i <= static_cast<std::uint8_t>(RecordType::LandblockInfo); ++i) {
    const auto type = static_cast<RecordType>(i);
    EXPECT_EQ(parse_record_type(record_type_name(type)), type);
  }
  EXPECT_EQ(record_type_name(RecordType::MotionTable), "motion-table");
  EXPECT_EQ(parse_record_type("Region"), std::nullopt);
  EXPECT_EQ(parse_record_type(""), std::nullopt);
}

TEST(RecordJson, TypeFollowsTheIdAndTheArchive) {
  const struct {
    std::uint32_t id;
    bool cell;
    std::optional<RecordType> expected;
  } cases[] = {
      {0x13000000, false, RecordType::Region},       {0x0200FFFF, false, RecordType::Setup},
      {0x09000001, false, RecordType::MotionTable},  {0x03000200, false, RecordType::Animation},
      {0x33FFFFFF, false, RecordType::PhysicsScript}, {0x01000001, false, std::nullopt},
      {0xA9B4FFFE, false, std::nullopt},             {0xA9B4FFFF, true, RecordType::CellLandblock},
      {0x0200FFFE, true, RecordType::LandblockInfo}, {0x13000000, true, std::nullopt},
      {0xA9B40100, true, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(record_type_for_id(c.id, c.cell), c.expected) << std::hex << c.id;
  EXPECT_TRUE(is_cell_archive_path("/x/client_cell_1.dat"));
  EXPECT_TRUE(is_cell_archive_path("client_cell_2.dat"));
  EXPECT_FALSE(is_cell_archive_path("/x/client_portal.dat"));
  EXPECT_FALSE(is_cell_archive_path("/client_cell/portal.dat"));
}

TEST(ShowRecord, PicksTheTypeFetchesAndReportsFailures) {
  test_support::BakeWorld world;
  world.add_portal(0x33000300, golden_physics_script());
  world.add_portal(0x01000001, golden_physics_script());
  world.add_cell(0xA9B4FFFE, golden_landblock_info());
  const auto dir = world.write();
  auto portal = dat::DatDatabase::open(dir / "client_portal.dat");
  auto cell = dat::DatDatabase::open(dir / "client_cell_1.dat");
  ASSERT_TRUE(portal && cell);

  EXPECT_EQ(show_record(*portal, dir / "client_portal.dat", 0x33000300, std::nullopt, true), kPhysicsScriptJson);
  EXPECT_EQ(show_record(*cell, dir / "client_cell_1.dat", 0xA9B4FFFE, std::nullopt, true), kLandblockInfoJson);
  // An explicit type reads any id.
  EXPECT_EQ(show_record(*portal, dir / "client_portal.dat", 0x01000001, RecordType::PhysicsScript, true),
            kPhysicsScriptJson);

  const auto untyped = show_record(*portal, dir / "client_portal.dat", 0x01000001, std::nullopt, true);
  ASSERT_FALSE(untyped);
  EXPECT_EQ(untyped.error().dat_error(), nullptr);
  EXPECT_EQ(untyped.error().to_string().rfind("no record type for file id 0x01000001 in ", 0), 0u)
      << untyped.error().to_string();
  EXPECT_NE(untyped.error().to_string().find("--type"), std::string::npos);

  const auto missing = show_record(*portal, dir / "client_portal.dat", 0x33000301, std::nullopt, true);
  ASSERT_FALSE(missing);
  ASSERT_NE(missing.error().dat_error(), nullptr);
  EXPECT_EQ(missing.error().dat_error()->kind(), DatError::Kind::NotFound);
  EXPECT_EQ(missing.error().to_string(), "File ID 33000301 not found in provider");
  const auto wrong = show_record(*cell, dir / "client_cell_1.dat", 0xA9B4FFFE, RecordType::CellLandblock, true);
  ASSERT_FALSE(wrong);
  EXPECT_NE(wrong.error().to_string().find("CellLandblock"), std::string::npos) << wrong.error().to_string();
}

}  // namespace
}  // namespace ravelin::dat
