#include "window_lifetime.h"

#include <QAbstractNativeEventFilter>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <new>

#include "form1.h"

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#endif

#if __has_include(<xcb/xproto.h>)
#include <xcb/xproto.h>
#define MESSWERTE_HAS_XCB 1
#endif

namespace window_lifetime {

namespace {

#ifdef Q_OS_UNIX
// The one way from a signal handler into the event loop: the handler writes a byte, the loop
// reads it. A handler can reach no object, so the socket's ends are the process's own.
int signal_socket[2] = {-1, -1};

extern "C" void OnEndingSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(signal_socket[1], &byte, 1);
  errno = saved;
}
#endif

#ifdef MESSWERTE_HAS_XCB
class DestroyWatch : public QAbstractNativeEventFilter {
 public:
  explicit DestroyWatch(TForm1& window) : window_(window) {}
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_DESTROY_NOTIFY) return false;
    const auto* destroyed = static_cast<const xcb_destroy_notify_event_t*>(message);
    if (!window_.testAttribute(Qt::WA_WState_Created) || destroyed->window != window_.winId()) {
      return false;
    }
    window_.KeepList();
    QCoreApplication::exit(0);
    return false;
  }

 private:
  TForm1& window_;
};
#endif

// Qt's message handler is one function for the whole process, so the window it keeps is too.
TForm1* window_to_keep = nullptr;
QtMessageHandler earlier_handler = nullptr;

void KeepOnLostDisplay(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (window_to_keep && type == QtWarningMsg &&
      text.startsWith(QLatin1String("The X11 connection broke"))) {
    window_to_keep->KeepList();
  }
  if (earlier_handler) {
    earlier_handler(type, context, text);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
  }
}

}  // namespace

void KeepListWhenDisplayLost(TForm1& window) {
  window_to_keep = &window;
  earlier_handler = qInstallMessageHandler(KeepOnLostDisplay);
  QObject::connect(&window, &QObject::destroyed, [] {
    window_to_keep = nullptr;
    qInstallMessageHandler(earlier_handler);
  });
}

void CloseWindowsOnSignals(QCoreApplication& application) {
#ifdef Q_OS_UNIX
  if (signal_socket[0] < 0 &&
      ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signal_socket) != 0) {
    std::perror("messwerte: socketpair");
    return;
  }
  auto* notifier = new QSocketNotifier(signal_socket[0], QSocketNotifier::Read, &application);
  QObject::connect(notifier, &QSocketNotifier::activated, &application, [] {
    char bytes[16];
    while (::read(signal_socket[0], bytes, sizeof bytes) > 0) {
    }
    QApplication::closeAllWindows();
    QCoreApplication::exit(0);
  });
  for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
    struct sigaction old {};
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
  }
#else
  Q_UNUSED(application);
#endif
}

void EndWhenDestroyed(QCoreApplication& application, TForm1& window) {
#ifdef MESSWERTE_HAS_XCB
  auto* watch = new DestroyWatch(window);
  application.installNativeEventFilter(watch);
  QObject::connect(&window, &QObject::destroyed, &application, [&application, watch] {
    application.removeNativeEventFilter(watch);
    delete watch;
  });
#else
  Q_UNUSED(application);
  Q_UNUSED(window);
#endif
}

}  // namespace window_lifetime

bool WindowApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::bad_alloc&) {
    try {
      QMessageBox::critical(
          activeWindow(), QStringLiteral("Messwerte Auswerten"),
          QStringLiteral("Für diesen Schritt reicht der Arbeitsspeicher nicht; er wurde "
                         "abgebrochen. Das Fenster bleibt offen, und die Liste wird weiter "
                         "gesichert."));
    } catch (...) {
      std::fputs("messwerte: Für diesen Schritt reicht der Arbeitsspeicher nicht.\n", stderr);
    }
    return false;
  } catch (const std::exception& e) {
    QMessageBox::critical(activeWindow(), QStringLiteral("Messwerte Auswerten"),
                          QStringLiteral("Der Schritt wurde abgebrochen: %1")
                              .arg(QString::fromUtf8(e.what())));
    return false;
  }
}
