#include "series_actions.h"

#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <new>
#include <string>

#include "column_dialog.h"
#include "decimal_separator.h"
#include "measurement_edit.h"
#include "regular_file.h"
#include "reading_notes.h"
#include "safe_write.h"
#include "series_file.h"

namespace {

const QString kFilters = QStringLiteral("Messwerte (*.txt *.csv *.dat);;Alle Dateien (*)");

// The wait cursor while a long list is read or replaced.
class Busy {
 public:
  Busy() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~Busy() { QGuiApplication::restoreOverrideCursor(); }
  Busy(const Busy&) = delete;
  Busy& operator=(const Busy&) = delete;
};

QString Quoted(const QString& path) {
  return QStringLiteral("„%1“").arg(QDir::toNativeSeparators(path));
}

// Why nothing can be read from a file that is no regular file.
QString NotAFile(const QString& path, const QString& kind) {
  return QStringLiteral("Die Datei %1 kann nicht geöffnet werden: Das ist %2, keine gewöhnliche "
                        "Datei.")
      .arg(Quoted(path), kind);
}

const QString kNoMemory = QStringLiteral("Dafür reicht der Arbeitsspeicher nicht.");

// Lines, and bytes of a long line, taken for the recovery file in one turn of the event loop:
// about half a millisecond.
constexpr int kSliceLines = 65536;
constexpr std::size_t kSliceBytes = std::size_t{1} << 20;
// While this much is handed over and not written, the next slice waits this long.
constexpr std::int64_t kWaitingBytes = std::int64_t{4} << 20;
constexpr int kWaitForWriter = 2;

// The list's text from `from` on, up to kSliceLines lines or kSliceBytes bytes of it, each line
// that it takes to its end with the break after it but the last; `from` moves on to where the
// next slice begins.
std::string Slice(const ListModel& model, TextPosition& from) {
  const int end = std::min(model.LineCount(), from.line + kSliceLines);
  const auto walk = [&](auto&& take) {
    std::size_t taken = 0;
    TextPosition at = from;
    while (at.line < end && taken < kSliceBytes) {
      const std::string_view line = model.Line(at.line);
      const std::string_view part =
          line.substr(static_cast<std::size_t>(at.column), kSliceBytes - taken);
      take(part);
      taken += part.size();
      at.column += static_cast<int>(part.size());
      if (at.column < static_cast<int>(line.size())) break;
      if (++at.line < model.LineCount()) take("\n");
      ++taken;
      at.column = 0;
    }
    return at;
  };
  std::size_t size = 0;
  walk([&](std::string_view part) { size += part.size(); });
  std::string piece;
  piece.reserve(size);
  from = walk([&](std::string_view part) { piece += part; });
  return piece;
}

// The settings key of the column last chosen in files with this header.
QString ColumnKey(const QString& header) {
  if (header.isEmpty()) return {};
  return QStringLiteral("Spaltenwahl/") +
         QString::fromLatin1(
             QCryptographicHash::hash(header.toUtf8(), QCryptographicHash::Sha1).toHex());
}

// The line of the first character in `piece` that is no blank, counted from `line`, the line
// that `piece` begins in; -1 if there is none.
int FirstValue(std::string_view piece, int line) {
  for (const char c : piece) {
    if (c == '\n') {
      ++line;
    } else if (c != ' ' && c != '\t' && c != '\r' && c != '\v' && c != '\f') {
      return line;
    }
  }
  return -1;
}

}  // namespace

