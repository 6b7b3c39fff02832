#include "gui/piecework/scanpage.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/data/clock.h"
#include "core/data/datamodule.h"
#include "core/data/dataset.h"
#include "core/data/myfuns_lists.h"
#include "core/data/values.h"
#include "core/production/scanning.h"
#include "core/production/ticketcode.h"
#include "gui/widgets/combolists.h"
#include "gui/widgets/dialogs.h"
#include "gui/widgets/listops.h"
#include "gui/widgets/mydbgrid.h"

namespace hx {

namespace {

const QString scanHelp = QString::fromUtf8(
    R"help(1.  选择日期和员工后即可扫描菲票；也可以直接在“菲票号”栏扫描员工工牌（工号），选中该员工。

2.  扫描枪读出菲票号后自动回车；手工输入时照菲票上印的号码输入（可带空格或横线），按[Enter]键。
每张菲票的件数计入该员工当天该工序的计件记录。

3.  已扫描过、已完工工序或号码不对的菲票不能扫描：电脑鸣响，原因以红字显示在扫描栏下，什么也不保存。

4.  扫错的菲票在列表中选中后，点“撤销扫描”（或右键菜单），其件数从计件记录中减去，菲票可以重新扫描。


*含菲票件数的计件记录在其他页中不能改到少于菲票件数，也不能删除或改到别的日期、员工、工序，除非先释放菲票。)help");

const QString fCode = QStringLiteral("code");
const QString fQty = QStringLiteral("qty");
const QString fPrice = QStringLiteral("unitPrice");
const QString fAmount = QStringLiteral("tmy");
const QString fScannedAt = QStringLiteral("scannedAt");

// The work number of a worker box's text: what comes before the first blank; nothing without a blank.
QString workNumberOf(const QString& text) {
    const int blank = text.indexOf(QLatin1Char(' '));
    return blank < 0 ? QString() : text.left(blank);
}

QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignVCenter | Qt::AlignRight);
    return label;
}

GridColumn column(const QString& field, const QString& title, int width) {
    GridColumn c(field, title, width);
    c.readOnly = true;
    return c;
}

}  // namespace

QString TicketScanPage::helpText() {
    return scanHelp;
}

TicketScanPage::TicketScanPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tabScan"));
    build();
}

TicketScanPage::~TicketScanPage() = default;

