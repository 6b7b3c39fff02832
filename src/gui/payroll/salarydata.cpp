#include "gui/payroll/salarydata.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "core/data/clock.h"
#include "core/data/datamodule.h"
#include "core/payroll/periods.h"
#include "core/payroll/salarysheet.h"
#include "gui/payroll/greenbutton.h"
#include "gui/reports/payslipreport.h"
#include "gui/widgets/combolists.h"
#include "gui/widgets/dialogs.h"
#include "gui/widgets/export.h"
#include "gui/widgets/listops.h"
#include "gui/widgets/mydbgrid.h"

namespace hx {

namespace {

constexpr int codeWidth = 55;
constexpr int nameWidth = 45;

bool isFamily(const QString& code, char family) {
    return code.startsWith(QLatin1Char(family));
}

}  // namespace

QString TsalaryDataFrm::helpTextOfWindow() {
    return QStringLiteral(
        "表格的快捷菜单中有\"更新计算(F5键)"
        "\"功能，只有\"更新计算\"后才能看到计算结果。比如录入出勤天数，你可以逐"
        "行将所有员工的出勤天数录入完，然后一次成批执行\"更新计算\"；但是注意：如果你录入或修改了一行的数据，"
        "没经"
        "过\"更新计算\"操作，回过头再次修改时，系统会提示\"无法为更新定位行\"的错误讯息。\n"
        "\n"
        "生成工资表以后，如果计件数据有改动，通过\"更新计算\"快捷菜单无法完成正确的计算结果，必须直接在工资表"
        "中改"
        "为\"计件工资\"项正确数据，然后\"更新计算\"；当然，改动很多嫌麻烦的话，也可以在《工资设置》中重新生成"
        "工资"
        "表，这样有些已经录入的杂项数据必须重新录入。\n"
        "\n"
        "[打印工资条]\n"
        "按所选月份的《工资设置》中设置进行工资条打印；\n"
        "\n"
        "[EXCEL]\n"
        "将工资表格导出到EXCEL表格中保存。");
}

TsalaryDataFrm::TsalaryDataFrm(QWidget* parent) : WorkWindow(parent) {
    buildWindow();
    const YearMonth shown = previousMonth(hx::today());
    FormCreate({shown.year, shown.month, 1});
}

TsalaryDataFrm::TsalaryDataFrm(const SheetBatch& batch, QWidget* parent) : WorkWindow(parent) {
    buildWindow();
    FormCreate(batch);
}

TsalaryDataFrm::~TsalaryDataFrm() = default;

void TsalaryDataFrm::buildWindow() {
    frameWindow(QStringLiteral("salaryDataFrm"), QStringLiteral("工资表"), QSize(835, 546));
    setHelpText(helpTextOfWindow());

    Connection* cn = &dataFrm()->cnMain;
    tdMain = new DataSet(cn, this);
    tdMain->setObjectName(QStringLiteral("tdMain"));
    tdSum = new DataSet(cn, this);
    tdSum->setObjectName(QStringLiteral("tdSum"));
    tdSlips = new DataSet(cn, this);
    tdSlips->setObjectName(QStringLiteral("tdSlips"));
    RvSlips = new TPaySlipReport(this, tdSlips);

    // Top strip
    auto* top = new QWidget(this);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(6, 4, 6, 4);
    topLayout->setSpacing(4);
    cbbYear = new QComboBox(top);
    cbbMonth = new QComboBox(top);
    cbbDay = new QComboBox(top);
    cbbYear->setObjectName(QStringLiteral("cbbYear"));
    cbbMonth->setObjectName(QStringLiteral("cbbMonth"));
    cbbDay->setObjectName(QStringLiteral("cbbDay"));
    cbbYear->setMaxVisibleItems(12);
    cbbMonth->setMaxVisibleItems(12);
    cbbDay->setMaxVisibleItems(16);
    btnPrintBar = new QPushButton(QStringLiteral("打印工资条"), top);
    btnPrintBar->setObjectName(QStringLiteral("btnPrintBar"));
    btnExcel = new QPushButton(QStringLiteral("EXCEL"), top);
    btnExcel->setObjectName(QStringLiteral("btnExcel"));
    makeGreenButton(btnPrintBar);
    makeGreenButton(btnExcel);
    topLayout->addWidget(cbbYear);
    topLayout->addWidget(new QLabel(QStringLiteral("年"), top));
    topLayout->addSpacing(6);
    topLayout->addWidget(cbbMonth);
    topLayout->addWidget(new QLabel(QStringLiteral("月"), top));
    topLayout->addSpacing(6);
    topLayout->addWidget(cbbDay);
    topLayout->addWidget(new QLabel(QStringLiteral("号"), top));
    topLayout->addStretch(1);
    topLayout->addWidget(btnPrintBar);
    topLayout->addWidget(btnExcel);
    top->setContextMenuPolicy(Qt::PreventContextMenu);

    // The sheet
    grdMain = new TMyDBGrid(this);
    grdMain->setObjectName(QStringLiteral("grdMain"));
    grdMain->setDataSet(tdMain);
    grdMain->setAlwaysShowEditor(true);
    // A sheet's rows come from generation only: the grid's keys neither add nor remove one.
    grdMain->setFixedRows(true);
    grdMain->viewport()->installEventFilter(this);

    // The totals row: one row under the sheet's columns, without titles or scroll bars.
    grdSum = new TMyDBGrid(this);
    grdSum->setObjectName(QStringLiteral("grdSum"));
    grdSum->setDataSet(tdSum);
    grdSum->setReadOnly(true);
    grdSum->horizontalHeader()->hide();
    grdSum->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grdSum->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grdSum->setFocusPolicy(Qt::NoFocus);
    grdSum->setSelectionMode(QAbstractItemView::NoSelection);
    grdSum->setContextMenuPolicy(Qt::PreventContextMenu);
    QPalette face = grdSum->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    // The totals have no current cell to show.
    face.setColor(QPalette::Highlight, face.color(QPalette::Button));
    face.setColor(QPalette::HighlightedText, face.color(QPalette::Text));
    grdSum->setPalette(face);
    grdSum->setFixedHeight(
        std::max(22, grdSum->verticalHeader()->defaultSectionSize() + 2 * grdSum->frameWidth()));
    // The sheet's vertical scroll bar takes room on the right; the same room beside the totals keeps their
    // horizontal scrolling in step to the last column.
    auto* sumGap = new QWidget(this);
    sumGap->setFixedWidth(0);
    auto* sumRow = new QHBoxLayout;
    sumRow->setContentsMargins(0, 0, 0, 0);
    sumRow->setSpacing(0);
    sumRow->addWidget(grdSum, 1);
    sumRow->addWidget(sumGap);
    for (TMyDBGrid* grid : {grdMain, grdSum})
        grid->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(top);
    layout->addWidget(grdMain, 1);
    layout->addLayout(sumRow);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    pRefresh = PopupMenu1->addAction(QStringLiteral("更新计算"));
    pRefresh->setObjectName(QStringLiteral("pRefresh"));
    pRefresh->setShortcut(QKeySequence(Qt::Key_F5));
    pRefresh->setShortcutContext(Qt::WindowShortcut);
    addAction(pRefresh);
    PopupMenu1->addSeparator();
    pSort = PopupMenu1->addAction(QStringLiteral("排序"));
    pSort->setObjectName(QStringLiteral("pSort"));
    grdMain->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grdMain, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PopupMenu1->popup(grdMain->viewport()->mapToGlobal(pos)); });

    connect(pRefresh, &QAction::triggered, this, [this] { guarded([this] { pRefreshClick(); }); });
    connect(pSort, &QAction::triggered, this, [this] { guarded([this] { pSortClick(); }); });
    sortOnTitleClick(grdMain, pSort);
    connect(btnExcel, &QPushButton::clicked, this, [this] { guarded([this] { btnExcelClick(); }); });
    connect(btnPrintBar, &QPushButton::clicked, this, [this] { btnPrintBarClick(); });
    connect(cbbYear, &QComboBox::currentIndexChanged, this, [this] { guarded([this] { cbbYearChange(); }); });
    connect(cbbMonth, &QComboBox::currentIndexChanged, this,
            [this] { guarded([this] { cbbMonthChange(); }); });
    connect(cbbDay, &QComboBox::currentIndexChanged, this, [this] { guarded([this] { cbbDayChange(); }); });
    connect(grdMain, &TMyDBGrid::OnColWidthChanged, this, [this] { grdMainColWidthChanged(); });
    connect(grdMain->horizontalScrollBar(), &QScrollBar::valueChanged, grdSum->horizontalScrollBar(),
            &QScrollBar::setValue);
    // Rereading the totals scrolls them back to their start, and their scroll range is laid out anew
    // later: they keep to where the sheet is.
    auto followSheet = [this] {
        grdSum->horizontalScrollBar()->setValue(grdMain->horizontalScrollBar()->value());
    };
    connect(grdSum->horizontalScrollBar(), &QScrollBar::rangeChanged, this, followSheet);
    connect(grdSum->horizontalScrollBar(), &QScrollBar::valueChanged, this, followSheet);
    connect(grdMain->verticalScrollBar(), &QScrollBar::rangeChanged, sumGap, [this, sumGap](int, int max) {
        sumGap->setFixedWidth(max > 0 ? grdMain->verticalScrollBar()->sizeHint().width() : 0);
    });

    tdMain->afterOpen = [this](DataSet& ds) { setDisplayFormats(ds); };
    tdSum->afterOpen = [this](DataSet& ds) { setDisplayFormats(ds); };
    tdSlips->afterOpen = [this](DataSet& ds) { setDisplayFormats(ds); };
    tdMain->afterPost = [this](DataSet& ds) { tdMainAfterPost(ds); };
    // A row the database refuses (letters in a number, a text too long) stays in the grid, as typed,
    // with the reason told; nothing is recalculated.
    keepRefusedRows(tdMain, {grdMain});
    // A sheet's rows come from generation only.
    auto refuse = [](DataSet&) { throw DbError(QStringLiteral("工资表中不能增加或删除行。")); };
    tdMain->beforeInsert = refuse;
    tdMain->beforeDelete = refuse;
    for (const QString& code : salaryItemCodes()) {
        if (isFamily(code, 'T'))
            tdSum->setFieldType(code, FieldType::Text);
        else
            tdSum->setFieldType(code, isFamily(code, 'B') ? FieldType::Double : FieldType::Money);
    }
    tdSum->setFieldType(QStringLiteral("staffCode"), FieldType::Text);
    tdSum->setFieldType(QStringLiteral("staffName"), FieldType::Text);
}

