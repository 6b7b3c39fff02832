#include "core/piecework/jobtotals.h"

#include <QHash>

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

}  // namespace

PieceWorkTotals sumPieceWork(Connection& connection, const QString& condition, const QVariantList& params) {
    // A month holds hundreds of thousands of records but a few hundred processes: the pieces are added
    // up per process first, and each process's sum is priced once. This is the meaning of joining the
    // records with the register and summing, without looking the process up for every record.
    QHash<qint64, qint64> piecesByProcess;
    PreparedStatement records(connection, QStringLiteral("select jobID, qty from JobData where ") + condition,
                              params);
    while (records.next()) {
        if (records.kind(0) == PreparedStatement::Kind::Null ||
            records.kind(1) == PreparedStatement::Kind::Null)
            continue;
        piecesByProcess[records.integer(0)] += records.integer(1);
    }
    return priced(connection, piecesByProcess);
}

PieceWorkTotals sumPieceWork(Connection& connection, const DataSet& records) {
    QHash<qint64, qint64> piecesByProcess;
    const int job = records.fieldIndex(QStringLiteral("jobID"));
    const int qty = records.fieldIndex(QStringLiteral("qty"));
    if (job < 0 || qty < 0) throw DbError(QStringLiteral("计件记录中没有工序或数量。"));
    qint64 lastJob = 0;
    qint64* pieces = nullptr;  // of the last process: a worker's records of a process come together
    for (int row = 0; row < records.recordCount(); ++row) {
        const QVariant id = records.valueAt(row, job);
        const QVariant count = records.valueAt(row, qty);
        if (id.isNull() || count.isNull()) continue;
        const qint64 key = id.toLongLong();
        if (!pieces || key != lastJob) {
            lastJob = key;
            pieces = &piecesByProcess[key];
        }
        *pieces += count.toLongLong();
    }
    return priced(connection, piecesByProcess);
}

}  // namespace hx
