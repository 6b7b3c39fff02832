#pragma once

// The benchmark registry. A row of the table is one Benchmark: an operation, the size it runs on, and a
// callable timed over several runs. A file bench/bench_<area>.cpp adds rows with static registrations:
//
//     static hxbench::Registration openYear({
//         "open account set", "year (1,000 workers, 3.4 M records)", {"year"},
//         [](hxbench::Context& c) { hx::Connection cn; cn.open(c.dataFile("year")); }},
//         hxbench::under(0.1));
//
// The runner (hexiu-bench) prepares the named account sets first, outside every timing, then runs each
// benchmark in a process of its own, so that the peak memory of one row is that row's alone.

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "core/data/accountset.h"

namespace hxbench {

// The account sets a row needs name presets; this one more is no account set but the benchmark server:
// the PostgreSQL server that HEXIU_TEST_PG names (`bash scripts/with-postgres.sh build/bench/hexiu-bench`
// starts one). A row on it carries the name of the same operation's file row, and its target is relative to
// that row, which runs right before it.
inline const QString serverPreset = QStringLiteral("server");

class Context {
  public:
    Context(const QString& dataDir, const QString& scratchDir);

    // A generated account set of a preset ("small", "year", "wide"), as listed in the benchmark's
    // presets; it is shared by every benchmark: open it, do not change it.
    QString dataFile(const QString& preset) const;
    // The account-set file `file` as a set of its own on the benchmark server, loaded the first time a
    // row asks for it (untimed: in a row's setUp) and found there by later rows of the same run. Without
    // a server the row is pending.
    hx::AccountSet onServer(const QString& file);
    // A directory of this benchmark process's own, removed when it ends.
    QString scratchDir() const { return m_scratch; }
    QString scratch(const QString& name) const;
    // The directory of the benchmark programs (hexiu-bench, hexiu-startup-probe, ...).
    QString binDir() const;

    // For a run that measures another process: the time and the peak memory it measured itself replace
    // what this process would see.
    void setElapsed(double seconds) { m_elapsed = seconds; }
    void notePeakKb(long kb) {
        if (kb > m_peakKb) m_peakKb = kb;
    }
    // Ends the benchmark with a row that says why it cannot be measured yet.
    [[noreturn]] void pending(const QString& reason);
    // Ends the benchmark with a row that says what outside the code under test kept it from running.
    [[noreturn]] void blocked(const QString& reason);

    // Used by the runner.
    double takeElapsed() {
        const double e = m_elapsed;
        m_elapsed = -1;
        return e;
    }
    long peakKb() const { return m_peakKb; }

  private:
    QString m_data;
    QString m_scratch;
    double m_elapsed = -1;
    long m_peakKb = 0;
};

// The peak resident memory of this process image, in KiB (VmHWM). Unlike getrusage's ru_maxrss it
// starts afresh at exec, so a program launched from a large one does not inherit its figure.
long peakResidentKb();

struct Pending {
    QString reason;
};

// A row that could not be measured because something outside the code under test is in the way (another
// copy of the program holding its single-copy lock); a failure of its own kind in the table.
struct Blocked {
    QString reason;
};

// What a row must achieve, checked by the runner on its median. A row has an absolute bound, a bound
// relative to the row of the same operation on another preset (its median times a factor), or none.
struct Target {
    double seconds = 0;        // the median must not exceed this; 0: no absolute bound
    QString relativeTo;        // a preset: compare with the row of the same name run on it
    double factor = 0;         // ... whose median times this is the bound
    double statedSeconds = 0;  // the bound when that row did not run (its stated figure times the factor)
    QString why;               // a row without a target: what its figure is for

    bool isSet() const { return seconds > 0 || !relativeTo.isEmpty(); }
};

// The median must not exceed `seconds`.
inline Target under(double seconds) {
    Target t;
    t.seconds = seconds;
    return t;
}
// Within `factor` of the median of the row of the same name on `preset`; when that row did not run in the
// same table, within `factor` of its stated figure `referenceSeconds`.
inline Target within(double factor, const QString& preset, double referenceSeconds) {
    Target t;
    t.relativeTo = preset;
    t.factor = factor;
    t.statedSeconds = factor * referenceSeconds;
    return t;
}
// Within `factor` of the median of the row of the same name on the file engine (for a row on the server
// whose file row needs no preset); `referenceSeconds` as for `within`.
inline const QString fileEngine = QStringLiteral("file engine");
inline Target withinFileRow(double factor, double referenceSeconds) {
    return within(factor, fileEngine, referenceSeconds);
}
// No bound: the figure is there for comparison between runs, or it is part of another row's.
inline Target noTarget(const QString& why) {
    Target t;
    t.why = why;
    return t;
}
// A step the user must not see waiting: a tenth of a second.
inline Target noVisibleWait() {
    return under(0.1);
}
inline Target forComparison() {
    return noTarget(QStringLiteral("for comparison between runs"));
}

struct Benchmark {
    QString name;                       // the operation
    QString size;                       // what it runs on, as the table shows it
    QStringList presets;                // account sets it needs; prepared before any run
    std::function<void(Context&)> run;  // timed
    // Untimed: once before the runs, before and after each run, and once after the runs (also after a
    // failure), where whatever setUp made is freed while the application object still exists.
    std::function<void(Context&)> setUp = {};
    std::function<void(Context&)> before = {};
    std::function<void(Context&)> after = {};
    std::function<void(Context&)> tearDown = {};
    int runs = 5;
    // Opens windows: its process gets a QApplication on the offscreen platform instead of a
    // QCoreApplication, which would leave widgets without a screen.
    bool widgets = false;
    // Given with the registration.
    Target target = {};
};

// The benchmark with `widgets` set, for a registration of a row that opens windows.
inline Benchmark withWidgets(Benchmark benchmark) {
    benchmark.widgets = true;
    return benchmark;
}

// Every row names its target when it is registered.
struct Registration {
    Registration(Benchmark benchmark, Target target);
};

const std::vector<Benchmark>& benchmarks();

// A program run by a benchmark, watched from outside.
struct ChildRun {
    bool sawMarker = false;
    double secondsToMarker = 0;  // from just before the launch to the marker line on standard output
    int exitCode = -1;           // -1 when it did not exit normally (killed, crashed)
    long peakKb = 0;             // the program's peak resident memory
    QByteArray output;           // everything it wrote on standard output
};
// Starts `program` with `args` and the extra environment entries ("NAME=value", replacing an inherited
// entry of the same name), waits for the line
// `marker` on its standard output and then for its end. A program still running `timeoutSeconds` after
// its launch, or after the marker, is killed. Its standard error goes to `stderrFile`.
ChildRun runChild(const QString& program, const QStringList& args, const QStringList& environment,
                  const QByteArray& marker, double timeoutSeconds, const QString& stderrFile);

// Where generated account sets are kept between runs: $HEXIU_BENCH_DATA, else ~/.cache/hexiu-bench.
QString defaultDataDir();
// The file of a preset's account set in the data directory. Its name carries a digest of the generator
// version and the schema script, so that a change of either makes a new one.
QString presetFile(const QString& dataDir, const QString& preset);
// Generates the preset's account set unless it is there already; removes stale ones of the same preset.
void preparePreset(const QString& dataDir, const QString& preset);

}  // namespace hxbench
