#include <QtTest>

#include "core/data/datamodule.h"
#include "core/data/myfuns_lists.h"
#include "core/data/queries.h"
#include "support/coresupport.h"

using namespace hx;

class TestLists : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::TempProgramDir> dir;
    std::unique_ptr<TdataFrm> dm;

    qint64 addWorker(const QString& code, const QString& name, int fired = 0, const QVariant& salaryDay = 5) {
        return dm->cnMain.insert(
            QStringLiteral("insert into staff (StaffCode, StaffName, salaryDay, Firedd) values (?, ?, ?, ?)"),
            {code, name, salaryDay, fired}, QStringLiteral("staffID"));
    }
    qint64 addJob(const QString& code, const QVariant& price, int stopped = 0) {
        return dm->cnMain.insert(
            QStringLiteral("insert into job (JobCode, UnitPrice, stopp) values (?, ?, ?)"),
            {code, price, stopped}, QStringLiteral("JobID"));
    }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::TempProgramDir>();
        dm = std::make_unique<TdataFrm>();
        dir->newAccountSet(QStringLiteral("t")).open(dm->cnMain);
        setDataFrm(dm.get());
    }
    void cleanup() {
        ClearCaches();
        setDataFrm(nullptr);
        dm.reset();
        dir.reset();
    }

    void firstColumnTextsKeepsTheQueryOrderAndLeavesTheScratchQueryClosed() {
        addWorker("002", "李四");
        addWorker("001", "张三");
        addWorker("003", "王五", -1);
        QCOMPARE(firstColumnTexts(currentWorkerTexts()),
                 (QStringList{QStringLiteral("001    张三"), QStringLiteral("002    李四")}));
        // Values of a previous user of the scratch query must not leak into the next statement.
        QCOMPARE(
            firstColumnTexts(Query(QStringLiteral("select StaffName from staff where StaffCode=?"), {"001"})),
            QStringList{QStringLiteral("张三")});
        QCOMPARE(
            firstColumnTexts(Query(QStringLiteral("select StaffName from staff where StaffCode='none'"))),
            QStringList());
        QVERIFY_THROWS_EXCEPTION(DbError,
                                 firstColumnTexts(Query(QStringLiteral("select nosuch from staff"))));
        QVERIFY(!dm->tdTempFill.isOpen());
    }

    // The drop-downs and pickers of the windows: workers in service and processes in production only, in
    // code order; a style or group limit keeps those of no style or group.
    void listsOfTheWindows() {
        auto& cn = dm->cnMain;
        cn.execScript(QStringLiteral(
            "insert into staff (StaffCode, StaffName, ClassGroup, Firedd) values ('002', '李四', '二组', 0), "
            "('001', '张三', '一组', 0), ('003', '王五', '', 0), ('004', '赵六', '一组', -1), "
            "('005', '钱七', '  ', 0);"
            "insert into job (JobCode, StyleGroup, UnitPrice, stopp) values ('B', 'T恤', 0.1, 0), "
            "('A', NULL, 0.2, 0), ('C', '衬衫', 0.3, 0), ('D', 'T恤', 0.4, -1);"));
        const auto column = [&](const Query& q, int c) {
            QStringList values;
            PreparedStatement rows(cn, q.sql, q.params);
            while (rows.next()) values << rows.text(c);
            return values;
        };
        QCOMPARE(firstColumnTexts(currentWorkerTexts()).size(), 4);
        QCOMPARE(firstColumnTexts(currentProcessCodes()), QStringList({"A", "B", "C"}));
        QCOMPARE(firstColumnTexts(processStyles()), QStringList({"T恤", "衬衫"}));
        QCOMPARE(firstColumnTexts(classGroups()), QStringList({"  ", "一组", "二组"}));
        QCOMPARE(firstColumnTexts(namedClassGroups()).size(), 2);
        QCOMPARE(column(processPicks(), 1), QStringList({"A", "B", "C"}));
        QCOMPARE(column(processPicks(QStringLiteral("T恤")), 1), QStringList({"A", "B"}));
        QCOMPARE(column(workerPicks(), 1).size(), 4);
        QCOMPARE(column(workerPicks(QStringLiteral("一组")), 1),
                 QStringList({"001     张三", "003     王五", "005     钱七"}));
        QCOMPARE(column(staffList(true), 2), QStringList({"004"}));
        QCOMPARE(column(processList(true), 1), QStringList({"D"}));
    }

    void getIdByCodeBindsTheValue() {
        const qint64 quoted = addWorker("O'1", "O'Neil");
        const qint64 plain = addWorker("001", "张三", 0, QVariant());
        QCOMPARE(GetIDByCode("staff", "staffID", "staffCode", QStringLiteral("O'1")), int(quoted));
        QCOMPARE(GetIDByCode("staff", "staffID", "StaffCode", QStringLiteral("001")), int(plain));
        QCOMPARE(GetIDByCode("staff", "staffID", "StaffCode", QStringLiteral("999")), 0);
        QCOMPARE(GetIDByCode("staff", "staffID", "StaffCode", QString()), 0);
        // A value built to widen the condition is only ever a code that nobody has.
        QCOMPARE(GetIDByCode("staff", "staffID", "StaffCode", QStringLiteral("x' or '1'='1")), 0);
        QCOMPARE(GetIDByCode("staff", "staffID", "StaffCode", QStringLiteral("x\" or \"1\"=\"1")), 0);
        // The row exists but the column read is empty.
        QCOMPARE(GetIDByCode("staff", "salaryDay", "StaffCode", QStringLiteral("001")), 0);
        QCOMPARE(GetIDByCode("staff", "salaryDay", "StaffCode", QStringLiteral("O'1")), 5);
        QVERIFY(!dm->tdTempFill.isOpen());
        // The next user of the scratch query may set a statement without values.
        QVERIFY(dm->tdTempFill.params().isEmpty());
    }

    void getIdByCodeRefusesNamesThatAreNotPlain() {
        addWorker("001", "张三");
        QVERIFY_THROWS_EXCEPTION(DbError,
                                 GetIDByCode("staff", "staffID", "1=1 or StaffCode", QStringLiteral("x")));
        QVERIFY_THROWS_EXCEPTION(
            DbError, GetIDByCode("staff; delete from staff", "staffID", "StaffCode", QStringLiteral("x")));
        QCOMPARE(dm->cnMain.scalar("select count(*) from staff").toInt(), 1);
    }

    void cutToWidthCountsChineseAsTwo() {
        QCOMPARE(cutToWidth(QStringLiteral("abc"), 3), QStringLiteral("abc"));
        QCOMPARE(cutToWidth(QStringLiteral("abcd"), 3), QStringLiteral("abc"));
        QCOMPARE(cutToWidth(QStringLiteral("a王b"), 3), QStringLiteral("a王"));
        QCOMPARE(cutToWidth(QStringLiteral("ab王"), 3), QStringLiteral("ab"));
        QCOMPARE(cutToWidth(QString::fromUtf8("ab\xF0\x9F\x98\x80"), 3), QStringLiteral("ab"));
        QCOMPARE(cutToWidth(QString::fromUtf8("ab\xF0\x9F\x98\x80"), 4),
                 QString::fromUtf8("ab\xF0\x9F\x98\x80"));
        QCOMPARE(cutToWidth(QString(), 20), QString());
    }

    void staffCacheHoldsEveryWorkerWithCodeAndName() {
        const qint64 a = addWorker("001", "张三");
        const qint64 fired = addWorker("002", "李四", -1);
        const qint64 longOdd = addWorker("012345678", "王小明");
        const qint64 longEven = addWorker("0123456789", "王小明");
        LoadStaffCache();

        DataSet& cache = dm->cdsMstaff;
        QVERIFY(cache.isOpen());
        QCOMPARE(cache.recordCount(), 4);
        QCOMPARE(cache.fields()[0].name, QStringLiteral("staffID"));
        QCOMPARE(cache.fields()[0].type, FieldType::Integer);
        QCOMPARE(cache.field(1).name, QStringLiteral("staffCode"));
        QVERIFY(cache.locate("staffID", a));
        QCOMPARE(cache.asString("staffCode"), QStringLiteral("001      张三"));
        QVERIFY2(cache.locate("staffID", fired), "dismissed workers are in the cache");
        QCOMPARE(staffCodeOf(int(longOdd)), QStringLiteral("012345678      王小"));
        QCOMPARE(staffCodeOf(int(longEven)), QStringLiteral("0123456789      王小"));
        QVERIFY(cache.locate("staffID", longEven));
        QCOMPARE(cache.asString("staffCode"), staffCodeOf(int(longEven)));
        QCOMPARE(staffCodeOf(int(a)), QStringLiteral("001      张三"));
        QCOMPARE(staffCodeOf(0), QString());
        QCOMPARE(staffCodeOf(99999), QString());
        QVERIFY(!dm->tdTempFill.isOpen());
    }

    void jobCacheHoldsEveryProcessWithItsPrice() {
        const qint64 a = addJob("J01", 0.1234);
        const qint64 finished = addJob("J02", 2, -1);
        const qint64 noPrice = addJob("J03", QVariant());
        const QString wide = QString(20, QChar(0x5DE5));  // twenty Chinese characters: forty places
        const qint64 wideJob = addJob(wide, 1);
        LoadJobCache();

        DataSet& cache = dm->cdsMjob;
        QCOMPARE(cache.recordCount(), 4);
        QCOMPARE(cache.field("unitPrice").type, FieldType::Money);
        QVERIFY(cache.locate("jobID", a));
        QCOMPARE(cache.asMoney("unitPrice"), Money::fromUnits(1234));
        QCOMPARE(jobCodeOf(int(a)), QStringLiteral("J01"));
        QCOMPARE(unitPriceOf(int(a)), std::optional<Money>(Money::fromUnits(1234)));
        QCOMPARE(unitPriceOf(int(finished)), std::optional<Money>(Money::fromYuan(2)));
        QVERIFY(!unitPriceOf(int(noPrice)).has_value());
        QVERIFY(unitPriceValue(noPrice).isNull());
        QCOMPARE(unitPriceValue(a).value<Money>(), Money::fromUnits(1234));
        QVERIFY(unitPriceValue(QVariant()).isNull());
        QCOMPARE(jobCodeOf(int(wideJob)), wide.left(15));
        QVERIFY(!unitPriceOf(12345).has_value());
        QCOMPARE(jobCodeOf(12345), QString());
    }

    void cachesAreSnapshotsUntilReloadedAndGoneWhenCleared() {
        const qint64 job = addJob("J01", 1);
        const qint64 worker = addWorker("001", "张三");
        LoadJobCache();
        LoadStaffCache();
        // A repriced or added process is not seen until the caches are loaded again.
        dm->cnMain.exec("update job set UnitPrice=3 where JobID=?", {job});
        const qint64 later = addJob("J02", 4);
        QCOMPARE(unitPriceOf(int(job)), std::optional<Money>(Money::fromYuan(1)));
        QVERIFY(!unitPriceOf(int(later)).has_value());
        LoadJobCache();
        QCOMPARE(dm->cdsMjob.recordCount(), 2);
        QCOMPARE(unitPriceOf(int(job)), std::optional<Money>(Money::fromYuan(3)));
        QCOMPARE(unitPriceOf(int(later)), std::optional<Money>(Money::fromYuan(4)));

        // The piece-work window may empty a cache by closing it; the lookups follow.
        dm->cdsMstaff.close();
        QCOMPARE(staffCodeOf(int(worker)), QString());
        QCOMPARE(jobCodeOf(int(job)), QStringLiteral("J01"));
        ClearCaches();
        QVERIFY(!dm->cdsMjob.isOpen());
        QCOMPARE(jobCodeOf(int(job)), QString());
        QVERIFY(!unitPriceOf(int(job)).has_value());
    }

    void emptyTablesGiveOpenEmptyCaches() {
        LoadStaffCache();
        LoadJobCache();
        QVERIFY(dm->cdsMstaff.isOpen());
        QVERIFY(dm->cdsMstaff.isEmpty());
        QVERIFY(dm->cdsMjob.isOpen());
        QVERIFY(dm->cdsMjob.isEmpty());
    }
};

HX_BOTH_ENGINES;
QTEST_GUILESS_MAIN(TestLists)
#include "tst_lists.moc"
