#include "gui/statistics/analyse.h"

#include <QAbstractBarSeries>
#include <QAction>
#include <QApplication>
#include <QBarSet>
#include <QChart>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "core/data/clock.h"
#include "core/data/datamodule.h"
#include "core/data/dataset.h"
#include "core/data/myfuns_lists.h"
#include "core/payroll/periods.h"
#include "core/statistics/analysequeries.h"
#include "core/statistics/chartdata.h"
#include "core/statistics/groupedtotals.h"
#include "gui/statistics/statisticscharts.h"
#include "gui/widgets/combolists.h"
#include "gui/widgets/dialogs.h"
#include "gui/widgets/export.h"
#include "gui/widgets/listops.h"
#include "gui/widgets/mydbgrid.h"

namespace hx {

namespace {

// The groups the grouped totals' chart names; the rest are summed as one bar.
constexpr int largestGroupBars = 10;

// The wait cursor for as long as a query runs, also when it fails.
class BusyCursor {
  public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

QPushButton* greenButton(const QString& name, const QString& caption, bool bold, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, Qt::darkGreen);
    button->setPalette(palette);
    QFont font = button->font();
    font.setBold(bold);
    button->setFont(font);
    button->setMinimumWidth(64);
    return button;
}

QDateEdit* datePicker(const QString& name, QWidget* parent) {
    auto* picker = new QDateEdit(parent);
    picker->setObjectName(name);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    return picker;
}

QCheckBox* checkBox(const QString& name, const QString& caption, QWidget* parent) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    return box;
}

QLabel* label(const QString& text, QWidget* parent) {
    return new QLabel(text, parent);
}

// Paints a number cell whose value is under a limit in the warning colour of the charts.
class BelowLimitDelegate : public QStyledItemDelegate {
  public:
    BelowLimitDelegate(TMyDBGrid* grid, double limit)
        : QStyledItemDelegate(grid), m_grid(grid), m_limit(limit) {}

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const DataSet* ds = m_grid->dataSet();
        if (!ds || index.row() >= ds->recordCount()) return;
        const int field = ds->fieldIndex(m_grid->dataModel()->column(index.column()).field);
        if (field < 0) return;
        const QVariant value = ds->valueAt(index.row(), field);
        if (value.isNull() || value.toDouble() >= m_limit) return;
        option->backgroundBrush = belowFullColor().lighter(170);
        option->palette.setColor(QPalette::Text, belowFullColor().darker(130));
        option->palette.setColor(QPalette::HighlightedText, belowFullColor().lighter(170));
    }

  private:
    TMyDBGrid* m_grid;
    double m_limit;
};

QString dayText(const QDate& day) {
    return day.toString(QStringLiteral("yyyy-MM-dd"));
}

QString rangeText(const QDate& from, const QDate& to) {
    return QStringLiteral("范围：%1 至 %2").arg(dayText(from), dayText(to));
}

void openStatement(DataSet* ds, const Statement& st) {
    ds->close();
    ds->setSql(st.sql);
    ds->setParams(st.params);
    ds->open();
}

}  // namespace

QString TAnalyseFrm::helpTextOfWindow() {
    return QStringLiteral(
        "1、选择好各类条件后，按《OK》按钮执行查询，显示数据；\n\n"
        "2、《EXCEL》按钮用于将表格中数据导出到EXCEL电子表格中。\n\n"
        "3、《SQL自由查询》页是供掌握了SQL语法及ACCESS数据库表结构的高级用户自由查询使用，普通用户可以不用"
        "。");
}

TAnalyseFrm::TAnalyseFrm(AccountSet accountSet, QWidget* parent)
    : WorkWindow(parent), m_accountSet(std::move(accountSet)) {
    buildWindow();
    FormCreate();
}

TAnalyseFrm::~TAnalyseFrm() {
    stopFreeQuery();
}

