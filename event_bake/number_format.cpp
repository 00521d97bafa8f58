#include "ravelin/event_bake/number_format.h"

#include "ravelin/event_bake/shortest_decimal.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>
#include <system_error>

namespace ravelin::event_bake {
namespace {

// Names of the values that have no digits; true when one was written.
bool append_non_finite(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
    return true;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return true;
  }
  return false;
}

// Shortest round-trip digits in scientific form ("1.5e-05"), split into the
// significant digits ("15") and the decimal exponent of the first one (-5).
template <class Float>
ShortestDecimal shortest_digits(Float value) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  const std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
  ShortestDecimal out;
  std::size_t i = 0;
  if (i < text.size() && text[i] == '-') {
    out.negative = true;
    ++i;
  }
  for (; i < text.size() && text[i] != 'e'; ++i) {
    if (text[i] != '.') out.digits += text[i];
  }
  if (i < text.size()) {
    ++i;  // 'e'
    const char* first = text.data() + i;
    if (*first == '+') ++first;
    std::from_chars(first, text.data() + text.size(), out.exponent);
  }
  return out;
}

// Positional with a point ("1.0", "0.25") when the first digit's power of ten
// lies in [-4, 16), otherwise exponent form ("1e20", "1.5e-5").
template <class Float, class Digits>
std::string format_shortest_with(Float value, Digits shortest) {
  std::string out;
  if (append_non_finite(out, static_cast<double>(value))) return out;
  if (value == 0) return std::signbit(value) ? "-0.0" : "0.0";

  const ShortestDecimal d = shortest(value);
  if (d.negative) out += '-';
  const int count = static_cast<int>(d.digits.size());
  // Deciding on the shortest digits' exponent is the same as comparing the
  // magnitude with 1e-4 and 1e16 taken at the field's own width.
  if (d.exponent < -4 || d.exponent >= 16) {
    out += d.digits[0];
    if (count > 1) {
      out += '.';
      out.append(d.digits, 1);
    }
    out += 'e';
    out += std::to_string(d.exponent);
    return out;
  }
  if (d.exponent < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
    out += d.digits;
  } else if (d.exponent + 1 >= count) {
    out += d.digits;
    out.append(static_cast<std::size_t>(d.exponent + 1 - count), '0');
    out += ".0";
  } else {
    const auto point = static_cast<std::size_t>(d.exponent + 1);
    out.append(d.digits, 0, point);
    out += '.';
    out.append(d.digits, point);
  }
  return out;
}

}  // namespace

void append_fixed6(std::string& out, double value) {
  if (append_non_finite(out, value)) return;
  if (value == 0) value = 0.0;  // negative zero prints without a sign
  // The largest double has 309 integer digits; with the point and six decimals
  // this fits comfortably.
  char buf[400];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6);
  out.append(buf, res.ptr);
}

std::string format_fixed6(double value) {
  std::string out;
  append_fixed6(out, value);
  return out;
}

void append_decimal(std::string& out, std::uint64_t value) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  out.append(buf, res.ptr);
}

void append_hex_id(std::string& out, std::uint32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += "0x";
  for (int shift = 28; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
}

std::string format_debug_f32(float value) {
  return format_shortest_with(value, [](float v) { return shortest_digits(v); });
}

std::string format_debug_f64(double value) {
  return format_shortest_with(value, [](double v) { return shortest_digits(v); });
}

std::string format_shortest_f32(float value) {
  return format_shortest_with(value, [](float v) { return shortest_decimal(v); });
}

std::string format_shortest_f64(double value) {
  return format_shortest_with(value, [](double v) { return shortest_decimal(v); });
}

void append_json_string_content(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (byte < 0x20) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
}

}  // namespace ravelin::event_bake
