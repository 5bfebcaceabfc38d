// Times the list field on one long line in the real window (offscreen): a full repaint, a typed
// key with the repaint it causes, a caret blink, a horizontal scroll by a page, the End key and
// the scroll bar dragged to its end on a line measured only about its start, a click there, a
// horizontal scroll back by a page from the end, a key typed at the end, one more with a screen
// reader listening, and the first key on the same line read from a file.
//   long_line [BYTES...]   (default 1000000 100000000)
// Each figure is the median and the largest of RUNS (default 15) in milliseconds. TEXT (UTF-8,
// default "1234,5678 ") is what the line repeats.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyleHints>
#include <QTemporaryFile>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "form1.h"
#include "measurement_edit.h"
#include "series_actions.h"

namespace {

struct Figures {
  double median;
  double largest;
};

Figures Of(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return {times[times.size() / 2], times.back()};
}

template <class Before, class Action>
Figures Time(int runs, Before before, Action action) {
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    before();
    QElapsedTimer timer;
    timer.start();
    action();
    QApplication::processEvents();
    times.push_back(timer.nsecsElapsed() / 1e6);
  }
  return Of(times);
}

template <class Action>
Figures Time(int runs, Action action) {
  return Time(runs, [] {}, action);
}

// Times the events the application handles while the caret blinks on its own: the blink's
// timer and the repaint of the window it asks for.
class TimedApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool timing = false;
  std::vector<double> timers;
  std::vector<double> repaints;

  bool notify(QObject* receiver, QEvent* event) override {
    if (!timing || depth_ > 0) return QApplication::notify(receiver, event);
    const QEvent::Type type = event->type();
    QElapsedTimer timer;
    timer.start();
    ++depth_;
    const bool handled = QApplication::notify(receiver, event);
    --depth_;
    if (type == QEvent::Timer) timers.push_back(timer.nsecsElapsed() / 1e6);
    if (type == QEvent::UpdateRequest) repaints.push_back(timer.nsecsElapsed() / 1e6);
    return handled;
  }

 private:
  int depth_ = 0;
};

// The slowest blink: its timer and the repaint it causes, both at their slowest.
Figures Blinks(TimedApplication& application, int milliseconds, std::size_t& repaints) {
  application.timers.clear();
  application.repaints.clear();
  application.timing = true;
  QEventLoop loop;
  QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
  loop.exec();
  application.timing = false;
  repaints = application.repaints.size();
  if (application.timers.empty()) application.timers.push_back(0);
  if (application.repaints.empty()) application.repaints.push_back(0);
  const Figures timer = Of(application.timers);
  const Figures repaint = Of(application.repaints);
  return {timer.median + repaint.median, timer.largest + repaint.largest};
}

