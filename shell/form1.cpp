#include "form1.h"

#include <QIcon>
#include <QLocale>
#include <QMessageBox>
#include <exception>

#include "exception.h"

TForm1* Form1 = nullptr;

namespace {

const QString kTitle = QStringLiteral("Messwerte Auswerten");

// The first character of the locale's decimal point; '.' where that is not a single ASCII
// character, which the number texts cannot carry.
char DecimalSeparator() {
  const QString point = QLocale().decimalPoint();
  if (point.size() == 1 && point[0].unicode() > ' ' && point[0].unicode() < 0x7f) {
    return static_cast<char>(point[0].unicode());
  }
  return '.';
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
  setupUi(this);
  move(179, 125);
  // "MS Sans Serif" is found on few systems; the layout was made for its narrow 8 points.
  if (!QFontInfo(font()).exactMatch()) {
    QFont sans(font());
    sans.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("DejaVu Sans Condensed")});
    sans.setStyleHint(QFont::SansSerif);
    setFont(sans);
  }

  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/icons/mainicon-%1.png").arg(size), QSize(size, size));
  }
  setWindowIcon(icon);

  ShowError = [this](const QString& message) { QMessageBox::critical(this, kTitle, message); };

  connect(btnAnzahl, &QPushButton::clicked, this, &TForm1::btnAnzahlClick);
  connect(btnMittelwert, &QPushButton::clicked, this, &TForm1::btnMittelwertClick);
  connect(btnquadr_Mittelwert, &QPushButton::clicked, this, &TForm1::btnquadr_MittelwertClick);
  connect(btnGroessterMessw, &QPushButton::clicked, this, &TForm1::btnGroessterMesswClick);
  connect(brnKleinsterMessw, &QPushButton::clicked, this, &TForm1::brnKleinsterMesswClick);
  connect(btnAbweichung, &QPushButton::clicked, this, &TForm1::btnAbweichungClick);
  connect(btnMemoReset, &QPushButton::clicked, this, &TForm1::btnMemoResetClick);
}

void TForm1::btnAnzahlClick() { Run(messwerte::btnAnzahlClick); }
void TForm1::btnMittelwertClick() { Run(messwerte::btnMittelwertClick); }
void TForm1::btnGroessterMesswClick() { Run(messwerte::btnGroessterMesswClick); }
void TForm1::brnKleinsterMesswClick() { Run(messwerte::brnKleinsterMesswClick); }
void TForm1::btnAbweichungClick() { Run(messwerte::btnAbweichungClick); }
void TForm1::btnquadr_MittelwertClick() { Run(messwerte::btnquadr_MittelwertClick); }
void TForm1::btnMemoResetClick() { Run(messwerte::btnMemoResetClick); }

void TForm1::Run(Operation operation) {
  messwerte::Form form{*Memo1,
                       *edtAnzahl,
                       *edtMittelwert,
                       *edtQuadr_Mittelwe,
                       *edtGroessterMessw,
                       *edtKleinsterMessw,
                       *edtAbweichung,
                       DecimalSeparator(),
                       KeptValues};
  try {
    MeasurementEdit::EditGroup edits(*Memo1);
    operation(form, Auswertung);
  } catch (const messwerte::Exception& e) {
    if (e.line() >= 0) Memo1->SelectLine(e.line());
    ShowError(QString::fromUtf8(e.what()));
  } catch (const std::exception& e) {
    ShowError(QString::fromUtf8(e.what()));
  }
}
