#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "line_splitter.h"
#include "value_in_line.h"

class QTcpSocket;

namespace recording {

// Where the values come from and how they are read.
struct Source {
  QString device;  // a serial device by name ("ttyUSB0", "COM3") or path, or HOST:PORT
  qint32 baud = 9600;
  QSerialPort::DataBits data_bits = QSerialPort::Data8;
  QSerialPort::Parity parity = QSerialPort::NoParity;
  QSerialPort::StopBits stop_bits = QSerialPort::OneStop;
  QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
  LineEnd line_end = LineEnd::kFound;
  QByteArray query;  // sent with a line end every `interval_ms`; none when empty
  int interval_ms = 1000;
  ValueRule rule;
  bool operator==(const Source&) const = default;
};

struct NetworkAddress {
  QString host;
  quint16 port;
};
// The host and port of HOST:PORT ("[::1]:5025" for IPv6); none for a serial device.
std::optional<NetworkAddress> ParseNetworkAddress(const QString& device);

// Why a line gave no value.
enum class Skip {
  kEmpty,
  kNoNumber,
  kNoField,
  kUnclearMark,
  kOutOfRange,
  kOverload,
  kRemnant,     // the text before the first line end, which may have begun before the start
  kUnfinished,  // the text after the last line end when the recording ended
  kOverlong,
  kKinds
};
// In German, for the status and standard error: "ohne Zahl", "Zeilenrest am Anfang", …
QString SkipText(Skip reason);

// How a recording ended.
enum class End { kStopped, kNotOpened, kLost };

// One recording from one source: opens it, parts what comes into lines, finds the value in each
// and hands it on, and sends the query command when one is set. Every line is either a value or
// counted as skipped with its reason.
class Recorder : public QObject {
  Q_OBJECT

 public:
  // Values are handed on with `list_mark` as their decimal mark.
  Recorder(Source source, char list_mark, QObject* parent = nullptr);
  ~Recorder() override;

  std::function<void(std::string_view number)> OnValue;
  std::function<void(Skip reason, std::string_view line)> OnSkipped;

  // Opens the source; started() or ended(kNotOpened, why) follows, the latter maybe at once.
  void Start();
  // Ends a running recording with kStopped.
  void Stop();
  bool Running() const { return running_; }

  const Source& source() const { return source_; }
  // The source in a few words: "/dev/ttyUSB0, 9600 Baud" or "labor-dmm:5025".
  QString Description() const;
  std::int64_t Values() const { return values_; }
  std::int64_t Skipped() const;
  std::int64_t Skipped(Skip reason) const { return skipped_[static_cast<std::size_t>(reason)]; }
  // "3 (2 ohne Zahl, 1 Zeilenrest am Anfang)" style counts, empty for none.
  QString SkippedSummary() const;
  LineEnd FoundLineEnd() const { return splitter_.Found(); }
  char FoundMark() const { return found_mark_; }

 signals:
  void started();
  // `message` says why, in German; empty when stopped.
  void ended(recording::End how, const QString& message);

 private:
  void Opened();
  void Read();
  void Take(std::string_view line, bool overlong);
  void Count(Skip reason, std::string_view line);
  void SendQuery();
  void Finish(End how, const QString& message);

  Source source_;
  char list_mark_;
  std::optional<NetworkAddress> address_;
  QIODevice* device_ = nullptr;
  QTimer query_timer_;
  QTimer connect_timer_;
  LineSplitter splitter_;
  bool running_ = false;
  bool first_line_ = true;
  char found_mark_ = '\0';
  std::int64_t values_ = 0;
  std::array<std::int64_t, static_cast<std::size_t>(Skip::kKinds)> skipped_{};
  std::string text_;  // the value's text as handed on
};

}  // namespace recording
