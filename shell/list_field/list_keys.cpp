#include "list_keys.h"

#include <QStringList>

namespace list_keys {

namespace {

QList<QKeySequence> Joined(const QList<QKeySequence>& named, QKeySequence::StandardKey standard) {
  QList<QKeySequence> keys;
  for (const auto& list : {named, QKeySequence::keyBindings(standard)}) {
    for (const QKeySequence& key : list) {
      if (!key.isEmpty() && !keys.contains(key)) keys << key;
    }
  }
  return keys;
}

}  // namespace

QList<QKeySequence> Undo() { return Joined(kNamedUndo, QKeySequence::Undo); }

QList<QKeySequence> Redo() { return Joined(kNamedRedo, QKeySequence::Redo); }

QString Text(const QList<QKeySequence>& keys) {
  QStringList texts;
  for (const QKeySequence& key : keys) texts << key.toString(QKeySequence::NativeText);
  return texts.join(QStringLiteral(", "));
}

}  // namespace list_keys
