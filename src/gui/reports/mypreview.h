#pragma once

#include <QDialog>
#include <functional>

#include "gui/reports/rvrender.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenuBar;
class QScrollArea;
class QStatusBar;
class QToolBar;

namespace hx {

// "禾岫ERP报表预览": a generated report on screen, a page at a time, to page through, zoom, print, save
// and open again.
class TmyPreviewFrm : public QDialog {
    Q_OBJECT
  public:
    explicit TmyPreviewFrm(QWidget* parent = nullptr);

    TRvSystem* ReportSystem = nullptr;
    QString ReportFileName;
    const Snapshot* InputStream = nullptr;
    std::function<void(TRvRenderPrinter&)> AfterPreviewPrintEvent;
    bool FormClosed = false;

    QScrollArea* ScrollBox1;
    TRvRenderPreview* RvRenderPreview;
    TRvRenderPrinter RvRenderPrinter;
    QLineEdit* PageEdit;
    QLabel* PageLabel;
    QLineEdit* ZoomEdit;
    QStatusBar* sbarMain;
    QMenuBar* menuMain;
    QToolBar* toolBar;
    QAction *actnFile_Open, *actnFile_Save, *actnFile_Print, *actnFile_Exit;
    QAction *actnPage_First, *actnPage_Previous, *actnPage_Next, *actnPage_Last, *actnPage_Goto;
    QAction *actnZoom_In, *actnZoom_Out, *actnZoom_PageWidth, *actnZoom_Page;

    // Shows the first page of the report file, or of the input stream.
    void InitFromRPSystem();

    void actnFile_OpenExecute();
    void actnFile_SaveExecute();
    void actnFile_PrintExecute();
    void actnPage_GotoExecute();
    void UpdateActions();
    void PageChangeEvent();
    void ZoomChangeEvent();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    bool FormKeyPress(QKeyEvent* e);
    bool FormKeyDown(QKeyEvent* e);
    void ZoomEditExit();
    void PageEditExit();
    QAction* command(const QString& text, const QString& hint, QKeySequence shortcut,
                     std::function<void()> run);
    bool m_opened = false;  // shown at page width once
};

}  // namespace hx
