#include "support/coresupport.h"

#include <libpq-fe.h>
#include <xlsxwriter.h>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "core/data/dataset.h"
#include "core/data/errors.h"
#include "core/data/postgres/postgresdatabase.h"
#include "core/data/postgres/servers.h"
#include "core/data/postgres/serverstore.h"
#include "core/data/programdir.h"
#include "core/data/schema.h"

namespace hxtest {

namespace {

// A test stopped by an exception it did not expect says which: the test library names none.
const bool uncaughtExceptionsAreNamed = [] {
    std::set_terminate([] {
        if (const std::exception_ptr thrown = std::current_exception()) {
            try {
                std::rethrow_exception(thrown);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "uncaught exception: %s\n", e.what());
            } catch (...) {
                std::fputs("uncaught exception of an unknown type\n", stderr);
            }
        }
        std::abort();
    });
    return true;
}();

}  // namespace

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

QString TempProgramDir::writeFile(const QString& name, const QString& text) const {
    const QString target = file(name);
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(target));
    out.write(text.toUtf8());
    return target;
}

QString TempProgramDir::createAccountSet(const QString& name) const {
    const QString target = file(name + QStringLiteral(".mdb"));
    QFile::copy(file(QStringLiteral("mlcp.dll")), target);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    return target;
}

namespace {

// The test server's connection parameters, as pg_service.conf lines, without its database.
QStringList serverParameters() {
    const QByteArray given = qgetenv("HEXIU_TEST_PG");
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(given.constData(), &error);
    if (!options) {
        const QString why = QString::fromUtf8(error ? error : "");
        PQfreemem(error);
        qFatal("HEXIU_TEST_PG is no connection string: %s", qPrintable(why));
    }
    QStringList lines;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        if (o->val && *o->val && qstrcmp(o->keyword, "dbname") != 0)
            lines << QStringLiteral("%1=%2").arg(QString::fromUtf8(o->keyword), QString::fromUtf8(o->val));
    PQconninfoFree(options);
    return lines;
}

void onServer(const QString& statement) {
    hx::Connection cn;
    cn.open(hx::PostgresDatabase::open(qEnvironmentVariable("HEXIU_TEST_PG"), QString(), false),
            QStringLiteral("test server"));
    cn.execScript(statement);
}

}  // namespace

bool TestServer::available() {
    return !qEnvironmentVariable("HEXIU_TEST_PG").isEmpty();
}

TestServer::TestServer(const QString& serviceName)
    : service(serviceName),
      m_database(QStringLiteral("hexiu_t%1").arg(QRandomGenerator::global()->bounded(1u << 30))),
      m_serviceFileBefore(qgetenv("PGSERVICEFILE")) {
    onServer(QStringLiteral("create database %1").arg(m_database));
    QFile file(m_folder.filePath(QStringLiteral("pg_service.conf")));
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write pg_service.conf");
    const QString text = QStringLiteral(
                             "[%1]\n%2\ndbname=%3\n\n[gone]\nhost=127.0.0.1\nport=1\nuser=nobody\n"
                             "dbname=nothing\n")
                             .arg(service, serverParameters().join(QLatin1Char('\n')), m_database);
    file.write(text.toUtf8());
    file.close();
    qputenv("PGSERVICEFILE", QFile::encodeName(file.fileName()));
}

TestServer::~TestServer() {
    if (m_serviceFileBefore.isEmpty())
        qunsetenv("PGSERVICEFILE");
    else
        qputenv("PGSERVICEFILE", m_serviceFileBefore);
    try {
        onServer(QStringLiteral("drop database if exists %1 with (force)").arg(m_database));
    } catch (const hx::Error& e) {
        qWarning("the test database %s stays: %s", qPrintable(m_database), qPrintable(e.message()));
    }
}

