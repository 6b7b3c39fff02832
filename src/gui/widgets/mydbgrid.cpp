#include "gui/widgets/mydbgrid.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <optional>
#include <utility>

#include "gui/widgets/dialogs.h"

namespace hx {

namespace {
constexpr int buttonWidth = 16;
}  // namespace

// Pick lists as drop-downs, and the cell button of picker columns.
class GridDelegate : public QStyledItemDelegate {
  public:
    GridDelegate(TMyDBGrid* grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        const GridColumn& c = m_grid->dataModel()->column(index.column());
        QWidget* editor;
        if (!c.pickList.isEmpty()) {
            auto* box = new QComboBox(parent);
            box->setEditable(true);
            box->addItems(c.pickList);
            box->setMaxVisibleItems(9);
            box->setInsertPolicy(QComboBox::NoInsert);
            editor = box;
        } else {
            editor = QStyledItemDelegate::createEditor(parent, option, index);
        }
        if (editor) {
            limitLength(editor, index);
            m_grid->editorCreated(editor);
        }
        return editor;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            box->setCurrentText(index.data(Qt::EditRole).toString());
            return;
        }
        QStyledItemDelegate::setEditorData(editor, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        if (auto* box = qobject_cast<QComboBox*>(editor)) {
            model->setData(index, box->currentText());
            return;
        }
        QStyledItemDelegate::setModelData(editor, model, index);
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override {
        QRect r = option.rect;
        if (hasButton(index)) r.setRight(r.right() - buttonWidth);
        editor->setGeometry(r);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        if (hasButton(index)) opt.rect.setRight(opt.rect.right() - buttonWidth);
        QStyledItemDelegate::paint(painter, opt, index);
        if (hasButton(index)) {
            const QRect b(option.rect.right() - buttonWidth + 1, option.rect.top(), buttonWidth,
                          option.rect.height());
            painter->save();
            painter->fillRect(b, option.palette.button());
            painter->setPen(option.palette.mid().color());
            painter->drawRect(b.adjusted(0, 0, -1, -1));
            painter->setPen(option.palette.buttonText().color());
            painter->drawText(b, Qt::AlignCenter, QStringLiteral("…"));
            painter->restore();
        }
    }

    // A text column takes no more characters than it is declared to hold: what the database would
    // refuse cannot be typed.
    void limitLength(QWidget* editor, const QModelIndex& index) const {
        const DataSet* ds = m_grid->dataSet();
        const int f = m_grid->dataModel()->fieldIndexOf(index.column());
        if (!ds || f < 0 || f >= ds->fieldCount()) return;
        const Field& field = ds->field(f);
        if (field.type != FieldType::Text || field.size <= 0) return;
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (auto* box = qobject_cast<QComboBox*>(editor)) line = box->lineEdit();
        if (line) line->setMaxLength(field.size);
    }

    bool hasButton(const QModelIndex& index) const {
        return index.isValid() && index.column() < m_grid->dataModel()->columns().size() &&
               m_grid->dataModel()->column(index.column()).hasButton;
    }

  private:
    TMyDBGrid* m_grid;
};

namespace {

class RefusalTeller : public QObject {
  public:
    RefusalTeller(DataSet* dataSet, const QList<TMyDBGrid*>& grids) : QObject(dataSet) {
        for (TMyDBGrid* grid : grids) m_grids << QPointer<TMyDBGrid>(grid);
    }

    PostErrorAction tell(DataSet& ds, const DbError& error) {
        if (m_told) return PostErrorAction::Abort;
        const auto* refusal = dynamic_cast<const FieldRefusal*>(&error);
        const int field = refusal ? refusal->field() : -1;
        TMyDBGrid* shown = nullptr;
        for (const auto& grid : std::as_const(m_grids))
            if (grid && (!shown || (grid->isVisible() && !shown->isVisible()))) shown = grid;
        QString text = error.message();
        if (refusal && field >= 0 && field < ds.fieldCount()) {
            // The title the user reads over the column; a field this grid does not show takes the title
            // another grid of the list gives it.
            QString title = shown ? shown->titleOfField(field) : QString();
            for (const auto& grid : std::as_const(m_grids))
                if (title.isEmpty() && grid) title = grid->titleOfField(field);
            if (title.isEmpty()) title = ds.field(field).displayLabel;
            if (title.isEmpty()) title = ds.field(field).name;
            text = refusal->textFor(title);
        }
        m_told = true;
        Dialogs::get().beep();
        const bool changedElsewhere = dynamic_cast<const RowChangedError*>(&error) != nullptr;
        Dialogs::get().warning(
            text + (changedElsewhere
                        ? QStringLiteral("\n\n这一行还没有保存：按 Esc 撤销这一行的输入并显示已保存的内容，"
                                         "再重新录入。")
                        : QStringLiteral("\n\n这一行还没有保存：改正后离开这一行即可保存，按 Esc "
                                         "则撤销这一行的输入。")));
        // Told once for everything one action of the user makes of the row.
        QTimer::singleShot(0, this, [this] { m_told = false; });
        if (shown) shown->showRefusedCell(field);
        return PostErrorAction::Abort;
    }

