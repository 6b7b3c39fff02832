#include "core/data/myfuns.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "core/data/connection.h"
#include "core/data/errors.h"

namespace hx {

void CopyMDB(const QString& source, const QString& target) {
    const QFileInfo sourceInfo(source);
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() && sourceInfo.exists() &&
        sourceInfo.canonicalFilePath() == targetInfo.canonicalFilePath())
        throw FileError(QStringLiteral("不能把文件“%1”复制到它自己。").arg(source));

    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("无法读取文件“%1”：%2").arg(source, in.errorString()));
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw FileError(QStringLiteral("无法写入文件“%1”：%2").arg(target, out.errorString()));

    constexpr qint64 chunk = 1 << 16;
    while (!in.atEnd()) {
        const QByteArray data = in.read(chunk);
        if (data.isEmpty() && in.error() != QFileDevice::NoError)
            throw FileError(QStringLiteral("无法读取文件“%1”：%2").arg(source, in.errorString()));
        if (out.write(data) != data.size())
            throw FileError(QStringLiteral("无法写入文件“%1”：%2").arg(target, out.errorString()));
    }
    if (!out.flush()) throw FileError(QStringLiteral("无法写入文件“%1”：%2").arg(target, out.errorString()));
    out.close();
    if (out.error() != QFileDevice::NoError)
        throw FileError(QStringLiteral("无法写入文件“%1”：%2").arg(target, out.errorString()));
}

void CompactMDB(const QString& source, const QString& target) {
    // SQLite accepts an existing empty file as the target of VACUUM INTO; the routine promises to fail
    // whenever the target exists.
    if (QFileInfo::exists(target))
        throw FileError(QStringLiteral("压缩的目标文件“%1”已经存在。").arg(target));
    Connection cn;
    cn.open(source);
    try {
        cn.exec(QStringLiteral("VACUUM INTO ?"), {target});
    } catch (const DbError& e) {
        throw FileError(QStringLiteral("无法压缩数据库“%1”：%2").arg(source, e.message()));
    }
    cn.close();
}

QStringList matchingFiles(const QString& mask) {
    const QFileInfo info(mask);
    const QDir dir(info.path(), info.fileName(), QDir::Unsorted, QDir::Files | QDir::Hidden | QDir::System);
    QStringList names = dir.entryList();
    // Compared by their capitals, as that file system's upcase table does, not by Qt's lower-case folding:
    // "_a" sorts after "B", and a name that differs from another only in case follows it in a fixed order.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const QString upperA = a.toUpper(), upperB = b.toUpper();
        return upperA != upperB ? upperA < upperB : a < b;
    });
    return names;
}

bool IsValidName(const QString& name) {
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    for (const QChar c : name)
        if (forbidden.contains(c)) return false;
    return true;
}

QString BackupFileName(const QString& path, const QDate& today) {
    QString base = path;
    base.chop(4);
    return base + today.toString(QStringLiteral("yyyy-MM-dd"));
}

}  // namespace hx
