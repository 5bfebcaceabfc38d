#pragma once

#include <QDateTime>
#include <QList>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

// The file in which one window keeps its list. It is written in the background, one write at a
// time: a text handed over while a write runs is written after it, and only the newest such
// text. Each write is atomic and complete (safe_write), so the file always holds a whole list.
// A text comes in pieces, written one after the other.
class RecoveryFile : public QObject {
  Q_OBJECT

 public:
  // A file of its own in `folder`, made with the first write.
  RecoveryFile(QString folder, QObject* parent = nullptr);
  // Waits for a write in progress. The file stays; its lock goes.
  ~RecoveryFile() override;

  using Text = std::vector<std::string>;
  void WriteLater(Text text);
  // Writes `text` at once, after the write in progress; false and `cause` when that fails.
  bool WriteNow(const Text& text, QString* cause);
  // Waits for the write in progress and removes the file.
  void Remove();
  // Waits for the write in progress and lets go of the file, for the next start to offer it.
  void Release();
  // Makes the kept list at `path` this window's file instead of its own, which stays for the
  // next start. False and a German `error` when another window holds it.
  bool Adopt(const QString& path, QString* error);

  QString path() const { return path_; }

 signals:
  // After each write in the background; `cause` says in German why it failed.
  void written(bool ok, const QString& cause);

 private:
  bool Lock(QString* cause);
  void Start(Text text);
  void Finish();

  QString folder_;
  QString path_;
  std::unique_ptr<QLockFile> lock_;
  QThreadPool writer_;
  bool running_ = false;
  std::optional<Text> waiting_;
  std::uint64_t started_ = 0;   // writes handed to the background
  std::uint64_t reported_ = 0;  // the newest of them reported, or overtaken by a write now
};
