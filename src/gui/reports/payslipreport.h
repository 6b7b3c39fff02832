#pragma once

#include <QObject>

#include "core/reports/rvproject.h"
#include "core/reports/rvsystem.h"

class QWidget;

namespace hx {

class DataSet;

// The pay slips of a salary sheet window: the report project, its data connection and the report system with
// the program's own setup, status and preview windows, all owned by that window.
class TPaySlipReport : public QObject {
    Q_OBJECT
  public:
    // owner: the window the report's windows belong to; sheet: the sheet it shows (one slip per row).
    TPaySlipReport(QWidget* owner, DataSet* sheet);

    TRvProject RvProject1;
    TRvDataSetConnection RvDsc;
    TRvSystem* RvSystem1;

    // Lays the slip out from the month's items and runs the report: setup, generation, output. Returns when
    // the last window of the run is closed. Errors go to the application's error box; a sheet without rows
    // prints nothing and says so.
    void btnPrintBarClick(int year, int month, int day);

    void RvSystem1OverrideSetup(TRvSystem& system, TOverrideMode mode, QObject*& form);
    void RvSystem1OverrideStatus(TRvSystem& system, TOverrideMode mode, QObject*& form);
    void RvSystem1OverridePreview(TRvSystem& system, TOverrideMode mode, QObject*& form);

  private:
    QWidget* m_owner;
};

}  // namespace hx
