#pragma once

#include <cstdint>

#include "kept_values.h"
#include "measurement_list.h"

namespace messwerte {

// The results of the latest presses, as the operations leave them; all zero at start. Every
// operation sets what it reads before reading it, or runs the operation that sets it, so nothing
// carries over from one press to the next.
struct Auswertung {
  std::int32_t Zeile = 0;   // line position shared by count, extreme scans and reset
  std::int32_t Anzahl = 0;  // number of values found by the last count or mean
  float Mittelwert = 0;
  float Messwert = 0;  // the value an extreme scan read last
  float Groesster = 0;
  float Kleinster = 0;
  long double Summe = 0;  // running sum, kept unrounded so long series stay exact
  float QuadrMittelwert = 0;
};

// What the operations see of the window: the list, the six output fields, the decimal separator
// of the user's locale, and the values the window keeps from its list between presses.
struct Form {
  MeasurementList& Memo1;
  OutputField& edtAnzahl;
  OutputField& edtMittelwert;
  OutputField& edtQuadr_Mittelwe;
  OutputField& edtGroessterMessw;
  OutputField& edtKleinsterMessw;
  OutputField& edtAbweichung;
  char Dezimaltrenner;
  KeptValues& kept_values;
};

// The values are the lines before the first empty one. Every operation throws Exception on a
// line that is no number in single-precision range, or on a result out of range; what it changed
// before that stays changed.

// Count of the values into edtAnzahl.
void btnAnzahlClick(Form& form, Auswertung& state);
// Mean into edtMittelwert, then the count into edtAnzahl.
void btnMittelwertClick(Form& form, Auswertung& state);
// Count, then the largest value into edtGroessterMessw.
void btnGroessterMesswClick(Form& form, Auswertung& state);
// Count, then the smallest value into edtKleinsterMessw.
void brnKleinsterMesswClick(Form& form, Auswertung& state);
// Mean, smallest, largest, then the larger distance of an extreme from the mean in percent of
// the mean into edtAbweichung.
void btnAbweichungClick(Form& form, Auswertung& state);
// Mean, then the root mean square into edtQuadr_Mittelwe.
void btnquadr_MittelwertClick(Form& form, Auswertung& state);
// Empties the lines from line 0 up to the first empty one, keeping their breaks.
void btnMemoResetClick(Form& form, Auswertung& state);

}  // namespace messwerte
