#pragma once

#include <QString>

namespace hx {

// The commands of the system menu, for the logged-in role and account set (curUser, curAccountSet, the data
// module's cnMain). They talk to the user through the dialog service and raise what fails.
void backupData();
void restoreData();
void changePassword();
void showAbout();

}  // namespace hx
