#pragma once

#include <QString>
#include <QVariant>
#include <optional>

#include "core/data/connection.h"
#include "core/data/money.h"

namespace hx {

// Formats a value the way grids show it: money with the format's decimals (2 by default), dates as
// yyyy-MM-dd, yes/no as 是/否. In "##0.0 %" the sign is text after the number, which is the percentage
// itself (85.3 shows as "85.3 %"), not a fraction to multiply. Null gives the empty text.
QString formatValue(const QVariant& value, FieldType type, const QString& displayFormat);

// Converts typed text or any value to the field's type. Nothing when it does not convert (a letter in a
// number field). Empty text gives Null.
std::optional<QVariant> convertToFieldType(const QVariant& value, FieldType type);

// The display format of money shown as currency, the one look of amounts across the program:
// "¥1,234.50", "¥-12.00". formatValue() understands it for money and numbers.
QString currencyFormat();
// A money value in that format.
QString formatCurrency(const Money& money);

// The display format of a piece rate, four decimals: 0.1234 shown as 0.12 would hide what a piece pays.
QString unitPriceFormat();
// The display format a stored column has wherever a statement reads it, under any alias: the piece-rate
// format for a process's unit price (job.UnitPrice); empty, the type's own look, for any other column.
QString storedColumnFormat(const QString& table, const QString& column);

// A number's text with a comma between every three digits of its whole part: "-1234567.50" gives
// "-1,234,567.50".
QString groupThousands(const QString& number);

}  // namespace hx
