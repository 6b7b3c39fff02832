#pragma once

#include <QDate>
#include <QString>
#include <QVariantList>

#include "core/data/queries.h"

class QComboBox;

namespace hx {

// Replaces the items of a combo box with the first column of every row of a query, in the query's order,
// read through the data module's scratch query. The box ends with no item chosen and an empty text; it
// raises no change signals while it is filled, so a window's change handler does not run for items
// that merely arrived.
void FillCombo(const Query& query, QComboBox* combo);

// Clears the combo box (items and text) and adds the name of every file that matches the mask (a path
// whose last part holds wildcards, e.g. "/opt/pay/*.mdb"), in the order the file system returns them.
void ListFiles(const QString& mask, QComboBox* combo);

// Fills a drop-down list with the whole numbers first..last as texts.
void fillNumberList(QComboBox* combo, int first, int last);
// The years firstListYear..year of `today` + 1.
void fillYearList(QComboBox* combo, const QDate& today);
// Chooses the entry with this text, without raising change signals; false when there is none.
bool selectListText(QComboBox* combo, const QString& text);
inline bool selectListNumber(QComboBox* combo, int number) {
    return selectListText(combo, QString::number(number));
}
// The chosen entry as a number; 0 when nothing is chosen.
int listNumber(const QComboBox* combo);

}  // namespace hx
