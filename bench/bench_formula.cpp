// Row: salary formulas as a sheet generation uses them, 30 realistic item formulas parsed and then
// applied in item order to each of 5,000 sheet rows.
#include <QRandomGenerator>
#include <utility>
#include <vector>

#include "benchmark.h"
#include "core/data/errors.h"
#include "core/payroll/formula.h"

namespace {

using hx::Decimal;
using hx::Formula;

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

constexpr int Rows = 5000;

// Sheet rows as generation hands them to the formulas: piece wage and fixed amounts filled in.
std::vector<std::vector<Decimal>> fresh;
std::vector<std::vector<Decimal>> rows;
bool haveChecksum = false;
Decimal checksum;

// The value as the sheet column keeps it, which is what a later formula of the row reads: B items are
// numbers, C items amounts of four decimals.
Decimal asStored(int index, Decimal value) {
    if (hx::salaryItemCodes()[index].startsWith(QLatin1Char('B')))
        return Decimal::fromDouble(value.toDouble());
    return Decimal::fromMoney(value.toMoney());
}

hxbench::Registration formulas(
    {
        QStringLiteral("parse and apply salary formulas"),
        QStringLiteral("30 formulas x 5,000 sheet rows"),
        {},
        [](hxbench::Context&) {
            std::vector<std::pair<int, Formula>> parsed;
            for (const Item& item : items)
                parsed.emplace_back(hx::salaryItemIndex(QString::fromLatin1(item.code)),
                                    Formula::parse(QString::fromLatin1(item.formula)));
            for (auto& row : rows)
                for (const auto& [index, formula] : parsed)
                    row[size_t(index)] = asStored(index, formula.evaluate(row));
        },
        [](hxbench::Context&) {
            QRandomGenerator random(20240601);
            fresh.assign(Rows, std::vector<Decimal>(hx::SalaryItemCount));
            for (auto& row : fresh) {
                row[0] = Decimal::fromMoney(hx::Money::fromUnits(random.bounded(200000000)));  // piece wage
                for (int i = 1; i < 8; ++i) row[size_t(i)] = Decimal::fromInt(random.bounded(500));
            }
        },
        [](hxbench::Context&) { rows = fresh; },
        // Every run computes the same sheet; a different total means the figures are not of the same work.
        [](hxbench::Context&) {
            Decimal total;
            const size_t c14 = size_t(hx::salaryItemIndex(QStringLiteral("C14")));
            for (const auto& row : rows) total = total + row[c14];
            if (haveChecksum && total != checksum)
                throw hx::Error(QStringLiteral("the runs computed different sheets: %1 and %2")
                                    .arg(checksum.toString(), total.toString()));
            haveChecksum = true;
            checksum = total;
        },
    },
    hxbench::noTarget(QStringLiteral("part of the salary sheet generation's 1 s")));

}  // namespace
