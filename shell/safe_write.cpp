#include "safe_write.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QSaveFile>
#endif

namespace safe_write {

namespace {

QString Quoted(const QString& path) {
  return QStringLiteral("„%1“").arg(QDir::toNativeSeparators(path));
}

// A link is written through: the file it points to gets the new bytes.
QString Target(const QString& path) {
  const QFileInfo info(path);
  if (!info.isSymLink()) return path;
  const QString target = info.symLinkTarget();
  return target.isEmpty() ? path : target;
}

#ifdef Q_OS_UNIX

// Runs `call` again for as long as a signal interrupts it.
template <class Call>
auto Retried(Call call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

bool WriteAll(int fd, QByteArrayView bytes) {
  const char* at = bytes.data();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t written = Retried([&] { return ::write(fd, at, static_cast<size_t>(left)); });
    if (written < 0) return false;
    at += written;
    left -= written;
  }
  return true;
}

#endif

}  // namespace

QString Cause(const QString& path, int error_number) {
  const QString folder = QFileInfo(path).absolutePath();
  switch (error_number) {
    case ENOSPC:
      return QStringLiteral("Der Datenträger ist voll.");
#ifdef EDQUOT
    case EDQUOT:
      return QStringLiteral("Der zugeteilte Platz auf dem Datenträger ist aufgebraucht.");
#endif
    case EFBIG:
      return QStringLiteral("Die Datei wäre größer, als das System zulässt.");
    case EROFS:
      return QStringLiteral("Der Datenträger ist schreibgeschützt.");
    case EACCES:
    case EPERM:
      return QFileInfo(path).exists() && !QFileInfo(path).isWritable()
                 ? QStringLiteral("Die Datei ist schreibgeschützt.")
                 : QStringLiteral("Es fehlt die Berechtigung, in den Ordner %1 zu schreiben.")
                       .arg(Quoted(folder));
    case ENOENT:
      return QStringLiteral("Den Ordner %1 gibt es nicht.").arg(Quoted(folder));
    case ENOTDIR:
      return QStringLiteral("%1 ist kein Ordner.").arg(Quoted(folder));
    case EISDIR:
      return QStringLiteral("Das ist ein Ordner.");
    case EIO:
      return QStringLiteral("Der Datenträger meldet einen Ein-/Ausgabefehler.");
    case ENAMETOOLONG:
      return QStringLiteral("Der Name ist zu lang.");
    default:
      return QStringLiteral("Der Schreibvorgang ist fehlgeschlagen (%1).")
          .arg(QString::fromLocal8Bit(std::strerror(error_number)));
  }
}

#ifdef Q_OS_UNIX

Replacement::Replacement(const QString& path, Readers readers) : target_(Target(path)) {
  const QByteArray target = QFile::encodeName(target_);
  struct stat old {};
  const bool exists = ::stat(target.constData(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) {
    Fail(EISDIR);
    return;
  }
  if (exists && ::access(target.constData(), W_OK) != 0) {
    Fail(errno);
    return;
  }
  temporary_ =
      target + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".neu";
  const mode_t mode = readers == Readers::kOwnerOnly ? 0600 : 0666;
  fd_ = Retried([&] {
    return ::open(temporary_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  });
  if (fd_ < 0) {
    Fail(errno);
    return;
  }
  if (exists && readers == Readers::kAsUsual && ::fchmod(fd_, old.st_mode & 07777) != 0) {
    Fail(errno);
  }
}

Replacement::~Replacement() { Fail(ECANCELED); }

void Replacement::Fail(int error) {
  if (!error_) error_ = error;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.isEmpty()) ::unlink(temporary_.constData());
  temporary_.clear();
}

bool Replacement::Write(QByteArrayView bytes) {
  if (error_) return false;
  if (!WriteAll(fd_, bytes)) Fail(errno);
  return !error_;
}

bool Replacement::Commit() {
  if (error_) return false;
  if (Retried([&] { return ::fsync(fd_); }) != 0) {
    Fail(errno);
    return false;
  }
  // close() reports what the file system only learns at the end (quota, network file systems).
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0 && errno != EINTR) {
    Fail(errno);
    return false;
  }
  const QByteArray target = QFile::encodeName(target_);
  if (::rename(temporary_.constData(), target.constData()) != 0) {
    Fail(errno);
    return false;
  }
  temporary_.clear();
  // The rename itself reaches the disk with the folder.
  const QByteArray folder = QFile::encodeName(QFileInfo(target_).absolutePath());
  const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    Retried([&] { return ::fsync(dir); });
    ::close(dir);
  }
  return true;
}

#else

// Unbuffered, a failed write is seen by write() itself and commit() refuses.
Replacement::Replacement(const QString& path, Readers) : target_(Target(path)) {
  file_ = std::make_unique<QSaveFile>(target_);
  if (!file_->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) Fail(EIO);
}

Replacement::~Replacement() = default;

void Replacement::Fail(int error) {
  if (!error_) error_ = file_ && file_->error() == QFileDevice::ResourceError ? ENOSPC : error;
  if (file_) file_->cancelWriting();
}

bool Replacement::Write(QByteArrayView bytes) {
  if (error_) return false;
  if (file_->write(bytes.data(), bytes.size()) != bytes.size()) Fail(EIO);
  return !error_;
}

bool Replacement::Commit() {
  if (error_) return false;
  if (!file_->commit()) Fail(EIO);
  return !error_;
}

#endif

QString Replacement::Cause() const { return error_ ? safe_write::Cause(target_, error_) : QString(); }

bool WriteWhole(const QString& path, QByteArrayView bytes, QString* cause, Readers readers) {
  Replacement file(path, readers);
  if (file.Write(bytes) && file.Commit()) return true;
  if (cause) *cause = file.Cause();
  return false;
}

}  // namespace safe_write
