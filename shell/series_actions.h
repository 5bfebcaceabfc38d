#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <optional>

class MeasurementEdit;
class QAction;
class QWidget;
class SeriesFile;

// The ways a series comes into the list from a file and goes back out: "Datei öffnen…",
// "Liste speichern unter…" and "Letzte Liste wiederherstellen" in the list's context menu, a file
// dropped on the list, and the recovery file that keeps a changed list when the window closes.
// Opening and restoring replace the whole list as one step that Ctrl+Z takes back.
class SeriesActions : public QObject {
  Q_OBJECT

 public:
  // Adds the actions to `list`; `window` is the parent of the dialogs.
  SeriesActions(MeasurementEdit& list, QWidget& window);

  // The dialogs and the message box, replaceable in tests. An empty path or no column means the
  // user cancelled.
  std::function<void(const QString& message)> ShowError;
  std::function<QString(const QString& folder)> ChooseFileToOpen;
  std::function<QString(const QString& suggestion)> ChooseFileToSave;
  std::function<std::optional<int>(const QString& path, const SeriesFile& file, int preselected)>
      ChooseColumn;

  // Reads the file into the list; a refused file is reported and leaves the list as it was.
  bool Open(const QString& path);
  // Opens it once the event loop runs: after the window is shown, or after a drop is over.
  void OpenLater(const QString& path);
  // Writes the list's lines to `path` as UTF-8 with LF. The old file stays whole when that fails.
  bool Save(const QString& path);
  void OpenChosen();
  void SaveChosen();
  void OpenDropped(const QList<QUrl>& urls);
  // Puts the lines of the recovery file into the list.
  bool Restore();
  // Writes the list to the recovery file if it holds values and changed since it was last opened
  // or saved. Failing is silent: it never keeps the window from closing.
  bool KeepForRecovery();

  // Where the list is kept on close, in the user's data folder.
  static QString RecoveryPath();

  QAction* openAction() const { return open_; }
  QAction* saveAction() const { return save_; }
  QAction* restoreAction() const { return restore_; }

 private:
  // Changes whenever the list's text changes.
  std::uint64_t Revision();
  void Replace(const QString& text);
  void Remember(const QString& path);

  MeasurementEdit& list_;
  QWidget& window_;
  QAction* open_;
  QAction* save_;
  QAction* restore_;
  std::uint64_t unchanged_revision_;  // the list's revision when it was last opened or saved
  QString folder_;                    // where the last file was opened or saved
  QString file_name_;                 // and its name without suffix, to suggest when saving
};
