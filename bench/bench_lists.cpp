// Rows: loading the worker and process caches (LoadStaffCache, LoadJobCache) as the piece-work window
// does when it opens, each on its own and both together, from the wide account set.
#include <functional>
#include <memory>

#include "benchmark.h"
#include "core/data/datamodule.h"
#include "core/data/errors.h"
#include "core/data/myfuns_lists.h"

namespace {

const QString wide = QStringLiteral("wide");

std::unique_ptr<hx::TdataFrm> module;
qint64 workers = 0, processes = 0;

// The caches only read, so the shared account set is opened as it is.
void openModule(hxbench::Context& c) {
    module = std::make_unique<hx::TdataFrm>();
    module->cnMain.open(c.dataFile(wide));
    hx::setDataFrm(module.get());
    workers = module->cnMain.scalar(QStringLiteral("select count(*) from staff")).toLongLong();
    processes = module->cnMain.scalar(QStringLiteral("select count(*) from job")).toLongLong();
}

void closeModule(hxbench::Context&) {
    hx::ClearCaches();
    hx::setDataFrm(nullptr);
    module.reset();
}

// After each run: every worker and process is in its cache (dismissed and finished ones too), then the
// caches are emptied for the next run.
void checkAndClear(bool staff, bool job) {
    if (staff && module->cdsMstaff.recordCount() != workers)
        throw hx::Error(QStringLiteral("worker cache holds %1 of %2 workers")
                            .arg(module->cdsMstaff.recordCount())
                            .arg(workers));
    if (job && module->cdsMjob.recordCount() != processes)
        throw hx::Error(QStringLiteral("process cache holds %1 of %2 processes")
                            .arg(module->cdsMjob.recordCount())
                            .arg(processes));
    hx::ClearCaches();
}

hxbench::Benchmark cacheRow(const QString& name, const QString& size, bool staff, bool job) {
    return {name,
            size,
            {wide},
            [staff, job](hxbench::Context&) {
                if (staff) hx::LoadStaffCache();
                if (job) hx::LoadJobCache();
            },
            openModule,
            {},
            [staff, job](hxbench::Context&) { checkAndClear(staff, job); },
            closeModule};
}

hxbench::Registration staffCache(cacheRow(QStringLiteral("load worker cache"),
                                          QStringLiteral("wide: 5,000 workers"), true, false),
                                 hxbench::under(0.1));
hxbench::Registration jobCache(cacheRow(QStringLiteral("load process cache"),
                                        QStringLiteral("wide: 2,000 processes"), false, true),
                               hxbench::under(0.1));
hxbench::Registration bothCaches(cacheRow(QStringLiteral("load both caches (piece-work window opens)"),
                                          QStringLiteral("wide: 5,000 workers, 2,000 processes"), true, true),
                                 hxbench::under(0.1));

}  // namespace
