// Files in and out of the real window: opening by argument, drop and menu, the column dialog,
// saving, and the recovery file kept on close. The user's data and settings folders lie in a
// temporary home for the whole run.

#include <sys/resource.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <memory>
#include <optional>
#include <string>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>

#include "column_dialog.h"
#include "form1.h"
#include "measurement_edit.h"
#include "series_actions.h"
#include "series_file.h"
#include "window_harness.h"

char* toString(const TextPosition& position) {
  return QTest::toString(
      QStringLiteral("line %1, byte %2").arg(position.line).arg(position.column));
}

namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// The texts of the actions that the list's context menu offers, after running `pick` on it.
QStringList ContextMenu(MeasurementEdit& list, const QString& pick = {}) {
  QStringList offered;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    QAction* picked = nullptr;
    for (QAction* action : menu->actions()) {
      if (action->isSeparator() || !action->isVisible()) continue;
      offered << action->text();
      if (action->text() == pick) picked = action;
    }
    menu->close();
    if (picked) picked->trigger();
  });
  const QPoint at(4, 4);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, list.viewport()->mapToGlobal(at));
  QApplication::sendEvent(list.viewport(), &event);
  return offered;
}

const QString kOpen = QStringLiteral("&Öffnen…");
const QString kSave = QStringLiteral("Liste &speichern unter…");
const QString kRestore = QStringLiteral("Le&tzte Liste wiederherstellen");

}  // namespace

class WindowFilesTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void opensByArgument_data();
  void opensByArgument();
  void refusedFileLeavesTheList_data();
  void refusedFileLeavesTheList();
  void dropOpensFilesAndInsertsText_data();
  void dropOpensFilesAndInsertsText();
  void menuAndKeyOpenTheChosenFile_data();
  void menuAndKeyOpenTheChosenFile();
  void fileDialogsOfferTheFilters();
  void columnIsAskedAndRemembered();
  void columnDialogShowsAndChooses();
  void columnDialogCancelLeavesTheList();
  void columnDialogShowsAndChangesTheDecisions_data();
  void columnDialogShowsAndChangesTheDecisions();
  void columnDialogIsAsWideAsItsColumns_data();
  void columnDialogIsAsWideAsItsColumns();
  void savesAndReadsBack_data();
  void savesAndReadsBack();
  void failedSaveLeavesTheOldFile_data();
  void failedSaveLeavesTheOldFile();
  void recoveryOnCloseOnlyAfterAChange_data();
  void recoveryOnCloseOnlyAfterAChange();
  void recoveryIsOfferedOnTheNextStart();
  void recoveryFailureDoesNotStopClosing();
  void millionLinesOpenAsOneStep();
  void smallFileOpensInLittleMemory();

 private:
  MeasurementEdit* memo() { return FindControl<MeasurementEdit>(*window_, "Memo1"); }
  QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = data_->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
      qFatal("cannot write %s", qPrintable(path));
    }
    return path;
  }
  void Undo() { QTest::keyClick(memo(), Qt::Key_Z, Qt::ControlModifier); }
  void Reopen() {
    CloseWindow(window_);
    window_ = OpenWindow(errors_);
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  QTemporaryDir home_;
  std::unique_ptr<QTemporaryDir> data_;
  std::unique_ptr<TForm1> window_;
  QStringList errors_;
};

