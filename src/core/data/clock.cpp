#include "core/data/clock.h"

namespace hx {

namespace {
QDate fixedToday;
}

QDate today() {
    return fixedToday.isValid() ? fixedToday : QDate::currentDate();
}

void setToday(const QDate& date) {
    fixedToday = date;
}

}  // namespace hx
