#include "core/data/values.h"

#include <QDate>
#include <QLocale>
#include <cmath>

#include "core/data/money.h"

namespace hx {

namespace {

int decimalsOf(const QString& format, int fallback) {
    const int point = format.indexOf(QLatin1Char('.'));
    if (point < 0) return format.isEmpty() ? fallback : 0;
    int n = 0;
    for (int i = point + 1;
         i < format.size() && (format[i] == QLatin1Char('0') || format[i] == QLatin1Char('#')); ++i)
        ++n;
    return n;
}

}  // namespace

QString groupThousands(const QString& number) {
    const bool negative = number.startsWith(QLatin1Char('-'));
    QString digits = negative ? number.mid(1) : number;
    const int point = digits.indexOf(QLatin1Char('.'));
    QString whole = point < 0 ? digits : digits.left(point);
    const QString rest = point < 0 ? QString() : digits.mid(point);
    for (int i = whole.size() - 3; i > 0; i -= 3) whole.insert(i, QLatin1Char(','));
    return (negative ? QStringLiteral("-") : QString()) + whole + rest;
}

QString currencyFormat() {
    return QStringLiteral("¥#,##0.00");
}

QString formatCurrency(const Money& money) {
    // The sign stands after the currency sign, as the locale's money format puts it: "¥-12.00".
    return QStringLiteral("¥") + groupThousands(money.toString(2));
}

QString unitPriceFormat() {
    return QStringLiteral("0.0000");
}

QString storedColumnFormat(const QString& table, const QString& column) {
    const bool unitPrice = table.compare(QLatin1String("job"), Qt::CaseInsensitive) == 0 &&
                           column.compare(QLatin1String("UnitPrice"), Qt::CaseInsensitive) == 0;
    return unitPrice ? unitPriceFormat() : QString();
}

QString formatValue(const QVariant& value, FieldType type, const QString& displayFormat) {
    if (!value.isValid() || value.isNull()) return QString();
    const bool percent = displayFormat.contains(QLatin1Char('%'));
    const bool grouping = displayFormat.contains(QLatin1Char(','));
    if (displayFormat == currencyFormat() && (type == FieldType::Money || type == FieldType::Double))
        return formatCurrency(Money::fromVariant(value));
    switch (type) {
        case FieldType::Money: {
            const Money m = Money::fromVariant(value);
            const QString text = m.toString(decimalsOf(displayFormat, percent ? 1 : 2));
            if (percent) return text + QStringLiteral(" %");
            return grouping ? groupThousands(text) : text;
        }
        case FieldType::Double: {
            const double d = value.toDouble();
            if (displayFormat.isEmpty()) return QString::number(d, 'g', QLocale::FloatingPointShortest);
            // Decimal rounding, half away from zero, on the shortest text of the value.
            const auto exact = Money::parse(QString::number(d, 'f', 6));
            const int decimals = decimalsOf(displayFormat, percent ? 1 : 2);
            QString text = exact && decimals <= Money::Decimals ? exact->toString(decimals)
                                                                : QString::number(d, 'f', decimals);
            if (percent) return text + QStringLiteral(" %");
            return grouping ? groupThousands(text) : text;
        }
        case FieldType::Date:
            return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
        case FieldType::Bool:
            return value.toBool() ? QStringLiteral("是") : QStringLiteral("否");
        case FieldType::Integer:
            return QString::number(value.toLongLong());
        case FieldType::Text:
        case FieldType::Unknown:
            break;
    }
    if (value.userType() == qMetaTypeId<Money>()) return value.value<Money>().toString(2);
    if (value.typeId() == QMetaType::QDate) return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    return value.toString();
}

std::optional<QVariant> convertToFieldType(const QVariant& value, FieldType type) {
    if (!value.isValid() || value.isNull()) return QVariant();
    const bool isText = value.typeId() == QMetaType::QString;
    const QString text = isText ? value.toString().trimmed() : QString();
    if (isText && text.isEmpty() && type != FieldType::Text && type != FieldType::Unknown) return QVariant();
    switch (type) {
        case FieldType::Text:
            return QVariant(value.toString());
        case FieldType::Unknown:
            return value;
        case FieldType::Integer: {
            if (isText) {
                bool ok = false;
                const qint64 n = text.toLongLong(&ok);
                if (ok) return QVariant(n);
                const auto m = Money::parse(text);  // "12.0" is a whole number too
                if (m && m->units() % Money::Scale == 0) return QVariant(qint64(m->units() / Money::Scale));
                return std::nullopt;
            }
            if (value.userType() == qMetaTypeId<Money>()) {
                const Money m = value.value<Money>();
                if (m.units() % Money::Scale != 0) return std::nullopt;
                return QVariant(qint64(m.units() / Money::Scale));
            }
            if (value.typeId() == QMetaType::Double) {
                const double d = value.toDouble();
                if (d != std::floor(d)) return std::nullopt;
                return QVariant(qint64(d));
            }
            if (value.typeId() == QMetaType::Bool) return QVariant(qint64(value.toBool() ? -1 : 0));
            bool ok = false;
            const qint64 n = value.toLongLong(&ok);
            if (!ok) return std::nullopt;
            return QVariant(n);
        }
        case FieldType::Money: {
            if (isText) {
                const auto m = Money::parse(text);
                if (!m) return std::nullopt;
                return QVariant::fromValue(*m);
            }
            if (value.userType() == qMetaTypeId<Money>()) return value;
            if (value.typeId() == QMetaType::Double) {
                const auto m =
                    Money::parse(QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest));
                if (m) return QVariant::fromValue(*m);
            }
            bool ok = false;
            const qint64 n = value.toLongLong(&ok);
            if (!ok) return std::nullopt;
            return QVariant::fromValue(Money::fromYuan(n));
        }
        case FieldType::Double: {
            if (value.userType() == qMetaTypeId<Money>()) return QVariant(value.value<Money>().toDouble());
            bool ok = false;
            const double d = isText ? text.toDouble(&ok) : value.toDouble(&ok);
            if (!ok || !std::isfinite(d)) return std::nullopt;
            return QVariant(d);
        }
        case FieldType::Date: {
            if (value.typeId() == QMetaType::QDate) return value;
            if (value.typeId() == QMetaType::QDateTime) return QVariant(value.toDateTime().date());
            if (!isText) return std::nullopt;
            QDate d = QDate::fromString(text, Qt::ISODate);
            if (!d.isValid()) d = QDate::fromString(text, QStringLiteral("yyyy-M-d"));
            if (!d.isValid()) d = QDate::fromString(text, QStringLiteral("yyyy/M/d"));
            if (!d.isValid()) return std::nullopt;
            return QVariant(d);
        }
        case FieldType::Bool: {
            if (value.typeId() == QMetaType::Bool) return value;
            if (isText) {
                const QString t = text.toLower();
                if (t == QLatin1String("true") || t == QStringLiteral("是") || t == QLatin1String("-1") ||
                    t == QLatin1String("1"))
                    return QVariant(true);
                if (t == QLatin1String("false") || t == QStringLiteral("否") || t == QLatin1String("0"))
                    return QVariant(false);
                return std::nullopt;
            }
            bool ok = false;
            const qint64 n = value.toLongLong(&ok);
            if (!ok) return std::nullopt;
            return QVariant(n != 0);
        }
    }
    return value;
}

}  // namespace hx
