#include <QtTest>

#include "core/data/connection.h"
#include "core/data/dataset.h"
#include "core/piecework/jobtotals.h"
#include "support/coresupport.h"

using namespace hx;

class TestJobTotals : public QObject {
    Q_OBJECT

    Connection cn;
    std::unique_ptr<hxtest::OpenAccountSet> dir;
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

    // The records a filter picks (a worker's day, a process's day, days of everyone, nobody), and the
    // exact sums of the same records.
    void exactSumsOfTheRecordsThatMeetTheCondition() {
        add(1, 1, 3, day);
        add(1, 2, 1, day);
        add(2, 2, 2, day);
        add(1, 1, 1000, day.addDays(1));
        const auto picked = [this](const PieceFilter& filter) {
            const Query q = pieceRecords(filter);
            PreparedStatement records(cn, q.sql, q.params);
            QStringList rows;
            while (records.next())
                rows << QStringLiteral("%1 %2 %3 %4")
                            .arg(records.text(0))
                            .arg(records.integer(1))
                            .arg(records.integer(2))
                            .arg(records.integer(3));
            rows.sort();
            return rows;
        };
        QCOMPARE(picked(PieceFilter::workerDay(day, 1)),
                 QStringList({"2025-03-12 1 1 3", "2025-03-12 1 2 1"}));
        QCOMPARE(picked(PieceFilter::processDay(day, 2)),
                 QStringList({"2025-03-12 1 2 1", "2025-03-12 2 2 2"}));
        QCOMPARE(picked({day, day.addDays(1), 1, 1}),
                 QStringList({"2025-03-12 1 1 3", "2025-03-13 1 1 1000"}));
        QCOMPARE(picked({day, day.addDays(1), {}, {}}).size(), 4);
        QVERIFY(picked(PieceFilter::workerDay(day, 0)).isEmpty());
        const PieceWorkTotals t = sumPieceWork(cn, PieceFilter::workerDay(day, 1));
        QCOMPARE(t.pieces, std::optional<qint64>(4));
        QCOMPARE(t.amount->toPlainString(), QStringLiteral("1.0999"));
        const PieceWorkTotals all = sumPieceWork(cn, {day, day.addDays(1), {}, {}});
        QCOMPARE(*all.pieces, qint64(1006));
        QCOMPARE(all.amount->toPlainString(), QStringLiteral("334.5999"));
        // The same records read into a list give the same totals without reading them again.
        DataSet list(&cn);
        setQuery(list, pieceRecords({day, day.addDays(1), {}, {}}));
        list.open();
        const PieceWorkTotals listed = sumPieceWork(cn, list);
        QCOMPARE(listed.pieces, all.pieces);
        QCOMPARE(*listed.amount, *all.amount);
        // A row of the list stored for another worker has left worker 1's day, in the list's totals as
        // in the stored records'.
        const PieceFilter workerDay = PieceFilter::workerDay(day, 1);
        QVERIFY(list.locate("qty", 3));
        list.edit();
        list.setValue("staffID", 2);
        list.post();
        const PieceWorkTotals stored = sumPieceWork(cn, workerDay);
        const PieceWorkTotals inView = sumPieceWork(cn, list, workerDay);
        QCOMPARE(stored.pieces, std::optional<qint64>(1));
        QCOMPARE(inView.pieces, stored.pieces);
        QCOMPARE(*inView.amount, *stored.amount);
        QCOMPARE(sumPieceWork(cn, list, PieceFilter{day, day.addDays(1), {}, 1}).pieces,
                 sumPieceWork(cn, PieceFilter{day, day.addDays(1), {}, 1}).pieces);
    }

    void goneProcessesAndMissingRates() {
        add(1, 3, 5, day);  // a process without a rate: pieces, no money
        PieceWorkTotals t = sumPieceWork(cn, {day, day, {}, {}});
        QCOMPARE(*t.pieces, qint64(5));
        QVERIFY(!t.amount);
        add(1, 9, 7, day);  // no such process: counts in neither
        add(1, 2, 10, day);
        t = sumPieceWork(cn, {day, day, {}, {}});
        QCOMPARE(*t.pieces, qint64(15));
        QCOMPARE(*t.amount, Money::fromYuan(1));
        DataSet list(&cn);
        list.setSql("select jobID, qty from JobData where dateD=?");
        list.setParams({day});
        list.open();
        const PieceWorkTotals listed = sumPieceWork(cn, list);
        QCOMPARE(*listed.pieces, qint64(15));
        QCOMPARE(*listed.amount, Money::fromYuan(1));
        // Nothing in view: both totals empty.
        t = sumPieceWork(cn, {day.addDays(-1), day.addDays(-1), {}, {}});
        QVERIFY(!t.pieces && !t.amount);
        t = sumPieceWork(cn, {QDate(2000, 1, 1), QDate(9999, 12, 31), {}, 9});
        QVERIFY(!t.pieces && !t.amount);
    }
};

HX_BOTH_ENGINES;
QTEST_GUILESS_MAIN(TestJobTotals)
#include "tst_jobtotals.moc"
