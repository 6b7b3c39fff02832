#pragma once

#include <QDate>
#include <QString>

#include "data/clock.h"

namespace hx {

class Connection;

// The file work of the system menu. Both close `cn` (the connection to the account set at `path`) for
// the time of the work and open it again afterwards, also when the work fails; on a failure the account
// set stays as it was and the error is raised. Rows held in edit by the data sets on `cn` are stored
// first (the work does not begin when one cannot be), and closing `cn` closes those data sets.

// Copies the account set to its backup file of the day (replacing an earlier one of the same day), then
// replaces the account set by a compacted copy, checked before it takes the account set's place.
// Returns the backup file's path.
QString backupAccountSet(Connection& cn, const QString& path, const QDate& today = hx::today());

// Replaces the account set by a complete copy of `source`, which must be an account set.
void restoreAccountSet(Connection& cn, const QString& path, const QString& source);

// The commands of the system menu, for the logged-in role and account set (curUser, curMDB, the data
// module's cnMain). They talk to the user through the dialog service and raise what fails.
void backupData();
void restoreData();
void changePassword();
void showAbout();

}  // namespace hx
