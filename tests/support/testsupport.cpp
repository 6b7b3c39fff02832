#include "support/testsupport.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>

#include "gui/reports/myrpsetup.h"

namespace hxtest {

ScriptedDialogs::ScriptedDialogs() {
    hx::Dialogs::install(this);
}

ScriptedDialogs::~ScriptedDialogs() {
    // Another test's script may have been installed since; it stays.
    if (&hx::Dialogs::get() == this) hx::Dialogs::install(nullptr);
}

ScriptedDialogs& ScriptedDialogs::answer(hx::Answer answer) {
    m_script.push_back({QStringLiteral("answer"), answer, std::nullopt});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::input(const QString& text) {
    m_script.push_back({QStringLiteral("input"), hx::Answer::Ok, text});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::cancelInput() {
    m_script.push_back({QStringLiteral("input"), hx::Answer::Cancel, std::nullopt});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::choose(const QString& item) {
    m_script.push_back({QStringLiteral("choice"), hx::Answer::Ok, item});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::cancelChoice() {
    m_script.push_back({QStringLiteral("choice"), hx::Answer::Cancel, std::nullopt});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::chooseFile(const QString& path) {
    m_script.push_back({QStringLiteral("file"), hx::Answer::Ok, path});
    return *this;
}

ScriptedDialogs& ScriptedDialogs::cancelFile() {
    m_script.push_back({QStringLiteral("file"), hx::Answer::Cancel, std::nullopt});
    return *this;
}

QStringList ScriptedDialogs::texts() const {
    QStringList result;
    for (const Shown& s : shown) result << s.text;
    return result;
}

bool ScriptedDialogs::verify(QString* why) const {
    QStringList problems = m_problems;
    if (!m_script.empty())
        problems << QStringLiteral("%1 scripted answer(s) left unused").arg(m_script.size());
    if (why) *why = problems.join(QStringLiteral("; "));
    return problems.isEmpty();
}

void ScriptedDialogs::reset() {
    shown.clear();
    confirmIcons.clear();
    offered.clear();
    beeps = 0;
    m_script.clear();
    m_problems.clear();
}

std::optional<ScriptedDialogs::Step> ScriptedDialogs::take(const QString& kind, const QString& asking) {
    if (m_script.empty()) {
        m_problems << QStringLiteral("no scripted answer for %1").arg(asking);
        return std::nullopt;
    }
    Step step = m_script.front();
    m_script.pop_front();
    if (step.kind != kind) {
        m_problems << QStringLiteral("scripted %1 given to %2").arg(step.kind, asking);
        return std::nullopt;
    }
    return step;
}

void ScriptedDialogs::message(const QString& text) {
    shown.append({QStringLiteral("message"), hx::applicationTitle(), text});
}

void ScriptedDialogs::information(const QString& text) {
    shown.append({QStringLiteral("information"), QString(), text});
}

void ScriptedDialogs::warning(const QString& text) {
    shown.append({QStringLiteral("warning"), QString(), text});
}

void ScriptedDialogs::error(const QString& text) {
    shown.append({QStringLiteral("error"), QString(), text});
}

hx::Answer ScriptedDialogs::confirm(const QString& text, hx::ConfirmIcon icon) {
    shown.append({QStringLiteral("confirm"), QString(), text});
    confirmIcons << (icon == hx::ConfirmIcon::Warning ? QStringLiteral("warning")
                                                      : QStringLiteral("question"));
    const auto step = take(QStringLiteral("answer"), QStringLiteral("confirm: ") + text);
    return step ? step->answer : hx::Answer::No;
}

hx::Answer ScriptedDialogs::okCancel(const QString& text) {
    shown.append({QStringLiteral("okCancel"), QString(), text});
    const auto step = take(QStringLiteral("answer"), QStringLiteral("okCancel: ") + text);
    return step ? step->answer : hx::Answer::Cancel;
}

std::optional<QString> ScriptedDialogs::input(const QString& title, const QString& prompt, const QString&) {
    shown.append({QStringLiteral("input"), title, prompt});
    const auto step = take(QStringLiteral("input"), QStringLiteral("input: ") + title);
    return step ? step->text : std::nullopt;
}

std::optional<int> ScriptedDialogs::choose(const QString& title, const QString& prompt,
                                           const QStringList& items) {
    shown.append({QStringLiteral("choose"), title, prompt});
    offered = items;
    const auto step = take(QStringLiteral("choice"), QStringLiteral("choose: ") + title);
    if (!step || !step->text) return std::nullopt;
    const int index = items.indexOf(*step->text);
    if (index < 0) {
        m_problems << QStringLiteral("scripted choice “%1” not offered by %2").arg(*step->text, title);
        return std::nullopt;
    }
    return index;
}

std::optional<QString> ScriptedDialogs::openFile(const QString& filter, const QString&) {
    shown.append({QStringLiteral("openFile"), QString(), filter});
    const auto step = take(QStringLiteral("file"), QStringLiteral("openFile: ") + filter);
    return step ? step->text : std::nullopt;
}

std::optional<QString> ScriptedDialogs::saveFile(const QString& filter, const QString&) {
    shown.append({QStringLiteral("saveFile"), QString(), filter});
    const auto step = take(QStringLiteral("file"), QStringLiteral("saveFile: ") + filter);
    return step ? step->text : std::nullopt;
}

void ScriptedDialogs::beep() {
    ++beeps;
}

}  // namespace hxtest

namespace hxtest {

bool showActive(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window)) return false;
    settle();
    return true;
}

void settle() {
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

static QWidget* focused() {
    QWidget* w = QApplication::focusWidget();
    if (!w) qWarning("no widget has the keyboard focus");
    return w;
}

void key(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    if (QWidget* w = focused()) QTest::keyClick(w, key, modifiers);
    settle();
}

void type(const QString& text) {
    for (const QChar c : text) {
        QWidget* w = focused();
        if (!w) return;
        if (c.unicode() < 128) {
            QTest::keyClick(w, c.toLatin1());
        } else {
            // Chinese has no key of its own: it arrives as text, as from an input method.
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(w, &press);
            QApplication::sendEvent(w, &release);
        }
        settle();
    }
}

static QPoint cellCentre(QAbstractItemView* view, int row, int column) {
    const QModelIndex index = view->model()->index(row, column);
    view->scrollTo(index);
    return view->visualRect(index).center();
}

void clickCell(QAbstractItemView* view, int row, int column) {
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cellCentre(view, row, column));
    settle();
}

void clickTitle(QTableView* view, int column) {
    QHeaderView* titles = view->horizontalHeader();
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(titles->sectionViewportPosition(column) + 10, titles->height() / 2));
    settle();
}

void doubleClickCell(QAbstractItemView* view, int row, int column) {
    const QPoint p = cellCentre(view, row, column);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, p);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, p);
    settle();
}

bool editing(QAbstractItemView* view) {
    QWidget* w = QApplication::focusWidget();
    // Cell editors are children of the viewport; the view itself and its scroll bars are not.
    return w && w != view->viewport() && view->viewport()->isAncestorOf(w);
}

bool enterCell(QAbstractItemView* view, int row, int column) {
    clickCell(view, row, column);
    if (!editing(view)) {
        // A grid that does not keep its editor open starts one with F2, as a user would.
        QTest::keyClick(view, Qt::Key_F2);
        settle();
    }
    return QTest::qWaitFor([view] { return editing(view); }, 2000);
}

void printSlipsToFile(QAbstractButton* printButton, const QString& path) {
    whenShown<hx::TmyRpSetupFrm>([path](hx::TmyRpSetupFrm* setup) {
        key(Qt::Key_F, Qt::AltModifier);          // 文件 &F
        QTRY_VERIFY(setup->FileRB->isChecked());  // a mnemonic clicks after a moment
        key(Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(setup->editFileName));
        type(path);
        key(Qt::Key_Return);
    });
    QTest::mouseClick(printButton, Qt::LeftButton);
}

bool opensAModalWindow(const std::function<void()>& action) {
    bool seen = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            seen = true;
            modal->close();
        }
    });
    watch.start(20);
    action();
    watch.stop();
    return seen;
}

}  // namespace hxtest
