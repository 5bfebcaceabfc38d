#include "record_command.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>

#include "decimal_separator.h"
#include "number_text.h"
#include "record_options.h"
#include "recorder.h"

#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void Interrupt(int) { interrupted = true; }

void Say(const QString& text) {
  const QByteArray bytes = (QStringLiteral("messwerte: ") + text + u'\n').toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
}

int Bad(const QString& message) {
  Say(message + QStringLiteral("\nAufruf: messwerte --help"));
  return 2;
}

// One recording on the command line, with its progress line on a terminal.
class Session {
 public:
  Session(recording::Source source, std::optional<qint64> count, std::optional<int> duration_ms)
      : recorder_(std::move(source), DecimalSeparator(QLocale::system())),
        count_(count),
        duration_ms_(duration_ms),
        terminal_(isatty(fileno(stderr)) != 0) {}

  int Run() {
    recorder_.OnValue = [this](std::string_view number) { Write(number); };
    recorder_.OnSkipped = [this](recording::Skip reason, std::string_view line) {
      Tell(QStringLiteral("übersprungen (%1): %2")
               .arg(recording::SkipText(reason),
                    QString::fromStdString(messwerte::QuoteForMessage(line))));
    };
    QObject::connect(&recorder_, &recording::Recorder::started, [this] {
      clock_.start();
      Tell(QStringLiteral("Aufnahme von %1 läuft; Strg+C beendet sie.")
               .arg(recorder_.Description()));
      if (duration_ms_) QTimer::singleShot(*duration_ms_, &recorder_, &recording::Recorder::Stop);
    });
    QObject::connect(&recorder_, &recording::Recorder::ended,
                     [this](recording::End how, const QString& message) {
                       if (how == recording::End::kNotOpened) {
                         status_ = 2;
                       } else if (how == recording::End::kLost) {
                         status_ = std::max(status_, 1);
                       }
                       if (!message.isEmpty()) Tell(message);
                       if (how != recording::End::kNotOpened) Summary();
                       QCoreApplication::exit(status_);
                     });
    // Ctrl+C and a polite kill end the recording as the count would.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [this] {
      if (interrupted) recorder_.Stop();
      if (terminal_ && recorder_.Running()) Progress();
    });
    poll.start(50);
    std::signal(SIGINT, Interrupt);
    std::signal(SIGTERM, Interrupt);
    QTimer::singleShot(0, &recorder_, &recording::Recorder::Start);
    QCoreApplication::exec();
    return status_;
  }

 private:
  void Write(std::string_view number) {
    if (count_ && written_ >= *count_) return;
    std::fwrite(number.data(), 1, number.size(), stdout);
    std::fputc('\n', stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      if (status_ != 2) {
        status_ = 2;
        Tell(QStringLiteral("Die Werte können nicht ausgegeben werden."));
        QTimer::singleShot(0, &recorder_, &recording::Recorder::Stop);
      }
      return;
    }
    if (++written_ == count_) QTimer::singleShot(0, &recorder_, &recording::Recorder::Stop);
  }

  // A message on a line of its own, the progress line drawn again after it.
  void Tell(const QString& text) {
    if (progress_shown_) std::fputs("\r\033[K", stderr);
    progress_shown_ = false;
    Say(text);
  }

  void Progress() {
    const double seconds = clock_.isValid() ? clock_.elapsed() / 1000.0 : 0.0;
    const QString text = QStringLiteral("\r\033[Kmesswerte: %1 Werte in %2 s")
                             .arg(written_)
                             .arg(QLocale::system().toString(seconds, 'f', 1));
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    progress_shown_ = true;
  }

  void Summary() {
    const double seconds = clock_.isValid() ? clock_.elapsed() / 1000.0 : 0.0;
    QString text = QStringLiteral("%1 Werte in %2 s aufgenommen")
                       .arg(written_)
                       .arg(QLocale::system().toString(seconds, 'f', 1));
    const QString skipped = recorder_.SkippedSummary();
    text += skipped.isEmpty() ? QStringLiteral(", keine Zeile übersprungen.")
                              : QStringLiteral(", Zeilen ohne Wert: %1.").arg(skipped);
    Tell(text);
  }

  recording::Recorder recorder_;
  std::optional<qint64> count_;
  std::optional<int> duration_ms_;
  bool terminal_;
  bool progress_shown_ = false;
  qint64 written_ = 0;
  int status_ = 0;
  QElapsedTimer clock_;
};

}  // namespace