void TsalaryDataFrm::FormCreate(const SheetBatch& batch) {
    const QDate today = hx::today();
    fillYearList(cbbYear, today);
    fillNumberList(cbbMonth, 1, 12);
    fillNumberList(cbbDay, 1, 31);
    selectListNumber(cbbYear, batch.year);
    selectListNumber(cbbMonth, batch.month);
    selectListNumber(cbbDay, batch.day);
    grdMain->horizontalHeader()->setSectionsMovable(false);
    grdSum->horizontalHeader()->setSectionsMovable(false);
    guarded([this] { LoadSheet(); });
}

void TsalaryDataFrm::showBatch(const SheetBatch& batch) {
    selectListNumber(cbbYear, batch.year);
    selectListNumber(cbbMonth, batch.month);
    selectListNumber(cbbDay, batch.day);
    guarded([this] { LoadSheet(); });
}

int TsalaryDataFrm::itemColumnWidth() const {
    // 50 pixels hold an amount of four whole digits in the classic small Arial; the same amount in the
    // fonts found here needs a little more.
    return std::max(50, grdMain->fontMetrics().horizontalAdvance(QStringLiteral("88888.88")) + 10);
}

void TsalaryDataFrm::setDisplayFormats(DataSet& ds) {
    for (const QString& code : salaryItemCodes()) {
        const int f = ds.fieldIndex(code);
        if (f < 0 || isFamily(code, 'T')) continue;
        ds.field(code).displayFormat = isFamily(code, 'B') ? QStringLiteral("0.0") : QStringLiteral("0.00");
    }
}

