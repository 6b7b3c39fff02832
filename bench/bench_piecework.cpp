// Measures the piece-work window "计件数" on the account set of a factory of 1,000 workers and 600
// processes with about 300,000 piece-work records a month (two months are written, so that every view
// picks its month out of a larger table): opening the window (caches and lists), a month's query on
// "工价金额查询" with all workers and with one, a day's view by worker and by process, storing one edited
// record with a month in view (which rereads the totals), and opening the worker picker. Each figure is
// the median of several runs and includes painting the grid, so it is the time until the user sees
// the rows. Not a test: the figures are printed.
//
// A program of its own (it has a main()): built from this one file linked with the library `hexiu`, as
// bench/CMakeLists.txt does for every bench_*.cpp that carries a main(). It runs without a screen
// (QT_QPA_PLATFORM=offscreen unless set otherwise) and takes an optional run count.

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

#include "data/datamodule.h"
#include "data/mydbgrid.h"
#include "data/schema.h"
#include "piecework/jobData.h"
#include "registers/pickobj.h"

namespace {

constexpr int Workers = 1000;
constexpr int Processes = 600;
constexpr int RecordsPerWorkerDay = 10;
constexpr int RowsPerStatement = 500;  // 2,000 bound values per insert

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A fixed sequence, so that every run measures the same account set.
struct Sequence {
    quint64 state;
    int below(int n) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return int((state >> 33) % quint64(n));
    }
};

void fill(hx::Connection& cn, const QDate& first, const QDate& last) {
    hx::Transaction tr(cn);
    const QStringList surnames = {"张", "李", "王", "赵", "刘", "陈", "杨", "黄", "周", "吴"};
    const QStringList given = {"伟", "芳", "娜", "敏", "静", "丽", "强", "磊", "洋", "艳", "小明", "秀英"};
    const QStringList groups = {"车缝一组", "车缝二组", "车缝三组", "整烫组", "包装组", ""};
    for (int i = 0; i < Workers; ++i)
        cn.exec(QStringLiteral("insert into staff (StaffCode, StaffName, ClassGroup, salaryDay, Firedd) "
                               "values (?, ?, ?, ?, ?)"),
                {QStringLiteral("%1").arg(i + 1, 4, 10, QLatin1Char('0')),
                 surnames[i % surnames.size()] + given[(i / 10) % given.size()], groups[i % groups.size()],
                 i % 2 ? 5 : 20, i % 50 == 49 ? -1 : 0});
    for (int i = 0; i < Processes; ++i)
        cn.exec(QStringLiteral("insert into job (JobCode, StyleGroup, UnitPrice, stopp) values (?, ?, ?, ?)"),
                {QStringLiteral("K%1-%2").arg(i / 30 + 101).arg(i % 30 + 1, 2, 10, QLatin1Char('0')),
                 QStringLiteral("款%1").arg(i / 30 + 101),
                 QVariant::fromValue(hx::Money::fromUnits(500 + (i * 37) % 20000)), i % 12 == 11 ? -1 : 0});

    Sequence seq{20250301};
    QString rows;
    QVariantList values;
    int pending = 0;
    auto flush = [&] {
        if (!pending) return;
        rows.chop(1);
        cn.exec(QStringLiteral("insert into JobData (dateD, staffID, jobID, qty) values ") + rows, values);
        rows.clear();
        values.clear();
        pending = 0;
    };
    for (QDate day = first; day <= last; day = day.addDays(1)) {
        const QString iso = day.toString(Qt::ISODate);
        for (int w = 1; w <= Workers; ++w) {
            // Ten different processes a day out of the worker's style of the month.
            const int base = seq.below(Processes - 40);
            for (int k = 0; k < RecordsPerWorkerDay; ++k) {
                rows += QStringLiteral("(?,?,?,?),");
                values << iso << w << base + k * 3 + 1 << 20 + seq.below(180);
                if (++pending == RowsPerStatement) flush();
            }
        }
    }
    flush();
    tr.commit();
    cn.execScript(QStringLiteral("ANALYZE"));
}

// Wall-clock and processor time of one run, in milliseconds. On a machine that other work shares, the
// processor time is the steadier figure of the two.
struct Timing {
    double wall;
    double cpu;
};

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

Timing timed(const std::function<void()>& f) {
    QElapsedTimer t;
    const double cpu = cpuMs();
    t.start();
    f();
    return {t.nsecsElapsed() / 1e6, cpuMs() - cpu};
}

