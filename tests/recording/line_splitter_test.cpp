// Lines from a stream however it is cut into pieces: each line end, a CR LF split between two
// pieces, and a line longer than is kept.

#include "line_splitter.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using recording::LineEnd;
using recording::LineSplitter;

struct Case {
  const char* name;
  LineEnd end;
  std::string bytes;
  std::vector<std::string> lines;
  std::string rest;
  LineEnd found;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::vector<std::string> Feed(LineSplitter& splitter, const std::vector<std::string>& pieces) {
  std::vector<std::string> lines;
  for (const std::string& piece : pieces) {
    splitter.Feed(piece, [&lines](std::string_view line, bool overlong) {
      EXPECT_FALSE(overlong);
      lines.emplace_back(line);
    });
  }
  return lines;
}

class LineSplitterTest : public testing::TestWithParam<Case> {};

// Whole, and cut at every place into two pieces, and byte by byte.
TEST_P(LineSplitterTest, GivesTheSameLinesForAnyPieces) {
  const Case& c = GetParam();
  std::vector<std::vector<std::string>> cuts = {{c.bytes}, {}};
  for (char byte : c.bytes) cuts.back().emplace_back(1, byte);
  for (std::size_t at = 1; at < c.bytes.size(); ++at)
    cuts.push_back({c.bytes.substr(0, at), c.bytes.substr(at)});
  for (const auto& pieces : cuts) {
    LineSplitter splitter(c.end);
    EXPECT_EQ(Feed(splitter, pieces), c.lines) << pieces.size() << " pieces";
    EXPECT_EQ(splitter.Rest(), c.rest);
    EXPECT_EQ(splitter.Found(), c.found);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, LineSplitterTest,
    testing::Values(
        Case{"LF", LineEnd::kFound, "1\n2\n\n3", {"1", "2", ""}, "3", LineEnd::kLf},
        Case{"CR LF", LineEnd::kFound, "1\r\n2\r\n\r\n", {"1", "2", ""}, "", LineEnd::kCrLf},
        Case{"CR", LineEnd::kFound, "1\r2\r\r", {"1", "2", ""}, "", LineEnd::kCr},
        Case{"CR LF set keeps a lone CR",
             LineEnd::kCrLf,
             "1\r2\r\n3\n4\r\n",
             {"1\r2", "3\n4"},
             "",
             LineEnd::kCrLf},
        Case{"LF set keeps the CR", LineEnd::kLf, "1\r\n2\r\n", {"1\r", "2\r"}, "", LineEnd::kLf},
        Case{"CR set", LineEnd::kCr, "1\r\n2\r", {"1", "\n2"}, "", LineEnd::kCr}));

TEST(LineSplitter, KeepsOnlyTheEndOfAnOverlongLine) {
  LineSplitter splitter;
  const std::string noise(LineSplitter::kLongest + 10, 'x');
  std::vector<std::pair<std::string, bool>> lines;
  const auto take = [&lines](std::string_view line, bool overlong) {
    lines.emplace_back(line, overlong);
  };
  splitter.Feed(noise, take);
  splitter.Feed("yz\n5\n", take);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(lines[0].second);
  EXPECT_EQ(lines[1], std::make_pair(std::string("5"), false));
}

}  // namespace
