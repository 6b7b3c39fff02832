#include "gui/payroll/salary.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "core/data/clock.h"
#include "core/data/datamodule.h"
#include "core/payroll/generation.h"
#include "core/payroll/periods.h"
#include "core/payroll/salarysheet.h"
#include "gui/payroll/greenbutton.h"
#include "gui/widgets/combolists.h"
#include "gui/widgets/dialogs.h"
#include "gui/widgets/mydbgrid.h"

namespace hx {

namespace {

// What the user may not change is drawn on sky blue, the help text's "天兰色".
const QColor skyBlue(166, 202, 240);
const QString dateFormat = QStringLiteral("yyyy-MM-dd");

bool isFixedItem(const QVariant& code) {
    return code.toString().startsWith(QLatin1Char('A'), Qt::CaseInsensitive);
}

// Cells of the code column, and every cell of a fixed item's row, on sky blue, also when selected. The
// cell editors stay the grid's own, which keep its keys working while a cell is edited.
class ItemCellDelegate : public QStyledItemDelegate {
  public:
    ItemCellDelegate(TMyDBGrid* grid, int codeColumn)
        : QStyledItemDelegate(grid), m_editors(grid->itemDelegate()), m_codeColumn(codeColumn) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        if (!isSkyBlue(index)) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        painter->fillRect(option.rect, skyBlue);
        QStyleOptionViewItem opt = option;
        opt.state &= ~QStyle::State_Selected;
        QStyledItemDelegate::paint(painter, opt, index);
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        return m_editors->createEditor(parent, option, index);
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        m_editors->setEditorData(editor, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        m_editors->setModelData(editor, model, index);
    }
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override {
        m_editors->updateEditorGeometry(editor, option, index);
    }

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() == m_codeColumn) option->displayAlignment = Qt::AlignCenter;
        if (isSkyBlue(index)) option->backgroundBrush = skyBlue;
    }

  private:
    bool isSkyBlue(const QModelIndex& index) const {
        return index.column() == m_codeColumn ||
               isFixedItem(index.sibling(index.row(), m_codeColumn).data(Qt::UserRole));
    }
    QAbstractItemDelegate* m_editors;
    int m_codeColumn;
};

}  // namespace

QString TsalaryFrm::helpTextOfWindow() {
    return QStringLiteral(
        "如果右边没有列出表格，请点击[复制上月设置]按钮，然后在表格中进行具体设置。\n"
        "\n"
        "天兰色内容是系统自动引用的内容，不可改动(打印宽度除外)；\n"
        "\n"
        "固定项目：A字头代码，是指从“员工登记”中引用的基本上每月不变的项目；\n"
        "\n"
        "数值项目：B字头代码，如”出勤天数“、“请假天数”、”加班小时数“之类；\n"
        "\n"
        "金额项目：C字头代码，自定义的各种奖罚、增扣、税、合计、应发、实发等金额类项目；\n"
        "\n"
        "文字项目：T字头代码，主要用于说明性文字，如某条扣款的说明之类；\n"
        "\n"
        "公式写法：利用项目代码作变量，支持 + - * / "
        "以及iif判断、round四舍五入、int取整等运算符。项目代码的引用顺序是单向的，后面的可以引用前面，反之不"
        "可；\n"
        "\n"
        "默认值说明：工资表生成时每个项目初始值一律为默认值，生成后，在工资表中可个别改变；\n"
        "\n"
        "打印宽度：单位是毫米。请参照各类纸张的尺寸；\n"
        "\n"
        "生成工资表：项目设置完毕后，选择“年”、“月”、“日”及计件工资计算起讫日期，按“生成”按钮，系统自动计算"
        "生成该月工资表。");
}

TsalaryFrm::TsalaryFrm(QWidget* parent) : WorkWindow(parent) {
    buildWindow();
    FormCreate();
}

TsalaryFrm::~TsalaryFrm() = default;

