// hexiu-bench: runs the registered benchmarks and prints the table of their timings.
//
//   hexiu-bench [--only REGEX] [--runs N] [--markdown FILE] [--data DIR]
//   hexiu-bench --list
//
// Each benchmark runs in a child process of its own (hexiu-bench --run-index I), so that its peak memory
// is measured alone; the account sets it needs are generated first, once, and kept in the data directory.
#include <QCoreApplication>
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
#include <set>

#include "benchmark.h"
#include "data/connection.h"
#include "data/errors.h"

namespace {

using hxbench::Benchmark;

struct Row {
    QString name;
    QString size;
    QString status;  // ok, pending, failed
    QString note;
    double median = 0, min = 0, max = 0;
    long peakKb = 0;
    int runs = 0;
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
        std::printf("PENDING\t%s\n", qPrintable(p.reason));
        return 0;
    } catch (const std::exception& e) {
        std::printf("FAILED\t%s\n",
                    qPrintable(hx::errorText(e).replace(QLatin1Char('\n'), QLatin1Char(' '))));
        return 1;
    }
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    const long peak = context.peakKb() > 0 ? context.peakKb() : hxbench::peakResidentKb();
    std::printf("RESULT\t%.9f\t%.9f\t%.9f\t%ld\t%zu\n", median, times.front(), times.back(), peak, n);
    return 0;
}

Row runInChild(int index, int runs, const QString& dataDir) {
    const Benchmark& b = hxbench::benchmarks().at(index);
    Row row{b.name, b.size, QStringLiteral("failed"), QString()};
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
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
        } else if (f.first() == QLatin1String("FAILED") && f.size() >= 2) {
            row.note = f[1];
        }
    }
    if (row.status == QLatin1String("failed") && row.note.isEmpty())
        row.note = QStringLiteral("the benchmark process ended with status %1").arg(child.exitCode());
    return row;
}

QStringList cells(const Row& r) {
    if (r.status == QLatin1String("ok"))
        return {r.name,
                r.size,
                QString::number(r.runs),
                formatSeconds(r.median),
                formatSeconds(r.min),
                formatSeconds(r.max),
                formatMemory(r.peakKb)};
    const QString note = r.status + QStringLiteral(": ") + r.note;
    return {r.name, r.size, QStringLiteral("-"), note, QString(), QString(), QString()};
}

const QStringList header = {QStringLiteral("operation"),  QStringLiteral("size"), QStringLiteral("runs"),
                            QStringLiteral("median"),     QStringLiteral("min"),  QStringLiteral("max"),
                            QStringLiteral("peak memory")};

void printTable(const std::vector<Row>& rows) {
    std::vector<QStringList> table{header};
    for (const Row& r : rows) table.push_back(cells(r));
    // A row that could not be measured says why in one long cell, which sets no column's width.
    std::vector<int> width(header.size(), 0);
    for (size_t i = 0; i < table.size(); ++i) {
        const bool measured = i == 0 || rows[i - 1].status == QLatin1String("ok");
        for (int c = 0; c < table[i].size(); ++c)
            if (measured || c < 2) width[c] = std::max(width[c], int(table[i][c].size()));
    }
    QTextStream out(stdout);
    for (size_t i = 0; i < table.size(); ++i) {
        QString text;
        const bool measured = i == 0 || rows[i - 1].status == QLatin1String("ok");
        for (int c = 0; c < table[i].size(); ++c) {
            if (!measured && c == 2) {
                text += table[i][3];
                break;
            }
            const bool number = c >= 2;
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
    for (int c = 0; c < header.size(); ++c) text += c >= 2 ? QStringLiteral("---:|") : QStringLiteral("---|");
    text += QLatin1Char('\n');
    for (const Row& r : rows)
        text += QStringLiteral("| ") + cells(r).join(QStringLiteral(" | ")) + QStringLiteral(" |\n");
    return text;
}

// What the prepared account sets hold, as a markdown table (readable as plain text too).
QString accountSetTable(const QString& dataDir, const std::set<QString>& presets) {
    QString text = QStringLiteral(
        "| account set | workers | processes | piece-work records | salary months | file |\n"
        "|---|---:|---:|---:|---:|---:|\n");
    for (const QString& preset : presets) {
        const QString path = hxbench::presetFile(dataDir, preset);
        hx::Connection cn;
        cn.open(path);
        auto count = [&cn](const char* sql) {
            return QLocale(QLocale::English).toString(cn.scalar(QLatin1String(sql)).toLongLong());
        };
        text += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 MB |\n")
                    .arg(preset, count("select count(*) from staff"), count("select count(*) from job"),
                         count("select count(*) from JobData"),
                         count("select count(*) from (select distinct [year], [month] from salary) "
                               "where [year] <> 2003"),
                         QString::number(QFileInfo(path).size() / 1048576.0, 'f', 1));
    }
    return text;
}

int usage() {
    std::fprintf(stderr,
                 "usage: hexiu-bench [--only REGEX] [--runs N] [--markdown FILE] [--data DIR]\n"
                 "       hexiu-bench --list\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    QString only, markdownFile, dataDir = hxbench::defaultDataDir();
    int runs = 0, runIndex = -1;
    bool list = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--list")) {
            list = true;
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
        for (int i : selected) std::printf("%s\t%s\n", qPrintable(all[i].name), qPrintable(all[i].size));
        return 0;
    }

    std::set<QString> presets;
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
        failed = failed || rows.back().status == QLatin1String("failed");
    }
    printTable(rows);
    std::printf("\n%s", qPrintable(sets));
    if (!markdownFile.isEmpty()) {
        QFile f(markdownFile);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "hexiu-bench: cannot write %s\n", qPrintable(markdownFile));
            return 1;
        }
        f.write((markdown(rows) + QStringLiteral("\nThe account sets they ran on (seed 1):\n\n") + sets)
                    .toUtf8());
    }
    return failed ? 1 : 0;
}
