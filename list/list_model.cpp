#include "list_model.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <utility>

#include "blocks16.h"
#include "platform.h"

namespace {

// What a kept text costs beyond its characters: its record and the allocator's share.
constexpr std::size_t kKeptOverhead = 96;
// Texts kept beyond twice what was viewed at the last sorting out, and at least this much more,
// start the next one.
constexpr std::size_t kSlack = std::size_t{1} << 20;
// Memory freed is handed back to the system once this much has been freed.
constexpr std::size_t kGiveBackFrom = std::size_t{8} << 20;
// Changes of fewer lines keep a view for each.
constexpr std::size_t kShortestRun = 64;

// A text this long is kept once however often it comes: pasting the same series again costs
// nothing more.
constexpr std::size_t kShareFrom = std::size_t{64} << 10;

// Room on each side of a line edited in place, beyond the growth asked for: an eighth of the
// line, so that a line grows by a copy of itself only now and then.
std::size_t Room(std::size_t size, std::size_t growth) {
  return std::max<std::size_t>(64, (size + growth) / 8) + growth;
}

// Bytes of `text` outside ASCII, eight at a time.
std::size_t Wide(std::string_view text) {
  std::size_t wide = 0;
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    word &= 0x8080808080808080u;
    if (word != 0) wide += static_cast<std::size_t>(std::popcount(word));
  }
  for (; i < text.size(); ++i) wide += (text[i] & 0x80) != 0;
  return wide;
}

// Freed blocks in the middle of the heap go back to the system only when asked.
void GiveBack() { messwerte::platform::GiveBackFreedMemory(); }

}  // namespace

ListModel::Lines ListModel::Split(std::string_view text) {
  using messwerte::blocks16::Matches;
  Lines lines;
  lines.reserve(messwerte::CountLineFeeds(text) + 1);
  // Sixteen bytes at a time: lines are short, a search call for each would cost more.
  std::size_t begin = 0, i = 0;
  for (; i + 16 <= text.size(); i += 16) {
    for (unsigned found = Matches(text.data() + i, '\n'); found != 0; found &= found - 1) {
      const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(found));
      lines.push_back(Ref(text.substr(begin, at - begin)));
      begin = at + 1;
    }
  }
  for (; i < text.size(); ++i) {
    if (text[i] != '\n') continue;
    lines.push_back(Ref(text.substr(begin, i - begin)));
    begin = i + 1;
  }
  lines.push_back(Ref(text.substr(begin)));
  return lines;
}

std::string_view ListModel::Keep(std::string text) {
  if (text.empty()) return {};
  if (text.size() >= kShareFrom) {
    const auto [from, to] = long_texts_.equal_range(text.size());
    for (auto it = from; it != to; ++it) {
      if (std::equal(text.begin(), text.end(), it->second)) return {it->second, text.size()};
    }
  }
  auto owned = std::make_unique<std::string>(std::move(text));
  const std::string_view view = *owned;
  kept_bytes_ += view.size() + kKeptOverhead;
  texts_.emplace(view.data(), Kept{std::move(owned)});
  if (view.size() >= kShareFrom) long_texts_.emplace(view.size(), view.data());
  return view;
}

std::string_view ListModel::KeepEditable(std::initializer_list<std::string_view> parts,
                                         std::size_t growth) {
  std::size_t size = 0;
  for (const std::string_view part : parts) size += part.size();
  const std::size_t room = Room(size, growth);
  auto owned = std::make_unique<std::string>();
  owned->reserve(size + 2 * room);
  owned->append(room, ' ');
  for (const std::string_view part : parts) owned->append(part);
  owned->append(room, ' ');
  editable_ = owned.get();
  front_ = room;
  const std::string_view line(editable_->data() + front_, size);
  wide_ = Wide(line);
  units_ = wide_ == 0 ? std::ssize(line) : Utf16Units(line);
  kept_bytes_ += owned->size() + kKeptOverhead;
  texts_.emplace(editable_->data(), Kept{std::move(owned)});
  return line;
}

