#include "gui/widgets/export.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QTableView>

#include "core/data/datasetmodel.h"
#include "core/data/errors.h"
#include "core/exchange/xlsxexport.h"
#include "gui/widgets/dialogs.h"

namespace hx {

namespace {

DataSet* dataSetOf(QTableView* grid) {
    auto* model = grid ? qobject_cast<DataSetModel*>(grid->model()) : nullptr;
    return model ? model->dataSet() : nullptr;
}

// The shown columns in the order the user sees them: a column hidden in the view or marked hidden in the
// grid's column list leaves no gap.
QVector<ExportColumn> shownColumns(QTableView* grid) {
    auto* model = qobject_cast<DataSetModel*>(grid->model());
    QVector<ExportColumn> columns;
    if (!model) return columns;
    const QHeaderView* header = grid->horizontalHeader();
    const int count = model->columnCount();
    for (int visual = 0; visual < count; ++visual) {
        const int logical = header ? header->logicalIndex(visual) : visual;
        if (logical < 0 || grid->isColumnHidden(logical)) continue;
        if (logical < model->columns().size() && !model->columns()[logical].visible) continue;
        const int field = model->fieldIndexOf(logical);
        QString title = model->headerData(logical, Qt::Horizontal, Qt::DisplayRole).toString();
        // An untitled column by its field as the window names it ("A04"), not as the engine gives the
        // column's name back (a server in lower case).
        if (title.trimmed().isEmpty() && field >= 0) {
            title = model->column(logical).field;
            if (title.isEmpty()) title = model->dataSet()->field(field).name;
        }
        columns.append({title, field});
    }
    return columns;
}

QVector<ExportColumn> extraColumns(const DataSet& ds, const QVector<ExtraColumn>& extra) {
    QVector<ExportColumn> columns;
    for (const ExtraColumn& c : extra) columns.append({c.title, ds.fieldIndex(c.field), c.words});
    return columns;
}

}  // namespace

QString exportCommandText() {
    return QStringLiteral("导出到电子表格...");
}

void writeGridToXlsx(QTableView* grid, const QString& path, const QVector<ExtraColumn>& leading,
                     const QVector<ExtraColumn>& trailing) {
    DataSet* ds = dataSetOf(grid);
    if (!ds || !ds->isOpen()) throw Error(exportNoDataMessage());
    writeXlsx(*ds, extraColumns(*ds, leading) + shownColumns(grid) + extraColumns(*ds, trailing), path);
}

void ExportGridToExcel(QTableView* grid, const QVector<ExtraColumn>& leading,
                       const QVector<ExtraColumn>& trailing) {
    DataSet* ds = dataSetOf(grid);
    if (!ds || !ds->isOpen()) {
        Dialogs::get().warning(exportNoDataMessage());
        return;
    }
    const auto chosen = Dialogs::get().saveFile(exportFileFilter());
    if (!chosen || chosen->isEmpty()) return;
    QString path = *chosen;
    // The dialog does not always add the type's extension; a name without one gets it.
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".xlsx");
    try {
        writeGridToXlsx(grid, path, leading, trailing);
    } catch (const FileError& failure) {
        Dialogs::get().information(exportFailedMessage() + QStringLiteral("\n\n") + failure.message());
    }
}

}  // namespace hx
