#pragma once

#include <QByteArray>
#include <QFont>
#include <QHash>
#include <QIODevice>
#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

#include "core/reports/rvproject.h"

class QPainter;
class QImage;

namespace hx {

class DataSet;

// Rows for a report: every row of a data set, each field as the data set displays it.
class TRvDataSetConnection {
  public:
    DataSet* dataSet = nullptr;

    int rowCount() const;
    // The display text of the field in the row; empty for a field the data set lacks.
    QString text(int row, const QString& field) const;
};

// A font of a generated report: texts name it by its place in the snapshot's font list.
struct SnapshotFont {
    QString family;
    int pixels = 1;  // dots
    bool bold = false;
    bool operator==(const SnapshotFont& o) const {
        return pixels == o.pixels && bold == o.bold && family == o.family;
    }
};

// A generated report: its pages as a compact drawing list of our own. Page coordinates are dots
// (dotsPerInch of them to the inch) from the paper's top left corner. A page is a sequence of records
// (little-endian):
//   'T' u16 font, f32 x, f32 y (the baseline's left end), u16 n, n UTF-16 code units: a text
//   'R' f32 left, top, width, height: a ruled box in the thin pen
//   'L' f32 x1, y1, x2, y2, f32 pen width, u8 dashed: a line
//   'Q' f32 left, top, side, u16 n, n UTF-16 code units: a QR code of the text, its dark modules filled
//       squares within the square given (the blank border a reader needs lies outside it)
struct Snapshot {
    static constexpr int dotsPerInch = 600;
    QSizeF pageSize;              // inches
    QVector<SnapshotFont> fonts;  // the fonts the texts of the pages use
    QVector<QByteArray> pages;    // one drawing list per page

    int pageCount() const { return pages.size(); }
    QSize pageSizeDots() const;
};

// The snapshot stream (".ndr"): a header with a version, the page size, the page count, the fonts, then the
// pages.
void writeSnapshot(const Snapshot& snapshot, QIODevice& device);
// Raises ReportError when the data is not a snapshot of this program or is cut short.
Snapshot readSnapshot(QIODevice& device);
QByteArray snapshotBytes(const Snapshot& snapshot);
Snapshot snapshotFromBytes(const QByteArray& bytes);

// What a page holds, read back from its drawing list: its texts and its ruled boxes, in dots.
struct PageText {
    int font;          // into the snapshot's fonts
    QPointF baseline;  // the baseline's left end
    QString text;
};
QVector<PageText> pageTexts(const Snapshot& snapshot, int page);
QVector<QRectF> pageBoxes(const Snapshot& snapshot, int page);
struct PageLine {
    QLineF line;
    double pen;  // dots
    bool dashed;
};
QVector<PageLine> pageLines(const Snapshot& snapshot, int page);
struct PageQrCode {
    QRectF square;  // the symbol, without its blank border
    QString text;
};
QVector<PageQrCode> pageQrCodes(const Snapshot& snapshot, int page);
// The font a snapshot font stands for, at its size in dots.
QFont snapshotFont(const SnapshotFont& font);

// Builds the pages of a snapshot drawn by code rather than from a report project, record by record, in
// dots from the paper's top left corner.
class SnapshotBuilder {
  public:
    explicit SnapshotBuilder(const QSizeF& pageSizeInches);
    ~SnapshotBuilder();
    SnapshotBuilder(const SnapshotBuilder&) = delete;
    SnapshotBuilder& operator=(const SnapshotBuilder&) = delete;

    // The font's place in the snapshot's font list, where it is added the first time it is asked for.
    int font(const SnapshotFont& font);
    // A text in a font of font(), its baseline's left end at the point.
    void text(int font, const QPointF& baseline, const QString& text);
    void box(const QRectF& rect);
    void line(const QPointF& from, const QPointF& to, double pen, bool dashed);
    // The QR code of the text in the square. The caller has encoded the text to size the square
    // (QrCode::encode); a text no QR code holds leaves the square's outline alone when drawn.
    void qrCode(const QRectF& square, const QString& text);
    // Ends the page drawn so far; the next record starts a new one.
    void endPage();
    int pageCount() const;
    // The snapshot; a page drawn and not ended is ended first.
    Snapshot take();

  private:
    struct Pages;
    std::unique_ptr<Pages> m;
};

// Draws a page into the rectangle (which should have the page's proportions) of a painter.
void renderPage(const Snapshot& snapshot, int page, QPainter& painter, const QRectF& target);
// A page as an image of the given width in pixels, on white.
QImage renderPageImage(const Snapshot& snapshot, int page, int widthPixels);
// Writes all pages (or those in the list, 0-based) as a PDF with real text. Raises on a file error.
void writePdf(const Snapshot& snapshot, const QString& fileName, const QString& title = QString(),
              const QVector<int>& pageList = {});

// Where a band component ends up on every slip after the row layout: pairs that pass the printable width
// continue on further lines of the slip.
struct PlacedComponent {
    const TRaveComponent* component;
    double left, top;  // inches, from the band's top left corner
};
struct BandLayout {
    std::vector<PlacedComponent> placed;
    double height = 0;   // inches
    int extraLines = 0;  // heading/value lines added for pairs that did not fit
};
BandLayout layoutBand(const TRavePage& page);

// Generation: one band per data row, as many bands per page as fit. progress(page) is called after each
// page; returning false aborts (nothing is returned then: the caller gets std::nullopt).
struct GenerateOptions {
    QHash<QString, QString> parameters;  // "{name}" in texts
    std::function<bool(int page)> progress;
};
std::optional<Snapshot> generateReport(const TRavePage& page, const TRvDataSetConnection& data,
                                       const GenerateOptions& options = {});
// The same over any row source: rows and a function giving a field's text in a row.
std::optional<Snapshot> generateReport(const TRavePage& page, int rows,
                                       const std::function<QString(int row, const QString& field)>& text,
                                       const GenerateOptions& options = {});

}  // namespace hx
