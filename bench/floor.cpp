// The floor that `messwerte --auswerten` is measured against: the plainest single pass to the
// six numbers. read() in blocks of 1 MiB, each line parsed to double with fast_float, the count,
// the sums in long double, the smallest and largest value kept on the way; then the six lines as
// the command line prints them under the C locale. Values with '.' only, one a line, LF breaks;
// the series ends at the first empty line.

#include <fast_float/fast_float.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "number_text.h"

namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;

struct Sums {
  long long count = 0;
  long double sum = 0;
  long double squares = 0;
  double smallest = 0;
  double largest = 0;
  bool bad = false;
  bool ended = false;
};

// Takes the complete lines of [begin, end); returns where the unfinished last line starts.
const char* TakeLines(const char* begin, const char* end, bool last, Sums& sums) {
  while (begin < end && !sums.ended) {
    const char* newline = static_cast<const char*>(std::memchr(begin, '\n', end - begin));
    if (!newline) {
      if (!last) return begin;
      newline = end;
    }
    if (newline == begin) {
      sums.ended = true;
      break;
    }
    double value;
    const auto result = fast_float::from_chars(begin, newline, value);
    if (result.ec != std::errc() || result.ptr != newline) {
      sums.bad = true;
    } else {
      sums.sum += value;
      sums.squares += static_cast<long double>(value) * value;
      if (sums.count == 0 || value < sums.smallest) sums.smallest = value;
      if (sums.count == 0 || value > sums.largest) sums.largest = value;
    }
    ++sums.count;
    begin = newline + 1;
  }
  return end;
}

}  // namespace

int main(int argc, char** argv) {
  const int fd = argc == 2 ? open(argv[1], O_RDONLY | O_CLOEXEC) : 0;
  if (fd < 0) {
    std::fprintf(stderr, "messwerte-floor: %s: %s\n", argv[1], std::strerror(errno));
    return 2;
  }
  std::vector<char> buffer(2 * kBlock);
  std::size_t kept = 0;
  Sums sums;
  for (;;) {
    if (buffer.size() - kept < kBlock) buffer.resize(kept + kBlock);
    const ssize_t got = read(fd, buffer.data() + kept, kBlock);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return 2;
    const char* end = buffer.data() + kept + got;
    const char* rest = TakeLines(buffer.data(), end, got == 0, sums);
    kept = static_cast<std::size_t>(end - rest);
    std::memmove(buffer.data(), rest, kept);
    if (got == 0 || sums.ended) break;
  }
  if (sums.bad || sums.count == 0) {
    std::fprintf(stderr, "messwerte-floor: keine Messwerte oder ein ungültiger Wert\n");
    return 1;
  }
  const auto mean = static_cast<float>(sums.sum / sums.count);
  const auto rms = static_cast<float>(std::sqrt(sums.squares / sums.count));
  const auto smallest = static_cast<float>(sums.smallest);
  const auto largest = static_cast<float>(sums.largest);
  const float larger = std::fmax(std::fabs(static_cast<long double>(largest) - mean),
                                 std::fabs(static_cast<long double>(mean) - smallest));
  const auto percent = static_cast<float>(larger * 100.0L / std::fabs(mean));
  std::printf(
      "Anzahl: %lld\nMittelwert: %s\nQuadratischer Mittelwert: %s\nGrößter Messwert: %s\n"
      "Kleinster Messwert: %s\nProzentuale Abweichung: %s\n",
      sums.count, messwerte::FloatToStr(mean, '.').c_str(), messwerte::FloatToStr(rms, '.').c_str(),
      messwerte::FloatToStr(largest, '.').c_str(), messwerte::FloatToStr(smallest, '.').c_str(),
      messwerte::FloatToStr(percent, '.').c_str());
  return 0;
}
