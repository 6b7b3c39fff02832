#include "core/reports/rvengine.h"

#include <QBuffer>
#include <QDataStream>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <map>

#include "core/data/dataset.h"
#include "core/data/errors.h"
#include "core/production/qrcode.h"

namespace hx {

namespace {

constexpr char snapshotMagic[8] = {'H', 'X', 'N', 'D', 'R', '\r', '\n', '\x1a'};
// 2: pages as our own drawing list with a font table (1 held recorded QPicture data and was never released).
// 3: the same with QR codes. A snapshot without one is still written as 2, which earlier programs read.
constexpr quint32 plainSnapshotVersion = 2, qrSnapshotVersion = 3;
constexpr double dpi = Snapshot::dotsPerInch;
// A text keeps this much room to a frame's line, left and right.
constexpr double textPadding = 0.6 / 25.4;
// Above this many pages or fonts a snapshot header is taken as damaged.
constexpr qint32 maxPages = 10000000;
constexpr qint32 maxFonts = 65535;

// Pairs of a heading and a value: TextN and DataTextN.
int pairNumber(const TRaveComponent& c) {
    static const QRegularExpression re(QStringLiteral("^(Data)?Text(\\d+)$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(c.Name);
    return m.hasMatch() ? m.captured(2).toInt() : 0;
}

QString substitute(const QString& text, const QHash<QString, QString>& parameters) {
    if (!text.contains(QLatin1Char('{'))) return text;
    QString out = text;
    for (auto it = parameters.begin(); it != parameters.end(); ++it)
        out.replace(QLatin1Char('{') + it.key() + QLatin1Char('}'), it.value());
    return out;
}

// Record kinds of a page's drawing list.
constexpr char opText = 'T', opRect = 'R', opLine = 'L', opQr = 'Q';
constexpr int textHeadSize = 1 + 2 + 4 + 4 + 2, rectSize = 1 + 4 * 4, lineSize = 1 + 5 * 4 + 1,
              qrHeadSize = 1 + 3 * 4 + 2;
// The thin pen of frames, in dots.
constexpr double thinPen = 0.2 / 25.4 * dpi;

// Appends records to a page.
class PageWriter {
  public:
    void text(int font, double x, double y, const QString& text) {
        const int n = int(std::min<qsizetype>(text.size(), 0xffff));
        char* out = grow(textHeadSize + 2 * n);
        *out++ = opText;
        out = put16(out, quint16(font));
        out = putF(out, x);
        out = putF(out, y);
        out = put16(out, quint16(n));
        for (int i = 0; i < n; ++i) out = put16(out, text.at(i).unicode());
    }
    void rect(const QRectF& r) {
        char* out = grow(rectSize);
        *out++ = opRect;
        for (double v : {r.left(), r.top(), r.width(), r.height()}) out = putF(out, v);
    }
    void line(const QPointF& a, const QPointF& b, double pen, bool dashed) {
        char* out = grow(lineSize);
        *out++ = opLine;
        for (double v : {a.x(), a.y(), b.x(), b.y(), pen}) out = putF(out, v);
        *out = dashed ? 1 : 0;
    }
    void qr(const QRectF& square, const QString& text) {
        const int n = int(std::min<qsizetype>(text.size(), 0xffff));
        char* out = grow(qrHeadSize + 2 * n);
        *out++ = opQr;
        for (double v : {square.left(), square.top(), square.width()}) out = putF(out, v);
        out = put16(out, quint16(n));
        for (int i = 0; i < n; ++i) out = put16(out, text.at(i).unicode());
    }
    QByteArray take() {
        m_bytes.squeeze();
        return std::exchange(m_bytes, QByteArray());
    }

  private:
    char* grow(int n) {
        const qsizetype at = m_bytes.size();
        if (m_bytes.capacity() < at + n) m_bytes.reserve(std::max<qsizetype>(2 * (at + n), 4096));
        m_bytes.resize(at + n);
        return m_bytes.data() + at;
    }
    static char* put16(char* out, quint16 v) {
        qToLittleEndian(v, out);
        return out + 2;
    }
    static char* putF(char* out, double v) {
        qToLittleEndian(float(v), out);
        return out + 4;
    }
    QByteArray m_bytes;
};

// Reads the records of a page. Every read checks the bounds: a damaged page ends the walk with ok false.
class PageReader {
  public:
    explicit PageReader(const QByteArray& page) : m_p(page.constData()), m_end(m_p + page.size()) {}
    bool atEnd() const { return m_p == m_end; }
    bool ok() const { return m_ok; }
    char kind() { return need(1) ? *m_p++ : 0; }
    quint16 u16() {
        if (!need(2)) return 0;
        const quint16 v = qFromLittleEndian<quint16>(m_p);
        m_p += 2;
        return v;
    }
    double f() {
        if (!need(4)) return 0;
        const float v = qFromLittleEndian<float>(m_p);
        m_p += 4;
        return std::isfinite(v) ? v : (m_ok = false, 0.0);
    }
    quint8 u8() { return need(1) ? quint8(*m_p++) : 0; }
    // n UTF-16 code units, as a view into the page.
    const char* units(int n) {
        if (!need(2 * n)) return nullptr;
        const char* at = m_p;
        m_p += 2 * n;
        return at;
    }
    void fail() { m_ok = false; }

  private:
    bool need(qsizetype n) {
        if (m_ok && m_end - m_p >= n) return true;
        m_ok = false;
        m_p = m_end;
        return false;
    }
    const char* m_p;
    const char* m_end;
    bool m_ok = true;
};

QString unitsText(const char* units, int n) {
    QString s(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i) s[i] = QChar(qFromLittleEndian<quint16>(units + 2 * i));
    return s;
}

// Walks the drawing list of a page, handing each record to its visitor: onText(font, position, units, n),
// onRect(rect), onLine(line, pen width, dashed), onQr(square, units, n). False when the list is damaged;
// the walk stops there.
template <class OnText, class OnRect, class OnLine, class OnQr>
bool walkPage(const QByteArray& page, OnText onText, OnRect onRect, OnLine onLine, OnQr onQr) {
    PageReader r(page);
    while (!r.atEnd() && r.ok()) {
        switch (r.kind()) {
            case opText: {
                const int font = r.u16();
                const double x = r.f(), y = r.f();
                const int n = r.u16();
                if (const char* units = r.units(n)) onText(font, QPointF(x, y), units, n);
                break;
            }
            case opRect: {
                const double x = r.f(), y = r.f(), w = r.f(), h = r.f();
                if (r.ok()) onRect(QRectF(x, y, w, h));
                break;
            }
            case opLine: {
                const double x1 = r.f(), y1 = r.f(), x2 = r.f(), y2 = r.f(), pen = r.f();
                const bool dashed = r.u8() != 0;
                if (r.ok()) onLine(QLineF(x1, y1, x2, y2), pen, dashed);
                break;
            }
            case opQr: {
                const double x = r.f(), y = r.f(), side = r.f();
                const int n = r.u16();
                const char* units = r.units(n);
                if (!units) break;
                if (!(side > 0)) {
                    r.fail();
                    break;
                }
                onQr(QRectF(x, y, side, side), units, n);
                break;
            }
            default:
                r.fail();
        }
    }
    return r.ok();
}

// Visitors of walkPage that take no notice of a record.
constexpr auto noText = [](int, QPointF, const char*, int) {};
constexpr auto noRect = [](const QRectF&) {};
constexpr auto noLine = [](const QLineF&, double, bool) {};
constexpr auto noQr = [](const QRectF&, const char*, int) {};

// Whether a page is a well-formed drawing list over fonts fonts; QR codes only where the version has them.
bool pageIsSound(const QByteArray& page, int fonts, bool qrCodes) {
    bool fontsKnown = true, qrKnown = true;
    const bool whole = walkPage(
        page, [&](int font, QPointF, const char*, int) { fontsKnown = fontsKnown && font < fonts; }, noRect,
        noLine, [&](const QRectF&, const char*, int) { qrKnown = qrCodes; });
    return whole && fontsKnown && qrKnown;
}

bool hasQrCodes(const QByteArray& page) {
    bool found = false;
    walkPage(page, noText, noRect, noLine, [&](const QRectF&, const char*, int) { found = true; });
    return found;
}

// The dark modules of a QR code as rectangles in modules, a run of a row each.
QVector<QRect> moduleRuns(const QrCode& code) {
    QVector<QRect> runs;
    for (int y = 0; y < code.size(); ++y)
        for (int x = 0; x < code.size();) {
            if (!code.isDark(x, y)) {
                ++x;
                continue;
            }
            const int from = x;
            while (x < code.size() && code.isDark(x, y)) ++x;
            runs.push_back(QRect(from, y, x - from, 1));
        }
    return runs;
}

// Draws the QR code of the text in the square: its modules as filled squares, so that a PDF holds them as
// vector shapes, sharp at any zoom. A text no QR code holds (a damaged file) leaves the square empty.
void drawQrCode(QPainter& p, const QRectF& square, const QString& text) {
    std::optional<QrCode> code;
    try {
        code = QrCode::encode(text);
    } catch (const Error&) {
        p.drawRect(square);
        return;
    }
    const QVector<QRect> runs = moduleRuns(*code);
    p.save();
    p.translate(square.topLeft());
    p.scale(square.width() / code->size(), square.height() / code->size());
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRects(runs);
    p.restore();
}

// Lays out the texts of a report: keeps the fonts it uses, and measures texts once per font and wording
// where the wording repeats (headings), by character for the plain ASCII of codes and amounts.
class TextSetter {
  public:
    explicit TextSetter(QVector<SnapshotFont>& fonts) : m_fonts(fonts) {}

    static int designPixels(const TRaveText& t) {
        return std::max(1, int(std::lround(t.FontSize * dpi / 72.0)));
    }
    static double room(const QRectF& rect) { return rect.width() - 2 * textPadding * dpi; }

    // The largest font size, in dots and at most the designed one, at which the text fits the box.
    int fittingPixels(const TRaveText& t, const QString& text, const QRectF& rect) {
        int pixels = designPixels(t);
        const double space = room(rect);
        if (text.isEmpty() || space <= 0) return pixels;
        const double wide = width(metrics({t.FontName, pixels, t.Bold}), text);
        if (wide <= space) return pixels;
        // Widths grow nearly in proportion to the size; hinting may leave the first guess a little wide.
        pixels = std::max(1, int(std::floor(pixels * space / wide)));
        while (pixels > 1 && width(metrics({t.FontName, pixels, t.Bold}), text) > space) --pixels;
        return pixels;
    }

    // Draws the text at the given size (fittingPixels or below it: never cut off).
    void draw(PageWriter& w, const TRaveText& t, const QString& text, const QRectF& rect, int pixels) {
        if (t.Frame) w.rect(rect);
        if (text.isEmpty()) return;
        const SnapshotFont key{t.FontName, pixels, t.Bold};
        Font& f = metrics(key);
        const double space = room(rect);
        const double wide = width(f, text);
        const double left = rect.left() + textPadding * dpi;
        const double x = t.Align == TextAlign::Right    ? left + space - wide
                         : t.Align == TextAlign::Center ? left + (space - wide) / 2
                                                        : left;
        const double y = rect.top() + (rect.height() - f.ascent - f.descent) / 2 + f.ascent;
        w.text(fontId(key), x, y, text);
    }

  private:
    struct Font {
        SnapshotFont key;
        QFontMetricsF metrics;
        double ascent, descent;
        std::array<double, 128> ascii;  // advances of the ASCII characters, < 0 until measured
        QHash<QString, double> widths;  // of other wordings
    };
    // The fonts measured, also sizes tried and not drawn; only drawn ones enter the snapshot.
    Font& metrics(const SnapshotFont& key) {
        // A report uses a handful of fonts: the last one found is most often the one wanted.
        if (m_lastMeasured >= 0 && m_metrics[m_lastMeasured].key == key) return m_metrics[m_lastMeasured];
        for (std::size_t i = 0; i < m_metrics.size(); ++i)
            if (m_metrics[i].key == key) {
                m_lastMeasured = int(i);
                return m_metrics[i];
            }
        const QFontMetricsF measured(snapshotFont(key));
        Font f{key, measured, measured.ascent(), measured.descent(), {}, {}};
        f.ascii.fill(-1);
        m_metrics.push_back(std::move(f));
        m_lastMeasured = int(m_metrics.size() - 1);
        return m_metrics.back();
    }
    int fontId(const SnapshotFont& key) {
        if (m_last >= 0 && m_fonts[m_last] == key) return m_last;
        m_last = int(m_fonts.indexOf(key));
        if (m_last < 0) {
            m_fonts << key;
            m_last = int(m_fonts.size() - 1);
        }
        return m_last;
    }
    static double width(Font& f, const QString& text) {
        double sum = 0;
        for (QChar c : text) {
            const ushort u = c.unicode();
            if (u >= 128 || u < 32) {
                sum = -1;
                break;
            }
            if (f.ascii[u] < 0) f.ascii[u] = f.metrics.horizontalAdvance(c);
            sum += f.ascii[u];
        }
        if (sum >= 0) return sum;
        auto it = f.widths.constFind(text);
        if (it != f.widths.constEnd()) return *it;
        const double w = f.metrics.horizontalAdvance(text);
        // Names differ from worker to worker: only so many wordings are kept.
        if (f.widths.size() < 4096) f.widths.insert(text, w);
        return w;
    }
    QVector<SnapshotFont>& m_fonts;
    std::deque<Font> m_metrics;
    int m_last = -1, m_lastMeasured = -1;
};

QRectF boxOf(const TRaveComponent& c, double left, double top) {
    return QRectF(left * dpi, top * dpi, c.Width * dpi, c.Height * dpi);
}

// Draws a component at a place; a text at the given size, or, with 0, at the largest that fits its box.
void drawComponent(PageWriter& w, TextSetter& texts, const TRaveComponent& c, double left, double top,
                   const QString& text, int pixels = 0) {
    const QRectF rect = boxOf(c, left, top);
    if (c.kind() == TRaveComponent::Kind::Line) {
        const auto& line = static_cast<const TRaveLine&>(c);
        w.line(rect.topLeft(), QPointF(rect.left() + rect.width(), rect.top() + rect.height()),
               std::max(1.0, line.PenWidth * dpi), line.Dashed);
        return;
    }
    const auto& t = static_cast<const TRaveText&>(c);
    texts.draw(w, t, text, rect, pixels > 0 ? pixels : texts.fittingPixels(t, text, rect));
}

// Draws pages: the fonts of a snapshot are made once for all its pages.
class PagePainter {
  public:
    explicit PagePainter(const Snapshot& snapshot) : m_snapshot(snapshot) {
        for (const SnapshotFont& f : snapshot.fonts) m_fonts << snapshotFont(f);
    }
    // Draws the page in dots onto the painter as it is set up.
    void draw(QPainter& p, int page) {
        const QByteArray& bytes = m_snapshot.pages[page];
        p.save();
        p.setBrush(Qt::NoBrush);
        const QPen thin(Qt::black, thinPen);
        p.setPen(thin);
        // Rules first, then the texts one font at a time: the font changes a few times a page, not at every
        // text.
        QVector<bool> used(m_fonts.size(), false);
        walkPage(
            bytes,
            [&](int font, QPointF, const char*, int) {
                if (font < used.size()) used[font] = true;
            },
            [&](const QRectF& rect) { p.drawRect(rect); },
            [&](const QLineF& line, double pen, bool dashed) {
                p.setPen(QPen(Qt::black, pen, dashed ? Qt::DashLine : Qt::SolidLine));
                p.drawLine(line);
                p.setPen(thin);
            },
            [&](const QRectF& square, const char* units, int n) {
                drawQrCode(p, square, unitsText(units, n));
            });
        // A page drawn smaller than its dots (the preview, a printer) gets its texts drawn at the size they
        // come out in: bold small text drawn through a scaling painter runs into a blot.
        const QTransform scaling = p.transform();
        const bool scaled = scaling.type() == QTransform::TxScale &&
                            std::abs(scaling.m11() - scaling.m22()) <= 0.01 * scaling.m22() &&
                            scaling.m22() < 1 && p.device() && p.device()->logicalDpiY() > 0;
        if (scaled) p.resetTransform();
        for (int font = 0; font < used.size(); ++font) {
            if (!used[font]) continue;
            QFont shown = m_fonts[font];
            if (scaled)
                shown.setPointSizeF(std::max(
                    0.5, m_snapshot.fonts[font].pixels * scaling.m11() * 72.0 / p.device()->logicalDpiY()));
            p.setFont(shown);
            walkPage(
                bytes,
                [&](int id, QPointF at, const char* units, int n) {
                    if (id == font) p.drawText(scaled ? scaling.map(at) : at, unitsText(units, n));
                },
                noRect, noLine, noQr);
        }
        p.restore();
    }

  private:
    const Snapshot& m_snapshot;
    QVector<QFont> m_fonts;
};

}  // namespace

int TRvDataSetConnection::rowCount() const {
    return dataSet && dataSet->isOpen() ? dataSet->recordCount() : 0;
}

QString TRvDataSetConnection::text(int row, const QString& field) const {
    const int f = dataSet ? dataSet->fieldIndex(field) : -1;
    return f < 0 ? QString() : dataSet->textAt(row, f);
}

QSize Snapshot::pageSizeDots() const {
    return QSize(int(std::lround(pageSize.width() * dpi)), int(std::lround(pageSize.height() * dpi)));
}

void writeSnapshot(const Snapshot& snapshot, QIODevice& device) {
    device.write(snapshotMagic, sizeof snapshotMagic);
    QDataStream out(&device);
    out.setVersion(QDataStream::Qt_6_4);
    const bool qr = std::any_of(snapshot.pages.begin(), snapshot.pages.end(), hasQrCodes);
    out << (qr ? qrSnapshotVersion : plainSnapshotVersion) << snapshot.pageSize.width()
        << snapshot.pageSize.height() << qint32(snapshot.pages.size()) << qint32(snapshot.fonts.size());
    for (const SnapshotFont& f : snapshot.fonts) out << f.family << qint32(f.pixels) << f.bold;
    for (const QByteArray& page : snapshot.pages) out << page;
    if (out.status() != QDataStream::Ok) throw ReportError(QStringLiteral("报表快照写入失败。"));
}

Snapshot readSnapshot(QIODevice& device) {
    const QString notOurs = QStringLiteral("此文件不是本系统的报表快照（.ndr）文件，无法打开。");
    const QString damaged = QStringLiteral("报表快照文件已损坏或不完整，无法打开。");
    char magic[sizeof snapshotMagic];
    if (device.read(magic, sizeof magic) != qint64(sizeof magic) ||
        memcmp(magic, snapshotMagic, sizeof magic) != 0)
        throw ReportError(notOurs);
    QDataStream in(&device);
    in.setVersion(QDataStream::Qt_6_4);
    quint32 version = 0;
    double width = 0, height = 0;
    qint32 count = 0;
    in >> version;
    if (in.status() != QDataStream::Ok) throw ReportError(damaged);
    if (version != plainSnapshotVersion && version != qrSnapshotVersion)
        throw ReportError(QStringLiteral("报表快照文件的版本（%1）不受支持，无法打开。").arg(version));
    in >> width >> height >> count;
    if (in.status() != QDataStream::Ok || !(width > 0 && width < 1000) || !(height > 0 && height < 1000) ||
        count < 0 || count > maxPages)
        throw ReportError(damaged);
    qint32 fonts = 0;
    in >> fonts;
    if (in.status() != QDataStream::Ok || fonts < 0 || fonts > maxFonts) throw ReportError(damaged);
    Snapshot s;
    s.pageSize = QSizeF(width, height);
    for (qint32 i = 0; i < fonts; ++i) {
        SnapshotFont f;
        qint32 pixels = 0;
        in >> f.family >> pixels >> f.bold;
        if (in.status() != QDataStream::Ok || pixels < 1 || pixels > 100000) throw ReportError(damaged);
        f.pixels = pixels;
        s.fonts << f;
    }
    s.pages.reserve(std::min(count, qint32(1 << 16)));
    for (qint32 i = 0; i < count; ++i) {
        QByteArray page;
        in >> page;
        if (in.status() != QDataStream::Ok || !pageIsSound(page, fonts, version >= qrSnapshotVersion))
            throw ReportError(damaged);
        s.pages << page;
    }
    return s;
}

QByteArray snapshotBytes(const Snapshot& snapshot) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    writeSnapshot(snapshot, buffer);
    return bytes;
}

Snapshot snapshotFromBytes(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readSnapshot(buffer);
}

QVector<PageText> pageTexts(const Snapshot& snapshot, int page) {
    QVector<PageText> texts;
    if (page < 0 || page >= snapshot.pages.size()) return texts;
    walkPage(
        snapshot.pages[page],
        [&](int font, QPointF at, const char* units, int n) {
            texts.push_back({font, at, unitsText(units, n)});
        },
        noRect, noLine, noQr);
    return texts;
}

QVector<QRectF> pageBoxes(const Snapshot& snapshot, int page) {
    QVector<QRectF> boxes;
    if (page < 0 || page >= snapshot.pages.size()) return boxes;
    walkPage(
        snapshot.pages[page], noText, [&](const QRectF& rect) { boxes.push_back(rect); }, noLine, noQr);
    return boxes;
}

QVector<PageLine> pageLines(const Snapshot& snapshot, int page) {
    QVector<PageLine> lines;
    if (page < 0 || page >= snapshot.pages.size()) return lines;
    walkPage(
        snapshot.pages[page], noText, noRect,
        [&](const QLineF& line, double pen, bool dashed) {
            lines.push_back({line, pen, dashed});
        },
        noQr);
    return lines;
}

QVector<PageQrCode> pageQrCodes(const Snapshot& snapshot, int page) {
    QVector<PageQrCode> codes;
    if (page < 0 || page >= snapshot.pages.size()) return codes;
    walkPage(snapshot.pages[page], noText, noRect, noLine,
             [&](const QRectF& square, const char* units, int n) {
                 codes.push_back({square, unitsText(units, n)});
             });
    return codes;
}

struct SnapshotBuilder::Pages {
    Snapshot snapshot;
    PageWriter page;
    bool started = false;
};

SnapshotBuilder::SnapshotBuilder(const QSizeF& pageSizeInches) : m(std::make_unique<Pages>()) {
    m->snapshot.pageSize = pageSizeInches;
}

SnapshotBuilder::~SnapshotBuilder() = default;

int SnapshotBuilder::font(const SnapshotFont& font) {
    const qsizetype at = m->snapshot.fonts.indexOf(font);
    if (at >= 0) return int(at);
    if (m->snapshot.fonts.size() >= maxFonts) throw ReportError(QStringLiteral("报表用的字体太多。"));
    m->snapshot.fonts << font;
    return int(m->snapshot.fonts.size() - 1);
}

void SnapshotBuilder::text(int font, const QPointF& baseline, const QString& text) {
    m->started = true;
    m->page.text(font, baseline.x(), baseline.y(), text);
}

void SnapshotBuilder::box(const QRectF& rect) {
    m->started = true;
    m->page.rect(rect);
}

void SnapshotBuilder::line(const QPointF& from, const QPointF& to, double pen, bool dashed) {
    m->started = true;
    m->page.line(from, to, pen, dashed);
}

void SnapshotBuilder::qrCode(const QRectF& square, const QString& text) {
    m->started = true;
    m->page.qr(QRectF(square.topLeft(), QSizeF(square.width(), square.width())), text);
}

void SnapshotBuilder::endPage() {
    m->snapshot.pages << m->page.take();
    m->started = false;
}

int SnapshotBuilder::pageCount() const {
    return int(m->snapshot.pages.size());
}

Snapshot SnapshotBuilder::take() {
    if (m->started) endPage();
    return std::exchange(m->snapshot, Snapshot());
}

QFont snapshotFont(const SnapshotFont& f) {
    QFont font(f.family);
    font.setPixelSize(f.pixels);
    font.setBold(f.bold);
    return font;
}

void renderPage(const Snapshot& snapshot, int page, QPainter& painter, const QRectF& target) {
    if (page < 0 || page >= snapshot.pages.size()) return;
    const QSize dots = snapshot.pageSizeDots();
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / dots.width(), target.height() / dots.height());
    PagePainter(snapshot).draw(painter, page);
    painter.restore();
}

QImage renderPageImage(const Snapshot& snapshot, int page, int widthPixels) {
    const QSize dots = snapshot.pageSizeDots();
    const int heightPixels = int(std::lround(double(widthPixels) * dots.height() / dots.width()));
    QImage image(widthPixels, heightPixels, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    renderPage(snapshot, page, painter, QRectF(0, 0, widthPixels, heightPixels));
    return image;
}

void writePdf(const Snapshot& snapshot, const QString& fileName, const QString& title,
              const QVector<int>& pageList) {
    QPdfWriter writer(fileName);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("禾岫ERP计件工资助手"));
    writer.setResolution(Snapshot::dotsPerInch);
    writer.setPageSize(QPageSize(snapshot.pageSize, QPageSize::Inch));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QVector<int> pages = pageList;
    if (pages.isEmpty())
        for (int i = 0; i < snapshot.pageCount(); ++i) pages << i;
    QPainter painter;
    if (!painter.begin(&writer)) throw ReportError(QStringLiteral("无法写入文件\"%1\"。").arg(fileName));
    // The writer's resolution is the snapshot's: a dot is a device pixel.
    PagePainter pagePainter(snapshot);
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0) writer.newPage();
        if (pages[i] >= 0 && pages[i] < snapshot.pageCount()) pagePainter.draw(painter, pages[i]);
    }
    painter.end();
}

