#include "core/data/postgres/servers.h"

#include <QFile>
#include <QRegularExpression>

#include "core/data/errors.h"
#include "core/data/postgres/serverstore.h"
#include "core/data/programdir.h"

namespace hx {

std::vector<OfferedServer> readServersFile(const QString& path) {
    std::vector<OfferedServer> servers;
    QFile file(path);
    if (!file.exists()) return servers;
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("读不了服务器列表“%1”：%2").arg(path, file.errorString()));
    static const QRegularExpression unsafe(QStringLiteral("[\\s'\"\\\\]"));
    QStringList seen;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        QString line = QString::fromUtf8(raw);
        const int comment = line.indexOf(QLatin1Char('#'));
        if (comment >= 0) line.truncate(comment);
        const QString service = line.trimmed();
        if (service.isEmpty() || seen.contains(service)) continue;
        seen << service;
        if (service.contains(unsafe))
            servers.emplace_back(service,
                                 QStringLiteral("%1 中的“%2”不是服务名：服务名中不能有空格、引号或反斜杠。")
                                     .arg(serversFileName, service));
        else
            servers.emplace_back(service, QString());
    }
    return servers;
}

std::shared_ptr<ServerAccountSetStore> serverStore(const QString& service) {
    return std::make_shared<ServerAccountSetStore>(QStringLiteral("service=") + service, service,
                                                   ProgramDir());
}

}  // namespace hx
