#include "gui/registers/staff.h"

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QMenu>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/data/datamodule.h"
#include "core/data/queries.h"
#include "core/data/values.h"
#include "core/payroll/fixeditems.h"
#include "gui/exchange/importdialog.h"
#include "gui/widgets/dialogs.h"
#include "gui/widgets/export.h"
#include "gui/widgets/listops.h"
#include "gui/widgets/mydbgrid.h"

namespace hx {

namespace {

const QString helpTextOfWindow = QString::fromUtf8(R"help(《基本信息》页：

[快捷菜单]
有辞退(复职)、显示辞退(在职)员工、增加、删除等多种功能，请熟练使用。

[直接录入]
表格式录入方法，在尾行按"↓"箭头会产生新行；

[班组]
非必填项。用于相关统计分析。

[能力工资]
正常能力发挥下可以完成的估计计件工资，单位是元，仅用于分析发现员工产值的不正常变化。

[发薪日]
该软件允许一个月内有多次分批发工资，每个员工按此发薪日分批计算工资。


《固定工资类项目》页：

[快捷菜单]
有"自定义项目名(取消项目名)"功能，此处自定义的项目，将出现在每月工资设置的固定项目类中；固定工资、津贴等各类固定项，均在本页设置。


*录入或修改时注意：工号、姓名必须填写，且工号不可重复，否则操作会被取消。)help");

const QString notACustomColumn = QStringLiteral("前两列是员工号姓名列，不用于自定义！");
const QStringList currencyFields = {QStringLiteral("LevelSalary")};
// Grid positions of grdFix from which the columns are the fixed items A02 to A08.
constexpr int firstItemColumn = 2;
constexpr int itemColumnCount = 7;

}  // namespace

QString TstaffFrm::deleteQuestion(const QString& staffName) {
    return QStringLiteral(
               "如果该员工已有计件数或工资数据，请使用 ”辞退“ 功能，\r\n"
               "直接删除会导致数据不完整。确定要删除  “") +
           staffName + QStringLiteral("“ 的编号吗？");
}

TstaffFrm::TstaffFrm(QWidget* parent) : WorkWindow(parent) {
    buildWindow();
    FormCreate();
}

TstaffFrm::~TstaffFrm() = default;

void TstaffFrm::buildWindow() {
    frameWindow(QStringLiteral("staffFrm"), QStringLiteral("员工编号"), QSize(603, 445));
    setHelpText(helpTextOfWindow);

    tdMain = new DataSet(&dataFrm()->cnMain, this);
    tdMain->setObjectName(QStringLiteral("tdMain"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    layout->addWidget(PageControl1);

    tabMain = new QWidget;
    tabMain->setObjectName(QStringLiteral("tabMain"));
    grdMain = new TMyDBGrid(tabMain);
    grdMain->setObjectName(QStringLiteral("grdMain"));
    auto* mainLayout = new QVBoxLayout(tabMain);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->addWidget(grdMain);
    PageControl1->addTab(tabMain, QStringLiteral("基本信息"));

    tabFix = new QWidget;
    tabFix->setObjectName(QStringLiteral("tabFix"));
    grdFix = new TMyDBGrid(tabFix);
    grdFix->setObjectName(QStringLiteral("grdFix"));
    auto* fixLayout = new QVBoxLayout(tabFix);
    fixLayout->setContentsMargins(0, 0, 0, 0);
    fixLayout->addWidget(grdFix);
    PageControl1->addTab(tabFix, QStringLiteral("固定工资类项目"));
    PageControl1->setCurrentWidget(tabMain);
    // The grid of the page shown takes the keys, so its cell editor is open.
    connect(PageControl1, &QTabWidget::currentChanged, this,
            [this](int page) { (page == PageControl1->indexOf(tabFix) ? grdFix : grdMain)->setFocus(); });

    // Both grids show the one data set: a row edited on one page is the same row on the other.
    grdMain->setDataSet(tdMain);
    grdFix->setDataSet(tdMain);
    GridColumn salaryDay(QStringLiteral("salaryDay"), QStringLiteral("发薪日"));
    for (int day = 1; day <= 31; ++day) salaryDay.pickList << QString::number(day);
    grdMain->setColumns({{QStringLiteral("StaffCode"), QStringLiteral("工号"), 142},
                         {QStringLiteral("StaffName"), QStringLiteral("姓名"), 83},
                         {QStringLiteral("ClassGroup"), QStringLiteral("班组"), 148},
                         {QStringLiteral("LevelSalary"), QStringLiteral("能力工资"), 104},
                         salaryDay});
    QVector<GridColumn> fixColumns = {{QStringLiteral("StaffCode"), QStringLiteral("工号"), 80},
                                      {QStringLiteral("StaffName"), QStringLiteral("姓名"), 57}};
    for (int i = 0; i < itemColumnCount; ++i)
        fixColumns.append({QStringLiteral("A0%1").arg(i + 2), QLatin1String(""), 50});
    grdFix->setColumns(fixColumns);
    grdMain->setAlwaysShowEditor(true);
    grdFix->setAlwaysShowEditor(true);
    grdMain->setFocus();

    popData = new QMenu(this);
    popData->setObjectName(QStringLiteral("popData"));
    auto item = [this](QMenu* menu, QAction*& action, const char* name, const QString& caption,
                       void (TstaffFrm::*handler)()) {
        action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, handler);
    };
    item(popData, pSort, "pSort", QStringLiteral("排序"), &TstaffFrm::pSortClick);
    item(popData, pFilter, "pFilter", QStringLiteral("筛选"), &TstaffFrm::pFilterClick);
    item(popData, pUnfilter, "pUnfilter", QStringLiteral("取消筛选"), &TstaffFrm::pUnfilterClick);
    item(popData, pFind, "pFind", QStringLiteral("查找"), &TstaffFrm::pFindClick);
    popData->addSeparator();
    item(popData, pFire, "pFire", QStringLiteral("辞退"), &TstaffFrm::pFireClick);
    item(popData, pListFire, "pListFire", QStringLiteral("显示辞退员工"), &TstaffFrm::pListFireClick);
    popData->addSeparator();
    item(popData, pAppend, "pAppend", QStringLiteral("新增"), &TstaffFrm::pAppendClick);
    item(popData, pDelete, "pDelete", QStringLiteral("删除"), &TstaffFrm::pDeleteClick);
    popData->addSeparator();
    popData->addAction(exportCommandText(), this, [this] { exportList(grdMain); })
        ->setObjectName(QStringLiteral("pExport"));
    popData
        ->addAction(importCommandText(), this,
                    [this] {
                        importFromSpreadsheet(
                            this, ImportTarget::Staff,
                            [this] {
                                commitGridEditor(grdMain);
                                return tdMain->checkBrowseMode();
                            },
                            [this] { requeryList(); });
                    })
        ->setObjectName(QStringLiteral("pImport"));
    connect(popData, &QMenu::aboutToShow, this, &TstaffFrm::popDataPopup);
    setGridMenu(grdMain, popData);
    sortOnTitleClick(grdMain, pSort);

    popFix = new QMenu(this);
    popFix->setObjectName(QStringLiteral("popFix"));
    item(popFix, pBsort, "pBsort", QStringLiteral("排序"), &TstaffFrm::pBsortClick);
    item(popFix, pBfilter, "pBfilter", QStringLiteral("筛选"), &TstaffFrm::pBfilterClick);
    item(popFix, pBunfilter, "pBunfilter", QStringLiteral("取消筛选"), &TstaffFrm::pBunfilterClick);
    item(popFix, pBFind, "pBFind", QStringLiteral("查找"), &TstaffFrm::pBFindClick);
    popFix->addSeparator();
    item(popFix, pBCustom, "pBCustom", QStringLiteral("定义项目名"), &TstaffFrm::pBCustomClick);
    item(popFix, pBunCustom, "pBunCustom", QStringLiteral("取消项目名"), &TstaffFrm::pBunCustomClick);
    popFix->addSeparator();
    popFix->addAction(exportCommandText(), this, [this] { exportList(grdFix); })
        ->setObjectName(QStringLiteral("pBExport"));
    setGridMenu(grdFix, popFix);
    sortOnTitleClick(grdFix, pBsort);

    tdMain->afterInsert = [](DataSet& ds) { ds.setValue(QStringLiteral("Firedd"), false); };
    // A row the database refuses stays in the grid, as typed, with the reason told.
    keepRefusedRows(tdMain, {grdMain, grdFix});
}

void TstaffFrm::FormCreate() {
    // The fixed-item commands take a column's meaning from its position.
    grdMain->horizontalHeader()->setSectionsMovable(false);
    grdFix->horizontalHeader()->setSectionsMovable(false);
    loadFixedItemTitles();
    openList(staffList(false));
}

void TstaffFrm::loadFixedItemTitles() {
    const QStringList titles = fixedItemTitles(dataFrm()->cnMain);
    for (int i = 0; i < itemColumnCount; ++i)
        grdFix->setColumnTitle(firstItemColumn + i, titles.value(i, QString(QLatin1String(""))));
}

void TstaffFrm::applyFormats() {
    if (!tdMain->isOpen()) return;
    tdMain->field(QStringLiteral("LevelSalary")).displayFormat = currencyFormat();
}

void TstaffFrm::openList(const Query& list) {
    tdMain->close();
    setQuery(*tdMain, list);
    tdMain->open();
    applyFormats();
}

void TstaffFrm::requeryList() {
    tdMain->requery();
    applyFormats();
}

bool TstaffFrm::showsCurrentWorkers() const {
    return tdMain->recordCount() > 0 && !tdMain->asBool(QStringLiteral("Firedd"));
}

int TstaffFrm::fixSelectedColumn() const {
    const QString field = grdFix->selectedField();
    const auto& columns = grdFix->dataModel()->columns();
    for (int i = 0; i < columns.size(); ++i)
        if (!field.isEmpty() && columns[i].field == field) return i;
    return -1;
}

void TstaffFrm::popDataPopup() {
    if (showsCurrentWorkers()) {
        pFire->setText(QStringLiteral("辞退"));
        pListFire->setText(QStringLiteral("显示辞退员工"));
    } else {
        pFire->setText(QStringLiteral("复职"));
        pListFire->setText(QStringLiteral("显示在职员工"));
    }
}

void TstaffFrm::pFireClick() {
    guarded([this] {
        // A refused row stays in edit; the list stays as it is.
        if (toggleCurrentFlag(grdMain, QStringLiteral("Firedd"))) requeryList();
    });
}

void TstaffFrm::pListFireClick() {
    guarded([this] {
        commitGridEditor(grdMain);
        const Query next = staffList(showsCurrentWorkers());
        // Typed changes are stored rather than lost with the list; a refused row keeps the list.
        if (!tdMain->checkBrowseMode()) return;
        openList(next);
    });
}

void TstaffFrm::pBCustomClick() {
    guarded([this] {
        const int column = fixSelectedColumn();
        if (column < firstItemColumn) {
            Dialogs::get().warning(notACustomColumn);
            return;
        }
        const auto name =
            Dialogs::get().input(QStringLiteral("自定义固定工资项"), QStringLiteral("项目名："), QString());
        if (!name) return;
        grdFix->setColumnTitle(column, *name);
        nameFixedItem(dataFrm()->cnMain, grdFix->dataModel()->column(column).field, *name);
    });
}

void TstaffFrm::pBunCustomClick() {
    guarded([this] {
        const int column = fixSelectedColumn();
        if (column < firstItemColumn) {
            Dialogs::get().warning(notACustomColumn);
            return;
        }
        // A typed amount of the item is stored first, so that it cannot come back after the clearing.
        commitGridEditor(grdFix);
        if (!tdMain->checkBrowseMode()) return;
        grdFix->setColumnTitle(column, QString(QLatin1String("")));
        clearFixedItem(dataFrm()->cnMain, grdFix->dataModel()->column(column).field);
        requeryList();
    });
}

void TstaffFrm::exportList(TMyDBGrid* grid) {
    guarded([this, grid] {
        commitGridEditor(grid);
        // The list the rows come from goes with them, so that a dismissed worker comes back dismissed.
        ExportGridToExcel(
            grid, {}, {{QStringLiteral("状态"), QStringLiteral("Firedd"), stateWords(ImportTarget::Staff)}});
    });
}

void TstaffFrm::pSortClick() {
    guarded([this] { sortBySelectedColumn(grdMain); });
}

void TstaffFrm::pFilterClick() {
    guarded([this] { filterOnSelectedCell(grdMain, currencyFields); });
}

void TstaffFrm::pUnfilterClick() {
    guarded([this] { removeFilter(grdMain); });
}

void TstaffFrm::pFindClick() {
    guarded([this] { findInSelectedColumn(grdMain); });
}

void TstaffFrm::pAppendClick() {
    guarded([this] { appendRow(grdMain); });
}

void TstaffFrm::pDeleteClick() {
    guarded([this] {
        deleteCurrentRow(grdMain, [](const DataSet& ds) {
            return deleteQuestion(ds.asString(QStringLiteral("StaffName")));
        });
    });
}

void TstaffFrm::pBsortClick() {
    guarded([this] { sortBySelectedColumn(grdFix); });
}

void TstaffFrm::pBfilterClick() {
    guarded([this] { filterOnSelectedCell(grdFix, currencyFields); });
}

void TstaffFrm::pBunfilterClick() {
    guarded([this] { removeFilter(grdFix); });
}

void TstaffFrm::pBFindClick() {
    guarded([this] { findInSelectedColumn(grdFix); });
}

void TstaffFrm::closeEvent(QCloseEvent* event) {
    // What was typed into the row being edited is stored. A row refused keeps the window open, with
    // the row to correct or to drop with Esc: closing never throws typed work away.
    bool stored = true;
    guarded([&] {
        commitGridEditor(grdMain);
        commitGridEditor(grdFix);
        stored = tdMain->checkBrowseMode();
    });
    if (!stored) {
        event->ignore();
        return;
    }
    WorkWindow::closeEvent(event);
}

}  // namespace hx
