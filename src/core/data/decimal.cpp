#include "core/data/decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace hx {

namespace {

using Raw = __int128;

constexpr Raw power10(int n) {
    Raw r = 1;
    while (n-- > 0) r *= 10;
    return r;
}

constexpr Raw Scale = power10(Decimal::Decimals);
// Raw magnitudes stay below 10^26 (values below 10^14), so a raw value times the scale, or a raw value
// times the fractional part of another, still fits the 127 bits of a signed __int128.
constexpr Raw Limit = power10(26);
constexpr Raw MoneyDivisor = power10(Decimal::Decimals - Money::Decimals);

Raw absRaw(Raw v) {
    return v < 0 ? -v : v;
}

// n / d rounded half away from zero; 2 * |d| must fit.
Raw divideRounded(Raw n, Raw d) {
    Raw q = n / d;
    const Raw r = n - q * d;
    if (2 * absRaw(r) >= absRaw(d)) q += ((n < 0) != (d < 0)) ? -1 : 1;
    return q;
}

[[noreturn]] void throwOutOfRange() {
    throw FormulaError(QStringLiteral("计算结果超出范围"));
}

bool isAsciiDigit(QChar c) {
    return c.unicode() >= '0' && c.unicode() <= '9';
}

}  // namespace

DecimalReader::Result DecimalReader::read(const QString& text, int& pos, Decimal& out) {
    Raw whole = 0;
    Raw fraction = 0;
    int fractionDigits = 0;
    bool roundUp = false;
    bool digits = false;
    bool point = false;
    bool secondPoint = false;
    for (; pos < text.size(); ++pos) {
        const QChar c = text[pos];
        if (c == QLatin1Char('.')) {
            if (point) secondPoint = true;
            point = true;
            continue;
        }
        if (!isAsciiDigit(c)) break;
        digits = true;
        const int digit = c.unicode() - '0';
        if (!point) {
            whole = whole * 10 + digit;
            if (whole >= Limit / Scale) throw FormulaError(QStringLiteral("数值超出范围"));
        } else if (fractionDigits < Decimal::Decimals) {
            fraction = fraction * 10 + digit;
            ++fractionDigits;
        } else if (fractionDigits == Decimal::Decimals) {
            roundUp = digit >= 5;  // only the first dropped digit decides a half-away rounding
            ++fractionDigits;
        }
    }
    if (secondPoint) return SecondPoint;
    if (!digits) return NoDigits;
    fraction *= power10(Decimal::Decimals - std::min(fractionDigits, int(Decimal::Decimals)));
    const Raw raw = whole * Scale + fraction + (roundUp ? 1 : 0);
    if (raw >= Limit) throw FormulaError(QStringLiteral("数值超出范围"));
    out = Decimal(raw);
    return Ok;
}

// ---- Decimal -------------------------------------------------------------------------------------------

Decimal Decimal::checked(Raw raw) {
    if (absRaw(raw) >= Limit) throwOutOfRange();
    return Decimal(raw);
}

Decimal Decimal::fromInt(qint64 value) {
    return checked(Raw(value) * Scale);
}

Decimal Decimal::fromMoney(Money money) {
    return checked(Raw(money.units()) * MoneyDivisor);
}

Decimal Decimal::fromDouble(double value) {
    if (!std::isfinite(value) || std::fabs(value) >= 1e14) throw FormulaError(QStringLiteral("数值超出范围"));
    // The shortest fixed notation that reads back as the same double; a denormal needs some 330 places.
    char buffer[512];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (result.ec != std::errc()) throwOutOfRange();
    return parse(QString::fromLatin1(buffer, int(result.ptr - buffer))).value_or(Decimal());
}

