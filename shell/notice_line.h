#pragma once

#include <QAccessible>
#include <QList>
#include <QString>
#include <QWidget>
#include <functional>

class QAccessibleEvent;
class QHBoxLayout;
class QLabel;
class QPushButton;

// A line below the designed area that tells the user something without stopping the work: what
// the program decided about a file, what a press found, a kept list waiting to be restored. One
// notice at a time; a new one takes the old one's place. It offers a button for each action and
// one that closes it. A screen reader hears each notice as it appears.
class NoticeLine : public QWidget {
  Q_OBJECT

 public:
  struct Action {
    QString text;
    std::function<void()> run;
  };

  explicit NoticeLine(QWidget* parent = nullptr);

  // Shows `text` in place of the notice shown before; each action's button runs it and closes
  // the notice.
  void Show(const QString& text, QList<Action> actions = {});
  void Clear();
  // The notice shown, or empty.
  QString text() const;

  // Hands an event on to screen readers; QAccessible::updateAccessibility unless replaced, and
  // then events are made even where no screen reader listens.
  std::function<void(QAccessibleEvent& event)> Announce;

 signals:
  // The line was shown, changed its text or closed: the window makes room for it or takes the
  // room back.
  void heightChanged();

 private:
  void DropButtons();
  void Send(QAccessible::Event type);

  QLabel* label_;
  QHBoxLayout* buttons_;
  QList<QPushButton*> action_buttons_;
  QPushButton* close_;
};

// Makes screen readers see a notice line as a notification whose name is its text.
void InstallNoticeLineAccessibility();
