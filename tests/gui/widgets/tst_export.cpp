#include <QDir>
#include <QHeaderView>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QXmlStreamReader>
#include <QtTest>
#include <cerrno>
#include <cstring>

#include "core/data/connection.h"
#include "core/data/dataset.h"
#include "core/data/datasetmodel.h"
#include "core/exchange/sheetreader.h"
#include "gui/widgets/export.h"
#include "support/testsupport.h"
#include "support/xlsxreader.h"

using namespace hx;
using hxtest::isText;
using hxtest::readSheet;

class TestExport : public QObject {
    Q_OBJECT

    std::unique_ptr<hxtest::ScriptedDialogs> dialogs;
    std::unique_ptr<QTemporaryDir> out;
    Connection cn;
    std::unique_ptr<hxtest::OpenAccountSet> dir;

    void addWorker(const QString& code, const QString& name, const QString& level, const QVariant& day,
                   int fired, const QVariant& group) {
        cn.exec(QStringLiteral("insert into staff (StaffCode, StaffName, LevelSalary, salaryDay, Firedd, "
                               "ClassGroup) values (?, ?, ?, ?, ?, ?)"),
                {code, name, QVariant::fromValue(*Money::parse(level)), day, fired, group});
    }

    // A grid over the worker register, the name column hidden in the view.
    struct Grid {
        DataSet ds;
        DataSetModel model;
        QTableView view;
        explicit Grid(Connection* cn) : ds(cn), model(&ds) {
            ds.setSql(
                QStringLiteral("select StaffCode, StaffName, LevelSalary, salaryDay, Firedd, ClassGroup "
                               "from staff order by StaffCode"));
            model.setColumns({{"StaffCode", "工号"},
                              {"StaffName", "姓名"},
                              {"LevelSalary", "级别工资"},
                              {"salaryDay", "发薪日"},
                              {"Firedd", "辞退"},
                              {"ClassGroup", "班组"}});
            view.setModel(&model);
        }
    };

    QString target(const QString& name) const { return out->filePath(name); }

  private slots:
    void init() {
        dir = std::make_unique<hxtest::OpenAccountSet>(cn, QStringLiteral("t"));
        dialogs = std::make_unique<hxtest::ScriptedDialogs>();
        out = std::make_unique<QTemporaryDir>();
        addWorker("0012", "张三", "1200.5", 5, 0, "车缝一组");
        addWorker("0020", "李四", "0.1", QVariant(), -1, QVariant());
    }
    void cleanup() {
        HX_VERIFY_DIALOGS(*dialogs);
        dialogs.reset();
        out.reset();
        dir.reset();
    }

    void writesShownColumnsPackedWithTypedCells() {
        Grid g(&cn);
        g.ds.open();
        g.view.setColumnHidden(1, true);
        dialogs->chooseFile(target("a.xlsx"));
        ExportGridToExcel(&g.view);

        QCOMPARE(dialogs->shown.size(), 1);
        QCOMPARE(dialogs->shown[0].kind, QStringLiteral("saveFile"));
        QCOMPARE(dialogs->shown[0].text, QStringLiteral("电子表格|*.xlsx"));
        const auto cells = readSheet(target("a.xlsx"));
        QVERIFY2(!cells.isEmpty(), "the file is a readable spreadsheet");
        QCOMPARE(cells["A1"].value, QStringLiteral("工号"));
        QCOMPARE(cells["B1"].value, QStringLiteral("级别工资"));
        QCOMPARE(cells["C1"].value, QStringLiteral("发薪日"));
        QCOMPARE(cells["D1"].value, QStringLiteral("辞退"));
        QCOMPARE(cells["E1"].value, QStringLiteral("班组"));
        QVERIFY2(!cells.contains("F1"), "the hidden column leaves no gap");

        QVERIFY(isText(cells["A2"]));
        QCOMPARE(cells["A2"].value, QStringLiteral("0012"));
        QCOMPARE(cells["B2"].type, QStringLiteral("n"));
        QCOMPARE(cells["B2"].value, QStringLiteral("1200.5"));
        QCOMPARE(cells["C2"].type, QStringLiteral("n"));
        QCOMPARE(cells["C2"].value, QStringLiteral("5"));
        QCOMPARE(cells["D2"].type, QStringLiteral("b"));
        QCOMPARE(cells["D2"].value, QStringLiteral("0"));
        QVERIFY(isText(cells["E2"]));
        QCOMPARE(cells["E2"].value, QStringLiteral("车缝一组"));

        QCOMPARE(cells["A3"].value, QStringLiteral("0020"));
        QCOMPARE(cells["B3"].value, QStringLiteral("0.1"));
        QVERIFY2(!cells.contains("C3") && !cells.contains("E3"), "empty values leave empty cells");
        QCOMPARE(cells["D3"].value, QStringLiteral("1"));
        QVERIFY(!cells.contains("A4"));
    }