void TsalaryDataFrm::LoadSheet() {
    // A row still being edited, or a value still in the cell editor, belongs to the sheet shown so far: it
    // is stored and recalculated first. A refused row keeps its sheet.
    bool stored = true;
    if (tdMain->isOpen()) guarded([&] { stored = tdMain->checkBrowseMode(); });
    if (!stored) {
        const QSignalBlocker quietYear(cbbYear);
        const QSignalBlocker quietMonth(cbbMonth);
        const QSignalBlocker quietDay(cbbDay);
        selectListNumber(cbbYear, m_batch.year);
        selectListNumber(cbbMonth, m_batch.month);
        selectListNumber(cbbDay, m_batch.day);
        return;
    }
    m_batch = {listNumber(cbbYear), listNumber(cbbMonth), listNumber(cbbDay)};

    // The month's items, in code order, title the item columns by position; a column whose item has no
    // name, or that the month has no row for, is hidden.
    const QStringList titles = sheetItemTitles(dataFrm()->cnMain, m_batch.year, m_batch.month);
    QVector<GridColumn> columns{{QStringLiteral("staffCode"), QStringLiteral("工号"), codeWidth},
                                {QStringLiteral("staffName"), QStringLiteral("姓名"), nameWidth}};
    const QStringList& codes = salaryItemCodes();
    for (int i = 0; i < codes.size(); ++i) {
        GridColumn column(codes[i], QString(QLatin1String("")), itemColumnWidth());
        column.visible = !titles.value(i).isEmpty();
        if (column.visible) column.title = titles.value(i);
        columns << column;
    }

    tdMain->close();
    tdSum->close();
    grdMain->setColumns(columns);
    grdSum->setColumns(columns);
    setQuery(*tdMain, sheetRows(m_batch));
    setQuery(*tdSum, sheetTotals(m_batch));
    tdMain->open();
    tdSum->open();
    fitColumnsToTotals();
    grdMainColWidthChanged();
}

