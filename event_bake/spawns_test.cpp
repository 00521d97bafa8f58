#include "ravelin/event_bake/spawns.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "ravelin/common/file.h"

namespace ravelin::event_bake {
namespace {

std::span<const std::uint8_t> as_bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

SetupTable parse_ok(std::string_view json) {
  auto table = parse_setup_table(as_bytes(json));
  EXPECT_TRUE(table.has_value()) << json << ": " << (table ? std::string() : table.error().to_string());
  return table ? std::move(*table) : SetupTable{};
}

struct MemberCase {
  std::string member;  // one object member, key and value
  std::optional<std::uint32_t> wcid;  // the wcid it maps, if taken
  std::uint32_t setup = 0;
};

TEST(SetupTableParse, KeyAndValueRules) {
  const MemberCase cases[] = {
      {R"("7": 33554433)", 7, 33554433},
      {R"("+7": 5)", 7, 5},
      {R"("007": 5)", 7, 5},
      {R"("4294967295": 1)", 4294967295u, 1},
      {R"("0": 4294967295)", 0, 4294967295u},
      {R"("9": -0)", 9, 0},  // -0 is the integer zero
      {R"("-7": 5)", {}},
      {R"("": 5)", {}},
      {R"("+": 5)", {}},
      {R"("++7": 5)", {}},
      {R"(" 7": 5)", {}},
      {R"("7 ": 5)", {}},
      {R"("7a": 5)", {}},
      {R"("0x7": 5)", {}},
      {R"("4294967296": 5)", {}},
      {R"("99999999999999999999999": 5)", {}},
      {R"("7": -1)", {}},
      {R"("7": 7.0)", {}},
      {R"("7": 1e3)", {}},
      {R"("7": 1E3)", {}},
      {R"("7": "7")", {}},
      {R"("7": true)", {}},
      {R"("7": null)", {}},
      {R"("7": 4294967296)", {}},
      {R"("7": 18446744073709551615)", {}},
      {R"("7": 18446744073709551616)", {}},
      {R"("7": [1])", {}},
      {R"("7": {"8": 1})", {}},
  };
  for (const auto& c : cases) {
    const SetupTable table = parse_ok("{" + c.member + "}");
    if (c.wcid) {
      ASSERT_EQ(table.size(), 1u) << c.member;
      ASSERT_NE(table.find(*c.wcid), nullptr) << c.member;
      EXPECT_EQ(*table.find(*c.wcid), c.setup) << c.member;
    } else {
      EXPECT_TRUE(table.empty()) << c.member;
    }
  }
}

TEST(SetupTableParse, LaterEqualKeysWinAndRejectsDoNotDisturbNeighbours) {
  const SetupTable table = parse_ok(
      R"({"7": 1, "x": {"7": 99, "deep": [[{"8": 3}]]}, "+7": 2, "8": [4], "9": 5, "10": 6.5, "0007": 3})");
  EXPECT_EQ(table.size(), 2u);
  ASSERT_NE(table.find(7), nullptr);
  EXPECT_EQ(*table.find(7), 3u);
  ASSERT_NE(table.find(9), nullptr);
  EXPECT_EQ(*table.find(9), 5u);
  EXPECT_EQ(table.find(8), nullptr);
  EXPECT_EQ(table.find(10), nullptr);
  // A rejected later duplicate leaves the earlier entry in place.
  const SetupTable kept = parse_ok(R"({"7": 1, "7": -1})");
  ASSERT_NE(kept.find(7), nullptr);
  EXPECT_EQ(*kept.find(7), 1u);
}

TEST(SetupTableParse, DocumentErrors) {
  struct Case {
    std::string json;
    bool not_object;  // otherwise a parse error
  };
  const Case cases[] = {
      {"[1, 2]", true}, {"7", true}, {"\"x\"", true}, {"null", true},
      {"", false}, {"{", false}, {R"({"7": 1,})", false}, {"{} {}", false},
      {"[1, 2", false}, {R"({"7": 01})", false}, {"{\"\xFF\": 1}", false},
  };
  for (const auto& c : cases) {
    const auto result = parse_setup_table(as_bytes(c.json));
    ASSERT_FALSE(result.has_value()) << c.json;
    if (c.not_object) {
      EXPECT_EQ(result.error().kind, SetupTableError::Kind::NotAnObject) << c.json;
      EXPECT_EQ(result.error().to_string(), "top-level is not an object") << c.json;
    } else {
      EXPECT_EQ(result.error().kind, SetupTableError::Kind::ParseJson) << c.json;
      EXPECT_TRUE(result.error().to_string().starts_with("parse json: ")) << c.json << ": " << result.error().to_string();
      EXPECT_FALSE(result.error().detail.empty()) << c.json;
    }
  }
  EXPECT_TRUE(parse_ok(" {} ").empty());
}

TEST(SetupTableParse, DeepJunkFailsWithoutBuildingADocument) {
  const std::string junk(8u << 20, '[');
  const auto result = parse_setup_table(as_bytes(junk));
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error().kind, SetupTableError::Kind::ParseJson);
}

TEST(SetupTableFile, ReadErrorsAndContent) {
  const auto missing = read_setup_table("/nonexistent-ravelin-dir/wcid_to_setup.json");
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().kind, SetupTableError::Kind::Read);
  EXPECT_TRUE(missing.error().to_string().starts_with("read: ")) << missing.error().to_string();
  EXPECT_FALSE(missing.error().detail.empty());

  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("ravelin_h5_setup_" + std::to_string(::getpid()) + ".json");
  const std::string json = R"({"12": 33554444})";
  ASSERT_TRUE(common::write_whole_file(path, as_bytes(json)).has_value());
  const auto table = read_setup_table(path);
  std::filesystem::remove(path);
  ASSERT_TRUE(table.has_value());
  ASSERT_NE(table->find(12), nullptr);
  EXPECT_EQ(*table->find(12), 33554444u);
}

