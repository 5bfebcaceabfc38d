#pragma once

// Sixteen bytes at a time: SSE2 where the machine has it, plain loops elsewhere. The only place
// besides platform.cpp that asks what the machine is.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#define MESSWERTE_SSE2 1
#endif

namespace messwerte::blocks16 {

// One bit per byte of the sixteen at `p` that is `c`, the first byte's the lowest.
inline unsigned Matches(const char* p, char c) {
#ifdef MESSWERTE_SSE2
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(c))));
#else
  unsigned bits = 0;
  for (unsigned i = 0; i < 16; ++i) bits |= static_cast<unsigned>(p[i] == c) << i;
  return bits;
#endif
}

#ifdef MESSWERTE_SSE2
namespace detail {

inline std::uint64_t Load8(const char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

inline std::uint64_t Load4(const char* p) {
  std::uint32_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Sixteen bytes read from offset 16 - k have their first k bytes set.
inline constexpr unsigned char kFrontMasks[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                                  0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

}  // namespace detail
#endif

// The `n` bytes at `p`, 4 <= n <= 16, when they are digits with at most one `separator` among
// them and nothing else: true, with the digits as one integer and the count of digits after the
// separator. False for all other texts, and always where the machine has no SSE2: the caller
// then reads the text the general way. All sixteen bytes are checked and added up at once in
// SSE2 registers instead of one character after the other.
[[gnu::always_inline]] inline bool ShortDigits([[maybe_unused]] const char* p,
                                               [[maybe_unused]] std::size_t n,
                                               [[maybe_unused]] char separator,
                                               [[maybe_unused]] std::uint64_t& mantissa,
                                               [[maybe_unused]] unsigned& fraction_digits) {
#ifdef MESSWERTE_SSE2
  using detail::Load4;
  using detail::Load8;
  if (n - 4 > 12) return false;

  // The text right-aligned in sixteen bytes, zero bytes in front; all loads stay in the text.
  // The first byte of a load is the lowest of the word.
  std::uint64_t low = 0, high;
  if (n >= 8) {
    high = Load8(p + n - 8);
    const unsigned half = 4 * static_cast<unsigned>(16 - n);  // twice, to shift out all 64 bits
    low = (Load8(p) << half) << half;
  } else {
    high = ((Load4(p) << 8 * (8 - n)) & 0xFFFFFFFF) | Load4(p + n - 4) << 32;
  }
  const __m128i bytes = _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));

  // One bit per byte, the first byte of the sixteen lowest. A separator that is a digit reads as
  // a digit, as in the general reading.
  const unsigned in_text = 0xFFFFu << (16 - n) & 0xFFFF;
  const unsigned other =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
          _mm_cmplt_epi8(bytes, _mm_set1_epi8('0')), _mm_cmpgt_epi8(bytes, _mm_set1_epi8('9'))))) &
      in_text;
  const unsigned separators =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(separator)))) &
      other;
  if ((other ^ separators) | (separators & (separators - 1))) return false;

  // Take the separator out: the bytes up to it move up by one. `through` counts those bytes,
  // the separator's included; 0 without one.
  const auto through = static_cast<unsigned>(std::bit_width(separators << 1 | 1)) - 1;
  fraction_digits = (16 - through) & 15;
  const __m128i front =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(detail::kFrontMasks + 16 - through));
  const __m128i digits = _mm_subs_epu8(bytes, _mm_set1_epi8('0'));  // the padding stays 0
  const __m128i joined = _mm_or_si128(_mm_andnot_si128(front, digits),
                                      _mm_and_si128(front, _mm_slli_si128(digits, 1)));

  // Pairs of digits, then fours, then eights: 16-bit lanes 10a + b, 32-bit lanes 100ab + cd,
  // 32-bit lanes 10000abcd + efgh; the last two lanes are the first and the last eight digits.
  const __m128i pairs = _mm_and_si128(
      _mm_add_epi16(_mm_mullo_epi16(joined, _mm_set1_epi16(10)), _mm_srli_epi16(joined, 8)),
      _mm_set1_epi16(0xFF));
  const __m128i fours = _mm_madd_epi16(pairs, _mm_set1_epi32(100 + (1 << 16)));
  const __m128i eights =
      _mm_madd_epi16(_mm_packs_epi32(fours, fours), _mm_set1_epi32(10000 + (1 << 16)));
  const auto halves = static_cast<std::uint64_t>(_mm_cvtsi128_si64(eights));
  mantissa = (halves & 0xFFFFFFFF) * 100'000'000 + (halves >> 32);
  return true;
#else
  return false;
#endif
}

// A signed number in the short form: '+' or '-', then what ShortDigits takes. False for all other
// texts, as there.
[[gnu::always_inline]] inline bool ShortNumber(const char* p, std::size_t n, char separator,
                                               bool& negative, std::uint64_t& mantissa,
                                               unsigned& fraction_digits) {
  if (n == 0) return false;
  negative = p[0] == '-';
  const std::size_t sign = negative || p[0] == '+' ? 1 : 0;
  return ShortDigits(p + sign, n - sign, separator, mantissa, fraction_digits);
}

}  // namespace messwerte::blocks16

#undef MESSWERTE_SSE2
