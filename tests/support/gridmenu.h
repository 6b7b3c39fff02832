#pragma once

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPointer>
#include <QTableView>
#include <QtTest>

#include "support/testsupport.h"

// A grid used as a user uses it: its context menu by a right click on a cell (on its editor when the
// cell is being edited), then a left click on an item of the menu that opened; its cells retyped.
namespace hxtest {

// Waits until a cell editor of this view has the focus again (after a post, a menu, a message).
inline bool editorBack(QAbstractItemView* view) {
    return QTest::qWaitFor([view] { return editing(view); });
}

// Clicks into the cell and replaces what it holds with text, as a user who selects it all and types;
// false when the cell's editor never opened (and nothing was typed).
inline bool typeOver(QAbstractItemView* view, int row, int column, const QString& text) {
    if (!enterCell(view, row, column)) return false;
    key(Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        key(Qt::Key_Delete);
    else
        type(text);
    return true;
}
// The same, and true only when the cell's editor still has the focus afterwards.
inline bool retype(QAbstractItemView* view, int row, int column, const QString& text) {
    return typeOver(view, row, column, text) && editing(view);
}

// The menu that is open; nullptr when none is.
inline QMenu* openMenu() {
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

// Right-clicks the middle of the cell: the press and release go to the widget under the point, which
// then gets the context menu event, as on X11. Row -1 clicks the empty grid below the titles of that
// column. Returns the menu that opened, nullptr when none did.
inline QMenu* rightClickCell(QTableView* view, int row, int column) {
    QPoint point(view->columnViewportPosition(column) + 10, 5);
    if (row >= 0) {
        const QModelIndex index = view->model()->index(row, column);
        view->scrollTo(index);
        point = view->visualRect(index).center();
    }
    const auto under = [view, point]() -> QWidget* {
        QWidget* w = view->viewport()->childAt(point);
        return w ? w : view->viewport();
    };
    QPointer<QWidget> target = under();
    QPoint local = target->mapFrom(view->viewport(), point);
    QTest::mousePress(target, Qt::RightButton, Qt::NoModifier, local);
    if (target) QTest::mouseRelease(target, Qt::RightButton, Qt::NoModifier, local);
    settle();
    target = under();
    local = target->mapFrom(view->viewport(), point);
    QContextMenuEvent event(QContextMenuEvent::Mouse, local, target->mapToGlobal(local));
    QApplication::sendEvent(target, &event);
    if (!QTest::qWaitFor([] { return openMenu() && openMenu()->isVisible(); }, 2000)) return nullptr;
    return openMenu();
}

// Closes the open menu with Esc, as a user who changed his mind.
inline void closeMenu(QMenu* menu) {
    if (!menu) return;
    QTest::keyClick(menu, Qt::Key_Escape);
    settle();
}

// The captions of the open menu's items, "-" for a separator.
inline QStringList menuCaptions(QMenu* menu) {
    QStringList captions;
    if (!menu) return captions;
    for (QAction* a : menu->actions())
        if (a->isVisible()) captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return captions;
}

// The captions of the menu that opens over the cell, which is closed again.
inline QStringList menuCaptionsAt(QTableView* view, int row, int column) {
    QMenu* menu = rightClickCell(view, row, column);
    const QStringList captions = menuCaptions(menu);
    closeMenu(menu);
    return captions;
}

// Clicks the item of the open menu with that caption; false when there is no such item.
inline bool chooseMenuItem(QMenu* menu, const QString& caption) {
    if (!menu) return false;
    for (QAction* a : menu->actions()) {
        if (a->isSeparator() || !a->isVisible() || a->text() != caption) continue;
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(a).center());
        settle();
        return true;
    }
    return false;
}

// Right-clicks the cell and chooses the item; false when no menu opened or it has no such item.
inline bool useMenu(QTableView* view, int row, int column, const QString& caption) {
    QMenu* menu = rightClickCell(view, row, column);
    if (chooseMenuItem(menu, caption)) return true;
    if (menu) menu->close();
    return false;
}

}  // namespace hxtest
