// 打印菲票 as the production clerk uses it: the output setup answered by keys, the tickets in the preview
// or in a PDF file that a reader decodes; bundles that cannot have tickets are told and nothing opens.
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include "core/production/production.h"
#include "gui/production/ticketreport.h"
#include "gui/reports/mypreview.h"
#include "gui/reports/myrpsetup.h"
#include "gui/reports/rvrender.h"
#include "support/windowfixture.h"

using namespace hx;
using namespace Qt::StringLiterals;
using hxtest::whenShown;

class TestTicketPrint : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::WindowFixture> f;
    QPointer<QWidget> w;
    QPushButton* button = nullptr;
    std::vector<qint64> bundles;  // of PO-1: five bundles of style T20, 20 processes
    std::vector<qint64> chosen;

    QSet<QString> codes(const QString& where) {
        QSet<QString> found;
        PreparedStatement q(f->cn(), "select code from bundleTicket where " + where);
        while (q.next()) found << q.text(0);
        return found;
    }
    QSet<QString> decoded(const QString& pdf) {
        QSet<QString> found;
        for (const QStringList& page : hxtest::readQrCodes(pdf))
            for (const QString& code : page) found << code;
        return found;
    }
  private slots:
    void init() {
        f = std::make_unique<hxtest::WindowFixture>();
        for (int i = 1; i <= 20; ++i)
            f->addProcess(u"J%1"_s.arg(i),
                          {{"StyleGroup", "T20"}, {"Description", u"工序%1"_s.arg(i)}, {"UnitPrice", 0.5}});
        for (const Bundle& b : generateBundles(f->cn(), addOrder(f->cn(), "PO-1", "T20", QDate(2026, 12, 8)),
                                               {{"红", "M", 150}}, 30))
            bundles.push_back(b.id);
        // The window the 打印菲票 button of the order window stands for.
        w = f->openWindow<QWidget>();
        QVERIFY(w);
        button = new QPushButton(u"打印菲票"_s, w);
        (new QVBoxLayout(w))->addWidget(button);
        button->show();
        QObject::connect(button, &QPushButton::clicked, w,
                         [this] { printBundleTickets(w, f->cn(), chosen); });
    }
    void cleanup() {
        bundles.clear();
        chosen.clear();
        HX_FINISH_FIXTURE(f);
    }

    // Four of the five bundles in the preview, paged through and closed; printed again, to a PDF file by
    // keys, every ticket keeps its code, and a reader decodes them all. The fifth bundle has no tickets.
    void thePreviewShowsTheTicketsAndPrintingAgainKeepsTheCodes() {
        chosen.assign(bundles.begin(), bundles.begin() + 4);
        bool previewSeen = false;
        whenShown<TmyRpSetupFrm>([](TmyRpSetupFrm* setup) {
            QVERIFY(setup->PreviewRB->isChecked());
            hxtest::key(Qt::Key_Return);
        });
        QTimer::singleShot(0, [&] {
            whenShown<TmyPreviewFrm>([&](TmyPreviewFrm* preview) {
                previewSeen = true;
                QCOMPARE(preview->windowTitle(), u"菲票预览"_s);
                QCOMPARE(preview->RvRenderPreview->Pages(), 2);
                hxtest::key(Qt::Key_End, Qt::ControlModifier);  // 尾页
                QCOMPARE(preview->RvRenderPreview->CurrentPage(), 2);
                QCOMPARE(pageQrCodes(*preview->RvRenderPreview->Stream(), 1).size(), 20);
                hxtest::key(Qt::Key_Escape);
            });
        });
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(previewSeen);
        QVERIFY(!QApplication::activeModalWidget());
        const QSet<QString> made = codes("1=1");
        QCOMPARE(made.size(), 80);
        QCOMPARE(hxtest::rowCount(f->cn(), "bundleTicket", "bundleID = " + QString::number(bundles[4])), 0);

        const QString missing = hxtest::missingPageReaders();
        if (!missing.isEmpty()) QSKIP(qPrintable(missing));
        QTemporaryDir dir;
        const QString pdf = dir.filePath(u"again.pdf"_s);
        hxtest::printSlipsToFile(button, pdf);
        QVERIFY(w->findChildren<TmyPreviewFrm*>().isEmpty());
        QCOMPARE(hxtest::pdfText(pdf).count(u"生产单 PO-1"_s), 4);
        QCOMPARE(codes("1=1"), made);
        QCOMPARE(decoded(pdf), made);
    }

    // Nothing chosen, or a bundle of an order whose style has no process: told, no window opens, nothing
    // is made; the setup dialog closed with Escape outputs nothing.
    void whatCannotBePrintedIsTold() {
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(f->dialogs.lastKind(), u"information"_s);
        QCOMPARE(f->dialogs.lastText(), u"请先选择要打印菲票的扎。"_s);

        const qint64 other = addOrder(f->cn(), "PO-2", "无此款", QDate(2026, 12, 8));
        chosen = {bundles[0], generateBundles(f->cn(), other, {{"白", "S", 10}}, 10)[0].id};
        QVERIFY(!hxtest::opensAModalWindow([this] { QTest::mouseClick(button, Qt::LeftButton); }));
        QCOMPARE(f->dialogs.lastKind(), u"error"_s);
        QCOMPARE(f->dialogs.lastText(),
                 u"款式“无此款”没有在产的工序，不能打印菲票。请先在工序表中录入该款式的工序。"_s);
        QCOMPARE(hxtest::rowCount(f->cn(), "bundleTicket"), 0);

        chosen = {bundles[0]};
        whenShown<TmyRpSetupFrm>([](TmyRpSetupFrm*) { hxtest::key(Qt::Key_Escape); });
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(w->findChildren<TmyPreviewFrm*>().isEmpty());
    }
};

HX_BOTH_ENGINES;
HX_WINDOW_TEST_MAIN(TestTicketPrint)
#include "tst_ticketprint.moc"
