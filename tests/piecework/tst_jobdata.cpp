#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include "data/datamodule.h"
#include "data/export.h"
#include "data/mydbgrid.h"
#include "data/myfuns_lists.h"
#include "piecework/jobData.h"
#include "registers/pickobj.h"
#include "shell/session.h"
#include "support/testsupport.h"
#include "support/xlsxreader.h"

using namespace hx;

class TestJobData : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::TempProgramDir> dir;
    std::unique_ptr<hxtest::ScriptedDialogs> dialogs;
    TdataFrm* dm = nullptr;
    QPointer<TjobDataFrm> win;
    const QDate yesterday = QDate::currentDate().addDays(-1);
    QStringList pickerRows;  // what the picker listed at its last showing
    bool pickerShown = false;

    Connection& cn() { return dm->cnMain; }
    int id(const QString& table, const QString& code) {
        return table == "staff" ? cn().scalar("select staffID from staff where StaffCode=?", {code}).toInt()
                                : cn().scalar("select JobID from job where JobCode=?", {code}).toInt();
    }
    void addRecord(const QDate& day, const QString& worker, const QString& process, int qty) {
        cn().exec("insert into JobData (dateD, staffID, jobID, qty) values (?, ?, ?, ?)",
                  {day, id("staff", worker), id("job", process), qty});
    }
    int records(const QString& where = "1=1") {
        return cn().scalar("select count(*) from JobData where " + where).toInt();
    }

    TjobDataFrm* openWindow() {
        win = new TjobDataFrm;
        win->show();
        QApplication::setActiveWindow(win);
        if (!QTest::qWaitForWindowActive(win)) qWarning("window not active");
        return win;
    }
    template <class T>
    T* child(const char* name) {
        T* w = win->findChild<T*>(QLatin1String(name));
        if (!w) qFatal("no %s", name);
        return w;
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
    void chooseWorker(const QString& text) { box("cbbStaff")->setEditText(text); }
    void chooseProcess(const QString& text) { box("cbbJob")->setEditText(text); }
    void key(TMyDBGrid* g, int row, int column, Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        if (row >= 0) g->setCurrentIndex(g->model()->index(row, column));
        QTest::keyClick(g, k, mods);
    }
    void type(TMyDBGrid* g, int row, int column, const QString& text) {
        QVERIFY(g->model()->setData(g->model()->index(row, column), text));
    }
    // Answers the next showing of the picker: notes its rows, then picks the row that begins with `code`,
    // or leaves with Esc when no row does.
    void answerPicker(const QString& code) {
        pickerShown = false;
        QTimer::singleShot(0, this, [this, code] {
            TpickObjFrm* p = pickObjFrm();
            if (!p->isVisible()) return;
            pickerShown = true;
            pickerRows.clear();
            for (int i = 0; i < p->ListCode->count(); ++i) pickerRows << p->ListCode->item(i)->text();
            const int row =
                code.isEmpty() ? -1 : int(pickerRows.indexOf(QRegularExpression("^" + code + "\\b.*")));
            if (row >= 0) p->ListCode->setCurrentRow(row);
            QTest::keyClick(p->ListCode, row >= 0 ? Qt::Key_Return : Qt::Key_Escape);
        });
    }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::TempProgramDir>();
        dialogs = std::make_unique<hxtest::ScriptedDialogs>();
        dm = new TdataFrm;
        setDataFrm(dm);
        cn().open(dir->createAccountSet(QStringLiteral("p")));
        const QList<QVariantList> workers = {{"001", "张三", "车缝一组", 0}, {"002", "李四", "车缝一组", 0},
                                             {"003", "王五", QVariant(), 0}, {"004", "赵六", "", 0},
                                             {"005", "孙七", "  ", 0},       {"006", "O'Neil", "车缝二组", 0},
                                             {"009", "周八", "车缝一组", -1}};
        for (const QVariantList& w : workers)
            cn().exec("insert into staff (StaffCode, StaffName, ClassGroup, Firedd) values (?, ?, ?, ?)", w);
        // Keys deliberately out of code order: B201 comes first.
        const QList<QVariantList> jobs = {{"B201", "衬衫B", 0.0525, 0}, {"A101", "春装A", 0.35, 0},
                                          {"A102", "春装A", 0.425, 0},  {"C301", QVariant(), 0.3333, 0},
                                          {"C302", "", 1.2, 0},         {"X900", "春装A", 0.5, -1}};
        for (const QVariantList& j : jobs)
            cn().exec("insert into job (JobCode, StyleGroup, UnitPrice, stopp) values (?, ?, ?, ?)", j);
        addRecord(yesterday, "001", "A101", 10);
        addRecord(yesterday, "001", "B201", 20);
        addRecord(yesterday, "002", "A101", 5);
        addRecord(yesterday.addDays(-1), "001", "C301", 3);
        addRecord(yesterday.addDays(-40), "003", "C301", 7);
    }
    void cleanup() {
        delete win;
        ClearCaches();
        destroyPickObjFrm();
        setDataFrm(nullptr);
        delete dm;
        HX_VERIFY_DIALOGS(*dialogs);
        dialogs.reset();
        dir.reset();
    }

    void opensWithItsListsDatesAndNoView() {
        openWindow();
        QCOMPARE(win->windowTitle(), QStringLiteral("计件数"));
        QCOMPARE(win->size(), QSize(613, 469));
        QCOMPARE(pages()->currentIndex(), 0);
        QCOMPARE(QStringList({pages()->tabText(0), pages()->tabText(1), pages()->tabText(2)}),
                 QStringList({"按人录入", "按工序录入", "工价金额查询"}));
        QCOMPARE(child<QDateEdit>("cbbDateStaff")->date(), yesterday);
        QCOMPARE(child<QDateEdit>("cbbDateJob")->date(), yesterday);
        QCOMPARE(child<QDateEdit>("conDateB")->date(), QDate::currentDate().addDays(-31));
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
        QCOMPARE(menu, QStringList({"排序", "-", "删除"}));

        // No view yet: the picker button does nothing; sorting meets the closed list.
        QVERIFY(!tdMain()->isOpen());
        answerPicker("A101");
        key(grid("grdStaffData"), -1, 0, Qt::Key_Return, Qt::ControlModifier);
        QCoreApplication::processEvents();
        QVERIFY(!pickerShown);
        child<QAction>("poSort")->trigger();
        QCOMPARE(dialogs->lastText(), QStringLiteral("Cannot perform this operation on a closed dataset"));
    }

    void helpFollowsThePageShown() {
        openWindow();
        helpProc();
        QCOMPARE(dialogs->lastKind(), QStringLiteral("information"));
        QVERIFY(dialogs->lastText().startsWith(
            "1.  选择”员工“条件后，才可以录入数据。\n\n2.  工序栏中按[Alt]+[Enter]键"));
        pages()->setCurrentIndex(1);
        helpProc();
        QVERIFY(dialogs->lastText().contains(
            "3.  点选“选择员工时限制班组“并选择一个具体班组，弹\n出窗口中将只列出"));
        pages()->setCurrentIndex(2);
        helpProc();
        QCOMPARE(
            dialogs->lastText(),
            QStringLiteral("1.  员工及工序条件为空，视为不限条件。\n\n2.  选好条件后，点击最右边“OK”按钮，"
                           "将列出对应数据。\n\n\n*"
                           "录入或修改时注意：每行数据必须完整且不可完全重复，否则操作会被取消。"));
    }

    void aWorkersDayWithPricesAmountsAndTotals() {
        openWindow();
        TMyDBGrid* g = grid("grdStaffData");
        box("cbbStaff")->setCurrentIndex(0);  // "001    张三"
        QCOMPARE(win->currentStaffID(), id("staff", "001"));
        g->setCurrentIndex(g->model()->index(0, 1));
        child<QAction>("poSort")->trigger();  // by quantity
        QCOMPARE(column(g, 0), QStringList({"A101", "B201"}));
        QCOMPARE(column(g, 1), QStringList({"10", "20"}));
        QCOMPARE(column(g, 2), QStringList({"0.3500", "0.0525"}));
        QCOMPARE(column(g, 3), QStringList({"¥3.50", "¥1.05"}));
        QCOMPARE(totals("Staff"), QStringLiteral("30 | 4.55"));
        QCOMPARE(totals("Query"), totals("Staff"));
        // Sorting the process column orders by key (B201 was registered first), not by the text shown;
        // the looked-up price and the amount cannot be sorted.
        g->setCurrentIndex(g->model()->index(0, 0));
        child<QAction>("poSort")->trigger();
        QCOMPARE(column(g, 0), QStringList({"B201", "A101"}));
        g->setCurrentIndex(g->model()->index(0, 3));
        child<QAction>("poSort")->trigger();
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QCOMPARE(column(g, 0), QStringList({"B201", "A101"}));

        // The date reloads for the same worker; a typed work number needs the blank that ends it.
        child<QDateEdit>("cbbDateStaff")->setDate(yesterday.addDays(-1));
        QCOMPARE(column(g, 0), QStringList({"C301"}));
        QCOMPARE(totals("Staff"), QStringLiteral("3 | 0.9999"));
        chooseWorker("002 ");
        QCOMPARE(win->currentStaffID(), id("staff", "002"));
        QCOMPARE(tdMain()->recordCount(), 0);
        QCOMPARE(totals("Staff"), QStringLiteral(" | "));
        chooseWorker("001");
        QCOMPARE(win->currentStaffID(), 0);
        QVERIFY(tdMain()->isOpen());
        QCOMPARE(tdMain()->recordCount(), 0);
    }

    void dateChangeWithoutAWorkerLoadsNothing() {
        openWindow();
        child<QDateEdit>("cbbDateStaff")->setDate(yesterday.addDays(-3));
        child<QDateEdit>("cbbDateJob")->setDate(yesterday.addDays(-3));
        QVERIFY(!tdMain()->isOpen());
    }

    void entryByWorkerThroughThePicker() {
        openWindow();
        TMyDBGrid* g = grid("grdStaffData");
        const QDate day = yesterday.addDays(-5);
        child<QDateEdit>("cbbDateStaff")->setDate(day);
        chooseWorker("002    李四");
        QCOMPARE(tdMain()->recordCount(), 0);

        // On an empty day the button adds a row with the worker and the day, then the picked process.
        answerPicker("C302");
        key(g, -1, 0, Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(pickerShown);
        QCOMPARE(pickerRows, QStringList({"A101", "A102", "B201", "C301", "C302"}));
        QCOMPARE(tdMain()->state(), DataSetState::Insert);
        QCOMPARE(cell(g, 0, 0), QStringLiteral("C302"));
        QCOMPARE(cell(g, 0, 2), QStringLiteral("1.2000"));
        type(g, 0, 1, "7");
        QCOMPARE(cell(g, 0, 3), QStringLiteral("¥8.40"));
        key(g, 0, 1, Qt::Key_Down);  // stores the row, and a new one is added below
        QCOMPARE(records(QString("dateD='%1' and staffID=%2 and jobID=%3 and qty=7")
                             .arg(day.toString(Qt::ISODate))
                             .arg(id("staff", "002"))
                             .arg(id("job", "C302"))),
                 1);
        QCOMPARE(totals("Staff"), QStringLiteral("7 | 8.4"));

        // Alt+Enter opens the picker too; Esc leaves the row as it was.
        key(g, 0, 0, Qt::Key_Up);
        QCOMPARE(tdMain()->recordCount(), 1);
        answerPicker(QString());
        key(g, 0, 0, Qt::Key_Return, Qt::AltModifier);
        QVERIFY(pickerShown);
        QCOMPARE(cell(g, 0, 0), QStringLiteral("C302"));
        // A click on the cell button picks another process for the stored row.
        answerPicker("A102");
        const QRect r = g->visualRect(g->model()->index(0, 0));
        QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, QPoint(r.right() - 4, r.center().y()));
        QVERIFY(pickerShown);
        tdMain()->post();
        QCOMPARE(records(QString("jobID=%1 and qty=7").arg(id("job", "A102"))), 1);
        QCOMPARE(totals("Staff"), QStringLiteral("7 | 2.975"));
    }

    void styleAndGroupLimits() {
        openWindow();
        chooseWorker("001 ");
        auto pickedRows = [&](TMyDBGrid* g) {
            answerPicker(QString());
            key(g, 0, 0, Qt::Key_Return, Qt::ControlModifier);
            return pickerRows;
        };
        child<QCheckBox>("chkStyleLimit")->click();
        QCOMPARE(pickedRows(grid("grdStaffData")), QStringList({"A101", "A102", "B201", "C301", "C302"}));
        box("cbbStyleLimit")->setCurrentText("春装A");
        // The style's processes in production and those without a style (none, empty); never X900.
        QCOMPARE(pickedRows(grid("grdStaffData")), QStringList({"A101", "A102", "C301", "C302"}));
        child<QCheckBox>("chkStyleLimit")->click();
        QCOMPARE(pickedRows(grid("grdStaffData")).size(), 5);

        pages()->setCurrentIndex(1);
        chooseProcess("A101");
        child<QCheckBox>("chkGroupLimit")->click();
        QCOMPARE(pickedRows(grid("grdJobData")).size(), 6);
        box("cbbGroupLimit")->setCurrentText("车缝一组");
        QCOMPARE(pickedRows(grid("grdJobData")), QStringList({"001     张三", "002     李四", "003     王五",
                                                              "004     赵六", "005     孙七"}));
        box("cbbGroupLimit")->setCurrentText("车缝二组");
        QCOMPARE(pickedRows(grid("grdJobData")).last(), QStringLiteral("006     O'Neil"));
        QVERIFY(!pickedRows(grid("grdJobData")).join(",").contains("009"));
    }

    void entryByProcess() {
        openWindow();
        pages()->setCurrentIndex(1);
        TMyDBGrid* g = grid("grdJobData");
        chooseProcess("A101");
        QCOMPARE(sorted(column(g, 0)), QStringList({"001      张三", "002      李四"}));
        QCOMPARE(totals("Job"), QStringLiteral("15 | 5.25"));
        // The down arrow adds a row with the process and the day; the worker is picked.
        key(g, 1, 1, Qt::Key_Down);
        QCOMPARE(tdMain()->state(), DataSetState::Insert);
        answerPicker("006");
        key(g, 2, 0, Qt::Key_Return, Qt::ControlModifier);
        type(g, 2, 1, "4");
        key(g, 2, 1, Qt::Key_Up);
        QCOMPARE(records(QString("dateD='%1' and staffID=%2 and jobID=%3 and qty=4")
                             .arg(yesterday.toString(Qt::ISODate))
                             .arg(id("staff", "006"))
                             .arg(id("job", "A101"))),
                 1);
        QCOMPARE(totals("Job"), QStringLiteral("19 | 6.65"));
    }

    void rowsForNobodyAreRefused() {
        openWindow();
        TMyDBGrid* g = grid("grdStaffData");
        // A work number without its blank, or one nobody has: a view of nobody that takes no rows.
        for (const QString& text : {QString("002"), QString("999 ")}) {
            chooseWorker(text);
            QVERIFY(tdMain()->isOpen());
            key(g, -1, 0, Qt::Key_Down);
            QCOMPARE(dialogs->lastText(), QStringLiteral("请指定员工！"));
            QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
            QCOMPARE(tdMain()->recordCount(), 0);
            QVERIFY(box("cbbStaff")->hasFocus());
        }
        answerPicker("A101");
        key(g, -1, 0, Qt::Key_Return, Qt::ControlModifier);
        QCoreApplication::processEvents();
        QVERIFY(!pickerShown);
        QCOMPARE(dialogs->shown.size(), 3);

        pages()->setCurrentIndex(1);
        chooseProcess("A1");
        key(grid("grdJobData"), -1, 0, Qt::Key_Down);
        QCOMPARE(dialogs->lastText(), QStringLiteral("请指定工序！"));
        QCOMPARE(records(), 5);

        // A record stored for nobody by an older program cannot be stored again as it is.
        cn().exec("insert into JobData (dateD, staffID, jobID, qty) values (?, 0, ?, 9)",
                  {yesterday, id("job", "B201")});
        pages()->setCurrentIndex(2);
        child<QToolButton>("btnApply")->click();
        TMyDBGrid* q = grid("grdQuery");
        const int row = int(column(q, 3).indexOf("9"));
        QCOMPARE(cell(q, row, 1), QString());
        type(q, row, 3, "10");
        tdMain()->post();
        QCOMPARE(dialogs->lastText(), QStringLiteral("请指定员工！"));
        QCOMPARE(records("staffID=0 and qty=9"), 1);
        // Picking the worker makes it storable.
        q->setCurrentIndex(q->model()->index(row, 1));
        answerPicker("003");
        key(q, row, 1, Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(tdMain()->post());
        QCOMPARE(records(QString("staffID=%1 and qty=9").arg(id("staff", "003"))), 1);
    }

    void refusedRowsVanishWithABeep() {
        openWindow();
        TMyDBGrid* g = grid("grdStaffData");
        chooseWorker("001 ");
        // The same record twice.
        key(g, 1, 1, Qt::Key_Down);
        answerPicker("A101");
        key(g, 2, 0, Qt::Key_Return, Qt::ControlModifier);
        type(g, 2, 1, "10");
        key(g, 2, 1, Qt::Key_Up);
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(tdMain()->recordCount(), 2);
        // A quantity with no process, and one that is no number.
        key(g, 1, 1, Qt::Key_Down);
        type(g, 2, 1, "12");
        key(g, 2, 1, Qt::Key_Up);
        QCOMPARE(dialogs->beeps, 2);
        type(g, 0, 1, "x");
        key(g, 0, 1, Qt::Key_Down);
        QCOMPARE(dialogs->beeps, 3);
        QCOMPARE(sorted(column(g, 1)), QStringList({"10", "20"}));
        // A row added on the query page with nothing but a quantity.
        pages()->setCurrentIndex(2);
        TMyDBGrid* q = grid("grdQuery");
        key(q, 1, 3, Qt::Key_Down);
        type(q, 2, 3, "5");
        key(q, 2, 3, Qt::Key_Up);
        QCOMPARE(dialogs->beeps, 4);
        QCOMPARE(records(), 5);
        QCOMPARE(totals("Query"), QStringLiteral("30 | 4.55"));
    }

    void totalsFollowDeletes() {
        openWindow();
        TMyDBGrid* g = grid("grdStaffData");
        chooseWorker("001 ");
        g->setCurrentIndex(g->model()->index(int(column(g, 0).indexOf("B201")), 1));
        dialogs->answer(Answer::No);
        child<QAction>("poDelete")->trigger();
        QCOMPARE(dialogs->lastText(), QStringLiteral("确定要删除该条记录吗？"));
        QCOMPARE(records(), 5);
        dialogs->answer(Answer::Yes);
        child<QAction>("poDelete")->trigger();
        QCOMPARE(records(), 4);
        QCOMPARE(column(g, 0), QStringList({"A101"}));
        QCOMPARE(totals("Staff"), QStringLiteral("10 | 3.5"));
    }

    void repricedAndDeletedProcesses() {
        cn().exec("delete from job where JobCode='B201'");
        openWindow();
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
        QCOMPARE(totals("Staff"), QStringLiteral("10 | 4"));
    }

    void queryWithAndWithoutConditions() {
        openWindow();
        pages()->setCurrentIndex(2);
        TMyDBGrid* q = grid("grdQuery");
        auto run = [&](const QString& worker, const QString& process) {
            box("conStaff")->setEditText(worker);
            box("conJob")->setEditText(process);
            child<QToolButton>("btnApply")->click();
            return tdMain()->recordCount();
        };
        QCOMPARE(run("", ""), 4);  // the record 41 days back is out of range
        QCOMPARE(totals("Query"), QStringLiteral("38 | 7.2999"));
        QCOMPARE(run("001    张三", ""), 3);
        QCOMPARE(run("", "A101"), 2);
        QCOMPARE(sorted(column(q, 1)), QStringList({"001      张三", "002      李四"}));
        QCOMPARE(run("001    张三", "A101"), 1);
        QCOMPARE(totals("Query"), QStringLiteral("10 | 3.5"));
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

    void queryEditsInPlaceWithItsOwnPicker() {
        openWindow();
        pages()->setCurrentIndex(2);
        TMyDBGrid* q = grid("grdQuery");
        child<QToolButton>("btnApply")->click();
        const int row = int(column(q, 3).indexOf("5"));  // 002, A101
        type(q, row, 3, "6");
        QVERIFY(tdMain()->post());
        QCOMPARE(totals("Query"), QStringLiteral("39 | 7.6499"));
        // No class group or style limit here: every current worker, every process in production.
        answerPicker("006");
        key(q, row, 1, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(pickerRows.size(), 6);
        answerPicker("X900");
        key(q, row, 2, Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(pickerRows.size(), 5);
        QVERIFY(tdMain()->post());
        QCOMPARE(records(QString("staffID=%1 and qty=6").arg(id("staff", "006"))), 1);
        // The entry page shows the edited record once its view is loaded.
        pages()->setCurrentIndex(1);
        chooseProcess("A101");
        QCOMPARE(sorted(column(grid("grdJobData"), 1)), QStringList({"10", "6"}));
    }

    void enteringAnEntryPageStartsAfresh() {
        openWindow();
        // The focus starts on the page tabs: coming into the page clears it, before a worker is chosen.
        box("cbbStaff")->setFocus();
        chooseWorker("001 ");
        grid("grdStaffData")->setFocus();
        QVERIFY(tdMain()->isOpen());
        // The query page shows what the entry view holds until "OK".
        pages()->setCurrentIndex(2);
        QVERIFY(tabQueryHasFocus());
        QCOMPARE(grid("grdQuery")->model()->rowCount(), 2);
        // Back on the entry page the view and the worker box are cleared; the key stays until a new choice.
        pages()->setCurrentIndex(0);
        QVERIFY(!tdMain()->isOpen());
        QVERIFY(box("cbbStaff")->currentText().isEmpty());
        QCOMPARE(win->currentStaffID(), id("staff", "001"));
        QCOMPARE(totals("Staff"), QStringLiteral(" | "));
        // A picker over the window is no entering: the view stays.
        chooseWorker("002 ");
        answerPicker(QString());
        key(grid("grdStaffData"), 0, 0, Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(pickerShown);
        QVERIFY(tdMain()->isOpen());
    }

    void closingEmptiesTheCaches() {
        openWindow();
        QVERIFY(dm->cdsMstaff.isOpen());
        QCOMPARE(dm->cdsMjob.recordCount(), 6);
        win->close();
        QVERIFY(!dm->cdsMstaff.isOpen());
        QVERIFY(!dm->cdsMjob.isOpen());
    }

    void exportOfTheQueryPage() {
        openWindow();
        pages()->setCurrentIndex(2);
        box("conJob")->setEditText("A101");
        child<QToolButton>("btnApply")->click();
        QTemporaryDir out;
        dialogs->chooseFile(out.filePath("q.xlsx"));
        ExportGridToExcel(grid("grdQuery"));
        auto cells = hxtest::readSheet(out.filePath("q.xlsx"));
        QCOMPARE(cells["B1"].value, QStringLiteral("工号姓名"));
        QCOMPARE(cells["F1"].value, QStringLiteral("金额"));
        QCOMPARE(cells["A2"].value, QString::number(QDate(1899, 12, 30).daysTo(yesterday)));
        QCOMPARE(cells["D3"].value, QStringLiteral("5"));
        QCOMPARE(cells["E3"].value, QStringLiteral("0.35"));
        QCOMPARE(cells["F3"].value, QStringLiteral("1.75"));
        QVERIFY(!cells.contains("A4"));
    }

  private:
    bool tabQueryHasFocus() {
        QWidget* f = QApplication::focusWidget();
        return f && child<QWidget>("tabQuery")->isAncestorOf(f);
    }
};

QTEST_MAIN(TestJobData)
#include "tst_jobdata.moc"
