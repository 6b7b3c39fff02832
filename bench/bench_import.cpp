// Row: importing a month of piece-work records of the year preset (about 300,000 rows) from an .xlsx sheet,
// the preview's check of every row included, into an account set that lacks that month. The sheet is
// written once before the runs, straight from the database; each run starts from the same account set.
#include <xlsxwriter.h>

#include <QDate>
#include <QFile>

#include "benchmark.h"
#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/exchange/import.h"

namespace {

QString sheetPath(const hxbench::Context& c) {
    return c.scratch(QStringLiteral("pieces.xlsx"));
}
QString setPath(const hxbench::Context& c) {
    return c.scratch(QStringLiteral("year.mdb"));
}

QString monthStart;
QString monthEnd;
int sheetRows = 0;

void writeSheet(hxbench::Context& c) {
    QFile::remove(setPath(c));
    if (!QFile::copy(c.dataFile(QStringLiteral("year")), setPath(c)))
        throw hx::Error(QStringLiteral("cannot copy the year preset"));
    hx::Connection cn;
    cn.open(setPath(c));
    const QDate last = QDate::fromString(
        cn.scalar(QStringLiteral("select max(dateD) from JobData")).toString(), Qt::ISODate);
    monthStart = QDate(last.year(), last.month(), 1).toString(Qt::ISODate);
    monthEnd = QDate(last.year(), last.month(), last.daysInMonth()).toString(Qt::ISODate);

    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    const QByteArray name = QFile::encodeName(sheetPath(c));
    lxw_workbook* book = workbook_new_opt(name.constData(), &options);
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
    lxw_format* dateFormat = workbook_add_format(book);
    format_set_num_format(dateFormat, "yyyy-mm-dd");
    const char* titles[] = {"日期", "工号", "工序", "数量"};
    for (int i = 0; i < 4; ++i) worksheet_write_string(sheet, 0, lxw_col_t(i), titles[i], nullptr);
    hx::PreparedStatement q(
        cn,
        QStringLiteral("select dateD, staffCode, jobCode, qty from qryData where dateD between ? "
                       "and ? order by dateD, staffCode"),
        {monthStart, monthEnd});
    lxw_row_t row = 0;
    while (q.next()) {
        ++row;
        const QDate d = QDate::fromString(q.text(0), Qt::ISODate);
        lxw_datetime dt{d.year(), d.month(), d.day(), 0, 0, 0.0};
        worksheet_write_datetime(sheet, row, 0, &dt, dateFormat);
        worksheet_write_string(sheet, row, 1, q.utf8(1).toByteArray().constData(), nullptr);
        worksheet_write_string(sheet, row, 2, q.utf8(2).toByteArray().constData(), nullptr);
        worksheet_write_number(sheet, row, 3, double(q.integer(3)), nullptr);
    }
    sheetRows = int(row);
    if (workbook_close(book) != LXW_NO_ERROR) throw hx::Error(QStringLiteral("cannot write the sheet"));
}

void dropMonth(hxbench::Context& c) {
    hx::Connection cn;
    cn.open(setPath(c));
    cn.exec(QStringLiteral("delete from JobData where dateD between ? and ?"), {monthStart, monthEnd});
}

hxbench::Registration importPieces(
    {
        QStringLiteral("import piece records from .xlsx (check and store)"),
        QStringLiteral("a month of the year preset (~300,000 rows)"),
        {QStringLiteral("year")},
        [](hxbench::Context& c) {
            hx::Connection cn;
            cn.open(setPath(c));
            hx::ImportOptions o;
            o.target = hx::ImportTarget::PieceWork;
            const auto plan = hx::checkImport(cn, sheetPath(c), o);
            if (!plan || plan->added != sheetRows || plan->refused() != 0)
                throw hx::Error(QStringLiteral("the check accepted %1 of %2 rows")
                                    .arg(plan ? plan->added : -1)
                                    .arg(sheetRows));
            hx::applyImport(cn, *plan);
        },
        writeSheet,
        dropMonth,
        {},
        {},
        3,
    },
    hxbench::under(5.0));

}  // namespace
