#include "ravelin/event_bake/spawns.h"

#include <nlohmann/json.hpp>

#include <array>

#include "common/debug_format.h"
#include "ravelin/common/file.h"

namespace ravelin::event_bake {
namespace {

using Json = nlohmann::json;

// SAX handler that reports the members of a top-level object to `Derived`:
// `on_key(key)` then `on_value(integer)`, where `integer` holds the value when
// it is a JSON integer from 0 to 2^64 - 1 and is empty for anything else
// (negative, fraction, exponent, too wide, non-number, nested container).
// Values nested deeper are skipped. Nothing is stored but the nesting depth.
template <class Derived>
class TopLevelMembers {
 public:
  bool null() { return value({}); }
  bool boolean(bool) { return value({}); }
  // Only a number written with "-" arrives here; "-0" is still the integer 0.
  bool number_integer(Json::number_integer_t v) {
    return value(v == 0 ? std::optional<std::uint64_t>(0) : std::nullopt);
  }
  bool number_unsigned(Json::number_unsigned_t v) { return value(v); }
  // Numbers with a fraction or exponent, and integers too wide for 64 bits
  // (those have no '.', 'e' or 'E' in the lexeme): none is ever taken.
  bool number_float(Json::number_float_t, const Json::string_t&) { return value({}); }
  bool string(Json::string_t&) { return value({}); }
  bool binary(Json::binary_t&) { return value({}); }
  bool start_object(std::size_t) {
    if (depth_ == 0) top_is_object_ = true;
    value({});
    ++depth_;
    return true;
  }
  bool key(Json::string_t& key) {
    if (depth_ == 1) static_cast<Derived*>(this)->on_key(key);
    return true;
  }
  bool end_object() {
    --depth_;
    return true;
  }
  bool start_array(std::size_t) {
    value({});
    ++depth_;
    return true;
  }
  bool end_array() {
    --depth_;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const Json::exception& error) {
    error_ = error.what();
    return false;  // stop without throwing
  }

  bool top_is_object() const { return top_is_object_; }
  const std::string& error() const { return error_; }

 private:
  bool value(std::optional<std::uint64_t> integer) {
    if (depth_ == 1) static_cast<Derived*>(this)->on_value(integer);
    return true;
  }

  std::size_t depth_ = 0;
  bool top_is_object_ = false;
  std::string error_;
};

// Digits only, one optional leading "+", value at most 4294967295.
std::optional<std::uint32_t> parse_wcid_key(std::string_view key) {
  if (!key.empty() && key.front() == '+') key.remove_prefix(1);
  if (key.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : key) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

class SetupTableHandler : public TopLevelMembers<SetupTableHandler> {
 public:
  void on_key(std::string_view key) { pending_key_ = parse_wcid_key(key); }
  void on_value(std::optional<std::uint64_t> value) {
    if (pending_key_ && value && *value <= 0xFFFFFFFFu)
      table_.insert_or_assign(*pending_key_, static_cast<std::uint32_t>(*value));
    pending_key_.reset();
  }
  SetupTable take_table() { return std::move(table_); }

 private:
  std::optional<std::uint32_t> pending_key_;
  SetupTable table_;
};

class SpawnLineHandler : public TopLevelMembers<SpawnLineHandler> {
 public:
  void on_key(std::string_view key) { pending_is_wcid_ = key == "wcid"; }
  void on_value(std::optional<std::uint64_t> value) {
    if (pending_is_wcid_) wcid_ = value;  // the last "wcid" member decides
    pending_is_wcid_ = false;
  }
  std::optional<std::uint64_t> wcid() const { return wcid_; }

 private:
  bool pending_is_wcid_ = false;
  std::optional<std::uint64_t> wcid_;
};

// Byte length of the white-space character that starts (or, with
// `at_end`, ends) `text`, or 0. Covers the Unicode White_Space set.
std::size_t white_space_length(std::string_view text, bool at_end) {
  static constexpr std::array<std::string_view, 25> kSpaces = {
      "\t", "\n", "\v", "\f", "\r", " ", "\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80",
      "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84",
      "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89",
      "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
      "\xE3\x80\x80"};
  for (const std::string_view space : kSpaces) {
    if (at_end ? text.ends_with(space) : text.starts_with(space)) return space.size();
  }
  return 0;
}

std::string_view trim_white_space(std::string_view text) {
  while (const std::size_t n = white_space_length(text, false)) text.remove_prefix(n);
  while (const std::size_t n = white_space_length(text, true)) text.remove_suffix(n);
  return text;
}

std::optional<std::uint32_t> line_wcid(std::string_view line) {
  SpawnLineHandler handler;
  if (!Json::sax_parse(line.data(), line.data() + line.size(), &handler)) return std::nullopt;
  if (!handler.top_is_object() || !handler.wcid()) return std::nullopt;
  return static_cast<std::uint32_t>(*handler.wcid() & 0xFFFFFFFFu);
}

}  // namespace

std::string SetupTableError::to_string() const {
  switch (kind) {
    case Kind::Read: return "read: " + detail;
    case Kind::ParseJson: return "parse json: " + detail;
    case Kind::NotAnObject: return "top-level is not an object";
  }
  return detail;
}

std::expected<SetupTable, SetupTableError> parse_setup_table(std::span<const std::uint8_t> bytes) {
  using Kind = SetupTableError::Kind;
  SetupTableHandler handler;
  const auto* first = reinterpret_cast<const char*>(bytes.data());
  if (!Json::sax_parse(first, first + bytes.size(), &handler))
    return std::unexpected(SetupTableError{Kind::ParseJson, handler.error()});
  if (!handler.top_is_object()) return std::unexpected(SetupTableError{Kind::NotAnObject, {}});
  return handler.take_table();
}

std::expected<SetupTable, SetupTableError> read_setup_table(const std::filesystem::path& path) {
  auto bytes = common::read_whole_file(path);
  if (!bytes) return std::unexpected(SetupTableError{SetupTableError::Kind::Read, bytes.error().to_string()});
  return parse_setup_table(*bytes);
}

std::string spawns_file_name(std::uint32_t landblock_id) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const std::uint32_t number = landblock_id >> 16;
  std::string name = "0x";
  for (int shift = 12; shift >= 0; shift -= 4) name += kDigits[(number >> shift) & 0xF];
  return name + ".spawns.jsonl";
}

std::optional<std::string> read_spawns_text(const std::filesystem::path& path) {
  auto bytes = common::read_whole_file(path);
  if (!bytes) return std::nullopt;
  std::string text(bytes->begin(), bytes->end());
  // Sanitising changes exactly the texts that are not valid UTF-8.
  if (common::sanitize_utf8(text) != text) return std::nullopt;
  return text;
}

std::vector<std::uint32_t> spawn_wcids(std::string_view text) {
  std::vector<std::uint32_t> wcids;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    line = trim_white_space(line);
    if (line.empty()) continue;
    if (const auto wcid = line_wcid(line)) wcids.push_back(*wcid);
  }
  return wcids;
}

std::vector<std::uint32_t> spawn_setup_ids(std::string_view text, const SetupTable& table) {
  std::vector<std::uint32_t> setup_ids;
  if (table.empty()) return setup_ids;
  for (const std::uint32_t wcid : spawn_wcids(text)) {
    if (const std::uint32_t* setup = table.find(wcid)) setup_ids.push_back(*setup);
  }
  return setup_ids;
}

}  // namespace ravelin::event_bake
