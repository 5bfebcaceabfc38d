#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "list_model.h"
#include "recovery.h"
#include "series_reader.h"

class MeasurementEdit;
class QAction;
class QWidget;
class SeriesFile;

// The ways a series comes into the list from a file and goes back out: "Datei öffnen…",
// "Liste speichern unter…" and "Letzte Liste wiederherstellen" in the list's context menu, a file
// dropped on the list, and the recovery file that keeps a changed list while the window is open
// and after it closed. Opening and restoring replace the whole list as one step that Ctrl+Z takes
// back.
class SeriesActions : public QObject {
  Q_OBJECT

 public:
  // A button of a notice in the window.
  struct Offer {
    QString text;
    std::function<void()> run;
  };

  // Adds the actions to `list`; `window` is the parent of the dialogs.
  SeriesActions(MeasurementEdit& list, QWidget& window);

  // The dialogs and the message box, replaceable in tests. An empty path or no column means the
  // user cancelled.
  std::function<void(const QString& message)> ShowError;
  // A notice in the window that asks for nothing; the text of the notice shown, to take it away.
  std::function<void(const QString& text, const QList<Offer>& offers)> ShowNotice;
  std::function<void(const QString& text)> ClearNotice;
  std::function<QString(const QString& folder)> ChooseFileToOpen;
  std::function<QString(const QString& suggestion)> ChooseFileToSave;
  std::function<std::optional<series::Choices>(const QString& path, const SeriesFile& file,
                                                int preselected)>
      ChooseColumn;

  // Reads the file into the list; a refused file is reported and leaves the list as it was, as
  // does a file too large for the memory left.
  bool Open(const QString& path);
  // Opens it once the event loop runs: after the window is shown, or after a drop is over.
  void OpenLater(const QString& path);
  // Writes the list's lines to `path` as UTF-8 with LF. The old file stays whole when that fails,
  // and the list still counts as changed.
  bool Save(const QString& path);
  void OpenChosen();
  void SaveChosen();
  void OpenDropped(const QList<QUrl>& urls);
  // Puts the newest kept list that no window holds into the list.
  bool Restore();
  // Puts the kept list at `path` into the list; this window keeps its list there from now on.
  bool Restore(const QString& path);
  // Shows the kept lists that no window holds, newest first, each with a button to restore it.
  void OfferKept();
  // Hands the list to the recovery file, to be written in the background, if it changed since
  // it was last handed over, opened or saved; the timer calls it within two seconds of a change.
  void KeepChanges();
  // For the close: keeps the list in this window's recovery file if it holds values and changed
  // since it was last opened or saved, and removes the file if it is unchanged. Never keeps the
  // window from closing; a failure is printed on standard error.
  bool KeepForRecovery();

  // Where this window keeps its list.
  QString RecoveryPath() const { return recovery_.path(); }
  // The folder of every window's recovery file, in the user's data folder.
  static QString RecoveryFolder() { return recovery::Folder(); }

  QAction* openAction() const { return open_; }
  QAction* saveAction() const { return save_; }
  QAction* restoreAction() const { return restore_; }

 private:
  // Changes whenever the list's text changes.
  bool OpenRegular(const QString& path);
  std::uint64_t Revision();
  // Puts `utf8`, lines parted by '\n', in place of the whole list as one step.
  void Replace(std::string&& utf8);
  void Remember(const QString& path);
  // Begins a text for the recovery file: one that goes on from the text the file holds when
  // the list's first lines are still those of that text, else a whole one. The line to take
  // from next.
  int BeginText();
  // Hands the next slice of the list's text to the recovery file, and commits the text once it
  // is whole; a change of lines already handed over drops it, and the change's own timer starts
  // it anew.
  void TakeSlice();
  // The lines of the list from `first` on have changed.
  void LinesChanged(int first);
  // Drops the text being handed over, before the file changes hands or goes.
  void StopTaking();
  void Kept(bool ok, const QString& cause);

  MeasurementEdit& list_;
  QWidget& window_;
  QAction* open_;
  QAction* save_;
  QAction* restore_;
  std::uint64_t unchanged_revision_;  // the list's revision when it was last opened or saved
  std::uint64_t kept_revision_;       // and when it was last handed to the recovery file
  RecoveryFile recovery_;
  QTimer keep_timer_;
  // The text being handed to the recovery file, a slice at each turn of the event loop: the
  // list's text before `next`, unchanged since it was handed over.
  struct Taking {
    TextPosition next;     // where the next slice begins
    int first_value = -1;  // the line of its first value; -1 while none is known
  };
  std::optional<Taking> taking_;
  // The text the recovery file was last given: its lines, the first of them that no change has
  // touched since, and the line of its first value; -1 lines when it holds none of this list.
  struct Recovered {
    int lines = -1;
    int untouched = 0;
    int first_value = -1;
  };
  Recovered recovered_;
  bool keep_wanted_ = false;  // a change waits for the text being written
  QTimer slice_timer_;
  QString failure_notice_;  // the notice that the recovery file cannot be written, while shown
  QString folder_;                    // where the last file was opened or saved
  QString file_name_;                 // and its name without suffix, to suggest when saving
};
