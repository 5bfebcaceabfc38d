#include "list_model.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

ListModel::Lines SplitLines(std::string_view text) {
  return messwerte::SplitLines(text, messwerte::LineBreaks::kLineFeed);
}

}  // namespace

void ListModel::ReplaceLineInStep(int k, std::string_view text) {
  if (k < 0 || k >= LineCount()) return;
  std::string_view& line = lines_[static_cast<std::size_t>(k)];
  if (line == text) return;
  std::string_view fresh;
  if (!text.empty()) {
    std::string clean(text);
    std::replace_if(
        clean.begin(), clean.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    fresh = Keep(std::move(clean));
  }
  Touch();
  OpenStep();
  // A run of neighbouring lines, as the reset writes them, is one change.
  if (!run_ || run_->first + run_->count != k) {
    // Room for a run to the end of the list: memory not yet touched costs nothing, and growing
    // the run step by step would copy it again and again.
    run_ = &open_.changes.emplace_back(Change{k, 0, {}});
    run_->lines.reserve(lines_.size() - static_cast<std::size_t>(k));
  }
  run_->lines.push_back(line);
  ++run_->count;
  line = fresh;
  Moved(k);
  CloseStep();
}

void ListModel::SetText(std::string_view text) {
  std::string whole(text);  // `text` may be one of the texts about to be dropped
  // The open step's changes are told now and then dropped with the history: no step may keep
  // views into the texts that go.
  for (const Change& change : open_.changes) Tell(change);
  open_.changes.clear();
  run_ = nullptr;
  undo_.clear();
  redo_.clear();
  std::deque<std::string> old_texts = std::exchange(texts_, {});
  Change change{0, 0, std::exchange(lines_, SplitLines(Keep(std::move(whole))))};
  change.count = LineCount();
  selection_ = {};
  Moved(0);
  Touch();
  Tell(change);
}

std::string ListModel::Text(TextPosition from, TextPosition to) const {
  from = Clamp(from);
  to = Clamp(to);
  if (to <= from) return {};
  const std::string_view first = Line(from.line);
  if (from.line == to.line) {
    return std::string(first.substr(static_cast<std::size_t>(from.column),
                                    static_cast<std::size_t>(to.column - from.column)));
  }
  std::string text(first.substr(static_cast<std::size_t>(from.column)));
  for (int k = from.line + 1; k < to.line; ++k) (text += '\n') += Line(k);
  (text += '\n') += Line(to.line).substr(0, static_cast<std::size_t>(to.column));
  return text;
}

TextPosition ListModel::Clamp(TextPosition position) const {
  position.line = std::clamp(position.line, 0, LineCount() - 1);
  position.column = std::clamp(position.column, 0, static_cast<int>(Line(position.line).size()));
  return position;
}

void ListModel::Select(TextPosition anchor, TextPosition cursor) {
  selection_ = {Clamp(anchor), Clamp(cursor)};
}

void ListModel::Insert(std::string_view text, Merge merge) {
  Replace(selection_.Start(), selection_.End(), text, merge);
}

void ListModel::Erase(TextPosition from, TextPosition to, Merge merge) {
  from = Clamp(from);
  to = Clamp(to);
  if (to < from) std::swap(from, to);
  if (from == to) return;
  Replace(from, to, {}, merge);
}

void ListModel::OpenStep() {
  if (open_steps_++ > 0) return;
  open_ = Step{{}, selection_, selection_, Merge::kNone};
  run_ = nullptr;
}

void ListModel::CloseStep() {
  if (--open_steps_ > 0) return;
  run_ = nullptr;
  selection_ = {Clamp(selection_.anchor), Clamp(selection_.cursor)};
  if (open_.changes.empty()) return;
  for (const Change& change : open_.changes) Tell(change);
  open_.after = selection_;
  undo_.push_back(std::move(open_));
  redo_.clear();
}

void ListModel::Undo() {
  if (undo_.empty() || open_steps_ > 0) return;
  Step step = std::move(undo_.back());
  undo_.pop_back();
  for (auto it = step.changes.rbegin(); it != step.changes.rend(); ++it) {
    Swap(*it);
    Tell(*it);
  }
  selection_ = step.before;
  step.merge = Merge::kNone;
  redo_.push_back(std::move(step));
  Touch();
}

void ListModel::Redo() {
  if (redo_.empty() || open_steps_ > 0) return;
  Step step = std::move(redo_.back());
  redo_.pop_back();
  for (Change& change : step.changes) {
    Swap(change);
    Tell(change);
  }
  selection_ = step.after;
  undo_.push_back(std::move(step));
  Touch();
}

void ListModel::Swap(Change& change) {
  Moved(change.first);
  const auto first = lines_.begin() + change.first;
  const int count = static_cast<int>(change.lines.size());
  if (count == change.count) {
    std::swap_ranges(change.lines.begin(), change.lines.end(), first);
    return;
  }
  Lines taken(first, first + change.count);
  const auto at = lines_.erase(first, first + change.count);
  lines_.insert(at, change.lines.begin(), change.lines.end());
  change.lines = std::move(taken);
  change.count = count;
}

void ListModel::Replace(TextPosition from, TextPosition to, std::string_view text, Merge merge) {
  // The new lines: the first begins with what stood before `from`, the last ends with what stood
  // after `to`, and lines in between are views into the kept text as it was given.
  Lines fresh =
      SplitLines(text.find('\n') == std::string_view::npos ? text : Keep(std::string(text)));
  const TextPosition after{
      from.line + static_cast<int>(fresh.size()) - 1,
      static_cast<int>(fresh.back().size()) + (fresh.size() == 1 ? from.column : 0)};
  const std::string_view before = Line(from.line).substr(0, static_cast<std::size_t>(from.column));
  const std::string_view behind = Line(to.line).substr(static_cast<std::size_t>(to.column));
  if (fresh.size() == 1) {
    fresh.front() = Keep((std::string(before) += fresh.front()) += behind);
  } else {
    fresh.front() = Keep(std::string(before) += fresh.front());
    fresh.back() = Keep(std::string(fresh.back()) += behind);
  }
  const bool merged = open_steps_ == 0 && MergesWithLast(from, to, text, merge);
  if (!merged) OpenStep();  // keeps the selection from before the change

  Change change{from.line, to.line - from.line + 1, std::move(fresh)};
  Swap(change);
  Touch();
  selection_ = {after, after};
  if (merged) {
    undo_.back().after = selection_;
    Tell(change);
    return;
  }
  open_.changes.push_back(std::move(change));
  run_ = nullptr;
  open_.merge = merge;
  CloseStep();
}

// Typing on one line undoes as one step, and so do deletions that follow each other; the first
// change of the run keeps the line as it was before.
bool ListModel::MergesWithLast(TextPosition from, TextPosition to, std::string_view text,
                               Merge merge) const {
  if (merge == Merge::kNone || undo_.empty() || !redo_.empty()) return false;
  const Step& last = undo_.back();
  if (last.merge != merge || last.changes.size() != 1 || !last.after.Empty()) return false;
  const Change& change = last.changes.front();
  return change.first == from.line && change.count == 1 && from.line == to.line &&
         text.find('\n') == std::string_view::npos &&
         (last.after.cursor == from || last.after.cursor == to);
}

void ListModel::Tell(const Change& change) const {
  if (listener_) listener_({change.first, change.lines, change.count});
}

namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

// UTF-16 units of a UTF-8 character that begins with `lead`: two from four bytes on.
int Units(char lead) { return static_cast<unsigned char>(lead) >= 0xf0 ? 2 : 1; }

std::int64_t Utf16Units(std::string_view utf8) {
  std::int64_t units = 0;
  for (const char c : utf8) {
    if (!IsContinuation(c)) units += Units(c);
  }
  return units;
}

}  // namespace

