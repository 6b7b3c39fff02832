#include "core/data/money.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace hx {

qint64 roundHalfAway(qint64 value, int dropDigits) {
    if (dropDigits <= 0) return value;
    qint64 divisor = 1;
    for (int i = 0; i < dropDigits; ++i) divisor *= 10;
    const qint64 quotient = value / divisor;
    const qint64 remainder = value % divisor;
    if (2 * std::llabs(remainder) >= divisor) return (value < 0 ? quotient - 1 : quotient + 1) * divisor;
    return quotient * divisor;
}

Money Money::fromDouble(double yuan) {
    const double units = std::round(yuan * Scale);
    // Beyond the range of a 64-bit count (or not a number) there is no amount to give.
    if (!std::isfinite(units) || std::fabs(units) >= 9.2e18) throw MoneyOverflowError();
    return Money(qint64(units));
}

std::optional<Money> Money::parse(const QString& input) {
    QString text = input.trimmed();
    text.remove(QLatin1Char(','));
    if (text.isEmpty()) return std::nullopt;
    bool negative = false;
    int pos = 0;
    if (text[0] == QLatin1Char('-') || text[0] == QLatin1Char('+')) {
        negative = text[0] == QLatin1Char('-');
        pos = 1;
    }
    qint64 whole = 0;
    int wholeDigits = 0;
    while (pos < text.size() && text[pos].isDigit()) {
        whole = whole * 10 + text[pos].digitValue();
        if (whole > 900000000000000LL / Scale) return std::nullopt;
        ++pos;
        ++wholeDigits;
    }
    qint64 fraction = 0;  // in units of 10^-5, one digit beyond the scale for rounding
    int fractionDigits = 0;
    if (pos < text.size() && text[pos] == QLatin1Char('.')) {
        ++pos;
        while (pos < text.size() && text[pos].isDigit()) {
            if (fractionDigits < 5) fraction = fraction * 10 + text[pos].digitValue();
            ++fractionDigits;
            ++pos;
        }
    }
    if (pos != text.size() || (wholeDigits == 0 && fractionDigits == 0)) return std::nullopt;
    for (int i = std::min(fractionDigits, 5); i < 5; ++i) fraction *= 10;
    qint64 units = whole * Scale + fraction / 10;
    const int fifth = int(fraction % 10);
    if (fifth >= 5) ++units;  // half away from zero: a fifth decimal of 5 rounds up in magnitude
    return Money(negative ? -units : units);
}

Money Money::fromVariant(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return Money();
    if (value.userType() == qMetaTypeId<Money>()) return value.value<Money>();
    switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::Bool:
            return fromYuan(value.toLongLong());
        case QMetaType::Double:
        case QMetaType::Float:
            return fromDouble(value.toDouble());
        default:
            break;
    }
    return parse(value.toString()).value_or(Money());
}

Money Money::rounded(int decimals) const {
    return Money(roundHalfAway(m_units, Decimals - decimals));
}

QString Money::toString(int decimals) const {
    decimals = std::clamp(decimals, 0, int(Decimals));
    const qint64 r = roundHalfAway(m_units, Decimals - decimals);
    const qint64 magnitude = std::llabs(r);
    QString text = QString::number(magnitude / Scale);
    if (decimals > 0) {
        QString frac = QString::number(magnitude % Scale).rightJustified(Decimals, QLatin1Char('0'));
        text += QLatin1Char('.') + frac.left(decimals);
    }
    if (r < 0) text.prepend(QLatin1Char('-'));
    return text;
}

QString Money::toPlainString() const {
    QString text = toString(Decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0'))) text.chop(1);
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    }
    return text;
}

}  // namespace hx
