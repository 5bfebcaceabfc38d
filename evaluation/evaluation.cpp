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
  RequireValues(state.Anzahl);
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
  long double squares = 0;
  form.kept_values.Follow(form).ForEach(form, 0, state.Anzahl,
                                        [&squares](int, const long double* values, int n) {
                                          squares = AddUpSquares(values, n, squares);
                                        });
  state.QuadrMittelwert = RootMeanSquare(squares, state.Anzahl);
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
