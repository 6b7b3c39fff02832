#include "gui/production/orders.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "core/data/clock.h"
#include "core/data/datamodule.h"
#include "core/data/myfuns_lists.h"
#include "core/data/queries.h"
#include "core/data/values.h"
#include "core/piecework/jobtotals.h"
#include "core/production/production.h"
#include "gui/exchange/importdialog.h"
#include "gui/production/ticketreport.h"
#include "gui/widgets/dialogs.h"
#include "gui/widgets/export.h"
#include "gui/widgets/listops.h"
#include "gui/widgets/mydbgrid.h"

namespace hx {

namespace {

const QString orderHelp = QString::fromUtf8(R"help([生产单]
上表录入生产单：生产单号（必填，不可重复）、款式、日期和备注。
款式可从工序登记的款式中选择，也可以直接输入；菲票按该款式在产的工序打印。

[扎]
下表是当前生产单的各扎：扎号、颜色、尺码和件数。在尾行按"↓"箭头会产生新行。
“生成扎”按颜色、尺码和件数的分配以及每扎件数自动分扎，例如 1200 件每扎 30 件为 40 扎；
也可以从电子表格导入。

[菲票]
已打印菲票的扎改件数，须先作废它的菲票，改好后重新打印；已有菲票扫描计件的扎、
生产单不能删除，须先在计件数据中撤销这些扫描。

[生产进度]
当前生产单各工序的件数、已完成和未完成件数，以及各工序尚未完成的扎；可导出到电子表格。)help");

const QString fOrderId = QStringLiteral("orderID");
const QString fOrderCode = QStringLiteral("OrderCode");
const QString fStyle = QStringLiteral("StyleGroup");
const QString fDate = QStringLiteral("dateD");
const QString fMemo = QStringLiteral("memo");
const QString fBundleId = QStringLiteral("bundleID");
const QString fBundleNo = QStringLiteral("bundleNo");
const QString fColor = QStringLiteral("color");
const QString fSize = QStringLiteral("size");
const QString fQty = QStringLiteral("qty");
const QString fPieces = QStringLiteral("pieces");

GridColumn column(const QString& field, const QString& title, int width, bool readOnly = false) {
    GridColumn c(field, title, width);
    c.readOnly = readOnly;
    return c;
}

QToolButton* toolButton(const QString& name, const QString& text, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(false);
    return button;
}

// A whole number typed into a cell; nothing when the cell holds none.
std::optional<qint64> wholeNumber(const QVariant& value) {
    if (!value.isValid() || value.isNull()) return std::nullopt;
    const auto n = convertToFieldType(value, FieldType::Integer);
    if (!n || n->isNull()) return std::nullopt;
    bool ok = false;
    const qint64 v = n->toLongLong(&ok);
    return ok ? std::optional<qint64>(v) : std::nullopt;
}

QString piecesRangeMessage() {
    return QStringLiteral("“件数”须是 1 到 %1 之间的整数。").arg(maxPiecesPerRecord);
}

}  // namespace

QString TorderFrm::helpTextOfWindow() {
    return orderHelp;
}

TorderFrm::TorderFrm(QWidget* parent) : WorkWindow(parent) {
    buildWindow();
    FormCreate();
    setTicketPrinter([this](const std::vector<qint64>& bundleIds) {
        printBundleTickets(this, dataFrm()->cnMain, bundleIds);
    });
}

TorderFrm::~TorderFrm() = default;

// ---- building

void TorderFrm::buildWindow() {
    frameWindow(QStringLiteral("orderFrm"), QStringLiteral("生产单"), QSize(700, 560));
    setHelpText(orderHelp);

    Connection* cn = &dataFrm()->cnMain;
    tdOrders = new DataSet(cn, this);
    tdOrders->setObjectName(QStringLiteral("tdOrders"));
    tdBundles = new DataSet(cn, this);
    tdBundles->setObjectName(QStringLiteral("tdBundles"));
    tdProgress = new DataSet(cn, this);
    tdProgress->setObjectName(QStringLiteral("tdProgress"));
    tdOpen = new DataSet(cn, this);
    tdOpen->setObjectName(QStringLiteral("tdOpen"));

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    tabOrders = buildOrdersPage();
    tabProgress = buildProgressPage();
    PageControl1->addTab(tabOrders, QStringLiteral("生产单"));
    PageControl1->addTab(tabProgress, QStringLiteral("生产进度"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageControl1);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 1) guarded([this] { showProgress(); });
    });

    // What is typed into a list is stored once the focus leaves it for another part of the window: an
    // order must be stored before its bundles are typed. Dialogs over the window do not count.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (!old || !now || old->window() != this || now->window() != this) return;
        for (TMyDBGrid* grid : {grdOrders, grdBundles}) {
            const bool left =
                (old == grid || grid->isAncestorOf(old)) && now != grid && !grid->isAncestorOf(now);
            if (!left) continue;
            guarded([grid] {
                DataSet* ds = grid->dataSet();
                if (!ds->isEditing()) return;
                commitGridEditor(grid);
                ds->checkBrowseMode();
            });
        }
    });
    wireDataSets();
}

