#include "core/data/schema.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QVector>
#include <algorithm>

#include "core/data/connection.h"

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

void createDatabaseFile(const QString& path, const QString& script) {
    if (QFileInfo::exists(path)) throw DbError(QStringLiteral("文件“%1”已经存在，不能覆盖。").arg(path));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            throw DbError(QStringLiteral("无法创建文件“%1”：%2").arg(path, file.errorString()));
    }
    try {
        Connection cn;
        cn.open(path);
        cn.execScript(QStringLiteral("BEGIN;") + script + QStringLiteral(";COMMIT;"));
        cn.close();
    } catch (...) {
        QFile::remove(path);
        throw;
    }
}

void createSystemStore(const QString& path) {
    createDatabaseFile(path, schemaSection(QStringLiteral("systemstore")));
}

void createAccountSetTemplate(const QString& path) {
    createDatabaseFile(path, schemaSection(QStringLiteral("accountset")) + QLatin1Char(';') +
                                 schemaSection(QStringLiteral("basemonth")));
}

namespace {
QString withoutComments(const QString& statement) {
    QStringList lines;
    for (const QString& line : statement.split(QLatin1Char('\n')))
        if (!line.trimmed().startsWith(QLatin1String("--"))) lines << line;
    return lines.join(QLatin1Char('\n')).trimmed();
}

QString folded(const QString& sql) {
    return sql.simplified().toLower();
}
}  // namespace

void upgradeAccountSet(Connection& cn) {
    static const QRegularExpression viewName(QStringLiteral("^create\\s+view\\s+(\\w+)"),
                                             QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tableName(QStringLiteral("^create\\s+table\\s+(\\w+)"),
                                              QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression indexHead(QStringLiteral("^create\\s+(unique\\s+)?index\\s+"),
                                              QRegularExpression::CaseInsensitiveOption);
    // Comments go first: they may hold semicolons.
    const QString script = withoutComments(schemaSection(QStringLiteral("accountset")));
    for (const QString& piece : script.split(QLatin1Char(';'))) {
        const QString statement = piece.trimmed();
        const auto view = viewName.match(statement);
        if (view.hasMatch()) {
            const QString stored = cn.viewDefinition(view.captured(1));
            if (folded(stored) == folded(statement)) continue;
            Transaction t(cn);
            cn.exec(QStringLiteral("drop view if exists ") + view.captured(1));
            cn.exec(statement);
            t.commit();
            continue;
        }
        // A table added since (the production orders and their tickets) is made empty; its indexes
        // follow it in the script.
        const auto table = tableName.match(statement);
        if (table.hasMatch()) {
            if (!cn.tableExists(table.captured(1))) cn.exec(statement);
            continue;
        }
        const auto index = indexHead.match(statement);
        if (index.hasMatch()) {
            QString create = statement;
            create.replace(index.capturedStart(), index.capturedLength(),
                           index.captured(0) + QStringLiteral("if not exists "));
            try {
                cn.exec(create);
            } catch (const DbError&) {
                // An index that cannot be built on old rows only costs speed; the account set stays usable.
            }
        }
    }
}

QStringList accountSetTables() {
    return {QStringLiteral("staff"),  QStringLiteral("job"),        QStringLiteral("JobData"),
            QStringLiteral("salary"), QStringLiteral("salaryData"), QStringLiteral("wCodeName")};
}

QStringList productionTables() {
    return {QStringLiteral("prodOrder"), QStringLiteral("bundle"), QStringLiteral("bundleTicket")};
}

namespace {

struct Column {
    QString name;  // lower case: the engine's names do not depend on case
    FieldType type;
};
using TableColumns = QVector<Column>;

TableColumns columnsOf(Connection& cn, const QString& table) {
    TableColumns columns;
    for (const TableColumn& column : cn.tableColumns(table))
        columns.push_back({column.name.toLower(), column.type.type});
    return columns;
}

// The columns of the account-set tables as the schema script makes them, read once.
const QVector<TableColumns>& expectedColumns() {
    static const QVector<TableColumns> expected = [] {
        Connection cn;
        cn.openInMemory();
        cn.execScript(schemaSection(QStringLiteral("accountset")));
        QVector<TableColumns> tables;
        for (const QString& table : accountSetTables()) tables.push_back(columnsOf(cn, table));
        return tables;
    }();
    return expected;
}

}  // namespace

QString accountSetProblem(const QString& path) {
    try {
        Connection cn;
        // Only read: a file that turns out to be something else is never written to, not even its journal.
        cn.open(path, Connection::Access::ReadOnly);
        const QStringList tables = accountSetTables();
        const QVector<TableColumns>& expected = expectedColumns();
        for (int i = 0; i < tables.size(); ++i) {
            const QString& table = tables[i];
            if (!cn.tableExists(table)) return QStringLiteral("没有“%1”表").arg(table);
            const TableColumns found = columnsOf(cn, table);
            // Every version of ours has had exactly these columns, of these kinds; an earlier one differs
            // in checks, views and indexes only, which the upgrade brings up to date.
            for (const Column& want : expected[i]) {
                const auto match = std::find_if(found.begin(), found.end(),
                                                [&](const Column& c) { return c.name == want.name; });
                if (match == found.end()) return QStringLiteral("“%1”表没有“%2”列").arg(table, want.name);
                if (match->type != want.type)
                    return QStringLiteral("“%1”表的“%2”列类型不对").arg(table, want.name);
            }
            if (found.size() != expected[i].size()) return QStringLiteral("“%1”表有多余的列").arg(table);
        }
        return QString();
    } catch (const DbError& e) {
        return e.message();
    }
}

bool isAccountSet(const QString& path) {
    return accountSetProblem(path).isEmpty();
}

}  // namespace hx