Decimal Decimal::fromVariant(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return Decimal();
    if (value.userType() == qMetaTypeId<Money>()) return fromMoney(value.value<Money>());
    switch (value.typeId()) {
        case QMetaType::Bool:
            return fromInt(value.toBool() ? -1 : 0);  // the database's yes is -1
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
            return fromInt(value.toLongLong());
        case QMetaType::Double:
        case QMetaType::Float:
            return fromDouble(value.toDouble());
        default:
            return parse(value.toString()).value_or(Decimal());
    }
}

std::optional<Decimal> Decimal::parse(const QString& input) {
    const QString text = input.trimmed();
    int pos = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == QLatin1Char('-') || text[0] == QLatin1Char('+'))) {
        negative = text[0] == QLatin1Char('-');
        pos = 1;
    }
    Decimal value;
    if (DecimalReader::read(text, pos, value) != DecimalReader::Ok || pos != text.size()) return std::nullopt;
    return negative ? -value : value;
}

Money Decimal::toMoney() const {
    return Money::fromUnits(qint64(divideRounded(m_raw, MoneyDivisor)));
}

qint64 Decimal::truncated() const {
    return qint64(m_raw / Scale);
}

double Decimal::toDouble() const {
    const QByteArray text = toString().toLatin1();
    double value = 0;
    std::from_chars(text.constData(), text.constData() + text.size(), value);
    return value;
}

QString Decimal::toString() const {
    QString text = toString(Decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0'))) text.chop(1);
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
    }
    return text;
}

QString Decimal::toString(int decimals) const {
    decimals = std::clamp(decimals, 0, int(Decimals));
    const Raw unit = power10(Decimals - decimals);
    const Raw magnitude = absRaw(divideRounded(m_raw, unit) * unit);
    QString text = QString::number(qint64(magnitude / Scale));
    if (decimals > 0) {
        const QString fraction =
            QString::number(qint64(magnitude % Scale)).rightJustified(Decimals, QLatin1Char('0'));
        text += QLatin1Char('.') + fraction.left(decimals);
    }
    if (m_raw < 0 && magnitude != 0) text.prepend(QLatin1Char('-'));
    return text;
}

bool Decimal::isWhole() const {
    return m_raw % Scale == 0;
}

Decimal Decimal::rounded(int decimals) const {
    const int drop = Decimals - decimals;
    if (drop <= 0) return *this;
    // A unit of 10^27 or more is over twice any magnitude within the limit: everything rounds to 0.
    if (drop >= 27) return Decimal();
    const Raw unit = power10(drop);
    return checked(divideRounded(m_raw, unit) * unit);
}

Decimal Decimal::floor() const {
    Raw whole = m_raw / Scale;
    if (m_raw % Scale < 0) --whole;
    return checked(whole * Scale);
}

Decimal Decimal::operator+(Decimal o) const {
    return checked(m_raw + o.m_raw);
}

Decimal Decimal::operator-(Decimal o) const {
    return checked(m_raw - o.m_raw);
}

Decimal Decimal::operator*(Decimal o) const {
    // Most operands of a payroll (below about nine million) make a product that fits 127 bits at once.
    constexpr Raw Small = Raw(1) << 62;
    if (absRaw(m_raw) < Small && absRaw(o.m_raw) < Small)
        return checked(divideRounded(m_raw * o.m_raw, Scale));
    // a * b / S = a * (b / S) + a * (b % S) / S: the first product is whole, the second fits 127 bits
    // and alone needs rounding. Both parts share the sign of the result, so a first part beyond the
    // limit means the result is too.
    const Raw high = o.m_raw / Scale;
    const Raw low = o.m_raw % Scale;
    Raw whole = 0;
    if (__builtin_mul_overflow(m_raw, high, &whole) || absRaw(whole) >= Limit) throwOutOfRange();
    return checked(whole + divideRounded(m_raw * low, Scale));
}

Decimal Decimal::operator/(Decimal o) const {
    if (o.m_raw == 0) throw FormulaError(QStringLiteral("除数为零"));
    return checked(divideRounded(m_raw * Scale, o.m_raw));
}

}  // namespace hx
