#include "data/schema.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include "data/connection.h"

namespace hx {

QString schemaSection(const QString& name) {
    QFile file(QStringLiteral(":/data/schema.sql"));
    if (!file.open(QIODevice::ReadOnly)) throw DbError(QStringLiteral("找不到数据库结构脚本。"));
    const QString script = QString::fromUtf8(file.readAll());
    const QString marker = QStringLiteral("-- @section ");
    const int start = script.indexOf(marker + name + QLatin1Char('\n'));
    if (start < 0) throw DbError(QStringLiteral("数据库结构脚本中没有“%1”部分。").arg(name));
    const int bodyStart = start + marker.size() + name.size() + 1;
    const int next = script.indexOf(marker, bodyStart);
    return script.mid(bodyStart, next < 0 ? -1 : next - bodyStart);
}

void createDatabaseFile(const QString& path, const QString& section) {
    if (QFileInfo::exists(path)) throw DbError(QStringLiteral("文件“%1”已经存在，不能覆盖。").arg(path));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            throw DbError(QStringLiteral("无法创建文件“%1”：%2").arg(path, file.errorString()));
    }
    try {
        Connection cn;
        cn.open(path);
        cn.execScript(QStringLiteral("BEGIN;") + schemaSection(section) + QStringLiteral(";COMMIT;"));
        cn.close();
    } catch (...) {
        QFile::remove(path);
        throw;
    }
}

void createSystemStore(const QString& path) {
    createDatabaseFile(path, QStringLiteral("systemstore"));
}

void createAccountSetTemplate(const QString& path) {
    createDatabaseFile(path, QStringLiteral("accountset"));
}

QStringList accountSetTables() {
    return {QStringLiteral("staff"),  QStringLiteral("job"),        QStringLiteral("JobData"),
            QStringLiteral("salary"), QStringLiteral("salaryData"), QStringLiteral("wCodeName")};
}

bool isAccountSet(const QString& path) {
    try {
        Connection cn;
        cn.open(path);
        for (const QString& table : accountSetTables()) {
            const QVariant n = cn.scalar(
                QStringLiteral(
                    "select count(*) from sqlite_master where type='table' and name=? collate nocase"),
                {table});
            if (n.toInt() != 1) return false;
        }
        return true;
    } catch (const DbError&) {
        return false;
    }
}

}  // namespace hx
