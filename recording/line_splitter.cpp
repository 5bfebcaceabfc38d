#include "line_splitter.h"

#include <algorithm>

namespace recording {

void LineSplitter::Feed(std::string_view bytes,
                        const std::function<void(std::string_view, bool)>& line) {
  if (end_ != LineEnd::kFound) found_ = end_;
  std::size_t i = 0;
  if (after_cr_ && !bytes.empty()) {
    after_cr_ = false;
    if (found_ == LineEnd::kFound) found_ = bytes[0] == '\n' ? LineEnd::kCrLf : LineEnd::kCr;
    if (bytes[0] == '\n') i = 1;
  }
  const auto finish = [&](std::string_view tail) {
    if (rest_.empty()) {
      line(tail, overlong_);
    } else {
      rest_.append(tail);
      line(rest_, overlong_);
      rest_.clear();
    }
    overlong_ = false;
  };
  while (i < bytes.size()) {
    std::size_t end;   // where the line ends in `bytes`
    std::size_t next;  // where the next one begins
    if (end_ == LineEnd::kFound) {
      end = bytes.find_first_of("\r\n", i);
      if (end == std::string_view::npos) break;
      next = end + 1;
      if (bytes[end] == '\r') {
        if (next == bytes.size()) {
          after_cr_ = true;
        } else {
          if (found_ == LineEnd::kFound)
            found_ = bytes[next] == '\n' ? LineEnd::kCrLf : LineEnd::kCr;
          if (bytes[next] == '\n') ++next;
        }
      } else if (found_ == LineEnd::kFound) {
        found_ = LineEnd::kLf;
      }
    } else if (end_ == LineEnd::kCrLf) {
      // A CR that ended the last piece may begin the line end.
      if (i == 0 && !rest_.empty() && rest_.back() == '\r' && bytes[0] == '\n') {
        rest_.pop_back();
        finish({});
        i = 1;
        continue;
      }
      end = bytes.find("\r\n", i);
      if (end == std::string_view::npos) break;
      next = end + 2;
    } else {
      end = bytes.find(end_ == LineEnd::kLf ? '\n' : '\r', i);
      if (end == std::string_view::npos) break;
      next = end + 1;
    }
    finish(bytes.substr(i, end - i));
    i = next;
  }
  rest_.append(bytes.substr(std::min(i, bytes.size())));
  // Of a line without end only so much is kept; it is handed on as overlong when it ends.
  if (rest_.size() > kLongest) {
    rest_.clear();
    overlong_ = true;
  }
}

}  // namespace recording