QWidget* TorderFrm::buildOrdersPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tabOrders"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    auto* splitter = new QSplitter(Qt::Vertical, page);
    splitter->setObjectName(QStringLiteral("splOrders"));
    grdOrders = new TMyDBGrid(splitter);
    grdOrders->setObjectName(QStringLiteral("grdOrders"));
    grdOrders->setDataSet(tdOrders);
    grdOrders->setAlwaysShowEditor(true);

    auto* lower = new QWidget(splitter);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->setSpacing(2);
    auto* strip = new QFrame(lower);
    strip->setObjectName(QStringLiteral("Panel1"));
    strip->setContextMenuPolicy(Qt::PreventContextMenu);
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(4);
    btnGenerate = toolButton(QStringLiteral("btnGenerate"), QStringLiteral("生成扎"), strip);
    btnImport = toolButton(QStringLiteral("btnImport"), QStringLiteral("导入扎"), strip);
    // The place of ticket printing: offered once a printer of tickets is set.
    btnPrintTickets = toolButton(QStringLiteral("btnPrintTickets"), QStringLiteral("打印菲票"), strip);
    btnPrintTickets->setEnabled(false);
    lblBundles = new QLabel(strip);
    lblBundles->setObjectName(QStringLiteral("lblBundles"));
    row->addWidget(btnGenerate);
    row->addWidget(btnImport);
    row->addWidget(btnPrintTickets);
    row->addStretch(1);
    row->addWidget(lblBundles);
    lowerLayout->addWidget(strip);
    grdBundles = new TMyDBGrid(lower);
    grdBundles->setObjectName(QStringLiteral("grdBundles"));
    grdBundles->setDataSet(tdBundles);
    grdBundles->setAlwaysShowEditor(true);
    // Several bundles are chosen for their tickets with Shift and the arrows or a click.
    grdBundles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lowerLayout->addWidget(grdBundles, 1);
    splitter->addWidget(grdOrders);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    layout->addWidget(splitter, 1);

    grdOrders->setColumns(
        {column(fOrderCode, QStringLiteral("生产单号"), 130), column(fStyle, QStringLiteral("款式"), 120),
         column(fDate, QStringLiteral("日期"), 100), column(fMemo, QStringLiteral("备注"), 300)});
    grdBundles->setColumns(
        {column(fBundleNo, QStringLiteral("扎号"), 70), column(fColor, QStringLiteral("颜色"), 120),
         column(fSize, QStringLiteral("尺码"), 100), column(fQty, QStringLiteral("件数"), 90)});

    popOrders = listMenu(grdOrders, QStringLiteral("popOrders"), true);
    popBundles = listMenu(grdBundles, QStringLiteral("popBundles"), true);
    popBundles->addSeparator();
    popBundles->addAction(QStringLiteral("生成扎..."), this, &TorderFrm::btnGenerateClick)
        ->setObjectName(QStringLiteral("pGenerate"));
    popBundles->addAction(importCommandText(), this, &TorderFrm::btnImportClick)
        ->setObjectName(QStringLiteral("pImport"));
    grdOrders->setRowDeleter([this] { pDeleteOrderClick(); });
    grdBundles->setRowDeleter([this] { pDeleteBundleClick(); });

    connect(btnGenerate, &QToolButton::clicked, this, &TorderFrm::btnGenerateClick);
    connect(btnImport, &QToolButton::clicked, this, &TorderFrm::btnImportClick);
    connect(btnPrintTickets, &QToolButton::clicked, this, &TorderFrm::btnPrintTicketsClick);
    return page;
}

