#include "gui/piecework/jobdata.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/data/clock.h"
#include "core/data/datamodule.h"
#include "core/data/myfuns_lists.h"
#include "core/data/values.h"
#include "core/piecework/jobtotals.h"
#include "gui/exchange/importdialog.h"
#include "gui/widgets/combolists.h"
#include "gui/widgets/dialogs.h"
#include "gui/widgets/export.h"
#include "gui/widgets/listops.h"
#include "gui/widgets/mydbgrid.h"
#include "gui/widgets/pickobj.h"

namespace hx {

namespace {

const QString staffHelp = QString::fromUtf8(R"help(1.  选择”员工“条件后，才可以录入数据。

2.  工序栏中按[Alt]+[Enter]键，弹出工序选择窗口。
[Enter]键或双击选中工序，[Esc]键取消操作。

3.  点选“选择工序时限制款式“并选择一个款式号，
弹出窗口中将只列出该款式工序及通用工序。

4.  弹出窗口中不列出已“完工”工序。

5.  《工价金额查询》页也可以执行编辑修改操作。


*录入或修改时注意：每行数据必须完整且不可完全重复，否则操作会被取消。)help");

const QString jobHelp = QString::fromUtf8(R"help(1.  选择”工序“条件后，才可以录入数据。

2.  工号姓名栏中按[Alt]+[Enter]键，弹出员工选择窗口。
[Enter]键或双击选中员工，[Esc]键取消操作。

3.  点选“选择员工时限制班组“并选择一个具体班组，弹
出窗口中将只列出该班组的员工及无班组员工。

4.  弹出窗口中不列出已“辞退”员工。

5.  《工价金额查询》页也可以执行编辑修改操作。


*录入或修改时注意：每行数据必须完整且不可完全重复，否则操作会被取消。)help");

const QString queryHelp = QString::fromUtf8(R"help(1.  员工及工序条件为空，视为不限条件。

2.  选好条件后，点击最右边“OK”按钮，将列出对应数据。


*录入或修改时注意：每行数据必须完整且不可完全重复，否则操作会被取消。)help");

const QString noWorkerMessage = QStringLiteral("请指定员工！");
const QString noProcessMessage = QStringLiteral("请指定工序！");

const QString fDate = QStringLiteral("dateD");
const QString fStaff = QStringLiteral("staffID");
const QString fJob = QStringLiteral("jobID");
const QString fQty = QStringLiteral("qty");
const QString fPrice = QStringLiteral("unitPrice");
const QString fAmount = QStringLiteral("tmy");

QString piecesTooLargeMessage() {
    return QStringLiteral(
               "“数量”不能超过 %1 件（一名员工一天做一道工序的件数），也不能少于 -%1 件。"
               "请检查输入。")
        .arg(maxPiecesPerRecord);
}

// Refuses a count beyond the bound as it is typed, before it reaches the row.
void checkPieces(const QVariant& value) {
    static const QRegularExpression whole(QStringLiteral("^\\s*[+-]?\\d+\\s*$"));
    if (!value.isValid() || value.isNull()) return;
    const auto pieces = convertToFieldType(value, FieldType::Integer);
    if (pieces && !pieces->isNull()) {
        bool ok = false;
        const qint64 n = pieces->toLongLong(&ok);
        if (ok && n <= maxPiecesPerRecord && n >= -maxPiecesPerRecord) return;
        throw DbError(piecesTooLargeMessage());
    }
    // A whole number too long for any count.
    if (value.toString().contains(whole)) throw DbError(piecesTooLargeMessage());
}

// The work number of a worker box's text: what comes before the first blank; nothing without a blank.
QString workNumberOf(const QString& text) {
    const int blank = text.indexOf(QLatin1Char(' '));
    return blank < 0 ? QString() : text.left(blank);
}

// A key typed or set as any value; 0 for a value that is no whole number.
bool namesNobody(const QVariant& key) {
    if (!key.isValid() || key.isNull()) return false;  // missing: the database refuses it
    const auto n = convertToFieldType(key, FieldType::Integer);
    return n && !n->isNull() && n->toLongLong() == 0;
}

// A cell's text as the get-text handler hands it back: never null, since null asks for the default text.
QString shownText(const QString& text) {
    return text.isNull() ? QString(QLatin1String("")) : text;
}

QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignVCenter | Qt::AlignRight);
    return label;
}

QDateEdit* datePicker(const QString& name, QWidget* parent) {
    auto* edit = new QDateEdit(parent);
    edit->setObjectName(name);
    edit->setCalendarPopup(true);
    edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    edit->setFixedWidth(100);
    return edit;
}

