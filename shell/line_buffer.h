#pragma once

#include <algorithm>
#include <compare>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "huge_pages.h"
#include "measurement_list.h"

// A place in the text: a line and a byte offset into its UTF-8 text.
struct TextPosition {
  int line = 0;
  int column = 0;
  auto operator<=>(const TextPosition&) const = default;
};

// The text of the measurement list as UTF-8 lines, with the user's selection and the undo
// history. Lines are views into texts that the buffer keeps for as long as it holds the text:
// the evaluation reads them in place, a change of a line replaces its view, and undo puts the
// old views back. There is always at least one line; no line holds a break.
class LineBuffer final : public messwerte::MeasurementList {
 public:
  using Lines = std::vector<std::string_view, messwerte::HugePageAllocator<std::string_view>>;

  struct Selection {
    TextPosition anchor;
    TextPosition cursor;
    bool Empty() const { return anchor == cursor; }
    TextPosition Start() const { return std::min(anchor, cursor); }
    TextPosition End() const { return std::max(anchor, cursor); }
  };

  // Edits of these kinds that follow each other on one line undo as one.
  enum class Merge { kNone, kTyping, kDeleting };

  LineBuffer() : lines_(1) {}

  std::string_view ReadLine(int k) override {
    return k >= 0 && k < LineCount() ? lines_[static_cast<std::size_t>(k)] : std::string_view();
  }
  // A line break in `text` becomes a blank; a line past the end stays missing.
  void ReplaceLine(int k, std::string_view text) override {
    // The reset empties one line after another; each goes straight onto the open run.
    if (run_ && text.empty() && k == run_->first + run_->count && k < LineCount() &&
        !lines_[static_cast<std::size_t>(k)].empty()) {
      run_->lines.push_back(std::exchange(lines_[static_cast<std::size_t>(k)], {}));
      ++run_->count;
      Touch();
      return;
    }
    ReplaceLineInStep(k, text);
  }
  std::uint64_t Revision() override {
    if (changed_) revision_ = messwerte::NewRevision();
    changed_ = false;
    return revision_;
  }

  int LineCount() const { return static_cast<int>(lines_.size()); }
  std::string_view Line(int k) const { return lines_[static_cast<std::size_t>(k)]; }

  // Replaces the whole text, parted into lines at '\n', and forgets the undo history.
  void SetText(std::string_view text);
  // The text from one position to another, lines joined with '\n'.
  std::string Text(TextPosition from, TextPosition to) const;
  std::string Text() const { return Text({}, End()); }
  TextPosition End() const { return {LineCount() - 1, static_cast<int>(lines_.back().size())}; }
  // The nearest position inside the text.
  TextPosition Clamp(TextPosition position) const;

  const Selection& selection() const { return selection_; }
  void Select(TextPosition anchor, TextPosition cursor);

  // Puts `text` (lines parted by '\n') in place of the selection; the cursor follows it.
  void Insert(std::string_view text, Merge merge = Merge::kNone);
  // Removes the text between two positions; the cursor goes where it was.
  void Erase(TextPosition from, TextPosition to, Merge merge = Merge::kNone);

  // Edits between these two calls undo as one step; steps may nest.
  void OpenStep();
  void CloseStep();
  bool StepOpen() const { return open_steps_ > 0; }
  // Grows with every change of the text.
  std::uint64_t EditCount() const { return edits_; }
  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }
  void Undo();
  void Redo();

 private:
  // Puts `lines` in place of `count` lines from `first`; reversing it means doing it again with
  // what it took out, so one record serves undo and redo.
  struct Change {
    int first;
    int count;
    Lines lines;
  };
  struct Step {
    std::vector<Change> changes;
    Selection before;
    Selection after;
    Merge merge = Merge::kNone;
  };

  // Keeps `text` for as long as the buffer holds this text; the view stays valid that long.
  std::string_view Keep(std::string text) { return texts_.emplace_back(std::move(text)); }
  void Touch() {
    changed_ = true;
    ++edits_;
  }
  void ReplaceLineInStep(int k, std::string_view text);
  void Swap(Change& change);
  void Replace(TextPosition from, TextPosition to, std::string_view text, Merge merge);
  bool MergesWithLast(TextPosition from, TextPosition to, std::string_view text, Merge merge) const;

  // Every text that a line or an undo step views: the whole text as set, pasted texts, and each
  // line as an edit left it. Elements of a deque stay where they are as it grows.
  std::deque<std::string> texts_;
  Lines lines_;
  Selection selection_;
  std::vector<Step> undo_;
  std::vector<Step> redo_;
  Step open_;
  Change* run_ = nullptr;  // the open step's run of replaced lines, while it is the last change
  int open_steps_ = 0;
  std::uint64_t revision_ = messwerte::NewRevision();
  bool changed_ = false;  // since the last stamp was handed out
  std::uint64_t edits_ = 0;
};
