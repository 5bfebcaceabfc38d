#include "list_model.h"

#include <gtest/gtest.h>

#include <deque>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

using Merge = ListModel::Merge;

// What the listener heard of one change, the removed lines copied.
struct Heard {
  int first;
  std::vector<std::string> removed;
  int inserted;
  bool operator==(const Heard&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Heard& heard) {
  out << "{" << heard.first << ", {";
  for (const std::string& line : heard.removed) out << '"' << line << "\" ";
  return out << "}, " << heard.inserted << "}";
}

void Record(ListModel& model, std::vector<Heard>& heard) {
  model.SetListener([&heard](const LinesChanged& change) {
    heard.push_back(
        {change.first, {change.removed.begin(), change.removed.end()}, change.inserted});
  });
}

ListModel WithText(std::string_view text) {
  ListModel model;
  model.SetText(text);
  return model;
}

// ---- Edits

struct EditCase {
  const char* name;
  const char* text;
  TextPosition anchor, cursor;  // the selection the edit works on
  const char* inserted;         // put in place of the selection; nullptr: erase it instead
  const char* expected;
  TextPosition after;  // the cursor after the edit
  // Names the row in a failure and in the test list.
  friend void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }
};

class EditTest : public testing::TestWithParam<EditCase> {};

TEST_P(EditTest, LeavesTextAndCursor) {
  const EditCase& edit = GetParam();
  ListModel model = WithText(edit.text);
  model.Select(edit.anchor, edit.cursor);
  if (edit.inserted) {
    model.Insert(edit.inserted);
  } else {
    model.Erase(edit.anchor, edit.cursor);
  }
  EXPECT_EQ(model.Text(), edit.expected);
  EXPECT_EQ(model.selection().cursor, edit.after);
  EXPECT_TRUE(model.selection().Empty());
  model.Undo();
  EXPECT_EQ(model.Text(), edit.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EditTest,
    testing::Values(
        EditCase{"type_into_a_line", "12", {0, 1}, {0, 1}, "x", "1x2", {0, 2}},
        EditCase{"break_a_line", "12", {0, 1}, {0, 1}, "\n", "1\n2", {1, 0}},
        EditCase{"paste_lines_into_a_line", "ab", {0, 1}, {0, 1}, "1\n2\n3", "a1\n2\n3b", {2, 1}},
        EditCase{"paste_over_lines", "1\n2\n3", {0, 1}, {2, 0}, "x\ny", "1x\ny3", {1, 1}},
        EditCase{
            "paste_with_the_selection_backwards", "1\n2\n3", {2, 0}, {0, 1}, "-", "1-3", {0, 2}},
        EditCase{"paste_ending_in_a_break", "1", {0, 1}, {0, 1}, "2\n", "12\n", {1, 0}},
        EditCase{"replace_everything", "1\n2", {0, 0}, {1, 1}, "", "", {0, 0}},
        EditCase{"erase_a_break", "1\n2", {0, 1}, {1, 0}, nullptr, "12", {0, 1}},
        EditCase{"erase_lines", "1\n2\n3\n4", {1, 0}, {3, 0}, nullptr, "1\n4", {1, 0}},
        EditCase{"erase_a_multibyte_character",
                 "a\xe2\x82\xac"
                 "b",
                 {0, 1},
                 {0, 4},
                 nullptr,
                 "ab",
                 {0, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ListModelTest, SelectionIsClampedIntoTheText) {
  ListModel model = WithText("12\n3");
  model.Select({0, -3}, {9, 9});
  EXPECT_EQ(model.selection().anchor, (TextPosition{0, 0}));
  EXPECT_EQ(model.selection().cursor, (TextPosition{1, 1}));
  EXPECT_EQ(model.Text(model.selection().Start(), model.selection().End()), "12\n3");
}

TEST(ListModelTest, ReplacedLineTurnsBreaksIntoBlanks) {
  ListModel model = WithText("1\n2");
  model.ReplaceLine(1, "a\nb\rc");
  model.ReplaceLine(5, "past the end");
  EXPECT_EQ(model.Text(), "1\na b c");
  EXPECT_EQ(model.LineCount(), 2);
}

// ---- Merges, undo and redo

// One action on the model in a script.
struct Action {
  enum Kind { kType, kDelete, kBackspace, kPaste, kMove, kSelectTo, kUndo, kRedo } kind;
  std::string text;  // typed or pasted
  TextPosition to;   // where kMove and kSelectTo put the cursor
};

void Apply(ListModel& model, const Action& action) {
  const TextPosition cursor = model.selection().cursor;
  switch (action.kind) {
    case Action::kType:
      model.Insert(action.text, Merge::kTyping);
      break;
    case Action::kDelete:
      model.Erase(cursor, {cursor.line, cursor.column + 1}, Merge::kDeleting);
      break;
    case Action::kBackspace:
      model.Erase(cursor, {cursor.line, cursor.column - 1}, Merge::kDeleting);
      break;
    case Action::kPaste:
      model.Insert(action.text);
      break;
    case Action::kMove:
      model.Select(action.to, action.to);
      break;
    case Action::kSelectTo:
      model.Select(model.selection().anchor, action.to);
      break;
    case Action::kUndo:
      model.Undo();
      break;
    case Action::kRedo:
      model.Redo();
      break;
  }
}

struct ScriptCase {
  const char* name;
  const char* text;
  TextPosition cursor;
  std::vector<Action> actions;
  const char* expected;
  std::size_t undo_steps;
  // Names the row in a failure and in the test list.
  friend void PrintTo(const ScriptCase& c, std::ostream* os) { *os << c.name; }
};

class ScriptTest : public testing::TestWithParam<ScriptCase> {};

TEST_P(ScriptTest, EndsWithTextAndSteps) {
  ListModel model = WithText(GetParam().text);
  model.Select(GetParam().cursor, GetParam().cursor);
  for (const Action& action : GetParam().actions) Apply(model, action);
  EXPECT_EQ(model.Text(), GetParam().expected);
  EXPECT_EQ(model.UndoSteps(), GetParam().undo_steps);
}

const Action kUndo{Action::kUndo, {}, {}};
const Action kRedo{Action::kRedo, {}, {}};
Action Type(const char* text) { return {Action::kType, text, {}}; }
Action Paste(const char* text) { return {Action::kPaste, text, {}}; }
Action Move(int line, int column) { return {Action::kMove, {}, {line, column}}; }
Action SelectTo(int line, int column) { return {Action::kSelectTo, {}, {line, column}}; }
const Action kDelete{Action::kDelete, {}, {}};
const Action kBackspace{Action::kBackspace, {}, {}};

// A line edited in place: each '~' of `pattern` stands for kLong sevens, each '#' for kLonger
// eights, too many for the length a line's reference holds itself.
constexpr int kLong = static_cast<int>(ListModel::kInPlaceFrom);
constexpr int kLonger = 70'000;
const char* Long(std::string_view pattern) {
  static std::deque<std::string> texts;
  std::string& text = texts.emplace_back();
  for (const char c : pattern) {
    text += c == '~'   ? std::string(kLong, '7')
            : c == '#' ? std::string(kLonger, '8')
                       : std::string(1, c);
  }
  return text.c_str();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptTest,
    testing::Values(
        ScriptCase{"typing_run_is_one_step", "1", {0, 1}, {Type("2"), Type("3")}, "123", 1},
        ScriptCase{"typing_run_undoes_at_once", "1", {0, 1}, {Type("2"), Type("3"), kUndo}, "1", 0},
        ScriptCase{"deleting_run_undoes_at_once",
                   "12345",
                   {0, 5},
                   {kBackspace, kBackspace, kUndo},
                   "12345",
                   0},
        ScriptCase{
            "forward_and_back_deletes_merge", "12345", {0, 2}, {kDelete, kBackspace}, "145", 1},
        ScriptCase{"typing_after_a_move_is_a_new_step",
                   "1\n2",
                   {0, 1},
                   {Type("a"), Move(1, 1), Type("b"), kUndo},
                   "1a\n2",
                   1},
        ScriptCase{"typing_then_deleting_are_two_steps",
                   "1",
                   {0, 1},
                   {Type("2"), kBackspace, kUndo},
                   "12",
                   1},
        ScriptCase{"paste_never_merges", "1", {0, 1}, {Type("2"), Paste("3"), kUndo}, "12", 1},
        ScriptCase{"redo_brings_back_the_run",
                   "1",
                   {0, 1},
                   {Type("2"), Type("3"), kUndo, kRedo},
                   "123",
                   1},
        ScriptCase{"typing_after_undo_starts_a_new_run",
                   "1",
                   {0, 1},
                   {Type("2"), kUndo, Type("3"), Type("4"), kRedo},
                   "134",
                   1},
        ScriptCase{"nothing_to_undo", "1", {0, 0}, {kUndo, kRedo}, "1", 0},
        ScriptCase{"steps_undo_in_turn",
                   "",
                   {0, 0},
                   {Paste("1\n"), Paste("2\n"), Paste("3"), kUndo, kUndo},
                   "1\n",
                   1},
        // Long lines, edited where they stand.
        ScriptCase{"in_place_typing_at_the_start_undoes_at_once",
                   Long("~~"),
                   {0, 0},
                   {Type("a"), Type("b"), kUndo},
                   Long("~~"),
                   0},
        ScriptCase{"in_place_typing_in_the_middle_redoes",
                   Long("~~"),
                   {0, kLong},
                   {Type("a"), Type("b"), kUndo, kRedo},
                   Long("~ab~"),
                   1},
        ScriptCase{"in_place_typing_at_the_end_is_one_step",
                   Long("~~"),
                   {0, 2 * kLong},
                   {Type("a"), Type("\xe2\x82\xac")},
                   Long("~~a\xe2\x82\xac"),
                   1},
        ScriptCase{"in_place_deletes_both_ways_merge",
                   Long("~123~"),
                   {0, kLong + 1},
                   {kDelete, kDelete, kBackspace, kUndo},
                   Long("~123~"),
                   0},
        ScriptCase{"in_place_runs_undo_in_turn",
                   Long("~~"),
                   {0, 0},
                   {Type("a"), Move(0, 2 * kLong + 1), Type("b"), kUndo, kUndo, kRedo},
                   Long("a~~"),
                   1},
        ScriptCase{"in_place_run_then_a_break",
                   Long("~~"),
                   {0, kLong},
                   {Type("a"), Paste("\n"), kUndo, kUndo, kRedo, kRedo},
                   Long("~a\n~"),
                   2},
        ScriptCase{"typing_after_undoing_a_break",
                   Long("~~"),
                   {0, kLong},
                   {Type("a"), Paste("\n"), kUndo, Type("b"), kUndo, kRedo},
                   Long("~ab~"),
                   2},
        ScriptCase{"in_place_deleting_goes_on_below_the_in_place_length",
                   Long("~12"),
                   {0, kLong + 2},
                   {kBackspace, kBackspace, kBackspace, kUndo},
                   Long("~12"),
                   0},
        ScriptCase{"long_line_pasted_with_others_is_edited_in_place",
                   "1\n2",
                   {0, 1},
                   {Paste(Long("a\n~")), Type("b"), kUndo, kUndo, kRedo, kRedo},
                   Long("1a\n~b\n2"),
                   2},
        ScriptCase{"longer_line_typed_at_both_ends",
                   Long("#"),
                   {0, 0},
                   {Type("a"), Move(0, kLonger + 1), Type("b"), kUndo, kRedo, kUndo},
                   Long("a#"),
                   1},
        ScriptCase{"longer_line_parted_and_joined_again",
                   Long("1\n##\n2"),
                   {1, kLonger},
                   {Paste("\n"), kBackspace, kUndo, kUndo, kRedo},
                   Long("1\n#\n#\n2"),
                   1},
        ScriptCase{"longer_line_shrinks_where_it_stands",
                   Long("#"),
                   {0, 0},
                   {SelectTo(0, kLonger - 10), Paste("x"), kUndo, kRedo},
                   "x8888888888",
                   1},
        ScriptCase{"paste_into_a_long_line_is_a_step_of_its_own",
                   Long("~~"),
                   {0, kLong},
                   {Paste("xy"), Type("z"), kUndo},
                   Long("~xy~"),
                   1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ListModelTest, UndoAndRedoPutBackTheSelection) {
  ListModel model = WithText("1\n2\n3");
  model.Select({0, 1}, {2, 0});
  model.Insert("x");
  EXPECT_EQ(model.selection().cursor, (TextPosition{0, 2}));
  model.Undo();
  EXPECT_EQ(model.selection().anchor, (TextPosition{0, 1}));
  EXPECT_EQ(model.selection().cursor, (TextPosition{2, 0}));
  model.Redo();
  EXPECT_EQ(model.selection().anchor, (TextPosition{0, 2}));
  EXPECT_EQ(model.selection().cursor, (TextPosition{0, 2}));
}

TEST(ListModelTest, EditsInsideAStepUndoTogether) {
  ListModel model = WithText("1\n2\n3");
  model.OpenStep();
  model.ReplaceLine(0, "");
  model.ReplaceLine(1, "");
  model.Select({2, 1}, {2, 1});
  model.Insert("4");
  model.CloseStep();
  EXPECT_EQ(model.Text(), "\n\n34");
  model.Undo();
  EXPECT_EQ(model.Text(), "1\n2\n3");
  EXPECT_FALSE(model.CanUndo());
}

TEST(ListModelTest, RevisionChangesWithTheText) {
  ListModel model = WithText("1");
  const std::uint64_t first = model.Revision();
  EXPECT_EQ(model.Revision(), first);
  model.ReplaceLine(0, "2");
  const std::uint64_t second = model.Revision();
  EXPECT_NE(second, first);
  model.Undo();
  EXPECT_NE(model.Revision(), second);
}

// Setting the text inside an open step once left the step with views into the dropped texts,
// which undo then read.
TEST(ListModelTest, SetTextInsideAnOpenStepLeavesNothingToUndo) {
  ListModel model = WithText("12345678901234567890\n2");
  model.OpenStep();
  model.ReplaceLine(0, "a text longer than any short string holds");
  model.SetText("3\n4");
  model.CloseStep();
  model.Undo();
  EXPECT_EQ(model.Text(), "3\n4");
  EXPECT_FALSE(model.CanUndo());
  model.ReplaceLine(1, "5");
  model.Undo();
  EXPECT_EQ(model.Text(), "3\n4");
}

// ---- Offsets in UTF-16 units

struct OffsetCase {
  const char* name;
  const char* text;
  TextPosition position;
  std::int64_t offset;
  // Names the row in a failure and in the test list.
  friend void PrintTo(const OffsetCase& c, std::ostream* os) { *os << c.name; }
};

class Utf16OffsetTest : public testing::TestWithParam<OffsetCase> {};

TEST_P(Utf16OffsetTest, OffsetAndPositionAgree) {
  ListModel model = WithText(GetParam().text);
  EXPECT_EQ(model.Utf16Offset(GetParam().position), GetParam().offset);
  EXPECT_EQ(model.PositionAtUtf16(GetParam().offset), GetParam().position);
}

// "ä" is two bytes and one unit, "€" three bytes and one unit, "😀" four bytes and two units.
INSTANTIATE_TEST_SUITE_P(
    Cases, Utf16OffsetTest,
    testing::Values(OffsetCase{"start", "1\n2", {0, 0}, 0},
                    OffsetCase{"end_of_first_line", "12\n3", {0, 2}, 2},
                    OffsetCase{"second_line", "12\n3", {1, 0}, 3},
                    OffsetCase{"after_umlaut", "ä1\n2", {0, 2}, 1},
                    OffsetCase{"after_euro", "€\n2", {1, 1}, 3},
                    OffsetCase{"after_emoji", "\xf0\x9f\x98\x80x\ny", {0, 5}, 3},
                    OffsetCase{"line_after_emoji", "\xf0\x9f\x98\x80x\ny", {1, 1}, 5},
                    OffsetCase{"empty_lines", "\n\n\n", {3, 0}, 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Utf16Offsets, AreClampedIntoTheText) {
  ListModel model = WithText("ä\n€\xf0\x9f\x98\x80");
  EXPECT_EQ(model.Utf16Length(), 5);
  EXPECT_EQ(model.PositionAtUtf16(-3), (TextPosition{0, 0}));
  EXPECT_EQ(model.PositionAtUtf16(99), (TextPosition{1, 7}));
  // Between the two units of the emoji: before it.
  EXPECT_EQ(model.PositionAtUtf16(4), (TextPosition{1, 3}));
  EXPECT_EQ(model.Utf16Offset({7, 99}), 5);
}

TEST(Utf16Offsets, FollowAnEditNearTheStartOfALongList) {
  std::string text;
  for (int k = 0; k < 100'000; ++k) text += "€1\n";
  ListModel model = WithText(text);
  EXPECT_EQ(model.Utf16Offset({99'999, 0}), 99'999 * 3);  // the index is built up to the end
  model.Select({1, 0}, {1, 0});
  model.Insert("\xf0\x9f\x98\x80\nä");
  EXPECT_EQ(model.Utf16Offset({100'000, 0}), 99'999 * 3 + 4);
  EXPECT_EQ(model.PositionAtUtf16(99'999 * 3 + 4), (TextPosition{100'000, 0}));
  EXPECT_EQ(model.Utf16Length(), 100'000 * 3 + 4);
  model.Undo();
  EXPECT_EQ(model.Utf16Offset({99'999, 0}), 99'999 * 3);
}

// ---- Random edits against a plain string

// The text as one string, with the history as whole texts.
struct Reference {
  std::string text;
  std::vector<std::string> undo, redo;

  void Do(std::string next) {
    undo.push_back(std::exchange(text, std::move(next)));
    redo.clear();
  }
  std::size_t LineStart(int line) const {
    std::size_t at = 0;
    for (int k = 0; k < line; ++k) at = text.find('\n', at) + 1;
    return at;
  }
  std::size_t ByteOffset(TextPosition position) const {
    return LineStart(position.line) + static_cast<std::size_t>(position.column);
  }
};

std::int64_t Utf16Units(std::string_view utf8) {
  std::int64_t units = 0;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xc0) != 0x80) units += byte >= 0xf0 ? 2 : 1;
  }
  return units;
}

// A random place between two characters of the model's text.
TextPosition RandomPosition(const ListModel& model, std::mt19937& random) {
  const int line = static_cast<int>(random() % static_cast<unsigned>(model.LineCount()));
  const std::string_view text = model.Line(line);
  std::vector<int> starts;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || (static_cast<unsigned char>(text[i]) & 0xc0) != 0x80) {
      starts.push_back(static_cast<int>(i));
    }
  }
  return {line, starts[random() % starts.size()]};
}

std::string RandomText(std::mt19937& random, bool breaks) {
  static const char* const kPieces[] = {"1", "-2.5", "ä", "€", "\xf0\x9f\x98\x80", " "};
  std::string text;
  for (int n = static_cast<int>(random() % 6); n > 0; --n) {
    text += breaks && random() % 3 == 0 ? "\n" : kPieces[random() % 6];
  }
  return text;
}

TEST(ListModelRandom, AgreesWithAPlainStringAfterEveryEdit) {
  std::mt19937 random(20261207);
  ListModel model;
  Reference reference;
  for (int round = 0; round < 4000; ++round) {
    const unsigned kind = random() % 20;
    std::string what;
    if (kind < 6) {  // insert, with or without breaks, in place of a selection
      const TextPosition anchor = RandomPosition(model, random);
      const TextPosition cursor = random() % 2 ? anchor : RandomPosition(model, random);
      const std::string text = RandomText(random, kind < 3);
      what = "insert " + text;
      model.Select(anchor, cursor);
      model.Insert(text);
      const std::size_t from = reference.ByteOffset(std::min(anchor, cursor));
      const std::size_t to = reference.ByteOffset(std::max(anchor, cursor));
      reference.Do(reference.text.substr(0, from) + text + reference.text.substr(to));
    } else if (kind < 9) {
      const TextPosition from = RandomPosition(model, random);
      const TextPosition to = RandomPosition(model, random);
      what = "erase";
      model.Erase(from, to);
      const std::size_t a = reference.ByteOffset(std::min(from, to));
      const std::size_t b = reference.ByteOffset(std::max(from, to));
      if (a != b) reference.Do(reference.text.substr(0, a) + reference.text.substr(b));
    } else if (kind < 12) {
      const int line = static_cast<int>(random() % static_cast<unsigned>(model.LineCount()));
      const std::string text = RandomText(random, true);
      what = "replace line";
      if (model.Line(line) != text) {
        std::string clean = text;
        for (char& c : clean) c = c == '\n' ? ' ' : c;
        const std::size_t start = reference.LineStart(line);
        const std::size_t end = start + model.Line(line).size();
        if (model.Line(line) != clean) {
          reference.Do(reference.text.substr(0, start) + clean + reference.text.substr(end));
        } else {
          reference.Do(reference.text);  // a change all the same: the breaks became blanks
        }
      }
      model.ReplaceLine(line, text);
    } else if (kind < 16) {
      what = "undo";
      model.Undo();
      if (!reference.undo.empty()) {
        reference.redo.push_back(std::exchange(reference.text, reference.undo.back()));
        reference.undo.pop_back();
      }
    } else if (kind < 19) {
      what = "redo";
      model.Redo();
      if (!reference.redo.empty()) {
        reference.undo.push_back(std::exchange(reference.text, reference.redo.back()));
        reference.redo.pop_back();
      }
    } else {
      what = "set text";
      // Now and then more lines than one block of the line-start index holds.
      std::string text = RandomText(random, true);
      for (int n = random() % 4 == 0 ? 100 : 1; n > 0; --n) text += RandomText(random, true) + '\n';
      // Now and then a line that is edited in place.
      // Now and then a line that is edited in place, some too long for a reference to hold
      // their length.
      if (random() % 2 == 0) text += std::string(random() % 3 == 0 ? kLonger : kLong, '7');
      model.SetText(text);
      reference = {text, {}, {}};
    }
    ASSERT_EQ(model.Text(), reference.text) << "round " << round << ": " << what;
    ASSERT_EQ(model.CanUndo(), !reference.undo.empty()) << "round " << round << ": " << what;
    ASSERT_EQ(model.CanRedo(), !reference.redo.empty()) << "round " << round << ": " << what;
    ASSERT_EQ(model.Utf16Length(), Utf16Units(reference.text)) << "round " << round;
    for (int probe = 0; probe < 3; ++probe) {
      const TextPosition position = RandomPosition(model, random);
      const std::int64_t offset =
          Utf16Units(std::string_view(reference.text).substr(0, reference.ByteOffset(position)));
      ASSERT_EQ(model.Utf16Offset(position), offset) << "round " << round << ": " << what;
      ASSERT_EQ(model.PositionAtUtf16(offset), position) << "round " << round << ": " << what;
    }
  }
}

// ---- The listener

TEST(ListModelListener, HearsAnEditWithTheLinesItReplaced) {
  ListModel model = WithText("1\n2\n3");
  std::vector<Heard> heard;
  Record(model, heard);
  model.Select({0, 1}, {1, 1});
  model.Insert("a\nb\nc");
  EXPECT_EQ(heard, (std::vector<Heard>{{0, {"1", "2"}, 3}}));
}

TEST(ListModelListener, HearsEveryKeyOfAMergedRun) {
  ListModel model = WithText("1");
  model.Select({0, 1}, {0, 1});
  std::vector<Heard> heard;
  Record(model, heard);
  model.Insert("2", Merge::kTyping);
  model.Insert("3", Merge::kTyping);
  EXPECT_EQ(heard, (std::vector<Heard>{{0, {"1"}, 1}, {0, {"12"}, 1}}));
}

TEST(ListModelListener, HearsAResetOnceWhenItsStepCloses) {
  ListModel model = WithText("1\n2\n3\n\n4");
  std::vector<Heard> heard;
  Record(model, heard);
  model.OpenStep();
  for (int k = 0; k < 3; ++k) model.ReplaceLine(k, "");
  EXPECT_TRUE(heard.empty()) << "nothing is told while the step is open";
  model.CloseStep();
  EXPECT_EQ(heard, (std::vector<Heard>{{0, {"1", "2", "3"}, 3}}));
  heard.clear();
  model.Undo();
  EXPECT_EQ(heard, (std::vector<Heard>{{0, {"", "", ""}, 3}}));
  heard.clear();
  model.Redo();
  EXPECT_EQ(heard, (std::vector<Heard>{{0, {"1", "2", "3"}, 3}}));
}

TEST(ListModelListener, HearsUndoOfAPasteOfManyLines) {
  std::string pasted;
  for (int k = 0; k < 200; ++k) pasted += std::to_string(k) + "\n";
  ListModel model = WithText("a\nb");
  model.Select({0, 0}, {1, 1});
  model.Insert(pasted);
  std::vector<Heard> heard;
  Record(model, heard);
  model.Undo();
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_EQ(heard[0].first, 0);
  EXPECT_EQ(heard[0].inserted, 2);
  ASSERT_EQ(heard[0].removed.size(), 201u);
  EXPECT_EQ(heard[0].removed[199], "199");
  heard.clear();
  model.Redo();
  EXPECT_EQ(heard, (std::vector<Heard>{{0, {"a", "b"}, 201}}));
}

TEST(ListModelListener, HearsSetTextWithAllOldLines) {
  ListModel model = WithText("1\n2");
  std::vector<Heard> heard;
  Record(model, heard);
  model.SetText("3");
  EXPECT_EQ(heard, (std::vector<Heard>{{0, {"1", "2"}, 1}}));
}

TEST(ListModelListener, HearsAnOpenStepsChangesBeforeSetText) {
  ListModel model = WithText("1\n2");
  std::vector<Heard> heard;
  Record(model, heard);
  model.OpenStep();
  model.ReplaceLine(0, "");
  model.SetText("3");
  model.CloseStep();
  EXPECT_EQ(heard, (std::vector<Heard>{{0, {"1"}, 1}, {0, {"", "2"}, 1}}));
}

// ---- Memory

std::string Values(int lines, char digit) {
  std::string text;
  for (int k = 0; k < lines; ++k) (text += std::string(7, digit)) += '\n';
  return text;
}

TEST(ListModelMemory, TypingOnALongLineKeepsNoCopyOfEveryKey) {
  ListModel model = WithText(std::string(20'000, '7'));
  model.Select({0, 20'000}, {0, 20'000});
  for (int k = 0; k < 2000; ++k) model.Insert("1", Merge::kTyping);
  EXPECT_EQ(model.Line(0).size(), 22'000u);
  // Every copy kept would be 2000 times 20,000 bytes and more.
  EXPECT_LT(model.KeptBytes(), std::size_t{4} << 20);
  EXPECT_LT(model.HistoryBytes(), std::size_t{4} << 10) << "the run's step keeps the line";
  model.Undo();
  EXPECT_EQ(model.Text(), std::string(20'000, '7'));
  // A long line that replaces the whole list, as an opened file does, is typed in as it is.
  model.SetText("1\n2");
  model.Select({}, model.End());
  model.InsertOwned(std::string(20'000, '8'));
  const std::size_t kept = model.KeptBytes();
  model.Insert("1", Merge::kTyping);
  EXPECT_LT(model.KeptBytes(), kept + 1000) << "the first key copied the line";
}

TEST(ListModelMemory, APasteKeepsItsReplacedLinesAsTheirText) {
  const std::string first = Values(100'000, '1');
  ListModel model = WithText(first);
  model.Select({}, model.End());
  model.Insert(Values(100'000, '2'));
  model.Insert("3");  // the paste is no longer the newest step
  // A view for each replaced line would be 1.6 MB besides the 0.8 MB of text.
  EXPECT_LT(model.HistoryBytes(), std::size_t{1} << 20);
  model.Undo();
  model.Undo();
  EXPECT_EQ(model.Text(), first);
  model.Redo();
  EXPECT_EQ(model.Text(), Values(100'000, '2'));
  model.Redo();
  EXPECT_EQ(model.Text(), Values(100'000, '2') + "3");
}

// Opening a file puts its lines in place of all lines: the list keeps the file's text itself,
// and undo and redo swap all lines back and forth.
TEST(ListModelMemory, AnOwnedTextIsKeptWithoutACopy) {
  const std::string old = Values(1000, '1');
  ListModel model = WithText(old);
  std::string file = Values(100'000, '2');
  const char* const bytes = file.data();
  model.Select({}, model.End());
  model.InsertOwned(std::move(file));
  // The first line joins what stood before the selection; the others view the file's text.
  EXPECT_EQ(model.Line(1).data(), bytes + 8);
  EXPECT_EQ(model.LineCount(), 100'001);
  EXPECT_EQ(model.Text(), Values(100'000, '2'));
  model.Undo();
  EXPECT_EQ(model.Text(), old);
  model.Redo();
  EXPECT_EQ(model.Line(1).data(), bytes + 8);
  // Inside the list, not in place of all of it.
  model.Select({1, 0}, {1, 0});
  model.InsertOwned("7\n8\n");
  EXPECT_EQ(model.Text().substr(0, 19), "2222222\n7\n8\n2222222");
}

TEST(ListModelMemory, AResetKeepsEightBytesALine) {
  ListModel model = WithText(Values(100'000, '3'));
  model.OpenStep();
  for (int k = 0; k < 100'000; ++k) model.ReplaceLine(k, "");
  model.CloseStep();
  // A reference for each emptied line, and the text that the lines were, 8 bytes each.
  EXPECT_LE(model.HistoryBytes(), 100'000u * (8 + 7) + 4096);
  model.Undo();
  EXPECT_EQ(model.Text(), Values(100'000, '3'));
}

TEST(ListModelMemory, DeletedLinesAreFreedOnceNoStepHoldsThem) {
  ListModel model;
  model.Insert(Values(100'000, '4'));
  model.Select({}, model.End());
  model.Insert("");
  EXPECT_GT(model.KeptBytes(), 700'000u) << "undo still needs the deleted lines";
  model.Insert("5");
  model.SetHistoryBudget(0);  // only the newest step stays
  EXPECT_EQ(model.UndoSteps(), 1u);
  EXPECT_LT(model.KeptBytes(), 4096u);
  model.Undo();
  EXPECT_EQ(model.Text(), "");
}

TEST(ListModelMemory, HistoryKeepsTheNewestStepsWithinItsBudget) {
  ListModel model;
  model.SetHistoryBudget(5 * 800'000);
  for (char digit = '1'; digit <= '8'; ++digit) {
    model.Select({}, model.End());
    model.Insert(Values(100'000, digit));
  }
  EXPECT_LE(model.HistoryBytes(), 5u * 800'000);
  EXPECT_GE(model.UndoSteps(), 2u);
  EXPECT_LT(model.UndoSteps(), 8u);
  EXPECT_LT(model.KeptBytes(), 6u * 800'000) << "texts of dropped steps are freed";
  model.Undo();
  EXPECT_EQ(model.Text(), Values(100'000, '7'));
  model.Undo();
  EXPECT_EQ(model.Text(), Values(100'000, '6'));
}

// Freeing what no step needs any more keeps what the lines and the kept steps view, lines too
// long for their reference to hold their length among them.
TEST(ListModelMemory, FreeingKeepsTheViewsOfLongLines) {
  ListModel model = WithText(Long("1\n##\n2"));
  model.Insert("0");  // a step to forget
  model.Select({1, kLonger}, {1, kLonger});
  model.Insert("\n");
  model.SetHistoryBudget(0);
  model.SetHistoryBudget(ListModel::kHistoryBudget);
  model.Select({1, 5}, {1, 5});
  model.Insert("\n");
  EXPECT_EQ(model.Text(), "01\n" + std::string(5, '8') + "\n" + std::string(kLonger - 5, '8') +
                              Long("\n#\n2"));
  model.Undo();
  model.Undo();
  EXPECT_EQ(model.Text(), Long("01\n##\n2"));
}

TEST(ListModelMemory, TheSameLongTextIsKeptOnce) {
  ListModel model;
  for (int k = 0; k < 5; ++k) {
    model.Select({}, model.End());
    model.Insert(Values(100'000, '9'));
  }
  EXPECT_LT(model.KeptBytes(), 2u * 800'000);
  for (int k = 0; k < 4; ++k) model.Undo();
  EXPECT_EQ(model.Text(), Values(100'000, '9'));
  model.Undo();
  EXPECT_EQ(model.Text(), "");
}

}  // namespace