void TicketScanPage::build() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* strip = new QFrame(this);
    strip->setFixedHeight(31);
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(6, 3, 6, 3);
    row->setSpacing(4);
    cbbDateScan = new QDateEdit(strip);
    cbbDateScan->setObjectName(QStringLiteral("cbbDateScan"));
    cbbDateScan->setCalendarPopup(true);
    cbbDateScan->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    cbbDateScan->setFixedWidth(100);
    cbbScanStaff = new QComboBox(strip);
    cbbScanStaff->setObjectName(QStringLiteral("cbbScanStaff"));
    cbbScanStaff->setEditable(true);
    cbbScanStaff->setInsertPolicy(QComboBox::NoInsert);
    cbbScanStaff->setMaxVisibleItems(20);
    cbbScanStaff->setFixedWidth(150);
    row->addWidget(caption(QStringLiteral("日期"), strip));
    row->addWidget(cbbDateScan);
    row->addSpacing(10);
    row->addWidget(caption(QStringLiteral("员工"), strip));
    row->addWidget(cbbScanStaff);
    row->addStretch(1);
    layout->addWidget(strip);

    auto* scanStrip = new QFrame(this);
    auto* scanRow = new QHBoxLayout(scanStrip);
    scanRow->setContentsMargins(6, 3, 6, 3);
    scanRow->setSpacing(4);
    edScan = new QLineEdit(scanStrip);
    edScan->setObjectName(QStringLiteral("edScan"));
    edScan->setMaxLength(40);
    edScan->setPlaceholderText(QStringLiteral("扫描菲票或员工工牌，手工输入后按回车"));
    QFont big = edScan->font();
    big.setPointSize(big.pointSize() + 4);
    edScan->setFont(big);
    btnUndoScan = new QToolButton(scanStrip);
    btnUndoScan->setObjectName(QStringLiteral("btnUndoScan"));
    btnUndoScan->setText(QStringLiteral("撤销扫描"));
    btnUndoScan->setFocusPolicy(Qt::NoFocus);
    scanRow->addWidget(caption(QStringLiteral("菲票号"), scanStrip));
    scanRow->addWidget(edScan, 1);
    scanRow->addWidget(btnUndoScan);
    layout->addWidget(scanStrip);

    lblScanResult = new QLabel(this);
    lblScanResult->setObjectName(QStringLiteral("lblScanResult"));
    lblScanResult->setWordWrap(true);
    lblScanResult->setMinimumHeight(36);
    lblScanResult->setContentsMargins(8, 0, 8, 0);
    QFont bold = lblScanResult->font();
    bold.setBold(true);
    lblScanResult->setFont(bold);
    layout->addWidget(lblScanResult);

    tdScan = new DataSet(&dataFrm()->cnMain, this);
    tdScan->setObjectName(QStringLiteral("tdScan"));
    tdScan->addCalculatedField(fAmount, FieldType::Money, currencyFormat());
    tdScan->onCalcFields = [](DataSet& ds) {
        const QVariant price = ds.value(fPrice);
        QVariant amount;
        if (!price.isNull()) {
            try {
                amount = QVariant::fromValue(Money::fromVariant(price) * ds.asInt(fQty));
            } catch (const MoneyOverflowError&) {
            }
        }
        ds.setValue(fAmount, amount);
    };
    // The moment of the scan: the time of day, the day being the page's.
    tdScan->onGetText = [](const DataSet& ds, int field, const QVariant& value) {
        if (ds.field(field).name.compare(fScannedAt, Qt::CaseInsensitive) != 0) return QString();
        const QString text = value.toString();
        return text.size() >= 19 ? text.mid(11, 8) : text;
    };

    grdScan = new TMyDBGrid(this);
    grdScan->setObjectName(QStringLiteral("grdScan"));
    grdScan->setReadOnly(true);
    grdScan->setFixedRows(true);
    grdScan->setDataSet(tdScan);
    grdScan->setColumns({column(fCode, QStringLiteral("菲票号"), 78),
                         column(QStringLiteral("orderCode"), QStringLiteral("生产单"), 72),
                         column(QStringLiteral("bundleNo"), QStringLiteral("扎号"), 36),
                         column(QStringLiteral("color"), QStringLiteral("颜色"), 44),
                         column(QStringLiteral("size"), QStringLiteral("尺码"), 38),
                         column(QStringLiteral("jobCode"), QStringLiteral("工序"), 76),
                         column(QStringLiteral("description"), QStringLiteral("工序名称"), 80),
                         column(fQty, QStringLiteral("件数"), 40), column(fPrice, QStringLiteral("工价"), 56),
                         column(fAmount, QStringLiteral("金额"), 64),
                         column(fScannedAt, QStringLiteral("扫描时间"), 60)});
    layout->addWidget(grdScan, 1);

    auto* totals = new QFrame(this);
    totals->setFixedHeight(20);
    auto* totalsRow = new QHBoxLayout(totals);
    totalsRow->setContentsMargins(8, 0, 8, 0);
    totalsRow->setSpacing(4);
    dbScanCount = new QLabel(totals);
    dbScanCount->setObjectName(QStringLiteral("dbScanCount"));
    dbScanCount->setMinimumWidth(50);
    dbScanQty = new QLabel(totals);
    dbScanQty->setObjectName(QStringLiteral("dbScanQty"));
    dbScanQty->setMinimumWidth(90);
    dbScanTmy = new QLabel(totals);
    dbScanTmy->setObjectName(QStringLiteral("dbScanTmy"));
    dbScanTmy->setMinimumWidth(120);
    totalsRow->addWidget(new QLabel(QStringLiteral("张数:"), totals));
    totalsRow->addWidget(dbScanCount);
    totalsRow->addSpacing(20);
    totalsRow->addWidget(new QLabel(QStringLiteral("合计数:"), totals));
    totalsRow->addWidget(dbScanQty);
    totalsRow->addSpacing(20);
    totalsRow->addWidget(new QLabel(QStringLiteral("合计金额:"), totals));
    totalsRow->addWidget(dbScanTmy);
    totalsRow->addStretch(1);
    layout->addWidget(totals);

    PopupScan = new QMenu(this);
    PopupScan->setObjectName(QStringLiteral("PopupScan"));
    poUndoScan = PopupScan->addAction(QStringLiteral("撤销扫描"));
    poUndoScan->setObjectName(QStringLiteral("poUndoScan"));
    setGridMenu(grdScan, PopupScan);

    connect(edScan, &QLineEdit::returnPressed, this, &TicketScanPage::edScanEnter);
    connect(btnUndoScan, &QToolButton::clicked, this, &TicketScanPage::btnUndoScanClick);
    connect(poUndoScan, &QAction::triggered, this, &TicketScanPage::btnUndoScanClick);
    connect(cbbScanStaff, &QComboBox::currentTextChanged, this, &TicketScanPage::cbbScanStaffChange);
    connect(cbbDateScan, &QDateEdit::dateChanged, this, &TicketScanPage::cbbDateScanChange);
    // A worker chosen in the box: the next thing is the first ticket.
    connect(cbbScanStaff, &QComboBox::activated, this, [this] { edScan->setFocus(); });
    connect(cbbScanStaff->lineEdit(), &QLineEdit::returnPressed, this, [this] { edScan->setFocus(); });
}

