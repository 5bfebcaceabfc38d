#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

namespace messwerte {

struct Form;

// The values of the lines converted so far, in order from line 0, for one text of a list (its
// revision) read with one separator. Presses read the same lines again and again: the deviation
// runs the mean and both scans, and the next button usually finds the list unchanged. So each
// line of a text is converted once, and a changed text starts afresh. The window that owns the
// list owns one of these and hands it to the operations in its Form.
class KeptValues {
 public:
  KeptValues();
  ~KeptValues();
  KeptValues(const KeptValues&) = delete;
  KeptValues& operator=(const KeptValues&) = delete;

  // Makes the values those of the list's current text; call it once an operation, before the
  // first ForEach: the text cannot change while the operation runs.
  KeptValues& Follow(Form& form);

  // The line of the text's first empty line, once a ForEach has come to it; else -1.
  int FirstEmpty() const { return first_empty_; }

  // Calls use(k, values, n) with the values of lines k, k + 1, ... k + n - 1, block after block,
  // for the lines from `from` before `to` and before the first empty line, converting the lines
  // not kept yet; `from` must be 0 or where a former call stopped. A line that is no value
  // throws once the values before it were used. Returns the line it stopped at.
  template <typename Use>
  int ForEach(Form& form, int from, int to, Use use);

 private:
  // A chunk fills one huge page: 2 MiB where long double has 16 bytes, less where it has fewer.
  static constexpr std::size_t kChunk = std::size_t{1} << 17;
  static constexpr std::size_t kChunkBytes = kChunk * sizeof(long double);
  static constexpr std::size_t kChunkAlignment = std::size_t{1} << 21;
  // Converted values used while still in the first-level cache: 64 KiB.
  static constexpr int kBlock = 4096;
  static_assert(kChunk % kBlock == 0);

  struct Free {
    void operator()(long double* chunk) const noexcept;
  };

  int Keep(Form& form, int end);
  void Append(long double value);

  std::uint64_t revision_ = 0;  // no list has this one
  char separator_ = '\0';
  std::size_t count_ = 0;
  int first_empty_ = -1;
  std::vector<std::unique_ptr<long double[], Free>> chunks_;
};

template <typename Use>
int KeptValues::ForEach(Form& form, int from, int to, Use use) {
  while (from < to) {
    const int end = to - from > kBlock ? from + kBlock : to;
    int ready = end;
    std::exception_ptr fault;
    try {
      ready = Keep(form, end);
    } catch (...) {
      ready = static_cast<int>(count_);
      fault = std::current_exception();
    }
    // Blocks start at multiples of kBlock, so a block lies in one chunk.
    const auto first = static_cast<std::size_t>(from);
    if (ready > from) use(from, &chunks_[first / kChunk][first % kChunk], ready - from);
    if (fault) std::rethrow_exception(fault);
    if (ready < end) return ready;
    from = end;
  }
  return from;
}

}  // namespace messwerte
