#include "series_statistics.h"

#include <algorithm>
#include <boost/math/distributions/students_t.hpp>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "blocks16.h"

namespace messwerte {
namespace {

using Int128 = __int128;
using UInt128 = unsigned __int128;

constexpr int kMaxDigits = 18;  // 10^18 − 1 < 2^63

constexpr std::int64_t kPow10[kMaxDigits + 1] = {1,
                                                 10,
                                                 100,
                                                 1000,
                                                 10000,
                                                 100000,
                                                 1000000,
                                                 10000000,
                                                 100000000,
                                                 1000000000,
                                                 10000000000,
                                                 100000000000,
                                                 1000000000000,
                                                 10000000000000,
                                                 100000000000000,
                                                 1000000000000000,
                                                 10000000000000000,
                                                 100000000000000000,
                                                 1000000000000000000};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The digits of a text that ParseNumber accepted, as integer and power of ten; false when more
// than 18 significant digits remain once the zeros at both ends are dropped.
bool ReadDecimal(std::string_view text, char separator, std::int64_t& mantissa,
                 std::int32_t& exponent) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t digits = 0;     // the significant digits taken so far
  int taken = 0;               // how many
  int zeros = 0;               // zeros after the last nonzero digit, not yet taken
  std::int64_t fraction = -1;  // digits after the separator; -1 before it
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == separator && fraction < 0) {
      fraction = 0;
      continue;
    }
    if (!IsDigit(c)) break;
    if (fraction >= 0) ++fraction;
    if (c == '0') {
      if (taken > 0) ++zeros;
      continue;
    }
    if (taken + zeros + 1 > kMaxDigits) return false;
    digits = digits * kPow10[zeros + 1] + (c - '0');
    taken += zeros + 1;
    zeros = 0;
  }
  std::int64_t power = zeros - std::max<std::int64_t>(fraction, 0);
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool minus = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) minus = text[i++] == '-';
    std::int64_t e = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
      if (e < 100000) e = e * 10 + (text[i] - '0');
    }
    power += minus ? -e : e;
  }
  if (digits == 0) {
    mantissa = 0;
    exponent = std::numeric_limits<std::int32_t>::max();
    return true;
  }
  if (power < -100000 || power > 100000) return false;
  mantissa = negative ? -digits : digits;
  exponent = static_cast<std::int32_t>(power);
  return true;
}

// 10^k for k ≥ 0 in long double, exact up to 10^27.
long double Pow10(int k) {
  long double p = 1;
  for (int i = 0; i < k; ++i) p *= 10;
  return p;
}

// x · 10^e, rounding once for |e| ≤ 27.
long double Scaled(long double x, int e) {
  if (e == 0) return x;
  if (e > 0) return x * Pow10(e);
  if (e >= -27) return x / Pow10(-e);
  return x * std::pow(10.0L, static_cast<long double>(e));
}

long double ToLongDouble(Int128 v) { return static_cast<long double>(v); }

// Sum of doubles with Neumaier's compensation.
class CompensatedSum {
 public:
  void Add(double x) {
    const double t = sum_ + x;
    compensation_ += std::abs(sum_) >= std::abs(x) ? (sum_ - t) + x : (x - t) + sum_;
    sum_ = t;
  }
  double Value() const { return sum_ + compensation_; }

 private:
  double sum_ = 0;
  double compensation_ = 0;
};

void Spread(SeriesStatistics& s) {
  if (s.count < 2) return;
  const double n = static_cast<double>(s.count);
  s.standard_error = *s.standard_deviation / std::sqrt(n);
  s.t_quantile = StudentT975(s.count - 1);
  s.confidence_half_width = s.t_quantile * *s.standard_error;
}

}  // namespace

void StatisticsCollector::Reserve(std::int64_t count) {
  if (count <= 0) return;
  if (exact_) {
    scaled_.reserve(static_cast<std::size_t>(count));
  } else {
    values_.reserve(static_cast<std::size_t>(count));
  }
}

