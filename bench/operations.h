#pragma once

#include <string>
#include <string_view>

#include "evaluation.h"
#include "measurement_list.h"

namespace bench {

// A button's operation: its name on the command line, its button in the window, the function.
struct Operation {
  std::string_view name;
  const char* button;
  void (*run)(messwerte::Form&, messwerte::Auswertung&);
};

// In the order of the window's buttons.
constexpr Operation kOperations[] = {
    {"anzahl", "btnAnzahl", messwerte::btnAnzahlClick},
    {"mittelwert", "btnMittelwert", messwerte::btnMittelwertClick},
    {"quadr", "btnquadr_Mittelwert", messwerte::btnquadr_MittelwertClick},
    {"groesster", "btnGroessterMessw", messwerte::btnGroessterMesswClick},
    {"kleinster", "brnKleinsterMessw", messwerte::brnKleinsterMesswClick},
    {"abweichung", "btnAbweichung", messwerte::btnAbweichungClick},
    {"reset", "btnMemoReset", messwerte::btnMemoResetClick},
};

// An output field that keeps its text in memory.
class Field final : public messwerte::OutputField {
 public:
  void SetText(std::string_view text) override { text_.assign(text); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace bench
