#pragma once

#include <QStringList>

// Where the program's modules may stand, first to last: next to the program in the build tree,
// below the library folder once installed.
QStringList ModuleCandidates(const QString& name);
