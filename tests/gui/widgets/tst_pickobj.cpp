#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QScrollBar>
#include <QStatusBar>
#include <QtTest>

#include "core/data/datamodule.h"
#include "gui/widgets/pickobj.h"
#include "support/testsupport.h"
#include "support/windowfixture.h"

using namespace hx;

class TestPickObj : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::WindowFixture> f;
    hxtest::ScriptedDialogs* dialogs = nullptr;
    TdataFrm* dm = nullptr;
    QList<int> picked;

    void addWorkers(int count) {
        for (int i = 1; i <= count; ++i)
            f->addWorker(QStringLiteral("%1").arg(i, 3, 10, QLatin1Char('0')),
                         QStringLiteral("工人%1").arg(i), {{"Firedd", 0}});
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

    // The window the picker is called from, active with the focus in its edit, as a piece-work grid is.
    std::unique_ptr<QWidget> caller;
    QLineEdit* callerEdit = nullptr;
    bool showCaller() {
        caller = std::make_unique<QWidget>();
        callerEdit = new QLineEdit(caller.get());
        caller->resize(300, 200);
        if (!f->activate(caller.get())) return false;
        callerEdit->setFocus();
        return QTest::qWaitFor([this] { return QApplication::focusWidget() == callerEdit; }, 2000);
    }
    // Shows the picker modally as its callers do, with the statement's rows, and runs `user` while it is
    // up: keys and clicks go to the focused widget, which must be the list. Should the picker stay open
    // after that, it is closed here rather than waited on. False when the list never had the focus or the
    // picker stayed open.
    bool pick(const QString& where, const std::function<void(TpickObjFrm*)>& user) {
        bool focused = false;
        bool stuck = false;
        QTimer::singleShot(0, this, [&] {
            TpickObjFrm* p = pickObjFrm();
            focused = QTest::qWaitFor([p] { return QApplication::focusWidget() == p->ListCode; }, 2000);
            if (focused) user(p);
            if (p->isVisible()) {
                stuck = true;
                p->reject();
            }
        });
        pickObject(
            Query("select staffID as objectID, (StaffCode || '     ' || StaffName) as objectCode from staff "
                  "where " +
                  where + " order by StaffCode"),
            [this](int id) { picked << id; });
        return focused && !stuck;
    }
    int staffID(const QString& code) { return int(f->staffId(code)); }

    // Processes as the piece-work window lists them: number, description and unit price.
    const QString processes = QStringLiteral(
        "select jobID as objectID, JobCode as objectCode, Description, UnitPrice from job order by JobCode");
    void addProcesses() {
        f->addProcess("A-01", {{"Description", "B-07返工：袖口、领口拆开重新车缝，再熨烫定型后交检验员复查"},
                               {"UnitPrice", 0.35}});
        f->addProcess("B-07", {{"Description", "卫衣上领"}, {"UnitPrice", 1.2}});
        f->addProcess("B-08", {{"Description", "卫衣下摆"}, {"UnitPrice", 0.0525}});
        f->addProcess("C-01", {{"Description", QVariant()}, {"UnitPrice", 12}});
    }
    bool pickProcess(const std::function<void(TpickObjFrm*)>& user) {
        bool focused = false;
        QTimer::singleShot(0, this, [&] {
            TpickObjFrm* p = pickObjFrm();
            focused = QTest::qWaitFor([p] { return QApplication::focusWidget() == p->ListCode; }, 2000);
            if (focused) user(p);
            if (p->isVisible()) p->reject();
        });
        pickObject(Query(processes), [this](int id) { picked << id; });
        return focused;
    }
    int jobID(const QString& code) { return int(f->processId(code)); }

  private slots:
    void init() {
        f = std::make_unique<hxtest::WindowFixture>(QStringLiteral("t"));
        dialogs = &f->dialogs;
        dm = &f->module;
        picked.clear();
        setPickHandler([this](int id) { picked << id; });
        QVERIFY(showCaller());
    }
    void cleanup() {
        destroyPickObjFrm();
        caller.reset();
        setPickHandler(nullptr);
        dm = nullptr;
        dialogs = nullptr;
        HX_FINISH_FIXTURE(f);
    }

    void oneFixedWindowForTheWholeRun() {
        TpickObjFrm* p = createPickObjFrm();
        QCOMPARE(pickObjFrm(), p);
        QCOMPARE(createPickObjFrm(), p);
    }

    void loadsTheRowsInOrderAndClosesTheQuery() {
        addWorkers(3);
        QVERIFY(pick("1=1", [&](TpickObjFrm* p) {
            QCOMPARE(p->ListCode->count(), 3);
            QCOMPARE(p->ListID->count(), 3);
            QCOMPARE(p->ListCode->item(0)->text(), QStringLiteral("001     工人1"));
            QCOMPARE(p->ListCode->item(2)->text(), QStringLiteral("003     工人3"));
            QCOMPARE(p->ListID->item(2)->text(), QString::number(staffID("003")));
            QVERIFY(p->ListCode->selectedItems().isEmpty());
            QVERIFY(!dm->tdTempFill.isOpen());
            hxtest::key(Qt::Key_Down);
            hxtest::key(Qt::Key_Escape);
        }));
        // Each showing reloads: nothing of the earlier rows or choice survives.
        QVERIFY(pick("StaffCode='002'", [&](TpickObjFrm* p) {
            QCOMPARE(p->ListCode->count(), 1);
            QCOMPARE(p->ListCode->item(0)->text(), QStringLiteral("002     工人2"));
            QVERIFY(p->ListCode->selectedItems().isEmpty());
            hxtest::key(Qt::Key_Escape);
        }));
        QVERIFY(picked.isEmpty());
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

    void theFirstArrowSelectsTheFirstRowDrawnBlueAndNamedInTheStatusBar() {
        addWorkers(3);
        QVERIFY(pick("1=1", [&](TpickObjFrm* p) {
            hxtest::key(Qt::Key_Down);
            QCOMPARE(p->ListCode->currentRow(), 0);
            QVERIFY(p->ListCode->item(0)->isSelected());
            QCOMPARE(p->panelText(1), QStringLiteral("001     工人1"));
            QCOMPARE(pixel(p->ListCode->viewport(), 10, 10), QColor(0, 0, 255));
            QCOMPARE(pixel(p->ListCode->viewport(), 10, 30), QColor(180, 180, 255));
            hxtest::key(Qt::Key_Down);
            QCOMPARE(p->ListCode->currentRow(), 1);
            QCOMPARE(p->panelText(1), QStringLiteral("002     工人2"));
            QCOMPARE(pixel(p->ListCode->viewport(), 10, 10), QColor(210, 210, 255));
            QCOMPARE(pixel(p->ListCode->viewport(), 10, 30), QColor(0, 0, 255));
            hxtest::key(Qt::Key_Escape);
        }));
        QCOMPARE(pickObjFrm()->panelText(1), QStringLiteral(" "));
        // The up arrow as the first key does the same.
        QVERIFY(pick("1=1", [&](TpickObjFrm* p) {
            hxtest::key(Qt::Key_Up);
            QCOMPARE(p->ListCode->currentRow(), 0);
            hxtest::key(Qt::Key_Return);
        }));
        QCOMPARE(picked, QList<int>{staffID("001")});
    }

    void enterWithoutSelectionStaysOpenAndEnterChooses() {
        addWorkers(3);
        QVERIFY(pick("1=1", [&](TpickObjFrm* p) {
            hxtest::key(Qt::Key_Return);
            QVERIFY(p->isVisible());
            QVERIFY(picked.isEmpty());
            hxtest::key(Qt::Key_Down);
            hxtest::key(Qt::Key_Down);
            hxtest::key(Qt::Key_Enter);
            QVERIFY(!p->isVisible());
            QCOMPARE(p->result(), int(QDialog::Accepted));
        }));
        QCOMPARE(picked, QList<int>{staffID("002")});
        QVERIFY2(!pickObjFrm()->choose(), "the handler runs at most once per showing");
        QCOMPARE(picked.size(), 1);
        QVERIFY2(bool(pickHandler()), "the picker never clears the handler");
    }

    void emptyListOnlyLeavesWithEsc() {
        QVERIFY(pick("1=1", [&](TpickObjFrm* p) {
            QCOMPARE(p->ListCode->count(), 0);
            hxtest::key(Qt::Key_Down);
            hxtest::key(Qt::Key_Return);
            QVERIFY(p->isVisible());
            hxtest::key(Qt::Key_Escape);
            QVERIFY(!p->isVisible());
            QCOMPARE(p->result(), int(QDialog::Accepted));
        }));
        QVERIFY(picked.isEmpty());
    }

    void escAfterSelectingLeavesTheHandlerUncalled() {
        addWorkers(2);
        QVERIFY(pick("1=1", [&](TpickObjFrm*) {
            hxtest::key(Qt::Key_Down);
            hxtest::key(Qt::Key_Escape);
        }));
        QVERIFY(picked.isEmpty());
    }

    void doubleClickChoosesTheRow() {
        addWorkers(3);
        QVERIFY(pick("1=1", [&](TpickObjFrm* p) {
            const QRect third = p->ListCode->visualItemRect(p->ListCode->item(2));
            QCOMPARE(third.height(), 20);
            // As a mouse sends it: a click, then the second press as a double click.
            QTest::mouseClick(p->ListCode->viewport(), Qt::LeftButton, {}, third.center());
            QVERIFY(p->isVisible());
            QVERIFY(picked.isEmpty());
            QTest::mouseDClick(p->ListCode->viewport(), Qt::LeftButton, {}, third.center());
            QVERIFY(!p->isVisible());
        }));
        QCOMPARE(picked, QList<int>{staffID("003")});
    }

    void theCallersWindowHasTheKeyboardBackAfterwards() {
        addWorkers(2);
        // After a choice, and after Esc, the clerk types on where he was.
        QVERIFY(pick("1=1", [&](TpickObjFrm*) {
            hxtest::key(Qt::Key_Down);
            hxtest::key(Qt::Key_Return);
        }));
        QVERIFY(QTest::qWaitFor([this] { return QApplication::focusWidget() == callerEdit; }, 2000));
        QVERIFY(pick("1=1", [&](TpickObjFrm*) { hxtest::key(Qt::Key_Escape); }));
        QVERIFY(QTest::qWaitFor([this] { return QApplication::focusWidget() == callerEdit; }, 2000));
        hxtest::type("7");
        QCOMPARE(callerEdit->text(), QStringLiteral("7"));
        QCOMPARE(picked, QList<int>{staffID("001")});
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

    void processesShowTheirDescriptionAndPriceBesideTheNumber() {
        addProcesses();
        QVERIFY(pickProcess([&](TpickObjFrm* p) {
            QCOMPARE(p->ListCode->item(1)->text(), QStringLiteral("B-07"));
            QCOMPARE(p->ListCode->item(1)->data(PickRowDelegate::ExtraTextsRole).toStringList(),
                     QStringList({"卫衣上领", "1.2000"}));
            QCOMPARE(p->ListCode->item(2)->data(PickRowDelegate::ExtraTextsRole).toStringList(),
                     QStringList({"卫衣下摆", "0.0525"}));
            QCOMPARE(p->rowText(3), QStringLiteral("C-01  12.0000"));
            // Drawn in columns after the number, the prices right-aligned to one edge, all inside the window.
            const auto* delegate = static_cast<PickRowDelegate*>(p->ListCode->itemDelegate());
            QCOMPARE(delegate->extraColumns().size(), 2);
            const PickRowDelegate::Column description = delegate->extraColumns()[0];
            const PickRowDelegate::Column price = delegate->extraColumns()[1];
            const QFontMetrics metrics(p->ListCode->font());
            QVERIFY(description.left >= PickRowDelegate::TextLeft + metrics.horizontalAdvance("B-07"));
            QVERIFY(price.left >= description.left + description.width);
            QCOMPARE(price.alignment, Qt::AlignRight);
            QVERIFY(price.left + price.width <= p->ListCode->viewport()->width());
            // The window widens for a long description, which is cut rather than widening it further.
            QVERIFY(p->width() > 250);
            QVERIFY(description.width <
                    metrics.horizontalAdvance("B-07返工：袖口、领口拆开重新车缝，再熨烫定型后交检验员复查"));
            const QImage shown = p->ListCode->viewport()->grab().toImage();
            const auto inked = [&](const PickRowDelegate::Column& c, int row) {
                const QRect r = p->ListCode->visualItemRect(p->ListCode->item(row));
                for (int x = c.left; x < c.left + c.width; ++x)
                    for (int y = r.top() + 5; y <= r.bottom(); ++y)
                        if (shown.pixelColor(x, y) != PickRowDelegate::rowColour(row)) return true;
                return false;
            };
            QVERIFY(inked(description, 1));
            QVERIFY(inked(price, 1));
            QVERIFY2(!inked(description, 3), "a process without a description shows none");
            hxtest::key(Qt::Key_Escape);
        }));
        // Workers, with no further columns, keep the standard width.
        addWorkers(2);
        QVERIFY(pick("1=1", [&](TpickObjFrm* p) {
            QCOMPARE(p->width(), 250);
            QVERIFY(p->ListCode->item(0)->data(PickRowDelegate::ExtraTextsRole).isNull());
            hxtest::key(Qt::Key_Escape);
        }));
    }

    void typingFindsByNumberFirstThenByDescription() {
        addProcesses();
        // A description is found anywhere in it, and Enter picks that row's key.
        QVERIFY(pickProcess([&](TpickObjFrm* p) {
            hxtest::type(QStringLiteral("下摆"));
            QCOMPARE(p->ListCode->currentRow(), 2);
            QVERIFY(p->ListCode->item(2)->isSelected());
            QCOMPARE(p->panelText(1), QStringLiteral("B-08  卫衣下摆  0.0525"));
            hxtest::key(Qt::Key_Return);
        }));
        QCOMPARE(picked, QList<int>{jobID("B-08")});
        // A number's beginning wins over a description that holds the text; letter case does not count.
        QVERIFY(pickProcess([&](TpickObjFrm* p) {
            hxtest::type(QStringLiteral("b-07"));
            QCOMPARE(p->ListCode->currentRow(), 1);
            // Typed after a pause, a text starts a new search from the row after the chosen one; a text
            // that nothing holds leaves the choice where it was.
            QTest::qWait(QApplication::keyboardInputInterval() + 100);
            hxtest::type(QStringLiteral("卫衣"));
            QCOMPARE(p->ListCode->currentRow(), 2);
            hxtest::type(QStringLiteral("领"));
            QCOMPARE(p->ListCode->currentRow(), 2);
            hxtest::key(Qt::Key_Return);
        }));
        QCOMPARE(picked, QList<int>({jobID("B-08"), jobID("B-08")}));
        // A word from an input method arrives committed as a whole.
        QVERIFY(pickProcess([&](TpickObjFrm* p) {
            QVERIFY(p->ListCode->testAttribute(Qt::WA_InputMethodEnabled));
            QInputMethodEvent word;
            word.setCommitString(QStringLiteral("上领"));
            QApplication::sendEvent(QApplication::focusWidget(), &word);
            QCOMPARE(p->ListCode->currentRow(), 1);
            hxtest::key(Qt::Key_Return);
        }));
        QCOMPARE(picked.last(), jobID("B-07"));
        // Workers are found by work number or by name.
        addWorkers(12);
        QVERIFY(pick("1=1", [&](TpickObjFrm* p) {
            hxtest::type(QStringLiteral("工人11"));
            QCOMPARE(p->ListCode->currentRow(), 10);
            hxtest::key(Qt::Key_Return);
        }));
        QCOMPARE(picked.last(), staffID("011"));
    }

    void modalShowingWithKeysAndBoundValues() {
        addWorkers(3);
        dm->cnMain.exec("update staff set ClassGroup=? where StaffCode in ('001', '003')", {"O'Neil组"});
        TpickObjFrm* p = pickObjFrm();
        int shownRows = -1;
        bool focused = false;
        QTimer::singleShot(0, this, [&] {
            focused = QTest::qWaitFor([p] { return QApplication::focusWidget() == p->ListCode; }, 2000);
            shownRows = p->ListCode->count();
            if (focused) {
                hxtest::key(Qt::Key_Down);
                hxtest::key(Qt::Key_Down);
                hxtest::key(Qt::Key_Return);
            }
            // Should the keys not close it, the picker is closed here rather than waited on.
            if (p->isVisible()) p->reject();
        });
        pickObject(Query("select staffID as objectID, StaffCode as objectCode from staff where ClassGroup=? "
                         "order by StaffCode",
                         {"O'Neil组"}),
                   [this](int id) { picked << -id; });
        QVERIFY(focused);
        QCOMPARE(shownRows, 2);
        QCOMPARE(picked, QList<int>{-staffID("003")});
        QCOMPARE(p->panelText(1), QStringLiteral(" "));
        QVERIFY(!dm->tdTempFill.isOpen());
        QVERIFY(dm->tdTempFill.params().isEmpty());
    }
};

HX_WINDOW_TEST_MAIN(TestPickObj)
#include "tst_pickobj.moc"
