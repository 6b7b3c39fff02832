#pragma once

#include <QDate>
#include <QVector>

#include "core/data/dataset.h"

namespace hx {

class Connection;

// The grouping items of "生产汇总统计", in their fixed order.
struct Grouping {
    bool date = false;
    bool classGroup = false;
    bool staff = false;
    bool style = false;
    bool job = false;
    bool salaryDay = false;
};

// What "生产汇总统计" is asked: the records of a range (both days included; nothing when the first day
// is after the last), optionally without dismissed workers and finished processes, grouped by the
// chosen items.
struct GroupedTotalsQuery {
    QDate from;
    QDate to;
    bool notFired = false;
    bool notStopped = false;
    Grouping grouping;
};

// The fields of the grouped rows: the chosen items in their fixed order — 日期, 班组, 工号 and 姓名 (for
// 员工), 款式, 工序, 发薪日 — then 数量 (pieces) and 金额 (money, "#,##0.00").
QVector<Field> groupedTotalsFields(const Grouping& grouping);

// Fills `rows` (an in-memory data set; its fields are set here) with the quantities and piece wages of
// the query: one row per group, ordered by the chosen items in their fixed order, a worker by his work
// number and a process by its code; texts in the database's order, groups without a value first.
// Without a grouping the one row holds the grand sums, empty when there are no records. Records of a
// worker or process that is no longer registered are left out. Money is summed exactly in
// ten-thousandths of a yuan; a sum beyond the range of money raises DbError.
//
// The groups are summed here rather than by the database: a grouping by all six items over a year is
// a million groups, which the database would sort on their texts; here they are ordered by the ranks of
// the texts, read once from the registers.
void fillGroupedTotals(Connection& cn, const GroupedTotalsQuery& query, DataSet& rows);

// The fields of the grand totals: qty (pieces) and tmy (money).
QVector<Field> grandTotalFields();
// Fills the grand totals (an in-memory data set with grandTotalFields) from the grouped rows. The groups
// share out the records of the query between them, so their sums are the sums over the query, had
// without reading the records a second time. A column that has no value in any row (no records at all)
// sums to no value, as a sum in the database does.
void fillGrandTotals(const DataSet& rows, DataSet& totals);

}  // namespace hx
