#include "gui/widgets/listops.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QChildEvent>
#include <QHeaderView>
#include <QMenu>

#include "core/data/dataset.h"
#include "gui/widgets/dialogs.h"
#include "gui/widgets/mydbgrid.h"

namespace hx {

namespace {

// Hands the right click over a cell editor to the grid: an editor (and every part of it, such as the
// text field of a drop-down) defers its context menu to its parent, the grid's viewport.
class EditorMenuDeferral : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ChildPolished) {
            QObject* child = static_cast<QChildEvent*>(event)->child();
            if (child && child->isWidgetType()) {
                auto* editor = static_cast<QWidget*>(child);
                editor->setContextMenuPolicy(Qt::NoContextMenu);
                for (QWidget* part : editor->findChildren<QWidget*>())
                    part->setContextMenuPolicy(Qt::NoContextMenu);
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

QString filterCondition(const QString& field, const QVariant& value, bool currency) {
    QString literal;
    if (currency) {
        literal = Money::fromVariant(value).toPlainString();
    } else {
        QString text;
        if (value.isValid() && !value.isNull()) {
            if (value.userType() == qMetaTypeId<Money>())
                text = value.value<Money>().toPlainString();
            else if (value.typeId() == QMetaType::QDate)
                text = value.toDate().toString(Qt::ISODate);
            else
                text = value.toString();
        }
        literal =
            QLatin1Char('\'') + text.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
    }
    return field + QStringLiteral(" = ") + literal;
}

QString filterCondition(const DataSet& dataSet, const QString& field, bool currency) {
    return filterCondition(field, dataSet.value(field), currency);
}

void commitGridEditor(TMyDBGrid* grid) {
    if (!grid || !grid->itemDelegate()) return;
    if (QWidget* editor = grid->indexWidget(grid->currentIndex()))
        emit grid->itemDelegate()->commitData(editor);
}

void sortBySelectedColumn(TMyDBGrid* grid) {
    DataSet* ds = grid->dataSet();
    if (!ds) return;
    commitGridEditor(grid);
    const QString field = grid->selectedField();
    if (field.isEmpty() && ds->isOpen()) return;
    // A closed list is refused by the data set with its own error.
    ds->setSort(field.isEmpty() ? QString() : field + QStringLiteral(" ASC"));
}

void filterOnSelectedCell(TMyDBGrid* grid, const QStringList& currencyFields) {
    DataSet* ds = grid->dataSet();
    if (!ds) return;
    commitGridEditor(grid);
    const QString field = grid->selectedField();
    if (field.isEmpty()) return;
    // The row's pending edit is stored first, so the condition holds the value the row keeps; a refused
    // row stays as it is, and the list with it.
    if (!ds->checkBrowseMode()) return;
    const QString condition =
        filterCondition(*ds, field, currencyFields.contains(field, Qt::CaseInsensitive));
    if (ds->filtered()) ds->setFiltered(false);
    ds->setFilter(condition);
    ds->setFiltered(true);
}

void removeFilter(TMyDBGrid* grid) {
    DataSet* ds = grid->dataSet();
    if (!ds) return;
    commitGridEditor(grid);
    ds->setFiltered(false);
}

bool findInSelectedColumn(TMyDBGrid* grid) {
    DataSet* ds = grid->dataSet();
    if (!ds) return false;
    commitGridEditor(grid);
    const QString field = grid->selectedField();
    if (field.isEmpty()) return false;
    if (ds->isOpen() && !ds->checkBrowseMode()) return false;  // a refused row is not left
    const auto typed = Dialogs::get().input(QStringLiteral("查找"), QStringLiteral("值："), QString());
    if (!typed) return false;
    if (ds->locate(field, *typed, true)) return true;
    Dialogs::get().information(QStringLiteral("没有找到“%1”").arg(*typed));
    return false;
}

bool toggleCurrentFlag(TMyDBGrid* grid, const QString& field) {
    commitGridEditor(grid);
    DataSet* ds = grid->dataSet();
    if (ds->isEmpty()) return false;
    // What was typed into the row is stored first; a row refused stays as typed, and the flag never
    // joins it (it would be stored with the row once corrected).
    if (ds->isModified() && !ds->checkBrowseMode()) return false;
    if (!ds->isEditing()) ds->edit();
    ds->setValue(field, !ds->asBool(field));
    return ds->post();
}

void appendRow(TMyDBGrid* grid) {
    DataSet* ds = grid->dataSet();
    if (!ds) return;
    commitGridEditor(grid);
    ds->append();
    grid->setFocus();
}

bool deleteCurrentRow(TMyDBGrid* grid, const std::function<QString(const DataSet&)>& question) {
    DataSet* ds = grid->dataSet();
    if (!ds) return false;
    commitGridEditor(grid);
    const Answer answer = Dialogs::get().confirm(question(*ds));
    if (answer == Answer::No || answer == Answer::Closed) return false;
    ds->remove();
    return true;
}

void setGridMenu(TMyDBGrid* grid, QMenu* menu) {
    QObject::connect(grid->horizontalHeader(), &QHeaderView::sectionClicked, grid,
                     [grid](int column) { grid->setSelectedIndex(column); });
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    grid->viewport()->installEventFilter(new EditorMenuDeferral(grid));
    QObject::connect(grid, &QWidget::customContextMenuRequested, menu,
                     [grid, menu](const QPoint& pos) { menu->popup(grid->viewport()->mapToGlobal(pos)); });
}

void sortOnTitleClick(TMyDBGrid* grid, QAction* sort) {
    QObject::connect(grid->horizontalHeader(), &QHeaderView::sectionClicked, sort, [grid, sort](int column) {
        const DataSet* ds = grid->dataSet();
        if (!ds || !ds->isOpen()) return;
        commitGridEditor(grid);
        grid->setSelectedIndex(column);
        sort->trigger();
    });
}

}  // namespace hx
