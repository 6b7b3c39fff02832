// The report windows as a user drives them: the preview's keys and commands, the output setup dialog, and
// the status window's Cancel.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include "core/data/dataset.h"
#include "core/payroll/formula.h"
#include "core/reports/payslip.h"
#include "core/reports/rvsystem.h"
#include "gui/reports/mypreview.h"
#include "gui/reports/myrpsetup.h"
#include "gui/reports/myrpstatus.h"
#include "gui/reports/rvrender.h"
#include "gui/widgets/dialogs.h"
#include "support/testsupport.h"

using namespace hx;
using hxtest::key;
using hxtest::type;

namespace {

struct Slips {
    DataSet ds;
    TRvDataSetConnection rows;
    std::unique_ptr<TRaveProjectManager> project;
    explicit Slips(int n) {
        ds.defineFields({{QStringLiteral("staffCode"), FieldType::Text},
                         {QStringLiteral("staffName"), FieldType::Text},
                         {QStringLiteral("A01"), FieldType::Money}});
        std::vector<QVector<QVariant>> data;
        for (int i = 0; i < n; ++i)
            data.push_back({QStringLiteral("W%1").arg(i + 1), QStringLiteral("工人"), 100 + i});
        ds.openWithRows(data);
        rows.dataSet = &ds;
        project = parseReportProject(defaultReportProject());
        SlipLayoutData d{15, 20, {{QStringLiteral("A01"), QStringLiteral("计件工资"), 20}}};
        layoutPaySlip(*project, d);
    }
    const TRavePage& page() const { return *project->findPage(QStringLiteral("report1.page1")); }
    Snapshot snapshot() const { return *generateReport(page(), rows); }
};

// The printers the windows see, for the life of the object.
struct Printers {
    explicit Printers(QVector<InstalledPrinter> list) {
        setInstalledPrinters([list] { return list; });
    }
    ~Printers() { setInstalledPrinters({}); }
};

}  // namespace

class TestReportWindows : public QObject {
    Q_OBJECT
    hxtest::ScriptedDialogs* dialogs = nullptr;

  private slots:
    void init() { dialogs = new hxtest::ScriptedDialogs; }
    void cleanup() {
        HX_VERIFY_DIALOGS(*dialogs);
        delete dialogs;
    }