std::int64_t ListModel::Start(int k) const {
  while (starts_.size() <= static_cast<std::size_t>(k)) {
    const int before = static_cast<int>(starts_.size()) - 1;
    starts_.push_back(starts_.back() + Utf16Units(Line(before)) + 1);
  }
  return starts_[static_cast<std::size_t>(k)];
}

std::int64_t ListModel::Utf16Length() const {
  return Start(LineCount() - 1) + Utf16Units(lines_.back());
}

std::int64_t ListModel::Utf16Offset(TextPosition position) const {
  position = Clamp(position);
  return Start(position.line) +
         Utf16Units(Line(position.line).substr(0, static_cast<std::size_t>(position.column)));
}

TextPosition ListModel::PositionAtUtf16(std::int64_t offset) const {
  if (offset <= 0) return {};
  // Known starts first; past them, one line after another until the offset is passed.
  int line;
  if (offset < starts_.back()) {
    line = static_cast<int>(std::upper_bound(starts_.begin(), starts_.end(), offset) -
                            starts_.begin()) -
           1;
  } else {
    line = static_cast<int>(starts_.size()) - 1;
    while (line + 1 < LineCount() && Start(line + 1) <= offset) ++line;
  }
  const std::string_view text = Line(line);
  std::int64_t units = offset - Start(line);
  std::size_t column = 0;
  while (column < text.size()) {
    const int width = Units(text[column]);
    if (units < width) break;
    units -= width;
    do {
      ++column;
    } while (column < text.size() && IsContinuation(text[column]));
  }
  return {line, static_cast<int>(column)};
}