std::string_view ListModel::KeepLine(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (const std::string_view part : parts) size += part.size();
  if (size >= kInPlaceFrom) return KeepEditable(parts, 0);
  std::string line;
  line.reserve(size);
  for (const std::string_view part : parts) line += part;
  return Keep(std::move(line));
}

void ListModel::MakeEditable(int k, std::size_t growth) {
  LineRef& line = lines_[static_cast<std::size_t>(k)];
  std::string* const was = Editable(k) ? editable_ : nullptr;
  line = Ref(KeepEditable({line}, growth));
  // Only the line viewed the text it outgrew.
  if (was) {
    kept_bytes_ -= was->size() + kKeptOverhead;
    released_ += was->size() + kKeptOverhead;
    texts_.erase(was->data());
  }
}

void ListModel::EditLine(int k, std::size_t column, std::size_t count, std::string_view text) {
  std::size_t size = lines_[static_cast<std::size_t>(k)].size();
  const std::size_t tail = size - column - count;
  const std::ptrdiff_t growth =
      static_cast<std::ptrdiff_t>(text.size()) - static_cast<std::ptrdiff_t>(count);
  const auto fits = [&](std::size_t room) {
    return growth <= 0 || static_cast<std::size_t>(growth) <= room;
  };
  if (!fits(front_) && !fits(editable_->size() - front_ - size)) {
    MakeEditable(k, static_cast<std::size_t>(growth));
  }
  char* const base = editable_->data();
  const std::size_t back = editable_->size() - front_ - size;
  const std::string_view erased(base + front_ + column, count);
  units_ += Utf16Units(text) - Utf16Units(erased);
  wide_ = wide_ + Wide(text) - Wide(erased);
  if (column <= tail ? fits(front_) : !fits(back)) {
    std::memmove(base + front_ - growth, base + front_, column);
    front_ = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(front_) - growth);
  } else {
    std::memmove(base + front_ + column + text.size(), base + front_ + column + count, tail);
  }
  if (!text.empty()) std::memcpy(base + front_ + column, text.data(), text.size());
  size = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(size) + growth);
  // Nothing else views the line: a long one keeps its view where the view is kept.
  long_views_.Renew(lines_[static_cast<std::size_t>(k)], {base + front_, size});
  Moved(k);
}

ListModel::Kept* ListModel::Owner(const char* at) const {
  auto it = texts_.upper_bound(at);
  if (it == texts_.begin()) return nullptr;
  --it;
  const std::string& text = *it->second.text;
  if (Address(at) >= Address(text.data()) + text.size()) return nullptr;
  return const_cast<Kept*>(&it->second);
}

void ListModel::ReplaceLineInStep(int k, std::string_view text) {
  if (k < 0 || k >= LineCount()) return;
  LineRef& line = lines_[static_cast<std::size_t>(k)];
  if (line.view() == text) return;
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
    run_ = &open_.changes.emplace_back(Change{k, 0, {}, {}, 0});
    run_->lines.reserve(lines_.size() - static_cast<std::size_t>(k));
  }
  Freeze(line);
  run_->lines.push_back(line);
  ++run_->count;
  line = Ref(fresh);
  Moved(k);
  CloseStep();
}

