#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <memory>
#include <span>

class QSaveFile;

// Writing a file so that it either holds all of the new bytes or stays as it was. The bytes go to
// a new file beside the target, unbuffered; only once the last of them reached the disk (fsync)
// does that file take the target's place, in one rename. Whatever fails on the way leaves the old
// file whole and the new one removed.
namespace safe_write {

// Who may read the file: the permissions the user's umask gives new files (a target that
// exists keeps its own), or the user alone.
enum class Readers { kAsUsual, kOwnerOnly };

// A new file for `path`, written a piece at a time; it takes the target's place when committed,
// and is removed if it never is.
class Replacement {
 public:
  Replacement(const QString& path, Readers readers);
  ~Replacement();
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;

  // False once anything failed; later calls then do nothing.
  bool Write(QByteArrayView bytes);
  bool Commit();
  // Why it failed, in German ("Der Datenträger ist voll.").
  QString Cause() const;

 private:
  void Fail(int error);

  QString target_;
  int error_ = 0;
#ifdef Q_OS_UNIX
  QByteArray temporary_;
  int fd_ = -1;
#else
  std::unique_ptr<QSaveFile> file_;
#endif
};

// Writes `bytes` as the file at `path`. On failure returns false and, when `cause` is given,
// a German sentence that says why.
bool WriteWhole(const QString& path, QByteArrayView bytes, QString* cause,
                Readers readers = Readers::kAsUsual);

// The German sentence for a failed write of `path` with the system's error number.
QString Cause(const QString& path, int error_number);

}  // namespace safe_write
