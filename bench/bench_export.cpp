// Measures ExportGridToExcel's writing half (writeGridToXlsx): a grid of 10,000 rows by 6 columns (work
// number, name, money, integer, date, yes/no) written to a real .xlsx file, median of several runs. The
// save dialog is left out: it waits on the user, not on the program.

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "data/dataset.h"
#include "data/datasetmodel.h"
#include "data/export.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = 10000;
    const int runs = 7;

    hx::DataSet ds;
    ds.defineFields({hx::Field("StaffCode", hx::FieldType::Text), hx::Field("StaffName", hx::FieldType::Text),
                     hx::Field("tmy", hx::FieldType::Money), hx::Field("qty", hx::FieldType::Integer),
                     hx::Field("dateD", hx::FieldType::Date), hx::Field("Firedd", hx::FieldType::Bool)});
    ds.open();
    const QStringList names = {"张三", "李四", "王五", "赵六", "孙小明", "周大伟"};
    for (int r = 0; r < rows; ++r) {
        ds.append();
        ds.setValue(0, QStringLiteral("%1").arg(r, 4, 10, QLatin1Char('0')));
        ds.setValue(1, names[r % names.size()] + QString::number(r % 97));
        ds.setValue(2, QVariant::fromValue(hx::Money::fromUnits(qint64(r) * 12345 % 99999999)));
        ds.setValue(3, qint64(r % 500));
        ds.setValue(4, QDate(2024, 1, 1).addDays(r % 365));
        ds.setValue(5, r % 10 == 0);
        ds.post();
    }
    hx::DataSetModel model(&ds);
    QTableView view;
    view.setModel(&model);

    QTemporaryDir dir;
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        hx::writeGridToXlsx(&view, dir.filePath(QStringLiteral("export.xlsx")));
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("export grid to xlsx, %d rows x 6 columns: median %.1f ms (min %.1f, max %.1f, %d runs)\n",
                rows, ms[ms.size() / 2], ms.front(), ms.back(), runs);
    return 0;
}
