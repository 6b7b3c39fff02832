#include "core/statistics/chartdata.h"

#include <algorithm>
#include <map>
#include <numeric>

#include "core/data/connection.h"
#include "core/data/dialect.h"
#include "core/data/errors.h"
#include "core/data/values.h"
#include "core/payroll/formula.h"

namespace hx {

namespace {

int requiredField(const DataSet& rows, const char* name) {
    const int index = rows.fieldIndex(QString::fromUtf8(name));
    if (index < 0) throw DbError(QStringLiteral("结果中没有字段“%1”。").arg(QString::fromUtf8(name)));
    return index;
}

qint64 piecesAt(const DataSet& rows, int row, int field) {
    return rows.valueAt(row, field).toLongLong();
}

bool isMeasure(const QString& field) {
    return field == QStringLiteral("数量") || field == QStringLiteral("金额");
}

}  // namespace

std::vector<OutputBar> outputBars(const DataSet& result) {
    const int code = requiredField(result, "staffCode");
    const int name = requiredField(result, "staffName");
    const int percent = requiredField(result, "finishPercent");
    std::vector<OutputBar> bars;
    bars.reserve(size_t(result.recordCount()));
    for (int row = 0; row < result.recordCount(); ++row) {
        const QVariant value = result.valueAt(row, percent);
        if (value.isNull()) continue;
        bars.emplace_back(result.valueAt(row, code).toString(), result.valueAt(row, name).toString(),
                          value.toDouble());
    }
    std::stable_sort(bars.begin(), bars.end(),
                     [](const OutputBar& a, const OutputBar& b) { return a.percent < b.percent; });
    return bars;
}

std::vector<DayTotal> dayTotals(const DataSet& rows, const QDate& from, const QDate& to) {
    std::vector<DayTotal> days;
    if (!from.isValid() || !to.isValid() || from > to) return days;
    const int dateField = requiredField(rows, "日期");
    const int qtyField = requiredField(rows, "数量");
    const int amountField = requiredField(rows, "金额");
    days.reserve(size_t(from.daysTo(to) + 1));
    for (QDate day = from; day <= to; day = day.addDays(1)) days.emplace_back(day, 0, Money());
    for (int row = 0; row < rows.recordCount(); ++row) {
        const qint64 offset = from.daysTo(rows.valueAt(row, dateField).toDate());
        if (offset < 0 || offset >= qint64(days.size())) continue;
        DayTotal& total = days[size_t(offset)];
        total.qty += piecesAt(rows, row, qtyField);
        total.amount += Money::fromVariant(rows.valueAt(row, amountField));
    }
    return days;
}

QString groupLabel(const DataSet& rows, int row) {
    QString label;
    for (int f = 0; f < rows.fieldCount(); ++f) {
        const QString& name = rows.field(f).name;
        if (isMeasure(name)) continue;
        QString text = rows.textAt(row, f).trimmed();
        if (text.isEmpty()) text = QStringLiteral("（空）");
        if (!label.isEmpty())
            label += name == QStringLiteral("姓名") ? QStringLiteral(" ") : QStringLiteral(" / ");
        label += text;
    }
    return label.isEmpty() ? QStringLiteral("合计") : label;
}

QString otherGroupsLabel() {
    return QStringLiteral("其他");
}

std::vector<GroupBar> largestGroups(const DataSet& rows, int largest) {
    const int qtyField = requiredField(rows, "数量");
    const int amountField = requiredField(rows, "金额");
    const int count = rows.recordCount();
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::vector<Money> amounts(static_cast<size_t>(count));
    std::vector<qint64> pieces(static_cast<size_t>(count));
    for (int row = 0; row < count; ++row) {
        amounts[size_t(row)] = Money::fromVariant(rows.valueAt(row, amountField));
        pieces[size_t(row)] = piecesAt(rows, row, qtyField);
    }
    // A single group left over shows under its own name rather than as "其他".
    const int shown = count <= largest + 1 ? count : std::max(0, largest);
    const auto larger = [&](int a, int b) {
        if (amounts[size_t(a)] != amounts[size_t(b)]) return amounts[size_t(b)] < amounts[size_t(a)];
        if (pieces[size_t(a)] != pieces[size_t(b)]) return pieces[size_t(a)] > pieces[size_t(b)];
        return a < b;
    };
    std::partial_sort(order.begin(), order.begin() + shown, order.end(), larger);
    std::vector<GroupBar> bars;
    bars.reserve(size_t(shown) + 1);
    for (int i = 0; i < shown; ++i) {
        const int row = order[size_t(i)];
        bars.emplace_back(groupLabel(rows, row), pieces[size_t(row)], amounts[size_t(row)], 1);
    }
    if (shown < count) {
        GroupBar others(otherGroupsLabel(), 0, Money(), count - shown);
        for (int i = shown; i < count; ++i) {
            others.qty += pieces[size_t(order[size_t(i)])];
            others.amount += amounts[size_t(order[size_t(i)])];
        }
        bars.push_back(others);
    }
    return bars;
}

// ---- a month against the last

namespace {

bool isMoneyItem(const QString& code) {
    return salaryItemIndex(code) >= 0 && (code.startsWith(QLatin1Char('A'), Qt::CaseInsensitive) ||
                                          code.startsWith(QLatin1Char('C'), Qt::CaseInsensitive));
}

QString groupKey(const PreparedStatement& q, int column) {
    const QString group = q.isNull(column) ? QString() : q.text(column).trimmed();
    return group.isEmpty() ? noClassGroupLabel() : group;
}

struct GroupMonths {
    Money pay[2];
    qint64 pieces[2] = {0, 0};
};

// Adds the sheet's pay and the calendar month's pieces of the pay day's workers, per class group, into
// slot `slot` of the groups.
void addMonth(Connection& cn, int year, int month, int salaryDay, const QString& item, int slot,
              std::map<QString, GroupMonths>& groups) {
    const Dialect& sql = cn.dialect();
    PreparedStatement pay = cn.query(
        QStringLiteral("select s.ClassGroup, d.%1 from salaryData d left join staff s on s.StaffCode = "
                       "d.staffCode where d.%2 = ? and d.%3 = ? and d.salaryDay = ?")
            .arg(sql.quoted(item), sql.quoted(QStringLiteral("Year")), sql.quoted(QStringLiteral("Month"))),
        {year, month, salaryDay});
    while (pay.next()) {
        GroupMonths& g = groups[groupKey(pay, 0)];
        g.pay[slot] += pay.money(1);
    }
    const QDate first(year, month, 1);
    PreparedStatement pieces = cn.query(
        QStringLiteral("select s.ClassGroup, sum(j.qty) from JobData j join staff s on s.staffID = "
                       "j.staffID where j.dateD between ? and ? and s.salaryDay = ? group by s.ClassGroup"),
        {first, first.addDays(first.daysInMonth() - 1), salaryDay});
    while (pieces.next()) {
        GroupMonths& g = groups[groupKey(pieces, 0)];
        g.pieces[slot] += pieces.integer(1);
    }
}

QVariant changeValue(const std::optional<double>& change) {
    return change ? QVariant(*change) : QVariant();
}

}  // namespace

QString noClassGroupLabel() {
    return QStringLiteral("（无班组）");
}

std::optional<double> percentChange(double before, double now) {
    if (before == 0) return std::nullopt;
    return (now - before) / std::abs(before) * 100.0;
}

QVector<PayItem> comparablePayItems(Connection& cn, int year, int month) {
    QVector<PayItem> items;
    PreparedStatement q = cn.query(
        QStringLiteral("select ItemCode, ItemName from salary where %1 = ? and "
                       "%2 = ? order by ItemCode")
            .arg(cn.dialect().quoted(QStringLiteral("year")), cn.dialect().quoted(QStringLiteral("month"))),
        {year, month});
    bool pieceWage = false;
    while (q.next()) {
        const QString code = q.text(0).trimmed().toUpper();
        QString name = q.isNull(1) ? QString() : q.text(1).trimmed();
        if (!isMoneyItem(code)) continue;
        if (code == QStringLiteral("A01")) {
            pieceWage = true;
            if (name.isEmpty()) name = QStringLiteral("计件工资");
        }
        if (!name.isEmpty()) items.append(PayItem(code, name));
    }
    if (!pieceWage) items.prepend(PayItem(QStringLiteral("A01"), QStringLiteral("计件工资")));
    return items;
}

QString totalPayItem(const QVector<PayItem>& items) {
    for (const char* word : {"实发", "应发", "合计"}) {
        for (const PayItem& item : items)
            if (item.code.startsWith(QLatin1Char('C')) && item.name.contains(QString::fromUtf8(word)))
                return item.code;
    }
    return QStringLiteral("A01");
}

QVector<Field> monthComparisonFields() {
    QVector<Field> fields{Field(QStringLiteral("班组"), FieldType::Text),
                          Field(QStringLiteral("本月工资"), FieldType::Money),
                          Field(QStringLiteral("上月工资"), FieldType::Money),
                          Field(QStringLiteral("工资变化"), FieldType::Double),
                          Field(QStringLiteral("本月数量"), FieldType::Integer),
                          Field(QStringLiteral("上月数量"), FieldType::Integer),
                          Field(QStringLiteral("数量变化"), FieldType::Double)};
    for (Field& f : fields) {
        f.readOnly = true;
        if (f.type == FieldType::Double) f.displayFormat = QStringLiteral("##0.0 %");
        if (f.type == FieldType::Money) f.displayFormat = currencyFormat();
    }
    return fields;
}

void fillMonthComparison(Connection& cn, const MonthComparisonQuery& query, DataSet& rows) {
    const QString item = query.payItem.trimmed().toUpper();
    if (!isMoneyItem(item)) throw DbError(QStringLiteral("“%1”不是金额项目。").arg(query.payItem));
    if (query.month < 1 || query.month > 12) throw DbError(QStringLiteral("月份必须在1到12之间。"));
    std::map<QString, GroupMonths> groups;
    addMonth(cn, query.year, query.month, query.salaryDay, item, 0, groups);
    const int previousYear = query.month == 1 ? query.year - 1 : query.year;
    const int previousMonth = query.month == 1 ? 12 : query.month - 1;
    addMonth(cn, previousYear, previousMonth, query.salaryDay, item, 1, groups);

    // Named groups in order, the workers without a group last.
    std::vector<std::pair<QString, GroupMonths>> ordered;
    for (const auto& entry : groups)
        if (entry.first != noClassGroupLabel()) ordered.emplace_back(entry);
    if (auto none = groups.find(noClassGroupLabel()); none != groups.end()) ordered.emplace_back(*none);

    std::vector<QVector<QVariant>> values;
    values.reserve(ordered.size());
    for (const auto& [group, g] : ordered) {
        values.push_back({group, QVariant::fromValue(g.pay[0]), QVariant::fromValue(g.pay[1]),
                          changeValue(percentChange(g.pay[1].toDouble(), g.pay[0].toDouble())), g.pieces[0],
                          g.pieces[1], changeValue(percentChange(double(g.pieces[1]), double(g.pieces[0])))});
    }
    rows.close();
    rows.defineFields(monthComparisonFields());
    rows.openWithRows(std::move(values));
}

}  // namespace hx
