// The program's entry. The command line needs QtCore only; the window, with QtGui and
// QtWidgets, is a module loaded only when it is shown, so that help, version and evaluations
// start fast and small, without a display.

#include <QByteArray>
#include <QString>
#include <cstdio>

#include "command_line.h"
#include "modules.h"

namespace {

using WindowEntry = int (*)(int argc, char* argv[], const char* open_path);
using PlotEntry = int (*)(int argc, char* argv[], const char* image, const char* path, int column);

}  // namespace

int main(int argc, char* argv[]) {
  const CommandLine command = RunCommandLine(argc, argv);
  if (command.exit_code) return *command.exit_code;

  // --diagramm draws without a display, on Qt's offscreen platform.
  const bool plot = !command.plot_image.isEmpty();
  if (plot) qputenv("QT_QPA_PLATFORM", "offscreen");
  QString reason;
  const QString module = QStringLiteral("messwerte-fenster");
  if (plot) {
    if (const auto draw =
            reinterpret_cast<PlotEntry>(ModuleEntry(module, "MesswertePlotImage", &reason))) {
      return draw(argc, argv, command.plot_image.toUtf8().constData(),
                  command.open_path.toUtf8().constData(), command.plot_column);
    }
  } else if (const auto show =
                 reinterpret_cast<WindowEntry>(ModuleEntry(module, "MesswerteWindow", &reason))) {
    const QByteArray path = command.open_path.toUtf8();
    return show(argc, argv, command.open_path.isEmpty() ? nullptr : path.constData());
  }
  std::fprintf(stderr, "Messwerte Auswerten: Das Fenster kann nicht geladen werden (%s).\n",
               qPrintable(reason));
  return plot ? 2 : 1;
}