    void followsTheColumnsAsTheUserArrangedThem() {
        Grid g(&cn);
        auto columns = g.model.columns();
        columns[3].visible = false;  // marked hidden in the grid's own list
        g.model.setColumns(columns);
        g.ds.open();
        g.view.horizontalHeader()->moveSection(5, 0);  // the group dragged to the front
        writeGridToXlsx(&g.view, target("b.xlsx"));
        const auto cells = readSheet(target("b.xlsx"));
        QCOMPARE(cells["A1"].value, QStringLiteral("班组"));
        QCOMPARE(cells["B1"].value, QStringLiteral("工号"));
        QCOMPARE(cells["C1"].value, QStringLiteral("姓名"));
        QCOMPARE(cells["D1"].value, QStringLiteral("级别工资"));
        QCOMPARE(cells["E1"].value, QStringLiteral("辞退"));
        QVERIFY(!cells.contains("F1"));
        QCOMPARE(cells["A2"].value, QStringLiteral("车缝一组"));
        QCOMPARE(cells["C2"].value, QStringLiteral("张三"));
    }

    void datesMoneyAndComputedColumns() {
        DataSet ds;
        ds.defineFields({Field("dateD", FieldType::Date), Field("amount", FieldType::Money),
                         Field("rate", FieldType::Double), Field("note", FieldType::Unknown)});
        ds.open();
        ds.append();
        ds.setValue(0, QDate(2024, 1, 1));
        ds.setValue(1, QVariant::fromValue(*Money::parse("2.675")));
        ds.setValue(2, 85.25);
        ds.setValue(3, qint64(7));
        ds.post();
        ds.append();
        ds.setValue(0, QDate(1899, 12, 1));
        ds.setValue(3, QStringLiteral("x"));
        ds.post();
        DataSetModel model(&ds);
        QTableView view;
        view.setModel(&model);
        writeGridToXlsx(&view, target("c.xlsx"));
        const auto cells = readSheet(target("c.xlsx"));
        QCOMPARE(cells["A2"].type, QStringLiteral("n"));
        QCOMPARE(cells["A2"].value, QStringLiteral("45292"));
        QVERIFY2(cells["A2"].style != 0, "a date cell carries a date format");
        QCOMPARE(cells["B2"].value, QStringLiteral("2.675"));
        QCOMPARE(cells["C2"].value, QStringLiteral("85.25"));
        QCOMPARE(cells["D2"].type, QStringLiteral("n"));
        QCOMPARE(cells["D2"].value, QStringLiteral("7"));
        // Before the spreadsheet's first day a date goes in as its text.
        QVERIFY(isText(cells["A3"]));
        QCOMPARE(cells["A3"].value, QStringLiteral("1899-12-01"));
        QVERIFY(isText(cells["D3"]));
    }