SeriesActions::SeriesActions(MeasurementEdit& list, QWidget& window)
    : QObject(&window),
      list_(list),
      window_(window),
      open_(new QAction(tr("&Öffnen…"), this)),
      save_(new QAction(tr("Liste &speichern unter…"), this)),
      restore_(new QAction(tr("Le&tzte Liste wiederherstellen"), this)),
      unchanged_revision_(Revision()),
      kept_revision_(unchanged_revision_),
      recovery_(recovery::Folder(), this) {
  open_->setShortcut(QKeySequence::Open);
  save_->setShortcut(QKeySequence::Save);
  restore_->setVisible(false);  // until OfferKept finds a kept list
  list_.addAction(open_);
  list_.addAction(save_);
  list_.addAction(restore_);

  ShowError = [this](const QString& message) {
    QMessageBox::critical(&window_, window_.windowTitle(), message);
  };
  ShowNotice = [](const QString&, const QList<Offer>&) {};
  ClearNotice = [](const QString&) {};
  ChooseFileToOpen = [this](const QString& folder) {
    return QFileDialog::getOpenFileName(&window_, tr("Datei öffnen"), folder, kFilters);
  };
  ChooseFileToSave = [this](const QString& suggestion) {
    QFileDialog dialog(&window_, tr("Liste speichern unter"), suggestion, kFilters);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
  };
  ChooseColumn = [this](const QString& path, const SeriesFile& file,
                        int preselected) -> std::optional<series::Choices> {
    ColumnDialog dialog(path, file, preselected, DecimalSeparator(), &window_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Choices();
  };

  connect(open_, &QAction::triggered, this, &SeriesActions::OpenChosen);
  connect(save_, &QAction::triggered, this, &SeriesActions::SaveChosen);
  connect(restore_, &QAction::triggered, this, [this] { Restore(); });
  connect(&list_, &MeasurementEdit::filesDropped, this, &SeriesActions::OpenDropped);

  // The list is kept within two seconds of its first change, however fast it goes on changing.
  keep_timer_.setSingleShot(true);
  keep_timer_.setInterval(1500);
  connect(&keep_timer_, &QTimer::timeout, this, &SeriesActions::KeepChanges);
  slice_timer_.setSingleShot(true);
  connect(&slice_timer_, &QTimer::timeout, this, &SeriesActions::TakeSlice);
  connect(&list_, &MeasurementEdit::textChanged, this, [this] {
    if (!keep_timer_.isActive()) keep_timer_.start();
  });
  connect(&list_, &MeasurementEdit::linesChanged, this,
          [this](int first, int, int) { LinesChanged(first); });
  connect(&recovery_, &RecoveryFile::written, this, &SeriesActions::Kept);
}

bool SeriesActions::Open(const QString& path) {
  const QString kind = SpecialFileKind(path);
  if (!kind.isEmpty()) {
    ShowError(NotAFile(path, kind));
    return false;
  }
  try {
    return OpenRegular(path);
  } catch (const std::bad_alloc&) {
    ShowError(tr("Die Datei %1 wurde nicht geöffnet. %2 Die Liste bleibt, wie sie war.")
                  .arg(Quoted(path), kNoMemory));
    return false;
  }
}

bool SeriesActions::OpenRegular(const QString& path) {
  QString error;
  std::optional<SeriesFile> file;
  {
    Busy busy;
    file = SeriesFile::Open(path, &error);
  }
  if (!file) {
    ShowError(error);
    return false;
  }
  series::Choices choices;
  if (file->ColumnCount() > 1) {
    QSettings settings(QStringLiteral("messwerte"), QStringLiteral("messwerte"));
    const QString key = ColumnKey(file->HeaderKey());
    // The column last chosen in files with this header, else the first of numbers.
    const int first_numeric = file->Decide().first_numeric_column;
    const int remembered = key.isEmpty() ? first_numeric : settings.value(key, first_numeric).toInt();
    const std::optional<series::Choices> chosen = ChooseColumn(path, *file, remembered);
    if (!chosen || chosen->column < 0 || chosen->column >= file->ColumnCount()) return false;
    choices = *chosen;
    if (!key.isEmpty()) settings.setValue(key, choices.column);
  }
  Busy busy;
  const char decimal = DecimalSeparator();
  QString notice;
  std::string utf8;
  {
    // One copy of the lines at a time: the file's bytes go before the list takes its lines.
    SeriesFile::Loaded loaded = file->Read(choices, decimal);
    notice = series::OpenedNote(QFileInfo(path).fileName(), file->ColumnNames(choices),
                                choices.column, loaded.layout, loaded.tally, decimal);
    file.reset();
    utf8 = std::move(loaded.lines);
  }
  Replace(std::move(utf8));
  Remember(path);
  ShowNotice(notice, {});
  return true;
}

void SeriesActions::OpenLater(const QString& path) {
  QTimer::singleShot(0, this, [this, path] { Open(path); });
}

bool SeriesActions::Save(const QString& path) {
  QString failure;
  bool saved = false;
  try {
    Busy busy;
    const ListModel& model = list_.model();
    safe_write::Replacement file(path, safe_write::Readers::kAsUsual);
    for (TextPosition at; at.line < model.LineCount();) file.Write(Slice(model, at));
    // Every line ends with a break, the last one too.
    if (!model.Line(model.LineCount() - 1).empty()) file.Write("\n");
    saved = file.Commit();
    failure = file.Cause();
  } catch (const std::bad_alloc&) {
    failure = kNoMemory;
  }
  if (!saved) {
    ShowError(tr("Die Liste konnte nicht als %1 gespeichert werden. %2 Eine vorhandene Datei "
                 "dieses Namens bleibt unverändert.")
                  .arg(Quoted(path), failure));
    return false;
  }
  unchanged_revision_ = Revision();
  kept_revision_ = unchanged_revision_;
  // The list is safe in the file the user chose.
  StopTaking();
  recovery_.Remove();
  recovered_ = {};
  Remember(path);
  return true;
}

void SeriesActions::OpenChosen() {
  const QString path = ChooseFileToOpen(folder_);
  if (!path.isEmpty()) Open(path);
}

void SeriesActions::SaveChosen() {
  const QString name = file_name_.isEmpty() ? QStringLiteral("Messwerte") : file_name_;
  const QString path = ChooseFileToSave(QDir(folder_).filePath(name + QStringLiteral(".txt")));
  if (!path.isEmpty()) Save(path);
}

void SeriesActions::OpenDropped(const QList<QUrl>& urls) {
  // Opened once the drop is over: a dialog inside it would hold up the program it came from.
  const auto file =
      std::find_if(urls.cbegin(), urls.cend(), [](const QUrl& url) { return url.isLocalFile(); });
  if (file != urls.cend()) OpenLater(file->toLocalFile());
}

bool SeriesActions::Restore() {
  const QList<recovery::KeptList> kept = recovery::Available(recovery::Folder());
  if (kept.isEmpty()) {
    ShowError(tr("Es gibt keine gesicherte Liste, die nicht schon in einem Fenster offen ist."));
    restore_->setVisible(false);
    return false;
  }
  return Restore(kept.front().path);
}

bool SeriesActions::Restore(const QString& path) {
  QString error;
  try {
    std::optional<QByteArray> bytes = recovery::Read(path, &error);
    if (bytes) {
      Busy busy;
      // Written by this program with LF; edited elsewhere, it may have other breaks.
      bytes->replace("\r\n", "\n").replace('\r', '\n');
      std::string text(bytes->constData(), static_cast<std::size_t>(bytes->size()));
      bytes.reset();
      StopTaking();
      if (recovery_.Adopt(path, &error)) {
        recovered_ = {};
        Replace(std::move(text));
        // Restored, the list is no file's: it stays kept until it is saved.
        unchanged_revision_ = 0;
        kept_revision_ = Revision();
        restore_->setVisible(!recovery::Available(recovery::Folder()).isEmpty());
        return true;
      }
    }
  } catch (const std::bad_alloc&) {
    error = tr("Die gesicherte Liste %1 wurde nicht wiederhergestellt. %2")
                .arg(Quoted(path), kNoMemory);
  }
  ShowError(error);
  return false;
}

void SeriesActions::OfferKept() {
  const QList<recovery::KeptList> kept = recovery::Available(recovery::Folder());
  restore_->setVisible(!kept.isEmpty());
  if (kept.isEmpty()) return;
  const QLocale locale;
  QList<Offer> offers;
  for (const recovery::KeptList& list : kept) {
    const QString lines = list.lines == 1 ? tr("1 Zeile")
                                          : tr("%1 Zeilen").arg(locale.toString(list.lines));
    offers.append({tr("Liste vom %1, %2 wiederherstellen")
                       .arg(locale.toString(list.written, QLocale::ShortFormat), lines),
                   [this, path = list.path] { Restore(path); }});
  }
  ShowNotice(kept.size() == 1
                 ? tr("Eine Liste wurde nicht gespeichert, als ihr Fenster zuletzt schloss.")
                 : tr("%1 Listen wurden nicht gespeichert, als ihre Fenster zuletzt schlossen.")
                       .arg(kept.size()),
             offers);
}

void SeriesActions::KeepChanges() {
  const std::uint64_t revision = Revision();
  if (revision == kept_revision_ || revision == unchanged_revision_) return;
  // A text under way takes the change in, or is dropped by it.
  if (taking_) return;
  // One text at a time: the next one waits for the last to be on the disk.
  if (recovery_.Writing()) {
    keep_wanted_ = true;
    return;
  }
  const int first = BeginText();
  taking_ = Taking{{first, 0}, recovered_.first_value < first ? recovered_.first_value : -1};
  TakeSlice();
}

int SeriesActions::BeginText() {
  // The file's text is taken up to the break after the last line to keep.
  const int first = std::min(recovered_.untouched, recovered_.lines - 1);
  if (recovered_.lines >= 0 && first > 0) {
    recovery_.Continue(recovered_.lines - first);
    return first;
  }
  recovery_.Begin();
  return 0;
}

void SeriesActions::LinesChanged(int first) {
  recovered_.untouched = std::min(recovered_.untouched, first);
  if (taking_ && (first < taking_->next.line ||
                  (first == taking_->next.line && taking_->next.column > 0))) {
    StopTaking();
  }
}

void SeriesActions::TakeSlice() {
  if (!taking_) return;
  // The slices handed over before are written first: the list is never held twice in memory.
  if (recovery_.Waiting() > kWaitingBytes) return slice_timer_.start(kWaitForWriter);
  const ListModel& model = list_.model();
  try {
    const int line = taking_->next.line;
    std::string piece = Slice(model, taking_->next);
    if (taking_->first_value < 0) taking_->first_value = FirstValue(piece, line);
    recovery_.Append(std::move(piece));
  } catch (const std::bad_alloc&) {
    StopTaking();
    return Kept(false, kNoMemory);
  }
  if (taking_->next.line < model.LineCount()) return slice_timer_.start(0);
  // An emptied list keeps the last list that held values.
  if (taking_->first_value >= 0) {
    kept_revision_ = Revision();
    recovered_ = {model.LineCount(), model.LineCount(), taking_->first_value};
    recovery_.Commit();
  } else {
    recovery_.Abort();
  }
  taking_.reset();
}

void SeriesActions::StopTaking() {
  slice_timer_.stop();
  if (taking_) recovery_.Abort();
  taking_.reset();
}

void SeriesActions::Kept(bool ok, const QString& cause) {
  if (std::exchange(keep_wanted_, false)) QTimer::singleShot(0, this, &SeriesActions::KeepChanges);
  if (ok) {
    if (!failure_notice_.isEmpty()) ClearNotice(std::exchange(failure_notice_, {}));
    return;
  }
  // Tried again with the next change, whole; at once when only the file lacked the last text.
  kept_revision_ = 0;
  recovered_ = {};
  if (cause.isEmpty()) {
    QTimer::singleShot(0, this, &SeriesActions::KeepChanges);
    return;
  }
  // Told again only when the cause is another.
  const QString notice = tr("Die Liste kann nicht für eine Wiederherstellung gesichert werden: "
                            "%1 Bitte die Liste selbst speichern.")
                             .arg(cause);
  if (notice == failure_notice_) return;
  failure_notice_ = notice;
  ShowNotice(failure_notice_, {{tr("Liste speichern unter…"), [this] { SaveChosen(); }}});
}

bool SeriesActions::KeepForRecovery() {
  keep_timer_.stop();
  StopTaking();
  keep_wanted_ = false;
  const std::uint64_t revision = Revision();
  if (revision == unchanged_revision_) {
    recovery_.Remove();
    return false;
  }
  // Written as in the background, a slice at a time, and waited for; once more whole when the
  // file no longer held the text to go on from.
  QString cause;
  try {
    const ListModel& model = list_.model();
    if (!recovery_.Settle(&cause)) recovered_ = {};
    for (int attempt = 0; attempt < 2; ++attempt) {
      cause.clear();
      if (attempt > 0) recovered_ = {};
      const int from = BeginText();
      int first_value = recovered_.first_value < from ? recovered_.first_value : -1;
      for (TextPosition at{from, 0}; at.line < model.LineCount();) {
        const int line = at.line;
        std::string piece = Slice(model, at);
        if (first_value < 0) first_value = FirstValue(piece, line);
        recovery_.Append(std::move(piece));
        while (recovery_.Waiting() > kWaitingBytes) QThread::msleep(1);
      }
      if (first_value < 0) {
        recovery_.Abort();
        recovery_.Release();
        return false;
      }
      recovery_.Commit();
      if (recovery_.Settle(&cause)) {
        recovery_.Release();
        return true;
      }
      if (!cause.isEmpty()) break;
    }
    recovery_.Release();
  } catch (const std::bad_alloc&) {
    recovery_.Abort();
    recovery_.Release();
    cause = kNoMemory;
  }
  std::fprintf(stderr, "messwerte: Die Liste konnte nicht in %s gesichert werden: %s\n",
               qPrintable(QDir::toNativeSeparators(recovery_.path())), qPrintable(cause));
  return false;
}

std::uint64_t SeriesActions::Revision() { return list_.model().Revision(); }

void SeriesActions::Replace(std::string&& utf8) {
  ListModel& model = list_.model();
  model.Select({}, model.End());
  model.InsertOwned(std::move(utf8));
  list_.SetSelection({}, {});
  unchanged_revision_ = Revision();
}

void SeriesActions::Remember(const QString& path) {
  const QFileInfo info(path);
  folder_ = info.absolutePath();
  file_name_ = info.completeBaseName();
}