void Print(const char* what, Figures figures) {
  std::printf("  %-28s median %8.2f ms   largest %8.2f ms\n", what, figures.median,
              figures.largest);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TimedApplication application(argc, argv);
  const int runs = std::getenv("RUNS") ? std::atoi(std::getenv("RUNS")) : 15;
  std::vector<long long> sizes;
  for (int k = 1; k < argc; ++k) sizes.push_back(std::atoll(argv[k]));
  if (sizes.empty()) sizes = {1'000'000, 100'000'000};
  QGuiApplication::styleHints()->setCursorFlashTime(100);

  TForm1 window;
  window.ShowError = [](const QString& message) {
    std::fprintf(stderr, "%s\n", qPrintable(message));
  };
  window.show();
  QApplication::setActiveWindow(&window);
  auto* memo = window.findChild<MeasurementEdit*>("Memo1");
  memo->setFocus();
  QApplication::processEvents();
  if (!memo->hasFocus()) std::fprintf(stderr, "the list has no focus: its caret does not blink\n");

  for (const long long bytes : sizes) {
    std::string line;
    line.reserve(static_cast<std::size_t>(bytes));
    const std::string pattern = std::getenv("TEXT") ? std::getenv("TEXT") : "1234,5678 ";
    while (line.size() < static_cast<std::size_t>(bytes)) line += pattern;
    line.resize(static_cast<std::size_t>(bytes) / pattern.size() * pattern.size());
    QElapsedTimer opened;
    opened.start();
    memo->setPlainText(QString::fromStdString(line));
    line = {};
    memo->viewport()->repaint();
    QApplication::processEvents();
    std::printf("one line of %lld bytes (text set and first paint: %.0f ms), %d runs\n", bytes,
                opened.nsecsElapsed() / 1e6, runs);
    memo->SetSelection({}, {});
    Print("paint", Time(runs, [&] { memo->viewport()->repaint(); }));
    Print("key at the start", Time(runs, [&] {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, QStringLiteral("7"));
            QApplication::sendEvent(memo, &press);
            memo->viewport()->repaint();
          }));
    std::size_t repaints = 0;
    const Figures blinks = Blinks(application, 1500, repaints);
    std::printf("  %zu repaints in 1.5 s of blinking\n", repaints);
    Print("caret blink", blinks);
    QScrollBar* horizontal = memo->horizontalScrollBar();
    Print("scroll a page right", Time(runs, [&] {
            horizontal->triggerAction(QAbstractSlider::SliderPageStepAdd);
            memo->viewport()->repaint();
          }));
    // Far into a line not measured there yet: a key typed at its start before each run sends
    // what was measured of the line after the key away.
    const auto typed_at_start = [&] {
      memo->SetSelection({}, {});
      QKeyEvent press(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, QStringLiteral("7"));
      QApplication::sendEvent(memo, &press);
      memo->viewport()->repaint();
      QApplication::processEvents();
    };
    Print("End, once", Time(runs, typed_at_start, [&] {
            QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
            QApplication::sendEvent(memo, &end);
            memo->viewport()->repaint();
          }));
    Print("scroll bar to its end", Time(runs, typed_at_start, [&] {
            horizontal->setValue(horizontal->maximum());
            memo->viewport()->repaint();
          }));
    Print("click there", Time(runs, [&] {
            const QPoint at(memo->viewport()->width() / 2, memo->viewport()->height() / 4);
            QMouseEvent press(QEvent::MouseButtonPress, at, memo->viewport()->mapToGlobal(at),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QMouseEvent release(QEvent::MouseButtonRelease, at, memo->viewport()->mapToGlobal(at),
                                Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(memo->viewport(), &press);
            QApplication::sendEvent(memo->viewport(), &release);
            memo->viewport()->repaint();
          }));
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QApplication::sendEvent(memo, &end);
    memo->viewport()->repaint();
    Print("scroll a page left there", Time(runs, [&] {
            horizontal->triggerAction(QAbstractSlider::SliderPageStepSub);
            memo->viewport()->repaint();
          }));
    QApplication::sendEvent(memo, &end);
    Print("key at the end", Time(runs, [&] {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, QStringLiteral("7"));
            QApplication::sendEvent(memo, &press);
            memo->viewport()->repaint();
          }));
    // As a screen reader hears it: each key told with its UTF-16 offset, and the caret's.
    std::size_t told = 0;
    memo->Announce = [&told](QAccessibleEvent&) { ++told; };
    Print("key at the end, announced", Time(runs, [&] {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, QStringLiteral("7"));
            QApplication::sendEvent(memo, &press);
            memo->viewport()->repaint();
          }));
    memo->Announce = {};
    if (told == 0) std::fprintf(stderr, "no key was announced\n");

    // The same line from a file, as Datei öffnen… reads it, with a break at its end.
    QTemporaryFile file;
    if (file.open()) {
      file.write(memo->toPlainText().toUtf8() + '\n');
      file.close();
      memo->setPlainText(QStringLiteral("1\n2"));  // a list of several lines that it replaces
      if (window.files().Open(file.fileName())) {
        memo->SetSelection({}, {});
        memo->viewport()->repaint();
        QApplication::processEvents();
        Print("first key after opening", Time(1, [&] {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, QStringLiteral("7"));
                QApplication::sendEvent(memo, &press);
                memo->viewport()->repaint();
              }));
      }
    }
    memo->setPlainText({});
    QApplication::processEvents();
  }
  return 0;
}
