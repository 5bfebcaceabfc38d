#pragma once

#include <algorithm>
#include <compare>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
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
// history. The lines are kept as lines, so the evaluation reads them in place and a change of
// one line touches nothing else. There is always at least one line; no line holds a break.
class LineBuffer final : public messwerte::MeasurementList {
 public:
  using Lines = std::vector<std::string, messwerte::HugePageAllocator<std::string>>;

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
    return k >= 0 && k < LineCount() ? std::string_view(lines_[static_cast<std::size_t>(k)])
                                     : std::string_view();
  }
  // A line break in `text` becomes a blank; a line past the end stays missing.
  void ReplaceLine(int k, std::string_view text) override {
    // The reset empties one line after another; each goes straight onto the open run.
    if (run_ && text.empty() && k == run_->first + run_->count && k < LineCount() &&
        !lines_[static_cast<std::size_t>(k)].empty()) {
      run_->kept.Keep(lines_[static_cast<std::size_t>(k)]);
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
  const std::string& Line(int k) const { return lines_[static_cast<std::size_t>(k)]; }

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
  // The texts of a run of lines, kept for undo: each text of up to 15 bytes in a slot of its own,
  // longer ones aside in order. A reset of a million short lines keeps 16 bytes a line this way.
  class KeptTexts {
   public:
    void Reserve(std::size_t lines) { slots_.reserve(lines); }
    // Takes the text of `line`, which is left empty.
    [[gnu::always_inline]] void Keep(std::string& line) {
      Slot& slot = slots_.emplace_back();
      if (line.size() <= sizeof slot.bytes) {
        slot.size = static_cast<std::uint8_t>(line.size());
        // A string's storage holds at least its capacity; copying all 15 bytes at once is
        // quicker than copying just the text. What lies past the text is never read.
        std::memcpy(slot.bytes, line.data(),
                    line.capacity() >= sizeof slot.bytes ? sizeof slot.bytes : line.size());
      } else {
        slot.size = kLong;
        longs_.push_back(std::move(line));
      }
      line.clear();
    }
    // Puts the kept texts in place of the lines from `first` on, and keeps theirs instead.
    void SwapWith(Lines& lines, std::size_t first);

   private:
    struct Slot {
      std::uint8_t size;
      char bytes[15];
    };
    static constexpr std::uint8_t kLong = 0xff;
    std::vector<Slot, messwerte::HugePageAllocator<Slot>> slots_;
    std::vector<std::string> longs_;
  };

  // Puts `lines` in place of `count` lines from `first`; reversing it means doing it again with
  // what it took out, so one record serves undo and redo. A run of lines replaced one by one
  // keeps its old texts in `kept` instead.
  struct Change {
    int first;
    int count;
    Lines lines;
    bool packed = false;
    KeptTexts kept;
  };
  struct Step {
    std::vector<Change> changes;
    Selection before;
    Selection after;
    Merge merge = Merge::kNone;
  };

  void Touch() {
    changed_ = true;
    ++edits_;
  }
  void ReplaceLineInStep(int k, std::string_view text);
  void Swap(Change& change);
  void Record(Change change);
  void Replace(TextPosition from, TextPosition to, std::string_view text, Merge merge);
  bool MergesWithLast(TextPosition from, TextPosition to, std::string_view text, Merge merge) const;

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
