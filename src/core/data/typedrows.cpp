#include "core/data/typedrows.h"

#include <QDate>
#include <QHash>
#include <climits>
#include <cstdint>
#include <cstring>

#include "core/data/money.h"

namespace hx {

namespace {

enum class Kind : std::uint8_t { Empty, Integer, Bool, Money, Date, Double, Text, Other };
enum State : std::uint8_t { Present = 0, Null = 1, Aside = 2 };

// A column lists at most this many different texts; one of mostly different texts holds them plainly.
constexpr std::size_t listedTexts = 16384;

Kind kindOf(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
            return Kind::Integer;
        case QMetaType::Bool:
            return Kind::Bool;
        case QMetaType::Double:
            return Kind::Double;
        case QMetaType::QDate:
            return v.toDate().isValid() ? Kind::Date : Kind::Other;
        case QMetaType::QString:
            return Kind::Text;
        default:
            return v.userType() == qMetaTypeId<Money>() ? Kind::Money : Kind::Other;
    }
}

qint64 bitsOf(double d) {
    qint64 w;
    std::memcpy(&w, &d, sizeof w);
    return w;
}

double doubleOf(qint64 w) {
    double d;
    std::memcpy(&d, &w, sizeof d);
    return d;
}

template <class T>
int order(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

struct TypedRows::Column {
    Kind kind = Kind::Empty;
    int metaType = 0;  // of whole numbers: Int or LongLong, as they were given
    // The state of each row's value, kept only once a value is not present: a column read whole from
    // the database mostly never has one.
    int count = 0;
    BlockArray<std::uint8_t> states;
    // Whole numbers, yes/no, money's units, dates' day numbers and doubles' bits: 32 bits a value while
    // they fit (work numbers, counts, days), 64 once one does not.
    bool wide = false;
    BlockArray<qint32> narrow;
    BlockArray<qint64> words;
    // Texts while listed: each row's number in the list.
    bool listed = true;
    BlockArray<quint32> codes;
    std::vector<QString> texts;
    std::unordered_map<std::string, quint32> codeOfBytes;  // as read from the database
    QHash<QString, quint32> codeOfText;                    // as given
    std::string key;
    BlockArray<QString> plainTexts;  // texts once there are too many different ones to list
    BlockArray<QVariant> others;     // a column of values of no type of its own
    std::unordered_map<int, QVariant> aside;

    int size() const { return count; }
    std::uint8_t state(int row) const { return states.size() ? states[row] : std::uint8_t(Present); }
    void setState(int row, std::uint8_t s) {
        if (states.size() == 0) {
            if (s == Present) return;
            states.resize(count);  // every value so far present
        }
        states[row] = s;
    }
    // Counts a new row at the end whose value is present.
    void pushPresent() {
        ++count;
        if (states.size()) states.push_back(Present);
    }

    void grow() {
        ++count;
        if (states.size())
            states.push_back(Null);
        else
            setState(count - 1, Null);
        switch (kind) {
            case Kind::Empty:
                break;
            case Kind::Text:
                if (listed)
                    codes.push_back(0);
                else
                    plainTexts.push_back(QString());
                break;
            case Kind::Other:
                others.push_back(QVariant());
                break;
            default:
                if (wide)
                    words.push_back(0);
                else
                    narrow.push_back(0);
        }
    }

    // A present value's word at the end, for a column of the kind already.
    void pushWord(qint64 w) {
        if (wide) {
            words.push_back(w);
        } else if (w >= INT32_MIN && w <= INT32_MAX) {
            narrow.push_back(qint32(w));
        } else {
            narrow.push_back(0);
            setWord(size() - 1, w);
        }
    }

    qint64 word(int row) const { return wide ? words[row] : narrow[row]; }
    void setWord(int row, qint64 w) {
        if (wide) {
            words[row] = w;
            return;
        }
        if (w >= INT32_MIN && w <= INT32_MAX) {
            narrow[row] = qint32(w);
            return;
        }
        const int n = size();
        words.resize(n);
        for (int i = 0; i < n; ++i) words[i] = narrow[i];
        narrow.clear();
        wide = true;
        words[row] = w;
    }

    void decide(Kind k, int meta) {
        kind = k;
        metaType = meta;
        const int n = size();
        if (k == Kind::Text)
            codes.resize(n);
        else if (k == Kind::Other)
            others.resize(n);
        else if ((wide = k == Kind::Double))
            words.resize(n);
        else
            narrow.resize(n);
    }

    void present(int row) {
        if (state(row) == Aside) aside.erase(row);
        setState(row, Present);
    }

    void setNull(int row) {
        if (state(row) == Aside) aside.erase(row);
        setState(row, Null);
        if (kind == Kind::Other) others[row] = QVariant();
    }

    void putAside(int row, const QVariant& v) {
        aside[row] = v;
        setState(row, Aside);
    }

    void unlist() {
        const int n = size();
        plainTexts.resize(n);
        for (int i = 0; i < n; ++i)
            if (state(i) == Present) plainTexts[i] = texts[codes[i]];
        codes.clear();
        texts.clear();
        texts.shrink_to_fit();
        codeOfBytes.clear();
        codeOfText.clear();
        listed = false;
    }

    // The number of a text new to the list; false when the list is full and the column no longer lists.
    bool list(const QString& text, quint32& code) {
        if (texts.size() >= listedTexts) {
            unlist();
            return false;
        }
        code = quint32(texts.size());
        texts.push_back(text);
        codeOfText.insert(text, code);
        const QByteArray utf8 = text.toUtf8();
        codeOfBytes.emplace(std::string(utf8.constData(), std::size_t(utf8.size())), code);
        return true;
    }

    void setText(int row, QByteArrayView utf8) {
        if (listed) {
            key.assign(utf8.data(), std::size_t(utf8.size()));
            const auto found = codeOfBytes.find(key);
            const bool known = found != codeOfBytes.end();
            quint32 code = known ? found->second : 0;
            if (known || list(QString::fromUtf8(utf8), code)) {
                codes[row] = code;
                present(row);
                return;
            }
        }
        plainTexts[row] = QString::fromUtf8(utf8);
        present(row);
    }

    void setText(int row, const QString& text) {
        if (listed) {
            const auto found = codeOfText.constFind(text);
            const bool known = found != codeOfText.constEnd();
            quint32 code = known ? *found : 0;
            if (known || list(text, code)) {
                codes[row] = code;
                present(row);
                return;
            }
        }
        plainTexts[row] = text;
        present(row);
    }

    const QString& textAt(int row) const { return listed ? texts[codes[row]] : plainTexts[row]; }

    void set(int row, const QVariant& v) {
        if (!v.isValid()) {
            setNull(row);
            return;
        }
        const Kind k = kindOf(v);
        // A null of a type (a null text) is kept as it is, and so says nothing of the column's type.
        if (v.isNull() || (k == Kind::Text && v.toString().isNull())) {
            putAside(row, v);
            return;
        }
        if (kind == Kind::Empty) decide(k, v.typeId());
        if (k != kind || (k == Kind::Integer && v.typeId() != metaType)) {
            if (kind == Kind::Other) {
                others[row] = v;
                present(row);
            } else {
                putAside(row, v);
            }
            return;
        }
        switch (k) {
            case Kind::Integer:
                setWord(row, v.toLongLong());
                break;
            case Kind::Bool:
                setWord(row, v.toBool() ? 1 : 0);
                break;
            case Kind::Money:
                setWord(row, v.value<Money>().units());
                break;
            case Kind::Date:
                setWord(row, v.toDate().toJulianDay());
                break;
            case Kind::Double:
                setWord(row, bitsOf(v.toDouble()));
                break;
            case Kind::Text:
                setText(row, v.toString());
                return;
            case Kind::Other:
                others[row] = v;
                break;
            case Kind::Empty:
                break;
        }
        present(row);
    }

    QVariant get(int row) const {
        switch (state(row)) {
            case Null:
                return QVariant();
            case Aside:
                return aside.at(row);
            default:
                break;
        }
        const qint64 w = kind == Kind::Text || kind == Kind::Other ? 0 : word(row);
        switch (kind) {
            case Kind::Integer:
                return metaType == QMetaType::Int ? QVariant(int(w)) : QVariant(qlonglong(w));
            case Kind::Bool:
                return QVariant(w != 0);
            case Kind::Money:
                return QVariant::fromValue(Money::fromUnits(w));
            case Kind::Date:
                return QVariant(QDate::fromJulianDay(w));
            case Kind::Double:
                return QVariant(doubleOf(w));
            case Kind::Text:
                return QVariant(textAt(row));
            case Kind::Other:
                return others[row];
            case Kind::Empty:
                break;
        }
        return QVariant();
    }
};

TypedRows::TypedRows(int columnCount) {
    reset(columnCount);
}

TypedRows::~TypedRows() = default;
TypedRows::TypedRows(TypedRows&&) noexcept = default;
TypedRows& TypedRows::operator=(TypedRows&&) noexcept = default;

void TypedRows::reset(int columnCount) {
    m_columns.clear();
    for (int c = 0; c < columnCount; ++c) m_columns.push_back(std::make_unique<Column>());
    m_rowCount = 0;
}

int TypedRows::appendRow() {
    for (auto& c : m_columns) c->grow();
    return m_rowCount++;
}

int TypedRows::appendRow(const QVector<QVariant>& values) {
    const int row = appendRow();
    const int n = std::min(int(values.size()), columnCount());
    for (int c = 0; c < n; ++c) m_columns[std::size_t(c)]->set(row, values[c]);
    return row;
}

QVariant TypedRows::value(int row, int column) const {
    return m_columns[std::size_t(column)]->get(row);
}

bool TypedRows::integerAt(int row, int column, qint64& out) const {
    const Column& c = *m_columns[std::size_t(column)];
    if (c.kind != Kind::Integer || c.state(row) != Present) return false;
    out = c.word(row);
    return true;
}

bool TypedRows::isNull(int row, int column) const {
    const Column& c = *m_columns[std::size_t(column)];
    return c.state(row) == Null || (c.state(row) == Aside && c.aside.at(row).isNull());
}

void TypedRows::setValue(int row, int column, const QVariant& value) {
    m_columns[std::size_t(column)]->set(row, value);
}

void TypedRows::setInteger(int row, int column, qint64 value) {
    Column& c = *m_columns[std::size_t(column)];
    if (c.kind == Kind::Empty) c.decide(Kind::Integer, QMetaType::LongLong);
    if (c.kind != Kind::Integer || c.metaType != QMetaType::LongLong) {
        c.set(row, QVariant(qlonglong(value)));
        return;
    }
    c.setWord(row, value);
    c.present(row);
}

void TypedRows::setDate(int row, int column, qint64 julianDay) {
    Column& c = *m_columns[std::size_t(column)];
    if (c.kind == Kind::Empty) c.decide(Kind::Date, QMetaType::QDate);
    if (c.kind != Kind::Date) {
        c.set(row, QVariant(QDate::fromJulianDay(julianDay)));
        return;
    }
    c.setWord(row, julianDay);
    c.present(row);
}

void TypedRows::setText(int row, int column, QByteArrayView utf8) {
    Column& c = *m_columns[std::size_t(column)];
    if (c.kind == Kind::Empty) c.decide(Kind::Text, QMetaType::QString);
    if (c.kind != Kind::Text) {
        c.set(row, QVariant(QString::fromUtf8(utf8)));
        return;
    }
    c.setText(row, utf8);
}

void TypedRows::pushNull(int column) {
    m_columns[std::size_t(column)]->grow();
}

void TypedRows::pushValue(int column, const QVariant& value) {
    Column& c = *m_columns[std::size_t(column)];
    c.grow();
    c.set(c.size() - 1, value);
}

void TypedRows::pushInteger(int column, qint64 value) {
    Column& c = *m_columns[std::size_t(column)];
    if (c.kind == Kind::Empty) c.decide(Kind::Integer, QMetaType::LongLong);
    if (c.kind != Kind::Integer || c.metaType != QMetaType::LongLong) {
        pushValue(column, QVariant(qlonglong(value)));
        return;
    }
    c.pushPresent();
    c.pushWord(value);
}

void TypedRows::pushDate(int column, qint64 julianDay) {
    Column& c = *m_columns[std::size_t(column)];
    if (c.kind == Kind::Empty) c.decide(Kind::Date, QMetaType::QDate);
    if (c.kind != Kind::Date) {
        pushValue(column, QVariant(QDate::fromJulianDay(julianDay)));
        return;
    }
    c.pushPresent();
    c.pushWord(julianDay);
}

void TypedRows::pushIntegers(int column, const qint64* values, int count) {
    Column& c = *m_columns[std::size_t(column)];
    if (c.kind == Kind::Empty) c.decide(Kind::Integer, QMetaType::LongLong);
    if (c.kind != Kind::Integer || c.metaType != QMetaType::LongLong) {
        for (int i = 0; i < count; ++i) pushInteger(column, values[i]);
        return;
    }
    for (int i = 0; i < count; ++i) {
        c.pushPresent();
        c.pushWord(values[i]);
    }
}

void TypedRows::pushDates(int column, const qint64* julianDays, int count) {
    Column& c = *m_columns[std::size_t(column)];
    if (c.kind == Kind::Empty) c.decide(Kind::Date, QMetaType::QDate);
    if (c.kind != Kind::Date) {
        for (int i = 0; i < count; ++i) pushDate(column, julianDays[i]);
        return;
    }
    for (int i = 0; i < count; ++i) {
        c.pushPresent();
        c.pushWord(julianDays[i]);
    }
}

void TypedRows::pushText(int column, QByteArrayView utf8) {
    Column& c = *m_columns[std::size_t(column)];
    c.grow();
    setText(c.size() - 1, column, utf8);
}

int TypedRows::compare(int rowA, int rowB, int column, FieldType type) const {
    const Column& c = *m_columns[std::size_t(column)];
    const std::uint8_t a = c.state(rowA), b = c.state(rowB);
    if (a == Aside || b == Aside) return unknown;
    if (a == Null || b == Null) return a == b ? 0 : (a == Null ? -1 : 1);
    switch (c.kind) {
        case Kind::Integer:
        case Kind::Bool:
            if (type != FieldType::Integer && type != FieldType::Bool) return unknown;
            return order(c.word(rowA), c.word(rowB));
        case Kind::Money:
            return type == FieldType::Money ? order(c.word(rowA), c.word(rowB)) : unknown;
        case Kind::Date:
            return type == FieldType::Date ? order(c.word(rowA), c.word(rowB)) : unknown;
        case Kind::Double:
            return type == FieldType::Double ? order(doubleOf(c.word(rowA)), doubleOf(c.word(rowB)))
                                             : unknown;
        case Kind::Text:
            if (type != FieldType::Text && type != FieldType::Unknown) return unknown;
            if (c.listed && c.codes[rowA] == c.codes[rowB]) return 0;
            return std::clamp(QString::compare(c.textAt(rowA), c.textAt(rowB), Qt::CaseSensitive), -1, 1);
        default:
            return unknown;
    }
}

}  // namespace hx
