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
    // The whole part, toward zero: -2.5 gives -2.
    Decimal fix() const;
    // To a whole number, an exact half to the even neighbour: 2.5 gives 2, 3.5 gives 4, -2.5 gives -2.
    // This is how the database turns the operands of \ and mod into whole numbers.
    Decimal roundedHalfEven() const;
    Decimal abs() const { return Decimal(m_raw < 0 ? -m_raw : m_raw); }
    // -1, 0 or 1.
    int sign() const { return m_raw < 0 ? -1 : (m_raw > 0 ? 1 : 0); }
    // The square root, exact when it has at most twelve decimals (2.25 gives 1.5) and otherwise rounded
    // half away from zero at the twelfth. Throws FormulaError for a negative value.
    Decimal sqrt() const;
    // The value raised to `exponent`. A whole exponent, or a half one over a square, gives the exact
    // result whenever it has at most twelve decimals (1.1^2 is 1.21, 2^-2 is 0.25, 6.25^0.5 is 2.5);
    // other results are those of binary floating point, about fifteen significant digits, as the
    // database computes them. 0^0 is 1. Throws FormulaError for 0 raised to a negative exponent ("除数为零"),
    // a negative value raised to a non-whole exponent, and a result beyond the limit.
    Decimal power(Decimal exponent) const;
    // Whole-number division as the database does it: both operands are first rounded to whole numbers with
    // roundedHalfEven(), then the quotient is cut toward zero: 7.5 \ 2 is 4, -7 \ 2 is -3. Throws
    // FormulaError ("除数为零") when the divisor rounds to 0, as 0.5 does.
    Decimal integerDivide(Decimal divisor) const;
    // The remainder of integerDivide(), with the sign of the dividend: -7 mod 3 is -1, 7 mod -3 is 1.
    Decimal modulo(Decimal divisor) const;

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
    // a * b rounded at the twelfth decimal; false when the result is beyond the limit. `exact` tells
    // whether anything was rounded away.
    static bool multiply(Raw a, Raw b, Raw& out, bool& exact);
    // base^n for a whole n >= 0, computed exactly or not at all: nothing when a step would round or
    // leave the limit, `overflow` telling which.
    static std::optional<Decimal> exactPower(Decimal base, qint64 n, bool& overflow);
    friend class DecimalReader;
    Raw m_raw = 0;  // units of 10^-12
};

// Reads the unsigned decimal literals of formulas and of Decimal::parse.
class DecimalReader {
  public:
    enum Result { Ok, NoDigits, SecondPoint };

    // Reads digits with at most one point from `text` at `pos`, leaving `pos` after them (after every
    // digit and point of a malformed literal too). With `exponent`, an exponent that follows the digits,
    // as in 1e3, 1.5E-2, 2e+4, is read too; an "e" without digits after it is left for the caller.
    // Digits beyond the twelfth decimal round half away from zero. Throws FormulaError for a value
    // beyond the limit.
    static Result read(const QString& text, int& pos, Decimal& out, bool exponent = false);
};

}  // namespace hx
