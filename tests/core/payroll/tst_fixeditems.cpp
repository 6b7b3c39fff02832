#include <QtTest>

#include "core/data/connection.h"
#include "core/payroll/fixeditems.h"
#include "support/coresupport.h"

using namespace hx;

class TestFixedItems : public QObject {
    Q_OBJECT

    Connection cn;
    std::unique_ptr<hxtest::OpenAccountSet> dir;

    QString item(int year, int month, const QString& code) {
        return cn
            .scalar(QStringLiteral("select ItemName || '|' || coalesce(expression, '') || '|' || printWidth "
                                   "from salary where year=? and month=? and ItemCode=?"),
                    {year, month, code})
            .toString();
    }
    QString amounts(const QString& code) {
        QStringList values;
        PreparedStatement q(cn, QStringLiteral("select %1 from staff order by StaffCode").arg(code));
        while (q.next()) values << q.money(0).toPlainString();
        return values.join(QLatin1Char(','));
    }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::OpenAccountSet>(cn, QStringLiteral("f"));
        cn.exec(
            "insert into staff (StaffCode, StaffName, Firedd, A03, A04) values ('001', '甲', 0, 120.5, 7)");
        cn.exec("insert into staff (StaffCode, StaffName, Firedd, A03, A04) values ('002', '乙', -1, 80, 9)");
        cn.exec(
            "insert into salary select 2025, 1, ItemCode, ItemName, expression, printWidth from salary "
            "where year=2003 and month=11");
    }
    void cleanup() { dir.reset(); }

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
        hxtest::refuseUpdates(cn, QStringLiteral("salary"));
        QVERIFY_THROWS_EXCEPTION(DbError, clearFixedItem(cn, QStringLiteral("A03")));
        QCOMPARE(amounts("A03"), QStringLiteral("120.5,80"));
        QVERIFY(!cn.inTransaction());
    }

    void titlesComeFromTheLatestItemMonth() {
        // 2025-01 is the latest month; 2024-12 has other names, and a later month of an earlier year counts
        // for nothing.
        cn.exec(
            "insert into salary select 2024, 12, ItemCode, '旧' || ItemCode, expression, printWidth from "
            "salary where year=2003 and month=11");
        cn.exec("update salary set ItemName='岗位' where year=2025 and month=1 and ItemCode='A02'");
        cn.exec("update salary set ItemName=null where year=2025 and month=1 and ItemCode='A03'");
        nameFixedItem(cn, QStringLiteral("A08"), QStringLiteral("工龄"));
        QStringList titles = fixedItemTitles(cn);
        QCOMPARE(titles.size(), 7);
        QCOMPARE(titles[0], QStringLiteral("岗位"));
        QCOMPARE(titles[1], QString());
        QCOMPARE(titles[6], QStringLiteral("工龄"));

        // A month with fewer A rows: the titles go by position and the last ones stay empty.
        cn.exec("delete from salary where year=2025 and month=1 and ItemCode in ('A01', 'A05', 'A07')");
        titles = fixedItemTitles(cn);
        QCOMPARE(titles.size(), 7);
        QCOMPARE(titles[0], QString());  // A03, after A02 took the place of the first row
        QCOMPARE(titles[3], QStringLiteral("工龄"));
        QCOMPARE(titles.mid(4), QStringList(3, QString()));

        // No items at all.
        cn.exec("delete from salary");
        QCOMPARE(fixedItemTitles(cn), QStringList(7, QString()));
    }

    void onlyTheFixedItemsCodesAreTaken() {
        // The code becomes a column name in the statement: nothing else may pass.
        for (const char* code : {"A01", "B01", "A09", "A03=0, StaffName", ""})
            QVERIFY_THROWS_EXCEPTION(DbError, clearFixedItem(cn, QString::fromUtf8(code)));
        QCOMPARE(amounts("A03"), QStringLiteral("120.5,80"));
        QCOMPARE(cn.scalar("select count(*) from staff where StaffName in ('甲', '乙')").toInt(), 2);
    }
};

HX_BOTH_ENGINES;
QTEST_GUILESS_MAIN(TestFixedItems)
#include "tst_fixeditems.moc"
