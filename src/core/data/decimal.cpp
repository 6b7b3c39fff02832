#include "core/data/decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

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

DecimalReader::Result DecimalReader::read(const QString& text, int& pos, Decimal& out, bool exponent) {
    std::string digits;  // every digit of the mantissa, the point left out
    int wholeDigits = 0;
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
        digits.push_back(char(c.unicode() - '0'));
        if (!point) ++wholeDigits;
    }
    int shift = 0;
    if (exponent && !digits.empty() && pos < text.size() &&
        (text[pos] == QLatin1Char('e') || text[pos] == QLatin1Char('E'))) {
        int p = pos + 1;
        bool negative = false;
        if (p < text.size() && (text[p] == QLatin1Char('+') || text[p] == QLatin1Char('-'))) {
            negative = text[p] == QLatin1Char('-');
            ++p;
        }
        if (p < text.size() && isAsciiDigit(text[p])) {
            // Beyond a thousand places every value is 0 or out of range; the count stops growing there.
            for (; p < text.size() && isAsciiDigit(text[p]); ++p)
                shift = std::min(shift * 10 + (text[p].unicode() - '0'), 1000);
            if (negative) shift = -shift;
            pos = p;
        }
    }
    if (secondPoint) return SecondPoint;
    if (digits.empty()) return NoDigits;
    // The leading digits that land at or above the twelfth decimal make the value; the first one after
    // them decides a rounding half away from zero.
    const int kept = wholeDigits + shift + Decimal::Decimals;
    const int length = int(digits.size());
    Raw raw = 0;
    for (int i = 0; i < kept; ++i) {
        raw = raw * 10 + (i < length ? digits[size_t(i)] : 0);
        if (raw >= Limit) throw FormulaError(QStringLiteral("数值超出范围"));
    }
    if (kept >= 0 && kept < length && digits[size_t(kept)] >= 5) ++raw;
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

bool Decimal::multiply(Raw a, Raw b, Raw& out, bool& exact) {
    // Most operands of a payroll (below about nine million) make a product that fits 127 bits at once.
    constexpr Raw Small = Raw(1) << 62;
    if (absRaw(a) < Small && absRaw(b) < Small) {
        const Raw product = a * b;
        exact = product % Scale == 0;
        out = divideRounded(product, Scale);
        return absRaw(out) < Limit;
    }
    // a * b / S = a * (b / S) + a * (b % S) / S: the first product is whole, the second fits 127 bits
    // and alone needs rounding. Both parts share the sign of the result, so a first part beyond the
    // limit means the result is too.
    const Raw high = b / Scale;
    const Raw low = b % Scale;
    Raw whole = 0;
    if (__builtin_mul_overflow(a, high, &whole) || absRaw(whole) >= Limit) return false;
    const Raw rest = a * low;
    exact = rest % Scale == 0;
    out = whole + divideRounded(rest, Scale);
    return absRaw(out) < Limit;
}

Decimal Decimal::operator*(Decimal o) const {
    Raw result = 0;
    bool exact = true;
    if (!multiply(m_raw, o.m_raw, result, exact)) throwOutOfRange();
    return Decimal(result);
}

Decimal Decimal::operator/(Decimal o) const {
    if (o.m_raw == 0) throw FormulaError(QStringLiteral("除数为零"));
    return checked(divideRounded(m_raw * Scale, o.m_raw));
}

Decimal Decimal::fix() const {
    return Decimal(m_raw - m_raw % Scale);
}

Decimal Decimal::roundedHalfEven() const {
    Raw whole = m_raw / Scale;
    const Raw twice = 2 * absRaw(m_raw % Scale);
    if (twice > Scale || (twice == Scale && whole % 2 != 0)) whole += m_raw < 0 ? -1 : 1;
    return checked(whole * Scale);
}

