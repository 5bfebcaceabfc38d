// Values per second that a recording takes from a pseudo-terminal without losing one, in the
// window and on the command line. socat makes the pseudo-terminal pair; a writer thread plays an
// instrument that sends N values ("1.5", "2.5", …, one a line) at a set rate, or as fast as the
// reader takes them (0): a pseudo-terminal makes the writer wait rather than drop bytes, so the
// rate reached is the reader's. Every value is checked in order at the end.
//
//   record_throughput fenster N RATE   records into the real window, offscreen
//   record_throughput zeigen N RATE     the same, and the window stays 8 s more on screen
//   record_throughput datei N           opens the same N values from a file, for the memory
//   record_throughput wiederherstellung N RATE   a list of N lines, then 5 s of values: how far
//                                       the recovery file lags behind the instrument
//   record_throughput befehl N RATE PROGRAM   runs PROGRAM --aufnehmen DEVICE --anzahl N
//
// Prints values/s, values lost or out of order, and the peak resident memory.

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "form1.h"
#include "measurement_edit.h"
#include "process_figures.h"
#include "recording_control.h"

namespace {

std::string Value(long i) { return std::to_string(i) + ".5"; }

// Sends `count` values to `path` at `rate` values a second (0: as fast as they are taken), in
// pieces of a millisecond's worth.
void Instrument(const std::string& path, long count, long rate) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY);
  if (fd < 0) return std::perror("instrument");
  // A line end first: the text before it is a possible half line and is never a value.
  std::string out = "\n";
  const auto start = std::chrono::steady_clock::now();
  long sent = 0;
  while (sent < count) {
    long upto = count;
    if (rate > 0) {
      const double ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
              .count();
      upto = std::min(count, static_cast<long>(ms * rate / 1000.0) + 1);
      if (upto <= sent) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        continue;
      }
    } else {
      upto = std::min(count, sent + 4096);
    }
    for (; sent < upto; ++sent) (out += Value(sent + 1)) += '\n';
    for (std::size_t done = 0; done < out.size();) {
      const ssize_t n = ::write(fd, out.data() + done, out.size() - done);
      if (n <= 0) return std::perror("instrument write");
      done += static_cast<std::size_t>(n);
    }
    out.clear();
  }
  ::close(fd);
}

struct Pty {
  QTemporaryDir dir;
  QProcess socat;
  QString far, near;
  Pty() {
    far = dir.filePath(QStringLiteral("instrument"));
    near = dir.filePath(QStringLiteral("device"));
    socat.start(QStringLiteral("socat"), {QStringLiteral("pty,raw,echo=0,link=") + far,
                                          QStringLiteral("pty,raw,echo=0,link=") + near});
    socat.waitForStarted();
    while (!(QFile::exists(far) && QFile::exists(near))) QThread::msleep(10);
  }
  ~Pty() {
    socat.terminate();
    socat.waitForFinished();
  }
};

long Wrong(const std::vector<std::string_view>& got, long count) {
  long wrong = std::labs(static_cast<long>(got.size()) - count);
  for (long i = 0; i < std::min<long>(count, static_cast<long>(got.size())); ++i)
    wrong += got[static_cast<std::size_t>(i)] != Value(i + 1);
  return wrong;
}

