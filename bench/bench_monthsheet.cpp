// Rows: generating the salary sheet of one pay day of a month on the generated account sets, as the
// accountant does every month: on the year account set, and on the history account set (the same factory
// over five years, about 17 M piece-work records), where the cost must follow the month's records and
// workers, not the years stored; that row is held within 1.5 times the one on the year account set.
//
// The sheet is the one of June of the last year of records, pay day 15 (most class groups), with the
// calendar month as the piece-wage range. Generation writes, so each row works on a copy of the account
// set in its scratch directory, made before the timing.
#include <unistd.h>

#include <QDate>
#include <QFile>
#include <memory>

#include "benchmark.h"
#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/payroll/generation.h"

namespace {

constexpr int PayDay = 15;

struct Sheet {
    hx::Connection cn;
    hx::SheetBatch batch;
    QDate from;
    QDate to;
    qint64 workers = 0;  // current workers with the pay day
    int rows = 0;        // made by the last run
};
std::unique_ptr<Sheet> sheet;

void openCopy(hxbench::Context& c, const QString& preset) {
    const QString copy = c.scratch(preset + QStringLiteral(".mdb"));
    if (!QFile::copy(c.dataFile(preset), copy))
        throw hx::Error(QStringLiteral("cannot copy the %1 account set").arg(preset));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    // The copy is written out before the timing: the commit's sync would otherwise write the whole
    // file's pages, a cost of the copy, not of the generation.
    {
        QFile file(copy);
        if (!file.open(QIODevice::ReadWrite) || ::fsync(file.handle()) != 0)
            throw hx::Error(QStringLiteral("cannot write out the copy of the %1 account set").arg(preset));
    }
    sheet = std::make_unique<Sheet>();
    sheet->cn.open(copy);
    const QDate last = QDate::fromString(
        sheet->cn.scalar(QStringLiteral("select max(dateD) from JobData")).toString(), Qt::ISODate);
    if (!last.isValid()) throw hx::Error(QStringLiteral("the account set has no piece-work records"));
    const QDate june(last.year(), 6, 1);
    sheet->batch = {june.year(), june.month(), PayDay};
    sheet->from = june;
    sheet->to = june.addDays(june.daysInMonth() - 1);
    sheet->workers =
        sheet->cn
            .scalar(QStringLiteral("select count(*) from staff where salaryDay=? and Firedd=0"), {PayDay})
            .toLongLong();
    if (sheet->workers == 0) throw hx::Error(QStringLiteral("no current worker is paid on day 15"));
}

void checkSheet(hxbench::Context&) {
    const qint64 stored =
        sheet->cn
            .scalar(QStringLiteral("select count(*) from salaryData where Year=? and Month=? and "
                                   "salaryDay=? and A01>0"),
                    {sheet->batch.year, sheet->batch.month, sheet->batch.day})
            .toLongLong();
    // Nearly every worker of the pay day has piece work in June; a sheet without piece wages did not
    // read the month's records.
    if (sheet->rows != sheet->workers || stored < sheet->workers * 9 / 10)
        throw hx::Error(QStringLiteral("the sheet has %1 rows, %2 with a piece wage, for %3 workers")
                            .arg(sheet->rows)
                            .arg(stored)
                            .arg(sheet->workers));
}

hxbench::Benchmark sheetRow(const QString& preset, const QString& size) {
    return {QStringLiteral("generate salary sheet, a month's pay day"),
            size,
            {preset},
            [](hxbench::Context&) {
                sheet->rows = hx::generateSalarySheet(sheet->cn, sheet->batch, sheet->from, sheet->to);
            },
            [preset](hxbench::Context& c) { openCopy(c, preset); },
            {},
            checkSheet,
            [](hxbench::Context&) { sheet.reset(); }};
}

hxbench::Registration yearSheet(sheetRow(QStringLiteral("year"),
                                         QStringLiteral("year: 1,000 workers, pay day 15 of June, 12 months "
                                                        "stored")),
                                hxbench::under(1.0));
// The stated figure is the year row's median as measured on 2026-12-09, for a run of this row alone.
hxbench::Registration historySheet(sheetRow(QStringLiteral("history"),
                                            QStringLiteral("history: 1,000 workers, pay day 15 of June, 60 "
                                                           "months stored")),
                                   hxbench::within(1.5, QStringLiteral("year"), 0.060));
}  // namespace
