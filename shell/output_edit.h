#pragma once

#include <QLineEdit>
#include <string_view>

#include "measurement_list.h"

// A single-line field that the evaluation writes its results into.
class OutputEdit : public QLineEdit, public messwerte::OutputField {
 public:
  explicit OutputEdit(QWidget* parent = nullptr) : QLineEdit(parent) {}

  void SetText(std::string_view text) override {
    setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  }
};