  private:
    QList<QPointer<TMyDBGrid>> m_grids;
    bool m_told = false;
};

}  // namespace

void keepRefusedRows(DataSet* dataSet, const QList<TMyDBGrid*>& grids) {
    auto* teller = new RefusalTeller(dataSet, grids);
    dataSet->onPostError = [teller](DataSet& ds, const DbError& error) { return teller->tell(ds, error); };
}

TMyDBGrid::TMyDBGrid(QWidget* parent) : QTableView(parent) {
    setItemDelegate(new GridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    setTabKeyNavigation(true);
    setAlternatingRowColors(false);
    setWordWrap(false);
    // Fixed row heights keep a list of hundreds of thousands of rows as fast as a short one.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setFixedWidth(14);
    verticalHeader()->setSectionsClickable(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] { emit OnColWidthChanged(this); });
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        // Coming back to the grid (also when its window is activated) opens the cell editor again.
        if (now == this) openEditorLater();
        if (!now || now == this || isAncestorOf(now)) return;
        // A dialog over the window (the picker, a message) or another program taking the focus does not
        // leave the grid: the user comes back to the same row, and a picker may be about to fill it.
        if (now->window() != window()) return;
        if (!isVisible()) return;
        guarded([this] { dropUntouchedNewRow(); });
    });
}

TMyDBGrid::~TMyDBGrid() = default;

void TMyDBGrid::setDataSet(DataSet* dataSet) {
    if (DataSet* previous = this->dataSet()) disconnect(previous, nullptr, this, nullptr);
    auto* model = new DataSetModel(dataSet, this);
    if (m_model) model->setColumns(m_model->columns());
    model->setReadOnly(m_readOnly);
    setModel(model);
    delete m_model;
    m_model = model;
    connect(dataSet, &DataSet::currentChanged, this, &TMyDBGrid::followDataSet);
    connect(dataSet, &DataSet::commitOpenEditors, this, &TMyDBGrid::commitEditor);
    connect(dataSet, &DataSet::discardOpenEditors, this, &TMyDBGrid::discardEditor);
    connect(model, &DataSetModel::editFailed, this,
            [](const QString& message) { Dialogs::get().error(message); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        applyColumnLayout();
        followDataSet(this->dataSet()->recNo());
    });
    applyColumnLayout();
    followDataSet(dataSet->recNo());
}

DataSet* TMyDBGrid::dataSet() const {
    return m_model ? m_model->dataSet() : nullptr;
}

void TMyDBGrid::setColumns(const QVector<GridColumn>& columns) {
    if (!m_model) return;
    m_model->setColumns(columns);
    applyColumnLayout();
}

void TMyDBGrid::applyColumnLayout() {
    if (!m_model) return;
    const auto& columns = m_model->columns();
    for (int i = 0; i < columns.size(); ++i) {
        if (columns[i].width >= 0) setColumnWidth(i, columns[i].width);
        setColumnHidden(i, !columns[i].visible);
    }
}

void TMyDBGrid::setColumnTitle(int column, const QString& title) {
    if (!m_model || column < 0 || column >= m_model->columns().size()) return;
    m_model->setColumnTitle(column, title);
}

QString TMyDBGrid::columnTitle(int column) const {
    return m_model ? m_model->headerData(column, Qt::Horizontal).toString() : QString();
}

int TMyDBGrid::selectedIndex() const {
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.column() : -1;
}

void TMyDBGrid::setSelectedIndex(int column) {
    const int row = currentIndex().isValid() ? currentIndex().row() : (dataSet() ? dataSet()->recNo() : -1);
    if (row >= 0 && m_model && column >= 0 && column < m_model->columnCount())
        setCurrentIndex(m_model->index(row, column));
    else if (m_model && column >= 0 && column < m_model->columnCount())
        m_pendingColumn = column;
}

QString TMyDBGrid::selectedField() const {
    int column = selectedIndex();
    if (column < 0) column = m_pendingColumn;
    if (!m_model || column < 0 || column >= m_model->columns().size()) {
        if (m_model && column >= 0 && m_model->columns().isEmpty() && dataSet() &&
            column < dataSet()->fieldCount())
            return dataSet()->field(column).name;
        return QString();
    }
    return m_model->columns()[column].field;
}

