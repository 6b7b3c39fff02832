// The pay-slip layout from the month's items, the font sizes of its rows, and the loading of report projects.
#include <QFontMetricsF>
#include <QtTest>

#include "core/data/connection.h"
#include "core/data/dataset.h"
#include "core/reports/payslip.h"
#include "core/reports/rvengine.h"
#include "core/reports/rvproject.h"
#include "support/coresupport.h"

using namespace hx;

namespace {

SlipLayoutData monthOf(int wCode, int wName, const QVector<int>& widths) {
    SlipLayoutData d;
    d.wCode = wCode;
    d.wName = wName;
    const QStringList codes{QStringLiteral("A01"), QStringLiteral("A02"), QStringLiteral("A03"),
                            QStringLiteral("A04"), QStringLiteral("A05"), QStringLiteral("A06"),
                            QStringLiteral("A07"), QStringLiteral("A08")};
    for (int i = 0; i < widths.size(); ++i)
        d.items.push_back({codes.value(i, QStringLiteral("B0%1").arg(i - 7)),
                           QStringLiteral("项目%1").arg(i + 1), widths[i]});
    return d;
}

TRaveComponent* find(TRaveProjectManager& pm, const QString& name) {
    return pm.FindRaveComponent(QStringLiteral("report1.page1.") + name);
}

QString heading(TRaveProjectManager& pm, int n) {
    return static_cast<TRaveText*>(find(pm, QStringLiteral("Text%1").arg(n)))->Text;
}

}  // namespace

class TestPaySlip : public QObject {
    Q_OBJECT
  private slots:
    void widthsAndPositionsInInches() {
        auto pm = parseReportProject(defaultReportProject());
        layoutPaySlip(*pm, monthOf(20, 25, {30, 0, 15}));
        auto* text1 = find(*pm, QStringLiteral("Text1"));
        auto* data1 = find(*pm, QStringLiteral("DataText1"));
        QCOMPARE(heading(*pm, 1), QStringLiteral("工号"));
        QCOMPARE(text1->Left, 0.0);
        QCOMPARE(data1->Width, 20 / 25.4);
        QCOMPARE(heading(*pm, 2), QStringLiteral("姓名"));
        QCOMPARE(find(*pm, QStringLiteral("DataText2"))->Left, 20 / 25.4);
        QCOMPARE(find(*pm, QStringLiteral("Text2"))->Width, 25 / 25.4);
        auto* text3 = find(*pm, QStringLiteral("Text3"));
        QVERIFY(qAbs(text3->Left - 1.7717) < 0.0001);
        QCOMPARE(text3->Left, 45 / 25.4);
        QCOMPARE(find(*pm, QStringLiteral("DataText3"))->Width, 30 / 25.4);
        QCOMPARE(heading(*pm, 3), QStringLiteral("项目1"));
        // A hidden item takes no room.
        QVERIFY(!find(*pm, QStringLiteral("Text4"))->Visible);
        QVERIFY(!find(*pm, QStringLiteral("DataText4"))->Visible);
        QCOMPARE(find(*pm, QStringLiteral("Text5"))->Left, 75 / 25.4);
        QCOMPARE(find(*pm, QStringLiteral("DataText5"))->Left, 75 / 25.4);
        QCOMPARE(find(*pm, QStringLiteral("Text5"))->Width, 15 / 25.4);
        // Items the month does not have show nothing.
        for (int n = 6; n <= 37; ++n) QVERIFY(!find(*pm, QStringLiteral("DataText%1").arg(n))->Visible);
    }

