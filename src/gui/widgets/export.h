#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "core/exchange/xlsxexport.h"

class QTableView;

namespace hx {

// Writes what a grid over a data set shows to a spreadsheet file (.xlsx) the user names: a title row of the
// shown columns, packed without gaps and in the order the user sees them, then one row per visible row
// of the data set. Numbers and money go in as number cells, texts as text cells (a work number "0012"
// stays "0012"), yes/no as logical cells and dates as date cells shown yyyy-mm-dd; an empty value leaves
// its cell empty. A grid whose data set is closed has nothing to export and says so; a cancelled save
// dialog writes nothing; a file that cannot be written is reported and no part of it is left behind.
// A column without a title is titled by its field's name.
//
// Fields of the data set the grid does not show may be added: `leading` in front of the grid's columns
// (the conditions of an entry page, which every row shares), `trailing` after them (a row's state), so
// that the file can be imported again.
struct ExtraColumn {
    QString title;
    QString field;
    QStringList words = {};  // a yes/no field written as words, as ExportColumn says
};
void ExportGridToExcel(QTableView* grid, const QVector<ExtraColumn>& leading = {},
                       const QVector<ExtraColumn>& trailing = {});

// The writing half of the export, without dialogs: the grid's columns and rows to `path`, which is
// replaced only once the new file is complete. Raises FileError when the file cannot be written.
void writeGridToXlsx(QTableView* grid, const QString& path, const QVector<ExtraColumn>& leading = {},
                     const QVector<ExtraColumn>& trailing = {});

QString exportCommandText();

}  // namespace hx