QWidget* TorderFrm::buildProgressPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("tabProgress"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto* strip = new QFrame(page);
    strip->setContextMenuPolicy(Qt::PreventContextMenu);
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(4, 2, 4, 2);
    lblProgress = new QLabel(strip);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    btnRefresh = toolButton(QStringLiteral("btnRefresh"), QStringLiteral("刷新"), strip);
    row->addWidget(lblProgress, 1);
    row->addWidget(btnRefresh);
    layout->addWidget(strip);

    auto* splitter = new QSplitter(Qt::Vertical, page);
    grdProgress = new TMyDBGrid(splitter);
    grdProgress->setObjectName(QStringLiteral("grdProgress"));
    grdProgress->setDataSet(tdProgress);
    grdProgress->setReadOnly(true);
    grdProgress->setColumns({column(QStringLiteral("jobCode"), QStringLiteral("工序号"), 110, true),
                             column(QStringLiteral("description"), QStringLiteral("工艺描述"), 220, true),
                             column(fPieces, QStringLiteral("本单件数"), 90, true),
                             column(QStringLiteral("done"), QStringLiteral("已完成"), 90, true),
                             column(QStringLiteral("remaining"), QStringLiteral("未完成"), 90, true)});
    grdOpen = new TMyDBGrid(splitter);
    grdOpen->setObjectName(QStringLiteral("grdOpen"));
    grdOpen->setDataSet(tdOpen);
    grdOpen->setReadOnly(true);
    grdOpen->setColumns({column(QStringLiteral("jobCode"), QStringLiteral("工序号"), 110, true),
                         column(QStringLiteral("description"), QStringLiteral("工艺描述"), 220, true),
                         column(fBundleNo, QStringLiteral("未完成的扎"), 90, true),
                         column(fColor, QStringLiteral("颜色"), 90, true),
                         column(fSize, QStringLiteral("尺码"), 80, true),
                         column(fQty, QStringLiteral("件数"), 70, true)});
    splitter->addWidget(grdProgress);
    splitter->addWidget(grdOpen);
    layout->addWidget(splitter, 1);
    listMenu(grdProgress, QStringLiteral("popProgress"), false);
    listMenu(grdOpen, QStringLiteral("popOpen"), false);
    connect(btnRefresh, &QToolButton::clicked, this, &TorderFrm::btnRefreshClick);
    return page;
}

// The context menu of a list: sort, filter, find; add and delete where the list is edited; export.
QMenu* TorderFrm::listMenu(TMyDBGrid* grid, const QString& name, bool editable) {
    auto* menu = new QMenu(this);
    menu->setObjectName(name);
    QAction* sort = menu->addAction(QStringLiteral("排序"), this,
                                    [grid] { guarded([grid] { sortBySelectedColumn(grid); }); });
    sort->setObjectName(QStringLiteral("pSort"));
    menu->addAction(QStringLiteral("筛选"), this,
                    [grid] { guarded([grid] { filterOnSelectedCell(grid, {}); }); })
        ->setObjectName(QStringLiteral("pFilter"));
    menu->addAction(QStringLiteral("取消筛选"), this, [grid] { guarded([grid] { removeFilter(grid); }); })
        ->setObjectName(QStringLiteral("pUnfilter"));
    menu->addAction(QStringLiteral("查找"), this, [grid] { guarded([grid] { findInSelectedColumn(grid); }); })
        ->setObjectName(QStringLiteral("pFind"));
    if (editable) {
        menu->addSeparator();
        menu->addAction(QStringLiteral("新增"), this, [grid] { guarded([grid] { appendRow(grid); }); })
            ->setObjectName(QStringLiteral("pAppend"));
        menu->addAction(QStringLiteral("删除"), this,
                        grid == grdOrders ? &TorderFrm::pDeleteOrderClick : &TorderFrm::pDeleteBundleClick)
            ->setObjectName(QStringLiteral("pDelete"));
    }
    menu->addSeparator();
    menu->addAction(exportCommandText(), this,
                    [grid] {
                        guarded([grid] {
                            commitGridEditor(grid);
                            ExportGridToExcel(grid);
                        });
                    })
        ->setObjectName(QStringLiteral("pExport"));
    setGridMenu(grid, menu);
    sortOnTitleClick(grid, sort);
    grid->horizontalHeader()->setSectionsMovable(false);
    return menu;
}