void WindowFilesTest::initTestCase() {
  QVERIFY(home_.isValid());
  qputenv("HOME", QFile::encodeName(home_.path()));
  QStandardPaths::setTestModeEnabled(true);
  QVERIFY(
      QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).startsWith(home_.path()));
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void WindowFilesTest::init() {
  QDir(SeriesActions::RecoveryFolder()).removeRecursively();
  QSettings(QStringLiteral("messwerte"), QStringLiteral("messwerte")).clear();
  data_ = std::make_unique<QTemporaryDir>();
  QVERIFY(data_->isValid());
  window_ = OpenWindow(errors_);
  QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void WindowFilesTest::cleanup() {
  CloseWindow(window_);
  data_.reset();
}

void WindowFilesTest::opensByArgument_data() {
  QTest::addColumn<QLocale>("locale");
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("list");
  QTest::addColumn<QString>("mean");
  // What the window tells after opening: each decision and each thing left out, in file lines.
  QTest::addColumn<QString>("notice");
  const QLocale german(QLocale::German, QLocale::Germany);
  const QLocale english(QLocale::English, QLocale::UnitedStates);
  const QString opened = QStringLiteral("„werte.txt“ geöffnet");
  QTest::newRow("point") << english << QByteArray("1.5\n2\n") << "1.5\n2"
                         << "1.75" << opened + '.';
  QTest::newRow("comma, CR LF") << german << QByteArray("1,5\r\n2\r\n") << "1,5\n2"
                                << "1,75" << opened + '.';
  QTest::newRow("header") << german << QByteArray("Wert\n1,5\n2") << "1,5\n2"
                          << "1,75" << opened + ": Kopfzeile in Zeile 1.";
  QTest::newRow("Windows-1252") << german
                                << QByteArray(
                                       "Temperatur \xb0"
                                       "C\n1,5\n2")
                                << "1,5\n2"
                                << "1,75" << opened + ": Kopfzeile in Zeile 1.";
  // Without the notice a German user would not know why the list shows other separators.
  QTest::newRow("decimal points under a German locale")
      << german << QByteArray("1.5\n2.25\n") << "1,5\n2,25"
      << "1,875"
      << opened + ". Die Datei schreibt Zahlen mit Punkt; in der Liste stehen sie mit Komma.";
  QTest::newRow("comments and lines after an empty line")
      << english << QByteArray("# Messung 3\n1\n# Pause\n2\n\n3\n4\n") << "1\n2\n\n3\n4"
      << "1.5"
      << opened + ". 2 Kommentarzeilen (#) übersprungen, die erste in Zeile 1. Die Leerzeile in "
                  "Zeile 5 beendet die Messreihe; 2 Zeilen danach (Zeile 6 bis 7) werden nicht "
                  "ausgewertet.";
}

void WindowFilesTest::opensByArgument() {
  QFETCH(QLocale, locale);
  QFETCH(QByteArray, bytes);
  QFETCH(QString, list);
  QFETCH(QString, mean);
  QFETCH(QString, notice);
  QLocale::setDefault(locale);
  memo()->setPlainText("7\n8");
  memo()->SetSelection({1, 1}, {1, 1});
  window_->OpenAtStart(Write("werte.txt", bytes));
  QTRY_COMPARE(memo()->toPlainText(), list);
  QCOMPARE(window_->notices().text(), notice);
  QCOMPARE(memo()->CursorPosition(), TextPosition{});
  QVERIFY(memo()->SelectedText().isEmpty());
  QVERIFY(errors_.isEmpty());
  QTest::mouseClick(FindControl<QPushButton>(*window_, "btnMittelwert"), Qt::LeftButton);
  QCOMPARE(FindControl<QLineEdit>(*window_, "edtMittelwert")->text(), mean);
  Undo();
  QCOMPARE(memo()->toPlainText(), QStringLiteral("7\n8"));
}

void WindowFilesTest::refusedFileLeavesTheList_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<bool>("create");
  QTest::addColumn<QByteArray>("bytes");
  QTest::newRow("missing") << "fehlt.txt" << false << QByteArray();
  QTest::newRow("folder") << "ordner" << false << QByteArray();
  QTest::newRow("NUL bytes") << "binaer.dat" << true << QByteArray("1\n\0\0\x01", 5);
}

void WindowFilesTest::refusedFileLeavesTheList() {
  QFETCH(QString, name);
  QFETCH(bool, create);
  QFETCH(QByteArray, bytes);
  QString path = data_->filePath(name);
  if (create) path = Write(name, bytes);
  if (name == "ordner") QVERIFY(QDir(data_->path()).mkdir(name));
  memo()->setPlainText("7\n8");
  window_->OpenAtStart(path);
  QTRY_COMPARE(errors_.size(), 1);
  QVERIFY2(errors_[0].contains(name), qPrintable(errors_[0]));
  QCOMPARE(memo()->toPlainText(), QStringLiteral("7\n8"));
}

