#include <QApplication>
#include <QMessageBox>
#include <exception>
#include <memory>

#include "command_line.h"
#include "form1.h"

int main(int argc, char* argv[]) {
  // Help, version and evaluations need no window, and no display.
  const CommandLine command = RunCommandLine(argc, argv);
  if (command.exit_code) return *command.exit_code;

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("messwerte"));
  QApplication::setDesktopFileName(QStringLiteral("messwerte"));
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
