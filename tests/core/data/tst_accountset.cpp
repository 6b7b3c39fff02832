#include <QCryptographicHash>
#include <QFile>
#include <QtTest>

#include "core/data/accountset.h"
#include "core/data/connection.h"
#include "core/data/schema.h"
#include "support/coresupport.h"

using hx::Connection;

// Backup and restore of an open account set: what is refused, what is kept, and that another connection
// to the same file (another copy of the program) goes on working through both.
class TestAccountSet : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::TempProgramDir> dir;
    QString mdb;
    const QDate day{2025, 3, 10};

    static QByteArray sha256(const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return QByteArray();
        return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    }
    static int workers(Connection& cn) {
        return cn.scalar(QStringLiteral("select count(*) from staff")).toInt();
    }
    static void addWorker(Connection& cn, const QString& code) {
        cn.exec(QStringLiteral("insert into staff (StaffCode, StaffName, salaryDay) values (?, ?, 1)"),
                {code, QStringLiteral("工人") + code});
    }
    // A database with the six tables of an account set under their names, but other columns.
    QString foreignFile(const QString& name, const QString& staffColumns) {
        const QString path = dir->file(name);
        QFile(path).open(QIODevice::WriteOnly);
        Connection cn;
        cn.open(path);
        cn.execScript(QStringLiteral("create table staff (%1);"
                                     "create table job (id integer, name text);"
                                     "create table JobData (a, b, c);"
                                     "create table salary (x);"
                                     "create table salaryData (y);"
                                     "create table wCodeName (z);"
                                     "insert into staff default values;")
                          .arg(staffColumns));
        return path;
    }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::TempProgramDir>();
        mdb = dir->createAccountSet(QStringLiteral("厂"));
    }
    void cleanup() { dir.reset(); }

    void recognisedByTablesAndColumns() {
        QVERIFY(hx::isAccountSet(mdb));
        QVERIFY(hx::accountSetProblem(mdb).isEmpty());
        // The right table names are not enough.
        const QString foreign = foreignFile(QStringLiteral("foreign.mdb"), QStringLiteral("a, b"));
        const QByteArray before = sha256(foreign);
        QVERIFY(!hx::isAccountSet(foreign));
        QVERIFY2(hx::accountSetProblem(foreign).contains(QStringLiteral("staff")),
                 qPrintable(hx::accountSetProblem(foreign)));
        QCOMPARE(sha256(foreign), before);  // only read
        // A column of the wrong kind, and one column too many.
        for (const QString& extra : {QStringLiteral(", Firedd2 YESNO"), QStringLiteral("")}) {
            const QString copy = dir->file(QStringLiteral("changed%1.mdb").arg(extra.size()));
            QVERIFY(QFile::copy(mdb, copy));
            Connection cn;
            cn.open(copy);
            if (extra.isEmpty()) {
                cn.execScript(
                    QStringLiteral("alter table job rename column UnitPrice to Price;"
                                   "alter table job add column UnitPrice VARCHAR(10);"));
            } else {
                cn.exec(QStringLiteral("alter table staff add column Firedd2 YESNO"));
            }
            cn.close();
            QVERIFY2(!hx::isAccountSet(copy), qPrintable(copy));
        }
    }

    void anEarlierVersionIsUpgraded() {
        // An account set of an earlier version: same tables and columns, without the daily-sums view and
        // an index.
        {
            Connection cn;
            cn.open(mdb);
            cn.execScript(QStringLiteral("drop view qryDataDay; drop index JobData_job_date;"));
        }
        QVERIFY(hx::isAccountSet(mdb));
        Connection cn;
        cn.open(mdb);
        hx::upgradeAccountSet(cn);
        QCOMPARE(cn.scalar(QStringLiteral("select count(*) from sqlite_master where name in "
                                          "('qryDataDay', 'JobData_job_date')"))
                     .toInt(),
                 2);
    }

    void aForeignFileIsRefusedUntouchedAndTheAccountSetStays() {
        Connection cn;
        cn.open(mdb);
        addWorker(cn, QStringLiteral("001"));
        const QString foreign = foreignFile(QStringLiteral("外来.mdb"), QStringLiteral("x, y, z"));
        const QByteArray foreignBefore = sha256(foreign);
        const QByteArray before = sha256(mdb);
        try {
            hx::restoreAccountSet(cn, mdb, foreign, day);
            QFAIL("a foreign file must be refused");
        } catch (const hx::Error& e) {
            QVERIFY2(e.message().contains(QStringLiteral("不是工资库文件，没有恢复")),
                     qPrintable(e.message()));
        }
        QCOMPARE(sha256(foreign), foreignBefore);
        QCOMPARE(sha256(mdb), before);
        QVERIFY(cn.isOpen());
        QCOMPARE(workers(cn), 1);
    }

    void aRestoreKeepsASafetyCopyAndASecondConnectionStaysValid() {
        Connection cn;
        cn.open(mdb);
        addWorker(cn, QStringLiteral("001"));
        const QString backup = hx::backupAccountSet(cn, mdb, QDate(2025, 3, 1));
        addWorker(cn, QStringLiteral("002"));
        // Another copy of the program with the account set open all the while.
        Connection other;
        other.open(mdb);
        QCOMPARE(workers(other), 2);

        const QString safety = hx::restoreAccountSet(cn, mdb, backup, day);
        QCOMPARE(safety, dir->file(QStringLiteral("厂2025-03-10恢复前.mdb")));
        // The safety copy holds the account set as it was before the restore.
        {
            Connection copy;
            copy.open(safety, Connection::Access::ReadOnly);
            QCOMPARE(workers(copy), 2);
        }
        QCOMPARE(workers(cn), 1);
        // The other connection reads the restored data and its writes land in the file.
        QCOMPARE(workers(other), 1);
        addWorker(other, QStringLiteral("003"));
        QCOMPARE(workers(cn), 2);
        other.close();
        cn.close();
        Connection fresh;
        fresh.open(mdb);
        QCOMPARE(workers(fresh), 2);
        QCOMPARE(fresh.scalar(QStringLiteral("pragma integrity_check")).toString(), QStringLiteral("ok"));

        // A second restore the same day keeps the first safety copy and numbers the next.
        const QString second = hx::restoreAccountSet(fresh, mdb, backup, day);
        QCOMPARE(second, dir->file(QStringLiteral("厂2025-03-10恢复前-2.mdb")));
        QVERIFY(QFile::exists(safety));
    }

    void aBackupCompactsInPlaceUnderASecondConnection() {
        Connection cn;
        cn.open(mdb);
        for (int i = 0; i < 200; ++i) addWorker(cn, QString::number(i));
        cn.exec(QStringLiteral("delete from staff where staffID > 5"));
        Connection other;
        other.open(mdb);
        QCOMPARE(workers(other), 5);
        const QString backup = hx::backupAccountSet(cn, mdb, day);
        QCOMPARE(backup, dir->file(QStringLiteral("厂2025-03-10.mdb")));
        QVERIFY(QFileInfo(mdb).size() < QFileInfo(backup).size());  // compacted
        addWorker(other, QStringLiteral("x"));
        QCOMPARE(workers(cn), 6);
        QCOMPARE(workers(other), 6);
    }

    void backupAndRestoreWaitForAWriterAndThenRefuse() {
        Connection cn;
        cn.open(mdb);
        addWorker(cn, QStringLiteral("001"));
        const QString backup = hx::backupAccountSet(cn, mdb, QDate(2025, 3, 1));
        // Another program in the middle of saving.
        Connection other;
        other.open(mdb);
        other.beginTransaction();
        addWorker(other, QStringLiteral("002"));
        const QByteArray before = sha256(mdb);
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                if (attempt == 0)
                    hx::restoreAccountSet(cn, mdb, backup, day);
                else
                    hx::backupAccountSet(cn, mdb, day);
                QFAIL("refused while another program writes");
            } catch (const hx::Error& e) {
                QVERIFY2(e.message().contains(QStringLiteral("正被另一个程序使用")), qPrintable(e.message()));
            }
            QVERIFY(!cn.inTransaction());
        }
        QCOMPARE(sha256(mdb), before);
        other.commit();
        QCOMPARE(workers(cn), 2);
    }
};

QTEST_GUILESS_MAIN(TestAccountSet)
#include "tst_accountset.moc"
