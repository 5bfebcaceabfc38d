#include "measurement_edit.h"

#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include "list_control.h"
#include "list_text.h"
#include "list_view.h"
#include "measurement_edit_accessible.h"

MeasurementEdit::MeasurementEdit(QWidget* parent)
    : QAbstractScrollArea(parent),
      view_(std::make_unique<ListView>(*this, model_, preedit_)),
      control_(std::make_unique<ListControl>(*this, model_, *view_, preedit_)) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  verticalScrollBar()->setSingleStep(1);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  view_->UpdateScrollBars();
  InstallMeasurementEditAccessibility();
}

MeasurementEdit::~MeasurementEdit() = default;

MeasurementEdit::EditGroup::EditGroup(MeasurementEdit& edit) : edit_(edit) {
  edit_.control_->OpenChange();
  edit_.model_.OpenStep();
}

MeasurementEdit::EditGroup::~EditGroup() {
  edit_.model_.CloseStep();
  edit_.control_->CloseChange(true);
}

int MeasurementEdit::SeriesEndLine() const { return control_->SeriesEndLine(); }

void MeasurementEdit::SelectLine(int k) {
  if (k < 0 || k >= LineCount()) return;
  SetSelection({k, 0}, {k, static_cast<int>(model_.Line(k).size())});
}

QString MeasurementEdit::toPlainText() const { return list_text::FromUtf8(model_.Text()); }

void MeasurementEdit::setPlainText(const QString& text) { control_->SetText(text); }

QString MeasurementEdit::SelectedText() const { return control_->SelectedText(); }

void MeasurementEdit::SetSelection(TextPosition anchor, TextPosition cursor) {
  control_->Select(anchor, cursor);
}

QRect MeasurementEdit::LineRect(int k) const { return view_->LineRect(k); }

QRect MeasurementEdit::CharacterRect(TextPosition position) const {
  return view_->CharacterRect(position);
}

TextPosition MeasurementEdit::PositionAt(QPoint point) const { return view_->PositionAt(point); }

void MeasurementEdit::ScrollTo(TextPosition position) { view_->EnsureVisible(position); }

void MeasurementEdit::InsertText(const QString& text) { control_->Insert(text); }

void MeasurementEdit::ReplaceRange(TextPosition from, TextPosition to, const QString& text) {
  control_->ReplaceRange(from, to, text);
}

void MeasurementEdit::undo() { control_->Undo(); }
void MeasurementEdit::redo() { control_->Redo(); }
void MeasurementEdit::cut() { control_->Cut(); }
void MeasurementEdit::copy() const { control_->Copy(); }
void MeasurementEdit::paste() { control_->Paste(); }
void MeasurementEdit::selectAll() { SetSelection({}, model_.End()); }

bool MeasurementEdit::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride &&
      control_->ShortcutOverride(*static_cast<QKeyEvent*>(event))) {
    event->accept();
    return true;
  }
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    view_->LinesChanged(0);
    view_->UpdateScrollBars();
    view_->Update();
  }
  return QAbstractScrollArea::event(event);
}

void MeasurementEdit::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  view_->Paint(painter, event->rect(), SeriesEndLine());
}

void MeasurementEdit::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  view_->UpdateScrollBars();
}

void MeasurementEdit::keyPressEvent(QKeyEvent* event) {
  if (control_->Key(*event)) {
    event->accept();
    return;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

void MeasurementEdit::inputMethodEvent(QInputMethodEvent* event) { control_->InputMethod(*event); }

QVariant MeasurementEdit::inputMethodQuery(Qt::InputMethodQuery query) const {
  return inputMethodQuery(query, {});
}

QVariant MeasurementEdit::inputMethodQuery(Qt::InputMethodQuery query, QVariant argument) const {
  if (auto answer = control_->Query(query, argument)) return *answer;
  return QAbstractScrollArea::inputMethodQuery(query);
}

void MeasurementEdit::mousePressEvent(QMouseEvent* event) { control_->MousePress(*event); }
void MeasurementEdit::mouseMoveEvent(QMouseEvent* event) { control_->MouseMove(*event); }
void MeasurementEdit::mouseReleaseEvent(QMouseEvent* event) { control_->MouseRelease(*event); }
void MeasurementEdit::mouseDoubleClickEvent(QMouseEvent* event) {
  control_->MouseDoubleClick(*event);
}
void MeasurementEdit::dragEnterEvent(QDragEnterEvent* event) { control_->DragEnter(*event); }
void MeasurementEdit::dragMoveEvent(QDragMoveEvent* event) { control_->DragMove(*event); }
void MeasurementEdit::dragLeaveEvent(QDragLeaveEvent*) { control_->DragLeave(); }
void MeasurementEdit::dropEvent(QDropEvent* event) { control_->Drop(*event); }
void MeasurementEdit::contextMenuEvent(QContextMenuEvent* event) { control_->ContextMenu(*event); }

void MeasurementEdit::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  view_->RestartBlink();
  view_->Update();
}

void MeasurementEdit::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  view_->StopBlink();
  view_->Update();
}

void MeasurementEdit::scrollContentsBy(int, int) { viewport()->update(); }
