#include <QtTest>

#include "core/data/connection.h"
#include "core/payroll/salarysheet.h"
#include "support/coresupport.h"

using namespace hx;

namespace {
const SheetBatch batch{2024, 5, 10};
}  // namespace

// What the payroll windows ask about a generated sheet, without a window.
class TestSalarySheet : public QObject {
    Q_OBJECT

    Connection cn;
    std::unique_ptr<hxtest::OpenAccountSet> dir;

    // The base month's items, unnamed, in the batch's month; then the items given (code, name, formula).
    void setItems(const QList<QStringList>& items) {
        cn.exec(QStringLiteral("insert into salary select ?, ?, ItemCode, null, null, 0 from salary "
                               "where year=2003 and month=11"),
                {batch.year, batch.month});
        for (const QStringList& item : items)
            cn.exec(QStringLiteral("update salary set ItemName=?, expression=? where year=? and month=? "
                                   "and ItemCode=?"),
                    {item[0] == "-" ? QVariant() : item[1], item.value(2), batch.year, batch.month, item[0]});
    }
    void addRow(const QString& staffCode, int day, double b01, double a02) {
        cn.exec(QStringLiteral("insert into salaryData (Year,Month,salaryDay,staffCode,B01,A02) values "
                               "(?,?,?,?,?,?)"),
                {batch.year, batch.month, day, staffCode, b01, a02});
    }
    QString row(const QString& staffCode, int day = batch.day) {
        PreparedStatement q(
            cn,
            QStringLiteral("select B01, B02, C01 from salaryData where Year=? and Month=? and "
                           "salaryDay=? and staffCode=?"),
            {batch.year, batch.month, day, staffCode});
        if (!q.next()) return QStringLiteral("(no row)");
        return QStringLiteral("%1|%2|%3").arg(q.real(0)).arg(q.real(1)).arg(q.money(2).toPlainString());
    }

  private slots:
    void init() { dir = std::make_unique<hxtest::OpenAccountSet>(cn, QStringLiteral("s")); }
    void cleanup() { dir.reset(); }

    // The queries the sheet and the items page read: the batch's rows by work number with an exact total,
    // the month's items or one family of them.
    void theBatchsRowsTotalsAndItems() {
        setItems({});
        addRow(QStringLiteral("002"), batch.day, 26, 0.1);
        addRow(QStringLiteral("001"), batch.day, 20.5, 0.2);
        addRow(QStringLiteral("003"), 20, 1, 1);
        const auto first = [this](const Query& q, int column) {
            QStringList values;
            PreparedStatement rows(cn, q.sql, q.params);
            while (rows.next()) values << rows.text(column);
            return values;
        };
        QCOMPARE(first(sheetRows(batch), 0), QStringList({"001", "002"}));
        QCOMPARE(first(sheetTotals(batch), 0), QStringList({"合计"}));
        {
            // The total of amounts is exact: 0.1 + 0.2 is 0.3 to the last decimal.
            const Query totals = sheetTotals(batch);
            PreparedStatement sum(cn, totals.sql, totals.params);
            QVERIFY(sum.next());
            QCOMPARE(sum.money(3), *Money::parse("0.3"));
            QVERIFY2(sum.real(3) == 0.3, qPrintable(QString::number(sum.real(3), 'g', 17)));
        }
        QCOMPARE(first(monthItems(batch.year, batch.month), 2).size(), 35);
        QCOMPARE(first(monthItems(batch.year, batch.month, QStringLiteral("B")), 2),
                 QStringList({"B01", "B02", "B03", "B04", "B05", "B06", "B07"}));
    }

    void aBatchExistsOnceItHasARow() {
        QVERIFY(!sheetBatchExists(cn, batch));
        addRow(QStringLiteral("001"), 20, 26, 0);
        QVERIFY(!sheetBatchExists(cn, batch));  // another pay day of the month
        QVERIFY(!sheetBatchExists(cn, {2024, 6, 20}));
        addRow(QStringLiteral("001"), batch.day, 26, 0);
        QVERIFY(sheetBatchExists(cn, batch));
    }