void report(const char* what, const std::vector<Timing>& runs, const QString& detail = QString()) {
    std::vector<double> wall, cpu;
    for (const Timing& t : runs) {
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    std::printf("%-44s median %7.1f ms wall, %7.1f ms cpu  (wall min %.1f, max %.1f)%s\n", what, median(wall),
                median(cpu), *std::min_element(wall.begin(), wall.end()),
                *std::max_element(wall.begin(), wall.end()),
                detail.isEmpty() ? "" : qPrintable(QStringLiteral("  ") + detail));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 7;

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.mdb"));
    hx::createAccountSetTemplate(file);
    hx::TdataFrm dm;
    dm.cnMain.open(file);
    hx::setDataFrm(&dm);

    const QDate monthStart(2025, 3, 1);
    const QDate monthEnd(2025, 3, 31);
    QElapsedTimer made;
    made.start();
    fill(dm.cnMain, QDate(2025, 2, 1), monthEnd);
    const qint64 total = dm.cnMain.scalar(QStringLiteral("select count(*) from JobData")).toLongLong();
    const qint64 inMonth =
        dm.cnMain
            .scalar(QStringLiteral("select count(*) from JobData where dateD between ? and ?"),
                    {monthStart, monthEnd})
            .toLongLong();
    std::printf(
        "account set: %d workers, %d processes, %lld records (%lld in the measured month), made in %.1f s\n",
        Workers, Processes, total, inMonth, made.elapsed() / 1000.0);

    std::vector<Timing> opening;
    hx::TjobDataFrm* w = nullptr;
    for (int i = 0; i < runs; ++i) {
        delete w;
        opening.push_back(timed([&] {
            w = new hx::TjobDataFrm;
            w->show();
            w->repaint();
        }));
    }
    report("open the window (caches, lists)", opening);

    auto* pages = w->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
    auto* grdQuery = w->findChild<hx::TMyDBGrid*>(QStringLiteral("grdQuery"));
    auto* grdStaff = w->findChild<hx::TMyDBGrid*>(QStringLiteral("grdStaffData"));
    auto* grdJob = w->findChild<hx::TMyDBGrid*>(QStringLiteral("grdJobData"));
    auto* tdMain = w->findChild<hx::DataSet*>(QStringLiteral("tdMain"));
    auto* btnApply = w->findChild<QToolButton*>(QStringLiteral("btnApply"));
    auto* conStaff = w->findChild<QComboBox*>(QStringLiteral("conStaff"));
    auto* conJob = w->findChild<QComboBox*>(QStringLiteral("conJob"));
    auto* totalQty = w->findChild<QLabel*>(QStringLiteral("dbQtyQuery"));
    auto* totalTmy = w->findChild<QLabel*>(QStringLiteral("dbTmyQuery"));

    pages->setCurrentIndex(2);
    w->findChild<QDateEdit*>(QStringLiteral("conDateB"))->setDate(monthStart);
    w->findChild<QDateEdit*>(QStringLiteral("conDateE"))->setDate(monthEnd);
    auto query = [&](const QString& worker, const QString& process) {
        conStaff->setEditText(worker);
        conJob->setEditText(process);
        std::vector<Timing> ms;
        for (int i = 0; i < runs; ++i)
            ms.push_back(timed([&] {
                btnApply->click();
                grdQuery->viewport()->repaint();
            }));
        return ms;
    };
    const auto month = query(QString(), QString());
    report("month's query, all workers and processes", month,
           QStringLiteral("%1 rows, totals %2 / %3")
               .arg(tdMain->recordCount())
               .arg(totalQty->text(), totalTmy->text()));

    // Storing an edited record with the month in view: the totals are summed again over the month.
    std::vector<Timing> storing;
    for (int i = 0; i < runs; ++i) {
        tdMain->setRecNo(i);
        const qint64 qty = tdMain->asInt(QStringLiteral("qty"));
        storing.push_back(timed([&] {
            tdMain->setValue(QStringLiteral("qty"), qty + 1000);
            tdMain->post();
            grdQuery->viewport()->repaint();
        }));
    }
    report("store one record with the month in view", storing);

    const auto oneWorker = query(QStringLiteral("0500 "), QString());
    report("month's query, one worker", oneWorker, QStringLiteral("%1 rows").arg(tdMain->recordCount()));
    const auto oneProcess = query(QString(), QStringLiteral("K110-05"));
    report("month's query, one process", oneProcess, QStringLiteral("%1 rows").arg(tdMain->recordCount()));

    auto* cbbStaff = w->findChild<QComboBox*>(QStringLiteral("cbbStaff"));
    auto* cbbJob = w->findChild<QComboBox*>(QStringLiteral("cbbJob"));
    pages->setCurrentIndex(0);
    w->findChild<QDateEdit*>(QStringLiteral("cbbDateStaff"))->setDate(QDate(2025, 3, 14));
    std::vector<Timing> byWorker;
    for (int i = 0; i < runs; ++i)
        byWorker.push_back(timed([&] {
            cbbStaff->setCurrentIndex(100 + i);
            grdStaff->viewport()->repaint();
        }));
    report("a day's view by worker", byWorker, QStringLiteral("%1 rows").arg(tdMain->recordCount()));

    pages->setCurrentIndex(1);
    w->findChild<QDateEdit*>(QStringLiteral("cbbDateJob"))->setDate(QDate(2025, 3, 14));
    std::vector<Timing> byProcess;
    for (int i = 0; i < runs; ++i)
        byProcess.push_back(timed([&] {
            cbbJob->setCurrentIndex(40 + i);
            grdJob->viewport()->repaint();
        }));
    report("a day's view by process", byProcess, QStringLiteral("%1 rows").arg(tdMain->recordCount()));

    // The picker of every current worker, shown and left at once.
    std::vector<Timing> picker;
    grdJob->setCurrentIndex(grdJob->model()->index(0, 0));
    for (int i = 0; i < runs; ++i) {
        Timing shown{};
        QElapsedTimer t;
        double cpu = 0;
        QTimer::singleShot(0, [&] {
            hx::pickObjFrm()->ListCode->repaint();
            shown = {t.nsecsElapsed() / 1e6, cpuMs() - cpu};
            hx::pickObjFrm()->reject();
        });
        cpu = cpuMs();
        t.start();
        emit grdJob->editButtonClicked(0);
        picker.push_back(shown);
    }
    report("worker picker shown", picker,
           QStringLiteral("%1 workers").arg(hx::pickObjFrm()->ListCode->count()));

    delete w;
    hx::destroyPickObjFrm();
    hx::setDataFrm(nullptr);
    return 0;
}
