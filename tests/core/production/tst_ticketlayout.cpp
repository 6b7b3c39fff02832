// Bundle tickets on paper: the pages the strips make, and what real readers get back from the PDF.
#include <QFontMetricsF>
#include <QRegularExpression>
#include <QtTest>

#include "core/data/connection.h"
#include "core/production/production.h"
#include "core/production/qrcode.h"
#include "core/production/scanning.h"
#include "core/production/ticketcode.h"
#include "core/production/ticketlayout.h"
#include "core/reports/rvengine.h"
#include "support/coresupport.h"

using namespace hx;
using namespace Qt::StringLiterals;

namespace {

constexpr double dotsPerMm = Snapshot::dotsPerInch / 25.4;
constexpr double pointsPerMm = 72 / 25.4;

QSet<QString> setOf(const QStringList& list) {
    return QSet<QString>(list.begin(), list.end());
}

// The box a text of a page takes, in dots.
QRectF textBox(const Snapshot& s, const PageText& t) {
    const QFontMetricsF m(snapshotFont(s.fonts[t.font]));
    return QRectF(t.baseline.x(), t.baseline.y() - m.ascent(), m.horizontalAdvance(t.text), m.height());
}

}  // namespace

class TestTicketLayout : public QObject {
    Q_OBJECT

    Connection cn;
    std::unique_ptr<hxtest::OpenAccountSet> dir;
    const QDate day{2026, 12, 8};

    // An order of a style of `processes` processes (made with the order), cut into bundles of 30; its
    // bundles' keys. Every seventh process has a description longer than a ticket's line.
    std::vector<qint64> order(const QString& code, const QString& style, int processes,
                              const std::vector<BreakdownLine>& lines) {
        for (int i = 1; i <= processes; ++i) {
            const QString description =
                i % 7 == 0 ? u"前片贴袋连同袋盖一起缉明线并且打枣加固第%1道"_s.arg(i) : u"工序%1"_s.arg(i);
            cn.exec(
                "insert into job (JobCode, Description, StyleGroup, UnitPrice, stopp) values (?, ?, ?, 0.5, "
                "0)",
                {u"%1-%2"_s.arg(style).arg(i, 2, 10, QLatin1Char('0')), description, style});
        }
        std::vector<qint64> ids;
        for (const Bundle& b : generateBundles(cn, addOrder(cn, code, style, day), lines, 30))
            ids.push_back(b.id);
        return ids;
    }
    QStringList storedCodes(const QString& where = "1=1") {
        QStringList codes;
        PreparedStatement q(cn, "select code from bundleTicket where " + where);
        while (q.next()) codes << q.text(0);
        return codes;
    }

  private slots:
    void init() { dir = std::make_unique<hxtest::OpenAccountSet>(cn, "t"); }
    void cleanup() { dir.reset(); }

