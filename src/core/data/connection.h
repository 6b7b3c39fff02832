#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <atomic>
#include <vector>

#include "core/data/dialect.h"
#include "core/data/errors.h"
#include "core/data/money.h"

struct sqlite3;
struct sqlite3_stmt;

namespace hx {

class DataSet;

// What a column holds, as the program sees it. Taken from the declared column type of the schema
// (CURRENCY, DATE, YESNO, DOUBLE, INTEGER, VARCHAR(n)); a computed column has no declared type.
enum class FieldType { Unknown, Integer, Money, Double, Text, Date, Bool };

struct ColumnType {
    FieldType type = FieldType::Unknown;
    int size = 0;  // characters of a text column, 0 when unbounded
};
ColumnType columnTypeFromDeclaration(const QString& declaredType);

// A value as the file stores it: money as yuan, dates as ISO text, yes/no as -1 and 0.
QVariant toDbValue(const QVariant& value);
// A stored value in the program's type for the column.
QVariant fromDbValue(const QVariant& stored, FieldType type);

class PreparedStatement;

// The Chinese text for an error of the database engine (its result code and English message): no
// English and no SQL reaches a user. Names of tables and columns in the message are kept. A statement
// that only `reads` saves nothing: where a write would say what was not saved, a query says what it
// could not give.
QString chineseDbMessage(int code, const QString& engineText, bool reads = false);
// A query whose result, or a value in it, is too large to be shown.
QString queryTooLargeMessage();

// One open database file. Statements take their values as bound parameters (positional "?").
//
// The connection knows the data sets that read from it. Their rows are rows of the file as it was when
// they were read, so closing the connection closes them: a window never goes on showing, or writing
// back, rows of a file that was replaced while the connection was closed.
class Connection {
  public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    enum class Access { ReadWrite, ReadOnly };
    // Opens an existing database file; a missing file or one that is not a database is an error, never
    // an empty new database. A read-only connection is refused every change by the database itself.
    // A file locked by another connection is waited for up to three seconds before a statement fails.
    void open(const QString& path, Access access = Access::ReadWrite);
    // Closes every data set on this connection (a row still in edit is dropped: call storePendingEdits()
    // first where it must be kept), then the file. Statements still alive keep it until they are gone,
    // but the connection is closed at once.
    void close();
    // An empty database in memory (a scratch database, for example to read the schema script's tables).
    void openInMemory();
    // Closes the data sets on this connection (as close() does) and leaves the file open.
    void closeDataSets();
    bool isOpen() const { return m_db != nullptr; }
    QString path() const { return m_path; }

    // A data set on this connection enters here when it is given the connection and leaves when it is
    // given another one or destroyed. A connection destroyed first leaves its data sets without one.
    void attach(DataSet* dataSet);
    void detach(DataSet* dataSet);
    const std::vector<DataSet*>& dataSets() const { return m_dataSets; }
    // Stores the rows that the data sets on this connection hold in edit, as leaving the row does: the
    // text of an open cell editor goes into its row, a changed row is posted, an untouched new row is
    // dropped, a row the database refuses goes as its data set's post-error handler decides. Raises what
    // a post raises, and when a row is still in edit afterwards; the rows stored before stay stored and
    // the connection stays open.
    void storePendingEdits();

    // Runs a statement that changes data; returns the number of rows it changed.
    int exec(const QString& sql, const QVariantList& params = {});
    // Prepares a query with its values bound; step through its rows with next().
    PreparedStatement query(const QString& sql, const QVariantList& params = {});
    // First column of the first row, or an invalid QVariant when there is no row.
    QVariant scalar(const QString& sql, const QVariantList& params = {});
    // Several statements separated by semicolons, with no parameters (schema scripts, pragmas).
    void execScript(const QString& sql);
    qint64 lastInsertRowId() const;

    // How this connection's engine writes names and comparisons.
    const Dialect& dialect() const;

    // True when the connection was opened read-only or the engine could only open the file for reading.
    bool isReadOnly() const;
    // True when a change could be stored: the file is not read-only and the engine can create its
    // journal beside it. Tried with a change that is rolled back at once; nothing is written.
    bool writable();
    // Makes the statement running on this connection, from whatever thread, stop with "查询已取消。".
    void interrupt();
    // Makes every statement of this connection stop with "查询已取消。" as soon as the flag is set
    // (checked every thousand steps of the engine); nullptr removes the check.
    void interruptWhen(const std::atomic<bool>* flag);
    // Makes the engine refuse, as too big, to build or read any text or blob longer than `bytes`, rather
    // than take the memory it asks for.
    void limitValueLength(int bytes);
    void setBusyTimeout(int milliseconds);
    // Begins an exclusive transaction, waiting up to `milliseconds` for other connections to finish
    // theirs; false when one still holds the file (nothing begun). Commit or roll back as usual.
    bool tryExclusive(int milliseconds);
    // Replaces every page of this database by those of `source`, in one write transaction of the
    // engine's own (its online backup): other connections to this file stay valid and read the new
    // content afterwards. The file is never replaced on disk.
    void replaceContentFrom(Connection& source);

