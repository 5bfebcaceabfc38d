#include "regular_file.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

enum class Kind { kMissing, kRegular, kFolder, kSpecial };

Kind KindOf(const QString& path, QString* special) {
#ifdef Q_OS_UNIX
  struct stat status {};
  if (::stat(QFile::encodeName(path).constData(), &status) != 0) return Kind::kMissing;
  if (S_ISREG(status.st_mode)) return Kind::kRegular;
  if (S_ISDIR(status.st_mode)) return Kind::kFolder;
  if (special) {
    *special = S_ISFIFO(status.st_mode)   ? QStringLiteral("eine benannte Pipe (FIFO)")
               : S_ISSOCK(status.st_mode) ? QStringLiteral("ein Socket")
                                          : QStringLiteral("ein Gerät");
  }
  return Kind::kSpecial;
#else
  const QFileInfo info(path);
  if (!info.exists()) return Kind::kMissing;
  if (info.isDir()) return Kind::kFolder;
  if (info.isFile()) return Kind::kRegular;
  if (special) *special = QStringLiteral("ein Gerät");
  return Kind::kSpecial;
#endif
}

}  // namespace

bool IsRegularFile(const QString& path, QString* kind) {
  QString special;
  switch (KindOf(path, &special)) {
    case Kind::kRegular:
      return true;
    case Kind::kMissing:
      if (kind) *kind = QStringLiteral("Die Datei gibt es nicht.");
      return false;
    case Kind::kFolder:
      if (kind) *kind = QStringLiteral("Das ist ein Ordner.");
      return false;
    case Kind::kSpecial:
      if (kind) *kind = QStringLiteral("Das ist %1, keine gewöhnliche Datei.").arg(special);
      return false;
  }
  return false;
}

QString SpecialFileKind(const QString& path) {
  QString special;
  return KindOf(path, &special) == Kind::kSpecial ? special : QString();
}
