// Evaluation speed of salary formulas: 30 realistic item formulas, parsed once, applied in item order to
// 5,000 sheet rows the way generation applies them; prints the median of 5 runs in milliseconds.
//
// Not part of the benchmark targets yet. Build it against the library after a normal build:
//   add_executable(bench_formula bench_formula.cpp) + target_link_libraries(bench_formula PRIVATE hexiu)
// or by hand, from the source directory:
//   g++ -O2 -std=c++17 -fPIC -Isrc bench/bench_formula.cpp build/libhexiu.a
//       $(pkg-config --cflags --libs Qt6Core) -o build/bench_formula

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "payroll/formula.h"

using hx::Decimal;
using hx::Formula;

namespace {

struct Item {
    const char* code;
    const char* formula;
};

// Attendance counts and defaults in B, then allowances, deductions, tax and totals in C.
const Item items[] = {
    {"B01", "26"},
    {"B02", "0"},
    {"B03", "iif(B01>26, B01-26, 0)"},
    {"B04", "8"},
    {"B05", "B02*B04"},
    {"B06", "max(26-B01, 0)"},
    {"B07", "round(B05/8, 1)"},
    {"C01", "round(A01/26*B03, 2)"},
    {"C02", "iif(B01>=26 and B06=0, 100, 0)"},
    {"C03", "round(B05*A02/26/8*1.5, 2)"},
    {"C04", "iif(B06>0, round((A01+A02)/26*B06, 2), 0)"},
    {"C05", "A03+A04"},
    {"C06", "min(A05, 300)"},
    {"C07", "round(A01*0.02, 2)"},
    {"C08", "A01+A02+A03+A04+A05+C01+C02+C03-C04"},
    {"C09", "round(C08*0.08, 2)"},
    {"C10", "round(C08*0.02, 2)"},
    {"C11", "round(C08*0.005, 2)"},
    {"C12", "iif(C08-C09-C10-C11>5000, round((C08-C09-C10-C11-5000)*0.03, 2), 0)"},
    {"C13", "int((C08-C09-C10-C11-C12)/10)*10"},
    {"C14", "C08-C09-C10-C11-C12-C06"},
    {"C15", "iif(C14<0, 0, round(C14, 1))"},
    // Repeated shapes make up the 30 formulas of a busy month (B and C have 22 codes).
    {"C15", "abs(C14-C13)"},
    {"C15", "iif(not B01<20 or A01>10000, max(C01, C02, C03), 0)"},
    {"C15", "round(A01*B01/30, 2)"},
    {"C15", "A06+A07+A08"},
    {"C15", "round((A01+A02)*0.1, 0)"},
    {"C15", "iif(A01=0, 0, round(C08/A01*100, 2))"},
    {"C15", "C14-C13"},
    {"C15", "round(C14/B01, 4)"},
};

}  // namespace

int main() {
    std::vector<std::pair<int, Formula>> formulas;
    for (const Item& item : items)
        formulas.emplace_back(hx::salaryItemIndex(QString::fromLatin1(item.code)),
                              Formula::parse(QString::fromLatin1(item.formula)));

    constexpr int Rows = 5000;
    QRandomGenerator random(20240601);
    std::vector<std::vector<Decimal>> fresh(Rows, std::vector<Decimal>(hx::SalaryItemCount));
    for (auto& row : fresh) {
        row[0] = Decimal::fromMoney(hx::Money::fromUnits(random.bounded(200000000)));  // piece wage
        for (int i = 1; i < 8; ++i) row[size_t(i)] = Decimal::fromInt(random.bounded(500));
    }

    std::vector<double> times;
    Decimal checksum;
    for (int run = 0; run < 5; ++run) {
        auto rows = fresh;
        QElapsedTimer timer;
        timer.start();
        // Generation applies one item to every row, then the next item; money is stored to four decimals.
        for (const auto& [index, formula] : formulas)
            for (auto& row : rows) row[size_t(index)] = Decimal::fromMoney(formula.evaluate(row).toMoney());
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        checksum = Decimal();
        for (const auto& row : rows) checksum = checksum + row[size_t(hx::salaryItemIndex("C14"))];
    }
    std::sort(times.begin(), times.end());
    std::printf("formulas: %d formulas x %d rows, median %.2f ms (checksum %s)\n", int(formulas.size()), Rows,
                times[2], qPrintable(checksum.toString()));
    return 0;
}
