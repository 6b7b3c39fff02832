#include "gui/widgets/workwindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

#include "gui/widgets/dialogs.h"

namespace hx {

namespace {
// The window whose help the hook shows, so that a window freed without being closed (at the end of
// the program) does not leave the hook pointing at it.
QPointer<WorkWindow> helpOwner;
}  // namespace

WorkWindow::WorkWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
}

WorkWindow::~WorkWindow() {
    if (helpOwner == this) helpProc = nullptr;
}

void WorkWindow::showHelp() {
    Dialogs::get().information(helpText());
}

void WorkWindow::installHelp() {
    helpOwner = this;
    QPointer<WorkWindow> self(this);
    helpProc = [self] {
        if (self) self->showHelp();
    };
}

bool WorkWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) installHelp();
    return QWidget::event(event);
}

void WorkWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    helpProc = nullptr;
    helpOwner = nullptr;
    emit closed(this);
}

void WorkWindow::frameWindow(const QString& name, const QString& caption, const QSize& size) {
    setObjectName(name);
    setWindowTitle(caption);
    setFont(QFont(QStringLiteral("Arial"), 9));
    resize(size);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

}  // namespace hx