void WindowFilesTest::dropOpensFilesAndInsertsText_data() {
  QTest::addColumn<QList<QUrl>>("urls");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("list");
  const QUrl file = QUrl::fromLocalFile(QStringLiteral("gezogen.csv"));  // made absolute below
  QTest::newRow("file") << QList<QUrl>{file} << QString() << "4\n5\n6";
  QTest::newRow("file with its path as text") << QList<QUrl>{file} << "gezogen.csv"
                                              << "4\n5\n6";
  QTest::newRow("web address, then file")
      << QList<QUrl>{QUrl("https://example.org/werte.txt"), file} << QString() << "4\n5\n6";
  QTest::newRow("text") << QList<QUrl>{} << "9\n10"
                        << "1\n9\n102";
  QTest::newRow("web address as text") << QList<QUrl>{QUrl("https://example.org/")} << "3"
                                       << "1\n32";
}

void WindowFilesTest::dropOpensFilesAndInsertsText() {
  QFETCH(QList<QUrl>, urls);
  QFETCH(QString, text);
  QFETCH(QString, list);
  const QString path = Write("gezogen.csv", "4\n5\n6\n");
  for (QUrl& url : urls) {
    if (url.isLocalFile()) url = QUrl::fromLocalFile(path);
  }
  memo()->setPlainText("1\n2");
  QMimeData data;
  if (!urls.isEmpty()) data.setUrls(urls);
  if (!text.isEmpty()) data.setText(text);
  // At the start of the second line.
  const QPoint at(2, memo()->LineRect(1).center().y());
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(memo()->viewport(), &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(memo()->viewport(), &drop);
  QVERIFY(drop.isAccepted());
  QTRY_COMPARE(memo()->toPlainText(), list);
  QVERIFY(errors_.isEmpty());
  Undo();
  QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n2"));
}

void WindowFilesTest::menuAndKeyOpenTheChosenFile_data() {
  QTest::addColumn<bool>("byKey");
  QTest::newRow("context menu") << false;
  QTest::newRow("Ctrl+O") << true;
}

void WindowFilesTest::menuAndKeyOpenTheChosenFile() {
  QFETCH(bool, byKey);
  const QString first = Write("erste.txt", "1\n2\n");
  const QString second = Write("zweite.txt", "3\n4\n");
  QStringList asked;  // the folders the dialog started in
  QString chosen = first;
  window_->files().ChooseFileToOpen = [&](const QString& folder) {
    asked << folder;
    return chosen;
  };
  const auto open = [&] {
    if (byKey) {
      QApplication::setActiveWindow(window_.get());
      QVERIFY(QTest::qWaitForWindowActive(window_.get()));
      QTest::keyClick(memo(), Qt::Key_O, Qt::ControlModifier);
    } else {
      ContextMenu(*memo(), kOpen);
    }
  };
  open();
  QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n2"));
  chosen = second;
  open();
  QCOMPARE(memo()->toPlainText(), QStringLiteral("3\n4"));
  chosen.clear();  // cancelled
  open();
  QCOMPARE(memo()->toPlainText(), QStringLiteral("3\n4"));
  QCOMPARE(asked.size(), 3);
  QCOMPARE(asked[1], data_->path());  // where the last file came from
  Undo();
  QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n2"));
  Undo();
  QCOMPARE(memo()->toPlainText(), QString());
  QVERIFY(errors_.isEmpty());
}

// The real dialogs, closed at once: they filter for the files the loader takes.
void WindowFilesTest::fileDialogsOfferTheFilters() {
  const QStringList filters = {"Messwerte (*.txt *.csv *.dat)", "Alle Dateien (*)"};
  QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
  QStringList offered;
  QStringList selected;
  const auto close = [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    offered = dialog->nameFilters();
    mode = dialog->acceptMode();
    selected = dialog->selectedFiles();
    dialog->reject();
  };
  QTimer::singleShot(0, close);
  window_->files().OpenChosen();
  QCOMPARE(offered, filters);
  QCOMPARE(mode, QFileDialog::AcceptOpen);

  offered.clear();
  QTimer::singleShot(0, close);
  window_->files().SaveChosen();
  QCOMPARE(offered, filters);
  QCOMPARE(mode, QFileDialog::AcceptSave);
  QCOMPARE(QFileInfo(selected.value(0)).fileName(), QStringLiteral("Messwerte.txt"));
  QVERIFY(errors_.isEmpty());
}

void WindowFilesTest::columnIsAskedAndRemembered() {
  const QString logger = Write("logger.csv", "Zeit;Temperatur;Druck\n0;20,5;1013\n1;21;1012\n");
  const QString other = Write("andere.csv", "a;b\n1;2\n");
  const QString bare = Write("ohne.csv", "1;2\n3;4\n");
  QList<int> preselections;
  QList<QStringList> names;
  std::optional<int> answer;
  const auto ask = [&](const QString&, const SeriesFile& file,
                       int preselected) -> std::optional<series::Choices> {
    preselections << preselected;
    names << file.ColumnNames();
    if (!answer) return std::nullopt;
    series::Choices choices;
    choices.column = *answer;
    return choices;
  };
  window_->files().ChooseColumn = ask;
  memo()->setPlainText("7");
  answer = std::nullopt;  // cancelled: nothing changes, nothing is remembered
  QVERIFY(!window_->files().Open(logger));
  QCOMPARE(memo()->toPlainText(), QStringLiteral("7"));
  answer = 1;
  QVERIFY(window_->files().Open(logger));
  // The file's decimal commas in the list of an English window are points: the list reads back.
  QCOMPARE(memo()->toPlainText(), QStringLiteral("20.5\n21"));
  answer = 2;
  QVERIFY(window_->files().Open(logger));
  QCOMPARE(memo()->toPlainText(), QStringLiteral("1013\n1012"));

  Reopen();  // the choice outlives the window
  window_->files().ChooseColumn = ask;
  answer = 0;
  QVERIFY(window_->files().Open(logger));
  QCOMPARE(memo()->toPlainText(), QStringLiteral("0\n1"));
  answer = 1;
  QVERIFY(window_->files().Open(other));
  QCOMPARE(memo()->toPlainText(), QStringLiteral("2"));
  QVERIFY(window_->files().Open(bare));  // no header: nothing to remember it by
  QVERIFY(window_->files().Open(bare));
  QCOMPARE(memo()->toPlainText(), QStringLiteral("2\n4"));
  QCOMPARE(preselections, QList<int>({0, 0, 1, 2, 0, 0, 0}));
  const QStringList logger_names = {"Zeit", "Temperatur", "Druck"};
  QCOMPARE(names.value(0), logger_names);
  QCOMPARE(names.value(4), QStringList({"a", "b"}));
  QCOMPARE(names.value(5), QStringList({"Spalte 1", "Spalte 2"}));
  Undo();
  Undo();
  QCOMPARE(memo()->toPlainText(), QStringLiteral("2"));
  QVERIFY(errors_.isEmpty());
}

void WindowFilesTest::columnDialogShowsAndChooses() {
  QList<QStringList> preview;
  for (int row = 0; row < 10; ++row) preview << QStringList{QString::number(row), "x"};
  preview << QStringList{"nur eine"};  // a ragged row
  ColumnDialog dialog("/daten/logger.csv", {"Zeit", "Wert"}, preview, 1);
  QCOMPARE(dialog.windowTitle(), QStringLiteral("Spalte wählen"));
  QTableWidget& table = *dialog.table();
  QCOMPARE(table.columnCount(), 2);
  QCOMPARE(table.rowCount(), 11);
  QCOMPARE(table.horizontalHeaderItem(0)->text(), QStringLiteral("Zeit"));
  QCOMPARE(table.horizontalHeaderItem(1)->text(), QStringLiteral("Wert"));
  QCOMPARE(table.item(9, 0)->text(), QStringLiteral("9"));
  QCOMPARE(table.item(10, 0)->text(), QStringLiteral("nur eine"));
  QVERIFY(!table.item(10, 1));
  QCOMPARE(dialog.Column(), 1);  // the remembered choice stands at first

  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QTest::keyClick(&table, Qt::Key_Left);
  QCOMPARE(dialog.Column(), 0);
  const QRect cell = table.visualItemRect(table.item(3, 1));
  QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell.center());
  QCOMPARE(dialog.Column(), 1);
  QVERIFY(table.selectionModel()->isColumnSelected(1));
  QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, cell.center());
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void WindowFilesTest::columnDialogCancelLeavesTheList() {
  const QString path = Write("logger.csv", "Zeit\tWert\n0\t4\n1\t5\n");
  memo()->setPlainText("1\n2");
  int chosen = -1;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<ColumnDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    chosen = dialog->Column();
    dialog->buttons()->button(QDialogButtonBox::Cancel)->click();
  });
  QVERIFY(!window_->files().Open(path));
  QCOMPARE(chosen, 0);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n2"));

  bool closed_by_return = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<ColumnDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    QTest::keyClick(dialog->table(), Qt::Key_Right);
    QTest::keyClick(dialog->table(), Qt::Key_Return);
    closed_by_return = !dialog->isVisible();
    if (!closed_by_return) dialog->reject();
  });
  QVERIFY(window_->files().Open(path));
  QVERIFY(closed_by_return);
  QCOMPARE(memo()->toPlainText(), QStringLiteral("4\n5"));
  Undo();
  QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n2"));
}

