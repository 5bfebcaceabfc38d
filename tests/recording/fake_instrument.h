#pragma once

// A small fake instrument for the recording tests: the far end of a pseudo-terminal pair that
// socat makes, or a loopback TCP server. It writes what a test gives it, answers a query
// command, and drops the connection when told.

#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <memory>

class FakeInstrument {
 public:
  enum class Link { kPty, kTcp };

  explicit FakeInstrument(Link link) : link_(link) {
    if (link_ == Link::kTcp) {
      if (!server_.listen(QHostAddress::LocalHost)) qFatal("no loopback server");
      QObject::connect(&server_, &QTcpServer::newConnection, [this] {
        socket_ = server_.nextPendingConnection();
        QObject::connect(socket_, &QTcpSocket::readyRead, [this] { Heard(socket_->readAll()); });
      });
      device_ = QStringLiteral("127.0.0.1:%1").arg(server_.serverPort());
      return;
    }
    const QString far = dir_.filePath(QStringLiteral("instrument"));
    device_ = dir_.filePath(QStringLiteral("device"));
    socat_.start(QStringLiteral("socat"), {QStringLiteral("pty,raw,echo=0,link=") + far,
                                           QStringLiteral("pty,raw,echo=0,link=") + device_});
    if (!socat_.waitForStarted()) qFatal("socat does not start");
    QElapsedTimer clock;
    clock.start();
    while (!(QFile::exists(far) && QFile::exists(device_)) && clock.elapsed() < 10000)
      QTest::qWait(10);
    port_.setPortName(far);
    if (!port_.open(QIODevice::ReadWrite)) qFatal("cannot open the instrument's end");
    QObject::connect(&port_, &QSerialPort::readyRead, [this] { Heard(port_.readAll()); });
  }

  ~FakeInstrument() {
    port_.close();
    if (socat_.state() != QProcess::NotRunning) {
      socat_.terminate();
      socat_.waitForFinished(5000);
    }
  }

  // Where the recording reads: a device path or 127.0.0.1:PORT.
  const QString& device() const { return device_; }

  // Waits for the recording's connection; at once for a pseudo-terminal.
  bool Connected() {
    if (link_ == Link::kPty) return true;
    return QTest::qWaitFor([this] { return socket_ != nullptr; }, 5000);
  }

  // Writes each piece on its own, giving the reader time to take it before the next.
  void Send(const QList<QByteArray>& pieces) {
    for (const QByteArray& piece : pieces) {
      Write(piece);
      QTest::qWait(15);
    }
  }

  void Write(const QByteArray& bytes) {
    if (link_ == Link::kTcp) {
      socket_->write(bytes);
      socket_->flush();
    } else {
      port_.write(bytes);
      port_.flush();
    }
  }

  // Answers each line that equals `query` with what `answer` gives.
  void Answer(const QByteArray& query, std::function<QByteArray()> answer) {
    query_ = query;
    answer_ = std::move(answer);
  }
  int Queries() const { return queries_; }

  // Ends the connection from the instrument's side: the socket closed, or socat gone.
  void Drop() {
    if (link_ == Link::kTcp) {
      socket_->disconnectFromHost();
    } else {
      port_.close();
      socat_.kill();
      socat_.waitForFinished(5000);
    }
  }

 private:
  void Heard(const QByteArray& bytes) {
    heard_ += bytes;
    qsizetype end;
    while ((end = heard_.indexOf('\n')) >= 0) {
      QByteArray line = heard_.left(end);
      heard_.remove(0, end + 1);
      if (line.endsWith('\r')) line.chop(1);
      if (answer_ && line == query_) {
        ++queries_;
        Write(answer_());
      }
    }
  }

  Link link_;
  QString device_;
  QTemporaryDir dir_;
  QProcess socat_;
  QSerialPort port_;
  QTcpServer server_;
  QTcpSocket* socket_ = nullptr;
  QByteArray heard_;
  QByteArray query_;
  std::function<QByteArray()> answer_;
  int queries_ = 0;
};
