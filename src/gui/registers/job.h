#pragma once

#include <QString>

#include "core/data/dataset.h"
#include "gui/widgets/workwindow.h"

class QAction;
class QFrame;
class QMenu;

namespace hx {

class TMyDBGrid;
struct Query;

// The process register "工序编号": process number, description, style and piece rate of every process for
// which piece work is paid. Processes are finished and restarted rather than deleted; the list shows
// either the processes in production or the finished ones.
class TjobFrm : public WorkWindow {
    Q_OBJECT
  public:
    explicit TjobFrm(QWidget* parent = nullptr);
    ~TjobFrm() override;

    // The question "删除" asks before deleting the process of that number.
    static QString deleteQuestion(const QString& jobCode);

    DataSet* dataSet() const { return tdMain; }
    // True while the list shows the processes in production: the current row is not finished and the
    // list has a row. An empty list counts as the finished list.
    bool showsProcessesInProduction() const;

  public slots:
    void DataPopup();
    void pStopClick();
    void pListStopClick();
    void pSortClick();
    void pFilterClick();
    void pUnfilterClick();
    void pFindClick();
    void pAppendClick();
    void pDeleteClick();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildWindow();
    void FormCreate();
    void openList(const Query& list);
    void requeryList();
    void applyFormats();

    DataSet* tdMain = nullptr;
    QFrame* Panel1 = nullptr;
    TMyDBGrid* grdMain = nullptr;
    QMenu* popData = nullptr;
    QAction* pSort = nullptr;
    QAction* pFilter = nullptr;
    QAction* pUnfilter = nullptr;
    QAction* pFind = nullptr;
    QAction* pStop = nullptr;
    QAction* pListStop = nullptr;
    QAction* pAppend = nullptr;
    QAction* pDelete = nullptr;
};

}  // namespace hx
