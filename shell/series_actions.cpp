#include "series_actions.h"

#include <QAction>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>

#include "column_dialog.h"
#include "measurement_edit.h"
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

// Why a file could not be written, in words for the user.
QString WriteFailure(const QString& path, const QFileDevice& file) {
  const QFileInfo target(path);
  const QFileInfo folder(target.absolutePath());
  if (target.isDir()) return QStringLiteral("Das ist ein Ordner.");
  if (!folder.exists()) {
    return QStringLiteral("Den Ordner %1 gibt es nicht.").arg(Quoted(folder.filePath()));
  }
  if (!folder.isDir()) return QStringLiteral("%1 ist kein Ordner.").arg(Quoted(folder.filePath()));
  if (target.exists() && !target.isWritable()) {
    return QStringLiteral("Die Datei ist schreibgeschützt.");
  }
  if (file.error() == QFileDevice::ResourceError) {
    return QStringLiteral("Auf dem Datenträger ist kein Platz mehr.");
  }
  if (file.error() == QFileDevice::PermissionsError || !folder.isWritable()) {
    return QStringLiteral("Es fehlt die Berechtigung, dort zu schreiben.");
  }
  return QStringLiteral("Der Schreibvorgang ist fehlgeschlagen (%1).").arg(file.errorString());
}

// Writes `bytes` to a new file that takes the place of `path` only once it is complete.
bool WriteWhole(const QString& path, const QByteArray& bytes, QString* failure) {
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) {
    return true;
  }
  *failure = WriteFailure(path, file);
  return false;
}

// The settings key of the column last chosen in files with this header.
QString ColumnKey(const QString& header) {
  if (header.isEmpty()) return {};
  return QStringLiteral("Spaltenwahl/") +
         QString::fromLatin1(
             QCryptographicHash::hash(header.toUtf8(), QCryptographicHash::Sha1).toHex());
}

bool HoldsValues(const QString& text) {
  return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return !c.isSpace(); });
}

}  // namespace

SeriesActions::SeriesActions(MeasurementEdit& list, QWidget& window)
    : QObject(&window),
      list_(list),
      window_(window),
      open_(new QAction(tr("&Datei öffnen…"), this)),
      save_(new QAction(tr("Liste &speichern unter…"), this)),
      restore_(new QAction(tr("Le&tzte Liste wiederherstellen"), this)),
      unchanged_revision_(Revision()) {
  open_->setShortcut(QKeySequence::Open);
  save_->setShortcut(QKeySequence::Save);
  restore_->setVisible(QFileInfo::exists(RecoveryPath()));
  list_.addAction(open_);
  list_.addAction(save_);
  list_.addAction(restore_);

  ShowError = [this](const QString& message) {
    QMessageBox::critical(&window_, window_.windowTitle(), message);
  };
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
                        int preselected) -> std::optional<int> {
    ColumnDialog dialog(path, file.ColumnNames(), file.Preview(10), preselected, &window_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Column();
  };

  connect(open_, &QAction::triggered, this, &SeriesActions::OpenChosen);
  connect(save_, &QAction::triggered, this, &SeriesActions::SaveChosen);
  connect(restore_, &QAction::triggered, this, &SeriesActions::Restore);
  connect(&list_, &MeasurementEdit::filesDropped, this, &SeriesActions::OpenDropped);
}

QString SeriesActions::RecoveryPath() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  if (folder.isEmpty()) return {};
  return QDir(folder).filePath(QStringLiteral("letzte-liste.txt"));
}

bool SeriesActions::Open(const QString& path) {
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
  int column = 0;
  if (file->ColumnCount() > 1) {
    QSettings settings(QStringLiteral("messwerte"), QStringLiteral("messwerte"));
    const QString key = ColumnKey(file->HeaderKey());
    const int remembered = key.isEmpty() ? 0 : settings.value(key, 0).toInt();
    const std::optional<int> chosen = ChooseColumn(path, *file, remembered);
    if (!chosen || *chosen < 0 || *chosen >= file->ColumnCount()) return false;
    column = *chosen;
    if (!key.isEmpty()) settings.setValue(key, column);
  }
  Busy busy;
  Replace(QString::fromUtf8(file->Lines(column)));
  Remember(path);
  return true;
}

void SeriesActions::OpenLater(const QString& path) {
  QTimer::singleShot(0, this, [this, path] { Open(path); });
}

bool SeriesActions::Save(const QString& path) {
  QByteArray bytes = list_.toPlainText().toUtf8();
  if (!bytes.isEmpty() && !bytes.endsWith('\n')) bytes += '\n';
  QString failure;
  if (!WriteWhole(path, bytes, &failure)) {
    ShowError(tr("Die Liste konnte nicht als %1 gespeichert werden. %2 Eine vorhandene Datei "
                 "dieses Namens bleibt unverändert.")
                  .arg(Quoted(path), failure));
    return false;
  }
  unchanged_revision_ = Revision();
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
  const QString path = RecoveryPath();
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    ShowError(tr("Die zuletzt gesicherte Liste %1 lässt sich nicht lesen.").arg(Quoted(path)));
    return false;
  }
  const QByteArray bytes = file.readAll();
  Busy busy;
  Replace(QString::fromUtf8(bytes));
  return true;
}

bool SeriesActions::KeepForRecovery() {
  if (Revision() == unchanged_revision_) return false;
  const QString text = list_.toPlainText();
  const QString path = RecoveryPath();
  if (!HoldsValues(text) || path.isEmpty()) return false;
  QString failure = QStringLiteral("Der Ordner lässt sich nicht anlegen.");
  if (!QDir().mkpath(QFileInfo(path).absolutePath()) ||
      !WriteWhole(path, text.toUtf8(), &failure)) {
    qWarning("messwerte: die Liste konnte nicht in %s gesichert werden: %s", qPrintable(path),
             qPrintable(failure));
    return false;
  }
  restore_->setVisible(true);
  return true;
}

std::uint64_t SeriesActions::Revision() { return list_.model().Revision(); }

void SeriesActions::Replace(const QString& text) {
  list_.selectAll();
  list_.InsertText(text);
  list_.SetSelection({}, {});
  unchanged_revision_ = Revision();
}

void SeriesActions::Remember(const QString& path) {
  const QFileInfo info(path);
  folder_ = info.absolutePath();
  file_name_ = info.completeBaseName();
}
