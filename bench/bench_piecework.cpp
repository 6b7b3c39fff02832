// Rows: the piece-work window "计件数" on the year account set (1,000 workers, about 270,000 piece-work
// records a month in a table of twelve months), driven through the real window: opening it (caches and
// drop-down lists), a month's query on "工价金额查询" with all workers and processes, with one worker and
// with one process, a day's view by worker and by process, storing one edited record with the month in
// view (which sums the month's totals again), and showing the worker and the process picker. Each figure
// includes painting the grid, so it is the time until the user sees the rows.
//
// The reading rows open the shared account set with writes refused; the storing row works on a copy of
// it in its scratch directory.
//
// The month's queries run on the history account set too (the same factory over five years, about 17 M
// records): their cost must follow the month's records, not the years stored, so each is held within
// 1.5 times the same row on the year account set.
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <memory>

#include "benchdialogs.h"
#include "benchmark.h"
#include "core/data/datamodule.h"
#include "core/data/errors.h"
#include "gui/piecework/jobdata.h"
#include "gui/widgets/mydbgrid.h"
#include "gui/widgets/pickobj.h"

namespace {

using hx::TMyDBGrid;

const QString year = QStringLiteral("year");
const QString history = QStringLiteral("history");
const QString monthSize = QStringLiteral("year: 1,000 workers, one month of about 270,000 records");
const QString historyMonthSize =
    QStringLiteral("history: 1,000 workers, 5 years, one month of about 270,000 records");
const QString daySize = QStringLiteral("year: 1,000 workers, one day of one worker or process");
const QString windowSize = QStringLiteral("year: 1,000 workers, 800 processes");

enum Page { ByWorker = 0, ByProcess = 1, Query = 2 };

// What the rows work on, found in the account set before the timing: a full working month (the sixth
// before the last month of records, June of the last year on both account sets), its busiest day, and a
// worker and a process with records in that month.
struct Sample {
    QDate monthStart;
    QDate monthEnd;
    QDate day;
    QString workerText;  // as the worker boxes list it: work number, blanks, name
    QString processCode;
};

std::unique_ptr<hxbench::BenchDialogs> dialogs;
std::unique_ptr<hx::TdataFrm> module;
std::unique_ptr<hx::TjobDataFrm> window;
Sample sample;
int runIndex = 0;
QString totalBefore;

void expect(bool ok, const QString& what) {
    if (!ok) throw hx::Error(what);
}

void findSample(hx::Connection& cn) {
    const QDate last = QDate::fromString(
        cn.scalar(QStringLiteral("select max(dateD) from JobData")).toString(), Qt::ISODate);
    expect(last.isValid(), QStringLiteral("the account set has no piece-work records"));
    // A full working month away from either end.
    const QDate start = last.addMonths(-6);
    sample.monthStart = QDate(start.year(), start.month(), 1);
    sample.monthEnd = sample.monthStart.addDays(sample.monthStart.daysInMonth() - 1);
    const QVariantList month = {sample.monthStart, sample.monthEnd};
    sample.day = QDate::fromString(
        cn.scalar(QStringLiteral("select dateD from JobData where dateD between ? and ? group by dateD "
                                 "order by count(*) desc limit 1"),
                  month)
            .toString(),
        Qt::ISODate);
    sample.workerText =
        cn.scalar(QStringLiteral("select staffCode||'    '||staffName from staff where firedd=0 and staffID "
                                 "in (select staffID from JobData where dateD between ? and ?) "
                                 "order by staffCode limit 1 offset 500"),
                  month)
            .toString();
    // A process still in production (finished ones are not in the drop-down lists) with about 1,500
    // records in the month, as the busiest one of the year account set has: the same work on every
    // account set, whatever the number of processes it holds.
    sample.processCode =
        cn.scalar(
              QStringLiteral("select j.jobCode from JobData d join job j on j.JobID=d.jobID where j.stopp=0 "
                             "and d.dateD between ? and ? group by j.JobID "
                             "order by abs(count(*) - 1500), j.jobCode limit 1"),
              month)
            .toString();
    expect(sample.day.isValid() && !sample.workerText.isEmpty() && !sample.processCode.isEmpty(),
           QStringLiteral("the sixth month holds no records of a current worker and process"));
}

// Where a row's account set is: the preset's file, or its copy on the benchmark server.
enum class Engine { File, Server };
const QString onServer = QStringLiteral(", on the server");

// The data module on the shared account set, any write refused; or, for a row that writes, on a copy.
// On the server the rows share one copy, which a row that writes changes.
void openModule(hxbench::Context& c, bool writes, const QString& preset = year,
                Engine engine = Engine::File) {
    QString file = c.dataFile(preset);
    if (engine == Engine::Server) {
        const hx::AccountSet set = c.onServer(file);
        dialogs = std::make_unique<hxbench::BenchDialogs>();
        module = std::make_unique<hx::TdataFrm>();
        if (writes)
            set.open(module->cnMain);
        else
            set.openReadOnly(module->cnMain);
        hx::setDataFrm(module.get());
        findSample(module->cnMain);
        runIndex = 0;
        return;
    }
    if (writes) {
        const QString copy = c.scratch(QStringLiteral("year.mdb"));
        expect(QFile::copy(file, copy), QStringLiteral("cannot copy the year account set"));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        file = copy;
    }
    dialogs = std::make_unique<hxbench::BenchDialogs>();
    module = std::make_unique<hx::TdataFrm>();
    module->cnMain.open(file);
    if (!writes) module->cnMain.execScript(QStringLiteral("PRAGMA query_only = ON"));
    hx::setDataFrm(module.get());
    findSample(module->cnMain);
    runIndex = 0;
}

void closeAll(hxbench::Context&) {
    window.reset();
    hx::destroyPickObjFrm();
    hx::setDataFrm(nullptr);
    module.reset();
    dialogs.reset();
}

template <class T>
T* part(const char* name) {
    T* w = window->findChild<T*>(QLatin1String(name));
    if (!w) throw hx::Error(QStringLiteral("the window has no %1").arg(QLatin1String(name)));
    return w;
}

hx::DataSet* records() {
    return part<hx::DataSet>("tdMain");
}

void openWindow() {
    window = std::make_unique<hx::TjobDataFrm>();
    window->show();
    QApplication::processEvents();
}

// The query page with the sample month as its date range and the given conditions.
void prepareQuery(const QString& worker, const QString& process) {
    openWindow();
    part<QTabWidget>("PageControl1")->setCurrentIndex(Query);
    part<QDateEdit>("conDateB")->setDate(sample.monthStart);
    part<QDateEdit>("conDateE")->setDate(sample.monthEnd);
    part<QComboBox>("conStaff")->setEditText(worker);
    part<QComboBox>("conJob")->setEditText(process);
    QApplication::processEvents();
}

void runQuery(hxbench::Context&) {
    part<QToolButton>("btnApply")->click();
    part<TMyDBGrid>("grdQuery")->viewport()->repaint();
    QApplication::processEvents();
}

// The list and its totals shown: records in view, and the totals' label filled.
void expectRecords(int atLeast) {
    dialogs->check();
    expect(records()->recordCount() >= atLeast,
           QStringLiteral("only %1 records in view").arg(records()->recordCount()));
    expect(!part<QLabel>("dbQtyQuery")->text().isEmpty() || !part<QLabel>("dbQtyStaff")->text().isEmpty() ||
               !part<QLabel>("dbQtyJob")->text().isEmpty(),
           QStringLiteral("no totals shown"));
}

hxbench::Benchmark queryRow(const QString& name, const QString& size, int atLeast,
                            std::function<void()> prepare, const QString& preset = year,
                            Engine engine = Engine::File) {
    QStringList presets{preset};
    if (engine == Engine::Server) presets << hxbench::serverPreset;
    return hxbench::withWidgets({name,
                                 engine == Engine::Server ? size + onServer : size,
                                 presets,
                                 runQuery,
                                 [prepare, preset, engine](hxbench::Context& c) {
                                     openModule(c, false, preset, engine);
                                     prepare();
                                 },
                                 {},
                                 [atLeast](hxbench::Context&) { expectRecords(atLeast); },
                                 closeAll});
}

hxbench::Registration openRow(hxbench::withWidgets({QStringLiteral("piece-work window: open"),
                                                    windowSize,
                                                    {year},
                                                    [](hxbench::Context&) { openWindow(); },
                                                    [](hxbench::Context& c) { openModule(c, false); },
                                                    {},
                                                    [](hxbench::Context&) {
                                                        dialogs->check();
                                                        expect(part<QComboBox>("conStaff")->count() > 900,
                                                               QStringLiteral("the worker list is short"));
                                                        window.reset();
                                                    },
                                                    closeAll}),
                              hxbench::forComparison());

hxbench::Registration monthRow(queryRow(QStringLiteral("piece-work query: a month, all workers"), monthSize,
                                        200000, [] { prepareQuery(QString(), QString()); }),
                               hxbench::under(0.5));

// The same month's records read straight through the engine, as the list reads them (the key the list
// keeps for storing edits, and the four columns in their types), stored nowhere: the floor under the row
// above, which must stay within 1.5 times of it.
qint64 plainReadRows = 0;
hxbench::Registration plainMonthRow(
    hxbench::withWidgets({QStringLiteral("piece-work query: a month, all workers, plain read"),
                          monthSize,
                          {year},
                          [](hxbench::Context&) {
                              // The list's own statement: the record's four columns are its key.
                              const hx::Query month = hx::pieceRecords(
                                  hx::PieceFilter{sample.monthStart, sample.monthEnd, {}, {}});
                              hx::PreparedStatement q(module->cnMain, month.sql, month.params);
                              qint64 rows = 0, sum = 0;
                              while (q.next()) {
                                  sum += q.utf8(0).size() + q.integer(1) + q.integer(2) + q.integer(3);
                                  ++rows;
                              }
                              plainReadRows = sum != 0 ? rows : 0;
                          },
                          [](hxbench::Context& c) { openModule(c, false); },
                          {},
                          [](hxbench::Context&) {
                              expect(plainReadRows >= 200000,
                                     QStringLiteral("only %1 records read").arg(plainReadRows));
                          },
                          closeAll}),
    hxbench::forComparison());

hxbench::Registration workerMonthRow(queryRow(QStringLiteral("piece-work query: a month, one worker"),
                                              monthSize, 100,
                                              [] { prepareQuery(sample.workerText, QString()); }),
                                     hxbench::under(0.5));

// The two queries with the account set on the server: within twice the file's rows.
hxbench::Registration serverMonthRow(queryRow(
                                         QStringLiteral("piece-work query: a month, all workers"), monthSize,
                                         200000, [] { prepareQuery(QString(), QString()); }, year,
                                         Engine::Server),
                                     hxbench::within(2, year, 0.200));
hxbench::Registration serverWorkerMonthRow(queryRow(
                                               QStringLiteral("piece-work query: a month, one worker"),
                                               monthSize, 100,
                                               [] { prepareQuery(sample.workerText, QString()); }, year,
                                               Engine::Server),
                                           hxbench::within(2, year, 0.005));

hxbench::Registration processMonthRow(queryRow(QStringLiteral("piece-work query: a month, one process"),
                                               monthSize, 100,
                                               [] { prepareQuery(QString(), sample.processCode); }),
                                      hxbench::under(0.5));

// The same month's queries on five years of records. The stated figures are the year rows' medians as
// measured on 2026-12-09 on a quiet machine, for a run of these rows alone.
hxbench::Registration historyMonthRow(queryRow(
                                          QStringLiteral("piece-work query: a month, all workers"),
                                          historyMonthSize, 200000,
                                          [] { prepareQuery(QString(), QString()); }, history),
                                      hxbench::within(1.5, year, 0.200));

hxbench::Registration historyWorkerMonthRow(queryRow(
                                                QStringLiteral("piece-work query: a month, one worker"),
                                                historyMonthSize, 100,
                                                [] { prepareQuery(sample.workerText, QString()); }, history),
                                            hxbench::within(1.5, year, 0.005));

hxbench::Registration historyProcessMonthRow(queryRow(
                                                 QStringLiteral("piece-work query: a month, one process"),
                                                 historyMonthSize, 100,
                                                 [] { prepareQuery(QString(), sample.processCode); },
                                                 history),
                                             hxbench::within(1.5, year, 0.007));

// A day's view: each run picks the next worker (process) of the drop-down list, as a user stepping
// through them does; the list's change loads the view.
hxbench::Benchmark dayRow(const QString& name, Page page, const char* box, const char* date,
                          const char* grid) {
    return hxbench::withWidgets(
        {name,
         daySize,
         {year},
         [box, grid](hxbench::Context&) {
             part<QComboBox>(box)->setCurrentIndex(100 + runIndex);
             part<TMyDBGrid>(grid)->viewport()->repaint();
             QApplication::processEvents();
         },
         [page, date](hxbench::Context& c) {
             openModule(c, false);
             openWindow();
             part<QTabWidget>("PageControl1")->setCurrentIndex(page);
             part<QDateEdit>(date)->setDate(sample.day);
             QApplication::processEvents();
         },
         {},
         [page](hxbench::Context&) {
             ++runIndex;
             dialogs->check();
             const int id = page == ByWorker ? window->currentStaffID() : window->currentJobID();
             expect(id != 0, QStringLiteral("the view names nobody"));
             expect(records()->isOpen(), QStringLiteral("the day's view is not open"));
         },
         closeAll});
}

hxbench::Registration byWorkerRow(dayRow(QStringLiteral("piece-work day's view: by worker"), ByWorker,
                                         "cbbStaff", "cbbDateStaff", "grdStaffData"),
                                  hxbench::noVisibleWait());
hxbench::Registration byProcessRow(dayRow(QStringLiteral("piece-work day's view: by process"), ByProcess,
                                          "cbbJob", "cbbDateJob", "grdJobData"),
                                   hxbench::noVisibleWait());

// Storing an edited record with the month in view: the record is written and the month's totals are
// summed again from the database.
hxbench::Benchmark storeBenchmark(Engine engine) {
    return hxbench::withWidgets(
        {QStringLiteral("piece-work store one record, month in view"),
         engine == Engine::Server ? monthSize + onServer : monthSize,
         engine == Engine::Server ? QStringList{year, hxbench::serverPreset} : QStringList{year},
         [](hxbench::Context&) {
             hx::DataSet* ds = records();
             ds->setValue(QStringLiteral("qty"), ds->asInt(QStringLiteral("qty")) + 1000);
             ds->post();
             part<TMyDBGrid>("grdQuery")->viewport()->repaint();
             QApplication::processEvents();
         },
         [engine](hxbench::Context& c) {
             openModule(c, true, year, engine);
             prepareQuery(QString(), QString());
             part<QToolButton>("btnApply")->click();
             QApplication::processEvents();
             expectRecords(200000);
         },
         [](hxbench::Context&) {
             records()->setRecNo(runIndex * 37);
             totalBefore = part<QLabel>("dbQtyQuery")->text();
         },
         [](hxbench::Context&) {
             ++runIndex;
             dialogs->check();
             const qint64 now = part<QLabel>("dbQtyQuery")->text().toLongLong();
             expect(now == totalBefore.toLongLong() + 1000,
                    QStringLiteral("the month's total went from %1 to %2, not up by 1000")
                        .arg(totalBefore)
                        .arg(now));
         },
         closeAll});
}

hxbench::Registration storeRow(storeBenchmark(Engine::File), hxbench::forComparison());
// On the server a record is stored within 50 ms, the month's totals summed again included.
hxbench::Registration serverStoreRow(storeBenchmark(Engine::Server), hxbench::under(0.05));

// Opens the picker from the first cell of the grid and takes the time until its list has painted; the
// picker runs modally, so the time is taken inside its event loop and the picker is left at once.
void timePickerShown(hxbench::Context& c, const char* gridName) {
    QElapsedTimer timer;
    double shown = -1;
    QTimer::singleShot(0, [&] {
        hx::pickObjFrm()->ListCode->repaint();
        shown = timer.nsecsElapsed() / 1e9;
        hx::pickObjFrm()->reject();
    });
    timer.start();
    emit part<TMyDBGrid>(gridName)->editButtonClicked(0);
    expect(shown >= 0, QStringLiteral("the picker was not shown"));
    c.setElapsed(shown);
}

// The picker of every current worker on the by-process page, shown and left at once. The picker runs
// modally, so the time is taken inside its event loop when its list has painted.
hxbench::Registration pickerRow(
    hxbench::withWidgets({QStringLiteral("piece-work worker picker: show"),
                          QStringLiteral("year: 1,000 workers"),
                          {year},
                          [](hxbench::Context& c) { timePickerShown(c, "grdJobData"); },
                          [](hxbench::Context& c) {
                              openModule(c, false);
                              openWindow();
                              part<QTabWidget>("PageControl1")->setCurrentIndex(ByProcess);
                              part<QDateEdit>("cbbDateJob")->setDate(sample.day);
                              part<QComboBox>("cbbJob")->setCurrentText(sample.processCode);
                              QApplication::processEvents();
                              TMyDBGrid* grid = part<TMyDBGrid>("grdJobData");
                              expect(records()->recordCount() > 0,
                                     QStringLiteral("the process has no records that day"));
                              grid->setCurrentIndex(grid->model()->index(0, 0));
                          },
                          {},
                          [](hxbench::Context&) {
                              dialogs->check();
                              expect(hx::pickObjFrm()->ListCode->count() > 900,
                                     QStringLiteral("the picker lists too few workers"));
                              records()->cancel();
                          },
                          closeAll}),
    hxbench::forComparison());

// The picker of every process in production on the by-worker page, each with its description and unit
// price, shown and left at once.
hxbench::Registration processPickerRow(
    hxbench::withWidgets({QStringLiteral("piece-work process picker: show"),
                          windowSize,
                          {year},
                          [](hxbench::Context& c) { timePickerShown(c, "grdStaffData"); },
                          [](hxbench::Context& c) {
                              openModule(c, false);
                              openWindow();
                              part<QDateEdit>("cbbDateStaff")->setDate(sample.day);
                              part<QComboBox>("cbbStaff")->setCurrentText(sample.workerText);
                              QApplication::processEvents();
                              TMyDBGrid* grid = part<TMyDBGrid>("grdStaffData");
                              expect(records()->recordCount() > 0,
                                     QStringLiteral("the worker has no records that day"));
                              grid->setCurrentIndex(grid->model()->index(0, 0));
                          },
                          {},
                          [](hxbench::Context&) {
                              dialogs->check();
                              expect(hx::pickObjFrm()->ListCode->count() > 100,
                                     QStringLiteral("the picker lists too few processes"));
                              records()->cancel();
                          },
                          closeAll}),
    hxbench::forComparison());

}  // namespace