void TsalaryFrm::buildWindow() {
    frameWindow(QStringLiteral("salaryFrm"), QStringLiteral("工资设置"), QSize(678, 475));
    setHelpText(helpTextOfWindow());

    Connection* cn = &dataFrm()->cnMain;
    tdMain = new DataSet(cn, this);
    tdMain->setObjectName(QStringLiteral("tdMain"));
    tdSumW = new DataSet(cn, this);
    tdSumW->setObjectName(QStringLiteral("tdSumW"));
    tdWcn = new DataSet(cn, this);
    tdWcn->setObjectName(QStringLiteral("tdWcn"));

    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QLatin1String(name));
        return w;
    };

    // Left panel
    auto* left = new QWidget(this);
    left->setFixedWidth(120);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(8, 8, 8, 8);
    leftLayout->setSpacing(3);
    cbbYear = new QComboBox(left);
    cbbMonth = new QComboBox(left);
    cbbDay = new QComboBox(left);
    named(cbbYear, "cbbYear");
    named(cbbMonth, "cbbMonth");
    named(cbbDay, "cbbDay");
    cbbYear->setMaxVisibleItems(12);
    cbbMonth->setMaxVisibleItems(12);
    cbbDay->setMaxVisibleItems(16);
    btnCopy = new QPushButton(QStringLiteral("复制上月设置"), left);
    btnCreate = new QPushButton(QStringLiteral("生成本月工资表"), left);
    named(btnCopy, "btnCopy");
    named(btnCreate, "btnCreate");
    makeGreenButton(btnCopy);
    makeGreenButton(btnCreate);
    cbbDateB = new QDateEdit(left);
    cbbDateE = new QDateEdit(left);
    named(cbbDateB, "cbbDateB");
    named(cbbDateE, "cbbDateE");
    for (QDateEdit* d : {cbbDateB, cbbDateE}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(dateFormat);
    }
    auto caption = [left](const QString& text) { return new QLabel(text, left); };
    leftLayout->addWidget(caption(QStringLiteral("年份")));
    leftLayout->addWidget(cbbYear);
    leftLayout->addWidget(caption(QStringLiteral("月份")));
    leftLayout->addWidget(cbbMonth);
    leftLayout->addSpacing(6);
    leftLayout->addWidget(btnCopy);
    leftLayout->addSpacing(18);
    leftLayout->addWidget(caption(QStringLiteral("分批发薪日")));
    leftLayout->addWidget(cbbDay);
    leftLayout->addWidget(caption(QStringLiteral("计件开始日期")));
    leftLayout->addWidget(cbbDateB);
    leftLayout->addWidget(caption(QStringLiteral("计件截止日期")));
    leftLayout->addWidget(cbbDateE);
    leftLayout->addSpacing(6);
    leftLayout->addWidget(btnCreate);
    leftLayout->addStretch(1);

    // Item grid
    grdMain = new TMyDBGrid(this);
    named(grdMain, "grdMain");
    grdMain->setDataSet(tdMain);
    GridColumn code(QStringLiteral("ItemCode"), QStringLiteral("项目代码"), 58);
    code.readOnly = true;
    grdMain->setColumns({code,
                         {QStringLiteral("ItemName"), QStringLiteral("项目名称"), 65},
                         {QStringLiteral("expression"), QStringLiteral("公式或默认值"), 328},
                         {QStringLiteral("printWidth"), QStringLiteral("打印宽度"), 52}});
    grdMain->setItemDelegate(new ItemCellDelegate(grdMain, 0));
    // A month's rows come only from the copy: the grid's keys neither add nor remove one.
    grdMain->setFixedRows(true);

    // Bottom panel
    auto* bottom = new QWidget(this);
    auto* bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->setContentsMargins(6, 2, 6, 6);
    bottomLayout->setSpacing(4);
    rgDisplay = new QGroupBox(QStringLiteral("显示分类"), bottom);
    named(rgDisplay, "rgDisplay");
    rgDisplayButtons = new QButtonGroup(this);
    auto* familyLayout = new QHBoxLayout(rgDisplay);
    familyLayout->setContentsMargins(4, 0, 4, 0);
    familyLayout->setSpacing(2);
    const QStringList families = {QStringLiteral("全部项目"), QStringLiteral("固定项目"),
                                  QStringLiteral("数值项目"), QStringLiteral("金额项目"),
                                  QStringLiteral("文字项目")};
    for (int i = 0; i < families.size(); ++i) {
        auto* choice = new QRadioButton(families[i], rgDisplay);
        choice->setObjectName(QStringLiteral("rgDisplay%1").arg(i));
        rgDisplayButtons->addButton(choice, i);
        familyLayout->addWidget(choice);
    }
    rgDisplayButtons->button(0)->setChecked(true);
    dbWcode = new QLineEdit(bottom);
    dbWName = new QLineEdit(bottom);
    named(dbWcode, "dbWcode");
    named(dbWName, "dbWName");
    for (QLineEdit* e : {dbWcode, dbWName}) {
        e->setValidator(new QIntValidator(0, 9999, e));
        e->setFixedWidth(30);
        e->setAlignment(Qt::AlignRight);
        e->installEventFilter(this);
    }
    lblSumW = new QLabel(bottom);
    named(lblSumW, "lblSumW");
    lblSumW->setMinimumWidth(30);
    lblSumW->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblSumW->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bottomLayout->addWidget(rgDisplay);
    bottomLayout->addWidget(new QLabel(QStringLiteral("工号宽度"), bottom));
    bottomLayout->addWidget(dbWcode);
    bottomLayout->addWidget(new QLabel(QStringLiteral("姓名宽度"), bottom));
    bottomLayout->addWidget(dbWName);
    bottomLayout->addWidget(new QLabel(QStringLiteral("总宽度"), bottom));
    bottomLayout->addWidget(lblSumW);
    bottomLayout->addStretch(1);

    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);
    top->addWidget(left);
    top->addWidget(grdMain, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(top, 1);
    layout->addWidget(bottom);

    connect(cbbYear, &QComboBox::currentIndexChanged, this, [this] { guarded([this] { cbbYearChange(); }); });
    connect(cbbMonth, &QComboBox::currentIndexChanged, this,
            [this] { guarded([this] { cbbMonthChange(); }); });
    connect(rgDisplayButtons, &QButtonGroup::idClicked, this,
            [this] { guarded([this] { rgDisplayClick(); }); });
    connect(btnCopy, &QPushButton::clicked, this, [this] { guarded([this] { btnCopyClick(); }); });
    connect(btnCreate, &QPushButton::clicked, this, [this] { guarded([this] { btnCreateClick(); }); });
    connect(dbWcode, &QLineEdit::textEdited, this,
            [this](const QString& text) { guarded([&] { widthEdited(QStringLiteral("wCode"), text); }); });
    connect(dbWName, &QLineEdit::textEdited, this,
            [this](const QString& text) { guarded([&] { widthEdited(QStringLiteral("wName"), text); }); });

    tdMain->afterScroll = [this](DataSet& ds) { tdMainAfterScroll(ds); };
    tdMain->beforePost = [this](DataSet& ds) { tdMainBeforePost(ds); };
    tdMain->afterPost = [this](DataSet& ds) { tdMainAfterPost(ds); };
    // A row the database refuses (a name or formula too long, a width that is not a number) stays in
    // the grid, as typed, with the reason told.
    keepRefusedRows(tdMain, {grdMain});
    // The month's rows come only from the copy, and the width row is the one there is.
    auto refuse = [](DataSet&) { throw DbError(QStringLiteral("不能增加或删除这一行。")); };
    tdMain->beforeInsert = refuse;
    tdMain->beforeDelete = refuse;
    tdWcn->beforeInsert = refuse;
    tdWcn->beforeDelete = refuse;
}