void Report(const char* what, long count, double seconds, long wrong) {
  std::printf("%s: %ld values in %.3f s = %.0f values/s, %ld lost or wrong, peak %.1f MiB\n", what,
              count, seconds, count / seconds, wrong, bench::StatusMiB("VmHWM"));
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: record_throughput fenster|datei|befehl N [RATE [PROGRAM]]\n");
    return 2;
  }
  const std::string mode = argv[1];
  const long count = std::atol(argv[2]);
  const long rate = argc > 3 ? std::atol(argv[3]) : 0;
  QTemporaryDir home;
  qputenv("HOME", QFile::encodeName(home.path()));
  QStandardPaths::setTestModeEnabled(true);
  QApplication application(argc, argv);

  if (mode == "befehl") {
    Pty pty;
    QProcess program;
    program.start(QString::fromLocal8Bit(argv[4]),
                  {QStringLiteral("--aufnehmen"), pty.near, QStringLiteral("--anzahl"),
                   QString::number(count)});
    program.waitForStarted();
    program.waitForReadyRead(5000);  // "Aufnahme … läuft" on standard error
    QElapsedTimer clock;
    clock.start();
    std::thread writer(Instrument, pty.far.toStdString(), count, rate);
    program.waitForFinished(-1);
    const double seconds = clock.elapsed() / 1000.0;
    writer.join();
    const QByteArray out = program.readAllStandardOutput();
    std::vector<std::string_view> got;
    for (const QByteArray& line : out.split('\n'))
      if (!line.isEmpty())
        got.emplace_back(line.constData(), static_cast<std::size_t>(line.size()));
    Report("command line", count, seconds, Wrong(got, count));
    return 0;
  }

  TForm1 window;
  window.show();
  ListModel& model = window.findChild<MeasurementEdit*>(QStringLiteral("Memo1"))->model();
  if (mode == "datei") {
    const QString path = home.filePath(QStringLiteral("werte.txt"));
    {
      std::ofstream file(path.toStdString());
      for (long i = 1; i <= count; ++i) file << Value(i) << '\n';
    }
    QElapsedTimer clock;
    clock.start();
    window.files().Open(path);
    const double seconds = clock.elapsed() / 1000.0;
    std::vector<std::string_view> got;
    for (int k = 0; k < model.LineCount() && !model.Line(k).empty(); ++k)
      got.push_back(model.Line(k));
    Report("file opened", count, seconds, Wrong(got, count));
    return 0;
  }

  // "wiederherstellung": a list of N lines opened first, then values at RATE for 5 s; how long
  // until the recovery file holds the newest value sent, polled every 20 ms.
  if (mode == "wiederherstellung") {
    const QString path = home.filePath(QStringLiteral("werte.txt"));
    {
      std::ofstream file(path.toStdString());
      for (long i = 1; i <= count; ++i) file << "0.25\n";
    }
    window.files().Open(path);
    Pty pty;
    recording::Source source;
    source.device = pty.near;
    window.recording().Start(source);
    while (!window.recording().Recording())
      QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const long values = rate * 5;
    std::thread writer(Instrument, pty.far.toStdString(), values, rate);
    QElapsedTimer clock;
    clock.start();
    double worst = 0;
    long seen = 0;
    const QString recovery = window.files().RecoveryPath();
    // The most time the window's thread ran in one turn of the event loop, batches and
    // repaints included, and the same after the first batch, which looks for the series' end
    // through the whole list; a timer wakes it at least every 20 ms to look at the file.
    double longest_turn = 0;
    double longest_later = 0;
    QTimer wake;
    wake.start(20);
    qint64 looked = -20;
    while (clock.elapsed() < 7000) {
      const double before = bench::ThreadSeconds();
      QApplication::processEvents(QEventLoop::WaitForMoreEvents);
      const double turn = bench::ThreadSeconds() - before;
      longest_turn = std::max(longest_turn, turn);
      if (clock.elapsed() > 200) longest_later = std::max(longest_later, turn);
      if (clock.elapsed() - looked < 20) continue;
      looked = clock.elapsed();
      const long sent = std::min(values, static_cast<long>(clock.elapsed() * rate / 1000));
      QFile file(recovery);
      if (file.open(QIODevice::ReadOnly)) {
        const QByteArray text = file.readAll();
        const qsizetype end = text.lastIndexOf(".5");
        if (end > 0) {
          const qsizetype begin = text.lastIndexOf('\n', end) + 1;
          seen = text.mid(begin, end - begin).toLong();
        }
      }
      worst = std::max(worst, (sent - seen) * 1000.0 / rate);
    }
    writer.join();
    window.recording().Stop();
    std::printf(
        "recovery behind the instrument by at most %.0f ms (list of %ld lines); the "
        "window's thread ran at most %.2f ms in one turn of the event loop, %.2f ms "
        "after the first 200 ms\n",
        worst, count, longest_turn * 1e3, longest_later * 1e3);
    return 0;
  }

  Pty pty;
  recording::Source source;
  source.device = pty.near;
  source.baud = 115200;
  window.recording().Start(source);
  while (!window.recording().Recording())
    QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  QElapsedTimer clock;
  clock.start();
  std::thread writer(Instrument, pty.far.toStdString(), count, rate);
  // Until the last value is in the list, with the window's event loop running as usual.
  while (window.recording().recorder()->Values() < count && clock.elapsed() < 600000)
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  // "zeigen": the recording stays on screen a while, for a screenshot.
  if (mode == "zeigen") {
    clock.restart();
    while (clock.elapsed() < 8000) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  window.recording().Stop();
  const double seconds = clock.elapsed() / 1000.0;
  writer.join();
  std::vector<std::string_view> got;
  for (int k = 0; k < model.LineCount() && !model.Line(k).empty(); ++k)
    got.push_back(model.Line(k));
  Report("window", count, seconds, Wrong(got, count));
  return 0;
}
