#include <QRandomGenerator>
#include <QtTest>
#include <mutex>
#include <thread>

#include "core/data/connection.h"
#include "core/data/dataset.h"
#include "core/data/errors.h"
#include "core/data/password.h"
#include "core/data/postgres/postgresdatabase.h"
#include "core/data/postgres/servers.h"
#include "core/data/postgres/serverstore.h"
#include "core/data/schema.h"
#include "core/payroll/generation.h"
#include "core/production/production.h"
#include "support/coresupport.h"

using hx::Connection;
using hx::DataSet;
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

    // Ends the session `pid` on the server, as a restart of the server does, from the connection
    // `admin`: at once, or (waiting) once the session waits for a lock another connection holds, so
    // that it ends in the middle of a statement. False when the session never came to wait.
    static bool endSessionOf(qint64 pid, Connection& admin, bool waiting) {
        for (int i = 0; waiting && i < 1000; ++i) {
            if (admin
                    .scalar(QStringLiteral("select count(*) from pg_locks where pid = ? and not granted"),
                            {pid})
                    .toInt() > 0)
                waiting = false;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (waiting) return false;
        return admin.scalar(QStringLiteral("select pg_terminate_backend(?, 5000)"), {pid}).toBool();
    }
    static qint64 sessionOf(Connection& cn) {
        return cn.scalar(QStringLiteral("select pg_backend_pid()")).toLongLong();
    }
    bool endSession(Connection& cn, const QString& name) {
        Connection admin;
        store->open(name, admin);
        return endSessionOf(sessionOf(cn), admin, false);
    }
    // The message of a lost connection, whatever the test server is named.
    static bool isLostMessage(const QString& message, const QString& rest) {
        static const QRegularExpression lost(
            QStringLiteral("^与工资库服务器“[^”]+”的连接已断开，(.*)下次操作时会自动重新连接。$"));
        const auto m = lost.match(message);
        if (!m.hasMatch() || m.captured(1) != rest) qWarning("%s", qPrintable(message));
        return m.hasMatch() && m.captured(1) == rest;
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
        // A set of an earlier version, without the production tables, gets them when it is opened.
        cn.execScript(QStringLiteral("drop table bundleTicket; drop table bundle; drop table prodOrder"));
        QVERIFY(!cn.tableExists(QStringLiteral("bundle")));
        Connection again;
        QCOMPARE(store->open(name, again), QString());
        for (const QString& table : hx::productionTables())
            QVERIFY2(again.tableExists(table), qPrintable(table));
        QVERIFY(hx::addOrder(again, QStringLiteral("PO-1"), QStringLiteral("春款"), QDate(2026, 12, 1)) > 0);
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

    // A session the server ended while the desk waited is made anew at the next statement, with the
    // account set's schema and the settings it had; a statement prepared before runs again.
    void aLostSessionIsMadeAnewWithItsSettings() {
        const QString name = newSet();
        Connection cn;
        store->open(name, cn);
        cn.setBusyTimeout(1234);
        addRecords(cn);
        PreparedStatement kept(cn, QStringLiteral("select StaffName from staff where StaffCode = ?"),
                               {QStringLiteral("0002")});
        const qint64 before = sessionOf(cn);
        QVERIFY(endSession(cn, name));
        QCOMPARE(cn.scalar(QStringLiteral("select count(*) from staff")).toInt(), 2);
        QVERIFY(sessionOf(cn) != before);
        QCOMPARE(cn.scalar(QStringLiteral("show lock_timeout")).toString(), QStringLiteral("1234ms"));
        QCOMPARE(cn.scalar(QStringLiteral("select current_schema()")).toString(), name.toLower());
        QVERIFY(kept.next());
        QCOMPARE(kept.text(0), QStringLiteral("李四"));
        QVERIFY(!kept.next());
        // A second loss, the statement prepared twice over.
        QVERIFY(endSession(cn, name));
        kept.reset();
        QVERIFY(kept.next());
        QCOMPARE(kept.text(0), QStringLiteral("李四"));

        // A read-only session stays read only.
        Connection reader;
        store->openReadOnly(name, reader);
        QVERIFY(endSession(reader, name));
        QCOMPARE(messageOf([&] { reader.exec(QStringLiteral("delete from JobData")); }),
                 QStringLiteral("这个工资库只能查看，修改没有保存。"));
        QCOMPARE(cn.scalar(QStringLiteral("select count(*) from JobData")).toInt(), 3);
    }

    // A transaction whose session ended was rolled back by the server. Nothing more of it runs in a new
    // session: every statement is refused until it is rolled back here too, and then the work goes on.
    void aLostTransactionIsNeverCarriedOn() {
        const QString name = newSet();
        Connection cn;
        store->open(name, cn);
        {
            hx::Transaction t(cn);
            cn.exec(QStringLiteral("insert into staff (StaffCode, StaffName) values ('0001', '张三')"));
            QVERIFY(endSession(cn, name));
            const QString lost = QStringLiteral("这次的修改都没有保存。");
            QVERIFY(isLostMessage(messageOf([&] {
                                      cn.exec(
                                          QStringLiteral("insert into staff (StaffCode, StaffName) "
                                                         "values ('0002', '李四')"));
                                  }),
                                  lost));
            QVERIFY(isLostMessage(messageOf([&] { cn.scalar(QStringLiteral("select count(*) from staff")); }),
                                  lost));
            QVERIFY(cn.inTransaction());
            QVERIFY(isLostMessage(messageOf([&] { t.commit(); }), lost));
        }
        QVERIFY(!cn.inTransaction());
        QCOMPARE(cn.scalar(QStringLiteral("select count(*) from staff")).toInt(), 0);
        {
            hx::Transaction t(cn);
            cn.exec(QStringLiteral("insert into staff (StaffCode, StaffName) values ('0002', '李四')"));
            t.commit();
        }
        QCOMPARE(cn.scalar(QStringLiteral("select StaffCode from staff")).toString(), QStringLiteral("0002"));
    }

    // A piece record whose post is cut off on its way: the row stays in edit as typed, the message says
    // the server is gone, nothing is stored, and the next post stores it once.
    void aPostLostOnItsWayIsKeptAndStoredAfter() {
        const QString name = newSet();
        Connection cn;
        store->open(name, cn);
        addRecords(cn);
        DataSet ds(&cn);
        ds.setSql(QStringLiteral("select dateD, staffID, jobID, qty from JobData order by dateD, staffID"));
        ds.setUpdateTable(QStringLiteral("JobData"), {QStringLiteral("dateD"), QStringLiteral("staffID"),
                                                      QStringLiteral("jobID"), QStringLiteral("qty")});
        ds.open();
        ds.append();
        ds.setValue(QStringLiteral("dateD"), QDate(2026, 11, 4));
        ds.setValue(QStringLiteral("staffID"), 2);
        ds.setValue(QStringLiteral("jobID"), 2);
        ds.setValue(QStringLiteral("qty"), 44);

        // Another desk holds the table, so the post waits on the server when its session is ended.
        Connection other;
        store->open(name, other);
        other.beginTransaction();
        other.execScript(QStringLiteral("lock table JobData in exclusive mode"));
        Connection admin;
        store->open(name, admin);
        const qint64 pid = sessionOf(cn);
        bool ended = false;
        std::thread ending([&] { ended = endSessionOf(pid, admin, true); });
        const QString message = messageOf([&] { ds.post(); });
        ending.join();
        QVERIFY(ended);
        QVERIFY(isLostMessage(message, QStringLiteral("修改没有保存。")));
        QCOMPARE(ds.state(), hx::DataSetState::Insert);
        QCOMPARE(ds.value(QStringLiteral("qty")).toInt(), 44);
        other.rollback();
        QCOMPARE(other.scalar(QStringLiteral("select count(*) from JobData where qty = 44")).toInt(), 0);

        QVERIFY(ds.post());
        QCOMPARE(ds.state(), hx::DataSetState::Browse);
        QCOMPARE(other.scalar(QStringLiteral("select count(*) from JobData where qty = 44")).toInt(), 1);
        QCOMPARE(other.scalar(QStringLiteral("select count(*) from JobData")).toInt(), 4);
        // The row edited again goes to the row stored.
        ds.setValue(QStringLiteral("qty"), 45);
        QVERIFY(ds.post());
        QCOMPARE(other.scalar(QStringLiteral("select count(*) from JobData where qty = 45")).toInt(), 1);
        QCOMPARE(other.scalar(QStringLiteral("select count(*) from JobData")).toInt(), 4);
    }

    // A generation cut off half-way (the batch deleted, two workers' rows written, the third waiting)
    // leaves the batch as it was; the next one, on a new session, writes it whole.
    void aGenerationLostHalfWayLeavesTheBatch() {
        const QString name = newSet();
        Connection cn;
        store->open(name, cn);
        addRecords(cn);
        const hx::SheetBatch batch{2026, 11, 15};
        QCOMPARE(hx::generateSalarySheet(cn, batch, QDate(2026, 11, 1), QDate(2026, 11, 30)), 2);
        const QString sheet =
            hxtest::rowsText(cn, QStringLiteral("salaryData"), QStringLiteral("staffCode"),
                             {QStringLiteral("staffCode"), QStringLiteral("A01"), QStringLiteral("A02")});
        cn.exec(QStringLiteral(
            "insert into JobData (dateD, staffID, jobID, qty) values ('2026-11-05', 1, 1, 300)"));

        cn.exec(QStringLiteral(
            "insert into staff (StaffCode, StaffName, salaryDay) values ('0003', '王五', 15)"));
        // Another desk is storing the third worker's row of the batch: the generation waits for it.
        Connection other;
        store->open(name, other);
        other.beginTransaction();
        other.exec(
            QStringLiteral("insert into salaryData (Year, Month, salaryDay, staffCode) "
                           "values (2026, 11, 15, '0003')"));
        Connection admin;
        store->open(name, admin);
        const qint64 pid = sessionOf(cn);
        bool ended = false;
        std::thread ending([&] { ended = endSessionOf(pid, admin, true); });
        const QString message =
            messageOf([&] { hx::generateSalarySheet(cn, batch, QDate(2026, 11, 1), QDate(2026, 11, 30)); });
        ending.join();
        QVERIFY(ended);
        QVERIFY(isLostMessage(message, QStringLiteral("这次的修改都没有保存。")));
        other.rollback();
        QCOMPARE(
            hxtest::rowsText(other, QStringLiteral("salaryData"), QStringLiteral("staffCode"),
                             {QStringLiteral("staffCode"), QStringLiteral("A01"), QStringLiteral("A02")}),
            sheet);

        QCOMPARE(hx::generateSalarySheet(cn, batch, QDate(2026, 11, 1), QDate(2026, 11, 30)), 3);
        QVERIFY(hxtest::rowsText(
                    other, QStringLiteral("salaryData"), QStringLiteral("staffCode"),
                    {QStringLiteral("staffCode"), QStringLiteral("A01"), QStringLiteral("A02")}) != sheet);
        QCOMPARE(other
                     .scalar(QStringLiteral("select count(*) from salaryData where staffCode = '0001' "
                                            "and A01 > 100"))
                     .toInt(),
                 1);
    }

    // Three desks at once: two production clerks store 10,000 piece records each for the same days of
    // the month (in posts of a hundred) and both edit the same worker, while the accountant generates the
    // month's sheet again and again. Every record lands once, the one edit that came second is refused
    // and told, and every sheet generated meanwhile holds whole posts of each clerk: what a fresh
    // generation gives on the records stored before it.
    void threeDesksAtOnce() {
        const QString name = newSet();
        constexpr int perClerk = 10000, perPost = 100, workers = 10;
        const qint64 rate = hx::Money::Scale / 2;  // 0.5 yuan a piece
        Connection cn;
        store->open(name, cn);
        cn.exec(QStringLiteral("insert into job (JobCode, UnitPrice) values ('K', 0.5)"));
        const qint64 job = cn.scalar(QStringLiteral("select JobID from job")).toLongLong();
        std::vector<qint64> staff[2];
        for (int k = 0; k < 2; ++k)
            for (int w = 0; w < workers; ++w) {
                const QString code = QStringLiteral("W%1%2").arg(k + 1).arg(w, 2, 10, QLatin1Char('0'));
                cn.exec(
                    QStringLiteral("insert into staff (StaffCode, StaffName, salaryDay) values (?, ?, 15)"),
                    {code, code});
                staff[k].push_back(
                    cn.scalar(QStringLiteral("select staffID from staff where StaffCode = ?"), {code})
                        .toLongLong());
            }
        // Record i of a clerk: worker i % 10, day 1 + (i / 10) % 28, i / 280 + 1 pieces: no two alike.
        auto pieces = [](int i) { return i / 280 + 1; };
        // The piece wage of worker w once the first `posts` posts of a clerk are stored.
        auto wage = [&](int w, int posts) {
            qint64 units = 0;
            for (int i = w; i < posts * perPost; i += workers) units += pieces(i) * rate;
            return units;
        };

        std::mutex guard;
        QStringList refused, failures;
        std::atomic<int> reading{0};
        std::atomic<int> clerksDone{0};
        auto clerk = [&](int k) {
            try {
                Connection desk;
                store->open(name, desk);
                DataSet worker(&desk);
                worker.setSql(
                    QStringLiteral("select staffID, StaffName, LevelSalary from staff "
                                   "where StaffCode = 'W100'"));
                worker.setUpdateTable(QStringLiteral("staff"), {QStringLiteral("staffID")});
                worker.open();
                ++reading;
                while (reading.load() < 2) std::this_thread::yield();
                worker.setValue(QStringLiteral("LevelSalary"), 1000 + k);
                try {
                    worker.post();
                } catch (const hx::RowChangedError& e) {
                    const std::lock_guard<std::mutex> hold(guard);
                    refused << e.message();
                    if (worker.state() != hx::DataSetState::Edit)
                        refused << QStringLiteral("录入员%1的修改没有留在行中").arg(k + 1);
                }
                PreparedStatement record(desk,
                                         QStringLiteral("insert into JobData (dateD, staffID, jobID, qty) "
                                                        "values (?, ?, ?, ?)"));
                for (int post = 0; post < perClerk / perPost; ++post) {
                    hx::Transaction t(desk);
                    for (int i = post * perPost; i < (post + 1) * perPost; ++i) {
                        record.bind(1, QDate(2026, 12, 1 + (i / workers) % 28));
                        record.bind(2, staff[k][size_t(i % workers)]);
                        record.bind(3, job);
                        record.bind(4, pieces(i));
                        record.run();
                    }
                    t.commit();
                }
            } catch (const hx::Error& e) {
                const std::lock_guard<std::mutex> hold(guard);
                failures << QStringLiteral("录入员%1：%2").arg(k + 1).arg(e.message());
            }
            ++clerksDone;
        };
        // Each sheet as the piece wage of every worker of both clerks, in order.
        std::vector<std::vector<qint64>> sheets;
        auto sheetOf = [&](Connection& desk) {
            std::vector<qint64> wages;
            PreparedStatement q(desk, QStringLiteral("select A01 from salaryData where Year = 2026 and "
                                                     "Month = 12 and salaryDay = 15 order by staffCode"));
            while (q.next()) wages.push_back(q.money(0).units());
            return wages;
        };
        auto accountant = [&] {
            try {
                Connection desk;
                store->open(name, desk);
                bool last = false;
                while (!last) {
                    last = clerksDone.load() == 2;
                    hx::generateSalarySheet(desk, {2026, 12, 15}, QDate(2026, 12, 1), QDate(2026, 12, 31));
                    sheets.push_back(sheetOf(desk));
                }
            } catch (const hx::Error& e) {
                const std::lock_guard<std::mutex> hold(guard);
                failures << QStringLiteral("会计：") + e.message();
            }
        };
        {
            std::thread one(clerk, 0), two(clerk, 1), three(accountant);
            one.join();
            two.join();
            three.join();
        }
        QCOMPARE(failures, QStringList());
        QCOMPARE(refused.size(), 1);
        QVERIFY2(refused[0].endsWith(QStringLiteral("请刷新后重试。")), qPrintable(refused[0]));
        QCOMPARE(cn.scalar(QStringLiteral("select count(*) from JobData")).toInt(), 2 * perClerk);
        QVERIFY(
            QStringList({QStringLiteral("1000"), QStringLiteral("1001")})
                .contains(cn.scalar(QStringLiteral("select LevelSalary from staff where StaffCode = 'W100'"))
                              .toString()));

        // Every sheet holds whole posts of each clerk; the last one all of them, as a fresh one does.
        QVERIFY(sheets.size() >= 2);
        for (const std::vector<qint64>& sheet : sheets) {
            QCOMPARE(int(sheet.size()), 2 * workers);
            for (int k = 0; k < 2; ++k) {
                int posts = 0;
                while (posts <= perClerk / perPost && wage(0, posts) < sheet[size_t(k * workers)]) ++posts;
                for (int w = 0; w < workers; ++w) QCOMPARE(sheet[size_t(k * workers + w)], wage(w, posts));
            }
        }
        std::vector<qint64> whole;
        for (int k = 0; k < 2; ++k)
            for (int w = 0; w < workers; ++w) whole.push_back(wage(w, perClerk / perPost));
        QCOMPARE(sheets.back(), whole);
        QCOMPARE(hx::generateSalarySheet(cn, {2026, 12, 15}, QDate(2026, 12, 1), QDate(2026, 12, 31)),
                 2 * workers);
        QCOMPARE(sheetOf(cn), whole);
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
