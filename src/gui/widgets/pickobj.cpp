#include "gui/widgets/pickobj.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

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

// Between the code and the further columns, and between those.
constexpr int columnGap = 12;
// A text column (a description) is never wider than this; longer texts are cut in the list and read in
// full in the status bar.
constexpr int widestTextColumn = 240;
constexpr int widestWindow = 640;

QString extraText(const QVariant& v) {
    if (v.userType() == qMetaTypeId<Money>()) return v.value<Money>().toString(Money::Decimals);
    return plainText(v);
}

// The widest of many texts. Shaping every text of thousands of rows would keep the clerk waiting, so
// only the few that are longest by a count of places (a Chinese character taking two) are measured.
class WidestText {
  public:
    void add(const QString& text) {
        int places = 0;
        for (const QChar c : text) places += c.unicode() < 0x80 ? 1 : 2;
        if (m_candidates.size() < measured) {
            m_candidates.append({places, text});
            return;
        }
        auto shortest = std::min_element(m_candidates.begin(), m_candidates.end());
        if (places > shortest->first) *shortest = {places, text};
    }
    int width(const QFontMetrics& metrics) const {
        int widest = 0;
        for (const auto& candidate : m_candidates)
            widest = std::max(widest, metrics.horizontalAdvance(candidate.second));
        return widest;
    }

  private:
    static constexpr int measured = 12;
    QVector<std::pair<int, QString>> m_candidates;
};

bool isNumeric(FieldType type) {
    return type == FieldType::Money || type == FieldType::Integer || type == FieldType::Double;
}

// The picker's list with its type-ahead: the typed text goes first against the codes' beginnings, then
// anywhere in the codes and further texts. Keys typed within the application's keyboard interval add up
// to one text, as in any list; an input method's committed text arrives here whole.
class PickList : public QListWidget {
  public:
    using QListWidget::QListWidget;

    void setSearchTexts(QStringList codes, QStringList texts) {
        m_codes = std::move(codes);
        m_texts = std::move(texts);
        m_typed.clear();
        m_lastKey.invalidate();
    }

    void keyboardSearch(const QString& search) override {
        const bool fresh = search.isEmpty() || !m_lastKey.isValid() ||
                           m_lastKey.elapsed() > QApplication::keyboardInputInterval();
        m_lastKey.start();
        m_typed = fresh ? search : m_typed + search;
        const int rows = int(m_codes.size());
        if (m_typed.isEmpty() || rows == 0 || rows != count()) return;
        QString needle = m_typed.toCaseFolded();
        // The same key again and again steps through the rows it matches.
        const bool sameKey = needle.size() > 1 && needle.count(needle.back()) == needle.size();
        if (sameKey) needle.truncate(1);
        // Before a row is chosen the list's current row is only where the focus frame happens to be.
        const int current = selectedItems().isEmpty() ? -1 : currentRow();
        int start = current < 0 ? 0 : current;
        if (current >= 0 && (fresh || sameKey)) start = (current + 1) % rows;
        int found = next(start, [&](int r) { return m_codes[r].startsWith(needle); });
        if (found < 0)
            found = next(start,
                         [&](int r) { return m_codes[r].contains(needle) || m_texts[r].contains(needle); });
        if (found < 0) return;
        setCurrentRow(found);
        scrollToItem(item(found));
    }

  protected:
    // Descriptions are typed in Chinese, so the input method stays on, and its committed text comes to the
    // type-ahead; a list would switch it off on rows that cannot be edited.
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override {
        QListWidget::currentChanged(current, previous);
        setAttribute(Qt::WA_InputMethodEnabled);
    }
    void focusInEvent(QFocusEvent* event) override {
        QListWidget::focusInEvent(event);
        setAttribute(Qt::WA_InputMethodEnabled);
    }

  private:
    template <class Match>
    int next(int start, const Match& match) const {
        const int rows = int(m_codes.size());
        for (int i = 0; i < rows; ++i) {
            const int r = (start + i) % rows;
            if (match(r)) return r;
        }
        return -1;
    }

