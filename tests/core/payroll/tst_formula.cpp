#include <QtTest>

#include "core/payroll/formula.h"

using hx::Decimal;
using hx::Formula;
using hx::FormulaError;

namespace {

Decimal dec(const char* text) {
    return *Decimal::parse(QString::fromLatin1(text));
}

// A sheet row: A01 = 3000.5, A02 = 200, B01 = 26, B02 = 0, C01 = -12.25, everything else 0.
std::vector<Decimal> sampleRow() {
    std::vector<Decimal> row(hx::SalaryItemCount);
    row[size_t(hx::salaryItemIndex("A01"))] = dec("3000.5");
    row[size_t(hx::salaryItemIndex("A02"))] = dec("200");
    row[size_t(hx::salaryItemIndex("B01"))] = dec("26");
    row[size_t(hx::salaryItemIndex("C01"))] = dec("-12.25");
    return row;
}

QString evaluated(const QString& formula) {
    return Formula::parse(formula).evaluate(sampleRow()).toString();
}

QString parseError(const QString& formula) {
    try {
        Formula::parse(formula);
    } catch (const FormulaError& e) {
        return e.message();
    }
    return QStringLiteral("(no error)");
}

QString evaluationError(const QString& formula) {
    const Formula f = Formula::parse(formula);
    try {
        f.evaluate(sampleRow());
    } catch (const FormulaError& e) {
        return e.message();
    }
    return QStringLiteral("(no error)");
}

}  // namespace

class TestFormula : public QObject {
    Q_OBJECT
  private slots:
    void decimalArithmeticIsExact() {
        QCOMPARE((dec("0.1") + dec("0.2")).toString(), QStringLiteral("0.3"));
        QVERIFY(dec("0.1") + dec("0.2") == dec("0.3"));
        QCOMPARE((dec("1234.5678") * dec("0.03")).toString(), QStringLiteral("37.037034"));
        QCOMPARE((dec("-3000.5") * dec("1.5")).toString(), QStringLiteral("-4500.75"));
        // Quotients carry twelve decimals, the last one rounded half away from zero.
        QCOMPARE((dec("2") / dec("3")).toString(), QStringLiteral("0.666666666667"));
        QCOMPARE((dec("-2") / dec("3")).toString(), QStringLiteral("-0.666666666667"));
        // 1/3*3 is one unit of the twelfth decimal short of 1: money is rounded to four decimals, so it
        // is stored as exactly 1.
        const Decimal third = dec("1") / dec("3") * dec("3");
        QCOMPARE(third.toString(), QStringLiteral("0.999999999999"));
        QCOMPARE(third.toMoney().toPlainString(), QStringLiteral("1"));
        // Products of fractions beyond twelve decimals round half away from zero.
        QCOMPARE((dec("0.000001") * dec("0.0000015")).toString(), QStringLiteral("0.000000000002"));
        QCOMPARE((dec("-0.000001") * dec("0.0000015")).toString(), QStringLiteral("-0.000000000002"));
        // Large operands whose product needs more than 128 bits before scaling.
        QCOMPARE((dec("99999999.999999999999") * dec("999999.5")).toString(),
                 QStringLiteral("99999949999999.999999000001"));
        QCOMPARE((dec("-99999999.999999999999") * dec("999999.5")).toString(),
                 QStringLiteral("-99999949999999.999999000001"));
        // Either side of 2^62 units, where the product stops fitting 128 bits unsplit.
        QCOMPARE((dec("4611686.018427387903") * dec("3.0000005")).toString(),
                 QStringLiteral("13835060.361125172923"));
        QCOMPARE((dec("4611686.018427387904") * dec("3.0000005")).toString(),
                 QStringLiteral("13835060.361125172926"));
    }

