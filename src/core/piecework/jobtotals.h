#pragma once

#include <QString>
#include <QVariantList>
#include <optional>

#include "core/data/money.h"

namespace hx {

class Connection;

// The totals of the piece-work records in view: their pieces, and their pieces times the piece rate of
// their process in the register, exact to the ten-thousandth of a yuan. A record whose process is no
// longer in the register counts in neither; a process without a rate adds its pieces but no money.
// Either total is empty when nothing counted towards it.
struct PieceWorkTotals {
    std::optional<qint64> pieces;
    std::optional<Money> amount;
};

// Sums the records of JobData that meet `condition` (a condition on its columns with "?" for the bound
// `params`, as "dateD=? and staffID=?"). Reads the register's rates afresh, never a cache.
PieceWorkTotals sumPieceWork(Connection& connection, const QString& condition, const QVariantList& params);

}  // namespace hx
