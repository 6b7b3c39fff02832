// Rows: the salary sheet at full size, 5,000 active workers of one pay day, 1,000,000 piece-work records
// of theirs in the piece-wage date range (240,000 more just before it, and 20,000 in it of dismissed
// workers and of another pay day), 30 named items: generating the sheet, opening the sheet window on it,
// and recalculating one worker's row as saving an edited row does.
//
// No generated preset has this shape (theirs spread the workers over several pay days), so each row
// builds its own account set in its scratch directory with the program's schema, before the timing.

#include <QApplication>
#include <memory>

#include "benchmark.h"
#include "core/data/connection.h"
#include "core/data/datamodule.h"
#include "core/data/errors.h"
#include "core/data/schema.h"
#include "core/payroll/generation.h"
#include "gui/payroll/salarydata.h"

namespace {

constexpr int Workers = 5000;
constexpr int OtherPayDayWorkers = 300;
constexpr int DismissedWorkers = 200;
constexpr int Processes = 600;
constexpr int PayDay = 10;
constexpr int Year = 2024;
constexpr int Month = 5;

// 30 named items: the eight fixed items and every B and C item, with the shapes accountants write.
const char* const formulas[][3] = {
    {"B01", "出勤天数", "26"},
    {"B02", "请假天数", "0"},
    {"B03", "加班小时", "0"},
    {"B04", "缺勤天数", "iif(B01<26, 26-B01, 0)"},
    {"B05", "实际出勤", "B01-B02"},
    {"B06", "折算天数", "round(B05+B03/8, 1)"},
    {"B07", "全勤标志", "iif(B04=0 and B02=0, 1, 0)"},
    {"C01", "加班费", "round(B03*(A01+A02)/26/8*1.5, 2)"},
    {"C02", "全勤奖", "iif(B07=1, 100, 0)"},
    {"C03", "工龄奖", "min(A03, 300)"},
    {"C04", "缺勤扣款", "round((A02+A04)/26*B04, 2)"},
    {"C05", "请假扣款", "round(A02/26*B02, 2)"},
    {"C06", "奖金", "0"},
    {"C07", "罚款", "0"},
    {"C08", "应发工资", "A01+A02+A03+A04+A05+A06+A07+A08+C01+C02+C03+C06-C04-C05-C07"},
    {"C09", "养老保险", "round(C08*0.08, 2)"},
    {"C10", "医疗保险", "round(C08*0.02, 2)"},
    {"C11", "失业保险", "round(C08*0.005, 2)"},
    {"C12", "个税", "iif(C08-C09-C10-C11>5000, round((C08-C09-C10-C11-5000)*0.03, 2), 0)"},
    {"C13", "扣款合计", "C09+C10+C11+C12"},
    {"C14", "实发工资", "C08-C13"},
    {"C15", "实发取整", "int(C14)"},
};

void buildAccountSet(const QString& path) {
    hx::createAccountSetTemplate(path);
    hx::Connection cn;
    cn.open(path);
    hx::Transaction transaction(cn);
    for (int i = 1; i <= 8; ++i)
        cn.exec(QStringLiteral("update salary set ItemName=?, expression='*********系统提供*********', "
                               "printWidth=12 where year=2003 and month=11 and ItemCode=?"),
                {QStringLiteral("固定%1").arg(i), QStringLiteral("A0%1").arg(i)});
    for (const auto& f : formulas)
        cn.exec(QStringLiteral("update salary set ItemName=?, expression=?, printWidth=12 where year=2003 "
                               "and month=11 and ItemCode=?"),
                {QString::fromUtf8(f[1]), QString::fromUtf8(f[2]), QString::fromUtf8(f[0])});
    cn.exec(
        QStringLiteral("update salary set ItemName=null, expression=null, printWidth=0 where year=2003 "
                       "and month=11 and ItemCode like 'T%'"));
    cn.exec(QStringLiteral("insert into salary select ?, ?, ItemCode, ItemName, expression, printWidth from "
                           "salary where year=2003 and month=11"),
            {Year, Month});

    hx::PreparedStatement staff(
        cn, QStringLiteral("insert into staff (StaffCode, StaffName, salaryDay, Firedd, A02, A03, A04, A05, "
                           "A06, A07, A08) values (?, ?, ?, ?, ?, ?, 80, 150.5, 0, 12.25, 30)"));
    const int total = Workers + OtherPayDayWorkers + DismissedWorkers;
    for (int i = 0; i < total; ++i) {
        const QByteArray code = QByteArray::number(100000 + i);
        const QByteArray name = QStringLiteral("工人%1").arg(i).toUtf8();
        staff.bindUtf8(1, code);
        staff.bindUtf8(2, name);
        staff.bind(3, i >= Workers && i < Workers + OtherPayDayWorkers ? 25 : PayDay);
        staff.bindYesNo(4, i >= Workers + OtherPayDayWorkers);
        staff.bind(5, double(200 + (i % 7) * 50));
        staff.bind(6, (i % 11) * 30);
        staff.run();
    }

    hx::PreparedStatement job(cn, QStringLiteral("insert into job (JobCode, UnitPrice) values (?, ?)"));
    for (int i = 0; i < Processes; ++i) {
        const QByteArray code = "K2024-" + QByteArray::number(i);
        job.bindUtf8(1, code);
        job.bind(2, 0.0125 + (i % 97) * 0.0173);  // four-decimal piece rates
        job.run();
    }

    // 25 working days of May in range, 8 processes a day: 5,000 x 25 x 8 = 1,000,000 records; five days
    // of April outside the range; the other workers' records on the same days.
    // The records go in faster without their indexes, which are made again from their own definitions.
    QStringList indexes;
    {
        hx::PreparedStatement q =
            cn.query(QStringLiteral("select name, sql from sqlite_master where type='index' and "
                                    "tbl_name='JobData' and sql is not null"));
        QStringList names;
        while (q.next()) {
            names << q.value(0).toString();
            indexes << q.value(1).toString();
        }
        q.reset();
        for (const QString& name : names) cn.exec(QStringLiteral("drop index %1").arg(name));
    }
    hx::PreparedStatement record(
        cn, QStringLiteral("insert into JobData (dateD, staffID, jobID, qty) values (?, ?, ?, ?)"));
    unsigned seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xffff;
    };
    auto addDay = [&](const QByteArray& date, int staffID) {
        const int first = int(next() % Processes);
        for (int p = 0; p < 8; ++p) {
            record.bindUtf8(1, date);
            record.bind(2, staffID);
            record.bind(3, 1 + (first + p * 37) % Processes);
            record.bind(4, 1 + int(next() % 120));
            record.run();
        }
    };
    for (int day = 1; day <= 25; ++day) {
        const QByteArray date = QStringLiteral("2024-05-%1").arg(day, 2, 10, QLatin1Char('0')).toUtf8();
        for (int s = 1; s <= Workers; ++s) addDay(date, s);
        for (int s = Workers + 1; s <= total; s += 5) addDay(date, s);
    }
    for (int day = 25; day <= 30; ++day) {
        const QByteArray date = QStringLiteral("2024-04-%1").arg(day).toUtf8();
        for (int s = 1; s <= Workers; ++s) addDay(date, s);
    }
    for (const QString& index : indexes) cn.execScript(index);
    transaction.commit();
    cn.execScript(QStringLiteral("ANALYZE"));
}

