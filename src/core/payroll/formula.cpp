#include "core/payroll/formula.h"

#include <algorithm>

namespace hx {

namespace {

bool isAsciiDigit(QChar c) {
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// Accountants often type with a Chinese input method on: full-width brackets, commas, operators and
// spaces read as their ASCII counterparts. Each maps to one character, so positions stay those typed.
QString foldFullWidth(const QString& text) {
    QString folded = text;
    for (QChar& c : folded) {
        const char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            c = QChar(char16_t(u - 0xFEE0));
        else if (u == 0x3000)
            c = QLatin1Char(' ');
    }
    return folded;
}

}  // namespace

// ---- Item catalogue ------------------------------------------------------------------------------------

const QStringList& salaryItemCodes() {
    static const QStringList codes = [] {
        QStringList list;
        const auto family = [&list](char letter, int count) {
            for (int i = 1; i <= count; ++i)
                list << QStringLiteral("%1%2").arg(QLatin1Char(letter)).arg(i, 2, 10, QLatin1Char('0'));
        };
        family('A', 8);
        family('B', 7);
        family('C', 15);
        family('T', 5);
        return list;
    }();
    return codes;
}

int salaryItemIndex(const QString& code) {
    if (code.size() != 3 || !isAsciiDigit(code[1]) || !isAsciiDigit(code[2])) return -1;
    const int number = (code[1].unicode() - '0') * 10 + (code[2].unicode() - '0');
    int first = 0;
    int count = 0;
    switch (code[0].toUpper().unicode()) {
        case 'A':
            first = 0, count = 8;
            break;
        case 'B':
            first = 8, count = 7;
            break;
        case 'C':
            first = 15, count = 15;
            break;
        case 'T':
            first = 30, count = 5;
            break;
        default:
            return -1;
    }
    return number >= 1 && number <= count ? first + number - 1 : -1;
}

namespace {

constexpr int FirstTextItem = 30;

}  // namespace

// ---- Parser --------------------------------------------------------------------------------------------

class FormulaParser {
  public:
    explicit FormulaParser(const QString& text) : m_original(text), m_text(foldFullWidth(text)) {}

    Formula run() {
        if (m_text.trimmed().isEmpty()) throw FormulaError(QStringLiteral("公式为空"));
        next();
        m_formula.m_root = parseOr();
        if (m_token.kind != Kind::End) {
            if (m_token.kind == Kind::RParen)
                syntaxError(QStringLiteral("第 %1 个字符处的右括号没有对应的左括号").arg(m_token.pos + 1));
            unexpected();
        }
        return std::move(m_formula);
    }

  private:
    using Op = Formula::Op;
    using Node = Formula::Node;
    enum class Kind {
        End,
        Number,
        Name,
        Plus,
        Minus,
        Star,
        Slash,
        Backslash,
        Caret,
        LParen,
        RParen,
        Comma,
        Eq,
        Ne,
        Lt,
        Gt,
        Le,
        Ge
    };
    struct Token {
        Kind kind = Kind::End;
        int pos = 0;
        int length = 0;
        QString name;  // the name, without brackets
        Decimal value;
    };

    // Bounds the recursion of the parser and of evaluation whatever text arrives.
    static constexpr int MaxNesting = 100;
    static constexpr int MaxDepth = 1000;

    [[noreturn]] static void syntaxError(const QString& reason) { throw FormulaError(reason); }

    QString tokenText(const Token& t) const { return m_original.mid(t.pos, t.length); }

    [[noreturn]] void unexpected() const {
        if (m_token.kind == Kind::End) syntaxError(QStringLiteral("公式末尾缺少数值或项目代码"));
        if (m_token.kind == Kind::Number || (m_token.kind == Kind::Name && !isReserved()))
            syntaxError(QStringLiteral("第 %1 个字符处的“%2”前面缺少运算符")
                            .arg(m_token.pos + 1)
                            .arg(tokenText(m_token)));
        syntaxError(
            QStringLiteral("第 %1 个字符处不应出现“%2”").arg(m_token.pos + 1).arg(tokenText(m_token)));
    }

    // A closing parenthesis is due; anything else is reported as its absence.
    void expectRParen() {
        if (m_token.kind == Kind::RParen) {
            next();
            return;
        }
        if (m_token.kind == Kind::Number || (m_token.kind == Kind::Name && !isReserved())) unexpected();
        // At the end of the formula the place is its last character.
        int place = m_token.pos + 1;
        if (m_token.kind == Kind::End) {
            place = m_text.size();
            while (place > 0 && m_text[place - 1].isSpace()) --place;
        }
        syntaxError(QStringLiteral("第 %1 个字符附近缺少右括号").arg(place));
    }

