// hexiu-bench: runs the registered benchmarks and prints the table of their timings.
//
//   hexiu-bench [--only REGEX] [--runs N] [--markdown FILE] [--data DIR] [--check]
//   hexiu-bench --list
//
// Every row carries its target (benchmark.h); the table shows it and marks a missed one. With --check
// the runner ends with status 3 when a row missed its target (and lists them), with 1 when a row failed.
//
// Each benchmark runs in a child process of its own (hexiu-bench --run-index I), so that its peak memory
// is measured alone; the account sets it needs are generated first, once, and kept in the data directory.
// A benchmark that opens windows runs under a QApplication on the offscreen platform, so that nothing
// shows on the screen and the run needs no display.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

#include "benchmark.h"
#include "core/data/connection.h"
#include "core/data/errors.h"

namespace {

using hxbench::Benchmark;

struct Row {
    int index = -1;  // in the registry
    QString name;
    QString size;
    QString status;  // ok, pending, blocked, failed
    QString note;
    double median = 0, min = 0, max = 0;
    long peakKb = 0;
    int runs = 0;
    // The target as the table states it, and whether the median kept to it.
    QString target;
    enum class Verdict { None, Met, Missed } verdict = Verdict::None;
};

QString formatSeconds(double s) {
    if (s < 0.001) return QStringLiteral("%1 µs").arg(s * 1e6, 0, 'f', 0);
    if (s < 1.0) return QStringLiteral("%1 ms").arg(s * 1e3, 0, 'f', s < 0.01 ? 2 : 1);
    return QStringLiteral("%1 s").arg(s, 0, 'f', 2);
}

QString formatMemory(long kb) {
    return QStringLiteral("%1 MB").arg(kb / 1024.0, 0, 'f', 1);
}

// Runs one benchmark in this process and reports it on standard output as one tab-separated line.
int runOne(int index, int runs, const QString& dataDir) {
    const Benchmark& b = hxbench::benchmarks().at(index);
    QTemporaryDir scratch(dataDir + QStringLiteral("/scratch-XXXXXX"));
    if (!scratch.isValid()) {
        std::printf("FAILED\tcannot create a scratch directory in %s\n", qPrintable(dataDir));
        return 1;
    }
    hxbench::Context context(dataDir, scratch.path());
    std::vector<double> times;
    QString outcome;
    int status = 0;
    try {
        if (b.setUp) b.setUp(context);
        for (int i = 0; i < std::max(1, runs > 0 ? runs : b.runs); ++i) {
            if (b.before) b.before(context);
            QElapsedTimer timer;
            timer.start();
            b.run(context);
            double elapsed = timer.nsecsElapsed() / 1e9;
            const double measured = context.takeElapsed();
            if (measured >= 0) elapsed = measured;
            times.push_back(elapsed);
            if (b.after) b.after(context);
        }
    } catch (const hxbench::Pending& p) {
        outcome = QStringLiteral("PENDING\t") + p.reason;
    } catch (const hxbench::Blocked& blocked) {
        outcome = QStringLiteral("BLOCKED\t") +
                  QString(blocked.reason).replace(QLatin1Char('\n'), QLatin1Char(' '));
        status = 1;
    } catch (const std::exception& e) {
        outcome = QStringLiteral("FAILED\t") + hx::errorText(e).replace(QLatin1Char('\n'), QLatin1Char(' '));
        status = 1;
    }
    try {
        if (b.tearDown) b.tearDown(context);
    } catch (const std::exception& e) {
        if (outcome.isEmpty()) {
            outcome =
                QStringLiteral("FAILED\t") + hx::errorText(e).replace(QLatin1Char('\n'), QLatin1Char(' '));
            status = 1;
        }
    }
    if (outcome.isEmpty()) {
        std::sort(times.begin(), times.end());
        const size_t n = times.size();
        const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
        const long peak = context.peakKb() > 0 ? context.peakKb() : hxbench::peakResidentKb();
        outcome = QStringLiteral("RESULT\t%1\t%2\t%3\t%4\t%5")
                      .arg(median, 0, 'f', 9)
                      .arg(times.front(), 0, 'f', 9)
                      .arg(times.back(), 0, 'f', 9)
                      .arg(peak)
                      .arg(n);
    }
    // Written out at once: whatever happens while the process ends cannot lose the result.
    std::printf("%s\n", qPrintable(outcome));
    std::fflush(stdout);
    return status;
}

Row runInChild(int index, int runs, const QString& dataDir) {
    const Benchmark& b = hxbench::benchmarks().at(index);
    Row row;
    row.index = index;
    row.name = b.name;
    row.size = b.size;
    row.status = QStringLiteral("failed");
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--run-index"), QString::number(index), QStringLiteral("--runs"),
                 QString::number(runs), QStringLiteral("--data"), dataDir});
    if (!child.waitForFinished(-1)) {
        row.note = child.errorString();
        return row;
    }
    const QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.first() == QLatin1String("RESULT") && f.size() == 6) {
            row.status = QStringLiteral("ok");
            row.median = f[1].toDouble();
            row.min = f[2].toDouble();
            row.max = f[3].toDouble();
            row.peakKb = f[4].toLong();
            row.runs = f[5].toInt();
        } else if (f.first() == QLatin1String("PENDING") && f.size() >= 2) {
            row.status = QStringLiteral("pending");
            row.note = f[1];
        } else if (f.first() == QLatin1String("BLOCKED") && f.size() >= 2) {
            row.status = QStringLiteral("blocked");
            row.note = f[1];
        } else if (f.first() == QLatin1String("FAILED") && f.size() >= 2) {
            row.note = f[1];
        }
    }
    if (row.status == QLatin1String("failed") && row.note.isEmpty())
        row.note = QStringLiteral("the benchmark process ended with status %1").arg(child.exitCode());
    return row;
}