BandLayout layoutBand(const TRavePage& page) {
    BandLayout layout;
    const TRaveBand& band = page.Band;
    // The pairs in use, by number.
    std::map<int, std::pair<const TRaveComponent*, const TRaveComponent*>> pairs;
    for (const auto& c : band.Components) {
        const int n = pairNumber(*c);
        if (n == 0) continue;
        auto& pair = pairs[n];
        (c->kind() == TRaveComponent::Kind::DataText ? pair.second : pair.first) = c.get();
    }
    double blockTop = 1e9, blockBottom = -1e9;
    for (const auto& [n, pair] : pairs) {
        for (const TRaveComponent* c : {pair.first, pair.second}) {
            if (!c) continue;
            blockTop = std::min(blockTop, c->Top);
            blockBottom = std::max(blockBottom, c->Top + c->Height);
        }
    }
    const double lineStep = pairs.empty() ? 0 : blockBottom - blockTop;
    const double room = page.printableWidth() + 1e-6;
    std::map<const TRaveComponent*, std::pair<double, double>> moved;
    double shift = 0;
    int line = 0;
    for (const auto& [n, pair] : pairs) {
        const TRaveComponent* a = pair.first;
        const TRaveComponent* b = pair.second;
        const bool aShown = a && a->Visible, bShown = b && b->Visible;
        if (!aShown && !bShown) continue;
        double left = 1e9, right = -1e9;
        for (const TRaveComponent* c : {a, b}) {
            if (!c || !c->Visible) continue;
            left = std::min(left, c->Left);
            right = std::max(right, c->Left + c->Width);
        }
        // A pair that passes the right edge starts a further heading/value line, unless it already starts
        // one.
        if (right - shift > room && left - shift > 1e-6) {
            ++line;
            shift = left;
        }
        for (const TRaveComponent* c : {a, b})
            if (c && c->Visible) moved[c] = {c->Left - shift, c->Top + line * lineStep};
    }
    layout.extraLines = line;
    const double grow = line * lineStep;
    for (const auto& c : band.Components) {
        if (!c->Visible) continue;
        auto it = moved.find(c.get());
        if (it != moved.end()) {
            layout.placed.push_back({c.get(), it->second.first, it->second.second});
        } else {
            // What lies below the heading/value block moves down with the lines added.
            const bool below = grow > 0 && c->Top >= blockBottom - 1e-6;
            layout.placed.push_back({c.get(), c->Left, c->Top + (below ? grow : 0)});
        }
    }
    layout.height = band.Height + grow;
    return layout;
}

