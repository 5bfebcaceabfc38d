#pragma once

#include <QBasicTimer>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QVariant>
#include <climits>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "list_announcer.h"
#include "list_model.h"
#include "series_end.h"

class MeasurementEdit;
class ListView;
struct Preedit;
class QContextMenuEvent;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QInputMethodEvent;
class QKeyEvent;
class QMimeData;
class QMouseEvent;

// What the list does with what the user gives it: keys, the input method, the mouse, drag and
// drop and the context menu become changes of the model and of its selection. Every change of
// the text, from here or from elsewhere, ends in FinishChange.
class ListControl : public QObject {
 public:
  ListControl(MeasurementEdit& edit, ListModel& model, ListView& view, Preedit& preedit);
  ~ListControl() override;

  int SeriesEndLine() const { return series_end_.Find(model_); }

  // Changes between these calls are finished as one when the outermost closes; with
  // `only_edited`, only if the text changed.
  void OpenChange();
  void CloseChange(bool only_edited = false);

  // Edit commands
  void SetText(const QString& text);
  void Select(TextPosition anchor, TextPosition cursor);
  void MoveCursor(TextPosition cursor, bool keep_anchor);
  void Insert(const QString& text);
  void ReplaceRange(TextPosition from, TextPosition to, const QString& text);
  void Undo();
  void Redo();
  void Cut();
  void Copy() const;
  void Paste();
  void Delete();
  QString SelectedText() const;

  // Keys
  // Claims the keys that edit the list before the window's shortcuts see them.
  bool ShortcutOverride(QKeyEvent& event) const;
  bool Key(QKeyEvent& event);

  // Input method
  void InputMethod(QInputMethodEvent& event);
  // UTF-16 units of a long line that an input method sees either side of the caret.
  static constexpr int kSurrounding = 1024;

  // Nothing for the queries the widget answers itself.
  std::optional<QVariant> Query(Qt::InputMethodQuery query, const QVariant& argument) const;
  // Any change that does not come from the input method ends its composition.
  void ClearPreedit();

  // Mouse, drag and drop, context menu
  void MousePress(QMouseEvent& event);
  void MouseMove(QMouseEvent& event);
  void MouseRelease(QMouseEvent& event);
  void MouseDoubleClick(QMouseEvent& event);
  void DragEnter(QDragEnterEvent& event);
  void DragMove(QDragMoveEvent& event);
  void DragLeave();
  void Drop(QDropEvent& event);
  void ContextMenu(QContextMenuEvent& event);

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  enum class Move {
    kNextChar,
    kPreviousChar,
    kNextWord,
    kPreviousWord,
    kNextLine,
    kPreviousLine,
    kNextPage,
    kPreviousPage,
    kStartOfLine,
    kEndOfLine,
    kStartOfText,
    kEndOfText
  };

  // Finishes the changes made while it stands, also when one of them throws.
  class Scope {
   public:
    explicit Scope(ListControl& control, bool only_edited = false)
        : control_(control), only_edited_(only_edited) {
      control_.OpenChange();
    }
    ~Scope() { control_.CloseChange(only_edited_); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    ListControl& control_;
    bool only_edited_;
  };

  // One change of the model, told by it while its removed lines are still there.
  void Changed(const LinesChanged& change);
  // Repaints, tells screen readers, moves the series' end and lets the window mark its results
  // stale; a change from the field also brings the caret into view.
  void FinishChange(bool from_field);
  // Tells the input method, screen readers and the primary selection where the caret and the
  // selection now stand.
  void CaretMoved();

  TextPosition Moved(TextPosition from, Move move) const;
  // The position `utf16` UTF-16 units after (or before) `from`, clamped into the text.
  TextPosition StepUtf16(TextPosition from, std::int64_t utf16) const;
  bool HandleMove(QKeyEvent& event);
  bool HandleEdit(QKeyEvent& event);
  void Edit(std::string_view utf8, ListModel::Merge merge = ListModel::Merge::kNone);
  // Removes the selection, or the text from the cursor to where `move` would take it.
  void Erase(Move move, ListModel::Merge merge);
  void ApplyPreedit(const QInputMethodEvent& event);
  std::pair<TextPosition, TextPosition> Surrounding() const;

  bool InSelection(TextPosition position) const;
  void SelectLineWithBreak(int k);
  void AutoScroll();
  void StartDrag();
  void DropText(const QString& text, TextPosition at, bool move);
  bool OwnDrag(const QDropEvent& event) const;
  void ShowDropCaret(std::optional<TextPosition> at);

  MeasurementEdit& edit_;
  ListModel& model_;
  ListView& view_;
  Preedit& preedit_;
  ListAnnouncer announcer_;
  mutable SeriesEnd series_end_;

  int changes_open_ = 0;
  std::uint64_t edits_at_open_ = 0;
  bool text_changed_ = false;     // since the last finished change

  int desired_x_ = -1;      // where up and down aim, kept over short lines
  bool selecting_ = false;  // the left button is down and drags the selection
  ListModel::Selection shown_;  // caret and selection as last announced
  QBasicTimer primary_;         // publishes the selection as the primary one
  QBasicTimer triple_click_;    // runs out when a third click no longer selects the line
  QPoint triple_click_point_;
  QBasicTimer autoscroll_;
  QPoint autoscroll_point_;    // the pointer while a selection is dragged beyond the view
  bool drag_pending_ = false;  // pressed inside the selection: a move starts a drag
  QPoint drag_start_;
  const QMimeData* drag_data_ = nullptr;  // the list's own drag while it runs
  bool dropped_here_ = false;
  bool drop_caret_shown_ = false;
};
