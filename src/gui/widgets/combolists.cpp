#include "gui/widgets/combolists.h"

#include <QComboBox>
#include <QSignalBlocker>

#include "core/data/myfuns.h"
#include "core/data/myfuns_lists.h"
#include "core/payroll/periods.h"

namespace hx {

void FillCombo(const Query& query, QComboBox* combo) {
    const QStringList items = firstColumnTexts(query);
    const QSignalBlocker quiet(combo);
    combo->clear();
    combo->clearEditText();
    combo->addItems(items);
    combo->setCurrentIndex(-1);
    combo->clearEditText();
}

void ListFiles(const QString& mask, QComboBox* combo) {
    combo->clear();
    combo->setCurrentText(QString());
    if (combo->isEditable()) combo->clearEditText();
    combo->addItems(matchingFiles(mask));
}

void fillNumberList(QComboBox* combo, int first, int last) {
    const QSignalBlocker blocker(combo);
    combo->clear();
    for (int n = first; n <= last; ++n) combo->addItem(QString::number(n));
}

void fillYearList(QComboBox* combo, const QDate& today) {
    fillNumberList(combo, firstListYear, today.year() + 1);
}

bool selectListText(QComboBox* combo, const QString& text) {
    const int index = combo->findText(text);
    if (index < 0) return false;
    const QSignalBlocker blocker(combo);
    combo->setCurrentIndex(index);
    return true;
}

int listNumber(const QComboBox* combo) {
    return combo->currentIndex() < 0 ? 0 : combo->currentText().toInt();
}

}  // namespace hx
