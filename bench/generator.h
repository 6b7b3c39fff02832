#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

namespace hxbench {

// A small, fast generator whose output is the same on every machine and library: the account sets it
// writes must be identical for one seed, so no std:: distribution (their output is not portable) is used.
class SplitMix64 {
  public:
    explicit SplitMix64(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n); n > 0. The modulo bias is far below anything the data could show.
    int below(int n) { return int(next() % std::uint64_t(n)); }
    // Uniform in [lo, hi], both included.
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    // True with the given probability.
    bool chance(double p) { return double(next() >> 11) * (1.0 / 9007199254740992.0) < p; }

  private:
    std::uint64_t m_state;
};

// Raised whenever the content written for a given seed changes, so that kept account sets are made anew.
constexpr int GeneratorVersion = 2;

struct GeneratorOptions {
    int workers = 60;
    int processes = 120;
    int months = 3;
    // First month of the piece-work records and of the generated salary items.
    int startYear = 2025;
    int startMonth = 1;
    // Piece-work records of one worker in a full working month, on average.
    int recordsPerWorkerMonth = 300;
    std::uint64_t seed = 1;
    // The account-set template to copy (the program directory's mlcp.dll); empty makes one from the
    // schema script.
    QString templatePath;
};

// The named sizes: "small" (the demo), "year", "wide" and "history". False for an unknown name.
bool presetOptions(const QString& name, GeneratorOptions* options);
QStringList presetNames();

struct GeneratorResult {
    int workers = 0;
    int dismissed = 0;
    int processes = 0;
    int finished = 0;
    qint64 records = 0;
    int salaryMonths = 0;
    double seconds = 0;
};

// Writes a new account set at `path` with workers, processes, daily piece-work records and the salary
// items of every month of the range. Refuses an existing file; on failure nothing is left at `path`.
// Throws hx::Error.
GeneratorResult generateAccountSet(const QString& path, const GeneratorOptions& options);

}  // namespace hxbench
