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
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/data/clock.h"
#include "core/data/datamodule.h"
#include "core/data/myfuns_lists.h"
#include "core/data/values.h"
#include "core/piecework/jobtotals.h"
#include "gui/exchange/importdialog.h"
#include "gui/piecework/scanpage.h"
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

// Field names are told apart as the database tells column names apart: whatever the case of their
// letters (a server gives them back in lower case).
bool sameName(const QString& field, const QString& name) {
    return field.compare(name, Qt::CaseInsensitive) == 0;
}

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

// A change of a record that holds ticket pieces, called off by the clerk who was asked to release them:
// the row stays in edit as typed, on the field named, and nothing more is told (the question said why).
class TicketsKept : public DbError {
  public:
    explicit TicketsKept(int field) : DbError(QString()), m_field(field) {}
    int field() const { return m_field; }

  private:
    int m_field;
};

// The record that a row's values make; nothing when one of them is missing or no value of its field (the
// post refuses such a row by itself).
std::optional<PieceRecord> recordOf(const DataSet& ds, bool asStored) {
    const auto get = [&](const QString& field, FieldType type) -> std::optional<QVariant> {
        const auto v = convertToFieldType(asStored ? ds.valueAsStored(field) : ds.value(field), type);
        if (!v || v->isNull()) return std::nullopt;
        return v;
    };
    const auto day = get(fDate, FieldType::Date);
    const auto staff = get(fStaff, FieldType::Integer);
    const auto job = get(fJob, FieldType::Integer);
    const auto qty = get(fQty, FieldType::Integer);
    if (!day || !staff || !job || !qty) return std::nullopt;
    return PieceRecord{day->toDate(), staff->toLongLong(), job->toLongLong(), qty->toLongLong()};
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
QString TjobDataFrm::scanHelpText() {
    return TicketScanPage::helpText();
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

    EntryPage& byWorker = m_entries[0];
    byWorker.page = Page::Staff;
    byWorker.name = QStringLiteral("Staff");
    byWorker.choiceCaption = QStringLiteral("员工");
    byWorker.choiceTitle = QStringLiteral("工号姓名");
    byWorker.choiceField = fStaff;
    byWorker.pickedField = fJob;
    byWorker.limitName = QStringLiteral("StyleLimit");
    byWorker.limitCaption = QStringLiteral("选择工序时限定款式");
    byWorker.helpText = staffHelp;
    byWorker.noChoiceMessage = noWorkerMessage;
    byWorker.choices = currentWorkerTexts;
    byWorker.limits = processStyles;
    byWorker.idOfChoice = [](const QString& text) { return staffIdOf(workNumberOf(text)); };
    byWorker.filterOf = PieceFilter::workerDay;
    // The chosen style with the processes that have none; finished processes never.
    byWorker.picks = [](const std::optional<QString>& style) { return processPicks(style); };

    EntryPage& byProcess = m_entries[1];
    byProcess.page = Page::Job;
    byProcess.name = QStringLiteral("Job");
    byProcess.choiceCaption = QStringLiteral("工序");
    byProcess.choiceTitle = QStringLiteral("工序");
    byProcess.choiceField = fJob;
    byProcess.pickedField = fStaff;
    byProcess.limitName = QStringLiteral("GroupLimit");
    byProcess.limitCaption = QStringLiteral("选择员工时限定班组");
    byProcess.helpText = jobHelp;
    byProcess.noChoiceMessage = noProcessMessage;
    byProcess.choices = currentProcessCodes;
    byProcess.limits = classGroups;
    byProcess.idOfChoice = jobIdOf;
    byProcess.filterOf = PieceFilter::processDay;
    byProcess.picks = [](const std::optional<QString>& group) { return workerPicks(group); };

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->addTab(buildEntryPage(byWorker, {column(fJob, QStringLiteral("工序"), 216, true, true),
                                                   column(fQty, QStringLiteral("数量"), 65),
                                                   column(fPrice, QStringLiteral("工价"), 93, true),
                                                   column(fAmount, QStringLiteral("金额"), 130, true)}),
                         QStringLiteral("按人录入"));
    PageControl1->addTab(
        buildEntryPage(byProcess, {column(fStaff, QStringLiteral("工号姓名"), 177, true, true),
                                   column(fQty, QStringLiteral("数量"), 68),
                                   column(fPrice, QStringLiteral("工价"), 99, true),
                                   column(fAmount, QStringLiteral("金额"), 138, true)}),
        QStringLiteral("按工序录入"));
    PageControl1->addTab(buildQueryPage(), QStringLiteral("工价金额查询"));
    tabScan = new TicketScanPage(this);
    PageControl1->addTab(tabScan, QStringLiteral("扫描菲票"));
    connect(tabScan, &TicketScanPage::recordsChanged, this, [this] { m_viewStale = true; });
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
    grdQuery->setDataSet(tdMain);
    grdQuery->setColumns(query);
    for (TMyDBGrid* grid : {m_entries[0].grid, m_entries[1].grid, grdQuery}) {
        setGridMenu(grid, PopupMenu1);
        sortOnTitleClick(grid, poSort);
        grid->installEventFilter(this);
    }
    PageControl1->tabBar()->installEventFilter(this);

    connect(m_entries[0].grid, &TMyDBGrid::editButtonClicked, this,
            &TjobDataFrm::grdStaffDataEditButtonClick);
    connect(m_entries[1].grid, &TMyDBGrid::editButtonClicked, this, &TjobDataFrm::grdJobDataEditButtonClick);
    connect(grdQuery, &TMyDBGrid::editButtonClicked, this, &TjobDataFrm::grdQueryEditButtonClick);
    connect(m_entries[0].limit, &QCheckBox::toggled, this, &TjobDataFrm::chkStyleLimitClick);
    connect(m_entries[1].limit, &QCheckBox::toggled, this, &TjobDataFrm::chkGroupLimitClick);
    connect(m_entries[0].choice, &QComboBox::currentTextChanged, this, &TjobDataFrm::cbbStaffChange);
    connect(m_entries[0].date, &QDateEdit::dateChanged, this, &TjobDataFrm::cbbDateStaffChange);
    connect(m_entries[1].choice, &QComboBox::currentTextChanged, this, &TjobDataFrm::cbbJobChange);
    connect(m_entries[1].date, &QDateEdit::dateChanged, this, &TjobDataFrm::cbbDateJobChange);
    connect(btnApply, &QToolButton::clicked, this, &TjobDataFrm::btnApplyClick);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index < 3) {
            m_dataPage = index;
            refreshStaleView();
        }
        if (index == 0) tabStaffShow();
        if (index == 1) tabJobShow();
        if (index == 2) tabQueryShow();
        if (index == 3) tabScanShow();
    });
    // An entry page starts from a new choice whenever the focus comes into it from elsewhere in the
    // window (a page tab, another page). Dialogs over the window and other programs do not count.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (!old || !now || old->window() != this || now->window() != this) return;
        for (EntryPage& entry : m_entries)
            if (entry.tab->isAncestorOf(now) && !entry.tab->isAncestorOf(old)) enterPage(entry);
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