QComboBox* dropDown(const QString& name, bool editable, int width, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(editable);
    if (editable) box->setInsertPolicy(QComboBox::NoInsert);
    box->setMaxVisibleItems(20);
    box->setFixedWidth(width);
    return box;
}

GridColumn column(const QString& field, const QString& title, int width, bool readOnly = false,
                  bool button = false) {
    GridColumn c(field, title, width);
    c.readOnly = readOnly;
    c.hasButton = button;
    // Worker and process keys show as texts, which read from the left.
    if (field == fStaff || field == fJob) c.alignment = Qt::AlignLeft;
    return c;
}

}  // namespace

QString TjobDataFrm::staffHelpText() {
    return staffHelp;
}
QString TjobDataFrm::jobHelpText() {
    return jobHelp;
}
QString TjobDataFrm::queryHelpText() {
    return queryHelp;
}
QString TjobDataFrm::deleteQuestion() {
    return QStringLiteral("确定要删除该条记录吗？");
}

TjobDataFrm::TjobDataFrm(QWidget* parent) : WorkWindow(parent) {
    buildWindow();
    FormCreate();
}

TjobDataFrm::~TjobDataFrm() = default;

// ---- building

void TjobDataFrm::buildWindow() {
    frameWindow(QStringLiteral("jobDataFrm"), QStringLiteral("计件数"), QSize(613, 469));

    Connection* cn = &dataFrm()->cnMain;
    tdMain = new DataSet(cn, this);
    tdMain->setObjectName(QStringLiteral("tdMain"));
    tdSum = new DataSet(cn, this);
    tdSum->setObjectName(QStringLiteral("tdSum"));

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->addTab(buildStaffPage(), QStringLiteral("按人录入"));
    PageControl1->addTab(buildJobPage(), QStringLiteral("按工序录入"));
    PageControl1->addTab(buildQueryPage(), QStringLiteral("工价金额查询"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageControl1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    poSort = PopupMenu1->addAction(QStringLiteral("排序"));
    poSort->setObjectName(QStringLiteral("poSort"));
    PopupMenu1->addSeparator();
    poDelete = PopupMenu1->addAction(QStringLiteral("删除"));
    poDelete->setObjectName(QStringLiteral("poDelete"));
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(exportCommandText(), this, &TjobDataFrm::poExportClick)
        ->setObjectName(QStringLiteral("poExport"));
    PopupMenu1
        ->addAction(importCommandText(), this,
                    [this] {
                        importFromSpreadsheet(
                            this, ImportTarget::PieceWork, [this] { return storePendingEdit(); },
                            [this] {
                                if (!tdMain->isOpen()) return;
                                tdMain->requery();
                                readTotals();
                            });
                    })
        ->setObjectName(QStringLiteral("poImport"));
    connect(poSort, &QAction::triggered, this, &TjobDataFrm::poSortClick);
    connect(poDelete, &QAction::triggered, this, &TjobDataFrm::poDeleteClick);

    const QVector<GridColumn> query = {column(fDate, QStringLiteral("日期"), 84),
                                       column(fStaff, QStringLiteral("工号姓名"), 120, true, true),
                                       column(fJob, QStringLiteral("工序"), 156, true, true),
                                       column(fQty, QStringLiteral("数量"), 40),
                                       column(fPrice, QStringLiteral("工价"), 60, true),
                                       column(fAmount, QStringLiteral("金额"), 92, true)};
    grdStaffData->setDataSet(tdMain);
    grdStaffData->setColumns({column(fJob, QStringLiteral("工序"), 216, true, true),
                              column(fQty, QStringLiteral("数量"), 65),
                              column(fPrice, QStringLiteral("工价"), 93, true),
                              column(fAmount, QStringLiteral("金额"), 130, true)});
    grdJobData->setDataSet(tdMain);
    grdJobData->setColumns({column(fStaff, QStringLiteral("工号姓名"), 177, true, true),
                            column(fQty, QStringLiteral("数量"), 68),
                            column(fPrice, QStringLiteral("工价"), 99, true),
                            column(fAmount, QStringLiteral("金额"), 138, true)});
    grdQuery->setDataSet(tdMain);
    grdQuery->setColumns(query);
    for (TMyDBGrid* grid : {grdStaffData, grdJobData, grdQuery}) {
        setGridMenu(grid, PopupMenu1);
        sortOnTitleClick(grid, poSort);
        grid->installEventFilter(this);
    }
    PageControl1->tabBar()->installEventFilter(this);

    connect(grdStaffData, &TMyDBGrid::editButtonClicked, this, &TjobDataFrm::grdStaffDataEditButtonClick);
    connect(grdJobData, &TMyDBGrid::editButtonClicked, this, &TjobDataFrm::grdJobDataEditButtonClick);
    connect(grdQuery, &TMyDBGrid::editButtonClicked, this, &TjobDataFrm::grdQueryEditButtonClick);
    connect(chkStyleLimit, &QCheckBox::toggled, this, &TjobDataFrm::chkStyleLimitClick);
    connect(chkGroupLimit, &QCheckBox::toggled, this, &TjobDataFrm::chkGroupLimitClick);
    connect(cbbStaff, &QComboBox::currentTextChanged, this, &TjobDataFrm::cbbStaffChange);
    connect(cbbDateStaff, &QDateEdit::dateChanged, this, &TjobDataFrm::cbbDateStaffChange);
    connect(cbbJob, &QComboBox::currentTextChanged, this, &TjobDataFrm::cbbJobChange);
    connect(cbbDateJob, &QDateEdit::dateChanged, this, &TjobDataFrm::cbbDateJobChange);
    connect(btnApply, &QToolButton::clicked, this, &TjobDataFrm::btnApplyClick);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 0) tabStaffShow();
        if (index == 1) tabJobShow();
        if (index == 2) tabQueryShow();
    });
    // An entry page starts from a new choice whenever the focus comes into it from elsewhere in the
    // window (a page tab, another page). Dialogs over the window and other programs do not count.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (!old || !now || old->window() != this || now->window() != this) return;
        if (tabStaff->isAncestorOf(now) && !tabStaff->isAncestorOf(old)) tabStaffEnter();
        if (tabJob->isAncestorOf(now) && !tabJob->isAncestorOf(old)) tabJobEnter();
    });

    wireDataSets();
}

