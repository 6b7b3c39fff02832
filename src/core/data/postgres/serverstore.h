#pragma once

#include <QString>
#include <QStringList>

#include "core/data/accountset.h"

namespace hx {

class PreparedStatement;

// The account sets of one PostgreSQL server database: one schema each, listed in the system schema
// hexiu_system beside them, which also holds the roles' passwords so that every desk logs in alike.
// `connection` is a libpq connection string, usually "service=NAME" of pg_service.conf; the password
// comes from .pgpass (or PGPASSFILE), never from the program's folder.
//
// Backups are account-set files of the file engine's format, written to `backupFolder` ("NAME<date>.mdb",
// as for a file); a restore loads such a file into the server set in one transaction. Both read or
// write the server set in one transaction, so another desk's work lands wholly before or after them.
class ServerAccountSetStore : public AccountSetStore {
  public:
    ServerAccountSetStore(QString connection, QString displayName, QString backupFolder);

    QStringList list() const override;
    bool isValidTitle(const QString& title) const override;
    QString nameFor(const QString& title) const override { return title.trimmed(); }
    bool contains(const QString& name) const override;
    void create(const QString& name) override;
    QString open(const QString& name, Connection& cn) const override;
    void openReadOnly(const QString& name, Connection& cn) const override;
    QString backup(Connection& cn, const QString& name, const QDate& today) override;
    QString restore(Connection& cn, const QString& name, const QString& source, const QDate& today) override;
    QString backupFolder(const QString&) const override { return m_backupFolder; }
    QString location(const QString& name) const override;

    // Opens `cn` on the server's system schema, where the roles' passwords are (made on first use).
    void openSystemStore(Connection& cn) const override;
    const QString& connection() const { return m_connection; }

  private:
    QString m_connection;
    QString m_displayName;
    QString m_backupFolder;
};

// Copies every row of the account-set tables from one open account set to another, emptied first, in
// whatever engines they are: the rows of the target are those of the source afterwards. The caller
// holds both in a transaction.
void copyAccountSetRows(Connection& from, Connection& to);

}  // namespace hx
