#include "recovery.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include "regular_file.h"
#include "safe_write.h"

namespace recovery {

namespace {

constexpr qint64 kLargest = qint64{1} << 30;
const QString kLockSuffix = QStringLiteral(".lock");

QString Quoted(const QString& path) {
  return QStringLiteral("„%1“").arg(QDir::toNativeSeparators(path));
}

std::unique_ptr<QLockFile> TryLock(const QString& path) {
  auto lock = std::make_unique<QLockFile>(path + kLockSuffix);
  // Held for as long as the window is open, which may be days: only a lock whose process is
  // gone is stale.
  lock->setStaleLockTime(0);
  if (!lock->tryLock(0)) return nullptr;
  return lock;
}

qint64 CountLines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return 0;
  qint64 breaks = 0;
  bool empty = true;
  char last = '\n';
  QByteArray block;
  while (!(block = file.read(1 << 20)).isEmpty()) {
    breaks += block.count('\n');
    empty = false;
    last = block.back();
  }
  if (empty) return 0;
  return breaks + (last == '\n' ? 0 : 1);
}

}  // namespace

QString Folder() {
  const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  if (data.isEmpty()) return {};
  return QDir(data).filePath(QStringLiteral("wiederherstellung"));
}

QList<KeptList> Available(const QString& folder) {
  QList<KeptList> kept;
  if (folder.isEmpty()) return kept;
  // The one list that earlier versions kept beside the folder joins the others.
  const QString earlier = QDir(folder).filePath(QStringLiteral("../letzte-liste.txt"));
  if (IsRegularFile(earlier) && QDir().mkpath(folder)) {
    QFile::rename(earlier, QDir(folder).filePath(QStringLiteral("liste-frueher.txt")));
  }
  const QFileInfoList files =
      QDir(folder).entryInfoList({QStringLiteral("*.txt")}, QDir::Files | QDir::System);
  for (const QFileInfo& file : files) {
    if (!IsRegularFile(file.filePath())) continue;
    const auto lock = TryLock(file.filePath());
    if (!lock) continue;  // an open window keeps it
    kept.append({file.filePath(), file.lastModified(), CountLines(file.filePath())});
  }
  std::sort(kept.begin(), kept.end(),
            [](const KeptList& a, const KeptList& b) { return a.written > b.written; });
  return kept;
}

std::optional<QByteArray> Read(const QString& path, QString* error) {
  const auto refuse = [&](const QString& why) {
    *error =
        QStringLiteral("Die gesicherte Liste %1 wird nicht wiederhergestellt: %2").arg(Quoted(path), why);
    return std::nullopt;
  };
  QString kind;
  if (!IsRegularFile(path, &kind)) return refuse(kind);
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return refuse(file.errorString());
  if (file.size() > kLargest) return refuse(QStringLiteral("Sie ist größer als 1 GiB."));
  QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return refuse(file.errorString());
  if (bytes.contains('\0')) return refuse(QStringLiteral("Sie enthält Binärdaten."));
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = utf8(bytes);
  if (utf8.hasError()) return refuse(QStringLiteral("Sie ist kein UTF-8-Text."));
  return bytes;
}

}  // namespace recovery

RecoveryFile::RecoveryFile(QString folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)) {
  writer_.setMaxThreadCount(1);
  writer_.setExpiryTimeout(-1);
  if (folder_.isEmpty()) return;
  path_ = QDir(folder_).filePath(
      QStringLiteral("liste-%1-%2-%3.txt")
          .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")))
          .arg(QCoreApplication::applicationPid())
          .arg(QRandomGenerator::global()->generate() % 100000));
}

RecoveryFile::~RecoveryFile() { Finish(); }

bool RecoveryFile::Lock(QString* cause) {
  if (lock_) return true;
  if (path_.isEmpty()) {
    *cause = QStringLiteral("Es gibt keinen Datenordner für das Benutzerkonto.");
    return false;
  }
  const QFileInfo folder(folder_);
  if (!QDir().mkpath(folder_)) {
    *cause = folder.exists() && !folder.isDir()
                 ? QStringLiteral("%1 ist kein Ordner.").arg(recovery::Quoted(folder_))
                 : QStringLiteral("Der Ordner %1 lässt sich nicht anlegen.")
                       .arg(recovery::Quoted(folder_));
    return false;
  }
  lock_ = recovery::TryLock(path_);
  if (lock_) return true;
  QLockFile probe(path_ + recovery::kLockSuffix);
  probe.setStaleLockTime(0);
  probe.tryLock(0);
  if (probe.error() == QLockFile::LockFailedError) {
    *cause = QStringLiteral("Ein anderes Fenster hält %1.").arg(recovery::Quoted(path_));
  } else {
#ifdef Q_OS_UNIX
    const int error = ::access(QFile::encodeName(folder_).constData(), W_OK) == 0 ? EIO : errno;
#else
    const int error = EACCES;
#endif
    *cause = safe_write::Cause(path_, error);
  }
  return false;
}

