#include <QtTest>

#include "core/data/connection.h"
#include "core/data/schema.h"
#include "core/payroll/formula.h"
#include "support/coresupport.h"

using namespace hx;

class TestSchema : public QObject {
    Q_OBJECT

    Connection cn;
    std::unique_ptr<hxtest::OpenAccountSet> dir;

    QString definition(const QString& type, const QString& name) {
        return hxtest::schemaDefinition(cn, type, name);
    }

  private slots:
    void init() { dir = std::make_unique<hxtest::OpenAccountSet>(cn, QStringLiteral("s")); }
    void cleanup() { dir.reset(); }

    void theTemplateHoldsTheBaseItemMonth() {
        QCOMPARE(cn.scalar("select count(*) from salary where [year]=2003 and [month]=11").toInt(), 35);
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
};

QTEST_GUILESS_MAIN(TestSchema)
#include "tst_schema.moc"
