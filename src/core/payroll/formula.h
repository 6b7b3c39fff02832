#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <vector>

#include "core/data/decimal.h"
#include "core/data/errors.h"
#include "core/data/money.h"

namespace hx {

// The 35 salary item codes in the order of the sheet's columns and of evaluation: A01-A08, B01-B07,
// C01-C15, T01-T05. A formula's variables are indexes into this list.
constexpr int SalaryItemCount = 35;
const QStringList& salaryItemCodes();
// Position of a code in salaryItemCodes(), whatever its case; -1 for anything else.
int salaryItemIndex(const QString& code);

// A parsed salary formula in the database's expression language: numbers (12, 0.5, .5, 1e3, 2.5E-2),
// item codes (also as [A01]), parentheses, ^ (power), * /, \ (whole-number division), mod, + -,
// = <> < > <= >= (true is -1, false 0, any non-zero value counts as true), not, and, or, and the
// functions iif(c, a, b), round(x) and round(x, n), int(x) (down to a whole number), fix(x) (toward
// zero), abs(x), sgn(x), sqr(x) (square root), max(a, b, ...), min(a, b, ...). Binding from the
// tightest: ^, a sign, * /, \, mod, + -, comparisons, not, and, or. Names and keywords are
// case-insensitive; blanks and line breaks may stand between any two parts. Parse once, then evaluate
// it for every sheet row. The salary setup's check and the generation both read formulas this way.
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
        IntegerDivide,
        Mod,
        Power,
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
        Min,
        Fix,
        Sgn,
        Sqr
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
// `unreadable` tells whether the formula could not be read at all, where formulaSyntaxHelp() helps.
QStringList checkItemFormula(const QString& itemCode, const QString& formula, bool* unreadable = nullptr);

// What a formula may be made of, as the accountant reads it next to a formula that could not be read.
QString formulaSyntaxHelp();

}  // namespace hx