// Fills in each row's target as the table states it and whether the median kept to it. A relative target
// takes the median of the row of the same name on its preset when that row was measured in this run,
// and its stated figure otherwise. A row with a target that was not measured has missed it.
void judge(std::vector<Row>& rows) {
    const auto& all = hxbench::benchmarks();
    for (Row& r : rows) {
        const hxbench::Target& t = all[size_t(r.index)].target;
        if (!t.isSet()) {
            r.target = QStringLiteral("none");
            continue;
        }
        double bound = t.seconds;
        if (!t.relativeTo.isEmpty()) {
            const Row* reference = nullptr;
            for (const Row& other : rows) {
                const QStringList& presets = all[size_t(other.index)].presets;
                if (&other != &r && other.name == r.name && other.status == QLatin1String("ok") &&
                    (t.relativeTo == hxbench::fileEngine || presets.contains(t.relativeTo)) &&
                    !presets.contains(hxbench::serverPreset))
                    reference = &other;
            }
            const QString factor = QString::number(t.factor);
            if (reference) {
                bound = t.factor * reference->median;
                r.target = QStringLiteral("≤ %1× %2 = %3").arg(factor, t.relativeTo, formatSeconds(bound));
            } else {
                bound = t.statedSeconds;
                r.target =
                    QStringLiteral("≤ %1× %2 (stated) = %3").arg(factor, t.relativeTo, formatSeconds(bound));
            }
        } else {
            r.target = QStringLiteral("≤ ") + formatSeconds(bound);
        }
        r.verdict =
            r.status == QLatin1String("ok") && r.median <= bound ? Row::Verdict::Met : Row::Verdict::Missed;
    }
}

QString verdictText(const Row& r) {
    switch (r.verdict) {
        case Row::Verdict::Met:
            return QStringLiteral("met");
        case Row::Verdict::Missed:
            return QStringLiteral("MISSED");
        case Row::Verdict::None:
            break;
    }
    return QStringLiteral("-");
}

QStringList cells(const Row& r) {
    if (r.status == QLatin1String("ok"))
        return {r.name,
                r.size,
                QString::number(r.runs),
                formatSeconds(r.median),
                formatSeconds(r.min),
                formatSeconds(r.max),
                formatMemory(r.peakKb),
                r.target,
                verdictText(r)};
    const QString note = r.status + QStringLiteral(": ") + r.note;
    return {r.name,    r.size,   QStringLiteral("-"), note, QString(), QString(),
            QString(), r.target, verdictText(r)};
}

