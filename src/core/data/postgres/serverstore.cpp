#include "core/data/postgres/serverstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/data/myfuns.h"
#include "core/data/postgres/postgresdatabase.h"
#include "core/data/schema.h"

namespace hx {

namespace {

const QString systemSchema = QStringLiteral("hexiu_system");

// A section of the server's schema script.
QString serverSchemaSection(const QString& name) {
    QFile file(QStringLiteral(":/data/postgres/schema.sql"));
    if (!file.open(QIODevice::ReadOnly)) throw DbError(QStringLiteral("找不到服务器的数据库结构脚本。"));
    const QString script = QString::fromUtf8(file.readAll());
    const QString marker = QStringLiteral("-- @section ");
    const int start = script.indexOf(marker + name + QLatin1Char('\n'));
    if (start < 0) throw DbError(QStringLiteral("服务器的数据库结构脚本中没有“%1”部分。").arg(name));
    const int bodyStart = start + marker.size() + name.size() + 1;
    const int next = script.indexOf(marker, bodyStart);
    return script.mid(bodyStart, next < 0 ? -1 : next - bodyStart);
}

QString q(const QString& name) {
    return postgresDialect().quoted(name);
}

// The lock that one desk holds while it makes the system schema.
constexpr qint64 systemStoreLock = 0x68657869755f7379;

bool hasSystemStore(Connection& cn) {
    return cn.scalar(QStringLiteral("select count(*) from pg_catalog.pg_namespace where nspname = ?"),
                     {systemSchema})
               .toInt() == 1;
}

// The system schema with the three roles, made once for the whole server; inside the caller's transaction.
// Desks that start on a new server at the same time wait for each other here, and the ones after the
// first find the schema made.
void ensureSystemStore(Connection& cn) {
    if (hasSystemStore(cn)) return;
    cn.execScript(QStringLiteral("select pg_advisory_xact_lock(%1)").arg(systemStoreLock));
    if (hasSystemStore(cn)) return;
    cn.execScript(QStringLiteral("create schema %1; set local search_path to %1;").arg(q(systemSchema)) +
                  serverSchemaSection(QStringLiteral("systemstore")) +
                  QStringLiteral(";set local search_path to default;"));
}

}  // namespace

void copyAccountSetRows(Connection& from, Connection& to) {
    const Dialect& target = to.dialect();
    for (const QString& table : accountSetTables() + productionTables()) {
        // A file of an earlier version has no production orders: restored, the set has none either.
        if (!from.tableExists(table)) {
            to.exec(QStringLiteral("delete from %1").arg(target.quoted(table)));
            continue;
        }
        QStringList columns;
        for (const TableColumn& c : to.tableColumns(table)) columns << target.quoted(c.name);
        if (columns.isEmpty()) throw DbError(QStringLiteral("工资库中没有“%1”表。").arg(table));
        QStringList read;
        for (const TableColumn& c : to.tableColumns(table)) read << from.dialect().quoted(c.name);
        PreparedStatement rows(from, QStringLiteral("select %1 from %2")
                                         .arg(read.join(QLatin1Char(',')), from.dialect().quoted(table)));
        if (table.compare(QLatin1String("wCodeName"), Qt::CaseInsensitive) == 0) {
            // The table of one row keeps its row: the widths are written over it.
            if (!rows.next()) continue;
            QStringList sets;
            QVariantList values;
            for (int c = 0; c < columns.size(); ++c) {
                sets << columns[c] + QStringLiteral(" = ?");
                values << rows.value(c);
            }
            to.exec(QStringLiteral("update %1 set %2").arg(target.quoted(table), sets.join(QLatin1Char(','))),
                    values);
            continue;
        }
        to.exec(QStringLiteral("delete from %1").arg(target.quoted(table)));
        RowWriter writer(to, target.quoted(table), columns);
        while (rows.next())
            for (int c = 0; c < columns.size(); ++c) writer.add(rows.value(c));
        writer.finish();
    }
}

ServerAccountSetStore::ServerAccountSetStore(QString connection, QString displayName, QString backupFolder)
    : m_connection(std::move(connection)),
      m_displayName(std::move(displayName)),
      m_backupFolder(std::move(backupFolder)) {}

QStringList ServerAccountSetStore::list() const {
    Connection cn;
    cn.open(PostgresDatabase::open(m_connection, QString(), true), m_displayName);
    QStringList names;
    if (!hasSystemStore(cn)) return names;
    PreparedStatement q(cn, QStringLiteral("select name from %1.accountset order by name").arg(systemSchema));
    while (q.next()) names << q.text(0);
    return names;
}

bool ServerAccountSetStore::isValidTitle(const QString& title) const {
    const QString t = title.trimmed();
    return !t.isEmpty() && t.size() <= 60 && !t.startsWith(QLatin1String("pg_")) &&
           t.compare(systemSchema, Qt::CaseInsensitive) != 0 && !t.contains(QLatin1Char('"'));
}

bool ServerAccountSetStore::contains(const QString& name) const {
    return list().contains(name);
}

void ServerAccountSetStore::create(const QString& name) {
    if (!isValidTitle(name)) throw DbError(QStringLiteral("“%1”不能用作工资库的名称。").arg(name));
    Connection cn;
    cn.open(PostgresDatabase::open(m_connection, QString(), false), m_displayName);
    // Everything in one transaction: a failure leaves nothing behind on the server.
    Transaction t(cn);
    ensureSystemStore(cn);
    if (cn.scalar(QStringLiteral("select count(*) from %1.accountset where name = ?").arg(systemSchema),
                  {name})
                .toInt() > 0 ||
        cn.scalar(QStringLiteral("select count(*) from pg_catalog.pg_namespace where nspname = lower(?)"),
                  {name})
                .toInt() > 0)
        throw DbError(QStringLiteral("工资库服务器“%1”上已经有工资库“%2”。").arg(m_displayName, name));
    cn.exec(QStringLiteral("insert into %1.accountset (name) values (?)").arg(systemSchema), {name});
    cn.execScript(QStringLiteral("create schema %1; set local search_path to %1;").arg(q(name)) +
                  serverSchemaSection(QStringLiteral("accountset")) + QLatin1Char(';') +
                  schemaSection(QStringLiteral("basemonth")) +
                  QStringLiteral(";set local search_path to default;"));
    t.commit();
}

namespace {

// A set made by an earlier version lacks the tables added since (the production orders, their bundles
// and tickets): they are made empty, with their indexes, as the schema script has them.
void addMissingTables(Connection& cn) {
    const QStringList tables = productionTables();
    if (std::all_of(tables.begin(), tables.end(), [&](const QString& t) { return cn.tableExists(t); }))
        return;
    static const QRegularExpression head(QStringLiteral("^create\\s+(table|unique\\s+index|index)\\s+"),
                                         QRegularExpression::CaseInsensitiveOption);
    QStringList lines;
    for (const QString& line : serverSchemaSection(QStringLiteral("accountset")).split(QLatin1Char('\n')))
        lines << line.section(QStringLiteral("--"), 0, 0);
    Transaction t(cn);
    for (const QString& piece : lines.join(QLatin1Char('\n')).split(QLatin1Char(';'))) {
        QString statement = piece.trimmed();
        const auto m = head.match(statement);
        if (!m.hasMatch()) continue;
        statement.insert(m.capturedEnd(), QStringLiteral("if not exists "));
        cn.exec(statement);
    }
    t.commit();
}

}  // namespace

QString ServerAccountSetStore::open(const QString& name, Connection& cn) const {
    cn.open(PostgresDatabase::open(m_connection, name, false), location(name));
    if (!cn.writable())
        return QStringLiteral("工资库服务器“%1”现在只能查看，不能保存任何修改。").arg(m_displayName);
    addMissingTables(cn);
    return QString();
}

void ServerAccountSetStore::openReadOnly(const QString& name, Connection& cn) const {
    cn.open(PostgresDatabase::open(m_connection, name, true), location(name));
}

void ServerAccountSetStore::openSystemStore(Connection& cn) const {
    cn.open(PostgresDatabase::open(m_connection, QString(), false), m_displayName);
    {
        Transaction t(cn);
        ensureSystemStore(cn);
        t.commit();
    }
    cn.open(PostgresDatabase::open(m_connection, systemSchema, false), m_displayName);
}

QString ServerAccountSetStore::location(const QString& name) const {
    return QStringLiteral("%1/%2").arg(m_displayName, name);
}

namespace {

// Writes the account set open on `cn` to the account-set file `target`, replacing it only by a complete
// copy that passes the integrity check. Rows in edit are stored first.
void writeBackup(Connection& cn, const QString& target) {
    const QString scratch = target + QStringLiteral(".server");
    cn.storePendingEdits();
    QFile::remove(scratch);
    try {
        createAccountSetTemplate(scratch);
        Connection file;
        file.open(scratch);
        {
            // One snapshot of the server set: what other desks store meanwhile is in it wholly or not at all.
            cn.execScript(
                QStringLiteral("set session characteristics as transaction isolation level repeatable read"));
            struct ReadCommittedAgain {
                Connection& cn;
                ~ReadCommittedAgain() {
                    try {
                        cn.execScript(QStringLiteral(
                            "set session characteristics as transaction isolation level read committed"));
                    } catch (const DbError&) {
                        // A connection that is gone takes its setting with it.
                    }
                }
            } again{cn};
            Transaction read(cn);
            Transaction write(file);
            copyAccountSetRows(cn, file);
            write.commit();
            read.commit();
        }
        file.close();
        CopyMDBChecked(scratch, target);
    } catch (...) {
        QFile::remove(scratch);
        throw;
    }
    QFile::remove(scratch);
}

}  // namespace

QString ServerAccountSetStore::backup(Connection& cn, const QString& name, const QDate& today) {
    const QString target =
        BackupFileName(QDir(m_backupFolder).filePath(name + QStringLiteral(".mdb")), today) +
        QStringLiteral(".mdb");
    writeBackup(cn, target);
    cn.closeDataSets();
    return target;
}

QString ServerAccountSetStore::restore(Connection& cn, const QString& name, const QString& source,
                                       const QDate& today) {
    const QString problem = accountSetProblem(source);
    if (!problem.isEmpty())
        throw FileError(QStringLiteral("“%1”不是工资库文件，没有恢复。（%2）")
                            .arg(QDir::toNativeSeparators(source), problem));
    if (!passesIntegrityCheck(source))
        throw FileError(QStringLiteral("要恢复的文件未通过完整性检查，没有恢复。"));
    // The server set as it was, first, as a file restore keeps one; never over the day's backup, which
    // may be the very file restored from.
    const QString base = BackupFileName(QDir(m_backupFolder).filePath(name + QStringLiteral(".mdb")), today) +
                         QStringLiteral("恢复前");
    QString kept = base + QStringLiteral(".mdb");
    for (int n = 2; QFileInfo::exists(kept); ++n) kept = base + QStringLiteral("-%1.mdb").arg(n);
    try {
        writeBackup(cn, kept);
    } catch (const Error& e) {
        throw FileError(
            QStringLiteral("恢复前的工资库没能另存：%1\n没有恢复，工资库没有改动。").arg(e.message()));
    }
    Connection from;
    from.open(source, Connection::Access::ReadOnly);
    {
        Transaction t(cn);
        copyAccountSetRows(from, cn);
        // The counters of the keys go on after the restored rows.
        cn.execScript(QStringLiteral(
            "select setval(pg_get_serial_sequence('staff', 'staffid'), coalesce(max(staffid), "
            "0) + 1, false) from staff;"
            "select setval(pg_get_serial_sequence('job', 'jobid'), coalesce(max(jobid), 0) + "
            "1, false) from job;"
            "select setval(pg_get_serial_sequence('prodorder', 'orderid'), coalesce(max(orderid), "
            "0) + 1, false) from prodorder;"
            "select setval(pg_get_serial_sequence('bundle', 'bundleid'), coalesce(max(bundleid), "
            "0) + 1, false) from bundle;"
            "select setval(pg_get_serial_sequence('bundleticket', 'ticketid'), "
            "coalesce(max(ticketid), 0) + 1, false) from bundleticket;"));
        t.commit();
    }
    cn.closeDataSets();
    return kept;
}

}  // namespace hx
