#include "recorder.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTcpSocket>
#include <numeric>

namespace recording {
namespace {

constexpr int kConnectMs = 5000;

QString Quoted(const QString& text) { return QStringLiteral("„%1“").arg(text); }

QString SerialFailure(const QSerialPort& port, const QString& device) {
  switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
      return QStringLiteral("Die Schnittstelle %1 gibt es nicht.").arg(Quoted(device));
    case QSerialPort::PermissionError:
      return QStringLiteral(
                 "Die Schnittstelle %1 lässt sich nicht öffnen: ein anderes Programm hat sie "
                 "geöffnet, oder es fehlt die Berechtigung (unter Linux die Gruppe „dialout“).")
          .arg(Quoted(device));
    case QSerialPort::OpenError:
      return QStringLiteral("Die Schnittstelle %1 ist schon geöffnet.").arg(Quoted(device));
    case QSerialPort::UnsupportedOperationError:
      return QStringLiteral("%1 lässt sich nicht als serielle Schnittstelle einstellen (%2).")
          .arg(Quoted(device), port.errorString());
    default:
      return QStringLiteral("Die Schnittstelle %1 lässt sich nicht öffnen (%2).")
          .arg(Quoted(device), port.errorString());
  }
}

QByteArray LineEndBytes(LineEnd end) {
  switch (end) {
    case LineEnd::kCrLf:
      return QByteArrayLiteral("\r\n");
    case LineEnd::kCr:
      return QByteArrayLiteral("\r");
    default:
      return QByteArrayLiteral("\n");
  }
}

}  // namespace

std::optional<NetworkAddress> ParseNetworkAddress(const QString& device) {
  static const QRegularExpression kAddress(
      QStringLiteral(R"(^(?:\[([^\]/\\]+)\]|([^:/\\\[\]\s]+)):(\d{1,5})$)"));
  const QRegularExpressionMatch match = kAddress.match(device.trimmed());
  if (!match.hasMatch()) return std::nullopt;
  const uint port = match.captured(3).toUInt();
  if (port == 0 || port > 65535) return std::nullopt;
  const QString host = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
  return NetworkAddress{host, static_cast<quint16>(port)};
}

QString SkipText(Skip reason) {
  switch (reason) {
    case Skip::kEmpty:
      return QStringLiteral("leer");
    case Skip::kNoNumber:
      return QStringLiteral("ohne Zahl");
    case Skip::kNoField:
      return QStringLiteral("Feld fehlt");
    case Skip::kUnclearMark:
      return QStringLiteral("Zahl unklar");
    case Skip::kOutOfRange:
      return QStringLiteral("außerhalb des Zahlbereichs");
    case Skip::kOverload:
      return QStringLiteral("Überlauf (9,9E37)");
    case Skip::kRemnant:
      return QStringLiteral("Zeilenrest am Anfang");
    case Skip::kUnfinished:
      return QStringLiteral("unvollständig am Ende");
    case Skip::kOverlong:
      return QStringLiteral("zu lang");
    case Skip::kKinds:
      break;
  }
  return {};
}

Recorder::Recorder(Source source, char list_mark, QObject* parent)
    : QObject(parent),
      source_(std::move(source)),
      list_mark_(list_mark),
      address_(ParseNetworkAddress(source_.device)),
      splitter_(source_.line_end) {
  connect(&query_timer_, &QTimer::timeout, this, &Recorder::SendQuery);
  connect_timer_.setSingleShot(true);
}

Recorder::~Recorder() {
  // No signal from a device that goes with this object.
  if (device_) device_->disconnect(this);
}

QString Recorder::Description() const {
  if (address_) return source_.device.trimmed();
  return QStringLiteral("%1, %2 Baud").arg(source_.device).arg(source_.baud);
}

std::int64_t Recorder::Skipped() const {
  return std::accumulate(skipped_.begin(), skipped_.end(), std::int64_t{0});
}

QString Recorder::SkippedSummary() const {
  const std::int64_t all = Skipped();
  if (all == 0) return {};
  QStringList parts;
  for (std::size_t i = 0; i < skipped_.size(); ++i) {
    if (skipped_[i] > 0)
      parts << QStringLiteral("%1 %2").arg(skipped_[i]).arg(SkipText(static_cast<Skip>(i)));
  }
  return QStringLiteral("%1 (%2)").arg(all).arg(parts.join(QStringLiteral(", ")));
}

