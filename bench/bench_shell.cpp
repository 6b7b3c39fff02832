// Rows: start-up to the login window, and opening an account set.
#include <QDir>
#include <QFile>

#include "benchmark.h"
#include "data/connection.h"
#include "data/schema.h"

namespace {

const QString yearSize = QStringLiteral("year: 1,000 workers, 800 processes, 12 months");

// A program directory as the user has it: system store, template and one large account set.
void makeProgramDir(hxbench::Context& c) {
    const QDir dir(c.scratch(QStringLiteral("program")));
    QDir().mkpath(dir.path());
    hx::createSystemStore(dir.filePath(QStringLiteral("sysunit.dll")));
    hx::createAccountSetTemplate(dir.filePath(QStringLiteral("mlcp.dll")));
    QFile::link(c.dataFile(QStringLiteral("year")), dir.filePath(QStringLiteral("工资2025.mdb")));
}

hxbench::Registration startup(
    {QStringLiteral("start-up to the login window"),
     yearSize,
     {QStringLiteral("year")},
     [](hxbench::Context& c) {
         const hxbench::ChildRun r = hxbench::runChild(
             c.binDir() + QStringLiteral("/hexiu-startup-probe"), {},
             {QStringLiteral("HEXIU_PROBE_PROGRAM_DIR=") + c.scratch(QStringLiteral("program")),
              QStringLiteral("QT_QPA_PLATFORM=offscreen")},
             "login-window-shown", 30, c.scratch(QStringLiteral("probe-stderr.txt")));
         if (!r.sawMarker)
             c.pending(QStringLiteral("login window not yet built (the program ended "
                                      "with status %1 without showing one)")
                           .arg(r.exitCode));
         c.setElapsed(r.secondsToMarker);
         c.notePeakKb(r.peakKb);
     },
     makeProgramDir},
    hxbench::forComparison());

hxbench::Registration open({QStringLiteral("open account set + first query"),
                            yearSize,
                            {QStringLiteral("year")},
                            [](hxbench::Context& c) {
                                hx::Connection cn;
                                cn.open(c.dataFile(QStringLiteral("year")));
                                cn.scalar(QStringLiteral("select max([year]) from salary"));
                                cn.close();
                            }},
                           hxbench::forComparison());

}  // namespace