void TMyDBGrid::setReadOnly(bool readOnly) {
    m_readOnly = readOnly;
    if (m_model) m_model->setReadOnly(readOnly);
}

bool TMyDBGrid::isReadOnly() const {
    return m_readOnly;
}

void TMyDBGrid::followDataSet(int row) {
    if (m_syncing || !m_model) return;
    m_syncing = true;
    const int refused = std::exchange(m_refusedColumn, -1);
    if (row >= 0 && row < m_model->rowCount()) {
        int column = currentIndex().isValid() ? currentIndex().column() : m_pendingColumn;
        if (refused >= 0) column = refused;
        if (column < 0 || column >= m_model->columnCount()) column = 0;
        while (column < m_model->columnCount() - 1 && isColumnHidden(column)) ++column;
        if (m_model->columnCount() > 0) {
            const QModelIndex target = m_model->index(row, column);
            if (currentIndex() != target)
                selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
            scrollTo(target);
        }
    }
    m_syncing = false;
    openEditorLater();
}

void TMyDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (current.isValid()) m_pendingColumn = current.column();
    if (m_syncing || !current.isValid() || !dataSet()) return;
    DataSet* ds = dataSet();
    if (current.row() != ds->recNo()) {
        m_syncing = true;
        std::optional<QString> failure;
        try {
            ds->setRecNo(current.row());
        } catch (const std::exception& e) {
            failure.emplace(errorText(e));
        }
        m_syncing = false;
        // The data set may have refused to leave its row, or a dropped new row shifted the rows. The grid
        // is back on the data set's row before an error box takes the focus: an editor that opens and
        // closes meanwhile belongs to that row and cannot try to leave it again.
        if (failure || ds->recNo() != current.row()) {
            followDataSet(ds->recNo());
            if (failure) Dialogs::get().error(*failure);
            return;
        }
    }
    openEditorLater();
}

void TMyDBGrid::openEditorLater() {
    if (!m_alwaysShowEditor || m_readOnly) return;
    QTimer::singleShot(0, this, [this] {
        const QModelIndex i = currentIndex();
        if (i.isValid() && hasFocus() && state() != QAbstractItemView::EditingState &&
            (model()->flags(i) & Qt::ItemIsEditable))
            QTableView::edit(i);
    });
}

bool TMyDBGrid::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (m_readOnly) return false;
    return QTableView::edit(index, trigger, event);
}

void TMyDBGrid::editorCreated(QWidget* editor) {
    m_editor = editor;
    // The editor (and the line edit inside a drop-down) sees the keys first: the grid's own keys must
    // reach the grid also while a cell is being edited.
    editor->installEventFilter(this);
    for (QWidget* child : editor->findChildren<QWidget*>()) child->installEventFilter(this);
}

QString TMyDBGrid::titleOfField(int fieldIndex) const {
    if (!m_model) return QString();
    for (int c = 0; c < m_model->columnCount(); ++c)
        if (m_model->fieldIndexOf(c) == fieldIndex && !isColumnHidden(c)) return columnTitle(c);
    return QString();
}

void TMyDBGrid::showRefusedCell(int fieldIndex) {
    if (!m_model) return;
    for (int c = 0; c < m_model->columnCount(); ++c)
        if (m_model->fieldIndexOf(c) == fieldIndex && !isColumnHidden(c)) m_refusedColumn = c;
    // The grid comes back to the row also when the refusal came while it was following another one.
    if (isVisible()) setFocus();
    if (!m_syncing && dataSet()) followDataSet(dataSet()->recNo());
    // The key or click that tried to leave the row goes on to select where it was headed: only the
    // refused cell stays selected.
    QTimer::singleShot(0, this, [this] {
        if (selectionModel() && currentIndex().isValid())
            selectionModel()->select(currentIndex(), QItemSelectionModel::ClearAndSelect);
    });
}

QWidget* TMyDBGrid::cellEditor() const {
    return state() == QAbstractItemView::EditingState ? m_editor.data() : nullptr;
}

