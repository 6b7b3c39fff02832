#include "core/payroll/fixeditems.h"

#include "core/data/connection.h"
#include "core/data/errors.h"

namespace hx {

namespace {
constexpr int fixedItemCount = 7;  // A02..A08
}

const QString systemItemMarker = QStringLiteral("*********系统提供*********");

namespace {
// The code goes into the statement as a column name: only the seven fixed items' own codes may.
QString fixedItemColumn(const QString& code) {
    static const QStringList codes{QStringLiteral("A02"), QStringLiteral("A03"), QStringLiteral("A04"),
                                   QStringLiteral("A05"), QStringLiteral("A06"), QStringLiteral("A07"),
                                   QStringLiteral("A08")};
    const QString upper = code.toUpper();
    if (!codes.contains(upper)) throw DbError(QStringLiteral("“%1”不是固定工资项目。").arg(code));
    return upper;
}
}  // namespace

void nameFixedItem(Connection& cn, const QString& code, const QString& name) {
    const QString column = fixedItemColumn(code);
    Transaction transaction(cn);
    cn.exec(QStringLiteral("update salary set ItemName=?,expression=?,printWidth=10 where itemCode=?"),
            {name, systemItemMarker, column});
    transaction.commit();
}

void clearFixedItem(Connection& cn, const QString& code) {
    const QString column = fixedItemColumn(code);
    Transaction transaction(cn);
    cn.exec(QStringLiteral("update staff set %1=0").arg(column));
    cn.exec(QStringLiteral("update salary set ItemName=?,expression=?,printWidth=0 where itemCode=?"),
            {QString(QLatin1String("")), QString(QLatin1String("")), column});
    transaction.commit();
}

QStringList fixedItemTitles(Connection& cn) {
    const qint64 year = cn.scalar(QStringLiteral("select max(year) as maxYear from salary")).toLongLong();
    const qint64 month =
        cn.scalar(QStringLiteral("select max(month) as maxMonth from salary where year=?"), {year})
            .toLongLong();
    QStringList names;
    PreparedStatement q =
        cn.query(QStringLiteral("select ItemCode,ItemName from Salary  where ItemCode like ?  "
                                "and year=? and month=? order by itemCode"),
                 {QStringLiteral("A%"), year, month});
    while (q.next()) names << q.value(1).toString();
    q.reset();
    QStringList titles;
    for (int i = 1; i <= fixedItemCount; ++i) titles << names.value(i);
    return titles;
}

}  // namespace hx
