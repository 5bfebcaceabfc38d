#pragma once

// What differs between systems and C libraries, in one place: reading a decimal number whatever
// the process's locale, aligned memory, huge pages. The rest of the core is plain C++.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace messwerte::platform {

struct Decimal {
  long double value;  // correctly rounded; an infinity where the number exceeds the range
  std::size_t used;   // bytes read from the start of the text, 0 when it starts with no number
};

// Reads the longest number at the start of `text` as strtold does in the C locale ('.' as the
// decimal point), however the process's locale is set.
Decimal ReadDecimal(std::string_view text);

// The program's arithmetic is x87 extended's: a value read from a text is the text rounded once
// to a 64-bit significand. Where long double is wider (IEEE quad, 113 bits), these give that
// value, held in the wider type; where long double is x87 extended or double they are plain
// arithmetic. For finite, positive or negative operands without underflow (the number reading's
// fast paths: integers below 10^19 and exact powers of ten up to 10^27):
//   `dividend` / `divisor`, rounded once to extended precision;
long double ExtendedQuotient(long double dividend, long double divisor);
//   `factor` × `other`, rounded once to extended precision;
long double ExtendedProduct(long double factor, long double other);
//   a value already rounded to long double, rounded again to extended precision (a second
//   rounding where long double is quad: a value that lies exactly halfway goes to the even side,
//   whatever side the value it was rounded from lay on);
long double ExtendedFromWider(long double value);
//   and the longest number at the start of `text`, read like ReadDecimal but rounded once to
//   extended precision, as x87 reads it.
Decimal ReadExtendedDecimal(std::string_view text);

// IEEE quad as two little-endian 64-bit halves: `high` holds the sign, the 15 exponent bits and
// the top 48 fraction bits, `low` the other 64.
struct QuadBits {
  std::uint64_t low;
  std::uint64_t high;
  friend bool operator==(const QuadBits&, const QuadBits&) = default;
};

// `bits` rounded to x87 extended's grid: 64 significant bits for normal numbers, multiples of
// 2^-16445 (extended's smallest denormal) below 2^-16382 — in both cases the lowest 49 fraction
// bits of the quad cleared, the nearest such value kept. `side` says where the exact value that
// `bits` rounds lies when `bits` is exactly halfway: > 0 above it, < 0 below it (as signed
// values), 0 on it, which goes to the even neighbour. Beyond the largest extended value the
// result is an infinity, as on x87. Infinities and NaNs are left as they are.
QuadBits RoundQuadToExtended(QuadBits bits, int side);

// `bytes` at an address that is a multiple of `alignment`, a power of two. Throws std::bad_alloc.
void* AllocateAligned(std::size_t bytes, std::size_t alignment);
// Gives back a block from AllocateAligned with the same alignment.
void FreeAligned(void* block, std::size_t alignment) noexcept;

// Asks the system to back a large buffer, not yet written, with huge pages: a million lines
// otherwise cost thousands of page faults. Only advice; nothing changes where the system has none.
void AdviseHugePages(const void* data, std::size_t bytes);

// Hands memory that was freed back to the system where the C library keeps it otherwise.
void GiveBackFreedMemory() noexcept;

}  // namespace messwerte::platform
