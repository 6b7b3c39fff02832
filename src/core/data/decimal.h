#pragma once

#include <QString>
#include <QVariant>
#include <optional>

#include "core/data/errors.h"
#include "core/data/money.h"

namespace hx {

// A salary calculation that cannot be done: a formula that cannot be read or evaluated, or a decimal
// value beyond its range. The message names the reason only ("除数为零",
// "语法错误：第 5 个字符处缺少右括号"); whoever evaluates it adds the item code and the formula.
class FormulaError : public Error {
  public:
    using Error::Error;
};

// An exact decimal number with twelve fractional digits, the number type of salary formulas.
//
// Twelve digits keep a quotient such as A01/26*22 exact to far below a ten-thousandth of a yuan, which is
// where money is rounded when it is stored, while the magnitude limit of 10^14 (a hundred trillion) keeps
// every intermediate of + - * / inside 128 bits. A result beyond the limit is a FormulaError
// ("计算结果超出范围"), never a wrapped or saturated value. Sums and products are exact within the
// twelve digits; products and quotients with more digits are rounded half away from zero.
class Decimal {
  public:
    static constexpr int Decimals = 12;

    constexpr Decimal() = default;
    static Decimal fromInt(qint64 value);
    static Decimal fromMoney(Money money);
    // The shortest decimal text that reads back as the same double, so a stored 0.1 is exactly 0.1.
    // Throws for infinity, NaN and magnitudes beyond the limit.
    static Decimal fromDouble(double value);
    // Null, empty and non-numeric values give 0, as an unfilled sheet cell counts as 0 in a formula.
    static Decimal fromVariant(const QVariant& value);
    // Plain decimal text: "12", "-0.5", ".5", "3."; no grouping and no exponent. Digits beyond the
    // twelfth decimal round half away from zero. Nothing for text that is not such a number; throws
    // FormulaError when it is a number beyond the limit.
    static std::optional<Decimal> parse(const QString& text);

    // Rounded half away from zero to four decimals; within the limit the result always fits a Money.
    Money toMoney() const;
    // The whole part, toward zero: -2.5 gives -2.
    qint64 truncated() const;
    // The double nearest to the exact value (the value a numeric column of the database can hold).
    double toDouble() const;
    // As few decimals as needed: "0.3", "-12", "0.333333333333".
    QString toString() const;
    // Exactly `decimals` decimals (0 to 12), rounded half away from zero: 2.675 with 2 gives "2.68".
    QString toString(int decimals) const;

    bool isZero() const { return m_raw == 0; }
    bool isWhole() const;
    // Half away from zero; a negative count rounds to tens, hundreds, ...
    Decimal rounded(int decimals) const;
    // The greatest whole number not above the value: -2.5 gives -3.
    Decimal floor() const;
    Decimal abs() const { return Decimal(m_raw < 0 ? -m_raw : m_raw); }

    Decimal operator+(Decimal o) const;
    Decimal operator-(Decimal o) const;
    Decimal operator-() const { return Decimal(-m_raw); }
    Decimal operator*(Decimal o) const;
    // Throws FormulaError ("除数为零") for a zero divisor.
    Decimal operator/(Decimal o) const;

    friend bool operator==(Decimal a, Decimal b) { return a.m_raw == b.m_raw; }
    friend bool operator!=(Decimal a, Decimal b) { return a.m_raw != b.m_raw; }
    friend bool operator<(Decimal a, Decimal b) { return a.m_raw < b.m_raw; }
    friend bool operator<=(Decimal a, Decimal b) { return a.m_raw <= b.m_raw; }
    friend bool operator>(Decimal a, Decimal b) { return a.m_raw > b.m_raw; }
    friend bool operator>=(Decimal a, Decimal b) { return a.m_raw >= b.m_raw; }

  private:
    using Raw = __int128;
    constexpr explicit Decimal(Raw raw) : m_raw(raw) {}
    static Decimal checked(Raw raw);
    friend class DecimalReader;
    Raw m_raw = 0;  // units of 10^-12
};

// Reads the unsigned decimal literals of formulas and of Decimal::parse.
class DecimalReader {
  public:
    enum Result { Ok, NoDigits, SecondPoint };

    // Reads digits with at most one point from `text` at `pos`, leaving `pos` after them (after every
    // digit and point of a malformed literal too). Throws FormulaError for a value beyond the limit.
    static Result read(const QString& text, int& pos, Decimal& out);
};

}  // namespace hx