void Recorder::Start() {
  if (running_ || device_) return;
  // Without a query the source may be in the middle of a line when the recording starts.
  first_line_ = source_.query.isEmpty();
  if (address_) {
    auto* socket = new QTcpSocket(this);
    device_ = socket;
    connect(socket, &QTcpSocket::connected, this, [this] {
      connect_timer_.stop();
      Opened();
    });
    connect(socket, &QTcpSocket::readyRead, this, &Recorder::Read);
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError) {
      const QString name = Quoted(source_.device.trimmed());
      if (running_) {
        Read();
        Finish(End::kLost, QStringLiteral("Die Verbindung zu %1 ist abgebrochen.").arg(name));
        return;
      }
      connect_timer_.stop();
      QString why;
      switch (socket->error()) {
        case QAbstractSocket::ConnectionRefusedError:
          why = QStringLiteral("%1 nimmt keine Verbindung an.").arg(name);
          break;
        case QAbstractSocket::HostNotFoundError:
          why = QStringLiteral("Den Rechner %1 gibt es nicht.").arg(Quoted(address_->host));
          break;
        default:
          why = QStringLiteral("Keine Verbindung zu %1 (%2).").arg(name, socket->errorString());
      }
      Finish(End::kNotOpened, why);
    });
    connect(&connect_timer_, &QTimer::timeout, this, [this, socket] {
      socket->disconnect(this);
      socket->abort();
      Finish(End::kNotOpened,
             QStringLiteral("%1 antwortet nicht.").arg(Quoted(source_.device.trimmed())));
    });
    connect_timer_.start(kConnectMs);
    socket->connectToHost(address_->host, address_->port);
    return;
  }

  auto* port = new QSerialPort(this);
  device_ = port;
  port->setPortName(source_.device);
  port->setBaudRate(source_.baud);
  port->setDataBits(source_.data_bits);
  port->setParity(source_.parity);
  port->setStopBits(source_.stop_bits);
  port->setFlowControl(source_.flow);
  if (!port->open(QIODevice::ReadWrite)) {
    const QString why = SerialFailure(*port, source_.device);
    // Told once the caller is ready for it, as with a network source.
    QTimer::singleShot(0, this, [this, why] { Finish(End::kNotOpened, why); });
    return;
  }
  // What the port held from before the recording is not part of it.
  port->clear(QSerialPort::Input);
  connect(port, &QSerialPort::readyRead, this, &Recorder::Read);
  connect(port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
    if (!running_ || error == QSerialPort::NoError || error == QSerialPort::TimeoutError) return;
    Read();
    Finish(End::kLost, QStringLiteral("Die Verbindung zu %1 ist abgebrochen (%2).")
                           .arg(Quoted(source_.device), device_->errorString()));
  });
  QTimer::singleShot(0, this, &Recorder::Opened);
}

void Recorder::Opened() {
  if (!device_) return;
  running_ = true;
  emit started();
  if (!source_.query.isEmpty() && running_) {
    SendQuery();
    query_timer_.start(std::max(1, source_.interval_ms));
  }
}

void Recorder::Stop() {
  if (running_ || device_) Finish(End::kStopped, {});
}

void Recorder::Read() {
  if (!device_ || !device_->isOpen()) return;
  const QByteArray bytes = device_->readAll();
  splitter_.Feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                 [this](std::string_view line, bool overlong) { Take(line, overlong); });
}

void Recorder::Take(std::string_view line, bool overlong) {
  if (!running_) return;
  if (std::exchange(first_line_, false)) {
    if (!line.empty()) Count(Skip::kRemnant, line);
    return;
  }
  if (overlong) return Count(Skip::kOverlong, line);
  const LineValue found = FindValue(line, source_.rule, found_mark_);
  switch (found.found) {
    case LineFound::kValue:
      ++values_;
      if (OnValue) {
        text_.assign(found.number);
        if (found.mark != list_mark_) {
          const std::size_t at = text_.find(found.mark);
          if (at != std::string::npos) text_[at] = list_mark_;
        }
        OnValue(text_);
      }
      return;
    case LineFound::kEmpty:
      return Count(Skip::kEmpty, line);
    case LineFound::kNoNumber:
      return Count(Skip::kNoNumber, line);
    case LineFound::kNoField:
      return Count(Skip::kNoField, line);
    case LineFound::kUnclearMark:
      return Count(Skip::kUnclearMark, line);
    case LineFound::kOutOfRange:
      return Count(Skip::kOutOfRange, line);
    case LineFound::kOverload:
      return Count(Skip::kOverload, line);
  }
}

void Recorder::Count(Skip reason, std::string_view line) {
  ++skipped_[static_cast<std::size_t>(reason)];
  if (OnSkipped) OnSkipped(reason, line);
}

void Recorder::SendQuery() {
  if (device_ && device_->isOpen()) device_->write(source_.query + LineEndBytes(splitter_.Found()));
}

void Recorder::Finish(End how, const QString& message) {
  const bool was_running = running_;
  running_ = false;
  query_timer_.stop();
  connect_timer_.stop();
  if (!splitter_.Rest().empty() && was_running) {
    const std::string rest(splitter_.Rest());
    Count(std::exchange(first_line_, false) ? Skip::kRemnant : Skip::kUnfinished, rest);
  }
  if (device_) {
    device_->disconnect(this);
    device_->close();
    device_->deleteLater();
    device_ = nullptr;
  }
  emit ended(how, message);
}

}  // namespace recording
