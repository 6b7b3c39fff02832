#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDateEdit>
#include <QHeaderView>
#include <QHorizontalBarSeries>
#include <QHorizontalStackedBarSeries>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>
#include <limits>
#include <thread>

#include "core/data/clock.h"
#include "core/data/datamodule.h"
#include "core/statistics/analysequeries.h"
#include "core/statistics/chartdata.h"
#include "core/statistics/groupedtotals.h"
#include "gui/reports/rvrender.h"
#include "gui/statistics/analyse.h"
#include "gui/statistics/statisticscharts.h"
#include "gui/widgets/mydbgrid.h"
#include "support/testsupport.h"
#include "support/windowfixture.h"
#include "support/xlsxreader.h"

using namespace hx;

namespace {
QDate d(int month, int day) {
    return QDate(2025, month, day);
}
}  // namespace

class TestAnalyse : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::WindowFixture> fixture;
    hxtest::ScriptedDialogs* dialogs = nullptr;
    hxtest::TempProgramDir* dir = nullptr;
    QPointer<TAnalyseFrm> win;
    QString accountSet;

    Connection& cn() { return fixture->cn(); }
    int addStaff(const QString& code, const QString& name, const QVariant& group, const QString& level,
                 int salaryDay, int fired = 0) {
        return int(fixture->addWorker(code, name,
                                      {{"ClassGroup", group},
                                       {"LevelSalary", fixture->money(level)},
                                       {"salaryDay", salaryDay},
                                       {"Firedd", fired}}));
    }
    int addJob(const QString& code, const QVariant& style, const QString& price, int stopped = 0) {
        return int(fixture->addProcess(
            code, {{"StyleGroup", style}, {"UnitPrice", fixture->money(price)}, {"stopp", stopped}}));
    }
    void addWork(const QDate& day, int staff, int job, int qty) {
        fixture->addPieceRecord(day, staff, job, qty);
    }

    // The window shown and active, as the main panel opens it.
    bool openWindow() {
        win = fixture->openWindow<TAnalyseFrm>(fixture->set);
        return win;
    }
    template <class T>
    T* child(const char* name) {
        return fixture->child<T>(win, QLatin1String(name));
    }
    TMyDBGrid* grid(const char* name) { return child<TMyDBGrid>(name); }
    DataSet* ds(const char* name) { return child<DataSet>(name); }
    // The user clicks the page's tab, and the window's buttons and check boxes.
    void showPage(int page) {
        QTabBar* tabs = child<QTabWidget>("PageControl1")->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(page).center());
        hxtest::settle();
    }
    void clickButton(const char* name) {
        QTest::mouseClick(child<QPushButton>(name), Qt::LeftButton);
        hxtest::settle();
    }
    void setBox(const char* name, bool checked) {
        auto* box = child<QCheckBox>(name);
        if (box->isChecked() != checked) QTest::mouseClick(box, Qt::LeftButton);
    }
    void setRange(const char* from, const char* to, const QDate& a, const QDate& b) {
        child<QDateEdit>(from)->setDate(a);
        child<QDateEdit>(to)->setDate(b);
    }
    void runOutputCheck(const QDate& a, const QDate& b, const QString& group = QString()) {
        showPage(0);
        setRange("conaDateB", "conaDateE", a, b);
        // The group typed into the list's text, replacing what was there.
        auto* groups = child<QComboBox>("conaGroup");
        QTest::mouseClick(groups->lineEdit(), Qt::LeftButton);
        hxtest::key(Qt::Key_A, Qt::ControlModifier);
        hxtest::key(Qt::Key_Delete);
        hxtest::type(group);
        QCOMPARE(groups->currentText(), group);
        clickButton("btnaa");
    }
    void runGrouped(const QDate& a, const QDate& b, const QStringList& boxes) {
        showPage(1);
        setRange("conbDateB", "conbDateE", a, b);
        for (const char* name : {"chkDate", "chkGroup", "chkStaff", "chkStyle", "chkJob", "chkSalaryDay",
                                 "conNotFired", "conNotStopped"})
            setBox(name, boxes.contains(QLatin1String(name)));
        clickButton("btnBB");
    }
    void runFree(const QString& text) {
        showPage(2);
        child<QPlainTextEdit>("mmSQL")->setPlainText(text);
        clickButton("btnCC");
        // The query runs on a thread of its own: its result is there when the running strip goes.
        QTRY_VERIFY_WITH_TIMEOUT(!win->freeQueryRunning(), 20000);
        hxtest::settle();
    }
    // The display texts of one column of a grid, top to bottom.
    QStringList column(TMyDBGrid* g, int c) {
        QStringList values;
        for (int r = 0; r < g->model()->rowCount(); ++r) values << g->model()->index(r, c).data().toString();
        return values;
    }
    QStringList titles(TMyDBGrid* g) {
        QStringList values;
        for (int c = 0; c < g->model()->columnCount(); ++c) values << g->columnTitle(c);
        return values;
    }
    // Row of a worker in page 1's result.
    int rowOf(const QString& code) {
        DataSet* r = ds("cdsMainA");
        for (int i = 0; i < r->recordCount(); ++i)
            if (r->valueAt(i, 0).toString() == code) return i;
        return -1;
    }
    Money moneyAt(const char* dataSet, int row, const QString& field) {
        DataSet* r = ds(dataSet);
        return Money::fromVariant(r->valueAt(row, r->fieldIndex(field)));
    }
    // A click into the column, then "排序" of the grid's menu.
    void sortBy(const char* gridName, int columnIndex) {
        TMyDBGrid* g = grid(gridName);
        if (columnIndex >= 0) hxtest::clickCell(g, 0, columnIndex);
        child<QAction>("popSort")->trigger();
    }
    QByteArray fileDigest() {
        QFile f(accountSet);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    }
    QString exportPath(const QString& name) { return dir->file(name); }

    // The output check's result of June as the window fills it.
    void fillJuneOutputCheck(DataSet& result) {
        DataSet query(&cn());
        query.setFieldType(QStringLiteral("levelS"), FieldType::Double);
        query.setFieldType(QStringLiteral("tmy"), FieldType::Money);
        const Statement st = outputCheckStatement(d(6, 1), d(6, 30), QString());
        query.setSql(st.sql);
        query.setParams(st.params);
        query.open();
        result.defineFields(outputCheckFields());
        fillOutputCheck(query, result);
    }

    // Salary sheet rows: code, pay day, year, month and the item C15.
    void addSheetRow(int year, int month, int salaryDay, const QString& code, const QString& c15,
                     const QString& a01 = QStringLiteral("0")) {
        cn().exec(QStringLiteral("insert into salaryData (Year,Month,salaryDay,staffCode,A01,C15) "
                                 "values (?,?,?,?,?,?)"),
                  {year, month, salaryDay, code, fixture->money(a01), fixture->money(c15)});
    }
    void nameItem(int year, int month, const QString& code, const QString& name) {
        cn().exec(QStringLiteral("insert into salary (year,month,ItemCode,ItemName,expression,printWidth) "
                                 "values (?,?,?,?,'',0)"),
                  {year, month, code, name});
    }

    QChart* chartOf(const char* panel) { return child<ChartPanel>(panel)->chart(); }
    template <class S>
    QList<S*> seriesOf(QChart* chart) {
        QList<S*> found;
        for (QAbstractSeries* s : chart->series())
            if (auto* typed = qobject_cast<S*>(s)) found << typed;
        return found;
    }
    static QList<double> valuesOf(const QBarSet* set) {
        QList<double> values;
        for (int i = 0; i < set->count(); ++i) values << set->at(i);
        return values;
    }
    static QList<double> yOf(const QXYSeries* series) {
        QList<double> values;
        for (const QPointF& p : series->points()) values << p.y();
        return values;
    }
    // Values of a chart, each as near as a double's last digits to the figure expected.
    static void compareValues(const QList<double>& actual, const QList<double>& expected) {
        QCOMPARE(actual.size(), expected.size());
        for (int i = 0; i < actual.size(); ++i) QCOMPARE(actual[i], expected[i]);
    }
    // A click where the chart draws the value (x, y) of the series.
    void clickChartAt(const char* panel, QAbstractSeries* series, const QPointF& value) {
        QChartView* view = child<ChartPanel>(panel)->view();
        const QPointF scene = view->chart()->mapToScene(view->chart()->mapToPosition(value, series));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->mapFromScene(scene));
        hxtest::settle();
    }
    // The colour the grid paints a cell's background in, away from its text.
    QRgb cellColor(TMyDBGrid* g, int row, int col) {
        const QRect cell = g->visualRect(g->model()->index(row, col));
        return g->viewport()->grab().toImage().pixel(cell.left() + 3, cell.center().y());
    }

    int zhang = 0, li = 0, wang = 0, zhao = 0;
    int j01 = 0, j02 = 0, j03 = 0;

  private slots:
    void init() {
        hx::setToday(QDate(2025, 7, 15));
        fixture = std::make_unique<hxtest::WindowFixture>(QStringLiteral("统计"));
        dialogs = &fixture->dialogs;
        dir = &fixture->dir;
        accountSet = fixture->accountSet;
        zhang = addStaff("001", "张三", "车缝", "3000", 8);
        li = addStaff("002", "李四", "O'Neil组", "2500", 15);
        wang = addStaff("003", "王五", "车缝", "0", 8, -1);
        zhao = addStaff("004", "赵六", "后整", "1800", 8);
        addStaff("005", "钱七", QVariant(), "2000", 8);  // no group, no records
        j01 = addJob("J01", "春装A", "0.35");
        j02 = addJob("J02", "春装A", "1.2345");
        j03 = addJob("J03", "冬装", "0.1", -1);
        // June: 张三 on two days and two processes, with two records of one process on one day.
        addWork(d(6, 1), zhang, j01, 100);
        addWork(d(6, 1), zhang, j01, 20);
        addWork(d(6, 1), zhang, j02, 7);
        addWork(d(6, 2), zhang, j03, 3);
        addWork(d(6, 2), li, j02, 1000);
        addWork(d(6, 30), wang, j01, 10);
        addWork(d(6, 15), zhao, j03, 1);
        addWork(d(6, 15), zhao, j03, 2);
        // Outside June.
        addWork(d(7, 1), zhang, j01, 50);
        addWork(d(5, 31), li, j01, 40);
    }
    void cleanup() {
        dialogs = nullptr;
        dir = nullptr;
        HX_FINISH_FIXTURE(fixture);
    }

    // ---- the statements

    // The grouped rows of a query as texts, a row's values joined by "|".
    QStringList groupedRows(const GroupedTotalsQuery& query, QStringList* fieldNames = nullptr) {
        DataSet rows;
        fillGroupedTotals(cn(), query, rows);
        if (fieldNames) {
            fieldNames->clear();
            for (const Field& f : rows.fields()) *fieldNames << f.name;
        }
        QStringList texts;
        for (int r = 0; r < rows.recordCount(); ++r) {
            QStringList values;
            for (int f = 0; f < rows.fieldCount(); ++f) values << rows.textAt(r, f);
            texts << values.join(QLatin1Char('|'));
        }
        return texts;
    }
    static Grouping groupingOf(int bits) {
        return {bool(bits & 1), bool(bits & 2),  bool(bits & 4),
                bool(bits & 8), bool(bits & 16), bool(bits & 32)};
    }

    void groupedTotalsFollowTheChosenItems() {
        QStringList names;
        // Nothing chosen: the one row of the sums.
        QCOMPARE(groupedRows({d(6, 1), d(6, 30), false, false, Grouping()}, &names),
                 QStringList({"1143|¥1,289.24"}));
        QCOMPARE(names, QStringList({"数量", "金额"}));
        Grouping date;
        date.date = true;
        QCOMPARE(groupedRows({d(6, 1), d(6, 30), false, false, date}),
                 QStringList({"2025-06-01|127|¥50.64", "2025-06-02|1003|¥1,234.80", "2025-06-15|3|¥0.30",
                              "2025-06-30|10|¥3.50"}));
        // 员工 alone: one row per worker, ordered by the work number: a namesake keeps a row of his own
        // and "000" comes first although the names would put him with "001".
        Grouping staff;
        staff.staff = true;
        const int namesake = addStaff("000", "张三", "车缝", "100", 8);
        addWork(d(6, 3), namesake, j01, 5);
        QCOMPARE(groupedRows({d(6, 1), d(6, 30), false, false, staff}, &names),
                 QStringList({"000|张三|5|¥1.75", "001|张三|130|¥50.94", "002|李四|1000|¥1,234.50",
                              "003|王五|10|¥3.50", "004|赵六|3|¥0.30"}));
        QCOMPARE(names, QStringList({"工号", "姓名", "数量", "金额"}));
        // 班组 alone sums the workers of a group, the namesake with 张三 and 王五.
        Grouping group;
        group.classGroup = true;
        DataSet byGroup;
        fillGroupedTotals(cn(), {d(6, 1), d(6, 30), false, false, group}, byGroup);
        QCOMPARE(byGroup.recordCount(), 3);
        QCOMPARE(byGroup.valueAt(0, 0).toString(), QStringLiteral("O'Neil组"));
        QCOMPARE(byGroup.valueAt(2, 0).toString(), QStringLiteral("车缝"));
        QCOMPARE(byGroup.valueAt(2, 1).toLongLong(), 145);
        // 50.9415 + 10 × 0.35 + 5 × 0.35
        QCOMPARE(Money::fromVariant(byGroup.valueAt(2, 2)), *Money::parse("56.1915"));
        // All six: the columns in the fixed order.
        groupedRows({d(6, 1), d(6, 30), false, false, groupingOf(63)}, &names);
        QCOMPARE(names,
                 QStringList({"日期", "班组", "工号", "姓名", "款式", "工序", "发薪日", "数量", "金额"}));
        // A range backwards holds no day, and one day holds that day.
        QCOMPARE(groupedRows({d(6, 30), d(6, 1), false, false, staff}), QStringList());
        QCOMPARE(groupedRows({d(6, 2), d(6, 2), false, false, staff}),
                 QStringList({"001|张三|3|¥0.30", "002|李四|1000|¥1,234.50"}));
    }

    void everyGroupingGivesTheDatabasesOwnGroups() {
        // Texts that order differently by their bytes than by their look, groups without a value, a
        // process without a price, a record of a worker no longer registered.
        const int nine = addStaff("9", "九", QVariant(), "0", 31);
        const int ten = addStaff("10", "十", "B组", "0", 1);
        const int a = addJob("a", QVariant(), "2");
        const int upperB = addJob("B", "冬装", "0.0001");
        const int free = addJob("Z", "春装A", "0");
        cn().exec(QStringLiteral("update job set UnitPrice = null where JobID = ?"), {free});
        int n = 0;
        for (const int staffId : {zhang, li, wang, zhao, nine, ten})
            for (const int jobId : {j01, j02, j03, a, upperB, free})
                for (const int day : {3, 4})
                    if ((staffId + jobId + day + n++) % 3 != 0) addWork(d(6, day), staffId, jobId, n % 7 + 1);
        addWork(d(6, 4), 999, j01, 5);
        addWork(d(6, 4), zhang, 999, 5);

        const QStringList columns = {"dateD",      "classGroup", "staffCode,staffName",
                                     "styleGroup", "jobCode",    "salaryDay"};
        for (int bits = 0; bits < 64; ++bits) {
            for (const bool exclude : {false, true}) {
                QStringList chosen;
                for (int i = 0; i < 6; ++i)
                    if (bits & (1 << i)) chosen << columns[i];
                const QString list = chosen.join(QLatin1Char(','));
                const QString sql =
                    QStringLiteral("select ") + (list.isEmpty() ? QString() : list + QLatin1Char(',')) +
                    QStringLiteral("sum(qty), sum(tmyUnits) from qryData where dateD between ? and ?") +
                    (exclude ? QStringLiteral(" and firedd = 0 and stopp = 0") : QString()) +
                    (list.isEmpty()
                         ? QString()
                         : QStringLiteral(" group by ") + list + " order by " +
                               QString(list).replace(QLatin1Char(','), " nulls first,") + " nulls first");
                DataSet expected(&cn());
                expected.setSql(sql);
                expected.setParams({d(6, 1), d(6, 30)});
                expected.open();
                QStringList texts;
                for (int r = 0; r < expected.recordCount(); ++r) {
                    QStringList values;
                    for (int f = 0; f < expected.fieldCount() - 1; ++f) values << expected.textAt(r, f);
                    const QVariant units = expected.valueAt(r, expected.fieldCount() - 1);
                    values << (units.isNull()
                                   ? QString()
                                   : formatValue(QVariant::fromValue(Money::fromUnits(units.toLongLong())),
                                                 FieldType::Money, currencyFormat()));
                    texts << values.join(QLatin1Char('|'));
                }
                QCOMPARE(groupedRows({d(6, 1), d(6, 30), exclude, exclude, groupingOf(bits)}), texts);
            }
        }
    }

    void outputCheckStatementBindsDaysGroupAndDates() {
        // The days of the range whatever the order of the pickers; the range itself as given.
        const Statement all = outputCheckStatement(d(6, 30), d(6, 1), QString());
        QCOMPARE(all.sql, QStringLiteral("select staffCode, staffName, avg(?*levelSalary/30.0) as levelS,"
                                         "sum(tmyUnits)/10000.0 as tmy from qryDataDay where 1=1 and dateD "
                                         "between ? and ? group by staffCode,staffName order by staffCode"));
        QCOMPARE(all.params, QVariantList({30, d(6, 30), d(6, 1)}));
        QCOMPARE(outputCheckStatement(d(6, 12), d(6, 12), QString()).params.first(), QVariant(1));
        QCOMPARE(outputCheckStatement(QDate(2024, 2, 1), QDate(2024, 3, 1), QString()).params.first(),
                 QVariant(30));  // across a leap day
        const Statement one = outputCheckStatement(d(6, 1), d(6, 30), QStringLiteral("O'Neil组"));
        QVERIFY(one.sql.contains(QStringLiteral("where classGroup=? and dateD between ? and ?")));
        QCOMPARE(one.params, QVariantList({30, QStringLiteral("O'Neil组"), d(6, 1), d(6, 30)}));
    }

    // ---- the figures behind the charts

    void outputBarsRunFromTheLowestPercentageAndMarkThoseShortOfTheNormalWage() {
        DataSet result;
        fillJuneOutputCheck(result);
        const std::vector<OutputBar> bars = outputBars(result);
        QStringList codes;
        for (const OutputBar& b : bars) codes << b.staffCode;
        // 赵六 0.3 of 1800, 张三 50.9415 of 3000, 李四 1234.5 of 2500, 王五 without a normal wage: 100 %.
        QCOMPARE(codes, QStringList({"004", "001", "002", "003"}));
        QCOMPARE(bars[0].percent, 100 * 0.3 / 1800);
        QCOMPARE(bars[1].percent, 100 * 50.9415 / 3000);
        QCOMPARE(bars[2].percent, 100 * 1234.5 / 2500);
        QCOMPARE(bars[3].percent, 100.0);
        QVERIFY(bars[2].belowFull() && !bars[3].belowFull());
        QCOMPARE(bars[1].staffName, QStringLiteral("张三"));
        // The bars follow the rows the table shows: sorted by name, the same bars in the same order.
        result.setSort(QStringLiteral("staffName ASC"));
        QCOMPARE(outputBars(result).front().staffCode, QStringLiteral("004"));
        // Equal percentages keep the table's order.
        DataSet ties;
        ties.defineFields(outputCheckFields());
        ties.openWithRows({{"B", "乙", 10.0, 1.0, 9.0, 10.0},
                           {"A", "甲", 10.0, 1.0, 9.0, 10.0},
                           {"C", "丙", 0.0, 0.0, 0.0, QVariant()}});
        codes.clear();
        for (const OutputBar& b : outputBars(ties)) codes << b.staffCode;
        QCOMPARE(codes, QStringList({"B", "A"}));  // a row without a percentage draws no bar
    }

    void dayTotalsCoverEveryDayOfTheRangeSummedOverTheOtherGroupings() {
        for (const int bits : {1, 1 | 4, 1 | 2 | 4 | 8 | 16 | 32}) {
            DataSet rows;
            fillGroupedTotals(cn(), {d(5, 31), d(6, 3), false, false, groupingOf(bits)}, rows);
            const std::vector<DayTotal> days = dayTotals(rows, d(5, 31), d(6, 3));
            QCOMPARE(int(days.size()), 4);
            QCOMPARE(days[0].day, d(5, 31));
            QCOMPARE(days[0].qty, 40);  // 李四 40 × J01
            QCOMPARE(days[0].amount, *Money::parse("14"));
            QCOMPARE(days[1].qty, 127);  // 张三 120 × J01 + 7 × J02
            QCOMPARE(days[1].amount, *Money::parse("50.6415"));
            QCOMPARE(days[2].qty, 1003);  // 张三 3 × J03, 李四 1000 × J02
            QCOMPARE(days[2].amount, *Money::parse("1234.8"));
            QCOMPARE(days[3].qty, 0);  // a day without records
            QCOMPARE(days[3].amount, Money());
        }
        DataSet rows;
        fillGroupedTotals(cn(), {d(6, 1), d(6, 30), false, false, groupingOf(1)}, rows);
        QVERIFY(dayTotals(rows, d(6, 30), d(6, 1)).empty());
        // Rows outside the range asked for are not drawn.
        QCOMPARE(dayTotals(rows, d(6, 2), d(6, 2)).front().qty, 1003);
    }

    void largestGroupsKeepTheLargestAndSumTheRestAsOthers() {
        Grouping staff;
        staff.staff = true;
        DataSet rows;
        fillGroupedTotals(cn(), {d(6, 1), d(6, 30), false, false, staff}, rows);
        std::vector<GroupBar> bars = largestGroups(rows, 2);
        QCOMPARE(int(bars.size()), 3);
        QCOMPARE(bars[0].label, QStringLiteral("002 李四"));
        QCOMPARE(bars[0].amount, *Money::parse("1234.5"));
        QCOMPARE(bars[1].label, QStringLiteral("001 张三"));
        QCOMPARE(bars[1].qty, 130);
        QCOMPARE(bars[2].label, otherGroupsLabel());
        QCOMPARE(bars[2].groupCount, 2);
        QCOMPARE(bars[2].qty, 13);                       // 王五 10, 赵六 3
        QCOMPARE(bars[2].amount, *Money::parse("3.8"));  // 3.5 + 0.3
        // One group beyond the largest shows under its own name: "其他" would hide which it is.
        bars = largestGroups(rows, 3);
        QCOMPARE(int(bars.size()), 4);
        QCOMPARE(bars[3].label, QStringLiteral("004 赵六"));
        // Several items joined, a missing value named; without a grouping the one bar of the sums.
        fillGroupedTotals(cn(), {d(6, 1), d(6, 30), false, false, groupingOf(2 | 8)}, rows);
        QCOMPARE(largestGroups(rows, 10).front().label, QStringLiteral("O'Neil组 / 春装A"));
        addStaff("006", "孙八", QVariant(), "0", 8);
        addWork(d(6, 9), int(cn().scalar("select staffID from staff where StaffCode='006'").toInt()), j01, 1);
        fillGroupedTotals(cn(), {d(6, 9), d(6, 9), false, false, groupingOf(2)}, rows);
        QCOMPARE(largestGroups(rows, 10).front().label, QStringLiteral("（空）"));
        fillGroupedTotals(cn(), {d(6, 1), d(6, 30), false, false, Grouping()}, rows);
        bars = largestGroups(rows, 10);
        QCOMPARE(int(bars.size()), 1);
        QCOMPARE(bars[0].label, QStringLiteral("合计"));
        QCOMPARE(bars[0].qty, 1143 + 1);  // with 孙八's piece
        // Equal amounts: more pieces first, then the table's order.
        DataSet equal;
        equal.defineFields(groupedTotalsFields(groupingOf(2)));
        equal.openWithRows({{"甲", 1, QVariant::fromValue(Money::fromYuan(5))},
                            {"乙", 2, QVariant::fromValue(Money::fromYuan(5))},
                            {"丙", 2, QVariant::fromValue(Money::fromYuan(5))}});
        QStringList labels;
        for (const GroupBar& b : largestGroups(equal, 10)) labels << b.label;
        QCOMPARE(labels, QStringList({"乙", "丙", "甲"}));
    }

    void monthComparisonSetsEachClassGroupAgainstTheMonthBefore() {
        // June, pay day 8: 张三 (车缝) 1000, 赵六 (后整) 800, 钱七 (no group) 500 and a work number no
        // longer registered 100; 李四 has pay day 15 and stays out. May: 张三 900 and 60 pieces.
        addSheetRow(2025, 6, 8, "001", "1000", "50.94");
        addSheetRow(2025, 6, 8, "004", "800");
        addSheetRow(2025, 6, 8, "005", "500");
        addSheetRow(2025, 6, 8, "X99", "100");
        addSheetRow(2025, 6, 15, "002", "2000");
        addSheetRow(2025, 5, 8, "001", "900");
        addWork(d(5, 20), zhang, j01, 60);
        DataSet rows;
        fillMonthComparison(cn(), MonthComparisonQuery(2025, 6, 8, QStringLiteral("C15")), rows);
        QStringList fieldNames;
        for (const Field& f : rows.fields()) fieldNames << f.name;
        QCOMPARE(fieldNames, QStringList({"班组", "本月工资", "上月工资", "工资变化", "本月数量", "上月数量",
                                          "数量变化"}));
        QStringList texts;
        for (int r = 0; r < rows.recordCount(); ++r) {
            QStringList values;
            for (int f = 0; f < rows.fieldCount(); ++f) values << rows.textAt(r, f);
            texts << values.join(QLatin1Char('|'));
        }
        // 车缝: 1000 against 900 (+11.1 %), pieces 张三 130 + 王五 10 against 60 (+133.3 %); nothing to
        // compare with gives no change rather than a division by zero.
        QCOMPARE(texts,
                 QStringList({"后整|¥800.00|¥0.00||3|0|", "车缝|¥1,000.00|¥900.00|11.1 %|140|60|133.3 %",
                              "（无班组）|¥600.00|¥0.00||0|0|"}));
        QCOMPARE(rows.valueAt(1, 3).toDouble(), 100.0 / 9);
        // The piece wage item of the same sheets.
        fillMonthComparison(cn(), MonthComparisonQuery(2025, 6, 8, QStringLiteral("a01")), rows);
        QCOMPARE(Money::fromVariant(rows.valueAt(1, 1)), *Money::parse("50.94"));
        // January is set against December of the year before; a fall is a negative change.
        addSheetRow(2025, 12, 8, "001", "600");
        addSheetRow(2026, 1, 8, "001", "450");
        fillMonthComparison(cn(), MonthComparisonQuery(2026, 1, 8, QStringLiteral("C15")), rows);
        QCOMPARE(rows.recordCount(), 1);
        QCOMPARE(rows.valueAt(0, 3).toDouble(), -25.0);
        // Only a money item of the sheet is summed: anything else is refused before a statement is made.
        for (const char* item : {"T01", "B01", "staffName", "A01) from staff; --", ""})
            QVERIFY_THROWS_EXCEPTION(
                DbError,
                fillMonthComparison(cn(), MonthComparisonQuery(2025, 6, 8, QString::fromUtf8(item)), rows));
        QCOMPARE(percentChange(-200, -100).value(), 50.0);
        QVERIFY(!percentChange(0, 5));
    }

    void payItemsOfAMonthOfferTheNamedMoneyItemsAndGuessTheTotal() {
        nameItem(2025, 6, "A01", "");
        nameItem(2025, 6, "A02", "");
        nameItem(2025, 6, "B01", "出勤天数");
        nameItem(2025, 6, "C01", "合计");
        nameItem(2025, 6, "C14", "应发工资");
        nameItem(2025, 6, "C15", "实发工资");
        nameItem(2025, 6, "T01", "备注");
        QVector<PayItem> items = comparablePayItems(cn(), 2025, 6);
        QStringList texts;
        for (const PayItem& item : items) texts << item.code + QLatin1Char(' ') + item.name;
        QCOMPARE(texts, QStringList({"A01 计件工资", "C01 合计", "C14 应发工资", "C15 实发工资"}));
        QCOMPARE(totalPayItem(items), QStringLiteral("C15"));
        items.removeLast();
        QCOMPARE(totalPayItem(items), QStringLiteral("C14"));
        // A month not set up still offers the piece wage, which is then the pay compared.
        items = comparablePayItems(cn(), 2024, 1);
        QCOMPARE(items.size(), 1);
        QCOMPARE(totalPayItem(items), QStringLiteral("A01"));
    }

    // ---- the window

    void windowOpensOnTheFirstPageWithDefaults() {
        QVERIFY(openWindow());
        QCOMPARE(win->windowTitle(), QStringLiteral("统计分析"));
        // Wider than the table alone: each result has its chart beside it, within a 1366 × 768 screen.
        QCOMPARE(win->size(), QSize(1180, 660));
        auto* pages = child<QTabWidget>("PageControl1");
        QCOMPARE(QStringList({pages->tabText(0), pages->tabText(1), pages->tabText(2), pages->tabText(3)}),
                 QStringList({"员工产值检查", "生产汇总统计", "SQL自由查询", "月度对比"}));
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("tabJobQuery"));
        const QDate today = hx::today();
        QCOMPARE(today, QDate(2025, 7, 15));
        for (const char* name : {"conaDateB", "conbDateB"})
            QCOMPARE(child<QDateEdit>(name)->date(), today.addDays(-30));
        for (const char* name : {"conaDateE", "conbDateE"}) QCOMPARE(child<QDateEdit>(name)->date(), today);
        QCOMPARE(child<QPlainTextEdit>("mmSQL")->toPlainText(), QStringLiteral("select"));
        // Real group names only: no empty entry, no empty text.
        auto* groups = child<QComboBox>("conaGroup");
        QStringList items;
        for (int i = 0; i < groups->count(); ++i) items << groups->itemText(i);
        items.sort();
        QCOMPARE(items, QStringList({"O'Neil组", "后整", "车缝"}));
        QVERIFY(groups->currentText().isEmpty());
        // 月度对比 starts on the month before today's, its piece wage when the month names no total pay.
        QCOMPARE(child<QDateEdit>("condMonth")->date(), d(6, 1));
        QCOMPARE(child<QComboBox>("condItem")->currentData().toString(), QStringLiteral("A01"));
    }

    // ---- 员工产值检查

    void outputCheckOverAThirtyDayRange() {
        QVERIFY(openWindow());
        runOutputCheck(d(6, 1), d(6, 30));
        QCOMPARE(column(grid("grdMainA"), 0), QStringList({"001", "002", "003", "004"}));
        const int z = rowOf("001");
        // N = 30: the monthly wage itself. Piece wages: 120 × 0.35 + 7 × 1.2345 + 3 × 0.1, exact.
        QCOMPARE(moneyAt("cdsMainA", z, "levelS"), *Money::parse("3000"));
        QCOMPARE(moneyAt("cdsMainA", z, "tmy"), *Money::parse("50.9415"));
        QCOMPARE(moneyAt("cdsMainA", z, "notFinish"), *Money::parse("2949.0585"));
        const auto* model = grid("grdMainA")->model();
        QCOMPARE(model->index(z, 2).data().toString(), QStringLiteral("¥3,000.00"));
        QCOMPARE(model->index(z, 3).data().toString(), QStringLiteral("¥50.94"));
        QCOMPARE(model->index(z, 5).data().toString(), QStringLiteral("1.7 %"));
        // 李四: 1000 × 1.2345 = 1234.5 of 2500, 49.38 % shown with one decimal.
        const int l = rowOf("002");
        QCOMPARE(moneyAt("cdsMainA", l, "tmy"), *Money::parse("1234.5"));
        QCOMPARE(model->index(l, 5).data().toString(), QStringLiteral("49.4 %"));
        QCOMPARE(ds("cdsMainA")->valueAt(l, 5).toDouble(), 49.38);
        // 王五 has no normal wage: all of it reached, and a shortfall of minus his piece wages.
        const int w = rowOf("003");
        QCOMPARE(moneyAt("cdsMainA", w, "notFinish"), *Money::parse("-3.5"));
        QCOMPARE(model->index(w, 4).data().toString(), QStringLiteral("¥-3.50"));
        QCOMPARE(model->index(w, 5).data().toString(), QStringLiteral("100.0 %"));
        QCOMPARE(ds("cdsMainA")->valueAt(w, 5).toDouble(), 100.0);
    }

    void outputCheckProratesTheWageToTheDaysOfTheRange() {
        QVERIFY(openWindow());
        runOutputCheck(d(6, 2), d(6, 2));
        QCOMPARE(moneyAt("cdsMainA", rowOf("001"), "levelS"), *Money::parse("100"));
        QCOMPARE(moneyAt("cdsMainA", rowOf("002"), "levelS"), *Money::parse("83.3333"));
        // Seven days of a whole-number wage stay in real numbers: 7 × 2500 / 30.
        runOutputCheck(d(6, 1), d(6, 7));
        QCOMPARE(moneyAt("cdsMainA", rowOf("002"), "levelS"), *Money::parse("583.3333"));
        QCOMPARE(grid("grdMainA")->model()->index(rowOf("002"), 2).data().toString(),
                 QStringLiteral("¥583.33"));
    }

    void outputCheckForAGroupWithAQuote() {
        QVERIFY(openWindow());
        runOutputCheck(d(5, 1), d(6, 30), QStringLiteral("O'Neil组"));
        QCOMPARE(column(grid("grdMainA"), 0), QStringList({"002"}));
        // Both months: 40 × 0.35 + 1000 × 1.2345.
        QCOMPARE(moneyAt("cdsMainA", 0, "tmy"), *Money::parse("1248.5"));
        runOutputCheck(d(6, 1), d(6, 30), QStringLiteral("车缝"));
        QCOMPARE(column(grid("grdMainA"), 0), QStringList({"001", "003"}));
        runOutputCheck(d(6, 1), d(6, 30), QStringLiteral("没有这个组"));
        QVERIFY(ds("cdsMainA")->isOpen());
        QCOMPARE(grid("grdMainA")->model()->rowCount(), 0);
        QCOMPARE(dialogs->shown.size(), 0);
    }

    // ---- 生产汇总统计

    void groupedTotalsWithoutGroupingIsOneRowOfTheGrandSums() {
        QVERIFY(openWindow());
        runGrouped(d(6, 1), d(6, 30), {});
        TMyDBGrid* g = grid("grdMainB");
        QCOMPARE(titles(g), QStringList({"数量", "金额"}));
        QCOMPARE(g->model()->rowCount(), 1);
        QCOMPARE(column(g, 0), QStringList({"1143"}));
        // 130 × 0.35 + 1007 × 1.2345 + 6 × 0.1 = 45.5 + 1243.1415 + 0.6
        QCOMPARE(moneyAt("tdMainB", 0, "金额"), *Money::parse("1289.2415"));
        QCOMPARE(column(g, 1), QStringList({"¥1,289.24"}));
        QCOMPARE(child<QLabel>("dbSumQty")->text(), QStringLiteral("1143"));
        QCOMPARE(child<QLabel>("dbSumTmy")->text(), QStringLiteral("¥1,289.24"));
        // A range without records: no rows, and the totals are empty rather than the last ones.
        runGrouped(d(9, 1), d(9, 30), {});
        QCOMPARE(column(g, 0), QStringList({""}));
        QCOMPARE(child<QLabel>("dbSumQty")->text(), QString());
        QCOMPARE(child<QLabel>("dbSumTmy")->text(), QString());
    }

    void groupedTotalsByWorkerAndByEverything() {
        QVERIFY(openWindow());
        runGrouped(d(6, 1), d(6, 30), {"chkStaff"});
        TMyDBGrid* g = grid("grdMainB");
        QCOMPARE(titles(g), QStringList({"工号", "姓名", "数量", "金额"}));
        QCOMPARE(column(g, 0), QStringList({"001", "002", "003", "004"}));
        QCOMPARE(column(g, 2), QStringList({"130", "1000", "10", "3"}));
        QCOMPARE(moneyAt("tdMainB", 0, "金额"), *Money::parse("50.9415"));

        runGrouped(d(6, 1), d(6, 30),
                   {"chkDate", "chkGroup", "chkStaff", "chkStyle", "chkJob", "chkSalaryDay"});
        QCOMPARE(titles(g),
                 QStringList({"日期", "班组", "工号", "姓名", "款式", "工序", "发薪日", "数量", "金额"}));
        // One row per day, worker and process: the two records of 张三's J01 on June 1 are summed.
        QCOMPARE(g->model()->rowCount(), 6);
        QCOMPARE(column(g, 0), QStringList({"2025-06-01", "2025-06-01", "2025-06-02", "2025-06-02",
                                            "2025-06-15", "2025-06-30"}));
        // Within a day by class group, where "O'Neil组" comes before "车缝".
        QCOMPARE(column(g, 2), QStringList({"001", "001", "002", "001", "004", "003"}));
        QCOMPARE(column(g, 5), QStringList({"J01", "J02", "J02", "J03", "J03", "J01"}));
        QCOMPARE(column(g, 7), QStringList({"120", "7", "1000", "3", "3", "10"}));
        // The grand totals do not depend on the grouping.
        QCOMPARE(child<QLabel>("dbSumQty")->text(), QStringLiteral("1143"));
    }

    void exclusionsLeaveOutDismissedWorkersAndFinishedProcesses() {
        QVERIFY(openWindow());
        runGrouped(d(6, 1), d(6, 30), {"chkStaff", "conNotFired", "conNotStopped"});
        TMyDBGrid* g = grid("grdMainB");
        // 王五 is dismissed; 赵六 worked only on the finished J03; 张三 loses his J03 pieces.
        QCOMPARE(column(g, 0), QStringList({"001", "002"}));
        QCOMPARE(column(g, 2), QStringList({"127", "1000"}));
        QCOMPARE(child<QLabel>("dbSumQty")->text(), QStringLiteral("1127"));
        QCOMPARE(child<QLabel>("dbSumTmy")->text(), QStringLiteral("¥1,285.14"));
        // The same totals with no grouping, over the single records.
        runGrouped(d(6, 1), d(6, 30), {"conNotFired", "conNotStopped"});
        QCOMPARE(column(g, 0), QStringList({"1127"}));
        QCOMPARE(child<QLabel>("dbSumTmy")->text(), QStringLiteral("¥1,285.14"));
    }

    void sumsOfAmountsCarryNoBinaryResidue() {
        const int tenth = addJob("P1", "X", "0.1");
        const int fifth = addJob("P2", "X", "0.2");
        addWork(d(8, 1), zhao, tenth, 1);
        addWork(d(8, 1), zhao, fifth, 1);
        QVERIFY(openWindow());
        runGrouped(d(8, 1), d(8, 1), {});
        QCOMPARE(moneyAt("tdMainB", 0, "金额"), *Money::parse("0.3"));
        QCOMPARE(Money::fromVariant(ds("tdSumB")->value(QStringLiteral("tmy"))), *Money::parse("0.3"));
        // A free query over the records shows each amount as the exact decimal.
        runFree(QStringLiteral("select tmy from qryData where dateD = '2025-08-01' order by tmy"));
        QCOMPARE(column(grid("grdMainC"), 0), QStringList({"0.1", "0.2"}));
    }

    // ---- SQL自由查询

    void freeQueryShowsWhatComesBack() {
        QVERIFY(openWindow());
        showPage(2);
        runFree(QStringLiteral(
            "SELECT staffCode, staffName, levelSalary\nfrom qryData\nwhere dateD = '2025-06-02' "
            "order by staffCode;  -- 6月2日\n"));
        TMyDBGrid* g = grid("grdMainC");
        // A server gives the names it was not asked to keep the case of in lower case.
        QCOMPARE(titles(g), hxtest::onServer() ? QStringList({"staffcode", "staffname", "levelsalary"})
                                               : QStringList({"staffCode", "staffName", "levelSalary"}));
        QCOMPARE(column(g, 0), QStringList({"001", "002"}));
        QCOMPARE(column(g, 2), QStringList({"3000.00", "2500.00"}));
        QCOMPARE(dialogs->shown.size(), 0);
        // A process's unit price keeps its four decimals, read directly, under an alias or through a
        // subquery; a figure computed from it is no unit price.
        runFree(
            QStringLiteral("select JobCode, UnitPrice, 工价, 工价 * 2 as 双倍 from "
                           "(select JobCode, UnitPrice, UnitPrice as 工价 from job) as t order by JobCode"));
        QCOMPARE(column(g, 1), QStringList({"0.3500", "1.2345", "0.1000"}));
        QCOMPARE(column(g, 2), column(g, 1));
        QCOMPARE(column(g, 3), QStringList({"0.7", "2.469", "0.2"}));
        // Reading pragmas through their table functions is reading too.
        if (hxtest::onServer()) return;
        runFree(QStringLiteral("select name from pragma_table_info('job') order by cid"));
        QCOMPARE(dialogs->texts(), QStringList());
        QCOMPARE(column(g, 0).value(0), QStringLiteral("JobID"));
    }

    void freeQueryNotStartingWithSelectIsWarnedAndNotRun() {
        QVERIFY(openWindow());
        const QByteArray before = fileDigest();
        for (const QString& text :
             {QStringLiteral(" select * from staff"), QStringLiteral("delete from staff"),
              QStringLiteral("update staff set Firedd=-1"), QStringLiteral("\nselect 1"), QString()}) {
            dialogs->reset();
            runFree(text);
            QCOMPARE(dialogs->shown.size(), 1);
            QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
            QCOMPARE(dialogs->lastText(), QStringLiteral("为数据安全起见，只允许以select开头的选择查询！"));
            QVERIFY(!ds("tdMainC")->isOpen());
        }
        QCOMPARE(cn().scalar("select count(*) from staff").toInt(), 5);
        QCOMPARE(fileDigest(), before);
    }

    void refusedStatementsChangeNothingAndThePageStaysUsable() {
        QVERIFY(openWindow());
        const QByteArray before = fileDigest();
        const QString elsewhere = dir->file(QStringLiteral("other.db"));
        struct Case {
            QString text;
            QString message;
        };
        const QList<Case> cases = {
            {QStringLiteral("select 1; delete from staff"), multipleStatementsMessage()},
            {QStringLiteral("select * from staff;\ndrop table JobData;"), multipleStatementsMessage()},
            {QStringLiteral("select 1;\npragma user_version = 7"), multipleStatementsMessage()},
            {QStringLiteral("select 1; pragma journal_mode = delete"), multipleStatementsMessage()},
            {QStringLiteral("select 1; attach database '%1' as other").arg(elsewhere),
             multipleStatementsMessage()},
            {QStringLiteral("select 1; select 2"), multipleStatementsMessage()},
            {QStringLiteral("select 1 /* ; */ ; update job set UnitPrice = 0"), multipleStatementsMessage()},
        };
        for (const Case& c : cases) {
            dialogs->reset();
            runFree(c.text);
            QCOMPARE(dialogs->shown.size(), 1);
            QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
            QVERIFY2(dialogs->lastText().contains(c.message),
                     qPrintable(c.text + " → " + dialogs->lastText()));
            QVERIFY(!ds("tdMainC")->isOpen());
        }
        QVERIFY(!QFile::exists(elsewhere));
        QCOMPARE(fileDigest(), before);
        QCOMPARE(cn().scalar("select count(*) from staff").toInt(), 5);
        QCOMPARE(cn().scalar("select count(*) from JobData").toInt(), 10);
        if (!hxtest::onServer()) QCOMPARE(hxtest::headerVersion(cn()), 0);
        // A statement the database refuses shows the database's message; the page stays usable.
        dialogs->reset();
        runFree(QStringLiteral("select nosuchcolumn from staff"));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QVERIFY2(dialogs->lastText().contains(QStringLiteral("没有“nosuchcolumn”这一列")),
                 qPrintable(dialogs->lastText()));
        dialogs->reset();
        runFree(QStringLiteral("select count(*) as n from JobData"));
        QCOMPARE(column(grid("grdMainC"), 0), QStringList({"10"}));
        QCOMPARE(dialogs->shown.size(), 0);
    }

    void aRunawayQueryIsCancelledWithinASecondAndTheWindowStaysResponsive_data() {
        QTest::addColumn<QString>("sql");
        QTest::newRow("cross join") << QStringLiteral(
            "select count(*) from JobData a, JobData b, JobData c, JobData d, JobData e, JobData f, JobData "
            "g, "
            "JobData h, JobData i, JobData j");
        QTest::newRow("endless recursion") << QStringLiteral(
            "select count(*) from (with recursive r(n) as (select 1 union all select n + 1 from r) select n "
            "from r) as t");
    }
    void aRunawayQueryIsCancelledWithinASecondAndTheWindowStaysResponsive() {
        QFETCH(QString, sql);
        QVERIFY(openWindow());
        showPage(2);
        auto* editor = child<QPlainTextEdit>("mmSQL");
        editor->setPlainText(sql);
        clickButton("btnCC");
        QVERIFY(win->freeQueryRunning());
        QVERIFY(child<QWidget>("pnlRunningC")->isVisible());
        QCOMPARE(child<QLabel>("lblRunningC")->text(), QStringLiteral("正在查询…"));
        QCOMPARE(child<QPushButton>("btnCancelC")->text(), QStringLiteral("取消"));
        // While it runs the window answers the keyboard: the user types into the statement.
        QTest::mouseClick(editor->viewport(), Qt::LeftButton);
        hxtest::key(Qt::Key_End, Qt::ControlModifier);
        hxtest::type(QStringLiteral(" -- 太慢"));
        QTRY_VERIFY_WITH_TIMEOUT(editor->toPlainText().endsWith(QStringLiteral(" -- 太慢")), 1000);
        QVERIFY(win->freeQueryRunning());
        QTest::mouseClick(child<QPushButton>("btnCancelC"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!win->freeQueryRunning(), 10000);
        QVERIFY(!child<QWidget>("pnlRunningC")->isVisible());
        QCOMPARE(grid("grdMainC")->model()->columnCount(), 0);
        QCOMPARE(dialogs->shown.size(), 0);
        // And the page works as before.
        runFree(QStringLiteral("select count(*) as n from JobData"));
        QCOMPARE(column(grid("grdMainC"), 0), QStringList({"10"}));
    }

    void aQueryOverItsTimeLimitIsStoppedWithAMessage() {
        QElapsedTimer clock;
        clock.start();
        FreeQuery endless(fixture->set,
                          QStringLiteral("select count(*) from (with recursive r(n) as (select 1 union all "
                                         "select n + 1 from r) select n from r) as t"),
                          FreeQuery::defaultRowLimit, 1);
        const FreeQueryResult result = endless.run();
        QCOMPARE(result.error, freeQueryTimeoutMessage(1));
        QVERIFY(!result.cancelled);
        QVERIFY(result.rows.empty() && result.fields.isEmpty());
        QVERIFY2(clock.elapsed() < 8000, qPrintable(QString::number(clock.elapsed())));
        // A quick one is not touched by the limit.
        FreeQuery quick(fixture->set, QStringLiteral("select count(*) as n from JobData"),
                        FreeQuery::defaultRowLimit, 1);
        const FreeQueryResult counted = quick.run();
        QCOMPARE(counted.error, QString());
        QCOMPARE(int(counted.rows.size()), 1);
        QCOMPARE(counted.rows[0].value(0).toLongLong(), 10);
    }

    void anEndlessReadStopsAtTheRowCapOrACancelAtOnce() {
        const QString endless = QStringLiteral(
            "select n from (with recursive r(n) as (select 1 union all select n + 1 from r) select n from r) "
            "as t");
        // Rows of a megabyte each, without end: only rows read as they come stop at the cap in moments
        // and within the memory of a few rows.
        const QString wide =
            QStringLiteral(
                "select n, %1 as x from (with recursive r(n) as (select 1 union "
                "all select n + 1 from r) select n from r) as t")
                .arg(hxtest::onServer() ? QStringLiteral("repeat('x', 1000000 + n)")
                                        : QStringLiteral("printf('%.*c', 1000000 + n, 'x')"));
        for (const QString& sql : {endless, wide}) {
            QElapsedTimer clock;
            clock.start();
            FreeQuery capped(fixture->set, sql, 3, 60);
            const FreeQueryResult result = capped.run();
            QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
            QCOMPARE(result.error, QString());
            QVERIFY(result.truncated);
            QCOMPARE(int(result.rows.size()), 3);
            QCOMPARE(result.rows[2].value(0).toLongLong(), 3);
        }
        // A cancel while the rows come stops the reading within moments, as it stops a statement that
        // computes for long before its first row.
        QElapsedTimer clock;
        clock.start();
        FreeQuery endlessRows(fixture->set, endless, std::numeric_limits<int>::max(), 60);
        std::thread canceller([&endlessRows] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            endlessRows.cancel();
        });
        const FreeQueryResult cancelled = endlessRows.run();
        canceller.join();
        QVERIFY(cancelled.cancelled);
        QVERIFY(cancelled.rows.empty() && cancelled.error.isEmpty());
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }

    void aStatementInTheMiddleOfAReadLeavesTheReadWhole() {
        // A connection that reads rows as they come, as the free query's does, serves another statement
        // while one is read halfway, and the first then reads on where it was.
        Connection ro;
        fixture->set.openReadOnly(ro);
        ro.limitValueLength(1 << 20);
        const QString fifty = QStringLiteral(
            "select n from (with recursive r(n) as (select 1 union all select n + 1 from r where n < 50) "
            "select n from r) as t");
        PreparedStatement outer(ro, fifty);
        QList<qint64> seen;
        while (outer.next()) {
            seen << outer.value(0).toLongLong();
            if (seen.size() == 3) QCOMPARE(ro.scalar("select count(*) from staff").toInt(), 5);
            if (seen.size() == 4) {
                // A second read of the same rows, left after two.
                PreparedStatement inner(ro, fifty);
                QVERIFY(inner.next() && inner.next());
                QCOMPARE(inner.value(0).toLongLong(), 2);
            }
        }
        QCOMPARE(seen.size(), 50);
        QCOMPARE(seen.last(), 50);
        // Run again from its first row, also when left halfway.
        outer.reset();
        QVERIFY(outer.next() && outer.next());
        QCOMPARE(outer.value(0).toLongLong(), 2);
        outer.reset();
        QVERIFY(outer.next());
        QCOMPARE(outer.value(0).toLongLong(), 1);
        QCOMPARE(ro.scalar("select count(*) from JobData").toInt(), 10);
        // A failure in the middle of the rows is raised where it comes, and the connection goes on.
        PreparedStatement failing(ro, QStringLiteral("select 10 / (5 - n) from (with recursive r(n) as "
                                                     "(select 1 union all select n + 1 from r where n < 9) "
                                                     "select n from r) as t"));
        int rows = 0;
        bool raised = false;
        try {
            while (failing.next()) ++rows;
        } catch (const DbError&) {
            raised = true;
        }
        QCOMPARE(raised, hxtest::onServer());  // the file engine gives Null for a division by zero
        QCOMPARE(ro.scalar("select count(*) from staff").toInt(), 5);
    }

    void aWriteGettingPastTheChecksIsRefusedByTheServer() {
        if (!hxtest::onServer())
            QSKIP("a function that writes while called by a select exists on a server only");
        const QString sequence = QStringLiteral("pg_get_serial_sequence('staff', 'staffid')");
        auto lastKey = [&] {
            return cn().scalar(
                QStringLiteral("select coalesce(pg_sequence_last_value(%1::regclass), 0)").arg(sequence));
        };
        const QVariant before = lastKey();
        QVERIFY(before.toLongLong() > 0);
        FreeQuery write(fixture->set, QStringLiteral("select setval(%1, 1000000)").arg(sequence));
        const FreeQueryResult result = write.run();
        QVERIFY(!result.error.isEmpty());
        QVERIFY(result.rows.empty());
        QCOMPARE(lastKey(), before);
        // The window shows the server's refusal and nothing else.
        QVERIFY(openWindow());
        runFree(QStringLiteral("select setval(%1, 1000000)").arg(sequence));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QCOMPARE(dialogs->lastText(), result.error);
        QCOMPARE(grid("grdMainC")->model()->columnCount(), 0);
        QCOMPARE(lastKey(), before);
    }

    void aResultTooLargeIsCutOrRefusedWithAMessage() {
        QVERIFY(openWindow());
        runFree(
            QStringLiteral("select n from (with recursive r(n) as (select 1 union all select n + 1 from r) "
                           "select n from r) as t"));
        QCOMPARE(grid("grdMainC")->model()->rowCount(), FreeQuery::defaultRowLimit);
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("information"));
        QCOMPARE(dialogs->lastText(), freeQueryTruncatedMessage(FreeQuery::defaultRowLimit));
        QVERIFY(dialogs->lastText().contains(QStringLiteral("where")));
        // A text too long for a cell is cut, and said so; a value too large to build is no save refused.
        dialogs->reset();
        runFree(QStringLiteral(
            "select a, 1 as b from (with recursive r(a) as (select 'x' union all select "
            "a || a from r where length(a) < 5000) select a from r) as t where length(a) > 5000"));
        QCOMPARE(dialogs->texts(), QStringList{freeQueryCutMessage()});
        QCOMPARE(column(grid("grdMainC"), 0),
                 QStringList{QString(freeQueryCellCharacters, QLatin1Char('x'))});
        dialogs->reset();
        runFree(hxtest::onServer() ? QStringLiteral("select repeat('x', 100000000)")
                                   : QStringLiteral("select zeroblob(2000000000)"));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QCOMPARE(dialogs->texts(), QStringList{QStringLiteral("查询结果太大，没有显示。请缩小查询范围。")});
        QCOMPARE(grid("grdMainC")->model()->columnCount(), 0);
    }

    void aFailedQueryLeavesNoHeaderOfThePreviousOne() {
        QVERIFY(openWindow());
        runFree(QStringLiteral("select StaffCode as 工号, StaffName as 姓名 from staff"));
        QCOMPARE(titles(grid("grdMainC")), QStringList({"工号", "姓名"}));
        runFree(QStringLiteral("select nosuchcolumn from staff"));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QCOMPARE(grid("grdMainC")->model()->columnCount(), 0);
        QCOMPARE(grid("grdMainC")->horizontalHeader()->count(), 0);
        QCOMPARE(grid("grdMainC")->model()->rowCount(), 0);
    }

    void readOnlyCheckRefusesWhatOneStatementCouldChange() {
        Connection ro;
        fixture->set.openReadOnly(ro);
        // Accepted: one reading statement, with blanks, comments and semicolons after it; the same
        // statement on both engines, ending at its own semicolon, and it runs.
        QCOMPARE(singleReadOnlyStatement(ro, QStringLiteral("select * from qryData;\r\n;  -- done\r\n")),
                 QStringLiteral("select * from qryData;"));
        const QList<QStringList> accepted = {
            {"select count(*) as n from staff;  -- 完\r\n", "select count(*) as n from staff;"},
            {"select count(*) as n from staff -- 完\r\n;\r\n", "select count(*) as n from staff -- 完\r\n;"},
            {"select count(*) as n from staff /* ; */ ;;\r\n", "select count(*) as n from staff /* ; */ ;"},
            {"select count(*) as n from staff -- 完\r\n", "select count(*) as n from staff -- 完"},
            {"select ';' as n;", "select ';' as n;"},
            {"with x as (select 1 as n) select n from x", "with x as (select 1 as n) select n from x"},
            // Writing words in a text, a name or a comment change nothing.
            {"with x as (select 'delete' as \"update\") select count(*) from x -- insert\r\n",
             "with x as (select 'delete' as \"update\") select count(*) from x -- insert"},
        };
        for (const QStringList& c : accepted) {
            QCOMPARE(singleReadOnlyStatement(ro, c[0]), c[1]);
            FreeQuery q(fixture->set, c[0]);
            const FreeQueryResult r = q.run();
            QVERIFY2(r.error.isEmpty(), qPrintable(c[0] + " → " + r.error));
            QCOMPARE(int(r.rows.size()), 1);
        }
        QCOMPARE(FreeQuery(fixture->set, accepted[0][0]).run().rows[0].value(0).toInt(), 5);
        if (!hxtest::onServer())
            singleReadOnlyStatement(ro, QStringLiteral("select * from pragma_index_list('JobData')"));
        auto refusal = [&](const QString& sql) -> QString {
            try {
                singleReadOnlyStatement(ro, sql);
            } catch (const DbError& e) {
                return e.message();
            }
            return QStringLiteral("accepted");
        };
        // One statement that writes or changes the connection, however it starts.
        QCOMPARE(refusal(QStringLiteral("delete from staff")), notReadOnlyMessage());
        if (!hxtest::onServer()) {
            QCOMPARE(refusal(QStringLiteral("pragma user_version = 3")), notReadOnlyMessage());
            QCOMPARE(refusal(QStringLiteral("attach database ':memory:' as m")), notReadOnlyMessage());
        }
        QCOMPARE(refusal(QStringLiteral("begin")), notReadOnlyMessage());
        QCOMPARE(refusal(QStringLiteral(
                     "with x as (select 1) delete from staff where staffID in (select * from x)")),
                 notReadOnlyMessage());
        QCOMPARE(refusal(QStringLiteral("select 1; select 2")), multipleStatementsMessage());
        // A statement the database cannot run is named in Chinese.
        QCOMPARE(refusal(QStringLiteral("select * from nosuch")),
                 QStringLiteral("语句有错误：没有“nosuch”这个表。"));
        // And the connection itself cannot write, whatever reaches it.
        QVERIFY_THROWS_EXCEPTION(DbError, ro.exec(QStringLiteral("delete from staff")));
        QCOMPARE(cn().scalar("select count(*) from staff").toInt(), 5);
    }

    // ---- sort

    void sortOrdersTheResultOfThePageShown() {
        QVERIFY(openWindow());
        runOutputCheck(d(6, 1), d(6, 30));
        sortBy("grdMainA", 3);  // 实际完成工资
        QCOMPARE(column(grid("grdMainA"), 0), QStringList({"004", "003", "001", "002"}));
        sortBy("grdMainA", 5);  // 完成百分比: 0.0 %, 1.7 %, 49.4 %, 100.0 %
        QCOMPARE(column(grid("grdMainA"), 0), QStringList({"004", "001", "002", "003"}));

        showPage(1);
        runGrouped(d(6, 1), d(6, 30), {"chkJob"});
        QCOMPARE(column(grid("grdMainB"), 0), QStringList({"J01", "J02", "J03"}));
        sortBy("grdMainB", 1);  // 数量: 130, 1007, 6
        QCOMPARE(column(grid("grdMainB"), 0), QStringList({"J03", "J01", "J02"}));
        QCOMPARE(ds("tdMainB")->sort(), QStringLiteral("数量 ASC"));
        // The first page keeps its own order.
        QCOMPARE(column(grid("grdMainA"), 0), QStringList({"004", "001", "002", "003"}));

        showPage(2);
        runFree(QStringLiteral("select StaffName, LevelSalary from staff"));
        sortBy("grdMainC", 1);
        QCOMPARE(column(grid("grdMainC"), 0), QStringList({"王五", "赵六", "钱七", "李四", "张三"}));
        QCOMPARE(dialogs->shown.size(), 0);
    }

    void sortWithoutResultOrColumnDoesNothing() {
        QVERIFY(openWindow());
        for (int page = 0; page < 3; ++page) {
            showPage(page);
            child<QAction>("popSort")->trigger();
        }
        QCOMPARE(dialogs->shown.size(), 0);
        // A result without rows, where the grid has no cell and so no column chosen.
        showPage(1);
        runGrouped(d(9, 1), d(9, 30), {"chkJob"});
        QVERIFY(ds("tdMainB")->isOpen());
        QVERIFY(grid("grdMainB")->selectedField().isEmpty());
        child<QAction>("popSort")->trigger();
        QCOMPARE(ds("tdMainB")->sort(), QString());
        QCOMPARE(dialogs->shown.size(), 0);
    }

    // ---- the charts beside the tables

    void outputChartHoldsTheResultAndAClickOnABarSelectsThatWorker() {
        QVERIFY(openWindow());
        runOutputCheck(d(6, 1), d(6, 30));
        auto bars = seriesOf<QHorizontalStackedBarSeries>(chartOf("chartA"));
        QCOMPARE(bars.size(), 1);
        const QList<QBarSet*> sets = bars[0]->barSets();
        QCOMPARE(sets.size(), 2);
        // Bottom to top the highest first, so the lowest stands at the top; one set for each colour.
        QCOMPARE(win->chartWorkers(), QStringList({"003", "002", "001", "004"}));
        compareValues(valuesOf(sets[0]), QList<double>({100.0, 0, 0, 0}));
        compareValues(valuesOf(sets[1]),
                      QList<double>({0, 100 * 1234.5 / 2500, 100 * 50.9415 / 3000, 100 * 0.3 / 1800}));
        QCOMPARE(sets[1]->color(), belowFullColor());
        QVERIFY(sets[0]->color() != belowFullColor());
        auto lines = seriesOf<QLineSeries>(chartOf("chartA"));
        QCOMPARE(lines.size(), 1);
        for (const QPointF& p : lines[0]->points()) QCOMPARE(p.x(), 100.0);
        QCOMPARE(lines[0]->points().last().y(), 3.5);  // across all four bars
        // The table marks the same rows: 李四 short of his normal wage, 王五 (no normal wage) not.
        TMyDBGrid* g = grid("grdMainA");
        QCOMPARE(cellColor(g, rowOf("002"), 5), belowFullColor().lighter(170).rgb());
        QVERIFY(cellColor(g, rowOf("003"), 5) != belowFullColor().lighter(170).rgb());
        QVERIFY(cellColor(g, rowOf("002"), 4) != belowFullColor().lighter(170).rgb());
        // A click on 李四's bar selects his row, also after the table has been sorted otherwise.
        clickChartAt("chartA", bars[0], QPointF(100 * 1234.5 / 2500 / 2, 1));
        QCOMPARE(g->currentIndex().row(), rowOf("002"));
        QCOMPARE(ds("cdsMainA")->recNo(), rowOf("002"));
        sortBy("grdMainA", 3);
        QCOMPARE(column(g, 0), QStringList({"004", "003", "001", "002"}));
        clickChartAt("chartA", bars[0], QPointF(50, 0));  // 王五 at the bottom
        QCOMPARE(g->currentIndex().row(), rowOf("003"));
        QCOMPARE(g->model()->index(g->currentIndex().row(), 1).data().toString(), QStringLiteral("王五"));
        // A new run redraws: only 车缝 is left.
        runOutputCheck(d(6, 1), d(6, 30), QStringLiteral("车缝"));
        QCOMPARE(win->chartWorkers(), QStringList({"003", "001"}));
    }

    void groupedChartShowsDaysOrTheLargestGroupsOfTheResultShown() {
        QVERIFY(openWindow());
        runGrouped(d(5, 31), d(6, 3), {"chkDate", "chkStaff"});
        auto lines = seriesOf<QLineSeries>(chartOf("chartB"));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0]->name(), QStringLiteral("数量"));
        compareValues(yOf(lines[0]), QList<double>({40, 127, 1003, 0}));
        compareValues(yOf(lines[1]), QList<double>({14, 50.6415, 1234.8, 0}));
        // Two value axes: pieces on the left, money on the right.
        QCOMPARE(lines[0]->attachedAxes().size(), 2);
        QVERIFY(lines[0]->attachedAxes()[1]->alignment() != lines[1]->attachedAxes()[1]->alignment());
        // Switching the grouping redraws from the new rows: the workers by amount, the largest at the top.
        runGrouped(d(6, 1), d(6, 30), {"chkStaff", "conNotFired"});
        QVERIFY(seriesOf<QLineSeries>(chartOf("chartB")).isEmpty());
        auto bars = seriesOf<QHorizontalBarSeries>(chartOf("chartB"));
        QCOMPARE(bars.size(), 1);
        // In whole fen, as the table shows them.
        compareValues(valuesOf(bars[0]->barSets()[0]), QList<double>({0.3, 50.94, 1234.5}));
        auto* axis = qobject_cast<QBarCategoryAxis*>(bars[0]->attachedAxes()[1]);
        QVERIFY(axis);
        QCOMPARE(axis->categories(), QStringList({"004 赵六", "001 张三", "002 李四"}));
        // Without a grouping the one bar of the grand sums, which the strip below the table shows too.
        runGrouped(d(6, 1), d(6, 30), {});
        bars = seriesOf<QHorizontalBarSeries>(chartOf("chartB"));
        compareValues(valuesOf(bars[0]->barSets()[0]), QList<double>({1289.24}));
    }

    void aChartIsSavedAsPdfOrPngWithItsTitleAndConditionsAndPrintsOnlyWithAPrinter() {
        QVERIFY(openWindow());
        runGrouped(d(6, 1), d(6, 30), {"chkGroup", "conNotFired", "conNotStopped"});
        const QString pdf = exportPath(QStringLiteral("汇总.pdf"));
        dialogs->chooseFile(pdf);
        clickButton("chartBSave");
        const QString text = hxtest::pdfText(pdf);
        QVERIFY2(text.contains(QStringLiteral("统计分析 - 生产汇总统计")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("范围：2025-06-01 至 2025-06-30")));
        QVERIFY(text.contains(QStringLiteral("分类：班组")));
        QVERIFY(text.contains(QStringLiteral("不含辞退员工，不含完工工序")));
        QVERIFY(text.contains(QStringLiteral("O'Neil组")));  // the chart's own labels are text too
        // The conditions of the result shown, not what the pickers say since.
        setRange("conbDateB", "conbDateE", d(1, 1), d(1, 2));
        dialogs->chooseFile(pdf);
        clickButton("chartBSave");
        QVERIFY(hxtest::pdfText(pdf).contains(QStringLiteral("2025-06-30")));

        // A name without an extension is a PNG image of the chart under its heading.
        runOutputCheck(d(6, 1), d(6, 30));
        dialogs->chooseFile(exportPath(QStringLiteral("产值")));
        clickButton("chartASave");
        QImage image(exportPath(QStringLiteral("产值.png")));
        QVERIFY(!image.isNull());
        QVERIFY(image.width() >= child<ChartPanel>("chartA")->view()->width());
        QCOMPARE(image.pixelColor(1, 1), QColor(Qt::white));
        // Another extension is refused; a file that cannot be written is reported and nothing is left.
        dialogs->chooseFile(exportPath(QStringLiteral("产值.jpg")));
        clickButton("chartASave");
        QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
        QVERIFY(!QFile::exists(exportPath(QStringLiteral("产值.jpg"))));
        const QString nowhere = exportPath(QStringLiteral("无此目录/产值.pdf"));
        dialogs->chooseFile(nowhere);
        clickButton("chartASave");
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QVERIFY(!QFile::exists(nowhere));
        dialogs->cancelFile();
        clickButton("chartASave");
        QCOMPARE(dialogs->lastKind(), QStringLiteral("saveFile"));

        // Without a printer the print says so and prints nothing.
        setInstalledPrinters([] { return QVector<InstalledPrinter>(); });
        clickButton("chartAPrint");
        setInstalledPrinters({});
        QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
        QCOMPARE(dialogs->lastText(), QStringLiteral("系统没有安装打印机!"));
        // With a printer the user is asked on which one first; cancelled, nothing is printed.
        setInstalledPrinters([] {
            return QVector<InstalledPrinter>{{QStringLiteral("HP"), QStringLiteral("USB1")}};
        });
        dialogs->answer(Answer::Cancel);
        clickButton("chartAPrint");
        setInstalledPrinters({});
        QCOMPARE(dialogs->lastKind(), QStringLiteral("okCancel"));
        QCOMPARE(dialogs->lastText(), QStringLiteral("在打印机“HP on USB1”上打印图表？"));
    }

    void monthComparisonShowsTheClassGroupsAgainstTheMonthBefore() {
        addSheetRow(2025, 6, 8, "001", "1000");
        addSheetRow(2025, 6, 8, "004", "800");
        addSheetRow(2025, 5, 8, "001", "900");
        addSheetRow(2025, 5, 8, "004", "1000");
        nameItem(2025, 6, "C15", "实发工资");
        QVERIFY(openWindow());
        showPage(3);
        // The month before today's, and the total pay of its items chosen.
        QCOMPARE(child<QDateEdit>("condMonth")->date(), d(6, 1));
        auto* items = child<QComboBox>("condItem");
        QCOMPARE(items->currentText(), QStringLiteral("C15 实发工资"));
        child<QSpinBox>("condDay")->setValue(8);
        clickButton("btnDD");
        TMyDBGrid* g = grid("grdMainD");
        QCOMPARE(column(g, 0), QStringList({"后整", "车缝"}));
        QCOMPARE(column(g, 3), QStringList({"-20.0 %", "11.1 %"}));
        auto bars = seriesOf<QBarSeries>(chartOf("chartD"));
        QCOMPARE(bars.size(), 1);
        compareValues(valuesOf(bars[0]->barSets()[0]), QList<double>({1000, 900}));  // 上月
        compareValues(valuesOf(bars[0]->barSets()[1]), QList<double>({800, 1000}));  // 本月
        // The chart compares the pieces of the same rows on request.
        auto* measure = child<QComboBox>("condMeasure");
        measure->setCurrentIndex(1);
        bars = seriesOf<QBarSeries>(chartOf("chartD"));
        compareValues(valuesOf(bars[0]->barSets()[1]), QList<double>({3, 140}));
        // Another month without the item falls back to what it has; the choice comes back with June.
        child<QDateEdit>("condMonth")->setDate(d(3, 1));
        QCOMPARE(items->currentText(), QStringLiteral("A01 计件工资"));
        child<QDateEdit>("condMonth")->setDate(d(6, 1));
        QCOMPARE(items->currentText(), QStringLiteral("C15 实发工资"));
        // Its table exports as every list does, also from the grid's menu.
        dialogs->chooseFile(exportPath("d.xlsx"));
        child<QAction>("popExport")->trigger();
        const auto cells = hxtest::readSheet(exportPath("d.xlsx"));
        QCOMPARE(cells["A1"].value, QStringLiteral("班组"));
        QCOMPARE(cells["B3"].value.toDouble(), 1000.0);
        QCOMPARE(cells["D3"].value.toDouble(), 100.0 / 9);
    }

    // ---- export

    void exportWritesEachPagesGrid() {
        QVERIFY(openWindow());
        runOutputCheck(d(6, 1), d(6, 30));
        dialogs->chooseFile(exportPath("a.xlsx"));
        clickButton("btnExA");
        auto cells = hxtest::readSheet(exportPath("a.xlsx"));
        QCOMPARE(cells["A1"].value, QStringLiteral("工号"));
        QCOMPARE(cells["F1"].value, QStringLiteral("完成百分比"));
        QCOMPARE(cells["A2"].value, QStringLiteral("001"));
        QVERIFY(hxtest::isText(cells["A2"]));
        QCOMPARE(cells["D2"].value.toDouble(), 50.9415);
        QCOMPARE(cells["E5"].value.toDouble(), 1800 - 0.3);
        QCOMPARE(cells["F4"].value.toDouble(), 100.0);
        QVERIFY(!cells.contains("A6"));

        runGrouped(d(6, 1), d(6, 30), {"chkDate", "chkStaff"});
        dialogs->chooseFile(exportPath("b.xlsx"));
        clickButton("btnExB");
        cells = hxtest::readSheet(exportPath("b.xlsx"));
        QCOMPARE(cells["A1"].value, QStringLiteral("日期"));
        QCOMPARE(cells["E1"].value, QStringLiteral("金额"));
        QCOMPARE(cells["B2"].value, QStringLiteral("001"));
        QCOMPARE(cells["D2"].value, QStringLiteral("127"));
        QCOMPARE(cells["E3"].value.toDouble(), 0.3);
        QVERIFY(cells.contains("A6") && !cells.contains("A7"));

        runFree(QStringLiteral("select JobCode as \"JobCode\", UnitPrice from job order by JobCode"));
        dialogs->chooseFile(exportPath("c.xlsx"));
        clickButton("btnExC");
        cells = hxtest::readSheet(exportPath("c.xlsx"));
        QCOMPARE(cells["A1"].value, QStringLiteral("JobCode"));
        QCOMPARE(cells["A3"].value, QStringLiteral("J02"));
        QCOMPARE(cells["B3"].value.toDouble(), 1.2345);
        QVERIFY(!cells.contains("A5"));
    }
};

HX_BOTH_ENGINES;
HX_WINDOW_TEST_MAIN(TestAnalyse)
#include "tst_analyse.moc"
