// Documents that are not records of their type: one error, naming the JSON
// Pointer of the value and what was expected there; and the type a document
// names by its id.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ravelin/dat/record_json.h"
#include "test_support/test_world.h"

namespace ravelin::dat {
namespace {

namespace t = ravelin::dat_writer;
using nlohmann::json;

json document_of(RecordType type, const std::vector<std::uint8_t>& bytes) {
  const auto text = record_json(type, bytes, true);
  EXPECT_TRUE(text) << text.error().to_string();
  return json::parse(text.value_or("null"));
}

json animation() {
  t::AnimationDef a = t::animation_with_hooks(0x03000001, 1, {{t::sound_hook(0x0A000001)}});
  a.flags = 1;
  a.object_frames = {{}};
  return document_of(RecordType::Animation, t::encode_animation(a));
}

json setup() {
  t::SetupDef s = t::setup_with_parts(0x02000001, 1);
  s.flags = 0x1;
  s.part_refs = {3};
  return document_of(RecordType::Setup, t::encode_setup_model(s));
}

json motion_table() {
  t::MotionTableDef m;
  m.motion_data_0 = {{0x003D0001, t::motion_data_playing({0x03000001})}};
  return document_of(RecordType::MotionTable, t::encode_motion_table(m));
}

json landblock_info() {
  t::LandblockInfoDef info;
  info.id = 0xA9B4FFFE;
  info.buildings = {{0x01000200, {}, 1, {{0, 0, 0, {7}}}}};
  return document_of(RecordType::LandblockInfo, t::encode_landblock_info(info));
}

json region() {
  t::RegionDef r;
  r.name = "B";
  return document_of(RecordType::Region, t::encode_region(r));
}

struct BadDocument {
  RecordType type;
  std::function<json()> valid;
  std::function<void(json&)> change;
  std::string error;
};

TEST(RecordEncode, EachBadDocumentGivesOneErrorAtItsPointer) {
  using R = RecordType;
  const BadDocument cases[] = {
      {R::Animation, animation, [](json& d) { d["frames"][0]["hooks"][0]["hook_type"] = "1"; },
       "/frames/0/hooks/0/hook_type: expected an unsigned 32-bit integer"},
      {R::Animation, animation, [](json& d) { d["frames"][0]["hooks"][0]["hook_type"] = 4294967296u; },
       "/frames/0/hooks/0/hook_type: expected an unsigned 32-bit integer"},
      {R::Animation, animation, [](json& d) { d["frames"][0]["hooks"][0]["hook_type"] = -1; },
       "/frames/0/hooks/0/hook_type: expected an unsigned 32-bit integer"},
      {R::Animation, animation, [](json& d) { d["frames"][0]["hooks"][0]["hook_type"] = 27; },
       "/frames/0/hooks/0/hook_type: expected a hook type from 0 to 26"},
      {R::Animation, animation, [](json& d) { d.erase("part_count"); },
       "/part_count: missing member, expected an unsigned 32-bit integer"},
      {R::Animation, animation, [](json& d) { d["frames"][0]["colour"] = 1; }, "/frames/0/colour: unknown member"},
      {R::Animation, animation, [](json& d) { d["frame_count"] = 2; },
       "/frame_count: expected 1, the number of frames"},
      {R::Animation, animation, [](json& d) { d["part_count"] = 2; },
       "/frames/0/part_frames: expected 2 entries (part_count), found 1"},
      {R::Animation, animation, [](json& d) { d["has_object_frames"] = false; },
       "/object_frames: expected 0 entries (none: not has_object_frames), found 1"},
      {R::Animation, animation, [](json& d) { d["has_object_frames"] = 1; }, "/has_object_frames: expected true or false"},
      {R::Animation, animation, [](json& d) { d["object_frames"][0]["origin"]["x"] = "far"; },
       "/object_frames/0/origin/x: expected a 32-bit float: a number, \"NaN\", \"inf\" or \"-inf\""},
      {R::Animation, animation, [](json& d) { d["object_frames"][0]["origin"]["x"] = 1e39; },
       "/object_frames/0/origin/x: expected a 32-bit float: a number, \"NaN\", \"inf\" or \"-inf\""},
      {R::Animation, animation, [](json& d) { d["object_frames"][0]["origin"]["x_bits"] = "0x7FC00001"; },
       "/object_frames/0/origin/x_bits: expected no bits: x is not \"NaN\""},
      {R::Animation, animation, [](json& d) { d["id"] = "0x1G"; },
       "/id: expected a 32-bit word: \"0x\" and 1 to 8 hex digits"},
      {R::Animation, animation, [](json& d) { d["id"] = "0x123456789"; },
       "/id: expected a 32-bit word: \"0x\" and 1 to 8 hex digits"},
      {R::Animation, animation, [](json& d) { d["frames"][0]["hooks"][0]["priority"] = 0.5; },
       "/frames/0/hooks/0/priority: expected 0.0: a type-1 hook's sound has no stored priority (type 21 has)"},
      {R::Animation, animation, [](json& d) { d["frames"][0]["hooks"][0]["payload_rest"] = "00"; },
       "/frames/0/hooks/0/payload_rest: expected 0 bytes for hook type 1, found 1"},
      {R::Animation, animation, [](json& d) { d["trailing_bytes"] = "0g"; },
       "/trailing_bytes: expected bytes as a string of hex digit pairs"},
      {R::Animation, animation, [](json& d) { d["frames"] = json::object(); }, "/frames: expected an array"},
      {R::Animation, animation, [](json& d) { d = json::array(); }, "document: expected an object"},

      {R::Setup, setup, [](json& d) { d["part_refs"] = json::array(); },
       "/part_refs: expected 1 entries (one per part: flags has bit 0x1), found 0"},
      {R::Setup, setup, [](json& d) { d["placements"][0]["key"] = 2147483648u; },
       "/placements/0/key: expected a signed 32-bit integer"},
      {R::Setup, setup, [](json& d) { d["placements"][0]["value"].erase("anim_frame"); },
       "/placements/0/value/anim_frame: missing member, expected an object"},
      {R::Setup, setup, [](json& d) { d["scalars"].erase(0); }, "/scalars: expected 4 entries, found 3"},
      {R::Setup, setup, [](json& d) { d["motion_table_id"] = 9; },
       "/motion_table_id: expected null or a file id: \"0x\" and 1 to 8 hex digits"},

      {R::MotionTable, motion_table, [](json& d) { d["motion_data_0"][0]["value"]["flags"] = 4; },
       "/motion_data_0/0/value/flags: expected 0 to 3 (other bits go in other_flags)"},
      {R::MotionTable, motion_table, [](json& d) { d["motion_data_0"][0]["value"]["other_flags"] = 3; },
       "/motion_data_0/0/value/other_flags: expected a byte without bits 0x1 and 0x2 (those are flags)"},
      {R::MotionTable, motion_table, [](json& d) { d["motion_data_0"][0]["value"]["flags"] = 1; },
       "/motion_data_0/0/value/vector_1: expected a vector: flags has bit 0x1"},
      {R::MotionTable, motion_table,
       [](json& d) {
         json& anims = d["motion_data_0"][0]["value"]["anims"];
         while (anims.size() < 256) anims.push_back(anims[0]);
       },
       "/motion_data_0/0/value/anims: expected at most 255 entries, found 256"},
      {R::MotionTable, motion_table, [](json& d) { d["motion_data_0"][0]["value"]["padding"] = "0000"; },
       "/motion_data_0/0/value/padding: expected 1 bytes, found 2"},

      {R::LandblockInfo, landblock_info, [](json& d) { d["buildings"][0]["portals"][0]["stab_list"][0] = 65536; },
       "/buildings/0/portals/0/stab_list/0: expected an unsigned 16-bit integer"},
      {R::LandblockInfo, landblock_info, [](json& d) { d["restriction_tables"] = {{"tables", json::array()}}; },
       "/restriction_tables: expected null: pack_mask lacks bit 0x1"},
      {R::LandblockInfo, landblock_info, [](json& d) {
         d["buildings"][0]["portals"][0]["padding"] = "";
         d["trailing_bytes"] = "00";
       },
       "/buildings/0/portals/0/padding: expected 2 bytes: fewer only where the record ends"},

      {R::Region, region, [](json& d) { d["sky"] = 5; },
       "/sky: expected null or an object"},
      {R::Region, region, [](json& d) { d["section_mask"] = 0x10; },
       "/sky: expected a description: section_mask has bit 0x10"},
      {R::Region, region, [](json& d) { d["name_bytes"] = "41"; },
       "/name_bytes: expected bytes that decode to the text beside them"},
      {R::Region, region, [](json& d) { d["name"] = std::string(70000, 'a'); },
       "/name: expected a text of at most 65535 bytes as stored, found 70000"},
      {R::Region, region,
       [](json& d) {
         d["game_time"]["names"] = {"a", "b"};
         d["game_time"]["names_padding"] = {nullptr, "zz"};
       },
       "/game_time/names_padding/1: expected bytes as a string of hex digit pairs"},
      {R::Region, region, [](json& d) { d["game_time"]["names_bytes"] = {nullptr}; },
       "/game_time/names_bytes: expected 0 entries, one per entry of names, found 1"},
      {R::Region, region, [](json& d) { d["region_table"][3] = 1; },
       "/region_table/3: expected a 32-bit word: \"0x\" and 1 to 8 hex digits"},
  };
  for (const BadDocument& c : cases) {
    json document = c.valid();
    c.change(document);
    const auto encoded = encode_record_json(c.type, document.dump());
    ASSERT_FALSE(encoded) << c.error;
    EXPECT_EQ(encoded.error().to_string(), c.error);
  }
}

TEST(RecordEncode, TextThatIsNotOneJsonDocument) {
  const struct {
    std::string text;
    std::string error_start;
  } cases[] = {
      {"", "document: invalid JSON: "},
      {"{", "document: invalid JSON: "},
      {"{\"id\": 1,}", "document: invalid JSON: "},
      {"{} {}", "document: invalid JSON: "},
      {"{\"id\": \"\xFF\"}", "document: invalid JSON: "},
      {"{\"id\":\"0x03000001\",\"id\":\"0x03000001\"}", "/id: duplicate member"},
  };
  for (const auto& c : cases) {
    const auto encoded = encode_record_json(RecordType::Animation, c.text);
    ASSERT_FALSE(encoded) << c.text;
    EXPECT_TRUE(encoded.error().to_string().starts_with(c.error_start)) << encoded.error().to_string();
  }
}

// Without a type, the document's id names it; an id that names two types (one
// in the cell archive, one elsewhere) or none needs the type given.
TEST(RecordEncode, TheIdNamesTheTypeWhereItCan) {
  const std::vector<std::uint8_t> cell = [] {
    t::CellLandblockDef c;
    c.id = 0xA9B4FFFF;
    return t::encode_cell_landblock(c);
  }();
  const auto cell_json = record_json(RecordType::CellLandblock, cell, true).value();
  EXPECT_EQ(encode_record_json(std::nullopt, cell_json), cell);

  json clashing = json::parse(cell_json);
  clashing["id"] = "0x1300FFFF";
  const auto named = encode_record_json(std::nullopt, clashing.dump());
  ASSERT_FALSE(named);
  EXPECT_EQ(named.error().to_string(),
            "/id: 0x1300FFFF names a cell-landblock in a cell archive and a region in any other: name the type with "
            "--type (cell-landblock or region)");
  auto given = cell;
  given[0] = 0xFF, given[1] = 0xFF, given[2] = 0x00, given[3] = 0x13;
  EXPECT_EQ(encode_record_json(RecordType::CellLandblock, clashing.dump()), given);

  clashing["id"] = "0x01000001";
  EXPECT_EQ(encode_record_json(std::nullopt, clashing.dump()).error().to_string(),
            "/id: 0x01000001 names no record type: name one with --type (" + record_type_names() + ")");
  clashing.erase("id");
  EXPECT_EQ(encode_record_json(std::nullopt, clashing.dump()).error().to_string(),
            "/id: missing member, expected a 32-bit word: \"0x\" and 1 to 8 hex digits");
}

// The bytes a text is stored as: windows-1252 where every character has a
// byte there, else a UTF-8 byte-order mark and UTF-8.
TEST(RecordEncode, TextsAreStoredAsTheirDecoderReadsThem) {
  const struct {
    std::string text;
    std::string bytes;
  } cases[] = {
      {"Grass", "Grass"},
      {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xE9 \x80"},                                      // é, €
      {"\xC2\x81", "\x81"},                                                             // a C1 control
      {"\xE2\x98\x83", "\xEF\xBB\xBF\xE2\x98\x83"},                                      // ☃: none in windows-1252
      {"\xC3\xBF\xC3\xBE", "\xEF\xBB\xBF\xC3\xBF\xC3\xBE"},                              // ÿþ would read as a mark
      {"\xC3\xAF\xC2\xBB\xC2\xBF", "\xEF\xBB\xBF\xC3\xAF\xC2\xBB\xC2\xBF"},              // ï»¿ likewise
      {std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(file_type::encoded_text(c.text), c.bytes) << c.text;
    EXPECT_EQ(file_type::decoded_text(c.bytes), c.text) << c.text;
    EXPECT_TRUE(file_type::text_gives_back(c.bytes)) << c.text;
  }
  for (const std::string bytes : {"\xEF\xBB\xBF\xFF", "\xFF\xFE\x41\x00", "\xEF\xBB\xBF" "abc"})
    EXPECT_FALSE(file_type::text_gives_back(bytes)) << bytes;
}

}  // namespace
}  // namespace ravelin::dat
