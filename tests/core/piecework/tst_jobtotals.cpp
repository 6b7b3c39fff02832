#include <QtTest>

#include "core/data/connection.h"
#include "core/piecework/jobtotals.h"
#include "support/coresupport.h"

using namespace hx;

class TestJobTotals : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::OpenAccountSet> dir;
    Connection cn;
    const QDate day{2025, 3, 12};

    void add(int staff, int job, int qty, const QDate& date) {
        cn.exec("insert into JobData (dateD, staffID, jobID, qty) values (?, ?, ?, ?)",
                {date, staff, job, qty});
    }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::OpenAccountSet>(cn, QStringLiteral("t"));
        cn.exec(
            "insert into job (JobID, JobCode, UnitPrice) values (1, 'A', 0.3333), (2, 'B', 0.1), (3, 'C', "
            "NULL)");
    }
    void cleanup() { dir.reset(); }

    void exactSumsOfTheRecordsThatMeetTheCondition() {
        add(1, 1, 3, day);
        add(1, 2, 1, day);
        add(2, 2, 2, day);
        add(1, 1, 1000, day.addDays(1));
        const PieceWorkTotals t = sumPieceWork(cn, "dateD=? and staffID=?", {day, 1});
        QCOMPARE(t.pieces, std::optional<qint64>(4));
        QCOMPARE(t.amount->toPlainString(), QStringLiteral("1.0999"));
        const PieceWorkTotals all = sumPieceWork(cn, "dateD between ? and ?", {day, day.addDays(1)});
        QCOMPARE(*all.pieces, qint64(1006));
        QCOMPARE(all.amount->toPlainString(), QStringLiteral("334.5999"));
    }

    void goneProcessesAndMissingRates() {
        add(1, 3, 5, day);  // a process without a rate: pieces, no money
        PieceWorkTotals t = sumPieceWork(cn, "dateD=?", {day});
        QCOMPARE(*t.pieces, qint64(5));
        QVERIFY(!t.amount);
        add(1, 9, 7, day);  // no such process: counts in neither
        add(1, 2, 10, day);
        t = sumPieceWork(cn, "dateD=?", {day});
        QCOMPARE(*t.pieces, qint64(15));
        QCOMPARE(*t.amount, Money::fromYuan(1));
        // Nothing in view: both totals empty.
        t = sumPieceWork(cn, "dateD=?", {day.addDays(-1)});
        QVERIFY(!t.pieces && !t.amount);
        t = sumPieceWork(cn, "jobID=?", {9});
        QVERIFY(!t.pieces && !t.amount);
    }
};

QTEST_GUILESS_MAIN(TestJobTotals)
#include "tst_jobtotals.moc"
