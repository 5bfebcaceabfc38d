#include "measurement_list.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>

#include "blocks16.h"

namespace messwerte {

std::uint64_t NewRevision() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

using blocks16::Matches;

std::size_t CountLineFeeds(std::string_view all) {
  std::size_t count = 0, i = 0;
  for (; i + 16 <= all.size(); i += 16)
    count += static_cast<std::size_t>(std::popcount(Matches(all.data() + i, '\n')));
  return count + static_cast<std::size_t>(
                     std::count(all.begin() + static_cast<std::ptrdiff_t>(i), all.end(), '\n'));
}

LineViews SplitLines(std::string_view all, LineBreaks breaks) {
  LineViews lines;
  SplitLines(all, breaks, lines);
  return lines;
}

void SplitLines(std::string_view all, LineBreaks breaks, LineViews& lines) {
  const bool any_cr = breaks != LineBreaks::kLineFeed && all.find('\r') != std::string_view::npos;
  const bool any_separator = (breaks == LineBreaks::kUnicode || breaks == LineBreaks::kFile) &&
                             all.find("\xe2\x80") != std::string_view::npos;
  const bool cr_cr_lf = breaks == LineBreaks::kFile;
  // A new vector gets room for every line at once; one used again keeps its room and grows.
  if (lines.capacity() == 0) lines.reserve(CountLineFeeds(all) + 1);
  lines.clear();
  std::size_t begin = 0;
  // A line ends at a break that begins at `at`. A break's later bytes, such as the LF of CR LF,
  // lie before the next line's start and are passed over; a lead byte of U+2028 or U+2029 begins
  // no break unless the two bytes after it complete one of them.
  const auto line_break = [&](std::size_t at) __attribute__((always_inline)) {
    if (at < begin) return;
    std::size_t length = 1;
    if (all[at] == '\r') {
      if (at + 1 < all.size() && all[at + 1] == '\n') {
        length = 2;
      } else if (cr_cr_lf && at + 2 < all.size() && all[at + 1] == '\r' && all[at + 2] == '\n') {
        length = 3;
      }
    } else if (all[at] == '\xe2') {
      if (at + 2 >= all.size() || all[at + 1] != '\x80' ||
          (all[at + 2] != '\xa8' && all[at + 2] != '\xa9')) {
        return;
      }
      length = 3;
    }
    lines.push_back(all.substr(begin, at - begin));
    begin = at + length;
  };
  std::size_t i = 0;
  // Sixteen bytes at a time: lines are short, a search call for each would cost more.
  for (; i + 16 <= all.size(); i += 16) {
    unsigned found = Matches(all.data() + i, '\n');
    if (any_cr) found |= Matches(all.data() + i, '\r');
    if (any_separator) found |= Matches(all.data() + i, '\xe2');
    for (; found != 0; found &= found - 1)
      line_break(i + static_cast<std::size_t>(std::countr_zero(found)));
  }
  for (; i < all.size(); ++i) {
    const char c = all[i];
    if (c == '\n' || (any_cr && c == '\r') || (any_separator && c == '\xe2')) line_break(i);
  }
  // A break at the very end leaves an empty last line, as in a text field.
  lines.push_back(all.substr(begin));
}

LineList::LineList(std::string text) : text_(std::move(text)), revision_(NewRevision()) {
  if (!text_.empty()) lines_ = SplitLines(text_, LineBreaks::kAny);
}

void LineList::ReplaceLine(int k, std::string_view text) {
  if (k < 0 || k >= LineCount()) return;
  revision_ = NewRevision();
  lines_[static_cast<std::size_t>(k)] =
      text.empty() ? std::string_view() : replaced_.emplace_back(text);
}

std::string LineList::Text() const {
  std::string joined;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i) joined += '\n';
    joined += lines_[i];
  }
  return joined;
}

}  // namespace messwerte
