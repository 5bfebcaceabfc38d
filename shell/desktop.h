#pragma once

#include <QFont>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

class QCoreApplication;
class QLocale;

// What the window needs to be at home on a desktop: where it stands, which font fits its
// captions, how it describes the list, and Qt's own texts in the user's language.
namespace desktop {

// The top-left corner for a window frame: where it stands if the frame fits there into the
// screen's available area, otherwise moved just far enough to fit; a frame larger than the
// area keeps its top-left corner inside it.
QPoint PlaceInside(const QRect& available, const QRect& frame);

// A caption and the width it has to fit into.
struct Caption {
  QString text;
  int room;
};

// `font` where every caption fits; otherwise the largest size, in half points, at which they
// fit in its family or in an installed condensed family, the family first.
QFont FittingFont(const QFont& font, const QList<Caption>& captions);

// "3 Messwerte, Ende in Zeile 4": how many lines count and the line (from 1) where they end;
// the end is named where any line follows the values.
QString SeriesDescription(int values, int line_count);

// Loads Qt's own translations (context menus, dialog buttons) for a German locale; true when
// they are installed.
bool InstallQtTranslations(QCoreApplication& application, const QLocale& locale);

}  // namespace desktop
