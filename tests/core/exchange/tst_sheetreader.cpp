#include <xlsxwriter.h>
#include <zip.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "core/data/connection.h"
#include "core/data/dataset.h"
#include "core/data/errors.h"
#include "core/exchange/sheetreader.h"
#include "core/exchange/xlsxexport.h"
#include "support/coresupport.h"
#include "support/hostilesheets.h"

using namespace hx;

namespace {

QVector<SheetRow> readAll(const QString& path) {
    auto reader = SheetReader::open(path);
    QVector<SheetRow> rows;
    SheetRow row;
    while (reader->next(row)) rows.append(row);
    return rows;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

class TestSheetReader : public QObject {
    Q_OBJECT

  private slots:
    // A sheet our own export writes reads back cell for cell: texts that look like numbers stay texts,
    // numbers keep their exact decimals, dates come back as days, yes/no as logical cells, and an
    // empty value leaves a gap rather than shifting the row.
    void ownExportReadsBack() {
        hxtest::TempProgramDir dir;
        Connection cn;
        cn.openInMemory();
        cn.execScript(QStringLiteral(
            "create table t (code varchar(10), name varchar(10), pay currency, day date, flag yesno);"
            "insert into t values ('0012', '张三', 1234.5678, '2026-11-03', -1);"
            "insert into t values ('A7', NULL, 0.1, '1900-01-01', 0);"));
        DataSet ds(&cn);
        ds.setSql(QStringLiteral("select code, name, pay, day, flag from t"));
        ds.open();
        const QString path = dir.file(QStringLiteral("out.xlsx"));
        writeXlsx(ds,
                  {{QStringLiteral("工号"), 0},
                   {QStringLiteral("姓名"), 1},
                   {QStringLiteral("能力工资"), 2},
                   {QStringLiteral("日期"), 3},
                   {QStringLiteral("辞退"), 4}},
                  path);

        const auto rows = readAll(path);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].line, 1);
        QCOMPARE(rows[0].cells.size(), 5);
        QCOMPARE(rows[0].cells[1].text, QStringLiteral("姓名"));
        const auto& first = rows[1].cells;
        QCOMPARE(first[0].kind, SheetCell::Kind::Text);
        QCOMPARE(first[0].text, QStringLiteral("0012"));
        QCOMPARE(first[2].kind, SheetCell::Kind::Number);
        QCOMPARE(first[2].text, QStringLiteral("1234.5678"));
        QCOMPARE(first[3].kind, SheetCell::Kind::Date);
        QCOMPARE(first[3].date, QDate(2026, 11, 3));
        QCOMPARE(first[4].kind, SheetCell::Kind::Boolean);
        QCOMPARE(first[4].text, QStringLiteral("1"));
        const auto& second = rows[2].cells;
        QCOMPARE(second[1].kind, SheetCell::Kind::Empty);
        QCOMPARE(second[2].text, QStringLiteral("0.1"));
        // The first day of the 1900 system.
        QCOMPARE(second[3].date, QDate(1900, 1, 1));
        QCOMPARE(second[4].text, QStringLiteral("0"));
    }

    // Serial numbers of the 1900 system, around the day that never was.
    void serialDays() {
        hxtest::TempProgramDir dir;
        const QString path = dir.file(QStringLiteral("a.csv"));
        writeFile(path, "x\n");
        auto reader = SheetReader::open(path);
        QCOMPARE(reader->dateOfSerial(1), QDate(1900, 1, 1));
        QCOMPARE(reader->dateOfSerial(59), QDate(1900, 2, 28));
        QVERIFY(!reader->dateOfSerial(60).isValid());
        QCOMPARE(reader->dateOfSerial(61), QDate(1900, 3, 1));
        QCOMPARE(reader->dateOfSerial(46329), QDate(2026, 11, 3));
        QCOMPARE(reader->dateOfSerial(46329.75), QDate(2026, 11, 3));
        QVERIFY(!reader->dateOfSerial(-1).isValid());
        QVERIFY(!reader->dateOfSerial(1e12).isValid());
    }

