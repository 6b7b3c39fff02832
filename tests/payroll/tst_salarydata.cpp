#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include "data/mydbgrid.h"
#include "payroll/generation.h"
#include "payroll/periods.h"
#include "payroll/salaryData.h"
#include "payrollfixture.h"
#include "shell/session.h"

using namespace hx;

namespace {
const SheetBatch may8{2024, 5, 8};
constexpr int firstItemColumn = 2;  // staffCode and staffName come first
}  // namespace

class TestSalaryData : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::PayrollFixture> f;
    QPointer<TsalaryDataFrm> w;

    // May 2024: base items, then B03, C04 to C15 and T02 to T05 without names. Three workers of pay day 8
    // and one of pay day 20, each with piece work.
    void prepareMay() {
        f->copyBaseMonth(2024, 5);
        f->setItem(2024, 5, "B03", "", QString());
        for (const char* code : {"C04", "C05", "C06", "C07", "C08", "C09", "C10", "C11", "C12", "C13", "C14",
                                 "C15", "T02", "T03", "T04", "T05"})
            f->setItem(2024, 5, code, "", QString());
        f->setItem(2024, 5, "C03", "日薪", "round((A01+A02)/B01, 2)", 12);
        const qint64 job = f->addJob("J1", 2.6);
        const QStringList codes{"003", "001", "002", "004"};
        for (int i = 0; i < codes.size(); ++i) {
            const qint64 id =
                f->addWorker(codes[i], QStringLiteral("工人%1").arg(3 - i), i == 3 ? 20 : 8, 100 * i);
            f->addRecord(QDate(2024, 5, 10), id, job, 1000 * (i + 1));
        }
        generateSalarySheet(f->cn(), may8, QDate(2024, 5, 1), QDate(2024, 5, 31));
        generateSalarySheet(f->cn(), {2024, 5, 20}, QDate(2024, 5, 1), QDate(2024, 5, 31));
    }
    void open(const SheetBatch& batch) {
        w = new TsalaryDataFrm(batch);
        w->show();
        QApplication::setActiveWindow(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        w->grdMain->setFocus();
    }
    int column(const QString& field) {
        return field == "staffCode" ? 0 : field == "staffName" ? 1 : firstItemColumn + salaryItemIndex(field);
    }
    QString shown(TMyDBGrid* grid, int row, const QString& field) {
        return grid->model()->index(row, column(field)).data().toString();
    }
    QStringList visibleTitles() {
        QStringList titles;
        for (int c = 0; c < w->grdMain->model()->columnCount(); ++c)
            if (!w->grdMain->isColumnHidden(c)) titles << w->grdMain->columnTitle(c);
        return titles;
    }
    int rowOf(const QString& staffCode) {
        for (int r = 0; r < w->tdMain->recordCount(); ++r)
            if (shown(w->grdMain, r, "staffCode") == staffCode) return r;
        return -1;
    }
    void type(const QString& staffCode, const QString& field, const QString& text) {
        const QModelIndex index = w->grdMain->model()->index(rowOf(staffCode), column(field));
        w->grdMain->setCurrentIndex(index);
        QVERIFY(w->grdMain->model()->setData(index, text));
    }
    void leaveRowTo(const QString& staffCode) {
        w->grdMain->setCurrentIndex(w->grdMain->model()->index(rowOf(staffCode), 0));
        QCOMPARE(w->tdMain->state(), DataSetState::Browse);
    }
    double stored(const QString& staffCode, const QString& field) {
        return f->cell(may8.year, may8.month, may8.day, staffCode, field).toDouble();
    }

  private slots:
    void init() { f = std::make_unique<hxtest::PayrollFixture>(); }
    void cleanup() {
        delete w.data();
        HX_VERIFY_DIALOGS(f->dialogs);
        f.reset();
    }

    void onlyNamedItemsHaveColumnsTitledWithTheirNames() {
        prepareMay();
        open(may8);
        QCOMPARE(w->windowTitle(), QStringLiteral("工资表"));
        QCOMPARE(visibleTitles(), QStringList({"工号", "姓名", "计件工资", "岗位津贴", "出勤天数", "加班小时",
                                               "加班费", "全勤奖", "日薪", "备注"}));
        QCOMPARE(w->grdMain->columnWidth(0), 55);
        QCOMPARE(w->grdMain->columnWidth(1), 45);
        QVERIFY(w->itemColumnWidth() >= 50);
        for (int c = 0; c < w->grdMain->model()->columnCount(); ++c) {
            QCOMPARE(w->grdSum->isColumnHidden(c), w->grdMain->isColumnHidden(c));
            if (w->grdMain->isColumnHidden(c)) continue;
            QCOMPARE(w->grdSum->columnWidth(c), w->grdMain->columnWidth(c));
            if (c < firstItemColumn) continue;
            // At least the item width, and wide enough to show the month's total whole.
            QVERIFY(w->grdMain->columnWidth(c) >= w->itemColumnWidth());
            const QString total = w->grdSum->model()->index(0, c).data().toString();
            QVERIFY2(w->grdSum->fontMetrics().horizontalAdvance(total) < w->grdMain->columnWidth(c),
                     qPrintable(total));
        }
        QVERIFY(w->grdMain->isColumnHidden(column("A03")));
        QVERIFY(w->grdMain->isColumnHidden(column("B03")));
        QVERIFY(!w->grdMain->isColumnHidden(column("C03")));
        QVERIFY(w->grdSum->horizontalHeader()->isHidden());
        QVERIFY(!w->btnPrintBar->isVisible());
        QVERIFY(w->btnExcel->isVisible());

        // Rows of the batch in the order of the workers' codes, amounts with two decimals, numbers with one.
        QCOMPARE(w->tdMain->recordCount(), 3);
        QCOMPARE(shown(w->grdMain, 0, "staffCode"), QStringLiteral("001"));
        QCOMPARE(shown(w->grdMain, 2, "staffCode"), QStringLiteral("003"));
        QCOMPARE(shown(w->grdMain, 0, "A01"), QStringLiteral("5200.00"));
        QCOMPARE(shown(w->grdMain, 0, "B01"), QStringLiteral("26.0"));
        QCOMPARE(shown(w->grdMain, 0, "C03"), QStringLiteral("203.85"));

        // Another pay day of the month: its rows under the same titles; a day without a sheet: nothing.
        w->cbbDay->setCurrentIndex(w->cbbDay->findText("20"));
        QCOMPARE(w->loadedBatch(), (SheetBatch{2024, 5, 20}));
        QCOMPARE(w->tdMain->recordCount(), 1);
        QCOMPARE(shown(w->grdMain, 0, "staffCode"), QStringLiteral("004"));
        QCOMPARE(visibleTitles().size(), 10);
        w->cbbDay->setCurrentIndex(w->cbbDay->findText("21"));
        QVERIFY(w->tdMain->isEmpty());
        QVERIFY(w->tdSum->isEmpty());

        // A month without items shows the code and name only; one with fewer rows hides the rest.
        w->cbbMonth->setCurrentIndex(w->cbbMonth->findText("6"));
        QCOMPARE(visibleTitles(), QStringList({"工号", "姓名"}));
        f->cn().exec(
            "insert into salary select 2024, 7, ItemCode, ItemName, expression, printWidth from salary "
            "where [year]=2003 and [month]=11 and ItemCode < 'B02'");
        w->cbbMonth->setCurrentIndex(w->cbbMonth->findText("7"));
        QCOMPARE(visibleTitles(), QStringList({"工号", "姓名", "计件工资", "岗位津贴", "出勤天数"}));
        QVERIFY(w->grdMain->isColumnHidden(column("B02")));
    }

    void totalsRowSumsTheBatch() {
        prepareMay();
        open(may8);
        QCOMPARE(w->tdSum->recordCount(), 1);
        QCOMPARE(shown(w->grdSum, 0, "staffCode"), QStringLiteral("合计"));
        QCOMPARE(shown(w->grdSum, 0, "staffName").trimmed(), QString());
        QCOMPARE(shown(w->grdSum, 0, "T01").trimmed(), QString());
        QCOMPARE(shown(w->grdSum, 0, "A01"), QStringLiteral("15600.00"));  // 2,600 + 5,200 + 7,800
        QCOMPARE(shown(w->grdSum, 0, "A02"), QStringLiteral("300.00"));
        QCOMPARE(shown(w->grdSum, 0, "B01"), QStringLiteral("78.0"));
        // 203.85 + 307.69 + 100: each row's rounded amount, summed without binary residue.
        QCOMPARE(shown(w->grdSum, 0, "C03"), QStringLiteral("611.54"));
        QVERIFY(w->grdSum->isReadOnly());
    }

    void aSavedRowIsRecalculatedAndF5ShowsIt() {
        prepareMay();
        open(may8);
        // Days attended typed over the default of 26: the worker's formulas follow in the database at once.
        type("002", "B01", "20");
        leaveRowTo("001");
        QCOMPARE(stored("002", "B01"), 20.0);
        QCOMPARE(stored("002", "C02"), 0.0);    // 全勤奖 iif(B01>=26, 100, 0)
        QCOMPARE(stored("002", "C03"), 400.0);  // (7,800 + 200) / 20
        QCOMPARE(stored("003", "C03"), 100.0);  // other workers untouched
        // The grid still shows what it read; the totals too.
        QCOMPARE(shown(w->grdMain, rowOf("002"), "C03"), QStringLiteral("307.69"));
        QCOMPARE(shown(w->grdSum, 0, "B01"), QStringLiteral("78.0"));

        // A second edit of the same row is accepted and recalculated again.
        type("002", "B01", "25");
        type("002", "B02", "2");
        leaveRowTo("003");
        QCOMPARE(stored("002", "B01"), 25.0);  // typed over a constant default: kept
        QCOMPARE(stored("002", "B02"), 2.0);
        QCOMPARE(stored("002", "C01"), 16.0);  // 加班费 round(B02*8, 2)
        QCOMPARE(stored("002", "C03"), 320.0);
        // A corrected piece wage changes what depends on it; a typed constant survives.
        type("003", "A01", "2574");
        type("003", "C01", "30");
        w->pRefresh->trigger();                // saves the row being edited first
        QCOMPARE(stored("003", "C03"), 99.0);  // (2,574 + 0) / 26
        QCOMPARE(stored("003", "C01"), 0.0);   // round(B02*8, 2): a formula, recomputed over the typed value

        QCOMPARE(w->tdMain->recNo(), 0);
        QCOMPARE(shown(w->grdMain, rowOf("002"), "C03"), QStringLiteral("320.00"));
        QCOMPARE(shown(w->grdMain, rowOf("002"), "B01"), QStringLiteral("25.0"));
        QCOMPARE(shown(w->grdSum, 0, "B01"), QStringLiteral("77.0"));
        QCOMPARE(shown(w->grdSum, 0, "C03"), QStringLiteral("622.85"));  // 203.85 + 320 + 99
        QCOMPARE(shown(w->grdSum, 0, "A01"), QStringLiteral("15574.00"));

        // F5 in the sheet is the same command.
        type("001", "B01", "26.5");
        QTest::keyClick(w->grdMain, Qt::Key_F5);
        QCOMPARE(stored("001", "B01"), 26.5);
        QCOMPARE(shown(w->grdSum, 0, "B01"), QStringLiteral("77.5"));
    }

    void aFaultyFormulaIsReportedAndTheRowStaysSaved() {
        prepareMay();
        open(may8);
        type("001", "B01", "0");
        leaveRowTo("002");
        QCOMPARE(f->dialogs.lastKind(), QStringLiteral("error"));
        QVERIFY2(f->dialogs.lastText().contains(QStringLiteral("C03")) &&
                     f->dialogs.lastText().contains(QStringLiteral("除数为零")),
                 qPrintable(f->dialogs.lastText()));
        QCOMPARE(stored("001", "B01"), 0.0);
        QCOMPARE(stored("001", "C02"), 0.0);  // the items before C03 are recalculated
        QCOMPARE(w->tdMain->recNo(), rowOf("002"));
    }

    void rowsAreNeitherAddedNorRemoved() {
        prepareMay();
        open(may8);
        w->grdMain->setCurrentIndex(w->grdMain->model()->index(2, 0));
        QTest::keyClick(w->grdMain, Qt::Key_Down);
        QTest::keyClick(w->grdMain, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(w->tdMain->recordCount(), 3);
        QCOMPARE(w->tdMain->state(), DataSetState::Browse);
        QVERIFY_THROWS_EXCEPTION(DbError, w->tdMain->append());
        QVERIFY_THROWS_EXCEPTION(DbError, w->tdMain->remove());
        QCOMPARE(f->cn().scalar("select count(*) from salaryData where salaryDay=8").toInt(), 3);
        QVERIFY(f->dialogs.shown.isEmpty());
    }

    void totalsFollowTheSheetsColumnWidthsAndScrolling() {
        prepareMay();
        open(may8);
        w->grdMain->setColumnWidth(column("A01"), 140);
        QCOMPARE(w->grdSum->columnWidth(column("A01")), 140);
        w->grdMain->horizontalHeader()->resizeSection(1, 80);
        QCOMPARE(w->grdSum->columnWidth(1), 80);
        w->resize(400, 300);
        QApplication::processEvents();
        QScrollBar* sheetBar = w->grdMain->horizontalScrollBar();
        QVERIFY(sheetBar->maximum() > 0);
        sheetBar->setValue(sheetBar->maximum());
        QCOMPARE(w->grdSum->horizontalScrollBar()->value(), sheetBar->value());
        // Same position on the screen for the last visible column in both grids.
        const int last = column("T01");
        QCOMPARE(w->grdSum->columnViewportPosition(last) + w->grdSum->viewport()->mapTo(w, QPoint()).x(),
                 w->grdMain->columnViewportPosition(last) + w->grdMain->viewport()->mapTo(w, QPoint()).x());
    }

    void sortIsInMemoryUntilTheSheetIsChosenAgain() {
        prepareMay();
        open(may8);
        w->grdMain->setCurrentIndex(w->grdMain->model()->index(0, column("staffName")));
        QVERIFY(w->PopupMenu1->actions().contains(w->pSort));
        w->pSort->trigger();
        QCOMPARE(shown(w->grdMain, 0, "staffCode"), QStringLiteral("002"));  // 工人1 < 工人2 < 工人3
        QCOMPARE(shown(w->grdMain, 2, "staffCode"), QStringLiteral("003"));
        w->showBatch(may8);
        QCOMPARE(shown(w->grdMain, 0, "staffCode"), QStringLiteral("001"));
    }

    void opensOnTheMonthBeforeTodayAndExports() {
        prepareMay();
        w = new TsalaryDataFrm;
        const YearMonth before = previousMonth(QDate::currentDate());
        QCOMPARE(w->loadedBatch(), (SheetBatch{before.year, before.month, 1}));
        QCOMPARE(w->cbbDay->currentText(), QStringLiteral("1"));
        w->showBatch(may8);
        QCOMPARE(w->tdMain->recordCount(), 3);

        const QString file = f->dir.file("工资表.xlsx");
        f->dialogs.chooseFile(file);
        w->btnExcel->click();
        QVERIFY(QFile::exists(file));
        QVERIFY(QFileInfo(file).size() > 0);

        w->show();
        QApplication::setActiveWindow(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        helpProc();
        QVERIFY(f->dialogs.lastText().startsWith(QStringLiteral("表格的快捷菜单中有\"更新计算(F5键)\"功能")));
        QVERIFY(f->dialogs.lastText().endsWith(QStringLiteral("[EXCEL]\n将工资表格导出到EXCEL表格中保存。")));

        // A value typed but not yet stored is kept when the window closes.
        type("001", "T01", "病假");
        w->close();
        QCOMPARE(f->cell(2024, 5, 8, "001", "T01").toString(), QStringLiteral("病假"));
        QVERIFY(!helpProc);
    }
};

QTEST_MAIN(TestSalaryData)
#include "tst_salarydata.moc"
