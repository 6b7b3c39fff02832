#pragma once

#include <QDate>
#include <QString>

#include "core/data/clock.h"

namespace hx {

class Connection;

// Backup and restore of an open account set. Both close `cn` (the connection to the account set at `path`)
// for the time of the work and open it again afterwards, also when the work fails; on a failure the account
// set stays as it was and the error is raised. Rows held in edit by the data sets on `cn` are stored
// first (the work does not begin when one cannot be), and closing `cn` closes those data sets.

// Copies the account set to its backup file of the day (replacing an earlier one of the same day), then
// replaces the account set by a compacted copy, checked before it takes the account set's place.
// Returns the backup file's path.
QString backupAccountSet(Connection& cn, const QString& path, const QDate& today = hx::today());

// Replaces the account set by a complete copy of `source`, which must be an account set.
void restoreAccountSet(Connection& cn, const QString& path, const QString& source);

}  // namespace hx
