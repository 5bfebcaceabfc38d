#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "desktop.h"
#include "command_line.h"
#include "form1.h"

namespace {

// Qt ends the program when it finds no window system to show the window on, and no message box
// can be shown then: the user reads why on standard error, and the exit code says it failed.
void ExitWithoutDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    return;
  }
  std::fputs(
      "Messwerte Auswerten: Es ist keine grafische Anzeige erreichbar, das Fenster kann nicht "
      "geöffnet werden.\nBitte in einer grafischen Sitzung starten (DISPLAY oder WAYLAND_DISPLAY "
      "muss gesetzt sein).\n",
      stderr);
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace

int main(int argc, char* argv[]) {
  // Help, version and evaluations need no window, and no display.
  const CommandLine command = RunCommandLine(argc, argv);
  if (command.exit_code) return *command.exit_code;

  qInstallMessageHandler(ExitWithoutDisplay);
  QApplication application(argc, argv);
  qInstallMessageHandler(nullptr);
  QApplication::setApplicationName(QStringLiteral("messwerte"));
  QApplication::setDesktopFileName(QStringLiteral("de.messwerteauswerten.messwerte"));
  desktop::InstallQtTranslations(application, QLocale::system());
  QString error;
  try {
    auto window = std::make_unique<TForm1>();
    Form1 = window.get();
    window->show();
    if (!command.open_path.isEmpty()) window->OpenAtStart(command.open_path);
    QApplication::exec();
    Form1 = nullptr;
    return 0;
  } catch (const std::exception& e) {
    error = QString::fromUtf8(e.what());
  } catch (...) {
  }
  Form1 = nullptr;
  QMessageBox::critical(nullptr, QStringLiteral("Messwerte Auswerten"), error);
  return 0;
}
