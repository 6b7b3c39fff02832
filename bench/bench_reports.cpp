// Rows: the pay slips of one pay day of a large factory, 5,000 workers with 30 named items: laying them out
// and generating the pages, writing them as PDF, opening the preview on the first page, and turning a page.
// The sheet is made in memory (the report reads the sheet the window shows, not the database).
#include <QApplication>
#include <QFile>
#include <memory>

#include "benchmark.h"
#include "core/data/dataset.h"
#include "core/data/errors.h"
#include "core/payroll/formula.h"
#include "core/reports/payslip.h"
#include "core/reports/rvengine.h"
#include "core/reports/rvsystem.h"
#include "gui/reports/mypreview.h"

namespace {

constexpr int Workers = 5000;
constexpr int NamedItems = 30;

struct Slips {
    hx::DataSet sheet;
    hx::TRvDataSetConnection rows;
    hx::SlipLayoutData layout;
    std::optional<hx::Snapshot> snapshot;
    std::unique_ptr<hx::TmyPreviewFrm> preview;
};
std::unique_ptr<Slips> slips;

void makeSheet(hxbench::Context&) {
    slips = std::make_unique<Slips>();
    QVector<hx::Field> fields{{QStringLiteral("staffCode"), hx::FieldType::Text},
                              {QStringLiteral("staffName"), hx::FieldType::Text}};
    const QStringList& codes = hx::salaryItemCodes();
    for (const QString& code : codes)
        fields << hx::Field(code,
                            code.startsWith(QLatin1Char('T')) ? hx::FieldType::Text : hx::FieldType::Money);
    slips->sheet.defineFields(fields);
    std::vector<QVector<QVariant>> rows;
    rows.reserve(Workers);
    for (int i = 0; i < Workers; ++i) {
        QVector<QVariant> row{QStringLiteral("%1").arg(i + 1, 5, 10, QLatin1Char('0')),
                              QStringLiteral("工人%1").arg(i)};
        for (int k = 0; k < codes.size(); ++k)
            row << (codes[k].startsWith(QLatin1Char('T')) ? QVariant(QStringLiteral("正常"))
                                                          : QVariant(1234.56 + i + k));
        rows.push_back(row);
    }
    slips->sheet.openWithRows(rows);
    for (const QString& code : codes)
        if (!code.startsWith(QLatin1Char('T')))
            slips->sheet.field(code).displayFormat = QStringLiteral("0.00");
    slips->rows.dataSet = &slips->sheet;
    slips->layout.wCode = 12;
    slips->layout.wName = 14;
    for (int k = 0; k < codes.size(); ++k)
        slips->layout.items.push_back(
            {codes[k], QStringLiteral("项目%1").arg(k + 1), k < NamedItems ? 12 : 0});
}

void generate(hxbench::Context&) {
    auto project = hx::parseReportProject(hx::defaultReportProject());
    hx::layoutPaySlip(*project, slips->layout);
    hx::GenerateOptions options;
    options.parameters = hx::paySlipParameters(2026, 9, 15);
    slips->snapshot =
        hx::generateReport(*project->findPage(QStringLiteral("report1.page1")), slips->rows, options);
    if (!slips->snapshot || slips->snapshot->pageCount() < Workers / 10)
        throw hx::Error(QStringLiteral("the slips were not generated"));
}

void setUpGenerated(hxbench::Context& c) {
    makeSheet(c);
    generate(c);
}

void tearDown(hxbench::Context&) {
    slips.reset();
}

hxbench::Registration generateRow(hxbench::withWidgets({QStringLiteral("lay out and generate pay slips"),
                                                        QStringLiteral("5,000 workers, 30 items"),
                                                        {},
                                                        generate,
                                                        makeSheet,
                                                        {},
                                                        {},
                                                        tearDown}),
                                  hxbench::under(2.0));

hxbench::Registration pdfRow(hxbench::withWidgets({QStringLiteral("write pay slips as PDF"),
                                                   QStringLiteral("5,000 workers, 30 items"),
                                                   {},
                                                   [](hxbench::Context& c) {
                                                       const QString file =
                                                           c.scratch(QStringLiteral("slips.pdf"));
                                                       hx::writePdf(*slips->snapshot, file);
                                                       if (QFile(file).size() < 100000)
                                                           throw hx::Error(
                                                               QStringLiteral("the PDF is too small"));
                                                   },
                                                   setUpGenerated,
                                                   {},
                                                   {},
                                                   tearDown}),
                             hxbench::under(5.0));

hxbench::Registration previewRow(
    hxbench::withWidgets({QStringLiteral("open the slip preview on its first page"),
                          QStringLiteral("5,000 workers, 30 items"),
                          {},
                          [](hxbench::Context&) {
                              slips->preview = std::make_unique<hx::TmyPreviewFrm>();
                              slips->preview->InputStream = &*slips->snapshot;
                              slips->preview->InitFromRPSystem();
                              slips->preview->show();
                              QApplication::processEvents();
                          },
                          setUpGenerated,
                          {},
                          [](hxbench::Context&) { slips->preview.reset(); },
                          tearDown}),
    hxbench::under(0.3));

hxbench::Registration pageRow(hxbench::withWidgets({QStringLiteral("turn a page of the slip preview"),
                                                    QStringLiteral("5,000 workers, 30 items"),
                                                    {},
                                                    [](hxbench::Context&) {
                                                        slips->preview->RvRenderPreview->NextPage();
                                                        slips->preview->repaint();
                                                    },
                                                    [](hxbench::Context& c) {
                                                        setUpGenerated(c);
                                                        slips->preview =
                                                            std::make_unique<hx::TmyPreviewFrm>();
                                                        slips->preview->InputStream = &*slips->snapshot;
                                                        slips->preview->InitFromRPSystem();
                                                        slips->preview->show();
                                                        QApplication::processEvents();
                                                    },
                                                    {},
                                                    {},
                                                    [](hxbench::Context& c) {
                                                        slips->preview.reset();
                                                        tearDown(c);
                                                    }}),
                              hxbench::under(0.05));

}  // namespace
