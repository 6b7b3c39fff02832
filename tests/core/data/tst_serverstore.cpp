#include <QRandomGenerator>
#include <QtTest>
#include <mutex>
#include <thread>

#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/data/password.h"
#include "core/data/postgres/postgresdatabase.h"
#include "core/data/postgres/servers.h"
#include "core/data/postgres/serverstore.h"
#include "core/data/schema.h"
#include "support/coresupport.h"

using hx::Connection;
using hx::PreparedStatement;

// Account sets on a PostgreSQL server: the server engine behind the same connection as a file, and the
// store that creates, opens, backs up and restores them. The server is the one HEXIU_TEST_PG names
// (scripts/with-postgres.sh starts one of its own for the test command).
class TestServerStore : public QObject {
    Q_OBJECT

    QString server;
    std::unique_ptr<hxtest::TempProgramDir> dir;
    std::unique_ptr<hx::ServerAccountSetStore> store;
    QStringList made;

    // A new account set on the server, dropped again when the test ends.
    QString newSet() {
        const QString name = QStringLiteral("测试%1").arg(QRandomGenerator::global()->bounded(1u << 30));
        store->create(name);
        made << name;
        return name;
    }

    static void addRecords(Connection& cn) {
        cn.exec(QStringLiteral(
            "insert into staff (StaffCode, StaffName, ClassGroup, LevelSalary, salaryDay, A02) "
            "values ('0001', '张三', '车缝', 2300.5, 15, 120), ('0002', '李四', '', 0, 15, 0)"));
        cn.exec(
            QStringLiteral("insert into job (JobCode, Description, StyleGroup, UnitPrice, stopp) "
                           "values ('A01', '上领', 'K1', 0.3333, 0), ('A02', NULL, NULL, 1.2, -1)"));
        cn.exec(QStringLiteral(
                    "insert into JobData (dateD, staffID, jobID, qty) values (?, 1, 1, 30), (?, 1, 2, 7), "
                    "(?, 2, 1, 12)"),
                {QStringLiteral("2026-11-02"), QStringLiteral("2026-11-02"), QStringLiteral("2026-11-03")});
        cn.exec(QStringLiteral(
            "insert into salaryData (Year, Month, salaryDay, staffCode, staffName, A01, B01, T01) "
            "values (2026, 11, 15, '0001', '张三', 12.3456, 26, '备注')"));
        cn.exec(QStringLiteral("update wCodeName set wCode = 10, wName = 16"));
    }

    // Every row of a table in key order, each value as the program reads it: equal texts, equal rows,
    // whatever the engine.
    static QStringList rowsOf(Connection& cn, const QString& table, const QString& order) {
        PreparedStatement q(cn, QStringLiteral("select * from %1 order by %2").arg(table, order));
        QStringList rows;
        while (q.next()) {
            QStringList values;
            for (int c = 0; c < q.columnCount(); ++c)
                values << (q.isNull(c) ? QStringLiteral("NULL") : q.value(c).toString());
            rows << values.join(QLatin1Char('|'));
        }
        return rows;
    }
    static QStringList everyRow(Connection& cn) {
        return rowsOf(cn, QStringLiteral("staff"), QStringLiteral("staffID")) +
               rowsOf(cn, QStringLiteral("job"), QStringLiteral("JobID")) +
               rowsOf(cn, QStringLiteral("JobData"), QStringLiteral("dateD, staffID, jobID, qty")) +
               rowsOf(cn, QStringLiteral("salary"), QStringLiteral("year, month, ItemCode")) +
               rowsOf(cn, QStringLiteral("salaryData"), QStringLiteral("Year, Month, salaryDay, staffCode")) +
               rowsOf(cn, QStringLiteral("wCodeName"), QStringLiteral("wCode"));
    }

    template <typename F>
    static QString messageOf(F&& f) {
        try {
            f();
        } catch (const hx::Error& e) {
            return e.message();
        }
        return QString();
    }