void TorderFrm::wireDataSets() {
    tdOrders->afterInsert = [](DataSet& ds) { ds.setValue(fDate, today()); };
    tdOrders->beforePost = [this](DataSet& ds) { tdOrdersBeforePost(ds); };
    tdOrders->afterPost = [this](DataSet&) { guarded([this] { showBundles(currentOrderId()); }); };
    tdOrders->afterScroll = [this](DataSet&) {
        if (!m_following) guarded([this] { showBundles(currentOrderId()); });
    };
    keepRefusedRows(tdOrders, {grdOrders});

    tdBundles->beforeInsert = [this](DataSet&) { tdBundlesBeforeInsert(); };
    tdBundles->afterInsert = [this](DataSet& ds) {
        ds.setValue(fOrderId, m_shownOrder);
        ds.setValue(fBundleNo, nextBundleNo(dataFrm()->cnMain, m_shownOrder));
    };
    tdBundles->beforePost = [this](DataSet& ds) { tdBundlesBeforePost(ds); };
    tdBundles->afterPost = [this](DataSet&) { showBundleTotals(); };
    tdBundles->afterDelete = [this](DataSet&) { showBundleTotals(); };
    keepRefusedRows(tdBundles, {grdBundles});
}

void TorderFrm::FormCreate() {
    fillStyles();
    setQuery(*tdOrders, orderList());
    tdOrders->open();
    showBundles(currentOrderId(), true);
    grdOrders->setFocus();
}

void TorderFrm::fillStyles() {
    const QStringList styles = firstColumnTexts(processStyles());
    if (m_stylesFilled && styles == m_styles) return;
    // The editor of the cell being edited keeps its list until the cell is left.
    if (grdOrders->cellEditor() && grdOrders->currentIndex().column() == 1) return;
    m_styles = styles;
    m_stylesFilled = true;
    QVector<GridColumn> columns = grdOrders->dataModel()->columns();
    columns[1].pickList = styles;
    grdOrders->setColumns(columns);
}

bool TorderFrm::event(QEvent* event) {
    // The styles of the process register may have changed while another window was in front.
    if (event->type() == QEvent::WindowActivate && tdOrders && tdOrders->isOpen() && !tdOrders->isEditing())
        guarded([this] { fillStyles(); });
    return WorkWindow::event(event);
}

// ---- the lists

qint64 TorderFrm::currentOrderId() const {
    if (!tdOrders->isOpen() || tdOrders->isEmpty() || tdOrders->state() == DataSetState::Insert) return 0;
    return tdOrders->value(fOrderId).toLongLong();
}

std::vector<qint64> TorderFrm::selectedBundleIds() const {
    std::vector<qint64> ids;
    if (!tdBundles->isOpen() || tdBundles->isEmpty()) return ids;
    const int key = tdBundles->fieldIndex(fBundleId);
    std::set<int> rows;
    if (QItemSelectionModel* selection = grdBundles->selectionModel())
        for (const QModelIndex& index : selection->selectedIndexes()) rows.insert(index.row());
    if (rows.size() <= 1) {
        rows.clear();
        if (tdBundles->state() != DataSetState::Insert) rows.insert(tdBundles->recNo());
    }
    for (const int row : rows) {
        if (row < 0 || row >= tdBundles->recordCount()) continue;
        const auto id = tdBundles->integerAt(row, key);
        if (id && *id > 0) ids.push_back(*id);
    }
    return ids;
}

void TorderFrm::setTicketPrinter(TicketPrinter printer) {
    m_ticketPrinter = std::move(printer);
    btnPrintTickets->setEnabled(bool(m_ticketPrinter));
}

void TorderFrm::showBundles(qint64 orderId, bool force) {
    if (!force && orderId == m_shownOrder && tdBundles->isOpen()) return;
    if (tdBundles->isEditing()) {
        commitGridEditor(grdBundles);
        if (!tdBundles->checkBrowseMode()) {
            // The bundle refused stays, with the order it belongs to.
            m_following = true;
            tdOrders->locate(fOrderId, m_shownOrder);
            m_following = false;
            return;
        }
    }
    tdBundles->close();
    setQuery(*tdBundles, bundleList(orderId));
    tdBundles->open();
    m_shownOrder = orderId;
    showBundleTotals();
}

void TorderFrm::showBundleTotals() {
    if (!tdBundles->isOpen() || m_shownOrder <= 0) {
        lblBundles->setText(QString());
        return;
    }
    qint64 pieces = 0;
    int bundles = 0;
    const int qty = tdBundles->fieldIndex(fQty);
    for (int row = 0; row < tdBundles->recordCount(); ++row) {
        const auto n = tdBundles->integerAt(row, qty);
        if (!n) continue;
        ++bundles;
        pieces += *n;
    }
    lblBundles->setText(QStringLiteral("共 %1 扎，%2 件").arg(bundles).arg(pieces));
}

