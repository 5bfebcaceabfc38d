#pragma once

#include <bit>
#include <cstddef>
#include <cstring>
#include <limits>

namespace messwerte {

// The bytes of a long double that its format uses: sign, exponent and significand, without the
// padding that sizeof adds. 10 for x87 extended (its leading significand bit is stored), 16 for
// IEEE quad and double-double, 8 where long double is double.
inline constexpr std::size_t kLongDoubleBytes = [] {
  using limits = std::numeric_limits<long double>;
  const bool stored_leading_bit = limits::digits == 64 && limits::max_exponent == 16384;
  const int exponent_bits = std::bit_width(static_cast<unsigned>(limits::max_exponent));
  const int bits = 1 + exponent_bits + limits::digits - (stored_leading_bit ? 0 : 1);
  return limits::digits == 106 ? sizeof(long double) : static_cast<std::size_t>(bits + 7) / 8;
}();
static_assert(kLongDoubleBytes <= sizeof(long double));
static_assert(std::endian::native == std::endian::little || kLongDoubleBytes == sizeof(long double),
              "the used bytes are the first ones only on little-endian machines");

// Whether `a` and `b` are the same value bit for bit, sign and zero's sign included; padding is
// not compared.
inline bool SameBits(long double a, long double b) {
  return std::memcmp(&a, &b, kLongDoubleBytes) == 0;
}

}  // namespace messwerte
