// Nothing lost: saves and the recovery file on a full disk, a read-only folder and past the
// file-size limit; a list kept while its window is open, a file for each window, the lists
// offered at start; files that are no regular files; memory running out; and the program ended
// by a signal. The full and read-only disks are small tmpfs mounts that the test makes (it runs
// as root; without the right to mount, those rows are skipped).

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <memory>

#ifdef MESSWERTE_TEST_XCB
#include <xcb/xcb.h>
#endif

#include "form1.h"
#include "measurement_edit.h"
#include "recovery.h"
#include "series_actions.h"
#include "window_harness.h"
#include "window_lifetime.h"

namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

bool Write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString Lines(int count) {
  QString text;
  for (int i = 0; i < count; ++i) text += QString::number(1000 + i) + '\n';
  return text;
}

// A tmpfs of `size` at `folder`, read-only when asked, taken away again by the destructor.
class Mount {
 public:
  Mount(const QString& folder, const char* options) : folder_(QFile::encodeName(folder)) {
    QDir().mkpath(folder);
    mounted_ = ::mount("messwerte-test", folder_.constData(), "tmpfs", 0, options) == 0;
  }
  ~Mount() {
    if (mounted_) ::umount2(folder_.constData(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  bool MakeReadOnly() {
    return ::mount(nullptr, folder_.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  QByteArray folder_;
  bool mounted_ = false;
};

// The limit on the size of a file this process writes, binding root as well, for as long as it
// lives.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    xfsz_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, xfsz_);
  }

 private:
  rlimit saved_{};
  void (*xfsz_)(int) = nullptr;
};

// The window in a process of its own, with a changed list, ended by the signal the test sends
// or by the window system destroying its window. It prints where it keeps the list and its
// window's id.
int RunWindowProcess(int argc, char* argv[]) {
  QStandardPaths::setTestModeEnabled(true);
  WindowApplication application(argc, argv);
  TForm1 window;
  window_lifetime::CloseWindowsOnSignals(application);
  window.show();
  window_lifetime::EndWhenDestroyed(application, window);
  window_lifetime::KeepListWhenDisplayLost(window);
  window.findChild<MeasurementEdit*>("Memo1")->setPlainText("7\n8");
  std::printf("%s\n%llu\n", qPrintable(window.files().RecoveryPath()),
              static_cast<unsigned long long>(window.winId()));
  std::fflush(stdout);
  return QApplication::exec();
}

}  // namespace

class WindowRecoveryTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void writeFailures_data();
  void writeFailures();
  void keptWhileOpenOneFileForEachWindow();
  void continuedTexts_data();
  void continuedTexts();
  void refusedKeptLists();
  void openRefusesWhatIsNoFile();
  void openRefusedWithoutMemory();
  void signalClosesAsAClose_data();
  void signalClosesAsAClose();
  void lostWindowKeepsItsList_data();
  void lostWindowKeepsItsList();

 private:
  std::unique_ptr<TForm1> Window() { return OpenWindow(errors_); }
  // The notice line's buttons whose text holds `part`.
  static QList<QPushButton*> Offered(TForm1& window, const QString& part) {
    QList<QPushButton*> buttons;
    for (QPushButton* button : window.notices().findChildren<QPushButton*>()) {
      if (button->isVisibleTo(&window.notices()) && button->text().contains(part)) {
        buttons << button;
      }
    }
    return buttons;
  }
  static MeasurementEdit& Memo(TForm1& window) {
    return *FindControl<MeasurementEdit>(window, "Memo1");
  }

  QTemporaryDir home_;
  std::unique_ptr<QTemporaryDir> data_;
  QStringList errors_;
};

void WindowRecoveryTest::initTestCase() {
  QVERIFY(home_.isValid());
  qputenv("HOME", QFile::encodeName(home_.path()));
  QStandardPaths::setTestModeEnabled(true);
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void WindowRecoveryTest::init() {
  QDir(SeriesActions::RecoveryFolder()).removeRecursively();
  data_ = std::make_unique<QTemporaryDir>();
  QVERIFY(data_->isValid());
}

void WindowRecoveryTest::cleanup() { data_.reset(); }

void WindowRecoveryTest::writeFailures_data() {
  QTest::addColumn<bool>("recovery");  // else a save
  QTest::addColumn<QString>("disk");
  QTest::addColumn<QString>("cause");
  for (const bool recovery : {false, true}) {
    const char* what = recovery ? "recovery, " : "save, ";
    QTest::addRow("%sfull disk", what) << recovery << "full"
                                       << "Der Datenträger ist voll.";
    QTest::addRow("%sfile-size limit", what)
        << recovery << "limit"
        << "Die Datei wäre größer, als das System zulässt.";
    QTest::addRow("%sread-only disk", what) << recovery << "read-only"
                                            << "Der Datenträger ist schreibgeschützt.";
  }
  QTest::addRow("recovery, folder is a file") << true << "file"
                                              << "ist kein Ordner.";
}

// A list of 20,000 lines (108 KB) fails where a list of two lines fitted; the file written
// before stays as it was, and the user reads why, in German.
void WindowRecoveryTest::writeFailures() {
  QFETCH(bool, recovery);
  QFETCH(QString, disk);
  QFETCH(QString, cause);
  const QString folder = recovery ? SeriesActions::RecoveryFolder() : data_->filePath("platte");
  std::unique_ptr<Mount> mount;
  if (disk == "file") {
    QDir().mkpath(QFileInfo(folder).absolutePath());
    QVERIFY(Write(folder, "kein Ordner"));
  } else if (disk != "limit") {
    mount = std::make_unique<Mount>(folder, "size=64k");
    if (!mount->mounted()) QSKIP("no right to mount a tmpfs");
  } else {
    QDir().mkpath(folder);
  }
  auto window = Window();
  MeasurementEdit& memo = Memo(*window);
  const QString old = QDir(folder).filePath("alt.txt");
  if (!recovery && disk != "file") QVERIFY(Write(old, "1\n2\n"));
  QByteArray kept;  // what the recovery file held before
  if (recovery && disk != "file" && disk != "read-only") {
    memo.setPlainText("1\n2");
    QTRY_VERIFY(QFile::exists(window->files().RecoveryPath()));
    kept = ReadAll(window->files().RecoveryPath());
    QCOMPARE(kept, QByteArray("1\n2"));
  }
  if (disk == "read-only") QVERIFY(mount->MakeReadOnly());

  const QString list = Lines(20000);
  std::unique_ptr<FileSizeLimit> limit;
  if (disk == "limit") limit = std::make_unique<FileSizeLimit>(16384);
  memo.setPlainText(list);
  if (recovery) {
    QTRY_VERIFY_WITH_TIMEOUT(!window->notices().text().isEmpty(), 3000);
    QVERIFY2(window->notices().text().contains(cause), qPrintable(window->notices().text()));
    QCOMPARE(Offered(*window, "speichern").size(), 1);  // to save by hand
    if (!kept.isEmpty()) QCOMPARE(ReadAll(window->files().RecoveryPath()), kept);
  } else {
    const QString target = QDir(folder).filePath("alt.txt");
    QVERIFY(!window->files().Save(target));
    QCOMPARE(errors_.size(), 1);
    QVERIFY2(errors_[0].contains(cause), qPrintable(errors_[0]));
    QVERIFY2(errors_[0].contains(target), qPrintable(errors_[0]));
    QCOMPARE(ReadAll(old), QByteArray("1\n2\n"));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"alt.txt"});
  }
  limit.reset();
  QCOMPARE(memo.toPlainText(), list);
  if (!recovery) QVERIFY(window->files().KeepForRecovery());  // the list still counts as changed
  CloseWindow(window);
  if (disk == "file") QFile::remove(folder);
}

