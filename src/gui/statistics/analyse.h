#pragma once

#include <QString>
#include <memory>

#include "core/data/accountset.h"
#include "core/data/connection.h"
#include "core/statistics/groupedtotals.h"
#include "gui/statistics/statisticscharts.h"
#include "gui/widgets/workwindow.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QSplitter;
class QTabWidget;
class QThread;

namespace hx {

class DataSet;
class FreeQuery;
struct FreeQueryResult;
class TMyDBGrid;

// The statistics window "统计分析": on "员工产值检查" each worker's piece wages against the normal wage of
// the range, on "生产汇总统计" quantities and piece wages grouped by any of date, class group, worker,
// style, process and pay day, on "月度对比" each class group's pay and pieces against the month before,
// and on "SQL自由查询" a query typed by an advanced user, which only reads. The first three pages draw
// their result beside the table, from the rows the table shows. Every result sorts by a column from the
// grid's menu or its title and exports to a spreadsheet. Nothing here writes to the account set. The free
// query reads the account set given here, through a connection of its own.
class TAnalyseFrm : public WorkWindow {
    Q_OBJECT
  public:
    explicit TAnalyseFrm(AccountSet accountSet, QWidget* parent = nullptr);
    ~TAnalyseFrm() override;

    static QString helpTextOfWindow();

  public slots:
    void btnaaClick();
    void btnBBClick();
    void btnCCClick();
    void popSortClick();
    void btnExAClick();
    void btnExBClick();
    void btnExCClick();
    void btnDDClick();
    void btnExDClick();
    // "导出到电子表格..." of the grids' menu: the grid of the page shown.
    void popExportClick();
    // Stops the free query that is running; the page then shows no result.
    void btnCancelCClick();

  public:
    // True while a free query runs (its "正在查询… 取消" strip shows).
    bool freeQueryRunning() const { return m_freeThread != nullptr; }
    // Makes the worker's row of the output check current, as a click on the worker's bar does.
    void selectWorker(const QString& staffCode);
    // The work numbers of the output check's bars, in the order of the bar sets' indexes.
    const QStringList& chartWorkers() const { return m_chartWorkers; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildWindow();
    QWidget* buildOutputCheckPage();
    QWidget* buildGroupedTotalsPage();
    QWidget* buildFreeQueryPage();
    QWidget* buildMonthComparisonPage();
    // The table and the chart of a page side by side, the user moving the border between them.
    QSplitter* tableBesideChart(const char* name, TMyDBGrid* grid, ChartPanel* chart, int tableWidth,
                                QWidget* page);
    void drawOutputCheck();
    void drawGroupedTotals();
    void drawMonthComparison();
    void fillPayItems();
    void FormCreate();
    void showTotals();
    void fitColumns(TMyDBGrid* grid);
    void clearFreeResult();
    void freeQueryDone(FreeQueryResult& result);
    void stopFreeQuery();
    TMyDBGrid* activeGrid() const;

    QTabWidget* PageControl1 = nullptr;
    QWidget* tabJobQuery = nullptr;
    QWidget* TabJobGroup = nullptr;
    QWidget* tabFree = nullptr;
    QWidget* tabMonth = nullptr;

    QDateEdit* conaDateB = nullptr;
    QDateEdit* conaDateE = nullptr;
    QComboBox* conaGroup = nullptr;
    QPushButton* btnaa = nullptr;
    QPushButton* btnExA = nullptr;
    TMyDBGrid* grdMainA = nullptr;
    ChartPanel* chartA = nullptr;

    QDateEdit* conbDateB = nullptr;
    QDateEdit* conbDateE = nullptr;
    QCheckBox* conNotFired = nullptr;
    QCheckBox* conNotStopped = nullptr;
    QPushButton* btnBB = nullptr;
    QCheckBox* chkDate = nullptr;
    QCheckBox* chkGroup = nullptr;
    QCheckBox* chkStaff = nullptr;
    QCheckBox* chkStyle = nullptr;
    QCheckBox* chkJob = nullptr;
    QCheckBox* chkSalaryDay = nullptr;
    QPushButton* btnExB = nullptr;
    TMyDBGrid* grdMainB = nullptr;
    ChartPanel* chartB = nullptr;
    QLabel* dbSumQty = nullptr;
    QLabel* dbSumTmy = nullptr;

    QPlainTextEdit* mmSQL = nullptr;
    QPushButton* btnCC = nullptr;
    QPushButton* btnExC = nullptr;
    TMyDBGrid* grdMainC = nullptr;
    QWidget* pnlRunningC = nullptr;  // "正在查询…" with its cancel button, while a free query runs
    QLabel* lblRunningC = nullptr;
    QPushButton* btnCancelC = nullptr;

    QDateEdit* condMonth = nullptr;    // the month; its day is not used
    QSpinBox* condDay = nullptr;       // the pay day
    QComboBox* condItem = nullptr;     // the pay item summed, by code
    QComboBox* condMeasure = nullptr;  // what the chart compares: 工资 or 数量
    QPushButton* btnDD = nullptr;
    QPushButton* btnExD = nullptr;
    TMyDBGrid* grdMainD = nullptr;
    ChartPanel* chartD = nullptr;

    QMenu* PopupMenu1 = nullptr;
    QAction* popSort = nullptr;
    QAction* popExport = nullptr;

    DataSet* tdMainA = nullptr;         // the output check as the database gives it
    DataSet* cdsMainA = nullptr;        // ... and as shown, with shortfall and percentage
    DataSet* tdMainB = nullptr;         // the grouped quantities and amounts
    DataSet* tdSumB = nullptr;          // their grand totals, summed from the grouped rows
    DataSet* tdMainC = nullptr;         // the free query's result
    DataSet* tdMainD = nullptr;         // the class groups' month against the month before
    GroupedTotalsQuery m_groupedQuery;  // what the grouped rows shown answer
    QStringList m_chartWorkers;
    QString m_chosenPayItem;  // the pay item the user chose; empty: each month's total pay
    // The title and conditions of each page's result, as they were when it was run.
    ChartHeading m_headingA, m_headingB, m_headingD;
    // The free query runs on a thread of its own, on a connection of its own opened read-only on the
    // account set's file, so that the window stays responsive and the query can be cancelled.
    AccountSet m_accountSet;
    std::shared_ptr<FreeQuery> m_freeQuery;
    QThread* m_freeThread = nullptr;
};

}  // namespace hx