const QStringList header = {
    QStringLiteral("operation"),   QStringLiteral("size"),   QStringLiteral("runs"),
    QStringLiteral("median"),      QStringLiteral("min"),    QStringLiteral("max"),
    QStringLiteral("peak memory"), QStringLiteral("target"), QStringLiteral("result")};
constexpr int firstNumber = 2, lastNumber = 6, targetColumn = 7;

void printTable(const std::vector<Row>& rows) {
    std::vector<QStringList> table{header};
    for (const Row& r : rows) table.push_back(cells(r));
    // A row that could not be measured says why in one long cell, which sets no column's width.
    std::vector<int> width(header.size(), 0);
    for (size_t i = 0; i < table.size(); ++i) {
        const bool measured = i == 0 || rows[i - 1].status == QLatin1String("ok");
        for (int c = 0; c < table[i].size(); ++c)
            if (measured || c < firstNumber) width[c] = std::max(width[c], int(table[i][c].size()));
    }
    QTextStream out(stdout);
    for (size_t i = 0; i < table.size(); ++i) {
        QString text;
        const bool measured = i == 0 || rows[i - 1].status == QLatin1String("ok");
        for (int c = 0; c < table[i].size(); ++c) {
            if (!measured && c == firstNumber) {
                text += table[i][3] + QStringLiteral("  ") + table[i][targetColumn] + QStringLiteral("  ") +
                        table[i][targetColumn + 1];
                break;
            }
            const bool number = c >= firstNumber && c <= lastNumber;
            text += number ? table[i][c].rightJustified(width[c]) : table[i][c].leftJustified(width[c]);
            text += QStringLiteral("  ");
        }
        out << text.trimmed() << '\n';
        if (i == 0) {
            int total = 0;
            for (int w : width) total += w + 2;
            out << QString(total - 2, QLatin1Char('-')) << '\n';
        }
    }
}

QString markdown(const std::vector<Row>& rows) {
    QString text = QStringLiteral("| ") + header.join(QStringLiteral(" | ")) + QStringLiteral(" |\n|");
    for (int c = 0; c < header.size(); ++c)
        text += c >= firstNumber && c <= lastNumber ? QStringLiteral("---:|") : QStringLiteral("---|");
    text += QLatin1Char('\n');
    for (const Row& r : rows) {
        QStringList row = cells(r);
        if (r.verdict == Row::Verdict::Missed) row.last() = QStringLiteral("**MISSED**");
        text += QStringLiteral("| ") + row.join(QStringLiteral(" | ")) + QStringLiteral(" |\n");
    }
    return text;
}

// What the prepared account sets hold, as a markdown table (readable as plain text too).
QString accountSetTable(const QString& dataDir, const std::set<QString>& presets) {
    QString text = QStringLiteral(
        "| account set | workers | processes | piece-work records | salary months | file |\n"
        "|---|---:|---:|---:|---:|---:|\n");
    for (const QString& preset : presets) {
        if (preset == hxbench::serverPreset) continue;
        const QString path = hxbench::presetFile(dataDir, preset);
        hx::Connection cn;
        cn.open(path);
        auto count = [&cn](const char* sql) {
            return QLocale(QLocale::English).toString(cn.scalar(QLatin1String(sql)).toLongLong());
        };
        text += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 MB |\n")
                    .arg(preset, count("select count(*) from staff"), count("select count(*) from job"),
                         count("select count(*) from JobData"),
                         count("select count(*) from (select distinct year, month from salary) "
                               "where year <> 2003"),
                         QString::number(QFileInfo(path).size() / 1048576.0, 'f', 1));
    }
    return text;
}

int usage() {
    std::fprintf(stderr,
                 "usage: hexiu-bench [--only REGEX] [--runs N] [--markdown FILE] [--data DIR] [--check]\n"
                 "       hexiu-bench --list\n");
    return 2;
}

