#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

#include "core/data/database.h"

struct sqlite3;

namespace hx {

class Connection;

// The Chinese text for an error of the file engine (its extended result code and English message): no
// English and no SQL reaches a user. Names of tables and columns in the message are kept. A statement
// that only `reads` saves nothing: where a write would say what was not saved, a query says what it
// could not give.
QString chineseDbMessage(int code, const QString& engineText, bool reads = false);

// How the file engine writes names, comparisons and its catalogue, and what its type names mean.
const Dialect& sqliteDialect();

// An account-set file (or a scratch database in memory) through the SQLite C API.
class SqliteDatabase : public Database {
  public:
    // An existing database file; a missing file or one that is not a database raises, never an empty
    // new database. Statements wait up to three seconds for a file locked by another connection.
    static std::unique_ptr<SqliteDatabase> openFile(const QString& path, bool readOnly);
    static std::unique_ptr<SqliteDatabase> openMemory();
    ~SqliteDatabase() override;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    const Dialect& dialect() const override { return sqliteDialect(); }
    std::unique_ptr<DatabaseStatement> prepare(QByteArrayView sql, qsizetype* used) override;
    void execScript(const QString& sql) override;
    void begin() override;
    void commit() override;
    void rollback() override;
    bool inTransaction() const override { return m_inTransaction; }
    bool isReadOnly() const override;
    bool writable() override;
    void interrupt() override;
    void interruptWhen(const std::atomic<bool>* flag) override;
    void limitValueLength(int bytes) override;
    void setBusyTimeout(int milliseconds) override;
    void setBulkWork(bool on) override;
    // A statement of the file engine runs in the program and ends with it; its caller bounds the time.
    void limitStatementTime(int) override {}
    bool servesSeveralDesks() const override { return false; }

    // ---- what only the file engine does, for the file store

    // Begins an exclusive transaction, waiting up to `milliseconds` for other connections to finish
    // theirs; false when one still holds the file (nothing begun). Commit or roll back as usual.
    bool tryExclusive(int milliseconds);
    // Replaces every page of this database by those of `source`, in one write transaction of the
    // engine's own (its online backup): other connections to this file stay valid and read the new
    // content afterwards. The file is never replaced on disk.
    void replaceContentFrom(SqliteDatabase& source);
    // Rewrites the file in place without its free pages, in one transaction: the file stays the same
    // file, so that other connections to it go on working with it.
    void compact();
    // A compacted copy of the database written to the new file `target`.
    void compactInto(const QString& target);
    // True when the engine's integrity check finds the whole file sound.
    bool passesIntegrityCheck();

  private:
    explicit SqliteDatabase(sqlite3* db) : m_db(db) {}
    void run(const char* sql);
    // The first column of the first row of `sql`, 0 when it gives none.
    qint64 integerOf(const QByteArray& sql);

    sqlite3* m_db;
    bool m_inTransaction = false;
    qint64 m_cacheSizeBefore = 0;
    qint64 m_tempStoreBefore = 0;
};

// The file engine behind `cn`; raises DbError when the connection is closed or on another engine.
SqliteDatabase& sqliteDatabase(const Connection& cn);

}  // namespace hx
