#include "core/piecework/jobtotals.h"

#include <QHash>

#include "core/data/connection.h"

namespace hx {

namespace {

// The condition on JobData's columns that the filter makes, and its values.
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
    return recordsOf(QStringLiteral("dateD, staffID, jobID, qty"), filter);
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

}  // namespace hx
