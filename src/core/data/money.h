#pragma once

#include <QByteArrayView>
#include <QMetaType>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>

#include "core/data/errors.h"

namespace hx {

// An amount that does not fit in a Money: raised by every sum, difference and product that would
// overflow, never a wrapped amount.
class MoneyOverflowError : public Error {
  public:
    MoneyOverflowError() : Error(QStringLiteral("金额超出范围（超过九千亿元），没有计算。")) {}
};

// An exact amount of money: a whole number of ten-thousandths of a yuan. Sums, differences and products
// are checked: one that does not fit raises MoneyOverflowError.
class Money {
  public:
    static constexpr int Decimals = 4;
    static constexpr qint64 Scale = 10000;

    constexpr Money() = default;
    static constexpr Money fromUnits(qint64 units) { return Money(units); }
    static Money fromYuan(qint64 yuan) { return Money::fromUnits(1) * Scale * yuan; }
    // Nearest ten-thousandth; a value read back from the file, where amounts are stored as yuan.
    static Money fromDouble(double yuan);
    // Exact decimal text such as "12.5", "-0.0001", "1,234.50"; more than four decimals round half away
    // from zero. Nothing for text that is not a number.
    static std::optional<Money> parse(const QString& text);
    // Plain decimal text as a database writes a number ("12345678901234.5678", "-0.0001", "300.0000"):
    // an optional sign, digits and a point, over the whole range of a Money and never through a double;
    // more than four decimals round half away from zero. Nothing for any other text; MoneyOverflowError
    // for an amount beyond the range.
    static std::optional<Money> fromDecimalText(QByteArrayView text);
    // A field value of any type: Money, integer, double or numeric text. Null and empty give 0.
    static Money fromVariant(const QVariant& value);

    constexpr qint64 units() const { return m_units; }
    double toDouble() const { return double(m_units) / Scale; }

    // Fixed number of decimals, rounded half away from zero: 2.675 with 2 gives "2.68".
    QString toString(int decimals = 2) const;
    // As few decimals as needed, no trailing zeros, no grouping: 300.5, 12, -0.0001.
    QString toPlainString() const;
    Money rounded(int decimals) const;

    Money operator+(Money o) const {
        return Money(checked(__builtin_add_overflow(m_units, o.m_units, &o.m_units), o));
    }
    Money operator-(Money o) const {
        return Money(checked(__builtin_sub_overflow(m_units, o.m_units, &o.m_units), o));
    }
    Money operator-() const { return Money() - *this; }
    Money operator*(qint64 factor) const {
        qint64 product = 0;
        if (__builtin_mul_overflow(m_units, factor, &product)) throw MoneyOverflowError();
        return Money(product);
    }
    Money& operator+=(Money o) { return *this = *this + o; }
    Money& operator-=(Money o) { return *this = *this - o; }
    friend constexpr bool operator==(Money a, Money b) { return a.m_units == b.m_units; }
    friend constexpr bool operator!=(Money a, Money b) { return a.m_units != b.m_units; }
    friend constexpr bool operator<(Money a, Money b) { return a.m_units < b.m_units; }
    friend constexpr bool operator<=(Money a, Money b) { return a.m_units <= b.m_units; }
    friend constexpr bool operator>(Money a, Money b) { return a.m_units > b.m_units; }
    friend constexpr bool operator>=(Money a, Money b) { return a.m_units >= b.m_units; }

  private:
    constexpr explicit Money(qint64 units) : m_units(units) {}
    static qint64 checked(bool overflowed, Money result) {
        if (overflowed) throw MoneyOverflowError();
        return result.m_units;
    }
    qint64 m_units = 0;
};

// Rounds a whole number of units of 10^-fromDecimals to 10^-toDecimals, half away from zero.
qint64 roundHalfAway(qint64 value, int dropDigits);

}  // namespace hx

Q_DECLARE_METATYPE(hx::Money)
