// Speed of the registers at the size of a large factory: the staff register over 5,000 workers and the
// process register over 2,000 processes, driven through the real windows and their menu commands. Prints
// the median of 7 runs of each step in milliseconds: opening the window (the list read and shown), sorting
// by a text column, filtering on a class group or style, removing the filter, finding a value near the end.
//
// Not part of the benchmark targets yet. Build it against the library after a normal build:
//   add_executable(bench_registers bench_registers.cpp) + target_link_libraries(bench_registers PRIVATE
//   hexiu)
// or by hand, from the source directory:
//   g++ -O2 -std=c++17 -fPIC -Isrc bench/bench_registers.cpp
//       build/CMakeFiles/hexiu_resources_1.dir/build/.rcc/qrc_hexiu_resources.cpp.o build/libhexiu.a
//       $(pkg-config --cflags --libs Qt6Widgets Qt6Sql Qt6PrintSupport sqlite3 xlsxwriter)
//       -o build/bench_registers
// and run it headless: QT_QPA_PLATFORM=offscreen build/bench_registers

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

#include "data/datamodule.h"
#include "data/mydbgrid.h"
#include "data/schema.h"
#include "registers/job.h"
#include "registers/staff.h"
#include "shell/dialogs.h"

using namespace hx;

namespace {

constexpr int workers = 5000;
constexpr int processes = 2000;
constexpr int runs = 7;

// Answers the find box with a fixed text; every other dialog is unexpected here.
class BenchDialogs : public QtDialogs {
  public:
    QString findText;
    std::optional<QString> input(const QString&, const QString&, const QString&) override { return findText; }
    void beep() override {}
};

void fill(Connection& cn) {
    const QStringList groups = {"车缝一组", "车缝二组", "车缝三组", "裁剪组",
                                "整烫组",   "包装组",   "后道组",   "质检组"};
    const QStringList surnames = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "周", "吴"};
    cn.beginTransaction();
    for (int i = 0; i < workers; ++i) {
        const QString money = QString::number(1500 + (i * 37) % 3000) + QStringLiteral(".5");
        cn.exec(
            QStringLiteral(
                "insert into staff (StaffCode, StaffName, ClassGroup, LevelSalary, salaryDay, Firedd, "
                "A02, A03) values (?, ?, ?, ?, ?, ?, ?, ?)"),
            {QStringLiteral("%1").arg(i + 1, 5, 10, QLatin1Char('0')),
             surnames[i % surnames.size()] + QString::number((i * 7919) % 100000), groups[i % groups.size()],
             QVariant::fromValue(*Money::parse(money)), 1 + i % 3 * 10, i % 10 == 0 ? -1 : 0, 100, 50});
    }
    const QStringList styles = {"春装A", "春装B", "夏装", "秋装", "冬装", ""};
    for (int i = 0; i < processes; ++i) {
        cn.exec(QStringLiteral("insert into job (JobCode, Description, StyleGroup, UnitPrice, stopp) "
                               "values (?, ?, ?, ?, ?)"),
                {QStringLiteral("P-%1").arg(i + 1, 4, 10, QLatin1Char('0')),
                 QStringLiteral("工序说明%1").arg((i * 31) % processes), styles[i % styles.size()],
                 QVariant::fromValue(*Money::parse(QStringLiteral("0.%1").arg(1000 + i % 9000))),
                 i % 20 == 0 ? -1 : 0});
    }
    cn.commit();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <class F>
double timed(F&& f) {
    QElapsedTimer t;
    t.start();
    f();
    QApplication::processEvents();
    return double(t.nsecsElapsed()) / 1e6;
}

void trigger(QWidget* window, const char* action) {
    window->findChild<QAction*>(QLatin1String(action))->trigger();
}

void select(TMyDBGrid* grid, int row, int column) {
    grid->setCurrentIndex(grid->model()->index(row, column));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.mdb"));
    createAccountSetTemplate(path);
    BenchDialogs dialogs;
    Dialogs::install(&dialogs);
    TdataFrm dm;
    setDataFrm(&dm);
    dm.cnMain.open(path);
    fill(dm.cnMain);

    std::map<std::string, std::vector<double>> times;
    for (int run = 0; run < runs; ++run) {
        TstaffFrm* staff = nullptr;
        times["staff: open 4,500 current workers"].push_back(timed([&] {
            staff = new TstaffFrm;
            staff->show();
        }));
        auto* grid = staff->findChild<TMyDBGrid*>(QStringLiteral("grdMain"));
        select(grid, 10, 1);
        times["staff: sort by name"].push_back(timed([&] { trigger(staff, "pSort"); }));
        select(grid, 10, 2);
        times["staff: filter on a class group"].push_back(timed([&] { trigger(staff, "pFilter"); }));
        times["staff: switch to the dismissed list (filter kept)"].push_back(
            timed([&] { trigger(staff, "pListFire"); }));
        times["staff: remove the filter"].push_back(timed([&] { trigger(staff, "pUnfilter"); }));
        trigger(staff, "pListFire");
        select(grid, 0, 0);
        dialogs.findText = QStringLiteral("04999");
        times["staff: find a work number near the end"].push_back(timed([&] { trigger(staff, "pFind"); }));
        if (staff->dataSet()->asString(QStringLiteral("StaffCode")) != QStringLiteral("04999"))
            std::fprintf(stderr, "staff: the find did not reach 04999\n");
        delete staff;

        TjobFrm* job = nullptr;
        times["job: open 1,900 processes"].push_back(timed([&] {
            job = new TjobFrm;
            job->show();
        }));
        grid = job->findChild<TMyDBGrid*>(QStringLiteral("grdMain"));
        select(grid, 10, 1);
        times["job: sort by description"].push_back(timed([&] { trigger(job, "pSort"); }));
        select(grid, 10, 3);
        times["job: filter on a unit price"].push_back(timed([&] { trigger(job, "pFilter"); }));
        times["job: remove the filter"].push_back(timed([&] { trigger(job, "pUnfilter"); }));
        select(grid, 0, 0);
        dialogs.findText = QStringLiteral("p-1999");
        times["job: find a process number near the end"].push_back(timed([&] { trigger(job, "pFind"); }));
        if (job->dataSet()->asString(QStringLiteral("JobCode")) != QStringLiteral("P-1999"))
            std::fprintf(stderr, "job: the find did not reach P-1999\n");
        delete job;
    }

    std::printf("%d workers, %d processes; median of %d runs\n", workers, processes, runs);
    for (const auto& [name, values] : times) std::printf("  %-52s %8.2f ms\n", name.c_str(), median(values));
    Dialogs::install(nullptr);
    setDataFrm(nullptr);
    return 0;
}