void ListModel::SetText(std::string_view text) {
  // A single long line is edited in place from the start.
  const bool editable = text.size() >= kInPlaceFrom && text.find('\n') == std::string_view::npos;
  std::string whole(editable ? std::string_view() : text);  // `text` may be about to be dropped
  std::unique_ptr<std::string> alone;
  std::size_t front = 0;
  if (editable) {
    front = Room(text.size(), 0);
    alone = std::make_unique<std::string>();
    alone->reserve(text.size() + 2 * front);
    alone->append(front, ' ').append(text).append(front, ' ');
  }
  editable_ = nullptr;
  // The open step's changes are told now and then dropped with the history: no step may keep
  // views into the texts that go.
  for (const Change& change : open_.changes) Tell(change);
  open_.changes.clear();
  run_ = nullptr;
  undo_.clear();
  redo_.clear();
  released_ += history_bytes_ + kept_bytes_ + lines_.size() * sizeof lines_[0];
  history_bytes_ = 0;
  {
    const std::map<const char*, Kept> old_texts = std::exchange(texts_, {});
    long_texts_.clear();
    kept_bytes_ = 0;
    Lines fresh;
    if (alone) {
      editable_ = alone.get();
      front_ = front;
      const std::string_view line(alone->data() + front, text.size());
      fresh.push_back(Ref(line));
      wide_ = Wide(line);
      units_ = wide_ == 0 ? std::ssize(line) : Utf16Units(line);
      kept_bytes_ += alone->size() + kKeptOverhead;
      const char* const at = alone->data();
      texts_.emplace(at, Kept{std::move(alone)});
    } else {
      fresh = Split(Keep(std::move(whole)));
    }
    Change change{0, 0, std::exchange(lines_, std::move(fresh)), {}, 0};
    change.count = LineCount();
    viewed_bytes_ = kept_bytes_;
    dropped_ = false;
    selection_ = {};
    Moved(0);
    Touch();
    Tell(change);
  }
  Tidy();
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

void ListModel::InsertOwned(std::string&& text, Merge merge) {
  if (text.find('\n') == std::string::npos) return Insert(std::string_view(text), merge);
  Replace(selection_.Start(), selection_.End(), Keep(std::move(text)), merge, true);
}

void ListModel::Erase(TextPosition from, TextPosition to, Merge merge) {
  from = Clamp(from);
  to = Clamp(to);
  if (to < from) std::swap(from, to);
  if (from == to) return;
  Replace(from, to, {}, merge);
}

void ListModel::InsertLines(int k, std::string_view text, bool join) {
  k = std::clamp(k, 0, LineCount());
  Lines fresh = Split(Keep(std::string(text)));
  const int count = static_cast<int>(fresh.size());
  Selection selection = selection_;
  for (TextPosition* position : {&selection.anchor, &selection.cursor}) {
    if (position->line >= k) position->line += count;
  }
  Change change{k, 0, std::move(fresh), {}, 0};
  Swap(change);
  Touch();
  if (join && open_steps_ == 0 && redo_.empty() && !undo_.empty() &&
      undo_.back().merge == Merge::kLines) {
    Change& last = undo_.back().changes.back();
    if (last.lines.empty() && last.run.empty() && last.first + last.count == k) {
      last.count += count;
      selection_ = undo_.back().after = selection;
      Tell(change);
      Tidy();
      return;
    }
  }
  const bool outermost = open_steps_ == 0;
  OpenStep();
  open_.changes.push_back(std::move(change));
  run_ = nullptr;
  if (outermost) open_.merge = Merge::kLines;
  selection_ = selection;
  CloseStep();
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
  if (!open_.changes.empty()) {
    for (const Change& change : open_.changes) Tell(change);
    open_.after = selection_;
    if (!redo_.empty()) {
      for (const Step& step : redo_) {
        history_bytes_ -= step.bytes;
        released_ += step.bytes;
      }
      redo_.clear();
      dropped_ = true;
    }
    Record(std::exchange(open_, Step{}));
  }
  Tidy();
}

void ListModel::Record(Step step) {
  Push(undo_, std::move(step));
  FitHistory();
}

// The newest step of each stack keeps a view for each line it took out, which costs nothing
// more when it is undone or redone at once; once another step comes on top of it, long
// stretches of its lines are kept as their text.
void ListModel::Push(std::deque<Step>& stack, Step step) {
  if (!stack.empty()) {
    Step& below = stack.back();
    history_bytes_ -= below.bytes;
    for (Change& change : below.changes) Compact(change);
    below.bytes = Bytes(below);
    history_bytes_ += below.bytes;
  }
  step.bytes = Bytes(step);
  history_bytes_ += step.bytes;
  stack.push_back(std::move(step));
}

void ListModel::SetHistoryBudget(std::size_t bytes) {
  history_budget_ = bytes;
  FitHistory();
  Tidy();
}

void ListModel::FitHistory() {
  while (history_bytes_ > history_budget_ && undo_.size() > 1) {
    history_bytes_ -= undo_.front().bytes;
    released_ += undo_.front().bytes;
    undo_.pop_front();
    dropped_ = true;
  }
}

std::size_t ListModel::Bytes(const Step& step) {
  std::size_t bytes = sizeof(Step);
  for (const Change& change : step.changes) {
    bytes += sizeof(Change) + change.run.size() + change.bytes.size() +
             change.lines.size() * sizeof(LineRef);
    for (const LineRef line : change.lines) bytes += line.size();
  }
  return bytes;
}

void ListModel::Tidy() {
  if (open_steps_ > 0) return;
  if (dropped_ || kept_bytes_ > 2 * viewed_bytes_ + kSlack) Collect();
  // Asking costs a walk over the whole heap: only once much has come together.
  if (released_ >= kGiveBackFrom) {
    GiveBack();
    released_ = 0;
  }
}

// Marks every text that a line or a step views and frees the others.
void ListModel::Collect() {
  // Neighbouring lines mostly view the same text: it is looked up once for them.
  std::uintptr_t low = 0, high = 0;
  const auto mark = [&](std::string_view view) {
    if (view.empty() || (Address(view.data()) >= low && Address(view.data()) < high)) return;
    Kept* owner = Owner(view.data());
    if (!owner) return;
    owner->viewed = true;
    low = Address(owner->text->data());
    high = low + owner->text->size();
  };
  const auto mark_line = [&](LineRef line) {
    long_views_.Mark(line);
    mark(line);
  };
  const auto mark_step = [&](const Step& step) {
    for (const Change& change : step.changes) {
      mark(change.run);
      for (const LineRef line : change.lines) mark_line(line);
    }
  };
  for (const LineRef line : lines_) mark_line(line);
  if (editable_) texts_.find(editable_->data())->second.viewed = true;
  for (const Step& step : undo_) mark_step(step);
  for (const Step& step : redo_) mark_step(step);
  mark_step(open_);
  std::size_t freed = 0;
  for (auto it = texts_.begin(); it != texts_.end();) {
    if (it->second.viewed) {
      it->second.viewed = false;
      ++it;
    } else {
      const std::size_t size = it->second.text->size();
      if (size >= kShareFrom) {
        // A text that was edited in place is not among them.
        const auto [from, to] = long_texts_.equal_range(size);
        const auto entry =
            std::find_if(from, to, [&](const auto& entry) { return entry.second == it->first; });
        if (entry != to) long_texts_.erase(entry);
      }
      freed += size + kKeptOverhead;
      it = texts_.erase(it);
    }
  }
  long_views_.Sweep();
  kept_bytes_ -= freed;
  viewed_bytes_ = kept_bytes_;
  dropped_ = false;
  released_ += freed;
}

void ListModel::Expand(Change& change) {
  if (change.run.empty()) return;
  const Lines run = Split(change.run);
  change.lines.insert(change.lines.begin() + static_cast<std::ptrdiff_t>(change.run_at),
                      run.begin(), run.end());
  change.run = {};
}

// Keeps the longest stretch of lines that follow each other in one kept text, with one break
// between them, as that text.
void ListModel::Compact(Change& change) {
  const Lines& lines = change.lines;
  if (!change.run.empty() || lines.size() < kShortestRun) return;
  std::size_t best_from = 0, best_to = 0, from = 0;
  for (std::size_t k = 1; k <= lines.size(); ++k) {
    if (k == lines.size() || lines[k - 1].data() == nullptr ||
        Address(lines[k].data()) != Address(lines[k - 1].data()) + lines[k - 1].size() + 1) {
      if (k - from > best_to - best_from) {
        best_from = from;
        best_to = k;
      }
      from = k;
    }
  }
  if (best_to - best_from < kShortestRun) return;
  const char* begin = lines[best_from].data();
  const std::string_view last = lines[best_to - 1].view();
  const Kept* owner = Owner(begin);
  if (!owner ||
      Address(last.data()) + last.size() > Address(owner->text->data()) + owner->text->size()) {
    return;
  }
  for (std::size_t k = best_from; k + 1 < best_to; ++k) {
    if (lines[k].data()[lines[k].size()] != '\n') return;
  }
  Lines rest;
  rest.reserve(lines.size() - (best_to - best_from));
  rest.insert(rest.end(), lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(best_from));
  rest.insert(rest.end(), lines.begin() + static_cast<std::ptrdiff_t>(best_to), lines.end());
  released_ += (lines.capacity() - rest.size()) * sizeof lines[0];
  change.run = {begin, static_cast<std::size_t>(last.data() + last.size() - begin)};
  change.run_at = best_from;
  change.lines = std::move(rest);
}

void ListModel::Undo() {
  if (undo_.empty() || open_steps_ > 0) return;
  Step step = std::move(undo_.back());
  undo_.pop_back();
  history_bytes_ -= step.bytes;
  for (auto it = step.changes.rbegin(); it != step.changes.rend(); ++it) {
    Swap(*it);
    Tell(*it);
  }
  selection_ = step.before;
  step.merge = Merge::kNone;
  Push(redo_, std::move(step));
  Touch();
  Tidy();
}

void ListModel::Redo() {
  if (redo_.empty() || open_steps_ > 0) return;
  Step step = std::move(redo_.back());
  redo_.pop_back();
  history_bytes_ -= step.bytes;
  for (Change& change : step.changes) {
    Swap(change);
    Tell(change);
  }
  selection_ = step.after;
  Push(undo_, std::move(step));
  Touch();
  FitHistory();
  Tidy();
}

void ListModel::Swap(Change& change) {
  if (change.in_place) {
    if (!Editable(change.first)) MakeEditable(change.first, change.bytes.size());
    std::string now(Line(change.first).substr(change.column, change.length));
    EditLine(change.first, change.column, change.length, change.bytes);
    change.length = change.bytes.size();
    change.bytes = std::move(now);
    return;
  }
  Expand(change);
  Moved(change.first);
  const auto first = lines_.begin() + change.first;
  const int count = static_cast<int>(change.lines.size());
  if (count == change.count) {
    std::swap_ranges(change.lines.begin(), change.lines.end(), first);
    for (const LineRef line : change.lines) Freeze(line);
    return;
  }
  // All lines at once, as opening a file replaces them: the two lists change places, with no
  // third list of them all in between.
  if (change.first == 0 && change.count == LineCount()) {
    // The text edited in place goes out with the lines, unless an edit has just made it for
    // its first or last new line.
    const bool stays = !change.lines.empty() &&
                       (InEditable(change.lines.front()) || InEditable(change.lines.back()));
    std::swap(lines_, change.lines);
    change.count = count;
    if (!stays) editable_ = nullptr;
    return;
  }
  Lines taken(first, first + change.count);
  for (const LineRef line : taken) Freeze(line);
  const auto at = lines_.erase(first, first + change.count);
  lines_.insert(at, change.lines.begin(), change.lines.end());
  change.lines = std::move(taken);
  change.count = count;
  // Room left by many removed lines goes back.
  if (lines_.capacity() > 4 * lines_.size() && lines_.capacity() * sizeof lines_[0] > kSlack) {
    released_ += (lines_.capacity() - lines_.size()) * sizeof lines_[0];
    lines_.shrink_to_fit();
  }
}

void ListModel::Replace(TextPosition from, TextPosition to, std::string_view text, Merge merge,
                        bool kept) {
  if (open_steps_ == 0 && from.line == to.line && text.find('\n') == std::string_view::npos) {
    const bool after_in_place =
        MergesWithLast(from, to, text, merge) && undo_.back().changes.front().in_place;
    if (after_in_place || Line(from.line).size() + text.size() >= kInPlaceFrom) {
      return EditInPlace(from, to, text, merge);
    }
  }
  // The new lines: the first begins with what stood before `from`, the last ends with what stood
  // after `to`, and lines in between are views into the kept text as it was given.
  Lines fresh =
      Split(kept || text.find('\n') == std::string_view::npos ? text : Keep(std::string(text)));
  const TextPosition after{
      from.line + static_cast<int>(fresh.size()) - 1,
      static_cast<int>(fresh.back().size()) + (fresh.size() == 1 ? from.column : 0)};
  const std::string_view before = Line(from.line).substr(0, static_cast<std::size_t>(from.column));
  const std::string_view behind = Line(to.line).substr(static_cast<std::size_t>(to.column));
  // A long line comes with room to be edited in place.
  if (fresh.size() == 1) {
    fresh.front() = Ref(KeepLine({before, fresh.front(), behind}));
  } else {
    fresh.front() = Ref(KeepLine({before, fresh.front()}));
    fresh.back() = Ref(KeepLine({fresh.back(), behind}));
  }
  const bool merged = open_steps_ == 0 && MergesWithLast(from, to, text, merge);
  if (!merged) OpenStep();  // keeps the selection from before the change

  Change change{from.line, to.line - from.line + 1, std::move(fresh), {}, 0};
  Swap(change);
  Touch();
  selection_ = {after, after};
  if (merged) {
    undo_.back().after = selection_;
    Tell(change);
    Tidy();
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

void ListModel::EditInPlace(TextPosition from, TextPosition to, std::string_view text,
                            Merge merge) {
  const int k = from.line;
  const auto a = static_cast<std::size_t>(from.column);
  const auto b = static_cast<std::size_t>(to.column);
  const std::string_view line = Line(k);
  // Text out of the line itself would change while it goes in.
  std::string copy;
  if (!text.empty() && Address(text.data()) < Address(line.data()) + line.size() &&
      Address(text.data()) + text.size() > Address(line.data())) {
    text = copy = std::string(text);
  }
  std::string erased(line.substr(a, b - a));
  bool merged = MergesWithLast(from, to, text, merge);
  Change* const last = merged ? &undo_.back().changes.front() : nullptr;
  // A run's bytes in the step: the stretch they changed, grown by what this edit changes.
  if (last && last->in_place && (a > last->column + last->length || b < last->column)) {
    merged = false;
  }
  if (!Editable(k)) MakeEditable(k, text.size());
  EditLine(k, a, b - a, text);
  Touch();
  const TextPosition after{k, from.column + static_cast<int>(text.size())};
  if (!merged) {
    OpenStep();
    Change change{k, 1, {}, {}, 0};
    change.in_place = true;
    change.column = a;
    change.length = text.size();
    change.bytes = std::move(erased);
    open_.changes.push_back(std::move(change));
    run_ = nullptr;
    open_.merge = merge;
    selection_ = {after, after};
    return CloseStep();
  }
  selection_ = {after, after};
  Step& step = undo_.back();
  step.after = selection_;
  if (last->in_place) {
    const std::size_t end = last->column + last->length;
    const std::size_t low = std::min(a, last->column);
    const std::size_t high = std::max(b, end);
    std::string bytes = erased.substr(0, last->column > a ? last->column - a : 0);
    bytes += last->bytes;
    if (b > end) bytes += std::string_view(erased).substr(end - a);
    last->bytes = std::move(bytes);
    last->column = low;
    last->length = high - low - (b - a) + text.size();
    history_bytes_ -= step.bytes;
    step.bytes = Bytes(step);
    history_bytes_ += step.bytes;
  }
  if (listener_) {
    const InPlace edit{from.column, erased, static_cast<int>(text.size())};
    listener_({k, {}, 1, &edit});
  }
  Tidy();
}

void ListModel::Tell(const Change& change) const {
  if (!listener_) return;
  if (change.in_place) {
    const InPlace edit{static_cast<int>(change.column), change.bytes,
                       static_cast<int>(change.length)};
    return listener_({change.first, {}, 1, &edit});
  }
  listener_({change.first, change.lines, change.count});
}

namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

// UTF-16 units of a UTF-8 character that begins with `lead`: two from four bytes on.
int Units(char lead) { return static_cast<unsigned char>(lead) >= 0xf0 ? 2 : 1; }

}  // namespace

std::int64_t Utf16Units(std::string_view utf8) {
  std::int64_t units = 0;
  for (const char c : utf8) {
    if (!IsContinuation(c)) units += Units(c);
  }
  return units;
}

std::int64_t ListModel::BlockStart(std::size_t b) const {
  if (starts_.size() <= b && starts_.capacity() <= b) {
    starts_.reserve(static_cast<std::size_t>(LineCount()) / kBlock + 1);
  }
  while (starts_.size() <= b) {
    const std::size_t from = (starts_.size() - 1) * kBlock;
    std::int64_t start = starts_.back();
    for (std::size_t k = from; k < from + kBlock; ++k) start += LineUnits(static_cast<int>(k)) + 1;
    starts_.push_back(start);
  }
  return starts_[b];
}

std::int64_t ListModel::Start(int k) const {
  const std::size_t line = static_cast<std::size_t>(k);
  std::int64_t start = BlockStart(line / kBlock);
  for (std::size_t j = line / kBlock * kBlock; j < line; ++j) {
    start += LineUnits(static_cast<int>(j)) + 1;
  }
  return start;
}

std::int64_t ListModel::LineUnits(int k) const {
  return Editable(k) ? units_ : Utf16Units(lines_[static_cast<std::size_t>(k)]);
}

// Counted from the nearer end of a line edited in place.
std::int64_t ListModel::PrefixUnits(int k, int column) const {
  const std::string_view line = Line(k);
  const auto at = static_cast<std::size_t>(column);
  if (!Editable(k)) return Utf16Units(line.substr(0, at));
  if (wide_ == 0) return column;
  return at <= line.size() / 2 ? Utf16Units(line.substr(0, at))
                               : units_ - Utf16Units(line.substr(at));
}

std::int64_t ListModel::Utf16Length() const {
  return Start(LineCount() - 1) + LineUnits(LineCount() - 1);
}

std::int64_t ListModel::Utf16Offset(TextPosition position) const {
  position = Clamp(position);
  return Start(position.line) + PrefixUnits(position.line, position.column);
}

TextPosition ListModel::PositionAtUtf16(std::int64_t offset) const {
  if (offset <= 0) return {};
  // The last block that starts at or before the offset: among the known starts, or past them
  // one block after another; then the line in it.
  std::size_t block;
  if (offset < starts_.back()) {
    block = static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) -
                                     starts_.begin()) -
            1;
  } else {
    const std::size_t last = static_cast<std::size_t>(LineCount() - 1) / kBlock;
    block = starts_.size() - 1;
    while (block < last && BlockStart(block + 1) <= offset) ++block;
  }
  int line = static_cast<int>(block * kBlock);
  std::int64_t start = starts_[block];
  while (line + 1 < LineCount() && (line + 1) % static_cast<int>(kBlock) != 0) {
    const std::int64_t next = start + LineUnits(line) + 1;
    if (next > offset) break;
    start = next;
    ++line;
  }
  const std::string_view text = Line(line);
  std::int64_t units = offset - start;
  // A line edited in place that holds only ASCII has a unit for each byte.
  if (Editable(line) && wide_ == 0) {
    return {line, static_cast<int>(std::min<std::int64_t>(units, std::ssize(text)))};
  }
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
