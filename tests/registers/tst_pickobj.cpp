#include <QListWidget>
#include <QPainter>
#include <QScrollBar>
#include <QStatusBar>
#include <QtTest>

#include "data/datamodule.h"
#include "registers/pickobj.h"
#include "support/testsupport.h"

using namespace hx;

class TestPickObj : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::TempProgramDir> dir;
    std::unique_ptr<hxtest::ScriptedDialogs> dialogs;
    std::unique_ptr<TdataFrm> dm;
    QList<int> picked;

    void addWorkers(int count) {
        for (int i = 1; i <= count; ++i)
            dm->cnMain.exec(
                "insert into staff (StaffCode, StaffName, Firedd) values (?, ?, 0)",
                {QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')), QStringLiteral("工人%1").arg(i)});
    }
    void openWorkers(const QString& where = QStringLiteral("1=1")) {
        DataSet& q = dm->tdTempFill;
        q.close();
        q.setSql(
            "select staffID as objectID, (StaffCode || '     ' || StaffName) as objectCode from staff "
            "where " +
            where + " order by StaffCode");
        q.setParams({});
        q.open();
    }
    // The shown picker, loaded with the workers.
    TpickObjFrm* showWorkers(const QString& where = QStringLiteral("1=1")) {
        openWorkers(where);
        TpickObjFrm* p = pickObjFrm();
        p->show();
        return p;
    }
    QColor pixel(QWidget* w, int x, int y) { return w->grab().toImage().pixelColor(x, y); }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::TempProgramDir>();
        dialogs = std::make_unique<hxtest::ScriptedDialogs>();
        dm = std::make_unique<TdataFrm>();
        dm->cnMain.open(dir->createAccountSet(QStringLiteral("t")));
        setDataFrm(dm.get());
        picked.clear();
        setPickHandler([this](int id) { picked << id; });
    }
    void cleanup() {
        destroyPickObjFrm();
        setPickHandler(nullptr);
        setDataFrm(nullptr);
        dm.reset();
        HX_VERIFY_DIALOGS(*dialogs);
        dialogs.reset();
        dir.reset();
    }

    void oneFixedWindowForTheWholeRun() {
        TpickObjFrm* p = createPickObjFrm();
        QCOMPARE(pickObjFrm(), p);
        QCOMPARE(createPickObjFrm(), p);
        QCOMPARE(p->windowTitle(), QStringLiteral("禾岫ERP"));
        QCOMPARE(p->size(), QSize(250, 348));
        QCOMPARE(p->minimumSize(), p->maximumSize());
        QVERIFY(!(p->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(p->panelText(0), QStringLiteral("双击或回车选择:"));
        QVERIFY(p->ListID->isHidden());
    }

    void loadsTheRowsInOrderAndClosesTheQuery() {
        addWorkers(3);
        TpickObjFrm* p = showWorkers();
        QCOMPARE(p->ListCode->count(), 3);
        QCOMPARE(p->ListID->count(), 3);
        QCOMPARE(p->ListCode->item(0)->text(), QStringLiteral("001     工人1"));
        QCOMPARE(p->ListCode->item(2)->text(), QStringLiteral("003     工人3"));
        QCOMPARE(p->ListID->item(2)->text(),
                 dm->cnMain.scalar("select staffID from staff where StaffCode='003'").toString());
        QVERIFY(p->ListCode->selectedItems().isEmpty());
        QVERIFY(!dm->tdTempFill.isOpen());
        p->reject();

        // Each showing reloads: nothing of the earlier rows or choice survives.
        p = showWorkers(QStringLiteral("StaffCode='002'"));
        QCOMPARE(p->ListCode->count(), 1);
        QCOMPARE(p->ListCode->item(0)->text(), QStringLiteral("002     工人2"));
        QVERIFY(p->ListCode->selectedItems().isEmpty());
        p->reject();
    }

    void aQueryWithoutThePickerColumnsIsReportedAndClosed() {
        DataSet& q = dm->tdTempFill;
        q.setSql("select staffID from staff");
        q.open();
        TpickObjFrm* p = pickObjFrm();
        p->show();
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QVERIFY(dialogs->lastText().contains("objectID"));
        QVERIFY(!q.isOpen());
        QCOMPARE(p->ListCode->count(), 0);
        p->reject();
    }

    void downSelectsTheFirstRowAndNamesItInTheStatusBar() {
        addWorkers(3);
        TpickObjFrm* p = showWorkers();
        QTest::keyClick(p->ListCode, Qt::Key_Down);
        QCOMPARE(p->ListCode->currentRow(), 0);
        QVERIFY(p->ListCode->item(0)->isSelected());
        QCOMPARE(p->panelText(1), QStringLiteral("001     工人1"));
        QTest::keyClick(p->ListCode, Qt::Key_Down);
        QCOMPARE(p->ListCode->currentRow(), 1);
        QCOMPARE(p->panelText(1), QStringLiteral("002     工人2"));
        p->reject();
        QCOMPARE(p->panelText(1), QStringLiteral(" "));
    }

    void enterWithoutSelectionStaysOpenAndEnterChooses() {
        addWorkers(3);
        TpickObjFrm* p = showWorkers();
        QTest::keyClick(p->ListCode, Qt::Key_Return);
        QVERIFY(p->isVisible());
        QVERIFY(picked.isEmpty());
        QTest::keyClick(p->ListCode, Qt::Key_Down);
        QTest::keyClick(p->ListCode, Qt::Key_Down);
        QTest::keyClick(p->ListCode, Qt::Key_Enter);
        QVERIFY(!p->isVisible());
        QCOMPARE(p->result(), int(QDialog::Accepted));
        QCOMPARE(picked,
                 QList<int>{dm->cnMain.scalar("select staffID from staff where StaffCode='002'").toInt()});
        QVERIFY2(!p->choose(), "the handler runs at most once per showing");
        QCOMPARE(picked.size(), 1);
        QVERIFY2(bool(pickHandler()), "the picker never clears the handler");
    }

    void emptyListOnlyLeavesWithEsc() {
        TpickObjFrm* p = showWorkers();
        QCOMPARE(p->ListCode->count(), 0);
        QTest::keyClick(p->ListCode, Qt::Key_Down);
        QTest::keyClick(p->ListCode, Qt::Key_Return);
        QVERIFY(p->isVisible());
        QTest::keyClick(p->ListCode, Qt::Key_Escape);
        QVERIFY(!p->isVisible());
        QCOMPARE(p->result(), int(QDialog::Accepted));
        QVERIFY(picked.isEmpty());
    }

    void escAfterSelectingLeavesTheHandlerUncalled() {
        addWorkers(2);
        TpickObjFrm* p = showWorkers();
        QTest::keyClick(p->ListCode, Qt::Key_Down);
        QTest::keyClick(p->ListCode, Qt::Key_Escape);
        QVERIFY(!p->isVisible());
        QVERIFY(picked.isEmpty());
    }

    void doubleClickChoosesTheRow() {
        addWorkers(3);
        TpickObjFrm* p = showWorkers();
        const QRect third = p->ListCode->visualItemRect(p->ListCode->item(2));
        QCOMPARE(third.height(), 20);
        // As a mouse sends it: a click, then the second press as a double click.
        QTest::mouseClick(p->ListCode->viewport(), Qt::LeftButton, {}, third.center());
        QVERIFY(p->isVisible());
        QVERIFY(picked.isEmpty());
        QTest::mouseDClick(p->ListCode->viewport(), Qt::LeftButton, {}, third.center());
        QVERIFY(!p->isVisible());
        QCOMPARE(picked,
                 QList<int>{dm->cnMain.scalar("select staffID from staff where StaffCode='003'").toInt()});
    }

    void rowsAlternateByTheirPlaceInTheList() {
        addWorkers(40);
        TpickObjFrm* p = showWorkers();
        QWidget* vp = p->ListCode->viewport();
        const QColor even(210, 210, 255);
        const QColor odd(180, 180, 255);
        QCOMPARE(pixel(vp, 5, 10), even);
        QCOMPARE(pixel(vp, 5, 30), odd);
        QCOMPARE(pixel(vp, 5, 50), even);
        // Scrolled by one row, the top row on the screen is the list's second: it keeps its colour.
        p->ListCode->scrollToItem(p->ListCode->item(39));
        const int top = p->ListCode->indexAt(QPoint(5, 1)).row();
        QVERIFY(top > 0);
        QCOMPARE(pixel(vp, 5, p->ListCode->visualItemRect(p->ListCode->item(top)).center().y()),
                 top % 2 ? odd : even);
        QCOMPARE(pixel(vp, 5, p->ListCode->visualItemRect(p->ListCode->item(top + 1)).center().y()),
                 (top + 1) % 2 ? odd : even);
        p->reject();
    }

    void selectedRowOfTheFocusedListIsBlueWithTextAtItsOffset() {
        addWorkers(2);
        TpickObjFrm* p = showWorkers();
        auto* delegate = qobject_cast<PickRowDelegate*>(p->ListCode->itemDelegate());
        QVERIFY(delegate);
        const QModelIndex index = p->ListCode->model()->index(1, 0);
        auto draw = [&](QStyle::State state) {
            QImage image(200, 20, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            QStyleOptionViewItem option;
            option.initFrom(p->ListCode);
            option.rect = QRect(0, 0, 200, 20);
            option.state = state | QStyle::State_Enabled;
            delegate->paint(&painter, option, index);
            return image;
        };
        const QImage blue = draw(QStyle::State_Selected | QStyle::State_HasFocus);
        QCOMPARE(blue.pixelColor(10, 10), QColor(0, 0, 255));
        int frameDots = 0;  // the dotted focus frame along the left edge, in the highlight text colour
        for (int y = 0; y < 20; ++y)
            frameDots += blue.pixelColor(0, y) == p->ListCode->palette().color(QPalette::HighlightedText);
        QVERIFY(frameDots >= 5 && frameDots < 20);
        const QImage unfocused = draw(QStyle::State_Selected);
        QCOMPARE(unfocused.pixelColor(10, 10), QColor(180, 180, 255));

        // The text starts 30 pixels in and 5 down: nothing is drawn left of or above that.
        bool inked = false;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 200; ++x) {
                if (unfocused.pixelColor(x, y) == QColor(180, 180, 255)) continue;
                QVERIFY2(x >= 30 && y >= 5, qPrintable(QStringLiteral("ink at %1,%2").arg(x).arg(y)));
                inked = true;
            }
        QVERIFY(inked);
        p->reject();
    }

    void modalShowingWithKeysAndBoundValues() {
        addWorkers(3);
        dm->cnMain.exec("update staff set ClassGroup=? where StaffCode in ('001', '003')", {"O'Neil组"});
        TpickObjFrm* p = pickObjFrm();
        int shownRows = -1;
        QTimer::singleShot(0, this, [&] {
            shownRows = p->ListCode->count();
            QTest::keyClick(p->ListCode, Qt::Key_Down);
            QTest::keyClick(p->ListCode, Qt::Key_Down);
            QTest::keyClick(p->ListCode, Qt::Key_Return);
        });
        // Should the keys not close it, the picker is closed here rather than waited on.
        QTimer::singleShot(0, this, [&] {
            if (p->isVisible()) p->reject();
        });
        pickObject(
            "select staffID as objectID, StaffCode as objectCode from staff where ClassGroup=? "
            "order by StaffCode",
            {"O'Neil组"}, [this](int id) { picked << -id; });
        QCOMPARE(shownRows, 2);
        QCOMPARE(picked,
                 QList<int>{-dm->cnMain.scalar("select staffID from staff where StaffCode='003'").toInt()});
        QCOMPARE(p->panelText(1), QStringLiteral(" "));
        QVERIFY(!dm->tdTempFill.isOpen());
    }
};

QTEST_MAIN(TestPickObj)
#include "tst_pickobj.moc"
