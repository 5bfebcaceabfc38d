#pragma once

#include <QApplication>

class TForm1;

// Ends of the program that do not come through the window's close button.
namespace window_lifetime {

// SIGTERM, SIGHUP and SIGINT (a logout without a session manager, a closed terminal, Ctrl+C)
// close every window as the user would, so that each keeps its list, and then end the event
// loop. A signal ignored when the program started stays ignored.
void CloseWindowsOnSignals(QCoreApplication& application);

// A window that the window system destroys (xdotool windowclose, a killed frame) keeps its list
// as a close would, and the program ends.
void EndWhenDestroyed(QCoreApplication& application, TForm1& window);

// When the connection to the X server breaks, Qt says so and ends the program at once; the
// window keeps its list first. Until the window is destroyed.
void KeepListWhenDisplayLost(TForm1& window);

}  // namespace window_lifetime

// The window program's application: an operation that runs out of memory, or fails with any
// other exception, is refused with a message instead of letting the exception cross the event
// loop, which would end the program and lose the list.
class WindowApplication : public QApplication {
 public:
  WindowApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  bool notify(QObject* receiver, QEvent* event) override;
};