QFrame* TjobDataFrm::conditionStrip(QWidget* page) {
    auto* strip = new QFrame(page);
    strip->setFixedHeight(31);
    strip->setContextMenuPolicy(Qt::PreventContextMenu);
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(6, 3, 6, 3);
    row->setSpacing(4);
    return strip;
}

TjobDataFrm::Totals TjobDataFrm::totalsStrip(QWidget* page, const QString& suffix) {
    auto* strip = new QFrame(page);
    strip->setFixedHeight(20);
    strip->setContextMenuPolicy(Qt::PreventContextMenu);
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(8, 0, 8, 0);
    row->setSpacing(4);
    Totals t;
    t.qty = new QLabel(strip);
    t.qty->setObjectName(QStringLiteral("dbQty") + suffix);
    t.qty->setMinimumWidth(90);
    t.tmy = new QLabel(strip);
    t.tmy->setObjectName(QStringLiteral("dbTmy") + suffix);
    t.tmy->setMinimumWidth(120);
    row->addWidget(new QLabel(QStringLiteral("合计数:"), strip));
    row->addWidget(t.qty);
    row->addSpacing(20);
    row->addWidget(new QLabel(QStringLiteral("合计金额:"), strip));
    row->addWidget(t.tmy);
    row->addStretch(1);
    page->layout()->addWidget(strip);
    return t;
}

TMyDBGrid* TjobDataFrm::entryGrid(QWidget* page, const QString& name) {
    auto* grid = new TMyDBGrid(page);
    grid->setObjectName(name);
    page->layout()->addWidget(grid);
    return grid;
}

QWidget* TjobDataFrm::buildStaffPage() {
    tabStaff = new QWidget(this);
    tabStaff->setObjectName(QStringLiteral("tabStaff"));
    auto* layout = new QVBoxLayout(tabStaff);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QFrame* strip = conditionStrip(tabStaff);
    auto* row = static_cast<QHBoxLayout*>(strip->layout());
    cbbDateStaff = datePicker(QStringLiteral("cbbDateStaff"), strip);
    cbbStaff = dropDown(QStringLiteral("cbbStaff"), true, 150, strip);
    chkStyleLimit = new QCheckBox(QStringLiteral("选择工序时限定款式"), strip);
    chkStyleLimit->setObjectName(QStringLiteral("chkStyleLimit"));
    cbbStyleLimit = dropDown(QStringLiteral("cbbStyleLimit"), false, 110, strip);
    cbbStyleLimit->hide();
    row->addWidget(caption(QStringLiteral("日期"), strip));
    row->addWidget(cbbDateStaff);
    row->addSpacing(10);
    row->addWidget(caption(QStringLiteral("员工"), strip));
    row->addWidget(cbbStaff);
    row->addSpacing(10);
    row->addWidget(chkStyleLimit);
    row->addWidget(cbbStyleLimit);
    row->addStretch(1);
    layout->addWidget(strip);
    grdStaffData = entryGrid(tabStaff, QStringLiteral("grdStaffData"));
    grdStaffData->setAlwaysShowEditor(true);
    m_totals[0] = totalsStrip(tabStaff, QStringLiteral("Staff"));
    return tabStaff;
}