void TsalaryFrm::FormCreate() {
    const QDate today = hx::today();
    fillYearList(cbbYear, today);
    fillNumberList(cbbMonth, 1, 12);
    fillNumberList(cbbDay, 1, 31);
    const YearMonth shown = previousMonth(today);
    selectListNumber(cbbYear, shown.year);
    selectListNumber(cbbMonth, shown.month);
    selectListNumber(cbbDay, 8);
    cbbDateB->setDate(today.addDays(-36));
    cbbDateE->setDate(today.addDays(-5));
    guarded([this] {
        setQuery(*tdWcn, columnWidths());
        tdWcn->open();
        loadWidths();
    });
    grdMain->horizontalHeader()->setSectionsMovable(false);
    guarded([this] { LoadMonthItems(); });
}

int TsalaryFrm::year() const {
    return listNumber(cbbYear);
}

int TsalaryFrm::month() const {
    return listNumber(cbbMonth);
}

void TsalaryFrm::openItems(const QString& family) {
    tdMain->close();
    setQuery(*tdMain, monthItems(year(), month(), family));
    tdMain->open();
}

bool TsalaryFrm::storeItemRow() {
    return !tdMain->isOpen() || tdMain->checkBrowseMode();
}

void TsalaryFrm::LoadMonthItems() {
    bool stored = true;
    guarded([&] { stored = storeItemRow(); });
    if (!stored) {
        // The refused row keeps its month.
        const QSignalBlocker quietYear(cbbYear);
        const QSignalBlocker quietMonth(cbbMonth);
        selectListNumber(cbbYear, m_shownYear);
        selectListNumber(cbbMonth, m_shownMonth);
        return;
    }
    m_shownYear = year();
    m_shownMonth = month();
    tdMain->close();
    tdSumW->close();
    // Whichever family the filter still shows, the month is loaded whole.
    openItems(QString());
    setQuery(*tdSumW, monthItemsWidth(year(), month()));
    tdSumW->open();
    m_sumW = tdSumW->asInt(QStringLiteral("sumW"));  // Null for a month without items: 0
    showTotalWidth();
}

