#pragma once

#include <algorithm>
#include <compare>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "huge_pages.h"
#include "line_ref.h"
#include "measurement_list.h"

// A place in the text: a line and a byte offset into its UTF-8 text.
struct TextPosition {
  int line = 0;
  int column = 0;
  auto operator<=>(const TextPosition&) const = default;
};

// UTF-16 units of a UTF-8 text: one a character, two from four bytes on.
std::int64_t Utf16Units(std::string_view utf8);

// The text of the measurement list as UTF-8 lines, with the user's selection and the undo
// history, without any part of the window. Lines are views into texts that the model keeps for
// as long as a line or an undo step views them: the evaluation reads them in place, a change of
// a line replaces its view, and undo puts the old views back. There is always at least one line;
// no line holds a break.
//
// Memory stays bounded: texts that nothing views any more are freed now and then, in a pass
// whose cost the texts kept since the last one pay for, and the undo history keeps its newest
// steps within a budget and forgets the oldest.
class ListModel final : public messwerte::MeasurementList {
 public:
  using Lines = std::vector<LineRef, messwerte::HugePageAllocator<LineRef>>;

  struct Selection {
    TextPosition anchor;
    TextPosition cursor;
    bool Empty() const { return anchor == cursor; }
    TextPosition Start() const { return std::min(anchor, cursor); }
    TextPosition End() const { return std::max(anchor, cursor); }
  };

  // Edits of these kinds that follow each other on one line undo as one; kLines marks whole
  // lines put in by InsertLines.
  enum class Merge { kNone, kTyping, kDeleting, kLines };

  // An edit of one line where its text stands: its bytes before `column` stayed, `erased`
  // stood from there, and `typed` bytes stand there now.
  struct InPlace {
    int column;
    std::string_view erased;  // valid during the call
    int typed;
  };

  // What one change did, told to the listener once it is in place.
  struct LinesChanged {
    int first;                         // first line that changed
    std::span<const LineRef> removed;  // the lines as they were; valid during the call
    int inserted;                      // lines now standing from `first` in their place
    // Set when line `first` was edited where it stands: the line as it was is gone, `removed`
    // is empty and `inserted` is 1.
    const InPlace* in_place = nullptr;
  };

  // A line this long is edited where its text stands, with room at both of its ends, when an
  // edit outside an open step changes it alone: a key costs no copy of the line, and its undo
  // step keeps only the bytes it changed.
  static constexpr std::size_t kInPlaceFrom = 4096;

  ListModel() : lines_(1), starts_{0} {}

