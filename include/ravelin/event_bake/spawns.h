// The spawns-manifest source of placed objects: the setup table that maps
// wcids to setup model ids, and the per-landblock spawns files of JSON lines.
// Both are read through a streaming JSON parser, so hostile input costs time
// linear in its size and never builds a document tree.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/common/id_map.h"

namespace ravelin::event_bake {

using SetupTable = common::IdMap<std::uint32_t, std::uint32_t>;

// Why a setup table could not be used.
struct SetupTableError {
  enum class Kind : std::uint8_t {
    Read,         // the file could not be read; `detail` is the I/O error's text
    ParseJson,    // not JSON; `detail` is the parser's text
    NotAnObject,  // JSON, but its top level is not an object
  };
  Kind kind = Kind::Read;
  std::string detail;

  // "read: {detail}", "parse json: {detail}" or "top-level is not an object".
  std::string to_string() const;
  bool operator==(const SetupTableError&) const = default;
};

// Parses the setup table: one JSON object whose members map a wcid key to a
// setup id. Taken are members whose key is decimal digits with at most one
// leading "+" (no "-", no blanks, not empty) worth at most 4294967295, and whose
// value is a JSON integer 0 to 4294967295 without fraction or exponent; all
// others are skipped, nested values whole. A later member with an equal key
// replaces the earlier one. Errors: ParseJson, NotAnObject.
std::expected<SetupTable, SetupTableError> parse_setup_table(std::span<const std::uint8_t> bytes);

// Reads and parses the setup table file; a failed read is Read.
std::expected<SetupTable, SetupTableError> read_setup_table(const std::filesystem::path& path);

// "0x{:04X}.spawns.jsonl" with the landblock number (high 16 bits of the id).
std::string spawns_file_name(std::uint32_t landblock_id);

// The spawns file as text, or nothing when it cannot be read or is not UTF-8.
std::optional<std::string> read_spawns_text(const std::filesystem::path& path);

// The wcid of every usable spawns line, in line order. Lines end at "\n" (a
// final line without one counts, a "\r" before it is dropped); each is trimmed
// of white space, skipped when empty, and parsed as one JSON document. A line
// counts when it is an object whose "wcid" member is an integer from 0 upward
// without fraction or exponent, at most 64 bits wide; the wcid is its low 32
// bits. With duplicate "wcid" members the last one decides, as a look-up in
// the parsed object would.
std::vector<std::uint32_t> spawn_wcids(std::string_view text);

// The setup id mapped to each usable line's wcid, in line order; lines whose
// wcid the table lacks are skipped.
std::vector<std::uint32_t> spawn_setup_ids(std::string_view text, const SetupTable& table);

}  // namespace ravelin::event_bake
