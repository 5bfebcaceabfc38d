#pragma once

#include <cstdio>
#include <random>
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

// Lines like 123.4567, about a fifth of them negative, each followed by a break; another seed
// gives another text.
inline std::string Values(int count, unsigned seed = 1) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> spread(-0.25, 1.0), factor(1.0, 9.9999);
  const double magnitudes[] = {1, 10, 100, 1000};
  std::string text;
  for (int i = 0; i < count; ++i) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.4f\n",
                  spread(random) * magnitudes[random() % 4] * factor(random));
    text += buffer;
  }
  return text;
}

}  // namespace bench
