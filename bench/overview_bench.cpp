// Times the overview panel in the real window (offscreen) on a list of LINES values (default
// 1,000,000, as bench/make-values writes them):
// - opening the plot (Ansicht → Diagramm),
// - one frame of the plot of all values, and of its histogram,
// - a key typed in the list's middle line with the plot open, until the plot has been drawn
//   again and the window repainted; and Return and Backspace there, which add and remove a line,
// - the Kennwerte once typing pauses.
//   overview_bench [LINES]
// Each figure is the median and the largest of RUNS (default 15) in milliseconds.

#include <qcustomplot.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "form1.h"
#include "measurement_edit.h"
#include "operations.h"
#include "overview_panel.h"
#include "process_figures.h"
#include "series_plot.h"

namespace {

struct Figures {
  double median;
  double largest;
  double cpu_median;  // the time the window's thread ran, less disturbed by other programs
  double cpu_largest;
};

// `action` timed, each run after `prepare`, which is not.
template <class Action, class Prepare>
Figures Time(int runs, Action action, Prepare prepare) {
  std::vector<double> times;
  std::vector<double> cpu;
  for (int run = 0; run < runs; ++run) {
    prepare();
    QElapsedTimer timer;
    const double ran = 1e3 * bench::ThreadSeconds();
    timer.start();
    action();
    times.push_back(timer.nsecsElapsed() / 1e6);
    cpu.push_back(1e3 * bench::ThreadSeconds() - ran);
  }
  std::sort(times.begin(), times.end());
  std::sort(cpu.begin(), cpu.end());
  return {times[times.size() / 2], times.back(), cpu[cpu.size() / 2], cpu.back()};
}

template <class Action>
Figures Time(int runs, Action action) {
  return Time(runs, action, [] {});
}

void Print(const char* what, Figures figures) {
  std::printf("  %-44s median %7.2f ms  largest %7.2f ms  (thread %7.2f / %7.2f ms)\n", what,
              figures.median, figures.largest, figures.cpu_median, figures.cpu_largest);
}

// Handles events until `plot` has drawn a frame and nothing more is waiting.
void UntilDrawn(QCustomPlot& plot) {
  bool drawn = false;
  const QMetaObject::Connection connection =
      QObject::connect(&plot, &QCustomPlot::afterReplot, [&drawn] { drawn = true; });
  QElapsedTimer waited;
  waited.start();
  while (!drawn && waited.elapsed() < 2000) QApplication::processEvents();
  QApplication::processEvents();
  QObject::disconnect(connection);
  if (!drawn) std::fprintf(stderr, "the plot was not drawn again\n");
}

void Key(MeasurementEdit& list, Qt::Key key, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(&list, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(&list, &release);
}

// A digit typed at the end of the middle line and taken back, in turns, so that the series stays
// as it was; then the line broken in two by Return and joined again by Backspace, so that lines
// come and go. Each key until the plot has drawn the change, if it is open, and the window has
// been repainted.
void Typing(MeasurementEdit& list, int lines, int runs, QCustomPlot& trace, const char* how) {
  const bool plot = trace.isVisible();
  const auto finish = [&] {
    if (plot) {
      UntilDrawn(trace);
    } else {
      QApplication::processEvents();
    }
  };
  list.setFocus();
  const int middle = lines / 2;
  const int length = static_cast<int>(list.model().Line(middle).size());
  list.SetSelection({middle, length}, {middle, length});
  QApplication::processEvents();
  // The key, then Backspace taking it back, in turn.
  const auto key_and_back = [&](const char* name, Qt::Key key, const QString& text) {
    int typed = 0;
    Print((std::string(name) + how).c_str(), Time(2 * runs, [&] {
            if (typed++ % 2 == 0) {
              Key(list, key, text);
            } else {
              Key(list, Qt::Key_Backspace, QString());
            }
            finish();
          }));
  };
  key_and_back("key in the middle line, ", Qt::Key_7, QStringLiteral("7"));
  list.SetSelection({middle, length / 2}, {middle, length / 2});
  QApplication::processEvents();
  key_and_back("Return/Backspace there, ", Qt::Key_Return, QStringLiteral("\r"));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const int runs = std::getenv("RUNS") ? std::atoi(std::getenv("RUNS")) : 15;
  const int lines = argc > 1 ? std::atoi(argv[1]) : 1'000'000;

  TForm1 window;
  window.ShowError = [](const QString& message) {
    std::fprintf(stderr, "%s\n", qPrintable(message));
  };
  window.show();
  QApplication::setActiveWindow(&window);
  auto* list = window.findChild<MeasurementEdit*>("Memo1");
  list->setFocus();
  list->setPlainText(QString::fromStdString(bench::Values(lines)));
  QApplication::processEvents();

  SeriesPlot& plot = window.overview().plot();
  QCustomPlot& trace = plot.TracePlot();
  std::printf("%d lines, %d runs\n", lines, runs);
  Typing(*list, lines, runs, trace, "without the plot");
  Print("open the plot (Ansicht → Diagramm)", Time(1, [&] {
          window.findChild<QAction*>("actionDiagramm")->trigger();
          UntilDrawn(trace);
        }));
  Print("frame: the values over their lines",
        Time(runs, [&] { trace.replot(QCustomPlot::rpImmediateRefresh); }));

  Typing(*list, lines, runs, trace, "plot drawn again");
  QCustomPlot* histogram = nullptr;
  for (QCustomPlot* each : plot.findChildren<QCustomPlot*>()) {
    if (each != &trace) histogram = each;
  }
  plot.SetView(1);
  QApplication::processEvents();
  Print("frame: the histogram",
        Time(runs, [&] { histogram->replot(QCustomPlot::rpImmediateRefresh); }));
  plot.SetView(0);
  QApplication::processEvents();

  // The Kennwerte wait until typing pauses; then they read every line.
  window.findChild<QAction*>("actionKennwerte")->trigger();
  QApplication::processEvents();
  Print("Kennwerte after a pause in typing", Time(
                                                 runs, [&] { window.overview().Flush(); },
                                                 [&] {
                                                   Key(*list, Qt::Key_7, QStringLiteral("7"));
                                                   Key(*list, Qt::Key_Backspace, QString());
                                                   UntilDrawn(trace);
                                                 }));
  return 0;
}
