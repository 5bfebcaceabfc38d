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
  // Works out again only the blocks of lines that changed since the last call.
  Summary Summarise(int end);

 private:
  // What a summary needs of a stretch of lines: its values' count, mean and sum of squared
  // distances from that mean, which the stretches' figures give for the whole when merged.
  struct Part {
    std::int64_t count = 0;
    int first_no_number = -1;
    double mean = 0;
    double squares = 0;
    int smallest_line = -1;
    int largest_line = -1;
    bool current = false;  // worked out since its lines last changed
  };
  static constexpr int kBlock = 4096;

  double Read(const ListModel& model, int k) const;
  Part Gather(int from, int to) const;
  void Merge(Part& into, const Part& next) const;
  void Outdate(int first_block, int last_block);

  char separator_;
  std::vector<double> values_;
  SeriesEnd end_;
  std::vector<Part> blocks_;  // of the lines kBlock · b to kBlock · (b + 1) − 1
};
