#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "core/data/datamodule.h"
#include "core/payroll/generation.h"
#include "gui/payroll/salary.h"
#include "gui/payroll/salarydata.h"
#include "gui/shell/entries.h"
#include "gui/shell/mainpanel.h"
#include "gui/shell/session.h"
#include "gui/widgets/workwindow.h"
#include "support/testsupport.h"
#include "support/windowfixture.h"

using hx::Entry;
using hxtest::ScriptedDialogs;

namespace {
// A work window with a help text of its own.
class HelpWindow : public hx::WorkWindow {
  public:
    explicit HelpWindow(const QString& help) { setHelpText(help); }
};

void processDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void sendMouse(QWidget* target, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons,
               const QPoint& local) {
    QMouseEvent event(type, QPointF(local), QPointF(target->mapToGlobal(local)), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}
}  // namespace

class TestMainPanel : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::WindowFixture> f;
    ScriptedDialogs* dialogs = nullptr;
    std::unique_ptr<hx::TmainFrm> panel;

    void click(Entry entry) {
        QTest::mouseClick(panel->entryLabel(entry), Qt::LeftButton);
        hxtest::settle();
    }
    // The entry's window opened by a click is the active window, in front.
    bool clickOpens(Entry entry) {
        click(entry);
        hx::WorkWindow* w = panel->workWindow(entry);
        return w && w->isVisible() && QTest::qWaitForWindowActive(w);
    }

  private slots:
    void init() {
        // The real work windows open on an account set, as after a login.
        f = std::make_unique<hxtest::WindowFixture>(QStringLiteral("panel"));
        dialogs = &f->dialogs;
        panel = std::make_unique<hx::TmainFrm>();
        QVERIFY(f->activate(panel.get()));
    }

    void cleanup() {
        // Tear everything down before checking, so that a failure leaves no state to the next test.
        panel.reset();
        processDeletes();
        for (int i = 0; i < hx::entryCount; ++i) hx::registerWorkWindow(static_cast<Entry>(i), nullptr);
        const bool hookEmpty = !hx::helpProc;
        dialogs = nullptr;
        HX_FINISH_FIXTURE(f);
        QVERIFY(hookEmpty);
    }

