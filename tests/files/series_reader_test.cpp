// The one reader of series files: a table of file contents, each read whole and in blocks of 1, 3
// and 4096 bytes, giving the column's values with their file line numbers, the decisions and the
// notes of what was left out. Each row names the fault it catches.

#include "series_reader.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "reading_notes.h"

namespace {

struct ReadCase {
  const char* name;
  std::string bytes;
  std::string values;  // "line:value|…"
  char separator = '\0';
  int columns = 1;
  bool header = false;
  char decimal = '.';
  std::string notes;  // LeftOut and DecimalNote, joined by " "
  char locale = '.';
  int column = 0;
  std::optional<char> chosen_decimal = {};
  int first_numeric = 0;
};

void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.name; }

class Collect final : public series::LineSink {
 public:
  void Take(std::span<const std::string_view> values, std::int64_t first_line) override {
    for (const std::string_view value : values) {
      EXPECT_EQ(value.find_first_of("\r\n"), std::string_view::npos) << "a value holds a break";
      if (!text.empty()) text += '|';
      text += std::to_string(first_line++) + ':' + std::string(value);
    }
  }
  std::string text;
};

struct Result {
  std::string values;
  series::Layout layout;
  std::string notes;
  bool not_text;
};

Result Read(const ReadCase& c, std::size_t block) {
  Collect sink;
  series::Choices choices;
  choices.column = c.column;
  choices.decimal = c.chosen_decimal;
  series::Reader reader(choices, c.locale, sink);
  const std::string_view bytes = c.bytes;
  for (std::size_t at = 0; at < bytes.size(); at += block) reader.Feed(bytes.substr(at, block));
  reader.Finish();
  QStringList notes = series::LeftOut(reader.tally());
  const QString decimal = series::DecimalNote(reader.layout(), c.locale, false);
  if (!decimal.isEmpty()) notes.prepend(decimal);
  return {sink.text, reader.layout(), notes.join(u' ').toStdString(), reader.NotText()};
}

std::string Repeat(const std::string& text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i) repeated += text;
  return repeated;
}

std::string Lines(int first, int count, const std::string& value) {
  std::string text;
  for (int i = 0; i < count; ++i) text += (i ? "|" : "") + std::to_string(first + i) + ":" + value;
  return text;
}

class SeriesReaderTest : public testing::TestWithParam<ReadCase> {};

TEST_P(SeriesReaderTest, ReadsAlikeWholeAndInBlocks) {
  const ReadCase& c = GetParam();
  for (const std::size_t block : {c.bytes.size() + 1, std::size_t{1}, std::size_t{3}, std::size_t{4096}}) {
    SCOPED_TRACE("block of " + std::to_string(block) + " bytes");
    const Result result = Read(c, block);
    EXPECT_FALSE(result.not_text);
    EXPECT_EQ(result.values, c.values);
    EXPECT_EQ(result.layout.separator, c.separator);
    EXPECT_EQ(result.layout.columns, c.columns);
    EXPECT_EQ(result.layout.header, c.header);
    EXPECT_EQ(result.layout.decimal, c.decimal);
    EXPECT_EQ(result.layout.first_numeric_column, c.first_numeric);
    EXPECT_EQ(result.notes, c.notes);
  }
}

const std::string kPointNote =
    "Die Datei schreibt Zahlen mit Punkt als Dezimalzeichen, nicht mit Komma; sie sind so gelesen.";

