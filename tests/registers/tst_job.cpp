#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QtTest>

#include "data/datamodule.h"
#include "data/mydbgrid.h"
#include "registers/job.h"
#include "shell/session.h"
#include "support/testsupport.h"

using namespace hx;

class TestJob : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::TempProgramDir> dir;
    std::unique_ptr<hxtest::ScriptedDialogs> dialogs;
    TdataFrm* dm = nullptr;
    QPointer<TjobFrm> win;

    Connection& cn() { return dm->cnMain; }
    void addJob(const QString& code, const QString& description, const QVariant& style, const QString& price,
                int stopped = 0) {
        cn().exec(QStringLiteral("insert into job (JobCode, Description, StyleGroup, UnitPrice, stopp) "
                                 "values (?, ?, ?, ?, ?)"),
                  {code, description, style, QVariant::fromValue(*Money::parse(price)), stopped});
    }
    int stored(const QString& where = QStringLiteral("1=1")) {
        return cn().scalar(QStringLiteral("select count(*) from job where ") + where).toInt();
    }
    TjobFrm* openWindow() {
        win = new TjobFrm;
        win->show();
        QApplication::setActiveWindow(win);
        if (!QTest::qWaitForWindowActive(win)) qWarning("window not active");
        grid()->setFocus();
        return win;
    }
    TMyDBGrid* grid() { return win->findChild<TMyDBGrid*>(QStringLiteral("grdMain")); }
    QAbstractItemModel* model() { return grid()->model(); }
    QAction* action(const char* name) { return win->findChild<QAction*>(QLatin1String(name)); }
    DataSet* ds() { return win->findChild<DataSet*>(QStringLiteral("tdMain")); }
    void select(int row, int column) { grid()->setCurrentIndex(model()->index(row, column)); }
    QString shown(int row, int column) { return model()->index(row, column).data().toString(); }
    QStringList codes() {
        QStringList values;
        for (int r = 0; r < ds()->recordCount(); ++r)
            values << ds()->valueAt(r, ds()->fieldIndex("JobCode")).toString();
        return values;
    }
    QStringList captions() {
        emit win->findChild<QMenu*>(QStringLiteral("popData"))->aboutToShow();
        return {action("pStop")->text(), action("pListStop")->text()};
    }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::TempProgramDir>();
        dialogs = std::make_unique<hxtest::ScriptedDialogs>();
        dm = new TdataFrm;
        setDataFrm(dm);
        cn().open(dir->createAccountSet(QStringLiteral("j")));
        addJob("T-01", "上领", "春装A", "0.35");
        addJob("T-02", "O'Neil式锁边", "春装A", "0");
        addJob("t-10", "钉扣", QVariant(), "1.2345");
        addJob("X-09", "旧工序", "冬装", "0.5", -1);
    }
    void cleanup() {
        HX_VERIFY_DIALOGS(*dialogs);
        delete win;
        setDataFrm(nullptr);
        delete dm;
        dialogs.reset();
        dir.reset();
    }

    void windowShowsTheProcessesInProduction() {
        openWindow();
        QCOMPARE(win->windowTitle(), QStringLiteral("工序编号"));
        QCOMPARE(win->size(), QSize(620, 457));
        QVERIFY(win->findChild<QWidget*>(QStringLiteral("Panel1")));
        const QStringList titles = {"工序号", "工艺描述", "对应款式", "工价"};
        const QList<int> widths = {137, 253, 95, 74};
        QCOMPARE(model()->columnCount(), 4);
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(grid()->columnTitle(c), titles[c]);
            QCOMPARE(grid()->columnWidth(c), widths[c]);
        }
        QVERIFY(grid()->alwaysShowEditor());
        QVERIFY(!grid()->horizontalHeader()->sectionsMovable());
        QStringList items;
        for (QAction* a : win->findChild<QMenu*>(QStringLiteral("popData"))->actions())
            items << (a->isSeparator() ? "-" : a->objectName() + ":" + a->text());
        QCOMPARE(items,
                 QStringList({"pSort:排序", "pFilter:筛选", "pUnfilter:取消筛选", "pFind:查找", "-",
                              "pStop:完工", "pListStop:显示完工工序", "-", "pAppend:新增", "pDelete:删除"}));
        QCOMPARE(ds()->sql(), TjobFrm::inProductionSql);
        QCOMPARE(codes(), QStringList({"T-01", "T-02", "t-10"}));
    }

    void helpIsTheWindowsText() {
        openWindow();
        QVERIFY(helpProc);
        helpProc();
        QCOMPARE(dialogs->lastKind(), QStringLiteral("information"));
        const QString text = dialogs->lastText();
        QVERIFY(text.startsWith(
            QStringLiteral("[快捷菜单]\n有完工(开工)、显示完工(在线)工序、增加、删除等多种功能。\n\n")));
        QVERIFY(text.contains(QStringLiteral("在尾行按\"↓\"箭头会产生新行；\n\n[工序号]\n")));
        QVERIFY(text.contains(QStringLiteral("由用户自己决定。工\n序号可以用字母")));
        QVERIFY(text.endsWith(QStringLiteral(
            "用于相关统计分析。\n\n\n*录入或修改时注意：工序号必须填写，且不可重复，否则操作会被取消。")));
        QCOMPARE(text.count(QLatin1Char('\n')), 14);
    }

    void unitPricesShowFourDecimals() {
        openWindow();
        QCOMPARE(shown(0, 3), QStringLiteral("0.3500"));
        QCOMPARE(shown(1, 3), QStringLiteral("0.0000"));
        QCOMPARE(shown(2, 3), QStringLiteral("1.2345"));
        select(1, 3);
        QVERIFY(model()->setData(model()->index(1, 3), QStringLiteral("1.2")));
        select(0, 3);
        QCOMPARE(cn().scalar(QStringLiteral("select UnitPrice from job where JobCode = 'T-02'")).toDouble(),
                 1.2);
        QCOMPARE(shown(1, 3), QStringLiteral("1.2000"));
        // Also after the list is read again and in the other list.
        action("pStop")->trigger();
        QCOMPARE(shown(0, 3), QStringLiteral("1.2000"));
        action("pListStop")->trigger();
        QCOMPARE(ds()->sql(), TjobFrm::finishedSql);
        QCOMPARE(codes(), QStringList({"T-01", "X-09"}));
        QCOMPARE(shown(0, 3), QStringLiteral("0.3500"));
        QCOMPARE(shown(1, 3), QStringLiteral("0.5000"));
    }

    void finishAndRestartMoveTheProcessBetweenTheLists() {
        openWindow();
        QAbstractItemModelTester tester(model());
        select(1, 0);
        QCOMPARE(captions(), QStringList({"完工", "显示完工工序"}));
        action("pStop")->trigger();
        QCOMPARE(stored("JobCode = 'T-02' and stopp = -1"), 1);
        QCOMPARE(codes(), QStringList({"T-01", "t-10"}));
        QCOMPARE(ds()->recNo(), 0);
        action("pListStop")->trigger();
        QCOMPARE(codes(), QStringList({"T-02", "X-09"}));
        QCOMPARE(captions(), QStringList({"开工", "显示开工工序"}));
        select(1, 0);
        action("pStop")->trigger();
        QCOMPARE(stored("JobCode = 'X-09' and stopp = 0"), 1);
        QCOMPARE(codes(), QStringList({"T-02"}));
        action("pListStop")->trigger();
        QCOMPARE(codes(), QStringList({"T-01", "t-10", "X-09"}));
        QCOMPARE(dialogs->shown.size(), 0);
    }

    void finishingTheLastProcessLeavesAnEmptyListThatOffersRestarting() {
        cn().exec(QStringLiteral("update job set stopp = -1 where JobCode <> 'T-01'"));
        openWindow();
        action("pStop")->trigger();
        QCOMPARE(ds()->recordCount(), 0);
        QCOMPARE(captions(), QStringList({"开工", "显示开工工序"}));
        action("pStop")->trigger();
        QCOMPARE(stored("stopp = 0"), 0);
        action("pListStop")->trigger();
        QCOMPARE(ds()->sql(), TjobFrm::inProductionSql);
        QCOMPARE(ds()->recordCount(), 0);
    }

    void aProcessAddedToTheFinishedListIsInProduction() {
        openWindow();
        action("pListStop")->trigger();
        action("pAppend")->trigger();
        QCOMPARE(ds()->asBool("stopp"), false);
        const int row = ds()->recNo();
        QCOMPARE(row, 1);
        QVERIFY(model()->setData(model()->index(row, 0), QStringLiteral("新-01")));
        select(0, 0);
        QCOMPARE(stored("JobCode = '新-01' and stopp = 0 and Description is null and UnitPrice = 0"), 1);
        QCOMPARE(shown(1, 3), QStringLiteral("0.0000"));
    }

    void filterOnPriceIsUnquotedAndOnTextQuoted() {
        openWindow();
        select(0, 3);
        action("pFilter")->trigger();
        QCOMPARE(ds()->filter(), QStringLiteral("UnitPrice = 0.35"));
        QCOMPARE(codes(), QStringList({"T-01"}));
        select(0, 2);
        action("pFilter")->trigger();
        QCOMPARE(ds()->filter(), QStringLiteral("StyleGroup = '春装A'"));
        QCOMPARE(codes(), QStringList({"T-01", "T-02"}));
        select(1, 1);
        action("pFilter")->trigger();
        QCOMPARE(ds()->filter(), QStringLiteral("Description = 'O''Neil式锁边'"));
        QCOMPARE(codes(), QStringList({"T-02"}));
        // The condition stays with the finished list, where no process meets it.
        action("pListStop")->trigger();
        QCOMPARE(ds()->sql(), TjobFrm::finishedSql);
        QCOMPARE(ds()->recordCount(), 0);
        action("pUnfilter")->trigger();
        QCOMPARE(codes(), QStringList({"X-09"}));
    }

    void sortAndFind() {
        openWindow();
        select(0, 1);
        action("pSort")->trigger();
        QCOMPARE(ds()->sort(), QStringLiteral("Description ASC"));
        QCOMPARE(codes(), QStringList({"T-02", "T-01", "t-10"}));
        select(0, 0);
        dialogs->input(QStringLiteral("T-1")).input(QStringLiteral("T-10"));
        action("pFind")->trigger();
        QCOMPARE(ds()->asString("JobCode"), QStringLiteral("T-02"));
        action("pFind")->trigger();
        QCOMPARE(ds()->asString("JobCode"), QStringLiteral("t-10"));
    }

    void deleteAsksTheProcessQuestion() {
        openWindow();
        select(2, 0);
        const QString question = QStringLiteral(
            "如果该工序已有计件数据，请使用 ”完工“ 功能，\r\n直接删除会导致数据不完整。确定要删除  “t-10“ "
            "工序吗？");
        dialogs->answer(Answer::No).answer(Answer::Closed).answer(Answer::Yes);
        action("pDelete")->trigger();
        action("pDelete")->trigger();
        QCOMPARE(stored(), 4);
        action("pDelete")->trigger();
        QCOMPARE(dialogs->texts(), QStringList({question, question, question}));
        QCOMPARE(stored("JobCode = 't-10'"), 0);
        QCOMPARE(codes(), QStringList({"T-01", "T-02"}));
        QCOMPARE(ds()->asString("JobCode"), QStringLiteral("T-02"));
    }

    void deleteOnAnEmptyListFailsAfterTheAnswer() {
        cn().exec(QStringLiteral("delete from job"));
        openWindow();
        dialogs->answer(Answer::Yes);
        action("pDelete")->trigger();
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QCOMPARE(dialogs->lastText(), QStringLiteral("Cannot perform this operation on an empty dataset"));
    }

    void aRefusedRowIsDroppedWithABeepAndNoMessage_data() {
        QTest::addColumn<bool>("newRow");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("value");
        QTest::newRow("new row without a code") << true << 0 << QString();
        QTest::newRow("code emptied") << false << 0 << QString();
        QTest::newRow("repeated code") << false << 0 << QStringLiteral("T-01");
        QTest::newRow("repeated code of a finished process") << true << 0 << QStringLiteral("X-09");
        QTest::newRow("code of 31") << false << 0 << QStringLiteral("工").repeated(31);
        QTest::newRow("description of 121") << true << 1 << QStringLiteral("d").repeated(121);
        QTest::newRow("style of 21") << false << 2 << QStringLiteral("s").repeated(21);
        QTest::newRow("price a letter") << false << 3 << QStringLiteral("一毛");
    }
    void aRefusedRowIsDroppedWithABeepAndNoMessage() {
        QFETCH(bool, newRow);
        QFETCH(int, column);
        QFETCH(QString, value);
        openWindow();
        QAbstractItemModelTester tester(model());
        const auto snapshot = [this] {
            return cn()
                .scalar(QStringLiteral("select group_concat(JobCode || Description || coalesce(StyleGroup, "
                                       "'-') || UnitPrice || stopp, ';') from job"))
                .toString();
        };
        const QString before = snapshot();
        int row = 1;
        if (newRow) {
            action("pAppend")->trigger();
            row = ds()->recNo();
            QVERIFY(model()->setData(model()->index(row, 0), QStringLiteral("N-01")));
        } else {
            select(row, column);
        }
        QVERIFY(model()->setData(model()->index(row, column), value));
        select(0, 0);
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(dialogs->shown.size(), 0);
        QCOMPARE(codes(), QStringList({"T-01", "T-02", "t-10"}));
        QCOMPARE(shown(1, 1), QStringLiteral("O'Neil式锁边"));
        QCOMPARE(shown(1, 3), QStringLiteral("0.0000"));
        QCOMPARE(snapshot(), before);
    }
};

QTEST_MAIN(TestJob)
#include "tst_job.moc"