std::optional<Snapshot> generateReport(const TRavePage& page, const TRvDataSetConnection& data,
                                       const GenerateOptions& options) {
    // A slip reads the same few dozen fields of every row: each is looked up once.
    QHash<QString, int> fields;
    DataSet* ds = data.dataSet;
    return generateReport(
        page, data.rowCount(),
        [&fields, ds](int row, const QString& field) {
            auto it = fields.constFind(field);
            if (it == fields.constEnd()) it = fields.insert(field, ds ? ds->fieldIndex(field) : -1);
            return *it < 0 ? QString() : ds->textAt(row, *it);
        },
        options);
}

std::optional<Snapshot> generateReport(const TRavePage& page, int rows,
                                       const std::function<QString(int, const QString&)>& text,
                                       const GenerateOptions& options) {
    Snapshot snapshot;
    snapshot.pageSize = page.pageSize();
    const BandLayout band = layoutBand(page);
    double headerHeight = 0;
    for (const auto& c : page.Components)
        if (c->Visible) headerHeight = std::max(headerHeight, c->Top + c->Height);
    const double room = page.printableHeight() - headerHeight;
    const int perPage = std::max(1, int(std::floor(room / band.height + 1e-9)));
    const int pageCount = rows == 0 ? 1 : (rows + perPage - 1) / perPage;
    // Fixed texts are the same on every page and slip: their parameters are filled in once.
    std::map<const TRaveComponent*, QString> fixed;
    for (const auto* list : {&page.Components, &page.Band.Components})
        for (const auto& c : *list)
            if (c->kind() == TRaveComponent::Kind::Text)
                fixed[c.get()] = substitute(static_cast<const TRaveText&>(*c).Text, options.parameters);
    struct Placed {
        const TRaveComponent* component;
        double left, top;
        const QString* text;   // a fixed text, or none
        const QString* field;  // a data text's field, or none
        int row;               // its heading or value row (below), or -1
    };
    // The headings of a slip line form a row, and so do its values: a row is printed in one font size, the
    // largest at which every text of the row fits its box, so that one narrow box makes the whole row
    // smaller rather than one text in it.
    struct TextRow {
        std::vector<std::size_t> members;  // into placedList
        bool fixed = true;                 // headings only: the same size on every slip, found once
        double scale = 0;                  // of the designed sizes; 0 until found
    };
    std::vector<Placed> placedList;
    std::vector<TextRow> textRows;
    std::map<std::pair<bool, long>, int> rowAt;
    for (const PlacedComponent& placed : band.placed) {
        const TRaveComponent* c = placed.component;
        auto it = fixed.find(c);
        const bool value = c->kind() == TRaveComponent::Kind::DataText;
        int row = -1;
        if (pairNumber(*c) > 0 && c->kind() != TRaveComponent::Kind::Line) {
            const auto key = std::pair{value, std::lround(placed.top * dpi)};
            auto at = rowAt.find(key);
            if (at == rowAt.end()) {
                at = rowAt.emplace(key, int(textRows.size())).first;
                textRows.emplace_back();
            }
            row = at->second;
            textRows[row].members.push_back(placedList.size());
            textRows[row].fixed = textRows[row].fixed && !value;
        }
        placedList.push_back({c, placed.left, placed.top, it == fixed.end() ? nullptr : &it->second,
                              value ? &static_cast<const TRaveDataText*>(c)->DataField : nullptr, row});
    }
    // The size of a text of a row: its designed size at the row's scale (the scale of the row's tightest
    // text, so that text gets exactly the size that fits it).
    auto rowPixels = [](const Placed& placed, double scale) {
        const int design = TextSetter::designPixels(static_cast<const TRaveText&>(*placed.component));
        return std::max(1, int(std::floor(design * scale + 1e-9)));
    };
    TextSetter texts(snapshot.fonts);
    const QString none;
    std::vector<QString> slipTexts(placedList.size());
    for (int pageNo = 0; pageNo < pageCount; ++pageNo) {
        PageWriter w;
        const double x0 = page.MarginLeft, y0 = page.MarginTop;
        for (const auto& c : page.Components) {
            if (!c->Visible) continue;
            auto it = fixed.find(c.get());
            drawComponent(w, texts, *c, x0 + c->Left, y0 + c->Top, it == fixed.end() ? none : it->second);
        }
        const int first = pageNo * perPage;
        const int last = std::min(rows, first + perPage);
        for (int row = first; row < last; ++row) {
            const double top = y0 + headerHeight + (row - first) * band.height;
            for (std::size_t i = 0; i < placedList.size(); ++i) {
                const Placed& placed = placedList[i];
                slipTexts[i] = placed.field ? text(row, *placed.field) : placed.text ? *placed.text : none;
            }
            for (TextRow& r : textRows) {
                if (r.fixed && r.scale > 0) continue;
                double scale = 1;
                for (std::size_t i : r.members) {
                    const Placed& placed = placedList[i];
                    const auto& t = static_cast<const TRaveText&>(*placed.component);
                    const int fits =
                        texts.fittingPixels(t, slipTexts[i], boxOf(t, x0 + placed.left, top + placed.top));
                    scale = std::min(scale, double(fits) / TextSetter::designPixels(t));
                }
                r.scale = scale;
            }
            for (std::size_t i = 0; i < placedList.size(); ++i) {
                const Placed& placed = placedList[i];
                const int pixels = placed.row < 0 ? 0 : rowPixels(placed, textRows[placed.row].scale);
                drawComponent(w, texts, *placed.component, x0 + placed.left, top + placed.top, slipTexts[i],
                              pixels);
            }
        }
        snapshot.pages << w.take();
        if (options.progress && !options.progress(pageNo + 1)) return std::nullopt;
    }
    return snapshot;
}

}  // namespace hx