    void next() {
        while (m_pos < m_text.size() && m_text[m_pos].isSpace()) ++m_pos;
        m_token = Token();
        m_token.pos = m_pos;
        if (m_pos >= m_text.size()) {
            m_token.kind = Kind::End;
            return;
        }
        const QChar c = m_text[m_pos];
        const auto single = [this](Kind kind, int length = 1) {
            m_token.kind = kind;
            m_token.length = length;
            m_pos += length;
        };
        const QChar after = m_pos + 1 < m_text.size() ? m_text[m_pos + 1] : QChar();
        if (isAsciiDigit(c) || c == QLatin1Char('.')) {
            const auto result = DecimalReader::read(m_text, m_pos, m_token.value, true);
            m_token.kind = Kind::Number;
            m_token.length = m_pos - m_token.pos;
            if (result == DecimalReader::SecondPoint)
                syntaxError(QStringLiteral("第 %1 个字符处的数字“%2”写法不对")
                                .arg(m_token.pos + 1)
                                .arg(tokenText(m_token)));
            if (result == DecimalReader::NoDigits)
                syntaxError(QStringLiteral("第 %1 个字符处不应出现“.”").arg(m_token.pos + 1));
        } else if (c.isLetter() || c == QLatin1Char('_')) {
            while (m_pos < m_text.size() &&
                   (m_text[m_pos].isLetterOrNumber() || m_text[m_pos] == QLatin1Char('_')))
                ++m_pos;
            m_token.kind = Kind::Name;
            m_token.length = m_pos - m_token.pos;
            m_token.name = m_text.mid(m_token.pos, m_token.length);
        } else if (c == QLatin1Char('[')) {
            // The database's bracketed form of a column name, [A01].
            const int close = m_text.indexOf(QLatin1Char(']'), m_pos);
            if (close < 0) syntaxError(QStringLiteral("第 %1 个字符处的“[”缺少对应的“]”").arg(m_pos + 1));
            m_token.kind = Kind::Name;
            m_token.name = m_text.mid(m_pos + 1, close - m_pos - 1).trimmed();
            m_token.length = close + 1 - m_pos;
            m_pos = close + 1;
        } else if (c == QLatin1Char('+')) {
            single(Kind::Plus);
        } else if (c == QLatin1Char('-')) {
            single(Kind::Minus);
        } else if (c == QLatin1Char('*')) {
            single(Kind::Star);
        } else if (c == QLatin1Char('/')) {
            single(Kind::Slash);
        } else if (c == QLatin1Char('\\')) {
            single(Kind::Backslash);
        } else if (c == QLatin1Char('^')) {
            single(Kind::Caret);
        } else if (c == QLatin1Char('(')) {
            single(Kind::LParen);
        } else if (c == QLatin1Char(')')) {
            single(Kind::RParen);
        } else if (c == QLatin1Char(',')) {
            single(Kind::Comma);
        } else if (c == QLatin1Char('=')) {
            single(Kind::Eq);
        } else if (c == QLatin1Char('<')) {
            if (after == QLatin1Char('>'))
                single(Kind::Ne, 2);
            else if (after == QLatin1Char('='))
                single(Kind::Le, 2);
            else
                single(Kind::Lt);
        } else if (c == QLatin1Char('>')) {
            if (after == QLatin1Char('='))
                single(Kind::Ge, 2);
            else
                single(Kind::Gt);
        } else {
            syntaxError(
                QStringLiteral("第 %1 个字符处有无法识别的字符“%2”").arg(m_pos + 1).arg(m_original[m_pos]));
        }
    }

    bool isKeyword(const char* word) const {
        return m_token.kind == Kind::Name &&
               m_token.name.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }

    // Words of the language that cannot stand for a value.
    bool isReserved() const {
        return isKeyword("and") || isKeyword("or") || isKeyword("not") || isKeyword("mod");
    }

    int add(Op op, int a = -1, int b = -1, int c = -1, Decimal value = Decimal()) {
        int depth = 0;
        for (int child : {a, b, c})
            if (child >= 0 && op != Op::Variable && op != Op::Max && op != Op::Min)
                depth = std::max(depth, m_depth[size_t(child)]);
        if (op == Op::Max || op == Op::Min)
            for (int i = 0; i < b; ++i)
                depth = std::max(depth, m_depth[size_t(m_formula.m_arguments[size_t(a + i)])]);
        if (depth + 1 > MaxDepth) throw FormulaError(QStringLiteral("公式过长或嵌套过深"));
        m_formula.m_nodes.push_back(Node{op, a, b, c, value});
        m_depth.push_back(depth + 1);
        return int(m_formula.m_nodes.size()) - 1;
    }

