// Each line of an unchanged text is converted once and its value reused by later reads and later
// presses. A list changed between two presses must give the second press the changed values: it
// is checked against the values worked out here from the changed text, so nothing kept from an
// earlier press may leak into a later one.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "evaluation.h"
#include "exception.h"
#include "fake_window.h"
#include "measurement_list.h"
#include "number_text.h"

namespace messwerte {
namespace {

// A fake window that answers a press with its writes, then its error message if it failed.
struct Window : FakeWindow {
  using FakeWindow::FakeWindow;
  Writes Press(Operation operation) {
    writes.clear();
    try {
      operation(form, state);
    } catch (const Exception& error) {
      writes.emplace_back("error", error.what());
    }
    return writes;
  }
};

struct Change {
  const char* name;
  const char* before;
  int line;
  const char* text;  // what line `line` becomes between the presses
  // Names the row in a failure and in the test list.
  friend void PrintTo(const Change& c, std::ostream* os) { *os << c.name; }
};

const Change kChanges[] = {
    {"ValueChanged", "2\n4\n6\n", 1, "40"},      {"LastValueChanged", "1.5\n2.5\n3.5", 2, "-7.25"},
    {"ValueBecomesBad", "2\n4\n6\n", 2, "x"},    {"BadValueMended", "2\nx\n6\n", 1, "4"},
    {"ValueEmptied", "2\n4\n6\n8", 2, ""},       {"FirstValueChanged", "5\n5\n", 0, "1e30"},
    {"ValueOutOfRange", "1\n2\n3\n", 0, "1e39"},
};

const Operation kOperations[] = {btnMittelwertClick,     btnquadr_MittelwertClick,
                                 btnGroessterMesswClick, brnKleinsterMesswClick,
                                 btnAbweichungClick,     btnAnzahlClick};

// What the mean and the two scans must show for a list, worked out line by line here: the first
// bad line's number, or the mean and the extremes as the fields show them.
struct Expected {
  int bad_line = 0;  // from 1; 0 when every value converts
  std::string mean, largest, smallest;
};

Expected Evaluate(const std::string& text) {
  LineList list(text);
  Expected expected;
  long double sum = 0;
  float largest = 0, smallest = 0;
  int n = 0;
  for (std::string_view line = list.ReadLine(0); !line.empty(); line = list.ReadLine(++n)) {
    const ParseResult result = ParseNumber(line, '.');
    if (result.status != ParseStatus::kOk || !std::isfinite(static_cast<float>(result.value))) {
      expected.bad_line = n + 1;
      return expected;
    }
    const float value = static_cast<float>(result.value);
    if (n == 0 || value > largest) largest = value;
    if (n == 0 || value < smallest) smallest = value;
    sum += result.value;
  }
  expected.mean = FloatToStr(n ? static_cast<float>(sum / n) : 0.0f, '.');
  if (n) {
    expected.largest = FloatToStr(largest, '.');
    expected.smallest = FloatToStr(smallest, '.');
  }
  return expected;
}

// The text the press wrote last into `field`, or its error.
std::string Shown(const Writes& writes, const std::string& field) {
  std::string shown;
  for (const auto& [name, text] : writes)
    if (name == field || name == "error") shown = name == "error" ? "error: " + text : text;
  return shown;
}

class PressValues : public testing::TestWithParam<Change> {};

TEST_P(PressValues, ALaterPressSeesTheChangedList) {
  const Change& change = GetParam();
  const struct {
    Operation operation;
    const char* field;
    std::string Expected::*value;
  } checks[] = {
      {btnMittelwertClick, "edtMittelwert", &Expected::mean},
      {btnGroessterMesswClick, "edtGroessterMessw", &Expected::largest},
      {brnKleinsterMesswClick, "edtKleinsterMessw", &Expected::smallest},
  };
  for (const Operation first : kOperations) {
    for (const auto& check : checks) {
      Window window(change.before);
      window.Press(first);
      window.list.ReplaceLine(change.line, change.text);
      const Expected expected = Evaluate(window.list.Text());
      const std::string shown = Shown(window.Press(check.operation), check.field);
      if (expected.bad_line) {
        EXPECT_NE(shown.find("(Zeile " + std::to_string(expected.bad_line) + ")"),
                  std::string::npos)
            << check.field << ": " << shown;
      } else if (!(expected.*check.value).empty()) {
        EXPECT_EQ(shown, expected.*check.value) << check.field;
      }
    }
  }
}

TEST_P(PressValues, RepeatedPressesAgree) {
  const Change& change = GetParam();
  for (const Operation operation : kOperations) {
    Window window(change.before);
    const Writes once = window.Press(operation);
    EXPECT_EQ(window.Press(operation), once);
    Window other(change.before);
    EXPECT_EQ(other.Press(operation), once);
  }
}

TEST(KeptValues, BelongToOneListAndOneSeparator) {
  Window a("1,5\n2,5"), b("10\n20");
  a.form.Dezimaltrenner = ',';
  EXPECT_EQ(Shown(a.Press(btnMittelwertClick), "edtMittelwert"), "2");
  EXPECT_EQ(Shown(b.Press(btnMittelwertClick), "edtMittelwert"), "15");
  EXPECT_EQ(Shown(a.Press(btnGroessterMesswClick), "edtGroessterMessw"), "2,5");
  a.form.Dezimaltrenner = '.';
  EXPECT_EQ(Shown(a.Press(btnMittelwertClick), "edtMittelwert"),
            "error: '1,5' ist kein gültiger Gleitkommawert (Zeile 1).");
  a.form.Dezimaltrenner = ',';
  EXPECT_EQ(Shown(a.Press(brnKleinsterMesswClick), "edtKleinsterMessw"), "1,5");
}

// A list that counts the lines read from it.
class CountingList final : public MeasurementList {
 public:
  explicit CountingList(std::string text) : lines_(std::move(text)) {}
  std::string_view ReadLine(int k) override {
    ++reads;
    return lines_.ReadLine(k);
  }
  void ReplaceLine(int k, std::string_view text) override { lines_.ReplaceLine(k, text); }
  std::uint64_t Revision() override { return lines_.Revision(); }
  int reads = 0;

