#include <QRandomGenerator>
#include <QtTest>

#include <thread>

#include "core/data/connection.h"
#include "core/data/dataset.h"
#include "core/data/queries.h"
#include "core/payroll/generation.h"
#include "core/payroll/salarysheet.h"
#include "support/coresupport.h"

using namespace hx;

namespace {
const SheetBatch batch{2024, 5, 10};
const QDate from(2024, 5, 1);
const QDate to(2024, 5, 31);
}  // namespace

class TestGeneration : public QObject {
    Q_OBJECT

    Connection cn;
    std::unique_ptr<hxtest::OpenAccountSet> dir;

    qint64 addWorker(const QString& code, int day, bool dismissed = false, const QString& a02 = "0") {
        return cn.insert(QStringLiteral("insert into staff (StaffCode, StaffName, salaryDay, Firedd, A02) "
                                        "values (?, ?, ?, ?, ?)"),
                         {code, QStringLiteral("工") + code, day, dismissed ? -1 : 0,
                          QVariant::fromValue(*Money::parse(a02))},
                         QStringLiteral("staffID"));
    }
    qint64 addJob(const QString& code, const QString& price) {
        return cn.insert(QStringLiteral("insert into job (JobCode, UnitPrice) values (?, ?)"),
                         {code, QVariant::fromValue(*Money::parse(price))}, QStringLiteral("JobID"));
    }
    void addRecord(const QDate& date, qint64 staff, qint64 job, int qty) {
        cn.exec(QStringLiteral("insert into JobData (dateD, staffID, jobID, qty) values (?, ?, ?, ?)"),
                {date, staff, job, qty});
    }
    // Copies the base month to the batch's month, then names only the items given (code, name, formula).
    void setItems(const QList<QStringList>& items) {
        cn.exec(QStringLiteral("delete from salary where year=? and month=?"), {batch.year, batch.month});
        cn.exec(QStringLiteral("insert into salary select ?, ?, ItemCode, null, null, 0 from salary "
                               "where year=2003 and month=11"),
                {batch.year, batch.month});
        for (const QStringList& item : items) setItem(item[0], item[1], item.value(2));
    }
    void setItem(const QString& code, const QString& name, const QString& expression) {
        cn.exec(QStringLiteral("update salary set ItemName=?, expression=? where year=? and month=? and "
                               "ItemCode=?"),
                {name.isEmpty() ? QVariant() : name, expression, batch.year, batch.month, code});
    }
    QVariant cell(const QString& staffCode, const QString& column, const SheetBatch& b = batch) {
        return cn.scalar(QStringLiteral("select %1 from salaryData where Year=? and Month=? and salaryDay=? "
                                        "and staffCode=?")
                             .arg(column),
                         {b.year, b.month, b.day, staffCode});
    }
    Money money(const QString& staffCode, const QString& column) {
        return Money::fromVariant(cell(staffCode, column));
    }
    QStringList sheetCodes(const SheetBatch& b = batch) {
        QStringList codes;
        PreparedStatement q =
            cn.query(QStringLiteral("select staffCode from salaryData where Year=? and Month=? and "
                                    "salaryDay=? order by staffCode"),
                     {b.year, b.month, b.day});
        while (q.next()) codes << q.value(0).toString();
        return codes;
    }
    // Every stored value of every sheet row, for before-and-after comparisons.
    QStringList dump() {
        QStringList rows;
        PreparedStatement q =
            cn.query(QStringLiteral("select * from salaryData order by Year, Month, salaryDay, "
                                    "staffCode"));
        while (q.next()) {
            QStringList values;
            for (int i = 0; i < q.columnCount(); ++i)
                values << (q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString());
            rows << values.join(QLatin1Char('|'));
        }
        return rows;
    }
    QString generationError() {
        try {
            generateSalarySheet(cn, batch, from, to);
        } catch (const PayrollError& e) {
            return e.message();
        }
        return QStringLiteral("(no error)");
    }

