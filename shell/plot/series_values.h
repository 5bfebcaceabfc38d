#pragma once

#include <cstdint>
#include <vector>

#include "list_model.h"
#include "series_end.h"

// The list's lines as numbers for the plot, kept in step with the list: a change reads again
// only the lines it replaced, so that typing on a long list stays quick.
class SeriesValues {
 public:
  explicit SeriesValues(char separator) : separator_(separator) {}

  // Reads every line of `model` anew.
  void Reset(const ListModel& model);
  // `removed` lines from `first` on were replaced by `inserted` lines of `model`.
  void Replace(const ListModel& model, int first, int removed, int inserted);

  // Per line: its value, or NaN for a line that is no number (an empty line too).
  const std::vector<double>& Values() const { return values_; }
  // The first line that no statistic reads: the first empty one.
  int End(const ListModel& model) { return end_.Find(model); }

  // What the plot draws from: the values before `end`, lines that are no number left out.
  struct Summary {
    int end = 0;               // lines that belong to the series
    std::int64_t count = 0;    // of them numbers
    int first_no_number = -1;  // the first line that is none, or -1
    double mean = 0;
    double standard_deviation = 0;  // 0 below two values
    int smallest_line = -1;
    int largest_line = -1;
  };
  Summary Summarise(int end) const;

 private:
  double Read(const ListModel& model, int k) const;

  char separator_;
  std::vector<double> values_;
  SeriesEnd end_;
};