// Each window keeps its list in a file of its own within two seconds of a change, and holds it
// while open; closed, the lists are offered at the next start, newest first, with their lines.
void WindowRecoveryTest::keptWhileOpenOneFileForEachWindow() {
  auto first = Window();
  auto second = Window();
  QElapsedTimer timer;
  timer.start();
  Memo(*first).setPlainText("1\n2\n3");
  QTest::keyClicks(&Memo(*second), "4");
  const QString first_path = first->files().RecoveryPath();
  const QString second_path = second->files().RecoveryPath();
  QVERIFY(first_path != second_path);
  QTRY_COMPARE_WITH_TIMEOUT(ReadAll(first_path), QByteArray("1\n2\n3"), 2500);
  QTRY_COMPARE_WITH_TIMEOUT(ReadAll(second_path), QByteArray("4"), 2500);
  qInfo("both lists kept after %lld ms", timer.elapsed());
  QVERIFY(recovery::Available(SeriesActions::RecoveryFolder()).isEmpty());  // held

  // Typing on keeps the newest text; a later start finds both.
  QTest::keyClicks(&Memo(*second), "5");
  QTRY_COMPARE_WITH_TIMEOUT(ReadAll(second_path), QByteArray("45"), 2500);
  first->close();
  QCOMPARE(recovery::Available(SeriesActions::RecoveryFolder()).size(), 1);
  QTest::qWait(20);
  second->close();
  const QList<recovery::KeptList> kept = recovery::Available(SeriesActions::RecoveryFolder());
  QCOMPARE(kept.size(), 2);
  QCOMPARE(kept[0].path, second_path);
  QCOMPARE(kept[0].lines, 1);
  QCOMPARE(kept[1].path, first_path);
  QCOMPARE(kept[1].lines, 3);
  CloseWindow(first);
  CloseWindow(second);

  auto third = Window();
  const QString notice = third->notices().text();
  QVERIFY2(notice.startsWith("2 Listen"), qPrintable(notice));
  const QList<QPushButton*> offered = Offered(*third, "wiederherstellen");
  QCOMPARE(offered.size(), 2);
  QVERIFY2(offered[1]->text().contains("3 Zeilen"), qPrintable(offered[1]->text()));
  offered[1]->click();
  QCOMPARE(Memo(*third).toPlainText(), QStringLiteral("1\n2\n3"));
  QCOMPARE(third->files().RecoveryPath(), first_path);
  QCOMPARE(recovery::Available(SeriesActions::RecoveryFolder()).size(), 1);
  // Saved, the list needs no keeping.
  QVERIFY(third->files().Save(data_->filePath("gespeichert.txt")));
  QVERIFY(!QFile::exists(first_path));
  CloseWindow(third);
  QVERIFY(errors_.isEmpty());
}