INSTANTIATE_TEST_SUITE_P(
    Files, SeriesReaderTest,
    testing::Values(
        // A decimal comma taken for a column separator splits values silently.
        ReadCase{"unit_in_one_line_keeps_one_column", "13,5\n12,5 °C\n14,5\n",
                 "1:13,5|2:12,5 °C|3:14,5", '\0', 1, false, ',', "", ','},
        ReadCase{"thousands_point_keeps_one_column", "1.013,2\n980,5\n", "1:1.013,2|2:980,5",
                 '\0', 1, false, ',', "", ','},
        ReadCase{"typo_in_a_value_keeps_one_column", "1O,5\n13,5\n", "1:1O,5|2:13,5", '\0', 1,
                 false, ',', "", ','},
        ReadCase{"comma_parts_values_with_points", "1.5,2.5\n3.5,4.5\n", "1:2.5|2:4.5", ',', 2,
                 false, '.', "", '.', 1},
        ReadCase{"comma_parts_whole_numbers", "1,2,3\n4,5,6\n", "1:3|2:6", ',', 3, false, '.', "",
                 '.', 2},
        // A first value with a typo vanished as a header.
        ReadCase{"typo_first_value_is_no_header", "1..5\n2\n", "1:1..5|2:2"},
        ReadCase{"missing_marker_is_no_header", "n/a\n2\n", "1:n/a|2:2"},
        ReadCase{"name_is_a_header", "Wert\n1,5\n", "2:1,5", '\0', 1, true, ',', "", ','},
        // An empty cell ended a table's column: the count covered six of 2,225 values.
        ReadCase{"empty_cell_is_a_gap", "t;co2\n1;400\n2;\n3;410\n", "2:400|4:410", ';', 2, true,
                 '.', "Eine leere Zelle in Zeile 3 übersprungen.", '.', 1},
        ReadCase{"short_row_is_a_gap", "1\t2\n3\n5\t6\n", "1:2|3:6", '\t', 2, false, '.',
                 "Eine leere Zelle in Zeile 2 übersprungen.", '.', 1},
        ReadCase{"empty_rows_inside_a_table_are_gaps_at_its_end_not", "1;2\n\n\n5;6\n\n",
                 "1:1|4:5", ';', 2, false, '.',
                 "2 leere Zellen übersprungen, die erste in Zeile 2."},
        // An empty line in one column still ends the series, but not without a word.
        ReadCase{"empty_line_ends_one_column_and_says_so", "1\n2\n\n4\n5\n", "1:1|2:2|3:|4:4|5:5",
                 '\0', 1, false, '.',
                 "Die Leerzeile in Zeile 3 beendet die Messreihe; 2 Zeilen danach (Zeile 4 bis 5) "
                 "werden nicht ausgewertet."},
        ReadCase{"empty_lines_at_the_end_leave_nothing_out", "1\n2\n\n\n", "1:1|2:2|3:|4:"},
        // Comment lines were values with errors, or took the header's place.
        ReadCase{"comments_are_skipped_and_counted", "# Messung\nWert\n# Gerät\n1\n2\n",
                 "4:1|5:2", '\0', 1, true, '.',
                 "2 Kommentarzeilen (#) übersprungen, die erste in Zeile 1."},
        // Points refused under a German locale, without a hint.
        ReadCase{"points_under_a_comma_locale", "1.5\n2.5\n", "1:1.5|2:2.5", '\0', 1, false, '.',
                 kPointNote, ','},
        ReadCase{"chosen_decimal_says_nothing", "1.5\n2.5\n", "1:1.5|2:2.5", '\0', 1, false, ',',
                 "", ',', 0, ','},
        // The values split at the commas would be read with a decimal comma they do not hold.
        ReadCase{"chosen_decimal_comma_parts_no_columns", "1.5,2.5\n3.5,4.5\n",
                 "1:1.5,2.5|2:3.5,4.5", '\0', 1, false, ',', "", '.', 0, ','},
        ReadCase{"no_decimal_shown_takes_the_locale", "1\n2\n", "1:1|2:2", '\0', 1, false, ',', "",
                 ','},
        // Blank-separated tables were refused.
        ReadCase{"runs_of_blanks_part_a_table", "1.0  2.0  3.0\n 4.0 5.0   6.0 \n", "1:3.0|2:6.0",
                 ' ', 3, false, '.', "", '.', 2},
        ReadCase{"one_value_with_a_unit_is_no_table", "1.5 mV\n2\n", "1:1.5 mV|2:2"},
        // Quoted line breaks parted a record into two.
        ReadCase{"quoted_line_break_in_a_header", "Zeit;\"Wert\n(mV)\"\n1;2,5\n2;3,5\n",
                 "3:2,5|4:3,5", ';', 2, true, ',', "", ',', 1},
        ReadCase{"quoted_line_break_in_a_value_becomes_a_blank", "a;b\n1;\"2\n5\"\n3;4\n",
                 "2:2 5|4:4", ';', 2, true, '.', "", '.', 1},
        ReadCase{"open_quote_gives_up_after_the_longest_record", "12\"\n" + Repeat("1\n", 70),
                 "1:12\"|" + Lines(2, 70, "1")},
        // Each record followed by empty lines ended every column at once.
        ReadCase{"cr_cr_lf_is_one_break", "1\r\r\n2\r\r\n3\r\r\n", "1:1|2:2|3:3"},
        ReadCase{"two_crs_are_two_breaks", "1\r\r2", "1:1|2:|3:2", '\0', 1, false, '.',
                 "Die Leerzeile in Zeile 2 beendet die Messreihe; Zeile 3 danach wird nicht "
                 "ausgewertet."},
        // The window and the command line disagreed about U+2028.
        ReadCase{"line_separator_breaks_a_line", "1\xE2\x80\xA8" "2\n3", "1:1|2:2|3:3"},
        // What worked before keeps working.
        ReadCase{"utf16_le_with_header", std::string("\xFF\xFEW\0e\0r\0t\0\r\0\n\0" "1\0,\0" "5\0", 20),
                 "2:1,5", '\0', 1, true, ',', "", ','},
        ReadCase{"utf8_mark_and_crlf_table", "\xEF\xBB\xBFZeit;Wert\r\n0;1,5\r\n1;2,5\r\n",
                 "2:1,5|3:2,5", ';', 2, true, ',', "", ',', 1},
        ReadCase{"windows_1252_bytes_stay", "L\xE4nge\n1,5\n2\xB0\n", "2:1,5|3:2\xB0", '\0', 1, true,
                 ',', "", ','},
        ReadCase{"quoted_decimal_commas_parted_by_commas", "\"1,5\",\"2.0\"\n\"3,5\",\"4.0\"\n",
                 "1:1,5|2:3,5", ',', 2, false, '.', ""},
        ReadCase{"time_column_of_a_logger", "Zeit;Wert\n12:00:00;1,5\n12:00:01;2,5\n",
                 "2:1,5|3:2,5", ';', 2, true, ',', "", ',', 1, std::nullopt, 1},
        ReadCase{"empty_file", "", "", '\0', 1, false, '.', ""}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

// NUL bytes make no text, wherever they stand, in UTF-8 and in UTF-16 alike.
TEST(SeriesReaderRefusal, NulBytesAreNoText) {
  for (const std::string& bytes : {std::string("1\n\0\n2\n", 6), std::string("\xFF\xFE" "1\0\0\0", 6),
                                   std::string(70000, '1').append(std::string("\n\0", 2))}) {
    ReadCase c{"nul", bytes, ""};
    for (const std::size_t block : {bytes.size() + 1, std::size_t{1}, std::size_t{4096}})
      EXPECT_TRUE(Read(c, block).not_text) << block;
  }
}

}  // namespace