struct LinesCase {
  const char* name;
  std::string text;
  std::vector<std::uint32_t> wcids;
};

TEST(SpawnLines, WcidRules) {
  const LinesCase cases[] = {
      {"empty", "", {}},
      {"final_line_without_newline", "{\"wcid\": 1}\n{\"wcid\": 2}", {1, 2}},
      {"crlf_and_blank_lines", "{\"wcid\": 1}\r\n\r\n   \n\t{\"wcid\": 2}  \r\n\n", {1, 2}},
      {"unicode_blanks_trimmed", "\xC2\xA0{\"wcid\": 3}\xE3\x80\x80\n", {3}},
      {"fraction_or_exponent_skipped", "{\"wcid\": 7.0}\n{\"wcid\": 7e0}\n{\"wcid\": 8}", {8}},
      {"negative_skipped", "{\"wcid\": -7}\n{\"wcid\": 9}", {9}},
      {"minus_zero_is_zero", "{\"wcid\": -0}", {0}},
      {"not_an_object_skipped", "[{\"wcid\": 1}]\n7\n\"wcid\"\n{\"wcid\": 2}", {2}},
      {"missing_or_nested_key_skipped", "{\"id\": 1}\n{\"a\": {\"wcid\": 4}}\n{}", {}},
      {"non_integer_values_skipped", "{\"wcid\": \"7\"}\n{\"wcid\": true}\n{\"wcid\": null}", {}},
      {"malformed_skipped", "{\"wcid\": 1\n{\"wcid\": 2} x\n{wcid: 3}\n{\"wcid\": 4}", {4}},
      {"low_32_bits", "{\"wcid\": 4294967303}\n{\"wcid\": 18446744073709551615}", {7, 4294967295u}},
      {"beyond_64_bits_skipped", "{\"wcid\": 18446744073709551616}\n{\"wcid\": 5}", {5}},
      {"other_members_ignored", "{\"name\": \"x\", \"pos\": [1.5, -2], \"wcid\": 6, \"z\": {}}", {6}},
      {"last_duplicate_decides", "{\"wcid\": 1, \"wcid\": 2}\n{\"wcid\": 3, \"wcid\": 1.5}", {2}},
      {"escaped_key", "{\"w\\u0063id\": 11}", {11}},
  };
  for (const auto& c : cases) EXPECT_EQ(spawn_wcids(c.text), c.wcids) << c.name;
}

TEST(SpawnLines, SetupIdsInLineOrder) {
  const SetupTable table = parse_ok(R"({"7": 100, "+8": 200, "9": 300})");
  const std::string text = "{\"wcid\": 9}\n{\"wcid\": 1}\n{\"wcid\": 7}\n{\"wcid\": 8}\n{\"wcid\": 9}\n"
                           "{\"wcid\": 4294967303}\n";
  EXPECT_EQ(spawn_setup_ids(text, table), (std::vector<std::uint32_t>{300, 100, 200, 300, 100}));
  EXPECT_TRUE(spawn_setup_ids(text, SetupTable{}).empty());
}

TEST(SpawnLines, MillionGarbageLinesThenOneGoodLine) {
  std::string text;
  for (int i = 0; i < 1000000; ++i) text += (i % 3 == 0) ? "{\"wcid\":\n" : (i % 3 == 1) ? "[[[\n" : "x\n";
  text += "{\"wcid\": 42}";
  EXPECT_EQ(spawn_wcids(text), (std::vector<std::uint32_t>{42}));
}

TEST(SpawnFiles, NameAndTextReading) {
  EXPECT_EQ(spawns_file_name(0xA9B40000), "0xA9B4.spawns.jsonl");
  EXPECT_EQ(spawns_file_name(0x0012FFFF), "0x0012.spawns.jsonl");

  EXPECT_FALSE(read_spawns_text("/nonexistent-ravelin-dir/0xA9B4.spawns.jsonl").has_value());
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("ravelin_h5_spawns_" + std::to_string(::getpid()) + ".jsonl");
  const std::string good = "{\"wcid\": 1, \"name\": \"\xC3\xA9\"}\n";
  ASSERT_TRUE(common::write_whole_file(path, as_bytes(good)).has_value());
  const auto text = read_spawns_text(path);
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, good);
  const std::string bad = "{\"wcid\": 1}\n\xFF\n";
  ASSERT_TRUE(common::write_whole_file(path, as_bytes(bad)).has_value());
  EXPECT_FALSE(read_spawns_text(path).has_value());
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace ravelin::event_bake
