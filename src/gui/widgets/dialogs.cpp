#include "gui/widgets/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include "core/data/errors.h"

namespace hx {

namespace {
Dialogs* installed = nullptr;

QWidget* dialogParent() {
    return QApplication::activeWindow();
}

// While a box is up it has the keyboard; when it goes, the window and the widget that had the keyboard get
// it back, so that the clerk goes on typing where he was. Window managers mostly do this themselves; not
// every desktop has one that does.
class ReturnFocus {
  public:
    ReturnFocus() : m_window(QApplication::activeWindow()), m_focus(QApplication::focusWidget()) {}
    ~ReturnFocus() {
        if (!m_window || !m_window->isVisible()) return;
        m_window->activateWindow();
        if (m_focus && m_focus->window() == m_window) m_focus->setFocus();
    }
    ReturnFocus(const ReturnFocus&) = delete;
    ReturnFocus& operator=(const ReturnFocus&) = delete;

  private:
    QPointer<QWidget> m_window;
    QPointer<QWidget> m_focus;
};

Answer boxAnswer(QMessageBox& box, QAbstractButton* yes, QAbstractButton* no, Answer yesAnswer,
                 Answer noAnswer) {
    box.exec();
    if (box.clickedButton() == yes) return yesAnswer;
    if (box.clickedButton() == no) return noAnswer;
    return Answer::Closed;
}
}  // namespace

Dialogs& Dialogs::get() {
    static QtDialogs real;
    return installed ? *installed : real;
}

void Dialogs::install(Dialogs* dialogs) {
    installed = dialogs;
}

QString applicationTitle() {
    return QStringLiteral("禾岫ERP计件工资助手");
}

QString qtFileFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString shown = QStringLiteral(" (%1)").arg(patterns);
        // A name that already shows its patterns keeps them once.
        result << (parts[i].endsWith(shown, Qt::CaseInsensitive) ? parts[i] : parts[i] + shown);
    }
    return result.join(QStringLiteral(";;"));
}

void showError(const std::exception& e) {
    if (dynamic_cast<const Cancelled*>(&e)) return;
    Dialogs::get().error(errorText(e));
}

void QtDialogs::message(const QString& text) {
    ReturnFocus back;
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, dialogParent());
    box.exec();
}

void QtDialogs::information(const QString& text) {
    ReturnFocus back;
    QMessageBox box(QMessageBox::Information, QStringLiteral("信息"), text, QMessageBox::Ok, dialogParent());
    box.exec();
}

void QtDialogs::warning(const QString& text) {
    ReturnFocus back;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("警告"), text, QMessageBox::Ok, dialogParent());
    box.exec();
}

void QtDialogs::error(const QString& text) {
    ReturnFocus back;
    QMessageBox box(QMessageBox::Critical, QStringLiteral("错误"), text, QMessageBox::Ok, dialogParent());
    box.exec();
}

Answer QtDialogs::confirm(const QString& text, ConfirmIcon icon) {
    ReturnFocus back;
    const bool warning = icon == ConfirmIcon::Warning;
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Question,
                    warning ? QStringLiteral("警告") : QStringLiteral("确认"), text, QMessageBox::NoButton,
                    dialogParent());
    QAbstractButton* yes = box.addButton(QStringLiteral("是(&Y)"), QMessageBox::YesRole);
    QAbstractButton* no = box.addButton(QStringLiteral("否(&N)"), QMessageBox::NoRole);
    box.setEscapeButton(no);
    return boxAnswer(box, yes, no, Answer::Yes, Answer::No);
}

Answer QtDialogs::okCancel(const QString& text) {
    ReturnFocus back;
    QMessageBox box(QMessageBox::Question, QStringLiteral("确认"), text, QMessageBox::NoButton,
                    dialogParent());
    QAbstractButton* ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    QAbstractButton* cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setEscapeButton(cancel);
    return boxAnswer(box, ok, cancel, Answer::Ok, Answer::Cancel);
}

std::optional<QString> QtDialogs::input(const QString& title, const QString& prompt, const QString& initial) {
    ReturnFocus back;
    bool ok = false;
    const QString text =
        QInputDialog::getText(dialogParent(), title, prompt, QLineEdit::Normal, initial, &ok);
    if (!ok) return std::nullopt;
    return text;
}

std::optional<int> Dialogs::choose(const QString&, const QString&, const QStringList&) {
    return std::nullopt;
}

std::optional<int> QtDialogs::choose(const QString& title, const QString& prompt, const QStringList& items) {
    ReturnFocus back;
    bool ok = false;
    const QString chosen = QInputDialog::getItem(dialogParent(), title, prompt, items, 0, false, &ok);
    if (!ok) return std::nullopt;
    const int index = items.indexOf(chosen);
    if (index < 0) return std::nullopt;
    return index;
}

std::optional<QString> QtDialogs::openFile(const QString& filter, const QString& directory) {
    ReturnFocus back;
    const QString file =
        QFileDialog::getOpenFileName(dialogParent(), QStringLiteral("打开"), directory, qtFileFilter(filter));
    if (file.isEmpty()) return std::nullopt;
    return file;
}

std::optional<QString> QtDialogs::saveFile(const QString& filter, const QString& directory) {
    ReturnFocus back;
    const QString file =
        QFileDialog::getSaveFileName(dialogParent(), QStringLiteral("保存"), directory, qtFileFilter(filter));
    if (file.isEmpty()) return std::nullopt;
    return file;
}

void QtDialogs::beep() {
    QApplication::beep();
}

}  // namespace hx
