#include "gui/widgets/pickobj.h"

#include <QApplication>
#include <QDate>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

#include "core/data/datamodule.h"
#include "gui/widgets/dialogs.h"

namespace hx {

namespace {

PickHandler& handlerSlot() {
    static PickHandler handler;
    return handler;
}

QPointer<TpickObjFrm>& thePicker() {
    static QPointer<TpickObjFrm> picker;
    return picker;
}

QString plainText(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return QString();
    if (v.userType() == qMetaTypeId<Money>()) return v.value<Money>().toPlainString();
    if (v.typeId() == QMetaType::QDate) return v.toDate().toString(Qt::ISODate);
    return v.toString();
}

const QColor evenColour(210, 210, 255);
const QColor oddColour(180, 180, 255);

}  // namespace

void setPickHandler(PickHandler handler) {
    handlerSlot() = std::move(handler);
}

const PickHandler& pickHandler() {
    return handlerSlot();
}

// ---- rows

QColor PickRowDelegate::rowColour(int row) {
    return row % 2 ? oddColour : evenColour;
}

void PickRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    const bool current = selected && (option.state & QStyle::State_HasFocus);
    painter->save();
    painter->fillRect(option.rect, current ? selectedColour() : rowColour(index.row()));
    // Highlight text only on the blue row: on the pale colours it would not be legible.
    painter->setPen(current ? option.palette.color(QPalette::HighlightedText) : QColor(Qt::black));
    painter->setFont(option.font);
    const QRect textRect = option.rect.adjusted(30, 5, 0, 0);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
    if (option.state & QStyle::State_HasFocus) {
        // The classic dotted focus frame; a style's own frame may tint the whole row.
        painter->save();
        painter->setPen(QPen(current ? option.palette.color(QPalette::HighlightedText) : QColor(Qt::black), 1,
                             Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
}

QSize PickRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return QSize(QStyledItemDelegate::sizeHint(option, index).width(), RowHeight);
}

// ---- the picker

TpickObjFrm::TpickObjFrm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("pickObjFrm"));
    setWindowTitle(QStringLiteral("禾岫ERP"));
    setFixedSize(250, 348);
    QFont font(QStringLiteral("Arial"));
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::Text, Qt::black);
    setPalette(pal);

    ListCode = new QListWidget(this);
    ListCode->setObjectName(QStringLiteral("ListCode"));
    ListCode->setItemDelegate(new PickRowDelegate(ListCode));
    ListCode->setUniformItemSizes(true);
    ListCode->setSelectionMode(QAbstractItemView::SingleSelection);
    ListCode->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListCode->installEventFilter(this);

    ListID = new QListWidget(this);
    ListID->setObjectName(QStringLiteral("ListID"));
    ListID->setGeometry(0, 0, 9, 97);
    ListID->hide();

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);
    StatusBar1->setSizeGripEnabled(false);
    m_panel0 = new QLabel(QStringLiteral("双击或回车选择:"), StatusBar1);
    m_panel0->setObjectName(QStringLiteral("panel0"));
    m_panel0->setAlignment(Qt::AlignCenter);
    m_panel0->setFixedWidth(100);
    m_panel1 = new QLabel(QStringLiteral(" "), StatusBar1);
    m_panel1->setObjectName(QStringLiteral("panel1"));
    m_panel1->setAlignment(Qt::AlignCenter);
    m_panel1->setMinimumWidth(50);
    StatusBar1->addWidget(m_panel0);
    StatusBar1->addWidget(m_panel1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ListCode, 1);
    layout->addWidget(StatusBar1);

    connect(ListCode, &QListWidget::itemSelectionChanged, this, &TpickObjFrm::selectionChanged);
    connect(ListCode, &QAbstractItemView::doubleClicked, this, [this] { choose(); });
}

int TpickObjFrm::showPicker() {
    return exec();
}