    // A style of 20 processes: three strips to a page with a cut line between each two, every ticket's
    // QR code large enough for a scanner, clear of every other mark by the blank border a reader needs,
    // and no text past its ticket. A strip taller than a page goes on at the top of the next.
    void stripsFitThePageWithCutLinesBetween() {
        const std::vector<qint64> bundles =
            order("PO-2026-12-0008", "T20", 20, {{"藏青色加绒款", "XXXL", 210}});
        const Snapshot s = *layoutTickets(makeTickets(cn, bundles));
        QCOMPARE(s.pageCount(), 3);
        const QSizeF page = s.pageSize * Snapshot::dotsPerInch;
        QStringList drawnCodes;
        for (int p = 0; p < s.pageCount(); ++p) {
            const int strips = p < 2 ? 3 : 1;
            const QVector<QRectF> boxes = pageBoxes(s, p);
            QCOMPARE(boxes.size(), strips);
            for (const QRectF& box : boxes)
                QVERIFY(QRectF(5 * dotsPerMm, 5 * dotsPerMm, page.width() - 10 * dotsPerMm,
                               page.height() - 10 * dotsPerMm)
                            .contains(box));
            QVector<QLineF> cuts, tears;
            for (const PageLine& l : pageLines(s, p)) {
                QVERIFY(l.dashed);
                (l.line.length() > 195 * dotsPerMm ? cuts : tears) << l.line;
            }
            QCOMPARE(cuts.size(), strips - 1);
            for (int i = 0; i + 1 < strips; ++i) {
                QCOMPARE(cuts[i].y1(), cuts[i].y2());
                QVERIFY(cuts[i].y1() > boxes[i].bottom() + dotsPerMm &&
                        cuts[i].y1() < boxes[i + 1].top() - dotsPerMm);
            }
            const QVector<PageQrCode> codes = pageQrCodes(s, p);
            QCOMPARE(codes.size(), 20 * strips);
            QVector<QRectF> marks;
            for (const PageText& t : pageTexts(s, p)) marks << textBox(s, t);
            for (const QLineF& l : tears + cuts)
                marks << QRectF(l.p1(), l.p2()).normalized().adjusted(-2, -2, 2, 2);
            for (const QRectF& b : boxes)
                for (const QLineF& edge :
                     {QLineF(b.topLeft(), b.topRight()), QLineF(b.topLeft(), b.bottomLeft()),
                      QLineF(b.topRight(), b.bottomRight()), QLineF(b.bottomLeft(), b.bottomRight())})
                    marks << QRectF(edge.p1(), edge.p2()).normalized().adjusted(-2, -2, 2, 2);
            for (const PageQrCode& code : codes) {
                const double module = code.square.width() / QrCode::encode(code.text).size();
                QVERIFY2(module / dotsPerMm >= 0.4, qPrintable(QString::number(module / dotsPerMm)));
                const QRectF border = code.square.adjusted(-4 * module, -4 * module, 4 * module, 4 * module);
                for (const QRectF& mark : marks) QVERIFY2(!border.intersects(mark), qPrintable(code.text));
                drawnCodes << code.text;
            }
            // A text stays within its ticket: it crosses no tear line between tickets.
            for (const PageText& t : pageTexts(s, p)) {
                const QRectF box = textBox(s, t);
                for (const QLineF& l : tears)
                    QVERIFY2(!box.intersects(QRectF(l.p1(), l.p2()).normalized().adjusted(-1, -1, 1, 1)),
                             qPrintable(t.text));
            }
        }
        QCOMPARE(drawnCodes.size(), 140);
        QCOMPARE(setOf(drawnCodes), setOf(storedCodes()));

        // 100 processes: the first bundle's strip fills a page and goes on on the next, the second starts a
        // page of its own.
        const std::vector<qint64> big = order("PO-9", "T100", 100, {{"白", "S", 60}});
        const Snapshot tall = *layoutTickets(makeTickets(cn, big));
        QCOMPARE(tall.pageCount(), 4);
        QStringList continued, tallCodes;
        for (int p = 0; p < tall.pageCount(); ++p) {
            for (const PageText& t : pageTexts(tall, p))
                if (t.text.contains(u"（续）"_s)) continued << QString::number(p) + t.text;
            for (const PageQrCode& code : pageQrCodes(tall, p)) tallCodes << code.text;
        }
        QCOMPARE(continued, (QStringList{u"1第 1 扎（续）"_s, u"3第 2 扎（续）"_s}));
        QCOMPARE(tallCodes.size(), 200);
        QCOMPARE(setOf(tallCodes),
                 setOf(storedCodes(QStringLiteral("bundleID in (%1, %2)").arg(big[0]).arg(big[1]))));

        // Cancel between pages: nothing comes back.
        QVector<int> seen;
        QVERIFY(!layoutTickets(makeTickets(cn, bundles), [&](int p) {
            seen << p;
            return p < 2;
        }));
        QCOMPARE(seen, (QVector<int>{1, 2}));
    }

