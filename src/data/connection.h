#pragma once

#include <QByteArrayView>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <vector>

#include "data/errors.h"

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
    void open(const QString& path, Access access = Access::ReadWrite);
    // Closes every data set on this connection (a row still in edit is dropped: call storePendingEdits()
    // first where it must be kept), then the file.
    void close();
    bool isOpen() const;
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
    // Runs a query; the result is read forward only.
    QSqlQuery query(const QString& sql, const QVariantList& params = {});
    // First column of the first row, or an invalid QVariant when there is no row.
    QVariant scalar(const QString& sql, const QVariantList& params = {});
    // Several statements separated by semicolons, with no parameters (schema scripts, pragmas).
    void execScript(const QString& sql);
    qint64 lastInsertRowId() const;

    void beginTransaction();
    void commit();
    void rollback();
    bool inTransaction() const { return m_inTransaction; }

    QSqlDatabase database() const;
    sqlite3* handle() const;

    // Declared type of result column `column` of an executed query (empty for a computed column).
    static QString declaredType(const QSqlQuery& query, int column);

  private:
    QSqlQuery prepare(const QString& sql, const QVariantList& params);
    void require() const;

    QString m_name;
    QString m_path;
    bool m_inTransaction = false;
    std::vector<DataSet*> m_dataSets;
};

// The rows of a query read straight from the database engine, for loading many rows at once: numbers
// come without any allocation and texts in one step. Values are bound as query() binds them.
class RowReader {
  public:
    RowReader(Connection& connection, const QString& sql, const QVariantList& params = {});
    ~RowReader();
    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;

    int columnCount() const;
    QString columnName(int column) const;
    // The column's declared type in the schema; empty for a computed column.
    QString declaredType(int column) const;
    // Steps to the next row; false after the last. Raises when the engine fails.
    bool next();

    // The current row's value as the file stores it.
    enum class Kind { Null, Integer, Real, Text, Blob };
    Kind kind(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    // The text as UTF-8, valid until the next step.
    QByteArrayView utf8(int column) const;
    // As a QVariant: Null, qint64, double, QString or QByteArray.
    QVariant value(int column) const;

  private:
    sqlite3_stmt* m_stmt = nullptr;
    sqlite3* m_db = nullptr;
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
