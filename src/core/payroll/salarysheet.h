#pragma once

#include <QString>
#include <QStringList>

#include "core/data/queries.h"
#include "core/payroll/generation.h"

namespace hx {

class Connection;

// A generated salary sheet's rows and a month's salary items, as the payroll windows ask about them.

// The month's item rows (year, month, ItemCode, ItemName, expression, printWidth) in code order; those
// of one family ("A", "B", "C" or "T") when it is given.
Query monthItems(int year, int month, const QString& family = QString());
// The month's items' print widths summed (sumW; Null for a month without items).
Query monthItemsWidth(int year, int month);
// The print widths of the sheet's fixed columns (wCode, wName).
Query columnWidths();

// The batch's rows in the order of the workers' codes: staffCode, staffName, every item of
// salaryItemCodes(), then the batch's own columns, which tell a stored row from another that took its place.
Query sheetRows(const SheetBatch& batch);
// The totals row of the batch: "合计", blanks for the name and the texts, and the sum of every other item.
// Amounts are summed in whole ten-thousandths of a yuan, so the total is exact.
Query sheetTotals(const SheetBatch& batch);

// The batch has at least one row in the sheet (it was generated before).
bool sheetBatchExists(Connection& cn, const SheetBatch& batch);

// The titles of the sheet's item columns for the month, one per code of salaryItemCodes() and in that
// order: the month's item rows in code order give the titles by position, and an empty title (an unnamed
// item, or none left for the position) hides its column.
QStringList sheetItemTitles(Connection& cn, int year, int month);

// After a row of the batch was saved: recalculates the computed items of every row of the worker in the
// batch's month (recalculateWorker), as long as the worker still has a row in the batch; a row that was
// deleted meanwhile leaves everything as it is. One transaction: a database failure leaves every row as
// it was; a formula that fails keeps the items computed before it (as recalculateWorker does) and raises
// PayrollError. Returns the number of rows recalculated.
int recalculateSavedRow(Connection& cn, const SheetBatch& batch, const QString& staffCode);

}  // namespace hx