QWidget* TjobDataFrm::buildJobPage() {
    tabJob = new QWidget(this);
    tabJob->setObjectName(QStringLiteral("tabJob"));
    auto* layout = new QVBoxLayout(tabJob);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QFrame* strip = conditionStrip(tabJob);
    auto* row = static_cast<QHBoxLayout*>(strip->layout());
    cbbDateJob = datePicker(QStringLiteral("cbbDateJob"), strip);
    cbbJob = dropDown(QStringLiteral("cbbJob"), true, 150, strip);
    chkGroupLimit = new QCheckBox(QStringLiteral("选择员工时限定班组"), strip);
    chkGroupLimit->setObjectName(QStringLiteral("chkGroupLimit"));
    cbbGroupLimit = dropDown(QStringLiteral("cbbGroupLimit"), false, 110, strip);
    cbbGroupLimit->hide();
    row->addWidget(caption(QStringLiteral("日期"), strip));
    row->addWidget(cbbDateJob);
    row->addSpacing(10);
    row->addWidget(caption(QStringLiteral("工序"), strip));
    row->addWidget(cbbJob);
    row->addSpacing(10);
    row->addWidget(chkGroupLimit);
    row->addWidget(cbbGroupLimit);
    row->addStretch(1);
    layout->addWidget(strip);
    grdJobData = entryGrid(tabJob, QStringLiteral("grdJobData"));
    grdJobData->setAlwaysShowEditor(true);
    m_totals[1] = totalsStrip(tabJob, QStringLiteral("Job"));
    return tabJob;
}

QWidget* TjobDataFrm::buildQueryPage() {
    tabQuery = new QWidget(this);
    tabQuery->setObjectName(QStringLiteral("tabQuery"));
    auto* layout = new QVBoxLayout(tabQuery);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QFrame* strip = conditionStrip(tabQuery);
    auto* row = static_cast<QHBoxLayout*>(strip->layout());
    conDateB = datePicker(QStringLiteral("conDateB"), strip);
    conDateE = datePicker(QStringLiteral("conDateE"), strip);
    conStaff = dropDown(QStringLiteral("conStaff"), true, 130, strip);
    conJob = dropDown(QStringLiteral("conJob"), true, 110, strip);
    btnApply = new QToolButton(strip);
    btnApply->setObjectName(QStringLiteral("btnApply"));
    btnApply->setText(QStringLiteral("OK"));
    btnApply->setAutoRaise(true);
    btnApply->setFixedSize(22, 22);
    btnApply->setCursor(Qt::PointingHandCursor);
    QFont bold = btnApply->font();
    bold.setBold(true);
    btnApply->setFont(bold);
    QPalette green = btnApply->palette();
    green.setColor(QPalette::ButtonText, QColor(0, 128, 0));
    btnApply->setPalette(green);
    row->addWidget(caption(QStringLiteral("从"), strip));
    row->addWidget(conDateB);
    row->addSpacing(6);
    row->addWidget(caption(QStringLiteral("到"), strip));
    row->addWidget(conDateE);
    row->addSpacing(6);
    row->addWidget(caption(QStringLiteral("员工"), strip));
    row->addWidget(conStaff);
    row->addSpacing(6);
    row->addWidget(caption(QStringLiteral("工序"), strip));
    row->addWidget(conJob);
    row->addStretch(1);
    row->addWidget(btnApply);
    layout->addWidget(strip);
    grdQuery = entryGrid(tabQuery, QStringLiteral("grdQuery"));
    m_totals[2] = totalsStrip(tabQuery, QStringLiteral("Query"));
    return tabQuery;
}

