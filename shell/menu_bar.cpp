// The window's menu bar: files, the list's editing, the evaluations, the views and help.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <utility>

#include "form1.h"
#include "overview_panel.h"

namespace {

QAction* AddAction(QMenu& menu, const QString& text, const char* name) {
  QAction* action = menu.addAction(text);
  action->setObjectName(QString::fromLatin1(name));
  return action;
}

}  // namespace

void TForm1::AddMenuBar() {
  Menus = new QMenuBar(this);
  Menus->setObjectName(QStringLiteral("menuBar"));

  QMenu* file = Menus->addMenu(tr("&Datei"));
  file->setObjectName(QStringLiteral("menuDatei"));
  file->addAction(Files->openAction());
  file->addAction(Files->saveAction());
  file->addAction(Files->restoreAction());
  QAction* save_plot =
      AddAction(*file, tr("&Diagramm speichern unter…"), "actionDiagrammSpeichern");
  connect(save_plot, &QAction::triggered, this, &TForm1::SavePlotChosen);
  file->addSeparator();
  // One of the two at a time: starting when idle, stopping while a recording runs.
  file->addAction(Recording->recordAction());
  file->addAction(Recording->stopAction());
  file->addSeparator();
  QAction* quit = AddAction(*file, tr("&Beenden"), "actionBeenden");
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  quit->setMenuRole(QAction::QuitRole);
  connect(quit, &QAction::triggered, this, &QWidget::close);

  QMenu* edit = Menus->addMenu(tr("&Bearbeiten"));
  edit->setObjectName(QStringLiteral("menuBearbeiten"));
  AddEditMenu(*edit);

  QMenu* evaluate = Menus->addMenu(tr("&Auswertung"));
  evaluate->setObjectName(QStringLiteral("menuAuswertung"));
  const struct {
    const char* text;
    const char* name;
    QPushButton* button;
  } presses[] = {
      {"&Anzahl", "actionAnzahl", btnAnzahl},
      {"&Mittelwert", "actionMittelwert", btnMittelwert},
      {"&Quadratischer Mittelwert", "actionQuadrMittelwert", btnquadr_Mittelwert},
      {"&Größter Messwert", "actionGroessterMessw", btnGroessterMessw},
      {"&Kleinster Messwert", "actionKleinsterMessw", brnKleinsterMessw},
      {"&Prozentuale Abweichung", "actionAbweichung", btnAbweichung},
  };
  for (const auto& press : presses) {
    QAction* action = AddAction(*evaluate, tr(press.text), press.name);
    connect(action, &QAction::triggered, press.button, &QPushButton::click);
  }
  evaluate->addSeparator();
  QAction* all = AddAction(*evaluate, tr("A&lle auswerten"), "actionAlleAuswerten");
  all->setShortcut(QKeySequence(Qt::Key_F5));
  connect(all, &QAction::triggered, this, &TForm1::EvaluateAll);
  QAction* copy = AddAction(*evaluate, tr("Ergebnisse k&opieren"), "actionErgebnisseKopieren");
  copy->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
  connect(copy, &QAction::triggered, this, &TForm1::CopyResults);
  evaluate->addSeparator();
  QAction* reset = AddAction(*evaluate, tr("Memofeld &Zurücksetzen"), "actionMemoReset");
  connect(reset, &QAction::triggered, btnMemoReset, &QPushButton::click);

  // Filled by the views; shown once it holds one.
  QMenu* view = Menus->addMenu(tr("A&nsicht"));
  view->setObjectName(QStringLiteral("menuAnsicht"));
  view->menuAction()->setVisible(false);
  view->installEventFilter(this);
  QAction* statistics = AddAction(*view, tr("&Kennwerte"), "actionKennwerte");
  statistics->setShortcut(QKeySequence(Qt::Key_F8));
  statistics->setCheckable(true);
  connect(statistics, &QAction::toggled, this, [this](bool on) {
    Overview->ShowStatistics(on);
    FitOverview();
  });
  QAction* plot = AddAction(*view, tr("&Diagramm"), "actionDiagramm");
  plot->setShortcut(QKeySequence(Qt::Key_F9));
  plot->setCheckable(true);
  connect(plot, &QAction::toggled, this, [this](bool on) {
    Overview->ShowPlot(on);
    FitOverview();
  });

  QMenu* help = Menus->addMenu(tr("&Hilfe"));
  help->setObjectName(QStringLiteral("menuHilfe"));
  QAction* keys = AddAction(*help, tr("&Tastenkürzel"), "actionTastenkuerzel");
  connect(keys, &QAction::triggered, this, &TForm1::ShowKeys);
  QAction* about = AddAction(*help, tr("Ü&ber Messwerte Auswerten"), "actionUeber");
  about->setMenuRole(QAction::AboutRole);
  connect(about, &QAction::triggered, this,
          [this] { QMessageBox::about(this, tr("Über Messwerte Auswerten"), AboutText()); });
}

