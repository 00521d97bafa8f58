// What extract writes and pack reads: the names inside a folder and the two
// descriptions' texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ravelin/common/file_system.h"
#include "ravelin/dat/lib.h"

namespace ravelin::dat::folder {

inline constexpr std::string_view kFilesDir = "files";
inline constexpr std::string_view kIndexName = "index.jsonl";
inline constexpr std::string_view kHeaderName = "header.json";

// "0x" and eight upper-case hex digits: the file's name under files/ and its
// id in index.jsonl.
std::string file_name(std::uint32_t id);
// The id of a name file_name gives, or nothing.
std::optional<std::uint32_t> id_of_name(std::string_view name);

// One line of index.jsonl, its newline included.
std::string index_line(const DatFileEntry& entry);
// header.json: every header field in stored order under its name (hex fields
// as "0x" texts, the rest as numbers, version_string as 32 hex digits), then
// "stored".
std::string header_text(const DatHeader& header, bool stored);

}  // namespace ravelin::dat::folder