void TestServer::offer(const QString& programDir, const QStringList& lines) {
    QFile file(programDir + hx::serversFileName);
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write the servers file");
    file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

Engine testEngine() {
    static const Engine engine =
        qEnvironmentVariable("HEXIU_TEST_ENGINE") == QLatin1String("server") ? Engine::Server : Engine::File;
    return engine;
}

namespace {

// The server account sets of the whole test run live in one database of the test server, one schema
// each; the database goes when the process ends.
std::shared_ptr<hx::ServerAccountSetStore> testServerStore() {
    static TestServer server(QStringLiteral("tests"));
    static const auto store = std::make_shared<hx::ServerAccountSetStore>(
        server.connection(), QStringLiteral("测试服务器"), QString());
    return store;
}

// The account sets made on the test server by location, for a second desk to open.
QHash<QString, hx::AccountSet>& serverSetsByLocation() {
    static QHash<QString, hx::AccountSet> sets;
    return sets;
}

}  // namespace

hx::AccountSet TempProgramDir::newAccountSet(const QString& name) const {
    if (testEngine() == Engine::File) return hx::accountSetAt(createAccountSet(name));
    if (!TestServer::available()) {
        std::puts("skipped: HEXIU_TEST_ENGINE=server, but HEXIU_TEST_PG names no test server");
        std::exit(skippedExitCode);
    }
    static int made = 0;
    const auto store = testServerStore();
    const QString unique = QStringLiteral("%1_%2").arg(name).arg(++made);
    store->create(unique);
    hx::AccountSet set(unique, store);
    serverSetsByLocation().insert(set.location(), set);
    return set;
}

void openAgain(hx::Connection& other, const hx::Connection& cn, hx::Connection::Access access) {
    const auto server = serverSetsByLocation().constFind(cn.path());
    if (server == serverSetsByLocation().cend()) {
        other.open(cn.path(), access);
    } else if (access == hx::Connection::Access::ReadOnly) {
        server->openReadOnly(other);
    } else {
        server->open(other);
    }
}

OpenAccountSet::OpenAccountSet(hx::Connection& cn, const QString& name)
    : accountSet(newAccountSet(name)), path(accountSet.location()), m_cn(cn) {
    accountSet.open(m_cn);
}

OpenAccountSet::~OpenAccountSet() {
    m_cn.close();
}

int rowCount(hx::Connection& cn, const QString& table, const QString& where) {
    return cn.scalar(QStringLiteral("select count(*) from %1 where %2").arg(table, where)).toInt();
}

QString rowsText(hx::Connection& cn, const QString& table, const QString& key, const QStringList& columns,
                 const QString& where) {
    hx::PreparedStatement rows(cn, QStringLiteral("select %1 from %2 where %3 order by %4")
                                       .arg(columns.join(QStringLiteral(", ")), table, where, key));
    QStringList texts;
    while (rows.next()) {
        QStringList values;
        for (int c = 0; c < columns.size(); ++c) {
            // Numbers by their value, as an amount of 300.5 is 300.5 on one engine and 300.5000 on another.
            switch (rows.kind(c)) {
                case hx::PreparedStatement::Kind::Null:
                    values << QStringLiteral("~");
                    break;
                case hx::PreparedStatement::Kind::Integer:
                    values << QString::number(rows.integer(c));
                    break;
                case hx::PreparedStatement::Kind::Real:
                    values << QString::number(rows.real(c), 'g', 15);
                    break;
                default:
                    values << rows.text(c);
            }
        }
        texts << values.join(QLatin1Char('|'));
    }
    return texts.join(QLatin1Char(';'));
}

QStringList columnValues(const hx::DataSet& ds, const QString& field) {
    QStringList values;
    for (int r = 0; r < ds.recordCount(); ++r) values << ds.valueAt(r, ds.fieldIndex(field)).toString();
    return values;
}

QString schemaDefinition(hx::Connection& cn, const QString& type, const QString& name) {
    // The server keeps a view's query and an index's definition, not the statement that made them.
    if (onServer() && type == QLatin1String("view"))
        return cn
            .scalar(QStringLiteral("select 'create view ' || viewname || ' as ' || definition from pg_views "
                                   "where schemaname = current_schema() and viewname = lower(?)"),
                    {name})
            .toString();
    if (onServer() && type == QLatin1String("index"))
        return cn
            .scalar(QStringLiteral("select indexdef from pg_indexes where schemaname = current_schema() "
                                   "and indexname = lower(?)"),
                    {name})
            .toString();
    return cn.scalar(QStringLiteral("select sql from sqlite_master where type=? and name=?"), {type, name})
        .toString();
}

QString schemaText(hx::Connection& cn) {
    return cn.scalar(QStringLiteral("select group_concat(sql, '|') from sqlite_master")).toString();
}

int schemaObjectCount(hx::Connection& cn, const QStringList& names) {
    int found = 0;
    for (const QString& name : names)
        found += cn.scalar(QStringLiteral("select count(*) from sqlite_master where name=?"), {name}).toInt();
    return found;
}

QString rowChangedText() {
    return hx::RowChangedError(onServer()).message();
}

qint64 lastKeyIssued(hx::Connection& cn, const QString& table) {
    // A file keeps its counters in sqlite_sequence; a server in the identity sequence of the table's key.
    if (onServer())
        return cn
            .scalar(QStringLiteral("select coalesce(max(last_value), 0) from pg_sequences "
                                   "where schemaname = current_schema() and sequencename like ?"),
                    {table.toLower() + QStringLiteral("\\_%")})
            .toLongLong();
    return cn.scalar(QStringLiteral("select seq from sqlite_sequence where name=?"), {table}).toLongLong();
}

int headerVersion(hx::Connection& cn) {
    return cn.scalar(QStringLiteral("pragma user_version")).toInt();
}

qint64 cacheSetting(hx::Connection& cn) {
    if (onServer())
        return cn.scalar(QStringLiteral("select pg_size_bytes(current_setting('work_mem'))")).toLongLong();
    return cn.scalar(QStringLiteral("pragma cache_size")).toLongLong();
}

bool passesIntegrityCheck(hx::Connection& cn) {
    return cn.scalar(QStringLiteral("pragma integrity_check")).toString() == QStringLiteral("ok");
}

void writeWorkbook(const QString& path, const QList<SheetTexts>& sheets) {
    lxw_workbook* book = workbook_new(QFile::encodeName(path).constData());
    if (!book) qFatal("cannot write %s", qPrintable(path));
    for (const SheetTexts& sheet : sheets) {
        lxw_worksheet* ws = workbook_add_worksheet(book, sheet.first.toUtf8().constData());
        for (int r = 0; r < sheet.second.size(); ++r)
            for (int c = 0; c < sheet.second[r].size(); ++c)
                worksheet_write_string(ws, lxw_row_t(r), lxw_col_t(c),
                                       sheet.second[r][c].toUtf8().constData(), nullptr);
    }
    if (workbook_close(book) != LXW_NO_ERROR) qFatal("cannot write %s", qPrintable(path));
}

namespace {

// The standard output of a program run to its end; fails the test's set-up (qFatal) when it cannot run.
QByteArray outputOf(const QString& program, const QStringList& args, bool anyExitCode = false) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit ||
        (!anyExitCode && p.exitCode() != 0))
        qFatal("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return p.readAllStandardOutput();
}

double attribute(const QXmlStreamReader& xml, const char* name) {
    return xml.attributes().value(QLatin1String(name)).toDouble();
}

}  // namespace

