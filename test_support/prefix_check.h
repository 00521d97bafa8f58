// Test support: decodes every proper prefix of a valid encoding and reports the
// first one that does not fail with the short-read error. Header-only, for tests.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ravelin/common/read_error.h"
#include "ravelin/common/reader.h"

namespace ravelin::test_support {

// `decode(reader)` returns a ReadResult. Every prefix shorter than `bytes` must
// fail with an error whose innermost message is "failed to fill whole buffer"
// (the prefix is a separate allocation, so ASan catches any read past its end).
// Returns a description of the first prefix that broke the rule, or nullopt.
template <class Decode>
std::optional<std::string> first_prefix_not_failing_cleanly(const std::vector<std::uint8_t>& bytes,
                                                            Decode decode) {
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    const std::vector<std::uint8_t> prefix(bytes.begin(),
                                           bytes.begin() + static_cast<std::ptrdiff_t>(length));
    common::Reader reader(prefix);
    auto result = decode(reader);
    if (result) return "prefix of " + std::to_string(length) + " bytes decoded";
    if (result.error().message() != common::kFailedToFillWholeBuffer)
      return "prefix of " + std::to_string(length) + " bytes: " + result.error().to_string();
  }
  return std::nullopt;
}

}  // namespace ravelin::test_support
