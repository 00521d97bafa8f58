// The file-id scheme of the two archives, in one place: the archive file
// names, the region read by default, the id ranges told apart by the top byte,
// and the ids of a landblock's two records in the cell archive.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace ravelin::dat {

// File names of the two archives inside a DAT directory.
inline constexpr std::string_view kPortalArchiveName = "client_portal.dat";
inline constexpr std::string_view kCellArchiveName = "client_cell_1.dat";

// The region file of the portal archive that a bake reads unless told otherwise.
inline constexpr std::uint32_t kDefaultRegionId = 0x13000000;

// Top bytes of the portal archive's record ranges.
inline constexpr std::uint32_t kSetupModelTopByte = 0x02;
inline constexpr std::uint32_t kAnimationTopByte = 0x03;
inline constexpr std::uint32_t kMotionTableTopByte = 0x09;
inline constexpr std::uint32_t kRegionTopByte = 0x13;
inline constexpr std::uint32_t kPhysicsScriptTopByte = 0x33;

constexpr std::uint32_t top_byte(std::uint32_t id) { return id >> 24; }
// Setup models: 0x02000000 to 0x02FFFFFF.
constexpr bool is_setup_model_id(std::uint32_t id) { return top_byte(id) == kSetupModelTopByte; }
// Physics scripts: 0x33000000 to 0x33FFFFFF.
constexpr bool is_physics_script_id(std::uint32_t id) { return top_byte(id) == kPhysicsScriptTopByte; }

// A landblock id carries the landblock number in its high 16 bits
// (0xA9B40000 for landblock 0xA9B4); the low half is ignored by every id
// derived from it.
constexpr std::uint32_t landblock_number(std::uint32_t landblock_id) { return landblock_id >> 16; }
// The landblock id a cell-archive file id belongs to.
constexpr std::uint32_t landblock_id_of(std::uint32_t file_id) { return file_id & 0xFFFF0000u; }
// A landblock given as its number (up to 0xFFFF, e.g. 0xA9B4) or as a whole
// landblock id (0xA9B40000): the id with the number in the high 16 bits.
// Nothing for a value above 0xFFFF whose low half is not zero (0x1FFFF), which
// is neither.
constexpr std::optional<std::uint32_t> landblock_id_from(std::uint32_t value) {
  if (value <= 0xFFFF) return value << 16;
  if ((value & 0xFFFFu) == 0) return value;
  return std::nullopt;
}

// A landblock as people type it: a number or whole id, decimal or 0x
// hexadecimal. The error says what is wrong with `text`: "not a 32-bit
// landblock: TEXT", with "(hexadecimal needs 0x: 0xA9B4)" when the text is
// hexadecimal digits without the prefix; or "not a landblock: TEXT (a number up
// to 0xFFFF or a whole id 0xLLLL0000)".
std::expected<std::uint32_t, std::string> parse_landblock(std::string_view text);

// The CellLandblock (terrain words and heights): the low half set to 0xFFFF.
constexpr std::uint32_t cell_landblock_file_id(std::uint32_t landblock_id) { return landblock_id | 0x0000FFFFu; }
// The LandblockInfo (placed objects): the low half replaced by 0xFFFE.
constexpr std::uint32_t landblock_info_file_id(std::uint32_t landblock_id) {
  return landblock_id_of(landblock_id) | 0x0000FFFEu;
}
constexpr bool is_cell_landblock_file_id(std::uint32_t id) { return (id & 0xFFFFu) == 0xFFFFu; }
constexpr bool is_landblock_info_file_id(std::uint32_t id) { return (id & 0xFFFFu) == 0xFFFEu; }

}  // namespace ravelin::dat
