#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

#include "core/data/database.h"

namespace hx {

// How a PostgreSQL server writes names, comparisons and its catalogue, and what its type names mean.
// The account-set schema names its tables and columns without quotes, so the server keeps them in lower
// case: a quoted name is written in lower case too, and names compare without regard to case.
const Dialect& postgresDialect();

// The Chinese text for an error of the server (its SQLSTATE and primary message), as the file engine
// words the same failure.
QString chineseServerMessage(const QByteArray& sqlState, const QString& serverText, bool reads = false);

// Statements written with "?" parameters in the server's own "$1, $2, ..." form; question marks in
// texts, quoted names and comments stay. `count` receives the number of parameters.
QByteArray numberedParameters(QByteArrayView sql, int* count = nullptr);

// An account set on a PostgreSQL server, reached through libpq: `connection` is a libpq connection
// string ("service=factory" names a service of pg_service.conf; the password comes from .pgpass), and
// `schema` the account set's schema in that database (empty: the server's default search path).
class PostgresDatabase : public Database {
  public:
    // Raises DbError with a Chinese message naming the server when it cannot be reached.
    static std::unique_ptr<PostgresDatabase> open(const QString& connection, const QString& schema,
                                                  bool readOnly);
    ~PostgresDatabase() override;
    PostgresDatabase(const PostgresDatabase&) = delete;
    PostgresDatabase& operator=(const PostgresDatabase&) = delete;

    const Dialect& dialect() const override { return postgresDialect(); }
    std::unique_ptr<DatabaseStatement> prepare(QByteArrayView sql, qsizetype* used) override;
    void execScript(const QString& sql) override;
    std::unique_ptr<DatabaseRowWriter> writeRows(const QString& table, const QStringList& columns) override;
    void begin() override;
    void commit() override;
    void rollback() override;
    bool inTransaction() const override;
    bool isReadOnly() const override { return m_readOnly; }
    bool writable() override;
    void interrupt() override;
    void interruptWhen(const std::atomic<bool>* flag) override { m_interruptFlag = flag; }
    void limitValueLength(int bytes) override { m_valueLimit = bytes; }
    void setBusyTimeout(int milliseconds) override;
    void setBulkWork(bool on) override;
    void limitStatementTime(int milliseconds) override;
    bool servesSeveralDesks() const override { return true; }

    struct Server;

  private:
    PostgresDatabase();
    friend class PostgresStatement;
    friend class PostgresRowWriter;
    // Shared so that a statement that outlives the database can tell it is gone.
    std::shared_ptr<Server> m_server;
    bool m_readOnly = false;
    const std::atomic<bool>* m_interruptFlag = nullptr;
    int m_valueLimit = 0;
};

}  // namespace hx