void TMyDBGrid::commitEditor() {
    QWidget* editor = cellEditor();
    if (!editor) return;
    m_editor = nullptr;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TMyDBGrid::discardEditor() {
    QWidget* editor = cellEditor();
    if (!editor) return;
    m_editor = nullptr;
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TMyDBGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    if (editor == m_editor) m_editor = nullptr;
    QTableView::closeEditor(editor, hint);
    if (hint == QAbstractItemDelegate::RevertModelCache) {
        // Esc: a new row is dropped, an edited row gets back what it held.
        guarded([this] {
            if (dataSet() && dataSet()->isEditing()) dataSet()->cancel();
        });
        openEditorLater();
    }
}

bool TMyDBGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !m_editor) return QTableView::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const bool ctrl = key->modifiers() & Qt::ControlModifier;
    if (ctrl && key->key() == Qt::Key_Delete) {
        keyPressEvent(key);
        return true;
    }
    // A drop-down would turn its choices with the arrows; in the grid they move between rows, as in
    // every other column. Alt+Down still opens the list.
    auto* box = qobject_cast<QComboBox*>(m_editor.data());
    if (box && !box->view()->isVisible() && !(key->modifiers() & Qt::AltModifier) &&
        (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
        keyPressEvent(key);
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

QModelIndex TMyDBGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    // Tab out of the last cell goes on to a new row, as the down arrow does on the last row.
    DataSet* ds = dataSet();
    const QModelIndex current = currentIndex();
    if (action == MoveNext && ds && m_model && !m_readOnly && ds->isOpen() && current.isValid() &&
        current.row() == m_model->rowCount() - 1 && !ds->isEmpty()) {
        int last = m_model->columnCount() - 1;
        while (last > 0 && isColumnHidden(last)) --last;
        // A refused row stays where the refusal put the user: on its refused cell.
        if (current.column() >= last && m_fixedRows) {
            guarded([this] { storeRow(); });
            return currentIndex();
        }
        if (current.column() >= last) {
            bool appended = false;
            guarded([&] { appended = appendRow(); });
            if (!appended) return currentIndex();
            int first = 0;
            while (first < last && isColumnHidden(first)) ++first;
            return m_model->index(ds->recNo(), first);
        }
    }
    return QTableView::moveCursor(action, modifiers);
}

bool TMyDBGrid::appendRow() {
    DataSet* ds = dataSet();
    commitEditor();
    if (ds->state() == DataSetState::Insert && !ds->isModified()) return false;  // already on a new row
    if (!ds->checkBrowseMode()) return false;  // the row was refused: it stays
    ds->append();
    return ds->state() == DataSetState::Insert;
}

void TMyDBGrid::storeRow() {
    commitEditor();
    dataSet()->checkBrowseMode();
}

void TMyDBGrid::dropUntouchedNewRow() {
    DataSet* ds = dataSet();
    if (ds && ds->state() == DataSetState::Insert && !ds->isModified()) ds->cancel();
}

bool TMyDBGrid::buttonHit(const QModelIndex& index, const QPoint& pos) const {
    if (!index.isValid() || !m_model || !m_model->column(index.column()).hasButton) return false;
    const QRect r = visualRect(index);
    return pos.x() > r.right() - buttonWidth;
}

void TMyDBGrid::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    QTableView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && buttonHit(index, event->position().toPoint())) {
        emit editButtonClicked(index.column());
    }
}

void TMyDBGrid::keyPressEvent(QKeyEvent* event) {
    DataSet* ds = dataSet();
    if (!ds || !m_model) {
        QTableView::keyPressEvent(event);
        return;
    }
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (ctrl && event->key() == Qt::Key_Delete) {
        guarded([&] {
            if (!ds->isOpen() || m_readOnly || m_fixedRows) return;
            if (m_deleter) {
                m_deleter();
                return;
            }
            if (Dialogs::get().okCancel(QStringLiteral("Delete record?")) != Answer::Ok) return;
            ds->remove();
        });
        // A deleted row takes its cell editor, which had the focus, with it: the focus comes back to the
        // grid.
        QWidget* focus = QApplication::focusWidget();
        if (focus != this && !isAncestorOf(focus)) setFocus();
        openEditorLater();
        return;
    }
    if (event->key() == Qt::Key_Escape && !cellEditor()) {
        guarded([&] {
            if (ds->isEditing()) ds->cancel();
        });
        openEditorLater();
        return;
    }
    if (ctrl && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        const int column = selectedIndex();
        if (column >= 0 && m_model->column(column).hasButton) emit editButtonClicked(column);
        return;
    }
    if (event->key() == Qt::Key_Down && !ctrl && ds->isOpen() && !m_readOnly) {
        const bool onLast = ds->recNo() == ds->recordCount() - 1 || ds->isEmpty();
        if (onLast && m_fixedRows) {
            guarded([this] { storeRow(); });
            openEditorLater();
            return;
        }
        if (onLast) {
            guarded([&] { appendRow(); });
            return;
        }
    }
    if (event->key() == Qt::Key_Up && ds->state() == DataSetState::Insert) {
        commitEditor();
        if (!ds->isModified() && ds->recNo() == ds->recordCount() - 1) {
            guarded([&] { ds->cancel(); });
            openEditorLater();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

}  // namespace hx
