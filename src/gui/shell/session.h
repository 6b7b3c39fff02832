#pragma once

#include <QString>

#include "core/data/accountset.h"

namespace hx {

// The three roles; every role rule compares these texts.
inline const QString rolePersonnel = QStringLiteral("人事");
inline const QString roleProduction = QStringLiteral("生产");
inline const QString roleAccountant = QStringLiteral("会计");

// Login values, written once by a successful login and read everywhere else: the role as chosen, and
// the account set open in the data module. Both are empty before the login.
inline QString curUser;
inline AccountSet curAccountSet;

}  // namespace hx