    // A sheet written by LibreOffice (shared strings, styles of its own, number formats by id).
    void libreOfficeSheet() {
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty()) QSKIP("LibreOffice (soffice) is not installed: its sheet is not tried");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString csv = dir.filePath(QStringLiteral("staff.csv"));
        writeFile(csv, "工号,姓名,能力工资,日期\n0012,张三,1234.5,2026-11-03\nA7,李四,0.1,2026-02-28\n");
        QProcess p;
        p.setWorkingDirectory(dir.path());
        // A profile of its own, so that a running office or a missing home does not stop it.
        p.start(soffice,
                {QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
                 QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("xlsx"),
                 QStringLiteral("--infilter=CSV:44,34,76,1,,2052,false,false,false,false,false"), csv,
                 QStringLiteral("--outdir"), dir.path()});
        if (!p.waitForFinished(90000) || !QFile::exists(dir.filePath(QStringLiteral("staff.xlsx"))))
            QSKIP("LibreOffice did not convert the file here");

        const auto rows = readAll(dir.filePath(QStringLiteral("staff.xlsx")));
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].cells[0].text, QStringLiteral("工号"));
        // LibreOffice takes 0012 for the number 12: the reader hands over what the file holds.
        QCOMPARE(rows[1].cells[0].kind, SheetCell::Kind::Number);
        QCOMPARE(rows[1].cells[0].text, QStringLiteral("12"));
        QCOMPARE(rows[1].cells[1].text, QStringLiteral("张三"));
        QCOMPARE(rows[1].cells[2].text, QStringLiteral("1234.5"));
        QCOMPARE(rows[1].cells[3].kind, SheetCell::Kind::Date);
        QCOMPARE(rows[1].cells[3].date, QDate(2026, 11, 3));
        QCOMPARE(rows[2].cells[0].kind, SheetCell::Kind::Text);
        QCOMPARE(rows[2].cells[0].text, QStringLiteral("A7"));
        QCOMPARE(rows[2].cells[3].date, QDate(2026, 2, 28));
    }

    // A .csv in UTF-8 with and without its mark, and in GBK as Chinese Excel saves it; quoted fields
    // with separators, quotes and line breaks; empty lines are no rows.
    void csvEncodings() {
        const QString text =
            QStringLiteral("工号,姓名,班组\r\n0012,张三,\"一组,A\"\r\n\r\n\"x\"\"y\",\"两\n行\",\r\n");
        QByteArray gbk;
        {
            // 工号 姓名 班组 张三 一组 两 行 in GBK.
            gbk = QByteArray::fromHex(
                "b9a4bac52cd0d5c3fb2cb0e0d7e90d0a303031322cd5c5c8fd2c22d2bbd7e92c41220d0a0d0a2278222279222c22"
                "c1bd0ad0d0"
                "222c0d0a");
        }
        hxtest::TempProgramDir dir;
        const QString plain = dir.file(QStringLiteral("plain.csv"));
        const QString marked = dir.file(QStringLiteral("marked.csv"));
        const QString chinese = dir.file(QStringLiteral("gbk.csv"));
        writeFile(plain, text.toUtf8());
        writeFile(marked, QByteArray("\xEF\xBB\xBF") + text.toUtf8());
        writeFile(chinese, gbk);
        for (const QString& path : {plain, marked, chinese}) {
            const auto rows = readAll(path);
            QCOMPARE(rows.size(), 3);
            QCOMPARE(rows[0].cells[0].text, QStringLiteral("工号"));
            QCOMPARE(rows[0].cells[2].text, QStringLiteral("班组"));
            QCOMPARE(rows[1].cells[0].kind, SheetCell::Kind::Text);
            QCOMPARE(rows[1].cells[0].text, QStringLiteral("0012"));
            QCOMPARE(rows[1].cells[1].text, QStringLiteral("张三"));
            QCOMPARE(rows[1].cells[2].text, QStringLiteral("一组,A"));
            QCOMPARE(rows[2].line, 4);
            QCOMPARE(rows[2].cells[0].text, QStringLiteral("x\"y"));
            QCOMPARE(QString(rows[2].cells[1].text).remove(QLatin1Char('\r')), QStringLiteral("两\n行"));
            QCOMPARE(rows[2].cells.size(), 2);
        }
        // One line in GBK in a file in UTF-8: refused, naming the line, rather than read whole as GBK.
        const QString mixed = dir.file(QStringLiteral("mixed.csv"));
        writeFile(mixed, QStringLiteral("工号,姓名\n0012,张三\n").toUtf8() +
                             QByteArray::fromHex("303031332cd5c5c8fd0a") +
                             QStringLiteral("0014,李四\n").toUtf8());
        try {
            readAll(mixed);
            QFAIL("a file of two encodings was read");
        } catch (const FileError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("第 3 行不是")), qPrintable(e.message()));
        }
    }

    // A large sheet comes row by row and in order; one damaged far down gives its rows up to the damage
    // and then the error; a reader dropped half-way is simply gone.
    void largeAndDamagedSheets() {
        hxtest::TempProgramDir dir;
        const QString path = dir.file(QStringLiteral("big.xlsx"));
        const int rows = 5000;
        {
            lxw_workbook* book = workbook_new(QFile::encodeName(path).constData());
            lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
            for (int r = 0; r < rows; ++r) {
                worksheet_write_number(sheet, lxw_row_t(r), 0, r, nullptr);
                worksheet_write_string(sheet, lxw_row_t(r), 1, QByteArray::number(r * 7).constData(),
                                       nullptr);
            }
            QCOMPARE(workbook_close(book), LXW_NO_ERROR);
        }
        const QVector<SheetRow> all = readAll(path);
        QCOMPARE(all.size(), rows);
        for (int r = 0; r < rows; ++r) {
            QCOMPARE(all[r].line, r + 1);
            QCOMPARE(all[r].cells.value(1).text, QString::number(r * 7));
        }
        {
            auto reader = SheetReader::open(path);
            SheetRow row;
            for (int i = 0; i < 10; ++i) QVERIFY(reader->next(row));
        }

        // The sheet cut off inside row 4001.
        int error = 0;
        zip_t* zip = zip_open(QFile::encodeName(path).constData(), 0, &error);
        QVERIFY(zip);
        const char* member = "xl/worksheets/sheet1.xml";
        zip_file_t* file = zip_fopen(zip, member, 0);
        QVERIFY(file);
        QByteArray xml;
        char buffer[65536];
        for (zip_int64_t n; (n = zip_fread(file, buffer, sizeof buffer)) > 0;)
            xml.append(buffer, qsizetype(n));
        zip_fclose(file);
        const qsizetype cut = xml.indexOf("<row r=\"4001\"");
        QVERIFY(cut > 0);
        xml.truncate(cut + 20);
        zip_source_t* source = zip_source_buffer(zip, xml.constData(), zip_uint64_t(xml.size()), 0);
        QVERIFY(zip_file_add(zip, member, source, ZIP_FL_OVERWRITE) >= 0);
        QCOMPARE(zip_close(zip), 0);

        auto reader = SheetReader::open(path);
        SheetRow row;
        int read = 0;
        try {
            while (reader->next(row)) {
                QCOMPARE(row.line, read + 1);
                ++read;
            }
            QFAIL("a damaged sheet read to its end");
        } catch (const FileError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("xl/worksheets/sheet1.xml 不完整")),
                     qPrintable(e.message()));
        }
        QCOMPARE(read, 4000);

        // Damaged XML is told in words, with the part and the line, without the XML reader's English.
        QVERIFY(hxtest::writeParts(
            path, hxtest::workbookParts(
                      "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>\n<row r=\"2\"><c r=\"A2\"<v>")));
        try {
            readAll(path);
            QFAIL("damaged XML was read");
        } catch (const FileError& e) {
            QString words = e.message();
            QVERIFY2(words.contains(QStringLiteral("xl/worksheets/sheet1.xml 第 2 行")), qPrintable(words));
            words.remove(QDir::toNativeSeparators(path)).remove(QStringLiteral("xl/worksheets/sheet1.xml"));
            QVERIFY2(!words.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))), qPrintable(words));
        }
    }

    // Workbooks built to exhaust memory are refused before they do, naming the part: one whose part is
    // stated larger than a workbook holds, one with a run of text the XML reader would hold whole, one
    // whose shared texts fill more memory than they should. Reading many shared texts tells its
    // progress before the first row and stops when asked to.
    void hostileWorkbooks() {
        hxtest::TempProgramDir dir;
        const QString path = dir.file(QStringLiteral("hostile.xlsx"));
        const auto refused = [&](const QVector<hxtest::RepeatedPart>& parts, const QString& part) {
            QVERIFY(hxtest::writeParts(path, parts));
            try {
                SheetReader::open(path);
                QFAIL("a hostile workbook was opened");
            } catch (const FileError& e) {
                QVERIFY2(e.message().startsWith(QStringLiteral("文件过大或已损坏，没有导入")) &&
                             e.message().contains(part),
                         qPrintable(e.message()));
            }
        };
        refused(hxtest::inflatingPart(QStringLiteral("xl/workbook.xml"), 210 << 20),
                QStringLiteral("xl/workbook.xml"));
        auto parts = hxtest::workbookParts({});
        auto& styles = hxtest::partNamed(parts, QStringLiteral("xl/styles.xml"));
        styles.head += "<x>";
        styles.body = QByteArray(1 << 16, ' ');
        styles.times = 80;
        styles.tail.prepend("</x>");
        refused(parts, QStringLiteral("xl/styles.xml"));
        parts = hxtest::workbookParts({});
        auto& strings = hxtest::partNamed(parts, QStringLiteral("xl/sharedStrings.xml"));
        strings.body = "<si><t>" + QByteArray(30000, 'a') + "</t></si>";
        strings.times = 1200;
        refused(parts, QStringLiteral("xl/sharedStrings.xml"));

        QVERIFY(hxtest::writeParts(path, hxtest::manySharedStrings(300000)));
        QVector<double> shares;
        QVERIFY(SheetReader::open(path, 0, [&](double share) {
            shares.append(share);
            return true;
        }));
        QVERIFY(shares.size() >= 5);
        QVERIFY(shares.first() < 0.1 && shares.last() > 0.5 && shares.last() < 1);
        int calls = 0;
        QVERIFY_THROWS_EXCEPTION(ReadCancelled,
                                 SheetReader::open(path, 0, [&](double) { return ++calls < 2; }));
        QCOMPARE(calls, 2);
    }

    void notASpreadsheet() {
        hxtest::TempProgramDir dir;
        const QString path = dir.file(QStringLiteral("bad.xlsx"));
        writeFile(path, "this is no zip file");
        QVERIFY_THROWS_EXCEPTION(FileError, SheetReader::open(path));
        QVERIFY_THROWS_EXCEPTION(FileError, SheetReader::open(dir.file(QStringLiteral("missing.xlsx"))));
        writeFile(dir.file(QStringLiteral("old.xls")), "x");
        try {
            SheetReader::open(dir.file(QStringLiteral("old.xls")));
            QFAIL("an .xls file was taken");
        } catch (const FileError& e) {
            QVERIFY(e.message().contains(QStringLiteral(".xlsx")));
        }
    }
};

QTEST_GUILESS_MAIN(TestSheetReader)
#include "tst_sheetreader.moc"
