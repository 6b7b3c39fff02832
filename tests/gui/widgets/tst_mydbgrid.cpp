#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include "core/data/connection.h"
#include "gui/widgets/mydbgrid.h"
#include "support/gridmenu.h"
#include "support/testsupport.h"

using namespace hx;

namespace {

// Error boxes as the real ones are: modal windows that take the focus until they are closed, here by a
// timer. A box asked for while another is up is counted; only a few are shown.
class RealErrorBoxes : public hxtest::ScriptedDialogs {
  public:
    int boxes = 0;
    void error(const QString& text) override {
        ScriptedDialogs::error(text);
        if (++boxes > 3) return;
        QMessageBox box(QMessageBox::Critical, QString(), text, QMessageBox::Ok);
        QTimer::singleShot(400, &box, &QDialog::accept);
        box.exec();
    }
};

}  // namespace

class TestMyDBGrid : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::ScriptedDialogs> dialogs;
    Connection cn;
    std::unique_ptr<hxtest::OpenAccountSet> dir;
    std::unique_ptr<DataSet> ds;
    std::unique_ptr<QWidget> window;
    TMyDBGrid* grid = nullptr;
    QLineEdit* elsewhere = nullptr;

    int stored(const QString& where = QStringLiteral("1=1")) {
        return cn.scalar(QStringLiteral("select count(*) from staff where ") + where).toInt();
    }
    void press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        hxtest::settle();
        hxtest::key(Qt::Key(key), mods);
    }
    void clickElsewhereInGrid(int row, int column) { hxtest::clickCell(grid, row, column); }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::OpenAccountSet>(cn, QStringLiteral("g"));
        dialogs = std::make_unique<hxtest::ScriptedDialogs>();
        for (int i = 1; i <= 3; ++i)
            cn.exec(QStringLiteral("insert into staff (StaffCode, StaffName, salaryDay) values (?, ?, 5)"),
                    {QStringLiteral("00%1").arg(i), QStringLiteral("工%1").arg(i)});
        ds = std::make_unique<DataSet>(&cn);
        ds->setSql(QStringLiteral("select staffID, StaffCode, StaffName, salaryDay, Firedd from staff"));
        ds->setUpdateTable(QStringLiteral("staff"), {QStringLiteral("staffID")});
        ds->afterInsert = [](DataSet& d) { d.setValue("Firedd", false); };
        ds->open();
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        grid = new TMyDBGrid(window.get());
        elsewhere = new QLineEdit(window.get());
        layout->addWidget(grid);
        layout->addWidget(elsewhere);
        grid->setDataSet(ds.get());
        keepRefusedRows(ds.get(), {grid});
        GridColumn day(QStringLiteral("salaryDay"), QStringLiteral("发薪日"));
        for (int d = 1; d <= 31; ++d) day.pickList << QString::number(d);
        GridColumn name(QStringLiteral("StaffName"), QStringLiteral("姓名"), 83);
        name.hasButton = true;
        grid->setColumns({{QStringLiteral("StaffCode"), QStringLiteral("工号"), 142}, name, day});
        grid->setAlwaysShowEditor(true);
        window->resize(500, 300);
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

    QString nameOf(const QString& code) {
        return cn.scalar(QStringLiteral("select StaffName from staff where StaffCode=?"), {code}).toString();
    }

    // ---- what a clerk does, keys sent to the focused cell editor, results read from the file

    void downOnTheLastRowAppendsAndAnUntouchedRowIsDroppedOnLeaving() {
        QVERIFY(hxtest::enterCell(grid, 2, 0));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(ds->state(), DataSetState::Insert);
        QCOMPARE(ds->recordCount(), 4);
        QCOMPARE(grid->currentIndex().row(), 3);
        QVERIFY(QTest::qWaitFor([this] { return hxtest::editing(grid); }));
        // A second down arrow on the untouched new row adds nothing more.
        hxtest::key(Qt::Key_Down);
        QCOMPARE(ds->recordCount(), 4);
        elsewhere->setFocus();
        hxtest::settle();
        QCOMPARE(ds->state(), DataSetState::Browse);
        QCOMPARE(ds->recordCount(), 3);
        QCOMPARE(stored(), 3);
        QCOMPARE(nameOf("003"), QStringLiteral("工3"));
    }

    void aRowTypedAfterTheDownArrowIsANewRowAndTheLastOneStaysAsItWas() {
        QVERIFY(hxtest::enterCell(grid, 2, 0));
        hxtest::key(Qt::Key_Down);
        hxtest::type(QStringLiteral("004"));
        hxtest::key(Qt::Key_Tab);
        QVERIFY(hxtest::editing(grid));
        QCOMPARE(grid->currentIndex().column(), 1);
        hxtest::type(QStringLiteral("新工"));
        QCOMPARE(stored(), 3);
        // Up leaves the new row with its name still in the editor: both values are stored.
        hxtest::key(Qt::Key_Up);
        QCOMPARE(ds->state(), DataSetState::Browse);
        QCOMPARE(stored(), 4);
        QCOMPARE(nameOf("004"), QStringLiteral("新工"));
        QCOMPARE(nameOf("003"), QStringLiteral("工3"));
        QCOMPARE(stored("StaffCode='004' and Firedd=0"), 1);
        QCOMPARE(ds->recNo(), 2);
    }

    void theValueInTheEditorIsStoredBeforeTheNextRowIsAppended() {
        QVERIFY(hxtest::enterCell(grid, 2, 0));
        hxtest::key(Qt::Key_Down);
        hxtest::type(QStringLiteral("004"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("甲"));
        hxtest::key(Qt::Key_Down);  // the name is still in the editor
        QCOMPARE(nameOf("004"), QStringLiteral("甲"));
        QCOMPARE(ds->state(), DataSetState::Insert);
        QCOMPARE(ds->recordCount(), 5);
        // The new row is entered in the column the user was in.
        QCOMPARE(grid->currentIndex(), grid->model()->index(4, 1));
        hxtest::type(QStringLiteral("乙"));
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        hxtest::type(QStringLiteral("005"));
        hxtest::key(Qt::Key_Return);
        clickElsewhereInGrid(0, 1);
        QCOMPARE(nameOf("005"), QStringLiteral("乙"));
        QCOMPARE(stored(), 5);
    }

    void aTextCellTakesNoMoreThanItsColumnHolds() {
        // StaffCode and StaffName are declared to hold ten characters: the eleventh is never taken, so
        // the database has nothing to refuse and what shows is what is stored.
        QVERIFY(hxtest::enterCell(grid, 0, 0));
        hxtest::type(QStringLiteral("A123456789XYZ"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("一二三四五六七八九十多"));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(stored("StaffCode='A123456789'"), 1);
        QCOMPARE(nameOf(QStringLiteral("A123456789")), QStringLiteral("一二三四五六七八九十"));
        QCOMPARE(ds->recordCount(), 3);
    }

    void tabOutOfTheLastCellGoesOnToANewRow() {
        QVERIFY(hxtest::enterCell(grid, 2, 2));
        hxtest::key(Qt::Key_Tab);
        QCOMPARE(ds->state(), DataSetState::Insert);
        QCOMPARE(grid->currentIndex(), grid->model()->index(3, 0));
        hxtest::type(QStringLiteral("004"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("丙"));
        hxtest::key(Qt::Key_Up);
        QCOMPARE(nameOf("004"), QStringLiteral("丙"));
        QCOMPARE(stored(), 4);
    }

    void aCommandThatAppendsStoresTheEditorFirstAndKeepsItsNewRow() {
        // A menu's "新增" appends while the user's text is still in the editor of another row.
        QVERIFY(hxtest::enterCell(grid, 1, 1));
        hxtest::type(QStringLiteral("改名"));
        ds->append();
        hxtest::settle();
        QCOMPARE(nameOf("002"), QStringLiteral("改名"));
        QCOMPARE(ds->state(), DataSetState::Insert);
        QCOMPARE(ds->recordCount(), 4);
        QCOMPARE(ds->asBool("Firedd"), false);
        QCOMPARE(grid->currentIndex(), grid->model()->index(3, 1));
        hxtest::type(QStringLiteral("丁"));
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        hxtest::type(QStringLiteral("004"));
        hxtest::key(Qt::Key_Up);
        QCOMPARE(nameOf("004"), QStringLiteral("丁"));
        QCOMPARE(stored(), 4);
    }

    void escapeDropsANewRowAndRestoresAnEditedOne() {
        QVERIFY(hxtest::enterCell(grid, 2, 0));
        hxtest::key(Qt::Key_Down);
        hxtest::type(QStringLiteral("004"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("戊"));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(ds->state(), DataSetState::Browse);
        QCOMPARE(ds->recordCount(), 3);

        QVERIFY(hxtest::enterCell(grid, 0, 1));
        hxtest::type(QStringLiteral("错名"));
        hxtest::key(Qt::Key_Tab);  // the new name is in the row now
        QCOMPARE(ds->asString("StaffName"), QStringLiteral("错名"));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(ds->asString("StaffName"), QStringLiteral("工1"));
        // The grid keeps its editor open: the user goes on typing in the same cell.
        QVERIFY(QTest::qWaitFor([this] { return hxtest::editing(grid); }, 1000));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(stored(), 3);
        QCOMPARE(nameOf("001"), QStringLiteral("工1"));
        QCOMPARE(nameOf("004"), QString());
    }

    void aRefusedRowStaysWithItsCellCurrentUntilEsc() {
        // A repeated code: the row stays as typed, the code cell current with its editor open, the
        // reason told with the column's title.
        QVERIFY(hxtest::enterCell(grid, 2, 0));
        hxtest::key(Qt::Key_Down);
        hxtest::type(QStringLiteral("002"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("重号"));
        hxtest::key(Qt::Key_Up);
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
        QCOMPARE(dialogs->lastReason(), QStringLiteral("工号“002”已经存在"));
        QCOMPARE(ds->state(), DataSetState::Insert);
        QVERIFY(QTest::qWaitFor([this] { return hxtest::editing(grid); }));
        QCOMPARE(grid->currentIndex(), grid->model()->index(3, 0));
        // Tab out of the last cell and a click on another row keep it too; the focus leaving the grid
        // does not drop it.
        hxtest::key(Qt::Key_Tab);
        hxtest::key(Qt::Key_Tab);
        hxtest::key(Qt::Key_Tab);
        QCOMPARE(grid->currentIndex(), grid->model()->index(3, 0));
        hxtest::clickCell(grid, 0, 1);
        QCOMPARE(grid->currentIndex(), grid->model()->index(3, 0));
        elsewhere->setFocus();
        hxtest::settle();
        QCOMPARE(ds->recordCount(), 4);
        QCOMPARE(dialogs->beeps, 3);
        QCOMPARE(stored(), 3);
        grid->setFocus();
        QVERIFY(QTest::qWaitFor([this] { return hxtest::editing(grid); }));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(ds->state(), DataSetState::Browse);
        QCOMPARE(ds->recordCount(), 3);
        QCOMPARE(stored(), 3);
        QCOMPARE(nameOf("002"), QStringLiteral("工2"));
        // An edit of an existing row to a repeated code stays until Esc gives the row its own back.
        QVERIFY(hxtest::enterCell(grid, 0, 1));
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        hxtest::key(Qt::Key_A, Qt::ControlModifier);
        hxtest::type(QStringLiteral("002"));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(dialogs->beeps, 4);
        QCOMPARE(ds->state(), DataSetState::Edit);
        QCOMPARE(grid->currentIndex(), grid->model()->index(0, 0));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(ds->textAt(0, ds->fieldIndex("StaffCode")), QStringLiteral("001"));
        QCOMPARE(stored("StaffCode='001'"), 1);
    }

    void theArrowsMoveBetweenRowsAlsoInADropDownCell() {
        QVERIFY(hxtest::enterCell(grid, 1, 2));
        QVERIFY(qobject_cast<QComboBox*>(QApplication::focusWidget()->parentWidget()) ||
                qobject_cast<QComboBox*>(QApplication::focusWidget()));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(grid->currentIndex().row(), 2);
        hxtest::key(Qt::Key_Down);
        QCOMPARE(ds->state(), DataSetState::Insert);
        hxtest::key(Qt::Key_Up);
        QCOMPARE(ds->recordCount(), 3);
        QCOMPARE(stored("salaryDay=5"), 3);
    }

    void aRowThatCannotBeStoredShowsOneErrorAndKeepsTheUserOnIt() {
        // Without a post-error handler the refusal reaches the error box, which takes the focus while up.
        ds->onPostError = nullptr;
        RealErrorBoxes boxes;
        QVERIFY(hxtest::typeOver(grid, 0, 0, QStringLiteral("002")));
        hxtest::key(Qt::Key_Down);
        QTest::qWait(500);
        Dialogs::install(dialogs.get());
        QCOMPARE(boxes.boxes, 1);
        QCOMPARE(ds->state(), DataSetState::Edit);
        QCOMPARE(ds->recNo(), 0);
        QCOMPARE(grid->currentIndex().row(), 0);
        QVERIFY(hxtest::showActive(window.get()));  // the user comes back to the grid and takes it back
        QVERIFY(QTest::qWaitFor([this] { return hxtest::editing(grid); }));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(ds->textAt(0, ds->fieldIndex("StaffCode")), QStringLiteral("001"));
        QCOMPARE(stored("StaffCode='001'"), 1);
    }

    void ctrlDeleteAsksTheGridsOwnQuestionAlsoWhileEditing() {
        QVERIFY(hxtest::enterCell(grid, 1, 1));
        hxtest::type(QStringLiteral("半"));
        dialogs->answer(Answer::Cancel);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(stored(), 3);
        QVERIFY(hxtest::editing(grid));
        dialogs->answer(Answer::Ok);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(stored(), 2);
        QCOMPARE(stored("StaffCode='002'"), 0);
        QCOMPARE(dialogs->texts(), QStringList({"Delete record?", "Delete record?"}));
        QCOMPARE(dialogs->shown.last().kind, QStringLiteral("okCancel"));
    }

    void aGridWithFixedRowsStoresTheRowAndNeitherAppendsNorDeletes() {
        grid->setFixedRows(true);
        // Down on the last row stores what is in the editor and stays there.
        QVERIFY(hxtest::enterCell(grid, 2, 1));
        hxtest::type(QStringLiteral("末行"));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(ds->state(), DataSetState::Browse);
        QCOMPARE(ds->recordCount(), 3);
        QCOMPARE(grid->currentIndex(), grid->model()->index(2, 1));
        QCOMPARE(nameOf("003"), QStringLiteral("末行"));
        // Tab out of the last cell likewise.
        QVERIFY(hxtest::enterCell(grid, 2, 2));
        hxtest::key(Qt::Key_Backspace);
        hxtest::type(QStringLiteral("9"));
        hxtest::key(Qt::Key_Tab);
        QCOMPARE(ds->state(), DataSetState::Browse);
        QCOMPARE(grid->currentIndex(), grid->model()->index(2, 2));
        QCOMPARE(cn.scalar("select salaryDay from staff where StaffCode='003'").toInt(), 9);
        // Ctrl+Delete asks nothing and deletes nothing, also while editing; the editor keeps its text.
        QVERIFY(hxtest::enterCell(grid, 0, 1));
        hxtest::type(QStringLiteral("甲"));
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(hxtest::editing(grid));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(nameOf("001"), QStringLiteral("甲"));
        QCOMPARE(stored(), 3);
        QVERIFY(dialogs->shown.isEmpty());
    }

    void columnsStayInPlaceAndWidthChangesAreSignalled() {
        QVERIFY(!grid->horizontalHeader()->sectionsMovable());
        QCOMPARE(grid->columnWidth(0), 142);
        QSignalSpy widths(grid, &TMyDBGrid::OnColWidthChanged);
        grid->setColumnWidth(1, 120);
        QCOMPARE(widths.count(), 1);
        QCOMPARE(widths.first().first().value<TMyDBGrid*>(), grid);
        grid->setColumnTitle(1, QStringLiteral("名字"));
        QCOMPARE(grid->columnTitle(1), QStringLiteral("名字"));
        QCOMPARE(grid->columnWidth(1), 120);
    }

    void selectedColumnNamesItsField() {
        grid->setCurrentIndex(grid->model()->index(2, 2));
        QCOMPARE(grid->selectedIndex(), 2);
        QCOMPARE(grid->selectedField(), QStringLiteral("salaryDay"));
        QCOMPARE(ds->recNo(), 2);
        ds->first();
        QCOMPARE(grid->currentIndex().row(), 0);
        QCOMPARE(grid->selectedIndex(), 2);
    }

    void pickerColumnsOfferTheirButtonAndPickListsADropDown() {
        QSignalSpy button(grid, &TMyDBGrid::editButtonClicked);
        grid->setCurrentIndex(grid->model()->index(0, 1));
        press(Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(button.count(), 1);
        QCOMPARE(button.first().first().toInt(), 1);
        grid->setCurrentIndex(grid->model()->index(0, 0));
        press(Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(button.count(), 1);

        grid->setCurrentIndex(grid->model()->index(0, 2));
        static_cast<QAbstractItemView*>(grid)->edit(grid->currentIndex());
        auto* box = grid->findChild<QComboBox*>();
        QVERIFY(box);
        QCOMPARE(box->count(), 31);
        QCOMPARE(box->maxVisibleItems(), 9);
    }

    void aLetterInANumberCellIsNeverStored() {
        QVERIFY(hxtest::enterCell(grid, 0, 2));
        hxtest::type(QStringLiteral("x"));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(dialogs->lastReason(), QStringLiteral("“发薪日”必须是整数"));
        QCOMPARE(cn.scalar("select salaryDay from staff where StaffCode='001'").toInt(), 5);
        // Shown as typed until Esc.
        QCOMPARE(ds->textAt(0, ds->fieldIndex("salaryDay")), QStringLiteral("5x"));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(ds->textAt(0, ds->fieldIndex("salaryDay")), QStringLiteral("5"));
    }
};

HX_WINDOW_TEST_MAIN(TestMyDBGrid)
#include "tst_mydbgrid.moc"
