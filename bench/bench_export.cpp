// Row: ExportGridToExcel's writing half (writeGridToXlsx), a grid of 10,000 rows by 6 columns (work
// number, name, money, integer, date, yes/no) written to a real .xlsx file. The save dialog is left out: it
// waits on the user, not on the program.
#include <QDate>
#include <QFileInfo>
#include <QTableView>
#include <memory>

#include "benchmark.h"
#include "core/data/dataset.h"
#include "core/data/datasetmodel.h"
#include "core/data/errors.h"
#include "gui/widgets/export.h"

namespace {

constexpr int Rows = 10000;

struct Grid {
    hx::DataSet ds;
    std::unique_ptr<hx::DataSetModel> model;
    QTableView view;
};
std::unique_ptr<Grid> grid;

QString output(const hxbench::Context& c) {
    return c.scratch(QStringLiteral("export.xlsx"));
}

void makeGrid(hxbench::Context&) {
    grid = std::make_unique<Grid>();
    hx::DataSet& ds = grid->ds;
    ds.defineFields({hx::Field("StaffCode", hx::FieldType::Text), hx::Field("StaffName", hx::FieldType::Text),
                     hx::Field("tmy", hx::FieldType::Money), hx::Field("qty", hx::FieldType::Integer),
                     hx::Field("dateD", hx::FieldType::Date), hx::Field("Firedd", hx::FieldType::Bool)});
    ds.open();
    const QStringList names = {"张三", "李四", "王五", "赵六", "孙小明", "周大伟"};
    for (int r = 0; r < Rows; ++r) {
        ds.append();
        ds.setValue(0, QStringLiteral("%1").arg(r, 4, 10, QLatin1Char('0')));
        ds.setValue(1, names[r % names.size()] + QString::number(r % 97));
        ds.setValue(2, QVariant::fromValue(hx::Money::fromUnits(qint64(r) * 12345 % 99999999)));
        ds.setValue(3, qint64(r % 500));
        ds.setValue(4, QDate(2024, 1, 1).addDays(r % 365));
        ds.setValue(5, r % 10 == 0);
        ds.post();
    }
    grid->model = std::make_unique<hx::DataSetModel>(&ds);
    grid->view.setModel(grid->model.get());
}

hxbench::Registration exportGrid(hxbench::withWidgets({
                                     QStringLiteral("export grid to .xlsx (writing half)"),
                                     QStringLiteral("10,000 rows x 6 columns"),
                                     {},
                                     [](hxbench::Context& c) { hx::writeGridToXlsx(&grid->view, output(c)); },
                                     makeGrid,
                                     {},
                                     [](hxbench::Context& c) {
                                         // A few bytes would mean an empty workbook: the rows never reached
                                         // the file.
                                         if (QFileInfo(output(c)).size() < 100 * 1024)
                                             throw hx::Error(QStringLiteral("the export wrote only %1 bytes")
                                                                 .arg(QFileInfo(output(c)).size()));
                                     },
                                     [](hxbench::Context&) { grid.reset(); },
                                 }),
                                 hxbench::under(1.0));

}  // namespace
