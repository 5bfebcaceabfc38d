#include "command_line.h"

#include <QByteArrayView>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "decimal_separator.h"
#include "modules.h"
#include "presses.h"
#include "record_command.h"
#include "record_options.h"
#include "reading_notes.h"
#include "series_reader.h"
#include "series_summary.h"
#include "statistics_option.h"

namespace {

constexpr qint64 kBlock = qint64{1} << 18;

const QString kStandardInput = QStringLiteral("Standardeingabe");
const QString kColumnNeedsNumber = QStringLiteral("--spalte braucht eine Zahl ab 1.");

// --spalte N as a column from 0 where it is given; false where N is no whole number from 1 on.
bool ReadColumn(const QCommandLineParser& parser, const QCommandLineOption& column,
                std::optional<int>& chosen) {
  if (!parser.isSet(column)) return true;
  bool ok = false;
  const int n = parser.value(column).toInt(&ok);
  if (!ok || n < 1) return false;
  chosen = n - 1;
  return true;
}

// Writes `text` and flushes it; false when it did not all reach the stream.
bool Print(std::FILE* stream, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  const std::size_t size = static_cast<std::size_t>(bytes.size());
  return std::fwrite(bytes.constData(), 1, size, stream) == size && std::fflush(stream) == 0 &&
         !std::ferror(stream);
}

void Complain(const QString& message) { Print(stderr, QStringLiteral("messwerte: ") + message + u'\n'); }

void Notice(const QString& message) {
  Print(stderr, QStringLiteral("messwerte: Hinweis: ") + message + u'\n');
}

// Standard output could not be written: a message and exit status 2.
int OutputFailed() {
  const int error = errno;
  Complain(error == ENOSPC ? QStringLiteral("Die Ausgabe lässt sich nicht schreiben: der "
                                            "Datenträger ist voll.")
                           : QStringLiteral("Die Ausgabe lässt sich nicht schreiben (%1).")
                                 .arg(QString::fromLocal8Bit(std::strerror(error))));
  return 2;
}

// Takes the reader's values into the one-pass summary; refuses a column the file does not have.
class SummarySink final : public series::LineSink {
 public:
  SummarySink(QString name, std::optional<int> column, char locale_decimal)
      : name_(std::move(name)), column_(column), locale_decimal_(locale_decimal) {}

  bool Decided(const series::Layout& layout) override {
    if (!column_ && layout.columns > 1) {
      // Named by the header, or by number.
      const QStringList names =
          layout.header ? series::Fields(layout.header_text, layout, true) : QStringList();
      QStringList listed;
      for (int i = 0; i < layout.columns; ++i) {
        const QString name = i < names.size() ? names[i].trimmed() : QString();
        listed.append(name.isEmpty() ? QString::number(i + 1)
                                     : QStringLiteral("%1 „%2“").arg(QString::number(i + 1), name));
      }
      refusal_ = QStringLiteral("„%1“ hat %2 Spalten: %3. Bitte eine mit --spalte N wählen.")
                     .arg(name_, QString::number(layout.columns), listed.join(u", "));
      return false;
    }
    if (column_ && *column_ >= layout.columns) {
      refusal_ = layout.columns == 1 ? QStringLiteral("„%1“ hat nur eine Spalte.").arg(name_)
                                     : QStringLiteral("„%1“ hat nur %2 Spalten.")
                                           .arg(name_, QString::number(layout.columns));
      return false;
    }
    summary_.emplace(layout.decimal, locale_decimal_);
    return true;
  }

  void Take(std::span<const std::string_view> values, std::int64_t first_line) override {
    if (!summary_->Ended()) summary_->Add(values, first_line);
  }

  const QString& refusal() const { return refusal_; }
  messwerte::SeriesSummary& summary() { return *summary_; }

