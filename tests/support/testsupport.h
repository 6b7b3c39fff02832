#pragma once

#include <QAbstractItemView>
#include <QApplication>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QTableView>
#include <QTimer>
#include <QtTest>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "gui/widgets/dialogs.h"
#include "support/coresupport.h"

class QAbstractButton;

namespace hxtest {

// One dialog the program showed.
struct Shown {
    QString
        kind;  // message, information, warning, error, confirm, okCancel, input, choose, openFile, saveFile
    QString title;
    QString text;
};

// Dialogs answered from a script. Installed for its lifetime. Every dialog is recorded; a dialog that
// asks for an answer takes the next scripted one of its kind, and a missing or mismatched answer is
// recorded as a problem that verify() reports.
class ScriptedDialogs : public hx::Dialogs {
  public:
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    // The script, consumed in order.
    ScriptedDialogs& answer(hx::Answer answer);  // confirm or okCancel
    ScriptedDialogs& input(const QString& text);
    ScriptedDialogs& cancelInput();
    ScriptedDialogs& choose(const QString& item);  // choose: the item of that text
    ScriptedDialogs& cancelChoice();
    ScriptedDialogs& chooseFile(const QString& path);  // openFile or saveFile
    ScriptedDialogs& cancelFile();

    QList<Shown> shown;
    QStringList confirmIcons;  // the icon of each confirm, in order: question or warning
    int beeps = 0;

    // The texts shown, in order.
    QStringList texts() const;
    QString lastText() const { return shown.isEmpty() ? QString() : shown.last().text; }
    QString lastKind() const { return shown.isEmpty() ? QString() : shown.last().kind; }
    // The first line of the last text shown: a refused row's reason, without the advice under it.
    QString lastReason() const { return lastText().section(QLatin1Char('\n'), 0, 0); }
    // True when every scripted answer was used and no dialog went unanswered; otherwise the reason.
    bool verify(QString* why = nullptr) const;
    void reset();

    void message(const QString& text) override;
    void information(const QString& text) override;
    void warning(const QString& text) override;
    void error(const QString& text) override;
    hx::Answer confirm(const QString& text, hx::ConfirmIcon icon = hx::ConfirmIcon::Question) override;
    hx::Answer okCancel(const QString& text) override;
    std::optional<QString> input(const QString& title, const QString& prompt,
                                 const QString& initial) override;
    std::optional<int> choose(const QString& title, const QString& prompt, const QStringList& items) override;
    std::optional<QString> openFile(const QString& filter, const QString& directory) override;
    std::optional<QString> saveFile(const QString& filter, const QString& directory) override;
    void beep() override;

    // The items offered by the last choice.
    QStringList offered;

  private:
    struct Step {
        QString kind;  // answer, input, choice, file
        hx::Answer answer = hx::Answer::Closed;
        std::optional<QString> text;
    };
    std::optional<Step> take(const QString& kind, const QString& asking);
    std::deque<Step> m_script;
    QStringList m_problems;
};

// ---- driving windows as a user does, on a real X server

// Shows the window, activates it and waits until it is the active window; false when it never became
// active (a window test that runs without a window manager's focus proves nothing).
bool showActive(QWidget* window);
// Lets posted events and zero timers run (the grid opens its cell editor that way).
void settle();
// A key, and typed text, sent to the widget that has the keyboard focus, as the keyboard would.
void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void type(const QString& text);
// A click, and a double click, in the middle of a grid cell.
void clickCell(QAbstractItemView* view, int row, int column);
void doubleClickCell(QAbstractItemView* view, int row, int column);
// A click on a column title of a grid.
void clickTitle(QTableView* view, int column);
// Clicks into the cell and waits for its editor, as a user who starts typing there.
bool enterCell(QAbstractItemView* view, int row, int column);
// The widget that has the focus is a cell editor of this view.
bool editing(QAbstractItemView* view);

// Runs the action (a click that might open windows) and tells whether a modal window came up meanwhile;
// any that does is closed, so that the action returns.
bool opensAModalWindow(const std::function<void()>& action);

// Runs act on the first modal window of type W once it is shown and active (while the caller waits in
// the click that opened it). Should act fail, or the window not come, the modal window is closed so that
// the click returns and the test reports the failure instead of hanging.
template <class W>
void whenShown(std::function<void(W*)> act) {
    auto deadline = std::make_shared<QDeadlineTimer>(30000);
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, act] {
        auto* window = qobject_cast<W*>(QApplication::activeModalWidget());
        if (!window && !deadline->hasExpired()) return;
        timer->stop();
        timer->deleteLater();
        if (!window) {
            QTest::qFail("the window did not open", __FILE__, __LINE__);
            if (QWidget* other = QApplication::activeModalWidget()) other->close();
            return;
        }
        window->activateWindow();
        // Keys go to the focused widget: the window has it once it is the active one and its focus is set.
        const bool active = QTest::qWaitFor([window] {
            return QApplication::activeWindow() == window &&
                   window->isAncestorOf(QApplication::focusWidget());
        });
        if (!active) {
            QTest::qFail("the window did not become active", __FILE__, __LINE__);
            window->close();
            return;
        }
        act(window);
        if (QTest::currentTestFailed() && window->isVisible()) window->close();
    });
    timer->start();
}

// Clicks "打印工资条" and answers the output setup dialog as the accountant does, by keys: 文件 (Alt+F),
// the file name typed, Enter. Returns when the run is over.
void printSlipsToFile(QAbstractButton* printButton, const QString& path);

}  // namespace hxtest

// The main() of a test that opens windows: it refuses to run anywhere but on a real X server, where focus,
// activation and cell editors behave as they do for a user.
#define HX_WINDOW_TEST_MAIN(TestObject)                                  \
    int main(int argc, char** argv) {                                    \
        QApplication app(argc, argv);                                    \
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {   \
            qCritical("window tests need a real X server (xcb), not %s", \
                      qPrintable(QGuiApplication::platformName()));      \
            return 1;                                                    \
        }                                                                \
        app.setAttribute(Qt::AA_Use96Dpi, true);                         \
        TestObject tc;                                                   \
        QTEST_SET_MAIN_SOURCE_PATH                                       \
        return QTest::qExec(&tc, argc, argv);                            \
    }

// Checks, in a test's cleanup(), that a ScriptedDialogs was used up exactly.
#define HX_VERIFY_DIALOGS(dialogs)                \
    do {                                          \
        QString why_;                             \
        const bool ok_ = (dialogs).verify(&why_); \
        QVERIFY2(ok_, qPrintable(why_));          \
    } while (false)
