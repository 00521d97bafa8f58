// Helpers for the structural debug renderings and display texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ravelin::common {

// Double-quoted text with \\, \", \n, \r, \t, \0 and other control characters
// escaped (\u{1b}); everything else, UTF-8 included, copied as it is.
std::string debug_quote(std::string_view text);

// Replaces every malformed UTF-8 sequence by U+FFFD.
std::string sanitize_utf8(std::string_view bytes);

}  // namespace ravelin::common