QWidget* TjobDataFrm::buildEntryPage(EntryPage& entry, const QVector<GridColumn>& columns) {
    entry.tab = new QWidget(this);
    entry.tab->setObjectName(QStringLiteral("tab") + entry.name);
    auto* layout = new QVBoxLayout(entry.tab);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QFrame* strip = conditionStrip(entry.tab);
    auto* row = static_cast<QHBoxLayout*>(strip->layout());
    entry.date = datePicker(QStringLiteral("cbbDate") + entry.name, strip);
    entry.choice = dropDown(QStringLiteral("cbb") + entry.name, true, 150, strip);
    entry.limit = new QCheckBox(entry.limitCaption, strip);
    entry.limit->setObjectName(QStringLiteral("chk") + entry.limitName);
    entry.limitBox = dropDown(QStringLiteral("cbb") + entry.limitName, false, 110, strip);
    entry.limitBox->hide();
    row->addWidget(caption(QStringLiteral("日期"), strip));
    row->addWidget(entry.date);
    row->addSpacing(10);
    row->addWidget(caption(entry.choiceCaption, strip));
    row->addWidget(entry.choice);
    row->addSpacing(10);
    row->addWidget(entry.limit);
    row->addWidget(entry.limitBox);
    row->addStretch(1);
    layout->addWidget(strip);
    entry.grid = entryGrid(entry.tab, QStringLiteral("grd%1Data").arg(entry.name));
    entry.grid->setAlwaysShowEditor(true);
    entry.grid->setDataSet(tdMain);
    entry.grid->setColumns(columns);
    m_totals[entry.page == Page::Staff ? 0 : 1] = totalsStrip(entry.tab, entry.name);
    return entry.tab;
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
    tdMain->beforeDelete = [this](DataSet& ds) { tdMainBeforeDelete(ds); };
    tdMain->onValidate = [](DataSet& ds, int field, const QVariant& value) {
        if (sameName(ds.field(field).name, fQty)) checkPieces(value);
    };
    // A row the database refuses (a text in 数量, a record repeated) stays in the grid, as typed, with
    // the reason told; so does a record that names nobody.
    keepRefusedRows(tdMain, {m_entries[0].grid, m_entries[1].grid, grdQuery});
    // A release of tickets goes with the change it was for; a change the clerk kept from releasing them
    // stays in edit as typed, already told.
    tdMain->onPostError = [this, tell = tdMain->onPostError](DataSet& ds, const DbError& error) {
        m_release.reset();
        if (const auto* kept = dynamic_cast<const TicketsKept*>(&error)) {
            currentGrid()->showRefusedCell(kept->field());
            return PostErrorAction::Abort;
        }
        return tell(ds, error);
    };
    tdMain->setShownAsText({fStaff, fJob});
    // After a row is stored or deleted the totals are summed again; the list itself is not read again.
    tdMain->afterPost = [this](DataSet&) {
        finishRelease();
        if (tdSum->isOpen()) readTotals();
    };
    tdMain->afterDelete = [this](DataSet&) {
        finishRelease();
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
    for (QDateEdit* edit : {m_entries[0].date, m_entries[1].date, conDateB, conDateE}) {
        const QSignalBlocker quiet(edit);
        edit->setDate(edit == conDateB ? today.addDays(-31) : today.addDays(-1));
    }
    // Read once when the window opens.
    for (EntryPage& entry : m_entries) {
        entry.chosenId = 0;
        FillCombo(entry.choices(), entry.choice);
        FillCombo(entry.limits(), entry.limitBox);
    }
    FillCombo(currentWorkerTexts(), conStaff);
    FillCombo(currentProcessCodes(), conJob);
    tabScan->load();

    for (TMyDBGrid* grid : {m_entries[0].grid, m_entries[1].grid, grdQuery})
        grid->horizontalHeader()->setSectionsMovable(false);
}

// ---- pages

TjobDataFrm::Page TjobDataFrm::currentPage() const {
    switch (PageControl1->currentIndex()) {
        case 0:
            return Page::Staff;
        case 1:
            return Page::Job;
        case 2:
            return Page::Query;
        default:
            return Page::Scan;
    }
}

TMyDBGrid* TjobDataFrm::currentGrid() const {
    // On the scan page, the grid of tdMain shown last.
    const int page = PageControl1->currentIndex() < 3 ? PageControl1->currentIndex() : m_dataPage;
    return page == 0 || page == 1 ? m_entries[page].grid : grdQuery;
}

TjobDataFrm::EntryPage* TjobDataFrm::currentEntry() {
    const int page = PageControl1->currentIndex();
    return page == 0 || page == 1 ? &m_entries[page] : nullptr;
}

TjobDataFrm::EntryPage* TjobDataFrm::entryOf(const TMyDBGrid* grid) {
    for (EntryPage& entry : m_entries)
        if (entry.grid == grid) return &entry;
    return nullptr;
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

void TjobDataFrm::tabScanShow() {
    setHelpText(TicketScanPage::helpText());
    installHelp();
    tabScan->enter();
}

void TjobDataFrm::refreshStaleView() {
    if (!m_viewStale) return;
    guarded([this] {
        // A row in edit keeps the list as it is: it is stored, or refused, when it is left.
        if (tdMain->isOpen() && tdMain->state() != DataSetState::Browse) return;
        m_viewStale = false;
        if (!tdMain->isOpen()) return;
        tdMain->requery();
        readTotals();
    });
}

void TjobDataFrm::tabStaffEnter() {
    enterPage(m_entries[0]);
}

void TjobDataFrm::tabJobEnter() {
    enterPage(m_entries[1]);
}

void TjobDataFrm::enterPage(EntryPage& entry) {
    guarded([&] {
        if (!closeView()) return;
        entry.shownChoice.clear();
        const QSignalBlocker quiet(entry.choice);
        entry.choice->setCurrentIndex(-1);
        entry.choice->clearEditText();
    });
}

void TjobDataFrm::chkStyleLimitClick() {
    m_entries[0].limitBox->setVisible(m_entries[0].limit->isChecked());
}

void TjobDataFrm::chkGroupLimitClick() {
    m_entries[1].limitBox->setVisible(m_entries[1].limit->isChecked());
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
    for (EntryPage& entry : m_entries) {
        const QSignalBlocker quietChoice(entry.choice);
        const QSignalBlocker quietDate(entry.date);
        entry.choice->setCurrentText(entry.shownChoice);
        if (entry.shownDate.isValid()) entry.date->setDate(entry.shownDate);
    }
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
    // After a row is stored or deleted the totals are summed again over the same filter.
    setQuery(*tdMain, pieceRecords(filter));
    m_filter = filter;
    tdMain->open();
    // The rows just read are the records in view: their totals without reading the month again.
    fillSums(*tdSum, sumPieceWork(dataFrm()->cnMain, *tdMain));
    showTotals();
    return true;
}

void TjobDataFrm::readTotals() {
    // The list holds what this desk stored of the view's records: summed where they are, the totals
    // need no second reading of the month, which on a server would cross the network whole.
    fillSums(*tdSum, sumPieceWork(dataFrm()->cnMain, *tdMain, m_filter));
    showTotals();
}

void TjobDataFrm::loadEntryView(EntryPage& entry) {
    if (!openView(entry.filterOf(entry.date->date(), entry.chosenId))) return;
    entry.shownChoice = entry.choice->currentText();
    entry.shownDate = entry.date->date();
}

void TjobDataFrm::choiceChanged(EntryPage& entry) {
    guarded([&] {
        // A refused row keeps its list, and the worker (process) it was typed for.
        if (!storePendingEdit()) return restoreChoices();
        entry.chosenId = entry.idOfChoice(entry.choice->currentText());
        loadEntryView(entry);
    });
}

void TjobDataFrm::dayChanged(EntryPage& entry) {
    if (entry.choice->currentText().isEmpty()) return;
    guarded([&] {
        if (!storePendingEdit()) return restoreChoices();
        loadEntryView(entry);
    });
}

void TjobDataFrm::cbbStaffChange() {
    choiceChanged(m_entries[0]);
}

void TjobDataFrm::cbbDateStaffChange() {
    dayChanged(m_entries[0]);
}

void TjobDataFrm::cbbJobChange() {
    choiceChanged(m_entries[1]);
}

void TjobDataFrm::cbbDateJobChange() {
    dayChanged(m_entries[1]);
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
    if (page == Page::Query || page == Page::Scan) return true;
    EntryPage& entry = m_entries[page == Page::Staff ? 0 : 1];
    if (!entry.choice->currentText().isEmpty() && entry.chosenId != 0) return true;
    if (tell) {
        Dialogs::get().warning(entry.noChoiceMessage);
        entry.choice->setFocus();
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

void TjobDataFrm::pick(const QString& field, const Query& candidates) {
    pickObject(candidates, [this, field](int id) { tdMain->setValue(field, qint64(id)); });
}

void TjobDataFrm::pickForEntry(EntryPage& entry) {
    guarded([&] {
        if (!tdMain->isOpen()) return;
        std::optional<QString> limit;
        if (!entry.limitBox->isHidden() && entry.limitBox->currentIndex() >= 0)
            limit = entry.limitBox->currentText();
        if (!editForPick(entry.grid)) return;
        pick(entry.pickedField, entry.picks(limit));
    });
}

void TjobDataFrm::grdStaffDataEditButtonClick() {
    pickForEntry(m_entries[0]);
}

void TjobDataFrm::grdJobDataEditButtonClick() {
    pickForEntry(m_entries[1]);
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
            pick(fStaff, workerPicks());
        else if (field == fJob)
            pick(fJob, processPicks());
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
        if (const EntryPage* entry = currentEntry())
            return ExportGridToExcel(
                entry->grid, {{QStringLiteral("日期"), fDate}, {entry->choiceTitle, entry->choiceField}});
        ExportGridToExcel(grdQuery);
    });
}

// ---- tdMain

void TjobDataFrm::tdMainBeforeInsert() {
    // The keys catch the ways of adding a row that did not ask first (down arrow and picker ask).
    const Page page = currentPage();
    if (!mayAddRow(page, false)) throw Error(currentEntry()->noChoiceMessage);
}

void TjobDataFrm::tdMainAfterInsert(DataSet& ds) {
    if (const EntryPage* entry = currentEntry()) {
        ds.setValue(entry->choiceField, qint64(entry->chosenId));
        ds.setValue(fDate, entry->date->date());
    }
}

void TjobDataFrm::tdMainBeforePost(DataSet& ds) {
    // A record that names nobody as its worker or process is refused as the database refuses a row.
    if (namesNobody(ds.value(fStaff))) throw FieldRefusal(ds.fieldIndex(fStaff), noWorkerMessage);
    if (namesNobody(ds.value(fJob))) throw FieldRefusal(ds.fieldIndex(fJob), noProcessMessage);
    // A stored record that holds ticket pieces: kept, or its tickets released with the change.
    if (ds.state() != DataSetState::Edit) return;
    const std::optional<PieceRecord> before = recordOf(ds, true);
    const std::optional<PieceRecord> after = recordOf(ds, false);
    if (!before || !after) return;
    if (after->day == before->day && after->staffId == before->staffId && after->jobId == before->jobId &&
        after->qty == before->qty)
        return;
    if (releaseForChange(*before, after)) return;
    int field = ds.fieldIndex(fQty);
    if (after->day != before->day)
        field = ds.fieldIndex(fDate);
    else if (after->staffId != before->staffId)
        field = ds.fieldIndex(fStaff);
    else if (after->jobId != before->jobId)
        field = ds.fieldIndex(fJob);
    throw TicketsKept(field);
}

void TjobDataFrm::tdMainBeforeDelete(DataSet& ds) {
    const std::optional<PieceRecord> record = recordOf(ds, true);
    if (record && !releaseForChange(*record, std::nullopt)) throw Cancelled();
}

bool TjobDataFrm::releaseForChange(const PieceRecord& before, const std::optional<PieceRecord>& after) {
    // A release left by a change that failed without telling goes now.
    m_release.reset();
    Connection& cn = dataFrm()->cnMain;
    const QString refusal = recordChangeRefusal(cn, before, after);
    if (refusal.isEmpty()) return true;
    // Asked once for everything one action of the user makes of the row, also for a store that the
    // open question itself sets off (the focus leaving the grid for it).
    if (m_releaseDeclined) return false;
    m_releaseDeclined = true;
    const QString question =
        after ? QStringLiteral(
                    "释放菲票，按输入保存这一行吗？\n选“否”，这一行留在编辑中：改正后离开这一行"
                    "即可保存，按 Esc 则撤销这一行的输入。")
              : QStringLiteral("释放菲票，删除这条记录吗？");
    const Answer answer =
        Dialogs::get().confirm(refusal + QStringLiteral("\n\n") + question, ConfirmIcon::Warning);
    if (answer != Answer::Yes) {
        QTimer::singleShot(0, this, [this] { m_releaseDeclined = false; });
        return false;
    }
    m_releaseDeclined = false;
    m_release.emplace(cn);
    releaseTickets(cn, before.day, before.staffId, before.jobId);
    // Should the change fail after all without a word to this window, the release is undone as soon as
    // control comes back.
    QTimer::singleShot(0, this, [this] { m_release.reset(); });
    return true;
}

void TjobDataFrm::finishRelease() {
    if (!m_release) return;
    m_release->commit();
    m_release.reset();
}

int TjobDataFrm::CalcFieldIndexes::of(const DataSet& ds, int& index, const QString& name) {
    if (index < 0 || index >= ds.fieldCount() || !sameName(ds.field(index).name, name))
        index = ds.fieldIndex(name);
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
    if (sameName(name, fStaff)) return shownText(empty ? QString() : staffCodeOf(int(value.toLongLong())));
    if (sameName(name, fJob)) return shownText(empty ? QString() : jobCodeOf(int(value.toLongLong())));
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
    if (event->type() != QEvent::KeyPress || !grid || (!entryOf(grid) && grid != grdQuery))
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
        if (onLast && !onUntouchedNewRow && !mayAddRow(entryOf(grid)->page, true)) return true;
    }
    return WorkWindow::eventFilter(watched, event);
}

}  // namespace hx