void TorderFrm::showProgress() {
    if (!tdOrders->isOpen()) return;
    storePending();
    const qint64 id = currentOrderId();
    for (DataSet* ds : {tdProgress, tdOpen}) ds->close();
    if (id <= 0) {
        lblProgress->setText(QStringLiteral("请先在“生产单”页选择一张生产单。"));
        return;
    }
    setQuery(*tdProgress, orderProgress(id));
    tdProgress->open();
    setQuery(*tdOpen, openBundles(id));
    tdOpen->open();
    const ProductionCount count = orderCount(dataFrm()->cnMain, id);
    const QString style = tdOrders->asString(fStyle);
    lblProgress->setText(
        QStringLiteral("生产单 %1　款式 %2　共 %3 扎，%4 件　已扫描菲票 %5 张")
            .arg(tdOrders->asString(fOrderCode), style.isEmpty() ? QStringLiteral("（未填）") : style)
            .arg(count.bundles)
            .arg(count.pieces)
            .arg(count.scanned));
}

bool TorderFrm::storePending() {
    for (TMyDBGrid* grid : {grdOrders, grdBundles}) {
        commitGridEditor(grid);
        if (!grid->dataSet()->checkBrowseMode()) return false;
    }
    return true;
}

void TorderFrm::reloadOrders(int row) {
    m_following = true;
    tdOrders->requery();
    if (tdOrders->recordCount() > 0) tdOrders->setRecNo(std::clamp(row, 0, tdOrders->recordCount() - 1));
    m_following = false;
    showBundles(currentOrderId(), true);
}

void TorderFrm::reloadBundles(int row) {
    showBundles(m_shownOrder, true);
    if (tdBundles->recordCount() > 0) tdBundles->setRecNo(std::clamp(row, 0, tdBundles->recordCount() - 1));
}

// ---- the data sets' handlers

void TorderFrm::tdOrdersBeforePost(DataSet& ds) {
    const QString code = ds.asString(fOrderCode).trimmed();
    if (code.isEmpty()) throw FieldRefusal(ds.fieldIndex(fOrderCode), QStringLiteral("请填写生产单号。"));
    if (code != ds.asString(fOrderCode)) ds.setValue(fOrderCode, code);
    const QString style = ds.asString(fStyle).trimmed();
    if (style != ds.asString(fStyle)) ds.setValue(fStyle, style.isEmpty() ? QVariant() : QVariant(style));
    if (ds.state() != DataSetState::Edit) return;
    // The tickets of an order are those of its style's processes: printed, they keep it.
    Connection& cn = dataFrm()->cnMain;
    const qint64 id = ds.value(fOrderId).toLongLong();
    if (style == orderStyle(cn, id).trimmed()) return;
    const ProductionCount count = orderCount(cn, id);
    if (count.tickets > 0)
        throw FieldRefusal(
            ds.fieldIndex(fStyle),
            QStringLiteral("生产单“%1”已打印 %2 张菲票，款式不能再改：菲票是按款式的工序打印的。")
                .arg(code)
                .arg(count.tickets));
}

void TorderFrm::tdBundlesBeforeInsert() {
    // A bundle belongs to a stored order.
    if (m_shownOrder <= 0 || currentOrderId() != m_shownOrder)
        throw ProductionError(QStringLiteral("请先录入并保存生产单，再录入它的扎。"));
}

