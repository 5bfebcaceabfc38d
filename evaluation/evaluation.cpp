#include "evaluation.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "exception.h"
#include "huge_pages.h"
#include "number_text.h"

namespace messwerte {
namespace {

// Halfway between FLT_MAX and 2^128: anything at or beyond it rounds to infinity in single.
constexpr long double kSingleLimit = 0x1.ffffffp127L;

bool FitsSingle(long double value) { return std::fabs(value) < kSingleLimit; }

float StoreSingle(long double value) {
  if (!FitsSingle(value)) throw Exception("Das Ergebnis liegt außerhalb des Wertebereichs.");
  return static_cast<float>(value);
}

// The text of line k as a number; throws with the text and the line's number as the user counts
// it (from 1).
long double ToValue(std::string_view text, int k, char separator) {
  const ParseResult result = ParseNumber(text, separator);
  if (result.status == ParseStatus::kOk && FitsSingle(result.value)) return result.value;
  const char* what = result.status == ParseStatus::kNotANumber
                         ? " ist kein gültiger Gleitkommawert"
                         : " liegt außerhalb des Wertebereichs";
  throw Exception(QuoteForMessage(text) + what + " (Zeile " + std::to_string(k + 1) + ").", k);
}

// The values of the lines converted so far, in order from line 0, for one text of the list (its
// revision) read with one separator. Presses read the same lines again and again: the deviation
// runs the mean and both scans, and the next button usually finds the list unchanged. So each
// line of a text is converted once, and a changed text starts afresh.
class KeptValues {
 public:
  // Makes the values those of the list's current text; call it once an operation, before the
  // first Value: the text cannot change while the operation runs.
  KeptValues& Follow(Form& form) {
    const std::uint64_t revision = form.Memo1.Revision();
    if (revision != revision_ || form.Dezimaltrenner != separator_) {
      revision_ = revision;
      separator_ = form.Dezimaltrenner;
      count_ = 0;  // the chunks stay: allocating them anew costs page faults
    }
    return *this;
  }

  // Line k's value; `text` is line k's text.
  long double Value(Form& form, int k, std::string_view text) {
    const auto line = static_cast<std::size_t>(k);
    if (line < count_) return At(line);
    const long double value = ToValue(text, k, form.Dezimaltrenner);
    if (line == count_) Append(value);
    return value;
  }

  long double Value(Form& form, int k) {
    const auto line = static_cast<std::size_t>(k);
    return line < count_ ? At(line) : Value(form, k, form.Memo1.ReadLine(k));
  }

 private:
  // A chunk fills one huge page: 2 MiB.
  static constexpr std::size_t kChunk = std::size_t{1} << 17;
  static constexpr std::size_t kChunkBytes = kChunk * sizeof(long double);

  struct Free {
    void operator()(long double* chunk) const { std::free(chunk); }
  };

  long double At(std::size_t line) const { return chunks_[line / kChunk][line % kChunk]; }
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
  std::vector<std::unique_ptr<long double[], Free>> chunks_;
};

KeptValues kept_values;

void Show(OutputField& field, float value, char separator) {
  field.SetText(FloatToStr(value, separator));
}

// Counts, then scans the values for an extreme; the first value starts it, and a later one
// replaces it only when `better` (strictly), so of equal extremes the first stays.
template <typename Better>
void ScanExtreme(Form& form, Auswertung& state, float Auswertung::*extreme, Better better) {
  btnAnzahlClick(form, state);
  if (state.Anzahl == 0) throw Exception("Die Liste enthält keine Messwerte.");
  KeptValues& kept = kept_values.Follow(form);
  for (state.Zeile = 0; state.Zeile < state.Anzahl; ++state.Zeile) {
    state.Messwert = static_cast<float>(kept.Value(form, state.Zeile));
    if (state.Zeile == 0 || better(state.Messwert, state.*extreme)) state.*extreme = state.Messwert;
  }
}

}  // namespace

void btnAnzahlClick(Form& form, Auswertung& state) {
  state.Zeile = 0;
  while (!form.Memo1.ReadLine(state.Zeile++).empty()) {
  }
  state.Anzahl = state.Zeile - 1;
  form.edtAnzahl.SetText(IntToStr(state.Anzahl));
}

void btnMittelwertClick(Form& form, Auswertung& state) {
  KeptValues& kept = kept_values.Follow(form);
  state.Anzahl = 0;
  state.Summe = 0;
  for (std::string_view text = form.Memo1.ReadLine(0); !text.empty();
       text = form.Memo1.ReadLine(state.Anzahl)) {
    state.Summe += kept.Value(form, state.Anzahl, text);
    ++state.Anzahl;
  }
  state.Mittelwert = state.Anzahl != 0 ? StoreSingle(state.Summe / state.Anzahl) : 0.0f;
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
  const float below = StoreSingle(std::fabs(static_cast<long double>(state.Mittelwert) -
                                            static_cast<long double>(state.Kleinster)));
  btnGroessterMesswClick(form, state);
  const float above = StoreSingle(std::fabs(static_cast<long double>(state.Groesster) -
                                            static_cast<long double>(state.Mittelwert)));
  if (state.Mittelwert == 0)
    throw Exception("Bei einem Mittelwert von 0 ist die prozentuale Abweichung nicht definiert.");
  const long double larger = above < below ? below : above;
  const float percent =
      StoreSingle(larger * 100.0f / std::fabs(static_cast<long double>(state.Mittelwert)));
  Show(form.edtAbweichung, percent, form.Dezimaltrenner);
}

void btnquadr_MittelwertClick(Form& form, Auswertung& state) {
  btnMittelwertClick(form, state);
  if (state.Anzahl == 0) {
    state.QuadrMittelwert = 0;
  } else {
    KeptValues& kept = kept_values.Follow(form);
    long double squares = 0;
    for (int k = 0; k < state.Anzahl; ++k) {
      const long double value = kept.Value(form, k);
      squares += value * value;
    }
    state.QuadrMittelwert = StoreSingle(std::sqrt(squares / state.Anzahl));
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
