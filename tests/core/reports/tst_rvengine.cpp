// The report engine: slips on pages, the snapshot stream, and what renderers make of it.
#include <QBuffer>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "core/data/dataset.h"
#include "core/payroll/formula.h"
#include "core/production/qrcode.h"
#include "core/reports/payslip.h"
#include "core/reports/rvengine.h"
#include "core/reports/rvsystem.h"

using namespace hx;

namespace {

// A sheet of n workers, as the salary sheet shows it: amounts with two decimals.
struct Sheet {
    DataSet ds;
    explicit Sheet(int n) {
        QVector<Field> fields{{QStringLiteral("staffCode"), FieldType::Text},
                              {QStringLiteral("staffName"), FieldType::Text}};
        for (const QString& code : salaryItemCodes())
            fields << Field(code, code.startsWith(QLatin1Char('T')) ? FieldType::Text : FieldType::Money);
        ds.defineFields(fields);
        std::vector<QVector<QVariant>> rows;
        for (int i = 0; i < n; ++i) {
            QVector<QVariant> row{QStringLiteral("W%1").arg(i + 1, 4, 10, QLatin1Char('0')),
                                  QStringLiteral("工人%1").arg(i + 1)};
            for (int k = 0; k < salaryItemCodes().size(); ++k)
                row << (salaryItemCodes()[k].startsWith(QLatin1Char('T'))
                            ? QVariant(QStringLiteral("备注%1").arg(i + 1))
                            : QVariant(1000.5 + i + k / 100.0));
            rows.push_back(row);
        }
        ds.openWithRows(rows);
        for (const QString& code : salaryItemCodes())
            if (!code.startsWith(QLatin1Char('T'))) ds.field(code).displayFormat = QStringLiteral("0.00");
    }
};

// The default slip with code, name, A01 (30 mm), a hidden A02 and C01 (20 mm).
std::unique_ptr<TRaveProjectManager> slipProject() {
    auto pm = parseReportProject(defaultReportProject());
    SlipLayoutData d;
    d.wCode = 18;
    d.wName = 22;
    d.items = {{QStringLiteral("A01"), QStringLiteral("计件工资"), 30},
               {QStringLiteral("A02"), QStringLiteral("隐藏项"), 0},
               {QStringLiteral("C01"), QStringLiteral("实发工资"), 20}};
    layoutPaySlip(*pm, d);
    return pm;
}

Snapshot generate(const TRavePage& page, Sheet& sheet) {
    TRvDataSetConnection rows;
    rows.dataSet = &sheet.ds;
    GenerateOptions options;
    options.parameters = paySlipParameters(2026, 9, 1);
    auto s = generateReport(page, rows, options);
    if (!s) qFatal("generation stopped");
    return *s;
}

int slipsPerPage(const TRavePage& page) {
    return int((page.printableHeight()) / layoutBand(page).height + 1e-9);
}

}  // namespace

class TestRvEngine : public QObject {
    Q_OBJECT
  private slots:
    void pagesHoldAsManySlipsAsFit() {
        auto pm = slipProject();
        const TRavePage& page = *pm->findPage(QStringLiteral("report1.page1"));
        const int perPage = slipsPerPage(page);
        QCOMPARE(perPage, 9);  // 30 mm slips on 279 mm of A4
        for (auto [rows, pages] : {std::pair{1, 1}, {perPage, 1}, {perPage + 1, 2}, {3 * perPage, 3}}) {
            Sheet sheet(rows);
            QCOMPARE(generate(page, sheet).pageCount(), pages);
        }
        // A slip per row: the second page of perPage + 1 rows holds one slip, drawn in its top part only.
        Sheet sheet(perPage + 1);
        const Snapshot s = generate(page, sheet);
        const QImage second = renderPageImage(s, 1, 400);
        int lowestInk = 0;
        for (int y = 0; y < second.height(); ++y)
            for (int x = 0; x < second.width(); ++x)
                if (qGray(second.pixel(x, y)) < 128) lowestInk = y;
        const double slipPixels = layoutBand(page).height / page.pageSize().height() * second.height();
        QVERIFY(lowestInk > 0);
        QVERIFY2(lowestInk < (page.MarginTop / page.pageSize().height()) * second.height() + slipPixels + 2,
                 qPrintable(QString::number(lowestInk)));
    }

    void generationReportsProgressAndStops() {
        auto pm = slipProject();
        const TRavePage& page = *pm->findPage(QStringLiteral("report1.page1"));
        Sheet sheet(40);
        TRvDataSetConnection rows;
        rows.dataSet = &sheet.ds;
        QVector<int> seen;
        GenerateOptions options;
        options.progress = [&](int p) {
            seen << p;
            return p < 2;
        };
        QVERIFY(!generateReport(page, rows, options));
        QCOMPARE(seen, (QVector<int>{1, 2}));
    }

