#pragma once

#include <array>

#include "evaluation.h"

namespace messwerte {

// The six evaluating buttons from top to bottom: the order in which the command line and a press
// of every button run them, with the label a result is printed under and the operation.
// The one-pass summary of the command line computes the same results from its totals.
enum class Result { kCount, kMean, kQuadratic, kLargest, kSmallest, kDeviation };

struct Press {
  Result result;
  const char* label;
  void (*operation)(Form& form, Auswertung& state);
};

inline constexpr std::array<Press, 6> kPresses{{
    {Result::kCount, "Anzahl", btnAnzahlClick},
    {Result::kMean, "Mittelwert", btnMittelwertClick},
    {Result::kQuadratic, "Quadratischer Mittelwert", btnquadr_MittelwertClick},
    {Result::kLargest, "Größter Messwert", btnGroessterMesswClick},
    {Result::kSmallest, "Kleinster Messwert", brnKleinsterMesswClick},
    {Result::kDeviation, "Prozentuale Abweichung", btnAbweichungClick},
}};

}  // namespace messwerte
