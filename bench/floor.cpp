// The floor that `messwerte --auswerten` is measured against: the fastest plain single pass to
// the six numbers. read() in blocks of 1 MiB; a batch of 4,096 lines parsed to double with
// fast_float, whose returned pointer already stands on the line's end, so no search for it;
// then the batch added in a second loop without calls, the sums in long double and the
// extremes kept as floats; then the six lines as the command line prints them under the C
// locale. Values with '.' only, one a line, LF breaks; the series ends at the first empty line.

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
constexpr int kBatch = 4096;

struct Sums {
  long long count = 0;
  long double sum = 0;
  long double squares = 0;
  float smallest = 0;
  float largest = 0;
  bool bad = false;
  bool ended = false;
};

// Adds a batch; out of line and without a call inside, so that the sums stay in registers.
[[gnu::noinline]] void Add(const double* values, int n, Sums& sums) {
  long double sum = sums.sum, squares = sums.squares;
  float smallest = sums.smallest, largest = sums.largest;
  int i = 0;
  if (sums.count == 0 && n > 0) smallest = largest = static_cast<float>(values[0]);
  for (; i < n; ++i) {
    const long double value = values[i];
    sum += value;
    squares += value * value;
    const auto single = static_cast<float>(values[i]);
    if (single < smallest) smallest = single;
    if (single > largest) largest = single;
  }
  sums.sum = sum;
  sums.squares = squares;
  sums.smallest = smallest;
  sums.largest = largest;
  sums.count += n;
}

// Takes the complete lines of [begin, end); returns where the unfinished last line starts.
const char* TakeLines(const char* begin, const char* end, bool last, Sums& sums) {
  static double values[kBatch];
  while (begin < end && !sums.ended) {
    int n = 0;
    while (n < kBatch && begin < end) {
      if (*begin == '\n') {
        sums.ended = true;
        break;
      }
      const auto result = fast_float::from_chars(begin, end, values[n]);
      // A line cut by the block's end (even after a lone sign) goes on in the next block.
      if (!last && (result.ptr == end ||
                    (result.ec != std::errc() && !std::memchr(begin, '\n', end - begin)))) {
        Add(values, n, sums);
        return begin;  // the line goes on in the next block
      }
      if (result.ec != std::errc() || (result.ptr != end && *result.ptr != '\n')) {
        sums.bad = true;
        sums.ended = true;
        break;
      }
      ++n;
      begin = result.ptr + 1;
    }
    Add(values, n, sums);
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
  const float larger = std::fmax(std::fabs(static_cast<long double>(sums.largest) - mean),
                                 std::fabs(static_cast<long double>(mean) - sums.smallest));
  const auto percent = static_cast<float>(larger * 100.0L / std::fabs(mean));
  std::printf(
      "Anzahl: %lld\nMittelwert: %s\nQuadratischer Mittelwert: %s\nGrößter Messwert: %s\n"
      "Kleinster Messwert: %s\nProzentuale Abweichung: %s\n",
      sums.count, messwerte::FloatToStr(mean, '.').c_str(), messwerte::FloatToStr(rms, '.').c_str(),
      messwerte::FloatToStr(sums.largest, '.').c_str(),
      messwerte::FloatToStr(sums.smallest, '.').c_str(),
      messwerte::FloatToStr(percent, '.').c_str());
  return 0;
}