 private:
  QString name_;
  std::optional<int> column_;
  char locale_decimal_;
  std::optional<messwerte::SeriesSummary> summary_;
  QString refusal_;
};

// Reads `file` block after block through the reader into the summary, then prints the six lines,
// the notices and the messages of the failed presses. Returns the exit status.
int Evaluate(QFile& file, const QString& name, const series::Choices& choices,
             std::optional<int> column, char locale_decimal) {
  SummarySink sink(name, column, locale_decimal);
  series::Reader reader(choices, locale_decimal, sink);
  QByteArray block(kBlock, Qt::Uninitialized);
  for (;;) {
    const qint64 got = file.read(block.data(), kBlock);
    if (got < 0) {
      Complain(QStringLiteral("„%1“ kann nicht gelesen werden.").arg(name));
      return 2;
    }
    reader.Feed(std::string_view(block.constData(), static_cast<std::size_t>(got)), got == 0);
    if (got == 0 || reader.NotText() || reader.Stopped()) break;
  }
  if (reader.NotText()) {
    Complain(QStringLiteral("„%1“ ist keine Textdatei: sie enthält Null-Bytes.").arg(name));
    return 2;
  }
  if (reader.Stopped()) {
    Complain(sink.refusal());
    return 2;
  }
  messwerte::SeriesSummary& summary = sink.summary();
  const series::Layout& layout = reader.layout();
  const series::Tally& tally = reader.tally();
  if (summary.HasFault() && !tally.utf8) {
    std::string& text = summary.FaultText();
    text = series::Text(text, layout, tally).toStdString();
  }
  const messwerte::SeriesSummary::Fields fields = summary.Finish();
  std::string out;
  for (std::size_t i = 0; i < messwerte::kPresses.size(); ++i) {
    out.append(messwerte::kPresses[i].label).append(": ");
    out.append(fields.texts[i].empty() ? "–" : fields.texts[i]).append("\n");
  }
  if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0 ||
      std::ferror(stdout))
    return OutputFailed();
  const QString decimal = series::DecimalNote(layout, locale_decimal, false);
  if (!decimal.isEmpty()) Notice(decimal);
  for (const QString& note : series::LeftOut(tally)) Notice(note);
  for (const std::string& error : fields.errors) Complain(QString::fromStdString(error));
  return fields.errors.empty() ? 0 : 1;
}

// Qt's own options, for the window: the command line passes over them and their values.
bool IsQtOption(const QString& argument, bool* takes_value) {
  static const QStringList kWithValue = {
      QStringLiteral("platform"),       QStringLiteral("platformpluginpath"),
      QStringLiteral("platformtheme"),  QStringLiteral("plugin"),
      QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
      QStringLiteral("qwindowtitle"),   QStringLiteral("session"),
      QStringLiteral("style"),          QStringLiteral("stylesheet"),
      QStringLiteral("display"),        QStringLiteral("geometry"),
      QStringLiteral("title"),          QStringLiteral("name"),
      QStringLiteral("visual"),         QStringLiteral("ncols"),
      QStringLiteral("qmljsdebugger")};
  static const QStringList kAlone = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                     QStringLiteral("nograb"), QStringLiteral("dograb"),
                                     QStringLiteral("sync"), QStringLiteral("cmap")};
  if (!argument.startsWith(u'-') || argument == u"-" || argument == u"--") return false;
  QString name = argument.mid(argument.startsWith(u"--") ? 2 : 1);
  const qsizetype equals = name.indexOf(u'=');
  if (equals >= 0) name.truncate(equals);
  if (kWithValue.contains(name)) {
    *takes_value = equals < 0;
    return true;
  }
  *takes_value = false;
  return equals < 0 && kAlone.contains(name);
}