    struct NestingGuard {
        explicit NestingGuard(int& n) : nesting(n) {
            if (++nesting > MaxNesting) throw FormulaError(QStringLiteral("公式过长或嵌套过深"));
        }
        ~NestingGuard() { --nesting; }
        int& nesting;
    };

    int parseOr() {
        int left = parseAnd();
        while (isKeyword("or")) {
            next();
            left = add(Op::Or, left, parseAnd());
        }
        return left;
    }

    int parseAnd() {
        int left = parseNot();
        while (isKeyword("and")) {
            next();
            left = add(Op::And, left, parseNot());
        }
        return left;
    }

    int parseNot() {
        if (!isKeyword("not")) return parseComparison();
        NestingGuard guard(m_nesting);
        next();
        return add(Op::Not, parseNot());
    }

    int parseComparison() {
        int left = parseSum();
        for (;;) {
            Op op;
            switch (m_token.kind) {
                case Kind::Eq:
                    op = Op::Equal;
                    break;
                case Kind::Ne:
                    op = Op::NotEqual;
                    break;
                case Kind::Lt:
                    op = Op::Less;
                    break;
                case Kind::Gt:
                    op = Op::Greater;
                    break;
                case Kind::Le:
                    op = Op::LessEqual;
                    break;
                case Kind::Ge:
                    op = Op::GreaterEqual;
                    break;
                default:
                    return left;
            }
            next();
            left = add(op, left, parseSum());
        }
    }

    // From the loosest binding: + and -, then mod, then \, then * and /, then a sign, then ^, as the
    // database binds them: 5+7 mod 3 is 6, 7 \ 2*3 is 1, and -2^2 is -4.
    int parseSum() {
        int left = parseMod();
        while (m_token.kind == Kind::Plus || m_token.kind == Kind::Minus) {
            const Op op = m_token.kind == Kind::Plus ? Op::Add : Op::Subtract;
            next();
            left = add(op, left, parseMod());
        }
        return left;
    }

    int parseMod() {
        int left = parseIntegerDivision();
        while (isKeyword("mod")) {
            next();
            left = add(Op::Mod, left, parseIntegerDivision());
        }
        return left;
    }

    int parseIntegerDivision() {
        int left = parseProduct();
        while (m_token.kind == Kind::Backslash) {
            next();
            left = add(Op::IntegerDivide, left, parseProduct());
        }
        return left;
    }

    int parseProduct() {
        int left = parseUnary();
        while (m_token.kind == Kind::Star || m_token.kind == Kind::Slash) {
            const Op op = m_token.kind == Kind::Star ? Op::Multiply : Op::Divide;
            next();
            left = add(op, left, parseUnary());
        }
        return left;
    }

    int parseUnary() {
        if (m_token.kind != Kind::Minus && m_token.kind != Kind::Plus) return parsePower();
        NestingGuard guard(m_nesting);
        const bool negate = m_token.kind == Kind::Minus;
        next();
        const int operand = parseUnary();
        return negate ? add(Op::Negate, operand) : operand;
    }

    // ^ goes from left to right (2^3^2 is 64); an exponent may carry its own sign: 2^-1 is 0.5.
    int parsePower() {
        int left = parsePrimary();
        while (m_token.kind == Kind::Caret) {
            next();
            left = add(Op::Power, left, parseSignedPrimary());
        }
        return left;
    }

    int parseSignedPrimary() {
        if (m_token.kind != Kind::Minus && m_token.kind != Kind::Plus) return parsePrimary();
        NestingGuard guard(m_nesting);
        const bool negate = m_token.kind == Kind::Minus;
        next();
        const int operand = parseSignedPrimary();
        return negate ? add(Op::Negate, operand) : operand;
    }

    int parsePrimary() {
        if (m_token.kind == Kind::Number) {
            const Decimal value = m_token.value;
            next();
            return add(Op::Number, -1, -1, -1, value);
        }
        if (m_token.kind == Kind::LParen) {
            NestingGuard guard(m_nesting);
            next();
            const int inner = parseOr();
            expectRParen();
            return inner;
        }
        if (m_token.kind != Kind::Name || isReserved()) unexpected();
        const Token name = m_token;
        next();
        if (m_token.kind == Kind::LParen) return parseCall(name);
        return variable(name);
    }

