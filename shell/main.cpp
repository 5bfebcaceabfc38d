#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "desktop.h"
#include "form1.h"
#include "window_lifetime.h"

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

// The window program, in a module of its own that launcher.cpp loads; `open_path` (UTF-8) names
// a file for the list, or is null.
extern "C" Q_DECL_EXPORT int MesswerteWindow(int argc, char* argv[], const char* open_path) {
  qInstallMessageHandler(ExitWithoutDisplay);
  WindowApplication application(argc, argv);
  qInstallMessageHandler(nullptr);
  QApplication::setApplicationName(QStringLiteral("messwerte"));
  QApplication::setDesktopFileName(QStringLiteral("de.messwerteauswerten.messwerte"));
  desktop::InstallQtTranslations(application, QLocale::system());
  QString error;
  try {
    auto window = std::make_unique<TForm1>();
    Form1 = window.get();
    window_lifetime::CloseWindowsOnSignals(application);
    window->show();
    window_lifetime::EndWhenDestroyed(application, *window);
    window_lifetime::KeepListWhenDisplayLost(*window);
    if (open_path) window->OpenAtStart(QString::fromUtf8(open_path));
    QApplication::exec();
    Form1 = nullptr;
    return 0;
  } catch (const std::exception& e) {
    error = QString::fromUtf8(e.what());
  } catch (...) {
  }
  Form1 = nullptr;
  QMessageBox::critical(nullptr, QStringLiteral("Messwerte Auswerten"), error);
  return 1;
}