// The version, the licence and the Qt the program runs on.
QString TForm1::AboutText() {
  return tr("<h3>Messwerte Auswerten %1</h3>"
            "<p>Wertet eine Reihe von Messwerten aus: Anzahl, Mittelwert, quadratischer "
            "Mittelwert, größter und kleinster Messwert und ihre prozentuale Abweichung.</p>"
            "<p>Lizenz: GNU General Public License, Version 3 oder neuer "
            "(GPL-3.0-or-later). Das Programm wird ohne jede Gewährleistung "
            "weitergegeben.</p>"
            "<p>Qt %2 (gebaut mit Qt %3)</p>")
      .arg(QStringLiteral(MESSWERTE_VERSION), QString::fromLatin1(qVersion()),
           QStringLiteral(QT_VERSION_STR));
}

// The list's own editing, with the keys that the list answers when it has the focus. Undo and
// redo work anywhere in the window; the others only name their keys here, so that no key has
// two meanings.
void TForm1::AddEditMenu(QMenu& menu) {
  menu.addAction(UndoAction);
  menu.addAction(RedoAction);
  menu.addSeparator();
  const auto add = [&](const QString& text, const char* name, QKeySequence::StandardKey key,
                       auto run) {
    QAction* action = AddAction(menu, text, name);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WidgetShortcut);
    connect(action, &QAction::triggered, this, run);
    return action;
  };
  QAction* cut =
      add(tr("&Ausschneiden"), "actionAusschneiden", QKeySequence::Cut, [this] { Memo1->cut(); });
  QAction* copy =
      add(tr("&Kopieren"), "actionKopieren", QKeySequence::Copy, [this] { Memo1->copy(); });
  QAction* paste =
      add(tr("&Einfügen"), "actionEinfuegen", QKeySequence::Paste, [this] { Memo1->paste(); });
  QAction* erase = add(tr("&Löschen"), "actionLoeschen", QKeySequence::Delete,
                       [this] { Memo1->InsertText(QString()); });
  menu.addSeparator();
  add(tr("Alles &markieren"), "actionAllesMarkieren", QKeySequence::SelectAll, [this] {
    Memo1->selectAll();
    Memo1->setFocus(Qt::OtherFocusReason);
  });
  connect(&menu, &QMenu::aboutToShow, this, [=, this] {
    const bool selected = !Memo1->model().selection().Empty();
    UndoAction->setEnabled(Memo1->model().CanUndo());
    RedoAction->setEnabled(Memo1->model().CanRedo());
    cut->setEnabled(selected);
    copy->setEnabled(selected);
    erase->setEnabled(selected);
    const QMimeData* data = QApplication::clipboard()->mimeData();
    paste->setEnabled(data && data->hasText());
  });
  // Disabled only while the menu shows: the keys work whenever there is something to do.
  connect(&menu, &QMenu::aboutToHide, this, [this] {
    UndoAction->setEnabled(true);
    RedoAction->setEnabled(true);
  });
}