void TsalaryFrm::cbbYearChange() {
    LoadMonthItems();
}

void TsalaryFrm::cbbMonthChange() {
    LoadMonthItems();
}

void TsalaryFrm::rgDisplayClick() {
    static const QStringList families = {QString(), QStringLiteral("A"), QStringLiteral("B"),
                                         QStringLiteral("C"), QStringLiteral("T")};
    if (!storeItemRow()) {
        rgDisplayButtons->button(m_shownFamily)->setChecked(true);
        return;
    }
    m_shownFamily = rgDisplayButtons->checkedId();
    openItems(families.value(m_shownFamily));
}

void TsalaryFrm::btnCopyClick() {
    if (!storeItemRow()) return;
    Connection& cn = dataFrm()->cnMain;
    const int source = previousItemMonth(cn, year(), month());
    if (monthNumber(year(), month()) == baseItemMonthNumber) return;  // the base month stays as it is
    copyItemMonth(cn, year(), month(), source);
    LoadMonthItems();
}

void TsalaryFrm::btnCreateClick() {
    if (!storeItemRow()) return;
    if (tdMain->recordCount() == 0) {
        Dialogs::get().information(QStringLiteral("尚未进行本月的工资项目设置，无法生成工资表！"));
        return;
    }
    const SheetBatch batch{year(), month(), listNumber(cbbDay)};
    const QString y = cbbYear->currentText();
    const QString m = cbbMonth->currentText();
    const QString d = cbbDay->currentText();
    const QString b = cbbDateB->date().toString(dateFormat);
    const QString e = cbbDateE->date().toString(dateFormat);
    Connection& cn = dataFrm()->cnMain;
    const bool exists = sheetBatchExists(cn, batch);
    if (exists &&
        Dialogs::get().confirm(
            QStringLiteral("系统发现工资表中") + y + QStringLiteral("年") + m + QStringLiteral("月已有 ") +
                d + QStringLiteral("号的发薪记录，系统将重建该批员工的该月工资数据。") +
                QStringLiteral("\n\n") +
                QStringLiteral("如果你录入了诸如考勤时间等在工资表中直接录入的数据，将会被默认值代替。") +
                QStringLiteral("\n\n") + QStringLiteral("确定要生成新的工资表吗？"),
            ConfirmIcon::Warning) == Answer::No)
        return;
    if (Dialogs::get().confirm(QStringLiteral("验证以下信息：\n\n发薪月份为：") + y + QStringLiteral(" 年 ") +
                               m + QStringLiteral(" 月") + QStringLiteral("\n") +
                               QStringLiteral("发薪批次日期为：") + d + QStringLiteral(" 号") +
                               QStringLiteral("\n") + QStringLiteral("计件工资起讫日期为：从 ") + b +
                               QStringLiteral(" 到 ") + e + QStringLiteral("\n") + QStringLiteral("\n") +
                               QStringLiteral("以上信息全部正确，并确定要生成该工资表吗？")) == Answer::No)
        return;
    try {
        generateSalarySheet(cn, batch, cbbDateB->date(), cbbDateE->date());
    } catch (const Error& failure) {
        // Rolled back: the batch is as it was. The cause names the item, its formula and the reason.
        Dialogs::get().error(QStringLiteral("工资表创建失败，请稍候重试。") + QStringLiteral("\n\n") +
                             failure.message());
        return;
    }
    Dialogs::get().information(y + QStringLiteral("年") + m + QStringLiteral("月工资表创建成功，") +
                               QStringLiteral("请到《工资表》中查看打印。"));
    close();
    emit sheetGenerated(batch.year, batch.month, batch.day);
}

