#pragma once

#include <QString>
#include <QVector>

#include "core/reports/rvproject.h"

namespace hx {

class DataSet;

// One salary item of a month as the slip uses it.
struct SlipItem {
    QString code;  // A01 ... T05
    QString name;
    int printWidth = 0;  // millimetres; 0 or less: not on the slip
};

// What the slip is laid out from: the code and name widths and the month's items in code order.
struct SlipLayoutData {
    int wCode = 0, wName = 0;  // millimetres
    QVector<SlipItem> items;
};

// Reads the widths and the month's items through the scratch query (closed again before returning).
SlipLayoutData readSlipLayoutData(DataSet& scratch, int year, int month);

// Sets headings, left positions, widths and visibility of the 37 heading/value pairs on "report1.page1":
// pair 1 the worker code, pair 2 the name, pair k+2 the k-th item of the catalogue. Lengths in millimetres
// become inches (÷ 25.4); a hidden item takes no room. A pair the month has no item for is hidden.
// Raises ReportError naming a missing page or component.
void layoutPaySlip(TRaveProjectManager& project, const SlipLayoutData& data);

// Named parameters of the slip's texts: {Year}, {Month}, {Day}.
QHash<QString, QString> paySlipParameters(int year, int month, int day);

}  // namespace hx
