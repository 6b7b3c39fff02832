#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

#include <unistd.h>

#include "core/data/connection.h"
#include "core/data/datamodule.h"
#include "core/data/password.h"
#include "core/data/postgres/servers.h"
#include "core/data/postgres/serverstore.h"
#include "core/data/schema.h"
#include "gui/shell/login.h"
#include "gui/shell/session.h"
#include "gui/shell/sysmenu.h"
#include "support/testsupport.h"

using hxtest::ScriptedDialogs;
using hxtest::TempProgramDir;

class TestLogin : public QObject {
    Q_OBJECT

    std::unique_ptr<TempProgramDir> dir;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<hx::TdataFrm> data;

    static void setPassword(const QString& role, const QString& password) {
        hx::SystemStore store;
        store.setPassword(role, password);
    }

    // The login window shown and active, the password field focused, as at start-up.
    static bool showLogin(hx::TLoginFrm& frm) {
        if (!hxtest::showActive(&frm)) return false;
        return QApplication::focusWidget() == frm.edtWiWa;
    }

    // The user tabs from the password into the account-set list and moves along it with the arrow keys
    // until the entry is selected; every step is a selection by the user.
    static bool pickAccountSet(hx::TLoginFrm& frm, const QString& text) {
        if (QApplication::focusWidget() == frm.edtWiWa) hxtest::key(Qt::Key_Tab);
        if (QApplication::focusWidget() != frm.cbbMDB) return false;
        const int target = frm.cbbMDB->findText(text);
        if (target < 0) return false;
        while (frm.cbbMDB->currentIndex() != target) {
            const int next = frm.cbbMDB->currentIndex() + (frm.cbbMDB->currentIndex() < target ? 1 : -1);
            hxtest::key(next > frm.cbbMDB->currentIndex() ? Qt::Key_Down : Qt::Key_Up);
            // Arrived: what the selection starts has run and may have moved on (a new account set).
            if (next == target) return true;
            if (frm.cbbMDB->currentIndex() != next) return false;
        }
        return true;
    }

    // The role chosen with the keyboard: back from the password into the role list, then the arrows.
    static bool pickRole(hx::TLoginFrm& frm, int role) {
        if (QApplication::focusWidget() == frm.edtWiWa) hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        if (QApplication::focusWidget() != frm.cbbUser) return false;
        while (frm.cbbUser->currentIndex() != role) {
            const int before = frm.cbbUser->currentIndex();
            hxtest::key(before < role ? Qt::Key_Down : Qt::Key_Up);
            if (frm.cbbUser->currentIndex() == before) return false;
        }
        hxtest::key(Qt::Key_Tab);
        return QApplication::focusWidget() == frm.edtWiWa;
    }

    static void clickLogin(hx::TLoginFrm& frm) {
        QTest::mouseClick(frm.btnIn, Qt::LeftButton);
        hxtest::settle();
    }

    static QStringList items(QComboBox* combo) {
        QStringList result;
        for (int i = 0; i < combo->count(); ++i) result << combo->itemText(i);
        return result;
    }

    static int staffRows(const QString& path) {
        hx::Connection cn;
        cn.open(path);
        return cn.scalar(QStringLiteral("select count(*) from staff")).toInt();
    }

  private slots:
    void init() {
        dir = std::make_unique<TempProgramDir>();
        dialogs = std::make_unique<ScriptedDialogs>();
        data = std::make_unique<hx::TdataFrm>();
        hx::setDataFrm(data.get());
    }

    void cleanup() {
        // Tear everything down before checking, so that a failure leaves no state to the next test.
        QString why;
        const bool used = dialogs->verify(&why);
        hx::setDataFrm(nullptr);
        data.reset();
        dialogs.reset();
        dir.reset();
        hx::curUser.clear();
        hx::curAccountSet = hx::AccountSet();
        hx::setAccountSetReadOnly(false);
        QVERIFY2(used, qPrintable(why));
    }

