#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <memory>

#include "form1.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("messwerte"));
  QApplication::setDesktopFileName(QStringLiteral("messwerte"));
  QString error;
  try {
    auto window = std::make_unique<TForm1>();
    Form1 = window.get();
    window->show();
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
