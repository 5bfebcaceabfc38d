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
#include "number_text.h"
#include "platform.h"

namespace messwerte {
namespace {

// A chunk fills one huge page: 2 MiB where long double has 16 bytes, less where it has fewer.
constexpr std::size_t kChunk = std::size_t{1} << 17;
constexpr std::size_t kChunkBytes = kChunk * sizeof(long double);
constexpr std::size_t kChunkAlignment = std::size_t{1} << 21;
// Converted values used while still in the first-level cache: 64 KiB.
constexpr int kBlock = 4096;
static_assert(kChunk % kBlock == 0);

}  // namespace

KeptValues::KeptValues() = default;
KeptValues::~KeptValues() = default;

void KeptValues::Free::operator()(long double* chunk) const noexcept {
  platform::FreeAligned(chunk, kChunkAlignment);
}

KeptValues& KeptValues::Follow(Form& form) {
  const std::uint64_t revision = form.Memo1.Revision();
  if (revision != revision_ || form.Dezimaltrenner != separator_) {
    revision_ = revision;
    separator_ = form.Dezimaltrenner;
    count_ = 0;  // the chunks stay: allocating them anew costs page faults
    first_empty_ = -1;
  }
  return *this;
}

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

// Converts and keeps the lines before `end` not kept yet, up to the first empty line; returns
// `end` or the empty line.
int KeptValues::Keep(Form& form, int end) {
  while (count_ < static_cast<std::size_t>(end)) {
    if (first_empty_ >= 0) return first_empty_;  // known: no need to read it again
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

void KeptValues::Append(long double value) {
  if (count_ / kChunk == chunks_.size()) {
    // Reserved first, so that a failing allocation leaves no chunk unowned.
    chunks_.reserve(chunks_.size() + 1);
    chunks_.emplace_back(
        static_cast<long double*>(platform::AllocateAligned(kChunkBytes, kChunkAlignment)));
    platform::AdviseHugePages(chunks_.back().get(), kChunkBytes);
  }
  chunks_[count_ / kChunk][count_ % kChunk] = value;
  ++count_;
}

namespace {

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
  form.kept_values.Follow(form).ForEach(
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
  const int known = form.kept_values.Follow(form).FirstEmpty();
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
  KeptValues& kept = form.kept_values.Follow(form);
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
    form.kept_values.Follow(form).ForEach(form, 0, state.Anzahl,
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
