#include "reading_notes.h"

namespace series {
namespace {

QString Number(std::int64_t n) { return QString::number(n); }

}  // namespace

QStringList LeftOut(const Tally& tally) {
  QStringList notes;
  if (tally.comments == 1) {
    notes.append(QStringLiteral("Eine Kommentarzeile (#) in Zeile %1 übersprungen.")
                     .arg(Number(tally.first_comment)));
  } else if (tally.comments > 1) {
    notes.append(QStringLiteral("%1 Kommentarzeilen (#) übersprungen, die erste in Zeile %2.")
                     .arg(Number(tally.comments), Number(tally.first_comment)));
  }
  if (tally.gaps == 1) {
    notes.append(
        QStringLiteral("Eine leere Zelle in Zeile %1 übersprungen.").arg(Number(tally.first_gap)));
  } else if (tally.gaps > 1) {
    notes.append(QStringLiteral("%1 leere Zellen übersprungen, die erste in Zeile %2.")
                     .arg(Number(tally.gaps), Number(tally.first_gap)));
  }
  if (tally.after_end == 1) {
    notes.append(QStringLiteral("Die Leerzeile in Zeile %1 beendet die Messreihe; Zeile %2 danach "
                                "wird nicht ausgewertet.")
                     .arg(Number(tally.end_line), Number(tally.first_after_end)));
  } else if (tally.after_end > 1) {
    notes.append(QStringLiteral("Die Leerzeile in Zeile %1 beendet die Messreihe; %2 Zeilen danach "
                                "(Zeile %3 bis %4) werden nicht ausgewertet.")
                     .arg(Number(tally.end_line), Number(tally.after_end),
                          Number(tally.first_after_end), Number(tally.last_after_end)));
  }
  return notes;
}

QString DecimalName(char decimal) {
  return decimal == ',' ? QStringLiteral("Komma") : QStringLiteral("Punkt");
}

QString DecimalNote(const Layout& layout, char locale_decimal, bool converted) {
  if (!layout.decimal_found || layout.decimal_chosen || layout.decimal == locale_decimal) return {};
  if (converted) {
    return QStringLiteral("Die Datei schreibt Zahlen mit %1; in der Liste stehen sie mit %2.")
        .arg(DecimalName(layout.decimal), DecimalName(locale_decimal));
  }
  return QStringLiteral("Die Datei schreibt Zahlen mit %1 als Dezimalzeichen, nicht mit %2; sie "
                        "sind so gelesen.")
      .arg(DecimalName(layout.decimal), DecimalName(locale_decimal));
}

}  // namespace series

namespace series {

QString OpenedNote(const QString& file_name, const QStringList& names, int column,
                   const Layout& layout, const Tally& tally, char locale_decimal) {
  QStringList parts;
  QString opened = QStringLiteral("„%1“ geöffnet").arg(file_name);
  if (layout.columns > 1) {
    opened += QStringLiteral(": Spalte %1 „%2“ von %3")
                  .arg(QString::number(column + 1), names.value(column),
                       QString::number(layout.columns));
  }
  if (layout.header) {
    opened += (layout.columns > 1 ? QStringLiteral(", ") : QStringLiteral(": ")) +
              QStringLiteral("Kopfzeile in Zeile %1").arg(QString::number(layout.header_line));
  }
  parts.append(opened + u'.');
  const QString decimal = DecimalNote(layout, locale_decimal, true);
  if (!decimal.isEmpty()) parts.append(decimal);
  parts.append(LeftOut(tally));
  return parts.join(u' ');
}

}  // namespace series