void WindowRecoveryTest::continuedTexts_data() {
  QTest::addColumn<QString>("before");
  QTest::addColumn<QString>("change");
  QTest::addColumn<QString>("after");  // the file then
  QTest::newRow("values before the last empty line") << "1\n2\n" << "insert" << "1\n2\n3\n4\n";
  QTest::newRow("values after the last line") << "1\n2" << "append" << "1\n2\n3\n4";
  QTest::newRow("values into a list with notes after it")
      << "1\n\nNotiz\n\n" << "insert" << "1\n3\n4\n\nNotiz\n\n";
  QTest::newRow("a middle line changed") << "1\n2\n3\n" << "second" << "1\n9\n3\n";
  QTest::newRow("the last line removed") << "1\n2\n3\n4" << "cut" << "1\n2\n3";
  QTest::newRow("values undone") << "1\n2\n" << "undo" << "1\n2\n";
  QTest::newRow("file removed meanwhile") << "1\n2\n" << "remove" << "1\n2\n3\n4\n";
  QTest::newRow("file changed meanwhile") << "1\n2\n" << "overwrite" << "1\n2\n3\n4\n";
  QTest::newRow("its only value removed") << "\n\n5" << "cut" << "\n\n5";
}

// A list kept once and changed at its end is kept by going on from the file's text; the file
// then holds what the list holds, and where it no longer holds what was written, the whole list
// is written again.
void WindowRecoveryTest::continuedTexts() {
  QFETCH(QString, before);
  QFETCH(QString, change);
  QFETCH(QString, after);
  auto window = Window();
  MeasurementEdit& memo = Memo(*window);
  ListModel& model = memo.model();
  memo.setPlainText(before);
  const QString path = window->files().RecoveryPath();
  window->files().KeepChanges();
  QTRY_COMPARE(ReadAll(path), before.toUtf8());
  if (change == "insert" || change == "undo" || change == "remove" || change == "overwrite") {
    model.InsertLines(memo.SeriesEndLine(), "3\n4", false);
  } else if (change == "append") {
    model.InsertLines(model.LineCount(), "3\n4", false);
  } else if (change == "second") {
    model.ReplaceLine(1, "9");
  } else if (change == "cut") {
    const int last = model.LineCount() - 2;
    model.Erase({last, static_cast<int>(model.Line(last).size())}, model.End());
  }
  if (change == "undo") {
    window->files().KeepChanges();
    QTRY_COMPARE(ReadAll(path), QByteArray("1\n2\n3\n4\n"));
    memo.undo();
  }
  if (change == "remove") QVERIFY(QFile::remove(path));
  if (change == "overwrite") QVERIFY(Write(path, "1\n2\n\n\n"));
  window->files().KeepChanges();
  QTRY_COMPARE(ReadAll(path), after.toUtf8());
  if (after != before) QCOMPARE(memo.toPlainText(), after);
  QVERIFY(window->notices().text().isEmpty());
  // The close goes on from the file's text as well.
  model.InsertLines(memo.SeriesEndLine(), "6", false);
  QVERIFY(window->files().KeepForRecovery());
  QCOMPARE(ReadAll(path), memo.toPlainText().toUtf8());
  CloseWindow(window);
}

