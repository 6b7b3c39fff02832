// Rows: writing the account sets of the presets with the generator.
#include <QFile>

#include "benchmark.h"
#include "generator.h"

namespace {

hxbench::Benchmark generatorBenchmark(const QString& preset, const QString& size) {
    auto out = [](hxbench::Context& c) { return c.scratch(QStringLiteral("generated.mdb")); };
    return {QStringLiteral("generate account set"),
            size,
            {preset},  // written once beforehand too, for the other benchmarks and the table of sets
            [preset, out](hxbench::Context& c) {
                hxbench::GeneratorOptions options;
                hxbench::presetOptions(preset, &options);
                hxbench::generateAccountSet(out(c), options);
            },
            {},
            [out](hxbench::Context& c) { QFile::remove(out(c)); },
            [out](hxbench::Context& c) { QFile::remove(out(c)); }};
}

hxbench::Registration small(generatorBenchmark(QStringLiteral("small"),
                                               QStringLiteral("small: 60 workers, 120 processes, 3 months")),
                            hxbench::noTarget(QStringLiteral("the account sets the other rows run on")));
hxbench::Registration year(
    generatorBenchmark(QStringLiteral("year"),
                       QStringLiteral("year: 1,000 workers, 800 processes, 12 months")),
    hxbench::noTarget(QStringLiteral("the account sets the other rows run on")));
hxbench::Registration wide(
    generatorBenchmark(QStringLiteral("wide"),
                       QStringLiteral("wide: 5,000 workers, 2,000 processes, 1 month")),
    hxbench::noTarget(QStringLiteral("the account sets the other rows run on")));

}  // namespace