  private slots:
    void init() { dir = std::make_unique<hxtest::OpenAccountSet>(cn, QStringLiteral("g")); }
    void cleanup() { dir.reset(); }

    void piecesBetweenBothDatesIncludedForActiveWorkersOfThePayDay() {
        setItems({{"A01", "计件工资"}});
        const qint64 active = addWorker("001", 10);
        addWorker("002", 10);  // no records: piece wage 0
        const qint64 dismissed = addWorker("003", 10, true);
        const qint64 otherDay = addWorker("004", 20);
        const qint64 cut = addJob("J1", "1.2345");
        const qint64 sew = addJob("J2", "0.5");
        addRecord(from, active, cut, 10);  // the first day counts
        addRecord(to, active, sew, 3);     // and so does the last
        addRecord(from.addDays(-1), active, cut, 100);
        addRecord(to.addDays(1), active, cut, 100);
        addRecord(from, dismissed, cut, 7);
        addRecord(from, otherDay, cut, 7);
        // Rows of an earlier generation of this batch, by workers who no longer belong to it.
        for (const char* code : {"003", "004"})
            cn.exec(QStringLiteral("insert into salaryData (Year,Month,salaryDay,staffCode,A01) values "
                                   "(?,?,?,?,5)"),
                    {batch.year, batch.month, batch.day, code});
        // The other pay day's own sheet stays as it is.
        const SheetBatch day20{batch.year, batch.month, 20};
        cn.exec(QStringLiteral("insert into salaryData (Year,Month,salaryDay,staffCode,A01) values "
                               "(?,?,?,'004',5)"),
                {day20.year, day20.month, day20.day});

        QCOMPARE(generateSalarySheet(cn, batch, from, to), 2);
        QCOMPARE(sheetCodes(), QStringList({"001", "002"}));
        QCOMPARE(money("001", "A01"), *Money::parse("13.845"));  // 10 x 1.2345 + 3 x 0.5
        QCOMPARE(money("002", "A01"), Money());
        QCOMPARE(cell("002", "staffName").toString(), QStringLiteral("工002"));
        QCOMPARE(sheetCodes(day20), QStringList({"004"}));
        QCOMPARE(Money::fromVariant(cell("004", "A01", day20)), Money::fromYuan(5));
    }

    void formulasRunInCodeOrderOnTheInsertedRow() {
        setItems({{"A01", "计件工资"},
                  {"A02", "岗位津贴"},
                  {"B01", "出勤天数", "26"},
                  {"B02", "双倍", "B01*2"},
                  {"B03", "后面的", "B04+1"},  // B04 is evaluated later: it reads 0 here
                  {"B04", "七", "7"},
                  {"B05", "", "99"},  // not in use: keeps its default although it has a formula
                  {"C01", "合计", "A01+A02"},
                  {"C02", "七分之一", "A01/7"},
                  {"C03", "日薪", "round(C01/B01, 2)"},
                  {"C04", "放大", "C02*10000"},
                  {"T01", "说明", "按\"计件\"结算"},
                  {"T02", "", "未用"},
                  {"T03", "空白", ""}});
        const qint64 w = addWorker("001", 10, false, "200.5");
        addRecord(from, w, addJob("J", "0.3333"), 100);
        generateSalarySheet(cn, batch, from, to);

        QCOMPARE(cell("001", "B01").toDouble(), 26.0);
        QCOMPARE(cell("001", "B02").toDouble(), 52.0);
        QCOMPARE(cell("001", "B03").toDouble(), 1.0);
        QCOMPARE(cell("001", "B04").toDouble(), 7.0);
        QCOMPARE(cell("001", "B05").toDouble(), 0.0);
        QCOMPARE(money("001", "A02"), *Money::parse("200.5"));
        QCOMPARE(money("001", "C01"), *Money::parse("233.83"));
        // Amounts keep four decimals, and a later formula reads the kept value.
        QCOMPARE(money("001", "C02"), *Money::parse("4.7614"));
        QCOMPARE(money("001", "C03"), *Money::parse("8.99"));
        QCOMPARE(money("001", "C04"), Money::fromYuan(47614));
        QCOMPARE(cell("001", "T01").toString(), QStringLiteral("按\"计件\"结算"));
        QVERIFY(cell("001", "T02").isNull());
        QVERIFY(!cell("001", "T03").isNull());
        QCOMPARE(cell("001", "T03").toString(), QString());
    }