 private:
  LineList lines_;
};

// Two windows, each with its list and its kept values: pressing in one converts none of the
// other's lines again, whichever order the presses come in.
TEST(KeptValues, BelongToTheWindowThatOwnsThem) {
  struct CountingWindow {
    explicit CountingWindow(std::string text) : list(std::move(text)) {}
    CountingList list;
    Writes writes;
    RecordingField a{"a", writes}, b{"b", writes}, c{"c", writes}, d{"d", writes}, e{"e", writes},
        f{"f", writes};
    KeptValues kept;
    Form form{list, a, b, c, d, e, f, '.', kept};
    Auswertung state;
  } first("1\n2\n3"), second("10\n20");
  for (const Operation operation :
       {btnMittelwertClick, btnGroessterMesswClick, brnKleinsterMesswClick, btnAbweichungClick,
        btnquadr_MittelwertClick}) {
    btnMittelwertClick(first.form, first.state);
    btnMittelwertClick(second.form, second.state);
    first.list.reads = second.list.reads = 0;
    operation(first.form, first.state);
    operation(second.form, second.state);
    EXPECT_EQ(first.list.reads, 0);
    EXPECT_EQ(second.list.reads, 0);
  }
  EXPECT_EQ(first.writes.back(), (std::pair<std::string, std::string>{"c", "2.16024684906006"}));
  EXPECT_EQ(second.writes.back(), (std::pair<std::string, std::string>{"c", "15.8113880157471"}));
}

INSTANTIATE_TEST_SUITE_P(Changes, PressValues, testing::ValuesIn(kChanges),
                         [](const testing::TestParamInfo<Change>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace messwerte
