#include <QtTest>

#include "core/data/accountset.h"
#include "core/data/connection.h"
#include "core/data/dataset.h"
#include "core/data/schema.h"
#include "core/payroll/formula.h"
#include "core/payroll/salarysheet.h"
#include "support/coresupport.h"

using namespace hx;

class TestSchema : public QObject {
    Q_OBJECT

    Connection cn;
    std::unique_ptr<hxtest::OpenAccountSet> dir;

    QString definition(const QString& type, const QString& name) {
        return hxtest::schemaDefinition(cn, type, name);
    }

    const SheetBatch batch{2026, 11, 5};
    // The open account set as the program wrote it before the sheet had its key, with piece records and
    // a generated-looking batch of the sheet (two workers and a row without a worker's code).
    void makeFileWithoutSheetKey() {
        cn.exec("drop index salaryData_key");
        cn.exec("drop index wCodeName_key");
        cn.exec("create index salaryData_batch on salaryData (Year, Month, salaryDay, staffCode)");
        cn.exec(
            "insert into staff (StaffCode, StaffName, salaryDay) values ('001', 'a', 5), ('002', 'b', 5)");
        cn.exec("insert into job (JobCode, UnitPrice) values ('J', 0.5)");
        cn.exec(
            "insert into JobData (dateD, staffID, jobID, qty) values ('2026-11-01', 1, 1, 3), "
            "('2026-11-01', 2, 1, 4), ('2026-11-02', 1, 1, 3)");
        cn.exec(
            "insert into salary select 2026, 11, ItemCode, ItemName, expression, printWidth from salary "
            "where year=2003 and month=11");
        cn.exec(
            "insert into salaryData (Year, Month, salaryDay, staffCode, staffName, A01) values "
            "(2026, 11, 5, '001', 'a', 100), (2026, 11, 5, '002', 'b', 200), (2026, 11, 5, null, '', 0), "
            "(2026, 10, 5, '001', 'a', 90)");
    }
    QString everyRow() {
        QString rows;
        for (const QString& table : accountSetTables())
            rows += table + QLatin1Char(':') + cn.scalar("select count(*) from " + table).toString() +
                    QLatin1Char(' ');
        return rows +
               hxtest::rowsText(cn, "salaryData", "Year, Month, staffCode, A01",
                                {"Year", "Month", "salaryDay", "staffCode", "staffName", "A01"}) +
               hxtest::rowsText(cn, "JobData", "dateD, staffID", {"dateD", "staffID", "jobID", "qty"});
    }
    // Opens the account set again the way the program opens it; false when it opens with a complaint.
    bool reopen() {
        cn.close();
        return accountSetAt(dir->path).open(cn).isEmpty();
    }

  private slots:
    void init() { dir = std::make_unique<hxtest::OpenAccountSet>(cn, QStringLiteral("s")); }
    void cleanup() { dir.reset(); }

    void theTemplateHoldsTheBaseItemMonth() {
        QCOMPARE(cn.scalar("select count(*) from salary where year=2003 and month=11").toInt(), 35);
        QCOMPARE(cn.scalar("select count(*) from salary").toInt(), 35);
        for (const char* table : {"staff", "job", "JobData", "salaryData"})
            QCOMPARE(cn.scalar(QStringLiteral("select count(*) from ") + table).toInt(), 0);
        QCOMPARE(cn.scalar("select count(*) from wCodeName").toInt(), 1);
        // Every formula of the base month refers only to earlier items, and the slip fits A4 (190 mm).
        PreparedStatement q =
            cn.query("select ItemCode, expression from salary where ItemName<>'' order by ItemCode");
        while (q.next()) {
            const QString code = q.value(0).toString();
            if (code.startsWith('A') || code.startsWith('T')) continue;
            QVERIFY2(checkItemFormula(code, q.value(1).toString()).isEmpty(), qPrintable(code));
        }
        const int width = cn.scalar("select sum(printWidth) from salary").toInt() +
                          cn.scalar("select wCode + wName from wCodeName").toInt();
        QVERIFY2(width <= 190, qPrintable(QString::number(width)));
    }

    void theDatabaseRefusesWhatBreaksTheSchema() {
        QVERIFY_THROWS_EXCEPTION(DbError, cn.exec("insert into wCodeName (wCode, wName) values (1, 1)"));
        QVERIFY_THROWS_EXCEPTION(DbError, cn.exec("delete from wCodeName"));
        QVERIFY_THROWS_EXCEPTION(
            DbError, cn.exec("insert into staff (StaffCode, StaffName, salaryDay) values ('1', 'a', 0)"));
        QVERIFY_THROWS_EXCEPTION(
            DbError, cn.exec("insert into staff (StaffCode, StaffName, salaryDay) values ('1', 'a', 32)"));
        QVERIFY_THROWS_EXCEPTION(
            DbError, cn.exec("insert into staff (StaffCode, StaffName) values ('12345678901', 'a')"));
        cn.exec("insert into staff (StaffCode, StaffName, salaryDay) values ('1', 'a', 31)");
        cn.exec("insert into staff (StaffCode, StaffName) values ('2', 'b')");
        QVERIFY_THROWS_EXCEPTION(DbError,
                                 cn.exec("insert into staff (StaffCode, StaffName) values ('2', 'c')"));
        cn.exec("insert into JobData (dateD, staffID, jobID, qty) values ('2026-12-01', 1, 1, 5)");
        QVERIFY_THROWS_EXCEPTION(
            DbError,
            cn.exec("insert into JobData (dateD, staffID, jobID, qty) values ('2026-12-01', 1, 1, 5)"));
        QVERIFY_THROWS_EXCEPTION(
            DbError,
            cn.exec("insert into JobData (dateD, staffID, jobID, qty) values ('2026-12-01', 1, 1, 'x')"));
        QVERIFY_THROWS_EXCEPTION(
            DbError, cn.exec("insert into JobData (dateD, staffID, jobID) values ('2026-12-02', 1, 1)"));
    }

