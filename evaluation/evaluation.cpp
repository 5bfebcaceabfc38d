#include "evaluation.h"

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "exception.h"
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

// The values of the press under way. One press reads the same lines more than once (the
// deviation runs the mean and both scans, the quadratic value the mean and its own pass), and no
// line can change while it runs, so the values read in order from line 0 are kept until the
// outermost operation ends, and each line is converted once.
class PressValues {
 public:
  // Held by every operation that converts lines; the outermost one opens and ends the press.
  class Scope {
   public:
    explicit Scope(const Form& form) {
      if (press_.depth_++ == 0) press_.Start(&form);
    }
    ~Scope() {
      if (--press_.depth_ == 0) press_.Start(nullptr);
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
  };

  // Line k's value, converted from `text` unless it was converted earlier in this press.
  static long double Value(const Form& form, int k, std::string_view text) {
    if (press_.Holds(form, k)) return press_.At(k);
    const long double value = ToValue(text, k, form.Dezimaltrenner);
    if (press_.Serves(form) && static_cast<std::size_t>(k) == press_.count_) press_.Append(value);
    return value;
  }
  static long double Value(Form& form, int k) {
    if (press_.Holds(form, k)) return press_.At(k);
    return Value(form, k, form.Memo1.ReadLine(k));
  }
  // The list has changed: nothing kept holds any more.
  static void Forget() { press_.count_ = 0; }

 private:
  static constexpr std::size_t kChunk = std::size_t{1} << 16;

  void Start(const Form* form) {
    list_ = form ? &form->Memo1 : nullptr;
    separator_ = form ? form->Dezimaltrenner : '\0';
    count_ = 0;
    // The chunks stay for the next press: allocating them anew costs page faults.
  }
  bool Serves(const Form& form) const {
    return depth_ > 0 && list_ == &form.Memo1 && separator_ == form.Dezimaltrenner;
  }
  bool Holds(const Form& form, int k) const {
    return k >= 0 && static_cast<std::size_t>(k) < count_ && Serves(form);
  }
  long double At(int k) const {
    const auto i = static_cast<std::size_t>(k);
    return chunks_[i / kChunk][i % kChunk];
  }
  void Append(long double value) {
    if (count_ % kChunk == 0 && count_ / kChunk == chunks_.size())
      chunks_.push_back(std::make_unique_for_overwrite<long double[]>(kChunk));
    chunks_[count_ / kChunk][count_ % kChunk] = value;
    ++count_;
  }

  static thread_local PressValues press_;
  int depth_ = 0;
  const MeasurementList* list_ = nullptr;
  char separator_ = '\0';
  std::size_t count_ = 0;
  std::vector<std::unique_ptr<long double[]>> chunks_;
};

thread_local PressValues PressValues::press_;

long double ReadValue(Form& form, int k) { return PressValues::Value(form, k); }

void Show(OutputField& field, float value, char separator) {
  field.SetText(FloatToStr(value, separator));
}

// Counts, then scans the values for an extreme; the first value starts it, and a later one
// replaces it only when `better` (strictly), so of equal extremes the first stays.
void ScanExtreme(Form& form, Auswertung& state, float Auswertung::*extreme,
                 bool (*better)(float value, float current)) {
  btnAnzahlClick(form, state);
  if (state.Anzahl == 0) throw Exception("Die Liste enthält keine Messwerte.");
  for (state.Zeile = 0; state.Zeile < state.Anzahl; ++state.Zeile) {
    state.Messwert = static_cast<float>(ReadValue(form, state.Zeile));
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
  const PressValues::Scope press(form);
  state.Anzahl = 0;
  state.Summe = 0;
  for (std::string_view text = form.Memo1.ReadLine(0); !text.empty();
       text = form.Memo1.ReadLine(state.Anzahl)) {
    state.Summe += PressValues::Value(form, state.Anzahl, text);
    ++state.Anzahl;
  }
  state.Mittelwert = state.Anzahl != 0 ? StoreSingle(state.Summe / state.Anzahl) : 0.0f;
  Show(form.edtMittelwert, state.Mittelwert, form.Dezimaltrenner);
  form.edtAnzahl.SetText(IntToStr(state.Anzahl));
}

void btnGroessterMesswClick(Form& form, Auswertung& state) {
  const PressValues::Scope press(form);
  ScanExtreme(form, state, &Auswertung::Groesster,
              [](float value, float current) { return value > current; });
  Show(form.edtGroessterMessw, state.Groesster, form.Dezimaltrenner);
}

void brnKleinsterMesswClick(Form& form, Auswertung& state) {
  const PressValues::Scope press(form);
  ScanExtreme(form, state, &Auswertung::Kleinster,
              [](float value, float current) { return value < current; });
  Show(form.edtKleinsterMessw, state.Kleinster, form.Dezimaltrenner);
}

void btnAbweichungClick(Form& form, Auswertung& state) {
  const PressValues::Scope press(form);
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
  const PressValues::Scope press(form);
  btnMittelwertClick(form, state);
  if (state.Anzahl == 0) {
    state.QuadrMittelwert = 0;
  } else {
    long double squares = 0;
    for (int k = 0; k < state.Anzahl; ++k) {
      const long double value = ReadValue(form, k);
      squares += value * value;
    }
    state.QuadrMittelwert = StoreSingle(std::sqrt(squares / state.Anzahl));
  }
  Show(form.edtQuadr_Mittelwe, state.QuadrMittelwert, form.Dezimaltrenner);
}

void btnMemoResetClick(Form& form, Auswertung& state) {
  PressValues::Forget();
  state.Zeile = 0;
  while (!form.Memo1.ReadLine(state.Zeile).empty()) {
    form.Memo1.ReplaceLine(state.Zeile, {});
    ++state.Zeile;
  }
}

}  // namespace messwerte
