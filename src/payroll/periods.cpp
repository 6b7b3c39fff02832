#include "payroll/periods.h"

#include <QComboBox>
#include <QPushButton>
#include <QSignalBlocker>

namespace hx {

YearMonth previousMonth(const QDate& today) {
    if (today.month() == 1) return {today.year() - 1, 12};
    return {today.year(), today.month() - 1};
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

void makeGreenButton(QPushButton* button) {
    button->setStyleSheet(
        QStringLiteral("QPushButton { background: #008000; color: white; border: 1px solid #005000; "
                       "border-radius: 2px; padding: 3px 8px; }"
                       "QPushButton:hover { background: #109810; }"
                       "QPushButton:pressed { background: #006000; }"
                       "QPushButton:focus { border: 1px dotted white; }"));
}

}  // namespace hx
