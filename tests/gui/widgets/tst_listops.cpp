#include <QAbstractItemModelTester>
#include <QContextMenuEvent>
#include <QMenu>
#include <QVBoxLayout>
#include <QtTest>

#include "core/data/connection.h"
#include "gui/widgets/listops.h"
#include "gui/widgets/mydbgrid.h"
#include "support/testsupport.h"

using namespace hx;

// The list commands on a grid over a worker list, without a window around them.
class TestListOps : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::ScriptedDialogs> dialogs;
    Connection cn;
    std::unique_ptr<hxtest::OpenAccountSet> dir;
    std::unique_ptr<DataSet> ds;
    std::unique_ptr<QWidget> window;
    TMyDBGrid* grid = nullptr;

    void addWorker(const QString& code, const QString& name, const QVariant& group, const QString& level) {
        cn.exec(QStringLiteral("insert into staff (StaffCode, StaffName, ClassGroup, LevelSalary, salaryDay) "
                               "values (?, ?, ?, ?, 5)"),
                {code, name, group, QVariant::fromValue(*Money::parse(level))});
    }
    int stored(const QString& where = QStringLiteral("1=1")) {
        return cn.scalar(QStringLiteral("select count(*) from staff where ") + where).toInt();
    }
    QString table(const QString& where) {
        return cn
            .scalar(QStringLiteral(
                        "select group_concat(staffID || StaffCode || StaffName || coalesce(ClassGroup, "
                        "'~') || LevelSalary || salaryDay || Firedd, ';') from (select * from staff "
                        "where ") +
                    where + QStringLiteral(" order by staffID)"))
            .toString();
    }
    // Clicks into the cell; its editor opens, as whenever the grid has the focus.
    void select(int row, int column) { QVERIFY(hxtest::enterCell(grid, row, column)); }
    QString current(const QString& field) const { return ds->asString(field); }
    QStringList column(const QString& field) const {
        QStringList values;
        for (int r = 0; r < ds->recordCount(); ++r)
            values << ds->valueAt(r, ds->fieldIndex(field)).toString();
        return values;
    }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::OpenAccountSet>(cn, QStringLiteral("l"));
        dialogs = std::make_unique<hxtest::ScriptedDialogs>();
        addWorker("003", "王五", "车缝一组", "300.5");
        addWorker("001", "O'Neil", "裁剪组", "1200");
        addWorker("002", "李四", "车缝一组", "0.1");
        addWorker("009", "abc", "", "0");
        addWorker("010", "赵六", QVariant(), "300.5");
        ds = std::make_unique<DataSet>(&cn);
        ds->setSql(QStringLiteral(
            "select staffID, StaffCode, StaffName, ClassGroup, LevelSalary, salaryDay, Firedd from staff"));
        ds->setUpdateTable(QStringLiteral("staff"), {QStringLiteral("staffID")});
        ds->afterInsert = [](DataSet& d) { d.setValue(QStringLiteral("Firedd"), false); };
        ds->open();
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        grid = new TMyDBGrid(window.get());
        layout->addWidget(grid);
        grid->setDataSet(ds.get());
        keepRefusedRows(ds.get(), {grid});
        grid->setColumns({{QStringLiteral("StaffCode"), QStringLiteral("工号"), 80},
                          {QStringLiteral("StaffName"), QStringLiteral("姓名"), 80},
                          {QStringLiteral("ClassGroup"), QStringLiteral("班组"), 80},
                          {QStringLiteral("LevelSalary"), QStringLiteral("能力工资"), 80},
                          {QStringLiteral("salaryDay"), QStringLiteral("发薪日"), 50}});
        grid->setAlwaysShowEditor(true);
        QVERIFY(hxtest::showActive(window.get()));
        grid->setFocus();
    }
    void cleanup() {
        HX_VERIFY_DIALOGS(*dialogs);
        window.reset();
        ds.reset();
        dialogs.reset();
        dir.reset();
    }

    void conditionsWriteMoneyPlainAndQuoteEverythingElse() {
        auto money = [](const char* text) {
            return QVariant::fromValue(*Money::parse(QString::fromUtf8(text)));
        };
        QCOMPARE(filterCondition("LevelSalary", money("300.5"), true), QStringLiteral("LevelSalary = 300.5"));
        QCOMPARE(filterCondition("LevelSalary", money("1200.0000"), true),
                 QStringLiteral("LevelSalary = 1200"));
        QCOMPARE(filterCondition("LevelSalary", money("1234567.1234"), true),
                 QStringLiteral("LevelSalary = 1234567.1234"));
        QCOMPARE(filterCondition("UnitPrice", money("-0.05"), true), QStringLiteral("UnitPrice = -0.05"));
        QCOMPARE(filterCondition("UnitPrice", QVariant(), true), QStringLiteral("UnitPrice = 0"));
        QCOMPARE(filterCondition("StaffName", QStringLiteral("O'Neil"), false),
                 QStringLiteral("StaffName = 'O''Neil'"));
        QCOMPARE(filterCondition("StaffName", QStringLiteral("''"), false),
                 QStringLiteral("StaffName = ''''''"));
        QCOMPARE(filterCondition("ClassGroup", QString(QLatin1String("")), false),
                 QStringLiteral("ClassGroup = ''"));
        QCOMPARE(filterCondition("ClassGroup", QVariant(), false), QStringLiteral("ClassGroup = ''"));
        // A money field that is not shown as money is quoted like any other value.
        QCOMPARE(filterCondition("A02", money("50.25"), false), QStringLiteral("A02 = '50.25'"));
        QCOMPARE(filterCondition("salaryDay", qint64(5), false), QStringLiteral("salaryDay = '5'"));
    }

    void filterShowsTheRowsEqualToTheSelectedCell() {
        QAbstractItemModelTester tester(grid->model());
        select(0, 2);
        filterOnSelectedCell(grid, {QStringLiteral("LevelSalary")});
        QCOMPARE(ds->filter(), QStringLiteral("ClassGroup = '车缝一组'"));
        QCOMPARE(column("StaffCode"), QStringList({"003", "002"}));
        QCOMPARE(ds->recNo(), 0);

        // A second filter replaces the first: both 300.5 workers show, also the one of another group.
        select(0, 3);
        filterOnSelectedCell(grid, {QStringLiteral("LevelSalary")});
        QCOMPARE(ds->filter(), QStringLiteral("LevelSalary = 300.5"));
        QCOMPARE(column("StaffCode"), QStringList({"003", "010"}));

        removeFilter(grid);
        QVERIFY(!ds->filtered());
        QCOMPARE(ds->recordCount(), 5);
    }

    void filterOnAQuoteAndOnAnEmptyCell() {
        select(1, 1);
        filterOnSelectedCell(grid, {QStringLiteral("LevelSalary")});
        QCOMPARE(ds->filter(), QStringLiteral("StaffName = 'O''Neil'"));
        QCOMPARE(column("StaffCode"), QStringList({"001"}));

        removeFilter(grid);
        select(3, 2);
        filterOnSelectedCell(grid, {QStringLiteral("LevelSalary")});
        QCOMPARE(ds->filter(), QStringLiteral("ClassGroup = ''"));
        // The empty group shows; the worker with no group at all does not.
        QCOMPARE(column("StaffCode"), QStringList({"009"}));
    }

    void filterStoresThePendingEditFirst() {
        select(2, 1);
        hxtest::type(QStringLiteral("李四新"));  // still in the editor
        filterOnSelectedCell(grid, {});
        QCOMPARE(ds->filter(), QStringLiteral("StaffName = '李四新'"));
        QCOMPARE(stored("StaffName = '李四新'"), 1);
        QCOMPARE(column("StaffCode"), QStringList({"002"}));
    }

    void aRefusedEditIsNeitherFilteredSortedNorFoundAway() {
        select(2, 0);
        hxtest::type(QStringLiteral("001"));  // a repeated code
        filterOnSelectedCell(grid, {});
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(dialogs->texts().size(), 1);
        QVERIFY(!ds->filtered());
        hxtest::settle();
        sortBySelectedColumn(grid);
        hxtest::settle();
        QVERIFY(!findInSelectedColumn(grid));  // refused before it asks
        QCOMPARE(dialogs->beeps, 3);
        QCOMPARE(ds->sort(), QString());
        QCOMPARE(ds->state(), DataSetState::Edit);
        QCOMPARE(ds->recNo(), 2);
        QCOMPARE(column("StaffCode"), QStringList({"003", "001", "001", "009", "010"}));
        QCOMPARE(stored("StaffCode = '002'"), 1);
    }

    void sortOrdersByTheSelectedColumnAndKeepsTheCurrentRow() {
        QAbstractItemModelTester tester(grid->model());
        select(2, 0);
        QCOMPARE(current("StaffCode"), QStringLiteral("002"));
        sortBySelectedColumn(grid);
        QCOMPARE(ds->sort(), QStringLiteral("StaffCode ASC"));
        QCOMPARE(column("StaffCode"), QStringList({"001", "002", "003", "009", "010"}));
        QCOMPARE(current("StaffCode"), QStringLiteral("002"));
        QCOMPARE(grid->currentIndex().row(), 1);

        // Money sorts by amount, not by text; a later sort replaces the earlier one.
        select(1, 3);
        sortBySelectedColumn(grid);
        QCOMPARE(ds->sort(), QStringLiteral("LevelSalary ASC"));
        QCOMPARE(column("StaffCode"), QStringList({"009", "002", "003", "010", "001"}));
    }

    void aClickOnAColumnTitleSortsAsTheSortCommandDoes() {
        QMenu menu;
        QAction* sort = menu.addAction(QStringLiteral("排序"));
        int sorts = 0;
        QObject::connect(sort, &QAction::triggered, [&] {
            ++sorts;
            sortBySelectedColumn(grid);
        });
        setGridMenu(grid, &menu);
        sortOnTitleClick(grid, sort);
        const auto clickTitle = [this](int column) { hxtest::clickTitle(grid, column); };
        // The name being typed is stored first, and its row stays current.
        select(2, 1);
        hxtest::type(QStringLiteral("李肆"));
        clickTitle(3);
        QCOMPARE(sorts, 1);
        QCOMPARE(ds->sort(), QStringLiteral("LevelSalary ASC"));
        QCOMPARE(stored("StaffCode = '002' and StaffName = '李肆'"), 1);
        QCOMPARE(ds->state(), DataSetState::Browse);
        QCOMPARE(column("StaffCode"), QStringList({"009", "002", "003", "010", "001"}));
        QCOMPARE(current("StaffCode"), QStringLiteral("002"));
        QCOMPARE(grid->currentIndex(), grid->model()->index(1, 3));

        // Another title replaces the order; the same title again sorts ascending again, with the rows
        // changed meanwhile put in their place.
        clickTitle(0);
        QCOMPARE(ds->sort(), QStringLiteral("StaffCode ASC"));
        QCOMPARE(column("StaffCode"), QStringList({"001", "002", "003", "009", "010"}));
        select(0, 0);
        hxtest::type(QStringLiteral("008"));
        clickTitle(0);
        QCOMPARE(ds->sort(), QStringLiteral("StaffCode ASC"));
        QCOMPARE(column("StaffCode"), QStringList({"002", "003", "008", "009", "010"}));
        QCOMPARE(current("StaffCode"), QStringLiteral("008"));

        // A list with no rows loaded ignores the click.
        ds->close();
        clickTitle(1);
        QCOMPARE(sorts, 3);
        QVERIFY(dialogs->shown.isEmpty());
    }

    void sortOfAClosedListIsRefused() {
        select(0, 0);
        ds->close();
        QVERIFY_THROWS_EXCEPTION(DbError, sortBySelectedColumn(grid));
    }

    void findComparesWholeValuesIgnoringCase() {
        select(0, 1);
        dialogs->input(QStringLiteral("ABC"));
        QVERIFY(findInSelectedColumn(grid));
        QCOMPARE(current("StaffCode"), QStringLiteral("009"));
        QCOMPARE(dialogs->shown.last().title, QStringLiteral("查找"));
        QCOMPARE(dialogs->shown.last().text, QStringLiteral("值："));

        select(0, 1);
        dialogs->input(QStringLiteral("ab"));
        QVERIFY(!findInSelectedColumn(grid));
        QCOMPARE(current("StaffCode"), QStringLiteral("003"));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("information"));
        QCOMPARE(dialogs->lastText(), QStringLiteral("没有找到“ab”"));

        dialogs->input(QStringLiteral("o'neil"));
        QVERIFY(findInSelectedColumn(grid));
        QCOMPARE(current("StaffCode"), QStringLiteral("001"));

        // Cancel leaves the current row; a money column compares amounts.
        dialogs->cancelInput();
        QVERIFY(!findInSelectedColumn(grid));
        QCOMPARE(current("StaffCode"), QStringLiteral("001"));
        select(0, 3);
        dialogs->input(QStringLiteral("0.10"));
        QVERIFY(findInSelectedColumn(grid));
        QCOMPARE(current("StaffCode"), QStringLiteral("002"));
        dialogs->input(QStringLiteral("十元"));
        QVERIFY(!findInSelectedColumn(grid));
        QCOMPARE(current("StaffCode"), QStringLiteral("002"));
        QCOMPARE(dialogs->texts().filter(QStringLiteral("没有找到")),
                 QStringList({"没有找到“ab”", "没有找到“十元”"}));
    }

    void findWithAnEmptyTextLooksForAnEmptyValue() {
        select(0, 2);
        dialogs->input(QString(QLatin1String("")));
        QVERIFY(findInSelectedColumn(grid));
        QCOMPARE(current("StaffCode"), QStringLiteral("009"));
    }

    void appendStoresTheTypedTextAndAddsADefaultedRowStoredWhenLeft() {
        QAbstractItemModelTester tester(grid->model());
        const QString others = table("StaffCode <> '001'");
        select(1, 1);
        hxtest::type(QStringLiteral("奥尼尔"));  // still in the editor of another row
        appendRow(grid);
        QCOMPARE(stored("StaffCode = '001' and StaffName = '奥尼尔'"), 1);
        QCOMPARE(ds->state(), DataSetState::Insert);
        QCOMPARE(ds->recNo(), 5);
        QCOMPARE(grid->currentIndex(), grid->model()->index(5, 1));
        QCOMPARE(ds->asBool("Firedd"), false);
        QVERIFY(QTest::qWaitFor([this] { return hxtest::editing(grid); }));
        hxtest::type(QStringLiteral("孙七"));
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        hxtest::type(QStringLiteral("011"));
        hxtest::clickCell(grid, 0, 0);
        QCOMPARE(stored("StaffCode = '011' and StaffName = '孙七' and Firedd = 0"), 1);
        QCOMPARE(table("StaffCode not in ('001', '011')"), others);
        QCOMPARE(stored(), 6);
    }

    void appendOnAnUntouchedNewRowAddsNoSecondOne() {
        select(4, 0);
        appendRow(grid);
        appendRow(grid);
        QCOMPARE(ds->recordCount(), 6);
        hxtest::clickCell(grid, 0, 0);
        QCOMPARE(ds->recordCount(), 5);
        QCOMPARE(stored(), 5);
    }

    void toggleStoresTheTypedTextWithTheFlag() {
        select(2, 1);
        hxtest::type(QStringLiteral("李肆"));
        QVERIFY(toggleCurrentFlag(grid, QStringLiteral("Firedd")));
        QCOMPARE(stored("StaffCode = '002' and StaffName = '李肆' and Firedd = -1"), 1);
        // A refused row stays as typed, and the flag does not join it.
        select(3, 0);
        hxtest::type(QStringLiteral("003"));
        QVERIFY(!toggleCurrentFlag(grid, QStringLiteral("Firedd")));
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(ds->state(), DataSetState::Edit);
        QVERIFY(!ds->asBool(QStringLiteral("Firedd")));
        QCOMPARE(stored("Firedd <> 0"), 1);
        QCOMPARE(stored("StaffCode = '009'"), 1);
    }

    void deleteAsksAndOnlyYesDeletes() {
        QAbstractItemModelTester tester(grid->model());
        const auto question = [](const DataSet& d) {
            return QStringLiteral("删除 ") + d.asString("StaffName");
        };
        select(1, 0);
        hxtest::type(QStringLiteral("099"));  // typed, not stored: the delete goes by the stored row
        dialogs->answer(Answer::No);
        QVERIFY(!deleteCurrentRow(grid, question));
        dialogs->answer(Answer::Closed);
        QVERIFY(!deleteCurrentRow(grid, question));
        QCOMPARE(stored(), 5);
        dialogs->answer(Answer::Yes);
        QVERIFY(deleteCurrentRow(grid, question));
        QCOMPARE(stored(), 4);
        QCOMPARE(stored("StaffCode = '001'"), 0);
        QCOMPARE(current("StaffCode"), QStringLiteral("002"));
        QCOMPARE(dialogs->texts(), QStringList({"删除 O'Neil", "删除 O'Neil", "删除 O'Neil"}));
        QCOMPARE(dialogs->shown.last().kind, QStringLiteral("confirm"));
    }

    void deleteOfANewRowDiscardsItAndTheQuestionShowsTheTypedName() {
        select(4, 1);
        appendRow(grid);
        QVERIFY(QTest::qWaitFor([this] { return hxtest::editing(grid); }));
        hxtest::type(QStringLiteral("新人"));
        dialogs->answer(Answer::Yes);
        QVERIFY(deleteCurrentRow(grid, [](const DataSet& d) { return d.asString("StaffName"); }));
        QCOMPARE(dialogs->lastText(), QStringLiteral("新人"));
        QCOMPARE(ds->state(), DataSetState::Browse);
        QCOMPARE(ds->recordCount(), 5);
        QCOMPARE(stored(), 5);
    }

    void deleteOnAnEmptyListFailsAfterTheAnswer() {
        ds->close();
        ds->setSql(QStringLiteral("select staffID, StaffCode, StaffName from staff where 1=0"));
        ds->setUpdateTable(QStringLiteral("staff"), {QStringLiteral("staffID")});
        ds->open();
        dialogs->answer(Answer::Yes);
        QVERIFY_THROWS_EXCEPTION(DbError,
                                 deleteCurrentRow(grid, [](const DataSet&) { return QStringLiteral("?"); }));
        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(stored(), 5);
    }

    void theMenuOpensAlsoOverTheCellEditor() {
        QMenu menu;
        menu.addAction(QStringLiteral("排序"));
        setGridMenu(grid, &menu);
        select(1, 1);
        QWidget* editor = QApplication::focusWidget();
        QVERIFY(hxtest::editing(grid));
        QCOMPARE(editor->contextMenuPolicy(), Qt::NoContextMenu);
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), editor->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(editor, &event);
        QTRY_VERIFY(menu.isVisible());
        QVERIFY(!editor->findChild<QMenu*>());
        menu.close();
    }
};

HX_WINDOW_TEST_MAIN(TestListOps)
#include "tst_listops.moc"