    void regenerationReplacesTypedValues() {
        setItems({{"B01", "出勤天数", "26"}, {"C01", "全勤奖", "iif(B01>=26, 100, 0)"}});
        addWorker("001", 10);
        generateSalarySheet(cn, batch, from, to);
        cn.exec(QStringLiteral("update salaryData set B01=20, C01=0, T01='手填'"));
        QCOMPARE(generateSalarySheet(cn, batch, from, to), 1);
        QCOMPARE(cell("001", "B01").toDouble(), 26.0);
        QCOMPARE(money("001", "C01"), Money::fromYuan(100));
        QVERIFY(cell("001", "T01").isNull());
        QCOMPARE(sheetCodes(), QStringList({"001"}));
    }

    void aFailureLeavesThePreviousSheetUnchanged() {
        setItems(
            {{"B01", "出勤天数", "26"}, {"C01", "日薪", "round(A02/(A02-100), 2)"}, {"T05", "说明", "好"}});
        addWorker("001", 10, false, "300");
        addWorker("002", 10, false, "500");
        generateSalarySheet(cn, batch, from, to);
        cn.exec(QStringLiteral("update salaryData set B01=21 where staffCode='002'"));
        addWorker("003", 10, false, "100");  // its C01 divides by zero: after rows were already written
        const QStringList before = dump();

        const QString message = generationError();
        QVERIFY2(message.contains(QStringLiteral("C01")) &&
                     message.contains(QStringLiteral("A02/(A02-100)")) &&
                     message.contains(QStringLiteral("除数为零")) && message.contains(QStringLiteral("003")),
                 qPrintable(message));
        QCOMPARE(dump(), before);
        QVERIFY(!cn.inTransaction());

        // The last text item too long for its column.
        cn.exec(QStringLiteral("update staff set A02=200 where StaffCode='003'"));
        setItem("T05", "说明", QString(51, QLatin1Char('x')));
        const QString tooLong = generationError();
        QVERIFY2(tooLong.contains(QStringLiteral("T05")) && tooLong.contains(QStringLiteral("50")),
                 qPrintable(tooLong));
        QCOMPARE(dump(), before);

        // A named computed item without a formula, and one that does not parse.
        setItem("T05", "说明", QStringLiteral("好"));
        setItem("B02", "空的", QString());
        QCOMPARE(generationError(), QStringLiteral("B02 没有公式或默认值"));
        setItem("B02", "坏的", QStringLiteral("B01*"));
        QVERIFY(generationError().startsWith(QStringLiteral("B02 的公式“B01*”有误：")));
        QCOMPARE(dump(), before);

        // A piece wage beyond what an amount holds, on either way the wages are summed.
        setItem("B02", "", QString());
        const qint64 dear = addJob("DEAR", "900000000000");
        addRecord(from,
                  cn.scalar(QStringLiteral("select staffID from staff where StaffCode='003'")).toLongLong(),
                  dear, 20000);
        const QString overflow = generationError();
        QVERIFY2(overflow.startsWith(QStringLiteral("计件工资超出范围：工号 003（工003）")),
                 qPrintable(overflow));
        QCOMPARE(dump(), before);
        cn.exec(QStringLiteral("delete from JobData where jobID=?"), {dear});

        QCOMPARE(generateSalarySheet(cn, batch, from, to), 3);
        QCOMPARE(cell("002", "B01").toDouble(), 26.0);
    }

