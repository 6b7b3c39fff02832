#include <QFile>
#include <QtTest>

#include "core/data/connection.h"
#include "core/data/dataset.h"
#include "core/data/errors.h"
#include "core/exchange/import.h"
#include "core/exchange/sheetreader.h"
#include "core/exchange/xlsxexport.h"
#include "core/payroll/fixeditems.h"
#include "support/coresupport.h"
#include "support/hostilesheets.h"

using namespace hx;

namespace {

QString csv(const hxtest::TempProgramDir& dir, const QString& name, const QString& text) {
    const QString path = dir.file(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(text.toUtf8());
    return path;
}

QStringList rows(Connection& cn, const QString& sql) {
    QStringList out;
    PreparedStatement q(cn, sql);
    while (q.next()) {
        QStringList cells;
        // An amount as the amount it is, whatever digits the engine writes it with (3000, 3000.0000).
        for (int c = 0; c < q.columnCount(); ++c)
            cells << (q.isNull(c)                                ? QStringLiteral("<null>")
                      : q.columnType(c).type == FieldType::Money ? q.money(c).toPlainString()
                                                                 : q.text(c));
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

void exportQuery(Connection& cn, const QString& sql, const QStringList& titles, const QString& path) {
    DataSet ds(&cn);
    ds.setSql(sql);
    ds.open();
    QVector<ExportColumn> columns;
    for (int i = 0; i < titles.size(); ++i) columns.append({titles[i], i});
    writeXlsx(ds, columns, path);
}

const QString staffRows = QStringLiteral(
    "select StaffCode, StaffName, ClassGroup, LevelSalary, salaryDay, Firedd from staff order by 1");
const QString jobRows =
    QStringLiteral("select JobCode, Description, StyleGroup, UnitPrice, stopp from job order by 1");
const QString pieceRows = QStringLiteral(
    "select dateD, s.StaffCode, j.JobCode, qty from JobData d join staff s on s.staffID=d.staffID "
    "join job j on j.JobID=d.jobID order by 1, 2, 3, 4");

}  // namespace

class TestImport : public QObject {
    Q_OBJECT

    Connection m_cn;
    std::unique_ptr<hxtest::OpenAccountSet> m_dir;

    // Two workers, two processes and no records.
    void seed() {
        m_cn.execScript(QStringLiteral(
            "insert into staff (StaffCode, StaffName, ClassGroup, LevelSalary, salaryDay, Firedd) values "
            "('0012', '张三', '一组', 3000, 15, 0), ('A7', '李四', NULL, 0, NULL, -1);"
            "insert into job (JobCode, Description, StyleGroup, UnitPrice, stopp) values "
            "('001', '上领', 'T恤', 0.35, 0), ('J2', '锁边', NULL, 1.2345, 0);"
            "insert into JobData values ('2026-11-02', 1, 1, 10);"));
    }

    ImportPlan check(const QString& path, ImportTarget target, bool update = true,
                     int storedRecordsHeld = ImportOptions().storedRecordsHeld) {
        ImportOptions o;
        o.target = target;
        o.updateExisting = update;
        o.storedRecordsHeld = storedRecordsHeld;
        auto plan = checkImport(m_cn, path, o);
        if (!plan) qFatal("check cancelled");
        return *plan;
    }

    QString reasonOf(const ImportPlan& plan, int line) {
        for (const auto& r : plan.refusedRows)
            if (r.line == line) return r.reason;
        return QStringLiteral("<accepted>");
    }

  private slots:
    void init() {
        m_dir = std::make_unique<hxtest::OpenAccountSet>(m_cn, QStringLiteral("测试"));
        seed();
    }
    void cleanup() { m_dir.reset(); }

    void mappingFromTitles() {
        SheetRow header;
        for (const char16_t* t :
             {u"工艺描述", u" 工序号 ", u"工价", u"备注", u"对应款式", u"A04", u"津 贴"}) {
            SheetCell c;
            c.kind = SheetCell::Kind::Text;
            c.text = QString::fromUtf16(t);
            header.cells << c;
        }
        QCOMPARE(guessMapping(importFields(ImportTarget::Job), header), (QVector<int>{1, 0, 4, 2, -1}));
        // The fixed amounts by the month's item names or by their codes.
        const QVector<int> staff = guessMapping(
            importFields(ImportTarget::Staff, {QStringLiteral("固定工资"), QStringLiteral("津贴")}), header);
        QCOMPARE(staff, (QVector<int>{-1, -1, -1, -1, -1, -1, -1, 6, 5, -1, -1, -1, -1}));
        QCOMPARE(importFields(ImportTarget::Staff).at(7).title, QStringLiteral("A03"));
    }

    // A heading above the titles (and a blank line) is left out: the titles are the row that names the
    // most fields among the first ten, and the rows keep their line numbers.
    void headingAboveTheTitles() {
        const QString path = csv(*m_dir, QStringLiteral("heading.csv"),
                                 QStringLiteral("2026年11月 工序价目表,,,\n"
                                                "制表：张三,,,日期：2026-11-01\n"
                                                "\n"
                                                "工序号,工艺描述,对应款式,工价\n"
                                                "Q-01,上领,T恤,0.35\n"
                                                ",漏了编号,,1\n"));
        ImportPlan plan = check(path, ImportTarget::Job);
        QCOMPARE(plan.header.line, 4);
        QCOMPARE(plan.mapping, (QVector<int>{0, 1, 2, 3, -1}));
        QCOMPARE(plan.added, 1);
        QCOMPARE(plan.refused(), 1);
        QCOMPARE(reasonOf(plan, 6), QStringLiteral("缺少工序编号"));
        QCOMPARE(plan.preview.size(), 2);
        QCOMPARE(plan.preview.first().line, 5);

        // A sheet that names no field keeps its first row as the titles: every row is refused.
        const QString bare = csv(*m_dir, QStringLiteral("bare.csv"), QStringLiteral("a,b\nQ-02,0.1\n"));
        plan = check(bare, ImportTarget::Job);
        QCOMPARE(plan.header.line, 1);
        QCOMPARE(plan.refused(), 1);
    }

    // Rows each with a value in the last column a sheet has and no name: each refused row holds only its
    // cells under the titles, and the refused rows' file gives them back as they were with the reason.
    // A mapped column beyond the titles is held too.
    void sparseWideRows() {
        const QString path = m_dir->file(QStringLiteral("wide.xlsx"));
        QVERIFY(hxtest::writeParts(path, hxtest::sparseWideRows(2000)));
        ImportPlan plan = check(path, ImportTarget::Staff);
        QCOMPARE(plan.refused(), 2000);
        QCOMPARE(plan.preview.size(), 200);
        for (const auto& r : plan.refusedRows) {
            QCOMPARE(r.cells.size(), 1);
            QCOMPARE(r.cells[0].column, 0);
        }
        QCOMPARE(plan.refusedRows.last().cell(0)->text, QStringLiteral("7"));
        QCOMPARE(reasonOf(plan, 2001), QStringLiteral("缺少姓名"));
        const QString refused = m_dir->file(QStringLiteral("refused.xlsx"));
        writeRefusedRows(plan, refused);
        auto reader = SheetReader::open(refused);
        SheetRow row;
        QVERIFY(reader->next(row) && reader->next(row));
        QCOMPARE(row.cells.size(), 3);
        QCOMPARE(row.cells[0].text, QStringLiteral("7"));
        QCOMPARE(row.cells[2].text, QStringLiteral("第 2 行：缺少姓名"));

        ImportOptions o;
        o.target = ImportTarget::Staff;
        o.mapping = {0, 16383, -1, -1, -1};
        plan = *checkImport(m_cn, path, o);
        QCOMPARE(plan.refused(), 1999);  // the same work number on every row
        QCOMPARE(plan.refusedRows.first().cells.size(), 2);
        QCOMPARE(plan.refusedRows.first().cell(16383)->text, QStringLiteral("x"));
    }

    // A workbook whose list is not on its first sheet: the sheet that names the fields is the one to
    // import from, any sheet can be chosen, and a sheet that is not there is an error, never the first.
    void workbookOfSeveralSheets() {
        const QString path = m_dir->file(QStringLiteral("价目.xlsx"));
        hxtest::writeWorkbook(path, {{QStringLiteral("说明"), {{QStringLiteral("十一月工序价目，车间统一")}}},
                                     {QStringLiteral("价目"),
                                      {{QStringLiteral("工序号"), QStringLiteral("工价")},
                                       {QStringLiteral("Q-01"), QStringLiteral("0.35")},
                                       {QStringLiteral("Q-02"), QStringLiteral("0.2165")}}},
                                     {QStringLiteral("空表"), {}}});
        QCOMPARE(sheetToImport(path, ImportTarget::Job), 1);
        QCOMPARE(sheetToImport(path, ImportTarget::Staff), 0);  // names no field of a worker anywhere

        ImportOptions o;
        o.target = ImportTarget::Job;
        o.sheet = 1;
        auto plan = checkImport(m_cn, path, o);
        QVERIFY(plan);
        QCOMPARE(plan->sheets, QStringList({"说明", "价目", "空表"}));
        QCOMPARE(plan->added, 2);
        o.sheet = 0;
        plan = checkImport(m_cn, path, o);
        QCOMPARE(plan->added, 0);
        QCOMPARE(plan->refused(), 0);  // a heading only: nothing to import
        o.sheet = 2;
        QCOMPARE(checkImport(m_cn, path, o)->accepted(), 0);
        o.sheet = 3;
        QVERIFY_THROWS_EXCEPTION(FileError, checkImport(m_cn, path, o));

        const QString text = csv(*m_dir, QStringLiteral("one.csv"), QStringLiteral("工序号,工价\nQ-03,1\n"));
        QCOMPARE(sheetToImport(text, ImportTarget::Job), 0);
        QVERIFY_THROWS_EXCEPTION(FileError, SheetReader::open(text, 1));
    }

    // Every reason a worker row is refused, the update and the skip of an existing worker, and the
    // amounts and codes exactly as written.
    void workers() {
        const QString path =
            csv(*m_dir, QStringLiteral("staff.csv"),
                QStringLiteral("工号,姓名,班组,能力工资,发薪日\n"
                               "0013,王五,二组,1234.5678,10\n"  // 2 add
                               "0012,张三丰,,,\n"               // 3 update: empty keeps
                               ",赵六,,,\n"                     // 4 missing code
                               "0014,,,,\n"                     // 5 missing name
                               "0015,钱七,,abc,\n"              // 6 bad number
                               "0016,孙八,,,32\n"               // 7 pay day out of range
                               "0017,周九,,,1.5\n"              // 8 not a whole day
                               "01234567890,吴十,,,\n"          // 9 code too long
                               "0018,郑,一二三四五六七八九十一二三四五六七八九十一,,\n"  // 10
                               "0013,王五二,,,\n"));                                     // 11 repeated code
        ImportPlan plan = check(path, ImportTarget::Staff);
        QCOMPARE(plan.added, 1);
        QCOMPARE(plan.updated, 1);
        QCOMPARE(plan.refused(), 8);
        QCOMPARE(reasonOf(plan, 4), QStringLiteral("缺少工号"));
        QCOMPARE(reasonOf(plan, 5), QStringLiteral("缺少姓名"));
        QVERIFY(reasonOf(plan, 6).startsWith(QStringLiteral("能力工资不是数字")));
        QVERIFY(reasonOf(plan, 7).startsWith(QStringLiteral("发薪日须在 1 到 31 之间")));
        QVERIFY(reasonOf(plan, 8).startsWith(QStringLiteral("发薪日不是整数")));
        QVERIFY(reasonOf(plan, 9).startsWith(QStringLiteral("工号超过 10 个字符")));
        QVERIFY(reasonOf(plan, 10).startsWith(QStringLiteral("班组超过 20 个字符")));
        QCOMPARE(reasonOf(plan, 11), QStringLiteral("工号 0013 与第 2 行重复"));

        const ImportResult result = applyImport(m_cn, plan);
        QCOMPARE(importSummary(result), QStringLiteral("新增 1 行，更新 1 行，拒绝 8 行"));
        QCOMPARE(rows(m_cn, staffRows), (QStringList{QStringLiteral("0012|张三丰|一组|3000|15|0"),
                                                     QStringLiteral("0013|王五|二组|1234.5678|10|0"),
                                                     QStringLiteral("A7|李四|<null>|0|<null>|-1")}));

        // 跳过已有: the existing worker stays as it is.
        plan = check(path, ImportTarget::Staff, false);
        QCOMPARE(plan.added, 0);
        QCOMPARE(plan.skipped, 2);
        QCOMPARE(applyImport(m_cn, plan).updated, 0);
        QCOMPARE(rows(m_cn, staffRows).size(), 3);

        // The refused rows go out with their reasons and read back.
        const QString refused = m_dir->file(QStringLiteral("refused.xlsx"));
        writeRefusedRows(plan, refused);
        auto reader = SheetReader::open(refused);
        SheetRow row;
        QVERIFY(reader->next(row));
        QCOMPARE(row.cells.value(5).text, QStringLiteral("拒绝原因"));
        QVERIFY(reader->next(row));
        QCOMPARE(row.cells.value(0).kind, SheetCell::Kind::Empty);
        QCOMPARE(row.cells.value(1).text, QStringLiteral("赵六"));
        QCOMPARE(row.cells.value(5).text, QStringLiteral("第 4 行：缺少工号"));
    }

    // The state of a worker or process and a worker's fixed amounts: read by the words the export
    // writes and the month's item names or codes; an empty cell stores what the window stores in a new
    // row and keeps the stored value in an update, and the preview says what an empty state means.
    void statesAndFixedAmounts() {
        nameFixedItem(m_cn, QStringLiteral("A02"), QStringLiteral("固定工资"));
        m_cn.exec(QStringLiteral("update staff set A02=500, A03=20 where StaffCode='0012'"));
        const QString staff = csv(*m_dir, QStringLiteral("staff.csv"),
                                  QStringLiteral("工号,姓名,班组,状态,固定工资,A03\n"
                                                 "0013,王五,,辞退,1200.5,30\n"  // 2
                                                 "0014,赵六,,,,\n"              // 3
                                                 "0012,张三,,辞退,,25\n"        // 4
                                                 "A7,李四,,在职,,\n"            // 5
                                                 "0015,钱七,,离职,,\n"          // 6
                                                 "0016,孙八,,,x,\n"));          // 7
        ImportPlan plan = check(staff, ImportTarget::Staff);
        QCOMPARE(plan.refused(), 2);
        QCOMPARE(reasonOf(plan, 6), QStringLiteral("状态只能是“在职”或“辞退”：离职"));
        QCOMPARE(reasonOf(plan, 7), QStringLiteral("固定工资不是数字：x"));
        QCOMPARE(plan.preview.at(0).reason, QString());
        QCOMPARE(plan.preview.at(1).reason, QStringLiteral("状态未填：按在职新增"));
        applyImport(m_cn, plan);
        QCOMPARE(rows(m_cn, QStringLiteral("select StaffCode, ClassGroup, Firedd, A02, A03, A04 from staff "
                                           "order by 1")),
                 (QStringList{QStringLiteral("0012|一组|-1|500|25|0"), QStringLiteral("0013||-1|1200.5|30|0"),
                              QStringLiteral("0014||0|0|0|0"), QStringLiteral("A7|<null>|0|0|0|0")}));
        m_cn.exec(QStringLiteral("update job set stopp=-1 where JobCode='J2'"));
        const QString jobs = csv(*m_dir, QStringLiteral("job.csv"),
                                 QStringLiteral("工序号,状态,款式\n001,完工,\nJ2,,\n003,,\n"));
        plan = check(jobs, ImportTarget::Job);
        QCOMPARE(plan.preview.at(1).reason, QStringLiteral("状态未填：开工或完工保持不变"));
        QCOMPARE(plan.preview.at(2).reason, QStringLiteral("状态未填：按开工新增"));
        applyImport(m_cn, plan);
        QCOMPARE(
            rows(m_cn, QStringLiteral("select JobCode, Description, StyleGroup, stopp from job order by 1")),
            (QStringList{QStringLiteral("001|上领|T恤|-1"), QStringLiteral("003|||0"),
                         QStringLiteral("J2|锁边|<null>|-1")}));
    }

    // Piece records: the dates in every form a sheet holds them, and every reason a record is refused;
    // a repeat of a stored record is found both with the day's records held and looked up one by one.
    void pieceRecords_data() {
        QTest::addColumn<int>("held");
        QTest::newRow("records held") << ImportOptions().storedRecordsHeld;
        QTest::newRow("looked up") << 0;
    }
    void pieceRecords() {
        QFETCH(int, held);
        const QString path = csv(*m_dir, QStringLiteral("pieces.csv"),
                                 QStringLiteral("日期,工号姓名,工序,数量\n"
                                                "2026-11-03,0012    张三,001,5\n"  // 2
                                                "2026/11/3,A7,J2,6\n"              // 3 (a dismissed worker's)
                                                "20261104,0012,J2,7\n"             // 4
                                                "46330,0012,001,8\n"               // 5 serial: 2026-11-04
                                                "2026-13-01,0012,001,1\n"          // 6 bad date
                                                "2026-11-05,0099,001,1\n"          // 7 unknown worker
                                                "2026-11-05,0012,XX,1\n"           // 8 unknown process
                                                "2026-11-05,0012,001,2.5\n"        // 9 bad number
                                                "2026-11-05,0012,001,1000001\n"    // 10 beyond a day's pieces
                                                "2026-11-03,0012,001,5\n"          // 11 repeats row 2
                                                "2026-11-02,0012,001,10\n"  // 12 repeats a stored record
                                                ",0012,001,1\n"));          // 13 missing date
        ImportPlan plan = check(path, ImportTarget::PieceWork, true, held);
        QCOMPARE(plan.added, 4);
        QCOMPARE(plan.refused(), 8);
        QVERIFY(reasonOf(plan, 6).startsWith(QStringLiteral("日期无法识别")));
        QCOMPARE(reasonOf(plan, 7), QStringLiteral("没有工号为 0099 的员工"));
        QCOMPARE(reasonOf(plan, 8), QStringLiteral("没有编号为 XX 的工序"));
        QVERIFY(reasonOf(plan, 9).startsWith(QStringLiteral("数量不是整数")));
        QVERIFY(reasonOf(plan, 10).startsWith(QStringLiteral("数量不能超过 1000000 件")));
        QCOMPARE(reasonOf(plan, 11), QStringLiteral("与第 2 行的计件记录重复"));
        QCOMPARE(reasonOf(plan, 12), QStringLiteral("与已有的计件记录重复"));
        QCOMPARE(reasonOf(plan, 13), QStringLiteral("缺少日期"));
        applyImport(m_cn, plan);
        QCOMPARE(
            rows(m_cn, pieceRows),
            (QStringList{QStringLiteral("2026-11-02|0012|001|10"), QStringLiteral("2026-11-03|0012|001|5"),
                         QStringLiteral("2026-11-03|A7|J2|6"), QStringLiteral("2026-11-04|0012|001|8"),
                         QStringLiteral("2026-11-04|0012|J2|7")}));
    }

    // Cells as a careless or hostile sheet holds them, in a file that starts with a byte order mark: a
    // count is read as the piece-work grid reads one typed, a day with a time that no clock shows is
    // refused, and so is a text holding an invisible character other than a tab.
    void cellValues_data() {
        QTest::addColumn<bool>("staff");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("outcome");  // the reason the row is refused, or the row stored
        const bool staff = true;
        const bool pieces = false;
        QTest::newRow("NUL in a name") << staff << QStringLiteral("0013,赵\0六")
                                       << QStringLiteral("姓名含有不可见的控制字符（第 2 个字符）");
        QTest::newRow("CR LF in a work number") << staff << QStringLiteral("\"00\r\n13\",赵六")
                                                << QStringLiteral("工号含有不可见的控制字符（第 3 个字符）");
        QTest::newRow("BOM before a name") << staff << QStringLiteral("0013,\uFEFF赵六")
                                           << QStringLiteral("姓名含有不可见的控制字符（第 1 个字符）");
        QTest::newRow("C1 control") << staff << QStringLiteral("0013,𠀀赵\x85六")
                                    << QStringLiteral("姓名含有不可见的控制字符（第 3 个字符）");
        QTest::newRow("line break around a code")
            << staff << QStringLiteral("\"\r\n0013\r\n\",赵六") << QStringLiteral("0013|赵六");
        QTest::newRow("tab in a name")
            << staff << QStringLiteral("0013,赵\t六") << QStringLiteral("0013|赵\t六");
        QTest::newRow("exponent") << pieces << QStringLiteral("2026-11-03,0012,001,1e3")
                                  << QStringLiteral("数量不是整数：1e3");
        QTest::newRow("hexadecimal") << pieces << QStringLiteral("2026-11-03,0012,001,0x10")
                                     << QStringLiteral("数量不是整数：0x10");
        QTest::newRow("thousands") << pieces << QStringLiteral("2026-11-03,0012,001,\"1,000\"")
                                   << QStringLiteral("2026-11-03|1000");
        QTest::newRow("plus sign") << pieces << QStringLiteral("2026-11-03,0012,001,+5")
                                   << QStringLiteral("2026-11-03|5");
        QTest::newRow("blanks") << pieces << QStringLiteral("2026-11-03,0012,001, 12 ")
                                << QStringLiteral("2026-11-03|12");
        QTest::newRow("point zero") << pieces << QStringLiteral("2026-11-03,0012,001,12.0")
                                    << QStringLiteral("2026-11-03|12");
        QTest::newRow("impossible time") << pieces << QStringLiteral("2025/03/08 25:99,0012,001,1")
                                         << QStringLiteral("日期中的时间不存在：2025/03/08 25:99");
        QTest::newRow("midnight as 24:00") << pieces << QStringLiteral("2025/03/08 24:00,0012,001,1")
                                           << QStringLiteral("日期中的时间不存在：2025/03/08 24:00");
        QTest::newRow("time of day") << pieces << QStringLiteral("2025/3/8 7:05,0012,001,1")
                                     << QStringLiteral("2025-03-08|1");
        QTest::newRow("ISO date and time")
            << pieces << QStringLiteral("2025-03-08T23:59:59.5,0012,001,1") << QStringLiteral("2025-03-08|1");
        QTest::newRow("words after the day") << pieces << QStringLiteral("2025-03-08 上午,0012,001,1")
                                             << QStringLiteral("日期无法识别：2025-03-08 上午");
    }
    void cellValues() {
        QFETCH(bool, staff);
        QFETCH(QString, row);
        QFETCH(QString, outcome);
        const QString titles = staff ? QStringLiteral("工号,姓名") : QStringLiteral("日期,工号,工序,数量");
        const QString path =
            csv(*m_dir, QStringLiteral("cells.csv"), QChar(0xFEFF) + titles + QLatin1Char('\n') + row);
        const ImportPlan plan = check(path, staff ? ImportTarget::Staff : ImportTarget::PieceWork);
        if (plan.refused() > 0) {
            QCOMPARE(reasonOf(plan, 2), outcome);
            return;
        }
        applyImport(m_cn, plan);
        QCOMPARE(
            rows(m_cn, staff ? QStringLiteral("select StaffCode, StaffName from staff where staffID > 2")
                             : QStringLiteral("select dateD, qty from JobData where dateD <> '2026-11-02'")),
            QStringList{outcome});
    }

    // A code the sheet stored as a number is taken as the digits its format shows, and the preview says so.
    void codeStoredAsNumber() {
        Connection scratch;
        scratch.openInMemory();
        scratch.execScript(
            QStringLiteral("create table t (code integer, descr varchar(10), price double);"
                           "insert into t values (1, '上领', 0.35), (77, '锁边', 2.5);"));
        const QString path = m_dir->file(QStringLiteral("jobs.xlsx"));
        exportQuery(scratch, QStringLiteral("select code, descr, price from t"),
                    {QStringLiteral("工序编号"), QStringLiteral("描述"), QStringLiteral("工价")}, path);
        ImportPlan plan = check(path, ImportTarget::Job);
        QCOMPARE(plan.refused(), 0);
        QCOMPARE(plan.added, 2);
        QCOMPARE(plan.preview.at(0).reason,
                 QStringLiteral("工序编号在表中存为数字，按“1”导入；状态未填：按开工新增"));
        applyImport(m_cn, plan);
        QCOMPARE(rows(m_cn, jobRows).first(), QStringLiteral("001|上领|T恤|0.35|0"));
        QVERIFY(rows(m_cn, jobRows).contains(QStringLiteral("77|锁边||2.5|0")));
    }

    // A cancel and a row the database refuses both leave the account set as it was.
    void allOrNothing() {
        QString text = QStringLiteral("工号,姓名\n");
        for (int i = 0; i < 5000; ++i) text += QStringLiteral("W%1,工人%1\n").arg(i);
        ImportPlan plan = check(csv(*m_dir, QStringLiteral("many.csv"), text), ImportTarget::Staff);
        QCOMPARE(plan.added, 5000);
        int calls = 0;
        int seenTotal = 0;
        const ImportResult r = applyImport(m_cn, plan, [&](int done, int total) {
            ++calls;
            seenTotal = total;
            return done < 2048;
        });
        QCOMPARE(seenTotal, 5000);
        QVERIFY(r.cancelled);
        QVERIFY(calls >= 2);
        QCOMPARE(rows(m_cn, staffRows).size(), 2);
        QVERIFY(!m_cn.inTransaction());

        // A worker stored by someone else between the check and the import: the database refuses the
        // second copy and nothing of the sheet is stored.
        m_cn.exec(
            QStringLiteral("insert into staff (StaffCode, StaffName, Firedd) values ('W4999', 'x', 0)"));
        QVERIFY_THROWS_EXCEPTION(DbError, applyImport(m_cn, plan));
        QCOMPARE(rows(m_cn, staffRows).size(), 3);

        // Piece records go in many to a statement. One that another desk stored between the check and
        // the import, in the last and shorter statement, is refused in the same words on every engine,
        // and none of the sheet's records is stored; without it all of them are, each once.
        QString pieces = QStringLiteral("日期,工号,工序,数量\n");
        for (int i = 1; i <= 700; ++i) pieces += QStringLiteral("2026-11-05,0012,001,%1\n").arg(i);
        plan = check(csv(*m_dir, QStringLiteral("pieces.csv"), pieces), ImportTarget::PieceWork);
        QCOMPARE(plan.added, 700);
        Connection desk;
        hxtest::openAgain(desk, m_cn);
        const QString stored = QStringLiteral("dateD='2026-11-05' and staffID=1 and jobID=1 and qty=699");
        desk.exec(
            QStringLiteral("insert into JobData (dateD, staffID, jobID, qty) values ('2026-11-05', 1, "
                           "1, 699)"));
        QString refusal;
        try {
            applyImport(m_cn, plan);
        } catch (const DbError& e) {
            refusal = e.message();
        }
        QCOMPARE(refusal, QStringLiteral("与已有的记录重复，没有保存。"));
        QCOMPARE(hxtest::rowCount(desk, QStringLiteral("JobData")), 2);
        QVERIFY(!m_cn.inTransaction());
        QCOMPARE(desk.exec(QStringLiteral("delete from JobData where ") + stored), 1);
        QCOMPARE(applyImport(m_cn, plan).added, 700);
        QCOMPARE(hxtest::rowCount(desk, QStringLiteral("JobData"), QStringLiteral("dateD='2026-11-05'")),
                 700);
        QCOMPARE(
            desk.scalar(QStringLiteral("select count(distinct qty) from JobData where dateD='2026-11-05'"))
                .toInt(),
            700);
        QCOMPARE(hxtest::rowCount(desk, QStringLiteral("JobData"), stored), 1);
    }

    // Export the registers and the month's piece-work records, import them into a fresh account set, and
    // the tables hold the same rows.
    void roundTrip() {
        m_cn.execScript(QStringLiteral(
            "insert into staff (StaffCode, StaffName, ClassGroup, LevelSalary, salaryDay, Firedd) values "
            "('0003', 'O\"Neil', '二组', 0.0001, 31, 0);"
            "insert into JobData values ('2026-11-02', 3, 2, -3), ('2026-11-30', 2, 2, 1000000);"));
        const QString staffFile = m_dir->file(QStringLiteral("s.xlsx"));
        const QString jobFile = m_dir->file(QStringLiteral("j.xlsx"));
        const QString pieceFile = m_dir->file(QStringLiteral("p.xlsx"));
        exportQuery(m_cn,
                    QStringLiteral("select StaffCode, StaffName, ClassGroup, LevelSalary, salaryDay, "
                                   "case Firedd when 0 then '在职' else '辞退' end from staff"),
                    {QStringLiteral("工号"), QStringLiteral("姓名"), QStringLiteral("班组"),
                     QStringLiteral("能力工资"), QStringLiteral("发薪日"), QStringLiteral("状态")},
                    staffFile);
        m_cn.exec(QStringLiteral("update job set stopp=-1 where JobCode='J2'"));
        exportQuery(m_cn,
                    QStringLiteral("select JobCode, Description, StyleGroup, UnitPrice, "
                                   "case stopp when 0 then '开工' else '完工' end from job"),
                    {QStringLiteral("工序号"), QStringLiteral("工艺描述"), QStringLiteral("对应款式"),
                     QStringLiteral("工价"), QStringLiteral("状态")},
                    jobFile);
        exportQuery(m_cn,
                    QStringLiteral("select dateD, staffCode||'    '||staffName, jobCode, qty from qryData "
                                   "where dateD between '2026-11-01' and '2026-11-30'"),
                    {QStringLiteral("日期"), QStringLiteral("工号姓名"), QStringLiteral("工序"),
                     QStringLiteral("数量")},
                    pieceFile);

        QStringList staffBefore = rows(m_cn, staffRows);
        QStringList jobsBefore = rows(m_cn, jobRows);
        const QStringList piecesBefore = rows(m_cn, pieceRows);
        m_cn.close();
        m_dir->newAccountSet(QStringLiteral("新账套")).open(m_cn);
        for (const auto& [file, target] : {std::pair{staffFile, ImportTarget::Staff},
                                           {jobFile, ImportTarget::Job},
                                           {pieceFile, ImportTarget::PieceWork}}) {
            const ImportPlan plan = check(file, target);
            QCOMPARE(plan.refused(), 0);
            applyImport(m_cn, plan);
        }
        // A stored NULL 班组 or 款式 is exported as an empty cell and comes back as the empty text the
        // windows store.
        QCOMPARE(rows(m_cn, staffRows), staffBefore.replaceInStrings(QStringLiteral("|<null>|0|<null>|"),
                                                                     QStringLiteral("||0|<null>|")));
        QCOMPARE(rows(m_cn, jobRows),
                 jobsBefore.replaceInStrings(QStringLiteral("|<null>|"), QStringLiteral("||")));
        QCOMPARE(rows(m_cn, pieceRows), piecesBefore);
    }
};

HX_BOTH_ENGINES;
QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
