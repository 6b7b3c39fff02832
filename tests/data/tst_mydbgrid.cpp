#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>

#include "data/connection.h"
#include "data/mydbgrid.h"
#include "support/testsupport.h"

using namespace hx;

class TestMyDBGrid : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::TempProgramDir> dir;
    std::unique_ptr<hxtest::ScriptedDialogs> dialogs;
    Connection cn;
    std::unique_ptr<DataSet> ds;
    std::unique_ptr<QWidget> window;
    TMyDBGrid* grid = nullptr;
    QLineEdit* elsewhere = nullptr;

    int stored(const QString& where = QStringLiteral("1=1")) {
        return cn.scalar(QStringLiteral("select count(*) from staff where ") + where).toInt();
    }
    void press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(grid, Qt::Key(key), mods);
    }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::TempProgramDir>();
        dialogs = std::make_unique<hxtest::ScriptedDialogs>();
        cn.open(dir->createAccountSet(QStringLiteral("g")));
        for (int i = 1; i <= 3; ++i)
            cn.exec(QStringLiteral("insert into staff (StaffCode, StaffName, salaryDay) values (?, ?, 5)"),
                    {QStringLiteral("00%1").arg(i), QStringLiteral("工%1").arg(i)});
        ds = std::make_unique<DataSet>(&cn);
        ds->setSql(QStringLiteral("select staffID, StaffCode, StaffName, salaryDay, Firedd from staff"));
        ds->afterInsert = [](DataSet& d) { d.setValue("Firedd", false); };
        ds->onPostError = [this](DataSet& d, const DbError&) {
            Dialogs::get().beep();
            d.cancel();
            return PostErrorAction::Abort;
        };
        ds->open();
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        grid = new TMyDBGrid(window.get());
        elsewhere = new QLineEdit(window.get());
        layout->addWidget(grid);
        layout->addWidget(elsewhere);
        grid->setDataSet(ds.get());
        GridColumn day(QStringLiteral("salaryDay"), QStringLiteral("发薪日"));
        for (int d = 1; d <= 31; ++d) day.pickList << QString::number(d);
        GridColumn name(QStringLiteral("StaffName"), QStringLiteral("姓名"), 83);
        name.hasButton = true;
        grid->setColumns({{QStringLiteral("StaffCode"), QStringLiteral("工号"), 142}, name, day});
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        grid->setFocus();
    }
    void cleanup() {
        HX_VERIFY_DIALOGS(*dialogs);
        window.reset();
        ds.reset();
        cn.close();
        dialogs.reset();
        dir.reset();
    }

    void downOnTheLastRowAppendsAndAnUntouchedRowIsDroppedOnLeaving() {
        ds->last();
        press(Qt::Key_Down);
        QCOMPARE(ds->state(), DataSetState::Insert);
        QCOMPARE(ds->recordCount(), 4);
        QCOMPARE(ds->asBool("Firedd"), false);
        // A second down arrow on the untouched new row adds nothing more.
        press(Qt::Key_Down);
        QCOMPARE(ds->recordCount(), 4);
        elsewhere->setFocus();
        QCOMPARE(ds->state(), DataSetState::Browse);
        QCOMPARE(ds->recordCount(), 3);
        QCOMPARE(stored(), 3);
    }

    void leavingARowStoresIt() {
        ds->last();
        press(Qt::Key_Down);
        QVERIFY(grid->model()->setData(grid->model()->index(3, 0), QStringLiteral("004")));
        QVERIFY(grid->model()->setData(grid->model()->index(3, 1), QStringLiteral("新工")));
        QCOMPARE(stored(), 3);
        press(Qt::Key_Up);
        QCOMPARE(ds->state(), DataSetState::Browse);
        QCOMPARE(stored("StaffCode='004'"), 1);
        QCOMPARE(ds->recNo(), 2);
    }

    void aRefusedRowIsDroppedWithABeep() {
        grid->setCurrentIndex(grid->model()->index(0, 0));
        QVERIFY(grid->model()->setData(grid->model()->index(0, 0), QStringLiteral("002")));
        grid->setCurrentIndex(grid->model()->index(1, 0));
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(ds->textAt(0, ds->fieldIndex("StaffCode")), QStringLiteral("001"));
        QCOMPARE(stored("StaffCode='002'"), 1);
    }

    void ctrlDeleteAsksTheGridsOwnQuestion() {
        grid->setCurrentIndex(grid->model()->index(1, 0));
        dialogs->answer(Answer::Cancel);
        press(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(stored(), 3);
        dialogs->answer(Answer::Ok);
        press(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(stored(), 2);
        QCOMPARE(stored("StaffCode='002'"), 0);
        QCOMPARE(dialogs->texts(), QStringList({"Delete record?", "Delete record?"}));
        QCOMPARE(dialogs->shown.last().kind, QStringLiteral("okCancel"));
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
        grid->setCurrentIndex(grid->model()->index(0, 2));
        QVERIFY(grid->model()->setData(grid->model()->index(0, 2), QStringLiteral("x")));
        grid->setCurrentIndex(grid->model()->index(1, 2));
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(cn.scalar("select salaryDay from staff where StaffCode='001'").toInt(), 5);
        QCOMPARE(ds->textAt(0, ds->fieldIndex("salaryDay")), QStringLiteral("5"));
    }
};

QTEST_MAIN(TestMyDBGrid)
#include "tst_mydbgrid.moc"