void TjobDataFrm::wireDataSets() {
    // The piece rate comes from the process cache, as the cache was when the window opened.
    tdMain->addLookupField(fPrice, FieldType::Money, fJob, unitPriceValue, unitPriceFormat());
    tdMain->addCalculatedField(fAmount, FieldType::Money, currencyFormat());
    tdMain->onCalcFields = [this](DataSet& ds) { tdMainCalcFields(ds); };
    tdMain->onGetText = [this](const DataSet& ds, int field, const QVariant& value) {
        return tdMainGetText(ds, field, value);
    };
    tdMain->beforeInsert = [this](DataSet&) { tdMainBeforeInsert(); };
    tdMain->afterInsert = [this](DataSet& ds) { tdMainAfterInsert(ds); };
    tdMain->beforePost = [this](DataSet& ds) { tdMainBeforePost(ds); };
    tdMain->onValidate = [](DataSet& ds, int field, const QVariant& value) {
        if (ds.field(field).name.compare(fQty, Qt::CaseInsensitive) == 0) checkPieces(value);
    };
    // A row the database refuses (a text in 数量, a record repeated) stays in the grid, as typed, with
    // the reason told; so does a record that names nobody.
    keepRefusedRows(tdMain, {grdStaffData, grdJobData, grdQuery});
    tdMain->setShownAsText({fStaff, fJob});
    // After a row is stored or deleted the totals are read again; the list itself is not.
    tdMain->afterPost = [this](DataSet&) {
        if (tdSum->isOpen()) readTotals();
    };
    tdMain->afterDelete = [this](DataSet&) {
        if (tdSum->isOpen()) readTotals();
    };
    // One row: the pieces and the money of the records in view, read from the database.
    tdSum->defineFields({Field(fQty, FieldType::Integer), Field(fAmount, FieldType::Money)});
}

void TjobDataFrm::FormCreate() {
    setHelpText(staffHelp);
    installHelp();
    LoadStaffCache();
    LoadJobCache();

    const QDate today = hx::today();
    for (QDateEdit* edit : {cbbDateStaff, cbbDateJob, conDateB, conDateE}) {
        const QSignalBlocker quiet(edit);
        edit->setDate(edit == conDateB ? today.addDays(-31) : today.addDays(-1));
    }
    m_staffID = 0;
    m_jobID = 0;

    // Read once when the window opens.
    FillCombo(currentWorkerTexts(), cbbStaff);
    FillCombo(processStyles(), cbbStyleLimit);
    FillCombo(currentProcessCodes(), cbbJob);
    FillCombo(classGroups(), cbbGroupLimit);
    FillCombo(currentWorkerTexts(), conStaff);
    FillCombo(currentProcessCodes(), conJob);

    for (TMyDBGrid* grid : {grdStaffData, grdJobData, grdQuery})
        grid->horizontalHeader()->setSectionsMovable(false);
}

// ---- pages

TjobDataFrm::Page TjobDataFrm::currentPage() const {
    switch (PageControl1->currentIndex()) {
        case 0:
            return Page::Staff;
        case 1:
            return Page::Job;
        default:
            return Page::Query;
    }
}

TMyDBGrid* TjobDataFrm::currentGrid() const {
    switch (currentPage()) {
        case Page::Staff:
            return grdStaffData;
        case Page::Job:
            return grdJobData;
        case Page::Query:
            break;
    }
    return grdQuery;
}

void TjobDataFrm::tabStaffShow() {
    setHelpText(staffHelp);
    installHelp();
}

void TjobDataFrm::tabJobShow() {
    setHelpText(jobHelp);
    installHelp();
}

void TjobDataFrm::tabQueryShow() {
    setHelpText(queryHelp);
    installHelp();
}

void TjobDataFrm::tabStaffEnter() {
    guarded([this] {
        if (!closeView()) return;
        m_choices.staff.clear();
        const QSignalBlocker quiet(cbbStaff);
        cbbStaff->setCurrentIndex(-1);
        cbbStaff->clearEditText();
    });
}

void TjobDataFrm::tabJobEnter() {
    guarded([this] {
        if (!closeView()) return;
        m_choices.job.clear();
        const QSignalBlocker quiet(cbbJob);
        cbbJob->setCurrentIndex(-1);
        cbbJob->clearEditText();
    });
}

void TjobDataFrm::chkStyleLimitClick() {
    cbbStyleLimit->setVisible(chkStyleLimit->isChecked());
}

void TjobDataFrm::chkGroupLimitClick() {
    cbbGroupLimit->setVisible(chkGroupLimit->isChecked());
}

// ---- views

bool TjobDataFrm::storePendingEdit() {
    if (!tdMain->isOpen()) return true;
    commitGridEditor(currentGrid());
    return tdMain->checkBrowseMode();
}

bool TjobDataFrm::closeView() {
    // What was typed is stored rather than lost with the list; a refused row keeps the list.
    if (!storePendingEdit()) return false;
    tdMain->close();
    tdSum->close();
    showTotals();
    return true;
}