    void anAccountSetOfAnEarlierVersionIsBroughtUpToDate() {
        cn.exec("insert into staff (StaffCode, StaffName, salaryDay) values ('1', 'a', 5)");
        cn.exec("insert into job (JobCode, UnitPrice) values ('J', 0.5)");
        cn.exec("insert into JobData (dateD, staffID, jobID, qty) values ('2026-12-01', 1, 1, 3)");
        const QString current = definition("view", "qryData");
        const QString index = definition("index", "JobData_job_date");
        QVERIFY(!current.isEmpty());
        // An earlier version: an older qryData, no daily view, one index missing.
        cn.exec("drop view qryData");
        cn.exec("create view qryData as select dateD, qty from JobData");
        cn.exec("drop view if exists qryDataDay");
        cn.exec("drop index JobData_job_date");

        upgradeAccountSet(cn);
        QCOMPARE(definition("view", "qryData"), current);
        QCOMPARE(definition("index", "JobData_job_date"), index);
        QCOMPARE(cn.scalar("select count(*) from qryData").toInt(), 1);
        QCOMPARE(cn.scalar("select count(*) from JobData").toInt(), 1);

        // Once up to date, nothing more changes.
        const QString before = hxtest::schemaText(cn);
        upgradeAccountSet(cn);
        QCOMPARE(hxtest::schemaText(cn), before);
    }

    void aFileWithoutTheSheetKeyIsUpgradedAndKeepsEveryRow() {
        const QString key = definition("index", "salaryData_key");
        makeFileWithoutSheetKey();
        const QString rows = everyRow();
        QVERIFY(reopen());
        QCOMPARE(definition("index", "salaryData_key"), key);
        QVERIFY(!definition("index", "wCodeName_key").isEmpty());
        QCOMPARE(everyRow(), rows);
        // A worker is now in a batch once; an edit of the sheet stores its row alone.
        QVERIFY_THROWS_EXCEPTION(DbError, cn.exec("insert into salaryData (Year, Month, salaryDay, "
                                                  "staffCode) values (2026, 11, 5, '001')"));
        DataSet sheet(&cn);
        setQuery(sheet, sheetRows(batch));
        sheet.open();
        QVERIFY(sheet.locate("staffCode", "002"));
        sheet.setValue("A01", 250);
        QVERIFY(sheet.post());
        QCOMPARE(everyRow(), QString(rows).replace("|002|b|200", "|002|b|250"));
    }

    void aFileHoldingAWorkerTwiceInABatchStaysUsable() {
        makeFileWithoutSheetKey();
        cn.exec(
            "insert into salaryData (Year, Month, salaryDay, staffCode, staffName, A01) values "
            "(2026, 11, 5, '001', 'a', 101)");
        const QString rows = everyRow();
        // The key cannot be built on these rows: the set opens as it is, every row kept.
        QVERIFY(reopen());
        QVERIFY(definition("index", "salaryData_key").isEmpty());
        QCOMPARE(everyRow(), rows);

        // Neither of the two rows is edited or recalculated for both; the other workers' rows are.
        DataSet sheet(&cn);
        setQuery(sheet, sheetRows(batch));
        sheet.open();
        QVERIFY(sheet.locate("staffCode", "001"));
        sheet.setValue("A01", 300);
        QVERIFY_THROWS_EXCEPTION(DbError, sheet.post());
        sheet.cancel();
        QVERIFY_THROWS_EXCEPTION(DbError, sheet.remove());
        QVERIFY_THROWS_EXCEPTION(DbError, recalculateSavedRow(cn, batch, "001"));
        QCOMPARE(everyRow(), rows);
        QVERIFY(sheet.locate("staffCode", "002"));
        sheet.setValue("A01", 250);
        QVERIFY(sheet.post());
        QVERIFY(recalculateSavedRow(cn, batch, "002") > 0);
        QCOMPARE(hxtest::rowCount(cn, "salaryData", "staffCode='001' and Month=11 and A01 in (100, 101)"), 2);

        // Generating the batch again gives every worker one row; the next opening builds the key.
        sheet.close();
        generateSalarySheet(cn, batch, QDate(2026, 11, 1), QDate(2026, 11, 30));
        QVERIFY(reopen());
        QVERIFY(!definition("index", "salaryData_key").isEmpty());
        QCOMPARE(hxtest::rowCount(cn, "salaryData", "Year=2026 and Month=11 and salaryDay=5"), 2);
    }
};

QTEST_GUILESS_MAIN(TestSchema)
#include "tst_schema.moc"
