// Rows: the registers at the size of a large factory, the staff register over the wide account set's
// 5,000 workers and the process register over its 2,000 processes, driven through the real windows and
// their menu commands: opening the window (the list read and shown), sorting by a text column, filtering
// on the current cell, switching lists with the filter kept, removing the filter, and finding a value in
// the list's last row. Each run starts from a freshly opened window; what it times includes the events
// the command leaves behind (layout and paint).
#include <QAction>
#include <QApplication>
#include <functional>
#include <memory>

#include "benchdialogs.h"
#include "benchmark.h"
#include "core/data/datamodule.h"
#include "core/data/errors.h"
#include "gui/registers/job.h"
#include "gui/registers/staff.h"
#include "gui/widgets/mydbgrid.h"

namespace {

using hx::TMyDBGrid;

const QString wide = QStringLiteral("wide");
const QString staffSize = QStringLiteral("wide: 5,000 workers");
const QString jobSize = QStringLiteral("wide: 2,000 processes");

std::unique_ptr<hxbench::BenchDialogs> dialogs;
std::unique_ptr<hx::TdataFrm> module;
std::unique_ptr<hx::WorkWindow> window;
QString findTarget;  // the value the find row looks for; empty for the other rows

// The registers only read here; the shared account set is opened so that any write would be refused
// rather than change it for the other rows.
void openModule(hxbench::Context& c) {
    dialogs = std::make_unique<hxbench::BenchDialogs>();
    module = std::make_unique<hx::TdataFrm>();
    module->cnMain.open(c.dataFile(wide));
    module->cnMain.execScript(QStringLiteral("PRAGMA query_only = ON"));
    hx::setDataFrm(module.get());
}

void closeModule(hxbench::Context&) {
    window.reset();
    hx::setDataFrm(nullptr);
    module.reset();
    dialogs.reset();
}

TMyDBGrid* grid() {
    return window->findChild<TMyDBGrid*>(QStringLiteral("grdMain"));
}

hx::DataSet* list() {
    return grid()->dataSet();
}

void trigger(const char* action) {
    QAction* a = window->findChild<QAction*>(QLatin1String(action));
    if (!a) throw hx::Error(QStringLiteral("the window has no command %1").arg(QLatin1String(action)));
    a->trigger();
}

// Makes the cell of `field` in `row` current, as a click on it does.
void selectCell(int row, const QString& field) {
    TMyDBGrid* g = grid();
    for (int column = 0; column < g->model()->columnCount(); ++column) {
        g->setCurrentIndex(g->model()->index(row, column));
        if (g->selectedField() == field) return;
    }
    throw hx::Error(QStringLiteral("the list shows no column %1").arg(field));
}

template <class Window>
void openWindow() {
    window = std::make_unique<Window>();
    window->show();
    QApplication::processEvents();
}

void closeWindow() {
    window.reset();
    dialogs->check();
}

// Untimed preparation of a run: the window open and the steps before the one measured.
using Steps = std::function<void()>;

template <class Window>
hxbench::Benchmark registerRow(const QString& name, const QString& size, Steps prepare, const char* command,
                               Steps verify) {
    return hxbench::withWidgets({name,
                                 size,
                                 {wide},
                                 [command](hxbench::Context&) {
                                     trigger(command);
                                     QApplication::processEvents();
                                 },
                                 openModule,
                                 [prepare](hxbench::Context&) {
                                     openWindow<Window>();
                                     prepare();
                                 },
                                 [verify](hxbench::Context&) {
                                     verify();
                                     closeWindow();
                                 },
                                 closeModule});
}

void expect(bool ok, const QString& what) {
    if (!ok) throw hx::Error(what);
}

// The value of `field` in the list's last row; the find starts from the first row, so it passes them all.
void aimAtLastRow(const QString& field) {
    const hx::DataSet* ds = list();
    findTarget = ds->valueAt(ds->recordCount() - 1, ds->fieldIndex(field)).toString();
    dialogs->inputText = findTarget.toLower();  // letter case is ignored, as the user may type it
    selectCell(0, field);
}

void expectFound(const QString& field) {
    expect(list()->asString(field) == findTarget,
           QStringLiteral("the find stopped at %1, not at %2").arg(list()->asString(field), findTarget));
}

// Staff register: the current workers on opening.

hxbench::Registration staffOpen(hxbench::withWidgets({QStringLiteral("staff register: open"),
                                                      staffSize,
                                                      {wide},
                                                      [](hxbench::Context&) { openWindow<hx::TstaffFrm>(); },
                                                      openModule,
                                                      {},
                                                      [](hxbench::Context&) {
                                                          expect(list()->recordCount() > 4000,
                                                                 QStringLiteral(
                                                                     "the register shows only %1 workers")
                                                                     .arg(list()->recordCount()));
                                                          closeWindow();
                                                      },
                                                      closeModule}),
                                hxbench::noVisibleWait());

hxbench::Registration staffSort(registerRow<hx::TstaffFrm>(
                                    QStringLiteral("staff register: sort by name"), staffSize,
                                    [] { selectCell(10, QStringLiteral("StaffName")); }, "pSort",
                                    [] {
                                        expect(!list()->sort().isEmpty(),
                                               QStringLiteral("the list was not sorted"));
                                    }),
                                hxbench::noVisibleWait());

hxbench::Registration staffFilter(registerRow<hx::TstaffFrm>(
                                      QStringLiteral("staff register: filter on a class group"), staffSize,
                                      [] { selectCell(10, QStringLiteral("ClassGroup")); }, "pFilter",
                                      [] {
                                          expect(list()->filtered(),
                                                 QStringLiteral("the list was not filtered"));
                                      }),
                                  hxbench::noVisibleWait());

hxbench::Registration staffSwitch(
    registerRow<hx::TstaffFrm>(
        QStringLiteral("staff register: show the dismissed (filter kept)"), staffSize,
        [] {
            selectCell(10, QStringLiteral("ClassGroup"));
            trigger("pFilter");
        },
        "pListFire",
        [] {
            expect(list()->filtered() && !static_cast<hx::TstaffFrm*>(window.get())->showsCurrentWorkers(),
                   QStringLiteral("the filtered list of dismissed workers is not shown"));
        }),
    hxbench::noVisibleWait());

hxbench::Registration staffUnfilter(
    registerRow<hx::TstaffFrm>(
        QStringLiteral("staff register: remove the filter"), staffSize,
        [] {
            selectCell(10, QStringLiteral("ClassGroup"));
            trigger("pFilter");
        },
        "pUnfilter", [] { expect(!list()->filtered(), QStringLiteral("the filter is still on")); }),
    hxbench::noVisibleWait());

hxbench::Registration staffFind(registerRow<hx::TstaffFrm>(
                                    QStringLiteral("staff register: find a work number"), staffSize,
                                    [] { aimAtLastRow(QStringLiteral("StaffCode")); }, "pFind",
                                    [] { expectFound(QStringLiteral("StaffCode")); }),
                                hxbench::noVisibleWait());

// Process register: the processes in production on opening.

hxbench::Registration jobOpen(hxbench::withWidgets({QStringLiteral("process register: open"),
                                                    jobSize,
                                                    {wide},
                                                    [](hxbench::Context&) { openWindow<hx::TjobFrm>(); },
                                                    openModule,
                                                    {},
                                                    [](hxbench::Context&) {
                                                        expect(list()->recordCount() > 1000,
                                                               QStringLiteral(
                                                                   "the register shows only %1 processes")
                                                                   .arg(list()->recordCount()));
                                                        closeWindow();
                                                    },
                                                    closeModule}),
                              hxbench::noVisibleWait());

hxbench::Registration jobSort(registerRow<hx::TjobFrm>(
                                  QStringLiteral("process register: sort by description"), jobSize,
                                  [] { selectCell(10, QStringLiteral("Description")); }, "pSort",
                                  [] {
                                      expect(!list()->sort().isEmpty(),
                                             QStringLiteral("the list was not sorted"));
                                  }),
                              hxbench::noVisibleWait());

hxbench::Registration jobFilter(registerRow<hx::TjobFrm>(
                                    QStringLiteral("process register: filter on a unit price"), jobSize,
                                    [] { selectCell(10, QStringLiteral("UnitPrice")); }, "pFilter",
                                    [] {
                                        expect(list()->filtered(),
                                               QStringLiteral("the list was not filtered"));
                                    }),
                                hxbench::noVisibleWait());

hxbench::Registration jobUnfilter(
    registerRow<hx::TjobFrm>(
        QStringLiteral("process register: remove the filter"), jobSize,
        [] {
            selectCell(10, QStringLiteral("UnitPrice"));
            trigger("pFilter");
        },
        "pUnfilter", [] { expect(!list()->filtered(), QStringLiteral("the filter is still on")); }),
    hxbench::noVisibleWait());

hxbench::Registration jobFind(registerRow<hx::TjobFrm>(
                                  QStringLiteral("process register: find a process number"), jobSize,
                                  [] { aimAtLastRow(QStringLiteral("JobCode")); }, "pFind",
                                  [] { expectFound(QStringLiteral("JobCode")); }),
                              hxbench::noVisibleWait());

}  // namespace
