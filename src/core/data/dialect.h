#pragma once

#include <QString>
#include <utility>
#include <vector>

namespace hx {

// What a column holds, as the program sees it: money, dates and yes/no are kinds of their own whatever
// the engine stores them as. A computed column has no kind (Unknown).
enum class FieldType { Unknown, Integer, Money, Double, Text, Date, Bool };

struct ColumnType {
    FieldType type = FieldType::Unknown;
    int size = 0;  // characters of a text column, 0 when unbounded
};

// A column of a stored table as the catalogue describes it.
struct TableColumn {
    TableColumn(QString columnName, ColumnType columnType, int positionInKey)
        : name(std::move(columnName)), type(columnType), keyPosition(positionInKey) {}
    QString name;  // as the schema writes it
    ColumnType type;
    int keyPosition;  // 1, 2, ... within the table's declared key; 0 for a column outside it
};

// What the SQL of one database engine writes differently from another's. Statements built by the
// program (a data set's update, a generation's write, a look into the catalogue) take their engine-
// specific words from here, so that they run unchanged on every engine.
class Dialect {
  public:
    virtual ~Dialect() = default;
    // A table or column name as a statement writes it, whatever its letters or a reserved word.
    virtual QString quoted(const QString& name) const = 0;
    // A condition that holds when both sides are equal or both are Null.
    virtual QString nullSafeEqual(const QString& left, const QString& right) const = 0;

    // The kind of a column whose type the schema gives by this name (as the catalogue reads it back).
    virtual ColumnType columnType(const QString& typeName) const = 0;

    // `select` limited to `rows` rows after skipping `offset`, as one statement of the engine.
    virtual QString paged(const QString& select, qint64 rows, qint64 offset) const = 0;
    // `insert` made to give back the value of `key` of the row it inserts, as its one result row.
    virtual QString returning(const QString& insert, const QString& key) const = 0;

    // The catalogue, each as a query of one parameter (a name, matched whatever its case):
    //   how many tables have the name: one row of one count;
    virtual QString tableCountQuery() const = 0;
    //   the table's columns in order: rows of (name, type name, position in the declared key or 0);
    virtual QString tableColumnsQuery() const = 0;
    //   the statement that made the view: one row, none when there is no such view.
    virtual QString viewDefinitionQuery() const = 0;

    // Whether the rows come from within the program's own process, so that reading many plain rows costs
    // less than having the database group them first; false where every row crosses a network.
    virtual bool readsRowsInProcess() const = 0;
    // `select` made to hold the rows it reads until the transaction ends, so that no other connection
    // changes or deletes them between the read and a write that depends on it.
    virtual QString lockingRows(const QString& select) const = 0;
    // A list of whole numbers as the text of one parameter, and an expression for its element at
    // `position` (counted from 1) taken from that parameter: Null where the list has no such element. A
    // lookup of this kind costs less per row than a join with a table of the same numbers.
    virtual QString wholeNumberList(const std::vector<qint64>& values) const = 0;
    virtual QString listElement(const QString& position) const = 0;
};

}  // namespace hx
