// The program's entry. The command line needs QtCore only; the window, with QtGui and
// QtWidgets, is a module loaded only when it is shown, so that help, version and evaluations
// start fast and small, without a display.

#include <QLibrary>
#include <QStringList>
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
  for (const QString& candidate : ModuleCandidates(QStringLiteral("messwerte-fenster"))) {
    QLibrary module(candidate);
    if (plot) {
      const auto draw = reinterpret_cast<PlotEntry>(module.resolve("MesswertePlotImage"));
      if (draw) {
        return draw(argc, argv, command.plot_image.toUtf8().constData(),
                    command.open_path.toUtf8().constData(), command.plot_column);
      }
      if (reason.isEmpty()) reason = module.errorString();
      continue;
    }
    const auto entry = reinterpret_cast<WindowEntry>(module.resolve("MesswerteWindow"));
    if (entry) {
      const QByteArray path = command.open_path.toUtf8();
      return entry(argc, argv, command.open_path.isEmpty() ? nullptr : path.constData());
    }
    if (reason.isEmpty()) reason = module.errorString();
  }
  std::fprintf(stderr, "Messwerte Auswerten: Das Fenster kann nicht geladen werden (%s).\n",
               qPrintable(reason));
  return plot ? 2 : 1;
}