    void outOfRangeIsAnErrorNotAWrongResult() {
        const QString outOfRange = QStringLiteral("计算结果超出范围");
        QCOMPARE(evaluationError("99999999999999 + 1"), outOfRange);
        QCOMPARE(evaluationError("10000000 * 10000000"), outOfRange);
        QCOMPARE(evaluationError("-10000000 * 10000000"), outOfRange);
        QCOMPARE(evaluationError("1 / 0.00000001 / 0.000001"), outOfRange);
        QCOMPARE(evaluationError("99999999999999 * 99999999999999"), outOfRange);
        QCOMPARE(parseError("123456789012345"), QStringLiteral("数值超出范围"));
        QCOMPARE(parseError("99999999999999.9999999999995"), QStringLiteral("数值超出范围"));
        QCOMPARE(evaluated("99999999999999 - 1"), QStringLiteral("99999999999998"));
        QVERIFY_THROWS_EXCEPTION(FormulaError, Decimal::fromDouble(1e15));
        QVERIFY_THROWS_EXCEPTION(FormulaError, Decimal::fromDouble(qInf()));
        QVERIFY_THROWS_EXCEPTION(FormulaError, Decimal::fromDouble(qQNaN()));
    }

    void conversions() {
        // Doubles read from the database become their shortest decimal text, not the binary value.
        QCOMPARE(Decimal::fromDouble(0.1).toString(), QStringLiteral("0.1"));
        // 0.1 + 0.2 as a double reads 0.30000000000000004: its residue lies below the twelfth decimal.
        QCOMPARE(Decimal::fromDouble(0.1 + 0.2).toString(), QStringLiteral("0.3"));
        QCOMPARE(Decimal::fromDouble(22.5).toString(), QStringLiteral("22.5"));
        QCOMPARE(Decimal::fromDouble(-1e-13).toString(), QStringLiteral("0"));
        QCOMPARE(Decimal::fromDouble(5e-13).toString(), QStringLiteral("0.000000000001"));
        QCOMPARE(dec("0.3").toDouble(), 0.3);
        QCOMPARE(dec("-1234.5678").toDouble(), -1234.5678);
        // Money keeps four decimals, rounded half away from zero.
        QCOMPARE(dec("2.67445").toMoney().units(), qint64(26745));
        QCOMPARE(dec("-2.67445").toMoney().units(), qint64(-26745));
        QCOMPARE(dec("2.67444999").toMoney().units(), qint64(26744));
        QCOMPARE(Decimal::fromMoney(hx::Money::fromUnits(-12345)).toString(), QStringLiteral("-1.2345"));
        QCOMPARE(Decimal::fromVariant(QVariant()).toString(), QStringLiteral("0"));
        QCOMPARE(Decimal::fromVariant(QVariant(true)).toString(), QStringLiteral("-1"));
        QCOMPARE(Decimal::fromVariant(QVariant(QStringLiteral(" 12.50 "))).toString(),
                 QStringLiteral("12.5"));
        QCOMPARE(Decimal::fromVariant(QVariant::fromValue(hx::Money::fromUnits(5))).toString(),
                 QStringLiteral("0.0005"));
        // Text: thirteenth decimal rounds, malformed text is refused.
        QCOMPARE(dec("0.0000000000005").toString(), QStringLiteral("0.000000000001"));
        QCOMPARE(dec("-0.0000000000004").toString(), QStringLiteral("0"));
        QCOMPARE(dec("0.9999999999995").toString(), QStringLiteral("1"));
        // Typed amounts take no exponent: that belongs to formulas.
        for (const char* bad : {"", ".", "-", "1.2.3", "1e5", "12a", "--1"})
            QVERIFY2(!Decimal::parse(QString::fromLatin1(bad)), bad);
        QCOMPARE(dec("2.675").toString(2), QStringLiteral("2.68"));
        QCOMPARE(dec("-0.004").toString(2), QStringLiteral("0.00"));
    }

