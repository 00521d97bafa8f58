// The shortest decimal that reads back as the same float, found with exact
// integer arithmetic rather than the C library, so the digits are the same on
// every platform and locale.
#pragma once

#include <cstdint>
#include <string>

namespace ravelin::event_bake {

// value = (negative ? -1 : 1) * 0.d1d2d3... * 10^(exponent + 1): `digits` are the
// significant digits without trailing zeros ("15"), `exponent` the power of ten
// of the first one (-5 for 1.5e-5).
struct ShortestDecimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;

  bool operator==(const ShortestDecimal&) const = default;
};

// For a finite value other than zero: the fewest significant digits whose
// decimal rounds (to nearest, ties to even) back to `value` at its own width;
// among several such decimals the one nearest the exact value, a tie going to
// the even last digit.
ShortestDecimal shortest_decimal(float value);
ShortestDecimal shortest_decimal(double value);

}  // namespace ravelin::event_bake
