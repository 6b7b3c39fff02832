#include "core/production/ticketcode.h"

#include "core/data/errors.h"

namespace hx {

namespace {

// The key is spread by an affine map modulo 10^8: the factor is prime to 10, so it is one-to-one.
constexpr qint64 spreadModulus = 100000000;
constexpr qint64 spreadFactor = 73939133;
constexpr qint64 spreadOffset = 24681357;
// The inverse of the factor modulo 10^8.
constexpr qint64 inverseOf(qint64 factor) {
    // By Euler: factor^(phi(10^8) - 1), with phi(10^8) = 4 * 10^7.
    qint64 inverse = 1;
    qint64 base = factor % spreadModulus, power = 40000000 - 1;
    while (power > 0) {
        if (power & 1) inverse = inverse * base % spreadModulus;
        base = base * base % spreadModulus;
        power >>= 1;
    }
    return inverse;
}
constexpr qint64 spreadInverse = inverseOf(spreadFactor);
static_assert(spreadFactor * spreadInverse % spreadModulus == 1);

// The check digit by Damm's quasigroup: a digit changed or two neighbours swapped always give another
// check digit.
constexpr int damm[10][10] = {{0, 3, 1, 7, 5, 9, 8, 6, 4, 2}, {7, 0, 9, 2, 1, 5, 4, 8, 6, 3},
                              {4, 2, 0, 6, 8, 7, 1, 3, 5, 9}, {1, 7, 5, 0, 9, 8, 3, 4, 2, 6},
                              {6, 1, 2, 3, 0, 4, 5, 9, 7, 8}, {3, 6, 7, 4, 2, 0, 9, 5, 8, 1},
                              {5, 8, 6, 9, 7, 2, 0, 1, 3, 4}, {8, 9, 4, 5, 3, 6, 2, 0, 1, 7},
                              {9, 4, 3, 8, 6, 1, 7, 2, 0, 5}, {2, 5, 8, 1, 4, 3, 6, 7, 9, 0}};

int checkDigit(const QString& digits) {
    int interim = 0;
    for (const QChar c : digits) interim = damm[interim][c.unicode() - '0'];
    return interim;
}

}  // namespace

QString ticketCode(qint64 ticketKey) {
    if (ticketKey < 1 || ticketKey > maxTicketKey)
        throw Error(QStringLiteral("菲票编号已用完（第 %1 张），不能再打印菲票。").arg(ticketKey));
    const qint64 spread = (ticketKey * spreadFactor + spreadOffset) % spreadModulus;
    const QString digits = QStringLiteral("%1").arg(spread, 8, 10, QLatin1Char('0'));
    return digits + QChar(u'0' + checkDigit(digits));
}

QString normalizedTicketCode(const QString& text) {
    QString code;
    for (const QChar c : text)
        if (!c.isSpace() && c != QLatin1Char('-')) code += c;
    return code;
}

std::optional<qint64> ticketKeyOf(const QString& text) {
    const QString code = normalizedTicketCode(text);
    if (code.size() != ticketCodeLength) return std::nullopt;
    for (const QChar c : code)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    if (checkDigit(code) != 0) return std::nullopt;
    const qint64 spread = code.left(8).toLongLong();
    const qint64 key =
        (spread - spreadOffset + spreadModulus) % spreadModulus * spreadInverse % spreadModulus;
    if (key < 1) return std::nullopt;
    return key;
}

}  // namespace hx
