#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

// The keys that undo and redo the list, as its context menu, the window and the README name them.
namespace list_keys {

// Named on every desktop.
inline const QList<QKeySequence> kNamedUndo{QKeySequence(Qt::CTRL | Qt::Key_Z)};
inline const QList<QKeySequence> kNamedRedo{QKeySequence(Qt::CTRL | Qt::Key_Y),
                                            QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)};
// Those and the platform's own.
QList<QKeySequence> Undo();
QList<QKeySequence> Redo();
// "Strg+Y, Strg+Umschalt+Z" as the menus show them.
QString Text(const QList<QKeySequence>& keys);

}  // namespace list_keys