void TAnalyseFrm::buildWindow() {
    frameWindow(QStringLiteral("AnalyseFrm"), QStringLiteral("统计分析"), QSize(1180, 660));
    setHelpText(helpTextOfWindow());

    Connection* cnMain = &dataFrm()->cnMain;
    auto dataSet = [this](const char* name, Connection* cn) {
        auto* ds = new DataSet(cn, this);
        ds->setObjectName(QLatin1String(name));
        return ds;
    };
    tdMainA = dataSet("tdMainA", cnMain);
    cdsMainA = dataSet("cdsMainA", nullptr);
    tdMainB = dataSet("tdMainB", nullptr);
    tdSumB = dataSet("tdSumB", nullptr);
    tdMainC = dataSet("tdMainC", nullptr);
    tdMainD = dataSet("tdMainD", nullptr);

    tdMainA->setFieldType(QStringLiteral("levelS"), FieldType::Double);
    tdMainA->setFieldType(QStringLiteral("tmy"), FieldType::Money);
    cdsMainA->defineFields(outputCheckFields());
    tdSumB->defineFields(grandTotalFields());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    layout->addWidget(PageControl1);
    PageControl1->addTab(buildOutputCheckPage(), QStringLiteral("员工产值检查"));
    PageControl1->addTab(buildGroupedTotalsPage(), QStringLiteral("生产汇总统计"));
    PageControl1->addTab(buildFreeQueryPage(), QStringLiteral("SQL自由查询"));
    PageControl1->addTab(buildMonthComparisonPage(), QStringLiteral("月度对比"));
    PageControl1->setCurrentIndex(0);

    grdMainA->setDataSet(cdsMainA);
    grdMainA->setColumns({{QStringLiteral("staffCode"), QStringLiteral("工号"), 86},
                          {QStringLiteral("staffName"), QStringLiteral("姓名"), 102},
                          {QStringLiteral("levelS"), QStringLiteral("正常能力工资"), 112},
                          {QStringLiteral("tmy"), QStringLiteral("实际完成工资"), 140},
                          {QStringLiteral("notFinish"), QStringLiteral("未完成差值"), 91},
                          {QStringLiteral("finishPercent"), QStringLiteral("完成百分比"), 87}});
    grdMainB->setDataSet(tdMainB);
    grdMainC->setDataSet(tdMainC);
    grdMainD->setDataSet(tdMainD);
    for (TMyDBGrid* grid : {grdMainA, grdMainB, grdMainC, grdMainD}) grid->setReadOnly(true);
    grdMainA->setItemDelegateForColumn(5, new BelowLimitDelegate(grdMainA, fullOutputPercent));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    popSort = PopupMenu1->addAction(QStringLiteral("排序"));
    popSort->setObjectName(QStringLiteral("popSort"));
    connect(popSort, &QAction::triggered, this, &TAnalyseFrm::popSortClick);
    popExport = PopupMenu1->addAction(exportCommandText());
    popExport->setObjectName(QStringLiteral("popExport"));
    connect(popExport, &QAction::triggered, this, &TAnalyseFrm::popExportClick);
    for (TMyDBGrid* grid : {grdMainA, grdMainB, grdMainC, grdMainD}) {
        setGridMenu(grid, PopupMenu1);
        sortOnTitleClick(grid, popSort);
    }

    connect(btnaa, &QPushButton::clicked, this, &TAnalyseFrm::btnaaClick);
    connect(btnBB, &QPushButton::clicked, this, &TAnalyseFrm::btnBBClick);
    connect(btnCC, &QPushButton::clicked, this, &TAnalyseFrm::btnCCClick);
    connect(btnExA, &QPushButton::clicked, this, &TAnalyseFrm::btnExAClick);
    connect(btnExB, &QPushButton::clicked, this, &TAnalyseFrm::btnExBClick);
    connect(btnExC, &QPushButton::clicked, this, &TAnalyseFrm::btnExCClick);
    connect(btnCancelC, &QPushButton::clicked, this, &TAnalyseFrm::btnCancelCClick);
    connect(btnDD, &QPushButton::clicked, this, &TAnalyseFrm::btnDDClick);
    connect(btnExD, &QPushButton::clicked, this, &TAnalyseFrm::btnExDClick);
    connect(condMonth, &QDateEdit::dateChanged, this, [this] { guarded([this] { fillPayItems(); }); });
    connect(condItem, &QComboBox::activated, this,
            [this] { m_chosenPayItem = condItem->currentData().toString(); });
    connect(condMeasure, &QComboBox::currentIndexChanged, this, [this] { drawMonthComparison(); });
}

