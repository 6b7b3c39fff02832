#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QToolButton>
#include <QtTest>
#include <memory>

#include "shell/entries.h"
#include "shell/mainpanel.h"
#include "shell/session.h"
#include "shell/workwindow.h"
#include "support/testsupport.h"

using hx::Entry;
using hxtest::ScriptedDialogs;

namespace {
// A work window with a help text of its own.
class HelpWindow : public hx::WorkWindow {
  public:
    explicit HelpWindow(const QString& help) { setHelpText(help); }
};

void activate(QWidget* w) {
    QEvent event(QEvent::WindowActivate);
    QApplication::sendEvent(w, &event);
}

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

    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<hx::TmainFrm> panel;

    void click(Entry entry) { QTest::mouseClick(panel->entryLabel(entry), Qt::LeftButton); }

  private slots:
    void init() {
        dialogs = std::make_unique<ScriptedDialogs>();
        panel = std::make_unique<hx::TmainFrm>();
        panel->show();
    }

    void cleanup() {
        // Tear everything down before checking, so that a failure leaves no state to the next test.
        QString why;
        const bool used = dialogs->verify(&why);
        panel.reset();
        processDeletes();
        dialogs.reset();
        for (int i = 0; i < hx::entryCount; ++i) hx::registerWorkWindow(static_cast<Entry>(i), nullptr);
        hx::curUser.clear();
        const bool hookEmpty = !hx::helpProc;
        hx::helpProc = nullptr;
        QVERIFY(hookEmpty);
        QVERIFY2(used, qPrintable(why));
    }

