#include <QAction>
#include <QDir>
#include <QFile>
#include <QtTest>
#include <memory>

#include "data/connection.h"
#include "data/datamodule.h"
#include "data/myfuns.h"
#include "data/schema.h"
#include "shell/mainpanel.h"
#include "shell/password.h"
#include "shell/session.h"
#include "shell/sysmenu.h"
#include "support/testsupport.h"

using hxtest::ScriptedDialogs;
using hxtest::TempProgramDir;

class TestSysMenu : public QObject {
    Q_OBJECT

    std::unique_ptr<TempProgramDir> dir;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<hx::TdataFrm> data;
    std::unique_ptr<hx::TmainFrm> panel;
    QString mdb;

    hx::Connection& cn() { return data->cnMain; }

    void addWorker(const QString& code) {
        cn().exec(QStringLiteral("insert into staff (StaffCode, StaffName, salaryDay) values (?, ?, ?)"),
                  {code, QStringLiteral("工人") + code, 1});
    }
    int workers() { return cn().scalar(QStringLiteral("select count(*) from staff")).toInt(); }
    static QByteArray bytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Files of the program directory other than the system store and the template.
    QStringList leftFiles() const {
        QStringList files =
            QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        files.removeAll(QStringLiteral("sysunit.dll"));
        files.removeAll(QStringLiteral("mlcp.dll"));
        files.sort();
        return files;
    }
    static void setPassword(const QString& password) {
        hx::SystemStore store;
        store.setPassword(hx::curUser, password);
    }
    static bool passwordIs(const QString& password) {
        hx::SystemStore store;
        return store.checkPassword(hx::curUser, password);
    }

  private slots:
    void init() {
        dir = std::make_unique<TempProgramDir>();
        dialogs = std::make_unique<ScriptedDialogs>();
        data = std::make_unique<hx::TdataFrm>();
        hx::setDataFrm(data.get());
        panel = std::make_unique<hx::TmainFrm>();
        mdb = dir->createAccountSet(QStringLiteral("厂"));
        cn().open(mdb);
        hx::curMDB = mdb;
        hx::curUser = hx::roleAccountant;
        addWorker(QStringLiteral("001"));
    }

    void cleanup() {
        // Tear everything down before checking, so that a failure leaves no state to the next test.
        QString why;
        const bool used = dialogs->verify(&why);
        panel.reset();
        hx::setDataFrm(nullptr);
        data.reset();
        dialogs.reset();
        dir.reset();
        hx::curUser.clear();
        hx::curMDB.clear();
        QVERIFY2(used, qPrintable(why));
    }

    void backupTwiceADayGivesOneFile() {
        const QDate day(2024, 5, 17);
        const QByteArray before = bytes(mdb);
        const QString backup = hx::backupAccountSet(cn(), mdb, day);
        QCOMPARE(backup, dir->file(QStringLiteral("厂2024-05-17.mdb")));
        QCOMPARE(bytes(backup), before);  // a byte copy of the account set as it was
        QVERIFY(cn().isOpen());
        QCOMPARE(workers(), 1);  // the compacted account set has the same content

        addWorker(QStringLiteral("002"));
        hx::backupAccountSet(cn(), mdb, day);
        QCOMPARE(leftFiles(), (QStringList{QStringLiteral("厂.mdb"), QStringLiteral("厂2024-05-17.mdb")}));
        hx::Connection copy;
        copy.open(backup);
        QCOMPARE(copy.scalar(QStringLiteral("select count(*) from staff")).toInt(), 2);
        QCOMPARE(workers(), 2);
    }

    void backupFromTheMenu() {
        panel->pBackup->trigger();
        const QString backup = hx::BackupFileName(mdb) + QStringLiteral(".mdb");
        QCOMPARE(dialogs->lastKind(), QStringLiteral("information"));
        QCOMPARE(dialogs->lastText(), QStringLiteral("备份成功，文件为：") +
                                          QDir::toNativeSeparators(backup) + QStringLiteral(" 请妥善保存。"));
        QVERIFY(QFile::exists(backup));
        QVERIFY(cn().isOpen());
    }