    void panelAsShown() {
        QVERIFY(panel->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(panel->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(panel->size(), QSize(614, 84));
        QCOMPARE(panel->pos(), QPoint(0, 0));
        QCOMPARE(panel->lblVersion->text(), QStringLiteral("V1.0"));
        // Every entry is reachable by its name, in its place on the panel.
        for (int i = 0; i < hx::entryCount; ++i) {
            const hx::EntryInfo& info = hx::entryInfo(static_cast<Entry>(i));
            auto* label = panel->findChild<hx::EntryLabel*>(info.labelName);
            QVERIFY2(label, qPrintable(info.labelName));
            QCOMPARE(label->text(), info.text);
            QVERIFY(panel->rect().contains(label->geometry()));
        }
        QStringList menu;
        for (QAction* a : panel->popSys->actions())
            menu << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
        QCOMPARE(menu,
                 (QStringList{QStringLiteral("pBackup"), QStringLiteral("pRestore"), QStringLiteral("-"),
                              QStringLiteral("pPWD"), QStringLiteral("-"), QStringLiteral("pAbout")}));
    }

    void entryHover() {
        hx::EntryLabel* label = panel->lblJob;
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 255, 255));
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(label->mapToGlobal(QPoint(5, 5))));
        QApplication::sendEvent(label, &enter);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 255, 0));
        QVERIFY(label->font().bold());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(label, &leave);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0, 255, 255));
        QVERIFY(!label->font().bold());
    }

    void roleMatrix_data() {
        QTest::addColumn<QString>("role");
        QTest::addColumn<QList<bool>>("opens");  // in the order of the entries
        QTest::newRow("生产") << QStringLiteral("生产")
                              << QList<bool>{false, true, true, false, false, false, true};
        QTest::newRow("人事") << QStringLiteral("人事")
                              << QList<bool>{true, false, false, false, false, false, false};
        QTest::newRow("会计") << QStringLiteral("会计")
                              << QList<bool>{true, true, true, true, true, true, true};
    }
    void roleMatrix() {
        QFETCH(QString, role);
        QFETCH(QList<bool>, opens);
        hx::curUser = role;
        for (int i = 0; i < hx::entryCount; ++i) {
            const Entry entry = static_cast<Entry>(i);
            dialogs->reset();
            const QString what = QStringLiteral("%1 / %2").arg(role, hx::entryInfo(entry).text);
            if (opens[i]) {
                QVERIFY2(clickOpens(entry), qPrintable(what));
                QVERIFY2(dialogs->shown.isEmpty(), qPrintable(what));
            } else {
                click(entry);
                QCOMPARE(dialogs->texts(), QStringList{QStringLiteral("没有权限！")});
                QCOMPARE(dialogs->lastKind(), QStringLiteral("message"));
                QVERIFY2(!panel->workWindow(entry), qPrintable(what));
            }
        }
    }

    void eachEntryOpensItsOwnWindow() {
        hx::curUser = hx::roleAccountant;
        for (int i = 0; i < hx::entryCount; ++i) {
            const auto entry = static_cast<Entry>(i);
            QVERIFY2(clickOpens(entry), qPrintable(hx::entryInfo(entry).text));
            hx::WorkWindow* w = panel->workWindow(entry);
            QCOMPARE(w->windowTitle(), hx::entryInfo(entry).windowCaption);
            QVERIFY(!w->helpText().isEmpty());
        }
        QCOMPARE(dialogs->shown.size(), 0);
    }

    // A sheet generated in the salary setup opens the sheet window on it, and turns an open one to it.
    void aGeneratedSheetOpensTheSheet() {
        hx::curUser = hx::roleAccountant;
        const hx::SheetBatch may{2025, 5, 10}, june{2025, 6, 10};
        f->addWorker(QStringLiteral("001"), QStringLiteral("甲"));
        f->addSheetRow(may, QStringLiteral("001"));
        f->addSheetRow(june, QStringLiteral("001"));
        QVERIFY(clickOpens(Entry::Salary));
        auto* setup = qobject_cast<hx::TsalaryFrm*>(panel->workWindow(Entry::Salary));
        QVERIFY(setup && !panel->workWindow(Entry::SalaryData));
        for (const hx::SheetBatch& batch : {may, june}) {
            emit setup->sheetGenerated(batch.year, batch.month, batch.day);
            hxtest::settle();
            auto* sheet = qobject_cast<hx::TsalaryDataFrm*>(panel->workWindow(Entry::SalaryData));
            QVERIFY(sheet && sheet->isVisible());
            QVERIFY(sheet->loadedBatch() == batch);
        }
        QCOMPARE(dialogs->shown.size(), 0);
    }

    void clickRaisesTheOpenWindow() {
        hx::curUser = hx::roleAccountant;
        int created = 0;
        hx::registerWorkWindow(Entry::Job, [&created] {
            ++created;
            return new HelpWindow(QStringLiteral("工序帮助"));
        });
        QVERIFY(clickOpens(Entry::Job));
        QPointer<hx::WorkWindow> first = panel->workWindow(Entry::Job);
        first->hide();
        QVERIFY(clickOpens(Entry::Job));
        QCOMPARE(created, 1);
        QCOMPARE(panel->workWindow(Entry::Job), first.data());
        // Behind another window, a click brings it to the front again.
        hx::registerWorkWindow(Entry::Staff, [] { return new HelpWindow(QStringLiteral("员工帮助")); });
        QVERIFY(clickOpens(Entry::Staff));
        QVERIFY(!first->isActiveWindow());
        QVERIFY(clickOpens(Entry::Job));
        QCOMPARE(created, 1);
        QVERIFY(!first->parentWidget());
        QVERIFY(first->testAttribute(Qt::WA_DeleteOnClose));
    }

    void closingFreesTheWindowAndClearsReferenceAndHook() {
        hx::curUser = hx::roleAccountant;
        hx::registerWorkWindow(Entry::Staff, [] { return new HelpWindow(QStringLiteral("员工帮助")); });
        QVERIFY(clickOpens(Entry::Staff));
        QPointer<hx::WorkWindow> window = panel->workWindow(Entry::Staff);
        QVERIFY(hx::helpProc);
        window->close();
        QVERIFY(!panel->workWindow(Entry::Staff));
        QVERIFY(!hx::helpProc);
        processDeletes();
        QVERIFY(window.isNull());
        // The next click creates a fresh window.
        QVERIFY(clickOpens(Entry::Staff));
        QVERIFY(panel->workWindow(Entry::Staff) != window.data());
    }

    void helpFollowsTheActivatedWindow() {
        hx::curUser = hx::roleAccountant;
        hx::registerWorkWindow(Entry::Staff, [] { return new HelpWindow(QStringLiteral("员工帮助")); });
        hx::registerWorkWindow(Entry::Analyse, [] { return new HelpWindow(QStringLiteral("统计帮助")); });

        panel->btnHelp->click();
        QCOMPARE(dialogs->lastKind(), QStringLiteral("information"));
        QCOMPARE(dialogs->lastText(),
                 QStringLiteral("T    系统菜单，包括更改密码、备份、恢复等功能；\n\n?    即时帮助。具体"
                                "操作过程中，点击帮助按钮，会给出相应的提示；\n\nX    关闭程序，"
                                "退出操作；\n\n<<  隐藏面板。隐藏状态下变为 >> 符号。"));

        QVERIFY(clickOpens(Entry::Staff));
        QVERIFY(clickOpens(Entry::Analyse));
        hx::WorkWindow* staff = panel->workWindow(Entry::Staff);
        hx::WorkWindow* analyse = panel->workWindow(Entry::Analyse);
        QVERIFY(hxtest::showActive(staff));
        panel->btnHelp->click();
        QCOMPARE(dialogs->lastText(), QStringLiteral("员工帮助"));
        QVERIFY(hxtest::showActive(analyse));
        panel->btnHelp->click();
        QCOMPARE(dialogs->lastText(), QStringLiteral("统计帮助"));

        // Closing one of two open windows empties the hook although the other is still open...
        staff->close();
        panel->btnHelp->click();
        QCOMPARE(dialogs->lastText(), hx::TmainFrm::defaultHelpText());
        // ...until the other is activated again.
        QVERIFY(hxtest::showActive(panel.get()));
        QVERIFY(hxtest::showActive(analyse));
        panel->btnHelp->click();
        QCOMPARE(dialogs->lastText(), QStringLiteral("统计帮助"));
        analyse->close();
    }

    void aWindowFreedWithoutClosingLeavesNoDanglingHook() {
        hx::curUser = hx::roleAccountant;
        hx::registerWorkWindow(Entry::Staff, [] { return new HelpWindow(QStringLiteral("员工帮助")); });
        QVERIFY(clickOpens(Entry::Staff));
        QVERIFY(hx::helpProc);
        panel.reset();  // the end of the program frees the open work windows with the panel
        QVERIFY(!hx::helpProc);
    }

    void hideAndShow() {
        panel->btnMini->click();
        QCOMPARE(panel->pos(), QPoint(-588, 0));
        QCOMPARE(panel->btnMini->text(), QStringLiteral(">>"));
        QCOMPARE(panel->btnMini->toolTip(), QStringLiteral("显示面板"));
        // The ">>" button stands at the screen's left edge.
        QCOMPARE(panel->mapToGlobal(panel->btnMini->geometry().topLeft()).x(), 0);
        panel->btnMini->click();
        QCOMPARE(panel->pos(), QPoint(0, 0));
        QCOMPARE(panel->btnMini->text(), QStringLiteral("<<"));
        QCOMPARE(panel->btnMini->toolTip(), QStringLiteral("隐藏面板"));

        // ">>" brings it back to the corner even after it was dragged elsewhere.
        panel->btnMini->click();
        panel->move(300, 200);
        panel->btnMini->click();
        QCOMPARE(panel->pos(), QPoint(0, 0));
    }

    void draggingThePictureMovesThePanel() {
        const QPoint start = panel->pos();
        sendMouse(panel->Image1, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, QPoint(300, 20));
        sendMouse(panel->Image1, QEvent::MouseMove, Qt::NoButton, Qt::RightButton, QPoint(340, 50));
        sendMouse(panel->Image1, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton, QPoint(340, 50));
        QCOMPARE(panel->pos(), start);

        sendMouse(panel->Image1, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, QPoint(300, 20));
        const QPoint global = panel->Image1->mapToGlobal(QPoint(300, 20)) + QPoint(40, 30);
        QMouseEvent move(QEvent::MouseMove, QPointF(340, 50), QPointF(global), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(panel->Image1, &move);
        sendMouse(panel->Image1, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, QPoint(340, 50));
        QCOMPARE(panel->pos(), start + QPoint(40, 30));
    }
};

HX_WINDOW_TEST_MAIN(TestMainPanel)
#include "tst_mainpanel.moc"
