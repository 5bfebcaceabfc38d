#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "number_text.h"

namespace messwerte {

// The spread of a series as a lab report gives it, from the values as written.
struct SeriesStatistics {
  std::int64_t count = 0;
  double mean = 0;
  // Empirical standard deviation (n − 1), that of the mean (s/√n) and the half width of the
  // mean's 95 % confidence interval (Student's t with n − 1 degrees of freedom): from two values
  // on, none for one.
  std::optional<double> standard_deviation;
  std::optional<double> standard_error;
  std::optional<double> confidence_half_width;
  double t_quantile = 0;  // t(0.975; n − 1), 0 below two values
  double median = 0;
  double range = 0;
  double smallest = 0;
  double largest = 0;
  // Where the first smallest and the first largest value stand, counted from 0 among the values.
  std::int64_t smallest_index = 0;
  std::int64_t largest_index = 0;
  // True when every figure comes from the decimal digits exactly, scaled to integers; false when
  // the series' digits do not fit and the figures come from compensated sums of doubles.
  bool exact = true;
};

// Gathers the values' texts one by one and works out the statistics when asked.
//
// Each text becomes an integer and a power of ten: in one reading for the common short form (a
// sign, 4 to 16 bytes of digits and a separator), for other forms once for the value and once
// for the digits. The values are kept as integers in units of the smallest power among them so
// far (scaled again when a smaller one comes); while they fit in 64 bits the sum of the values
// and of their squared distances from the rounded mean are exact 128-bit integers, so the mean
// and the standard deviation are off by no more than the last conversion to double. A series
// whose digits do not fit (more than 18 significant digits, or powers of ten too far apart) is
// worked out from the values read as doubles, with compensated sums over two passes.
class StatisticsCollector {
 public:
  explicit StatisticsCollector(char separator) : separator_(separator) {}

  // Room for `count` values, where the caller knows how many come.
  void Reserve(std::int64_t count);

  // Takes the next value. Anything but kOk means the text is no number (or out of range) and was
  // not taken.
  ParseStatus Add(std::string_view text);

  std::int64_t Count() const { return count_; }

  // None for an empty series. The median is selected among the kept values in place, so this is
  // the collector's last use.
  std::optional<SeriesStatistics> Finish();

 private:
  static constexpr std::int32_t kNoUnit = std::numeric_limits<std::int32_t>::max();

  // False when the value does not fit beside the others as an integer.
  bool TakeDecimal(bool negative, std::uint64_t digits, std::int32_t exponent);
  // From integers to doubles, each as its text reads.
  void TakeDoubles();
  bool Exact(SeriesStatistics& statistics);
  void Compensated(SeriesStatistics& statistics);

  char separator_;
  std::int64_t count_ = 0;
  bool exact_ = true;
  // While exact_: the values in units of 10^low_; no unit before the first value other than zero.
  std::vector<std::int64_t> scaled_;
  std::int32_t low_ = kNoUnit;
  std::vector<std::int64_t> negative_zeros_;  // where "-0" stood, for the doubles
  // Otherwise: the values as doubles.
  std::vector<double> values_;
};

// Student's t quantile for the two-sided 95 % interval: t(0.975; degrees).
double StudentT975(std::int64_t degrees);

// The shortest text that reads back as the same double, with `separator` for the point.
std::string ShortestText(double value, char separator);

}  // namespace messwerte
