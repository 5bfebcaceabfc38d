// The desktop helpers that need no window: what a screen reader hears of the list, and where a
// window frame is placed on a screen.

#include "desktop.h"

#include <gtest/gtest.h>

#include <QPoint>
#include <QRect>
#include <QString>
#include <ostream>

namespace {

struct Described {
  const char* name;
  int values;
  int lines;
  const char* description;
  friend void PrintTo(const Described& c, std::ostream* os) { *os << c.name; }
};

class SeriesDescription : public testing::TestWithParam<Described> {};

TEST_P(SeriesDescription, NamesTheValuesAndWhereTheyEnd) {
  const Described& c = GetParam();
  EXPECT_EQ(desktop::SeriesDescription(c.values, c.lines).toStdString(), c.description);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, SeriesDescription,
    testing::Values(
        Described{"EmptyList", 0, 1, "Keine Messwerte"},
        Described{"EmptyFirstLineValuesAfterIt", 0, 4, "Keine Messwerte, Ende in Zeile 1"},
        Described{"OneValueThenAnEmptyLine", 1, 2, "1 Messwert, Ende in Zeile 2"},
        Described{"ThreeValuesThenAnEmptyLine", 3, 4, "3 Messwerte, Ende in Zeile 4"},
        Described{"ValuesToTheLastLine", 3, 3, "3 Messwerte"}));

struct Placing {
  const char* name;
  QRect available;
  QRect frame;
  QPoint place;
  friend void PrintTo(const Placing& c, std::ostream* os) { *os << c.name; }
};

class PlaceInside : public testing::TestWithParam<Placing> {};

TEST_P(PlaceInside, MovesTheFrameJustFarEnoughToFit) {
  const Placing& c = GetParam();
  EXPECT_EQ(desktop::PlaceInside(c.available, c.frame), c.place);
}

const QRect kFullHd(0, 0, 1920, 1040);
const QRect kDesigned(179, 125, 700, 480);

INSTANTIATE_TEST_SUITE_P(
    Screens, PlaceInside,
    testing::Values(
        Placing{"FitsWhereDesigned", kFullHd, kDesigned, QPoint(179, 125)},
        Placing{"BelowTheBottom", QRect(0, 0, 960, 520), kDesigned, QPoint(179, 40)},
        Placing{"PastTheRightEdge", QRect(0, 0, 800, 600), kDesigned, QPoint(100, 120)},
        Placing{"LargerThanTheScreen", QRect(0, 30, 640, 400), kDesigned, QPoint(0, 30)},
        Placing{"PanelOnTheLeftAndTop", QRect(48, 32, 1872, 1048), QRect(20, 10, 700, 480),
                QPoint(48, 32)},
        Placing{"SecondScreen", QRect(1920, 0, 1280, 1024), QRect(3000, 125, 700, 480),
                QPoint(2500, 125)}));

}  // namespace
