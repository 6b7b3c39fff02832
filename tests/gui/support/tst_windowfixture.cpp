#include <QLineEdit>
#include <QPointer>
#include <QtTest>

#include "core/data/datamodule.h"
#include "core/data/money.h"
#include "core/payroll/generation.h"
#include "gui/shell/session.h"
#include "support/testsupport.h"
#include "support/windowfixture.h"

using namespace hx;

namespace {
// A window the window system never makes active.
class Unfocusable : public QWidget {
  public:
    Unfocusable() {
        setWindowFlag(Qt::WindowDoesNotAcceptFocus);
        setAttribute(Qt::WA_ShowWithoutActivating);
        resize(200, 100);
    }
};
class Editor : public QWidget {
  public:
    explicit Editor(const QString& text) {
        auto* edit = new QLineEdit(text, this);
        edit->setObjectName(QStringLiteral("edit"));
        resize(200, 100);
    }
};
}  // namespace

// The fixture every window test stands on: a window that never becomes active fails the test, the
// helpers store exactly what they are given, and nothing of one test reaches the next.
class TestWindowFixture : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::WindowFixture> f;

  private slots:
    void init() { f = std::make_unique<hxtest::WindowFixture>(QStringLiteral("夹具")); }
    void cleanup() { HX_FINISH_FIXTURE(f); }

    void aWindowThatNeverBecomesActiveFailsTheTest() {
        QEXPECT_FAIL("", "the window refuses the focus", Continue);
        QPointer<Unfocusable> w = f->openWindow<Unfocusable>();
        QVERIFY(!w);
    }

    void windowsOpenActiveAndCloseWithTheFixture() {
        QPointer<Editor> w = f->openWindow<Editor>(QStringLiteral("甲"));
        QVERIFY(w);
        QCOMPARE(QApplication::activeWindow(), w.data());
        QCOMPARE(f->child<QLineEdit>(QStringLiteral("edit"))->text(), QStringLiteral("甲"));
        QCOMPARE(f->lastWindow(), w.data());
        f->closeWindows();
        QVERIFY(!w);
        QVERIFY(!f->lastWindow());
    }

    void helpersStoreWhatTheyAreGiven() {
        QCOMPARE(dataFrm(), &f->module);
        QVERIFY(f->cn().isOpen());
        const qint64 worker =
            f->addWorker("001", "O'Neil", {{"ClassGroup", "组');--"}, {"A02", f->money("0.1")}});
        const qint64 process = f->addProcess("J'1", {{"UnitPrice", f->money("1.2345")}});
        QCOMPARE(f->staffId("001"), worker);
        QCOMPARE(f->processId("J'1"), process);
        QCOMPARE(f->staffId("nobody"), 0);
        f->addPieceRecord(QDate(2025, 2, 28), worker, process, 7);
        QCOMPARE(
            f->cn().scalar("select dateD || '|' || qty from JobData where staffID=?", {worker}).toString(),
            QStringLiteral("2025-02-28|7"));
        QCOMPARE(f->cn().scalar("select ClassGroup from staff where staffID=?", {worker}).toString(),
                 QStringLiteral("组');--"));
        QCOMPARE(Money::fromVariant(f->cn().scalar("select A02 from staff")), *Money::parse("0.1"));

        f->copyBaseMonth(2025, 1);
        QCOMPARE(f->itemCount(2025, 1), 35);
        f->setItem(2025, 1, "C01", "奖金", "A02*2", 9);
        QCOMPARE(f->item(2025, 1, "C01", "expression").toString(), QStringLiteral("A02*2"));
        f->blankMonth(2025, 1);
        QCOMPARE(f->itemCount(2025, 1), 35);
        QVERIFY(f->item(2025, 1, "A02", "ItemName").isNull());
        f->addItem(2025, 2, "A02", "岗位");
        QCOMPARE(f->item(2025, 2, "A02", "ItemName").toString(), QStringLiteral("岗位"));

        f->addSheetRow({2025, 1, 8}, "001", {{"B01", 26}});
        QCOMPARE(f->cell(2025, 1, 8, "001", "B01").toDouble(), 26.0);
    }

    void loginValuesLastOneTest() {
        f->logIn(roleProduction);
        QCOMPARE(curUser, roleProduction);
        QCOMPARE(curAccountSet.location(), f->accountSet);
        HX_FINISH_FIXTURE(f);
        QVERIFY(curUser.isEmpty() && curAccountSet.isEmpty());
        QVERIFY(!dataFrm());
    }
};

HX_WINDOW_TEST_MAIN(TestWindowFixture)
#include "tst_windowfixture.moc"
