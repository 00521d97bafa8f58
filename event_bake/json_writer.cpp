#include "ravelin/event_bake/json_writer.h"

#include <cmath>

#include "ravelin/event_bake/number_format.h"

namespace ravelin::event_bake {

void JsonWriter::new_line() {
  out_ += '\n';
  out_.append(levels_.size() * 2, ' ');
}

void JsonWriter::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (levels_.empty()) return;
  Level& level = levels_.back();
  if (!level.empty) out_ += ',';
  if (!compact_) {
    if (!level.inline_elements) {
      new_line();
    } else if (!level.empty) {
      out_ += ' ';
    }
  }
  level.empty = false;
}

void JsonWriter::open(char bracket, bool inline_elements) {
  before_value();
  out_ += bracket;
  levels_.push_back({inline_elements, true});
}

void JsonWriter::close(char bracket) {
  const Level level = levels_.back();
  levels_.pop_back();
  if (!compact_ && !level.empty && !level.inline_elements) new_line();
  out_ += bracket;
}

void JsonWriter::begin_object() { open('{', false); }
void JsonWriter::end_object() { close('}'); }
void JsonWriter::begin_array(bool inline_elements) { open('[', inline_elements); }
void JsonWriter::end_array() { close(']'); }

JsonWriter& JsonWriter::key(std::string_view name) {
  before_value();
  raw_string(name);
  out_ += compact_ ? ":" : ": ";
  after_key_ = true;
  return *this;
}

void JsonWriter::null() {
  before_value();
  out_ += "null";
}

void JsonWriter::boolean(bool value) {
  before_value();
  out_ += value ? "true" : "false";
}

void JsonWriter::number(std::uint64_t value) {
  before_value();
  append_decimal(out_, value);
}

void JsonWriter::signed_number(std::int64_t value) {
  before_value();
  if (value < 0) out_ += '-';
  // Negated as unsigned so that the most negative value has a magnitude too.
  append_decimal(out_, value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value));
}

void JsonWriter::f32(float value) {
  if (!std::isfinite(value)) return text(format_shortest_f32(value));
  before_value();
  out_ += format_shortest_f32(value);
}

void JsonWriter::f64(double value) {
  if (!std::isfinite(value)) return text(format_shortest_f64(value));
  before_value();
  out_ += format_shortest_f64(value);
}

void JsonWriter::hex_word(std::uint32_t value) {
  before_value();
  out_ += '"';
  append_hex_id(out_, value);
  out_ += '"';
}

void JsonWriter::hex_bytes(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  before_value();
  out_ += '"';
  for (const std::uint8_t b : bytes) {
    out_ += kDigits[b >> 4];
    out_ += kDigits[b & 0xF];
  }
  out_ += '"';
}

void JsonWriter::text(std::string_view value) {
  before_value();
  raw_string(value);
}

void JsonWriter::raw_string(std::string_view content) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const auto escape = [this](unsigned code) {
    out_ += "\\u00";
    out_ += kDigits[code >> 4];
    out_ += kDigits[code & 0xF];
  };
  out_ += '"';
  for (std::size_t i = 0; i < content.size(); ++i) {
    const auto byte = static_cast<unsigned char>(content[i]);
    switch (byte) {
      case '"': out_ += "\\\""; continue;
      case '\\': out_ += "\\\\"; continue;
      case '\n': out_ += "\\n"; continue;
      case '\r': out_ += "\\r"; continue;
      case '\t': out_ += "\\t"; continue;
      default: break;
    }
    if (byte < 0x20 || byte == 0x7F) {
      escape(byte);
    } else if (byte == 0xC2 && i + 1 < content.size() && static_cast<unsigned char>(content[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(content[i + 1]) <= 0x9F) {
      // U+0080 to U+009F, the C1 controls, are two bytes in UTF-8.
      escape(static_cast<unsigned char>(content[++i]));
    } else {
      out_ += content[i];
    }
  }
  out_ += '"';
}

}  // namespace ravelin::event_bake
