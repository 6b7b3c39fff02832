// 打印工资条 in 工资表 as the accountant uses it: the setup dialog answered by keys, then the slips in the
// preview or in a PDF file.
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "core/data/clock.h"
#include "core/payroll/generation.h"
#include "core/payroll/periods.h"
#include "core/reports/payslip.h"
#include "core/reports/rvengine.h"
#include "gui/payroll/salarydata.h"
#include "gui/reports/mypreview.h"
#include "gui/reports/myrpsetup.h"
#include "gui/reports/rvrender.h"
#include "support/windowfixture.h"

using namespace hx;
using hxtest::whenShown;

namespace {

const SheetBatch may8{2024, 5, 8};
constexpr int batchWorkers = 23;

QString workerCode(int i) {
    return QStringLiteral("W%1").arg(i + 1, 3, 10, QLatin1Char('0'));
}

}  // namespace

class TestSlipJourney : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::WindowFixture> f;
    QPointer<TsalaryDataFrm> w;

    // May 2024 with the base items; 23 workers of pay day 8 and two of pay day 20, whose slips belong to
    // another batch.
    void prepare() {
        f->copyBaseMonth(2024, 5);
        const qint64 job = f->addProcess("J1", {{"UnitPrice", 1.5}});
        for (int i = 0; i < batchWorkers + 2; ++i) {
            const qint64 id = f->addWorker(workerCode(i), QStringLiteral("工人%1").arg(i + 1),
                                           {{"salaryDay", i < batchWorkers ? 8 : 20}, {"A02", 0}});
            f->addPieceRecord(QDate(2024, 5, 10), id, job, 100 * (i + 1));
        }
        generateSalarySheet(f->cn(), may8, QDate(2024, 5, 1), QDate(2024, 5, 31));
        generateSalarySheet(f->cn(), {2024, 5, 20}, QDate(2024, 5, 1), QDate(2024, 5, 31));
        // The program's slip project, as the build puts it beside the program.
        QFile rav(f->dir.file(QStringLiteral("rptBar.rav")));
        QVERIFY(rav.open(QIODevice::WriteOnly));
        rav.write(defaultReportProject().toUtf8());
    }
    // The pages the batch's slips take: as many slips to a page as the month's slip layout lets fit.
    int expectedPages() {
        auto project = parseReportProject(defaultReportProject());
        layoutPaySlip(*project, readSlipLayoutData(dataFrm()->tdTempFill, may8.year, may8.month));
        const TRavePage& page = *project->findPage(QStringLiteral("report1.page1"));
        const int perPage = int(page.printableHeight() / layoutBand(page).height + 1e-9);
        return (batchWorkers + perPage - 1) / perPage;
    }
    void pressPrintSlips() { QTest::mouseClick(w->btnPrintBar, Qt::LeftButton); }

  private slots:
    void init() {
        setToday(QDate(2024, 6, 12));
        f = std::make_unique<hxtest::WindowFixture>();
        prepare();
        w = f->openWindow<TsalaryDataFrm>(may8);
        QVERIFY(w);
    }
    void cleanup() { HX_FINISH_FIXTURE(f); }

    void previewShowsAPageForEverySlipsWorthAndClosesWithEscape() {
        const int pages = expectedPages();
        QVERIFY(pages > 1);  // the batch fills more than one page
        bool setupSeen = false, previewSeen = false;
        whenShown<TmyRpSetupFrm>([&](TmyRpSetupFrm* setup) {
            setupSeen = true;
            QVERIFY(setup->PreviewRB->isChecked());
            hxtest::key(Qt::Key_Return);
        });
        // The preview comes after the setup: looked for once the setup has been answered.
        QTimer::singleShot(0, [&] {
            whenShown<TmyPreviewFrm>([&](TmyPreviewFrm* preview) {
                previewSeen = true;
                QCOMPARE(preview->RvRenderPreview->Pages(), pages);
                QCOMPARE(preview->RvRenderPreview->CurrentPage(), 1);
                // At page width: the right-hand columns are in the window.
                QCOMPARE(preview->ScrollBox1->horizontalScrollBar()->maximum(), 0);
                hxtest::key(Qt::Key_End);                       // the bottom of the first page
                hxtest::key(Qt::Key_End, Qt::ControlModifier);  // 尾页
                QCOMPARE(preview->RvRenderPreview->CurrentPage(), pages);
                QCOMPARE(preview->ScrollBox1->verticalScrollBar()->value(), 0);  // its slips, not blank paper
                hxtest::key(Qt::Key_Escape);
                QVERIFY(!preview->isVisible());
            });
        });
        // The timers wait for the windows while the click runs the report.
        w->btnPrintBar->setFocus();
        QTRY_VERIFY(w->btnPrintBar->hasFocus());
        hxtest::key(Qt::Key_Space);
        QVERIFY(setupSeen);
        QVERIFY(previewSeen);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(w->findChildren<TmyPreviewFrm*>().isEmpty());  // freed with the run
    }

    void aBatchWithoutWorkersSaysSoAndPrintsNothing() {
        // Pay day 15: nobody is paid then.
        w->cbbDay->setFocus();
        QTRY_VERIFY(w->cbbDay->hasFocus());
        for (int day = 8; day < 15; ++day) hxtest::key(Qt::Key_Down);
        QCOMPARE(w->loadedBatch().day, 15);
        QCOMPARE(w->tdMain->recordCount(), 0);
        // Neither the setup nor a preview of a blank page.
        QVERIFY(!hxtest::opensAModalWindow([this] { pressPrintSlips(); }));
        QCOMPARE(f->dialogs.lastKind(), QStringLiteral("information"));
        QCOMPARE(f->dialogs.lastText(), QStringLiteral("没有可打印的工资条"));
        QVERIFY(w->findChildren<TmyRpSetupFrm*>().isEmpty());
    }

    void aPdfFileHoldsTheSlipsOfTheBatch() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed (scripts/setup.sh installs poppler-utils)");
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("五月工资条.pdf"));
        hxtest::printSlipsToFile(w->btnPrintBar, pdf);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(w->findChildren<TmyPreviewFrm*>().isEmpty());  // no preview for a file
        QVERIFY(QFile::exists(pdf));
        const QString text = hxtest::pdfText(pdf);
        QVERIFY(!text.isNull());  // a PDF, not a snapshot under a PDF name
        QCOMPARE(text.count(QLatin1Char('\f')), expectedPages());
        QCOMPARE(text.count(QStringLiteral("工资条")), batchWorkers);
        QVERIFY(text.contains(QStringLiteral("2024年5月")));
        for (int i = 0; i < batchWorkers; ++i)
            QVERIFY2(text.contains(workerCode(i)), qPrintable(workerCode(i)));
        // The workers of pay day 20 are in another batch.
        for (int i = batchWorkers; i < batchWorkers + 2; ++i) QVERIFY(!text.contains(workerCode(i)));
    }
};

HX_BOTH_ENGINES;
HX_WINDOW_TEST_MAIN(TestSlipJourney)
#include "tst_slipjourney.moc"
