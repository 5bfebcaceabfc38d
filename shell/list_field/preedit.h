#pragma once

#include <QList>
#include <QString>
#include <QTextLayout>

// What the input method composes at the caret: shown there, not yet part of the text.
struct Preedit {
  QString text;
  QList<QTextLayout::FormatRange> formats;  // counted from the preedit's start
  int cursor = 0;                           // into `text`
  bool cursor_shown = true;
};
