#pragma once

#include <QAbstractScrollArea>
#include <QList>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <functional>
#include <memory>

#include "list_model.h"
#include "list_text_access.h"
#include "preedit.h"

class QAccessibleEvent;
class QDrag;
class ListControl;
class ListView;

// The list of measurement values: a multi-line text field over a model that keeps the text as
// lines, which the evaluation reads and replaces in place. Only the lines in view are laid out
// and painted, so a list of a million lines pastes, evaluates, resets and undoes without stalling
// the window. The widget hands painting and scrolling to its ListView and what the user does to
// its ListControl.
class MeasurementEdit : public QAbstractScrollArea, public ListTextAccess {
  Q_OBJECT

 public:
  explicit MeasurementEdit(QWidget* parent = nullptr);
  ~MeasurementEdit() override;

  // The lines, the selection and the undo history; the view follows every change of it.
  ListModel& model() { return model_; }
  const ListModel& model() const override { return model_; }

  // The first line that no statistic reads: the first empty one, or LineCount().
  int SeriesEndLine() const;

  // Selects line k and scrolls it into view.
  void SelectLine(int k);

  // Lines replaced while a group is open undo as one step and are shown when it closes.
  class EditGroup {
   public:
    explicit EditGroup(MeasurementEdit& edit);
    ~EditGroup();
    EditGroup(const EditGroup&) = delete;
    EditGroup& operator=(const EditGroup&) = delete;

   private:
    MeasurementEdit& edit_;
  };

  // The whole text, lines parted by '\n'.
  QString toPlainText() const;
  // Replaces the whole text; CR LF and CR become line breaks. Undo cannot bring back the old one.
  void setPlainText(const QString& text);
  int LineCount() const { return model_.LineCount(); }
  TextPosition CursorPosition() const { return model_.selection().cursor; }
  QString SelectedText() const;
  void SetSelection(TextPosition anchor, TextPosition cursor) override;
  // Where line k stands in the view, scrolled as it is.
  QRect LineRect(int k) const;
  QRect CharacterRect(TextPosition position) const override;
  TextPosition PositionAt(QPoint point) const override;
  void ScrollTo(TextPosition position) override;
  // Puts text in place of the selection, as a paste does.
  void InsertText(const QString& text);
  void ReplaceRange(TextPosition from, TextPosition to, const QString& text) override;

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
  // Before textChanged: `removed` lines from `first` on were replaced by `inserted` lines.
  void linesChanged(int first, int removed, int inserted);
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
  void scrollContentsBy(int dx, int dy) override;

 private:
  ListModel model_;
  Preedit preedit_;  // what the input method composes: the control changes it, the view shows it
  std::unique_ptr<ListView> view_;
  std::unique_ptr<ListControl> control_;  // last, so that it stops listening to the model first
};