ParseStatus StatisticsCollector::Add(std::string_view text) {
  if (exact_) {
    // The common short numbers: read once, their digits are all that is kept.
    bool negative;
    std::uint64_t digits;
    unsigned fraction_digits;
    if (blocks16::ShortNumber(text.data(), text.size(), separator_, negative, digits,
                              fraction_digits) &&
        TakeDecimal(negative, digits, -static_cast<std::int32_t>(fraction_digits)))
      return ParseStatus::kOk;
  }
  const ParseResult read = ParseNumber(text, separator_);
  if (read.status != ParseStatus::kOk) return read.status;
  const double value = static_cast<double>(read.value);
  if (!std::isfinite(value)) return ParseStatus::kOutOfRange;
  if (exact_) {
    std::int64_t mantissa;
    std::int32_t exponent;
    if (ReadDecimal(text, separator_, mantissa, exponent) &&
        TakeDecimal(std::signbit(value), static_cast<std::uint64_t>(std::abs(mantissa)), exponent))
      return ParseStatus::kOk;
    TakeDoubles();
  }
  values_.push_back(value);
  ++count_;
  return ParseStatus::kOk;
}

bool StatisticsCollector::TakeDecimal(bool negative, std::uint64_t digits, std::int32_t exponent) {
  if (digits == 0) {
    if (negative) negative_zeros_.push_back(count_);
    scaled_.push_back(0);
    ++count_;
    return true;
  }
  while (digits % 10 == 0) {
    digits /= 10;
    ++exponent;
  }
  const auto signed_digits = static_cast<std::int64_t>(negative ? -digits : digits);
  if (low_ == kNoUnit) low_ = exponent;
  if (exponent < low_) {
    // A finer unit: the values so far are scaled to it, if all of them still fit.
    const std::int64_t shift = static_cast<std::int64_t>(low_) - exponent;
    const auto [smallest, largest] = std::minmax_element(scaled_.begin(), scaled_.end());
    const bool all_zero = scaled_.empty() || (*smallest == 0 && *largest == 0);
    if (!all_zero) {
      std::int64_t unused;
      if (shift > kMaxDigits || __builtin_mul_overflow(*smallest, kPow10[shift], &unused) ||
          __builtin_mul_overflow(*largest, kPow10[shift], &unused))
        return false;
      for (std::int64_t& a : scaled_) a *= kPow10[shift];
    }
    low_ = exponent;
  }
  const std::int64_t shift = static_cast<std::int64_t>(exponent) - low_;
  std::int64_t scaled;
  if (shift > kMaxDigits || __builtin_mul_overflow(signed_digits, kPow10[shift], &scaled))
    return false;
  scaled_.push_back(scaled);
  ++count_;
  return true;
}

void StatisticsCollector::TakeDoubles() {
  // Each value read again from its integer and power of ten: the same number as its text, so the
  // same rounding.
  values_.resize(scaled_.size());
  for (std::size_t i = 0; i < scaled_.size(); ++i) {
    if (scaled_[i] == 0) {
      values_[i] = 0;
      continue;
    }
    const std::string text = std::to_string(scaled_[i]) + 'e' + std::to_string(low_);
    values_[i] = static_cast<double>(ParseNumber(text, '.').value);
  }
  for (const std::int64_t i : negative_zeros_) values_[static_cast<std::size_t>(i)] = -0.0;
  scaled_ = {};
  negative_zeros_ = {};
  exact_ = false;
}

std::optional<SeriesStatistics> StatisticsCollector::Finish() {
  if (count_ == 0) return std::nullopt;
  SeriesStatistics statistics;
  statistics.count = count_;
  if (!exact_ || !Exact(statistics)) {
    if (exact_) TakeDoubles();
    Compensated(statistics);
  }
  Spread(statistics);
  return statistics;
}

