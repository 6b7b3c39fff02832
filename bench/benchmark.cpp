#include "benchmark.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>

#include "core/data/connection.h"
#include "core/data/errors.h"
#include "core/data/postgres/serverstore.h"
#include "core/data/schema.h"
#include "generator.h"

namespace hxbench {

namespace {
std::vector<Benchmark>& registry() {
    static std::vector<Benchmark> list;
    return list;
}
}  // namespace

Registration::Registration(Benchmark benchmark, Target target) {
    benchmark.target = std::move(target);
    registry().push_back(std::move(benchmark));
}

const std::vector<Benchmark>& benchmarks() {
    return registry();
}

Context::Context(const QString& dataDir, const QString& scratchDir)
    : m_data(dataDir), m_scratch(scratchDir) {}

QString Context::dataFile(const QString& preset) const {
    const QString path = presetFile(m_data, preset);
    if (!QFileInfo::exists(path))
        throw hx::Error(QStringLiteral("account set of preset %1 not prepared: %2").arg(preset, path));
    return path;
}

hx::AccountSet Context::onServer(const QString& file) {
    const QString server = qEnvironmentVariable("HEXIU_TEST_PG");
    if (server.isEmpty()) pending(QStringLiteral("no benchmark server: run under scripts/with-postgres.sh"));
    // The set is named by the file's content, so that a changed file is loaded afresh.
    QFile source(file);
    if (!source.open(QIODevice::ReadOnly)) throw hx::Error(QStringLiteral("cannot read ") + file);
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&source);
    const QString name = QStringLiteral("bench_") + QString::fromLatin1(hash.result().toHex().left(12));
    const auto store =
        std::make_shared<hx::ServerAccountSetStore>(server, QStringLiteral("benchmark server"), m_scratch);
    hx::AccountSet set(name, store);
    if (!store->contains(name)) {
        std::fprintf(stderr, "loading %s into the benchmark server ...\n", qPrintable(file));
        QElapsedTimer clock;
        clock.start();
        store->create(name);
        hx::Connection cn;
        set.open(cn);
        set.restore(cn, file);
        // The planner's statistics of the loaded tables, as a server has them after its routine analysis.
        cn.execScript(QStringLiteral("analyze"));
        std::fprintf(stderr, "  loaded in %.1f s\n", double(clock.elapsed()) / 1000);
    }
    return set;
}

QString Context::scratch(const QString& name) const {
    return QDir(m_scratch).filePath(name);
}

QString Context::binDir() const {
    return QCoreApplication::applicationDirPath();
}

void Context::pending(const QString& reason) {
    throw Pending{reason};
}

void Context::blocked(const QString& reason) {
    throw Blocked{reason};
}

long peakResidentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QString defaultDataDir() {
    const QString env = qEnvironmentVariable("HEXIU_BENCH_DATA");
    if (!env.isEmpty()) return env;
    return QDir::homePath() + QStringLiteral("/.cache/hexiu-bench");
}

QString presetFile(const QString& dataDir, const QString& preset) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArray::number(GeneratorVersion));
    hash.addData(hx::schemaSection(QStringLiteral("accountset")).toUtf8());
    const QString tag = QString::fromLatin1(hash.result().toHex().left(10));
    return QDir(dataDir).filePath(QStringLiteral("%1-seed1-%2.mdb").arg(preset, tag));
}

void preparePreset(const QString& dataDir, const QString& preset) {
    if (preset == serverPreset) return;  // the server is there or not; its rows load what they need
    GeneratorOptions options;
    if (!presetOptions(preset, &options)) throw hx::Error(QStringLiteral("unknown preset ") + preset);
    QDir().mkpath(dataDir);
    const QString path = presetFile(dataDir, preset);
    const QDir dir(dataDir);
    for (const QString& old : dir.entryList({preset + QStringLiteral("-seed1-*.mdb*")}, QDir::Files)) {
        if (dir.filePath(old) != path) QFile::remove(dir.filePath(old));
    }
    if (QFileInfo::exists(path)) return;
    std::fprintf(stderr, "generating the %s account set in %s ...\n", qPrintable(preset),
                 qPrintable(dataDir));
    const GeneratorResult r = generateAccountSet(path, options);
    std::fprintf(stderr, "  %lld records in %.1f s\n", static_cast<long long>(r.records), r.seconds);
}

ChildRun runChild(const QString& program, const QStringList& args, const QStringList& environment,
                  const QByteArray& marker, double timeoutSeconds, const QString& stderrFile) {
    // Everything the child needs is built before the fork.
    std::vector<QByteArray> argStore{QFile::encodeName(program)};
    for (const QString& a : args) argStore.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The C library reads the first entry of a name, so a given entry replaces the inherited one.
    std::vector<QByteArray> envStore;
    for (const QString& e : environment) envStore.push_back(e.toLocal8Bit());
    for (char** e = environ; *e; ++e) {
        const QByteArray entry(*e);
        const QByteArray name = entry.left(entry.indexOf('=') + 1);  // with its '='; empty without one
        bool replaced = false;
        for (const QByteArray& given : envStore)
            replaced = replaced || (!name.isEmpty() && given.startsWith(name));
        if (!replaced) envStore.push_back(entry);
    }
    std::vector<char*> envp;
    for (QByteArray& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);
    const QByteArray errPath = QFile::encodeName(stderrFile);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw hx::Error(QStringLiteral("pipe failed"));
    const int errFd = ::open(errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid < 0) throw hx::Error(QStringLiteral("fork failed"));
    if (pid == 0) {
        dup2(fds[1], 1);
        if (errFd >= 0) dup2(errFd, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    ::close(fds[1]);
    if (errFd >= 0) ::close(errFd);

    ChildRun result;
    QByteArray output;
    qint64 deadline = qint64(timeoutSeconds * 1000);
    bool killed = false;
    for (;;) {
        const qint64 left = deadline - timer.elapsed();
        if (left <= 0) {
            kill(pid, SIGKILL);
            killed = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, int(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        char buffer[4096];
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        output.append(buffer, n);
        if (!result.sawMarker && output.contains(marker + '\n')) {
            result.sawMarker = true;
            result.secondsToMarker = timer.nsecsElapsed() / 1e9;
            deadline = timer.elapsed() + qint64(timeoutSeconds * 1000);
        }
    }
    ::close(fds[0]);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.exitCode = (!killed && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    // A program that reports its own peak ("peak-kb N") is believed; ru_maxrss also counts the image
    // it was forked from.
    result.peakKb = usage.ru_maxrss;
    for (const QByteArray& line : output.split('\n')) {
        if (line.startsWith("peak-kb ")) result.peakKb = line.mid(8).toLong();
    }
    result.output = output;
    return result;
}

}  // namespace hxbench
