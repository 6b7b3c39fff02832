#pragma once

#include <QDate>
#include <QString>
#include <optional>
#include <vector>

#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/payroll/formula.h"

namespace hx {

// One salary sheet: the rows of salaryData with one year, month and pay day.
struct SheetBatch {
    int year = 0;
    int month = 0;
    int day = 0;
    friend bool operator==(const SheetBatch& a, const SheetBatch& b) {
        return a.year == b.year && a.month == b.month && a.day == b.day;
    }
};

// A generation or recalculation that could not be done. The message is the cause as the accountant reads
// it: the item code, its formula and the reason, and the worker when only one row failed.
class PayrollError : public Error {
  public:
    using Error::Error;
};

// The computed items of a month, B01-B07 then C01-C15, each formula parsed once and then applied to any
// number of sheet rows.
class SheetFormulas {
  public:
    struct Item {
        int index = -1;  // position in salaryItemCodes()
        QString code;
        QString expression;
        std::optional<Formula> formula;  // nothing when the expression does not parse
        QString parseError;
    };

    // The named B and C items of the month, as generation applies them.
    static SheetFormulas forGeneration(Connection& cn, int year, int month);
    // The B and C items whose expression names an item (contains the letter A, B or C) of the month,
    // named or not, as the recalculation of a saved row applies them. A constant such as max(26, 0) is
    // a default value and is left out, so a value typed over it survives.
    static SheetFormulas forRecalculation(Connection& cn, int year, int month);

    const std::vector<Item>& items() const { return m_items; }
    bool isEmpty() const { return m_items.empty(); }

    // Applies every item in code order to `row` (SalaryItemCount values); each result replaces the value
    // as the sheet column keeps it (amounts to four decimals, numbers as doubles), so later items read
    // what the database would hand them. On a failure the items before the failing one stay applied and
    // a PayrollError names the item, the formula, the reason and `staffCode`.
    void apply(Decimal* row, const QString& staffCode) const;

  private:
    static SheetFormulas load(Connection& cn, int year, int month, bool generation);
    std::vector<Item> m_items;
};

// Generates the salary sheet of `batch` in one transaction: the batch's rows are deleted, and every
// worker with that pay day who is not dismissed gets one row with the fixed amounts A02-A08, the piece
// wage A01 (the exact sum of pieces times current piece rate of the worker's records dated from `from`
// to `to`, both included), the named B and C items from their formulas in code order, and the named T
// items from their default texts. Any failure rolls everything back, leaves the batch as it was and
// raises PayrollError (a formula or text) or DbError (the database). Returns the number of rows.
int generateSalarySheet(Connection& cn, const SheetBatch& batch, const QDate& from, const QDate& to);

// Recalculates the computed items of every row of the worker in the month, whatever the pay day, from
// the values stored in those rows. Returns the number of rows recalculated. On a failure the items before
// the failing one stay recalculated, and PayrollError names the cause.
int recalculateWorker(Connection& cn, int year, int month, const QString& staffCode);

// The month number N = 12 x year + month that counts backwards across years.
constexpr int monthNumber(int year, int month) {
    return 12 * year + month;
}
// 2003-11: the item month every account set starts from; the copy never reaches behind it.
constexpr int baseItemYear = 2003;
constexpr int baseItemMonth = 11;
constexpr int baseItemMonthNumber = monthNumber(baseItemYear, baseItemMonth);

// The most recent month before (year, month) with at least two item rows, searching back no further than
// the base item month, which is returned when nothing later is found. For a month at or before the base
// month that is the month immediately before it.
int previousItemMonth(Connection& cn, int year, int month);

// Replaces the items of (year, month) with a copy of the items of month number `source`, in one
// transaction. The base item month is never overwritten, and a source month without items leaves the
// month as it is. Returns the number of rows copied (0 when nothing changed).
int copyItemMonth(Connection& cn, int year, int month, int source);

}  // namespace hx
