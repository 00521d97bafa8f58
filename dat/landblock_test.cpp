#include "ravelin/dat/landblock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <string>

#include "dat_writer/landblock_encoder.h"

namespace ravelin::dat {
namespace {

namespace t = ravelin::dat_writer;
using common::ContextFrame;
using common::ReadError;

// --- expected records, built from the encoder descriptions -----------------

float value_of(t::F32 f) { return std::bit_cast<float>(f.bits); }

LandblockFrame frame_of(const t::FrameDef& d) {
  return LandblockFrame{{value_of(d.origin.x), value_of(d.origin.y), value_of(d.origin.z)},
                        {value_of(d.orientation.w), value_of(d.orientation.x),
                         value_of(d.orientation.y), value_of(d.orientation.z)}};
}

LandblockInfo expected_info(const t::LandblockInfoDef& d) {
  LandblockInfo info;
  info.id = d.id;
  info.num_cells = d.num_cells;
  for (const auto& s : d.objects) info.objects.push_back({s.id, frame_of(s.frame)});
  info.pack_mask = d.pack_mask.value_or(d.restriction_table ? 1 : 0);
  for (const auto& b : d.buildings) {
    BuildInfo out{b.model_id, frame_of(b.frame), b.num_leaves, {}};
    for (const auto& p : b.portals)
      out.portals.push_back({p.flags, p.other_cell_id, p.other_portal_id, p.stab_list});
    info.buildings.push_back(out);
  }
  if (d.restriction_table && (info.pack_mask & 1)) {
    RestrictionTable table;
    for (const auto& [k, v] : d.restriction_table->pairs) table.tables.insert_or_assign(k, v);
    info.restriction_tables = table;
  }
  return info;
}

t::FrameDef frame_def(float base) {
  return {{base, base + 0.5f, -base}, {0.25f, base, 0.5f, -0.75f}};
}

// Two objects, two buildings (portals with 0, 1, 2 and 3 stabs), a table.
t::LandblockInfoDef rich_info() {
  t::LandblockInfoDef d;
  d.id = 0xA9B4FFFE;
  d.num_cells = 7;
  d.objects = {{0x02000123, frame_def(1.0f)}, {0x0200ABCD, frame_def(-3.0f)}};
  d.objects[1].frame.origin.z = t::F32::from_bits(0x80000000);  // negative zero
  d.buildings = {
      {0x01000010, frame_def(10.0f), 3, {{0x1, 0x100, 2, {}}, {0x2, 0x101, 3, {9}}}},
      {0x01000011, frame_def(20.0f), 5, {{0x3, 0x102, 4, {1, 2}}, {0x4, 0x103, 5, {7, 8, 9}}}},
  };
  d.restriction_table = t::RestrictionTableDef{8, {{0xA9B40100, 0x7001}, {0xA9B40101, 0x7002}}};
  return d;
}

std::array<std::uint16_t, kLandblockVertexCount> ramp_terrain() {
  std::array<std::uint16_t, kLandblockVertexCount> words{};
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = static_cast<std::uint16_t>(0x0101 * i + 3);
  return words;
}

// Every frame a landblock record can carry, with the path and line it names.
// The lines are fixed by the record layout documentation, not by our sources.
using FrameTable = std::map<std::string, std::pair<std::string, std::uint32_t>>;

const FrameTable& known_frames() {
  static const FrameTable table = [] {
    FrameTable t;
    const auto add = [&t](const char* record, const char* path,
                         std::initializer_list<std::pair<const char*, std::uint32_t>> fields) {
      for (const auto& [field, line] : fields)
        t[std::string("While parsing field '") + field + "' in " + record] = {path, line};
    };
    add("CellLandblock", "dat/landblock", {{"id", 55}, {"has_objects", 56}, {"terrain", 58}, {"height", 60}});
    add("LandblockInfo", "dat/landblock",
        {{"id", 128}, {"num_cells", 129}, {"num_objects", 131}, {"objects", 133}, {"num_buildings", 135},
         {"pack_mask", 136}, {"buildings", 138}, {"restriction_tables", 140}});
    add("Stab", "dat/landblock", {{"id", 16}, {"frame", 17}});
    add("Frame", "dat/landblock", {{"origin", 9}, {"orientation", 10}});
    add("BuildInfo", "dat/landblock",
        {{"model_id", 24}, {"frame", 25}, {"num_leaves", 26}, {"num_portals", 32}, {"portals", 34}});
    add("PortalInternal", "dat/landblock",
        {{"flags", 41}, {"other_cell_id", 42}, {"other_portal_id", 43}, {"num_stabs", 45}, {"stab_list", 47}});
    add("RestrictionTable", "dat/landblock", {{"count", 156}, {"_bucket_size", 158}, {"tables", 161}});
    add("Vector3", "common/math", {{"x", 8}, {"y", 9}, {"z", 10}});
    add("Quaternion", "common/math", {{"w", 121}, {"x", 122}, {"y", 123}, {"z", 124}});
    return t;
  }();
  return table;
}

// Each frame names the documented path and line of its field; returns the
// messages so that callers can check which fields they were.
std::vector<std::string> expect_documented_frames(const ReadError& error) {
  std::vector<std::string> messages;
  for (const ContextFrame& f : error.frames()) {
    messages.push_back(f.message);
    const auto known = known_frames().find(f.message);
    if (known == known_frames().end()) {
      ADD_FAILURE() << "unexpected frame " << f.message;
      continue;
    }
    EXPECT_EQ(f.path, known->second.first) << f.message;
    EXPECT_EQ(f.line, known->second.second) << f.message;
  }
  return messages;
}

// --- CellLandblock ---------------------------------------------------------

TEST(CellLandblock, DecodesEveryFieldWithOrWithoutThePaddingByte) {
  t::CellLandblockDef d;
  d.id = 0xA9B4FFFF;
  d.has_objects = 0x00010001;
  d.terrain = ramp_terrain();
  for (std::size_t i = 0; i < d.height.size(); ++i) d.height[i] = static_cast<std::uint8_t>(255 - 3 * i);

  for (bool padding : {true, false}) {
    d.padding_byte = padding;
    const auto bytes = t::encode_cell_landblock(d);
    ASSERT_EQ(bytes.size(), padding ? 252u : 251u);
    auto cell = CellLandblock::unpack(bytes);
    ASSERT_TRUE(cell) << cell.error().to_string();
    EXPECT_EQ(cell->id, d.id);
    EXPECT_EQ(cell->has_objects, d.has_objects);
    EXPECT_EQ(cell->terrain, d.terrain);
    EXPECT_EQ(cell->height, d.height);
    // The padding byte is skipped even when missing: the cursor may pass the end.
    common::Reader r(bytes);
    ASSERT_TRUE(CellLandblock::read(r));
    EXPECT_EQ(r.position(), 252u);
  }
}

TEST(CellLandblock, EveryShortLengthFailsUnderTheFieldItEndsIn) {
  const auto full = t::encode_cell_landblock(0xA9B4FFFF, ramp_terrain());
  struct Case {
    std::size_t first, last;  // lengths, inclusive
    const char* message;
    const char* inner;
  };
  const Case cases[] = {
      {0, 3, "While parsing field 'id' in CellLandblock", "failed to fill whole buffer"},
      {4, 7, "While parsing field 'has_objects' in CellLandblock", "failed to fill whole buffer"},
      {8, 169, "While parsing field 'terrain' in CellLandblock", "failed to fill whole buffer"},
      {170, 250, "While parsing field 'height' in CellLandblock", "not enough bytes in reader"},
  };
  for (const Case& c : cases) {
    for (std::size_t len = c.first; len <= c.last; ++len) {
      SCOPED_TRACE(len);
      const std::vector<std::uint8_t> prefix(full.begin(), full.begin() + len);
      auto cell = CellLandblock::unpack(prefix);
      ASSERT_FALSE(cell);
      ASSERT_EQ(cell.error().kind(), DatError::Kind::BinRead);
      const ReadError& e = cell.error().read_error();
      EXPECT_EQ(e.message(), c.inner);
      ASSERT_EQ(e.frames().size(), 1u);
      EXPECT_EQ(expect_documented_frames(e), std::vector<std::string>{c.message});
    }
  }
}

TEST(TerrainWord, ExtractsTerrainAndSceneType) {
  struct Case {
    std::uint16_t word;
    std::uint32_t terrain, scene;
  };
  const Case cases[] = {
      {0xFFFF, 31, 31}, {0x0004, 1, 0}, {0x0800, 0, 1}, {0x0003, 0, 0},
      {0x0780, 0, 0},   {0x007C, 31, 0}, {0xF800, 0, 31}, {t::terrain_word(17, 9), 17, 9},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(terrain_type(c.word), c.terrain) << std::hex << c.word;
    EXPECT_EQ(scene_type(c.word), c.scene) << std::hex << c.word;
  }
}

// --- LandblockInfo ---------------------------------------------------------

TEST(LandblockInfo, EmptyRecordIsSixteenBytes) {
  t::LandblockInfoDef d;
  d.id = 0xA9B4FFFE;
  const auto bytes = t::encode_landblock_info(d);
  ASSERT_EQ(bytes.size(), 16u);
  auto info = LandblockInfo::unpack(bytes);
  ASSERT_TRUE(info) << info.error().to_string();
  EXPECT_EQ(info->id, 0xA9B4FFFEu);
  EXPECT_TRUE(info->objects.empty());
  EXPECT_TRUE(info->buildings.empty());
  EXPECT_FALSE(info->restriction_tables.has_value());
}

TEST(LandblockInfo, DecodesObjectsBuildingsPortalsAndTable) {
  const auto d = rich_info();
  auto info = LandblockInfo::unpack(t::encode_landblock_info(d));
  ASSERT_TRUE(info) << info.error().to_string();
  EXPECT_EQ(*info, expected_info(d));
  // Spot checks against literals, in case the oracle above shares a mistake.
  ASSERT_EQ(info->buildings.size(), 2u);
  EXPECT_EQ(info->buildings[1].portals.at(1).stab_list, (std::vector<std::uint16_t>{7, 8, 9}));
  EXPECT_TRUE(std::signbit(info->objects.at(1).frame.origin.z));
  EXPECT_EQ(info->objects[0].frame.orientation.w, 0.25f);

  const t::StabDef placements[] = {{0x02000003, frame_def(1)}, {0x02000001, frame_def(2)}};
  auto simple = LandblockInfo::unpack(t::encode_landblock_info(0x0102FFFE, placements));
  ASSERT_TRUE(simple);
  EXPECT_EQ(simple->objects, (std::vector<Stab>{{0x02000003, frame_of(frame_def(1))},
                                                {0x02000001, frame_of(frame_def(2))}}));
}

TEST(PortalInternal, OddStabCountsArePaddedToFourBytes) {
  struct Case {
    std::vector<std::uint16_t> stabs;
    std::uint64_t size;
  };
  const Case cases[] = {{{}, 8}, {{5}, 12}, {{5, 6}, 12}, {{5, 6, 7}, 16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stabs.size());
    t::ByteWriter w;
    t::write_portal(w, {0x8001, 0x0102, 0x0304, c.stabs});
    w.u32(0xDEADBEEF);  // must be read right after the portal
    common::Reader r(w.data());
    auto portal = PortalInternal::read(r);
    ASSERT_TRUE(portal);
    EXPECT_EQ(r.position(), c.size);
    EXPECT_EQ(portal->flags, 0x8001);
    EXPECT_EQ(portal->other_cell_id, 0x0102);
    EXPECT_EQ(portal->other_portal_id, 0x0304);
    EXPECT_EQ(portal->stab_list, c.stabs);
    EXPECT_EQ(*r.read_u32(), 0xDEADBEEFu);
  }
}

TEST(LandblockInfo, PackMaskBitZeroAloneDecidesTheTable) {
  struct Case {
    std::uint16_t mask;
    bool table;
  };
  for (const Case c : {Case{0xFFFE, false}, Case{0x0001, true}, Case{0xFFFF, true}, Case{0, false}}) {
    SCOPED_TRACE(c.mask);
    t::LandblockInfoDef d;
    d.restriction_table = t::RestrictionTableDef{4, {{1, 2}}};
    d.pack_mask = c.mask;  // the table bytes are written either way
    auto info = LandblockInfo::unpack(t::encode_landblock_info(d));
    ASSERT_TRUE(info) << info.error().to_string();
    EXPECT_EQ(info->pack_mask, c.mask);
    ASSERT_EQ(info->restriction_tables.has_value(), c.table);
    if (c.table) {
      EXPECT_EQ(*info->restriction_tables->tables.find(1), 2u);
    }
  }
}

TEST(RestrictionTable, RepeatedKeyKeepsTheLaterValue) {
  t::ByteWriter w;
  t::write_restriction_table(w, {16, {{0x10, 1}, {0x20, 2}, {0x10, 3}}});
  common::Reader r(w.data());
  auto table = RestrictionTable::read(r);
  ASSERT_TRUE(table);
  EXPECT_EQ(r.position(), 4u + 3 * 8);
  EXPECT_EQ(table->tables.size(), 2u);
  EXPECT_EQ(*table->tables.find(0x10), 3u);
  EXPECT_EQ(*table->tables.find(0x20), 2u);
}

TEST(LandblockInfo, EndInsideThirdStabCarriesOneFramePerLevel) {
  t::LandblockInfoDef d;
  for (std::uint32_t i = 0; i < 4; ++i) d.objects.push_back({0x02000000 + i, frame_def(float(i))});
  const auto full = t::encode_landblock_info(d);
  // Header 12, two Stabs 64, third Stab: id 4, origin x 4, then 2 bytes of y.
  const auto bytes = std::span(full).first(12 + 64 + 4 + 4 + 2);
  auto info = LandblockInfo::unpack(bytes);
  ASSERT_FALSE(info);
  EXPECT_EQ(info.error().to_string().rfind("Binary read error: failed to fill whole buffer", 0), 0u)
      << info.error().to_string();
  const ReadError& e = info.error().read_error();
  EXPECT_EQ(e.kind(), ReadError::Kind::Context);
  EXPECT_EQ(e.inner_kind(), ReadError::Kind::Io);
  EXPECT_EQ(e.message(), "failed to fill whole buffer");
  EXPECT_EQ(expect_documented_frames(e), (std::vector<std::string>{
                                              "While parsing field 'y' in Vector3",
                                              "While parsing field 'origin' in Frame",
                                              "While parsing field 'frame' in Stab",
                                              "While parsing field 'objects' in LandblockInfo",
                                          }));
  // The whole chain as a bake error shows it, line numbers included.
  const auto& f = e.frames();
  EXPECT_EQ((std::vector<std::uint32_t>{f[0].line, f[1].line, f[2].line, f[3].line}),
            (std::vector<std::uint32_t>{9, 9, 17, 133}));
}

TEST(LandblockInfo, NestedPortalFailureNamesEveryLevel) {
  auto d = rich_info();
  const auto full = t::encode_landblock_info(d);
  // Cut inside the stab list of the last portal of the last building:
  // the table (4 + 16 bytes) and the portal's last stab and padding go.
  const auto bytes = std::span(full).first(full.size() - 20 - 4);
  auto info = LandblockInfo::unpack(bytes);
  ASSERT_FALSE(info);
  EXPECT_EQ(expect_documented_frames(info.error().read_error()),
            (std::vector<std::string>{
                "While parsing field 'stab_list' in PortalInternal",
                "While parsing field 'portals' in BuildInfo",
                "While parsing field 'buildings' in LandblockInfo",
            }));
}

TEST(LandblockInfo, EveryPrefixFailsAndRewinds) {
  const auto full = t::encode_landblock_info(rich_info());
  ASSERT_TRUE(LandblockInfo::unpack(full));
  for (std::size_t len = 0; len < full.size(); ++len) {
    SCOPED_TRACE(len);
    // Its own allocation, 4 lead bytes then the prefix, so that a read past
    // the prefix's end is a sanitizer error rather than a silent success.
    std::vector<std::uint8_t> shifted(4 + len, 0xAA);
    std::copy_n(full.begin(), len, shifted.begin() + 4);
    auto info = LandblockInfo::unpack(std::span(shifted).subspan(4));
    ASSERT_FALSE(info);
    ASSERT_EQ(info.error().kind(), DatError::Kind::BinRead);
    const ReadError& e = info.error().read_error();
    EXPECT_EQ(e.message(), "failed to fill whole buffer");
    ASSERT_FALSE(e.frames().empty());
    EXPECT_NE(e.frames().back().message.find("in LandblockInfo"), std::string::npos);
    expect_documented_frames(e);

    // From a cursor that starts after the lead: a failure puts it back there.
    common::Reader r(shifted, 4);
    EXPECT_FALSE(LandblockInfo::read(r));
    EXPECT_EQ(r.position(), 4u);
  }
}

TEST(LandblockRecords, EachReaderRestoresTheCursorOnFailure) {
  t::ByteWriter w;
  w.u8(0x55);  // lead byte so that "restored" differs from 0
  const std::size_t lead = w.size();
  struct Case {
    const char* name;
    void (*write)(t::ByteWriter&);
    bool (*read)(common::Reader&);
  };
  const Case cases[] = {
      {"Frame", [](t::ByteWriter& o) { t::write_frame(o, frame_def(2)); },
       [](common::Reader& r) { return LandblockFrame::read(r).has_value(); }},
      {"Stab", [](t::ByteWriter& o) { t::write_stab(o, {7, frame_def(2)}); },
       [](common::Reader& r) { return Stab::read(r).has_value(); }},
      {"PortalInternal", [](t::ByteWriter& o) { t::write_portal(o, {1, 2, 3, {4, 5, 6}}); },
       [](common::Reader& r) { return PortalInternal::read(r).has_value(); }},
      {"BuildInfo",
       [](t::ByteWriter& o) { t::write_building(o, {9, frame_def(1), 2, {{1, 2, 3, {4, 5}}}}); },
       [](common::Reader& r) { return BuildInfo::read(r).has_value(); }},
      {"RestrictionTable", [](t::ByteWriter& o) { t::write_restriction_table(o, {2, {{1, 2}, {3, 4}}}); },
       [](common::Reader& r) { return RestrictionTable::read(r).has_value(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    t::ByteWriter record = w;
    c.write(record);
    const auto& full = record.data();
    common::Reader whole(full, lead);
    ASSERT_TRUE(c.read(whole));
    // A PortalInternal's trailing padding is skipped, so only cuts before it fail.
    const std::size_t last = std::string_view(c.name) == "PortalInternal" ? full.size() - 2 : full.size();
    EXPECT_EQ(whole.position(), full.size());
    for (std::size_t len = lead; len < last; ++len) {
      common::Reader r(std::span<const std::uint8_t>(full).first(len), lead);
      EXPECT_FALSE(c.read(r)) << len;
      EXPECT_EQ(r.position(), lead) << len;
    }
  }
}

TEST(LandblockInfo, HostileCountsFailWithoutLargeAllocations) {
  t::LandblockInfoDef objects;
  objects.num_objects_override = 0xFFFFFFFF;
  objects.objects = {{1, frame_def(1)}};
  auto bytes = t::encode_landblock_info(objects);
  bytes.resize(40);
  auto info = LandblockInfo::unpack(bytes);
  ASSERT_FALSE(info);
  EXPECT_EQ(info.error().read_error().message(), "failed to fill whole buffer");
  EXPECT_EQ(info.error().read_error().frames().back().message,
            "While parsing field 'objects' in LandblockInfo");

  // A building announcing 0xFFFFFFFF portals, and a stab list of 0xFFFF.
  t::ByteWriter w;
  w.u32(1).u32(0).u32(0).u16(1).u16(0).u32(5);
  t::write_frame(w, frame_def(1));
  w.u32(0).u32(0xFFFFFFFF);
  w.u16(0).u16(0).u16(0).u16(0xFFFF).u32(0);
  auto building = LandblockInfo::unpack(w.data());
  ASSERT_FALSE(building);
  const auto& frames = building.error().read_error().frames();
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].message, "While parsing field 'stab_list' in PortalInternal");
}

}  // namespace
}  // namespace ravelin::dat
