#pragma once

#include <QString>
#include <optional>

namespace hx {

// The code of a bundle ticket: nine digits, printed under its QR code for hand entry. The first eight
// are the ticket's key spread over the whole range (tickets of one bundle do not get neighbouring
// codes, so that a slip of two digits does not land on another ticket of the bundle); the ninth is a
// check digit that catches every mistyped digit and every swap of two neighbouring digits.
constexpr int ticketCodeLength = 9;
// The largest key a code can carry.
constexpr qint64 maxTicketKey = 99999999;

// The code of the ticket with this key (1 ... maxTicketKey).
QString ticketCode(qint64 ticketKey);
// The key a code carries; nothing for a text that is not a code (wrong length, not digits, check digit
// wrong). Blanks and dashes typed between the digits are ignored.
std::optional<qint64> ticketKeyOf(const QString& code);
// The code as typed or scanned, without blanks and dashes.
QString normalizedTicketCode(const QString& text);

}  // namespace hx
