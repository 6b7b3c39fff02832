#pragma once

#include <QMetaType>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <optional>

namespace hx {

// An exact amount of money: a whole number of ten-thousandths of a yuan.
class Money {
  public:
    static constexpr int Decimals = 4;
    static constexpr qint64 Scale = 10000;

    constexpr Money() = default;
    static constexpr Money fromUnits(qint64 units) { return Money(units); }
    static Money fromYuan(qint64 yuan) { return Money(yuan * Scale); }
    // Nearest ten-thousandth; a value read back from the file, where amounts are stored as yuan.
    static Money fromDouble(double yuan);
    // Exact decimal text such as "12.5", "-0.0001", "1,234.50"; more than four decimals round half away
    // from zero. Nothing for text that is not a number.
    static std::optional<Money> parse(const QString& text);
    // A field value of any type: Money, integer, double or numeric text. Null and empty give 0.
    static Money fromVariant(const QVariant& value);

    constexpr qint64 units() const { return m_units; }
    double toDouble() const { return double(m_units) / Scale; }

    // Fixed number of decimals, rounded half away from zero: 2.675 with 2 gives "2.68".
    QString toString(int decimals = 2) const;
    // As few decimals as needed, no trailing zeros, no grouping: 300.5, 12, -0.0001.
    QString toPlainString() const;
    Money rounded(int decimals) const;

    Money operator+(Money o) const { return Money(m_units + o.m_units); }
    Money operator-(Money o) const { return Money(m_units - o.m_units); }
    Money operator-() const { return Money(-m_units); }
    Money operator*(qint64 factor) const { return Money(m_units * factor); }
    Money& operator+=(Money o) {
        m_units += o.m_units;
        return *this;
    }
    Money& operator-=(Money o) {
        m_units -= o.m_units;
        return *this;
    }
    friend constexpr bool operator==(Money a, Money b) { return a.m_units == b.m_units; }
    friend constexpr bool operator!=(Money a, Money b) { return a.m_units != b.m_units; }
    friend constexpr bool operator<(Money a, Money b) { return a.m_units < b.m_units; }
    friend constexpr bool operator<=(Money a, Money b) { return a.m_units <= b.m_units; }
    friend constexpr bool operator>(Money a, Money b) { return a.m_units > b.m_units; }
    friend constexpr bool operator>=(Money a, Money b) { return a.m_units >= b.m_units; }

  private:
    constexpr explicit Money(qint64 units) : m_units(units) {}
    qint64 m_units = 0;
};

// Rounds a whole number of units of 10^-fromDecimals to 10^-toDecimals, half away from zero.
qint64 roundHalfAway(qint64 value, int dropDigits);

}  // namespace hx

Q_DECLARE_METATYPE(hx::Money)
