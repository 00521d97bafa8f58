#include "dat/record_json_value.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <limits>
#include <nlohmann/json.hpp>
#include <system_error>

namespace ravelin::dat {

using file_type::RecordError;

// Builds the flat tree from the parser's events. nlohmann's parser reports a
// syntax error through parse_error (an exception object is made, never thrown).
struct DocumentBuilder : nlohmann::json_sax<nlohmann::json> {
  using Kind = JsonDocument::Kind;

  JsonDocument doc;
  std::vector<std::uint32_t> open;  // the containers not yet closed
  std::optional<std::pair<std::uint32_t, std::uint32_t>> pending_key;
  std::string error;

  std::uint32_t append_text(std::string_view text) {
    const auto at = static_cast<std::uint32_t>(doc.text_.size());
    doc.text_ += text;
    return at;
  }

  JsonDocument::Node& add(Kind kind) {
    if (!open.empty()) ++doc.nodes_[open.back()].children;
    JsonDocument::Node& node = doc.nodes_.emplace_back();
    node.kind = kind;
    node.end = static_cast<std::uint32_t>(doc.nodes_.size());
    if (pending_key) {
      node.has_key = true;
      node.key_at = pending_key->first;
      node.key_size = pending_key->second;
      pending_key.reset();
    }
    return node;
  }

