#include <QComboBox>
#include <QSignalSpy>
#include <QtTest>

#include "core/data/datamodule.h"
#include "gui/widgets/combolists.h"
#include "support/testsupport.h"

using namespace hx;

class TestComboLists : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::TempProgramDir> dir;
    std::unique_ptr<TdataFrm> dm;

    qint64 addWorker(const QString& code, const QString& name, int fired = 0) {
        return dm->cnMain.insert(
            QStringLiteral("insert into staff (StaffCode, StaffName, salaryDay, Firedd) values (?, ?, 5, ?)"),
            {code, name, fired}, QStringLiteral("staffID"));
    }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::TempProgramDir>();
        dm = std::make_unique<TdataFrm>();
        dm->cnMain.open(dir->createAccountSet(QStringLiteral("t")));
        setDataFrm(dm.get());
    }
    void cleanup() {
        setDataFrm(nullptr);
        dm.reset();
        dir.reset();
    }

    void fillComboListsTheFirstColumnAndChoosesNothing() {
        addWorker("002", "李四");
        addWorker("001", "张三");
        addWorker("003", "王五", -1);
        QComboBox combo;
        combo.setEditable(true);
        combo.addItems({"旧的", "项"});
        combo.setEditText("typed");
        QSignalSpy textChanged(&combo, &QComboBox::currentTextChanged);
        QSignalSpy indexChanged(&combo, &QComboBox::currentIndexChanged);

        FillCombo(currentWorkerTexts(), &combo);

        QCOMPARE(combo.count(), 2);
        QCOMPARE(combo.itemText(0), QStringLiteral("001    张三"));
        QCOMPARE(combo.itemText(1), QStringLiteral("002    李四"));
        QCOMPARE(combo.currentIndex(), -1);
        QCOMPARE(combo.currentText(), QString());
        QVERIFY2(textChanged.isEmpty() && indexChanged.isEmpty(),
                 "filling must not run the window's change handlers");
        QVERIFY(!dm->tdTempFill.isOpen());
    }

    void fillComboWithNoRowsOrAFailingQuery() {
        QComboBox combo;
        combo.addItems({"a", "b"});
        FillCombo(Query(QStringLiteral("select StaffCode from staff")), &combo);
        QCOMPARE(combo.count(), 0);
        QCOMPARE(combo.currentText(), QString());

        // Values of a previous user of the scratch query must not leak into the next statement.
        addWorker("001", "张三");
        FillCombo(Query(QStringLiteral("select StaffName from staff where StaffCode=?"), {"001"}), &combo);
        QCOMPARE(combo.count(), 1);
        FillCombo(Query(QStringLiteral("select StaffName from staff")), &combo);
        QCOMPARE(combo.count(), 1);

        QVERIFY_THROWS_EXCEPTION(DbError,
                                 FillCombo(Query(QStringLiteral("select nosuch from staff")), &combo));
        QVERIFY(!dm->tdTempFill.isOpen());
        QCOMPARE(combo.count(), 1);
    }

    void listFiles() {
        QTemporaryDir listDir;
        QComboBox combo;
        combo.addItem(QStringLiteral("old"));
        combo.setEditable(true);
        combo.setEditText(QStringLiteral("typed"));
        ListFilesIn(listDir.path(), combo);
        QCOMPARE(combo.count(), 0);
        QCOMPARE(combo.currentText(), QString());

        for (const QString& name :
             {QStringLiteral("b.mdb"), QStringLiteral("a.mdb"), QStringLiteral(".hidden.mdb"),
              QStringLiteral("c.mdb.bak"), QStringLiteral("mlcp.dll")}) {
            QFile f(listDir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        ListFilesIn(listDir.path(), combo);
        QStringList items;
        for (int i = 0; i < combo.count(); ++i) items << combo.itemText(i);
        items.sort();
        QCOMPARE(items, (QStringList{QStringLiteral(".hidden.mdb"), QStringLiteral("a.mdb"),
                                     QStringLiteral("b.mdb")}));
    }

  private:
    static void ListFilesIn(const QString& directory, QComboBox& combo) {
        hx::ListFiles(directory + QStringLiteral("/*.mdb"), &combo);
    }
};

QTEST_MAIN(TestComboLists)
#include "tst_combolists.moc"
