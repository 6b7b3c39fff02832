#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QVector>
#include <functional>
#include <optional>

#include "core/reports/rvengine.h"

namespace hx {

enum TOverrideMode { omCreate, omShow, omWait, omFree };
enum TReportDest { rdPrinter, rdPreview, rdFile };
enum TDuplex { dupSimplex, dupVertical, dupHorizontal };

enum TSystemSetup : unsigned {
    ssAllowSetup = 1u << 0,
    ssAllowCopies = 1u << 1,
    ssAllowCollate = 1u << 2,
    ssAllowDuplex = 1u << 3,
    ssAllowDestPreview = 1u << 4,
    ssAllowDestPrinter = 1u << 5,
    ssAllowDestFile = 1u << 6,
    ssAllowPrinterSetup = 1u << 7,
    ssAllowPreviewSetup = 1u << 8,
};
constexpr unsigned ssAllSetups = 0x1FF;

enum TSystemOption : unsigned {
    soShowStatus = 1u << 0,
    soAllowPrintFromPreview = 1u << 1,
    soPreviewModal = 1u << 2,
    soWaitForOK = 1u << 3,
    soUseFiler = 1u << 4,
    soNoGenerate = 1u << 5,
};

// Printer settings of a report system, and the page range of a printer renderer.
struct TSystemPrinter {
    QString Title = QStringLiteral("打印报表");
    QString StatusFormat = QStringLiteral("Printing page %p");
    double ScaleX = 100.0, ScaleY = 100.0, UnitsFactor = 1.0;
    int Copies = 1;
    bool Collate = false;
    TDuplex Duplex = dupSimplex;
    int FirstPage = 1, LastPage = 9999;
    QString Selection;
};

struct TSystemPreview {
    double ZoomFactor = 100.0;
    double ZoomInc = 10.0;
    int PagesInc = 1;
    int ShadowDepth = 0;
    double MarginPercent = 0.0;
    bool GridLines = false, Ruler = false, Monochrome = false;
    int FormWidth = 615, FormHeight = 450;
};

// Where the generated snapshot lies.
struct TSystemFiler {
    QString StatusFormat = QStringLiteral("Generating page %p");
    QString FileName;  // empty: in the stream
    std::optional<Snapshot> Stream;
};

// A file format the engine can write a report in, besides the snapshot and the printer output.
struct FileRenderer {
    QString DisplayName;  // "PDF 文件 (*.pdf)"
    QString FileMask;     // "*.pdf"
    std::function<void(const Snapshot&, const QString& fileName, const QString& title)> render;
};
// The active file renderers, in order: the PDF renderer.
const QVector<FileRenderer>& activeFileRenderers();

// Pages of a selection text ("1-3,5", "7-"); 1-based page numbers within 1..pageCount, in order. An empty
// selection gives the range first..last.
QVector<int> pagesToPrint(int pageCount, int first, int last, const QString& selection);

// The report system: output settings and the run of one report through setup, generation and output. The
// windows come from the override handlers; printing comes from the print handler (both set by the windows).
class TRvSystem : public QObject {
    Q_OBJECT
  public:
    using OverrideHandler = std::function<void(TRvSystem& system, TOverrideMode mode, QObject*& form)>;

    explicit TRvSystem(QObject* parent = nullptr);

    QString TitleSetup = QStringLiteral("设置");
    QString TitleStatus = QStringLiteral("状态");
    QString TitlePreview = QStringLiteral("预览");
    TReportDest DefaultDest = rdPreview;
    unsigned SystemSetups = ssAllSetups;
    unsigned SystemOptions = soShowStatus | soAllowPrintFromPreview | soPreviewModal;
    TSystemPrinter SystemPrinter;
    TSystemPreview SystemPreview;
    TSystemFiler SystemFiler;

    // Chosen in the output setup.
    TReportDest ReportDest = rdPreview;
    QString OutputFileName;
    bool DoNativeOutput = false;
    const FileRenderer* RenderObject = nullptr;

    // Texts of the report's "{name}" parameters.
    QHash<QString, QString> Parameters;
    // The data the report prints, one band per row.
    TRvDataSetConnection* DataConnection = nullptr;

    OverrideHandler OverrideSetup, OverrideStatus, OverridePreview;
    // Prints a snapshot with the system printer's settings, to the printer or, with a file name, into that
    // file as printer output. Set by the windows, which alone reach the printers.
    std::function<void(TRvSystem& system, const Snapshot& snapshot, const QString& fileName)> PrintHandler;
    // Receives the progress texts of the running report ("Generating page 3").
    std::function<void(const QString& text)> StatusLabel;

    bool Aborted() const { return m_aborted; }
    void setAborted(bool aborted) { m_aborted = aborted; }
    // Tells the running report to stop at its next page.
    void abort() { m_aborted = true; }

    // Runs a report on a page of a project: setup, generation, output. False when aborted.
    bool execute(const TRavePage& page);
    // The same for a report laid out by code: `generate` makes the snapshot, calling the options'
    // progress after each page and giving up (nothing) when it returns false.
    using Generator = std::function<std::optional<Snapshot>(const GenerateOptions& options)>;
    bool execute(const Generator& generate);

  private:
    bool m_aborted = false;
};

}  // namespace hx
