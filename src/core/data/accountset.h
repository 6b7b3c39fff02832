#pragma once

#include <QDate>
#include <QString>

#include "core/data/clock.h"

namespace hx {

class Connection;

// Backup and restore of an open account set. The connection `cn` to the account set at `path` stays open
// and the file is never replaced on disk, so that another copy of the program that has it open goes on
// working with it. Rows held in edit by the data sets on `cn` are stored first (the work does not begin
// when one cannot be); the data sets are closed afterwards and show nothing until read again. While
// another connection is writing to the account set the work is refused with a message. On a failure the
// account set stays as it was and the error is raised.

// Copies the account set byte for byte to its backup file of the day (replacing an earlier one of the
// same day), then compacts the account set in place. Returns the backup file's path.
QString backupAccountSet(Connection& cn, const QString& path, const QDate& today = hx::today());

// Replaces the content of the account set by that of `source`, which must be an account set of this or an
// earlier version and pass the integrity check; anything else is refused and left untouched. Before that
// the account set is copied to a safety copy beside it, so that a wrong restore can be undone. Returns
// the safety copy's path.
QString restoreAccountSet(Connection& cn, const QString& path, const QString& source,
                          const QDate& today = hx::today());

// The safety copy's name: the account set's backup name of the day followed by "恢复前", numbered when
// one of that name exists already.
QString safetyCopyName(const QString& path, const QDate& today = hx::today());

}  // namespace hx
