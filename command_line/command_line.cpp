#include "command_line.h"

#include <QByteArrayView>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "decimal_separator.h"
#include "series_layout.h"
#include "presses.h"
#include "series_summary.h"

namespace {

constexpr qint64 kBlock = qint64{1} << 20;

const QString kStandardInput = QStringLiteral("Standardeingabe");

void Print(std::FILE* stream, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

// The length of `text` without a last character that may still lack bytes.
std::size_t WholeCharacters(std::string_view text) {
  std::size_t i = text.size();
  while (i > 0 && text.size() - i < 3 && (static_cast<unsigned char>(text[i - 1]) & 0xC0) == 0x80)
    --i;
  return i > 0 && static_cast<unsigned char>(text[i - 1]) >= 0xC0 ? i - 1 : text.size();
}

void Complain(const QString& message) {
  Print(stderr, QStringLiteral("messwerte: %1\n").arg(message));
}

// Reads a file or standard input block after block and evaluates one of its columns, reading it
// as the window's loader does: the same encodings, separators, quotes and header.
class Evaluation {
 public:
  Evaluation(QString name, std::optional<int> column, char separator)
      : name_(std::move(name)), column_(column), summary_(separator) {}

  // Reads all of `file`; 2 with the message on standard error when it is refused, else 0.
  int Run(QFile& file);
  // Prints the six lines and the messages of the failed presses; 0 or 1 as the exit status.
  int Report();

 private:
  // Takes decoded text; false when the input is refused.
  bool Take(const char* data, qsizetype size, bool last);
  void Lines(std::string_view text, bool last);
  std::size_t Convert(std::string_view text, bool last);
  bool Start();
  QString Decoded(std::string_view text) const;

  QString name_;
  std::optional<int> column_;
  messwerte::SeriesSummary summary_;
  std::string text_;  // decoded input not yet taken: at most the sample, a block and a line
  bool started_ = false;
  bool check_utf8_ = true;  // no byte order mark: the text may yet turn out to be Windows-1252
  bool utf8_ = true;        // no invalid UTF-8 so far
  series::Layout layout_;
  std::string header_;
  std::string scratch_;
  QString refusal_;
};

QString Evaluation::Decoded(std::string_view text) const {
  const QByteArrayView bytes(text.data(), static_cast<qsizetype>(text.size()));
  return utf8_ ? QString::fromUtf8(bytes) : series::FromWindows1252(bytes);
}

int Evaluation::Run(QFile& file) {
  QByteArray block(kBlock, Qt::Uninitialized);
  std::optional<QStringDecoder> utf16;
  bool first = true;
  bool nul = false;
  for (;;) {
    const qint64 got = file.read(block.data(), kBlock);
    if (got < 0) {
      Complain(QStringLiteral("„%1“ kann nicht gelesen werden.").arg(name_));
      return 2;
    }
    QByteArrayView bytes(block.constData(), got);
    if (first && got > 0) {
      first = false;
      // A mark split across reads: pipes may give one byte at a time.
      while (bytes.size() < 3 && got > 0) {
        const qint64 more = file.read(block.data() + bytes.size(), kBlock - bytes.size());
        if (more <= 0) break;
        bytes = QByteArrayView(block.constData(), bytes.size() + more);
      }
      const series::Bom bom = series::DetectBom(bytes);
      if (bom.encoding != series::Encoding::kUtf8) {
        utf16.emplace(bom.encoding == series::Encoding::kUtf16LE ? QStringConverter::Utf16LE
                                                                 : QStringConverter::Utf16BE);
      }
      check_utf8_ = bom.length == 0;
      bytes = bytes.sliced(bom.length);
    }
    const bool last = got == 0;
    if (utf16) {
      const QString decoded = utf16->decode(bytes);
      nul = decoded.contains(QChar(u'\0'));
      if (nul) break;
      const QByteArray utf8 = decoded.toUtf8();
      if (!Take(utf8.constData(), utf8.size(), last)) break;
    } else {
      nul = !bytes.isEmpty() &&
            std::memchr(bytes.data(), 0, static_cast<std::size_t>(bytes.size())) != nullptr;
      if (nul) break;
      if (!Take(bytes.data(), bytes.size(), last)) break;
    }
    if (last) break;
  }
  if (nul || !refusal_.isEmpty()) {
    Complain(nul ? QStringLiteral("„%1“ ist keine Textdatei: sie enthält Null-Bytes.").arg(name_)
                 : refusal_);
    return 2;
  }
  return 0;
}

int Evaluation::Report() {
  if (summary_.HasFault() && !utf8_) {
    std::string& text = summary_.FaultText();
    text = Decoded(text).toStdString();
  }
  const messwerte::SeriesSummary::Fields fields = summary_.Finish();
  std::string out;
  for (std::size_t i = 0; i < messwerte::kPresses.size(); ++i) {
    out.append(messwerte::kPresses[i].label).append(": ");
    out.append(fields.texts[i].empty() ? "–" : fields.texts[i]).append("\n");
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  for (const std::string& error : fields.errors) Complain(QString::fromStdString(error));
  return fields.errors.empty() ? 0 : 1;
}

bool Evaluation::Take(const char* data, qsizetype size, bool last) {
  text_.append(data, static_cast<std::size_t>(size));
  if (!started_) {
    if (!last && text_.size() < static_cast<std::size_t>(series::kSampleBytes)) return true;
    if (!Start()) return false;
  }
  const std::size_t taken = Convert(text_, last);
  text_.erase(0, taken);
  return true;
}

// Decides the layout and the header from the first lines, as the loader does.
bool Evaluation::Start() {
  started_ = true;
  layout_ = series::DetectLayout(text_);
  const std::string_view all = text_;
  const std::size_t end = all.find_first_of("\r\n");
  const std::string_view first = all.substr(0, end);
  std::size_t body = 0;
  if (series::IsHeader(first, layout_)) {
    header_ = first;
    if (check_utf8_ &&
        !QByteArrayView(header_.data(), static_cast<qsizetype>(header_.size())).isValidUtf8())
      utf8_ = false;
    body = end == std::string_view::npos
               ? all.size()
               : end + (all[end] == '\r' && end + 1 < all.size() && all[end + 1] == '\n' ? 2 : 1);
  }
  if (!column_ && layout_.columns > 1) {
    // Named by the header, or by number.
    const QStringList names =
        header_.empty() ? QStringList() : series::Fields(Decoded(header_).toStdString(), layout_);
    QStringList listed;
    for (int i = 0; i < layout_.columns; ++i) {
      const QString name = i < names.size() ? names[i].trimmed() : QString();
      listed.append(name.isEmpty() ? QStringLiteral("%1").arg(i + 1)
                                   : QStringLiteral("%1 „%2“").arg(i + 1).arg(name));
    }
    refusal_ = QStringLiteral("„%1“ hat %2 Spalten: %3. Bitte eine mit --spalte N wählen.")
                   .arg(name_)
                   .arg(layout_.columns)
                   .arg(listed.join(QStringLiteral(", ")));
    return false;
  }
  if (column_ && *column_ >= layout_.columns) {
    refusal_ = layout_.columns == 1
                   ? QStringLiteral("„%1“ hat nur eine Spalte.").arg(name_)
                   : QStringLiteral("„%1“ hat nur %2 Spalten.").arg(name_).arg(layout_.columns);
    return false;
  }
  text_.erase(0, body);
  return true;
}

// Hands the complete lines of `text` to the summary; returns how many bytes it took.
std::size_t Evaluation::Convert(std::string_view text, bool last) {
  std::size_t taken;
  if (summary_.Ended()) {
    taken = text.size();
  } else if (layout_.separator == '\0' && std::memchr(text.data(), '"', text.size()) == nullptr) {
    taken = summary_.AddLines(text, last);
  } else {
    taken = 0;
    const int column = column_.value_or(0);
    series::ForEachLine(text, [&](std::string_view line) {
      const std::size_t end = static_cast<std::size_t>(line.data() - text.data()) + line.size();
      if (!last && (end == text.size() || (text[end] == '\r' && end + 1 == text.size())))
        return false;
      summary_.Add(series::Field(line, layout_, column, scratch_));
      taken = end + (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n' ? 2 : 1);
      return !summary_.Ended();
    });
    if (summary_.Ended()) taken = text.size();
    taken = std::min(taken, text.size());
  }
  // Past the series' end the rest is taken in any piece; a character split across two reads
  // waits for its other bytes, so that the check below sees whole characters only.
  if (summary_.Ended() && !last) taken = WholeCharacters(text.substr(0, taken));
  if (check_utf8_ && utf8_ &&
      !QByteArrayView(text.data(), static_cast<qsizetype>(taken)).isValidUtf8())
    utf8_ = false;
  return taken;
}

QString Help() {
  return QStringLiteral(
      "Aufruf: messwerte [DATEI]\n"
      "       messwerte --auswerten DATEI [--spalte N]\n"
      "\n"
      "Ohne --auswerten öffnet messwerte das Fenster, mit DATEI stehen deren Werte in der Liste.\n"
      "\n"
      "Optionen:\n"
      "  --auswerten DATEI  Wertet DATEI (- für die Standardeingabe) ohne Fenster aus und gibt\n"
      "                     die sechs Felder des Fensters aus: Anzahl, Mittelwert, Quadratischer\n"
      "                     Mittelwert, Größter und Kleinster Messwert, Prozentuale Abweichung.\n"
      "  --spalte N         Die N-te Spalte (ab 1) einer Datei mit mehreren Spalten.\n"
      "  -h, --help         Zeigt diese Hilfe.\n"
      "  -v, --version      Zeigt die Version.\n"
      "\n"
      "Zahlen erscheinen im Format der eingestellten Sprache (LANG, LC_ALL).\n"
      "Rückgabewert: 0 alle sechs Werte berechnet, 1 eine Auswertung schlug fehl,\n"
      "2 Datei nicht lesbar oder falsche Angabe.\n");
}

}  // namespace

CommandLine RunCommandLine(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));

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
  parser.addOptions({help, version, evaluate, column});
  parser.addPositionalArgument(QStringLiteral("DATEI"),
                               QStringLiteral("Datei, deren Werte das Fenster zeigt."));

  CommandLine command;
  const auto bad = [&command](const QString& message) {
    Complain(message + QStringLiteral("\nAufruf: messwerte --help"));
    command.exit_code = 2;
    return command;
  };
  if (!parser.parse(arguments)) {
    // Qt's own texts are English without a translation loaded: the usual mistakes in German.
    if (!parser.unknownOptionNames().isEmpty())
      return bad(
          QStringLiteral("Unbekannte Option „%1“.").arg(parser.unknownOptionNames().first()));
    const QString last = arguments.constLast();
    for (const QCommandLineOption* option : {&evaluate, &column}) {
      const QString name = option->names().constFirst();
      if (last == QStringLiteral("--") + name || last == QLatin1Char('-') + name)
        return bad(QStringLiteral("Zu --%1 fehlt %2.").arg(name, option->valueName()));
    }
    return bad(parser.errorText());
  }
  if (parser.isSet(help)) {
    Print(stdout, Help());
    command.exit_code = 0;
    return command;
  }
  if (parser.isSet(version)) {
    Print(stdout, QStringLiteral("messwerte %1\n").arg(QStringLiteral(MESSWERTE_VERSION)));
    command.exit_code = 0;
    return command;
  }
  const QStringList files = parser.positionalArguments();
  if (!parser.isSet(evaluate)) {
    if (parser.isSet(column)) return bad(QStringLiteral("--spalte gilt nur mit --auswerten."));
    if (files.size() > 1) return bad(QStringLiteral("Das Fenster öffnet nur eine Datei."));
    if (!files.isEmpty()) command.open_path = files.first();
    return command;
  }
  if (!files.isEmpty()) return bad(QStringLiteral("Zu --auswerten gehört nur eine Datei."));
  std::optional<int> chosen;
  if (parser.isSet(column)) {
    bool ok = false;
    const int n = parser.value(column).toInt(&ok);
    if (!ok || n < 1) return bad(QStringLiteral("--spalte braucht eine Zahl ab 1."));
    chosen = n - 1;
  }

  const QString path = parser.value(evaluate);
  const bool standard_input = path == u"-";
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

  Evaluation evaluation(name, chosen, DecimalSeparator(QLocale::system()));
  command.exit_code = evaluation.Run(file);
  if (*command.exit_code == 0) command.exit_code = evaluation.Report();
  return command;
}
