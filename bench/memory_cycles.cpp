// Drives the real window offscreen through what makes the list field's memory grow: cycles of
// (select all, paste a million lines, Mittelwert, reset, undo) with the peak resident memory of
// each cycle, then Ctrl+A and Delete, then keys typed on one long line; and times the paste, the
// reset and the undo of a cycle.

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "form1.h"
#include "measurement_edit.h"
#include "operations.h"
#include "process_figures.h"

namespace {

// Starts a new peak: from now on VmHWM counts from the current resident memory.
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void Key(QWidget* widget, int key, const QString& text = {},
         Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QApplication::sendEvent(widget, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
  QApplication::sendEvent(widget, &release);
}

double Ms(QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const int lines = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
  const int cycles = argc > 2 ? std::atoi(argv[2]) : 12;
  const bool same = argc > 3 && std::string(argv[3]) == "same";

  TForm1 window;
  QStringList errors;
  window.ShowError = [&errors](const QString& message) { errors << message; };
  window.show();
  auto* memo = window.findChild<MeasurementEdit*>("Memo1");
  auto* mean = window.findChild<QPushButton*>("btnMittelwert");
  auto* reset = window.findChild<QPushButton*>("btnMemoReset");
  QApplication::processEvents();

  std::printf("%d cycles of (select all, paste %d lines, Mittelwert, reset, undo), %s text\n",
              cycles, lines, same ? "the same" : "a new");
  std::printf("%6s %10s %10s %9s %9s %9s %12s\n", "cycle", "peak MiB", "after MiB", "paste ms",
              "reset ms", "undo ms", "history MiB");
  double first_peak = 0, last_peak = 0;
  for (int cycle = 1; cycle <= cycles; ++cycle) {
    // The clipboard's text is made before the peak starts: it is the other program's memory.
    QApplication::clipboard()->setText(
        QString::fromStdString(bench::Values(lines, same ? 1 : static_cast<unsigned>(cycle))));
    QApplication::processEvents();
    ResetPeak();
    QElapsedTimer timer;
    memo->selectAll();
    timer.start();
    memo->paste();
    QApplication::processEvents();
    const double paste = Ms(timer);
    mean->click();
    QApplication::processEvents();
    timer.start();
    reset->click();
    QApplication::processEvents();
    const double emptied = Ms(timer);
    timer.start();
    memo->undo();
    QApplication::processEvents();
    const double undone = Ms(timer);
    QApplication::clipboard()->clear();
    QApplication::processEvents();
    const double peak = bench::StatusMiB("VmHWM");
    if (cycle == 1) first_peak = peak;
    last_peak = peak;
    std::printf("%6d %10.1f %10.1f %9.1f %9.1f %9.1f %12.1f\n", cycle, peak,
                bench::StatusMiB("VmRSS"), paste, emptied, undone,
                static_cast<double>(memo->model().HistoryBytes()) / (1 << 20));
  }
  if (cycles > 0) {
    std::printf("last cycle's peak / first cycle's peak: %.2f\n", last_peak / first_peak);
  }

  const double before_delete = bench::StatusMiB("VmRSS");
  memo->selectAll();
  Key(memo, Qt::Key_Delete);
  QApplication::processEvents();
  std::printf("Ctrl+A, Delete: %.1f MiB before, %.1f MiB after (%zu undo steps kept)\n",
              before_delete, bench::StatusMiB("VmRSS"), memo->model().UndoSteps());

  memo->setPlainText(QString(20'000, QLatin1Char('7')));
  memo->SetSelection({0, 20'000}, {0, 20'000});
  QApplication::processEvents();
  const double before_typing = bench::StatusMiB("VmRSS");
  QElapsedTimer timer;
  timer.start();
  for (int k = 0; k < 2000; ++k) Key(memo, Qt::Key_1, QStringLiteral("1"));
  QApplication::processEvents();
  std::printf("2000 keys on a 20,000-character line: %.1f MiB before, %.1f MiB after, %.0f ms\n",
              before_typing, bench::StatusMiB("VmRSS"), Ms(timer));
  if (memo->model().LineCount() != 1 || memo->model().Line(0).size() != 22'000) {
    std::fprintf(stderr, "the typed keys did not all arrive\n");
    return 1;
  }
  if (!errors.isEmpty()) {
    std::fprintf(stderr, "%s\n", qPrintable(errors.join('\n')));
    return 1;
  }
  return 0;
}