    void windowAsCreated() {
        dir->createAccountSet(QStringLiteral("甲厂"));
        dir->createAccountSet(QStringLiteral("乙厂"));
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        QCOMPARE(frm.windowTitle(), QStringLiteral("登录"));
        QCOMPARE(frm.size(), QSize(330, 178));
        QCOMPARE(items(frm.cbbUser),
                 (QStringList{QStringLiteral("人事"), QStringLiteral("生产"), QStringLiteral("会计")}));
        QCOMPARE(frm.cbbUser->currentText(), QStringLiteral("会计"));
        QCOMPARE(frm.edtWiWa->echoMode(), QLineEdit::Password);
        // By name, so that an account set comes before its backups.
        QCOMPARE(items(frm.cbbMDB), (QStringList{QStringLiteral("乙厂.mdb"), QStringLiteral("甲厂.mdb"),
                                                 QStringLiteral("新建工资库...")}));
        QCOMPARE(frm.cbbMDB->currentIndex(), 0);
        // Centred on the screen.
        const QRect screen = frm.screen()->availableGeometry();
        QVERIFY(qAbs(frm.geometry().center().x() - screen.center().x()) <= 1);
        // Selecting from code never starts a new account set.
        frm.cbbMDB->setCurrentIndex(2);
        QVERIFY(dialogs->shown.isEmpty());
    }

    void withoutAccountSetsOnlyTheNewEntryAndLoginFails() {
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        QCOMPARE(items(frm.cbbMDB), QStringList{QStringLiteral("新建工资库...")});
        QCOMPARE(frm.cbbMDB->currentIndex(), 0);
        QSignalSpy finished(&frm, &QDialog::finished);
        clickLogin(frm);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QCOMPARE(finished.count(), 0);
        QVERIFY(frm.isVisible());
        QVERIFY(hx::curUser.isEmpty());
        QVERIFY(hx::curAccountSet.isEmpty());
        QVERIFY(!data->cnMain.isOpen());
    }

    void aMissingSystemStoreIsAnErrorAndTheWindowStays() {
        dir->createAccountSet(QStringLiteral("厂"));
        QVERIFY(QFile::remove(dir->file(QStringLiteral("sysunit.dll"))));
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        hxtest::key(Qt::Key_Return);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QVERIFY(frm.isVisible());
        QVERIFY(hx::curUser.isEmpty());
    }

    void aFileThatIsNoAccountSetIsRefused() {
        QFile junk(dir->file(QStringLiteral("junk.mdb")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a database at all");
        junk.close();
        hx::createSystemStore(dir->file(QStringLiteral("other.mdb")));  // a database, but no account set
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        for (const QString& name : {QStringLiteral("junk.mdb"), QStringLiteral("other.mdb")}) {
            QVERIFY(pickAccountSet(frm, name));
            hxtest::key(Qt::Key_Return);
            QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
            QVERIFY(frm.isVisible());
            QVERIFY(hx::curUser.isEmpty());
            QVERIFY(!data->cnMain.isOpen());
        }
    }

    void loginTrimsBlanksAndKeepsCase_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("exact") << QStringLiteral("Ab1") << QStringLiteral("Ab1") << true;
        QTest::newRow("blanks around") << QStringLiteral("Ab1") << QStringLiteral("  Ab1 ") << true;
        QTest::newRow("letter case") << QStringLiteral("Ab1") << QStringLiteral("ab1") << false;
        QTest::newRow("inner blank") << QStringLiteral("Ab1") << QStringLiteral("Ab 1") << false;
        QTest::newRow("empty stored, blank typed") << QString() << QStringLiteral("   ") << true;
        QTest::newRow("empty stored, text typed") << QString() << QStringLiteral("x") << false;
    }
    void loginTrimsBlanksAndKeepsCase() {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        const QString path = dir->createAccountSet(QStringLiteral("厂"));
        setPassword(QStringLiteral("生产"), stored);
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        QVERIFY(pickRole(frm, 1));
        hxtest::type(typed);
        QCOMPARE(frm.edtWiWa->text(), typed);
        QSignalSpy accept(&frm, &QDialog::accepted);
        QSignalSpy reject(&frm, &QDialog::rejected);
        clickLogin(frm);
        if (accepted) {
            QCOMPARE(accept.count(), 1);
            QVERIFY(dialogs->shown.isEmpty());
            QCOMPARE(hx::curUser, QStringLiteral("生产"));
            QCOMPARE(hx::curAccountSet.location(), path);
            QVERIFY(data->cnMain.isOpen());
            QCOMPARE(data->cnMain.path(), path);
        } else {
            // One wrong password ends the program: the window closes with Cancel.
            QCOMPARE(reject.count(), 1);
            QCOMPARE(dialogs->texts(), QStringList{QStringLiteral("密码不对，登录失败！")});
            QCOMPARE(dialogs->lastKind(), QStringLiteral("message"));
            QVERIFY(hx::curUser.isEmpty());
            QVERIFY(!data->cnMain.isOpen());
        }
    }

    void aRoleWithoutRowIsAWrongPassword() {
        dir->createAccountSet(QStringLiteral("厂"));
        {
            hx::Connection cn;
            cn.open(dir->file(QStringLiteral("sysunit.dll")));
            cn.exec(QStringLiteral("delete from appuser where userName = ?"), {QStringLiteral("人事")});
        }
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        QVERIFY(pickRole(frm, 0));
        QSignalSpy reject(&frm, &QDialog::rejected);
        hxtest::key(Qt::Key_Return);
        QCOMPARE(reject.count(), 1);
        QCOMPARE(dialogs->lastText(), QStringLiteral("密码不对，登录失败！"));
    }

    void enterLogsInAndEscapeCancels() {
        dir->createAccountSet(QStringLiteral("厂"));
        {
            hx::TLoginFrm frm;
            QVERIFY(showLogin(frm));
            // Esc anywhere in the window, here in the account-set list.
            hxtest::key(Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), frm.cbbMDB);
            QSignalSpy reject(&frm, &QDialog::rejected);
            hxtest::key(Qt::Key_Escape);
            QCOMPARE(reject.count(), 1);
            QVERIFY(!frm.isVisible());
            QVERIFY(dialogs->shown.isEmpty());
        }
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        QSignalSpy accept(&frm, &QDialog::accepted);
        hxtest::key(Qt::Key_Return);
        QCOMPARE(accept.count(), 1);
        QCOMPARE(hx::curUser, QStringLiteral("会计"));
    }

