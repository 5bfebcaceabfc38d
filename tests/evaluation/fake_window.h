#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "evaluation.h"
#include "measurement_list.h"

namespace messwerte {

// Field name and text of every write, in order.
using Writes = std::vector<std::pair<std::string, std::string>>;

// An output field that logs every write into a log shared by all six.
class RecordingField : public OutputField {
 public:
  RecordingField(std::string name, Writes& log) : name_(std::move(name)), log_(log) {}
  void SetText(std::string_view text) override { log_.emplace_back(name_, std::string(text)); }

 private:
  std::string name_;
  Writes& log_;
};

using Operation = void (*)(Form&, Auswertung&);

// The window as the operations see it, with its list given as text written with '.'.
struct FakeWindow {
  explicit FakeWindow(const std::string& text, char separator = '.')
      : list(Localised(text, separator)), form{list,      anzahl,     mittelwert, quadr, groesster,
                                               kleinster, abweichung, separator,  kept} {}

  static std::string Localised(std::string text, char separator) {
    for (char& c : text)
      if (c == '.') c = separator;
    return text;
  }

  Writes writes;
  LineList list;
  RecordingField anzahl{"edtAnzahl", writes};
  RecordingField mittelwert{"edtMittelwert", writes};
  RecordingField quadr{"edtQuadr_Mittelwe", writes};
  RecordingField groesster{"edtGroessterMessw", writes};
  RecordingField kleinster{"edtKleinsterMessw", writes};
  RecordingField abweichung{"edtAbweichung", writes};
  KeptValues kept;
  Form form;
  Auswertung state;
};

}  // namespace messwerte
