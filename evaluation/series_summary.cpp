#include "series_summary.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>

#include "exception.h"
#include "formulas.h"

namespace messwerte {

void SeriesSummary::Fault(std::string_view line, ParseStatus status) {
  fault_line_ = count_;
  fault_status_ = status == ParseStatus::kOk ? ParseStatus::kOutOfRange : status;
  fault_text_.assign(line);
}

namespace {

// Adds `n` values to the sums in their order and keeps the extremes as the window compares
// them, in single precision; of equal ones the first stays. Out of line and without a call
// inside, so that the extended sums stay in registers.
template <typename Totals>
[[gnu::noinline]] void Accumulate(const long double* values, int n, Totals& totals) {
  if (n == 0) return;
  long double sum = totals.sum, squares = totals.squares;
  float largest = totals.largest, smallest = totals.smallest;
  int i = 0;
  if (!totals.any) {
    largest = smallest = static_cast<float>(values[0]);
    sum += values[0];
    squares += values[0] * values[0];
    i = 1;
  }
  for (; i < n; ++i) {
    const long double value = values[i];
    sum += value;
    squares += value * value;
    const auto single = static_cast<float>(value);
    if (single > largest) largest = single;
    if (single < smallest) smallest = single;
  }
  totals.sum = sum;
  totals.squares = squares;
  totals.largest = largest;
  totals.smallest = smallest;
  totals.any = true;
}

}  // namespace

void SeriesSummary::Flush() {
  Accumulate(batch_.data(), batched_, totals_);
  batched_ = 0;
}

bool SeriesSummary::Add(std::string_view line) {
  if (ended_) return false;
  // A list of the window holds fewer lines than an int counts; the series ends where a file
  // holds more.
  if (line.empty() || count_ == INT32_MAX - 1) {
    ended_ = true;
    return false;
  }
  if (fault_line_ < 0) {
    const ParseResult result = ParseNumber(line, separator_);
    if (result.status != ParseStatus::kOk || !FitsSingle(result.value)) {
      Fault(line, result.status);
    } else {
      batch_[static_cast<std::size_t>(batched_)] = result.value;
      if (++batched_ == kBatch) Flush();
    }
  }
  ++count_;
  return true;
}

std::size_t SeriesSummary::AddLines(std::string_view text, bool last) {
  const char* const data = text.data();
  const std::size_t size = text.size();
  const bool any_cr = size != 0 && std::memchr(data, '\r', size) != nullptr;
  std::size_t begin = 0;
  while (begin < size && !ended_) {
    std::size_t end;
    if (!any_cr) {
      const void* found = std::memchr(data + begin, '\n', size - begin);
      end = found ? static_cast<std::size_t>(static_cast<const char*>(found) - data) : size;
    } else {
      end = text.find_first_of("\r\n", begin);
      if (end == std::string_view::npos) end = size;
    }
    // A line without its break yet, or a CR whose LF may still come, waits for more text.
    if (!last && (end == size || (text[end] == '\r' && end + 1 == size))) return begin;
    Add(text.substr(begin, end - begin));
    begin = end + (end + 1 < size && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
  }
  return ended_ ? size : std::min(begin, size);
}

SeriesSummary::Fields SeriesSummary::Finish() {
  Flush();
  Fields fields;
  auto& [count, mean, quadratic, largest, smallest, deviation] = fields.texts;
  const auto fail = [&fields](const std::string& message) {
    for (const std::string& error : fields.errors)
      if (error == message) return;
    fields.errors.push_back(message);
  };

  count = IntToStr(count_);
  if (fault_line_ >= 0) {
    // Every operation but the count reads the values up to the faulty line and stops there.
    fail(ValueMessage(fault_text_, fault_line_, fault_status_));
    return fields;
  }
  // The quadratic mean and the deviation start with the mean: where it fails, they fail alike.
  float mean_value = 0;
  bool has_mean = false;
  try {
    mean_value = Mean(totals_.sum, count_);
    mean = FloatToStr(mean_value, separator_);
    has_mean = true;
  } catch (const std::exception& e) {
    fail(e.what());
  }
  if (has_mean) {
    try {
      quadratic =
          FloatToStr(count_ == 0 ? 0.0f : RootMeanSquare(totals_.squares, count_), separator_);
    } catch (const std::exception& e) {
      fail(e.what());
    }
  }
  if (count_ == 0) {
    fail("Die Liste enthält keine Messwerte.");
    return fields;
  }
  largest = FloatToStr(totals_.largest, separator_);
  smallest = FloatToStr(totals_.smallest, separator_);
  if (has_mean) {
    try {
      const float below = Distance(mean_value, totals_.smallest);
      const float above = Distance(totals_.largest, mean_value);
      deviation = FloatToStr(DeviationPercent(mean_value, below, above), separator_);
    } catch (const std::exception& e) {
      fail(e.what());
    }
  }
  return fields;
}

}  // namespace messwerte