    void grammarAndPrecedence_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("value");
        QTest::newRow("constant") << "26"
                                  << "26";
        QTest::newRow("leading point") << ".5"
                                       << "0.5";
        QTest::newRow("trailing point") << "3."
                                        << "3";
        QTest::newRow("product before sum") << "1+2*3"
                                            << "7";
        QTest::newRow("parentheses") << "(1+2)*3"
                                     << "9";
        QTest::newRow("left to right") << "10-4-3"
                                       << "3";
        QTest::newRow("division left to right") << "24/4/2"
                                                << "3";
        QTest::newRow("unary minus after operator") << "2*-3"
                                                    << "-6";
        QTest::newRow("double minus") << "2--3"
                                      << "5";
        QTest::newRow("unary plus") << "+2*+3"
                                    << "6";
        QTest::newRow("negated group") << "-(A01-A02)"
                                       << "-2800.5";
        QTest::newRow("items") << "A01+A02+C01"
                               << "3188.25";
        QTest::newRow("comparison true is -1") << "B01>=26"
                                               << "-1";
        QTest::newRow("comparison false is 0") << "B01>26"
                                               << "0";
        QTest::newRow("not equal") << "B02<>0"
                                   << "0";
        QTest::newRow("comparison below arithmetic") << "1+1=2"
                                                     << "-1";
        QTest::newRow("comparison chain left to right") << "3>2>1"
                                                        << "0";
        QTest::newRow("comparison chain true") << "1<2<3"
                                               << "-1";
        QTest::newRow("not below comparison") << "not 1=2"
                                              << "-1";
        QTest::newRow("not before and") << "not 1=2 and 3>2"
                                        << "-1";
        QTest::newRow("and before or") << "1=1 or 1=2 and 1=2"
                                       << "-1";
        QTest::newRow("not not") << "not not 5"
                                 << "-1";
        QTest::newRow("any non-zero is true") << "iif(0.5, 1, 2)"
                                              << "1";
        QTest::newRow("and of non-zero values") << "2 and 3"
                                                << "-1";
        QTest::newRow("truth in arithmetic") << "100*(B01>=26)"
                                             << "-100";
        QTest::newRow("nested iif") << "iif(B01>=26, iif(A01>3000, 2, 1), 0)"
                                    << "2";
        QTest::newRow("whitespace anywhere") << " \t round ( A01 *\n0.05 , 2 ) "
                                             << "150.03";
        QTest::newRow("max of three") << "max(A02, B01, C01)"
                                      << "200";
        QTest::newRow("min of negatives") << "min(-1, C01, -12.24)"
                                          << "-12.25";
        QTest::newRow("abs") << "abs(C01)"
                             << "12.25";
        QTest::newRow("int of positive") << "int(2.99)"
                                         << "2";
        QTest::newRow("int of negative half") << "int(-2.5)"
                                              << "-3";
        QTest::newRow("int of negative whole") << "int(-2)"
                                               << "-2";
        QTest::newRow("int of tiny negative") << "int(-0.000000000001)"
                                              << "-1";
        QTest::newRow("case-insensitive names and keywords")
            << "IIF(b01 >= 26 AND Not a01 < 0, Round(a01), 0)"
            << "3001";
        QTest::newRow("bracketed names") << "[A01] - [ b01 ]"
                                         << "2974.5";
        QTest::newRow("full-width punctuation") << "ROUND（A01＊0.05，2）"
                                                << "150.03";
    }
    void grammarAndPrecedence() {
        QFETCH(QString, formula);
        QFETCH(QString, value);
        QCOMPARE(evaluated(formula), value);
    }

    void roundingHalfAwayFromZero_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("value");
        QTest::newRow("2.675") << "round(2.675, 2)"
                               << "2.68";
        QTest::newRow("1.005") << "round(1.005, 2)"
                               << "1.01";
        QTest::newRow("negative half") << "round(-2.675, 2)"
                                       << "-2.68";
        QTest::newRow("below half") << "round(2.67499, 2)"
                                    << "2.67";
        QTest::newRow("one argument") << "round(2.5)"
                                      << "3";
        QTest::newRow("zero decimals, negative") << "round(-2.5, 0)"
                                                 << "-3";
        QTest::newRow("negative below half") << "round(-0.4)"
                                             << "0";
        QTest::newRow("to tens") << "round(1235, -1)"
                                 << "1240";
        QTest::newRow("to hundreds, negative") << "round(-1250, -2)"
                                               << "-1300";
        QTest::newRow("far beyond the value") << "round(99999999999999, -30)"
                                              << "0";
        QTest::newRow("more decimals than kept") << "round(1/3, 20)"
                                                 << "0.333333333333";
        QTest::newRow("decimals from an item") << "round(2.675, B02+2)"
                                               << "2.68";
        QTest::newRow("sum then round") << "round(0.1+0.2+0.005, 2)"
                                        << "0.31";
    }
    void roundingHalfAwayFromZero() {
        QFETCH(QString, formula);
        QFETCH(QString, value);
        QCOMPARE(evaluated(formula), value);
    }

    // The operators and functions of the database's expression language beyond the four rules, each
    // row worked out by hand. The sample row has A01 = 3000.5, A02 = 200, B01 = 26, B02 = 0, C01 = -12.25.
    void databaseOperators_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("value");
        const auto row = [](const char* name, const char* formula, const char* value) {
            QTest::newRow(name) << QString::fromUtf8(formula) << QString::fromUtf8(value);
        };
        // ^: tighter than a sign, left to right, exact where the result is.
        row("power", "2^10", "1024");
        row("power binds tighter than minus", "-2^2", "-4");
        row("negative base in parentheses", "(-2)^2", "4");
        row("odd power of a negative", "(-2)^3", "-8");
        row("negative exponent", "2^-2", "0.25");
        row("both signs", "-2^-2", "-0.25");
        row("power left to right", "2^3^2", "64");
        row("power before product", "2*3^2", "18");
        row("power of a decimal is exact", "1.1^2", "1.21");
        row("cube of a decimal", "1.5^3", "3.375");
        row("exactly zero after the power", "1.1^2 - 1.21", "0");
        row("zero to the zero", "0^0", "1");
        row("zero to a power", "0^5", "0");
        row("half exponent over a square", "6.25^0.5", "2.5");
        row("negative half exponent", "4^-1.5", "0.125");
        row("irrational root", "2^0.5", "1.414213562373");
        row("reciprocal below the last decimal", "10^-13", "0");
        row("reciprocal of a huge power", "10^-20", "0");
        row("reciprocal of a fraction", "0.5^-1", "2");
        row("item to a power", "B01^2", "676");
        row("power after a sign in the exponent", "2^+3", "8");
        // \: operands rounded to whole numbers first, an exact half to the even one; quotient cut
        // toward zero.
        row("whole division", "7\\2", "3");
        row("negative dividend cut toward zero", "-7\\2", "-3");
        row("negative divisor", "7\\-2", "-3");
        row("both negative", "-7\\-2", "3");
        row("tie 2.5 rounds down to even", "2.5\\1", "2");
        row("tie 3.5 rounds up to even", "3.5\\1", "4");
        row("negative tie -2.5 to even", "-2.5\\1", "-2");
        row("negative tie -3.5 to even", "-3.5\\1", "-4");
        row("tie 7.5 rounds to 8", "7.5\\2", "4");
        row("tie 6.5 rounds to 6", "6.5\\2", "3");
        row("both operands rounded", "7.4\\2.6", "2");
        row("divisor 0.6 rounds to 1", "5\\0.6", "5");
        row("looser than product", "7\\2*3", "1");
        row("left to right", "10\\3\\2", "1");
        row("tighter than sum", "1+7\\2", "4");
        row("items, 3000.5 a tie to even", "A01\\B01", "115");
        row("power before whole division", "2^3\\3", "2");
        // mod: the same rounding; the remainder has the sign of the dividend.
        row("mod", "7 mod 3", "1");
        row("mod of a negative", "-7 mod 3", "-1");
        row("mod by a negative", "7 mod -3", "1");
        row("mod both negative", "-7 mod -3", "-1");
        row("mod tie 5.5 to 6", "5.5 mod 2", "0");
        row("mod tie 4.5 to 4", "4.5 mod 3", "1");
        row("mod negative tie -4.5 to -4", "-4.5 mod 3", "-1");
        row("mod looser than sum's operands", "5+7 mod 3", "6");
        row("mod looser than whole division", "10 mod 4\\2", "0");
        row("mod looser than product", "10 MOD 4*2", "2");
        row("mod of a group", "(5+7) mod 5", "2");
        row("mod glued to its number", "7mod 3", "1");
        row("power before mod", "2^3 mod 3", "2");
        // fix, int, sgn, sqr.
        row("fix", "fix(2.99)", "2");
        row("fix of a negative toward zero", "fix(-2.99)", "-2");
        row("int of the same negative down", "int(-2.99)", "-3");
        row("fix of a negative half", "fix(-0.5)", "0");
        row("fix of an item", "FIX(C01)", "-12");
        row("sgn negative", "sgn(C01)", "-1");
        row("sgn zero", "sgn(B02)", "0");
        row("sgn positive", "Sgn(A01)", "1");
        row("sgn in arithmetic", "100*sgn(-0.001)", "-100");
        row("sqr of a square", "sqr(16)", "4");
        row("sqr exact decimal", "sqr(2.25)", "1.5");
        row("sqr of zero", "sqr(0)", "0");
        row("sqr of a small square", "sqr(0.0001)", "0.01");
        row("sqr of the last decimal", "sqr(1e-12)", "0.000001");
        row("sqr rounded at the twelfth", "sqr(3)", "1.732050807569");
        // Numbers with a leading point or an exponent.
        row("exponent", "1e3", "1000");
        row("capital exponent", "1E3", "1000");
        row("negative exponent literal", "1.5e-2", "0.015");
        row("leading point with exponent", ".5e1", "5");
        row("exponent with plus", "2e+2", "200");
        row("exponent moves the point", "123e-2", "1.23");
        row("below the last decimal", "1e-13", "0");
        row("half of the last decimal rounds up", "5e-13", "0.000000000001");
        row("largest power of ten", "1e13", "10000000000000");
        row("zero with a huge exponent", "0e999", "0");
        row("exponent in a product", "A01*1e-2", "30.005");
        row("leading point in a product", "A02*.5", "100");
        // Blanks and line breaks anywhere between parts.
        row("line breaks and tabs", "A01\r\n+\tA02", "3200.5");
        row("iif over lines", " iif ( B01 >= 26 ,\n 1 ,\n 2 ) ", "1");
        row("blanks around backslash", "7 \\ \n 2", "3");
        row("blanks around power", "2 ^\t3", "8");
        // iif nested in any place an operand may stand.
        row("iif as condition", "iif(iif(B01>20, 1, 0), 10, 20)", "10");
        row("iif inside arithmetic", "1 + iif(B02=0, 2, 3) * 4", "9");
        row("minus before a powered iif", "-iif(B01=26, 2, 3)^2", "-4");
        row("iif as exponent", "iif(B01=26, 2, 3)^iif(B02=0, 3, 0)", "8");
        row("iif inside round", "round(iif(A01>0, A01/3, 0), 2)", "1000.17");
        row("iif inside max", "max(iif(C01<0, 0, C01), 1)", "1");
        row("iif three deep", "iif(B01=26, iif(B02=0, iif(A02=200, 7, 6), 5), 4)", "7");
        row("iif as divisor of \\", "A01 \\ iif(B02=0, B01, 1)", "115");
        row("iif as divisor of mod", "7 mod iif(B02=0, 3, 2)", "1");
        row("iif in a comparison", "iif(B01=26, 5, 0) > 4", "-1");
    }
    void databaseOperators() {
        QFETCH(QString, formula);
        QFETCH(QString, value);
        QCOMPARE(evaluated(formula), value);
    }

    void databaseOperatorErrors_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* name, const char* formula, const char* message) {
            QTest::newRow(name) << QString::fromUtf8(formula) << QString::fromUtf8(message);
        };
        row("whole division by zero", "5\\0", "除数为零");
        row("divisor 0.5 rounds to zero", "5\\0.5", "除数为零");
        row("divisor 0.4 rounds to zero", "5\\0.4", "除数为零");
        row("divisor from an item", "A01\\B02", "除数为零");
        row("mod by zero", "7 mod 0", "除数为零");
        row("mod by a half", "7 mod 0.5", "除数为零");
        row("zero to a negative power", "0^-1", "除数为零");
        row("power beyond the limit", "10^14", "计算结果超出范围");
        row("root of a negative by power", "(-8)^(1/3)", "负数 -8 不能求非整数次方 0.333333333333");
        row("root of a negative", "sqr(C01)", "负数 -12.25 不能开平方");
        row("literal beyond the limit", "1e14", "数值超出范围");
    }
    void databaseOperatorErrors() {
        QFETCH(QString, formula);
        QFETCH(QString, message);
        QString got;
        try {
            got = evaluationError(formula);
        } catch (const FormulaError& e) {
            got = e.message();  // refused already when read
        }
        QCOMPARE(got, message);
    }

    void iifAndConnectivesEvaluateLazily() {
        // B02 is 0 in the sample row: the guarded branch must not be evaluated at all.
        QCOMPARE(evaluated("iif(B02=0, 0, A01/B02)"), QStringLiteral("0"));
        QCOMPARE(evaluated("iif(B02<>0, A01/B02, -1)"), QStringLiteral("-1"));
        QCOMPARE(evaluated("iif(B02<>0 and A01/B02>1, 1, 2)"), QStringLiteral("2"));
        QCOMPARE(evaluated("iif(B02=0 or A01/B02>1, 1, 2)"), QStringLiteral("1"));
        // ...while the chosen branch still reports its error.
        QCOMPARE(evaluationError("iif(B02=0, A01/B02, 0)"), QStringLiteral("除数为零"));
        QCOMPARE(evaluationError("B02=0 and A01/B02>1"), QStringLiteral("除数为零"));
    }

    void syntaxErrorsNameTheirPlace_data() {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << ""
                               << "公式为空";
        QTest::newRow("blank") << "   "
                               << "公式为空";
        QTest::newRow("unclosed parenthesis") << "(1+2"
                                              << "第 4 个字符附近缺少右括号";
        QTest::newRow("unclosed call") << "round(A01, 2"
                                       << "第 12 个字符附近缺少右括号";
        QTest::newRow("unclosed call, blanks after") << "round(A01, 2 \n "
                                                     << "第 12 个字符附近缺少右括号";
        QTest::newRow("unclosed nested iif") << "iif(B01>0, iif(B02>0, 1, 2), 3"
                                             << "第 30 个字符附近缺少右括号";
        QTest::newRow("missing parenthesis before comma") << "(1+2,3)"
                                                          << "第 5 个字符附近缺少右括号";
        QTest::newRow("extra closing parenthesis") << "(1+2))"
                                                   << "第 6 个字符处的右括号没有对应的左括号";
        QTest::newRow("trailing garbage") << "A01 B01"
                                          << "第 5 个字符处的“B01”前面缺少运算符";
        QTest::newRow("number glued to name") << "12abc"
                                              << "第 3 个字符处的“abc”前面缺少运算符";
        QTest::newRow("missing operand") << "1+"
                                         << "公式末尾缺少数值或项目代码";
        QTest::newRow("two operators") << "1*/2"
                                       << "第 3 个字符处不应出现“/”";
        QTest::newRow("empty parentheses") << "()"
                                           << "第 2 个字符处不应出现“)”";
        QTest::newRow("empty argument") << "max(1,)"
                                        << "第 7 个字符处不应出现“)”";
        QTest::newRow("keyword as operand") << "1 + not 0"
                                            << "第 5 个字符处不应出现“not”";
        QTest::newRow("two points") << "1.2.3"
                                    << "第 1 个字符处的数字“1.2.3”写法不对";
        QTest::newRow("lone point") << "A01*."
                                    << "第 5 个字符处不应出现“.”";
        QTest::newRow("unknown character") << "A01 & 2"
                                           << "第 5 个字符处有无法识别的字符“&”";
        QTest::newRow("mod without left operand") << "mod 3"
                                                  << "第 1 个字符处不应出现“mod”";
        QTest::newRow("mod without right operand") << "7 mod"
                                                   << "公式末尾缺少数值或项目代码";
        QTest::newRow("power without exponent") << "2^"
                                                << "公式末尾缺少数值或项目代码";
        QTest::newRow("two operators around power") << "2^*3"
                                                    << "第 3 个字符处不应出现“*”";
        QTest::newRow("exponent without digits") << "1e+"
                                                 << "第 2 个字符处的“e”前面缺少运算符";
        QTest::newRow("text literal") << "\"abc\""
                                      << "第 1 个字符处有无法识别的字符“\"”";
        QTest::newRow("unclosed bracket") << "[A01 + 1"
                                          << "第 1 个字符处的“[”缺少对应的“]”";
        QTest::newRow("function without parentheses") << "round + 1"
                                                      << "第 1 个字符处的函数 round 后面缺少括号";
        QTest::newRow("unknown name") << "A01 * rate"
                                      << "未知的名称 rate";
        QTest::newRow("item code out of family range") << "B08"
                                                       << "未知的名称 B08";
        QTest::newRow("item name instead of code") << "出勤天数*8"
                                                   << "未知的名称 出勤天数";
        QTest::newRow("text item") << "t01 + 1"
                                   << "文字项目 T01 不能参与计算";
        QTest::newRow("unknown function") << "xyz(4)"
                                          << "未知的函数 xyz";
        QTest::newRow("unknown function nested") << "round(sqrt(4), 2)"
                                                 << "未知的函数 sqrt";
        QTest::newRow("fix with two") << "fix(1, 2)"
                                      << "函数 fix 需要 1 个参数，公式中给了 2 个";
        QTest::newRow("sqr with none") << "sqr()"
                                       << "函数 sqr 需要 1 个参数，公式中给了 0 个";
        QTest::newRow("iif with two arguments") << "iif(B01>1, 2)"
                                                << "函数 iif 需要 3 个参数，公式中给了 2 个";
        QTest::newRow("round with three") << "round(1, 2, 3)"
                                          << "函数 round 需要 1 到 2 个参数，公式中给了 3 个";
        QTest::newRow("round with none") << "round()"
                                         << "函数 round 需要 1 到 2 个参数，公式中给了 0 个";
        QTest::newRow("max with one") << "max(A01)"
                                      << "函数 max 需要至少 2 个参数，公式中给了 1 个";
        QTest::newRow("int with two") << "INT(1, 2)"
                                      << "函数 int 需要 1 个参数，公式中给了 2 个";
    }
    void syntaxErrorsNameTheirPlace() {
        QFETCH(QString, formula);
        QFETCH(QString, message);
        QCOMPARE(parseError(formula), message);
    }

    void evaluationErrors() {
        QCOMPARE(evaluationError("A01/B02"), QStringLiteral("除数为零"));
        QCOMPARE(evaluationError("A01/(B01-26)"), QStringLiteral("除数为零"));
        QCOMPARE(evaluationError("round(A01, 1.5)"),
                 QStringLiteral("round 的小数位数必须是整数，这里是 1.5"));
        QCOMPARE(evaluationError("round(99999999999999.6)"), QStringLiteral("计算结果超出范围"));
    }

    void runawayNestingIsRefused() {
        const QString message = QStringLiteral("公式过长或嵌套过深");
        QCOMPARE(parseError(QString(5000, QLatin1Char('(')) + "1" + QString(5000, QLatin1Char(')'))),
                 message);
        QCOMPARE(parseError(QString(5000, QLatin1Char('-')) + "1"), message);
        QString longSum = QStringLiteral("1");
        for (int i = 0; i < 3000; ++i) longSum += QStringLiteral("+1");
        QCOMPARE(parseError(longSum), message);
        QString fine = QStringLiteral("1");
        for (int i = 0; i < 100; ++i) fine += QStringLiteral("+1");
        QCOMPARE(evaluated(fine), QStringLiteral("101"));
    }

    void parseOnceEvaluateForEveryRow() {
        const Formula f = Formula::parse("iif(B01>=26, 100, 0) + round(A01*0.05, 2) - c01");
        QCOMPARE(f.variables(), QStringList({"B01", "A01", "C01"}));
        QVERIFY(!f.constantValue());
        std::vector<Decimal> row(hx::SalaryItemCount);
        Decimal total;
        for (int worker = 0; worker < 1000; ++worker) {
            row[size_t(hx::salaryItemIndex("A01"))] = Decimal::fromInt(worker) / Decimal::fromInt(10);
            row[size_t(hx::salaryItemIndex("B01"))] = Decimal::fromInt(worker % 31);
            row[size_t(hx::salaryItemIndex("C01"))] = Decimal::fromInt(worker % 2);
            total = total + f.evaluate(row);
        }
        // Bonus: B01 = w % 31 reaches 26..30 in 32 full cycles of 31, 160 rows, 16000. A01*0.05 = w/200
        // yuan = w/2 cents, rounded up for odd w: 0+1+1+2+2+...+500 cents = 2500. C01 = 1 on 500 rows.
        QCOMPARE(total.toString(), QStringLiteral("18000"));
        QCOMPARE(Formula::parse(" 26 ").constantValue()->toString(), QStringLiteral("26"));
        QCOMPARE(Formula::parse("B01*2").evaluate(row).toString(),
                 QStringLiteral("14"));  // worker 999: 999 % 31 = 7
    }

    void itemCatalogue() {
        QCOMPARE(hx::salaryItemCodes().size(), hx::SalaryItemCount);
        QCOMPARE(hx::salaryItemCodes().first(), QStringLiteral("A01"));
        QCOMPARE(hx::salaryItemCodes()[8], QStringLiteral("B01"));
        QCOMPARE(hx::salaryItemCodes().last(), QStringLiteral("T05"));
        for (int i = 0; i < hx::SalaryItemCount; ++i) {
            QCOMPARE(hx::salaryItemIndex(hx::salaryItemCodes()[i]), i);
            QCOMPARE(hx::salaryItemIndex(hx::salaryItemCodes()[i].toLower()), i);
        }
        for (const char* bad : {"A00", "A09", "C16", "T06", "D01", "A1", "A001", "Ａ01"})
            QVERIFY2(hx::salaryItemIndex(QString::fromUtf8(bad)) < 0, bad);
    }

    void checkingAnItemFormula() {
        QCOMPARE(hx::checkItemFormula("C05", "A01+A02+C01+C02+C03-C04"), QStringList());
        QCOMPARE(hx::checkItemFormula("B01", "26"), QStringList());
        QCOMPARE(hx::checkItemFormula("c05", "C04 + c08 + C09"),
                 QStringList({"C05 的公式引用了后面的项目 C08、C09"}));
        QCOMPARE(hx::checkItemFormula("B07", "C01"), QStringList({"B07 的公式引用了后面的项目 C01"}));
        QCOMPARE(hx::checkItemFormula("C03", "C03 + C04"),
                 QStringList({"C03 的公式引用了它自己", "C03 的公式引用了后面的项目 C04"}));
        QCOMPARE(hx::checkItemFormula("C03", "rate*2"), QStringList({"C03 的公式有误：未知的名称 rate"}));
        QCOMPARE(hx::checkItemFormula("C03", "T01"),
                 QStringList({"C03 的公式有误：文字项目 T01 不能参与计算"}));
        QCOMPARE(hx::checkItemFormula("B02", "(B01*2"),
                 QStringList({"B02 的公式有误：第 6 个字符附近缺少右括号"}));
        QCOMPARE(hx::checkItemFormula("B02", " "), QStringList({"B02 没有公式或默认值"}));
        // Division by zero depends on the row: it is not a problem of the formula itself.
        QCOMPARE(hx::checkItemFormula("C02", "A01/B01"), QStringList());
        // Fixed items carry a marker and text items a default text: neither is a formula.
        QCOMPARE(hx::checkItemFormula("A01", "*********系统提供*********"), QStringList());
        QCOMPARE(hx::checkItemFormula("T01", "迟到(3次)"), QStringList());
        QCOMPARE(hx::checkItemFormula("X01", "1"), QStringList({"未知的项目代码“X01”"}));

        // Only a formula that cannot be read calls for the list of what formulas are made of.
        bool unreadable = false;
        hx::checkItemFormula("C02", "A01 % 2", &unreadable);
        QVERIFY(unreadable);
        hx::checkItemFormula("C02", "C05", &unreadable);
        QVERIFY(!unreadable);
    }

    void syntaxHelpNamesWhatTheParserReads() {
        const QString help = hx::formulaSyntaxHelp();
        for (const char* word : {"^", "\\", "mod", "not", "and", "or", "iif", "round", "int", "fix", "abs",
                                 "sgn", "sqr", "max", "min", "1e3", ".5"})
            QVERIFY2(help.contains(QLatin1String(word)), word);
        // Its example is a formula that reads: B01 = 26 earns the 100, plus 3000.5 rounded to the cent.
        const QString example = help.mid(help.indexOf(QStringLiteral("例如：")) + 3);
        QCOMPARE(evaluated(example), QStringLiteral("3100.5"));
    }
};

QTEST_APPLESS_MAIN(TestFormula)
#include "tst_formula.moc"