void RecoveryFile::Begin() {
  if (open_) Abort();
  open_ = true;
  writer_.start([this] { Open(-1); });
}

void RecoveryFile::Continue(std::int64_t dropped) {
  if (open_) Abort();
  open_ = true;
  writer_.start([this, dropped] { Open(dropped); });
}

void RecoveryFile::Open(std::int64_t dropped) {
  failure_.clear();
  behind_ = false;
  taken_ = 0;
  if (!Lock(&failure_)) return;
  replacement_ = std::make_unique<safe_write::Replacement>(path_, safe_write::Readers::kOwnerOnly);
  if (dropped >= 0 && !CopyKept(dropped)) {
    replacement_.reset();
    behind_ = true;
  }
}

bool RecoveryFile::CopyKept(std::int64_t dropped) {
  constexpr qint64 kBlock = qint64{1} << 20;
  QFile file(path_);
  if (on_disk_ < 0 || !file.open(QIODevice::ReadOnly) || file.size() != on_disk_) return false;
  // The kept lines end with the break before the last `dropped` lines, found from the end.
  qint64 end = on_disk_;
  for (qint64 from = end; dropped > 0; end = from) {
    if (from == 0) return false;
    from = std::max<qint64>(0, from - kBlock);
    if (!file.seek(from)) return false;
    const QByteArray block = file.read(end - from);
    if (block.size() != end - from) return false;
    for (qsizetype k = block.size(); k-- > 0;) {
      if (block[k] == '\n' && --dropped == 0) {
        end = from + k + 1;
        break;
      }
    }
    if (dropped == 0) break;
  }
  if (!file.seek(0)) return false;
  for (qint64 left = end; left > 0;) {
    const QByteArray block = file.read(std::min(left, kBlock));
    if (block.isEmpty()) return false;
    if (!replacement_->Write(block)) return true;  // the commit tells why
    taken_ += block.size();
    left -= block.size();
  }
  return true;
}

void RecoveryFile::Append(std::string piece) {
  waiting_ += static_cast<std::int64_t>(piece.size());
  writer_.start([this, piece = std::move(piece)] {
    if (replacement_ && replacement_->Write(piece)) taken_ += static_cast<std::int64_t>(piece.size());
    waiting_ -= static_cast<std::int64_t>(piece.size());
  });
}

void RecoveryFile::Commit() {
  open_ = false;
  const std::uint64_t number = ++committed_;
  ++writing_;
  writer_.start([this, number] {
    // Dropped by a wait meanwhile when there is neither a text nor a reason.
    if (replacement_ || !failure_.isEmpty() || behind_) {
      const bool ok = replacement_ && replacement_->Commit();
      const QString failure = replacement_ ? replacement_->Cause() : failure_;
      on_disk_ = ok ? taken_ : -1;
      replacement_.reset();
      behind_ = false;
      last_ok_ = ok;
      last_failure_ = failure;
      QMetaObject::invokeMethod(
          this,
          [this, number, ok, failure] {
            if (number <= reported_) return;
            reported_ = number;
            emit written(ok, failure);
          },
          Qt::QueuedConnection);
    }
    --writing_;
  });
}

void RecoveryFile::Abort() {
  open_ = false;
  writer_.start([this] {
    replacement_.reset();
    failure_.clear();
    behind_ = false;
  });
}

void RecoveryFile::Finish() {
  if (open_) Abort();
  writer_.waitForDone();
  reported_ = committed_;
}

bool RecoveryFile::Settle(QString* cause) {
  Finish();
  if (!last_ok_) *cause = last_failure_;
  return last_ok_;
}

void RecoveryFile::Remove() {
  Finish();
  on_disk_ = -1;
  if (!path_.isEmpty()) QFile::remove(path_);
}

void RecoveryFile::Release() {
  Finish();
  on_disk_ = -1;
  lock_.reset();
}

bool RecoveryFile::Adopt(const QString& path, QString* error) {
  if (path == path_) return true;
  auto lock = recovery::TryLock(path);
  if (!lock) {
    *error = QStringLiteral("Die Liste %1 ist schon in einem anderen Fenster offen.")
                 .arg(recovery::Quoted(path));
    return false;
  }
  Finish();
  on_disk_ = -1;
  lock_ = std::move(lock);
  path_ = path;
  return true;
}