void TjobDataFrm::restoreChoices() {
    const QSignalBlocker quietStaff(cbbStaff);
    const QSignalBlocker quietJob(cbbJob);
    const QSignalBlocker quietStaffDate(cbbDateStaff);
    const QSignalBlocker quietJobDate(cbbDateJob);
    cbbStaff->setCurrentText(m_choices.staff);
    cbbJob->setCurrentText(m_choices.job);
    if (m_choices.staffDate.isValid()) cbbDateStaff->setDate(m_choices.staffDate);
    if (m_choices.jobDate.isValid()) cbbDateJob->setDate(m_choices.jobDate);
}

namespace {

// The one row of the totals in view.
void fillSums(DataSet& sums, const PieceWorkTotals& totals) {
    sums.close();
    sums.open();
    sums.append();
    sums.setValue(fQty, totals.pieces ? QVariant(*totals.pieces) : QVariant());
    sums.setValue(fAmount, totals.amount ? QVariant::fromValue(*totals.amount) : QVariant());
    sums.post();
}

}  // namespace

bool TjobDataFrm::openView(const PieceFilter& filter) {
    if (!closeView()) return false;
    // After a row is stored or deleted the totals are summed again from the same filter.
    setQuery(*tdMain, pieceRecords(filter));
    m_filter = filter;
    tdMain->open();
    // The rows just read are the records in view: their totals without reading the month again.
    fillSums(*tdSum, sumPieceWork(dataFrm()->cnMain, *tdMain));
    showTotals();
    return true;
}

void TjobDataFrm::readTotals() {
    fillSums(*tdSum, sumPieceWork(dataFrm()->cnMain, m_filter));
    showTotals();
}

void TjobDataFrm::loadStaffView() {
    if (!openView(PieceFilter::workerDay(cbbDateStaff->date(), m_staffID))) return;
    m_choices.staff = cbbStaff->currentText();
    m_choices.staffDate = cbbDateStaff->date();
}

void TjobDataFrm::loadJobView() {
    if (!openView(PieceFilter::processDay(cbbDateJob->date(), m_jobID))) return;
    m_choices.job = cbbJob->currentText();
    m_choices.jobDate = cbbDateJob->date();
}

void TjobDataFrm::cbbStaffChange() {
    guarded([this] {
        // A refused row keeps its list, and the worker it was typed for.
        if (!storePendingEdit()) return restoreChoices();
        m_staffID = staffIdOf(workNumberOf(cbbStaff->currentText()));
        loadStaffView();
    });
}

void TjobDataFrm::cbbDateStaffChange() {
    if (cbbStaff->currentText().isEmpty()) return;
    guarded([this] {
        if (!storePendingEdit()) return restoreChoices();
        loadStaffView();
    });
}

void TjobDataFrm::cbbJobChange() {
    guarded([this] {
        if (!storePendingEdit()) return restoreChoices();
        m_jobID = jobIdOf(cbbJob->currentText());
        loadJobView();
    });
}

void TjobDataFrm::cbbDateJobChange() {
    if (cbbJob->currentText().isEmpty()) return;
    guarded([this] {
        if (!storePendingEdit()) return restoreChoices();
        loadJobView();
    });
}

void TjobDataFrm::btnApplyClick() {
    guarded([this] {
        const QString staffText = conStaff->currentText();
        const QString jobText = conJob->currentText();
        // An empty box means every worker (process).
        PieceFilter filter{conDateB->date(), conDateE->date(), {}, {}};
        if (!staffText.isEmpty()) filter.staffId = staffIdOf(workNumberOf(staffText));
        if (!jobText.isEmpty()) filter.jobId = jobIdOf(jobText);
        openView(filter);
    });
}

void TjobDataFrm::showTotals() {
    QString qty;
    QString tmy;
    if (tdSum->isOpen() && !tdSum->isEmpty()) {
        const QVariant pieces = tdSum->value(fQty);
        if (!pieces.isNull()) qty = QString::number(pieces.toLongLong());
        const QVariant amount = tdSum->value(fAmount);
        // In the look of the 金额 cells: the exact sum rounded once, as the pay sheet shows a piece wage.
        if (!amount.isNull()) tmy = formatCurrency(amount.value<Money>());
    }
    for (const Totals& t : m_totals) {
        t.qty->setText(qty);
        t.tmy->setText(tmy);
    }
}

// ---- picking

