#include "measurement_edit.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <limits>

namespace {

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

// The document's raw text as UTF-8 lines parted by '\n', in one pass: blocks never hold a line
// break of their own, so the paragraph separators between them are the only breaks. One copy of
// the whole text costs far less than asking each block for its text.
std::string LinesAsUtf8(const QString& raw) {
  std::string utf8;
  utf8.reserve(static_cast<std::size_t>(raw.size()));
  for (qsizetype i = 0; i < raw.size(); ++i) {
    const char16_t c = raw[i].unicode();
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else if (c == QChar::ParagraphSeparator) {
      utf8 += '\n';
    } else {
      // Everything else, surrogate pairs included, through Qt's own conversion.
      qsizetype end = i + 1;
      while (end < raw.size() && raw[end].unicode() >= 0x80 &&
             raw[end].unicode() != QChar::ParagraphSeparator)
        ++end;
      const QByteArray run = QStringView(raw).mid(i, end - i).toUtf8();
      utf8.append(run.constData(), static_cast<std::size_t>(run.size()));
      i = end - 1;
    }
  }
  return utf8;
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

void MeasurementEdit::ReplaceLine(int k, std::string_view text) {
  FinishPendingEdit();
  if (k < 0 || k >= Snapshot().LineCount()) return;  // no such line to keep
  std::string clean = WithoutBreaks(text);
  snapshot_->ReplaceLine(k, clean);
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

void MeasurementEdit::TakeSnapshot() { snapshot_.emplace(LinesAsUtf8(document()->toRawText())); }

void MeasurementEdit::ForgetSnapshot() { snapshot_.reset(); }

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
