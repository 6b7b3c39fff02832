#pragma once

#include <QDate>
#include <QString>

namespace hx {

// The first year of the year lists of the payroll windows; the last is next year, so that the current
// year, and a December sheet made in January, can always be chosen.
constexpr int firstListYear = 2001;

// The month before the one of `today`: in January, December of the year before. The payroll windows
// open on it, as the month whose pay is made now.
struct YearMonth {
    int year;
    int month;
};
YearMonth previousMonth(const QDate& today);

}  // namespace hx