    // The PDF read back by real readers: rendered at 300 dpi, every QR code decodes; the decoded codes,
    // the codes printed as text and the codes stored are the same, each printed right beside its QR code;
    // the modules are vector shapes, not pictures. A decoded code and a printed one pay their ticket.
    void aReaderGetsEveryTicketFromThePdf() {
        const QString missing = hxtest::missingPageReaders();
        if (!missing.isEmpty()) QSKIP(qPrintable(missing));
        const std::vector<qint64> bundles = order("PO-7", "T20", 20, {{"红", "M", 100}, {"藏青", "XL", 110}});
        QCOMPARE(bundles.size(), std::size_t(8));
        const Snapshot s = *layoutTickets(makeTickets(cn, bundles));
        const QString pdf = dir->file("菲票.pdf");
        writePdf(s, pdf, "菲票");
        QFile::remove("/tmp/h10-t.pdf");
        QFile::copy(pdf, "/tmp/h10-t.pdf");

        // The pages whole, then the regions beside the printed codes: one render for both.
        QList<hxtest::PageRegion> regions;
        for (int p = 0; p < 3; ++p) regions << hxtest::PageRegion(p, QRectF(0, 0, 595, 842));
        const QList<hxtest::PdfLine> lines = hxtest::pdfLines(pdf);
        static const QRegularExpression printedCode("^\\d{3} \\d{3} \\d{3}$");
        QStringList printed;
        for (const hxtest::PdfLine& line : lines) {
            if (!printedCode.match(line.text).hasMatch()) continue;
            printed << normalizedTicketCode(line.text);
            // Left of the printed code, as high as a ticket, there is its own QR code and no other.
            regions << hxtest::PageRegion(
                line.page,
                QRectF(QPointF(line.box.left() - 16 * pointsPerMm, line.box.bottom() - 16.5 * pointsPerMm),
                       QPointF(line.box.left() - 0.5 * pointsPerMm, line.box.bottom() + 0.5 * pointsPerMm)));
        }
        const QList<QStringList> read = hxtest::readQrCodes(pdf, 300, regions);
        QCOMPARE(read[0].size(), 60);
        const QStringList decoded = read[0] + read[1] + read[2];
        for (int i = 0; i < printed.size(); ++i) QCOMPARE(read[3 + i], QStringList(printed[i]));
        QCOMPARE(decoded.size(), 160);
        QCOMPARE(printed.size(), 160);
        QCOMPARE(setOf(decoded), setOf(printed));
        QCOMPARE(setOf(decoded), setOf(storedCodes()));

        // A strip's header in one line of the page's text; the tickets' lines under it.
        const QString text = hxtest::pdfText(pdf);
        QCOMPARE(text.count(QLatin1Char('\f')), 3);
        QCOMPARE(text.count(u"生产单 PO-7"_s), 8);
        QVERIFY2(text.contains(QRegularExpression(
                     u"第 ?1 ?扎 +生产单 PO-7 +款式 T20 +颜色 红 +尺码 M +30 件 +菲票 20 张"_s)),
                 qPrintable(text));
        QVERIFY(text.contains(
            QRegularExpression(u"第 ?8 ?扎 +生产单 PO-7 +款式 T20 +颜色 藏青 +尺码 XL +20 件"_s)));
        QVERIFY(text.contains(QRegularExpression(u"T20-20 +20件"_s)));
        QCOMPARE(text.count(u"PO-7 第8扎 藏青 XL"_s), 20);
        QVERIFY(text.contains(u"菲票 第 3 页，共 3 页"_s));

        QFile file(pdf);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(!bytes.contains("/Subtype /Image"));
        QVERIFY2(bytes.size() < 300 * 1024, qPrintable(QString::number(bytes.size())));

        const qint64 worker = cn.insert(
            "insert into staff (StaffCode, StaffName, salaryDay, Firedd) values "
            "('0012', '孙八', 10, 0)",
            {}, "staffID");
        QVERIFY(acceptTicket(cn, decoded[0], day, worker).accepted);
        QVERIFY(acceptTicket(cn, groupedTicketCode(decoded[1]), day, worker).accepted);
        QCOMPARE(hxtest::rowCount(cn, "bundleTicket",
                                  QStringLiteral("staffID = %1 and code in ('%2', '%3')")
                                      .arg(worker)
                                      .arg(decoded[0], decoded[1])),
                 2);
    }
};

HX_BOTH_ENGINES;
QTEST_MAIN(TestTicketLayout)  // the tickets are measured in their fonts
#include "tst_ticketlayout.moc"
