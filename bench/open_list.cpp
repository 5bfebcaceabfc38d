// Opens a file of values in the real window, offscreen, as "Datei öffnen…" does, and prints the
// time it took; then changes one line and times the recovery write that follows: the longest
// time the event loop was held up meanwhile (a timer of interval 0 measures the gaps between its
// turns), the event loop's own time in all, and the whole write until it is on the disk.
// Peak memory: run it under /usr/bin/time -v.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <string>

#include "form1.h"
#include "measurement_edit.h"
#include "process_figures.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: open_list FILE\n");
    return 2;
  }
  QTemporaryDir home;
  qputenv("HOME", QFile::encodeName(home.path()));
  QStandardPaths::setTestModeEnabled(true);
  QApplication application(argc, argv);
  TForm1 window;
  window.ShowError = [](const QString& message) {
    std::fprintf(stderr, "%s\n", qPrintable(message));
  };
  window.show();
  QElapsedTimer timer;
  timer.start();
  const double open_cpu = bench::ThreadSeconds();
  if (!window.files().Open(QString::fromLocal8Bit(argv[1]))) return 1;
  const qint64 opened = timer.elapsed();
  const double opened_cpu = (bench::ThreadSeconds() - open_cpu) * 1e3;
  const double open_peak = bench::StatusMiB("VmHWM");
  auto* list = window.findChild<MeasurementEdit*>("Memo1");
  list->InsertText(QStringLiteral("1"));
  QEventLoop written;
  QObject::connect(window.findChild<RecoveryFile*>(), &RecoveryFile::written, &written,
                   &QEventLoop::quit);
  // Between two turns of the probe, the wall time and the time this thread ran; on a busy
  // machine the first includes time the thread waited for a core.
  QElapsedTimer turn;
  qint64 longest = 0;
  double longest_cpu = 0;
  double cpu = bench::ThreadSeconds();
  QTimer probe;
  probe.setInterval(0);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    longest = std::max(longest, turn.nsecsElapsed());
    turn.restart();
    const double now = bench::ThreadSeconds();
    longest_cpu = std::max(longest_cpu, now - cpu);
    cpu = now;
  });
  QCoreApplication::processEvents();  // the paint after the change
  timer.restart();
  turn.start();
  cpu = bench::ThreadSeconds();
  window.files().KeepChanges();
  probe.start();
  written.exec();
  const qint64 kept = timer.elapsed();
  std::printf(
      "%d lines: opened in %lld ms (%.0f ms of its thread's time), peak %.0f MiB; recovery write: "
      "the event loop held up for %.1f ms "
      "at most (%.2f ms of its thread's time), on disk after %lld ms\n",
      list->LineCount(), opened, opened_cpu, open_peak, longest / 1e6, longest_cpu * 1e3, kept);
  window.files().KeepForRecovery();
  return 0;
}
