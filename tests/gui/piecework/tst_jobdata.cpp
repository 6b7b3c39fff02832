#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include "core/data/clock.h"
#include "core/data/datamodule.h"
#include "core/data/myfuns_lists.h"
#include "core/data/queries.h"
#include "core/exchange/import.h"
#include "core/payroll/generation.h"
#include "core/piecework/jobtotals.h"
#include "core/production/production.h"
#include "core/production/scanning.h"
#include "gui/piecework/jobdata.h"
#include "gui/piecework/scanpage.h"
#include "gui/shell/session.h"
#include "gui/widgets/export.h"
#include "gui/widgets/mydbgrid.h"
#include "gui/widgets/pickobj.h"
#include "support/gridmenu.h"
#include "support/testsupport.h"
#include "support/windowfixture.h"
#include "support/xlsxreader.h"

using namespace hx;

class TestJobData : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::WindowFixture> fixture;
    hxtest::ScriptedDialogs* dialogs = nullptr;
    TdataFrm* dm = nullptr;
    QPointer<TjobDataFrm> win;
    const QDate today = QDate(2026, 9, 15);
    const QDate yesterday = today.addDays(-1);
    // The records of init(), as records() lists them.
    const QStringList initial = {"y 001 A101 10", "y 001 B201 20", "y 002 A101 5", "y-1 001 C301 3",
                                 "y-40 003 C301 7"};
    // What the picker listed at its last showing, whether it had the focus, and whether it stayed open.
    QStringList pickerRows;
    QStringList pickerTexts;  // each row with what is shown beside its code
    bool pickerShown = false;
    bool pickerFocused = false;
    bool pickerStuck = false;

    Connection& cn() { return fixture->cn(); }
    int id(const QString& table, const QString& code) {
        return int(table == "staff" ? fixture->staffId(code) : fixture->processId(code));
    }
    void addRecord(const QDate& day, const QString& worker, const QString& process, int qty) {
        fixture->addPieceRecord(day, id("staff", worker), id("job", process), qty);
    }
    int count(const QString& where = "1=1") {
        return cn().scalar("select count(*) from JobData where " + where).toInt();
    }
    // Every stored record as "day worker process pieces", the day counted back from yesterday ("y", "y-1"),
    // sorted as texts.
    QStringList records() {
        QStringList list;
        PreparedStatement q = cn().query(
            "select d.dateD, coalesce(s.StaffCode, '?'), coalesce(j.JobCode, '?'), d.qty from JobData d "
            "left join staff s on s.staffID = d.staffID left join job j on j.JobID = d.jobID");
        while (q.next()) {
            const qint64 back = QDate::fromString(q.value(0).toString(), Qt::ISODate).daysTo(yesterday);
            list << (back ? QStringLiteral("y-%1").arg(back) : QStringLiteral("y")) + " " +
                        q.value(1).toString() + " " + q.value(2).toString() + " " + q.value(3).toString();
        }
        return sorted(list);
    }
    QStringList initialAnd(const QStringList& added) { return sorted(initial + added); }

    bool openWindow() {
        win = fixture->openWindow<TjobDataFrm>();
        return win;
    }
    template <class T>
    T* child(const char* name) {
        return fixture->child<T>(win, QLatin1String(name));
    }
    QComboBox* box(const char* name) { return child<QComboBox>(name); }
    TMyDBGrid* grid(const char* name) { return child<TMyDBGrid>(name); }
    DataSet* tdMain() { return child<DataSet>("tdMain"); }
    QTabWidget* pages() { return child<QTabWidget>("PageControl1"); }
    QString cell(TMyDBGrid* g, int row, int column) {
        return g->model()->index(row, column).data().toString();
    }
    QStringList column(TMyDBGrid* g, int c) {
        QStringList texts;
        for (int r = 0; r < g->model()->rowCount(); ++r) texts << cell(g, r, c);
        return texts;
    }
    static QStringList sorted(QStringList list) {
        list.sort();
        return list;
    }
    QString totals(const char* page) {
        return child<QLabel>(qPrintable(QStringLiteral("dbQty") + page))->text() + " | " +
               child<QLabel>(qPrintable(QStringLiteral("dbTmy") + page))->text();
    }
    QModelIndex at(TMyDBGrid* g, int row, int column) { return g->model()->index(row, column); }

    // ---- what a clerk does

    // A page as the clerk opens it: a click on its tab.
    void showPage(int index) {
        QTabBar* bar = pages()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
        hxtest::settle();
    }
    // Clicks into the box and types over its text (the box completes what is typed from its list).
    void typeInto(QComboBox* b, const QString& text) {
        QTest::mouseClick(b->lineEdit(), Qt::LeftButton);
        hxtest::settle();
        hxtest::key(Qt::Key_A, Qt::ControlModifier);
        hxtest::key(Qt::Key_Delete);
        hxtest::type(text);
    }
    void chooseWorker(const QString& text) { typeInto(box("cbbStaff"), text); }
    void chooseProcess(const QString& text) { typeInto(box("cbbJob"), text); }
    // Tabs on from the condition strip until the grid (or its cell editor) has the focus.
    bool tabInto(TMyDBGrid* g) {
        for (int i = 0; i < 6; ++i) {
            QWidget* f = QApplication::focusWidget();
            if (f && (f == g || g->isAncestorOf(f))) return true;
            hxtest::key(Qt::Key_Tab);
        }
        return false;
    }
    // The cell editor has come up in the current cell (the grid opens it as soon as control returns).
    bool editingAt(TMyDBGrid* g, int row, int column) {
        return QTest::qWaitFor([&] { return hxtest::editing(g); }, 2000) &&
               g->currentIndex() == at(g, row, column);
    }
    // A click on the cell button at the right edge of a picker cell.
    void clickButton(TMyDBGrid* g, int row, int column) {
        const QRect r = g->visualRect(at(g, row, column));
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, QPoint(r.right() - 4, r.center().y()));
        hxtest::settle();
    }

    enum class Pick { Enter, DoubleClick, Esc, Type };
    // Answers the picker's next showing as a user does, with keys sent to the focused widget: Esc, or
    // the down arrow to the row that begins with `code` and Enter or a double click on it, or (Type)
    // `code` typed and Enter. Should the picker stay open, it is closed here rather than waited on.
    void answerPicker(const QString& code, Pick how = Pick::Enter) {
        pickerShown = pickerFocused = pickerStuck = false;
        pickerRows.clear();
        pickerTexts.clear();
        QTimer::singleShot(0, this, [this, code, how] {
            TpickObjFrm* p = pickObjFrm();
            if (!p->isVisible()) return;
            pickerShown = true;
            pickerFocused = QTest::qWaitFor([p] { return QApplication::focusWidget() == p->ListCode; }, 2000);
            for (int i = 0; i < p->ListCode->count(); ++i) {
                pickerRows << p->ListCode->item(i)->text();
                pickerTexts << p->rowText(i);
            }
            const int row =
                code.isEmpty() ? -1 : int(pickerRows.indexOf(QRegularExpression("^" + code + "\\b.*")));
            if (pickerFocused && how == Pick::Type) {
                hxtest::type(code);
                hxtest::key(Qt::Key_Return);
            } else if (pickerFocused) {
                if (how == Pick::Esc || row < 0) {
                    hxtest::key(Qt::Key_Escape);
                } else if (how == Pick::DoubleClick) {
                    hxtest::doubleClickCell(p->ListCode, row, 0);
                } else {
                    for (int i = 0; i <= row; ++i) hxtest::key(Qt::Key_Down);
                    hxtest::key(Qt::Key_Return);
                }
            }
            if (p->isVisible()) {
                pickerStuck = true;
                p->reject();
            }
        });
    }
    // The picker came up with the focus in its list, closed on the user's keys, and the window has the
    // keyboard again.
    // Ctrl+Enter in the process (or worker) cell, and the picker answered as a user would.
    bool pickWithCtrlEnter(const QString& code, Pick how = Pick::Enter) {
        answerPicker(code, how);
        hxtest::key(Qt::Key_Return, Qt::ControlModifier);
        return pickedAsAUser();
    }
    bool pickedAsAUser() {
        return pickerShown && pickerFocused && !pickerStuck &&
               QTest::qWaitFor([this] { return QApplication::activeWindow() == win; }, 2000);
    }

    // ---- bundle tickets

    // An order of style 春装A cut into 40 bundles of 30 (1,200 pieces), with a ticket per bundle for each
    // of the style's processes in production, A101 and A102 (X900 is finished): their codes by process,
    // bundle by bundle.
    QHash<QString, QStringList> ticketsOfAnOrder() {
        const qint64 order = addOrder(cn(), "PO-27", "春装A", yesterday);
        std::vector<qint64> bundles;
        for (const Bundle& b : generateBundles(cn(), order, {{"红", "M", 600}, {"蓝", "L", 600}}, 30))
            bundles.push_back(b.id);
        QHash<QString, QStringList> codes;
        for (const TicketStrip& strip : makeTickets(cn(), bundles))
            for (const TicketLine& t : strip.tickets) codes[t.jobCode] << t.code;
        return codes;
    }
    QLineEdit* scanField() { return child<QLineEdit>("edScan"); }
    // The scan field has the keyboard, empty, ready for the next code.
    bool readyToScan() {
        return QTest::qWaitFor([this] { return QApplication::focusWidget() == scanField(); }, 2000) &&
               scanField()->text().isEmpty();
    }
    // A code as a USB scanner types it into the field that has the focus: its characters, then Enter.
    void scan(const QString& code) {
        hxtest::type(code);
        hxtest::key(Qt::Key_Return);
    }
    // What the page says under the scan field, and whether in red.
    QString scanResult() { return child<QLabel>("lblScanResult")->text(); }
    bool scanResultRed() {
        return child<QLabel>("lblScanResult")->palette().color(QPalette::WindowText) == QColor(192, 0, 0);
    }
    QString scanTotals() {
        return child<QLabel>("dbScanCount")->text() + " | " + child<QLabel>("dbScanQty")->text() + " | " +
               child<QLabel>("dbScanTmy")->text();
    }
    int claimed(const QString& where = "1=1") {
        return cn()
            .scalar("select count(*) from bundleTicket where staffID is not null and " + where)
            .toInt();
    }

  private slots:
    void init() {
        hx::setToday(today);
        fixture = std::make_unique<hxtest::WindowFixture>(QStringLiteral("p"));
        dialogs = &fixture->dialogs;
        dm = &fixture->module;
        const QList<QVariantList> workers = {{"001", "张三", "车缝一组", 0}, {"002", "李四", "车缝一组", 0},
                                             {"003", "王五", QVariant(), 0}, {"004", "赵六", "", 0},
                                             {"005", "孙七", "  ", 0},       {"006", "O'Neil", "车缝二组", 0},
                                             {"009", "周八", "车缝一组", -1}};
        for (const QVariantList& w : workers)
            fixture->addWorker(w[0].toString(), w[1].toString(), {{"ClassGroup", w[2]}, {"Firedd", w[3]}});
        // Keys deliberately out of code order: B201 comes first.
        const QList<QVariantList> jobs = {{"B201", "衬衫B", 0.0525, 0, "衬衫后片"},
                                          {"A101", "春装A", 0.35, 0, "卫衣上领"},
                                          {"A102", "春装A", 0.425, 0, "卫衣下摆"},
                                          {"C301", QVariant(), 0.3333, 0, QVariant()},
                                          {"C302", "", 1.2, 0, ""},
                                          {"X900", "春装A", 0.5, -1, "卫衣下摆"}};
        for (const QVariantList& j : jobs)
            fixture->addProcess(
                j[0].toString(),
                {{"StyleGroup", j[1]}, {"UnitPrice", j[2]}, {"stopp", j[3]}, {"Description", j[4]}});
        addRecord(yesterday, "001", "A101", 10);
        addRecord(yesterday, "001", "B201", 20);
        addRecord(yesterday, "002", "A101", 5);
        addRecord(yesterday.addDays(-1), "001", "C301", 3);
        addRecord(yesterday.addDays(-40), "003", "C301", 7);
    }
    void cleanup() {
        dm = nullptr;
        HX_FINISH_FIXTURE(fixture);
    }

    // ---- journeys: keys and clicks go where the user's go, with the cell editor open as in real use

    void aWorkersDayByKeyboardWithThePicker() {
        QVERIFY(openWindow());
        TMyDBGrid* g = grid("grdStaffData");
        chooseWorker("001 ");
        QCOMPARE(tdMain()->recordCount(), 2);
        QVERIFY(tabInto(g));
        hxtest::key(Qt::Key_Right);
        QVERIFY(editingAt(g, 0, 1));

        // The down arrow on the last row adds a row, and what is typed next is that row's.
        hxtest::key(Qt::Key_Down);
        hxtest::key(Qt::Key_Down);
        QVERIFY(editingAt(g, 2, 1));
        QCOMPARE(tdMain()->recordCount(), 3);
        hxtest::type("5");
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        // A code typed into the process cell, which only the picker fills, leaves the row where it is.
        hxtest::type("A1");
        QCOMPARE(g->currentIndex(), at(g, 2, 0));
        QCOMPARE(tdMain()->state(), DataSetState::Insert);
        QVERIFY(dialogs->lastKind().isEmpty());
        QVERIFY(pickWithCtrlEnter("C302"));
        QCOMPARE(pickerRows, QStringList({"A101", "A102", "B201", "C301", "C302"}));
        QCOMPARE(pickerTexts, QStringList({"A101  卫衣上领  0.3500", "A102  卫衣下摆  0.4250",
                                           "B201  衬衫后片  0.0525", "C301  0.3333", "C302  1.2000"}));
        QCOMPARE(cell(g, 2, 0), QStringLiteral("C302"));
        QCOMPARE(cell(g, 2, 3), QStringLiteral("¥6.00"));
        hxtest::key(Qt::Key_Up);
        QCOMPARE(records(), initialAnd({"y 001 C302 5"}));

        // Picked first (a double click in the picker), the quantity typed, the down arrow: stored with it.
        hxtest::key(Qt::Key_Down);
        hxtest::key(Qt::Key_Down);
        QCOMPARE(tdMain()->recordCount(), 4);
        QCOMPARE(g->currentIndex(), at(g, 3, 0));
        QVERIFY(pickWithCtrlEnter("A102", Pick::DoubleClick));
        hxtest::key(Qt::Key_Tab);
        QVERIFY(editingAt(g, 3, 1));
        hxtest::type("7");
        hxtest::key(Qt::Key_Down);
        QCOMPARE(records(), initialAnd({"y 001 C302 5", "y 001 A102 7"}));
        QVERIFY(editingAt(g, 4, 1));

        // The cell button, then Enter and a click on another row.
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        answerPicker("C301");
        clickButton(g, 4, 0);
        QVERIFY(pickedAsAUser());
        hxtest::key(Qt::Key_Tab);
        hxtest::type("3");
        hxtest::key(Qt::Key_Return);
        hxtest::clickCell(g, 0, 1);
        QCOMPARE(records(), initialAnd({"y 001 C302 5", "y 001 A102 7", "y 001 C301 3"}));

        // Tab out of the last cell stores the row and goes on to a new one. The process is found by
        // typing part of its description in the picker.
        QVERIFY(hxtest::enterCell(g, 4, 1));
        hxtest::key(Qt::Key_Down);
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(pickWithCtrlEnter("后片", Pick::Type));
        hxtest::key(Qt::Key_Tab);
        hxtest::type("4");
        hxtest::key(Qt::Key_Tab);
        hxtest::key(Qt::Key_Tab);
        hxtest::key(Qt::Key_Tab);
        QCOMPARE(g->currentIndex(), at(g, 6, 0));
        QCOMPARE(records(), initialAnd({"y 001 C302 5", "y 001 A102 7", "y 001 C301 3", "y 001 B201 4"}));
        // The untouched new row goes when the clerk turns to the worker box.
        QTest::mouseClick(box("cbbStaff")->lineEdit(), Qt::LeftButton);
        hxtest::settle();
        QCOMPARE(tdMain()->recordCount(), 6);
        QCOMPARE(dialogs->beeps, 0);
        QCOMPARE(totals("Staff"), QStringLiteral("49 | ¥14.73"));
    }

    void aProcessesCountsForThreeWorkersCorrectOneDeleteOne() {
        QVERIFY(openWindow());
        showPage(1);
        TMyDBGrid* g = grid("grdJobData");
        chooseProcess("A101");
        QCOMPARE(win->currentJobID(), id("job", "A101"));
        QCOMPARE(tdMain()->recordCount(), 2);
        QVERIFY(tabInto(g));
        hxtest::key(Qt::Key_Right);
        hxtest::key(Qt::Key_Down);
        hxtest::key(Qt::Key_Down);
        QVERIFY(editingAt(g, 2, 1));
        // Three workers: by Ctrl+Enter, by the cell button with a double click, by Ctrl+Enter again.
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(pickWithCtrlEnter("003"));
        QCOMPARE(pickerRows.size(), 6);
        hxtest::key(Qt::Key_Tab);
        hxtest::type("4");
        hxtest::key(Qt::Key_Down);
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        answerPicker("004", Pick::DoubleClick);
        clickButton(g, 3, 0);
        QVERIFY(pickedAsAUser());
        hxtest::key(Qt::Key_Tab);
        hxtest::type("6");
        hxtest::key(Qt::Key_Down);
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(pickWithCtrlEnter("006"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type("2");
        hxtest::key(Qt::Key_Up);
        QCOMPARE(records(), initialAnd({"y 003 A101 4", "y 004 A101 6", "y 006 A101 2"}));

        // The clerk corrects one count and deletes a row entered by mistake.
        const int zhao = int(column(g, 0).indexOf(QRegularExpression("^004 .*")));
        QVERIFY(hxtest::typeOver(g, zhao, 1, "9"));
        hxtest::key(Qt::Key_Up);
        const int oneil = int(column(g, 0).indexOf(QRegularExpression("^006 .*")));
        QVERIFY(hxtest::enterCell(g, oneil, 1));
        dialogs->answer(Answer::Ok);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(dialogs->texts(), QStringList({"Delete record?"}));
        QCOMPARE(records(), initialAnd({"y 003 A101 4", "y 004 A101 9"}));
        QCOMPARE(tdMain()->recordCount(), 4);
        QCOMPARE(totals("Job"), QStringLiteral("28 | ¥9.80"));
        QCOMPARE(dialogs->beeps, 0);
    }

    void aCountBeyondADaysPiecesIsRefusedAsItIsTyped() {
        QVERIFY(openWindow());
        showPage(1);
        TMyDBGrid* g = grid("grdJobData");
        chooseProcess("A101");
        const QStringList before = records();
        QVERIFY(hxtest::enterCell(g, 0, 1));
        const QString shown = g->model()->index(0, 1).data().toString();
        hxtest::key(Qt::Key_A, Qt::ControlModifier);
        hxtest::type("9999999999999999");
        hxtest::key(Qt::Key_Down);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QVERIFY2(dialogs->lastText().contains(QStringLiteral("“数量”不能超过 1000000 件")),
                 qPrintable(dialogs->lastText()));
        // Nothing stored, and the cell shows what is stored, not what was typed.
        QCOMPARE(records(), before);
        QCOMPARE(g->model()->index(0, 1).data().toString(), shown);
        QVERIFY(!g->model()->index(0, 2).data().toString().contains(QStringLiteral("320,325")));
        // The bound itself is a count.
        QVERIFY(hxtest::typeOver(g, 0, 1, "1000000"));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(cn().scalar("select count(*) from JobData where qty = 1000000").toInt(), 1);
    }

    void escapeAndCtrlDeleteWhileACellIsEdited() {
        QVERIFY(openWindow());
        TMyDBGrid* g = grid("grdStaffData");
        chooseWorker("001 ");
        // Esc in the editor of a new row, picked and typed: the row goes, nothing is stored.
        QVERIFY(hxtest::enterCell(g, 1, 1));
        hxtest::key(Qt::Key_Down);
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(pickWithCtrlEnter("C302"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type("8");
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(tdMain()->recordCount(), 2);
        QCOMPARE(tdMain()->state(), DataSetState::Browse);
        // Esc in the editor of a stored row: it shows and keeps what it held.
        const int a101 = int(column(g, 0).indexOf("A101"));
        QVERIFY(hxtest::typeOver(g, a101, 1, "99"));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(cell(g, a101, 1), QStringLiteral("10"));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(records(), initial);

        // Ctrl+Delete in the editor asks first; Cancel keeps the row, OK deletes it and the totals follow.
        QVERIFY(hxtest::enterCell(g, a101, 1));
        hxtest::type("1");
        dialogs->answer(Answer::Cancel);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(records(), initial);
        dialogs->answer(Answer::Ok);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(dialogs->texts(), QStringList({"Delete record?", "Delete record?"}));
        QCOMPARE(records(), sorted({"y-40 003 C301 7", "y-1 001 C301 3", "y 001 B201 20", "y 002 A101 5"}));
        QCOMPARE(totals("Staff"), QStringLiteral("20 | ¥1.05"));
        QCOMPARE(dialogs->beeps, 0);
    }

    // A refused row stays in the grid as typed, its cell current, until it is corrected and left (then
    // stored) or dropped with Esc; each time one warning says why.
    void refusedRowsStayWithTheirReasonUntilCorrectedOrDropped() {
        QVERIFY(openWindow());
        TMyDBGrid* g = grid("grdStaffData");
        chooseWorker("001 ");
        const auto refused = [&](const QString& reason, int column) {
            return dialogs->lastKind() == QLatin1String("warning") && dialogs->lastReason() == reason &&
                   tdMain()->state() == DataSetState::Insert && tdMain()->recordCount() == 3 &&
                   editingAt(g, 2, column);
        };
        // "TY-01" typed into 数量 of a new row, the cell a click did not leave.
        QVERIFY(hxtest::enterCell(g, 1, 1));
        hxtest::key(Qt::Key_Down);
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(pickWithCtrlEnter("C302"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type("TY-01");
        hxtest::key(Qt::Key_Up);
        QCOMPARE(dialogs->beeps, 1);
        QVERIFY(refused(QStringLiteral("“数量”必须是整数"), 1));
        QCOMPARE(cell(g, 2, 1), QStringLiteral("TY-01"));
        QCOMPARE(cell(g, 2, 0), QStringLiteral("C302"));
        // Neither another row nor another day takes the clerk off it.
        hxtest::clickCell(g, 0, 1);
        QVERIFY(refused(QStringLiteral("“数量”必须是整数"), 1));
        auto* day = child<QDateEdit>("cbbDateStaff");
        QTest::mouseClick(day->findChild<QLineEdit*>(), Qt::LeftButton);
        hxtest::settle();
        hxtest::key(Qt::Key_Up);
        QVERIFY(refused(QStringLiteral("“数量”必须是整数"), 1));
        QCOMPARE(day->date(), yesterday);
        showPage(1);  // nor another page
        QCOMPARE(pages()->currentIndex(), 0);
        QVERIFY(refused(QStringLiteral("“数量”必须是整数"), 1));
        QCOMPARE(dialogs->beeps, 4);
        QCOMPARE(records(), initial);
        // Corrected, it is stored as it is left, and the totals follow.
        hxtest::key(Qt::Key_A, Qt::ControlModifier);
        hxtest::type("12");
        hxtest::key(Qt::Key_Up);
        QCOMPARE(records(), initialAnd({"y 001 C302 12"}));
        QCOMPARE(totals("Staff"), QStringLiteral("42 | ¥18.95"));

        // The same record again: the quantity is the cell to change.
        QVERIFY(hxtest::enterCell(g, 2, 1));
        hxtest::key(Qt::Key_Down);
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(pickWithCtrlEnter("A101"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type("10");
        hxtest::key(Qt::Key_Up);
        QCOMPARE(dialogs->lastReason(), QStringLiteral("已经有一条完全相同的记录"));
        QVERIFY(editingAt(g, 3, 1));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(tdMain()->recordCount(), 3);
        // A process and no quantity; a quantity and no process: Esc drops either.
        QVERIFY(hxtest::enterCell(g, 2, 1));
        hxtest::key(Qt::Key_Down);
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(pickWithCtrlEnter("C302"));
        hxtest::key(Qt::Key_Up);
        QCOMPARE(dialogs->lastReason(), QStringLiteral("“数量”必须填写"));
        QVERIFY(editingAt(g, 3, 1));
        hxtest::key(Qt::Key_Escape);
        hxtest::key(Qt::Key_Down);
        hxtest::type("12");
        hxtest::key(Qt::Key_Up);
        QCOMPARE(dialogs->lastReason(), QStringLiteral("“工序”必须填写"));
        QCOMPARE(g->currentIndex(), at(g, 3, 0));  // the picker's cell: Ctrl+Enter picks the process
        hxtest::key(Qt::Key_Escape);
        // A stored row given a quantity that is no number gets its own back with Esc.
        QVERIFY(hxtest::typeOver(g, 0, 1, "x"));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(dialogs->lastReason(), QStringLiteral("“数量”必须是整数"));
        QCOMPARE(tdMain()->state(), DataSetState::Edit);
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(tdMain()->state(), DataSetState::Browse);
        QCOMPARE(dialogs->beeps, 8);
        QCOMPARE(dialogs->texts().size(), 8);
        QCOMPARE(sorted(column(g, 1)), QStringList({"10", "12", "20"}));
        QCOMPARE(records(), initialAnd({"y 001 C302 12"}));
        QCOMPARE(totals("Staff"), QStringLiteral("42 | ¥18.95"));
    }

    void aRecordChangedElsewhereIsNeverWrittenOver() {
        // Another copy of the program has the account set open too. It deletes the record shown last and
        // stores another worker's in its place.
        addRecord(yesterday, "001", "C302", 2);
        QVERIFY(openWindow());
        TMyDBGrid* g = grid("grdStaffData");
        chooseWorker("001 ");
        const int c302 = int(column(g, 0).indexOf("C302"));
        QCOMPARE(
            cn().exec("delete from JobData where dateD=? and qty=2 and jobID=(select JobID from job where "
                      "JobCode='C302') and staffID=(select staffID from staff where StaffCode='001')",
                      {yesterday}),
            1);
        addRecord(yesterday, "002", "C302", 9);
        const QStringList elsewhere = initialAnd({"y 002 C302 9"});

        // The clerk corrects the quantity he sees: the other worker's record is not touched.
        QVERIFY(hxtest::typeOver(g, c302, 1, "3"));
        hxtest::clickCell(g, c302 == 0 ? 1 : 0, 1);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
        QVERIFY(dialogs->lastText().startsWith(hxtest::rowChangedText()));
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(records(), elsewhere);
        QCOMPARE(tdMain()->state(), DataSetState::Edit);
        // Nor does deleting it delete the other's: the row that is gone leaves the list.
        QVERIFY(hxtest::enterCell(g, c302, 1));
        const int shown = tdMain()->recordCount();
        dialogs->answer(Answer::Ok);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(dialogs->lastText(), hxtest::rowChangedText());
        QCOMPARE(records(), elsewhere);
        QCOMPARE(tdMain()->recordCount(), shown - 1);
    }

    // Two clerks at two desks store records of the same worker's day: both land, each desk's list
    // keeps what it shows, and a record the other desk stored first is refused to either in the same
    // words, the row typed staying to be corrected.
    void twoDesksStoreTheSameDaysRecords() {
        Connection desk;
        hxtest::openAgain(desk, cn());
        DataSet other(&desk);
        setQuery(other, pieceRecords(PieceFilter::workerDay(yesterday, id("staff", "001"))));
        other.open();
        QCOMPARE(other.recordCount(), 2);
        const auto storeThere = [&](const QString& process, int qty) {
            other.append();
            other.setValue("dateD", yesterday);
            other.setValue("staffID", qint64(id("staff", "001")));
            other.setValue("jobID", qint64(id("job", process)));
            other.setValue("qty", qty);
            try {
                other.post();
                return QStringLiteral("stored");
            } catch (const Error& e) {
                other.cancel();
                return e.message();
            }
        };
        QVERIFY(openWindow());
        TMyDBGrid* g = grid("grdStaffData");
        chooseWorker("001 ");
        QCOMPARE(storeThere("C302", 4), QStringLiteral("stored"));

        // This desk's clerk adds a record to the list he has open.
        QVERIFY(tabInto(g));
        hxtest::key(Qt::Key_Right);
        hxtest::key(Qt::Key_Down);
        hxtest::key(Qt::Key_Down);
        QVERIFY(editingAt(g, 2, 1));
        hxtest::type("3");
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(pickWithCtrlEnter("C301"));
        hxtest::key(Qt::Key_Up);
        QCOMPARE(records(), initialAnd({"y 001 C302 4", "y 001 C301 3"}));
        QCOMPARE(dialogs->beeps, 0);

        // Then the one the other desk stored.
        QVERIFY(hxtest::enterCell(g, 2, 1));
        hxtest::key(Qt::Key_Down);
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(pickWithCtrlEnter("C302"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type("4");
        hxtest::key(Qt::Key_Up);
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(dialogs->lastReason(), QStringLiteral("已经有一条完全相同的记录"));
        QVERIFY(editingAt(g, 3, 1));
        QCOMPARE(cell(g, 3, 0), QStringLiteral("C302"));
        QCOMPARE(tdMain()->state(), DataSetState::Insert);
        // The other desk is refused this desk's record in the same words.
        QCOMPARE(storeThere("C301", 3), QStringLiteral("已经有一条完全相同的记录"));
        // Corrected, the clerk's row lands beside the other desk's.
        hxtest::key(Qt::Key_A, Qt::ControlModifier);
        hxtest::type("5");
        hxtest::key(Qt::Key_Up);
        QCOMPARE(records(), initialAnd({"y 001 C302 4", "y 001 C301 3", "y 001 C302 5"}));
        QCOMPARE(tdMain()->state(), DataSetState::Browse);
        other.requery();
        QCOMPARE(other.recordCount(), 5);
        QCOMPARE(dialogs->beeps, 1);
    }

    void queryPageEditsByKeyboardAndTheTotalsFollow() {
        QVERIFY(openWindow());
        showPage(2);
        TMyDBGrid* q = grid("grdQuery");
        QTest::mouseClick(child<QToolButton>("btnApply"), Qt::LeftButton);
        QCOMPARE(tdMain()->recordCount(), 4);
        QCOMPARE(totals("Query"), QStringLiteral("38 | ¥7.30"));
        // The editor opens when typing starts, and the down arrow stores the row.
        const int li = int(column(q, 3).indexOf("5"));  // 002, A101
        hxtest::clickCell(q, li, 3);
        QVERIFY(!hxtest::editing(q));
        hxtest::type("6");
        QVERIFY(hxtest::editing(q));
        hxtest::key(Qt::Key_Up);
        QCOMPARE(totals("Query"), QStringLiteral("39 | ¥7.65"));
        // Another worker for the record, from the picker of every current worker.
        hxtest::clickCell(q, li, 1);
        QVERIFY(pickWithCtrlEnter("006"));
        QCOMPARE(pickerRows.size(), 6);
        hxtest::key(Qt::Key_Down);
        QStringList expected =
            sorted({"y-40 003 C301 7", "y-1 001 C301 3", "y 001 A101 10", "y 001 B201 20", "y 006 A101 6"});
        QCOMPARE(records(), expected);

        // A new row below the last, every value given here: quantity, process, worker, date.
        hxtest::clickCell(q, 3, 3);
        hxtest::key(Qt::Key_Down);
        QCOMPARE(tdMain()->state(), DataSetState::Insert);
        QCOMPARE(q->currentIndex(), at(q, 4, 3));
        hxtest::type("4");
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(pickWithCtrlEnter("C302"));
        QCOMPARE(pickerRows.size(), 5);
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(pickWithCtrlEnter("005", Pick::DoubleClick));
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        hxtest::type(yesterday.addDays(-4).toString(Qt::ISODate));
        hxtest::key(Qt::Key_Up);
        expected = sorted(expected + QStringList{"y-4 005 C302 4"});
        QCOMPARE(records(), expected);
        QCOMPARE(totals("Query"), QStringLiteral("43 | ¥12.45"));

        // A row with nothing but a quantity is refused and dropped with Esc; Ctrl+Delete in an open editor
        // deletes after asking.
        hxtest::clickCell(q, 4, 3);
        hxtest::key(Qt::Key_Down);
        hxtest::type("5");
        hxtest::key(Qt::Key_Up);
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(dialogs->lastReason(), QStringLiteral("“日期”必须填写"));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(records(), expected);
        dialogs->reset();
        const int first = int(column(q, 3).indexOf("10"));
        hxtest::clickCell(q, first, 3);
        hxtest::type("1");
        QVERIFY(hxtest::editing(q));
        dialogs->answer(Answer::Ok);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(dialogs->texts(), QStringList({"Delete record?"}));
        expected.removeOne("y 001 A101 10");
        QCOMPARE(records(), expected);
        QCOMPARE(totals("Query"), QStringLiteral("33 | ¥8.95"));
    }

    // ---- scanning bundle tickets

    // Three workers scan 60 tickets of an order of 1,200 pieces in 40 bundles through the scan page, as a
    // USB scanner types them: each worker's badge, then the tickets. A ticket scanned twice is refused and
    // told in red, nothing stored; one scan is undone from the list. The month's salary sheet pays each
    // worker the pieces of the tickets that are theirs at the piece rates.
    void threeWorkersScanAnOrdersTicketsIntoTheMonthsPay() {
        cn().exec("delete from JobData");
        cn().exec("update staff set salaryDay = 10");
        const QHash<QString, QStringList> codes = ticketsOfAnOrder();
        QCOMPARE(codes["A101"].size(), 40);
        QCOMPARE(codes["A102"].size(), 40);
        QVERIFY(openWindow());
        // The query page lists today's records before any scan.
        showPage(2);
        child<QDateEdit>("conDateE")->setDate(today);
        QTest::mouseClick(child<QToolButton>("btnApply"), Qt::LeftButton);
        QCOMPARE(tdMain()->recordCount(), 0);

        showPage(3);
        QCOMPARE(pages()->tabText(3), QStringLiteral("扫描菲票"));
        QCOMPARE(child<QDateEdit>("cbbDateScan")->date(), today);
        QVERIFY(readyToScan());
        // A ticket before any worker, an unknown code, a dismissed worker's badge.
        const QStringList refusals = {"请先选择员工（或扫描员工工牌）。",
                                      "“12345”既不是菲票号，也不是员工工号，请核对后重新输入。",
                                      "员工 009 周八 已辞退，不能再计件。"};
        int beeps = 0;
        for (const QString& code : {codes["A101"][0], QString("12345"), QString("009")}) {
            scan(code);
            QCOMPARE(dialogs->beeps, ++beeps);
            QCOMPARE(scanResult(), refusals[beeps - 1]);
            QVERIFY(scanResultRed());
            QVERIFY(readyToScan());
        }
        QCOMPARE(win->findChild<TicketScanPage*>()->currentStaffID(), 0);
        QCOMPARE(count() + claimed(), 0);

        // Each worker's badge, then 20 tickets: every seventh typed by hand as printed, in groups.
        const QStringList workers = {"001", "002", "003"};
        for (int i = 0; i < 60; ++i) {
            if (i % 20 == 0) {
                scan(workers[i / 20]);
                QCOMPARE(box("cbbScanStaff")->currentText().section(' ', 0, 0), workers[i / 20]);
                QVERIFY(!scanResultRed());
                QCOMPARE(grid("grdScan")->model()->rowCount(), 0);
            }
            const QString code = i < 40 ? codes["A101"][i] : codes["A102"][i - 40];
            scan(i % 7 == 3 ? code.left(3) + " " + code.mid(3, 3) + "-" + code.mid(6) : code);
            QVERIFY2(!scanResultRed(), qPrintable(scanResult()));
            QCOMPARE(grid("grdScan")->model()->rowCount(), i % 20 + 1);
        }
        QCOMPARE(dialogs->beeps, 3);
        QVERIFY(readyToScan());
        QCOMPARE(
            scanResult(),
            QStringLiteral(
                "已计入：生产单 PO-27 第 20 扎 红 M，工序 A102 卫衣下摆，30 件（当天该工序共 600 件）。"));
        // The last scanned is current; the running totals are those of the worker's day.
        TMyDBGrid* list = grid("grdScan");
        QCOMPARE(list->currentIndex().row(), 19);
        QCOMPARE(cell(list, 19, 0), codes["A102"][19]);
        QCOMPARE(QStringList({cell(list, 19, 1), cell(list, 19, 2), cell(list, 19, 5), cell(list, 19, 7),
                              cell(list, 19, 8), cell(list, 19, 9)}),
                 QStringList({"PO-27", "20", "A102", "30", "0.4250", "¥12.75"}));
        QCOMPARE(scanTotals(), QStringLiteral("20 | 600 | ¥255.00"));

        // A ticket of 001 scanned again for 003: refused with who and when, nothing stored.
        const QString paid = hxtest::rowsText(cn(), "bundleTicket", "ticketID", {"code", "staffID", "dateD"},
                                              "staffID is not null");
        scan(codes["A101"][5]);
        QCOMPARE(dialogs->beeps, 4);
        QCOMPARE(scanResult(), QStringLiteral("该菲票已于 2026-09-15 由 001 张三 扫描"));
        QVERIFY(scanResultRed());
        // A code with one digit mistyped is no ticket.
        QString typo = codes["A101"][6];
        typo[2] = typo[2] == '5' ? '6' : '5';
        scan(typo);
        QCOMPARE(dialogs->beeps, 5);
        QCOMPARE(scanResult(), "没有菲票号为“" + typo + "”的菲票，请核对后重新输入。");
        QCOMPARE(list->model()->rowCount(), 20);
        QCOMPARE(hxtest::rowsText(cn(), "bundleTicket", "ticketID", {"code", "staffID", "dateD"},
                                  "staffID is not null"),
                 paid);
        QVERIFY(readyToScan());

        // 001's list: the fourth scan undone from the list, asked first (No keeps it).
        scan("001");
        QCOMPARE(list->model()->rowCount(), 20);
        hxtest::clickCell(list, 3, 0);
        QCOMPARE(cell(list, 3, 0), codes["A101"][3]);
        dialogs->answer(Answer::No);
        QTest::mouseClick(child<QToolButton>("btnUndoScan"), Qt::LeftButton);
        QVERIFY(dialogs->lastText().startsWith("撤销菲票 " + codes["A101"][3] + " 的扫描吗？"));
        QCOMPARE(claimed(), 60);
        dialogs->answer(Answer::Yes);
        QVERIFY(hxtest::useMenu(list, 3, 0, QStringLiteral("撤销扫描")));
        QCOMPARE(claimed(), 59);
        QCOMPARE(claimed(QString("code = '%1'").arg(codes["A101"][3])), 0);
        QCOMPARE(list->model()->rowCount(), 19);
        QCOMPARE(scanTotals(), QStringLiteral("19 | 570 | ¥199.50"));
        QVERIFY(readyToScan());
        QCOMPARE(dialogs->beeps, 5);

        // One record per worker, process and day, holding the tickets' pieces; the query page shows them
        // when it is shown again.
        const QString sql =
            "select s.StaffCode || ' ' || j.JobCode || ' ' || cast(d.qty as varchar(20)) from "
            "JobData d join staff s on s.staffID = d.staffID join job j on j.JobID = d.jobID "
            "where d.dateD = ? order by s.StaffCode";
        QStringList stored;
        for (PreparedStatement q(cn(), sql, {today}); q.next();) stored << q.text(0);
        QCOMPARE(stored, QStringList({"001 A101 570", "002 A101 600", "003 A102 600"}));
        showPage(2);
        QCOMPARE(tdMain()->recordCount(), 3);
        QCOMPARE(totals("Query"), QStringLiteral("1770 | ¥664.50"));

        // The month's salary sheet: each 计件工资 is the worker's tickets' pieces times the piece rates.
        fixture->copyBaseMonth(2026, 9);
        QCOMPARE(generateSalarySheet(cn(), {2026, 9, 10}, QDate(2026, 9, 1), QDate(2026, 9, 30)), 6);
        QHash<QString, Money> expected;
        for (PreparedStatement q(cn(),
                                 "select s.StaffCode, t.qty, j.UnitPrice from bundleTicket t join job j on "
                                 "j.JobID = t.jobID join staff s on s.staffID = t.staffID");
             q.next();)
            expected[q.text(0)] += Money::fromVariant(q.value(2)) * q.integer(1);
        QCOMPARE(expected.size(), 3);
        for (const QString& w : workers) {
            const QVariant a01 = cn().scalar(
                "select A01 from salaryData where Year = 2026 and Month = 9 and staffCode = ?", {w});
            QCOMPARE(Money::fromVariant(a01), expected[w]);
        }
        QCOMPARE(expected["001"], *Money::parse("199.50"));
    }

    // A record that holds ticket pieces keeps at least their sum and its process, and goes only with its
    // tickets released: the clerk is told why and asked; No keeps the row as typed, Yes releases the
    // tickets with the change.
    void aRecordHoldingTicketsIsChangedOnlyWithItsTicketsReleased() {
        const QHash<QString, QStringList> codes = ticketsOfAnOrder();
        const qint64 zhang = id("staff", "001");
        // 001 yesterday: 10 typed and two A101 tickets (60), one A102 ticket (30).
        for (const QString& code : {codes["A101"][0], codes["A101"][1], codes["A102"][0]})
            QVERIFY(acceptTicket(cn(), code, yesterday, zhang).accepted);
        const QStringList held = initialAnd({"y 001 A102 30"});
        QStringList expected = held;
        expected.replaceInStrings("y 001 A101 10", "y 001 A101 70");
        QVERIFY(openWindow());
        TMyDBGrid* g = grid("grdStaffData");
        chooseWorker("001 ");
        const int a101 = int(column(g, 0).indexOf("A101"));
        const int a102 = int(column(g, 0).indexOf("A102"));
        QCOMPARE(cell(g, a101, 1), QStringLiteral("70"));

        // Below the tickets' 60: refused, kept in edit as typed on No.
        QVERIFY(hxtest::typeOver(g, a101, 1, "59"));
        dialogs->answer(Answer::No);
        hxtest::key(a101 == 0 ? Qt::Key_Down : Qt::Key_Up);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("confirm"));
        QVERIFY2(dialogs->lastText().startsWith("这条计件记录含 2 张菲票扫描的 60 件，数量不能少于 60 件。"),
                 qPrintable(dialogs->lastText()));
        QVERIFY(dialogs->lastText().contains("释放菲票"));
        QCOMPARE(tdMain()->state(), DataSetState::Edit);
        QVERIFY(editingAt(g, a101, 1));
        QCOMPARE(cell(g, a101, 1), QStringLiteral("59"));
        QCOMPARE(records(), expected);
        // Not below them: stored without a question.
        hxtest::key(Qt::Key_A, Qt::ControlModifier);
        hxtest::type("65");
        hxtest::key(a101 == 0 ? Qt::Key_Down : Qt::Key_Up);
        expected.replaceInStrings("y 001 A101 70", "y 001 A101 65");
        QCOMPARE(records(), expected);
        QCOMPARE(dialogs->shown.size(), 1);
        // Nor to another process: the picked one goes back with Esc.
        hxtest::clickCell(g, a101, 0);
        dialogs->answer(Answer::No);
        QVERIFY(pickWithCtrlEnter("C302"));
        hxtest::key(a101 == 0 ? Qt::Key_Down : Qt::Key_Up);
        QVERIFY(dialogs->lastText().contains("不能删除，也不能改到别的日期、员工或工序。"));
        QCOMPARE(g->currentIndex(), at(g, a101, 0));
        QCOMPARE(cell(g, a101, 0), QStringLiteral("C302"));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(cell(g, a101, 0), QStringLiteral("A101"));
        QCOMPARE(records(), expected);
        QCOMPARE(claimed(), 3);

        // Ctrl+Delete on the A102 record: refused on No, not even an error box after it.
        QVERIFY(hxtest::enterCell(g, a102, 1));
        dialogs->answer(Answer::Ok).answer(Answer::No);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(dialogs->shown.size(), 4);
        QCOMPARE(dialogs->shown[2].text, QStringLiteral("Delete record?"));
        QVERIFY(dialogs->lastText().contains("不能删除"));
        QCOMPARE(records(), expected);
        // Yes: the record goes and its ticket can be scanned again.
        dialogs->answer(Answer::Ok).answer(Answer::Yes);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        expected.removeOne("y 001 A102 30");
        QCOMPARE(records(), expected);
        QCOMPARE(claimed(), 2);
        QVERIFY(acceptTicket(cn(), codes["A102"][0], yesterday, id("staff", "002")).accepted);

        // A101 below its tickets again, released this time: stored as typed, both tickets free.
        const int row = int(column(g, 0).indexOf("A101"));
        QVERIFY(hxtest::typeOver(g, row, 1, "40"));
        dialogs->answer(Answer::Yes);
        hxtest::key(row == 0 ? Qt::Key_Down : Qt::Key_Up);
        expected.replaceInStrings("y 001 A101 65", "y 001 A101 40");
        expected = sorted(expected << "y 002 A102 30");
        QCOMPARE(records(), expected);
        QCOMPARE(claimed(), 1);
        QVERIFY(!cn().inTransaction());
        QCOMPARE(totals("Staff"), QStringLiteral("60 | ¥15.05"));
        QCOMPARE(dialogs->beeps, 0);
    }

    // ---- the window

    void opensWithItsListsDatesAndNoView() {
        QVERIFY(openWindow());
        QCOMPARE(win->windowTitle(), QStringLiteral("计件数"));
        QCOMPARE(win->size(), QSize(613, 469));
        QCOMPARE(pages()->currentIndex(), 0);
        QCOMPARE(QStringList({pages()->tabText(0), pages()->tabText(1), pages()->tabText(2)}),
                 QStringList({"按人录入", "按工序录入", "工价金额查询"}));
        QCOMPARE(child<QDateEdit>("cbbDateStaff")->date(), yesterday);
        QCOMPARE(child<QDateEdit>("cbbDateJob")->date(), yesterday);
        QCOMPARE(child<QDateEdit>("conDateB")->date(), today.addDays(-31));
        QCOMPARE(child<QDateEdit>("conDateE")->date(), yesterday);
        auto items = [](QComboBox* b) {
            QStringList all;
            for (int i = 0; i < b->count(); ++i) all << b->itemText(i);
            return all;
        };
        const QStringList current = {"001    张三", "002    李四", "003    王五",
                                     "004    赵六", "005    孙七", "006    O'Neil"};
        QCOMPARE(items(box("cbbStaff")), current);
        QCOMPARE(items(box("conStaff")), current);
        QCOMPARE(items(box("cbbJob")), QStringList({"A101", "A102", "B201", "C301", "C302"}));
        QCOMPARE(items(box("conJob")), items(box("cbbJob")));
        QCOMPARE(items(box("cbbStyleLimit")), QStringList({"春装A", "衬衫B"}));
        QCOMPARE(items(box("cbbGroupLimit")), QStringList({"  ", "车缝一组", "车缝二组"}));
        QVERIFY(box("cbbStaff")->currentText().isEmpty());
        QVERIFY(box("cbbStyleLimit")->isHidden());
        child<QCheckBox>("chkStyleLimit")->click();
        QVERIFY(!box("cbbStyleLimit")->isHidden());
        child<QCheckBox>("chkStyleLimit")->click();
        QVERIFY(box("cbbStyleLimit")->isHidden());

        QCOMPARE(grid("grdStaffData")->columnWidth(0), 216);
        QCOMPARE(grid("grdJobData")->columnTitle(0), QStringLiteral("工号姓名"));
        QStringList query;
        for (int c = 0; c < 6; ++c) query << grid("grdQuery")->columnTitle(c);
        QCOMPARE(query, QStringList({"日期", "工号姓名", "工序", "数量", "工价", "金额"}));
        QStringList menu;
        for (QAction* a : child<QMenu>("PopupMenu1")->actions()) menu << (a->isSeparator() ? "-" : a->text());
        QCOMPARE(menu, QStringList({"排序", "-", "删除", "-", "导出到电子表格...", "从电子表格导入..."}));

        // No view yet: the picker keys do nothing; sorting meets the closed list.
        QVERIFY(!tdMain()->isOpen());
        QTest::mouseClick(grid("grdStaffData")->viewport(), Qt::LeftButton);
        hxtest::settle();
        answerPicker("A101");
        hxtest::key(Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(!pickerShown);
        child<QAction>("poSort")->trigger();
        QCOMPARE(dialogs->lastText(), QStringLiteral("Cannot perform this operation on a closed dataset"));
        // A click on a title there sorts nothing and says nothing.
        const int shown = int(dialogs->shown.size());
        hxtest::clickTitle(grid("grdStaffData"), 1);
        QCOMPARE(dialogs->shown.size(), shown);
    }

    void helpFollowsThePageShown() {
        QVERIFY(openWindow());
        helpProc();
        QCOMPARE(dialogs->lastKind(), QStringLiteral("information"));
        QVERIFY(dialogs->lastText().startsWith(
            "1.  选择”员工“条件后，才可以录入数据。\n\n2.  工序栏中按[Alt]+[Enter]键"));
        showPage(1);
        helpProc();
        QVERIFY(dialogs->lastText().contains(
            "3.  点选“选择员工时限制班组“并选择一个具体班组，弹\n出窗口中将只列出"));
        showPage(2);
        helpProc();
        QCOMPARE(
            dialogs->lastText(),
            QStringLiteral("1.  员工及工序条件为空，视为不限条件。\n\n2.  选好条件后，点击最右边“OK”按钮，"
                           "将列出对应数据。\n\n\n*"
                           "录入或修改时注意：每行数据必须完整且不可完全重复，否则操作会被取消。"));

        // Coming back to the window installs the by-worker help again, whichever page is shown.
        showPage(1);
        QWidget other;
        other.resize(200, 100);
        QVERIFY(hxtest::showActive(&other));
        QVERIFY(hxtest::showActive(win));
        helpProc();
        QCOMPARE(dialogs->lastText(), TjobDataFrm::staffHelpText());
        QCOMPARE(pages()->currentIndex(), 1);
    }
    void aWorkersDayWithPricesAmountsAndTotals() {
        QVERIFY(openWindow());
        TMyDBGrid* g = grid("grdStaffData");
        // The first item of the list, chosen with the down arrow.
        QTest::mouseClick(box("cbbStaff")->lineEdit(), Qt::LeftButton);
        hxtest::key(Qt::Key_Down);
        QCOMPARE(box("cbbStaff")->currentText(), QStringLiteral("001    张三"));
        QCOMPARE(win->currentStaffID(), id("staff", "001"));
        hxtest::clickCell(g, 0, 1);
        child<QAction>("poSort")->trigger();  // by quantity
        QCOMPARE(column(g, 0), QStringList({"A101", "B201"}));
        QCOMPARE(column(g, 1), QStringList({"10", "20"}));
        QCOMPARE(column(g, 2), QStringList({"0.3500", "0.0525"}));
        QCOMPARE(column(g, 3), QStringList({"¥3.50", "¥1.05"}));
        QCOMPARE(totals("Staff"), QStringLiteral("30 | ¥4.55"));
        QCOMPARE(totals("Query"), totals("Staff"));
        // Sorting the process column orders by key (B201 was registered first), not by the text shown;
        // the looked-up price and the amount cannot be sorted.
        hxtest::clickCell(g, 0, 0);
        child<QAction>("poSort")->trigger();
        QCOMPARE(column(g, 0), QStringList({"B201", "A101"}));
        hxtest::clickCell(g, 0, 3);
        child<QAction>("poSort")->trigger();
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QCOMPARE(column(g, 0), QStringList({"B201", "A101"}));
        // A click on a title sorts as the command does.
        hxtest::clickTitle(g, 1);
        QCOMPARE(column(g, 1), QStringList({"10", "20"}));

        // The date reloads for the same worker; a typed work number needs the blank that ends it.
        child<QDateEdit>("cbbDateStaff")->setDate(yesterday.addDays(-1));
        QCOMPARE(column(g, 0), QStringList({"C301"}));
        QCOMPARE(totals("Staff"), QStringLiteral("3 | ¥1.00"));
        chooseWorker("002 ");
        QCOMPARE(win->currentStaffID(), id("staff", "002"));
        QCOMPARE(tdMain()->recordCount(), 0);
        QCOMPARE(totals("Staff"), QStringLiteral(" | "));
        // The box completes "001" to the worker's item; with the completion deleted it names nobody.
        chooseWorker("001");
        QCOMPARE(win->currentStaffID(), id("staff", "001"));
        hxtest::key(Qt::Key_Delete);
        QCOMPARE(box("cbbStaff")->currentText(), QStringLiteral("001"));
        QCOMPARE(win->currentStaffID(), 0);
        QVERIFY(tdMain()->isOpen());
        QCOMPARE(tdMain()->recordCount(), 0);
    }

    void dateChangeWithoutAWorkerLoadsNothing() {
        QVERIFY(openWindow());
        child<QDateEdit>("cbbDateStaff")->setDate(yesterday.addDays(-3));
        child<QDateEdit>("cbbDateJob")->setDate(yesterday.addDays(-3));
        QVERIFY(!tdMain()->isOpen());
    }

    void styleAndGroupLimits() {
        QVERIFY(openWindow());
        chooseWorker("001 ");
        auto pickedRows = [&](TMyDBGrid* g) {
            hxtest::clickCell(g, 0, 0);
            answerPicker(QString(), Pick::Esc);
            hxtest::key(Qt::Key_Return, Qt::ControlModifier);
            if (!pickedAsAUser()) qWarning("the picker did not come up as a user has it");
            return pickerRows;
        };
        child<QCheckBox>("chkStyleLimit")->click();
        QCOMPARE(pickedRows(grid("grdStaffData")), QStringList({"A101", "A102", "B201", "C301", "C302"}));
        box("cbbStyleLimit")->setCurrentText("春装A");
        // The style's processes in production and those without a style (none, empty); never X900.
        QCOMPARE(pickedRows(grid("grdStaffData")), QStringList({"A101", "A102", "C301", "C302"}));
        child<QCheckBox>("chkStyleLimit")->click();
        QCOMPARE(pickedRows(grid("grdStaffData")).size(), 5);

        showPage(1);
        chooseProcess("A101");
        child<QCheckBox>("chkGroupLimit")->click();
        QCOMPARE(pickedRows(grid("grdJobData")).size(), 6);
        box("cbbGroupLimit")->setCurrentText("车缝一组");
        QCOMPARE(pickedRows(grid("grdJobData")), QStringList({"001     张三", "002     李四", "003     王五",
                                                              "004     赵六", "005     孙七"}));
        box("cbbGroupLimit")->setCurrentText("车缝二组");
        QCOMPARE(pickedRows(grid("grdJobData")).last(), QStringLiteral("006     O'Neil"));
        QVERIFY(!pickedRows(grid("grdJobData")).join(",").contains("009"));
        QCOMPARE(records(), initial);
    }

    void anEmptyDayStartsWithThePickerKeys() {
        QVERIFY(openWindow());
        TMyDBGrid* g = grid("grdStaffData");
        child<QDateEdit>("cbbDateStaff")->setDate(yesterday.addDays(-5));
        chooseWorker("002 ");
        QCOMPARE(tdMain()->recordCount(), 0);
        // With no row yet, Ctrl+Enter in the grid adds one with the worker and the day, then the picked
        // process.
        QTest::mouseClick(g->viewport(), Qt::LeftButton);
        hxtest::settle();
        QVERIFY(pickWithCtrlEnter("C302"));
        QCOMPARE(tdMain()->state(), DataSetState::Insert);
        QCOMPARE(cell(g, 0, 0), QStringLiteral("C302"));
        QCOMPARE(cell(g, 0, 2), QStringLiteral("1.2000"));
        hxtest::key(Qt::Key_Tab);
        QVERIFY(editingAt(g, 0, 1));
        hxtest::type("7");
        hxtest::key(Qt::Key_Down);
        QCOMPARE(records(), initialAnd({"y-5 002 C302 7"}));
        QCOMPARE(totals("Staff"), QStringLiteral("7 | ¥8.40"));
        // Alt+Enter, as the help text says, opens the picker as well; Esc there leaves the row as it was.
        hxtest::key(Qt::Key_Up);
        QCOMPARE(tdMain()->recordCount(), 1);
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        answerPicker(QString(), Pick::Esc);
        hxtest::key(Qt::Key_Return, Qt::AltModifier);
        QVERIFY(pickedAsAUser());
        QCOMPARE(cell(g, 0, 0), QStringLiteral("C302"));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(records(), initialAnd({"y-5 002 C302 7"}));
    }

    void aTotalOfAHalfCentShowsAsTheAmountsDo() {
        QVERIFY(openWindow());
        TMyDBGrid* g = grid("grdStaffData");
        chooseWorker("004 ");
        QTest::mouseClick(g->viewport(), Qt::LeftButton);
        hxtest::settle();
        QVERIFY(pickWithCtrlEnter("B201"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type("10");
        hxtest::key(Qt::Key_Down);
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(pickWithCtrlEnter("A101"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type("2");
        hxtest::key(Qt::Key_Up);
        QCOMPARE(records(), initialAnd({"y 004 B201 10", "y 004 A101 2"}));
        // 0.525 + 0.70 = 1.225: rounded half away from zero, in the cells' money format.
        QCOMPARE(column(g, 3), QStringList({"¥0.53", "¥0.70"}));
        QCOMPARE(totals("Staff"), QStringLiteral("12 | ¥1.23"));
        showPage(2);
        box("conStaff")->setEditText("004    赵六");
        QTest::mouseClick(child<QToolButton>("btnApply"), Qt::LeftButton);
        QCOMPARE(totals("Query"), QStringLiteral("12 | ¥1.23"));
    }

    void rowsForNobodyAreRefused() {
        QVERIFY(openWindow());
        TMyDBGrid* g = grid("grdStaffData");
        // A work number without its blank (the completion deleted), or one nobody has: a view of nobody
        // that takes no rows.
        for (const QString& text : {QString("002"), QString("999 ")}) {
            chooseWorker(text);
            hxtest::key(Qt::Key_Delete);
            QCOMPARE(win->currentStaffID(), 0);
            QVERIFY(tdMain()->isOpen());
            QTest::mouseClick(g->viewport(), Qt::LeftButton);
            hxtest::settle();
            hxtest::key(Qt::Key_Down);
            QCOMPARE(dialogs->lastText(), QStringLiteral("请指定员工！"));
            QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
            QCOMPARE(tdMain()->recordCount(), 0);
            QVERIFY(box("cbbStaff")->hasFocus());
        }
        QTest::mouseClick(g->viewport(), Qt::LeftButton);
        hxtest::settle();
        answerPicker("A101");
        hxtest::key(Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(!pickerShown);
        QCOMPARE(dialogs->shown.size(), 3);

        showPage(1);
        chooseProcess("A1");
        hxtest::key(Qt::Key_Delete);
        QTest::mouseClick(grid("grdJobData")->viewport(), Qt::LeftButton);
        hxtest::settle();
        hxtest::key(Qt::Key_Down);
        QCOMPARE(dialogs->lastText(), QStringLiteral("请指定工序！"));
        QCOMPARE(records(), initial);

        // A record stored for nobody by an older program cannot be stored again as it is.
        cn().exec("insert into JobData (dateD, staffID, jobID, qty) values (?, 0, ?, 9)",
                  {yesterday, id("job", "B201")});
        showPage(2);
        QTest::mouseClick(child<QToolButton>("btnApply"), Qt::LeftButton);
        TMyDBGrid* q = grid("grdQuery");
        const int row = int(column(q, 3).indexOf("9"));
        const int other = row == 0 ? 1 : 0;
        QCOMPARE(cell(q, row, 1), QString());
        hxtest::clickCell(q, row, 3);
        hxtest::type("10");
        hxtest::clickCell(q, other, 3);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
        QCOMPARE(dialogs->lastReason(), QStringLiteral("请指定员工！"));
        QCOMPARE(count("staffID=0 and qty=9"), 1);
        // The row stays as typed, on its worker's cell; picking the worker makes it storable.
        QCOMPARE(cell(q, row, 3), QStringLiteral("10"));
        QCOMPARE(q->currentIndex(), at(q, row, 1));
        QVERIFY(pickWithCtrlEnter("003"));
        hxtest::clickCell(q, other, 3);
        QCOMPARE(count(QString("staffID=%1 and qty=10").arg(id("staff", "003"))), 1);
        QCOMPARE(count("staffID=0"), 0);
    }

    void theMenusDeleteAsksItsOwnQuestionAndTheTotalsFollow() {
        QVERIFY(openWindow());
        TMyDBGrid* g = grid("grdStaffData");
        chooseWorker("001 ");
        QVERIFY(hxtest::enterCell(g, int(column(g, 0).indexOf("B201")), 1));
        dialogs->answer(Answer::No);
        child<QAction>("poDelete")->trigger();
        QCOMPARE(dialogs->lastText(), QStringLiteral("确定要删除该条记录吗？"));
        QCOMPARE(records(), initial);
        dialogs->answer(Answer::Yes);
        child<QAction>("poDelete")->trigger();
        QCOMPARE(count(), 4);
        QCOMPARE(count("qty=20"), 0);
        QCOMPARE(column(g, 0), QStringList({"A101"}));
        QCOMPARE(totals("Staff"), QStringLiteral("10 | ¥3.50"));
    }

    void repricedAndDeletedProcesses() {
        cn().exec("delete from job where JobCode='B201'");
        QVERIFY(openWindow());
        TMyDBGrid* g = grid("grdStaffData");
        // The window keeps the prices it read when it opened; the totals read the register.
        cn().exec("update job set UnitPrice=0.4 where JobCode='A101'");
        chooseWorker("001 ");
        const int kept = int(column(g, 0).indexOf("A101"));
        QCOMPARE(cell(g, kept, 2), QStringLiteral("0.3500"));
        QCOMPARE(cell(g, kept, 3), QStringLiteral("¥3.50"));
        // A record whose process is gone: empty cell, no price, amount 0, left out of the totals.
        const int gone = 1 - kept;
        QCOMPARE(QStringList({cell(g, gone, 0), cell(g, gone, 1), cell(g, gone, 2), cell(g, gone, 3)}),
                 QStringList({"", "20", "", "¥0.00"}));
        QCOMPARE(totals("Staff"), QStringLiteral("10 | ¥4.00"));
    }

    void queryWithAndWithoutConditions() {
        QVERIFY(openWindow());
        showPage(2);
        TMyDBGrid* q = grid("grdQuery");
        auto run = [&](const QString& worker, const QString& process) {
            box("conStaff")->setEditText(worker);
            box("conJob")->setEditText(process);
            QTest::mouseClick(child<QToolButton>("btnApply"), Qt::LeftButton);
            return tdMain()->recordCount();
        };
        QCOMPARE(run("", ""), 4);  // the record 41 days back is out of range
        QCOMPARE(totals("Query"), QStringLiteral("38 | ¥7.30"));
        QCOMPARE(run("001    张三", ""), 3);
        QCOMPARE(run("", "A101"), 2);
        QCOMPARE(sorted(column(q, 1)), QStringList({"001      张三", "002      李四"}));
        QCOMPARE(run("001    张三", "A101"), 1);
        QCOMPARE(totals("Query"), QStringLiteral("10 | ¥3.50"));
        QCOMPARE(run("001", ""), 0);  // no blank after the number: nobody
        QCOMPARE(totals("Query"), QStringLiteral(" | "));
        QCOMPARE(run("", "Z"), 0);
        // Both ends are included; a one-day range lists that day.
        child<QDateEdit>("conDateB")->setDate(yesterday.addDays(-1));
        child<QDateEdit>("conDateE")->setDate(yesterday.addDays(-1));
        QCOMPARE(run("", ""), 1);
        QCOMPARE(cell(q, 0, 0), yesterday.addDays(-1).toString(Qt::ISODate));
        child<QDateEdit>("conDateB")->setDate(yesterday.addDays(-41));
        QCOMPARE(run("003 ", "C301"), 1);
        // Only "OK" runs the query: the conditions alone change nothing.
        box("conStaff")->setEditText("");
        QCOMPARE(tdMain()->recordCount(), 1);
    }

    void enteringAnEntryPageStartsAfresh() {
        QVERIFY(openWindow());
        chooseWorker("001 ");
        hxtest::clickCell(grid("grdStaffData"), 0, 1);
        QVERIFY(tdMain()->isOpen());
        // The query page shows what the entry view holds until "OK".
        showPage(2);
        QVERIFY(tabQueryHasFocus());
        QCOMPARE(grid("grdQuery")->model()->rowCount(), 2);
        // Back on the entry page the view and the worker box are cleared; the key stays until a new choice.
        showPage(0);
        QVERIFY(!tdMain()->isOpen());
        QVERIFY(box("cbbStaff")->currentText().isEmpty());
        QCOMPARE(win->currentStaffID(), id("staff", "001"));
        QCOMPARE(totals("Staff"), QStringLiteral(" | "));
        // A picker over the window is no entering: the view stays.
        chooseWorker("002 ");
        hxtest::clickCell(grid("grdStaffData"), 0, 0);
        QVERIFY(pickWithCtrlEnter(QString(), Pick::Esc));
        QVERIFY(tdMain()->isOpen());
        QCOMPARE(box("cbbStaff")->currentText(), QStringLiteral("002    李四"));
    }

    void closingEmptiesTheCaches() {
        QVERIFY(openWindow());
        QVERIFY(dm->cdsMstaff.isOpen());
        QCOMPARE(dm->cdsMjob.recordCount(), 6);
        win->close();
        QVERIFY(!dm->cdsMstaff.isOpen());
        QVERIFY(!dm->cdsMjob.isOpen());
    }

    void exportOfTheQueryPage() {
        QVERIFY(openWindow());
        showPage(2);
        box("conJob")->setEditText("A101");
        QTest::mouseClick(child<QToolButton>("btnApply"), Qt::LeftButton);
        QTemporaryDir out;
        dialogs->chooseFile(out.filePath("q.xlsx"));
        ExportGridToExcel(grid("grdQuery"));
        auto cells = hxtest::readSheet(out.filePath("q.xlsx"));
        QCOMPARE(cells["B1"].value, QStringLiteral("工号姓名"));
        QCOMPARE(cells["F1"].value, QStringLiteral("金额"));
        // Workers and processes as the grid shows them, not the account set's internal keys.
        QCOMPARE(cells["B3"].value, hx::staffCodeOf(int(id("staff", "002"))));
        QVERIFY(cells["B3"].value.startsWith("002"));
        QCOMPARE(cells["C3"].value, QStringLiteral("A101"));
        QCOMPARE(cells["A2"].value, QString::number(QDate(1899, 12, 30).daysTo(yesterday)));
        QCOMPARE(cells["D3"].value, QStringLiteral("5"));
        QCOMPARE(cells["E3"].value, QStringLiteral("0.35"));
        QCOMPARE(cells["F3"].value, QStringLiteral("1.75"));
        // Shown in the file as in the grid: the unit price with four decimals, the amount as money.
        QCOMPARE(cells["E3"].numberFormat, QStringLiteral("0.0000"));
        QCOMPARE(cells["F3"].numberFormat, QStringLiteral("\"¥\"#,##0.00;\"¥\"\\-#,##0.00"));
        QVERIFY(!cells.contains("A4"));

        // An entry page's file holds the page's day and worker, which its grid does not show, so that it
        // can be imported again.
        showPage(0);
        chooseWorker("001 ");
        dialogs->chooseFile(out.filePath("p.xlsx"));
        QVERIFY(hxtest::useMenu(grid("grdStaffData"), 0, 1, hx::exportCommandText()));
        cells = hxtest::readSheet(out.filePath("p.xlsx"));
        QCOMPARE(QStringList({cells["A1"].value, cells["B1"].value, cells["C1"].value}),
                 QStringList({"日期", "工号姓名", "工序"}));
        QCOMPARE(cells["A2"].value, QString::number(QDate(1899, 12, 30).daysTo(yesterday)));
        QCOMPARE(cells["B2"].value, hx::staffCodeOf(int(id("staff", "001"))));
        QCOMPARE(cells.contains("A3"), tdMain()->recordCount() > 1);

        // The file goes back in as it came out.
        win->close();
        QCOMPARE(cn().exec("delete from JobData where jobID = ?", {id("job", "A101")}), 2);
        hx::ImportOptions options;
        options.target = hx::ImportTarget::PieceWork;
        const auto plan = hx::checkImport(cn(), out.filePath("q.xlsx"), options);
        QVERIFY(plan);
        QCOMPARE(plan->refused(), 0);
        QCOMPARE(hx::applyImport(cn(), *plan).added, 2);
        QCOMPARE(records(), initial);
    }

  private:
    bool tabQueryHasFocus() {
        QWidget* f = QApplication::focusWidget();
        return f && child<QWidget>("tabQuery")->isAncestorOf(f);
    }
};

HX_BOTH_ENGINES;
HX_WINDOW_TEST_MAIN(TestJobData)
#include "tst_jobdata.moc"