void WindowFilesTest::columnDialogShowsAndChangesTheDecisions_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("decisions");
  QTest::addColumn<int>("preselected");  // the first column of numbers
  // After the user turns the decimal separator and then the header over: the column names.
  QTest::addColumn<QStringList>("names_other_decimal");
  QTest::addColumn<QStringList>("names_other_header");
  QTest::newRow("semicolons, decimal commas, a header")
      << QByteArray("Zeit;Temperatur\n12:00;20,5\n12:01;21,5\n")
      << "Erkannt: Spaltentrenner Semikolon, Dezimalzeichen Komma (aus den Werten), erste Zeile "
         "ist Kopfzeile."
      << 1 << QStringList{"Zeit", "Temperatur"} << QStringList{"Spalte 1", "Spalte 2"};
  // With a decimal point, commas part the columns; with a decimal comma they cannot.
  QTest::newRow("commas, decimal points, no header")
      << QByteArray("1.5,2.5\n3.5,4.5\n")
      << "Erkannt: Spaltentrenner Komma, Dezimalzeichen Punkt (aus den Werten), keine Kopfzeile."
      << 0 << QStringList{"Spalte 1"} << QStringList{"1.5", "2.5"};
  QTest::newRow("tabs, whole numbers: the locale's separator")
      << QByteArray("a\tb\tc\n1\t2\t3\n")
      << "Erkannt: Spaltentrenner Tabulator, Dezimalzeichen Punkt (Spracheinstellung), erste "
         "Zeile ist Kopfzeile."
      << 0 << QStringList{"a", "b", "c"} << QStringList{"Spalte 1", "Spalte 2", "Spalte 3"};
}

