#include "measurement_list.h"

namespace messwerte {

LineList::LineList(std::string text) : text_(std::move(text)) {
  const std::string_view all = text_;
  std::size_t begin = 0;
  while (begin < all.size()) {
    const std::size_t brk = all.find_first_of("\r\n", begin);
    if (brk == std::string_view::npos) {
      lines_.push_back(all.substr(begin));
      return;
    }
    lines_.push_back(all.substr(begin, brk - begin));
    begin = brk + (all[brk] == '\r' && brk + 1 < all.size() && all[brk + 1] == '\n' ? 2 : 1);
  }
  // A break at the very end leaves an empty last line, as in a text field.
  if (!all.empty()) lines_.emplace_back();
}

std::string_view LineList::ReadLine(int k) {
  return k >= 0 && k < LineCount() ? lines_[static_cast<std::size_t>(k)] : std::string_view();
}

void LineList::ReplaceLine(int k, std::string_view text) {
  if (k < 0 || k >= LineCount()) return;
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