  std::string_view ReadLine(int k) override {
    return k >= 0 && k < LineCount() ? lines_[static_cast<std::size_t>(k)].view()
                                     : std::string_view();
  }
  // A line break in `text` becomes a blank; a line past the end stays missing.
  void ReplaceLine(int k, std::string_view text) override {
    // The reset empties one line after another; each goes straight onto the open run.
    if (run_ && text.empty() && k == run_->first + run_->count && k < LineCount() &&
        !lines_[static_cast<std::size_t>(k)].empty()) {
      Freeze(lines_[static_cast<std::size_t>(k)]);
      run_->lines.push_back(std::exchange(lines_[static_cast<std::size_t>(k)], {}));
      ++run_->count;
      Moved(k);
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
  std::string_view Line(int k) const { return lines_[static_cast<std::size_t>(k)].view(); }

  // Replaces the whole text, parted into lines at '\n', and forgets the undo history, the open
  // step's changes too.
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
  // The same, keeping `text` itself instead of a copy: a file's lines go in without a second
  // copy of them in memory.
  void InsertOwned(std::string&& text, Merge merge = Merge::kNone);
  // Removes the text between two positions; the cursor goes where it was.
  void Erase(TextPosition from, TextPosition to, Merge merge = Merge::kNone);

  // Puts the lines of `text` (parted by '\n') in before line k, or after the last line with
  // k == LineCount(), as one undo step; the selection stays on the text it was on. With `join`,
  // lines that go in right after those that the newest undo step put in this way join that
  // step, so that lines arriving in batches undo as one.
  void InsertLines(int k, std::string_view text, bool join);

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

  // Offsets in UTF-16 units over the whole text, with one unit for each break between lines.
  std::int64_t Utf16Length() const;
  std::int64_t Utf16Offset(TextPosition position) const;
  // The position at an offset, clamped into the text; an offset inside a character goes to
  // its start.
  TextPosition PositionAtUtf16(std::int64_t offset) const;

  // The undo history beyond the current text keeps at most about this many bytes; the newest
  // step is kept whatever its size.
  static constexpr std::size_t kHistoryBudget = std::size_t{256} << 20;
  void SetHistoryBudget(std::size_t bytes);
  // Bytes of the kept texts and of the undo history beyond the current text, as the model
  // counts them (a text that several steps view counts for each).
  std::size_t KeptBytes() const { return kept_bytes_; }
  std::size_t HistoryBytes() const { return history_bytes_; }
  std::size_t UndoSteps() const { return undo_.size(); }

  // Called after each change of the lines; changes inside an open step when it closes.
  void SetListener(std::function<void(const LinesChanged&)> listener) {
    listener_ = std::move(listener);
  }

 private:
  // Puts `lines` in place of `count` lines from `first`; reversing it means doing it again with
  // what it took out, so one record serves undo and redo. A long stretch of the lines that
  // stand one after the other in one kept text, as a paste leaves them, is kept as that text
  // (`run`, split again when needed) instead of a view for each line.
  struct Change {
    int first;
    int count;
    Lines lines;
    std::string_view run;
    std::size_t run_at = 0;  // where in `lines` the lines of `run` belong
    // An edit in place of line `first` instead: `length` bytes from `column` stand where
    // `bytes` stood.
    bool in_place = false;
    std::size_t column = 0;
    std::size_t length = 0;
    std::string bytes{};
  };
  struct Step {
    std::vector<Change> changes;
    Selection before;
    Selection after;
    Merge merge = Merge::kNone;
    std::size_t bytes = 0;  // what the step keeps, as counted in history_bytes_
  };
  struct Kept {
    std::unique_ptr<std::string> text;
    bool viewed = false;  // while texts are sorted out
  };

  LineRef Ref(std::string_view view) { return long_views_.Make(view); }
  // The lines of `text`, parted at '\n'.
  Lines Split(std::string_view text);
  // Keeps `text` until no line and no step views it any more.
  std::string_view Keep(std::string text);
  // Keeps the line that `parts` make up as the text edited in place, with room at both ends for
  // `growth` bytes and more.
  std::string_view KeepEditable(std::initializer_list<std::string_view> parts, std::size_t growth);
  // Keeps the line that `parts` make up, as the text edited in place if it is long.
  std::string_view KeepLine(std::initializer_list<std::string_view> parts);
  void Touch() {
    changed_ = true;
    ++edits_;
  }
  // Lines from `first` on may have changed: their starts are worked out again when asked for.
  void Moved(int first) const {
    const std::size_t blocks = static_cast<std::size_t>(first) / kBlock + 1;
    if (starts_.size() > blocks)
      starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(blocks), starts_.end());
  }
  // The UTF-16 offset of line k's start, extending the known starts as far as k.
  std::int64_t Start(int k) const;
  // UTF-16 units of line k, and of its bytes before `column`; a line edited in place knows its
  // own.
  std::int64_t LineUnits(int k) const;
  std::int64_t PrefixUnits(int k, int column) const;
  // The start of the block of lines from line kBlock * b, extending the known starts that far.
  std::int64_t BlockStart(std::size_t b) const;
  void Tell(const Change& change) const;
  void Expand(Change& change);
  void Compact(Change& change);
  static std::size_t Bytes(const Step& step);
  void Record(Step step);
  void Push(std::deque<Step>& stack, Step step);
  void FitHistory();
  // Frees unviewed texts once enough has been kept since the last time or steps were dropped.
  void Tidy();
  void Collect();
  Kept* Owner(const char* at) const;
  void ReplaceLineInStep(int k, std::string_view text);
  void Swap(Change& change);
  // `kept`: `text` is a kept text already.
  void Replace(TextPosition from, TextPosition to, std::string_view text, Merge merge,
               bool kept = false);
  bool MergesWithLast(TextPosition from, TextPosition to, std::string_view text, Merge merge) const;
  void EditInPlace(TextPosition from, TextPosition to, std::string_view text, Merge merge);
  // Line k views the text being edited in place.
  bool Editable(int k) const {
    return editable_ && lines_[static_cast<std::size_t>(k)].data() == editable_->data() + front_;
  }
  // Gives line k a text of its own with room at both ends for `growth` bytes more and then
  // some; the text it had stays for whatever else views it.
  void MakeEditable(int k, std::size_t growth);
  // Puts `text` in place of `count` bytes from `column` in line k, which is editable, moving
  // the shorter side of the line.
  void EditLine(int k, std::size_t column, std::size_t count, std::string_view text);
  bool InEditable(std::string_view view) const {
    return editable_ && Address(view.data()) >= Address(editable_->data()) &&
           Address(view.data()) < Address(editable_->data()) + editable_->size();
  }
  // `view` goes where the text edited in place must not change any more, such as an undo step.
  void Freeze(std::string_view view) {
    if (InEditable(view)) editable_ = nullptr;
  }
  static std::uintptr_t Address(const char* at) { return reinterpret_cast<std::uintptr_t>(at); }

  // Every text that a line or an undo step may view: the whole text as set, pasted texts, and
  // each line as an edit left it, by where their characters stand.
  std::map<const char*, Kept> texts_;
  std::multimap<std::size_t, const char*> long_texts_;  // the long ones of them by their length
  std::size_t kept_bytes_ = 0;
  std::size_t viewed_bytes_ = 0;  // what the last sorting out left
  bool dropped_ = false;          // steps were dropped since then
  std::size_t released_ = 0;      // bytes freed that the system may not have back yet
  LongViews long_views_;
  Lines lines_;
  Selection selection_;
  std::deque<Step> undo_;
  std::deque<Step> redo_;
  std::size_t history_bytes_ = 0;
  std::size_t history_budget_ = kHistoryBudget;
  Step open_;
  Change* run_ = nullptr;  // the open step's run of replaced lines, while it is the last change
  // The kept text that one line views at `front_` and that is edited in place; nothing else
  // views it.
  std::string* editable_ = nullptr;
  std::size_t front_ = 0;
  std::int64_t units_ = 0;  // its UTF-16 units
  std::size_t wide_ = 0;    // its bytes outside ASCII
  int open_steps_ = 0;
  std::uint64_t revision_ = messwerte::NewRevision();
  bool changed_ = false;  // since the last stamp was handed out
  std::uint64_t edits_ = 0;
  // Where every kBlock-th line starts in UTF-16 units, as far as known; a line in between is
  // found from the start of its block.
  static constexpr std::size_t kBlock = 32;
  mutable std::vector<std::int64_t> starts_;
  std::function<void(const LinesChanged&)> listener_;
};

using LinesChanged = ListModel::LinesChanged;