void TorderFrm::tdBundlesBeforePost(DataSet& ds) {
    const int qtyField = ds.fieldIndex(fQty);
    const int numberField = ds.fieldIndex(fBundleNo);
    const auto number = wholeNumber(ds.value(numberField));
    if (!number || *number < 1 || *number > 999999)
        throw FieldRefusal(numberField, QStringLiteral("“扎号”须是 1 到 999999 之间的整数。"));
    const auto pieces = wholeNumber(ds.value(qtyField));
    if (!pieces || *pieces < 1 || *pieces > maxPiecesPerRecord)
        throw FieldRefusal(qtyField, piecesRangeMessage());
    for (const QString& f : {fColor, fSize}) {
        const QString t = ds.asString(f).trimmed();
        if (t != ds.asString(f)) ds.setValue(f, t.isEmpty() ? QVariant() : QVariant(t));
    }
    if (ds.state() != DataSetState::Edit) return;
    Connection& cn = dataFrm()->cnMain;
    const qint64 id = ds.value(fBundleId).toLongLong();
    const ProductionCount stored = bundleCount(cn, {id});
    if (stored.tickets == 0 || stored.pieces == *pieces) return;
    // Each ticket pays the bundle's pieces as they were printed on it.
    if (stored.scanned > 0)
        throw FieldRefusal(qtyField, QStringLiteral("第 %1 扎已有 %2 张菲票扫描计件，件数不能再改。"
                                                    "请先在计件数据中撤销这些扫描，再作废它的菲票。")
                                         .arg(*number)
                                         .arg(stored.scanned));
    const QString declined =
        QStringLiteral("第 %1 扎已打印菲票，件数没有改。要改件数，须先作废它的菲票，改好后重新打印。")
            .arg(*number);
    if (m_declinedBundle == id) throw FieldRefusal(qtyField, declined);
    const Answer answer = Dialogs::get().confirm(
        QStringLiteral(
            "第 %1 扎已打印 %2 张菲票，票上是 %3 件。\n改件数须先作废这些菲票，改好后重新打印。\n\n"
            "作废它的菲票并把件数改为 %4 吗？")
            .arg(*number)
            .arg(stored.tickets)
            .arg(stored.pieces)
            .arg(*pieces),
        ConfirmIcon::Warning);
    if (answer != Answer::Yes) {
        m_declinedBundle = id;
        QTimer::singleShot(0, this, [this] { m_declinedBundle = 0; });
        throw FieldRefusal(qtyField, declined);
    }
    dropTickets(cn, {id});
}

// ---- commands

void TorderFrm::pDeleteOrderClick() {
    guarded([this] {
        commitGridEditor(grdOrders);
        if (!tdOrders->isOpen() || tdOrders->isEmpty()) return;
        if (tdOrders->state() == DataSetState::Insert) {
            tdOrders->cancel();
            return;
        }
        Connection& cn = dataFrm()->cnMain;
        const qint64 id = currentOrderId();
        const QString code = tdOrders->asString(fOrderCode);
        const ProductionCount count = orderCount(cn, id);
        if (count.scanned > 0) {
            Dialogs::get().warning(
                QStringLiteral("生产单“%1”已有 %2 张菲票扫描计件，不能删除。请先在计件数据中撤销这些扫描。")
                    .arg(code)
                    .arg(count.scanned));
            return;
        }
        QString question = QStringLiteral("确定要删除生产单“%1”吗？").arg(code);
        if (count.bundles > 0) {
            question += QStringLiteral("\n它的 %1 扎（共 %2 件）").arg(count.bundles).arg(count.pieces);
            if (count.tickets > 0) question += QStringLiteral("及 %1 张未扫描的菲票").arg(count.tickets);
            question += QStringLiteral("将一并删除。");
        }
        if (Dialogs::get().confirm(question, ConfirmIcon::Warning) != Answer::Yes) return;
        const int row = tdOrders->recNo();
        if (tdOrders->isEditing()) tdOrders->cancel();
        if (tdBundles->isEditing()) tdBundles->cancel();
        deleteOrder(cn, id);
        reloadOrders(row);
    });
}

void TorderFrm::pDeleteBundleClick() {
    guarded([this] {
        commitGridEditor(grdBundles);
        if (!tdBundles->isOpen() || tdBundles->isEmpty()) return;
        if (tdBundles->state() == DataSetState::Insert) {
            tdBundles->cancel();
            return;
        }
        Connection& cn = dataFrm()->cnMain;
        const std::vector<qint64> ids = selectedBundleIds();
        if (ids.empty()) return;
        const ProductionCount count = bundleCount(cn, ids);
        const QString which = ids.size() == 1 ? QStringLiteral("第 %1 扎").arg(tdBundles->asString(fBundleNo))
                                              : QStringLiteral("选中的 %1 扎").arg(ids.size());
        if (count.scanned > 0) {
            Dialogs::get().warning(
                QStringLiteral("%1已有 %2 张菲票扫描计件，不能删除。请先在计件数据中撤销这些扫描。")
                    .arg(which)
                    .arg(count.scanned));
            return;
        }
        QString question = QStringLiteral("确定要删除%1（共 %2 件）吗？").arg(which).arg(count.pieces);
        if (count.tickets > 0)
            question += QStringLiteral("\n已打印的 %1 张菲票将一并作废。").arg(count.tickets);
        if (Dialogs::get().confirm(question, ConfirmIcon::Warning) != Answer::Yes) return;
        const int row = tdBundles->recNo();
        if (tdBundles->isEditing()) tdBundles->cancel();
        deleteBundles(cn, ids);
        reloadBundles(row);
    });
}