    void snapshotRoundTripIsPixelIdentical() {
        auto pm = slipProject();
        Sheet sheet(12);
        const Snapshot s = generate(*pm->findPage(QStringLiteral("report1.page1")), sheet);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("slips.ndr"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            writeSnapshot(s, f);
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const Snapshot back = readSnapshot(f);
        QCOMPARE(back.pageCount(), 2);
        QCOMPARE(back.pageSize, s.pageSize);
        for (int p = 0; p < 2; ++p) {
            const QImage a = renderPageImage(s, p, 827), b = renderPageImage(back, p, 827);
            QCOMPARE(a, b);
            QVERIFY(a != QImage(a.size(), a.format()));
        }
        // Another report gives other pixels: the comparison sees a difference.
        Sheet other(3);
        const Snapshot t = generate(*pm->findPage(QStringLiteral("report1.page1")), other);
        QVERIFY(renderPageImage(t, 0, 827) != renderPageImage(s, 0, 827));
    }

    void foreignOrDamagedSnapshotsAreRefused() {
        auto pm = slipProject();
        Sheet sheet(3);
        const QByteArray good =
            snapshotBytes(generate(*pm->findPage(QStringLiteral("report1.page1")), sheet));
        QCOMPARE(snapshotFromBytes(good).pageCount(), 1);
        auto refused = [](const QByteArray& bytes) {
            try {
                snapshotFromBytes(bytes);
                return QString();
            } catch (const ReportError& e) {
                return e.text();
            }
        };
        QVERIFY(refused(QByteArray()).contains(QStringLiteral("不是本系统的报表快照")));
        QVERIFY(refused("%PDF-1.4 something else").contains(QStringLiteral("不是本系统的报表快照")));
        for (qsizetype cut : {qsizetype(9), qsizetype(20), good.size() / 2, good.size() - 1})
            QVERIFY2(refused(good.left(cut)).contains(QStringLiteral("损坏")),
                     qPrintable(QString::number(cut)));
        QByteArray newer = good;
        newer[11] = 9;  // the version, big-endian after the 8 magic bytes
        QVERIFY(refused(newer).contains(QStringLiteral("版本")));
        // A page whose text names a font the snapshot does not have, or whose record is cut short.
        Snapshot bad;
        bad.pageSize = QSizeF(8.27, 11.69);
        bad.fonts << SnapshotFont{QStringLiteral("WenQuanYi Micro Hei"), 75, false};
        const char text[] = {'T', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 'A', 0};
        bad.pages << QByteArray(text, sizeof text);
        QVERIFY(refused(snapshotBytes(bad)).contains(QStringLiteral("损坏")));
        bad.pages[0][1] = 0;  // font 0: sound
        QCOMPARE(snapshotFromBytes(snapshotBytes(bad)).pageCount(), 1);
        bad.pages[0].chop(1);
        QVERIFY(refused(snapshotBytes(bad)).contains(QStringLiteral("损坏")));
        QByteArray huge = good;
        huge[11 + 16 + 1] = 0x7f;  // the page count
        QVERIFY(!refused(huge).isEmpty());
    }

    void pdfHoldsTheSlipsAsText() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext is not installed (scripts/setup.sh installs poppler-utils)");
        auto pm = slipProject();
        Sheet sheet(11);
        const Snapshot s = generate(*pm->findPage(QStringLiteral("report1.page1")), sheet);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("slips.pdf"));
        activeFileRenderers().first().render(s, pdf, QStringLiteral("打印报表"));
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        const QString text = QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(text.count(QLatin1Char('\f')), 2);
        QCOMPARE(text.count(QStringLiteral("工资条")), 11);
        QVERIFY(text.contains(QStringLiteral("2026年9月")));
        QCOMPARE(text.count(QStringLiteral("计件工资")), 11);
        for (int i = 0; i < 11; ++i) {
            QVERIFY(text.contains(QStringLiteral("W%1").arg(i + 1, 4, 10, QLatin1Char('0'))));
            QVERIFY(text.contains(QStringLiteral("工人%1 ").arg(i + 1)));
            // A01 and C01 of the row, with two decimals; A02 (hidden) never.
            QVERIFY2(text.contains(QString::number(1000.5 + i, 'f', 2)), qPrintable(text));
            QVERIFY(text.contains(QString::number(1000.5 + i + 15 / 100.0, 'f', 2)));
            QVERIFY(!text.contains(QString::number(1000.5 + i + 1 / 100.0, 'f', 2)));
        }
        QVERIFY(!text.contains(QStringLiteral("隐藏项")));
        QVERIFY(!text.contains(QStringLiteral("备注")));
    }

    // Small bold text on a page drawn smaller than its dots, as the preview draws it, stays text: Qt's
    // bold drawn through a scaling painter ran the letters into one blot.
    void smallBoldTextStaysReadableInThePreview() {
        SnapshotBuilder b(QSizeF(8.27, 11.69));
        const int bold = b.font({QStringLiteral("WenQuanYi Micro Hei"), 56, true});
        const int regular = b.font({QStringLiteral("WenQuanYi Micro Hei"), 56, false});
        b.text(bold, QPointF(400, 400), QStringLiteral("K2026-03-01"));
        b.text(regular, QPointF(400, 600), QStringLiteral("K2026-03-01"));
        const Snapshot s = b.take();
        const double scale = 0.125;
        const QImage image = renderPageImage(s, 0, int(s.pageSizeDots().width() * scale));
        // The dark pixels of a line of text: bold letters hold more ink than regular ones, not several
        // times as much.
        const auto darkOf = [&](int baseline) {
            int dark = 0;
            for (int x = int(380 * scale); x < int(1000 * scale); ++x)
                for (int y = int((baseline - 60) * scale); y < int((baseline + 15) * scale); ++y)
                    if (qGray(image.pixel(x, y)) < 128) ++dark;
            return dark;
        };
        const int boldInk = darkOf(400), regularInk = darkOf(600);
        QVERIFY(regularInk > 0);
        QVERIFY(boldInk < 2 * regularInk);
    }

    // A QR code is kept as its text and square, drawn from its modules, and needs a snapshot of the later
    // version; a snapshot without one is written in the earlier version, which earlier programs read.
    void qrCodesAreKeptAndDrawn() {
        SnapshotBuilder b(QSizeF(8.27, 11.69));
        const int font = b.font({QStringLiteral("WenQuanYi Micro Hei"), 75, false});
        QCOMPARE(b.font({QStringLiteral("WenQuanYi Micro Hei"), 75, false}), font);
        b.text(font, QPointF(600, 500), QStringLiteral("菲票"));
        b.qrCode(QRectF(600, 600, 252, 252), QStringLiteral("123456789"));
        b.endPage();
        b.line(QPointF(0, 100), QPointF(4000, 100), 7, true);
        // A text too long for a QR code (a damaged file) leaves the square's outline.
        b.qrCode(QRectF(1200, 1200, 240, 240), QString(3000, QLatin1Char('x')));
        const Snapshot s = b.take();
        QCOMPARE(s.pageCount(), 2);
        const QImage second = renderPageImage(s, 1, s.pageSizeDots().width());
        QVERIFY(qGray(second.pixel(1200, 1320)) < 128);
        QCOMPARE(qGray(second.pixel(1320, 1320)), 255);
        const QByteArray bytes = snapshotBytes(s);
        QCOMPARE(int(bytes[11]), 3);
        const Snapshot back = snapshotFromBytes(bytes);
        QCOMPARE(pageQrCodes(back, 0).size(), 1);
        QCOMPARE(pageQrCodes(back, 0)[0].text, QStringLiteral("123456789"));
        QCOMPARE(pageQrCodes(back, 0)[0].square, QRectF(600, 600, 252, 252));
        QCOMPARE(pageLines(back, 1).size(), 1);
        QVERIFY(pageLines(back, 1)[0].dashed);
        // Drawn at a pixel a dot, the modules are where the code has them.
        const QImage image = renderPageImage(back, 0, back.pageSizeDots().width());
        QCOMPARE(image, renderPageImage(s, 0, s.pageSizeDots().width()));
        const QrCode code = QrCode::encode(QStringLiteral("123456789"));
        const double module = 252.0 / code.size();
        for (int y = 0; y < code.size(); ++y)
            for (int x = 0; x < code.size(); ++x) {
                const QPoint centre(int(600 + (x + 0.5) * module), int(600 + (y + 0.5) * module));
                QCOMPARE(qGray(image.pixel(centre)) < 128, code.isDark(x, y));
            }

        // Slips have no QR code: version 2, as before.
        auto pm = slipProject();
        Sheet sheet(2);
        const QByteArray slips =
            snapshotBytes(generate(*pm->findPage(QStringLiteral("report1.page1")), sheet));
        QCOMPARE(int(slips[11]), 2);
        // A QR code in a version 2 snapshot, or one without a square, is damage.
        QByteArray older = bytes;
        older[11] = 2;
        QVERIFY_THROWS_EXCEPTION(ReportError, snapshotFromBytes(older));
        Snapshot flat;
        flat.pageSize = QSizeF(8.27, 11.69);
        const char square[] = {'Q', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, '7', 0};
        flat.pages << QByteArray(square, sizeof square);
        QVERIFY_THROWS_EXCEPTION(ReportError, snapshotFromBytes(snapshotBytes(flat)));
    }

    void pageSelections() {
        QCOMPARE(pagesToPrint(5, 1, 9999, QString()), (QVector<int>{1, 2, 3, 4, 5}));
        QCOMPARE(pagesToPrint(5, 2, 3, QString()), (QVector<int>{2, 3}));
        QCOMPARE(pagesToPrint(12, 1, 9999, QStringLiteral("1-3,5,11-")), (QVector<int>{1, 2, 3, 5, 11, 12}));
        QCOMPARE(pagesToPrint(3, 1, 9999, QStringLiteral("0,7,2")), (QVector<int>{2}));
    }
};

QTEST_MAIN(TestRvEngine)
#include "tst_rvengine.moc"
