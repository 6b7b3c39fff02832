#pragma once

#include <QDate>
#include <QString>
#include <QVariantList>
#include <optional>

#include "core/data/money.h"
#include "core/data/queries.h"

namespace hx {

class Connection;
class DataSet;

// The most pieces one record may hold. A record is one worker's count of one process on one day; the
// quickest operations of a garment line (trimming threads, a bar tack) take a few seconds each, so a
// very long day gives some tens of thousands. A million is far beyond any real count yet keeps a
// month's pay of a worker (pieces times a piece rate of up to a few thousand yuan, summed over the
// month) well inside the range of an amount: a slip of the keyboard is refused, never paid.
constexpr qint64 maxPiecesPerRecord = 1000000;

// The totals of the piece-work records in view: their pieces, and their pieces times the piece rate of
// their process in the register, exact to the ten-thousandth of a yuan. A record whose process is no
// longer in the register counts in neither; a process without a rate adds its pieces but no money.
// Either total is empty when nothing counted towards it.
struct PieceWorkTotals {
    std::optional<qint64> pieces;
    std::optional<Money> amount;
};

// Which piece-work records a page shows: the days from `from` to `to`, both included, of one worker or
// of every worker, of one process or of every process. A key of nobody (0) shows no record.
struct PieceFilter {
    QDate from, to;
    std::optional<qint64> staffId;
    std::optional<qint64> jobId;

    static PieceFilter workerDay(const QDate& day, qint64 staffId) { return {day, day, staffId, {}}; }
    static PieceFilter processDay(const QDate& day, qint64 jobId) { return {day, day, {}, jobId}; }
};

// The records the filter picks: dateD, staffID, jobID, qty.
Query pieceRecords(const PieceFilter& filter);

// Sums the records the filter picks. Reads the register's rates afresh, never a cache.
PieceWorkTotals sumPieceWork(Connection& connection, const PieceFilter& filter);
// The same for the records a data set holds in view (its fields jobID and qty, as stored), which a list
// just read from JobData has without reading them a second time. With a filter, only its records count
// (the data set then needs dateD and staffID too): a row of the list edited to another day, worker or
// process has left the records the list was read for, as the stored records say.
PieceWorkTotals sumPieceWork(Connection& connection, const DataSet& records,
                             const std::optional<PieceFilter>& within = std::nullopt);

}  // namespace hx