    int variable(const Token& name) {
        const int index = salaryItemIndex(name.name);
        if (index < 0) {
            if (function(name.name))
                syntaxError(QStringLiteral("第 %1 个字符处的函数 %2 后面缺少括号")
                                .arg(name.pos + 1)
                                .arg(name.name.toLower()));
            throw FormulaError(QStringLiteral("未知的名称 %1").arg(name.name));
        }
        if (index >= FirstTextItem)
            throw FormulaError(QStringLiteral("文字项目 %1 不能参与计算").arg(salaryItemCodes()[index]));
        auto& used = m_formula.m_variables;
        if (std::find(used.begin(), used.end(), index) == used.end()) used.push_back(index);
        return add(Op::Variable, index);
    }

    struct Function {
        const char* name;
        Op op;
        int minArgs;
        int maxArgs;  // -1: any number from minArgs
    };

    static const Function* function(const QString& name) {
        static const Function functions[] = {
            {"iif", Op::Iif, 3, 3}, {"round", Op::Round, 1, 2}, {"int", Op::Int, 1, 1},
            {"abs", Op::Abs, 1, 1}, {"max", Op::Max, 2, -1},    {"min", Op::Min, 2, -1},
            {"fix", Op::Fix, 1, 1}, {"sgn", Op::Sgn, 1, 1},     {"sqr", Op::Sqr, 1, 1},
        };
        for (const Function& f : functions)
            if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0) return &f;
        return nullptr;
    }

    int parseCall(const Token& name) {
        const Function* f = function(name.name);
        if (!f) throw FormulaError(QStringLiteral("未知的函数 %1").arg(name.name));
        NestingGuard guard(m_nesting);
        next();  // the opening parenthesis
        std::vector<int> args;
        if (m_token.kind != Kind::RParen) {
            args.push_back(parseOr());
            while (m_token.kind == Kind::Comma) {
                next();
                args.push_back(parseOr());
            }
        }
        expectRParen();
        const int count = int(args.size());
        if (count < f->minArgs || (f->maxArgs >= 0 && count > f->maxArgs)) {
            QString wanted;
            if (f->maxArgs < 0)
                wanted = QStringLiteral("至少 %1 个").arg(f->minArgs);
            else if (f->minArgs == f->maxArgs)
                wanted = QStringLiteral(" %1 个").arg(f->minArgs);
            else
                wanted = QStringLiteral(" %1 到 %2 个").arg(f->minArgs).arg(f->maxArgs);
            throw FormulaError(QStringLiteral("函数 %1 需要%2参数，公式中给了 %3 个")
                                   .arg(QLatin1String(f->name), wanted)
                                   .arg(count));
        }
        switch (f->op) {
            case Op::Max:
            case Op::Min: {
                const int first = int(m_formula.m_arguments.size());
                m_formula.m_arguments.insert(m_formula.m_arguments.end(), args.begin(), args.end());
                return add(f->op, first, count);
            }
            case Op::Iif:
                return add(f->op, args[0], args[1], args[2]);
            case Op::Round:
                return add(f->op, args[0], count > 1 ? args[1] : -1);
            default:
                return add(f->op, args[0]);
        }
    }