  private slots:
    void initTestCase() {
        server = qEnvironmentVariable("HEXIU_TEST_PG");
        if (server.isEmpty()) QSKIP("no server: run the tests through scripts/with-postgres.sh");
    }
    void init() {
        // The last test's folder goes first: it takes the program directory with it.
        store.reset();
        dir.reset();
        dir = std::make_unique<hxtest::TempProgramDir>();
        store =
            std::make_unique<hx::ServerAccountSetStore>(server, QStringLiteral("测试服务器"), dir->path());
    }
    void cleanup() {
        Connection cn;
        cn.open(hx::PostgresDatabase::open(server, QString(), false), QStringLiteral("测试服务器"));
        for (const QString& name : made) {
            cn.execScript(QStringLiteral("drop schema if exists %1 cascade").arg(cn.dialect().quoted(name)));
            cn.exec(QStringLiteral("delete from hexiu_system.accountset where name = ?"), {name});
        }
        made.clear();
    }

    void aNewSetIsListedAndOpensEmpty() {
        const QString name = newSet();
        QVERIFY(store->list().contains(name));
        QVERIFY(store->contains(name));
        QCOMPARE(messageOf([&] { store->create(name); }),
                 QStringLiteral("工资库服务器“测试服务器”上已经有工资库“%1”。").arg(name));
        Connection cn;
        QCOMPARE(store->open(name, cn), QString());
        QCOMPARE(cn.scalar(QStringLiteral("select count(*) from staff")).toInt(), 0);
        // The base item month of the template, as in a new file.
        QCOMPARE(
            cn.scalar(QStringLiteral("select count(*) from salary where year = 2003 and month = 11")).toInt(),
            35);
        QCOMPARE(cn.scalar(QStringLiteral("select ItemName from salary where ItemCode = 'C08'")).toString(),
                 QStringLiteral("实发工资"));
    }

    // The rules of the tables refuse what they refuse in a file, in the same words.
    void refusalsReadAsOnAFile() {
        Connection remote;
        store->open(newSet(), remote);
        Connection file;
        hxtest::OpenAccountSet fileSet(file, QStringLiteral("对照.mdb"));
        const QStringList refused = {
            QStringLiteral("insert into staff (StaffCode, StaffName) values ('0001', '张三')"),
            QStringLiteral("insert into staff (StaffCode, StaffName) values ('0002', NULL)"),
            QStringLiteral("insert into staff (StaffCode, StaffName) values ('01234567890', '王五')"),
            QStringLiteral("insert into staff (StaffCode, StaffName, salaryDay) values ('0003', '赵六', 40)"),
            QStringLiteral("insert into JobData (dateD, staffID, jobID, qty) values ('2026-11-02', 1, 1, 5)"),
            QStringLiteral("delete from wCodeName"),
        };
        for (Connection* cn : {&remote, &file}) {
            cn->exec(QStringLiteral("insert into staff (StaffCode, StaffName) values ('0001', '张三')"));
            cn->exec(QStringLiteral(
                "insert into JobData (dateD, staffID, jobID, qty) values ('2026-11-02', 1, 1, 5)"));
        }
        for (const QString& statement : refused) {
            const QString onServer = messageOf([&] { remote.exec(statement); });
            QVERIFY2(!onServer.isEmpty(), qPrintable(statement));
            QCOMPARE(onServer, messageOf([&] { file.exec(statement); }));
        }
        // The refused rule names its column in the same words, for the windows to name the field.
        auto ruleOf = [](Connection& cn, const QString& statement) {
            try {
                cn.exec(statement);
            } catch (const hx::ConstraintError& e) {
                return e.engineText().toLower();
            }
            return QString();
        };
        QCOMPARE(ruleOf(remote, refused[0]), ruleOf(file, refused[0]));
        QCOMPARE(ruleOf(remote, refused[1]), ruleOf(file, refused[1]));
        QCOMPARE(ruleOf(remote, refused[4]), ruleOf(file, refused[4]));
    }