QString missingPageReaders() {
    QStringList missing;
    for (const char* tool : {"pdftoppm", "pdftotext", "zbarimg"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) missing << QLatin1String(tool);
    return missing.isEmpty() ? QString()
                             : missing.join(QStringLiteral(", ")) +
                                   QStringLiteral(
                                       " not installed (scripts/setup.sh installs poppler-utils "
                                       "and zbar-tools)");
}

QList<QStringList> readQrCodes(const QString& pdf, int dpi, const QList<PageRegion>& regions) {
    QTemporaryDir dir;
    outputOf(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"),
                                          pdf, dir.filePath(QStringLiteral("page"))});
    QStringList images;
    for (const QString& name :
         QDir(dir.path()).entryList({QStringLiteral("page-*.png")}, QDir::Files, QDir::Name))
        images << dir.filePath(name);
    if (!regions.isEmpty()) {
        QList<QImage> pages;
        for (const QString& image : images) pages << QImage(image);
        QStringList parts;
        for (const PageRegion& region : regions) {
            const QRectF& box = region.second;
            const double scale = dpi / 72.0;
            const QRect pixels(QPoint(int(box.left() * scale), int(box.top() * scale)),
                               QPoint(int(box.right() * scale), int(box.bottom() * scale)));
            parts << dir.filePath(QStringLiteral("region-%1.png").arg(parts.size(), 5, 10, QLatin1Char('0')));
            if (region.first < 0 || region.first >= pages.size() ||
                !pages[region.first].copy(pixels).save(parts.last()))
                qFatal("no region %d of page %d", int(parts.size()), region.first);
        }
        images = parts;
    }
    // Exit code 4: no code in any image.
    QXmlStreamReader xml(outputOf(QStringLiteral("zbarimg"),
                                  QStringList{QStringLiteral("--xml"), QStringLiteral("-q")} + images, true));
    QHash<QString, QStringList> found;
    QString source;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) continue;
        if (xml.name() == QLatin1String("source"))
            source = xml.attributes().value(QLatin1String("href")).toString();
        else if (xml.name() == QLatin1String("data"))
            found[source] << xml.readElementText();
    }
    if (xml.hasError()) qFatal("zbarimg wrote no XML: %s", qPrintable(xml.errorString()));
    QList<QStringList> codes;
    for (const QString& image : images) codes << found.value(image);
    return codes;
}

QString pdfText(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QList<PdfLine> pdfLines(const QString& pdf) {
    QXmlStreamReader xml(
        outputOf(QStringLiteral("pdftotext"), {QStringLiteral("-bbox-layout"), pdf, QStringLiteral("-")}));
    QList<PdfLine> lines;
    int page = -1;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement()) continue;
        if (xml.name() == QLatin1String("page")) {
            ++page;
        } else if (xml.name() == QLatin1String("line")) {
            lines.push_back({page,
                             QRectF(QPointF(attribute(xml, "xMin"), attribute(xml, "yMin")),
                                    QPointF(attribute(xml, "xMax"), attribute(xml, "yMax"))),
                             QString()});
        } else if (xml.name() == QLatin1String("word") && !lines.isEmpty()) {
            QString& text = lines.last().text;
            text += (text.isEmpty() ? QString() : QStringLiteral(" ")) + xml.readElementText();
        }
    }
    return lines;
}

void refuseUpdates(hx::Connection& cn, const QString& table, const QString& condition) {
    const QString name = QStringLiteral("refuse_") + table.toLower();
    if (onServer()) {
        cn.execScript(
            QStringLiteral("create function %1() returns trigger language plpgsql as $body$ begin "
                           "if %3 then raise exception '拒绝'; end if; return new; end $body$; "
                           "create trigger %1 before update on %2 for each row execute function %1();")
                .arg(name, table, condition));
    } else {
        cn.execScript(
            QStringLiteral("create trigger %1 before update on %2 when %3 begin select raise(abort, "
                           "'拒绝'); end")
                .arg(name, table, condition));
    }
}

}  // namespace hxtest
