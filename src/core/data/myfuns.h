#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include "core/data/clock.h"

namespace hx {

// Copies a database file byte for byte; the target is created, or truncated when it exists. Raises
// FileError on any failure (a target already truncated stays as far as it was written). Copying a file
// onto itself is refused: truncating the target would destroy the source.
void CopyMDB(const QString& source, const QString& target);

// Copies a database file so that `target` either stays as it was or is replaced whole by a copy that
// passes the engine's integrity check. The copy is written under checkedCopyTemporaryName(target),
// synced to the disk, checked, then renamed over the target in one step (a program killed meanwhile
// leaves the target as it was). On any failure the temporary file is removed, the target is untouched,
// and FileError says in Chinese what went wrong.
void CopyMDBChecked(const QString& source, const QString& target);

// True when the database file opens for reading and the engine's integrity check finds it whole.
bool passesIntegrityCheck(const QString& path);

// The temporary name of a checked copy on its way to `target`: beside it, so that the rename stays on
// one disk, and not ending in ".mdb", so that no list of account sets shows it.
QString checkedCopyTemporaryName(const QString& target);

// The Chinese words for a failed file operation's system error number (errno), never the system's
// English: "磁盘空间不足" and the like.
QString fileErrorText(int error);

// Writes a compacted copy of the database at source to target, which must not exist. Raises on failure.
void CompactMDB(const QString& source, const QString& target);

// The name of every file that matches the mask (a path whose last part holds wildcards, e.g.
// "/opt/pay/*.mdb"), by name without regard to case, capitals first as the Windows file system lists a
// folder: an account set "x.mdb" comes before its backups "x2024-05-17.mdb".
QStringList matchingFiles(const QString& mask);

// False when the name contains any of \ / : * ? " < > |. An empty name is valid.
bool IsValidName(const QString& name);

// The path without its last four characters (the extension), followed by the date as yyyy-MM-dd. The
// caller appends ".mdb".
QString BackupFileName(const QString& path, const QDate& today = hx::today());

}  // namespace hx