void TicketScanPage::load() {
    {
        const QSignalBlocker quiet(cbbDateScan);
        cbbDateScan->setDate(hx::today());
    }
    FillCombo(currentWorkerTexts(), cbbScanStaff);
    m_staffId = 0;
    reloadList();
}

void TicketScanPage::enter() {
    guarded([this] { reloadList(); });
    edScan->setFocus();
}

QString TicketScanPage::lastMessage() const {
    return lblScanResult->text();
}

// ---- the worker and the day

void TicketScanPage::cbbScanStaffChange() {
    guarded([this] {
        m_staffId = staffIdOf(workNumberOf(cbbScanStaff->currentText()));
        reloadList();
    });
}

void TicketScanPage::cbbDateScanChange() {
    guarded([this] { reloadList(); });
}

void TicketScanPage::chooseWorker(const Worker& worker) {
    {
        const QSignalBlocker quiet(cbbScanStaff);
        int item = -1;
        for (int i = 0; i < cbbScanStaff->count() && item < 0; ++i)
            if (workNumberOf(cbbScanStaff->itemText(i)) == worker.code) item = i;
        if (item >= 0)
            cbbScanStaff->setCurrentIndex(item);
        else
            cbbScanStaff->setEditText(worker.code + QStringLiteral("    ") + worker.name);
    }
    m_staffId = worker.id;
    reloadList();
    tell(QStringLiteral("员工 %1 %2：请扫描菲票。").arg(worker.code, worker.name), false);
}

// ---- scanning

void TicketScanPage::edScanEnter() {
    // The field is ready for the next code at once: a scanner types on without waiting.
    const QString typed = edScan->text();
    edScan->clear();
    edScan->setFocus();
    if (typed.trimmed().isEmpty()) return;
    guarded([&] { acceptCode(typed); });
}

void TicketScanPage::acceptCode(const QString& typed) {
    Connection& cn = dataFrm()->cnMain;
    const QString text = typed.trimmed();
    // A worker's badge carries the work number; a ticket's code has nine digits with a check digit.
    const WorkerLookup badge = workerByBadge(cn, text);
    if (badge.worker) return chooseWorker(*badge.worker);
    if (normalizedTicketCode(text).size() != ticketCodeLength) {
        if (staffIdOf(text) != 0) return refuse(badge.refusal);  // a dismissed worker's badge
        return refuse(QStringLiteral("“%1”既不是菲票号，也不是员工工号，请核对后重新输入。").arg(text));
    }
    const QDate day = cbbDateScan->date();
    const ScanOutcome out = acceptTicket(cn, text, day, m_staffId);
    if (!out.accepted) return refuse(out.reason);
    reloadList();
    emit recordsChanged();
    tell(QStringLiteral("已计入：生产单 %1 第 %2 扎 %3 %4，工序 %5 %6，%7 件（当天该工序共 %8 件）。")
             .arg(out.orderCode)
             .arg(out.bundleNo)
             .arg(out.color, out.size, out.jobCode, out.description)
             .arg(out.pieces)
             .arg(out.recordPieces),
         false);
}

