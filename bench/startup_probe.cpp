// hexiu-startup-probe: runs the program's own start-up, unchanged, and writes "login-window-shown" on
// standard output the moment the login window is first painted. It then closes that window, which ends
// the program as a cancelled login does. The start-up benchmark times the probe from its launch to that
// line, so the figure holds process start, library loading, the start-up sequence and the first paint.
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "benchmark.h"
#include "data/programdir.h"
#include "shell/startup.h"

namespace {

bool isLoginWindow(const QWidget* w) {
    return w->inherits("TLoginFrm") || w->objectName() == QLatin1String("TLoginFrm") ||
           w->windowTitle() == QStringLiteral("登录");
}

class LoginWatcher : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* object, QEvent* event) override {
        if (m_seen || event->type() != QEvent::Paint || !object->isWidgetType()) return false;
        QWidget* window = static_cast<QWidget*>(object)->window();
        if (!isLoginWindow(window)) return false;
        m_seen = true;
        std::fputs("login-window-shown\n", stdout);
        std::fflush(stdout);
        QTimer::singleShot(0, window, [window] { window->close(); });
        return false;
    }

  private:
    bool m_seen = false;
};

// Runs as soon as the program has created its application object.
void installWatcher() {
    qApp->installEventFilter(new LoginWatcher(qApp));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(installWatcher)

int main(int argc, char** argv) {
    const QString dir = qEnvironmentVariable("HEXIU_PROBE_PROGRAM_DIR");
    if (!dir.isEmpty()) hx::setProgramDirOverride(dir);
    const int status = hx::runProgram(argc, argv);
    std::printf("peak-kb %ld\n", hxbench::peakResidentKb());
    return status;
}
