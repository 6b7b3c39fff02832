#include "gui/reports/reportwindows.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QWidget>

#include "gui/reports/mypreview.h"
#include "gui/reports/myrpsetup.h"
#include "gui/reports/myrpstatus.h"
#include "gui/reports/rvrender.h"

namespace hx {

void useProgramReportWindows(TRvSystem& system, QWidget* owner) {
    system.OverrideSetup = [owner](TRvSystem& s, TOverrideMode m, QObject*& f) {
        reportSetupWindow(owner, s, m, f);
    };
    system.OverrideStatus = [owner](TRvSystem& s, TOverrideMode m, QObject*& f) {
        reportStatusWindow(owner, s, m, f);
    };
    system.OverridePreview = [owner](TRvSystem& s, TOverrideMode m, QObject*& f) {
        reportPreviewWindow(owner, s, m, f);
    };
    system.PrintHandler = printWithSystemPrinter;
}

void reportSetupWindow(QWidget* owner, TRvSystem& system, TOverrideMode mode, QObject*& form) {
    switch (mode) {
        case omCreate: {
            auto* dialog = new TmyRpSetupFrm(owner);
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

void reportStatusWindow(QWidget* owner, TRvSystem& system, TOverrideMode mode, QObject*& form) {
    if (!(system.SystemOptions & soShowStatus)) return;
    switch (mode) {
        case omCreate: {
            auto* window = new TmyRpStatusFrm(owner);
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

void reportPreviewWindow(QWidget* owner, TRvSystem& system, TOverrideMode mode, QObject*& form) {
    switch (mode) {
        case omCreate: {
            auto* window = new TmyPreviewFrm(owner);
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
