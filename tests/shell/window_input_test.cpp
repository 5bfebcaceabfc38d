// Text that no one should type, pasted into the real window and run through every button: each
// press gives a result or a German message that names the offending line, never a crash, "inf",
// "nan" or an empty message, and only the reset changes the list.

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>
#include <memory>
#include <string>

#include "form1.h"
#include "measurement_edit.h"
#include "window_harness.h"

namespace {

struct Button {
  const char* name;
  bool converts;      // reads the values as numbers
  const char* field;  // the field it writes last, nullptr for the reset
};

const Button kButtons[] = {
    {"btnAnzahl", false, "edtAnzahl"},
    {"btnMittelwert", true, "edtMittelwert"},
    {"btnquadr_Mittelwert", true, "edtQuadr_Mittelwe"},
    {"btnGroessterMessw", true, "edtGroessterMessw"},
    {"brnKleinsterMessw", true, "edtKleinsterMessw"},
    {"btnAbweichung", true, "edtAbweichung"},
    {"btnMemoReset", false, nullptr},
};

const char* const kFields[] = {"edtAnzahl",         "edtMittelwert",     "edtQuadr_Mittelwe",
                               "edtGroessterMessw", "edtKleinsterMessw", "edtAbweichung"};

QString Lines(int count) {
  std::string text;
  text.reserve(static_cast<std::size_t>(count) * 8);
  for (int i = 0; i < count; ++i) (text += std::to_string(100 + i % 997)) += ".25\n";
  return QString::fromStdString(text);
}

}  // namespace

class WindowInputTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void everyButtonSurvives_data();
  void everyButtonSurvives();

 private:
  MeasurementEdit* memo() { return Find<MeasurementEdit>("Memo1"); }
  template <class T>
  T* Find(const QString& name) {
    return FindControl<T>(*window_, name);
  }

  std::unique_ptr<TForm1> window_;
  QStringList errors_;
};

