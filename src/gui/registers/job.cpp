#include "gui/registers/job.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QHeaderView>
#include <QMenu>
#include <QVBoxLayout>

#include "core/data/datamodule.h"
#include "core/data/queries.h"
#include "gui/exchange/importdialog.h"
#include "gui/widgets/dialogs.h"
#include "gui/widgets/export.h"
#include "gui/widgets/listops.h"
#include "gui/widgets/mydbgrid.h"

namespace hx {

namespace {

const QString helpTextOfWindow = QString::fromUtf8(R"help([快捷菜单]
有完工(开工)、显示完工(在线)工序、增加、删除等多种功能。

[直接录入]
表格式录入方法，在尾行按"↓"箭头会产生新行；

[工序号]
严格按款式分，还是相同工序合并划分，由用户自己决定。工
序号可以用字母、数字，也可以用汉字，或者两者结合。

[对应款式]
非必填项。用于相关统计分析。


*录入或修改时注意：工序号必须填写，且不可重复，否则操作会被取消。)help");

const QStringList currencyFields = {QStringLiteral("UnitPrice")};

}  // namespace

QString TjobFrm::deleteQuestion(const QString& jobCode) {
    return QStringLiteral(
               "如果该工序已有计件数据，请使用 ”完工“ 功能，\r\n"
               "直接删除会导致数据不完整。确定要删除  “") +
           jobCode + QStringLiteral("“ 工序吗？");
}

TjobFrm::TjobFrm(QWidget* parent) : WorkWindow(parent) {
    buildWindow();
    FormCreate();
}

TjobFrm::~TjobFrm() = default;

void TjobFrm::buildWindow() {
    frameWindow(QStringLiteral("jobFrm"), QStringLiteral("工序编号"), QSize(620, 457));
    setHelpText(helpTextOfWindow);

    tdMain = new DataSet(&dataFrm()->cnMain, this);
    tdMain->setObjectName(QStringLiteral("tdMain"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    layout->addWidget(Panel1);
    grdMain = new TMyDBGrid(Panel1);
    grdMain->setObjectName(QStringLiteral("grdMain"));
    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(grdMain);

    grdMain->setDataSet(tdMain);
    grdMain->setColumns({{QStringLiteral("JobCode"), QStringLiteral("工序号"), 137},
                         {QStringLiteral("Description"), QStringLiteral("工艺描述"), 253},
                         {QStringLiteral("StyleGroup"), QStringLiteral("对应款式"), 95},
                         {QStringLiteral("UnitPrice"), QStringLiteral("工价"), 74}});
    grdMain->setAlwaysShowEditor(true);
    grdMain->setFocus();

    popData = new QMenu(this);
    popData->setObjectName(QStringLiteral("popData"));
    auto item = [this](QAction*& action, const char* name, const QString& caption,
                       void (TjobFrm::*handler)()) {
        action = popData->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, handler);
    };
    item(pSort, "pSort", QStringLiteral("排序"), &TjobFrm::pSortClick);
    item(pFilter, "pFilter", QStringLiteral("筛选"), &TjobFrm::pFilterClick);
    item(pUnfilter, "pUnfilter", QStringLiteral("取消筛选"), &TjobFrm::pUnfilterClick);
    item(pFind, "pFind", QStringLiteral("查找"), &TjobFrm::pFindClick);
    popData->addSeparator();
    item(pStop, "pStop", QStringLiteral("完工"), &TjobFrm::pStopClick);
    item(pListStop, "pListStop", QStringLiteral("显示完工工序"), &TjobFrm::pListStopClick);
    popData->addSeparator();
    item(pAppend, "pAppend", QStringLiteral("新增"), &TjobFrm::pAppendClick);
    item(pDelete, "pDelete", QStringLiteral("删除"), &TjobFrm::pDeleteClick);
    popData->addSeparator();
    popData
        ->addAction(exportCommandText(), this,
                    [this] {
                        guarded([this] {
                            commitGridEditor(grdMain);
                            // A finished process comes back finished.
                            ExportGridToExcel(grdMain, {},
                                              {{QStringLiteral("状态"), QStringLiteral("stopp"),
                                                stateWords(ImportTarget::Job)}});
                        });
                    })
        ->setObjectName(QStringLiteral("pExport"));
    popData
        ->addAction(importCommandText(), this,
                    [this] {
                        importFromSpreadsheet(
                            this, ImportTarget::Job,
                            [this] {
                                commitGridEditor(grdMain);
                                return tdMain->checkBrowseMode();
                            },
                            [this] { requeryList(); });
                    })
        ->setObjectName(QStringLiteral("pImport"));
    connect(popData, &QMenu::aboutToShow, this, &TjobFrm::DataPopup);
    setGridMenu(grdMain, popData);
    sortOnTitleClick(grdMain, pSort);

    tdMain->afterInsert = [](DataSet& ds) { ds.setValue(QStringLiteral("stopp"), false); };
    // A row the database refuses stays in the grid, as typed, with the reason told.
    keepRefusedRows(tdMain, {grdMain});
}

void TjobFrm::FormCreate() {
    grdMain->horizontalHeader()->setSectionsMovable(false);
    openList(processList(false));
}

void TjobFrm::applyFormats() {
    if (!tdMain->isOpen()) return;
    tdMain->field(QStringLiteral("UnitPrice")).displayFormat = QStringLiteral("0.0000");
}

void TjobFrm::openList(const Query& list) {
    tdMain->close();
    setQuery(*tdMain, list);
    tdMain->open();
    applyFormats();
}

void TjobFrm::requeryList() {
    tdMain->requery();
    applyFormats();
}

bool TjobFrm::showsProcessesInProduction() const {
    return tdMain->recordCount() > 0 && !tdMain->asBool(QStringLiteral("stopp"));
}

void TjobFrm::DataPopup() {
    if (showsProcessesInProduction()) {
        pStop->setText(QStringLiteral("完工"));
        pListStop->setText(QStringLiteral("显示完工工序"));
    } else {
        pStop->setText(QStringLiteral("开工"));
        pListStop->setText(QStringLiteral("显示开工工序"));
    }
}

void TjobFrm::pStopClick() {
    guarded([this] {
        // A refused row stays in edit; the list stays as it is.
        if (toggleCurrentFlag(grdMain, QStringLiteral("stopp"))) requeryList();
    });
}

void TjobFrm::pListStopClick() {
    guarded([this] {
        commitGridEditor(grdMain);
        const Query next = processList(showsProcessesInProduction());
        // Typed changes are stored rather than lost with the list; a refused row keeps the list.
        if (!tdMain->checkBrowseMode()) return;
        openList(next);
    });
}

void TjobFrm::pSortClick() {
    guarded([this] { sortBySelectedColumn(grdMain); });
}

void TjobFrm::pFilterClick() {
    guarded([this] { filterOnSelectedCell(grdMain, currencyFields); });
}

void TjobFrm::pUnfilterClick() {
    guarded([this] { removeFilter(grdMain); });
}

void TjobFrm::pFindClick() {
    guarded([this] { findInSelectedColumn(grdMain); });
}

void TjobFrm::pAppendClick() {
    guarded([this] { appendRow(grdMain); });
}

void TjobFrm::pDeleteClick() {
    guarded([this] {
        deleteCurrentRow(grdMain, [](const DataSet& ds) {
            return deleteQuestion(ds.asString(QStringLiteral("JobCode")));
        });
    });
}

void TjobFrm::closeEvent(QCloseEvent* event) {
    // What was typed into the row being edited is stored. A row refused keeps the window open, with
    // the row to correct or to drop with Esc: closing never throws typed work away.
    bool stored = true;
    guarded([&] {
        commitGridEditor(grdMain);
        stored = tdMain->checkBrowseMode();
    });
    if (!stored) {
        event->ignore();
        return;
    }
    WorkWindow::closeEvent(event);
}

}  // namespace hx
