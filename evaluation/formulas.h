#pragma once

#include <cmath>
#include <string>
#include <string_view>

#include "exception.h"
#include "number_text.h"

// What the window's operations and the one-pass summary compute alike, so that both give the
// same digits for the same list.
namespace messwerte {

// Halfway between FLT_MAX and 2^128: anything at or beyond it rounds to infinity in single.
inline constexpr long double kSingleLimit = 0x1.ffffffp127L;

inline bool FitsSingle(long double value) { return std::fabs(value) < kSingleLimit; }

inline float StoreSingle(long double value) {
  if (!FitsSingle(value)) throw Exception("Das Ergebnis liegt außerhalb des Wertebereichs.");
  return static_cast<float>(value);
}

// Why the extremes, and the deviation that needs them, have nothing to show.
inline constexpr char kNoValues[] = "Die Liste enthält keine Messwerte.";

// Throws kNoValues for an empty series.
inline void RequireValues(int count) {
  if (count == 0) throw Exception(kNoValues);
}

// The message for line k (from 0) whose text is no value: kNotANumber, or kOutOfRange for one
// beyond extended or single range.
std::string ValueMessage(std::string_view text, int k, ParseStatus status);

[[noreturn, gnu::noinline]] void RefuseValue(std::string_view text, int k, ParseStatus status);

// The text of line k as a number; throws with the text and the line's number as the user counts
// it (from 1).
inline long double ToValue(std::string_view text, int k, char separator) {
  const ParseResult result = ParseNumber(text, separator);
  if (result.status != ParseStatus::kOk || !FitsSingle(result.value))
    RefuseValue(text, k, result.status);
  return result.value;
}

// The mean of `count` values that add up to `sum`; 0 for none.
inline float Mean(long double sum, int count) {
  return count != 0 ? StoreSingle(sum / count) : 0.0f;
}

// The root mean square of `count` values whose squares add up to `squares`; 0 for none.
inline float RootMeanSquare(long double squares, int count) {
  return count != 0 ? StoreSingle(std::sqrt(squares / count)) : 0.0f;
}

// |a - b|, in single range.
inline float Distance(float a, float b) {
  return StoreSingle(std::fabs(static_cast<long double>(a) - static_cast<long double>(b)));
}

// The larger distance of an extreme from the mean in percent of the mean; throws for a mean
// of 0.
inline float DeviationPercent(float mean, float below, float above) {
  if (mean == 0)
    throw Exception("Bei einem Mittelwert von 0 ist die prozentuale Abweichung nicht definiert.");
  const long double larger = above < below ? below : above;
  return StoreSingle(larger * 100.0f / std::fabs(static_cast<long double>(mean)));
}

}  // namespace messwerte
