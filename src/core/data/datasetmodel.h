#pragma once

#include <QAbstractTableModel>
#include <QPointer>

#include "core/data/dataset.h"

namespace hx {

// One column of a grid over a data set.
struct GridColumn {
    GridColumn() = default;
    GridColumn(const QString& fieldName, const QString& columnTitle = QString(), int columnWidth = -1)
        : field(fieldName), title(columnTitle), width(columnWidth) {}
    QString field;
    QString title;   // the field's display label (or name) when empty
    int width = -1;  // pixels; -1 for the default
    bool readOnly = false;
    bool visible = true;
    QStringList pickList;    // a drop-down of fixed choices, for example the pay days "1" to "31"
    bool hasButton = false;  // a cell button that opens a picker
    Qt::Alignment titleAlignment = Qt::AlignCenter;
    // Horizontal alignment of the cells; numbers to the right and the rest to the left when none is set.
    Qt::Alignment alignment = {};
};

// Shows a data set in a view: one row per visible row of the data set, one column per grid column (all
// fields when none are set). Display texts are formatted; Qt::UserRole gives the typed value, which sorts.
// Edits go to the data set's current row, which follows the edited row.
class DataSetModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit DataSetModel(DataSet* dataSet, QObject* parent = nullptr);

    DataSet* dataSet() const { return m_dataSet; }
    void setColumns(const QVector<GridColumn>& columns);
    const QVector<GridColumn>& columns() const { return m_columns; }
    const GridColumn& column(int index) const { return m_shown[index]; }
    void setColumnTitle(int index, const QString& title);
    // The data set's field index of a model column; -1 when the data set has no such field.
    int fieldIndexOf(int column) const;
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool isReadOnly() const { return m_readOnly; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  signals:
    // An edit the data set refused; the view shows it.
    void editFailed(const QString& message);

  private:
    void syncColumns();
    QVector<GridColumn> effectiveColumns() const;

    QPointer<DataSet> m_dataSet;
    QVector<GridColumn> m_columns;  // as set by the window
    QVector<GridColumn> m_shown;    // the columns in use: m_columns, or every field when none are set
    QVector<int> m_fieldIndex;      // data-set field index of each shown column
    bool m_readOnly = false;
    int m_rowCount = 0;
};

}  // namespace hx