QString Help() {
  return QStringLiteral(
      "Aufruf: messwerte [DATEI]\n"
      "       messwerte --auswerten DATEI [--spalte N] [--dezimalzeichen punkt|komma]\n"
      "                 [--kennwerte]\n"
      "       messwerte --kennwerte DATEI [--spalte N]\n"
      "       messwerte --diagramm BILD DATEI [--spalte N]\n"
      "       messwerte --aufnehmen GERÄT [--baud N] [--abfrage BEFEHL --intervall MS]\n"
      "                 [--anzahl N | --dauer SEKUNDEN]\n"
      "\n"
      "Ohne --auswerten öffnet messwerte das Fenster, mit DATEI stehen deren Werte in der Liste.\n"
      "\n"
      "Optionen:\n"
      "  --auswerten DATEI  Wertet DATEI (- für die Standardeingabe) ohne Fenster aus und gibt\n"
      "                     die sechs Felder des Fensters aus: Anzahl, Mittelwert, Quadratischer\n"
      "                     Mittelwert, Größter und Kleinster Messwert, Prozentuale Abweichung.\n"
      "  --kennwerte        Gibt die Kennwerte der Reihe aus (nach den sechs Feldern, wenn\n"
      "                     mit --auswerten): Anzahl, Mittelwert, Standardabweichung (n − 1),\n"
      "                     die des Mittelwerts, den Vertrauensbereich (95 %), Median,\n"
      "                     Spannweite, kleinsten und größten Messwert mit ihren Zeilen.\n"
      "  --diagramm BILD    Zeichnet die Reihe aus DATEI ohne Fenster als BILD (.png, .svg\n"
      "                     oder .pdf), wie das Fenster sie zeigt.\n"
      "  --spalte N         Die N-te Spalte (ab 1) einer Datei mit mehreren Spalten.\n"
      "  --dezimalzeichen punkt|komma\n"
      "                     Das Dezimalzeichen der Werte in DATEI; sonst ergibt es sich aus\n"
      "                     den Werten, und wo sie keines zeigen, aus der Spracheinstellung.\n") +
         RecordingHelp() +
         QStringLiteral(
      "  -h, --help         Zeigt diese Hilfe.\n"
      "  -v, --version      Zeigt die Version.\n"
      "Qt-Optionen wie -platform oder -style gelten für das Fenster.\n"
      "\n"
      "Zahlen erscheinen im Format der eingestellten Sprache (LANG, LC_ALL). Hinweise auf\n"
      "Ausgelassenes (Kommentare, leere Zellen, Zeilen nach einer Leerzeile) und ein anderes\n"
      "Dezimalzeichen stehen als \"messwerte: Hinweis: …\" in der Fehlerausgabe.\n"
      "Rückgabewert: 0 alle sechs Werte berechnet, 1 eine Auswertung schlug fehl,\n"
      "2 Datei nicht lesbar, Ausgabe nicht schreibbar oder falsche Angabe.\n"
      "Bei --aufnehmen: 0 beendet nach Anzahl, Dauer oder Strg+C, 1 Verbindung abgebrochen,\n"
      "2 Gerät nicht zu öffnen oder falsche Angabe.\n");
}

