#include <QAction>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPointer>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include <unistd.h>

#include "core/data/accountset.h"
#include "core/data/clock.h"
#include "core/data/connection.h"
#include "core/data/datamodule.h"
#include "core/data/myfuns.h"
#include "core/data/password.h"
#include "core/data/schema.h"
#include "gui/registers/staff.h"
#include "gui/shell/entries.h"
#include "gui/shell/login.h"
#include "gui/shell/mainpanel.h"
#include "gui/shell/session.h"
#include "gui/shell/sysmenu.h"
#include "gui/widgets/mydbgrid.h"
#include "support/gridmenu.h"
#include "support/testsupport.h"
#include "support/windowfixture.h"

using hxtest::ScriptedDialogs;
using hxtest::TempProgramDir;

namespace {
const QDate today(2025, 3, 10);
}

class TestSysMenu : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::WindowFixture> fixture;
    TempProgramDir* dir = nullptr;
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<hx::TmainFrm> panel;
    QString mdb;

    hx::Connection& cn() { return fixture->cn(); }

    void addWorker(const QString& code) {
        fixture->addWorker(code, QStringLiteral("工人") + code, {{QStringLiteral("salaryDay"), 1}});
    }
    int workers() { return cn().scalar(QStringLiteral("select count(*) from staff")).toInt(); }
    static QString nameOf(hx::Connection& connection, const QString& code) {
        return connection.scalar(QStringLiteral("select StaffName from staff where StaffCode = ?"), {code})
            .toString();
    }
    // What the user does: "T" on the panel, then the command in the menu that pops up.
    bool chooseFromSystemMenu(QAction* command) {
        QTest::mouseClick(panel->btnSys, Qt::LeftButton);
        if (!QTest::qWaitFor([this] { return panel->popSys->isVisible(); }, 2000)) return false;
        QTest::mouseClick(panel->popSys, Qt::LeftButton, Qt::NoModifier,
                          panel->popSys->actionGeometry(command).center());
        hxtest::settle();
        return !panel->popSys->isVisible();
    }
    // The staff register opened from its entry on the panel, active, with its list.
    hx::TstaffFrm* openStaffRegister() {
        QTest::mouseClick(panel->lblStaff, Qt::LeftButton);
        auto* staff = qobject_cast<hx::TstaffFrm*>(panel->workWindow(hx::Entry::Staff));
        if (!staff || !fixture->activate(staff)) return nullptr;
        return staff;
    }
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
        hx::setToday(today);
        fixture = std::make_unique<hxtest::WindowFixture>(QStringLiteral("厂"));
        dir = &fixture->dir;
        dialogs = &fixture->dialogs;
        mdb = fixture->accountSet;
        fixture->logIn(hx::roleAccountant);
        panel = std::make_unique<hx::TmainFrm>();
        addWorker(QStringLiteral("001"));
        QVERIFY(fixture->activate(panel.get()));
    }

    void cleanup() {
        // Tear everything down before checking, so that a failure leaves no state to the next test.
        panel.reset();
        dir = nullptr;
        dialogs = nullptr;
        HX_FINISH_FIXTURE(fixture);
    }

    void backupTwiceADayGivesOneFile() {
        const QDate day(2024, 5, 17);
        const QByteArray before = bytes(mdb);
        const QString backup = hx::accountSetAt(mdb).backup(cn(), day);
        QCOMPARE(backup, dir->file(QStringLiteral("厂2024-05-17.mdb")));
        QCOMPARE(bytes(backup), before);  // a byte copy of the account set as it was
        QVERIFY(cn().isOpen());
        QCOMPARE(workers(), 1);  // the compacted account set has the same content

        addWorker(QStringLiteral("002"));
        hx::accountSetAt(mdb).backup(cn(), day);
        QCOMPARE(leftFiles(), (QStringList{QStringLiteral("厂.mdb"), QStringLiteral("厂2024-05-17.mdb")}));
        hx::Connection copy;
        copy.open(backup);
        QCOMPARE(copy.scalar(QStringLiteral("select count(*) from staff")).toInt(), 2);
        QCOMPARE(workers(), 2);
    }

    void backupFromTheMenu() {
        QVERIFY(chooseFromSystemMenu(panel->pBackup));
        // Named after the account set and today.
        const QString backup = dir->file(QStringLiteral("厂2025-03-10.mdb"));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("information"));
        QCOMPARE(dialogs->lastText(), QStringLiteral("备份成功，文件为：") +
                                          QDir::toNativeSeparators(backup) + QStringLiteral(" 请妥善保存。"));
        QVERIFY(QFile::exists(backup));
        QVERIFY(cn().isOpen());
        // The next login offers the account set first, not its backup.
        const hx::TLoginFrm login;
        QCOMPARE(login.cbbMDB->currentIndex(), 0);
        QCOMPARE(login.cbbMDB->itemText(0), QStringLiteral("厂.mdb"));
        QCOMPARE(login.cbbMDB->itemText(1), QStringLiteral("厂2025-03-10.mdb"));
    }

    void aRowInEditIsStoredBeforeTheBackupAndTheWindowEmpties() {
        addWorker(QStringLiteral("002"));
        hx::TstaffFrm* staff = openStaffRegister();
        QVERIFY(staff);
        auto* grid = staff->findChild<hx::TMyDBGrid*>(QStringLiteral("grdMain"));
        auto* tdMain = staff->findChild<hx::DataSet*>(QStringLiteral("tdMain"));
        // The name of 001 retyped; the new name is still in the cell editor when the menu is used.
        QVERIFY(hxtest::typeOver(grid, 0, 1, QStringLiteral("张三")));
        QVERIFY(hxtest::editing(grid));
        QVERIFY(chooseFromSystemMenu(panel->pBackup));
        const QString backup = dir->file(QStringLiteral("厂2025-03-10.mdb"));
        QCOMPARE(dialogs->texts(),
                 QStringList{QStringLiteral("备份成功，文件为：") + QDir::toNativeSeparators(backup) +
                             QStringLiteral(" 请妥善保存。")});
        // Stored before the copy: the account set and its backup both hold it.
        QCOMPARE(nameOf(cn(), QStringLiteral("001")), QStringLiteral("张三"));
        hx::Connection copy;
        copy.open(backup);
        QCOMPARE(nameOf(copy, QStringLiteral("001")), QStringLiteral("张三"));
        QCOMPARE(nameOf(copy, QStringLiteral("002")), QStringLiteral("工人002"));
        // The window shows nothing until its list is read again.
        QVERIFY(!tdMain->isOpen());
        QCOMPARE(grid->model()->rowCount(), 0);
        QVERIFY(!hxtest::editing(grid));
        staff->close();
        staff = openStaffRegister();
        QVERIFY(staff);
        QCOMPARE(staff->findChild<hx::TMyDBGrid*>(QStringLiteral("grdMain"))->model()->rowCount(), 2);
        QCOMPARE(dialogs->shown.size(), 1);
    }

    void aRowTheDatabaseRefusesStaysAndNoBackupIsMadeWithoutIt() {
        addWorker(QStringLiteral("002"));
        hx::TstaffFrm* staff = openStaffRegister();
        QVERIFY(staff);
        auto* grid = staff->findChild<hx::TMyDBGrid*>(QStringLiteral("grdMain"));
        // A work number that another worker has.
        QVERIFY(hxtest::typeOver(grid, 0, 0, QStringLiteral("002")));
        QVERIFY(chooseFromSystemMenu(panel->pBackup));
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(dialogs->shown.size(), 2);
        QCOMPARE(dialogs->shown[0].text.section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("工号“002”已经存在"));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QCOMPARE(dialogs->lastText(), QStringLiteral("有正在编辑的记录没能保存。请先保存或取消它，再重试。"));
        // The row stays to be corrected; the account set is as it was, and has no backup yet.
        QCOMPARE(staff->findChild<hx::DataSet*>(QStringLiteral("tdMain"))->state(), hx::DataSetState::Edit);
        QCOMPARE(QDir(dir->path()).entryList({QStringLiteral("*.mdb")}),
                 QStringList{QStringLiteral("厂.mdb")});
        QCOMPARE(cn().scalar(QStringLiteral("select count(*) from staff where StaffCode = '001'")).toInt(),
                 1);
        QCOMPARE(workers(), 2);
    }

    void afterARestoreTheWindowShowsNothingAndAnEditGoesNowhere() {
        const QString backup = hx::accountSetAt(mdb).backup(cn(), QDate(2025, 3, 1));
        // Entered after the backup: not in the file that is restored.
        addWorker(QStringLiteral("002"));
        hx::TstaffFrm* staff = openStaffRegister();
        QVERIFY(staff);
        auto* grid = staff->findChild<hx::TMyDBGrid*>(QStringLiteral("grdMain"));
        auto* tdMain = staff->findChild<hx::DataSet*>(QStringLiteral("tdMain"));
        QCOMPARE(grid->model()->rowCount(), 2);
        // 002 renamed, the row still in edit.
        QVERIFY(hxtest::typeOver(grid, 1, 1, QStringLiteral("改名")));
        hxtest::key(Qt::Key_Tab);
        QCOMPARE(tdMain->state(), hx::DataSetState::Edit);

        dialogs->chooseFile(backup).answer(hx::Answer::Yes);
        QVERIFY(chooseFromSystemMenu(panel->pRestore));
        QVERIFY(dialogs->lastText().startsWith(QStringLiteral("数据恢复成功！")));
        QVERIFY(!tdMain->isOpen());
        QCOMPARE(grid->model()->rowCount(), 0);
        // The account set is the backup: the worker entered since and his new name are gone, and
        // nothing of the edit reached another row.
        QCOMPARE(workers(), 1);
        QCOMPARE(nameOf(cn(), QStringLiteral("001")), QStringLiteral("工人001"));
        QCOMPARE(cn().scalar(QStringLiteral("select count(*) from staff where StaffName = '改名'")).toInt(),
                 0);
        // Keys in the emptied grid write nothing.
        grid->setFocus();
        hxtest::type(QStringLiteral("9"));
        hxtest::key(Qt::Key_Down);
        hxtest::key(Qt::Key_Return);
        QCOMPARE(dialogs->shown.size(), 3);  // and no error
        QCOMPARE(workers(), 1);
        QCOMPARE(nameOf(cn(), QStringLiteral("001")), QStringLiteral("工人001"));
        // Opened anew, the window shows the restored rows.
        staff->close();
        staff = openStaffRegister();
        QVERIFY(staff);
        QCOMPARE(staff->findChild<hx::TMyDBGrid*>(QStringLiteral("grdMain"))->model()->rowCount(), 1);
    }

    void everyWorkWindowIsEmptiedByABackupAndClosesCleanly() {
        QList<QPointer<hx::WorkWindow>> windows;
        for (int i = 0; i < hx::entryCount; ++i) {
            const auto entry = static_cast<hx::Entry>(i);
            QTest::mouseClick(panel->entryLabel(entry), Qt::LeftButton);
            hx::WorkWindow* w = panel->workWindow(entry);
            QVERIFY2(w && hxtest::showActive(w), qPrintable(hx::entryInfo(entry).text));
            windows << w;
        }
        int open = 0;
        for (hx::DataSet* ds : cn().dataSets()) open += ds->isOpen() ? 1 : 0;
        QVERIFY(open > 0);
        QVERIFY(chooseFromSystemMenu(panel->pBackup));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("information"));
        for (hx::DataSet* ds : cn().dataSets()) QVERIFY2(!ds->isOpen(), qPrintable(ds->objectName()));
        // Each window is used again and closed without an error.
        for (const QPointer<hx::WorkWindow>& w : windows) {
            QVERIFY(w && hxtest::showActive(w));
            hxtest::key(Qt::Key_Down);
            hxtest::key(Qt::Key_Return);
            w->close();
        }
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(workers(), 1);
    }

    void backupFailuresLeaveTheAccountSetAndConnection_data() {
        QTest::addColumn<QString>("blocked");
        QTest::addColumn<QString>("why");
        QTest::newRow("backup file") << QStringLiteral("厂2025-03-10.mdb")
                                     << QStringLiteral("无法用新文件替换“%1”：这是一个文件夹，不是文件");
        QTest::newRow("temporary copy") << QStringLiteral("厂2025-03-10.mdb.tmp")
                                        << QStringLiteral("无法写入文件“%1”：这是一个文件夹，不是文件");
    }
    void backupFailuresLeaveTheAccountSetAndConnection() {
        QFETCH(QString, blocked);
        QFETCH(QString, why);
        // A directory where the backup writes a file makes that step fail.
        QVERIFY(QDir(dir->path()).mkdir(blocked));
        const QByteArray before = bytes(mdb);
        QVERIFY(chooseFromSystemMenu(panel->pBackup));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QCOMPARE(dialogs->lastText(), QStringLiteral("备份没有完成：") + why.arg(dir->file(blocked)) +
                                          QStringLiteral("。\n工资库和以前的备份都没有改动。"));
        QCOMPARE(leftFiles(), (QStringList{QStringLiteral("厂.mdb"), blocked}));
        QCOMPARE(bytes(mdb), before);
        QVERIFY(cn().isOpen());
        QCOMPARE(workers(), 1);
        addWorker(QStringLiteral("002"));  // and it can be written
        QCOMPARE(workers(), 2);
    }

    // The account set under a second name (a hard link): neither backed up nor restored, and the
    // message says why and what to do.
    void aHardLinkedAccountSetIsNeitherBackedUpNorRestored() {
        const QString backup = hx::accountSetAt(mdb).backup(cn(), QDate(2025, 3, 1));
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("乙")));
        QCOMPARE(::link(QFile::encodeName(mdb).constData(),
                        QFile::encodeName(dir->file(QStringLiteral("乙/厂.mdb"))).constData()),
                 0);
        const QByteArray before = bytes(mdb);
        QVERIFY(chooseFromSystemMenu(panel->pBackup));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QVERIFY2(dialogs->lastText().contains(QStringLiteral("有 2 个硬链接")) &&
                     dialogs->lastText().contains(QStringLiteral("改用符号链接")) &&
                     dialogs->lastText().endsWith(QStringLiteral("没有备份。")),
                 qPrintable(dialogs->lastText()));
        dialogs->chooseFile(backup).answer(hx::Answer::Yes);
        QVERIFY(chooseFromSystemMenu(panel->pRestore));
        QVERIFY2(dialogs->lastText().endsWith(QStringLiteral("没有恢复。")), qPrintable(dialogs->lastText()));
        QCOMPARE(bytes(mdb), before);
        QCOMPARE(leftFiles(), (QStringList{QStringLiteral("乙"), QStringLiteral("厂.mdb"),
                                           QStringLiteral("厂2025-03-01.mdb")}));
    }

    void restoreRefusedForOtherRolesBeforeAnyDialog_data() {
        QTest::addColumn<QString>("role");
        QTest::newRow("人事") << QStringLiteral("人事");
        QTest::newRow("生产") << QStringLiteral("生产");
    }
    void restoreRefusedForOtherRolesBeforeAnyDialog() {
        QFETCH(QString, role);
        hx::curUser = role;
        QVERIFY(chooseFromSystemMenu(panel->pRestore));
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("message"));
        QCOMPARE(dialogs->lastText(), QStringLiteral("没有权限！"));
    }

    void restoreReplacesTheAccountSet() {
        const QString backup = hx::accountSetAt(mdb).backup(cn(), QDate(2024, 1, 2));
        addWorker(QStringLiteral("002"));
        dialogs->chooseFile(backup).answer(hx::Answer::Closed);  // closing the question goes on
        QVERIFY(chooseFromSystemMenu(panel->pRestore));
        QCOMPARE(dialogs->shown[0].kind, QStringLiteral("openFile"));
        QCOMPARE(dialogs->shown[0].text, QStringLiteral("数据库文件|*.mdb"));
        QCOMPARE(dialogs->shown[1].text, QStringLiteral("恢复日期以后录入的数据需要重新录入，确定吗？"));
        const QString safety = dir->file(QStringLiteral("厂2025-03-10恢复前.mdb"));
        QCOMPARE(dialogs->lastText(), QStringLiteral("数据恢复成功！\n恢复前的工资库已保存为：") +
                                          QDir::toNativeSeparators(safety));
        QVERIFY(cn().isOpen());
        QCOMPARE(workers(), 1);
        QCOMPARE(leftFiles(), (QStringList{QStringLiteral("厂.mdb"), QStringLiteral("厂2024-01-02.mdb"),
                                           QStringLiteral("厂2025-03-10恢复前.mdb")}));
        // The safety copy holds what the restore replaced: a wrong restore can be undone.
        hx::Connection copy;
        copy.open(safety);
        QCOMPARE(copy.scalar(QStringLiteral("select count(*) from staff")).toInt(), 2);
    }

    void restoreFromTheAccountSetItselfLosesNothing() {
        dialogs->chooseFile(mdb).answer(hx::Answer::Yes);
        QVERIFY(chooseFromSystemMenu(panel->pRestore));
        QVERIFY(dialogs->lastText().startsWith(QStringLiteral("数据恢复成功！")));
        QCOMPARE(workers(), 1);
    }

    void restoreStopsOnNoOrCancel() {
        const QString backup = hx::accountSetAt(mdb).backup(cn(), QDate(2024, 1, 2));
        addWorker(QStringLiteral("002"));
        const QByteArray before = bytes(mdb);
        dialogs->cancelFile();
        QVERIFY(chooseFromSystemMenu(panel->pRestore));
        dialogs->chooseFile(backup).answer(hx::Answer::No);
        QVERIFY(chooseFromSystemMenu(panel->pRestore));
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
            QVERIFY(chooseFromSystemMenu(panel->pRestore));
            QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
            QVERIFY2(dialogs->lastText().contains(QFileInfo(source).fileName()),
                     qPrintable(dialogs->lastText()));
            QCOMPARE(bytes(mdb), before);
            QVERIFY(cn().isOpen());
        }
    }

    void restoreWhileAnotherProgramWritesIsRefused() {
        const QString backup = hx::accountSetAt(mdb).backup(cn(), QDate(2024, 1, 2));
        addWorker(QStringLiteral("002"));
        // Another copy of the program, in the middle of storing a row.
        hx::Connection other;
        other.open(mdb);
        other.beginTransaction();
        other.exec(QStringLiteral("update staff set StaffName = '改' where StaffCode = '001'"));
        const QByteArray before = bytes(mdb);
        dialogs->chooseFile(backup).answer(hx::Answer::Yes);
        QVERIFY(chooseFromSystemMenu(panel->pRestore));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QVERIFY2(dialogs->lastText().contains(QStringLiteral("正被另一个程序使用")),
                 qPrintable(dialogs->lastText()));
        QCOMPARE(bytes(mdb), before);
        other.commit();
        QVERIFY(cn().isOpen());
        QCOMPARE(workers(), 2);
        QCOMPARE(nameOf(cn(), QStringLiteral("001")), QStringLiteral("改"));
    }

    void restoreOfAForeignFileIsRefusedAndTouchesNothing() {
        // The six tables under their names, with other columns: no account set of ours.
        const QString foreign = dir->file(QStringLiteral("外来.mdb"));
        QFile(foreign).open(QIODevice::WriteOnly);
        {
            hx::Connection f;
            f.open(foreign);
            for (const QString& table : hx::accountSetTables())
                f.exec(QStringLiteral("create table %1 (a, b)").arg(table));
        }
        const QByteArray foreignBefore = bytes(foreign);
        const QByteArray before = bytes(mdb);
        dialogs->chooseFile(foreign).answer(hx::Answer::Yes);
        QVERIFY(chooseFromSystemMenu(panel->pRestore));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
        QCOMPARE(dialogs->lastText(),
                 QStringLiteral("“%1”不是工资库文件，没有恢复。").arg(QDir::toNativeSeparators(foreign)));
        QCOMPARE(QCryptographicHash::hash(bytes(foreign), QCryptographicHash::Sha256),
                 QCryptographicHash::hash(foreignBefore, QCryptographicHash::Sha256));
        QCOMPARE(bytes(mdb), before);
        QCOMPARE(workers(), 1);
    }

    void changePassword() {
        setPassword(QStringLiteral("old pw"));
        dialogs->input(QStringLiteral("old pw"))
            .input(QStringLiteral("  New "))
            .input(QStringLiteral("  New "));
        QVERIFY(chooseFromSystemMenu(panel->pPWD));
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
        // A stored password with blanks around (not one this menu stores): the old entry is typed exactly,
        // and the new one, trimmed, is compared with it trimmed.
        QTest::newRow("new equals a stored old one with blanks around")
            << QStringLiteral(" ab ")
            << QStringList{QStringLiteral(" ab "), QStringLiteral("ab"), QStringLiteral("ab")}
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
        QVERIFY(chooseFromSystemMenu(panel->pPWD));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("information"));
        QCOMPARE(dialogs->lastText(), message);
        QVERIFY(passwordIs(stored));
    }

    void bothNewEmptyStoresTheEmptyPassword() {
        setPassword(QStringLiteral("abc"));
        dialogs->input(QStringLiteral("abc")).input(QString()).input(QString());
        QVERIFY(chooseFromSystemMenu(panel->pPWD));
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
            QVERIFY(chooseFromSystemMenu(panel->pPWD));
            QCOMPARE(dialogs->lastKind(), QStringLiteral("input"));
            QVERIFY(passwordIs(QStringLiteral("abc")));
        }
    }

    void about() {
        QVERIFY(chooseFromSystemMenu(panel->pAbout));
        QVERIFY(dialogs->lastText().contains(QStringLiteral("禾岫服装ERP计件工资助手")));
        QVERIFY(dialogs->lastText().contains(QStringLiteral("V1.0")));
    }
};

HX_WINDOW_TEST_MAIN(TestSysMenu)
#include "tst_sysmenu.moc"