    void headingsFollowTheMonthsItems() {
        hxtest::TempProgramDir dir;
        Connection cn;
        dir.newAccountSet(QStringLiteral("厂")).open(cn);
        cn.exec(QStringLiteral("delete from salary where year=2026 and month in (8,9)"));
        for (int month : {8, 9}) {
            cn.exec(QStringLiteral("insert into salary select 2026, ?, ItemCode, null, null, 0 from salary "
                                   "where year=2003 and month=11"),
                    {month});
        }
        auto set = [&](int month, const QString& code, const QVariant& name, int width) {
            cn.exec(
                QStringLiteral("update salary set ItemName=?, printWidth=? where year=2026 and month=? and "
                               "ItemCode=?"),
                {name, width, month, code});
        };
        set(8, QStringLiteral("A01"), QStringLiteral("计件工资"), 18);
        set(8, QStringLiteral("C01"), QStringLiteral("实发工资"), 20);
        set(9, QStringLiteral("A01"), QStringLiteral("计件"), 16);
        set(9, QStringLiteral("B01"), QStringLiteral("出勤天数"), 14);
        // A width without a name (the setup never stores it so, but a hand-edited file may) shows nothing.
        set(9, QStringLiteral("A02"), QVariant(), 12);
        cn.exec(QStringLiteral("update wCodeName set wCode=15, wName=20"));
        DataSet scratch(&cn);

        auto august = parseReportProject(defaultReportProject());
        layoutPaySlip(*august, readSlipLayoutData(scratch, 2026, 8));
        QCOMPARE(heading(*august, 3), QStringLiteral("计件工资"));
        QCOMPARE(find(*august, QStringLiteral("Text3"))->Left, 35 / 25.4);
        QVERIFY(!find(*august, QStringLiteral("Text11"))->Visible);  // B01
        const int c01 = 3 + 8 + 7;
        QCOMPARE(heading(*august, c01), QStringLiteral("实发工资"));
        QCOMPARE(find(*august, QStringLiteral("DataText%1").arg(c01))->Left, (35 + 18) / 25.4);
        QVERIFY(!scratch.isOpen());

        auto september = parseReportProject(defaultReportProject());
        layoutPaySlip(*september, readSlipLayoutData(scratch, 2026, 9));
        QCOMPARE(heading(*september, 3), QStringLiteral("计件"));
        QVERIFY(!find(*september, QStringLiteral("Text4"))->Visible);  // A02 has no name
        QCOMPARE(heading(*september, 11), QStringLiteral("出勤天数"));
        QCOMPARE(find(*september, QStringLiteral("Text11"))->Left, (35 + 16) / 25.4);
        QVERIFY(!find(*september, QStringLiteral("Text%1").arg(c01))->Visible);
        cn.close();
    }

    void pairsBeyondTheWidthContinueOnAFurtherLine() {
        // 35 items of 12 mm after code and name: far wider than the 190 mm of an A4 page.
        auto pm = parseReportProject(defaultReportProject());
        SlipLayoutData d;
        d.wCode = 15;
        d.wName = 20;
        const QStringList all = QStringList{} << QStringLiteral("A01");
        for (int k = 0; k < 35; ++k) {
            static const char* families[] = {"A", "B", "C", "T"};
            const int family = k < 8 ? 0 : k < 15 ? 1 : k < 30 ? 2 : 3;
            const int number = k < 8 ? k + 1 : k < 15 ? k - 7 : k < 30 ? k - 14 : k - 29;
            d.items.push_back({QStringLiteral("%1%2")
                                   .arg(QLatin1String(families[family]))
                                   .arg(number, 2, 10, QLatin1Char('0')),
                               QStringLiteral("项%1").arg(k + 1), 12});
        }
        layoutPaySlip(*pm, d);
        TRavePage* page = pm->findPage(QStringLiteral("report1.page1"));
        const BandLayout band = layoutBand(*page);
        // 35 + 12k <= 190 holds for 12 items on the first line; 190 / 12 = 15 on each further line.
        QCOMPARE(band.extraLines, 2);
        int shown = 0;
        double lastTop = 0;
        for (const PlacedComponent& p : band.placed) {
            if (p.component->kind() != TRaveComponent::Kind::DataText) continue;
            ++shown;
            QVERIFY2(p.left + p.component->Width <= page->printableWidth() + 1e-6,
                     qPrintable(p.component->Name));
            QVERIFY(p.left >= 0);
            lastTop = std::max(lastTop, p.top);
        }
        QCOMPARE(shown, 37);
        const double lineStep = (15 + 7 - 9) / 25.4;
        QVERIFY(qAbs(lastTop - (15 / 25.4 + 2 * lineStep)) < 1e-9);
        QVERIFY(qAbs(band.height - (30 / 25.4 + 2 * lineStep)) < 1e-9);
        // Pair 15 (the 13th item) starts the second line at the left edge.
        for (const PlacedComponent& p : band.placed)
            if (p.component->Name == QLatin1String("Text15")) QCOMPARE(p.left, 0.0);
        // The cut line moves below the added lines.
        for (const PlacedComponent& p : band.placed)
            if (p.component->Name == QLatin1String("CutLine"))
                QVERIFY(qAbs(p.top - (27.5 / 25.4 + 2 * lineStep)) < 1e-9);

        // Widths that fit leave the slip as designed.
        auto narrow = parseReportProject(defaultReportProject());
        layoutPaySlip(*narrow, monthOf(20, 25, {30, 0, 15}));
        QCOMPARE(layoutBand(*narrow->findPage(QStringLiteral("report1.page1"))).extraLines, 0);
    }