    void layout() {
        QVERIFY(panel->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(panel->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(panel->size(), QSize(614, 84));
        QCOMPARE(panel->pos(), QPoint(0, 0));
        QCOMPARE(panel->lblVersion->text(), QStringLiteral("V1.0"));
        QCOMPARE(panel->Image1->geometry(), QRect(0, 0, 614, 84));
        const struct {
            const char* name;
            QString text;
            QRect geometry;
        } labels[] = {
            {"lblStaff", QStringLiteral("员工登记"), QRect(80, 47, 80, 30)},
            {"lblJob", QStringLiteral("工序登记"), QRect(169, 47, 80, 30)},
            {"lblJobData", QStringLiteral("计件数据"), QRect(258, 47, 80, 30)},
            {"lblAnalyse", QStringLiteral("统计分析"), QRect(347, 47, 80, 30)},
            {"lblSalary", QStringLiteral("工资设置"), QRect(436, 47, 80, 30)},
            {"lblSalaryData", QStringLiteral("工  资  表"), QRect(523, 47, 80, 30)},
        };
        for (const auto& l : labels) {
            auto* label = panel->findChild<QLabel*>(QLatin1String(l.name));
            QVERIFY2(label, l.name);
            QCOMPARE(label->text(), l.text);
            QCOMPARE(label->geometry(), l.geometry);
        }
        const struct {
            const char* name;
            QString text;
            QString tip;
            QRect geometry;
        } buttons[] = {
            {"btnSys", QStringLiteral("T"), QStringLiteral("系统菜单"), QRect(524, 6, 20, 20)},
            {"btnHelp", QStringLiteral("?"), QStringLiteral("即时帮助"), QRect(545, 6, 20, 20)},
            {"btnQuit", QStringLiteral("X"), QStringLiteral("关闭退出"), QRect(566, 6, 21, 20)},
            {"btnMini", QStringLiteral("<<"), QStringLiteral("隐藏面板"), QRect(588, 6, 21, 20)},
        };
        for (const auto& b : buttons) {
            auto* button = panel->findChild<QToolButton*>(QLatin1String(b.name));
            QVERIFY2(button, b.name);
            QCOMPARE(button->text(), b.text);
            QCOMPARE(button->toolTip(), b.tip);
            QCOMPARE(button->geometry(), b.geometry);
        }
        QStringList menu;
        for (QAction* a : panel->popSys->actions())
            menu << (a->isSeparator() ? QStringLiteral("-") : a->text());
        QCOMPARE(menu,
                 (QStringList{QStringLiteral("备份数据"), QStringLiteral("恢复数据"), QStringLiteral("-"),
                              QStringLiteral("更改密码"), QStringLiteral("-"), QStringLiteral("关于")}));
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
                              << QList<bool>{false, true, true, false, false, false};
        QTest::newRow("人事") << QStringLiteral("人事")
                              << QList<bool>{true, false, false, false, false, false};
        QTest::newRow("会计") << QStringLiteral("会计") << QList<bool>{true, true, true, true, true, true};
    }
    void roleMatrix() {
        QFETCH(QString, role);
        QFETCH(QList<bool>, opens);
        hx::curUser = role;
        for (int i = 0; i < hx::entryCount; ++i) {
            const Entry entry = static_cast<Entry>(i);
            dialogs->reset();
            click(entry);
            const QString what = QStringLiteral("%1 / %2").arg(role, hx::entryInfo(entry).text);
            if (opens[i]) {
                QVERIFY2(dialogs->shown.isEmpty(), qPrintable(what));
                QVERIFY2(panel->workWindow(entry) && panel->workWindow(entry)->isVisible(), qPrintable(what));
            } else {
                QCOMPARE(dialogs->texts(), QStringList{QStringLiteral("没有权限！")});
                QCOMPARE(dialogs->lastKind(), QStringLiteral("message"));
                QVERIFY2(!panel->workWindow(entry), qPrintable(what));
            }
        }
    }

    void aWindowNotBuiltYetSaysSo() {
        hx::curUser = hx::roleAccountant;
        click(Entry::Salary);
        hx::WorkWindow* w = panel->workWindow(Entry::Salary);
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("工资设置"));
        QVERIFY(w->helpText().contains(QStringLiteral("以后的版本")));
    }

    void clickRaisesTheOpenWindow() {
        hx::curUser = hx::roleAccountant;
        int created = 0;
        hx::registerWorkWindow(Entry::Job, [&created] {
            ++created;
            return new HelpWindow(QStringLiteral("工序帮助"));
        });
        click(Entry::Job);
        QPointer<hx::WorkWindow> first = panel->workWindow(Entry::Job);
        first->hide();
        click(Entry::Job);
        QCOMPARE(created, 1);
        QCOMPARE(panel->workWindow(Entry::Job), first.data());
        QVERIFY(first->isVisible());
        QVERIFY(!first->parentWidget());
        QVERIFY(first->testAttribute(Qt::WA_DeleteOnClose));
    }

    void closingFreesTheWindowAndClearsReferenceAndHook() {
        hx::curUser = hx::roleAccountant;
        hx::registerWorkWindow(Entry::Staff, [] { return new HelpWindow(QStringLiteral("员工帮助")); });
        click(Entry::Staff);
        QPointer<hx::WorkWindow> window = panel->workWindow(Entry::Staff);
        activate(window);
        QVERIFY(hx::helpProc);
        window->close();
        QVERIFY(!panel->workWindow(Entry::Staff));
        QVERIFY(!hx::helpProc);
        processDeletes();
        QVERIFY(window.isNull());
        // The next click creates a fresh window.
        click(Entry::Staff);
        QVERIFY(panel->workWindow(Entry::Staff));
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

        click(Entry::Staff);
        click(Entry::Analyse);
        hx::WorkWindow* staff = panel->workWindow(Entry::Staff);
        hx::WorkWindow* analyse = panel->workWindow(Entry::Analyse);
        activate(staff);
        panel->btnHelp->click();
        QCOMPARE(dialogs->lastText(), QStringLiteral("员工帮助"));
        activate(analyse);
        panel->btnHelp->click();
        QCOMPARE(dialogs->lastText(), QStringLiteral("统计帮助"));

        // Closing one of two open windows empties the hook although the other is still open...
        staff->close();
        panel->btnHelp->click();
        QCOMPARE(dialogs->lastText(), hx::TmainFrm::defaultHelpText());
        // ...until the other is activated again.
        activate(analyse);
        panel->btnHelp->click();
        QCOMPARE(dialogs->lastText(), QStringLiteral("统计帮助"));
        analyse->close();
    }

    void aWindowFreedWithoutClosingLeavesNoDanglingHook() {
        hx::curUser = hx::roleAccountant;
        hx::registerWorkWindow(Entry::Staff, [] { return new HelpWindow(QStringLiteral("员工帮助")); });
        click(Entry::Staff);
        activate(panel->workWindow(Entry::Staff));
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

QTEST_MAIN(TestMainPanel)
#include "tst_mainpanel.moc"