namespace {

// The greatest r with r * r <= n.
unsigned __int128 wholeSquareRoot(unsigned __int128 n) {
    using U = unsigned __int128;
    U root = 0;
    U bit = U(1) << 126;
    while (bit > n) bit >>= 2;
    while (bit != 0) {
        if (n >= root + bit) {
            n -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
        bit >>= 2;
    }
    return root;
}

}  // namespace

Decimal Decimal::sqrt() const {
    if (m_raw < 0) throw FormulaError(QStringLiteral("负数 %1 不能开平方").arg(toString()));
    // sqrt(v) in units of 10^-12 is sqrt(raw * 10^12); raw * 10^12 stays below 10^38 < 2^127.
    using U = unsigned __int128;
    const U n = U(m_raw) * U(Scale);
    const U root = wholeSquareRoot(n);
    // n lies between root^2 and (root + 1)^2; it is nearer the upper one when n - root^2 > root (an exact
    // half cannot occur between whole squares).
    return Decimal(Raw(n - root * root > root ? root + 1 : root));
}

std::optional<Decimal> Decimal::exactPower(Decimal base, qint64 n, bool& overflow) {
    overflow = false;
    Raw result = Scale;
    Raw square = base.m_raw;
    for (;;) {
        bool exact = true;
        if (n & 1) {
            if (!multiply(result, square, result, exact)) {
                overflow = true;
                return std::nullopt;
            }
            if (!exact) return std::nullopt;
        }
        n >>= 1;
        if (n == 0) break;
        if (!multiply(square, square, square, exact)) {
            overflow = true;
            return std::nullopt;
        }
        if (!exact) return std::nullopt;
    }
    return Decimal(result);
}

Decimal Decimal::power(Decimal exponent) const {
    if (m_raw == 0) {
        if (exponent.m_raw < 0) throw FormulaError(QStringLiteral("除数为零"));
        return exponent.m_raw == 0 ? fromInt(1) : Decimal();
    }
    if (exponent.isWhole()) {
        const Raw n = absRaw(exponent.m_raw / Scale);
        bool overflow = false;
        if (const auto p = exactPower(*this, qint64(n), overflow)) {
            if (exponent.m_raw >= 0) return *p;
            if (!p->isZero()) return fromInt(1) / *p;
        } else if (overflow) {
            if (exponent.m_raw >= 0) throwOutOfRange();
            return Decimal();  // the reciprocal of something beyond the limit rounds to 0
        }
    } else if (m_raw < 0) {
        throw FormulaError(
            QStringLiteral("负数 %1 不能求非整数次方 %2").arg(toString(), exponent.toString()));
    } else if ((exponent.m_raw * 2) % Scale == 0) {
        // A half exponent over a square, 6.25^0.5 or 4^-1.5: the root is exact, and so the rest may be.
        const Decimal root = sqrt();
        Raw square = 0;
        bool exact = true;
        if (multiply(root.m_raw, root.m_raw, square, exact) && exact && square == m_raw)
            return root.power(exponent + exponent);
    }
    const double result = std::pow(toDouble(), exponent.toDouble());
    if (!std::isfinite(result) || std::fabs(result) >= 1e14) throwOutOfRange();
    return fromDouble(result);
}

Decimal Decimal::integerDivide(Decimal divisor) const {
    const Raw a = roundedHalfEven().m_raw / Scale;
    const Raw b = divisor.roundedHalfEven().m_raw / Scale;
    if (b == 0) throw FormulaError(QStringLiteral("除数为零"));
    return checked(a / b * Scale);  // C++ division cuts toward zero, as the database does
}

Decimal Decimal::modulo(Decimal divisor) const {
    const Raw a = roundedHalfEven().m_raw / Scale;
    const Raw b = divisor.roundedHalfEven().m_raw / Scale;
    if (b == 0) throw FormulaError(QStringLiteral("除数为零"));
    return checked(a % b * Scale);  // the remainder takes the sign of the dividend
}

}  // namespace hx
