// Grabs the window (offscreen) in two states of its list, for comparing builds pixel by pixel:
//   window_grab DIR   writes DIR/selection.png and DIR/caret.png
// The list holds values, a blank line that ends the series and text after it.

#include <QApplication>
#include <QDir>
#include <QImage>
#include <cstdio>

#include "form1.h"
#include "measurement_edit.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: window_grab DIR\n");
    return 2;
  }
  const QDir dir(QString::fromLocal8Bit(argv[1]));
  TForm1 window;
  window.show();
  QApplication::setActiveWindow(&window);
  auto* memo = window.findChild<MeasurementEdit*>("Memo1");
  memo->setFocus();
  memo->setPlainText(QStringLiteral("12,5\n-3,25\n1e3 7\n\nNotiz: Ende\n\u00e4\u00f6\u00fc 42"));
  QApplication::processEvents();
  int failed = 0;
  const auto grab = [&](const char* name) {
    QApplication::processEvents();
    if (!window.grab().toImage().save(dir.filePath(QString::fromLatin1(name)))) ++failed;
  };
  memo->SetSelection({0, 2}, {2, 3});
  grab("selection.png");
  memo->SetSelection({1, 3}, {1, 3});
  grab("caret.png");
  return failed;
}
