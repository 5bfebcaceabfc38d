#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QList>
#include <QString>
#include <QTextLayout>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "list_model.h"
#include "series_end.h"

class QAccessibleEvent;
class QDrag;
class QMimeData;
class QPainter;
class QTextLayout;

// The list of measurement values: a multi-line text field over a model that keeps the text as
// lines, which the evaluation reads and replaces in place. Only the lines in view are laid out
// and painted, so a list of a million lines pastes, evaluates, resets and undoes without stalling
// the window.
class MeasurementEdit : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit MeasurementEdit(QWidget* parent = nullptr);
  ~MeasurementEdit() override;

  // The lines, the selection and the undo history; the view follows every change of it.
  ListModel& model() { return model_; }
  const ListModel& model() const { return model_; }

  // The first line that no statistic reads: the first empty one, or LineCount().
  int SeriesEndLine() const { return series_end_.Find(model_); }

  // Selects line k and scrolls it into view.
  void SelectLine(int k);

  // Lines replaced while a group is open undo as one step and are shown when it closes.
  class EditGroup {
   public:
    explicit EditGroup(MeasurementEdit& edit) : edit_(edit), edits_(edit.model_.EditCount()) {
      edit_.model_.OpenStep();
    }
    ~EditGroup() {
      edit_.model_.CloseStep();
      if (edit_.model_.EditCount() != edits_) edit_.TextChanged();
    }
    EditGroup(const EditGroup&) = delete;
    EditGroup& operator=(const EditGroup&) = delete;

   private:
    MeasurementEdit& edit_;
    std::uint64_t edits_;
  };

  // The whole text, lines parted by '\n'.
  QString toPlainText() const;
  // Replaces the whole text; CR LF and CR become line breaks. Undo cannot bring back the old one.
  void setPlainText(const QString& text);
  int LineCount() const { return model_.LineCount(); }
  TextPosition CursorPosition() const { return model_.selection().cursor; }
  QString SelectedText() const;
  void SetSelection(TextPosition anchor, TextPosition cursor);
  // Where line k stands in the view, scrolled as it is.
  QRect LineRect(int k) const;
  // Puts text in place of the selection, as a paste does.
  void InsertText(const QString& text);

  void undo();
  void redo();
  void cut();
  void copy() const;
  void paste();
  void selectAll();

  // Hands an event on to screen readers; QAccessible::updateAccessibility unless replaced, and
  // then events are made even where no screen reader listens.
  std::function<void(QAccessibleEvent& event)> Announce;

  // Runs a drag that the list started and gives the action the drop took; QDrag::exec unless
  // replaced.
  std::function<Qt::DropAction(QDrag& drag)> RunDrag;

  // Answers queries that carry an argument, such as the length of ImTextBeforeCursor.
  Q_INVOKABLE QVariant inputMethodQuery(Qt::InputMethodQuery query, QVariant argument) const;

 signals:
  // After every change of the text, from the field or from elsewhere.
  void textChanged();
  // Data that carries local files was dropped on the list; its text is not inserted.
  void filesDropped(const QList<QUrl>& urls);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  friend class MeasurementEditAccessible;

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

  QString LineText(int k) const;
  // With `preedit`, the cursor's line shows the input method's text at the cursor.
  std::unique_ptr<QTextLayout> Layout(int k, bool preedit = false) const;
  int LineHeight() const;
  int FirstVisibleLine() const;
  int VisibleLines() const;
  QPointF LineOrigin(int k) const;
  TextPosition PositionAt(QPoint point) const;
  QRect CursorRect() const;
  // Where a caret at `position` stands in the view, without the input method's text.
  QRect CaretRect(TextPosition position) const;
  // The place of the character after `position` in the view.
  QRect CharacterRect(TextPosition position) const;
  // The position `utf16` UTF-16 units after (or before) `from`, clamped into the text.
  TextPosition StepUtf16(TextPosition from, std::int64_t utf16) const;
  TextPosition Moved(TextPosition from, Move move) const;
  bool HandleMove(QKeyEvent* event);
  bool HandleEdit(QKeyEvent* event);
  void Edit(std::string_view utf8, ListModel::Merge merge = ListModel::Merge::kNone);
  void Erase(Move move, ListModel::Merge merge);
  void MoveCursor(TextPosition cursor, bool keep_anchor);
  // Puts `text` in place of the text between two positions as one undo step.
  void ReplaceRange(TextPosition from, TextPosition to, const QString& text);
  // Called after every change of the text: scroll range, cursor in view, repaint.
  void TextChanged();
  // Tells the input method, screen readers and the primary selection where the caret and the
  // selection now stand.
  void CaretMoved();
  void UpdateScrollBars();
  void EnsureCursorVisible();
  void EnsureVisible(TextPosition position);
  void RestartBlink();
  void PaintSeriesEnd(QPainter& painter, int end) const;

  // Input method
  void ClearPreedit();
  void ApplyPreedit(const QInputMethodEvent& event);

  // Mouse: triple click, autoscroll, drag and drop
  bool InSelection(TextPosition position) const;
  void SelectLineWithBreak(int k);
  void AutoScroll();
  void StartDrag();
  void DropText(const QString& text, TextPosition at, bool move);
  void ShowDropCaret(std::optional<TextPosition> at);

  // Screen reader
  bool Announcing() const;
  void Send(QAccessibleEvent& event);
  void AnnounceCaret(const ListModel::Selection& before);
  // Text inserted, removed or replaced, from the model's report of a change.
  void AnnounceChange(const LinesChanged& change);

  ListModel model_;
  mutable SeriesEnd series_end_;
  int desired_x_ = -1;  // where up and down aim, kept over short lines
  bool caret_shown_ = true;
  bool selecting_ = false;  // the left button is down and drags the selection
  QBasicTimer blink_;

  QString preedit_;
  QList<QTextLayout::FormatRange> preedit_formats_;  // over the line with the preedit in it
  int preedit_cursor_ = 0;                           // into the preedit
  bool preedit_cursor_shown_ = true;

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
  std::optional<TextPosition> drop_caret_;
};
