#pragma once

#include <QString>

#include "core/data/dataset.h"
#include "gui/widgets/workwindow.h"

class QAction;
class QMenu;
class QTabWidget;

namespace hx {

class TMyDBGrid;
struct Query;

// The staff register "员工编号": the workers with their class group, normal-capability wage and pay day on
// page "基本信息", and their amounts of the fixed items A02 to A08 on page "固定工资类项目", whose column
// titles are the items' names. Workers are dismissed and reinstated rather than deleted; the list shows
// either the current or the dismissed workers.
class TstaffFrm : public WorkWindow {
    Q_OBJECT
  public:
    explicit TstaffFrm(QWidget* parent = nullptr);
    ~TstaffFrm() override;

    // The question "删除" asks before deleting the worker of that name.
    static QString deleteQuestion(const QString& staffName);

    DataSet* dataSet() const { return tdMain; }
    // True while the list shows the current workers: the current row is not dismissed and the list has
    // a row. An empty list counts as the dismissed list.
    bool showsCurrentWorkers() const;

  public slots:
    void popDataPopup();
    void pFireClick();
    void pListFireClick();
    void pBCustomClick();
    void pBunCustomClick();
    void pSortClick();
    void pFilterClick();
    void pUnfilterClick();
    void pFindClick();
    void pAppendClick();
    void pDeleteClick();
    void pBsortClick();
    void pBfilterClick();
    void pBunfilterClick();
    void pBFindClick();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildWindow();
    void FormCreate();
    void loadFixedItemTitles();
    void openList(const Query& list);
    void requeryList();
    void applyFormats();
    // "导出到电子表格..." of either page: the rows of the list shown, with their state.
    void exportList(TMyDBGrid* grid);
    // The position of grdFix's selected column, counted from 0; -1 when none is selected.
    int fixSelectedColumn() const;

    DataSet* tdMain = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* tabMain = nullptr;
    QWidget* tabFix = nullptr;
    TMyDBGrid* grdMain = nullptr;
    TMyDBGrid* grdFix = nullptr;

    QMenu* popData = nullptr;
    QAction* pSort = nullptr;
    QAction* pFilter = nullptr;
    QAction* pUnfilter = nullptr;
    QAction* pFind = nullptr;
    QAction* pFire = nullptr;
    QAction* pListFire = nullptr;
    QAction* pAppend = nullptr;
    QAction* pDelete = nullptr;

    QMenu* popFix = nullptr;
    QAction* pBsort = nullptr;
    QAction* pBfilter = nullptr;
    QAction* pBunfilter = nullptr;
    QAction* pBFind = nullptr;
    QAction* pBCustom = nullptr;
    QAction* pBunCustom = nullptr;
};

}  // namespace hx