QSplitter* TAnalyseFrm::tableBesideChart(const char* name, TMyDBGrid* grid, ChartPanel* chart, int tableWidth,
                                         QWidget* page) {
    auto* splitter = new QSplitter(Qt::Horizontal, page);
    splitter->setObjectName(QLatin1String(name));
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(grid);
    splitter->addWidget(chart);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({tableWidth, 1180 - tableWidth});
    return splitter;
}

QWidget* TAnalyseFrm::buildOutputCheckPage() {
    tabJobQuery = new QWidget;
    tabJobQuery->setObjectName(QStringLiteral("tabJobQuery"));
    auto* page = new QVBoxLayout(tabJobQuery);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    auto* panel = new QWidget(tabJobQuery);
    panel->setObjectName(QStringLiteral("pnlTopA"));
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(6, 6, 6, 6);
    conaDateB = datePicker(QStringLiteral("conaDateB"), panel);
    conaDateE = datePicker(QStringLiteral("conaDateE"), panel);
    conaGroup = new QComboBox(panel);
    conaGroup->setObjectName(QStringLiteral("conaGroup"));
    conaGroup->setEditable(true);
    conaGroup->setInsertPolicy(QComboBox::NoInsert);
    conaGroup->setMinimumWidth(100);
    btnaa = greenButton(QStringLiteral("btnaa"), QStringLiteral("OK"), true, panel);
    btnExA = greenButton(QStringLiteral("btnExA"), QStringLiteral("EXCEL"), false, panel);
    row->addWidget(label(QStringLiteral("限定条件范围:"), panel));
    row->addWidget(label(QStringLiteral("从"), panel));
    row->addWidget(conaDateB);
    row->addWidget(label(QStringLiteral("到"), panel));
    row->addWidget(conaDateE);
    row->addSpacing(8);
    row->addWidget(label(QStringLiteral("班组"), panel));
    row->addWidget(conaGroup);
    row->addStretch();
    row->addWidget(btnaa);
    row->addWidget(btnExA);
    page->addWidget(panel);

    grdMainA = new TMyDBGrid(tabJobQuery);
    grdMainA->setObjectName(QStringLiteral("grdMainA"));
    chartA = new ChartPanel(
        QStringLiteral("chartA"), [this] { return m_headingA; }, tabJobQuery);
    page->addWidget(tableBesideChart("splitA", grdMainA, chartA, 660, tabJobQuery), 1);
    return tabJobQuery;
}

