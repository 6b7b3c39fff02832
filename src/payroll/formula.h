#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <vector>

#include "data/errors.h"
#include "data/money.h"

namespace hx {

// A formula that cannot be read or evaluated. The message names the reason only ("除数为零",
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

// The 35 salary item codes in the order of the sheet's columns and of evaluation: A01-A08, B01-B07,
// C01-C15, T01-T05. A formula's variables are indexes into this list.
constexpr int SalaryItemCount = 35;
const QStringList& salaryItemCodes();
// Position of a code in salaryItemCodes(), whatever its case; -1 for anything else.
int salaryItemIndex(const QString& code);

// A parsed salary formula: numbers, item codes, + - * /, parentheses, = <> < > <= >= (true is -1,
// false 0, any non-zero value counts as true), and / or / not, and the functions iif(c, a, b),
// round(x) and round(x, n), int(x), abs(x), max(a, b, ...), min(a, b, ...). Names and keywords are
// case-insensitive. Parse once, then evaluate it for every sheet row.
class Formula {
  public:
    // Throws FormulaError for an empty formula, a syntax error, an unknown name or function, a text
    // item used in a calculation, or a function given the wrong number of arguments.
    static Formula parse(const QString& text);

    // `row` holds SalaryItemCount values, indexed as salaryItemCodes(); text items may hold anything.
    // iif evaluates only the branch it chooses, and and/or stop as soon as the result is known, so
    // iif(B01=0, 0, A01/B01) never divides by zero. Throws FormulaError for a division by zero, a
    // result beyond the limit, or a non-whole number of decimals given to round.
    Decimal evaluate(const Decimal* row) const;
    Decimal evaluate(const std::vector<Decimal>& row) const { return evaluate(row.data()); }

    // The value of a formula without item codes, such as the default "26"; nothing otherwise.
    std::optional<Decimal> constantValue() const;
    // The item codes the formula reads, upper case, each once, in order of first appearance.
    QStringList variables() const;
    const std::vector<int>& variableIndexes() const { return m_variables; }

  private:
    enum class Op : quint8 {
        Number,
        Variable,
        Negate,
        Add,
        Subtract,
        Multiply,
        Divide,
        Equal,
        NotEqual,
        Less,
        Greater,
        LessEqual,
        GreaterEqual,
        And,
        Or,
        Not,
        Iif,
        Round,
        Int,
        Abs,
        Max,
        Min
    };
    struct Node {
        Op op;
        int a = -1;  // first operand node, variable index, or first entry in m_arguments
        int b = -1;  // second operand node, or argument count
        int c = -1;  // third operand node
        Decimal value;
    };
    Decimal eval(int node, const Decimal* row) const;

    friend class FormulaParser;
    std::vector<Node> m_nodes;
    std::vector<int> m_arguments;  // argument node lists of max and min
    std::vector<int> m_variables;
    int m_root = -1;
};

// Checks the formula of an item as the accountant saves it, without throwing: a syntax error, an
// unknown name, a text item in a calculation, and a reference to the item itself or to an item after
// it, which is evaluated later and so would be read as it stood before. Each problem is one message
// that names the item, e.g. "C05 的公式引用了后面的项目 C08". Only B and C items carry formulas, so
// fixed and text items have nothing to check; an empty formula of a B or C item is a problem, as a named
// item without a formula or default value cannot be applied.
QStringList checkItemFormula(const QString& itemCode, const QString& formula);

}  // namespace hx
