#include "series_summary.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>

#include "exception.h"
#include "formulas.h"
#include "measurement_list.h"
#include "presses.h"

namespace messwerte {

void SeriesSummary::Fault(std::string_view line, ParseStatus status, std::int64_t number) {
  fault_line_ = number;
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

inline bool SeriesSummary::Take(std::string_view line, std::int64_t number) {
  // A list of the window holds fewer lines than an int counts; the series ends where a file
  // holds more.
  if (line.empty() || count_ == INT32_MAX - 1) {
    ended_ = true;
    return false;
  }
  if (fault_line_ == 0) {
    const ParseResult result = ParseNumber(line, read_separator_);
    if (result.status != ParseStatus::kOk || !FitsSingle(result.value)) {
      Fault(line, result.status, number);
    } else {
      batch_[static_cast<std::size_t>(batched_)] = result.value;
      if (++batched_ == kBatch) Flush();
    }
  }
  ++count_;
  return true;
}

bool SeriesSummary::Add(std::string_view line) {
  if (ended_) return false;
  return Take(line, std::int64_t{count_} + 1);
}

void SeriesSummary::Add(std::span<const std::string_view> lines, std::int64_t first_line) {
  std::size_t i = 0;
  while (i < lines.size() && !ended_) {
    if (fault_line_ == 0) {
      // Plain numbers straight into the batch; any other line takes the way of a single one.
      const std::size_t room = std::min({lines.size() - i, std::size_t{kBatch} - batched_,
                                         std::size_t{INT32_MAX - 1} - count_});
      const std::size_t n =
          ParsePlainNumbers(lines.subspan(i, room), read_separator_, batch_.data() + batched_);
      batched_ += static_cast<int>(n);
      count_ += static_cast<std::int32_t>(n);
      i += n;
      if (batched_ == kBatch) Flush();
      if (n == room && n > 0) continue;
      if (i == lines.size()) break;
    }
    if (!Take(lines[i], first_line + static_cast<std::int64_t>(i))) return;
    ++i;
  }
}

std::size_t SeriesSummary::AddLines(std::string_view text, bool last) {
  // A CR at the end waits: its LF may still come.
  std::size_t cut = text.size();
  if (!last)
    while (cut > 0 && text[cut - 1] == '\r') --cut;
  const LineViews lines = SplitLines(text.substr(0, cut), LineBreaks::kAny);
  // The last piece is a line without its break yet, or, at the end, the empty text after the
  // last break, which starts no further line.
  std::size_t complete = lines.size() - 1;
  std::size_t taken = static_cast<std::size_t>(lines.back().data() - text.data());
  if (last) {
    complete = lines.back().empty() ? complete : lines.size();
    taken = text.size();
  }
  for (std::size_t i = 0; i < complete && !ended_; ++i) Add(lines[i]);
  return ended_ ? text.size() : taken;
}

// What the press of `result` shows, from the totals: each throws where its operation in the window
// throws, and a press that runs another first (the mean, the extremes) fails with it.
std::string SeriesSummary::Text(Result result) const {
  if (result == Result::kCount) return IntToStr(count_);
  // Every operation but the count reads the values up to the faulty line and stops there.
  if (fault_line_ > 0) {
    throw Exception(ValueMessage(
        fault_text_, static_cast<int>(std::min<std::int64_t>(fault_line_ - 1, INT_MAX)),
        fault_status_));
  }
  const float mean = Mean(totals_.sum, count_);
  switch (result) {
    case Result::kMean:
      return FloatToStr(mean, separator_);
    case Result::kQuadratic:
      return FloatToStr(RootMeanSquare(totals_.squares, count_), separator_);
    case Result::kLargest:
      RequireValues(count_);
      return FloatToStr(totals_.largest, separator_);
    case Result::kSmallest:
      RequireValues(count_);
      return FloatToStr(totals_.smallest, separator_);
    case Result::kDeviation: {
      RequireValues(count_);
      const float below = Distance(mean, totals_.smallest);
      const float above = Distance(totals_.largest, mean);
      return FloatToStr(DeviationPercent(mean, below, above), separator_);
    }
    case Result::kCount:
      break;
  }
  return IntToStr(count_);
}

SeriesSummary::Fields SeriesSummary::Finish() {
  Flush();
  Fields fields;
  for (std::size_t i = 0; i < kPresses.size(); ++i) {
    try {
      fields.texts[i] = Text(kPresses[i].result);
    } catch (const std::exception& e) {
      const std::string message = e.what();
      if (std::find(fields.errors.begin(), fields.errors.end(), message) == fields.errors.end())
        fields.errors.push_back(message);
    }
  }
  return fields;
}

}  // namespace messwerte