void WindowFilesTest::columnDialogShowsAndChangesTheDecisions() {
  QFETCH(QByteArray, bytes);
  QFETCH(QString, decisions);
  QFETCH(int, preselected);
  QFETCH(QStringList, names_other_decimal);
  QFETCH(QStringList, names_other_header);
  const QString path = Write("tabelle.csv", bytes);
  QString error;
  const std::optional<SeriesFile> file = SeriesFile::Open(path, &error);
  QVERIFY2(file, qPrintable(error));
  const int first_numeric = file->Decide().first_numeric_column;
  QCOMPARE(first_numeric, preselected);
  ColumnDialog dialog(path, *file, first_numeric, '.');
  QCOMPARE(dialog.Column(), preselected);
  QStringList labels;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
  QVERIFY2(labels.contains(decisions), qPrintable(labels.join('|')));
  // Left as found, nothing is overridden.
  series::Choices untouched = dialog.Choices();
  QVERIFY(!untouched.decimal && !untouched.header);

  const auto names = [&] {
    QStringList shown;
    for (int c = 0; c < dialog.table()->columnCount(); ++c)
      shown << dialog.table()->horizontalHeaderItem(c)->text();
    return shown;
  };
  const int found_decimal = dialog.decimal()->currentIndex();
  dialog.decimal()->setCurrentIndex(1 - found_decimal);
  QCOMPARE(dialog.Choices().decimal, std::optional<char>(found_decimal == 0 ? ',' : '.'));
  QCOMPARE(names(), names_other_decimal);
  dialog.decimal()->setCurrentIndex(found_decimal);
  const bool found_header = dialog.header()->isChecked();
  dialog.header()->setChecked(!found_header);
  QCOMPARE(dialog.Choices().header, std::optional<bool>(!found_header));
  QCOMPARE(names(), names_other_header);
}

