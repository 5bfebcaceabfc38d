#include "formulas.h"

namespace messwerte {

std::string ValueMessage(std::string_view text, int k, ParseStatus status) {
  const char* what = status == ParseStatus::kNotANumber ? " ist kein gültiger Gleitkommawert"
                                                        : " liegt außerhalb des Wertebereichs";
  return QuoteForMessage(text) + what + " (Zeile " + std::to_string(k + 1) + ").";
}

void RefuseValue(std::string_view text, int k, ParseStatus status) {
  throw Exception(ValueMessage(text, k, status), k);
}

}  // namespace messwerte
