#include "support/coresupport.h"

#include <QFile>

#include "core/data/programdir.h"
#include "core/data/schema.h"

namespace hxtest {

TempProgramDir::TempProgramDir() {
    hx::createSystemStore(file(QStringLiteral("sysunit.dll")));
    hx::createAccountSetTemplate(file(QStringLiteral("mlcp.dll")));
    hx::setProgramDirOverride(path());
}

TempProgramDir::~TempProgramDir() {
    hx::setProgramDirOverride(QString());
}

QString TempProgramDir::path() const {
    return m_dir.path() + QLatin1Char('/');
}

QString TempProgramDir::createAccountSet(const QString& name) const {
    const QString target = file(name + QStringLiteral(".mdb"));
    QFile::copy(file(QStringLiteral("mlcp.dll")), target);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return target;
}

}  // namespace hxtest
