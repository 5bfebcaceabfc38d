#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "huge_pages.h"

namespace messwerte {

// Which byte sequences end a line.
enum class LineBreaks {
  kLineFeed,  // LF only
  kAny,       // LF, CR LF and a lone CR
  kUnicode,   // those and the line and paragraph separators U+2028 and U+2029
  kFile,      // kUnicode, and CR CR LF as one break: a Windows file converted twice
};

using LineViews = std::vector<std::string_view, HugePageAllocator<std::string_view>>;

// The lines of `text` without their breaks, views into it: "1\n2" has two lines, "1\n2\n" three
// (the last empty), "" one empty line.
LineViews SplitLines(std::string_view text, LineBreaks breaks);
// The same into `lines`, whose memory is used again: for a file read a block at a time.
void SplitLines(std::string_view text, LineBreaks breaks, LineViews& lines);
// How many '\n' `text` holds, sixteen bytes at a time.
std::size_t CountLineFeeds(std::string_view text);

// The lines of the measurement list, numbered from 0; a line is its text without the line break.
class MeasurementList {
 public:
  virtual ~MeasurementList() = default;
  // Text of line k (k >= 0), the empty text past the last line. Valid until the list changes.
  virtual std::string_view ReadLine(int k) = 0;
  // Puts `text` in place of line k's text; the line keeps its break, the line count stays.
  virtual void ReplaceLine(int k, std::string_view text) = 0;
  // Stamp of the current text, from NewRevision(): a new one whenever any line's text changes,
  // so two equal stamps always mean the same lines, whichever list they come from.
  virtual std::uint64_t Revision() = 0;
};

// A stamp that no list of this program has had before.
std::uint64_t NewRevision();

// A single-line field that an operation overwrites.
class OutputField {
 public:
  virtual ~OutputField() = default;
  virtual void SetText(std::string_view text) = 0;
};

// A measurement list held in memory, split at LF, CR LF or a lone CR.
class LineList final : public MeasurementList {
 public:
  LineList() : revision_(NewRevision()) {}
  // "1\n2" has two lines, "1\n2\n" three (the last empty), "" none.
  explicit LineList(std::string text);
  LineList(const LineList&) = delete;
  LineList& operator=(const LineList&) = delete;

  std::string_view ReadLine(int k) override {
    return k >= 0 && k < LineCount() ? lines_[static_cast<std::size_t>(k)] : std::string_view();
  }
  void ReplaceLine(int k, std::string_view text) override;
  std::uint64_t Revision() override { return revision_; }

  int LineCount() const { return static_cast<int>(lines_.size()); }
  std::string Text() const;  // lines joined with "\n"

 private:
  std::string text_;
  LineViews lines_;  // views into text_ or replaced_
  std::deque<std::string> replaced_;
  std::uint64_t revision_;
};

}  // namespace messwerte
