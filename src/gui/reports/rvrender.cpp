#include "gui/reports/rvrender.h"

#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScrollArea>
#include <QScrollBar>
#include <cmath>

namespace hx {

void PreviewPage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Dark));
    if (image.isNull()) return;
    if (shadow > 0) p.fillRect(QRect(QPoint(margin + shadow, margin + shadow), image.size()), Qt::black);
    p.drawImage(margin, margin, image);
}

TRvRenderPreview::TRvRenderPreview(QScrollArea* scrollBox, QObject* parent)
    : QObject(parent), ScrollBox(scrollBox), m_view(new PreviewPage) {
    m_view->setObjectName(QStringLiteral("PreviewPage"));
    ScrollBox->setWidget(m_view);
    ScrollBox->setWidgetResizable(false);
    ScrollBox->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
}

double TRvRenderPreview::pixelsPerInch() const {
    return ScrollBox->logicalDpiX();
}

void TRvRenderPreview::Render(const Snapshot& snapshot) {
    m_snapshot = snapshot;
    m_page = 0;
    RenderPage(1);
}

void TRvRenderPreview::RenderFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw ReportError(QStringLiteral("无法打开文件\"%1\"：%2").arg(fileName, file.errorString()));
    Snapshot s = readSnapshot(file);
    FileName = fileName;
    Render(s);
}

void TRvRenderPreview::RenderPage(int page) {
    if (!m_snapshot) return;
    page = std::max(1, std::min(page, Pages()));
    const bool turned = page != m_page;
    m_page = page;
    RedrawPage();
    // A new page is shown from its top: the place scrolled to on the last one may be blank on this one.
    if (turned) ScrollBox->verticalScrollBar()->setValue(0);
    emit PageChange();
}

void TRvRenderPreview::setZoomFactor(double zoom) {
    zoom = std::max(10.0, std::min(200.0, zoom));
    if (zoom == m_zoom) return;
    m_zoom = zoom;
    emit ZoomChange();
}

double TRvRenderPreview::ZoomPageWidthFactor() const {
    if (!m_snapshot) return m_zoom;
    // The room without scroll bars; a page taller than the box brings the vertical one, which takes its
    // width off the room (else the fitted page would need the horizontal one as well).
    const QSize box = ScrollBox->maximumViewportSize();
    const QSizeF page = m_snapshot->pageSize * pixelsPerInch();
    const double margins = 1 + 2 * MarginPercent / 100;
    double room = box.width() - ShadowDepth - 2;
    if (ScrollBox->verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff &&
        (page.height() + 2 * MarginPercent / 100 * page.width()) * room / (page.width() * margins) +
                ShadowDepth >
            box.height())
        room -= ScrollBox->verticalScrollBar()->sizeHint().width();
    return std::max(10.0, std::min(200.0, room / (page.width() * margins) * 100));
}

double TRvRenderPreview::ZoomPageFactor() const {
    if (!m_snapshot) return m_zoom;
    const double height = ScrollBox->viewport()->height() - ShadowDepth - 2;
    const double byHeight = height /
                            (m_snapshot->pageSize.height() * pixelsPerInch() +
                             2 * MarginPercent / 100 * m_snapshot->pageSize.width() * pixelsPerInch()) *
                            100;
    return std::max(10.0, std::min(ZoomPageWidthFactor(), byHeight));
}

void TRvRenderPreview::RedrawPage() {
    if (!m_snapshot || m_page < 1) return;
    const int width =
        std::max(1, int(std::lround(m_snapshot->pageSize.width() * pixelsPerInch() * m_zoom / 100)));
    m_view->image = renderPageImage(*m_snapshot, m_page - 1, width);
    if (Monochrome) m_view->image = m_view->image.convertToFormat(QImage::Format_Grayscale8);
    m_view->margin = int(std::lround(width * MarginPercent / 100));
    m_view->shadow = ShadowDepth;
    m_view->resize(m_view->image.width() + 2 * m_view->margin + ShadowDepth,
                   m_view->image.height() + 2 * m_view->margin + ShadowDepth);
    m_view->update();
}

bool TRvRenderPrinter::printerMakesCopies() const {
    if (!OutputFileName.isEmpty() || !printerInstalled()) return false;
    QPrinter printer;
    return printer.supportsMultipleCopies();
}

void TRvRenderPrinter::Render() {
    if (!Stream) return;
    QPrinter printer(QPrinter::HighResolution);
    if (!OutputFileName.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(OutputFileName);
    } else if (!printerInstalled()) {
        throw ReportError(QStringLiteral("系统没有安装打印机!"));
    }
    printer.setDocName(Title);
    printer.setFullPage(true);
    printer.setPageSize(QPageSize(Stream->pageSize, QPageSize::Inch));
    printer.setCopyCount(std::max(1, Copies));
    printer.setCollateCopies(Collate);
    printer.setDuplex(Duplex == dupVertical     ? QPrinter::DuplexLongSide
                      : Duplex == dupHorizontal ? QPrinter::DuplexShortSide
                                                : QPrinter::DuplexNone);
    const QVector<int> pages = pagesToPrint(Stream->pageCount(), FirstPage, LastPage, Selection);
    if (pages.isEmpty()) return;
    QPainter painter;
    if (!painter.begin(&printer))
        throw ReportError(OutputFileName.isEmpty()
                              ? QStringLiteral("无法开始打印。")
                              : QStringLiteral("无法写入文件\"%1\"。").arg(OutputFileName));
    const QRectF target = printer.paperRect(QPrinter::DevicePixel);
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0) printer.newPage();
        renderPage(*Stream, pages[i] - 1, painter, QRectF(0, 0, target.width(), target.height()));
    }
    painter.end();
}

namespace {

std::function<QVector<InstalledPrinter>()>& printerList() {
    static std::function<QVector<InstalledPrinter>()> list;
    return list;
}

}  // namespace

QVector<InstalledPrinter> installedPrinters() {
    if (printerList()) return printerList()();
    QVector<InstalledPrinter> printers;
    const QPrinterInfo current = QPrinterInfo::defaultPrinter();
    if (!current.isNull()) printers.push_back({current.printerName(), current.location()});
    for (const QPrinterInfo& info : QPrinterInfo::availablePrinters())
        if (info.printerName() != current.printerName())
            printers.push_back({info.printerName(), info.location()});
    return printers;
}

void setInstalledPrinters(std::function<QVector<InstalledPrinter>()> list) {
    printerList() = std::move(list);
}

bool printerInstalled() {
    return !installedPrinters().isEmpty();
}

QString currentPrinterLabel() {
    const QVector<InstalledPrinter> printers = installedPrinters();
    if (printers.isEmpty()) return QString();
    const InstalledPrinter& p = printers.first();
    return p.port.isEmpty() ? p.name : QStringLiteral("%1 on %2").arg(p.name, p.port);
}

void printWithSystemPrinter(TRvSystem& system, const Snapshot& snapshot, const QString& fileName) {
    TRvRenderPrinter printer;
    printer.Stream = &snapshot;
    printer.Title = system.SystemPrinter.Title;
    printer.Copies = system.SystemPrinter.Copies;
    printer.Collate = system.SystemPrinter.Collate;
    printer.Duplex = system.SystemPrinter.Duplex;
    printer.FirstPage = system.SystemPrinter.FirstPage;
    printer.LastPage = system.SystemPrinter.LastPage;
    printer.Selection = system.SystemPrinter.Selection;
    printer.OutputFileName = fileName;
    printer.Render();
}

}  // namespace hx
