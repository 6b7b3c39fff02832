#include <QAbstractItemModelTester>
#include <QtTest>

#include "core/data/connection.h"
#include "core/data/dataset.h"
#include "core/data/datasetmodel.h"
#include "core/data/queries.h"
#include "core/payroll/salarysheet.h"
#include "core/piecework/jobtotals.h"
#include "support/coresupport.h"

using namespace hx;

class TestDataSet : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::TempProgramDir> dir;
    AccountSet set;
    Connection cn;

    void addWorker(const QString& code, const QString& name, const QVariant& group, const QString& level,
                   int fired = 0) {
        cn.exec(QStringLiteral(
                    "insert into staff (StaffCode, StaffName, ClassGroup, LevelSalary, salaryDay, Firedd) "
                    "values (?, ?, ?, ?, 5, ?)"),
                {code, name, group, QVariant::fromValue(*Money::parse(level)), fired});
    }
    int storedCount(const QString& where = QStringLiteral("1=1")) {
        return cn.scalar(QStringLiteral("select count(*) from staff where ") + where).toInt();
    }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::TempProgramDir>();
        set = dir->newAccountSet(QStringLiteral("t"));
        set.open(cn);
        addWorker("003", "王五", "车缝一组", "300.5");
        addWorker("001", "O'Neil", "裁剪组", "1200");
        addWorker("002", "李四", "车缝一组", "0.1");
        addWorker("009", "abc", "", "0");
        addWorker("010", "赵六", QVariant(), "0", -1);
    }
    void cleanup() {
        cn.close();
        dir.reset();
    }

    void aRowThatIsGoneOrReplacedIsNeverWrittenOver() {
        // The row was deleted under the data set: the edit changes nothing and says so.
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        ds.open();
        ds.locate("StaffCode", "002");
        cn.exec("delete from staff where StaffCode='002'");
        ds.setValue("StaffName", "新名");
        QSignalSpy discarded(&ds, &DataSet::discardOpenEditors);
        try {
            ds.post();
            QFAIL("a post onto a deleted row must fail");
        } catch (const RowChangedError& e) {
            QCOMPARE(e.message(), hxtest::rowChangedText());
        }
        // What was typed stays in the row; deleting it deletes nothing and drops the row that is gone.
        QCOMPARE(ds.state(), DataSetState::Edit);
        QCOMPARE(ds.value("StaffName").toString(), QStringLiteral("新名"));
        QCOMPARE(storedCount("StaffName='新名'"), 0);
        QCOMPARE(discarded.count(), 0);
        QVERIFY_THROWS_EXCEPTION(RowChangedError, ds.remove());
        QVERIFY(discarded.count() >= 1);
        QCOMPARE(ds.recordCount(), 3);
        QCOMPARE(storedCount(), 4);

        // The key now names another worker's row, which stays as it is.
        cn.exec("create table sheet (id integer primary key, code varchar(10), amount integer)");
        cn.exec("insert into sheet (id, code, amount) values (1, 'A', 1), (2, 'B', 2)");
        DataSet sheet(&cn);
        sheet.setSql("select id, code, amount from sheet");
        sheet.setUpdateTable("sheet", {"id"});
        sheet.setRowIdentity({"code"});
        sheet.open();
        sheet.last();
        cn.exec("delete from sheet");
        cn.exec("insert into sheet (id, code, amount) values (1, 'X', 7), (2, 'Y', 8)");  // the same keys
        sheet.setValue("amount", 99);
        QVERIFY_THROWS_EXCEPTION(RowChangedError, sheet.post());
        QVERIFY_THROWS_EXCEPTION(RowChangedError, sheet.remove());
        QCOMPARE(hxtest::rowsText(cn, "sheet", "id", {"code", "amount"}), QStringLiteral("X|7;Y|8"));
        // While the row is still what was read, it is written as usual.
        sheet.close();
        sheet.open();
        sheet.setValue("amount", 70);
        QVERIFY(sheet.post());
        QCOMPARE(cn.scalar("select amount from sheet where code='X'").toInt(), 70);
    }

    void anEditOfARowAnotherCopyChangedNeverWritesOverIt() {
        // Two copies of the program on one account set: two connections on one file.
        Connection other;
        hxtest::openAgain(other, cn);
        cn.exec("update staff set LevelSalary=6500, A02=0.1+0.2 where StaffCode='001'");
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        ds.open();
        QVERIFY(ds.locate("StaffCode", "001"));
        other.exec("update staff set LevelSalary=7000 where StaffCode='001'");

        // The second writer is refused, keeps his edit, and nothing is overwritten.
        ds.setValue("LevelSalary", QVariant::fromValue(*Money::parse("6600")));
        QVERIFY_THROWS_EXCEPTION(RowChangedError, ds.post());
        QCOMPARE(ds.state(), DataSetState::Edit);
        QCOMPARE(ds.asMoney("LevelSalary").toPlainString(), QStringLiteral("6600"));
        QVERIFY_THROWS_EXCEPTION(RowChangedError, ds.post());
        QCOMPARE(other.scalar("select LevelSalary from staff where StaffCode='001'").toInt(), 7000);
        // Esc shows what is stored now; the edit redone on it is stored. An amount the engine holds as
        // 0.30000000000000004 is read as 0.30 and still counts as unchanged.
        ds.cancel();
        QCOMPARE(ds.asMoney("LevelSalary").toPlainString(), QStringLiteral("7000"));
        ds.setValue("LevelSalary", QVariant::fromValue(*Money::parse("6600")));
        QVERIFY(ds.post());
        QCOMPARE(other.scalar("select LevelSalary from staff where StaffCode='001'").toInt(), 6600);

        // Any stored field counts, not only the one edited; a delete is checked the same way.
        other.exec("update staff set ClassGroup='后道组' where StaffCode='001'");
        ds.setValue("StaffName", QStringLiteral("王小二"));
        QVERIFY_THROWS_EXCEPTION(RowChangedError, ds.post());
        ds.cancel();
        QCOMPARE(ds.value("ClassGroup").toString(), QStringLiteral("后道组"));
        QCOMPARE(ds.value("StaffName").toString(), QStringLiteral("O'Neil"));
        other.exec("update staff set salaryDay=20 where StaffCode='001'");
        QVERIFY_THROWS_EXCEPTION(RowChangedError, ds.remove());
        QCOMPARE(ds.asInt("salaryDay"), 20);
        ds.remove();
        QCOMPARE(other.scalar("select count(*) from staff where StaffCode='001'").toInt(), 0);
    }

    void aValueRefusedByOnValidateLeavesTheRowAsItWas() {
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        ds.open();
        ds.locate("StaffCode", "002");
        ds.onValidate = [](DataSet& d, int field, const QVariant& value) {
            // Named as the engine names the column: a server keeps it in lower case.
            if (d.field(field).name.compare(QLatin1String("ClassGroup"), Qt::CaseInsensitive) == 0 &&
                value.toString().size() > 3)
                throw DbError(QStringLiteral("太长"));
        };
        QVERIFY_THROWS_EXCEPTION(DbError, ds.setValue("ClassGroup", QStringLiteral("很长的班组名")));
        QCOMPARE(ds.state(), DataSetState::Browse);
        QCOMPARE(ds.value("ClassGroup").toString(), QStringLiteral("车缝一组"));
        ds.setValue("ClassGroup", QStringLiteral("新组"));
        ds.post();
        QCOMPARE(storedCount("ClassGroup='新组'"), 1);
    }

    void closingTheConnectionClosesItsDataSets() {
        // Data sets of two windows on the connection, one of them with a row in edit.
        DataSet list(&cn);
        setQuery(list, staffList(false));
        list.open();
        DataSet edited(&cn);
        setQuery(edited, staffList(false));
        edited.open();
        edited.setValue("StaffName", "未保存");
        QSignalSpy dropped(&edited, &DataSet::discardOpenEditors);
        // Neither a table in memory nor a data set on another connection belongs to it.
        DataSet memory;
        memory.defineFields({Field("n", FieldType::Integer)});
        memory.open();
        Connection other;
        hxtest::openAgain(other, cn);
        DataSet elsewhere(&other);
        setQuery(elsewhere, staffList(false));
        elsewhere.open();

        cn.close();
        QVERIFY(!list.isOpen());
        QVERIFY(!edited.isOpen());
        QVERIFY(dropped.count() >= 1);
        QVERIFY(memory.isOpen());
        QCOMPARE(elsewhere.recordCount(), 4);
        // Opening the connection again does not bring them back; they open when asked to.
        hxtest::openAgain(cn, other);
        QVERIFY(!list.isOpen());
        QCOMPARE(storedCount("StaffName='未保存'"), 0);
        list.open();
        QCOMPARE(list.recordCount(), 4);
        // A data set given another connection leaves this one.
        list.setConnection(&other);
        cn.close();
        QVERIFY(list.isOpen());
        hxtest::openAgain(cn, other);
    }

    void pendingEditsAreStoredBeforeTheConnectionCloses() {
        DataSet changed(&cn);
        setQuery(changed, staffList(false));
        changed.open();
        changed.locate("StaffCode", "002");
        changed.setValue("StaffName", "李四四");
        // A grid whose cell editor still holds typed text hands it over when asked.
        DataSet typed(&cn);
        setQuery(typed, staffList(false));
        typed.open();
        typed.locate("StaffCode", "009");
        connect(&typed, &DataSet::commitOpenEditors, &typed, [&typed] {
            if (!typed.isEditing()) typed.setValue("StaffName", "在编辑器里");
        });
        DataSet untouched(&cn);
        setQuery(untouched, staffList(false));
        untouched.open();
        untouched.append();
        cn.storePendingEdits();
        QCOMPARE(storedCount("StaffName='李四四'"), 1);
        QCOMPARE(storedCount("StaffCode='009' and StaffName='在编辑器里'"), 1);
        QCOMPARE(untouched.state(), DataSetState::Browse);
        QCOMPARE(untouched.recordCount(), 4);
        QCOMPARE(storedCount(), 5);

        // A row the database refuses, with no handler to drop it, stops the work and stays in edit.
        DataSet refused(&cn);
        setQuery(refused, staffList(false));
        refused.open();
        refused.setValue("StaffCode", "001");
        QVERIFY_THROWS_EXCEPTION(DbError, cn.storePendingEdits());
        QCOMPARE(refused.state(), DataSetState::Edit);
        QVERIFY(cn.isOpen());
        // A handler that drops the refused row lets it go, as leaving the row does.
        refused.onPostError = [](DataSet& d, const DbError&) {
            d.cancel();
            return PostErrorAction::Abort;
        };
        cn.storePendingEdits();
        QCOMPARE(refused.state(), DataSetState::Browse);
        QCOMPARE(storedCount("StaffCode='001'"), 1);
    }

    void dataSetsAndConnectionsMayEndInEitherOrder() {
        auto early = std::make_unique<DataSet>(&cn);
        setQuery(*early, staffList(false));
        early->open();
        early.reset();
        cn.close();  // knows nothing more of the data set that is gone

        auto connection = std::make_unique<Connection>();
        set.open(*connection);
        DataSet late(connection.get());
        setQuery(late, staffList(false));
        late.open();
        connection.reset();
        QCOMPARE(late.connection(), nullptr);
        QVERIFY_THROWS_EXCEPTION(DbError, late.requery());
    }

    void opensWithTypesFromTheSchema() {
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        ds.open();
        QCOMPARE(ds.state(), DataSetState::Browse);
        QCOMPARE(ds.recordCount(), 4);
        QCOMPARE(ds.recNo(), 0);
        QCOMPARE(ds.field("LevelSalary").type, FieldType::Money);
        QCOMPARE(ds.field("StaffCode").type, FieldType::Text);
        QCOMPARE(ds.field("StaffCode").size, 10);
        QCOMPARE(ds.field("Firedd").type, FieldType::Bool);
        QCOMPARE(ds.field("salaryDay").type, FieldType::Integer);
        QVERIFY(ds.field("staffID").readOnly);
        QCOMPARE(ds.asString("StaffCode"), QStringLiteral("003"));
        QCOMPARE(ds.asMoney("LevelSalary"), *Money::parse("300.5"));
        QCOMPARE(ds.text("LevelSalary"), QStringLiteral("300.50"));
        QCOMPARE(ds.asBool("Firedd"), false);
        // A process's unit price, under whatever name, is shown with its four decimals.
        cn.exec(QStringLiteral("insert into job (JobCode, UnitPrice) values ('A1', 0.1234)"));
        ds.close();
        ds.setSql(QStringLiteral("select JobID, UnitPrice as 工价 from job"));
        ds.open();
        QCOMPARE(ds.text("工价"), QStringLiteral("0.1234"));
    }

    // A long list keeps every value in its row: Nulls, a text in a number column and a day that is no
    // date among whole numbers and dates, across the blocks the rows are read in.
    void everyValueOfALongListStaysInItsRow() {
        // Only the file holds a text in a number column or a day that is no date.
        const bool foreign = !hxtest::onServer();
        cn.execScript(QStringLiteral("create table mixed (i INTEGER, n INTEGER, d DATE, s VARCHAR(10))"));
        PreparedStatement add(cn, QStringLiteral("insert into mixed values (?, ?, ?, ?)"));
        auto expectedN = [foreign](int i) {
            return i % 7 == 0                ? QVariant()
                   : foreign && i % 100 == 3 ? QVariant(QStringLiteral("x%1").arg(i))
                                             : QVariant(qint64(i));
        };
        auto expectedD = [](int i) {
            return i % 11 == 0 ? QVariant() : QVariant(QDate(2026, 1, 1).addDays(i % 300));
        };
        Transaction adding(cn);
        for (int i = 0; i < 1300; ++i) {
            add.bind(1, i);
            add.bind(2, expectedN(i));
            if (foreign && i == 999)
                add.bind(3, QStringLiteral("不是日期"));
            else
                add.bind(3, expectedD(i));
            add.bind(4, QStringLiteral("s%1").arg(i % 5));
            add.run();
        }
        adding.commit();
        DataSet ds(&cn);
        ds.setSql(QStringLiteral("select n, d, s from mixed order by i"));
        ds.open();
        QCOMPARE(ds.recordCount(), 1300);
        for (int i = 0; i < 1300; ++i) {
            QCOMPARE(ds.valueAt(i, 0), expectedN(i));
            QCOMPARE(ds.integerAt(i, 0),
                     expectedN(i).isNull() ? std::nullopt : std::optional<qint64>(expectedN(i).toLongLong()));
            if (foreign && i == 999)
                QCOMPARE(ds.valueAt(i, 1).toString(), QStringLiteral("不是日期"));
            else
                QCOMPARE(ds.valueAt(i, 1), expectedD(i));
            QCOMPARE(ds.valueAt(i, 2).toString(), QStringLiteral("s%1").arg(i % 5));
        }
    }

    void closedAndEmptyDataSetsRefuseOperations() {
        DataSet ds(&cn);
        ds.setSql(QStringLiteral("select * from job"));
        try {
            ds.setSort(QStringLiteral("JobCode ASC"));
            QFAIL("sort on a closed data set");
        } catch (const DbError& e) {
            QCOMPARE(e.message(), QStringLiteral("Cannot perform this operation on a closed dataset"));
        }
        ds.open();
        QVERIFY(ds.isEmpty());
        QCOMPARE(ds.recNo(), -1);
        QVERIFY(ds.value("JobCode").isNull());
        try {
            ds.remove();
            QFAIL("delete on an empty data set");
        } catch (const DbError& e) {
            QCOMPARE(e.message(), QStringLiteral("Cannot perform this operation on an empty dataset"));
        }
    }

    void editAndPostWritesTheRowAtOnce() {
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        ds.open();
        QVERIFY(ds.locate("StaffCode", "001"));
        ds.setValue("StaffName", QStringLiteral("O\"Brien"));
        ds.setValue("LevelSalary", QStringLiteral("2.675"));
        QCOMPARE(ds.state(), DataSetState::Edit);
        QVERIFY(ds.isModified());
        QVERIFY(ds.post());
        QCOMPARE(ds.state(), DataSetState::Browse);
        QCOMPARE(cn.scalar("select StaffName from staff where StaffCode='001'").toString(),
                 QStringLiteral("O\"Brien"));
        QCOMPARE(Money::fromVariant(cn.scalar("select LevelSalary from staff where StaffCode='001'")),
                 *Money::parse("2.675"));
        QCOMPARE(ds.asMoney("LevelSalary"), *Money::parse("2.675"));
    }

    void equalTextsLoadedAloneEditOnlyTheirRow() {
        // 王五 and 李四 load the same class group text; changing it for one leaves the other as stored.
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        ds.open();
        QVERIFY(ds.locate("StaffCode", "003"));
        ds.setValue("ClassGroup", QStringLiteral("车缝二组"));
        QVERIFY(ds.post());
        QVERIFY(ds.locate("StaffCode", "002"));
        QCOMPARE(ds.value("ClassGroup").toString(), QStringLiteral("车缝一组"));
        QCOMPARE(cn.scalar("select ClassGroup from staff where StaffCode='002'").toString(),
                 QStringLiteral("车缝一组"));
        QVERIFY(ds.locate("StaffCode", "003"));
        QCOMPARE(ds.value("ClassGroup").toString(), QStringLiteral("车缝二组"));
    }
    void cancelRestoresTheStoredValues() {
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        ds.open();
        ds.setValue("StaffName", QStringLiteral("改了"));
        ds.cancel();
        QCOMPARE(ds.asString("StaffName"), QStringLiteral("王五"));
        QCOMPARE(cn.scalar("select StaffName from staff where StaffCode='003'").toString(),
                 QStringLiteral("王五"));
    }

    void insertAndAppendPlaceTheNewRowAndStoreIt() {
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        QStringList events;
        ds.beforeInsert = [&](DataSet&) { events << "beforeInsert"; };
        ds.afterInsert = [&](DataSet& d) {
            events << "afterInsert";
            d.setValue("Firedd", false);
        };
        ds.beforePost = [&](DataSet&) { events << "beforePost"; };
        ds.afterPost = [&](DataSet&) { events << "afterPost"; };
        ds.open();
        ds.setRecNo(1);
        ds.insert();
        QCOMPARE(ds.recNo(), 1);
        QCOMPARE(ds.recordCount(), 5);
        QCOMPARE(ds.state(), DataSetState::Insert);
        QVERIFY2(!ds.isModified(), "defaults of the after-insert event are not a user's change");
        ds.setValue("StaffCode", "020");
        ds.setValue("StaffName", "新人");
        QVERIFY(ds.post());
        QVERIFY(ds.asInt("staffID") > 0);
        QCOMPARE(ds.asInt("staffID"),
                 cn.scalar("select staffID from staff where StaffCode='020'").toLongLong());
        // Defaults of the table are read back.
        QCOMPARE(ds.asMoney("A02"), Money());
        QVERIFY(!ds.value("A02").isNull());
        QCOMPARE(events, QStringList({"beforeInsert", "afterInsert", "beforePost", "afterPost"}));

        ds.append();
        QCOMPARE(ds.recNo(), 5);
        ds.setValue("StaffCode", "021");
        ds.setValue("StaffName", "末尾");
        ds.setValue("salaryDay", "15");
        QVERIFY(ds.post());
        QCOMPARE(storedCount(), 7);
        QCOMPARE(cn.scalar("select salaryDay from staff where StaffCode='021'").toInt(), 15);
    }

    void anUntouchedNewRowIsDroppedWhenLeft() {
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        ds.afterInsert = [](DataSet& d) { d.setValue("Firedd", false); };
        ds.open();
        ds.setRecNo(1);
        ds.insert();
        ds.setRecNo(3);  // 002, shown below the new row; it moves up when the new row vanishes
        QCOMPARE(ds.recordCount(), 4);
        QCOMPARE(ds.state(), DataSetState::Browse);
        QCOMPARE(ds.recNo(), 2);
        QCOMPARE(ds.asString("StaffCode"), QStringLiteral("002"));
        QCOMPARE(storedCount(), 5);
    }

    void aRefusedPostRestoresTheRowThroughTheHandler() {
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        int beeps = 0;
        ds.onPostError = [&](DataSet& d, const DbError&) {
            ++beeps;
            d.cancel();
            return PostErrorAction::Abort;
        };
        ds.open();
        // A repeated work number.
        ds.setValue("StaffCode", "001");
        QVERIFY(!ds.post());
        QCOMPARE(beeps, 1);
        QCOMPARE(ds.state(), DataSetState::Browse);
        QCOMPARE(ds.asString("StaffCode"), QStringLiteral("003"));
        // A pay day out of range.
        ds.setValue("salaryDay", 32);
        QVERIFY(!ds.post());
        QCOMPARE(ds.asInt("salaryDay"), 5);
        // A letter typed into a number field never reaches the database.
        ds.setValue("LevelSalary", QStringLiteral("12a"));
        QVERIFY(!ds.post());
        QCOMPARE(ds.asMoney("LevelSalary"), *Money::parse("300.5"));
        // A new row without a name vanishes.
        ds.append();
        ds.setValue("StaffCode", "030");
        QVERIFY(!ds.post());
        QCOMPARE(ds.recordCount(), 4);
        // A text longer than its column.
        ds.append();
        ds.setValue("StaffCode", "031");
        ds.setValue("StaffName", QString(11, QChar(0x738b)));
        QVERIFY(!ds.post());
        QCOMPARE(beeps, 5);
        QCOMPARE(storedCount(), 5);
        QCOMPARE(storedCount("StaffCode in ('030','031')"), 0);
    }

    void aRefusedPostWithoutHandlerRaisesAndKeepsTheEdit() {
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        ds.open();
        ds.setValue("StaffCode", "001");
        QVERIFY_THROWS_EXCEPTION(DbError, ds.post());
        QCOMPARE(ds.state(), DataSetState::Edit);
        QCOMPARE(ds.asString("StaffCode"), QStringLiteral("001"));
        ds.cancel();
        QCOMPARE(ds.asString("StaffCode"), QStringLiteral("003"));
    }

    // A refused row names the field it was refused for and why, with the field's title; it stays in
    // edit as typed, and nothing of it is written.
    void aRefusalNamesTheFieldAndWhy_data() {
        QTest::addColumn<bool>("newRow");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("repeated code") << false << "StaffCode" << QVariant("001") << "工号“001”已经存在";
        QTest::newRow("new row, code of a dismissed worker")
            << true << "StaffCode" << QVariant("010") << "工号“010”已经存在";
        QTest::newRow("code emptied") << false << "StaffCode" << QVariant("") << "“工号”必须填写";
        QTest::newRow("new row without a name") << true << "StaffName" << QVariant() << "“姓名”必须填写";
        QTest::newRow("pay day 32") << false << "salaryDay" << QVariant(32) << "“发薪日”必须在1到31之间";
        QTest::newRow("pay day a letter") << true << "salaryDay" << QVariant("x") << "“发薪日”必须是整数";
        QTest::newRow("wage a letter") << false << "LevelSalary" << QVariant("12a") << "“能力工资”必须是数字";
        QTest::newRow("group too long")
            << false << "ClassGroup" << QVariant(QString(21, QChar(0x7ec4))) << "“班组”最多只能有20个字符";
    }
    void aRefusalNamesTheFieldAndWhy() {
        QFETCH(bool, newRow);
        QFETCH(QString, field);
        QFETCH(QVariant, value);
        QFETCH(QString, text);
        const QStringList columns = {"StaffCode", "StaffName", "ClassGroup", "LevelSalary", "salaryDay"};
        const QString stored = hxtest::rowsText(cn, "staff", "staffID", columns);
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        ds.open();
        const QStringList names = {"StaffCode", "StaffName", "ClassGroup", "LevelSalary", "salaryDay"};
        const QStringList titles = {"工号", "姓名", "班组", "能力工资", "发薪日"};
        for (int i = 0; i < names.size(); ++i) ds.field(names[i]).displayLabel = titles[i];
        ds.locate("StaffCode", "003");
        if (newRow) {
            ds.append();
            ds.setValue("StaffCode", "030");
            ds.setValue("StaffName", "新人");
        }
        ds.setValue(field, value);
        try {
            ds.post();
            QFAIL("the row must be refused");
        } catch (const FieldRefusal& e) {
            QCOMPARE(e.field(), ds.fieldIndex(field));
            QCOMPARE(e.message(), text);
            // A grid tells it with its own title of the column.
            QVERIFY(e.textFor(QStringLiteral("标题")).contains(QStringLiteral("标题")));
        }
        QCOMPARE(ds.state(), newRow ? DataSetState::Insert : DataSetState::Edit);
        QCOMPARE(ds.value(field), value);
        QCOMPARE(hxtest::rowsText(cn, "staff", "staffID", columns), stored);
        // Corrected, the same row is stored.
        const QVariant correction = field == "StaffCode"   ? QVariant("040")
                                    : field == "StaffName" ? QVariant("新人")
                                                           : QVariant();
        ds.setValue(field, correction);
        QVERIFY(ds.post());
        QCOMPARE(storedCount(), newRow ? 6 : 5);
        QCOMPARE(storedCount("StaffCode in ('030', '040')"), newRow || field == "StaffCode" ? 1 : 0);
    }

    void aRepeatedRecordOrATriggerRefusesTheRowAsAWhole() {
        cn.exec("insert into JobData (dateD, staffID, jobID, qty) values ('2026-09-01', 1, 1, 10)");
        DataSet records(&cn);
        setQuery(records, pieceRecords(PieceFilter{QDate(2026, 9, 1), QDate(2026, 9, 1), {}, {}}));
        records.open();
        records.append();
        records.setValue("dateD", QDate(2026, 9, 1));
        records.setValue("staffID", 1);
        records.setValue("jobID", 1);
        records.setValue("qty", 10);
        try {
            records.post();
            QFAIL("a repeated record must be refused");
        } catch (const FieldRefusal& e) {
            // The quantity, typed last, is the cell to change.
            QCOMPARE(e.reason(), FieldRefusal::Reason::RepeatedRow);
            QCOMPARE(e.field(), records.fieldIndex("qty"));
            QCOMPARE(e.message(), QStringLiteral("已经有一条完全相同的记录"));
        }
        records.setValue("qty", 11);
        QVERIFY(records.post());
        QCOMPARE(cn.scalar("select count(*) from JobData").toInt(), 2);
        // A record is found by what it held when it was read or stored: 11 now, not the 10 typed first.
        records.setValue("qty", 12);
        QVERIFY(records.post());
        QCOMPARE(hxtest::rowsText(cn, "JobData", "qty", {"qty"}), QStringLiteral("10;12"));
        records.remove();
        QCOMPARE(hxtest::rowsText(cn, "JobData", "qty", {"qty"}), QStringLiteral("10"));

        DataSet widths(&cn);
        setQuery(widths, columnWidths());
        widths.open();
        widths.append();
        widths.setValue("wCode", 3);
        try {
            widths.post();
            QFAIL("a second row of widths must be refused");
        } catch (const FieldRefusal& e) {
            QCOMPARE(e.field(), -1);
            QCOMPARE(e.message(), QStringLiteral("工号姓名宽度表只能有一行"));
        }
        QCOMPARE(cn.scalar("select count(*) from wCodeName").toInt(), 1);
    }

    void rowsAreStoredByTheKeyTheCallerNames() {
        // Without a table a data set only reads, whatever its statement.
        DataSet plain(&cn);
        plain.setSql("select staffID, StaffName from staff");
        plain.open();
        QVERIFY(plain.field("StaffName").readOnly);
        plain.setValue("StaffName", "新名");
        QVERIFY_THROWS_EXCEPTION(DbError, plain.post());
        plain.cancel();
        QVERIFY_THROWS_EXCEPTION(DbError, plain.remove());
        QCOMPARE(storedCount("StaffName='新名'"), 0);
        QCOMPARE(storedCount(), 5);
        // A statement that leaves out a key field of its table is refused when it is opened.
        DataSet keyless(&cn);
        keyless.setSql("select StaffCode, StaffName from staff");
        keyless.setUpdateTable("staff", {"staffID"});
        QVERIFY_THROWS_EXCEPTION(DbError, keyless.open());
        QVERIFY(!keyless.isOpen());

        // A key of several fields, one of them Null in a row: that row is found, and only that row.
        cn.exec("create table sheet (y integer, code varchar(10), amount integer default 4)");
        cn.exec("create unique index sheet_key on sheet (y, code)");
        cn.exec("insert into sheet values (1, null, 5), (1, 'A', 6)");
        DataSet sheet(&cn);
        sheet.setSql("select y, code, amount from sheet order by coalesce(code, '')");
        sheet.setUpdateTable("sheet", {"y", "code"});
        sheet.open();
        QVERIFY(sheet.value("code").isNull());
        QVERIFY(!sheet.field("code").readOnly);
        sheet.setValue("amount", 50);
        QVERIFY(sheet.post());
        QCOMPARE(hxtest::rowsText(cn, "sheet", "coalesce(code, '')", {"amount"}), QStringLiteral("50;6"));
        // A new row is read back by its key, with what the table gave it.
        sheet.append();
        sheet.setValue("y", 2);
        sheet.setValue("code", "B");
        QVERIFY(sheet.post());
        QCOMPARE(sheet.asInt("amount"), 4);

        // Rows the key does not tell apart (an index the old rows kept from being built): an edit of one
        // would change both, so it is refused, and nothing is written; the other rows are edited as usual.
        sheet.close();
        cn.exec("drop index sheet_key");
        cn.exec("insert into sheet values (3, 'C', 1), (3, 'C', 2)");
        sheet.open();
        QVERIFY(sheet.locate("code", "C"));
        sheet.setValue("amount", 9);
        try {
            sheet.post();
            QFAIL("an edit of a row that is there twice must be refused");
        } catch (const RowChangedError&) {
            QFAIL("the row did not change: it is there twice");
        } catch (const DbError&) {
        }
        sheet.cancel();
        QVERIFY_THROWS_EXCEPTION(DbError, sheet.remove());
        QCOMPARE(hxtest::rowsText(cn, "sheet", "amount", {"amount"}, "code='C'"), QStringLiteral("1;2"));
        QVERIFY(sheet.locate("code", "A"));
        sheet.setValue("amount", 60);
        QVERIFY(sheet.post());
        QCOMPARE(cn.scalar("select amount from sheet where code='A'").toInt(), 60);
    }

    void deleteRemovesTheRowAndTheNextBecomesCurrent() {
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        int before = 0, after = 0;
        ds.beforeDelete = [&](DataSet&) { ++before; };
        ds.afterDelete = [&](DataSet&) { ++after; };
        ds.open();
        ds.setRecNo(1);
        ds.remove();
        QCOMPARE(ds.recordCount(), 3);
        QCOMPARE(ds.asString("StaffCode"), QStringLiteral("002"));
        QCOMPARE(storedCount("StaffCode='001'"), 0);
        ds.last();
        ds.remove();
        QCOMPARE(ds.recNo(), 1);
        QCOMPARE(before, 2);
        QCOMPARE(after, 2);
        // Deleting a row being inserted only discards it.
        ds.append();
        ds.setValue("StaffCode", "x");
        ds.remove();
        QCOMPARE(ds.recordCount(), 2);
        QCOMPARE(storedCount(), 3);
    }

    void requeryRereadsAndGoesToTheFirstRow() {
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        ds.open();
        ds.field("LevelSalary").displayFormat = QStringLiteral("0.0000");
        ds.last();
        addWorker("050", "新来的", "裁剪组", "1");
        ds.requery();
        QCOMPARE(ds.recordCount(), 5);
        QCOMPARE(ds.recNo(), 0);
        QCOMPARE(ds.text("LevelSalary"), QStringLiteral("300.5000"));
        ds.close();
        ds.open();
        QCOMPARE(ds.field("LevelSalary").displayFormat, QStringLiteral("0.0000"));
    }

    void refreshingTheCurrentRowRereadsItAloneInPlace() {
        // Sorted in memory: the statement changed the row behind the data set.
        cn.exec(
            "create table sheet (id integer primary key, code varchar(10), amount integer, total integer)");
        cn.exec("insert into sheet values (1, 'B', 2, 20), (2, 'A', 1, 10), (3, 'C', 3, 30)");
        DataSet ds(&cn);
        ds.setSql("select code, amount, total, id from sheet order by code");
        ds.setUpdateTable("sheet", {"id"});
        ds.setRowIdentity({"code"});
        ds.open();
        ds.setSort("total ASC");
        ds.setRecNo(1);
        ds.setValue("amount", 5);
        QVERIFY(ds.post());
        cn.exec("update sheet set total = amount * 10");
        QSignalSpy changed(&ds, &DataSet::rowChanged);
        QSignalSpy resets(&ds, &DataSet::aboutToReset);
        QVERIFY(ds.refreshCurrentRow());
        QCOMPARE(ds.recNo(), 1);
        QCOMPARE(ds.asString("code"), QStringLiteral("B"));
        QCOMPARE(ds.asInt("total"), 50);
        QCOMPARE(ds.valueAt(2, 2).toInt(), 30);  // the other rows keep what was read
        QCOMPARE(changed.count(), 1);
        QCOMPARE(resets.count(), 0);
        // A row whose key now belongs to another row is not taken for it.
        cn.exec("delete from sheet");
        cn.exec("insert into sheet values (1, 'X', 7, 70), (2, 'Y', 8, 80), (3, 'Z', 9, 90)");
        QVERIFY(!ds.refreshCurrentRow());
        QCOMPARE(ds.asInt("total"), 50);
    }

    void sortOrdersByTypedValueAndKeepsTheCurrentRow() {
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        ds.open();
        QVERIFY(ds.locate("StaffCode", "002"));
        ds.setSort(QStringLiteral("LevelSalary ASC"));
        QCOMPARE(ds.asString("StaffCode"), QStringLiteral("002"));
        QStringList order;
        for (int i = 0; i < ds.recordCount(); ++i) order << ds.textAt(i, ds.fieldIndex("LevelSalary"));
        QCOMPARE(order, QStringList({"0.00", "0.10", "300.50", "1200.00"}));
        ds.setSort(QStringLiteral("StaffCode ASC"));
        QCOMPARE(ds.textAt(0, ds.fieldIndex("StaffCode")), QStringLiteral("001"));
        QVERIFY_THROWS_EXCEPTION(DbError, ds.setSort(QStringLiteral("NoSuchField ASC")));
        QCOMPARE(ds.sort(), QStringLiteral("StaffCode ASC"));
        // Reopening drops the sort.
        ds.close();
        ds.open();
        QCOMPARE(ds.sort(), QString());
        QCOMPARE(ds.asString("StaffCode"), QStringLiteral("003"));
    }

    void filterMatchesWholeValuesAndSurvivesReopening() {
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        ds.open();
        ds.setFilter(QStringLiteral("ClassGroup = '车缝一组'"));
        ds.setFiltered(true);
        QCOMPARE(ds.recordCount(), 2);
        // A second filter replaces the first.
        ds.setFilter(QStringLiteral("LevelSalary = 300.5"));
        QCOMPARE(ds.recordCount(), 1);
        QCOMPARE(ds.asString("StaffCode"), QStringLiteral("003"));
        ds.setFilter(QStringLiteral("StaffName = 'O''Neil'"));
        QCOMPARE(ds.recordCount(), 1);
        QCOMPARE(ds.asString("StaffCode"), QStringLiteral("001"));
        // The empty value matches the empty text, not a missing value.
        ds.setFilter(QStringLiteral("ClassGroup = ''"));
        QCOMPARE(ds.recordCount(), 1);
        QCOMPARE(ds.asString("StaffCode"), QStringLiteral("009"));
        // Reopened with another statement, the filter still holds.
        ds.setFilter(QStringLiteral("ClassGroup = '车缝一组'"));
        ds.close();
        setQuery(ds, staffList(true));
        ds.open();
        QCOMPARE(ds.recordCount(), 0);
        ds.close();
        setQuery(ds, staffList(false));
        ds.open();
        QCOMPARE(ds.recordCount(), 2);
        ds.setFiltered(false);
        QCOMPARE(ds.recordCount(), 4);
    }

    void locateIgnoresCaseButComparesWholeValues() {
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        ds.open();
        QVERIFY(ds.locate("StaffName", "ABC"));
        QCOMPARE(ds.asString("StaffCode"), QStringLiteral("009"));
        ds.first();
        QVERIFY(!ds.locate("StaffName", "ab"));
        QCOMPARE(ds.recNo(), 0);
        QVERIFY(ds.locate("LevelSalary", "1200"));
        QCOMPARE(ds.asString("StaffCode"), QStringLiteral("001"));
        QVERIFY(ds.locate("ClassGroup", ""));
        QCOMPARE(ds.asString("StaffCode"), QStringLiteral("009"));
    }

    void calculatedAndLookupFieldsFollowTheRow() {
        cn.exec("insert into job (JobCode, UnitPrice) values ('J1', 0.1234)");
        const qint64 job = cn.scalar("select JobID from job where JobCode='J1'").toLongLong();
        cn.exec("insert into JobData (dateD, staffID, jobID, qty) values ('2026-12-01', 1, ?, 3)", {job});
        cn.exec("insert into JobData (dateD, staffID, jobID, qty) values ('2026-12-01', 1, 999, 5)");
        DataSet ds(&cn);
        ds.setSql(QStringLiteral("select dateD, staffID, jobID, qty from JobData order by jobID"));
        ds.setUpdateTable("JobData", {"dateD", "staffID", "jobID", "qty"});
        ds.addLookupField("unitPrice", FieldType::Money, "jobID", [&](const QVariant& key) {
            return key.toLongLong() == job ? QVariant::fromValue(*Money::parse("0.1234")) : QVariant();
        });
        ds.addCalculatedField("amount", FieldType::Money);
        ds.onCalcFields = [](DataSet& d) {
            d.setValue("amount", QVariant::fromValue(d.asMoney("unitPrice") * d.asInt("qty")));
        };
        ds.open();
        QCOMPARE(ds.field("dateD").type, FieldType::Date);
        QCOMPARE(ds.value("dateD").toDate(), QDate(2026, 12, 1));
        QCOMPARE(ds.asMoney("amount"), *Money::parse("0.3702"));
        QCOMPARE(ds.state(), DataSetState::Browse);
        ds.setValue("qty", 10);
        QCOMPARE(ds.asMoney("amount"), *Money::parse("1.234"));
        QVERIFY(ds.post());
        QCOMPARE(cn.scalar("select qty from JobData where jobID=?", {job}).toInt(), 10);
        ds.next();
        QVERIFY(ds.value("unitPrice").isNull());
        QCOMPARE(ds.asMoney("amount"), Money());
        QVERIFY_THROWS_EXCEPTION(DbError, ds.setSort(QStringLiteral("amount ASC")));
    }

    void aJoinIsReadOnly() {
        DataSet ds(&cn);
        ds.setSql(
            QStringLiteral("select s.StaffCode, count(*) as n from staff s join staff t on "
                           "s.staffID=t.staffID group by s.StaffCode"));
        ds.open();
        QCOMPARE(ds.recordCount(), 5);
        QVERIFY(ds.field("n").readOnly);
        ds.setValue("n", 3);
        QVERIFY_THROWS_EXCEPTION(DbError, ds.post());
    }

    void inMemoryTablesKeepRowsWithoutADatabase() {
        DataSet cds;
        cds.defineFields({{"staffID", FieldType::Integer}, {"staffCode", FieldType::Text, 20}});
        cds.open();
        for (int i = 0; i < 3; ++i) {
            cds.append();
            cds.setValue("staffID", 10 - i);
            cds.setValue("staffCode", QStringLiteral("code%1").arg(i));
            QVERIFY(cds.post());
        }
        QCOMPARE(cds.recordCount(), 3);
        cds.setSort("staffID ASC");
        QCOMPARE(cds.textAt(0, 1), QStringLiteral("code2"));
        QVERIFY(cds.locate("staffID", 9));
        cds.remove();
        QCOMPARE(cds.recordCount(), 2);
        cds.close();
        QCOMPARE(cds.fieldCount(), 2);
        cds.open();
        QCOMPARE(cds.recordCount(), 0);

        // Rows made elsewhere are taken over at once; a short row is padded with Null, the filter
        // applies and the views are reset once, not told of each row.
        cds.close();
        cds.setFilter("staffCode = 'b'");
        cds.setFiltered(true);
        QSignalSpy resets(&cds, &DataSet::reset);
        QSignalSpy inserts(&cds, &DataSet::rowInserted);
        cds.openWithRows({{3, "a"}, {1, "b"}, {2}});
        QCOMPARE(resets.count(), 1);
        QCOMPARE(inserts.count(), 0);
        QCOMPARE(cds.recordCount(), 1);
        QCOMPARE(cds.value("staffID").toInt(), 1);
        cds.setFiltered(false);
        QCOMPARE(cds.recordCount(), 3);
        QVERIFY(cds.valueAt(2, 1).isNull());
        cds.setSort("staffID ASC");
        QCOMPARE(cds.valueAt(0, 0).toInt(), 1);
        // A data set over a statement reads its rows from the database only.
        DataSet overStatement(&cn);
        overStatement.setSql("select * from staff");
        QVERIFY_THROWS_EXCEPTION(DbError, overStatement.openWithRows({{1}}));
        QVERIFY(!overStatement.isOpen());
    }

    void rowsGiveBackEveryValueAsItWasGiven() {
        // Rows are held by type, yet a value of another type than its column's, a null text, a date
        // that is no date or a number beyond 32 bits comes back as it was given, and sorts as before.
        DataSet cds;
        cds.defineFields({{"n", FieldType::Integer}, {"t", FieldType::Text}, {"d", FieldType::Date}});
        const QVector<QVector<QVariant>> given = {
            {qlonglong(7), QStringLiteral("甲"), QDate(2026, 12, 1)},
            {QStringLiteral("x7"), QString(), QDate()},
            {qlonglong(1) << 40, 3, QStringLiteral("2026-13-01")},
            {int(-2), QStringLiteral("甲"), QVariant()},
        };
        std::vector<QVector<QVariant>> rows(given.begin(), given.end());
        // So many different texts that the column holds them plainly rather than listed.
        for (int i = 0; i < 20000; ++i)
            rows.push_back({qlonglong(i), QStringLiteral("t%1").arg(i, 5, 10, QChar(u'0'))});
        cds.openWithRows(std::move(rows));
        for (int r = 0; r < given.size(); ++r) {
            for (int c = 0; c < 3; ++c) {
                QCOMPARE(cds.valueAt(r, c).typeId(), given[r][c].typeId());
                QCOMPARE(cds.valueAt(r, c), given[r][c]);
            }
        }
        QVERIFY(cds.valueAt(1, 1).toString().isNull());
        QCOMPARE(cds.valueAt(4 + 19999, 1).toString(), QStringLiteral("t19999"));
        cds.setSort("n ASC");
        QCOMPARE(cds.valueAt(0, 0), QVariant(int(-2)));
        QCOMPARE(cds.valueAt(1, 0).toString(), QStringLiteral("x7"));  // a text counts as 0
        QCOMPARE(cds.valueAt(cds.recordCount() - 1, 0).toLongLong(), qlonglong(1) << 40);
        cds.setSort("t ASC");
        QVERIFY(cds.valueAt(0, 1).toString().isNull());
        QCOMPARE(cds.valueAt(1, 1), QVariant(3));  // sorts as the text "3"
        QCOMPARE(cds.valueAt(2, 1).toString(), QStringLiteral("t00000"));
        QCOMPARE(cds.valueAt(cds.recordCount() - 1, 1).toString(), QStringLiteral("甲"));
    }

    void theModelFollowsEveryChange() {
        DataSet ds(&cn);
        setQuery(ds, staffList(false));
        DataSetModel model(&ds);
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setColumns({{"StaffCode", "工号"},
                          {"StaffName", "姓名"},
                          {"LevelSalary", "能力工资"},
                          {"salaryDay", "发薪日"}});
        QCOMPARE(model.rowCount(), 0);
        ds.open();
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QStringLiteral("能力工资"));
        QCOMPARE(model.data(model.index(0, 2)).toString(), QStringLiteral("300.50"));
        QCOMPARE(model.data(model.index(0, 2), Qt::EditRole).toString(), QStringLiteral("300.5"));
        QVERIFY(model.data(model.index(0, 2), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);

        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        QVERIFY(model.setData(model.index(2, 1), QStringLiteral("李四四")));
        QCOMPARE(ds.recNo(), 2);
        QVERIFY(changed.count() >= 1);
        ds.post();
        QCOMPARE(model.data(model.index(2, 1)).toString(), QStringLiteral("李四四"));

        ds.append();
        QCOMPARE(model.rowCount(), 5);
        ds.cancel();
        QCOMPARE(model.rowCount(), 4);
        ds.remove();
        QCOMPARE(model.rowCount(), 3);
        ds.setSort("StaffCode ASC");
        ds.setFilter("ClassGroup = '车缝一组'");
        ds.setFiltered(true);
        QCOMPARE(model.rowCount(), 2);
        ds.close();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.columnCount(), 4);
    }
};

HX_BOTH_ENGINES;
QTEST_GUILESS_MAIN(TestDataSet)
#include "tst_dataset.moc"