    QStringList m_codes;  // case-folded
    QStringList m_texts;  // the further texts of each row, case-folded, joined by a line break
    QString m_typed;
    QElapsedTimer m_lastKey;
};

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
    const QRect textRect = option.rect.adjusted(TextLeft, 5, 0, 0);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    const QStringList extras = index.data(ExtraTextsRole).toStringList();
    const QFontMetrics metrics(option.font);
    for (int c = 0; c < extras.size() && c < m_columns.size(); ++c) {
        const Column& column = m_columns[c];
        const QRect cell(option.rect.left() + column.left, textRect.top(), column.width, textRect.height());
        painter->drawText(cell, column.alignment | Qt::AlignTop | Qt::TextSingleLine,
                          metrics.elidedText(extras[c], Qt::ElideRight, column.width));
    }
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
    setFixedSize(standardWidth, standardHeight);
    QFont font(QStringLiteral("Arial"));
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::Text, Qt::black);
    setPalette(pal);

    ListCode = new PickList(this);
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
    QVector<int> extraFields;
    for (int f = 0; f < ds.fieldCount(); ++f)
        if (f != idField && f != codeField) extraFields << f;
    const int rows = ds.recordCount();
    QStringList ids;
    QStringList codes;
    QVector<QStringList> extras(rows);
    QStringList foldedCodes;
    QStringList foldedTexts;
    ids.reserve(rows);
    codes.reserve(rows);
    foldedCodes.reserve(rows);
    foldedTexts.reserve(rows);
    WidestText widestCode;
    QVector<WidestText> widest(extraFields.size());
    for (int r = 0; r < rows; ++r) {
        ids << plainText(ds.valueAt(r, idField));
        codes << plainText(ds.valueAt(r, codeField));
        widestCode.add(codes.back());
        foldedCodes << codes.back().toCaseFolded();
        QStringList& texts = extras[r];
        texts.reserve(extraFields.size());
        for (int c = 0; c < extraFields.size(); ++c) {
            texts << extraText(ds.valueAt(r, extraFields[c]));
            widest[c].add(texts.back());
        }
        foldedTexts << texts.join(QLatin1Char('\n')).toCaseFolded();
    }
    ListID->addItems(ids);
    ListCode->addItems(codes);
    if (!extraFields.isEmpty()) {
        // The list is not on the screen yet: the rows' further texts go in without a signal per row.
        const QSignalBlocker quiet(ListCode->model());
        for (int r = 0; r < rows; ++r) ListCode->item(r)->setData(PickRowDelegate::ExtraTextsRole, extras[r]);
    }
    static_cast<PickList*>(ListCode)->setSearchTexts(std::move(foldedCodes), std::move(foldedTexts));

    const QFontMetrics metrics(ListCode->font());
    QVector<PickRowDelegate::Column> columns;
    int left = PickRowDelegate::TextLeft + widestCode.width(metrics);
    for (int c = 0; c < extraFields.size(); ++c) {
        const bool numeric = isNumeric(ds.field(extraFields[c]).type);
        const int measured = widest[c].width(metrics);
        const int width = numeric ? measured : std::min(measured, widestTextColumn);
        if (width == 0) continue;  // a column without any text takes no room
        left += columnGap;
        columns.append({left, width, numeric ? Qt::AlignRight : Qt::AlignLeft});
        left += width;
    }
    static_cast<PickRowDelegate*>(ListCode->itemDelegate())->setExtraColumns(columns);
    fitWidth(columns.isEmpty() ? 0 : left + columnGap);
}

void TpickObjFrm::fitWidth(int rowWidth) {
    const int frame = 2 * ListCode->frameWidth();
    const int scrollBar = ListCode->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, ListCode);
    int width = std::max(standardWidth, rowWidth + frame + scrollBar);
    if (const QScreen* s = screen()) width = std::min(width, s->availableGeometry().width());
    setFixedSize(std::min(width, widestWindow), standardHeight);
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

QString TpickObjFrm::rowText(int row) const {
    const QListWidgetItem* item = ListCode->item(row);
    if (!item) return QString();
    QStringList parts{item->text()};
    for (const QString& text : item->data(PickRowDelegate::ExtraTextsRole).toStringList())
        if (!text.isEmpty()) parts << text;
    return parts.join(QStringLiteral("  "));
}

void TpickObjFrm::selectionChanged() {
    const QList<QListWidgetItem*> selected = ListCode->selectedItems();
    if (!selected.isEmpty()) m_panel1->setText(rowText(ListCode->row(selected.first())));
}

void TpickObjFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_chosen = false;
    if (!event->spontaneous()) {
        // Loaded first: the rows decide the window's width, and the window is centred as wide as it is.
        guarded([this] { load(); });
        if (const QScreen* s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->availableGeometry().center());
            move(frame.topLeft());
        }
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

void pickObject(const Query& query, PickHandler handler) {
    setPickHandler(std::move(handler));
    TdataFrm* module = dataFrm();
    if (!module) throw Error(QStringLiteral("数据模块尚未创建。"));
    DataSet& ds = module->tdTempFill;
    ds.close();
    setQuery(ds, query);
    ds.open();
    pickObjFrm()->showPicker();
}

}  // namespace hx
