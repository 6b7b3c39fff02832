#include "core/piecework/jobtotals.h"

#include <QHash>
#include <vector>

#include "core/data/connection.h"
#include "core/data/dataset.h"
#include "core/data/errors.h"

namespace hx {

namespace {

// Prices the pieces of each process (by its key) with the register's rates, read afresh.
PieceWorkTotals priced(Connection& connection, const QHash<qint64, qint64>& piecesByProcess) {
    PieceWorkTotals totals;
    if (piecesByProcess.isEmpty()) return totals;
    PreparedStatement rates(connection, QStringLiteral("select JobID, UnitPrice from job"));
    while (rates.next()) {
        const auto found = piecesByProcess.constFind(rates.integer(0));
        if (found == piecesByProcess.constEnd()) continue;
        totals.pieces = totals.pieces.value_or(0) + *found;
        if (rates.kind(1) == PreparedStatement::Kind::Null) continue;
        totals.amount = totals.amount.value_or(Money()) + Money::fromVariant(rates.value(1)) * *found;
    }
    return totals;
}

// The records the filter picks, the columns given.
Query recordsOf(const QString& columns, const PieceFilter& filter) {
    Query q{QStringLiteral("select ") + columns + QStringLiteral(" from JobData where dateD between ? and ?"),
            {filter.from, filter.to}};
    if (filter.staffId) {
        q.sql += QStringLiteral(" and staffID=?");
        q.params << *filter.staffId;
    }
    if (filter.jobId) {
        q.sql += QStringLiteral(" and jobID=?");
        q.params << *filter.jobId;
    }
    return q;
}

}  // namespace

Query pieceRecords(const PieceFilter& filter) {
    // A record is told from another by all it holds: the table's unique index.
    return recordsOf(QStringLiteral("dateD, staffID, jobID, qty"), filter)
        .editing(QStringLiteral("JobData"), {QStringLiteral("dateD"), QStringLiteral("staffID"),
                                             QStringLiteral("jobID"), QStringLiteral("qty")});
}

PieceWorkTotals sumPieceWork(Connection& connection, const PieceFilter& filter) {
    // A month holds hundreds of thousands of records but a few hundred processes: the pieces are added
    // up per process first, and each process's sum is priced once. This is the meaning of joining the
    // records with the register and summing, without looking the process up for every record.
    QHash<qint64, qint64> piecesByProcess;
    const Query q = recordsOf(QStringLiteral("jobID, qty"), filter);
    PreparedStatement records(connection, q.sql, q.params);
    while (records.next()) {
        if (records.kind(0) == PreparedStatement::Kind::Null ||
            records.kind(1) == PreparedStatement::Kind::Null)
            continue;
        piecesByProcess[records.integer(0)] += records.integer(1);
    }
    return priced(connection, piecesByProcess);
}

PieceWorkTotals sumPieceWork(Connection& connection, const DataSet& records,
                             const std::optional<PieceFilter>& within) {
    const int job = records.fieldIndex(QStringLiteral("jobID"));
    const int qty = records.fieldIndex(QStringLiteral("qty"));
    const int day = records.fieldIndex(QStringLiteral("dateD"));
    const int staff = records.fieldIndex(QStringLiteral("staffID"));
    if (job < 0 || qty < 0 || (within && (day < 0 || staff < 0)))
        throw DbError(QStringLiteral("计件记录中没有日期、员工、工序或数量。"));
    const auto picked = [&](int row, qint64 jobId) {
        if (!within) return true;
        if (within->jobId && jobId != *within->jobId) return false;
        if (within->staffId && records.integerAt(row, staff) != within->staffId) return false;
        const QDate d = records.valueAt(row, day).toDate();
        return d >= within->from && d <= within->to;
    };
    // Process keys are small numbers: the pieces of a month's records are added up by position, and
    // only a key beyond that in the hash.
    constexpr qint64 byPosition = 1 << 20;
    std::vector<qint64> pieces;
    std::vector<bool> counted;
    QHash<qint64, qint64> piecesByProcess;
    for (int row = 0; row < records.recordCount(); ++row) {
        const std::optional<qint64> id = records.integerAt(row, job);
        const std::optional<qint64> count = records.integerAt(row, qty);
        if (!id || !count || !picked(row, *id)) continue;
        const qint64 key = *id;
        if (key < 0 || key >= byPosition) {
            piecesByProcess[key] += *count;
            continue;
        }
        if (std::size_t(key) >= pieces.size()) {
            pieces.resize(std::size_t(key) + 1);
            counted.resize(std::size_t(key) + 1);
        }
        pieces[std::size_t(key)] += *count;
        counted[std::size_t(key)] = true;
    }
    for (std::size_t key = 0; key < pieces.size(); ++key)
        if (counted[key]) piecesByProcess.insert(qint64(key), pieces[key]);
    return priced(connection, piecesByProcess);
}

}  // namespace hx
