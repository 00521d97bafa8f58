// A record document read back: the JSON text parsed once into a flat tree
// (numbers keep their text, so a 32-bit float is read from its digits, not
// through a double), and typed readers that fail with the JSON Pointer of the
// value and what was expected there. Nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dat/file_type/record_encoder_bytes.h"
#include "ravelin/dat/file_type/record_encoder.h"

namespace ravelin::dat {

using file_type::RecordPath;
using file_type::RecordResult;

// What the readers expect, as their errors say it.
namespace expect {
inline constexpr std::string_view kU32 = "an unsigned 32-bit integer";
inline constexpr std::string_view kI32 = "a signed 32-bit integer";
inline constexpr std::string_view kU16 = "an unsigned 16-bit integer";
inline constexpr std::string_view kU8 = "an unsigned 8-bit integer";
inline constexpr std::string_view kHexWord = "a 32-bit word: \"0x\" and 1 to 8 hex digits";
inline constexpr std::string_view kHexWord64 = "a 64-bit word: \"0x\" and 1 to 16 hex digits";
inline constexpr std::string_view kF32 = "a 32-bit float: a number, \"NaN\", \"inf\" or \"-inf\"";
inline constexpr std::string_view kF64 = "a 64-bit float: a number, \"NaN\", \"inf\" or \"-inf\"";
inline constexpr std::string_view kText = "a string";
inline constexpr std::string_view kHexBytes = "bytes as a string of hex digit pairs";
inline constexpr std::string_view kBoolean = "true or false";
inline constexpr std::string_view kObject = "an object";
inline constexpr std::string_view kArray = "an array";
}  // namespace expect

class JsonValue;
class JsonObject;
class JsonArray;

class JsonDocument {
 public:
  // A syntax error (or a text of 2 GiB or more) is an error of the document.
  static RecordResult<JsonDocument> parse(std::string_view text);
  // The whole document, at the path "".
  JsonValue root(const RecordPath& path) const;

  enum class Kind : std::uint8_t { Null, Boolean, Unsigned, Integer, Float, String, Array, Object };
  struct Node {
    Kind kind = Kind::Null;
    bool has_key = false;
    bool boolean = false;
    std::uint32_t end = 0;       // the index after this node's subtree
    std::uint32_t children = 0;  // of an array or object
    std::uint32_t key_at = 0, key_size = 0;    // in text_, for a member of an object
    std::uint32_t text_at = 0, text_size = 0;  // in text_, for strings and floats
    std::uint64_t unsigned_value = 0;
    std::int64_t integer_value = 0;
  };

 private:
  friend class JsonValue;
  friend class JsonObject;
  friend class JsonArray;
  friend struct DocumentBuilder;

  std::string_view text_of(std::uint32_t at, std::uint32_t size) const { return std::string_view(text_).substr(at, size); }
  std::string_view key_of(std::uint32_t node) const { return text_of(nodes_[node].key_at, nodes_[node].key_size); }

  std::vector<Node> nodes_;
  std::string text_;
  // The members a reader has asked for, by node (JsonObject::finish names the
  // first one no lookup named).
  mutable std::vector<bool> asked_;
};

// One value of a document and where it is.
class JsonValue {
 public:
  JsonValue(const JsonDocument& doc, std::uint32_t index, const RecordPath& path)
      : doc_(&doc), index_(index), path_(path) {}

  const RecordPath& path() const { return path_; }
  bool is_null() const { return node().kind == JsonDocument::Kind::Null; }

  RecordResult<std::uint32_t> u32() const;
  RecordResult<std::int32_t> i32() const;
  RecordResult<std::uint16_t> u16() const;
  RecordResult<std::uint8_t> u8() const;
  RecordResult<bool> boolean() const;
  RecordResult<std::uint32_t> hex_word() const;
  RecordResult<std::uint64_t> hex_word64() const;
  RecordResult<float> f32() const;
  RecordResult<double> f64() const;
  RecordResult<std::string_view> text() const;
  RecordResult<file_type::Bytes> hex_bytes() const;
  RecordResult<JsonObject> object() const;
  RecordResult<JsonArray> array() const;

  // "expected {what}" at this value.
  std::unexpected<file_type::RecordError> fail(std::string_view what) const;

 private:
  const JsonDocument::Node& node() const { return doc_->nodes_[index_]; }
  RecordResult<std::uint64_t> unsigned_in(std::uint64_t max, std::string_view what) const;

  const JsonDocument* doc_;
  std::uint32_t index_;
  RecordPath path_;
};

// An object's members. Every member must be asked for: finish() fails at the
// first one no lookup named. The object must outlive the values it hands out
// (their paths point into it).
class JsonObject {
 public:
  JsonObject() = default;
  JsonObject(const JsonDocument& doc, std::uint32_t index, const RecordPath& path)
      : doc_(&doc), index_(index), path_(path) {}

  const RecordPath& path() const { return path_; }
  // The member `name`, failing "missing member, expected {what}" when absent.
  RecordResult<JsonValue> required(std::string_view name, std::string_view what);
  // The member named `name` + `suffix`, or nothing when absent.
  RecordResult<std::optional<JsonValue>> optional(std::string_view name, std::string_view suffix = {});
  // Fails "unknown member" at the first member no lookup named.
  RecordResult<void> finish() const;

 private:
  const JsonDocument* doc_ = nullptr;
  std::uint32_t index_ = 0;
  RecordPath path_;
};

// An array's elements, each at its index, walked in order.
class JsonArray {
 public:
  JsonArray() = default;
  JsonArray(const JsonDocument& doc, std::uint32_t index, const RecordPath& path)
      : doc_(&doc), index_(index), path_(path) {}

  const RecordPath& path() const { return path_; }
  std::size_t size() const { return doc_->nodes_[index_].children; }

  // The elements in order: `for (JsonArray::Cursor c = a.first(); c; c.next()) c.value()`.
  class Cursor {
   public:
    explicit operator bool() const { return at_ < array_->size(); }
    void next() {
      node_ = array_->doc_->nodes_[node_].end;
      ++at_;
    }
    std::size_t index() const { return at_; }
    JsonValue value() const { return JsonValue(*array_->doc_, node_, RecordPath(array_->path_, at_)); }

   private:
    friend class JsonArray;
    Cursor(const JsonArray& array, std::uint32_t node) : array_(&array), node_(node) {}
    const JsonArray* array_;
    std::uint32_t node_;
    std::size_t at_ = 0;
  };
  Cursor first() const { return Cursor(*this, index_ + 1); }

 private:
  const JsonDocument* doc_ = nullptr;
  std::uint32_t index_ = 0;
  RecordPath path_;
};

}  // namespace ravelin::dat
