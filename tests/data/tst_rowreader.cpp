#include <QtTest>

#include "data/connection.h"
#include "data/dataset.h"
#include "support/testsupport.h"

using namespace hx;

// Loading rows straight from the engine must give what the statement gives through Qt: the same bound
// values, the same errors and the same typed values.
class TestRowReader : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::TempProgramDir> dir;
    Connection cn;

  private slots:
    void init() {
        dir = std::make_unique<hxtest::TempProgramDir>();
        cn.open(dir->createAccountSet(QStringLiteral("r")));
        cn.exec("create table t (d DATE, n INTEGER, m CURRENCY, s VARCHAR(10), x)");
        cn.exec("insert into t values ('2025-03-01', 7, 12.5, 'O''Neil', 1.5)");
        cn.exec("insert into t values ('2025-02-30', NULL, 3, '0012', 'a')");
        cn.exec("insert into t values ('2025-03-02 08:30', -1, NULL, NULL, NULL)");
    }
    void cleanup() {
        cn.close();
        dir.reset();
    }

    void boundValuesOfEveryKind() {
        RowReader r(cn, "select ?, ?, ?, ?, ?, ?",
                    {QDate(2025, 3, 1), qint64(1) << 40, 0.25, QVariant::fromValue(*Money::parse("1.5")),
                     QStringLiteral("O\"Neil'"), QVariant()});
        QVERIFY(r.next());
        QCOMPARE(r.value(0), QVariant(QStringLiteral("2025-03-01")));
        QCOMPARE(r.kind(1), RowReader::Kind::Integer);
        QCOMPARE(r.integer(1), qint64(1) << 40);
        QCOMPARE(r.real(2), 0.25);
        QCOMPARE(r.real(3), 1.5);
        QCOMPARE(r.value(4).toString(), QStringLiteral("O\"Neil'"));
        QCOMPARE(r.kind(5), RowReader::Kind::Null);
        QVERIFY(!r.next());
    }

    void errorsAreRaised() {
        QVERIFY_THROWS_EXCEPTION(DbError, RowReader(cn, "select * from t where n=?", {}));
        try {
            RowReader r(cn, "select nothing from t");
            QFAIL("a bad statement must raise");
        } catch (const DbError& e) {
            QVERIFY(e.message().contains("nothing"));
        }
    }

    void dataSetValuesKeepTheirTypes() {
        DataSet ds(&cn);
        ds.setSql("select d, n, m, s, x from t");
        ds.open();
        QCOMPARE(ds.recordCount(), 3);
        QCOMPARE(ds.valueAt(0, 0), QVariant(QDate(2025, 3, 1)));
        QCOMPARE(ds.valueAt(0, 1), QVariant(qint64(7)));
        QCOMPARE(ds.valueAt(0, 2).value<Money>(), *Money::parse("12.5"));
        QCOMPARE(ds.valueAt(0, 3), QVariant(QStringLiteral("O'Neil")));
        QCOMPARE(ds.valueAt(0, 4), QVariant(1.5));
        // A day that does not exist stays the stored text; a time after the date is dropped.
        QCOMPARE(ds.valueAt(1, 0), QVariant(QStringLiteral("2025-02-30")));
        QVERIFY(ds.valueAt(1, 1).isNull());
        QCOMPARE(ds.valueAt(1, 2).value<Money>(), Money::fromYuan(3));
        QCOMPARE(ds.valueAt(1, 3), QVariant(QStringLiteral("0012")));
        QCOMPARE(ds.valueAt(2, 0), QVariant(QDate(2025, 3, 2)));
        QVERIFY(ds.valueAt(2, 3).isNull());
        // Stored by rowid and read back.
        ds.setRecNo(2);
        ds.setValue("n", 9);
        QVERIFY(ds.post());
        QCOMPARE(cn.scalar("select n from t where s is null").toInt(), 9);
    }
};

QTEST_MAIN(TestRowReader)
#include "tst_rowreader.moc"
