#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include "core/data/datamodule.h"
#include "core/data/queries.h"
#include "gui/registers/staff.h"
#include "gui/widgets/mydbgrid.h"
#include "support/gridmenu.h"
#include "support/testsupport.h"
#include "support/windowfixture.h"

using namespace hx;

// The staff register as the personnel clerk uses it: clicks into cells, keys to the cell editor, the
// context menus by right click; what was stored is read back with SQL.
class TestStaff : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::WindowFixture> f;
    hxtest::ScriptedDialogs* dialogs = nullptr;
    QPointer<TstaffFrm> win;

    Connection& cn() { return f->cn(); }
    void addWorker(const QString& code, const QString& name, const QVariant& group, const QString& level,
                   int fired = 0, const QString& a03 = QStringLiteral("0")) {
        f->addWorker(code, name,
                     {{"ClassGroup", group},
                      {"LevelSalary", f->money(level)},
                      {"salaryDay", 5},
                      {"Firedd", fired},
                      {"A03", f->money(a03)}});
    }
    void addItemMonth(int year, int month, const QString& prefix, int count = 8) {
        for (int i = 1; i <= count; ++i)
            f->addItem(year, month, QStringLiteral("A0%1").arg(i), prefix + QString::number(i));
    }
    int stored(const QString& where = QStringLiteral("1=1")) {
        return hxtest::rowCount(cn(), "staff", where);
    }
    // Every stored worker with every column, in key order; `where` picks the rows.
    QString table(const QString& where = QStringLiteral("1=1")) {
        return hxtest::rowsText(cn(), "staff", "staffID",
                                {"staffID", "StaffCode", "StaffName", "ClassGroup", "LevelSalary",
                                 "salaryDay", "Firedd", "A02", "A03", "A08"},
                                where);
    }
    QString column(const QString& field, const QString& code) {
        return cn()
            .scalar(QStringLiteral("select ") + field + QStringLiteral(" from staff where StaffCode = ?"),
                    {code})
            .toString();
    }
    bool openWindow() {
        win = f->openWindow<TstaffFrm>();
        return win;
    }
    TMyDBGrid* grid(const char* name) { return f->child<TMyDBGrid>(QLatin1String(name)); }
    TMyDBGrid* main() { return grid("grdMain"); }
    TMyDBGrid* fix() { return grid("grdFix"); }
    DataSet* ds() { return f->child<DataSet>(QStringLiteral("tdMain")); }
    QStringList codes() { return hxtest::columnValues(*ds(), "StaffCode"); }
    // The captions the menu of grdMain shows when opened over the cell.
    QStringList fireCaptions(int row = 0) { return hxtest::menuCaptionsAt(main(), row, 0).mid(5, 2); }
    QStringList fixTitles() {
        QStringList titles;
        for (int c = 2; c < 9; ++c) titles << fix()->columnTitle(c);
        return titles;
    }
    void showPage(int page) {
        QTabBar* tabs = f->child<QTabWidget>(QStringLiteral("PageControl1"))->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(page).center());
        hxtest::settle();
    }

  private slots:
    void init() {
        f = std::make_unique<hxtest::WindowFixture>(QStringLiteral("s"));
        dialogs = &f->dialogs;
        addWorker("003", "王五", "车缝一组", "300.5");
        addWorker("001", "O'Neil", "裁剪组", "1200", 0, "20");
        addWorker("002", "李四", "车缝一组", "0.1");
        addWorker("009", "abc", "", "0");
        addWorker("020", "赵六", "车缝一组", "300.5", -1, "35.5");
        addWorker("021", "钱七", "裁剪组", "0", -1);
        // The last current worker has piece work; it must stay his.
        for (int n = 1; n <= 2; ++n) f->addPieceRecord(QDate(2024, 5, n), f->staffId("009"), 1, 10 * n);
    }
    void cleanup() {
        if (hxtest::openMenu()) hxtest::openMenu()->close();
        HX_FINISH_FIXTURE(f);
    }

    // ---- the window

    void windowShowsBothPagesWithTheirColumnsAndMenus() {
        QVERIFY(openWindow());
        QCOMPARE(win->windowTitle(), QStringLiteral("员工编号"));
        QCOMPARE(win->size(), QSize(603, 445));
        auto* pages = win->findChild<QTabWidget*>(QStringLiteral("PageControl1"));
        QCOMPARE(pages->tabText(0), QStringLiteral("基本信息"));
        QCOMPARE(pages->tabText(1), QStringLiteral("固定工资类项目"));
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("tabMain"));

        const QStringList titles = {"工号", "姓名", "班组", "能力工资", "发薪日"};
        const QList<int> widths = {142, 83, 148, 104};
        QCOMPARE(main()->model()->columnCount(), 5);
        for (int c = 0; c < 5; ++c) QCOMPARE(main()->columnTitle(c), titles[c]);
        for (int c = 0; c < 4; ++c) QCOMPARE(main()->columnWidth(c), widths[c]);
        const GridColumn& day = main()->dataModel()->column(4);
        QCOMPARE(day.pickList.size(), 31);
        QCOMPARE(day.pickList.first(), QStringLiteral("1"));
        QCOMPARE(day.pickList.last(), QStringLiteral("31"));
        QVERIFY(!main()->horizontalHeader()->sectionsMovable());

        QCOMPARE(fix()->model()->columnCount(), 9);
        QCOMPARE(fix()->columnWidth(0), 80);
        QCOMPARE(fix()->columnWidth(1), 57);
        for (int c = 2; c < 9; ++c) {
            QCOMPARE(fix()->dataModel()->column(c).field, QStringLiteral("A0%1").arg(c));
            QCOMPARE(fix()->columnWidth(c), 50);
        }
        QVERIFY(!fix()->horizontalHeader()->sectionsMovable());

        // The current workers, in the order stored; the wage as money; the editor is open.
        QCOMPARE(ds()->sql(), hx::staffList(false).sql);
        QCOMPARE(codes(), QStringList({"003", "001", "002", "009"}));
        QCOMPARE(main()->model()->index(0, 3).data().toString(), QStringLiteral("¥300.50"));
        // The editor takes the plain amount, not the currency text.
        QCOMPARE(main()->model()->index(0, 3).data(Qt::EditRole).toString(), QStringLiteral("300.5"));
        QVERIFY(hxtest::editorBack(main()));

        QCOMPARE(hxtest::menuCaptionsAt(main(), 1, 1),
                 QStringList({"排序", "筛选", "取消筛选", "查找", "-", "辞退", "显示辞退员工", "-", "新增",
                              "删除", "-", "导出到电子表格...", "从电子表格导入..."}));
        showPage(1);
        QVERIFY(hxtest::editorBack(fix()));
        QCOMPARE(hxtest::menuCaptionsAt(fix(), 1, 3),
                 QStringList({"排序", "筛选", "取消筛选", "查找", "-", "定义项目名", "取消项目名", "-",
                              "导出到电子表格..."}));
        QCOMPARE(dialogs->shown.size(), 0);
    }

    void helpIsTheWindowsTextWhileItIsActive() {
        QVERIFY(openWindow());
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
            QStringLiteral("update salary set ItemName = null where year = 2031 and month = 2 and "
                           "ItemCode = 'A05'"));
        QVERIFY(openWindow());
        QCOMPARE(fixTitles(), QStringList({"二月2", "二月3", "二月4", "", "二月6", "二月7", "二月8"}));
    }

    void titlesWithoutItemsAreEmptyAndTheWindowWorks() {
        cn().exec(QStringLiteral("delete from salary"));
        QVERIFY(openWindow());
        QCOMPARE(fixTitles(), QStringList(7, QString()));
        QCOMPARE(ds()->recordCount(), 4);
        // A month with fewer fixed rows fills what it has.
        win->close();
        addItemMonth(2030, 5, QStringLiteral("五月"), 3);
        QVERIFY(openWindow());
        QCOMPARE(fixTitles(), QStringList({"五月2", "五月3", "", "", "", "", ""}));
    }

    void theTemplateMonthNamesItsFirstFixedItem() {
        QVERIFY(openWindow());
        QCOMPARE(fixTitles(), QStringList({"岗位津贴", "", "", "", "", "", ""}));
    }

    // ---- adding, correcting and deleting workers by keyboard

    void addTwoWorkersByKeyboardCorrectOneDeleteOne() {
        QVERIFY(openWindow());
        QAbstractItemModelTester tester(main()->model());
        const QString before = table();
        const QString workOf009 =
            hxtest::rowsText(cn(), "JobData", "dateD, staffID, jobID", {"staffID", "qty"});

        // The down arrow on the last worker's work number gives a new row.
        QVERIFY(hxtest::enterCell(main(), 3, 0));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(ds()->recordCount(), 5);
        QVERIFY(hxtest::editorBack(main()));
        QCOMPARE(main()->currentIndex(), main()->model()->index(4, 0));
        hxtest::type(QStringLiteral("010"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("孙八"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("包装组"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("3200.5"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("15"));
        QCOMPARE(stored(), 6);
        // Tab out of the pay day stores the worker and goes on to a new row.
        hxtest::key(Qt::Key_Tab);
        QCOMPARE(stored(), 7);
        QCOMPARE(main()->currentIndex(), main()->model()->index(5, 0));
        QVERIFY(hxtest::editing(main()));
        hxtest::type(QStringLiteral("011"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("周九"));
        hxtest::key(Qt::Key_Return);
        hxtest::clickCell(main(), 0, 1);  // leaves the row
        QCOMPARE(stored(), 8);
        QCOMPARE(table("StaffCode = '011'").section('|', 1), QStringLiteral("011|周九|~|0|~|0|0|0|0"));

        // Correct the first one's name; the down arrow stores it.
        QVERIFY(hxtest::enterCell(main(), 4, 1));
        hxtest::type(QStringLiteral("孙捌"));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(column("StaffName", "010"), QStringLiteral("孙捌"));
        // Delete the second one while his cell is being edited.
        QCOMPARE(main()->currentIndex().row(), 5);
        QVERIFY(hxtest::editing(main()));
        hxtest::type(QStringLiteral("x"));
        dialogs->answer(Answer::Ok);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(dialogs->texts(), QStringList({"Delete record?"}));

        QCOMPARE(stored(), 7);
        QCOMPARE(table("StaffCode = '010'").section('|', 1),
                 QStringLiteral("010|孙捌|包装组|3200.5|15|0|0|0|0"));
        QCOMPARE(stored("StaffCode = '011'"), 0);
        // Nobody else changed; the last worker keeps his code and his piece work.
        QCOMPARE(table("StaffCode not in ('010', '011')"), before);
        QCOMPARE(hxtest::rowsText(cn(), "JobData", "dateD, staffID, jobID", {"staffID", "qty"}), workOf009);
        QCOMPARE(dialogs->beeps, 0);
    }

    void aNewRowTypedAfterTheDownArrowIsStoredHoweverItIsLeft_data() {
        QTest::addColumn<QString>("leave");
        QTest::newRow("up") << "up";
        QTest::newRow("down") << "down";
        QTest::newRow("tab") << "tab";
        QTest::newRow("enter, click") << "enter";
        QTest::newRow("click") << "click";
    }
    void aNewRowTypedAfterTheDownArrowIsStoredHoweverItIsLeft() {
        QFETCH(QString, leave);
        QVERIFY(openWindow());
        const QString before = table();
        QVERIFY(hxtest::enterCell(main(), 3, 0));
        hxtest::key(Qt::Key_Down);
        hxtest::type(QStringLiteral("030"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("新人"));
        if (leave == "up") {
            hxtest::key(Qt::Key_Up);
        } else if (leave == "down") {
            hxtest::key(Qt::Key_Down);  // stores the row and offers another new one
            QCOMPARE(ds()->state(), DataSetState::Insert);
            QCOMPARE(ds()->recordCount(), 6);
            hxtest::key(Qt::Key_Up);  // which, untouched, goes again
        } else if (leave == "tab") {
            for (int i = 0; i < 4; ++i) hxtest::key(Qt::Key_Tab);
            QCOMPARE(ds()->state(), DataSetState::Insert);
            hxtest::key(Qt::Key_Up);
        } else if (leave == "enter") {
            hxtest::key(Qt::Key_Return);
            QCOMPARE(stored(), 6);
            hxtest::clickCell(main(), 1, 2);
        } else {
            hxtest::clickCell(main(), 1, 2);
        }
        QVERIFY(hxtest::editorBack(main()));
        QCOMPARE(ds()->state(), DataSetState::Browse);
        QCOMPARE(ds()->recordCount(), 5);
        QCOMPARE(stored(), 7);
        QCOMPARE(table("StaffCode = '030'").section('|', 1), QStringLiteral("030|新人|~|0|~|0|0|0|0"));
        QCOMPARE(table("StaffCode <> '030'"), before);
        QCOMPARE(dialogs->beeps, 0);
    }

    void appendFromTheMenuStoresTheTypedTextAndAddsANewRow() {
        QVERIFY(openWindow());
        const QString before = table("StaffCode <> '002'");
        // A name is being typed into 李四's row when "新增" is chosen.
        QVERIFY(hxtest::enterCell(main(), 2, 1));
        hxtest::type(QStringLiteral("李四新"));
        QVERIFY(hxtest::useMenu(main(), 2, 1, QStringLiteral("新增")));
        QCOMPARE(column("StaffName", "002"), QStringLiteral("李四新"));
        QCOMPARE(ds()->state(), DataSetState::Insert);
        QCOMPARE(ds()->recordCount(), 5);
        QCOMPARE(main()->currentIndex(), main()->model()->index(4, 1));
        QVERIFY(hxtest::editorBack(main()));
        QVERIFY(main()->model()->index(2, 1).data().toString() == QStringLiteral("李四新"));
        hxtest::type(QStringLiteral("孙八"));
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        hxtest::type(QStringLiteral("031"));
        hxtest::key(Qt::Key_Up);
        QCOMPARE(stored(), 7);
        QCOMPARE(table("StaffCode = '031'").section('|', 1), QStringLiteral("031|孙八|~|0|~|0|0|0|0"));
        QCOMPARE(table("StaffCode not in ('002', '031')"), before);
        QCOMPARE(dialogs->beeps, 0);
    }

    void aWorkerAddedToTheDismissedListIsACurrentWorkerAndNoDismissedOneComesBack() {
        QVERIFY(openWindow());
        QVERIFY(hxtest::enterCell(main(), 0, 0));
        QVERIFY(hxtest::useMenu(main(), 0, 0, QStringLiteral("显示辞退员工")));
        QCOMPARE(ds()->sql(), hx::staffList(true).sql);
        QCOMPARE(codes(), QStringList({"020", "021"}));
        const QString dismissed = table("Firedd <> 0");
        // "新增" over the last dismissed worker's open cell editor: the defaults go into the new row only.
        QVERIFY(hxtest::enterCell(main(), 1, 1));
        QVERIFY(hxtest::useMenu(main(), 1, 1, QStringLiteral("新增")));
        QCOMPARE(ds()->recNo(), 2);
        QCOMPARE(ds()->asBool("Firedd"), false);
        QVERIFY(ds()->value("salaryDay").isNull());
        hxtest::type(QStringLiteral("孙八"));
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        hxtest::type(QStringLiteral("030"));
        hxtest::clickCell(main(), 0, 0);
        QCOMPARE(stored("StaffCode = '030' and Firedd = 0 and salaryDay is null"), 1);
        QCOMPARE(table("Firedd <> 0"), dismissed);
        QCOMPARE(ds()->state(), DataSetState::Browse);
        // Back in the current list, the new worker is there.
        QVERIFY(hxtest::useMenu(main(), 0, 0, QStringLiteral("显示在职员工")));
        QVERIFY(codes().contains(QStringLiteral("030")));
        QCOMPARE(dialogs->beeps, 0);
    }

    void escapeDropsANewRowAndRestoresAnEditedOne() {
        QVERIFY(openWindow());
        const QString before = table();
        QVERIFY(hxtest::enterCell(main(), 3, 0));
        hxtest::key(Qt::Key_Down);
        hxtest::type(QStringLiteral("040"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("周九"));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(ds()->state(), DataSetState::Browse);
        QCOMPARE(ds()->recordCount(), 4);
        QVERIFY(hxtest::editorBack(main()));

        // A name typed and handed to the row with Tab, then Esc: the stored name comes back.
        QVERIFY(hxtest::enterCell(main(), 0, 1));
        hxtest::type(QStringLiteral("错名"));
        hxtest::key(Qt::Key_Tab);
        QCOMPARE(ds()->asString("StaffName"), QStringLiteral("错名"));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(ds()->state(), DataSetState::Browse);
        QCOMPARE(main()->model()->index(0, 1).data().toString(), QStringLiteral("王五"));
        // A group still in the editor, then Esc.
        QVERIFY(hxtest::enterCell(main(), 1, 2));
        hxtest::type(QStringLiteral("错组"));
        hxtest::key(Qt::Key_Escape);
        hxtest::key(Qt::Key_Down);
        QCOMPARE(table(), before);
        QCOMPARE(dialogs->beeps, 0);
    }

    void ctrlDeleteAsksOnlyTheGridsQuestionAlsoWhileEditing() {
        QVERIFY(openWindow());
        QVERIFY(hxtest::enterCell(main(), 2, 1));
        hxtest::type(QStringLiteral("半"));
        dialogs->answer(Answer::Cancel).answer(Answer::Ok);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(stored(), 6);
        QVERIFY(hxtest::editing(main()));
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(dialogs->texts(), QStringList({"Delete record?", "Delete record?"}));
        QCOMPARE(dialogs->shown.last().kind, QStringLiteral("okCancel"));
        QCOMPARE(stored("StaffCode = '002'"), 0);
        QCOMPARE(stored(), 5);
        QCOMPARE(codes(), QStringList({"003", "001", "009"}));
    }

    void deleteFromTheMenuAsksTheWorkersQuestion() {
        cn().exec(
            QStringLiteral("insert into JobData (dateD, staffID, jobID, qty) "
                           "select '2024-05-01', staffID, 1, 10 from staff where StaffCode = '003'"));
        QVERIFY(openWindow());
        const QString question = QStringLiteral(
            "如果该员工已有计件数或工资数据，请使用 ”辞退“ 功能，\r\n直接删除会导致数据不完整。确定要删除  "
            "“王五“ "
            "的编号吗？");
        dialogs->answer(Answer::No).answer(Answer::Closed).answer(Answer::Yes);
        QVERIFY(hxtest::enterCell(main(), 0, 0));
        QVERIFY(hxtest::useMenu(main(), 0, 0, QStringLiteral("删除")));
        QVERIFY(hxtest::useMenu(main(), 0, 0, QStringLiteral("删除")));
        QCOMPARE(stored("StaffCode = '003'"), 1);
        QVERIFY(hxtest::useMenu(main(), 0, 0, QStringLiteral("删除")));
        QCOMPARE(dialogs->texts(), QStringList({question, question, question}));
        QCOMPARE(dialogs->shown.last().kind, QStringLiteral("confirm"));
        QCOMPARE(stored("StaffCode = '003'"), 0);
        QCOMPARE(codes(), QStringList({"001", "002", "009"}));
        QCOMPARE(ds()->asString("StaffCode"), QStringLiteral("001"));
        // Only the worker's row goes; his piece-work records stay.
        QCOMPARE(cn().scalar(QStringLiteral("select count(*) from JobData")).toInt(), 3);
    }

    void aRefusedRowStaysAsTypedWithItsReasonUntilEsc_data() {
        QTest::addColumn<bool>("newRow");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("reason");
        QTest::newRow("new row without a code") << true << 0 << QString() << "“工号”必须填写";
        QTest::newRow("new row without a name") << true << 1 << QString() << "“姓名”必须填写";
        QTest::newRow("code emptied") << false << 0 << QString() << "“工号”必须填写";
        QTest::newRow("name emptied") << false << 1 << QString() << "“姓名”必须填写";
        QTest::newRow("repeated code") << false << 0 << QStringLiteral("002") << "工号“002”已经存在";
        QTest::newRow("new row with a repeated code")
            << true << 0 << QStringLiteral("009") << "工号“009”已经存在";
        QTest::newRow("new row with a dismissed worker's code")
            << true << 0 << QStringLiteral("020") << "工号“020”已经存在";
        QTest::newRow("pay day 0") << false << 4 << QStringLiteral("0") << "“发薪日”必须在1到31之间";
        QTest::newRow("pay day 32") << false << 4 << QStringLiteral("32") << "“发薪日”必须在1到31之间";
        QTest::newRow("pay day a letter") << true << 4 << QStringLiteral("x") << "“发薪日”必须是整数";
        QTest::newRow("wage a letter") << false << 3 << QStringLiteral("abc") << "“能力工资”必须是数字";
    }
    void aRefusedRowStaysAsTypedWithItsReasonUntilEsc() {
        QFETCH(bool, newRow);
        QFETCH(int, column);
        QFETCH(QString, value);
        QFETCH(QString, reason);
        QVERIFY(openWindow());
        const QString before = table();
        const qint64 sequence = hxtest::lastKeyIssued(cn(), "staff");
        const int row = newRow ? 4 : 1;
        if (newRow) {
            // A new worker typed in full, then the one value.
            QVERIFY(hxtest::enterCell(main(), 3, 0));
            hxtest::key(Qt::Key_Down);
            hxtest::type(QStringLiteral("100"));
            hxtest::key(Qt::Key_Tab);
            hxtest::type(QStringLiteral("新人"));
        }
        QVERIFY(hxtest::retype(main(), row, column, value));
        hxtest::key(Qt::Key_Up);  // leaving the row stores it, or would
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(dialogs->texts().size(), 1);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
        QCOMPARE(dialogs->lastReason(), reason);
        // The row is still there as typed, in edit, its refused cell current with the editor open.
        QCOMPARE(ds()->state(), newRow ? DataSetState::Insert : DataSetState::Edit);
        QCOMPARE(main()->model()->index(row, column).data(Qt::EditRole).toString(), value);
        QVERIFY(hxtest::editorBack(main()));
        QCOMPARE(main()->currentIndex(), main()->model()->index(row, column));
        QCOMPARE(table(), before);

        // Esc drops a new row and gives an edited row back what it held; nothing was ever written.
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(ds()->state(), DataSetState::Browse);
        QCOMPARE(codes(), QStringList({"003", "001", "002", "009"}));
        QCOMPARE(main()->model()->index(1, 1).data().toString(), QStringLiteral("O'Neil"));
        QCOMPARE(table(), before);
        // A server's key counter stands outside transactions: a refused insert uses up a number there,
        // a harmless gap. A file's counter goes back with the rolled-back insert.
        if (!hxtest::onServer()) QCOMPARE(hxtest::lastKeyIssued(cn(), "staff"), sequence);
        QCOMPARE(dialogs->texts().size(), 1);
    }

    void aWorkerAnotherCopyChangedIsNotWrittenOverAndTheEditStaysToBeRedone() {
        // Another copy of the program on the same account set: a second connection to the file, or
        // another desk on the server, where the message names another user.
        QVERIFY(openWindow());
        Connection other;
        hxtest::openAgain(other, cn());
        const auto level = [&] {
            return other.scalar("select LevelSalary from staff where StaffCode='001'").toString();
        };
        other.exec("update staff set LevelSalary=7000 where StaffCode='001'");
        QVERIFY(hxtest::retype(main(), 1, 3, QStringLiteral("6600")));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
        QVERIFY(dialogs->lastText().startsWith(hxtest::onServer()
                                                   ? QStringLiteral("记录已被其他用户更改，请刷新后重试。")
                                                   : QStringLiteral("记录已被其他操作更改，请刷新后重试。")));
        QCOMPARE(level(), QStringLiteral("7000"));
        QCOMPARE(ds()->state(), DataSetState::Edit);
        QCOMPARE(main()->currentIndex(), main()->model()->index(1, 3));
        QCOMPARE(main()->model()->index(1, 3).data(Qt::EditRole).toString(), QStringLiteral("6600"));
        // Every way off the row is refused as for a refused value; nothing is written.
        hxtest::clickCell(main(), 3, 0);
        QCOMPARE(main()->currentIndex().row(), 1);
        QCOMPARE(level(), QStringLiteral("7000"));

        // Esc shows what the other copy stored; the edit redone on it is stored.
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(ds()->state(), DataSetState::Browse);
        QCOMPARE(ds()->asMoney("LevelSalary").toPlainString(), QStringLiteral("7000"));
        QVERIFY(hxtest::retype(main(), 1, 3, QStringLiteral("6600")));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(level(), QStringLiteral("6600"));

        // The fixed amounts of the second page are the same row.
        showPage(1);
        other.exec("update staff set A02=50 where StaffCode='003'");
        QVERIFY(hxtest::retype(fix(), 0, 2, QStringLiteral("80")));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(other.scalar("select A02 from staff where StaffCode='003'").toInt(), 50);
        QCOMPARE(ds()->state(), DataSetState::Edit);
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(fix()->model()->index(0, 2).data(Qt::EditRole).toString().toDouble(), 50.0);
    }

    void aRepeatedCodeIsKeptThroughEveryWayOutAndStoredOnceCorrected() {
        QVERIFY(openWindow());
        QVERIFY(hxtest::enterCell(main(), 3, 0));
        hxtest::key(Qt::Key_Down);
        hxtest::type(QStringLiteral("001"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("新人"));
        hxtest::key(Qt::Key_Tab);  // on to the class group: the row is not left yet
        QCOMPARE(dialogs->beeps, 0);
        hxtest::key(Qt::Key_Down);
        QCOMPARE(dialogs->lastReason(), QStringLiteral("工号“001”已经存在"));
        QCOMPARE(main()->currentIndex(), main()->model()->index(4, 0));

        // A click on another row, a sort, a list switch and closing the window all keep the row.
        hxtest::clickCell(main(), 0, 1);
        QCOMPARE(main()->currentIndex(), main()->model()->index(4, 0));
        QVERIFY(hxtest::useMenu(main(), 4, 1, QStringLiteral("排序")));
        QVERIFY(hxtest::useMenu(main(), 4, 1, QStringLiteral("显示辞退员工")));
        QCOMPARE(ds()->sql(), hx::staffList(false).sql);
        QVERIFY(hxtest::useMenu(main(), 4, 1, QStringLiteral("辞退")));
        win->close();
        QVERIFY(win && win->isVisible());
        QCOMPARE(dialogs->beeps, 6);
        QCOMPARE(dialogs->texts(), QStringList(6, dialogs->lastText()));
        QCOMPARE(ds()->state(), DataSetState::Insert);
        QCOMPARE(codes(), QStringList({"003", "001", "002", "009", "001"}));
        QCOMPARE(ds()->recNo(), 4);
        QCOMPARE(stored("StaffName = '新人'"), 0);

        // Corrected, the row is stored when it is left, and stays a current worker.
        QVERIFY(hxtest::retype(main(), 4, 0, QStringLiteral("0060")));
        hxtest::clickCell(main(), 0, 1);
        QCOMPARE(stored("StaffCode = '0060' and StaffName = '新人' and Firedd = 0"), 1);
        QCOMPARE(ds()->state(), DataSetState::Browse);
        QCOMPARE(dialogs->beeps, 6);
        win->close();
        QTRY_VERIFY(!win || !win->isVisible());
    }

    // A cell takes no more characters than its column holds: what is typed beyond is never taken, and the
    // row is stored with what the cell shows.
    void anOverlongValueIsCutToItsColumnAsItIsTyped_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("stored");
        QTest::newRow("code of 11") << 0 << "StaffCode" << QStringLiteral("12345678901")
                                    << QStringLiteral("1234567890");
        QTest::newRow("name of 11") << 1 << "StaffName" << QStringLiteral("王王王王王王王王王王李")
                                    << QStringLiteral("王").repeated(10);
        QTest::newRow("group of 21") << 2 << "ClassGroup" << QStringLiteral("组").repeated(21)
                                     << QStringLiteral("组").repeated(20);
    }
    void anOverlongValueIsCutToItsColumnAsItIsTyped() {
        QFETCH(int, column);
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, stored);
        QVERIFY(openWindow());
        QVERIFY(hxtest::retype(main(), 1, column, value));
        hxtest::key(Qt::Key_Up);
        QCOMPARE(dialogs->beeps, 0);
        QCOMPARE(dialogs->shown.size(), 0);
        QCOMPARE(ds()->state(), DataSetState::Browse);
        QCOMPARE(cn().scalar(QStringLiteral("select count(*) from staff where %1 = ?").arg(field), {stored})
                     .toInt(),
                 1);
        QCOMPARE(main()->model()->index(1, column).data().toString(), stored);
    }

    // ---- dismissing, the dismissed list

    void dismissAWorkerAndListTheDismissed() {
        QVERIFY(openWindow());
        QAbstractItemModelTester tester(main()->model());
        QCOMPARE(fireCaptions(), QStringList({"辞退", "显示辞退员工"}));
        // A name correction still in the editor goes with the dismissal.
        QVERIFY(hxtest::enterCell(main(), 2, 1));
        hxtest::type(QStringLiteral("李肆"));
        QVERIFY(hxtest::useMenu(main(), 2, 1, QStringLiteral("辞退")));
        QCOMPARE(stored("StaffCode = '002' and StaffName = '李肆' and Firedd = -1"), 1);
        QCOMPARE(codes(), QStringList({"003", "001", "009"}));
        QCOMPARE(ds()->recNo(), 0);

        QVERIFY(hxtest::useMenu(main(), 0, 0, QStringLiteral("显示辞退员工")));
        QCOMPARE(codes(), QStringList({"002", "020", "021"}));
        QCOMPARE(fireCaptions(), QStringList({"复职", "显示在职员工"}));
        QVERIFY(hxtest::useMenu(main(), 0, 0, QStringLiteral("复职")));
        QCOMPARE(stored("StaffCode = '002' and Firedd = 0"), 1);
        QCOMPARE(codes(), QStringList({"020", "021"}));
        QVERIFY(hxtest::useMenu(main(), 0, 0, QStringLiteral("显示在职员工")));
        QCOMPARE(codes(), QStringList({"003", "001", "002", "009"}));
        QCOMPARE(stored("Firedd <> 0"), 2);
        QCOMPARE(dialogs->shown.size(), 0);
    }

    void dismissingTheLastWorkerLeavesAnEmptyListThatOffersReinstating() {
        cn().exec(QStringLiteral("delete from staff where Firedd = 0 and StaffCode <> '003'"));
        QVERIFY(openWindow());
        QCOMPARE(fireCaptions(), QStringList({"辞退", "显示辞退员工"}));
        QVERIFY(hxtest::useMenu(main(), 0, 0, QStringLiteral("辞退")));
        QCOMPARE(ds()->recordCount(), 0);
        QCOMPARE(stored("Firedd = 0"), 0);
        // The empty list's menu opens over the empty grid.
        QCOMPARE(fireCaptions(-1), QStringList({"复职", "显示在职员工"}));
        QVERIFY(hxtest::useMenu(main(), -1, 0, QStringLiteral("复职")));  // nothing to reinstate here
        QCOMPARE(stored("Firedd = 0"), 0);
        // An empty list always switches to the current workers: the dismissed list cannot be reached.
        QVERIFY(hxtest::useMenu(main(), -1, 0, QStringLiteral("显示在职员工")));
        QCOMPARE(ds()->sql(), hx::staffList(false).sql);
        QCOMPARE(ds()->recordCount(), 0);
        QCOMPARE(dialogs->shown.size(), 0);
    }

    void aRefusedRowIsNotDismissedAndTheListStays() {
        QVERIFY(openWindow());
        const QString before = table();
        QVERIFY(hxtest::retype(main(), 1, 0, QStringLiteral("003")));
        QVERIFY(hxtest::useMenu(main(), 1, 0, QStringLiteral("辞退")));
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(dialogs->lastReason(), QStringLiteral("工号“003”已经存在"));
        QCOMPARE(table(), before);
        QCOMPARE(codes(), QStringList({"003", "003", "002", "009"}));
        QCOMPARE(ds()->recNo(), 1);
        // The dismissal never joined the row: restored with Esc, the worker is as he was.
        QVERIFY(!ds()->asBool(QStringLiteral("Firedd")));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(codes(), QStringList({"003", "001", "002", "009"}));
        QCOMPARE(table(), before);
    }

    // ---- the list commands

    void filterConditionsFromBothPages() {
        QVERIFY(openWindow());
        QAbstractItemModelTester mainTester(main()->model());
        QAbstractItemModelTester fixTester(fix()->model());
        QVERIFY(hxtest::useMenu(main(), 0, 3, QStringLiteral("筛选")));
        QCOMPARE(ds()->filter(), QStringLiteral("LevelSalary = 300.5"));
        QCOMPARE(codes(), QStringList({"003"}));
        QVERIFY(hxtest::useMenu(main(), 0, 3, QStringLiteral("取消筛选")));
        QCOMPARE(ds()->recordCount(), 4);

        QVERIFY(hxtest::useMenu(main(), 1, 1, QStringLiteral("筛选")));
        QCOMPARE(ds()->filter(), QStringLiteral("StaffName = 'O''Neil'"));
        QCOMPARE(codes(), QStringList({"001"}));

        // A second filter, from the other page, replaces the first.
        showPage(1);
        QVERIFY(hxtest::useMenu(fix(), 0, 3, QStringLiteral("取消筛选")));
        QVERIFY(hxtest::useMenu(fix(), 1, 3, QStringLiteral("筛选")));
        QCOMPARE(ds()->filter(), QStringLiteral("A03 = '20'"));
        QCOMPARE(codes(), QStringList({"001"}));
        QVERIFY(hxtest::useMenu(fix(), 0, 2, QStringLiteral("筛选")));
        QCOMPARE(ds()->filter(), QStringLiteral("A02 = '0'"));
        QCOMPARE(codes(), QStringList({"003", "001", "002", "009"}));
        QVERIFY(hxtest::useMenu(fix(), 0, 2, QStringLiteral("取消筛选")));
        QVERIFY(!ds()->filtered());

        QVERIFY(hxtest::useMenu(fix(), 3, 0, QStringLiteral("排序")));
        QCOMPARE(ds()->sort(), QStringLiteral("StaffCode ASC"));
        // The one data set: the first page shows the same order.
        QCOMPARE(main()->model()->index(0, 0).data().toString(), QStringLiteral("001"));
        QCOMPARE(dialogs->shown.size(), 0);
    }

    void filterOnAnEmptyGroupAndTheFilterKeptAcrossTheListSwitch() {
        QVERIFY(openWindow());
        QVERIFY(hxtest::useMenu(main(), 3, 2, QStringLiteral("筛选")));
        QCOMPARE(ds()->filter(), QStringLiteral("ClassGroup = ''"));
        QCOMPARE(codes(), QStringList({"009"}));

        QVERIFY(hxtest::useMenu(main(), 0, 2, QStringLiteral("取消筛选")));
        QVERIFY(hxtest::useMenu(main(), 0, 2, QStringLiteral("筛选")));
        QCOMPARE(codes(), QStringList({"003", "002"}));
        QVERIFY(hxtest::useMenu(main(), 0, 2, QStringLiteral("排序")));
        QCOMPARE(fireCaptions(), QStringList({"辞退", "显示辞退员工"}));
        QVERIFY(hxtest::useMenu(main(), 0, 2, QStringLiteral("显示辞退员工")));
        QCOMPARE(ds()->sql(), hx::staffList(true).sql);
        QCOMPARE(ds()->filter(), QStringLiteral("ClassGroup = '车缝一组'"));
        QVERIFY(ds()->filtered());
        QCOMPARE(ds()->sort(), QString());
        QCOMPARE(codes(), QStringList({"020"}));
    }

    void findIsWholeValueAndIgnoresCase() {
        QVERIFY(openWindow());
        dialogs->input(QStringLiteral("ABC")).input(QStringLiteral("ab")).cancelInput();
        QVERIFY(hxtest::useMenu(main(), 0, 1, QStringLiteral("查找")));
        QCOMPARE(ds()->asString("StaffCode"), QStringLiteral("009"));
        QCOMPARE(main()->currentIndex().row(), 3);
        QVERIFY(hxtest::useMenu(main(), 1, 1, QStringLiteral("查找")));
        QCOMPARE(ds()->asString("StaffCode"), QStringLiteral("001"));
        QVERIFY(hxtest::useMenu(main(), 1, 1, QStringLiteral("查找")));
        QCOMPARE(ds()->asString("StaffCode"), QStringLiteral("001"));
        QCOMPARE(dialogs->texts(), QStringList({"值：", "值：", "没有找到“ab”", "值："}));
    }

    // ---- the fixed items page

    void fixedAmountsAreTypedOnTheSecondPageAndAWorkerCanBeAddedThere() {
        QVERIFY(openWindow());
        const QString before = table("StaffCode <> '001'");
        showPage(1);
        QVERIFY(hxtest::enterCell(fix(), 1, 3));
        hxtest::type(QStringLiteral("25.5"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("8"));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(column("A03", "001"), QStringLiteral("25.5"));
        QCOMPARE(column("A04", "001"), QStringLiteral("8"));
        // The down arrow on the last worker adds a worker here too, in the column the user is in.
        QVERIFY(hxtest::enterCell(fix(), 3, 8));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(ds()->state(), DataSetState::Insert);
        QCOMPARE(fix()->currentIndex(), fix()->model()->index(4, 8));
        hxtest::type(QStringLiteral("12.25"));
        for (int i = 0; i < 8; ++i) hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        hxtest::type(QStringLiteral("050"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("吴十"));
        hxtest::key(Qt::Key_Up);
        QCOMPARE(table("StaffCode = '050'").section('|', 1), QStringLiteral("050|吴十|~|0|~|0|0|0|12.25"));
        QCOMPARE(table("StaffCode not in ('001', '050')"), before);
        // The same worker on the first page.
        showPage(0);
        QCOMPARE(main()->model()->index(4, 1).data().toString(), QStringLiteral("吴十"));
        QCOMPARE(dialogs->beeps, 0);
    }

    void namingAFixedItemNamesItInEveryMonth() {
        addItemMonth(2031, 2, QStringLiteral("二月"));
        QVERIFY(openWindow());
        showPage(1);
        QVERIFY(hxtest::useMenu(fix(), 0, 1, QStringLiteral("定义项目名")));
        QVERIFY(hxtest::useMenu(fix(), 0, 0, QStringLiteral("取消项目名")));
        QCOMPARE(dialogs->texts(), QStringList(2, QStringLiteral("前两列是员工号姓名列，不用于自定义！")));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));

        dialogs->reset();
        dialogs->cancelInput().input(QStringLiteral("夜班\"补贴\""));
        QVERIFY(hxtest::useMenu(fix(), 0, 4, QStringLiteral("定义项目名")));
        QCOMPARE(fix()->columnTitle(4), QStringLiteral("二月4"));
        QVERIFY(hxtest::useMenu(fix(), 0, 4, QStringLiteral("定义项目名")));
        QCOMPARE(dialogs->shown.last().title, QStringLiteral("自定义固定工资项"));
        QCOMPARE(dialogs->shown.last().text, QStringLiteral("项目名："));
        QCOMPARE(fix()->columnTitle(4), QStringLiteral("夜班\"补贴\""));
        const QString named = QStringLiteral(
            "ItemCode = 'A04' and ItemName = '夜班\"补贴\"' and expression = '*********系统提供*********' "
            "and printWidth = 10");
        QCOMPARE(cn().scalar(QStringLiteral("select count(*) from salary where ") + named).toInt(), 2);
        QCOMPARE(
            cn().scalar(QStringLiteral("select count(*) from salary where ItemName like '夜班%'")).toInt(),
            2);
        QCOMPARE(dialogs->shown.size(), 2);
    }

    void aNameTheItemsCannotHoldIsReportedAndNotStored() {
        QVERIFY(openWindow());
        showPage(1);
        dialogs->input(QStringLiteral("名").repeated(21));
        QVERIFY(hxtest::useMenu(fix(), 0, 6, QStringLiteral("定义项目名")));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QCOMPARE(cn().scalar(QStringLiteral(
                                 "select count(*) from salary where ItemCode = 'A06' and ItemName is null "
                                 "and printWidth = 0"))
                     .toInt(),
                 1);
        // The title was already set when the statement failed, and stays until the window is opened again.
        QCOMPARE(fix()->columnTitle(6), QStringLiteral("名").repeated(21));
    }

    void aFixedItemCanBeNamedBeforeAnyWorkerIsEntered() {
        cn().exec(QStringLiteral("delete from staff"));
        QVERIFY(openWindow());
        showPage(1);
        const auto clickTitle = [this](int column) { hxtest::clickTitle(fix(), column); };
        clickTitle(1);
        QVERIFY(hxtest::useMenu(fix(), -1, 1, QStringLiteral("定义项目名")));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
        clickTitle(5);
        dialogs->input(QStringLiteral("高温补贴"));
        QVERIFY(hxtest::useMenu(fix(), -1, 5, QStringLiteral("定义项目名")));
        QCOMPARE(fix()->columnTitle(5), QStringLiteral("高温补贴"));
        QCOMPARE(cn().scalar(QStringLiteral("select ItemName from salary where ItemCode = 'A05'")).toString(),
                 QStringLiteral("高温补贴"));
    }

    void clearingAFixedItemClearsItAndEveryWorkersAmount() {
        addItemMonth(2031, 2, QStringLiteral("二月"));
        QVERIFY(openWindow());
        showPage(1);
        // An amount typed into a row just before the clearing does not survive it.
        QVERIFY(hxtest::enterCell(fix(), 2, 3));
        hxtest::type(QStringLiteral("99"));
        QVERIFY(hxtest::useMenu(fix(), 2, 3, QStringLiteral("取消项目名")));
        QCOMPARE(fix()->columnTitle(3), QString());
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

    void closingStoresTheRowBeingTyped() {
        QVERIFY(openWindow());
        QVERIFY(hxtest::enterCell(main(), 3, 4));
        hxtest::key(Qt::Key_Down);
        hxtest::type(QStringLiteral("15"));
        for (int i = 0; i < 4; ++i) hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        hxtest::type(QStringLiteral("040"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("周九"));
        win->close();
        QCOMPARE(stored("StaffCode = '040' and StaffName = '周九' and salaryDay = 15 and Firedd = 0"), 1);
        QCOMPARE(stored(), 7);
    }
};

HX_BOTH_ENGINES;
HX_WINDOW_TEST_MAIN(TestStaff)
#include "tst_staff.moc"
