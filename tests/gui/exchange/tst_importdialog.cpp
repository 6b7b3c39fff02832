#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "core/data/clock.h"
#include "core/data/connection.h"
#include "core/exchange/sheetreader.h"
#include "core/payroll/fixeditems.h"
#include "core/payroll/generation.h"
#include "gui/exchange/importdialog.h"
#include "gui/piecework/jobdata.h"
#include "gui/registers/job.h"
#include "gui/registers/staff.h"
#include "gui/widgets/export.h"
#include "gui/widgets/mydbgrid.h"
#include "support/gridmenu.h"
#include "support/hostilesheets.h"
#include "support/testsupport.h"
#include "support/windowfixture.h"
#include "support/xlsxreader.h"

using namespace hx;

namespace {

// Scripted dialogs that also note what the import dialog showed behind each information box: its
// summary line and whether its progress bar stood at the end.
class WatchingDialogs : public hxtest::ScriptedDialogs {
  public:
    QStringList behind;

    void information(const QString& text) override {
        QString seen = QStringLiteral("<no import dialog>");
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() != QLatin1String("ImportDialog") || !w->isVisible()) continue;
            const auto* bar = w->findChild<QProgressBar*>(QStringLiteral("pbProgress"));
            seen =
                w->findChild<QLabel*>(QStringLiteral("lblSummary"))->text() +
                (bar->value() == bar->maximum() ? QStringLiteral(" [full]") : QStringLiteral(" [not full]"));
        }
        behind << seen;
        ScriptedDialogs::information(text);
    }
};

}  // namespace

