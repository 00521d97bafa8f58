#include "ravelin/event_bake/shortest_decimal.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>

namespace ravelin::event_bake {
namespace {

// Just enough of an unsigned big integer for exact comparisons of
// m * 2^a * 10^b values: little-endian 32-bit limbs in a fixed array, so the
// arithmetic never allocates. The largest value formed is about 2^1190 (a
// subnormal double's 53-bit mantissa times 10^340, times 4); 48 limbs hold 2^1536.
class BigUint {
 public:
  static constexpr std::size_t kLimbs = 48;

  explicit BigUint(std::uint64_t value = 0) {
    limbs_[0] = static_cast<std::uint32_t>(value);
    limbs_[1] = static_cast<std::uint32_t>(value >> 32);
    size_ = 2;
    trim();
  }

  BigUint& mul_small(std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < size_; ++i) {
      const std::uint64_t product = static_cast<std::uint64_t>(limbs_[i]) * factor + carry;
      limbs_[i] = static_cast<std::uint32_t>(product);
      carry = product >> 32;
    }
    if (carry != 0) limbs_[size_++] = static_cast<std::uint32_t>(carry);
    trim();
    return *this;
  }

  BigUint& mul_pow10(int count) {
    for (; count >= 9; count -= 9) mul_small(1'000'000'000u);
    static constexpr std::uint32_t kSmall[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    return mul_small(kSmall[count]);
  }

  BigUint& shift_left(int bits) {
    if (size_ == 0 || bits == 0) return *this;
    const auto whole = static_cast<std::size_t>(bits / 32);
    const int part = bits % 32;
    if (part != 0) {
      std::uint32_t carry = 0;
      for (std::size_t i = 0; i < size_; ++i) {
        const std::uint32_t next = limbs_[i] >> (32 - part);
        limbs_[i] = (limbs_[i] << part) | carry;
        carry = next;
      }
      if (carry != 0) limbs_[size_++] = carry;
    }
    if (whole != 0) {
      for (std::size_t i = size_; i-- > 0;) limbs_[i + whole] = limbs_[i];
      for (std::size_t i = 0; i < whole; ++i) limbs_[i] = 0;
      size_ += whole;
    }
    return *this;
  }

  BigUint& shift_right_one() {
    for (std::size_t i = 0; i < size_; ++i) {
      limbs_[i] = (limbs_[i] >> 1) | (i + 1 < size_ ? limbs_[i + 1] << 31 : 0u);
    }
    trim();
    return *this;
  }

  BigUint& add(const BigUint& other) {
    const std::size_t n = std::max(size_, other.size_);
    std::uint64_t carry = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint64_t sum = static_cast<std::uint64_t>(i < size_ ? limbs_[i] : 0) +
                                (i < other.size_ ? other.limbs_[i] : 0) + carry;
      limbs_[i] = static_cast<std::uint32_t>(sum);
      carry = sum >> 32;
    }
    size_ = n;
    if (carry != 0) limbs_[size_++] = static_cast<std::uint32_t>(carry);
    return *this;
  }

  // Requires *this >= other.
  BigUint& subtract(const BigUint& other) {
    std::uint32_t borrow = 0;
    for (std::size_t i = 0; i < size_; ++i) {
      const std::uint64_t take = static_cast<std::uint64_t>(i < other.size_ ? other.limbs_[i] : 0) + borrow;
      borrow = limbs_[i] < take ? 1 : 0;
      limbs_[i] = static_cast<std::uint32_t>(limbs_[i] - take);
    }
    trim();
    return *this;
  }

  int bit_length() const {
    if (size_ == 0) return 0;
    return static_cast<int>(32 * (size_ - 1)) + std::bit_width(limbs_[size_ - 1]);
  }

  friend int compare(const BigUint& a, const BigUint& b) {
    if (a.size_ != b.size_) return a.size_ < b.size_ ? -1 : 1;
    for (std::size_t i = a.size_; i-- > 0;) {
      if (a.limbs_[i] != b.limbs_[i]) return a.limbs_[i] < b.limbs_[i] ? -1 : 1;
    }
    return 0;
  }

  // floor(*this / divisor) for a quotient below 2^64; *this keeps the remainder.
  std::uint64_t divide_small_quotient(const BigUint& divisor) {
    std::uint64_t quotient = 0;
    int shift = std::max(0, bit_length() - divisor.bit_length());
    BigUint step = divisor;
    step.shift_left(shift);
    for (; shift >= 0; --shift, step.shift_right_one()) {
      if (compare(step, *this) <= 0) {
        subtract(step);
        quotient |= std::uint64_t{1} << shift;
      }
    }
    return quotient;
  }

 private:
  void trim() {
    while (size_ != 0 && limbs_[size_ - 1] == 0) --size_;
  }

  std::array<std::uint32_t, kLimbs> limbs_{};
  std::size_t size_ = 0;
};

// A finite non-zero float as mantissa * 2^exponent, plus whether the gap to the
// next lower float is half the gap to the next higher one (a power of two).
struct BinaryValue {
  bool negative = false;
  std::uint64_t mantissa = 0;
  int exponent = 0;
  bool lower_gap_halved = false;
};

template <class Bits, int kFractionBits, int kBias>
BinaryValue split(Bits bits) {
  constexpr int kExponentBits = static_cast<int>(sizeof(Bits) * 8) - 1 - kFractionBits;
  const Bits fraction = bits & ((Bits{1} << kFractionBits) - 1);
  const int biased = static_cast<int>((bits >> kFractionBits) & ((Bits{1} << kExponentBits) - 1));
  BinaryValue v;
  v.negative = (bits >> (sizeof(Bits) * 8 - 1)) != 0;
  if (biased == 0) {
    v.mantissa = fraction;
    v.exponent = 1 - kBias - kFractionBits;
  } else {
    v.mantissa = fraction | (std::uint64_t{1} << kFractionBits);
    v.exponent = biased - kBias - kFractionBits;
    v.lower_gap_halved = fraction == 0 && biased > 1;
  }
  return v;
}

// value * 10^scale as numerator / denominator, both integers, and the value
// of one unit in the last binary place as unit / denominator.
struct Scaled {
  BigUint numerator;
  BigUint denominator;
  BigUint unit;
};

Scaled scale(const BinaryValue& v, int scale10) {
  Scaled s{BigUint(1), BigUint(1), BigUint(1)};
  if (v.exponent > 0) s.unit.shift_left(v.exponent);
  if (scale10 > 0) s.unit.mul_pow10(scale10);
  if (v.exponent < 0) s.denominator.shift_left(-v.exponent);
  if (scale10 < 0) s.denominator.mul_pow10(-scale10);
  s.numerator = s.unit;
  // The mantissa has at most 53 bits: two 32-bit factors.
  s.numerator.mul_small(static_cast<std::uint32_t>(v.mantissa & 0xFFFFFFFFu));
  BigUint high = s.unit;
  high.mul_small(static_cast<std::uint32_t>(v.mantissa >> 32)).shift_left(32);
  s.numerator.add(high);
  return s;
}

// True when `candidate` (at the scale of `s`) lies within the rounding interval
// of the float: closer to it than half the gap to each neighbour, the interval's
// ends included when the mantissa is even (ties read back to the even float).
bool reads_back(const BinaryValue& v, const Scaled& s, std::uint64_t candidate) {
  // 4 * candidate * denominator, the candidate taken in 32-bit halves.
  BigUint c4_scaled = s.denominator;
  c4_scaled.mul_small(static_cast<std::uint32_t>(candidate & 0xFFFFFFFFu));
  BigUint high = s.denominator;
  high.mul_small(static_cast<std::uint32_t>(candidate >> 32)).shift_left(32);
  c4_scaled.add(high).shift_left(2);
  BigUint value4 = s.numerator;
  value4.shift_left(2);
  BigUint upper = value4;
  BigUint half_gap = s.unit;
  half_gap.shift_left(1);
  upper.add(half_gap);
  BigUint lower = value4;
  lower.subtract(v.lower_gap_halved ? s.unit : half_gap);
  const bool inclusive = (v.mantissa & 1) == 0;
  const int vs_lower = compare(c4_scaled, lower);
  const int vs_upper = compare(c4_scaled, upper);
  return inclusive ? (vs_lower >= 0 && vs_upper <= 0) : (vs_lower > 0 && vs_upper < 0);
}

ShortestDecimal shortest(const BinaryValue& v) {
  // Power of ten of the first significant digit: estimated from the binary
  // exponent, then corrected exactly.
  const int binary_magnitude = v.exponent + std::bit_width(v.mantissa) - 1;
  int first = static_cast<int>(binary_magnitude * 30103LL / 100000LL) - (binary_magnitude < 0 ? 1 : 0);
  for (;;) {
    Scaled s = scale(v, -first);
    const std::uint64_t lead = s.numerator.divide_small_quotient(s.denominator);
    if (lead >= 10) {
      ++first;
    } else if (lead == 0) {
      --first;
    } else {
      break;
    }
  }

  for (int precision = 1;; ++precision) {
    Scaled s = scale(v, precision - 1 - first);
    BigUint remainder = s.numerator;
    const std::uint64_t below = remainder.divide_small_quotient(s.denominator);
    remainder.shift_left(1);
    const int vs_half = compare(remainder, s.denominator);
    const bool round_up = vs_half > 0 || (vs_half == 0 && (below & 1) != 0);
    const std::uint64_t nearest = round_up ? below + 1 : below;
    const std::uint64_t other = round_up ? below : below + 1;
    std::uint64_t chosen = 0;
    if (reads_back(v, s, nearest)) {
      chosen = nearest;
    } else if (reads_back(v, s, other)) {
      chosen = other;
    } else {
      continue;
    }
    ShortestDecimal out;
    out.negative = v.negative;
    for (; chosen != 0; chosen /= 10) out.digits.insert(out.digits.begin(), static_cast<char>('0' + chosen % 10));
    // A round-up to 10^precision gains a digit in front.
    out.exponent = first + static_cast<int>(out.digits.size()) - precision;
    while (out.digits.size() > 1 && out.digits.back() == '0') out.digits.pop_back();
    return out;
  }
}

}  // namespace

ShortestDecimal shortest_decimal(float value) {
  return shortest(split<std::uint32_t, 23, 127>(std::bit_cast<std::uint32_t>(value)));
}

ShortestDecimal shortest_decimal(double value) {
  return shortest(split<std::uint64_t, 52, 1023>(std::bit_cast<std::uint64_t>(value)));
}

}  // namespace ravelin::event_bake
