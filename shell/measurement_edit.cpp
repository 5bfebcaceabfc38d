#include "measurement_edit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <limits>

namespace {

constexpr std::size_t kChunkSize = 1 << 20;

// A line break inside a replacement would add a line; it becomes a blank.
std::string WithoutBreaks(std::string_view text) {
  std::string clean(text);
  std::replace_if(
      clean.begin(), clean.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  return clean;
}

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

MeasurementEdit::MeasurementEdit(QWidget* parent) : QPlainTextEdit(parent) {
  setTabChangesFocus(true);
  connect(document(), &QTextDocument::contentsChange, this, [this] {
    revision_ = messwerte::NewRevision();
    if (applying_) return;
    ForgetSnapshot();
    // Someone else changed the text under a sliced edit, so its positions no longer hold.
    if (pending_) {
      paste_text_.clear();
      paste_cursor_ = QTextCursor();
      replaced_.clear();
      EndPending();
    }
  });
  slice_timer_.setInterval(0);
  connect(&slice_timer_, &QTimer::timeout, this, [this] { StepPending(slice_lines_); });
}

void MeasurementEdit::FinishPendingEdit() {
  if (pending_) StepPending(std::numeric_limits<qsizetype>::max());
}

std::string_view MeasurementEdit::ReadLine(int k) {
  FinishPendingEdit();
  if (k < 0) return {};
  const auto line = static_cast<std::size_t>(k);
  while (line >= lines_.size() && ReadNextLine()) {
  }
  return line < lines_.size() ? lines_[line] : std::string_view();
}

void MeasurementEdit::ReplaceLine(int k, std::string_view text) {
  ReadLine(k);
  if (k < 0 || static_cast<std::size_t>(k) >= lines_.size()) return;  // no such line to keep
  std::string clean = WithoutBreaks(text);
  lines_[static_cast<std::size_t>(k)] = Store(clean);
  revision_ = messwerte::NewRevision();
  replaced_.insert_or_assign(replaced_.end(), k, std::move(clean));
  if (open_groups_ == 0) ApplyReplacements();
}

std::uint64_t MeasurementEdit::Revision() {
  FinishPendingEdit();
  return revision_;
}

void MeasurementEdit::SelectLine(int k) {
  const QTextBlock block = document()->findBlockByNumber(k);
  if (!block.isValid()) return;
  QTextCursor cursor(block);
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  setTextCursor(cursor);
  ensureCursorVisible();
}

bool MeasurementEdit::ReadNextLine() {
  if (!started_) {
    // One copy of the whole text costs far less than asking each block for its text.
    raw_ = document()->toRawText();
    raw_pos_ = 0;
    started_ = true;
  }
  if (raw_pos_ > raw_.size()) return false;
  qsizetype end = raw_.indexOf(QChar::ParagraphSeparator, raw_pos_);
  if (end < 0) end = raw_.size();
  const QByteArray utf8 = QStringView(raw_).mid(raw_pos_, end - raw_pos_).toUtf8();
  lines_.push_back(Store({utf8.constData(), static_cast<std::size_t>(utf8.size())}));
  raw_pos_ = end + 1;
  return true;
}

std::string_view MeasurementEdit::Store(std::string_view text) {
  if (chunks_.empty() || chunks_.back().capacity() - chunks_.back().size() < text.size()) {
    chunks_.emplace_back().reserve(std::max(kChunkSize, text.size()));
  }
  std::string& chunk = chunks_.back();
  const std::size_t start = chunk.size();
  chunk.append(text);  // within the reserved capacity, so earlier views stay valid
  return std::string_view(chunk).substr(start, text.size());
}

void MeasurementEdit::ForgetSnapshot() {
  lines_.clear();
  chunks_.clear();
  raw_.clear();
  raw_pos_ = 0;
  started_ = false;
}

void MeasurementEdit::ApplyReplacements() {
  if (replaced_.empty()) return;
  ReplaceSlice(static_cast<std::size_t>(slice_lines_));
  if (!replaced_.empty()) StartPending();
}

// Replaces the first `count` collected lines.
void MeasurementEdit::ReplaceSlice(std::size_t count) {
  applying_ = true;
  QTextCursor cursor(document());
  if (pending_) {
    cursor.joinPreviousEditBlock();
  } else {
    cursor.beginEditBlock();
  }
  // Each line's text is replaced inside its block, so every break stays; neighbouring lines are
  // reached by stepping from block to block.
  QTextBlock block = document()->findBlockByNumber(replaced_.begin()->first);
  int number = replaced_.begin()->first;
  auto it = replaced_.begin();
  for (; it != replaced_.end() && count > 0; ++it, --count) {
    const auto& [k, text] = *it;
    if (k != number) {
      block = document()->findBlockByNumber(k);
      number = k;
    }
    cursor.setPosition(block.position());
    cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    cursor.insertText(FromUtf8(text));
    block = block.next();
    ++number;
  }
  cursor.endEditBlock();
  replaced_.erase(replaced_.begin(), it);
  applying_ = false;
}

// Inserts the next `lines` lines of the pasted text.
void MeasurementEdit::PasteSlice(qsizetype lines) {
  qsizetype end = paste_pos_;
  for (; lines > 0 && end < paste_text_.size(); --lines) {
    end = paste_text_.indexOf(QLatin1Char('\n'), end);
    end = end < 0 ? paste_text_.size() : end + 1;
  }
  ForgetSnapshot();
  applying_ = true;
  if (paste_pos_ == 0) {
    paste_cursor_.beginEditBlock();
  } else {
    paste_cursor_.joinPreviousEditBlock();
  }
  paste_cursor_.insertText(QStringView(paste_text_).mid(paste_pos_, end - paste_pos_).toString());
  paste_cursor_.endEditBlock();
  applying_ = false;
  paste_pos_ = end;
}

void MeasurementEdit::StartPending() {
  pending_ = true;
  setReadOnly(true);
  viewport()->setCursor(Qt::WaitCursor);
  slice_timer_.start();
}

void MeasurementEdit::StepPending(qsizetype lines) {
  if (!paste_text_.isEmpty()) {
    PasteSlice(lines);
    if (paste_pos_ < paste_text_.size()) return;
    paste_text_.clear();
    setTextCursor(paste_cursor_);
    paste_cursor_ = QTextCursor();
    ensureCursorVisible();
  } else if (!replaced_.empty()) {
    ReplaceSlice(static_cast<std::size_t>(lines));
    if (!replaced_.empty()) return;
  }
  EndPending();
}

void MeasurementEdit::EndPending() {
  slice_timer_.stop();
  pending_ = false;
  setReadOnly(false);
  viewport()->setCursor(Qt::IBeamCursor);
}

void MeasurementEdit::insertFromMimeData(const QMimeData* source) {
  FinishPendingEdit();
  if (!source->hasText()) return QPlainTextEdit::insertFromMimeData(source);
  // Text from other systems may end its lines with CR LF or CR; each such break is one line break
  // here, so pasted values do not gain empty lines between them.
  QString text = source->text();
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  text.replace(QChar::LineSeparator, QLatin1Char('\n'));
  // Inserted as text rather than through a document fragment, which would build the whole text
  // twice: a pasted series can have a million lines.
  if (text.count(QLatin1Char('\n')) < slice_lines_) {
    QTextCursor cursor = textCursor();
    cursor.insertText(text);
    setTextCursor(cursor);
    ensureCursorVisible();
    return;
  }
  paste_text_ = std::move(text);
  paste_pos_ = 0;
  paste_cursor_ = textCursor();
  StartPending();
}

void MeasurementEdit::keyPressEvent(QKeyEvent* event) {
  // Shift+Enter would break the line inside its paragraph: it looks like two lines but reads as
  // one. It starts a new line like Enter.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && (event->modifiers() & Qt::ShiftModifier)) {
    QKeyEvent plain(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier,
                    event->text(), event->isAutoRepeat(), static_cast<quint16>(event->count()));
    QPlainTextEdit::keyPressEvent(&plain);
    event->setAccepted(plain.isAccepted());
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}
