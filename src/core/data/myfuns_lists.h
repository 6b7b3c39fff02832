#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <optional>

#include "core/data/money.h"
#include "core/data/queries.h"

namespace hx {

// The first column of every row of a query as texts, in the query's order, read through the data
// module's scratch query.
QStringList firstColumnTexts(const Query& query);

// The integer in `resultColumn` of the first row of `table` whose `keyColumn` equals `value`; 0 when no
// row matches or the value found is Null. The value is bound, never pasted into the statement; the table
// and column names are the program's own and must be plain names.
int GetIDByCode(const QString& table, const QString& resultColumn, const QString& keyColumn,
                const QVariant& value);

// The worker and process caches of the data module: every worker (staffID, staffCode holding the work
// number, six blanks and the name) and every process (jobID, jobCode, unitPrice), dismissed and finished
// ones included. Loaded when the piece-work window opens, emptied when it closes; not refreshed between.
void LoadStaffCache();
void LoadJobCache();
// Empties both caches.
void ClearCaches();

// Width of the cache columns, counted as the code page counts them: a Chinese character takes two.
constexpr int StaffCacheWidth = 20;
constexpr int JobCacheWidth = 30;

// The text cut at its end so that it takes at most `width` single-width places, where every character
// outside ASCII takes two. A double-width character that does not fit whole is left out, never halved.
QString cutToWidth(const QString& text, int width);

// Lookups by key in the loaded caches, for the piece-work window's cells. A key the cache does not hold
// (or a cache that is not loaded) gives the empty text, or no price.
QString staffCodeOf(int staffID);
QString jobCodeOf(int jobID);
// No price also for a process whose price is empty.
std::optional<Money> unitPriceOf(int jobID);
// The process's price as a field value: Money, or Null when unitPriceOf gives none.
QVariant unitPriceValue(const QVariant& jobID);

}  // namespace hx
