#include "desktop.h"

#include <QCoreApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <algorithm>

namespace desktop {

namespace {

int Fit(int position, int length, int start, int room) {
  return std::max(start, std::min(position, start + room - length));
}

bool AllFit(const QFont& font, const QList<Caption>& captions) {
  const QFontMetricsF metrics(font);
  return std::all_of(captions.begin(), captions.end(), [&](const Caption& caption) {
    return metrics.horizontalAdvance(caption.text) <= caption.room;
  });
}

}  // namespace

QPoint PlaceInside(const QRect& available, const QRect& frame) {
  return {Fit(frame.x(), frame.width(), available.x(), available.width()),
          Fit(frame.y(), frame.height(), available.y(), available.height())};
}

QFont FittingFont(const QFont& font, const QList<Caption>& captions) {
  if (AllFit(font, captions) || font.pointSizeF() <= 0) return font;
  QList<QFont> candidates{font};
  for (const QString& family :
       {QStringLiteral("Liberation Sans Narrow"), QStringLiteral("DejaVu Sans Condensed"),
        QStringLiteral("Nimbus Sans Narrow"), QStringLiteral("Arial Narrow")}) {
    QFont condensed(font);
    condensed.setFamilies({family});
    if (QFontInfo(condensed).family() == family) candidates << condensed;
  }
  // The largest size that fits, in the family as it is before a condensed one.
  constexpr qreal kSmallest = 5;
  for (qreal size = font.pointSizeF(); size > kSmallest; size -= 0.5) {
    for (QFont& candidate : candidates) {
      candidate.setPointSizeF(size);
      if (AllFit(candidate, captions)) return candidate;
    }
  }
  QFont smallest(candidates.back());
  smallest.setPointSizeF(kSmallest);
  return smallest;
}

QString SeriesDescription(int values, int line_count) {
  QString text = values == 0   ? QStringLiteral("Keine Messwerte")
                 : values == 1 ? QStringLiteral("1 Messwert")
                               : QStringLiteral("%1 Messwerte").arg(values);
  const bool empty_list = values == 0 && line_count <= 1;
  if (values < line_count && !empty_list) {
    text += QStringLiteral(", Ende in Zeile %1").arg(values + 1);
  }
  return text;
}

bool InstallQtTranslations(QCoreApplication& application, const QLocale& locale) {
  if (locale.language() != QLocale::German) return false;
  auto* translator = new QTranslator(&application);
  if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace desktop
