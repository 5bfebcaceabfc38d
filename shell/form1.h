#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "evaluation.h"
#include "ui_form1.h"

// The program's window: the list of measurement values, a button for each operation and the
// fields that show the results.
class TForm1 : public QWidget, private Ui::TForm1 {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);

  const messwerte::Auswertung& auswertung() const { return Auswertung; }

  // Tells the user about an error of an operation; a message box unless replaced.
  std::function<void(const QString& message)> ShowError;

  void btnAnzahlClick();
  void btnMittelwertClick();
  void btnGroessterMesswClick();
  void brnKleinsterMesswClick();
  void btnAbweichungClick();
  void btnquadr_MittelwertClick();
  void btnMemoResetClick();

 private:
  using Operation = void (*)(messwerte::Form&, messwerte::Auswertung&);
  void Run(Operation operation);

  messwerte::Auswertung Auswertung;
  // The values read from Memo1, kept for the next press.
  messwerte::KeptValues KeptValues;
};

extern TForm1* Form1;