    // A backup is an account-set file any desk can open; a restore puts it back whole, and the keys go on
    // after the restored rows.
    void aServerSetGoesToAFileAndBack() {
        const QString name = newSet();
        Connection cn;
        store->open(name, cn);
        addRecords(cn);
        const QStringList before = everyRow(cn);

        const QString backup = store->backup(cn, name, QDate(2026, 12, 10));
        QVERIFY2(hx::isAccountSet(backup), qPrintable(hx::accountSetProblem(backup)));
        {
            Connection file;
            file.open(backup, Connection::Access::ReadOnly);
            QCOMPARE(everyRow(file), before);
        }

        cn.exec(QStringLiteral("delete from JobData"));
        cn.exec(QStringLiteral("update staff set StaffName = '改名' where StaffCode = '0001'"));
        const QString kept = store->restore(cn, name, backup, QDate(2026, 12, 10));
        QCOMPARE(everyRow(cn), before);
        QVERIFY(QFileInfo::exists(kept));
        {
            // The safety copy holds the set as it was before the restore.
            Connection file;
            file.open(kept, Connection::Access::ReadOnly);
            QCOMPARE(file.scalar(QStringLiteral("select count(*) from JobData")).toInt(), 0);
            QCOMPARE(file.scalar(QStringLiteral("select StaffName from staff where StaffCode = '0001'"))
                         .toString(),
                     QStringLiteral("改名"));
        }
        PreparedStatement added(
            cn, QStringLiteral("insert into staff (StaffCode, StaffName) values ('0009', '新人') "
                               "returning staffID"));
        QVERIFY(added.next());
        QCOMPARE(added.integer(0), qint64(3));

        // A file that is no account set is refused, and the server set stays as it is.
        const QString foreign = dir->file(QStringLiteral("别的.mdb"));
        {
            QFile f(foreign);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a database");
        }
        QVERIFY(messageOf([&] {
                    store->restore(cn, name, foreign, QDate(2026, 12, 10));
                }).contains(QStringLiteral("不是工资库文件")));
        QCOMPARE(cn.scalar(QStringLiteral("select count(*) from staff")).toInt(), 3);
    }

    // A file account set moves onto the server, and back: the rows are the same.
    void aFileSetMovesOntoTheServer() {
        Connection file;
        hxtest::OpenAccountSet fileSet(file, QStringLiteral("工厂.mdb"));
        addRecords(file);
        const QStringList rows = everyRow(file);
        file.close();

        const QString name = newSet();
        Connection cn;
        store->open(name, cn);
        store->restore(cn, name, fileSet.path, QDate(2026, 12, 10));
        QCOMPARE(everyRow(cn), rows);
    }

    void aServerThatIsNotThereIsNamed() {
        const QString message = messageOf([] {
            hx::PostgresDatabase::open(QStringLiteral("host=127.0.0.1 port=1 user=x"), QString(), false);
        });
        QCOMPARE(message,
                 QStringLiteral("连不上工资库服务器“127.0.0.1:1”：服务器没有运行，或者从这台电脑连不上。"));
        const QString missing = messageOf([&] {
            Connection cn;
            store->open(QStringLiteral("没有这个"), cn);
        });
        QVERIFY2(missing.endsWith(QStringLiteral("上没有工资库“没有这个”。")), qPrintable(missing));
    }

    // A statement on the server stops when the cancel flag is set, as on a file.
    void aCancelStopsTheServer() {
        Connection cn;
        store->open(newSet(), cn);
        std::atomic<bool> cancelled{false};
        cn.interruptWhen(&cancelled);
        std::thread cancel([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            cancelled = true;
        });
        const QString message =
            messageOf([&] { cn.scalar(QStringLiteral("select count(*) from pg_sleep(10)")); });
        cancel.join();
        cn.interruptWhen(nullptr);
        QCOMPARE(message, QStringLiteral("查询已取消。"));
        QCOMPARE(cn.scalar(QStringLiteral("select count(*) from staff")).toInt(), 0);
    }

    // The servers file names services, one a line; nothing but a service name reaches the connection.
    void theServersFileNamesServices() {
        QVERIFY(hx::readServersFile(dir->file(hx::serversFileName)).empty());
        hxtest::TestServer::offer(
            dir->path(),
            {QStringLiteral("# 本机可用的服务器"), QStringLiteral("  factory  # 一号楼"), QString(),
             QStringLiteral("factory"), QStringLiteral("仓库\r"), QStringLiteral("factory host=elsewhere"),
             QStringLiteral("it's"), QStringLiteral("back\\slash")});
        QStringList services;
        QStringList refused;
        for (const hx::OfferedServer& s : hx::readServersFile(dir->file(hx::serversFileName))) {
            services << s.service;
            if (!s.problem.isEmpty()) refused << s.service;
        }
        QCOMPARE(services, (QStringList{QStringLiteral("factory"), QStringLiteral("仓库"),
                                        QStringLiteral("factory host=elsewhere"), QStringLiteral("it's"),
                                        QStringLiteral("back\\slash")}));
        QCOMPARE(refused, services.mid(2));
        QCOMPARE(hx::serverStore(QStringLiteral("仓库"))->connection(), QStringLiteral("service=仓库"));
    }

