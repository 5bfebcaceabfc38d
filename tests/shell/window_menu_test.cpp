#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QtTest>
#include <memory>
#include <vector>

#include "form1.h"
#include "measurement_edit.h"
#include "window_harness.h"

namespace {

struct Heard {
  QObject* object;
  QAccessible::Event type;
  QString name;  // of the object when the event came
};
std::vector<Heard>* heard = nullptr;  // while a test listens

void Listen(QAccessibleEvent* event) {
  if (!heard) return;
  QAccessibleInterface* accessible = event->accessibleInterface();
  heard->push_back({event->object(), event->type(),
                    accessible ? accessible->text(QAccessible::Name) : QString()});
}

// "&Datei öffnen…\tCtrl+O" without the key.
QString Caption(const QAction* action) { return action->text().section(u'\t', 0, 0); }

QChar Mnemonic(const QString& caption) {
  const qsizetype at = caption.indexOf(u'&');
  return at >= 0 && at + 1 < caption.size() ? caption[at + 1].toLower() : QChar();
}

}  // namespace

class WindowMenuTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  }
  void init() {
    window_ = OpenWindow(errors_);
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QApplication::setActiveWindow(window_.get());
  }
  void cleanup() {
    heard = nullptr;
    CloseWindow(window_);
  }

  void menusHoldTheirActions_data();
  void menusHoldTheirActions();
  void noKeyHasTwoMeanings();
  void evaluateAllShowsTheMessageOnce();
  void copyResults_data();
  void copyResults();
  void noticeMakesRoomAndIsHeard();
  void noticeActionRunsAndCloses();

 private:
  MeasurementEdit* memo() { return FindControl<MeasurementEdit>(*window_, "Memo1"); }
  QString field(const char* name) { return FindControl<QLineEdit>(*window_, name)->text(); }
  QMenu* menu(const QString& name) { return FindControl<QMenu>(*window_, name); }

  std::unique_ptr<TForm1> window_;
  QStringList errors_;
};

void WindowMenuTest::menusHoldTheirActions_data() {
  QTest::addColumn<QString>("title");
  QTest::addColumn<QStringList>("captions");
  QTest::addColumn<QStringList>("keys");
  QTest::newRow("menuDatei") << "&Datei"
                             << QStringList{"&Öffnen…", "Liste &speichern unter…",
                                            "&Diagramm speichern unter…", "Messwerte &aufnehmen…",
                                            "&Beenden"}
                             << QStringList{"Ctrl+O", "Ctrl+S", "", "", "Ctrl+Q"};
  QTest::newRow("menuBearbeiten") << "&Bearbeiten"
                                  << QStringList{"&Rückgängig",     "&Wiederherstellen",
                                                 "&Ausschneiden",   "&Kopieren",
                                                 "&Einfügen",       "&Löschen",
                                                 "Alles &markieren"}
                                  << QStringList{"Ctrl+Z", "Ctrl+Y", "Ctrl+X", "Ctrl+C",
                                                 "Ctrl+V", "Del",    "Ctrl+A"};
  QTest::newRow("menuAuswertung")
      << "&Auswertung"
      << QStringList{"&Anzahl",           "&Mittelwert",          "&Quadratischer Mittelwert",
                     "&Größter Messwert", "&Kleinster Messwert",  "&Prozentuale Abweichung",
                     "A&lle auswerten",   "Ergebnisse k&opieren", "Memofeld &Zurücksetzen"}
      << QStringList{"", "", "", "", "", "", "F5", "Ctrl+Shift+C", ""};
  QTest::newRow("menuAnsicht") << "A&nsicht" << QStringList{"&Kennwerte", "&Diagramm"}
                               << QStringList{"F8", "F9"};
  QTest::newRow("menuHilfe") << "&Hilfe"
                             << QStringList{"&Tastenkürzel", "Ü&ber Messwerte Auswerten"}
                             << QStringList{"", ""};
}

// Every visible item in its menu, each with a letter of its own and its key.
void WindowMenuTest::menusHoldTheirActions() {
  QFETCH(QString, title);
  QFETCH(QStringList, captions);
  QFETCH(QStringList, keys);
  QMenu* shown = menu(QTest::currentDataTag());
  QCOMPARE(shown->title(), title);
  QVERIFY(window_->menuBar().actions().contains(shown->menuAction()));
  QStringList offered;
  QStringList offered_keys;
  QSet<QChar> letters;
  for (QAction* action : shown->actions()) {
    if (action->isSeparator() || !action->isVisible()) continue;
    offered << Caption(action);
    offered_keys << action->shortcut().toString(QKeySequence::PortableText);
    const QChar letter = Mnemonic(Caption(action));
    QVERIFY2(!letter.isNull() && !letters.contains(letter), qPrintable(Caption(action)));
    letters.insert(letter);
  }
  QCOMPARE(offered, captions);
  QCOMPARE(offered_keys, keys);
}

