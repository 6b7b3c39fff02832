#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

class QAction;
class QMenu;

namespace hx {

class DataSet;
class TMyDBGrid;

// The list commands of the grids' context menus: sort, filter, remove filter, find, append and delete.
// Each list window calls them from its menu handlers with its grid; what differs between windows (the
// fields shown as money, the delete question) is passed in. They work on the rows already loaded; only a
// delete and the rows' own edits reach the database. Errors of the data layer are raised to the caller.

// The filter condition for a value of a field: field = value. A money field gets the value as a plain
// decimal number (at most four decimals, no trailing zeros, no grouping); any other field gets the
// value's text in single quotes, each single quote inside doubled. A Null money value counts as 0 and any
// other Null as the empty text.
QString filterCondition(const QString& field, const QVariant& value, bool currency);
// The condition for the current row's value of the field.
QString filterCondition(const DataSet& dataSet, const QString& field, bool currency);

// Hands what the grid's open cell editor holds to the current row, so that a command sees the typed value.
void commitGridEditor(TMyDBGrid* grid);

// "排序": orders the rows ascending by the field of the selected column; the current row stays current.
void sortBySelectedColumn(TMyDBGrid* grid);
// "筛选": shows only the rows whose field of the selected column equals the current row's value. Replaces
// any earlier condition. currencyFields are the fields of the list shown as money.
void filterOnSelectedCell(TMyDBGrid* grid, const QStringList& currencyFields);
// "取消筛选": shows all loaded rows again.
void removeFilter(TMyDBGrid* grid);
// "查找": asks for a value and makes the first row whose field of the selected column equals it current
// (whole value, letter case ignored). When no row holds it, says so ("没有找到“…”") and the current row
// stays. Returns whether a row was found; false also on Cancel.
bool findInSelectedColumn(TMyDBGrid* grid);
// "新增": appends an empty row and makes it current; the data set's after-insert handler fills it.
void appendRow(TMyDBGrid* grid);
// Turns the current row's yes/no field over and stores the row (dismiss/reinstate, finish/restart).
// False when there is no row, or the row was refused (then kept in edit, as typed).
bool toggleCurrentFlag(TMyDBGrid* grid, const QString& field);
// "删除": asks the question made from the current row (its typed values included) and deletes the current row
// on Yes. A box closed without an answer counts as No. A row being inserted is discarded instead. Returns
// whether the row went.
bool deleteCurrentRow(TMyDBGrid* grid, const std::function<QString(const DataSet&)>& question);

// Opens menu on a right click anywhere in the grid, also over the open cell editor (which otherwise
// would show the text editor's own menu). A click on a column title selects that column, also in an empty
// list, so that the commands acting on the selected column can be given there.
void setGridMenu(TMyDBGrid* grid, QMenu* menu);

// A click on a column title sorts the list as the window's "排序" does: the text in the open cell editor
// goes to its row, the column becomes the selected one and `sort` (the window's "排序" command) is
// triggered, with whatever that command does to the edited row and whatever it reports. The sort is
// always ascending, so a second click on the same title sorts again the same way. A closed list (no view
// loaded yet) ignores the click instead of reporting the closed data set.
void sortOnTitleClick(TMyDBGrid* grid, QAction* sort);

}  // namespace hx
