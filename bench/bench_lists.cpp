// Measures the loading of the worker and process caches (LoadStaffCache, LoadJobCache) from an account
// set of 5,000 workers and 2,000 processes, as the piece-work window does when it opens: median of several
// runs, each of the two loads timed on its own and together.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "data/datamodule.h"
#include "data/myfuns_lists.h"
#include "data/schema.h"

namespace {
double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int workers = 5000;
    const int processes = 2000;
    const int runs = 9;

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bench.mdb"));
    hx::createAccountSetTemplate(file);
    hx::TdataFrm dm;
    dm.cnMain.open(file);
    hx::setDataFrm(&dm);
    {
        hx::Transaction tr(dm.cnMain);
        const QStringList names = {"张三", "李四", "王五", "赵六", "孙小明", "周大伟"};
        for (int i = 0; i < workers; ++i)
            dm.cnMain.exec(
                QStringLiteral("insert into staff (StaffCode, StaffName, Firedd) values (?, ?, ?)"),
                {QStringLiteral("%1").arg(i, 5, 10, QLatin1Char('0')), names[i % names.size()],
                 i % 20 == 0 ? -1 : 0});
        for (int i = 0; i < processes; ++i)
            dm.cnMain.exec(QStringLiteral("insert into job (JobCode, UnitPrice, stopp) values (?, ?, ?)"),
                           {QStringLiteral("K%1-工序%2").arg(i / 40).arg(i), 0.05 + (i % 300) * 0.0125,
                            i % 15 == 0 ? -1 : 0});
        tr.commit();
    }

    std::vector<double> staff, job, both;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        hx::LoadStaffCache();
        const double s = t.nsecsElapsed() / 1e6;
        hx::LoadJobCache();
        const double all = t.nsecsElapsed() / 1e6;
        staff.push_back(s);
        job.push_back(all - s);
        both.push_back(all);
        hx::ClearCaches();
    }
    std::printf("load worker cache, %d workers: median %.1f ms\n", workers, median(staff));
    std::printf("load process cache, %d processes: median %.1f ms\n", processes, median(job));
    std::printf("load both caches: median %.1f ms (%d runs)\n", median(both), runs);
    hx::setDataFrm(nullptr);
    return 0;
}