// The six presses from top to bottom, as the command line makes them; a line that is no number
// fails every press that reads it, and its message is shown once.
void TForm1::EvaluateAll() {
  QStringList errors;
  const auto show_error = std::exchange(ShowError, [&errors](const QString& message) {
    if (!errors.contains(message)) errors << message;
  });
  for (QPushButton* button : {btnAnzahl, btnMittelwert, btnquadr_Mittelwert, btnGroessterMessw,
                              brnKleinsterMessw, btnAbweichung}) {
    button->click();
  }
  ShowError = show_error;
  if (!errors.isEmpty()) ShowError(errors.join(u'\n'));
}

// The six results of the list as it is now, one "label, tab, value" line each: a spreadsheet
// puts labels and values in two columns. A failed press gives "–", as on the command line.
void TForm1::CopyResults() {
  EvaluateAll();
  const QStringList labels = {
      tr("Anzahl"),           tr("Mittelwert"),         tr("Quadratischer Mittelwert"),
      tr("Größter Messwert"), tr("Kleinster Messwert"), tr("Prozentuale Abweichung")};
  QString text;
  const QList<OutputEdit*> fields = OutputFields();
  for (int i = 0; i < fields.size(); ++i) {
    const bool current = !fields[i]->text().isEmpty() && !fields[i]->IsStale();
    text += labels[i] + u'\t' + (current ? fields[i]->text() : QStringLiteral("–")) + u'\n';
  }
  QApplication::clipboard()->setText(text);
  Notices->Show(tr("Die sechs Ergebnisse stehen in der Zwischenablage."));
}

// Every key of the window, with what it does.
void TForm1::ShowKeys() {
  const struct {
    const char* keys;
    const char* does;
  } rows[] = {
      {"Strg+O", "Datei öffnen"},
      {"Strg+S", "Liste speichern unter"},
      {"Strg+Q", "Beenden"},
      {"Strg+Z", "Rückgängig (überall im Fenster)"},
      {"Strg+Y, Strg+Umschalt+Z", "Wiederherstellen (überall im Fenster)"},
      {"Strg+X, Strg+C, Strg+V, Entf", "Ausschneiden, Kopieren, Einfügen, Löschen in der Liste"},
      {"Strg+A", "Alles markieren in der Liste"},
      {"F5", "Alle auswerten"},
      {"Strg+Umschalt+C", "Ergebnisse kopieren"},
      {"F8", "Kennwerte zeigen oder verbergen"},
      {"F9", "Diagramm zeigen oder verbergen"},
      {"Pfeiltasten, Bild auf/ab, Pos1, Ende", "im Diagramm von Wert zu Wert"},
      {"Eingabe (im Diagramm)", "die Zeile des Wertes in der Liste markieren"},
      {"Tab, Umschalt+Tab", "zum nächsten, vorigen Bedienelement"},
      {"Leertaste, Eingabe", "die Schaltfläche mit dem Fokus drücken"},
      {"Alt+unterstrichener Buchstabe", "Menü öffnen"},
  };
  QString table = QStringLiteral("<table cellspacing=\"4\">");
  for (const auto& row : rows) {
    table += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                 .arg(tr(row.keys).toHtmlEscaped(), tr(row.does).toHtmlEscaped());
  }
  table += QStringLiteral("</table>");
  QMessageBox box(QMessageBox::NoIcon, tr("Tastenkürzel"), table, QMessageBox::Close, this);
  box.setTextFormat(Qt::RichText);
  box.exec();
}

void TForm1::SavePlotChosen() {
  QFileDialog dialog(this, tr("Diagramm speichern unter"), QString(),
                     tr("PNG-Bild (*.png);;SVG-Grafik (*.svg);;PDF-Dokument (*.pdf)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("png"));
  if (dialog.exec() != QDialog::Accepted) return;
  const QString path = dialog.selectedFiles().value(0);
  if (path.isEmpty()) return;
  if (!Overview->SavePlot(path)) {
    ShowError(tr("Das Diagramm konnte nicht als „%1“ gespeichert werden.").arg(path));
  } else {
    Notices->Show(tr("Das Diagramm steht in „%1“.").arg(path));
  }
}
