#include "gui/shell/startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QTranslator>

#include "core/data/datamodule.h"
#include "core/data/programdir.h"
#include "gui/shell/login.h"
#include "gui/shell/mainpanel.h"
#include "gui/shell/session.h"
#include "gui/widgets/dialogs.h"

namespace hx {

namespace {

// The program directory, also before the application object exists.
QString programDirectory() {
    if (QCoreApplication::instance()) return ProgramDir();
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    return exe.isEmpty() ? QDir::currentPath() : exe;
}

// The user and the desktop session: a login session where the system names one, else the display.
QString sessionKey() {
    QString session = qEnvironmentVariable("XDG_SESSION_ID");
    if (session.isEmpty()) session = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (session.isEmpty()) session = qEnvironmentVariable("DISPLAY");
    if (session.isEmpty()) session = QStringLiteral("console");
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9_.-]"));
    session.replace(unsafe, QStringLiteral("_"));
    return QStringLiteral("u%1-%2").arg(::getuid()).arg(session);
}

}  // namespace

QString SingleCopyGuard::sessionLockDirectory() {
    const QString parent = QDir(programDirectory()).filePath(QStringLiteral(".hxerpfzjjgzzs"));
    if (!QFileInfo::exists(parent) && QDir().mkpath(parent))
        ::chmod(QFile::encodeName(parent).constData(), 01777);  // every user makes a folder of their own
    const QString dir = QDir(parent).filePath(sessionKey());
    if (QDir().mkpath(dir) && QFileInfo(dir).isWritable()) return dir;
    return QDir::tempPath();
}

SingleCopyGuard::SingleCopyGuard() : SingleCopyGuard(sessionLockDirectory()) {}

SingleCopyGuard::SingleCopyGuard(const QString& directory)
    : m_fileName(QDir(directory).filePath(QStringLiteral("hxerpfzjjgzzs"))), m_lock(m_fileName) {
    // A running copy holds the lock however long it runs: only a dead owner makes it stale.
    m_lock.setStaleLockTime(0);
    m_acquired = m_lock.tryLock(0);
}

void setUpApplication(QApplication& app) {
    app.setApplicationName(applicationTitle());
    app.setApplicationDisplayName(applicationTitle());
    QFont font = app.font();
    QStringList families = font.families();
    if (families.isEmpty()) families << font.family();
    families << QStringLiteral("WenQuanYi Micro Hei");
    font.setFamilies(families);
    app.setFont(font);
    // Chinese captions on the buttons of Qt's own dialogs (OK, Cancel, file dialogs) where the
    // translations are installed; without them those captions stay English.
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
}

Program::Program() {
    m_main = std::make_unique<TmainFrm>();
    m_data = std::make_unique<TdataFrm>();
    setDataFrm(m_data.get());
    m_login = std::make_unique<TLoginFrm>();
}

Program::~Program() {
    m_login.reset();
    m_main.reset();
    setDataFrm(nullptr);
    m_data.reset();
    helpProc = nullptr;
    curUser.clear();
    curAccountSet = AccountSet();
}

bool Program::login() {
    if (m_login->exec() != QDialog::Accepted) return false;
    m_login.reset();
    m_main->show();
    return true;
}

int runProgram(int argc, char** argv) {
    // Before any window, and before connecting to the display: a second copy ends here, silently.
    SingleCopyGuard guard;
    if (!guard.acquired()) return 0;

    QApplication app(argc, argv);
    setUpApplication(app);
    Program program;
    if (!program.login()) return 0;
    return app.exec();
}

}  // namespace hx
