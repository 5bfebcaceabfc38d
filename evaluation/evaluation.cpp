#include "evaluation.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "exception.h"
#include "formulas.h"
#include "huge_pages.h"
#include "number_text.h"

namespace messwerte {
namespace {

// The values of the lines converted so far, in order from line 0, for one text of the list (its
// revision) read with one separator. Presses read the same lines again and again: the deviation
// runs the mean and both scans, and the next button usually finds the list unchanged. So each
// line of a text is converted once, and a changed text starts afresh.
class KeptValues {
 public:
  // Makes the values those of the list's current text; call it once an operation, before the
  // first ForEach: the text cannot change while the operation runs.
  KeptValues& Follow(Form& form) {
    const std::uint64_t revision = form.Memo1.Revision();
    if (revision != revision_ || form.Dezimaltrenner != separator_) {
      revision_ = revision;
      separator_ = form.Dezimaltrenner;
      count_ = 0;  // the chunks stay: allocating them anew costs page faults
      first_empty_ = -1;
    }
    return *this;
  }

  // The line of the text's first empty line, once a ForEach has come to it; else -1.
  int FirstEmpty() const { return first_empty_; }

  // Calls use(k, values, n) with the values of lines k, k + 1, ... k + n - 1, block after block,
  // for the lines from `from` before `to` and before the first empty line, converting the lines
  // not kept yet; `from` must be 0 or where a former call stopped. A line that is no value
  // throws once the values before it were used. Returns the line it stopped at.
  template <typename Use>
  int ForEach(Form& form, int from, int to, Use use) {
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

 private:
  // A chunk fills one huge page: 2 MiB.
  static constexpr std::size_t kChunk = std::size_t{1} << 17;
  static constexpr std::size_t kChunkBytes = kChunk * sizeof(long double);
  // Converted values used while still in the first-level cache: 64 KiB.
  static constexpr int kBlock = 4096;
  static_assert(kChunk % kBlock == 0);

  struct Free {
    void operator()(long double* chunk) const { std::free(chunk); }
  };

  // Converts and keeps the lines before `end` not kept yet, up to the first empty line; returns
  // `end` or the empty line.
  int Keep(Form& form, int end) {
    while (count_ < static_cast<std::size_t>(end)) {
      const int k = static_cast<int>(count_);
      const std::string_view text = form.Memo1.ReadLine(k);
      if (text.empty()) {
        first_empty_ = k;
        return k;
      }
      Append(ToValue(text, k, form.Dezimaltrenner));
    }
    return end;
  }

  void Append(long double value) {
    if (count_ / kChunk == chunks_.size()) {
      auto* chunk = static_cast<long double*>(std::aligned_alloc(kChunkBytes, kChunkBytes));
      if (!chunk) throw std::bad_alloc();
      AdviseHugePages(chunk, kChunkBytes);
      chunks_.emplace_back(chunk);
    }
    chunks_[count_ / kChunk][count_ % kChunk] = value;
    ++count_;
  }

  std::uint64_t revision_ = 0;  // no list has this one
  char separator_ = '\0';
  std::size_t count_ = 0;
  int first_empty_ = -1;
  std::vector<std::unique_ptr<long double[], Free>> chunks_;
};

KeptValues kept_values;

// The loops over a block of values are functions of their own, without a call inside: an
// extended sum then stays in a register, where a call in the loop would store and load it again
// for every value (no x87 register survives a call).
[[gnu::noinline]] long double AddUp(const long double* values, int n, long double sum) {
  for (int i = 0; i < n; ++i) sum += values[i];
  return sum;
}

[[gnu::noinline]] long double AddUpSquares(const long double* values, int n, long double sum) {
  for (int i = 0; i < n; ++i) sum += values[i] * values[i];
  return sum;
}

void Show(OutputField& field, float value, char separator) {
  field.SetText(FloatToStr(value, separator));
}

// Counts, then scans the values for an extreme; the first value starts it, and a later one
// replaces it only when `better` (strictly), so of equal extremes the first stays.
template <typename Better>
void ScanExtreme(Form& form, Auswertung& state, float Auswertung::*extreme, Better better) {
  btnAnzahlClick(form, state);
  if (state.Anzahl == 0) throw Exception("Die Liste enthält keine Messwerte.");
  state.Zeile = 0;
  kept_values.Follow(form).ForEach(
      form, 0, state.Anzahl,
      [&state, extreme, better](int first, const long double* values, int n) {
        for (int i = 0; i < n; ++i) {
          state.Messwert = static_cast<float>(values[i]);
          if (first + i == 0 || better(state.Messwert, state.*extreme))
            state.*extreme = state.Messwert;
          state.Zeile = first + i + 1;
        }
      });
}

}  // namespace

void btnAnzahlClick(Form& form, Auswertung& state) {
  // The first empty line is known when an operation on the same text has come to it.
  const int known = kept_values.Follow(form).FirstEmpty();
  if (known >= 0) {
    state.Zeile = known + 1;
  } else {
    state.Zeile = 0;
    while (!form.Memo1.ReadLine(state.Zeile++).empty()) {
    }
  }
  state.Anzahl = state.Zeile - 1;
  form.edtAnzahl.SetText(IntToStr(state.Anzahl));
}

void btnMittelwertClick(Form& form, Auswertung& state) {
  KeptValues& kept = kept_values.Follow(form);
  state.Anzahl = 0;
  state.Summe = 0;
  long double sum = 0;
  int count = 0;
  try {
    kept.ForEach(form, 0, INT_MAX, [&sum, &count](int first, const long double* values, int n) {
      sum = AddUp(values, n, sum);
      count = first + n;
    });
  } catch (...) {
    // What was added up before the faulty line stays.
    state.Summe = sum;
    state.Anzahl = count;
    throw;
  }
  state.Summe = sum;
  state.Anzahl = count;
  state.Mittelwert = Mean(state.Summe, state.Anzahl);
  Show(form.edtMittelwert, state.Mittelwert, form.Dezimaltrenner);
  form.edtAnzahl.SetText(IntToStr(state.Anzahl));
}

void btnGroessterMesswClick(Form& form, Auswertung& state) {
  ScanExtreme(form, state, &Auswertung::Groesster,
              [](float value, float current) { return value > current; });
  Show(form.edtGroessterMessw, state.Groesster, form.Dezimaltrenner);
}

void brnKleinsterMesswClick(Form& form, Auswertung& state) {
  ScanExtreme(form, state, &Auswertung::Kleinster,
              [](float value, float current) { return value < current; });
  Show(form.edtKleinsterMessw, state.Kleinster, form.Dezimaltrenner);
}

void btnAbweichungClick(Form& form, Auswertung& state) {
  btnMittelwertClick(form, state);
  brnKleinsterMesswClick(form, state);
  const float below = Distance(state.Mittelwert, state.Kleinster);
  btnGroessterMesswClick(form, state);
  const float above = Distance(state.Groesster, state.Mittelwert);
  const float percent = DeviationPercent(state.Mittelwert, below, above);
  Show(form.edtAbweichung, percent, form.Dezimaltrenner);
}

void btnquadr_MittelwertClick(Form& form, Auswertung& state) {
  btnMittelwertClick(form, state);
  if (state.Anzahl == 0) {
    state.QuadrMittelwert = 0;
  } else {
    long double squares = 0;
    kept_values.Follow(form).ForEach(form, 0, state.Anzahl,
                                     [&squares](int, const long double* values, int n) {
                                       squares = AddUpSquares(values, n, squares);
                                     });
    state.QuadrMittelwert = RootMeanSquare(squares, state.Anzahl);
  }
  Show(form.edtQuadr_Mittelwe, state.QuadrMittelwert, form.Dezimaltrenner);
}

void btnMemoResetClick(Form& form, Auswertung& state) {
  state.Zeile = 0;
  while (!form.Memo1.ReadLine(state.Zeile).empty()) {
    form.Memo1.ReplaceLine(state.Zeile, {});
    ++state.Zeile;
  }
}

}  // namespace messwerte
