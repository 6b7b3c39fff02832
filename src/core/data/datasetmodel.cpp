#include "core/data/datasetmodel.h"

#include <QLocale>

namespace hx {

namespace {
bool isNumeric(FieldType type) {
    return type == FieldType::Integer || type == FieldType::Money || type == FieldType::Double;
}

QString editText(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return QString();
    if (v.userType() == qMetaTypeId<Money>()) return v.value<Money>().toPlainString();
    if (v.typeId() == QMetaType::Double)
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    if (v.typeId() == QMetaType::QDate) return v.toDate().toString(Qt::ISODate);
    return v.toString();
}
}  // namespace

DataSetModel::DataSetModel(DataSet* dataSet, QObject* parent)
    : QAbstractTableModel(parent), m_dataSet(dataSet) {
    connect(dataSet, &DataSet::aboutToReset, this, [this] { beginResetModel(); });
    connect(dataSet, &DataSet::reset, this, [this] {
        syncColumns();
        m_rowCount = m_dataSet ? m_dataSet->recordCount() : 0;
        endResetModel();
    });
    connect(dataSet, &DataSet::rowAboutToBeInserted, this,
            [this](int row) { beginInsertRows(QModelIndex(), row, row); });
    connect(dataSet, &DataSet::rowInserted, this, [this](int) {
        ++m_rowCount;
        endInsertRows();
    });
    connect(dataSet, &DataSet::rowAboutToBeRemoved, this,
            [this](int row) { beginRemoveRows(QModelIndex(), row, row); });
    connect(dataSet, &DataSet::rowRemoved, this, [this](int) {
        --m_rowCount;
        endRemoveRows();
    });
    connect(dataSet, &DataSet::rowChanged, this, [this](int row) {
        if (row >= 0 && row < m_rowCount && !m_shown.isEmpty())
            emit dataChanged(index(row, 0), index(row, int(m_shown.size()) - 1));
    });
    syncColumns();
    m_rowCount = dataSet->recordCount();
}

void DataSetModel::setColumns(const QVector<GridColumn>& columns) {
    beginResetModel();
    m_columns = columns;
    syncColumns();
    endResetModel();
}

void DataSetModel::setColumnTitle(int index, const QString& title) {
    if (index < 0 || index >= m_columns.size()) return;
    m_columns[index].title = title;
    m_shown[index].title = title;
    emit headerDataChanged(Qt::Horizontal, index, index);
}

QVector<GridColumn> DataSetModel::effectiveColumns() const {
    if (!m_columns.isEmpty() || !m_dataSet) return m_columns;
    QVector<GridColumn> all;
    for (const Field& f : m_dataSet->fields()) {
        GridColumn c;
        c.field = f.name;
        all.append(c);
    }
    return all;
}

void DataSetModel::syncColumns() {
    m_shown = effectiveColumns();
    m_fieldIndex.clear();
    for (const GridColumn& c : m_shown) m_fieldIndex.append(m_dataSet ? m_dataSet->fieldIndex(c.field) : -1);
}

int DataSetModel::fieldIndexOf(int column) const {
    return column >= 0 && column < m_fieldIndex.size() ? m_fieldIndex[column] : -1;
}

int DataSetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rowCount;
}

int DataSetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_shown.size());
}

QVariant DataSetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !m_dataSet || index.row() >= m_rowCount) return QVariant();
    const int f = fieldIndexOf(index.column());
    if (f < 0 || !m_dataSet->isOpen() || f >= m_dataSet->fieldCount()) return QVariant();
    switch (role) {
        case Qt::DisplayRole:
            return m_dataSet->textAt(index.row(), f);
        case Qt::EditRole:
            return editText(m_dataSet->valueAt(index.row(), f));
        case Qt::UserRole:
            return m_dataSet->valueAt(index.row(), f);
        case Qt::TextAlignmentRole: {
            Qt::Alignment horizontal = m_shown[index.column()].alignment & Qt::AlignHorizontal_Mask;
            if (!horizontal)
                horizontal = isNumeric(m_dataSet->field(f).type) ? Qt::AlignRight : Qt::AlignLeft;
            return QVariant::fromValue(horizontal | Qt::AlignVCenter);
        }
        default:
            return QVariant();
    }
}

bool DataSetModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !m_dataSet || !(flags(index) & Qt::ItemIsEditable))
        return false;
    const int f = fieldIndexOf(index.column());
    if (f < 0) return false;
    try {
        m_dataSet->setRecNo(index.row());
        if (m_dataSet->recNo() != index.row()) return false;  // the row the edit was for is gone
        // An editor that closes without a change leaves the row as it was.
        if (value.toString() == editText(m_dataSet->value(f)) &&
            value.toString().isEmpty() == m_dataSet->value(f).isNull())
            return false;
        m_dataSet->setValue(f, value);
        return true;
    } catch (const DbError& e) {
        emit editFailed(e.message());
        return false;
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    // The rows' header is the grid's narrow indicator column: row numbers would not fit in it.
    if (orientation == Qt::Vertical && role == Qt::DisplayRole) return QVariant();
    if (orientation != Qt::Horizontal || section < 0 || section >= m_shown.size()) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const GridColumn& c = m_shown[section];
    if (role == Qt::DisplayRole) {
        if (!c.title.isNull() || !m_columns.isEmpty()) return c.title;
        const int f = fieldIndexOf(section);
        if (f >= 0 && m_dataSet && !m_dataSet->field(f).displayLabel.isEmpty())
            return m_dataSet->field(f).displayLabel;
        return c.field;
    }
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(c.titleAlignment);
    return QVariant();
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    const int f = fieldIndexOf(index.column());
    if (m_readOnly || f < 0 || !m_dataSet || f >= m_dataSet->fieldCount() || m_shown[index.column()].readOnly)
        return flags;
    const Field& field = m_dataSet->field(f);
    if (!field.readOnly && !field.calculated) flags |= Qt::ItemIsEditable;
    return flags;
}

}  // namespace hx