// The benchmark this process was started to run (--run-index I), looked up before the application object
// exists, as its kind depends on the benchmark; nullptr for the process that runs the table.
const Benchmark* benchmarkToRun(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--run-index") != 0) continue;
        const int index = std::atoi(argv[i + 1]);
        const auto& all = hxbench::benchmarks();
        return index >= 0 && index < int(all.size()) ? &all[size_t(index)] : nullptr;
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    const Benchmark* toRun = benchmarkToRun(argc, argv);
    std::unique_ptr<QCoreApplication> app;
    if (toRun && toRun->widgets) {
        // Run by hand without the table's environment, it still needs no display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    const QStringList args = app->arguments().mid(1);
    QString only, markdownFile, dataDir = hxbench::defaultDataDir();
    int runs = 0, runIndex = -1;
    bool list = false, check = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--list")) {
            list = true;
            continue;
        }
        if (a == QLatin1String("--check")) {
            check = true;
            continue;
        }
        if (i + 1 >= args.size()) return usage();
        const QString v = args[++i];
        if (a == QLatin1String("--only"))
            only = v;
        else if (a == QLatin1String("--runs"))
            runs = v.toInt();
        else if (a == QLatin1String("--markdown"))
            markdownFile = v;
        else if (a == QLatin1String("--data"))
            dataDir = v;
        else if (a == QLatin1String("--run-index"))
            runIndex = v.toInt();
        else
            return usage();
    }
    const auto& all = hxbench::benchmarks();
    if (runIndex >= 0) {
        if (runIndex >= int(all.size())) return usage();
        return runOne(runIndex, runs, dataDir);
    }

    std::vector<int> selected;
    const QRegularExpression filter(only);
    for (int i = 0; i < int(all.size()); ++i) {
        if (only.isEmpty() || filter.match(all[i].name + QLatin1Char(' ') + all[i].size).hasMatch())
            selected.push_back(i);
    }
    if (list) {
        for (int i : selected) {
            const hxbench::Target& t = all[i].target;
            const QString target = t.seconds > 0 ? QStringLiteral("under %1 s").arg(t.seconds)
                                   : t.isSet()   ? QStringLiteral("within %1x of %2 (stated: %3 s)")
                                                     .arg(t.factor)
                                                     .arg(t.relativeTo)
                                                     .arg(t.statedSeconds)
                                               : QStringLiteral("none: ") + t.why;
            std::printf("%s\t%s\t%s\n", qPrintable(all[i].name), qPrintable(all[i].size), qPrintable(target));
        }
        return 0;
    }

    std::set<QString> presets;
    QDir().mkpath(dataDir);  // the rows' scratch directories are made there, also without a preset
    try {
        for (int i : selected)
            for (const QString& p : all[i].presets) presets.insert(p);
        for (const QString& p : presets) hxbench::preparePreset(dataDir, p);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hexiu-bench: %s\n", qPrintable(hx::errorText(e)));
        return 1;
    }

    const QString sets = accountSetTable(dataDir, presets);

    std::vector<Row> rows;
    bool failed = false;
    for (int i : selected) {
        std::fprintf(stderr, "running: %s, %s\n", qPrintable(all[i].name), qPrintable(all[i].size));
        rows.push_back(runInChild(i, runs, dataDir));
        failed = failed || rows.back().status == QLatin1String("failed") ||
                 rows.back().status == QLatin1String("blocked");
    }
    judge(rows);
    printTable(rows);
    std::printf("\n%s", qPrintable(sets));
    bool missed = false;
    for (const Row& r : rows) missed = missed || r.verdict == Row::Verdict::Missed;
    if (check && missed) {
        std::printf("\nMissed targets:\n");
        for (const Row& r : rows) {
            if (r.verdict != Row::Verdict::Missed) continue;
            const QString what =
                r.status == QLatin1String("ok")
                    ? QStringLiteral("median %1, target %2").arg(formatSeconds(r.median), r.target)
                    : QStringLiteral("not measured (%1), target %2").arg(r.status, r.target);
            std::printf("  %s, %s: %s\n", qPrintable(r.name), qPrintable(r.size), qPrintable(what));
        }
    }
    if (!markdownFile.isEmpty()) {
        QFile f(markdownFile);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "hexiu-bench: cannot write %s\n", qPrintable(markdownFile));
            return 1;
        }
        f.write((markdown(rows) + QStringLiteral("\nThe account sets they ran on (seed 1):\n\n") + sets)
                    .toUtf8());
    }
    // A failed row is an error whatever the options; a missed target is one with --check.
    if (failed) return 1;
    return check && missed ? 3 : 0;
}