void TicketScanPage::btnUndoScanClick() {
    guarded([this] {
        if (!tdScan->isOpen() || tdScan->isEmpty())
            return refuse(QStringLiteral("列表中没有可以撤销的扫描。"));
        const QString code = tdScan->asString(fCode);
        const QString what =
            QStringLiteral("生产单 %1 第 %2 扎 %3 %4，工序 %5 %6，%7 件")
                .arg(tdScan->asString(QStringLiteral("orderCode")))
                .arg(tdScan->asInt(QStringLiteral("bundleNo")))
                .arg(tdScan->asString(QStringLiteral("color")), tdScan->asString(QStringLiteral("size")),
                     tdScan->asString(QStringLiteral("jobCode")),
                     tdScan->asString(QStringLiteral("description")))
                .arg(tdScan->asInt(fQty));
        const QString question =
            QStringLiteral(
                "撤销菲票 %1 的扫描吗？\n%2 将从 %3 在 %4 的计件记录中减去，这张菲票可以重新扫描。")
                .arg(code, what, cbbScanStaff->currentText().simplified(),
                     cbbDateScan->date().toString(Qt::ISODate));
        if (Dialogs::get().confirm(question) != Answer::Yes) return;
        const ScanOutcome out = undoTicket(dataFrm()->cnMain, code, cbbDateScan->date(), m_staffId);
        reloadList();
        if (!out.accepted) return refuse(out.reason);
        emit recordsChanged();
        tell(QStringLiteral("已撤销菲票 %1 的扫描：%2（当天该工序还有 %3 件）。")
                 .arg(code, what)
                 .arg(out.recordPieces),
             false);
    });
    // Back to scanning, also when the command came from the list's menu, which gives the focus back to the
    // list as it closes.
    edScan->setFocus();
    QTimer::singleShot(0, edScan, [this] { edScan->setFocus(); });
}

// ---- the list

void TicketScanPage::reloadList() {
    tdScan->close();
    if (m_staffId > 0 && cbbDateScan->date().isValid()) {
        setQuery(*tdScan, scannedTickets(cbbDateScan->date(), m_staffId));
        tdScan->open();
        // The last ticket scanned is the current one: the one an undo takes.
        tdScan->last();
    }
    showTotals();
}

void TicketScanPage::showTotals() {
    QString count, qty, tmy;
    if (tdScan->isOpen()) {
        const int rows = tdScan->recordCount();
        const int qtyField = tdScan->fieldIndex(fQty);
        const int priceField = tdScan->fieldIndex(fPrice);
        qint64 pieces = 0;
        Money amount;
        bool priced = false;
        for (int r = 0; r < rows; ++r) {
            const qint64 n = tdScan->integerAt(r, qtyField).value_or(0);
            pieces += n;
            const QVariant price = tdScan->valueAt(r, priceField);
            if (price.isNull()) continue;
            amount += Money::fromVariant(price) * n;
            priced = true;
        }
        count = QString::number(rows);
        if (rows > 0) qty = QString::number(pieces);
        if (priced) tmy = formatCurrency(amount);
    }
    dbScanCount->setText(count);
    dbScanQty->setText(qty);
    dbScanTmy->setText(tmy);
}

void TicketScanPage::tell(const QString& text, bool refused) {
    m_refused = refused;
    QPalette palette = lblScanResult->palette();
    palette.setColor(QPalette::WindowText, refused ? QColor(192, 0, 0) : QColor(0, 110, 0));
    lblScanResult->setPalette(palette);
    lblScanResult->setText(text);
}

void TicketScanPage::refuse(const QString& reason) {
    Dialogs::get().beep();
    tell(reason, true);
}

}  // namespace hx
