#include <QButtonGroup>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

#include "core/data/clock.h"
#include "core/payroll/generation.h"
#include "core/payroll/periods.h"
#include "gui/payroll/salary.h"
#include "gui/shell/session.h"
#include "gui/widgets/mydbgrid.h"
#include "support/gridmenu.h"
#include "support/windowfixture.h"

using namespace hx;

class TestSalary : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::WindowFixture> f;
    QPointer<TsalaryFrm> w;

    void open() {
        w = f->openWindow<TsalaryFrm>();
        QVERIFY(w);
    }
    void choose(int year, int month) {
        w->cbbYear->setCurrentIndex(w->cbbYear->findText(QString::number(year)));
        w->cbbMonth->setCurrentIndex(w->cbbMonth->findText(QString::number(month)));
        QCOMPARE(w->year(), year);
        QCOMPARE(w->month(), month);
    }
    QStringList shownCodes() {
        QStringList codes;
        for (int r = 0; r < w->tdMain->recordCount(); ++r)
            codes << w->tdMain->valueAt(r, w->tdMain->fieldIndex("ItemCode")).toString();
        return codes;
    }
    int rowOf(const QString& code) { return int(shownCodes().indexOf(code)); }
    QModelIndex cell(const QString& code, int column) {
        return w->grdMain->model()->index(rowOf(code), column);
    }
    bool editable(const QString& code, int column) {
        return w->grdMain->model()->flags(cell(code, column)) & Qt::ItemIsEditable;
    }
    // Clicks into the cell and types over what it holds; an empty text clears it.
    void retype(const QString& code, int column, const QString& text) {
        QVERIFY(hxtest::typeOver(w->grdMain, rowOf(code), column, text));
    }
    // Types over a cell and leaves the row by clicking into another one, which stores it.
    void type(const QString& code, int column, const QString& text, const QString& leaveTo) {
        retype(code, column, text);
        hxtest::clickCell(w->grdMain, rowOf(leaveTo), column);
        QCOMPARE(w->tdMain->state(), DataSetState::Browse);
    }
    // Every item row of the month as one text, for comparing before and after.
    QStringList itemRows(int year, int month) {
        QStringList rows;
        PreparedStatement q = f->cn().query(
            "select ItemCode, coalesce(ItemName, '<null>'), coalesce(expression, '<null>'), printWidth from "
            "salary "
            "where year=? and month=? order by ItemCode",
            {year, month});
        while (q.next())
            rows << QStringList{q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                q.value(3).toString()}
                        .join('|');
        return rows;
    }
    QColor colourAt(const QModelIndex& index) {
        const QImage image = w->grdMain->viewport()->grab().toImage();
        const QRect r = w->grdMain->visualRect(index);
        return image.pixelColor(r.left() + 3, r.center().y());
    }

  private slots:
    void init() {
        setToday(QDate(2024, 6, 12));
        f = std::make_unique<hxtest::WindowFixture>();
    }
    void cleanup() { HX_FINISH_FIXTURE(f); }

    void opensOnTheMonthBeforeTodayWithItsListsAndHelp() {
        open();
        QCOMPARE(w->windowTitle(), QStringLiteral("工资设置"));
        QCOMPARE(w->cbbYear->itemText(0), QStringLiteral("2001"));
        QCOMPARE(w->cbbYear->itemText(w->cbbYear->count() - 1), QStringLiteral("2025"));
        QCOMPARE(w->cbbMonth->count(), 12);
        QCOMPARE(w->cbbDay->count(), 31);
        QCOMPARE(w->year(), 2024);
        QCOMPARE(w->month(), 5);
        QCOMPARE(w->cbbDay->currentText(), QStringLiteral("8"));
        QCOMPARE(w->cbbDateB->date(), QDate(2024, 5, 7));  // 36 days before
        QCOMPARE(w->cbbDateE->date(), QDate(2024, 6, 7));  // 5 days before
        QCOMPARE(w->rgDisplayButtons->checkedId(), 0);
        // January looks back into December of the year before; every other month stays in its year.
        QCOMPARE(previousMonth(QDate(2025, 1, 15)).year, 2024);
        QCOMPARE(previousMonth(QDate(2025, 1, 15)).month, 12);
        QCOMPARE(previousMonth(QDate(2025, 3, 31)).month, 2);

        QVERIFY(helpProc);
        helpProc();
        QCOMPARE(f->dialogs.lastKind(), QStringLiteral("information"));
        QVERIFY(f->dialogs.lastText().startsWith(
            QStringLiteral("如果右边没有列出表格，请点击[复制上月设置]按钮")));
        QVERIFY(f->dialogs.lastText().contains(
            QStringLiteral("如”出勤天数“、“请假天数”、”加班小时数“之类；\n\n")));
        w->close();
        QVERIFY(!helpProc);
    }

    void copyTakesTheLatestEarlierMonthWithItems() {
        open();
        // Only the base month has items: it is copied whole.
        choose(2024, 5);
        QVERIFY(w->tdMain->isEmpty());
        w->btnCopy->click();
        QCOMPARE(f->itemCount(2024, 5), 35);
        QCOMPARE(w->tdMain->recordCount(), 35);
        QCOMPARE(f->item(2024, 5, "C02", "expression").toString(), QStringLiteral("iif(B01>=26, 100, 0)"));

        // February is the latest month with items before May: the empty March and April, which holds a
        // single stray row, are skipped. Items already in May are replaced, names, formulas and widths.
        f->blankMonth(2024, 2);
        f->setItem(2024, 2, "B01", "二月天数", "25", 9);
        f->cn().exec("insert into salary (year,month,ItemCode,ItemName) values (2024,4,'B01','孤行')");
        choose(2024, 5);
        w->btnCopy->click();
        QCOMPARE(f->itemCount(2024, 5), 35);
        QCOMPARE(f->item(2024, 5, "B01", "ItemName").toString(), QStringLiteral("二月天数"));
        QCOMPARE(f->item(2024, 5, "B01", "printWidth").toInt(), 9);
        QVERIFY(f->item(2024, 5, "C02", "ItemName").isNull());
        QCOMPARE(w->tdMain->valueAt(8, w->tdMain->fieldIndex("ItemName")).toString(),
                 QStringLiteral("二月天数"));

        // Across a year: January takes the December before.
        f->blankMonth(2024, 12);
        f->setItem(2024, 12, "C01", "年终奖", "500", 10);
        choose(2025, 1);
        w->btnCopy->click();
        QCOMPARE(f->item(2025, 1, "C01", "ItemName").toString(), QStringLiteral("年终奖"));
        HX_VERIFY_DIALOGS(f->dialogs);
        QVERIFY(f->dialogs.shown.isEmpty());  // no question is asked
    }

    void copyNeverTouchesTheBaseMonthOrReachesBehindIt() {
        open();
        f->setItem(2003, 11, "B01", "基准", "26", 11);
        f->blankMonth(2003, 10);  // a month before the base month
        f->setItem(2003, 10, "B01", "十月", "20", 5);
        choose(2003, 11);
        w->btnCopy->click();
        QCOMPARE(f->item(2003, 11, "B01", "ItemName").toString(), QStringLiteral("基准"));
        QCOMPARE(f->itemCount(2003, 11), 35);

        // Before the base month only the month immediately before is looked at.
        f->blankMonth(2003, 8);
        f->setItem(2003, 8, "B01", "八月", "1", 1);
        choose(2003, 9);  // August has items: they are copied
        w->btnCopy->click();
        QCOMPARE(f->item(2003, 9, "B01", "ItemName").toString(), QStringLiteral("八月"));
        // The month before October's predecessor is empty: September's own items are kept, not wiped.
        f->cn().exec("delete from salary where year=2003 and month=9");
        choose(2003, 10);
        w->btnCopy->click();
        QCOMPARE(f->item(2003, 10, "B01", "ItemName").toString(), QStringLiteral("十月"));
        QCOMPARE(f->itemCount(2003, 10), 35);
    }

    void fixedItemsAreLockedAndSkyBlue() {
        f->copyBaseMonth(2024, 5);
        open();
        choose(2024, 5);
        w->grdMain->setCurrentIndex(cell("A02", 1));
        QVERIFY(!editable("A02", 1));
        QVERIFY(!editable("A02", 2));
        QVERIFY(editable("A02", 3));
        QVERIFY(!editable("A02", 0));
        w->grdMain->setCurrentIndex(cell("B01", 1));
        QVERIFY(editable("B01", 1));
        QVERIFY(editable("B01", 2));
        QVERIFY(editable("B01", 3));
        QVERIFY(!editable("B01", 0));

        const QColor sky(166, 202, 240);
        w->grdMain->setCurrentIndex(cell("A02", 1));
        QCOMPARE(colourAt(cell("A02", 1)), sky);  // also the selected cell
        QCOMPARE(colourAt(cell("A05", 2)), sky);
        QCOMPARE(colourAt(cell("C01", 0)), sky);
        QVERIFY(colourAt(cell("C01", 1)) != sky);
        w->grdMain->setCurrentIndex(cell("C01", 1));
        QVERIFY(colourAt(cell("C01", 1)) != sky);

        // A fixed item's name takes no typing; its print width is changed and stored.
        hxtest::clickCell(w->grdMain, rowOf("A02"), 1);
        hxtest::type(QStringLiteral("改名"));
        QVERIFY(!hxtest::editing(w->grdMain));
        type("A02", 3, "20", "A03");
        QCOMPARE(f->item(2024, 5, "A02", "printWidth").toInt(), 20);
        QCOMPARE(f->item(2024, 5, "A02", "ItemName").toString(), QStringLiteral("岗位津贴"));
    }

    void savingAnItemClearsUnusedOnesAndWarnsOfFaultyFormulas() {
        f->copyBaseMonth(2024, 5);
        open();
        choose(2024, 5);
        const int before = w->lblSumW->text().toInt();
        type("C01", 1, "", "C02");
        QVERIFY(f->item(2024, 5, "C01", "ItemName").toString().isEmpty());
        QVERIFY(f->item(2024, 5, "C01", "expression").isNull());
        QCOMPARE(f->item(2024, 5, "C01", "printWidth").toInt(), 0);
        QCOMPARE(w->lblSumW->text().toInt(), before - 12);

        // Stored as typed, with a warning that names the problem.
        type("B01", 2, "B02*2", "B02");
        QCOMPARE(f->item(2024, 5, "B01", "expression").toString(), QStringLiteral("B02*2"));
        QCOMPARE(f->dialogs.lastKind(), QStringLiteral("warning"));
        QVERIFY2(f->dialogs.lastText().contains(QStringLiteral("B01 的公式引用了后面的项目 B02")),
                 qPrintable(f->dialogs.lastText()));
        QVERIFY(!f->dialogs.lastText().contains(hx::formulaSyntaxHelp()));
        type("C02", 2, "iif(B01>=26, 100", "C03");
        QVERIFY(f->dialogs.lastText().contains(QStringLiteral("C02 的公式有误")));
        QVERIFY(f->dialogs.lastText().endsWith(hx::formulaSyntaxHelp()));
        QCOMPARE(f->dialogs.shown.size(), 2);
        type("C03", 2, "round(A01*0.05, 2)", "C04");
        QCOMPARE(f->dialogs.shown.size(), 2);
        QCOMPARE(f->item(2024, 5, "C03", "expression").toString(), QStringLiteral("round(A01*0.05, 2)"));

        // What the file cannot hold is refused with its reason and stays to be corrected: neither another
        // row, another family nor closing the window leaves it.
        const QStringList stored = itemRows(2024, 5);
        retype("C03", 3, "+C13");
        hxtest::clickCell(w->grdMain, rowOf("C04"), 3);
        QCOMPARE(f->dialogs.beeps, 1);
        QCOMPARE(f->dialogs.shown.size(), 3);
        QCOMPARE(f->dialogs.lastKind(), QStringLiteral("warning"));
        QCOMPARE(f->dialogs.lastReason(), QStringLiteral("“打印宽度”必须是整数"));
        QCOMPARE(w->tdMain->state(), DataSetState::Edit);
        QCOMPARE(w->grdMain->currentIndex(), cell("C03", 3));
        QCOMPARE(cell("C03", 3).data().toString(), QStringLiteral("+C13"));
        QTest::mouseClick(w->rgDisplayButtons->button(3), Qt::LeftButton);
        hxtest::settle();
        QCOMPARE(w->rgDisplayButtons->checkedId(), 0);
        QCOMPARE(w->tdMain->recordCount(), 35);
        QPointer<TsalaryFrm> window = w;
        w->close();
        hxtest::settle();
        QVERIFY(window && window->isVisible());
        QCOMPARE(f->dialogs.beeps, 3);
        QCOMPARE(itemRows(2024, 5), stored);
        retype("C03", 3, "16");
        hxtest::clickCell(w->grdMain, rowOf("C04"), 3);
        QCOMPARE(w->tdMain->state(), DataSetState::Browse);
        QCOMPARE(f->item(2024, 5, "C03", "printWidth").toInt(), 16);
        QCOMPARE(f->dialogs.shown.size(), 5);
        // A name longer than the column is cut as it is typed, and stored as the cell shows it.
        type("C04", 1, QStringLiteral("一个超过二十个字的项目名称一个超过二十个字的"), "C05");
        QCOMPARE(f->dialogs.beeps, 3);
        QCOMPARE(f->item(2024, 5, "C04", "ItemName").toString(),
                 QStringLiteral("一个超过二十个字的项目名称一个超过二十个"));
        QCOMPARE(w->tdMain->valueAt(rowOf("C03"), w->tdMain->fieldIndex("printWidth")).toInt(), 16);
    }

    void totalWidthAddsTheItemsAndTheTwoFixedColumns() {
        f->blankMonth(2024, 5);
        f->setItem(2024, 5, "A01", "计件", "", 10);
        f->setItem(2024, 5, "B01", "天数", "26", 15);
        f->setItem(2024, 5, "T01", "说明", "", 20);
        f->cn().exec("update wCodeName set wCode=12, wName=15");
        open();
        choose(2024, 5);
        QCOMPARE(w->lblSumW->text(), QStringLiteral("72"));
        // The family filter narrows the grid but not the width.
        w->rgDisplayButtons->button(3)->click();
        QCOMPARE(w->lblSumW->text(), QStringLiteral("72"));
        choose(2024, 6);
        QVERIFY(w->tdMain->isEmpty());
        QCOMPARE(w->lblSumW->text(), QStringLiteral("27"));

        // A width typed into the box is stored when the box is left.
        choose(2024, 5);
        QTest::mouseClick(w->dbWcode, Qt::LeftButton);
        QVERIFY(w->dbWcode->hasFocus());
        hxtest::key(Qt::Key_A, Qt::ControlModifier);
        hxtest::type(QStringLiteral("20"));
        QCOMPARE(f->cn().scalar("select wCode from wCodeName").toInt(), 12);
        hxtest::clickCell(w->grdMain, 0, 3);
        QCOMPARE(f->cn().scalar("select wCode from wCodeName").toInt(), 20);
        QCOMPARE(w->lblSumW->text(), QStringLiteral("80"));
        QCOMPARE(f->cn().scalar("select count(*) from wCodeName").toInt(), 1);
    }

    void familyFilterShowsOneFamilyUntilAnotherMonthIsChosen() {
        f->copyBaseMonth(2024, 5);
        f->copyBaseMonth(2024, 6);
        open();
        choose(2024, 5);
        w->rgDisplayButtons->button(3)->click();
        const QStringList amounts = shownCodes();
        QCOMPARE(amounts.size(), 15);
        QCOMPARE(amounts.first(), QStringLiteral("C01"));
        QCOMPARE(amounts.last(), QStringLiteral("C15"));
        w->rgDisplayButtons->button(4)->click();
        QCOMPARE(shownCodes(), QStringList({"T01", "T02", "T03", "T04", "T05"}));
        choose(2024, 6);
        QCOMPARE(shownCodes().size(), 35);
        QCOMPARE(w->rgDisplayButtons->checkedId(), 4);
    }

    void nameAnItemAndGiveItAFormulaByKeyboard() {
        f->copyBaseMonth(2024, 5);
        open();
        const QStringList before = itemRows(2024, 5);
        const int width = w->lblSumW->text().toInt();
        QVERIFY(hxtest::enterCell(w->grdMain, rowOf("C09"), 1));
        hxtest::type(QStringLiteral("餐补"));
        hxtest::key(Qt::Key_Tab);
        QVERIFY(hxtest::editing(w->grdMain));
        QCOMPARE(w->grdMain->currentIndex(), cell("C09", 2));
        hxtest::type(QStringLiteral("B01*10"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("15"));
        QCOMPARE(itemRows(2024, 5), before);  // nothing stored while the row is being typed
        hxtest::key(Qt::Key_Down);
        QCOMPARE(w->tdMain->state(), DataSetState::Browse);
        QCOMPARE(w->grdMain->currentIndex().row(), rowOf("C10"));
        QStringList after = before;
        after[rowOf("C09")] = QStringLiteral("C09|餐补|B01*10|15");
        QCOMPARE(itemRows(2024, 5), after);
        QCOMPARE(w->lblSumW->text().toInt(), width + 15);

        // Corrected with Enter, left with the up arrow.
        QVERIFY(hxtest::typeOver(w->grdMain, rowOf("C09"), 2, QStringLiteral("round(B01*12.5, 0)")));
        hxtest::key(Qt::Key_Return);
        hxtest::key(Qt::Key_Up);
        after[rowOf("C09")] = QStringLiteral("C09|餐补|round(B01*12.5, 0)|15");
        QCOMPARE(itemRows(2024, 5), after);
        QVERIFY(f->dialogs.shown.isEmpty());
    }

    void theLastRowIsStoredAndNoRowIsAddedOrRemoved() {
        f->copyBaseMonth(2024, 5);
        open();
        const QStringList before = itemRows(2024, 5);
        const int last = rowOf("T05");
        QCOMPARE(last, 34);
        // Down on the last row stores it and stays there.
        QVERIFY(hxtest::enterCell(w->grdMain, last, 1));
        hxtest::type(QStringLiteral("附注"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("见背面"));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(w->tdMain->state(), DataSetState::Browse);
        QCOMPARE(w->tdMain->recordCount(), 35);
        QCOMPARE(w->grdMain->currentIndex().row(), last);
        QStringList after = before;
        after[last] = QStringLiteral("T05|附注|见背面|0");
        QCOMPARE(itemRows(2024, 5), after);
        // So does Tab out of the last cell, without a word.
        QVERIFY(hxtest::typeOver(w->grdMain, last, 3, QStringLiteral("9")));
        hxtest::key(Qt::Key_Tab);
        QCOMPARE(w->tdMain->state(), DataSetState::Browse);
        after[last] = QStringLiteral("T05|附注|见背面|9");
        QCOMPARE(itemRows(2024, 5), after);
        // Ctrl+Delete deletes nothing and asks nothing, also while a cell is edited; Esc takes the typing
        // back.
        QVERIFY(hxtest::enterCell(w->grdMain, rowOf("C02"), 1));
        hxtest::type(QStringLiteral("废项"));
        hxtest::key(Qt::Key_Home);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(hxtest::editing(w->grdMain));
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(editor);
        QCOMPARE(editor->text(), QStringLiteral("废项"));  // the text is not erased either
        hxtest::key(Qt::Key_Escape);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        hxtest::key(Qt::Key_Down);
        QCOMPARE(itemRows(2024, 5), after);
        QCOMPARE(w->tdMain->recordCount(), 35);
        QVERIFY(f->dialogs.shown.isEmpty());

        // Nor can a command add or remove a row, here or in the widths.
        QVERIFY_THROWS_EXCEPTION(DbError, w->tdMain->append());
        QVERIFY_THROWS_EXCEPTION(DbError, w->tdWcn->remove());
        QCOMPARE(f->cn().scalar("select count(*) from wCodeName").toInt(), 1);
        QCOMPARE(f->itemCount(2024, 5), 35);
    }

    void generationAsksThenOpensTheSheet() {
        f->copyBaseMonth(2024, 5);
        f->addWorker("001", "张三", {{"salaryDay", 8}, {"A02", 300}});
        open();
        choose(2024, 6);
        QTest::mouseClick(w->btnCreate, Qt::LeftButton);  // June has no items
        QCOMPARE(f->dialogs.lastText(), QStringLiteral("尚未进行本月的工资项目设置，无法生成工资表！"));
        QCOMPARE(f->dialogs.lastKind(), QStringLiteral("information"));

        choose(2024, 5);
        w->cbbDateB->setDate(QDate(2024, 4, 26));
        w->cbbDateE->setDate(QDate(2024, 5, 25));
        f->dialogs.answer(Answer::No);
        w->btnCreate->click();
        QCOMPARE(f->dialogs.lastText(),
                 QStringLiteral("验证以下信息：\n\n发薪月份为：2024 年 5 月\n发薪批次日期为：8 号\n"
                                "计件工资起讫日期为：从 2024-04-26 到 2024-05-25\n\n"
                                "以上信息全部正确，并确定要生成该工资表吗？"));
        QCOMPARE(f->dialogs.confirmIcons.last(), QStringLiteral("question"));
        QCOMPARE(f->cn().scalar("select count(*) from salaryData").toInt(), 0);

        // A faulty formula: nothing is written, the cause is shown, the window stays.
        f->setItem(2024, 5, "C03", "奖金", "A02/(B02-0)", 12);
        f->dialogs.answer(Answer::Yes);
        w->btnCreate->click();
        QCOMPARE(f->dialogs.lastKind(), QStringLiteral("error"));
        QCOMPARE(f->dialogs.lastText(),
                 QStringLiteral("工资表创建失败，请稍候重试。\n\n"
                                "C03 的公式“A02/(B02-0)”无法计算（工号 001）：除数为零"));
        QVERIFY(w->isVisible());
        QCOMPARE(f->cn().scalar("select count(*) from salaryData").toInt(), 0);

        f->setItem(2024, 5, "C03", "奖金", "0", 12);
        QSignalSpy generated(w.data(), &TsalaryFrm::sheetGenerated);
        f->dialogs.answer(Answer::Yes);
        w->btnCreate->click();
        QCOMPARE(f->dialogs.lastText(),
                 QStringLiteral("2024年5月工资表创建成功，请到《工资表》中查看打印。"));
        QCOMPARE(generated.count(), 1);
        QCOMPARE(generated.first(), QVariantList({2024, 5, 8}));
        QCOMPARE(f->cell(2024, 5, 8, "001", "A02").toInt(), 300);
        QVERIFY(!w->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(w.isNull());  // freed on closing
    }

    void regeneratingAnExistingSheetWarnsFirst() {
        f->copyBaseMonth(2024, 5);
        f->addWorker("001", "张三", {{"salaryDay", 8}, {"A02", 0}});
        generateSalarySheet(f->cn(), {2024, 5, 8}, QDate(2024, 5, 1), QDate(2024, 5, 31));
        f->cn().exec("update salaryData set B01=20");
        open();
        choose(2024, 5);
        f->dialogs.answer(Answer::No);
        w->btnCreate->click();
        QCOMPARE(f->dialogs.lastText(),
                 QStringLiteral(
                     "系统发现工资表中2024年5月已有 8号的发薪记录，系统将重建该批员工的该月工资数据。\n\n"
                     "如果你录入了诸如考勤时间等在工资表中直接录入的数据，将会被默认值代替。\n\n"
                     "确定要生成新的工资表吗？"));
        QCOMPARE(f->dialogs.shown.size(), 1);
        QCOMPARE(f->dialogs.confirmIcons.last(), QStringLiteral("warning"));
        QCOMPARE(f->cell(2024, 5, 8, "001", "B01").toInt(), 20);

        f->dialogs.answer(Answer::Yes).answer(Answer::Yes);
        w->btnCreate->click();
        QCOMPARE(f->cell(2024, 5, 8, "001", "B01").toInt(), 26);
    }
};

HX_BOTH_ENGINES;
HX_WINDOW_TEST_MAIN(TestSalary)
#include "tst_salary.moc"
