#include "core/data/money.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

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

std::optional<Money> Money::fromDecimalText(QByteArrayView text) {
    qsizetype pos = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        pos = 1;
    }
    const auto isDigit = [&text](qsizetype i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
    // In units and wider than a Money, so that the one unit more below zero than above still fits.
    __int128 units = 0;
    bool beyond = false;
    int digits = 0;
    for (; isDigit(pos); ++pos, ++digits) {
        units = units * 10 + (text[pos] - '0');
        if (units > std::numeric_limits<qint64>::max() / Scale + 1) {
            beyond = true;  // read on to the end all the same: other text is no amount at all
            units = 0;
        }
    }
    units *= Scale;
    int fifth = 0;  // the first digit beyond the scale, for rounding
    if (pos < text.size() && text[pos] == '.') {
        qint64 place = Scale;
        for (++pos; isDigit(pos); ++pos, ++digits) {
            const int d = text[pos] - '0';
            if (place > 1) {
                place /= 10;
                units += d * place;
            } else if (place == 1) {
                fifth = d;
                place = 0;
            }
        }
    }
    if (pos != text.size() || digits == 0) return std::nullopt;
    if (fifth >= 5) ++units;
    if (negative) units = -units;
    if (beyond || units > std::numeric_limits<qint64>::max() || units < std::numeric_limits<qint64>::min())
        throw MoneyOverflowError();
    return Money(qint64(units));
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
    // Rounded as a magnitude of 64 bits without sign: the smallest amount has no positive counterpart,
    // nor has its rounding.
    quint64 divisor = 1;
    for (int i = decimals; i < Decimals; ++i) divisor *= 10;
    quint64 magnitude = m_units < 0 ? 0 - quint64(m_units) : quint64(m_units);
    const quint64 remainder = magnitude % divisor;
    magnitude -= remainder;
    if (2 * remainder >= divisor) magnitude += divisor;
    QString text = QString::number(magnitude / Scale);
    if (decimals > 0) {
        QString frac = QString::number(magnitude % Scale).rightJustified(Decimals, QLatin1Char('0'));
        text += QLatin1Char('.') + frac.left(decimals);
    }
    if (m_units < 0 && magnitude != 0) text.prepend(QLatin1Char('-'));
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
