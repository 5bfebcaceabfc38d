#include "notice_line.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace {

// A notice reads as a notification: screen readers speak one when it appears or its text
// changes, without moving the focus to it.
class NoticeLineAccessible : public QAccessibleWidget {
 public:
  explicit NoticeLineAccessible(NoticeLine* line)
      : QAccessibleWidget(line, QAccessible::Notification) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return static_cast<NoticeLine*>(widget())->text();
    return QAccessibleWidget::text(t);
  }
};

QAccessibleInterface* CreateAccessible(const QString& class_name, QObject* object) {
  if (class_name != QLatin1String("NoticeLine")) return nullptr;
  if (auto* line = qobject_cast<NoticeLine*>(object)) return new NoticeLineAccessible(line);
  return nullptr;
}

}  // namespace

void InstallNoticeLineAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(&CreateAccessible);
    return true;
  }();
  (void)installed;
}

NoticeLine::NoticeLine(QWidget* parent)
    : QWidget(parent), label_(new QLabel(this)), buttons_(new QHBoxLayout), close_(nullptr) {
  InstallNoticeLineAccessibility();
  setObjectName(QStringLiteral("notices"));
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::ToolTipBase);
  setForegroundRole(QPalette::ToolTipText);

  label_->setObjectName(QStringLiteral("noticeText"));
  label_->setWordWrap(true);
  label_->setTextFormat(Qt::PlainText);
  label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label_->setForegroundRole(QPalette::ToolTipText);

  close_ = new QPushButton(style()->standardIcon(QStyle::SP_TitleBarCloseButton), QString(), this);
  close_->setObjectName(QStringLiteral("noticeClose"));
  close_->setFlat(true);
  close_->setToolTip(tr("Hinweis schließen"));
  close_->setAccessibleName(tr("Hinweis schließen"));
  connect(close_, &QPushButton::clicked, this, &NoticeLine::Clear);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(8, 3, 4, 3);
  layout->addWidget(label_, 1);
  layout->addLayout(buttons_);
  layout->addWidget(close_);
  hide();
}

void NoticeLine::Show(const QString& text, QList<Action> actions) {
  DropButtons();
  for (Action& action : actions) {
    auto* button = new QPushButton(action.text, this);
    connect(button, &QPushButton::clicked, this, [this, run = std::move(action.run)] {
      // Closed first: the action may show a notice of its own.
      Clear();
      if (run) run();
    });
    buttons_->addWidget(button);
    action_buttons_.append(button);
  }
  label_->setText(text);
  show();
  // Told as a change of the notification's name and as its appearing, which screen readers
  // speak for a notification even when it was on screen already.
  Send(QAccessible::NameChanged);
  Send(QAccessible::ObjectShow);
  emit heightChanged();
}

void NoticeLine::Clear() {
  const bool was_shown = !isHidden();
  label_->clear();
  DropButtons();
  hide();
  if (was_shown) emit heightChanged();
}

// Deleted later: this may run from one of the buttons' own click.
void NoticeLine::DropButtons() {
  for (QPushButton* button : std::as_const(action_buttons_)) {
    button->hide();
    buttons_->removeWidget(button);
    button->deleteLater();
  }
  action_buttons_.clear();
}

QString NoticeLine::text() const { return label_->text(); }

void NoticeLine::Send(QAccessible::Event type) {
  if (!Announce && !QAccessible::isActive()) return;
  QAccessibleEvent event(this, type);
  if (Announce) {
    Announce(event);
  } else {
    QAccessible::updateAccessibility(&event);
  }
}
