#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QtTest>

#include "core/data/datamodule.h"
#include "core/data/queries.h"
#include "gui/registers/job.h"
#include "gui/widgets/mydbgrid.h"
#include "support/gridmenu.h"
#include "support/testsupport.h"
#include "support/windowfixture.h"

using namespace hx;

// The process register as the production clerk uses it: clicks into cells, keys to the cell editor, the
// context menu by right click; what was stored is read back with SQL.
class TestJob : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::WindowFixture> f;
    hxtest::ScriptedDialogs* dialogs = nullptr;
    QPointer<TjobFrm> win;

    Connection& cn() { return f->cn(); }
    void addJob(const QString& code, const QString& description, const QVariant& style, const QString& price,
                int stopped = 0) {
        f->addProcess(code, {{"Description", description},
                             {"StyleGroup", style},
                             {"UnitPrice", f->money(price)},
                             {"stopp", stopped}});
    }
    int stored(const QString& where = QStringLiteral("1=1")) { return hxtest::rowCount(cn(), "job", where); }
    // Every stored process with every column, in key order; `where` picks the rows.
    QString table(const QString& where = QStringLiteral("1=1")) {
        return hxtest::rowsText(cn(), "job", "JobID",
                                {"JobID", "JobCode", "Description", "StyleGroup", "UnitPrice", "stopp"},
                                where);
    }
    QString row(const QString& code) {
        return table(QStringLiteral("JobCode = '") + code + "'").section('|', 1);
    }
    bool openWindow() {
        win = f->openWindow<TjobFrm>();
        return win;
    }
    TMyDBGrid* grid() { return f->child<TMyDBGrid>(QStringLiteral("grdMain")); }
    QAbstractItemModel* model() { return grid()->model(); }
    DataSet* ds() { return f->child<DataSet>(QStringLiteral("tdMain")); }
    QString shown(int row, int column) { return model()->index(row, column).data().toString(); }
    QStringList codes() { return hxtest::columnValues(*ds(), "JobCode"); }
    QStringList stopCaptions(int row = 0) { return hxtest::menuCaptionsAt(grid(), row, 0).mid(5, 2); }
    bool menu(int row, int column, const char* caption) {
        return hxtest::useMenu(grid(), row, column, QString::fromUtf8(caption));
    }
    bool retype(int row, int column, const QString& text) {
        return hxtest::retype(grid(), row, column, text);
    }
    bool editorBack() { return hxtest::editorBack(grid()); }

  private slots:
    void init() {
        f = std::make_unique<hxtest::WindowFixture>(QStringLiteral("j"));
        dialogs = &f->dialogs;
        addJob("T-01", "上领", "春装A", "0.35");
        addJob("T-02", "O'Neil式锁边", "春装A", "0");
        addJob("t-10", "钉扣", QVariant(), "1.2345");
        addJob("X-09", "旧工序", "冬装", "0.5", -1);
        addJob("X-10", "旧钉扣", "冬装", "0.25", -1);
        // The last process in production has piece work; it must stay its.
        f->addPieceRecord(QDate(2024, 5, 1), 1, f->processId("t-10"), 12);
    }
    void cleanup() {
        if (hxtest::openMenu()) hxtest::openMenu()->close();
        HX_FINISH_FIXTURE(f);
    }

    void windowShowsTheProcessesInProduction() {
        QVERIFY(openWindow());
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
        QVERIFY(!grid()->horizontalHeader()->sectionsMovable());
        QVERIFY(editorBack());
        QCOMPARE(hxtest::menuCaptionsAt(grid(), 1, 1),
                 QStringList({"排序", "筛选", "取消筛选", "查找", "-", "完工", "显示完工工序", "-", "新增",
                              "删除", "-", "导出到电子表格...", "从电子表格导入..."}));
        QCOMPARE(ds()->sql(), hx::processList(false).sql);
        QCOMPARE(codes(), QStringList({"T-01", "T-02", "t-10"}));
    }

    void helpIsTheWindowsText() {
        QVERIFY(openWindow());
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

    // ---- adding, correcting and deleting processes by keyboard

    void addTwoProcessesByKeyboardAndByTheMenuCorrectAPriceDeleteOne() {
        QVERIFY(openWindow());
        QAbstractItemModelTester tester(model());
        const QString before = table();

        // The down arrow on the last process gives a new row.
        QVERIFY(hxtest::enterCell(grid(), 2, 0));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(ds()->recordCount(), 4);
        QVERIFY(editorBack());
        QCOMPARE(grid()->currentIndex(), model()->index(3, 0));
        hxtest::type(QStringLiteral("夏-01"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("绱袖，双针"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("夏装B"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("0.4567"));
        QCOMPARE(stored(), 5);
        // "新增" while the price is still in the editor: the price goes with the row.
        QVERIFY(menu(3, 3, "新增"));
        QCOMPARE(row("夏-01"), QStringLiteral("夏-01|绱袖，双针|夏装B|0.4567|0"));
        QCOMPARE(ds()->state(), DataSetState::Insert);
        QCOMPARE(grid()->currentIndex(), model()->index(4, 3));
        QVERIFY(editorBack());
        hxtest::type(QStringLiteral("0.05"));
        for (int i = 0; i < 3; ++i) hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        hxtest::type(QStringLiteral("夏-02"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("剪线头"));
        hxtest::key(Qt::Key_Up);
        QCOMPARE(stored(), 7);
        QCOMPARE(row("夏-02"), QStringLiteral("夏-02|剪线头|~|0.05|0"));

        // Correct the first one's price, shown with four decimals.
        QVERIFY(retype(3, 3, QStringLiteral("0.5")));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(row("夏-01"), QStringLiteral("夏-01|绱袖，双针|夏装B|0.5|0"));
        QCOMPARE(shown(3, 3), QStringLiteral("0.5000"));
        // Delete the second one while its cell is being edited.
        QCOMPARE(grid()->currentIndex().row(), 4);
        QVERIFY(hxtest::editing(grid()));
        hxtest::type(QStringLiteral("9"));
        dialogs->answer(Answer::Cancel).answer(Answer::Ok);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(stored(), 7);
        QVERIFY(hxtest::editing(grid()));
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(dialogs->texts(), QStringList({"Delete record?", "Delete record?"}));

        QCOMPARE(stored(), 6);
        QCOMPARE(stored("JobCode = '夏-02'"), 0);
        QCOMPARE(codes(), QStringList({"T-01", "T-02", "t-10", "夏-01"}));
        // Nothing else changed: the last process keeps its code, price and piece work.
        QCOMPARE(table("JobCode not like '夏-%'"), before);
        QCOMPARE(cn().scalar("select count(*) from JobData d join job j on j.JobID = d.jobID "
                             "where j.JobCode = 't-10' and d.qty = 12")
                     .toInt(),
                 1);
        QCOMPARE(dialogs->beeps, 0);
    }

    void aProcessAddedToTheFinishedListIsInProductionAndNoFinishedOneRestarts() {
        QVERIFY(openWindow());
        QVERIFY(menu(0, 0, "显示完工工序"));
        QCOMPARE(ds()->sql(), hx::processList(true).sql);
        QCOMPARE(codes(), QStringList({"X-09", "X-10"}));
        const QString finished = table("stopp <> 0");
        // "新增" over the last finished process's open cell editor: the default goes into the new row only.
        QVERIFY(hxtest::enterCell(grid(), 1, 2));
        QVERIFY(menu(1, 2, "新增"));
        QCOMPARE(ds()->recNo(), 2);
        QCOMPARE(ds()->asBool("stopp"), false);
        QVERIFY(editorBack());
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        hxtest::type(QStringLiteral("新-01"));
        hxtest::clickCell(grid(), 0, 0);
        QCOMPARE(row("新-01"), QStringLiteral("新-01|~|~|0|0"));
        QCOMPARE(table("stopp <> 0"), finished);
        QCOMPARE(shown(2, 3), QStringLiteral("0.0000"));
        QVERIFY(menu(0, 0, "显示开工工序"));
        QCOMPARE(codes(), QStringList({"T-01", "T-02", "t-10", "新-01"}));
        QCOMPARE(dialogs->beeps, 0);
    }

    void escapeDropsANewRowAndRestoresAnEditedOne() {
        QVERIFY(openWindow());
        const QString before = table();
        QVERIFY(hxtest::enterCell(grid(), 2, 3));
        hxtest::key(Qt::Key_Down);
        hxtest::type(QStringLiteral("0.8"));
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        hxtest::type(QStringLiteral("冬装"));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(ds()->state(), DataSetState::Browse);
        QCOMPARE(ds()->recordCount(), 3);
        QVERIFY(editorBack());

        // A price handed to the row with Enter, then Esc: the stored price comes back.
        QVERIFY(retype(0, 3, QStringLiteral("9.99")));
        hxtest::key(Qt::Key_Return);
        QCOMPARE(ds()->asMoney("UnitPrice"), *Money::parse("9.99"));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(shown(0, 3), QStringLiteral("0.3500"));
        // A description still in the editor, then Esc.
        QVERIFY(hxtest::enterCell(grid(), 1, 1));
        hxtest::type(QStringLiteral("错"));
        hxtest::key(Qt::Key_Escape);
        hxtest::key(Qt::Key_Up);
        QCOMPARE(shown(1, 1), QStringLiteral("O'Neil式锁边"));
        QCOMPARE(table(), before);
        QCOMPARE(dialogs->beeps, 0);
    }

    void unitPricesShowFourDecimals() {
        QVERIFY(openWindow());
        QCOMPARE(shown(0, 3), QStringLiteral("0.3500"));
        QCOMPARE(shown(1, 3), QStringLiteral("0.0000"));
        QCOMPARE(shown(2, 3), QStringLiteral("1.2345"));
        QVERIFY(retype(1, 3, QStringLiteral("1.2")));
        hxtest::key(Qt::Key_Up);
        QCOMPARE(cn().scalar(QStringLiteral("select UnitPrice from job where JobCode = 'T-02'")).toDouble(),
                 1.2);
        QCOMPARE(shown(1, 3), QStringLiteral("1.2000"));
        // Also after the list is read again and in the other list.
        QVERIFY(menu(1, 3, "完工"));
        QCOMPARE(shown(0, 3), QStringLiteral("0.3500"));
        QCOMPARE(shown(1, 3), QStringLiteral("1.2345"));
        QVERIFY(menu(0, 3, "显示完工工序"));
        QCOMPARE(ds()->sql(), hx::processList(true).sql);
        QCOMPARE(codes(), QStringList({"T-02", "X-09", "X-10"}));
        QCOMPARE(shown(0, 3), QStringLiteral("1.2000"));
        QCOMPARE(shown(1, 3), QStringLiteral("0.5000"));
    }

    void aRefusedRowStaysWithItsReasonThenIsCorrectedOrDropped_data() {
        QTest::addColumn<bool>("newRow");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("correction");
        QTest::newRow("new row without a code") << true << 0 << QString() << "“工序号”必须填写"
                                                << "N-02";
        QTest::newRow("code emptied") << false << 0 << QString() << "“工序号”必须填写" << QString();
        QTest::newRow("repeated code") << false << 0 << QStringLiteral("T-01") << "工序号“T-01”已经存在"
                                       << "T-03";
        QTest::newRow("repeated code of a finished process")
            << true << 0 << QStringLiteral("X-09") << "工序号“X-09”已经存在" << QString();
        QTest::newRow("price a word") << false << 3 << QStringLiteral("一毛") << "“工价”必须是数字"
                                      << "0.1";
        QTest::newRow("new row, price a letter")
            << true << 3 << QStringLiteral("x") << "“工价”必须是数字" << QString();
    }
    // Corrected (the correction typed into the refused cell and the row left), or dropped with Esc when
    // there is no correction.
    void aRefusedRowStaysWithItsReasonThenIsCorrectedOrDropped() {
        QFETCH(bool, newRow);
        QFETCH(int, column);
        QFETCH(QString, value);
        QFETCH(QString, reason);
        QFETCH(QString, correction);
        QVERIFY(openWindow());
        const QString before = table();
        const qint64 sequence = hxtest::lastKeyIssued(cn(), "job");
        if (newRow) {
            QVERIFY(hxtest::enterCell(grid(), 2, 0));
            hxtest::key(Qt::Key_Down);
            hxtest::type(QStringLiteral("N-01"));
            hxtest::key(Qt::Key_Tab);
            hxtest::type(QStringLiteral("描述"));
            QVERIFY(retype(3, column, value));
        } else {
            QVERIFY(retype(1, column, value));
        }
        const int row = newRow ? 3 : 1;
        hxtest::key(Qt::Key_Up);
        QCOMPARE(dialogs->beeps, 1);
        QCOMPARE(dialogs->texts().size(), 1);
        QCOMPARE(dialogs->lastReason(), reason);
        QCOMPARE(ds()->state(), newRow ? DataSetState::Insert : DataSetState::Edit);
        QCOMPARE(shown(row, column), value);
        QVERIFY(editorBack());
        QCOMPARE(grid()->currentIndex(), model()->index(row, column));
        QCOMPARE(table(), before);

        if (correction.isEmpty()) {
            hxtest::key(Qt::Key_Escape);
            QCOMPARE(ds()->state(), DataSetState::Browse);
            QCOMPARE(codes(), QStringList({"T-01", "T-02", "t-10"}));
            QCOMPARE(shown(1, 1), QStringLiteral("O'Neil式锁边"));
            QCOMPARE(shown(1, 3), QStringLiteral("0.0000"));
            QVERIFY(editorBack());
            QCOMPARE(table(), before);
            // A server's key counter stands outside transactions: a refused insert uses up a number there,
            // a harmless gap. A file's counter goes back with the rolled-back insert.
            if (!hxtest::onServer()) QCOMPARE(hxtest::lastKeyIssued(cn(), "job"), sequence);
        } else {
            hxtest::key(Qt::Key_A, Qt::ControlModifier);
            hxtest::type(correction);
            hxtest::clickCell(grid(), 0, 1);
            QCOMPARE(ds()->state(), DataSetState::Browse);
            const QString field = column == 0 ? QStringLiteral("JobCode") : QStringLiteral("UnitPrice");
            QCOMPARE(cn().scalar(QStringLiteral("select count(*) from job where %1 = ? and Description = ?")
                                     .arg(field),
                                 {column == 0 ? QVariant(correction) : QVariant(correction.toDouble()),
                                  newRow ? QStringLiteral("描述") : QStringLiteral("O'Neil式锁边")})
                         .toInt(),
                     1);
        }
        QCOMPARE(dialogs->texts().size(), 1);
    }

    // A cell takes no more characters than its column holds; the row is stored with what the cell shows.
    void anOverlongValueIsCutToItsColumnAsItIsTyped_data() {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::newRow("code of 31") << 0 << "JobCode" << QStringLiteral("工").repeated(31);
        QTest::newRow("description of 121") << 1 << "Description" << QStringLiteral("d").repeated(121);
        QTest::newRow("style of 21") << 2 << "StyleGroup" << QStringLiteral("s").repeated(21);
    }
    void anOverlongValueIsCutToItsColumnAsItIsTyped() {
        QFETCH(int, column);
        QFETCH(QString, field);
        QFETCH(QString, value);
        const QString stored = value.left(value.size() - 1);
        QVERIFY(openWindow());
        QVERIFY(retype(1, column, value));
        hxtest::key(Qt::Key_Up);
        QCOMPARE(dialogs->beeps, 0);
        QCOMPARE(dialogs->shown.size(), 0);
        QCOMPARE(ds()->state(), DataSetState::Browse);
        QCOMPARE(
            cn().scalar(QStringLiteral("select count(*) from job where %1 = ?").arg(field), {stored}).toInt(),
            1);
        QCOMPARE(shown(1, column), stored);
    }

    // ---- finishing and restarting

    void finishAndRestartMoveTheProcessBetweenTheLists() {
        QVERIFY(openWindow());
        QAbstractItemModelTester tester(model());
        QCOMPARE(stopCaptions(1), QStringList({"完工", "显示完工工序"}));
        // A price correction still in the editor goes with the finishing.
        QVERIFY(retype(1, 3, QStringLiteral("0.3")));
        QVERIFY(menu(1, 3, "完工"));
        QCOMPARE(row("T-02"), QStringLiteral("T-02|O'Neil式锁边|春装A|0.3|-1"));
        QCOMPARE(codes(), QStringList({"T-01", "t-10"}));
        QCOMPARE(ds()->recNo(), 0);
        QVERIFY(menu(0, 0, "显示完工工序"));
        QCOMPARE(codes(), QStringList({"T-02", "X-09", "X-10"}));
        QCOMPARE(stopCaptions(), QStringList({"开工", "显示开工工序"}));
        QVERIFY(menu(1, 0, "开工"));
        QCOMPARE(stored("JobCode = 'X-09' and stopp = 0"), 1);
        QCOMPARE(codes(), QStringList({"T-02", "X-10"}));
        QVERIFY(menu(0, 0, "显示开工工序"));
        QCOMPARE(codes(), QStringList({"T-01", "t-10", "X-09"}));
        QCOMPARE(dialogs->shown.size(), 0);
    }

    void finishingTheLastProcessLeavesAnEmptyListThatOffersRestarting() {
        cn().exec(QStringLiteral("update job set stopp = -1 where JobCode <> 'T-01'"));
        QVERIFY(openWindow());
        QVERIFY(menu(0, 0, "完工"));
        QCOMPARE(ds()->recordCount(), 0);
        QCOMPARE(stopCaptions(-1), QStringList({"开工", "显示开工工序"}));
        QVERIFY(menu(-1, 0, "开工"));
        QCOMPARE(stored("stopp = 0"), 0);
        QVERIFY(menu(-1, 0, "显示开工工序"));
        QCOMPARE(ds()->sql(), hx::processList(false).sql);
        QCOMPARE(ds()->recordCount(), 0);
    }

    // ---- the list commands

    void filterOnPriceIsUnquotedAndOnTextQuoted() {
        QVERIFY(openWindow());
        QVERIFY(menu(0, 3, "筛选"));
        QCOMPARE(ds()->filter(), QStringLiteral("UnitPrice = 0.35"));
        QCOMPARE(codes(), QStringList({"T-01"}));
        QVERIFY(menu(0, 2, "筛选"));
        QCOMPARE(ds()->filter(), QStringLiteral("StyleGroup = '春装A'"));
        QCOMPARE(codes(), QStringList({"T-01", "T-02"}));
        QVERIFY(menu(1, 1, "筛选"));
        QCOMPARE(ds()->filter(), QStringLiteral("Description = 'O''Neil式锁边'"));
        QCOMPARE(codes(), QStringList({"T-02"}));
        // The condition stays with the finished list, where no process meets it.
        QVERIFY(menu(0, 1, "显示完工工序"));
        QCOMPARE(ds()->sql(), hx::processList(true).sql);
        QCOMPARE(ds()->recordCount(), 0);
        QVERIFY(menu(-1, 1, "取消筛选"));
        QCOMPARE(codes(), QStringList({"X-09", "X-10"}));
    }

    void sortAndFind() {
        QVERIFY(openWindow());
        QVERIFY(menu(0, 1, "排序"));
        QCOMPARE(ds()->sort(), QStringLiteral("Description ASC"));
        QCOMPARE(codes(), QStringList({"T-02", "T-01", "t-10"}));
        // A click on a title does the same.
        hxtest::clickTitle(grid(), 0);
        QCOMPARE(ds()->sort(), QStringLiteral("JobCode ASC"));
        QCOMPARE(codes(), QStringList({"T-01", "T-02", "t-10"}));
        hxtest::clickTitle(grid(), 1);
        QCOMPARE(codes(), QStringList({"T-02", "T-01", "t-10"}));
        dialogs->input(QStringLiteral("T-1")).input(QStringLiteral("T-10"));
        QVERIFY(menu(0, 0, "查找"));
        QCOMPARE(ds()->asString("JobCode"), QStringLiteral("T-02"));
        QCOMPARE(dialogs->lastText(), QStringLiteral("没有找到“T-1”"));
        QVERIFY(menu(0, 0, "查找"));
        QCOMPARE(ds()->asString("JobCode"), QStringLiteral("t-10"));
    }

    void deleteFromTheMenuAsksTheProcessQuestion() {
        QVERIFY(openWindow());
        const QString question = QStringLiteral(
            "如果该工序已有计件数据，请使用 ”完工“ 功能，\r\n直接删除会导致数据不完整。确定要删除  “t-10“ "
            "工序吗？");
        dialogs->answer(Answer::No).answer(Answer::Closed).answer(Answer::Yes);
        QVERIFY(hxtest::enterCell(grid(), 2, 1));
        QVERIFY(menu(2, 1, "删除"));
        QVERIFY(menu(2, 1, "删除"));
        QCOMPARE(stored(), 5);
        QVERIFY(menu(2, 1, "删除"));
        QCOMPARE(dialogs->texts(), QStringList({question, question, question}));
        QCOMPARE(stored("JobCode = 't-10'"), 0);
        QCOMPARE(codes(), QStringList({"T-01", "T-02"}));
        QCOMPARE(ds()->asString("JobCode"), QStringLiteral("T-02"));
        // Its piece-work records stay.
        QCOMPARE(cn().scalar("select count(*) from JobData").toInt(), 1);
    }

    void deleteOnAnEmptyListFailsAfterTheAnswer() {
        cn().exec(QStringLiteral("delete from job"));
        QVERIFY(openWindow());
        dialogs->answer(Answer::Yes);
        QVERIFY(menu(-1, 0, "删除"));
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QCOMPARE(dialogs->lastText(), QStringLiteral("Cannot perform this operation on an empty dataset"));
    }

    void closingStoresTheRowBeingTyped() {
        QVERIFY(openWindow());
        QVERIFY(hxtest::enterCell(grid(), 2, 0));
        hxtest::key(Qt::Key_Down);
        hxtest::type(QStringLiteral("N-05"));
        hxtest::key(Qt::Key_Tab);
        hxtest::key(Qt::Key_Tab);
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("0.125"));
        win->close();
        QCOMPARE(row("N-05"), QStringLiteral("N-05|~|~|0.125|0"));
    }
};

HX_BOTH_ENGINES;
HX_WINDOW_TEST_MAIN(TestJob)
#include "tst_job.moc"
