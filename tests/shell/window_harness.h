#pragma once

#include <QLocale>
#include <QStringList>
#include <QtTest>
#include <memory>

#include "form1.h"

// The real window, shown offscreen, with the errors it reports collected instead of shown.
inline std::unique_ptr<TForm1> OpenWindow(QStringList& errors) {
  errors.clear();
  auto window = std::make_unique<TForm1>();
  window->ShowError = [&errors](const QString& message) { errors << message; };
  window->show();
  return window;
}

// The window's control of the given name; a missing control ends the test program.
template <class T>
T* FindControl(QWidget& window, const QString& name) {
  T* widget = window.findChild<T*>(name);
  if (!widget) qFatal("no control %s", qPrintable(name));
  return widget;
}

// The height the menu bar adds above the designed area of 688 × 446.
inline int MenuHeight(TForm1& window) { return window.designedArea().geometry().top(); }

// Closes the window and puts back the locale that the window tests pin.
inline void CloseWindow(std::unique_ptr<TForm1>& window) {
  window.reset();
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}
