#include "core/payroll/periods.h"

namespace hx {

YearMonth previousMonth(const QDate& today) {
    if (today.month() == 1) return {today.year() - 1, 12};
    return {today.year(), today.month() - 1};
}

}  // namespace hx
