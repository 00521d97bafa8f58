// Number renderings of the event manifest and of the records' debug forms.
// Written here rather than through printf so that the digits never depend on
// the locale or the C library.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ravelin::event_bake {

// Appends `value` in fixed-point form with exactly six decimals: the exact
// binary value correctly rounded, ties to even; zero of either sign gives
// "0.000000", other negatives keep their "-" (-1e-7 gives "-0.000000"); never an
// exponent. NaN gives "NaN", infinities "inf" and "-inf". A float converts to
// double exactly, so one routine serves both widths.
void append_fixed6(std::string& out, double value);

// The same rendering as a new string.
std::string format_fixed6(double value);

// Appends `value` in decimal (no sign, no leading zeros).
void append_decimal(std::string& out, std::uint64_t value);

// Appends "0x" and exactly eight upper-case hexadecimal digits.
void append_hex_id(std::string& out, std::uint32_t value);

// Appends `text` as the inside of a JSON string: backslash doubled, quote
// escaped, U+0000 to U+001F written as \u00xx so that the text can break
// neither its line nor the JSON; everything else, UTF-8 included, as it is.
void append_json_string_content(std::string& out, std::string_view text);

// Debug rendering of an f32 field: the shortest digits that read back as the
// same float, positional with a decimal point ("1.0", "-0.0", "100.0") when the
// magnitude is zero or lies in [1e-4, 1e16), otherwise exponent form without
// "+" or leading zeros ("1e20", "1.5e-5"); "NaN", "inf", "-inf".
std::string format_debug_f32(float value);

// The same for an f64 field, with the shortest digits that read back as the
// same double.
std::string format_debug_f64(double value);

// The same layouts with the digits worked out here in exact integer arithmetic
// (shortest_decimal.h) instead of by the C++ library: the numbers of decoded
// records shown as JSON. NaN and the infinities come out as the bare words
// "NaN", "inf", "-inf"; a JSON writer quotes them.
std::string format_shortest_f32(float value);
std::string format_shortest_f64(double value);

}  // namespace ravelin::event_bake
