#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace recording {

enum class LineEnd { kFound, kLf, kCrLf, kCr };

// Parts the bytes of a stream into lines, however the stream cuts them into pieces. With kFound
// a line ends at LF, CR LF or CR alike (CR LF once, even across two pieces), and the first line
// end met is told by Found(); otherwise only at the line end set.
class LineSplitter {
 public:
  // Of a longer line only its end is handed on, marked as overlong.
  static constexpr std::size_t kLongest = 64 * 1024;

  explicit LineSplitter(LineEnd end = LineEnd::kFound) : end_(end) {}

  // Calls line(text, overlong) for each line that `bytes` completes, without its line end.
  void Feed(std::string_view bytes,
            const std::function<void(std::string_view line, bool overlong)>& line);
  // The bytes of an unfinished line.
  std::string_view Rest() const { return rest_; }
  // The line end set, or the first one met; kFound while none is.
  LineEnd Found() const { return found_; }

 private:
  LineEnd end_;
  LineEnd found_ = LineEnd::kFound;
  std::string rest_;
  bool after_cr_ = false;  // the last piece ended a line with CR; an LF next belongs to it
  bool overlong_ = false;  // the line under way was already longer than kLongest
};

}  // namespace recording
