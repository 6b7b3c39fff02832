#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>
#include <optional>

namespace hx {

// A statement the program runs, with its values bound in order: what a list, a drop-down, a picker or
// a grid reads. The windows take such queries from the core and never write SQL of their own.
struct Query {
    explicit Query(const QString& statement, const QVariantList& values = {})
        : sql(statement), params(values) {}
    // The same query for a grid that edits its rows: they are stored to `table`, found there by
    // `key` (see DataSet::setUpdateTable).
    Query editing(const QString& table, const QStringList& key) const {
        Query q = *this;
        q.updateTable = table;
        q.keyFields = key;
        return q;
    }
    QString sql;
    QVariantList params;
    QString updateTable;  // empty: the rows are only read
    QStringList keyFields;
};

class DataSet;
// Gives a (closed) data set the query's statement, values, table and key; open() reads them.
void setQuery(DataSet& dataSet, const Query& query);

// ---- the registers' lists

// Every column of the staff register a window edits: the workers in service or the dismissed ones, in
// the order they were entered (an engine that moves a changed row keeps it in its place).
Query staffList(bool dismissed);
// Every column of the process register a window edits: the processes in production or the finished ones,
// in the order they were entered.
Query processList(bool finished);

// ---- drop-down lists, in the order they are shown

// "work number    name" of every worker in service, by work number.
Query currentWorkerTexts();
// The process codes in production.
Query currentProcessCodes();
// The styles (style groups) of the processes and the class groups of the workers, in order, without the
// empty one.
Query processStyles();
Query classGroups();
// The class groups with a name, blank ones left out too, in the engine's order: the statistics' condition,
// where an empty text means every group.
Query namedClassGroups();

// ---- the picker's lists (objectID, objectCode, and what tells one entry from another)

// The processes in production with their description and unit price: those of `style` and those of no
// style; every one when no style is given.
Query processPicks(const std::optional<QString>& style = std::nullopt);
// The workers in service as "work number     name": those of `group` and those of no group; every one when
// no group is given.
Query workerPicks(const std::optional<QString>& group = std::nullopt);

}  // namespace hx
