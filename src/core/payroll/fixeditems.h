#pragma once

#include <QString>
#include <QStringList>

namespace hx {

class Connection;

// The expression a named fixed item carries in every month's item rows: its amount comes from the staff
// register, not from a formula.
extern const QString systemItemMarker;

// Names the fixed item `code` (A02..A08) in the item rows of every month, past months included, with the
// marker and a print width of 10.
void nameFixedItem(Connection& cn, const QString& code, const QString& name);
// Clears the fixed item `code` (A02..A08): every worker's amount, dismissed workers included, becomes 0 and
// the item is unnamed in every month. One transaction: either both happen or neither.
void clearFixedItem(Connection& cn, const QString& code);
// The titles of the fixed items A02..A08 as the staff register shows them: the names of the A items of the
// latest item month in code order, the first (A01, the piece wage) left out, by position. A month with
// fewer A rows leaves the remaining titles empty. Always seven titles.
QStringList fixedItemTitles(Connection& cn);

}  // namespace hx