const hx::SheetBatch batch{Year, Month, PayDay};
const QDate rangeFrom(Year, Month, 1);
const QDate rangeTo(Year, Month, 31);
const QString recalculated = QStringLiteral("102345");
const QString size =
    QStringLiteral("5,000 workers of one pay day, 1,000,000 piece-work records in range, 30 named items");

std::unique_ptr<hx::TdataFrm> module;
std::unique_ptr<hx::TsalaryDataFrm> window;
int result = 0;

void openModule(hxbench::Context& c) {
    const QString path = c.scratch(QStringLiteral("payroll.mdb"));
    buildAccountSet(path);
    module = std::make_unique<hx::TdataFrm>();
    module->cnMain.open(path);
    hx::setDataFrm(module.get());
}

// The same account set loaded into the benchmark server.
void openModuleOnServer(hxbench::Context& c) {
    const QString path = c.scratch(QStringLiteral("payroll.mdb"));
    buildAccountSet(path);
    const hx::AccountSet set = c.onServer(path);
    module = std::make_unique<hx::TdataFrm>();
    set.open(module->cnMain);
    hx::setDataFrm(module.get());
}

void openModuleWithSheet(hxbench::Context& c) {
    openModule(c);
    hx::generateSalarySheet(module->cnMain, batch, rangeFrom, rangeTo);
}

void closeModule(hxbench::Context&) {
    window.reset();
    hx::setDataFrm(nullptr);
    module.reset();
}

void expectRows(const char* what, qint64 rows, qint64 expected) {
    if (rows != expected)
        throw hx::Error(
            QStringLiteral("%1: %2 rows instead of %3").arg(QLatin1String(what)).arg(rows).arg(expected));
}

hxbench::Benchmark generation(bool onServer) {
    return {QStringLiteral("generate salary sheet"),
            onServer ? size + QStringLiteral(", on the server") : size,
            onServer ? QStringList{hxbench::serverPreset} : QStringList{},
            [](hxbench::Context&) {
                result = hx::generateSalarySheet(module->cnMain, batch, rangeFrom, rangeTo);
            },
            onServer ? openModuleOnServer : openModule,
            {},
            [](hxbench::Context&) {
                expectRows("generation", result, Workers);
                expectRows("stored sheet",
                           module->cnMain
                               .scalar(QStringLiteral("select count(*) from salaryData "
                                                      "where Year=? and Month=? and "
                                                      "salaryDay=?"),
                                       {Year, Month, PayDay})
                               .toLongLong(),
                           Workers);
            },
            closeModule};
}

hxbench::Registration generate(generation(false), hxbench::under(1.0));
// On the server within twice the file's time (0.24 s measured on 2026-12-10).
hxbench::Registration generateOnServer(generation(true), hxbench::withinFileRow(2, 0.24));

hxbench::Registration openSheet(
    hxbench::withWidgets({QStringLiteral("open salary sheet window"),
                          size,
                          {},
                          [](hxbench::Context&) {
                              window = std::make_unique<hx::TsalaryDataFrm>(batch);
                              window->show();
                              QApplication::processEvents();  // laid out and painted
                          },
                          openModuleWithSheet,
                          {},
                          [](hxbench::Context&) {
                              expectRows("sheet window", window->tdMain->recordCount(), Workers);
                              window.reset();
                          },
                          closeModule}),
    hxbench::under(0.3));

hxbench::Registration recalculate({QStringLiteral("recalculate one worker's row"),
                                   size,
                                   {},
                                   [](hxbench::Context&) {
                                       result =
                                           hx::recalculateWorker(module->cnMain, Year, Month, recalculated);
                                   },
                                   openModuleWithSheet,
                                   {},
                                   [](hxbench::Context&) { expectRows("recalculation", result, 1); },
                                   closeModule},
                                  hxbench::noVisibleWait());

}  // namespace
