#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QtTest>

#include "core/data/clock.h"
#include "core/payroll/generation.h"
#include "core/payroll/periods.h"
#include "core/reports/rvproject.h"
#include "gui/payroll/salary.h"
#include "gui/payroll/salarydata.h"
#include "gui/shell/session.h"
#include "gui/widgets/mydbgrid.h"
#include "support/gridmenu.h"
#include "support/windowfixture.h"
#include "support/xlsxreader.h"

using namespace hx;

namespace {
const SheetBatch may8{2024, 5, 8};
constexpr int firstItemColumn = 2;  // staffCode and staffName come first
}  // namespace

class TestSalaryData : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::WindowFixture> f;
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
        const qint64 job = f->addProcess("J1", {{"UnitPrice", 2.6}});
        const QStringList codes{"003", "001", "002", "004"};
        for (int i = 0; i < codes.size(); ++i) {
            const qint64 id = f->addWorker(codes[i], QStringLiteral("工人%1").arg(3 - i),
                                           {{"salaryDay", i == 3 ? 20 : 8}, {"A02", 100 * i}});
            f->addPieceRecord(QDate(2024, 5, 10), id, job, 1000 * (i + 1));
        }
        generateSalarySheet(f->cn(), may8, QDate(2024, 5, 1), QDate(2024, 5, 31));
        generateSalarySheet(f->cn(), {2024, 5, 20}, QDate(2024, 5, 1), QDate(2024, 5, 31));
    }
    void open(const SheetBatch& batch) {
        w = f->openWindow<TsalaryDataFrm>(batch);
        QVERIFY(w);
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
    // Clicks into the worker's cell and types over what it holds; the text stays in the cell editor.
    void type(const QString& staffCode, const QString& field, const QString& text) {
        QVERIFY(hxtest::typeOver(w->grdMain, rowOf(staffCode), column(field), text));
    }
    double stored(const QString& staffCode, const QString& field) {
        return f->cell(may8.year, may8.month, may8.day, staffCode, field).toDouble();
    }
    // The batch's rows as the file holds them, one text per row in the order of the codes.
    QStringList sheetRows(const SheetBatch& batch) {
        QStringList rows;
        PreparedStatement q = f->cn().query(
            "select * from salaryData where Year=? and Month=? and salaryDay=? "
            "order by staffCode",
            {batch.year, batch.month, batch.day});
        while (q.next()) {
            QStringList values;
            for (int c = 0; c < q.columnCount(); ++c) values << q.value(c).toString();
            rows << values.join('|');
        }
        return rows;
    }
    // A stored amount or number as the sheet shows it.
    static QString asShown(const QString& field, double value) {
        return QString::number(value, 'f', field.startsWith('B') ? 1 : 2);
    }
    // Every shown row and the totals hold what the batch holds in the file, cell by cell.
    void verifySheetShowsWhatIsStored() {
        for (int c = firstItemColumn; c < w->grdMain->model()->columnCount(); ++c) {
            const QString field = w->grdMain->dataModel()->column(c).field;
            if (w->grdMain->isColumnHidden(c) || field.startsWith('T')) continue;
            for (int r = 0; r < w->tdMain->recordCount(); ++r) {
                const QString code = shown(w->grdMain, r, "staffCode");
                QCOMPARE(shown(w->grdMain, r, field), asShown(field, stored(code, field)));
            }
            const double total =
                f->cn()
                    .scalar(QStringLiteral("select sum(%1) from salaryData where Year=? and Month=? and "
                                           "salaryDay=?")
                                .arg(field),
                            {may8.year, may8.month, may8.day})
                    .toDouble();
            QCOMPARE(shown(w->grdSum, 0, field), asShown(field, total));
        }
    }
    // The values of the worker's slip, as the PDF holds them: the line that starts with his code.
    static QStringList slipLine(const QString& text, const QString& staffCode) {
        for (const QString& line : text.split('\n')) {
            const QStringList words = line.simplified().split(' ');
            if (words.first() == staffCode) return words;
        }
        return {};
    }

  private slots:
    void init() {
        setToday(QDate(2024, 6, 12));
        f = std::make_unique<hxtest::WindowFixture>();
    }
    void cleanup() {
        delete w.data();  // also a sheet window made without the fixture
        HX_FINISH_FIXTURE(f);
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
        QVERIFY(w->btnPrintBar->isVisible());  // the pay slips are printed from here
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
            "where year=2003 and month=11 and ItemCode < 'B02'");
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

    void editAnAttendanceValueAndSeeTheRecalculatedPay() {
        prepareMay();
        open(may8);
        const QStringList before = sheetRows(may8);
        // Days attended typed over the default of 26, the row left with the up arrow: the worker's formulas
        // follow in the database at once.
        type("002", "B01", "20");
        QCOMPARE(stored("002", "B01"), 26.0);
        hxtest::key(Qt::Key_Up);
        QCOMPARE(w->tdMain->recNo(), rowOf("001"));
        QVERIFY(QTest::qWaitFor([this] { return hxtest::editing(w->grdMain); }));
        QCOMPARE(stored("002", "B01"), 20.0);
        QCOMPARE(stored("002", "C02"), 0.0);      // 全勤奖 iif(B01>=26, 100, 0)
        QCOMPARE(stored("002", "C03"), 400.0);    // 日薪 (7,800 + 200) / 20
        QCOMPARE(sheetRows(may8)[0], before[0]);  // the other workers are untouched
        QCOMPARE(sheetRows(may8)[2], before[2]);
        // The row and the totals show at once what is stored; the sheet stays where it was.
        QCOMPARE(shown(w->grdMain, rowOf("002"), "C02"), QStringLiteral("0.00"));
        QCOMPARE(shown(w->grdMain, rowOf("002"), "C03"), QStringLiteral("400.00"));
        QCOMPARE(shown(w->grdSum, 0, "B01"), QStringLiteral("72.0"));
        QCOMPARE(shown(w->grdSum, 0, "C02"), QStringLiteral("200.00"));
        verifySheetShowsWhatIsStored();
        QCOMPARE(w->tdMain->recNo(), rowOf("001"));
        QCOMPARE(w->grdMain->currentIndex(), w->grdMain->model()->index(rowOf("001"), column("B01")));

        // Slips printed straight away, with a value still in the cell editor, say what is stored: 20 days
        // and no full-attendance bonus, and the overtime pay of the hour just typed.
        QFile rav(f->dir.file(QStringLiteral("rptBar.rav")));
        QVERIFY(rav.open(QIODevice::WriteOnly));
        rav.write(defaultReportProject().toUtf8());
        rav.close();
        type("001", "B02", "1");
        const QString pdf = f->dir.file(QStringLiteral("slips.pdf"));
        hxtest::printSlipsToFile(w->btnPrintBar, pdf);
        QVERIFY(f->activate(w));
        QCOMPARE(stored("001", "B02"), 1.0);
        QCOMPARE(stored("001", "C01"), 8.0);
        verifySheetShowsWhatIsStored();
        if (!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
            const QString text = hxtest::pdfText(pdf);
            QVERIFY(!text.isNull());
            for (const QString code : {"001", "002", "003"}) {
                QStringList expected{code, shown(w->grdMain, rowOf(code), "staffName")};
                for (const char* field : {"A01", "A02", "B01", "B02", "C01", "C02", "C03"})
                    expected << asShown(field, stored(code, field));
                QCOMPARE(slipLine(text, code), expected);
            }
        }

        // A second edit of the same row is accepted and recalculated again: two cells, Tab between them.
        type("002", "B01", "25");
        hxtest::key(Qt::Key_Tab);
        QCOMPARE(w->grdMain->currentIndex().column(), column("B02"));
        hxtest::type(QStringLiteral("2"));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(stored("002", "B01"), 25.0);  // typed over a constant default: kept
        QCOMPARE(stored("002", "B02"), 2.0);
        QCOMPARE(stored("002", "C01"), 16.0);  // 加班费 round(B02*8, 2)
        QCOMPARE(stored("002", "C03"), 320.0);
        // A corrected piece wage changes what depends on it; F5 stores the row still in the editor first.
        type("003", "A01", "2574");
        hxtest::key(Qt::Key_Return);
        type("003", "C01", "30");
        hxtest::key(Qt::Key_F5);
        QCOMPARE(stored("003", "A01"), 2574.0);
        QCOMPARE(stored("003", "C03"), 99.0);  // (2,574 + 0) / 26
        QCOMPARE(stored("003", "C01"), 0.0);   // round(B02*8, 2): a formula, recomputed over the typed value

        // After F5 the sheet and its totals show the recalculated pay.
        QCOMPARE(w->tdMain->recNo(), 0);
        QCOMPARE(shown(w->grdMain, rowOf("002"), "C03"), QStringLiteral("320.00"));
        QCOMPARE(shown(w->grdMain, rowOf("002"), "B01"), QStringLiteral("25.0"));
        QCOMPARE(shown(w->grdSum, 0, "B01"), QStringLiteral("77.0"));
        QCOMPARE(shown(w->grdSum, 0, "C03"), QStringLiteral("622.85"));  // 203.85 + 320 + 99
        QCOMPARE(shown(w->grdSum, 0, "A01"), QStringLiteral("15574.00"));
        QCOMPARE(f->cn().scalar("select sum(C03) from salaryData where salaryDay=8").toDouble(), 622.85);
        QVERIFY(f->dialogs.shown.isEmpty());
    }

    void aFaultyFormulaIsReportedAndTheRowStaysSaved() {
        prepareMay();
        open(may8);
        type("001", "B01", "0");
        hxtest::key(Qt::Key_Down);
        QCOMPARE(f->dialogs.lastKind(), QStringLiteral("error"));
        QVERIFY2(f->dialogs.lastText().contains(QStringLiteral("C03")) &&
                     f->dialogs.lastText().contains(QStringLiteral("除数为零")),
                 qPrintable(f->dialogs.lastText()));
        QCOMPARE(stored("001", "B01"), 0.0);
        QCOMPARE(stored("001", "C02"), 0.0);  // the items before C03 are recalculated
        QCOMPARE(w->tdMain->recNo(), rowOf("002"));
    }

    void aValueTheSheetCannotHoldStaysWithItsReasonUntilEsc() {
        prepareMay();
        open(may8);
        const QStringList before = sheetRows(may8);
        type("002", "B02", "3");
        hxtest::key(Qt::Key_Tab);
        type("002", "B01", "abc");
        hxtest::key(Qt::Key_Down);
        QCOMPARE(f->dialogs.beeps, 1);
        QCOMPARE(f->dialogs.shown.size(), 1);
        QCOMPARE(f->dialogs.lastReason(), QStringLiteral("“出勤天数”必须是数字"));
        QCOMPARE(w->tdMain->state(), DataSetState::Edit);
        QVERIFY(QTest::qWaitFor([this] { return hxtest::editing(w->grdMain); }));
        QCOMPARE(w->grdMain->currentIndex().column(), column("B01"));
        QCOMPARE(sheetRows(may8), before);  // nothing stored, nothing recalculated
        hxtest::key(Qt::Key_Escape);        // the whole row's typing is dropped
        QCOMPARE(shown(w->grdMain, rowOf("002"), "B01"), QStringLiteral("26.0"));
        QCOMPARE(shown(w->grdMain, rowOf("002"), "B02"), QStringLiteral("0.0"));
        QCOMPARE(w->tdMain->state(), DataSetState::Browse);
        QCOMPARE(w->tdMain->recNo(), rowOf("002"));
    }

    void theLastRowIsStoredAndNoRowIsAddedOrRemoved() {
        prepareMay();
        open(may8);
        const QStringList before = sheetRows(may8);
        // The down arrow on the last row stores it, recalculated, and stays there, without a word.
        type("003", "B01", "21");
        hxtest::key(Qt::Key_Down);
        QCOMPARE(w->tdMain->state(), DataSetState::Browse);
        QCOMPARE(w->tdMain->recordCount(), 3);
        QCOMPARE(w->tdMain->recNo(), 2);
        QVERIFY(QTest::qWaitFor([this] { return hxtest::editing(w->grdMain); }));
        QCOMPARE(stored("003", "B01"), 21.0);
        QCOMPARE(stored("003", "C02"), 0.0);
        // Tab out of the last cell likewise.
        type("003", "T01", "rest");
        hxtest::key(Qt::Key_Tab);
        QCOMPARE(w->tdMain->state(), DataSetState::Browse);
        QCOMPARE(f->cell(2024, 5, 8, "003", "T01").toString(), QStringLiteral("rest"));
        // Ctrl+Delete asks nothing and deletes nothing, also while a cell is edited.
        type("002", "T01", "x");
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(hxtest::editing(w->grdMain));
        hxtest::key(Qt::Key_Escape);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(w->tdMain->recordCount(), 3);
        QCOMPARE(f->cn().scalar("select count(*) from salaryData where salaryDay=8").toInt(), 3);
        QCOMPARE(sheetRows(may8)[0], before[0]);
        QCOMPARE(sheetRows(may8)[1], before[1]);
        QVERIFY(f->dialogs.shown.isEmpty());
        // Nor does a command add or remove a row.
        QVERIFY_THROWS_EXCEPTION(DbError, w->tdMain->append());
        QVERIFY_THROWS_EXCEPTION(DbError, w->tdMain->remove());
    }

    void aRowLeftAfterItsBatchWasRegeneratedChangesNothingAndSaysSo() {
        prepareMay();
        // A new worker of the batch's pay day, and new fixed amounts: when it is generated again, every row
        // of the batch is replaced by another that holds something else.
        generateSalarySheet(f->cn(), may8, QDate(2024, 5, 1), QDate(2024, 5, 31));
        f->addWorker("000", QStringLiteral("新人"), {{"salaryDay", 8}, {"A02", 0}});
        const QStringList before = sheetRows(may8);
        open(may8);
        type("002", "B01", "20");
        f->cn().exec("update staff set A02 = A02 + 1 where salaryDay = 8");

        // The accountant turns to the salary setup and generates the same batch again.
        QPointer<TsalaryFrm> setup = f->openWindow<TsalaryFrm>();
        QVERIFY(setup);
        QCOMPARE(setup->cbbDay->currentText(), QStringLiteral("8"));
        f->dialogs.answer(Answer::Yes).answer(Answer::Yes);
        QTest::mouseClick(setup->btnCreate, Qt::LeftButton);
        QCOMPARE(f->dialogs.lastText(),
                 QStringLiteral("2024年5月工资表创建成功，请到《工资表》中查看打印。"));
        const QStringList regenerated = sheetRows(may8);
        QCOMPARE(regenerated.size(), 4);
        QVERIFY(!regenerated.contains(before[1]));
        HX_VERIFY_DIALOGS(f->dialogs);
        f->dialogs.reset();

        // Back in the sheet, the row is left: nothing is written anywhere, the accountant is told, and what
        // he typed stays until Esc, which drops the row that is no longer there.
        const auto toldOnce = [this] {
            return f->dialogs.texts().size() == 1 &&
                   f->dialogs.lastText().startsWith(hxtest::rowChangedText());
        };
        QVERIFY(f->activate(w));
        QVERIFY(QTest::qWaitFor([this] { return hxtest::editing(w->grdMain); }));
        hxtest::key(Qt::Key_Up);
        QVERIFY(toldOnce());
        QCOMPARE(f->dialogs.lastKind(), QStringLiteral("warning"));
        QCOMPARE(sheetRows(may8), regenerated);
        QCOMPARE(stored("001", "B01"), 26.0);
        QCOMPARE(w->tdMain->state(), DataSetState::Edit);
        QCOMPARE(w->tdMain->asString("staffCode"), QStringLiteral("002"));
        // Esc shows what is stored now: the worker's row of the batch as generated again.
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(w->tdMain->state(), DataSetState::Browse);
        QCOMPARE(w->tdMain->recordCount(), 3);
        QCOMPARE(w->tdMain->asString("staffCode"), QStringLiteral("002"));
        QCOMPARE(w->tdMain->asDouble("B01"), stored("002", "B01"));
        hxtest::key(Qt::Key_F5);
        QCOMPARE(w->tdMain->recordCount(), 4);
        QCOMPARE(sheetRows(may8), regenerated);

        // The same when the sheet is turned to the new batch after a generation, with a value still in the
        // cell editor of a row that the generation removed.
        f->dialogs.reset();
        type("003", "B01", "19");
        f->cn().exec("update staff set Firedd=-1 where StaffCode='000'");
        f->cn().exec("update staff set A02 = A02 + 1 where salaryDay = 8");
        generateSalarySheet(f->cn(), may8, QDate(2024, 5, 1), QDate(2024, 5, 31));
        const QStringList again = sheetRows(may8);
        w->showBatch(may8);
        QVERIFY(toldOnce());
        QCOMPARE(sheetRows(may8), again);
        QCOMPARE(stored("003", "B01"), 26.0);
        QCOMPARE(w->tdMain->state(), DataSetState::Edit);
        hxtest::key(Qt::Key_Escape);
        w->showBatch(may8);
        QCOMPARE(w->tdMain->recordCount(), 3);
    }

    void totalsFollowTheSheetsColumnWidthsAndScrolling() {
        prepareMay();
        open(may8);
        w->grdMain->setColumnWidth(column("A01"), 140);
        QCOMPARE(w->grdSum->columnWidth(column("A01")), 140);
        w->grdMain->horizontalHeader()->resizeSection(1, 80);
        QCOMPARE(w->grdSum->columnWidth(1), 80);
        // "更新计算" rereads the rows and keeps the widths, in both grids.
        QVERIFY(hxtest::enterCell(w->grdMain, 0, column("B01")));
        hxtest::key(Qt::Key_F5);
        QCOMPARE(w->grdMain->columnWidth(column("A01")), 140);
        QCOMPARE(w->grdSum->columnWidth(column("A01")), 140);
        QCOMPARE(w->grdMain->columnWidth(1), 80);
        QCOMPARE(w->grdSum->columnWidth(1), 80);
        w->resize(400, 300);
        QApplication::processEvents();
        QScrollBar* sheetBar = w->grdMain->horizontalScrollBar();
        QVERIFY(sheetBar->maximum() > 0);
        sheetBar->setValue(sheetBar->maximum());
        QCOMPARE(w->grdSum->horizontalScrollBar()->value(), sheetBar->value());
        // Same position on the screen for every visible column in both grids, also after "更新计算" and
        // after a stored row rereads the totals, with the sheet scrolled to its end.
        auto verifyLinedUp = [this] {
            for (int c = 0; c < w->grdMain->model()->columnCount(); ++c) {
                QCOMPARE(w->grdSum->isColumnHidden(c), w->grdMain->isColumnHidden(c));
                if (w->grdMain->isColumnHidden(c)) continue;
                QCOMPARE(w->grdSum->columnWidth(c), w->grdMain->columnWidth(c));
                QCOMPARE(
                    w->grdSum->columnViewportPosition(c) + w->grdSum->viewport()->mapTo(w, QPoint()).x(),
                    w->grdMain->columnViewportPosition(c) + w->grdMain->viewport()->mapTo(w, QPoint()).x());
            }
        };
        verifyLinedUp();
        QVERIFY(hxtest::enterCell(w->grdMain, 1, column("C03")));
        hxtest::key(Qt::Key_F5);
        hxtest::settle();
        verifyLinedUp();
        // A piece wage that makes the total wider than its column: the column grows, the total shows whole.
        type("002", "A01", "147643.5");
        hxtest::key(Qt::Key_Down);
        hxtest::settle();
        verifyLinedUp();
        sheetBar->setValue(sheetBar->maximum());
        hxtest::settle();
        verifyLinedUp();
        const QString total = shown(w->grdSum, 0, "A01");
        QCOMPARE(total, QStringLiteral("155443.50"));
        const int margins =
            2 * (w->grdSum->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w->grdSum) + 1);
        QVERIFY2(w->grdSum->fontMetrics().horizontalAdvance(total) + margins <
                     w->grdSum->columnWidth(column("A01")),
                 qPrintable(total));
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
        setToday(QDate(2024, 1, 20));  // in January the month before lies in the year before
        w = new TsalaryDataFrm;
        QCOMPARE(w->loadedBatch(), (SheetBatch{2023, 12, 1}));
        QCOMPARE(w->cbbDay->currentText(), QStringLiteral("1"));
        f->cn().exec("update salaryData set A01=5739.707 where staffCode='001' and salaryDay=8");
        w->showBatch(may8);
        QCOMPARE(w->tdMain->recordCount(), 3);
        QCOMPARE(shown(w->grdMain, 0, "A01"), QStringLiteral("5739.71"));

        // The export holds the stored amount, shown as the sheet shows it.
        const QString file = f->dir.file("工资表.xlsx");
        f->dialogs.chooseFile(file);
        w->btnExcel->click();
        const auto cells = hxtest::readSheet(file);
        QCOMPARE(cells["C1"].value, QStringLiteral("计件工资"));
        QCOMPARE(cells["C2"].value, QStringLiteral("5739.707"));
        QCOMPARE(cells["C2"].numberFormat, QStringLiteral("0.00"));
        QCOMPARE(cells["E1"].value, QStringLiteral("出勤天数"));
        QCOMPARE(cells["E2"].numberFormat, QStringLiteral("0.0"));

        QVERIFY(f->activate(w));
        helpProc();
        QVERIFY(f->dialogs.lastText().startsWith(QStringLiteral("表格的快捷菜单中有\"更新计算(F5键)\"功能")));
        QVERIFY(f->dialogs.lastText().endsWith(QStringLiteral("[EXCEL]\n将工资表格导出到EXCEL表格中保存。")));

        // A value still in the cell editor is kept when the window closes.
        type("001", "T01", "sick");
        w->close();
        QCOMPARE(f->cell(2024, 5, 8, "001", "T01").toString(), QStringLiteral("sick"));
        QVERIFY(!helpProc);
    }
};

HX_BOTH_ENGINES;
HX_WINDOW_TEST_MAIN(TestSalaryData)
#include "tst_salarydata.moc"
