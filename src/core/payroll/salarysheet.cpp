#include "core/payroll/salarysheet.h"

#include "core/data/connection.h"
#include "core/payroll/formula.h"

namespace hx {

Query monthItems(int year, int month, const QString& family) {
    const QString columns = QStringLiteral(
        "select year, month, ItemCode, ItemName,expression, printWidth from Salary where year=? and "
        "month=?");
    const QStringList key{QStringLiteral("year"), QStringLiteral("month"), QStringLiteral("ItemCode")};
    if (family.isEmpty())
        return Query(columns + QStringLiteral(" order by ItemCode"), {year, month})
            .editing(QStringLiteral("salary"), key);
    return Query(columns + QStringLiteral(" and ItemCode Like ? order by ItemCode"),
                 {year, month, family + QLatin1Char('%')})
        .editing(QStringLiteral("salary"), key);
}

Query monthItemsWidth(int year, int month) {
    return Query(QStringLiteral("select sum(printWidth) as sumW from salary where year=? and month=?"),
                 {year, month});
}

Query columnWidths() {
    // The table's one row, told by what it holds.
    return Query(QStringLiteral("select wCode, wName from wCodeName"))
        .editing(QStringLiteral("wCodeName"), {QStringLiteral("wCode"), QStringLiteral("wName")});
}

Query sheetRows(const SheetBatch& batch) {
    return Query(QStringLiteral("select staffCode, staffName, ") +
                     salaryItemCodes().join(QStringLiteral(", ")) +
                     QStringLiteral(", Year, Month, salaryDay from SalaryData where Year=? and month=? and "
                                    "salaryDay=? order by staffCode"),
                 {batch.year, batch.month, batch.day})
        .editing(QStringLiteral("salaryData"), {QStringLiteral("Year"), QStringLiteral("Month"),
                                                QStringLiteral("salaryDay"), QStringLiteral("staffCode")});
}

Query sheetTotals(const SheetBatch& batch) {
    QStringList columns{QStringLiteral("'合计' as staffCode"), QStringLiteral("' ' as staffName")};
    for (const QString& code : salaryItemCodes()) {
        if (code.startsWith(QLatin1Char('T')))
            columns << QStringLiteral("' ' as %1").arg(code);
        else if (code.startsWith(QLatin1Char('B')))
            columns << QStringLiteral("sum(%1) as %1").arg(code);
        else
            columns << QStringLiteral("sum(cast(round(%1*10000) as bigint))/10000.0 as %1").arg(code);
    }
    return Query(
        QStringLiteral("select ") + columns.join(QStringLiteral(", ")) +
            QStringLiteral(" from SalaryData where Year=? and month=? and salaryDay=? GROUP BY Year, "
                           "Month"),
        {batch.year, batch.month, batch.day});
}

bool sheetBatchExists(Connection& cn, const SheetBatch& batch) {
    return cn.scalar(QStringLiteral("select count(*) from salaryData where year=? and month=? and "
                                    "salaryDay=?"),
                     {batch.year, batch.month, batch.day})
               .toInt() > 0;
}

QStringList sheetItemTitles(Connection& cn, int year, int month) {
    QStringList names;
    PreparedStatement q = cn.query(
        QStringLiteral("select ItemCode,ItemName from salary where Year=? and month=? order by ItemCode;"),
        {year, month});
    while (q.next()) names << q.value(1).toString();
    q.reset();
    QStringList titles;
    const int count = int(salaryItemCodes().size());
    for (int i = 0; i < count; ++i) titles << names.value(i);
    return titles;
}

int recalculateSavedRow(Connection& cn, const SheetBatch& batch, const QString& staffCode) {
    Transaction transaction(cn);
    const bool stored = cn.scalar(QStringLiteral("select count(*) from salaryData where Year=? and "
                                                 "Month=? and salaryDay=? and staffCode=?"),
                                  {batch.year, batch.month, batch.day, staffCode})
                            .toInt() > 0;
    int rows = 0;
    if (stored) {
        try {
            rows = recalculateWorker(cn, batch.year, batch.month, staffCode);
        } catch (const PayrollError&) {
            transaction.commit();  // the items computed before the failing one stay
            throw;
        }
    }
    transaction.commit();
    return rows;
}

}  // namespace hx
