#include "core/data/programdir.h"

#include <QCoreApplication>
#include <QDir>

namespace hx {

namespace {
QString& override() {
    static QString dir;
    return dir;
}
}  // namespace

QString ProgramDir() {
    QString dir = override().isEmpty() ? QCoreApplication::applicationDirPath() : override();
    dir = QDir::cleanPath(dir);
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir;
}

void setProgramDirOverride(const QString& directory) {
    override() = directory;
}

}  // namespace hx
