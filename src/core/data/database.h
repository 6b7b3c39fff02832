#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>

#include "core/data/dialect.h"
#include "core/data/money.h"

namespace hx {

// One prepared statement of an engine. Values go in and come out as the file stores them (integers,
// reals, UTF-8 text, blobs, Null); what they mean to the program is the business of PreparedStatement.
// Parameters and columns are numbered as PreparedStatement numbers them. Failures raise DbError (a
// refusal by a rule of the schema ConstraintError) with the Chinese message a user reads.
class DatabaseStatement {
  public:
    virtual ~DatabaseStatement() = default;

    // True when the statement by itself changes nothing in the database.
    virtual bool isReadOnly() const = 0;

    virtual int parameterCount() const = 0;
    virtual void bindInteger(int parameter, qint64 value) = 0;
    virtual void bindReal(int parameter, double value) = 0;
    virtual void bindText(int parameter, QByteArrayView utf8) = 0;  // an empty text stays text, not Null
    virtual void bindBlob(int parameter, QByteArrayView bytes) = 0;
    virtual void bindNull(int parameter) = 0;
    // An amount as the file keeps money: whole yuan as an integer (a free query shows 300, not 300.0), any
    // other amount as a real. An engine with an exact decimal type sends it exactly instead.
    virtual void bindMoney(int parameter, Money value) {
        if (value.units() % Money::Scale == 0)
            bindInteger(parameter, value.units() / Money::Scale);
        else
            bindReal(parameter, value.toDouble());
    }

    // Steps to the next row; false after the last. A failure leaves the statement ready to run again.
    virtual bool step() = 0;
    // Ready to run again from its first row; the bound values stay.
    virtual void reset() = 0;
    // The rows the last run of a changing statement changed.
    virtual int rowsChanged() const = 0;

    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    // The kind of the stored column a result column reads; Unknown for a computed column.
    virtual ColumnType columnType(int column) const = 0;
    // The stored column the result column reads, through aliases, views and subqueries: its table and
    // its name as the schema writes them. Empty for a computed column.
    virtual QString originTable(int column) const = 0;
    virtual QString originColumn(int column) const = 0;

    enum class Kind { Null, Integer, Real, Text, Blob };
    virtual Kind kind(int column) const = 0;
    // The kind, and with it the value of a whole number or a text, in one step: the bulk paths read a
    // month of rows this way.
    virtual Kind integerOrKind(int column, qint64& value) const {
        const Kind k = kind(column);
        if (k == Kind::Integer) value = integer(column);
        return k;
    }
    virtual Kind textOrKind(int column, QByteArrayView& text) const {
        const Kind k = kind(column);
        if (k == Kind::Text) text = utf8(column);
        return k;
    }
    virtual qint64 integer(int column) const = 0;
    virtual double real(int column) const = 0;
    // Text as UTF-8, blobs as bytes, valid until the next step; a view of no data for Null.
    virtual QByteArrayView utf8(int column) const = 0;
    virtual QByteArrayView blob(int column) const = 0;
    // The amount a column holds as yuan; Null gives 0. An engine with an exact decimal type reads it
    // exactly, never through a double.
    virtual Money money(int column) const {
        switch (kind(column)) {
            case Kind::Integer:
                return Money::fromYuan(integer(column));
            case Kind::Real:
                return Money::fromDouble(real(column));
            case Kind::Null:
                return Money();
            case Kind::Text:
            case Kind::Blob:
                break;
        }
        const QByteArrayView text = utf8(column);
        if (const auto exact = Money::fromDecimalText(text)) return *exact;
        return Money::parse(QString::fromUtf8(text)).value_or(Money());
    }
};

// New rows of one table in large numbers (a salary sheet of thousands of workers), taken in the quickest
// way the engine has. Values are given in the order of the columns, row after row; a row is complete with
// the value of its last column. Every row is stored once finish() returns. A writer dropped before that
// may have stored some of its rows, so it is used inside a transaction; nothing else runs on the
// database while it is open.
class DatabaseRowWriter {
  public:
    virtual ~DatabaseRowWriter() = default;
    virtual void addInteger(qint64 value) = 0;
    virtual void addReal(double value) = 0;
    virtual void addText(QByteArrayView utf8) = 0;
    virtual void addBlob(QByteArrayView bytes) = 0;
    virtual void addNull() = 0;
    virtual void addMoney(Money value) = 0;  // as DatabaseStatement::bindMoney stores it
    virtual void finish() = 0;
};

// One open database of an engine: the handle every statement runs on. The program speaks to it only
// through Connection, which adds what is the same for every engine (the data sets, values of the
// program's types, the transaction guard).
class Database {
  public:
    virtual ~Database() = default;

    virtual const Dialect& dialect() const = 0;

    // Prepares the first statement of `sql`; `used` receives the bytes it took, the blanks and comments
    // after it included. A text of nothing but blanks and comments gives nullptr.
    virtual std::unique_ptr<DatabaseStatement> prepare(QByteArrayView sql, qsizetype* used) = 0;
    // Several statements separated by semicolons, with no parameters (schema scripts).
    virtual void execScript(const QString& sql) = 0;
    // A writer of new rows of `table`, one prepared insert a row unless the engine has a quicker way.
    virtual std::unique_ptr<DatabaseRowWriter> writeRows(const QString& table, const QStringList& columns);

    // One write transaction at a time; a write begun takes the database at once, so that two writers
    // never both hold rows read for a change.
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
    virtual bool inTransaction() const = 0;

    // True when the database was opened for reading or can only be read.
    virtual bool isReadOnly() const = 0;
    // True when a change could be stored; tried without storing anything.
    virtual bool writable() = 0;

    // Makes the statement running, from whatever thread, stop with "查询已取消。".
    virtual void interrupt() = 0;
    // Makes every statement stop with "查询已取消。" as soon as the flag is set; nullptr removes it.
    virtual void interruptWhen(const std::atomic<bool>* flag) = 0;
    // Refuses, as too big, to build or read any text or blob longer than `bytes`.
    virtual void limitValueLength(int bytes) = 0;
    // How long a statement waits for another connection to let go of what it needs.
    virtual void setBusyTimeout(int milliseconds) = 0;
    // While on, the engine is set for one large piece of work (a bulk import, a statistics query over a
    // year): a larger cache, and temporary results on disk rather than in memory. Off restores how it
    // was set before.
    virtual void setBulkWork(bool on) = 0;
    // Makes the engine itself end any statement that runs longer than this (0: no limit), also when the
    // program that started it is gone. An engine without a process of its own leaves it to the caller.
    virtual void limitStatementTime(int milliseconds) = 0;
    // True when other desks work on the same data at the same time, so that a row found changed since it
    // was read was changed by another user rather than by another window of this desk.
    virtual bool servesSeveralDesks() const = 0;
};

}  // namespace hx