    void theCloseBoxAndTheExitButtonCancel() {
        dir->createAccountSet(QStringLiteral("厂"));
        {
            hx::TLoginFrm frm;
            QVERIFY(showLogin(frm));
            QSignalSpy reject(&frm, &QDialog::rejected);
            QTest::mouseClick(frm.btnOut, Qt::LeftButton);
            QCOMPARE(reject.count(), 1);
        }
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        QSignalSpy reject(&frm, &QDialog::rejected);
        QVERIFY(frm.close());
        QCOMPARE(reject.count(), 1);
        QVERIFY(hx::curUser.isEmpty());
        QVERIFY(dialogs->shown.isEmpty());
    }

    void newAccountSetOnlyForTheAccountant_data() {
        QTest::addColumn<int>("role");
        QTest::newRow("人事") << 0;
        QTest::newRow("生产") << 1;
    }
    void newAccountSetOnlyForTheAccountant() {
        QFETCH(int, role);
        dir->createAccountSet(QStringLiteral("厂"));
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        QVERIFY(pickRole(frm, role));
        // The user moves down the list onto the new entry with the keyboard.
        QVERIFY(pickAccountSet(frm, QStringLiteral("新建工资库...")));
        QCOMPARE(dialogs->texts(), QStringList{QStringLiteral("只有会计才有权限新建工资库！")});
        QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
        QCOMPARE(frm.cbbMDB->currentText(), QStringLiteral("新建工资库..."));
        QVERIFY(frm.isVisible());
        QCOMPARE(frm.cbbMDB->count(), 2);
    }