    void previewZoomBoxAndKeys() {
        Slips slips(30);  // 4 pages of 9
        const Snapshot s = slips.snapshot();
        TmyPreviewFrm preview;
        preview.InputStream = &s;
        preview.InitFromRPSystem();
        QVERIFY(hxtest::showActive(&preview));
        // The page opens as wide as the window: the whole width is seen, down the page it scrolls.
        QScrollBar* vertical = preview.ScrollBox1->verticalScrollBar();
        QCOMPARE(preview.RvRenderPreview->ZoomFactor(), preview.RvRenderPreview->ZoomPageWidthFactor());
        QVERIFY(preview.RvRenderPreview->ZoomFactor() < 100);
        QCOMPARE(preview.ZoomEdit->text(), QString::number(preview.RvRenderPreview->ZoomFactor(), 'f', 1));
        QCOMPARE(preview.ScrollBox1->horizontalScrollBar()->maximum(), 0);
        QVERIFY(vertical->maximum() > 0);
        QCOMPARE(preview.PageLabel->text(), QStringLiteral("之 4"));
        QCOMPARE(preview.sbarMain->currentMessage(), QStringLiteral("页 1 之 4"));
        QVERIFY(!preview.actnPage_First->isEnabled());
        QVERIFY(preview.actnPage_Next->isEnabled());

        preview.ZoomEdit->setFocus();
        hxtest::settle();
        auto typeZoom = [&](const QString& text) {
            preview.ZoomEdit->selectAll();
            type(text);
            key(Qt::Key_Return);
            return preview.ZoomEdit->text();
        };
        QCOMPARE(typeZoom(QStringLiteral("250")), QStringLiteral("200.0"));
        QCOMPARE(preview.RvRenderPreview->ZoomFactor(), 200.0);
        QCOMPARE(typeZoom(QStringLiteral("5")), QStringLiteral("10.0"));
        QCOMPARE(typeZoom(QStringLiteral("87.5")), QStringLiteral("87.5"));
        // One digit after the point at most, wherever the caret stands.
        preview.ZoomEdit->deselect();
        preview.ZoomEdit->setCursorPosition(0);
        type(QStringLiteral("1"));
        QCOMPARE(preview.ZoomEdit->text(), QStringLiteral("87.5"));
        // End belongs to the window (it scrolls the page): the caret is put at the end as a click would.
        preview.ZoomEdit->setCursorPosition(4);
        key(Qt::Key_Backspace);
        type(QStringLiteral("2"));
        QCOMPARE(preview.ZoomEdit->text(), QStringLiteral("87.2"));

        // Keys of the window, seen before the box. A page turned to is shown from its top.
        key(Qt::Key_End);
        QVERIFY(vertical->value() > 0);
        type(QStringLiteral("n"));
        QCOMPARE(preview.RvRenderPreview->CurrentPage(), 2);
        QCOMPARE(preview.PageEdit->text(), QStringLiteral("2"));
        QCOMPARE(vertical->value(), 0);
        key(Qt::Key_End);
        type(QStringLiteral("e"));
        QCOMPARE(preview.RvRenderPreview->CurrentPage(), 4);
        QCOMPARE(vertical->value(), 0);
        QVERIFY(!preview.actnPage_Next->isEnabled());
        type(QStringLiteral("n"));
        QCOMPARE(preview.RvRenderPreview->CurrentPage(), 4);
        type(QStringLiteral("p"));
        QCOMPARE(preview.RvRenderPreview->CurrentPage(), 3);
        key(Qt::Key_End);
        key(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(preview.RvRenderPreview->CurrentPage(), 1);
        QCOMPARE(vertical->value(), 0);
        key(Qt::Key_End);
        key(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(preview.RvRenderPreview->CurrentPage(), 4);
        QCOMPARE(vertical->value(), 0);
        // Up at the top of a page goes on at the bottom of the one before.
        key(Qt::Key_Up);
        QCOMPARE(preview.RvRenderPreview->CurrentPage(), 3);
        QCOMPARE(vertical->value(), vertical->maximum());
        const double zoom = preview.RvRenderPreview->ZoomFactor();
        type(QStringLiteral("+"));
        QCOMPARE(preview.RvRenderPreview->ZoomFactor(), zoom + 10);

        // Go to page: 0 shows page 1, beyond the end the last page, a word changes nothing.
        dialogs->input(QStringLiteral("0"));
        key(Qt::Key_G, Qt::ControlModifier);
        QCOMPARE(preview.RvRenderPreview->CurrentPage(), 1);
        QCOMPARE(dialogs->shown.last().title, QStringLiteral("Go to Page"));
        dialogs->input(QStringLiteral("99"));
        key(Qt::Key_G, Qt::ControlModifier);
        QCOMPARE(preview.RvRenderPreview->CurrentPage(), 4);
        dialogs->input(QStringLiteral("abc"));
        key(Qt::Key_G, Qt::ControlModifier);
        QCOMPARE(preview.RvRenderPreview->CurrentPage(), 4);

        // The page box refuses ".", takes a number on Enter.
        preview.PageEdit->setFocus();
        preview.PageEdit->selectAll();
        type(QStringLiteral("2.5"));
        QCOMPARE(preview.PageEdit->text(), QStringLiteral("25"));
        key(Qt::Key_Return);
        QCOMPARE(preview.RvRenderPreview->CurrentPage(), 4);

        // "X" is discarded; "x" closes.
        type(QStringLiteral("X"));
        QVERIFY(preview.isVisible());
        type(QStringLiteral("x"));
        QVERIFY(!preview.isVisible());
        QVERIFY(preview.FormClosed);
    }

    void previewOfOnePageAndEscape() {
        Slips slips(2);
        const Snapshot s = slips.snapshot();
        TmyPreviewFrm preview;
        preview.InputStream = &s;
        preview.InitFromRPSystem();
        QVERIFY(hxtest::showActive(&preview));
        preview.ScrollBox1->setFocus();
        for (QAction* a : {preview.actnPage_First, preview.actnPage_Previous, preview.actnPage_Next,
                           preview.actnPage_Last})
            QVERIFY(!a->isEnabled());
        type(QStringLiteral("n"));
        type(QStringLiteral("p"));
        QCOMPARE(preview.RvRenderPreview->CurrentPage(), 1);
        key(Qt::Key_PageDown);
        key(Qt::Key_PageDown);
        key(Qt::Key_PageDown);
        QCOMPARE(preview.ScrollBox1->verticalScrollBar()->value(),
                 preview.ScrollBox1->verticalScrollBar()->maximum());
        QCOMPARE(preview.RvRenderPreview->CurrentPage(), 1);
        key(Qt::Key_Escape);
        QVERIFY(!preview.isVisible());
    }

    void previewSavesAndOpensTheSamePages() {
        Slips slips(12);
        const Snapshot s = slips.snapshot();
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("九月"));
        TmyPreviewFrm preview;
        preview.InputStream = &s;
        preview.InitFromRPSystem();
        QVERIFY(hxtest::showActive(&preview));
        dialogs->chooseFile(file);
        key(Qt::Key_S, Qt::ControlModifier);
        QVERIFY(QFile::exists(file + QStringLiteral(".ndr")));
        // The file dialog names each type with its pattern once.
        QCOMPARE(dialogs->lastKind(), QStringLiteral("saveFile"));
        QCOMPARE(qtFileFilter(dialogs->lastText()),
                 QStringLiteral("Rave Snapshot Files (*.ndr);;PDF 文件 (*.pdf)"));
        QCOMPARE(qtFileFilter(QStringLiteral("电子表格|*.xls;*.xlsx")),
                 QStringLiteral("电子表格 (*.xls *.xlsx)"));

        // Something that is not a snapshot: a message, and the report shown stays.
        QFile junk(dir.filePath(QStringLiteral("junk.ndr")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a report");
        junk.close();
        dialogs->chooseFile(junk.fileName());
        key(Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("error"));
        QVERIFY(dialogs->lastText().contains(QStringLiteral("不是本系统的报表快照")));
        QCOMPARE(preview.RvRenderPreview->Pages(), 2);

        TmyPreviewFrm again;
        QVERIFY(hxtest::showActive(&again));
        dialogs->chooseFile(file + QStringLiteral(".ndr"));
        key(Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(again.windowTitle(), applicationTitle() + QStringLiteral(" - [ 九月.ndr ]"));
        QCOMPARE(again.RvRenderPreview->Pages(), 2);
        for (int p = 0; p < 2; ++p)
            QCOMPARE(renderPageImage(*again.RvRenderPreview->Stream(), p, 600), renderPageImage(s, p, 600));

        // Printing from the preview with the printer output into a file: the range dialog comes first.
        TRvSystem system;
        again.ReportSystem = &system;
        const QString pdf = dir.filePath(QStringLiteral("printed.pdf"));
        again.RvRenderPrinter.OutputFileName = pdf;
        QTimer::singleShot(0, [&] {
            auto* setup = again.findChild<TmyRpSetupFrm*>();
            QVERIFY(setup);
            QCOMPARE(setup->FromED->text(), QStringLiteral("1"));
            QCOMPARE(setup->ToED->text(), QStringLiteral("2"));
            QCOMPARE(setup->SelectionED->text(), QStringLiteral("1-2"));
            setup->PagesRB->click();
            setup->FromED->setText(QStringLiteral("2"));
            setup->bbtnOK->click();
        });
        key(Qt::Key_P, Qt::ControlModifier);
        QVERIFY(QFile::exists(pdf));
        QCOMPARE(again.RvRenderPrinter.FirstPage, 2);
    }

    void setupDialogWithAPrinter() {
        Printers printers({{QStringLiteral("HP LaserJet"), QStringLiteral("LPT1:")}});
        TRvSystem system;
        auto run = [&](std::function<void(TmyRpSetupFrm&)> act) {
            TmyRpSetupFrm setup;
            setup.ReportSystem = &system;
            QTimer::singleShot(0, [&] {
                QVERIFY(setup.isVisible());
                act(setup);
                setup.CancelBB->click();
            });
            setup.exec();
        };
        auto copyOptions = [](TmyRpSetupFrm& d) {
            return QVector<bool>{d.CopiesED->isEnabled(), d.CollateCK->isEnabled(), d.DuplexCK->isEnabled()};
        };
        const QVector<bool> none{false, false, false}, all{true, true, true};
        // The preview is the default destination: the copies are not asked for until the printer is chosen.
        run([&](TmyRpSetupFrm& d) {
            QCOMPARE(d.PrinterLabel->text(), QStringLiteral("HP LaserJet on LPT1:"));
            QVERIFY(d.PreviewRB->isChecked());
            QCOMPARE(copyOptions(d), none);
            QVERIFY(d.SetupBB->isEnabled());
            d.PrinterRB->click();
            QCOMPARE(copyOptions(d), all);
            d.PreviewRB->click();
            QCOMPARE(copyOptions(d), none);

            // The texts of the format box and a usual path in the file box are seen whole.
            d.FileRB->click();
            QStyleOptionComboBox combo;
            combo.initFrom(d.cboxFormat);
            const int comboRoom =
                d.style()
                    ->subControlRect(QStyle::CC_ComboBox, &combo, QStyle::SC_ComboBoxEditField, d.cboxFormat)
                    .width();
            for (int i = 0; i < d.cboxFormat->count(); ++i)
                QVERIFY2(
                    d.cboxFormat->fontMetrics().horizontalAdvance(d.cboxFormat->itemText(i)) <= comboRoom,
                    qPrintable(d.cboxFormat->itemText(i)));
            const QString path = QStringLiteral("/home/kuaiji/工资条/2026年9月工资条.pdf");
            QVERIFY(d.editFileName->fontMetrics().horizontalAdvance(path) + 8 <= d.editFileName->width());
        });
        // The printer as the default, with a report system that does not let duplex be set.
        system.DefaultDest = rdPrinter;
        system.SystemSetups = ssAllSetups & ~ssAllowDuplex;
        run([&](TmyRpSetupFrm& d) {
            QVERIFY(d.PrinterRB->isChecked());
            QCOMPARE(copyOptions(d), (QVector<bool>{true, true, false}));
            d.PreviewRB->click();
            d.PrinterRB->click();
            QCOMPARE(copyOptions(d), (QVector<bool>{true, true, false}));
        });
        // Printing from the preview asks for the copies.
        system.SystemSetups = ssAllSetups;
        system.DefaultDest = rdPreview;
        run([&](TmyRpSetupFrm& d) { QCOMPARE(copyOptions(d), none); });
        TRvRenderPrinter renderer;
        TmyRpSetupFrm fromPreview;
        fromPreview.ReportSystem = &system;
        fromPreview.PreviewSetup = true;
        fromPreview.FilePrinter = &renderer;
        QTimer::singleShot(0, [&] {
            QCOMPARE(copyOptions(fromPreview), all);
            fromPreview.CancelBB->click();
        });
        fromPreview.exec();
    }

    void setupDialogWithoutAPrinter() {
        Printers printers({});
        TRvSystem system;
        auto run = [&](std::function<void(TmyRpSetupFrm&)> act) {
            TmyRpSetupFrm setup;
            setup.ReportSystem = &system;
            QTimer::singleShot(0, [&] {
                QVERIFY(setup.isVisible());
                act(setup);
            });
            return setup.exec();
        };
        run([&](TmyRpSetupFrm& d) {
            QCOMPARE(d.PrinterLabel->text(), QStringLiteral("系统没有安装打印机!"));
            QVERIFY(!d.PrinterRB->isEnabled());
            QVERIFY(d.PreviewRB->isChecked());
            QVERIFY(!d.CopiesED->isEnabled());
            QVERIFY(!d.CollateCK->isEnabled());
            QVERIFY(!d.DuplexCK->isEnabled());
            QVERIFY(!d.SetupBB->isEnabled());
            QCOMPARE(d.cboxFormat->count(), 3);
            QCOMPARE(d.cboxFormat->itemText(2), QStringLiteral("PDF 文件 (*.pdf)"));
            d.bbtnOK->click();
        });
        QCOMPARE(system.ReportDest, rdPreview);

        auto toFile = [&](const QString& name, int format) {
            run([&](TmyRpSetupFrm& d) {
                d.FileRB->click();
                QVERIFY(!d.bbtnOK->isEnabled());
                d.activateWindow();
                d.editFileName->setFocus();
                QTRY_COMPARE(QApplication::focusWidget(), d.editFileName);
                type(QStringLiteral("   "));
                QVERIFY(!d.bbtnOK->isEnabled());
                d.editFileName->clear();
                type(name);
                QVERIFY(d.bbtnOK->isEnabled());
                d.cboxFormat->setCurrentIndex(format);
                emit d.cboxFormat->activated(format);
                QCOMPARE(d.saveFilterIndex, format + 1);
                d.bbtnOK->click();
            });
            return system.OutputFileName;
        };
        QCOMPARE(toFile(QStringLiteral("slips"), 0), QStringLiteral("slips.ndr"));
        QCOMPARE(system.ReportDest, rdFile);
        QVERIFY(!system.DoNativeOutput);
        QCOMPARE(toFile(QStringLiteral("slips"), 1), QStringLiteral("slips.prn"));
        QVERIFY(system.DoNativeOutput);
        QCOMPARE(toFile(QStringLiteral("slips"), 2), QStringLiteral("slips.pdf"));
        QVERIFY(system.RenderObject);
        QCOMPARE(toFile(QStringLiteral("out.d/slips"), 0), QStringLiteral("out.d/slips"));

        // The browse button: a PRN name switches the format.
        dialogs->chooseFile(QStringLiteral("/tmp/x.prn"));
        run([&](TmyRpSetupFrm& d) {
            d.FileRB->click();
            d.FileNameSB->click();
            QCOMPARE(d.cboxFormat->currentIndex(), 1);
            QCOMPARE(d.editFileName->text(), QStringLiteral("/tmp/x.prn"));
            d.CancelBB->click();
        });
    }

    void cancelInTheStatusWindowOutputsNothing() {
        Slips slips(60);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("never.ndr"));
        TRvSystem system;
        system.DataConnection = &slips.rows;
        int setups = 0;
        system.OverrideSetup = [&](TRvSystem& s, TOverrideMode mode, QObject*&) {
            if (mode != omShow) return;
            ++setups;
            s.ReportDest = rdFile;
            s.OutputFileName = out;
        };
        TmyRpStatusFrm* window = nullptr;
        QStringList progress;
        system.OverrideStatus = [&](TRvSystem& s, TOverrideMode mode, QObject*& form) {
            if (mode == omCreate) {
                window = new TmyRpStatusFrm;
                window->ReportSystem = &s;
                form = window;
            } else if (mode == omShow) {
                s.StatusLabel = [&](const QString& text) {
                    window->StatusLabel->setText(text);
                    progress << text;
                    // The user presses Cancel while the third page is made.
                    if (progress.size() == 2) QTest::mouseClick(window->CancelButton, Qt::LeftButton);
                };
                window->show();
            } else if (mode == omFree) {
                delete form;
                form = nullptr;
                window = nullptr;
            }
        };
        QVERIFY(!system.execute(slips.page()));
        QCOMPARE(setups, 1);
        QCOMPARE(progress,
                 (QStringList{QStringLiteral("Generating page 1"), QStringLiteral("Generating page 2")}));
        QVERIFY(!window);
        QVERIFY(!QFile::exists(out));

        // Without a Cancel the same run writes the snapshot.
        progress.clear();
        system.OverrideStatus = nullptr;
        QVERIFY(system.execute(slips.page()));
        QVERIFY(QFile::exists(out));
    }
};

HX_WINDOW_TEST_MAIN(TestReportWindows)
#include "tst_reportwindows.moc"
