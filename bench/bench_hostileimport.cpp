// Rows: importing hostile spreadsheet files as the import dialog does (the sheet to import chosen, then
// every row checked), each file written before the runs. The figure of a row is the longest the user
// would wait for 取消 to be answered: the longest stretch without a call of the progress callback (the
// dialog handles 取消 in it), or the time a check stopped half-way takes to return, whichever is
// longer. A run fails when the process's resident memory reached 300 MB, or when the file is taken in
// another way than the row says.
#include <QElapsedTimer>
#include <QFile>

#include "benchmark.h"
#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/exchange/import.h"
#include "support/hostilesheets.h"

namespace {

constexpr long maxResidentKb = 300 * 1024;

QString fileOf(const hxbench::Context& c) {
    return c.scratch(QStringLiteral("hostile.xlsx"));
}

// What becomes of the file: checked with every row refused, or refused whole with the message.
enum class Outcome { AllRowsRefused, Checked, FileRefused };

// Runs the dialog's first check; `stopAt` > 0 stops it at the first call of the callback after that
// many seconds. Returns the longest gap between two calls of the callback (the start and the end
// included) and, when stopped, the time from the stop to the return.
struct Timing {
    double longestGap = 0;
    double total = 0;
    double afterStop = 0;
    bool stopped = false;
    QString refusal;
    std::optional<hx::ImportPlan> plan;
};

Timing firstCheck(hx::Connection& cn, const QString& path, double stopAt) {
    Timing t;
    QElapsedTimer clock;
    clock.start();
    double last = 0;
    double stoppedAt = 0;
    const auto progress = [&](double) {
        const double now = clock.nsecsElapsed() / 1e9;
        t.longestGap = qMax(t.longestGap, now - last);
        last = now;
        if (stopAt > 0 && now >= stopAt && !t.stopped) {
            t.stopped = true;
            stoppedAt = now;
        }
        return !t.stopped;
    };
    try {
        const auto sheet = hx::sheetToImport(path, hx::ImportTarget::Staff, progress);
        if (sheet) {
            hx::ImportOptions o;
            o.target = hx::ImportTarget::Staff;
            o.sheet = *sheet;
            t.plan = hx::checkImport(cn, path, o, progress);
        }
    } catch (const hx::FileError& e) {
        t.refusal = e.message();
    }
    const double end = clock.nsecsElapsed() / 1e9;
    t.total = end;
    t.longestGap = qMax(t.longestGap, end - last);
    if (t.stopped) t.afterStop = end - stoppedAt;
    return t;
}

std::function<void(hxbench::Context&)> importRun(Outcome outcome) {
    return [outcome](hxbench::Context& c) {
        hx::Connection cn;
        cn.open(c.dataFile(QStringLiteral("small")));
        const Timing whole = firstCheck(cn, fileOf(c), 0);
        switch (outcome) {
            case Outcome::AllRowsRefused:
                if (!whole.plan || whole.plan->refused() == 0 || whole.plan->accepted() != 0)
                    throw hx::Error(QStringLiteral("the rows were not all refused: ") + whole.refusal);
                break;
            case Outcome::Checked:
                if (!whole.plan)
                    throw hx::Error(QStringLiteral("the file was not checked: ") + whole.refusal);
                break;
            case Outcome::FileRefused:
                if (!whole.refusal.startsWith(QStringLiteral("文件过大或已损坏，没有导入")))
                    throw hx::Error(QStringLiteral("the file was not refused as too large: ") +
                                    whole.refusal);
                break;
        }
        double wait = whole.longestGap;
        // 取消 half-way through the work (when the work takes long enough to be stopped at all).
        const Timing half = firstCheck(cn, fileOf(c), whole.total > 0.05 ? whole.total / 2 : 0);
        if (half.stopped) wait = qMax(wait, qMax(half.longestGap, half.afterStop));
        if (half.stopped && half.plan) throw hx::Error(QStringLiteral("the stopped check gave a plan"));
        const long kb = hxbench::peakResidentKb();
        if (kb >= maxResidentKb)
            throw hx::Error(
                QStringLiteral("resident memory reached %1 MB").arg(double(kb) / 1024, 0, 'f', 1));
        c.setElapsed(wait);
    };
}

std::function<void(hxbench::Context&)> writeFile(QVector<hxtest::RepeatedPart> (*parts)()) {
    return [parts](hxbench::Context& c) {
        if (!hxtest::writeParts(fileOf(c), parts()))
            throw hx::Error(QStringLiteral("cannot write the hostile file"));
    };
}

const QString kName = QStringLiteral("import hostile .xlsx: longest wait for 取消 (< 300 MB resident)");

hxbench::Registration sparseRows({kName,
                                  QStringLiteral("4,000 rows, one value each in column XFD, no name"),
                                  {QStringLiteral("small")},
                                  importRun(Outcome::AllRowsRefused),
                                  writeFile([] { return hxtest::sparseWideRows(4000); }),
                                  {},
                                  {},
                                  {},
                                  3},
                                 hxbench::under(1.0));

hxbench::Registration workbookBomb(
    {kName,
     QStringLiteral("xl/workbook.xml inflating to 2 GB"),
     {QStringLiteral("small")},
     importRun(Outcome::FileRefused),
     writeFile([] { return hxtest::inflatingPart(QStringLiteral("xl/workbook.xml"), qint64(2) << 30); }),
     {},
     {},
     {},
     3},
    hxbench::under(1.0));

hxbench::Registration stylesBomb(
    {kName,
     QStringLiteral("xl/styles.xml inflating to 2 GB"),
     {QStringLiteral("small")},
     importRun(Outcome::FileRefused),
     writeFile([] { return hxtest::inflatingPart(QStringLiteral("xl/styles.xml"), qint64(2) << 30); }),
     {},
     {},
     {},
     3},
    hxbench::under(1.0));

hxbench::Registration manyStrings({kName,
                                   QStringLiteral("31 million shared strings (0.5 GB inflated)"),
                                   {QStringLiteral("small")},
                                   importRun(Outcome::FileRefused),
                                   writeFile([] { return hxtest::manySharedStrings(31000000); }),
                                   {},
                                   {},
                                   {},
                                   3},
                                  hxbench::under(1.0));

// Below the bound of a part: the texts are read (and held, within their own bound) before the rows.
hxbench::Registration readStrings({kName,
                                   QStringLiteral("10 million shared strings (170 MB inflated)"),
                                   {QStringLiteral("small")},
                                   importRun(Outcome::Checked),
                                   writeFile([] { return hxtest::manySharedStrings(10000000); }),
                                   {},
                                   {},
                                   {},
                                   3},
                                  hxbench::under(1.0));

// Beyond the bound of the shared texts held, though the part is within its own.
hxbench::Registration tooManyStrings({kName,
                                      QStringLiteral("11.5 million shared strings (195 MB inflated)"),
                                      {QStringLiteral("small")},
                                      importRun(Outcome::FileRefused),
                                      writeFile([] { return hxtest::manySharedStrings(11500000); }),
                                      {},
                                      {},
                                      {},
                                      3},
                                     hxbench::under(1.0));

}  // namespace