    void aRowOfTextsTakesTheSizeOfItsTightestBox() {
        // One item of 10 mm among items of 20 mm: its four-character heading and its seven-character value
        // do not fit at the designed sizes (8 and 9 points).
        auto pm = parseReportProject(defaultReportProject());
        SlipLayoutData d{15, 20, {}};
        for (auto [code, name, width] : {std::tuple{"A01", "计件工资", 20},
                                         {"A02", "岗位津贴", 10},
                                         {"A03", "加班工资", 20},
                                         {"A04", "全勤奖", 20}})
            d.items.push_back({QLatin1String(code), QString::fromUtf8(name), width});
        layoutPaySlip(*pm, d);
        // The first slip's A02 is the long value; the second slip's values all fit.
        const auto s = generateReport(*pm->findPage(QStringLiteral("report1.page1")), 2,
                                      [](int row, const QString& field) {
                                          if (field == QLatin1String("staffCode"))
                                              return QStringLiteral("W001");
                                          if (field == QLatin1String("staffName"))
                                              return QStringLiteral("张三");
                                          if (row == 0 && field == QLatin1String("A02"))
                                              return QStringLiteral("1234.56");
                                          return QStringLiteral("8.50");
                                      });
        QVERIFY(s);
        const QVector<QRectF> boxes = pageBoxes(*s, 0);
        const double dotsPerPoint = Snapshot::dotsPerInch / 72.0;
        QMap<int, QSet<int>> pixelsByRowTop;  // the sizes found in each row of boxes
        int inBoxes = 0;
        for (const PageText& t : pageTexts(*s, 0)) {
            const SnapshotFont& font = s->fonts[t.font];
            const double width = QFontMetricsF(snapshotFont(font)).horizontalAdvance(t.text);
            const auto box = std::find_if(boxes.begin(), boxes.end(), [&](const QRectF& b) {
                return b.contains(t.baseline + QPointF(1, -1));
            });
            if (box == boxes.end()) continue;  // the title
            ++inBoxes;
            QVERIFY2(t.baseline.x() >= box->left() && t.baseline.x() + width <= box->right() + 0.01,
                     qPrintable(t.text));
            pixelsByRowTop[qRound(box->top())] << font.pixels;
        }
        QCOMPARE(inBoxes, 2 * 2 * 6);
        QCOMPARE(pixelsByRowTop.size(), 4);  // headings and values of two slips
        const QList<QSet<int>> rows = pixelsByRowTop.values();
        for (const QSet<int>& sizes : rows) QCOMPARE(sizes.size(), 1);
        const int headings = *rows[0].begin(), narrowValues = *rows[1].begin();
        QCOMPARE(*rows[2].begin(), headings);
        QVERIFY(headings < qRound(8 * dotsPerPoint));
        QVERIFY(headings > qRound(5 * dotsPerPoint));
        QVERIFY(narrowValues < qRound(9 * dotsPerPoint));
        QVERIFY(narrowValues > qRound(5 * dotsPerPoint));
        QCOMPARE(*rows[3].begin(), qRound(9 * dotsPerPoint));  // the second slip's values fit as designed
    }

    void missingAndFaultyProjects() {
        hxtest::TempProgramDir dir;
        TRvProject project;
        project.ProjectFile = dir.file(QStringLiteral("rptBar.rav"));
        try {
            project.open();
            QFAIL("opened a missing project");
        } catch (const ReportError& e) {
            QCOMPARE(e.text(), QStringLiteral("The following reporting project does not exist:\n\"%1\"")
                                   .arg(project.ProjectFile));
        }

        auto failsWith = [](const QString& text, const QString& part) {
            try {
                parseReportProject(text);
            } catch (const ReportError& e) {
                return e.text().contains(part) ? QString() : e.text();
            }
            return QStringLiteral("no error");
        };
        QCOMPARE(failsWith(QStringLiteral("report r\npage p\nband b height=x\n"), QStringLiteral("第 3 行")),
                 QString());
        QCOMPARE(failsWith(QStringLiteral("report r\n\nwidget w\n"), QStringLiteral("第 3 行")), QString());
        QCOMPARE(failsWith(QStringLiteral("report r\npage p\ntext T1 text=\"open\n"), QStringLiteral("引号")),
                 QString());
        QCOMPARE(failsWith(QStringLiteral("report r\npage p\ntext A\ntext a\n"), QStringLiteral("重复")),
                 QString());
        QCOMPARE(failsWith(QStringLiteral("text T1\n"), QStringLiteral("page")), QString());

        // A project that lacks a component of the slip names it.
        QString lacking = defaultReportProject();
        lacking.remove(QRegularExpression(QStringLiteral("\\ndatatext DataText17 [^\\n]*")));
        auto pm = parseReportProject(lacking);
        try {
            layoutPaySlip(*pm, monthOf(20, 25, {30}));
            QFAIL("laid out a slip without DataText17");
        } catch (const ReportError& e) {
            QVERIFY2(e.text().contains(QStringLiteral("DataText17")), qPrintable(e.text()));
        }
        auto noPage = parseReportProject(QStringLiteral("report report1\npage other\n"));
        QVERIFY_THROWS_EXCEPTION(ReportError, layoutPaySlip(*noPage, monthOf(20, 25, {})));
    }
};

HX_BOTH_ENGINES;
QTEST_MAIN(TestPaySlip)  // the slip is measured in its fonts
#include "tst_payslip.moc"
