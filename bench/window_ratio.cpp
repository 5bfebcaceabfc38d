// Times every button in the window (offscreen) and the same operation of the evaluation on an
// in-memory list with the same lines, and prints both and their ratio.

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "evaluation.h"
#include "form1.h"
#include "measurement_edit.h"
#include "measurement_list.h"
#include "operations.h"

namespace {

using messwerte::Auswertung;
using messwerte::Form;

using bench::Field;
using bench::kOperations;
using bench::Operation;
using bench::Values;

double Median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const int lines = argc > 1 ? std::atoi(argv[1]) : 100'000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 7;
  const std::string text = Values(lines);
  const QString qtext = QString::fromStdString(text);

  TForm1 window;
  QStringList errors;
  window.ShowError = [&errors](const QString& message) { errors << message; };
  window.show();
  auto* memo = window.findChild<MeasurementEdit*>("Memo1");

  // "first" is the first press after the list got its text: it reads and converts every line.
  // "again" is the press after it on the unchanged list, which finds the values kept.
  std::printf("%d lines, median of %d presses\n", lines, runs);
  // "paint" is the repaint of the window that follows a first press, which the core has no part
  // in; it is timed on its own.
  std::printf("%-20s %10s %10s %7s %10s %10s %7s %7s\n", "button", "core first", "window", "ratio",
              "core again", "window", "ratio", "paint");
  double worst = 0;
  for (const Operation& operation : kOperations) {
    const bool reset = operation.run == messwerte::btnMemoResetClick;
    std::vector<double> core_first, core_again, window_first, window_again, paint;
    for (int run = 0; run < runs; ++run) {
      messwerte::LineList list(text);
      Field a, b, c, d, e, f;
      messwerte::KeptValues kept;
      Form form{list, a, b, c, d, e, f, '.', kept};
      Auswertung state;
      for (auto* times : {&core_first, &core_again}) {
        QElapsedTimer timer;
        timer.start();
        operation.run(form, state);
        times->push_back(timer.nsecsElapsed() / 1e6);
      }
    }
    auto* button = window.findChild<QPushButton*>(operation.button);
    for (int run = 0; run < runs; ++run) {
      memo->setPlainText(qtext);
      QApplication::processEvents();
      for (auto* times : {&window_first, &window_again}) {
        QElapsedTimer timer;
        timer.start();
        button->click();
        times->push_back(timer.nsecsElapsed() / 1e6);
        timer.start();
        QApplication::processEvents();
        if (times == &window_first) paint.push_back(timer.nsecsElapsed() / 1e6);
      }
    }
    const double first = Median(window_first) / Median(core_first);
    const double again = Median(window_again) / Median(core_again);
    worst = std::max({worst, first, reset ? 0.0 : again});
    // A second reset finds the first line empty and does nothing in either; no ratio to speak of.
    char again_text[32] = "      —";
    if (!reset) std::snprintf(again_text, sizeof again_text, "%7.2f", again);
    std::printf("%-20s %10.2f %10.2f %7.2f %10.2f %10.2f %s %7.2f\n", operation.button,
                Median(core_first), Median(window_first), first, Median(core_again),
                Median(window_again), again_text, Median(paint));
  }
  if (!errors.isEmpty()) {
    std::fprintf(stderr, "%s\n", qPrintable(errors.join('\n')));
    return 1;
  }
  std::printf("largest ratio %.2f\n", worst);
  return 0;
}
