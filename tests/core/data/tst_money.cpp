#include <QtTest>

#include "core/data/money.h"
#include "core/data/values.h"

using hx::Money;

class TestMoney : public QObject {
    Q_OBJECT
  private slots:
    void parsesExactDecimals_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("units");
        QTest::newRow("whole") << "12" << qint64(120000);
        QTest::newRow("four decimals") << "0.1234" << qint64(1234);
        QTest::newRow("negative") << "-0.0001" << qint64(-1);
        QTest::newRow("grouping") << "1,234.5" << qint64(12345000);
        QTest::newRow("fifth decimal rounds up") << "0.00005" << qint64(1);
        QTest::newRow("fifth decimal rounds away from zero") << "-0.00005" << qint64(-1);
        QTest::newRow("fifth decimal below half") << "0.00004999" << qint64(0);
        QTest::newRow("leading point") << ".5" << qint64(5000);
    }
    void parsesExactDecimals() {
        QFETCH(QString, text);
        QFETCH(qint64, units);
        const auto m = Money::parse(text);
        QVERIFY(m.has_value());
        QCOMPARE(m->units(), units);
    }

    void refusesWhatIsNotANumber() {
        for (const char* bad : {"", "abc", "1.2.3", "12a", "-", ".", "1e5"})
            QVERIFY2(!Money::parse(QString::fromLatin1(bad)), bad);
    }

    void roundsHalfAwayFromZero() {
        QCOMPARE(Money::parse("2.675")->toString(2), QStringLiteral("2.68"));
        QCOMPARE(Money::parse("1.005")->toString(2), QStringLiteral("1.01"));
        QCOMPARE(Money::parse("-2.675")->toString(2), QStringLiteral("-2.68"));
        QCOMPARE(Money::parse("2.674")->toString(2), QStringLiteral("2.67"));
        QCOMPARE(Money::parse("0.5")->rounded(0).toString(0), QStringLiteral("1"));
        QCOMPARE(Money::parse("-0.004")->toString(2), QStringLiteral("0.00"));
    }

    void sumsHaveNoBinaryResidue() {
        QCOMPARE((*Money::parse("0.1") + *Money::parse("0.2")).toPlainString(), QStringLiteral("0.3"));
        Money total;
        for (int i = 0; i < 1000; ++i) total += *Money::parse("0.1234") * 3;
        QCOMPARE(total.toPlainString(), QStringLiteral("370.2"));
    }

    void plainTextHasNoTrailingZeros() {
        QCOMPARE(Money::parse("300.50")->toPlainString(), QStringLiteral("300.5"));
        QCOMPARE(Money::parse("12.0000")->toPlainString(), QStringLiteral("12"));
        QCOMPARE(Money::parse("0")->toPlainString(), QStringLiteral("0"));
    }

    void readsStoredDoublesExactly() {
        QCOMPARE(Money::fromDouble(12.3456).units(), qint64(123456));
        QCOMPARE(Money::fromDouble(0.1 + 0.2).units(), qint64(3000));
        QCOMPARE(Money::fromVariant(QVariant()).units(), qint64(0));
        QCOMPARE(Money::fromVariant(QVariant(qint64(7))).units(), qint64(70000));
        QCOMPARE(Money::fromVariant(QStringLiteral("1.5")).units(), qint64(15000));
    }

    // Amounts shown as currency look alike everywhere: sign after the currency sign, grouped, two
    // decimals rounded half away from zero.
    void currencyDisplay() {
        using hx::FieldType;
        const auto shown = [](const QVariant& v, FieldType type) {
            return hx::formatValue(v, type, hx::currencyFormat());
        };
        QCOMPARE(shown(QVariant::fromValue(*Money::parse("1234.5")), FieldType::Money),
                 QStringLiteral("¥1,234.50"));
        QCOMPARE(shown(QVariant::fromValue(*Money::parse("-1234567.125")), FieldType::Money),
                 QStringLiteral("¥-1,234,567.13"));
        QCOMPARE(shown(QVariant::fromValue(*Money::parse("-0.004")), FieldType::Money),
                 QStringLiteral("¥0.00"));
        QCOMPARE(shown(QVariant(583.33333), FieldType::Double), QStringLiteral("¥583.33"));
        QCOMPARE(shown(QVariant(), FieldType::Money), QString());
        QCOMPARE(hx::formatCurrency(*Money::parse("999.995")), QStringLiteral("¥1,000.00"));
    }
};

QTEST_GUILESS_MAIN(TestMoney)
#include "tst_money.moc"
