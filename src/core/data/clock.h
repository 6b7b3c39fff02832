#pragma once

#include <QDate>

namespace hx {

// The program's one reading of the calendar: every window asks here for today, so that a test can fix
// the day and a run across midnight sees one date throughout.
QDate today();
// Fixes today (tests); an invalid date goes back to the system clock.
void setToday(const QDate& date);

}  // namespace hx
