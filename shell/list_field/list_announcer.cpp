#include "list_announcer.h"

#include <QAccessible>
#include <algorithm>
#include <string>
#include <utility>

ListAnnouncer::ListAnnouncer(QObject& list, const ListModel& model,
                             const std::function<void(QAccessibleEvent&)>& send)
    : list_(list), model_(model), send_(send) {}

bool ListAnnouncer::Listening() const { return send_ || QAccessible::isActive(); }

void ListAnnouncer::Send(QAccessibleEvent& event) const {
  if (send_) return send_(event);
  QAccessible::updateAccessibility(&event);
}

void ListAnnouncer::CaretMoved(const ListModel::Selection& before) {
  if (!Listening()) return;
  const ListModel::Selection& now = model_.selection();
  const bool selection_changed = !(now.Empty() && before.Empty()) &&
                                 (now.Start() != before.Start() || now.End() != before.End());
  if (selection_changed) {
    QAccessibleTextSelectionEvent event(&list_, static_cast<int>(model_.Utf16Offset(now.Start())),
                                        static_cast<int>(model_.Utf16Offset(now.End())));
    event.setCursorPosition(static_cast<int>(model_.Utf16Offset(now.cursor)));
    Send(event);
  }
  if (now.cursor != before.cursor) {
    QAccessibleTextCursorEvent event(&list_, static_cast<int>(model_.Utf16Offset(now.cursor)));
    Send(event);
  }
}

void ListAnnouncer::Changed(const LinesChanged& change) {
  if (!Listening()) return;
  if (change.in_place) {
    const ListModel::InPlace& edit = *change.in_place;
    const std::string_view typed = model_.Line(change.first)
                                       .substr(static_cast<std::size_t>(edit.column),
                                               static_cast<std::size_t>(edit.typed));
    if (typed == edit.erased) return;
    changes_.push_back({static_cast<int>(model_.Utf16Offset({change.first, edit.column})),
                        QString::fromUtf8(edit.erased.data(),
                                          static_cast<qsizetype>(edit.erased.size())),
                        QString::fromUtf8(typed.data(), static_cast<qsizetype>(typed.size()))});
    return;
  }
  std::string removed;
  for (std::size_t k = 0; k < change.removed.size(); ++k) {
    if (k > 0) removed += '\n';
    removed += change.removed[k];
  }
  std::string inserted;
  for (int k = change.first; k < change.first + change.inserted; ++k) {
    if (k > change.first) inserted += '\n';
    inserted += model_.Line(k);
  }
  std::int64_t at = model_.Utf16Offset({change.first, 0});
  const bool followed = change.first + change.inserted < model_.LineCount();
  // Whole lines that came or went take a line break with them: the one after them where a line
  // follows, else the one before.
  if (change.removed.empty() || change.inserted == 0) {
    std::string& whole = change.removed.empty() ? inserted : removed;
    if (followed) {
      whole += '\n';
    } else {
      whole.insert(0, 1, '\n');
      at = change.inserted == 0 ? model_.Utf16Length() : at - 1;
    }
  }
  QString old_text = QString::fromStdString(removed);
  QString new_text = QString::fromStdString(inserted);
  // Only what differs is told: a typed character is one inserted character, not a new line.
  qsizetype same_start = 0;
  const qsizetype shorter = std::min(old_text.size(), new_text.size());
  while (same_start < shorter && old_text[same_start] == new_text[same_start]) ++same_start;
  if (same_start > 0 && old_text[same_start - 1].isHighSurrogate()) --same_start;
  qsizetype same_end = 0;
  while (same_end < shorter - same_start &&
         old_text[old_text.size() - 1 - same_end] == new_text[new_text.size() - 1 - same_end]) {
    ++same_end;
  }
  if (same_end > 0 && old_text[old_text.size() - same_end].isLowSurrogate()) --same_end;
  old_text = old_text.mid(same_start, old_text.size() - same_start - same_end);
  new_text = new_text.mid(same_start, new_text.size() - same_start - same_end);
  if (old_text.isEmpty() && new_text.isEmpty()) return;
  changes_.push_back({static_cast<int>(at + same_start), old_text, new_text});
}

void ListAnnouncer::SendChanges() {
  for (const TextChange& change : std::exchange(changes_, {})) {
    if (change.removed.isEmpty()) {
      QAccessibleTextInsertEvent event(&list_, change.position, change.inserted);
      Send(event);
    } else if (change.inserted.isEmpty()) {
      QAccessibleTextRemoveEvent event(&list_, change.position, change.removed);
      Send(event);
    } else {
      QAccessibleTextUpdateEvent event(&list_, change.position, change.removed, change.inserted);
      Send(event);
    }
  }
}
