#pragma once

#include <QDate>
#include <QString>
#include <QVector>
#include <optional>
#include <vector>

#include "core/data/dataset.h"
#include "core/data/money.h"

namespace hx {

class Connection;

// The figures the statistics window draws. Each is read from the result its table shows, so that the
// chart and the table cannot disagree; nothing here reads the database except the month comparison,
// whose table and chart share the rows it fills.

// The share of the normal wage a worker must reach.
constexpr double fullOutputPercent = 100.0;

// One bar of "员工产值检查": a worker of the result with the percentage of the normal wage reached.
struct OutputBar {
    OutputBar(const QString& code, const QString& name, double percentReached)
        : staffCode(code), staffName(name), percent(percentReached) {}
    QString staffCode;
    QString staffName;
    double percent;
    bool belowFull() const { return percent < fullOutputPercent; }
};

// The bars of the output check's result (a data set with outputCheckFields), lowest percentage first; equal
// percentages keep the order of the result. A row without a percentage is left out.
std::vector<OutputBar> outputBars(const DataSet& result);

// The total of one day of "生产汇总统计" grouped by date, summed over the other groupings chosen.
struct DayTotal {
    DayTotal(const QDate& date, qint64 pieces, Money money) : day(date), qty(pieces), amount(money) {}
    QDate day;
    qint64 qty;
    Money amount;
};

// Every day of the range from `from` to `to` (both included; none when `from` is after `to`) with the sums
// of the grouped rows of that day; a day without records sums to 0. The rows must hold the field 日期.
std::vector<DayTotal> dayTotals(const DataSet& rows, const QDate& from, const QDate& to);

// One bar of "生产汇总统计" grouped by anything but the date: a group, or the rest summed as "其他".
struct GroupBar {
    GroupBar(const QString& text, qint64 pieces, Money money, int groups)
        : label(text), qty(pieces), amount(money), groupCount(groups) {}
    QString label;
    qint64 qty;
    Money amount;
    int groupCount;  // groups summed into the bar: 1, or more for "其他"
};

// The title of a grouped row's bar: its grouping values joined by " / ", "（空）" for a value that is
// missing; "合计" without a grouping.
QString groupLabel(const DataSet& rows, int row);

// The `largest` groups of the grouped rows by amount (then by pieces, then in the rows' order), largest
// first, and when there are more, the rest summed into a last bar "其他".
std::vector<GroupBar> largestGroups(const DataSet& rows, int largest);

// The name of the bar of the groups beyond the largest.
QString otherGroupsLabel();

// ---- a month against the last

// A pay item a month's sheet holds in money: its code (A01 … A08, C01 … C15) and its name in that month.
struct PayItem {
    PayItem(const QString& itemCode, const QString& itemName) : code(itemCode), name(itemName) {}
    QString code;
    QString name;
};

// The named money items of a month's item setup, in code order: what a month can be compared by. The piece
// wage A01 is always among them, named "计件工资" when the month leaves it unnamed.
QVector<PayItem> comparablePayItems(Connection& cn, int year, int month);

// The item of a month that most likely is the total pay: the first amount item whose name says 实发
// (实发工资 before a rounded 实发整数 after it), else 应发, else 合计; the piece wage when there is none.
QString totalPayItem(const QVector<PayItem>& items);

// What the month comparison is asked: a month's sheet of one pay day and the item summed as its pay.
struct MonthComparisonQuery {
    MonthComparisonQuery(int sheetYear, int sheetMonth, int day, const QString& item)
        : year(sheetYear), month(sheetMonth), salaryDay(day), payItem(item) {}
    int year;
    int month;
    int salaryDay;
    QString payItem;
};

// The fields of the comparison: 班组, then 工资 and 数量 of the month, of the month before and their change
// in per cent (本月工资, 上月工资, 工资变化, 本月数量, 上月数量, 数量变化).
QVector<Field> monthComparisonFields();

// Fills `rows` (an in-memory data set; its fields are set here) with one row per class group of the workers
// of the pay day: the pay item summed over the group's rows of the month's salary sheet and of the previous
// month's sheet of the same pay day, and the pieces of the group's workers of that pay day over the two
// calendar months. A worker's group is his group in the register; a worker without one, or no longer
// registered, counts under "（无班组）". The change is empty where the previous month has nothing to
// compare with. Groups in the order of their names. Raises DbError for an item that is not a money item.
void fillMonthComparison(Connection& cn, const MonthComparisonQuery& query, DataSet& rows);

// The label of the workers without a class group.
QString noClassGroupLabel();

// The change from `before` to `now` in per cent; nothing when `before` is 0.
std::optional<double> percentChange(double before, double now);

}  // namespace hx
