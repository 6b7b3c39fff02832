#include "core/data/dataset.h"

#include <QDate>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>

#include "core/data/typedrows.h"
#include "core/data/values.h"

namespace hx {

struct DataSet::Storage {
    TypedRows rows;                    // the fields held in the rows
    BlockArray<std::uint8_t> deleted;  // as far as the last row deleted

    // The calculated fields of the rows last shown, each worked out once: a grid asks for every cell
    // of the rows in view at every paint.
    struct Calculated {
        int row = -1;
        QVector<QVariant> values;
    };
    static constexpr int calculatedRows = 256;
    std::vector<Calculated> calculated = std::vector<Calculated>(calculatedRows);

    void reset(int columns) {
        rows.reset(columns);
        deleted.clear();
        forgetAll();
    }
    int append() { return rows.appendRow(); }
    bool isDeleted(int row) const { return row < deleted.size() && deleted[row]; }
    void markDeleted(int row) {
        if (row >= deleted.size()) deleted.resize(row + 1);
        deleted[row] = 1;
    }
    Calculated& slotOf(int row) { return calculated[std::size_t(row % calculatedRows)]; }
    void forget(int row) { slotOf(row).row = -1; }
    void forgetAll() {
        for (Calculated& c : calculated) {
            c.row = -1;
            c.values.clear();
        }
    }
};

namespace {

const QString closedMessage = QStringLiteral("Cannot perform this operation on a closed dataset");
const QString emptyMessage = QStringLiteral("Cannot perform this operation on an empty dataset");
const QString readOnlyPostMessage = QStringLiteral("该数据集是只读的，不能保存修改。");
// A table whose rows are not told apart by their key (an older file, before its key index could be
// built): an edit of one of them would change all of them.
const QString repeatedKeyMessage =
    QStringLiteral("表中有几行记录与这一行完全相同，无法只修改或删除其中一行，没有保存。");

// Orders typed values; Null sorts first.
int compareValues(const QVariant& a, const QVariant& b, FieldType type) {
    const bool an = a.isNull() || !a.isValid();
    const bool bn = b.isNull() || !b.isValid();
    if (an || bn) return an == bn ? 0 : (an ? -1 : 1);
    switch (type) {
        case FieldType::Money: {
            const Money x = Money::fromVariant(a), y = Money::fromVariant(b);
            return x < y ? -1 : (y < x ? 1 : 0);
        }
        case FieldType::Integer:
        case FieldType::Bool: {
            const qint64 x = a.toLongLong(), y = b.toLongLong();
            return x < y ? -1 : (y < x ? 1 : 0);
        }
        case FieldType::Double: {
            const double x = a.toDouble(), y = b.toDouble();
            return x < y ? -1 : (y < x ? 1 : 0);
        }
        case FieldType::Date: {
            const QDate x = a.toDate(), y = b.toDate();
            return x < y ? -1 : (y < x ? 1 : 0);
        }
        case FieldType::Text:
        case FieldType::Unknown:
            break;
    }
    if (type == FieldType::Unknown && a.canConvert<double>() && b.canConvert<double>() &&
        a.typeId() != QMetaType::QString && b.typeId() != QMetaType::QString) {
        const double x = a.toDouble(), y = b.toDouble();
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    return QString::compare(a.toString(), b.toString(), Qt::CaseSensitive);
}

bool equalValues(const QVariant& a, const QVariant& b, FieldType type) {
    if (a.isNull() || b.isNull()) return false;
    return compareValues(a, b, type) == 0;
}

// A date stored as yyyy-MM-dd (what follows the day is not looked at), without a detour through text.
std::optional<QDate> storedDate(QByteArrayView t) {
    auto digits = [&](int from, int count) {
        int n = 0;
        for (int i = from; i < from + count; ++i) {
            if (t[i] < '0' || t[i] > '9') return -1;
            n = n * 10 + (t[i] - '0');
        }
        return n;
    };
    if (t.size() >= 10 && t[4] == '-' && t[7] == '-') {
        const int y = digits(0, 4), m = digits(5, 2), d = digits(8, 2);
        if (y >= 0 && m >= 0 && d >= 0) {
            const QDate date(y, m, d);
            if (date.isValid()) return date;
        }
    }
    return std::nullopt;
}

// A stored value in the field's type, as fromDbValue gives it, without a detour through text for the
// common cases: whole numbers, and dates stored as yyyy-MM-dd. Money as the engine reads it exactly.
QVariant readValue(const PreparedStatement& q, int column, FieldType type) {
    const PreparedStatement::Kind kind = q.kind(column);
    if (kind == PreparedStatement::Kind::Null) return QVariant();
    if (kind == PreparedStatement::Kind::Integer && type == FieldType::Integer)
        return QVariant(q.integer(column));
    if (type == FieldType::Money) return QVariant::fromValue(q.money(column));
    if (kind == PreparedStatement::Kind::Text && type == FieldType::Date) {
        if (const auto date = storedDate(q.utf8(column))) return QVariant(*date);
    }
    return fromDbValue(q.value(column), type);
}

// The day of a date stored as yyyy-MM-dd; the records of a list come by the day, so the last day read
// is the next one's too.
struct DayReader {
    char last[10] = {};
    qint64 day = 0;
    std::optional<qint64> read(QByteArrayView t) {
        if (t.size() == 10 && std::memcmp(t.data(), last, 10) == 0) return day;
        const auto date = storedDate(t);
        if (!date) return std::nullopt;
        day = date->toJulianDay();
        if (t.size() == 10) std::memcpy(last, t.data(), 10);
        return day;
    }
};

// The same value put straight into the row being read, without a QVariant for the common cases.
void readInto(TypedRows& rows, int field, const PreparedStatement& q, int column, FieldType type,
              DayReader& days) {
    const PreparedStatement::Kind kind = q.kind(column);
    if (kind == PreparedStatement::Kind::Null) {
        rows.pushNull(field);
        return;
    }
    if (kind == PreparedStatement::Kind::Integer && type == FieldType::Integer) {
        rows.pushInteger(field, q.integer(column));
        return;
    }
    if (type == FieldType::Money) {
        rows.pushValue(field, QVariant::fromValue(q.money(column)));
        return;
    }
    if (kind == PreparedStatement::Kind::Text) {
        if (type == FieldType::Text) {
            rows.pushText(field, q.utf8(column));
            return;
        }
        if (type == FieldType::Date) {
            if (const auto day = days.read(q.utf8(column))) {
                rows.pushDate(field, *day);
                return;
            }
        }
    }
    rows.pushValue(field, fromDbValue(q.value(column), type));
}

FieldType typeOfValue(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
            return FieldType::Integer;
        case QMetaType::Double:
            return FieldType::Double;
        case QMetaType::QString:
            return FieldType::Text;
        default:
            return FieldType::Unknown;
    }
}

}  // namespace

DataSet::DataSet(Connection* connection, QObject* parent)
    : QObject(parent), m_store(std::make_unique<Storage>()) {
    setConnection(connection);
}

DataSet::~DataSet() {
    setConnection(nullptr);
}

void DataSet::setConnection(Connection* connection) {
    if (m_connection == connection) return;
    if (m_connection) m_connection->detach(this);
    m_connection = connection;
    if (m_connection) m_connection->attach(this);
}

void DataSet::setSql(const QString& sql) {
    // The table and key belong to the statement: another statement is only read until it is given its own.
    if (m_sql != sql) {
        m_updateTable.clear();
        m_keyFields.clear();
    }
    m_sql = sql;
}

void DataSet::setFieldType(const QString& field, FieldType type) {
    m_typeOverrides.insert(field.toLower(), type);
}

void DataSet::addCalculatedField(const QString& name, FieldType type, const QString& displayFormat) {
    Field f;
    f.name = name;
    f.type = type;
    f.displayFormat = displayFormat;
    f.readOnly = true;
    f.calculated = true;
    m_extraFields.append(f);
}

void DataSet::addLookupField(const QString& name, FieldType type, const QString& keyField,
                             std::function<QVariant(const QVariant&)> lookup, const QString& displayFormat) {
    addCalculatedField(name, type, displayFormat);
    m_lookups.append({int(m_extraFields.size() - 1), keyField, std::move(lookup)});
}

void DataSet::defineFields(const QVector<Field>& fields) {
    m_inMemory = true;
    m_fields = fields;
    for (Lookup& l : m_lookups) l.keyIndex = -1;
}

int DataSet::fieldIndex(const QString& name) const {
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

Field& DataSet::field(const QString& name) {
    const int i = fieldIndex(name);
    if (i < 0) throw DbError(QStringLiteral("Field '%1' not found").arg(name));
    return m_fields[i];
}

void DataSet::requireOpen() const {
    if (m_state == DataSetState::Inactive) throw DbError(closedMessage);
}

void DataSet::requireRows() const {
    requireOpen();
    if (m_view.isEmpty()) throw DbError(emptyMessage);
}

void DataSet::beginReset() {
    if (!m_controlsDisabled) emit aboutToReset();
}

void DataSet::endReset() {
    if (!m_controlsDisabled) emit reset();
}

void DataSet::setState(DataSetState state) {
    if (m_state == state) return;
    m_state = state;
    emit stateChanged(state);
}

void DataSet::resolveStoredColumns(const PreparedStatement& q) {
    m_storedColumns.clear();
    m_keyIndexes.clear();
    if (m_updateTable.isEmpty() || !m_connection) return;
    for (int c = 0; c < q.columnCount(); ++c) {
        // A column read twice is stored through its first field only.
        const QString column = q.originColumn(c);
        const bool stored = q.columnType(c).type != FieldType::Unknown && !column.isEmpty() &&
                            q.originTable(c).compare(m_updateTable, Qt::CaseInsensitive) == 0 &&
                            !m_storedColumns.contains(column, Qt::CaseInsensitive);
        m_storedColumns << (stored ? column : QString());
    }
    if (m_keyFields.isEmpty())
        throw DbError(QStringLiteral("数据集没有给出“%1”表的键，不能修改这个表。").arg(m_updateTable));
    for (const QString& key : m_keyFields) {
        const auto found =
            std::find_if(m_storedColumns.cbegin(), m_storedColumns.cend(),
                         [&](const QString& c) { return c.compare(key, Qt::CaseInsensitive) == 0; });
        const int c = int(found - m_storedColumns.cbegin());
        if (found == m_storedColumns.cend())
            throw DbError(QStringLiteral("数据集的语句没有读出“%1”表的键字段“%2”。").arg(m_updateTable, key));
        m_keyIndexes << c;
    }
}

void DataSet::load() {
    m_store->reset(0);
    m_view.clear();
    m_newRow = -1;
    if (m_inMemory) {
        m_store->reset(firstCalculated());
        return;
    }
    if (!m_connection) throw DbError(QStringLiteral("数据集没有连接。"));

    // Read straight from the engine: a list of a month's records is hundreds of thousands of rows.
    PreparedStatement q(*m_connection, m_sql, m_params);
    resolveStoredColumns(q);
    const int columnCount = q.columnCount();
    keepPresentation();
    m_fields.clear();
    QVector<bool> inferType;
    for (int c = 0; c < columnCount; ++c) {
        Field f;
        f.name = q.columnName(c);
        const ColumnType ct = q.columnType(c);
        f.type = m_typeOverrides.value(f.name.toLower(), ct.type);
        f.size = ct.size;
        f.displayFormat = storedColumnFormat(q.originTable(c), q.originColumn(c));
        f.readOnly = m_storedColumns.value(c).isEmpty();
        inferType.append(f.type == FieldType::Unknown);
        const auto kept = m_presentation.constFind(f.name.toLower());
        if (kept != m_presentation.constEnd()) {
            f.displayFormat = kept->first;
            f.displayLabel = kept->second;
        }
        m_fields.append(f);
    }
    if (m_keyIndexes.size() == 1 && m_fields[m_keyIndexes.first()].type == FieldType::Integer)
        m_fields[m_keyIndexes.first()].readOnly = true;
    m_fields += m_extraFields;
    for (Lookup& l : m_lookups) l.keyIndex = fieldIndex(l.keyField);

    m_store->reset(columnCount);
    TypedRows& rows = m_store->rows;
    bool inferred = false;
    auto days = std::vector<DayReader>(std::size_t(columnCount));
    // Whole numbers and dates are gathered column by column and go in a block at a time; any other value
    // (a Null, a value of another kind) goes in at once, after what its column gathered before it.
    constexpr std::size_t block = 512;
    auto gathered = std::vector<std::vector<qint64>>(std::size_t(columnCount));
    for (auto& g : gathered) g.reserve(block);
    const auto handOver = [&](int c) {
        std::vector<qint64>& g = gathered[std::size_t(c)];
        if (g.empty()) return;
        if (m_fields[c].type == FieldType::Date)
            rows.pushDates(c, g.data(), int(g.size()));
        else
            rows.pushIntegers(c, g.data(), int(g.size()));
        g.clear();
    };
    const auto gather = [&](int c, qint64 word) {
        std::vector<qint64>& g = gathered[std::size_t(c)];
        g.push_back(word);
        if (g.size() == block) handOver(c);
    };
    while (q.next()) {
        for (int c = 0; c < columnCount; ++c) {
            if (!inferred && inferType[c]) {
                const QVariant stored = q.value(c);
                if (!stored.isNull()) {
                    m_fields[c].type = typeOfValue(stored);
                    inferType[c] = false;
                }
            }
            const FieldType type = m_fields[c].type;
            if (type == FieldType::Integer) {
                qint64 n = 0;
                if (q.integerOrKind(c, n) == PreparedStatement::Kind::Integer) {
                    gather(c, n);
                    continue;
                }
            } else if (type == FieldType::Date || type == FieldType::Text) {
                QByteArrayView text;
                if (q.textOrKind(c, text) == PreparedStatement::Kind::Text) {
                    if (type == FieldType::Text) {
                        rows.pushText(c, text);
                        continue;
                    }
                    if (const auto day = days[std::size_t(c)].read(text)) {
                        gather(c, *day);
                        continue;
                    }
                }
            }
            handOver(c);
            readInto(rows, c, q, c, type, days[std::size_t(c)]);
        }
        rows.endRow();
        if (!inferred) inferred = std::none_of(inferType.begin(), inferType.end(), [](bool b) { return b; });
    }
    for (int c = 0; c < columnCount; ++c) handOver(c);
}

QVariant DataSet::storedValue(int storedRow, int index) const {
    const int firstExtra = firstCalculated();
    if (index < firstExtra) {
        // Fields defined anew over open rows have no values yet.
        return index < m_store->rows.columnCount() ? m_store->rows.value(storedRow, index) : QVariant();
    }
    Storage::Calculated& slot = m_store->slotOf(storedRow);
    if (slot.row != storedRow) {
        QVector<QVariant> values(m_fields.size());
        for (int c = 0; c < firstExtra; ++c) values[c] = storedValue(storedRow, c);
        calculate(values);
        // Taken after the event: a calculation that shows other rows may have used this slot meanwhile.
        Storage::Calculated& kept = m_store->slotOf(storedRow);
        kept.values = values.mid(firstExtra);
        kept.row = storedRow;
        return kept.values.value(index - firstExtra);
    }
    return slot.values.value(index - firstExtra);
}

QVector<QVariant> DataSet::rowValues(int storedRow) const {
    QVector<QVariant> values(m_fields.size());
    for (int c = 0; c < values.size(); ++c) values[c] = storedValue(storedRow, c);
    return values;
}

void DataSet::calculate(QVector<QVariant>& values) const {
    if (m_extraFields.isEmpty()) return;
    const int firstExtra = firstCalculated();
    for (const Lookup& l : m_lookups) {
        const int key = l.keyIndex >= 0 ? l.keyIndex : fieldIndex(l.keyField);
        values[firstExtra + l.field] = key >= 0 ? l.fn(values[key]) : QVariant();
    }
    if (!onCalcFields) return;
    // The event reads and writes "the current row" through value() and setValue(): lend it this row.
    // Showing a row changes nothing of the data set, which is as it was when the event is done.
    DataSet& self = *const_cast<DataSet*>(this);
    QVector<QVariant> savedBuffer = std::move(self.m_buffer);
    const DataSetState savedState = m_state;
    const bool savedModified = m_modified;
    const bool savedCalculating = m_calculating;
    self.m_buffer = values;
    self.m_state = DataSetState::Edit;
    m_calculating = true;
    const auto restore = [&] {
        m_calculating = savedCalculating;
        self.m_state = savedState;
        self.m_buffer = std::move(savedBuffer);
        self.m_modified = savedModified;
    };
    try {
        onCalcFields(self);
    } catch (...) {
        restore();
        throw;
    }
    for (int i = firstExtra; i < values.size(); ++i) values[i] = m_buffer[i];
    restore();
}

void DataSet::calculateBuffer() {
    if (m_extraFields.isEmpty()) return;
    QVector<QVariant> scratch = m_buffer;
    calculate(scratch);
    const int firstExtra = firstCalculated();
    for (int i = firstExtra; i < m_buffer.size(); ++i) m_buffer[i] = scratch[i];
}

void DataSet::resolveFilter() {
    static const QRegularExpression condition(
        QStringLiteral("^\\s*\\[?([A-Za-z_][A-Za-z0-9_]*)\\]?\\s*=\\s*(.*?)\\s*$"),
        QRegularExpression::DotMatchesEverythingOption);
    m_filterField = -1;
    m_filterValue = QVariant();
    if (m_filter.trimmed().isEmpty()) return;
    const auto m = condition.match(m_filter);
    if (!m.hasMatch()) throw DbError(QStringLiteral("筛选条件“%1”无效。").arg(m_filter));
    QString literal = m.captured(2);
    QVariant value = literal;
    if (literal.size() >= 2 && literal.startsWith(QLatin1Char('\'')) && literal.endsWith(QLatin1Char('\'')))
        value = literal.mid(1, literal.size() - 2).replace(QStringLiteral("''"), QStringLiteral("'"));
    if (!isOpen()) return;  // resolved against the fields when the data set opens
    m_filterField = fieldIndex(m.captured(1));
    if (m_filterField < 0) return;  // a statement without the field: the filter lets every row through
    const FieldType type = m_fields[m_filterField].type;
    if (type == FieldType::Text || type == FieldType::Unknown) {
        m_filterValue = value;
    } else {
        const auto converted = convertToFieldType(value, type);
        m_filterValue = converted ? *converted : QVariant();
    }
}

bool DataSet::rowMatchesFilter(int storedRow) const {
    if (!m_filtered || m_filterField < 0) return true;
    const FieldType type = m_fields[m_filterField].type;
    const QVariant v = storedValue(storedRow, m_filterField);
    if (v.isNull()) return false;
    if (type == FieldType::Text || type == FieldType::Unknown)
        return v.toString() == m_filterValue.toString();
    return equalValues(v, m_filterValue, type);
}

void DataSet::rebuildView() {
    m_view.clear();
    const int count = m_store->rows.rowCount();
    m_view.reserve(count);
    for (int i = 0; i < count; ++i) {
        if (!m_store->isDeleted(i) && rowMatchesFilter(i)) m_view.append(i);
    }
    if (m_sortField >= 0) {
        const int f = m_sortField;
        const FieldType type = m_fields[f].type;
        const TypedRows& rows = m_store->rows;
        std::stable_sort(m_view.begin(), m_view.end(), [&](int a, int b) {
            int order = rows.compare(a, b, f, type);
            if (order == TypedRows::unknown) order = compareValues(rows.value(a, f), rows.value(b, f), type);
            return order < 0;
        });
    }
}

void DataSet::finishReset(const std::function<void()>& beforeScroll) {
    // After the rows were rebuilt: the first row is current and the views learn of it.
    m_current = m_view.isEmpty() ? -1 : 0;
    m_bof = true;
    m_eof = m_view.isEmpty();
    endReset();
    emit currentChanged(m_current);
    if (beforeScroll) beforeScroll();
    if (afterScroll) afterScroll(*this);
}

void DataSet::keepPresentation() {
    // Display formats and labels set by a window outlive a requery or a reopen.
    for (const Field& f : std::as_const(m_fields))
        if (!f.displayFormat.isEmpty() || !f.displayLabel.isEmpty())
            m_presentation.insert(f.name.toLower(), {f.displayFormat, f.displayLabel});
}

void DataSet::open() {
    openWith([this] { load(); });
}

void DataSet::openWithRows(std::vector<QVector<QVariant>> rows) {
    if (!m_inMemory) throw DbError(QStringLiteral("只有内存数据集可以直接装入数据行。"));
    close();
    openWith([this, &rows] {
        m_view.clear();
        m_newRow = -1;
        m_store->reset(firstCalculated());
        for (QVector<QVariant>& values : rows) {
            m_store->rows.appendRow(values);
            values = QVector<QVariant>();  // given back as it goes: the rows are not held twice
        }
        rows.clear();
    });
}

void DataSet::openWithTypedRows(TypedRows&& rows) {
    if (!m_inMemory) throw DbError(QStringLiteral("只有内存数据集可以直接装入数据行。"));
    if (rows.columnCount() != firstCalculated())
        throw DbError(QStringLiteral("数据行的列数与数据集的字段数不同。"));
    close();
    openWith([this, &rows] {
        m_view.clear();
        m_newRow = -1;
        m_store->reset(0);
        m_store->rows = std::move(rows);
    });
}

void DataSet::openWith(const std::function<void()>& fill) {
    if (isOpen()) return;
    beginReset();
    try {
        fill();
    } catch (...) {
        m_store->reset(0);
        m_view.clear();
        endReset();
        throw;
    }
    m_sortField = -1;
    m_sort.clear();
    m_modified = false;
    m_changedElsewhere = false;
    setState(DataSetState::Browse);
    resolveFilter();  // the filter survives reopening, also with another statement
    rebuildView();
    finishReset([this] {
        if (afterOpen) afterOpen(*this);
    });
}

void DataSet::close() {
    if (!isOpen()) return;
    emit discardOpenEditors();
    beginReset();
    m_store->reset(0);
    m_view.clear();
    m_newRow = -1;
    m_buffer.clear();
    m_sort.clear();
    m_sortField = -1;
    if (!m_inMemory) {
        keepPresentation();
        m_fields.clear();
    }
    m_current = -1;
    m_modified = false;
    m_changedElsewhere = false;
    setState(DataSetState::Inactive);
    endReset();
}

void DataSet::requery() {
    requireOpen();
    if (!checkBrowseMode()) return;
    beginReset();
    try {
        load();
    } catch (...) {
        // A failed requery leaves the data set closed rather than half loaded.
        m_store->reset(0);
        m_view.clear();
        m_current = -1;
        setState(DataSetState::Inactive);
        endReset();
        throw;
    }
    if (m_sortField >= 0) m_sortField = fieldIndex(m_sort.section(QLatin1Char(' '), 0, 0));
    resolveFilter();
    rebuildView();
    finishReset();
}

DataSet::Reread DataSet::rereadCurrentRow() {
    if (!isOpen() || isEditing() || m_current < 0 || m_inMemory || !m_connection || m_keyIndexes.isEmpty())
        return Reread::Unknown;
    const int row = currentStoredRow();
    // The fields read from the table, in the order of the fields; the others are as they were read.
    QStringList columns;
    QVector<int> fields;
    for (int f = 0; f < m_storedColumns.size(); ++f) {
        if (m_storedColumns[f].isEmpty()) continue;
        columns << m_connection->dialect().quoted(m_storedColumns[f]);
        fields << f;
    }
    QVariantList values;
    const QString where = storedRowCondition(row, values);
    PreparedStatement q(
        *m_connection,
        QStringLiteral("select %1 from %2%3")
            .arg(columns.join(QStringLiteral(", ")), m_connection->dialect().quoted(m_updateTable), where),
        values);
    if (!q.next()) return Reread::Gone;
    for (int c = 0; c < fields.size(); ++c)
        m_store->rows.setValue(row, fields[c], readValue(q, c, m_fields[fields[c]].type));
    m_store->forget(row);
    if (!m_controlsDisabled) emit rowChanged(m_current);
    return Reread::Done;
}

void DataSet::showStoredRow() {
    if (rereadCurrentRow() != Reread::Gone) return;
    m_store->markDeleted(currentStoredRow());
    const int position = m_current;
    removeFromView(position);
    moveTo(std::min(position, int(m_view.size()) - 1));
}

int DataSet::recordCount() const {
    return isOpen() ? m_view.size() : 0;
}

void DataSet::moveTo(int row) {
    if (m_view.isEmpty()) {
        m_current = -1;
        m_bof = m_eof = true;
    } else {
        m_current = std::clamp(row, 0, int(m_view.size()) - 1);
    }
    emit currentChanged(m_current);
    if (afterScroll) afterScroll(*this);
}

void DataSet::setRecNo(int row) {
    requireOpen();
    if (row == m_current) return;
    emit commitOpenEditors();
    if (m_state == DataSetState::Insert && !m_modified) {
        // The untouched new row vanishes; rows below it move up by one.
        const int position = m_current;
        cancel();
        if (row > position) --row;
    } else {
        checkBrowseMode();
        if (isEditing()) return;  // the row could not be stored: stay on it
    }
    m_bof = false;
    m_eof = false;
    moveTo(row);
}

void DataSet::first() {
    requireOpen();
    if (!checkBrowseMode()) return;
    moveTo(0);
    m_bof = true;
    m_eof = m_view.isEmpty();
}

void DataSet::last() {
    requireOpen();
    if (!checkBrowseMode()) return;
    moveTo(int(m_view.size()) - 1);
    m_eof = true;
    m_bof = m_view.isEmpty();
}

void DataSet::next() {
    requireOpen();
    if (!checkBrowseMode()) return;
    if (m_current + 1 >= m_view.size()) {
        m_eof = true;
        return;
    }
    m_bof = false;
    moveTo(m_current + 1);
}

void DataSet::prior() {
    requireOpen();
    if (!checkBrowseMode()) return;
    if (m_current <= 0) {
        m_bof = true;
        return;
    }
    m_eof = false;
    moveTo(m_current - 1);
}

QVariant DataSet::value(int index) const {
    if (!isOpen() || index < 0 || index >= m_fields.size()) return QVariant();
    if (isEditing()) return m_buffer.value(index);
    if (m_current < 0 || m_current >= m_view.size()) return QVariant();
    return storedValue(currentStoredRow(), index);
}

QVariant DataSet::value(const QString& name) const {
    const int i = fieldIndex(name);
    if (i < 0 && isOpen()) throw DbError(QStringLiteral("Field '%1' not found").arg(name));
    return value(i);
}

QVariant DataSet::valueAsStored(const QString& name) const {
    const int i = fieldIndex(name);
    if (i < 0 && isOpen()) throw DbError(QStringLiteral("Field '%1' not found").arg(name));
    if (!isOpen() || i < 0 || m_current < 0 || m_current >= m_view.size()) return QVariant();
    if (m_state == DataSetState::Insert) return QVariant();
    return storedValue(currentStoredRow(), i);
}

QVariant DataSet::valueAt(int row, int index) const {
    if (!isOpen() || row < 0 || row >= m_view.size() || index < 0 || index >= m_fields.size())
        return QVariant();
    if (row == m_current && isEditing()) return m_buffer.value(index);
    return storedValue(m_view[row], index);
}

std::optional<qint64> DataSet::integerAt(int row, int index) const {
    if (isOpen() && row >= 0 && row < m_view.size() && index >= 0 && index < firstCalculated() &&
        index < m_store->rows.columnCount() && !(row == m_current && isEditing())) {
        qint64 n = 0;
        if (m_store->rows.integerAt(m_view[row], index, n)) return n;
    }
    const QVariant v = valueAt(row, index);
    if (v.isNull()) return std::nullopt;
    return v.toLongLong();
}

QString DataSet::textAt(int row, int index) const {
    const QVariant v = valueAt(row, index);
    if (onGetText) {
        const QString t = onGetText(*this, index, v);
        if (!t.isNull()) return t;
    }
    const Field& f = m_fields[index];
    // What was typed into a number or a date and refused shows as it was typed, to be corrected.
    if (v.typeId() == QMetaType::QString && f.type != FieldType::Text && f.type != FieldType::Unknown &&
        !convertToFieldType(v, f.type))
        return v.toString();
    return formatValue(v, f.type, f.displayFormat);
}

QString DataSet::text(const QString& name) const {
    const int i = fieldIndex(name);
    if (i < 0) return QString();
    return textAt(m_current, i);
}

qint64 DataSet::asInt(const QString& name) const {
    const QVariant v = value(name);
    if (v.isNull()) return 0;
    if (v.userType() == qMetaTypeId<Money>()) return v.value<Money>().units() / Money::Scale;
    if (v.typeId() == QMetaType::Bool) return v.toBool() ? -1 : 0;
    return v.toLongLong();
}

Money DataSet::asMoney(const QString& name) const {
    return Money::fromVariant(value(name));
}

double DataSet::asDouble(const QString& name) const {
    const QVariant v = value(name);
    if (v.isNull()) return 0;
    if (v.userType() == qMetaTypeId<Money>()) return v.value<Money>().toDouble();
    return v.toDouble();
}

QString DataSet::asString(const QString& name) const {
    const QVariant v = value(name);
    if (v.isNull()) return QString(QLatin1String(""));
    if (v.userType() == qMetaTypeId<Money>()) return v.value<Money>().toPlainString();
    if (v.typeId() == QMetaType::QDate) return v.toDate().toString(Qt::ISODate);
    return v.toString();
}

bool DataSet::asBool(const QString& name) const {
    const QVariant v = value(name);
    if (v.isNull()) return false;
    if (v.typeId() == QMetaType::QString)
        return convertToFieldType(v, FieldType::Bool).value_or(false).toBool();
    return v.toLongLong() != 0 || v.toBool();
}

void DataSet::setValue(const QString& name, const QVariant& v) {
    requireOpen();
    const int i = fieldIndex(name);
    if (i < 0) throw DbError(QStringLiteral("Field '%1' not found").arg(name));
    setValue(i, v);
}

void DataSet::setValue(int index, const QVariant& v) {
    requireOpen();
    if (index < 0 || index >= m_fields.size()) throw DbError(QStringLiteral("Field index out of range"));
    if (m_calculating) {
        m_buffer[index] = v;
        return;
    }
    if (onValidate && !m_fields[index].calculated) onValidate(*this, index, v);
    if (!isEditing()) edit();
    m_buffer[index] = v;
    if (!m_inAfterInsert) m_modified = true;
    if (!m_fields[index].calculated) calculateBuffer();
    if (!m_controlsDisabled && m_current >= 0) emit rowChanged(m_current);
}

void DataSet::edit() {
    requireRows();
    if (isEditing()) return;
    m_buffer = rowValues(currentStoredRow());
    m_modified = false;
    m_changedElsewhere = false;
    setState(DataSetState::Edit);
}

void DataSet::insert() {
    insertRow(false);
}

void DataSet::append() {
    insertRow(true);
}

void DataSet::insertRow(bool atEnd) {
    requireOpen();
    if (!checkBrowseMode()) return;
    if (beforeInsert) beforeInsert(*this);
    const int position = atEnd ? int(m_view.size()) : std::max(m_current, 0);
    const int row = m_store->append();
    m_newRow = row;
    if (!m_controlsDisabled) emit rowAboutToBeInserted(position);
    m_view.insert(position, row);
    m_current = position;
    m_buffer = QVector<QVariant>(m_fields.size());
    m_modified = false;
    setState(DataSetState::Insert);
    if (!m_controlsDisabled) emit rowInserted(position);
    emit currentChanged(m_current);
    // Defaults set by the after-insert event are not the user's change: an untouched new row stays droppable.
    m_inAfterInsert = true;
    try {
        if (afterInsert) afterInsert(*this);
    } catch (...) {
        m_inAfterInsert = false;
        throw;
    }
    m_inAfterInsert = false;
}

std::optional<QVariant> DataSet::convertForPost(int index, const QVariant& v) const {
    return convertToFieldType(v, m_fields[index].type);
}

bool DataSet::post() {
    requireOpen();
    emit commitOpenEditors();
    if (!isEditing()) return true;
    try {
        if (beforePost) beforePost(*this);
        const int row = currentStoredRow();
        QVector<QVariant> converted = m_buffer;
        for (int i = 0; i < m_fields.size(); ++i) {
            if (m_fields[i].calculated) continue;
            const auto c = convertForPost(i, m_buffer[i]);
            if (!c) {
                const FieldType type = m_fields[i].type;
                const auto reason = type == FieldType::Integer ? FieldRefusal::Reason::NotInteger
                                    : type == FieldType::Money || type == FieldType::Double
                                        ? FieldRefusal::Reason::NotNumber
                                    : type == FieldType::Date ? FieldRefusal::Reason::NotDate
                                                              : FieldRefusal::Reason::Invalid;
                throw FieldRefusal(reason, i, titleOf(i), m_buffer[i].toString());
            }
            converted[i] = *c;
        }
        if (!m_inMemory) {
            if (m_keyIndexes.isEmpty() || !m_connection) throw DbError(readOnlyPostMessage);
            const Dialect& dialect = m_connection->dialect();
            const QString table = dialect.quoted(m_updateTable);
            QStringList names;
            QVariantList values;
            for (int i = 0; i < m_fields.size(); ++i) {
                const Field& f = m_fields[i];
                if (f.calculated || f.readOnly || m_storedColumns.value(i).isEmpty()) continue;
                if (m_state == DataSetState::Edit) {
                    const QVariant stored = storedValue(row, i);
                    if (compareValues(converted[i], stored, f.type) == 0 &&
                        converted[i].isNull() == stored.isNull())
                        continue;
                } else if (converted[i].isNull()) {
                    continue;
                }
                names << dialect.quoted(m_storedColumns[i]);
                values << converted[i];
            }
            if (m_state == DataSetState::Insert) {
                QStringList keyColumns;
                for (int k : std::as_const(m_keyIndexes)) keyColumns << m_storedColumns[k];
                QStringList quotedKey;
                for (const QString& k : std::as_const(keyColumns)) quotedKey << dialect.quoted(k);
                QString sql;
                if (names.isEmpty()) {
                    sql = QStringLiteral("insert into %1 default values").arg(table);
                } else {
                    QStringList marks;
                    for (int i = 0; i < names.size(); ++i) marks << QStringLiteral("?");
                    sql = QStringLiteral("insert into %1 (%2) values (%3)")
                              .arg(table, names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
                }
                sql += QStringLiteral(" returning ") + quotedKey.join(QStringLiteral(", "));
                QVariantList key;
                {
                    PreparedStatement inserted(*m_connection, sql, values);
                    if (!inserted.next()) throw DbError(QStringLiteral("新的一行没有保存。"));
                    for (int k = 0; k < keyColumns.size(); ++k) key << inserted.value(k);
                    inserted.reset();
                }
                // Read the stored row back by its key: the key and the defaults the table gave.
                QStringList columns;
                QVector<int> fields;
                for (int f = 0; f < m_storedColumns.size(); ++f) {
                    if (m_storedColumns[f].isEmpty()) continue;
                    columns << dialect.quoted(m_storedColumns[f]);
                    fields << f;
                }
                QVariantList keyParameters;
                const QString byKey = columnsCondition(keyColumns, key, keyParameters);
                PreparedStatement back(*m_connection,
                                       QStringLiteral("select %1 from %2%3")
                                           .arg(columns.join(QStringLiteral(", ")), table, byKey),
                                       keyParameters);
                if (back.next()) {
                    for (int c = 0; c < fields.size(); ++c)
                        converted[fields[c]] = readValue(back, c, m_fields[fields[c]].type);
                }
            } else if (!names.isEmpty()) {
                QStringList sets;
                for (const QString& n : std::as_const(names)) sets << n + QStringLiteral(" = ?");
                writeUnchangedRow(
                    row, QStringLiteral("update %1 set %2").arg(table, sets.join(QStringLiteral(", "))),
                    values);
            }
        }
        for (int i = 0; i < std::min(firstCalculated(), m_store->rows.columnCount()); ++i)
            m_store->rows.setValue(row, i, converted[i]);
        m_store->forget(row);
    } catch (const RowChangedError& e) {
        // Not a refusal of what the user typed, but it stays in the row all the same: it is to be redone on
        // what is stored now, never written over it.
        m_changedElsewhere = true;
        if (onPostError && onPostError(*this, e) == PostErrorAction::Abort) return false;
        throw;
    } catch (const DbError& e) {
        // A rule of the table is told as the field it refused; nothing of the row was written.
        std::optional<FieldRefusal> refusal;
        if (const auto* constraint = dynamic_cast<const ConstraintError*>(&e))
            refusal = refusalOf(*constraint);
        if (onPostError && onPostError(*this, refusal ? *refusal : e) == PostErrorAction::Abort) return false;
        if (refusal) throw *refusal;
        throw;
    }
    m_newRow = -1;
    m_buffer.clear();
    m_modified = false;
    m_changedElsewhere = false;
    setState(DataSetState::Browse);
    if (!m_controlsDisabled) emit rowChanged(m_current);
    if (afterPost) afterPost(*this);
    return true;
}

void DataSet::removeFromView(int position) {
    if (!m_controlsDisabled) emit rowAboutToBeRemoved(position);
    m_view.remove(position);
    if (!m_controlsDisabled) emit rowRemoved(position);
}

void DataSet::cancel() {
    emit discardOpenEditors();
    if (!isEditing()) return;
    const int position = m_current;
    if (m_state == DataSetState::Insert) {
        if (m_newRow >= 0) m_store->markDeleted(m_newRow);
        m_newRow = -1;
        m_buffer.clear();
        m_modified = false;
        setState(DataSetState::Browse);
        removeFromView(position);
        moveTo(std::min(position, int(m_view.size()) - 1));
        return;
    }
    m_buffer.clear();
    m_modified = false;
    setState(DataSetState::Browse);
    if (!m_controlsDisabled) emit rowChanged(position);
    if (std::exchange(m_changedElsewhere, false)) showStoredRow();
}

bool DataSet::checkBrowseMode() {
    emit commitOpenEditors();
    if (!isEditing()) return true;
    if (m_state == DataSetState::Insert && !m_modified) {
        cancel();
    } else if (m_modified) {
        post();
    } else {
        cancel();
    }
    return !isEditing();
}

QString DataSet::titleOf(int index) const {
    const Field& f = m_fields[index];
    return f.displayLabel.isEmpty() ? f.name : f.displayLabel;
}

FieldRefusal DataSet::refusalOf(const ConstraintError& error) const {
    using Reason = FieldRefusal::Reason;
    static const QRegularExpression columnsRule(
        QStringLiteral("^(UNIQUE|NOT NULL) constraint failed: (.+)$"));
    static const QRegularExpression checkRule(QStringLiteral("^CHECK constraint failed: (.+)$"),
                                              QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression identifier(QStringLiteral("[A-Za-z_][A-Za-z0-9_]*"));
    static const QRegularExpression length(QStringLiteral("length\\(\\[?\\w+\\]?\\)\\s*<=\\s*(\\d+)"));
    static const QRegularExpression between(
        QStringLiteral("(?|BETWEEN\\s+(-?\\d+)\\s+AND\\s+(-?\\d+)"
                       // as a server gives a range back: ((salaryday >= 1) AND (salaryday <= 31))
                       "|>=\\s+(-?\\d+)\\)\\s+AND\\s+\\(\\w+\\s+<=\\s+(-?\\d+))"),
        QRegularExpression::CaseInsensitiveOption);
    const auto typed = [this](int f) {
        const QVariant& v = m_buffer.value(f);
        if (v.isNull()) return QString();
        if (v.userType() == qMetaTypeId<Money>()) return v.value<Money>().toPlainString();
        if (v.typeId() == QMetaType::QDate) return v.toDate().toString(Qt::ISODate);
        return v.toString();
    };
    const QString& text = error.engineText();
    // "UNIQUE constraint failed: staff.StaffCode", "NOT NULL constraint failed: JobData.jobID": the
    // columns of the rule, each after its table.
    const auto columns = columnsRule.match(text);
    if (columns.hasMatch()) {
        QVector<int> named;
        for (const QString& part : columns.captured(2).split(QLatin1Char(','))) {
            const int f = fieldIndex(part.trimmed().section(QLatin1Char('.'), -1));
            if (f >= 0) named << f;
        }
        if (!named.isEmpty()) {
            const int f = named.first();
            if (columns.captured(1) == QLatin1String("NOT NULL"))
                return FieldRefusal(Reason::Required, f, titleOf(f), QString());
            if (named.size() == 1) return FieldRefusal(Reason::Repeated, f, titleOf(f), typed(f));
            // A record the same in every column of a key: the last of them is the one typed last.
            return FieldRefusal(Reason::RepeatedRow, named.last(), QString(), QString());
        }
    }
    // "CHECK constraint failed: salaryDay IS NULL OR (salaryDay BETWEEN 1 AND 31 ...)": the field is the
    // first of the row's fields the check names; what it checks says why.
    const auto check = checkRule.match(text);
    if (check.hasMatch()) {
        const QString rule = check.captured(1);
        int f = -1;
        for (auto it = identifier.globalMatch(rule); it.hasNext() && f < 0;) {
            const int candidate = fieldIndex(it.next().captured(0));
            if (candidate >= 0 && !m_fields[candidate].calculated) f = candidate;
        }
        // A length rule that names no column: the field whose value is longer than it allows.
        const auto limit = length.match(rule);
        for (int i = 0; f < 0 && limit.hasMatch() && i < m_fields.size(); ++i)
            if (!m_fields[i].calculated && typed(i).size() > limit.captured(1).toInt()) f = i;
        if (f >= 0) {
            const QString value = typed(f);
            const auto range = between.match(rule);
            if (value.isEmpty() && rule.contains(QLatin1String("<> ''")))
                return FieldRefusal(Reason::Required, f, titleOf(f), value);
            if (limit.hasMatch() && value.size() > limit.captured(1).toInt())
                return FieldRefusal(Reason::TooLong, f, titleOf(f), value, 0, limit.captured(1).toInt());
            if (range.hasMatch())
                return FieldRefusal(Reason::OutOfRange, f, titleOf(f), value, range.captured(1).toLongLong(),
                                    range.captured(2).toLongLong());
            if (rule.contains(QLatin1String("typeof(")))
                return FieldRefusal(
                    rule.contains(QLatin1String("'real'")) ? Reason::NotNumber : Reason::NotInteger, f,
                    titleOf(f), value);
            if (rule.contains(QLatin1String("GLOB")))
                return FieldRefusal(Reason::NotDate, f, titleOf(f), value);
            return FieldRefusal(Reason::Invalid, f, titleOf(f), value);
        }
    }
    // A trigger's own text, or a rule that names none of the row's fields.
    return FieldRefusal(-1, error.message());
}

void DataSet::remove() {
    requireOpen();
    emit discardOpenEditors();
    if (m_state == DataSetState::Insert) {
        cancel();
        return;
    }
    requireRows();
    if (m_state == DataSetState::Edit) {
        // A row that changed since it was read is not deleted: cancelling shows what is stored now.
        const bool changedElsewhere = m_changedElsewhere;
        cancel();
        if (changedElsewhere) throw RowChangedError(m_connection && m_connection->servesSeveralDesks());
    }
    if (beforeDelete) beforeDelete(*this);
    const int row = currentStoredRow();
    if (!m_inMemory) {
        if (m_keyIndexes.isEmpty() || !m_connection)
            throw DbError(QStringLiteral("该数据集是只读的，不能删除。"));
        try {
            writeUnchangedRow(
                row, QStringLiteral("delete from %1").arg(m_connection->dialect().quoted(m_updateTable)), {});
        } catch (const RowChangedError&) {
            showStoredRow();
            throw;
        }
    }
    m_store->markDeleted(row);
    const int position = m_current;
    removeFromView(position);
    m_bof = m_eof = false;
    moveTo(std::min(position, int(m_view.size()) - 1));
    if (afterDelete) afterDelete(*this);
}

void DataSet::setSort(const QString& sort) {
    requireOpen();
    const QString trimmed = sort.trimmed();
    int sortField = -1;
    if (!trimmed.isEmpty()) {
        const QString name = trimmed.section(QLatin1Char(' '), 0, 0);
        sortField = fieldIndex(name);
        if (sortField < 0 || m_fields[sortField].calculated)
            throw DbError(QStringLiteral("不能按“%1”排序：数据集中没有这个字段。").arg(name));
    }
    if (!checkBrowseMode()) return;
    const int current = m_current >= 0 ? currentStoredRow() : -1;
    beginReset();
    m_sort = trimmed;
    m_sortField = sortField;
    rebuildView();
    int position = -1;
    for (int i = 0; current >= 0 && i < m_view.size(); ++i)
        if (m_view[i] == current) position = i;
    m_current = position >= 0 ? position : (m_view.isEmpty() ? -1 : 0);
    endReset();
    emit currentChanged(m_current);
}

void DataSet::setFilter(const QString& filter) {
    const QString previous = m_filter;
    m_filter = filter;
    try {
        resolveFilter();
    } catch (...) {
        m_filter = previous;
        resolveFilter();
        throw;
    }
    if (m_filtered && isOpen()) setFiltered(true);
}

void DataSet::setFiltered(bool on) {
    if (isOpen() && !checkBrowseMode()) return;
    m_filtered = on;
    if (!isOpen()) return;
    beginReset();
    rebuildView();
    finishReset();
}

bool DataSet::locate(const QString& name, const QVariant& v, bool caseInsensitive) {
    requireOpen();
    const int f = fieldIndex(name);
    if (f < 0) throw DbError(QStringLiteral("Field '%1' not found").arg(name));
    const FieldType type = m_fields[f].type;
    for (int i = 0; i < m_view.size(); ++i) {
        const QVariant rv = (i == m_current && isEditing()) ? m_buffer[f] : storedValue(m_view[i], f);
        bool match;
        if (type == FieldType::Text || type == FieldType::Unknown) {
            const QString target = v.isNull() ? QString() : v.toString();
            const QString have = rv.isNull() ? QString() : rv.toString();
            match = (rv.isNull() && target.isEmpty()) ||
                    (!rv.isNull() &&
                     QString::compare(have, target,
                                      caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0);
        } else {
            const auto converted = convertToFieldType(v, type);
            match = converted && (converted->isNull() ? rv.isNull() : equalValues(rv, *converted, type));
        }
        if (match) {
            if (i == m_current) return true;
            setRecNo(i);
            return !isEditing();  // a refused row is not left
        }
    }
    return false;
}

void DataSet::disableControls() {
    if (m_controlsDisabled++ == 0) emit aboutToReset();
}

void DataSet::enableControls() {
    if (m_controlsDisabled > 0 && --m_controlsDisabled == 0) emit reset();
}

QString DataSet::columnsCondition(const QStringList& columns, const QVariantList& values,
                                  QVariantList& parameters) const {
    // "is null" for what is empty, "=" for the rest: a server uses no index for "is not distinct from",
    // and a key looked up without one reads the whole table.
    const Dialect& dialect = m_connection->dialect();
    QStringList conditions;
    for (int c = 0; c < columns.size(); ++c) {
        const QVariant& value = values.value(c);
        if (value.isNull()) {
            conditions << dialect.quoted(columns[c]) + QStringLiteral(" is null");
        } else {
            conditions << dialect.quoted(columns[c]) + QStringLiteral(" = ?");
            parameters << value;
        }
    }
    return QStringLiteral(" where ") + conditions.join(QStringLiteral(" and "));
}

QString DataSet::storedRowCondition(int row, QVariantList& parameters) const {
    QStringList columns;
    QVariantList values;
    for (int k : m_keyIndexes) {
        columns << m_storedColumns[k];
        values << storedValue(row, k);
    }
    for (const QString& name : m_rowIdentity) {
        const int f = fieldIndex(name);
        if (f < 0 || m_fields[f].calculated || m_storedColumns.value(f).isEmpty()) continue;
        columns << m_storedColumns[f];
        values << storedValue(row, f);
    }
    return columnsCondition(columns, values, parameters);
}

void DataSet::writeUnchangedRow(int row, const QString& statement, QVariantList values) {
    const QString where = storedRowCondition(row, values);
    const Dialect& dialect = m_connection->dialect();
    QStringList stored;
    QVector<int> fields;
    for (int f = 0; f < m_fields.size(); ++f) {
        if (m_fields[f].calculated || m_fields[f].readOnly || isKeyField(f) ||
            m_storedColumns.value(f).isEmpty())
            continue;
        stored << dialect.quoted(m_storedColumns[f]);
        fields << f;
    }
    // A row of only its key is still looked for: that it is there, and there once.
    if (stored.isEmpty()) stored << dialect.quoted(m_storedColumns[m_keyIndexes.first()]);
    // The check and the write in one transaction: no other connection writes in between.
    std::optional<Transaction> transaction;
    if (!m_connection->inTransaction()) transaction.emplace(*m_connection);
    QVariantList keyValues;
    // The row read is held until the write: on a server, another connection could otherwise replace it
    // in between, and the write would land on a row it never compared.
    PreparedStatement q(
        *m_connection,
        dialect.lockingRows(QStringLiteral("select %1 from %2%3")
                                .arg(stored.join(QStringLiteral(", ")), dialect.quoted(m_updateTable),
                                     storedRowCondition(row, keyValues))),
        keyValues);
    if (!q.next()) throw RowChangedError(m_connection && m_connection->servesSeveralDesks());
    // Compared as read, in the field's type: an amount the engine holds as 0.30000000000000004 reads
    // as 0.30 now as it did then.
    bool unchanged = true;
    for (int c = 0; c < fields.size() && unchanged; ++c) {
        const int f = fields[c];
        const QVariant now = readValue(q, c, m_fields[f].type);
        const QVariant then = storedValue(row, f);
        unchanged =
            now.isNull() == then.isNull() &&
            (now.isNull() || (compareValues(now, then, m_fields[f].type) == 0 &&
                              (m_fields[f].type != FieldType::Date || now.typeId() == then.typeId())));
    }
    if (q.next()) throw DbError(repeatedKeyMessage);
    q.reset();
    if (!unchanged) throw RowChangedError(m_connection && m_connection->servesSeveralDesks());
    const int changed = m_connection->exec(statement + where, values);
    // More than one row changed is rolled back with the transaction: never more than the row shown.
    if (changed > 1) throw DbError(repeatedKeyMessage);
    if (changed != 1) throw RowChangedError(m_connection && m_connection->servesSeveralDesks());
    if (transaction) transaction->commit();
}

}  // namespace hx
