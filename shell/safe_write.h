#pragma once

#include <QByteArrayView>
#include <QString>
#include <span>

// Writing a file so that it either holds all of the new bytes or stays as it was. The bytes go to
// a new file beside the target, unbuffered; only once the last of them reached the disk (fsync)
// does that file take the target's place, in one rename. Whatever fails on the way leaves the old
// file whole and the new one removed.
namespace safe_write {

// Who may read the file: the permissions the user's umask gives new files (a target that
// exists keeps its own), or the user alone.
enum class Readers { kAsUsual, kOwnerOnly };

// Writes `bytes` as the file at `path`. On failure returns false and, when `cause` is given,
// a German sentence that says why ("Der Datenträger ist voll.").
bool WriteWhole(const QString& path, QByteArrayView bytes, QString* cause,
                Readers readers = Readers::kAsUsual);
// The same for bytes in pieces, written one after the other.
bool WriteWhole(const QString& path, std::span<const QByteArrayView> pieces, QString* cause,
                Readers readers = Readers::kAsUsual);

// The German sentence for a failed write of `path` with the system's error number.
QString Cause(const QString& path, int error_number);

}  // namespace safe_write
