#pragma once

#include <QList>
#include <QPair>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "core/data/accountset.h"
#include "core/data/connection.h"

namespace hx {
class DataSet;
}

namespace hxtest {

// A temporary program directory with a fresh system store and template; ProgramDir() points at it for
// the object's lifetime.
class TempProgramDir {
  public:
    TempProgramDir();
    ~TempProgramDir();
    QString path() const;  // with a trailing slash
    QString file(const QString& name) const { return path() + name; }
    // Writes the text (UTF-8) as the file `name` of the folder and returns its path.
    QString writeFile(const QString& name, const QString& text) const;
    // Copies the template to NAME.mdb and returns its full path.
    QString createAccountSet(const QString& name) const;
    // A fresh account set from the template on the engine the test runs on (testEngine()): the file
    // NAME.mdb here, or a set of that name on the test server (made unique within the process).
    hx::AccountSet newAccountSet(const QString& name) const;

  private:
    QTemporaryDir m_dir;
};

// The set-up of most core tests: a temporary program directory with a fresh account set NAME on the
// test's engine, open on the connection given until this goes (so the connection is declared before it
// and outlives it).
class OpenAccountSet : public TempProgramDir {
  public:
    OpenAccountSet(hx::Connection& cn, const QString& name);
    ~OpenAccountSet();
    OpenAccountSet(const OpenAccountSet&) = delete;
    OpenAccountSet& operator=(const OpenAccountSet&) = delete;

    const hx::AccountSet accountSet;
    const QString path;  // of the account set, as its store names it

  private:
    hx::Connection& m_cn;
};

// A database of its own on the test server that HEXIU_TEST_PG names (scripts/with-postgres.sh starts
// one), offered as the libpq service `service` of a pg_service.conf of its own (PGSERVICEFILE points at
// it for the object's lifetime, beside a service "gone" on a port where no server listens). Dropped
// again at the end, so tests that run at once never share the server's roles. The server's role needs
// the right to create databases.
class TestServer {
  public:
    // False when HEXIU_TEST_PG is unset: the test skips.
    static bool available();
    explicit TestServer(const QString& service = QStringLiteral("factory"));
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    const QString service;
    QString connection() const { return QStringLiteral("service=") + service; }
    // Writes the program directory's servers file with these lines.
    static void offer(const QString& programDir, const QStringList& lines);

  private:
    QString m_database;
    QTemporaryDir m_folder;
    QByteArray m_serviceFileBefore;
};

// The engine a test's account sets are on: the file engine, or the test server when the test runs with
// HEXIU_TEST_ENGINE=server (ctest runs the tests marked HX_BOTH_ENGINES both ways).
enum class Engine { File, Server };
Engine testEngine();
inline bool onServer() {
    return testEngine() == Engine::Server;
}
// A test file that holds on both engines says so with HX_BOTH_ENGINES at file scope; ctest then runs it
// a second time with HEXIU_TEST_ENGINE=server (skipped, exit code 77, when no test server is given).
#define HX_BOTH_ENGINES static_assert(true, "runs on the file engine and on the test server")
// Opens another connection on the account set the connection `cn` has open, as a second desk would.
void openAgain(hx::Connection& other, const hx::Connection& cn,
               hx::Connection::Access access = hx::Connection::Access::ReadWrite);
// What a post found changed since it was read is told: another user on a server, another operation on a file.
QString rowChangedText();
// The exit code by which a test run says it was skipped (ctest's SKIP_RETURN_CODE).
constexpr int skippedExitCode = 77;

// ---- reading an account set back; what only the engine's catalogue knows is asked here alone

// How many rows of the table `where` picks.
int rowCount(hx::Connection& cn, const QString& table, const QString& where = QStringLiteral("1=1"));
// The rows `where` picks, in the order of `key`, as "v1|v2|...;..." of the column expressions given;
// numbers as their value whatever decimals the engine keeps, Null as "~".
QString rowsText(hx::Connection& cn, const QString& table, const QString& key, const QStringList& columns,
                 const QString& where = QStringLiteral("1=1"));
// A field of every row the data set shows, in its order.
QStringList columnValues(const hx::DataSet& ds, const QString& field);
// The definition of a table, view or index (type "table", "view", "index") as created; empty when
// there is none. A server has those of views and indexes only, as its catalogue rebuilds them.
QString schemaDefinition(hx::Connection& cn, const QString& type, const QString& name);
// All the definitions in one text: equal texts, equal schemas.
QString schemaText(hx::Connection& cn);
// How many of the named tables, views and indexes exist.
int schemaObjectCount(hx::Connection& cn, const QStringList& names);
// The last key the table's own counter handed out, the keys of deleted rows included.
qint64 lastKeyIssued(hx::Connection& cn, const QString& table);
// The version number the engine keeps in the file's header.
int headerVersion(hx::Connection& cn);
// The memory the engine gives one piece of work as the connection has it set: the file's page cache, a
// server's memory for a sort.
qint64 cacheSetting(hx::Connection& cn);
// The engine's own check of the whole file finds nothing wrong.
bool passesIntegrityCheck(hx::Connection& cn);

// Makes the database refuse, with the message 拒绝, every update of a row of `table` for which
// `condition` holds; the condition names the row's stored values as old.COLUMN.
void refuseUpdates(hx::Connection& cn, const QString& table,
                   const QString& condition = QStringLiteral("true"));

// ---- printed pages read back by real readers (poppler-utils, zbar-tools)

// The programs of pdftoppm, pdftotext and zbarimg that are missing, as the reason a test skips; empty when
// every one is installed.
QString missingPageReaders();
// The QR codes zbarimg decodes from the pages of a PDF that pdftoppm renders at `dpi`: a list per page;
// or, with regions (a page, 0-based, and a box of it in points from its top left corner), a list per
// region of the codes decoded from that part of the page alone.
using PageRegion = QPair<int, QRectF>;
QList<QStringList> readQrCodes(const QString& pdf, int dpi = 300, const QList<PageRegion>& regions = {});
// The text of a PDF file as `pdftotext -layout` gives it, a form feed after each page; a null text when
// the file is no PDF.
QString pdfText(const QString& path);
// A line of a PDF's text as `pdftotext -bbox-layout` finds it: page, box in points, words joined by blanks.
struct PdfLine {
    int page;
    QRectF box;
    QString text;
};
QList<PdfLine> pdfLines(const QString& pdf);

// Writes an .xlsx workbook of text cells: each sheet by its name, with its rows.
using SheetTexts = QPair<QString, QList<QStringList>>;
void writeWorkbook(const QString& path, const QList<SheetTexts>& sheets);

}  // namespace hxtest
