#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace hx {

class ServerAccountSetStore;

// The servers this desk offers are named in the program directory's servers.conf: one libpq service of
// pg_service.conf per line, "#" starting a comment. The file holds no password: libpq takes it from
// .pgpass or PGPASSFILE, as for every PostgreSQL client.
inline const QString serversFileName = QStringLiteral("servers.conf");

// One line of the servers file that names a service: its name, or why it cannot be used.
struct OfferedServer {
    OfferedServer(QString name, QString why) : service(std::move(name)), problem(std::move(why)) {}
    QString service;
    QString problem;  // empty when the service can be asked for
};

// The services of the servers file at `path`, in the order of the file, each once; a missing file offers
// none. A name that would carry more than a service name into the connection (a blank, a quote or a
// backslash) is kept with its problem instead, so that the user is told rather than shown nothing.
std::vector<OfferedServer> readServersFile(const QString& path);

// The store of a service's account sets, its backups going to the program directory.
std::shared_ptr<ServerAccountSetStore> serverStore(const QString& service);

}  // namespace hx
