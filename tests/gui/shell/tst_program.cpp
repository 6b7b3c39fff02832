#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "core/data/connection.h"
#include "core/data/datamodule.h"
#include "core/data/password.h"
#include "gui/registers/staff.h"
#include "gui/shell/login.h"
#include "gui/shell/mainpanel.h"
#include "gui/shell/session.h"
#include "gui/shell/startup.h"
#include "support/testsupport.h"

using hxtest::ScriptedDialogs;
using hxtest::TempProgramDir;

// The program from its start to its end, as the user meets it: the login window comes up on its own,
// the password is typed into it, and the main panel follows.
class TestProgram : public QObject {
    Q_OBJECT

    // Once the modal login window is up and active, types the password where the focus is and presses
    // Enter, as the user does. `shown` tells whether the window became active with the password focused.
    static void whenLoginShows(hx::Program& program, const QString& password, bool& shown) {
        QTimer::singleShot(0, [&program, password, &shown] {
            hx::TLoginFrm* login = program.loginFrm();
            shown = QTest::qWaitForWindowActive(login) && QApplication::focusWidget() == login->edtWiWa;
            hxtest::type(password);
            hxtest::key(Qt::Key_Return);
        });
    }

  private slots:
    void startUpAndLogin() {
        TempProgramDir dir;
        ScriptedDialogs dialogs;
        const QString mdb = dir.createAccountSet(QStringLiteral("厂"));
        {
            hx::SystemStore store;
            store.setPassword(QStringLiteral("会计"), QStringLiteral("pw"));
            hx::Connection cn;
            cn.open(mdb);
            cn.exec(QStringLiteral(
                "insert into staff (StaffCode, StaffName) values ('001', '甲'), ('002', '乙')"));
        }
        {
            hx::Program program;
            QVERIFY(program.mainFrm() && !program.mainFrm()->isVisible());
            QVERIFY(program.loginFrm() && !program.loginFrm()->isVisible());
            QCOMPARE(hx::dataFrm(), program.dataModule());
            bool shown = false;
            whenLoginShows(program, QStringLiteral(" pw"), shown);
            QVERIFY(program.login());
            QVERIFY(shown);
            QVERIFY(!program.loginFrm());
            hx::TmainFrm* panel = program.mainFrm();
            QVERIFY(QTest::qWaitForWindowExposed(panel));
            QCOMPARE(panel->pos(), QPoint(0, 0));
            QCOMPARE(hx::curUser, QStringLiteral("会计"));
            QCOMPARE(hx::curAccountSet.location(), mdb);
            QVERIFY(program.dataModule()->cnMain.isOpen());
            // A work window opens from the panel on the account set of the login.
            QTest::mouseClick(panel->lblStaff, Qt::LeftButton);
            auto* staff = qobject_cast<hx::TstaffFrm*>(panel->workWindow(hx::Entry::Staff));
            QVERIFY(staff && QTest::qWaitForWindowActive(staff));
            auto* grid = staff->findChild<QAbstractItemView*>(QStringLiteral("grdMain"));
            QVERIFY(grid);
            // "X" ends the event loop at once, with no question, after the row being typed is stored; a
            // row the database refuses keeps the program, with the reason, until it is corrected or
            // dropped.
            bool refusedKept = false;
            QTimer::singleShot(0, panel->btnQuit, [&] {
                QVERIFY(hxtest::enterCell(grid, 1, 0));
                hxtest::type(QStringLiteral("001"));
                QTest::mouseClick(panel->btnQuit, Qt::LeftButton);
                refusedKept =
                    staff->isVisible() && dialogs.lastReason() == QStringLiteral("工号“001”已经存在");
                hxtest::key(Qt::Key_Escape);
                QVERIFY(hxtest::enterCell(grid, 0, 1));
                hxtest::type(QStringLiteral("改名"));
                QTest::mouseClick(panel->btnQuit, Qt::LeftButton);
            });
            QCOMPARE(QApplication::exec(), 0);
            QVERIFY(refusedKept);
        }
        {
            hx::Connection cn;
            cn.open(mdb);
            QCOMPARE(cn.scalar(QStringLiteral("select group_concat(StaffCode || StaffName, ',') from "
                                              "(select * from staff order by StaffCode)"))
                         .toString(),
                     QStringLiteral("001改名,002乙"));
        }
        // The end of the program clears the login values and the data module.
        QVERIFY(hx::curUser.isEmpty());
        QVERIFY(hx::curAccountSet.isEmpty());
        QVERIFY(!hx::dataFrm());
        QVERIFY(!hx::helpProc);
        HX_VERIFY_DIALOGS(dialogs);
    }

    void aWrongPasswordEndsWithoutThePanel() {
        TempProgramDir dir;
        ScriptedDialogs dialogs;
        dir.createAccountSet(QStringLiteral("厂"));
        hx::Program program;
        bool shown = false;
        whenLoginShows(program, QStringLiteral("guess"), shown);
        QVERIFY(!program.login());
        QVERIFY(shown);
        QVERIFY(!program.mainFrm()->isVisible());
        QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("密码不对，登录失败！")});
        QVERIFY(hx::curUser.isEmpty());
        QVERIFY(!program.dataModule()->cnMain.isOpen());
        HX_VERIFY_DIALOGS(dialogs);
    }
};

HX_WINDOW_TEST_MAIN(TestProgram)
#include "tst_program.moc"
