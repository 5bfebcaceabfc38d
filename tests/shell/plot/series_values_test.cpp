// The plot's values follow the list through its changes: what a long list's edits leave is
// summed up as if every line were read again.

#include "series_values.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <ostream>
#include <string>

namespace {

constexpr int kLines = 10000;  // more than two of the blocks that are summed up apart

struct EditCase {
  const char* name;
  std::function<void(ListModel&)> edit;
};

void PrintTo(const EditCase& c, std::ostream* out) { *out << c.name; }

// Puts `text` in place of the text from `from` to `to`.
void Replace(ListModel& model, TextPosition from, TextPosition to, const std::string& text) {
  model.Select(from, to);
  model.Insert(text);
}

int Length(const ListModel& model, int k) { return static_cast<int>(model.Line(k).size()); }

class Edits : public testing::TestWithParam<EditCase> {};

TEST_P(Edits, SumUpAsReadAnew) {
  ListModel model;
  std::string text;
  for (int k = 0; k < kLines; ++k) text += std::to_string(k % 977) + ".25\n";
  model.SetText(text);
  SeriesValues followed('.');
  model.SetListener([&](const ListModel::LinesChanged& change) {
    followed.Replace(model, change.first, static_cast<int>(change.removed.size()),
                     change.inserted);
  });
  followed.Reset(model);
  followed.Summarise(followed.End(model));  // summed up before the edit, as the plot does

  GetParam().edit(model);

  SeriesValues fresh('.');
  fresh.Reset(model);
  const SeriesValues::Summary got = followed.Summarise(followed.End(model));
  const SeriesValues::Summary want = fresh.Summarise(fresh.End(model));
  EXPECT_EQ(followed.Values().size(), fresh.Values().size());
  EXPECT_EQ(got.end, want.end);
  EXPECT_EQ(got.count, want.count);
  EXPECT_EQ(got.first_no_number, want.first_no_number);
  EXPECT_EQ(got.smallest_line, want.smallest_line);
  EXPECT_EQ(got.largest_line, want.largest_line);
  EXPECT_NEAR(got.mean, want.mean, 1e-12 * std::abs(want.mean));
  EXPECT_NEAR(got.standard_deviation, want.standard_deviation,
              1e-12 * want.standard_deviation);
}

INSTANTIATE_TEST_SUITE_P(
    LongList, Edits,
    testing::Values(
        EditCase{"digit_typed",
                 [](ListModel& m) {
                   const TextPosition at{5000, Length(m, 5000)};
                   Replace(m, at, at, "7");
                 }},
        EditCase{"new_largest_in_the_last_block",
                 [](ListModel& m) { Replace(m, {9000, 0}, {9000, Length(m, 9000)}, "5000"); }},
        EditCase{"line_broken_in_two",
                 [](ListModel& m) { Replace(m, {100, 1}, {100, 1}, "\n"); }},
        EditCase{"lines_joined_across_blocks",
                 [](ListModel& m) { Replace(m, {4095, Length(m, 4095)}, {4096, 0}, ""); }},
        EditCase{"no_number_typed", [](ListModel& m) { Replace(m, {20, 0}, {20, 0}, "x"); }},
        EditCase{"line_emptied_ends_the_series",
                 [](ListModel& m) { Replace(m, {6000, 0}, {6000, Length(m, 6000)}, ""); }},
        EditCase{"empty_line_filled_again",
                 [](ListModel& m) {
                   Replace(m, {6000, 0}, {6000, Length(m, 6000)}, "");
                   Replace(m, {6000, 0}, {6000, 0}, "-3");
                 }},
        EditCase{"many_lines_pasted",
                 [](ListModel& m) {
                   std::string lines;
                   for (int k = 0; k < 5000; ++k) lines += std::to_string(k) + "\n";
                   Replace(m, {3000, 0}, {3000, 0}, lines);
                 }},
        EditCase{"most_lines_removed",
                 [](ListModel& m) { Replace(m, {10, 0}, {9990, 0}, ""); }}),
    [](const testing::TestParamInfo<EditCase>& info) { return info.param.name; });

}  // namespace
