#include "series_end.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Lines for SeriesEnd, checked against a plain search.
struct Lines {
  std::vector<std::string> lines;
  int LineCount() const { return static_cast<int>(lines.size()); }
  std::string_view Line(int k) const { return lines[static_cast<std::size_t>(k)]; }
  int End() const {
    int k = 0;
    while (k < LineCount() && !lines[static_cast<std::size_t>(k)].empty()) ++k;
    return k;
  }
};

// Random edits of every kind, each reported from its first line, against a fresh search.
TEST(SeriesEnd, FollowsEveryChange) {
  std::mt19937 random(20261207);
  const auto below = [&random](int n) {
    return static_cast<int>(random() % static_cast<unsigned>(n));
  };
  Lines lines{{"1", "2", "", "4"}};
  SeriesEnd end;
  ASSERT_EQ(end.Find(lines), 2);
  for (int round = 0; round < 5000; ++round) {
    const int count = lines.LineCount();
    const int k = below(count);
    const std::string text = below(3) == 0 ? std::string() : std::to_string(round);
    int removed = 0, inserted = 0;
    switch (below(3)) {
      case 0:
        lines.lines[static_cast<std::size_t>(k)] = text;
        removed = inserted = 1;
        break;
      case 1:
        lines.lines.insert(lines.lines.begin() + k, text);
        inserted = 1;
        break;
      default:
        if (count > 1) {
          lines.lines.erase(lines.lines.begin() + k);
          removed = 1;
        }
        break;
    }
    // Told with what it took and put in, or only where it began.
    if (below(2) == 0)
      end.Changed(k, removed, inserted);
    else
      end.Changed(k);
    if (below(4) == 0) continue;  // several changes before the next question
    ASSERT_EQ(end.Find(lines), lines.End()) << "after round " << round;
  }
  EXPECT_EQ(end.Find(lines), lines.End());
}

}  // namespace