void TorderFrm::btnGenerateClick() {
    guarded([this] {
        if (!storePending()) return;
        const qint64 id = currentOrderId();
        if (id <= 0) {
            Dialogs::get().warning(QStringLiteral("请先录入并选择一张生产单，再为它生成扎。"));
            return;
        }
        TgenerateFrm dialog(id, tdOrders->asString(fOrderCode), this);
        if (dialog.exec() != QDialog::Accepted || dialog.bundlesMade() == 0) return;
        reloadBundles(tdBundles->recordCount());
        Dialogs::get().information(QStringLiteral("已生成 %1 扎（第 %2 扎到第 %3 扎），共 %4 件。")
                                       .arg(dialog.bundlesMade())
                                       .arg(dialog.firstNumber())
                                       .arg(dialog.lastNumber())
                                       .arg(dialog.piecesMade()));
    });
}

void TorderFrm::btnImportClick() {
    guarded([this] {
        if (!storePending()) return;
        const qint64 id = currentOrderId();
        if (id <= 0) {
            Dialogs::get().warning(QStringLiteral("请先录入并选择一张生产单，再导入它的扎。"));
            return;
        }
        importFromSpreadsheet(
            this, ImportTarget::Bundle, [this] { return storePending(); },
            [this, id] {
                if (m_shownOrder == id) reloadBundles(tdBundles->recNo());
            },
            id);
    });
}

void TorderFrm::btnPrintTicketsClick() {
    guarded([this] {
        if (!m_ticketPrinter || !storePending()) return;
        const std::vector<qint64> ids = selectedBundleIds();
        if (ids.empty()) {
            Dialogs::get().warning(QStringLiteral("请先在下表选择要打印菲票的扎。"));
            return;
        }
        m_ticketPrinter(ids);
    });
}

void TorderFrm::btnRefreshClick() {
    guarded([this] { showProgress(); });
}

void TorderFrm::closeEvent(QCloseEvent* event) {
    // Typed work is stored; a refused row keeps the window open, to be corrected or dropped with Esc.
    bool stored = true;
    guarded([&] { stored = storePending(); });
    if (!stored) {
        event->ignore();
        return;
    }
    WorkWindow::closeEvent(event);
}

// ---- 生成扎

