#include <unistd.h>
#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>

#include "gui/shell/startup.h"

// The single-copy guard; no window opens here (the start-up with its windows is tst_program).
class TestStartup : public QObject {
    Q_OBJECT

    // This test program started again as another process that takes the lock in `directory`.
    static void startHolder(QProcess& process, const QString& mode, const QString& directory) {
        process.start(QCoreApplication::applicationFilePath(), {mode, directory});
        QVERIFY(process.waitForStarted());
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
