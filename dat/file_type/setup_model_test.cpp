#include "ravelin/dat/file_type/setup_model.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>

#include "test_support/prefix_check.h"
#include "dat_writer/setup_model_encoder.h"

namespace ravelin::dat::file_type {
namespace {

using common::ReadError;
using common::Reader;
namespace t = ravelin::dat_writer;

constexpr const char* kPath = "dat/file_type/setup_model";

common::ReadResult<SetupModel> decode(const std::vector<std::uint8_t>& bytes) {
  Reader reader(bytes);
  return SetupModel::unpack(reader);
}

void patch_u32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

t::FrameDef frame_at(float x, float y, float z) {
  return t::FrameDef{.origin = {x, y, z}, .orientation = {0.5f, 0.25f, -0.25f, 0.75f}};
}

Frame decoded_frame_at(float x, float y, float z) {
  return Frame{.origin = {x, y, z}, .orientation = {0.5f, 0.25f, -0.25f, 0.75f}};
}

// A setup that fills every field with distinct values.
t::SetupDef full_setup() {
  t::SetupDef s;
  s.id = 0x02000ABC;
  s.flags = 0x3 | 0x100;  // unknown bits are kept
  s.parts = {0x01000010, 0x01000020};
  s.part_refs = {7, 9};
  s.part_vectors = {{1.0f, 2.0f, 3.0f}, {4.0f, 5.0f, 6.0f}};
  s.locations_1 = {{3, {.part_id = 1, .frame = frame_at(1, 1, 1)}}};
  s.locations_2 = {{4, {.part_id = 0, .frame = frame_at(2, 2, 2)}},
                   {5, {.part_id = 1, .frame = frame_at(3, 3, 3)}}};
  t::AnimFrameDef placement;
  placement.part_frames = {frame_at(10, 11, 12), frame_at(13, 14, 15)};
  placement.hooks = {t::sound_hook(0x0A000001), t::replace_object_hook(2, 0x0001),
                     t::particle_hook(0x32000005, 1, true)};
  s.placements = {{-5, placement}, {0, t::anim_frame_with(2)}};
  s.cyl_spheres = {{.origin = {7, 8, 9}, .radius = 0.5f, .height = t::F32::from_bits(0x7FC00001)}};
  s.spheres = {{.center = {1, 0, 0}, .radius = 2.0f}, {.center = {0, 1, 0}, .radius = 3.0f}};
  s.scalars = {0x3F800000, 0x80000000, 0xFFFFFFFF, 1};
  s.sphere_1 = {.center = {5, 5, 5}, .radius = 1.5f};
  s.sphere_2 = {.center = {6, 6, 6}, .radius = -0.0f};
  s.lights = {{2, {.viewer_space_location = frame_at(0, 0, 4),
                   .color = 0xFF00FF00,
                   .intensity = 2.0f,
                   .falloff = 3.0f,
                   .cone_angle = t::F32::from_bits(0x7FC00000)}}};
  s.default_id_1 = 0x09000001;
  s.default_script_id = 0x33000042;
  s.motion_table_id = 0;
  s.default_id_4 = 0x0D000001;
  s.default_id_5 = 0;
  return s;
}

TEST(SetupModelUnpack, DecodesEveryFieldOfAFullEncoding) {
  const auto bytes = t::encode_setup_model(full_setup());
  Reader reader(bytes);
  auto m = SetupModel::unpack(reader);
  ASSERT_TRUE(m) << m.error().to_string();
  EXPECT_EQ(reader.position(), bytes.size());
  EXPECT_EQ(m->id, 0x02000ABCu);
  EXPECT_EQ(m->flags, 0x103u);
  EXPECT_EQ(m->parts, (std::vector<std::uint32_t>{0x01000010, 0x01000020}));
  EXPECT_EQ(m->part_refs, (std::vector<std::uint32_t>{7, 9}));
  EXPECT_EQ(m->part_vectors, (std::vector<common::Vector3>{{1, 2, 3}, {4, 5, 6}}));

  ASSERT_EQ(m->locations_1.size(), 1u);
  EXPECT_EQ(*m->locations_1.find(3), (LocationType{1, decoded_frame_at(1, 1, 1)}));
  ASSERT_EQ(m->locations_2.size(), 2u);
  EXPECT_EQ(*m->locations_2.find(4), (LocationType{0, decoded_frame_at(2, 2, 2)}));
  EXPECT_EQ(*m->locations_2.find(5), (LocationType{1, decoded_frame_at(3, 3, 3)}));

  ASSERT_EQ(m->placements.sorted_keys(), (std::vector<std::int32_t>{-5, 0}));
  const AnimationFrame& frame = m->placements.find(-5)->anim_frame;
  EXPECT_EQ(frame.part_frames,
            (std::vector<Frame>{decoded_frame_at(10, 11, 12), decoded_frame_at(13, 14, 15)}));
  ASSERT_EQ(frame.hooks.size(), 3u);
  EXPECT_EQ(frame.hooks[0], (AnimationHook{1, 0, {0x01, 0x00, 0x00, 0x0A}}));
  EXPECT_EQ(frame.hooks[1], (AnimationHook{5, 0, {0x02, 0x01, 0x00, 0x00}}));
  EXPECT_EQ(frame.hooks[2].hook_type, 26u);
  ASSERT_EQ(frame.hooks[2].payload.size(), 40u);
  EXPECT_EQ(frame.hooks[2].payload[3], 0x32);
  EXPECT_EQ(frame.hooks[2].payload[4], 0x01);
  const AnimationFrame& plain = m->placements.find(0)->anim_frame;
  EXPECT_EQ(plain.part_frames.size(), 2u);
  EXPECT_TRUE(plain.hooks.empty());

  ASSERT_EQ(m->cyl_spheres.size(), 1u);
  EXPECT_EQ(m->cyl_spheres[0].origin, (common::Vector3{7, 8, 9}));
  EXPECT_EQ(m->cyl_spheres[0].radius, 0x3F000000u);
  EXPECT_EQ(m->cyl_spheres[0].height, 0x7FC00001u);  // NaN pattern kept exactly
  EXPECT_EQ(m->spheres, (std::vector<common::Sphere>{{{1, 0, 0}, 2}, {{0, 1, 0}, 3}}));
  EXPECT_EQ(m->scalars, (std::array<std::uint32_t, 4>{0x3F800000, 0x80000000, 0xFFFFFFFF, 1}));
  EXPECT_EQ(m->sphere_1, (common::Sphere{{5, 5, 5}, 1.5f}));
  EXPECT_EQ(std::bit_cast<std::uint32_t>(m->sphere_2.radius), 0x80000000u);

  ASSERT_EQ(m->lights.size(), 1u);
  const LightInfo& light = *m->lights.find(2);
  EXPECT_EQ(light.viewer_space_location, decoded_frame_at(0, 0, 4));
  EXPECT_EQ(light.color, 0xFF00FF00u);
  EXPECT_EQ(light.intensity, 0x40000000u);
  EXPECT_EQ(light.falloff, 0x40400000u);
  EXPECT_EQ(light.cone_angle, 0x7FC00000u);

  EXPECT_EQ(m->default_id_1, 0x09000001u);
  EXPECT_EQ(m->default_script_id, 0x33000042u);
  EXPECT_EQ(m->motion_table_id, std::nullopt);
  EXPECT_EQ(m->default_id_4, 0x0D000001u);
  EXPECT_EQ(m->default_id_5, std::nullopt);
}

TEST(SetupModelUnpack, PresenceFlagsDecideWhatIsRead) {
  struct Case {
    std::uint32_t flags;
    std::size_t refs, vectors, extra_bytes;
  };
  const Case cases[] = {{0x0, 0, 0, 0}, {0x1, 2, 0, 8}, {0x2, 0, 2, 24}, {0x3, 2, 2, 32},
                        {0xFFFFFFFC, 0, 0, 0}};
  auto base = t::setup_with_parts(0x02000001, 2);
  base.part_refs = {1, 2};
  base.part_vectors = {{1, 1, 1}, {2, 2, 2}};
  base.flags = 0;
  const std::size_t plain_size = t::encode_setup_model(base).size();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    base.flags = c.flags;
    const auto bytes = t::encode_setup_model(base);
    EXPECT_EQ(bytes.size(), plain_size + c.extra_bytes);
    Reader reader(bytes);
    auto m = SetupModel::unpack(reader);
    ASSERT_TRUE(m) << m.error().to_string();
    EXPECT_EQ(reader.position(), bytes.size());
    EXPECT_EQ(m->part_refs.size(), c.refs);
    EXPECT_EQ(m->part_vectors.size(), c.vectors);
    EXPECT_EQ(m->placements.find(0)->anim_frame.part_frames.size(), 2u);
  }
}

TEST(SetupModelUnpack, PartCountZeroLeavesOnlyHooksInPlacements) {
  auto def = t::setup_with_parts(0x02000001, 0);
  def.placements = {{1, t::anim_frame_with(0, {t::sound_hook(5)})}};
  auto m = decode(t::encode_setup_model(def));
  ASSERT_TRUE(m) << m.error().to_string();
  EXPECT_TRUE(m->parts.empty());
  const AnimationFrame& frame = m->placements.find(1)->anim_frame;
  EXPECT_TRUE(frame.part_frames.empty());
  ASSERT_EQ(frame.hooks.size(), 1u);
  EXPECT_EQ(frame.hooks[0].payload, (std::vector<std::uint8_t>{5, 0, 0, 0}));
}

TEST(SetupModelUnpack, NegativePlacementCountFailsAfterTheCount) {
  t::SetupDef def;
  def.id = 0x02000001;
  def.placement_count = -1;
  // id, flags, part count, two location counts: the placement count is at 20.
  auto m = decode(t::encode_setup_model(def));
  ASSERT_FALSE(m);
  EXPECT_EQ(m.error().kind(), ReadError::Kind::Custom);
  EXPECT_EQ(m.error().message(), "SetupModel 0x02000001 declared negative placement count -1");
  EXPECT_EQ(m.error().position(), 24u);
  EXPECT_EQ(m.error().to_string(),
            "SetupModel 0x02000001 declared negative placement count -1 at 0x18");

  def.id = 0x02ABCDEF;
  def.placement_count = std::numeric_limits<std::int32_t>::min();
  m = decode(t::encode_setup_model(def));
  ASSERT_FALSE(m);
  EXPECT_EQ(m.error().message(),
            "SetupModel 0x02ABCDEF declared negative placement count -2147483648");
}

TEST(SetupModelUnpack, RepeatedKeysKeepTheLaterValue) {
  t::SetupDef def;
  auto location = [](std::uint32_t part_id) {
    t::LocationDef l;
    l.part_id = part_id;
    return l;
  };
  auto light = [](std::uint32_t color) {
    t::LightDef l;
    l.color = color;
    return l;
  };
  def.locations_1 = {{7, location(1)}, {8, location(2)}, {7, location(3)}};
  def.placements = {{-1, t::anim_frame_with(0, {t::sound_hook(1)})},
                     {-1, t::anim_frame_with(0, {t::sound_hook(2)})}};
  def.lights = {{4, light(1)}, {4, light(2)}};
  auto m = decode(t::encode_setup_model(def));
  ASSERT_TRUE(m) << m.error().to_string();
  ASSERT_EQ(m->locations_1.size(), 2u);
  EXPECT_EQ(m->locations_1.find(7)->part_id, 3u);
  EXPECT_EQ(m->locations_1.find(8)->part_id, 2u);
  ASSERT_EQ(m->placements.size(), 1u);
  EXPECT_EQ(m->placements.find(-1)->anim_frame.hooks[0].payload[0], 2);
  ASSERT_EQ(m->lights.size(), 1u);
  EXPECT_EQ(m->lights.find(4)->color, 2u);
}

TEST(SetupModelUnpack, EveryPrefixOfAValidEncodingFailsWithTheShortRead) {
  const auto bytes = t::encode_setup_model(full_setup());
  EXPECT_EQ(test_support::first_prefix_not_failing_cleanly(bytes, SetupModel::unpack), std::nullopt);
  // The last step on its own: everything complete but the final id word.
  auto cut = decode({bytes.begin(), bytes.end() - 1});
  ASSERT_FALSE(cut);
  EXPECT_EQ(cut.error().to_string(), "failed to fill whole buffer");
}

TEST(SetupModelUnpack, HugeCountsFailWithTheShortRead) {
  // With every list empty the counts sit at fixed offsets.
  const std::size_t count_offsets[] = {8, 12, 16, 24, 28, 80};
  const auto empty = t::encode_setup_model(t::SetupDef{});
  ASSERT_EQ(empty.size(), 104u);
  for (std::size_t offset : count_offsets) {
    SCOPED_TRACE(offset);
    auto bytes = empty;
    patch_u32(bytes, offset, 0xFFFFFFFF);
    auto m = decode(bytes);
    ASSERT_FALSE(m);
    EXPECT_EQ(m.error().message(), "failed to fill whole buffer");
  }
  // The largest positive placement count, and a huge hook count inside one.
  auto bytes = empty;
  patch_u32(bytes, 20, 0x7FFFFFFF);
  EXPECT_EQ(decode(bytes).error().message(), "failed to fill whole buffer");
  auto with_placement = t::setup_with_parts(0x02000001, 0);
  bytes = t::encode_setup_model(with_placement);
  patch_u32(bytes, 24 + 4, 0xFFFFFFFF);  // the placement key, then its hook count
  EXPECT_EQ(decode(bytes).error().message(), "failed to fill whole buffer");
}

TEST(SetupModelUnpack, NestedRecordErrorsPassThroughWithTheirFrames) {
  t::SetupDef def;
  def.lights = {{1, {}}};
  auto bytes = t::encode_setup_model(def);
  // Cut inside the light's cone_angle: 20 ids bytes plus 2 bytes of it removed.
  bytes.resize(bytes.size() - 20 - 2);
  auto m = decode(bytes);
  ASSERT_FALSE(m);
  ASSERT_EQ(m.error().frames().size(), 1u);
  EXPECT_EQ(m.error().frames()[0],
            (common::ContextFrame{"While parsing field 'cone_angle' in LightInfo", kPath, 35}));
}

// Field-by-field records: each truncation names the field it ended in (outer
// frame), and the cursor goes back to the record's first byte.
TEST(SetupModelRecords, TruncationNamesTheFieldAndRewinds) {
  struct Case {
    const char* record;
    std::size_t size;
    std::size_t cut;
    std::vector<common::ContextFrame> frames;
  };
  const common::ContextFrame vec_y{"While parsing field 'y' in Vector3", "common/math", 9};
  const common::ContextFrame quat_x{"While parsing field 'x' in Quaternion", "common/math", 122};
  const common::ContextFrame frame_orient{"While parsing field 'orientation' in Frame",
                                          "dat/graphics", 13};
  const Case cases[] = {
      {"CylSphere", 20, 5, {vec_y, {"While parsing field 'origin' in CylSphere", kPath, 14}}},
      {"CylSphere", 20, 13, {{"While parsing field 'radius' in CylSphere", kPath, 15}}},
      {"CylSphere", 20, 19, {{"While parsing field 'height' in CylSphere", kPath, 16}}},
      {"LocationType", 32, 3, {{"While parsing field 'part_id' in LocationType", kPath, 23}}},
      {"LocationType",
       32,
       4 + 5,
       {vec_y, {"While parsing field 'origin' in Frame", "dat/graphics", 12},
        {"While parsing field 'frame' in LocationType", kPath, 24}}},
      {"LocationType",
       32,
       4 + 12 + 5,
       {quat_x, frame_orient, {"While parsing field 'frame' in LocationType", kPath, 24}}},
      {"LightInfo",
       44,
       12 + 5,
       {quat_x, frame_orient,
        {"While parsing field 'viewer_space_location' in LightInfo", kPath, 31}}},
      {"LightInfo", 44, 28, {{"While parsing field 'color' in LightInfo", kPath, 32}}},
      {"LightInfo", 44, 35, {{"While parsing field 'intensity' in LightInfo", kPath, 33}}},
      {"LightInfo", 44, 36, {{"While parsing field 'falloff' in LightInfo", kPath, 34}}},
      {"LightInfo", 44, 43, {{"While parsing field 'cone_angle' in LightInfo", kPath, 35}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.record) + " cut at " + std::to_string(c.cut));
    // The record starts at offset 4 so that the rewind is visible.
    const std::vector<std::uint8_t> bytes(4 + c.cut, 0x11);
    Reader reader(bytes, 4);
    std::optional<ReadError> error;
    const std::string record = c.record;
    if (record == "CylSphere") error = CylSphere::read(reader).error();
    if (record == "LocationType") error = LocationType::read(reader).error();
    if (record == "LightInfo") error = LightInfo::read(reader).error();
    ASSERT_TRUE(error);
    EXPECT_EQ(reader.position(), 4u);
    EXPECT_EQ(error->kind(), ReadError::Kind::Context);
    EXPECT_EQ(error->message(), "failed to fill whole buffer");
    EXPECT_EQ(error->frames(), c.frames);
    // The full record decodes and consumes exactly its size.
    const std::vector<std::uint8_t> whole(c.size, 0);
    Reader full(whole);
    bool ok = false;
    if (record == "CylSphere") ok = CylSphere::read(full).has_value();
    if (record == "LocationType") ok = LocationType::read(full).has_value();
    if (record == "LightInfo") ok = LightInfo::read(full).has_value();
    EXPECT_TRUE(ok);
    EXPECT_EQ(full.position(), c.size);
  }
}

}  // namespace
}  // namespace ravelin::dat::file_type