    void beginTransaction();
    void commit();
    void rollback();
    bool inTransaction() const { return m_inTransaction; }

  private:
    friend class PreparedStatement;
    sqlite3* require() const;

    sqlite3* m_db = nullptr;
    QString m_path;
    bool m_inTransaction = false;
    std::vector<DataSet*> m_dataSets;
};

// One statement of a connection: prepared once, then bound, stepped through its rows and reset to run
// again with other values. Every statement of the program runs through this type, the bulk paths
// included: numbers are read without any allocation and texts in one step.
//
// Parameters are numbered from 1 in the order of their "?". Values go in as the file stores them:
// money as yuan (whole yuan as integers), dates as ISO text, yes/no as -1 and 0. Errors raise DbError
// with the database's own message.
class PreparedStatement {
  public:
    // Prepares `sql`, which must be one statement (blanks, comments and semicolons may follow it).
    PreparedStatement(Connection& connection, const QString& sql);
    // Prepares `sql` and binds `params` to its parameters, one value for each.
    PreparedStatement(Connection& connection, const QString& sql, const QVariantList& params);
    ~PreparedStatement();
    PreparedStatement(PreparedStatement&& other) noexcept;
    PreparedStatement& operator=(PreparedStatement&& other) noexcept;
    PreparedStatement(const PreparedStatement&) = delete;
    PreparedStatement& operator=(const PreparedStatement&) = delete;

    // The first statement of `sql` only; `rest` receives the text after it. A text of nothing but
    // blanks and comments gives an empty statement (isEmpty()).
    static PreparedStatement first(Connection& connection, const QString& sql, QString* rest);
    bool isEmpty() const { return m_stmt == nullptr; }
    // True when the statement by itself changes nothing in the file.
    bool isReadOnly() const;

    int parameterCount() const;
    void bind(int parameter, qint64 value);
    void bind(int parameter, int value) { bind(parameter, qint64(value)); }
    void bind(int parameter, double value);
    void bind(int parameter, Money value);
    void bind(int parameter, const QString& value);  // a null QString binds Null
    void bind(int parameter, const QDate& value);    // an invalid date binds Null
    void bindYesNo(int parameter, bool value);
    void bindUtf8(int parameter, QByteArrayView text);
    void bindNull(int parameter);
    // Any value, converted as toDbValue() converts it.
    void bind(int parameter, const QVariant& value);
    // One value for each parameter, in order; raises when the counts differ.
    void bindAll(const QVariantList& values);

    // Steps to the next row; false after the last (or at once for a statement that returns none).
    bool next();
    // Runs a statement that returns no rows and makes it ready to run again; returns the rows it changed.
    int run();
    // Makes the statement ready to run again from its first row; the bound values stay.
    void reset();

    int columnCount() const;
    QString columnName(int column) const;
    // The column's declared type in the schema; empty for a computed column.
    QString declaredType(int column) const;
    // The stored column the result column reads, through aliases, views and subqueries: its table and
    // its name as the schema writes them. Empty for a computed column.
    QString originTable(int column) const;
    QString originColumn(int column) const;

    // The current row's value as the file stores it.
    enum class Kind { Null, Integer, Real, Text, Blob };
    Kind kind(int column) const;
    bool isNull(int column) const { return kind(column) == Kind::Null; }
    qint64 integer(int column) const;
    double real(int column) const;
    // The text as UTF-8, valid until the next step.
    QByteArrayView utf8(int column) const;
    // The text; a null QString for Null.
    QString text(int column) const;
    // An amount stored as yuan; Null gives 0.
    Money money(int column) const;
    // As a QVariant: invalid for Null, qint64, double, QString or QByteArray.
    QVariant value(int column) const;

  private:
    PreparedStatement() = default;
    void check(int rc) const;
    [[noreturn]] void fail() const;

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmt = nullptr;
};

// Rolls back unless committed: the one way the program writes in a transaction.
class Transaction {
  public:
    explicit Transaction(Connection& cn) : m_cn(cn) { m_cn.beginTransaction(); }
    ~Transaction() {
        if (!m_done) {
            try {
                m_cn.rollback();
            } catch (...) {
            }
        }
    }
    void commit() {
        m_cn.commit();
        m_done = true;
    }

  private:
    Connection& m_cn;
    bool m_done = false;
};

}  // namespace hx
