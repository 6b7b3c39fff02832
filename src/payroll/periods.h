#pragma once

#include <QDate>
#include <QString>

class QComboBox;
class QPushButton;

namespace hx {

// The first year of the year lists of the payroll windows; the last is next year, so that the current
// year, and a December sheet made in January, can always be chosen.
constexpr int firstListYear = 2001;

// The month before the one of `today`: in January, December of the year before. The payroll windows
// open on it, as the month whose pay is made now.
struct YearMonth {
    int year;
    int month;
};
YearMonth previousMonth(const QDate& today);

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

// The green command buttons of the payroll windows.
void makeGreenButton(QPushButton* button);

}  // namespace hx
