#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <atomic>
#include <memory>
#include <vector>

#include "core/data/database.h"
#include "core/data/dialect.h"
#include "core/data/errors.h"
#include "core/data/money.h"

namespace hx {

class DataSet;

// A value as the file stores it: money as yuan, dates as ISO text, yes/no as -1 and 0.
QVariant toDbValue(const QVariant& value);
// A stored value in the program's type for the column.
QVariant fromDbValue(const QVariant& stored, FieldType type);

class PreparedStatement;

// A query whose result, or a value in it, is too large to be shown.
QString queryTooLargeMessage();

// One open database: the one way the program speaks to an engine. Statements take their values as bound
// parameters (positional "?").
//
// The connection knows the data sets that read from it. Their rows are rows of the database as it was
// when they were read, so closing the connection closes them: a window never goes on showing, or writing
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
    // Takes a database opened by its engine, known to messages as `location`.
    void open(std::unique_ptr<Database> database, const QString& location);
    // Closes every data set on this connection (a row still in edit is dropped: call storePendingEdits()
    // first where it must be kept), then the database. Statements still alive keep it until they are
    // gone, but the connection is closed at once.
    void close();
    // An empty database in memory (a scratch database, for example to read the schema script's tables).
    void openInMemory();
    // Closes the data sets on this connection (as close() does) and leaves the database open.
    void closeDataSets();
    bool isOpen() const { return m_db != nullptr; }
    QString path() const { return m_path; }
    // The engine behind the connection; raises when it is closed.
    Database& database() const;

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
    // Runs an insert of one row and returns the value its column `key` was given (the key the table's
    // counter handed out, for one that counts).
    qint64 insert(const QString& sql, const QVariantList& params, const QString& key);
    // Prepares a query with its values bound; step through its rows with next().
    PreparedStatement query(const QString& sql, const QVariantList& params = {});
    // First column of the first row, or an invalid QVariant when there is no row.
    QVariant scalar(const QString& sql, const QVariantList& params = {});
    // Several statements separated by semicolons, with no parameters (schema scripts).
    void execScript(const QString& sql);

    // How this connection's engine writes names, comparisons and its catalogue.
    const Dialect& dialect() const;

    // ---- the catalogue
    // True when a table of this name exists, whatever the case of its letters.
    bool tableExists(const QString& table);
    // The table's columns, in order; none for a table that does not exist.
    std::vector<TableColumn> tableColumns(const QString& table);
    // The statement that made the view, as the database keeps it; empty when there is no such view.
    QString viewDefinition(const QString& view);

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
    // See Database::limitStatementTime.
    void limitStatementTime(int milliseconds);
    // See Database::servesSeveralDesks.
    bool servesSeveralDesks() const;

    void beginTransaction();
    void commit();
    void rollback();
    bool inTransaction() const { return m_db && m_db->inTransaction(); }

  private:
    friend class PreparedStatement;
    friend class BulkWork;

    std::unique_ptr<Database> m_db;
    QString m_path;
    int m_bulkWork = 0;
    std::vector<DataSet*> m_dataSets;
};

// For as long as it lives, the connection's engine is set for one large piece of work: a bulk import,
// a statistics query over a year (see Database::setBulkWork). Nested ones count as the outermost.
class BulkWork {
  public:
    explicit BulkWork(Connection& cn);
    ~BulkWork();
    BulkWork(const BulkWork&) = delete;
    BulkWork& operator=(const BulkWork&) = delete;

  private:
    Connection& m_cn;
    Database* m_db;
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
    bool isReadOnly() const { return m_stmt && m_stmt->isReadOnly(); }

    int parameterCount() const { return statement().parameterCount(); }
    void bind(int parameter, qint64 value) { statement().bindInteger(parameter, value); }
    void bind(int parameter, int value) { bind(parameter, qint64(value)); }
    void bind(int parameter, double value) { statement().bindReal(parameter, value); }
    void bind(int parameter, Money value);
    void bind(int parameter, const QString& value);  // a null QString binds Null
    void bind(int parameter, const QDate& value);    // an invalid date binds Null
    void bindYesNo(int parameter, bool value);
    void bindUtf8(int parameter, QByteArrayView text) { statement().bindText(parameter, text); }
    void bindNull(int parameter) { statement().bindNull(parameter); }
    // Any value, converted as toDbValue() converts it.
    void bind(int parameter, const QVariant& value);
    // One value for each parameter, in order; raises when the counts differ.
    void bindAll(const QVariantList& values);

    // Steps to the next row; false after the last (or at once for a statement that returns none).
    bool next() { return statement().step(); }
    // Runs a statement that returns no rows and makes it ready to run again; returns the rows it changed.
    int run();
    // Makes the statement ready to run again from its first row; the bound values stay.
    void reset() { statement().reset(); }

    int columnCount() const { return statement().columnCount(); }
    QString columnName(int column) const { return statement().columnName(column); }
    // What the column holds, from the schema; Unknown for a computed column.
    ColumnType columnType(int column) const { return statement().columnType(column); }
    // The stored column the result column reads, through aliases, views and subqueries: its table and
    // its name as the schema writes them. Empty for a computed column.
    QString originTable(int column) const { return statement().originTable(column); }
    QString originColumn(int column) const { return statement().originColumn(column); }

    // The current row's value as the file stores it.
    using Kind = DatabaseStatement::Kind;
    Kind kind(int column) const { return m_stmt->kind(column); }
    // The kind, and the value when it is a whole number (a text), in one step.
    Kind integerOrKind(int column, qint64& value) const { return m_stmt->integerOrKind(column, value); }
    Kind textOrKind(int column, QByteArrayView& text) const { return m_stmt->textOrKind(column, text); }
    bool isNull(int column) const { return kind(column) == Kind::Null; }
    qint64 integer(int column) const { return m_stmt->integer(column); }
    double real(int column) const { return m_stmt->real(column); }
    // The text as UTF-8, valid until the next step.
    QByteArrayView utf8(int column) const { return m_stmt->utf8(column); }
    // The text; a null QString for Null.
    QString text(int column) const;
    // An amount stored as yuan; Null gives 0.
    Money money(int column) const;
    // As a QVariant: invalid for Null, qint64, double, QString or QByteArray.
    QVariant value(int column) const;

  private:
    PreparedStatement() = default;
    // Raises for an empty statement (or one moved from); the reads of a row's values need no check, as
    // a row is only there after next().
    DatabaseStatement& statement() const {
        if (!m_stmt) noStatement();
        return *m_stmt;
    }
    [[noreturn]] static void noStatement();

    std::unique_ptr<DatabaseStatement> m_stmt;
};

// New rows of one table in large numbers, values in the program's types (see DatabaseRowWriter): every
// value of a row in the order of `columns`, then the next row's. Stored once finish() returns.
class RowWriter {
  public:
    RowWriter(Connection& connection, const QString& table, const QStringList& columns)
        : m_writer(connection.database().writeRows(table, columns)) {}
    void add(qint64 value) { m_writer->addInteger(value); }
    void add(int value) { add(qint64(value)); }
    void add(double value) { m_writer->addReal(value); }
    void add(Money value) { m_writer->addMoney(value); }
    void add(const QString& value);  // a null QString adds Null
    // Any value, converted as toDbValue() converts it.
    void add(const QVariant& value);
    void addNull() { m_writer->addNull(); }
    void finish() { m_writer->finish(); }

  private:
    std::unique_ptr<DatabaseRowWriter> m_writer;
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
