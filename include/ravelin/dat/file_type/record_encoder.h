// What the record encoders share: their error (a JSON Pointer into the
// record's document and what was expected there), keyed entries in stored
// order, texts and skipped bytes kept as stored, and the hook payload layout.
//
// The stored records (StoredRegion, StoredSetupModel, ...) hold everything a
// file holds, byte for byte: the bake's records fold some of it away (repeated
// map keys, masked flag bits, padding, trailing bytes). Each type has a decoder
// (`read`) and an encoder (`encode_*`); an encoder either fails or returns
// bytes whose decoding is the record it was given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/dat/file_type/setup_model.h"

namespace ravelin::dat::file_type {

// One error of a record document or a stored record: where (a JSON Pointer
// into the record's JSON document, "" for the document itself) and what was
// expected there.
struct RecordError {
  std::string pointer;
  std::string message;

  // "/frames/2/hooks/0/hook_type: expected an unsigned 32-bit integer"; an
  // error of the whole document reads "document: ...".
  std::string to_string() const;
  bool operator==(const RecordError&) const = default;
};

template <class T>
using RecordResult = std::expected<T, RecordError>;

using Bytes = std::vector<std::uint8_t>;

// An entry of a map as stored: the file's order and its repeated keys are kept
// (the bake's maps keep only the last value of a key).
template <class Key, class Value>
struct Keyed {
  Key key{};
  Value value{};

  bool operator==(const Keyed&) const = default;
};

// Bytes a decoder skips without reading (alignment, padding). Absent: zeros,
// as many as the position needs. Present: exactly these bytes, which may be
// fewer than needed only where the record ends with them.
using SkippedBytes = std::optional<Bytes>;

// True when `skipped` stands for `needed` zero bytes, as an absent value does.
bool is_plain_padding(const SkippedBytes& skipped, std::size_t needed);

// A text as stored: the bytes after its 2-byte length (decoded as
// windows-1252, or by a byte-order mark) and the alignment bytes after it.
struct StoredText {
  std::string bytes;
  SkippedBytes padding;

  bool operator==(const StoredText&) const = default;
};

// The UTF-8 text the stored bytes decode to.
std::string decoded_text(std::string_view bytes);
// The bytes a text is stored as: windows-1252 when every character has a byte
// there and the bytes do not begin like a byte-order mark, otherwise the UTF-8
// byte-order mark and UTF-8. decoded_text gives the text back (for valid UTF-8).
std::string encoded_text(std::string_view utf8);
// True when encoded_text(decoded_text(bytes)) == bytes: the text alone carries
// the bytes.
bool text_gives_back(std::string_view bytes);

// Bytes of padding after a text that starts 4-aligned: its 2-byte length and
// `length` bytes, up to a multiple of 4.
constexpr std::size_t text_padding_size(std::size_t length) { return (4 - (2 + length) % 4) % 4; }

// Stored payload bytes of a hook of `type` before its padding; for type 5 (a
// byte, a word, and a second word when the first has its top bit) the short
// form's 3. Nothing for types above 26.
std::optional<std::size_t> hook_payload_size(std::uint32_t type);
// Stored payload bytes of `hook` before its padding: for type 5 3 or 5, read
// from its word's top bit (nothing when the payload is too short to hold it).
std::optional<std::size_t> stored_payload_size(const AnimationHook& hook);
// Padding after a stored payload of `size` bytes (the hook's two words come
// first, so the whole hook ends on a multiple of 4).
constexpr std::size_t hook_padding_size(std::size_t size) { return (4 - size % 4) % 4; }

}  // namespace ravelin::dat::file_type