void TsalaryFrm::lockRow() {
    if (!tdMain->isOpen() || tdMain->fieldIndex(QStringLiteral("ItemName")) < 0) return;
    const bool fixed = isFixedItem(tdMain->value(QStringLiteral("ItemCode")));
    tdMain->field(QStringLiteral("ItemName")).readOnly = fixed;
    tdMain->field(QStringLiteral("expression")).readOnly = fixed;
}

void TsalaryFrm::tdMainAfterScroll(DataSet&) {
    lockRow();
}

void TsalaryFrm::tdMainBeforePost(DataSet& ds) {
    const QString name = ds.asString(QStringLiteral("ItemName"));
    if (name.isEmpty()) {
        // An item not in use has no formula and takes no room on the slip, fixed items included.
        ds.field(QStringLiteral("expression")).readOnly = false;
        ds.setValue(QStringLiteral("expression"), QVariant());
        ds.setValue(QStringLiteral("printWidth"), 0);
        return;
    }
    bool unreadable = false;
    const QStringList problems = checkItemFormula(ds.asString(QStringLiteral("ItemCode")),
                                                  ds.asString(QStringLiteral("expression")), &unreadable);
    if (!problems.isEmpty())
        Dialogs::get().warning(problems.join(QLatin1Char('\n')) +
                               QStringLiteral("\n\n公式已按输入保存，请在生成工资表之前改正。") +
                               (unreadable ? QStringLiteral("\n\n") + formulaSyntaxHelp() : QString()));
}

void TsalaryFrm::tdMainAfterPost(DataSet&) {
    lockRow();
    tdSumW->requery();
    m_sumW = tdSumW->asInt(QStringLiteral("sumW"));
    showTotalWidth();
}

void TsalaryFrm::loadWidths() {
    dbWcode->setText(tdWcn->isEmpty() ? QString() : QString::number(tdWcn->asInt(QStringLiteral("wCode"))));
    dbWName->setText(tdWcn->isEmpty() ? QString() : QString::number(tdWcn->asInt(QStringLiteral("wName"))));
}

void TsalaryFrm::widthEdited(const QString& field, const QString& text) {
    if (!tdWcn->isOpen() || tdWcn->isEmpty()) return;
    // An emptied box means no width rather than a missing one.
    tdWcn->setValue(field, text.trimmed().isEmpty() ? 0 : text.toInt());
}

void TsalaryFrm::showTotalWidth() {
    const qint64 wCode = tdWcn->isOpen() ? tdWcn->asInt(QStringLiteral("wCode")) : 0;
    const qint64 wName = tdWcn->isOpen() ? tdWcn->asInt(QStringLiteral("wName")) : 0;
    lblSumW->setText(QString::number(m_sumW + wCode + wName));
}

void TsalaryFrm::dbWcodeExit() {
    if (tdWcn->isEditing()) tdWcn->post();
    showTotalWidth();
}

void TsalaryFrm::dbWNameExit() {
    if (tdWcn->isEditing()) tdWcn->post();
    showTotalWidth();
}

bool TsalaryFrm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (watched == dbWcode) guarded([this] { dbWcodeExit(); });
        if (watched == dbWName) guarded([this] { dbWNameExit(); });
    }
    return WorkWindow::eventFilter(watched, event);
}

void TsalaryFrm::closeEvent(QCloseEvent* event) {
    // A row still being edited is stored, as leaving it would have done. A refused row keeps the
    // window open, with the row to correct or to drop with Esc.
    bool stored = true;
    guarded([&] { stored = storeItemRow(); });
    if (!stored) {
        event->ignore();
        return;
    }
    if (tdWcn->isOpen() && tdWcn->isEditing()) guarded([this] { tdWcn->post(); });
    WorkWindow::closeEvent(event);
}

}  // namespace hx