// Qt's parser words its complaints in English, and a translation reaches it only through an
// application object, which the command line does without until a window is shown: the three
// complaints it makes, in German.
QString ParseError(const QCommandLineParser& parser, const QStringList& arguments,
                   const QList<QCommandLineOption>& options) {
  const QStringList unknown = parser.unknownOptionNames();
  if (!unknown.isEmpty()) {
    QStringList quoted;
    for (const QString& name : unknown) quoted << QStringLiteral("„%1“").arg(name);
    return (unknown.size() == 1 ? QStringLiteral("Unbekannte Option %1.")
                                : QStringLiteral("Unbekannte Optionen %1."))
        .arg(quoted.join(QStringLiteral(", ")));
  }
  // The option an argument names, without its dashes and a value after '='.
  const auto named = [&options](QStringView argument) -> const QCommandLineOption* {
    if (!argument.startsWith(u'-')) return nullptr;
    argument = argument.mid(argument.startsWith(u"--") ? 2 : 1);
    if (const qsizetype equals = argument.indexOf(u'='); equals >= 0)
      argument = argument.left(equals);
    for (const QCommandLineOption& option : options)
      if (option.names().contains(argument)) return &option;
    return nullptr;
  };
  // An option that takes a value stands last, without one.
  const QString& last = arguments.constLast();
  if (const QCommandLineOption* option = named(last);
      option && !option->valueName().isEmpty() && !last.contains(u'=')) {
    return QStringLiteral("Zu --%1 fehlt %2.")
        .arg(option->names().constLast(), option->valueName());
  }
  // A value given to an option that takes none: --kennwerte=ja.
  for (qsizetype i = 1; i < arguments.size() && arguments[i] != QStringLiteral("--"); ++i) {
    const QCommandLineOption* option = named(arguments[i]);
    if (option && option->valueName().isEmpty() && arguments[i].contains(u'='))
      return QStringLiteral("Zu --%1 gehört kein Wert.").arg(option->names().constLast());
  }
  return QStringLiteral("Die Argumente lassen sich nicht lesen (%1).").arg(parser.errorText());
}

}  // namespace