QWidget* TAnalyseFrm::buildGroupedTotalsPage() {
    TabJobGroup = new QWidget;
    TabJobGroup->setObjectName(QStringLiteral("TabJobGroup"));
    auto* page = new QVBoxLayout(TabJobGroup);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    auto* panel = new QWidget(TabJobGroup);
    panel->setObjectName(QStringLiteral("pnlTopB"));
    auto* rows = new QVBoxLayout(panel);
    rows->setContentsMargins(6, 6, 6, 6);
    rows->setSpacing(4);

    auto* first = new QHBoxLayout;
    conbDateB = datePicker(QStringLiteral("conbDateB"), panel);
    conbDateE = datePicker(QStringLiteral("conbDateE"), panel);
    conNotFired = checkBox(QStringLiteral("conNotFired"), QStringLiteral("不含辞退员工"), panel);
    conNotStopped = checkBox(QStringLiteral("conNotStopped"), QStringLiteral("不含完工工序"), panel);
    btnBB = greenButton(QStringLiteral("btnBB"), QStringLiteral("OK"), true, panel);
    first->addWidget(label(QStringLiteral("限定条件范围:"), panel));
    first->addWidget(label(QStringLiteral("从"), panel));
    first->addWidget(conbDateB);
    first->addWidget(label(QStringLiteral("到"), panel));
    first->addWidget(conbDateE);
    first->addSpacing(8);
    first->addWidget(conNotFired);
    first->addWidget(conNotStopped);
    first->addStretch();
    first->addWidget(btnBB);
    rows->addLayout(first);

    auto* second = new QHBoxLayout;
    chkDate = checkBox(QStringLiteral("chkDate"), QStringLiteral("日期"), panel);
    chkGroup = checkBox(QStringLiteral("chkGroup"), QStringLiteral("班组"), panel);
    chkStaff = checkBox(QStringLiteral("chkStaff"), QStringLiteral("员工"), panel);
    chkStyle = checkBox(QStringLiteral("chkStyle"), QStringLiteral("款式"), panel);
    chkJob = checkBox(QStringLiteral("chkJob"), QStringLiteral("工序"), panel);
    chkSalaryDay = checkBox(QStringLiteral("chkSalaryDay"), QStringLiteral("发薪日"), panel);
    btnExB = greenButton(QStringLiteral("btnExB"), QStringLiteral("EXCEL"), false, panel);
    second->addWidget(label(QStringLiteral("选择分类项目:"), panel));
    for (QCheckBox* box : {chkDate, chkGroup, chkStaff, chkStyle, chkJob, chkSalaryDay})
        second->addWidget(box);
    second->addStretch();
    second->addWidget(btnExB);
    rows->addLayout(second);
    page->addWidget(panel);

    grdMainB = new TMyDBGrid(TabJobGroup);
    grdMainB->setObjectName(QStringLiteral("grdMainB"));
    chartB = new ChartPanel(
        QStringLiteral("chartB"), [this] { return m_headingB; }, TabJobGroup);
    page->addWidget(tableBesideChart("splitB", grdMainB, chartB, 560, TabJobGroup), 1);

    auto* strip = new QWidget(TabJobGroup);
    strip->setObjectName(QStringLiteral("pnlSumB"));
    auto* sums = new QHBoxLayout(strip);
    sums->setContentsMargins(6, 4, 6, 4);
    dbSumQty = new QLabel(strip);
    dbSumQty->setObjectName(QStringLiteral("dbSumQty"));
    dbSumTmy = new QLabel(strip);
    dbSumTmy->setObjectName(QStringLiteral("dbSumTmy"));
    for (QLabel* value : {dbSumQty, dbSumTmy}) {
        value->setMinimumWidth(120);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    sums->addWidget(label(QStringLiteral("数量合计:"), strip));
    sums->addWidget(dbSumQty);
    sums->addSpacing(24);
    sums->addWidget(label(QStringLiteral("金额合计:"), strip));
    sums->addWidget(dbSumTmy);
    sums->addStretch();
    page->addWidget(strip);
    return TabJobGroup;
}

QWidget* TAnalyseFrm::buildFreeQueryPage() {
    tabFree = new QWidget;
    tabFree->setObjectName(QStringLiteral("tabFree"));
    auto* page = new QVBoxLayout(tabFree);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    auto* panel = new QWidget(tabFree);
    panel->setObjectName(QStringLiteral("pnlTopC"));
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(6, 6, 6, 6);
    mmSQL = new QPlainTextEdit(panel);
    mmSQL->setObjectName(QStringLiteral("mmSQL"));
    mmSQL->setPlainText(QStringLiteral("select"));
    mmSQL->setFixedHeight(96);
    mmSQL->setLineWrapMode(QPlainTextEdit::NoWrap);
    btnCC = greenButton(QStringLiteral("btnCC"), QStringLiteral("OK"), true, panel);
    btnExC = greenButton(QStringLiteral("btnExC"), QStringLiteral("EXCEL"), false, panel);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btnCC);
    buttons->addWidget(btnExC);
    buttons->addStretch();
    row->addWidget(mmSQL, 1);
    row->addLayout(buttons);
    page->addWidget(panel);

    pnlRunningC = new QWidget(tabFree);
    pnlRunningC->setObjectName(QStringLiteral("pnlRunningC"));
    auto* running = new QHBoxLayout(pnlRunningC);
    running->setContentsMargins(6, 2, 6, 2);
    lblRunningC = new QLabel(QStringLiteral("正在查询…"), pnlRunningC);
    lblRunningC->setObjectName(QStringLiteral("lblRunningC"));
    btnCancelC = new QPushButton(QStringLiteral("取消"), pnlRunningC);
    btnCancelC->setObjectName(QStringLiteral("btnCancelC"));
    running->addWidget(lblRunningC);
    running->addWidget(btnCancelC);
    running->addStretch();
    pnlRunningC->hide();
    page->addWidget(pnlRunningC);

    grdMainC = new TMyDBGrid(tabFree);
    grdMainC->setObjectName(QStringLiteral("grdMainC"));
    page->addWidget(grdMainC, 1);
    return tabFree;
}

