#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "number_text.h"
#include "presses.h"

namespace messwerte {

// What the six evaluating buttons of the window show for a list, gathered in one pass over its
// lines as they come, without keeping them: the same additions in the same order as the
// window's operations, so the same digits.
class SeriesSummary {
 public:
  explicit SeriesSummary(char separator) : SeriesSummary(separator, separator) {}
  // Reads numbers with `read_separator` and writes the six texts with `print_separator`.
  SeriesSummary(char read_separator, char print_separator)
      : read_separator_(read_separator), separator_(print_separator) {}

  // Takes the next line. False from the first empty line on: the series has ended there, later
  // lines take part in nothing.
  bool Add(std::string_view line);

  // Takes the lines of a file that stand at `first_line` (from 1) and after: messages name those
  // lines.
  void Add(std::span<const std::string_view> lines, std::int64_t first_line);

  // Takes the lines of `text`, parted at LF, CR LF or CR, up to its last break; all of it when
  // `last`. Returns how many bytes it took: the rest is the start of a line still to come.
  std::size_t AddLines(std::string_view text, bool last);

  bool Ended() const { return ended_; }

  // The line that is no value, once one has come: its text as read, to be given as UTF-8 before
  // Finish where it was read in another encoding.
  bool HasFault() const { return fault_line_ > 0; }
  std::string& FaultText() { return fault_text_; }

  struct Fields {
    // The texts of the window's fields after a press of each button in the order of kPresses;
    // empty for a press that failed.
    std::array<std::string, 6> texts;
    // The messages of the failed presses, each once, in order.
    std::vector<std::string> errors;
  };
  Fields Finish();

 private:
  // Values wait in a batch and are added up in a loop without calls, where the sums stay in
  // registers, as the window's operations do.
  static constexpr int kBatch = 4096;

  void Fault(std::string_view line, ParseStatus status, std::int64_t number);
  // Reads `line` into the batch, or keeps it as the fault; false where the series ends there.
  bool Take(std::string_view line, std::int64_t number);
  std::string Text(Result result) const;
  void Flush();

  char read_separator_;
  char separator_;
  bool ended_ = false;
  std::int32_t count_ = 0;  // lines before the first empty one
  struct Totals {
    long double sum = 0;
    long double squares = 0;
    float largest = 0;
    float smallest = 0;
    bool any = false;
  } totals_;
  std::array<long double, kBatch> batch_;
  int batched_ = 0;
  std::int64_t fault_line_ = 0;  // from 1; 0 before a fault
  ParseStatus fault_status_ = ParseStatus::kOk;
  std::string fault_text_;
};

}  // namespace messwerte
