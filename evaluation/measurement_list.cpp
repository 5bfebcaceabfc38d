#include "measurement_list.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "huge_pages.h"

namespace messwerte {

std::uint64_t NewRevision() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

LineList::LineList(std::string text) : text_(std::move(text)), revision_(NewRevision()) {
  const std::string_view all = text_;
  if (all.empty()) return;
  const bool any_cr = all.find('\r') != std::string_view::npos;
  lines_.reserve(static_cast<std::size_t>(std::count(all.begin(), all.end(), '\n')) + 1);
  AdviseHugePages(lines_.data(), lines_.capacity() * sizeof lines_[0]);
  const auto next_break = [&](std::size_t from) {
    if (!any_cr) return all.find('\n', from);
    const auto it = std::find_if(all.begin() + static_cast<std::ptrdiff_t>(from), all.end(),
                                 [](char c) { return c == '\n' || c == '\r'; });
    return it == all.end() ? std::string_view::npos : static_cast<std::size_t>(it - all.begin());
  };
  std::size_t begin = 0;
  while (true) {
    const std::size_t brk = next_break(begin);
    if (brk == std::string_view::npos) break;
    lines_.push_back(all.substr(begin, brk - begin));
    begin = brk + (all[brk] == '\r' && brk + 1 < all.size() && all[brk + 1] == '\n' ? 2 : 1);
  }
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