void TsalaryDataFrm::fitColumnsToTotals() {
    // A month's total is the widest number of its column: the column grows so that it shows whole.
    if (!tdSum->isOpen() || tdSum->isEmpty()) return;
    const auto& columns = grdMain->dataModel()->columns();
    for (int i = 2; i < columns.size(); ++i) {
        const int f = tdSum->fieldIndex(columns[i].field);
        if (f < 0 || grdMain->isColumnHidden(i)) continue;
        const int needed = grdSum->fontMetrics().horizontalAdvance(tdSum->textAt(0, f)) + 12;
        if (needed > grdMain->columnWidth(i)) grdMain->setColumnWidth(i, needed);
    }
}

void TsalaryDataFrm::cbbYearChange() {
    LoadSheet();
}

void TsalaryDataFrm::cbbMonthChange() {
    LoadSheet();
}

void TsalaryDataFrm::cbbDayChange() {
    LoadSheet();
}

void TsalaryDataFrm::tdMainAfterPost(DataSet& ds) {
    // The worker's formulas follow the saved values. A post that had nothing to write reaches here too:
    // the worker is recalculated only while his row is still there.
    const QString staffCode = ds.asString(QStringLiteral("staffCode"));
    const SheetBatch rowBatch{int(ds.asInt(QStringLiteral("Year"))), int(ds.asInt(QStringLiteral("Month"))),
                              int(ds.asInt(QStringLiteral("salaryDay")))};
    guarded([&] { recalculateSavedRow(dataFrm()->cnMain, rowBatch, staffCode); });
    // The row and the totals show what is stored now, also when a formula failed half-way: only that row is
    // read again, the sheet keeps its place.
    guarded([&] {
        ds.refreshCurrentRow();
        reloadTotals();
    });
}