    // Numbers keep their exact value and show in the spreadsheet as the grid shows them, in every display
    // format the windows use: LibreOffice's own reading of the file gives the grid's texts.
    void numbersShowAsTheGridShowsThem() {
        DataSet ds;
        ds.defineFields({Field("A01", FieldType::Money), Field("B01", FieldType::Double),
                         Field("UnitPrice", FieldType::Money), Field("LevelSalary", FieldType::Money),
                         Field("rate", FieldType::Double), Field("plain", FieldType::Money),
                         Field("qty", FieldType::Double), Field("n", FieldType::Integer)});
        ds.open();
        const QStringList formats{"0.00", "0.0", "0.0000", currencyFormat(), "##0.0 %"};
        for (int i = 0; i < formats.size(); ++i) ds.field(ds.field(i).name).displayFormat = formats[i];
        const QList<QStringList> rows{
            {"5739.707", "20.25", "2.675", "-1234.5", "85.25", "2.675", "0.1", "7"},
            {"6602.637", "-0.05", "0.1", "1234567.891", "0", "-0.005", "0.125", "-3"}};
        for (const QStringList& values : rows) {
            ds.append();
            for (int i = 0; i < values.size(); ++i) ds.setValue(i, values[i]);
            ds.post();
        }
        DataSetModel model(&ds);
        QTableView view;
        view.setModel(&model);
        const QString file = target("numbers.xlsx");
        writeGridToXlsx(&view, file);

        const auto cells = readSheet(file);
        const QStringList expectedFormats{"0.00",        "0.0",  "0.0000",  "\"¥\"#,##0.00;\"¥\"\\-#,##0.00",
                                          "##0.0\" %\"", "0.00", "General", "General"};
        for (int c = 0; c < expectedFormats.size(); ++c) {
            const QString ref = QChar('A' + c) + QStringLiteral("2");
            QCOMPARE(cells[ref].type, QStringLiteral("n"));
            QCOMPARE(cells[ref].numberFormat, expectedFormats[c]);
            QCOMPARE(cells[ref].value.toDouble(), rows[0][c].toDouble());  // the stored value, not the shown
        }
        QCOMPARE(cells["A2"].value, QStringLiteral("5739.707"));
        QCOMPARE(cells["A3"].value, QStringLiteral("6602.637"));

        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty()) QSKIP("LibreOffice (soffice) is not installed: the shown texts are not tried");
        QProcess p;
        // A profile of its own, so that a running office or a missing home does not stop it; UTF-8 out.
        p.start(soffice, {QStringLiteral("-env:UserInstallation=file://") + out->filePath("profile"),
                          QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                          QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"), file,
                          QStringLiteral("--outdir"), out->path()});
        if (!p.waitForFinished(90000) || !QFile::exists(target("numbers.csv")))
            QSKIP("LibreOffice did not convert the file here");
        auto reader = SheetReader::open(target("numbers.csv"));
        SheetRow row;
        QVERIFY(reader->next(row));  // the titles
        for (int r = 0; r < rows.size(); ++r) {
            QVERIFY(reader->next(row));
            QStringList shown, grid;
            for (int c = 0; c < ds.fieldCount(); ++c) {
                shown << row.cells.value(c).text;
                grid << ds.textAt(r, c);
            }
            QCOMPARE(shown, grid);
        }
    }

    void rowBeingEditedIsExportedAsShownWithoutDisturbingTheView() {
        Grid g(&cn);
        g.ds.open();
        g.ds.setRecNo(1);
        g.ds.setValue("LevelSalary", QStringLiteral("12.5"));
        g.ds.setValue("ClassGroup", QStringLiteral("0007"));
        QSignalSpy resets(&g.model, &QAbstractItemModel::modelAboutToBeReset);
        QSignalSpy moves(&g.ds, &DataSet::currentChanged);
        writeGridToXlsx(&g.view, target("d.xlsx"));
        QCOMPARE(resets.size(), 0);
        QCOMPARE(moves.size(), 0);
        QCOMPARE(g.ds.state(), DataSetState::Edit);
        QCOMPARE(g.ds.recNo(), 1);
        const auto cells = readSheet(target("d.xlsx"));
        QCOMPARE(cells["C3"].type, QStringLiteral("n"));
        QCOMPARE(cells["C3"].value, QStringLiteral("12.5"));
        QVERIFY(isText(cells["F3"]));
        QCOMPARE(cells["F3"].value, QStringLiteral("0007"));
    }

    void emptyDataSetGivesTheTitleRowAndStillAsks() {
        cn.exec("delete from staff");
        Grid g(&cn);
        g.ds.open();
        dialogs->chooseFile(target("e"));
        ExportGridToExcel(&g.view);
        QVERIFY2(QFileInfo::exists(target("e.xlsx")), "a name without extension gets the type's extension");
        const auto cells = readSheet(target("e.xlsx"));
        QCOMPARE(cells.size(), 6);
        QCOMPARE(cells["F1"].value, QStringLiteral("班组"));
    }

    void closedDataSetWarnsAndWritesNothing() {
        Grid g(&cn);
        ExportGridToExcel(&g.view);
        QCOMPARE(dialogs->texts(), QStringList{QStringLiteral("没有数据可供导出！")});
        QCOMPARE(dialogs->lastKind(), QStringLiteral("warning"));
        QVERIFY(QDir(out->path()).isEmpty());
    }

    void cancelWritesNothing() {
        Grid g(&cn);
        g.ds.open();
        dialogs->cancelFile();
        ExportGridToExcel(&g.view);
        QCOMPARE(dialogs->shown.size(), 1);
        QVERIFY(QDir(out->path()).isEmpty());
    }

    void unwritableTargetIsReportedAndLeavesNoFile() {
        Grid g(&cn);
        g.ds.open();
        // A directory stands where the file should go: the file cannot be put there.
        QVERIFY(QDir(out->path()).mkdir("taken.xlsx"));
        dialogs->chooseFile(target("taken.xlsx"));
        ExportGridToExcel(&g.view);
        QCOMPARE(dialogs->lastKind(), QStringLiteral("information"));
        // The message, then the file system's reason.
        QCOMPARE(dialogs->lastText(),
                 QStringLiteral("转移数据至Excel出错, 请确认Excel是否安装？\n\n不能写入文件 ") +
                     target("taken.xlsx") + QStringLiteral("：已有同名的文件夹（") +
                     QString::fromLocal8Bit(std::strerror(EISDIR)) + QStringLiteral("）"));
        QCOMPARE(QDir(out->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"taken.xlsx"});
        QVERIFY(QDir(target("taken.xlsx")).isEmpty());

        dialogs->chooseFile(target("missing/f.xlsx"));
        ExportGridToExcel(&g.view);
        QCOMPARE(dialogs->lastText(),
                 QStringLiteral("转移数据至Excel出错, 请确认Excel是否安装？\n\n文件夹 ") + target("missing") +
                     QStringLiteral(" 不存在"));
        QVERIFY(!QFileInfo::exists(target("missing")));
    }

    void existingFileIsReplacedWhole() {
        Grid g(&cn);
        g.ds.open();
        QFile old(target("g.xlsx"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(200000, 'x'));
        old.close();
        dialogs->chooseFile(target("g.xlsx"));
        ExportGridToExcel(&g.view);
        QCOMPARE(readSheet(target("g.xlsx"))["A2"].value, QStringLiteral("0012"));
        QCOMPARE(QDir(out->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"g.xlsx"});
    }
};

HX_BOTH_ENGINES;
QTEST_MAIN(TestExport)
#include "tst_export.moc"
