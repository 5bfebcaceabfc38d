#include "platform.h"

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#if defined(__GLIBC__) || defined(__APPLE__) || defined(__FreeBSD__)
#include <locale.h>
#if defined(__APPLE__) || defined(__FreeBSD__)
#include <xlocale.h>
#endif
#define MESSWERTE_STRTOLD_L 1
#else
#include <clocale>
#include <vector>
#endif

namespace messwerte::platform {

#ifdef MESSWERTE_STRTOLD_L

Decimal ReadDecimal(std::string_view text) {
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t{});
  const std::string terminated(text);
  char* stop = nullptr;
  const long double value = strtold_l(terminated.c_str(), &stop, c_locale);
  return {value, static_cast<std::size_t>(stop - terminated.c_str())};
}

#else

// The C library has no reading in a given locale (MinGW-w64: its strtold is gdtoa's, correctly
// rounded, but reads the decimal point of the current locale). The text is handed over with the
// current locale's decimal point in place of '.', and cut where that point stood in the text.
Decimal ReadDecimal(std::string_view text) {
  const std::lconv* conventions = std::localeconv();
  const std::string point =
      conventions && conventions->decimal_point && conventions->decimal_point[0] != '\0'
          ? conventions->decimal_point
          : ".";
  std::string local;
  std::vector<std::size_t> origin;  // for each byte of `local`, the byte of `text` it stands for
  for (std::size_t i = 0; i < text.size() && text[i] != '\0'; ++i) {
    if (point != "." && text.substr(i, point.size()) == point) break;
    if (text[i] == '.') {
      local += point;
      origin.insert(origin.end(), point.size(), i);
    } else {
      local += text[i];
      origin.push_back(i);
    }
  }
  char* stop = nullptr;
  const long double value = std::strtold(local.c_str(), &stop);
  const auto read = static_cast<std::size_t>(stop - local.c_str());
  // The byte after the last one read, in `text`.
  const std::size_t used = read == 0 ? 0 : origin[read - 1] + 1;
  return {value, used};
}

#endif

namespace {
constexpr std::uint64_t kDroppedBits = (std::uint64_t{1} << 49) - 1;  // quad's 112 - extended's 63
constexpr std::uint64_t kHalfway = std::uint64_t{1} << 48;
constexpr std::uint64_t kExponentBits = std::uint64_t{0x7FFF} << 48;
}  // namespace

QuadBits RoundQuadToExtended(QuadBits bits, int side) {
  if ((bits.high & kExponentBits) == kExponentBits) return bits;
  const bool negative = (bits.high >> 63) != 0;
  const std::uint64_t dropped = bits.low & kDroppedBits;
  const bool kept_odd = ((bits.low >> 49) & 1) != 0;
  const bool away = dropped > kHalfway ||
                    (dropped == kHalfway && (side == 0 ? kept_odd : (side > 0) != negative));
  bits.low &= ~kDroppedBits;
  if (away) {
    bits.low += kDroppedBits + 1;
    // Into the exponent when the significand overflows; from the largest value to infinity.
    if (bits.low == 0) ++bits.high;
  }
  return bits;
}

#if LDBL_MANT_DIG == 113

namespace {

QuadBits BitsOf(long double value) {
  static_assert(sizeof(long double) == sizeof(QuadBits));
  QuadBits bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

long double ValueOf(QuadBits bits) {
  long double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

bool Halfway(QuadBits bits) { return (bits.low & kDroppedBits) == kHalfway; }

// Sets a rounding mode for its lifetime; the caller's comes back however the scope is left.
class RoundingMode {
 public:
  explicit RoundingMode(int mode) : saved_(std::fegetround()) { std::fesetround(mode); }
  ~RoundingMode() { std::fesetround(saved_); }
  RoundingMode(const RoundingMode&) = delete;
  RoundingMode& operator=(const RoundingMode&) = delete;

 private:
  int saved_;
};

// `text` read with the C library rounding in `mode`.
long double RoundingAs(int mode, std::string_view text) {
  const RoundingMode rounding(mode);
  return ReadDecimal(text).value;
}

int Sign(long double value) { return (value > 0) - (value < 0); }

}  // namespace

// A correctly rounded quotient or product lies within half a quad unit of the exact value, so
// off a halfway point between extended values it lies on the same side as the exact value; on
// it, the error — exactly representable for a correctly rounded quotient or product without
// underflow, and exactly what fmal gives — says which side.
long double ExtendedQuotient(long double dividend, long double divisor) {
  const long double quotient = dividend / divisor;
  const QuadBits bits = BitsOf(quotient);
  const int side =
      Halfway(bits) ? Sign(std::fmal(-quotient, divisor, dividend)) * Sign(divisor) : 0;
  return ValueOf(RoundQuadToExtended(bits, side));
}

long double ExtendedProduct(long double factor, long double other) {
  const long double product = factor * other;
  const QuadBits bits = BitsOf(product);
  const int side = Halfway(bits) ? Sign(std::fmal(factor, other, -product)) : 0;
  return ValueOf(RoundQuadToExtended(bits, side));
}

long double ExtendedFromWider(long double value) {
  return ValueOf(RoundQuadToExtended(BitsOf(value), 0));
}

// The C library rounds correctly in every rounding mode. Where the quad value lies exactly
// halfway between two extended values (rarely: 1 in 2^48), the text is read again rounded down
// and up: the exact value lies between the two, and on the quad value only where both are it.
Decimal ReadExtendedDecimal(std::string_view text) {
  Decimal read = ReadDecimal(text);
  const QuadBits bits = BitsOf(read.value);
  int side = 0;
  if (Halfway(bits) && std::isfinite(read.value)) {
    const long double below = RoundingAs(FE_DOWNWARD, text);
    const long double above = RoundingAs(FE_UPWARD, text);
    side = below < read.value ? -1 : above > read.value ? 1 : 0;
  }
  read.value = ValueOf(RoundQuadToExtended(bits, side));
  return read;
}

#else

long double ExtendedQuotient(long double dividend, long double divisor) {
  return dividend / divisor;
}
long double ExtendedProduct(long double factor, long double other) { return factor * other; }
long double ExtendedFromWider(long double value) { return value; }
Decimal ReadExtendedDecimal(std::string_view text) { return ReadDecimal(text); }

#endif

void* AllocateAligned(std::size_t bytes, std::size_t alignment) {
  return ::operator new (bytes, std::align_val_t{alignment});
}

void FreeAligned(void* block, std::size_t alignment) noexcept {
  ::operator delete (block, std::align_val_t{alignment});
}

void AdviseHugePages([[maybe_unused]] const void* data, [[maybe_unused]] std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kPage = 4096;
  const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kPage - 1);
  if (end > begin && end - begin >= (std::uintptr_t{1} << 21))
    madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

void GiveBackFreedMemory() noexcept {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace messwerte::platform
