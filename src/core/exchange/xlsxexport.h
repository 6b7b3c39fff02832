#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "core/data/connection.h"

namespace hx {

class DataSet;

// One column of a spreadsheet: its title and the data set's field it shows (-1: a column without a
// field, which stays empty). A yes/no field may be written as words instead: the first for no, the
// second for yes ("在职", "辞退").
struct ExportColumn {
    ExportColumn(const QString& columnTitle = QString(), int fieldIndex = -1,
                 const QStringList& twoWords = {})
        : title(columnTitle), field(fieldIndex), words(twoWords) {}
    QString title;
    int field = -1;
    QStringList words;
};

// Writes the columns of every visible row of an open data set to a spreadsheet file (.xlsx): a title row,
// then one row per row. Numbers and money go in as number cells with their exact value, shown in the
// spreadsheet as the field's display format shows them (excelNumberFormat), texts as text cells (a work
// number "0012" stays "0012"), yes/no as logical cells and dates as date cells shown yyyy-mm-dd; an empty
// value leaves its cell empty. `path` is replaced only once the new file is complete. Raises FileError when
// the file cannot be written, its message naming the file and the file system's reason ("不能写入文件
// D:\工资.xlsx：没有写入权限（Permission denied）"); Error when the data set is closed.
void writeXlsx(DataSet& data, const QVector<ExportColumn>& columns, const QString& path);

// The spreadsheet's number format that shows a number of the type as the grids show it in the display
// format: "0.00" stays "0.00", the currency format gives "¥1,234.50" and "¥-12.00", "##0.0 %" shows 85.3
// as "85.3 %"; money without a format has two decimals. Empty for the general format (other types, and
// numbers without a format, which the grids show in their shortest text).
QString excelNumberFormat(const QString& displayFormat, FieldType type);

// The file filter of the save dialog, the message of a failed export (followed by the cause where it is
// shown) and of one with nothing to export.
QString exportFileFilter();
QString exportFailedMessage();
QString exportNoDataMessage();

}  // namespace hx
