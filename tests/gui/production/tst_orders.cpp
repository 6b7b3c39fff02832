#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

#include "core/data/clock.h"
#include "core/production/production.h"
#include "core/production/scanning.h"
#include "gui/exchange/importdialog.h"
#include "gui/production/orders.h"
#include "gui/reports/myrpsetup.h"
#include "gui/widgets/mydbgrid.h"
#include "support/gridmenu.h"
#include "support/testsupport.h"
#include "support/windowfixture.h"
#include "support/xlsxreader.h"

using namespace hx;
using namespace Qt::StringLiterals;

// The production orders as the production clerk keeps them: orders and bundles typed into the grids,
// bundles generated and imported, tickets' rules on changes and deletes, the progress page and its
// export; what was stored is read back with SQL.
class TestOrders : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::WindowFixture> f;
    hxtest::ScriptedDialogs* dialogs = nullptr;
    QPointer<TorderFrm> win;
    const QDate day{2026, 12, 8};
    qint64 sun = 0, li = 0;             // workers 0012, 0013
    qint64 cut = 0, sew = 0, iron = 0;  // the processes of style S1 in production

    Connection& cn() { return f->cn(); }
    bool openWindow() {
        win = f->openWindow<TorderFrm>();
        return win;
    }
    TMyDBGrid* grid(const char* name) { return f->child<TMyDBGrid>(win, QLatin1String(name)); }
    TMyDBGrid* orders() { return grid("grdOrders"); }
    TMyDBGrid* bundles() { return grid("grdBundles"); }
    template <class T>
    T* part(const char* name) {
        return f->child<T>(win, QLatin1String(name));
    }
    QString shown(TMyDBGrid* g, int row, int column) {
        return g->model()->index(row, column).data().toString();
    }
    // Every row a grid shows, as "a|b|c;...".
    QString shownRows(TMyDBGrid* g) {
        QStringList rows;
        for (int r = 0; r < g->model()->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < g->model()->columnCount(); ++c) cells << shown(g, r, c);
            rows << cells.join('|');
        }
        return rows.join(';');
    }
    QString storedBundles(qint64 orderId) {
        return hxtest::rowsText(cn(), "bundle", "bundleNo", {"bundleNo", "color", "size", "qty"},
                                QStringLiteral("orderID = %1").arg(orderId));
    }
    int tickets(const QString& where = "1=1") { return hxtest::rowCount(cn(), "bundleTicket", where); }
    // An order of S1 with bundles of 30 cut from the breakdown; its bundles' keys.
    std::vector<qint64> order(const QString& code, const std::vector<BreakdownLine>& lines) {
        std::vector<qint64> ids;
        for (const Bundle& b : generateBundles(cn(), addOrder(cn(), code, "S1", day), lines, 30))
            ids.push_back(b.id);
        return ids;
    }
    QString codeOf(qint64 bundleId, qint64 jobId) {
        return cn()
            .scalar("select code from bundleTicket where bundleID = ? and jobID = ?", {bundleId, jobId})
            .toString();
    }
    QString writeCsv(const QString& name, const QString& text) { return f->dir.writeFile(name, text); }
    // The cells of the first sheet of a spreadsheet file, row by row, as "a|b;c|d".
    static QString sheetRows(const QString& path, int columns) {
        const auto cells = hxtest::readSheet(path);
        QStringList rows;
        for (int r = 1;; ++r) {
            QStringList row;
            bool any = false;
            for (int c = 0; c < columns; ++c) {
                const QString ref = QString(QChar(u'A' + c)) + QString::number(r);
                any = any || cells.contains(ref);
                row << cells.value(ref).value;
            }
            if (!any) break;
            rows << row.join('|');
        }
        return rows.join(';');
    }

  private slots:
    void init() {
        f = std::make_unique<hxtest::WindowFixture>(QStringLiteral("o"));
        dialogs = &f->dialogs;
        setToday(QDate(2026, 12, 9));
        sun = f->addWorker("0012", "孙八");
        li = f->addWorker("0013", "李四");
        const auto job = [this](const char* code, const char* style, const char* price, int stopped = 0) {
            return f->addProcess(code, {{"Description", QStringLiteral("工序") + QLatin1String(code)},
                                        {"StyleGroup", QString::fromUtf8(style)},
                                        {"UnitPrice", f->money(price)},
                                        {"stopp", stopped}});
        };
        cut = job("J1", "S1", "0.12");
        sew = job("J2", "S1", "0.3333");
        iron = job("J3", "S1", "1.5");
        job("J4", "S1", "9", -1);
        job("K1", "夏装B", "7");
    }
    void cleanup() {
        if (hxtest::openMenu()) hxtest::openMenu()->close();
        setToday(QDate());
        HX_FINISH_FIXTURE(f);
    }

    // An order typed after another, its style taken from the process register's list, today's date by
    // itself; leaving the order stores it, and its bundles are typed below, numbered by themselves.
    void typeAnOrderAndItsBundlesByKeys() {
        const qint64 old = addOrder(cn(), "PO-0", "夏装B", QDate(2026, 11, 30), "旧单");
        QVERIFY(openWindow());
        QCOMPARE(win->windowTitle(), QStringLiteral("生产单"));
        QCOMPARE(
            hxtest::menuCaptionsAt(orders(), 0, 0),
            QStringList({"排序", "筛选", "取消筛选", "查找", "-", "新增", "删除", "-", "导出到电子表格..."}));
        QCOMPARE(orders()->dataModel()->column(1).pickList, QStringList({"S1", "夏装B"}));
        QCOMPARE(shownRows(orders()), u"PO-0|夏装B|2026-11-30|旧单"_s);
        QCOMPARE(part<QLabel>("lblBundles")->text(), u"共 0 扎，0 件"_s);

        QVERIFY(hxtest::enterCell(orders(), 0, 0));
        hxtest::key(Qt::Key_Down);
        QVERIFY(hxtest::editorBack(orders()));
        hxtest::type(QStringLiteral(" PO-1 "));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("S1"));
        hxtest::key(Qt::Key_Tab);
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("O'Neil 春季"));
        // Into the bundles: the order is stored first, and the list below is its own (empty) one.
        QVERIFY(hxtest::useMenu(bundles(), -1, 0, "新增"));
        const qint64 po1 = orderByCode(cn(), "PO-1");
        QVERIFY(po1 > 0);
        QCOMPARE(hxtest::rowsText(cn(), "prodOrder", "orderID", {"OrderCode", "StyleGroup", "dateD", "memo"}),
                 u"PO-0|夏装B|2026-11-30|旧单;PO-1|S1|2026-12-09|O'Neil 春季"_s);
        QVERIFY(hxtest::editorBack(bundles()));
        QCOMPARE(shown(bundles(), 0, 0), u"1"_s);
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("红"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("M"));
        hxtest::key(Qt::Key_Tab);
        hxtest::type(QStringLiteral("30"));
        hxtest::key(Qt::Key_Down);
        QVERIFY(hxtest::editorBack(bundles()));
        QCOMPARE(shown(bundles(), 1, 0), u"2"_s);
        for (int i = 0; i < 3; ++i) hxtest::key(Qt::Key_Tab);
        // Pieces beyond what a bundle holds are refused with the reason, the row kept as typed.
        hxtest::type(QStringLiteral("0"));
        hxtest::key(Qt::Key_Up);
        QCOMPARE(dialogs->lastKind(), u"warning"_s);
        QCOMPARE(dialogs->lastReason(), u"“件数”须是 1 到 1000000 之间的整数。"_s);
        QVERIFY(hxtest::retype(bundles(), 1, 3, QStringLiteral("25")));
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        hxtest::type(QStringLiteral("L"));
        hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
        hxtest::type(QStringLiteral("蓝"));
        hxtest::key(Qt::Key_Up);
        QCOMPARE(storedBundles(po1), u"1|红|M|30;2|蓝|L|25"_s);
        QCOMPARE(part<QLabel>("lblBundles")->text(), u"共 2 扎，55 件"_s);
        QCOMPARE(dialogs->beeps, 1);

        // Back to the old order: its bundles (none), then the new one again.
        hxtest::clickCell(orders(), 0, 0);
        QCOMPARE(win->currentOrderId(), old);
        QCOMPARE(bundles()->model()->rowCount(), 0);
        hxtest::clickCell(orders(), 1, 3);
        QCOMPARE(win->currentOrderId(), po1);
        QCOMPARE(shownRows(bundles()), u"1|红|M|30;2|蓝|L|25"_s);
        // A repeated order number is refused by name.
        QVERIFY(hxtest::retype(orders(), 1, 0, QStringLiteral("PO-0")));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(dialogs->lastKind(), u"warning"_s);
        QVERIFY(dialogs->lastReason().contains(u"生产单号"_s));
        hxtest::key(Qt::Key_Escape);
        QCOMPARE(orderByCode(cn(), "PO-1"), po1);
    }

    // 生成扎 cuts 1,200 pieces into 40 bundles of 30 after the bundles the order has; bundles chosen with
    // Shift go to the ticket printer together.
    void generateFortyBundlesAndChooseSomeForTickets() {
        const qint64 po = addOrder(cn(), "PO-7", "S1", day);
        generateBundles(cn(), po, {{"白", "S", 20}}, 30);
        QVERIFY(openWindow());
        // Of itself the button prints through the report windows: their output setup comes up, and
        // Escape there prints nothing.
        bool setupShown = false;
        hxtest::whenShown<TmyRpSetupFrm>([&](TmyRpSetupFrm*) {
            setupShown = true;
            hxtest::key(Qt::Key_Escape);
        });
        QTest::mouseClick(part<QToolButton>("btnPrintTickets"), Qt::LeftButton);
        QVERIFY(setupShown);
        QVERIFY(!QApplication::activeModalWidget());
        std::vector<qint64> printed;
        win->setTicketPrinter([&printed](const std::vector<qint64>& ids) { printed = ids; });
        QVERIFY(part<QToolButton>("btnPrintTickets")->isEnabled());

        QString plan;
        hxtest::whenShown<TgenerateFrm>([&](TgenerateFrm* d) {
            auto* g = f->child<TMyDBGrid>(d, "grdBreakdown");
            // Nothing to cut is said, and the dialog stays.
            QTest::mouseClick(f->child<QPushButton>(d, "btnOk"), Qt::LeftButton);
            QVERIFY(d->isVisible());
            QVERIFY(hxtest::enterCell(g, 0, 0));
            hxtest::type(QStringLiteral("红"));
            hxtest::key(Qt::Key_Tab);
            hxtest::type(QStringLiteral("M"));
            hxtest::key(Qt::Key_Tab);
            hxtest::type(QStringLiteral("600"));
            hxtest::key(Qt::Key_Down);
            hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
            hxtest::key(Qt::Key_Backtab, Qt::ShiftModifier);
            hxtest::type(QStringLiteral("蓝"));
            hxtest::key(Qt::Key_Tab);
            hxtest::type(QStringLiteral("L"));
            hxtest::key(Qt::Key_Tab);
            hxtest::type(QStringLiteral("600"));
            hxtest::key(Qt::Key_Up);
            auto* size = f->child<QSpinBox>(d, "edtBundleSize");
            size->setFocus();
            hxtest::key(Qt::Key_A, Qt::ControlModifier);
            hxtest::type(QStringLiteral("30"));
            plan = f->child<QLabel>(d, "lblPlan")->text();
            QTest::mouseClick(f->child<QPushButton>(d, "btnOk"), Qt::LeftButton);
            QVERIFY2(!d->isVisible(), qPrintable(dialogs->texts().join('/') + " " + shownRows(g)));
        });
        QTest::mouseClick(part<QToolButton>("btnGenerate"), Qt::LeftButton);
        QCOMPARE(plan, u"共 1200 件，每扎 30 件，将生成 40 扎。"_s);
        QCOMPARE(dialogs->texts(), QStringList({"请填写各颜色、尺码的件数。",
                                                "已生成 40 扎（第 2 扎到第 41 扎），共 1200 件。"}));
        QCOMPARE(hxtest::rowsText(
                     cn(), "bundle", "color",
                     {"color", "size", "count(*)", "sum(qty)", "min(qty)", "min(bundleNo)", "max(bundleNo)"},
                     QStringLiteral("orderID = %1 group by color, size").arg(po)),
                 u"白|S|1|20|20|1|1;红|M|20|600|30|2|21;蓝|L|20|600|30|22|41"_s);
        QCOMPARE(part<QLabel>("lblBundles")->text(), u"共 41 扎，1220 件"_s);
        QCOMPARE(bundles()->model()->rowCount(), 41);

        // Bundles 3 to 5 chosen with a click and Shift+click, and the current one alone.
        hxtest::clickCell(bundles(), 2, 0);
        QTest::mouseClick(bundles()->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          bundles()->visualRect(bundles()->model()->index(4, 2)).center());
        hxtest::settle();
        QTest::mouseClick(part<QToolButton>("btnPrintTickets"), Qt::LeftButton);
        std::vector<qint64> expected;
        for (int n = 3; n <= 5; ++n)
            expected.push_back(
                cn().scalar("select bundleID from bundle where orderID = ? and bundleNo = ?", {po, n})
                    .toLongLong());
        QCOMPARE(printed, expected);
        hxtest::clickCell(bundles(), 0, 1);
        QCOMPARE(win->selectedBundleIds(),
                 std::vector<qint64>(
                     {cn().scalar("select bundleID from bundle where orderID = ? and bundleNo = 1", {po})
                          .toLongLong()}));
    }

    // A bundle whose tickets are printed keeps its pieces: refused while one is scanned, changed once the
    // user agrees to drop its tickets otherwise. An order or bundle with a scanned ticket is not deleted;
    // one without goes with its bundles and tickets.
    void ticketsGuardPiecesAndDeletes() {
        const std::vector<qint64> b = order("PO-3", {{"红", "M", 80}});  // 30, 30, 20
        makeTickets(cn(), {b[0], b[1]});
        QVERIFY(acceptTicket(cn(), codeOf(b[0], cut), day, sun).accepted);
        const qint64 po = orderByCode(cn(), "PO-3");
        QVERIFY(openWindow());
        // Bundle 1: a ticket is paid.
        QVERIFY(hxtest::retype(bundles(), 0, 3, QStringLiteral("20")));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(dialogs->lastKind(), u"warning"_s);
        QCOMPARE(
            dialogs->lastReason(),
            u"第 1 扎已有 1 张菲票扫描计件，件数不能再改。请先在计件数据中撤销这些扫描，再作废它的菲票。"_s);
        hxtest::key(Qt::Key_Escape);
        // Bundle 2: tickets printed, none paid; No keeps them and the pieces, Yes drops them.
        QVERIFY(hxtest::retype(bundles(), 1, 3, QStringLiteral("25")));
        dialogs->answer(Answer::No);
        hxtest::key(Qt::Key_Down);
        QCOMPARE(dialogs->lastReason(),
                 u"第 2 扎已打印菲票，件数没有改。要改件数，须先作废它的菲票，改好后重新打印。"_s);
        QCOMPARE(tickets(QStringLiteral("bundleID = %1").arg(b[1])), 3);
        dialogs->answer(Answer::Yes);
        hxtest::key(Qt::Key_Down);
        QCOMPARE(dialogs->lastKind(), u"confirm"_s);
        QCOMPARE(dialogs->lastText(),
                 u"第 2 扎已打印 3 张菲票，票上是 30 件。\n改件数须先作废这些菲票，改好后重新打印。\n\n"
                 "作废它的菲票并把件数改为 25 吗？"_s);
        QCOMPARE(storedBundles(po), u"1|红|M|30;2|红|M|25;3|红|M|20"_s);
        QCOMPARE(tickets(QStringLiteral("bundleID = %1").arg(b[1])), 0);
        QCOMPARE(tickets(), 3);
        // Colour and size of a bundle with tickets may be corrected.
        QVERIFY(hxtest::retype(bundles(), 0, 1, QStringLiteral("大红")));
        hxtest::key(Qt::Key_Down);
        QCOMPARE(storedBundles(po), u"1|大红|M|30;2|红|M|25;3|红|M|20"_s);

        // Deleting bundle 1 or the order is refused; bundle 3 goes.
        dialogs->reset();
        hxtest::clickCell(bundles(), 0, 0);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(hxtest::useMenu(orders(), 0, 0, "删除"));
        QCOMPARE(
            dialogs->texts(),
            QStringList({"第 1 扎已有 1 张菲票扫描计件，不能删除。请先在计件数据中撤销这些扫描。",
                         "生产单“PO-3”已有 1 张菲票扫描计件，不能删除。请先在计件数据中撤销这些扫描。"}));
        dialogs->answer(Answer::Yes);
        QVERIFY(hxtest::useMenu(bundles(), 2, 0, "删除"));
        QCOMPARE(dialogs->lastText(), u"确定要删除第 3 扎（共 20 件）吗？"_s);
        QCOMPARE(storedBundles(po), u"1|大红|M|30;2|红|M|25"_s);
        QCOMPARE(shownRows(bundles()), u"1|大红|M|30;2|红|M|25"_s);

        // Once the scan is undone, the order goes with its bundles and unscanned tickets, after a No.
        QVERIFY(undoTicket(cn(), codeOf(b[0], cut)).accepted);
        dialogs->answer(Answer::No).answer(Answer::Yes);
        hxtest::clickCell(orders(), 0, 1);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(orderByCode(cn(), "PO-3"), po);
        hxtest::key(Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(dialogs->lastText(),
                 u"确定要删除生产单“PO-3”吗？\n它的 2 扎（共 55 件）及 3 张未扫描的菲票将一并删除。"_s);
        QCOMPARE(orderByCode(cn(), "PO-3"), 0);
        QCOMPARE(hxtest::rowCount(cn(), "bundle"), 0);
        QCOMPARE(tickets(), 0);
        QCOMPARE(orders()->model()->rowCount(), 0);
        QCOMPARE(bundles()->model()->rowCount(), 0);
    }

    // Bundles imported from a sheet: a numbered one updates the order's bundle, one without a number is
    // numbered on after the highest; repeated numbers and pieces out of range are refused by line.
    void importASmallSheet() {
        const std::vector<qint64> b = order("PO-5", {{"红", "M", 60}});  // bundles 1 and 2
        makeTickets(cn(), {b[1]});
        const qint64 po = orderByCode(cn(), "PO-5");
        QVERIFY(openWindow());
        const QString path = writeCsv("扎.csv", QStringLiteral("扎号,颜色,尺码,件数\n"
                                                               "1,红,M,28\n"
                                                               ",蓝,L,30\n"
                                                               "5,白,S,10\n"
                                                               "5,白,S,12\n"
                                                               ",黑,XL,0\n"
                                                               "2,红,M,29\n"));
        dialogs->chooseFile(path);
        QTest::mouseClick(part<QToolButton>("btnImport"), Qt::LeftButton);
        ImportDialog* dialog = nullptr;
        QVERIFY(QTest::qWaitFor([&] {
            dialog = qobject_cast<ImportDialog*>(QApplication::activeWindow());
            return dialog != nullptr;
        }));
        auto* preview = f->child<QTableWidget>(dialog, "grdPreview");
        QStringList lines;
        for (int r = 0; r < preview->rowCount(); ++r)
            lines << preview->item(r, 0)->text() + '|' + preview->item(r, 1)->text() + '|' +
                         preview->item(r, 2)->text();
        QCOMPARE(lines, QStringList({"2|更新|", "3|新增|扎号未填：接着本单的扎号编号", "4|新增|",
                                     "5|拒绝|扎号 5 与第 4 行重复", "6|拒绝|件数须在 1 到 1000000 之间：0",
                                     "7|拒绝|第 2 扎已打印菲票，不能更新。请先作废它的菲票"}));
        dialogs->answer(Answer::No);
        QTest::mouseClick(f->child<QPushButton>(dialog, "btnImport"), Qt::LeftButton);
        QCOMPARE(dialogs->texts().mid(dialogs->texts().size() - 2, 1),
                 QStringList({"新增 2 行，更新 1 行，拒绝 3 行"}));
        QCOMPARE(storedBundles(po), u"1|红|M|28;2|红|M|30;5|白|S|10;6|蓝|L|30"_s);
        QVERIFY(QTest::qWaitFor([this] { return bundles()->model()->rowCount() == 4; }));
        QCOMPARE(part<QLabel>("lblBundles")->text(), u"共 4 扎，98 件"_s);
    }

    // The progress of an order after some tickets are paid: per process the pieces done and left, and the
    // bundles not yet done at each; both exported to spreadsheets that say the same.
    void progressAfterScansAndItsExport() {
        const std::vector<qint64> b = order("PO-9", {{"红", "M", 80}});  // 30, 30, 20
        order("PO-X", {{"蓝", "L", 30}});
        makeTickets(cn(), b);
        for (const auto& [bundle, job, worker] :
             {std::tuple{b[0], cut, sun}, {b[1], cut, li}, {b[0], sew, li}})
            QVERIFY(acceptTicket(cn(), codeOf(bundle, job), day, worker).accepted);
        QVERIFY(openWindow());
        hxtest::clickCell(orders(), 1, 0);
        QCOMPARE(orders()->dataSet()->asString("OrderCode"), u"PO-9"_s);
        auto* tabs = part<QTabWidget>("PageControl1");
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(1).center());
        QCOMPARE(tabs->currentIndex(), 1);
        QCOMPARE(part<QLabel>("lblProgress")->text(),
                 u"生产单 PO-9　款式 S1　共 3 扎，80 件　已扫描菲票 3 张"_s);
        QCOMPARE(shownRows(grid("grdProgress")),
                 u"J1|工序J1|80|60|20;J2|工序J2|80|30|50;J3|工序J3|80|0|80"_s);
        QCOMPARE(shownRows(grid("grdOpen")),
                 u"J1|工序J1|3|红|M|20;J2|工序J2|2|红|M|30;J2|工序J2|3|红|M|20;"
                 "J3|工序J3|1|红|M|30;J3|工序J3|2|红|M|30;J3|工序J3|3|红|M|20"_s);
        // A scan made elsewhere shows after 刷新.
        QVERIFY(acceptTicket(cn(), codeOf(b[2], cut), day, sun).accepted);
        QTest::mouseClick(part<QToolButton>("btnRefresh"), Qt::LeftButton);
        QCOMPARE(shown(grid("grdProgress"), 0, 4), u"0"_s);
        QCOMPARE(grid("grdOpen")->model()->rowCount(), 5);

        const QString progress = f->dir.file("进度.xlsx");
        const QString open = f->dir.file("未完成.xlsx");
        dialogs->chooseFile(progress).chooseFile(open);
        QVERIFY(hxtest::useMenu(grid("grdProgress"), 0, 0, "导出到电子表格..."));
        QVERIFY(hxtest::useMenu(grid("grdOpen"), 0, 0, "导出到电子表格..."));
        QCOMPARE(
            sheetRows(progress, 5),
            u"工序号|工艺描述|本单件数|已完成|未完成;J1|工序J1|80|80|0;J2|工序J2|80|30|50;J3|工序J3|80|0|80"_s);
        QCOMPARE(sheetRows(open, 6),
                 u"工序号|工艺描述|未完成的扎|颜色|尺码|件数;J2|工序J2|2|红|M|30;J2|工序J2|3|红|M|20;"
                 "J3|工序J3|1|红|M|30;J3|工序J3|2|红|M|30;J3|工序J3|3|红|M|20"_s);
        QCOMPARE(dialogs->beeps, 0);
    }
};

HX_BOTH_ENGINES;
HX_WINDOW_TEST_MAIN(TestOrders)
#include "tst_orders.moc"
