#include "core/production/ticketlayout.h"

#include <QFontMetricsF>
#include <QHash>
#include <array>
#include <cmath>
#include <deque>

#include "core/production/qrcode.h"

namespace hx {

namespace {

constexpr double dpi = Snapshot::dotsPerInch;
constexpr double mm(double millimetres) {
    return millimetres / 25.4 * dpi;
}
constexpr double points(double pt) {
    return pt / 72.0 * dpi;
}

// The paper and the room on it, in dots.
const QSizeF a4Inches(210 / 25.4, 297 / 25.4);
constexpr double pageWidth = 210 / 25.4 * dpi, pageHeight = 297 / 25.4 * dpi;
constexpr double marginSide = mm(8), marginTop = mm(10), marginBottom = mm(10);
constexpr double contentWidth = pageWidth - 2 * marginSide;
constexpr double contentBottom = pageHeight - marginBottom;
// A strip: the header, then rows of tickets; strips on a page are apart by a gap with the cut line in it.
constexpr int columns = 5;
constexpr double ticketWidth = contentWidth / columns;
constexpr double ticketHeight = mm(17);
constexpr double headerHeight = mm(9);
constexpr double stripGap = mm(6);
// A QR module: 12 dots at 600 dpi (0.51 mm, 6 pixels of a 300 dpi scan), with at least four modules of
// blank paper around the symbol.
constexpr int moduleDots = 12;
constexpr double qrInset = mm(2.6);
constexpr double textInset = mm(1.2);
// The page number line below the strips.
constexpr double footerBaseline = pageHeight - mm(5);

const QString fontFamily = QStringLiteral("WenQuanYi Micro Hei");
// Digits of the same width, so that codes line up and read well.
const QString codeFamily = QStringLiteral("WenQuanYi Micro Hei Mono");

// The look of a kind of text: its font at the designed size, and the smallest it may be made to fit.
struct TextStyle {
    const QString& family;
    double pt;
    bool bold;
    double minPt;
};
const TextStyle bundleStyle{fontFamily, 12, true, 8};
const TextStyle headerStyle{fontFamily, 9.5, false, 6};
const TextStyle processStyle{fontFamily, 9, true, 6};
const TextStyle descriptionStyle{fontFamily, 8, false, 5.5};
const TextStyle ticketBundleStyle{fontFamily, 6.5, false, 5};
const TextStyle codeStyle{codeFamily, 10.5, true, 6};
const TextStyle footerStyle{fontFamily, 7, false, 7};

enum class Align { Left, Right };

// Sets texts into room: at their style's size, smaller where they do not fit, down to the style's
// smallest, and then cut short with an ellipsis. Widths are measured once per font and wording, digits
// and letters once per font.
class Typesetter {
  public:
    explicit Typesetter(SnapshotBuilder& page) : m_page(page) {}

    // Draws the text with its baseline at `baseline`, within the room from `left` of `room` dots; returns
    // the width it took.
    double draw(const TextStyle& style, const QString& text, double left, double baseline, double room,
                Align align = Align::Left, bool mayCut = true) {
        if (text.isEmpty() || room <= 0) return 0;
        const int design = std::max(1, int(std::lround(points(style.pt))));
        const int smallest = std::max(1, int(std::lround(points(style.minPt))));
        int pixels = design;
        Font* f = &font({style.family, pixels, style.bold});
        double wide = width(*f, text);
        if (wide > room) {
            // Widths grow nearly in proportion to the size; hinting may leave the first guess a little wide.
            pixels = std::max(smallest, int(std::floor(pixels * room / wide)));
            f = &font({style.family, pixels, style.bold});
            wide = width(*f, text);
            while (wide > room && pixels > smallest) {
                f = &font({style.family, --pixels, style.bold});
                wide = width(*f, text);
            }
        }
        QString shown = text;
        if (wide > room && mayCut) {
            shown = f->metrics.elidedText(text, Qt::ElideRight, room);
            wide = f->metrics.horizontalAdvance(shown);
        }
        const double x = align == Align::Right ? left + room - wide : left;
        m_page.text(f->id, QPointF(x, baseline), shown);
        return wide;
    }