QWidget* TAnalyseFrm::buildMonthComparisonPage() {
    tabMonth = new QWidget;
    tabMonth->setObjectName(QStringLiteral("tabMonth"));
    auto* page = new QVBoxLayout(tabMonth);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    auto* panel = new QWidget(tabMonth);
    panel->setObjectName(QStringLiteral("pnlTopD"));
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(6, 6, 6, 6);
    condMonth = datePicker(QStringLiteral("condMonth"), panel);
    condMonth->setDisplayFormat(QStringLiteral("yyyy-MM"));
    condDay = new QSpinBox(panel);
    condDay->setObjectName(QStringLiteral("condDay"));
    condDay->setRange(1, 31);
    condItem = new QComboBox(panel);
    condItem->setObjectName(QStringLiteral("condItem"));
    condItem->setMinimumWidth(140);
    condMeasure = new QComboBox(panel);
    condMeasure->setObjectName(QStringLiteral("condMeasure"));
    condMeasure->addItems({QStringLiteral("工资"), QStringLiteral("数量")});
    btnDD = greenButton(QStringLiteral("btnDD"), QStringLiteral("OK"), true, panel);
    btnExD = greenButton(QStringLiteral("btnExD"), QStringLiteral("EXCEL"), false, panel);
    row->addWidget(label(QStringLiteral("月份:"), panel));
    row->addWidget(condMonth);
    row->addWidget(label(QStringLiteral("发薪日"), panel));
    row->addWidget(condDay);
    row->addSpacing(8);
    row->addWidget(label(QStringLiteral("工资项目"), panel));
    row->addWidget(condItem);
    row->addSpacing(8);
    row->addWidget(label(QStringLiteral("图表显示"), panel));
    row->addWidget(condMeasure);
    row->addStretch();
    row->addWidget(btnDD);
    row->addWidget(btnExD);
    page->addWidget(panel);

    grdMainD = new TMyDBGrid(tabMonth);
    grdMainD->setObjectName(QStringLiteral("grdMainD"));
    chartD = new ChartPanel(
        QStringLiteral("chartD"), [this] { return m_headingD; }, tabMonth);
    page->addWidget(tableBesideChart("splitD", grdMainD, chartD, 600, tabMonth), 1);
    return tabMonth;
}

void TAnalyseFrm::FormCreate() {
    const QDate today = hx::today();
    for (QDateEdit* begin : {conaDateB, conbDateB}) begin->setDate(today.addDays(-30));
    for (QDateEdit* end : {conaDateE, conbDateE}) end->setDate(today);
    // An empty text means every group, so the list offers only real group names.
    FillCombo(namedClassGroups(), conaGroup);
    grdMainA->horizontalHeader()->setSectionsMovable(false);
    const YearMonth last = previousMonth(today);
    condMonth->setDate(QDate(last.year, last.month, 1));
    fillPayItems();
}

