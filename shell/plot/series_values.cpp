#include "series_values.h"

#include <algorithm>
#include <climits>
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
  blocks_.clear();
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
  end_.Changed(first, removed, inserted);
  // Lines that moved change the blocks after them as well.
  const int last = removed == inserted ? first + std::max(inserted - 1, 0) : INT_MAX;
  Outdate(first / kBlock, last / kBlock);
}

void SeriesValues::Outdate(int first_block, int last_block) {
  const auto end = static_cast<int>(blocks_.size());
  for (int b = first_block; b < end && b <= last_block; ++b)
    blocks_[static_cast<std::size_t>(b)].current = false;
}

SeriesValues::Part SeriesValues::Gather(int from, int to) const {
  Part p;
  p.current = true;
  double sum = 0;
  for (int k = from; k < to; ++k) {
    const double x = values_[static_cast<std::size_t>(k)];
    if (std::isnan(x)) {
      if (p.first_no_number < 0) p.first_no_number = k;
      continue;
    }
    ++p.count;
    sum += x;
    if (p.smallest_line < 0 || x < values_[static_cast<std::size_t>(p.smallest_line)]) {
      p.smallest_line = k;
    }
    if (p.largest_line < 0 || x > values_[static_cast<std::size_t>(p.largest_line)]) {
      p.largest_line = k;
    }
  }
  if (p.count == 0) return p;
  // Two passes: the distances from the first mean correct it and give the spread.
  const auto n = static_cast<double>(p.count);
  const double first_mean = sum / n;
  double distances = 0;
  double squares = 0;
  for (int k = from; k < to; ++k) {
    const double x = values_[static_cast<std::size_t>(k)];
    if (std::isnan(x)) continue;
    distances += x - first_mean;
    squares += (x - first_mean) * (x - first_mean);
  }
  p.mean = first_mean + distances / n;
  p.squares = std::max(squares - distances * distances / n, 0.0);
  return p;
}

// `next` follows `into` in the list: on equal extremes the earlier line stays.
void SeriesValues::Merge(Part& into, const Part& next) const {
  if (into.first_no_number < 0) into.first_no_number = next.first_no_number;
  if (next.count == 0) return;
  if (into.count == 0) {
    const int first_no_number = into.first_no_number;
    into = next;
    into.first_no_number = first_no_number;
    return;
  }
  const auto value = [this](int line) { return values_[static_cast<std::size_t>(line)]; };
  if (value(next.smallest_line) < value(into.smallest_line)) into.smallest_line = next.smallest_line;
  if (value(next.largest_line) > value(into.largest_line)) into.largest_line = next.largest_line;
  const auto a = static_cast<double>(into.count);
  const auto b = static_cast<double>(next.count);
  const double delta = next.mean - into.mean;
  into.mean += delta * (b / (a + b));
  into.squares += next.squares + delta * delta * (a * b / (a + b));
  into.count += next.count;
}

SeriesValues::Summary SeriesValues::Summarise(int end) {
  const int whole = end / kBlock;
  if (static_cast<int>(blocks_.size()) < whole) blocks_.resize(static_cast<std::size_t>(whole));
  Part total;
  for (int b = 0; b < whole; ++b) {
    Part& block = blocks_[static_cast<std::size_t>(b)];
    if (!block.current) block = Gather(b * kBlock, (b + 1) * kBlock);
    Merge(total, block);
  }
  Merge(total, Gather(whole * kBlock, end));
  Summary s;
  s.end = end;
  s.count = total.count;
  s.first_no_number = total.first_no_number;
  s.smallest_line = total.smallest_line;
  s.largest_line = total.largest_line;
  s.mean = total.mean;
  if (total.count >= 2) s.standard_deviation = std::sqrt(total.squares / static_cast<double>(total.count - 1));
  return s;
}