TgenerateFrm::TgenerateFrm(qint64 orderId, const QString& orderCode, QWidget* parent)
    : QDialog(parent), m_orderId(orderId) {
    setObjectName(QStringLiteral("generateFrm"));
    setWindowTitle(QStringLiteral("生成扎 - ") + orderCode);
    resize(420, 380);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("各颜色、尺码的件数（在尾行按“↓”箭头增加一行）："), this));

    tdBreakdown = new DataSet(nullptr, this);
    tdBreakdown->setObjectName(QStringLiteral("tdBreakdown"));
    tdBreakdown->defineFields({Field(fColor, FieldType::Text, 20), Field(fSize, FieldType::Text, 20),
                               Field(fPieces, FieldType::Integer)});
    tdBreakdown->open();
    // Lines to fill in; those left empty are passed by.
    for (int i = 0; i < 6; ++i) {
        tdBreakdown->append();
        tdBreakdown->setValue(fColor, QString());
        tdBreakdown->post();
    }
    tdBreakdown->first();
    grdBreakdown = new TMyDBGrid(this);
    grdBreakdown->setObjectName(QStringLiteral("grdBreakdown"));
    grdBreakdown->setDataSet(tdBreakdown);
    grdBreakdown->setColumns({column(fColor, QStringLiteral("颜色"), 120),
                              column(fSize, QStringLiteral("尺码"), 100),
                              column(fPieces, QStringLiteral("件数"), 100)});
    grdBreakdown->setAlwaysShowEditor(true);
    keepRefusedRows(tdBreakdown, {grdBreakdown});
    tdBreakdown->onValidate = [](DataSet& ds, int field, const QVariant& value) {
        if (ds.field(field).name != fPieces || !value.isValid() || value.isNull() ||
            value.toString().trimmed().isEmpty())
            return;
        const auto n = wholeNumber(value);
        if (!n || *n < 1 || *n > maxPiecesPerRecord) throw DbError(piecesRangeMessage());
    };
    layout->addWidget(grdBreakdown, 1);

    auto* sizeRow = new QHBoxLayout;
    auto* sizeLabel = new QLabel(QStringLiteral("每扎件数："), this);
    edtBundleSize = new QSpinBox(this);
    edtBundleSize->setObjectName(QStringLiteral("edtBundleSize"));
    edtBundleSize->setRange(1, int(maxPiecesPerRecord));
    edtBundleSize->setValue(30);
    sizeLabel->setBuddy(edtBundleSize);
    sizeRow->addWidget(sizeLabel);
    sizeRow->addWidget(edtBundleSize);
    sizeRow->addStretch(1);
    layout->addLayout(sizeRow);
    lblPlan = new QLabel(this);
    lblPlan->setObjectName(QStringLiteral("lblPlan"));
    layout->addWidget(lblPlan);

    auto* buttons = new QDialogButtonBox(this);
    btnOk = buttons->addButton(QStringLiteral("生成"), QDialogButtonBox::AcceptRole);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnCancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnOk->setAutoDefault(false);
    btnCancel->setAutoDefault(false);
    layout->addWidget(buttons);
    disconnect(buttons, nullptr, this, nullptr);
    connect(btnOk, &QPushButton::clicked, this, &TgenerateFrm::btnOkClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(edtBundleSize, &QSpinBox::valueChanged, this, &TgenerateFrm::showPlan);
    connect(tdBreakdown, &DataSet::rowChanged, this, &TgenerateFrm::showPlan);
    connect(tdBreakdown, &DataSet::rowRemoved, this, &TgenerateFrm::showPlan);
    showPlan();
    grdBreakdown->setFocus();
}

void TgenerateFrm::showPlan() {
    qint64 pieces = 0;
    qint64 bundles = 0;
    const qint64 size = edtBundleSize->value();
    const int field = tdBreakdown->fieldIndex(fPieces);
    for (int row = 0; row < tdBreakdown->recordCount(); ++row) {
        const auto n = wholeNumber(tdBreakdown->valueAt(row, field));
        if (!n || *n < 1) continue;
        pieces += *n;
        bundles += (*n + size - 1) / size;
    }
    lblPlan->setText(
        QStringLiteral("共 %1 件，每扎 %2 件，将生成 %3 扎。").arg(pieces).arg(size).arg(bundles));
}

void TgenerateFrm::btnOkClick() {
    guarded([this] {
        commitGridEditor(grdBreakdown);
        edtBundleSize->interpretText();
        if (!tdBreakdown->checkBrowseMode()) return;
        std::vector<BreakdownLine> lines;
        const int color = tdBreakdown->fieldIndex(fColor);
        const int size = tdBreakdown->fieldIndex(fSize);
        const int pieces = tdBreakdown->fieldIndex(fPieces);
        for (int row = 0; row < tdBreakdown->recordCount(); ++row) {
            BreakdownLine line;
            line.color = tdBreakdown->valueAt(row, color).toString().trimmed();
            line.size = tdBreakdown->valueAt(row, size).toString().trimmed();
            const auto n = wholeNumber(tdBreakdown->valueAt(row, pieces));
            if (!n && line.color.isEmpty() && line.size.isEmpty()) continue;  // an empty line
            if (!n || *n < 1) {
                Dialogs::get().warning(
                    QStringLiteral("第 %1 行（%2 %3）没有填件数。").arg(row + 1).arg(line.color, line.size));
                return;
            }
            line.pieces = *n;
            lines.push_back(line);
        }
        if (lines.empty()) {
            Dialogs::get().warning(QStringLiteral("请填写各颜色、尺码的件数。"));
            return;
        }
        std::vector<Bundle> made;
        try {
            made = generateBundles(dataFrm()->cnMain, m_orderId, lines, edtBundleSize->value());
        } catch (const ProductionError& e) {
            Dialogs::get().warning(e.message());
            return;
        }
        m_made = int(made.size());
        for (const Bundle& b : made) m_pieces += b.pieces;
        if (!made.empty()) {
            m_first = made.front().number;
            m_last = made.back().number;
        }
        accept();
    });
}

}  // namespace hx
