// Rows: the queries of the statistics window "统计分析" on the year account set, as its "OK" buttons run
// them: the output check over a month (statement, data set, result table), and the grouped totals (the
// grouped rows and the grand totals) over a month and over the whole year for single groupings and
// combinations. The month's rows run on the history account set too (five years of the same factory):
// their cost must follow the month's records, not the years stored, so each is held within 1.5 times
// the same row on the year account set.
//
//
// The chart rows time what the window adds to a result once it is there: the figures read from the rows
// the table shows, the chart built and drawn once at the size it has beside the table. The window shows a
// chart within its statistics row's time plus 0.2 s, so each chart row is held under 0.2 s in the same run.
//
// Built like every bench/bench_*.cpp without a main(): bench/CMakeLists.txt adds it to the hexiu-bench
// runner (re-run `cmake -S . -B build` once after adding the file); `bash bench/run.sh --only 统计` runs
// these rows alone.
#include <QDate>
#include <iterator>
#include <memory>

#include "benchmark.h"
#include "core/data/connection.h"
#include "core/data/dataset.h"
#include "core/statistics/analysequeries.h"
#include "core/statistics/chartdata.h"
#include "core/statistics/groupedtotals.h"
#include "gui/statistics/statisticscharts.h"

namespace {

const QString yearSize = QStringLiteral("year: 1,000 workers, 800 processes, 12 months");
const QString historySize = QStringLiteral("history: 1,000 workers, 4,000 processes, 60 months");

// The account set and its range of records, opened before each run and closed after it, outside the
// timing (a connection must not outlive the program's Qt objects).
struct Account {
    hx::Connection cn;
    QDate first;
    QDate last;
};
std::unique_ptr<Account> account;

void openAccount(hxbench::Context& c, const QString& preset, bool onServer = false) {
    account = std::make_unique<Account>();
    if (onServer)
        c.onServer(c.dataFile(preset)).openReadOnly(account->cn);
    else
        account->cn.open(c.dataFile(preset));
    account->first = QDate::fromString(
        account->cn.scalar(QStringLiteral("select min(dateD) from JobData")).toString(), Qt::ISODate);
    account->last = QDate::fromString(
        account->cn.scalar(QStringLiteral("select max(dateD) from JobData")).toString(), Qt::ISODate);
}

void closeAccount(hxbench::Context&) {
    account.reset();
}

// The sixth month before the last month of records (June of the last year on both account sets): a full
// working month.
std::pair<QDate, QDate> oneMonth() {
    const QDate start = account->last.addMonths(-6);
    const QDate begin(start.year(), start.month(), 1);
    return {begin, begin.addDays(begin.daysInMonth() - 1)};
}

std::pair<QDate, QDate> wholeYear() {
    return {account->first, account->last};
}

void open(hx::DataSet& ds, const hx::Statement& st) {
    ds.setSql(st.sql);
    ds.setParams(st.params);
    ds.open();
}

hxbench::Benchmark outputCheck(const QString& preset, const QString& size) {
    return {QStringLiteral("统计 员工产值检查, one month"),
            size,
            {preset},
            [](hxbench::Context&) {
                const auto [from, to] = oneMonth();
                hx::DataSet query(&account->cn);
                query.setFieldType(QStringLiteral("tmy"), hx::FieldType::Money);
                open(query, hx::outputCheckStatement(from, to, QString()));
                hx::DataSet result;
                result.defineFields(hx::outputCheckFields());
                hx::fillOutputCheck(query, result);
                if (result.recordCount() == 0) throw hx::DbError("no workers");
            },
            {},
            [preset](hxbench::Context& c) { openAccount(c, preset); },
            closeAccount};
}

hxbench::Registration yearOutputCheck(outputCheck(QStringLiteral("year"), yearSize), hxbench::under(0.5));

// The output check's result, made before each run of a chart row.
void fillOutputCheckResult(hx::DataSet& result, const QDate& from, const QDate& to) {
    hx::DataSet query(&account->cn);
    query.setFieldType(QStringLiteral("tmy"), hx::FieldType::Money);
    open(query, hx::outputCheckStatement(from, to, QString()));
    result.close();
    result.defineFields(hx::outputCheckFields());
    hx::fillOutputCheck(query, result);
}

// The result a chart row draws, kept between its untimed preparation and its timed run.
std::unique_ptr<hx::DataSet> shownRows;
hx::GroupedTotalsQuery shownQuery;

// Builds the chart into a panel of the size it has beside the table and draws it once.
void drawInPanel(QChart* chart) {
    hx::ChartPanel panel(QStringLiteral("bench"), [] { return hx::ChartHeading(); });
    panel.resize(600, 560);
    panel.setChart(chart);
    if (panel.grab().isNull()) throw hx::DbError("the chart was not drawn");
}

hxbench::Registration yearOutputCheckWhole(
    {QStringLiteral("统计 员工产值检查, whole year"),
     yearSize,
     {QStringLiteral("year")},
     [](hxbench::Context&) {
         hx::DataSet result;
         const auto [from, to] = wholeYear();
         fillOutputCheckResult(result, from, to);
         if (result.recordCount() == 0) throw hx::DbError("no workers");
     },
     {},
     [](hxbench::Context& c) { openAccount(c, QStringLiteral("year")); },
     closeAccount},
    hxbench::noTarget(QStringLiteral("the statistics row of the chart row below, which adds at most 0.2 s")));

hxbench::Registration yearOutputChart(
    hxbench::withWidgets({QStringLiteral("统计 员工产值检查 chart, whole year"),
                          yearSize,
                          {QStringLiteral("year")},
                          [](hxbench::Context&) {
                              QStringList codes;
                              const std::vector<hx::OutputBar> bars = hx::outputBars(*shownRows);
                              if (bars.empty()) throw hx::DbError("no bars");
                              drawInPanel(hx::outputCheckChart(bars, &codes));
                          },
                          {},
                          [](hxbench::Context& c) {
                              openAccount(c, QStringLiteral("year"));
                              shownRows = std::make_unique<hx::DataSet>();
                              const auto [from, to] = wholeYear();
                              fillOutputCheckResult(*shownRows, from, to);
                          },
                          [](hxbench::Context& c) {
                              shownRows.reset();
                              closeAccount(c);
                          }}),
    hxbench::under(0.2));
// The stated figure is the year row's median as measured on 2026-12-09 on a quiet machine, for a run of
// this row alone.
hxbench::Registration historyOutputCheck(outputCheck(QStringLiteral("history"), historySize),
                                         hxbench::within(1.5, QStringLiteral("year"), 0.122));

struct Case {
    const char* name;
    hx::Grouping grouping;
};

hxbench::Benchmark groupedTotals(bool year, const Case& c, const QString& preset = QStringLiteral("year"),
                                 const QString& size = yearSize, bool onServer = false) {
    return {QStringLiteral("统计 生产汇总统计, %1, %2")
                .arg(year ? QStringLiteral("whole year") : QStringLiteral("one month"),
                     QString::fromUtf8(c.name)),
            onServer ? size + QStringLiteral(", on the server") : size,
            onServer ? QStringList{preset, hxbench::serverPreset} : QStringList{preset},
            [year, grouping = c.grouping](hxbench::Context&) {
                const auto [from, to] = year ? wholeYear() : oneMonth();
                hx::DataSet rows;
                hx::fillGroupedTotals(account->cn, {from, to, false, false, grouping}, rows);
                hx::DataSet totals;
                totals.defineFields(hx::grandTotalFields());
                hx::fillGrandTotals(rows, totals);
                if (rows.recordCount() == 0) throw hx::DbError("no rows");
            },
            {},
            [preset, onServer](hxbench::Context& context) { openAccount(context, preset, onServer); },
            closeAccount};
}

hx::Grouping only(bool hx::Grouping::*item) {
    hx::Grouping g;
    g.*item = true;
    return g;
}

const Case monthCases[] = {
    {"no grouping", hx::Grouping()},
    {"员工", only(&hx::Grouping::staff)},
    {"all six", {true, true, true, true, true, true}},
};
// The year rows' medians as measured on 2026-12-09 on a quiet machine, in the order of monthCases: the
// stated figures of the history rows for a run of those alone.
const double monthSeconds[] = {0.083, 0.092, 0.160};
const Case yearCases[] = {
    {"no grouping", hx::Grouping()},
    {"日期", only(&hx::Grouping::date)},
    {"班组", only(&hx::Grouping::classGroup)},
    {"员工", only(&hx::Grouping::staff)},
    {"款式", only(&hx::Grouping::style)},
    {"工序", only(&hx::Grouping::job)},
    {"发薪日", only(&hx::Grouping::salaryDay)},
    {"员工+工序", {false, false, true, false, true, false}},
    {"日期+员工", {true, false, true, false, false, false}},
    {"all six", {true, true, true, true, true, true}},
};

hxbench::Benchmark groupedChart(const Case& c) {
    return hxbench::withWidgets(
        {QStringLiteral("统计 生产汇总统计 chart, whole year, %1").arg(QString::fromUtf8(c.name)),
         yearSize,
         {QStringLiteral("year")},
         [](hxbench::Context&) {
             if (shownQuery.grouping.date)
                 drawInPanel(hx::dayTotalsChart(hx::dayTotals(*shownRows, shownQuery.from, shownQuery.to)));
             else
                 drawInPanel(
                     hx::largestGroupsChart(hx::largestGroups(*shownRows, 10), QStringLiteral("分组")));
         },
         {},
         [grouping = c.grouping](hxbench::Context& context) {
             openAccount(context, QStringLiteral("year"));
             const auto [from, to] = wholeYear();
             shownQuery = {from, to, false, false, grouping};
             shownRows = std::make_unique<hx::DataSet>();
             hx::fillGroupedTotals(account->cn, shownQuery, *shownRows);
         },
         [](hxbench::Context& context) {
             shownRows.reset();
             closeAccount(context);
         }});
}

const Case chartCases[] = {
    {"日期", only(&hx::Grouping::date)},
    {"员工", only(&hx::Grouping::staff)},
    {"all six", {true, true, true, true, true, true}},
};

struct RegisterAll {
    RegisterAll() {
        for (const Case& c : monthCases)
            hxbench::Registration r(groupedTotals(false, c), hxbench::under(0.5));
        for (size_t i = 0; i < std::size(monthCases); ++i)
            hxbench::Registration r(
                groupedTotals(false, monthCases[i], QStringLiteral("history"), historySize),
                hxbench::within(1.5, QStringLiteral("year"), monthSeconds[i]));
        for (const Case& c : yearCases) {
            hxbench::Registration r(groupedTotals(true, c), hxbench::under(3.0));
            // The whole year's six groupings on the server: within twice the file's row (2.7 s measured
            // on 2026-12-10).
            if (qstrcmp(c.name, "all six") == 0)
                hxbench::Registration onServer(groupedTotals(true, c, QStringLiteral("year"), yearSize, true),
                                               hxbench::within(2, QStringLiteral("year"), 2.7));
        }
        for (const Case& c : chartCases) hxbench::Registration r(groupedChart(c), hxbench::under(0.2));
    }
} registerAll;

}  // namespace