void TsalaryDataFrm::reloadTotals() {
    if (!tdSum->isOpen()) return;
    tdSum->requery();
    fitColumnsToTotals();
    grdMainColWidthChanged();
}

void TsalaryDataFrm::pRefreshClick() {
    if (!tdMain->isOpen()) return;
    tdMain->checkBrowseMode();
    // Rereading lays the columns out afresh: the widths the user gave them stay.
    QVector<int> widths;
    for (int i = 0; i < grdMain->model()->columnCount(); ++i)
        widths << (grdMain->isColumnHidden(i) ? -1 : grdMain->columnWidth(i));
    tdMain->requery();
    for (int i = 0; i < widths.size() && i < grdMain->model()->columnCount(); ++i)
        if (widths[i] > 0) grdMain->setColumnWidth(i, widths[i]);
    reloadTotals();
}

void TsalaryDataFrm::pSortClick() {
    const QString field = grdMain->selectedField();
    if (!tdMain->isOpen() || field.isEmpty()) return;
    tdMain->setSort(field + QStringLiteral(" ASC"));
}

void TsalaryDataFrm::grdMainColWidthChanged() {
    const int count = std::min(grdMain->model()->columnCount(), grdSum->model()->columnCount());
    for (int i = 0; i < count; ++i)
        if (!grdMain->isColumnHidden(i)) grdSum->setColumnWidth(i, grdMain->columnWidth(i));
}

void TsalaryDataFrm::btnPrintBarClick() {
    // A value still being typed belongs on the slip; a row the database did not take keeps the slips back
    // until it is corrected or dropped.
    if (tdMain->isOpen()) guarded([this] { tdMain->checkBrowseMode(); });
    if (tdMain->isEditing()) return;
    // The slips say what the sheet holds in the database, read afresh, in the order the sheet shows.
    guarded([this] {
        tdSlips->close();
        setQuery(*tdSlips, sheetRows(m_batch));
        tdSlips->open();
        if (tdMain->isOpen() && !tdMain->sort().isEmpty()) tdSlips->setSort(tdMain->sort());
    });
    if (tdSlips->isOpen())
        RvSlips->btnPrintBarClick(listNumber(cbbYear), listNumber(cbbMonth), listNumber(cbbDay));
    tdSlips->close();
}

void TsalaryDataFrm::btnExcelClick() {
    ExportGridToExcel(grdMain);
}

bool TsalaryDataFrm::eventFilter(QObject* watched, QEvent* event) {
    // The open cell editor shows the sheet's menu too, not the text editor's own.
    if (watched == grdMain->viewport() && event->type() == QEvent::ChildAdded) {
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child()))
            child->installEventFilter(this);
    } else if (event->type() == QEvent::ContextMenu && watched != grdMain && watched != grdMain->viewport()) {
        if (auto* w = qobject_cast<QWidget*>(watched); w && w->parentWidget() == grdMain->viewport()) {
            PopupMenu1->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
            return true;
        }
    }
    return WorkWindow::eventFilter(watched, event);
}

void TsalaryDataFrm::closeEvent(QCloseEvent* event) {
    // What was typed into the row being edited, or is still in the cell editor, is kept. A refused row
    // keeps the window open, with the row to correct or to drop with Esc.
    bool stored = true;
    if (tdMain->isOpen()) guarded([&] { stored = tdMain->checkBrowseMode(); });
    if (!stored) {
        event->ignore();
        return;
    }
    tdMain->close();
    tdSum->close();
    tdSlips->close();
    WorkWindow::closeEvent(event);
}

}  // namespace hx
