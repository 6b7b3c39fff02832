#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <memory>
#include <utility>

#include "core/data/clock.h"

namespace hx {

class Connection;

// Where the account sets are kept, and everything done to an account set as a whole: listing them,
// creating one from the template, opening one, backup and restore. An account set is known by its name
// in its store; no caller builds the place it lies in. Backups and the files restored from are account-
// set files whatever the store (checked whole with the engine's integrity check), so that a backup can
// be taken home, looked at and restored anywhere. Errors raise FileError or DbError with the message a
// user reads.
class AccountSetStore {
  public:
    virtual ~AccountSetStore() = default;

    // The names of the account sets, in the order a list shows them.
    virtual QStringList list() const = 0;
    // True when `title`, as a user types it, may name a new account set.
    virtual bool isValidTitle(const QString& title) const = 0;
    // The name under which an account set created as `title` is listed.
    virtual QString nameFor(const QString& title) const = 0;
    virtual bool contains(const QString& name) const = 0;
    // Creates the account set, empty, from the template. Refuses one that exists; on a failure nothing is
    // left behind.
    virtual void create(const QString& name) = 0;

    // Opens `cn` on the account set (closing what it had open) and brings an account set of an earlier
    // version up to date. Something that is no account set of ours is refused before anything is written
    // to it. One that cannot be written to is opened for reading only: the reason, with what to do, comes
    // back (empty when the connection may write).
    virtual QString open(const QString& name, Connection& cn) const = 0;
    // Opens `cn` on the account set for reading only; nothing done through it can change the account set.
    virtual void openReadOnly(const QString& name, Connection& cn) const = 0;

    // Backup and restore of the account set, open on `cn`. The account set stays the same one, so that
    // other programs that have it open go on working with it. Rows held in edit by the data sets on `cn`
    // are stored first (the work does not begin when one cannot be); the data sets are closed afterwards
    // and show nothing until read again. Both hold the account set exclusively while they copy it and are
    // refused with a message while another connection is writing to it. On a failure the account set
    // stays as it was and the error is raised.
    //
    // Writes a backup file of the account set named after it and the day, then compacts the account set.
    // An earlier backup of the same day is replaced only by a complete copy that passes the integrity
    // check: a failure (a full disk, the program killed) leaves it as it was, and the message says so.
    // Returns the backup file's path.
    virtual QString backup(Connection& cn, const QString& name, const QDate& today) = 0;
    // Replaces the content of the account set by that of the file `source`, which must be an account set
    // of this or an earlier version and pass the integrity check; anything else is refused and left
    // untouched. Before that the account set is written to a safety copy, as safely as a backup, so that
    // a wrong restore can be undone. Returns the safety copy's path.
    virtual QString restore(Connection& cn, const QString& name, const QString& source,
                            const QDate& today) = 0;
    // The folder the backups of the account set go to, where a user looks for a file to restore from.
    virtual QString backupFolder(const QString& name) const = 0;

    // Where the account set is, as messages and the user name it (for a file, its full path).
    virtual QString location(const QString& name) const = 0;

    // Opens `cn` on the system store that holds the roles' passwords for the account sets of this store:
    // by default the program directory's sysunit.dll, the desk's own.
    virtual void openSystemStore(Connection& cn) const;
};

// An account set: its name and its store. Empty before a login.
class AccountSet {
  public:
    AccountSet() = default;
    AccountSet(QString name, std::shared_ptr<AccountSetStore> store)
        : m_name(std::move(name)), m_store(std::move(store)) {}

    bool isEmpty() const { return !m_store; }
    const QString& name() const { return m_name; }
    AccountSetStore& store() const;

    QString open(Connection& cn) const { return store().open(m_name, cn); }
    void openReadOnly(Connection& cn) const { store().openReadOnly(m_name, cn); }
    QString backup(Connection& cn, const QDate& today = hx::today()) const {
        return store().backup(cn, m_name, today);
    }
    QString restore(Connection& cn, const QString& source, const QDate& today = hx::today()) const {
        return store().restore(cn, m_name, source, today);
    }
    QString backupFolder() const { return store().backupFolder(m_name); }
    QString location() const { return store().location(m_name); }

  private:
    QString m_name;
    std::shared_ptr<AccountSetStore> m_store;
};

// The account sets of one folder: one "NAME.mdb" file each, backups beside it as "NAME<date>.mdb", new
// ones copied from the template mlcp.dll of the program directory. A file with more than one hard link
// (hardLinkProblem) is opened for reading only, and backup and restore refuse it. The whole file is
// copied under an exclusive transaction, checked with the engine's integrity check, and compacted in
// place (VACUUM) after a backup.
class FileAccountSetStore : public AccountSetStore {
  public:
    // `folder` ends with a slash, or is empty for the current directory.
    explicit FileAccountSetStore(QString folder);

    QStringList list() const override;
    bool isValidTitle(const QString& title) const override;
    QString nameFor(const QString& title) const override;
    bool contains(const QString& name) const override;
    void create(const QString& name) override;
    QString open(const QString& name, Connection& cn) const override;
    void openReadOnly(const QString& name, Connection& cn) const override;
    QString backup(Connection& cn, const QString& name, const QDate& today) override;
    QString restore(Connection& cn, const QString& name, const QString& source, const QDate& today) override;
    QString backupFolder(const QString& name) const override;
    QString location(const QString& name) const override { return pathOf(name); }

    QString pathOf(const QString& name) const { return m_folder + name; }

  private:
    QString m_folder;
};

// The account sets of the program directory.
std::shared_ptr<AccountSetStore> programDirAccountSets();
// The account-set file at `path` as an account set of the store of its folder.
AccountSet accountSetAt(const QString& path);

// Non-empty when the file at `path` has more than one hard link (one file under two names): the reason
// it must not be written through any of them, and what to do, for the callers' messages. The engine
// keeps the journal of an unfinished write beside the path it opened the file by; a program that opens
// the file by another name does not find that journal and sees a half-written file as damaged.
QString hardLinkProblem(const QString& path);

}  // namespace hx