bool TjobDataFrm::mayAddRow(Page page, bool tell) {
    QComboBox* box = nullptr;
    QString message;
    if (page == Page::Staff && (cbbStaff->currentText().isEmpty() || m_staffID == 0)) {
        box = cbbStaff;
        message = noWorkerMessage;
    } else if (page == Page::Job && (cbbJob->currentText().isEmpty() || m_jobID == 0)) {
        box = cbbJob;
        message = noProcessMessage;
    }
    if (!box) return true;
    if (tell) {
        Dialogs::get().warning(message);
        box->setFocus();
    }
    return false;
}

bool TjobDataFrm::editForPick(TMyDBGrid* grid) {
    commitGridEditor(grid);
    if (tdMain->state() != DataSetState::Browse) return true;
    if (tdMain->isEmpty()) {
        if (!mayAddRow(currentPage(), true)) return false;
        tdMain->append();
    } else {
        tdMain->edit();
    }
    return true;
}

void TjobDataFrm::pickProcess(const Query& processes) {
    pickObject(processes, [this](int id) { tdMain->setValue(fJob, qint64(id)); });
}

void TjobDataFrm::pickWorker(const Query& workers) {
    pickObject(workers, [this](int id) { tdMain->setValue(fStaff, qint64(id)); });
}

void TjobDataFrm::grdStaffDataEditButtonClick() {
    guarded([this] {
        if (!tdMain->isOpen()) return;
        // The chosen style with the processes that have none; finished processes never.
        std::optional<QString> style;
        if (!cbbStyleLimit->isHidden() && cbbStyleLimit->currentIndex() >= 0)
            style = cbbStyleLimit->currentText();
        if (!editForPick(grdStaffData)) return;
        pickProcess(processPicks(style));
    });
}

void TjobDataFrm::grdJobDataEditButtonClick() {
    guarded([this] {
        if (!tdMain->isOpen()) return;
        std::optional<QString> group;
        if (!cbbGroupLimit->isHidden() && cbbGroupLimit->currentIndex() >= 0)
            group = cbbGroupLimit->currentText();
        if (!editForPick(grdJobData)) return;
        pickWorker(workerPicks(group));
    });
}

void TjobDataFrm::grdQueryEditButtonClick(int columnIndex) {
    guarded([this, columnIndex] {
        if (!tdMain->isOpen()) return;
        const auto& columns = grdQuery->dataModel()->columns();
        if (columnIndex < 0 || columnIndex >= columns.size()) return;
        if (!editForPick(grdQuery)) return;
        const QString field = columns[columnIndex].field;
        // The query page's pickers have no limits.
        if (field == fStaff)
            pickWorker(workerPicks());
        else if (field == fJob)
            pickProcess(processPicks());
    });
}

// ---- list commands

void TjobDataFrm::poSortClick() {
    guarded([this] { sortBySelectedColumn(currentGrid()); });
}

void TjobDataFrm::poDeleteClick() {
    guarded([this] { deleteCurrentRow(currentGrid(), [](const DataSet&) { return deleteQuestion(); }); });
}

void TjobDataFrm::poExportClick() {
    guarded([this] {
        commitGridEditor(currentGrid());
        // An entry page's rows share its day and its worker or process, which the grid does not show;
        // they go into the file as well, so that it can be imported again.
        const ExtraColumn day{QStringLiteral("日期"), fDate};
        switch (currentPage()) {
            case Page::Staff:
                return ExportGridToExcel(grdStaffData, {day, {QStringLiteral("工号姓名"), fStaff}});
            case Page::Job:
                return ExportGridToExcel(grdJobData, {day, {QStringLiteral("工序"), fJob}});
            case Page::Query:
                return ExportGridToExcel(grdQuery);
        }
    });
}

// ---- tdMain

void TjobDataFrm::tdMainBeforeInsert() {
    // The keys catch the ways of adding a row that did not ask first (down arrow and picker ask).
    const Page page = currentPage();
    if (!mayAddRow(page, false)) throw Error(page == Page::Staff ? noWorkerMessage : noProcessMessage);
}

void TjobDataFrm::tdMainAfterInsert(DataSet& ds) {
    switch (currentPage()) {
        case Page::Staff:
            ds.setValue(fStaff, qint64(m_staffID));
            ds.setValue(fDate, cbbDateStaff->date());
            break;
        case Page::Job:
            ds.setValue(fJob, qint64(m_jobID));
            ds.setValue(fDate, cbbDateJob->date());
            break;
        case Page::Query:
            break;
    }
}