void TAnalyseFrm::fillPayItems() {
    const QDate month = condMonth->date();
    const QVector<PayItem> items = comparablePayItems(dataFrm()->cnMain, month.year(), month.month());
    condItem->clear();
    for (const PayItem& item : items)
        condItem->addItem(QStringLiteral("%1 %2").arg(item.code, item.name), item.code);
    // The item the user chose stays when the month has it too; otherwise the month's total pay.
    int index = m_chosenPayItem.isEmpty() ? -1 : condItem->findData(m_chosenPayItem);
    if (index < 0) index = condItem->findData(totalPayItem(items));
    condItem->setCurrentIndex(std::max(0, index));
}

void TAnalyseFrm::closeEvent(QCloseEvent* event) {
    stopFreeQuery();
    if (cdsMainA->isOpen()) cdsMainA->close();
    WorkWindow::closeEvent(event);
}

void TAnalyseFrm::btnaaClick() {
    guarded([this] {
        BusyCursor busy;
        openStatement(tdMainA,
                      outputCheckStatement(conaDateB->date(), conaDateE->date(), conaGroup->currentText()));
        tdMainA->first();
        fillOutputCheck(*tdMainA, *cdsMainA);
        drawOutputCheck();
    });
}

void TAnalyseFrm::drawOutputCheck() {
    const std::vector<OutputBar> bars = outputBars(*cdsMainA);
    const QString group = conaGroup->currentText();
    const auto below =
        std::count_if(bars.begin(), bars.end(), [](const OutputBar& b) { return b.belowFull(); });
    m_headingA =
        ChartHeading(QStringLiteral("统计分析 - 员工产值检查"),
                     {rangeText(std::min(conaDateB->date(), conaDateE->date()),
                                std::max(conaDateB->date(), conaDateE->date())),
                      QStringLiteral("班组：%1").arg(group.isEmpty() ? QStringLiteral("全部") : group),
                      QStringLiteral("员工%1人，其中未达到100%：%2人").arg(bars.size()).arg(below)});
    chartA->setChart(outputCheckChart(bars, &m_chartWorkers));
    for (QAbstractSeries* series : chartA->chart()->series())
        if (auto* barSeries = qobject_cast<QAbstractBarSeries*>(series))
            connect(barSeries, &QAbstractBarSeries::clicked, this, [this](int index, QBarSet*) {
                if (index >= 0 && index < m_chartWorkers.size()) selectWorker(m_chartWorkers[index]);
            });
}

void TAnalyseFrm::selectWorker(const QString& staffCode) {
    const int code = cdsMainA->fieldIndex(QStringLiteral("staffCode"));
    for (int row = 0; row < cdsMainA->recordCount(); ++row) {
        if (cdsMainA->valueAt(row, code).toString() != staffCode) continue;
        cdsMainA->setRecNo(row);
        const int column = std::max(0, grdMainA->currentIndex().column());
        grdMainA->setCurrentIndex(grdMainA->model()->index(row, column));
        grdMainA->scrollTo(grdMainA->currentIndex());
        return;
    }
}

void TAnalyseFrm::btnBBClick() {
    guarded([this] {
        BusyCursor busy;
        Grouping grouping;
        grouping.date = chkDate->isChecked();
        grouping.classGroup = chkGroup->isChecked();
        grouping.staff = chkStaff->isChecked();
        grouping.style = chkStyle->isChecked();
        grouping.job = chkJob->isChecked();
        grouping.salaryDay = chkSalaryDay->isChecked();
        const GroupedTotalsQuery query{conbDateB->date(), conbDateE->date(), conNotFired->isChecked(),
                                       conNotStopped->isChecked(), grouping};
        tdMainB->close();
        tdSumB->close();
        showTotals();
        chartB->clear();
        m_headingB = ChartHeading();
        fillGroupedTotals(dataFrm()->cnMain, query, *tdMainB);
        fitColumns(grdMainB);
        fillGrandTotals(*tdMainB, *tdSumB);
        showTotals();
        m_groupedQuery = query;
        drawGroupedTotals();
    });
}