  bool null() override {
    add(Kind::Null);
    return true;
  }
  bool boolean(bool value) override {
    add(Kind::Boolean).boolean = value;
    return true;
  }
  bool number_integer(number_integer_t value) override {
    add(Kind::Integer).integer_value = value;
    return true;
  }
  bool number_unsigned(number_unsigned_t value) override {
    add(Kind::Unsigned).unsigned_value = value;
    return true;
  }
  bool number_float(number_float_t, const string_t& text) override {
    const auto at = append_text(text);
    JsonDocument::Node& node = add(Kind::Float);
    node.text_at = at;
    node.text_size = static_cast<std::uint32_t>(text.size());
    return true;
  }
  bool string(string_t& value) override {
    const auto at = append_text(value);
    JsonDocument::Node& node = add(Kind::String);
    node.text_at = at;
    node.text_size = static_cast<std::uint32_t>(value.size());
    return true;
  }
  bool binary(binary_t&) override { return false; }  // not in JSON text
  bool start_object(std::size_t) override { return start(Kind::Object); }
  bool key(string_t& name) override {
    pending_key = std::pair{append_text(name), static_cast<std::uint32_t>(name.size())};
    return true;
  }
  bool end_object() override { return finish_container(); }
  bool start_array(std::size_t) override { return start(Kind::Array); }
  bool end_array() override { return finish_container(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
    // "[json.exception.parse_error.101] parse error at line 1, column 2: ..."
    std::string_view text = e.what();
    if (const auto close = text.find("] "); text.starts_with('[') && close != std::string_view::npos)
      text.remove_prefix(close + 2);
    error = "invalid JSON: " + std::string(text);
    return false;
  }

  bool start(Kind kind) {
    const auto index = static_cast<std::uint32_t>(doc.nodes_.size());
    add(kind);
    open.push_back(index);
    return true;
  }
  bool finish_container() {
    doc.nodes_[open.back()].end = static_cast<std::uint32_t>(doc.nodes_.size());
    open.pop_back();
    return true;
  }
};

RecordResult<JsonDocument> JsonDocument::parse(std::string_view text) {
  if (text.size() >= 0x80000000u) return std::unexpected(RecordError{"", "expected a text shorter than 2 GiB"});
  DocumentBuilder builder;
  builder.doc.text_.reserve(text.size() / 2);
  builder.doc.nodes_.reserve(text.size() / 8);
  if (!nlohmann::json::sax_parse(text.begin(), text.end(), &builder))
    return std::unexpected(RecordError{"", builder.error.empty() ? std::string("invalid JSON") : builder.error});
  builder.doc.asked_.assign(builder.doc.nodes_.size(), false);
  return std::move(builder.doc);
}

JsonValue JsonDocument::root(const RecordPath& path) const { return JsonValue(*this, 0, path); }

// --- values ---------------------------------------------------------------------

namespace {

std::optional<std::uint64_t> parse_hex(std::string_view text, std::size_t max_digits) {
  if (!text.starts_with("0x") || text.size() < 3 || text.size() > 2 + max_digits) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data() + 2, text.data() + text.size(), value, 16);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A JSON number's digits as the nearest Float. strtof/strtod rather than
// std::from_chars: not every C++ library this builds with has the floating
// point overloads, and both round correctly (the "C" locale's decimal point,
// which the libraries never change).
template <class Float>
std::optional<Float> parse_decimal(std::string_view text) {
  char buffer[64];
  if (text.empty() || text.size() >= sizeof buffer) return std::nullopt;
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  char* end = nullptr;
  errno = 0;
  const Float value = std::is_same_v<Float, float> ? static_cast<Float>(std::strtof(buffer, &end))
                                                   : static_cast<Float>(std::strtod(buffer, &end));
  // ERANGE also comes with a subnormal result, which is a value like any
  // other; a number beyond the type's range either way is not.
  if (end != buffer + text.size() || (errno == ERANGE && (std::isinf(value) || value == 0))) return std::nullopt;
  return value;
}

// A float from a number's digits, or from the texts JsonWriter writes for
// the values JSON numbers cannot hold.
template <class Float>
std::optional<Float> parse_float(const JsonDocument::Node& node, std::string_view text) {
  using Kind = JsonDocument::Kind;
  switch (node.kind) {
    case Kind::Unsigned: return static_cast<Float>(node.unsigned_value);
    case Kind::Integer: return static_cast<Float>(node.integer_value);
    case Kind::Float: return parse_decimal<Float>(text);
    case Kind::String:
      if (text == "NaN") return std::numeric_limits<Float>::quiet_NaN();
      if (text == "inf") return std::numeric_limits<Float>::infinity();
      if (text == "-inf") return -std::numeric_limits<Float>::infinity();
      return std::nullopt;
    default: return std::nullopt;
  }
}

}  // namespace

std::unexpected<RecordError> JsonValue::fail(std::string_view what) const {
  return path_.fail("expected " + std::string(what));
}

RecordResult<std::uint64_t> JsonValue::unsigned_in(std::uint64_t max, std::string_view what) const {
  const auto& n = node();
  if (n.kind == JsonDocument::Kind::Unsigned && n.unsigned_value <= max) return n.unsigned_value;
  if (n.kind == JsonDocument::Kind::Integer && n.integer_value >= 0 &&
      static_cast<std::uint64_t>(n.integer_value) <= max)
    return static_cast<std::uint64_t>(n.integer_value);
  return fail(what);
}

RecordResult<std::uint32_t> JsonValue::u32() const {
  auto v = unsigned_in(0xFFFFFFFF, expect::kU32);
  if (!v) return std::unexpected(v.error());
  return static_cast<std::uint32_t>(*v);
}

RecordResult<std::uint16_t> JsonValue::u16() const {
  auto v = unsigned_in(0xFFFF, expect::kU16);
  if (!v) return std::unexpected(v.error());
  return static_cast<std::uint16_t>(*v);
}

RecordResult<std::uint8_t> JsonValue::u8() const {
  auto v = unsigned_in(0xFF, expect::kU8);
  if (!v) return std::unexpected(v.error());
  return static_cast<std::uint8_t>(*v);
}

RecordResult<std::int32_t> JsonValue::i32() const {
  const auto& n = node();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  if (n.kind == JsonDocument::Kind::Integer && n.integer_value >= kMin && n.integer_value <= kMax)
    return static_cast<std::int32_t>(n.integer_value);
  if (n.kind == JsonDocument::Kind::Unsigned && n.unsigned_value <= static_cast<std::uint64_t>(kMax))
    return static_cast<std::int32_t>(n.unsigned_value);
  return fail(expect::kI32);
}

RecordResult<bool> JsonValue::boolean() const {
  if (node().kind != JsonDocument::Kind::Boolean) return fail(expect::kBoolean);
  return node().boolean;
}

RecordResult<std::uint32_t> JsonValue::hex_word() const {
  const auto& n = node();
  if (n.kind == JsonDocument::Kind::String)
    if (const auto value = parse_hex(doc_->text_of(n.text_at, n.text_size), 8))
      return static_cast<std::uint32_t>(*value);
  return fail(expect::kHexWord);
}

RecordResult<std::uint64_t> JsonValue::hex_word64() const {
  const auto& n = node();
  if (n.kind == JsonDocument::Kind::String)
    if (const auto value = parse_hex(doc_->text_of(n.text_at, n.text_size), 16)) return *value;
  return fail(expect::kHexWord64);
}

RecordResult<float> JsonValue::f32() const {
  const auto& n = node();
  if (const auto value = parse_float<float>(n, doc_->text_of(n.text_at, n.text_size))) return *value;
  return fail(expect::kF32);
}

RecordResult<double> JsonValue::f64() const {
  const auto& n = node();
  if (const auto value = parse_float<double>(n, doc_->text_of(n.text_at, n.text_size))) return *value;
  return fail(expect::kF64);
}

RecordResult<std::string_view> JsonValue::text() const {
  const auto& n = node();
  if (n.kind != JsonDocument::Kind::String) return fail(expect::kText);
  return doc_->text_of(n.text_at, n.text_size);
}

RecordResult<file_type::Bytes> JsonValue::hex_bytes() const {
  const auto& n = node();
  if (n.kind != JsonDocument::Kind::String || n.text_size % 2 != 0) return fail(expect::kHexBytes);
  const std::string_view text = doc_->text_of(n.text_at, n.text_size);
  file_type::Bytes out(text.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int high = hex_digit(text[2 * i]), low = hex_digit(text[2 * i + 1]);
    if (high < 0 || low < 0) return fail(expect::kHexBytes);
    out[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return out;
}

RecordResult<JsonObject> JsonValue::object() const {
  if (node().kind != JsonDocument::Kind::Object) return fail(expect::kObject);
  return JsonObject(*doc_, index_, path_);
}

RecordResult<JsonArray> JsonValue::array() const {
  if (node().kind != JsonDocument::Kind::Array) return fail(expect::kArray);
  return JsonArray(*doc_, index_, path_);
}

// --- containers -----------------------------------------------------------------------

RecordResult<std::optional<JsonValue>> JsonObject::optional(std::string_view name, std::string_view suffix) {
  const auto& nodes = doc_->nodes_;
  std::optional<std::uint32_t> found;
  for (std::uint32_t child = index_ + 1; child < nodes[index_].end; child = nodes[child].end) {
    const std::string_view key = doc_->key_of(child);
    if (key.size() != name.size() + suffix.size() || !key.starts_with(name) || !key.ends_with(suffix)) continue;
    if (found) return RecordPath(path_, key).fail("duplicate member");
    found = child;
  }
  if (!found) return std::optional<JsonValue>();
  doc_->asked_[*found] = true;
  return JsonValue(*doc_, *found, RecordPath(path_, doc_->key_of(*found)));
}

RecordResult<JsonValue> JsonObject::required(std::string_view name, std::string_view what) {
  auto member = optional(name);
  if (!member) return std::unexpected(member.error());
  if (!*member) return RecordPath(path_, name).fail("missing member, expected " + std::string(what));
  return **member;
}

RecordResult<void> JsonObject::finish() const {
  const auto& nodes = doc_->nodes_;
  for (std::uint32_t child = index_ + 1; child < nodes[index_].end; child = nodes[child].end)
    if (!doc_->asked_[child]) return RecordPath(path_, doc_->key_of(child)).fail("unknown member");
  return {};
}

}  // namespace ravelin::dat
