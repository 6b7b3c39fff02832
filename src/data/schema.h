#pragma once

#include <QString>
#include <QStringList>

namespace hx {

// The section of the schema script with this name ("systemstore", "accountset").
QString schemaSection(const QString& name);

// Creates a new database file from a section of the schema script. Refuses an existing file.
void createDatabaseFile(const QString& path, const QString& section);
void createSystemStore(const QString& path);
void createAccountSetTemplate(const QString& path);

// The tables that make a file an account set.
QStringList accountSetTables();
// True when the file opens as a database and holds every account-set table.
bool isAccountSet(const QString& path);

}  // namespace hx