    // The roles' passwords of a server are the server's: one set at one desk holds at another, as a
    // salted hash, and the program directory's own system store is left alone.
    void aPasswordSetAtOneDeskHoldsAtAnother() {
        hxtest::TestServer fresh;
        const hx::ServerAccountSetStore desk1(fresh.connection(), fresh.service, dir->path());
        const hx::ServerAccountSetStore desk2(fresh.connection(), fresh.service, dir->path());
        {
            hx::SystemStore roles(desk1);
            QVERIFY(roles.checkPassword(QStringLiteral("会计"), QString()));
            roles.setPassword(QStringLiteral("会计"), QStringLiteral("柜台 9"));
        }
        hx::SystemStore other(desk2);
        QVERIFY(other.checkPassword(QStringLiteral("会计"), QStringLiteral("柜台 9")));
        QVERIFY(!other.checkPassword(QStringLiteral("会计"), QString()));
        QVERIFY(other.checkPassword(QStringLiteral("人事"), QString()));
        QVERIFY(!other.checkPassword(QStringLiteral("老板"), QString()));
        QVERIFY(hx::SystemStore().checkPassword(QStringLiteral("会计"), QString()));
        Connection cn;
        desk2.openSystemStore(cn);
        const QString raw = cn.scalar(QStringLiteral("select ppwwdd from appuser where userName = ?"),
                                      {QStringLiteral("会计")})
                                .toString();
        QVERIFY2(raw.startsWith(QStringLiteral("sha256$")) && !raw.contains(QStringLiteral("柜台")),
                 qPrintable(raw));
        // A server that cannot be reached is named, not taken for a wrong password.
        QVERIFY(messageOf([&] {
                    hx::SystemStore(hx::ServerAccountSetStore(QStringLiteral("service=gone"),
                                                              QStringLiteral("gone"), dir->path()));
                }).startsWith(QStringLiteral("连不上工资库服务器“gone”")));
    }

    // Desks that meet a new server at the same moment all find its three roles.
    void desksStartingOnANewServerAtOnce() {
        hxtest::TestServer fresh;
        std::mutex guard;
        QStringList failures;
        std::vector<std::thread> desks;
        for (int i = 0; i < 4; ++i)
            desks.emplace_back([&] {
                try {
                    const hx::ServerAccountSetStore sets(fresh.connection(), fresh.service, dir->path());
                    hx::SystemStore roles(sets);
                    roles.checkPassword(QStringLiteral("会计"), QString());
                } catch (const hx::Error& e) {
                    const std::lock_guard<std::mutex> hold(guard);
                    failures << e.message();
                }
            });
        for (std::thread& desk : desks) desk.join();
        QCOMPARE(failures, QStringList());
        Connection cn;
        hx::ServerAccountSetStore(fresh.connection(), fresh.service, dir->path()).openSystemStore(cn);
        QCOMPARE(cn.scalar(QStringLiteral("select count(*) from appuser")).toInt(), 3);
    }

    // A read-only connection is refused every change by the server itself.
    void aReadOnlyConnectionChangesNothing() {
        const QString name = newSet();
        Connection cn;
        store->openReadOnly(name, cn);
        QVERIFY(!cn.writable());
        QCOMPARE(messageOf([&] { cn.exec(QStringLiteral("delete from salary")); }),
                 QStringLiteral("这个工资库只能查看，修改没有保存。"));
        Connection writer;
        store->open(name, writer);
        QCOMPARE(writer.scalar(QStringLiteral("select count(*) from salary")).toInt(), 35);
    }
};

QTEST_GUILESS_MAIN(TestServerStore)
#include "tst_serverstore.moc"
