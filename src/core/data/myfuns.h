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