void TpickObjFrm::load() {
    QPalette pal = ListCode->palette();
    pal.setColor(QPalette::Base, evenColour);
    ListCode->setPalette(pal);
    ListID->clear();
    ListCode->clear();

    TdataFrm* module = dataFrm();
    if (!module) throw Error(QStringLiteral("数据模块尚未创建。"));
    DataSet& ds = module->tdTempFill;
    struct CloseAfter {
        DataSet& ds;
        ~CloseAfter() {
            ds.close();
            ds.setParams({});
        }
    } closeAfter{ds};
    if (!ds.isOpen()) throw DbError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    const int idField = ds.fieldIndex(QStringLiteral("objectID"));
    const int codeField = ds.fieldIndex(QStringLiteral("objectCode"));
    if (idField < 0) throw DbError(QStringLiteral("Field 'objectID' not found"));
    if (codeField < 0) throw DbError(QStringLiteral("Field 'objectCode' not found"));
    const int rows = ds.recordCount();
    QStringList ids;
    QStringList codes;
    ids.reserve(rows);
    codes.reserve(rows);
    for (int r = 0; r < rows; ++r) {
        ids << plainText(ds.valueAt(r, idField));
        codes << plainText(ds.valueAt(r, codeField));
    }
    ListID->addItems(ids);
    ListCode->addItems(codes);
}

bool TpickObjFrm::choose() {
    if (m_chosen) return false;
    const QList<QListWidgetItem*> selected = ListCode->selectedItems();
    if (selected.isEmpty()) return false;
    const QListWidgetItem* idItem = ListID->item(ListCode->row(selected.first()));
    bool ok = false;
    const int id = idItem ? idItem->text().toInt(&ok) : 0;
    if (!ok) return false;
    m_chosen = true;
    // A copy: the handler may well set the next handler itself.
    const PickHandler handler = pickHandler();
    if (handler) guarded([&] { handler(id); });
    accept();
    return true;
}

QString TpickObjFrm::panelText(int panel) const {
    return panel == 0 ? m_panel0->text() : m_panel1->text();
}

void TpickObjFrm::selectionChanged() {
    const QList<QListWidgetItem*> selected = ListCode->selectedItems();
    if (!selected.isEmpty()) m_panel1->setText(selected.first()->text());
}

void TpickObjFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_chosen = false;
    if (!event->spontaneous()) {
        if (const QScreen* s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->availableGeometry().center());
            move(frame.topLeft());
        }
        guarded([this] { load(); });
        ListCode->setFocus();
        QWidget* caller = QApplication::activeWindow();
        m_caller = caller != this ? caller : nullptr;
    }
}

void TpickObjFrm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (event->spontaneous()) return;
    m_panel1->setText(QStringLiteral(" "));
    // The window the picker was called from gets the keyboard back, so the clerk types on in the cell he
    // picked for; left to the window system, the focus may end up nowhere.
    if (m_caller && m_caller->isVisible()) m_caller->activateWindow();
    m_caller = nullptr;
}

bool TpickObjFrm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListCode && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                choose();
                return true;
            case Qt::Key_Escape:
                // Leaving gives the same result as a choice; no caller tells them apart.
                accept();
                return true;
            case Qt::Key_Down:
            case Qt::Key_Up:
                // Until a row is selected, the first arrow press selects the first row rather than the
                // one after the list's (unselected) current row.
                if (ListCode->selectedItems().isEmpty() && ListCode->count() > 0 &&
                    key->modifiers() == Qt::NoModifier) {
                    ListCode->setCurrentRow(0);
                    return true;
                }
                break;
            default:
                break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

TpickObjFrm* createPickObjFrm() {
    QPointer<TpickObjFrm>& picker = thePicker();
    if (!picker) {
        picker = new TpickObjFrm();
        // Parentless: it must go before the application does.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, picker, [] { destroyPickObjFrm(); });
    }
    return picker;
}

TpickObjFrm* pickObjFrm() {
    return createPickObjFrm();
}

void destroyPickObjFrm() {
    delete thePicker().data();
}

void pickObject(const QString& sql, const QVariantList& params, PickHandler handler) {
    setPickHandler(std::move(handler));
    TdataFrm* module = dataFrm();
    if (!module) throw Error(QStringLiteral("数据模块尚未创建。"));
    DataSet& ds = module->tdTempFill;
    ds.close();
    ds.setSql(sql);
    ds.setParams(params);
    ds.open();
    pickObjFrm()->showPicker();
}

}  // namespace hx