void TjobDataFrm::tdMainBeforePost(DataSet& ds) {
    // A record that names nobody as its worker or process is refused as the database refuses a row.
    if (namesNobody(ds.value(fStaff))) throw FieldRefusal(ds.fieldIndex(fStaff), noWorkerMessage);
    if (namesNobody(ds.value(fJob))) throw FieldRefusal(ds.fieldIndex(fJob), noProcessMessage);
}

int TjobDataFrm::CalcFieldIndexes::of(const DataSet& ds, int& index, const QString& name) {
    if (index < 0 || index >= ds.fieldCount() || ds.field(index).name != name) index = ds.fieldIndex(name);
    return index;
}

void TjobDataFrm::tdMainCalcFields(DataSet& ds) {
    // Runs for every row shown, and for every row of a month that a filter or an export walks: the
    // fields are found by position once, not by name every time.
    CalcFieldIndexes& f = m_calcFields;
    const auto qty = convertToFieldType(ds.value(f.of(ds, f.qty, fQty)), FieldType::Integer);
    const QVariant price = ds.value(f.of(ds, f.price, fPrice));
    const qint64 pieces = qty && !qty->isNull() ? qty->toLongLong() : 0;
    QVariant amount;
    try {
        amount = QVariant::fromValue(Money::fromVariant(price) * pieces);
    } catch (const MoneyOverflowError&) {
        // A record stored before counts were bounded: no amount rather than a wrong one.
    }
    ds.setValue(f.of(ds, f.amount, fAmount), amount);
}

QString TjobDataFrm::tdMainGetText(const DataSet& ds, int field, const QVariant& value) const {
    const QString& name = ds.field(field).name;
    const bool empty = !value.isValid() || value.isNull();
    // A key the cache does not hold (a deleted worker or process, or nobody) shows an empty cell.
    if (name == fStaff) return shownText(empty ? QString() : staffCodeOf(int(value.toLongLong())));
    if (name == fJob) return shownText(empty ? QString() : jobCodeOf(int(value.toLongLong())));
    return QString();
}

// ---- closing and keys

bool TjobDataFrm::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) setHelpText(staffHelp);
    return WorkWindow::event(event);  // which installs the help
}

void TjobDataFrm::closeEvent(QCloseEvent* event) {
    // A refused row keeps the window open, with the row to correct or to drop with Esc.
    bool stored = true;
    guarded([&] { stored = storePendingEdit(); });
    if (!stored) {
        event->ignore();
        return;
    }
    ClearCaches();
    WorkWindow::closeEvent(event);
}

bool TjobDataFrm::eventFilter(QObject* watched, QEvent* event) {
    // Another page is not shown while the row typed on this one is refused.
    if (watched == PageControl1->tabBar() && event->type() == QEvent::MouseButtonPress) {
        bool stored = true;
        guarded([&] { stored = storePendingEdit(); });
        if (!stored) return true;
    }
    auto* grid = qobject_cast<TMyDBGrid*>(watched);
    if (event->type() != QEvent::KeyPress || !grid ||
        (grid != grdStaffData && grid != grdJobData && grid != grdQuery))
        return WorkWindow::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    // The grid answers Ctrl+Enter in a picker cell; the help texts name Alt+Enter, which works as well.
    // An empty entry list has no cell yet: the keys then open the picker of its one picker column, which
    // adds the first row.
    const bool alt = key->modifiers() & Qt::AltModifier;
    const bool ctrl = key->modifiers() & Qt::ControlModifier;
    if (enter && (alt || ctrl)) {
        int columnIndex = grid->selectedIndex();
        const bool noCell = columnIndex < 0;
        if (noCell && grid != grdQuery) columnIndex = 0;
        if ((alt || noCell) && columnIndex >= 0 && columnIndex < grid->dataModel()->columns().size() &&
            grid->dataModel()->column(columnIndex).hasButton) {
            emit grid->editButtonClicked(columnIndex);
            return true;
        }
    }
    // The down arrow on the last row adds a row: the entry pages ask for their worker or process first.
    if (key->key() == Qt::Key_Down && !(key->modifiers() & Qt::ControlModifier) && grid != grdQuery &&
        tdMain->isOpen()) {
        const bool onLast = tdMain->isEmpty() || tdMain->recNo() == tdMain->recordCount() - 1;
        const bool onUntouchedNewRow = tdMain->state() == DataSetState::Insert && !tdMain->isModified();
        if (onLast && !onUntouchedNewRow && !mayAddRow(grid == grdStaffData ? Page::Staff : Page::Job, true))
            return true;
    }
    return WorkWindow::eventFilter(watched, event);
}

}  // namespace hx
