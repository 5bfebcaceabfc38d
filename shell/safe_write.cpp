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

// 0 when every step went through, else the error number of the first that failed; the new file
// is gone then.
int Replace(const QByteArray& target, std::span<const QByteArrayView> pieces, Readers readers) {
  struct stat old {};
  const bool exists = ::stat(target.constData(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) return EISDIR;
  if (exists && ::access(target.constData(), W_OK) != 0) return errno;

  const QByteArray temporary =
      target + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".neu";
  const mode_t mode = readers == Readers::kOwnerOnly ? 0600 : 0666;
  const int fd = Retried([&] {
    return ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  });
  if (fd < 0) return errno;
  int error = 0;
  if (exists && readers == Readers::kAsUsual && ::fchmod(fd, old.st_mode & 07777) != 0) {
    error = errno;
  }
  for (const QByteArrayView piece : pieces) {
    if (!error && !WriteAll(fd, piece)) error = errno;
  }
  if (!error && Retried([&] { return ::fsync(fd); }) != 0) error = errno;
  // close() reports what the file system only learns at the end (quota, network file systems).
  if (::close(fd) != 0 && !error && errno != EINTR) error = errno;
  if (!error && ::rename(temporary.constData(), target.constData()) != 0) error = errno;
  if (error) {
    ::unlink(temporary.constData());
    return error;
  }
  // The rename itself reaches the disk with the folder.
  const QByteArray folder = QFile::encodeName(QFileInfo(QFile::decodeName(target)).absolutePath());
  const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    Retried([&] { return ::fsync(dir); });
    ::close(dir);
  }
  return 0;
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

bool WriteWhole(const QString& path, QByteArrayView bytes, QString* cause, Readers readers) {
  return WriteWhole(path, std::span<const QByteArrayView>(&bytes, 1), cause, readers);
}

bool WriteWhole(const QString& path, std::span<const QByteArrayView> pieces, QString* cause,
                Readers readers) {
  const QString target = Target(path);
#ifdef Q_OS_UNIX
  const int error = Replace(QFile::encodeName(target), pieces, readers);
  if (error == 0) return true;
  if (cause) *cause = Cause(target, error);
  return false;
#else
  Q_UNUSED(readers);
  // Unbuffered, a failed write is seen by write() itself and commit() refuses.
  QSaveFile file(target);
  bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
  for (const QByteArrayView piece : pieces) {
    written = written && file.write(piece.data(), piece.size()) == piece.size();
  }
  if (written && file.commit()) return true;
  if (cause) {
    *cause = file.error() == QFileDevice::ResourceError
                 ? QStringLiteral("Der Datenträger ist voll.")
                 : QStringLiteral("Der Schreibvorgang ist fehlgeschlagen (%1).")
                       .arg(file.errorString());
  }
  return false;
#endif
}

}  // namespace safe_write