    const QString m_original;
    const QString m_text;
    int m_pos = 0;
    int m_nesting = 0;
    Token m_token;
    Formula m_formula;
    std::vector<int> m_depth;  // of each node, parallel to m_formula.m_nodes
};

// ---- Formula -------------------------------------------------------------------------------------------

Formula Formula::parse(const QString& text) {
    return FormulaParser(text).run();
}

namespace {

Decimal truth(bool value) {
    return value ? Decimal::fromInt(-1) : Decimal();
}

}  // namespace

Decimal Formula::eval(int index, const Decimal* row) const {
    const Node& n = m_nodes[size_t(index)];
    switch (n.op) {
        case Op::Number:
            return n.value;
        case Op::Variable:
            return row[n.a];
        case Op::Negate:
            return -eval(n.a, row);
        case Op::Add:
            return eval(n.a, row) + eval(n.b, row);
        case Op::Subtract:
            return eval(n.a, row) - eval(n.b, row);
        case Op::Multiply:
            return eval(n.a, row) * eval(n.b, row);
        case Op::Divide:
            return eval(n.a, row) / eval(n.b, row);
        case Op::IntegerDivide:
            return eval(n.a, row).integerDivide(eval(n.b, row));
        case Op::Mod:
            return eval(n.a, row).modulo(eval(n.b, row));
        case Op::Power:
            return eval(n.a, row).power(eval(n.b, row));
        case Op::Equal:
            return truth(eval(n.a, row) == eval(n.b, row));
        case Op::NotEqual:
            return truth(eval(n.a, row) != eval(n.b, row));
        case Op::Less:
            return truth(eval(n.a, row) < eval(n.b, row));
        case Op::Greater:
            return truth(eval(n.a, row) > eval(n.b, row));
        case Op::LessEqual:
            return truth(eval(n.a, row) <= eval(n.b, row));
        case Op::GreaterEqual:
            return truth(eval(n.a, row) >= eval(n.b, row));
        case Op::And:
            return truth(!eval(n.a, row).isZero() && !eval(n.b, row).isZero());
        case Op::Or:
            return truth(!eval(n.a, row).isZero() || !eval(n.b, row).isZero());
        case Op::Not:
            return truth(eval(n.a, row).isZero());
        case Op::Iif:
            return eval(eval(n.a, row).isZero() ? n.c : n.b, row);
        case Op::Round: {
            const Decimal value = eval(n.a, row);
            if (n.b < 0) return value.rounded(0);
            const Decimal places = eval(n.b, row);
            if (!places.isWhole())
                throw FormulaError(
                    QStringLiteral("round 的小数位数必须是整数，这里是 %1").arg(places.toString()));
            // Beyond ±40 places the result no longer changes: clamp before narrowing to int.
            return value.rounded(int(std::clamp<qint64>(places.truncated(), -40, 40)));
        }
        case Op::Int:
            return eval(n.a, row).floor();
        case Op::Abs:
            return eval(n.a, row).abs();
        case Op::Fix:
            return eval(n.a, row).fix();
        case Op::Sgn:
            return Decimal::fromInt(eval(n.a, row).sign());
        case Op::Sqr:
            return eval(n.a, row).sqrt();
        case Op::Max:
        case Op::Min: {
            Decimal best = eval(m_arguments[size_t(n.a)], row);
            for (int i = 1; i < n.b; ++i) {
                const Decimal v = eval(m_arguments[size_t(n.a + i)], row);
                if (n.op == Op::Max ? v > best : v < best) best = v;
            }
            return best;
        }
    }
    return Decimal();
}

// A default-constructed formula has no nodes and reads as 0.
Decimal Formula::evaluate(const Decimal* row) const {
    return m_root < 0 ? Decimal() : eval(m_root, row);
}

std::optional<Decimal> Formula::constantValue() const {
    if (!m_variables.empty()) return std::nullopt;
    return evaluate(nullptr);
}

QStringList Formula::variables() const {
    QStringList codes;
    for (int index : m_variables) codes << salaryItemCodes()[index];
    return codes;
}

// ---- Checking an item's formula ------------------------------------------------------------------------

QStringList checkItemFormula(const QString& itemCode, const QString& formula, bool* unreadable) {
    if (unreadable) *unreadable = false;
    const int item = salaryItemIndex(itemCode);
    if (item < 0) return {QStringLiteral("未知的项目代码“%1”").arg(itemCode)};
    const QString code = salaryItemCodes()[item];
    if (!code.startsWith(QLatin1Char('B')) && !code.startsWith(QLatin1Char('C'))) return {};
    if (formula.trimmed().isEmpty()) return {QStringLiteral("%1 没有公式或默认值").arg(code)};
    Formula parsed;
    try {
        parsed = Formula::parse(formula);
    } catch (const FormulaError& e) {
        if (unreadable) *unreadable = true;
        return {QStringLiteral("%1 的公式有误：%2").arg(code, e.message())};
    }
    QStringList problems;
    QStringList later;
    for (int index : parsed.variableIndexes()) {
        if (index == item)
            problems << QStringLiteral("%1 的公式引用了它自己").arg(code);
        else if (index > item)
            later << salaryItemCodes()[index];
    }
    if (!later.isEmpty())
        problems
            << QStringLiteral("%1 的公式引用了后面的项目 %2").arg(code, later.join(QStringLiteral("、")));
    return problems;
}

QString formulaSyntaxHelp() {
    return QStringLiteral(
        "公式写法：项目代码（如 A01、B02）、数字（如 26、0.5、.5、1e3）和括号，\n"
        "运算符：^ 乘方，* / 乘除，\\ 整除，mod 取余，+ - 加减（整除和取余先把两边四舍六入五成双取整）；\n"
        "比较：= <> < > <= >=，成立为 -1，不成立为 0；逻辑：not、and、or；\n"
        "函数：iif(条件, 成立时的值, 否则的值)、round(值, 小数位数) 四舍五入、int 向下取整、fix 向零取整、"
        "abs 绝对值、sgn 正负号、sqr 平方根、max 最大值、min 最小值。\n"
        "例如：iif(B01>=26, 100, 0) + round(A01/26*B01, 2)");
}

}  // namespace hx