bool StatisticsCollector::Exact(SeriesStatistics& s) {
  const std::int32_t low = low_ == kNoUnit ? 0 : low_;  // all zero: any unit
  std::vector<std::int64_t>& scaled = scaled_;
  const auto n = static_cast<std::int64_t>(scaled.size());
  Int128 sum = 0;
  std::size_t smallest = 0;
  std::size_t largest = 0;
  for (std::size_t i = 0; i < scaled.size(); ++i) {
    sum += scaled[i];
    if (scaled[i] < scaled[smallest]) smallest = i;
    if (scaled[i] > scaled[largest]) largest = i;
  }
  // The mean rounded to an integer, and the values' distances from it.
  Int128 rounded = sum / n;
  const Int128 rest = sum - rounded * n;
  if (2 * (rest < 0 ? -rest : rest) > n) rounded += rest < 0 ? -1 : 1;
  const Int128 offset = sum - rounded * n;  // Σ(a − rounded), |offset| ≤ n/2
  UInt128 squares = 0;
  for (const std::int64_t a : scaled) {
    const Int128 d = static_cast<Int128>(a) - rounded;
    const UInt128 magnitude = static_cast<UInt128>(d < 0 ? -d : d);
    if (magnitude >> 63) return false;
    if (__builtin_add_overflow(squares, magnitude * magnitude, &squares)) return false;
  }
  s.exact = true;
  s.mean = static_cast<double>(
      Scaled(ToLongDouble(rounded) + ToLongDouble(offset) / static_cast<long double>(n), low));
  if (n >= 2) {
    // Σ(a − mean)² = squares − offset²/n; times n it is an integer.
    long double ssd;
    UInt128 times_n;
    const auto offset_squared = static_cast<UInt128>(offset * offset);
    if (!__builtin_mul_overflow(squares, static_cast<UInt128>(n), &times_n)) {
      ssd = static_cast<long double>(times_n - offset_squared) / static_cast<long double>(n);
    } else {
      ssd = static_cast<long double>(squares) -
            static_cast<long double>(offset_squared) / static_cast<long double>(n);
    }
    s.standard_deviation =
        static_cast<double>(Scaled(std::sqrt(ssd / static_cast<long double>(n - 1)), low));
  }
  s.smallest = static_cast<double>(Scaled(static_cast<long double>(scaled[smallest]), low));
  s.largest = static_cast<double>(Scaled(static_cast<long double>(scaled[largest]), low));
  s.smallest_index = static_cast<std::int64_t>(smallest);
  s.largest_index = static_cast<std::int64_t>(largest);
  s.range = static_cast<double>(
      Scaled(ToLongDouble(static_cast<Int128>(scaled[largest]) - scaled[smallest]), low));
  // The median by selection: the middle one, or the mean of the two in the middle.
  const auto middle = scaled.begin() + n / 2;
  std::nth_element(scaled.begin(), middle, scaled.end());
  Int128 twice = 2 * static_cast<Int128>(*middle);
  if (n % 2 == 0) twice = static_cast<Int128>(*std::max_element(scaled.begin(), middle)) + *middle;
  s.median = static_cast<double>(Scaled(ToLongDouble(twice) / 2, low));
  return true;
}

void StatisticsCollector::Compensated(SeriesStatistics& s) {
  s.exact = false;
  const auto n = static_cast<std::int64_t>(values_.size());
  CompensatedSum sum;
  std::size_t smallest = 0;
  std::size_t largest = 0;
  for (std::size_t i = 0; i < values_.size(); ++i) {
    sum.Add(values_[i]);
    if (values_[i] < values_[smallest]) smallest = i;
    if (values_[i] > values_[largest]) largest = i;
  }
  const double first_mean = sum.Value() / static_cast<double>(n);
  // Second pass: the distances from the first mean correct it and give the spread.
  CompensatedSum distances;
  CompensatedSum squares;
  for (const double x : values_) {
    const double d = x - first_mean;
    distances.Add(d);
    squares.Add(d * d);
  }
  const double correction = distances.Value() / static_cast<double>(n);
  s.mean = first_mean + correction;
  if (n >= 2) {
    const double ssd = squares.Value() - distances.Value() * correction;
    s.standard_deviation = std::sqrt(std::max(ssd, 0.0) / static_cast<double>(n - 1));
  }
  s.smallest = values_[smallest];
  s.largest = values_[largest];
  s.smallest_index = static_cast<std::int64_t>(smallest);
  s.largest_index = static_cast<std::int64_t>(largest);
  s.range = s.largest - s.smallest;
  const auto middle = values_.begin() + n / 2;
  std::nth_element(values_.begin(), middle, values_.end());
  s.median = n % 2 ? *middle : (*std::max_element(values_.begin(), middle) / 2 + *middle / 2);
}

double StudentT975(std::int64_t degrees) {
  const boost::math::students_t distribution(static_cast<double>(degrees));
  return boost::math::quantile(distribution, 0.975);
}

std::string ShortestText(double value, char separator) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, result.ptr);
  for (char& c : text) {
    if (c == '.') c = separator;
  }
  return text;
}

}  // namespace messwerte
