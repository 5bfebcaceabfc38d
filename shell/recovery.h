#pragma once

#include <QDateTime>
#include <QList>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace safe_write {
class Replacement;
}

// Lists kept so that nothing typed is lost: each window keeps its list in a file of its own in
// the recovery folder, "wiederherstellung" in the user's data folder, a plain UTF-8 text of the
// list's lines. A lock file beside it ("….lock") says that a window holds it; the lock of a
// window that ended without closing (crash, power cut, kill) is found stale by its process id,
// and its list is offered again.
namespace recovery {

// A kept list that no open window holds.
struct KeptList {
  QString path;
  QDateTime written;
  qint64 lines = 0;
};

// The recovery folder in the user's data folder; empty where there is none.
QString Folder();

// The kept lists in `folder` that no window holds, newest first. Files that are no regular
// files are passed over.
QList<KeptList> Available(const QString& folder);

// The bytes of a kept list, checked as a file to open is: a regular file of at most 1 GiB,
// UTF-8 without NUL bytes. nullopt and a German `error` that names the file otherwise.
std::optional<QByteArray> Read(const QString& path, QString* error);

}  // namespace recovery

// The file in which one window keeps its list, written in the background: a text is handed over
// a piece at a time (Begin, Append, then Commit or Abort), and each piece is written and freed
// while the next is taken, so that a long list is never held twice in memory. The new text takes
// the file's place atomically once committed and on the disk (safe_write), so the file always
// holds a whole list. Texts handed over one after the other are written in that order.
class RecoveryFile : public QObject {
  Q_OBJECT

 public:
  // A file of its own in `folder`, made with the first write.
  RecoveryFile(QString folder, QObject* parent = nullptr);
  // Waits for the writes handed over; a text not committed is dropped. The file stays; its lock
  // goes.
  ~RecoveryFile() override;

  void Begin();
  // A text that goes on from the last one committed: that text up to the break before its last
  // `dropped` lines, copied from the file in the background, and then the pieces appended. When the file no
  // longer holds that text, nothing is written and `written` reports a failure without a cause:
  // the whole text is needed.
  void Continue(std::int64_t dropped);
  void Append(std::string piece);
  // `written` tells how it went.
  void Commit();
  void Abort();
  // Bytes handed over and not yet written.
  std::int64_t Waiting() const { return waiting_; }
  // A committed text is still being written.
  bool Writing() const { return writing_ > 0; }

  // Waits for the writes handed over; whether the last text committed is on the disk, and if not
  // `cause`.
  bool Settle(QString* cause);
  // Waits for the writes handed over and removes the file.
  void Remove();
  // Waits for the writes handed over and lets go of the file, for the next start to offer it.
  void Release();
  // Makes the kept list at `path` this window's file instead of its own, which stays for the
  // next start. False and a German `error` when another window holds it.
  bool Adopt(const QString& path, QString* error);

  QString path() const { return path_; }

 signals:
  // After each committed text; `cause` says in German why it failed, and is empty when a
  // continued text found the file no longer holding the last one.
  void written(bool ok, const QString& cause);

 private:
  bool Lock(QString* cause);
  // Waits for the background, a text begun and not committed dropped.
  void Finish();
  // In the background: opens the new text and, for a continued one, copies what it keeps of the
  // last; false when the file no longer holds the last text.
  void Open(std::int64_t dropped);
  bool CopyKept(std::int64_t dropped);

  QString folder_;
  QString path_;
  std::unique_ptr<QLockFile> lock_;
  QThreadPool writer_;
  bool open_ = false;  // a text was begun and is not committed or aborted yet
  // The text being written; only the background touches it.
  std::unique_ptr<safe_write::Replacement> replacement_;
  QString failure_;  // why the text being written cannot be; only the background touches it
  // The continued text being written lacks the last text, which the file no longer holds.
  bool behind_ = false;
  std::int64_t taken_ = 0;    // bytes of the text being written
  std::int64_t on_disk_ = -1;  // bytes of the last committed text while the file holds it
  std::atomic<int> writing_ = 0;
  bool last_ok_ = true;  // how the last committed text went, set in the background
  QString last_failure_;
  std::atomic<std::int64_t> waiting_ = 0;
  std::uint64_t committed_ = 0;  // texts committed
  std::uint64_t reported_ = 0;   // the newest of them reported, or overtaken by a write now
};
