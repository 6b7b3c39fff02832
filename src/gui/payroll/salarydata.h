#pragma once

#include <QString>

#include "core/data/dataset.h"
#include "core/payroll/generation.h"
#include "gui/widgets/workwindow.h"

class QAction;
class QComboBox;
class QMenu;
class QPushButton;

namespace hx {

class TMyDBGrid;
class TPaySlipReport;

// "工资表": one pay day's salary sheet of a month, one row per worker and one column per item in use,
// with the totals row below. A saved row has its computed items recalculated in the database, and that
// row and the totals are shown as stored at once; "更新计算" (F5) rereads the whole sheet.
class TsalaryDataFrm : public WorkWindow {
    Q_OBJECT
  public:
    // Opens on the month before today's, pay day 1.
    explicit TsalaryDataFrm(QWidget* parent = nullptr);
    // Opens on the given sheet (after a generation).
    explicit TsalaryDataFrm(const SheetBatch& batch, QWidget* parent = nullptr);
    ~TsalaryDataFrm() override;

    static QString helpTextOfWindow();

    // Chooses the sheet and loads it. Years, months or days the lists do not hold leave them as they are.
    void showBatch(const SheetBatch& batch);
    // The sheet the grid shows (the lists' choice when it was loaded).
    SheetBatch loadedBatch() const { return m_batch; }
    // The width the item columns get when the sheet is loaded.
    int itemColumnWidth() const;
    void fitColumnsToTotals();

    QComboBox* cbbYear;
    QComboBox* cbbMonth;
    QComboBox* cbbDay;
    QPushButton* btnPrintBar;
    QPushButton* btnExcel;
    TMyDBGrid* grdMain;
    TMyDBGrid* grdSum;
    DataSet* tdMain;
    DataSet* tdSum;
    // The rows the pay slips print, read from the database for each run.
    DataSet* tdSlips;
    QMenu* PopupMenu1;
    QAction* pRefresh;
    QAction* pSort;

    void LoadSheet();
    void cbbYearChange();
    void cbbMonthChange();
    void cbbDayChange();
    void pRefreshClick();
    void pSortClick();
    void grdMainColWidthChanged();
    void btnExcelClick();
    // "打印工资条": the pay slips of the sheet shown, through setup, status and preview.
    void btnPrintBarClick();
    TPaySlipReport* RvSlips;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildWindow();
    void FormCreate(const SheetBatch& batch);
    void tdMainAfterPost(DataSet& ds);
    void setDisplayFormats(DataSet& ds);
    // Reads the totals again and keeps them whole and under their columns.
    void reloadTotals();

    SheetBatch m_batch;
};

}  // namespace hx