void WindowFilesTest::columnDialogIsAsWideAsItsColumns_data() {
  QTest::addColumn<int>("columns");
  QTest::newRow("a few wide columns fit without scrolling") << 4;
  QTest::newRow("many columns stop at the screen") << 80;
}

void WindowFilesTest::columnDialogIsAsWideAsItsColumns() {
  QFETCH(int, columns);
  QStringList names;
  QList<QStringList> preview;
  for (int c = 0; c < columns; ++c)
    names << QStringLiteral("Temperatur am Messpunkt %1 in Grad Celsius").arg(c + 1);
  for (int row = 0; row < 3; ++row) preview << QStringList(names.size(), QStringLiteral("21,5"));
  ColumnDialog dialog("/daten/breit.csv", names, preview, 0);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  const int room = dialog.screen()->availableGeometry().width();
  QVERIFY2(dialog.frameGeometry().width() <= room,
           qPrintable(QStringLiteral("%1 > %2").arg(dialog.frameGeometry().width()).arg(room)));
  const bool scrolls = dialog.table()->horizontalScrollBar()->maximum() > 0;
  int needed = 0;
  for (int c = 0; c < columns; ++c) needed += dialog.table()->columnWidth(c);
  // Scrolling only where the columns are wider than the screen.
  QCOMPARE(scrolls, needed > room);
}

void WindowFilesTest::savesAndReadsBack_data() {
  QTest::addColumn<QString>("list");
  QTest::addColumn<QByteArray>("written");
  QTest::newRow("values") << "1.5\n2\n3" << QByteArray("1.5\n2\n3\n");
  QTest::newRow("ends with a break") << "1\n2\n" << QByteArray("1\n2\n");
  QTest::newRow("empty line inside") << "1\n\n2" << QByteArray("1\n\n2\n");
  QTest::newRow("umlaut") << "Größe\n1"
                          << QByteArray(
                                 "Gr\xc3\xb6\xc3\x9f"
                                 "e\n1\n");
  QTest::newRow("empty") << "" << QByteArray();
  // Written a stretch of the line at a time.
  const QByteArray line(3 << 19, '7');
  QTest::newRow("a line longer than a slice")
      << QString::fromLatin1(line + "\n1\n\n" + line) << line + "\n1\n\n" + line + "\n";
}

void WindowFilesTest::savesAndReadsBack() {
  QFETCH(QString, list);
  QFETCH(QByteArray, written);
  const QString path = Write("gespeichert.txt", "alt\n");
  window_->files().ChooseFileToSave = [&](const QString&) { return path; };
  memo()->setPlainText(list);
  QApplication::setActiveWindow(window_.get());
  QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  QTest::keyClick(memo(), Qt::Key_S, Qt::ControlModifier);
  QVERIFY(errors_.isEmpty());
  QCOMPARE(ReadAll(path), written);
  QVERIFY(!QFile::exists(path + ".tmp"));

  memo()->setPlainText("9");
  QVERIFY(window_->files().Open(path));
  QVERIFY(errors_.isEmpty());
  // What the list shows is what was saved, less a header line that is no number.
  QString expected = list;
  if (expected.startsWith("Größe")) expected = "1";
  if (expected.endsWith('\n')) expected.chop(1);
  QCOMPARE(memo()->toPlainText(), expected);
  Undo();
  QCOMPARE(memo()->toPlainText(), QStringLiteral("9"));
}

void WindowFilesTest::failedSaveLeavesTheOldFile_data() {
  QTest::addColumn<QString>("target");  // inside the data folder
  QTest::addColumn<QString>("reason");
  QTest::addColumn<bool>("tooLarge");
  QTest::newRow("folder is a file") << "alt.txt/neu.txt"
                                    << "ist kein Ordner" << false;
  QTest::newRow("missing folder") << "fehlt/neu.txt"
                                  << "gibt es nicht" << false;
  QTest::newRow("target is a folder") << "ordner"
                                      << "Ordner" << false;
  // Past the largest file size this process may write, a limit that binds root as well.
  QTest::newRow("write fails") << "alt.txt"
                               << "größer, als das System zulässt" << true;
}