    void backupFailuresLeaveTheAccountSetAndConnection_data() {
        QTest::addColumn<QString>("blocked");
        QTest::newRow("backup file") << hx::BackupFileName(QStringLiteral("厂.mdb")) + QStringLiteral(".mdb");
        QTest::newRow("compacted copy") << QStringLiteral("厂.mdb.compact");
    }
    void backupFailuresLeaveTheAccountSetAndConnection() {
        QFETCH(QString, blocked);
        // A directory where the backup writes a file makes that step fail.
        QVERIFY(QDir(dir->path()).mkdir(blocked));
        const QByteArray before = bytes(mdb);
        panel->pBackup->trigger();
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QCOMPARE(bytes(mdb), before);
        QVERIFY(cn().isOpen());
        QCOMPARE(workers(), 1);
        addWorker(QStringLiteral("002"));  // and it can be written
        QCOMPARE(workers(), 2);
    }

    void restoreRefusedForOtherRolesBeforeAnyDialog_data() {
        QTest::addColumn<QString>("role");
        QTest::newRow("人事") << QStringLiteral("人事");
        QTest::newRow("生产") << QStringLiteral("生产");
    }
    void restoreRefusedForOtherRolesBeforeAnyDialog() {
        QFETCH(QString, role);
        hx::curUser = role;
        panel->pRestore->trigger();
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("message"));
        QCOMPARE(dialogs->lastText(), QStringLiteral("没有权限！"));
    }

    void restoreReplacesTheAccountSet() {
        const QString backup = hx::backupAccountSet(cn(), mdb, QDate(2024, 1, 2));
        addWorker(QStringLiteral("002"));
        dialogs->chooseFile(backup).answer(hx::Answer::Closed);  // closing the question goes on
        panel->pRestore->trigger();
        QCOMPARE(dialogs->shown[0].kind, QStringLiteral("openFile"));
        QCOMPARE(dialogs->shown[0].text, QStringLiteral("数据库文件|*.mdb"));
        QCOMPARE(dialogs->shown[1].text, QStringLiteral("恢复日期以后录入的数据需要重新录入，确定吗？"));
        QCOMPARE(dialogs->lastText(), QStringLiteral("数据恢复成功！"));
        QVERIFY(cn().isOpen());
        QCOMPARE(workers(), 1);
        QCOMPARE(leftFiles(), (QStringList{QStringLiteral("厂.mdb"), QStringLiteral("厂2024-01-02.mdb")}));
    }

    void restoreFromTheAccountSetItselfLosesNothing() {
        dialogs->chooseFile(mdb).answer(hx::Answer::Yes);
        panel->pRestore->trigger();
        QCOMPARE(dialogs->lastText(), QStringLiteral("数据恢复成功！"));
        QCOMPARE(workers(), 1);
    }

    void restoreStopsOnNoOrCancel() {
        const QString backup = hx::backupAccountSet(cn(), mdb, QDate(2024, 1, 2));
        addWorker(QStringLiteral("002"));
        const QByteArray before = bytes(mdb);
        dialogs->cancelFile();
        panel->pRestore->trigger();
        dialogs->chooseFile(backup).answer(hx::Answer::No);
        panel->pRestore->trigger();
        QCOMPARE(bytes(mdb), before);
        QCOMPARE(workers(), 2);
    }

    void restoreRefusesWhatIsNoAccountSet() {
        const QString junk = dir->file(QStringLiteral("junk.mdb"));
        {
            QFile f(junk);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("plain text, no database");
        }
        const QByteArray before = bytes(mdb);
        for (const QString& source :
             {junk, dir->file(QStringLiteral("sysunit.dll")), dir->file(QStringLiteral("无.mdb"))}) {
            dialogs->reset();
            dialogs->chooseFile(source).answer(hx::Answer::Yes);
            panel->pRestore->trigger();
            QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
            QVERIFY2(dialogs->lastText().contains(QFileInfo(source).fileName()),
                     qPrintable(dialogs->lastText()));
            QCOMPARE(bytes(mdb), before);
            QVERIFY(cn().isOpen());
        }
    }

    void restoreFailureLeavesTheAccountSetAndConnection() {
        const QString backup = hx::backupAccountSet(cn(), mdb, QDate(2024, 1, 2));
        addWorker(QStringLiteral("002"));
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("厂.mdb.restore")));
        const QByteArray before = bytes(mdb);
        dialogs->chooseFile(backup).answer(hx::Answer::Yes);
        panel->pRestore->trigger();
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QCOMPARE(bytes(mdb), before);
        QVERIFY(cn().isOpen());
        QCOMPARE(workers(), 2);
    }

    void changePassword() {
        setPassword(QStringLiteral("old pw"));
        dialogs->input(QStringLiteral("old pw"))
            .input(QStringLiteral("  New "))
            .input(QStringLiteral("  New "));
        panel->pPWD->trigger();
        QCOMPARE(dialogs->shown[0].title, QStringLiteral("原密码"));
        QCOMPARE(dialogs->shown[1].title, QStringLiteral("新密码"));
        QCOMPARE(dialogs->shown[2].title, QStringLiteral("重复新密码"));
        QCOMPARE(dialogs->lastText(), QStringLiteral("密码更改成功，下次登录生效！"));
        // Stored trimmed: the login, which trims what is typed, accepts it.
        QVERIFY(passwordIs(QStringLiteral("New")));
        QVERIFY(!passwordIs(QStringLiteral("old pw")));
        // Only the logged-in role changed.
        hx::SystemStore store;
        QVERIFY(store.checkPassword(QStringLiteral("人事"), QString()));
    }

    void changePasswordRefusals_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("typed");  // old, new, repeated (as far as asked)
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong old") << QStringLiteral("abc") << QStringList{QStringLiteral("abd")}
                                   << QStringLiteral("原密码不对！");
        QTest::newRow("old with blanks around")
            << QStringLiteral("a b") << QStringList{QStringLiteral(" a b ")}
            << QStringLiteral("原密码不对！");
        QTest::newRow("old in other case")
            << QStringLiteral("abc") << QStringList{QStringLiteral("ABC")} << QStringLiteral("原密码不对！");
        QTest::newRow("new entries differ")
            << QStringLiteral("abc")
            << QStringList{QStringLiteral("abc"), QStringLiteral("x1"), QStringLiteral("x2")}
            << QStringLiteral("两次录入的新密码不对！");
        QTest::newRow("new equals old")
            << QStringLiteral("a b")
            << QStringList{QStringLiteral("a b"), QStringLiteral("a b"), QStringLiteral("a b")}
            << QStringLiteral("新密码与原密码一样，没有更改！");
        QTest::newRow("new equals old but for blanks around")
            << QStringLiteral("abc")
            << QStringList{QStringLiteral("abc"), QStringLiteral(" abc "), QStringLiteral(" abc ")}
            << QStringLiteral("新密码与原密码一样，没有更改！");
        QTest::newRow("both empty") << QString() << QStringList{QString(), QString(), QString()}
                                    << QStringLiteral("新密码与原密码一样，没有更改！");
    }
    void changePasswordRefusals() {
        QFETCH(QString, stored);
        QFETCH(QStringList, typed);
        QFETCH(QString, message);
        setPassword(stored);
        for (const QString& t : typed) dialogs->input(t);
        panel->pPWD->trigger();
        QCOMPARE(dialogs->lastKind(), QStringLiteral("information"));
        QCOMPARE(dialogs->lastText(), message);
        QVERIFY(passwordIs(stored));
    }

    void bothNewEmptyStoresTheEmptyPassword() {
        setPassword(QStringLiteral("abc"));
        dialogs->input(QStringLiteral("abc")).input(QString()).input(QString());
        panel->pPWD->trigger();
        QCOMPARE(dialogs->lastText(), QStringLiteral("密码更改成功，下次登录生效！"));
        QVERIFY(passwordIs(QString()));
    }

    void cancellingAnyInputChangesNothing() {
        setPassword(QStringLiteral("abc"));
        for (int step = 0; step < 3; ++step) {
            dialogs->reset();
            const QStringList answers{QStringLiteral("abc"), QStringLiteral("n"), QStringLiteral("n")};
            for (int i = 0; i < step; ++i) dialogs->input(answers[i]);
            dialogs->cancelInput();
            panel->pPWD->trigger();
            QCOMPARE(dialogs->lastKind(), QStringLiteral("input"));
            QVERIFY(passwordIs(QStringLiteral("abc")));
        }
    }

    void about() {
        panel->pAbout->trigger();
        QVERIFY(dialogs->lastText().contains(QStringLiteral("禾岫服装ERP计件工资助手")));
        QVERIFY(dialogs->lastText().contains(QStringLiteral("V1.0")));
    }
};

QTEST_MAIN(TestSysMenu)
#include "tst_sysmenu.moc"