// 从电子表格导入... in the staff and process registers and the piece-work window, as the clerks use it:
// the context menu by right click, the preview dialog by keys and clicks, and the account set read back
// with SQL.
class TestImportDialog : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::WindowFixture> f;
    std::unique_ptr<WatchingDialogs> dialogs;
    QPointer<QWidget> win;

    Connection& cn() { return f->cn(); }
    int count(const QString& table) {
        return cn().scalar(QStringLiteral("select count(*) from ") + table).toInt();
    }
    // The rows of a query as "a|b|c", a null as "~"; on the window's account set unless another is named.
    QStringList rows(const QString& sql, Connection* on = nullptr) {
        QStringList out;
        PreparedStatement q(on ? *on : cn(), sql);
        while (q.next()) {
            QStringList cells;
            // An amount as the amount it is, whatever digits the engine writes it with (500, 500.0000).
            for (int c = 0; c < q.columnCount(); ++c)
                cells << (q.isNull(c)                                ? QStringLiteral("~")
                          : q.columnType(c).type == FieldType::Money ? q.money(c).toPlainString()
                                                                     : q.text(c));
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    }
    QString writeCsv(const QString& name, const QString& text) { return f->dir.writeFile(name, text); }
    // A sheet of `n` new workers, 20001 on; `nameTitle` titles the name column.
    QString manyWorkers(int n, const QString& nameTitle = QStringLiteral("姓名")) {
        QString text = QStringLiteral("工号,") + nameTitle + QStringLiteral(",班组,能力工资\n");
        for (int i = 0; i < n; ++i) text += QStringLiteral("%1,工人%1,车缝组,1000.5\n").arg(20001 + i);
        return writeCsv(QStringLiteral("many.csv"), text);
    }

    template <class T>
    bool openWindow() {
        win = f->openWindow<T>();
        return win;
    }
    TMyDBGrid* grid(const char* name) { return f->child<TMyDBGrid>(win, QLatin1String(name)); }

    // The import dialog on screen; nullptr when none is.
    static ImportDialog* importDialog() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("ImportDialog") && w->isVisible())
                return qobject_cast<ImportDialog*>(w);
        return nullptr;
    }
    template <class T>
    static T* part(const char* name) {
        return hxtest::WindowFixture::child<T>(importDialog(), QLatin1String(name));
    }
    // Right-clicks the grid's cell, chooses 从电子表格导入..., picks the file; true when the import dialog
    // then is the active window.
    bool startImport(TMyDBGrid* g, const QString& path, int row = 0) {
        dialogs->chooseFile(path);
        if (!hxtest::useMenu(g, row, 0, importCommandText())) return false;
        return QTest::qWaitFor(
            [] { return importDialog() && QApplication::activeWindow() == importDialog(); }, 3000);
    }
    // The preview's rows as "line|verdict|reason".
    static QStringList preview() {
        QStringList out;
        auto* table = part<QTableWidget>("grdPreview");
        for (int r = 0; r < table->rowCount(); ++r)
            out << table->item(r, 0)->text() + QLatin1Char('|') + table->item(r, 1)->text() +
                       QLatin1Char('|') + table->item(r, 2)->text();
        return out;
    }
    static QString summary() { return part<QLabel>("lblSummary")->text(); }
    // The summary of the 30,000 new workers of manyWorkers().
    static inline const QString kAllNew =
        QStringLiteral("将新增 30000 行，更新 0 行，拒绝 0 行（共 30000 行，列出前 200 行）");
    static void click(QWidget* w) {
        QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
        hxtest::settle();
    }
    // Opens the mapping box with a click and moves `steps` entries down (up when negative) by keys.
    static bool chooseByKeys(QComboBox* box, int steps) {
        click(box);
        if (!QTest::qWaitFor([box] { return box->view()->isVisible(); }, 2000)) return false;
        for (int i = 0; i < qAbs(steps); ++i) hxtest::key(steps > 0 ? Qt::Key_Down : Qt::Key_Up);
        hxtest::key(Qt::Key_Return);
        return !box->view()->isVisible();
    }
    // Presses Esc (or clicks 取消) as soon as `when` holds, which the dialog's own work lets happen.
    QTimer* interruptWhen(std::function<bool()> when, bool byButton = false) {
        auto* timer = new QTimer(this);
        timer->setInterval(0);
        connect(timer, &QTimer::timeout, this, [timer, when, byButton] {
            if (!importDialog() || !when()) return;
            timer->stop();
            if (byButton)
                click(part<QPushButton>("btnCancel"));
            else
                hxtest::key(Qt::Key_Escape);
            timer->deleteLater();
        });
        timer->start();
        return timer;
    }
    static bool checking() {
        return QApplication::activeWindow() == importDialog() && summary() == QStringLiteral("正在检查...") &&
               part<QProgressBar>("pbProgress")->value() > 0;
    }
    static bool importing() { return summary() == QStringLiteral("正在导入..."); }

  private slots:
    void init() {
        hx::setToday(QDate(2026, 9, 15));
        f = std::make_unique<hxtest::WindowFixture>(QStringLiteral("i"));
        dialogs = std::make_unique<WatchingDialogs>();
        f->addWorker(QStringLiteral("001"), QStringLiteral("张三"),
                     {{QStringLiteral("ClassGroup"), QStringLiteral("一组")},
                      {QStringLiteral("LevelSalary"), f->money(QStringLiteral("3000"))},
                      {QStringLiteral("salaryDay"), 15}});
        f->addWorker(QStringLiteral("002"), QStringLiteral("李四"));
        f->addProcess(QStringLiteral("A101"),
                      {{QStringLiteral("Description"), QStringLiteral("上领")},
                       {QStringLiteral("StyleGroup"), QStringLiteral("T恤")},
                       {QStringLiteral("UnitPrice"), f->money(QStringLiteral("0.35"))}});
        f->addProcess(QStringLiteral("B201"),
                      {{QStringLiteral("StyleGroup"), QStringLiteral("T恤")},
                       {QStringLiteral("UnitPrice"), f->money(QStringLiteral("0.0525"))}});
        f->addPieceRecord(QDate(2026, 9, 1), f->staffId(QStringLiteral("001")),
                          f->processId(QStringLiteral("A101")), 10);
    }
    void cleanup() {
        if (hxtest::openMenu()) hxtest::openMenu()->close();
        if (ImportDialog* d = importDialog()) delete d;
        HX_VERIFY_DIALOGS(*dialogs);
        dialogs.reset();
        HX_FINISH_FIXTURE(f);
    }

    // A new worker, a known one with another name, a wrong amount and a missing name; the known one is
    // skipped, the refused rows are saved with their reasons, and the register lists the new worker.
    void staffWithSkipAndTheRefusedRowsSaved() {
        QVERIFY(openWindow<TstaffFrm>());
        const QString path =
            writeCsv(QStringLiteral("工人.csv"), QStringLiteral("工号,姓名,班组,能力工资,发薪日\n"
                                                                "101,王小明,车缝一组,2500.5,10\n"
                                                                "001,张三丰,一组,3100,\n"
                                                                "102,赵四,一组,三千,\n"
                                                                "103,,一组,100,\n"));
        QVERIFY(startImport(grid("grdMain"), path));
        QVERIFY(part<QRadioButton>("rbUpdate")->isChecked());
        QCOMPARE(preview(), QStringList({"2|新增|状态未填：按在职新增", "3|更新|状态未填：在职或辞退保持不变",
                                         "4|拒绝|能力工资不是数字：三千", "5|拒绝|缺少姓名"}));
        QCOMPARE(summary(), QStringLiteral("将新增 1 行，更新 1 行，拒绝 2 行"));

        click(part<QRadioButton>("rbSkip"));
        QCOMPARE(preview(), QStringList({"2|新增|状态未填：按在职新增", "3|跳过|",
                                         "4|拒绝|能力工资不是数字：三千", "5|拒绝|缺少姓名"}));
        QCOMPARE(summary(), QStringLiteral("将新增 1 行，更新 0 行，拒绝 2 行，跳过 1 行"));

        const QString refused = f->dir.file(QStringLiteral("退回"));
        dialogs->answer(Answer::Yes).chooseFile(refused);
        click(part<QPushButton>("btnImport"));
        QVERIFY(!importDialog());
        QCOMPARE(dialogs->texts().mid(1),
                 QStringList({"新增 1 行，更新 0 行，拒绝 2 行",
                              "有 2 行被拒绝。要把它们连同拒绝原因保存为电子表格，修改后再导入吗？",
                              "电子表格|*.xlsx"}));
        QCOMPARE(dialogs->behind, QStringList({"导入完成：新增 1 行，更新 0 行，拒绝 2 行 [full]"}));

        QCOMPARE(
            rows(QStringLiteral("select StaffCode, StaffName, ClassGroup, LevelSalary, salaryDay, Firedd "
                                "from staff order by StaffCode")),
            QStringList({"001|张三|一组|3000|15|0", "002|李四|~|0|~|0", "101|王小明|车缝一组|2500.5|10|0"}));

        // The refused rows as they were, with the reason in a last column; the name without an extension
        // became an .xlsx file.
        QVERIFY(QFile::exists(refused + QStringLiteral(".xlsx")));
        const auto cells = hxtest::readSheet(refused + QStringLiteral(".xlsx"));
        QCOMPARE(cells["A1"].value, QStringLiteral("工号"));
        QCOMPARE(cells["F1"].value, QStringLiteral("拒绝原因"));
        QCOMPARE(cells["A2"].value, QStringLiteral("102"));
        QCOMPARE(cells["D2"].value, QStringLiteral("三千"));
        QCOMPARE(cells["F2"].value, QStringLiteral("第 4 行：能力工资不是数字：三千"));
        QCOMPARE(cells["A3"].value, QStringLiteral("103"));
        QVERIFY(!cells.contains("B3"));
        QCOMPARE(cells["F3"].value, QStringLiteral("第 5 行：缺少姓名"));
        QVERIFY(!cells.contains("A4"));

        // The register read its list again.
        QAbstractItemModel* m = grid("grdMain")->model();
        QStringList listed;
        for (int r = 0; r < m->rowCount(); ++r) listed << m->index(r, 0).data().toString();
        QVERIFY2(listed.contains("101"), qPrintable(listed.join(',')));
    }

    // The sheet titles the process code and the price as the guess does not know them: every row is
    // refused until the columns are chosen by keys; the price is stored to the ten-thousandth.
    void processesMappedByKeys() {
        QVERIFY(openWindow<TjobFrm>());
        const QString path =
            writeCsv(QStringLiteral("工序.csv"), QStringLiteral("工序代码,描述,款式,计件单价\n"
                                                                "A101,上领子,T恤,0.4\n"
                                                                "J02,锁边,T恤,0.2165\n"));
        QVERIFY(startImport(grid("grdMain"), path));
        QCOMPARE(preview(), QStringList({"2|拒绝|缺少工序编号", "3|拒绝|缺少工序编号"}));
        QVERIFY(!part<QPushButton>("btnImport")->isEnabled());

        auto* code = part<QComboBox>("cbbMap0");
        QCOMPARE(code->currentText(), QStringLiteral("（不导入）"));
        QVERIFY(chooseByKeys(code, 1));
        QCOMPARE(code->currentText(), QStringLiteral("A：工序代码"));
        QCOMPARE(preview(),
                 QStringList({"2|更新|状态未填：开工或完工保持不变", "3|新增|状态未填：按开工新增"}));
        auto* price = part<QComboBox>("cbbMap3");
        QVERIFY(chooseByKeys(price, 4));
        QCOMPARE(price->currentText(), QStringLiteral("D：计件单价"));
        QCOMPARE(summary(), QStringLiteral("将新增 1 行，更新 1 行，拒绝 0 行"));

        click(part<QPushButton>("btnImport"));
        QVERIFY(!importDialog());
        QCOMPARE(dialogs->texts().mid(1), QStringList({"新增 1 行，更新 1 行，拒绝 0 行"}));
        QCOMPARE(rows(QStringLiteral("select JobCode, Description, StyleGroup, UnitPrice, stopp from job "
                                     "order by JobCode")),
                 QStringList({"A101|上领子|T恤|0.4|0", "B201|~|T恤|0.0525|0", "J02|锁边|T恤|0.2165|0"}));
    }

    // A month's records with dates written three ways, an unknown worker, a record met twice and one
    // stored already; the query page lists the new records with their totals.
    void pieceRecordsIntoTheQueryPage() {
        QVERIFY(openWindow<TjobDataFrm>());
        auto* pages = f->child<QTabWidget>(win, QStringLiteral("PageControl1"));
        QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {}, pages->tabBar()->tabRect(2).center());
        hxtest::settle();
        click(f->child<QToolButton>(win, QStringLiteral("btnApply")));
        TMyDBGrid* q = grid("grdQuery");
        QCOMPARE(q->model()->rowCount(), 1);

        const QString path =
            writeCsv(QStringLiteral("九月.csv"), QStringLiteral("日期,工号,工序,数量\n"
                                                                "2026-09-01,001,A101,10\n"
                                                                "2026/9/2,001,B201,20\n"
                                                                "20260903,002,A101,5\n"
                                                                "2026-09-03,999,A101,4\n"
                                                                "2026年9月3日,002,A101,5\n"
                                                                "2026-09-02,002 李四,B201,7\n"));
        QVERIFY(startImport(q, path));
        QVERIFY(!importDialog()->findChild<QRadioButton*>(QStringLiteral("rbUpdate")));
        QCOMPARE(preview(),
                 QStringList({"2|拒绝|与已有的计件记录重复", "3|新增|", "4|新增|",
                              "5|拒绝|没有工号为 999 的员工", "6|拒绝|与第 4 行的计件记录重复", "7|新增|"}));
        dialogs->answer(Answer::No);
        click(part<QPushButton>("btnImport"));
        QVERIFY(!importDialog());
        QCOMPARE(dialogs->texts().mid(1),
                 QStringList({"新增 3 行，更新 0 行，拒绝 3 行",
                              "有 3 行被拒绝。要把它们连同拒绝原因保存为电子表格，修改后再导入吗？"}));
        QCOMPARE(
            rows(QStringLiteral("select d.dateD, s.StaffCode, j.JobCode, d.qty from JobData d join staff s "
                                "on s.staffID=d.staffID join job j on j.JobID=d.jobID order by 1, 2, 3")),
            QStringList({"2026-09-01|001|A101|10", "2026-09-02|001|B201|20", "2026-09-02|002|B201|7",
                         "2026-09-03|002|A101|5"}));
        QCOMPARE(q->model()->rowCount(), 4);
        QCOMPARE(f->child<QLabel>(win, QStringLiteral("dbQtyQuery"))->text(), QStringLiteral("42"));
        QCOMPARE(f->child<QLabel>(win, QStringLiteral("dbTmyQuery"))->text(), QStringLiteral("¥6.67"));
    }

    // While the dialog is open no other window takes input: a row stored there during 导入 would go into
    // the import's transaction and be lost with a cancel.
    void otherWindowsWaitForTheDialog() {
        QVERIFY(openWindow<TjobFrm>());
        QPointer<QWidget> jobs = win;
        QVERIFY(openWindow<TstaffFrm>());
        QVERIFY(startImport(grid("grdMain"), manyWorkers(3)));
        auto* jobGrid = f->child<TMyDBGrid>(jobs, QStringLiteral("grdMain"));
        const QModelIndex before = jobGrid->currentIndex();
        // Through the window system, as a real click comes, so that the program's modality applies.
        const QRect cell = jobGrid->visualRect(jobGrid->model()->index(1, 2));
        const QPoint at = jobGrid->viewport()->mapTo(jobs, cell.center());
        QTest::mouseClick(jobs->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(jobs->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
        hxtest::settle();
        QCOMPARE(jobGrid->currentIndex(), before);
        QCOMPARE(QApplication::activeWindow(), importDialog());
        QCOMPARE(rows(QStringLiteral("select Description from job order by JobCode")),
                 QStringList({"上领", "~"}));
        click(part<QPushButton>("btnCancel"));
        QVERIFY(!importDialog());
    }

    // Esc or 取消 in the preview stores nothing.
    void closedBeforeImportingStoresNothing() {
        QVERIFY(openWindow<TstaffFrm>());
        const QString path =
            writeCsv(QStringLiteral("a.csv"), QStringLiteral("工号,姓名\n101,王小明\n001,张三丰\n"));
        QVERIFY(startImport(grid("grdMain"), path));
        hxtest::key(Qt::Key_Escape);
        QVERIFY(QTest::qWaitFor([] { return !importDialog(); }, 2000));
        QVERIFY(startImport(grid("grdMain"), path));
        click(part<QPushButton>("btnCancel"));
        QVERIFY(QTest::qWaitFor([] { return !importDialog(); }, 2000));
        QCOMPARE(rows(QStringLiteral("select StaffCode, StaffName from staff order by 1")),
                 QStringList({"001|张三", "002|李四"}));
        QCOMPARE(dialogs->texts().size(), 2);  // the two file choices
    }

    // Closing the dialog while the first check of a large sheet runs stops the check; the dialog goes
    // away once the check has stopped, and the register is usable again.
    void closedWhileALargeSheetIsChecked() {
        QVERIFY(openWindow<TstaffFrm>());
        const QString path = manyWorkers(30000);
        for (const bool byButton : {false, true}) {
            auto* timer = interruptWhen(&TestImportDialog::checking, byButton);
            QPointer<QTimer> guard(timer);
            dialogs->chooseFile(path);
            QVERIFY(hxtest::useMenu(grid("grdMain"), 0, 0, importCommandText()));
            QVERIFY2(!guard || !guard->isActive(), "the check ended before it could be interrupted");
            QVERIFY(QTest::qWaitFor([] { return !importDialog(); }, 2000));
            QCOMPARE(count(QStringLiteral("staff")), 2);
            // The window takes input again (the window manager gives it the focus back).
            QVERIFY(win->isEnabled() && !QApplication::activeModalWidget());
            QVERIFY(f->activate(win));
        }
        QCOMPARE(dialogs->texts().size(), 2);
    }

    // 取消 while a workbook of many shared texts is opened, before any row is read: the dialog goes
    // away, nothing is stored and nothing more is said.
    void closedWhileAWorkbookIsOpened() {
        QVERIFY(openWindow<TstaffFrm>());
        const QString path = f->dir.file(QStringLiteral("texts.xlsx"));
        QVERIFY(hxtest::writeParts(path, hxtest::manySharedStrings(2000000)));
        QPointer<QTimer> timer = interruptWhen(
            [] {
                return summary() == QStringLiteral("正在读取...") &&
                       part<QProgressBar>("pbProgress")->value() > 0;
            },
            true);
        dialogs->chooseFile(path);
        QVERIFY(hxtest::useMenu(grid("grdMain"), 0, 0, importCommandText()));
        QVERIFY2(!timer || !timer->isActive(), "the workbook was open before it could be interrupted");
        QVERIFY(QTest::qWaitFor([] { return !importDialog(); }, 2000));
        QCOMPARE(count(QStringLiteral("staff")), 2);
        QCOMPARE(dialogs->texts().size(), 1);
    }

    // A title row reaching the last column a sheet has, and rows with a value there: the preview shows
    // the first columns only, every row refused with its reason.
    void sheetReachingFarRight() {
        QVERIFY(openWindow<TstaffFrm>());
        const QString path = f->dir.file(QStringLiteral("wide.xlsx"));
        auto parts = hxtest::sparseWideRows(2000);
        hxtest::partNamed(parts, QStringLiteral("xl/worksheets/sheet1.xml"))
            .head.replace("</row>", "<c r=\"XFD1\" t=\"inlineStr\"><is><t>备注</t></is></c></row>");
        QVERIFY(hxtest::writeParts(path, parts));
        QVERIFY(startImport(grid("grdMain"), path));
        QCOMPARE(summary(), QStringLiteral("将新增 0 行，更新 0 行，拒绝 2000 行"
                                           "（共 2000 行，列出前 200 行及其后被拒绝的前 1000 行）"));
        QCOMPARE(part<QTableWidget>("grdPreview")->columnCount(), 3 + 256);
        QCOMPARE(preview().first(), QStringLiteral("2|拒绝|缺少姓名"));
        click(part<QPushButton>("btnCancel"));
        QVERIFY(!importDialog());
    }

    // A check cancelled after the columns were chosen keeps them for the next check; an import cancelled
    // half-way stores nothing; the next 导入 stores every row and ends with its summary.
    void cancelledCheckAndImportThenTheImport() {
        QVERIFY(openWindow<TstaffFrm>());
        const QString path = manyWorkers(30000, QStringLiteral("名字"));
        QVERIFY(startImport(grid("grdMain"), path));
        QCOMPARE(summary(), QStringLiteral("将新增 0 行，更新 0 行，拒绝 30000 行"
                                           "（共 30000 行，列出前 200 行及其后被拒绝的前 1000 行）"));
        QCOMPARE(part<QTableWidget>("grdPreview")->rowCount(), 1200);
        QVERIFY(!part<QPushButton>("btnImport")->isEnabled());
        // Nothing can be stored, but the refused rows can be saved, every one of them.
        const QString refused = f->dir.file(QStringLiteral("拒绝.xlsx"));
        dialogs->chooseFile(refused);
        click(part<QPushButton>("btnSaveRefused"));
        {
            auto reader = SheetReader::open(refused);
            SheetRow row;
            int n = 0;
            while (reader->next(row)) ++n;
            QCOMPARE(n, 30001);
            QCOMPARE(row.cells.value(4).text, QStringLiteral("第 30001 行：缺少姓名"));
        }
        QVERIFY(chooseByKeys(part<QComboBox>("cbbMap1"), 2));
        QCOMPARE(part<QComboBox>("cbbMap1")->currentText(), QStringLiteral("B：名字"));
        QCOMPARE(summary(), kAllNew);

        // The choice of 跳过已有 starts a check, cancelled by 取消: the dialog stays, unchecked.
        interruptWhen(&TestImportDialog::checking, true);
        click(part<QRadioButton>("rbSkip"));
        QVERIFY(importDialog());
        QCOMPARE(summary(), QStringLiteral("未检查"));
        QVERIFY(!part<QPushButton>("btnImport")->isEnabled());
        // Back to 更新已有: checked with the chosen columns.
        click(part<QRadioButton>("rbUpdate"));
        QCOMPARE(part<QComboBox>("cbbMap1")->currentText(), QStringLiteral("B：名字"));
        QCOMPARE(summary(), kAllNew);

        // Esc while the rows are stored: nothing is.
        interruptWhen(&TestImportDialog::importing);
        click(part<QPushButton>("btnImport"));
        QCOMPARE(dialogs->texts().mid(2), QStringList({"导入已取消，没有存入任何数据。"}));
        QVERIFY(importDialog());
        QCOMPARE(count(QStringLiteral("staff")), 2);
        QCOMPARE(summary(), kAllNew);

        click(part<QPushButton>("btnImport"));
        QCOMPARE(dialogs->texts().mid(3), QStringList({"新增 30000 行，更新 0 行，拒绝 0 行"}));
        QCOMPARE(dialogs->behind.last(),
                 QStringLiteral("导入完成：新增 30000 行，更新 0 行，拒绝 0 行 [full]"));
        QVERIFY(!importDialog());
        QCOMPARE(count(QStringLiteral("staff")), 30002);
        QCOMPARE(rows(QStringLiteral("select StaffName, LevelSalary from staff where StaffCode='50000'")),
                 QStringList({"工人50000|1000.5"}));
    }

    // Beyond the first rows, the preview lists the refused rows further down with their reasons.
    void refusedRowsFurtherDownAreListed() {
        QVERIFY(openWindow<TstaffFrm>());
        QString text = QStringLiteral("工号,姓名,能力工资\n");
        for (int i = 0; i < 250; ++i)
            text += QStringLiteral("%1,工人%1,%2\n")
                        .arg(30001 + i)
                        .arg(i == 238 ? QStringLiteral("一千") : QStringLiteral("100"));
        QVERIFY(startImport(grid("grdMain"), writeCsv(QStringLiteral("长.csv"), text)));
        QCOMPARE(summary(),
                 QStringLiteral(
                     "将新增 249 行，更新 0 行，拒绝 1 行（共 250 行，列出前 200 行及其后被拒绝的 1 行）"));
        const QStringList listed = preview();
        QCOMPARE(listed.size(), 201);
        QCOMPARE(listed.first(), QStringLiteral("2|新增|状态未填：按在职新增"));
        QCOMPARE(listed.last(), QStringLiteral("240|拒绝|能力工资不是数字：一千"));
        click(part<QPushButton>("btnCancel"));
        QVERIFY(!importDialog());
    }

    // A workbook with a notes sheet in front: the dialog opens on the sheet with the list; choosing the
    // notes sheet by keys checks that one instead, and back on the list 导入 stores it.
    void workbookOpensOnTheSheetWithTheList() {
        QVERIFY(openWindow<TjobFrm>());
        const QString path = f->dir.file(QStringLiteral("价目.xlsx"));
        hxtest::writeWorkbook(path, {{QStringLiteral("说明"), {{QStringLiteral("十一月工序价目")}}},
                                     {QStringLiteral("价目"),
                                      {{QStringLiteral("工序号"), QStringLiteral("工价")},
                                       {QStringLiteral("Q-01"), QStringLiteral("0.35")},
                                       {QStringLiteral("Q-02"), QStringLiteral("0.2165")}}}});
        QVERIFY(startImport(grid("grdMain"), path));
        auto* sheet = part<QComboBox>("cbbSheet");
        QVERIFY(sheet->isVisible());
        QCOMPARE(sheet->currentText(), QStringLiteral("价目"));
        QCOMPARE(preview(), QStringList({"2|新增|状态未填：按开工新增", "3|新增|状态未填：按开工新增"}));

        QVERIFY(chooseByKeys(sheet, -1));
        QCOMPARE(sheet->currentText(), QStringLiteral("说明"));
        QCOMPARE(summary(), QStringLiteral("将新增 0 行，更新 0 行，拒绝 0 行"));
        QVERIFY(!part<QPushButton>("btnImport")->isEnabled());
        QVERIFY(chooseByKeys(sheet, 1));
        QCOMPARE(part<QComboBox>("cbbMap0")->currentText(), QStringLiteral("A：工序号"));
        QCOMPARE(preview(), QStringList({"2|新增|状态未填：按开工新增", "3|新增|状态未填：按开工新增"}));

        click(part<QPushButton>("btnImport"));
        QVERIFY(!importDialog());
        QCOMPARE(
            rows(QStringLiteral("select JobCode, UnitPrice from job where JobCode like 'Q-%' order by 1")),
            QStringList({"Q-01|0.35", "Q-02|0.2165"}));
    }

    // A .csv file has one sheet: no choice is offered.
    void textFileOffersNoSheet() {
        QVERIFY(openWindow<TjobFrm>());
        QVERIFY(
            startImport(grid("grdMain"), writeCsv(QStringLiteral("j.csv"), QStringLiteral("工序号\nQ-9\n"))));
        QVERIFY(!part<QComboBox>("cbbSheet")->isVisible());
        click(part<QPushButton>("btnCancel"));
    }

    // A factory moves to a fresh account set: every list exported from its window, the files imported
    // through the windows of the new set after the month's salary items were copied, and the pay-day
    // batches generated in both sets are the same, value for value; so are the dismissed workers, the
    // finished processes, the fixed amounts and the empty texts.
    void aFactoryMovesToAFreshAccountSet() {
        f->copyBaseMonth(2026, 9);
        nameFixedItem(cn(), QStringLiteral("A03"), QStringLiteral("津贴"));
        cn().exec(QStringLiteral("update staff set A02=500, A03=80.5 where StaffCode='001'"));
        cn().exec(QStringLiteral("update staff set ClassGroup='', salaryDay=25 where StaffCode='002'"));
        cn().exec(QStringLiteral("update job set Description='' where JobCode='B201'"));
        const qint64 dismissed = f->addWorker(QStringLiteral("003"), QStringLiteral("王五"),
                                              {{QStringLiteral("ClassGroup"), QStringLiteral("二组")},
                                               {QStringLiteral("salaryDay"), 15},
                                               {QStringLiteral("Firedd"), -1},
                                               {QStringLiteral("A02"), f->money(QStringLiteral("200"))}});
        const qint64 finished = f->addProcess(
            QStringLiteral("C301"), {{QStringLiteral("Description"), QStringLiteral("钉扣")},
                                     {QStringLiteral("StyleGroup"), QStringLiteral("衬衫")},
                                     {QStringLiteral("UnitPrice"), f->money(QStringLiteral("1.2345"))},
                                     {QStringLiteral("stopp"), -1}});
        const qint64 w001 = f->staffId(QStringLiteral("001"));
        const qint64 w002 = f->staffId(QStringLiteral("002"));
        f->addPieceRecord(QDate(2026, 9, 2), w001, finished, 33);
        f->addPieceRecord(QDate(2026, 9, 3), w002, f->processId(QStringLiteral("B201")), 7);
        f->addPieceRecord(QDate(2026, 9, 3), dismissed, finished, 40);
        const QString staffRows = QStringLiteral(
            "select StaffCode, StaffName, ClassGroup, LevelSalary, salaryDay, Firedd, A02, A03, A04, A05, "
            "A06, "
            "A07, A08 from staff order by 1");
        const QString jobRows =
            QStringLiteral("select JobCode, Description, StyleGroup, UnitPrice, stopp from job order by 1");
        const QString pieceRows = QStringLiteral(
            "select d.dateD, s.StaffCode, j.JobCode, d.qty from JobData d join staff s on "
            "s.staffID=d.staffID "
            "join job j on j.JobID=d.jobID order by 1, 2, 3, 4");
        const QStringList staffBefore = rows(staffRows);
        const QStringList jobsBefore = rows(jobRows);
        const QStringList piecesBefore = rows(pieceRows);

        // Out: both lists of each register from both pages, the records from the query page.
        QStringList files;
        const auto exportFrom = [&](TMyDBGrid* g, const QString& name) {
            files << f->dir.file(name);
            dialogs->chooseFile(files.last());
            return hxtest::useMenu(g, 0, 0, exportCommandText()) && QFile::exists(files.last());
        };
        const auto showPage = [this](int page) {
            auto* pages = f->child<QTabWidget>(win, QStringLiteral("PageControl1"));
            QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {}, pages->tabBar()->tabRect(page).center());
            hxtest::settle();
        };
        QVERIFY(openWindow<TstaffFrm>());
        QVERIFY(exportFrom(grid("grdMain"), QStringLiteral("在职.xlsx")));
        showPage(1);
        QVERIFY(exportFrom(grid("grdFix"), QStringLiteral("在职固定.xlsx")));
        showPage(0);
        QVERIFY(hxtest::useMenu(grid("grdMain"), 0, 0, QStringLiteral("显示辞退员工")));
        QVERIFY(exportFrom(grid("grdMain"), QStringLiteral("辞退.xlsx")));
        showPage(1);
        QVERIFY(exportFrom(grid("grdFix"), QStringLiteral("辞退固定.xlsx")));
        QVERIFY(openWindow<TjobFrm>());
        QVERIFY(exportFrom(grid("grdMain"), QStringLiteral("开工.xlsx")));
        QVERIFY(hxtest::useMenu(grid("grdMain"), 0, 0, QStringLiteral("显示完工工序")));
        QVERIFY(exportFrom(grid("grdMain"), QStringLiteral("完工.xlsx")));
        QVERIFY(openWindow<TjobDataFrm>());
        showPage(2);
        f->child<QDateEdit>(win, QStringLiteral("conDateB"))->setDate(QDate(2026, 9, 1));
        click(f->child<QToolButton>(win, QStringLiteral("btnApply")));
        QCOMPARE(grid("grdQuery")->model()->rowCount(), 4);
        QVERIFY(exportFrom(grid("grdQuery"), QStringLiteral("计件.xlsx")));

        // The fixed items' page titles them by the month's names, an unnamed one by its code.
        const auto fixed = hxtest::readSheet(files[1]);
        QCOMPARE(fixed["C1"].value, QStringLiteral("岗位津贴"));
        QCOMPARE(fixed["D1"].value, QStringLiteral("津贴"));
        QCOMPARE(fixed["E1"].value, QStringLiteral("A04"));
        QCOMPARE(fixed["J1"].value, QStringLiteral("状态"));
        QCOMPARE(hxtest::readSheet(files[2])["F2"].value, QStringLiteral("辞退"));
        QCOMPARE(hxtest::readSheet(files[5])["E2"].value, QStringLiteral("完工"));

        // In: a fresh set with the month's items, every file through its window.
        Connection before;
        hxtest::openAgain(before, cn());
        f->moveToNewAccountSet(QStringLiteral("新厂"));
        cn().exec(QStringLiteral("delete from salary where year=2026 and month=9"));
        PreparedStatement items(before, QStringLiteral("select year, month, ItemCode, ItemName, expression, "
                                                       "printWidth from salary where year=2026 and month=9"));
        while (items.next())
            cn().exec(QStringLiteral("insert into salary (year, month, ItemCode, ItemName, expression, "
                                     "printWidth) values (?, ?, ?, ?, ?, ?)"),
                      {items.value(0), items.value(1), items.value(2), items.value(3), items.value(4),
                       items.value(5)});
        const auto importInto = [&](TMyDBGrid* g, const QString& file) {
            if (!startImport(g, file)) return false;
            if (part<QLabel>("lblSummary")->text().contains(QStringLiteral("拒绝 0 行")) == false)
                return false;
            click(part<QPushButton>("btnImport"));
            return !importDialog();
        };
        QVERIFY(openWindow<TstaffFrm>());
        for (int i = 0; i < 4; ++i) QVERIFY2(importInto(grid("grdMain"), files[i]), qPrintable(files[i]));
        QVERIFY(openWindow<TjobFrm>());
        for (int i = 4; i < 6; ++i) QVERIFY2(importInto(grid("grdMain"), files[i]), qPrintable(files[i]));
        QVERIFY(openWindow<TjobDataFrm>());
        QVERIFY(importInto(grid("grdStaffData"), files[6]));
        QCOMPARE(rows(staffRows), staffBefore);
        QCOMPARE(rows(jobRows), jobsBefore);
        QCOMPARE(rows(pieceRows), piecesBefore);

        // The same pay in both sets: the dismissed worker is paid in neither.
        const QString sheet =
            QStringLiteral("select * from salaryData order by Year, Month, salaryDay, staffCode");
        for (Connection* set : {&cn(), &before})
            for (const int day : {15, 25})
                generateSalarySheet(*set, {2026, 9, day}, QDate(2026, 9, 1), QDate(2026, 9, 30));
        const QStringList pay = rows(sheet, &before);
        QCOMPARE(pay.size(), 2);
        QVERIFY2(pay[0].startsWith(QStringLiteral("2026|9|15|001|张三|44.2385|500|80.5|")),
                 qPrintable(pay[0]));
        QCOMPARE(rows(sheet), pay);
    }

    // A file that is no spreadsheet: a warning, and no dialog stays.
    void anUnreadableFileIsRefused() {
        QVERIFY(openWindow<TjobDataFrm>());
        const QString path = writeCsv(QStringLiteral("说明.xlsx"), QStringLiteral("这不是电子表格"));
        dialogs->chooseFile(path);
        QVERIFY(hxtest::useMenu(grid("grdStaffData"), -1, 0, importCommandText()));
        QVERIFY(QTest::qWaitFor([] { return !importDialog(); }, 2000));
        QCOMPARE(dialogs->shown.size(), 2);
        QCOMPARE(dialogs->shown[1].kind, QStringLiteral("warning"));
        QCOMPARE(count(QStringLiteral("JobData")), 1);
    }
};

HX_BOTH_ENGINES;
HX_WINDOW_TEST_MAIN(TestImportDialog)
#include "tst_importdialog.moc"
