#include "gui/reports/payslipreport.h"

#include <QWidget>

#include "core/data/datamodule.h"
#include "core/data/programdir.h"
#include "core/reports/payslip.h"
#include "gui/reports/reportwindows.h"
#include "gui/reports/rvrender.h"
#include "gui/widgets/dialogs.h"

namespace hx {

TPaySlipReport::TPaySlipReport(QWidget* owner, DataSet* sheet)
    : QObject(owner), RvSystem1(new TRvSystem(this)), m_owner(owner) {
    RvProject1.ProjectFile = ProgramDir() + QStringLiteral("rptBar.rav");
    RvProject1.Engine = RvSystem1;
    RvDsc.dataSet = sheet;
    TRvSystem& s = *RvSystem1;
    s.DataConnection = &RvDsc;
    s.OverrideSetup = [this](TRvSystem& sys, TOverrideMode m, QObject*& f) {
        RvSystem1OverrideSetup(sys, m, f);
    };
    s.OverrideStatus = [this](TRvSystem& sys, TOverrideMode m, QObject*& f) {
        RvSystem1OverrideStatus(sys, m, f);
    };
    s.OverridePreview = [this](TRvSystem& sys, TOverrideMode m, QObject*& f) {
        RvSystem1OverridePreview(sys, m, f);
    };
    s.PrintHandler = printWithSystemPrinter;
}

void TPaySlipReport::btnPrintBarClick(int year, int month, int day) {
    // A batch without workers would come out as a blank page.
    if (RvDsc.rowCount() == 0) {
        Dialogs::get().information(QStringLiteral("没有可打印的工资条"));
        return;
    }
    guarded([&] {
        // The project is opened afresh for every run: the positions set here never reach the file.
        struct Closer {
            TRvProject& project;
            ~Closer() { project.close(); }
        } closer{RvProject1};
        const SlipLayoutData data = readSlipLayoutData(dataFrm()->tdTempFill, year, month);
        RvProject1.open();
        layoutPaySlip(*RvProject1.ProjMan(), data);
        RvSystem1->Parameters = paySlipParameters(year, month, day);
        RvProject1.ExecuteReport(QStringLiteral("report1"));
    });
}

void TPaySlipReport::RvSystem1OverrideSetup(TRvSystem& system, TOverrideMode mode, QObject*& form) {
    reportSetupWindow(m_owner, system, mode, form);
}

void TPaySlipReport::RvSystem1OverrideStatus(TRvSystem& system, TOverrideMode mode, QObject*& form) {
    reportStatusWindow(m_owner, system, mode, form);
}

void TPaySlipReport::RvSystem1OverridePreview(TRvSystem& system, TOverrideMode mode, QObject*& form) {
    reportPreviewWindow(m_owner, system, mode, form);
}

}  // namespace hx
