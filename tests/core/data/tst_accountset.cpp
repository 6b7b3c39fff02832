#include <sys/resource.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>
#include <csignal>

#include "core/data/accountset.h"
#include "core/data/connection.h"
#include "core/data/myfuns.h"
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

    // The message of what `f` raised, which must be Chinese only (file names in quotes aside).
    template <typename F>
    static QString chineseError(F&& f) {
        try {
            f();
        } catch (const hx::Error& e) {
            QString bare = e.message();
            bare.remove(QRegularExpression(QStringLiteral("“[^”]*”")));
            if (bare.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))))
                return QStringLiteral("英文：") + e.message();
            return e.message();
        }
        return QStringLiteral("没有报错");
    }
    QStringList filesOfTheFolder() const {
        QStringList files = QDir(dir->path()).entryList(QDir::Files | QDir::Hidden);
        files.removeAll(QStringLiteral("sysunit.dll"));
        files.removeAll(QStringLiteral("mlcp.dll"));
        return files;
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

    // The store of a folder: its account sets by name, new ones from the template, never over an
    // existing one, and opened only when they are account sets.
    void aFolderStoreListsCreatesAndOpensByName() {
        hx::FileAccountSetStore store(dir->path());
        {
            Connection cn;
            cn.open(mdb);
            hx::accountSetAt(mdb).backup(cn, day);
            addWorker(cn, QStringLiteral("001"));
        }
        QVERIFY(store.isValidTitle(QStringLiteral("O'Neil 二〇二五")) &&
                !store.isValidTitle(QStringLiteral("a/b")));
        const QString name = store.nameFor(QStringLiteral("乙"));
        QCOMPARE(name, QStringLiteral("乙.mdb"));
        QVERIFY(!store.contains(name));
        store.create(name);
        QVERIFY(hx::isAccountSet(dir->file(name)));
        // An account set before its backups, as the login lists them.
        QCOMPARE(store.list(), (QStringList{QStringLiteral("乙.mdb"), QStringLiteral("厂.mdb"),
                                            QStringLiteral("厂2025-03-10.mdb")}));
        const QByteArray before = sha256(mdb);
        const QString refused = chineseError([&] { store.create(QStringLiteral("厂.mdb")); });
        QCOMPARE(refused, QStringLiteral("工资库“厂.mdb”已经存在，不能覆盖。请换一个名称。"));
        QCOMPARE(sha256(mdb), before);
        // Nor through a link that points nowhere: the new file would land wherever it points.
        QVERIFY(QFile::link(dir->file(QStringLiteral("无/戊.mdb")), dir->file(QStringLiteral("戊.mdb"))));
        QVERIFY(store.contains(QStringLiteral("戊.mdb")));
        QVERIFY_THROWS_EXCEPTION(hx::FileError, store.create(QStringLiteral("戊.mdb")));

        const hx::AccountSet set(QStringLiteral("厂.mdb"),
                                 std::make_shared<hx::FileAccountSetStore>(dir->path()));
        QCOMPARE(set.location(), mdb);
        QCOMPARE(set.backupFolder(), QFileInfo(mdb).absolutePath());
        Connection cn;
        QCOMPARE(set.open(cn), QString());
        QCOMPARE(cn.path(), mdb);
        QCOMPARE(workers(cn), 1);
        // A connection for reading only cannot write, whatever is tried through it.
        Connection reader;
        set.openReadOnly(reader);
        QCOMPARE(workers(reader), 1);
        QVERIFY_THROWS_EXCEPTION(hx::DbError, addWorker(reader, QStringLiteral("002")));
        // A foreign file is refused and left closed; so is an account set of no store.
        foreignFile(QStringLiteral("外来.mdb"), QStringLiteral("x"));
        const QString foreign = chineseError([&] { store.open(QStringLiteral("外来.mdb"), cn); });
        QVERIFY2(foreign.contains(QStringLiteral("不是工资库文件")) &&
                     foreign.endsWith(QStringLiteral("没有打开。")),
                 qPrintable(foreign));
        QVERIFY(!cn.isOpen());
        QCOMPARE(chineseError([&] { hx::AccountSet().openReadOnly(cn); }),
                 QStringLiteral("工资库没有打开。"));
        // One file under two names is opened for reading only, with the reason.
        QCOMPARE(::link(QFile::encodeName(mdb).constData(),
                        QFile::encodeName(dir->file(QStringLiteral("丁.mdb"))).constData()),
                 0);
        QVERIFY(set.open(cn).contains(QStringLiteral("2 个硬链接")));
        QVERIFY(cn.isReadOnly());
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
        // Opening it brings it up to date.
        Connection cn;
        QCOMPARE(hx::accountSetAt(mdb).open(cn), QString());
        QCOMPARE(
            hxtest::schemaObjectCount(cn, {QStringLiteral("qryDataDay"), QStringLiteral("JobData_job_date")}),
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
            hx::accountSetAt(mdb).restore(cn, foreign, day);
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
        const QString backup = hx::accountSetAt(mdb).backup(cn, QDate(2025, 3, 1));
        addWorker(cn, QStringLiteral("002"));
        // Another copy of the program with the account set open all the while.
        Connection other;
        other.open(mdb);
        QCOMPARE(workers(other), 2);

        const QString safety = hx::accountSetAt(mdb).restore(cn, backup, day);
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
        QVERIFY(hxtest::passesIntegrityCheck(fresh));

        // A second restore the same day keeps the first safety copy and numbers the next.
        const QString second = hx::accountSetAt(mdb).restore(fresh, backup, day);
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
        const QString backup = hx::accountSetAt(mdb).backup(cn, day);
        QCOMPARE(backup, dir->file(QStringLiteral("厂2025-03-10.mdb")));
        QVERIFY(QFileInfo(mdb).size() < QFileInfo(backup).size());  // compacted
        addWorker(other, QStringLiteral("x"));
        QCOMPARE(workers(cn), 6);
        QCOMPARE(workers(other), 6);
    }

    // A second backup of the day that cannot be written whole (here the process may write no file
    // beyond 16 KB, as a full disk refuses the next block) keeps the first one byte for byte.
    void aFailedSecondBackupKeepsTheFirst() {
        Connection cn;
        cn.open(mdb);
        addWorker(cn, QStringLiteral("001"));
        const QString backup = hx::accountSetAt(mdb).backup(cn, day);
        const QByteArray first = sha256(backup);
        addWorker(cn, QStringLiteral("002"));
        const QByteArray before = sha256(mdb);
        rlimit limit{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &limit), 0);
        const rlimit small{16384, limit.rlim_max};
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        const QString message = chineseError([&] { hx::accountSetAt(mdb).backup(cn, day); });
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY2(message.startsWith(QStringLiteral("备份没有完成：")) &&
                     message.contains(QStringLiteral("文件超过了系统允许的大小")) &&
                     message.contains(QStringLiteral("原来的“厂2025-03-10.mdb”保持不变")),
                 qPrintable(message));
        QCOMPARE(sha256(backup), first);
        QCOMPARE(sha256(mdb), before);
        QCOMPARE(filesOfTheFolder(),
                 (QStringList{QStringLiteral("厂.mdb"), QStringLiteral("厂2025-03-10.mdb")}));
        QVERIFY(!cn.inTransaction());
        hx::accountSetAt(mdb).backup(cn, day);
        Connection copy;
        copy.open(backup, Connection::Access::ReadOnly);
        QCOMPARE(workers(copy), 2);
    }

    // Temporary copies a killed backup or restore left: never listed, and removed by the next backup,
    // those of other account sets kept.
    void leftoversOfCutOffCopiesAreRemovedByTheNextBackup() {
        const QStringList ours{QStringLiteral("厂2025-03-09.mdb.tmp"),
                               QStringLiteral("厂2025-03-10恢复前-2.mdb.tmp")};
        const QString others = QStringLiteral("厂二2025-03-09.mdb.tmp");
        for (const QString& name : ours + QStringList{others}) {
            QFile f(dir->file(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
        }
        QCOMPARE(hx::matchingFiles(dir->file(QStringLiteral("*.mdb"))),
                 QStringList{QStringLiteral("厂.mdb")});
        Connection cn;
        cn.open(mdb);
        hx::accountSetAt(mdb).backup(cn, day);
        QCOMPARE(filesOfTheFolder(),
                 (QStringList{QStringLiteral("厂.mdb"), QStringLiteral("厂2025-03-10.mdb"), others}));
    }

    // A safety copy that cannot be written stops the restore before anything changed.
    void aRestoreWithoutItsSafetyCopyIsRefused() {
        Connection cn;
        cn.open(mdb);
        const QString backup = hx::accountSetAt(mdb).backup(cn, QDate(2025, 3, 1));
        addWorker(cn, QStringLiteral("001"));
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("厂2025-03-10恢复前.mdb.tmp")));
        const QByteArray before = sha256(mdb);
        const QString message = chineseError([&] { hx::accountSetAt(mdb).restore(cn, backup, day); });
        QVERIFY2(message.startsWith(QStringLiteral("恢复前的工资库没能另存：")) &&
                     message.contains(QStringLiteral("没有恢复，工资库没有改动")),
                 qPrintable(message));
        QCOMPARE(sha256(mdb), before);
        QCOMPARE(workers(cn), 1);
        QVERIFY(!QFile::exists(dir->file(QStringLiteral("厂2025-03-10恢复前.mdb"))));
    }

    // One file under two names: a write cut off through one leaves its journal beside that name only.
    // Backup and restore refuse it; a symbolic link is one file under one name and is fine.
    void aHardLinkedAccountSetIsRefusedForBackupAndRestore() {
        const QString other = dir->file(QStringLiteral("乙/厂.mdb"));
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("乙")));
        QCOMPARE(::link(QFile::encodeName(mdb).constData(), QFile::encodeName(other).constData()), 0);
        const QString symlink = dir->file(QStringLiteral("丙.mdb"));
        QVERIFY(QFile::link(mdb, symlink));
        QVERIFY(hx::hardLinkProblem(symlink).contains(QStringLiteral("2 个硬链接")));
        Connection cn;
        cn.open(other);
        addWorker(cn, QStringLiteral("001"));
        const QByteArray before = sha256(mdb);
        for (const QString& path : {mdb, other}) {
            const QString backup = chineseError([&] { hx::accountSetAt(path).backup(cn, day); });
            QVERIFY2(backup.contains(QStringLiteral("硬链接")) &&
                         backup.contains(QStringLiteral("符号链接")) &&
                         backup.endsWith(QStringLiteral("没有备份。")),
                     qPrintable(backup));
            const QString restore = chineseError([&] { hx::accountSetAt(path).restore(cn, mdb, day); });
            QVERIFY2(
                restore.contains(QStringLiteral("硬链接")) && restore.endsWith(QStringLiteral("没有恢复。")),
                qPrintable(restore));
        }
        QCOMPARE(sha256(mdb), before);
        QCOMPARE(filesOfTheFolder(), (QStringList{QStringLiteral("丙.mdb"), QStringLiteral("厂.mdb")}));
        QVERIFY(QFile::remove(other));
        QVERIFY(hx::hardLinkProblem(mdb).isEmpty());
        QVERIFY(hx::hardLinkProblem(symlink).isEmpty());
        cn.open(symlink);
        QCOMPARE(hx::accountSetAt(symlink).backup(cn, day), dir->file(QStringLiteral("丙2025-03-10.mdb")));
    }

    void backupAndRestoreWaitForAWriterAndThenRefuse() {
        Connection cn;
        cn.open(mdb);
        addWorker(cn, QStringLiteral("001"));
        const QString backup = hx::accountSetAt(mdb).backup(cn, QDate(2025, 3, 1));
        // Another program in the middle of saving.
        Connection other;
        other.open(mdb);
        other.beginTransaction();
        addWorker(other, QStringLiteral("002"));
        const QByteArray before = sha256(mdb);
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                if (attempt == 0)
                    hx::accountSetAt(mdb).restore(cn, backup, day);
                else
                    hx::accountSetAt(mdb).backup(cn, day);
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
