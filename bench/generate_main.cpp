// hexiu-generate: writes a realistic account set (workers, processes, daily piece counts, salary items).
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>

#include "core/data/errors.h"
#include "generator.h"

namespace {

void usage() {
    std::fprintf(
        stderr,
        "usage: hexiu-generate [--preset small|year|wide|history] [--workers N] [--processes N] [--months "
        "N]\n"
        "                      [--start YYYY-MM] [--records N] [--seed N] [--template FILE] [--quiet]\n"
        "                      --out FILE.mdb\n"
        "  --records   piece-work records of one worker in a full month (default 300)\n"
        "  --template  account-set template to copy, e.g. the program directory's mlcp.dll\n"
        "              (default: made from the schema script)\n"
        "  The output file must not exist yet.\n");
}

bool toInt(const QString& text, int* value) {
    bool ok = false;
    *value = text.toInt(&ok);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    hxbench::GeneratorOptions options;
    QString out;
    bool quiet = false;

    // The preset goes first so that explicit sizes override it whatever the order on the command line.
    const int presetAt = args.indexOf(QStringLiteral("--preset"));
    if (presetAt >= 0) {
        if (presetAt + 1 >= args.size() || !hxbench::presetOptions(args[presetAt + 1], &options)) {
            std::fprintf(stderr, "hexiu-generate: unknown preset; choose one of: %s\n",
                         qPrintable(hxbench::presetNames().join(QStringLiteral(", "))));
            return 2;
        }
        args.remove(presetAt, 2);
    }
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--quiet")) {
            quiet = true;
            continue;
        }
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            usage();
            return 0;
        }
        if (i + 1 >= args.size()) {
            usage();
            return 2;
        }
        const QString v = args[++i];
        bool ok = true;
        if (a == QLatin1String("--workers")) {
            ok = toInt(v, &options.workers);
        } else if (a == QLatin1String("--processes")) {
            ok = toInt(v, &options.processes);
        } else if (a == QLatin1String("--months")) {
            ok = toInt(v, &options.months);
        } else if (a == QLatin1String("--records")) {
            ok = toInt(v, &options.recordsPerWorkerMonth);
        } else if (a == QLatin1String("--seed")) {
            options.seed = v.toULongLong(&ok);
        } else if (a == QLatin1String("--template")) {
            options.templatePath = v;
        } else if (a == QLatin1String("--out")) {
            out = v;
        } else if (a == QLatin1String("--start")) {
            static const QRegularExpression form(QStringLiteral("^(\\d{4})-(\\d{1,2})$"));
            const auto m = form.match(v);
            ok = m.hasMatch();
            if (ok) {
                options.startYear = m.captured(1).toInt();
                options.startMonth = m.captured(2).toInt();
            }
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "hexiu-generate: bad argument %s %s\n", qPrintable(a), qPrintable(v));
            usage();
            return 2;
        }
    }
    if (out.isEmpty()) {
        usage();
        return 2;
    }

    try {
        const hxbench::GeneratorResult r = hxbench::generateAccountSet(out, options);
        if (!quiet) {
            std::printf(
                "%s: %d workers (%d dismissed), %d processes (%d finished), %lld piece-work records, "
                "%d salary months; %.1f s, %.1f MB\n",
                qPrintable(out), r.workers, r.dismissed, r.processes, r.finished,
                static_cast<long long>(r.records), r.salaryMonths, r.seconds,
                QFileInfo(out).size() / 1048576.0);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hexiu-generate: %s\n", qPrintable(hx::errorText(e)));
        return 1;
    }
    return 0;
}