    void wrongPasswordWhileCreatingDoesNotEnd() {
        const QString path = dir->createAccountSet(QStringLiteral("厂"));
        setPassword(QStringLiteral("会计"), QStringLiteral("pw"));
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        QSignalSpy finished(&frm, &QDialog::finished);
        hxtest::type(QStringLiteral("PW"));
        QVERIFY(pickAccountSet(frm, QStringLiteral("新建工资库...")));
        QCOMPARE(dialogs->texts(), QStringList{QStringLiteral("密码不对，不能新建工资库！")});
        QCOMPARE(finished.count(), 0);
        QVERIFY(frm.isVisible());
        // The user can go on and log in to an account set.
        QVERIFY(pickAccountSet(frm, QStringLiteral("厂.mdb")));
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), frm.edtWiWa);
        hxtest::key(Qt::Key_A, Qt::ControlModifier);
        hxtest::type(QStringLiteral(" pw "));
        clickLogin(frm);
        QCOMPARE(frm.result(), int(QDialog::Accepted));
        QCOMPARE(hx::curAccountSet.location(), path);
    }

    void newAccountSetIsListedAndLoggedIn() {
        dir->createAccountSet(QStringLiteral("旧"));
        setPassword(QStringLiteral("会计"), QStringLiteral("pw"));
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        hxtest::type(QStringLiteral("pw  "));
        dialogs->input(QStringLiteral("O'Neil 二〇二五"));
        QSignalSpy accept(&frm, &QDialog::accepted);
        QVERIFY(pickAccountSet(frm, QStringLiteral("新建工资库...")));
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(dialogs->shown[0].title, QStringLiteral("工资库文件名"));
        QCOMPARE(dialogs->shown[0].text, QString());
        const QString name = QStringLiteral("O'Neil 二〇二五.mdb");
        QCOMPARE(items(frm.cbbMDB),
                 (QStringList{QStringLiteral("旧.mdb"), QStringLiteral("新建工资库..."), name}));
        QCOMPARE(frm.cbbMDB->currentText(), name);
        QCOMPARE(accept.count(), 1);
        QCOMPARE(hx::curUser, QStringLiteral("会计"));
        QCOMPARE(hx::curAccountSet.location(), dir->file(name));
        QVERIFY(data->cnMain.isOpen());
        QVERIFY(hx::isAccountSet(dir->file(name)));
    }

    void emptyNameGivesDotMdb() {
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        dialogs->input(QString());
        // The only entry is the new one: the user opens the list and chooses it again.
        hxtest::key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), frm.cbbMDB);
        hxtest::key(Qt::Key_F4);
        QVERIFY(QTest::qWaitFor([&frm] { return frm.cbbMDB->view()->isVisible(); }, 2000));
        hxtest::key(Qt::Key_Return);
        QVERIFY(QFile::exists(dir->file(QStringLiteral(".mdb"))));
        QCOMPARE(hx::curAccountSet.location(), dir->file(QStringLiteral(".mdb")));
        QCOMPARE(frm.result(), int(QDialog::Accepted));
    }

    void invalidOrCancelledNameCreatesNothing() {
        dir->createAccountSet(QStringLiteral("厂"));
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        dialogs->input(QStringLiteral("a:b"));
        QVERIFY(pickAccountSet(frm, QStringLiteral("新建工资库...")));
        QCOMPARE(dialogs->lastText(), QStringLiteral("无效的名称！"));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("information"));
        dialogs->cancelInput();
        QVERIFY(pickAccountSet(frm, QStringLiteral("厂.mdb")));
        QVERIFY(pickAccountSet(frm, QStringLiteral("新建工资库...")));
        QCOMPARE(QDir(dir->path()).entryList({QStringLiteral("*.mdb")}, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("厂.mdb")});
        QCOMPARE(frm.cbbMDB->count(), 2);
        QVERIFY(frm.isVisible());
        QVERIFY(hx::curUser.isEmpty());
    }

    void anExistingAccountSetIsNeverReplaced() {
        const QString path = dir->createAccountSet(QStringLiteral("厂"));
        {
            hx::Connection cn;
            cn.open(path);
            cn.exec(QStringLiteral("insert into staff (StaffCode, StaffName, salaryDay) values (?, ?, ?)"),
                    {QStringLiteral("001"), QStringLiteral("张三"), 10});
        }
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        dialogs->input(QStringLiteral("厂"));
        QVERIFY(pickAccountSet(frm, QStringLiteral("新建工资库...")));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
        QVERIFY2(dialogs->lastText().contains(QStringLiteral("厂.mdb")), qPrintable(dialogs->lastText()));
        QCOMPARE(staffRows(path), 1);
        QCOMPARE(frm.cbbMDB->count(), 2);
        QVERIFY(frm.isVisible());
        QVERIFY(hx::curUser.isEmpty());
    }

    // One file under two names (a hard link) is never opened for writing: read only, with the reason
    // and what to do, as a read-only account set is.
    void aHardLinkedAccountSetIsOpenedReadOnly() {
        const QString path = dir->createAccountSet(QStringLiteral("厂"));
        QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("乙")));
        QCOMPARE(::link(QFile::encodeName(path).constData(),
                        QFile::encodeName(dir->file(QStringLiteral("乙/厂.mdb"))).constData()),
                 0);
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        hxtest::key(Qt::Key_Return);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
        QVERIFY2(dialogs->lastText().contains(QStringLiteral("有 2 个硬链接")) &&
                     dialogs->lastText().contains(QStringLiteral("请只通过一个路径使用")) &&
                     dialogs->lastText().endsWith(QStringLiteral("现在只能查看数据，不能保存任何修改。")),
                 qPrintable(dialogs->lastText()));
        QCOMPARE(hx::curAccountSet.location(), path);
        QVERIFY(data->cnMain.isReadOnly());
        QVERIFY(hx::accountSetReadOnly());
        QVERIFY(QGuiApplication::applicationDisplayName().endsWith(QStringLiteral("（只读）")));
    }

    // ---- account sets on a server (the one HEXIU_TEST_PG names, offered as the service "factory")

    // The server's sets follow the files; a server that is down stands as one entry and keeps nobody
    // out. The role's password is the server's, not the desk's, and a change of it holds at the next
    // login.
    void aServerSetIsListedAndLoggedInto() {
        if (!hxtest::TestServer::available())
            QSKIP("no server: run the tests through scripts/with-postgres.sh");
        hxtest::TestServer server;
        const std::shared_ptr<hx::ServerAccountSetStore> sets = hx::serverStore(server.service);
        sets->create(QStringLiteral("二车间"));
        hx::SystemStore(*sets).setPassword(QStringLiteral("生产"), QStringLiteral("pw"));
        dir->createAccountSet(QStringLiteral("厂"));
        hxtest::TestServer::offer(dir->path(), {QStringLiteral("gone"), server.service});
        const QString entry = hx::TLoginFrm::serverSetEntry(QStringLiteral("二车间"), server.service);
        {
            hx::TLoginFrm frm;
            QVERIFY(showLogin(frm));
            QCOMPARE(items(frm.cbbMDB),
                     (QStringList{QStringLiteral("厂.mdb"), QStringLiteral("服务器 gone（连不上）"), entry,
                                  QStringLiteral("新建工资库...")}));
            QVERIFY(dialogs->shown.isEmpty());
            // The desk's own password of the role (empty) does not open the server's sets.
            QVERIFY(pickRole(frm, 1));
            QVERIFY(pickAccountSet(frm, entry));
            QSignalSpy reject(&frm, &QDialog::rejected);
            hxtest::key(Qt::Key_Return);
            QCOMPARE(reject.count(), 1);
            QCOMPARE(dialogs->texts(), QStringList{QStringLiteral("密码不对，登录失败！")});
        }
        dialogs->reset();
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        QVERIFY(pickRole(frm, 1));
        hxtest::type(QStringLiteral(" pw"));
        QVERIFY(pickAccountSet(frm, entry));
        QSignalSpy accept(&frm, &QDialog::accepted);
        clickLogin(frm);
        QCOMPARE(accept.count(), 1);
        QVERIFY(dialogs->shown.isEmpty());
        QCOMPARE(hx::curUser, QStringLiteral("生产"));
        QCOMPARE(hx::curAccountSet.location(), QStringLiteral("factory/二车间"));
        QVERIFY(data->cnMain.writable());
        QCOMPARE(data->cnMain.scalar(QStringLiteral("select count(*) from salary")).toInt(), 35);

        dialogs->input(QStringLiteral("pw")).input(QStringLiteral("新 1")).input(QStringLiteral("新 1"));
        hx::changePassword();
        QCOMPARE(dialogs->lastText(), QStringLiteral("密码更改成功，下次登录生效！"));
        QVERIFY(hx::SystemStore(*hx::serverStore(server.service))
                    .checkPassword(QStringLiteral("生产"), QStringLiteral("新 1")));
        QVERIFY(hx::SystemStore().checkPassword(QStringLiteral("生产"), QString()));
    }

    // A server that cannot be reached says so, naming it, when the user logs in to it, and is asked
    // again each time; the window stays and the other account sets can be logged in to.
    void anUnreachableServerIsNamedAtLogin() {
        if (!hxtest::TestServer::available())
            QSKIP("no server: run the tests through scripts/with-postgres.sh");
        hxtest::TestServer server;
        dir->createAccountSet(QStringLiteral("厂"));
        hxtest::TestServer::offer(dir->path(), {QStringLiteral("gone"), QStringLiteral("two words")});
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        QCOMPARE(
            items(frm.cbbMDB),
            (QStringList{QStringLiteral("厂.mdb"), QStringLiteral("服务器 gone（连不上）"),
                         QStringLiteral("服务器 two words（连不上）"), QStringLiteral("新建工资库...")}));
        QVERIFY(pickAccountSet(frm, QStringLiteral("服务器 gone（连不上）")));
        QVERIFY(dialogs->shown.isEmpty());
        QSignalSpy finished(&frm, &QDialog::finished);
        for (int attempt = 1; attempt <= 2; ++attempt) {
            hxtest::key(Qt::Key_Return);
            QCOMPARE(dialogs->shown.size(), attempt);
            QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
            QCOMPARE(dialogs->lastText(),
                     QStringLiteral("连不上工资库服务器“gone”：服务器没有运行，或者从这台电脑连不上。"));
        }
        QVERIFY(pickAccountSet(frm, QStringLiteral("服务器 two words（连不上）")));
        hxtest::key(Qt::Key_Return);
        QVERIFY2(dialogs->lastText().contains(QStringLiteral("不是服务名")), qPrintable(dialogs->lastText()));
        QCOMPARE(finished.count(), 0);
        QVERIFY(frm.isVisible());
        QVERIFY(!data->cnMain.isOpen());
        QVERIFY(pickAccountSet(frm, QStringLiteral("厂.mdb")));
        hxtest::key(Qt::Key_Return);
        QCOMPARE(frm.result(), int(QDialog::Accepted));
    }

    // A server that goes away after the window listed its sets is named at the login, the window stays
    // with the list as it was, and once the server is back the same entry logs in.
    void aServerThatGoesAwayIsNamedAtLogin() {
        if (!hxtest::TestServer::available())
            QSKIP("no server: run the tests through scripts/with-postgres.sh");
        hxtest::TestServer server;
        hx::serverStore(server.service)->create(QStringLiteral("二车间"));
        hxtest::TestServer::offer(dir->path(), {server.service});
        const QString entry = hx::TLoginFrm::serverSetEntry(QStringLiteral("二车间"), server.service);
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        const QStringList listed = items(frm.cbbMDB);
        QCOMPARE(listed, (QStringList{entry, QStringLiteral("新建工资库...")}));

        // The service now leads to a port where nothing listens, as a server that is down does.
        const QByteArray serviceFile = qgetenv("PGSERVICEFILE");
        const QString down = dir->file(QStringLiteral("pg_service.conf"));
        {
            QFile f(down);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QStringLiteral("[%1]\nhost=127.0.0.1\nport=1\nuser=nobody\ndbname=nothing\n")
                        .arg(server.service)
                        .toUtf8());
        }
        qputenv("PGSERVICEFILE", QFile::encodeName(down));
        QSignalSpy finished(&frm, &QDialog::finished);
        QVERIFY(pickAccountSet(frm, entry));
        hxtest::key(Qt::Key_Return);
        qputenv("PGSERVICEFILE", serviceFile);
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QCOMPARE(dialogs->lastText(),
                 QStringLiteral("连不上工资库服务器“%1”：服务器没有运行，或者从这台电脑连不上。")
                     .arg(server.service));
        QCOMPARE(finished.count(), 0);
        QVERIFY(frm.isVisible());
        QVERIFY(!data->cnMain.isOpen());
        QCOMPARE(items(frm.cbbMDB), listed);

        hxtest::key(Qt::Key_Return);
        QCOMPARE(frm.result(), int(QDialog::Accepted));
        QCOMPARE(hx::curAccountSet.location(), server.service + QStringLiteral("/二车间"));
        QCOMPARE(data->cnMain.scalar(QStringLiteral("select count(*) from salary")).toInt(), 35);
    }

    // A server that comes up after the window opened is asked again at the login, and the login goes on
    // into its first account set, with its roles.
    void aServerThatComesUpIsLoggedIntoAtOnce() {
        if (!hxtest::TestServer::available())
            QSKIP("no server: run the tests through scripts/with-postgres.sh");
        hxtest::TestServer::offer(dir->path(), {QStringLiteral("later")});
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        QCOMPARE(items(frm.cbbMDB),
                 (QStringList{QStringLiteral("服务器 later（连不上）"), QStringLiteral("新建工资库...")}));
        hxtest::TestServer server(QStringLiteral("later"));
        const std::shared_ptr<hx::ServerAccountSetStore> sets = hx::serverStore(server.service);
        sets->create(QStringLiteral("A厂"));
        sets->create(QStringLiteral("B厂"));
        hx::SystemStore(*sets).setPassword(QStringLiteral("会计"), QStringLiteral("s"));
        hxtest::type(QStringLiteral("s"));
        clickLogin(frm);
        QVERIFY(dialogs->shown.isEmpty());
        QCOMPARE(frm.result(), int(QDialog::Accepted));
        QCOMPARE(items(frm.cbbMDB),
                 (QStringList{hx::TLoginFrm::serverSetEntry(QStringLiteral("A厂"), server.service),
                              hx::TLoginFrm::serverSetEntry(QStringLiteral("B厂"), server.service),
                              QStringLiteral("新建工资库...")}));
        QCOMPARE(hx::curAccountSet.location(), QStringLiteral("later/A厂"));
    }

    // The accountant chooses where a new account set goes; on a server it is made there and logged in
    // to with the server's password.
    void aNewAccountSetOnAServer() {
        if (!hxtest::TestServer::available())
            QSKIP("no server: run the tests through scripts/with-postgres.sh");
        hxtest::TestServer server;
        hx::SystemStore(*hx::serverStore(server.service))
            .setPassword(QStringLiteral("会计"), QStringLiteral("账"));
        hxtest::TestServer::offer(dir->path(), {server.service, QStringLiteral("it's")});
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        hxtest::type(QStringLiteral("账"));
        // The desk's password is not the server's: nothing is made.
        dialogs->choose(QStringLiteral("本机程序文件夹"));
        QVERIFY(pickAccountSet(frm, QStringLiteral("新建工资库...")));
        QCOMPARE(dialogs->offered,
                 (QStringList{QStringLiteral("本机程序文件夹"), QStringLiteral("服务器 factory")}));
        QCOMPARE(dialogs->lastText(), QStringLiteral("密码不对，不能新建工资库！"));
        dialogs->cancelChoice();
        QVERIFY(pickAccountSet(frm, QStringLiteral("服务器 it's（连不上）")));
        QVERIFY(pickAccountSet(frm, QStringLiteral("新建工资库...")));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("choose"));
        QCOMPARE(frm.cbbMDB->count(), 2);
        QVERIFY(pickAccountSet(frm, QStringLiteral("服务器 it's（连不上）")));

        dialogs->choose(QStringLiteral("服务器 factory")).input(QStringLiteral(" 三车间 "));
        QSignalSpy accept(&frm, &QDialog::accepted);
        QVERIFY(pickAccountSet(frm, QStringLiteral("新建工资库...")));
        QCOMPARE(dialogs->shown.last().title, QStringLiteral("工资库文件名"));
        QCOMPARE(accept.count(), 1);
        QCOMPARE(items(frm.cbbMDB),
                 (QStringList{QStringLiteral("服务器 it's（连不上）"), QStringLiteral("新建工资库..."),
                              hx::TLoginFrm::serverSetEntry(QStringLiteral("三车间"), server.service)}));
        QCOMPARE(hx::curAccountSet.location(), QStringLiteral("factory/三车间"));
        QCOMPARE(hx::serverStore(server.service)->list(), QStringList{QStringLiteral("三车间")});
        QVERIFY(QDir(dir->path()).entryList({QStringLiteral("*.mdb")}, QDir::Files).isEmpty());
        QCOMPARE(data->cnMain.scalar(QStringLiteral("select count(*) from salary")).toInt(), 35);
    }

    void aFailedCopyLeavesNoFile() {
        dir->createAccountSet(QStringLiteral("厂"));
        QVERIFY(QFile::remove(dir->file(QStringLiteral("mlcp.dll"))));
        hx::TLoginFrm frm;
        QVERIFY(showLogin(frm));
        dialogs->input(QStringLiteral("新"));
        QVERIFY(pickAccountSet(frm, QStringLiteral("新建工资库...")));
        QCOMPARE(dialogs->lastText(), QStringLiteral("创建不成功，请稍候重试！"));
        QVERIFY(!QFile::exists(dir->file(QStringLiteral("新.mdb"))));
        QCOMPARE(frm.cbbMDB->count(), 2);
    }
};

HX_WINDOW_TEST_MAIN(TestLogin)
#include "tst_login.moc"