void TAnalyseFrm::drawGroupedTotals() {
    const GroupedTotalsQuery& query = m_groupedQuery;
    const Grouping& g = query.grouping;
    QStringList items;
    for (const auto& [on, name] : {std::pair{g.date, "日期"},
                                   {g.classGroup, "班组"},
                                   {g.staff, "员工"},
                                   {g.style, "款式"},
                                   {g.job, "工序"},
                                   {g.salaryDay, "发薪日"}})
        if (on) items << QString::fromUtf8(name);
    QStringList conditions{
        rangeText(query.from, query.to),
        QStringLiteral("分类：%1")
            .arg(items.isEmpty() ? QStringLiteral("不分类") : items.join(QStringLiteral("、")))};
    QStringList left;
    if (query.notFired) left << QStringLiteral("不含辞退员工");
    if (query.notStopped) left << QStringLiteral("不含完工工序");
    if (!left.isEmpty()) conditions << left.join(QStringLiteral("，"));
    conditions << QStringLiteral("数量合计：%1    金额合计：%2").arg(dbSumQty->text(), dbSumTmy->text());
    m_headingB = ChartHeading(QStringLiteral("统计分析 - 生产汇总统计"), conditions);
    // By date the days of the range, summed over whatever else is chosen; otherwise the largest groups.
    if (g.date)
        chartB->setChart(dayTotalsChart(dayTotals(*tdMainB, query.from, query.to)));
    else
        chartB->setChart(
            largestGroupsChart(largestGroups(*tdMainB, largestGroupBars),
                               items.isEmpty() ? QStringLiteral("合计") : items.join(QStringLiteral("+"))));
}

void TAnalyseFrm::btnDDClick() {
    guarded([this] {
        BusyCursor busy;
        const QDate month = condMonth->date();
        const QString item = condItem->currentData().toString();
        tdMainD->close();
        chartD->clear();
        m_headingD = ChartHeading();
        fillMonthComparison(dataFrm()->cnMain,
                            MonthComparisonQuery(month.year(), month.month(), condDay->value(), item),
                            *tdMainD);
        fitColumns(grdMainD);
        const QDate before = month.addMonths(-1);
        m_headingD = ChartHeading(QStringLiteral("统计分析 - 月度对比"),
                                  {QStringLiteral("本月：%1年%2月，上月：%3年%4月，发薪日：%5")
                                       .arg(month.year())
                                       .arg(month.month())
                                       .arg(before.year())
                                       .arg(before.month())
                                       .arg(condDay->value()),
                                   QStringLiteral("工资项目：%1").arg(condItem->currentText())});
        drawMonthComparison();
    });
}

void TAnalyseFrm::drawMonthComparison() {
    if (!tdMainD->isOpen()) return;
    chartD->setChart(monthComparisonChart(*tdMainD, condMeasure->currentIndex() == 1));
}

void TAnalyseFrm::showTotals() {
    const bool open = tdSumB->isOpen() && !tdSumB->isEmpty();
    dbSumQty->setText(open ? tdSumB->text(QStringLiteral("qty")) : QString());
    dbSumTmy->setText(open ? tdSumB->text(QStringLiteral("tmy")) : QString());
}

void TAnalyseFrm::btnCCClick() {
    guarded([this] {
        if (m_freeThread) return;  // one query at a time; the running one can be cancelled
        const QString text = mmSQL->toPlainText();
        if (!freeQueryAllowed(text)) {
            Dialogs::get().warning(freeQueryWarning());
            return;
        }
        // The previous result goes at once, its columns too: nothing on the page belongs to another query.
        clearFreeResult();
        // A connection that can only read, opened afresh on the account set in use: whatever got past the
        // checks could still not write, and after a restore it reads the account set restored.
        auto query = std::make_shared<FreeQuery>(m_accountSet, text);
        auto result = std::make_shared<FreeQueryResult>();
        m_freeQuery = query;
        m_freeThread = QThread::create([query, result] { *result = query->run(); });
        connect(m_freeThread, &QThread::finished, this, [this, result] {
            m_freeThread->deleteLater();
            m_freeThread = nullptr;
            m_freeQuery.reset();
            pnlRunningC->hide();
            btnCC->setEnabled(true);
            freeQueryDone(*result);
        });
        btnCC->setEnabled(false);
        pnlRunningC->show();
        m_freeThread->start();
    });
}

