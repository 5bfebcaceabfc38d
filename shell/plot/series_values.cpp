#include "series_values.h"

#include <cmath>
#include <limits>

#include "number_text.h"

double SeriesValues::Read(const ListModel& model, int k) const {
  const std::string_view text = model.Line(k);
  if (text.empty()) return std::numeric_limits<double>::quiet_NaN();
  const messwerte::ParseResult read = messwerte::ParseNumber(text, separator_);
  if (read.status != messwerte::ParseStatus::kOk) return std::numeric_limits<double>::quiet_NaN();
  const auto value = static_cast<double>(read.value);
  return std::isfinite(value) ? value : std::numeric_limits<double>::quiet_NaN();
}

void SeriesValues::Reset(const ListModel& model) {
  values_.resize(static_cast<std::size_t>(model.LineCount()));
  for (int k = 0; k < model.LineCount(); ++k) values_[static_cast<std::size_t>(k)] = Read(model, k);
  end_.Changed(0);
}

void SeriesValues::Replace(const ListModel& model, int first, int removed, int inserted) {
  const auto at = values_.begin() + first;
  if (inserted > removed) {
    values_.insert(at + removed, static_cast<std::size_t>(inserted - removed), 0.0);
  } else if (removed > inserted) {
    values_.erase(at + inserted, at + removed);
  }
  for (int k = first; k < first + inserted; ++k)
    values_[static_cast<std::size_t>(k)] = Read(model, k);
  end_.Changed(first);
}

SeriesValues::Summary SeriesValues::Summarise(int end) const {
  Summary s;
  s.end = end;
  double sum = 0;
  for (int k = 0; k < end; ++k) {
    const double x = values_[static_cast<std::size_t>(k)];
    if (std::isnan(x)) {
      if (s.first_no_number < 0) s.first_no_number = k;
      continue;
    }
    ++s.count;
    sum += x;
    if (s.smallest_line < 0 || x < values_[static_cast<std::size_t>(s.smallest_line)]) {
      s.smallest_line = k;
    }
    if (s.largest_line < 0 || x > values_[static_cast<std::size_t>(s.largest_line)]) {
      s.largest_line = k;
    }
  }
  if (s.count == 0) return s;
  // Two passes: the distances from the first mean correct it and give the spread.
  const double first_mean = sum / static_cast<double>(s.count);
  double distances = 0;
  double squares = 0;
  for (int k = 0; k < end; ++k) {
    const double x = values_[static_cast<std::size_t>(k)];
    if (std::isnan(x)) continue;
    distances += x - first_mean;
    squares += (x - first_mean) * (x - first_mean);
  }
  const auto n = static_cast<double>(s.count);
  s.mean = first_mean + distances / n;
  if (s.count >= 2)
    s.standard_deviation = std::sqrt((squares - distances * distances / n) / (n - 1));
  return s;
}