CommandLine RunCommandLine(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) {
    const QString argument = QString::fromLocal8Bit(argv[i]);
    bool takes_value = false;
    if (i > 0 && IsQtOption(argument, &takes_value)) {
      if (takes_value) ++i;
      continue;
    }
    arguments.append(argument);
  }

  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Zeigt diese Hilfe."));
  const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                   QStringLiteral("Zeigt die Version."));
  const QCommandLineOption evaluate(
      QStringLiteral("auswerten"),
      QStringLiteral("Wertet DATEI (- für die Standardeingabe) ohne Fenster aus."),
      QStringLiteral("DATEI"));
  const QCommandLineOption column(QStringLiteral("spalte"),
                                  QStringLiteral("Die N-te Spalte (ab 1) einer Tabelle."),
                                  QStringLiteral("N"));
  const QCommandLineOption decimal(QStringLiteral("dezimalzeichen"),
                                   QStringLiteral("Das Dezimalzeichen der Werte."),
                                   QStringLiteral("punkt|komma"));
  const QCommandLineOption statistics(QStringLiteral("kennwerte"),
                                      QStringLiteral("Gibt die Kennwerte der Reihe aus."));
  const QCommandLineOption plot(QStringLiteral("diagramm"),
                                QStringLiteral("Zeichnet die Reihe aus DATEI als BILD."),
                                QStringLiteral("BILD"));
  const QList<QCommandLineOption> options =
      QList<QCommandLineOption>{help, version, evaluate, column, decimal, statistics, plot} +
      RecordingOptions();
  parser.addOptions(options);
  parser.addPositionalArgument(QStringLiteral("DATEI"),
                               QStringLiteral("Datei, deren Werte das Fenster zeigt."));

  CommandLine command;
  const auto bad = [&command](const QString& message) {
    Complain(message + QStringLiteral("\nAufruf: messwerte --help"));
    command.exit_code = 2;
    return command;
  };
  if (!parser.parse(arguments)) return bad(ParseError(parser, arguments, options));
  if (parser.isSet(help) || parser.isSet(version)) {
    const QString text =
        parser.isSet(help) ? Help()
                           : QStringLiteral("messwerte %1\n").arg(QStringLiteral(MESSWERTE_VERSION));
    command.exit_code = Print(stdout, text) ? 0 : OutputFailed();
    return command;
  }
  if (RecordingAsked(parser)) {
    // Qt SerialPort and QtNetwork, with the libraries they bring, are loaded only to record.
    QString reason;
    if (const auto record = reinterpret_cast<RecordEntry>(
            ModuleEntry(QStringLiteral("messwerte-aufnahme"), "MesswerteRecord", &reason))) {
      command.exit_code = record(parser, argc, argv);
      return command;
    }
    return bad(QStringLiteral("Die Aufnahme kann nicht geladen werden (%1).").arg(reason));
  }
  const QStringList files = parser.positionalArguments();
  const char separator = DecimalSeparator(QLocale::system());
  if (parser.isSet(plot)) {
    if (parser.isSet(evaluate) || parser.isSet(statistics)) {
      return bad(QStringLiteral("--diagramm steht allein, ohne --auswerten und --kennwerte."));
    }
    if (files.size() != 1) return bad(QStringLiteral("Zu --diagramm gehört eine Datei."));
    std::optional<int> chosen;
    if (!ReadColumn(parser, column, chosen)) return bad(kColumnNeedsNumber);
    command.plot_column = chosen.value_or(-1);
    command.plot_image = parser.value(plot);
    command.open_path = files.first();
    return command;
  }
  if (parser.isSet(statistics) && !parser.isSet(evaluate)) {
    if (files.size() != 1) return bad(QStringLiteral("Zu --kennwerte gehört eine Datei."));
    std::optional<int> chosen;
    if (!ReadColumn(parser, column, chosen)) return bad(kColumnNeedsNumber);
    command.exit_code = PrintStatistics(files.first(), chosen, separator);
    return command;
  }
  if (!parser.isSet(evaluate)) {
    if (parser.isSet(column)) return bad(QStringLiteral("--spalte gilt nur mit --auswerten."));
    if (parser.isSet(decimal))
      return bad(QStringLiteral("--dezimalzeichen gilt nur mit --auswerten."));
    if (files.size() > 1) return bad(QStringLiteral("Das Fenster öffnet nur eine Datei."));
    if (!files.isEmpty()) command.open_path = files.first();
    return command;
  }
  if (!files.isEmpty()) return bad(QStringLiteral("Zu --auswerten gehört nur eine Datei."));
  std::optional<int> chosen;
  if (!ReadColumn(parser, column, chosen)) return bad(kColumnNeedsNumber);
  series::Choices choices;
  choices.column = chosen.value_or(0);
  if (parser.isSet(decimal)) {
    const QString value = parser.value(decimal);
    if (value == u"punkt")
      choices.decimal = '.';
    else if (value == u"komma")
      choices.decimal = ',';
    else
      return bad(QStringLiteral("--dezimalzeichen ist punkt oder komma."));
  }

  const QString path = parser.value(evaluate);
  const bool standard_input = path == u"-";
  if (standard_input && parser.isSet(statistics)) {
    return bad(QStringLiteral("--kennwerte liest die Standardeingabe nur ohne --auswerten."));
  }
  const QString name = standard_input ? kStandardInput : path;
  QFile file;
  if (standard_input) {
    if (!file.open(stdin, QIODevice::ReadOnly | QIODevice::Unbuffered)) {
      command.exit_code = 2;
      Complain(QStringLiteral("Die Standardeingabe kann nicht gelesen werden."));
      return command;
    }
  } else {
    const QFileInfo info(path);
    QString refusal;
    file.setFileName(path);
    if (!info.exists()) {
      refusal = QStringLiteral("Die Datei „%1“ gibt es nicht.").arg(path);
    } else if (info.isDir()) {
      refusal = QStringLiteral("„%1“ ist ein Ordner, keine Datei.").arg(path);
    } else if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
      refusal = file.error() == QFileDevice::PermissionsError
                    ? QStringLiteral("Die Datei „%1“ darf nicht gelesen werden.").arg(path)
                    : QStringLiteral("Die Datei „%1“ kann nicht gelesen werden.").arg(path);
    }
    if (!refusal.isEmpty()) {
      Complain(refusal);
      command.exit_code = 2;
      return command;
    }
  }

  command.exit_code = Evaluate(file, name, choices, chosen, separator);
  if (parser.isSet(statistics) && *command.exit_code != 2) {
    const int statistics_code = PrintStatistics(path, chosen, separator);
    command.exit_code = std::max(*command.exit_code, statistics_code);
  }
  return command;
}