// A kept list that is no text, or no regular file, is not restored; a named pipe blocks neither
// the start nor the restore.
void WindowRecoveryTest::refusedKeptLists() {
  const QDir folder(SeriesActions::RecoveryFolder());
  QVERIFY(folder.mkpath("."));
  const QString pipe = folder.filePath("liste-rohr.txt");
  QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  const QString binary = folder.filePath("liste-binaer.txt");
  QVERIFY(Write(binary, QByteArray("1\n\x93\xff\0\x02", 6)));
  const QString latin1 = folder.filePath("liste-latin1.txt");
  QVERIFY(Write(latin1, "Gr\xf6\xdf"
                        "e\n1\n"));
  auto window = Window();
  QCOMPARE(Offered(*window, "wiederherstellen").size(), 2);  // not the pipe
  Memo(*window).setPlainText("9");
  for (const QString& path : {pipe, binary, latin1}) {
    errors_.clear();
    QVERIFY(!window->files().Restore(path));
    QCOMPARE(errors_.size(), 1);
    QVERIFY2(errors_[0].contains("wird nicht wiederhergestellt"), qPrintable(errors_[0]));
  }
  QVERIFY(errors_[0].contains("UTF-8"));
  QCOMPARE(Memo(*window).toPlainText(), QStringLiteral("9"));
  CloseWindow(window);
}

void WindowRecoveryTest::openRefusesWhatIsNoFile() {
  const QString pipe = data_->filePath("rohr.txt");
  QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
  auto window = Window();
  Memo(*window).setPlainText("9");
  QElapsedTimer timer;
  timer.start();
  for (const QString& path : {pipe, QStringLiteral("/dev/zero")}) {
    errors_.clear();
    QVERIFY(!window->files().Open(path));
    QCOMPARE(errors_.size(), 1);
    QVERIFY2(errors_[0].contains("keine gewöhnliche Datei"), qPrintable(errors_[0]));
  }
  QVERIFY(timer.elapsed() < 1000);
  QCOMPARE(Memo(*window).toPlainText(), QStringLiteral("9"));
  CloseWindow(window);
}

// Out of memory, opening is refused with a message; the window and its list stay.
void WindowRecoveryTest::openRefusedWithoutMemory() {
#if defined(__SANITIZE_ADDRESS__)
  QSKIP("AddressSanitizer ends the program where memory runs out, before any bad_alloc");
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  QSKIP("AddressSanitizer ends the program where memory runs out, before any bad_alloc");
#endif
#endif
  const QString path = data_->filePath("gross.txt");
  QVERIFY(Write(path, Lines(6'000'000).toLatin1()));  // more than the room left
  auto window = Window();
  Memo(*window).setPlainText("9");
  QFile status("/proc/self/status");
  QVERIFY(status.open(QIODevice::ReadOnly));
  const QByteArray lines = status.readAll();
  const qsizetype at = lines.indexOf("VmSize:");
  QVERIFY(at >= 0);
  const rlim_t used =
      lines.mid(at + 7, lines.indexOf('\n', at) - at - 7).trimmed().split(' ')[0].toULongLong() *
      1024;
  rlimit saved{};
  QCOMPARE(getrlimit(RLIMIT_AS, &saved), 0);
  rlimit tight = saved;
  tight.rlim_cur = used + (rlim_t{40} << 20);
  QCOMPARE(setrlimit(RLIMIT_AS, &tight), 0);
  const bool opened = window->files().Open(path);
  setrlimit(RLIMIT_AS, &saved);
  QVERIFY(!opened);
  QCOMPARE(errors_.size(), 1);
  QVERIFY2(errors_[0].contains("Arbeitsspeicher"), qPrintable(errors_[0]));
  QCOMPARE(Memo(*window).toPlainText(), QStringLiteral("9"));
  CloseWindow(window);
}

