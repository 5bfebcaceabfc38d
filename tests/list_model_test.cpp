#include "list_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What the listener heard of one change, the removed lines copied.
struct Heard {
  int first;
  std::vector<std::string> removed;
  int inserted;
  bool operator==(const Heard&) const = default;
};

void Record(ListModel& model, std::vector<Heard>& heard) {
  model.SetListener([&heard](const LinesChanged& change) {
    heard.push_back(
        {change.first, {change.removed.begin(), change.removed.end()}, change.inserted});
  });
}

struct OffsetCase {
  const char* name;
  const char* text;
  TextPosition position;
  std::int64_t offset;
};

class Utf16OffsetTest : public testing::TestWithParam<OffsetCase> {};

TEST_P(Utf16OffsetTest, OffsetAndPositionAgree) {
  ListModel model;
  model.SetText(GetParam().text);
  EXPECT_EQ(model.Utf16Offset(GetParam().position), GetParam().offset);
  EXPECT_EQ(model.PositionAtUtf16(GetParam().offset), GetParam().position);
}

// "ä" is two bytes and one unit, "€" three bytes and one unit, "😀" four bytes and two units.
INSTANTIATE_TEST_SUITE_P(
    Cases, Utf16OffsetTest,
    testing::Values(OffsetCase{"start", "1\n2", {0, 0}, 0},
                    OffsetCase{"end_of_first_line", "12\n3", {0, 2}, 2},
                    OffsetCase{"second_line", "12\n3", {1, 0}, 3},
                    OffsetCase{"after_umlaut", "ä1\n2", {0, 2}, 1},
                    OffsetCase{"after_euro", "€\n2", {1, 1}, 3},
                    OffsetCase{"after_emoji", "\xf0\x9f\x98\x80x\ny", {0, 5}, 3},
                    OffsetCase{"line_after_emoji", "\xf0\x9f\x98\x80x\ny", {1, 1}, 5},
                    OffsetCase{"empty_lines", "\n\n\n", {3, 0}, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ListModelTest, ListenerHearsSetTextWithAllOldLines) {
  ListModel model;
  model.SetText("1\n2");
  std::vector<Heard> heard;
  Record(model, heard);
  model.SetText("3");
  EXPECT_EQ(heard, (std::vector<Heard>{{0, {"1", "2"}, 1}}));
}

}  // namespace