void WindowFilesTest::failedSaveLeavesTheOldFile() {
  QFETCH(QString, target);
  QFETCH(QString, reason);
  QFETCH(bool, tooLarge);
  const QString old = Write("alt.txt", "1\n2\n");
  QVERIFY(QDir(data_->path()).mkdir("ordner"));
  const QString path = data_->filePath(target);
  QString list;
  for (int i = 0; i < 20000; ++i) list += QString::number(i) + '\n';
  memo()->setPlainText(list);

  rlimit saved{};
  QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto xfsz = std::signal(SIGXFSZ, SIG_IGN);
  if (tooLarge) {
    rlimit small = saved;
    small.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
  }
  const bool saved_ok = window_->files().Save(path);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, xfsz);

  QVERIFY(!saved_ok);
  QCOMPARE(errors_.size(), 1);
  QVERIFY2(errors_[0].contains(QDir::toNativeSeparators(path)), qPrintable(errors_[0]));
  QVERIFY2(errors_[0].contains(reason), qPrintable(errors_[0]));
  QCOMPARE(ReadAll(old), QByteArray("1\n2\n"));
  QCOMPARE(QDir(data_->path()).entryList(QDir::Files), QStringList{"alt.txt"});
  QCOMPARE(memo()->toPlainText(), list);
  // Not saved: the list still counts as changed.
  QVERIFY(window_->files().KeepForRecovery());
}

void WindowFilesTest::recoveryOnCloseOnlyAfterAChange_data() {
  QTest::addColumn<QString>("steps");
  QTest::addColumn<QByteArray>("kept");  // empty: no recovery file
  QTest::newRow("untouched") << "" << QByteArray();
  QTest::newRow("typed") << "type" << QByteArray("12\n");
  QTest::newRow("typed, then removed") << "type,clear" << QByteArray();
  QTest::newRow("only blanks") << "blanks" << QByteArray();
  QTest::newRow("opened") << "open" << QByteArray();
  QTest::newRow("opened, then edited") << "open,type" << QByteArray("12\n3\n4");
  QTest::newRow("typed, then saved") << "type,save" << QByteArray();
  QTest::newRow("saved, then typed") << "type,save,type" << QByteArray("12\n12\n");
  QTest::newRow("opened, undone") << "type,open,undo" << QByteArray("12\n");
}

void WindowFilesTest::recoveryOnCloseOnlyAfterAChange() {
  QFETCH(QString, steps);
  QFETCH(QByteArray, kept);
  const QString file = Write("werte.txt", "3\n4\n");
  window_->files().ChooseFileToSave = [&](const QString&) { return data_->filePath("neu.txt"); };
  for (const QString& step : steps.split(',', Qt::SkipEmptyParts)) {
    if (step == "type") {
      QTest::keyClicks(memo(), "12");
      QTest::keyClick(memo(), Qt::Key_Return);
    } else if (step == "clear") {
      memo()->selectAll();
      QTest::keyClick(memo(), Qt::Key_Delete);
    } else if (step == "blanks") {
      QTest::keyClicks(memo(), "  ");
      QTest::keyClick(memo(), Qt::Key_Return);
    } else if (step == "open") {
      QVERIFY(window_->files().Open(file));
    } else if (step == "save") {
      window_->files().SaveChosen();
    } else if (step == "undo") {
      Undo();
    }
  }
  QVERIFY(window_->close());  // accepted at once, with no question
  QVERIFY(!window_->isVisible());
  QVERIFY(errors_.isEmpty());
  const QString recovery = window_->files().RecoveryPath();
  QCOMPARE(QFile::exists(recovery), !kept.isEmpty());
  if (!kept.isEmpty()) QCOMPARE(ReadAll(recovery), kept);
}

