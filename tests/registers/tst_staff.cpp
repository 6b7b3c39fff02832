#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QTabWidget>
#include <QtTest>

#include "data/datamodule.h"
#include "data/mydbgrid.h"
#include "registers/staff.h"
#include "shell/session.h"
#include "support/testsupport.h"

using namespace hx;

class TestStaff : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::TempProgramDir> dir;
    std::unique_ptr<hxtest::ScriptedDialogs> dialogs;
    TdataFrm* dm = nullptr;
    QPointer<TstaffFrm> win;

    Connection& cn() { return dm->cnMain; }
    void addWorker(const QString& code, const QString& name, const QVariant& group, const QString& level,
                   int fired = 0, const QString& a03 = QStringLiteral("0")) {
        cn().exec(
            QStringLiteral("insert into staff (StaffCode, StaffName, ClassGroup, LevelSalary, salaryDay, "
                           "Firedd, A03) values (?, ?, ?, ?, 5, ?, ?)"),
            {code, name, group, QVariant::fromValue(*Money::parse(level)), fired,
             QVariant::fromValue(*Money::parse(a03))});
    }
    void addItemMonth(int year, int month, const QString& prefix, int count = 8) {
        for (int i = 1; i <= count; ++i)
            cn().exec(QStringLiteral(
                          "insert into salary ([year], [month], ItemCode, ItemName) values (?, ?, ?, ?)"),
                      {year, month, QStringLiteral("A0%1").arg(i), prefix + QString::number(i)});
    }
    int stored(const QString& where = QStringLiteral("1=1")) {
        return cn().scalar(QStringLiteral("select count(*) from staff where ") + where).toInt();
    }
    TstaffFrm* openWindow() {
        win = new TstaffFrm;
        win->show();
        QApplication::setActiveWindow(win);
        if (!QTest::qWaitForWindowActive(win)) qWarning("window not active");
        grid("grdMain")->setFocus();
        return win;
    }
    TMyDBGrid* grid(const char* name) { return win->findChild<TMyDBGrid*>(QLatin1String(name)); }
    QAction* action(const char* name) { return win->findChild<QAction*>(QLatin1String(name)); }
    DataSet* ds() { return win->findChild<DataSet*>(QStringLiteral("tdMain")); }
    void select(const char* gridName, int row, int column) {
        TMyDBGrid* g = grid(gridName);
        g->setCurrentIndex(g->model()->index(row, column));
    }
    QStringList codes() {
        QStringList values;
        for (int r = 0; r < ds()->recordCount(); ++r)
            values << ds()->valueAt(r, ds()->fieldIndex("StaffCode")).toString();
        return values;
    }
    QStringList captions() {
        emit win->findChild<QMenu*>(QStringLiteral("popData"))->aboutToShow();
        return {action("pFire")->text(), action("pListFire")->text()};
    }
    QStringList fixTitles() {
        QStringList titles;
        for (int c = 2; c < 9; ++c) titles << grid("grdFix")->columnTitle(c);
        return titles;
    }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::TempProgramDir>();
        dialogs = std::make_unique<hxtest::ScriptedDialogs>();
        dm = new TdataFrm;
        setDataFrm(dm);
        cn().open(dir->createAccountSet(QStringLiteral("s")));
        addWorker("003", "王五", "车缝一组", "300.5");
        addWorker("001", "O'Neil", "裁剪组", "1200", 0, "20");
        addWorker("002", "李四", "车缝一组", "0.1");
        addWorker("009", "abc", "", "0");
        addWorker("020", "赵六", "车缝一组", "300.5", -1, "35.5");
        addWorker("021", "钱七", "裁剪组", "0", -1);
    }
    void cleanup() {
        HX_VERIFY_DIALOGS(*dialogs);
        delete win;
        setDataFrm(nullptr);
        delete dm;
        dialogs.reset();
        dir.reset();
    }

    void windowShowsBothPagesWithTheirColumnsAndMenus() {
        openWindow();
        QCOMPARE(win->windowTitle(), QStringLiteral("员工编号"));
        QCOMPARE(win->size(), QSize(603, 445));
        auto* pages = win->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
        QCOMPARE(pages->tabText(0), QStringLiteral("基本信息"));
        QCOMPARE(pages->tabText(1), QStringLiteral("固定工资类项目"));
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("tabMain"));

        TMyDBGrid* main = grid("grdMain");
        QCOMPARE(main->model()->columnCount(), 5);
        const QStringList titles = {"工号", "姓名", "班组", "能力工资", "发薪日"};
        const QList<int> widths = {142, 83, 148, 104};
        for (int c = 0; c < 5; ++c) QCOMPARE(main->columnTitle(c), titles[c]);
        for (int c = 0; c < 4; ++c) QCOMPARE(main->columnWidth(c), widths[c]);
        const GridColumn& day = main->dataModel()->column(4);
        QCOMPARE(day.pickList.size(), 31);
        QCOMPARE(day.pickList.first(), QStringLiteral("1"));
        QCOMPARE(day.pickList.last(), QStringLiteral("31"));
        QVERIFY(main->alwaysShowEditor());
        QVERIFY(!main->horizontalHeader()->sectionsMovable());

        TMyDBGrid* fix = grid("grdFix");
        QCOMPARE(fix->model()->columnCount(), 9);
        QCOMPARE(fix->columnWidth(0), 80);
        QCOMPARE(fix->columnWidth(1), 57);
        for (int c = 2; c < 9; ++c) {
            QCOMPARE(fix->dataModel()->column(c).field, QStringLiteral("A0%1").arg(c));
            QCOMPARE(fix->columnWidth(c), 50);
        }
        QVERIFY(fix->alwaysShowEditor());
        QVERIFY(!fix->horizontalHeader()->sectionsMovable());

        auto names = [](QMenu* menu) {
            QStringList list;
            for (QAction* a : menu->actions())
                list << (a->isSeparator() ? "-" : a->objectName() + ":" + a->text());
            return list;
        };
        QCOMPARE(names(win->findChild<QMenu*>(QStringLiteral("popData"))),
                 QStringList({"pSort:排序", "pFilter:筛选", "pUnfilter:取消筛选", "pFind:查找", "-",
                              "pFire:辞退", "pListFire:显示辞退员工", "-", "pAppend:新增", "pDelete:删除"}));
        QCOMPARE(names(win->findChild<QMenu*>(QStringLiteral("popFix"))),
                 QStringList({"pBsort:排序", "pBfilter:筛选", "pBunfilter:取消筛选", "pBFind:查找", "-",
                              "pBCustom:定义项目名", "pBunCustom:取消项目名"}));

        // The current workers, in the order stored; money with two decimals.
        QCOMPARE(ds()->sql(), TstaffFrm::currentWorkersSql);
        QCOMPARE(codes(), QStringList({"003", "001", "002", "009"}));
        QCOMPARE(main->model()->index(0, 3).data().toString(), QStringLiteral("300.50"));
    }

    void helpIsTheWindowsTextWhileItIsActive() {
        openWindow();
        QVERIFY(helpProc);
        helpProc();
        QCOMPARE(dialogs->lastKind(), QStringLiteral("information"));
        const QString text = dialogs->lastText();
        QVERIFY(text.startsWith(
            QStringLiteral("《基本信息》页：\n\n[快捷菜单]\n有辞退(复职)、显示辞退(在职)员工")));
        QVERIFY(text.contains(QStringLiteral("表格式录入方法，在尾行按\"↓\"箭头会产生新行；\n\n[班组]\n")));
        QVERIFY(text.contains(QStringLiteral(
            "分批计算工资。\n\n\n《固定工资类项目》页：\n\n[快捷菜单]\n有\"自定义项目名(取消项目名)\"功能")));
        QVERIFY(text.endsWith(
            QStringLiteral("均在本页设置。\n\n\n*"
                           "录入或修改时注意：工号、姓名必须填写，且工号不可重复，否则操作会被取消。")));
        QCOMPARE(text.count(QLatin1Char('\n')), 24);
        win->close();
        QVERIFY(!helpProc);
    }

    void titlesComeFromTheLatestMonthOfTheLatestYear() {
        addItemMonth(2025, 12, QStringLiteral("十二月"));
        addItemMonth(2031, 1, QStringLiteral("一月"));
        addItemMonth(2031, 2, QStringLiteral("二月"));
        cn().exec(
            QStringLiteral("update salary set ItemName = null where [year] = 2031 and [month] = 2 and "
                           "ItemCode = 'A05'"));
        openWindow();
        QCOMPARE(fixTitles(), QStringList({"二月2", "二月3", "二月4", "", "二月6", "二月7", "二月8"}));
    }

    void titlesWithoutItemsAreEmptyAndTheWindowWorks() {
        cn().exec(QStringLiteral("delete from salary"));
        openWindow();
        QCOMPARE(fixTitles(), QStringList(7, QString()));
        QCOMPARE(ds()->recordCount(), 4);
        // A month with fewer fixed rows fills what it has.
        win->close();
        addItemMonth(2030, 5, QStringLiteral("五月"), 3);
        openWindow();
        QCOMPARE(fixTitles(), QStringList({"五月2", "五月3", "", "", "", "", ""}));
    }

    void theTemplateMonthNamesItsFirstFixedItem() {
        openWindow();
        QCOMPARE(fixTitles(), QStringList({"岗位津贴", "", "", "", "", "", ""}));
    }

    void filterConditionsFromBothPages() {
        openWindow();
        QAbstractItemModelTester mainTester(grid("grdMain")->model());
        QAbstractItemModelTester fixTester(grid("grdFix")->model());
        select("grdMain", 0, 3);
        action("pFilter")->trigger();
        QCOMPARE(ds()->filter(), QStringLiteral("LevelSalary = 300.5"));
        QCOMPARE(codes(), QStringList({"003"}));
        action("pUnfilter")->trigger();
        QCOMPARE(ds()->recordCount(), 4);

        select("grdMain", 1, 1);
        action("pFilter")->trigger();
        QCOMPARE(ds()->filter(), QStringLiteral("StaffName = 'O''Neil'"));
        QCOMPARE(codes(), QStringList({"001"}));

        // A second filter, from the other page, replaces the first.
        win->findChild<QTabWidget*>()->setCurrentIndex(1);
        action("pUnfilter")->trigger();
        select("grdFix", 1, 3);
        action("pBfilter")->trigger();
        QCOMPARE(ds()->filter(), QStringLiteral("A03 = '20'"));
        QCOMPARE(codes(), QStringList({"001"}));
        select("grdFix", 0, 2);
        action("pBfilter")->trigger();
        QCOMPARE(ds()->filter(), QStringLiteral("A02 = '0'"));
        QCOMPARE(codes(), QStringList({"003", "001", "002", "009"}));
        action("pBunfilter")->trigger();
        QVERIFY(!ds()->filtered());

        select("grdFix", 3, 0);
        action("pBsort")->trigger();
        QCOMPARE(ds()->sort(), QStringLiteral("StaffCode ASC"));
        // The one data set: the first page shows the same order.
        QCOMPARE(grid("grdMain")->model()->index(0, 0).data().toString(), QStringLiteral("001"));
        QCOMPARE(dialogs->shown.size(), 0);
    }

    void filterOnAnEmptyGroupAndTheFilterKeptAcrossTheListSwitch() {
        openWindow();
        select("grdMain", 3, 2);
        action("pFilter")->trigger();
        QCOMPARE(ds()->filter(), QStringLiteral("ClassGroup = ''"));
        QCOMPARE(codes(), QStringList({"009"}));

        select("grdMain", 0, 2);
        action("pUnfilter")->trigger();
        select("grdMain", 0, 2);
        action("pFilter")->trigger();
        QCOMPARE(codes(), QStringList({"003", "002"}));
        action("pSort")->trigger();
        QCOMPARE(captions(), QStringList({"辞退", "显示辞退员工"}));
        action("pListFire")->trigger();
        QCOMPARE(ds()->sql(), TstaffFrm::dismissedWorkersSql);
        QCOMPARE(ds()->filter(), QStringLiteral("ClassGroup = '车缝一组'"));
        QVERIFY(ds()->filtered());
        QCOMPARE(ds()->sort(), QString());
        QCOMPARE(codes(), QStringList({"020"}));
    }

    void findIsWholeValueAndIgnoresCase() {
        openWindow();
        select("grdMain", 0, 1);
        dialogs->input(QStringLiteral("ABC")).input(QStringLiteral("ab")).cancelInput();
        action("pFind")->trigger();
        QCOMPARE(ds()->asString("StaffCode"), QStringLiteral("009"));
        QCOMPARE(grid("grdMain")->currentIndex().row(), 3);
        select("grdMain", 1, 1);
        action("pFind")->trigger();
        QCOMPARE(ds()->asString("StaffCode"), QStringLiteral("001"));
        action("pFind")->trigger();
        QCOMPARE(ds()->asString("StaffCode"), QStringLiteral("001"));
        QCOMPARE(dialogs->shown.size(), 3);
    }

    void deleteAsksTheWorkersQuestion() {
        cn().exec(
            QStringLiteral("insert into JobData (dateD, staffID, jobID, qty) "
                           "select '2024-05-01', staffID, 1, 10 from staff where StaffCode = '003'"));
        openWindow();
        select("grdMain", 0, 0);
        const QString question = QStringLiteral(
            "如果该员工已有计件数或工资数据，请使用 ”辞退“ 功能，\r\n直接删除会导致数据不完整。确定要删除  "
            "“王五“ "
            "的编号吗？");
        dialogs->answer(Answer::No).answer(Answer::Closed).answer(Answer::Yes);
        action("pDelete")->trigger();
        action("pDelete")->trigger();
        QCOMPARE(stored("StaffCode = '003'"), 1);
        action("pDelete")->trigger();
        QCOMPARE(dialogs->texts(), QStringList({question, question, question}));
        QCOMPARE(dialogs->shown.last().kind, QStringLiteral("confirm"));
        QCOMPARE(stored("StaffCode = '003'"), 0);
        QCOMPARE(codes(), QStringList({"001", "002", "009"}));
        QCOMPARE(ds()->asString("StaffCode"), QStringLiteral("001"));
        // Only the worker's row goes; his piece-work records stay.
        QCOMPARE(cn().scalar(QStringLiteral("select count(*) from JobData")).toInt(), 1);
    }

    void ctrlDeleteAsksOnlyTheGridsQuestion() {
        openWindow();
        select("grdMain", 2, 0);
        dialogs->answer(Answer::Ok);
        QTest::keyClick(grid("grdMain"), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(dialogs->texts(), QStringList({"Delete record?"}));
        QCOMPARE(stored("StaffCode = '002'"), 0);
    }

    void dismissAndReinstateMoveTheWorkerBetweenTheLists() {
        openWindow();
        QAbstractItemModelTester tester(grid("grdMain")->model());
        select("grdMain", 2, 0);
        action("pFire")->trigger();
        QCOMPARE(stored("StaffCode = '002' and Firedd = -1"), 1);
        QCOMPARE(codes(), QStringList({"003", "001", "009"}));
        QCOMPARE(ds()->recNo(), 0);

        action("pListFire")->trigger();
        QCOMPARE(codes(), QStringList({"002", "020", "021"}));
        QCOMPARE(captions(), QStringList({"复职", "显示在职员工"}));
        action("pFire")->trigger();
        QCOMPARE(stored("StaffCode = '002' and Firedd = 0"), 1);
        QCOMPARE(codes(), QStringList({"020", "021"}));
        action("pListFire")->trigger();
        QCOMPARE(codes(), QStringList({"003", "001", "002", "009"}));
        QCOMPARE(dialogs->shown.size(), 0);
    }

    void dismissingTheLastWorkerLeavesAnEmptyListThatOffersReinstating() {
        cn().exec(QStringLiteral("delete from staff where Firedd = 0 and StaffCode <> '003'"));
        openWindow();
        QCOMPARE(captions(), QStringList({"辞退", "显示辞退员工"}));
        action("pFire")->trigger();
        QCOMPARE(ds()->recordCount(), 0);
        QCOMPARE(captions(), QStringList({"复职", "显示在职员工"}));
        action("pFire")->trigger();  // nothing to reinstate here
        QCOMPARE(stored("Firedd = 0"), 0);
        // An empty list always switches to the current workers: the dismissed list cannot be reached.
        action("pListFire")->trigger();
        QCOMPARE(ds()->sql(), TstaffFrm::currentWorkersSql);
        QCOMPARE(ds()->recordCount(), 0);
        QCOMPARE(captions(), QStringList({"复职", "显示在职员工"}));
    }

    void aWorkerAddedToTheDismissedListIsACurrentWorker() {
        openWindow();
        action("pListFire")->trigger();
        QCOMPARE(ds()->sql(), TstaffFrm::dismissedWorkersSql);
        action("pAppend")->trigger();
        QCOMPARE(ds()->state(), DataSetState::Insert);
        QCOMPARE(ds()->asBool("Firedd"), false);
        QVERIFY(ds()->value("salaryDay").isNull());
        QAbstractItemModel* model = grid("grdMain")->model();
        const int row = ds()->recNo();
        QVERIFY(model->setData(model->index(row, 0), QStringLiteral("030")));
        QVERIFY(model->setData(model->index(row, 1), QStringLiteral("孙八")));
        select("grdMain", 0, 0);
        QCOMPARE(stored("StaffCode = '030' and Firedd = 0 and salaryDay is null"), 1);
        action("pListFire")->trigger();  // the current row is a dismissed worker
        QVERIFY(codes().contains(QStringLiteral("030")));
    }

    void namingAFixedItemNamesItInEveryMonth() {
        addItemMonth(2031, 2, QStringLiteral("二月"));
        openWindow();
        win->findChild<QTabWidget*>()->setCurrentIndex(1);
        select("grdFix", 0, 1);
        action("pBCustom")->trigger();
        select("grdFix", 0, 0);
        action("pBunCustom")->trigger();
        QCOMPARE(dialogs->texts(), QStringList(2, QStringLiteral("前两列是员工号姓名列，不用于自定义！")));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));

        select("grdFix", 0, 4);
        dialogs->reset();
        dialogs->cancelInput().input(QStringLiteral("夜班\"补贴\""));
        action("pBCustom")->trigger();
        QCOMPARE(grid("grdFix")->columnTitle(4), QStringLiteral("二月4"));
        action("pBCustom")->trigger();
        QCOMPARE(dialogs->shown.last().title, QStringLiteral("自定义固定工资项"));
        QCOMPARE(dialogs->shown.last().text, QStringLiteral("项目名："));
        QCOMPARE(grid("grdFix")->columnTitle(4), QStringLiteral("夜班\"补贴\""));
        const QString named = QStringLiteral(
            "ItemCode = 'A04' and ItemName = '夜班\"补贴\"' and expression = '*********系统提供*********' "
            "and printWidth = 10");
        QCOMPARE(cn().scalar(QStringLiteral("select count(*) from salary where ") + named).toInt(), 2);
        QCOMPARE(
            cn().scalar(QStringLiteral("select count(*) from salary where ItemName like '夜班%'")).toInt(),
            2);
        QCOMPARE(dialogs->shown.size(), 2);
    }

    void clearingAFixedItemClearsItAndEveryWorkersAmount() {
        addItemMonth(2031, 2, QStringLiteral("二月"));
        openWindow();
        win->findChild<QTabWidget*>()->setCurrentIndex(1);
        select("grdFix", 2, 3);
        // An amount typed into the row just before the clearing does not survive it.
        QVERIFY(grid("grdFix")->model()->setData(grid("grdFix")->model()->index(2, 3), QStringLiteral("99")));
        action("pBunCustom")->trigger();
        QCOMPARE(grid("grdFix")->columnTitle(3), QString());
        QCOMPARE(stored("A03 <> 0"), 0);
        QCOMPARE(stored("A03 = 0"), 6);
        QCOMPARE(
            cn().scalar(QStringLiteral("select count(*) from salary where ItemCode = 'A03' and ItemName = '' "
                                       "and expression = '' and printWidth = 0"))
                .toInt(),
            2);
        QCOMPARE(
            cn().scalar(QStringLiteral("select count(*) from salary where ItemCode = 'A04' and ItemName = "
                                       "'二月4'"))
                .toInt(),
            1);
        QCOMPARE(ds()->recNo(), 0);
        QCOMPARE(ds()->asMoney("A03"), Money());
        QCOMPARE(dialogs->shown.size(), 0);
    }

    void aRefusedRowIsDroppedWithABeepAndNoMessage_data() {
        QTest::addColumn<bool>("newRow");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("value");
        QTest::newRow("new row without a code") << true << 0 << QString();
        QTest::newRow("new row without a name") << true << 1 << QString();
        QTest::newRow("code emptied") << false << 0 << QString();
        QTest::newRow("name emptied") << false << 1 << QString();
        QTest::newRow("repeated code") << false << 0 << QStringLiteral("002");
        QTest::newRow("new row with a repeated code") << true << 0 << QStringLiteral("009");
        QTest::newRow("pay day 0") << false << 4 << QStringLiteral("0");
        QTest::newRow("pay day 32") << false << 4 << QStringLiteral("32");
        QTest::newRow("pay day a letter") << true << 4 << QStringLiteral("x");
        QTest::newRow("wage a letter") << false << 3 << QStringLiteral("abc");
        QTest::newRow("code of 11") << false << 0 << QStringLiteral("12345678901");
        QTest::newRow("name of 11") << true << 1 << QStringLiteral("王王王王王王王王王王王");
        QTest::newRow("group of 21") << false << 2 << QStringLiteral("组").repeated(21);
    }
    void aRefusedRowIsDroppedWithABeepAndNoMessage() {
        QFETCH(bool, newRow);
        QFETCH(int, column);
        QFETCH(QString, value);
        openWindow();
        QAbstractItemModelTester tester(grid("grdMain")->model());
        QAbstractItemModel* model = grid("grdMain")->model();
        const QString before = cn().scalar(QStringLiteral("select group_concat(StaffCode || StaffName || "
                                                          "coalesce(ClassGroup, '-') || LevelSalary || "
                                                          "salaryDay, ';') from staff"))
                                   .toString();
        int row = 1;
        if (newRow) {
            action("pAppend")->trigger();
            row = ds()->recNo();
            QVERIFY(model->setData(model->index(row, 0), QStringLiteral("100")));
            QVERIFY(model->setData(model->index(row, 1), QStringLiteral("新人")));
        } else {
            select("grdMain", row, column);
        }
        model->setData(model->index(row, column), value);
        select("grdMain", 0, 0);  // leaving the row stores it
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(dialogs->shown.size(), 0);
        QCOMPARE(ds()->state(), DataSetState::Browse);
        QCOMPARE(ds()->recordCount(), 4);
        QCOMPARE(codes(), QStringList({"003", "001", "002", "009"}));
        QCOMPARE(model->index(1, 1).data().toString(), QStringLiteral("O'Neil"));
        const QString after = cn().scalar(QStringLiteral("select group_concat(StaffCode || StaffName || "
                                                         "coalesce(ClassGroup, '-') || LevelSalary || "
                                                         "salaryDay, ';') from staff"))
                                  .toString();
        QCOMPARE(after, before);
    }

    void aRefusedDismissalIsDroppedAndTheListStays() {
        openWindow();
        QAbstractItemModel* model = grid("grdMain")->model();
        select("grdMain", 1, 0);
        QVERIFY(model->setData(model->index(1, 0), QStringLiteral("003")));
        action("pFire")->trigger();
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(stored("Firedd = 0"), 4);
        QCOMPARE(codes(), QStringList({"003", "001", "002", "009"}));
        QCOMPARE(ds()->recNo(), 1);
    }

    void closingStoresTheRowBeingTyped() {
        openWindow();
        action("pAppend")->trigger();
        QAbstractItemModel* model = grid("grdMain")->model();
        QVERIFY(model->setData(model->index(4, 0), QStringLiteral("040")));
        QVERIFY(model->setData(model->index(4, 1), QStringLiteral("周九")));
        QVERIFY(model->setData(model->index(4, 4), QStringLiteral("15")));
        win->close();
        QCOMPARE(stored("StaffCode = '040' and salaryDay = 15 and Firedd = 0"), 1);
    }
};

QTEST_MAIN(TestStaff)
#include "tst_staff.moc"
