#include "evaluation.h"

#include <cmath>
#include <string>

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

long double ReadValue(Form& form, int k) {
  return ToValue(form.Memo1.ReadLine(k), k, form.Dezimaltrenner);
}

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
  state.Anzahl = 0;
  state.Summe = 0;
  for (std::string_view text = form.Memo1.ReadLine(0); !text.empty();
       text = form.Memo1.ReadLine(state.Anzahl)) {
    state.Summe += ToValue(text, state.Anzahl, form.Dezimaltrenner);
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
  state.Zeile = 0;
  while (!form.Memo1.ReadLine(state.Zeile).empty()) {
    form.Memo1.ReplaceLine(state.Zeile, {});
    ++state.Zeile;
  }
}

}  // namespace messwerte
