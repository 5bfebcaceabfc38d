#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QList>
#include <QString>
#include <QUrl>
#include <memory>
#include <string_view>

#include "list_model.h"

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

 signals:
  // Local files were dropped on the list; their text is not inserted.
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
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

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

  QString LineText(int k) const;
  std::unique_ptr<QTextLayout> Layout(int k) const;
  int LineHeight() const;
  int FirstVisibleLine() const;
  int VisibleLines() const;
  QPointF LineOrigin(int k) const;
  TextPosition PositionAt(QPoint point) const;
  QRect CursorRect() const;
  TextPosition Moved(TextPosition from, Move move) const;
  bool HandleMove(QKeyEvent* event);
  bool HandleEdit(QKeyEvent* event);
  void Edit(std::string_view utf8, ListModel::Merge merge = ListModel::Merge::kNone);
  void Erase(Move move, ListModel::Merge merge);
  void MoveCursor(TextPosition cursor, bool keep_anchor);
  // Called after every change of the text: scroll range, cursor in view, repaint.
  void TextChanged();
  void UpdateScrollBars();
  void EnsureCursorVisible();
  void RestartBlink();

  ListModel model_;
  int desired_x_ = -1;  // where up and down aim, kept over short lines
  bool caret_shown_ = true;
  bool selecting_ = false;  // the left button is down and drags the selection
  QBasicTimer blink_;
};