    void faultyFormulasFailAlsoWithoutWorkers() {
        // Nobody has pay day 10: no row would ever evaluate the formulas.
        addWorker("001", 20);
        const SheetBatch other{batch.year, batch.month, 20};
        setItems({{"B01", "出勤天数", "26"}, {"C01", "奖金", "round(A01*0.1, 2"}});
        QCOMPARE(generationError(),
                 QStringLiteral("C01 的公式“round(A01*0.1, 2”有误：第 16 个字符附近缺少右括号"));
        setItem("C01", "奖金", QStringLiteral("bonus(A01)"));
        QCOMPARE(generationError(), QStringLiteral("C01 的公式“bonus(A01)”有误：未知的函数 bonus"));
        setItem("C01", "奖金", QString());
        QCOMPARE(generationError(), QStringLiteral("C01 没有公式或默认值"));
        // A constant that cannot be computed fails in every row alike.
        setItem("C01", "奖金", QStringLiteral("100 \\ 0.5"));
        QCOMPARE(generationError(), QStringLiteral("C01 的公式“100 \\ 0.5”无法计算：除数为零"));
        QVERIFY(!cn.inTransaction());
        // The same month's sheet of another pay day is refused as well, and nothing was written.
        QVERIFY_THROWS_EXCEPTION(PayrollError, generateSalarySheet(cn, other, from, to));
        QCOMPARE(cn.scalar(QStringLiteral("select count(*) from salaryData")).toInt(), 0);
        // An unnamed item is not applied, so its formula is not checked either.
        setItem("C01", "", QStringLiteral("1/"));
        QCOMPARE(generateSalarySheet(cn, batch, from, to), 0);
        QCOMPARE(generateSalarySheet(cn, other, from, to), 1);
        // A formula that divides by zero only for some rows is not refused in advance.
        setItem("C01", "日薪", QStringLiteral("A02/B02 ^ 2 + sqr(B01) \\ 2"));
        QCOMPARE(generationError(), QStringLiteral("(no error)"));
    }

    // Summed with rates of everyday size, and with one rate too large for the quick whole-number sum;
    // a process without a rate pays nothing. The text items' default goes into every row as typed.
    void pieceWagesEqualThePlainSumOfTheRecords_data() {
        QTest::addColumn<QString>("dearestRate");
        QTest::newRow("everyday rates") << "1.0001";
        QTest::newRow("a rate beyond 214,748 yuan") << "214748.3648";
    }
    void pieceWagesEqualThePlainSumOfTheRecords() {
        QFETCH(QString, dearestRate);
        const QString remark = QStringLiteral("路径 C:\\新\t第2行\n第3行\\N");
        setItems({{"A01", "计件工资"}, {"T01", "备注", remark}});
        QRandomGenerator random(7);
        QList<qint64> workers, jobs;
        // Enough workers of the batch for rows beyond what the server takes in one piece.
        for (int i = 0; i < 400; ++i)
            workers << addWorker(QStringLiteral("W%1").arg(i, 3, 10, QLatin1Char('0')), i % 4 == 0 ? 20 : 10,
                                 i % 9 == 0);
        for (int i = 0; i < 30; ++i)
            jobs << addJob(QStringLiteral("J%1").arg(i),
                           Money::fromUnits(random.bounded(1, 50000)).toPlainString());
        cn.beginTransaction();
        for (int i = 0; i < 3000; ++i)
            cn.exec(QStringLiteral("insert into JobData (dateD, staffID, jobID, qty) values (?,?,?,?) on "
                                   "conflict do nothing"),
                    {from.addDays(random.bounded(-5, 36)), workers[random.bounded(workers.size())],
                     jobs[random.bounded(jobs.size())], random.bounded(1, 500)});
        cn.commit();
        // A process made dearer afterwards: the rate at generation time counts for past records too.
        cn.exec(QStringLiteral("update job set UnitPrice=? where JobID=?"),
                {QVariant::fromValue(*Money::parse(dearestRate)), jobs[0]});
        cn.exec(QStringLiteral("update job set UnitPrice=null where JobID=?"), {jobs[1]});
        const qint64 unpaid = addWorker(QStringLiteral("W999"), 10);
        addRecord(from, unpaid, jobs[1], 30);

        generateSalarySheet(cn, batch, from, to);

        QMap<QString, Money> expected;
        PreparedStatement staff =
            cn.query(QStringLiteral("select StaffCode from staff where salaryDay=10 and Firedd=0"));
        while (staff.next()) expected[staff.value(0).toString()] = Money();
        PreparedStatement records =
            cn.query(QStringLiteral("select s.StaffCode, d.qty, j.UnitPrice, d.dateD from JobData d join "
                                    "staff s on s.staffID=d.staffID "
                                    "join job j on j.JobID=d.jobID"));
        int counted = 0;
        while (records.next()) {
            const QString code = records.value(0).toString();
            const QDate date = QDate::fromString(records.value(3).toString(), Qt::ISODate);
            if (!expected.contains(code) || date < from || date > to) continue;
            expected[code] += Money::fromVariant(records.value(2)) * records.value(1).toLongLong();
            ++counted;
        }
        QVERIFY(counted > 1000);
        QCOMPARE(sheetCodes(), expected.keys());
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(money(it.key(), "A01"), it.value());
        QCOMPARE(money(QStringLiteral("W999"), "A01"), Money());
        QCOMPARE(cn.scalar(QStringLiteral("select count(*) from salaryData where T01 = ?"), {remark}).toInt(),
                 expected.size());
    }

