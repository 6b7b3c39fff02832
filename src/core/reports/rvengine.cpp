#include "core/reports/rvengine.h"

#include <QBuffer>
#include <QDataStream>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QPicture>
#include <QRegularExpression>
#include <cmath>
#include <map>

#include "core/data/dataset.h"

namespace hx {

namespace {

constexpr char snapshotMagic[8] = {'H', 'X', 'N', 'D', 'R', '\r', '\n', '\x1a'};
constexpr quint32 snapshotVersion = 1;
constexpr double dpi = Snapshot::dotsPerInch;
// A text keeps this much room to a frame's line, left and right.
constexpr double textPadding = 0.6 / 25.4;
// Above this many pages a snapshot header is taken as damaged.
constexpr qint32 maxPages = 10000000;

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

// Draws texts, keeping one font and its metrics per face and size.
class TextPainter {
  public:
    explicit TextPainter(QPaintDevice* device) : m_device(device) {}

    void draw(QPainter& p, const TRaveText& t, const QString& text, const QRectF& rect) {
        if (t.Frame) p.drawRect(rect);
        if (text.isEmpty()) return;
        const int pixels = std::max(1, int(std::lround(t.FontSize * dpi / 72.0)));
        Font& f = font(t.FontName, pixels, t.Bold);
        const double room = rect.width() - 2 * textPadding * dpi;
        // Only a text that may not fit is measured: no glyph is wider than the font's height.
        const double wide = text.size() * pixels * 1.1 > room ? f.metrics.horizontalAdvance(text) : 0;
        // A value wider than its box is drawn smaller, never cut off.
        Font* use = &f;
        if (wide > room && room > 0)
            use = &font(t.FontName, std::max(1, int(std::floor(pixels * room / wide))), t.Bold);
        // The picture records a font change only when the font changes.
        if (use != m_current) {
            p.setFont(use->font);
            m_current = use;
        }
        int flags = Qt::AlignVCenter | Qt::TextSingleLine;
        flags |= t.Align == TextAlign::Right    ? Qt::AlignRight
                 : t.Align == TextAlign::Center ? Qt::AlignHCenter
                                                : Qt::AlignLeft;
        p.drawText(rect.adjusted(textPadding * dpi, 0, -textPadding * dpi, 0), flags, text);
    }

  private:
    struct Font {
        QFont font;
        QFontMetricsF metrics;
    };
    Font& font(const QString& name, int pixels, bool bold) {
        const QString key =
            name + QLatin1Char('/') + QString::number(pixels) + (bold ? QLatin1Char('b') : QLatin1Char('n'));
        auto it = m_fonts.find(key);
        if (it == m_fonts.end()) {
            QFont f(name);
            f.setPixelSize(pixels);
            f.setBold(bold);
            it = m_fonts.emplace(key, Font{f, QFontMetricsF(f, m_device)}).first;
        }
        return it->second;
    }
    QPaintDevice* m_device;
    std::map<QString, Font> m_fonts;
    Font* m_current = nullptr;
};

void drawComponent(QPainter& p, TextPainter& texts, const TRaveComponent& c, double left, double top,
                   const QString& text) {
    const QRectF rect(left * dpi, top * dpi, c.Width * dpi, c.Height * dpi);
    if (c.kind() == TRaveComponent::Kind::Line) {
        const auto& line = static_cast<const TRaveLine&>(c);
        QPen pen(Qt::black, std::max(1.0, line.PenWidth * dpi), line.Dashed ? Qt::DashLine : Qt::SolidLine);
        p.setPen(pen);
        p.drawLine(rect.topLeft(), QPointF(rect.left() + rect.width(), rect.top() + rect.height()));
        p.setPen(QPen(Qt::black, 0.2 / 25.4 * dpi));
        return;
    }
    texts.draw(p, static_cast<const TRaveText&>(c), text, rect);
}

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
    out << snapshotVersion << snapshot.pageSize.width() << snapshot.pageSize.height()
        << qint32(snapshot.pages.size());
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
    if (version != snapshotVersion)
        throw ReportError(QStringLiteral("报表快照文件的版本（%1）不受支持，无法打开。").arg(version));
    in >> width >> height >> count;
    if (in.status() != QDataStream::Ok || !(width > 0 && width < 1000) || !(height > 0 && height < 1000) ||
        count < 0 || count > maxPages)
        throw ReportError(damaged);
    Snapshot s;
    s.pageSize = QSizeF(width, height);
    s.pages.reserve(count);
    for (qint32 i = 0; i < count; ++i) {
        QByteArray page;
        in >> page;
        if (in.status() != QDataStream::Ok || !page.startsWith("QPIC")) throw ReportError(damaged);
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

void renderPage(const Snapshot& snapshot, int page, QPainter& painter, const QRectF& target) {
    if (page < 0 || page >= snapshot.pages.size()) return;
    const QSize dots = snapshot.pageSizeDots();
    QPicture picture;
    picture.setData(snapshot.pages[page].constData(), uint(snapshot.pages[page].size()));
    painter.save();
    painter.translate(target.topLeft());
    painter.scale(target.width() / dots.width(), target.height() / dots.height());
    // A picture played on a device of another resolution is scaled by the ratio of the two: undone here, so
    // that a page fills the target whatever the device.
    if (QPaintDevice* device = painter.device()) {
        painter.scale(double(picture.logicalDpiX()) / device->logicalDpiX(),
                      double(picture.logicalDpiY()) / device->logicalDpiY());
    }
    painter.drawPicture(0, 0, picture);
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
    const QSize dots = snapshot.pageSizeDots();
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0) writer.newPage();
        renderPage(snapshot, pages[i], painter, QRectF(0, 0, dots.width(), dots.height()));
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
    return generateReport(
        page, data.rowCount(), [&data](int row, const QString& field) { return data.text(row, field); },
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
    for (int pageNo = 0; pageNo < pageCount; ++pageNo) {
        QPicture picture;
        QPainter p(&picture);
        p.setPen(QPen(Qt::black, 0.2 / 25.4 * dpi));
        p.setBrush(Qt::NoBrush);
        TextPainter texts(&picture);
        const double x0 = page.MarginLeft, y0 = page.MarginTop;
        for (const auto& c : page.Components) {
            if (!c->Visible) continue;
            QString t;
            if (c->kind() == TRaveComponent::Kind::Text)
                t = substitute(static_cast<const TRaveText&>(*c).Text, options.parameters);
            drawComponent(p, texts, *c, x0 + c->Left, y0 + c->Top, t);
        }
        const int first = pageNo * perPage;
        const int last = std::min(rows, first + perPage);
        for (int row = first; row < last; ++row) {
            const double top = y0 + headerHeight + (row - first) * band.height;
            for (const PlacedComponent& placed : band.placed) {
                const TRaveComponent& c = *placed.component;
                QString t;
                if (c.kind() == TRaveComponent::Kind::DataText)
                    t = text(row, static_cast<const TRaveDataText&>(c).DataField);
                else if (c.kind() == TRaveComponent::Kind::Text)
                    t = substitute(static_cast<const TRaveText&>(c).Text, options.parameters);
                drawComponent(p, texts, c, x0 + placed.left, top + placed.top, t);
            }
        }
        p.end();
        snapshot.pages << QByteArray(picture.data(), int(picture.size()));
        if (options.progress && !options.progress(pageNo + 1)) return std::nullopt;
    }
    return snapshot;
}

}  // namespace hx
