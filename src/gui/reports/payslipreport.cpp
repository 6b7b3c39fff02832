#include "gui/reports/payslipreport.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QWidget>

#include "core/data/datamodule.h"
#include "core/data/programdir.h"
#include "core/reports/payslip.h"
#include "gui/reports/mypreview.h"
#include "gui/reports/myrpsetup.h"
#include "gui/reports/myrpstatus.h"
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
    switch (mode) {
        case omCreate: {
            auto* dialog = new TmyRpSetupFrm(m_owner);
            dialog->setWindowTitle(system.TitleSetup);
            dialog->ReportSystem = &system;
            form = dialog;
            break;
        }
        case omShow: {
            auto* dialog = static_cast<TmyRpSetupFrm*>(form);
            dialog->PreviewSetup = false;
            system.setAborted(dialog->exec() != QDialog::Accepted);
            break;
        }
        case omWait:
            break;
        case omFree:
            delete form;
            form = nullptr;
            break;
    }
}

void TPaySlipReport::RvSystem1OverrideStatus(TRvSystem& system, TOverrideMode mode, QObject*& form) {
    if (!(system.SystemOptions & soShowStatus)) return;
    switch (mode) {
        case omCreate: {
            auto* window = new TmyRpStatusFrm(m_owner);
            window->setWindowTitle(system.TitleStatus);
            window->ReportSystem = &system;
            form = window;
            break;
        }
        case omShow: {
            auto* window = static_cast<TmyRpStatusFrm*>(form);
            QLabel* label = window->StatusLabel;
            system.StatusLabel = [label](const QString& text) { label->setText(text); };
            window->CancelButton->setText(QStringLiteral("Cancel"));
            window->CancelResult = QDialog::Rejected;
            window->show();
            QApplication::processEvents();
            break;
        }
        case omWait: {
            if (!(system.SystemOptions & soWaitForOK)) break;
            auto* window = static_cast<TmyRpStatusFrm*>(form);
            window->CancelButton->setText(QStringLiteral("Ok"));
            window->CancelResult = QDialog::Accepted;
            window->FormDone = false;
            while (!window->FormDone) {
                QApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
            break;
        }
        case omFree:
            delete form;
            form = nullptr;
            break;
    }
}

void TPaySlipReport::RvSystem1OverridePreview(TRvSystem& system, TOverrideMode mode, QObject*& form) {
    switch (mode) {
        case omCreate: {
            auto* window = new TmyPreviewFrm(m_owner);
            window->setWindowTitle(system.TitlePreview);
            window->resize(system.SystemPreview.FormWidth, system.SystemPreview.FormHeight);
            window->ReportSystem = &system;
            form = window;
            break;
        }
        case omShow: {
            auto* window = static_cast<TmyPreviewFrm*>(form);
            TRvRenderPreview& screen = *window->RvRenderPreview;
            const TSystemPreview& p = system.SystemPreview;
            screen.GridHoriz = screen.GridVert = p.GridLines;
            screen.MarginPercent = p.MarginPercent;
            screen.ShadowDepth = p.ShadowDepth;
            screen.Monochrome = p.Monochrome;
            screen.PagesInc = p.PagesInc;
            screen.Ruler = p.Ruler;
            screen.setZoomFactor(p.ZoomFactor);
            screen.ZoomInc = p.ZoomInc;
            window->ReportFileName = system.SystemFiler.FileName;
            window->InputStream = system.SystemFiler.Stream ? &*system.SystemFiler.Stream : nullptr;
            window->InitFromRPSystem();
            if (system.SystemOptions & soPreviewModal)
                window->exec();
            else
                window->show();
            break;
        }
        case omWait: {
            if (system.SystemOptions & soPreviewModal) break;
            auto* window = static_cast<TmyPreviewFrm*>(form);
            while (window->isVisible()) {
                QApplication::processEvents(QEventLoop::AllEvents, 250);
                QThread::msleep(10);
            }
            break;
        }
        case omFree:
            delete form;
            form = nullptr;
            break;
    }
}

}  // namespace hx
