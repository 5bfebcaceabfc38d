#include "measurement_list.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>

#include "blocks16.h"
#include "huge_pages.h"

namespace messwerte {

std::uint64_t NewRevision() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

namespace {

using blocks16::Matches;

std::size_t CountLineFeeds(std::string_view all) {
  std::size_t count = 0, i = 0;
  for (; i + 16 <= all.size(); i += 16)
    count += static_cast<std::size_t>(std::popcount(Matches(all.data() + i, '\n')));
  return count + static_cast<std::size_t>(
                     std::count(all.begin() + static_cast<std::ptrdiff_t>(i), all.end(), '\n'));
}

}  // namespace

LineList::LineList(std::string text) : text_(std::move(text)), revision_(NewRevision()) {
  const std::string_view all = text_;
  if (all.empty()) return;
  const bool any_cr = all.find('\r') != std::string_view::npos;
  lines_.reserve(CountLineFeeds(all) + 1);
  AdviseHugePages(lines_.data(), lines_.capacity() * sizeof lines_[0]);
  std::size_t begin = 0;
  // A line ends at the break at `at`; CR LF is one break, so its LF, when it comes, lies before
  // the next line's start and is passed over.
  const auto line_break = [&](std::size_t at) {
    if (at < begin) return;
    lines_.push_back(all.substr(begin, at - begin));
    begin = at + (all[at] == '\r' && at + 1 < all.size() && all[at + 1] == '\n' ? 2 : 1);
  };
  std::size_t i = 0;
  // Sixteen bytes at a time: lines are short, a search call for each would cost more.
  for (; i + 16 <= all.size(); i += 16) {
    unsigned breaks = Matches(all.data() + i, '\n');
    if (any_cr) breaks |= Matches(all.data() + i, '\r');
    for (; breaks != 0; breaks &= breaks - 1)
      line_break(i + static_cast<std::size_t>(std::countr_zero(breaks)));
  }
  for (; i < all.size(); ++i)
    if (all[i] == '\n' || (any_cr && all[i] == '\r')) line_break(i);
  // A break at the very end leaves an empty last line, as in a text field.
  lines_.push_back(all.substr(begin));
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