void WindowFilesTest::recoveryIsOfferedOnTheNextStart() {
  QVERIFY(!ContextMenu(*memo()).contains(kRestore));
  memo()->setPlainText("5\n6");
  QVERIFY(window_->close());
  const QString kept = window_->files().RecoveryPath();
  QVERIFY(QFile::exists(kept));

  Reopen();
  QCOMPARE(memo()->toPlainText(), QString());  // the list starts empty all the same
  const QStringList offered = ContextMenu(*memo(), kRestore);
  QCOMPARE(offered.mid(offered.size() - 4),
           QStringList({kOpen, kSave, kRestore, QStringLiteral("Messwerte &aufnehmen…")}));
  QCOMPARE(memo()->toPlainText(), QStringLiteral("5\n6"));
  QCOMPARE(memo()->CursorPosition(), TextPosition{});
  Undo();
  QCOMPARE(memo()->toPlainText(), QString());

  // Restoring opens nothing new: closing unchanged keeps the file as it is, and it is offered
  // again.
  ContextMenu(*memo(), kRestore);
  QVERIFY(window_->close());
  Reopen();
  QVERIFY(ContextMenu(*memo()).contains(kRestore));
  QCOMPARE(ReadAll(kept), QByteArray("5\n6"));
}

void WindowFilesTest::recoveryFailureDoesNotStopClosing() {
  // A file where the data folder should be.
  const QString folder = SeriesActions::RecoveryFolder();
  QDir().mkpath(QFileInfo(folder).absolutePath());
  QDir(folder).removeRecursively();
  {
    QFile blocker(folder);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
  }
  memo()->setPlainText("5\n6");
  QVERIFY(window_->close());
  QVERIFY(!window_->isVisible());
  QVERIFY(errors_.isEmpty());
  QVERIFY(QFileInfo(folder).isFile());
  QFile::remove(folder);
}

void WindowFilesTest::millionLinesOpenAsOneStep() {
  std::string text;
  text.reserve(8'000'000);
  for (int i = 0; i < 1'000'000; ++i) (text += std::to_string(100 + i % 997)) += ".25\n";
  const QString path = Write("lang.txt", QByteArray::fromStdString(text));
  memo()->setPlainText("1\n2");
  QElapsedTimer timer;
  timer.start();
  QString error;
  const QByteArray lines = SeriesFile::Open(path, &error).value().Lines(0);
  const qint64 read = timer.restart();
  memo()->selectAll();
  memo()->InsertText(QString::fromUtf8(lines));
  const qint64 pasted = timer.restart();
  Undo();
  timer.restart();
  QVERIFY(window_->files().Open(path));
  const qint64 opened = timer.restart();
  QCOMPARE(memo()->LineCount(), 1'000'000);
  QCOMPARE(memo()->CursorPosition(), TextPosition{});
  timer.restart();
  Undo();
  const qint64 undone = timer.elapsed();
  QCOMPARE(memo()->toPlainText(), QStringLiteral("1\n2"));
  QTest::keyClick(memo(), Qt::Key_Y, Qt::ControlModifier);
  timer.restart();
  QVERIFY(window_->close());
  const qint64 closed = timer.elapsed();
  QCOMPARE(QFileInfo(window_->files().RecoveryPath()).size(), qint64(text.size()) - 1);
  qInfo(
      "a million lines: read in %lld ms, pasted in %lld ms, opened in %lld ms, undone in %lld ms, "
      "kept on close in %lld ms",
      read, pasted, opened, undone, closed);
}

// Reading takes memory for what the file holds, not for the largest file it would take.
void WindowFilesTest::smallFileOpensInLittleMemory() {
  const QString path = Write("klein.txt", "1\n2\n");
  QFile status("/proc/self/status");
  QVERIFY(status.open(QIODevice::ReadOnly));
  const QByteArray lines = status.readAll();
  const qsizetype at = lines.indexOf("VmSize:");
  QVERIFY(at >= 0);
  const rlim_t used =
      lines.mid(at + 7, lines.indexOf('\n', at) - at - 7).trimmed().split(' ')[0].toULongLong() *
      1024;
  rlimit saved{};
  QCOMPARE(getrlimit(RLIMIT_AS, &saved), 0);
  rlimit tight = saved;
  tight.rlim_cur = std::min<rlim_t>(saved.rlim_cur, used + (rlim_t{256} << 20));
  QCOMPARE(setrlimit(RLIMIT_AS, &tight), 0);
  QString error;
  const bool read = SeriesFile::Open(path, &error).has_value();
  setrlimit(RLIMIT_AS, &saved);
  QVERIFY2(read, qPrintable(error));
}

QTEST_MAIN(WindowFilesTest)
#include "window_files_test.moc"