void WindowInputTest::init() {
  window_ = OpenWindow(errors_);
  QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void WindowInputTest::cleanup() { CloseWindow(window_); }

void WindowInputTest::everyButtonSurvives_data() {
  QTest::addColumn<QString>("pasted");
  QTest::addColumn<bool>("german");
  QTest::addColumn<int>("values");   // lines before the first empty one
  QTest::addColumn<int>("badLine");  // line (from 1) a converting button must name, 0 for none

  const QString long_zeros(99'999, u'0');
  const struct {
    const char* name;
    QString pasted;
    bool german;
    int values;
    int bad_line;
  } rows[] = {
      {"empty list", "", false, 0, 0},
      {"only a line break", "\n", false, 0, 0},
      {"blank line", "2\n   \n3", false, 3, 2},
      {"tab-only line", "\t\t\n2", false, 2, 1},
      {"blanks around a value", " \t2.5\t \n3", false, 2, 0},
      {"CR LF", "1\r\n2\r\n3\r\n", false, 3, 0},
      {"lone CR", "1\r2\r3", false, 3, 0},
      {"CR LF then junk", "1\r\n2\r\nx\r\n", false, 3, 3},
      {"100,000 digits out of range", "2\n1" + long_zeros, false, 2, 2},
      {"100,000 digits in range", "2\n1." + long_zeros, false, 2, 0},
      {"100,000 blanks", "2\n" + QString(100'000, u' '), false, 2, 2},
      {"NUL in a value", QStringLiteral("2\n3") + QChar(0) + QStringLiteral("4"), false, 2, 2},
      {"control characters", QStringLiteral("2\n\x01\x1b[31m5\x7f"), false, 2, 2},
      {"vertical tab and form feed", QStringLiteral("\v1\f"), false, 1, 1},
      {"Arabic-Indic digits", QString::fromUtf8("2\n\u0661\u0662\u0663"), false, 2, 2},
      {"Chinese text", QString::fromUtf8("\u4e94\u70b9\u4e94"), false, 1, 1},
      {"emoji", QString::fromUtf8("2\n3\n\U0001F600"), false, 3, 3},
      {"emoji after a value", QString::fromUtf8("12\U0001F600"), false, 1, 1},
      {"1e39", "2\n1e39", false, 2, 2},
      {"-1e39", "-1e39", false, 1, 1},
      {"3.4028236e38", "3.4028236e38\n1", false, 2, 1},
      {"largest single", "3.4028234e38\n-3.4028234e38", false, 2, 0},
      {"1e-50", "1e-50", false, 1, 0},
      {"-0", "-0\n2", false, 2, 0},
      {"lone plus", "2\n+", false, 2, 2},
      {"lone point", ".\n2", false, 2, 1},
      {"exponent without digits", "2\n1e", false, 2, 2},
      {"1,5 under English", "2\n1,5", false, 2, 2},
      {"1.5 under German", "2\n1.5", true, 2, 2},
      {"1,5 under German", "2\n1,5", true, 2, 0},
      {"inf and nan", "inf\nnan", false, 2, 1},
      {"hexadecimal", "0x10", false, 1, 1},
      {"a million lines", Lines(1'000'000), false, 1'000'000, 0},
  };
  for (const auto& row : rows)
    QTest::newRow(row.name) << row.pasted << row.german << row.values << row.bad_line;
}

void WindowInputTest::everyButtonSurvives() {
  QFETCH(QString, pasted);
  QFETCH(bool, german);
  QFETCH(int, values);
  QFETCH(int, badLine);
  QLocale::setDefault(german ? QLocale(QLocale::German, QLocale::Germany)
                             : QLocale(QLocale::English, QLocale::UnitedStates));
  if (!pasted.isEmpty()) {
    QApplication::clipboard()->setText(pasted);
    QTest::keyClick(memo(), Qt::Key_V, Qt::ControlModifier);
    QString lines = pasted;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QCOMPARE(memo()->LineCount(), lines.count(u'\n') + 1);
  }
  const QString list = memo()->toPlainText();
  const int line_count = memo()->LineCount();
  const QRegularExpression infinite_or_nan(QStringLiteral("inf|nan"),
                                           QRegularExpression::CaseInsensitiveOption);

  for (const Button& button : kButtons) {
    for (const char* name : kFields) Find<QLineEdit>(name)->clear();
    errors_.clear();
    QTest::mouseClick(Find<QPushButton>(button.name), Qt::LeftButton);
    const QByteArray where = QByteArray(button.name) + ": " + errors_.join('|').toUtf8();

    QVERIFY2(errors_.size() <= 1, where);
    for (const QString& error : errors_) {
      QVERIFY2(!error.trimmed().isEmpty(), where);
      // The quoted line may say anything; the message around it must not.
      const qsizetype open = error.indexOf(u'\''), close = error.lastIndexOf(u'\'');
      const QString own =
          open >= 0 && close > open ? error.left(open) + error.mid(close + 1) : error;
      QVERIFY2(!own.contains(infinite_or_nan), where);
    }
    for (const char* name : kFields)
      QVERIFY2(!Find<QLineEdit>(name)->text().contains(infinite_or_nan), where);

    if (button.converts && badLine > 0) {
      QVERIFY2(errors_.size() == 1, where);
      QVERIFY2(errors_[0].contains(QStringLiteral("(Zeile %1)").arg(badLine)), where);
    } else if (errors_.isEmpty() && button.field) {
      QVERIFY2(!Find<QLineEdit>(button.field)->text().isEmpty(), where);
    } else if (!errors_.isEmpty()) {
      // Without a bad line, only the list as a whole can be at fault: no values, a zero mean.
      QVERIFY2(button.converts && !errors_[0].contains(QStringLiteral("Zeile")), where);
    }
    if (button.field && QByteArray(button.name) == "btnAnzahl")
      QCOMPARE(Find<QLineEdit>("edtAnzahl")->text(), QString::number(values));

    QCOMPARE(memo()->LineCount(), line_count);
    if (button.field) {
      QVERIFY2(memo()->toPlainText() == list, where);
    } else {
      // The reset empties the values and nothing else.
      const QStringList before = list.split(u'\n');
      const QStringList after = memo()->toPlainText().split(u'\n');
      QCOMPARE(after.size(), before.size());
      for (int i = 0; i < after.size(); ++i) {
        if (i < values) {
          QVERIFY2(after[i].isEmpty(),
                   qPrintable(QStringLiteral("line %1 kept %2").arg(i + 1).arg(after[i])));
        } else if (after[i] != before[i]) {
          QFAIL(qPrintable(QStringLiteral("line %1 changed by the reset").arg(i + 1)));
        }
      }
    }
  }
}

QTEST_MAIN(WindowInputTest)
#include "window_input_test.moc"
