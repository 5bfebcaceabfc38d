#pragma once

#include <QLineEdit>
#include <QPalette>
#include <string_view>

#include "measurement_list.h"

// A single-line field that the evaluation writes its results into. A result that was written
// before the list last changed stays as it is, but is shown dimmed and says it is out of date.
class OutputEdit : public QLineEdit, public messwerte::OutputField {
 public:
  explicit OutputEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}

  void SetText(std::string_view text) override {
    setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    written_ = true;
    SetStale(false);
  }

  // The list has changed: what a press wrote here no longer belongs to it.
  void ListChanged() {
    if (written_) SetStale(true);
  }

  bool IsStale() const { return stale_; }

 private:
  void SetStale(bool stale) {
    if (stale == stale_) return;
    stale_ = stale;
    const QString note =
        stale ? QStringLiteral("Gehört nicht mehr zur aktuellen Liste") : QString();
    if (stale) {
      QPalette dimmed = palette();
      for (auto group : {QPalette::Active, QPalette::Inactive}) {
        dimmed.setColor(group, QPalette::Text, dimmed.color(group, QPalette::PlaceholderText));
      }
      setPalette(dimmed);
    } else {
      setPalette(QPalette());  // back to the window's colours
    }
    setToolTip(note);
    setAccessibleDescription(note);
  }

  bool written_ = false;  // by a press, since the window opened
  bool stale_ = false;
};