  private:
    struct Font {
        SnapshotFont key;
        int id;
        QFontMetricsF metrics;
        std::array<double, 128> ascii;  // advances of the ASCII characters, < 0 until measured
        QHash<QString, double> widths;  // of other wordings
    };
    Font& font(const SnapshotFont& key) {
        for (Font& f : m_fonts)
            if (f.key == key) return f;
        Font f{key, m_page.font(key), QFontMetricsF(snapshotFont(key)), {}, {}};
        f.ascii.fill(-1);
        m_fonts.push_back(std::move(f));
        return m_fonts.back();
    }
    static double width(Font& f, const QString& text) {
        double sum = 0;
        for (const QChar c : text) {
            const ushort u = c.unicode();
            if (u < 32 || u >= 128) {
                sum = -1;
                break;
            }
            if (f.ascii[u] < 0) f.ascii[u] = f.metrics.horizontalAdvance(c);
            sum += f.ascii[u];
        }
        if (sum >= 0) return sum;
        const auto it = f.widths.constFind(text);
        if (it != f.widths.constEnd()) return *it;
        const double w = f.metrics.horizontalAdvance(text);
        // Descriptions and colours repeat from bundle to bundle; only so many wordings are kept.
        if (f.widths.size() < 4096) f.widths.insert(text, w);
        return w;
    }
    SnapshotBuilder& m_page;
    std::deque<Font> m_fonts;
};

// A piece of a strip on a page: the strip's tickets from `first`, `rows` rows of them.
struct Piece {
    std::size_t strip;
    std::size_t first;
    int rows;
    double top;
    bool continued;
};

int rowsOf(std::size_t tickets) {
    return int((tickets + columns - 1) / columns);
}

double pieceHeight(int rows) {
    return headerHeight + rows * ticketHeight;
}

// Where every strip goes: pages of pieces. A strip goes whole onto the page where it fits, else onto the
// next; one taller than a page is cut into pieces of as many rows as a page holds.
std::vector<std::vector<Piece>> paginate(const std::vector<TicketStrip>& strips) {
    std::vector<std::vector<Piece>> pages(1);
    double top = marginTop;
    const int rowsPerPage = int((contentBottom - marginTop - headerHeight) / ticketHeight);
    for (std::size_t s = 0; s < strips.size(); ++s) {
        const std::size_t tickets = strips[s].tickets.size();
        int rowsLeft = rowsOf(tickets);
        std::size_t first = 0;
        do {
            if (!pages.back().empty()) top += stripGap;
            const int want = std::min(rowsLeft, rowsPerPage);
            const bool fits = top + pieceHeight(want) <= contentBottom;
            if (!fits && !pages.back().empty()) {
                pages.emplace_back();
                top = marginTop;
            }
            const int rows = std::min(rowsLeft, rowsPerPage);
            pages.back().push_back({s, first, rows, top, first > 0});
            top += pieceHeight(rows);
            first += std::size_t(rows) * columns;
            rowsLeft -= rows;
        } while (rowsLeft > 0);
    }
    return pages;
}

void drawTicket(SnapshotBuilder& page, Typesetter& type, const TicketStrip& strip, const TicketLine& ticket,
                const QRectF& cell) {
    const QrCode code = QrCode::encode(ticket.code);
    const int fitting = int((cell.height() - 2 * qrInset) / code.size());
    const int module = std::min(moduleDots, std::max(1, fitting));
    const double side = code.size() * module;
    // On whole modules from the paper's corner: at 600, 300, 200 or 150 dpi every module edge falls on a
    // pixel's edge, so that a render or a printer's raster has no grey edges for a reader to misjudge.
    const auto snap = [module](double at) { return std::round(at / module) * module; };
    const QPointF corner(snap(cell.left() + qrInset), snap(cell.top() + (cell.height() - side) / 2));
    page.qrCode(QRectF(corner, QSizeF(side, side)), ticket.code);

    const double left = corner.x() + side + qrInset;
    const double room = cell.right() - textInset - left;
    const double top = cell.top();
    const QString pieces = QStringLiteral("%1件").arg(ticket.pieces);
    const double piecesWidth = type.draw(processStyle, pieces, left, top + mm(3.9), room, Align::Right);
    type.draw(processStyle, ticket.jobCode, left, top + mm(3.9), room - piecesWidth - mm(1));
    type.draw(descriptionStyle, ticket.description, left, top + mm(7.4), room);
    QString bundle = QStringLiteral("%1 第%2扎").arg(strip.orderCode).arg(strip.bundleNo);
    for (const QString& part : {strip.color, strip.size})
        if (!part.isEmpty()) bundle += QLatin1Char(' ') + part;
    type.draw(ticketBundleStyle, bundle, left, top + mm(10.6), room);
    // The code is never cut short: it is what a worker types when the QR code cannot be read.
    type.draw(codeStyle, groupedTicketCode(ticket.code), left, top + mm(14.9), room, Align::Left, false);
}

void drawPiece(SnapshotBuilder& page, Typesetter& type, const TicketStrip& strip, const Piece& piece) {
    const double left = marginSide, right = marginSide + contentWidth;
    const double top = piece.top, ticketsTop = top + headerHeight;
    const double bottom = ticketsTop + piece.rows * ticketHeight;
    page.box(QRectF(left, top, contentWidth, bottom - top));

    // The header stays with the bundle when its tickets are torn off.
    const double baseline = top + headerHeight / 2 + mm(1.6);
    QString number = QStringLiteral("第 %1 扎").arg(strip.bundleNo);
    if (piece.continued) number += QStringLiteral("（续）");
    const double numberWidth =
        type.draw(bundleStyle, number, left + mm(2), baseline + mm(0.3), contentWidth / 4);
    const QString count = QStringLiteral("菲票 %1 张").arg(strip.tickets.size());
    const double countWidth = type.draw(headerStyle, count, right - mm(2) - contentWidth / 6, baseline,
                                        contentWidth / 6, Align::Right);
    QStringList details{QStringLiteral("生产单 %1").arg(strip.orderCode)};
    details << QStringLiteral("款式 %1").arg(strip.style);
    if (!strip.color.isEmpty()) details << QStringLiteral("颜色 %1").arg(strip.color);
    if (!strip.size.isEmpty()) details << QStringLiteral("尺码 %1").arg(strip.size);
    details << QStringLiteral("%1 件").arg(strip.pieces);
    const double detailsLeft = left + mm(2) + numberWidth + mm(5);
    type.draw(headerStyle, details.join(QStringLiteral("   ")), detailsLeft, baseline,
              right - mm(2) - countWidth - mm(5) - detailsLeft);

    // Tear lines: under the header, between the rows and between the tickets of a row.
    const double tear = mm(0.2);
    page.line(QPointF(left, ticketsTop), QPointF(right, ticketsTop), tear, true);
    const std::size_t last = std::min(strip.tickets.size(), piece.first + std::size_t(piece.rows) * columns);
    for (int r = 0; r < piece.rows; ++r) {
        const double rowTop = ticketsTop + r * ticketHeight;
        if (r > 0) page.line(QPointF(left, rowTop), QPointF(right, rowTop), tear, true);
        const std::size_t rowFirst = piece.first + std::size_t(r) * columns;
        const int inRow = int(std::min<std::size_t>(columns, last - rowFirst));
        for (int c = 0; c < inRow; ++c) {
            const QRectF cell(left + c * ticketWidth, rowTop, ticketWidth, ticketHeight);
            if (c > 0) page.line(cell.topLeft(), cell.bottomLeft(), tear, true);
            drawTicket(page, type, strip, strip.tickets[rowFirst + std::size_t(c)], cell);
        }
        // The ticket after the last of a short row ends at a tear line too.
        if (inRow < columns && inRow > 0) {
            const double x = left + inRow * ticketWidth;
            page.line(QPointF(x, rowTop), QPointF(x, rowTop + ticketHeight), tear, true);
        }
    }
}

}  // namespace

QString groupedTicketCode(const QString& code) {
    QString grouped;
    for (qsizetype i = 0; i < code.size(); i += 3) {
        if (i > 0) grouped += QLatin1Char(' ');
        grouped += code.mid(i, 3);
    }
    return grouped;
}

std::optional<Snapshot> layoutTickets(const std::vector<TicketStrip>& strips,
                                      const std::function<bool(int page)>& progress) {
    SnapshotBuilder page(a4Inches);
    Typesetter type(page);
    const std::vector<std::vector<Piece>> pages = paginate(strips);
    for (std::size_t p = 0; p < pages.size(); ++p) {
        const std::vector<Piece>& pieces = pages[p];
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            // The cut line lies in the middle of the gap between two strips, across the paper.
            if (i > 0) {
                const double y = pieces[i].top - stripGap / 2;
                page.line(QPointF(mm(3), y), QPointF(pageWidth - mm(3), y), mm(0.3), true);
            }
            drawPiece(page, type, strips[pieces[i].strip], pieces[i]);
        }
        type.draw(footerStyle, QStringLiteral("菲票　第 %1 页，共 %2 页").arg(p + 1).arg(pages.size()),
                  marginSide, footerBaseline, contentWidth, Align::Right);
        page.endPage();
        if (progress && !progress(int(p + 1))) return std::nullopt;
    }
    return page.take();
}

}  // namespace hx
