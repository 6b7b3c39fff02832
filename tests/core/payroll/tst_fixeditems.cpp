#include <QtTest>

#include "core/data/connection.h"
#include "core/payroll/fixeditems.h"
#include "support/coresupport.h"

using namespace hx;

class TestFixedItems : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::TempProgramDir> dir;
    Connection cn;

    QString item(int year, int month, const QString& code) {
        return cn
            .scalar(QStringLiteral("select ItemName || '|' || ifnull(expression, '') || '|' || printWidth "
                                   "from salary where [year]=? and [month]=? and ItemCode=?"),
                    {year, month, code})
            .toString();
    }
    QString amounts(const QString& code) {
        return cn
            .scalar(QStringLiteral("select group_concat(%1, ',') from (select %1 from staff order by "
                                   "StaffCode)")
                        .arg(code))
            .toString();
    }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::TempProgramDir>();
        cn.open(dir->createAccountSet(QStringLiteral("f")));
        cn.exec(
            "insert into staff (StaffCode, StaffName, Firedd, A03, A04) values ('001', '甲', 0, 120.5, 7)");
        cn.exec("insert into staff (StaffCode, StaffName, Firedd, A03, A04) values ('002', '乙', -1, 80, 9)");
        cn.exec(
            "insert into salary select 2025, 1, ItemCode, ItemName, expression, printWidth from salary "
            "where [year]=2003 and [month]=11");
    }
    void cleanup() {
        cn.close();
        dir.reset();
    }

    void namingReachesEveryMonth() {
        nameFixedItem(cn, QStringLiteral("a03"), QStringLiteral("住房补贴"));
        const QString named = QStringLiteral("住房补贴|") + systemItemMarker + QStringLiteral("|10");
        QCOMPARE(item(2003, 11, "A03"), named);
        QCOMPARE(item(2025, 1, "A03"), named);
        QCOMPARE(amounts("A03"), QStringLiteral("120.5,80"));  // the amounts stay
    }

    void clearingZeroesEveryWorkerAndUnnamesTheItem() {
        nameFixedItem(cn, QStringLiteral("A03"), QStringLiteral("住房补贴"));
        clearFixedItem(cn, QStringLiteral("A03"));
        QCOMPARE(amounts("A03"), QStringLiteral("0,0"));  // the dismissed worker too
        QCOMPARE(item(2003, 11, "A03"), QStringLiteral("||0"));
        QCOMPARE(item(2025, 1, "A03"), QStringLiteral("||0"));
        QCOMPARE(amounts("A04"), QStringLiteral("7,9"));
    }

    void aClearingThatFailsHalfWayChangesNothing() {
        nameFixedItem(cn, QStringLiteral("A03"), QStringLiteral("住房补贴"));
        cn.execScript("create trigger refuse before update on salary begin select raise(abort, '拒绝'); end");
        QVERIFY_THROWS_EXCEPTION(DbError, clearFixedItem(cn, QStringLiteral("A03")));
        QCOMPARE(amounts("A03"), QStringLiteral("120.5,80"));
        QVERIFY(!cn.inTransaction());
    }

    void onlyTheFixedItemsCodesAreTaken() {
        // The code becomes a column name in the statement: nothing else may pass.
        for (const char* code : {"A01", "B01", "A09", "A03=0, StaffName", ""})
            QVERIFY_THROWS_EXCEPTION(DbError, clearFixedItem(cn, QString::fromUtf8(code)));
        QCOMPARE(amounts("A03"), QStringLiteral("120.5,80"));
        QCOMPARE(cn.scalar("select count(*) from staff where StaffName in ('甲', '乙')").toInt(), 2);
    }
};

QTEST_GUILESS_MAIN(TestFixedItems)
#include "tst_fixeditems.moc"
