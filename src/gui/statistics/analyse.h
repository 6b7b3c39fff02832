#pragma once

#include <QString>
#include <memory>

#include "core/data/accountset.h"
#include "core/data/connection.h"
#include "gui/widgets/workwindow.h"

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QThread;

namespace hx {

class DataSet;
class FreeQuery;
struct FreeQueryResult;
class TMyDBGrid;

// The statistics window "统计分析": on "员工产值检查" each worker's piece wages against the normal wage of
// the range, on "生产汇总统计" quantities and piece wages grouped by any of date, class group, worker,
// style, process and pay day, and on "SQL自由查询" a query typed by an advanced user, which only reads.
// Every result sorts by a column from the grid's menu and exports to a spreadsheet. Nothing here writes
// to the account set. The free query reads the account set given here, through a connection of its own.
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
    // Stops the free query that is running; the page then shows no result.
    void btnCancelCClick();

  public:
    // True while a free query runs (its "正在查询… 取消" strip shows).
    bool freeQueryRunning() const { return m_freeThread != nullptr; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildWindow();
    QWidget* buildOutputCheckPage();
    QWidget* buildGroupedTotalsPage();
    QWidget* buildFreeQueryPage();
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

    QDateEdit* conaDateB = nullptr;
    QDateEdit* conaDateE = nullptr;
    QComboBox* conaGroup = nullptr;
    QPushButton* btnaa = nullptr;
    QPushButton* btnExA = nullptr;
    TMyDBGrid* grdMainA = nullptr;

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
    QLabel* dbSumQty = nullptr;
    QLabel* dbSumTmy = nullptr;

    QPlainTextEdit* mmSQL = nullptr;
    QPushButton* btnCC = nullptr;
    QPushButton* btnExC = nullptr;
    TMyDBGrid* grdMainC = nullptr;
    QWidget* pnlRunningC = nullptr;  // "正在查询…" with its cancel button, while a free query runs
    QLabel* lblRunningC = nullptr;
    QPushButton* btnCancelC = nullptr;

    QMenu* PopupMenu1 = nullptr;
    QAction* popSort = nullptr;

    DataSet* tdMainA = nullptr;   // the output check as the database gives it
    DataSet* cdsMainA = nullptr;  // ... and as shown, with shortfall and percentage
    DataSet* tdMainB = nullptr;   // the grouped quantities and amounts
    DataSet* tdSumB = nullptr;    // their grand totals, summed from the grouped rows
    DataSet* tdMainC = nullptr;   // the free query's result
    // The free query runs on a thread of its own, on a connection of its own opened read-only on the
    // account set's file, so that the window stays responsive and the query can be cancelled.
    AccountSet m_accountSet;
    std::shared_ptr<FreeQuery> m_freeQuery;
    QThread* m_freeThread = nullptr;
};

}  // namespace hx
