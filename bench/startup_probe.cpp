// hexiu-startup-probe: runs the program's own start-up, unchanged, and writes "login-window-shown" on
// standard output the moment the login window is first painted. It then closes that window, which ends
// the program as a cancelled login does. The start-up benchmark times the probe from its launch to that
// line, so the figure holds process start, library loading, the start-up sequence and the first paint.
//
// When no login window was painted, the probe says why on standard output: "another-copy-running PID
// LOCKFILE" when the program ended before it made its application object because another copy holds the
// single-copy lock in $TMPDIR, "no-window-shown" otherwise.
#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QLockFile>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "benchmark.h"
#include "core/data/programdir.h"
#include "gui/shell/startup.h"

namespace {

bool loginShown = false;
bool applicationMade = false;

bool isLoginWindow(const QWidget* w) {
    return w->inherits("TLoginFrm") || w->objectName() == QLatin1String("TLoginFrm") ||
           w->windowTitle() == QStringLiteral("登录");
}

class LoginWatcher : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* object, QEvent* event) override {
        if (loginShown || event->type() != QEvent::Paint || !object->isWidgetType()) return false;
        QWidget* window = static_cast<QWidget*>(object)->window();
        if (!isLoginWindow(window)) return false;
        loginShown = true;
        std::fputs("login-window-shown\n", stdout);
        std::fflush(stdout);
        QTimer::singleShot(0, window, [window] { window->close(); });
        return false;
    }
};

// Runs as soon as the program has created its application object.
void installWatcher() {
    applicationMade = true;
    qApp->installEventFilter(new LoginWatcher(qApp));
}

// Why the program ended without a login window. The single-copy lock is the one thing that ends it before
// it makes its application object; the lock file names the copy that holds it (0 when it cannot be read).
void reportNoWindow() {
    if (applicationMade) {
        std::puts("no-window-shown");
        return;
    }
    const QString lockFile = QDir(QDir::tempPath()).filePath(QStringLiteral("hxerpfzjjgzzs"));
    qint64 pid = 0;
    QString host, application;
    if (!QLockFile(lockFile).getLockInfo(&pid, &host, &application)) pid = 0;
    std::printf("another-copy-running %lld %s\n", static_cast<long long>(pid), qPrintable(lockFile));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(installWatcher)

int main(int argc, char** argv) {
    const QString dir = qEnvironmentVariable("HEXIU_PROBE_PROGRAM_DIR");
    if (!dir.isEmpty()) hx::setProgramDirOverride(dir);
    const int status = hx::runProgram(argc, argv);
    if (!loginShown) reportNoWindow();
    std::printf("peak-kb %ld\n", hxbench::peakResidentKb());
    return status;
}
