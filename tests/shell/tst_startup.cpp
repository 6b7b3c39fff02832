#include <unistd.h>
#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "data/datamodule.h"
#include "shell/login.h"
#include "shell/mainpanel.h"
#include "shell/password.h"
#include "shell/session.h"
#include "shell/startup.h"
#include "support/testsupport.h"

using hxtest::ScriptedDialogs;
using hxtest::TempProgramDir;

class TestStartup : public QObject {
    Q_OBJECT

    // This test program started again as another process that takes the lock in `directory`.
    static void startHolder(QProcess& process, const QString& mode, const QString& directory) {
        process.start(QCoreApplication::applicationFilePath(), {mode, directory});
        QVERIFY(process.waitForStarted());
    }

    // Answers the login window once it is shown modally.
    static void whenLoginShows(hx::Program& program, const QString& password) {
        QTimer::singleShot(0, [&program, password] {
            hx::TLoginFrm* login = program.loginFrm();
            login->edtWiWa->setText(password);
            login->btnIn->click();
        });
    }

  private slots:
    void aSecondCopyIsRefusedWhileTheFirstRuns() {
        QTemporaryDir dir;
        QProcess holder;
        startHolder(holder, QStringLiteral("--hold-lock"), dir.path());
        QVERIFY(holder.waitForReadyRead());
        QCOMPARE(holder.readLine().trimmed(), QByteArray("locked"));
        QVERIFY(!hx::SingleCopyGuard(dir.path()).acquired());
        // Also within one process.
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished());
        hx::SingleCopyGuard first(dir.path());
        QVERIFY(first.acquired());
        QCOMPARE(QFileInfo(first.fileName()).fileName(), QStringLiteral("hxerpfzjjgzzs"));
        QVERIFY(!hx::SingleCopyGuard(dir.path()).acquired());
    }

    void theLockOfACrashedCopyDoesNotBlock() {
        QTemporaryDir dir;
        QProcess crashed;
        startHolder(crashed, QStringLiteral("--crash-with-lock"), dir.path());
        QVERIFY(crashed.waitForFinished());
        QCOMPARE(crashed.exitStatus(), QProcess::CrashExit);
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("hxerpfzjjgzzs"))));
        QVERIFY(hx::SingleCopyGuard(dir.path()).acquired());
    }

    void runProgramEndsSilentlyWhenAnotherCopyRuns() {
        hx::SingleCopyGuard running;
        QVERIFY(running.acquired());
        const int windows = QApplication::topLevelWidgets().size();
        char name[] = "hexiu-payroll";
        char* argv[] = {name, nullptr};
        QCOMPARE(hx::runProgram(1, argv), 0);
        QCOMPARE(QApplication::topLevelWidgets().size(), windows);
    }

    void startUpAndLogin() {
        TempProgramDir dir;
        ScriptedDialogs dialogs;
        const QString mdb = dir.createAccountSet(QStringLiteral("厂"));
        {
            hx::SystemStore store;
            store.setPassword(QStringLiteral("会计"), QStringLiteral("pw"));
        }
        {
            hx::Program program;
            QVERIFY(program.mainFrm() && !program.mainFrm()->isVisible());
            QVERIFY(program.loginFrm() && !program.loginFrm()->isVisible());
            QCOMPARE(hx::dataFrm(), program.dataModule());
            whenLoginShows(program, QStringLiteral(" pw"));
            QVERIFY(program.login());
            QVERIFY(!program.loginFrm());
            QVERIFY(program.mainFrm()->isVisible());
            QCOMPARE(program.mainFrm()->pos(), QPoint(0, 0));
            QCOMPARE(hx::curUser, QStringLiteral("会计"));
            QCOMPARE(hx::curMDB, mdb);
            QVERIFY(program.dataModule()->cnMain.isOpen());
        }
        // The end of the program clears the login values and the data module.
        QVERIFY(hx::curUser.isEmpty());
        QVERIFY(hx::curMDB.isEmpty());
        QVERIFY(!hx::dataFrm());
        HX_VERIFY_DIALOGS(dialogs);
    }

    void aWrongPasswordEndsWithoutThePanel() {
        TempProgramDir dir;
        ScriptedDialogs dialogs;
        dir.createAccountSet(QStringLiteral("厂"));
        hx::Program program;
        whenLoginShows(program, QStringLiteral("guess"));
        QVERIFY(!program.login());
        QVERIFY(!program.mainFrm()->isVisible());
        QCOMPARE(dialogs.texts(), QStringList{QStringLiteral("密码不对，登录失败！")});
        QVERIFY(hx::curUser.isEmpty());
        HX_VERIFY_DIALOGS(dialogs);
    }
};

// Started with "--hold-lock DIR" the program holds the lock until its standard input closes; with
// "--crash-with-lock DIR" it takes the lock and dies without releasing it.
int main(int argc, char** argv) {
    if (argc == 3 &&
        (std::strcmp(argv[1], "--hold-lock") == 0 || std::strcmp(argv[1], "--crash-with-lock") == 0)) {
        QCoreApplication app(argc, argv);
        hx::SingleCopyGuard guard(QString::fromLocal8Bit(argv[2]));
        if (!guard.acquired()) return 1;
        if (std::strcmp(argv[1], "--crash-with-lock") == 0) ::kill(::getpid(), SIGKILL);
        std::cout << "locked" << std::endl;
        std::string line;
        while (std::getline(std::cin, line)) {
        }
        return 0;
    }
    QApplication app(argc, argv);
    TestStartup test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
