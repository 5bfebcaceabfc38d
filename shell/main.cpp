#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <memory>

#include "form1.h"

// The window program, in a module of its own that launcher.cpp loads; `open_path` (UTF-8) names
// a file for the list, or is null.
extern "C" Q_DECL_EXPORT int MesswerteWindow(int argc, char* argv[], const char* open_path) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("messwerte"));
  QApplication::setDesktopFileName(QStringLiteral("messwerte"));
  QString error;
  try {
    auto window = std::make_unique<TForm1>();
    Form1 = window.get();
    window->show();
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
  return 0;
}
