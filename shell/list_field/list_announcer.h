#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "list_model.h"

class QAccessibleEvent;
class QObject;

// Tells screen readers what changed in the list: text inserted, removed or replaced, the
// selection and the caret. Texts are made only while someone listens, so that a reset of a
// million lines stays quick without a screen reader.
class ListAnnouncer {
 public:
  // `send` hands an event on, QAccessible::updateAccessibility where it is empty; events are
  // made while it is set or an assistive technology is active.
  ListAnnouncer(QObject& list, const ListModel& model,
                const std::function<void(QAccessibleEvent&)>& send);

  // Notes what one change of the model did, while its removed lines are still there.
  void Changed(const LinesChanged& change);
  // Sends what Changed noted.
  void SendChanges();
  // The selection and the caret since `before`: the selection goes first, as it moves the caret
  // along.
  void CaretMoved(const ListModel::Selection& before);

 private:
  struct TextChange {
    int position;
    QString removed;
    QString inserted;
  };

  bool Listening() const;
  void Send(QAccessibleEvent& event) const;

  QObject& list_;
  const ListModel& model_;
  const std::function<void(QAccessibleEvent&)>& send_;
  std::vector<TextChange> changes_;
};
