#pragma once

#include <QFunctionPointer>
#include <QString>

// The function `entry` of the program's module `name`, looked for next to the program in the
// build tree, then below the library folder once installed; null where no candidate has it, and
// `reason` tells why the first one failed. The module stays loaded.
QFunctionPointer ModuleEntry(const QString& name, const char* entry, QString* reason);
