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
        columns.append({model->headerData(logical, Qt::Horizontal, Qt::DisplayRole).toString(),
                        model->fieldIndexOf(logical)});
    }
    return columns;
}

}  // namespace

void writeGridToXlsx(QTableView* grid, const QString& path) {
    DataSet* ds = dataSetOf(grid);
    if (!ds || !ds->isOpen()) throw Error(exportNoDataMessage());
    writeXlsx(*ds, shownColumns(grid), path);
}

void ExportGridToExcel(QTableView* grid) {
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
        writeGridToXlsx(grid, path);
    } catch (const FileError& failure) {
        Dialogs::get().information(exportFailedMessage() + QStringLiteral("\n\n") + failure.message());
    }
}

}  // namespace hx