// A key that two actions of the window answer would do neither.
void WindowMenuTest::noKeyHasTwoMeanings() {
  QHash<QKeySequence, QString> owner;
  for (QAction* action : window_->findChildren<QAction*>()) {
    if (action->shortcutContext() == Qt::WidgetShortcut) continue;
    for (const QKeySequence& key : action->shortcuts()) {
      QVERIFY2(!owner.contains(key),
               qPrintable(key.toString() + ": " + owner.value(key) + " / " + action->text()));
      owner.insert(key, action->text());
    }
  }
  QVERIFY(owner.contains(QKeySequence(Qt::Key_F5)));
}

void WindowMenuTest::evaluateAllShowsTheMessageOnce() {
  memo()->setPlainText("1\nzwei\n3");
  QTest::keyClick(window_.get(), Qt::Key_F5);
  QCOMPARE(errors_.size(), 1);
  QVERIFY(errors_[0].contains(QStringLiteral("zwei")));
  QCOMPARE(field("edtAnzahl"), QStringLiteral("3"));
  QVERIFY(field("edtMittelwert").isEmpty());
  QCOMPARE(memo()->SelectedText(), QStringLiteral("zwei"));
}

void WindowMenuTest::copyResults_data() {
  QTest::addColumn<QString>("list");
  QTest::addColumn<QString>("copied");
  QTest::newRow("values") << "2\n4\n6"
                          << "Anzahl\t3\nMittelwert\t4\nQuadratischer Mittelwert\t"
                             "4.32049369812012\nGrößter Messwert\t6\nKleinster Messwert\t2\n"
                             "Prozentuale Abweichung\t50\n";
  QTest::newRow("a bad line") << "2\nx"
                              << "Anzahl\t2\nMittelwert\t–\nQuadratischer Mittelwert\t–\n"
                                 "Größter Messwert\t–\nKleinster Messwert\t–\n"
                                 "Prozentuale Abweichung\t–\n";
}

// The results of the list as it is when copied, not of an earlier one.
void WindowMenuTest::copyResults() {
  QFETCH(QString, list);
  QFETCH(QString, copied);
  memo()->setPlainText("7");
  QTest::keyClick(window_.get(), Qt::Key_F5);
  memo()->setPlainText(list);
  QTest::keyClick(window_.get(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
  QCOMPARE(QApplication::clipboard()->text(), copied);
  QCOMPARE(errors_.size(), copied.contains(u'–') ? 1 : 0);
}

void WindowMenuTest::noticeMakesRoomAndIsHeard() {
  const QRect designed = window_->designedArea().geometry();
  const int height = window_->height();
  std::vector<Heard> events;
  heard = &events;
  NoticeLine& notices = window_->notices();
  // Without a screen reader on the bus Qt drops every event; the line hands them here instead.
  notices.Announce = [](QAccessibleEvent& event) { Listen(&event); };
  notices.Show(QStringLiteral("Erste Nachricht"));
  QVERIFY(notices.isVisible());
  QVERIFY(window_->height() > height);
  QCOMPARE(window_->designedArea().geometry(), designed);
  QCOMPARE(notices.geometry().top(), designed.bottom() + 1);
  const int shown_height = window_->height();
  notices.Show(QStringLiteral("Zweite Nachricht"));
  QCOMPARE(notices.text(), QStringLiteral("Zweite Nachricht"));
  QCOMPARE(window_->height(), shown_height);
  heard = nullptr;
  QStringList names;
  for (const Heard& h : events) {
    if (h.object == &notices &&
        (h.type == QAccessible::NameChanged || h.type == QAccessible::ObjectShow)) {
      names << h.name;
    }
  }
  QVERIFY2(names.contains(QStringLiteral("Erste Nachricht")), qPrintable(names.join('|')));
  QVERIFY2(names.contains(QStringLiteral("Zweite Nachricht")), qPrintable(names.join('|')));
  QCOMPARE(QAccessible::queryAccessibleInterface(&notices)->role(), QAccessible::Notification);
  notices.Clear();
  QVERIFY(!notices.isVisible());
  QCOMPARE(window_->height(), height);
  QCOMPARE(window_->designedArea().geometry(), designed);
}

void WindowMenuTest::noticeActionRunsAndCloses() {
  int runs = 0;
  NoticeLine& notices = window_->notices();
  notices.Show(QStringLiteral("Eine Liste wartet."),
               {{QStringLiteral("Wiederherstellen"), [&runs] { ++runs; }},
                {QStringLiteral("Verwerfen"), {}}});
  QPushButton* restore = nullptr;
  for (QPushButton* button : notices.findChildren<QPushButton*>()) {
    if (button->text() == QStringLiteral("Wiederherstellen") && button->isVisible()) {
      restore = button;
    }
  }
  QVERIFY(restore);
  QTest::mouseClick(restore, Qt::LeftButton);
  QCOMPARE(runs, 1);
  QVERIFY(notices.text().isEmpty());
  QVERIFY(!notices.isVisible());
}

QTEST_MAIN(WindowMenuTest)
#include "window_menu_test.moc"
