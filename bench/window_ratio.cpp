// Times every button in the window (offscreen) and the same operation of the evaluation on an
// in-memory list with the same lines, and prints both and their ratio.

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "evaluation.h"
#include "form1.h"
#include "measurement_list.h"

namespace {

using messwerte::Auswertung;
using messwerte::Form;

struct Operation {
  const char* button;
  void (*run)(Form&, Auswertung&);
};

const Operation kOperations[] = {
    {"btnAnzahl", messwerte::btnAnzahlClick},
    {"btnMittelwert", messwerte::btnMittelwertClick},
    {"btnquadr_Mittelwert", messwerte::btnquadr_MittelwertClick},
    {"btnGroessterMessw", messwerte::btnGroessterMesswClick},
    {"brnKleinsterMessw", messwerte::brnKleinsterMesswClick},
    {"btnAbweichung", messwerte::btnAbweichungClick},
    {"btnMemoReset", messwerte::btnMemoResetClick},
};

class Field final : public messwerte::OutputField {
 public:
  void SetText(std::string_view text) override { text_.assign(text); }

 private:
  std::string text_;
};

// Lines like 123.4567, about a fifth of them negative, each followed by a break.
std::string Values(int count) {
  std::mt19937_64 random(1);
  std::uniform_real_distribution<double> spread(-0.25, 1.0), factor(1.0, 9.9999);
  const double magnitudes[] = {1, 10, 100, 1000};
  std::string text;
  for (int i = 0; i < count; ++i) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.4f\n",
                  spread(random) * magnitudes[random() % 4] * factor(random));
    text += buffer;
  }
  return text;
}

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
  auto* memo = window.findChild<QPlainTextEdit*>("Memo1");
  const auto reset_done = [memo, lines] {
    return memo->document()->findBlockByNumber(lines - 1).text().isEmpty();
  };

  std::printf("%d lines, median of %d presses\n", lines, runs);
  std::printf("%-20s %12s %12s %8s\n", "button", "core ms", "window ms", "ratio");
  double worst = 0;
  for (const Operation& operation : kOperations) {
    const bool reset = operation.run == messwerte::btnMemoResetClick;
    std::vector<double> core_times, window_times;
    for (int run = 0; run < runs; ++run) {
      messwerte::LineList list(text);
      Field a, b, c, d, e, f;
      Form form{list, a, b, c, d, e, f, '.'};
      Auswertung state;
      QElapsedTimer timer;
      timer.start();
      operation.run(form, state);
      core_times.push_back(timer.nsecsElapsed() / 1e6);
    }
    auto* button = window.findChild<QPushButton*>(operation.button);
    memo->setPlainText(qtext);
    button->click();  // the first press after a change also takes the list's text
    for (int run = 0; run < runs; ++run) {
      if (reset) {
        memo->setPlainText(qtext);
        QApplication::processEvents();
        button->click();
        QApplication::processEvents();  // the first, untimed reset above left nothing to do
      }
      if (reset) memo->setPlainText(qtext);
      QElapsedTimer timer;
      timer.start();
      button->click();
      // A long reset goes on by slices from the event loop; it ends when the last value is empty.
      while (reset && !reset_done()) QApplication::processEvents();
      window_times.push_back(timer.nsecsElapsed() / 1e6);
    }
    const double core = Median(core_times), in_window = Median(window_times);
    worst = std::max(worst, in_window / core);
    std::printf("%-20s %12.2f %12.2f %8.2f\n", operation.button, core, in_window, in_window / core);
  }
  if (!errors.isEmpty()) {
    std::fprintf(stderr, "%s\n", qPrintable(errors.join('\n')));
    return 1;
  }
  std::printf("largest ratio %.2f\n", worst);
  return 0;
}
