#pragma once

#include <QString>

// A named pipe, a device or a socket may never end or make open() wait for good: the window
// reads regular files only.

// True when `path` is, or links to, a regular file. Otherwise `kind`, when given, says in German
// what it is instead.
bool IsRegularFile(const QString& path, QString* kind = nullptr);

// What stands at `path` when it is a named pipe, a device or a socket, in German; empty for a
// regular file, a folder, or nothing at all.
QString SpecialFileKind(const QString& path);
