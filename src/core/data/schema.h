#pragma once

#include <QString>
#include <QStringList>

namespace hx {

class Connection;

// The section of the schema script with this name ("systemstore", "accountset", "basemonth").
QString schemaSection(const QString& name);

// Creates a new database file from statements of the schema script. Refuses an existing file.
void createDatabaseFile(const QString& path, const QString& script);
void createSystemStore(const QString& path);
void createAccountSetTemplate(const QString& path);

// Brings an account set made by an earlier version up to the schema script: views are made again when their
// definition differs, missing indexes are added, and tables added since are made empty. Views and indexes
// hold no data of their own and no existing table is altered, so nothing the user typed is touched.
void upgradeAccountSet(Connection& cn);

// The tables that make a file an account set.
QStringList accountSetTables();
// The tables added since, which an account set of an earlier version is without: the production orders,
// their bundles and the bundles' tickets, in the order their rows refer to each other.
QStringList productionTables();
// True when the file opens as a database and holds every account-set table with exactly the columns
// the schema script gives it, of the same kinds (an account set of an earlier version of ours passes and
// is brought up to date by upgradeAccountSet). The file is only read.
bool isAccountSet(const QString& path);
// Why the file is no account set (in Chinese); empty when it is one.
QString accountSetProblem(const QString& path);

}  // namespace hx