void TAnalyseFrm::btnCancelCClick() {
    if (m_freeQuery) m_freeQuery->cancel();
}

void TAnalyseFrm::stopFreeQuery() {
    if (!m_freeThread) return;
    m_freeQuery->cancel();
    m_freeThread->disconnect(this);
    m_freeThread->wait();
    delete m_freeThread;
    m_freeThread = nullptr;
    m_freeQuery.reset();
}

void TAnalyseFrm::clearFreeResult() {
    tdMainC->close();
    // Opened once with no fields, so that the grid drops the columns of the last result as well.
    tdMainC->defineFields({});
    tdMainC->openWithRows({});
    tdMainC->close();
}

void TAnalyseFrm::freeQueryDone(FreeQueryResult& result) {
    if (result.cancelled) return;
    if (!result.error.isEmpty()) {
        Dialogs::get().error(result.error);
        return;
    }
    guarded([this, &result] {
        BusyCursor busy;
        tdMainC->close();
        tdMainC->defineFields(result.fields);
        tdMainC->openWithRows(std::move(result.rows));
        fitColumns(grdMainC);
    });
    QStringList cut;
    if (result.truncated) cut << freeQueryTruncatedMessage(FreeQuery::defaultRowLimit);
    if (result.valuesCut) cut << freeQueryCutMessage();
    if (!cut.isEmpty()) Dialogs::get().information(cut.join(QStringLiteral("\n\n")));
}

void TAnalyseFrm::fitColumns(TMyDBGrid* grid) {
    grid->resizeColumnsToContents();
    // The header measures the first rows only; in a long result the widest group name may come much
    // later, so rows spread over the whole result are measured as well.
    const QAbstractItemModel* model = grid->model();
    const int rows = model->rowCount();
    const int step = std::max(1, rows / 2000);
    const QFontMetrics metrics = grid->fontMetrics();
    for (int c = 0; c < model->columnCount(); ++c) {
        int width = grid->columnWidth(c);
        for (int r = 0; r < rows; r += step)
            width = std::max(width, metrics.horizontalAdvance(model->index(r, c).data().toString()) + 8);
        grid->setColumnWidth(c, qBound(64, width + 12, 240));
    }
}

TMyDBGrid* TAnalyseFrm::activeGrid() const {
    switch (PageControl1->currentIndex()) {
        case 0:
            return grdMainA;
        case 1:
            return grdMainB;
        case 2:
            return grdMainC;
        case 3:
            return grdMainD;
        default:
            return nullptr;
    }
}

void TAnalyseFrm::popSortClick() {
    guarded([this] {
        TMyDBGrid* grid = activeGrid();
        // Nothing to sort before a result is there or while no column is chosen.
        if (!grid || !grid->dataSet() || !grid->dataSet()->isOpen() || grid->selectedField().isEmpty())
            return;
        BusyCursor busy;
        sortBySelectedColumn(grid);
    });
}

void TAnalyseFrm::btnExAClick() {
    guarded([this] { ExportGridToExcel(grdMainA); });
}

void TAnalyseFrm::btnExBClick() {
    guarded([this] { ExportGridToExcel(grdMainB); });
}

void TAnalyseFrm::btnExCClick() {
    guarded([this] { ExportGridToExcel(grdMainC); });
}

void TAnalyseFrm::btnExDClick() {
    guarded([this] { ExportGridToExcel(grdMainD); });
}

void TAnalyseFrm::popExportClick() {
    guarded([this] {
        if (TMyDBGrid* grid = activeGrid()) ExportGridToExcel(grid);
    });
}

}  // namespace hx
