// Rows: start-up to the login window, and opening an account set.
//
// The start-up row runs hexiu-startup-probe (the program's own start-up) with a temporary directory of its
// own. It tells two failures apart: another copy of the program holding the single-copy lock (the row is
// "blocked"; the program rightly ended at once) and a program that showed no window ("failed").
#include <QDir>
#include <QFile>
#include <algorithm>

#include "benchmark.h"
#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/data/schema.h"

namespace {

const QString yearSize = QStringLiteral("year: 1,000 workers, 800 processes, 12 months");

// A program directory as the user has it: system store, template and one large account set; and a
// temporary directory of the probe's own, where its single-copy lock lives, so that a copy of the program
// the developer is running does not keep the probe from starting.
void makeProgramDir(hxbench::Context& c) {
    const QDir dir(c.scratch(QStringLiteral("program")));
    QDir().mkpath(dir.path());
    QDir().mkpath(c.scratch(QStringLiteral("tmp")));
    hx::createSystemStore(dir.filePath(QStringLiteral("sysunit.dll")));
    hx::createAccountSetTemplate(dir.filePath(QStringLiteral("mlcp.dll")));
    QFile::link(c.dataFile(QStringLiteral("year")), dir.filePath(QStringLiteral("工资2025.mdb")));
}

// The last lines the program wrote on standard error, for a row that failed.
QString errorTail(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    const QStringList lines =
        QString::fromUtf8(f.readAll()).trimmed().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.mid(std::max(0, int(lines.size()) - 3)).join(QStringLiteral(" / "));
}

void runStartup(hxbench::Context& c) {
    const QString errors = c.scratch(QStringLiteral("probe-stderr.txt"));
    const hxbench::ChildRun r =
        hxbench::runChild(c.binDir() + QStringLiteral("/hexiu-startup-probe"), {},
                          {QStringLiteral("HEXIU_PROBE_PROGRAM_DIR=") + c.scratch(QStringLiteral("program")),
                           QStringLiteral("TMPDIR=") + c.scratch(QStringLiteral("tmp")),
                           QStringLiteral("QT_QPA_PLATFORM=offscreen")},
                          "login-window-shown", 30, errors);
    if (!r.sawMarker) {
        for (const QByteArray& line : r.output.split('\n')) {
            if (!line.startsWith("another-copy-running ")) continue;
            const QList<QByteArray> f = line.split(' ');
            const QString pid =
                f.value(1) == "0" ? QStringLiteral("unknown") : QString::fromLatin1(f.value(1));
            c.blocked(QStringLiteral("another copy of the program is running (process %1 holds the lock %2); "
                                     "the program ended at once, as it must")
                          .arg(pid, QString::fromLocal8Bit(line.mid(line.indexOf(' ', 21) + 1))));
        }
        const QString ended = r.exitCode < 0 ? QStringLiteral("was killed or crashed")
                                             : QStringLiteral("ended with status %1").arg(r.exitCode);
        const QString tail = errorTail(errors);
        throw hx::Error(
            QStringLiteral("the program showed no window: it %1 without painting the login window%2")
                .arg(ended, tail.isEmpty() ? QString() : QStringLiteral("; its last errors: ") + tail));
    }
    c.setElapsed(r.secondsToMarker);
    c.notePeakKb(r.peakKb);
}

hxbench::Registration startup({QStringLiteral("start-up to the login window"),
                               yearSize,
                               {QStringLiteral("year")},
                               runStartup,
                               makeProgramDir},
                              hxbench::forComparison());

hxbench::Registration open({QStringLiteral("open account set + first query"),
                            yearSize,
                            {QStringLiteral("year")},
                            [](hxbench::Context& c) {
                                hx::Connection cn;
                                cn.open(c.dataFile(QStringLiteral("year")));
                                cn.scalar(QStringLiteral("select max(year) from salary"));
                                cn.close();
                            }},
                           hxbench::forComparison());

}  // namespace