extern "C" Q_DECL_EXPORT int MesswerteRecord(const QCommandLineParser& parser, int argc,
                                             char* argv[]) {
  if (!parser.isSet(kRecord)) {
    for (const QString& name : {kBaud, kQuery, kInterval, kCount, kDuration}) {
      if (parser.isSet(name))
        return Bad(QStringLiteral("--%1 gilt nur mit --aufnehmen.").arg(name));
    }
    return 2;
  }
  if (parser.isSet(QStringLiteral("auswerten")))
    return Bad(QStringLiteral("--aufnehmen und --auswerten gehen nicht zusammen."));
  if (!parser.positionalArguments().isEmpty())
    return Bad(QStringLiteral("Zu --aufnehmen gehört nur ein Gerät."));

  recording::Source source;
  source.device = parser.value(kRecord);
  if (source.device.trimmed().isEmpty()) return Bad(QStringLiteral("Zu --aufnehmen fehlt GERÄT."));
  const auto whole = [&parser](const QString& name, qint64 least) -> std::optional<qint64> {
    bool ok = false;
    const qint64 n = parser.value(name).toLongLong(&ok);
    if (!ok || n < least) return std::nullopt;
    return n;
  };
  if (parser.isSet(kBaud)) {
    const std::optional<qint64> baud = whole(kBaud, 1);
    if (!baud || *baud > 100'000'000) return Bad(QStringLiteral("--baud braucht eine Zahl ab 1."));
    source.baud = static_cast<qint32>(*baud);
  }
  if (parser.isSet(kInterval) && !parser.isSet(kQuery))
    return Bad(QStringLiteral("--intervall gilt nur mit --abfrage."));
  if (parser.isSet(kQuery)) {
    source.query = parser.value(kQuery).toUtf8();
    if (source.query.isEmpty()) return Bad(QStringLiteral("Zu --abfrage fehlt BEFEHL."));
    if (parser.isSet(kInterval)) {
      const std::optional<qint64> ms = whole(kInterval, 1);
      if (!ms || *ms > 86'400'000)
        return Bad(QStringLiteral("--intervall braucht Millisekunden ab 1."));
      source.interval_ms = static_cast<int>(*ms);
    }
  }
  // The mark the values are read with, as for --auswerten; found from the values otherwise.
  const QString mark = QStringLiteral("dezimalzeichen");
  if (parser.isSet(mark)) {
    const QString value = parser.value(mark);
    if (value == u"punkt") {
      source.rule.mark = recording::ValueRule::Mark::kPoint;
    } else if (value == u"komma") {
      source.rule.mark = recording::ValueRule::Mark::kComma;
    } else {
      return Bad(QStringLiteral("--dezimalzeichen ist punkt oder komma."));
    }
  }
  if (parser.isSet(kCount) && parser.isSet(kDuration))
    return Bad(QStringLiteral("--anzahl und --dauer gehen nicht zusammen."));
  std::optional<qint64> count;
  if (parser.isSet(kCount)) {
    count = whole(kCount, 1);
    if (!count) return Bad(QStringLiteral("--anzahl braucht eine Zahl ab 1."));
  }
  std::optional<int> duration_ms;
  if (parser.isSet(kDuration)) {
    QString text = parser.value(kDuration).trimmed();
    text.replace(u',', u'.');
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !(seconds > 0) || seconds > 2'000'000)
      return Bad(QStringLiteral("--dauer braucht Sekunden größer als 0."));
    duration_ms = std::max(1, static_cast<int>(seconds * 1000 + 0.5));
  }

  int count_args = argc;
  QCoreApplication application(count_args, argv);
  return Session(std::move(source), count, duration_ms).Run();
}
