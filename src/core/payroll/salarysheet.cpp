#include "core/payroll/salarysheet.h"

#include "core/data/connection.h"

namespace hx {

bool sheetBatchExists(Connection& cn, const SheetBatch& batch) {
    return cn.scalar(QStringLiteral("select count(*) from salaryData where [year]=? and [month]=? and "
                                    "salaryDay=?"),
                     {batch.year, batch.month, batch.day})
               .toInt() > 0;
}

QStringList sheetItemTitles(Connection& cn, int year, int month) {
    QStringList names;
    PreparedStatement q =
        cn.query(QStringLiteral(
                     "select ItemCode,ItemName from salary where [Year]=? and [month]=? order by ItemCode;"),
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
    const bool stored = cn.scalar(QStringLiteral("select count(*) from salaryData where [Year]=? and "
                                                 "[Month]=? and salaryDay=? and staffCode=?"),
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