void WindowRecoveryTest::signalClosesAsAClose_data() {
  QTest::addColumn<int>("signal");
  QTest::newRow("SIGTERM") << SIGTERM;
  QTest::newRow("SIGHUP") << SIGHUP;
  QTest::newRow("SIGINT") << SIGINT;
}

// The window runs in a process of its own; the signal comes long before the two seconds after
// which the list would be kept anyway, so it is the close that keeps it.
void WindowRecoveryTest::signalClosesAsAClose() {
  QFETCH(int, signal);
  QProcess window;
  window.start(QCoreApplication::applicationFilePath(), {"--fenster"});
  QVERIFY(window.waitForStarted());
  QVERIFY(window.waitForReadyRead(10000));
  const QString kept = QString::fromLocal8Bit(window.readLine()).trimmed();
  QVERIFY(!QFile::exists(kept));
  QCOMPARE(::kill(static_cast<pid_t>(window.processId()), signal), 0);
  QVERIFY(window.waitForFinished(5000));
  QCOMPARE(window.exitStatus(), QProcess::NormalExit);
  QCOMPARE(window.exitCode(), 0);
  QCOMPARE(ReadAll(kept), QByteArray("7\n8"));
  QFile::remove(kept);
}

void WindowRecoveryTest::lostWindowKeepsItsList_data() {
  QTest::addColumn<bool>("serverGone");  // else the window destroyed
  QTest::newRow("window destroyed") << false;
  QTest::newRow("X server gone") << true;  // Qt then ends the program with its own exit code
}

// On an X server of its own (Xvfb), another client destroys the window, as xdotool windowclose
// does, or the server ends.
void WindowRecoveryTest::lostWindowKeepsItsList() {
  QFETCH(bool, serverGone);
#ifndef MESSWERTE_TEST_XCB
  QSKIP("built without libxcb");
#elif defined(__SANITIZE_ADDRESS__)
  // The program built with AddressSanitizer takes longer to show its window on the test's own X
  // server than the test waits for it.
  QSKIP("too slow to start under AddressSanitizer");
#else
  const QString xvfb = QStandardPaths::findExecutable("Xvfb");
  if (xvfb.isEmpty()) QSKIP("Xvfb is not installed");
  const QString display = QStringLiteral(":%1").arg(100 + QCoreApplication::applicationPid() % 800);
  QProcess server;
  server.start(xvfb, {display, "-nolisten", "tcp"});
  QVERIFY(server.waitForStarted());
  xcb_connection_t* connection = nullptr;
  for (int tries = 0; tries < 50; ++tries) {
    connection = xcb_connect(display.toLatin1().constData(), nullptr);
    if (!xcb_connection_has_error(connection)) break;
    xcb_disconnect(connection);
    connection = nullptr;
    QTest::qWait(100);
  }
  QVERIFY(connection);
  QProcess window;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("DISPLAY", display);
  environment.insert("QT_QPA_PLATFORM", "xcb");
  window.setProcessEnvironment(environment);
  window.start(QCoreApplication::applicationFilePath(), {"--fenster"});
  QVERIFY(window.waitForStarted());
  QTRY_VERIFY_WITH_TIMEOUT(window.canReadLine() || (window.waitForReadyRead(100), false), 10000);
  const QString kept = QString::fromLocal8Bit(window.readLine()).trimmed();
  QTRY_VERIFY_WITH_TIMEOUT(window.canReadLine() || (window.waitForReadyRead(100), false), 5000);
  const auto id = static_cast<xcb_window_t>(window.readLine().trimmed().toULongLong());
  QVERIFY(id != 0);
  if (serverGone) {
    xcb_disconnect(connection);
    server.kill();
  } else {
    xcb_destroy_window(connection, id);
    xcb_flush(connection);
  }
  const bool ended = window.waitForFinished(5000);
  if (!serverGone) xcb_disconnect(connection);
  server.terminate();
  server.waitForFinished(5000);
  QVERIFY(ended);
  if (!serverGone) QCOMPARE(window.exitCode(), 0);
  QCOMPARE(ReadAll(kept), QByteArray("7\n8"));
  QFile::remove(kept);
#endif
}

int main(int argc, char* argv[]) {
  if (argc > 1 && qstrcmp(argv[1], "--fenster") == 0) return RunWindowProcess(argc, argv);
  QApplication application(argc, argv);
  WindowRecoveryTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "window_recovery_test.moc"