    void titlesFollowTheItemsByPosition() {
        const int columns = int(salaryItemCodes().size());
        // A month without items: every column hidden.
        QCOMPARE(sheetItemTitles(cn, 2024, 5), QStringList(columns, QString()));

        setItems({{"A01", "计件工资"}, {"B02", "缺勤"}, {"T05", "说明"}});
        QStringList titles = sheetItemTitles(cn, 2024, 5);
        QCOMPARE(titles.size(), columns);
        QCOMPARE(titles[salaryItemCodes().indexOf("A01")], QStringLiteral("计件工资"));
        QCOMPARE(titles[salaryItemCodes().indexOf("B02")], QStringLiteral("缺勤"));
        QCOMPARE(titles[salaryItemCodes().indexOf("T05")], QStringLiteral("说明"));
        QCOMPARE(titles.count(QString()), columns - 3);

        // Fewer rows than columns: the titles go by position, the last columns stay without one.
        cn.exec(QStringLiteral("delete from salary where year=2024 and month=5 and ItemCode='A01'"));
        titles = sheetItemTitles(cn, 2024, 5);
        QCOMPARE(titles.size(), columns);
        QCOMPARE(titles[salaryItemCodes().indexOf("B02") - 1], QStringLiteral("缺勤"));
        QCOMPARE(titles.last(), QString());
    }

    void aSavedRowIsRecalculatedWhileItIsStillThere() {
        setItems({{"B01", "出勤天数", "26"}, {"B02", "缺勤", "26-B01"}, {"C01", "津贴", "A02*2"}});
        addRow(QStringLiteral("001"), batch.day, 20, 15);
        addRow(QStringLiteral("001"), 25, 22, 1);  // the worker's other batch of the month goes along
        addRow(QStringLiteral("002"), batch.day, 21, 3);
        QCOMPARE(recalculateSavedRow(cn, batch, QStringLiteral("001")), 2);
        QCOMPARE(row(QStringLiteral("001")), QStringLiteral("20|6|30"));
        QCOMPARE(row(QStringLiteral("001"), 25), QStringLiteral("22|4|2"));
        QCOMPARE(row(QStringLiteral("002")), QStringLiteral("21|0|0"));

        // Deleted in the meantime: nothing is recalculated, also not in the other batch.
        cn.exec(QStringLiteral("update salaryData set B01=10 where staffCode='001'"));
        cn.exec(QStringLiteral("delete from salaryData where staffCode='001' and salaryDay=?"), {batch.day});
        QCOMPARE(recalculateSavedRow(cn, batch, QStringLiteral("001")), 0);
        QCOMPARE(row(QStringLiteral("001"), 25), QStringLiteral("10|4|2"));
        QVERIFY(!cn.inTransaction());
    }

    void failuresOfTheRecalculation() {
        setItems({{"B01", "出勤天数", "26"}, {"B02", "缺勤", "26-B01"}, {"C01", "日薪", "A02/(B01-20)"}});
        addRow(QStringLiteral("001"), batch.day, 20, 15);

        // A formula that fails keeps the items before it, as the recalculation always did.
        QVERIFY_THROWS_EXCEPTION(PayrollError, recalculateSavedRow(cn, batch, QStringLiteral("001")));
        QCOMPARE(row(QStringLiteral("001")), QStringLiteral("20|6|0"));
        QVERIFY(!cn.inTransaction());

        // The database refusing the write of the worker's second row leaves the first as it was too.
        addRow(QStringLiteral("001"), 25, 22, 1);
        cn.exec(QStringLiteral("update salaryData set B01=21, B02=0"));
        hxtest::refuseUpdates(cn, QStringLiteral("salaryData"), QStringLiteral("old.salaryDay=25"));
        QVERIFY_THROWS_EXCEPTION(DbError, recalculateSavedRow(cn, batch, QStringLiteral("001")));
        QCOMPARE(row(QStringLiteral("001")), QStringLiteral("21|0|0"));
        QCOMPARE(row(QStringLiteral("001"), 25), QStringLiteral("21|0|0"));
        QVERIFY(!cn.inTransaction());
    }
};

HX_BOTH_ENGINES;
QTEST_GUILESS_MAIN(TestSalarySheet)
#include "tst_salarysheet.moc"
