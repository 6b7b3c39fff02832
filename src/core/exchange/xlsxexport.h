#pragma once

#include <QString>
#include <QVector>

namespace hx {

class DataSet;

// One column of a spreadsheet: its title and the data set's field it shows (-1: a column without a
// field, which stays empty).
struct ExportColumn {
    QString title;
    int field = -1;
};

// Writes the columns of every visible row of an open data set to a spreadsheet file (.xlsx): a title row,
// then one row per row. Numbers and money go in as number cells, texts as text cells (a work number
// "0012" stays "0012"), yes/no as logical cells and dates as date cells shown yyyy-mm-dd; an empty value
// leaves its cell empty. `path` is replaced only once the new file is complete. Raises FileError when the
// file cannot be written, its message naming the file and the file system's reason ("不能写入文件
// D:\工资.xlsx：没有写入权限（Permission denied）"); Error when the data set is closed.
void writeXlsx(DataSet& data, const QVector<ExportColumn>& columns, const QString& path);

// The file filter of the save dialog, the message of a failed export (followed by the cause where it is
// shown) and of one with nothing to export.
QString exportFileFilter();
QString exportFailedMessage();
QString exportNoDataMessage();

}  // namespace hx
