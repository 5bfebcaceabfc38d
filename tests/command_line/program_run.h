#pragma once

// The program run as a process, as a user's shell runs it, with files of the test's own.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

struct ProgramRun {
  int exit_code;  // -1 where the program did not start or crashed
  QString out;
  QString err;
};

// This environment with LANG alone choosing the language, and no display at all: the command
// line must not need one.
inline QProcessEnvironment WithoutDisplay(const QString& lang) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("LC_ALL"));
  environment.remove(QStringLiteral("LC_NUMERIC"));
  environment.insert(QStringLiteral("LANG"), lang);
  environment.remove(QStringLiteral("DISPLAY"));
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
  environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
  return environment;
}

inline ProgramRun RunProgram(const QStringList& arguments, const QProcessEnvironment& environment,
                             const QByteArray& input = {}) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(QStringLiteral(MESSWERTE_PROGRAM), arguments);
  if (!process.waitForStarted()) return {-1, {}, process.errorString()};
  process.write(input);
  process.closeWriteChannel();
  process.waitForFinished(60000);
  return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
          QString::fromUtf8(process.readAllStandardOutput()),
          QString::fromUtf8(process.readAllStandardError())};
}

class ScratchFolder {
 public:
  QString Path(const QString& name) const { return dir_.filePath(name); }
  QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = Path(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
      qFatal("cannot write %s", qPrintable(path));
    return path;
  }

 private:
  QTemporaryDir dir_;
};
