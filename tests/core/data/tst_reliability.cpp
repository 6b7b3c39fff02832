#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <QtTest>
#include <thread>

#include "core/data/connection.h"
#include "core/data/money.h"
#include "core/data/sqlite/sqlitedatabase.h"
#include "core/payroll/generation.h"
#include "core/statistics/analysequeries.h"
#include "support/coresupport.h"

using hx::Connection;
using hx::DbError;

namespace {

// What a user must never read: the engine's English or a statement.
bool looksRaw(const QString& message) {
    static const QRegularExpression english(
        QStringLiteral("constraint|failed|readonly|attempt|database|syntax|insert|update|select|no such"),
        QRegularExpression::CaseInsensitiveOption);
    return message.contains(english);
}

QString errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const hx::Error& e) {
        return e.message();
    }
    return QString();
}

}  // namespace

// Faults a hostile but realistic user runs into: database errors in Chinese, read-only files and
// folders, runaway free queries, and amounts too large for any pay.
class TestReliability : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::TempProgramDir> dir;
    QString mdb;

  private slots:
    void init() {
        dir = std::make_unique<hxtest::TempProgramDir>();
        mdb = dir->createAccountSet(QStringLiteral("厂"));
    }
    void cleanup() { dir.reset(); }

    void databaseErrorsReadAsChinese() {
        Connection cn;
        cn.open(mdb);
        const QString tooLong = errorOf([&] {
            cn.exec(QStringLiteral("insert into salary (year, month, ItemCode, expression) values (2025, 1, "
                                   "'C01', ?)"),
                    {QString(256, QLatin1Char('1'))});
        });
        QCOMPARE(tooLong, QStringLiteral("内容太长：最多255个字符，没有保存。"));
        cn.exec(QStringLiteral("insert into staff (StaffCode, StaffName) values ('001', 'a')"));
        const QString twice = errorOf(
            [&] { cn.exec(QStringLiteral("insert into staff (StaffCode, StaffName) values ('001', 'b')")); });
        QCOMPARE(twice, QStringLiteral("与已有的记录重复，没有保存。"));
        const QString missing = errorOf([&] { cn.scalar(QStringLiteral("select nosuch from staff")); });
        QCOMPARE(missing, QStringLiteral("语句有错误：没有“nosuch”这一列。"));
        const QString table = errorOf([&] { cn.scalar(QStringLiteral("select * from 员工表")); });
        QCOMPARE(table, QStringLiteral("语句有错误：没有“员工表”这个表。"));
        const QString two =
            errorOf([&] { cn.exec(QStringLiteral("update staff set Firedd = 0; delete from staff")); });
        for (const QString& m :
             {tooLong, twice, missing, table, two, errorOf([&] { cn.scalar(QStringLiteral("selec 1")); }),
              errorOf([&] { cn.exec(QStringLiteral("delete from wCodeName")); })})
            QVERIFY2(!m.isEmpty() && !looksRaw(m), qPrintable(m));
        // The schema's own Chinese text passes as it is.
        QCOMPARE(errorOf([&] { cn.exec(QStringLiteral("delete from wCodeName")); }),
                 QStringLiteral("工号姓名宽度表只能有一行"));
        // Every engine code gets a Chinese text.
        for (int code :
             {SQLITE_READONLY_DIRECTORY, SQLITE_BUSY, SQLITE_FULL, SQLITE_IOERR_WRITE, SQLITE_CORRUPT,
              SQLITE_CANTOPEN, SQLITE_NOMEM, SQLITE_INTERRUPT, SQLITE_CONSTRAINT_CHECK, SQLITE_ERROR}) {
            const QString m =
                hx::chineseDbMessage(code, QStringLiteral("attempt to write a readonly database"));
            QVERIFY2(!looksRaw(m), qPrintable(m));
        }
    }

    void aReadOnlyConnectionIsDetectedAndSaysSoInChinese() {
        Connection cn;
        cn.open(mdb, Connection::Access::ReadOnly);
        QVERIFY(cn.isReadOnly());
        QVERIFY(!cn.writable());
        const QString m = errorOf([&] { cn.exec(QStringLiteral("update wCodeName set wCode = 3")); });
        QVERIFY2(m.contains(QStringLiteral("只读")) && !looksRaw(m), qPrintable(m));
        Connection rw;
        rw.open(mdb);
        QVERIFY(!rw.isReadOnly());
        QVERIFY(rw.writable());
        QCOMPARE(rw.scalar(QStringLiteral("select wCode from wCodeName")).toInt(),
                 12);  // the probe wrote nothing
    }

    // A folder the user may not write to: the engine opens the file but cannot make its journal. Root
    // ignores permission bits, so as root the check runs in a child process that has become "nobody".
    void aReadOnlyFolderIsDetected() {
        const QByteArray base = QFile::encodeName(QDir::tempPath()) + "/hxro-XXXXXX";
        QByteArray folder = base;
        QVERIFY(::mkdtemp(folder.data()));
        const QString path = QFile::decodeName(folder) + QStringLiteral("/厂.mdb");
        QVERIFY(QFile::copy(mdb, path));
        ::chmod(QFile::encodeName(path).constData(), 0666);
        ::chmod(folder.constData(), 0555);
        const auto removeFolder = qScopeGuard([&] {
            ::chmod(folder.constData(), 0755);
            QDir(QFile::decodeName(folder)).removeRecursively();
        });
        // 0: not writable and a Chinese refusal; 1: writable; 2: no refusal; 3: could not drop rights.
        const auto check = [&path]() -> int {
            try {
                Connection cn;
                cn.open(path);
                if (cn.writable()) return 1;
                try {
                    cn.exec(QStringLiteral("update wCodeName set wCode = 3"));
                    return 2;
                } catch (const DbError& e) {
                    return e.message().contains(QStringLiteral("只读")) ? 0 : 2;
                }
            } catch (...) {
                return 4;
            }
        };
        int result = 0;
        if (::geteuid() != 0) {
            result = check();
        } else {
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
                ::_exit(check());
            }
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status));
            result = WEXITSTATUS(status);
            if (result == 3)
                QSKIP("runs as root and cannot become another user to honour the folder's rights");
        }
        QCOMPARE(result, 0);
    }

    void moneyNeverWraps() {
        const hx::Money rate = *hx::Money::parse(QStringLiteral("0.2165"));
        QVERIFY_THROWS_EXCEPTION(hx::MoneyOverflowError, rate * 9999999999999999LL);
        // At the bound a piece count may reach, the product is exact.
        QCOMPARE((rate * 1000000).toString(2), QStringLiteral("216500.00"));
        const hx::Money big = hx::Money::fromUnits(std::numeric_limits<qint64>::max() - 5);
        QVERIFY_THROWS_EXCEPTION(hx::MoneyOverflowError, big + hx::Money::fromUnits(6));
        QCOMPARE((big + hx::Money::fromUnits(5)).units(), std::numeric_limits<qint64>::max());
        QVERIFY_THROWS_EXCEPTION(hx::MoneyOverflowError, -big - hx::Money::fromUnits(10));
        hx::Money sum = big;
        QVERIFY_THROWS_EXCEPTION(hx::MoneyOverflowError, sum += big);
        QCOMPARE(sum, big);  // unchanged by the refused sum
        QVERIFY_THROWS_EXCEPTION(hx::MoneyOverflowError, hx::Money::fromDouble(1e20));
        QVERIFY_THROWS_EXCEPTION(hx::MoneyOverflowError,
                                 hx::Money::fromYuan(std::numeric_limits<qint64>::max() / 100));
    }

    void generationNamesTheWorkerWhosePayOverflows() {
        Connection cn;
        cn.open(mdb);
        cn.exec(
            QStringLiteral("insert into staff (StaffCode, StaffName, salaryDay) values ('007', '张三', 5)"));
        cn.exec(QStringLiteral("insert into job (JobCode, UnitPrice) values ('J1', 0.2165)"));
        // Stored before piece counts were bounded.
        cn.exec(
            QStringLiteral("insert into JobData (dateD, staffID, jobID, qty) values ('2025-03-03', 1, 1, "
                           "9999999999999999)"));
        cn.exec(
            QStringLiteral("insert into salary select 2025, 3, ItemCode, ItemName, expression, printWidth "
                           "from salary where year = 2003"));
        const QString m = errorOf([&] {
            hx::generateSalarySheet(cn, {2025, 3, 5}, QDate(2025, 3, 1), QDate(2025, 3, 31));
        });
        QVERIFY2(m.contains(QStringLiteral("超出范围")) && m.contains(QStringLiteral("007")) &&
                     m.contains(QStringLiteral("张三")),
                 qPrintable(m));
        QCOMPARE(cn.scalar(QStringLiteral("select count(*) from salaryData")).toInt(), 0);
    }

    void aRunawayFreeQueryEndsSoonAfterCancel() {
        Connection cn;
        cn.open(mdb);
        for (int i = 0; i < 40; ++i)
            cn.exec(QStringLiteral(
                        "insert into JobData (dateD, staffID, jobID, qty) values ('2025-03-03', ?, 1, 1)"),
                    {i});
        hx::FreeQuery query(hx::accountSetAt(mdb),
                            QStringLiteral("select count(*) from JobData a, JobData b, JobData c, JobData d, "
                                           "JobData e, JobData f"));
        hx::FreeQueryResult result;
        std::thread worker([&] { result = query.run(); });
        QTest::qWait(300);
        // Uncancelled, the statement would run for hours: the join returns only because the cancel stopped
        // it.
        query.cancel();
        worker.join();
        QVERIFY(result.cancelled);
        QVERIFY(result.rows.empty());
    }

    void anEndlessFreeQueryStopsAtTheRowLimit() {
        hx::FreeQuery query(hx::accountSetAt(mdb),
                            QStringLiteral("with recursive r(n) as (select 1 union all select n + 1 from r)\n"
                                           "select n from r"),
                            1000);
        const hx::FreeQueryResult result = query.run();
        QVERIFY(result.error.isEmpty());
        QVERIFY(result.truncated);
        QCOMPARE(int(result.rows.size()), 1000);
        QCOMPARE(result.rows.back().at(0).toLongLong(), 1000);
        QVERIFY(hx::freeQueryTruncatedMessage(1000).contains(QStringLiteral("1000")));
        // A failed query gives a Chinese reason and no columns.
        const hx::FreeQueryResult failed =
            hx::FreeQuery(hx::accountSetAt(mdb), QStringLiteral("select nosuch from staff")).run();
        QCOMPARE(failed.error, QStringLiteral("语句有错误：没有“nosuch”这一列。"));
        QVERIFY(failed.fields.isEmpty());
    }

    // A result too large to hold says so as a query: it saved nothing. A text too long for a
    // cell is shown cut, and said so; printf beyond what the engine builds gives Null (the engine's own
    // answer), never gigabytes. The same engine error of a write keeps saying what was not saved.
    void anOversizedFreeQueryResultIsRefusedAsAQuery_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("outcome");
        const QString rows = QStringLiteral(
            "with recursive r(n) as (select 1 union all select n + 1 from r where n < 200000) ");
        QTest::newRow("zeroblob") << QStringLiteral("select zeroblob(2000000000)")
                                  << QStringLiteral("refused");
        QTest::newRow("randomblob") << QStringLiteral("select randomblob(1500000000)")
                                    << QStringLiteral("refused");
        QTest::newRow("blob of a gigabyte")
            << QStringLiteral("select randomblob(999000000)") << QStringLiteral("refused");
        QTest::newRow("many long texts")
            << rows + QStringLiteral("select hex(zeroblob(500)), hex(zeroblob(500)) from r")
            << QStringLiteral("refused");
        QTest::newRow("blobs after a number")
            << rows + QStringLiteral("select case n when 1 then 1 else zeroblob(1000000) end from r")
            << QStringLiteral("refused");
        QTest::newRow("printf") << QStringLiteral("select printf('%.*c', 20000000, 'x')")
                                << QStringLiteral("null");
        QTest::newRow("long text") << QStringLiteral("select hex(zeroblob(8000000))")
                                   << QStringLiteral("cut");
    }
    void anOversizedFreeQueryResultIsRefusedAsAQuery() {
        QFETCH(QString, sql);
        QFETCH(QString, outcome);
        const hx::FreeQueryResult result = hx::FreeQuery(hx::accountSetAt(mdb), sql).run();
        if (outcome == QLatin1String("refused") || !result.error.isEmpty()) {
            QCOMPARE(result.error, hx::queryTooLargeMessage());
            QVERIFY(result.rows.empty());
        } else {
            QCOMPARE(int(result.rows.size()), 1);
            const QVariant value = result.rows.front().at(0);
            QCOMPARE(value.isNull(), outcome == QLatin1String("null"));
            QCOMPARE(result.valuesCut, outcome == QLatin1String("cut"));
            if (result.valuesCut)
                QCOMPARE(value.toString(), QString(hx::freeQueryCellCharacters, QLatin1Char('0')));
        }
        Connection cn;
        cn.open(mdb);
        QCOMPARE(errorOf([&] {
                     cn.exec(QStringLiteral(
                         "insert into staff (StaffCode, StaffName) values ('1', zeroblob(2000000000))"));
                 }),
                 QStringLiteral("内容太长，没有保存。"));
    }
};

QTEST_GUILESS_MAIN(TestReliability)
#include "tst_reliability.moc"