    void recalculationFollowsTypedValuesAndKeepsConstants() {
        setItems({{"A01", "计件工资"},
                  {"B01", "出勤天数", "26"},
                  {"B02", "缺勤", "26-B01"},
                  {"B03", "常数", "max(3, 1)"},  // names no item: a default like 26
                  {"B04", "", "b01*10"},         // not in use, but the recalculation applies it
                  {"C01", "奖金", "0"},
                  {"C02", "扣款", "round(A01/26*B02, 2)"},
                  {"C03", "实发", "A01+C01-C02"},
                  {"T01", "说明", "ABC"}});
        const qint64 w = addWorker("001", 10);
        addRecord(from, w, addJob("J", "26"), 100);  // A01 = 2600
        generateSalarySheet(cn, batch, from, to);
        // The same worker also sits in another batch of the month with other values.
        cn.exec(QStringLiteral("insert into salaryData (Year,Month,salaryDay,staffCode,A01,B01) values "
                               "(?,?,25,'001',1300,13)"),
                {batch.year, batch.month});

        cn.exec(QStringLiteral("update salaryData set B01=22, B03=9, C01=50, T01='手填' where salaryDay=10"));
        QCOMPARE(recalculateWorker(cn, batch.year, batch.month, QStringLiteral("001")), 2);
        QCOMPARE(cell("001", "B01").toDouble(), 22.0);
        QCOMPARE(cell("001", "B02").toDouble(), 4.0);
        QCOMPARE(cell("001", "B03").toDouble(), 9.0);
        QCOMPARE(cell("001", "B04").toDouble(), 220.0);
        QCOMPARE(money("001", "C01"), Money::fromYuan(50));
        QCOMPARE(money("001", "C02"), Money::fromYuan(400));
        QCOMPARE(money("001", "C03"), Money::fromYuan(2250));
        QCOMPARE(cell("001", "T01").toString(), QStringLiteral("手填"));
        const SheetBatch day25{batch.year, batch.month, 25};
        QCOMPARE(cell("001", "B02", day25).toDouble(), 13.0);
        QCOMPARE(Money::fromVariant(cell("001", "C02", day25)), Money::fromYuan(650));

        // A failing item stops the pass; the items before it keep their new values.
        setItem("C03", "实发", QStringLiteral("A01/(B01-22)"));
        cn.exec(QStringLiteral("update salaryData set B02=0, C02=0 where salaryDay=10"));
        try {
            recalculateWorker(cn, batch.year, batch.month, QStringLiteral("001"));
            QFAIL("no error");
        } catch (const PayrollError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("C03")), qPrintable(e.message()));
        }
        QCOMPARE(cell("001", "B02").toDouble(), 4.0);
        QCOMPARE(money("001", "C02"), Money::fromYuan(400));
        QCOMPARE(money("001", "C03"), Money::fromYuan(2250));
        QCOMPARE(recalculateWorker(cn, batch.year, batch.month, QStringLiteral("nobody")), 0);
    }

    // Another desk edits the batch's sheet while the accountant generates the batch again. The
    // generation is one transaction: the edit lands before it, and the generation then replaces it, or
    // is refused after it and stays on the desk's screen; it never lands in the new batch.
    void anEditOfTheSheetNeverLandsInTheNewBatch() {
        setItems({{"A01", "计件工资"}, {"B01", "出勤天数", "26"}, {"C01", "实发", "A01+B01"}});
        const qint64 w = addWorker("001", 10);
        addWorker("002", 10);
        const qint64 job = addJob("J", "1.5");
        generateSalarySheet(cn, batch, from, to);

        Connection desk;
        hxtest::openAgain(desk, cn);
        DataSet sheet(&desk);
        setQuery(sheet, sheetRows(batch));
        sheet.open();
        const auto editB01 = [&](double value) {
            sheet.requery();
            QVERIFY(sheet.locate(QStringLiteral("staffCode"), QStringLiteral("001")));
            sheet.edit();
            sheet.setValue(QStringLiteral("B01"), value);
        };

        editB01(20);
        QVERIFY(sheet.post());
        QCOMPARE(cell("001", "B01").toDouble(), 20.0);
        generateSalarySheet(cn, batch, from, to);
        QCOMPARE(cell("001", "B01").toDouble(), 26.0);

        // Counts were entered since the desk read the sheet, and the batch was generated again.
        editB01(21);
        addRecord(from, w, job, 2);
        generateSalarySheet(cn, batch, from, to);
        QVERIFY_THROWS_EXCEPTION(RowChangedError, sheet.post());
        QVERIFY(sheet.isEditing());
        QCOMPARE(sheet.asDouble(QStringLiteral("B01")), 21.0);
        QCOMPARE(cell("001", "B01").toDouble(), 26.0);
        QCOMPARE(money("001", "A01"), Money::fromYuan(3));
        QCOMPARE(money("001", "C01"), Money::fromYuan(29));
        sheet.cancel();

        // Both at the same moment, whichever comes first.
        int landed = 0, refused = 0;
        for (int round = 1; round <= 8; ++round) {
            editB01(30 + round);
            addRecord(from.addDays(round), w, job, 1);
            QString generationFailure;
            std::thread accountant([&] {
                try {
                    generateSalarySheet(cn, batch, from, to);
                } catch (const Error& e) {
                    generationFailure = e.message();
                }
            });
            bool posted = false, wasRefused = false;
            QString postFailure;
            try {
                posted = sheet.post();
            } catch (const RowChangedError&) {
                wasRefused = true;
            } catch (const Error& e) {
                postFailure = e.message();
            }
            accountant.join();
            QCOMPARE(generationFailure, QString());
            QCOMPARE(postFailure, QString());
            QVERIFY(posted != wasRefused);
            if (wasRefused) {
                ++refused;
                QVERIFY(sheet.isEditing());
                QCOMPARE(sheet.asDouble(QStringLiteral("B01")), 30.0 + round);
                sheet.cancel();
            } else {
                ++landed;
            }
            QCOMPARE(cell("001", "B01").toDouble(), 26.0);
            QCOMPARE(money("001", "A01"), Money::fromYuan(3) + *Money::parse("1.5") * round);
            QCOMPARE(sheetCodes(), QStringList({"001", "002"}));
        }
        QCOMPARE(landed + refused, 8);
    }
};

HX_BOTH_ENGINES;
QTEST_GUILESS_MAIN(TestGeneration)
#include "tst_generation.moc"
